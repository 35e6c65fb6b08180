// SPDX-License-Identifier: GPL-3.0-or-later
// The rules graphs follow a run by, against what they promise: the time
// window holds the newest point and the last N minutes and moves in steps,
// the whole-run window holds the run and is mostly filled, the padded range
// holds the data with their margin on tidy bounds, the value axis grows at
// once and shrinks only after a while, the run's history keeps the whole run
// within its bound, and the follow line of the configuration file reads back.
#include "display/follow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <random>

#include "session/run_history.h"

namespace sondrix {
namespace {

TEST(FollowRulesTest, TheTimeWindowShowsTheLastMinutesAndMovesInSteps) {
  for (const double span : {0.5, 1.0, 5.0, 60.0}) {
    SCOPED_TRACE(span);
    const double step = span / 20.0;
    AxisRange last{-1.0, -1.0};
    int moves = 0;
    for (double now = 0.0; now < 4.0 * span; now += span / 997.0) {
      const AxisRange w = TimeWindow(now, span);
      ASSERT_NEAR(w.hi - w.lo, span, 1e-9 * span) << now;
      // The newest point is on the axis, near its end.
      ASSERT_LE(w.lo, now);
      ASSERT_LT(now, w.hi);
      if (now >= span) {
        ASSERT_LE(w.hi - now, step * (1.0 + 1e-9)) << now;
      }
      if (now < span - step) {
        ASSERT_EQ(w.lo, 0.0) << now;
      }
      if (!(w == last)) {
        ++moves;
        ASSERT_GE(w.lo, last.lo);
      }
      last = w;
    }
    // Once a step, not once a line: the first span stays, then 60 steps.
    EXPECT_GE(moves, 59);
    EXPECT_LE(moves, 62);
  }
}

TEST(FollowRulesTest, TheWholeRunWindowHoldsTheRunAndIsMostlyFilled) {
  for (const double first : {0.0, 0.02, 37.5, 600.0}) {
    SCOPED_TRACE(first);
    AxisRange last{};
    int changes = 0;
    for (double now = first; now < first + 500.0; now += 0.01 + now * 0.001) {
      const AxisRange w = WholeRunWindow(first, now);
      ASSERT_LE(w.lo, first) << now;
      ASSERT_GT(w.hi, now) << now;
      ASSERT_GE(w.hi - w.lo, 1.0);
      // The start is close to the run's (0 for a run that began at 0) ...
      ASSERT_LE(first - w.lo, 0.25 * (w.hi - w.lo)) << now;
      if (first == 0.0) {
        ASSERT_EQ(w.lo, 0.0);
      }
      // ... and the run fills three quarters of the axis once it is a
      // minute long.
      if (now - w.lo >= 1.0) {
        ASSERT_GE((now - w.lo) / (w.hi - w.lo), 0.75 - 1e-9) << now;
      }
      if (!(w == last)) ++changes;
      last = w;
    }
    // The end moves now and then, not with every line.
    EXPECT_LE(changes, 40);
  }
}

TEST(FollowRulesTest, APaddedRangeHoldsTheDataWithTheirMarginOnTidyBounds) {
  std::mt19937 random(20240305);
  std::uniform_real_distribution<double> exponent(-4.0, 4.0);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int n = 0; n < 5000; ++n) {
    const double scale = std::pow(10.0, exponent(random));
    double lo = unit(random) * scale;
    double hi = lo + std::fabs(unit(random)) * scale * (n % 7 == 0 ? 0.0 : 1.0);
    if (n % 11 == 0) lo = hi = 0.0;
    const AxisRange r = PaddedRange(lo, hi);
    SCOPED_TRACE(testing::Message() << lo << " ... " << hi << " gives " << r.lo << " ... " << r.hi);
    ASSERT_LT(r.lo, lo);
    ASSERT_GT(r.hi, hi);
    const double span = hi - lo;
    if (span > 0.0) {
      ASSERT_LE(r.lo, lo - 0.1 * span * (1.0 - 1e-9));
      ASSERT_GE(r.hi, hi + 0.1 * span * (1.0 - 1e-9));
      // No more than half as much again as the data and margins need.
      ASSERT_LE(r.hi - r.lo, 1.5 * 1.2 * span * (1.0 + 1e-9));
    } else {
      // Flat data get a hundredth of their size around them (a millionth
      // around zero).
      const double least = lo != 0.0 ? std::fabs(lo) * 0.01 : 1e-6;
      ASSERT_GE(r.hi - r.lo, least * (1.0 - 1e-9));
      ASSERT_LE(r.hi - r.lo, 5.0 * least);
    }
    // Both ends lie on a step of 1, 2 or 5 times a power of ten.
    const double step = TidyStep((r.hi - r.lo) / 12.0);
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-12));
    ASSERT_TRUE(std::fabs(mantissa - 1.0) < 1e-9 || std::fabs(mantissa - 2.0) < 1e-9 ||
                std::fabs(mantissa - 5.0) < 1e-9 || std::fabs(mantissa - 10.0) < 1e-9)
        << mantissa;
  }
}

