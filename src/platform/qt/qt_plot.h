// SPDX-License-Identifier: GPL-3.0-or-later
// The graph and strip-chart controls of the Qt backend, on QCustomPlot.
//
// Graphs: every PlotXY is a plot of its own, drawn by QCustomPlot (a graph
// keyed on Y with adaptive sampling while its points come in order of
// rising Y, else a curve in the order given, or bars). A curve (PlotCurve,
// the run's traces) is a CurvePlottable, which keeps a pointer to the
// curve, not its points: a thin line whose keys rise is painted by the
// graph's TraceCanvas (trace_canvas.h), its cost following the pixels of
// the graph, not its points. Strip charts draw curves the same way, the
// last points per screen of them; points given to them (a recalled state,
// an editor's preview) are kept for one screen per trace.
//
// Redraws are queued and coalesced: however many changes arrive, a control
// redraws at most once per frame of its screen (and, when drawing takes
// long, spends at most a tenth of the time drawing), and not at all while
// hidden (it redraws when it is shown again). Curves that grew redraw only
// the canvas's layer, and of it only the pixels their new points cross.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
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
#include "platform/qt/trace_canvas.h"
#include "platform/ui.h"
#include "platform/uir.h"

namespace sondrix::platform::qt {

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
  // The time axis reads as `scale` gives it (null: plain numbers).
  void SetTimeScale(bool onX, std::shared_ptr<const TimeScale> scale, const std::string& label) override;
  // The shaded stretches of the key axis, behind the plots.
  void SetKeyBands(bool onX, const std::vector<KeyBand>& bands) override;
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
  // Takes the colours of the look now in force (SetPlotLook): the
  // background, axes and grid, and every trace drawn.
  void ApplyScheme();
  // The picture with a title above it, the picture's axis captions and a
  // legend at its right, as PNG or (".pdf") PDF; the control itself is left
  // as it was.
  int ExportImage(const std::string& path, const GraphPicture& picture);

  // What the cursor reads at `at` (the widget's pixels): the entry nearest
  // in the key axis of the traces drawn, as the key reads (the time scale's
  // text on a time axis, else the axis's caption and the key) and each
  // trace's value there, in the trace's colour. Nothing off the plot.
  struct Readout {
    QString key;
    std::vector<std::pair<QColor, double>> values;
  };
  std::optional<Readout> ReadAt(const QPointF& at);
  // The cursor's label, shown near the pointer while it is over the plot.
  const QLabel* cursorLabel() const { return cursor_; }

 protected:
  // Draws every trace again in its colour as the scheme shows it.
  virtual void Recolor() {}
  void showEvent(QShowEvent* event) override;
  // The cursor: read while the pointer moves over the plot, hidden when it
  // leaves; nothing is done while the pointer is elsewhere.
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
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
  // The time scale of each axis, if any (its ticker reads it).
  std::shared_ptr<const TimeScale> xTime_, yTime_;
  QLabel* cursor_ = nullptr;  // made when first needed; a child of the widget
  // The shaded stretches of the key axis (owned by QCustomPlot).
  std::vector<QCPItemRect*> bands_;
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

  // Draws plot `plot` of its points, or of a curve. 0, or kOutOfMemory.
  int Draw(int plot, std::span<const double> x, std::span<const double> y,
           const PlotAttributes& attributes) override;
  int DrawCurve(int plot, std::shared_ptr<const Curve> curve, CurveKeys keys,
                const PlotAttributes& attributes) override;
  // One plot, or every plot (kAllPlots).
  void DeletePlot(int plot) override;
  void CurvesChanged() override;
  void SetSmoothUpdate(bool on) { smoothUpdate_ = on; }
  bool smoothUpdate() const { return smoothUpdate_; }
  // Every plot, for panel state files and tests.
  std::vector<PlotState> Plots() const override;
  std::size_t plotCount() const { return plots_.size(); }

 private:
  // A plot is drawn by one of four QCustomPlot plottables: bars; a graph
  // keyed on Y for points in order of rising Y (drawn with adaptive
  // sampling); a curve, which draws its points in the order given; or a
  // CurvePlottable for a curve held above the platform.
  struct Plot {
    QCPAbstractPlottable* plottable = nullptr;  // owned by QCustomPlot
    PlotAttributes attributes;
    std::optional<CurvePlot> curve;
  };
  QCPAbstractPlottable* MakePlottable(const PlotAttributes& attributes, bool keyOnY);
  static void StylePen(QCPAbstractPlottable* plottable, const PlotAttributes& attributes);
  void Recolor() override;
  void GroupBars(QCPBars* bars, std::span<const double> x);

  std::map<int, Plot> plots_;
  // Bars drawn side by side, by their X.
  std::map<double, QPointer<QCPBarsGroup>> barGroups_;
  bool smoothUpdate_ = false;
};

class StripWidget : public PlotWidget {
 public:
  StripWidget(QWidget* parent, const ControlSpec& spec);

  // The chart's traces, without points or curves.
  int SetTraceCount(int traces);
  int traceCount() const { return static_cast<int>(traces_.size()); }
  int SetPointsPerScreen(int points);
  int pointsPerScreen() const { return pointsPerScreen_; }
  int SetTraceColor(int trace, int rgb);
  int SetTraceVisible(int trace, bool on);
  // A trace's colour as set (0xRRGGBB, before the scheme's contrast rules)
  // and its visibility; black and shown for a trace the chart does not have.
  int TraceColor(int trace) const;
  bool TraceVisible(int trace) const;
  int Append(std::span<const double> points, int traceCount) override;
  // Chart trace k draws curve k: its last points per screen, drawn by the
  // canvas.
  int SetCurves(std::span<const std::shared_ptr<const Curve>> curves) override;
  void CurvesChanged() override { ScrollTo(); }
  void Clear() override;
  // The points shown, traces interleaved.
  std::vector<double> Points() const override;

 private:
  // The traces afresh, as graphs for points or as the curves' plottables,
  // keeping each trace's colour and visibility.
  void MakeTraces(int traces, std::span<const std::shared_ptr<const Curve>> curves);
  void ScrollTo();
  void Recolor() override;

  // One plottable per trace: a QCPGraph of points, or a CurvePlottable.
  std::vector<QCPAbstractPlottable*> traces_;
  std::vector<std::shared_ptr<const Curve>> curves_;
  std::vector<int> colors_;  // as set, per trace; kept when the trace count changes
  int pointsPerScreen_ = 100;
  double next_ = 0.0;  // key of the next point given
};

// 0xRRGGBB as a colour.
QColor ToColor(int rgb);
// The colour scheme graphs and strip charts are drawn in (all of them, and
// those made later); ApplyScheme brings a control up to it.
void SetPlotLook(std::shared_ptr<const ColorLook> look);
const ColorLook& PlotLook();
// A trace of colour `rgb` as the look draws it (ColorLook::TraceColor).
QColor ShownTraceColor(int rgb);

}  // namespace sondrix::platform::qt
