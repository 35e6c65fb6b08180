// SPDX-License-Identifier: GPL-3.0-or-later
// The real program on Qt with the simulated meter on COM1: the main window
// cannot be made smaller than its layout, and a SIGTERM during a run (the
// session ends) ends the program as its exit command does, asking nothing,
// with its settings written and the run kept for the next start.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/panels.h"
#include "datafile/data_file.h"
#include "platform/qt/qt_ui.h"
#include "platform/ui.h"
#include "gui_app/meter_home.h"
#include "sim/sim_test_env.h"
#include "sondrix_main.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

namespace p = panels;
using Clock = std::chrono::steady_clock;

constexpr long kLinesBeforeTheEnd = 30;

platform::qt::QtUi& Qt() { return dynamic_cast<platform::qt::QtUi&>(platform::ui()); }

int PanelInt(int panel, platform::Attr attr) {
  platform::CtrlValue value;
  platform::ui().GetPanelAttribute(panel, attr, value);
  return platform::CtrlValueInt(value).value_or(-1);
}

// Counts the sample lines of a data file (after its bin size line).
std::size_t SampleLines(const std::string& path) {
  std::istringstream in(test::ReadTextFile(path).value_or(""));
  std::string line;
  bool data = false;
  std::size_t count = 0;
  while (std::getline(in, line)) {
    if (data) ++count;
    if (line.find("; acquisition binsize") != std::string::npos) data = true;
  }
  return count;
}

// Plays the session: looks at the window's size, starts a run and, once it
// has recorded enough, sends the program SIGTERM.
class Session {
 public:
  explicit Session(App& app) : app_(app), start_(Clock::now()) {
    QWidget* window = Qt().Window(app.mainPanel);
    minimum = window->minimumSize();
    loaded = {PanelInt(app.mainPanel, platform::Attr::Width), PanelInt(app.mainPanel, platform::Attr::Height)};
    // What a window manager does when the user drags the window small.
    window->resize(400, 300);
    QApplication::processEvents();
    shrunk = {PanelInt(app.mainPanel, platform::Attr::Width), PanelInt(app.mainPanel, platform::Attr::Height)};
    timer_.setInterval(50);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Step(); });
    timer_.start();
  }

  QSize minimum;
  QSize loaded;
  QSize shrunk;
  bool started = false;
  bool signalled = false;
  bool gaveUp = false;

 private:
  void Step() {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    if (seconds > 90.0 && !gaveUp) {
      gaveUp = true;
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
      Qt().Window(app_.mainPanel)->close();
      return;
    }
    if (!started) {
      if (seconds < 1.0 || app_.source() == nullptr) return;
      started = true;
      qobject_cast<QAbstractButton*>(Qt().Widget(app_.mainPanel, p::kMainStartStop))->click();
      return;
    }
    const DataFile* recording = app_.session().recording();
    if (!signalled && recording != nullptr && recording->writtenLines() >= kLinesBeforeTheEnd) {
      signalled = true;
      std::raise(SIGTERM);
    }
  }

  App& app_;
  Clock::time_point start_;
  QTimer timer_;
};

TEST(SessionEndTest, SigtermDuringARunEndsLikeTheExitCommandAndKeepsTheRunForTheNextStart) {
  test::TempDir home;
  const test::ScopedEnv homeEnv("SONDRIX_HOME", home.path());
  const std::unique_ptr<test::Child> meter = test::StartMeterHome(home);
  ASSERT_NE(meter, nullptr);
  test::Child& sim = *meter;

  std::unique_ptr<Session> session;
  const int exitStatus = test::RunTheProgram([&](App& app) { session = std::make_unique<Session>(app); });
  sim.Stop(SIGTERM);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(exitStatus, 0);
  EXPECT_TRUE(session->signalled);
  EXPECT_FALSE(session->gaveUp);
  // The program put SIGTERM's handling back as it was.
  struct sigaction now {};
  ::sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);

  // The window may be made much smaller than its loaded layout (the panel
  // scrolls); dragged small it stopped at its minimum (menu bar on top).
  EXPECT_LT(session->shrunk.width(), session->loaded.width());
  EXPECT_LT(session->shrunk.height(), session->loaded.height());
  EXPECT_EQ(session->minimum.width(), session->shrunk.width());
  EXPECT_GT(session->minimum.height(), session->shrunk.height());
  EXPECT_GE(session->shrunk.width(), 400);

  // The settings the exit command writes, and the run waiting in the
  // scratch recording for the next start.
  const std::string settings = test::ReadTextFile(home.File("Sondrix.ini")).value_or("");
  EXPECT_NE(settings.find("Port=COM1"), std::string::npos) << settings;
  EXPECT_NE(settings.find("Width=" + std::to_string(session->shrunk.width())), std::string::npos) << settings;
  EXPECT_GE(SampleLines(home.File("Sondrix.tmp")), static_cast<std::size_t>(kLinesBeforeTheEnd));
}

}  // namespace
}  // namespace sondrix
