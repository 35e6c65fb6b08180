#include "config/calibration.h"

#include <algorithm>
#include <memory>
#include <string>

#include "common/errors.h"
#include "platform/clock.h"
#include "source/source.h"
#include "source/source_line.h"

namespace sondrix {
namespace {

constexpr std::string_view kCalibrationMessage = "\n   Reading data from meter...\n   Sample";
// The wait message holds at most this many characters.
constexpr std::size_t kMessageMax = 1023;

class WaitMessage {
 public:
  explicit WaitMessage(std::string_view text) { Message_Show(text); }
  ~WaitMessage() { Message_Hide(); }
  WaitMessage(const WaitMessage&) = delete;
  WaitMessage& operator=(const WaitMessage&) = delete;
};

}  // namespace

Status ReadWaiting(const std::function<Status()>& read) {
  Status result = read();
  if (result != status::kNoData) return result;
  const double start = platform::Timer();
  while (result == status::kNoData) {
    if (platform::SecondsSince(start) > kNoDataTimeout) return status::kTimedOut;
    platform::Delay(kCalibrationPoll);
    result = read();
  }
  return result;
}

Status SumUnCorrSamples(Source& device, int sampleCount, std::span<double> sums) {
  if (sampleCount < 1) return status::kBadArgument;
  const int valueCount = device.GetTraceCount();
  if (valueCount < 0) return valueCount;
  std::unique_ptr<SourceLine> line = SourceLine_New(valueCount);
  if (!line) return status::kOutOfMemory;
  const std::size_t summed = std::min(sums.size(), line->values.size());

  const WaitMessage message(kCalibrationMessage);
  std::string text(kCalibrationMessage);
  Status result = status::kOk;
  int unrecognised = 0;
  int good = 0;
  while (good < sampleCount) {
    std::string number = (good == 0 ? " " : ", ") + std::to_string(good + 1);
    if (text.size() + number.size() > kMessageMax) {
      text = std::string(kCalibrationMessage) + " ...";
    }
    text += number;
    Message_Update(text);

    // A lost sample is not averaged: it is counted, and another one is
    // read in its place.
    for (;;) {
      result = ReadWaiting([&] { return device.ReadUnCorrData(*line); });
      if (result != status::kOk || line->status != status::kLostLine) break;
      if (++unrecognised > kMaxUnrecognised) {
        result = status::kUnrecognisedData;
        break;
      }
    }
    if (result != status::kOk) break;
    for (std::size_t i = 0; i < summed; ++i) sums[i] += line->values[i];
    ++good;
  }
  return result;
}

Status SumPacketDepths(DataBuffer& decoder, int sampleCount, double depthScale,
                       const std::function<bool(const RefBlock&, const DataSample&)>& good,
                       double& sum) {
  if (sampleCount < 1) return status::kBadArgument;
  int taken = 0;
  int unrecognised = 0;
  Status result = status::kOk;
  while (taken < sampleCount) {
    int last = 0;
    result = ReadWaiting([&] { return decoder.ReadRecord(last); });
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
