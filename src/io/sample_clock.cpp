// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/sample_clock.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

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
  grid_.clear();
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

// Where the grid of `step` through `points` places its last point, less
// that point's own place: each place is its count cut to whole counts (up
// to a count off), and the mean of many is much closer. Empty when a point
// lies more than a count and a half off the grid (samples not taken at
// that step: a clock that runs differently, a damaged packet).
std::optional<double> PacketTimeline::GridOffset(std::span<const GridPoint> points, double step) {
  const GridPoint& last = points.back();
  const auto off = [&](const GridPoint& point) {
    return static_cast<double>(point.place - last.place) - static_cast<double>(point.index - last.index) * step;
  };
  double sum = 0.0;
  for (const GridPoint& point : points) sum += off(point);
  const double mean = sum / static_cast<double>(points.size());
  for (const GridPoint& point : points) {
    if (std::abs(off(point) - mean) > 1.5) return std::nullopt;
  }
  return mean;
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
  const std::int64_t advance = clock_.Advance(first);
  const bool forward = kind == SampleClock::Kind::Forward || kind == SampleClock::Kind::Wrap;
  const bool counted = forward && step >= 1.0 && advance <= clock_.Range() / 2;
  // Two good packets of one sample in a row: their distance is a period.
  if (forward && samples.size() == 1 && damaged == 0 && !discarded_) {
    steps_[static_cast<std::size_t>(nextStep_)] = advance;
    nextStep_ = (nextStep_ + 1) % static_cast<int>(steps_.size());
    stepCount_ = std::min(stepCount_ + 1, static_cast<int>(steps_.size()));
  }

  // After a restart the line goes on one sample period (at least one
  // hundredth of a second) after the last sample.
  const std::int64_t restartStep = std::max<std::int64_t>(std::llround(step), perTick_);
  const long long restarts = clock_.Restarts();
  placedNow_.clear();
  for (DataSample& sample : samples) {
    const std::int64_t position = clock_.Take(sample.count, restartStep);
    sample.time = position / perTick_;
    placedNow_.push_back({static_cast<std::int64_t>(placedNow_.size()), position});
  }
  const bool steady = clock_.Restarts() == restarts;

  if (counted) {
    // The samples missing: the counter's advance in steps, less one. The
    // advance is measured between the grid of the samples before (up to
    // kGridSamples, each on its place in the run's sequence) and that of
    // this packet's: taken from one count at each end alone, a count cut
    // short at either end could add or take a sample where a step is less
    // than two counts (above 50 samples a second).
    double missing = static_cast<double>(advance) / step - 1.0;
    const std::optional<double> before = grid_.empty() ? std::nullopt : GridOffset(grid_, step);
    const std::optional<double> now = GridOffset(placedNow_, step);
    const bool onGrid = steady && before && now;
    if (onGrid) {
      // `now` is the offset at this packet's last sample: its first lies
      // (m - 1) steps before.
      const double firstPlace =
          static_cast<double>(placedNow_.front().place) +
          (*now + static_cast<double>(placedNow_.back().place - placedNow_.front().place) -
           static_cast<double>(placedNow_.size() - 1) * step);
      missing = (firstPlace - (static_cast<double>(grid_.back().place) + *before)) / step - 1.0;
    }
    const long long lost = std::llround(missing);
    placed.lost = lost > 0 ? static_cast<int>(std::min<long long>(lost, std::numeric_limits<int>::max())) : 0;
    if (!onGrid) grid_.clear();
  } else {
    grid_.clear();
  }
  // What was thrown away on purpose is no loss; how many samples it held
  // is not known, so the grid starts again.
  if (discarded_) {
    placed.lost = 0;
    grid_.clear();
  }
  discarded_ = false;
  // The grid goes on with this packet's samples, each at its place in the
  // sequence (after the samples missing), or starts with them.
  const std::int64_t next = grid_.empty() ? 0 : grid_.back().index + 1 + placed.lost;
  for (std::size_t j = 0; j < placedNow_.size(); ++j)
    grid_.push_back({next + static_cast<std::int64_t>(j), placedNow_[j].place});
  if (grid_.size() > kGridSamples)
    grid_.erase(grid_.begin(), grid_.begin() + static_cast<std::ptrdiff_t>(grid_.size() - kGridSamples));
  havePacket_ = true;
  lastFirst_ = first;
  return placed;
}

}  // namespace sondrix
