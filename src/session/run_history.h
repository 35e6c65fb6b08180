// SPDX-License-Identifier: GPL-3.0-or-later
// RunHistory: the run's drawn points, shared by every graph, so that a graph
// put on show during or after a run is drawn with the whole run instead of
// an empty frame. One entry per display bin: the time, temperature and depth
// of its last line and every trace's average over the bin (all traces, so
// that a trace made visible later has its past too).
//
// The history is bounded. When it is full, its older half is thinned to one
// even resolution (about half its entries), keeping of each step the entry
// that stands out most: the newest half keeps every point, the older part is
// drawn evenly, spikes stay, and the whole run is always there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sondrix {

class RunHistory {
 public:
  // Values (entries x traces) kept at most (32 MB), and entries at most.
  static constexpr std::size_t kDefaultMaxValues = std::size_t{4} << 20;
  static constexpr std::size_t kDefaultMaxEntries = std::size_t{1} << 16;

  explicit RunHistory(std::size_t maxValues = kDefaultMaxValues,
                      std::size_t maxEntries = kDefaultMaxEntries);

  // Empties the history for a run of `traceCount` traces.
  void Clear(int traceCount);
  // Appends one entry (values beyond the trace count are ignored, missing
  // ones are 0). True when older entries were thinned to make room.
  bool Add(std::int64_t timeMs, double temperature, double depth, std::span<const double> values);

  std::size_t size() const { return times_.size(); }
  bool empty() const { return times_.empty(); }
  int traceCount() const { return traces_; }
  // The most entries the history keeps for its trace count.
  std::size_t capacity() const { return capacity_; }
  std::int64_t time(std::size_t i) const { return times_[i]; }
  double temperature(std::size_t i) const { return temperatures_[i]; }
  double depth(std::size_t i) const { return depths_[i]; }
  double value(std::size_t i, int trace) const {
    return values_[i * static_cast<std::size_t>(traces_) + static_cast<std::size_t>(trace)];
  }
  // The first entry at or after `timeMs` (size() when none).
  std::size_t FirstAtOrAfter(std::int64_t timeMs) const;

  // The extremes of every entry ever added since Clear (thinned ones too).
  double traceMin(int trace) const { return traceMin_[static_cast<std::size_t>(trace)]; }
  double traceMax(int trace) const { return traceMax_[static_cast<std::size_t>(trace)]; }
  double temperatureMin() const { return tempMin_; }
  double temperatureMax() const { return tempMax_; }
  double depthMin() const { return depthMin_; }
  double depthMax() const { return depthMax_; }
  // Entries added since Clear, thinned ones included.
  std::size_t added() const { return added_; }

 private:
  void Thin();

  std::size_t maxValues_;
  std::size_t maxEntries_;
  std::size_t capacity_ = 0;
  int traces_ = 0;
  std::size_t added_ = 0;
  // The time step of the older half's entries since the last thinning (ms).
  std::int64_t spacing_ = 0;
  std::vector<std::int64_t> times_;
  std::vector<double> temperatures_;
  std::vector<double> depths_;
  std::vector<double> values_;
  std::vector<double> traceMin_;
  std::vector<double> traceMax_;
  double tempMin_ = 0.0, tempMax_ = 0.0, depthMin_ = 0.0, depthMax_ = 0.0;
};

}  // namespace sondrix
