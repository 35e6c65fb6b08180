#include "display/temp_graph.h"

#include "display/run_history.h"

namespace sondrix {

TempGraph::TempGraph(int panel, int control, int menuItem) : XYGraph(panel, control, menuItem) {
  s_ = Defaults();
}

XYSettings TempGraph::Defaults() {
  XYSettings s;
  s.yMax = 35.0;
  return s;
}

int TempGraph::GetType() { return graph_type::kTemp; }
void TempGraph::SetDefaults() { s_ = Defaults(); }
double TempGraph::CalcY(Display&, const SourceLine& line) { return line.temperature; }
double TempGraph::HistoryY(const RunHistory& history, std::size_t i) const { return history.temperature(i); }
bool TempGraph::HasTimeAxis() const { return false; }
AxisRange TempGraph::ProfileData(const RunHistory& history) const {
  return {history.temperatureMin(), history.temperatureMax()};
}

DepthGraph::DepthGraph(int panel, int control, int menuItem) : XYGraph(panel, control, menuItem) {
  s_ = Defaults();
}

XYSettings DepthGraph::Defaults() {
  XYSettings s;
  s.yMax = 20.0;
  return s;
}

int DepthGraph::GetType() { return graph_type::kDepth; }
void DepthGraph::SetDefaults() { s_ = Defaults(); }
double DepthGraph::CalcY(Display&, const SourceLine& line) { return line.depth; }
double DepthGraph::HistoryY(const RunHistory& history, std::size_t i) const { return history.depth(i); }
bool DepthGraph::HasTimeAxis() const { return false; }
AxisRange DepthGraph::ProfileData(const RunHistory& history) const {
  return {history.depthMin(), history.depthMax()};
}

void DepthGraph::ConfigAxes(platform::AxisMode xMode, platform::AxisMode yMode) {
  XYGraph::ConfigAxes(xMode, yMode);
  platform::ui().SetCtrlAttribute(control_.panel, control_.control, platform::Attr::YReverse, 1);
}

}  // namespace sondrix
