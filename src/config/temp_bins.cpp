// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/temp_bins.h"

#include <algorithm>
#include <cmath>

namespace sondrix {

BinInterpolation::BinInterpolation(std::span<const double> bins, int binCount, double temperature) {
  const int count = std::clamp(binCount, 0, static_cast<int>(bins.size()));
  if (count < 1) return;
  if (count == 1) {
    kind_ = Kind::Constant;
    return;
  }
  int k = 1;
  while (k < count - 1 && temperature >= bins[static_cast<std::size_t>(k)]) ++k;
  const double lo = bins[static_cast<std::size_t>(k - 1)];
  const double hi = bins[static_cast<std::size_t>(k)];
  // Equal temperatures, or two so close that their distance vanishes in the
  // division, say nothing about the slope between them: no correction
  // rather than one that is not a number.
  const double fraction = (temperature - lo) / (hi - lo);
  if (hi == lo || !std::isfinite(fraction)) return;
  kind_ = Kind::Pair;
  k_ = static_cast<std::size_t>(k);
  fraction_ = fraction;
}

double BinInterpolation::At(std::span<const double> corrections) const {
  switch (kind_) {
    case Kind::Constant:
      return corrections.empty() ? 0.0 : corrections[0];
    case Kind::Pair: {
      if (k_ >= corrections.size()) return 0.0;
      const double below = corrections[k_ - 1];
      return below + (corrections[k_] - below) * fraction_;
    }
    case Kind::None:
      break;
  }
  return 0.0;
}

}  // namespace sondrix
