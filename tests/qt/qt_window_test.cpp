// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on the Qt backend as a field laptop shows it: sizes of
// small screens with every control in reach, the title, the keyboard (menu
// letters, F10, Tab through every control of every panel, names for
// assistive technology) and the night palette.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QScrollArea>
#include <QScrollBar>
#include <QDialog>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "app/layout.h"
#include "common/panels.h"
#include "common/text_format.h"
#include "common/utils.h"
#include "display/color_scheme.h"
#include "platform/qt/qt_plot.h"
#include "platform/qt/qt_ui.h"
#include "platform/uir.h"
#include "support/fixtures.h"

namespace sondrix::platform::qt {
namespace {

namespace p = panels;

class QtWindowTest : public ::testing::Test {
 protected:
  QtWindowTest() : home_("SONDRIX_HOME", dir.path()), scoped_(ui) {
    main = ui.LoadPanel(0, p::kMain);
    bar = ui.GetPanelMenuBar(main);
  }

  void ShowActive() {
    ui.DisplayPanel(main);
    QWidget* window = ui.Window(main);
    QApplication::setActiveWindow(window);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  }

  // The window resized as the window system would (menu bar included), the
  // layout following as the program's loops make it.
  void ResizeWindow(MainLayout& layout, int width, int height) {
    ui.Window(main)->resize(width, height);
    QApplication::processEvents();
    CheckPanelSize(main, layout);
    QApplication::processEvents();
  }

  QScrollArea* Scroll() { return ui.Window(main)->findChild<QScrollArea*>(); }

  const PanelSpec& Spec(int resource) {
    static const UirFile file = [] {
      std::string error;
      return LoadUir(UirPath(), error).value_or(UirFile{});
    }();
    return *file.FindPanel(resource);
  }

