// SPDX-License-Identifier: GPL-3.0-or-later
// The depth of a CTD's pressure against the UNESCO formula's published
// check value, and casts cut from depths written by hand.
#include "processing/profiles.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace sondrix
