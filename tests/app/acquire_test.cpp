// SPDX-License-Identifier: GPL-3.0-or-later
// Runs of the acquisition loop: how each kind of end is told (or not) and
// what becomes of the recording; opening a device whose serial number
// differs from its file's.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/acquire.h"
#include "app/app_fixtures.h"
#include "app/recording.h"
#include "common/panels.h"
#include "common/settings.h"
#include "common/utils.h"
#include "datafile/data_file.h"
#include "datafile/scratch_recording.h"
#include "display/display_fixtures.h"
#include "meter/source_factory.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

namespace p = panels;
using test::kNeritSerial;

class AcquireTest : public test::AppTest {};

TEST_F(AcquireTest, StopWhileTheSourceIsSilentEndsQuietlyAndSavesTheRecording) {
  Start();
  // The packet of the reset at opening (dropped by the one at the start of
  // the run), the packet of that second reset and two more: thirty lines,
  // then silence; the run is stopped after twenty, and the packet that had
  // already arrived is recorded all the same.
  Feed(1, 4);
  OpenDevice("COM1");
  StopWhen([this] {
    return app.session().recording() != nullptr && app.session().recording()->writtenLines() == 20;
  });
  ui.AnswerFile(HomeFile("kept.dat"));

  EXPECT_EQ(Acquire_Run(app), status::kOk);
  EXPECT_TRUE(ErrorTexts().empty());
  ASSERT_EQ(ui.fileDialogs().size(), 1u);
  EXPECT_EQ(ui.fileDialogs()[0].request.title, "Save data in file:");
  EXPECT_EQ(DataLines(HomeFile("kept.dat")).size(), 30u);
  EXPECT_FALSE(app.unsavedRun);
  // The saved run took the lock along; a fresh scratch file is locked at
  // once, so no other instance can record here meanwhile.
  ScratchLock other;
  std::string recovered;
  EXPECT_EQ(other.Acquire(App::ScratchPath(), recovered), ScratchLock::Result::Busy);
  // The program is idle again with the same source.
  EXPECT_NE(app.source(), nullptr);
  EXPECT_EQ(ui.Control(app.mainPanel, p::kMainStartStop)->label, "F1 to start");
  EXPECT_FALSE(ui.MenuBar(app.menuBar)->Find(p::kMenuOpenDevice)->dimmed);
  EXPECT_EQ(ui.cursor(), platform::Cursor::Default);
}

TEST_F(AcquireTest, ASourceSilentLongerThanFourSecondsPerBinLineTimesOutOnce) {
  Start();
  Feed(1, 3);
  OpenDevice("COM1");
  app.source()->SetBinsize(2);
  ui.AnswerFile(HomeFile("kept.dat"));
  const double start = clock.Timer();

  EXPECT_EQ(Acquire_Run(app), status::kTimedOut);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Connection timed out"});
  // The loop slept while it waited, and gave up after 4 s x 2, not before.
  EXPECT_GE(clock.Timer() - start, 8.0);
  EXPECT_LT(clock.Timer() - start, 9.0);
  // The packet the run's reset synchronised on and the one after it: ten
  // bins of two arrived before the silence; they are saved.
  EXPECT_EQ(DataLines(HomeFile("kept.dat")).size(), 10u);
}

TEST_F(AcquireTest, ACaptureReplayedToItsEndEndsWithoutAMessage) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(4)), status::kOk);
  ui.AnswerFile(HomeFile("replayed.dat"));

  EXPECT_EQ(Acquire_Run(app), status::kUnexpectedEof);
  EXPECT_TRUE(ErrorTexts().empty());
  // The resets at opening and at the start of the run synchronise on the
  // first packet, which the replay keeps: all four give forty lines, all
  // recorded and shown.
  EXPECT_EQ(DataLines(HomeFile("replayed.dat")).size(), 40u);
  EXPECT_EQ(app.display().sampleCount(), 40);
}

