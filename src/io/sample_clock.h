// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument's sample counter on a time line that never runs backwards,
// and what the counter tells about the samples missing between two good
// packets.
//
// Every meter stamps its samples with a counter of limited range: the
// absorption/attenuation meters with 16 bits of hundredths of a second per
// sample, the hyperspectral meter with 32 bits of milliseconds per packet.
//
// - A decrease is a wrap only when the count before it was near the top of
//   the range: the distance across the top is within the wrap window. Any
//   other decrease is a restart of the instrument's clock (a reset, a power
//   blip, a capture made of two runs): the time line goes on from the last
//   sample plus one sample period and then follows the counter again, and
//   the samples lost across the restart are not known from the counter.
// - A packet whose first count equals that of the good packet before it is a
//   repeat of that packet (a duplicated packet): it is no new data.
// - Between two good packets the samples missing are the counter's advance
//   divided by the counts per sample, less one: the advance from the grid
//   of the last samples in a row (up to kGridSamples) to that of the new
//   packet's, each placed by the mean of its counts, so that a count cut
//   to whole hundredths at either end cannot add or take a sample where a
//   sample is less than two counts long (samples off their grid by more
//   than a count and a half: the two counts at the ends). Where the
//   counter cannot tell
//   (the first packet after a synchronisation, a restart, an advance of more
//   than half the range, no known counts per sample), the samples of the
//   damaged packets in between are what is counted.
//
// The time line is kept in the counter's own units; a sample's `time` is its
// place on it in hundredths of a second (the units the meters stamp lines
// in), so the time stamps of a run are (time - first time) x 10 ms.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "io/data_buffer.h"

namespace sondrix {

class SampleClock {
 public:
  enum class Kind { First, Forward, Repeat, Wrap, Restart };

  // A counter of `range` counts (0 ... range - 1, then 0 again); a decrease
  // reaching at most `wrapWindow` counts across the top is a wrap. After a
  // restart the time line keeps the counter's phase modulo `align` (the
  // counts of one unit of the time stamps), so that the stamps go on
  // following the counter unit for unit.
  SampleClock(std::int64_t range, std::int64_t wrapWindow, std::int64_t align = 1);

  // Forgets the readings: the next one is the first.
  void Reset();
  // How `count` follows the last reading.
  Kind Classify(std::uint32_t count) const;
  // How far the counter advanced to `count` for a Forward or Wrap reading
  // (0 otherwise).
  std::int64_t Advance(std::uint32_t count) const;
  // Takes `count` as the next reading and returns its place on the time
  // line: the first reading stands at its own count, a restart `restartStep`
  // (at least 1) after the last reading, moved on to the counter's phase.
  std::int64_t Take(std::uint32_t count, std::int64_t restartStep);

  std::int64_t Range() const { return range_; }
  long long Restarts() const { return restarts_; }

 private:
  std::int64_t range_;
  std::int64_t wrapWindow_;
  std::int64_t align_;
  bool started_ = false;
  std::uint32_t last_ = 0;
  std::int64_t position_ = 0;
  long long restarts_ = 0;
};

// The time line of a decoder's good packets: places their samples, tells
// the samples lost in front of each and recognises repeated packets.
class PacketTimeline {
 public:
  // `perTick`: counter units per hundredth of a second (1 for a counter of
  // hundredths, 10 for one of milliseconds).
  PacketTimeline(std::int64_t range, std::int64_t wrapWindow, int perTick);

  // Starts afresh (a synchronisation): restarts are counted anew.
  void Reset();

  struct Placed {
    bool repeat = false;  // the packet repeats the one before: drop it
    int lost = 0;         // samples missing in front of the packet
  };
  // Places the samples of a good packet, whose `count` holds each sample's
  // counter as sent, filling their `time`. `step`: counts per sample the
  // packet declares (0 when it declares none: the steps between earlier
  // packets of one sample are taken then; negative when the counter cannot
  // tell samples apart, so that neither lost samples nor repeats are told
  // from it). `damaged`: the samples of
  // the damaged packets since the last good one.
  Placed Place(std::span<DataSample> samples, double step, int damaged);

  // The good samples whose places set the grid a next packet is measured
  // from.
  static constexpr std::size_t kGridSamples = 64;

  // The bytes since the last packet were thrown away on purpose (the
  // user's action: DataBuffer::DiscardInput): the next packet goes on the
  // time line as ever, but its distance from the last one counts no
  // samples lost and teaches no sample period.
  void Discarded() { discarded_ = true; }

  // Whether a good packet was placed since the last Reset.
  bool HasPacket() const { return havePacket_; }
  // Restarts of the instrument's clock since the last Reset.
  long long Restarts() const { return clock_.Restarts(); }
  // Repeated packets dropped since the last Reset.
  long long Repeats() const { return repeats_; }
  // The restarts and repeats as a decoder reports them.
  StreamEvents Events() const {
    StreamEvents events;
    events.clockRestarts = Restarts();
    events.repeats = repeats_;
    return events;
  }

 private:
  double LearntStep() const;
  // A good sample: its place in the run's sequence of samples (lost ones
  // included) and on the time line.
  struct GridPoint {
    std::int64_t index = 0;
    std::int64_t place = 0;
  };
  static std::optional<double> GridOffset(std::span<const GridPoint> points, double step);

  SampleClock clock_;
  int perTick_;
  bool havePacket_ = false;
  std::uint32_t lastFirst_ = 0;
  // The advances between the last consecutive good packets of one sample.
  std::array<std::int64_t, 8> steps_{};
  int stepCount_ = 0;
  int nextStep_ = 0;
  long long repeats_ = 0;
  // The last good samples since the counter last could not tell
  // (kGridSamples at most), and those of the packet being placed.
  std::vector<GridPoint> grid_;
  std::vector<GridPoint> placedNow_;
  bool discarded_ = false;
};

}  // namespace sondrix
