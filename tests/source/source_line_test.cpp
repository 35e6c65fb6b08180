// The text form of a value line, as data files store it.
#include "source/source_line.h"

#include <gtest/gtest.h>

#include <cstdio>
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
