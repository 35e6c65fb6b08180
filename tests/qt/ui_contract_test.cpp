// SPDX-License-Identifier: GPL-3.0-or-later
// The user-interface contract: what a caller of the Ui interface relies on,
// run once on each backend (UiContract/Headless.* and UiContract/Qt.*). The
// expected values come from the status codes of ui.h (-4 not a live panel or
// menu bar, -12 a panel that cannot be made, -13 a bad control, item, value,
// index or attribute, -41/-42 state files, -43 a cancelled print) and from
// docs/platform.md, not from either backend: a backend that drifts from the
// other fails here.
//
// What the user does is done the backend's way: the headless one scripts
// it, the Qt one clicks, types and chooses on the widgets (offscreen).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/panels.h"
#include "platform/headless/headless_ui.h"
#include "platform/panel_state.h"
#include "platform/qt/qt_ui.h"
#include "session/run_history.h"
#include "support/fixtures.h"

namespace sondrix::platform {
namespace {

namespace p = panels;
using ui_status::kBadArgument;
using ui_status::kBadPanel;

// What a reading refused with kBadArgument gives.
const CtrlValue kRefused = std::string("status -13");

// --- The two backends, and how a user works each ---------------------------------------

struct Headless {
  static constexpr const char* kName = "Headless";
  HeadlessUi ui;

  int Resource(int panel) const { return ui.Panel(panel)->resourceId; }
  void Press(int panel, int control) { ui.Commit(Resource(panel), control); }
  void CloseBox(int panel) { ui.Close(Resource(panel)); }
  void Choose(int menuBar, int item) { ui.MenuChoice(Resource(ui.MenuBar(menuBar)->panel), item); }
  void Select(int panel, int control, int index) {
    ui.Select(Resource(panel), control, index, EventType::ValueChanged);
  }
  // Types into a control and leaves it (no event).
  void Type(int panel, int control, const CtrlValue& value) {
    ui.Set(Resource(panel), {{control, value}});
    ui.GetUserEvent(false);
  }
  UserEvent Next() { return ui.GetUserEvent(false); }
};

struct Qt {
  static constexpr const char* kName = "Qt";
  qt::QtUi ui;

  void Press(int panel, int control) { qobject_cast<QAbstractButton*>(ui.Widget(panel, control))->click(); }
  void CloseBox(int panel) { ui.Window(panel)->close(); }
  void Choose(int menuBar, int item) { ui.MenuAction(menuBar, item)->trigger(); }
  void Select(int panel, int control, int index) {
    qobject_cast<QListWidget*>(ui.Widget(panel, control))->setCurrentRow(index);
  }
  void Type(int panel, int control, const CtrlValue& value) {
    QWidget* widget = ui.Widget(panel, control);
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) spin->selectAll();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->selectAll();
    const std::string* text = std::get_if<std::string>(&value);
    QTest::keyClicks(widget, QString::fromStdString(text != nullptr ? *text : std::to_string(std::get<int>(value))));
    QApplication::processEvents();
  }
  UserEvent Next() { return ui.GetUserEvent(false); }
};

template <class Backend>
class UiContract : public ::testing::Test {
 protected:
  UiContract() : home_("SONDRIX_HOME", dir.path()), scoped_(backend.ui) {}

  // What a Get... call reads, or "status <n>" when it fails.
  template <class Get>
  static CtrlValue Read(Get get) {
    CtrlValue value = std::string("unread");
    const int status = get(value);
    return status < 0 ? CtrlValue("status " + std::to_string(status)) : value;
  }
  CtrlValue Value(int panel, int control) {
    return Read([&](CtrlValue& v) { return ui.GetCtrlVal(panel, control, v); });
  }
  CtrlValue Attribute(int panel, int control, Attr attr) {
    return Read([&](CtrlValue& v) { return ui.GetCtrlAttribute(panel, control, attr, v); });
  }
  CtrlValue PanelAttribute(int panel, Attr attr) {
    return Read([&](CtrlValue& v) { return ui.GetPanelAttribute(panel, attr, v); });
  }
  CtrlValue MenuAttribute(int bar, int item, Attr attr) {
    return Read([&](CtrlValue& v) { return ui.GetMenuBarAttribute(bar, item, attr, v); });
  }
  static bool Same(const UserEvent& event, EventType type, int panel, int control) {
    return event.type == type && event.panel == panel && event.control == control;
  }

  test::TempDir dir;
  test::ScopedEnv home_;
  Backend backend;
  Ui& ui = backend.ui;
  ScopedUi scoped_;
};

struct BackendNames {
  template <class T>
  static std::string GetName(int) {
    return T::kName;
  }
};

using Backends = ::testing::Types<Headless, Qt>;
TYPED_TEST_SUITE(UiContract, Backends, BackendNames);

// --- Panels ----------------------------------------------------------------------------

TYPED_TEST(UiContract, PanelsHavePositiveHandlesAndBadOnesAreRefused) {
  Ui& ui = this->ui;
  const int main = ui.LoadPanel(0, p::kMain);
  const int port = ui.LoadPanel(0, p::kPort);
  EXPECT_GT(main, 0);
  EXPECT_GT(port, 0);
  EXPECT_NE(main, port);
  // A panel the resource file does not have cannot be made; a parent that
  // is not a live panel is a bad handle, whatever else is wrong.
  EXPECT_EQ(ui.LoadPanel(0, 999), ui_status::kOutOfMemory);
  EXPECT_EQ(ui.LoadPanel(9999, p::kError), kBadPanel);
  EXPECT_EQ(ui.LoadPanel(9999, 999), kBadPanel);
  EXPECT_EQ(ui.DisplayPanel(9999), kBadPanel);
  EXPECT_EQ(ui.HidePanel(9999), kBadPanel);
  EXPECT_EQ(ui.InstallPopup(9999), kBadPanel);
  EXPECT_EQ(ui.UpdatePanel(9999), kBadPanel);
  EXPECT_EQ(ui.GetPanelMenuBar(9999), kBadPanel);
  EXPECT_EQ(ui.SetCtrlVal(9999, p::kPortCancel, 1), kBadPanel);
  int count = 0;
  EXPECT_EQ(ui.GetNumListItems(9999, p::kMcTraceList, count), kBadPanel);
  EXPECT_EQ(ui.PlotStripChart(9999, p::kMainStripChart, {}, 1), kBadPanel);
  // Removing what is no pop-up is harmless.
  EXPECT_EQ(ui.RemovePopup(9999), 0);
  EXPECT_EQ(ui.RemovePopup(port), 0);
  // A control the panel does not have.
  EXPECT_EQ(this->Value(port, 999), kRefused);
}

TYPED_TEST(UiContract, DiscardingAPanelDiscardsItsChildrenItsMenuBarAndItsPopup) {
  Ui& ui = this->ui;
  const int main = ui.LoadPanel(0, p::kMain);
  const int bar = ui.GetPanelMenuBar(main);
  ASSERT_GT(bar, 0);
  const int child = ui.LoadPanel(main, p::kError);
  ASSERT_GT(child, 0);
  ASSERT_EQ(ui.InstallPopup(child), 0);
  EXPECT_EQ(ui.DiscardPanel(main), 0);
  EXPECT_EQ(ui.SetCtrlVal(child, p::kErrorText, std::string("x")), kBadPanel);
  EXPECT_EQ(ui.DisplayPanel(main), kBadPanel);
  EXPECT_EQ(ui.SetMenuBarAttribute(bar, p::kMenuExit, Attr::Dimmed, 1), kBadPanel);
  EXPECT_EQ(this->MenuAttribute(bar, p::kMenuExit, Attr::Dimmed), CtrlValue(std::string("status -4")));
  EXPECT_EQ(ui.DiscardPanel(main), kBadPanel);
  EXPECT_EQ(ui.DiscardPanel(child), kBadPanel);
  EXPECT_EQ(ui.RemovePopup(child), 0);
  // The pop-up went with its panel: another panel's events get through.
  const int port = ui.LoadPanel(0, p::kPort);
  EXPECT_NE(port, main);
  EXPECT_NE(port, child);
  ui.DisplayPanel(port);
  this->backend.Press(port, p::kPortCancel);
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::Commit, port, p::kPortCancel));
}