  test::TempDir dir;
  test::ScopedEnv home_;
  QtUi ui;
  ScopedUi scoped_;
  int main = 0;
  int bar = 0;
};

// A laptop's 1366 x 768 and a 1920 x 1080 screen at 150 % (1280 x 720
// device-independent pixels): every control of the main panel inside the
// window, nothing to scroll. A window far smaller scrolls, and every
// control is still on the scrolled content.
TEST_F(QtWindowTest, TheMainWindowFitsSmallScreensWithEveryControlInReach) {
  MainLayout layout = RecordMainLayout(main);
  LimitPanelSize(main, layout);
  ui.DisplayPanel(main);
  QWidget* window = ui.Window(main);
  // Much smaller than the resource file's layout is allowed (a frame and
  // a desktop bar come on top of the window).
  EXPECT_LT(window->minimumSize().width(), 1366 - 20);
  EXPECT_LT(window->minimumSize().height(), 768 - 80);

  const PanelSpec& spec = Spec(p::kMain);
  for (const QSize screen : {QSize(1366, 768 - 60), QSize(1366, 768), QSize(1280, 720 - 60), QSize(1280, 720)}) {
    SCOPED_TRACE(std::to_string(screen.width()) + " x " + std::to_string(screen.height()));
    ResizeWindow(layout, screen.width(), screen.height());
    EXPECT_EQ(window->size(), screen);
    QScrollArea* scroll = Scroll();
    ASSERT_NE(scroll, nullptr);
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
    const QRect visible(QPoint(0, 0), scroll->viewport()->size());
    for (const ControlSpec& c : spec.controls) {
      QWidget* widget = ui.Widget(main, c.id);
      ASSERT_NE(widget, nullptr) << c.name;
      EXPECT_TRUE(visible.contains(widget->geometry())) << c.name;
    }
    // The graph took the room; the start button is on screen.
    EXPECT_GT(ui.Widget(main, p::kMainXYGraph)->height(), 300);
  }

  ResizeWindow(layout, 560, 380);
  QScrollArea* scroll = Scroll();
  EXPECT_TRUE(scroll->horizontalScrollBar()->isVisible() || scroll->verticalScrollBar()->isVisible());
  const QRect content(QPoint(0, 0), scroll->widget()->size());
  for (const ControlSpec& c : spec.controls)
    EXPECT_TRUE(content.contains(ui.Widget(main, c.id)->geometry())) << c.name;
  // Scrolled to, the start button comes into view.
  QWidget* start = ui.Widget(main, p::kMainStartStop);
  scroll->ensureWidgetVisible(start);
  QApplication::processEvents();
  const QRect inView(start->mapTo(scroll->viewport(), QPoint(0, 0)), start->size());
  EXPECT_TRUE(QRect(QPoint(0, 0), scroll->viewport()->size()).contains(inView));
}

TEST_F(QtWindowTest, TheTitleIsShownAsTheProgramSetsIt) {
  for (const std::string title : {"Sondrix", "*Sondrix \u2014 run[*]1.dat", "Sondrix \u2014 a.dev (COM1) \u2014 running"}) {
    ASSERT_EQ(ui.SetPanelAttribute(main, Attr::Title, title), 0);
    CtrlValue back;
    ASSERT_EQ(ui.GetPanelAttribute(main, Attr::Title, back), 0);
    EXPECT_EQ(std::get<std::string>(back), title);
    ui.DisplayPanel(main);
    QApplication::processEvents();
    // What the window system is given: the text as it is, "[*]" and "*"
    // included.
    EXPECT_EQ(ui.Window(main)->windowHandle()->title().toStdString(), title);
  }
}

// Every menu of the menu bar has its letter, no two menus (and no two items
// of a menu) the same; Alt with the letter opens the menu, F10 the first.
TEST_F(QtWindowTest, MenusHaveLettersAltOpensThemAndF10TheFirst) {
  QMenuBar* menuBar = ui.Window(main)->findChild<QMenuBar*>();
  ASSERT_NE(menuBar, nullptr);
  auto letter = [](const QString& text) {
    const int amp = static_cast<int>(text.indexOf('&'));
    return amp >= 0 && amp + 1 < text.size() ? text.at(amp + 1).toLower() : QChar();
  };
  std::set<QChar> tops;
  int menus = 0;
  for (QAction* top : menuBar->actions()) {
    const QChar key = letter(top->text());
    EXPECT_TRUE(key.isLetter()) << top->text().toStdString();
    EXPECT_TRUE(tops.insert(key).second) << top->text().toStdString();
    ++menus;
    std::set<QChar> items;
    for (QAction* item : top->menu()->actions()) {
      if (item->isSeparator()) continue;
      const QChar k = letter(item->text());
      EXPECT_TRUE(k.isLetterOrNumber()) << item->text().toStdString();
      EXPECT_TRUE(items.insert(k).second) << item->text().toStdString();
    }
  }
  EXPECT_EQ(menus, 5);

  ShowActive();
  QWidget* window = ui.Window(main);
  // Closes whatever menu is open and gives the window the keyboard again.
  auto closeMenus = [&] {
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activePopupWidget() == nullptr; }, 3000));
    QApplication::setActiveWindow(window);
    window->activateWindow();
    QApplication::processEvents();
  };
  QMenu* file = menuBar->actions().front()->menu();
  QMenu* display = menuBar->actions().at(1)->menu();
  QTest::keyClick(window, Qt::Key_F, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return file->isVisible(); }, 3000));
  closeMenus();
  QTest::keyClick(window, Qt::Key_D, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return display->isVisible(); }, 3000));
  EXPECT_FALSE(file->isVisible());
  // A letter of an item chooses it: Alt+D, N is the night palette.
  while (ui.GetUserEvent(false).type != EventType::None) {
  }
  QTest::keyClick(display, Qt::Key_N);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ui.pendingEvents() == 1; }, 3000));
  const UserEvent chosen = ui.GetUserEvent(false);
  EXPECT_EQ(chosen.type, EventType::Menu);
  EXPECT_EQ(chosen.control, p::kMenuNightPalette);
  closeMenus();

  QTest::keyClick(window, Qt::Key_F10);
  EXPECT_TRUE(QTest::qWaitFor([&] { return file->isVisible(); }, 3000));
  EXPECT_EQ(menuBar->activeAction(), menuBar->actions().front());
  closeMenus();
}

