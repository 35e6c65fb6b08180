// SPDX-License-Identifier: GPL-3.0-or-later
#include "diag/diag_panel.h"

#include <array>
#include <cmath>
#include <algorithm>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

namespace sondrix {
namespace {

using platform::AxisMode;
using platform::PlotAttributes;

std::span<const double> First(const std::array<double, kDiagRowValues>& values, int count) {
  return std::span<const double>(values).first(static_cast<std::size_t>(count));
}

// The extent of what a graph shows, so that limits at the edge of the data
// stay in sight.
struct Extent {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();

  void Add(std::span<const double> values) {
    for (double v : values) {
      if (!std::isfinite(v)) continue;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  bool empty() const { return !(lo <= hi); }
  // The range with a margin of `fraction` of its span on each side (of the
  // value itself when the span is 0).
  std::pair<double, double> Padded(double fraction) const {
    double span = hi - lo;
    if (!(span > 0.0)) span = std::max(std::fabs(hi), 1e-3);
    return {lo - fraction * span, hi + fraction * span};
  }
};

struct GraphExtent {
  Extent x;
  Extent y;
};

void Plot(int panel, int control, const DiagChannels& kind, std::span<const double> values,
          const PlotAttributes& style, GraphExtent& extent) {
  NeritPlotDiag(panel, control, kind.wavelength, values, style);
  extent.x.Add(std::span<const double>(kind.wavelength).first(std::min(kind.wavelength.size(), values.size())));
  extent.y.Add(values);
}

void ShowExtent(int panel, int control, const GraphExtent& extent) {
  if (extent.x.empty() || extent.y.empty()) return;
  const auto [x0, x1] = extent.x.Padded(0.04);
  const auto [y0, y1] = extent.y.Padded(0.08);
  platform::ui().SetAxisRange(panel, control, AxisMode::Manual, x0, x1, AxisMode::Manual, y0, y1);
}

}  // namespace

PlotAttributes DiagLimitStyle(int color) {
  PlotAttributes style;
  style.plotStyle = platform::PlotStyle::ThinLine;
  style.pointStyle = platform::PointStyle::SimpleDot;
  style.lineStyle = platform::LineStyle::Dash;
  style.color = color;
  return style;
}

PlotAttributes DiagMeasuredStyle(int color) {
  PlotAttributes style;
  style.plotStyle = platform::PlotStyle::ConnectedPoints;
  style.pointStyle = platform::PointStyle::SmallSolidSquare;
  style.lineStyle = platform::LineStyle::Solid;
  style.pointFrequency = 1;
  style.color = color;
  return style;
}

int NeritPlotDiag(int panel, int control, std::span<const double> wavelengths,
                  std::span<const double> values, const PlotAttributes& attributes) {
  const std::size_t n = std::min(wavelengths.size(), values.size());
  std::vector<double> x;
  std::vector<double> y;
  int curves = 0;
  auto flush = [&]() {
    if (!x.empty()) {
      platform::ui().PlotXY(panel, control, x, y, attributes);
      ++curves;
    }
    x.clear();
    y.clear();
  };
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && !(wavelengths[i] > wavelengths[i - 1])) flush();
    if (!std::isfinite(values[i]) || !std::isfinite(wavelengths[i])) continue;
    x.push_back(wavelengths[i]);
    y.push_back(values[i]);
  }
  flush();
  return curves;
}

void SetUpDiagPanel(int panel, const DiagPanelControls& controls, bool hasDepth) {
  platform::Ui& ui = platform::ui();
  // The key: what the colours and the thin line stand for.
  const std::array<double, 4> x = {1.0, 2.0, 3.0, 4.0};
  ui.DeleteGraphPlot(panel, controls.keyGraph, platform::kAllPlots, platform::DrawMode::Delayed);
  ui.PlotXY(panel, controls.keyGraph, x, std::array{4.1, 3.9, 4.2, 4.0}, DiagMeasuredStyle(kDiagRed));
  ui.PlotXY(panel, controls.keyGraph, x, std::array{2.9, 3.1, 3.0, 3.2}, DiagMeasuredStyle(kDiagBlue));
  ui.PlotXY(panel, controls.keyGraph, x, std::array{2.2, 1.9, 2.1, 1.8}, DiagMeasuredStyle(kDiagGreen));
  PlotAttributes limit = DiagLimitStyle(kDiagGreen);
  limit.lineStyle = platform::LineStyle::Dot;
  ui.PlotXY(panel, controls.keyGraph, x, std::array{1.2, 1.1, 1.0, 0.9}, limit);
  ui.RefreshGraph(panel, controls.keyGraph);

  ui.SetCtrlAttribute(panel, controls.depthMean, platform::Attr::Visible, hasDepth ? 1 : 0);
  ui.SetCtrlAttribute(panel, controls.depthSdev, platform::Attr::Visible, hasDepth ? 1 : 0);
}

void DrawDiagPanel(int panel, const DiagPanelControls& controls, const DiagWindow& record,
                   bool hasDepth, long goodSamples, std::span<const DiagGraph> further) {
  platform::Ui& ui = platform::ui();
  const DiagLayout& layout = record.layout();
  const DiagLimits& limits = record.limits();
  const int nA = layout.a.size();
  const int nC = layout.c.size();
  const int nRef = layout.ref.size();
  std::vector<int> graphs = {controls.calGraph, controls.countsGraph, controls.noiseGraph};
  for (const DiagGraph& graph : further) graphs.push_back(graph.control);
  for (int graph : graphs) {
    ui.SetCtrlAttribute(panel, graph, platform::Attr::AutoRefresh, 0);
    ui.DeleteGraphPlot(panel, graph, platform::kAllPlots, platform::DrawMode::Delayed);
  }

  const int cal = controls.calGraph;
  const int counts = controls.countsGraph;
  const int noise = controls.noiseGraph;
  GraphExtent calExtent;
  GraphExtent countsExtent;
  GraphExtent noiseExtent;
  Plot(panel, cal, layout.a, limits.diffA, DiagLimitStyle(kDiagRed), calExtent);
  Plot(panel, cal, layout.a, limits.negDiffA, DiagLimitStyle(kDiagRed), calExtent);
  Plot(panel, cal, layout.c, limits.diffC, DiagLimitStyle(kDiagBlue), calExtent);
  Plot(panel, cal, layout.c, limits.negDiffC, DiagLimitStyle(kDiagBlue), calExtent);
  Plot(panel, counts, layout.a, limits.countsA, DiagLimitStyle(kDiagRed), countsExtent);
  Plot(panel, counts, layout.c, limits.countsC, DiagLimitStyle(kDiagBlue), countsExtent);
  Plot(panel, counts, layout.ref, limits.countsRef, DiagLimitStyle(kDiagGreen), countsExtent);
  Plot(panel, noise, layout.a, limits.noiseA, DiagLimitStyle(kDiagRed), noiseExtent);
  Plot(panel, noise, layout.c, limits.noiseC, DiagLimitStyle(kDiagBlue), noiseExtent);

  // Before the first good sample there is nothing measured to show.
  if (record.rowsUsed() > 0) {
    Plot(panel, cal, layout.a, First(record.calA().mean, nA), DiagMeasuredStyle(kDiagRed), calExtent);
    Plot(panel, cal, layout.c, First(record.calC().mean, nC), DiagMeasuredStyle(kDiagBlue), calExtent);
    Plot(panel, counts, layout.a, First(record.rawA().min, nA), DiagMeasuredStyle(kDiagRed), countsExtent);
    Plot(panel, counts, layout.c, First(record.rawC().min, nC), DiagMeasuredStyle(kDiagBlue), countsExtent);
    Plot(panel, counts, layout.ref, First(record.ref().min, nRef), DiagMeasuredStyle(kDiagGreen), countsExtent);
    Plot(panel, noise, layout.a, First(record.uncA().sdev, nA), DiagMeasuredStyle(kDiagRed), noiseExtent);
    Plot(panel, noise, layout.c, First(record.uncC().sdev, nC), DiagMeasuredStyle(kDiagBlue), noiseExtent);

    ui.SetCtrlVal(panel, controls.tempMean, record.tempMean());
    ui.SetCtrlVal(panel, controls.tempSdev, record.tempSdev());
    if (hasDepth) {
      ui.SetCtrlVal(panel, controls.depthMean, record.depthMean());
      ui.SetCtrlVal(panel, controls.depthSdev, record.depthSdev());
    }
  }
  ui.SetCtrlVal(panel, controls.samples, static_cast<int>(goodSamples));

  // The axes take in the limits and the measured values with a margin, so
  // that a limit is never drawn on the frame.
  ShowExtent(panel, cal, calExtent);
  ShowExtent(panel, counts, countsExtent);
  ShowExtent(panel, noise, noiseExtent);
  for (const DiagGraph& graph : further) {
    GraphExtent extent;
    for (const DiagCurve& curve : graph.curves)
      if (curve.kind != nullptr) Plot(panel, graph.control, *curve.kind, curve.values, curve.style, extent);
    ShowExtent(panel, graph.control, extent);
  }
  for (int graph : graphs) {
    ui.SetCtrlAttribute(panel, graph, platform::Attr::AutoRefresh, 1);
    ui.RefreshGraph(panel, graph);
  }
}

}  // namespace sondrix
