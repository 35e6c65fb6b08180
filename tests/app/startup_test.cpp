// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and exit: what the settings file brings back and what is written
// to it, the command line, the scratch recording of the project directory
// (one instance at a time, a dead run's recording offered at the next
// start, an unsaved run offered before the program ends).
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_fixtures.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/recording.h"
#include "common/panels.h"
#include "common/settings.h"
#include "datafile/data_file.h"
#include "datafile/scratch_recording.h"
#include "meter/source_factory.h"
#include "source/rudud.h"

namespace sondrix {
namespace {

namespace p = panels;

class StartupTest : public test::AppTest {
 protected:
  std::string Setting(std::string_view section, std::string_view key) {
    return settings::Get(section, key, "(absent)");
  }
  int PanelValue(platform::Attr attr) {
    platform::CtrlValue value;
    ui.GetPanelAttribute(app.mainPanel, attr, value);
    return std::get<int>(value);
  }
};

TEST_F(StartupTest, WithoutASettingsFileNothingIsOpenedAndNothingShown) {
  Start();
  EXPECT_EQ(app.source(), nullptr);
  EXPECT_TRUE(ui.popups().empty());
  EXPECT_TRUE(ui.IsDisplayed(app.mainPanel));
  EXPECT_EQ(ui.Control(app.mainPanel, p::kMainStartStop)->label, "^O to Open");
  // The window keeps its designed size.
  EXPECT_EQ(PanelValue(platform::Attr::Width), 1180);
  EXPECT_EQ(PanelValue(platform::Attr::Height), 760);
  // Items that need a source are dimmed, editing a configuration is not.
  const auto* bar = ui.MenuBar(app.menuBar);
  EXPECT_TRUE(bar->Find(p::kMenuSaveData)->dimmed);
  EXPECT_TRUE(bar->Find(p::kMenuConfigAcquisition)->dimmed);
  EXPECT_FALSE(bar->Find(p::kMenuEditConfig)->dimmed);
}

TEST_F(StartupTest, APortNamingAMissingCaptureOpensNothingQuietly) {
  WriteSettings("[General]\nDevice=" + Device() + "\nPort=" + HomeFile("gone.raw") + "\n");
  Start();
  EXPECT_EQ(app.source(), nullptr);
  EXPECT_TRUE(ui.popups().empty());
  EXPECT_EQ(ReadStartup(app), status::kCantOpenFile);
}

TEST_F(StartupTest, NoDeviceOrNoPortEndsQuietly) {
  Start();
  WriteSettings("[General]\nPort=COM1\n");
  EXPECT_EQ(ReadStartup(app), status::kNoDeviceInSettings);
  WriteSettings("[General]\nDevice=" + Device() + "\n");
  EXPECT_EQ(ReadStartup(app), status::kNoPortInSettings);
  EXPECT_TRUE(ui.popups().empty());
}

TEST_F(StartupTest, TheLiveDeviceOfTheLastExitIsOpenedAgainAndTheWindowPlaced) {
  WriteSettings("[General]\nDevice=" + Device() + "\nPort=COM1\n[Display]\nTop=40\nLeft=50\nHeight=800\nWidth=1300\n");
  Feed(1, 1);
  Start();
  ASSERT_NE(app.source(), nullptr);
  EXPECT_EQ(app.sourceKind, kSourceKindDevice);
  EXPECT_TRUE(ui.popups().empty());
  EXPECT_EQ(PanelValue(platform::Attr::Top), 40);
  EXPECT_EQ(PanelValue(platform::Attr::Left), 50);
  EXPECT_EQ(PanelValue(platform::Attr::Width), 1300);
  // The layout followed the new size.
  EXPECT_EQ(ui.Control(app.mainPanel, p::kMainXYGraph)->width, 860 + 120);

  // Exit: the same device and port, and the geometry, are written back.
  ui.MenuChoice(p::kMain, p::kMenuExit);
  RunMainLoop(app);
  FinishApplication(app);
  EXPECT_EQ(Setting(settings::kGeneral, settings::kDevice), HomeFile("meter.dev"));
  EXPECT_EQ(Setting(settings::kGeneral, settings::kPort), "COM1");
  EXPECT_EQ(Setting(settings::kDisplay, settings::kWidth), "1300");
  EXPECT_EQ(Setting(settings::kDisplay, settings::kTop), "40");
}

TEST_F(StartupTest, TheWindowGeometryComesBackWithoutADevice) {
  WriteSettings("[Display]\nHeight=900\nWidth=1250\n");
  Start();
  EXPECT_EQ(PanelValue(platform::Attr::Height), 900);
  EXPECT_EQ(PanelValue(platform::Attr::Width), 1250);
}

// The remembered geometry is kept on the screen the window lands on: a
// hand-edited or damaged settings file asks for no window larger than the
// screen, nor for one out of sight.
TEST_F(StartupTest, TheRememberedGeometryIsKeptOnTheScreen) {
  struct Case {
    platform::ScreenArea screen;  // top, left, height, width
    std::string settings;
    int top, left, height, width;
  };
  Start();
  const std::vector<Case> cases = {
      // The headless backend's notional 1920 x 1080 screen.
      {{0, 0, 1080, 1920}, "Top=40\nLeft=50\nHeight=100000\nWidth=100000\n", 0, 0, 1080, 1920},
      {{0, 0, 1080, 1920}, "Top=-5000\nLeft=-7\nHeight=800\nWidth=1300\n", 0, 0, 800, 1300},
      {{0, 0, 1080, 1920}, "Top=900\nLeft=100000\nHeight=800\nWidth=1300\n", 280, 620, 800, 1300},
      // A screen right of another, below a desktop bar: a window that fits
      // stays where it was.
      {{24, 1920, 1000, 1600}, "Top=100\nLeft=2000\nHeight=900\nWidth=1300\n", 100, 2000, 900, 1300},
      {{24, 1920, 1000, 1600}, "Top=0\nLeft=3000\nHeight=2000\nWidth=1300\n", 24, 2220, 1000, 1300},
      // A laptop's screen, smaller than the resource file's layout: the
      // window fits it (the layout shrinks the graph).
      {{0, 0, 600, 800}, "Top=300\nLeft=400\nHeight=100000\nWidth=100000\n", 0, 0, 600, 800},
      // A screen smaller than the window's minimum (480 x 320): the minimum
      // holds, the corner is on the screen.
      {{0, 0, 300, 400}, "Top=300\nLeft=400\nHeight=100000\nWidth=100000\n", 0, 0, 320, 480},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    ui.SetScreenArea(c.screen);
    WriteSettings("[Display]\n" + c.settings);
    ReadStartup(app);
    EXPECT_EQ(PanelValue(platform::Attr::Top), c.top);
    EXPECT_EQ(PanelValue(platform::Attr::Left), c.left);
    EXPECT_EQ(PanelValue(platform::Attr::Height), c.height);
    EXPECT_EQ(PanelValue(platform::Attr::Width), c.width);
  }
}

// A name that is no regular file (a named pipe, a device that never ends,
// a folder), wherever it comes from, is refused at once, as a missing file
// is: the start never waits in an open or reads for ever.
TEST_F(StartupTest, APipeADeviceOrAFolderInPlaceOfAFileIsRefusedAtOnce) {
  const std::string fifo = HomeFile("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(HomeFile("folder"));
  const std::string capture = Capture(3);
  // The command line's data file: the message of a data file that is not
  // there.
  AppOptions options;
  options.dataFile = fifo;
  Start(options);
  EXPECT_EQ(app.source(), nullptr);
  const std::vector<std::string> refused = ErrorTexts();
  ui.ClearRecords();
  const Status missing = OpenNamedSource(app, kSourceKindFile, HomeFile("gone.dat"), "");
  EXPECT_EQ(ErrorTexts(), refused);
  ASSERT_EQ(refused.size(), 1u);
  for (const std::string& name : {fifo, std::string("/dev/zero"), HomeFile("folder")}) {
    SCOPED_TRACE(name);
    ui.ClearRecords();
    // A data file to replay, named on the command line or chosen.
    EXPECT_EQ(OpenNamedSource(app, kSourceKindFile, name, ""), missing);
    EXPECT_EQ(app.source(), nullptr);
    EXPECT_EQ(ErrorTexts(), refused);
    ui.ClearRecords();

    // The device or the capture of the last exit: nothing opened, quietly.
    WriteSettings("[General]\nDevice=" + name + "\nPort=" + capture + "\n");
    EXPECT_EQ(ReadStartup(app), status::kCantOpenFile);
    WriteSettings("[General]\nDevice=" + Device() + "\nPort=" + name + "\n");
    EXPECT_EQ(ReadStartup(app), status::kCantOpenFile);
    EXPECT_EQ(app.source(), nullptr);

    // Auto Start with the device Rudud.ini names.
    test::WriteTextFile(HomeFile("Rudud.ini"), "[General]\nDevice=" + name + "\nPort=" + capture + "\n");
    EXPECT_EQ(OpenRudud(app), status::kCantOpenSource);
    EXPECT_EQ(app.source(), nullptr);
    EXPECT_TRUE(ui.popups().empty());
  }

  // The settings files themselves as pipes read as empty ones.
  std::filesystem::remove(HomeFile("Sondrix.ini"));
  std::filesystem::remove(HomeFile("Rudud.ini"));
  ASSERT_EQ(::mkfifo(HomeFile("Sondrix.ini").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(HomeFile("Rudud.ini").c_str(), 0600), 0);
  EXPECT_EQ(ReadStartup(app), status::kNoDeviceInSettings);
  EXPECT_EQ(Rudud_IsDefined(), 0);
}

// The display configuration beside a device file is read only when it is a
// regular file: a pipe of that name leaves the display at its defaults.
TEST_F(StartupTest, APipeInPlaceOfTheDisplayConfigurationLeavesTheDefaults) {
  ASSERT_EQ(::mkfifo(HomeFile("meter.RTC").c_str(), 0600), 0);
  WriteSettings("[General]\nDevice=" + Device() + "\nPort=COM1\n");
  Feed(1, 1);
  Start();
  ASSERT_NE(app.source(), nullptr);
  EXPECT_TRUE(ui.popups().empty());
  EXPECT_EQ(app.display().displayBinsize(), 1);
}

TEST_F(StartupTest, ADeviceThatFailsToOpenAtStartIsReportedOnce) {
  WriteSettings("[General]\nDevice=" + Device() + "\nPort=COM2\n");
  serial.SetOpenResult(2, -7);
  Start();
  EXPECT_EQ(app.source(), nullptr);
  EXPECT_EQ(ErrorTexts().size(), 1u);
}

TEST_F(StartupTest, ExitingAfterAReplayWritesEmptyDeviceAndPort) {
  WriteSettings("[General]\nDevice=old.dev\nPort=COM4\n");
  AppOptions options;
  options.dataFile = Recording(4);
  Start(options);
  ASSERT_NE(app.source(), nullptr);
  EXPECT_EQ(app.sourceKind, kSourceKindFile);
  // Replay it to its end and leave.
  ui.Key(p::kMain, "F1");
  AfterRun([](platform::HeadlessUi& u) { u.MenuChoice(p::kMain, p::kMenuExit); });
  RunMainLoop(app);
  FinishApplication(app);
  EXPECT_EQ(app.sourceKind, kSourceKindFile);
  EXPECT_EQ(Setting(settings::kGeneral, settings::kDevice), "");
  EXPECT_EQ(Setting(settings::kGeneral, settings::kPort), "");
  EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(StartupTest, TheCloseBoxIsTheExitCommandAndAnUnsavedRunIsOfferedFirst) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(5)), status::kOk);
  // Replay the capture, decline to save; then the close box: cancel, then
  // save.
  ui.Key(p::kMain, "F1").CancelFile();
  AfterRun([this](platform::HeadlessUi& u) {
    u.Close(p::kMain).AnswerGeneric(3);
    u.Close(p::kMain).AnswerGeneric(1).AnswerFile(HomeFile("late.dat"));
  });
  RunMainLoop(app);
  EXPECT_TRUE(app.quit);
  EXPECT_EQ(PopupTexts("Unsaved run").size(), 2u);
  EXPECT_EQ(DataLines(HomeFile("late.dat")).size(), 50u);
  FinishApplication(app);
  // Nothing waits in the scratch recording any more: it is gone.
  EXPECT_FALSE(std::filesystem::exists(App::ScratchPath()));
}

TEST_F(StartupTest, ADiscardedRunIsNotOfferedAgainAtTheNextStart) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(3)), status::kOk);
  ui.Key(p::kMain, "F1").CancelFile();
  AfterRun([](platform::HeadlessUi& u) { u.MenuChoice(p::kMain, p::kMenuExit).AnswerGeneric(2); });
  RunMainLoop(app);
  EXPECT_EQ(PopupTexts("Unsaved run").size(), 1u);
  FinishApplication(app);
  EXPECT_FALSE(std::filesystem::exists(App::ScratchPath()));
}

