// SPDX-License-Identifier: GPL-3.0-or-later
// The window's run keeps its companion beside the recording: the deployment
// metadata given in the Deployment dialog (offered before a run that has
// none, remembered once given), what the source tells of itself, the zone's
// offset, and time zero on the UTC clock at the first sample's arrival.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "app/app_fixtures.h"
#include "app/menu.h"
#include "common/panels.h"
#include "common/settings.h"
#include "common/text_format.h"
#include "datafile/companion.h"
#include "app/deployment.h"

namespace sondrix {
namespace {

namespace p = panels;
using test::kNeritSerial;

class CompanionRunTest : public test::AppTest {
 protected:
  Companion Read(const std::string& dataFile) {
    Companion companion;
    std::string error;
    EXPECT_EQ(ReadCompanion(CompanionPathFor(dataFile), companion, error), 1) << error;
    return companion;
  }
  // The first sample line's time stamp (ms).
  long long FirstStamp(const std::string& dataFile) {
    const std::vector<std::string> lines = DataLines(dataFile);
    return lines.empty() ? -1 : std::stoll(lines.front().substr(0, lines.front().find('\t')));
  }
  void RunTo(const std::string& name) {
    StopWhen([this] { return app.session().recording() != nullptr && app.session().recording()->writtenLines() >= 15; });
    ui.AnswerFile(HomeFile(name));
    const std::int64_t before = clock.UtcMs();
    EXPECT_EQ(Acquire_Run(app), status::kOk);
    const std::int64_t after = clock.UtcMs();
    // The first sample's UTC time is time zero plus its stamp: it was
    // measured before its packet arrived during the run, by at most the
    // packet's span and its time on the line (a third of a second at
    // 19200 baud).
    const Companion companion = Read(HomeFile(name));
    ASSERT_TRUE(companion.timeZeroUtcMs.has_value());
    const std::int64_t first = *companion.timeZeroUtcMs + FirstStamp(HomeFile(name));
    EXPECT_GE(first, before - 1000);
    EXPECT_LE(first, after);
  }
};

TEST_F(CompanionRunTest, TheDialogBeforeARunWithoutMetadataFillsTheCompanionAndIsRemembered) {
  Start({}, false);
  clock.SetUtcOffset(-3 * 3600);
  Feed(1, 4);
  OpenDevice("COM1");

  // No metadata yet: the dialog comes before the run; Cancel runs without.
  ui.Commit(p::kDeployment, p::kDepCancel, {{p::kDepCruise, std::string("not taken")}});
  RunTo("first.dat");
  Companion first = Read(HomeFile("first.dat"));
  EXPECT_TRUE(first.deployment.Empty());
  EXPECT_EQ(settings::DeploymentValue("cruise"), "");
  EXPECT_EQ(first.utcOffsetSeconds, -3 * 3600);
  EXPECT_EQ(first.program, "Sondrix 7.1");
  EXPECT_EQ(first.port, "COM1");
  EXPECT_EQ(first.serialNumber, Format("%08lX", static_cast<unsigned long>(kNeritSerial)));
  EXPECT_EQ(first.deviceFile, "meter.dev");
  // The scratch file's companion went with the recording.
  EXPECT_FALSE(std::filesystem::exists(CompanionPathFor(App::ScratchPath())));

  // Still none: offered again; what OK takes goes into the companion and
  // the settings.
  Feed(1, 4, kNeritSerial, 4);
  ui.Commit(p::kDeployment, p::kDepOk,
            {{p::kDepCruise, std::string("SX2612")},
             {p::kDepStation, std::string("St 4")},
             {p::kDepInvestigators, std::string("A. Diver, B. Winch")},
             {p::kDepNote, std::string("after the squall")}});
  RunTo("second.dat");
  Deployment given;
  given.Set("cruise", "SX2612");
  given.Set("station", "St 4");
  given.Set("investigators", "A. Diver, B. Winch");
  given.Set("note", "after the squall");
  given.Set("data_type", "cast");  // the rings' first items, as shown
  given.Set("data_status", "preliminary");
  EXPECT_EQ(Read(HomeFile("second.dat")).deployment, given);
  EXPECT_EQ(settings::DeploymentValue("station"), "St 4");

  // Remembered: the next run asks nothing (no dialog is scripted) and
  // carries the same values.
  Feed(1, 4, kNeritSerial, 8);
  RunTo("third.dat");
  EXPECT_EQ(Read(HomeFile("third.dat")).deployment, given);

  // Configure > Deployment... changes them for the runs after.
  ui.Commit(p::kDeployment, p::kDepOk, {{p::kDepCruise, std::string("")}, {p::kDepCast, std::string("7")}});
  Menu_HandleEvent(app, p::kMenuDeployment);
  EXPECT_EQ(settings::DeploymentValue("cruise"), "");
  EXPECT_EQ(settings::DeploymentValue("cast"), "7");
  EXPECT_EQ(settings::DeploymentValue("station"), "St 4");
}

// The station's position and SeaBASS's data type and status in the dialog:
// a position that is none (out of range, a decimal comma, half of one) is
// told and the dialog stays; the rings list SeaBASS's values and show the
// one remembered.
TEST_F(CompanionRunTest, TheDialogTakesOnlyAStationPositionThatIsOne) {
  Start({});
  settings::SetDeploymentValue("data_type", "mooring");
  ui.Commit(p::kDeployment, p::kDepOk, {{p::kDepLatitude, std::string("91")}, {p::kDepLongitude, std::string("10")}})
      .Commit(p::kDeployment, p::kDepOk, {{p::kDepLatitude, std::string("43,5")}})
      .Commit(p::kDeployment, p::kDepOk, {{p::kDepLatitude, std::string("43.5")}, {p::kDepLongitude, std::string("")}})
      .Then([](platform::HeadlessUi& ui) {
        // The data type remembered is the one shown; SeaBASS's list in order.
        const int panel = ui.NewestHandle(p::kDeployment);
        EXPECT_EQ(ui.GetCtrlInt(panel, p::kDepDataType), 2);
        int count = 0;
        ui.GetNumListItems(panel, p::kDepDataStatus, count);
        EXPECT_EQ(count, 3);
      })
      .Select(p::kDeployment, p::kDepDataStatus, 1, platform::EventType::ValueChanged)
      .Commit(p::kDeployment, p::kDepOk, {{p::kDepLatitude, std::string(" -33.875")}, {p::kDepLongitude, std::string("289.5")}});
  EXPECT_EQ(Deployment_Configure(), status::kOk);
  std::vector<std::string> told;
  for (const auto& popup : ui.popups()) told.push_back(popup.text);
  ASSERT_EQ(told.size(), 3u);
  EXPECT_NE(told[0].find("latitude \"91\""), std::string::npos) << told[0];
  EXPECT_NE(told[1].find("latitude \"43,5\""), std::string::npos) << told[1];
  EXPECT_NE(told[2].find("needs both latitude and longitude"), std::string::npos) << told[2];
  EXPECT_EQ(settings::DeploymentValue("latitude"), "-33.875");  // the settings keep no blanks around a value
  EXPECT_EQ(settings::DeploymentValue("longitude"), "289.5");
  EXPECT_EQ(settings::DeploymentValue("data_type"), "mooring");
  EXPECT_EQ(settings::DeploymentValue("data_status"), "final");
}

// F5 during a run marks an event at the moment the key was pressed; the run
// marks its own start and end around it.
TEST_F(CompanionRunTest, MarkEventDuringARunGoesIntoTheCompanionBetweenTheRunsStartAndEnd) {
  Start({});
  Feed(1, 4);
  OpenDevice("COM1");
  const auto lines = [this] { return app.session().recording() != nullptr ? app.session().recording()->writtenLines() : 0L; };
  std::int64_t pressed = -1;
  // Once lines are coming, F5 and the dialog's answer; then the stop.
  std::function<void(platform::HeadlessUi&)> mark = [&](platform::HeadlessUi& u) {
    if (lines() < 5) {
      u.Raw(platform::UserEvent{});
      u.Then(mark);
      return;
    }
    pressed = clock.UtcMs();
    u.Key(p::kMain, "F5");
    u.Commit(p::kMarkEvent, p::kEvOk, {{p::kEvKind, 1}, {p::kEvNote, std::string("CTD at 5 m")}});
    // Return in the note marks it as OK does.
    u.Key(p::kMain, "F5");
    u.Commit(p::kMarkEvent, p::kEvNote, {{p::kEvKind, 2}, {p::kEvNote, std::string("back on deck")}});
    StopWhen([&] { return lines() >= 15; });
  };
  ui.Then(mark);
  ui.AnswerFile(HomeFile("cast.dat"));
  EXPECT_EQ(Acquire_Run(app), status::kOk);
  const Companion companion = Read(HomeFile("cast.dat"));
  ASSERT_EQ(companion.events.size(), 4u);
  EXPECT_EQ(companion.events[0].kind, "start");
  EXPECT_EQ(companion.events[1].kind, "cast start");
  EXPECT_EQ(companion.events[1].note, "CTD at 5 m");
  EXPECT_GE(companion.events[1].utcMs, pressed);
  EXPECT_EQ(companion.events[2].kind, "cast end");
  EXPECT_EQ(companion.events[2].note, "back on deck");
  EXPECT_EQ(companion.events[3].kind, "end");
  for (std::size_t k = 1; k < companion.events.size(); ++k)
    EXPECT_LE(companion.events[k - 1].utcMs, companion.events[k].utcMs);
  // Between runs there is nothing to mark.
  EXPECT_TRUE(ui.MenuBar(app.menuBar)->Find(p::kMenuMarkEvent)->dimmed);
}

}  // namespace
}  // namespace sondrix
