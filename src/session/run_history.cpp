// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/run_history.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "session/curve_spans.h"

namespace sondrix {
namespace {

// Makes room for one more element, growing as a vector does but never
// beyond `most` (what the history keeps before it thins), so that a full
// history does not carry twice its entries in spare room.
template <typename T>
void RoomForOne(std::vector<T>& v, std::size_t most) {
  if (v.size() < v.capacity()) return;
  const std::size_t grown = std::max<std::size_t>(64, v.capacity() * 2);
  v.reserve(std::max(v.size() + 1, std::min(grown, most)));
}

// A trace of the history against one kind of key.
class HistoryCurve final : public platform::Curve {
 public:
  HistoryCurve(std::shared_ptr<const HistoryColumns> data, int trace, RunHistory::Keys keys)
      : data_(std::move(data)), trace_(static_cast<std::size_t>(trace)), keys_(keys) {}

  std::size_t size() const override {
    return trace_ < data_->columns.size() ? data_->times.size() : 0;
  }
  double Key(std::size_t i) const override {
    switch (keys_) {
      case RunHistory::Keys::Minutes: return static_cast<double>(data_->times[i]) / 1000.0 / 60.0;
      case RunHistory::Keys::Temperature: return data_->temperatures[i];
      case RunHistory::Keys::Depth: return data_->depths[i];
      case RunHistory::Keys::Index: break;
    }
    return static_cast<double>(i);
  }
  double Value(std::size_t i) const override { return column().values[i]; }
  bool BreakBefore(std::size_t i) const override { return data_->breaks[i] != 0; }
  bool KeysRise() const override {
    switch (keys_) {
      case RunHistory::Keys::Minutes: return data_->timesRise;
      case RunHistory::Keys::Temperature: return data_->temperaturesRise;
      case RunHistory::Keys::Depth: return data_->depthsRise;
      case RunHistory::Keys::Index: break;
    }
    return true;
  }
  std::uint64_t Revision() const override { return data_->revision; }
  platform::Extremes ValueExtremes(std::size_t from, std::size_t to) const override {
    const HistoryColumns::Trace& c = column();
    return c.pyramid.Extremes(c.values, from, std::min(to, size()));
  }
  std::size_t LowerBound(double key, std::size_t from) const override {
    const std::size_t n = size();
    if (keys_ == RunHistory::Keys::Index) {
      if (!(key > static_cast<double>(from))) return std::min(from, n);
      return key >= static_cast<double>(n) ? n : static_cast<std::size_t>(std::ceil(key));
    }
    return GallopLowerBound(n, key, from, [this](std::size_t i) { return Key(i); });
  }
  const void* KeyColumn() const override { return &data_->keyIds[static_cast<int>(keys_)]; }
  void FindEdges(const platform::PixelMap& key, int from, int to, platform::CellEdges& edges) const override {
    FindCellEdges(*this, key, from, to, edges);
  }
  void Spans(const platform::CellEdges& edges, const platform::PixelMap& value, int valuePixels,
             std::vector<platform::Span>& out) const override {
    CurveSpans(*this, edges, value, valuePixels, out);
  }

 private:
  const HistoryColumns::Trace& column() const { return data_->columns[trace_]; }

