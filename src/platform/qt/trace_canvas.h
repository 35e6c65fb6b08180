// SPDX-License-Identifier: GPL-3.0-or-later
// Curves (platform::Curve, held above the platform: the run's history)
// drawn at what the screen shows, not what the run holds.
//
// Each curve a graph or strip chart draws is a CurvePlottable: a
// QCustomPlot plottable that keeps a pointer to the curve, not its points,
// and gives QCustomPlot its ranges (for autoscaling) through it. A curve
// whose keys rise along the canvas's key axis (a trace against time, a
// strip chart's points) draws nothing itself: the widget's TraceCanvas
// paints every such curve into one picture of the axis rectangle:
//
// - Where a curve has at least as many points on screen as the key axis has
//   pixels, each pixel gets one span of values (the extremes of its points
//   and of the line entering and leaving it, Curve::Spans), written straight
//   into the picture without antialiasing. A single spike among a million
//   points is still a pixel wide.
// - Where a curve is sparser, its segments are drawn as antialiased lines.
// - The picture is kept. A curve that grew only redraws the band of pixels
//   its new segments cross, every curve in its order; the whole picture is
//   drawn again only when the axes, the size, the curves, their colours or
//   their points (Curve::Revision) change. The canvas sits on a layer of
//   its own, so that new points are put on screen without drawing the axes
//   again.
//
// Other curves (a profile against temperature, whose keys go back and
// forth) are drawn by their plottable as a line through their points, of
// which consecutive points within one pixel are drawn once.
#pragma once

#include <QImage>
#include <memory>
#include <qcustomplot.h>
#include <vector>

#include "platform/curve.h"

namespace sondrix::platform::qt {

// A line through `points` (pixels; NaN a gap) as the screen can show it:
// of consecutive points that fall within one pixel of the last one kept
// only the last is kept, so that a long profile whose points crowd the same
// pixels costs what its picture costs, not what its number of points costs.
// Gaps stay gaps.
QVector<QPointF> WithinPixels(const QVector<QPointF>& points);

class CurvePlottable : public QCPAbstractPlottable {
 public:
  // `onCanvas`: the key axis is the canvas's, so that the canvas draws the
  // curve while its keys rise.
  CurvePlottable(QCPAxis* keyAxis, QCPAxis* valueAxis, std::shared_ptr<const Curve> curve, bool onCanvas);

  const Curve& curve() const { return *curve_; }
  const std::shared_ptr<const Curve>& shared() const { return curve_; }
  // Whether the canvas draws the curve now.
  bool OnCanvas() const { return onCanvas_ && curve_->KeysRise(); }

  double selectTest(const QPointF&, bool, QVariant* = nullptr) const override { return -1.0; }
  QCPRange getKeyRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth) const override;
  QCPRange getValueRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                         const QCPRange& inKeyRange = QCPRange()) const override;

 protected:
  // Only what the canvas does not draw.
  void draw(QCPPainter* painter) override;
  void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;

 private:
  std::shared_ptr<const Curve> curve_;
  bool onCanvas_;
};

class TraceCanvas : public QCPLayerable {
 public:
  // Name of the layer the canvas draws on, above the plottables' own.
  static constexpr const char* kLayer = "traces";

  TraceCanvas(QCustomPlot* plot, QCPAxis* keyAxis, QCPAxis* valueAxis);

  // Something besides new points changed: the next picture is drawn whole.
  void Invalidate() { valid_ = false; }
  // Puts new points on screen: only the canvas's layer is drawn again (the
  // whole plot when its other layers need it).
  void ReplotLayer();

  // For tests and benchmarks: the picture kept, and how it was last made.
  const QImage& picture() const { return picture_; }
  int wholeDraws() const { return wholeDraws_; }
  int bandDraws() const { return bandDraws_; }

 protected:
  void applyDefaultAntialiasingHint(QCPPainter*) const override {}
  void draw(QCPPainter* painter) override;

 private:
  // Where the picture stands: its rectangle and scale, the axes' ranges.
  struct Frame {
    QRect rect;
    double ratio = 1.0;
    QCPRange keys, values;
    bool keyReversed = false, valueReversed = false;
    bool operator==(const Frame&) const = default;
  };
  // A curve as last drawn.
  struct Drawn {
    const CurvePlottable* plottable = nullptr;
    QRgb color = 0;
    std::size_t size = 0;
    std::uint64_t revision = 0;
    double firstKey = 0.0, lastKey = 0.0;
    bool dense = false;
  };
  // The maps from data to the picture's pixels, and its depth and length.
  struct Maps {
    PixelMap key, value;
    int cells = 0;        // pixels along the key axis
    int valuePixels = 0;  // pixels along the value axis
    bool keyAcross = false;  // the key axis runs across the picture (cells are columns)
    double ratio = 1.0;      // device pixels a pixel of the plot
  };

  Frame CurrentFrame(const QCPPainter* painter) const;
  Maps MapsFor(const Frame& frame) const;
  std::vector<Drawn> Curves(const Maps& maps) const;
  // Draws cells [from, to) of every curve into the picture, after clearing them.
  void DrawCells(const Maps& maps, int from, int to);
  void DrawSparse(const Drawn& curve, const Maps& maps, int from, int to, QPainter& painter);
  // Straight onto a vector device (PDF): lines, no picture.
  void DrawVectors(QCPPainter* painter, const Frame& frame);

  QCPAxis* keyAxis_;
  QCPAxis* valueAxis_;
  QImage picture_;
  Frame frame_;
  std::vector<Drawn> drawn_;
  std::vector<Span> spans_;
  std::vector<CellEdges> edges_;
  bool valid_ = false;
  int wholeDraws_ = 0;
  int bandDraws_ = 0;
};

}  // namespace sondrix::platform::qt
