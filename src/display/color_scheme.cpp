// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/color_scheme.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace sondrix {
namespace {

int Red(int rgb) { return (rgb >> 16) & 0xFF; }
int Green(int rgb) { return (rgb >> 8) & 0xFF; }
int Blue(int rgb) { return rgb & 0xFF; }
int Rgb(int r, int g, int b) { return (r << 16) | (g << 8) | b; }

// An sRGB channel (0 ... 255) as linear light (0.0 ... 1.0), from a table:
// the rules below ask for many luminances (a spectrum redrawn with 200
// traces makes 200 colours).
double Linear(int channel) {
  static const std::array<double, 256> table = [] {
    std::array<double, 256> t{};
    for (int i = 0; i < 256; ++i) {
      const double c = i / 255.0;
      t[static_cast<std::size_t>(i)] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }
    return t;
  }();
  return table[static_cast<std::size_t>(channel & 0xFF)];
}

// `rgb` mixed with black (t = 0: black, t = 1: itself) or with white
// (t = 0: itself, t = 1: white).
int TowardsBlack(int rgb, double t) {
  auto mix = [t](int c) { return static_cast<int>(std::floor(c * t)); };
  return Rgb(mix(Red(rgb)), mix(Green(rgb)), mix(Blue(rgb)));
}
int TowardsWhite(int rgb, double t) {
  auto mix = [t](int c) { return std::min(255, static_cast<int>(std::ceil(c + (255 - c) * t))); };
  return Rgb(mix(Red(rgb)), mix(Green(rgb)), mix(Blue(rgb)));
}

// The mix nearest to `rgb` (the parameter nearest `from`) that `good`
// accepts, by bisection: `good` holds at `to` and, once it holds, for
// every mix further on.
template <typename Mix, typename Good>
int Nearest(int rgb, double from, double to, Mix mix, Good good) {
  double near = from;  // not good
  double far = to;     // good
  for (int i = 0; i < 40; ++i) {
    const double mid = (near + far) / 2.0;
    (good(mix(rgb, mid)) ? far : near) = mid;
  }
  return mix(rgb, far);
}

// By day the desktop keeps its palette, and graphs are plain.
constexpr const SchemeColors& kDay = platform::kPlainColors;

constexpr SchemeColors kNight = {
    .graphBackground = 0x100505,
    .graphAxis = 0xD05848,
    .graphGrid = 0x3A1510,
    .graphZeroLine = 0x5C2219,
    .window = 0x1C0A0A,
    .windowText = 0xD85C4C,
    .base = 0x140707,
    .text = 0xE06454,
    .button = 0x2C1010,
    .buttonText = 0xDC6050,
    .highlight = 0x6E1E18,
    .highlightedText = 0xF4A898,
    .disabledText = 0x7C3A30,
};

}  // namespace

double RelativeLuminance(int rgb) {
  return 0.2126 * Linear(Red(rgb)) + 0.7152 * Linear(Green(rgb)) + 0.0722 * Linear(Blue(rgb));
}

double ContrastRatio(int a, int b) {
  const double la = RelativeLuminance(a);
  const double lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

int LegibleColor(int rgb, int background, double minRatio) {
  rgb &= 0xFFFFFF;
  if (ContrastRatio(rgb, background) >= minRatio) return rgb;
  const double lb = RelativeLuminance(background);
  const double darkest = (lb + 0.05) / 0.05;   // black on the background
  const double lightest = 1.05 / (lb + 0.05);  // white on it
  bool darken = false;
  if (darkest >= minRatio && lightest >= minRatio) {
    darken = RelativeLuminance(rgb) <= lb;  // away from the background
  } else if (darkest >= minRatio || lightest >= minRatio) {
    darken = darkest >= minRatio;
  } else {
    darken = darkest >= lightest;  // as near as it gets
  }
  const double target = std::min(minRatio, darken ? darkest : lightest);
  auto good = [&](int c) { return ContrastRatio(c, background) >= target; };
  if (darken) return Nearest(rgb, 1.0, 0.0, TowardsBlack, good);
  return Nearest(rgb, 0.0, 1.0, TowardsWhite, good);
}

int SubduedColor(int rgb, int background, double maxRatio) {
  rgb &= 0xFFFFFF;
  if (ContrastRatio(rgb, background) <= maxRatio || RelativeLuminance(rgb) <= RelativeLuminance(background))
    return rgb;
  auto good = [&](int c) {
    return ContrastRatio(c, background) <= maxRatio || RelativeLuminance(c) <= RelativeLuminance(background);
  };
  return Nearest(rgb, 1.0, 0.0, TowardsBlack, good);
}

const SchemeColors& ColorsOf(ColorScheme scheme) { return scheme == ColorScheme::Night ? kNight : kDay; }

int TraceColorOn(ColorScheme scheme, int rgb) {
  const int background = ColorsOf(scheme).graphBackground;
  const int legible = LegibleColor(rgb, background, kMinTraceContrast);
  return scheme == ColorScheme::Night ? SubduedColor(legible, background, kMaxNightTraceContrast) : legible;
}

int TextColorOn(ColorScheme scheme, int rgb, int background) {
  const int legible = LegibleColor(rgb, background, kMinTextContrast);
  return scheme == ColorScheme::Night ? SubduedColor(legible, background, kMaxNightTextContrast) : legible;
}

int NightFaceColor(int rgb) {
  // Dark enough that the night button text keeps its contrast on it, light
  // enough to show the colour; never darker than the night's own button
  // face, so that it stays warm.
  auto mix = [](int c, double t) {
    const int dimmed = TowardsBlack(c, t);
    return Rgb(std::max(Red(dimmed), Red(kNight.button)), std::max(Green(dimmed), Green(kNight.button)),
               std::max(Blue(dimmed), Blue(kNight.button)));
  };
  return Nearest(rgb & 0xFFFFFF, 1.0, 0.0, mix,
                 [](int c) { return ContrastRatio(c, kNight.buttonText) >= kMinTextContrast; });
}

namespace {

class Look : public platform::ColorLook {
 public:
  explicit Look(ColorScheme scheme) : scheme_(scheme) {}
  ColorScheme scheme() const override { return scheme_; }
  const SchemeColors& colors() const override { return ColorsOf(scheme_); }
  int TraceColor(int rgb) const override { return TraceColorOn(scheme_, rgb); }
  int TextColor(int rgb, int background) const override { return TextColorOn(scheme_, rgb, background); }
  int FaceColor(int rgb) const override { return scheme_ == ColorScheme::Night ? NightFaceColor(rgb) : rgb & 0xFFFFFF; }

 private:
  ColorScheme scheme_;
};

}  // namespace

std::shared_ptr<const platform::ColorLook> SchemeLook(ColorScheme scheme) {
  return std::make_shared<Look>(scheme == ColorScheme::Night ? ColorScheme::Night : ColorScheme::Day);
}

}  // namespace sondrix
