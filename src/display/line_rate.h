// SPDX-License-Identifier: GPL-3.0-or-later
// LineRate: the rate at which a source's samples arrive, estimated from the
// time stamps of its lines, for sources whose packets do not carry it (the
// hyperspectral meter's newer packets, recordings of them).
//
// Each good line is noted with its time stamp and the number of samples the
// run had read by then, lost ones included (a lost sample took its place in
// the instrument's time as well). The rate is the samples between the oldest
// line of the last two seconds and the newest line, over the time between
// them: a few lines are enough at any rate, a burst of late lines (the
// program caught up after falling behind) does not count, and the reading
// follows a change of rate within seconds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace sondrix {

class LineRate {
 public:
  // Lines kept at most, and the span of line time an estimate looks back.
  static constexpr std::size_t kLines = 64;
  static constexpr std::int64_t kWindowMs = 2000;

  void Clear();
  // A good line stamped `timeMs` after `samples` samples of the run. A time
  // stamp before the last one starts the estimate afresh.
  void Add(std::int64_t timeMs, long long samples);
  // Samples per second; nothing before two lines some time apart.
  std::optional<double> Estimate() const;

 private:
  struct Mark {
    std::int64_t timeMs = 0;
    long long samples = 0;
  };
  const Mark& Back(std::size_t age) const;  // 0: the newest

  std::array<Mark, kLines> marks_{};
  std::size_t count_ = 0;
  std::size_t next_ = 0;
};

}  // namespace sondrix
