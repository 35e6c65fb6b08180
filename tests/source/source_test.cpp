// SPDX-License-Identifier: GPL-3.0-or-later
// The binned read and the defaults every source starts from.
#include "source/source.h"

#include <gtest/gtest.h>

#include <clocale>
#include <deque>

namespace sondrix {
namespace {

// A source that hands out scripted lines: each entry is the status of one
// line (its values are the running line number), or a read result other than
// 1 when `error` is set.
class ScriptedSource : public Source {
 public:
  struct Step {
    Status lineStatus = status::kOk;
    Status result = status::kOk;
    bool available = true;
    std::string tail;
  };

  explicit ScriptedSource(int traces = 2) : Source("file.dev", "COM1"), traces_(traces) {}

  std::deque<Step> steps;
  int reads = 0;

  int GetTraceCount() override { return traces_; }
  int DataAvailable() override { return !steps.empty() && steps.front().available ? 1 : 0; }
  Status ReadData(SourceLine& line) override {
    Step step = steps.front();
    steps.pop_front();
    ++reads;
    line.status = step.lineStatus;
    line.time = reads * 100;
    for (int i = 0; i < line.count; ++i) line.values[i] = reads * (i + 1);
    line.temperature = 20.0 + reads;
    line.extTemperature = 10.0;
    line.depth = reads;
    line.tail = step.tail;
    return step.result;
  }

  void Good(int n, std::string tail = {}) {
    for (int i = 0; i < n; ++i) steps.push_back({status::kOk, status::kOk, true, tail});
  }
  void Lost() { steps.push_back({status::kLostLine, status::kOk, true, {}}); }
  void Dry() { steps.push_back({status::kOk, status::kOk, false, {}}); }

