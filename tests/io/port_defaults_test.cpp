// SPDX-License-Identifier: GPL-3.0-or-later
// The bare port and decoder: every operation fails with its own code.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/status.h"
#include "io/data_buffer.h"
#include "io/dport.h"

namespace sondrix {
namespace {

TEST(DPortDefaults, EveryOperationHasItsOwnCode) {
  DPort port;
  std::string text = "kept";
  std::uint8_t bytes[4] = {};
  EXPECT_EQ(port.Open(9600), -12002);
  EXPECT_EQ(port.Close(), -12003);
  EXPECT_EQ(port.BytesAvail(), -12005);
  EXPECT_EQ(port.ReadLine(text), -12004);
  EXPECT_EQ(port.Sync(), -12006);
  EXPECT_EQ(port.Reset(), -12001);
  EXPECT_EQ(port.SaveRaw(), -12014);
  EXPECT_EQ(port.PromptForPort("dev", text), -12008);
  EXPECT_EQ(port.BufferSize(), -12009);
  EXPECT_EQ(port.Search(bytes, 4, 10), -12012);
  EXPECT_EQ(port.Read(bytes, 4), -12007);
  EXPECT_EQ(port.Write(bytes, 4), -12013);
  EXPECT_EQ(port.SetName("COM1"), -12010);
  EXPECT_EQ(port.GetName(text), -12011);
  EXPECT_EQ(text, "kept");
  // None of them has a message: they are reported as unknown errors.
  for (Status code = -12014; code <= -12001; ++code) EXPECT_FALSE(StatusMessage(code)) << code;
}

TEST(DataBufferDefaults, EveryOperationHasItsOwnCodeAndSyncClearsTheSerial) {
  DataBuffer buffer;
  int last = 7;
  EXPECT_EQ(buffer.ReadRecord(last), -10502);
  EXPECT_EQ(last, 7);
  EXPECT_EQ(buffer.LinesAvailable(), -10503);
  EXPECT_EQ(buffer.BytesAvailable(), -10504);
  std::uint32_t serial = 42, word2 = 5, word3 = 6;
  EXPECT_EQ(buffer.Sync(serial, word2, word3), -10501);
  EXPECT_EQ(serial, 0u);
  EXPECT_EQ(buffer.BufferSize(), -10506);
  EXPECT_EQ(buffer.GetRefp(), nullptr);
  EXPECT_EQ(buffer.GetDatap(0), nullptr);
}

TEST(CleanPortLine, KeepsPrintableAsciiAndTrimsTrailingBlanksAndReturns) {
  std::string line("AB\0C \r\r", 7);
  CleanPortLine(line);
  EXPECT_EQ(line, "ABC");
  line = std::string("\x80x\xff y\r \t", 8);
  CleanPortLine(line);
  EXPECT_EQ(line, "x y\r \t");  // a tab ends the trimming
  line = " \r ";
  CleanPortLine(line);
  EXPECT_EQ(line, "");
}

}  // namespace
}  // namespace sondrix
