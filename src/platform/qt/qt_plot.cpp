#include "platform/qt/qt_plot.h"

#include <QScreen>
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace sondrix::platform::qt {
namespace {

// Axis divisions a user may ask for; more would only blacken the axis.
constexpr int kMaxDivisions = 100;
// Curves are trimmed in chunks, so that dropping old points costs little.
constexpr int kTrimChunk = kMaxPlotPoints / 16;

bool ValidRange(double lo, double hi) { return std::isfinite(lo) && std::isfinite(hi) && hi > lo; }

QCPScatterStyle ScatterFor(const PlotAttributes& a, const QColor& color) {
  const bool markers = a.plotStyle == PlotStyle::Scatter || a.pointFrequency > 0;
  if (!markers) return QCPScatterStyle(QCPScatterStyle::ssNone);
  const QPen pen(color, 1.0);
  const QBrush fill(color);
  switch (a.pointStyle) {
    case PointStyle::EmptySquare: return QCPScatterStyle(QCPScatterStyle::ssSquare, pen, Qt::NoBrush, 7);
    case PointStyle::SolidSquare: return QCPScatterStyle(QCPScatterStyle::ssSquare, pen, fill, 7);
    case PointStyle::Asterisk: return QCPScatterStyle(QCPScatterStyle::ssStar, pen, Qt::NoBrush, 8);
    case PointStyle::EmptyCircle: return QCPScatterStyle(QCPScatterStyle::ssCircle, pen, Qt::NoBrush, 7);
    case PointStyle::SolidCircle: return QCPScatterStyle(QCPScatterStyle::ssDisc, pen, fill, 7);
    case PointStyle::Cross: return QCPScatterStyle(QCPScatterStyle::ssCross, pen, Qt::NoBrush, 7);
    case PointStyle::Plus: return QCPScatterStyle(QCPScatterStyle::ssPlus, pen, Qt::NoBrush, 7);
    case PointStyle::EmptyDiamond: return QCPScatterStyle(QCPScatterStyle::ssDiamond, pen, Qt::NoBrush, 8);
    case PointStyle::SolidDiamond: return QCPScatterStyle(QCPScatterStyle::ssDiamond, pen, fill, 8);
    case PointStyle::SmallSolidSquare: return QCPScatterStyle(QCPScatterStyle::ssSquare, pen, fill, 5);
    case PointStyle::SimpleDot: return QCPScatterStyle(QCPScatterStyle::ssDot, pen, fill, 2);
  }
  return QCPScatterStyle(QCPScatterStyle::ssNone);
}

Qt::PenStyle PenStyleFor(LineStyle style) {
  switch (style) {
    case LineStyle::Dash: return Qt::DashLine;
    case LineStyle::Dot: return Qt::DotLine;
    case LineStyle::DashDot: return Qt::DashDotLine;
    case LineStyle::Solid: break;
  }
  return Qt::SolidLine;
}

void StyleAxis(QCPAxis* axis) {
  axis->grid()->setPen(QPen(QColor(0xD8, 0xD8, 0xD8), 1.0, Qt::DotLine));
  axis->grid()->setZeroLinePen(QPen(QColor(0xA0, 0xA0, 0xA0), 1.0));
}

// A curve drawn as the screen can show it: of consecutive points that fall
// within one pixel of the last one drawn only the last is drawn, so that a
// long profile whose points crowd the same pixels costs what its picture
// costs, not what its number of points costs. Gaps (NaN) stay gaps.
class ProfileCurve : public QCPCurve {
 public:
  using QCPCurve::QCPCurve;

 protected:
  void drawCurveLine(QCPPainter* painter, const QVector<QPointF>& lines) const override {
    if (lines.size() < 4) {
      QCPCurve::drawCurveLine(painter, lines);
      return;
    }
    QVector<QPointF> kept;
    kept.reserve(lines.size() / 4 + 2);
    bool pending = false;
    QPointF last;
    for (qsizetype i = 0; i < lines.size(); ++i) {
      const QPointF& point = lines[i];
      const bool gap = !std::isfinite(point.x()) || !std::isfinite(point.y());
      if (!gap && !kept.isEmpty() && std::isfinite(last.x()) &&
          std::fabs(point.x() - last.x()) < 1.0 && std::fabs(point.y() - last.y()) < 1.0) {
        pending = true;  // within the pixel of the last point drawn
        continue;
      }
      // The last point within that pixel leads the line on to this one.
      if (pending && !gap) kept.push_back(lines[i - 1]);
      pending = false;
      kept.push_back(point);
      last = point;
    }
    if (pending) kept.push_back(lines.back());
    QCPCurve::drawCurveLine(painter, kept);
  }
};

}  // namespace

QColor ToColor(int rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// --- PlotWidget ------------------------------------------------------------------------

PlotWidget::PlotWidget(QWidget* parent, const ControlSpec& spec) : QCustomPlot(parent) {
  setPlottingHints(QCP::phCacheLabels | QCP::phFastPolylines);
  setAutoAddPlottableToLegend(false);
  setNoAntialiasingOnDrag(true);
  StyleAxis(xAxis);
  StyleAxis(yAxis);
  xAxis->setLabel(QString::fromStdString(spec.xLabel));
  yAxis->setLabel(QString::fromStdString(spec.yLabel));
  const double xMin = spec.xMin.value_or(0.0), xMax = spec.xMax.value_or(10.0);
  const double yMin = spec.yMin.value_or(0.0), yMax = spec.yMax.value_or(10.0);
  if (ValidRange(xMin, xMax)) xAxis->setRange(xMin, xMax);
  if (ValidRange(yMin, yMax)) yAxis->setRange(yMin, yMax);
  // Axis ranges that change keep fixed divisions at their count.
  connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
          [this] { ApplyDivisions(xAxis, xDivisions_); });
  connect(yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
          [this] { ApplyDivisions(yAxis, yDivisions_); });
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, [this] { Flush(); });
}