 private:
  int traces_;
};

TEST(SourceDefaults, ReturnTheirNotOfferedCodes) {
  Source source("a.dev", "COM2");
  std::string text;
  EXPECT_EQ(source.CanRead(), -10207);
  EXPECT_EQ(source.MustRead(), -10208);
  EXPECT_EQ(source.GetTraceCount(), -10209);
  EXPECT_EQ(source.GetInTraceCount(), -10210);
  EXPECT_EQ(source.GetPortType(), -10218);
  EXPECT_EQ(source.GetHeading(0, text), -1013);
  EXPECT_EQ(text, "unknown");
  EXPECT_EQ(source.GetID(text), -10205);
  EXPECT_EQ(text, "NoCanDo");
  EXPECT_EQ(source.GetDevType("x.dev", text), static_cast<std::int16_t>(0xD814));
  EXPECT_EQ(source.Diagnostics(), -10221);
  EXPECT_EQ(source.HasDiagnostics(), 0);
  EXPECT_EQ(source.DataAvailable(), 0);
  EXPECT_EQ(source.GetBinsize(), 1);
  source.GetFilename(text);
  EXPECT_EQ(text, "a.dev");
  source.GetPortname(text);
  EXPECT_EQ(text, "COM2");
  std::string date = "x", time = "y";
  EXPECT_EQ(source.GetDate(date, time), -10204);
  EXPECT_TRUE(date.empty() && time.empty());
}

TEST(SourceRead, NothingWaitingReturnsNoData) {
  ScriptedSource source;
  ASSERT_EQ(source.Open(), 1);
  SourceLine line(2);
  EXPECT_EQ(source.Read(line), -1022);
}

TEST(SourceRead, BinSizeOneHandsOnEveryLineAndCountsTheLost) {
  ScriptedSource source;
  ASSERT_EQ(source.Open(), 1);
  source.Good(1);
  source.Lost();
  source.Good(1);
  SourceLine line(2);
  line.tail = "stale";
  EXPECT_EQ(source.Read(line), 1);
  EXPECT_EQ(line.status, 1);
  EXPECT_TRUE(line.tail.empty());
  EXPECT_EQ(source.Read(line), 1);
  EXPECT_EQ(line.status, -1023);
  EXPECT_EQ(source.Read(line), 1);
  EXPECT_EQ(source.GetLostCount(), 1);
  source.Reset();
  EXPECT_EQ(source.GetLostCount(), 0);
}

TEST(SourceRead, BinOfFourWithALostLineReadsFiveAndOrsTheStatuses) {
  ScriptedSource source;
  ASSERT_EQ(source.Open(), 1);
  ASSERT_EQ(source.SetBinsize(4), 1);
  source.Good(2);
  source.Lost();
  source.Good(2, "25.00\t6.0\t1.00\t12.00");
  SourceLine line(2);
  EXPECT_EQ(source.Read(line), 1);
  EXPECT_EQ(source.reads, 5);
  EXPECT_EQ(source.GetLostCount(), 1);
  EXPECT_EQ(line.status, 1 | -1023);
  EXPECT_NE(line.status, 1);
  // Lines 1, 2, 4, 5 are averaged; the time is that of the last line read.
  EXPECT_DOUBLE_EQ(line.values[0], (1 + 2 + 4 + 5) / 4.0);
  EXPECT_DOUBLE_EQ(line.values[1], 2 * (1 + 2 + 4 + 5) / 4.0);
  EXPECT_DOUBLE_EQ(line.depth, 3.0);
  EXPECT_DOUBLE_EQ(line.temperature, 23.0);
  EXPECT_EQ(line.time, 500);
  EXPECT_EQ(line.tail, "25.00\t6.0\t1.00\t12.00");
}

TEST(SourceRead, RunningDryKeepsTheBinForTheNextCall) {
  ScriptedSource source;
  ASSERT_EQ(source.Open(), 1);
  ASSERT_EQ(source.SetBinsize(3), 1);
  source.Good(2);
  source.Dry();
  SourceLine line(2);
  EXPECT_EQ(source.Read(line), -1022);
  source.steps.clear();
  source.Good(1);
  EXPECT_EQ(source.Read(line), 1);
  EXPECT_DOUBLE_EQ(line.values[0], (1 + 2 + 3) / 3.0);
}

TEST(SourceRead, AReadErrorIsReturnedAndTheBinContinues) {
  ScriptedSource source;
  ASSERT_EQ(source.Open(), 1);
  ASSERT_EQ(source.SetBinsize(2), 1);
  source.Good(1);
  source.steps.push_back({status::kOk, status::kUnrecognisedData, true, {}});
  source.Good(1);
  SourceLine line(2);
  EXPECT_EQ(source.Read(line), -1000);
  EXPECT_EQ(source.Read(line), 1);
  EXPECT_DOUBLE_EQ(line.values[0], (1 + 3) / 2.0);
}

TEST(SourceBinsize, ZeroIsRefusedAndANewSizeRestartsTheBin) {
  ScriptedSource source;
  ASSERT_EQ(source.Open(), 1);
  ASSERT_EQ(source.SetBinsize(2), 1);
  EXPECT_EQ(source.SetBinsize(0), -1001);
  EXPECT_EQ(source.GetBinsize(), 2);
  source.Good(1);
  source.Dry();
  SourceLine line(2);
  EXPECT_EQ(source.Read(line), -1022);
  ASSERT_EQ(source.SetBinsize(2), 1);  // discards the half-filled bin
  source.steps.clear();
  source.Good(2);
  EXPECT_EQ(source.Read(line), 1);
  EXPECT_DOUBLE_EQ(line.values[0], (2 + 3) / 2.0);
}

// GetTemp tells the temperatures of the last completed bin (averages, not the
// running sums), for every bin size.
TEST(SourceTemp, EmptyBeforeTheFirstBinThenTheBinsAverages) {
  ScriptedSource source;
  ASSERT_EQ(source.Open(), 1);
  std::string t1 = "x", t2 = "y";
  source.GetTemp(t1, t2);
  EXPECT_EQ(t1, "");
  EXPECT_EQ(t2, "");
  source.SetBinsize(2);
  source.Good(2);
  SourceLine line(2);
  ASSERT_EQ(source.Read(line), 1);
  source.GetTemp(t1, t2);
  EXPECT_EQ(t1, "21.5");
  EXPECT_EQ(t2, "10.0");
  source.SetBinsize(1);
  source.GetTemp(t1, t2);
  EXPECT_EQ(t1, "");
  source.Good(1);
  ASSERT_EQ(source.Read(line), 1);
  source.GetTemp(t1, t2);
  EXPECT_EQ(t1, "23.0");
}

TEST(SourceRead, ReadBeforeOpenIsAnErrorNotACrash) {
  ScriptedSource source;
  source.Good(1);
  SourceLine line(2);
  EXPECT_EQ(source.Read(line), -1029);
}

}  // namespace
}  // namespace sondrix

namespace sondrix {
namespace {

// The read-outs use a decimal point whatever the user's locale.
TEST(SourceTemp, DecimalPointInADecimalCommaLocale) {
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE.utf8"))
    GTEST_SKIP() << "no locale with a decimal comma installed";
  ScriptedSource source;
  ASSERT_EQ(source.Open(), 1);
  source.Good(1);
  SourceLine line(2);
  ASSERT_EQ(source.Read(line), 1);
  std::string t1, t2;
  source.GetTemp(t1, t2);
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(t1, "21.0");
}

}  // namespace
}  // namespace sondrix
