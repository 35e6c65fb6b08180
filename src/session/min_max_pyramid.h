// SPDX-License-Identifier: GPL-3.0-or-later
// The extremes of a column of values, kept so that those of any run of
// points are found in a few dozen steps: a bucket of 32 values, then of 16
// buckets each level up. A pixel's span of a million points is found
// without visiting them, and an axis that follows a run measures what it
// shows without scanning it. The pyramid costs a sixteenth of the values'
// room, and its extremes are exactly those of a scan.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "platform/curve.h"

namespace sondrix {

class MinMaxPyramid {
 public:
  // Values a bucket of the first level gathers, and buckets a bucket of
  // each level above gathers.
  static constexpr std::size_t kBase = 32;
  static constexpr std::size_t kFan = 16;

  void Clear() { levels_.clear(); }
  // `values` grew by one value at its end.
  void Grew(std::span<const double> values);
  // `values` changed as a whole.
  void Rebuild(std::span<const double> values);
  // The extremes of values [from, to) of `values` (the column the pyramid
  // was kept over), NaN skipped.
  platform::Extremes Extremes(std::span<const double> values, std::size_t from, std::size_t to) const;

 private:
  struct Bucket {
    double lo, hi;
  };
  // The group of values ending at `end` climbs the pyramid as far as it
  // completes groups.
  void AddGroup(std::span<const double> values, std::size_t end);

  // levels_[k] holds the extremes of 32 x 16^k consecutive values, for the
  // complete groups only.
  std::vector<std::vector<Bucket>> levels_;
};

}  // namespace sondrix
