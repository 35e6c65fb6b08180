// SPDX-License-Identifier: GPL-3.0-or-later
// Strip: the scrolling chart. It charts the run's history (RunHistory::
// TraceCurve against the entries' numbers): every bin the history adds is
// one more averaged value per charted trace, and the chart scrolls by
// itself. Its value axis is the
// chart's Y axis, which the "X" operations act on; its width is a number of
// points per screen, set as round(9999 / scroll speed).
//
// The chart carries at most 64 traces. Up to 64 visible traces are all
// drawn, each in its own colour; of more, every s-th visible trace in index
// order is drawn (s = the visible traces divided by 64, rounded up), so
// that the chart spans the whole spectrum of both kinds, and the chart's
// caption says so ("Charting 50 of 200 traces, every 4th: c400.0 …
// a720.0"). The traces not charted keep their labels and read-outs.
//
// While following a run the chart shows the last N minutes: its points per
// screen are N minutes' worth of display bins at the run's own rate.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "display/graph.h"
#include "display/graph_control.h"
#include "platform/ui.h"

namespace sondrix {

struct StripSettings {
  double yMin = 0.0, yMax = 7.0;
  int scrollSpeed = 30;

  bool operator==(const StripSettings&) const = default;
};

class Strip : public Graph {
 public:
  Strip(int panel, int control, int menuItem);
  ~Strip() override;

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

  // Following: the chart's width is the last N minutes of the run (or the
  // whole run) instead of the scroll speed's points; the values (Y)
  // autoscale.
  Status Rebuild(Display& display) override;
  void Follow(Display& display) override;
  void AdoptShownRanges() override;
  bool HasTimeAxis() const override;
  bool HasFollowAxis() const override;

  // Points per screen for a scroll speed.
  static int PointsPerScreen(int scrollSpeed);
  // Every how many visible traces one is charted: 1 for up to 64.
  static int ChartStep(int visibleCount);
  // The note the chart carries when it cannot chart every visible trace
  // ("" when it charts them all).
  const std::string& note() const { return note_; }

  const StripSettings& settings() const { return s_; }
  void set_settings(const StripSettings& settings) { s_ = settings; }
  const GraphControl& control() const { return control_; }

 protected:
  // The chart's Y axis.
  ValueAxis GetValueAxis() override;

 private:
  GraphControl control_;
  StripSettings s_;
  // Visible traces per charted trace in this run.
  int step_ = 1;
  // The X axis caption the resource file gives the chart, and the note.
  std::string caption_;
  std::string note_;

  // The charted traces (visible traces, every step-th), their colours and
  // count on the chart control, and the note.
  void SetUpTraces(Display& display, int traceCount);
  // The points per screen following wants now.
  int WantedPoints(const RunHistory& history) const;
  void SetPoints(int points);
  // Charts the history's curves of the charted traces.
  Status Refill(Display& display);

  // Points per screen shown now (0 before following set any).
  int points_ = 0;
  // The charted traces, chart trace k first.
  std::vector<int> traces_;
  // The history's entries when the chart last drew, and whether it charts
  // the history's curves.
  std::size_t drawnAdded_ = 0;
  bool curvesDrawn_ = false;
};

}  // namespace sondrix