// A replay writes its recording in large pieces, the last of them as the
// run ends: a disk that is full by then fails the run with one message as a
// write during the run would, and the lines that reached the file are saved.
TEST_F(AcquireTest, ACaptureWhoseLastLinesCannotBeWrittenEndsWithAWriteError) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(40)), status::kOk);
  ui.AnswerFile(HomeFile("replayed.dat"));
  Status result = status::kOk;
  {
    const test::ScopedFileSizeLimit limit(20000);
    result = Acquire_Run(app);
  }
  EXPECT_EQ(result, status::kWriteFailed);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Write failed"});
  const long stored = app.session().recording()->storedLines();
  EXPECT_GT(stored, 10);
  EXPECT_LT(stored, 400);
  EXPECT_EQ(DataLines(HomeFile("replayed.dat")).size(), static_cast<std::size_t>(stored));
}

// Two runs of the instrument one after the other (a power blip between
// them): the second run's counter starts again. The run goes on with time
// stamps that keep increasing, and says once, after it is saved, that the
// instrument's clock restarted.
TEST_F(AcquireTest, AClockThatRestartedIsToldAfterTheRun) {
  Start();
  std::vector<std::vector<std::uint8_t>> packets;
  for (int run = 0; run < 2; ++run) {
    for (int i = 0; i < 4; ++i) packets.push_back(APacket(static_cast<std::uint16_t>(10 * i)));
  }
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), test::WriteCapture(HomeFile("twice.raw"), packets)),
            status::kOk);
  ui.AnswerFile(HomeFile("twice.dat"));

  EXPECT_EQ(Acquire_Run(app), status::kUnexpectedEof);
  const auto lines = DataLines(HomeFile("twice.dat"));
  ASSERT_EQ(lines.size(), 80u);
  long long previous = -1;
  for (const std::string& line : lines) {
    const long long stamp = std::stoll(line.substr(0, line.find('\t')));
    EXPECT_GT(stamp, previous) << line;
    previous = stamp;
  }
  const auto texts = ErrorTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("The instrument's clock restarted once during the run"), std::string::npos) << texts[0];
}

TEST_F(AcquireTest, AStoredDataFileReplayedToItsEndEndsWithoutAMessage) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindFile, Recording(12), ""), status::kOk);
  EXPECT_EQ(app.sourceKind, kSourceKindFile);

  EXPECT_EQ(Acquire_Run(app), status::kUnexpectedEof);
  EXPECT_TRUE(ErrorTexts().empty());
  // Every line was read (these short lines, without the references a
  // meter's line ends with, read as lost ones).
  EXPECT_EQ(app.display().sampleCount() + app.source()->GetLostCount(), 12);
  // A replay is not recorded again: nothing to save.
  EXPECT_TRUE(ui.fileDialogs().empty());
  EXPECT_FALSE(app.unsavedRun);
}

TEST_F(AcquireTest, AVanishedDeviceEndsTheRunWithOneMessageAndKeepsTheRecording) {
  Start();
  settings::SetReconnect(false);
  Feed(1, 4);
  OpenDevice("COM1");
  StopWhen([this] {
    if (app.session().recording()->writtenLines() == 20) serial.SetIoError(1, status::kGeneralIoError);
    return false;
  });
  ui.AnswerFile(HomeFile("kept.dat"));

  EXPECT_EQ(Acquire_Run(app), status::kGeneralIoError);
  const std::vector<std::string> errors = ErrorTexts();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].substr(0, 18), "General I/O error.");
  EXPECT_NE(errors[0].find("COM1"), std::string::npos);
  EXPECT_EQ(DataLines(HomeFile("kept.dat")).size(), 20u);
}

