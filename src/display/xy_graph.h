// SPDX-License-Identifier: GPL-3.0-or-later
// XYGraph: the time-series graph, and the base of the temperature, depth and
// spectrum graphs. For every visible trace it draws the trace's averaged
// value on the X axis against a Y quantity of the run's history (HistoryKeys):
// elapsed minutes here. The graph draws the history's curves (RunHistory::
// TraceCurve), which the user interface reads as it draws: a bin added to
// the history only tells the graph's control that its curves grew.
#pragma once

#include <optional>
#include <cstdio>
#include <span>
#include <vector>

#include "display/graph.h"
#include "display/graph_control.h"
#include "platform/ui.h"
#include "session/run_history.h"
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

  // Following: the time axis (Y) scrolls, or the profile axis (Y) extends;
  // the values (X) autoscale.
  Status Rebuild(Display& display) override;
  void Follow(Display& display) override;
  void ResetFollowState() override;
  void AdoptShownRanges() override;
  bool HasTimeAxis() const override;
  bool HasFollowAxis() const override;
  // What the curves have on the Y axis: the history's elapsed minutes here.
  virtual RunHistory::Keys HistoryKeys() const;

  const XYSettings& settings() const { return s_; }
  void set_settings(const XYSettings& settings) { s_ = settings; }
  const GraphControl& control() const { return control_; }

 protected:
  // The X axis.
  ValueAxis GetValueAxis() override;

  // The defaults of this class (the table of the XY family).
  static XYSettings XYDefaults() { return XYSettings{}; }
  // The range of the profile axis's data over the run (temperature, depth).
  virtual AxisRange ProfileData(const RunHistory& history) const;
  // Sets the axes that changed (nothing for the other).
  void ShowFollowed(const std::optional<AxisRange>& x, const std::optional<AxisRange>& y);
  // Draws a plot; on out of memory deletes every plot and draws it again.
  int Draw(std::span<const double> x, std::span<const double> y,
           const platform::PlotAttributes& attributes);
  // Draws each visible trace's curve of the history.
  Status DrawCurves(Display& display);
  // The history added entries since the graph last drew.
  bool HistoryGrew(const Display& display);

  GraphControl control_;
  XYSettings s_;
  // The history's entries when the graph last drew, and whether it draws
  // the history's curves.
  std::size_t drawnAdded_ = 0;
  bool curvesDrawn_ = false;
  // The Y range following shows.
  AxisRange yShown_{};
  // The visible traces (kept to spare an allocation per bin).
  std::vector<int> traces_;
};

}  // namespace sondrix
