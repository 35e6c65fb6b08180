// SPDX-License-Identifier: GPL-3.0-or-later
// The ship's data in the window: the Ship Data dialog refuses what it cannot
// read and remembers what it takes in Sondrix.ini; a live run opens the
// remembered sources, shows their values, age and the valve's state under
// the read-outs, and records them beside the recording.
#include <gtest/gtest.h>

#include <string>

#include "app/app_fixtures.h"
#include "app/menu.h"
#include "app/ship_data.h"
#include "common/panels.h"
#include "common/settings.h"
#include "common/text_format.h"
#include "datafile/ancillary_file.h"
#include "session/run_health.h"

namespace sondrix {
namespace {

namespace p = panels;

class ShipDataTest : public test::AppTest {};

TEST_F(ShipDataTest, TheDialogRefusesWhatItCannotReadAndRemembersWhatItTakes) {
  Start();
  ui.Commit(p::kShipData, p::kShipOk, {{p::kShipSource1, std::string("COM2")}, {p::kShipFields1, std::string("temperature=one")}})
      .Commit(p::kShipData, p::kShipOk, {{p::kShipFields1, std::string("")}})
      .Commit(p::kShipData, p::kShipOk,
              {{p::kShipFields1, std::string("temperature=1,valve=4")}, {p::kShipValve, std::string("60,10,0")}})
      .Commit(p::kShipData, p::kShipOk, {{p::kShipValve, std::string("60,70")}})
      .Commit(p::kShipData, p::kShipOk,
              {{p::kShipId1, std::string("tsg1")},
               {p::kShipFields1, std::string("temperature=1, salinity=3")},
               {p::kShipBaud1, 4800},
               {p::kShipSource1 + 2, std::string("COM3")},
               {p::kShipFields1 + 2, std::string("valve=line")},
               {p::kShipValve, std::string("")}});
  Menu_HandleEvent(app, p::kMenuShipData);
  const std::vector<std::string> told = PopupTexts("Ship Data");
  ASSERT_EQ(told.size(), 4u) << told.back();
  EXPECT_TRUE(told[0].starts_with("Source 1 (COM2), fields: ")) << told[0];
  EXPECT_EQ(told[1], "Source 1 (COM2) needs its fields, e.g. temperature=1,salinity=3.");
  EXPECT_EQ(told[2], "The valve's state comes from a source's field or from the schedule, not both.");
  EXPECT_TRUE(told[3].starts_with("Valve schedule: ")) << told[3];

  // Rows are taken in order, an empty row closes up.
  ShipDataSetting expected;
  expected.sources.push_back({"COM2", 4800, "tsg1", {{{Quantity::kTemperature, 1}, {Quantity::kSalinity, 3}}}});
  expected.sources.push_back({"COM3", kDefaultAncillaryBaud, "", {{{Quantity::kValve, 0}}}});
  EXPECT_EQ(LoadShipDataSetting(), expected);
  EXPECT_EQ(settings::Get(settings::kShipData, "Fields1"), "temperature=1,salinity=3");
  EXPECT_EQ(settings::Get(settings::kShipData, "Source2"), "COM3");

  // Opened again, the dialog shows what it remembers; Cancel changes nothing.
  ui.Then([](platform::HeadlessUi& u) {
      const int dialog = u.NewestHandle(p::kShipData);
      EXPECT_EQ(u.GetCtrlText(dialog, p::kShipId1), "tsg1");
      EXPECT_EQ(u.GetCtrlInt(dialog, p::kShipBaud1), 4800);
      EXPECT_EQ(u.GetCtrlText(dialog, p::kShipFields1 + 1), "valve=line");
    }).Commit(p::kShipData, p::kShipCancel, {{p::kShipSource1, std::string("")}});
  Menu_HandleEvent(app, p::kMenuShipData);
  EXPECT_EQ(LoadShipDataSetting(), expected);
}

TEST_F(ShipDataTest, ALiveRunShowsTheShipsDataAndRecordsItBesideTheRun) {
  Start();
  ShipDataSetting setting;
  setting.sources.push_back({"COM2", 9600, "tsg1", {{{Quantity::kTemperature, 1}, {Quantity::kSalinity, 3}}}});
  setting.valveSchedule = ValveSchedule{60.0, 10.0, 0.0};
  StoreShipDataSetting(setting);
  Feed(1, 8);
  OpenDevice("COM1");
  const std::string line = "tsg1 " + IsoUtc(clock.UtcMs(), true) + " 21.8054, 5.17647, 36.5878, 1528.105\r\n";
  serial.Feed(2, line);

  const auto lines = [this] { return app.session().recording() != nullptr ? app.session().recording()->writtenLines() : 0L; };
  std::string during;
  int visibleDuring = -1;
  RunHealth health;
  std::function<void(platform::HeadlessUi&)> look = [&](platform::HeadlessUi& u) {
    during = Shown(p::kMainShipData);
    if (lines() < 30 || during.find("tsg1") == std::string::npos) {
      u.Raw(platform::UserEvent{});
      u.Then(look);
      return;
    }
    visibleDuring = Visible(p::kMainShipData);
    health = app.session().Health();
    u.Commit(p::kMain, p::kMainStartStop);
  };
  ui.Then(look);
  ui.AnswerFile(HomeFile("underway.dat"));
  EXPECT_EQ(Acquire_Run(app), status::kOk);

  // "T 21.81 °C  S 36.59 (tsg1, 0.0 s)" over the valve's state by the
  // schedule at the fake clock's time, the next state and the time to it.
  EXPECT_EQ(visibleDuring, 1);
  const std::size_t end = during.find('\n');
  ASSERT_NE(end, std::string::npos) << during;
  EXPECT_TRUE(during.starts_with("T 21.81 °C  S 36.59 (tsg1, ")) << during;
  const std::int64_t now = clock.UtcMs();
  const long left = static_cast<long>((setting.valveSchedule->NextSwitch(now) - now + 999) / 1000);
  const std::string valve = setting.valveSchedule->FilteredAt(now) ? "Filtered; whole water in " : "Whole water; filtered in ";
  EXPECT_EQ(during.substr(end + 1), valve + Format("%ld:%02ld", left / 60, left % 60)) << during;
  EXPECT_EQ(Visible(p::kMainShipData), 0);
  // The health strip's ship data cell: fresh, stale only past 30 s.
  ASSERT_EQ(health.ancillary.size(), 1u);
  EXPECT_EQ(health.ancillary[0].name, "tsg1");
  EXPECT_EQ(AgeLevel(health.ancillary[0]), HealthLevel::Good);
  health.ancillary[0].age = 29.0;
  EXPECT_EQ(AgeLevel(health.ancillary[0]), HealthLevel::Good);
  health.ancillary[0].age = 31.0;
  EXPECT_EQ(AgeLevel(health.ancillary[0]), HealthLevel::Amber);

  // Recorded beside the run: the line's own time, each value once.
  std::vector<AncillaryRecord> records;
  long skipped = 0;
  std::string error;
  ASSERT_EQ(ReadAncillary(AncillaryPathFor(HomeFile("underway.dat")), records, skipped, error), status::kOk) << error;
  EXPECT_EQ(skipped, 0);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].value, 21.8054);
  EXPECT_EQ(records[1].value, 36.5878);
  EXPECT_EQ(records[0].source, "tsg1");
}

}  // namespace
}  // namespace sondrix
