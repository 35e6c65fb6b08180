// SPDX-License-Identifier: GPL-3.0-or-later
// The health strip's words and colours against the table of docs/display.md:
// each cell's text and its level on both sides of every documented
// threshold, the ship's data cell taken by an alarm of the underway
// processing, and a text too long for its cell cut with "…".
#include <gtest/gtest.h>

#include <string>

#include "display/health_strip.h"

namespace sondrix {
namespace {

RunHealth Reading() {
  RunHealth h;
  h.line = LineState::Reading;
  return h;
}

TEST(HealthStripTest, EveryCellsWordsAndLevelOnBothSidesOfItsThresholds) {
  RunHealth h = Reading();
  EXPECT_EQ(HealthCells(h)[kHealthLine].text, "Line: reading");
  EXPECT_EQ(HealthCells(h)[kHealthLine].level, HealthLevel::Good);
  h.line = LineState::Waiting;
  h.lineSeconds = 12.0;
  EXPECT_EQ(HealthCells(h)[kHealthLine].text, "Line: waiting 12 s");
  EXPECT_EQ(HealthCells(h)[kHealthLine].level, HealthLevel::Amber);
  h.line = LineState::Lost;
  h.lineSeconds = 95.0;
  EXPECT_EQ(HealthCells(h)[kHealthLine].level, HealthLevel::Red);
  EXPECT_EQ(HealthCells(h)[kHealthLine].text, "Line: lost 1:35");
  EXPECT_EQ(HealthCells(RunHealth{})[kHealthLine].text, "No run");

  // Lost samples: amber from 0.1 %, red from 1 %.
  h = Reading();
  h.windowSamples = 10000;
  for (const auto& [lost, level] : {std::pair{9LL, HealthLevel::Good}, std::pair{10LL, HealthLevel::Amber},
                                    std::pair{99LL, HealthLevel::Amber}, std::pair{100LL, HealthLevel::Red}}) {
    h.windowLost = lost;
    EXPECT_EQ(HealthCells(h)[kHealthLoss].level, level) << lost;
  }
  h.windowLost = 12;
  EXPECT_EQ(HealthCells(h)[kHealthLoss].text, "Lost 0.12 % / min");

  // GPS: amber past 10 s, red past 60 s; ship data: amber past 30 s.
  h = Reading();
  EXPECT_EQ(HealthCells(h)[kHealthGps].text, "GPS off");
  h.gps.on = true;
  EXPECT_EQ(HealthCells(h)[kHealthGps].text, "GPS: none yet");
  for (const auto& [age, level] : {std::pair{10.0, HealthLevel::Good}, std::pair{10.5, HealthLevel::Amber},
                                   std::pair{60.0, HealthLevel::Amber}, std::pair{60.5, HealthLevel::Red}}) {
    h.gps.age = age;
    EXPECT_EQ(HealthCells(h)[kHealthGps].level, level) << age;
  }
  h.gps.age = 2.0;
  EXPECT_EQ(HealthCells(h)[kHealthGps].text, "GPS 2 s old");
  h.gps.failed = true;
  EXPECT_EQ(HealthCells(h)[kHealthGps].text, "GPS lost");
  EXPECT_EQ(HealthCells(h)[kHealthShip].text, "") << "the slot waits for ship data";
  h.ancillary.push_back({"tsg1", true, 25.0, false, kAncillaryAmberSeconds});
  EXPECT_EQ(HealthCells(h)[kHealthShip].level, HealthLevel::Good);
  h.ancillary.back().age = 31.0;
  EXPECT_EQ(HealthCells(h)[kHealthShip].level, HealthLevel::Amber);
  EXPECT_EQ(HealthCells(h)[kHealthShip].text, "tsg1 31 s old");
  // An underway alarm takes the cell, red, the ship data's age kept in the
  // tooltip.
  const HealthCell alarmed = HealthCells(h, "valve stuck: no switch for 130 min (a cycle is 60 min)")[kHealthShip];
  EXPECT_EQ(alarmed.text, "valve stuck: no switch for 130 min (a cycle is 60 min)");
  EXPECT_EQ(alarmed.level, HealthLevel::Red);
  EXPECT_NE(alarmed.tip.find("ship data came 31 s ago"), std::string::npos) << alarmed.tip;

  // Disk: amber below 24 h, red below 2 h.
  h = Reading();
  h.diskFree = 12'300'000'000ULL;
  EXPECT_EQ(HealthCells(h)[kHealthDisk].text, "Disk: 12.3 GB free");
  for (const auto& [hours, level] : {std::pair{24.0, HealthLevel::Good}, std::pair{23.9, HealthLevel::Amber},
                                     std::pair{2.0, HealthLevel::Amber}, std::pair{1.9, HealthLevel::Red}}) {
    h.diskHours = hours;
    EXPECT_EQ(HealthCells(h)[kHealthDisk].level, level) << hours;
  }
  h.diskHours = 312.4;
  EXPECT_EQ(HealthCells(h)[kHealthDisk].text, "Disk: 312 h left");

  EXPECT_EQ(Elide("Line: waiting 12 s", 8), "Line: w\u2026");
  EXPECT_EQ(Elide("tsg1 1 s", 8), "tsg1 1 s");
}

}  // namespace
}  // namespace sondrix
