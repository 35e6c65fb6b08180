// SPDX-License-Identifier: GPL-3.0-or-later
// The real program end to end: sondrix on the Qt backend and the termios
// serial library, a simulated nine-wavelength meter on a pseudo-terminal
// mapped to COM1. The program opens the meter at start (the settings of the
// last exit), a run is started and stopped with the start/stop button, the
// recording is saved through the save dialog and the window is closed. The
// saved lines must be the lines the simulator's stream holds: the same
// stream, written to a capture file and recorded by sondrix-cli, gives them.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/panels.h"
#include "platform/qt/qt_ui.h"
#include "platform/ui.h"
#include "sim/sim_test_env.h"
#include "gui_app/meter_home.h"
#include "sondrix_main.h"
#include "support/fixtures.h"
#include "build_paths.h"

extern char** environ;

namespace sondrix {
namespace {

namespace p = panels;
using Clock = std::chrono::steady_clock;

// The simulator's stream: sixty samples a second (six packets), a fixed seed.
std::vector<std::string> Stream(const std::string& device) {
  return {"--device", device, "--rate", "60", "--seed", "7", "--quiet"};
}
// Lines the run records before it is stopped.
constexpr long kRunLines = 120;

// Runs a program to its end; its exit status, or -1.
int RunTool(const std::vector<std::string>& args) {
  std::vector<std::string> all = args;
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int raw = 0;
  if (waitpid(pid, &raw, 0) != pid) return -1;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The sample lines of a data file (after its bin size line), each without
// its time stamp, and the time stamps apart.
struct Lines {
  std::vector<std::string> rest;
  std::vector<long long> times;
};
Lines ReadLines(const std::string& path) {
  Lines lines;
  std::istringstream in(test::ReadTextFile(path).value_or(""));
  std::string line;
  bool data = false;
  while (std::getline(in, line)) {
    if (data) {
      const std::size_t tab = line.find('\t');
      lines.times.push_back(std::atoll(line.substr(0, tab).c_str()));
      lines.rest.push_back(tab == std::string::npos ? "" : line.substr(tab));
    }
    if (line.find("; acquisition binsize") != std::string::npos) data = true;
  }
  return lines;
}

QAbstractButton* StartStop(const App& app) {
  auto& ui = dynamic_cast<platform::qt::QtUi&>(platform::ui());
  return qobject_cast<QAbstractButton*>(ui.Widget(app.mainPanel, p::kMainStartStop));
}

// Plays the user: start, stop after kRunLines lines, save as `output`,
// close the window. Looks at the program every 50 ms.
class User {
 public:
  User(App& app, std::string output) : app_(app), output_(std::move(output)), start_(Clock::now()) {
    timer_.setInterval(50);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Step(); });
    timer_.start();
  }
  bool opened = false;
  bool started = false;
  bool stopped = false;
  bool saved = false;
  bool gaveUp = false;

 private:
  void Step() {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    auto& ui = dynamic_cast<platform::qt::QtUi&>(platform::ui());
    if (seconds > 90.0 && !gaveUp) {
      gaveUp = true;
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
      ui.Window(app_.mainPanel)->close();
      return;
    }
    if (!started) {
      opened = app_.source() != nullptr;
      if (seconds < 1.0) return;
      started = true;
      StartStop(app_)->click();
      return;
    }
    if (!stopped) {
      const DataFile* recording = app_.session().recording();
      if (recording == nullptr || recording->writtenLines() < kRunLines) return;
      stopped = true;
      StartStop(app_)->click();
      return;
    }
    if (!saved) {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (dialog == nullptr || !dialog->isVisible()) continue;
        // As the user does it: the name typed into the dialog's name field.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (name == nullptr) continue;
        dialog->setDirectory(QString::fromStdString(std::filesystem::path(output_).parent_path().string()));
        name->setText(QString::fromStdString(std::filesystem::path(output_).filename().string()));
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        saved = true;
      }
      return;
    }
    if (!closed_) {
      closed_ = true;
      ui.Window(app_.mainPanel)->close();
    }
  }

  App& app_;
  std::string output_;
  Clock::time_point start_;
  bool closed_ = false;
  QTimer timer_;
};

TEST(LiveRunTest, ARunOfTheSimulatedMeterIsRecordedStoppedAndSavedAsTheMeterSentIt) {
  test::TempDir home;
  const test::ScopedEnv homeEnv("SONDRIX_HOME", home.path());
  // The program keeps its display settings beside the device file: a copy.
  const std::string device = test::WriteTextFile(
      home.File("nerit-9wl.dev"), test::ReadTextFile(test::ExampleDevice("nerit-9wl")).value_or(""));
  std::vector<std::string> ptyArgs = Stream(device);
  ptyArgs.push_back("--pty");
  test::Child sim(ptyArgs, home.File("sim.err"));
  ASSERT_TRUE(sim.started());
  const std::string pty = sim.FirstLine(10.0);
  ASSERT_EQ(pty.rfind("/dev/", 0), 0u) << pty;
  test::WriteTextFile(home.File("Sondrix.ini"),
                      "[General]\nDevice=" + device + "\nPort=COM1\n[Ports]\nCOM1=" + pty + "\n[Deployment]\ncruise=TEST\n");

  const std::string output = home.File("live.dat");
  std::unique_ptr<User> user;
  const int exitStatus = test::RunTheProgram([&](App& app) { user = std::make_unique<User>(app, output); });
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(exitStatus, 0);
  EXPECT_TRUE(user->opened);
  EXPECT_TRUE(user->stopped);
  EXPECT_TRUE(user->saved);
  EXPECT_FALSE(user->gaveUp);
  user.reset();
  sim.Stop(SIGTERM);

  // The same stream as a capture, recorded by the command-line recorder.
  std::vector<std::string> captureArgs = Stream(device);
  captureArgs.insert(captureArgs.end(), {"--out", home.File("stream.raw"), "--packets", "3000"});
  test::Child capture(captureArgs, home.File("capture.err"));
  ASSERT_EQ(capture.Wait(), 0);
  ASSERT_EQ(RunTool({SONDRIX_TOOLS_DIR "/cli/sondrix-cli", "record", "--device", device, "--port",
                     home.File("stream.raw"), "--out", home.File("stream.dat")}),
            0);

  const Lines live = ReadLines(output);
  const Lines stream = ReadLines(home.File("stream.dat"));
  ASSERT_GE(live.rest.size(), static_cast<std::size_t>(kRunLines));
  ASSERT_GT(stream.rest.size(), live.rest.size());
  // Where the run's first line is in the stream; from there on every line
  // is the stream's, at the same spacing in time.
  std::size_t first = 0;
  while (first < stream.rest.size() && stream.rest[first] != live.rest[0]) ++first;
  ASSERT_LT(first + live.rest.size(), stream.rest.size()) << "the run's first line is not in the stream";
  for (std::size_t i = 0; i < live.rest.size(); ++i) {
    ASSERT_EQ(live.rest[i], stream.rest[first + i]) << "line " << i;
    ASSERT_EQ(live.times[i] - live.times[0], stream.times[first + i] - stream.times[first]) << "line " << i;
  }
  // The next start opens the same meter again.
  const std::string settings = test::ReadTextFile(home.File("Sondrix.ini")).value_or("");
  EXPECT_NE(settings.find("Port=COM1"), std::string::npos);
}

}  // namespace
}  // namespace sondrix
