// SPDX-License-Identifier: GPL-3.0-or-later
// The health strip's words and colours for the levels of a run's health, on
// the headless user interface: each cell at its documented threshold, the
// ship data's slot empty until the run reads such a source, a text too long
// for its cell cut with "…" and told whole in the tooltip.
#include <gtest/gtest.h>

#include <string>

#include "display/display_fixtures.h"
#include "display/health_strip.h"

namespace sondrix {
namespace {

namespace p = panels;

RunHealth Reading() {
  RunHealth h;
  h.line = LineState::Reading;
  h.windowSamples = 10000;
  h.windowSeconds = 60.0;
  return h;
}

TEST(HealthCellsTest, EachCellTurnsAmberAndRedAtItsThresholds) {
  auto loss = [](long long lost) {
    RunHealth h = Reading();
    h.windowLost = lost;
    return HealthCells(h)[kHealthLoss];
  };
  EXPECT_EQ(loss(0).level, HealthLevel::Good);
  EXPECT_EQ(loss(0).text, "Lost 0.00 % / min");
  EXPECT_EQ(loss(9).level, HealthLevel::Good);
  EXPECT_EQ(loss(10).level, HealthLevel::Amber);  // 0.1 %
  EXPECT_EQ(loss(99).level, HealthLevel::Amber);
  EXPECT_EQ(loss(100).level, HealthLevel::Red);  // 1 %
  EXPECT_EQ(loss(100).text, "Lost 1.00 % / min");
  EXPECT_NE(loss(100).tip.find("100 of 10000 samples lost over the last 60 s"), std::string::npos);

  auto gps = [](std::optional<double> age, bool failed = false) {
    RunHealth h = Reading();
    h.gps = {"GPS", true, age, failed};
    return HealthCells(h)[kHealthGps];
  };
  EXPECT_EQ(HealthCells(Reading())[kHealthGps].level, HealthLevel::None);
  EXPECT_EQ(HealthCells(Reading())[kHealthGps].text, "GPS off");
  EXPECT_EQ(gps(2.0).level, HealthLevel::Good);
  EXPECT_EQ(gps(2.0).text, "GPS 2 s old");
  EXPECT_EQ(gps(10.5).level, HealthLevel::Amber);
  EXPECT_EQ(gps(61.0).level, HealthLevel::Red);
  EXPECT_EQ(gps(61.0).text, "GPS 1:01 old");
  EXPECT_EQ(gps(std::nullopt).level, HealthLevel::Amber);
  EXPECT_EQ(gps(1.0, true).level, HealthLevel::Red);

  auto disk = [](double hours) {
    RunHealth h = Reading();
    h.diskFree = 1000000000ULL;
    h.writeRate = 1000.0;
    h.diskHours = hours;
    return HealthCells(h)[kHealthDisk];
  };
  EXPECT_EQ(disk(300.0).level, HealthLevel::Good);
  EXPECT_EQ(disk(300.0).text, "Disk: 300 h left");
  EXPECT_EQ(disk(23.9).level, HealthLevel::Amber);
  EXPECT_EQ(disk(1.95).level, HealthLevel::Red);
  EXPECT_EQ(disk(1.95).text, "Disk: 1.9 h left");
  EXPECT_NE(disk(1.95).tip.find("1.0 GB free"), std::string::npos);

  RunHealth lost = Reading();
  lost.line = LineState::Lost;
  lost.lineSeconds = 75.0;
  EXPECT_EQ(HealthCells(lost)[kHealthLine].text, "Line: lost 1:15");
  EXPECT_EQ(HealthCells(lost)[kHealthLine].level, HealthLevel::Red);
  lost.line = LineState::Reconnecting;
  EXPECT_EQ(HealthCells(lost)[kHealthLine].level, HealthLevel::Amber);

  // The ship data's slot shows nothing until the run reads ship data; then
  // the stalest stream.
  EXPECT_EQ(HealthCells(Reading())[kHealthShip], HealthCell{});
  RunHealth ship = Reading();
  ship.ancillary = {{"Ship", true, 3.0, false}, {"Ship", true, 30.0, false}};
  EXPECT_EQ(HealthCells(ship)[kHealthShip].text, "Ship 30 s old");
  EXPECT_EQ(HealthCells(ship)[kHealthShip].level, HealthLevel::Amber);

  // No run: nothing but that.
  const auto idle = HealthCells(RunHealth{});
  EXPECT_EQ(idle[kHealthLine].text, "No run");
  for (int k = 1; k < kHealthCells; ++k) EXPECT_TRUE(idle[static_cast<std::size_t>(k)].text.empty()) << k;
}

TEST(HealthCellsTest, ElideCutsCharactersNotBytes) {
  EXPECT_EQ(Elide("Line: reading", 20), "Line: reading");
  EXPECT_EQ(Elide("Line: reading", 8), "Line: r\u2026");
  EXPECT_EQ(Elide("\u00b0\u00b0\u00b0\u00b0", 3), "\u00b0\u00b0\u2026");
  EXPECT_EQ(Elide("abc", 3), "abc");
}

class HealthStripTest : public test::DisplayTest {};

TEST_F(HealthStripTest, TheStripWritesItsCellsColouredAndCutToTheirWidth) {
  // A fresh display says no run.
  EXPECT_EQ(Text(p::kMainHealth1), " No run");
  RunHealth h = Reading();
  h.windowLost = 500;
  h.gps = {"GPS", true, 3.0, false};
  HealthStrip strip(main, p::kMainHealth1);
  ui.SetCtrlAttribute(main, p::kMainHealth1 + kHealthLoss, platform::Attr::Width, 80);
  strip.Show(h);
  EXPECT_EQ(Text(p::kMainHealth1), " Line: reading");
  EXPECT_EQ(Text(p::kMainHealth1 + kHealthLoss), " Lost 5.00\u2026");  // (80 - 8) / 7 characters
  EXPECT_EQ(ui.Control(main, p::kMainHealth1 + kHealthLoss)->toolTip.find("500 of 10000"), 0u);
  EXPECT_EQ(ui.Control(main, p::kMainHealth1 + kHealthLoss)->backColor, HealthBackRGB(HealthLevel::Red));
  EXPECT_EQ(ui.Control(main, p::kMainHealth1 + kHealthLoss)->textColor, HealthTextRGB(HealthLevel::Red));
  EXPECT_EQ(ui.Control(main, p::kMainHealth1 + kHealthGps)->backColor, HealthBackRGB(HealthLevel::Good));
  EXPECT_EQ(Text(p::kMainHealth1 + kHealthShip), "");
  // Unchanged cells are not written again.
  const auto writes = ui.ValueHistory(p::kMain, p::kMainHealth1).size();
  strip.Show(h);
  EXPECT_EQ(ui.ValueHistory(p::kMain, p::kMainHealth1).size(), writes);
}

}  // namespace
}  // namespace sondrix
