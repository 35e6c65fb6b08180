// SPDX-License-Identifier: GPL-3.0-or-later
// What the processing takes from the meter rather than from the user: its
// channels (the absorption and attenuation traces it sends, with their
// wavelengths) and the water temperature of its last offset calibration
// (T_cal, from the record beside its device file, config/calibration_record.h).
// A run being recorded and a file processed after it find both here.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "processing/processor.h"
#include "source/trace_list.h"

namespace sondrix {

// The a and c traces the instrument sends, in index order.
ProcessorChannels ChannelsOf(std::span<const TraceEntry> traces);

// T_cal into `settings` (with where it came from) from the calibration
// record of the device file named `deviceFile` (a path or a bare name),
// looked for in each of `folders` in turn; false when none is found or
// read, `settings` unchanged.
bool FindCalibrationTemperature(const std::string& deviceFile, std::span<const std::string> folders,
                                ProcessingSettings& settings);

}  // namespace sondrix
