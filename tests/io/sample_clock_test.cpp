// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/sample_clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace sondrix {
namespace {

// One packet of a case: the counters as sent, the damaged samples in front
// of it; what the time line must make of it.
struct Packet {
  std::vector<std::uint32_t> counts;
  int damaged = 0;
  int lost = 0;                     // samples the counter says are missing
  std::vector<std::int64_t> times;  // place of each sample (hundredths)
  bool repeat = false;
};

struct Case {
  const char* what;
  std::int64_t range;
  std::int64_t window;
  int perTick;
  double step;  // counts per sample the packets declare (0: none)
  std::vector<Packet> packets;
  long long restarts;
};

class TimelineCase : public testing::TestWithParam<Case> {};

TEST_P(TimelineCase, PlacesEverySampleAndCountsWhatIsMissing) {
  const Case& c = GetParam();
  PacketTimeline timeline(c.range, c.window, c.perTick);
  timeline.Reset();
  for (std::size_t p = 0; p < c.packets.size(); ++p) {
    const Packet& expected = c.packets[p];
    std::vector<DataSample> samples(expected.counts.size());
    for (std::size_t k = 0; k < samples.size(); ++k) samples[k].count = expected.counts[k];
    const PacketTimeline::Placed placed = timeline.Place(samples, c.step, expected.damaged);
    EXPECT_EQ(placed.repeat, expected.repeat) << c.what << ", packet " << p;
    if (expected.repeat) continue;
    EXPECT_EQ(placed.lost, expected.lost) << c.what << ", packet " << p;
    std::vector<std::int64_t> times;
    for (const DataSample& s : samples) times.push_back(s.time);
    EXPECT_EQ(times, expected.times) << c.what << ", packet " << p;
  }
  EXPECT_EQ(timeline.Restarts(), c.restarts) << c.what;
}

// 16-bit counters of hundredths, 10 samples a packet at 5 counts a sample;
// 32-bit counters of milliseconds, one sample a packet at 250 ms.
INSTANTIATE_TEST_SUITE_P(
    Counters, TimelineCase,
    testing::Values(
        Case{"a wrap near the top of 16 bits",
             65536, 16384, 1, 5.0,
             {{{65500, 65505, 65510, 65515, 65520, 65525, 65530, 65535, 4, 9}, 0, 0,
               {65500, 65505, 65510, 65515, 65520, 65525, 65530, 65535, 65540, 65545}},
              {{14, 19}, 0, 0, {65550, 65555}}},
             0},
        Case{"samples missing across a wrap are counted from the counter",
             65536, 16384, 1, 5.0,
             {{{65530, 65535}, 0, 0, {65530, 65535}}, {{19, 24}, 10, 3, {65555, 65560}}},
             0},
        Case{"a restart far from the top goes on one period after the last sample",
             65536, 16384, 1, 5.0,
             {{{30000, 30005}, 0, 0, {30000, 30005}}, {{0, 5}, 2, 2, {30010, 30015}}},
             1},
        Case{"a repeated packet is dropped and costs nothing",
             65536, 16384, 1, 5.0,
             {{{100, 105}, 0, 0, {100, 105}},
              {{100, 105}, 0, 0, {}, true},
              {{110, 115}, 0, 0, {110, 115}}},
             0},
        Case{"a stray pattern counted damaged costs nothing when the counter runs on",
             65536, 16384, 1, 5.0,
             {{{100, 105}, 0, 0, {100, 105}}, {{110, 115}, 2, 0, {110, 115}}},
             0},
        Case{"more than half the range cannot be told from a restart: the damage is counted",
             65536, 16384, 1, 5.0,
             {{{100}, 0, 0, {100}}, {{40000}, 10, 10, {40000}}},
             0},
        Case{"no step: the damage is counted",
             65536, 16384, 1, -1.0,
             {{{100, 100}, 0, 0, {100, 100}}, {{130, 130}, 10, 10, {130, 130}}},
             0},
        Case{"a counter slower than the samples may show a count twice: no repeat",
             65536, 16384, 1, -1.0,
             {{{100, 100}, 0, 0, {100, 100}}, {{100, 100}, 0, 0, {100, 100}}},
             0},
        Case{"milliseconds: the period is learnt, then an overrun of five packets is counted",
             std::int64_t{1} << 32, 3600000, 10, 0.0,
             {{{1000}, 0, 0, {100}},
              {{1250}, 0, 0, {125}},
              {{1500}, 0, 0, {150}},
              {{3000}, 0, 5, {300}}},
             0},
        Case{"milliseconds: the first packets after a sync know no period",
             std::int64_t{1} << 32, 3600000, 10, 0.0,
             {{{1000}, 0, 0, {100}}, {{1750}, 2, 2, {175}}},
             0},
        Case{"milliseconds: a wrap near 2^32",
             std::int64_t{1} << 32, 3600000, 10, 0.0,
             {{{4294966796u}, 0, 0, {429496679}},
              {{4294967046u}, 0, 0, {429496704}},
              {{0}, 0, 0, {429496729}},
              {{250}, 0, 0, {429496754}}},
             0},
        Case{"milliseconds: a clock that starts again after two days is a restart",
             std::int64_t{1} << 32, 3600000, 10, 0.0,
             {{{172800000}, 0, 0, {17280000}},
              {{172800250}, 0, 0, {17280025}},
              {{40}, 0, 0, {17280050}},
              {{290}, 0, 0, {17280075}}},
             1}));

}  // namespace
}  // namespace sondrix
