// SPDX-License-Identifier: GPL-3.0-or-later
// What a thin line through a curve covers, one span of values per pixel of
// the key axis (platform::Curve::FindEdges and Spans): the picture of a line
// at the screen's resolution, exact however many points fall into one
// pixel. Written once for any curve whose keys rise and that finds the
// extremes of a run of its points quickly (the run's history, through its
// MinMaxPyramid); a curve calls it on itself, so that its accessors are
// not called through the interface point by point.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "platform/curve.h"

namespace sondrix {

template <typename C>
void FindCellEdges(const C& curve, const platform::PixelMap& key, int from, int to, platform::CellEdges& edges) {
  edges.column = curve.KeyColumn();
  edges.cellFrom = from;
  edges.cellTo = std::max(from, to);
  edges.rising = key.scale > 0.0;
  const int cells = edges.cellTo - edges.cellFrom;
  edges.keys.resize(static_cast<std::size_t>(cells) + 1);
  edges.index.resize(static_cast<std::size_t>(cells) + 1);
  std::size_t at = 0;
  for (int j = 0; j <= cells; ++j) {
    const double k = key.Data(edges.rising ? edges.cellFrom + j : edges.cellTo - j);
    edges.keys[static_cast<std::size_t>(j)] = k;
    at = curve.LowerBound(k, at);
    edges.index[static_cast<std::size_t>(j)] = at;
  }
}

template <typename C>
void CurveSpans(const C& curve, const platform::CellEdges& edges, const platform::PixelMap& value, int valuePixels,
                std::vector<platform::Span>& out) {
  const std::size_t n = curve.size();
  if (n == 0 || valuePixels <= 0 || edges.column != curve.KeyColumn() || edges.index.empty()) return;
  // The value where the line between points a and b crosses `key`.
  const auto crossing = [&](std::size_t a, std::size_t b, double key) {
    const double ka = curve.Key(a), kb = curve.Key(b);
    const double va = curve.Value(a), vb = curve.Value(b);
    if (!(kb > ka)) return vb;
    return va + (key - ka) / (kb - ka) * (vb - va);
  };
  const int cells = edges.cellTo - edges.cellFrom;
  std::size_t i = std::min(edges.index[0], n);
  for (int j = 0; j < cells; ++j) {
    const std::size_t next = std::min(edges.index[static_cast<std::size_t>(j) + 1], n);
    if (i == n) break;  // the curve ended before this pixel
    platform::Extremes e;
    if (next > i) e = curve.ValueExtremes(i, next);
    // The line entering the pixel and the line leaving it; none across a
    // break.
    if (i > 0 && !curve.BreakBefore(i)) e.Take(crossing(i - 1, i, edges.keys[static_cast<std::size_t>(j)]));
    if (next > 0 && next < n && !curve.BreakBefore(next))
      e.Take(crossing(next - 1, next, edges.keys[static_cast<std::size_t>(j) + 1]));
    if (!e.empty()) {
      double p0 = value.Pixel(e.lo), p1 = value.Pixel(e.hi);
      if (p0 > p1) std::swap(p0, p1);
      if (p1 >= 0.0 && p0 < valuePixels) {
        const int lo = static_cast<int>(std::floor(std::max(p0, 0.0)));
        const int hi = static_cast<int>(std::floor(std::min(p1, valuePixels - 0.5)));
        out.push_back({edges.rising ? edges.cellFrom + j : edges.cellTo - 1 - j, lo, hi});
      }
    }
    i = next;
  }
}

// The first point at or after `from` whose key is at or above `key`, found
// by galloping from `from` (consecutive searches of a walk along the keys
// stay short); `keyAt(i)` gives the key of point i of `n`.
template <typename KeyAt>
std::size_t GallopLowerBound(std::size_t n, double key, std::size_t from, KeyAt&& keyAt) {
  if (from >= n) return n;
  if (!(keyAt(from) < key)) return from;
  std::size_t step = 1, lo = from, hi = from + 1;
  while (hi < n && keyAt(hi) < key) {
    lo = hi;
    step *= 2;
    hi = std::min(n, hi + step);
  }
  // keyAt(lo) < key; the answer lies in (lo, hi].
  std::size_t count = hi - lo - 1, first = lo + 1;
  while (count > 0) {
    const std::size_t half = count / 2;
    if (keyAt(first + half) < key) {
      first += half + 1;
      count -= half + 1;
    } else {
      count = half;
    }
  }
  return first;
}

}  // namespace sondrix