// A minute of lines a second, the value axis fed what a 30-second window
// shows: the jitter of a steady signal never rescales it, a jump grows it on
// the line it comes, and a fall back shrinks it only ten seconds after the
// window no longer holds the jump.
TEST(FollowRulesTest, TheValueAxisGrowsAtOnceAndShrinksOnlyAfterAWhile) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> jitter(-0.002, 0.002);
  auto signal = [&](int second) {
    const double base = second >= 100 && second < 200 ? 0.5 : 0.2;
    return base + jitter(random);
  };
  ValueFollower follower;
  std::deque<double> window;
  std::vector<int> changes;
  for (int second = 0; second < 400; ++second) {
    window.push_back(signal(second));
    if (window.size() > 30) window.pop_front();
    const auto [lo, hi] = std::minmax_element(window.begin(), window.end());
    if (follower.Update(*lo, *hi, second * 1000LL, false)) changes.push_back(second);
    // Whatever the window holds is on the axis.
    ASSERT_LE(follower.range().lo, *lo) << second;
    ASSERT_GE(follower.range().hi, *hi) << second;
  }
  // While the window fills the axis grows with the jitter it meets; after
  // that it changes four times only: the jump up grows it on its line, the
  // jump fills the window alone at 129 s and the axis fits it ten seconds
  // later, the fall at 200 s grows it again, and the fall fills the window
  // at 229 s, so that the axis fits it at 239 s.
  const auto settled = std::find_if(changes.begin(), changes.end(), [](int s) { return s >= 30; });
  EXPECT_LE(settled - changes.begin(), 6);
  EXPECT_EQ(std::vector<int>(settled, changes.end()), (std::vector<int>{100, 139, 200, 239}));
  EXPECT_LT(follower.range().hi - follower.range().lo, 0.02);
  // Bars stand on zero: their axis holds it.
  ValueFollower bars;
  ASSERT_TRUE(bars.Update(0.3, 0.4, 0, true).has_value());
  EXPECT_LE(bars.range().lo, 0.0);
}

TEST(FollowRulesTest, TheFollowLineReadsBackAndRefusesWhatIsNoSetting) {
  for (const FollowSettings& s : {FollowSettings{}, FollowSettings{0, 2.5, 1, 0}, FollowSettings{1, 0.01, 0, 1},
                                  FollowSettings{1, kMaxFollowMinutes, 1, 1}}) {
    const std::optional<FollowSettings> read = ParseFollowLine(FollowLine(s));
    ASSERT_TRUE(read.has_value()) << FollowLine(s);
    EXPECT_EQ(*read, s) << FollowLine(s);
  }
  EXPECT_EQ(FollowLine(FollowSettings{}), "1\t5.00000\t0\t1\t; follow: axis, minutes, whole run, values");
  EXPECT_EQ(ParseFollowLine("0 12.5 1 0"), (FollowSettings{0, 12.5, 1, 0}));
  EXPECT_EQ(ParseFollowLine("1\t3\t0\t1\t; follow\r"), (FollowSettings{1, 3.0, 0, 1}));
  for (const char* bad : {"", "; follow", "1 5 0", "2 5 0 1", "1 5 0 -1", "1 0 0 1", "1 -5 0 1", "1 nan 0 1",
                          "1 inf 0 1", "1 1e9 0 1", "1 5 0 1 7", "1 5 0 1x", "0.00000\t7.00000\t30\t; strip chart state"}) {
    EXPECT_FALSE(ParseFollowLine(bad).has_value()) << bad;
  }
}

