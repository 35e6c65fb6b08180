// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/qt_plot.h"

#include <QImage>
#include <QMouseEvent>
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

std::shared_ptr<const ColorLook> gLook;

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

// A curve drawn as the screen can show it (WithinPixels): a long profile
// whose points crowd the same pixels costs what its picture costs.
class ProfileCurve : public QCPCurve {
 public:
  using QCPCurve::QCPCurve;

 protected:
  void drawCurveLine(QCPPainter* painter, const QVector<QPointF>& lines) const override {
    QCPCurve::drawCurveLine(painter, lines.size() < 4 ? lines : WithinPixels(lines));
  }
};

// Ticks at round times, as the axis's time scale places and labels them;
// about one per 90 pixels of the axis.
class TimeTicker : public QCPAxisTicker {
 public:
  TimeTicker(QCPAxis* axis, std::shared_ptr<const TimeScale> scale) : axis_(axis), scale_(std::move(scale)) {}

  void generate(const QCPRange& range, const QLocale&, QChar, int, QVector<double>& ticks, QVector<double>* subTicks,
                QVector<QString>* tickLabels) override {
    const int length = axis_->orientation() == Qt::Horizontal ? axis_->axisRect()->width()
                                                                : axis_->axisRect()->height();
    const int most = std::clamp(length / 90, 2, 12);
    ticks.clear();
    if (subTicks != nullptr) subTicks->clear();
    if (tickLabels != nullptr) tickLabels->clear();
    for (const TimeTick& tick : scale_->Ticks(range.lower, range.upper, most)) {
      ticks.push_back(tick.key);
      if (tickLabels != nullptr) tickLabels->push_back(QString::fromStdString(tick.label));
    }
  }

 private:
  QCPAxis* axis_;
  std::shared_ptr<const TimeScale> scale_;
};

// The entry of `plottable` nearest to `key` in its keys: its key and value.
std::optional<std::pair<double, double>> NearestEntry(const QCPAbstractPlottable* plottable, double key) {
  std::optional<std::pair<double, double>> best;
  const auto take = [&](double k, double v) {
    if (!std::isfinite(k) || !std::isfinite(v)) return;
    if (!best || std::fabs(k - key) < std::fabs(best->first - key)) best = {k, v};
  };
  if (const auto* curve = dynamic_cast<const CurvePlottable*>(plottable)) {
    const Curve& c = curve->curve();
    const std::size_t n = c.size();
    if (c.KeysRise()) {
      const std::size_t i = c.LowerBound(key, 0);
      if (i < n) take(c.Key(i), c.Value(i));
      if (i > 0) take(c.Key(i - 1), c.Value(i - 1));
    } else {
      for (std::size_t i = 0; i < n; ++i) take(c.Key(i), c.Value(i));
    }
    return best;
  }
  const auto nearest = [&](const auto& data) {
    if (data->isEmpty()) return;
    auto it = data->findBegin(key, false);
    if (it != data->constEnd()) take(it->mainKey(), it->mainValue());
    if (it != data->constBegin()) take((it - 1)->mainKey(), (it - 1)->mainValue());
  };
  if (const auto* graph = dynamic_cast<const QCPGraph*>(plottable)) nearest(graph->data());
  if (const auto* bars = dynamic_cast<const QCPBars*>(plottable)) nearest(bars->data());
  if (const auto* curve = dynamic_cast<const QCPCurve*>(plottable)) {
    for (auto it = curve->data()->constBegin(); it != curve->data()->constEnd(); ++it) take(it->key, it->value);
  }
  return best;
}

}  // namespace

