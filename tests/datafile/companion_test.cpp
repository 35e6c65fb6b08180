// SPDX-License-Identifier: GPL-3.0-or-later
// The companion file of a recording: a hand-written companion reads as it
// says, what is written reads back whole, and what is no companion is
// refused with a reason.
#include "datafile/companion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/fixtures.h"

namespace sondrix {
namespace {

TEST(CompanionTest, AHandWrittenCompanionReadsAsItSays) {
  const std::string text = R"({
    "format": "sondrix-companion", "version": 1,
    "time_zero_utc_ms": 1765308000123, "utc_offset_seconds": -10800,
    "program": "Sondrix 7.1",
    "source": {"port": "COM1", "device": "/dev/serial/by-id/usb-adapter", "serial_number": "0400012D",
               "device_file": "nerit-9wl.dev"},
    "deployment": {"cruise": "AT50-12", "station": "7", "cast": "3", "note": "über dem Schelf"},
    "positions": []
  })";
  Companion c;
  std::string error;
  ASSERT_TRUE(ParseCompanion(text, c, error)) << error;
  EXPECT_EQ(c.timeZeroUtcMs, 1765308000123);
  EXPECT_EQ(c.utcOffsetSeconds, -10800);
  EXPECT_EQ(c.device, "/dev/serial/by-id/usb-adapter");
  EXPECT_EQ(c.serialNumber, "0400012D");
  EXPECT_EQ(*c.deployment.Find("cruise"), "AT50-12");
  EXPECT_EQ(*c.deployment.Find("note"), "über dem Schelf");
  EXPECT_EQ(*c.deployment.Find("contact"), "");
  EXPECT_EQ(c.deployment.Find("ship"), nullptr);
}

TEST(CompanionTest, WhatIsWrittenReadsBackWholeAndReplacesTheOldOne) {
  test::TempDir dir;
  Companion c;
  c.timeZeroUtcMs = 1765308000123;
  c.utcOffsetSeconds = 3600;
  c.program = "Sondrix 7.1";
  c.port = "COM2";
  c.deviceFile = "benth-100wl.dev";
  ASSERT_TRUE(c.deployment.Set("investigators", "A. Smith, B. Jones"));
  ASSERT_TRUE(c.deployment.Set("note", "line one\nline \"two\""));
  c.events = {{1765308000123, "start", ""}, {1765308060500, "cast start", "CTD at 5 m, \"soak\""}};
  c.positionSource = "udp:10110";
  EXPECT_FALSE(c.deployment.Set("ship", "x"));
  const std::string path = CompanionPathFor(dir.File("cast 3.dat"));
  EXPECT_EQ(path, dir.File("cast 3.meta.json"));
  ASSERT_EQ(WriteCompanion(path, Companion{}), status::kOk);
  ASSERT_EQ(WriteCompanion(path, c), status::kOk);
  Companion back;
  std::string error;
  ASSERT_EQ(ReadCompanion(path, back, error), status::kOk) << error;
  EXPECT_EQ(back, c);
  EXPECT_FALSE(std::filesystem::exists(path + ".new"));
  // A run with no sample yet has no time zero.
  ASSERT_EQ(WriteCompanion(path, Companion{}), status::kOk);
  ASSERT_EQ(ReadCompanion(path, back, error), status::kOk);
  EXPECT_FALSE(back.timeZeroUtcMs.has_value());
  EXPECT_EQ(CompanionPathFor("run"), "run.meta.json");
}

TEST(CompanionTest, WhatIsNoCompanionIsRefusedWithAReason) {
  Companion c;
  std::string error;
  for (const char* text : {"", "[1]", "{\"format\": \"sondrix-companion\"}", "{\"version\": 2}",
                           "{\"version\": 1, \"time_zero_utc_ms\": \"soon\"}",
                           "{\"version\": 1, \"deployment\": {\"cruise\": 12}}", "{\"version\": 1,",
                           "{\"version\": 1, \"events\": {}}", "{\"version\": 1, \"events\": [{\"kind\": \"note\"}]}",
                           "{\"version\": 1, \"events\": [{\"utc_ms\": 1, \"note\": 7}]}"}) {
    error.clear();
    EXPECT_FALSE(ParseCompanion(text, c, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  test::TempDir dir;
  EXPECT_EQ(ReadCompanion(dir.File("none.meta.json"), c, error), status::kCantOpenFile);
}

}  // namespace
}  // namespace sondrix
