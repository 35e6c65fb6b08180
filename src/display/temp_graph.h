// The profile graphs: each visible trace's averaged value (X axis) against
// the line's temperature (TempGraph) or depth (DepthGraph) on the Y axis.
// Everything else is XY graph behaviour. The depth axis grows downwards.
// While following a run, the temperature or depth axis extends to hold the
// run's data.
#pragma once

#include "display/xy_graph.h"

namespace sondrix {

class TempGraph : public XYGraph {
 public:
  TempGraph(int panel, int control, int menuItem);

  int GetType() override;
  void SetDefaults() override;
  double CalcY(Display& display, const SourceLine& line) override;
  double HistoryY(const RunHistory& history, std::size_t i) const override;
  bool HasTimeAxis() const override;

  static XYSettings Defaults();

 protected:
  AxisRange ProfileData(const RunHistory& history) const override;
};

class DepthGraph : public XYGraph {
 public:
  DepthGraph(int panel, int control, int menuItem);

  int GetType() override;
  void SetDefaults() override;
  double CalcY(Display& display, const SourceLine& line) override;
  void ConfigAxes(platform::AxisMode xMode, platform::AxisMode yMode) override;
  double HistoryY(const RunHistory& history, std::size_t i) const override;
  bool HasTimeAxis() const override;

  static XYSettings Defaults();

 protected:
  AxisRange ProfileData(const RunHistory& history) const override;
};

}  // namespace sondrix
