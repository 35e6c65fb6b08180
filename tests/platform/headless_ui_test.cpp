// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/headless/headless_ui.h"

#include <gtest/gtest.h>

#include <array>

#include "common/panels.h"
#include "support/fixtures.h"

namespace sondrix::platform {
namespace {

namespace p = panels;

class HeadlessUiTest : public test::HeadlessTest {};

TEST_F(HeadlessUiTest, PanelsStartWithTheResourceDefaults) {
  int panel = ui.LoadPanel(0, p::kMeterConfig);
  ASSERT_GT(panel, 0);
  EXPECT_EQ(ui.GetCtrlInt(panel, p::kMcBaud), 19200);
  EXPECT_EQ(ui.GetCtrlInt(panel, p::kMcZeroA), 1);
  EXPECT_DOUBLE_EQ(ui.GetCtrlDouble(panel, p::kMcDepthScale), 1.0);
  EXPECT_EQ(ui.GetCtrlText(panel, p::kMcName), "");
  CtrlValue mode;
  ASSERT_EQ(ui.GetCtrlAttribute(panel, p::kMcDevType, Attr::CtrlMode, mode), 0);
  EXPECT_EQ(std::get<int>(mode), 1);
  CtrlValue title;
  ASSERT_EQ(ui.GetPanelAttribute(panel, Attr::Title, title), 0);
  EXPECT_EQ(std::get<std::string>(title), "Meter Configuration");
  EXPECT_TRUE(ui.problems().empty());
}

TEST_F(HeadlessUiTest, LoadFailuresAndBadHandlesAreReported) {
  EXPECT_EQ(ui.LoadPanel(0, 999), headless::kCantLoad);
  ui.FailLoad(p::kWait);
  EXPECT_EQ(ui.LoadPanel(0, p::kWait), headless::kCantLoad);
  EXPECT_GT(ui.LoadPanel(0, p::kWait), 0);  // only once
  EXPECT_EQ(ui.DisplayPanel(777), headless::kBadPanel);
  CtrlValue value;
  EXPECT_LT(ui.GetCtrlVal(777, 2, value), 0);
  EXPECT_EQ(ui.problems().size(), 3u);
}

TEST_F(HeadlessUiTest, ValuesKeepTheirControlsKind) {
  int panel = ui.LoadPanel(0, p::kMeterConfig);
  EXPECT_EQ(ui.SetCtrlVal(panel, p::kMcOffset, 2), 0);  // an int into a double control
  EXPECT_DOUBLE_EQ(ui.GetCtrlDouble(panel, p::kMcOffset), 2.0);
  EXPECT_EQ(ui.SetCtrlVal(panel, p::kMcBaud, 9600.4), 0);
  EXPECT_EQ(ui.GetCtrlInt(panel, p::kMcBaud), 9600);
  EXPECT_EQ(ui.SetCtrlVal(panel, p::kMcCalA, 5), 0);
  EXPECT_EQ(ui.GetCtrlInt(panel, p::kMcCalA), 1);
  EXPECT_EQ(ui.SetCtrlVal(panel, p::kMcBaud, std::string("fast")), headless::kBadArgument);
  EXPECT_EQ(ui.SetCtrlVal(panel, p::kMcName, 3), headless::kBadArgument);
  EXPECT_EQ(ui.SetCtrlVal(panel, p::kMcPreview, 1), headless::kBadArgument);
  EXPECT_EQ(ui.problems().size(), 3u);
}

TEST_F(HeadlessUiTest, ScriptedCommitSetsValuesThenGoesToTheNewestPanel) {
  int older = ui.LoadPanel(0, p::kMeterConfig);
  int newer = ui.LoadPanel(0, p::kMeterConfig);
  ui.Commit(p::kMeterConfig, p::kMcOk, {{p::kMcOffset, 0.5}, {p::kMcName, std::string("AC-9")}});

  EXPECT_EQ(ui.pendingSteps(), 1u);
  UserEvent event = ui.GetUserEvent(false);
  EXPECT_EQ(event.type, EventType::Commit);
  EXPECT_EQ(event.panel, newer);
  EXPECT_EQ(event.control, p::kMcOk);
  EXPECT_DOUBLE_EQ(ui.GetCtrlDouble(newer, p::kMcOffset), 0.5);
  EXPECT_EQ(ui.GetCtrlText(newer, p::kMcName), "AC-9");
  EXPECT_DOUBLE_EQ(ui.GetCtrlDouble(older, p::kMcOffset), 0.0);
  EXPECT_EQ(ui.GetUserEvent(false).type, EventType::None);
  EXPECT_TRUE(ui.problems().empty());
}

TEST_F(HeadlessUiTest, DimmedHiddenAndIndicatorControlsCannotBeOperated) {
  int panel = ui.LoadPanel(0, p::kPort);
  ui.SetCtrlAttribute(panel, p::kPortCom1 + 1, Attr::Dimmed, 1);
  ui.SetCtrlAttribute(panel, p::kPortCom1 + 2, Attr::Visible, 0);
  ui.Commit(p::kPort, p::kPortCom1 + 1).Commit(p::kPort, p::kPortCom1 + 2).Commit(p::kPort,
                                                                          p::kPortPrompt);
  ui.Commit(p::kPort, p::kPortCancel);

  UserEvent event = ui.GetUserEvent(false);
  EXPECT_EQ(event.control, p::kPortCancel);
  EXPECT_EQ(ui.refusedEvents(), 3);  // dimmed, hidden, and a text message is no input
  EXPECT_EQ(ui.problems().size(), 3u);
}

TEST_F(HeadlessUiTest, ModalPopupOnlyLetsItsOwnEventsThrough) {
  int main = ui.LoadPanel(0, p::kMain);
  int port = ui.LoadPanel(0, p::kPort);
  ui.DisplayPanel(main);
  ui.InstallPopup(port);
  ui.Close(p::kMain).Commit(p::kPort, p::kPortFile).Commit(p::kError, p::kErrorOk);
  UserEvent event = ui.GetUserEvent(false);
  EXPECT_EQ(event.panel, port);
  EXPECT_EQ(event.control, p::kPortFile);
  EXPECT_EQ(ui.refusedEvents(), 1);

  // The error panel is not loaded: its event is refused as well.
  EXPECT_EQ(ui.GetUserEvent(false).type, EventType::None);
  EXPECT_EQ(ui.refusedEvents(), 2);

  ui.RemovePopup(port);
  EXPECT_FALSE(ui.IsDisplayed(port));
  EXPECT_TRUE(ui.IsDisplayed(main));
  ui.Close(p::kMain);
  EXPECT_EQ(ui.GetUserEvent(false).type, EventType::Close);
}

TEST_F(HeadlessUiTest, WaitingWithNothingScriptedReturnsCloseAndIsRecorded) {
  int wait = ui.LoadPanel(0, p::kWait);
  ui.InstallPopup(wait);
  EXPECT_EQ(ui.GetUserEvent(false).type, EventType::None);
  EXPECT_EQ(ui.unexpectedWaits(), 0);
  UserEvent event = ui.GetUserEvent(true);
  EXPECT_EQ(event.type, EventType::Close);
  EXPECT_EQ(event.panel, wait);
  EXPECT_EQ(ui.unexpectedWaits(), 1);
  EXPECT_FALSE(ui.problems().empty());
}

TEST_F(HeadlessUiTest, ActionsRunWhenReachedAndMayReactToState) {
  int panel = ui.LoadPanel(0, p::kMeterConfig);
  ui.SetCtrlVal(panel, p::kMcSerial, 41);
  int seen = -1;
  ui.Then([&](HeadlessUi& u) {
      seen = u.GetCtrlInt(u.NewestHandle(p::kMeterConfig), p::kMcSerial);
      u.Commit(p::kMeterConfig, seen == 41 ? p::kMcOk : p::kMcCancel);
    });
  ui.Commit(p::kMeterConfig, p::kMcZero);
  EXPECT_EQ(ui.GetUserEvent(false).control, p::kMcZero);
  EXPECT_EQ(seen, 41);
  EXPECT_EQ(ui.GetUserEvent(false).control, p::kMcOk);
}

TEST_F(HeadlessUiTest, SetStepWritesWithoutAnEventAndRefusesDimmedControls) {
  int panel = ui.LoadPanel(0, p::kMeterConfig);
  ui.SetCtrlAttribute(panel, p::kMcOffset, Attr::Dimmed, 1);
  ui.Set(p::kMeterConfig, {{p::kMcBaud, 4800}, {p::kMcOffset, 9.0}});
  EXPECT_EQ(ui.GetUserEvent(false).type, EventType::None);
  EXPECT_EQ(ui.GetCtrlInt(panel, p::kMcBaud), 4800);
  EXPECT_DOUBLE_EQ(ui.GetCtrlDouble(panel, p::kMcOffset), 0.0);
  EXPECT_EQ(ui.refusedEvents(), 1);
  ASSERT_EQ(ui.valueLog().size(), 1u);
  EXPECT_TRUE(ui.valueLog()[0].byScript);
}

TEST_F(HeadlessUiTest, PopupsTakeScriptedAnswersInOrder) {
  const std::array<std::string, 3> three = {"Save", "Discard", "Cancel"};
  const std::array<std::string, 1> one = {"OK"};
  ui.AnswerGeneric(2).AnswerConfirm(true).AnswerConfirm(false);

  // A plain message does not use up a scripted answer.
  EXPECT_EQ(ui.GenericMessagePopup("Error", "Can't open file", one), 1);
  EXPECT_EQ(ui.GenericMessagePopup("Save?", "Keep the run?", three), 2);
  EXPECT_EQ(ui.ConfirmPopup("Overwrite", "This file exists."), 1);
  EXPECT_EQ(ui.ConfirmPopup("Overwrite", "Again?"), 0);
  EXPECT_EQ(ui.unansweredPopups(), 0);

  // Nobody answers: the last button / "no", and the fact is recorded.
  EXPECT_EQ(ui.GenericMessagePopup("Save?", "Keep the run?", three), 3);
  EXPECT_EQ(ui.ConfirmPopup("Overwrite", "Third time?"), 0);
  EXPECT_EQ(ui.unansweredPopups(), 2);

  ASSERT_EQ(ui.popups().size(), 6u);
  EXPECT_EQ(ui.popups()[0].text, "Can't open file");
  EXPECT_TRUE(ui.popups()[1].scripted);
  EXPECT_FALSE(ui.popups()[4].scripted);
  EXPECT_EQ(ui.popups()[2].kind, PopupKind::Confirm);
}

TEST_F(HeadlessUiTest, PopupAnswererSeesThePopup) {
  ui.popupAnswerer = [](const PopupRecord& popup) -> std::optional<int> {
    if (popup.text.find("serial") != std::string::npos) return 1;
    return std::nullopt;
  };
  EXPECT_EQ(ui.ConfirmPopup("Warning", "The serial numbers differ."), 1);
  EXPECT_EQ(ui.ConfirmPopup("Warning", "Other"), 0);
  EXPECT_EQ(ui.unansweredPopups(), 1);
}

TEST_F(HeadlessUiTest, FileDialogsAreRecordedAndAnswered) {
  std::string existing = test::WriteTextFile(HomeFile("a.dat"), "x");
  ui.AnswerFile(existing).AnswerFile(HomeFile("new.dat")).CancelFile();
  FileSelectRequest request;
  request.directory = home.path();
  request.defaultSpec = "*.dat";
  request.title = "Read data from file:";

  std::string path = "unchanged";
  EXPECT_EQ(ui.FileSelectPopup(request, path), FileSelectResult::Existing);
  EXPECT_EQ(path, existing);
  EXPECT_EQ(ui.FileSelectPopup(request, path), FileSelectResult::New);
  EXPECT_EQ(path, HomeFile("new.dat"));
  path = "unchanged";
  EXPECT_EQ(ui.FileSelectPopup(request, path), FileSelectResult::None);
  EXPECT_EQ(path, "unchanged");
  EXPECT_EQ(ui.unansweredPopups(), 0);
  EXPECT_EQ(ui.FileSelectPopup(request, path), FileSelectResult::None);
  EXPECT_EQ(ui.unansweredPopups(), 1);

  ASSERT_EQ(ui.fileDialogs().size(), 4u);
  EXPECT_EQ(ui.fileDialogs()[0].request.title, "Read data from file:");
  EXPECT_EQ(ui.fileDialogs()[0].request.directory, home.path());
  EXPECT_FALSE(ui.fileDialogs()[3].scripted);
}

TEST_F(HeadlessUiTest, ListsKeepItemsSelectionAndChecks) {
  int panel = ui.LoadPanel(0, p::kMeterConfig);
  int count = -1;
  int index = 5;
  ASSERT_EQ(ui.GetCtrlIndex(panel, p::kMcTraceList, index), 0);
  EXPECT_EQ(index, -1);
  CtrlValue value;
  EXPECT_LT(ui.GetCtrlVal(panel, p::kMcTraceList, value), 0);  // empty list has no value

  ui.InsertListItem(panel, p::kMcTraceList, -1, "a412", 0);
  ui.InsertListItem(panel, p::kMcTraceList, -1, "a440", 1);
  ui.InsertListItem(panel, p::kMcTraceList, 0, "c412", 7);  // before the selection
  ui.GetNumListItems(panel, p::kMcTraceList, count);
  EXPECT_EQ(count, 3);
  ui.GetCtrlIndex(panel, p::kMcTraceList, index);
  EXPECT_EQ(index, 1);  // still "a412"
  EXPECT_EQ(ui.GetCtrlInt(panel, p::kMcTraceList), 0);

  EXPECT_EQ(ui.SetCtrlVal(panel, p::kMcTraceList, 7), 0);  // select by value
  ui.GetCtrlIndex(panel, p::kMcTraceList, index);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(ui.SetCtrlIndex(panel, p::kMcTraceList, 3), headless::kBadArgument);

  ui.ReplaceListItem(panel, p::kMcTraceList, 2, "a440x", 9);
  int v = 0;
  ui.GetValueFromIndex(panel, p::kMcTraceList, 2, v);
  EXPECT_EQ(v, 9);
  EXPECT_EQ(ui.NewestPanel(p::kMeterConfig)->controls.at(p::kMcTraceList)->items[2].label, "a440x");

  int checked = 1;
  ui.CheckListItem(panel, p::kMcTraceList, 1, 1);
  ui.IsListItemChecked(panel, p::kMcTraceList, 1, checked);
  EXPECT_EQ(checked, 1);
  ui.IsListItemChecked(panel, p::kMcTraceList, 0, checked);
  EXPECT_EQ(checked, 0);

  ui.Select(p::kMeterConfig, p::kMcTraceList, 2, EventType::ValueChanged);
  UserEvent event = ui.GetUserEvent(false);
  EXPECT_EQ(event.type, EventType::ValueChanged);
  ui.GetCtrlIndex(panel, p::kMcTraceList, index);
  EXPECT_EQ(index, 2);

  ui.ClearListCtrl(panel, p::kMcTraceList);
  ui.GetNumListItems(panel, p::kMcTraceList, count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(ui.InsertListItem(panel, p::kMcName, -1, "x", 0), headless::kBadArgument);
}

TEST_F(HeadlessUiTest, StripChartsKeepInterleavedPoints) {
  int panel = ui.LoadPanel(0, p::kMeterConfig);
  const std::array<double, 6> points = {1, 10, 2, 20, 3, 30};
  ASSERT_EQ(ui.PlotStripChart(panel, p::kMcPreview, points, 2), 0);
  EXPECT_EQ(ui.StripTrace(panel, p::kMcPreview, 0), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(ui.StripTrace(panel, p::kMcPreview, 1), (std::vector<double>{10, 20, 30}));
  EXPECT_EQ(ui.PlotStripChart(panel, p::kMcPreview, std::span(points).first(5), 2),
            headless::kBadArgument);
  EXPECT_EQ(ui.SetTraceAttribute(panel, p::kMcPreview, 0, Attr::TraceColor, 0x0000FF), 0);
  EXPECT_EQ(ui.Control(panel, p::kMcPreview)->traces.at(0).color, 0x0000FF);
  ui.ClearStripChart(panel, p::kMcPreview);
  EXPECT_TRUE(ui.StripTrace(panel, p::kMcPreview, 0).empty());
}

TEST_F(HeadlessUiTest, ShownPanelsValuesAndCursorAreRecorded) {
  int wait = ui.LoadPanel(0, p::kWait);
  ui.SetCtrlVal(wait, p::kWaitText, std::string("Reading..."));
  ui.InstallPopup(wait);
  ui.SetCtrlVal(wait, p::kWaitText, std::string("Reading... 1"));
  ui.SetMouseCursor(Cursor::HourGlass);
  ui.SetMouseCursor(Cursor::Default);
  ui.RemovePopup(wait);
  ui.DiscardPanel(wait);

  ASSERT_EQ(ui.shows().size(), 1u);
  EXPECT_TRUE(ui.shows()[0].popup);
  EXPECT_EQ(std::get<std::string>(ui.shows()[0].values.at(p::kWaitText)), "Reading...");
  EXPECT_TRUE(ui.WasShown(p::kWait));
  EXPECT_FALSE(ui.WasShown(p::kPort));
  EXPECT_EQ(ui.ValueHistory(p::kWait, p::kWaitText).size(), 2u);
  EXPECT_EQ(std::get<std::string>(*ui.ValueOf(p::kWait, p::kWaitText)), "Reading... 1");
  EXPECT_EQ(ui.NewestHandle(p::kWait), 0);
  EXPECT_EQ(ui.NewestHandle(p::kWait, false), wait);
  EXPECT_EQ(ui.cursor(), Cursor::Default);
  EXPECT_EQ(ui.cursorHistory().size(), 2u);
  EXPECT_EQ(ui.RemovePopup(wait), 0);  // harmless a second time
}

TEST_F(HeadlessUiTest, DiscardingAParentDiscardsItsChildren) {
  int main = ui.LoadPanel(0, p::kMain);
  int child = ui.LoadPanel(main, p::kError);
  ui.InstallPopup(child);
  EXPECT_EQ(ui.popupStack(), std::vector<int>{child});
  ui.DiscardPanel(main);
  EXPECT_FALSE(ui.IsLoaded(child));
  EXPECT_TRUE(ui.popupStack().empty());
  EXPECT_EQ(ui.SetCtrlVal(child, p::kErrorText, std::string("x")), headless::kBadPanel);
}

TEST_F(HeadlessUiTest, AWaitWithATimeLimitLetsTheTimePassOnTheClock) {
  const int main = ui.LoadPanel(0, p::kMain);
  ui.Commit(p::kMain, p::kMainZoomIn);
  const double start = clock.Timer();
  // A scripted event comes at once.
  const UserEvent event = ui.WaitUserEvent(5.0, {});
  EXPECT_EQ(event.type, EventType::Commit);
  EXPECT_EQ(event.panel, main);
  EXPECT_EQ(clock.Timer(), start);
  // Nothing scripted: the time passes and nothing comes.
  EXPECT_EQ(ui.WaitUserEvent(0.25, {}).type, EventType::None);
  EXPECT_DOUBLE_EQ(clock.Timer() - start, 0.25);
  EXPECT_EQ(ui.unexpectedWaits(), 0);
  // No limit with nothing scripted is a wait nobody answers.
  EXPECT_EQ(ui.WaitUserEvent(-1.0, {}).type, EventType::Close);
  EXPECT_EQ(ui.unexpectedWaits(), 1);
  ui.ClearRecords();
}

}  // namespace
}  // namespace sondrix::platform
