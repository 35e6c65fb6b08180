// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/trace_canvas.h"

#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace sondrix::platform::qt {

namespace {

// How many of the curve's points lie in keys [lo, hi] (its keys rise).
std::size_t PointsWithin(const Curve& curve, double lo, double hi) {
  const std::size_t from = curve.LowerBound(lo, 0);
  const std::size_t to = curve.LowerBound(std::nextafter(hi, std::numeric_limits<double>::infinity()), from);
  return to - from;
}

bool InDomain(double v, QCP::SignDomain domain) {
  return domain == QCP::sdBoth || (domain == QCP::sdPositive && v > 0) || (domain == QCP::sdNegative && v < 0);
}

}  // namespace

QVector<QPointF> WithinPixels(const QVector<QPointF>& points) {
  QVector<QPointF> kept;
  kept.reserve(points.size() / 4 + 2);
  bool pending = false;
  QPointF last;
  for (qsizetype i = 0; i < points.size(); ++i) {
    const QPointF& point = points[i];
    const bool gap = !std::isfinite(point.x()) || !std::isfinite(point.y());
    if (!gap && !kept.isEmpty() && std::isfinite(last.x()) && std::fabs(point.x() - last.x()) < 1.0 &&
        std::fabs(point.y() - last.y()) < 1.0) {
      pending = true;  // within the pixel of the last point kept
      continue;
    }
    // The last point within that pixel leads the line on to this one.
    if (pending && !gap) kept.push_back(points[i - 1]);
    pending = false;
    kept.push_back(point);
    last = point;
  }
  if (pending) kept.push_back(points.back());
  return kept;
}

// --- CurvePlottable --------------------------------------------------------------------------

CurvePlottable::CurvePlottable(QCPAxis* keyAxis, QCPAxis* valueAxis, std::shared_ptr<const Curve> curve,
                               bool onCanvas)
    : QCPAbstractPlottable(keyAxis, valueAxis), curve_(std::move(curve)), onCanvas_(onCanvas) {}

QCPRange CurvePlottable::getKeyRange(bool& foundRange, QCP::SignDomain inSignDomain) const {
  const Curve& c = *curve_;
  const std::size_t n = c.size();
  if (c.KeysRise()) {
    // Keys rise: the range of a sign's keys runs from its first to its last.
    std::size_t from = 0, to = n;
    if (inSignDomain == QCP::sdPositive) from = c.LowerBound(std::nextafter(0.0, INFINITY), 0);
    if (inSignDomain == QCP::sdNegative) to = c.LowerBound(0.0, 0);
    foundRange = from < to;
    return foundRange ? QCPRange(c.Key(from), c.Key(to - 1)) : QCPRange();
  }
  Extremes e;
  for (std::size_t i = 0; i < n; ++i) {
    const double k = c.Key(i);
    if (std::isfinite(k) && InDomain(k, inSignDomain)) e.Take(k);
  }
  foundRange = !e.empty();
  return foundRange ? QCPRange(e.lo, e.hi) : QCPRange();
}

QCPRange CurvePlottable::getValueRange(bool& foundRange, QCP::SignDomain inSignDomain,
                                       const QCPRange& inKeyRange) const {
  const Curve& c = *curve_;
  const bool all = inKeyRange == QCPRange();
  Extremes e;
  if (c.KeysRise() && inSignDomain == QCP::sdBoth) {
    std::size_t from = 0, to = c.size();
    if (!all) {
      from = c.LowerBound(inKeyRange.lower, 0);
      to = c.LowerBound(std::nextafter(inKeyRange.upper, INFINITY), from);
    }
    e = c.ValueExtremes(from, to);
  } else {
    for (std::size_t i = 0; i < c.size(); ++i) {
      const double v = c.Value(i);
      if (!all && !inKeyRange.contains(c.Key(i))) continue;
      if (std::isfinite(v) && InDomain(v, inSignDomain)) e.Take(v);
    }
  }
  foundRange = !e.empty() && std::isfinite(e.lo) && std::isfinite(e.hi);
  return foundRange ? QCPRange(e.lo, e.hi) : QCPRange();
}

