// SPDX-License-Identifier: GPL-3.0-or-later
// The window during a run: the graph can be switched and then shows the
// run's earlier lines, the traces shown and following can be changed, the
// dialogs the run allows keep it reading, Exit ends and saves the run, and
// what would disturb the run stays dimmed and is not obeyed.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/acquire.h"
#include "app/app_fixtures.h"
#include "app/application.h"
#include "app/menu.h"
#include "common/panels.h"
#include "common/settings.h"
#include "display/graph.h"
#include "display/strip.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::HeadlessUi;
using platform::UserEvent;
using test::kNeritTraces;

class RunWindowTest : public test::AppTest {
 protected:
  // Lines the run has recorded so far.
  long Lines() {
    const DataFile* recording = app.session().recording();
    return recording == nullptr ? 0 : recording->writtenLines();
  }
  // Scripts the user's steps of a run: each step waits (one look of the
  // program at the user interface per look) until the run has recorded
  // `lines` lines, then acts.
  struct Step {
    long lines;
    std::function<void(HeadlessUi&)> act;
  };
  void Script(std::vector<Step> steps) {
    if (steps.empty()) return;
    ui.Then([this, steps](HeadlessUi& u) mutable {
      if (Lines() >= steps.front().lines) {
        steps.front().act(u);
        steps.erase(steps.begin());
      } else {
        u.Raw(UserEvent{});
      }
      Script(std::move(steps));
    });
  }
  bool Dimmed(int item) { return ui.MenuBar(app.menuBar)->Find(item)->dimmed; }
  bool FollowDimmed() { return ui.Control(app.mainPanel, p::kMainFollow)->dimmed; }
  int Shown() { return app.display().current()->GetType(); }
  static void Stop(HeadlessUi& u) { u.Commit(p::kMain, p::kMainStartStop); }
};

// Forty lines of the meter; after ten the strip chart is chosen from the
// Display menu: it shows those ten lines at once and goes on with the run.
TEST_F(RunWindowTest, TheGraphSwitchedToDuringARunShowsTheLinesBefore) {
  Start();
  Feed(1, 6);
  OpenDevice("COM1");
  std::size_t pointsAtSwitch = 0;
  Script({{10, [](HeadlessUi& u) { u.MenuChoice(p::kMain, p::kMenuStripChart); }},
          {11,
           [&](HeadlessUi&) {
             EXPECT_EQ(Shown(), graph_type::kStrip);
             pointsAtSwitch = ui.StripTrace(app.mainPanel, p::kMainStripChart, 0).size();
           }},
          {40,
           [&](HeadlessUi& u) {
             // Every line is one point (display bin size 1); a trace's points
             // are its values in the recording, the first ten included.
             const std::vector<double> points = ui.StripTrace(app.mainPanel, p::kMainStripChart, 17);
             EXPECT_EQ(static_cast<long>(points.size()), Lines());
             const RunHistory& history = app.display().history();
             ASSERT_EQ(history.size(), points.size());
             for (std::size_t k = 0; k < points.size(); ++k) EXPECT_EQ(points[k], history.value(k, 17)) << k;
             Stop(u);
           }}});
  ui.AnswerFile(HomeFile("run.dat"));
  EXPECT_EQ(Acquire_Run(app), status::kOk);
  EXPECT_GE(pointsAtSwitch, 10u);
  EXPECT_EQ(DataLines(HomeFile("run.dat")).size(), static_cast<std::size_t>(app.display().history().size()));
  // After the run another graph shows it whole as well.
  Menu_HandleEvent(app, p::kMenuXYGraph);
  ASSERT_EQ(ui.Plots(app.mainPanel, p::kMainXYGraph).size(), static_cast<std::size_t>(kNeritTraces));
  EXPECT_EQ(ui.Plots(app.mainPanel, p::kMainXYGraph)[0].x.size(), app.display().history().size());
}

// Exit from the menu during a run ends the run, offers it for saving and
// ends the program, as the close box does.
TEST_F(RunWindowTest, ExitDuringARunEndsAndSavesTheRunAndTheProgram) {
  Start();
  Feed(1, 6);
  OpenDevice("COM1");
  ui.Key(p::kMain, "F1");
  Script({{20, [](HeadlessUi& u) { u.MenuChoice(p::kMain, p::kMenuExit); }}});
  ui.AnswerFile(HomeFile("exit.dat"));
  RunMainLoop(app);
  EXPECT_TRUE(app.quit);
  ASSERT_EQ(ui.fileDialogs().size(), 1u);
  EXPECT_EQ(ui.fileDialogs()[0].request.title, "Save data in file:");
  EXPECT_GE(DataLines(HomeFile("exit.dat")).size(), 20u);
  EXPECT_FALSE(app.unsavedRun);
}

