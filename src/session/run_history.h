// SPDX-License-Identifier: GPL-3.0-or-later
// RunHistory: the run's drawn points, the one store every graph draws from.
// One entry per display bin: the time, temperature and depth of its last
// line and every trace's average over the bin (all traces, so that a trace
// made visible later has its past too).
//
// It belongs to the run, not to a graph, and so to the session layer below
// the display: the run's points outlive every graph put on show and taken
// off again, and the display only shows them. The graphs show its columns
// as curves (platform::Curve, TraceCurve) that the user interface reads
// when it draws, so that the points of a run are kept once, here, rather
// than once more in every graph that shows them. Its columns are the time (the
// keys every trace shares), the temperature, the depth and a column of
// values per trace, each trace with a min/max pyramid (MinMaxPyramid) over
// its own values: a graph of a long run is drawn at what the screen shows,
// and an axis that follows the run measures what it shows, without visiting
// every point. Values are kept as doubles, as the lines gave them, so that
// what a graph shows, the strip chart's points and a zoom on a trace are
// the averages themselves.
//
// The history is bounded. When it is full, its older half is thinned to one
// even resolution (about half its entries), keeping of each step the entry
// that stands out most: the newest half keeps every point, the older part is
// drawn evenly, spikes stay, and the whole run is always there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/curve.h"
#include "session/min_max_pyramid.h"

namespace sondrix {

// The columns of a history, shared with the curves made of them.
struct HistoryColumns {
  struct Trace {
    std::vector<double> values;
    MinMaxPyramid pyramid;
  };
  int traces = 0;
  std::vector<std::int64_t> times;
  std::vector<double> temperatures;
  std::vector<double> depths;
  // 1 where a gap in the run's lines lies before the entry (the line is
  // broken there); thinning keeps each gap before the next entry it keeps.
  std::vector<std::uint8_t> breaks;
  std::vector<Trace> columns;
  // Changes when entries change or go (thinning, clearing).
  std::uint64_t revision = 0;
  // Whether each kind of key has never fallen since the history was cleared.
  bool timesRise = true, temperaturesRise = true, depthsRise = true;
  // An address for each kind of key (Curve::KeyColumn).
  char keyIds[4] = {};
};

// Where the run's lines have a gap (a line that went away, an instrument
// that paused): a line more than kGapPeriods of the lines' own period after
// the one before, and at least kMinGapMs. The period is the lower median of
// the last intervals between lines; until two intervals tell it, no gap is
// found.
class GapFinder {
 public:
  static constexpr int kGapPeriods = 5;
  static constexpr std::int64_t kMinGapMs = 2000;

  void Clear();
  // The next line's time stamp: true when a gap lies before it.
  bool Take(std::int64_t timeMs);

 private:
  static constexpr int kIntervals = 8;
  std::int64_t intervals_[kIntervals] = {};
  int count_ = 0, next_ = 0;
  bool started_ = false;
  std::int64_t last_ = 0;
};

class RunHistory {
 public:
  // Values (entries x traces) kept at most (32 MB), and entries at most.
  static constexpr std::size_t kDefaultMaxValues = std::size_t{4} << 20;
  static constexpr std::size_t kDefaultMaxEntries = std::size_t{1} << 16;

  // What a curve of the history has for its keys: the elapsed minutes of
  // the entries (the XY graph's time), their temperature or depth (the
  // profile graphs), or their number in the history (the strip chart).
  enum class Keys { Minutes, Temperature, Depth, Index };

  explicit RunHistory(std::size_t maxValues = kDefaultMaxValues,
                      std::size_t maxEntries = kDefaultMaxEntries);
  // One history per run: a copy would share the columns.
  RunHistory(const RunHistory&) = delete;
  RunHistory& operator=(const RunHistory&) = delete;
  RunHistory(RunHistory&&) = default;
  RunHistory& operator=(RunHistory&&) = default;

  // Empties the history for a run of `traceCount` traces.
  void Clear(int traceCount);
  // Appends one entry (values beyond the trace count are ignored, missing
  // ones are 0), after a gap in the run's lines when `gapBefore` (its
  // curves are broken there). True when older entries were thinned to make
  // room.
  bool Add(std::int64_t timeMs, double temperature, double depth, std::span<const double> values,
           bool gapBefore = false);

  std::size_t size() const { return data_->times.size(); }
  bool empty() const { return data_->times.empty(); }
  int traceCount() const { return data_->traces; }
  // The most entries the history keeps for its trace count.
  std::size_t capacity() const { return capacity_; }
  std::int64_t time(std::size_t i) const { return data_->times[i]; }
  double temperature(std::size_t i) const { return data_->temperatures[i]; }
  double depth(std::size_t i) const { return data_->depths[i]; }
  bool gapBefore(std::size_t i) const { return data_->breaks[i] != 0; }
  double value(std::size_t i, int trace) const { return data_->columns[static_cast<std::size_t>(trace)].values[i]; }
  // The first entry at or after `timeMs` (size() when none).
  std::size_t FirstAtOrAfter(std::int64_t timeMs) const;
  // The extremes of a trace over entries [from, to), from its pyramid.
  platform::Extremes TraceExtremes(int trace, std::size_t from, std::size_t to) const;

  // The extremes of every entry ever added since Clear (thinned ones too).
  double traceMin(int trace) const { return traceMin_[static_cast<std::size_t>(trace)]; }
  double traceMax(int trace) const { return traceMax_[static_cast<std::size_t>(trace)]; }
  double temperatureMin() const { return tempMin_; }
  double temperatureMax() const { return tempMax_; }
  double depthMin() const { return depthMin_; }
  double depthMax() const { return depthMax_; }
  // Entries added since Clear, thinned ones included.
  std::size_t added() const { return added_; }

  // Trace `trace` as a curve against `keys`, read from the history as it
  // is whenever it is drawn: it grows with every entry added, changes
  // (Revision) when the history thins or is cleared, and is empty while
  // the history holds no such trace. The curve shares the history's
  // columns, so that it stays valid however long the user interface keeps
  // it.
  std::shared_ptr<const platform::Curve> TraceCurve(int trace, Keys keys) const;
  // The columns themselves, shared as the curves share them (a time axis
  // reads the entries' times when it is drawn).
  std::shared_ptr<const HistoryColumns> columns() const { return data_; }

 private:
  void Thin();

  std::size_t maxValues_;
  std::size_t maxEntries_;
  std::size_t capacity_ = 0;
  std::size_t added_ = 0;
  // The time step of the older half's entries since the last thinning (ms).
  std::int64_t spacing_ = 0;
  std::shared_ptr<HistoryColumns> data_;
  std::vector<double> traceMin_;
  std::vector<double> traceMax_;
  double tempMin_ = 0.0, tempMax_ = 0.0, depthMin_ = 0.0, depthMax_ = 0.0;
};

}  // namespace sondrix