// The canvas draws the curve while its keys rise; otherwise a line through
// its points.
void CurvePlottable::draw(QCPPainter* painter) {
  if (OnCanvas()) return;
  const Curve& c = *curve_;
  const std::size_t n = c.size();
  if (n == 0) return;
  QVector<QPointF> points;
  points.reserve(static_cast<qsizetype>(n));
  const QPointF gap(qQNaN(), qQNaN());
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && c.BreakBefore(i)) points.push_back(gap);
    const double k = c.Key(i), v = c.Value(i);
    points.push_back(std::isfinite(k) && std::isfinite(v) ? coordsToPixels(k, v) : gap);
  }
  const QVector<QPointF> line = WithinPixels(points);
  painter->setPen(mPen);
  painter->setBrush(Qt::NoBrush);
  applyDefaultAntialiasingHint(painter);
  qsizetype from = 0;
  for (qsizetype i = 0; i <= line.size(); ++i) {
    if (i < line.size() && std::isfinite(line[i].x())) continue;
    if (i - from == 1) painter->drawPoint(line[from]);  // a lone point: a dot
    if (i - from > 1) painter->drawPolyline(line.constData() + from, static_cast<int>(i - from));
    from = i + 1;
  }
}

void CurvePlottable::drawLegendIcon(QCPPainter* painter, const QRectF& rect) const {
  painter->setPen(mPen);
  painter->drawLine(QLineF(rect.left(), rect.center().y(), rect.right(), rect.center().y()));
}

// --- TraceCanvas -----------------------------------------------------------------------------

TraceCanvas::TraceCanvas(QCustomPlot* plot, QCPAxis* keyAxis, QCPAxis* valueAxis)
    : QCPLayerable(plot, kLayer), keyAxis_(keyAxis), valueAxis_(valueAxis) {}

void TraceCanvas::ReplotLayer() {
  if (QCPLayer* own = layer()) own->replot();
}

TraceCanvas::Frame TraceCanvas::CurrentFrame(const QCPPainter* painter) const {
  Frame frame;
  frame.rect = keyAxis_->axisRect()->rect();
  const QPaintDevice* device = painter->device();
  frame.ratio = device != nullptr ? std::max(1.0, device->devicePixelRatioF()) : 1.0;
  frame.keys = keyAxis_->range();
  frame.values = valueAxis_->range();
  frame.keyReversed = keyAxis_->rangeReversed();
  frame.valueReversed = valueAxis_->rangeReversed();
  return frame;
}

TraceCanvas::Maps TraceCanvas::MapsFor(const Frame& frame) const {
  Maps maps;
  maps.ratio = frame.ratio;
  maps.keyAcross = keyAxis_->orientation() == Qt::Horizontal;
  const int width = qRound(frame.rect.width() * frame.ratio);
  const int height = qRound(frame.rect.height() * frame.ratio);
  maps.cells = maps.keyAcross ? width : height;
  maps.valuePixels = maps.keyAcross ? height : width;
  // The axes' own map, moved to the picture's corner and scaled to its pixels.
  const auto map = [&](const QCPAxis* axis, const QCPRange& range) {
    const double origin = axis->orientation() == Qt::Horizontal ? frame.rect.left() : frame.rect.top();
    const double lo = axis->coordToPixel(range.lower), hi = axis->coordToPixel(range.upper);
    PixelMap m;
    m.scale = (hi - lo) / (range.upper - range.lower) * frame.ratio;
    m.offset = (lo - origin) * frame.ratio - m.scale * range.lower;
    return m;
  };
  maps.key = map(keyAxis_, frame.keys);
  maps.value = map(valueAxis_, frame.values);
  return maps;
}