int PlotWidget::SetAxisRange(AxisMode xMode, double xMin, double xMax, AxisMode yMode, double yMin,
                             double yMax) {
  if ((xMode == AxisMode::Manual && !ValidRange(xMin, xMax)) ||
      (yMode == AxisMode::Manual && !ValidRange(yMin, yMax))) {
    return ui_status::kBadArgument;
  }
  if (xMode != AxisMode::NoChange) {
    xMode_ = xMode;
    if (xMode == AxisMode::Manual) xAxis->setRange(xMin, xMax);
  }
  if (yMode != AxisMode::NoChange) {
    yMode_ = yMode;
    if (yMode == AxisMode::Manual) yAxis->setRange(yMin, yMax);
  }
  Autoscale();
  RequestReplot();
  return 0;
}

void PlotWidget::GetAxisRange(AxisMode& xMode, double& xMin, double& xMax, AxisMode& yMode,
                              double& yMin, double& yMax) {
  Autoscale();
  xMode = xMode_;
  yMode = yMode_;
  xMin = xAxis->range().lower;
  xMax = xAxis->range().upper;
  yMin = yAxis->range().lower;
  yMax = yAxis->range().upper;
}

void PlotWidget::Autoscale() {
  if (plottableCount() == 0) return;
  if (xMode_ == AxisMode::Autoscale) xAxis->rescale();
  if (yMode_ == AxisMode::Autoscale) yAxis->rescale();
}

void PlotWidget::ApplyDivisions(QCPAxis* axis, int divisions) {
  if (divisions < 1) {
    if (axis->ticker().dynamicCast<QCPAxisTickerFixed>()) {
      axis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    }
    return;
  }
  QSharedPointer<QCPAxisTickerFixed> fixed = axis->ticker().dynamicCast<QCPAxisTickerFixed>();
  if (!fixed) {
    fixed.reset(new QCPAxisTickerFixed);
    fixed->setScaleStrategy(QCPAxisTickerFixed::ssNone);
    axis->setTicker(fixed);
  }
  const QCPRange range = axis->range();
  fixed->setTickStep(range.size() / std::min(divisions, kMaxDivisions));
  fixed->setTickOrigin(range.lower);
}

void PlotWidget::SetDivisions(bool onX, int divisions) {
  (onX ? xDivisions_ : yDivisions_) = divisions < 1 ? -1 : divisions;
  ApplyDivisions(onX ? xAxis : yAxis, onX ? xDivisions_ : yDivisions_);
  RequestReplot();
}

void PlotWidget::SetAutoRefresh(bool on) {
  autoRefresh_ = on;
  if (on && dirty_) RequestReplot();
}

