// SPDX-License-Identifier: GPL-3.0-or-later
// The graph and strip-chart controls of the Qt backend, on QCustomPlot.
//
// Graphs: a two-point plot that starts where an earlier plot of the same
// attributes ended is appended to that plot (the panel tree tells which),
// so a trace drawn segment by segment is one growing curve. A thin line
// whose points come in order of rising Y (a trace against elapsed time) is a
// series on the graph's TraceCanvas (trace_canvas.h): its cost follows the
// pixels of the graph, not its points, and the traces of a graph share their
// times. Series keep a budget of points shared among the graph's traces
// (never fewer than kMaxPlotPoints each); other curves keep at most
// kMaxPlotPoints points. The oldest are dropped first. Strip charts keep the
// points of one screen per trace, as series too.
//
// Redraws are queued and coalesced: however many changes arrive, a control
// redraws at most once per frame of its screen (and, when drawing takes
// long, spends at most a tenth of the time drawing), and not at all while
// hidden (it redraws when it is shown again). New points of series redraw
// only the canvas's layer, and of it only the pixels their lines cross.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <map>
#include <optional>
#include <qcustomplot.h>
#include <span>
#include <string>
#include <vector>

#include "platform/panel_state.h"
#include "platform/panel_tree.h"
#include "platform/plot_continuation.h"
#include "platform/qt/trace_canvas.h"
#include "platform/ui.h"
#include "platform/uir.h"

namespace sondrix::platform::qt {

// Points a graph's curve keeps; older points are dropped first.
inline constexpr int kMaxPlotPoints = 100000;
// After a redraw of t ms the next one waits at least kDrawingShare x t ms.
inline constexpr qint64 kDrawingShare = 9;
// Points per screen of a strip chart at most.
inline constexpr int kMaxPointsPerScreen = 100000;

// What the graph and the strip chart share: axes with their modes and
// divisions, captions, and the throttled redraw. The panel tree draws on it
// as on any graph surface.
class PlotWidget : public QCustomPlot, public GraphSurface {
 public:
  explicit PlotWidget(QWidget* parent, const ControlSpec& spec);

  void SetAxes(const AxisState& axes) override;
  AxisState Axes() override;
  void Redraw() override { Refresh(); }
  int WriteImage(const std::string& path, const GraphPicture* picture) override;

  int SetAxisRange(AxisMode xMode, double xMin, double xMax, AxisMode yMode, double yMin,
                   double yMax);
  void GetAxisRange(AxisMode& xMode, double& xMin, double& xMax, AxisMode& yMode, double& yMin,
                    double& yMax);
  void SetDivisions(bool xAxis, int divisions);
  int Divisions(bool xAxis) const { return xAxis ? xDivisions_ : yDivisions_; }
  void SetAutoRefresh(bool on);
  bool autoRefresh() const { return autoRefresh_; }
  void SetYReverse(bool on);
  // Asks for a redraw; it happens at most once a frame, when events are
  // processed, and only while the control is on screen.
  void RequestReplot();
  // Asks for the new points of series to be put on screen (the same way).
  void RequestTracesReplot();
  // Redraws at the next opportunity even with automatic redraw off.
  void Refresh();
  // Redraws now, shown or not (before printing or saving a picture).
  void ReplotNow();
  int replotCount() const { return replots_; }
  // Time spent redrawing, in seconds, since the control was made.
  double replotSeconds() const { return replotNs_ / 1e9; }
  // The canvas of the control's series.
  TraceCanvas* canvas() const { return canvas_; }
  int SaveImage(const std::string& path);
  // Takes the colours of the scheme now in force (SetPlotScheme): the
  // background, axes and grid, and every trace drawn.
  void ApplyScheme();
  // The picture with a title above it, the picture's axis captions and a
  // legend at its right, as PNG or (".pdf") PDF; the control itself is left
  // as it was.
  int ExportImage(const std::string& path, const GraphPicture& picture);

 protected:
  // Draws every trace again in its colour as the scheme shows it.
  virtual void Recolor() {}
  void showEvent(QShowEvent* event) override;
  // Brings autoscaled axes up to the data.
  void Autoscale();

  AxisMode xMode_ = AxisMode::Manual;
  AxisMode yMode_ = AxisMode::Manual;
  TraceCanvas* canvas_ = nullptr;  // made by the graph or strip chart; owned by QCustomPlot

