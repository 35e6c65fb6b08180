// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/profiles.h"

#include <algorithm>
#include <cmath>

#include "processing/processor.h"

namespace sondrix {

double DepthFromPressure(double p, double latitudeDegrees) {
  const double s = std::sin(latitudeDegrees * 3.14159265358979323846 / 180.0);
  const double x = s * s;
  const double gravity = 9.780318 * (1.0 + (5.2788e-3 + 2.36e-5 * x) * x) + 1.092e-6 * p;
  return ((((-1.82e-15 * p + 2.279e-10) * p - 2.2512e-5) * p + 9.72659) * p) / gravity;
}

std::vector<double> SmoothedDepths(std::span<const DepthSample> samples, double seconds) {
  const auto half = static_cast<std::int64_t>(std::llround(seconds * 500.0));
  std::vector<double> out(samples.size(), std::numeric_limits<double>::quiet_NaN());
  // The window of a sample at t: the samples from t - S/2 up to t + S/2
  // (not included), so that it holds a whole number of samples of a wave
  // of period S, which the mean then cancels.
  std::size_t from = 0, to = 0;  // the window: [from, to)
  double sum = 0.0;
  long count = 0;
  const auto take = [&](std::size_t k, int sign) {
    if (std::isnan(samples[k].depth)) return;
    sum += sign * samples[k].depth;
    count += sign;
  };
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::int64_t t = samples[i].timeMs;
    while (to < samples.size() && (samples[to].timeMs < t + half || to <= i)) take(to++, 1);
    while (from < to && samples[from].timeMs < t - half) take(from++, -1);
    if (count > 0 && !std::isnan(samples[i].depth)) out[i] = sum / static_cast<double>(count);
    if (count == 0) sum = 0.0;  // no rounding left over
  }
  return out;
}

namespace {

// The cast of samples first ... last, its bottom the deepest smoothed
// depth; false when none of them has a depth.
bool CastOf(std::span<const DepthSample> samples, const std::vector<double>& smoothed, std::size_t first,
            std::size_t last, Cast& cast) {
  std::optional<std::size_t> bottom;
  for (std::size_t k = first; k <= last; ++k) {
    if (!std::isnan(smoothed[k]) && (!bottom || smoothed[k] > smoothed[*bottom])) bottom = k;
  }
  if (!bottom) return false;
  cast.startMs = samples[first].timeMs;
  cast.bottomMs = samples[*bottom].timeMs;
  cast.endMs = samples[last].timeMs;
  cast.maxDepth = smoothed[*bottom];
  cast.samples = static_cast<long>(last - first + 1);
  return true;
}

}  // namespace

std::vector<Cast> FindCasts(std::span<const DepthSample> samples, const CastSettings& settings,
                            std::span<const CastEvent> events) {
  std::vector<Cast> casts;
  if (samples.empty()) return casts;
  const std::vector<double> smoothed = SmoothedDepths(samples, settings.smoothSeconds);
  const auto add = [&](std::size_t first, std::size_t last, bool fromEvents) {
    Cast cast;
    if (!CastOf(samples, smoothed, first, last, cast)) return;
    if (!fromEvents && cast.maxDepth < settings.surface + kMinCastRange) return;
    cast.number = static_cast<int>(casts.size()) + 1;
    cast.fromEvents = fromEvents;
    casts.push_back(cast);
  };
  if (!events.empty()) {
    const auto at = [&](std::int64_t t) {
      return static_cast<std::size_t>(std::lower_bound(samples.begin(), samples.end(), t,
                                                       [](const DepthSample& s, std::int64_t v) { return s.timeMs < v; }) -
                                      samples.begin());
    };
    for (std::size_t e = 0; e < events.size(); ++e) {
      if (!events[e].start) continue;
      // To the next end; a new start before any end ends it before; a
      // start without an end lasts to the end of the record.
      std::int64_t endMs = samples.back().timeMs;
      if (e + 1 < events.size()) endMs = events[e + 1].start ? events[e + 1].timeMs - 1 : events[e + 1].timeMs;
      const std::size_t first = at(events[e].timeMs);
      std::size_t last = at(endMs + 1);
      if (first >= samples.size() || last == 0 || last - 1 < first) continue;
      add(first, last - 1, true);
    }
    return casts;
  }
  std::optional<std::size_t> start;
  std::size_t last = 0;
  for (std::size_t k = 0; k < samples.size(); ++k) {
    const double d = smoothed[k];
    if (std::isnan(d)) continue;
    if (d > settings.surface) {
      if (!start) start = k;
      last = k;
    } else if (start) {
      add(*start, last, false);
      start.reset();
    }
  }
  if (start) add(*start, last, false);
  return casts;
}

std::string_view CastPartName(CastPart part) {
  switch (part) {
    case CastPart::kDown: return "down";
    case CastPart::kUp: return "up";
    case CastPart::kBoth: return "both";
  }
  return "down";
}

bool ParseCastPart(std::string_view name, CastPart& part) {
  for (CastPart p : {CastPart::kDown, CastPart::kUp, CastPart::kBoth}) {
    if (name == CastPartName(p)) {
      part = p;
      return true;
    }
  }
  return false;
}

std::string BinSizeProblem(double metres) {
  return metres < 0.01 || metres > 1000.0 ? "not 0.01 ... 1000 metres" : "";
}
std::string SurfaceProblem(double metres) { return metres < 0.0 || metres > 100.0 ? "not 0 ... 100 metres" : ""; }
std::string SmoothProblem(double seconds) {
  return seconds < 0.0 || seconds > 600.0 ? "not 0 ... 600 seconds" : "";
}

namespace {
// Deeper than any ocean: a reading there is no depth.
constexpr double kDeepest = 12000.0;
}  // namespace

void DepthBins::Add(double depth, std::span<const double> values, bool usable) {
  if (!(depth >= 0.0) || depth > kDeepest) return;
  const auto k = static_cast<std::size_t>(std::floor(depth / settings_.binSize));
  if (k >= bins_.size()) {
    const std::size_t from = bins_.size();
    bins_.resize(k + 1);
    for (std::size_t b = from; b < bins_.size(); ++b) bins_[b].columns.Resize(columns_);
  }
  Gathered& bin = bins_[k];
  ++bin.samples;
  if (!usable) return;
  ++bin.usable;
  bin.columns.Add(values);
}

ProfileBin DepthBins::Bin(std::size_t k) {
  Gathered& bin = bins_[k];
  ProfileBin out;
  out.samples = bin.samples;
  out.usable = bin.usable;
  if (bin.usable < std::max(1L, settings_.minCount)) {
    out.flag = kFlagMissing;
    return out;
  }
  if (static_cast<double>(bin.usable) < settings_.goodShare * static_cast<double>(bin.samples)) {
    out.flag = kFlagBad;
    return out;
  }
  out.flag = kFlagGood;
  out.values.reserve(columns_);
  for (std::size_t c = 0; c < columns_; ++c) out.values.push_back(bin.columns.Of(c, settings_.statistic));
  return out;
}

}  // namespace sondrix
