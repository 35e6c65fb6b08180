// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/utils.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "common/file.h"
#include "common/status.h"
#include "support/fake_clock.h"

namespace sondrix {
namespace {

using FilePtr = OwnedFile;

// A temporary stream holding `text`, positioned at its start.
FilePtr StreamOf(const std::string& text) {
  FilePtr file(std::tmpfile());
  EXPECT_NE(file, nullptr);
  std::fwrite(text.data(), 1, text.size(), file.get());
  std::rewind(file.get());
  return file;
}

std::string Rest(std::FILE* file) {
  std::string rest;
  for (int c; (c = std::getc(file)) != EOF;) rest.push_back(static_cast<char>(c));
  return rest;
}

// --- Text-file grammar -----------------------------------------------------------

TEST(TextGrammarTest, NextNonwhiteSkipsOnlyBlanksAndTabsAndPutsTheCharacterBack) {
  auto file = StreamOf(" \t\n x");
  EXPECT_EQ(nextNonwhite(file.get()), '\n');
  EXPECT_EQ(Rest(file.get()), "\n x");

  auto blank = StreamOf(" \t ");
  EXPECT_EQ(nextNonwhite(blank.get()), 0);
}

TEST(TextGrammarTest, IgnoreRunsToTheDelimiterWhateverTheLimit) {
  auto file = StreamOf("abcdefgh\nnext");
  ignore(file.get(), 2, '\n');
  EXPECT_EQ(Rest(file.get()), "next");

  auto noDelimiter = StreamOf("abc");
  ignore(noDelimiter.get(), 512, '\n');
  EXPECT_EQ(std::getc(noDelimiter.get()), EOF);
}

TEST(TextGrammarTest, EatCommentSkipsCommentsAndEmptyLinesUpToTheNextValue) {
  auto file = StreamOf("   ; comment to the end\n\n; a comment line\n12\n");
  eatComment(file.get());
  EXPECT_EQ(Rest(file.get()), "12\n");

  auto crlf = StreamOf("\t; comment\r\n\r\n  ;x\r\n12\r\n");
  eatComment(crlf.get());
  EXPECT_EQ(Rest(crlf.get()), "12\r\n");

  auto commentAtEnd = StreamOf(" ; no line end");
  eatComment(commentAtEnd.get());
  EXPECT_EQ(std::getc(commentAtEnd.get()), EOF);
}

TEST(TextGrammarTest, ValuesWithTrailingCommentsReadInTurn) {
  auto file = StreamOf("5\t; five\n\n; note\n  7 ; seven\n");
  int a = 0;
  int b = 0;
  ASSERT_EQ(std::fscanf(file.get(), "%d", &a), 1);
  eatComment(file.get());
  ASSERT_EQ(std::fscanf(file.get(), "%d", &b), 1);
  eatComment(file.get());
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(std::getc(file.get()), EOF);
}

TEST(TextGrammarTest, FgetlineRemovesOneLineEndAndSplitsLongLines) {
  auto file = StreamOf("abc\r\n\nabcdef\ntail");
  EXPECT_EQ(fgetline(file.get(), 128), "abc");
  EXPECT_EQ(fgetline(file.get(), 128), "");
  EXPECT_EQ(fgetline(file.get(), 4), "abc");  // at most size - 1 characters
  EXPECT_EQ(fgetline(file.get(), 128), "def");
  EXPECT_EQ(fgetline(file.get(), 128), "tail");
  EXPECT_EQ(fgetline(file.get(), 128), std::nullopt);
}

TEST(TextGrammarTest, FgetstringKeepsSizeMinusOneCharactersAndConsumesTheField) {
  auto file = StreamOf("abcdefgh\nabc\n\nlast");
  EXPECT_EQ(fgetstring(file.get(), 4, '\n'), "abc");
  EXPECT_EQ(fgetstring(file.get(), 4, '\n'), "abc");  // exactly size - 1, then the delimiter
  EXPECT_EQ(fgetstring(file.get(), 4, '\n'), "");     // empty field
  EXPECT_EQ(Rest(file.get()), "last");

  auto noDelimiter = StreamOf("abc");
  EXPECT_EQ(fgetstring(noDelimiter.get(), 64, '\n'), "");
}

// --- File names -------------------------------------------------------------------

TEST(FileNameTest, ChangeExtReplacesOnlyTheFileNamesExtension) {
  auto changed = [](std::string path) {
    changeExt(path, "RTC");
    return path;
  };
  EXPECT_EQ(changed("meter.dev"), "meter.RTC");
  EXPECT_EQ(changed("a.b.dev"), "a.b.RTC");
  EXPECT_EQ(changed("C:\\data.dir\\meter"), "C:\\data.dir\\meter.RTC");
  EXPECT_EQ(changed("/home/op/run.d/meter"), "/home/op/run.d/meter.RTC");
  EXPECT_EQ(changed("meter"), "meter.RTC");
}

TEST(FileNameTest, NameFromPathTakesThePartAfterTheLastSeparator) {
  EXPECT_EQ(NameFromPath("C:\\data\\meter.dev"), "meter.dev");
  EXPECT_EQ(NameFromPath("/home/op/meter.dev"), "meter.dev");
  EXPECT_EQ(NameFromPath("C:meter.dev"), "meter.dev");
  EXPECT_EQ(NameFromPath("meter.dev"), "meter.dev");
  EXPECT_EQ(NameFromPath("C:\\data\\"), "");
}

class TimeStampedFilenameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gStartTime.reset();
    clock_.SetLocalTime(2026, 12, 7, 9, 45, 0);
  }
  void TearDown() override { gStartTime.reset(); }

