// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/run_history.h"

#include <algorithm>
#include <limits>

namespace sondrix {

RunHistory::RunHistory(std::size_t maxValues, std::size_t maxEntries)
    : maxValues_(std::max<std::size_t>(maxValues, 4)), maxEntries_(std::max<std::size_t>(maxEntries, 4)) {
  Clear(0);
}

void RunHistory::Clear(int traceCount) {
  traces_ = std::max(traceCount, 0);
  // Room for at least four entries, so that thinning always frees some.
  capacity_ = std::max<std::size_t>(
      std::min(maxEntries_, maxValues_ / std::max<std::size_t>(static_cast<std::size_t>(traces_), 1)), 4);
  added_ = 0;
  spacing_ = 0;
  times_.clear();
  temperatures_.clear();
  depths_.clear();
  values_.clear();
  traceMin_.assign(static_cast<std::size_t>(traces_), std::numeric_limits<double>::infinity());
  traceMax_.assign(static_cast<std::size_t>(traces_), -std::numeric_limits<double>::infinity());
  tempMin_ = depthMin_ = std::numeric_limits<double>::infinity();
  tempMax_ = depthMax_ = -std::numeric_limits<double>::infinity();
}

std::size_t RunHistory::FirstAtOrAfter(std::int64_t timeMs) const {
  return static_cast<std::size_t>(std::lower_bound(times_.begin(), times_.end(), timeMs) - times_.begin());
}

bool RunHistory::Add(std::int64_t timeMs, double temperature, double depth, std::span<const double> values) {
  bool thinned = false;
  if (times_.size() >= capacity_) {
    Thin();
    thinned = true;
  }
  times_.push_back(timeMs);
  temperatures_.push_back(temperature);
  depths_.push_back(depth);
  for (int i = 0; i < traces_; ++i) {
    const std::size_t k = static_cast<std::size_t>(i);
    const double v = k < values.size() ? values[k] : 0.0;
    values_.push_back(v);
    traceMin_[k] = std::min(traceMin_[k], v);
    traceMax_[k] = std::max(traceMax_[k], v);
  }
  tempMin_ = std::min(tempMin_, temperature);
  tempMax_ = std::max(tempMax_, temperature);
  depthMin_ = std::min(depthMin_, depth);
  depthMax_ = std::max(depthMax_, depth);
  ++added_;
  return thinned;
}

// The newer half stays whole. The older half is brought to one resolution:
// its time is cut into steps long enough for half its entries (never
// shorter than the last thinning's), and each step keeps one entry. So the
// older part of a run is drawn evenly however long the run goes on, instead
// of getting coarser the older it is. The run's first entry always stays.
// Of a step's entries the one that stands out most stays: the one whose
// values lie furthest outside those of the entry kept before the step and
// the entry after it, in shares of each trace's range (the step's first
// entry when none stands out). A spike of a single line survives every
// thinning, at its own time; every entry stays a real line of the run.
void RunHistory::Thin() {
  const std::size_t n = times_.size();
  const std::size_t half = n / 2;
  const std::size_t t = static_cast<std::size_t>(traces_);
  std::size_t out = 0;
  const auto keep = [&](std::size_t i) {
    if (out != i) {
      times_[out] = times_[i];
      temperatures_[out] = temperatures_[i];
      depths_[out] = depths_[i];
      std::copy_n(values_.begin() + static_cast<std::ptrdiff_t>(i * t), t,
                  values_.begin() + static_cast<std::ptrdiff_t>(out * t));
    }
    ++out;
  };
  // How far entry i stands out between the last entry kept and entry `after`.
  const auto standing = [&](std::size_t i, std::size_t after) {
    double most = 0.0;
    for (std::size_t k = 0; k < t; ++k) {
      const double span = traceMax_[k] - traceMin_[k];
      if (!(span > 0.0)) continue;
      const double a = values_[(out - 1) * t + k], b = values_[after * t + k];
      const double v = values_[i * t + k];
      const double beyond = v > std::max(a, b) ? v - std::max(a, b) : (v < std::min(a, b) ? std::min(a, b) - v : 0.0);
      most = std::max(most, beyond / span);
    }
    return most;
  };
  const std::int64_t first = times_[0];
  const std::int64_t span = half > 0 ? times_[half - 1] - first : 0;
  const std::int64_t steps = static_cast<std::int64_t>(half > 2 ? (half - 1) / 2 : 1);
  spacing_ = std::max(spacing_, span / steps + 1);
  const auto stepOf = [&](std::size_t i) { return (times_[i] - first) / spacing_; };
  keep(0);
  for (std::size_t a = 1; a < half;) {
    std::size_t b = a + 1;
    while (b < half && stepOf(b) == stepOf(a)) ++b;
    // Entries a ... b-1 share a step; entry b (in the newer half at the
    // latest) follows it.
    std::size_t pick = a;
    double most = 0.0;
    for (std::size_t i = a; i < b; ++i) {
      const double s = standing(i, b);
      if (s > most) {
        most = s;
        pick = i;
      }
    }
    keep(pick);
    a = b;
  }
  for (std::size_t i = half; i < n; ++i) keep(i);
  // Room is made whatever the times (a history of a few entries).
  if (out == n && n >= 2) {
    out = 1;
    for (std::size_t i = 2; i < n; ++i) keep(i);
  }
  times_.resize(out);
  temperatures_.resize(out);
  depths_.resize(out);
  values_.resize(out * t);
}

}  // namespace sondrix