// The adapter reseated between two casts: F1 opens the same device again
// and the next run records what it sends; while it is still away, F1 says
// what is wrong and what to do, and works once it is back.
TEST_F(AcquireTest, ALineThatWentAwayBetweenRunsIsOpenedAgainByTheNextRun) {
  Start();
  Feed(1, 4);
  serial.SetDevice(1, "/dev/serial/by-id/usb-FTDI_A50285BI-if00-port0");
  OpenDevice("COM1");
  StopWhen([this] { return serial.Remaining(1) == 0; });
  ui.AnswerFile(HomeFile("cast1.dat"));
  ASSERT_EQ(Acquire_Run(app), status::kOk);
  ASSERT_EQ(DataLines(HomeFile("cast1.dat")).size(), 30u);
  const int opensBefore = serial.OpenCount(1);

  // Pulled out and plugged in again twice; the first F1 comes while the
  // adapter is still away.
  serial.FeedUnplug(1, 1);
  Feed(1, 3, kNeritSerial, 100);
  EXPECT_EQ(Acquire_Run(app), status::kCannotOpenPort);
  const std::vector<std::string> errors = ErrorTexts();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("COM1 (/dev/serial/by-id/usb-FTDI_A50285BI-if00-port0) does not answer, and opening "
                            "it again failed:\n", 0),
            0u)
      << errors[0];
  EXPECT_NE(errors[0].find("press F1; or choose another port with File > Open Device."), std::string::npos);
  EXPECT_EQ(errors[0].find("General I/O error"), std::string::npos);
  EXPECT_EQ(ui.fileDialogs().size(), 1u);  // nothing was recorded to save

  StopWhen([this] { return serial.Remaining(1) == 0; });
  ui.AnswerFile(HomeFile("cast2.dat"));
  EXPECT_EQ(Acquire_Run(app), status::kOk);
  EXPECT_EQ(ErrorTexts().size(), 1u);
  // Opened once more (the attempt while it was away failed), the same
  // device by the name it was opened on; the packets sent after it came
  // back, every one (the run's reset keeps the first).
  EXPECT_EQ(serial.OpenCount(1), opensBefore + 1);
  EXPECT_EQ(serial.DevicePath(1), "/dev/serial/by-id/usb-FTDI_A50285BI-if00-port0");
  EXPECT_EQ(DataLines(HomeFile("cast2.dat")).size(), 30u);
}

TEST_F(AcquireTest, ARunWithoutASourceIsRefused) {
  Start();
  EXPECT_EQ(Acquire_Run(app), status::kNoSourceAttached);
  EXPECT_TRUE(ui.popups().empty());
}

TEST_F(AcquireTest, MenusAreDimmedAndTheStopButtonShownDuringARun) {
  Start();
  Feed(1, 3);
  OpenDevice("COM1");
  bool checked = false;
  StopWhen([this, &checked] {
    const auto* bar = ui.MenuBar(app.menuBar);
    // The run leaves the exit available (it ends and saves the run).
    EXPECT_FALSE(bar->Find(p::kMenuExit)->dimmed);
    EXPECT_TRUE(bar->Find(p::kMenuOpenDevice)->dimmed);
    EXPECT_EQ(ui.Control(app.mainPanel, p::kMainStartStop)->label, "F2 to stop");
    EXPECT_TRUE(ui.Control(app.mainPanel, p::kMainStop)->visible);
    checked = true;
    return true;
  });
  ui.CancelFile();
  EXPECT_EQ(Acquire_Run(app), status::kOk);
  EXPECT_TRUE(checked);
  EXPECT_FALSE(ui.MenuBar(app.menuBar)->Find(p::kMenuExit)->dimmed);
  EXPECT_FALSE(ui.Control(app.mainPanel, p::kMainStop)->visible);
}

