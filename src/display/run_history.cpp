#include "display/run_history.h"

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

// Half the entries of the older half go, the run's first entry stays and
// the newer half stays whole. The older half's entries after the first are
// taken in pairs, and of each pair the entry that stands out more stays: the
// one whose values lie further outside their neighbours' (the entry kept
// before the pair and the one after it), in shares of each trace's range.
// A spike of a single line survives every thinning, at its own time (of two
// spikes that come to share a pair, the one that stands out more).
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
  keep(0);
  std::size_t i = 1;
  for (; i + 1 <= half && i + 2 < n; i += 2) keep(standing(i + 1, i + 2) > standing(i, i + 2) ? i + 1 : i);
  for (; i < n; ++i) keep(i);
  times_.resize(out);
  temperatures_.resize(out);
  depths_.resize(out);
  values_.resize(out * t);
}

}  // namespace sondrix
