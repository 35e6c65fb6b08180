#include "common/errors.h"

#include <gtest/gtest.h>

#include "common/panels.h"
#include "platform/headless/headless_ui.h"
#include "support/fixtures.h"

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

TEST_F(ErrorsTest, DebugMsgWritesNothingWhenDebugIsOff) {
  int main = ui.LoadPanel(0, p::kMain);
  Error_SetDebugLine(main, p::kMainLost);
  DebugMsg("Starting %d", 1234);
  Message_Show("wait");
  std::size_t written = ui.valueLog().size();
  DebugMsg("Starting %d", 1234);
  EXPECT_EQ(ui.valueLog().size(), written);
  Message_Hide();
}

TEST_F(ErrorsTest, DebugMsgGoesToTheWaitMessageElseTheDebugLine) {
  debugflag = 1;
  int main = ui.LoadPanel(0, p::kMain);
  Error_SetDebugLine(main, p::kMainLost);
  DebugMsg("Starting %d", 1234);
  EXPECT_EQ(ui.GetCtrlText(main, p::kMainLost), "Starting 1234");
  CtrlValue visible;
  ui.GetCtrlAttribute(main, p::kMainLost, platform::Attr::Visible, visible);
  EXPECT_EQ(std::get<int>(visible), 1);

  Message_Show("wait");
  DebugMsg("count %i", 7);
  EXPECT_EQ(WaitText(), "count 7");
  EXPECT_EQ(ui.GetCtrlText(main, p::kMainLost), "Starting 1234");
  Message_Hide();
}

TEST_F(ErrorsTest, DebugMsgFormatsOneIntegerSafely) {
  debugflag = 1;
  int main = ui.LoadPanel(0, p::kMain);
  Error_SetDebugLine(main, p::kMainLost);
  auto shown = [&](std::string_view format, long value) {
    DebugMsg(format, value);
    return ui.GetCtrlText(main, p::kMainLost);
  };
  EXPECT_EQ(shown("[%5d]", 42), "[   42]");
  EXPECT_EQ(shown("[%-4d|", 42), "[42  |");
  EXPECT_EQ(shown("%03d", 7), "007");
  EXPECT_EQ(shown("%x", -1), "ffffffff");
  EXPECT_EQ(shown("%lx", -1), "ffffffffffffffff");
  EXPECT_EQ(shown("%ld", 5000000000L), "5000000000");
  EXPECT_EQ(shown("%c", 65), "A");
  EXPECT_EQ(shown("100%%", 0), "100%");
  EXPECT_EQ(shown("ends with %", 0), "ends with %");
  // Only one value: a second conversion, and conversions that would read a
  // pointer, stay as written.
  EXPECT_EQ(shown("%d and %d", 3), "3 and %d");
  EXPECT_EQ(shown("%s %n %d", 9), "%s %n 9");
  // At most 127 characters, whatever the width or length asked for.
  EXPECT_EQ(shown("%999999999d", 1).size(), 127u);
  EXPECT_EQ(shown(std::string(300, 'z'), 0), std::string(127, 'z'));
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
