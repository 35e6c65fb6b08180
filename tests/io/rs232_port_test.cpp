// SPDX-License-Identifier: GPL-3.0-or-later
// The live serial port over the in-memory serial library: names, reads and
// their raw capture, sync-pattern search, resets, and the port-choice dialog.
#include "io/rs232_port.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "common/panels.h"
#include "common/settings.h"
#include "common/status.h"
#include "common/utils.h"
#include "io/hw_port.h"
#include "io_test_env.h"
#include "platform/headless/fake_serial.h"
#include "platform/headless/headless_ui.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

using platform::FakeSerial;

std::tm StartTime() {
  std::tm t{};
  t.tm_year = 124;  // 2024
  t.tm_mon = 2;
  t.tm_mday = 5;
  t.tm_hour = 14;
  t.tm_min = 7;
  t.tm_sec = 9;
  return t;
}

class RS232PortTest : public ::testing::Test {
 protected:
  RS232PortTest() : scoped_(fake_) {
    gStartTime = StartTime();
    HWPort_SetMap(0xFFFFFFFFu);
  }
  ~RS232PortTest() override { gStartTime.reset(); }

  // A named, open port COM1.
  void OpenCom1(int baud = 19200) {
    ASSERT_EQ(port_.SetName("COM1"), 1);
    ASSERT_EQ(port_.Open(baud), 1);
  }
  void CaptureOn() { dir_.WriteFile("Sondrix.ini", "[General]\nSaveRaw=yes\n"); }

  test::TempProjectDir dir_;
  FakeSerial fake_;
  platform::ScopedSerial scoped_;
  RS232Port port_;
};

TEST_F(RS232PortTest, NamesAreCom1ToCom8InAnyCase) {
  EXPECT_EQ(port_.PortNumber(), -1);
  std::string name = "untouched";
  EXPECT_EQ(port_.GetName(name), -1011);
  EXPECT_EQ(name, "untouched");

  EXPECT_EQ(port_.SetName("COM9"), -1011);
  EXPECT_EQ(port_.PortNumber(), -1);
  EXPECT_EQ(port_.SetName("com3"), 1);
  EXPECT_EQ(port_.PortNumber(), 3);
  EXPECT_EQ(port_.GetName(name), 1);
  EXPECT_EQ(name, "COM3");

  for (const char* bad : {"COM0", "COM10", "COM", "LPT1", "COM1 ", "/dev/ttyS0", ""}) {
    EXPECT_EQ(port_.SetName(bad), -1011) << bad;
  }
  EXPECT_EQ(port_.PortNumber(), 3);
  EXPECT_EQ(port_.BufferSize(), 4096);
}

TEST_F(RS232PortTest, BytesAvailNeedsANameThenCountsTheInputQueue) {
  EXPECT_EQ(port_.BytesAvail(), -10801);
  OpenCom1();
  EXPECT_EQ(port_.BytesAvail(), 0);
  fake_.Feed(1, "12345");
  fake_.FeedTimeout(1);
  fake_.Feed(1, "later");
  EXPECT_EQ(port_.BytesAvail(), 5);
}

TEST_F(RS232PortTest, OpenUsesTheMeterLineSettingsAndResets) {
  OpenCom1(38400);
  EXPECT_TRUE(fake_.IsOpen(1));
  EXPECT_EQ(fake_.Baud(1), 38400);
  EXPECT_EQ(fake_.FlushInCount(1), 1);
  EXPECT_EQ(fake_.FlushOutCount(1), 1);
  EXPECT_EQ(port_.Close(), 1);
  EXPECT_FALSE(fake_.IsOpen(1));
  EXPECT_EQ(port_.Close(), -3);  // the library's code, unchanged
}

TEST_F(RS232PortTest, OpenFailuresComeBackUnchanged) {
  RS232Port unnamed;
  EXPECT_EQ(unnamed.Open(9600), -2);
  fake_.SetOpenResult(2, -7);
  ASSERT_EQ(port_.SetName("COM2"), 1);
  EXPECT_EQ(port_.Open(9600), -7);
  EXPECT_EQ(port_.Open(0), -14);
}

