// SPDX-License-Identifier: GPL-3.0-or-later
// The time axes of the XY graph and the strip chart: ticks at round times,
// read as UTC clock time ("14:05:30") or as the run's elapsed minutes, the
// user's choice (Display > Clock Time (UTC), kept in the display
// configuration file). Clock time needs the UTC of the run's time stamp 0
// (a live run's clock map, a replayed recording's companion); without it
// the axes read elapsed time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/time_scale.h"
#include "session/run_history.h"

namespace sondrix {

// How the time axes read, shared by the scales of the graphs.
struct TimeBase {
  bool clock = true;                       // the user's choice: UTC clock time
  std::optional<std::int64_t> utcZeroMs;   // the UTC of time stamp 0, when known
  bool ShowsClock() const { return clock && utcZeroMs.has_value(); }
};

// The axes' captions.
inline constexpr const char* kClockCaption = "Time (UTC)";
inline constexpr const char* kElapsedCaption = "Elapsed time (minutes)";

// Ticks at round times over the run's time stamps [loMs, hiMs]: at most
// about `most`, each step one of 1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15,
// 30 min, 1, 2, 3, 6, 12 h, 1 day of clock time ("HH:MM:SS", "HH:MM" from a
// minute on, "MM-DD" from a day on), or 1, 2 or 5 times a power of ten of
// elapsed minutes ("2.5"). The ticks' keys are time stamps in ms.
std::vector<platform::TimeTick> RoundTimeTicks(double loMs, double hiMs, int most, const TimeBase& base);

// A time axis of the run's history: keys of elapsed minutes (the XY graph)
// or of entry numbers (the strip chart), read through the history's times
// whenever the axis is drawn.
class HistoryTimeScale final : public platform::TimeScale {
 public:
  HistoryTimeScale(std::shared_ptr<const HistoryColumns> columns, RunHistory::Keys keys,
                   std::shared_ptr<const TimeBase> base);
  std::string Caption() const override;
  std::vector<platform::TimeTick> Ticks(double lo, double hi, int most) const override;
  // "14:05:31.2 UTC", or "12.352 min" of elapsed time.
  std::string Read(double key) const override;

  // The time stamp at key `key`, and the key at time stamp `ms` (entry
  // numbers: between two entries as between their times).
  std::optional<double> TimeAt(double key) const;
  std::optional<double> KeyAt(double ms) const;

 private:
  std::shared_ptr<const HistoryColumns> columns_;
  RunHistory::Keys keys_;
  std::shared_ptr<const TimeBase> base_;
};

}  // namespace sondrix
