// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/meter_inputs.h"

#include <cmath>
#include <filesystem>
#include <optional>

#include "common/text_format.h"
#include "common/utils.h"
#include "config/calibration_record.h"
#include "platform/paths.h"

namespace sondrix {

ProcessorChannels ChannelsOf(std::span<const TraceEntry> traces) {
  ProcessorChannels channels;
  for (const TraceEntry& trace : traces) {
    if (!trace.sent || trace.kind == TraceKind::Other || !std::isfinite(trace.wavelength)) continue;
    const bool c = trace.kind == TraceKind::C;
    (c ? channels.cTrace : channels.aTrace).push_back(trace.trace);
    (c ? channels.cWavelength : channels.aWavelength).push_back(trace.wavelength);
  }
  return channels;
}

bool FindCalibrationTemperature(const std::string& deviceFile, std::span<const std::string> folders,
                                ProcessingSettings& settings) {
  if (deviceFile.empty()) return false;
  const std::string name = NameFromPath(deviceFile);
  for (const std::string& folder : folders) {
    const std::string path = CalibrationRecordPathFor(platform::JoinPath(folder.empty() ? "." : folder, name));
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) continue;
    std::string error;
    const std::optional<CalibrationWater> water = ReadCalibrationRecord(path, error);
    if (!water) continue;
    settings.tCal = water->temperature;
    settings.tCalSource = "the offset calibration's record " + NameFromPath(path) + " (made " +
                          IsoUtc(water->utcMs) + ", " + std::to_string(water->samples) +
                          " samples; the water temperature the meter's external sensor read)";
    return true;
  }
  return false;
}

}  // namespace sondrix