void PlotWidget::SetYReverse(bool on) {
  if (yAxis->rangeReversed() == on) return;
  yAxis->setRangeReversed(on);
  RequestReplot();
}

void PlotWidget::RequestReplot() {
  dirty_ = true;
  if (!autoRefresh_ || timer_.isActive()) return;
  double rate = 60.0;
  if (const QScreen* s = screen(); s != nullptr && s->refreshRate() >= 1.0) rate = s->refreshRate();
  // At most once a frame, and never more than a tenth of the time drawing:
  // a graph that takes long to draw (200 traces of a long run) is drawn less
  // often rather than taking the processor from everything else.
  const qint64 frame = std::max(static_cast<qint64>(1000.0 / rate), kDrawingShare * lastReplotMs_);
  const qint64 since = sinceReplot_.isValid() ? sinceReplot_.elapsed() : frame;
  timer_.start(static_cast<int>(std::max<qint64>(0, frame - since)));
}

void PlotWidget::Refresh() {
  dirty_ = true;
  if (!timer_.isActive()) timer_.start(0);
}

void PlotWidget::Flush() {
  if (!dirty_ || !isVisible()) return;  // a hidden control redraws when shown
  Autoscale();
  QElapsedTimer took;
  took.start();
  replot(QCustomPlot::rpQueuedRefresh);
  lastReplotMs_ = took.elapsed();
  replotNs_ += took.nsecsElapsed();
  dirty_ = false;
  ++replots_;
  sinceReplot_.restart();
}

void PlotWidget::ReplotNow() {
  Autoscale();
  replot(QCustomPlot::rpImmediateRefresh);
  dirty_ = false;
  ++replots_;
  sinceReplot_.restart();
}

void PlotWidget::showEvent(QShowEvent* event) {
  QCustomPlot::showEvent(event);
  if (dirty_) Refresh();
}

int PlotWidget::SaveImage(const std::string& path) {
  ReplotNow();
  const QString name = QString::fromStdString(path);
  const bool ok = name.endsWith(".pdf", Qt::CaseInsensitive)
                      ? savePdf(name)
                      : savePng(name, 0, 0, std::max(1.0, devicePixelRatioF()));
  return ok ? 0 : ui_status::kFileError;
}

// --- GraphWidget ------------------------------------------------------------------------

GraphWidget::GraphWidget(QWidget* parent, const ControlSpec& spec) : PlotWidget(parent, spec) {}

void GraphWidget::StylePen(QCPAbstractPlottable* plottable, const PlotAttributes& a) {
  const QColor color = ToColor(a.color);
  // A pen of one pixel takes the rasteriser's fast path.
  QPen pen(color, a.plotStyle == PlotStyle::FatLine ? 2.5 : 1.0, PenStyleFor(a.lineStyle));
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::BevelJoin);
  plottable->setPen(pen);
  if (auto* curve = dynamic_cast<QCPCurve*>(plottable)) {
    curve->setLineStyle(a.plotStyle == PlotStyle::Scatter ? QCPCurve::lsNone : QCPCurve::lsLine);
    curve->setScatterStyle(ScatterFor(a, color));
    curve->setScatterSkip(a.pointFrequency > 1 ? a.pointFrequency - 1 : 0);
  } else if (auto* graph = dynamic_cast<QCPGraph*>(plottable)) {
    graph->setLineStyle(a.plotStyle == PlotStyle::Scatter ? QCPGraph::lsNone : QCPGraph::lsLine);
    graph->setScatterStyle(ScatterFor(a, color));
    graph->setScatterSkip(a.pointFrequency > 1 ? a.pointFrequency - 1 : 0);
    graph->setAdaptiveSampling(true);
  }
}

QCPAbstractPlottable* GraphWidget::MakePlottable(const PlotAttributes& a, bool keyOnY) {
  if (a.plotStyle == PlotStyle::VerticalBar) {
    const QColor color = ToColor(a.color);
    auto* bars = new QCPBars(xAxis, yAxis);
    bars->setWidthType(QCPBars::wtAbsolute);
    bars->setWidth(9);
    bars->setPen(QPen(color.darker(130), 1.0));
    bars->setBrush(color);
    return bars;
  }
  QCPAbstractPlottable* plottable = nullptr;
  if (keyOnY) {
    plottable = new QCPGraph(yAxis, xAxis);
  } else {
    plottable = new ProfileCurve(xAxis, yAxis);
  }
  StylePen(plottable, a);
  return plottable;
}

