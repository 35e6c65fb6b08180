// SPDX-License-Identifier: GPL-3.0-or-later
// The hyperspectral meter's self-test record: the shared DiagWindow over
// the meter's 2n channels (channel i the C signal and channel n + i the A
// signal of wavelength i, each with its own reference), plus the
// nonconformity test that only a dense spectrum allows: at every wavelength,
// how far the spectrum bends away from the straight line through its
// neighbours k wavelengths off on either side.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "config/self_test_limits.h"
#include "diag/diag_window.h"
#include "source/source.h"

namespace sondrix {

// The absolute nonconformity of each wavelength of a spectrum, `means`
// holding the mean value of each of the n wavelengths and `mapped` the
// trace-map entry of each (n entries, 0 = the instrument does not output
// it):
//   |atan((M(i) - M(i-k)) / k) - atan((M(i+k) - M(i-k)) / (2k))|,
// the angle of the slope from i - k to i less that of the slope across
// i - k .. i + k. 0.0 where i < k or i >= n - k, and where i, i + k or
// i - k is off the map; 0.0 everywhere when k < 1 (no test).
std::vector<double> Nonconformity(std::span<const double> means, std::span<const std::int32_t> mapped, int k);

// The limit every wavelength's nonconformity is tested against after a
// sample: 3 x k x the mean of the n values. A value that is not a number
// fails its own test and adds nothing to the mean, so that one dark channel
// does not fail every other wavelength.
double NonconformityLimit(std::span<const double> values, int k);

class BenthDiagWindow {
 public:
  // `n` wavelengths (the layout spans 2n channels), nonconformity half-width
  // `k` (the configuration's skip value).
  BenthDiagWindow(DiagLayout layout, const TraceMap& map, const BenthSelfTestLimits& limits, int n, int k);

  DiagWindow& window() { return window_; }
  const DiagWindow& window() const { return window_; }
  const BenthSelfTestLimits& limitSet() const { return limitSet_; }
  int wavelengths() const { return n_; }
  int halfWidth() const { return k_; }

  // The statistics over the first `rows` rows, then the nonconformity of
  // the mean uncorrected A and C spectra and their limits recomputed.
  void Compute(int rows);

  // Per channel of the layout's A and C lists: the absolute nonconformity
  // and the limit it is tested against (at the start maxA/CNonConform x the
  // noise factor of the wavelength; after every sample the recomputed one).
  const std::vector<double>& nonconformA() const { return nonconformA_; }
  const std::vector<double>& nonconformC() const { return nonconformC_; }
  const std::vector<double>& limitA() const { return limitA_; }
  const std::vector<double>& limitC() const { return limitC_; }

 private:
  DiagWindow window_;
  BenthSelfTestLimits limitSet_;
  int n_ = 0;
  int k_ = 1;
  std::vector<double> nonconformA_, nonconformC_;
  std::vector<double> limitA_, limitC_;
};

// The report of a hyperspectral self-test: the heading lines, the eleven
// limits as stored, the calibration and raw-count sections, the two
// nonconformity sections (tested against the recomputed limits), the
// noise sections and the sensor paragraphs.
void WriteBenthDiagReport(std::FILE* file, std::string_view id, std::uint32_t serial, bool hasDepth,
                          const BenthDiagWindow& record);

}  // namespace sondrix
