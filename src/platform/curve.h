// SPDX-License-Identifier: GPL-3.0-or-later
// A curve the user interface draws without holding its points: the points
// live above the platform (the run's history), and a graph or strip chart
// keeps a pointer to the curve and reads it when it draws (Ui::PlotCurve,
// Ui::SetStripCurves). The owner tells the user interface when its curves
// grew or changed (Ui::CurvesChanged); a curve whose Revision() stayed the
// same only grew at its end, so that a backend puts just the new points on
// screen.
//
// A curve is points (key, value) in order. Where its keys never fall (a
// trace against time, a strip chart's points) a backend draws it at the
// screen's resolution: per pixel of the key axis the span of values a thin
// line through the points covers (Spans), which the curve finds from the
// extremes it keeps, however many points fall into one pixel. Other curves
// (a profile against temperature) are drawn as lines through their points.
//
// What is here are the interface and plain values; the algorithms behind
// them belong to whoever holds the points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace sondrix::platform {

// The extremes of some values; empty (lo > hi) when there were none.
struct Extremes {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  bool empty() const { return !(lo <= hi); }
  void Take(double v) {
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
};

// A linear map from data to pixels: pixel = offset + scale * data.
struct PixelMap {
  double offset = 0.0;
  double scale = 1.0;
  double Pixel(double data) const { return offset + scale * data; }
  double Data(double pixel) const { return (pixel - offset) / scale; }
};

// What a thin line through a curve covers in pixel `cell` of the key axis:
// value pixels `lo` ... `hi` (inclusive).
struct Span {
  int cell;
  int lo, hi;
  bool operator==(const Span&) const = default;
};

// The edges of key pixels [cellFrom, cellTo) in a curve's keys, in the
// order of rising keys: each edge's key and the first point at or above it.
// Found once, they serve every curve of the same keys (Curve::KeyColumn).
struct CellEdges {
  const void* column = nullptr;
  int cellFrom = 0, cellTo = 0;
  bool rising = true;  // pixels and keys rise together
  std::vector<double> keys;
  std::vector<std::size_t> index;
};

class Curve {
 public:
  virtual ~Curve() = default;

  virtual std::size_t size() const = 0;
  virtual double Key(std::size_t i) const = 0;
  virtual double Value(std::size_t i) const = 0;
  // Whether the line is broken before point i (a gap in time: the points
  // on either side are not joined).
  virtual bool BreakBefore(std::size_t /*i*/) const { return false; }
  // The keys never fall: the curve can be drawn per pixel (Spans).
  virtual bool KeysRise() const = 0;
  // Changes whenever points the curve had change or go (not when points
  // are added at its end).
  virtual std::uint64_t Revision() const = 0;
  // The extremes of the values of points [from, to), NaN skipped.
  virtual Extremes ValueExtremes(std::size_t from, std::size_t to) const = 0;
  // The first point whose key is at or above `key` (size() when none), at
  // or after `from`; for curves whose keys rise.
  virtual std::size_t LowerBound(double key, std::size_t from = 0) const = 0;
  // Curves that give the same pointer have the same keys, point for point
  // (the traces of one run), so that edges found for one serve all.
  virtual const void* KeyColumn() const = 0;
  // The edges of key pixels [from, to) under the map `key`.
  virtual void FindEdges(const PixelMap& key, int from, int to, CellEdges& edges) const = 0;
  // The spans of the key pixels of `edges` in an image `valuePixels` deep:
  // the line between consecutive points cut at the pixels' edges, so that
  // each pixel's span is the extremes of the points in it and of the line
  // where it enters and leaves. Spans outside the image are left out, and
  // gaps (NaN, BreakBefore) are not bridged.
  virtual void Spans(const CellEdges& edges, const PixelMap& value, int valuePixels,
                     std::vector<Span>& out) const = 0;
};

// Which axis a graph's curve has its keys on.
enum class CurveKeys { OnX, OnY };

}  // namespace sondrix::platform
