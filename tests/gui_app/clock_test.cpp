// SPDX-License-Identifier: GPL-3.0-or-later
// The real program on Qt with the simulated meter on COM1: the clock reads
// the time of day on its own while the window is idle and while a run gets
// no lines (the instrument silent), and the elapsed time goes on; the loops
// wait for the clock's second rather than spin.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <memory>
#include <set>
#include <string>

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

platform::qt::QtUi& Qt() { return dynamic_cast<platform::qt::QtUi&>(platform::ui()); }

double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Watches the read-outs every 100 ms: idle for three seconds, then a run
// whose instrument falls silent (stopped) for two and a half.
class Watcher {
 public:
  Watcher(App& app, pid_t sim) : app_(app), sim_(sim), start_(Clock::now()) {
    timer_.setInterval(100);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Step(); });
    timer_.start();
  }

  std::set<std::string> idleTimes, silentTimes, silentElapsed;
  // Processor seconds per second while idle, after the window was drawn.
  double idleProcessor = -1.0;
  long linesAtSilence = -1, linesAfterSilence = -1;
  bool done = false;

 private:
  std::string Text(int control) {
    return qobject_cast<QLabel*>(Qt().Widget(app_.mainPanel, control))->text().toStdString();
  }
  long Lines() {
    const DataFile* recording = app_.session().recording();
    return recording == nullptr ? -1 : recording->writtenLines();
  }

  void Step() {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    if (done) return;
    if (seconds > 60.0) {
      done = true;
      kill(sim_, SIGCONT);
      std::raise(SIGTERM);
      return;
    }
    if (app_.source() == nullptr) return;
    if (idleStart_ < 0.0) idleStart_ = seconds;
    // The first second after the meter is open still draws the window and
    // lays it out; the processor time is measured over the idle seconds
    // after it.
    if (processorAtIdle_ < 0.0 && seconds >= idleStart_ + 1.0) {
      processorAtIdle_ = ProcessorSeconds();
      idleWallAt_ = seconds;
    }
    if (seconds < idleStart_ + 3.2) {
      idleTimes.insert(Text(p::kMainTime));
      return;
    }
    if (!started_) {
      idleProcessor = (ProcessorSeconds() - processorAtIdle_) / (seconds - idleWallAt_);
      started_ = true;
      qobject_cast<QAbstractButton*>(Qt().Widget(app_.mainPanel, p::kMainStartStop))->click();
      return;
    }
    if (silentStart_ < 0.0) {
      if (Lines() < 30) return;
      kill(sim_, SIGSTOP);
      silentStart_ = seconds;
      return;
    }
    // What was on its way when the instrument stopped has come in.
    if (seconds < silentStart_ + 0.4) return;
    if (linesAtSilence < 0) linesAtSilence = Lines();
    if (seconds < silentStart_ + 2.9) {
      silentTimes.insert(Text(p::kMainTime));
      silentElapsed.insert(Text(p::kMainElapsed));
      return;
    }
    linesAfterSilence = Lines();
    done = true;
    kill(sim_, SIGCONT);
    // Ends the run and the program without questions.
    std::raise(SIGTERM);
  }

  App& app_;
  pid_t sim_;
  Clock::time_point start_;
  double idleStart_ = -1.0;
  double processorAtIdle_ = -1.0;
  double idleWallAt_ = 0.0;
  double silentStart_ = -1.0;
  bool started_ = false;
  QTimer timer_;
};

TEST(ClockTest, TheClockAndTheElapsedTimeTickWhileNoLineComes) {
  test::TempDir home;
  const test::ScopedEnv homeEnv("SONDRIX_HOME", home.path());
  const std::unique_ptr<test::Child> meter = test::StartMeterHome(home);
  ASSERT_NE(meter, nullptr);
  test::Child& sim = *meter;

  std::unique_ptr<Watcher> watcher;
  const int exitStatus = test::RunTheProgram([&](App& app) { watcher = std::make_unique<Watcher>(app, sim.pid()); });
  sim.Stop(SIGTERM);
  ASSERT_NE(watcher, nullptr);
  EXPECT_EQ(exitStatus, 0);
  ASSERT_TRUE(watcher->done);

  // Idle: three seconds read on the clock, "HH:MM:SS local", for little
  // processor time: a loop that spun would take a whole processor, or its
  // share of one beside the other tests of a parallel run (a quarter of
  // each of the two processors CI has with four tests at once); a waiting
  // loop takes a few thousandths.
  EXPECT_GE(watcher->idleTimes.size(), 3u);
  for (const std::string& time : watcher->idleTimes) EXPECT_TRUE(time.ends_with(" local")) << time;
  EXPECT_GE(watcher->idleProcessor, 0.0);
  EXPECT_LT(watcher->idleProcessor, 0.15);
  // The instrument silent: no line came, and the clock and the elapsed
  // time went on all the same.
  EXPECT_EQ(watcher->linesAfterSilence, watcher->linesAtSilence);
  EXPECT_GE(watcher->silentTimes.size(), 2u);
  EXPECT_GE(watcher->silentElapsed.size(), 2u);
}

}  // namespace
}  // namespace sondrix
