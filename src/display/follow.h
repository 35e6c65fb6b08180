// SPDX-License-Identifier: GPL-3.0-or-later
// Following the data: how a graph's axes keep up with a live run.
//
// - The time axis (the XY graph's elapsed minutes, the strip chart's width)
//   shows the last N minutes of the run, or the whole run.
// - The depth axis of the depth graph and the temperature axis of the
//   temperature graph extend to hold the data.
// - The value axis autoscales with a margin and hysteresis: it grows as soon
//   as the data leave it, and shrinks only when the data have used much less
//   than it for a while, so that it does not rescale on every line's jitter.
//
// The settings are the graph's own and are kept in the display configuration
// file; the state is the graph's while it follows a run. A zoom or move by the
// user suspends following until the user asks for it again.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace sondrix {

// Minutes a time axis shows by default while following.
inline constexpr double kDefaultFollowMinutes = 5.0;
// The longest time window that can be chosen (a week).
inline constexpr double kMaxFollowMinutes = 7.0 * 24.0 * 60.0;
// Margin around the data on each side, as a share of their span.
inline constexpr double kFollowMargin = 0.1;
// The value axis shrinks when a fitted range would be at most this share of
// the range shown ...
inline constexpr double kShrinkShare = 0.5;
// ... for this long (milliseconds of the run's own time).
inline constexpr std::int64_t kShrinkDelayMs = 10000;
// How often the data shown are measured again for shrinking (ms of the run).
inline constexpr std::int64_t kRescanIntervalMs = 2000;

struct FollowSettings {
  // The time axis scrolls with the run (XY graph, strip chart); the depth or
  // temperature axis extends to the data (depth and temperature graphs).
  int axis = 1;
  // The time window, in minutes.
  double minutes = kDefaultFollowMinutes;
  // The time axis shows the whole run instead of the last minutes.
  int wholeRun = 0;
  // The value axis autoscales.
  int values = 1;

  bool operator==(const FollowSettings&) const = default;
  bool Valid() const;
};

// The line of a graph's follow settings in the display configuration file:
// "1\t5.00000\t0\t1\t; follow: axis, minutes, whole run, values".
std::string FollowLine(const FollowSettings& settings);
// Reads such a line; nothing when it is not one (then the defaults hold).
std::optional<FollowSettings> ParseFollowLine(std::string_view line);

// A range of an axis.
struct AxisRange {
  double lo = 0.0;
  double hi = 0.0;
  bool operator==(const AxisRange&) const = default;
};

// The hysteresis of an autoscaled value axis.
class ValueFollower {
 public:
  // Forgets the range: the next data set it.
  void Reset();
  // The data shown now span dataLo ... dataHi at time `nowMs` of the run.
  // Returns the range to show when it changes; nothing while it stays.
  // With `withZero` the range holds 0 (bars stand on it).
  std::optional<AxisRange> Update(double dataLo, double dataHi, std::int64_t nowMs, bool withZero);
  AxisRange range() const { return range_; }

 private:
  AxisRange range_;
  bool set_ = false;
  std::int64_t shrinkSince_ = -1;
};

// The data range with a margin of kFollowMargin of its span on each side,
// rounded outwards to a tidy step (1, 2 or 5 times a power of ten). Data of
// no span get a span of a hundredth of their size (or 1e-6 around zero).
AxisRange PaddedRange(double lo, double hi);
// A tidy step near `size`: 1, 2 or 5 times a power of ten, at least `size`.
double TidyStep(double size);

// The time axis while following, in minutes, at `now` minutes into the run:
// the last `span` minutes, moved on in steps of a twentieth of the span, so
// that the axis does not creep on every line; 0 ... span at the start.
AxisRange TimeWindow(double now, double span);
// The time axis showing the whole run, from its first point at `first` to
// `now` minutes: from `first` rounded down (0 for a run that began at 0) to a
// round length above `now` (never below one minute), so that the run fills
// three quarters of it or more and the axis changes only now and then.
AxisRange WholeRunWindow(double first, double now);

// `shown` extended to hold the data with a margin at the end they passed
// (never shrunk). True when it changed.
bool ExtendRange(AxisRange& shown, double dataLo, double dataHi);

}  // namespace sondrix
