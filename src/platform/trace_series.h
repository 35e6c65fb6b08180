// SPDX-License-Identifier: GPL-3.0-or-later
// The points of a curve drawn against a rising key (a trace against elapsed
// time, a strip chart's trace against its point count), kept so that drawing
// costs what the screen shows rather than what the run holds:
//
// - The keys live in a KeyColumn that the curves drawn at the same keys
//   share: a graph of 200 traces keeps one time axis, not 200.
// - Values are floats, as offsets from the curve's first value: a trace that
//   wanders in its seventh digit keeps that digit.
// - Above the values, a min/max pyramid (a bucket of 32 values, then of 16
//   buckets each level up) gives the extremes of any run of points in a few
//   dozen steps, so a pixel's span of a million points is found without
//   visiting them.
//
// Spans() turns a curve into what a thin line through its points covers,
// one span of values per pixel of the key axis: the picture of a line at the
// screen's resolution, exact however many points fall into one pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <span>
#include <vector>

namespace sondrix::platform {

class TraceSeries;

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

// Keys (non-decreasing) shared by the series drawn at them. The column keeps
// a budget of values shared among its series, but never fewer keys than
// `minKeys` nor more than `maxKeys`; beyond that the oldest keys, and the
// series' values at them, are dropped in chunks.
class KeyColumn {
 public:
  // Values all the series of one column keep (76 MB of floats).
  static constexpr std::size_t kValueBudget = std::size_t{19} << 20;

  explicit KeyColumn(std::size_t minKeys, std::size_t maxKeys = SIZE_MAX) { SetLimits(minKeys, maxKeys); }
  KeyColumn(const KeyColumn&) = delete;
  KeyColumn& operator=(const KeyColumn&) = delete;

  std::size_t size() const { return keys_.size(); }
  double operator[](std::size_t i) const { return keys_[i]; }
  // The first key at or above `key` (size() when none), at or after `from`.
  std::size_t LowerBound(double key, std::size_t from = 0) const;
  // The most keys kept with the series now drawn at them.
  std::size_t limit() const;
  void SetLimits(std::size_t minKeys, std::size_t maxKeys) {
    minKeys_ = minKeys < 2 ? 2 : minKeys;
    maxKeys_ = maxKeys < minKeys_ ? minKeys_ : maxKeys;
  }

 private:
  friend class TraceSeries;
  void Push(double key);
  // The most keys the column holds before it drops old ones.
  std::size_t most() const;

  std::size_t minKeys_ = 2;
  std::size_t maxKeys_ = SIZE_MAX;
  std::vector<double> keys_;
  std::vector<TraceSeries*> series_;
};

class TraceSeries {
 public:
  // A series drawn at the keys of `keys` where it can; it takes a column of
  // its own when its keys part from them.
  explicit TraceSeries(std::shared_ptr<KeyColumn> keys);
  ~TraceSeries();
  TraceSeries(const TraceSeries&) = delete;
  TraceSeries& operator=(const TraceSeries&) = delete;

  // Appends a point. False, with nothing appended, when the key is below the
  // last one (or not a number): such a curve is not a series.
  bool Append(double key, double value);

  std::size_t size() const { return values_.size(); }
  bool empty() const { return values_.empty(); }
  double Key(std::size_t i) const { return (*keys_)[first_ + i]; }
  double Value(std::size_t i) const { return ref_ + static_cast<double>(values_[i]); }
  // The extremes of the values of points [from, to), NaN skipped.
  Extremes ValueExtremes(std::size_t from, std::size_t to) const;
  // The first point whose key is at or above `key` (size() when none), at or
  // after `from`.
  std::size_t LowerBound(double key, std::size_t from = 0) const;
  const KeyColumn& column() const { return *keys_; }
  // Where the series' first point is in its column.
  std::size_t offset() const { return first_; }
  bool SharesKeysWith(const TraceSeries& other) const { return keys_ == other.keys_; }

 private:
  friend class KeyColumn;
  // The column dropped its first `count` keys.
  void DropFront(std::size_t count);
  void Detach();
  void TakeOwnColumn();
  void PushValue(double value);
  void AddGroup(std::size_t end);
  void RebuildPyramid();

  std::shared_ptr<KeyColumn> keys_;
  // Index in the column of the first point; the next key the series meets
  // is the column's [first_ + size()].
  std::size_t first_ = 0;
  bool placed_ = false;
  double ref_ = 0.0;
  bool refSet_ = false;
  std::vector<float> values_;
  // levels_[k] holds the extremes of 32 x 16^k consecutive values, for the
  // complete groups only.
  struct Bucket {
    float lo, hi;
  };
  std::vector<std::vector<Bucket>> levels_;
};

// A linear map from data to pixels: pixel = offset + scale * data.
struct PixelMap {
  double offset = 0.0;
  double scale = 1.0;
  double Pixel(double data) const { return offset + scale * data; }
  double Data(double pixel) const { return (pixel - offset) / scale; }
};

// What a thin line through a series covers in pixel `cell` of the key axis:
// value pixels `lo` ... `hi` (inclusive).
struct Span {
  int cell;
  int lo, hi;
  bool operator==(const Span&) const = default;
};

// The edges of key pixels [cellFrom, cellTo) in a column of keys, in the
// order of rising keys: each edge's key and the first of the column's keys
// at or above it. Found once, they serve every series of the column.
struct CellEdges {
  const KeyColumn* column = nullptr;
  int cellFrom = 0, cellTo = 0;
  bool rising = true;  // pixels and keys rise together
  std::vector<double> keys;
  std::vector<std::size_t> index;

  void Find(const KeyColumn& keys, const PixelMap& key, int from, int to);
};

// The spans of `series` in the key pixels of `edges` (found in the series'
// column) of an image `valuePixels` deep: the line between consecutive
// points, cut at the pixels' edges, so that each pixel's span is the
// extremes of the points in it and of the line where it enters and leaves.
// Spans outside the image are left out, and gaps (NaN) are not bridged.
void Spans(const TraceSeries& series, const CellEdges& edges, const PixelMap& value, int valuePixels,
           std::vector<Span>& out);
// The same, finding the edges.
void Spans(const TraceSeries& series, const PixelMap& key, const PixelMap& value, int cellFrom, int cellTo,
           int valuePixels, std::vector<Span>& out);

// How many of the series' points lie in keys [lo, hi].
std::size_t PointsWithin(const TraceSeries& series, double lo, double hi);

}  // namespace sondrix::platform
