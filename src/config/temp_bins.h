// SPDX-License-Identifier: GPL-3.0-or-later
// The temperature correction by temperature bins: the correction at an
// instrument temperature T is interpolated linearly between the two bins
// around T (bins k - 1 and k, k counted up from 1 while k < count - 1 and
// T >= bins[k]), so temperatures beyond the table extrapolate from its
// first or last pair. One bin says what the correction is at one
// temperature and nothing about its slope: it applies as it stands. No
// bins, or equal bracketing temperatures, correct nothing.
#pragma once

#include <cstddef>
#include <span>

namespace sondrix {

class BinInterpolation {
 public:
  // `binCount` is clamped to 0 ... bins.size().
  BinInterpolation(std::span<const double> bins, int binCount, double temperature);

  // The correction at the temperature from one value per bin (0 when none
  // applies).
  double At(std::span<const double> corrections) const;
  bool Applies() const { return kind_ != Kind::None; }

 private:
  enum class Kind { None, Constant, Pair } kind_ = Kind::None;
  std::size_t k_ = 0;      // Pair: bins k - 1 and k
  double fraction_ = 0.0;  // Pair: (T - lo) / (hi - lo)
};

}  // namespace sondrix
