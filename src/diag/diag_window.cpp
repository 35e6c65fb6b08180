// SPDX-License-Identifier: GPL-3.0-or-later
#include "diag/diag_window.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "common/utils.h"

namespace sondrix {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The smallest signal/reference ratio taken: a dark channel reads a large
// but finite value instead of the logarithm of zero.
constexpr double kMinRatio = 0.0005;

std::size_t At(int index) { return static_cast<std::size_t>(index); }

std::vector<double> Filled(int count, double value) {
  return std::vector<double>(At(std::max(count, 0)), value);
}

// Copies value `entry` of every row into `column` (rows 0 ... rows - 1).
template <class Member>
void Gather(const std::array<DiagRow, kDiagRows>& ring, int rows, Member member, int entry,
            std::array<double, kDiagRows>& column) {
  for (int r = 0; r < rows; ++r) column[At(r)] = (ring[At(r)].*member)[At(entry)];
}

}  // namespace

DiagLayout PackedLayout(const TraceMap& map, std::span<const double> wavelengths, int count) {
  DiagLayout layout;
  const int n = std::clamp(count, 0, static_cast<int>(std::min(map.size(), wavelengths.size())));
  for (int i = 0; i < n; ++i) {
    const std::int32_t flag = map[At(i)];
    if ((flag & 4) != 0)
      layout.c.Add(i, wavelengths[At(i)]);
    else if ((flag & 2) != 0)
      layout.a.Add(i, wavelengths[At(i)]);
  }
  for (const DiagChannels* kind : {&layout.c, &layout.a})
    for (int j = 0; j < kind->size(); ++j) layout.ref.Add(kind->channel[At(j)], kind->wavelength[At(j)]);
  return layout;
}

double NoiseFactor(std::span<const double> wavelengths, int i) {
  if (wavelengths.empty() || i < 0 || At(i) >= wavelengths.size()) return kNaN;
  const double last = wavelengths.back();
  const double own = wavelengths[At(i)];
  if (!(own > 0.0) || !(last > 0.0) || !std::isfinite(own) || !std::isfinite(last)) return kNaN;
  return std::exp(last / own - 1.0);
}

DiagLimits BuildDiagLimits(const DiagLayout& layout, const SelfTestLimits& set) {
  DiagLimits limits;
  const int nA = layout.a.size();
  const int nC = layout.c.size();
  limits.noiseA.resize(At(nA));
  limits.noiseC.resize(At(nC));
  for (int i = 0; i < nA; ++i) limits.noiseA[At(i)] = set.maxANoise * NoiseFactor(layout.a.wavelength, i);
  for (int i = 0; i < nC; ++i) limits.noiseC[At(i)] = set.maxCNoise * NoiseFactor(layout.c.wavelength, i);
  limits.diffA = Filled(nA, set.maxADifference);
  limits.diffC = Filled(nC, set.maxCDifference);
  limits.negDiffA = Filled(nA, -set.maxADifference);
  limits.negDiffC = Filled(nC, -set.maxCDifference);
  limits.countsA = Filled(nA, set.minACounts);
  limits.countsC = Filled(nC, set.minCCounts);
  limits.countsRef = Filled(layout.ref.size(), set.minRCounts);
  return limits;
}

double UncorrectedValue(double signal, double reference, double pathLength) {
  if (!(reference > 0.0) || !std::isfinite(reference)) return kNaN;
  const double ratio = std::max(signal / reference, kMinRatio);
  return -std::log(ratio) / pathLength;
}

DiagWindow::DiagWindow(DiagLayout layout, const TraceMap& map, const SelfTestLimits& limits)
    : layout_(std::move(layout)), map_(map), limitSet_(limits), limits_(BuildDiagLimits(layout_, limits)) {
  // A row holds at most kDiagRowValues values of each kind.
  for (DiagChannels* kind : {&layout_.c, &layout_.a, &layout_.ref}) {
    if (kind->size() > kDiagRowValues) {
      kind->channel.resize(At(kDiagRowValues));
      kind->wavelength.resize(At(kDiagRowValues));
    }
  }
}

