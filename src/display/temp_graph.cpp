// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/temp_graph.h"

#include <cmath>

#include "display/display.h"
#include "session/run_history.h"

namespace sondrix {
namespace {

const ProfileQuantity kTemperature = {graph_type::kTemp, 35.0, RunHistory::Keys::Temperature,
                                      &RunHistory::temperatureMin, &RunHistory::temperatureMax};
const ProfileQuantity kDepth = {graph_type::kDepth, 20.0, RunHistory::Keys::Depth, &RunHistory::depthMin,
                                &RunHistory::depthMax};

}  // namespace

ProfileGraph::ProfileGraph(int panel, int control, int menuItem, const ProfileQuantity& quantity)
    : XYGraph(panel, control, menuItem), quantity_(quantity) {
  s_ = Defaults();
}

XYSettings ProfileGraph::Defaults() const {
  XYSettings s = XYDefaults();
  s.yMax = quantity_.defaultYMax;
  return s;
}

int ProfileGraph::GetType() { return quantity_.type; }
void ProfileGraph::SetDefaults() { s_ = Defaults(); }
RunHistory::Keys ProfileGraph::HistoryKeys() const { return quantity_.keys; }
bool ProfileGraph::HasTimeAxis() const { return false; }
AxisRange ProfileGraph::ProfileData(const RunHistory& history) const {
  return {(history.*quantity_.min)(), (history.*quantity_.max)()};
}

TempGraph::TempGraph(int panel, int control, int menuItem) : ProfileGraph(panel, control, menuItem, kTemperature) {}

DepthGraph::DepthGraph(int panel, int control, int menuItem) : ProfileGraph(panel, control, menuItem, kDepth) {}

void DepthGraph::ConfigAxes(platform::AxisMode xMode, platform::AxisMode yMode) {
  XYGraph::ConfigAxes(xMode, yMode);
  platform::ui().SetCtrlAttribute(control_.panel, control_.control, platform::Attr::YReverse, 1);
}

Status DepthGraph::InitPlot(Display& display, int traceCount) {
  drawnVersion_ = -1;
  drawnCast_ = -1;
  drawnAtMs_ = 0;
  return XYGraph::InitPlot(display, traceCount);
}

Status DepthGraph::Plot(Display& display, const SourceLine& line) {
  LiveCasts* casts = display.liveCasts();
  if (casts == nullptr) return XYGraph::Plot(display, line);
  HistoryGrew(display);  // the points are not drawn, but followed
  if (casts->version() == drawnVersion_) return status::kOk;
  if (casts->currentCast() == drawnCast_ && line.time - drawnAtMs_ < 1000 && line.time >= drawnAtMs_)
    return status::kOk;
  drawnAtMs_ = line.time;
  return DrawProfiles(display);
}

Status DepthGraph::Rebuild(Display& display) {
  if (display.liveCasts() == nullptr) return XYGraph::Rebuild(display);
  return DrawProfiles(display);
}

Status DepthGraph::DrawProfiles(Display& display) {
  LiveCasts& casts = *display.liveCasts();
  DeletePlots();
  curvesDrawn_ = false;
  drawnVersion_ = casts.version();
  drawnCast_ = casts.currentCast();
  display.VisibleTraces(traces_);
  constexpr int kGrey = 0x9A9A9A;
  Status result = status::kOk;
  // Each trace's statistic (`spread` -1, 0, +1 standard deviations) against
  // the bins' centres, drawn when two bins have it.
  const auto draw = [&](const std::vector<ProfileBin>& bins, int trace, int spread, platform::PlotAttributes style) {
    std::vector<double> x, y;
    for (std::size_t k = 0; k < bins.size(); ++k) {
      if (bins[k].values.size() <= static_cast<std::size_t>(trace)) continue;
      const BinSummary& s = bins[k].values[static_cast<std::size_t>(trace)];
      const double v = spread == 0 ? s.value : s.value + spread * s.sd;
      if (!std::isfinite(v)) continue;
      x.push_back(v);
      y.push_back((static_cast<double>(k) + 0.5) * casts.binSize());
    }
    if (x.size() < 2) return;
    if (const int drawn = Draw(x, y, style); drawn < 0) result = drawn;
  };
  using platform::LineStyle;
  using platform::PlotStyle;
  using platform::PointStyle;
  for (const int trace : traces_)
    draw(casts.previousBins(), trace, 0, {PlotStyle::ThinLine, PointStyle::SimpleDot, LineStyle::Solid, 0, kGrey});
  const std::vector<ProfileBin> current = casts.CurrentBins();
  for (const int trace : traces_) {
    const int rgb = display.TraceRGB(trace);
    for (const int spread : {-1, 1})
      draw(current, trace, spread, {PlotStyle::ThinLine, PointStyle::SimpleDot, LineStyle::Dot, 0, rgb});
    draw(current, trace, 0, {PlotStyle::FatLine, PointStyle::SimpleDot, LineStyle::Solid, 0, rgb});
  }
  return result;
}

}  // namespace sondrix
