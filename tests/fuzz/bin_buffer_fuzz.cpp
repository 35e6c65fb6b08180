// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes as the stream of an absorption/attenuation
// meter, through its packet decoder. The first byte picks the packet shape
// and the port (see decoder_harness.h); a good sample's values must be
// fractions of full scale.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "decoder_harness.h"
#include "io/bin_buffer.h"

namespace {

struct Shape {
  int channels;
  int samples;
};

constexpr Shape kShapes[] = {{3, 10}, {6, 10}, {18, 10}, {1, 1}, {256, 1}, {5, 3}, {2, 40}, {100, 2}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sondrix;
  if (size < 1) return 0;
  const Shape& shape = kShapes[(data[0] >> 1) % (sizeof kShapes / sizeof kShapes[0])];
  const std::span<const std::uint8_t> stream(data + 1, size - 1);
  auto make = [&shape](DPort& port) {
    std::unique_ptr<BinBuffer> decoder;
    BinBuffer::New(decoder, port, shape.channels, shape.samples);
    return decoder;
  };
  auto valid = [&shape](const DataSample& sample) {
    const double value = sample.values[static_cast<std::size_t>(shape.channels - 1)];
    return value >= 0.0 && value < 1.0;
  };
  fuzz::gSyncFirst = (data[0] & 0x10) != 0;
  if ((data[0] & 1) == 0) {
    fuzz::OverSerial(stream, make, valid);
  } else {
    fuzz::OverReplay(stream, make, valid);
  }
  return 0;
}
