// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting in Qt's event loop: a wait ends on a user event, on input on a
// watched descriptor or at its time limit.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QAction>
#include <QTimer>
#include <array>
#include <chrono>

#include "common/panels.h"
#include "platform/qt/qt_ui.h"
#include "support/fixtures.h"

namespace sondrix::platform::qt {
namespace {

namespace p = panels;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class QtWaitTest : public ::testing::Test {
 protected:
  QtWaitTest() : home_("SONDRIX_HOME", dir.path()), scoped_(ui) {
    main = ui.LoadPanel(0, p::kMain);
    bar = ui.GetPanelMenuBar(main);
    if (::pipe(fds_.data()) != 0) ADD_FAILURE() << "no pipe";
  }
  ~QtWaitTest() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }

  test::TempDir dir;
  test::ScopedEnv home_;
  QtUi ui;
  ScopedUi scoped_;
  int main = 0;
  int bar = 0;
  std::array<int, 2> fds_{};
};

TEST_F(QtWaitTest, AUserEventEndsTheWait) {
  QTimer::singleShot(30, [this] { ui.MenuAction(bar, p::kMenuAbout)->trigger(); });
  UserEvent event;
  // The timer's own wake-up may come first; the menu choice follows.
  for (int i = 0; i < 10 && event.type == EventType::None; ++i) event = ui.WaitUserEvent(2.0, {});
  EXPECT_EQ(event.type, EventType::Menu);
  EXPECT_EQ(event.control, p::kMenuAbout);
}

TEST_F(QtWaitTest, TheTimeLimitEndsAWaitForNothing) {
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ui.WaitUserEvent(0.2, {}).type, EventType::None);
  EXPECT_GE(Seconds(Clock::now() - start), 0.15);
  EXPECT_LT(Seconds(Clock::now() - start), 2.0);
}

TEST_F(QtWaitTest, InputOnAWatchedDescriptorEndsTheWait) {
  QTimer::singleShot(50, [this] { (void)::write(fds_[1], "x", 1); });
  const std::array<int, 1> inputs = {fds_[0]};
  const Clock::time_point start = Clock::now();
  bool readable = false;
  // Other wake-ups (the timer that writes) may end a wait before the input.
  while (!readable && Seconds(Clock::now() - start) < 5.0) {
    ui.WaitUserEvent(5.0, inputs);
    int waiting = 0;
    readable = ::ioctl(fds_[0], FIONREAD, &waiting) == 0 && waiting > 0;
  }
  EXPECT_TRUE(readable);
  EXPECT_LT(Seconds(Clock::now() - start), 2.0);
}

}  // namespace
}  // namespace sondrix::platform::qt