// Every control of every panel: a name for assistive technology, and the
// keyboard reaches whatever can be operated. On the main panel and a
// dialog, Tab goes through every operable control shown.
TEST_F(QtWindowTest, EveryControlHasANameAndTabReachesEveryOperableOne) {
  std::string error;
  const UirFile file = LoadUir(UirPath(), error).value_or(UirFile{});
  ASSERT_FALSE(file.panels.empty()) << error;
  int checked = 0;
  for (const PanelSpec& spec : file.panels) {
    const int panel = spec.id == p::kMain ? main : ui.LoadPanel(0, spec.id);
    ASSERT_GT(panel, 0) << spec.name;
    for (const ControlSpec& c : spec.controls) {
      QWidget* widget = ui.Widget(panel, c.id);
      ASSERT_NE(widget, nullptr) << spec.name << "." << c.name;
      const bool readOut = (c.type == CtrlType::TextMsg && c.mode != CtrlMode::Hot) || c.type == CtrlType::Led;
      const bool display =
          c.type == CtrlType::Graph || c.type == CtrlType::StripChart || c.type == CtrlType::Progress;
      if (c.type == CtrlType::Decoration) continue;
      if (readOut) {
        // Read out by its text, described by its role.
        EXPECT_FALSE(widget->accessibleDescription().isEmpty()) << spec.name << "." << c.name;
        continue;
      }
      EXPECT_FALSE(widget->accessibleName().isEmpty()) << spec.name << "." << c.name;
      QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
      ASSERT_NE(accessible, nullptr);
      EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << spec.name << "." << c.name;
      if (!display) {
        EXPECT_TRUE(widget->focusPolicy() & Qt::TabFocus) << spec.name << "." << c.name;
        ++checked;
      }
    }
    if (panel != main) ui.DiscardPanel(panel);
  }
  EXPECT_GT(checked, 60);

  // A trace label named after the trace it shows.
  ui.SetCtrlAttribute(main, p::kMainLabel0 + 3, Attr::LabelText, std::string("c412"));
  EXPECT_EQ(ui.Widget(main, p::kMainLabel0 + 3)->accessibleName().toStdString(), "c412");
  EXPECT_EQ(ui.Widget(main, p::kMainXYGraph)->accessibleName().toStdString(), "XY graph");

  // Tab round the main panel with every control shown.
  for (const ControlSpec& c : Spec(p::kMain).controls) ui.SetCtrlAttribute(main, c.id, Attr::Visible, 1);
  ShowActive();
  std::set<QWidget*> operable;
  for (const ControlSpec& c : Spec(p::kMain).controls) {
    QWidget* widget = ui.Widget(main, c.id);
    if (widget->focusPolicy() & Qt::TabFocus) operable.insert(widget);
  }
  std::set<QWidget*> reached;
  for (int presses = 0; presses < 200 && reached.size() < operable.size(); ++presses) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr ? focus : ui.Window(main), Qt::Key_Tab);
    if (QApplication::focusWidget() != nullptr) reached.insert(QApplication::focusWidget());
  }
  for (QWidget* widget : operable)
    EXPECT_TRUE(reached.contains(widget)) << widget->accessibleName().toStdString();
  // The hot text is pressed with the space bar once Tab reached it.
  QWidget* hot = ui.Widget(main, p::kMainDiagnostics);
  hot->setFocus(Qt::TabFocusReason);
  while (ui.GetUserEvent(false).type != EventType::None) {
  }
  QTest::keyClick(hot, Qt::Key_Space);
  const UserEvent pressed = ui.GetUserEvent(false);
  EXPECT_EQ(pressed.type, EventType::Commit);
  EXPECT_EQ(pressed.control, p::kMainDiagnostics);
}

