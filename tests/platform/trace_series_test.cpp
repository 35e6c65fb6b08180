// SPDX-License-Identifier: GPL-3.0-or-later
// The series the graphs draw from: its spans checked against a brute-force
// rasterisation of the same points (every point and every segment visited),
// over many random curves, maps and zooms; a single spike among a million
// points; and shared keys that part, trim and start afresh.
#include "platform/trace_series.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace sondrix::platform {

void PrintTo(const Span& s, std::ostream* os) { *os << "{" << s.cell << ": " << s.lo << ".." << s.hi << "}"; }

namespace {

// What a thin line through the points covers in each key pixel, found the
// slow way: the points inside the pixel, and every segment that crosses one
// of its edges, cut there.
std::vector<Span> SlowSpans(const std::vector<double>& keys, const std::vector<double>& values, const PixelMap& key,
                            const PixelMap& value, int cellFrom, int cellTo, int valuePixels) {
  std::vector<Span> out;
  const bool rising = key.scale > 0.0;
  for (int c = cellFrom; c < cellTo; ++c) {
    double k0 = key.Data(rising ? c : c + 1);
    double k1 = key.Data(rising ? c + 1 : c);
    Extremes e;
    for (std::size_t m = 0; m < keys.size(); ++m) {
      if (keys[m] >= k0 && keys[m] < k1) e.Take(values[m]);
      if (m + 1 < keys.size()) {
        const double ka = keys[m], kb = keys[m + 1];
        for (const double edge : {k0, k1}) {
          if (ka < edge && edge <= kb) e.Take(values[m] + (edge - ka) / (kb - ka) * (values[m + 1] - values[m]));
        }
      }
    }
    if (e.empty()) continue;
    double p0 = value.Pixel(e.lo), p1 = value.Pixel(e.hi);
    if (p0 > p1) std::swap(p0, p1);
    if (p1 < 0.0 || p0 >= valuePixels) continue;
    out.push_back({c, static_cast<int>(std::floor(std::max(p0, 0.0))),
                   static_cast<int>(std::floor(std::min(p1, valuePixels - 0.5)))});
  }
  return out;
}

std::vector<Span> Sorted(std::vector<Span> spans) {
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.cell < b.cell; });
  return spans;
}

TEST(TraceSeriesTest, SpansMatchABruteForceRasterisationOverManyCurvesMapsAndZooms) {
  std::mt19937 random(20261209);
  int compared = 0;
  for (int round = 0; round < 300; ++round) {
    const std::size_t n = 1 + random() % (round % 3 == 0 ? 40 : 3000);
    std::uniform_real_distribution<double> step(0.0, round % 4 == 0 ? 5.0 : 0.05);
    std::normal_distribution<double> walk(0.0, 1.0);
    TraceSeries series(std::make_shared<KeyColumn>(2));
    double k = walk(random), v = 100.0 + walk(random);
    for (std::size_t m = 0; m < n; ++m) {
      // Repeated keys, a gap now and then, a jump now and then.
      if (random() % 11 != 0) k += step(random);
      v += walk(random) * (random() % 50 == 0 ? 40.0 : 1.0);
      const double value = random() % 97 == 0 ? std::numeric_limits<double>::quiet_NaN() : v;
      ASSERT_TRUE(series.Append(k, value));
    }
    std::vector<double> keys, values;
    for (std::size_t m = 0; m < series.size(); ++m) {
      keys.push_back(series.Key(m));
      values.push_back(series.Value(m));
    }
    // The whole curve or a zoom into it, keys rising to the right or (a
    // time axis upwards) to the top, values either way up.
    const int cells = 1 + static_cast<int>(random() % 400);
    const int valuePixels = 1 + static_cast<int>(random() % 300);
    const double span = std::max(keys.back() - keys.front(), 1e-3);
    const double zoom = round % 5 == 0 ? 1.0 : 1.0 / (1 + random() % 50);
    const double lo = keys.front() + span * std::uniform_real_distribution<double>(-0.1, 1.0)(random);
    const double hi = lo + span * zoom;
    PixelMap key{0.0, cells / (hi - lo)};
    key.offset = -key.scale * lo;
    if (round % 2 == 1) key = {key.offset + key.scale * (hi + lo), -key.scale};  // flipped
    Extremes all = series.ValueExtremes(0, series.size());
    if (all.empty()) all = {0.0, 1.0};
    const double vlo = all.lo - 0.2 * (all.hi - all.lo), vhi = all.hi + 0.1 * (all.hi - all.lo) + 1e-9;
    PixelMap value{0.0, -valuePixels / (vhi - vlo)};
    value.offset = -value.scale * vhi;
    // The full width, or a band of it (an update of a few rows).
    int from = 0, to = cells;
    if (round % 3 == 2) {
      from = static_cast<int>(random() % static_cast<unsigned>(cells));
      to = from + 1 + static_cast<int>(random() % static_cast<unsigned>(cells - from));
    }
    std::vector<Span> fast;
    Spans(series, key, value, from, to, valuePixels, fast);
    ASSERT_EQ(Sorted(fast), Sorted(SlowSpans(keys, values, key, value, from, to, valuePixels)))
        << "round " << round << ", " << n << " points";
    compared += static_cast<int>(fast.size());
  }
  EXPECT_GT(compared, 10000);
}