TYPED_TEST(UiContract, PanelAttributesReadBackAsSet) {
  Ui& ui = this->ui;
  const int port = ui.LoadPanel(0, p::kPort);
  EXPECT_EQ(this->PanelAttribute(port, Attr::Title), CtrlValue(std::string("Choose a source")));
  // A title is shown as it is, "[*]" too.
  ASSERT_EQ(ui.SetPanelAttribute(port, Attr::Title, std::string("run [*].dat")), 0);
  EXPECT_EQ(this->PanelAttribute(port, Attr::Title), CtrlValue(std::string("run [*].dat")));
  EXPECT_EQ(ui.SetPanelAttribute(port, Attr::Title, 5), kBadArgument);
  // Never below the minimum; a minimum above the size grows the panel.
  ASSERT_EQ(ui.SetPanelAttribute(port, Attr::Height, 250), 0);
  EXPECT_EQ(this->PanelAttribute(port, Attr::Height), CtrlValue(250));
  ASSERT_EQ(ui.SetPanelAttribute(port, Attr::MinHeight, 300), 0);
  EXPECT_EQ(this->PanelAttribute(port, Attr::Height), CtrlValue(300));
  ASSERT_EQ(ui.SetPanelAttribute(port, Attr::Height, 100), 0);
  EXPECT_EQ(this->PanelAttribute(port, Attr::Height), CtrlValue(300));
  ASSERT_EQ(ui.SetPanelAttribute(port, Attr::MinHeight, -5), 0);
  EXPECT_EQ(this->PanelAttribute(port, Attr::MinHeight), CtrlValue(0));
  // Visible follows DisplayPanel and HidePanel.
  EXPECT_EQ(this->PanelAttribute(port, Attr::Visible), CtrlValue(0));
  ui.DisplayPanel(port);
  EXPECT_EQ(this->PanelAttribute(port, Attr::Visible), CtrlValue(1));
  ui.HidePanel(port);
  EXPECT_EQ(this->PanelAttribute(port, Attr::Visible), CtrlValue(0));
  // Attributes panels do not have.
  EXPECT_EQ(ui.SetPanelAttribute(port, Attr::TraceColor, 0), kBadArgument);
  EXPECT_EQ(this->PanelAttribute(port, Attr::Dimmed), kRefused);
  EXPECT_EQ(ui.UpdatePanel(port), 0);
  ScreenArea area;
  ASSERT_EQ(ui.GetScreenArea(port, area), 0);
  EXPECT_GT(area.height, 0);
  EXPECT_GT(area.width, 0);
}

// --- Control values ------------------------------------------------------------------------------

TYPED_TEST(UiContract, ValuesKeepTheirControlsKind) {
  Ui& ui = this->ui;
  const int panel = ui.LoadPanel(0, p::kMeterConfig);
  // The resource's defaults.
  EXPECT_EQ(this->Value(panel, p::kMcBaud), CtrlValue(19200));
  EXPECT_EQ(this->Value(panel, p::kMcDepthScale), CtrlValue(1.0));
  EXPECT_EQ(this->Value(panel, p::kMcZeroA), CtrlValue(1));
  EXPECT_EQ(this->Value(panel, p::kMcName), CtrlValue(std::string()));
  EXPECT_EQ(this->Value(panel, p::kMcColor), CtrlValue(0xFF0000));
  // Numbers become the control's kind; a switch is 0 or 1.
  ASSERT_EQ(ui.SetCtrlVal(panel, p::kMcOffset, 2), 0);
  EXPECT_EQ(this->Value(panel, p::kMcOffset), CtrlValue(2.0));
  ASSERT_EQ(ui.SetCtrlVal(panel, p::kMcBaud, 9600.4), 0);
  EXPECT_EQ(this->Value(panel, p::kMcBaud), CtrlValue(9600));
  ASSERT_EQ(ui.SetCtrlVal(panel, p::kMcCalA, 5), 0);
  EXPECT_EQ(this->Value(panel, p::kMcCalA), CtrlValue(1));
  ASSERT_EQ(ui.SetCtrlVal(panel, p::kMcColor, 0x123456), 0);
  EXPECT_EQ(this->Value(panel, p::kMcColor), CtrlValue(0x123456));
  // The wrong kind changes nothing.
  EXPECT_EQ(ui.SetCtrlVal(panel, p::kMcBaud, std::string("fast")), kBadArgument);
  EXPECT_EQ(ui.SetCtrlVal(panel, p::kMcName, 3), kBadArgument);
  EXPECT_EQ(ui.SetCtrlVal(panel, p::kMcBaud, std::numeric_limits<double>::infinity()), kBadArgument);
  EXPECT_EQ(this->Value(panel, p::kMcBaud), CtrlValue(9600));
  // A strip chart has no value.
  EXPECT_EQ(ui.SetCtrlVal(panel, p::kMcPreview, 1), kBadArgument);
  EXPECT_EQ(this->Value(panel, p::kMcPreview), kRefused);
  EXPECT_EQ(ui.SetCtrlVal(panel, 999, 1), kBadArgument);
}

// A double shows `precision` digits, but keeps the value the program wrote:
// an offset read back from an editor the user did not touch is the offset
// that was put there.
TYPED_TEST(UiContract, ADoubleKeepsTheValueWrittenWhateverItShows) {
  Ui& ui = this->ui;
  const int panel = ui.LoadPanel(0, p::kMeterConfig);
  for (const double value : {0.123456789, -1.0e-9, 12345.678901234}) {
    ASSERT_EQ(ui.SetCtrlVal(panel, p::kMcOffset, value), 0);
    EXPECT_EQ(this->Value(panel, p::kMcOffset), CtrlValue(value));
  }
}