// During a run the items that would disturb it are dimmed, and a command
// for one of them (as no window system would send) is not obeyed; the
// graphs, their settings, the traces and Exit stay available.
TEST_F(RunWindowTest, WhatWouldDisturbTheRunStaysDimmedAndIsNotObeyed) {
  Start();
  Feed(1, 6);
  OpenDevice("COM1");
  // The diagnostics item, as pressing the program's name adds it.
  const int diagnostics = ui.InsertMenuItem(app.menuBar, p::kMenuFile, p::kMenuFileSep2, "Diagnostics...", "");
  ASSERT_GT(diagnostics, 0);
  app.diagnosticsItem = diagnostics;
  Source* source = app.source();
  Script({{5,
           [&](HeadlessUi& u) {
             for (const int item : {p::kMenuNew, p::kMenuOpenDevice, p::kMenuOpenDataFile, p::kMenuSaveData,
                                    p::kMenuEditConfig, p::kMenuRecallGraph, p::kMenuSaveGraph, p::kMenuPrint,
                                    p::kMenuExportGraph, p::kMenuAbout, diagnostics}) {
               EXPECT_TRUE(Dimmed(item)) << item;
             }
             EXPECT_EQ(Dimmed(p::kMenuDepthGraph), app.source()->HasDepth() == 0);
             for (const int item : {p::kMenuXYGraph, p::kMenuStripChart, p::kMenuTempGraph, p::kMenuSpectGraph,
                                    p::kMenuSpect2Graph, p::kMenuGraphSettings, p::kMenuConfigDisplay,
                                    p::kMenuConfigAcquisition, p::kMenuExit}) {
               EXPECT_FALSE(Dimmed(item)) << item;
             }
             u.Raw(UserEvent{platform::EventType::Menu, app.menuBar, p::kMenuNew});
           }},
          {6, [&](HeadlessUi& u) { u.Raw(UserEvent{platform::EventType::Menu, app.menuBar, p::kMenuEditConfig}); }},
          {7, [&](HeadlessUi& u) { u.Raw(UserEvent{platform::EventType::Menu, app.menuBar, diagnostics}); }},
          {8, [&](HeadlessUi& u) { u.Raw(UserEvent{platform::EventType::Menu, app.menuBar, p::kMenuOpenDataFile}); }},
          {30, Stop}});
  ui.AnswerFile(HomeFile("kept.dat"));
  EXPECT_EQ(Acquire_Run(app), status::kOk);
  // The run went on to its thirtieth line with the same source (and took
  // in the packets that had arrived when it was stopped: fifty lines);
  // nothing was opened, edited or tested meanwhile.
  EXPECT_EQ(app.source(), source);
  EXPECT_EQ(DataLines(HomeFile("kept.dat")).size(), 50u);
  EXPECT_EQ(ui.fileDialogs().size(), 1u);
  EXPECT_FALSE(ui.WasShown(p::kMeterConfig));
  // Idle again: the items come back.
  EXPECT_FALSE(Dimmed(p::kMenuOpenDevice));
}