TEST_F(RS232PortTest, ReadLineKeepsPrintableTextAndCapturesIt) {
  CaptureOn();
  OpenCom1();
  fake_.Feed(1, std::string("AB\0C \r\r\n", 8));
  fake_.Feed(1, "second\n");
  std::string line;
  EXPECT_EQ(port_.ReadLine(line), 3);
  EXPECT_EQ(line, "ABC");
  EXPECT_EQ(port_.ReadLine(line), 6);
  EXPECT_EQ(line, "second");
  ASSERT_TRUE(port_.Capturing());
  EXPECT_EQ(port_.SaveRaw(), 1);
  EXPECT_FALSE(port_.Capturing());
  // The cleaned lines only: no terminators, no line feeds.
  std::vector<std::uint8_t> captured = test::ReadBytes(dir_.path() / port_.CaptureFileName());
  EXPECT_EQ(std::string(captured.begin(), captured.end()), "ABCsecond");
}

TEST_F(RS232PortTest, ReadLineStopsAfter256BytesAndPassesErrorsOn) {
  OpenCom1();
  fake_.Feed(1, std::string(300, 'x') + "\n");
  std::string line;
  EXPECT_EQ(port_.ReadLine(line), 256);
  EXPECT_EQ(port_.ReadLine(line), 44);
  fake_.SetIoError(1, -151);
  EXPECT_EQ(port_.ReadLine(line), -151);
  EXPECT_EQ(port_.Sync(), -151);
}

TEST_F(RS232PortTest, SyncSkipsPastTheNextLineFeedWithoutCapturing) {
  CaptureOn();
  OpenCom1();
  fake_.Feed(1, "partial line\nnext\n");
  EXPECT_EQ(port_.Sync(), 1);
  std::string line;
  EXPECT_EQ(port_.ReadLine(line), 4);
  EXPECT_EQ(line, "next");
  port_.SaveRaw();
  std::vector<std::uint8_t> captured = test::ReadBytes(dir_.path() / port_.CaptureFileName());
  EXPECT_EQ(std::string(captured.begin(), captured.end()), "next");
}

TEST_F(RS232PortTest, ShortReadOnTimeOutReportsSuccessAndCapturesOnlyWhatCame) {
  CaptureOn();
  OpenCom1();
  fake_.Feed(1, "abc");
  fake_.FeedTimeout(1);
  fake_.Feed(1, "def");
  std::uint8_t buffer[8] = {'-', '-', '-', '-', '-', '-', '-', '-'};
  EXPECT_EQ(port_.Read(buffer, 8), 1);
  EXPECT_EQ(std::string(buffer, buffer + 4), "abc-");
  EXPECT_EQ(port_.Read(buffer, 3), 1);
  EXPECT_EQ(std::string(buffer, buffer + 3), "def");
  port_.SaveRaw();
  std::vector<std::uint8_t> captured = test::ReadBytes(dir_.path() / port_.CaptureFileName());
  EXPECT_EQ(std::string(captured.begin(), captured.end()), "abcdef");
}

TEST_F(RS232PortTest, WritePassesBytesAndErrors) {
  OpenCom1();
  const std::uint8_t command[] = {0xFF, 0x00, 0xCC, 0x00};
  EXPECT_EQ(port_.Write(command, 4), 1);
  EXPECT_EQ(fake_.Written(1), std::vector<std::uint8_t>(command, command + 4));
  port_.Close();
  EXPECT_EQ(port_.Write(command, 4), -3);
  std::uint8_t buffer[4];
  EXPECT_EQ(port_.Read(buffer, 4), -3);
}

TEST_F(RS232PortTest, SearchFindsThePatternAndConsumesExactlyIt) {
  OpenCom1();
  const std::uint8_t sync[] = {0x00, 0xFF, 0x00, 0xFF};
  fake_.Feed(1, std::vector<std::uint8_t>{0x00, 0xFF, 0x00, 0xFF, 0x42});
  EXPECT_EQ(port_.Search(sync, 4, 8), 1);
  EXPECT_EQ(fake_.Remaining(1), 1u);
  std::uint8_t next = 0;
  EXPECT_EQ(port_.Read(&next, 1), 1);
  EXPECT_EQ(next, 0x42);

  // Behind noise, including a false start.
  fake_.Feed(1, std::vector<std::uint8_t>{0x01, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x43});
  EXPECT_EQ(port_.Search(sync, 4, 8), 1);
  EXPECT_EQ(port_.Read(&next, 1), 1);
  EXPECT_EQ(next, 0x43);
}