// A read-out never changes the window's size: whatever text the program
// writes (a position lost for an hour, a title longer than the window),
// each keeps its place and its lines, a text too long is cut with an
// ellipsis and is whole in its tooltip, and a second line of its own (the
// place under the position's state) keeps its line whole.
TEST_F(QtWindowTest, ReadOutsKeepTheirSizeAndTheWindowKeepsItsOwn) {
  MainLayout layout = RecordMainLayout(main);
  LimitPanelSize(main, layout);
  ui.DisplayPanel(main);
  ResizeWindow(layout, 1024, 600 - 40);
  QWidget* window = ui.Window(main);
  const QSize windowSize = window->size();
  const QSize contentSize = Scroll()->widget()->size();
  const std::string place = "(33.84973\u00b0 S 151.27056\u00b0 E)";
  std::vector<std::pair<int, std::string>> texts;
  for (const long age : {9L, 10L, 99L, 100L, 3600L, 86400L})
    texts.emplace_back(p::kMainPosition, Format("Position lost: last fix %ld s ago (receiver went away)\n", age) + place);
  const std::string longText =
      "NERIT-9WL.DEV: Nerit nine-wavelength meter 301 on the profiling frame of the research vessel  (0400012D)";
  for (const ControlSpec& c : Spec(p::kMain).controls)
    if (c.type == CtrlType::TextMsg) texts.emplace_back(c.id, longText);
  std::map<int, QRect> places;
  for (const ControlSpec& c : Spec(p::kMain).controls) ui.SetCtrlAttribute(main, c.id, Attr::Visible, 1);
  QApplication::processEvents();
  for (const ControlSpec& c : Spec(p::kMain).controls) places[c.id] = ui.Widget(main, c.id)->geometry();

  for (const auto& [id, text] : texts) {
    SCOPED_TRACE(std::to_string(id) + ": " + text);
    ASSERT_EQ(ui.SetCtrlVal(main, id, text), 0);
    QApplication::processEvents();
    CheckPanelSize(main, layout);
    EXPECT_EQ(window->size(), windowSize);
    EXPECT_EQ(Scroll()->widget()->size(), contentSize);
    auto* label = qobject_cast<QLabel*>(ui.Widget(main, id));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->geometry(), places[id]);
    // What it shows fits its lines; what it cut is in the tooltip.
    const QFontMetrics metrics(label->font());
    const QStringList lines = label->text().split('\n');
    EXPECT_LE(static_cast<int>(lines.size()) * metrics.lineSpacing() - metrics.leading(), label->contentsRect().height());
    for (const QString& line : lines) EXPECT_LE(metrics.horizontalAdvance(line), label->contentsRect().width()) << line.toStdString();
    const bool whole = label->text() == QString::fromStdString(text);
    EXPECT_EQ(label->toolTip(), whole ? QString() : QString::fromStdString(text));
    if (!whole) {
      EXPECT_TRUE(label->text().contains(QChar(0x2026)));
    }
    if (id == p::kMainPosition && text.starts_with("Position")) {
      ASSERT_EQ(lines.size(), 2);
      EXPECT_EQ(lines[1], QString::fromStdString(place));  // the hemispheres kept
      EXPECT_TRUE(lines[0].startsWith("Position lost"));
    }
  }
  // Nothing moved, and the title stays clear of the date beside it.
  for (const ControlSpec& c : Spec(p::kMain).controls) EXPECT_EQ(ui.Widget(main, c.id)->geometry(), places[c.id]) << c.name;
  EXPECT_LT(ui.Widget(main, p::kMainTitle)->geometry().right(), ui.Widget(main, p::kMainDate)->geometry().left());
  // A text that fits shows whole again, without a tooltip.
  ASSERT_EQ(ui.SetCtrlVal(main, p::kMainPosition, "No position fix yet\n(COM2)"), 0);
  EXPECT_EQ(qobject_cast<QLabel*>(ui.Widget(main, p::kMainPosition))->text().toStdString(), "No position fix yet\n(COM2)");
  EXPECT_TRUE(ui.Widget(main, p::kMainPosition)->toolTip().isEmpty());
}

