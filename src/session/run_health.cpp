// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/run_health.h"

#include <algorithm>

namespace sondrix {

HealthLevel LineLevel(LineState state) {
  switch (state) {
    case LineState::Idle: return HealthLevel::None;
    case LineState::Reading: return HealthLevel::Good;
    case LineState::Waiting:
    case LineState::Reconnecting: return HealthLevel::Amber;
    case LineState::Lost: return HealthLevel::Red;
  }
  return HealthLevel::None;
}

HealthLevel LossLevel(std::optional<double> rate) {
  if (!rate) return HealthLevel::None;
  return *rate >= kLossRed ? HealthLevel::Red : *rate >= kLossAmber ? HealthLevel::Amber : HealthLevel::Good;
}

HealthLevel AgeLevel(const DataAge& age) {
  if (!age.on) return HealthLevel::None;
  if (age.failed) return HealthLevel::Red;
  if (!age.age) return HealthLevel::Amber;
  return *age.age > kAgeRedSeconds ? HealthLevel::Red : *age.age > age.amberSeconds ? HealthLevel::Amber : HealthLevel::Good;
}

HealthLevel DiskLevel(std::optional<double> hours) {
  if (!hours) return HealthLevel::None;
  return *hours < kDiskRedHours ? HealthLevel::Red : *hours < kDiskAmberHours ? HealthLevel::Amber : HealthLevel::Good;
}

HealthLevel Worst(std::initializer_list<HealthLevel> levels) {
  HealthLevel worst = HealthLevel::None;
  for (const HealthLevel level : levels) worst = std::max(worst, level);
  return worst;
}

void LossWindow::Add(std::int64_t timeMs, long long good, long long lost) {
  // A time that goes back (a restarted clock) starts the window afresh.
  if (!marks_.empty() && timeMs < marks_.back().timeMs) marks_.clear();
  if (marks_.size() >= 2 && timeMs - marks_[marks_.size() - 2].timeMs < 1000) {
    marks_.back() = {timeMs, good, lost};
  } else {
    marks_.push_back({timeMs, good, lost});
  }
  const auto window = static_cast<std::int64_t>(kLossWindowSeconds * 1000.0);
  // The oldest mark kept is the newest one at least a window old.
  while (marks_.size() > 2 && timeMs - marks_[1].timeMs >= window) marks_.pop_front();
}

void LossWindow::Fill(RunHealth& health) const {
  health.windowLost = 0;
  health.windowSamples = 0;
  health.windowSeconds = 0.0;
  if (marks_.size() < 2) return;
  const auto window = static_cast<std::int64_t>(kLossWindowSeconds * 1000.0);
  const Mark& last = marks_.back();
  // The mark at the window's start, or the run's first.
  Mark first = marks_.front();
  for (const Mark& m : marks_) {
    if (last.timeMs - m.timeMs < window) break;
    first = m;
  }
  health.windowLost = std::max(0LL, last.lost - first.lost);
  health.windowSamples = std::max(0LL, last.good - first.good) + health.windowLost;
  health.windowSeconds = static_cast<double>(last.timeMs - first.timeMs) / 1000.0;
}

void WriteRate::Add(double seconds, std::uint64_t bytes) {
  if (!marks_.empty() && (seconds < marks_.back().first || bytes < marks_.back().second)) marks_.clear();
  marks_.emplace_back(seconds, bytes);
  while (marks_.size() > 2 && seconds - marks_[1].first >= kDiskRateSeconds) marks_.pop_front();
}

std::optional<double> WriteRate::Rate() const {
  if (marks_.size() < 2) return std::nullopt;
  const double span = marks_.back().first - marks_.front().first;
  if (!(span > 0.0)) return std::nullopt;
  return static_cast<double>(marks_.back().second - marks_.front().second) / span;
}

}  // namespace sondrix
