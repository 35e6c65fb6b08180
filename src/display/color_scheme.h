// SPDX-License-Identifier: GPL-3.0-or-later
// The colours of the two schemes the window can wear, and the contrast rules
// that keep trace colours and coloured texts readable on them.
//
// Contrast is measured as the Web Content Accessibility Guidelines measure
// it: the relative luminance of each colour (sRGB channels linearised and
// weighted 0.2126, 0.7152, 0.0722) and the ratio (L1 + 0.05) / (L2 + 0.05)
// of the lighter to the darker, from 1 (the same) to 21 (black on white).
// Lines and curves need 3:1 against what they are drawn on, text 4.5:1.
//
// A colour that falls short is moved along its own hue (mixed with black on
// a light background, with white on a dark one) just far enough; one that
// passes is kept as it is. The night scheme also dims what would glare on
// its dark background, so that a ship's bridge stays dark.
//
// The user interface draws with the look of a scheme (SchemeLook): the
// platform knows only the look's interface (platform/color_look.h), these
// are its rules.
#pragma once

#include <memory>

#include "platform/color_look.h"

namespace sondrix {

using platform::ColorScheme;
using platform::SchemeColors;

// Contrast a trace needs against the graph it is drawn on.
inline constexpr double kMinTraceContrast = 3.0;
// Contrast a text needs against its background.
inline constexpr double kMinTextContrast = 4.5;
// At night nothing drawn on the graphs outshines this contrast.
inline constexpr double kMaxNightTraceContrast = 5.0;
// ... nor any coloured text.
inline constexpr double kMaxNightTextContrast = 7.0;

// 0.0 (black) ... 1.0 (white); `rgb` is 0xRRGGBB.
double RelativeLuminance(int rgb);
// 1.0 ... 21.0, the same whichever colour comes first.
double ContrastRatio(int a, int b);
// `rgb`, or the colour of the same hue nearest to it that reaches
// `minRatio` against `background`: darkened where darker colours can
// reach it, else lightened. When neither can, the one that comes closest.
int LegibleColor(int rgb, int background, double minRatio);
// `rgb`, or `rgb` dimmed (mixed with black) until its contrast against the
// dark `background` is at most `maxRatio`.
int SubduedColor(int rgb, int background, double maxRatio);

// The colours of a scheme: by day the plain ones (graphs on white), by
// night dark and red.
const SchemeColors& ColorsOf(ColorScheme scheme);

// The colour a trace of colour `rgb` is drawn in on the scheme's graphs:
// at least kMinTraceContrast against their background; at night also at
// most kMaxNightTraceContrast.
int TraceColorOn(ColorScheme scheme, int rgb);
// A coloured text (a trace label) on `background`: at least
// kMinTextContrast; at night also at most kMaxNightTextContrast.
int TextColorOn(ColorScheme scheme, int rgb, int background);
// A coloured button face (the start button's state colour) at night:
// dimmed so that the night text on it stays readable.
int NightFaceColor(int rgb);

// The look the user interface is given for a scheme (Ui::SetColorScheme):
// its colours, and traces, texts and button faces by the rules above.
std::shared_ptr<const platform::ColorLook> SchemeLook(ColorScheme scheme);

}  // namespace sondrix
