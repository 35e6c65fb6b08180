// SPDX-License-Identifier: GPL-3.0-or-later
// The run's history as the curves the graphs draw: its spans checked
// against a brute-force rasterisation of the same points (every point and
// every segment visited), over many random curves, maps and zooms; a
// single spike among a million points; the pyramid's extremes against a
// scan; and the keys every trace shares, through thinning and clearing.
#include "session/run_history.h"

#include "session/session.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace sondrix::platform {

void PrintTo(const Span& s, std::ostream* os) { *os << "{" << s.cell << ": " << s.lo << ".." << s.hi << "}"; }

}  // namespace sondrix::platform

namespace sondrix {
namespace {

using platform::CellEdges;
using platform::Curve;
using platform::Extremes;
using platform::PixelMap;
using platform::Span;

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

std::vector<Span> FastSpans(const Curve& curve, const PixelMap& key, const PixelMap& value, int from, int to,
                            int valuePixels) {
  CellEdges edges;
  curve.FindEdges(key, from, to, edges);
  std::vector<Span> spans;
  curve.Spans(edges, value, valuePixels, spans);
  return spans;
}

// A history that never thins below `entries`.
RunHistory Roomy(std::size_t entries, int traces) {
  RunHistory history(entries * static_cast<std::size_t>(traces) + 4, entries + 4);
  history.Clear(traces);
  return history;
}

TEST(HistoryCurveTest, SpansMatchABruteForceRasterisationOverManyCurvesMapsAndZooms) {
  std::mt19937 random(20261209);
  int compared = 0;
  for (int round = 0; round < 300; ++round) {
    const std::size_t n = 1 + random() % (round % 3 == 0 ? 40 : 3000);
    std::uniform_int_distribution<std::int64_t> step(0, round % 4 == 0 ? 300000 : 3000);
    std::normal_distribution<double> walk(0.0, 1.0);
    RunHistory history = Roomy(n, 1);
    std::int64_t ms = static_cast<std::int64_t>(60000 * std::fabs(walk(random)));
    double v = 100.0 + walk(random);
    for (std::size_t m = 0; m < n; ++m) {
      // Repeated times, a gap now and then, a jump now and then.
      if (random() % 11 != 0) ms += step(random);
      v += walk(random) * (random() % 50 == 0 ? 40.0 : 1.0);
      const double value = random() % 97 == 0 ? std::numeric_limits<double>::quiet_NaN() : v;
      const double values[1] = {value};
      ASSERT_FALSE(history.Add(ms, 20.0, 0.0, values));
    }
    const std::shared_ptr<const Curve> curve = history.TraceCurve(0, RunHistory::Keys::Minutes);
    ASSERT_TRUE(curve->KeysRise());
    std::vector<double> keys, values;
    for (std::size_t m = 0; m < curve->size(); ++m) {
      keys.push_back(curve->Key(m));
      values.push_back(curve->Value(m));
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
    Extremes all = curve->ValueExtremes(0, curve->size());
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
    const std::vector<Span> fast = FastSpans(*curve, key, value, from, to, valuePixels);
    ASSERT_EQ(Sorted(fast), Sorted(SlowSpans(keys, values, key, value, from, to, valuePixels)))
        << "round " << round << ", " << n << " points";
    compared += static_cast<int>(fast.size());
  }
  EXPECT_GT(compared, 10000);
}

TEST(HistoryCurveTest, ASingleSpikeAmongAMillionPointsIsDrawn) {
  constexpr std::size_t kPoints = 1000000, kSpike = 654321;
  RunHistory history = Roomy(kPoints, 1);
  for (std::size_t m = 0; m < kPoints; ++m) {
    // A point every ten seconds: m / 6 minutes.
    const double value[1] = {m == kSpike ? 0.75 : 0.25 + 1e-7 * static_cast<double>(m % 7)};
    history.Add(static_cast<std::int64_t>(m) * 10000, 20.0, 0.0, value);
  }
  const std::shared_ptr<const Curve> curve = history.TraceCurve(0, RunHistory::Keys::Minutes);
  ASSERT_EQ(curve->size(), kPoints);
  // 500 pixels for the whole run: 2000 points a pixel, one of them high.
  const double length = static_cast<double>(kPoints) / 6.0;
  const PixelMap key{500.0, -500.0 / length};
  const PixelMap value{400.0, -400.0};  // 0 ... 1 over 400 pixels, upwards
  const std::vector<Span> spans = FastSpans(*curve, key, value, 0, 500, 400);
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

TEST(HistoryCurveTest, ExtremesOfAnyRangeThroughThePyramidEqualAScan) {
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 1.0);
  constexpr std::size_t kPoints = 300000;
  RunHistory history = Roomy(kPoints, 2);
  for (std::size_t m = 0; m < kPoints; ++m) {
    const double values[2] = {noise(random), -1.0};
    history.Add(static_cast<std::int64_t>(m), 20.0, 0.0, values);
  }
  const std::shared_ptr<const Curve> curve = history.TraceCurve(0, RunHistory::Keys::Minutes);
  for (int i = 0; i < 3000; ++i) {
    std::size_t a = random() % kPoints, b = random() % kPoints;
    if (a > b) std::swap(a, b);
    if (i % 4 == 0) b = std::min(kPoints, a + random() % 600);
    Extremes slow;
    for (std::size_t m = a; m < b; ++m) slow.Take(curve->Value(m));
    const Extremes fast = curve->ValueExtremes(a, b);
    ASSERT_EQ(fast.lo, slow.lo) << a << ".." << b;
    ASSERT_EQ(fast.hi, slow.hi) << a << ".." << b;
    ASSERT_EQ(history.TraceExtremes(0, a, b).hi, slow.hi);
  }
}

// The averages come back as they went in, every digit; a time that goes
// back is kept, and the curve's keys no longer rise (it is drawn as a line
// through its points rather than per pixel).
TEST(HistoryCurveTest, ValuesKeepTheDigitsATraceWandersInAndTimeMayGoBack) {
  RunHistory history = Roomy(2000, 1);
  for (int m = 0; m < 1000; ++m) {
    const double value[1] = {1.0000002 + 1e-9 * m};
    history.Add(m, 20.0, 0.0, value);
  }
  const std::shared_ptr<const Curve> curve = history.TraceCurve(0, RunHistory::Keys::Minutes);
  for (int m = 0; m < 1000; m += 111) EXPECT_NEAR(curve->Value(static_cast<std::size_t>(m)), 1.0000002 + 1e-9 * m, 1e-13);
  EXPECT_TRUE(curve->KeysRise());
  const double value[1] = {1.0};
  history.Add(998, 20.0, 0.0, value);
  EXPECT_FALSE(curve->KeysRise()) << "a time below the last";
  EXPECT_EQ(curve->size(), 1001u);
  EXPECT_TRUE(history.TraceCurve(0, RunHistory::Keys::Index)->KeysRise());
}

// Every trace's curve has the history's keys, point for point (the edges
// of the pixels, found once, serve them all); a trace made visible later has
// its past; a trace the history does not hold is an empty curve.
TEST(HistoryCurveTest, TheTracesOfAHistoryShareItsKeysWhateverTheyShow) {
  RunHistory history = Roomy(100, 3);
  const auto a = history.TraceCurve(0, RunHistory::Keys::Minutes);
  const auto b = history.TraceCurve(1, RunHistory::Keys::Minutes);
  const auto late = history.TraceCurve(2, RunHistory::Keys::Minutes);
  const auto depth = history.TraceCurve(0, RunHistory::Keys::Depth);
  const auto none = history.TraceCurve(3, RunHistory::Keys::Minutes);
  for (int bin = 0; bin < 50; ++bin) {
    const double values[3] = {1.0 * bin, 2.0 * bin, -1.0 * bin};
    history.Add(6000 * bin, 20.0, 0.5 * bin, values);
  }
  EXPECT_EQ(a->KeyColumn(), b->KeyColumn());
  EXPECT_EQ(a->KeyColumn(), late->KeyColumn());
  EXPECT_NE(a->KeyColumn(), depth->KeyColumn());
  EXPECT_EQ(a->size(), 50u);
  EXPECT_EQ(late->size(), 50u);
  EXPECT_DOUBLE_EQ(a->Key(31), 3.1);
  EXPECT_DOUBLE_EQ(depth->Key(31), 15.5);
  EXPECT_DOUBLE_EQ(late->Value(49), -49.0);
  EXPECT_EQ(none->size(), 0u);
  // Edges found for one trace serve another.
  CellEdges edges;
  a->FindEdges(PixelMap{0.0, 100.0}, 0, 500, edges);
  std::vector<Span> spans;
  late->Spans(edges, PixelMap{200.0, 1.0}, 300, spans);
  EXPECT_FALSE(spans.empty());
}

// A full history thins: its curves change (Revision) and show the entries
// kept, which are the history's own; a cleared history's curves are empty
// and change again.
TEST(HistoryCurveTest, AFullHistoryThinsAndEveryCurveWithIt) {
  RunHistory history(1000, 100);
  history.Clear(2);
  const auto a = history.TraceCurve(0, RunHistory::Keys::Minutes);
  const auto b = history.TraceCurve(1, RunHistory::Keys::Index);
  std::uint64_t revision = a->Revision();
  int thinnings = 0;
  for (int m = 0; m < 1000; ++m) {
    const double values[2] = {1.0 * m, -1.0 * m};
    const std::size_t before = a->size();
    if (history.Add(60000 * m, 20.0, 0.0, values)) {
      ++thinnings;
      EXPECT_NE(a->Revision(), revision);
      EXPECT_LT(a->size(), before);
      revision = a->Revision();
    } else {
      ASSERT_EQ(a->Revision(), revision) << "growing leaves the points there alone";
    }
  }
  EXPECT_GT(thinnings, 5);
  ASSERT_LE(a->size(), 100u);
  EXPECT_DOUBLE_EQ(a->Key(a->size() - 1), 999.0);
  for (std::size_t i = 0; i < a->size(); ++i) {
    ASSERT_DOUBLE_EQ(a->Value(i), a->Key(i));
    ASSERT_EQ(b->Value(i), history.value(i, 1));
    ASSERT_EQ(b->Key(i), static_cast<double>(i));
  }
  const Extremes e = a->ValueExtremes(0, a->size());
  EXPECT_DOUBLE_EQ(e.lo, 0.0);
  EXPECT_DOUBLE_EQ(e.hi, 999.0);
  history.Clear(2);
  EXPECT_NE(a->Revision(), revision);
  EXPECT_EQ(b->size(), 0u);
}


// A run whose line went away for 20 s: six lines a second from hand-written
// times, trace 0 at 1.0 before the outage and 2.0 after it. The curve is
// broken there and nowhere else, no pixel inside the outage gets a span
// (a line across it would cover 1 ... 2), and both hold after the history
// has thinned its older half many times over.
TEST(HistoryCurveTest, AnOutageOfTwentySecondsIsAGapThroughThinningAndTheSpans) {
  Session session;
  session.BeginHistory(2, 1);
  SourceLine line(2);
  line.status = status::kOk;
  const auto publish = [&](std::int64_t k) {
    line.time = k * 1000 / 6;
    const bool after = line.time >= 80000;
    line.values = {after ? 2.0 : 1.0, 0.5};
    ASSERT_EQ(session.stream().Publish(line), status::kOk);
  };
  // The outage: lines of 60 ... 80 s never came.
  const auto check = [&](const char* when) {
    SCOPED_TRACE(when);
    const RunHistory& history = session.history();
    const auto curve = history.TraceCurve(0, RunHistory::Keys::Minutes);
    std::vector<std::size_t> breaks;
    for (std::size_t i = 0; i < curve->size(); ++i) {
      if (curve->BreakBefore(i)) breaks.push_back(i);
    }
    ASSERT_EQ(breaks.size(), 1u);
    EXPECT_LT(history.time(breaks[0] - 1), 60000);
    EXPECT_GE(history.time(breaks[0]), 80000);
    // 0 ... 3 minutes over 360 pixels (0.5 s each), values 0 ... 3 over 300.
    const PixelMap key{0.0, 120.0};
    const PixelMap value{0.0, 100.0};
    CellEdges edges;
    curve->FindEdges(key, 0, 360, edges);
    std::vector<Span> spans;
    curve->Spans(edges, value, 300, spans);
    std::vector<bool> drawn(360, false);
    for (const Span& s : spans) drawn[static_cast<std::size_t>(s.cell)] = true;
    const auto cellOf = [&](double ms) { return static_cast<int>(std::floor(key.Pixel(ms / 60000.0))); };
    for (int c = 0; c < 360; ++c) {
      const double from = key.Data(c) * 60000.0, to = key.Data(c + 1) * 60000.0;
      if (from >= static_cast<double>(history.time(breaks[0] - 1)) + 1.0 && to <= history.time(breaks[0])) {
        EXPECT_FALSE(drawn[static_cast<std::size_t>(c)]) << c;
      }
    }
    EXPECT_TRUE(drawn[static_cast<std::size_t>(cellOf(30000))]);
    EXPECT_TRUE(drawn[static_cast<std::size_t>(cellOf(120000))]);
  };
  for (std::int64_t k = 0; k < 360; ++k) publish(k);
  for (std::int64_t k = 480; k < 1200; ++k) publish(k);
  check("whole");
  // Nine hours more: the history (65,536 entries) thins its older half
  // again and again; entries kept seconds apart are no gap.
  for (std::int64_t k = 1200; k < 200000; ++k) publish(k);
  ASSERT_GT(session.historyThinnings(), 3);
  check("thinned");
}

}  // namespace
}  // namespace sondrix