TEST_F(StartupTest, ASecondInstanceInTheSameProjectDirectoryIsRefused) {
  ScratchLock other;
  std::string recovered;
  ASSERT_EQ(other.Acquire(App::ScratchPath(), recovered), ScratchLock::Result::Ready);
  EXPECT_EQ(StartApplication(app, {}), status::kPortInUse);
  const std::vector<std::string> errors = ErrorTexts();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Another Sondrix is recording in this project directory:\n" + App::ScratchPath(), 0), 0u);
  EXPECT_FALSE(ui.WasShown(p::kMain));
}

// A link planted as the scratch recording, even one to a file that holds
// something, is told as a link: nothing is recovered, followed or moved.
TEST_F(StartupTest, ALinkAsTheScratchRecordingIsRefusedAsALink) {
  const std::string target = test::WriteTextFile(HomeFile("elsewhere.dat"), "somebody's file\n");
  ASSERT_EQ(::symlink(target.c_str(), App::ScratchPath().c_str()), 0);
  EXPECT_EQ(StartApplication(app, {}), status::kPortInUse);
  const std::vector<std::string> errors = ErrorTexts();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind(App::ScratchPath() + " is a symbolic link.", 0), 0u) << errors[0];
  EXPECT_TRUE(PopupTexts("Recovered recording").empty());
  EXPECT_TRUE(std::filesystem::is_symlink(App::ScratchPath()));
  EXPECT_EQ(test::ReadTextFile(target), "somebody's file\n");
  EXPECT_FALSE(ui.WasShown(p::kMain));
}