std::vector<TraceCanvas::Drawn> TraceCanvas::Curves(const Maps& maps) const {
  std::vector<Drawn> curves;
  const QCPRange keys = keyAxis_->range();
  for (int i = 0; i < mParentPlot->plottableCount(); ++i) {
    const auto* p = dynamic_cast<const CurvePlottable*>(mParentPlot->plottable(i));
    if (p == nullptr || !p->visible() || p->keyAxis() != keyAxis_ || !p->OnCanvas()) continue;
    const Curve& c = p->curve();
    Drawn d;
    d.plottable = p;
    d.color = qPremultiply(p->pen().color().rgba());
    d.size = c.size();
    d.revision = c.Revision();
    if (d.size > 0) {
      d.firstKey = c.Key(0);
      d.lastKey = c.Key(d.size - 1);
    }
    d.dense = PointsWithin(c, keys.lower, keys.upper) >= static_cast<std::size_t>(std::max(maps.cells, 1));
    curves.push_back(d);
  }
  return curves;
}

void TraceCanvas::draw(QCPPainter* painter) {
  if (painter->modes().testFlag(QCPPainter::pmVectorized)) {
    DrawVectors(painter, CurrentFrame(painter));
    return;
  }
  const Frame frame = CurrentFrame(painter);
  if (frame.rect.isEmpty()) return;
  const Maps maps = MapsFor(frame);
  std::vector<Drawn> now = Curves(maps);

  bool whole = !valid_ || !(frame == frame_) || picture_.isNull() || now.size() != drawn_.size();
  int from = INT_MAX, to = INT_MIN;
  for (std::size_t k = 0; !whole && k < now.size(); ++k) {
    const Drawn& was = drawn_[k];
    const Drawn& is = now[k];
    if (was.plottable != is.plottable || was.color != is.color || was.dense != is.dense || is.size < was.size ||
        was.revision != is.revision || (was.size > 0 && was.firstKey != is.firstKey)) {
      whole = true;
    } else if (is.size > was.size) {
      // The segment from the last point drawn to the newest, and a pixel
      // around it for antialiased lines.
      const double start = was.size > 0 ? was.lastKey : is.firstKey;
      const double a = maps.key.Pixel(start), b = maps.key.Pixel(is.lastKey);
      const double lo = std::max(std::min(a, b), -2.0), hi = std::min(std::max(a, b), maps.cells + 2.0);
      if (std::isfinite(lo) && std::isfinite(hi) && lo <= hi) {
        from = std::min(from, static_cast<int>(std::floor(lo)) - 2);
        to = std::max(to, static_cast<int>(std::floor(hi)) + 3);
      }
    }
  }
  drawn_ = std::move(now);
  frame_ = frame;
  valid_ = true;
  if (whole) {
    const QSize size = maps.keyAcross ? QSize(maps.cells, maps.valuePixels) : QSize(maps.valuePixels, maps.cells);
    if (picture_.size() != size) picture_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    DrawCells(maps, 0, maps.cells);
    ++wholeDraws_;
  } else {
    from = std::max(from, 0);
    to = std::min(to, maps.cells);
    if (from < to) {
      DrawCells(maps, from, to);
      ++bandDraws_;
    }
  }
  painter->drawImage(QRectF(frame.rect), picture_);
}

void TraceCanvas::DrawCells(const Maps& maps, int from, int to) {
  if (picture_.isNull() || from >= to) return;
  const int width = picture_.width();
  // The picture's rows, written directly (bits() makes the picture the
  // canvas's own first, so that no painter below moves them).
  uchar* const bits = picture_.bits();
  const qsizetype stride = picture_.bytesPerLine();
  const auto row = [&](int y) { return reinterpret_cast<QRgb*>(bits + y * stride); };
  if (maps.keyAcross) {
    for (int y = 0; y < picture_.height(); ++y) std::fill(row(y) + from, row(y) + to, 0u);
  } else {
    for (int y = from; y < to; ++y) std::fill(row(y), row(y) + width, 0u);
  }
  std::unique_ptr<QPainter> painter;  // for the sparse curves only
  // The pixels' edges in each column of keys, found once for its curves.
  std::size_t columns = 0;
  const auto edgesOf = [&](const Curve& curve) -> const CellEdges& {
    for (std::size_t c = 0; c < columns; ++c) {
      if (edges_[c].column == curve.KeyColumn()) return edges_[c];
    }
    if (edges_.size() == columns) edges_.emplace_back();
    curve.FindEdges(maps.key, from, to, edges_[columns]);
    return edges_[columns++];
  };
  for (const Drawn& curve : drawn_) {
    if (!curve.dense) {
      if (!painter) {
        painter = std::make_unique<QPainter>(&picture_);
        painter->setRenderHint(QPainter::Antialiasing);
        // A band keeps its lines within it; the whole picture needs no clip.
        if (from > 0 || to < maps.cells) {
          painter->setClipRect(maps.keyAcross ? QRect(from, 0, to - from, picture_.height())
                                              : QRect(0, from, width, to - from));
        }
      }
      DrawSparse(curve, maps, from, to, *painter);
      continue;
    }
    spans_.clear();
    const Curve& points = curve.plottable->curve();
    points.Spans(edgesOf(points), maps.value, maps.valuePixels, spans_);
    const QRgb color = curve.color;
    if (maps.keyAcross) {
      for (const Span& s : spans_) {
        for (int y = s.lo; y <= s.hi; ++y) row(y)[s.cell] = color;
      }
    } else {
      for (const Span& s : spans_) std::fill(row(s.cell) + s.lo, row(s.cell) + s.hi + 1, color);
    }
  }
}

