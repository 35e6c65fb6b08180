// SPDX-License-Identifier: GPL-3.0-or-later
// The program told to end on the Qt backend: SIGTERM and SIGHUP reach the
// event loop through a pipe, dialogs up then end as cancelled, later pop-ups
// answer at once, dialog loops get their close box and the main loop
// Terminate.
#include "platform/qt/termination_signals.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <array>
#include <csignal>
#include <string>
#include <vector>

#include "common/panels.h"
#include "platform/qt/qt_ui.h"
#include "support/fixtures.h"

namespace sondrix::platform::qt {
namespace {

namespace p = panels;

// The handler a signal has now.
void (*HandlerOf(int signal))(int) {
  struct sigaction now {};
  ::sigaction(signal, nullptr, &now);
  return now.sa_handler;
}

class QtTerminationTest : public ::testing::Test {
 protected:
  QtTerminationTest() : home_("SONDRIX_HOME", dir.path()), scoped_(ui) {}

  test::TempDir dir;
  test::ScopedEnv home_;
  QtUi ui;
  ScopedUi scoped_;
};

TEST_F(QtTerminationTest, ASignalBecomesACallOnTheEventLoopAndTheHandlersGoBackAfterwards) {
  std::vector<int> received;
  {
    TerminationSignals watch([&received](int signal) { received.push_back(signal); });
    ASSERT_TRUE(watch.watching());
    EXPECT_NE(HandlerOf(SIGHUP), SIG_DFL);
    // A second watch cannot take the signals over.
    TerminationSignals second([](int) {});
    EXPECT_FALSE(second.watching());

    ASSERT_EQ(std::raise(SIGHUP), 0);
    // Not in the handler: on the event loop.
    EXPECT_TRUE(received.empty());
    for (int i = 0; i < 100 && received.empty(); ++i) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_EQ(received, std::vector<int>{SIGHUP});
    // The first signal put the default action back: a second one would end
    // a program that does not end by itself.
    EXPECT_EQ(HandlerOf(SIGHUP), SIG_DFL);
    EXPECT_NE(HandlerOf(SIGTERM), SIG_DFL);
  }
  EXPECT_EQ(HandlerOf(SIGTERM), SIG_DFL);
  EXPECT_EQ(HandlerOf(SIGHUP), SIG_DFL);
}

TEST_F(QtTerminationTest, SigtermEndsTheMainLoopsWaitWithTerminate) {
  TerminationSignals watch([this](int) { ui.RequestTermination(); });
  ASSERT_TRUE(watch.watching());
  QTimer::singleShot(30, [] { std::raise(SIGTERM); });
  // The timer's own wake-up may end a wait first.
  UserEvent event;
  for (int i = 0; i < 10 && event.type == EventType::None; ++i) event = ui.WaitUserEvent(2.0, {});
  EXPECT_EQ(event.type, EventType::Terminate);
  EXPECT_TRUE(ui.TerminationRequested());
  // For good: every later look gets it too.
  EXPECT_EQ(ui.GetUserEvent(true).type, EventType::Terminate);
}

TEST_F(QtTerminationTest, AQuestionUpIsCancelledAndLaterOnesAreNotShown) {
  bool shown = false;
  QTimer::singleShot(30, [this, &shown] {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (qobject_cast<QMessageBox*>(widget) != nullptr && widget->isVisible()) shown = true;
    ui.RequestTermination();
  });
  // Whatever happens, the test does not hang on the box.
  QTimer::singleShot(10000, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  const std::array<std::string, 3> buttons = {"Save", "Discard", "Cancel"};
  EXPECT_EQ(ui.GenericMessagePopup("Unsaved run", "Save it?", buttons), 3);
  EXPECT_TRUE(shown);

  EXPECT_EQ(ui.ConfirmPopup("Open device", "Open anyway?"), 0);
  std::string path = "unchanged";
  EXPECT_EQ(ui.FileSelectPopup({}, path), FileSelectResult::None);
  EXPECT_EQ(path, "unchanged");
  PrintRequest print;
  const int main = ui.LoadPanel(0, p::kMain);
  EXPECT_EQ(ui.PrintPanel(main, print), ui_status::kPrintCancelled);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(QtTerminationTest, ADialogLoopGetsItsCloseBoxBeforeTheMainLoopGetsTerminate) {
  const int main = ui.LoadPanel(0, p::kMain);
  ui.DisplayPanel(main);
  const int dialog = ui.LoadPanel(0, p::kAcquisition);
  ui.InstallPopup(dialog);
  QTimer::singleShot(30, [this] { ui.RequestTermination(); });
  UserEvent event = ui.GetUserEvent(true);
  EXPECT_EQ(event.type, EventType::Close);
  EXPECT_EQ(event.panel, dialog);
  ui.RemovePopup(dialog);
  ui.DiscardPanel(dialog);
  event = ui.WaitUserEvent(0.5, {});
  EXPECT_EQ(event.type, EventType::Terminate);
  EXPECT_EQ(event.panel, 0);
}

}  // namespace
}  // namespace sondrix::platform::qt
