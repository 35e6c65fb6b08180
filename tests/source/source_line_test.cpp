// SPDX-License-Identifier: GPL-3.0-or-later
// The text form of a value line, as data files store it.
#include "source/source_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>

namespace sondrix {
namespace {

struct MemFile {
  explicit MemFile(const std::string& text = {}) : file(std::tmpfile()) {
    std::fputs(text.c_str(), file);
    std::rewind(file);
  }
  ~MemFile() { std::fclose(file); }
  std::string Contents() {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::getc(file)) != EOF;) text.push_back(static_cast<char>(c));
    return text;
  }
  std::FILE* file;
};

TEST(SourceLineWrite, TimeTabsFiveDecimalsAndTail) {
  SourceLine line(3);
  line.time = 1500;
  line.values = {1.0, 2.5, -0.125};
  MemFile out;
  ASSERT_EQ(SourceLine_Write(out.file, line), 1);
  EXPECT_EQ(out.Contents(), "1500\t1.00000\t2.50000\t-0.12500\n");

  line.tail = "25.00\t6.0\t1.20\t12.50";
  MemFile withTail;
  SourceLine_Write(withTail.file, line);
  EXPECT_EQ(withTail.Contents(), "1500\t1.00000\t2.50000\t-0.12500\t25.00\t6.0\t1.20\t12.50\n");
}

TEST(SourceLineWrite, RoundsLikePrintf) {
  SourceLine line(4);
  line.values = {0.123455, 1e6 / 3, -0.000004, 123456.789};
  MemFile out;
  SourceLine_Write(out.file, line);
  char expected[200];
  std::snprintf(expected, sizeof expected, "0\t%.5f\t%.5f\t%.5f\t%.5f\n", line.values[0], line.values[1],
                line.values[2], line.values[3]);
  EXPECT_EQ(out.Contents(), expected);
}

TEST(SourceLineRead, RoundTripsValuesAndTail) {
  MemFile in("\n\n  1500\t1.00000\t2.50000\t-0.12500\t25.00\t6.0\t1.20\t12.50\n");
  SourceLine line(3);
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.status, 1);
  EXPECT_EQ(line.time, 1500);
  EXPECT_DOUBLE_EQ(line.values[2], -0.125);
  EXPECT_EQ(line.tail, "25.00\t6.0\t1.20\t12.50");
  EXPECT_DOUBLE_EQ(line.temperature, 25.0);
  EXPECT_DOUBLE_EQ(line.sampleRate, 6.0);
  EXPECT_DOUBLE_EQ(line.depth, 1.2);
  EXPECT_DOUBLE_EQ(line.extTemperature, 12.5);
  EXPECT_EQ(SourceLine_Read(in.file, line), -1017);
}

TEST(SourceLineRead, OnlyBlankLinesIsTheEnd) {
  MemFile in("\n \t\n\r\n");
  SourceLine line(2);
  EXPECT_EQ(SourceLine_Read(in.file, line), -1017);
}

TEST(SourceLineRead, MissingTailNumbersLeaveTheFieldsAlone) {
  MemFile in("10\t1.0\t2.0\t21.5\t5.5\n20\t3.0\t4.0\n");
  SourceLine line(2);
  line.depth = 7.0;
  line.extTemperature = 8.0;
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_DOUBLE_EQ(line.temperature, 21.5);
  EXPECT_DOUBLE_EQ(line.sampleRate, 5.5);
  EXPECT_DOUBLE_EQ(line.depth, 7.0);
  EXPECT_DOUBLE_EQ(line.extTemperature, 8.0);
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.time, 20);
  EXPECT_TRUE(line.tail.empty());
  EXPECT_DOUBLE_EQ(line.temperature, 21.5);
}

TEST(SourceLineRead, AShortLineIsLostAndDoesNotShiftTheNext) {
  // The second line was cut short (fewer values than traces); the third must
  // still read as itself.
  MemFile in("10\t1.0\t2.0\t3.0\n20\t4.0\n30\t5.0\t6.0\t7.0\n40\t8.0\t9.");
  SourceLine line(3);
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.status, 1);
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.status, -1023);
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.status, 1);
  EXPECT_EQ(line.time, 30);
  EXPECT_DOUBLE_EQ(line.values[0], 5.0);
  // The last line was half written when the recording stopped.
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.status, -1023);
  EXPECT_EQ(SourceLine_Read(in.file, line), -1017);
}

TEST(SourceLineRead, AnOverlongTailIsCutAndItsRestDiscarded) {
  std::string longTail(400, 'x');
  MemFile in("10\t1.0\t" + longTail + "\n20\t2.0\n");
  SourceLine line(1);
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.tail.size(), 255u);
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.time, 20);
  EXPECT_DOUBLE_EQ(line.values[0], 2.0);
}

