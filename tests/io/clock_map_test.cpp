// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument's clock mapped to UTC from arrival bounds, against a clock
// whose truth the test knows: a crystal off by a known rate, reads late by
// a random delay (and now and then by seconds), and time lines that jump.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "common/text_format.h"
#include "io/clock_map.h"

namespace sondrix {
namespace {

// A crystal `ppm` fast: instrument time t ms was measured at true UTC
// start + t / (1 + ppm 1e-6).
struct Crystal {
  std::int64_t startUtc = 1'765'000'000'000;
  double ppm = 0.0;
  std::int64_t TrueUtc(std::int64_t t) const { return startUtc + std::llround(t / (1.0 + ppm * 1e-6)); }
};

// Feeds a packet every `periodMs` of instrument time from `fromMs` for
// `spanMs`, each read late by an exponential delay of 30 ms on average and
// one in 30 by 1 ... 6 s more.
void Feed(ClockFit& fit, const Crystal& crystal, std::int64_t fromMs, std::int64_t spanMs, std::int64_t periodMs,
          std::mt19937_64& rng) {
  std::exponential_distribution<double> delay(1.0 / 30.0);
  std::uniform_int_distribution<int> stall(1000, 6000);
  for (std::int64_t t = fromMs; t < fromMs + spanMs; t += periodMs) {
    const auto late = std::llround(delay(rng)) + (rng() % 30 == 0 ? stall(rng) : 0);
    fit.Observe(t, crystal.TrueUtc(t) + late);
  }
}

std::int64_t WorstError(const ClockMap& map, const Crystal& crystal, std::int64_t fromMs, std::int64_t toMs) {
  std::int64_t worst = 0;
  for (std::int64_t t = fromMs; t <= toMs; t += 997) worst = std::max(worst, std::abs(map.Utc(t) - crystal.TrueUtc(t)));
  return worst;
}

TEST(ClockFit, FollowsADriftingCrystalThroughLateReads) {
  for (const double ppm : {-150.0, 0.0, 100.0}) {
    std::mt19937_64 rng(3);
    const Crystal crystal{.ppm = ppm};
    ClockFit fit;
    // A day, a packet every 1.667 s.
    Feed(fit, crystal, 0, 86'400'000, 1667, rng);
    const ClockMap map = fit.Map();
    EXPECT_NEAR(static_cast<double>(map.anchors.size()), 1440.0, 2.0);
    // Within the read delay's floor everywhere, the first sample and the
    // last among them; a day at 100 ppm is 8.6 s of drift.
    EXPECT_LE(WorstError(map, crystal, 0, 86'400'000), 15) << ppm << " ppm";
    // Beyond the last packet the anchors' slope carries it on.
    EXPECT_LE(std::abs(map.Utc(86'460'000) - crystal.TrueUtc(86'460'000)), 15) << ppm << " ppm";
  }
}

TEST(ClockFit, KeepsTheTimeLinesOfABreakApart) {
  std::mt19937_64 rng(5);
  // The counter started again: the time line goes on from the last sample
  // while 40 s of real time passed.
  const Crystal before{.ppm = 80.0};
  Crystal after = before;
  after.startUtc += 40'000;
  for (const bool told : {true, false}) {
    ClockFit fit;
    Feed(fit, before, 0, 600'000, 1000, rng);
    if (told) fit.Break(600'000);
    Feed(fit, after, 600'000, 600'000, 1000, rng);
    const ClockMap map = fit.Map();
    ASSERT_EQ(map.breaks.size(), 1u);
    // A break the decoder did not tell is found within the bounds that
    // showed it.
    EXPECT_NEAR(static_cast<double>(map.breaks.front()), 600'000.0, told ? 0.0 : 1000.0);
    EXPECT_LE(WorstError(map, before, 0, 599'000), 15);
    EXPECT_LE(WorstError(map, after, map.breaks.front(), 1'200'000), 15);
  }
  // Seconds of late reads in a row are no break: the packets after them
  // come near the map again.
  ClockFit fit;
  const Crystal steady{.ppm = 20.0};
  Feed(fit, steady, 0, 300'000, 1000, rng);
  for (std::int64_t t = 300'000; t < 308'000; t += 1000) fit.Observe(t, steady.TrueUtc(t) + 9000 - (t - 300'000));
  Feed(fit, steady, 308'000, 300'000, 1000, rng);
  EXPECT_TRUE(fit.Map().breaks.empty());
  EXPECT_LE(WorstError(fit.Map(), steady, 0, 608'000), 15);
}

TEST(ClockFit, AnAdoptedMapStandsAndAnEmptyOneTellsNothing) {
  ClockFit fit;
  EXPECT_FALSE(fit.Utc(0).has_value());
  fit.Observe(0, 5000);
  EXPECT_EQ(fit.Utc(1000), 6000);  // one bound: the instrument's own pace
  fit.Adopt(ClockMap{{{0, 100}, {60'000, 60'106}}, {}});
  fit.Observe(30'000, 0);  // a replay's arrivals move nothing
  EXPECT_EQ(fit.Utc(30'000), 30'103);
  EXPECT_EQ(fit.Map().anchors.size(), 2u);
  // A damaged line's stamp at the ends of int64: far off, never wrapped.
  EXPECT_GT(fit.Map().Utc(INT64_MAX), 0);
  EXPECT_LT(fit.Map().Utc(INT64_MIN), 0);
}

TEST(ParseIsoUtc, ReadsTheFormsOfIso8601AndRefusesTheRest) {
  // 2026-12-10T04:00:00Z is 1796875200 s after 1970 (20797 days).
  const std::int64_t base = 1'796'875'200'000;
  EXPECT_EQ(ParseIsoUtc("2026-12-10T04:00:00Z"), base);
  EXPECT_EQ(ParseIsoUtc("2026-12-10T04:00:00"), base);
  EXPECT_EQ(ParseIsoUtc("2026-12-10T04:00:00.123Z"), base + 123);
  EXPECT_EQ(ParseIsoUtc("2026-12-10T04:00:00.1235Z"), base + 124);
  EXPECT_EQ(ParseIsoUtc("2026-12-10T05:30:00+01:30"), base);
  EXPECT_EQ(ParseIsoUtc("2026-12-09T23:00:00-05:00"), base);
  EXPECT_EQ(ParseIsoUtc("1970-01-01T00:00:00Z"), 0);
  EXPECT_EQ(ParseIsoUtc(IsoUtc(base + 7)), base + 7);
  // A leap second is the next minute's start, and only at 23:59.
  EXPECT_EQ(ParseIsoUtc("2026-12-09T23:59:60Z"), ParseIsoUtc("2026-12-10T00:00:00Z"));
  for (const char* bad : {"", "2026-12-10", "2026-02-31T00:00:00Z", "2026-12-10T24:00:00Z", "2026-12-10T04:60:00Z",
                          "2026-12-10 04:00:00Z", "2026-12-10T04:00:00.Z", "2026-12-10T04:00:00ZZ",
                          "1969-12-31T23:59:59Z", "-026-12-10T04:00:00Z", "2026-12-10T04:00:60Z", "2026-12-10T04:00:00+1:00"}) {
    EXPECT_FALSE(ParseIsoUtc(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace sondrix