TEST_F(AcquireTest, TheSecondStopControlAndTheCloseBoxEndARun) {
  Start();
  Feed(1, 4);
  serial.FeedTimeout(1);
  Feed(1, 2, kNeritSerial, 4);
  OpenDevice("COM1");
  ui.Commit(p::kMain, p::kMainStop).CancelFile();
  EXPECT_EQ(Acquire_Run(app), status::kOk);
  EXPECT_FALSE(app.quit);

  // The packets that had arrived when it stopped were recorded: that run,
  // not saved, is discarded before the next.
  ui.AnswerGeneric(2).Close(p::kMain).CancelFile();
  EXPECT_EQ(Acquire_Run(app), status::kOk);
  EXPECT_TRUE(app.quit);
  EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(AcquireTest, AnUnsavedRunIsOfferedBeforeTheNextRunRecordsOverIt) {
  Start();
  Feed(1, 3);
  // The rest comes after a pause: for the second run.
  serial.FeedTimeout(1);
  Feed(1, 2, kNeritSerial, 3);
  OpenDevice("COM1");
  StopWhen([this] { return app.session().recording()->writtenLines() == 20; });
  ui.CancelFile();
  ASSERT_EQ(Acquire_Run(app), status::kOk);
  ASSERT_TRUE(app.unsavedRun);

  // Cancel: no run.
  ui.AnswerGeneric(3);
  EXPECT_EQ(Acquire_Run(app), status::kCancelled);
  EXPECT_EQ(DataLines(App::ScratchPath()).size(), 20u);

  // Save: the first run is kept, then the second runs.
  ui.AnswerGeneric(1).AnswerFile(HomeFile("first.dat"));
  ui.Commit(p::kMain, p::kMainStartStop).CancelFile();
  EXPECT_EQ(Acquire_Run(app), status::kOk);
  EXPECT_EQ(DataLines(HomeFile("first.dat")).size(), 20u);
  const std::vector<std::string> offers = PopupTexts("Unsaved run");
  ASSERT_EQ(offers.size(), 2u);
  EXPECT_NE(offers[0].find("not saved"), std::string::npos);
}

TEST_F(AcquireTest, EachRunsRawCaptureIsNamedAfterItsOwnStart) {
  // Raw captures go to the working directory.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(home.path());
  WriteSettings("[General]\nSaveRaw=yes\n");
  gStartTime.reset();
  Start();
  Feed(1, 3);
  serial.FeedTimeout(1);
  Feed(1, 4, kNeritSerial, 3);
  OpenDevice("COM1");  // the opening starts a capture
  // The first run starts in the same second as the opening, the second one
  // five seconds later.
  for (const char* name : {"first.dat", "second.dat"}) {
    StopWhen([this] { return app.session().recording()->writtenLines() == 10; });
    ui.AnswerFile(HomeFile(name));
    EXPECT_EQ(Acquire_Run(app), status::kOk);
    clock.Advance(5.0);
  }
  std::vector<std::string> captures;
  for (const auto& entry : std::filesystem::directory_iterator(home.path())) {
    const std::string file = entry.path().filename().string();
    if (file.starts_with("SX_Com1_") && entry.file_size() > 0) captures.push_back(file);
  }
  std::filesystem::current_path(previous);
  std::sort(captures.begin(), captures.end());
  // Each with the companion of its run beside it: its clock map.
  EXPECT_EQ(captures, (std::vector<std::string>{"SX_Com1_240305_140709.meta.json", "SX_Com1_240305_140709.raw",
                                                "SX_Com1_240305_140714.meta.json", "SX_Com1_240305_140714.raw"}));
  gStartTime.reset();
}

TEST_F(AcquireTest, ARawCaptureIsNeverWrittenThroughALink) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(home.path());
  WriteSettings("[General]\nSaveRaw=yes\n");
  gStartTime.reset();
  // A link planted where the opening's capture will go, pointing outside.
  test::TempDir elsewhere;
  std::filesystem::create_symlink(elsewhere.File("stolen.raw"), home.File("SX_Com1_240305_140709.raw"));
  Start();
  Feed(1, 3);
  OpenDevice("COM1");
  std::filesystem::current_path(previous);
  EXPECT_FALSE(std::filesystem::exists(elsewhere.File("stolen.raw")));
  EXPECT_TRUE(std::filesystem::is_symlink(home.File("SX_Com1_240305_140709.raw")));
  gStartTime.reset();
}

// A recording that cannot be created is told with the system's reason, not
// "Can't open file" alone. (As root no folder can be made unwritable: the
// files a process may open are exhausted instead.)
TEST_F(AcquireTest, ARecordingThatCannotBeCreatedSaysWhy) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(4)), status::kOk);
  // The settings cannot be read either: the deployment is asked for.
  ui.Commit(p::kDeployment, p::kDepCancel, {});
  Status result = status::kOk;
  {
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    const int next = ::dup(0);  // the lowest descriptor free
    ASSERT_GE(next, 0);
    ::close(next);
    rlimit none = old;
    none.rlim_cur = static_cast<rlim_t>(next);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    result = Acquire_Run(app);
    ::setrlimit(RLIMIT_NOFILE, &old);
  }
  EXPECT_EQ(result, status::kCantOpenFile);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Can't open file " + App::ScratchPath() + ": Too many open files"});
}

