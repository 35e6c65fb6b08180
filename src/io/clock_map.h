// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument's clock against UTC.
//
// A meter stamps its samples with its own counter, whose crystal is not the
// ship's clock: 100 ppm off is 8.6 s a day. What the computer knows is when
// each packet arrived. A packet leaves the instrument after its last sample
// was measured and takes (bytes x 10 / baud) seconds on the line, so its
// arrival, less that transmission time, is an upper bound of the UTC at
// which its last sample was measured: the bound is late by however long the
// bytes waited in the adapter, the kernel and the program before they were
// read, never early.
//
// ClockFit keeps the lower envelope of those bounds: for every minute of
// instrument time the one packet that was least late (the smallest UTC less
// instrument time) is an anchor. Between anchors a sample's UTC is
// interpolated, which follows a crystal's drift exactly as long as the drift
// is steady over a minute; before the first anchor and after the last the
// slope of the anchors (over at least ten minutes when the run is that long,
// else 1) carries it on. A read that comes late, however late, cannot move
// the map: only the least late packet of a minute counts.
//
// Where the instrument's time line stops following real time (its counter
// started again, or a gap too long for the counter to tell), the map starts
// a new piece: anchors on either side of such a break are never joined. A
// decoder tells the breaks it knows of (Break); a run of bounds more than a
// second later than the map for ten seconds of instrument time, with no
// packet near the map among them, is taken as one the decoder did not see.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace sondrix {

// One point of the map: the instrument's time (ms on the run's time line)
// and the UTC at which the sample of that time was measured (ms since
// 1970-01-01T00:00:00Z).
struct ClockAnchor {
  std::int64_t timeMs = 0;
  std::int64_t utcMs = 0;
  bool operator==(const ClockAnchor&) const = default;
};

// A fitted map, as a run stores it with its recording.
struct ClockMap {
  // In time order.
  std::vector<ClockAnchor> anchors;
  // Instrument times at which the relation started anew, ascending.
  std::vector<std::int64_t> breaks;

  bool Empty() const { return anchors.empty(); }
  // The UTC of instrument time `timeMs` (the map must not be empty).
  std::int64_t Utc(std::int64_t timeMs) const;
  bool operator==(const ClockMap&) const = default;
};

// The UTC of the sample stamped `stampMs` on a run's time base: `map` when
// it has anchors, else `timeZeroUtcMs` plus the stamp (at the ends of 64
// bits when the sum goes beyond them), else none. Every sample's UTC comes
// from here: the exports' (ExportHeader::UtcOf, by the companion's map) and
// the live run's (Acquisition::UtcOf, by the map fitted so far).
std::optional<std::int64_t> SampleUtc(const ClockMap& map, std::optional<std::int64_t> timeZeroUtcMs,
                                      std::int64_t stampMs);

// How the map is made, in the words every file that uses it carries.
inline constexpr const char* kClockMethod =
    "instrument counter mapped to UTC by the lower envelope of packet arrivals less their transmission "
    "time (8N1 at the line's baud rate): per 60 s of instrument time the least-late packet is an anchor, "
    "linear between anchors";

class ClockFit {
 public:
  // Anchors one per `windowMs` of instrument time.
  static constexpr std::int64_t kWindowMs = 60000;
  // A bound this much later than the map starts a suspected break...
  static constexpr std::int64_t kJumpMs = 1000;
  // ...confirmed when no bound comes near the map for this long.
  static constexpr std::int64_t kJumpConfirmMs = 10000;

  // Forgets everything: a new run.
  void Reset();
  // The sample at instrument time `timeMs` was measured at `utcBoundMs` or
  // earlier.
  void Observe(std::int64_t timeMs, std::int64_t utcBoundMs);
  // The instrument's time line no longer follows real time from `timeMs` on.
  void Break(std::int64_t timeMs);
  // Starts from a stored map (a recording made again from its capture): its
  // anchors and breaks stand, and nothing more is fitted.
  void Adopt(ClockMap map);

  bool Empty() const { return map_.anchors.empty(); }
  // The map so far: the anchors of the minutes closed, and the best bound
  // of the minute going on (its last anchor while the minute is open).
  const ClockMap& Map() const { return map_; }
  // The UTC of instrument time `timeMs` by the map so far (empty: none yet).
  std::optional<std::int64_t> Utc(std::int64_t timeMs) const;
  // Anchors closed so far (a caller stores the map when this grows).
  std::size_t ClosedAnchors() const { return map_.anchors.size() - (open_ ? 1 : 0); }
  // Bounds observed since the last Reset.
  long long observations() const { return observations_; }

 private:
  void Close();
  void Take(const ClockAnchor& bound);

  // The anchors closed, then the best bound of the minute going on while
  // `open_`.
  ClockMap map_;
  bool open_ = false;
  bool adopted_ = false;
  std::int64_t windowStart_ = 0;
  // Bounds far later than the map, held until they prove a break or a
  // bound near the map shows they were only read late.
  std::vector<ClockAnchor> suspects_;
  long long observations_ = 0;
};

}  // namespace sondrix
