// The profile graphs: each visible trace's averaged value (X axis) against
// the line's temperature (TempGraph) or depth (DepthGraph) on the Y axis.
// Everything else is XY graph behaviour. The depth axis grows downwards.
#pragma once

#include "display/xy_graph.h"

namespace sondrix {

class TempGraph : public XYGraph {
 public:
  TempGraph(int panel, int control, int menuItem);

  int GetType() override;
  void SetDefaults() override;
  double CalcY(Display& display, const SourceLine& line) override;

  static XYSettings Defaults();
};

class DepthGraph : public XYGraph {
 public:
  DepthGraph(int panel, int control, int menuItem);

  int GetType() override;
  void SetDefaults() override;
  double CalcY(Display& display, const SourceLine& line) override;
  void ConfigAxes(platform::AxisMode xMode, platform::AxisMode yMode) override;

  static XYSettings Defaults();
};

}  // namespace sondrix
