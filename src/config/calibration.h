// What the field calibrations of every meter configuration share: waiting
// for a device's samples with a time-out, the wait message, averaging
// uncorrected samples (offset calibration) and packets' depths (depth
// zeroing).
#pragma once

#include <functional>
#include <span>
#include <string_view>

#include "common/status.h"
#include "io/data_buffer.h"

namespace sondrix {

class Source;

// Unrecognised samples (or packets) tolerated during a calibration; one more
// ends it with -1000.
inline constexpr int kMaxUnrecognised = 5;
// A calibration waiting for data gives up after this long without any (the
// serial line's own time-out), polling every kCalibrationPoll seconds.
inline constexpr double kNoDataTimeout = 10.0;
inline constexpr double kCalibrationPoll = 0.002;
// Samples the editors' depth zeroing averages.
inline constexpr int kDepthSamples = 5;

// Repeats `read` while it says that no data are there yet (-1022), for at
// most kNoDataTimeout seconds; then -1003.
Status ReadWaiting(const std::function<Status()>& read);

// Reads `sampleCount` good uncorrected samples from `device` under the wait
// message ("Reading data from meter... Sample 1, 2, ...") and adds the
// first sums.size() values of each to `sums`. A lost sample is read again;
// the sixth ends it with -1000. 1 or the failing code (-1001 for a count
// below 1).
Status SumUnCorrSamples(Source& device, int sampleCount, std::span<double> sums);

// Reads `sampleCount` packets that `good` accepts from `decoder` and adds
// depthScale times each packet's pressure count to `sum`. A packet that is
// not accepted is read again; the sixth ends it with -1000.
Status SumPacketDepths(DataBuffer& decoder, int sampleCount, double depthScale,
                       const std::function<bool(const RefBlock&, const DataSample&)>& good,
                       double& sum);

}  // namespace sondrix
