// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/calibration.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <utility>

#include "common/progress.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "source/source.h"
#include "source/source_line.h"
#include "source/source_wait.h"

namespace sondrix {
namespace {

// "Sample 84 of 400": a count, the same length all through.
std::string Text(int number, int count) {
  return "\n   Reading data from meter...\n   Sample " + std::to_string(number) + " of " + std::to_string(count);
}

// The samples of one calibration: the message that counts them, and the
// reads, each repeated while the device has nothing yet.
class SampleReading {
 public:
  SampleReading(SourceWait wait, int sampleCount)
      : message_(Text(1, sampleCount)), wait_(std::move(wait)), sampleCount_(sampleCount) {}

  // Sample `number` (1, 2, ...) is read next.
  void Next(int number) { message_.Update(Text(number, sampleCount_), static_cast<double>(number - 1) / sampleCount_); }

  // Repeats `read` while it says that no data are there yet (-1022), for
  // at most kNoDataTimeout seconds (then -1003); -1021 once the user
  // cancels. The user interface is looked at before every read, without
  // waiting after a read that gave something.
  Status Read(const std::function<Status()>& read) {
    const double start = platform::Timer();
    wait_.Ready();
    for (;;) {
      if (message_.Cancels(wait_.NextEvent(platform::ui()))) return status::kCancelled;
      const Status result = read();
      if (result != status::kNoData) return result;
      if (platform::SecondsSince(start) > kNoDataTimeout) return status::kTimedOut;
      wait_.Idle();
    }
  }

 private:
  ProgressMessage message_;
  SourceWait wait_;
  int sampleCount_;
};

}  // namespace

Status SumUnCorrSamples(Source& device, int sampleCount, std::span<double> sums, CalibrationWater* water) {
  if (sampleCount < 1) return status::kBadArgument;
  const int valueCount = device.GetTraceCount();
  if (valueCount < 0) return valueCount;
  std::unique_ptr<SourceLine> line = SourceLine_New(valueCount);
  if (!line) return status::kOutOfMemory;
  const std::size_t summed = std::min(sums.size(), line->values.size());

  // The samples are those measured from now on, not what the line held.
  Status result = device.DiscardInput();
  if (result != status::kOk) return result;
  SampleReading reading(SourceWait(device), sampleCount);
  int unrecognised = 0;
  int good = 0;
  double waterSum = 0.0;
  while (good < sampleCount) {
    reading.Next(good + 1);
    // A lost sample is not averaged: it is counted, and another one is
    // read in its place.
    for (;;) {
      result = reading.Read([&] { return device.ReadUnCorrData(*line); });
      if (result != status::kOk || line->status != status::kLostLine) break;
      if (++unrecognised > kMaxUnrecognised) {
        result = status::kUnrecognisedData;
        break;
      }
    }
    if (result != status::kOk) break;
    for (std::size_t i = 0; i < summed; ++i) sums[i] += line->values[i];
    waterSum += line->extTemperature;
    ++good;
  }
  if (result == status::kOk && water != nullptr && std::isfinite(waterSum)) {
    water->temperature = waterSum / sampleCount;
    water->samples = sampleCount;
    water->utcMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch()).count();
  }
  return result;
}

Status SumPacketDepths(DataBuffer& decoder, std::vector<int> inputs, int sampleCount,
                       double depthScale,
                       const std::function<bool(const RefBlock&, const DataSample&)>& good,
                       double& sum) {
  if (sampleCount < 1) return status::kBadArgument;
  Status result = decoder.DiscardInput();
  if (result != status::kOk) return result;
  SampleReading reading(SourceWait(std::move(inputs)), sampleCount);
  int taken = 0;
  int unrecognised = 0;
  int shown = 0;
  while (taken < sampleCount) {
    // A packet that was not accepted is read again under the same number.
    if (shown != taken + 1) reading.Next(shown = taken + 1);
    int last = 0;
    result = reading.Read([&] { return decoder.ReadRecord(last); });
    if (result != status::kOk) break;
    const RefBlock* refs = decoder.GetRefp();
    const DataSample* first = decoder.GetDatap(0);
    if (refs != nullptr && first != nullptr && good(*refs, *first)) {
      sum += depthScale * refs->pressure;
      ++taken;
    } else if (++unrecognised > kMaxUnrecognised) {
      result = status::kUnrecognisedData;
      break;
    }
  }
  return result;
}

}  // namespace sondrix