TEST_F(RS232PortTest, SearchGivesUpBeyondTheByteAllowance) {
  OpenCom1();
  const std::uint8_t sync[] = {0x00, 0xFF, 0x00, 0xFF};
  // The pattern is at the head, but fewer bytes than the pattern are allowed.
  fake_.Feed(1, std::vector<std::uint8_t>{0x00, 0xFF, 0x00, 0xFF});
  EXPECT_EQ(port_.Search(sync, 4, 3), -1000);
  // Noise of 10 bytes then the pattern: found when 14 are allowed, not 13.
  std::vector<std::uint8_t> stream(14, 0x55);
  for (int k = 0; k < 4; ++k) stream[10 + k] = sync[k];
  fake_.Feed(1, stream);
  EXPECT_EQ(port_.Search(sync, 4, 13), -1000);
  fake_.Feed(1, stream);
  EXPECT_EQ(port_.Search(sync, 4, 14), 1);
}

TEST_F(RS232PortTest, SearchRefusesPatternsLongerThanItsWindowAndStopsOnTimeOut) {
  OpenCom1();
  std::vector<std::uint8_t> pattern(129, 0xAA);
  fake_.Feed(1, pattern);
  EXPECT_EQ(port_.Search(pattern.data(), 129, 1000), -1001);
  EXPECT_EQ(port_.Search(pattern.data(), 0, 1000), -1001);
  EXPECT_EQ(port_.Search(pattern.data(), 128, 1000), 1);  // the window's full size

  const std::uint8_t sync[] = {0x00, 0xFF, 0x00, 0xFF};
  fake_.Feed(1, std::vector<std::uint8_t>{1, 2, 3, 4, 5});
  EXPECT_EQ(port_.Search(sync, 4, 100), -99);  // ComRdByte's time-out
}

TEST_F(RS232PortTest, SearchCapturesEveryByteItConsumes) {
  CaptureOn();
  OpenCom1();
  const std::uint8_t sync[] = {0x00, 0xFF, 0x00, 0xFF};
  const std::vector<std::uint8_t> stream = {9, 8, 0x00, 0xFF, 0x00, 0xFF};
  fake_.Feed(1, stream);
  EXPECT_EQ(port_.Search(sync, 4, 100), 1);
  port_.SaveRaw();
  EXPECT_EQ(test::ReadBytes(dir_.path() / port_.CaptureFileName()), stream);
}

TEST_F(RS232PortTest, CaptureFileIsNamedAfterPortAndStartTime) {
  CaptureOn();
  ASSERT_EQ(port_.SetName("COM1"), 1);
  ASSERT_EQ(port_.Open(9600), 1);
  EXPECT_EQ(port_.CaptureFileName(), "SX_Com1_240305_140709.raw");
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / "SX_Com1_240305_140709.raw"));
}

TEST_F(RS232PortTest, NoCaptureUnlessSaveRawSaysYes) {
  dir_.WriteFile("Sondrix.ini", "[General]\nSaveRaw=no\n");
  OpenCom1();
  EXPECT_FALSE(port_.Capturing());
  EXPECT_TRUE(test::FilesEndingIn(dir_.path(), ".raw").empty());
}

TEST_F(RS232PortTest, SecondResetStartsTheSameCaptureFileOver) {
  CaptureOn();
  OpenCom1();
  fake_.Feed(1, "first run, a long one");
  std::uint8_t buffer[64];
  port_.Read(buffer, 21);

  gStartTime->tm_sec = 30;  // a new file name would differ
  EXPECT_EQ(port_.Reset(), 1);
  fake_.Feed(1, "second");
  port_.Read(buffer, 6);
  port_.SaveRaw();

  const auto files = test::FilesEndingIn(dir_.path(), ".raw");
  ASSERT_EQ(files.size(), 1u);
  const std::vector<std::uint8_t> captured = test::ReadBytes(files[0]);
  // Only the second run: nothing of the first one is left behind it.
  EXPECT_EQ(std::string(captured.begin(), captured.end()), "second");
}

