// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's title through a session (nothing open, a meter, a data
// file, a run, a run waiting to be saved) and the night palette: chosen from
// the menu, written to Sondrix.ini at once and worn again at the next start.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_fixtures.h"
#include "app/menu.h"
#include "app/window_title.h"
#include "common/panels.h"
#include "common/settings.h"
#include "platform/profile.h"

namespace sondrix {
namespace {

namespace p = panels;

class WindowTest : public test::AppTest {
 protected:
  std::string Title() {
    platform::CtrlValue value;
    EXPECT_EQ(ui.GetPanelAttribute(app.mainPanel, platform::Attr::Title, value), 0);
    return std::get<std::string>(value);
  }
  bool NightChecked() { return ui.MenuBar(app.menuBar)->Find(p::kMenuNightPalette)->checked; }
  std::string IniValue() {
    return platform::GetPrivateProfileString("Display", "NightPalette", "(absent)", settings::SettingsPath(), 64);
  }
};

TEST_F(WindowTest, TheTitleTextsFollowTheRule) {
  EXPECT_EQ(WindowTitle("", false, false), "Sondrix");
  EXPECT_EQ(WindowTitle("run1.dat", false, false), "Sondrix \u2014 run1.dat");
  EXPECT_EQ(WindowTitle("nerit.dev (COM1)", true, false), "Sondrix \u2014 nerit.dev (COM1) \u2014 running");
  EXPECT_EQ(WindowTitle("nerit.dev (COM1)", false, true), "*Sondrix \u2014 nerit.dev (COM1)");
  EXPECT_EQ(WindowTitle("", false, true), "*Sondrix");
}

// The titles the window shows as a user goes through a session: at start,
// with a meter on COM1, during its run, with the run unsaved, after saving
// it, and with a data file opened for replay.
TEST_F(WindowTest, TheWindowTitleNamesTheSourceTheRunAndAnUnsavedRun) {
  Start();
  EXPECT_EQ(Title(), "Sondrix");
  Feed(1, 30);
  OpenDevice("COM1");
  std::vector<std::string> seen;
  ui.Then([this, &seen](platform::HeadlessUi&) { seen.push_back(Title()); });
  ui.Key(p::kMain, "F1");
  // During the run: looked at on the run's own looks at the window.
  StopWhen([this, &seen] {
    seen.push_back(Title());
    return app.display().sampleCount() >= 20;
  });
  ui.CancelFile();
  AfterRun([this, &seen](platform::HeadlessUi& u) {
    u.Then([this, &seen](platform::HeadlessUi&) { seen.push_back(Title()); });
    u.MenuChoice(p::kMain, p::kMenuSaveData).AnswerFile(HomeFile("saved.dat"));
    u.Then([this, &seen](platform::HeadlessUi&) { seen.push_back(Title()); });
    u.Raw(platform::UserEvent{});
    u.Then([this, &seen](platform::HeadlessUi&) { seen.push_back(Title()); });
    u.MenuChoice(p::kMain, p::kMenuExit);
  });
  RunMainLoop(app);
  const std::string meter = "Sondrix \u2014 meter.dev (COM1)";
  ASSERT_GE(seen.size(), 4u);
  EXPECT_EQ(seen.front(), meter);
  EXPECT_NE(std::find(seen.begin(), seen.end(), meter + " \u2014 running"), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), "*" + meter), seen.end());
  EXPECT_EQ(seen.back(), meter);  // saved: the mark has gone
  EXPECT_GE(DataLines(HomeFile("saved.dat")).size(), 20u);

  // A data file opened for replay: its name.
  ASSERT_EQ(OpenNamedSource(app, kSourceKindFile, Recording(5, "run1.dat"), ""), status::kOk);
  ShowWindowTitle(app);
  EXPECT_EQ(Title(), "Sondrix \u2014 run1.dat");
  Menu_HandleEvent(app, p::kMenuNew);
  ShowWindowTitle(app);
  EXPECT_EQ(Title(), "Sondrix");
}

