// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/temp_graph.h"

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

}  // namespace sondrix