// A cast that starts at dusk: the night palette is switched on during the
// run, which goes on; the choice is remembered at once.
TEST_F(RunWindowTest, TheNightPaletteCanBeSwitchedDuringARun) {
  Start();
  Feed(1, 6);
  OpenDevice("COM1");
  Script({{5,
           [&](HeadlessUi& u) {
             EXPECT_FALSE(Dimmed(p::kMenuNightPalette));
             u.MenuChoice(p::kMain, p::kMenuNightPalette);
           }},
          {10,
           [&](HeadlessUi&) {
             EXPECT_EQ(ui.GetColorScheme(), platform::ColorScheme::Night);
             EXPECT_TRUE(settings::NightPaletteOn());
           }},
          {20, Stop}});
  ui.AnswerFile(HomeFile("dusk.dat"));
  EXPECT_EQ(Acquire_Run(app), status::kOk);
  EXPECT_EQ(ui.GetColorScheme(), platform::ColorScheme::Night);
  EXPECT_GE(DataLines(HomeFile("dusk.dat")).size(), 20u);
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

// The acquisition dialog during a run: the traces shown can change, the bin
// sizes cannot; the run records lines while the dialog is up.
TEST_F(RunWindowTest, TheAcquisitionDialogDuringARunChangesTracesNotBinSizesAndTheRunGoesOn) {
  Start();
  Feed(1, 6);
  OpenDevice("COM1");
  long atOpen = 0;
  Script({{5, [](HeadlessUi& u) { u.MenuChoice(p::kMain, p::kMenuXYGraph); }},
          {10,
           [&](HeadlessUi& u) {
             u.MenuChoice(p::kMain, p::kMenuConfigAcquisition)
                 .Then([&](HeadlessUi& h) {
                   const int dialog = h.NewestHandle(p::kAcquisition);
                   EXPECT_TRUE(h.Control(dialog, p::kAcqBinsize)->dimmed);
                   EXPECT_TRUE(h.Control(dialog, p::kAcqDisplayBinsize)->dimmed);
                   atOpen = Lines();
                 });
             // The user reads the list: meanwhile the program looks at the
             // user interface five times, and reads a line each time.
             for (int i = 0; i < 5; ++i) u.Raw(UserEvent{});
             u.Then([&](HeadlessUi& h) {
                EXPECT_EQ(Lines(), atOpen + 5);
                h.CheckListItem(h.NewestHandle(p::kAcquisition), p::kAcqTraces, 0, 0);
              }).Commit(p::kAcquisition, p::kAcqOk);
           }},
          {30, Stop}});
  ui.AnswerFile(HomeFile("kept.dat"));
  EXPECT_EQ(Acquire_Run(app), status::kOk);
  EXPECT_FALSE(app.display().visible(0));
  EXPECT_TRUE(app.display().visible(1));
  EXPECT_EQ(app.source()->GetBinsize(), 1);
  EXPECT_EQ(app.display().displayBinsize(), 1);
  // The graph on show dropped the trace at once and kept the others whole.
  ASSERT_EQ(ui.Plots(app.mainPanel, p::kMainXYGraph).size(), static_cast<std::size_t>(kNeritTraces - 1));
  EXPECT_EQ(ui.Plots(app.mainPanel, p::kMainXYGraph)[0].attributes.color, app.display().TraceRGB(1));
  // Stopped at the thirtieth line, with two packets arrived meanwhile.
  EXPECT_EQ(ui.Plots(app.mainPanel, p::kMainXYGraph)[0].x.size(), 50u);
  EXPECT_EQ(DataLines(HomeFile("kept.dat")).size(), 50u);
}

// A run that ends while a dialog is up (the end of a capture) ends quietly
// once the dialog is done.
TEST_F(RunWindowTest, ARunThatEndsWhileADialogIsUpEndsWhenItCloses) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(4)), status::kOk);
  Script({{5, [](HeadlessUi& u) { u.MenuChoice(p::kMain, p::kMenuXYGraph); }},
          {10,
           [](HeadlessUi& u) {
             u.MenuChoice(p::kMain, p::kMenuGraphSettings);
             for (int i = 0; i < 40; ++i) u.Raw(UserEvent{});
             u.Commit(p::kGraphSettings, p::kGsOk, {{p::kGsFollowMinutes, 1.5}});
           }}});
  ui.AnswerFile(HomeFile("replayed.dat"));
  EXPECT_EQ(Acquire_Run(app), status::kUnexpectedEof);
  EXPECT_TRUE(ErrorTexts().empty());
  EXPECT_EQ(DataLines(HomeFile("replayed.dat")).size(), 40u);
  EXPECT_EQ(app.display().current()->follow().minutes, 1.5);
}

// A zoom during a run suspends following; Follow resumes it.
TEST_F(RunWindowTest, ZoomDuringARunSuspendsFollowingUntilFollowIsPressed) {
  Start();
  Feed(1, 6);
  OpenDevice("COM1");
  Script({{2, [](HeadlessUi& u) { u.MenuChoice(p::kMain, p::kMenuXYGraph); }},
          {5,
           [&](HeadlessUi& u) {
             EXPECT_TRUE(FollowDimmed());
             u.Commit(p::kMain, p::kMainZoomIn);
           }},
          {6,
           [&](HeadlessUi& u) {
             EXPECT_TRUE(app.display().current()->followSuspended());
             EXPECT_FALSE(FollowDimmed());
             u.Commit(p::kMain, p::kMainFollow);
           }},
          {7,
           [&](HeadlessUi& u) {
             EXPECT_FALSE(app.display().current()->followSuspended());
             EXPECT_TRUE(FollowDimmed());
             u.MenuChoice(p::kMain, p::kMenuWholeRun);
           }},
          {8,
           [&](HeadlessUi& u) {
             EXPECT_TRUE(ui.MenuBar(app.menuBar)->Find(p::kMenuWholeRun)->checked);
             Stop(u);
           }}});
  ui.AnswerFile(HomeFile("kept.dat"));
  EXPECT_EQ(Acquire_Run(app), status::kOk);
  // Whole Run is the graph's own setting, kept in its display configuration.
  const std::string config = test::ReadTextFile(HomeFile("meter.RTC")).value_or("");
  EXPECT_NE(config.find("1\t5.00000\t1\t1\t; follow"), std::string::npos) << config;
}

}  // namespace
}  // namespace sondrix
