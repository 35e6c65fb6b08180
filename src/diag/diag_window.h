// SPDX-License-Identifier: GPL-3.0-or-later
// DiagWindow: what an instrument self-test keeps while it runs. A ring of
// the last kDiagRows good samples, each packed per wavelength (the A
// channels, the C channels and the reference counts the test looks at),
// the running statistics over the rows filled so far, and the limits of the
// device configuration (SelfTestLimits, read by name) spread over the
// wavelengths.
//
// Which channel of a sample is which wavelength of which kind is the
// layout's business (DiagLayout): the meter families pack their lines
// differently, the statistics and the report do not care.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "config/self_test_limits.h"
#include "source/source.h"

namespace sondrix {

// Samples the statistics of a self-test cover at most.
inline constexpr int kDiagRows = 30;
// Values a row holds per kind (the size of a decoded sample).
inline constexpr int kDiagRowValues = kMaxTraces;

// The channels of one kind, in the order the test reports them: for each,
// its position in the decoder's sample (or reference block) and its
// wavelength.
struct DiagChannels {
  std::vector<int> channel;
  std::vector<double> wavelength;

  int size() const { return static_cast<int>(channel.size()); }
  void Add(int index, double nm) {
    channel.push_back(index);
    wavelength.push_back(nm);
  }
};

// Which channels a self-test follows: the attenuation (C) channels, the
// absorption (A) channels and the reference counts.
struct DiagLayout {
  DiagChannels c;
  DiagChannels a;
  DiagChannels ref;
};

// The layout of a meter whose trace map marks absorption channels with bit
// value 2 and attenuation channels with bit value 4, each channel with its
// own reference: the C channels and the A channels in trace order, and the
// references of the C channels followed by those of the A channels, so that
// every wavelength of each kind is tested once. At most `count` channels.
DiagLayout PackedLayout(const TraceMap& map, std::span<const double> wavelengths, int count);

// How much larger the noise limit of wavelength i is than at the last
// wavelength of the list: exp(w(last) / w(i) - 1). Not a number when a
// wavelength is not a positive number, so that no test can pass on it.
double NoiseFactor(std::span<const double> wavelengths, int i);

// The limits per wavelength, built once at the start of a test.
struct DiagLimits {
  std::vector<double> noiseA, noiseC;        // maxA/CNoise x NoiseFactor
  std::vector<double> diffA, diffC;          // maxA/CDifference
  std::vector<double> negDiffA, negDiffC;    // -maxA/CDifference
  std::vector<double> countsA, countsC;      // minA/CCounts
  std::vector<double> countsRef;             // minRCounts
};
DiagLimits BuildDiagLimits(const DiagLayout& layout, const SelfTestLimits& set);

// One sample of the ring, packed in the layout's order.
struct DiagRow {
  std::array<double, kDiagRowValues> rawA{}, rawC{};  // signal counts
  std::array<double, kDiagRowValues> ref{};           // reference counts
  std::array<double, kDiagRowValues> uncA{}, uncC{};  // -ln(signal / reference) / path length
  std::array<double, kDiagRowValues> calA{}, calC{};  // calibrated values
  double temperature = 0.0;
  double depth = 0.0;
};

// Statistics of one value of the rows, per wavelength.
struct DiagColumn {
  std::array<double, kDiagRowValues> mean{}, sdev{};
  std::array<double, kDiagRowValues> max{}, min{};
  std::array<int, kDiagRowValues> maxRow{}, minRow{};
};

// The uncorrected value of a channel: -ln(max(signal / reference, 0.0005))
// / path length. A reference that is not a positive count gives no reading
// at all (not a number), never a value that could pass a test.
double UncorrectedValue(double signal, double reference, double pathLength);

class DiagWindow {
 public:
  DiagWindow(DiagLayout layout, const TraceMap& map, const SelfTestLimits& limits);

  const DiagLayout& layout() const { return layout_; }
  const TraceMap& traceMap() const { return map_; }
  const SelfTestLimits& limitSet() const { return limitSet_; }
  const DiagLimits& limits() const { return limits_; }

  // Row `index` (0 ... kDiagRows - 1) of the ring.
  DiagRow& Row(int index);
  const DiagRow& Row(int index) const;

  // Fills row `index` from one good sample: the signal and reference
  // counts of every channel (decoder order), the calibrated values of every
  // channel, the temperature and the depth.
  void Fill(int index, std::span<const double> signal, std::span<const double> refs,
            std::span<const double> calibrated, double pathLength, double temperature,
            double depth);
  // The same into the ring's row `ring` (taken modulo kDiagRows), then moves
  // `ring` on to the row the next sample fills.
  void FillNext(int& ring, std::span<const double> signal, std::span<const double> refs,
                std::span<const double> calibrated, double pathLength, double temperature,
                double depth);

  // Computes the statistics over the first `rows` rows (1 ... kDiagRows):
  // mean and standard deviation of the uncorrected values, extremes of the
  // raw and reference counts, means of the calibrated values, and mean and
  // standard deviation of temperature and depth.
  void Compute(int rows);
  // Rows the statistics cover: 0 until the first Compute.
  int rowsUsed() const { return rowsUsed_; }

  const DiagColumn& rawA() const { return rawA_; }
  const DiagColumn& rawC() const { return rawC_; }
  const DiagColumn& ref() const { return ref_; }
  const DiagColumn& uncA() const { return uncA_; }
  const DiagColumn& uncC() const { return uncC_; }
  const DiagColumn& calA() const { return calA_; }
  const DiagColumn& calC() const { return calC_; }
  double tempMean() const { return tempMean_; }
  double tempSdev() const { return tempSdev_; }
  double depthMean() const { return depthMean_; }
  double depthSdev() const { return depthSdev_; }

 private:
  DiagLayout layout_;
  TraceMap map_;
  SelfTestLimits limitSet_;
  DiagLimits limits_;
  std::array<DiagRow, kDiagRows> rows_{};
  int rowsUsed_ = 0;
  DiagColumn rawA_, rawC_, ref_, uncA_, uncC_, calA_, calC_;
  double tempMean_ = 0.0, tempSdev_ = 0.0;
  double depthMean_ = 0.0, depthSdev_ = 0.0;
};

}  // namespace sondrix
