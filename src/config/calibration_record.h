// SPDX-License-Identifier: GPL-3.0-or-later
// The water an offset calibration was made in: the temperature the meter's
// external sensor read, averaged over the calibration's samples. The
// temperature and salinity correction needs it (T_cal, docs/processing.md).
//
// It is kept in a small text file beside the device file, written whenever
// the device file is saved after an offset calibration, so that device
// files stay exactly as every reader knows them:
//
//   NAME.dev  ->  NAME.calibration
//
//   # Sondrix offset calibration of NAME.dev: the water it was made in
//   water_temperature=18.52
//   time=2026-12-10T04:00:00.000Z
//   samples=100
//
// Lines of another key are passed over (for what later versions add).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/status.h"

namespace sondrix {

struct CalibrationWater {
  double temperature = 0.0;  // degrees Celsius
  std::int64_t utcMs = 0;    // when the calibration was made
  int samples = 0;
  bool operator==(const CalibrationWater&) const = default;
};

// "NAME.calibration" for "NAME.dev".
std::string CalibrationRecordPathFor(std::string_view deviceFile);
// Writes the record of `deviceFile` beside it (whole, or not at all).
Status WriteCalibrationRecord(const std::string& deviceFile, const CalibrationWater& water);
// The record at `path`; none with `error` set when it cannot be read.
std::optional<CalibrationWater> ReadCalibrationRecord(const std::string& path, std::string& error);

}  // namespace sondrix
