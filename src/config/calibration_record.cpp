// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/calibration_record.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "common/file.h"
#include "common/text_format.h"
#include "common/utils.h"

namespace sondrix {

std::string CalibrationRecordPathFor(std::string_view deviceFile) { return BesidePath(deviceFile, ".calibration"); }

Status WriteCalibrationRecord(const std::string& deviceFile, const CalibrationWater& water) {
  ReplacingFile file(CalibrationRecordPathFor(deviceFile));
  if (!file) return status::kCantOpenFile;
  const std::string text = "# Sondrix offset calibration of " + NameFromPath(deviceFile) +
                           ": the water it was made in\n" + Format("water_temperature=%.3f\n", water.temperature) +
                           "time=" + IsoUtc(water.utcMs) + "\n" + Format("samples=%d\n", water.samples);
  if (std::fputs(text.c_str(), file.get()) < 0 || !file.Commit()) return status::kWriteFailed;
  return status::kOk;
}

std::optional<CalibrationWater> ReadCalibrationRecord(const std::string& path, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = path + ": cannot be read";
    return std::nullopt;
  }
  CalibrationWater water;
  bool temperature = false;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    const std::size_t equals = line.find('=');
    const std::string key = line.substr(0, equals);
    const std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
    char* end = nullptr;
    errno = 0;
    if (key == "water_temperature") {
      water.temperature = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || errno != 0 || !std::isfinite(water.temperature)) {
        error = path + ":" + std::to_string(number) + ": the water temperature \"" + value + "\" is not a number";
        return std::nullopt;
      }
      temperature = true;
    } else if (key == "time") {
      water.utcMs = ParseIsoUtc(value).value_or(0);
    } else if (key == "samples") {
      water.samples = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
    }
  }
  if (!temperature) {
    error = path + ": no water_temperature";
    return std::nullopt;
  }
  return water;
}

}  // namespace sondrix