// Every dialog of the program comes up centred over the main window (or
// over the dialog it was opened from), not in a corner of the screen.
TEST_F(QtWindowTest, DialogsComeUpCentredOverTheMainWindow) {
  ui.DisplayPanel(main);
  QWidget* window = ui.Window(main);
  // Within the offscreen platform's screen, away from its corner.
  window->setGeometry(80, 60, 640, 440);
  QApplication::processEvents();
  const QPoint centre = window->frameGeometry().center();
  auto near = [](QPoint a, QPoint b) { return (a - b).manhattanLength() <= 4; };

  const int position = ui.LoadPanel(0, p::kPosition);
  ASSERT_EQ(ui.InstallPopup(position), 0);
  QApplication::processEvents();
  EXPECT_TRUE(near(ui.Window(position)->frameGeometry().center(), centre))
      << ui.Window(position)->frameGeometry().center().x() << "," << ui.Window(position)->frameGeometry().center().y();

  // A message and a file dialog of the program, over the dialog on top.
  const QPoint over = ui.Window(position)->frameGeometry().center();
  std::vector<QPoint> seen;
  auto look = [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || dialog == ui.Window(position)) return false;
    seen.push_back(dialog->frameGeometry().center());
    qobject_cast<QDialog*>(dialog)->reject();
    return true;
  };
  std::function<void()> poll = [&] {
    if (!look()) QTimer::singleShot(20, poll);
  };
  QTimer::singleShot(0, poll);
  const std::array<std::string, 1> ok = {"OK"};
  ui.GenericMessagePopup("Export data", "12 samples exported.", ok);
  QTimer::singleShot(0, poll);
  std::string path;
  FileSelectRequest request;
  request.directory = dir.path();
  request.defaultSpec = "*.dat";
  request.title = "Open data file:";
  ui.FileSelectPopup(request, path);
  ASSERT_EQ(seen.size(), 2u);
  for (const QPoint& at : seen) EXPECT_TRUE(near(at, over)) << at.x() << "," << at.y();
  ui.RemovePopup(0);
  ui.DiscardPanel(position);
}

// The night palette: the application's palette and the graphs go dark and
// red, every trace keeps its contrast on them, and the day comes back as
// the desktop had it.
TEST_F(QtWindowTest, TheNightPaletteDarkensTheWindowAndTheGraphs) {
  const QPalette day = QApplication::palette();
  // The program wears the day scheme from its start.
  ASSERT_EQ(ui.SetColorScheme(SchemeLook(ColorScheme::Day)), 0);
  const int graph = p::kMainXYGraph;
  ui.SetCtrlAttribute(main, graph, Attr::Visible, 1);
  const int yellow = static_cast<int>(VantorColorToRGB(100));
  const std::array<double, 2> xs = {0.1, 0.2}, ys = {1.0, 2.0};
  ASSERT_GT(ui.PlotXY(main, graph, xs, ys, PlotAttributes{.color = yellow}), 0);
  GraphWidget* plot = ui.Graph(main, graph);
  auto rgb = [](const QColor& c) { return static_cast<int>(c.rgb() & 0xFFFFFFu); };
  auto traceRgb = [&] { return rgb(plot->plottable(0)->pen().color()); };
  auto backgroundRgb = [&] { return rgb(plot->grab().toImage().pixelColor(3, 3)); };
  ui.DisplayPanel(main);
  QApplication::processEvents();

  // By day: on white, the yellow trace darkened to a line one can see.
  EXPECT_EQ(backgroundRgb(), 0xFFFFFF);
  EXPECT_GE(ContrastRatio(traceRgb(), 0xFFFFFF), kMinTraceContrast);
  EXPECT_LT(ContrastRatio(yellow, 0xFFFFFF), 1.2);

  ASSERT_EQ(ui.SetColorScheme(SchemeLook(ColorScheme::Night)), 0);
  EXPECT_EQ(ui.GetColorScheme(), ColorScheme::Night);
  const SchemeColors& night = ColorsOf(ColorScheme::Night);
  const QPalette dark = QApplication::palette();
  EXPECT_EQ(rgb(dark.color(QPalette::Window)), night.window);
  EXPECT_EQ(rgb(dark.color(QPalette::WindowText)), night.windowText);
  QApplication::processEvents();
  EXPECT_EQ(rgb(ui.Window(main)->palette().color(QPalette::Window)), night.window);
  const int ground = backgroundRgb();
  EXPECT_EQ(ground, night.graphBackground);
  EXPECT_GE(ContrastRatio(traceRgb(), ground), kMinTraceContrast);
  EXPECT_LE(ContrastRatio(traceRgb(), ground), kMaxNightTraceContrast + 1e-9);
  // A trace drawn later comes in the night's colours too, as does a label.
  ASSERT_GT(ui.PlotXY(main, graph, xs, ys, PlotAttributes{.color = 0x000080}), 0);
  EXPECT_GE(ContrastRatio(rgb(plot->plottable(1)->pen().color()), ground), kMinTraceContrast);
  ui.SetCtrlAttribute(main, p::kMainLabel0, Attr::TextColor, yellow);
  EXPECT_NE(ui.Widget(main, p::kMainLabel0)->styleSheet().indexOf("color: #"), -1);
  // The strip chart as well.
  ui.SetTraceAttribute(main, p::kMainStripChart, 0, Attr::TraceColor, 0x0000FF);
  const int strip = rgb(ui.Strip(main, p::kMainStripChart)->plottable(0)->pen().color());
  EXPECT_GE(ContrastRatio(strip, night.graphBackground), kMinTraceContrast);
  EXPECT_EQ(ui.Strip(main, p::kMainStripChart)->TraceColor(0), 0x0000FF);

  ASSERT_EQ(ui.SetColorScheme(SchemeLook(ColorScheme::Day)), 0);
  EXPECT_EQ(QApplication::palette(), day);
  QApplication::processEvents();
  EXPECT_EQ(backgroundRgb(), 0xFFFFFF);
  EXPECT_EQ(traceRgb(), TraceColorOn(ColorScheme::Day, yellow));
  // What a saved graph keeps is the colour as plotted, not as shown.
  EXPECT_EQ(plot->Plots().front().attributes.color, yellow);
}

