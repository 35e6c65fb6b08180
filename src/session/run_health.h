// SPDX-License-Identifier: GPL-3.0-or-later
// How sound a run is at a glance: the state of its line, the samples lost
// over the last minute, the age of the GPS fix and of other ship data, and
// the hours of recording the disk still has room for. The run keeps the
// numbers (Acquisition::Health); each comes with a level that says whether
// it is good, worth a look (amber) or wrong (red), at the thresholds below
// (docs/display.md, "The health strip"). A view only shows them.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace sondrix {

enum class HealthLevel { None, Good, Amber, Red };

// The run's line: no run, lines arriving, none for a while (or none yet),
// the serial line gone (its device is looked for), or its device back and
// the packets being found again.
enum class LineState { Idle, Reading, Waiting, Lost, Reconnecting };

// A line is waited for once none came for this long (seconds), or a
// quarter of the silence that ends the run when that is longer.
inline constexpr double kHealthWaitSeconds = 3.0;
// Lost samples over the last minute: amber from 0.1 %, red from 1 %.
inline constexpr double kLossWindowSeconds = 60.0;
inline constexpr double kLossAmber = 0.001;
inline constexpr double kLossRed = 0.01;
// The age of a GPS fix or of ship data: amber past 10 s, red past 60 s.
inline constexpr double kAgeAmberSeconds = 10.0;
inline constexpr double kAgeRedSeconds = 60.0;
// Ship data comes less often than fixes (a thermosalinograph may report
// every 10 s): stale past 30 s, the longest gap the exports interpolate over.
inline constexpr double kAncillaryAmberSeconds = 30.0;
// Hours of recording left on the recording's disk: amber below 24 h, red
// below 2 h. The disk is looked at every kDiskProbeSeconds; the rate is
// that of the last kDiskRateSeconds of the run.
inline constexpr double kDiskAmberHours = 24.0;
inline constexpr double kDiskRedHours = 2.0;
inline constexpr double kDiskProbeSeconds = 5.0;
inline constexpr double kDiskRateSeconds = 600.0;

// The age of one stream of data beside the instrument's (a GPS receiver,
// ship data).
struct DataAge {
  std::string name;            // "GPS", "Ship"
  bool on = false;             // the run reads such a source
  std::optional<double> age;   // seconds since its last good datum (none: none yet)
  bool failed = false;         // the source failed or went away
  double amberSeconds = kAgeAmberSeconds;  // older is stale (ship data: kAncillaryAmberSeconds)
};

struct RunHealth {
  LineState line = LineState::Idle;
  // Seconds without a line (waiting), or since the line went (lost,
  // reconnecting).
  double lineSeconds = 0.0;
  // Samples over the last minute of the run's time: lost and all (good
  // and lost); none before two lines.
  long long windowLost = 0;
  long long windowSamples = 0;
  double windowSeconds = 0.0;
  std::optional<double> lostRate() const {
    if (windowSamples <= 0) return std::nullopt;
    return static_cast<double>(windowLost) / static_cast<double>(windowSamples);
  }
  DataAge gps{"GPS", false, std::nullopt, false, kAgeAmberSeconds};
  // Ship data and other ancillary streams, one each (none yet).
  std::vector<DataAge> ancillary;
  // The recording's disk: bytes free, the rate the run writes (bytes a
  // second) and the hours left at that rate; none until known.
  std::optional<std::uint64_t> diskFree;
  std::optional<double> writeRate;
  std::optional<double> diskHours;
};

HealthLevel LineLevel(LineState state);
HealthLevel LossLevel(std::optional<double> rate);
HealthLevel AgeLevel(const DataAge& age);
HealthLevel DiskLevel(std::optional<double> hours);
// The worst of the levels.
HealthLevel Worst(std::initializer_list<HealthLevel> levels);

// Good and lost samples over the last kLossWindowSeconds of the run's time
// (its lines' time stamps): Add the run's totals with each line.
class LossWindow {
 public:
  void Clear() { marks_.clear(); }
  void Add(std::int64_t timeMs, long long good, long long lost);
  // Fills the window's part of `health`.
  void Fill(RunHealth& health) const;

 private:
  struct Mark {
    std::int64_t timeMs;
    long long good;
    long long lost;
  };
  // One mark a second at most, back to a mark at least a window old.
  std::deque<Mark> marks_;
};

// Bytes the run writes a second, from the totals it gives now and then:
// the rate over the last kDiskRateSeconds.
class WriteRate {
 public:
  void Clear() { marks_.clear(); }
  void Add(double seconds, std::uint64_t bytes);
  std::optional<double> Rate() const;

 private:
  std::deque<std::pair<double, std::uint64_t>> marks_;
};

}  // namespace sondrix