// --- The run's history --------------------------------------------------------------

TEST(RunHistoryTest, ABoundedHistoryKeepsTheWholeRunAndItsNewestHalfWhole) {
  RunHistory history(1u << 20, 64);
  history.Clear(3);
  EXPECT_EQ(history.capacity(), 64u);
  int thinnings = 0;
  for (int k = 0; k < 5000; ++k) {
    const double v[3] = {static_cast<double>(k), k + 0.5, -static_cast<double>(k)};
    if (history.Add(100LL * k, 20.0 + k * 0.001, 0.01 * k, v)) ++thinnings;
    const std::size_t n = history.size();
    ASSERT_LE(n, 64u);
    // The run's first and newest points are there ...
    ASSERT_EQ(history.time(0), 0);
    ASSERT_EQ(history.time(n - 1), 100LL * k);
    for (std::size_t i = 0; i < n; ++i) {
      // ... every entry is a real one of the run, in order ...
      ASSERT_EQ(history.value(i, 0), static_cast<double>(history.time(i) / 100));
      ASSERT_EQ(history.value(i, 2), -history.value(i, 0));
      ASSERT_DOUBLE_EQ(history.depth(i), 0.01 * history.value(i, 0));
      if (i > 0) {
        ASSERT_LT(history.time(i - 1), history.time(i));
      }
    }
    // ... and the newest half holds every point.
    if (n >= 32) {
      for (std::size_t i = n - 31; i < n; ++i) ASSERT_EQ(history.time(i) - history.time(i - 1), 100) << k;
    }
  }
  EXPECT_GT(thinnings, 100);
  EXPECT_EQ(history.added(), 5000u);
  // The extremes are the whole run's, thinned points included.
  EXPECT_EQ(history.traceMax(0), 4999.0);
  EXPECT_EQ(history.traceMin(2), -4999.0);
  EXPECT_EQ(history.FirstAtOrAfter(0), 0u);
  EXPECT_EQ(history.FirstAtOrAfter(100LL * 4999 + 1), history.size());

  // The values bound the entries as well: seven traces in a hundred values.
  RunHistory small(100, 1000);
  small.Clear(7);
  EXPECT_EQ(small.capacity(), 14u);
  small.Clear(0);
  EXPECT_GE(small.capacity(), 4u);
}

TEST(RunHistoryTest, AMillionLinesAreKeptEvenlyAndASpikeOfOneLineSurvivesEveryThinning) {
  RunHistory history(1u << 20, 500);
  history.Clear(2);
  constexpr int kLines = 1000000;
  std::mt19937 random(3);
  std::uniform_real_distribution<double> noise(-0.01, 0.01);
  for (int k = 0; k < kLines; ++k) {
    // Trace 0: noise with a spike of one line; trace 1: a ramp, which tells
    // each entry's line.
    double v0 = 1.0 + noise(random);
    if (k == 123457) v0 = 3.0;
    const double v[2] = {v0, 0.5 * k};
    history.Add(k, 20.0, 0.0, v);
  }
  // The spike, at its own time; every entry a real line of the run.
  int spikes = 0;
  for (std::size_t i = 0; i < history.size(); ++i) {
    ASSERT_EQ(history.value(i, 1), 0.5 * static_cast<double>(history.time(i)));
    if (history.value(i, 0) == 3.0) spikes += history.time(i) == 123457 ? 1 : 100;
  }
  EXPECT_EQ(spikes, 1);
  EXPECT_EQ(history.time(0), 0);
  EXPECT_LE(history.size(), 500u);
  // The older part of the run is drawn evenly: no gap between its entries
  // is more than a few times their mean (the halving of old entries at
  // every thinning had left the run's first three quarters to two entries).
  const std::size_t older = history.size() / 4;
  const double mean = static_cast<double>(history.time(older) - history.time(0)) / static_cast<double>(older);
  EXPECT_GT(history.time(older), 900000);
  for (std::size_t i = 1; i <= older; ++i) {
    ASSERT_LE(static_cast<double>(history.time(i) - history.time(i - 1)), 5.0 * mean) << i;
  }
}

}  // namespace
}  // namespace sondrix
