// SPDX-License-Identifier: GPL-3.0-or-later
// Opening another source while one is open: when the new one does not open
// (its serial number declined, its port failing), the one open before stays
// attached and a run of it still works; the serial port it let go for the
// attempt is taken up again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/acquire.h"
#include "app/app_fixtures.h"
#include "common/panels.h"
#include "datafile/data_file.h"
#include "meter/source_factory.h"

namespace sondrix {
namespace {

namespace p = panels;
using test::kNeritSerial;

constexpr std::uint32_t kOtherSerial = 0x04000777;

class KeepSourceTest : public test::AppTest {
 protected:
  // A run of the attached source, stopped after 20 lines and saved as
  // `name`; the lines saved (with the packets that had arrived when it was
  // stopped, more).
  std::size_t RunAndSave(const std::string& name) {
    StopWhen([this] {
      return app.session().recording() != nullptr && app.session().recording()->writtenLines() == 20;
    });
    ui.AnswerFile(HomeFile(name));
    EXPECT_EQ(Acquire_Run(app), status::kOk);
    return DataLines(HomeFile(name)).size();
  }

  std::string Title() { return ui.GetCtrlText(app.mainPanel, p::kMainTitle); }
};

TEST_F(KeepSourceTest, DecliningTheSerialNumberQuestionKeepsTheMeterOpenBefore) {
  Start();
  // The meter on COM1; a second device file for the same instrument, with
  // another serial number, on the same port.
  Feed(1, 8);
  OpenDevice("COM1");
  Source* before = app.source();
  const std::string title = Title();
  const int opened = serial.OpenCount(1);
  const std::string other = test::WriteTextFile(HomeFile("other.dev"), test::MeterDeviceText(kOtherSerial, test::kNeritTraces));
  ui.AnswerConfirm(false);

  EXPECT_EQ(OpenNamedSource(app, kSourceKindDevice, other, "COM1"), status::kCancelled);
  EXPECT_EQ(PopupTexts("Open device"), std::vector<std::string>{"Wrong serial number (0400012D).  Open anyway?"});
  EXPECT_TRUE(ErrorTexts().empty());
  // The same meter, its port taken up again, its title on show.
  EXPECT_EQ(app.source(), before);
  EXPECT_EQ(app.sourceKind, kSourceKindDevice);
  EXPECT_TRUE(serial.IsOpen(1));
  // Opened for the new file, then again for the meter kept.
  EXPECT_EQ(serial.OpenCount(1), opened + 2);
  EXPECT_EQ(Title(), title);
  EXPECT_GE(RunAndSave("kept.dat"), 20u);
}

TEST_F(KeepSourceTest, ANewMeterThatFailsOnAnotherPortLeavesTheOldOnesPortAlone) {
  Start();
  Feed(1, 8);
  OpenDevice("COM1");
  Source* before = app.source();
  const int opened = serial.OpenCount(1);
  serial.SetOpenResult(2, -7);

  EXPECT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(kNeritSerial, "second.dev"), "COM2"), -7);
  ASSERT_EQ(ErrorTexts().size(), 1u);
  EXPECT_EQ(ErrorTexts()[0].substr(0, 24), "Cannot open port. Is the");
  EXPECT_EQ(app.source(), before);
  // Two port names may be one device behind the port map: the old meter
  // let its port go for the attempt all the same, and took it up again.
  EXPECT_TRUE(serial.IsOpen(1));
  EXPECT_EQ(serial.OpenCount(1), opened + 1);
  EXPECT_GE(RunAndSave("kept.dat"), 20u);
}

TEST_F(KeepSourceTest, AReplayStaysAttachedAndItsPlaceWhenAMeterIsDeclined) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindFile, Recording(12), ""), status::kOk);
  Source* before = app.source();
  Feed(1, 2, kOtherSerial);
  ui.AnswerConfirm(false);

  EXPECT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), "COM1"), status::kCancelled);
  EXPECT_EQ(app.source(), before);
  EXPECT_EQ(app.sourceKind, kSourceKindFile);
  EXPECT_FALSE(serial.IsOpen(1));
  // A data file has no serial port to let go: the replay goes on from its
  // start, whole (every line read, good or lost).
  EXPECT_EQ(Acquire_Run(app), status::kUnexpectedEof);
  EXPECT_EQ(app.display().sampleCount() + app.source()->GetLostCount(), 12);
}

TEST_F(KeepSourceTest, AnOldMeterThatCannotTakeUpItsPortAgainIsClosedWithAMessage) {
  Start();
  Feed(1, 8);
  OpenDevice("COM1");
  const std::string other = test::WriteTextFile(HomeFile("other.dev"), test::MeterDeviceText(kOtherSerial, test::kNeritTraces));
  // While the question is up, the port goes away (the adapter pulled out).
  ui.popupAnswerer = [this](const platform::PopupRecord& popup) -> std::optional<int> {
    if (popup.title != "Open device") return std::nullopt;
    serial.SetOpenResult(1, -7);
    serial.SetOpenProblem(1, {"not there", "COM1 (/dev/ttyUSB0) cannot be opened: /dev/ttyUSB0 does not exist."});
    return 0;
  };

  EXPECT_EQ(OpenNamedSource(app, kSourceKindDevice, other, "COM1"), status::kCancelled);
  EXPECT_EQ(app.source(), nullptr);
  ASSERT_EQ(ErrorTexts().size(), 1u);
  EXPECT_EQ(ErrorTexts()[0], "Test meter could not be opened again on COM1.\nCOM1 (/dev/ttyUSB0) cannot be opened: "
                             "/dev/ttyUSB0 does not exist.");
  EXPECT_EQ(Title(), "(no source)");
  ui.popupAnswerer = nullptr;
}

}  // namespace
}  // namespace sondrix