void TraceCanvas::DrawSparse(const Drawn& curve, const Maps& maps, int from, int to, QPainter& painter) {
  const Curve& s = curve.plottable->curve();
  if (s.size() == 0) return;
  // The segments that reach into the cells, and a pixel beyond them.
  double lowKey = maps.key.Data(from - 1.0), highKey = maps.key.Data(to + 1.0);
  if (lowKey > highKey) std::swap(lowKey, highKey);
  std::size_t first = s.LowerBound(lowKey, 0);
  first = first > 0 ? first - 1 : 0;
  const std::size_t last = std::min(s.size(), s.LowerBound(highKey, first) + 1);
  // Thin lines, one pixel wide: the rasteriser's fast path, and as wide as
  // the spans of dense curves.
  QPen pen = curve.plottable->pen();
  pen.setWidthF(maps.ratio);
  painter.setPen(pen);
  QPolygonF line;
  const auto flush = [&] {
    if (line.size() == 1) line.push_back(line.front());  // a lone point: a dot
    if (!line.isEmpty()) painter.drawPolyline(line);
    line.clear();
  };
  for (std::size_t i = first; i < last; ++i) {
    const double v = s.Value(i);
    if (i > first && s.BreakBefore(i)) flush();
    if (!std::isfinite(v)) {
      flush();
      continue;
    }
    const double k = maps.key.Pixel(s.Key(i)), p = maps.value.Pixel(v);
    line.push_back(maps.keyAcross ? QPointF(k, p) : QPointF(p, k));
  }
  flush();
}

void TraceCanvas::DrawVectors(QCPPainter* painter, const Frame& frame) {
  Frame flat = frame;
  flat.ratio = 1.0;
  const Maps maps = MapsFor(flat);
  const std::vector<Drawn> curves = Curves(maps);
  painter->save();
  painter->setClipRect(frame.rect);
  painter->translate(frame.rect.topLeft());
  for (const Drawn& curve : curves) {
    if (!curve.dense) {
      DrawSparse(curve, maps, 0, maps.cells, *painter);
      continue;
    }
    std::vector<Span> spans;
    if (!(maps.key.scale != 0.0)) continue;
    CellEdges edges;
    curve.plottable->curve().FindEdges(maps.key, 0, maps.cells, edges);
    curve.plottable->curve().Spans(edges, maps.value, maps.valuePixels, spans);
    QPen pen(QColor::fromRgba(curve.color), 1.0);
    pen.setCapStyle(Qt::FlatCap);
    painter->setPen(pen);
    QVector<QLineF> lines;
    lines.reserve(static_cast<qsizetype>(spans.size()));
    for (const Span& s : spans) {
      const double c = s.cell + 0.5;
      lines.push_back(maps.keyAcross ? QLineF(c, s.lo, c, s.hi + 1.0) : QLineF(s.lo, c, s.hi + 1.0, c));
    }
    painter->drawLines(lines);
  }
  painter->restore();
}

}  // namespace sondrix::platform::qt