  std::shared_ptr<const HistoryColumns> data_;
  std::size_t trace_;
  RunHistory::Keys keys_;
};

}  // namespace

void GapFinder::Clear() { *this = GapFinder{}; }

bool GapFinder::Take(std::int64_t timeMs) {
  const bool started = started_;
  const std::int64_t interval = timeMs - last_;
  started_ = true;
  last_ = timeMs;
  if (!started || interval <= 0) return false;
  bool gap = false;
  if (count_ >= 2) {
    std::int64_t sorted[kIntervals];
    std::copy(intervals_, intervals_ + count_, sorted);
    std::sort(sorted, sorted + count_);
    const std::int64_t period = sorted[(count_ - 1) / 2];
    gap = interval > std::max<std::int64_t>(kGapPeriods * period, kMinGapMs);
  }
  // A gap is no period of the lines.
  if (!gap) {
    intervals_[next_] = interval;
    next_ = (next_ + 1) % kIntervals;
    count_ = std::min(count_ + 1, kIntervals);
  }
  return gap;
}

RunHistory::RunHistory(std::size_t maxValues, std::size_t maxEntries)
    : maxValues_(std::max<std::size_t>(maxValues, 4)),
      maxEntries_(std::max<std::size_t>(maxEntries, 4)),
      data_(std::make_shared<HistoryColumns>()) {
  Clear(0);
}

void RunHistory::Clear(int traceCount) {
  HistoryColumns& d = *data_;
  d.traces = std::max(traceCount, 0);
  const std::size_t traces = static_cast<std::size_t>(d.traces);
  // Room for at least four entries, so that thinning always frees some.
  capacity_ = std::max<std::size_t>(std::min(maxEntries_, maxValues_ / std::max<std::size_t>(traces, 1)), 4);
  added_ = 0;
  spacing_ = 0;
  d.times.clear();
  d.temperatures.clear();
  d.depths.clear();
  d.breaks.clear();
  d.columns.resize(traces);
  for (HistoryColumns::Trace& column : d.columns) {
    column.values.clear();
    column.pyramid.Clear();
  }
  ++d.revision;
  d.timesRise = d.temperaturesRise = d.depthsRise = true;
  traceMin_.assign(traces, std::numeric_limits<double>::infinity());
  traceMax_.assign(traces, -std::numeric_limits<double>::infinity());
  tempMin_ = depthMin_ = std::numeric_limits<double>::infinity();
  tempMax_ = depthMax_ = -std::numeric_limits<double>::infinity();
}

std::size_t RunHistory::FirstAtOrAfter(std::int64_t timeMs) const {
  const std::vector<std::int64_t>& times = data_->times;
  return static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), timeMs) - times.begin());
}

platform::Extremes RunHistory::TraceExtremes(int trace, std::size_t from, std::size_t to) const {
  const HistoryColumns::Trace& c = data_->columns[static_cast<std::size_t>(trace)];
  return c.pyramid.Extremes(c.values, from, to);
}

std::shared_ptr<const platform::Curve> RunHistory::TraceCurve(int trace, Keys keys) const {
  return std::make_shared<HistoryCurve>(data_, std::max(trace, 0), keys);
}

bool RunHistory::Add(std::int64_t timeMs, double temperature, double depth, std::span<const double> values,
                     bool gapBefore) {
  HistoryColumns& d = *data_;
  bool thinned = false;
  if (d.times.size() >= capacity_) {
    Thin();
    thinned = true;
  }
  if (!d.times.empty()) {
    d.timesRise = d.timesRise && timeMs >= d.times.back();
    d.temperaturesRise = d.temperaturesRise && temperature >= d.temperatures.back();
    d.depthsRise = d.depthsRise && depth >= d.depths.back();
  }
  RoomForOne(d.times, capacity_);
  RoomForOne(d.temperatures, capacity_);
  RoomForOne(d.depths, capacity_);
  RoomForOne(d.breaks, capacity_);
  d.breaks.push_back(gapBefore && !d.times.empty() ? 1 : 0);
  d.times.push_back(timeMs);
  d.temperatures.push_back(temperature);
  d.depths.push_back(depth);
  for (std::size_t k = 0; k < d.columns.size(); ++k) {
    const double v = k < values.size() ? values[k] : 0.0;
    HistoryColumns::Trace& column = d.columns[k];
    RoomForOne(column.values, capacity_);
    column.values.push_back(v);
    column.pyramid.Grew(column.values);
    traceMin_[k] = std::min(traceMin_[k], v);
    traceMax_[k] = std::max(traceMax_[k], v);
  }
  tempMin_ = std::min(tempMin_, temperature);
  tempMax_ = std::max(tempMax_, temperature);
  depthMin_ = std::min(depthMin_, depth);
  depthMax_ = std::max(depthMax_, depth);
  ++added_;
  return thinned;
}

