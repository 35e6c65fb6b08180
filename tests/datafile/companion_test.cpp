// SPDX-License-Identifier: GPL-3.0-or-later
// The companion file of a recording: a hand-written companion reads as it
// says, what is written reads back whole, and what is no companion is
// refused with a reason.
#include "datafile/companion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
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

// Texts of any bytes (a file name in another encoding, a value given on the
// command line) are written as well-formed UTF-8, bytes that are none as
// "\xNN", and read back exactly; another JSON reader takes the file.
TEST(CompanionTest, TextsOfAnyBytesAreWrittenEscapedAndReadBackExactly) {
  test::TempDir dir;
  Companion c;
  c.deviceFile = "m\xe8tre.dev";
  c.port = dir.File("cap\xff.raw");
  c.positionSource = "/dev/serial/by-id/usb-\xc0\xaf";
  ASSERT_TRUE(c.deployment.Set("note", "caf\xe9 \\xe9 \xc3\xa9t\xc3\xa9"));
  c.events = {{1765308000123, "note", "\xff\xfe"}};
  const std::string path = dir.File("run.meta.json");
  ASSERT_EQ(WriteCompanion(path, c), status::kOk);
  const std::string text = test::ReadTextFile(path).value_or("");
  EXPECT_NE(text.find(R"("device_file": "m\\xe8tre.dev")"), std::string::npos) << text;
  EXPECT_NE(text.find("\"note\": \"caf\\\\xe9 \\\\x5cxe9 \xc3\xa9t\xc3\xa9\""), std::string::npos) << text;
  const nlohmann::json other = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  ASSERT_FALSE(other.is_discarded());
  EXPECT_EQ(other["source"]["device_file"], "m\\xe8tre.dev");
  Companion back;
  std::string error;
  ASSERT_EQ(ReadCompanion(path, back, error), status::kOk) << error;
  EXPECT_EQ(back, c);
}

TEST(CompanionTest, WhatIsNoCompanionIsRefusedWithAReason) {
  Companion c;
  std::string error;
  for (const char* text : {"", "[1]", "{\"format\": \"sondrix-companion\"}", "{\"version\": 2}",
                           "{\"version\": 1, \"time_zero_utc_ms\": \"soon\"}",
                           "{\"version\": 1, \"deployment\": {\"cruise\": 12}}", "{\"version\": 1,",
                           "{\"version\": 1, \"events\": {}}", "{\"version\": 1, \"events\": [{\"kind\": \"note\"}]}",
                           "{\"version\": 1, \"events\": [{\"utc_ms\": 1, \"note\": 7}]}",
                           // Numbers that would wrap or overflow where they are used: a version
                           // of 2^32 + 1 (1 in 32 bits), times near 2^63 or outside 1970 ... 9999.
                           "{\"version\": 4294967297}", "{\"version\": 18446744073709551615}",
                           "{\"version\": 1.0}",
                           "{\"version\": 1, \"time_zero_utc_ms\": 9223372036854775000}",
                           "{\"version\": 1, \"time_zero_utc_ms\": -9223372036854775000}",
                           "{\"version\": 1, \"time_zero_utc_ms\": 253402300800000}",
                           "{\"version\": 1, \"time_zero_utc_ms\": -1}",
                           "{\"version\": 1, \"time_zero_utc_ms\": 1e15}",
                           "{\"version\": 1, \"utc_offset_seconds\": 4294967296}",
                           "{\"version\": 1, \"utc_offset_seconds\": 64801}",
                           "{\"version\": 1, \"events\": [{\"utc_ms\": 18446744073709551615}]}",
                           "{\"version\": 1, \"clock\": {\"anchors\": [[18446744073709551615, 0]]}}"}) {
    error.clear();
    EXPECT_FALSE(ParseCompanion(text, c, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  EXPECT_FALSE(ParseCompanion("{\"version\": 4294967297}", c, error));
  EXPECT_EQ(error, "version 4294967297 is not one this program reads");
  EXPECT_FALSE(ParseCompanion("{\"version\": 1, \"time_zero_utc_ms\": 9223372036854775000}", c, error));
  EXPECT_EQ(error, "time_zero_utc_ms 9223372036854775000 lies outside the years 1970 ... 9999");
  // The ends of the range are times.
  ASSERT_TRUE(ParseCompanion(R"({"version": 1, "time_zero_utc_ms": 253402300799999, "utc_offset_seconds": -64800,
                                 "events": [{"utc_ms": 0}]})", c, error)) << error;
  EXPECT_EQ(c.timeZeroUtcMs, 253402300799999);
  EXPECT_EQ(c.utcOffsetSeconds, -64800);
  test::TempDir dir;
  EXPECT_EQ(ReadCompanion(dir.File("none.meta.json"), c, error), status::kCantOpenFile);
}

}  // namespace
}  // namespace sondrix
