// SPDX-License-Identifier: GPL-3.0-or-later
// A click as a hand makes it: the press, then the release a tenth of a
// second later, each handled in its own pass of Qt's event loop. The main
// loop wakes between the two (the press is a window-system event) and parks
// the keyboard focus again; neither may cost the click.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <string>

#include "common/panels.h"
#include "platform/qt/qt_ui.h"
#include "platform/uir.h"
#include "support/fixtures.h"

namespace sondrix::platform::qt {
namespace {

namespace p = panels;
using Clock = std::chrono::steady_clock;

class QtClickTest : public ::testing::Test {
 protected:
  QtClickTest() : home_("SONDRIX_HOME", dir.path()), scoped_(ui) {
    main = ui.LoadPanel(0, p::kMain);
    ui.DisplayPanel(main);
    // Focus moves only in the active window, as on a desktop.
    QWidget* window = ui.Window(main);
    window->activateWindow();
    active_ = QTest::qWaitForWindowActive(window);
  }

  // Presses `button`, releases it `heldMs` later, and meanwhile waits for
  // events as the main loop does: between waits the focus is parked on
  // the main panel's focus control. The first event that came, or None.
  UserEvent SlowClick(QAbstractButton* button, int heldMs) {
    const QPoint centre = button->rect().center();
    QTimer::singleShot(0, button, [button, centre] { QTest::mousePress(button, Qt::LeftButton, {}, centre); });
    QTimer::singleShot(heldMs, button, [button, centre] {
      QTest::mouseRelease(button, Qt::LeftButton, {}, centre);
    });
    const Clock::time_point start = Clock::now();
    UserEvent event;
    while (event.type == EventType::None && Clock::now() - start < std::chrono::seconds(3)) {
      ui.SetActiveCtrl(main, p::kMainFocus);
      event = ui.WaitUserEvent(1.0, {});
    }
    return event;
  }

  test::TempDir dir;
  test::ScopedEnv home_;
  QtUi ui;
  ScopedUi scoped_;
  int main = 0;
  bool active_ = false;
};

TEST_F(QtClickTest, EveryButtonOfTheMainPanelTakesAClickWhosePressAndReleaseComeApart) {
  std::string error;
  const UirFile resources = LoadProgramUir(error);
  const PanelSpec* spec = resources.FindPanel(p::kMain);
  ASSERT_NE(spec, nullptr) << error;
  ASSERT_TRUE(active_);
  int buttons = 0;
  for (const ControlSpec& control : spec->controls) {
    auto* button = qobject_cast<QAbstractButton*>(ui.Widget(main, control.id));
    if (button == nullptr) continue;
    // Buttons the window starts with dimmed or hidden take no click at all.
    ui.SetCtrlAttribute(main, control.id, Attr::Dimmed, 0);
    ui.SetCtrlAttribute(main, control.id, Attr::Visible, 1);
    SCOPED_TRACE(control.name);
    const UserEvent event = SlowClick(button, 100);
    EXPECT_EQ(event.type, EventType::Commit);
    EXPECT_EQ(event.panel, main);
    EXPECT_EQ(event.control, control.id);
    ++buttons;
  }
  // The start/stop, stop, auto-start, zoom and move buttons and the twenty
  // trace labels at least.
  EXPECT_GE(buttons, 27);
}

}  // namespace
}  // namespace sondrix::platform::qt