TYPED_TEST(UiContract, NumbersStayInTheirRange) {
  Ui& ui = this->ui;
  const int dialog = ui.LoadPanel(0, p::kAcquisition);
  const int config = ui.LoadPanel(0, p::kMeterConfig);
  const int wait = ui.LoadPanel(0, p::kWait);
  // The range given in the resource file, else the type's own.
  EXPECT_EQ(this->Attribute(dialog, p::kAcqBinsize, Attr::MinValue), CtrlValue(1.0));
  EXPECT_EQ(this->Attribute(dialog, p::kAcqBinsize, Attr::MaxValue), CtrlValue(1000000.0));
  EXPECT_EQ(this->Attribute(config, p::kMcBaud, Attr::MinValue), CtrlValue(double{INT_MIN}));
  EXPECT_EQ(this->Attribute(config, p::kMcBaud, Attr::MaxValue), CtrlValue(double{INT_MAX}));
  EXPECT_EQ(this->Attribute(config, p::kMcOffset, Attr::MinValue),
            CtrlValue(std::numeric_limits<double>::lowest()));
  EXPECT_EQ(this->Attribute(config, p::kMcOffset, Attr::MaxValue), CtrlValue(std::numeric_limits<double>::max()));
  EXPECT_EQ(this->Attribute(wait, p::kWaitProgress, Attr::MinValue), CtrlValue(0.0));
  EXPECT_EQ(this->Attribute(wait, p::kWaitProgress, Attr::MaxValue), CtrlValue(100.0));
  // A value beyond the range is brought to its end.
  ASSERT_EQ(ui.SetCtrlVal(dialog, p::kAcqBinsize, 0), 0);
  EXPECT_EQ(this->Value(dialog, p::kAcqBinsize), CtrlValue(1));
  ASSERT_EQ(ui.SetCtrlVal(dialog, p::kAcqBinsize, 2000000), 0);
  EXPECT_EQ(this->Value(dialog, p::kAcqBinsize), CtrlValue(1000000));
  ASSERT_EQ(ui.SetCtrlVal(dialog, p::kAcqFrom, -3.5), 0);
  EXPECT_EQ(this->Value(dialog, p::kAcqFrom), CtrlValue(0.0));
  ASSERT_EQ(ui.SetCtrlVal(wait, p::kWaitProgress, 150), 0);
  EXPECT_EQ(this->Value(wait, p::kWaitProgress), CtrlValue(100));
  // A range that changes takes the value along; the other end follows
  // rather than leave an empty range.
  ASSERT_EQ(ui.SetCtrlAttribute(dialog, p::kAcqBinsize, Attr::MaxValue, 50), 0);
  EXPECT_EQ(this->Value(dialog, p::kAcqBinsize), CtrlValue(50));
  ASSERT_EQ(ui.SetCtrlAttribute(dialog, p::kAcqBinsize, Attr::MinValue, 60.0), 0);
  EXPECT_EQ(this->Attribute(dialog, p::kAcqBinsize, Attr::MaxValue), CtrlValue(60.0));
  EXPECT_EQ(this->Value(dialog, p::kAcqBinsize), CtrlValue(60));
  ASSERT_EQ(ui.SetCtrlAttribute(wait, p::kWaitProgress, Attr::MaxValue, 200), 0);
  ASSERT_EQ(ui.SetCtrlVal(wait, p::kWaitProgress, 150), 0);
  EXPECT_EQ(this->Value(wait, p::kWaitProgress), CtrlValue(150));
  // Only numbers have a range.
  EXPECT_EQ(this->Attribute(config, p::kMcName, Attr::MinValue), kRefused);
  EXPECT_EQ(ui.SetCtrlAttribute(config, p::kMcName, Attr::MinValue, 0.0), kBadArgument);
  EXPECT_EQ(ui.SetCtrlAttribute(config, p::kMcOk, Attr::MaxValue, 1.0), kBadArgument);
  EXPECT_EQ(ui.SetCtrlAttribute(config, p::kMcOffset, Attr::MaxValue, std::string("1")), kBadArgument);
}

TYPED_TEST(UiContract, WhatTheUserTypesIsWhatTheProgramReads) {
  Ui& ui = this->ui;
  const int dialog = ui.LoadPanel(0, p::kAcquisition);
  const int config = ui.LoadPanel(0, p::kMeterConfig);
  ui.DisplayPanel(dialog);
  ui.DisplayPanel(config);
  this->backend.Type(dialog, p::kAcqBinsize, 7);
  EXPECT_EQ(this->Value(dialog, p::kAcqBinsize), CtrlValue(7));
  // A number beyond the range is not taken: the control keeps its value.
  this->backend.Type(dialog, p::kAcqBinsize, 0);
  EXPECT_EQ(this->Value(dialog, p::kAcqBinsize), CtrlValue(7));
  this->backend.Type(config, p::kMcName, std::string("AC-9"));
  EXPECT_EQ(this->Value(config, p::kMcName), CtrlValue(std::string("AC-9")));
}

// A text control keeps at most its maximum length, whoever writes it, and
// never cuts a character in two.
TYPED_TEST(UiContract, ATextKeepsAtMostItsMaximumLength) {
  Ui& ui = this->ui;
  const int panel = ui.LoadPanel(0, p::kMeterConfig);
  ASSERT_EQ(ui.SetCtrlVal(panel, p::kMcName, std::string(70, 'n')), 0);
  EXPECT_EQ(this->Value(panel, p::kMcName), CtrlValue(std::string(63, 'n')));
  const std::string accented = std::string(62, 'a') + "\u00e9b";
  ASSERT_EQ(ui.SetCtrlVal(panel, p::kMcName, accented), 0);
  EXPECT_EQ(this->Value(panel, p::kMcName), CtrlValue(std::string(62, 'a') + "\u00e9"));
  ASSERT_EQ(ui.SetCtrlVal(panel, p::kMcName, std::string("short")), 0);
  EXPECT_EQ(this->Value(panel, p::kMcName), CtrlValue(std::string("short")));
}

// --- Control attributes ---------------------------------------------------------------------------

