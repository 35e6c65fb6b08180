// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/trace_series.h"

#include <algorithm>
#include <cmath>

namespace sondrix::platform {
namespace {

// Values a bucket of the pyramid's first level gathers, and buckets a bucket
// of each level above gathers: the pyramid costs a thirty-second of the
// values' room.
constexpr std::size_t kBase = 32;
constexpr std::size_t kFan = 16;

// The extremes of float values, NaN skipped.
template <typename Take>
void ScanRaw(const std::vector<float>& values, std::size_t from, std::size_t to, Take&& take) {
  float lo = std::numeric_limits<float>::infinity();
  float hi = -std::numeric_limits<float>::infinity();
  for (std::size_t i = from; i < to; ++i) {
    const float v = values[i];
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
  take(lo, hi);
}

// Makes room for one more element, growing as a vector does but never
// beyond `most` (what the column keeps before it drops old points), so that
// a full column does not carry twice its points in spare room.
template <typename T>
void RoomForOne(std::vector<T>& v, std::size_t most) {
  if (v.size() < v.capacity()) return;
  const std::size_t grown = std::max<std::size_t>(64, v.capacity() * 2);
  v.reserve(std::max(v.size() + 1, std::min(grown, most)));
}

}  // namespace

// --- KeyColumn -----------------------------------------------------------------------------

std::size_t KeyColumn::limit() const {
  // Keys are doubles: each costs what two series' floats cost.
  const std::size_t share = kValueBudget / (series_.size() + 2);
  return std::clamp(share, minKeys_, maxKeys_);
}

std::size_t KeyColumn::most() const {
  const std::size_t keep = limit();
  return keep + std::max<std::size_t>(1, keep / kBase);
}

void KeyColumn::Push(double key) {
  RoomForOne(keys_, most() + 1);
  keys_.push_back(key);
  if (keys_.size() <= most()) return;
  const std::size_t keep = limit();
  const std::size_t drop = keys_.size() - keep;
  keys_.erase(keys_.begin(), keys_.begin() + static_cast<std::ptrdiff_t>(drop));
  for (TraceSeries* series : series_) series->DropFront(drop);
}

std::size_t KeyColumn::LowerBound(double key, std::size_t from) const {
  const std::size_t n = keys_.size();
  if (from >= n) return n;
  const double* base = keys_.data();
  if (!(base[from] < key)) return from;
  // Galloping: consecutive searches of a walk along the keys stay short.
  std::size_t step = 1, lo = from, hi = from + 1;
  while (hi < n && base[hi] < key) {
    lo = hi;
    step *= 2;
    hi = std::min(n, hi + step);
  }
  return static_cast<std::size_t>(std::lower_bound(base + lo + 1, base + hi, key) - base);
}

// --- TraceSeries ---------------------------------------------------------------------------

TraceSeries::TraceSeries(std::shared_ptr<KeyColumn> keys) : keys_(std::move(keys)) {
  if (!keys_) keys_ = std::make_shared<KeyColumn>(2);
  keys_->series_.push_back(this);
}

TraceSeries::~TraceSeries() { Detach(); }

void TraceSeries::Detach() {
  auto& list = keys_->series_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TraceSeries::TakeOwnColumn() {
  auto own = std::make_shared<KeyColumn>(keys_->minKeys_, keys_->maxKeys_);
  own->keys_.reserve(values_.size() + 1);
  for (std::size_t i = 0; i < values_.size(); ++i) own->keys_.push_back(Key(i));
  Detach();
  keys_ = std::move(own);
  keys_->series_.push_back(this);
  first_ = 0;
}

bool TraceSeries::Append(double key, double value) {
  if (!(key >= (values_.empty() ? -std::numeric_limits<double>::infinity() : Key(values_.size() - 1)))) {
    return false;
  }
  std::vector<double>& keys = keys_->keys_;
  if (!placed_) {
    // The first point: at its key in the column, or at the column's end.
    const std::size_t at = keys_->LowerBound(key);
    if (at == keys.size()) {
      first_ = keys.size();
      placed_ = true;
      keys_->Push(key);
    } else if (keys[at] == key) {
      first_ = at;
      placed_ = true;
    } else {
      TakeOwnColumn();
      placed_ = true;
      keys_->Push(key);
    }
  } else {
    const std::size_t next = first_ + values_.size();
    if (next == keys.size()) {
      keys_->Push(key);
    } else if (keys[next] != key) {
      // Its keys part from the others': it keeps its own from here on.
      TakeOwnColumn();
      keys_->Push(key);
    }
  }
  PushValue(value);
  return true;
}

void TraceSeries::PushValue(double value) {
  if (!refSet_ && std::isfinite(value)) {
    ref_ = value;
    refSet_ = true;
  }
  RoomForOne(values_, keys_->most() + 1);
  values_.push_back(static_cast<float>(value - ref_));
  if (values_.size() % kBase == 0) AddGroup(values_.size());
}

// The group of values ending at `end` climbs the pyramid as far as it
// completes groups.
void TraceSeries::AddGroup(std::size_t end) {
  std::size_t room = keys_->most() / kBase + 1;
  ScanRaw(values_, end - kBase, end, [&](float lo, float hi) {
    if (levels_.empty()) levels_.emplace_back();
    RoomForOne(levels_[0], room);
    levels_[0].push_back({lo, hi});
  });
  for (std::size_t k = 0; levels_[k].size() % kFan == 0; ++k) {
    room = room / kFan + 1;
    const std::vector<Bucket>& below = levels_[k];
    Bucket up{std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
    for (std::size_t i = below.size() - kFan; i < below.size(); ++i) {
      up.lo = std::min(up.lo, below[i].lo);
      up.hi = std::max(up.hi, below[i].hi);
    }
    if (levels_.size() == k + 1) levels_.emplace_back();
    RoomForOne(levels_[k + 1], room);
    levels_[k + 1].push_back(up);
  }
}

void TraceSeries::RebuildPyramid() {
  for (auto& level : levels_) level.clear();
  for (std::size_t end = kBase; end <= values_.size(); end += kBase) AddGroup(end);
}

void TraceSeries::DropFront(std::size_t count) {
  if (!placed_) return;
  if (first_ >= count) {
    first_ -= count;
    return;
  }
  const std::size_t drop = count - first_;
  if (drop >= values_.size()) {
    // Every point it had is gone: it starts afresh at its next key.
    values_.clear();
    levels_.clear();
    first_ = 0;
    placed_ = false;
    return;
  }
  values_.erase(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(drop));
  first_ = 0;
  RebuildPyramid();
}

Extremes TraceSeries::ValueExtremes(std::size_t from, std::size_t to) const {
  to = std::min(to, values_.size());
  float lo = std::numeric_limits<float>::infinity();
  float hi = -std::numeric_limits<float>::infinity();
  const auto take = [&](float l, float h) {
    lo = l < lo ? l : lo;
    hi = h > hi ? h : hi;
  };
  if (from < to) {
    // Raw values up to the first whole group and after the last; whole
    // groups from the levels above, the same way up the pyramid.
    std::size_t a = (from + kBase - 1) / kBase;
    std::size_t b = to / kBase;
    if (a >= b || levels_.empty()) {
      ScanRaw(values_, from, to, take);
    } else {
      ScanRaw(values_, from, a * kBase, take);
      ScanRaw(values_, b * kBase, to, take);
      for (std::size_t k = 0; a < b; ++k) {
        const std::vector<Bucket>& level = levels_[k];
        const std::size_t upA = (a + kFan - 1) / kFan;
        const std::size_t upB = b / kFan;
        const bool climb = k + 1 < levels_.size() && upA < upB;
        const std::size_t headEnd = climb ? upA * kFan : b;
        for (std::size_t i = a; i < headEnd; ++i) take(level[i].lo, level[i].hi);
        if (!climb) break;
        for (std::size_t i = upB * kFan; i < b; ++i) take(level[i].lo, level[i].hi);
        a = upA;
        b = upB;
      }
    }
  }
  Extremes out;
  if (lo <= hi) out = {ref_ + static_cast<double>(lo), ref_ + static_cast<double>(hi)};
  return out;
}

std::size_t TraceSeries::LowerBound(double key, std::size_t from) const {
  const std::size_t n = values_.size();
  if (from >= n) return n;
  const std::size_t at = keys_->LowerBound(key, first_ + from);
  return std::min(at, first_ + n) - first_;
}

// --- Spans ---------------------------------------------------------------------------------

namespace {

// The value where the line between points a and b crosses `key`.
double Crossing(const TraceSeries& s, std::size_t a, std::size_t b, double key) {
  const double ka = s.Key(a), kb = s.Key(b);
  const double va = s.Value(a), vb = s.Value(b);
  if (!(kb > ka)) return vb;
  return va + (key - ka) / (kb - ka) * (vb - va);
}

}  // namespace

void CellEdges::Find(const KeyColumn& keys, const PixelMap& key, int from, int to) {
  column = &keys;
  cellFrom = from;
  cellTo = std::max(from, to);
  rising = key.scale > 0.0;
  const int cells = cellTo - cellFrom;
  this->keys.resize(static_cast<std::size_t>(cells) + 1);
  index.resize(static_cast<std::size_t>(cells) + 1);
  std::size_t at = 0;
  for (int j = 0; j <= cells; ++j) {
    const double k = key.Data(rising ? cellFrom + j : cellTo - j);
    this->keys[static_cast<std::size_t>(j)] = k;
    at = keys.LowerBound(k, at);
    index[static_cast<std::size_t>(j)] = at;
  }
}

void Spans(const TraceSeries& series, const CellEdges& edges, const PixelMap& value, int valuePixels,
           std::vector<Span>& out) {
  const std::size_t n = series.size();
  if (n == 0 || valuePixels <= 0 || edges.column != &series.column()) return;
  const std::size_t offset = series.offset();
  // The series' own index of a column index.
  const auto local = [&](std::size_t at) { return at <= offset ? 0 : std::min(at - offset, n); };
  const int cells = edges.cellTo - edges.cellFrom;
  std::size_t i = local(edges.index[0]);
  for (int j = 0; j < cells; ++j) {
    const std::size_t next = local(edges.index[static_cast<std::size_t>(j) + 1]);
    if (i == n) break;  // the series ended before this pixel
    Extremes e;
    if (next > i) e = series.ValueExtremes(i, next);
    // The line entering the pixel and the line leaving it.
    if (i > 0) e.Take(Crossing(series, i - 1, i, edges.keys[static_cast<std::size_t>(j)]));
    if (next > 0 && next < n) e.Take(Crossing(series, next - 1, next, edges.keys[static_cast<std::size_t>(j) + 1]));
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

void Spans(const TraceSeries& series, const PixelMap& key, const PixelMap& value, int cellFrom, int cellTo,
           int valuePixels, std::vector<Span>& out) {
  if (!(key.scale != 0.0)) return;
  CellEdges edges;
  edges.Find(series.column(), key, cellFrom, cellTo);
  Spans(series, edges, value, valuePixels, out);
}

std::size_t PointsWithin(const TraceSeries& series, double lo, double hi) {
  const std::size_t from = series.LowerBound(lo);
  const std::size_t to = series.LowerBound(std::nextafter(hi, std::numeric_limits<double>::infinity()), from);
  return to - from;
}

}  // namespace sondrix::platform
