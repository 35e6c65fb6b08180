// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt backend on the offscreen platform: panels built from the resource
// file, events from clicks, keys, menus and the close box, the graphs and
// strip chart on QCustomPlot, panel state files, printing and pictures.
#include "platform/qt/qt_ui.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <array>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <vector>

#include "app/layout.h"
#include "common/panels.h"
#include "display/display.h"
#include "display/display_fixtures.h"
#include "platform/qt/qt_plot.h"
#include "platform/uir.h"
#include "session/run_history.h"
#include "support/fixtures.h"

namespace sondrix::platform::qt {
namespace {

namespace p = panels;

class QtUiTest : public ::testing::Test {
 protected:
  QtUiTest() : home_("SONDRIX_HOME", dir.path()), scoped_(ui) {
    main = ui.LoadPanel(0, p::kMain);
    bar = ui.GetPanelMenuBar(main);
  }

  // Shows the main window and makes it the active one, so that its keys work.
  void ShowActive() {
    ui.DisplayPanel(main);
    QWidget* window = ui.Window(main);
    QApplication::setActiveWindow(window);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  }

  static std::string Head(const std::string& path, std::size_t n) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(n, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(n));
    return bytes.substr(0, static_cast<std::size_t>(in.gcount()));
  }

  test::TempDir dir;
  test::ScopedEnv home_;
  QtUi ui;
  ScopedUi scoped_;
  int main = 0;
  int bar = 0;
};

TEST_F(QtUiTest, AMinimumSizeKeepsTheWindowFromShrinkingBelowIt) {
  auto size = [this](Attr attr) {
    CtrlValue value;
    EXPECT_EQ(ui.GetPanelAttribute(main, attr, value), 0);
    return std::get<int>(value);
  };
  EXPECT_EQ(size(Attr::MinHeight), 0);
  ui.SetPanelAttribute(main, Attr::Height, 500);
  EXPECT_EQ(size(Attr::Height), 500);
  // A minimum above the size now grows the panel to it.
  ui.SetPanelAttribute(main, Attr::MinHeight, 760);
  ui.SetPanelAttribute(main, Attr::MinWidth, 1180);
  EXPECT_EQ(size(Attr::MinHeight), 760);
  EXPECT_EQ(size(Attr::MinWidth), 1180);
  ui.DisplayPanel(main);
  QApplication::processEvents();
  EXPECT_EQ(size(Attr::Height), 760);
  EXPECT_EQ(size(Attr::Width), 1180);

  // The window, menu bar included, cannot be made smaller: not by the
  // program, not by a resize of the window (what the window system does
  // for the user).
  QWidget* window = ui.Window(main);
  const int bar = window->height() - 760;
  EXPECT_GT(bar, 0);
  EXPECT_EQ(window->minimumSize(), QSize(1180, 760 + bar));
  ui.SetPanelAttribute(main, Attr::Height, 300);
  ui.SetPanelAttribute(main, Attr::Width, 400);
  window->resize(400, 300);
  QApplication::processEvents();
  EXPECT_EQ(size(Attr::Height), 760);
  EXPECT_EQ(size(Attr::Width), 1180);
  // Larger is free.
  ui.SetPanelAttribute(main, Attr::Height, 900);
  EXPECT_EQ(size(Attr::Height), 900);
}

// A remembered geometry far beyond the screen (Height=100000 in the
// settings) gives a window on the screen, no larger than it: not one of
// 32767 x 32767 pixels.
TEST_F(QtUiTest, APlaceAndSizeBeyondTheScreenAreKeptOnIt) {
  ui.DisplayPanel(main);
  QApplication::processEvents();
  QWidget* window = ui.Window(main);
  const QRect available = window->screen()->availableGeometry();
  ScreenArea area;
  ASSERT_EQ(ui.GetScreenArea(main, area), 0);
  EXPECT_EQ(area.top, available.y());
  EXPECT_EQ(area.left, available.x());
  // The menu bar comes on top of the contents.
  EXPECT_LT(area.height, available.height());
  EXPECT_LE(area.width, available.width());
  for (const int far : {100000, -100000}) {
    PlacePanel(main, far, far, 100000, 100000);
    QApplication::processEvents();
    EXPECT_TRUE(available.contains(window->frameGeometry())) << far;
    CtrlValue height, width;
    ui.GetPanelAttribute(main, Attr::Height, height);
    ui.GetPanelAttribute(main, Attr::Width, width);
    EXPECT_EQ(std::get<int>(height), area.height);
    EXPECT_EQ(std::get<int>(width), area.width);
  }
  // A window that fits stays where it was put.
  PlacePanel(main, available.y() + 10, available.x() + 20, 200, 300);
  QApplication::processEvents();
  EXPECT_EQ(window->frameGeometry().topLeft(), available.topLeft() + QPoint(20, 10));
}

TEST_F(QtUiTest, ASaveDialogLeavesTheQuestionAboutAnExistingFileToTheProgram) {
  const std::string existing = test::WriteTextFile(dir.File("run.dat"), "kept");
  bool asked = false;
  bool accepted = false;
  // Plays the user: the existing file's name typed and accepted; a question
  // of the dialog's own would come up as a message box, and is noted and
  // answered no.
  QTimer player;
  player.setInterval(20);
  QObject::connect(&player, &QTimer::timeout, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
        asked = true;
        box->reject();
        return;
      }
    }
    if (accepted) return;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QFileDialog*>(widget);
      if (dialog == nullptr || !dialog->isVisible()) continue;
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      if (name == nullptr) continue;
      name->setText("run.dat");
      accepted = true;
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    }
  });
  player.start();
  QTimer::singleShot(10000, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  FileSelectRequest request;
  request.directory = dir.path();
  request.defaultSpec = "*.dat";
  request.mode = FileDialogMode::Save;
  std::string path;
  EXPECT_EQ(ui.FileSelectPopup(request, path), FileSelectResult::Existing);
  EXPECT_EQ(path, existing);
  EXPECT_FALSE(asked);
}