TYPED_TEST(UiContract, ControlAttributesReadBackAsSet) {
  Ui& ui = this->ui;
  const int panel = ui.LoadPanel(0, p::kMeterConfig);
  EXPECT_EQ(this->Attribute(panel, p::kMcZero, Attr::LabelText), CtrlValue(std::string("Zero offsets")));
  EXPECT_EQ(this->Attribute(panel, p::kMcDevType, Attr::CtrlMode), CtrlValue(1));
  EXPECT_EQ(this->Attribute(panel, p::kMcZero, Attr::BackColor), CtrlValue(-1));
  const std::vector<std::pair<Attr, CtrlValue>> settings = {
      {Attr::LabelText, std::string("Zero all")}, {Attr::Dimmed, 1}, {Attr::Visible, 0},
      {Attr::Top, 41}, {Attr::Left, 17}, {Attr::Width, 130}, {Attr::Height, 31},
      {Attr::TextColor, 0x00A000}, {Attr::BackColor, 0x808080}, {Attr::CtrlMode, 2},
      {Attr::Shortcut, std::string("F5")}};
  for (const auto& [attr, value] : settings) {
    SCOPED_TRACE(static_cast<int>(attr));
    ASSERT_EQ(ui.SetCtrlAttribute(panel, p::kMcZero, attr, value), 0);
    EXPECT_EQ(this->Attribute(panel, p::kMcZero, attr), value);
  }
  // A size is never below 0.
  ASSERT_EQ(ui.SetCtrlAttribute(panel, p::kMcZero, Attr::Height, -5), 0);
  EXPECT_EQ(this->Attribute(panel, p::kMcZero, Attr::Height), CtrlValue(0));
  // Values of the wrong kind, modes that do not exist, attributes controls
  // do not have.
  EXPECT_EQ(ui.SetCtrlAttribute(panel, p::kMcZero, Attr::Dimmed, std::string("yes")), kBadArgument);
  EXPECT_EQ(ui.SetCtrlAttribute(panel, p::kMcZero, Attr::LabelText, 3), kBadArgument);
  EXPECT_EQ(ui.SetCtrlAttribute(panel, p::kMcZero, Attr::CtrlMode, 3), kBadArgument);
  EXPECT_EQ(ui.SetCtrlAttribute(panel, p::kMcZero, Attr::Title, std::string("x")), kBadArgument);
  EXPECT_EQ(this->Attribute(panel, p::kMcZero, Attr::MinHeight), kRefused);
  EXPECT_EQ(ui.SetCtrlAttribute(panel, 999, Attr::Dimmed, 1), kBadArgument);
}

TYPED_TEST(UiContract, GraphAttributesBelongToGraphsAndStripCharts) {
  Ui& ui = this->ui;
  const int main = ui.LoadPanel(0, p::kMain);
  const int graph = p::kMainXYGraph;
  const std::vector<std::pair<Attr, CtrlValue>> settings = {
      {Attr::XName, std::string("Time (s)")}, {Attr::YName, std::string("a (1/m)")}, {Attr::XDivisions, 5},
      {Attr::YDivisions, 4}, {Attr::AutoRefresh, 0}, {Attr::SmoothUpdate, 1}, {Attr::YReverse, 1}};
  for (const auto& [attr, value] : settings) {
    SCOPED_TRACE(static_cast<int>(attr));
    ASSERT_EQ(ui.SetCtrlAttribute(main, graph, attr, value), 0);
    EXPECT_EQ(this->Attribute(main, graph, attr), value);
  }
  // Fewer than one division is automatic (-1).
  ASSERT_EQ(ui.SetCtrlAttribute(main, graph, Attr::XDivisions, 0), 0);
  EXPECT_EQ(this->Attribute(main, graph, Attr::XDivisions), CtrlValue(-1));
  ASSERT_EQ(ui.SetCtrlAttribute(main, p::kMainStripChart, Attr::YName, std::string("c")), 0);
  EXPECT_EQ(this->Attribute(main, p::kMainStripChart, Attr::YName), CtrlValue(std::string("c")));
  // SmoothUpdate is a graph's; trace counts and points a strip chart's.
  EXPECT_EQ(ui.SetCtrlAttribute(main, p::kMainStripChart, Attr::SmoothUpdate, 1), kBadArgument);
  EXPECT_EQ(ui.SetCtrlAttribute(main, graph, Attr::NumTraces, 2), kBadArgument);
  EXPECT_EQ(ui.SetCtrlAttribute(main, graph, Attr::PointsPerScreen, 200), kBadArgument);
  // A button has none of them.
  for (const Attr attr : {Attr::XName, Attr::XDivisions, Attr::AutoRefresh, Attr::YReverse, Attr::NumTraces}) {
    SCOPED_TRACE(static_cast<int>(attr));
    EXPECT_EQ(ui.SetCtrlAttribute(main, p::kMainZoomIn, attr, attr == Attr::XName ? CtrlValue(std::string("x"))
                                                                                   : CtrlValue(1)),
              kBadArgument);
    EXPECT_EQ(this->Attribute(main, p::kMainZoomIn, attr), kRefused);
  }
}

// --- Lists ----------------------------------------------------------------------------------------------

TYPED_TEST(UiContract, AListKeepsItsSelectionOnItsItem) {
  Ui& ui = this->ui;
  const int panel = ui.LoadPanel(0, p::kMeterConfig);
  const int list = p::kMcTraceList;
  int count = -1, index = -2, value = -1;
  ASSERT_EQ(ui.GetNumListItems(panel, list, count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(this->Value(panel, list), kRefused);  // nothing chosen
  ASSERT_EQ(ui.InsertListItem(panel, list, -1, "a412", 0), 0);
  ASSERT_EQ(ui.InsertListItem(panel, list, -1, "a440", 1), 0);
  ASSERT_EQ(ui.GetCtrlIndex(panel, list, index), 0);
  EXPECT_EQ(index, 0);  // an empty list chooses the first item it gets
  ASSERT_EQ(ui.InsertListItem(panel, list, 0, "c412", 7), 0);
  ASSERT_EQ(ui.GetCtrlIndex(panel, list, index), 0);
  EXPECT_EQ(index, 1);  // still a412
  EXPECT_EQ(this->Value(panel, list), CtrlValue(0));
  // A value chooses its item.
  ASSERT_EQ(ui.SetCtrlVal(panel, list, 1), 0);
  ASSERT_EQ(ui.GetCtrlIndex(panel, list, index), 0);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(ui.SetCtrlVal(panel, list, 99), kBadArgument);
  ASSERT_EQ(ui.ReplaceListItem(panel, list, 2, "a440x", 9), 0);
  ASSERT_EQ(ui.GetValueFromIndex(panel, list, 2, value), 0);
  EXPECT_EQ(value, 9);
  EXPECT_EQ(this->Value(panel, list), CtrlValue(9));
  // Indices beyond the list.
  EXPECT_EQ(ui.InsertListItem(panel, list, 5, "x", 5), kBadArgument);
  EXPECT_EQ(ui.ReplaceListItem(panel, list, 3, "x", 5), kBadArgument);
  EXPECT_EQ(ui.SetCtrlIndex(panel, list, 3), kBadArgument);
  EXPECT_EQ(ui.GetValueFromIndex(panel, list, -1, value), kBadArgument);
  ASSERT_EQ(ui.SetCtrlIndex(panel, list, 0), 0);
  EXPECT_EQ(this->Value(panel, list), CtrlValue(7));
  ASSERT_EQ(ui.ClearListCtrl(panel, list), 0);
  ASSERT_EQ(ui.GetNumListItems(panel, list, count), 0);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(ui.GetCtrlIndex(panel, list, index), 0);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(this->Value(panel, list), kRefused);
  // Not a list.
  EXPECT_EQ(ui.InsertListItem(panel, p::kMcName, -1, "x", 0), kBadArgument);
  EXPECT_EQ(ui.GetNumListItems(panel, p::kMcName, count), kBadArgument);
}

TYPED_TEST(UiContract, CheckMarksBelongToListsAndARingHasNone) {
  Ui& ui = this->ui;
  const int panel = ui.LoadPanel(0, p::kBenthConfig);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(ui.InsertListItem(panel, p::kBcTraceList, -1, "w" + std::to_string(i), i), 0);
  int checked = -1;
  ASSERT_EQ(ui.IsListItemChecked(panel, p::kBcTraceList, 1, checked), 0);
  EXPECT_EQ(checked, 0);
  ASSERT_EQ(ui.CheckListItem(panel, p::kBcTraceList, 1, 1), 0);
  ASSERT_EQ(ui.IsListItemChecked(panel, p::kBcTraceList, 1, checked), 0);
  EXPECT_EQ(checked, 1);
  ASSERT_EQ(ui.IsListItemChecked(panel, p::kBcTraceList, 0, checked), 0);
  EXPECT_EQ(checked, 0);
  EXPECT_EQ(ui.CheckListItem(panel, p::kBcTraceList, 3, 1), kBadArgument);
  // The ring: items with values, no check marks.
  EXPECT_EQ(this->Value(panel, p::kBcOutput), CtrlValue(100));
  ASSERT_EQ(ui.SetCtrlVal(panel, p::kBcOutput, 33), 0);
  int index = -1;
  ASSERT_EQ(ui.GetCtrlIndex(panel, p::kBcOutput, index), 0);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(ui.CheckListItem(panel, p::kBcOutput, 0, 1), kBadArgument);
  EXPECT_EQ(ui.IsListItemChecked(panel, p::kBcOutput, 0, checked), kBadArgument);
}

TYPED_TEST(UiContract, AListItemTheUserChoosesIsWhatTheProgramReads) {
  Ui& ui = this->ui;
  const int panel = ui.LoadPanel(0, p::kMeterConfig);
  ui.DisplayPanel(panel);
  for (int i = 0; i < 3; ++i) ui.InsertListItem(panel, p::kMcTraceList, -1, "t" + std::to_string(i), 10 + i);
  // The program's own choice comes back as no event.
  ui.SetCtrlIndex(panel, p::kMcTraceList, 1);
  EXPECT_EQ(this->backend.Next().type, EventType::None);
  this->backend.Select(panel, p::kMcTraceList, 2);
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::ValueChanged, panel, p::kMcTraceList));
  EXPECT_EQ(this->Value(panel, p::kMcTraceList), CtrlValue(12));
}

