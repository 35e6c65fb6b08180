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

// Every second entry of the older half goes; the newer half stays whole.
void RunHistory::Thin() {
  const std::size_t n = times_.size();
  const std::size_t half = n / 2;
  const std::size_t t = static_cast<std::size_t>(traces_);
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i < half && i % 2 != 0) continue;
    if (out != i) {
      times_[out] = times_[i];
      temperatures_[out] = temperatures_[i];
      depths_[out] = depths_[i];
      std::copy_n(values_.begin() + static_cast<std::ptrdiff_t>(i * t), t,
                  values_.begin() + static_cast<std::ptrdiff_t>(out * t));
    }
    ++out;
  }
  times_.resize(out);
  temperatures_.resize(out);
  depths_.resize(out);
  values_.resize(out * t);
}

}  // namespace sondrix