  test::FakeClock clock_;
  platform::ScopedClock scoped_{clock_};
};

TEST_F(TimeStampedFilenameTest, InsertsTheRunsStartTimeBeforeTheExtension) {
  std::string name = "SX_Com1_.raw";
  TimeStampedFilename(name, "raw");
  EXPECT_EQ(name, "SX_Com1_261207_094500.raw");
  ASSERT_TRUE(gStartTime.has_value());

  // The start time, once set, stays for the rest of the run.
  clock_.Advance(3600);
  std::string other = "out";
  TimeStampedFilename(other, "dat");
  EXPECT_EQ(other, "out261207_094500.dat");
}

TEST_F(TimeStampedFilenameTest, DotsInDirectoriesAndLongNames) {
  std::string name = "/data/run.d/out";
  EXPECT_TRUE(TimeStampedFilename(name, "dat"));
  EXPECT_EQ(name, "/data/run.d/out261207_094500.dat");

  // A name too long is told, never cut (it would lose its time stamp).
  std::string longName(300, 'x');
  EXPECT_FALSE(TimeStampedFilename(longName, "dat"));
  EXPECT_EQ(longName, std::string(300, 'x') + "261207_094500.dat");
  std::string fits(kMaxFilenameLength - 17, 'x');
  EXPECT_TRUE(TimeStampedFilename(fits, "dat"));
  EXPECT_EQ(fits.size(), kMaxFilenameLength);
}

// --- Identification, port names, byte order, comparison ------------------------------

TEST(ReadIDTest, ReadsTheTrimmedNameLineAndTheHexadecimalWord) {
  auto file = StreamOf("Nerit A+C meter \t\r\n5300a1b2\n");
  std::uint32_t id = 0;
  std::string text;
  ASSERT_EQ(ReadID(file.get(), id, text), status::kOk);
  EXPECT_EQ(text, "Nerit A+C meter");
  EXPECT_EQ(id, 0x5300a1b2u);

  auto top = StreamOf("x\nFFFFFFFF\n");
  ASSERT_EQ(ReadID(top.get(), id, text), status::kOk);
  EXPECT_EQ(id, 0xFFFFFFFFu);
}

TEST(ReadIDTest, OverlongNameLineIsCutAndItsRestDiscarded) {
  auto file = StreamOf(std::string(100, 'N') + "\n0x12\n");
  std::uint32_t id = 0;
  std::string text;
  ASSERT_EQ(ReadID(file.get(), id, text), status::kOk);
  EXPECT_EQ(text, std::string(63, 'N'));
  EXPECT_EQ(id, 0x12u);
}

TEST(ReadIDTest, MissingNameOrNumber) {
  std::uint32_t id = 0;
  std::string text;
  EXPECT_EQ(ReadID(StreamOf("").get(), id, text), status::kConfigPrematureEof);
  EXPECT_EQ(ReadID(StreamOf("\n53000001\n").get(), id, text), status::kConfigPrematureEof);
  EXPECT_EQ(ReadID(StreamOf("name without line end").get(), id, text),
            status::kConfigPrematureEof);
  EXPECT_EQ(ReadID(StreamOf("Pelag\nzz\n").get(), id, text), status::kBadConfigFormat);
  EXPECT_EQ(ReadID(StreamOf("Pelag\n").get(), id, text), status::kBadConfigFormat);
}

