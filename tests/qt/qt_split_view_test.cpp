// SPDX-License-Identifier: GPL-3.0-or-later
// The split view and the health strip in the Qt window: four graphs and
// their kind choosers fit small screens side by side, every pane follows a
// run and is redrawn at most once a frame however many lines come, and the
// health strip keeps its size whatever it has to say.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/layout.h"
#include "common/panels.h"
#include "display/display.h"
#include "display/fake_source.h"
#include "platform/qt/qt_plot.h"
#include "platform/qt/qt_ui.h"
#include "session/session.h"
#include "support/fixtures.h"

namespace sondrix::platform::qt {
namespace {

namespace p = panels;

class QtSplitViewTest : public ::testing::Test {
 protected:
  QtSplitViewTest() : home_("SONDRIX_HOME", dir.path()), scoped_(ui) {
    main = ui.LoadPanel(0, p::kMain);
    EXPECT_EQ(Display::New(display, main, session), status::kOk);
    layout = RecordMainLayout(main);
    LimitPanelSize(main, layout);
    std::vector<int> map(9, kTraceA);
    map.insert(map.end(), 9, kTraceC);
    auto source = std::make_unique<test::FakeSource>(dir.File("meter.dev"), map);
    source->depth = true;
    EXPECT_EQ(display->Attach(std::move(source)), status::kOk);
  }

  void Fit(int width, int height) {
    layout.panes = display->PaneControls();
    ui.Window(main)->resize(width, height);
    QApplication::processEvents();
    CheckPanelSize(main, layout);
    QApplication::processEvents();
  }

  test::TempDir dir;
  test::ScopedEnv home_;
  QtUi ui;
  ScopedUi scoped_;
  Session session;
  std::unique_ptr<Display> display;
  MainLayout layout;
  int main = 0;
};

TEST_F(QtSplitViewTest, FourPanesFitEachIsRedrawnAtMostOnceAFrameAndTheHealthStripKeepsItsSize) {
  for (const QSize screen : {QSize(1024, 600), QSize(1366, 768)}) {
    SCOPED_TRACE(std::to_string(screen.width()) + " x " + std::to_string(screen.height()));
    // The split view scrolls nothing the single view does not.
    display->SetPaneCount(1);
    Fit(screen.width(), screen.height());
    auto* scroll = ui.Window(main)->findChild<QScrollArea*>();
    const bool across = scroll->horizontalScrollBar()->isVisible();
    const bool down = scroll->verticalScrollBar()->isVisible();
    display->SetPaneCount(4);
    Fit(screen.width(), screen.height());
    EXPECT_EQ(ui.Window(main)->size(), screen);
    EXPECT_EQ(scroll->horizontalScrollBar()->isVisible(), across);
    EXPECT_EQ(scroll->verticalScrollBar()->isVisible(), down);
    if (screen.width() >= 1366) {
      EXPECT_FALSE(across || down);
    }
    const QRect visible(QPoint(0, 0), scroll->viewport()->size());
    std::vector<QRect> taken;
    for (int k = 0; k < 4; ++k) {
      QWidget* graph = ui.Widget(main, GraphKindOfType(display->pane(k)->GetType())->control);
      QWidget* chooser = ui.Widget(main, p::kMainPaneKind1 + k);
      ASSERT_TRUE(graph->isVisible() && chooser->isVisible()) << k;
      EXPECT_TRUE(visible.contains(graph->geometry())) << k;
      EXPECT_TRUE(visible.contains(chooser->geometry())) << k;
      EXPECT_GE(graph->height(), 90) << k;
      EXPECT_GE(graph->width(), 250) << k;
      for (const QRect& other : taken) EXPECT_FALSE(other.intersects(graph->geometry())) << k;
      taken.push_back(graph->geometry());
      EXPECT_LE(chooser->geometry().bottom(), graph->geometry().top());
    }
    for (int cell = 0; cell < kHealthCells; ++cell)
      EXPECT_TRUE(visible.contains(ui.Widget(main, p::kMainHealth1 + cell)->geometry())) << cell;
  }

  // A run of a line every millisecond of its time, as fast as it comes:
  // every pane shows it, none is redrawn more than once a frame.
  ASSERT_EQ(display->InitPlot(), status::kOk);
  std::vector<int> before;
  for (int k = 0; k < 4; ++k)
    before.push_back(static_cast<PlotWidget*>(ui.Widget(main, GraphKindOfType(display->pane(k)->GetType())->control))
                         ->replotCount());
  QElapsedTimer took;
  took.start();
  for (int k = 0; k < 3000; ++k) {
    SourceLine line(18);
    line.status = status::kOk;
    line.time = 200LL * k;
    line.depth = 0.01 * k;
    line.temperature = 12.0;
    for (int i = 0; i < 18; ++i) line.values[static_cast<std::size_t>(i)] = 0.2 + 0.01 * i + 0.05 * std::sin(k / 40.0);
    ASSERT_EQ(session.Publish(line), status::kOk);
    if (k % 50 == 0) QApplication::processEvents();
  }
  QTest::qWait(100);
  const double frames = static_cast<double>(took.elapsed()) / (1000.0 / 60.0) + 2.0;
  for (int k = 0; k < 4; ++k) {
    auto* plot = static_cast<PlotWidget*>(ui.Widget(main, GraphKindOfType(display->pane(k)->GetType())->control));
    const int replots = plot->replotCount() - before[static_cast<std::size_t>(k)];
    EXPECT_GT(replots, 0) << k;
    EXPECT_LE(replots, frames) << k;
  }

  // The health strip keeps its cells' size whatever it says; the whole in tooltips.
  RunHealth health;
  health.line = LineState::Lost;
  health.lineSeconds = 4000.0;
  health.gps = {"GPS", true, 12345.0, false};
  health.ancillary.push_back({"Ship data of the thermosalinograph and the echo sounder", true, 3.0, false});
  health.diskFree = 123456789012ULL;
  health.writeRate = 1.0;
  health.diskHours = 34293.0;
  const QSize window = ui.Window(main)->size();
  std::vector<QRect> cells;
  for (int cell = 0; cell < kHealthCells; ++cell) cells.push_back(ui.Widget(main, p::kMainHealth1 + cell)->geometry());
  HealthStrip(main, p::kMainHealth1).Show(health);
  QApplication::processEvents();
  EXPECT_EQ(ui.Window(main)->size(), window);
  for (int cell = 0; cell < kHealthCells; ++cell) {
    auto* label = qobject_cast<QLabel*>(ui.Widget(main, p::kMainHealth1 + cell));
    EXPECT_EQ(label->geometry(), cells[static_cast<std::size_t>(cell)]) << cell;
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << label->text().toStdString();
    EXPECT_FALSE(label->toolTip().isEmpty()) << cell;
  }
}

}  // namespace
}  // namespace sondrix::platform::qt