TEST_F(RS232PortTest, CaptureOutlivesCloseUntilSaveRaw) {
  CaptureOn();
  OpenCom1();
  port_.Close();
  EXPECT_TRUE(port_.Capturing());
  ASSERT_EQ(port_.Open(9600), 1);  // reopening rewinds the same file
  EXPECT_EQ(test::FilesEndingIn(dir_.path(), ".raw").size(), 1u);
}

TEST_F(RS232PortTest, ResetReturnsTheFlushFailure) {
  ASSERT_EQ(port_.SetName("COM4"), 1);
  EXPECT_EQ(port_.Reset(), -3);  // not open
}

// --- The port map -------------------------------------------------------------

TEST_F(RS232PortTest, PortMapMarksThePortsThatOpen) {
  fake_.SetOpenResult(2, -2);
  fake_.SetOpenResult(5, -7);
  HWPort_Init(8);
  for (int k = 1; k <= 8; ++k) {
    EXPECT_EQ(HWPort_Available(k), (k == 2 || k == 5) ? 0 : 1) << k;
    EXPECT_FALSE(fake_.IsOpen(k)) << k;  // probed and closed again
  }
  EXPECT_EQ(fake_.Baud(1), 9600);
  std::uint32_t map = 0;
  EXPECT_EQ(HWPort_GetMap(map), 1);
  EXPECT_EQ(map, 0xFFFFFFFFu & ~0x1DAu);  // bits 1, 3, 4, 6, 7, 8 clear
  EXPECT_EQ(HWPort_Available(0), 0);
  EXPECT_EQ(HWPort_Available(9), 0);
  EXPECT_EQ(HWPort_Available(-1), 0);
}

TEST_F(RS232PortTest, ReserveAndReleaseToggleAPort) {
  HWPort_SetMap(0xFFFFFFFFu & ~(1u << 3));
  EXPECT_EQ(HWPort_Reserve(3), 1);
  EXPECT_EQ(HWPort_Available(3), 0);
  EXPECT_EQ(HWPort_Reserve(3), -1006);
  EXPECT_EQ(HWPort_Release(3), 1);
  EXPECT_EQ(HWPort_Available(3), 1);
  EXPECT_EQ(HWPort_Release(3), -1007);
  EXPECT_EQ(HWPort_Reserve(9), -1005);
  EXPECT_EQ(HWPort_Release(0), -1005);
}

// --- The port-choice dialog -----------------------------------------------------

class PortDialogTest : public RS232PortTest {
 protected:
  PortDialogTest() : scopedUi_(ui_) {}

  const platform::HeadlessControl* Button(int k) const {
    return ui_.Control(ui_.NewestHandle(panels::kPort, false), panels::kPortCom1 + k - 1);
  }

  platform::HeadlessUi ui_;
  platform::ScopedUi scopedUi_;
};

TEST_F(PortDialogTest, ChoosingAPortGivesItsName) {
  HWPort_SetMap(0);
  ui_.Commit(panels::kPort, panels::kPortCom1 + 1);
  std::string name;
  EXPECT_EQ(RS232Port_PromptForPort("Nerit 0042", name), 1);
  EXPECT_EQ(name, "COM2");
  auto prompt = ui_.ValueOf(panels::kPort, panels::kPortPrompt);
  ASSERT_TRUE(prompt);
  EXPECT_EQ(std::get<std::string>(*prompt), "Read data for \"Nerit 0042\" from which source?");
  EXPECT_EQ(ui_.NewestHandle(panels::kPort), 0);  // discarded
  EXPECT_TRUE(ui_.problems().empty());
}

TEST_F(PortDialogTest, UnavailablePortsAreDimmedAndCannotBeChosen) {
  HWPort_SetMap(0xFFFFFFFFu & ~(1u << 1));  // only COM1
  ui_.Commit(panels::kPort, panels::kPortCom1 + 2);  // COM3: dimmed
  ui_.Commit(panels::kPort, panels::kPortCancel);
  std::string name = "before";
  EXPECT_EQ(port_.PromptForPort("dev", name), -1021);
  EXPECT_EQ(name, "before");
  EXPECT_EQ(ui_.refusedEvents(), 1);
  ASSERT_NE(Button(1), nullptr);
  EXPECT_FALSE(Button(1)->dimmed);
  for (int k = 2; k <= 8; ++k) EXPECT_TRUE(Button(k)->dimmed) << k;
  EXPECT_TRUE(ui_.popups().empty());
}

