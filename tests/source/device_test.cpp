// SPDX-License-Identifier: GPL-3.0-or-later
// The live-device base: its defaults, the device type of a configuration
// file, the open/close of the configuration file, and the dialog that
// chooses a device and its port. Also the multi-source settings file.
#include "source/device.h"

#include <gtest/gtest.h>

#include "common/panels.h"
#include "datafile/data_file.h"
#include "source/factories.h"
#include "source/rudud.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

class DeviceTest : public test::HeadlessTest {};

TEST_F(DeviceTest, DeviceTypeIsTheTopByteOfTheIdentificationWord) {
  std::string id;
  test::WriteTextFile(HomeFile("a.dev"), "Test meter  \t\n53000123\t\t; Serial number\n");
  EXPECT_EQ(Device_GetDevType(HomeFile("a.dev"), id), 83);
  EXPECT_EQ(id, "Test meter");

  test::WriteTextFile(HomeFile("empty.dev"), "\n04000001\n");
  EXPECT_EQ(Device_GetDevType(HomeFile("empty.dev"), id), static_cast<std::int16_t>(-1046));
  test::WriteTextFile(HomeFile("nonumber.dev"), "Meter\nzz\n");
  EXPECT_EQ(Device_GetDevType(HomeFile("nonumber.dev"), id), static_cast<std::int16_t>(-1004));
  EXPECT_EQ(Device_GetDevType(HomeFile("missing.dev"), id), static_cast<std::int16_t>(-1002));
}

TEST_F(DeviceTest, OpenHoldsTheConfigurationFileAndFailsCleanly) {
  test::WriteTextFile(HomeFile("a.dev"), "Meter\n04000001\n");
  Device device(HomeFile("a.dev"), "COM1");
  EXPECT_EQ(device.Open(), 1);
  EXPECT_EQ(device.Close(), 1);
  Device missing(HomeFile("none.dev"), "COM1");
  EXPECT_EQ(missing.Open(), -1002);
}

TEST_F(DeviceTest, DefaultsOfALiveSource) {
  Device device("x.dev", "COM1");
  std::string date, time;
  EXPECT_EQ(device.GetDate(date, time), 1);
  EXPECT_EQ(date.size(), 10u);  // MM-DD-YYYY
  EXPECT_EQ(time.size(), 8u);   // HH:MM:SS
  EXPECT_EQ(device.GetOrigBinsize(), 1);
  EXPECT_EQ(device.GetTraceCount(), -10001);
  EXPECT_EQ(device.CanRead(), 0);
  EXPECT_EQ(device.Diagnostics(), -10014);
  std::string id;
  EXPECT_EQ(device.GetID(id), -10008);
  EXPECT_EQ(id, "NoCanDo");
  std::unique_ptr<DataFile> file;
  EXPECT_EQ(device.NewDataFile(file, "x.dat"), -10009);
  EXPECT_EQ(file, nullptr);
}

TEST_F(DeviceTest, CancellingTheFileChoiceSaysNothing) {
  ui.CancelFile();
  std::string file, port;
  EXPECT_EQ(Device_PromptForDescr(file, &port), -1021);
  EXPECT_TRUE(ui.popups().empty());
  ASSERT_EQ(ui.fileDialogs().size(), 1u);
  EXPECT_EQ(ui.fileDialogs()[0].request.title, "Device to use:");
  EXPECT_EQ(ui.fileDialogs()[0].request.defaultSpec, "*.cal;*.dev");
  EXPECT_EQ(ui.fileDialogs()[0].request.typeList, "*.dev;*.cal");
}

TEST_F(DeviceTest, UnknownDeviceTypeIsReported) {
  test::WriteTextFile(HomeFile("odd.dev"), "Odd meter\n05000001\n");
  ui.AnswerFile(HomeFile("odd.dev"));
  std::string file, port;
  EXPECT_EQ(Device_PromptForDescr(file, &port), -1032);
  EXPECT_EQ(ErrorTexts(),
            std::vector<std::string>{
                "Found problem in configuration file: the device type is not recognized."});
}

TEST_F(DeviceTest, ChoosingADeviceAndAPortRemembersTheDirectory) {
  test::WriteTextFile(HomeFile("devices/a.dev"), "Meter\n04000001\n");
  ui.AnswerFile(HomeFile("devices/a.dev")).Commit(panels::kPort, panels::kPortCancel);
  std::string file, port;
  EXPECT_EQ(Device_PromptForDescr(file, &port), -1021);
  EXPECT_EQ(file, HomeFile("devices/a.dev"));
  ui.AnswerFile(HomeFile("devices/a.dev"));
  EXPECT_EQ(Device_PromptForDescr(file, nullptr), 1);
  EXPECT_EQ(ui.fileDialogs().back().request.directory.rfind(HomeFile("devices"), 0), 0u);
}

TEST(DeviceTypeTable, CountsAndPortTypes) {
  EXPECT_EQ(DeviceTraceCount(0), 18);
  EXPECT_EQ(DeviceTraceCount(4), 18);
  EXPECT_EQ(DeviceTraceCount(3), 6);
  EXPECT_EQ(DeviceInTraceCount(241), 100);
  EXPECT_EQ(DeviceTraceCount(5), -1011);
  EXPECT_EQ(DevicePortType(7), 0);
  EXPECT_EQ(DevicePortType(5), -1001);
  EXPECT_EQ(DevicePortType(static_cast<std::int16_t>(-1002)), -1001);
  std::string port;
  EXPECT_EQ(PromptForPort(1, "x", port), -1001);
}

TEST_F(DeviceTest, RududNeedsBothDeviceAndPort) {
  EXPECT_EQ(Rudud_IsDefined(), 0);
  test::WriteTextFile(HomeFile("Rudud.ini"), "[General]\nDevice=meter.dev\n");
  EXPECT_EQ(Rudud_IsDefined(), 0);
  test::WriteTextFile(HomeFile("Rudud.ini"), "[general]\ndevice=meter.dev\nPORT=COM2\n");
  EXPECT_EQ(Rudud_IsDefined(), 1);
  EXPECT_EQ(Rudud_GetProfileString("General", "Port", "", 1024), "COM2");
}

}  // namespace
}  // namespace sondrix
