// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/corrections.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sondrix {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct MethodRow {
  ScatterMethod method;
  std::string_view name;
};
constexpr MethodRow kMethods[] = {
    {ScatterMethod::kNone, "none"}, {ScatterMethod::kBaseline, "baseline"}, {ScatterMethod::kProportional, "proportional"}};

}  // namespace

bool ParseScatterMethod(std::string_view name, ScatterMethod& method) {
  for (const MethodRow& row : kMethods) {
    if (row.name == name) {
      method = row.method;
      return true;
    }
  }
  return false;
}

std::string_view ScatterMethodName(ScatterMethod method) {
  for (const MethodRow& row : kMethods) {
    if (row.method == method) return row.name;
  }
  return "none";
}

double Interpolate(std::span<const double> xs, std::span<const double> ys, double x, double reach) {
  if (xs.empty() || xs.size() != ys.size() || !std::isfinite(x)) return kNaN;
  if (x <= xs.front()) return xs.front() - x <= reach ? ys.front() : kNaN;
  if (x >= xs.back()) return x - xs.back() <= reach ? ys.back() : kNaN;
  const std::size_t hi = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), x) - xs.begin());
  const std::size_t lo = hi - 1;
  if (xs[lo] == x) return ys[lo];
  const double f = (x - xs[lo]) / (xs[hi] - xs[lo]);
  return ys[lo] + f * (ys[hi] - ys[lo]);
}

double ScatterCorrected(ScatterMethod method, double a, double cAtA, double aRef, double cRef) {
  switch (method) {
    case ScatterMethod::kNone: return a;
    case ScatterMethod::kBaseline: return a - aRef;
    case ScatterMethod::kProportional: {
      const double bRef = cRef - aRef;
      if (!(bRef != 0.0)) return kNaN;
      return a - aRef * ((cAtA - a) / bRef);  // exactly 0 at the reference
    }
  }
  return kNaN;
}

void ScatterSpectrum(ScatterMethod method, std::span<const double> wa, std::span<const double> a,
                     std::span<const double> wc, std::span<const double> c, std::optional<double> reference,
                     std::vector<double>& cAtA, std::vector<double>& out) {
  const std::size_t na = wa.size();
  cAtA.assign(na, kNaN);
  if (!wc.empty()) {
    for (std::size_t k = 0; k < na; ++k) cAtA[k] = Interpolate(wc, c, wa[k], kCReach);
  }
  const double aRef = reference ? Interpolate(wa, a, *reference) : kNaN;
  const double cRef = reference && !wc.empty() ? Interpolate(wa, cAtA, *reference) : kNaN;
  out.assign(na, kNaN);
  for (std::size_t k = 0; k < na; ++k) out[k] = ScatterCorrected(method, a[k], cAtA[k], aRef, cRef);
}

std::optional<double> DefaultReferenceWavelength(std::span<const double> aWavelengths) {
  std::optional<double> longest;
  for (double w : aWavelengths) {
    if (w >= 700.0 && (!longest || w > *longest)) longest = w;
  }
  return longest;
}

std::optional<LineHeightBands> FindLineHeightBands(std::span<const double> aWavelengths) {
  const auto nearest = [&](double target, std::size_t& index) {
    double best = kLineHeightReach;
    bool found = false;
    for (std::size_t k = 0; k < aWavelengths.size(); ++k) {
      const double distance = std::abs(aWavelengths[k] - target);
      if (distance <= best && (!found || distance < best)) {
        best = distance;
        index = k;
        found = true;
      }
    }
    return found;
  };
  LineHeightBands bands;
  if (!nearest(650.0, bands.blue) || !nearest(676.0, bands.peak) || !nearest(715.0, bands.red)) return std::nullopt;
  bands.wBlue = aWavelengths[bands.blue];
  bands.wPeak = aWavelengths[bands.peak];
  bands.wRed = aWavelengths[bands.red];
  if (!(bands.wBlue < bands.wPeak && bands.wPeak < bands.wRed)) return std::nullopt;
  return bands;
}

double LineHeight(const LineHeightBands& bands, std::span<const double> a) {
  const double f = (bands.wPeak - bands.wBlue) / (bands.wRed - bands.wBlue);
  return a[bands.peak] - (a[bands.blue] + f * (a[bands.red] - a[bands.blue]));
}

}  // namespace sondrix
