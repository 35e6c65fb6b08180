// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/sample_clock.h"

#include <algorithm>
#include <cmath>

namespace sondrix {

SampleClock::SampleClock(std::int64_t range, std::int64_t wrapWindow, std::int64_t align)
    : range_(range), wrapWindow_(wrapWindow), align_(std::max<std::int64_t>(align, 1)) {}

void SampleClock::Reset() {
  started_ = false;
  restarts_ = 0;
}

SampleClock::Kind SampleClock::Classify(std::uint32_t count) const {
  if (!started_) return Kind::First;
  if (count == last_) return Kind::Repeat;
  if (count > last_) return Kind::Forward;
  const std::int64_t across = range_ - static_cast<std::int64_t>(last_) + count;
  return across <= wrapWindow_ ? Kind::Wrap : Kind::Restart;
}

std::int64_t SampleClock::Advance(std::uint32_t count) const {
  switch (Classify(count)) {
    case Kind::Forward:
      return static_cast<std::int64_t>(count) - last_;
    case Kind::Wrap:
      return range_ - static_cast<std::int64_t>(last_) + count;
    default:
      return 0;
  }
}

std::int64_t SampleClock::Take(std::uint32_t count, std::int64_t restartStep) {
  const Kind kind = Classify(count);
  if (kind == Kind::First) {
    position_ = count;
  } else if (kind == Kind::Restart) {
    position_ += std::max<std::int64_t>(restartStep, 1);
    position_ += ((static_cast<std::int64_t>(count) - position_) % align_ + align_) % align_;
    ++restarts_;
  } else {
    position_ += Advance(count);
  }
  started_ = true;
  last_ = count;
  return position_;
}

PacketTimeline::PacketTimeline(std::int64_t range, std::int64_t wrapWindow, int perTick)
    : clock_(range, wrapWindow, perTick), perTick_(std::max(perTick, 1)) {}

void PacketTimeline::Reset() {
  clock_.Reset();
  havePacket_ = false;
  stepCount_ = 0;
  nextStep_ = 0;
  repeats_ = 0;
  discarded_ = false;
}

// The lower median of the recent steps: a step stretched by packets that
// went missing without a trace (an overrun) does not pass for the period.
double PacketTimeline::LearntStep() const {
  if (stepCount_ == 0) return 0.0;
  std::array<std::int64_t, 8> sorted = steps_;
  const auto used = sorted.begin() + stepCount_;
  std::nth_element(sorted.begin(), sorted.begin() + (stepCount_ - 1) / 2, used);
  return static_cast<double>(sorted[static_cast<std::size_t>((stepCount_ - 1) / 2)]);
}

PacketTimeline::Placed PacketTimeline::Place(std::span<DataSample> samples, double step, int damaged) {
  Placed placed;
  if (samples.empty()) return placed;
  const std::uint32_t first = samples.front().count;
  // A counter that cannot tell samples apart (a negative step: rates above
  // one sample a count) may show the same count twice in earnest.
  if (havePacket_ && first == lastFirst_ && !(step < 0.0)) {
    placed.repeat = true;
    ++repeats_;
    return placed;
  }
  if (!(step > 0.0)) step = LearntStep();

  placed.lost = damaged;
  const SampleClock::Kind kind = clock_.Classify(first);
  if (kind == SampleClock::Kind::Forward || kind == SampleClock::Kind::Wrap) {
    const std::int64_t advance = clock_.Advance(first);
    if (step >= 1.0 && advance <= clock_.Range() / 2) {
      const long long missing = std::llround(static_cast<double>(advance) / step) - 1;
      placed.lost = missing > 0 ? static_cast<int>(missing) : 0;
    }
    // Two good packets of one sample in a row: their distance is a period.
    if (samples.size() == 1 && damaged == 0 && !discarded_) {
      steps_[static_cast<std::size_t>(nextStep_)] = advance;
      nextStep_ = (nextStep_ + 1) % static_cast<int>(steps_.size());
      stepCount_ = std::min(stepCount_ + 1, static_cast<int>(steps_.size()));
    }
  }

  // After a restart the line goes on one sample period (at least one
  // hundredth of a second) after the last sample.
  const std::int64_t restartStep = std::max<std::int64_t>(std::llround(step), perTick_);
  for (DataSample& sample : samples) {
    sample.time = clock_.Take(sample.count, restartStep) / perTick_;
  }
  // What was thrown away on purpose is no loss.
  if (discarded_) placed.lost = 0;
  discarded_ = false;
  havePacket_ = true;
  lastFirst_ = first;
  return placed;
}

}  // namespace sondrix