// --- Menus ----------------------------------------------------------------------------------------------

TYPED_TEST(UiContract, MenuItemsAreDimmedCheckedRenamedAndInserted) {
  Ui& ui = this->ui;
  const int main = ui.LoadPanel(0, p::kMain);
  const int port = ui.LoadPanel(0, p::kPort);
  const int bar = ui.GetPanelMenuBar(main);
  ASSERT_GT(bar, 0);
  EXPECT_NE(bar, main);
  EXPECT_EQ(ui.GetPanelMenuBar(port), 0);
  for (const auto& [attr, value] : std::vector<std::pair<Attr, CtrlValue>>{
           {Attr::Dimmed, 1}, {Attr::Checked, 1}, {Attr::LabelText, std::string("&Save Run...")}}) {
    ASSERT_EQ(ui.SetMenuBarAttribute(bar, p::kMenuSaveData, attr, value), 0);
    EXPECT_EQ(this->MenuAttribute(bar, p::kMenuSaveData, attr), value);
  }
  // Item -1 dims every item, not the menus.
  ASSERT_EQ(ui.SetMenuBarAttribute(bar, -1, Attr::Dimmed, 1), 0);
  EXPECT_EQ(this->MenuAttribute(bar, p::kMenuExit, Attr::Dimmed), CtrlValue(1));
  EXPECT_EQ(this->MenuAttribute(bar, p::kMenuAbout, Attr::Dimmed), CtrlValue(1));
  EXPECT_EQ(this->MenuAttribute(bar, p::kMenuFile, Attr::Dimmed), CtrlValue(0));
  ASSERT_EQ(ui.SetMenuBarAttribute(bar, -1, Attr::Dimmed, 0), 0);
  EXPECT_EQ(this->MenuAttribute(bar, p::kMenuExit, Attr::Dimmed), CtrlValue(0));
  EXPECT_EQ(ui.SetMenuBarAttribute(bar, 999, Attr::Dimmed, 1), kBadArgument);
  EXPECT_EQ(this->MenuAttribute(bar, 999, Attr::Dimmed), kRefused);
  EXPECT_EQ(ui.SetMenuBarAttribute(bar, p::kMenuExit, Attr::Top, 1), kBadArgument);
  EXPECT_EQ(ui.SetMenuBarAttribute(bar, p::kMenuExit, Attr::LabelText, 1), kBadArgument);
  EXPECT_EQ(ui.SetMenuBarAttribute(main, p::kMenuExit, Attr::Dimmed, 1), kBadPanel);  // a panel is no menu bar
  // An item in front of an entry of its menu, or at the menu's end: a new
  // id, above every id the bar has.
  const int inserted = ui.InsertMenuItem(bar, p::kMenuFile, p::kMenuFileSep2, "&Diagnostics...", "");
  EXPECT_GT(inserted, p::kMenuNightPalette);
  EXPECT_GT(inserted, p::kMenuAbout);
  EXPECT_EQ(this->MenuAttribute(bar, inserted, Attr::LabelText), CtrlValue(std::string("&Diagnostics...")));
  EXPECT_EQ(this->MenuAttribute(bar, inserted, Attr::Dimmed), CtrlValue(0));
  const int last = ui.InsertMenuItem(bar, p::kMenuFile, -1, "Last", "");
  EXPECT_GT(last, inserted);
  EXPECT_EQ(ui.InsertMenuItem(bar, p::kMenuFile, p::kMenuAbout, "x", ""), kBadArgument);  // not in File
  EXPECT_EQ(ui.InsertMenuItem(bar, p::kMenuExit, -1, "x", ""), kBadArgument);             // not a menu
  EXPECT_EQ(ui.InsertMenuItem(9999, p::kMenuFile, -1, "x", ""), kBadPanel);
}

TYPED_TEST(UiContract, AMenuChoiceGivesItsEventAndLeavesTheCheckMarkToTheProgram) {
  Ui& ui = this->ui;
  const int main = ui.LoadPanel(0, p::kMain);
  ui.DisplayPanel(main);
  const int bar = ui.GetPanelMenuBar(main);
  EXPECT_EQ(this->MenuAttribute(bar, p::kMenuNightPalette, Attr::Checked), CtrlValue(0));
  this->backend.Choose(bar, p::kMenuNightPalette);
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::Menu, bar, p::kMenuNightPalette));
  EXPECT_EQ(this->MenuAttribute(bar, p::kMenuNightPalette, Attr::Checked), CtrlValue(0));
  ASSERT_EQ(ui.SetMenuBarAttribute(bar, p::kMenuNightPalette, Attr::Checked, 1), 0);
  this->backend.Choose(bar, p::kMenuNightPalette);
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::Menu, bar, p::kMenuNightPalette));
  EXPECT_EQ(this->MenuAttribute(bar, p::kMenuNightPalette, Attr::Checked), CtrlValue(1));
  // A dimmed item cannot be chosen; an inserted one can.
  ui.SetMenuBarAttribute(bar, p::kMenuExit, Attr::Dimmed, 1);
  this->backend.Choose(bar, p::kMenuExit);
  EXPECT_EQ(this->backend.Next().type, EventType::None);
  const int inserted = ui.InsertMenuItem(bar, p::kMenuFile, p::kMenuFileSep2, "&Diagnostics...", "");
  this->backend.Choose(bar, inserted);
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::Menu, bar, inserted));
}