TEST_F(StartupTest, ARunningInstanceKeepsACommandLineRecordingOut) {
  Start();
  ScratchLock other;
  std::string recovered;
  EXPECT_EQ(other.Acquire(App::ScratchPath(), recovered), ScratchLock::Result::Busy);
}

TEST_F(StartupTest, ARecordingLeftByADeadRunIsOfferedForSavingAtStart) {
  test::WriteTextFile(App::ScratchPath(), "Sondrix ver 7.1\t03-05-2024\t14:07:09\nleft behind\n");
  ui.AnswerConfirm(true).AnswerFile(HomeFile("rescued.dat"));
  Start();
  const std::vector<std::string> offers = PopupTexts("Recovered recording");
  ASSERT_EQ(offers.size(), 1u);
  EXPECT_NE(offers[0].find("Sondrix-recovered-"), std::string::npos);
  EXPECT_EQ(test::ReadTextFile(HomeFile("rescued.dat")).value_or(""),
            "Sondrix ver 7.1\t03-05-2024\t14:07:09\nleft behind\n");
  EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(StartupTest, ARecordingLeftByADeadRunStaysKeptWhenNotSavedNow) {
  test::WriteTextFile(App::ScratchPath(), "Sondrix ver 7.1\nleft behind\n");
  ui.AnswerConfirm(false);
  Start();
  int kept = 0;
  for (const auto& entry : std::filesystem::directory_iterator(home.path()))
    if (entry.path().filename().string().starts_with("Sondrix-recovered-")) ++kept;
  EXPECT_EQ(kept, 1);
}

TEST_F(StartupTest, TheDiagnosticsItemIsAddedOnceAndFollowsTheSource) {
  Start();
  ui.Commit(p::kMain, p::kMainDiagnostics).Commit(p::kMain, p::kMainDiagnostics).MenuChoice(p::kMain, p::kMenuExit);
  RunMainLoop(app);
  ASSERT_GT(app.diagnosticsItem, 0);
  int items = 0;
  for (const auto& entry : ui.MenuBar(app.menuBar)->entries)
    if (entry.label == "Diagnostics...") ++items;
  EXPECT_EQ(items, 1);
  // No source: dimmed.
  EXPECT_TRUE(ui.MenuBar(app.menuBar)->Find(app.diagnosticsItem)->dimmed);
}

TEST_F(StartupTest, TheStartButtonOpensADeviceWhenNoneIsOpen) {
  Start();
  Feed(1, 1);
  ui.Key(p::kMain, "Ctrl+O").AnswerFile(Device()).Commit(p::kPort, p::kPortCom1).MenuChoice(p::kMain, p::kMenuExit);
  RunMainLoop(app);
  ASSERT_NE(app.source(), nullptr);
  EXPECT_EQ(ui.Control(app.mainPanel, p::kMainStartStop)->label, "F1 to start");
}

TEST_F(StartupTest, WithoutTheResourceFileTheProgramSaysSoAndEnds) {
  platform::HeadlessUi bare{platform::UirFile{}};
  const platform::ScopedUi scoped(bare);
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunApplication({}), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't open resource file.\n");
  EXPECT_TRUE(bare.popups().empty());
}

// --- The command line -------------------------------------------------------------------------

class CommandLineTest : public ::testing::Test {
 protected:
  int Parse(std::vector<std::string> words) {
    std::vector<char*> args;
    words.insert(words.begin(), "sondrix");
    for (std::string& word : words) args.push_back(word.data());
    out = std::tmpfile();
    err = std::tmpfile();
    const int code = ParseCommandLine(args, options, out, err);
    outText = Read(out);
    errText = Read(err);
    std::fclose(out);
    std::fclose(err);
    return code;
  }
  static std::string Read(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    return text;
  }
  AppOptions options;
  std::FILE* out = nullptr;
  std::FILE* err = nullptr;
  std::string outText, errText;
};

TEST_F(CommandLineTest, NothingGoesOn) {
  EXPECT_EQ(Parse({}), -1);
  EXPECT_TRUE(options.dataFile.empty());
}

TEST_F(CommandLineTest, ADataFileIsOpenedAtStart) {
  EXPECT_EQ(Parse({"run.dat"}), -1);
  EXPECT_EQ(options.dataFile, "run.dat");
}

TEST_F(CommandLineTest, HelpAndVersion) {
  EXPECT_EQ(Parse({"--help"}), 0);
  EXPECT_EQ(outText.rfind("Usage: sondrix [--help] [--version] [--log-level LEVEL] [FILE.dat]\n", 0), 0u);
  EXPECT_EQ(Parse({"--version"}), 0);
  EXPECT_EQ(outText, "sondrix " SONDRIX_VERSION "\n");
}

TEST_F(CommandLineTest, UnknownOptionsAndASecondFileAreUsageErrors) {
  EXPECT_EQ(Parse({"--fast"}), 2);
  EXPECT_NE(errText.find("\"--fast\""), std::string::npos);
  options = {};
  EXPECT_EQ(Parse({"a.dat", "b.dat"}), 2);
}

}  // namespace
}  // namespace sondrix