QColor ToColor(int rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// Few colours, asked for again and again (a spectrum's plots are made anew
// at every update): each as the look draws it, until the look changes.
std::unordered_map<int, int>& ShownColors() {
  static std::unordered_map<int, int> shown;
  return shown;
}

void SetPlotLook(std::shared_ptr<const ColorLook> look) {
  gLook = std::move(look);
  ShownColors().clear();
}
const ColorLook& PlotLook() { return gLook ? *gLook : PlainLook(); }
QColor ShownTraceColor(int rgb) {
  std::unordered_map<int, int>& cache = ShownColors();
  rgb &= 0xFFFFFF;
  auto it = cache.find(rgb);
  if (it == cache.end()) {
    if (cache.size() > 4096) cache.clear();
    it = cache.emplace(rgb, PlotLook().TraceColor(rgb)).first;
  }
  return ToColor(it->second);
}

// --- PlotWidget ------------------------------------------------------------------------

PlotWidget::PlotWidget(QWidget* parent, const ControlSpec& spec) : QCustomPlot(parent) {
  setPlottingHints(QCP::phCacheLabels | QCP::phFastPolylines);
  setAutoAddPlottableToLegend(false);
  setNoAntialiasingOnDrag(true);
  setFocusPolicy(Qt::NoFocus);
  // The cursor reads the traces under the pointer.
  setMouseTracking(true);
  setBackground(QBrush(ToColor(PlotLook().colors().graphBackground)));
  StyleAxis(xAxis, PlotLook().colors());
  StyleAxis(yAxis, PlotLook().colors());
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
  // A time axis ticks at round times, whatever its divisions.
  if ((axis == xAxis ? xTime_ : yTime_) != nullptr) return;
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

void PlotWidget::SetKeyBands(bool onX, const std::vector<KeyBand>& bands) {
  for (QCPItemRect* band : bands_) removeItem(band);
  bands_.clear();
  for (const KeyBand& b : bands) {
    auto* rect = new QCPItemRect(this);
    // On the background layer, after the axis rectangle's fill: beneath
    // the grid and every plot.
    rect->setLayer(QStringLiteral("background"));
    rect->setClipToAxisRect(true);
    for (QCPItemPosition* corner : {rect->topLeft, rect->bottomRight}) {
      corner->setAxes(xAxis, yAxis);
      corner->setAxisRect(axisRect());
      corner->setTypeX(onX ? QCPItemPosition::ptPlotCoords : QCPItemPosition::ptAxisRectRatio);
      corner->setTypeY(onX ? QCPItemPosition::ptAxisRectRatio : QCPItemPosition::ptPlotCoords);
    }
    rect->topLeft->setCoords(onX ? b.from : 0.0, onX ? 0.0 : b.to);
    rect->bottomRight->setCoords(onX ? b.to : 1.0, onX ? 1.0 : b.from);
    QColor colour(QRgb(static_cast<unsigned>(b.rgb) & 0xFFFFFFu));
    colour.setAlpha(56);
    rect->setPen(Qt::NoPen);
    rect->setBrush(colour);
    bands_.push_back(rect);
  }
  RequestReplot();
}

void PlotWidget::SetTimeScale(bool onX, std::shared_ptr<const TimeScale> scale, const std::string& label) {
  QCPAxis* axis = onX ? xAxis : yAxis;
  axis->setLabel(QString::fromStdString(label));
  (onX ? xTime_ : yTime_) = scale;
  if (scale != nullptr) {
    axis->setTicker(QSharedPointer<QCPAxisTicker>(new TimeTicker(axis, std::move(scale))));
    axis->setTickLabels(true);
  } else {
    axis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    ApplyDivisions(axis, onX ? xDivisions_ : yDivisions_);
    // A strip chart's time axis has no numbers of its own.
    if (onX && dynamic_cast<StripWidget*>(this) != nullptr) axis->setTickLabels(false);
  }
  RequestReplot();
}

// --- The cursor -----------------------------------------------------------------------------------

std::optional<PlotWidget::Readout> PlotWidget::ReadAt(const QPointF& at) {
  if (!axisRect()->rect().contains(at.toPoint())) return std::nullopt;
  // The entry nearest in keys of all traces, then every trace that has an
  // entry there (the traces of one run share their keys; the bars of one
  // wavelength stand at it).
  struct Found {
    const QCPAbstractPlottable* plottable;
    double key, value;
  };
  std::vector<Found> found;
  const QCPAxis* keyAxis = nullptr;
  double bestDistance = std::numeric_limits<double>::infinity();
  for (int i = 0; i < plottableCount(); ++i) {
    const QCPAbstractPlottable* p = plottable(i);
    if (!p->visible()) continue;
    const QCPAxis* axis = p->keyAxis();
    const double key = axis->pixelToCoord(axis->orientation() == Qt::Horizontal ? at.x() : at.y());
    const std::optional<std::pair<double, double>> entry = NearestEntry(p, key);
    if (!entry) continue;
    found.push_back({p, entry->first, entry->second});
    const double distance = std::fabs(axis->coordToPixel(entry->first) - axis->coordToPixel(key));
    if (distance < bestDistance) {
      bestDistance = distance;
      keyAxis = axis;
    }
  }
  if (keyAxis == nullptr) return std::nullopt;
  double bestKey = 0.0;
  bestDistance = std::numeric_limits<double>::infinity();
  for (const Found& f : found) {
    if (f.plottable->keyAxis() != keyAxis) continue;
    const double key = keyAxis->pixelToCoord(keyAxis->orientation() == Qt::Horizontal ? at.x() : at.y());
    if (std::fabs(f.key - key) < bestDistance) {
      bestDistance = std::fabs(f.key - key);
      bestKey = f.key;
    }
  }
  Readout readout;
  const double tolerance = 1e-9 * std::max(1.0, std::fabs(bestKey));
  for (const Found& f : found) {
    if (f.plottable->keyAxis() != keyAxis || std::fabs(f.key - bestKey) > tolerance) continue;
    QColor color = f.plottable->pen().color();
    if (const auto* bars = dynamic_cast<const QCPBars*>(f.plottable)) color = bars->pen().color();
    readout.values.emplace_back(color, f.value);
  }
  const std::shared_ptr<const TimeScale> time = keyAxis == xAxis ? xTime_ : keyAxis == yAxis ? yTime_ : nullptr;
  if (time != nullptr) {
    readout.key = QString::fromStdString(time->Read(bestKey));
  } else {
    QString caption = keyAxis->label();
    if (caption.isEmpty()) caption = keyAxis == xAxis ? "X" : "Y";
    readout.key = caption + ": " + QString::number(bestKey, 'g', 7);
  }
  return readout;
}

void PlotWidget::mouseMoveEvent(QMouseEvent* event) {
  QCustomPlot::mouseMoveEvent(event);
  const QPointF at = event->position();
  const std::optional<Readout> readout = ReadAt(at);
  if (!readout) {
    if (cursor_ != nullptr) cursor_->hide();
    return;
  }
  if (cursor_ == nullptr) {
    cursor_ = new QLabel(this);
    cursor_->setTextFormat(Qt::RichText);
    cursor_->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  // In the graph's own colours (the night palette's too), over the traces.
  const SchemeColors& colors = PlotLook().colors();
  const QColor back = ToColor(colors.graphBackground);
  const QString style = (QString("QLabel { background-color: rgba(%1, %2, %3, 235); color: %4; border: 1px solid %5; "
                                 "padding: 3px; }")
                             .arg(back.red())
                             .arg(back.green())
                             .arg(back.blue())
                             .arg(ToColor(colors.graphAxis).name(), ToColor(colors.graphGrid).name()));
  if (cursor_->styleSheet() != style) cursor_->setStyleSheet(style);
  // At most a dozen values; the rest are counted.
  constexpr std::size_t kMostLines = 12;
  QString text = "<b>" + readout->key.toHtmlEscaped() + "</b>";
  for (std::size_t k = 0; k < readout->values.size() && k < kMostLines; ++k) {
    const auto& [color, value] = readout->values[k];
    text += QString("<br><span style=\"color:%1\">&#9632;</span> %2").arg(color.name(), QString::number(value, 'f', 4));
  }
  if (readout->values.size() > kMostLines)
    text += QString("<br>and %1 more").arg(static_cast<qulonglong>(readout->values.size() - kMostLines));
  cursor_->setText(text);
  cursor_->adjustSize();
  // Beside the pointer, kept within the widget.
  QPoint place = at.toPoint() + QPoint(16, 16);
  if (place.x() + cursor_->width() > width()) place.setX(at.toPoint().x() - 16 - cursor_->width());
  if (place.y() + cursor_->height() > height()) place.setY(at.toPoint().y() - 16 - cursor_->height());
  cursor_->move(std::max(place.x(), 0), std::max(place.y(), 0));
  cursor_->show();
  cursor_->raise();
}

void PlotWidget::leaveEvent(QEvent* event) {
  QCustomPlot::leaveEvent(event);
  if (cursor_ != nullptr) cursor_->hide();
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
  const SchemeColors& colors = PlotLook().colors();
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

  // The picture's colours and captions, for the picture only.
  const std::shared_ptr<const ColorLook> worn = gLook;
  if (picture.look && picture.look != worn) {
    SetPlotLook(picture.look);
    ApplyScheme();
  }
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
  if (gLook != worn) {
    SetPlotLook(worn);
    ApplyScheme();
  }
  RequestReplot();
  return ok ? 0 : ui_status::kFileError;
}

// --- GraphWidget ------------------------------------------------------------------------

GraphWidget::GraphWidget(QWidget* parent, const ControlSpec& spec) : PlotWidget(parent, spec) {
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
  if (keyOnY) {
    plottable = new QCPGraph(yAxis, xAxis);
  } else {
    plottable = new ProfileCurve(xAxis, yAxis);
  }
  StylePen(plottable, a);
  return plottable;
}

int GraphWidget::Draw(int handle, std::span<const double> x, std::span<const double> y,
                      const PlotAttributes& attributes) {
  try {
    // Points whose Y rises (a trace against time) are a graph keyed on Y;
    // others are drawn as given.
    const bool keyOnY = attributes.plotStyle != PlotStyle::VerticalBar &&
                        std::is_sorted(y.begin(), y.end()) && std::none_of(y.begin(), y.end(), [](double v) {
                          return std::isnan(v);
                        });
    Plot plot{MakePlottable(attributes, keyOnY), attributes, std::nullopt};
    if (auto* graph = dynamic_cast<QCPGraph*>(plot.plottable)) {
      QVector<double> keys(y.begin(), y.end()), values(x.begin(), x.end());
      graph->setData(keys, values, true);
    } else if (auto* curve = dynamic_cast<QCPCurve*>(plot.plottable)) {
      curve->setData(QVector<double>(x.begin(), x.end()), QVector<double>(y.begin(), y.end()));
    } else if (auto* bars = dynamic_cast<QCPBars*>(plot.plottable)) {
      for (std::size_t i = 0; i < x.size(); ++i) bars->addData(x[i], y[i]);
      GroupBars(bars, x);
    }
    plots_[handle] = std::move(plot);
    RequestReplot();
    return 0;
  } catch (const std::bad_alloc&) {
    return ui_status::kOutOfMemory;
  }
}

int GraphWidget::DrawCurve(int handle, std::shared_ptr<const Curve> curve, CurveKeys keys,
                           const PlotAttributes& attributes) {
  try {
    const bool onY = keys == CurveKeys::OnY;
    CurvePlot record(curve, keys, attributes);
    auto* plottable = new CurvePlottable(onY ? yAxis : xAxis, onY ? xAxis : yAxis, std::move(curve), onY);
    StylePen(plottable, attributes);
    plots_[handle] = Plot{plottable, attributes, std::move(record)};
    RequestReplot();
    return 0;
  } catch (const std::bad_alloc&) {
    return ui_status::kOutOfMemory;
  }
}

// Curves on the canvas that grew put only their new points on screen; a
// curve drawn as a line through its points draws the graph again.
void GraphWidget::CurvesChanged() {
  bool whole = false;
  for (auto& [handle, plot] : plots_) {
    if (!plot.curve) continue;
    plot.curve->Update();
    if (!static_cast<const CurvePlottable*>(plot.plottable)->OnCanvas()) whole = true;
  }
  if (whole) {
    RequestReplot();
  } else {
    RequestTracesReplot();
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
    if (plot.curve) {
      out.push_back(plot.curve->State());
      continue;
    }
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
  canvas_ = new TraceCanvas(this, xAxis, yAxis);
  xAxis->setTickLabels(false);
  pointsPerScreen_ = std::clamp(spec.points, 2, kMaxPointsPerScreen);
  SetTraceCount(spec.traces);
}

// The traces that stay keep their colour and visibility: a chart given
// another number of traces (a recalled state, points of another width) does
// not turn its traces black.
void StripWidget::MakeTraces(int traces, std::span<const std::shared_ptr<const Curve>> curves) {
  std::vector<bool> kept;
  for (const QCPAbstractPlottable* trace : traces_) kept.push_back(trace->visible());
  clearPlottables();
  traces_.clear();
  curves_.assign(curves.begin(), curves.end());
  colors_.resize(static_cast<std::size_t>(traces), 0x000000);
  for (int k = 0; k < traces; ++k) {
    const auto index = static_cast<std::size_t>(k);
    QCPAbstractPlottable* trace = nullptr;
    if (index < curves_.size()) {
      trace = new CurvePlottable(xAxis, yAxis, curves_[index], true);
    } else {
      auto* graph = new QCPGraph(xAxis, yAxis);
      graph->setAdaptiveSampling(true);
      trace = graph;
    }
    trace->setPen(QPen(ShownTraceColor(colors_[index]), 1.0));
    if (index < kept.size()) trace->setVisible(kept[index]);
    traces_.push_back(trace);
  }
  next_ = 0.0;
  ScrollTo();
}

int StripWidget::SetTraceCount(int traces) {
  if (traces < 1 || traces > kMaxStripTraces) return ui_status::kBadArgument;
  MakeTraces(traces, {});
  return 0;
}

int StripWidget::SetCurves(std::span<const std::shared_ptr<const Curve>> curves) {
  if (curves.empty() || curves.size() > static_cast<std::size_t>(kMaxStripTraces)) return ui_status::kBadArgument;
  try {
    MakeTraces(static_cast<int>(curves.size()), curves);
  } catch (const std::bad_alloc&) {
    return ui_status::kOutOfMemory;
  }
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
  colors_[static_cast<std::size_t>(trace)] = rgb & 0xFFFFFF;
  QPen pen = traces_[static_cast<std::size_t>(trace)]->pen();
  pen.setColor(ShownTraceColor(rgb));
  traces_[static_cast<std::size_t>(trace)]->setPen(pen);
  RequestReplot();
  return 0;
}

int StripWidget::TraceColor(int trace) const {
  return trace >= 0 && trace < traceCount() ? colors_[static_cast<std::size_t>(trace)] : 0;
}

void StripWidget::Recolor() {
  for (std::size_t k = 0; k < traces_.size(); ++k) {
    QPen pen = traces_[k]->pen();
    pen.setColor(ShownTraceColor(colors_[k]));
    traces_[k]->setPen(pen);
  }
}

bool StripWidget::TraceVisible(int trace) const {
  return trace < 0 || trace >= traceCount() || traces_[static_cast<std::size_t>(trace)]->visible();
}

int StripWidget::SetTraceVisible(int trace, bool on) {
  if (trace < 0 || trace >= traceCount()) return ui_status::kBadArgument;
  traces_[static_cast<std::size_t>(trace)]->setVisible(on);
  RequestReplot();
  return 0;
}

// The newest point at the right edge: the curves' last points, or the
// points given.
void StripWidget::ScrollTo() {
  double end = next_;
  if (!curves_.empty()) {
    std::size_t n = curves_.front()->size();
    for (const auto& curve : curves_) n = std::min(n, curve->size());
    end = static_cast<double>(n);
  }
  xAxis->setRange(end - pointsPerScreen_, end);
  RequestReplot();
}

int StripWidget::Append(std::span<const double> points, int traces) {
  if (traces < 1 || points.size() % static_cast<std::size_t>(traces) != 0) {
    return ui_status::kBadArgument;
  }
  if ((traces != traceCount() || !curves_.empty()) && SetTraceCount(traces) < 0) return ui_status::kBadArgument;
  try {
    // One screen (and the point where the line comes in) is kept.
    const std::size_t count = points.size() / static_cast<std::size_t>(traces);
    for (std::size_t n = 0; n < count; ++n) {
      for (std::size_t k = 0; k < traces_.size(); ++k) {
        static_cast<QCPGraph*>(traces_[k])->addData(next_, points[n * traces_.size() + k]);
      }
      next_ += 1.0;
    }
    for (QCPAbstractPlottable* trace : traces_) static_cast<QCPGraph*>(trace)->data()->removeBefore(next_ - pointsPerScreen_ - 1);
  } catch (const std::bad_alloc&) {
    return ui_status::kOutOfMemory;
  }
  ScrollTo();
  return 0;
}

void StripWidget::Clear() { SetTraceCount(traceCount()); }

std::vector<double> StripWidget::Points() const {
  if (!curves_.empty()) return StripCurvePoints(curves_, pointsPerScreen_);
  std::vector<double> out;
  if (traces_.empty()) return out;
  std::vector<QSharedPointer<QCPGraphDataContainer>> data;
  for (const QCPAbstractPlottable* trace : traces_) data.push_back(static_cast<const QCPGraph*>(trace)->data());
  const int count = data.front()->size();
  for (int n = 0; n < count; ++n) {
    for (const auto& points : data) out.push_back(n < points->size() ? (points->constBegin() + n)->value : 0.0);
  }
  return out;
}

}  // namespace sondrix::platform::qt