TEST_F(AcquireTest, SerialNumberMismatchAnsweredNoLeavesNoSource) {
  Start();
  Feed(1, 2, 0x04000777);
  const std::string device = Device(kNeritSerial);
  ui.AnswerFile(device).Commit(p::kPort, p::kPortCom1).AnswerConfirm(false);

  EXPECT_EQ(PromptOpenSource(app, kSourceKindDevice), status::kCancelled);
  EXPECT_EQ(app.source(), nullptr);
  EXPECT_EQ(PopupTexts("Open device"), std::vector<std::string>{"Wrong serial number (04000777).  Open anyway?"});
  EXPECT_TRUE(ErrorTexts().empty());
  EXPECT_FALSE(serial.IsOpen(1));
}

TEST_F(AcquireTest, SerialNumberMismatchAnsweredYesOrIgnoredOpensTheDevice) {
  Start();
  Feed(1, 2, 0x04000777);
  ui.AnswerFile(Device(kNeritSerial)).Commit(p::kPort, p::kPortCom1).AnswerConfirm(true);
  EXPECT_EQ(PromptOpenSource(app, kSourceKindDevice), status::kOk);
  EXPECT_NE(app.source(), nullptr);
  EXPECT_EQ(app.sourceKind, kSourceKindDevice);

  WriteSettings("[General]\nIgnoreSerialNumber=yes\n");
  Feed(2, 2, 0x04000777);
  ui.ClearRecords();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(kNeritSerial), "COM2"), status::kOk);
  EXPECT_TRUE(PopupTexts("Open device").empty());
}

TEST_F(AcquireTest, AFailedOpenIsReportedAndLeavesNoSource) {
  Start();
  serial.SetOpenResult(3, -7);
  EXPECT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), "COM3"), -7);
  EXPECT_EQ(app.source(), nullptr);
  ASSERT_EQ(ErrorTexts().size(), 1u);
  EXPECT_EQ(ErrorTexts()[0].substr(0, 24), "Cannot open port. Is the");
}

// When the serial library can tell why a port would not open, the window
// says that instead of the library's guess; the codes stay.
TEST_F(AcquireTest, AFailedOpenSaysWhyThePortWouldNotOpen) {
  Start();
  const std::string denied =
      "COM3 (/dev/ttyUSB0) cannot be opened: permission denied.\n/dev/ttyUSB0 is owned by group dialout; add "
      "yourself with `sudo usermod -aG dialout $USER` and log in again, or install the package's udev rule";
  serial.SetOpenResult(3, -7);
  serial.SetOpenProblem(3, {"no permission (group dialout)", denied});
  const std::string none = "COM4 has no device: no [Ports] mapping names one, and the system lists 0 serial ports.";
  serial.SetOpenResult(4, -2);
  serial.SetOpenProblem(4, {"no device", none});
  EXPECT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), "COM3"), -7);
  EXPECT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), "com4"), -2);
  EXPECT_EQ(app.source(), nullptr);
  EXPECT_EQ(ErrorTexts(), (std::vector<std::string>{denied, none}));
}

TEST_F(AcquireTest, TheOpeningMessageNamesTheDeviceAndItsPortOrFile) {
  Start();
  Feed(1, 2);
  OpenDevice("COM1");
  ASSERT_EQ(OpenNamedSource(app, kSourceKindFile, Recording(3), ""), status::kOk);
  const std::vector<platform::CtrlValue> texts = ui.ValueHistory(p::kWait, p::kWaitText);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(std::get<std::string>(texts[0]), "Opening Test meter on COM1...");
  EXPECT_EQ(std::get<std::string>(texts[1]), "Opening Test meter from file...");
  // Opening the data file closed the meter's port.
  EXPECT_FALSE(serial.IsOpen(1));
}

