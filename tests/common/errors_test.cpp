// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errors.h"

#include <gtest/gtest.h>

#include "common/panels.h"
#include "platform/headless/headless_ui.h"
#include "support/fixtures.h"
#include "support/log_capture.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::CtrlValue;

class ErrorsTest : public test::HeadlessTest {
 protected:
  std::string WaitText() const {
    std::optional<CtrlValue> value = ui.ValueOf(p::kWait, p::kWaitText);
    return value ? std::get<std::string>(*value) : "<none>";
  }
};

TEST_F(ErrorsTest, SuccessAndCancelShowNothing) {
  Error_Report(status::kOk);
  Error_Report(status::kCancelled);
  EXPECT_TRUE(ui.popups().empty());
}

TEST_F(ErrorsTest, CodesWithoutMessageShowTheUnknownErrorText) {
  Error_Report(status::kLostLine);
  Error_Report(status::kUiOutOfMemory);
  Error_Report(status::kSrcNoColors);
  Error_Report(status::kPanelLoadFailed);
  EXPECT_EQ(ErrorTexts(), (std::vector<std::string>{
                              "Internal error: unknown error -1023",
                              "Internal error: unknown error -12",
                              "Internal error: unknown error -10201",
                              "Internal error: unknown error -1018",
                          }));
}

TEST_F(ErrorsTest, ReportShowsTheMessageTitledErrorWithOneOk) {
  Error_Report(status::kCantOpenFile);
  Error_Report(status::kUnrecognisedData);
  ASSERT_EQ(ui.popups().size(), 2u);
  const platform::PopupRecord& popup = ui.popups()[0];
  EXPECT_EQ(popup.title, "Error");
  EXPECT_EQ(popup.text, "Can't open file");
  EXPECT_EQ(popup.buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(ui.popups()[1].text,
            "Can't recognize data format coming from source.\nIs the baud rate set correctly?");
  EXPECT_EQ(ui.unansweredPopups(), 0);
}

TEST_F(ErrorsTest, ErrorPanelShowsTextAsPopupWithDefaultCursor) {
  ASSERT_EQ(Error_Init(), status::kOk);
  ui.SetMouseCursor(platform::Cursor::HourGlass);
  Error_MessageStart("Meter not responding");
  int panel = ui.NewestHandle(p::kError);
  ASSERT_GT(panel, 0);
  EXPECT_EQ(ui.cursor(), platform::Cursor::Default);
  EXPECT_TRUE(ui.IsPopup(panel));
  EXPECT_EQ(ui.GetCtrlText(panel, p::kErrorText), "Meter not responding");
  EXPECT_EQ(ui.Panel(panel)->activeControl, p::kErrorText);
  Error_MessageEnd();
  EXPECT_FALSE(ui.IsPopup(panel));
}

TEST_F(ErrorsTest, ErrorInitFailsWhenThePanelCannotBeLoaded) {
  ui.FailLoad(p::kError);
  EXPECT_EQ(Error_Init(), status::kPanelLoadFailed);
}

TEST_F(ErrorsTest, WaitMessageShowUpdateHide) {
  ASSERT_EQ(Message_Show("\n   Reading data from meter...\n   Sample"), status::kOk);
  int panel = ui.NewestHandle(p::kWait);
  ASSERT_GT(panel, 0);
  EXPECT_TRUE(ui.IsPopup(panel));
  EXPECT_EQ(WaitText(), "\n   Reading data from meter...\n   Sample");

  Message_Update("Sample 1");
  EXPECT_EQ(WaitText(), "Sample 1");
  Message_Hide();
  EXPECT_FALSE(ui.IsLoaded(panel));
  EXPECT_TRUE(ui.popupStack().empty());

  // Safe when nothing is shown.
  Message_Update("late");
  Message_Hide();
  EXPECT_EQ(WaitText(), "Sample 1");
  EXPECT_TRUE(ui.problems().empty());
}

TEST_F(ErrorsTest, WaitMessageKeepsAtMost1023Characters) {
  Message_Show(std::string(1500, 'x'));
  EXPECT_EQ(WaitText().size(), 1023u);
  Message_Update(std::string(2000, 'y'));
  EXPECT_EQ(WaitText(), std::string(1023, 'y'));
  Message_Hide();
}

TEST_F(ErrorsTest, ShowingTwiceLeavesOneWaitPopup) {
  Message_Show("first");
  Message_Show("second");
  EXPECT_EQ(ui.popupStack().size(), 1u);
  EXPECT_EQ(WaitText(), "second");
  Message_Hide();
  EXPECT_TRUE(ui.popupStack().empty());
}

TEST_F(ErrorsTest, WaitMessageFailsWhenThePanelCannotBeLoaded) {
  ui.FailLoad(p::kWait);
  EXPECT_EQ(Message_Show("x"), status::kPanelLoadFailed);
  Message_Update("y");
  Message_Hide();
  EXPECT_TRUE(ui.valueLog().empty());
}

// What the user is shown is kept in the log, each at its level, and only
// when that level is on; what shows nothing logs nothing.
TEST_F(ErrorsTest, WhatTheUserIsShownIsKeptInTheLog) {
  {
    test::LogCapture log(LogLevel::Debug);
    Error_Report(status::kOk);
    Error_Report(status::kCancelled);
    Error_Report(status::kCantOpenFile);
    Error_Message("The device on COM1 stopped answering.\nThe run was stopped.");
    Message_Show("Opening a meter...");
    Message_Hide();
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.lines()[0].level, LogLevel::Error);
    EXPECT_EQ(log.lines()[0].text, StatusText(status::kCantOpenFile) + " (" + std::to_string(status::kCantOpenFile) + ")");
    EXPECT_EQ(log.lines()[1].level, LogLevel::Warn);
    // One event, one line.
    EXPECT_EQ(log.lines()[1].text, "The device on COM1 stopped answering. / The run was stopped.");
    EXPECT_EQ(log.Texts(LogLevel::Debug), std::vector<std::string>{"Opening a meter..."});
  }
  {
    test::LogCapture log(LogLevel::Error);
    Error_Message("a note");
    Message_Show("waiting");
    Message_Hide();
    Error_Report(status::kCantOpenFile);
    EXPECT_EQ(log.lines().size(), 1u);
  }
  EXPECT_EQ(ErrorTexts().size(), 4u);  // the pop-ups themselves, as ever
}

TEST_F(ErrorsTest, HandlesOfAnEarlierUserInterfaceAreForgotten) {
  Message_Show("from the fixture's interface");
  {
    platform::HeadlessUi other;
    platform::ScopedUi scoped(other);
    Message_Update("must not reach a panel of this interface");
    Message_Hide();
    EXPECT_TRUE(other.valueLog().empty());
    EXPECT_TRUE(other.problems().empty());
  }
}

}  // namespace
}  // namespace sondrix
