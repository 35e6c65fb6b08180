// SPDX-License-Identifier: GPL-3.0-or-later
// What the field calibrations of every meter configuration share: waiting
// for a device's samples with a time-out, the wait message with its progress
// and Cancel, averaging uncorrected samples (offset calibration) and
// packets' depths (depth zeroing).
#pragma once

#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "config/calibration_record.h"
#include "io/data_buffer.h"

namespace sondrix {

class Source;

// Unrecognised samples (or packets) tolerated during a calibration; one more
// ends it with -1000.
inline constexpr int kMaxUnrecognised = 5;
// A calibration waiting for data gives up after this long without any (the
// serial line's own time-out). Meanwhile it sleeps in the user interface,
// woken by the serial line's bytes or the user (SourceWait).
inline constexpr double kNoDataTimeout = 10.0;
// Samples the editors' depth zeroing averages.
inline constexpr int kDepthSamples = 5;

// Both read under the wait message ("Reading data from meter... Sample 84
// of 400") with a progress bar and Cancel, painted at every sample. The
// user interface is looked at before every read; Cancel (or the message's
// close box, or the program told to end) ends the calibration with -1021,
// which nobody is told about. A failing calibration leaves its sums
// incomplete: the callers change nothing unless it returns 1.

// Both first throw away what the line held unread (Source::DiscardInput,
// DataBuffer::DiscardInput): a calibration averages samples measured after
// the user asked for it, never those that waited in the line's queue.

// Reads `sampleCount` good uncorrected samples from `device` and adds the
// first sums.size() values of each to `sums`. A lost sample is read again;
// the sixth ends it with -1000. 1 or the failing code (-1001 for a count
// below 1; -1003 when no data came for kNoDataTimeout seconds).
// `water`, when given, gets the mean of the samples' external temperature
// (the water's) and the time, for the calibration's record.
Status SumUnCorrSamples(Source& device, int sampleCount, std::span<double> sums,
                        CalibrationWater* water = nullptr);

// Reads `sampleCount` packets that `good` accepts from `decoder` and adds
// depthScale times each packet's pressure count to `sum`. A packet that is
// not accepted is read again; the sixth ends it with -1000. `inputs` are
// the descriptors the decoder's bytes arrive on (PortInputs).
Status SumPacketDepths(DataBuffer& decoder, std::vector<int> inputs, int sampleCount,
                       double depthScale,
                       const std::function<bool(const RefBlock&, const DataSample&)>& good,
                       double& sum);

}  // namespace sondrix
