// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes read as a device configuration file by every
// meter model's configuration (the hyperspectral one included), and
// whatever was read written out again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "common/file.h"
#include "config/benth_meter_config.h"
#include "config/meter_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Trace counts of the meter models, and the edges of what a count may be.
  if (size == 0) return 0;
  for (int traces : {18, 6, 3, 0, 256}) {
    // The stream only reads the bytes.
    sondrix::OwnedFile in(
        fmemopen(const_cast<std::uint8_t*>(data), size, "r"));
    if (!in) return 0;
    sondrix::MeterConfig config(traces, traces);
    config.ReadConfig(in.get());
    sondrix::OwnedFile out(std::fopen("/dev/null", "w"));
    if (out) config.WriteConfig(out.get());
  }
  // The hyperspectral configuration: its device type's counts and others.
  for (int wavelengths : {100, 3, 0}) {
    sondrix::OwnedFile in(
        fmemopen(const_cast<std::uint8_t*>(data), size, "r"));
    if (!in) return 0;
    sondrix::BenthMeterConfig config(2 * wavelengths, wavelengths);
    config.ReadConfig(in.get());
    sondrix::OwnedFile out(std::fopen("/dev/null", "w"));
    if (out) config.WriteConfig(out.get());
  }
  return 0;
}