 private:
  void Schedule();
  void Flush();
  void ApplyDivisions(QCPAxis* axis, int divisions);
  void ApplyPrecision(QCPAxis* axis);

  int xDivisions_ = -1;
  int yDivisions_ = -1;
  bool autoRefresh_ = true;
  bool dirty_ = false;
  bool tracesDirty_ = false;  // only series have new points
  int replots_ = 0;
  qint64 lastReplotMs_ = 0;  // how long the last redraw took
  qint64 replotNs_ = 0;
  QTimer timer_;
  QElapsedTimer sinceReplot_;
};

class GraphWidget : public PlotWidget {
 public:
  GraphWidget(QWidget* parent, const ControlSpec& spec);

  // Draws plot `plot`, or (`continued`) appends the points after the first
  // to it. 0, or kOutOfMemory.
  int Draw(int plot, bool continued, std::span<const double> x, std::span<const double> y,
           const PlotAttributes& attributes) override;
  // One plot, or every plot (kAllPlots).
  void DeletePlot(int plot) override;
  void SetSmoothUpdate(bool on) { smoothUpdate_ = on; }
  bool smoothUpdate() const { return smoothUpdate_; }
  // Every plot, for panel state files and tests.
  std::vector<PlotState> Plots() const override;
  std::size_t plotCount() const { return plots_.size(); }

 private:
  // A plot is drawn by one of four QCustomPlot plottables: bars; a series
  // keyed on Y while a thin line's points come in order of rising Y (a trace
  // against elapsed time, drawn by the canvas); a graph keyed on Y for other
  // styles in that order (drawn with adaptive sampling); or a curve, which
  // draws its points in the order given.
  struct Plot {
    QCPAbstractPlottable* plottable = nullptr;  // owned by QCustomPlot
    PlotAttributes attributes;
  };
  QCPAbstractPlottable* MakePlottable(const PlotAttributes& attributes, bool keyOnY);
  // Appends points; a series or graph keyed on Y that would go back in Y
  // becomes a curve first.
  void Append(Plot& plot, std::span<const double> x, std::span<const double> y);
  // The plot's plottable replaced by a curve through the same points.
  void MakeCurve(Plot& plot, const QVector<double>& x, const QVector<double>& y);
  static void StylePen(QCPAbstractPlottable* plottable, const PlotAttributes& attributes);
  void Recolor() override;
  void GroupBars(QCPBars* bars, std::span<const double> x);

  std::map<int, Plot> plots_;
  // The times the graph's series share.
  std::shared_ptr<KeyColumn> keys_;
  // Bars drawn side by side, by their X.
  std::map<double, QPointer<QCPBarsGroup>> barGroups_;
  bool smoothUpdate_ = false;
};

class StripWidget : public PlotWidget {
 public:
  StripWidget(QWidget* parent, const ControlSpec& spec);

  int SetTraceCount(int traces);
  int traceCount() const { return static_cast<int>(graphs_.size()); }
  int SetPointsPerScreen(int points);
  int pointsPerScreen() const { return pointsPerScreen_; }
  int SetTraceColor(int trace, int rgb);
  int SetTraceVisible(int trace, bool on);
  // A trace's colour as set (0xRRGGBB, before the scheme's contrast rules)
  // and its visibility; black and shown for a trace the chart does not have.
  int TraceColor(int trace) const;
  bool TraceVisible(int trace) const;
  int Append(std::span<const double> points, int traceCount) override;
  void Clear() override;
  // The points now kept, traces interleaved.
  std::vector<double> Points() const override;

 private:
  void ScrollTo();
  void Recolor() override;

  std::vector<SeriesPlottable*> graphs_;
  std::shared_ptr<KeyColumn> keys_;  // the traces' point numbers
  std::vector<int> colors_;  // as set, per trace; kept when the trace count changes
  int pointsPerScreen_ = 100;
  double next_ = 0.0;  // key of the next point
};

// 0xRRGGBB as a colour.
QColor ToColor(int rgb);
// The colour scheme graphs and strip charts are drawn in (all of them, and
// those made later); ApplyScheme brings a control up to it.
void SetPlotScheme(ColorScheme scheme);
ColorScheme PlotScheme();
// A trace of colour `rgb` as the scheme draws it (color_scheme.h,
// TraceColorOn).
QColor ShownTraceColor(int rgb);

}  // namespace sondrix::platform::qt