TEST(SourceLineRead, WindowsLineEndsAreNotPartOfTheTail) {
  MemFile in("10\t1.0\t22.25\t6.0\r\n");
  SourceLine line(1);
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.tail, "22.25\t6.0");
}

// Each damaged line is followed by a good one, which must read as itself.
TEST(SourceLineRead, FieldsThatAreNotWellFormedNumbersMakeALostLine) {
  const char* const damaged[] = {
      "1.5\t1.0\t2.0\n",          // a fraction in the time stamp
      "9223372036854775808\t1.0\t2.0\n",  // beyond 64 bits
      "10\t0.6x\t2.0\n",          // rubbish behind a number
      "10\t0.\t2.0\n",            // a number cut after its point
      "10\tnan\t2.0\n",
      "10\t1.0\t-inf\n",
      "10\t1e999\t2.0\n",         // beyond the range of a double
      "10\t1.0\t2e\n",            // an exponent without digits
      "x10\t1.0\t2.0\n",
  };
  for (const char* text : damaged) {
    MemFile in(std::string(text) + "20\t3.5\t4.5\n");
    SourceLine line(2);
    ASSERT_EQ(SourceLine_Read(in.file, line), 1) << text;
    EXPECT_EQ(line.status, -1023) << text;
    ASSERT_EQ(SourceLine_Read(in.file, line), 1) << text;
    EXPECT_EQ(line.status, 1) << text;
    EXPECT_EQ(line.time, 20) << text;
    EXPECT_DOUBLE_EQ(line.values[0], 3.5) << text;
    EXPECT_DOUBLE_EQ(line.values[1], 4.5) << text;
  }
}

TEST(SourceLineRead, ALastLineWithoutItsLineEndIsLost) {
  // Cut while "0.28692" was being written: it must not replay as 0.28.
  MemFile in("10\t0.28692\t1.00000\n20\t0.28692\t0.28");
  SourceLine line(2);
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.status, 1);
  EXPECT_DOUBLE_EQ(line.values[1], 1.0);
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.status, -1023);
  EXPECT_EQ(SourceLine_Read(in.file, line), -1017);
}

TEST(SourceLineRead, WhatTheFormatAllowsStillReads) {
  MemFile in("+7\t-1.5e-3\t.25\tCal run 3: 12 bad\n-2147483648\t2E2\t+0\n");
  SourceLine line(2);
  line.temperature = 9.0;
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.status, 1);
  EXPECT_EQ(line.time, 7);
  EXPECT_DOUBLE_EQ(line.values[0], -0.0015);
  EXPECT_DOUBLE_EQ(line.values[1], 0.25);
  // The trailing text is free text; it sets no field unless it begins with
  // numbers.
  EXPECT_EQ(line.tail, "Cal run 3: 12 bad");
  EXPECT_DOUBLE_EQ(line.temperature, 9.0);
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.status, 1);
  EXPECT_EQ(line.time, INT32_MIN);
  EXPECT_DOUBLE_EQ(line.values[0], 200.0);
}

TEST(SourceLineRead, TailNumbersStopAtTheFirstThatIsNotWellFormed) {
  MemFile in("10\t1.0\t21.5\tnan\t3.0\t4.0\n");
  SourceLine line(1);
  line.sampleRate = 6.0;
  line.depth = 7.0;
  ASSERT_EQ(SourceLine_Read(in.file, line), 1);
  EXPECT_EQ(line.status, 1);
  EXPECT_EQ(line.tail, "21.5\tnan\t3.0\t4.0");
  EXPECT_DOUBLE_EQ(line.temperature, 21.5);
  EXPECT_DOUBLE_EQ(line.sampleRate, 6.0);
  EXPECT_DOUBLE_EQ(line.depth, 7.0);
}

TEST(SourceLineFinite, EveryValueAndScalarCounts) {
  SourceLine line(3);
  line.values = {1.0, -2.0, 0.0};
  EXPECT_TRUE(SourceLine_IsFinite(line));
  line.values[2] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(SourceLine_IsFinite(line));
  line.values[2] = 0.0;
  line.depth = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(SourceLine_IsFinite(line));
}

TEST(SourceLineCopy, CopiesEverything) {
  SourceLine from(2), to(3);
  from.status = 1;
  from.time = 7;
  from.values = {1.5, 2.5};
  from.tail = "t";
  from.depth = 3.0;
  SourceLine_Copy(from, to);
  EXPECT_EQ(to.time, 7);
  EXPECT_DOUBLE_EQ(to.values[1], 2.5);
  EXPECT_EQ(to.tail, "t");
  EXPECT_DOUBLE_EQ(to.depth, 3.0);
  EXPECT_EQ(to.count, 3);
}

}  // namespace
}  // namespace sondrix
