// SPDX-License-Identifier: GPL-3.0-or-later
// The depth of a CTD's pressure against the UNESCO formula's published
// check value, and casts cut from depths written by hand.
#include "processing/profiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <vector>

namespace sondrix {
namespace {

TEST(DepthFromPressure, GivesTheUnescoCheckValue) {
  // UNESCO technical papers in marine science 44 (1983), p. 28: 10000 dbar
  // at 30 degrees latitude is 9712.653 m.
  EXPECT_NEAR(DepthFromPressure(10000.0, 30.0), 9712.653, 0.0005);
  EXPECT_NEAR(DepthFromPressure(100.0, 45.0), 99.2, 0.1);
}

TEST(FindCasts, CutsDescentsAtTheSurfaceLayerAndLeavesSoakingAndRipplesOut) {
  // One sample a second: a soak at 0.5 m, a dip to 1.2 m (less than half a
  // metre below the 1 m layer), a cast to 5 m, a soak, then a cast cut off
  // by the record's end.
  const double depths[] = {0.5, 0.5, 0.5, 1.2, 0.5, 0.5, 2.0, 3.0, 5.0, 4.0, 2.0, 0.8, 0.5, 0.5, 3.0, 6.0};
  std::vector<DepthSample> samples;
  for (std::size_t k = 0; k < std::size(depths); ++k) samples.push_back({static_cast<std::int64_t>(k) * 1000, depths[k]});
  CastSettings settings;
  settings.smoothSeconds = 0.0;
  const std::vector<Cast> casts = FindCasts(samples, settings);
  ASSERT_EQ(casts.size(), 2u);
  EXPECT_EQ(casts[0].startMs, 6000);
  EXPECT_EQ(casts[0].bottomMs, 8000);
  EXPECT_EQ(casts[0].endMs, 10000);
  EXPECT_EQ(casts[0].maxDepth, 5.0);
  EXPECT_EQ(casts[0].samples, 5);
  EXPECT_EQ(casts[1].number, 2);
  EXPECT_EQ(casts[1].startMs, 14000);
  EXPECT_EQ(casts[1].endMs, 15000);

  // Events decide when there are any: a start without an end lasts to the
  // end of the record.
  const CastEvent events[] = {{2000, true}, {9000, false}, {13000, true}};
  const std::vector<Cast> marked = FindCasts(samples, settings, events);
  ASSERT_EQ(marked.size(), 2u);
  EXPECT_EQ(marked[0].startMs, 2000);
  EXPECT_EQ(marked[0].endMs, 9000);
  EXPECT_EQ(marked[0].bottomMs, 8000);
  EXPECT_TRUE(marked[0].fromEvents);
  EXPECT_EQ(marked[1].startMs, 13000);
  EXPECT_EQ(marked[1].endMs, 15000);
}

TEST(LiveCasts, EventsMarkedDuringTheRunCutTheCastsTheFileCuts) {
  // A dive to 20 m every 100 s, once a second; casts marked by hand from
  // 10 s to 90 s and from 110 s to 150 s (the second dive cut short), the
  // live run hearing of each as it is marked.
  std::vector<DepthSample> samples;
  for (int t = 0; t < 300; ++t)
    samples.push_back({t * 1000, 10.0 * (1.0 - std::cos(2.0 * 3.14159265358979 * t / 100.0))});
  const CastEvent events[] = {{10000, true}, {90000, false}, {110000, true}, {150000, false}};
  ProfileSettings settings;
  const std::vector<Cast> file = FindCasts(samples, settings.casts, events);
  LiveCasts live(settings, 1);
  std::size_t next = 0;
  for (const DepthSample& s : samples) {
    while (next < std::size(events) && events[next].timeMs <= s.timeMs) live.Event(events[next++]);
    const double value = s.depth;
    live.Add(s.timeMs, s.depth, std::span<const double>(&value, 1));
  }
  ASSERT_EQ(file.size(), 2u);
  ASSERT_EQ(live.casts().size(), 2u);
  for (std::size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(live.casts()[k].startMs, file[k].startMs);
    EXPECT_EQ(live.casts()[k].bottomMs, file[k].bottomMs);
    EXPECT_EQ(live.casts()[k].endMs, file[k].endMs);
    EXPECT_TRUE(live.casts()[k].fromEvents);
  }
  EXPECT_EQ(file[0].startMs, 10000);
  EXPECT_EQ(file[0].bottomMs, 50000);
  EXPECT_EQ(file[0].endMs, 90000);
  EXPECT_EQ(file[1].endMs, 150000);
  // The last cast's down-cast, binned: a metre a bin, each bin's mean the
  // depth's own mean there.
  EXPECT_EQ(live.previousCast(), 2);
  const std::vector<ProfileBin>& bins = live.previousBins();
  ASSERT_EQ(bins.size(), 21u);  // 20 m exactly at the bottom: bin 20
  for (std::size_t k = 3; k < bins.size(); ++k) {
    if (bins[k].values.empty()) continue;
    EXPECT_GE(bins[k].values[0].value, static_cast<double>(k)) << k;
    EXPECT_LT(bins[k].values[0].value, static_cast<double>(k + 1)) << k;
  }
}

}  // namespace
}  // namespace sondrix