// The keyboard focus is parked on the frame at start and when a run
// begins or ends, and otherwise left where Tab took it: the main loop wakes
// for the key press itself and must not take the focus back.
TEST_F(WindowTest, TabMovesTheFocusAndTheLoopLeavesItThere) {
  Start();
  Feed(1, 30);
  OpenDevice("COM1");
  auto focus = [this] { return ui.Panel(app.mainPanel)->activeControl; };
  std::vector<int> seen;
  ui.Then([&](platform::HeadlessUi& u) {
    seen.push_back(focus());
    u.SetActiveCtrl(app.mainPanel, p::kMainZoomIn);  // what Tab does
  });
  ui.Raw(platform::UserEvent{});  // the loop wakes for the key
  ui.Raw(platform::UserEvent{});
  ui.Then([&](platform::HeadlessUi&) { seen.push_back(focus()); });
  ui.Commit(p::kMain, p::kMainZoomIn);  // the space bar on it
  ui.Then([&](platform::HeadlessUi& u) {
    seen.push_back(focus());
    u.SetActiveCtrl(app.mainPanel, p::kMainStartStop);
  });
  ui.Key(p::kMain, "F1");
  StopWhen([&] {
    if (seen.size() == 3) seen.push_back(focus());  // during the run
    return app.display().sampleCount() >= 10;
  });
  ui.CancelFile();
  AfterRun([&](platform::HeadlessUi& u) {
    u.Then([&](platform::HeadlessUi&) { seen.push_back(focus()); });
    u.AnswerGeneric(2);  // discard the run at the exit
    u.MenuChoice(p::kMain, p::kMenuExit);
  });
  RunMainLoop(app);
  EXPECT_EQ(seen, (std::vector<int>{p::kMainFocus, p::kMainZoomIn, p::kMainZoomIn, p::kMainFocus, p::kMainFocus}));
}

TEST_F(WindowTest, TheNightPaletteIsChosenRememberedAndWornAgainAtTheNextStart) {
  Start();
  EXPECT_EQ(ui.GetColorScheme(), platform::ColorScheme::Day);
  EXPECT_FALSE(NightChecked());
  EXPECT_EQ(IniValue(), "(absent)");

  ui.MenuChoice(p::kMain, p::kMenuNightPalette);
  ui.Then([this](platform::HeadlessUi& u) {
    EXPECT_EQ(u.GetColorScheme(), platform::ColorScheme::Night);
    EXPECT_TRUE(NightChecked());
    // Written at once, not only at the exit.
    EXPECT_EQ(IniValue(), "yes");
  });
  ui.MenuChoice(p::kMain, p::kMenuNightPalette);
  ui.Then([this](platform::HeadlessUi& u) {
    EXPECT_EQ(u.GetColorScheme(), platform::ColorScheme::Day);
    EXPECT_FALSE(NightChecked());
    EXPECT_EQ(IniValue(), "no");
  });
  ui.MenuChoice(p::kMain, p::kMenuNightPalette);
  ui.MenuChoice(p::kMain, p::kMenuExit);
  RunMainLoop(app);
  FinishApplication(app);
  EXPECT_EQ(IniValue(), "yes");
}

TEST_F(WindowTest, TheSettingOfTheLastSessionIsWornBeforeAnyMessage) {
  WriteSettings("[Display]\nNightPalette=yes\n");
  // A message at start (a recording a dead run left behind) comes up in
  // the night palette already.
  test::WriteTextFile(HomeFile("Sondrix.tmp"), "Sondrix ver 7.1\t03-05-2024\t14:07:09\n");
  int changesBeforeMessage = -1;
  ui.popupAnswerer = [this, &changesBeforeMessage](const platform::PopupRecord&) -> std::optional<int> {
    if (changesBeforeMessage < 0) changesBeforeMessage = ui.schemeChanges();
    return 0;
  };
  Start();
  EXPECT_EQ(ui.GetColorScheme(), platform::ColorScheme::Night);
  EXPECT_TRUE(NightChecked());
  EXPECT_EQ(changesBeforeMessage, 1);
  // A value that is not yes: day.
  WriteSettings("[Display]\nNightPalette=0\n");
  ShowNightPalette(app, settings::NightPaletteOn());
  EXPECT_EQ(ui.GetColorScheme(), platform::ColorScheme::Day);
  EXPECT_FALSE(NightChecked());
}

}  // namespace
}  // namespace sondrix