void GraphWidget::Append(Plot& plot, std::span<const double> x, std::span<const double> y) {
  if (auto* graph = dynamic_cast<QCPGraph*>(plot.plottable)) {
    const QSharedPointer<QCPGraphDataContainer> data = graph->data();
    double last = data->isEmpty() ? -std::numeric_limits<double>::infinity()
                                  : (data->constEnd() - 1)->key;
    bool inOrder = true;
    for (double v : y) {
      if (!(v >= last)) inOrder = false;
      last = v;
    }
    if (inOrder) {
      for (std::size_t i = 0; i < x.size(); ++i) graph->addData(y[i], x[i]);
      if (data->size() > kMaxPlotPoints + kTrimChunk) {
        data->removeBefore((data->constBegin() + (data->size() - kMaxPlotPoints))->key);
        // Close the gap at the front, so that later points reuse the room.
        data->squeeze(true, false);
      }
      return;
    }
    // Back in Y: the points so far move to a curve, which keeps any order.
    auto* curve = static_cast<QCPCurve*>(MakePlottable(plot.attributes, false));
    QVector<double> keys, values;
    keys.reserve(data->size());
    values.reserve(data->size());
    for (auto it = data->constBegin(); it != data->constEnd(); ++it) {
      keys.push_back(it->value);
      values.push_back(it->key);
    }
    curve->setData(keys, values);
    removePlottable(graph);
    plot.plottable = curve;
  }
  if (auto* curve = dynamic_cast<QCPCurve*>(plot.plottable)) {
    for (std::size_t i = 0; i < x.size(); ++i) curve->addData(x[i], y[i]);
    const QSharedPointer<QCPCurveDataContainer> data = curve->data();
    if (data->size() > kMaxPlotPoints + kTrimChunk) {
      data->removeBefore((data->constBegin() + (data->size() - kMaxPlotPoints))->t);
      data->squeeze(true, false);
    }
  } else if (auto* bars = dynamic_cast<QCPBars*>(plot.plottable)) {
    for (std::size_t i = 0; i < x.size(); ++i) bars->addData(x[i], y[i]);
  }
}

int GraphWidget::PlotXY(std::span<const double> x, std::span<const double> y,
                        const PlotAttributes& attributes) {
  if (x.empty() || x.size() != y.size()) return ui_status::kBadArgument;
  try {
    const bool continues = PlotContinuation::Continues(attributes);
    int handle = 0;
    if (x.size() == 2 && continues) handle = continuation_.Find(attributes, x[0], y[0]);
    if (auto it = plots_.find(handle); handle != 0 && it != plots_.end()) {
      Append(it->second, x.subspan(1), y.subspan(1));
    } else {
      // Segments start as a graph keyed on Y, and so do longer plots whose Y
      // rises (a trace against time drawn whole, which segments continue);
      // other plots are drawn as given.
      const bool keyOnY = continues && (x.size() == 2 || std::is_sorted(y.begin(), y.end()));
      Plot plot{MakePlottable(attributes, keyOnY), attributes};
      Append(plot, x, y);
      handle = nextPlot_++;
      plots_[handle] = plot;
    }
    if (continues) continuation_.SetEnd(handle, attributes, x.back(), y.back());
    RequestReplot();
    return handle;
  } catch (const std::bad_alloc&) {
    return ui_status::kOutOfMemory;
  }
}

int GraphWidget::DeletePlot(int plot) {
  if (plot == kAllPlots) {
    clearPlottables();
    plots_.clear();
    continuation_.Clear();
  } else {
    auto it = plots_.find(plot);
    if (it == plots_.end()) return ui_status::kBadArgument;
    removePlottable(it->second.plottable);
    plots_.erase(it);
    continuation_.Remove(plot);
  }
  RequestReplot();
  return 0;
}

