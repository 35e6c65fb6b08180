// SPDX-License-Identifier: GPL-3.0-or-later
// Curves against a rising key (a trace against elapsed time, a strip
// chart's traces) drawn at what the screen shows, not what the run holds.
//
// Each such curve is a SeriesPlottable: a QCustomPlot plottable that keeps
// its points in a TraceSeries and gives QCustomPlot its ranges (for
// autoscaling), but draws nothing itself. The widget's TraceCanvas paints
// every one of them into one picture of the axis rectangle:
//
// - Where a curve has at least as many points on screen as the key axis has
//   pixels, each pixel gets one span of values (the extremes of its points
//   and of the line entering and leaving it), written straight into the
//   picture without antialiasing. A single spike among a million points is
//   still a pixel wide.
// - Where a curve is sparser, its segments are drawn as antialiased lines.
// - The picture is kept. A new point only redraws the band of pixels its
//   segment crosses, every curve in its order; the whole picture is drawn
//   again only when the axes, the size, the curves or their colours change.
//   The canvas sits on a layer of its own, so that a new point is put on
//   screen without drawing the axes again.
#pragma once

#include <QImage>
#include <memory>
#include <qcustomplot.h>
#include <vector>

#include "platform/trace_series.h"

namespace sondrix::platform::qt {

class SeriesPlottable : public QCPAbstractPlottable {
 public:
  SeriesPlottable(QCPAxis* keyAxis, QCPAxis* valueAxis, std::shared_ptr<KeyColumn> keys);

  TraceSeries& series() { return series_; }
  const TraceSeries& series() const { return series_; }

  double selectTest(const QPointF&, bool, QVariant* = nullptr) const override { return -1.0; }
  QCPRange getKeyRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth) const override;
  QCPRange getValueRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                         const QCPRange& inKeyRange = QCPRange()) const override;

 protected:
  void draw(QCPPainter*) override {}  // the canvas draws it
  void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;

 private:
  TraceSeries series_;
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
    const SeriesPlottable* plottable = nullptr;
    QRgb color = 0;
    std::size_t size = 0;
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
