// Graph: everything the Display can show in its graph area. The virtual
// operations follow the graph operation table's slot order; each default
// returns the code that says the graph does not offer the operation.
//
// The "X" operations (XBounds, XZoom, XMove) act on the graph's value axis:
// the X axis of the XY family, the Y axis of the strip chart and of the
// spectrum graphs.
#pragma once

#include <cstdio>

#include "common/status.h"
#include "platform/ui.h"
#include "source/source_line.h"

namespace sondrix {

class Display;

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
  // Takes one line of data; draws when a display bin is complete.
  virtual Status Plot(Display& display, const SourceLine& line);          // 13
  virtual Status DeletePlots();                                           // 14
  // The display-menu item that shows this graph.
  virtual int GetMenu();                                                  // 15
  virtual ~Graph();                                                       // 16 Dispose

  // Forgets the sums of a display bin in progress (when the graph becomes
  // the one on show, so that its first point averages only lines it saw).
  virtual void ClearBin();
};

}  // namespace sondrix
