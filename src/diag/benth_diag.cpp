// SPDX-License-Identifier: GPL-3.0-or-later
#include "diag/benth_diag.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "diag/diag_report.h"

namespace sondrix {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::size_t At(int index) { return static_cast<std::size_t>(index); }

constexpr std::string_view kAboveNonconformity =
    "\n\tThe following wavelengths exceed the recommended limit for nonconformity:\n\t";

}  // namespace

std::vector<double> Nonconformity(std::span<const double> means, std::span<const std::int32_t> mapped, int k) {
  const int n = static_cast<int>(std::min(means.size(), mapped.size()));
  std::vector<double> out(means.size(), 0.0);
  if (k < 1) return out;
  const double kd = k;
  for (int i = k; i < n - k; ++i) {
    if (mapped[At(i)] == 0 || mapped[At(i + k)] == 0 || mapped[At(i - k)] == 0) continue;
    const double before = means[At(i - k)];
    const double bend = std::atan((means[At(i)] - before) / kd) - std::atan((means[At(i + k)] - before) / (2.0 * kd));
    out[At(i)] = std::fabs(bend);
  }
  return out;
}

double NonconformityLimit(std::span<const double> values, int k) {
  if (values.empty()) return 0.0;
  double sum = 0.0;
  for (double v : values)
    if (std::isfinite(v)) sum += v;
  return 3.0 * k * (sum / static_cast<double>(values.size()));
}

BenthDiagWindow::BenthDiagWindow(DiagLayout layout, const TraceMap& map, const BenthSelfTestLimits& limits, int n,
                                 int k)
    : window_(std::move(layout), map, limits),
      limitSet_(limits),
      n_(std::clamp(n, 0, kDiagRowValues / 2)),
      k_(k) {
  const DiagLayout& packed = window_.layout();
  nonconformA_.assign(At(packed.a.size()), 0.0);
  nonconformC_.assign(At(packed.c.size()), 0.0);
  limitA_.resize(At(packed.a.size()));
  limitC_.resize(At(packed.c.size()));
  for (int j = 0; j < packed.a.size(); ++j)
    limitA_[At(j)] = limits.maxANonConform * NoiseFactor(packed.a.wavelength, j);
  for (int j = 0; j < packed.c.size(); ++j)
    limitC_[At(j)] = limits.maxCNonConform * NoiseFactor(packed.c.wavelength, j);
}

void BenthDiagWindow::Compute(int rows) {
  window_.Compute(rows);
  if (window_.rowsUsed() == 0) return;
  const DiagLayout& layout = window_.layout();
  const TraceMap& map = window_.traceMap();
  // The mean spectra per wavelength: C channel i is wavelength i, A channel
  // n + i is wavelength i. Wavelengths off the map stay off.
  std::vector<double> meanA(At(n_), 0.0);
  std::vector<double> meanC(At(n_), 0.0);
  std::vector<std::int32_t> mapped(map.begin(), map.begin() + n_);
  for (int j = 0; j < layout.c.size(); ++j) {
    const int i = layout.c.channel[At(j)];
    if (i >= 0 && i < n_) meanC[At(i)] = window_.uncC().mean[At(j)];
  }
  for (int j = 0; j < layout.a.size(); ++j) {
    const int i = layout.a.channel[At(j)] - n_;
    if (i >= 0 && i < n_) meanA[At(i)] = window_.uncA().mean[At(j)];
  }
  const std::vector<double> a = Nonconformity(meanA, mapped, k_);
  const std::vector<double> c = Nonconformity(meanC, mapped, k_);
  const double limitA = NonconformityLimit(a, k_);
  const double limitC = NonconformityLimit(c, k_);

  for (int j = 0; j < layout.c.size(); ++j) {
    const int i = layout.c.channel[At(j)];
    nonconformC_[At(j)] = i >= 0 && i < n_ ? c[At(i)] : kNaN;
    limitC_[At(j)] = limitC;
  }
  for (int j = 0; j < layout.a.size(); ++j) {
    const int i = layout.a.channel[At(j)] - n_;
    nonconformA_[At(j)] = i >= 0 && i < n_ ? a[At(i)] : kNaN;
    limitA_[At(j)] = limitA;
  }
}

void WriteBenthDiagReport(std::FILE* file, std::string_view id, std::uint32_t serial, bool hasDepth,
                          const BenthDiagWindow& record) {
  DiagReportTitle(file, id, serial);
  // The counts' limits are whole numbers.
  DiagReportLimits(file, record.limitSet(), 0, &record.limitSet());
  const DiagWindow& window = record.window();
  if (window.rowsUsed() == 0) {
    DiagReportNoData(file);
    return;
  }
  DiagReportCalibrationAndCounts(file, window);
  const DiagLayout& layout = window.layout();
  DiagReportOne(file, "\nNoncomformity - C: ", kAboveNonconformity, record.limitC(), record.nonconformC(),
                layout.c.wavelength, true);
  DiagReportOne(file, "\nNoncomformity - A: ", kAboveNonconformity, record.limitA(), record.nonconformA(),
                layout.a.wavelength, true);
  DiagReportNoise(file, window);
  DiagReportSensors(file, window, hasDepth);
}

}  // namespace sondrix
