// SPDX-License-Identifier: GPL-3.0-or-later
// The program and the simulated hyperspectral instrument on a
// pseudo-terminal: its output spacing changed through the configuration
// editor and the file not saved. Opening the meter again with that file
// offers to set the instrument back or to keep its spacing in a copy of the
// file; either way the meter opens and reads, and the instrument ends with
// the spacing chosen (the simulator's own summary says so). Unattended,
// nothing is asked and the mismatch stays an error.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/acquire.h"
#include "common/file.h"
#include "app/app.h"
#include "app/application.h"
#include "app/menu.h"
#include "common/panels.h"
#include "config/benth_meter_config.h"
#include "meter/benth_meter.h"
#include "meter/source_factory.h"
#include "platform/clock.h"
#include "platform/posix/termios_serial.h"
#include "platform/serial.h"
#include "sim_test_env.h"
#include "source/source_line.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

namespace p = panels;
using test::Child;

// The waits for packets and acknowledgements need the time to pass.
class RealClock final : public platform::Clock {
 public:
  double Timer() override {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(now).count();
  }
  void Delay(double seconds) override { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }
  std::tm LocalTime() override { return std::tm{}; }
};

constexpr const char* kMismatch = "Configuration file and device don't agree on skip value.";

class SkipChoiceTest : public test::HeadlessTest {
 protected:
  void TearDown() override {
    for (const std::string& problem : ui.problems()) ADD_FAILURE() << problem;
  }

  // The skip value line of a device file ("" when there is none).
  static std::string SkipLine(const std::string& path) {
    const std::string text = test::ReadTextFile(path).value_or("");
    const std::size_t at = text.find("\t\t\t; skip value");
    if (at == std::string::npos) return "";
    return text.substr(text.rfind('\n', at) + 1, at - text.rfind('\n', at) - 1);
  }

  static Status Read(const std::string& path, BenthMeterConfig& config) {
    const OwnedFile file = OwnedFile::Open(path, "r");
    if (!file) return status::kCantOpenFile;
    return config.ReadConfig(file.get());
  }

  BenthMeter* Meter() { return dynamic_cast<BenthMeter*>(app.source()); }

  // Good samples the attached meter reads within 10 s.
  int ReadGood(int count) {
    Source& meter = *app.source();
    SourceLine line(meter.GetTraceCount());
    int good = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (good < count && std::chrono::steady_clock::now() < end) {
      const Status result = meter.ReadData(line);
      if (result == status::kNoData) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      if (result != status::kOk) break;
      if (line.status == 1) ++good;
    }
    return good;
  }

  std::vector<std::string> OpenDeviceTexts() const {
    std::vector<std::string> texts;
    for (const platform::PopupRecord& popup : ui.popups())
      if (popup.title == "Open device") texts.push_back(popup.text);
    return texts;
  }

  platform::TermiosSerial termios;
  platform::ScopedSerial scopedSerial{termios};
  RealClock realClock;
  platform::ScopedClock scopedRealClock{realClock};
  App app;
};