TEST_F(AcquireTest, LinesTheSourceMustReadFirstAreNotDrawn) {
  // Five lines; the source says its buffer is nearly full while it hands
  // out the second and the third.
  class Flooded : public test::FakeSource {
   public:
    explicit Flooded(const std::string& file) : FakeSource(file, std::vector<int>(3, kTraceA)) {}
    int CanRead() override { return 1; }
    int DataAvailable() override { return 1; }
    int MustRead() override { return given_ == 2 || given_ == 3 ? 1 : 0; }
    Status ReadData(SourceLine& line) override {
      if (given_ == 5) return status::kUnexpectedEof;
      ++given_;
      line.status = status::kOk;
      line.time = given_ * 100;
      for (double& value : line.values) value = given_;
      return status::kOk;
    }

   private:
    int given_ = 0;
  };
  Start();
  auto flooded = std::make_unique<Flooded>(HomeFile("flooded.dev"));
  ASSERT_EQ(flooded->Open(), status::kOk);
  app.display().Attach(std::move(flooded));
  app.display().ShowGraph(graph_type::kStrip);
  EXPECT_EQ(Acquire_Run(app), status::kUnexpectedEof);
  // Recorded or drawn, every line read counts.
  EXPECT_EQ(app.display().sampleCount(), 5);
  EXPECT_EQ(ui.StripTrace(app.mainPanel, p::kMainStripChart, 0), (std::vector<double>{1, 4, 5}));
  EXPECT_TRUE(ErrorTexts().empty());
}

// An unattended set-up: Rudud.ini names the device, the port and the
// output file, so that a run is saved without a dialog.
class UnattendedRunTest : public test::AppTest {
 protected:
  void OpenUnattended(const std::string& output) {
    test::WriteTextFile(HomeFile("Rudud.ini"), "[General]\nDevice=" + Device() +
                                                   "\nPort=COM1\nOutputFilename=" + output + "\n");
    ASSERT_EQ(OpenRudud(app), status::kOk);
  }
};

// A disk that fills in the middle of a run (here a file-size limit) ends
// it with one message; what reached the file is saved under the output
// name all the same, not left in the scratch recording.
TEST_F(UnattendedRunTest, ARunThatFillsTheDiskIsSavedUnderItsOutputName) {
  Start();
  Feed(1, 40);
  OpenUnattended(HomeFile("auto.dat"));
  Status result = status::kOk;
  {
    const test::ScopedFileSizeLimit limit(20000);
    result = Acquire_Run(app);
  }
  EXPECT_EQ(result, status::kWriteFailed);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Write failed"});
  std::string saved = HomeFile("auto.dat");
  TimeStampedFilename(saved, "dat");
  const long stored = app.session().recording()->storedLines();
  EXPECT_GT(stored, 10);
  EXPECT_LT(stored, app.session().recording()->writtenLines());
  EXPECT_EQ(DataLines(saved).size(), static_cast<std::size_t>(stored));
  EXPECT_TRUE(ui.fileDialogs().empty());
  EXPECT_FALSE(app.unsavedRun);
  EXPECT_EQ(std::filesystem::file_size(App::ScratchPath()), 0u);
}

// An output name whose time-stamped form would pass 259 characters is
// refused before the run records anything, never cut after it.
TEST_F(UnattendedRunTest, AnOutputNameTooLongIsRefusedBeforeTheRun) {
  Start();
  Feed(1, 3);
  const std::string base = HomeFile("");
  OpenUnattended(base + std::string(kMaxFilenameLength - base.size() - 16, 'o'));
  EXPECT_EQ(Acquire_Run(app), status::kOutputNameTooLong);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{StatusText(status::kOutputNameTooLong)});
  EXPECT_EQ(app.display().sampleCount(), 0);
  EXPECT_FALSE(app.unsavedRun);
  EXPECT_EQ(std::filesystem::file_size(App::ScratchPath()), 0u);
  for (const auto& entry : std::filesystem::directory_iterator(home.path()))
    EXPECT_FALSE(entry.path().filename().string().starts_with("ooo")) << entry.path();
}

}  // namespace
}  // namespace sondrix