// Names typed into Qt's own save dialog without an extension get the
// dialog's, and the answer is about that name.
TEST_F(QtUiTest, ANameTypedWithoutExtensionIsCompletedWithTheDialogsOwn) {
  const std::string existing = test::WriteTextFile(dir.File("run.dat"), "kept");
  test::WriteTextFile(dir.File("fresh"), "a file of the name as typed");
  struct Typed {
    std::string name;
    std::string path;
    FileSelectResult result;
  };
  const std::vector<Typed> cases = {{"run", existing, FileSelectResult::Existing},
                                    {"fresh", dir.File("fresh.dat"), FileSelectResult::New}};
  for (const Typed& typed : cases) {
    bool accepted = false;
    QTimer player;
    player.setInterval(20);
    QObject::connect(&player, &QTimer::timeout, [&] {
      if (accepted) return;
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (dialog == nullptr || !dialog->isVisible()) continue;
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (name == nullptr) continue;
        name->setText(QString::fromStdString(typed.name));
        accepted = true;
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
      }
    });
    player.start();
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    guard.start(10000);
    FileSelectRequest request;
    request.directory = dir.path();
    request.defaultSpec = "*.dat";
    request.mode = FileDialogMode::Save;
    std::string path;
    EXPECT_EQ(ui.FileSelectPopup(request, path), typed.result) << typed.name;
    EXPECT_EQ(path, typed.path) << typed.name;
  }
}