TEST_F(SkipChoiceTest, AMeterLeftAtAnotherSpacingIsSetBackOrKeptInACopyOrLeftAlone) {
  const std::string device = test::WriteTextFile(
      HomeFile("benth.dev"), test::ReadTextFile(test::ExampleDevice("benth-100wl")).value_or(""));
  ASSERT_EQ(SkipLine(device), "1");
  Child sim({"--device", device, "--pty", "--rate", "20"}, HomeFile("sim.err"));
  ASSERT_TRUE(sim.started());
  const std::string pty = sim.FirstLine(10.0);
  ASSERT_EQ(pty.rfind("/dev/", 0), 0u) << pty;
  WriteSettings("[Ports]\nCOM1=" + pty + "\n");
  ASSERT_EQ(StartApplication(app, {}), status::kOk);

  // The spacing set to 50 % through the editor, and neither offer to save
  // taken.
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, device, "COM1"), status::kOk);
  ui.Commit(p::kBenthConfig, p::kBcSetHardware, {{p::kBcOutput, 50}})
      .AnswerConfirm(true)    // change the hardware
      .AnswerConfirm(false)   // save the configuration now
      .Commit(p::kBenthConfig, p::kBcOk)
      .AnswerConfirm(false);  // configuration changed: save it
  Menu_HandleEvent(app, p::kMenuEditConfig);
  ASSERT_NE(Meter(), nullptr);
  EXPECT_EQ(Meter()->InstrumentSkip(), 2);
  EXPECT_EQ(SkipLine(device), "1");
  DoNew(app);
  ui.ClearRecords();

  // Opened again with the file: the choice, and the instrument set back.
  ui.AnswerGeneric(1);
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, device, "COM1"), status::kOk);
  ASSERT_EQ(OpenDeviceTexts().size(), 1u);
  const std::string question = OpenDeviceTexts()[0];
  EXPECT_EQ(question.rfind(std::string(kMismatch) + "\n\nThe file " + device +
                               " has skip value 1 (100 %); the instrument on COM1 outputs skip value 2 (50 %).",
                           0),
            0u)
      << question;
  EXPECT_EQ(ui.popups().back().buttons,
            (std::vector<std::string>{"Set instrument back", "Save a copy...", "Cancel"}));
  ASSERT_NE(Meter(), nullptr);
  EXPECT_EQ(Meter()->InstrumentSkip(), 1);
  EXPECT_EQ(app.source()->filename(), device);
  EXPECT_EQ(ReadGood(3), 3);
  EXPECT_TRUE(ui.fileDialogs().empty());

  // Left at 50 % again; this time its spacing is kept in a copy of the
  // file, named as typed (the dialog's extension added), and the meter
  // opened with the copy.
  ASSERT_EQ(Meter()->SetInstrumentSkip(2), status::kOk);
  DoNew(app);
  ui.ClearRecords();
  ui.AnswerGeneric(2).AnswerFile(HomeFile("benth-half"));
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, device, "COM1"), status::kOk);
  ASSERT_EQ(ui.fileDialogs().size(), 1u);
  EXPECT_EQ(ui.fileDialogs()[0].request.title, "Save a copy of the configuration to file:");
  const std::string copy = HomeFile("benth-half.dev");
  ASSERT_NE(Meter(), nullptr);
  EXPECT_EQ(app.source()->filename(), copy);
  EXPECT_EQ(app.source()->portname(), "COM1");
  EXPECT_EQ(Meter()->InstrumentSkip(), 2);
  EXPECT_EQ(SkipLine(copy), "2");
  EXPECT_EQ(SkipLine(device), "1");
  EXPECT_EQ(ReadGood(3), 3);
  // The copy is the file with only its skip value changed.
  BenthMeterConfig original(200, 100);
  BenthMeterConfig copied(200, 100);
  ASSERT_EQ(Read(device, original), status::kOk);
  ASSERT_EQ(Read(copy, copied), status::kOk);
  original.skip = 2;
  EXPECT_EQ(copied.CompConfig(original), 1);
  DoNew(app);
  ui.ClearRecords();

  // Cancelled: nothing opened, nothing but the question shown.
  ui.AnswerGeneric(3);
  EXPECT_EQ(OpenNamedSource(app, kSourceKindDevice, device, "COM1"), status::kCancelled);
  EXPECT_EQ(app.source(), nullptr);
  EXPECT_EQ(ui.popups().size(), 1u);

  // Unattended (Rudud.ini names a device and port): nobody is asked, and
  // the mismatch is reported as before.
  ui.ClearRecords();
  test::WriteTextFile(HomeFile("Rudud.ini"), "[General]\nDevice=" + device + "\nPort=COM1\n");
  EXPECT_EQ(OpenNamedSource(app, kSourceKindDevice, device, "COM1"), status::kSkipMismatch);
  EXPECT_TRUE(OpenDeviceTexts().empty());
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{kMismatch});
  EXPECT_EQ(app.source(), nullptr);

  EXPECT_EQ(sim.Stop(SIGTERM), 0);
  const std::string summary = test::ReadTextFile(HomeFile("sim.err")).value_or("");
  EXPECT_NE(summary.find("now skip 2 at 19200 baud"), std::string::npos) << summary;
}

}  // namespace
}  // namespace sondrix
