// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/clock_map.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <span>

namespace sondrix {
namespace {

// A crystal is never further off than this: a slope beyond it is noise of
// anchors too close together.
constexpr double kMaxSlopeError = 1e-3;
// Anchors at least this far apart give the slope that carries the map
// beyond its ends.
constexpr std::int64_t kSlopeBaselineMs = 600000;

std::int64_t Residual(const ClockAnchor& a) { return a.utcMs - a.timeMs; }

// The UTC of `t` on one piece of the map (anchors in time order, at least
// one).
std::int64_t UtcOnPiece(std::span<const ClockAnchor> piece, std::int64_t t) {
  const auto slopeOver = [](const ClockAnchor& a, const ClockAnchor& b) {
    const double span = static_cast<double>(b.timeMs - a.timeMs);
    if (span < static_cast<double>(ClockFit::kWindowMs)) return 1.0;
    const double slope = static_cast<double>(b.utcMs - a.utcMs) / span;
    return std::clamp(slope, 1.0 - kMaxSlopeError, 1.0 + kMaxSlopeError);
  };
  // In doubles, so that a stamp at the ends of int64 (a damaged line's)
  // gives a time far off, never an overflow.
  const auto along = [](const ClockAnchor& from, double slope, std::int64_t time) {
    constexpr double kLimit = 9.2e18;
    const double utc = static_cast<double>(from.utcMs) +
                       (static_cast<double>(time) - static_cast<double>(from.timeMs)) * slope;
    return std::llround(std::clamp(utc, -kLimit, kLimit));
  };
  const auto after = std::upper_bound(piece.begin(), piece.end(), t,
                                      [](std::int64_t time, const ClockAnchor& a) { return time < a.timeMs; });
  if (after == piece.begin()) {
    // Before the first anchor: the slope from it to one a baseline on.
    const auto far = std::lower_bound(piece.begin(), piece.end(), piece.front().timeMs + kSlopeBaselineMs,
                                      [](const ClockAnchor& a, std::int64_t time) { return a.timeMs < time; });
    return along(piece.front(), slopeOver(piece.front(), far == piece.end() ? piece.back() : *far), t);
  }
  if (after == piece.end()) {
    const auto near = std::upper_bound(piece.begin(), piece.end(), piece.back().timeMs - kSlopeBaselineMs,
                                       [](std::int64_t time, const ClockAnchor& a) { return time < a.timeMs; });
    const ClockAnchor& from = near == piece.begin() ? piece.front() : *(near - 1);
    return along(piece.back(), slopeOver(from, piece.back()), t);
  }
  const ClockAnchor& a = *(after - 1);
  const ClockAnchor& b = *after;
  const double fraction = static_cast<double>(t - a.timeMs) / static_cast<double>(b.timeMs - a.timeMs);
  return a.utcMs + std::llround(fraction * static_cast<double>(b.utcMs - a.utcMs));
}

}  // namespace

std::int64_t ClockMap::Utc(std::int64_t timeMs) const {
  // Piece k runs from breaks[k - 1] to breaks[k]. The time's own piece
  // answers; one without anchors (a break with nothing fitted after it yet)
  // borrows the nearest earlier piece's, else the nearest later one's.
  const auto by = [](const ClockAnchor& a, std::int64_t time) { return a.timeMs < time; };
  const auto piece = [&](std::size_t k) {
    const auto first = k == 0 ? anchors.begin() : std::lower_bound(anchors.begin(), anchors.end(), breaks[k - 1], by);
    const auto last = k == breaks.size() ? anchors.end() : std::lower_bound(anchors.begin(), anchors.end(), breaks[k], by);
    return std::span<const ClockAnchor>(first, last);
  };
  const auto own = static_cast<std::size_t>(std::upper_bound(breaks.begin(), breaks.end(), timeMs) - breaks.begin());
  for (std::size_t k = own + 1; k-- > 0;) {
    if (const auto p = piece(k); !p.empty()) return UtcOnPiece(p, timeMs);
  }
  for (std::size_t k = own + 1; k <= breaks.size(); ++k) {
    if (const auto p = piece(k); !p.empty()) return UtcOnPiece(p, timeMs);
  }
  return timeMs;  // no anchors at all: not to be asked
}

void ClockFit::Reset() { *this = ClockFit{}; }

void ClockFit::Adopt(ClockMap map) {
  Reset();
  map_ = std::move(map);
  adopted_ = true;
}

void ClockFit::Close() { open_ = false; }

void ClockFit::Break(std::int64_t timeMs) {
  if (adopted_) return;
  Close();
  suspects_.clear();
  if (map_.anchors.empty() && map_.breaks.empty()) return;  // nothing before it to keep apart
  if (map_.breaks.empty() || map_.breaks.back() < timeMs) map_.breaks.push_back(timeMs);
}

void ClockFit::Take(const ClockAnchor& bound) {
  if (!open_ || bound.timeMs >= windowStart_ + kWindowMs) {
    Close();
    windowStart_ = bound.timeMs;
    map_.anchors.push_back(bound);
    open_ = true;
    return;
  }
  if (Residual(bound) < Residual(map_.anchors.back())) map_.anchors.back() = bound;
}

void ClockFit::Observe(std::int64_t timeMs, std::int64_t utcBoundMs) {
  if (adopted_) return;
  ++observations_;
  const ClockAnchor bound{timeMs, utcBoundMs};
  // Where the map stands: the best bound of the minute going on, else the
  // last anchor (none just after a break).
  const ClockAnchor* reference = map_.anchors.empty() ? nullptr : &map_.anchors.back();
  if (!open_ && reference != nullptr && !map_.breaks.empty() && reference->timeMs < map_.breaks.back())
    reference = nullptr;
  if (reference != nullptr && Residual(bound) > Residual(*reference) + kJumpMs) {
    suspects_.push_back(bound);
    if (suspects_.back().timeMs - suspects_.front().timeMs < kJumpConfirmMs) return;
    // Ten seconds of bounds and none near the map: the time line moved.
    const std::vector<ClockAnchor> held = std::move(suspects_);
    Break(held.front().timeMs);
    for (const ClockAnchor& a : held) Take(a);
    return;
  }
  suspects_.clear();
  Take(bound);
}

std::optional<std::int64_t> ClockFit::Utc(std::int64_t timeMs) const {
  if (Empty()) return std::nullopt;
  return map_.Utc(timeMs);
}

std::optional<std::int64_t> SampleUtc(const ClockMap& map, std::optional<std::int64_t> timeZeroUtcMs,
                                      std::int64_t stampMs) {
  if (!map.Empty()) return map.Utc(stampMs);
  if (!timeZeroUtcMs) return std::nullopt;
  std::int64_t utcMs = 0;
  if (__builtin_add_overflow(*timeZeroUtcMs, stampMs, &utcMs)) return stampMs > 0 ? INT64_MAX : INT64_MIN;
  return utcMs;
}

}  // namespace sondrix