TEST_F(QtUiTest, TheMainPanelIsBuiltFromTheResourceFileWithEveryControl) {
  ASSERT_GT(main, 0) << ui.resourceError();
  std::string error;
  const std::optional<UirFile> file = LoadUir(UirPath(), error);
  ASSERT_TRUE(file.has_value()) << error;
  const PanelSpec* spec = file->FindPanel(p::kMain);
  for (const ControlSpec& control : spec->controls) {
    QWidget* widget = ui.Widget(main, control.id);
    ASSERT_NE(widget, nullptr) << control.name;
    EXPECT_EQ(widget->geometry(), QRect(control.left, control.top, control.width, control.height))
        << control.name;
    if (control.type == CtrlType::Graph) {
      EXPECT_NE(ui.Graph(main, control.id), nullptr) << control.name;
    }
    if (control.type == CtrlType::StripChart) {
      EXPECT_NE(ui.Strip(main, control.id), nullptr);
    }
  }
  EXPECT_EQ(ui.GetCtrlText(main, p::kMainTitle), "(no source)");
  CtrlValue width;
  ui.GetPanelAttribute(main, Attr::Width, width);
  EXPECT_EQ(std::get<int>(width), spec->width);

  // Every item of the menu bar, with its caption and key.
  ASSERT_GT(bar, 0);
  for (int item : {p::kMenuNew, p::kMenuOpenDevice, p::kMenuSaveData, p::kMenuEditConfig,
                   p::kMenuExit, p::kMenuXYGraph, p::kMenuStripChart, p::kMenuTempGraph,
                   p::kMenuDepthGraph, p::kMenuSpectGraph, p::kMenuSpect2Graph,
                   p::kMenuGraphSettings, p::kMenuRecallGraph, p::kMenuSaveGraph, p::kMenuPrint,
                   p::kMenuExportGraph, p::kMenuConfigDisplay, p::kMenuConfigAcquisition,
                   p::kMenuAbout}) {
    QAction* action = ui.MenuAction(bar, item);
    ASSERT_NE(action, nullptr) << item;
    EXPECT_EQ(action->text().toStdString(),
              file->FindMenuBar(p::kMainMenu)->FindEntry(item)->label);
  }
  EXPECT_EQ(ui.MenuAction(bar, p::kMenuExit)->shortcut(), QKeySequence("Ctrl+Q"));
}

// Every caption of every panel shows its whole text, inside its panel,
// without running into another caption: labels are never cut short.
TEST_F(QtUiTest, EveryCaptionIsReadableWhole) {
  for (const int id : {p::kMain, p::kGraphSettings, p::kStripSettings, p::kBusy, p::kError, p::kPort,
                       p::kMeterConfig, p::kBenthConfig, p::kNeritDiag, p::kBenthDiag, p::kWait,
                       p::kAcquisition}) {
    const int panel = ui.LoadPanel(0, id);
    ASSERT_GT(panel, 0) << "panel " << id;
    QWidget* window = ui.Window(panel);
    std::vector<QRect> texts;
    for (QLabel* label : window->findChildren<QLabel*>()) {
      if (label->text().isEmpty() || label->wordWrap()) continue;
      const int width = label->fontMetrics().horizontalAdvance(label->text());
      const QRect text(label->mapTo(window, QPoint(0, 0)), QSize(width, label->height()));
      const std::string name = label->text().toStdString();
      EXPECT_GE(label->width(), width) << "panel " << id << ": \"" << name << "\" is cut short";
      // A read-out cuts a text too long for it: none of the resource file's is.
      EXPECT_TRUE(label->toolTip().isEmpty()) << "panel " << id << ": \"" << name << "\" was cut";
      EXPECT_LE(text.right(), window->width()) << "panel " << id << ": \"" << name << "\" leaves the panel";
      for (const QRect& other : texts) {
        EXPECT_FALSE(text.intersects(other)) << "panel " << id << ": \"" << name << "\" runs into another label";
      }
      texts.push_back(text);
    }
    ui.DiscardPanel(panel);
  }
}

