// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/follow.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "common/c_locale.h"
#include "common/text_format.h"

namespace sondrix {
namespace {

bool Flag(int value) { return value == 0 || value == 1; }

// The smallest round number above `x` (x > 0): 1, 1.2, 1.5, 2, 2.5, 3, 4, 5,
// 6 or 8 times a power of ten. Consecutive ones differ by a third at most.
double RoundAbove(double x) {
  static constexpr std::array<double, 11> kMantissas = {1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6, 8, 10};
  const double power = std::pow(10.0, std::floor(std::log10(x)));
  for (const double m : kMantissas) {
    if (m * power > x) return m * power;
  }
  return 10.0 * power;
}

}  // namespace

bool FollowSettings::Valid() const {
  return Flag(axis) && Flag(wholeRun) && Flag(values) && std::isfinite(minutes) && minutes > 0.0 &&
         minutes <= kMaxFollowMinutes;
}

std::string FollowLine(const FollowSettings& s) {
  const ScopedCLocale cLocale;
  return Format("%d\t%.5lf\t%d\t%d\t; follow: axis, minutes, whole run, values", s.axis, s.minutes,
                s.wholeRun, s.values);
}

std::optional<FollowSettings> ParseFollowLine(std::string_view line) {
  const ScopedCLocale cLocale;
  const std::string text(line);
  FollowSettings read;
  int used = 0;
  if (std::sscanf(text.c_str(), "%d %lf %d %d%n", &read.axis, &read.minutes, &read.wholeRun, &read.values,
                  &used) != 4) {
    return std::nullopt;
  }
  // Nothing but a comment may follow.
  const std::string_view rest = std::string_view(text).substr(static_cast<std::size_t>(used));
  const std::size_t next = rest.find_first_not_of(" \t\r\n");
  if (next != std::string_view::npos && rest[next] != ';') return std::nullopt;
  if (!read.Valid()) return std::nullopt;
  return read;
}

double TidyStep(double size) {
  if (!std::isfinite(size) || size <= 0.0) return 1.0;
  const double power = std::pow(10.0, std::floor(std::log10(size)));
  const double m = size / power;
  if (m <= 1.0) return power;
  if (m <= 2.0) return 2.0 * power;
  if (m <= 5.0) return 5.0 * power;
  return 10.0 * power;
}

AxisRange PaddedRange(double lo, double hi) {
  const double size = std::max(std::fabs(lo), std::fabs(hi));
  double span = hi - lo;
  // Data of no span (or a span lost in the digits of their size) get a
  // hundredth of their size, centred on them.
  const double least = size > 0.0 ? size * 0.01 : 1.0e-6;
  if (!(span >= least * 1.0e-4)) {
    const double centre = (lo + hi) / 2.0;
    lo = centre - least / 2.0;
    hi = centre + least / 2.0;
    span = least;
  }
  const double margin = kFollowMargin * span;
  const double low = lo - margin;
  const double high = hi + margin;
  const double step = TidyStep((high - low) / 10.0);
  // A hair of tolerance, so that a bound already on a step stays there.
  AxisRange out{step * std::floor(low / step + 1.0e-9), step * std::ceil(high / step - 1.0e-9)};
  if (!(out.hi > out.lo)) out = {low, high};
  return out;
}

void ValueFollower::Reset() {
  set_ = false;
  shrinkSince_ = -1;
}

std::optional<AxisRange> ValueFollower::Update(double dataLo, double dataHi, std::int64_t nowMs, bool withZero) {
  if (!std::isfinite(dataLo) || !std::isfinite(dataHi) || dataLo > dataHi) return std::nullopt;
  if (withZero) {
    dataLo = std::min(dataLo, 0.0);
    dataHi = std::max(dataHi, 0.0);
  }
  const AxisRange fit = PaddedRange(dataLo, dataHi);
  // Data outside the range: it grows at once.
  if (!set_ || dataLo < range_.lo || dataHi > range_.hi) {
    const bool changed = !set_ || !(fit == range_);
    set_ = true;
    shrinkSince_ = -1;
    range_ = fit;
    if (!changed) return std::nullopt;
    return range_;
  }
  // Data using much less of it: it shrinks once they have done so for a
  // while.
  if (fit.hi - fit.lo <= kShrinkShare * (range_.hi - range_.lo)) {
    if (shrinkSince_ < 0 || nowMs < shrinkSince_) {
      shrinkSince_ = nowMs;
    } else if (nowMs - shrinkSince_ >= kShrinkDelayMs) {
      shrinkSince_ = -1;
      range_ = fit;
      return range_;
    }
  } else {
    shrinkSince_ = -1;
  }
  return std::nullopt;
}

AxisRange TimeWindow(double now, double span) {
  if (!(span > 0.0) || !std::isfinite(now)) return {0.0, span > 0.0 ? span : 1.0};
  const double step = span / 20.0;
  const double end = std::max((std::floor(now / step) + 1.0) * step, span);
  return {end - span, end};
}

AxisRange WholeRunWindow(double first, double now) {
  if (!std::isfinite(first) || !std::isfinite(now)) return {0.0, 1.0};
  now = std::max(now, first);
  const auto length = [](double minutes) { return minutes < 1.0 ? 1.0 : RoundAbove(minutes); };
  // The start on a round step of the length: 0 for a run that began at 0.
  const double step = TidyStep(length(now - first) / 10.0);
  const double start = step * std::floor(first / step + 1.0e-9);
  return {start, start + length(now - start)};
}

bool ExtendRange(AxisRange& shown, double dataLo, double dataHi) {
  if (!std::isfinite(dataLo) || !std::isfinite(dataHi) || dataLo > dataHi) return false;
  if (dataLo >= shown.lo && dataHi <= shown.hi) return false;
  // Only the end the data passed moves: a dive from the surface extends
  // the depth axis downwards, not above the surface too.
  const AxisRange fit = PaddedRange(dataLo, dataHi);
  if (dataLo < shown.lo) shown.lo = fit.lo;
  if (dataHi > shown.hi) shown.hi = fit.hi;
  return true;
}

}  // namespace sondrix