// --- Events and pop-ups --------------------------------------------------------------------------------

TYPED_TEST(UiContract, ButtonsAndCloseBoxesGiveTheirEvents) {
  Ui& ui = this->ui;
  const int port = ui.LoadPanel(0, p::kPort);
  ui.DisplayPanel(port);
  EXPECT_EQ(this->backend.Next().type, EventType::None);
  this->backend.Press(port, p::kPortCancel);
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::Commit, port, p::kPortCancel));
  this->backend.CloseBox(port);
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::Close, port, 0));
  // A dimmed button gives nothing.
  ui.SetCtrlAttribute(port, p::kPortFile, Attr::Dimmed, 1);
  this->backend.Press(port, p::kPortFile);
  EXPECT_EQ(this->backend.Next().type, EventType::None);
  // Nor does a panel discarded before its event was handed out.
  this->backend.Press(port, p::kPortCancel);
  ui.DiscardPanel(port);
  EXPECT_EQ(this->backend.Next().type, EventType::None);
}

TYPED_TEST(UiContract, AModalPopupLetsOnlyItsOwnEventsThrough) {
  Ui& ui = this->ui;
  const int main = ui.LoadPanel(0, p::kMain);
  const int port = ui.LoadPanel(0, p::kPort);
  ui.DisplayPanel(main);
  ASSERT_EQ(ui.InstallPopup(port), 0);
  this->backend.Press(main, p::kMainZoomIn);
  this->backend.Press(port, p::kPortCancel);
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::Commit, port, p::kPortCancel));
  EXPECT_EQ(this->backend.Next().type, EventType::None);
  // A panel inside the pop-up is the pop-up's.
  const int inside = ui.LoadPanel(port, p::kError);
  ui.DisplayPanel(inside);
  this->backend.Press(inside, p::kErrorOk);
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::Commit, inside, p::kErrorOk));
  // Once it is removed, the rest of the program hears the user again.
  ASSERT_EQ(ui.RemovePopup(port), 0);
  this->backend.Press(main, p::kMainZoomIn);
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::Commit, main, p::kMainZoomIn));
}

TYPED_TEST(UiContract, ToldToEndEveryPopupAnswersCancelAndTheLoopsEnd) {
  Ui& ui = this->ui;
  const int main = ui.LoadPanel(0, p::kMain);
  const int port = ui.LoadPanel(0, p::kPort);
  EXPECT_FALSE(ui.TerminationRequested());
  EXPECT_EQ(this->backend.Next().type, EventType::None);
  ui.RequestTermination();
  EXPECT_TRUE(ui.TerminationRequested());
  const std::vector<std::string> buttons = {"Save", "Discard", "Cancel"};
  EXPECT_EQ(ui.GenericMessagePopup("Unsaved data", "Save the run?", buttons), 3);
  EXPECT_EQ(ui.GenericMessagePopup("Note", "Done", {}), 1);
  EXPECT_EQ(ui.ConfirmPopup("Overwrite", "Overwrite run.dat?"), 0);
  std::string path = "kept";
  EXPECT_EQ(ui.FileSelectPopup(FileSelectRequest{"", "*.dat", "", "Save", FileDialogMode::Save}, path),
            FileSelectResult::None);
  EXPECT_EQ(path, "kept");
  EXPECT_EQ(ui.PrintPanel(main, PrintRequest{}), ui_status::kPrintCancelled);
  // A dialog loop gets its close box, the main loop Terminate.
  ui.InstallPopup(port);
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::Close, port, 0));
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::Close, port, 0));
  ui.RemovePopup(port);
  EXPECT_TRUE(this->Same(this->backend.Next(), EventType::Terminate, 0, 0));
}

// --- Graphs and strip charts ----------------------------------------------------------------------------

// Every PlotXY is a plot of its own; a curve held above the platform is one
// plot however it grows.
TYPED_TEST(UiContract, APlotIsOnePlotXYOrOneCurveHoweverItGrows) {
  Ui& ui = this->ui;
  const int main = ui.LoadPanel(0, p::kMain);
  const int graph = p::kMainXYGraph;
  const PlotAttributes red{PlotStyle::ThinLine, PointStyle::SimpleDot, LineStyle::Solid, 0, 0xFF0000};
  PlotAttributes blue = red;
  blue.color = 0x0000FF;
  PlotAttributes bar = red;
  bar.plotStyle = PlotStyle::VerticalBar;
  const std::vector<double> a{0, 1}, b{1, 2}, c{2, 3};
  const int first = ui.PlotXY(main, graph, a, a, red);
  EXPECT_GT(first, 0);
  const int second = ui.PlotXY(main, graph, b, b, red);  // where the first ended: a plot of its own
  EXPECT_GT(second, first);
  EXPECT_NE(ui.PlotXY(main, graph, c, c, blue), first);
  const int bars = ui.PlotXY(main, graph, a, a, bar);
  EXPECT_GT(bars, 0);
  EXPECT_NE(ui.PlotXY(main, graph, b, b, bar), bars);
  // Points in pairs, at least one.
  EXPECT_EQ(ui.PlotXY(main, graph, a, std::span(c).first(1), red), kBadArgument);
  EXPECT_EQ(ui.PlotXY(main, graph, {}, {}, red), kBadArgument);
  // Plots belong to graphs.
  EXPECT_EQ(ui.PlotXY(main, p::kMainStripChart, a, a, red), kBadArgument);
  EXPECT_EQ(ui.PlotXY(main, p::kMainZoomIn, a, a, red), kBadArgument);
  EXPECT_EQ(ui.DeleteGraphPlot(main, p::kMainStripChart, kAllPlots, DrawMode::Immediate), kBadArgument);
  // A deleted plot cannot be deleted twice.
  EXPECT_EQ(ui.DeleteGraphPlot(main, graph, first, DrawMode::Immediate), 0);
  EXPECT_EQ(ui.DeleteGraphPlot(main, graph, first, DrawMode::Immediate), kBadArgument);
  const int again = ui.PlotXY(main, graph, c, c, red);
  EXPECT_GT(again, 0);
  EXPECT_NE(again, first);

  // A curve: one plot, which its growth and its changes leave one.
  RunHistory run(1000, 8);
  run.Clear(2);
  const std::shared_ptr<const Curve> trace = run.TraceCurve(1, RunHistory::Keys::Minutes);
  const int curve = ui.PlotCurve(main, graph, trace, CurveKeys::OnY, blue);
  EXPECT_GT(curve, again);
  for (int k = 0; k < 20; ++k) {
    const double values[2] = {1.0 * k, -1.0 * k};
    run.Add(1000 * k, 20.0, 0.0, values);  // thins now and then
    EXPECT_EQ(ui.CurvesChanged(main, graph), 0);
  }
  EXPECT_EQ(ui.PlotCurve(main, graph, nullptr, CurveKeys::OnY, blue), kBadArgument);
  EXPECT_EQ(ui.PlotCurve(main, p::kMainStripChart, trace, CurveKeys::OnY, blue), kBadArgument);
  EXPECT_EQ(ui.CurvesChanged(main, p::kMainZoomIn), kBadArgument);
  EXPECT_EQ(ui.DeleteGraphPlot(main, graph, curve, DrawMode::Immediate), 0);
  EXPECT_EQ(ui.DeleteGraphPlot(main, graph, curve, DrawMode::Immediate), kBadArgument);
  // A strip chart charts one to sixty-four curves.
  const std::shared_ptr<const Curve> strip[2] = {run.TraceCurve(0, RunHistory::Keys::Index),
                                                 run.TraceCurve(1, RunHistory::Keys::Index)};
  EXPECT_EQ(ui.SetStripCurves(main, p::kMainStripChart, strip), 0);
  EXPECT_EQ(ui.CurvesChanged(main, p::kMainStripChart), 0);
  EXPECT_EQ(ui.SetStripCurves(main, p::kMainStripChart, std::span(strip).first(0)), kBadArgument);
  EXPECT_EQ(ui.SetStripCurves(main, graph, strip), kBadArgument);
  EXPECT_EQ(ui.ClearStripChart(main, p::kMainStripChart), 0);

  EXPECT_EQ(ui.DeleteGraphPlot(main, graph, kAllPlots, DrawMode::Delayed), 0);
  EXPECT_NE(ui.PlotXY(main, graph, std::vector<double>{3, 4}, std::vector<double>{3, 4}, red), again);
  EXPECT_EQ(ui.DeleteGraphPlot(main, graph, 9999, DrawMode::Immediate), kBadArgument);
  EXPECT_EQ(ui.RefreshGraph(main, graph), 0);
  EXPECT_EQ(ui.RefreshGraph(main, p::kMainZoomIn), kBadArgument);
}

