// SPDX-License-Identifier: GPL-3.0-or-later
// Long tasks on the Qt backend: the wait message of a calibration is painted
// at every sample although the program does not look at the user between
// reads, and its Cancel button ends the calibration.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <vector>

#include "common/errors.h"
#include "common/panels.h"
#include "common/progress.h"
#include "config/calibration.h"
#include "config/fakes.h"
#include "platform/qt/qt_ui.h"
#include "support/fixtures.h"

namespace sondrix::platform::qt {
namespace {

namespace p = panels;
using Clock = std::chrono::steady_clock;

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
};

class QtProgressTest : public ::testing::Test {
 protected:
  QtProgressTest() : home_("SONDRIX_HOME", dir.path()), scoped_(ui) {}

  QPlainTextEdit* WaitText() const {
    return qobject_cast<QPlainTextEdit*>(ui.Widget(sondrix::Message_Panel(), p::kWaitText));
  }

  test::TempDir dir;
  test::ScopedEnv home_;
  QtUi ui;
  ScopedUi scoped_;
};

// Each change of the message is on the screen when Update returns: its text
// painted (no event loop runs in between), its bar at the share given.
TEST_F(QtProgressTest, TheMessageIsPaintedAtEveryChange) {
  ProgressMessage message("\n   Reading data from meter...\n   Sample 1");
  QPlainTextEdit* text = WaitText();
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->window()->isVisible());
  auto* bar = qobject_cast<QProgressBar*>(ui.Widget(sondrix::Message_Panel(), p::kWaitProgress));
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->isVisible());
  EXPECT_TRUE(ui.Widget(sondrix::Message_Panel(), p::kWaitCancel)->isVisible());
  PaintCounter counter(text->viewport());
  std::string shown = "\n   Reading data from meter...\n   Sample 1";
  for (int sample = 2; sample <= 5; ++sample) {
    shown += ", " + std::to_string(sample);
    const int before = counter.paints;
    message.Update(shown, (sample - 1) / 5.0);
    EXPECT_GT(counter.paints, before) << "sample " << sample;
    EXPECT_EQ(text->toPlainText().toStdString(), shown);
    EXPECT_EQ(bar->value(), (sample - 1) * 20);
  }
  // The picture holds the text: the box is no longer blank.
  const QImage picture = text->viewport()->grab().toImage();
  bool marked = false;
  for (int y = 0; y < picture.height() && !marked; ++y)
    for (int x = 0; x < picture.width() && !marked; ++x) marked = picture.pixel(x, y) != picture.pixel(0, 0);
  EXPECT_TRUE(marked);
}

// A calibration waiting for a meter that sends nothing: a click on Cancel
// ends it at once with -1021; the message was painted meanwhile and is
// gone afterwards.
TEST_F(QtProgressTest, CancelEndsTheCalibration) {
  test::ScriptedSource silent(6);
  int paintedBeforeClick = -1;
  bool clicked = false;
  QTimer::singleShot(300, [&] {
    QPlainTextEdit* text = WaitText();
    auto* cancel = qobject_cast<QPushButton*>(ui.Widget(sondrix::Message_Panel(), p::kWaitCancel));
    if (text == nullptr || cancel == nullptr) return;
    PaintCounter probe(text->viewport());
    text->viewport()->repaint();
    paintedBeforeClick = probe.paints;
    QTest::mouseClick(cancel, Qt::LeftButton);
    clicked = true;
  });
  std::vector<double> sums(6, 0.0);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(SumUnCorrSamples(silent, 400, sums), status::kCancelled);
  EXPECT_TRUE(clicked);
  EXPECT_GT(paintedBeforeClick, 0);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 5.0);
  EXPECT_EQ(sondrix::Message_Panel(), 0);
  EXPECT_EQ(sums, std::vector<double>(6, 0.0));
  // It slept while it waited: a few reads a second at most between the
  // short sleeps, not a busy loop.
  EXPECT_LT(silent.reads, 1000);
}

}  // namespace
}  // namespace sondrix::platform::qt
