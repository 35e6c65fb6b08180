// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/min_max_pyramid.h"

#include <algorithm>
#include <limits>

namespace sondrix {
namespace {

// The extremes of values [from, to), NaN skipped (it fails both tests).
template <typename Take>
void ScanRaw(std::span<const double> values, std::size_t from, std::size_t to, Take&& take) {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  for (std::size_t i = from; i < to; ++i) {
    const double v = values[i];
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
  take(lo, hi);
}

}  // namespace

void MinMaxPyramid::Grew(std::span<const double> values) {
  if (!values.empty() && values.size() % kBase == 0) AddGroup(values, values.size());
}

void MinMaxPyramid::AddGroup(std::span<const double> values, std::size_t end) {
  ScanRaw(values, end - kBase, end, [&](double lo, double hi) {
    if (levels_.empty()) levels_.emplace_back();
    levels_[0].push_back({lo, hi});
  });
  for (std::size_t k = 0; levels_[k].size() % kFan == 0; ++k) {
    const std::vector<Bucket>& below = levels_[k];
    Bucket up{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (std::size_t i = below.size() - kFan; i < below.size(); ++i) {
      up.lo = std::min(up.lo, below[i].lo);
      up.hi = std::max(up.hi, below[i].hi);
    }
    if (levels_.size() == k + 1) levels_.emplace_back();
    levels_[k + 1].push_back(up);
  }
}

void MinMaxPyramid::Rebuild(std::span<const double> values) {
  for (auto& level : levels_) level.clear();
  for (std::size_t end = kBase; end <= values.size(); end += kBase) AddGroup(values, end);
}

platform::Extremes MinMaxPyramid::Extremes(std::span<const double> values, std::size_t from, std::size_t to) const {
  to = std::min(to, values.size());
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  const auto take = [&](double l, double h) {
    lo = l < lo ? l : lo;
    hi = h > hi ? h : hi;
  };
  if (from < to) {
    // Raw values up to the first whole group and after the last; whole
    // groups from the levels above, the same way up the pyramid.
    std::size_t a = (from + kBase - 1) / kBase;
    std::size_t b = to / kBase;
    if (a >= b || levels_.empty() || levels_[0].size() < b) {
      ScanRaw(values, from, to, take);
    } else {
      ScanRaw(values, from, a * kBase, take);
      ScanRaw(values, b * kBase, to, take);
      for (std::size_t k = 0; a < b; ++k) {
        const std::vector<Bucket>& level = levels_[k];
        const std::size_t upA = (a + kFan - 1) / kFan;
        const std::size_t upB = b / kFan;
        const bool climb = k + 1 < levels_.size() && upA < upB;
        const std::size_t headEnd = climb ? upA * kFan : b;
        for (std::size_t i = a; i < headEnd; ++i) take(level[i].lo, level[i].hi);
        if (!climb) break;
        for (std::size_t i = upB * kFan; i < b; ++i) take(level[i].lo, level[i].hi);
        a = upA;
        b = upB;
      }
    }
  }
  platform::Extremes out;
  if (lo <= hi) out = {lo, hi};
  return out;
}

}  // namespace sondrix