TYPED_TEST(UiContract, AxesKeepTheirModesAndRefuseEmptyRanges) {
  Ui& ui = this->ui;
  const int main = ui.LoadPanel(0, p::kMain);
  const int graph = p::kMainXYGraph;
  AxisMode xMode{}, yMode{};
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  ASSERT_EQ(ui.SetAxisRange(main, graph, AxisMode::Manual, 0, 5, AxisMode::Manual, -1, 1), 0);
  ASSERT_EQ(ui.GetAxisRange(main, graph, xMode, x0, x1, yMode, y0, y1), 0);
  EXPECT_EQ(xMode, AxisMode::Manual);
  EXPECT_EQ(yMode, AxisMode::Manual);
  EXPECT_EQ(x0, 0);
  EXPECT_EQ(x1, 5);
  EXPECT_EQ(y0, -1);
  EXPECT_EQ(y1, 1);
  // An empty, inverted or endless range changes nothing.
  EXPECT_EQ(ui.SetAxisRange(main, graph, AxisMode::Manual, 5, 0, AxisMode::NoChange, 0, 0), kBadArgument);
  EXPECT_EQ(ui.SetAxisRange(main, graph, AxisMode::NoChange, 0, 0, AxisMode::Manual, 2, 2), kBadArgument);
  EXPECT_EQ(ui.SetAxisRange(main, graph, AxisMode::Manual, 0, std::nan(""), AxisMode::NoChange, 0, 0),
            kBadArgument);
  // NoChange leaves an axis as it is.
  ASSERT_EQ(ui.SetAxisRange(main, graph, AxisMode::NoChange, 9, 10, AxisMode::Manual, 0, 3), 0);
  ASSERT_EQ(ui.GetAxisRange(main, graph, xMode, x0, x1, yMode, y0, y1), 0);
  EXPECT_EQ(x0, 0);
  EXPECT_EQ(x1, 5);
  EXPECT_EQ(y1, 3);
  // Autoscale follows the data; Lock keeps what is shown.
  ASSERT_EQ(ui.SetAxisRange(main, graph, AxisMode::Lock, 0, 0, AxisMode::Autoscale, 0, 0), 0);
  ui.PlotXY(main, graph, std::vector<double>{1, 2, 3}, std::vector<double>{2, 8, 5}, PlotAttributes{});
  ASSERT_EQ(ui.GetAxisRange(main, graph, xMode, x0, x1, yMode, y0, y1), 0);
  EXPECT_EQ(xMode, AxisMode::Lock);
  EXPECT_EQ(yMode, AxisMode::Autoscale);
  EXPECT_EQ(x0, 0);
  EXPECT_EQ(x1, 5);
  EXPECT_LE(y0, 2);
  EXPECT_GE(y1, 8);
  // A strip chart's X axis is its time, and not to be set.
  const int strip = p::kMainStripChart;
  EXPECT_EQ(ui.SetAxisRange(main, strip, AxisMode::Manual, 0, 1, AxisMode::NoChange, 0, 0), kBadArgument);
  ASSERT_EQ(ui.SetAxisRange(main, strip, AxisMode::NoChange, 0, 0, AxisMode::Manual, 10, 20), 0);
  ASSERT_EQ(ui.GetAxisRange(main, strip, xMode, x0, x1, yMode, y0, y1), 0);
  EXPECT_EQ(yMode, AxisMode::Manual);
  EXPECT_EQ(y0, 10);
  EXPECT_EQ(y1, 20);
  EXPECT_EQ(ui.GetAxisRange(main, p::kMainZoomIn, xMode, x0, x1, yMode, y0, y1), kBadArgument);
}