TEST_F(QtUiTest, ClicksKeysMenusAndTheCloseBoxBecomeEvents) {
  ShowActive();
  EXPECT_EQ(ui.GetUserEvent(false).type, EventType::None);

  QTest::mouseClick(static_cast<QPushButton*>(ui.Widget(main, p::kMainZoomIn)), Qt::LeftButton);
  UserEvent event = ui.GetUserEvent(false);
  EXPECT_EQ(event.type, EventType::Commit);
  EXPECT_EQ(event.control, p::kMainZoomIn);

  // The start/stop button's key, then the key it is given later.
  QTest::keyClick(ui.Window(main), Qt::Key_O, Qt::ControlModifier);
  event = ui.GetUserEvent(false);
  EXPECT_EQ(event.type, EventType::Commit);
  EXPECT_EQ(event.panel, main);
  EXPECT_EQ(event.control, p::kMainStartStop);
  ui.SetCtrlAttribute(main, p::kMainStartStop, Attr::Shortcut, std::string("F2"));
  QTest::keyClick(ui.Window(main), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(ui.GetUserEvent(false).type, EventType::None);
  QTest::keyClick(ui.Window(main), Qt::Key_F2);
  EXPECT_EQ(ui.GetUserEvent(false).control, p::kMainStartStop);
  // A dimmed button does not answer to its key.
  ui.SetCtrlAttribute(main, p::kMainStartStop, Attr::Dimmed, 1);
  QTest::keyClick(ui.Window(main), Qt::Key_F2);
  EXPECT_EQ(ui.GetUserEvent(false).type, EventType::None);

  // A menu item by its key and by a choice; a dimmed item gives nothing.
  QTest::keyClick(ui.Window(main), Qt::Key_Q, Qt::ControlModifier);
  event = ui.GetUserEvent(false);
  EXPECT_EQ(event.type, EventType::Menu);
  EXPECT_EQ(event.panel, bar);
  EXPECT_EQ(event.control, p::kMenuExit);
  ui.MenuAction(bar, p::kMenuXYGraph)->trigger();
  event = ui.GetUserEvent(false);
  EXPECT_EQ(event.type, EventType::Menu);
  EXPECT_EQ(event.control, p::kMenuXYGraph);
  ui.SetMenuBarAttribute(bar, p::kMenuSaveData, Attr::Dimmed, 1);
  ui.MenuAction(bar, p::kMenuSaveData)->trigger();
  EXPECT_EQ(ui.GetUserEvent(false).type, EventType::None);

  ui.Window(main)->close();
  event = ui.GetUserEvent(false);
  EXPECT_EQ(event.type, EventType::Close);
  EXPECT_EQ(event.panel, main);
  EXPECT_TRUE(ui.Window(main)->isVisible());  // the program decides
}

TEST_F(QtUiTest, MenuChecksBelongToTheProgramNotToTheClick) {
  ui.SetMenuBarAttribute(bar, p::kMenuXYGraph, Attr::Checked, 1);
  QAction* xy = ui.MenuAction(bar, p::kMenuXYGraph);
  EXPECT_TRUE(xy->isChecked());
  xy->trigger();
  EXPECT_TRUE(xy->isChecked());
  EXPECT_EQ(ui.GetUserEvent(false).control, p::kMenuXYGraph);
  const int id = ui.InsertMenuItem(bar, p::kMenuFile, p::kMenuFileSep2, "Diagnostics...", "");
  ASSERT_GT(id, 0);
  ui.MenuAction(bar, id)->trigger();
  EXPECT_EQ(ui.GetUserEvent(false).control, id);
}

TEST_F(QtUiTest, AWaitBlocksInTheEventLoopUntilAnEventComes) {
  ShowActive();
  QTimer::singleShot(50, [this] { ui.MenuAction(bar, p::kMenuAbout)->trigger(); });
  const UserEvent event = ui.GetUserEvent(true);
  EXPECT_EQ(event.type, EventType::Menu);
  EXPECT_EQ(event.control, p::kMenuAbout);
}

TEST_F(QtUiTest, ALineReachesEachOfTheSixGraphs) {
  ShowActive();
  Session session;
  std::unique_ptr<Display> display;
  ASSERT_EQ(Display::New(display, main, session), status::kOk);
  ASSERT_EQ(display->Attach(test::NineWavelengthSource(dir.File("nerit.dev"))), status::kOk);
  std::vector<double> values(18, 0.2);
  for (int i = 9; i < 18; ++i) values[static_cast<std::size_t>(i)] = 0.5;
  const std::array<std::pair<int, int>, 6> graphs = {{{graph_type::kXY, p::kMainXYGraph},
                                                      {graph_type::kTemp, p::kMainTempGraph},
                                                      {graph_type::kDepth, p::kMainDepthGraph},
                                                      {graph_type::kSpect, p::kMainSpectGraph},
                                                      {graph_type::kSpect2, p::kMainSpect2Graph},
                                                      {graph_type::kStrip, p::kMainStripChart}}};
  for (const auto& [type, control] : graphs) {
    display->ShowGraph(type);
    ASSERT_EQ(display->InitPlot(), status::kOk);
    ASSERT_EQ(session.Publish(test::Line(values, 0, 20.0, 1.0)), status::kOk);
    ASSERT_EQ(session.Publish(test::Line(values, 200, 20.5, 1.5)), status::kOk);
    EXPECT_TRUE(ui.Widget(main, control)->isVisible()) << type;
    if (type == graph_type::kStrip) {
      StripWidget* strip = ui.Strip(main, control);
      EXPECT_EQ(strip->traceCount(), 18);
      EXPECT_EQ(strip->Points().size(), 36u);
      continue;
    }
    GraphWidget* graph = ui.Graph(main, control);
    const std::vector<PlotState> plots = graph->Plots();
    if (type == graph_type::kSpect2) {
      ASSERT_EQ(plots.size(), 2u);
      EXPECT_EQ(plots[0].x.size(), 9u);
      EXPECT_EQ(plots[1].attributes.color, 0x0000FF);
      EXPECT_EQ(graph->plottableCount(), 2);
    } else if (type == graph_type::kSpect) {
      EXPECT_EQ(plots.size(), 18u);
      EXPECT_NE(dynamic_cast<QCPBars*>(graph->plottable(0)), nullptr);
    } else {
      // One plot per trace, its first segment of length zero.
      ASSERT_EQ(plots.size(), 18u) << type;
      EXPECT_EQ(plots[0].x, (std::vector<double>{0.2, 0.2, 0.2}));
      EXPECT_EQ(graph->plottableCount(), 18);
    }
  }
  // The depth axis grows downwards.
  EXPECT_TRUE(ui.Graph(main, p::kMainDepthGraph)->yAxis->rangeReversed());
}

TEST_F(QtUiTest, RedrawsAreCoalescedHoweverManyLinesArrive) {
  ShowActive();
  GraphWidget* graph = ui.Graph(main, p::kMainXYGraph);
  ui.SetCtrlAttribute(main, p::kMainXYGraph, Attr::Visible, 1);
  ui.GetUserEvent(false);
  QTest::qWait(50);
  const int before = graph->replotCount();
  const PlotAttributes style{PlotStyle::ThinLine, PointStyle::SimpleDot, LineStyle::Solid, 0, 0xFF0000};
  // A trace of a run, growing a point at a time.
  RunHistory run;
  run.Clear(1);
  ui.PlotCurve(main, p::kMainXYGraph, run.TraceCurve(0, RunHistory::Keys::Minutes), CurveKeys::OnY, style);
  for (int i = 0; i < 1000; ++i) {
    const double value[1] = {0.001 * (i + 1)};
    run.Add(60 * (i + 1), 20.0, 0.0, value);
    ui.CurvesChanged(main, p::kMainXYGraph);
  }
  EXPECT_EQ(graph->plottableCount(), 1);
  EXPECT_EQ(graph->replotCount(), before);  // nothing drawn until events are processed
  QTest::qWait(100);
  EXPECT_GE(graph->replotCount(), before + 1);
  EXPECT_LE(graph->replotCount(), before + 2);

  // A hidden graph does not draw; it draws when shown.
  ui.SetCtrlAttribute(main, p::kMainXYGraph, Attr::Visible, 0);
  const int hidden = graph->replotCount();
  const double x[2] = {1.0, 2.0};
  ui.PlotXY(main, p::kMainXYGraph, x, x, style);
  QTest::qWait(50);
  EXPECT_EQ(graph->replotCount(), hidden);
  ui.SetCtrlAttribute(main, p::kMainXYGraph, Attr::Visible, 1);
  QTest::qWait(50);
  EXPECT_EQ(graph->replotCount(), hidden + 1);
}

// A trace against time (rising Y) keeps what the run's bounded history
// keeps, and is drawn by the canvas; a profile (Y back and forth) is drawn
// as a line through the same bounded points. Either way the newest stays.
TEST_F(QtUiTest, APlotKeepsABoundedNumberOfPointsDroppingTheOldest) {
  constexpr std::size_t kBound = 100000;
  const int total = static_cast<int>(kBound + kBound / 8);
  RunHistory run(2 * kBound, kBound);
  run.Clear(1);
  for (int color : {0x00FF00, 0x0000FF}) {
    const PlotAttributes style{PlotStyle::ThinLine, PointStyle::SimpleDot, LineStyle::Solid, 0, color};
    const bool zigzag = color == 0x0000FF;
    ui.PlotCurve(main, p::kMainXYGraph,
                 run.TraceCurve(0, zigzag ? RunHistory::Keys::Temperature : RunHistory::Keys::Minutes),
                 CurveKeys::OnY, style);
  }
  for (int i = 0; i <= total; ++i) {
    const double value[1] = {static_cast<double>(i)};
    run.Add(30000LL * i, (i % 2) * 1.0, 0.0, value);
  }
  ui.CurvesChanged(main, p::kMainXYGraph);
  GraphWidget* graph = ui.Graph(main, p::kMainXYGraph);
  ASSERT_EQ(graph->plottableCount(), 2);
  const auto* rising = dynamic_cast<CurvePlottable*>(graph->plottable(0));
  const auto* profile = dynamic_cast<CurvePlottable*>(graph->plottable(1));
  ASSERT_NE(rising, nullptr);
  ASSERT_NE(profile, nullptr);
  EXPECT_TRUE(rising->OnCanvas());    // keyed on rising Y
  EXPECT_FALSE(profile->OnCanvas());  // any order
  const std::vector<PlotState> plots = graph->Plots();
  EXPECT_EQ(plots[0].x.front(), 0.0);  // the run's first point stays
  for (const PlotState& plot : plots) {
    EXPECT_LE(plot.x.size(), kBound);
    EXPECT_GE(plot.x.size(), kBound / 2);
    EXPECT_EQ(plot.x.back(), total);  // the newest stays
    EXPECT_EQ(plot.x[plot.x.size() - 2], total - 1);
  }
}

// A run drawn by the display: the graphs not on show are given nothing and
// draw nothing; one put on show is drawn from the run, each trace one curve
// keyed on its rising time that the run's next segments continue.
TEST_F(QtUiTest, AGraphPutOnShowDuringARunIsDrawnFromItAndHiddenGraphsCostNothing) {
  ShowActive();
  Session session;
  std::unique_ptr<Display> display;
  ASSERT_EQ(Display::New(display, main, session), status::kOk);
  ASSERT_EQ(display->Attach(std::make_unique<test::FakeSource>(dir.File("meter.dev"), std::vector<int>(3, kTraceA))),
            status::kOk);
  display->ShowGraph(graph_type::kXY);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  QTest::qWait(50);
  GraphWidget* xy = ui.Graph(main, p::kMainXYGraph);
  GraphWidget* temp = ui.Graph(main, p::kMainTempGraph);
  StripWidget* strip = ui.Strip(main, p::kMainStripChart);
  const int tempDrawn = temp->replotCount();
  const int stripDrawn = strip->replotCount();
  auto line = [](int k) { return test::Line({0.1 + 0.001 * k, 0.2, 0.3}, 1000 * k, 20.0 - 0.01 * k); };
  for (int k = 0; k < 300; ++k) ASSERT_EQ(session.Publish(line(k)), status::kOk);
  QTest::qWait(100);
  EXPECT_EQ(temp->replotCount(), tempDrawn);
  EXPECT_EQ(strip->replotCount(), stripDrawn);
  EXPECT_EQ(temp->plotCount(), 0u);

  display->ShowGraph(graph_type::kTemp);
  QTest::qWait(50);
  ASSERT_EQ(temp->plotCount(), 3u);
  EXPECT_EQ(temp->Plots()[0].x.size(), 300u);
  EXPECT_DOUBLE_EQ(temp->Plots()[0].y.back(), 20.0 - 0.01 * 299);
  display->ShowGraph(graph_type::kXY);
  for (int k = 300; k < 310; ++k) ASSERT_EQ(session.Publish(line(k)), status::kOk);
  ASSERT_EQ(xy->plotCount(), 3u);
  ASSERT_NE(dynamic_cast<CurvePlottable*>(xy->plottable(0)), nullptr);
  EXPECT_TRUE(static_cast<CurvePlottable*>(xy->plottable(0))->OnCanvas());
  EXPECT_EQ(xy->Plots()[0].x.size(), 310u);
  EXPECT_NEAR(xy->Plots()[0].x.back(), 0.1 + 0.001 * 309, 1e-7);
  // Following: the last five minutes of the run.
  EXPECT_NEAR(xy->yAxis->range().size(), 5.0, 1e-9);
  EXPECT_GT(xy->yAxis->range().upper, 309 / 60.0);
}

TEST_F(QtUiTest, StripChartsScrollOneScreenOfPoints) {
  ui.SetCtrlAttribute(main, p::kMainStripChart, Attr::NumTraces, 2);
  ui.SetCtrlAttribute(main, p::kMainStripChart, Attr::PointsPerScreen, 10);
  for (int i = 0; i < 100; ++i) {
    const double points[2] = {1.0 * i, -1.0 * i};
    ASSERT_EQ(ui.PlotStripChart(main, p::kMainStripChart, points, 2), 0);
  }
  StripWidget* strip = ui.Strip(main, p::kMainStripChart);
  EXPECT_LE(strip->Points().size(), 2u * 14);
  EXPECT_EQ(strip->Points().back(), -99.0);
  EXPECT_DOUBLE_EQ(strip->xAxis->range().upper - strip->xAxis->range().lower, 10.0);
  EXPECT_EQ(ui.SetAxisRange(main, p::kMainStripChart, AxisMode::Manual, 0, 1, AxisMode::Manual, 0, 1),
            ui_status::kBadArgument);
  ASSERT_EQ(ui.SetAxisRange(main, p::kMainStripChart, AxisMode::NoChange, 0, 0, AxisMode::Manual, -5,
                            5),
            0);
  EXPECT_EQ(strip->yAxis->range().upper, 5.0);
}

TEST_F(QtUiTest, PanelStateRoundTrips) {
  ui.SetCtrlVal(main, p::kMainTitle, std::string("RUN.DAT: Nerit  (0400012D)"));
  ui.SetCtrlVal(main, p::kMainLabel0 + 19, 1);
  ui.SetCtrlAttribute(main, p::kMainLabel0 + 19, Attr::LabelText, std::string("a412"));
  const PlotAttributes style{PlotStyle::ConnectedPoints, PointStyle::SmallSolidSquare,
                             LineStyle::Solid, 1, 0xFF0000};
  const double x[3] = {412, 440, 488};
  const double y[3] = {0.25, 0.125, 1.0 / 3.0};
  ui.PlotXY(main, p::kMainSpect2Graph, x, y, style);
  ui.SetAxisRange(main, p::kMainSpect2Graph, AxisMode::Manual, 410, 720, AxisMode::Manual, -1, 2);
  const std::string path = dir.File("state.gph");
  ASSERT_EQ(ui.SavePanelState(main, path, 0), 0);

  const int other = ui.LoadPanel(0, p::kMain);
  ASSERT_EQ(ui.RecallPanelState(other, path, 0), 0);
  EXPECT_EQ(ui.GetCtrlText(other, p::kMainTitle), "RUN.DAT: Nerit  (0400012D)");
  EXPECT_EQ(ui.GetCtrlInt(other, p::kMainLabel0 + 19), 1);
  EXPECT_EQ(static_cast<QPushButton*>(ui.Widget(other, p::kMainLabel0 + 19))->text(), "a412");
  const std::vector<PlotState> plots = ui.Graph(other, p::kMainSpect2Graph)->Plots();
  ASSERT_EQ(plots.size(), 1u);
  EXPECT_EQ(plots[0].y[2], 1.0 / 3.0);
  EXPECT_EQ(plots[0].attributes, style);
  AxisMode xm, ym;
  double x0, x1, y0, y1;
  ui.GetAxisRange(other, p::kMainSpect2Graph, xm, x0, x1, ym, y0, y1);
  EXPECT_EQ(x1, 720.0);
  EXPECT_EQ(y0, -1.0);
}

TEST_F(QtUiTest, PrintingToPdfAndPicturesOfAGraph) {
  ShowActive();
  const double x[2] = {0.0, 1.0};
  ui.PlotXY(main, p::kMainXYGraph, x, x,
            PlotAttributes{PlotStyle::ThinLine, PointStyle::SimpleDot, LineStyle::Solid, 0, 0});
  PrintRequest request;
  request.pdfPath = dir.File("panel.pdf");
  ASSERT_EQ(ui.PrintPanel(main, request), 0);
  EXPECT_EQ(Head(request.pdfPath, 5), "%PDF-");
  ASSERT_EQ(ui.SaveGraphImage(main, p::kMainXYGraph, dir.File("graph.png")), 0);
  EXPECT_EQ(Head(dir.File("graph.png"), 4), "\x89PNG");
  ASSERT_EQ(ui.SaveGraphImage(main, p::kMainXYGraph, dir.File("graph.PDF")), 0);
  EXPECT_EQ(Head(dir.File("graph.PDF"), 5), "%PDF-");
  EXPECT_EQ(ui.SaveGraphImage(main, p::kMainXYGraph, dir.File("no/such/dir/g.png")),
            ui_status::kFileError);
}

TEST_F(QtUiTest, NumbersKeepTheirDecimalPointUnderAnyDesktopLanguage) {
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", 2.5);
  EXPECT_STREQ(text, "2.5");
}

TEST_F(QtUiTest, ValuesAndAttributesOfControls) {
  const int dialog = ui.LoadPanel(0, p::kGraphSettings);
  ui.SetCtrlVal(dialog, p::kGsXMax, 8.5);
  ui.SetCtrlVal(dialog, p::kGsXAuto, 1);
  ui.SetCtrlVal(dialog, p::kGsXDivisions, 4);
  EXPECT_EQ(ui.GetCtrlDouble(dialog, p::kGsXMax), 8.5);
  EXPECT_EQ(ui.GetCtrlInt(dialog, p::kGsXAuto), 1);
  EXPECT_EQ(ui.GetCtrlInt(dialog, p::kGsXDivisions), 4);
  EXPECT_EQ(ui.SetCtrlVal(dialog, p::kGsXDivisions, std::string("x")), ui_status::kBadArgument);
  ui.SetCtrlAttribute(dialog, p::kGsXMin, Attr::Dimmed, 1);
  EXPECT_FALSE(ui.Widget(dialog, p::kGsXMin)->isEnabled());
  // Values set by the program are no user events.
  EXPECT_EQ(ui.GetUserEvent(false).type, EventType::None);
  EXPECT_EQ(ui.DiscardPanel(dialog), 0);
  EXPECT_EQ(ui.Window(dialog), nullptr);
  EXPECT_EQ(ui.SetCtrlVal(dialog, p::kGsXMax, 1.0), ui_status::kBadPanel);

  // A child panel lives inside its parent.
  const int busy = ui.LoadPanel(main, p::kBusy);
  ASSERT_GT(busy, 0);
  EXPECT_EQ(ui.Window(busy)->parentWidget()->window(), ui.Window(main));
  ui.DiscardPanel(main);
  EXPECT_EQ(ui.Window(busy), nullptr);
}

}  // namespace
}  // namespace sondrix::platform::qt
