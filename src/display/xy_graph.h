// SPDX-License-Identifier: GPL-3.0-or-later
// XYGraph: the time-series graph, and the base of the temperature, depth and
// spectrum graphs. For every visible trace it draws the trace's averaged
// value on the X axis against a Y quantity that the class computes from the
// line (CalcY): elapsed minutes here.
#pragma once

#include <array>
#include <optional>
#include <cstdio>
#include <span>
#include <vector>

#include "display/graph.h"
#include "display/graph_control.h"
#include "platform/ui.h"
#include "source/source.h"

namespace sondrix {

// The axis settings of the XY family, in the order of their configuration
// line.
struct XYSettings {
  double yMin = 0.0, yMax = 5.0;
  double xMin = 0.0, xMax = 7.0;
  int xAutoscale = 0, yAutoscale = 0;
  int xAutoDivisions = 1, yAutoDivisions = 1;
  int xDivisions = 5, yDivisions = 5;

  bool operator==(const XYSettings&) const = default;
};

class XYGraph : public Graph {
 public:
  XYGraph(int panel, int control, int menuItem);
  ~XYGraph() override;

  int GetType() override;
  Status UserConfigure() override;
  void ConfigAxes(platform::AxisMode xMode, platform::AxisMode yMode) override;
  Status SetConfig(int noAutoscale) override;
  void SetDefaults() override;
  Status Hide() override;
  Status Show() override;
  Status ReadConfig(std::FILE* file) override;
  Status WriteConfig(std::FILE* file) override;
  Status InitPlot(Display& display, int traceCount) override;
  Status Plot(Display& display, const SourceLine& line) override;
  Status DeletePlots() override;
  int GetMenu() override;
  void ClearBin() override;

  // The Y of the point a line draws.
  virtual double CalcY(Display& display, const SourceLine& line);

  // Following: the time axis (Y) scrolls, or the profile axis (Y) extends;
  // the values (X) autoscale.
  Status Rebuild(Display& display) override;
  void Follow(Display& display) override;
  void ResetFollowState() override;
  void AdoptShownRanges() override;
  bool HasTimeAxis() const override;
  bool HasFollowAxis() const override;
  // The Y of history entry `i`, as CalcY gives it for its line.
  virtual double HistoryY(const RunHistory& history, std::size_t i) const;

  const XYSettings& settings() const { return s_; }
  void set_settings(const XYSettings& settings) { s_ = settings; }
  const GraphControl& control() const { return control_; }

 protected:
  // The X axis.
  ValueAxis GetValueAxis() override;

  // Per trace: the value of the previous drawn point and the running sum of
  // the bin in progress.
  struct Point {
    double prevX = 0.0;
    double accX = 0.0;
  };

  // The defaults of this class (the table of the XY family).
  static XYSettings XYDefaults() { return XYSettings{}; }
  // The range of the profile axis's data over the run (temperature, depth).
  virtual AxisRange ProfileData(const RunHistory& history) const;
  // Sets the axes that changed (nothing for the other).
  void ShowFollowed(const std::optional<AxisRange>& x, const std::optional<AxisRange>& y);
  // Draws a plot; on out of memory deletes every plot and draws it again.
  int Draw(std::span<const double> x, std::span<const double> y,
           const platform::PlotAttributes& attributes);

  GraphControl control_;
  XYSettings s_;
  std::array<Point, kMaxTraces> point_{};
  double prevY_ = 0.0;
  double curY_ = 0.0;
  // No point of the run drawn yet: the next point starts the curve.
  bool firstPoint_ = true;
  // The Y range following shows.
  AxisRange yShown_{};
  // The visible traces (kept to spare an allocation per bin).
  std::vector<int> traces_;
};

}  // namespace sondrix