TYPED_TEST(UiContract, AStripChartHasOneToSixtyFourTraces) {
  Ui& ui = this->ui;
  const int main = ui.LoadPanel(0, p::kMain);
  const int strip = p::kMainStripChart;
  ASSERT_EQ(ui.SetCtrlAttribute(main, strip, Attr::NumTraces, 3), 0);
  EXPECT_EQ(this->Attribute(main, strip, Attr::NumTraces), CtrlValue(3));
  EXPECT_EQ(ui.SetCtrlAttribute(main, strip, Attr::NumTraces, 0), kBadArgument);
  EXPECT_EQ(ui.SetCtrlAttribute(main, strip, Attr::NumTraces, kMaxStripTraces + 1), kBadArgument);
  EXPECT_EQ(this->Attribute(main, strip, Attr::NumTraces), CtrlValue(3));
  // Trace attributes of the traces it has.
  EXPECT_EQ(ui.SetTraceAttribute(main, strip, 2, Attr::TraceColor, 0x00FF00), 0);
  EXPECT_EQ(ui.SetTraceAttribute(main, strip, 2, Attr::TraceVisible, 0), 0);
  EXPECT_EQ(ui.SetTraceAttribute(main, strip, 3, Attr::TraceColor, 0x00FF00), kBadArgument);
  EXPECT_EQ(ui.SetTraceAttribute(main, strip, -1, Attr::TraceColor, 0x00FF00), kBadArgument);
  EXPECT_EQ(ui.SetTraceAttribute(main, strip, 0, Attr::TextColor, 0x00FF00), kBadArgument);
  EXPECT_EQ(ui.SetTraceAttribute(main, strip, 0, Attr::TraceColor, std::string("red")), kBadArgument);
  // Points come a value per trace; another trace count is taken on.
  const std::vector<double> points{1, 2, 3, 4, 5, 6};
  EXPECT_EQ(ui.PlotStripChart(main, strip, std::span(points).first(4), 3), kBadArgument);
  EXPECT_EQ(ui.PlotStripChart(main, strip, points, 3), 0);
  EXPECT_EQ(ui.PlotStripChart(main, strip, points, kMaxStripTraces + 1), kBadArgument);
  EXPECT_EQ(ui.PlotStripChart(main, strip, points, 0), kBadArgument);
  EXPECT_EQ(ui.PlotStripChart(main, strip, points, 2), 0);
  EXPECT_EQ(this->Attribute(main, strip, Attr::NumTraces), CtrlValue(2));
  EXPECT_EQ(ui.ClearStripChart(main, strip), 0);
  ASSERT_EQ(ui.SetCtrlAttribute(main, strip, Attr::PointsPerScreen, 500), 0);
  EXPECT_EQ(this->Attribute(main, strip, Attr::PointsPerScreen), CtrlValue(500));
  EXPECT_EQ(ui.SetCtrlAttribute(main, strip, Attr::PointsPerScreen, 0), kBadArgument);
  // Strip chart calls on a graph.
  EXPECT_EQ(ui.PlotStripChart(main, p::kMainXYGraph, points, 2), kBadArgument);
  EXPECT_EQ(ui.ClearStripChart(main, p::kMainXYGraph), kBadArgument);
  EXPECT_EQ(ui.SetTraceAttribute(main, p::kMainXYGraph, 0, Attr::TraceColor, 0), kBadArgument);
}

TYPED_TEST(UiContract, PicturesAreOfGraphsAndStripCharts) {
  Ui& ui = this->ui;
  const int main = ui.LoadPanel(0, p::kMain);
  ui.PlotXY(main, p::kMainXYGraph, std::vector<double>{0, 1}, std::vector<double>{0, 1}, PlotAttributes{});
  EXPECT_EQ(ui.SaveGraphImage(main, p::kMainXYGraph, this->dir.File("xy.png")), 0);
  EXPECT_EQ(ui.SaveGraphImage(main, p::kMainStripChart, this->dir.File("strip.png")), 0);
  EXPECT_EQ(ui.ExportGraphImage(main, p::kMainXYGraph, this->dir.File("xy.pdf"), GraphPicture{"Run 1", "", "", {}, {}}), 0);
  EXPECT_EQ(ui.SaveGraphImage(main, p::kMainTitle, this->dir.File("title.png")), kBadArgument);
  EXPECT_EQ(ui.ExportGraphImage(main, p::kMainZoomIn, this->dir.File("b.png"), GraphPicture{}), kBadArgument);
  EXPECT_EQ(ui.SaveGraphImage(9999, p::kMainXYGraph, this->dir.File("none.png")), kBadPanel);
}

// --- Panel state files ----------------------------------------------------------------------------------

// What a panel is saved as comes back whole into another panel of its
// resource: saving the recalled panel writes the same state again.
TYPED_TEST(UiContract, APanelStateComesBackWhole) {
  Ui& ui = this->ui;
  const int main = ui.LoadPanel(0, p::kMain);
  ui.SetCtrlVal(main, p::kMainTitle, std::string("RUN.DAT: meter 301"));
  ui.SetCtrlAttribute(main, p::kMainLabel0, Attr::LabelText, std::string("a412"));
  ui.SetCtrlVal(main, p::kMainLabel0, 1);
  const PlotAttributes red{PlotStyle::ConnectedPoints, PointStyle::SolidCircle, LineStyle::Dash, 1, 0xFF0000};
  ui.PlotXY(main, p::kMainXYGraph, std::vector<double>{0, 1, 2}, std::vector<double>{0.5, 0.25, 0.125}, red);
  ui.SetAxisRange(main, p::kMainXYGraph, AxisMode::Manual, 0, 2, AxisMode::Manual, 0, 1);
  ui.SetCtrlAttribute(main, p::kMainStripChart, Attr::NumTraces, 3);
  for (int k = 0; k < 3; ++k) ui.SetTraceAttribute(main, p::kMainStripChart, k, Attr::TraceColor, 0x102030 * (k + 1));
  ui.SetTraceAttribute(main, p::kMainStripChart, 1, Attr::TraceVisible, 0);
  // Fewer traces: those that stay keep their colours.
  ui.SetCtrlAttribute(main, p::kMainStripChart, Attr::NumTraces, 2);
  ui.PlotStripChart(main, p::kMainStripChart, std::vector<double>{1, 2, 3, 4}, 2);
  const std::string saved = this->dir.File("main.gph");
  ASSERT_EQ(ui.SavePanelState(main, saved, 0), 0);

  const int other = ui.LoadPanel(0, p::kMain);
  ASSERT_EQ(ui.RecallPanelState(other, saved, 0), 0);
  EXPECT_EQ(this->Value(other, p::kMainTitle), CtrlValue(std::string("RUN.DAT: meter 301")));
  EXPECT_EQ(this->Attribute(other, p::kMainLabel0, Attr::LabelText), CtrlValue(std::string("a412")));
  EXPECT_EQ(this->Value(other, p::kMainLabel0), CtrlValue(1));
  const std::string again = this->dir.File("again.gph");
  ASSERT_EQ(ui.SavePanelState(other, again, 0), 0);
  PanelState first, second;
  ASSERT_EQ(ReadPanelStateFile(saved, 0, first), 0);
  ASSERT_EQ(ReadPanelStateFile(again, 0, second), 0);
  EXPECT_EQ(FormatPanelState(second, 0), FormatPanelState(first, 0));
  for (const ControlState& control : first.controls) {
    if (!control.strip) continue;
    EXPECT_EQ(control.stripTraces, 2);
    EXPECT_EQ(control.stripPoints, (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(control.stripStyles, (std::vector<ControlState::Trace>{{0x102030, true}, {0x204060, false}}));
  }
  // A state of another resource, an index not there, a file not there.
  const int port = ui.LoadPanel(0, p::kPort);
  EXPECT_EQ(ui.RecallPanelState(port, saved, 0), ui_status::kBadStateFile);
  EXPECT_EQ(ui.RecallPanelState(other, saved, 4), ui_status::kNoSuchState);
  EXPECT_EQ(ui.RecallPanelState(other, this->dir.File("none.gph"), 0), ui_status::kFileError);
  EXPECT_EQ(ui.SavePanelState(9999, again, 0), kBadPanel);
}

}  // namespace
}  // namespace sondrix::platform
