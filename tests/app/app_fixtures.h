// SPDX-License-Identifier: GPL-3.0-or-later
// The application on the headless user interface and the in-memory serial
// library: a nine-wavelength meter on COM1 (scripted packets) or on a raw
// capture, stored recordings, and helpers that read back what was saved.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/acquire.h"
#include "app/app.h"
#include "app/application.h"
#include "common/panels.h"
#include "common/settings.h"
#include "io/meter_packet.h"
#include "meter/meter_fixtures.h"
#include "meter/source_factory.h"
#include "platform/headless/fake_serial.h"
#include "platform/serial.h"
#include "support/fixtures.h"

namespace sondrix::test {

inline constexpr int kNeritTraces = 18;

class AppTest : public HeadlessTest {
 protected:
  // A script that did not go as written (an event refused, a pop-up nobody
  // answered, a wait with nothing scripted) fails the test.
  void TearDown() override {
    for (const std::string& problem : ui.problems()) ADD_FAILURE() << problem;
  }

  // A control of the main panel: its text, and whether it is visible (1,
  // 0; -1 when that cannot be read).
  std::string Shown(int control) { return ui.GetCtrlText(app.mainPanel, control); }
  int Visible(int control) {
    platform::CtrlValue value = 0;
    ui.GetCtrlAttribute(app.mainPanel, control, platform::Attr::Visible, value);
    return platform::CtrlValueInt(value).value_or(-1);
  }

  // Start-up as the program does it, before its main loop. The runs have
  // deployment metadata (a cruise), so that none stops for the Deployment
  // dialog, unless the test asks for that dialog.
  void Start(AppOptions options = {}, bool withDeployment = true) {
    if (withDeployment && settings::DeploymentValue("cruise").empty()) settings::SetDeploymentValue("cruise", "TEST");
    ASSERT_EQ(StartApplication(app, options), status::kOk);
  }

  // A nine-wavelength device file in the project directory.
  std::string Device(std::uint32_t serialnum = kNeritSerial, const std::string& name = "meter.dev") {
    return WriteTextFile(HomeFile(name), MeterDeviceText(serialnum, kNeritTraces));
  }

  // A packet of ten samples; `signal` sets every channel.
  static std::vector<std::uint8_t> APacket(std::uint16_t firstTime, std::uint32_t serialnum = kNeritSerial,
                                           double signal = 0.25) {
    return Packet(kNeritTraces, 10, serialnum, firstTime, signal, 0.5, TempToCount(20.0));
  }

  // `count` packets on COM`port`, ten lines each, all arrived at once (a
  // stop records every one of them that the run has not read yet; packets
  // fed after serial.FeedTimeout arrive after a pause, which a stop does not
  // wait for). A reset synchronises on
  // the first packet waiting, and the next read decodes it; a second reset
  // (the start of a run) empties the live line again, so the packet the
  // first reset (opening) kept gives no line.
  // `first` numbers the first packet (its counter 10 * first).
  void Feed(int port, int count, std::uint32_t serialnum = kNeritSerial, int first = 0) {
    for (int i = first; i < first + count; ++i) {
      const auto packet = APacket(static_cast<std::uint16_t>(10 * i), serialnum, 0.2 + 0.01 * i);
      serial.Feed(port, std::span<const std::uint8_t>(packet));
    }
  }

  // A raw capture of `count` packets.
  std::string Capture(int count, const std::string& name = "capture.raw") {
    std::vector<std::vector<std::uint8_t>> packets;
    for (int i = 0; i < count; ++i) packets.push_back(APacket(static_cast<std::uint16_t>(10 * i)));
    return WriteCapture(HomeFile(name), packets);
  }

  // Opens the device file on `port` as the start-up does (no dialogs).
  void OpenDevice(const std::string& port, std::uint32_t fileSerial = kNeritSerial) {
    ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(fileSerial), port), status::kOk);
    ASSERT_NE(app.source(), nullptr);
  }

  // A stored recording of `lines` lines of the nine-wavelength meter.
  std::string Recording(int lines, const std::string& name = "run.dat") {
    std::string text = "Sondrix ver 7.1\t03-05-2024\t14:07:09\n";
    text += MeterDeviceText(kNeritSerial, kNeritTraces);
    text += "1\t\t\t; acquisition binsize\n";
    for (int n = 0; n < lines; ++n) {
      text += std::to_string(n * 167);
      for (int i = 0; i < kNeritTraces; ++i) text += "\t0.10000";
      text += "\t20.00\t6.0\t1.50\t12.34\n";
    }
    return WriteTextFile(HomeFile(name), text);
  }

  // The sample lines of a saved data file: the lines after its bin size
  // line (empty when there is no such file).
  static std::vector<std::string> DataLines(const std::string& path) {
    std::vector<std::string> lines;
    const std::optional<std::string> text = ReadTextFile(path);
    if (!text) return lines;
    std::istringstream in(*text);
    std::string line;
    bool data = false;
    while (std::getline(in, line)) {
      if (data) lines.push_back(line);
      if (line.find("; acquisition binsize") != std::string::npos) data = true;
    }
    return lines;
  }

  // Presses the start/stop button once `condition` holds; the condition is
  // looked at once per look of the program at the user interface.
  void StopWhen(std::function<bool()> condition) {
    ui.Then([this, condition](platform::HeadlessUi& u) {
      if (condition()) {
        u.Commit(panels::kMain, panels::kMainStartStop);
      } else {
        u.Raw(platform::UserEvent{});
        StopWhen(condition);
      }
    });
  }

  // Runs `then` (which scripts further steps) once no run is going on: the
  // steps scripted after one that starts a run would otherwise be taken by
  // the run's own looks at the user interface.
  void AfterRun(std::function<void(platform::HeadlessUi&)> then) {
    ui.Then([this, then](platform::HeadlessUi& u) {
      if (!u.MenuBar(app.menuBar)->Find(panels::kMenuOpenDevice)->dimmed) {
        then(u);
      } else {
        u.Raw(platform::UserEvent{});
        AfterRun(then);
      }
    });
  }

  // A recording saved (File > Save Data) from a run that replayed a capture
  // of `packets` packets, its first sample at the clock's UTC, and the
  // program left; its path.
  std::string SavedReplay(int packets, const std::string& name) {
    EXPECT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(packets)), status::kOk);
    app.replayStartUtc = clock.UtcMs();
    ui.Key(panels::kMain, "F1").CancelFile();
    AfterRun([this, name](platform::HeadlessUi& u) {
      u.MenuChoice(panels::kMain, panels::kMenuSaveData).AnswerFile(HomeFile(name));
      u.MenuChoice(panels::kMain, panels::kMenuExit);
    });
    RunMainLoop(app);
    return HomeFile(name);
  }

  // The pop-ups shown so far with this title.
  std::vector<std::string> PopupTexts(const std::string& title) const {
    std::vector<std::string> texts;
    for (const platform::PopupRecord& popup : ui.popups())
      if (popup.title == title) texts.push_back(popup.text);
    return texts;
  }

  platform::FakeSerial serial;
  platform::ScopedSerial scopedSerial{serial};
  App app;
};

}  // namespace sondrix::test
