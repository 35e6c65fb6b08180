// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/time_axis.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "common/text_format.h"

namespace sondrix {
namespace {

constexpr double kSecondsSteps[] = {1,    2,    5,    10,   15,    30,    60,    120,   300,
                                    600,  900,  1800, 3600, 7200,  10800, 21600, 43200, 86400};

std::string ClockLabel(double utcMs, double stepSeconds) {
  const auto seconds = static_cast<std::time_t>(std::floor(utcMs / 1000.0 + 0.5));
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char text[32];
  if (stepSeconds >= 86400) {
    std::strftime(text, sizeof text, "%m-%d", &tm);
  } else {
    std::strftime(text, sizeof text, stepSeconds >= 60 ? "%H:%M" : "%H:%M:%S", &tm);
  }
  return text;
}

}  // namespace

std::vector<platform::TimeTick> RoundTimeTicks(double loMs, double hiMs, int most, const TimeBase& base) {
  std::vector<platform::TimeTick> ticks;
  if (!(hiMs > loMs) || !std::isfinite(loMs) || !std::isfinite(hiMs)) return ticks;
  most = std::max(most, 1);
  const double span = hiMs - loMs;
  if (base.ShowsClock()) {
    const double zero = static_cast<double>(*base.utcZeroMs);
    double step = kSecondsSteps[std::size(kSecondsSteps) - 1];
    for (const double s : kSecondsSteps) {
      if (span / (s * 1000.0) <= most) {
        step = s;
        break;
      }
    }
    const double stepMs = step * 1000.0;
    for (double utc = std::ceil((zero + loMs) / stepMs) * stepMs; utc <= zero + hiMs; utc += stepMs)
      ticks.push_back({utc - zero, ClockLabel(utc, step)});
    return ticks;
  }
  // Elapsed minutes, in steps of 1, 2 or 5 times a power of ten.
  const double spanMinutes = span / 60000.0;
  double power = std::pow(10.0, std::floor(std::log10(spanMinutes / most)));
  double step = power;
  for (const double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * power;
    if (spanMinutes / step <= most) break;
  }
  const int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
  const double first = std::ceil(loMs / 60000.0 / step);
  for (double k = first; k * step * 60000.0 <= hiMs + 1e-9 * span; k += 1.0) {
    const double minutes = k * step;
    ticks.push_back({minutes * 60000.0, Format("%.*f", decimals, minutes == 0.0 ? 0.0 : minutes)});
  }
  return ticks;
}

HistoryTimeScale::HistoryTimeScale(std::shared_ptr<const HistoryColumns> columns, RunHistory::Keys keys,
                                   std::shared_ptr<const TimeBase> base)
    : columns_(std::move(columns)), keys_(keys), base_(std::move(base)) {}

std::string HistoryTimeScale::Caption() const { return base_->ShowsClock() ? kClockCaption : kElapsedCaption; }

std::optional<double> HistoryTimeScale::TimeAt(double key) const {
  if (keys_ == RunHistory::Keys::Minutes) return key * 60000.0;
  const std::vector<std::int64_t>& times = columns_->times;
  if (times.empty()) return std::nullopt;
  const double last = static_cast<double>(times.size() - 1);
  const double at = std::clamp(key, 0.0, last);
  const auto i = static_cast<std::size_t>(std::floor(at));
  if (i + 1 >= times.size()) return static_cast<double>(times.back());
  const double a = static_cast<double>(times[i]), b = static_cast<double>(times[i + 1]);
  return a + (at - static_cast<double>(i)) * (b - a);
}

std::optional<double> HistoryTimeScale::KeyAt(double ms) const {
  if (keys_ == RunHistory::Keys::Minutes) return ms / 60000.0;
  const std::vector<std::int64_t>& times = columns_->times;
  const auto it = std::lower_bound(times.begin(), times.end(), ms,
                                   [](std::int64_t t, double v) { return static_cast<double>(t) < v; });
  if (it == times.end()) return std::nullopt;
  const auto i = static_cast<std::size_t>(it - times.begin());
  if (i == 0) return static_cast<double>(times[0]) == ms ? std::optional<double>(0.0) : std::nullopt;
  const double a = static_cast<double>(times[i - 1]), b = static_cast<double>(times[i]);
  return static_cast<double>(i - 1) + (b > a ? (ms - a) / (b - a) : 1.0);
}

std::string HistoryTimeScale::Read(double key) const {
  const std::optional<double> ms = TimeAt(keys_ == RunHistory::Keys::Index ? std::round(key) : key);
  if (!ms) return {};
  if (!base_->ShowsClock()) return Format("%.3f min", *ms / 60000.0);
  const double utc = static_cast<double>(*base_->utcZeroMs) + *ms;
  const double tenths = std::round(utc / 100.0);
  const double wholeSeconds = std::floor(tenths / 10.0);
  return ClockLabel(wholeSeconds * 1000.0, 1) + Format(".%d UTC", static_cast<int>(tenths - 10.0 * wholeSeconds));
}

std::vector<platform::TimeTick> HistoryTimeScale::Ticks(double lo, double hi, int most) const {
  std::vector<platform::TimeTick> ticks;
  const std::optional<double> from = TimeAt(lo), to = TimeAt(hi);
  if (!from || !to) return ticks;
  // Entry numbers: ticks crowded into a few entries (across a gap) are left
  // out, so that no two labels run into each other.
  const double closest = (hi - lo) / (2.0 * std::max(most, 1));
  const double slack = 1e-9 * (hi - lo);
  for (platform::TimeTick& tick : RoundTimeTicks(*from, *to, most, *base_)) {
    const std::optional<double> key = KeyAt(tick.key);
    if (!key || *key < lo - slack || *key > hi + slack) continue;
    if (!ticks.empty() && *key - ticks.back().key < closest) continue;
    tick.key = *key;
    ticks.push_back(std::move(tick));
  }
  return ticks;
}

}  // namespace sondrix