// The newer half stays whole. The older half is brought to one resolution:
// its time is cut into steps long enough for half its entries (never
// shorter than the last thinning's), and each step keeps one entry. So the
// older part of a run is drawn evenly however long the run goes on, instead
// of getting coarser the older it is. The run's first entry always stays.
// Of a step's entries the one that stands out most stays: the one whose
// values lie furthest outside those of the entry kept before the step and
// the entry after it, in shares of each trace's range (the step's first
// entry when none stands out). A spike of a single line survives every
// thinning, at its own time; every entry stays a real line of the run.
void RunHistory::Thin() {
  HistoryColumns& d = *data_;
  std::vector<std::int64_t>& times = d.times;
  const std::size_t n = times.size();
  const std::size_t half = n / 2;
  std::size_t out = 0;
  // A gap before any entry since the last one kept lies before the entry
  // kept next.
  std::size_t looked = 0;
  const auto keep = [&](std::size_t i) {
    std::uint8_t gap = 0;
    for (; looked <= i; ++looked) gap |= d.breaks[looked];
    if (out != i) {
      times[out] = times[i];
      d.temperatures[out] = d.temperatures[i];
      d.depths[out] = d.depths[i];
      for (HistoryColumns::Trace& column : d.columns) column.values[out] = column.values[i];
    }
    d.breaks[out] = out > 0 ? gap : 0;
    ++out;
  };
  // How far entry i stands out between the last entry kept and entry `after`.
  const auto standing = [&](std::size_t i, std::size_t after) {
    double most = 0.0;
    for (std::size_t k = 0; k < d.columns.size(); ++k) {
      const double span = traceMax_[k] - traceMin_[k];
      if (!(span > 0.0)) continue;
      const std::vector<double>& values = d.columns[k].values;
      const double a = values[out - 1], b = values[after];
      const double v = values[i];
      const double beyond = v > std::max(a, b) ? v - std::max(a, b) : (v < std::min(a, b) ? std::min(a, b) - v : 0.0);
      most = std::max(most, beyond / span);
    }
    return most;
  };
  const std::int64_t first = times[0];
  const std::int64_t span = half > 0 ? times[half - 1] - first : 0;
  const std::int64_t steps = static_cast<std::int64_t>(half > 2 ? (half - 1) / 2 : 1);
  spacing_ = std::max(spacing_, span / steps + 1);
  const auto stepOf = [&](std::size_t i) { return (times[i] - first) / spacing_; };
  keep(0);
  for (std::size_t a = 1; a < half;) {
    std::size_t b = a + 1;
    while (b < half && stepOf(b) == stepOf(a)) ++b;
    // Entries a ... b-1 share a step; entry b (in the newer half at the
    // latest) follows it.
    std::size_t pick = a;
    double most = 0.0;
    for (std::size_t i = a; i < b; ++i) {
      const double s = standing(i, b);
      if (s > most) {
        most = s;
        pick = i;
      }
    }
    keep(pick);
    a = b;
  }
  for (std::size_t i = half; i < n; ++i) keep(i);
  // Room is made whatever the times (a history of a few entries).
  if (out == n && n >= 2) {
    out = 1;
    looked = 1;
    for (std::size_t i = 2; i < n; ++i) keep(i);
  }
  times.resize(out);
  d.temperatures.resize(out);
  d.depths.resize(out);
  d.breaks.resize(out);
  for (HistoryColumns::Trace& column : d.columns) {
    column.values.resize(out);
    column.pyramid.Rebuild(column.values);
  }
  ++d.revision;
}

}  // namespace sondrix