DiagRow& DiagWindow::Row(int index) { return rows_[At(std::clamp(index, 0, kDiagRows - 1))]; }
const DiagRow& DiagWindow::Row(int index) const { return rows_[At(std::clamp(index, 0, kDiagRows - 1))]; }

void DiagWindow::FillNext(int& ring, std::span<const double> signal, std::span<const double> refs,
                          std::span<const double> calibrated, double pathLength, double temperature,
                          double depth) {
  ring = ((ring % kDiagRows) + kDiagRows) % kDiagRows;
  Fill(ring, signal, refs, calibrated, pathLength, temperature, depth);
  ring = (ring + 1) % kDiagRows;
}

void DiagWindow::Fill(int index, std::span<const double> signal, std::span<const double> refs,
                      std::span<const double> calibrated, double pathLength, double temperature,
                      double depth) {
  DiagRow& row = Row(index);
  auto value = [](std::span<const double> values, int channel) {
    return channel >= 0 && At(channel) < values.size() ? values[At(channel)] : kNaN;
  };
  auto pack = [&](const DiagChannels& kind, std::array<double, kDiagRowValues>& raw,
                  std::array<double, kDiagRowValues>& unc, std::array<double, kDiagRowValues>& cal) {
    for (int j = 0; j < kind.size(); ++j) {
      const int channel = kind.channel[At(j)];
      const double s = value(signal, channel);
      const double r = value(refs, channel);
      raw[At(j)] = s;
      unc[At(j)] = UncorrectedValue(s, r, pathLength);
      // Without a reference there is no calibrated value either; the
      // meter's 0.0 for it would pass the calibration test unseen.
      cal[At(j)] = std::isnan(unc[At(j)]) ? kNaN : value(calibrated, channel);
    }
  };
  pack(layout_.c, row.rawC, row.uncC, row.calC);
  pack(layout_.a, row.rawA, row.uncA, row.calA);
  for (int j = 0; j < layout_.ref.size(); ++j) row.ref[At(j)] = value(refs, layout_.ref.channel[At(j)]);
  row.temperature = temperature;
  row.depth = depth;
}

void DiagWindow::Compute(int rows) {
  rows = std::clamp(rows, 0, kDiagRows);
  rowsUsed_ = rows;
  if (rows == 0) return;
  std::array<double, kDiagRows> column{};
  auto extremes = [&](auto member, int count, DiagColumn& out) {
    for (int j = 0; j < count; ++j) {
      Gather(rows_, rows, member, j, column);
      MaxMin1D(column.data(), rows, out.max[At(j)], out.maxRow[At(j)], out.min[At(j)], out.minRow[At(j)]);
    }
  };
  auto spread = [&](auto member, int count, DiagColumn& out) {
    for (int j = 0; j < count; ++j) {
      Gather(rows_, rows, member, j, column);
      StdDev(column.data(), rows, out.mean[At(j)], out.sdev[At(j)]);
    }
  };
  auto mean = [&](auto member, int count, DiagColumn& out) {
    for (int j = 0; j < count; ++j) {
      Gather(rows_, rows, member, j, column);
      Mean(column.data(), rows, out.mean[At(j)]);
    }
  };
  extremes(&DiagRow::rawA, layout_.a.size(), rawA_);
  extremes(&DiagRow::rawC, layout_.c.size(), rawC_);
  extremes(&DiagRow::ref, layout_.ref.size(), ref_);
  spread(&DiagRow::uncA, layout_.a.size(), uncA_);
  spread(&DiagRow::uncC, layout_.c.size(), uncC_);
  mean(&DiagRow::calA, layout_.a.size(), calA_);
  mean(&DiagRow::calC, layout_.c.size(), calC_);

  for (int r = 0; r < rows; ++r) column[At(r)] = rows_[At(r)].temperature;
  StdDev(column.data(), rows, tempMean_, tempSdev_);
  for (int r = 0; r < rows; ++r) column[At(r)] = rows_[At(r)].depth;
  StdDev(column.data(), rows, depthMean_, depthSdev_);
}

}  // namespace sondrix