TEST(PortNameTest, OnlyCom1ToCom8InAnyCase) {
  for (const char* name : {"COM1", "com8", "CoM5"}) EXPECT_EQ(IsPortName(name), 1) << name;
  for (const char* name : {"com9", "COM0", "COM10", "COM", "", "LPT1", "com1.raw", "SX_Com1_.raw"}) {
    EXPECT_EQ(IsPortName(name), 0) << name;
  }
}

TEST(CaseInsensitiveTest, ComparesUpperCasedCopiesOfAtMost255Characters) {
  EXPECT_EQ(stricmp("LtRed", "ltRED"), 0);
  EXPECT_LT(stricmp("abc", "ABD"), 0);
  EXPECT_GT(stricmp("b", "A"), 0);
  EXPECT_LT(stricmp("com", "COM1"), 0);
  EXPECT_EQ(strnicmp("COM1x", "com1y", 4), 0);
  EXPECT_LT(strnicmp("COM1x", "com1y", 5), 0);
  EXPECT_EQ(stricmp(std::string(255, 'a') + "x", std::string(255, 'A') + "y"), 0);
}

// --- Colours ---------------------------------------------------------------------------

TEST(ColorTest, NamesMapBothWaysInAnyCase) {
  ASSERT_EQ(colorNameToNumMap.size(), 16u);
  EXPECT_EQ(colorNameToNumMap.front().name, "Black");
  EXPECT_EQ(colorNameToNumMap.back().name, "White");
  for (const ColorNameEntry& entry : colorNameToNumMap) {
    std::string upper(entry.name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(ColorNum(upper), entry.number) << upper;
    EXPECT_EQ(ColorName(entry.number), entry.name);
  }
  EXPECT_EQ(ColorNum("ltred"), 124);
  EXPECT_EQ(ColorName(7), "7");
  EXPECT_EQ(ColorName(-5), "-5");
}

TEST(ColorTest, ColorNumReadsNumbersLikePercentI) {
  EXPECT_EQ(ColorNum("0x10"), 16);
  EXPECT_EQ(ColorNum("0X1f"), 31);
  EXPECT_EQ(ColorNum("017"), 15);
  EXPECT_EQ(ColorNum("200"), 200);
  EXPECT_EQ(ColorNum(" 42"), 42);
  EXPECT_EQ(ColorNum("12abc"), 12);
  EXPECT_EQ(ColorNum("0"), 0);
  EXPECT_EQ(ColorNum("purple"), status::kNotAColor);
  EXPECT_EQ(ColorNum(""), status::kNotAColor);
  EXPECT_EQ(ColorNum("--5"), status::kNotAColor);
  EXPECT_EQ(ColorNum("99999999999"), status::kNotAColor);
}

TEST(ColorTest, PaletteFollowsItsRamps) {
  EXPECT_EQ(VantorColorToRGB(0), 0xFF00FFu);
  EXPECT_EQ(VantorColorToRGB(3), 0xE000FFu);
  EXPECT_EQ(VantorColorToRGB(25), 0x0000FFu);
  EXPECT_EQ(VantorColorToRGB(50), 0x00FFFFu);
  EXPECT_EQ(VantorColorToRGB(100), 0xFFFF00u);
  EXPECT_EQ(VantorColorToRGB(124), 0xFF0A00u);
  EXPECT_EQ(VantorColorToRGB(125), 0xFFFFFFu);
  EXPECT_EQ(VantorColorToRGB(126), 0xC0C0C0u);
  EXPECT_EQ(VantorColorToRGB(127), 0xC0C0C0u);
  EXPECT_EQ(VantorColorToRGB(128), 0x800080u);
  EXPECT_EQ(VantorColorToRGB(153), 0x000080u);
  EXPECT_EQ(VantorColorToRGB(252), 0x800500u);
  EXPECT_EQ(VantorColorToRGB(253), 0x808080u);
  EXPECT_EQ(VantorColorToRGB(254), 0u);
  EXPECT_EQ(VantorColorToRGB(255), 0u);
  EXPECT_EQ(VantorColorToRGB(-1), 0u);
  EXPECT_EQ(VantorColorToRGB(256), 0u);
}

TEST(ColorTest, RgbToPaletteTakesTheFirstEqualOrNearestEntry) {
  EXPECT_EQ(RBGToVantorColor(0xE000FF), 3);
  EXPECT_EQ(RBGToVantorColor(0x000000), 254);
  EXPECT_EQ(RBGToVantorColor(0xC0C0C0), 126);
  EXPECT_EQ(RBGToVantorColor(0xFF0000), 124);  // nearest: 0xFF0A00
  EXPECT_EQ(RBGToVantorColor(0x010102), 254);
  EXPECT_EQ(RBGToVantorColor(0xFF00FFFF), 50);  // top byte ignored
  for (int i = 0; i < kPaletteSize; ++i) {
    EXPECT_EQ(VantorColorToRGB(RBGToVantorColor(VantorColorToRGB(i))), VantorColorToRGB(i)) << i;
  }
}

TEST(ColorTest, WavelengthColorRunsFromMagentaToRed) {
  EXPECT_EQ(WavelengthColor(400), 0);
  EXPECT_EQ(WavelengthColor(550), 62);
  EXPECT_EQ(WavelengthColor(700), 124);
  EXPECT_EQ(WavelengthColor(250), 0);
  EXPECT_EQ(WavelengthColor(900), 124);
  EXPECT_EQ(WavelengthColor(std::nan("")), 0);
  int previous = 0;
  for (double nm = 400; nm <= 700; nm += 0.5) {
    EXPECT_GE(WavelengthColor(nm), previous);
    previous = WavelengthColor(nm);
  }
}

// --- Arrays ------------------------------------------------------------------------------

TEST(ArrayTest, CountBelowOneWritesNothing) {
  const double in[] = {1.0};
  double out = 99;
  double a = 99, b = 99;
  int i = 99, j = 99;
  EXPECT_EQ(Abs1D(in, 0, &out), status::kConfigNoEditor);
  EXPECT_EQ(Copy1D(in, -1, &out), status::kConfigNoEditor);
  EXPECT_EQ(MaxMin1D(in, 0, a, i, b, j), status::kConfigNoEditor);
  EXPECT_EQ(Mean(in, 0, a), status::kConfigNoEditor);
  EXPECT_EQ(StdDev(in, 0, a, b), status::kConfigNoEditor);
  EXPECT_EQ(out, 99);
  EXPECT_EQ(a, 99);
  EXPECT_EQ(b, 99);
  EXPECT_EQ(i, 99);
  EXPECT_EQ(j, 99);
}

TEST(ArrayTest, AbsCopyAndFirstIndexOfExtremes) {
  const double in[] = {3, -1, 3, -1};
  double out[4] = {};
  ASSERT_EQ(Abs1D(in, 4, out), 0);
  EXPECT_EQ(out[1], 1);
  ASSERT_EQ(Copy1D(in, 4, out), 0);
  EXPECT_EQ(out[3], -1);

  const double ties[] = {3, 1, 3, 1};
  double max = 0, min = 0;
  int maxIndex = -1, minIndex = -1;
  ASSERT_EQ(MaxMin1D(ties, 4, max, maxIndex, min, minIndex), 0);
  EXPECT_EQ(max, 3);
  EXPECT_EQ(maxIndex, 0);
  EXPECT_EQ(min, 1);
  EXPECT_EQ(minIndex, 1);
}

TEST(ArrayTest, MeanAndPopulationDeviation) {
  const double in[] = {2, 4, 4, 4, 5, 5, 7, 9};
  double mean = 0, deviation = 0;
  ASSERT_EQ(Mean(in, 8, mean), 0);
  EXPECT_DOUBLE_EQ(mean, 5);
  ASSERT_EQ(StdDev(in, 8, mean, deviation), 0);
  EXPECT_DOUBLE_EQ(mean, 5);
  EXPECT_DOUBLE_EQ(deviation, 2);

  // Rounding may make Σx²/n a hair smaller than mean²; never a NaN.
  const double flat[] = {0.1, 0.1, 0.1};
  ASSERT_EQ(StdDev(flat, 3, mean, deviation), 0);
  EXPECT_FALSE(std::isnan(deviation));
  EXPECT_NEAR(deviation, 0, 1e-8);
}

}  // namespace
}  // namespace sondrix
