// SPDX-License-Identifier: GPL-3.0-or-later
// The published corrections of absorption (a) and attenuation (c), one
// spectrum at a time, without any state (docs/processing.md has every
// formula with its source):
//
// - temperature and salinity, relative to the clean-water calibration made
//   at T_cal and salinity 0 (Röttgers, McKee & Utschig 2014):
//     a_ts = a - psi_t (T - T_cal) - psi_s_a S
//     c_ts = c - psi_t (T - T_cal) - psi_s_c S
// - scattering in the reflecting tube (Zaneveld, Kitchen & Moore 1994), on
//   a_ts with c_ts at a's wavelengths, a_ts(ref) and c_ts(ref) at the
//   reference wavelength:
//     none:         a_ts
//     baseline:     a_ts - a_ts(ref)
//     proportional: a_ts - a_ts(ref) (c_ts - a_ts) / (c_ts(ref) - a_ts(ref))
// - the absorption line height at 676 nm above the straight line between
//   650 and 715 nm (Roesler & Barnard 2013), at the meter's nearest
//   wavelengths.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "processing/ts_table.h"

namespace sondrix {

enum class ScatterMethod { kNone, kBaseline, kProportional };
// "none", "baseline", "proportional" (false for another word).
bool ParseScatterMethod(std::string_view name, ScatterMethod& method);
std::string_view ScatterMethodName(ScatterMethod method);

// a - psi_t (T - T_cal) - psi_s S (psi_s: psi_s_a for absorption, psi_s_c
// for attenuation).
inline double TsCorrected(double value, double psiT, double psiS, double temperature, double tCal, double salinity) {
  return value - psiT * (temperature - tCal) - psiS * salinity;
}

// The value at `x` of the curve through (xs[k], ys[k]) (xs rising),
// linear between the points around it; at most `reach` beyond either end
// the end's value; NaN further out (or without points).
double Interpolate(std::span<const double> xs, std::span<const double> ys, double x, double reach = 0.0);

// c is taken at an a wavelength up to this far (nm) beyond c's own.
inline constexpr double kCReach = 10.0;

// The scattering correction of a spectrum: `a` at the wavelengths `wa`
// and `c` at `wc` (both T/S corrected), c interpolated linearly to a's
// wavelengths (up to kCReach beyond its own) into `cAtA`, a and c at the
// reference wavelength interpolated between a's; `out` the corrected a
// (by a's wavelengths; NaN where a value is missing).
void ScatterSpectrum(ScatterMethod method, std::span<const double> wa, std::span<const double> a,
                     std::span<const double> wc, std::span<const double> c, std::optional<double> reference,
                     std::vector<double>& cAtA, std::vector<double>& out);

// The scattering correction of one spectrum. `a` and `cAtA` (c at a's
// wavelengths) are T/S corrected; `aRef` and `cRef` their values at the
// reference wavelength. NaN in, NaN out.
double ScatterCorrected(ScatterMethod method, double a, double cAtA, double aRef, double cRef);

// The reference wavelength the scattering correction takes by default: the
// longest of `aWavelengths` at or above 700 nm; none when none is.
std::optional<double> DefaultReferenceWavelength(std::span<const double> aWavelengths);

// The three wavelengths of the line height among the meter's: the nearest
// to 650, 676 and 715 nm, each within kLineHeightReach nm of it and all
// three different; none otherwise.
inline constexpr double kLineHeightReach = 10.0;
struct LineHeightBands {
  std::size_t blue = 0, peak = 0, red = 0;  // indexes into the wavelengths
  double wBlue = 0.0, wPeak = 0.0, wRed = 0.0;
};
std::optional<LineHeightBands> FindLineHeightBands(std::span<const double> aWavelengths);
// a(peak) minus the straight line from (wBlue, a(blue)) to (wRed, a(red))
// at wPeak.
double LineHeight(const LineHeightBands& bands, std::span<const double> a);

}  // namespace sondrix
