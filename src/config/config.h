// SPDX-License-Identifier: GPL-3.0-or-later
// Config: the common part of every device configuration: the instrument's
// identity (name line and serial number word, whose top byte is the device
// type), the structure version of its file, the baud rate, the depth
// calibration, the optical path length and the trace counts. Model
// configurations extend it and append their own section to the same file.
//
// The operations are virtual, declared in the order of the configuration
// operation table; the fields are a plain record, as in the file.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/out_of_memory.h"
#include "common/status.h"
#include "config/calibration_record.h"

namespace sondrix {

class Source;

// The baud rates a configuration may name, in the order of the file format.
inline constexpr std::array<int, 17> kBaudRates = {110,   150,   300,   600,    1200,   2400,
                                                   4800,  9600,  14400, 19200,  28800,  38400,
                                                   56000, 57600, 115200, 128000, 256000};
bool IsAcceptedBaudRate(long baud);
// Whether a path length is one a meter can measure over: a positive,
// finite number of metres of the normal range (a subnormal one such as
// 1e-320 would scale every value beyond any meaning).
bool IsUsablePathLength(double metres);

class Config {
 public:
  Config(int traceCount, int inTraceCount);
  Config(const Config&) = delete;
  Config& operator=(const Config&) = delete;

  virtual ~Config();                                              // 0 Dispose
  virtual int GetTraceCount() const;                              // 1
  // Writes the whole configuration (the header; models add their section).
  // 1, or -1012 when writing failed.
  virtual Status WriteConfig(std::FILE* file) const;              // 2
  virtual Status ReadConfig(std::FILE* file);                     // 3
  // Asks for a file and writes the configuration there through WriteConfig.
  virtual Status SaveConfig() const;                              // 4
  virtual Status EditConfig();                                    // 5
  // Copies this configuration into `to` (the fields both classes have).
  virtual Status CopyConfig(Config& to) const;                    // 6
  // 1 when equal (the comparison rule of each class), else 0.
  virtual int CompConfig(const Config& other) const;              // 7
  virtual Status GetColors(std::span<int> colors) const;          // 8
  virtual Status GetWavelengths(std::span<double> wavelengths) const;  // 9
  virtual Status GetHeading(int index, std::string& heading) const;    // 10

  // The editor of a model, working on a copy that is copied back on OK:
  // `device` is the source the configuration belongs to (its port and
  // samples serve the calibrations); `changed` tells whether the accepted
  // copy differed. Without an editor of its own: EditConfig() (-20003,
  // `changed` 0).
  virtual Status EditConfig(Source& device, int& changed);

  int deviceType() const { return static_cast<int>(serialnum >> 24); }

  // SaveConfig's dialog under `title`; the file written goes to `path`.
  Status SaveConfigAs(std::string_view title, std::string& path) const;

  std::int32_t version = 0;       // structure version of the file
  std::string name;               // first line of the file, at most 63 characters
  std::uint32_t serialnum = 0;    // bits 24-31 device type, 0-15 the serial number
  std::int32_t reserved = 0;      // never in the file
  std::int32_t baudRate = 0;
  double depthOffset = 0.0;       // depth = depthScale * counts + depthOffset
  double depthScale = 0.0;
  double pathLength = 0.0;        // metres
  std::int32_t traceCount = 0;    // given at construction, never in the file
  std::int32_t inTraceCount = 0;
  // The water of the last offset calibration, never in the file: saving
  // the file writes it beside it (calibration_record.h).
  std::optional<CalibrationWater> calibrationWater;

  static constexpr std::size_t kNameMax = 63;
};

// A model's trace records copied into another configuration's; without
// memory the target is left empty, -1016.
template <class Records>
Status CopyRecords(const Records& from, Records& to) {
  const Status copied = CatchOutOfMemory([&] { to = from; });
  if (copied != status::kOk) to.clear();
  return copied;
}

// A new configuration of class C with the trace counts of `config` and a
// copy of it in `copy`: 1, or -1016 (no copy) when memory ran out.
template <class C>
Status CopyOf(const C& config, std::unique_ptr<C>& copy) {
  copy.reset();
  std::unique_ptr<C> made;
  Status result = CatchOutOfMemory([&] { made = std::make_unique<C>(config.traceCount, config.inTraceCount); });
  if (result == status::kOk) result = config.CopyConfig(*made);
  if (result != status::kOk) return status::kOutOfMemory;
  copy = std::move(made);
  return status::kOk;
}

}  // namespace sondrix