TEST(TraceSeriesTest, ASingleSpikeAmongAMillionPointsIsDrawn) {
  TraceSeries series(std::make_shared<KeyColumn>(2));
  constexpr std::size_t kPoints = 1000000, kSpike = 654321;
  for (std::size_t m = 0; m < kPoints; ++m) {
    series.Append(static_cast<double>(m) / 6.0, m == kSpike ? 0.75 : 0.25 + 1e-7 * static_cast<double>(m % 7));
  }
  ASSERT_EQ(series.size(), kPoints);
  // 500 pixels for the whole run: 2000 points a pixel, one of them high.
  const double length = static_cast<double>(kPoints) / 6.0;
  const PixelMap key{500.0, -500.0 / length};
  const PixelMap value{400.0, -400.0};  // 0 ... 1 over 400 pixels, upwards
  std::vector<Span> spans;
  Spans(series, key, value, 0, 500, 400, spans);
  ASSERT_EQ(spans.size(), 500u);
  int reaching = 0;
  for (const Span& s : spans) {
    if (s.lo <= 100) {
      ++reaching;
      // The spike's pixel (and the one its line rises from, when it stands
      // at the edge).
      const double spikeCell = key.Pixel(static_cast<double>(kSpike) / 6.0);
      EXPECT_NEAR(s.cell, spikeCell, 1.0);
      EXPECT_EQ(s.lo, 100);
    } else {
      EXPECT_EQ(s.lo, 299) << s.cell;
    }
  }
  EXPECT_GE(reaching, 1);
}

TEST(TraceSeriesTest, ExtremesOfAnyRangeThroughThePyramidEqualAScan) {
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 1.0);
  TraceSeries series(std::make_shared<KeyColumn>(2));
  constexpr std::size_t kPoints = 300000;
  for (std::size_t m = 0; m < kPoints; ++m) series.Append(static_cast<double>(m), noise(random));
  for (int i = 0; i < 3000; ++i) {
    std::size_t a = random() % kPoints, b = random() % kPoints;
    if (a > b) std::swap(a, b);
    if (i % 4 == 0) b = std::min(kPoints, a + random() % 600);
    Extremes slow;
    for (std::size_t m = a; m < b; ++m) slow.Take(series.Value(m));
    const Extremes fast = series.ValueExtremes(a, b);
    ASSERT_EQ(fast.lo, slow.lo) << a << ".." << b;
    ASSERT_EQ(fast.hi, slow.hi) << a << ".." << b;
  }
}

TEST(TraceSeriesTest, FloatValuesKeepTheDigitsATraceWandersIn) {
  TraceSeries series(std::make_shared<KeyColumn>(2));
  for (int m = 0; m < 1000; ++m) series.Append(m, 1.0000002 + 1e-9 * m);
  // A float alone would keep 1.0000002 as 1.00000024 and lose the steps.
  for (int m = 0; m < 1000; m += 111) EXPECT_NEAR(series.Value(static_cast<std::size_t>(m)), 1.0000002 + 1e-9 * m, 1e-13);
  EXPECT_FALSE(series.Append(998.0, 1.0)) << "a key below the last";
  EXPECT_FALSE(series.Append(std::numeric_limits<double>::quiet_NaN(), 1.0));
  EXPECT_EQ(series.size(), 1000u);
}

TEST(TraceSeriesTest, SeriesDrawnAtTheSameKeysShareThemAndPartWhenTheirKeysDo) {
  auto column = std::make_shared<KeyColumn>(2);
  TraceSeries a(column), b(column), c(column), late(column);
  // As a graph draws a bin: a run's first point twice (a segment of no
  // length), then each trace in turn.
  for (int bin = 0; bin < 50; ++bin) {
    for (int twice = 0; twice < (bin == 0 ? 2 : 1); ++twice) {
      a.Append(bin * 0.1, 1.0 * bin);
      b.Append(bin * 0.1, 2.0 * bin);
      c.Append(bin == 30 ? 2.95 : bin * 0.1, 3.0 * bin);  // c parts at bin 30
    }
    if (bin >= 20) late.Append(bin * 0.1, -1.0 * bin);  // drawn from bin 20 on
  }
  EXPECT_TRUE(a.SharesKeysWith(b));
  EXPECT_TRUE(a.SharesKeysWith(late));
  EXPECT_FALSE(a.SharesKeysWith(c));
  EXPECT_EQ(column->size(), 51u);
  EXPECT_EQ(c.size(), 51u);
  EXPECT_DOUBLE_EQ(c.Key(31), 2.95);
  EXPECT_DOUBLE_EQ(c.Key(32), 3.1);
  EXPECT_DOUBLE_EQ(late.Key(0), 2.0);
  EXPECT_EQ(late.size(), 30u);
  EXPECT_DOUBLE_EQ(late.Value(29), -49.0);
}

TEST(TraceSeriesTest, AFullColumnDropsItsOldestKeysAndEverySeriesWithThem) {
  auto column = std::make_shared<KeyColumn>(100, 100);
  TraceSeries a(column), b(column);
  for (int m = 0; m < 1000; ++m) {
    a.Append(m, m);
    if (m < 500 || m >= 980) b.Append(m, -m);  // b pauses, then comes back
  }
  ASSERT_LE(a.size(), 100u + 100u / 16u);
  EXPECT_GE(a.size(), 100u);
  EXPECT_DOUBLE_EQ(a.Key(a.size() - 1), 999.0);
  for (std::size_t i = 0; i < a.size(); ++i) ASSERT_DOUBLE_EQ(a.Value(i), a.Key(i));
  const Extremes e = a.ValueExtremes(0, a.size());
  EXPECT_DOUBLE_EQ(e.lo, a.Key(0));
  EXPECT_DOUBLE_EQ(e.hi, 999.0);
  // b's old points went with their keys; its new ones start afresh.
  ASSERT_EQ(b.size(), 20u);
  EXPECT_DOUBLE_EQ(b.Key(0), 980.0);
  EXPECT_DOUBLE_EQ(b.Value(19), -999.0);
}

}  // namespace
}  // namespace sondrix::platform