// At night, a picture asked for in the day's colours comes out on white
// with the day's trace colours; the graph on the screen stays dark, and a
// print leaves the window in the night's palette.
TEST_F(QtWindowTest, PicturesWearTheColoursTheyAskForNotTheWindows) {
  const int graph = p::kMainXYGraph;
  ui.SetCtrlAttribute(main, graph, Attr::Visible, 1);
  const int blue = 0x0000FF;
  const std::array<double, 3> xs = {0.0, 1.0, 2.0}, ys = {0.0, 1.0, 2.0};
  ASSERT_GT(ui.PlotXY(main, graph, xs, ys, PlotAttributes{.color = blue}), 0);
  ui.DisplayPanel(main);
  ASSERT_EQ(ui.SetColorScheme(SchemeLook(ColorScheme::Night)), 0);
  QApplication::processEvents();
  const SchemeColors& night = ColorsOf(ColorScheme::Night);
  GraphWidget* plot = ui.Graph(main, graph);
  auto rgb = [](const QColor& c) { return static_cast<int>(c.rgb() & 0xFFFFFFu); };
  auto colours = [&](const QImage& image) {
    std::set<int> seen;
    for (int y = 0; y < image.height(); y += 2)
      for (int x = 0; x < image.width(); x += 2) seen.insert(rgb(image.pixelColor(x, y)));
    return seen;
  };

  const std::string path = dir.File("day.png");
  GraphPicture picture;
  picture.title = "Test";
  picture.look = SchemeLook(ColorScheme::Day);
  ASSERT_EQ(ui.ExportGraphImage(main, graph, path, picture), 0);
  const std::set<int> day = colours(QImage(QString::fromStdString(path)));
  EXPECT_FALSE(day.contains(night.graphBackground));
  EXPECT_TRUE(day.contains(TraceColorOn(ColorScheme::Day, blue)));
  EXPECT_FALSE(day.contains(TraceColorOn(ColorScheme::Night, blue)));
  // Asked for the night's: the night's background.
  picture.look = SchemeLook(ColorScheme::Night);
  ASSERT_EQ(ui.ExportGraphImage(main, graph, dir.File("night.png"), picture), 0);
  EXPECT_TRUE(colours(QImage(QString::fromStdString(dir.File("night.png")))).contains(night.graphBackground));

  // The screen kept the night.
  plot->ReplotNow();
  EXPECT_EQ(rgb(plot->grab().toImage().pixelColor(3, 3)), night.graphBackground);
  EXPECT_EQ(rgb(plot->plottable(0)->pen().color()), TraceColorOn(ColorScheme::Night, blue));
  PrintRequest print;
  print.pdfPath = dir.File("print.pdf");
  print.look = SchemeLook(ColorScheme::Day);
  ASSERT_EQ(ui.PrintPanel(main, print), 0);
  EXPECT_GT(std::filesystem::file_size(dir.File("print.pdf")), 0u);
  EXPECT_EQ(ui.GetColorScheme(), ColorScheme::Night);
  EXPECT_EQ(rgb(QApplication::palette().color(QPalette::Window)), night.window);
  EXPECT_EQ(rgb(plot->plottable(0)->pen().color()), TraceColorOn(ColorScheme::Night, blue));
}

}  // namespace
}  // namespace sondrix::platform::qt
