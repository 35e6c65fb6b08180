// SPDX-License-Identifier: GPL-3.0-or-later
// Graph: everything the Display can show in its graph area. The virtual
// operations follow the graph operation table's slot order; each default
// returns the code that says the graph does not offer the operation.
//
// The "X" operations (XBounds, XZoom, XMove) act on the graph's value axis:
// the X axis of the XY family, the Y axis of the strip chart and of the
// spectrum graphs. They are written once, here; a graph names its value
// axis (GetValueAxis).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "common/status.h"
#include "display/follow.h"
#include "platform/ui.h"
#include "source/source_line.h"

namespace sondrix {

class Display;
class RunHistory;

// Graph type numbers (GetType), also the numbers of the display
// configuration file.
namespace graph_type {
inline constexpr int kGraph = 0;
inline constexpr int kXY = 1;
inline constexpr int kStrip = 2;
inline constexpr int kTemp = 3;
inline constexpr int kDepth = 4;
inline constexpr int kSpect = 5;
inline constexpr int kSpect2 = 6;
}  // namespace graph_type

// Zoom factors outside this range are ignored.
inline constexpr double kMinZoomFactor = 1.0e-8;
inline constexpr double kMaxZoomFactor = 1000.0;

class Graph {
 public:
  Graph() = default;
  Graph(const Graph&) = delete;
  Graph& operator=(const Graph&) = delete;

  virtual int GetType();                                                  // 0
  // Runs the graph's settings dialog: 1, or -1021 when cancelled.
  virtual Status UserConfigure();                                         // 1
  virtual void ConfigAxes(platform::AxisMode xMode, platform::AxisMode yMode);  // 2
  virtual void XBounds(double low, double high);                          // 3
  virtual void XZoom(double factor);                                      // 4
  virtual void XMove(double fraction);                                    // 5
  // Applies the settings to the graph control; with `noAutoscale` set the
  // stored ranges are restored without autoscaling.
  virtual Status SetConfig(int noAutoscale);                              // 6
  virtual void SetDefaults();                                             // 7
  virtual Status Hide();                                                  // 8
  virtual Status Show();                                                  // 9
  // The graph's line of the display configuration file.
  virtual Status ReadConfig(std::FILE* file);                             // 10
  virtual Status WriteConfig(std::FILE* file);                            // 11
  // Prepares a run of `traceCount` traces.
  virtual Status InitPlot(Display& display, int traceCount);              // 12
  // Takes one line of data; draws when the run's history completed a
  // display bin with it.
  virtual Status Plot(Display& display, const SourceLine& line);          // 13
  virtual Status DeletePlots();                                           // 14
  // The display-menu item that shows this graph.
  virtual int GetMenu();                                                  // 15
  virtual ~Graph();                                                       // 16 Dispose

  // --- Following a run (docs/display.md) ----------------------------------------
  // Draws the graph afresh from the run's history (the graph is put on show,
  // the traces shown changed, the history was thinned). The default draws
  // nothing.
  virtual Status Rebuild(Display& display);
  // Brings the axes up to the run's history after a bin was added; nothing
  // while following is suspended. The default follows nothing.
  virtual void Follow(Display& display);
  // Forgets what following found (a new run, the graph put on show again,
  // its settings changed); a suspension stays.
  virtual void ResetFollowState();
  // Makes the ranges now shown the graph's own settings, so that a zoom or
  // move acts on what the user sees.
  virtual void AdoptShownRanges();
  // Whether the graph has a time axis (minutes and whole run apply), and an
  // axis besides the values that follows at all.
  virtual bool HasTimeAxis() const;
  virtual bool HasFollowAxis() const;

  const FollowSettings& follow() const { return follow_; }
  void set_follow(const FollowSettings& settings) { follow_ = settings; }
  // The user zoomed or moved: following stops, and the ranges shown become
  // the graph's own, until ResumeFollow.
  void SuspendFollow();
  // Follows again from scratch (the "Follow" button); a new run does too.
  void ResumeFollow();
  bool followSuspended() const { return suspended_; }
  // Following is suspended and there is something to follow again.
  bool CanResume() const { return suspended_ && (follow_.values != 0 || (follow_.axis != 0 && HasFollowAxis())); }

 protected:
  // The axis the "X" operations act on: the settings' range of it, and
  // whether it is the control's Y axis. A graph without one (the default)
  // leaves the range null, and XBounds, XZoom and XMove do nothing.
  struct ValueAxis {
    double* low = nullptr;
    double* high = nullptr;
    bool isY = false;
  };
  virtual ValueAxis GetValueAxis();
  // Applies a changed value range: the value axis manual, the other locked.
  void ShowValueAxis(const ValueAxis& axis);

  // The extremes of `traces` over history entries [from, to): measured afresh
  // when `fresh` or every kRescanIntervalMs of the run, and in between only
  // widened by the entries added since, so that a bin costs little.
  AxisRange ShownValues(const RunHistory& history, std::span<const int> traces, std::size_t from,
                        std::size_t to, bool fresh);

  // The follow settings in a settings dialog: the axis, minutes, whole-run
  // and values controls (hidden where the graph has no such axis).
  void FillFollowControls(int dialog, int axis, int minutes, int wholeRun, int values);
  // Minutes only while the axis follows the last minutes, whole run only
  // while it follows.
  void DimFollowControls(int dialog, int axis, int minutes, int wholeRun);
  // The settings the dialog holds; false (with a message) when its minutes
  // are no time window.
  bool ReadFollowControls(int dialog, int axis, int minutes, int wholeRun, int values,
                          FollowSettings& out);

  FollowSettings follow_;
  ValueFollower values_;
  bool suspended_ = false;
  // Following changed an axis since the last ResetFollowState.
  bool followed_ = false;

 private:
  AxisRange scan_{};
  bool scanned_ = false;
  std::int64_t scanAt_ = 0;
  std::size_t scanAdded_ = 0;
};

}  // namespace sondrix