TEST_F(PortDialogTest, WithNoPortsEveryPortButtonIsDimmed) {
  for (int k = 1; k <= 8; ++k) fake_.SetOpenResult(k, -2);
  HWPort_Init(8);
  for (int k = 1; k <= 8; ++k) EXPECT_EQ(HWPort_Available(k), 0) << k;
  ui_.Commit(panels::kPort, panels::kPortCancel);
  std::string name;
  EXPECT_EQ(RS232Port_PromptForPort("dev", name), -1021);
  for (int k = 1; k <= 8; ++k) EXPECT_TRUE(Button(k)->dimmed) << k;
}

TEST_F(PortDialogTest, FileButtonThenCancelIsACancelWithNoMessage) {
  ui_.Commit(panels::kPort, panels::kPortFile);
  ui_.CancelFile();
  std::string name = "before";
  EXPECT_EQ(RS232Port_PromptForPort("dev", name), -1021);
  EXPECT_TRUE(name.empty());
  EXPECT_TRUE(ui_.popups().empty());
  ASSERT_EQ(ui_.fileDialogs().size(), 1u);
  EXPECT_EQ(ui_.fileDialogs()[0].request.title, "Raw data file:");
}

TEST_F(PortDialogTest, FileButtonGivesTheChosenCapture) {
  dir_.WriteFile("run.raw", "bytes");
  ui_.Commit(panels::kPort, panels::kPortFile);
  ui_.AnswerFile(dir_.File("run.raw"));
  std::string name;
  EXPECT_EQ(RS232Port_PromptForPort("dev", name), 1);
  EXPECT_EQ(name, dir_.File("run.raw"));
}

TEST_F(PortDialogTest, MissingCaptureIsReportedAndCancels) {
  ui_.Commit(panels::kPort, panels::kPortFile);
  ui_.AnswerFile(dir_.File("gone.raw"));
  std::string name;
  EXPECT_EQ(RS232Port_PromptForPort("dev", name), -1021);
  ASSERT_EQ(ui_.popups().size(), 1u);
  EXPECT_EQ(ui_.popups()[0].title, "Error");
  EXPECT_EQ(ui_.popups()[0].text, "File not found");
}

TEST_F(PortDialogTest, ClosingTheDialogCancels) {
  ui_.Close(panels::kPort);
  std::string name;
  EXPECT_EQ(RS232Port_PromptForPort("dev", name), -1021);
}

// --- What each COM reads, and mapping a COM to a port by its by-id name ---------------

const platform::SerialPortInfo kBuiltIn{"/dev/ttyS0", "serial8250", ""};
const platform::SerialPortInfo kFtdi{"/dev/ttyUSB0", "FTDI FT232R USB UART",
                                     "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"};
const platform::SerialPortInfo kProlific{"/dev/ttyUSB1", "Prolific PL2303", ""};

class PortMapDialogTest : public PortDialogTest {
 protected:
  std::string Row(int k) const {
    return std::get<std::string>(ui_.Control(ui_.NewestHandle(panels::kPort, false), panels::kPortInfo1 + k - 1)->value);
  }
  std::vector<std::string> ListLabels() const {
    std::vector<std::string> labels;
    for (const auto& item : ui_.Control(ui_.NewestHandle(panels::kPort, false), panels::kPortList)->items)
      labels.push_back(item.label);
    return labels;
  }
};

