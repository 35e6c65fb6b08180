// SPDX-License-Identifier: GPL-3.0-or-later
// The time axes against clock times worked out by hand: a run whose time
// stamp 0 was 2026-12-10 14:05:07.300 UTC (1796911507300 ms since 1970),
// lines every 2.5 s with a 20 s outage; the ticks of the XY graph (elapsed
// minutes) and of the strip chart (entry numbers) read the clock times of
// the lines they stand at, a cursor reads a line's time, and the choice between clock and elapsed time
// is kept in the display configuration file.
#include "display/time_axis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "common/panels.h"
#include "display/display_fixtures.h"

namespace sondrix {
namespace {

using platform::TimeTick;

constexpr std::int64_t kZero = 1796911507300;  // 2026-12-10 14:05:07.300 UTC

// Entries every 2.5 s but for the outage 120 ... 140 s: entry 24 is at
// 60 s, 48 at 140 s, 64 at 180 s, 88 at 240 s.
RunHistory OutageRun() {
  RunHistory history;
  history.Clear(1);
  for (std::int64_t t = 0; t <= 300000; t += 2500) {
    if (t >= 120000 && t < 140000) continue;
    const double value = static_cast<double>(t) / 1000.0;
    history.Add(t, 20.0, 0.0, std::span<const double>(&value, 1));
  }
  return history;
}

TEST(TimeAxisTest, TicksReadTheClockTimesOfTheLinesTheyStandAt) {
  const RunHistory history = OutageRun();
  auto base = std::make_shared<TimeBase>();
  HistoryTimeScale xy(history.columns(), RunHistory::Keys::Minutes, base);
  HistoryTimeScale strip(history.columns(), RunHistory::Keys::Index, base);

  // No UTC known: elapsed minutes, whatever the choice.
  EXPECT_EQ(xy.Caption(), "Elapsed time (minutes)");
  const auto expect = [](const std::vector<TimeTick>& ticks, const std::vector<TimeTick>& expected) {
    ASSERT_EQ(ticks.size(), expected.size());
    for (std::size_t k = 0; k < ticks.size(); ++k) {
      EXPECT_EQ(ticks[k].label, expected[k].label);
      EXPECT_NEAR(ticks[k].key, expected[k].key, 1e-9) << expected[k].label;
    }
  };
  expect(xy.Ticks(0.0, 5.0, 6), {{0, "0"}, {1, "1"}, {2, "2"}, {3, "3"}, {4, "4"}, {5, "5"}});
  expect(xy.Ticks(0.0, 0.5, 6), {{0, "0.0"}, {0.1, "0.1"}, {0.2, "0.2"}, {0.3, "0.3"}, {0.4, "0.4"}, {0.5, "0.5"}});
  EXPECT_EQ(xy.Read(2.0), "2.000 min");

  base->utcZeroMs = kZero;
  EXPECT_EQ(xy.Caption(), "Time (UTC)");
  // Round minutes of clock time: 14:06 is 52.7 s into the run.
  const std::vector<TimeTick> minutes = xy.Ticks(0.0, 5.0, 6);
  ASSERT_EQ(minutes.size(), 5u);
  const char* labels[] = {"14:06", "14:07", "14:08", "14:09", "14:10"};
  for (std::size_t k = 0; k < minutes.size(); ++k) {
    EXPECT_EQ(minutes[k].label, labels[k]);
    EXPECT_NEAR(minutes[k].key, (52700.0 + 60000.0 * static_cast<double>(k)) / 60000.0, 1e-12);
  }
  EXPECT_EQ(xy.Read(2.0), "14:07:07.3 UTC");

  // The strip chart's entry numbers, stamp 0 at 14:05:00.000: a tick at an
  // entry reads that line's clock time; 14:07:00 fell into the outage and
  // stands where it would have been, between the lines at 117.5 and 140 s.
  base->utcZeroMs = kZero - 7300;
  expect(strip.Ticks(0.0, 112.0, 6), {{0, "14:05"},
                                      {24, "14:06"},
                                      {47 + 2.5 / 22.5, "14:07"},
                                      {64, "14:08"},
                                      {88, "14:09"},
                                      {112, "14:10"}});
  // The line nearest the cursor: entry 88 (240 s), entry 48 (140 s).
  EXPECT_EQ(strip.Read(88.2), "14:09:00.0 UTC");
  EXPECT_EQ(strip.Read(48.0), "14:07:20.0 UTC");
}

class TimeAxisDisplayTest : public test::DisplayTest {};

// The graphs carry their time scales, captioned by the choice; the choice
// is the display configuration's, and an older file without it reads as
// clock time.
TEST_F(TimeAxisDisplayTest, TheChoiceIsKeptWithTheDisplayConfiguration) {
  AttachTraces(2);
  const auto* xy = ui.Control(main, panels::kMainXYGraph);
  const auto* strip = ui.Control(main, panels::kMainStripChart);
  ASSERT_NE(xy->timeScale, nullptr);
  ASSERT_NE(strip->timeScale, nullptr);
  EXPECT_FALSE(xy->timeScaleOnX);
  EXPECT_TRUE(strip->timeScaleOnX);
  EXPECT_TRUE(display->clockTime());
  EXPECT_EQ(platform::ShownAxisName(*xy, false), "Elapsed time (minutes)");

  display->SetClockTime(false);
  ASSERT_EQ(display->WriteConfig(), status::kOk);
  const std::string path = HomeFile("meter.RTC");
  const std::optional<std::string> text = test::ReadTextFile(path);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("\n0\t; time axes: 1 UTC clock time, 0 elapsed time\n"), std::string::npos);
  display->SetClockTime(true);
  ASSERT_EQ(display->ReadConfig(), status::kOk);
  EXPECT_FALSE(display->clockTime());
  EXPECT_FALSE(ui.MenuBar(display->menuBar())->Find(panels::kMenuClockTime)->checked);

  // The file before this line existed.
  test::WriteTextFile(path, text->substr(0, text->find("0\t; time axes")));
  ASSERT_EQ(display->ReadConfig(), status::kOk);
  EXPECT_TRUE(display->clockTime());
  EXPECT_TRUE(ui.MenuBar(display->menuBar())->Find(panels::kMenuClockTime)->checked);
}

}  // namespace
}  // namespace sondrix
