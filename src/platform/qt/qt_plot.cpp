// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/qt_plot.h"

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <unordered_map>

namespace sondrix::platform::qt {
namespace {

// Axis divisions a user may ask for; more would only blacken the axis.
constexpr int kMaxDivisions = 100;
// Significant digits of tick labels (ApplyPrecision).
constexpr int kMinTickDigits = 6;
constexpr int kMaxTickDigits = 15;
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

ColorScheme gScheme = ColorScheme::Day;

void StyleAxis(QCPAxis* axis, const SchemeColors& colors) {
  const QColor ink = ToColor(colors.graphAxis);
  axis->setBasePen(QPen(ink, 0));
  axis->setTickPen(QPen(ink, 0));
  axis->setSubTickPen(QPen(ink, 0));
  axis->setTickLabelColor(ink);
  axis->setLabelColor(ink);
  axis->grid()->setPen(QPen(ToColor(colors.graphGrid), 1.0, Qt::DotLine));
  axis->grid()->setZeroLinePen(QPen(ToColor(colors.graphZeroLine), 1.0));
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

void SetPlotScheme(ColorScheme scheme) { gScheme = scheme; }
ColorScheme PlotScheme() { return gScheme; }
QColor ShownTraceColor(int rgb) {
  // Few colours, asked for again and again (a spectrum's plots are made
  // anew at every update).
  static std::unordered_map<int, int> shown[2];
  std::unordered_map<int, int>& cache = shown[gScheme == ColorScheme::Night ? 1 : 0];
  rgb &= 0xFFFFFF;
  auto it = cache.find(rgb);
  if (it == cache.end()) {
    if (cache.size() > 4096) cache.clear();
    it = cache.emplace(rgb, TraceColorOn(gScheme, rgb)).first;
  }
  return ToColor(it->second);
}

// --- PlotWidget ------------------------------------------------------------------------

PlotWidget::PlotWidget(QWidget* parent, const ControlSpec& spec) : QCustomPlot(parent) {
  setPlottingHints(QCP::phCacheLabels | QCP::phFastPolylines);
  setAutoAddPlottableToLegend(false);
  setNoAntialiasingOnDrag(true);
  setFocusPolicy(Qt::NoFocus);
  setBackground(QBrush(ToColor(ColorsOf(gScheme).graphBackground)));
  StyleAxis(xAxis, ColorsOf(gScheme));
  StyleAxis(yAxis, ColorsOf(gScheme));
  xAxis->setLabel(QString::fromStdString(spec.xLabel));
  yAxis->setLabel(QString::fromStdString(spec.yLabel));
  const double xMin = spec.xMin.value_or(0.0), xMax = spec.xMax.value_or(10.0);
  const double yMin = spec.yMin.value_or(0.0), yMax = spec.yMax.value_or(10.0);
  if (ValidRange(xMin, xMax)) xAxis->setRange(xMin, xMax);
  if (ValidRange(yMin, yMax)) yAxis->setRange(yMin, yMax);
  // Axis ranges that change keep fixed divisions at their count.
  connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] {
    ApplyDivisions(xAxis, xDivisions_);
    ApplyPrecision(xAxis);
  });
  connect(yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] {
    ApplyDivisions(yAxis, yDivisions_);
    ApplyPrecision(yAxis);
  });
  ApplyPrecision(xAxis);
  ApplyPrecision(yAxis);
  // Series are painted on a layer of their own, so that new points are put
  // on screen without drawing the axes again.
  addLayer(TraceCanvas::kLayer, layer("main"), QCustomPlot::limAbove);
  layer(TraceCanvas::kLayer)->setMode(QCPLayer::lmBuffered);
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

void PlotWidget::SetAxes(const AxisState& axes) {
  SetAxisRange(axes.xMode, axes.xMin, axes.xMax, axes.yMode, axes.yMin, axes.yMax);
}

AxisState PlotWidget::Axes() {
  AxisState axes;
  GetAxisRange(axes.xMode, axes.xMin, axes.xMax, axes.yMode, axes.yMin, axes.yMax);
  return axes;
}

int PlotWidget::WriteImage(const std::string& path, const GraphPicture* picture) {
  return picture != nullptr ? ExportImage(path, *picture) : SaveImage(path);
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

// Tick labels carry as many digits as the span shown needs: zoomed in to
// 1.0000002 ... 1.0000012 the ticks read 1.0000004, 1.0000006, ..., not "1"
// each. Six significant digits at least, fifteen at most (a double's own).
void PlotWidget::ApplyPrecision(QCPAxis* axis) {
  const QCPRange range = axis->range();
  const double span = range.size();
  const double magnitude = std::max(std::fabs(range.lower), std::fabs(range.upper));
  int digits = kMinTickDigits;
  if (span > 0.0 && magnitude > span && std::isfinite(magnitude / span)) {
    digits = std::clamp(static_cast<int>(std::ceil(std::log10(magnitude / span))) + 3, kMinTickDigits,
                        kMaxTickDigits);
  }
  if (axis->numberPrecision() != digits) axis->setNumberPrecision(digits);
}

void PlotWidget::SetDivisions(bool onX, int divisions) {
  (onX ? xDivisions_ : yDivisions_) = divisions < 1 ? -1 : divisions;
  ApplyDivisions(onX ? xAxis : yAxis, onX ? xDivisions_ : yDivisions_);
  RequestReplot();
}

void PlotWidget::SetAutoRefresh(bool on) {
  autoRefresh_ = on;
  if (on && (dirty_ || tracesDirty_)) Schedule();
}

void PlotWidget::SetYReverse(bool on) {
  if (yAxis->rangeReversed() == on) return;
  yAxis->setRangeReversed(on);
  RequestReplot();
}

void PlotWidget::RequestReplot() {
  dirty_ = true;
  Schedule();
}

void PlotWidget::RequestTracesReplot() {
  tracesDirty_ = true;
  Schedule();
}

void PlotWidget::Schedule() {
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
  if ((!dirty_ && !tracesDirty_) || !isVisible()) return;  // a hidden control redraws when shown
  QElapsedTimer took;
  took.start();
  const QCPRange x = xAxis->range(), y = yAxis->range();
  Autoscale();
  // New points alone, within the axes: only the canvas's layer.
  if (!dirty_ && canvas_ != nullptr && xAxis->range() == x && yAxis->range() == y) {
    canvas_->ReplotLayer();
  } else {
    replot(QCustomPlot::rpQueuedRefresh);
  }
  lastReplotMs_ = took.elapsed();
  replotNs_ += took.nsecsElapsed();
  dirty_ = false;
  tracesDirty_ = false;
  ++replots_;
  sinceReplot_.restart();
}

void PlotWidget::ReplotNow() {
  Autoscale();
  replot(QCustomPlot::rpImmediateRefresh);
  dirty_ = false;
  tracesDirty_ = false;
  ++replots_;
  sinceReplot_.restart();
}

void PlotWidget::ApplyScheme() {
  const SchemeColors& colors = ColorsOf(gScheme);
  setBackground(QBrush(ToColor(colors.graphBackground)));
  StyleAxis(xAxis, colors);
  StyleAxis(yAxis, colors);
  Recolor();
  RequestReplot();
}

void PlotWidget::showEvent(QShowEvent* event) {
  QCustomPlot::showEvent(event);
  if (dirty_ || tracesDirty_) Refresh();
}

int PlotWidget::SaveImage(const std::string& path) {
  ReplotNow();
  const QString name = QString::fromStdString(path);
  const bool ok = name.endsWith(".pdf", Qt::CaseInsensitive)
                      ? savePdf(name)
                      : savePng(name, 0, 0, std::max(1.0, devicePixelRatioF()));
  return ok ? 0 : ui_status::kFileError;
}

namespace {

// The legend of an exported picture: one entry per line, a swatch of the
// trace's colour and its name, in as many columns as the graph's height
// needs.
struct LegendLayout {
  int lineHeight = 0;
  int swatch = 0;
  int columnWidth = 0;
  int rows = 0;
  int columns = 0;
  int width() const { return columns * columnWidth; }
};

constexpr int kPictureMargin = 10;

LegendLayout LayOutLegend(const QFontMetrics& metrics, const std::vector<GraphLegendEntry>& legend,
                          int height) {
  LegendLayout layout;
  if (legend.empty()) return layout;
  layout.lineHeight = metrics.height() + 4;
  layout.swatch = 2 * metrics.height();
  int text = 0;
  for (const GraphLegendEntry& entry : legend) {
    text = std::max(text, metrics.horizontalAdvance(QString::fromStdString(entry.name)));
  }
  layout.columnWidth = layout.swatch + text + 3 * kPictureMargin;
  const int count = static_cast<int>(legend.size());
  layout.rows = std::max(1, std::min(count, (height - 2 * kPictureMargin) / std::max(layout.lineHeight, 1)));
  layout.columns = (count + layout.rows - 1) / layout.rows;
  return layout;
}

}  // namespace

int PlotWidget::ExportImage(const std::string& path, const GraphPicture& picture) {
  const int plotWidth = std::max(width(), 320);
  const int plotHeight = std::max(height(), 240);
  QFont titleFont = font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(font().pointSizeF() * 1.25);
  const QFontMetrics titleMetrics(titleFont);
  const QFontMetrics metrics(font());
  const LegendLayout legend = LayOutLegend(metrics, picture.legend, plotHeight);
  const int pictureWidth = plotWidth + legend.width();
  const QString title = QString::fromStdString(picture.title);
  const QRect titleBox = title.isEmpty()
                             ? QRect()
                             : titleMetrics.boundingRect(QRect(0, 0, pictureWidth - 2 * kPictureMargin, 10000),
                                                         Qt::AlignHCenter | Qt::TextWordWrap, title);
  const int titleHeight = title.isEmpty() ? 0 : titleBox.height() + 2 * kPictureMargin;
  const int pictureHeight = titleHeight + plotHeight;

  // The picture's captions, for the picture only.
  const QString xLabel = xAxis->label();
  const QString yLabel = yAxis->label();
  if (!picture.xName.empty()) xAxis->setLabel(QString::fromStdString(picture.xName));
  if (!picture.yName.empty()) yAxis->setLabel(QString::fromStdString(picture.yName));
  Autoscale();

  auto paint = [&](QCPPainter& painter) {
    painter.fillRect(QRect(0, 0, pictureWidth, pictureHeight), Qt::white);
    if (!title.isEmpty()) {
      painter.setFont(titleFont);
      painter.setPen(Qt::black);
      painter.drawText(QRect(kPictureMargin, kPictureMargin, pictureWidth - 2 * kPictureMargin, titleBox.height()),
                       Qt::AlignHCenter | Qt::TextWordWrap, title);
    }
    painter.save();
    painter.translate(0, titleHeight);
    toPainter(&painter, plotWidth, plotHeight);
    painter.restore();
    painter.setFont(font());
    for (std::size_t i = 0; i < picture.legend.size(); ++i) {
      const GraphLegendEntry& entry = picture.legend[i];
      const int row = static_cast<int>(i) % legend.rows;
      const int column = static_cast<int>(i) / legend.rows;
      const int left = plotWidth + column * legend.columnWidth + kPictureMargin;
      const int top = titleHeight + kPictureMargin + row * legend.lineHeight;
      if (entry.color >= 0) {
        const QColor color = ToColor(entry.color);
        const QRect swatch(left, top + legend.lineHeight / 2 - 3, legend.swatch, 6);
        QColor fill = color;
        if (entry.hollow) fill.setAlpha(0x40);
        painter.fillRect(swatch, fill);
        painter.setPen(QPen(entry.hollow ? color : color.darker(140), entry.hollow ? 1.5 : 1.0));
        painter.drawRect(swatch);
      }
      painter.setPen(Qt::black);
      painter.drawText(QRect(left + legend.swatch + kPictureMargin, top, legend.columnWidth, legend.lineHeight),
                       Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(entry.name));
    }
  };

  bool ok = false;
  const QString name = QString::fromStdString(path);
  if (name.endsWith(".pdf", Qt::CaseInsensitive)) {
    QPdfWriter writer(name);
    writer.setResolution(72);
    writer.setPageLayout(QPageLayout(QPageSize(QSizeF(pictureWidth, pictureHeight), QPageSize::Point,
                                               QString(), QPageSize::ExactMatch),
                                     QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    QCPPainter painter;
    if (painter.begin(&writer)) {
      painter.setMode(QCPPainter::pmVectorized);
      painter.setMode(QCPPainter::pmNoCaching);
      paint(painter);
      ok = painter.end();
    }
  } else {
    const double ratio = std::max(1.0, devicePixelRatioF());
    QImage image(QSize(qRound(pictureWidth * ratio), qRound(pictureHeight * ratio)), QImage::Format_ARGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QCPPainter painter;
    if (painter.begin(&image)) {
      painter.setRenderHint(QPainter::Antialiasing);
      paint(painter);
      painter.end();
      ok = image.save(name, "PNG");
    }
  }

  xAxis->setLabel(xLabel);
  yAxis->setLabel(yLabel);
  RequestReplot();
  return ok ? 0 : ui_status::kFileError;
}

// --- GraphWidget ------------------------------------------------------------------------

GraphWidget::GraphWidget(QWidget* parent, const ControlSpec& spec)
    : PlotWidget(parent, spec), keys_(std::make_shared<KeyColumn>(kMaxPlotPoints)) {
  canvas_ = new TraceCanvas(this, yAxis, xAxis);
}

void GraphWidget::StylePen(QCPAbstractPlottable* plottable, const PlotAttributes& a) {
  const QColor color = ShownTraceColor(a.color);
  // A pen of one pixel takes the rasteriser's fast path.
  QPen pen(color, a.plotStyle == PlotStyle::FatLine ? 2.5 : 1.0, PenStyleFor(a.lineStyle));
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::BevelJoin);
  plottable->setPen(pen);
  if (auto* bars = dynamic_cast<QCPBars*>(plottable)) {
    if (a.pointStyle == PointStyle::EmptySquare) {
      // A hollow bar: its outline in the colour, a pale fill.
      QColor pale = color;
      pale.setAlpha(0x40);
      bars->setPen(QPen(color, 1.5));
      bars->setBrush(pale);
    } else {
      bars->setPen(QPen(color.darker(130), 1.0));
      bars->setBrush(color);
    }
  } else if (auto* curve = dynamic_cast<QCPCurve*>(plottable)) {
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
    auto* bars = new QCPBars(xAxis, yAxis);
    bars->setWidthType(QCPBars::wtAbsolute);
    bars->setWidth(9);
    StylePen(bars, a);
    return bars;
  }
  QCPAbstractPlottable* plottable = nullptr;
  // A thin solid line without markers: what the canvas draws.
  const bool series = a.plotStyle == PlotStyle::ThinLine && a.lineStyle == LineStyle::Solid && a.pointFrequency == 0;
  if (keyOnY && series) {
    plottable = new SeriesPlottable(yAxis, xAxis, keys_);
  } else if (keyOnY) {
    plottable = new QCPGraph(yAxis, xAxis);
  } else {
    plottable = new ProfileCurve(xAxis, yAxis);
  }
  StylePen(plottable, a);
  return plottable;
}

void GraphWidget::MakeCurve(Plot& plot, const QVector<double>& x, const QVector<double>& y) {
  auto* curve = static_cast<QCPCurve*>(MakePlottable(plot.attributes, false));
  curve->setData(x, y);
  removePlottable(plot.plottable);
  plot.plottable = curve;
}

void GraphWidget::Append(Plot& plot, std::span<const double> x, std::span<const double> y) {
  if (auto* plottable = dynamic_cast<SeriesPlottable*>(plot.plottable)) {
    TraceSeries& series = plottable->series();
    std::size_t i = 0;
    while (i < x.size() && series.Append(y[i], x[i])) ++i;
    if (i == x.size()) return;
    // Back in Y: the points so far move to a curve, which keeps any order.
    QVector<double> xs, ys;
    xs.reserve(static_cast<qsizetype>(series.size()));
    ys.reserve(static_cast<qsizetype>(series.size()));
    for (std::size_t k = 0; k < series.size(); ++k) {
      xs.push_back(series.Value(k));
      ys.push_back(series.Key(k));
    }
    MakeCurve(plot, xs, ys);
    x = x.subspan(i);
    y = y.subspan(i);
  } else if (auto* graph = dynamic_cast<QCPGraph*>(plot.plottable)) {
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
    QVector<double> xs, ys;
    xs.reserve(data->size());
    ys.reserve(data->size());
    for (auto it = data->constBegin(); it != data->constEnd(); ++it) {
      xs.push_back(it->value);
      ys.push_back(it->key);
    }
    MakeCurve(plot, xs, ys);
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

int GraphWidget::Draw(int handle, bool continued, std::span<const double> x, std::span<const double> y,
                      const PlotAttributes& attributes) {
  try {
    if (auto it = plots_.find(handle); continued && it != plots_.end()) {
      Append(it->second, x.subspan(1), y.subspan(1));
      // A series grown by points: only the pixels they cross.
      if (dynamic_cast<SeriesPlottable*>(it->second.plottable) != nullptr) {
        RequestTracesReplot();
        return 0;
      }
    } else {
      // Segments start as a graph keyed on Y, and so do longer plots whose Y
      // rises (a trace against time drawn whole, which segments continue);
      // other plots are drawn as given.
      const bool keyOnY =
          PlotContinuation::Continues(attributes) && (x.size() == 2 || std::is_sorted(y.begin(), y.end()));
      Plot plot{MakePlottable(attributes, keyOnY), attributes};
      Append(plot, x, y);
      if (auto* bars = dynamic_cast<QCPBars*>(plot.plottable)) GroupBars(bars, x);
      plots_[handle] = plot;
    }
    RequestReplot();
    return 0;
  } catch (const std::bad_alloc&) {
    return ui_status::kOutOfMemory;
  }
}

void GraphWidget::Recolor() {
  for (auto& [handle, plot] : plots_) StylePen(plot.plottable, plot.attributes);
}

// Bars of one wavelength (plots whose points all share one X) stand side by
// side, a pixel apart, instead of on top of each other: an absorption bar
// and an attenuation bar of the same colour are both seen. A bar alone at
// its X stays centred on it.
void GraphWidget::GroupBars(QCPBars* bars, std::span<const double> x) {
  if (x.empty() || !std::isfinite(x[0])) return;
  for (double key : x) {
    if (key != x[0]) return;
  }
  QPointer<QCPBarsGroup>& group = barGroups_[x[0]];
  if (group.isNull()) {
    group = new QCPBarsGroup(this);
    group->setSpacingType(QCPBarsGroup::stAbsolute);
    group->setSpacing(1.0);
  }
  group->append(bars);
}

void GraphWidget::DeletePlot(int plot) {
  if (plot == kAllPlots) {
    clearPlottables();
    plots_.clear();
    keys_ = std::make_shared<KeyColumn>(kMaxPlotPoints);
    for (auto& [key, group] : barGroups_) delete group.data();
    barGroups_.clear();
  } else if (auto it = plots_.find(plot); it != plots_.end()) {
    removePlottable(it->second.plottable);
    plots_.erase(it);
  }
  RequestReplot();
}

std::vector<PlotState> GraphWidget::Plots() const {
  std::vector<PlotState> out;
  for (const auto& [handle, plot] : plots_) {
    PlotState state{plot.attributes, {}, {}};
    if (const auto* series = dynamic_cast<const SeriesPlottable*>(plot.plottable)) {
      for (std::size_t i = 0; i < series->series().size(); ++i) {
        state.x.push_back(series->series().Value(i));
        state.y.push_back(series->series().Key(i));
      }
    } else if (const auto* graph = dynamic_cast<const QCPGraph*>(plot.plottable)) {
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
  canvas_ = new TraceCanvas(this, xAxis, yAxis);
  xAxis->setTickLabels(false);
  pointsPerScreen_ = std::clamp(spec.points, 2, kMaxPointsPerScreen);
  SetTraceCount(spec.traces);
}

// The traces that stay keep their colour and visibility: a chart given
// another number of traces (a recalled state, points of another width) does
// not turn its traces black.
int StripWidget::SetTraceCount(int traces) {
  if (traces < 1 || traces > kMaxStripTraces) return ui_status::kBadArgument;
  std::vector<bool> kept;
  for (const SeriesPlottable* graph : graphs_) kept.push_back(graph->visible());
  clearPlottables();
  graphs_.clear();
  colors_.resize(static_cast<std::size_t>(traces), 0x000000);
  // One screen of points (and one more, where the line comes in), shared.
  keys_ = std::make_shared<KeyColumn>(pointsPerScreen_ + 1, pointsPerScreen_ + 1);
  for (int k = 0; k < traces; ++k) {
    auto* graph = new SeriesPlottable(xAxis, yAxis, keys_);
    graph->setPen(QPen(ShownTraceColor(colors_[static_cast<std::size_t>(k)]), 1.0));
    if (static_cast<std::size_t>(k) < kept.size()) graph->setVisible(kept[static_cast<std::size_t>(k)]);
    graphs_.push_back(graph);
  }
  next_ = 0.0;
  ScrollTo();
  return 0;
}

int StripWidget::SetPointsPerScreen(int points) {
  if (points < 1) return ui_status::kBadArgument;
  pointsPerScreen_ = std::clamp(points, 2, kMaxPointsPerScreen);
  if (keys_) keys_->SetLimits(pointsPerScreen_ + 1, pointsPerScreen_ + 1);
  ScrollTo();
  return 0;
}

int StripWidget::SetTraceColor(int trace, int rgb) {
  if (trace < 0 || trace >= traceCount()) return ui_status::kBadArgument;
  colors_[static_cast<std::size_t>(trace)] = rgb & 0xFFFFFF;
  QPen pen = graphs_[static_cast<std::size_t>(trace)]->pen();
  pen.setColor(ShownTraceColor(rgb));
  graphs_[static_cast<std::size_t>(trace)]->setPen(pen);
  RequestReplot();
  return 0;
}

int StripWidget::TraceColor(int trace) const {
  return trace >= 0 && trace < traceCount() ? colors_[static_cast<std::size_t>(trace)] : 0;
}

void StripWidget::Recolor() {
  for (std::size_t k = 0; k < graphs_.size(); ++k) {
    QPen pen = graphs_[k]->pen();
    pen.setColor(ShownTraceColor(colors_[k]));
    graphs_[k]->setPen(pen);
  }
}

bool StripWidget::TraceVisible(int trace) const {
  return trace < 0 || trace >= traceCount() || graphs_[static_cast<std::size_t>(trace)]->visible();
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
    // The column the traces share keeps one screen (and a little).
    const std::size_t count = points.size() / static_cast<std::size_t>(traces);
    for (std::size_t n = 0; n < count; ++n) {
      for (std::size_t k = 0; k < graphs_.size(); ++k) {
        graphs_[k]->series().Append(next_, points[n * graphs_.size() + k]);
      }
      next_ += 1.0;
    }
  } catch (const std::bad_alloc&) {
    return ui_status::kOutOfMemory;
  }
  ScrollTo();
  return 0;
}

void StripWidget::Clear() { SetTraceCount(traceCount()); }

std::vector<double> StripWidget::Points() const {
  std::vector<double> out;
  if (graphs_.empty()) return out;
  const std::size_t count = graphs_.front()->series().size();
  for (std::size_t n = 0; n < count; ++n) {
    for (const SeriesPlottable* graph : graphs_) {
      const TraceSeries& series = graph->series();
      out.push_back(n < series.size() ? series.Value(n) : 0.0);
    }
  }
  return out;
}

}  // namespace sondrix::platform::qt