TEST_F(PortMapDialogTest, EachComSaysWhatItReadsAndWhyItDoesNotOpen) {
  fake_.SetPorts({kBuiltIn, kFtdi, kProlific});
  dir_.WriteFile("Sondrix.ini", "[Ports]\nCOM1=" + kFtdi.byId + "\nCOM4=/dev/serial/by-id/usb-Gone-if00-port0\n");
  fake_.SetOpenResult(3, -7);
  fake_.SetOpenProblem(3, {"no permission (group dialout)", "COM3 (/dev/ttyUSB1) cannot be opened: ..."});
  fake_.SetOpenResult(4, -7);
  for (const int k : {5, 6, 7, 8}) fake_.SetOpenResult(k, -2);
  HWPort_Init(8);
  std::vector<std::string> rows;
  std::vector<std::string> labels;
  ui_.Then([&](platform::HeadlessUi&) {
       for (int k = 1; k <= 8; ++k) rows.push_back(Row(k));
       labels = ListLabels();
     })
      .Commit(panels::kPort, panels::kPortCancel);
  std::string name;
  EXPECT_EQ(RS232Port_PromptForPort("dev", name), -1021);
  EXPECT_EQ(rows, (std::vector<std::string>{
                      "/dev/ttyUSB0  FTDI FT232R USB UART  (mapped by-id: follows the adapter)",
                      "/dev/ttyUSB0  FTDI FT232R USB UART  (listed)",
                      "/dev/ttyUSB1  Prolific PL2303  (listed) - cannot open: no permission (group dialout)",
                      "by-id/usb-Gone-if00-port0  (mapped; not there)",
                      "no device", "no device", "no device", "no device"}));
  EXPECT_EQ(labels, (std::vector<std::string>{
                        "/dev/ttyS0  serial8250", "/dev/ttyUSB0  FTDI FT232R USB UART  by-id usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                        "/dev/ttyUSB1  Prolific PL2303"}));
  for (int k = 3; k <= 8; ++k) EXPECT_TRUE(Button(k)->dimmed) << k;
}

TEST_F(PortMapDialogTest, MappingWritesTheByIdNameAndOffersTheComAtOnce) {
  fake_.SetPorts({kBuiltIn, kFtdi, kProlific});
  fake_.SetOpenResult(5, -2);
  HWPort_Init(8);
  fake_.SetOpenResult(5, 0);  // mapped, COM5 opens
  std::string row;
  ui_.Select(panels::kPort, panels::kPortList, 1)
      .Commit(panels::kPort, panels::kPortMap, {{panels::kPortMapCom, 5}})
      .Then([&](platform::HeadlessUi&) { row = Row(5); })
      // The adapter without a by-id name is mapped by its node.
      .Select(panels::kPort, panels::kPortList, 2)
      .Commit(panels::kPort, panels::kPortMap, {{panels::kPortMapCom, 2}})
      .Commit(panels::kPort, panels::kPortCom1 + 4);
  std::string name;
  EXPECT_EQ(RS232Port_PromptForPort("dev", name), 1);
  EXPECT_EQ(name, "COM5");
  EXPECT_EQ(test::ReadTextFile(dir_.File("Sondrix.ini")),
            "[Ports]\nCOM5=" + kFtdi.byId + "\nCOM2=/dev/ttyUSB1\n");
  EXPECT_EQ(row, "/dev/ttyUSB0  FTDI FT232R USB UART  (mapped by-id: follows the adapter)");
  EXPECT_EQ(ui_.refusedEvents(), 0);
  EXPECT_TRUE(ui_.popups().empty());
}

TEST_F(PortMapDialogTest, RescanFindsAPortPluggedInSince) {
  fake_.SetOpenResult(1, -2);
  HWPort_Init(8);
  std::vector<std::string> before;
  ui_.Then([&](platform::HeadlessUi&) {
       before = ListLabels();
       EXPECT_TRUE(Button(1)->dimmed);
       fake_.SetPorts({kFtdi});
       fake_.SetOpenResult(1, 0);
     })
      .Commit(panels::kPort, panels::kPortMap)  // dimmed while nothing is listed
      .Commit(panels::kPort, panels::kPortRescan)
      .Commit(panels::kPort, panels::kPortCom1);
  std::string name;
  EXPECT_EQ(RS232Port_PromptForPort("dev", name), 1);
  EXPECT_EQ(name, "COM1");
  EXPECT_EQ(before, std::vector<std::string>{"No serial ports found: plug the adapter in and press Rescan."});
  EXPECT_EQ(ui_.refusedEvents(), 1);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("Sondrix.ini")));
}

TEST_F(PortDialogTest, PanelThatCannotBeLoadedIsOutOfMemory) {
  ui_.FailLoad(panels::kPort);
  std::string name;
  EXPECT_EQ(RS232Port_PromptForPort("dev", name), -1016);
}

}  // namespace
}  // namespace sondrix
