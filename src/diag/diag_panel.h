// SPDX-License-Identifier: GPL-3.0-or-later
// The diagnostics panel of a self-test: graphs over wavelength of the
// calibration, the raw counts and the noise against their limits, a key of
// the colours, and the temperature, depth and sample read-outs.
#pragma once

#include <span>
#include <vector>

#include "diag/diag_window.h"
#include "platform/ui.h"

namespace sondrix {

inline constexpr int kDiagRed = 0xFF0000;    // A
inline constexpr int kDiagBlue = 0x0000FF;   // C
inline constexpr int kDiagGreen = 0x008000;  // reference

// The controls of a diagnostics panel.
struct DiagPanelControls {
  int calGraph = 0, countsGraph = 0, noiseGraph = 0, keyGraph = 0;  // the graphs
  int tempMean = 0, tempSdev = 0, depthMean = 0, depthSdev = 0;     // the sensors' read-outs
  int samples = 0;                                                  // good samples so far
};

// How a limit curve and a measured curve are drawn.
platform::PlotAttributes DiagLimitStyle(int color);
platform::PlotAttributes DiagMeasuredStyle(int color);

// Draws one curve of `values` over `wavelengths` (the wavelengths the
// self-test follows, which are those on the trace map). Points whose value
// is not a number are left out; a wavelength list that falls back (the
// references of the C channels, then those of the A channels) is drawn as
// one curve per rising run. Returns the number of curves drawn.
int NeritPlotDiag(int panel, int control, std::span<const double> wavelengths,
                  std::span<const double> values, const platform::PlotAttributes& attributes);

// Prepares a freshly loaded panel: the key, and the depth read-outs
// hidden when the meter has no depth.
void SetUpDiagPanel(int panel, const DiagPanelControls& controls, bool hasDepth);

// One curve of a further graph of a meter family's own: `values` over the
// wavelengths of `kind`, packed in its order.
struct DiagCurve {
  const DiagChannels* kind = nullptr;
  std::span<const double> values;
  platform::PlotAttributes style;
};
// A further graph over wavelength and its curves (limits first).
struct DiagGraph {
  int control = 0;
  std::vector<DiagCurve> curves;
};

// Redraws the three graphs, any `further` graphs and the read-outs from the
// record's statistics (automatic redrawing off while the plots are
// replaced, then one refresh). Each graph's axes take in its limits and
// measured values with a margin, so that no limit is drawn on the frame.
void DrawDiagPanel(int panel, const DiagPanelControls& controls, const DiagWindow& record,
                   bool hasDepth, long goodSamples, std::span<const DiagGraph> further = {});

}  // namespace sondrix
