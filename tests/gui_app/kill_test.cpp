// SPDX-License-Identifier: GPL-3.0-or-later
// A recorder killed outright (SIGKILL: no handler runs, nothing is flushed
// on the way out) keeps every sample whose packet arrived more than a second
// before the kill, for `sondrix-cli record` and for the window's run alike.
// The test plays the meter on a pseudo-terminal of its own: ordinary
// packets, then one marked packet (another signal, so other values), then
// ordinary packets for a little over a second, then the kill. The marked
// packet's ten lines must be in the recording left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "common/panels.h"
#include "io/meter_packet.h"
#include "meter/meter_fixtures.h"
#include "platform/qt/qt_ui.h"
#include "gui_app/meter_home.h"
#include "sondrix_main.h"
#include "support/fixtures.h"
#include "build_paths.h"

extern char** environ;

namespace sondrix {
namespace {

constexpr int kNerit = 18;
const std::string kDevice = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";
const std::string kCli = SONDRIX_TOOLS_DIR "/cli/sondrix-cli";

// The sample lines of a data file (after its bin size line).
std::vector<std::string> SampleLines(const std::string& path) {
  std::istringstream in(test::ReadTextFile(path).value_or(""));
  std::vector<std::string> lines;
  bool data = false;
  for (std::string line; std::getline(in, line);) {
    if (data && !line.empty()) lines.push_back(line);
    if (line.find("; acquisition binsize") != std::string::npos) data = true;
  }
  return lines;
}

std::string FirstValue(const std::string& line) {
  const std::size_t tab = line.find('\t');
  return line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
}

// The meter's end of a pseudo-terminal: packets of ten samples whose
// counter goes on by ten.
class Meter {
 public:
  Meter() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && (::grantpt(master_) != 0 || ::unlockpt(master_) != 0)) {
      ::close(master_);
      master_ = -1;
    }
  }
  ~Meter() {
    if (master_ >= 0) ::close(master_);
  }
  bool ok() const { return master_ >= 0; }
  std::string path() const { return ::ptsname(master_); }

  bool Send(double signal) {
    const auto packet = test::Packet(kNerit, 10, test::kNeritSerial, counter_, signal, 0.6, TempToCount(15.0));
    counter_ = static_cast<std::uint16_t>(counter_ + 10);
    return ::write(master_, packet.data(), packet.size()) == static_cast<ssize_t>(packet.size());
  }

 private:
  int master_ = -1;
  std::uint16_t counter_ = 0;
};

// Plays the meter for a recorder that `start` starts (its process number),
// kills it and returns the recording it left behind. Empty when the
// recorder never recorded.
std::vector<std::string> KillDuringARun(const test::TempDir& home, Meter& meter, const std::function<pid_t()>& start) {
  const pid_t recorder = start();
  if (recorder <= 0) return {};
  const std::string scratch = home.File("Sondrix.tmp");
  auto pace = [&](double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      meter.Send(0.2);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  };
  // Until the run has recorded a little.
  for (int i = 0; i < 600 && SampleLines(scratch).size() < 20; ++i) pace(0.05);
  meter.Send(0.4);
  pace(1.15);
  ::kill(recorder, SIGKILL);
  ::waitpid(recorder, nullptr, 0);
  return SampleLines(scratch);
}

class KillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(meter.ok());
    test::WriteTextFile(home.File("Sondrix.ini"),
                        "[General]\nDevice=" + kDevice + "\nPort=COM1\n[Ports]\nCOM1=" + meter.path() + "\n[Deployment]\ncruise=TEST\n");
  }

  // The marked packet's lines are there, whole.
  void ExpectTheMarkedPacket(const std::vector<std::string>& lines) {
    ASSERT_GE(lines.size(), 20u) << "the recorder never recorded";
    const std::string ordinary = FirstValue(lines.front());
    int marked = 0;
    for (const std::string& line : lines) marked += FirstValue(line) != ordinary ? 1 : 0;
    EXPECT_EQ(marked, 10);
  }

  test::TempDir home;
  test::ScopedEnv homeEnv{"SONDRIX_HOME", home.path()};
  Meter meter;
};

TEST_F(KillTest, TheToolsRunKeepsEverySampleOlderThanASecond) {
  const std::vector<std::string> lines = KillDuringARun(home, meter, [&] {
    std::vector<std::string> args = {kCli, "record", "--device", kDevice, "--port", "COM1", "--out", home.File("run.dat")};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, kCli.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return pid_t{-1};
    return pid;
  });
  ExpectTheMarkedPacket(lines);
}

TEST_F(KillTest, TheWindowsRunKeepsEverySampleOlderThanASecond) {
  const std::vector<std::string> lines = KillDuringARun(home, meter, [&] {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    // The program in a child of its own: it opens the meter from its
    // settings and its run is started as a click on the start button does.
    std::unique_ptr<QTimer> starter;
    test::RunTheProgram([&](App& app) {
      starter = std::make_unique<QTimer>();
      starter->setInterval(100);
      QObject::connect(starter.get(), &QTimer::timeout, [&app, &starter] {
        if (app.source() == nullptr) return;
        starter->stop();
        auto& ui = dynamic_cast<platform::qt::QtUi&>(platform::ui());
        qobject_cast<QAbstractButton*>(ui.Widget(app.mainPanel, panels::kMainStartStop))->click();
      });
      starter->start();
    });
    ::_exit(0);
  });
  ExpectTheMarkedPacket(lines);
}

}  // namespace
}  // namespace sondrix