std::vector<PlotState> GraphWidget::Plots() const {
  std::vector<PlotState> out;
  for (const auto& [handle, plot] : plots_) {
    PlotState state{plot.attributes, {}, {}};
    if (const auto* graph = dynamic_cast<const QCPGraph*>(plot.plottable)) {
      for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
        state.x.push_back(it->value);
        state.y.push_back(it->key);
      }
    } else if (const auto* curve = dynamic_cast<const QCPCurve*>(plot.plottable)) {
      for (auto it = curve->data()->constBegin(); it != curve->data()->constEnd(); ++it) {
        state.x.push_back(it->key);
        state.y.push_back(it->value);
      }
    } else if (const auto* bars = dynamic_cast<const QCPBars*>(plot.plottable)) {
      for (auto it = bars->data()->constBegin(); it != bars->data()->constEnd(); ++it) {
        state.x.push_back(it->key);
        state.y.push_back(it->value);
      }
    }
    out.push_back(std::move(state));
  }
  return out;
}

// --- StripWidget ---------------------------------------------------------------------------

StripWidget::StripWidget(QWidget* parent, const ControlSpec& spec) : PlotWidget(parent, spec) {
  xAxis->setTickLabels(false);
  pointsPerScreen_ = std::clamp(spec.points, 2, kMaxPointsPerScreen);
  SetTraceCount(spec.traces);
}

int StripWidget::SetTraceCount(int traces) {
  if (traces < 1 || traces > kMaxStripTraces) return ui_status::kBadArgument;
  clearPlottables();
  graphs_.clear();
  for (int k = 0; k < traces; ++k) {
    QCPGraph* graph = addGraph(xAxis, yAxis);
    graph->setAdaptiveSampling(true);
    graph->setPen(QPen(Qt::black, 1.2));
    graphs_.push_back(graph);
  }
  next_ = 0.0;
  ScrollTo();
  return 0;
}

int StripWidget::SetPointsPerScreen(int points) {
  if (points < 1) return ui_status::kBadArgument;
  pointsPerScreen_ = std::clamp(points, 2, kMaxPointsPerScreen);
  ScrollTo();
  return 0;
}

int StripWidget::SetTraceColor(int trace, int rgb) {
  if (trace < 0 || trace >= traceCount()) return ui_status::kBadArgument;
  QPen pen = graphs_[static_cast<std::size_t>(trace)]->pen();
  pen.setColor(ToColor(rgb));
  graphs_[static_cast<std::size_t>(trace)]->setPen(pen);
  RequestReplot();
  return 0;
}

int StripWidget::SetTraceVisible(int trace, bool on) {
  if (trace < 0 || trace >= traceCount()) return ui_status::kBadArgument;
  graphs_[static_cast<std::size_t>(trace)]->setVisible(on);
  RequestReplot();
  return 0;
}

void StripWidget::ScrollTo() {
  xAxis->setRange(next_ - pointsPerScreen_, next_);
  RequestReplot();
}

int StripWidget::Append(std::span<const double> points, int traces) {
  if (traces < 1 || points.size() % static_cast<std::size_t>(traces) != 0) {
    return ui_status::kBadArgument;
  }
  if (traces != traceCount() && SetTraceCount(traces) < 0) return ui_status::kBadArgument;
  try {
    const std::size_t count = points.size() / static_cast<std::size_t>(traces);
    for (std::size_t n = 0; n < count; ++n) {
      for (std::size_t k = 0; k < graphs_.size(); ++k) {
        graphs_[k]->addData(next_, points[n * graphs_.size() + k]);
      }
      next_ += 1.0;
    }
    // Keep one screen (and a little) of points.
    const double oldest = next_ - pointsPerScreen_ - 1.0;
    if (!graphs_.empty() && graphs_.front()->data()->size() > pointsPerScreen_ + pointsPerScreen_ / 8 + 2) {
      for (QCPGraph* graph : graphs_) {
        graph->data()->removeBefore(oldest);
        graph->data()->squeeze(true, false);
      }
    }
  } catch (const std::bad_alloc&) {
    return ui_status::kOutOfMemory;
  }
  ScrollTo();
  return 0;
}

void StripWidget::Clear() {
  for (QCPGraph* graph : graphs_) graph->data()->clear();
  next_ = 0.0;
  ScrollTo();
}

std::vector<double> StripWidget::Points() const {
  std::vector<double> out;
  if (graphs_.empty()) return out;
  const int count = graphs_.front()->data()->size();
  for (int n = 0; n < count; ++n) {
    for (QCPGraph* graph : graphs_) {
      const int size = graph->data()->size();
      out.push_back(n < size ? (graph->data()->constBegin() + n)->value : 0.0);
    }
  }
  return out;
}

}  // namespace sondrix::platform::qt
