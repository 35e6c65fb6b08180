// SPDX-License-Identifier: GPL-3.0-or-later
// The rate, lost-sample and status read-outs against what the stream
// really held: scripted streams of samples with known time stamps, lost
// samples and bin sizes, some lines only recorded (the program fell behind),
// and real meters decoding packets with known status words and rates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/line_rate.h"
#include "io/benth_packet.h"
#include "meter/benth_fixtures.h"
#include "meter/benth_meter.h"
#include "meter/meter_fixtures.h"
#include "meter/nerit_meter.h"

#include "display_fixtures.h"

namespace sondrix {
namespace {

namespace p = panels;

// One sample of a scripted stream: its time stamp, or lost.
struct Sample {
  std::int64_t timeMs = 0;
  bool lost = false;
};

// A source that hands out a scripted stream through the source's own binned
// read, so that binning and lost counting are the program's.
class ScriptedSource : public test::FakeSource {
 public:
  ScriptedSource(const std::string& file, std::vector<Sample> samples, double carriedRate)
      : FakeSource(file, std::vector<int>(2, kTraceA)), samples_(std::move(samples)), carriedRate_(carriedRate) {}

  int CanRead() override { return DataAvailable(); }
  int DataAvailable() override { return next_ < samples_.size() ? 1 : 0; }
  double GetSampleRate() override { return carriedRate_; }
  Status Reset() override { return Source::Reset(); }
  Status ReadData(SourceLine& line) override {
    if (next_ >= samples_.size()) return status::kNoData;
    const Sample& sample = samples_[next_++];
    line.status = sample.lost ? status::kLostLine : status::kOk;
    if (!sample.lost) line.time = sample.timeMs;
    for (double& value : line.values) value = 0.5;
    return status::kOk;
  }
  // Samples taken from the stream so far, lost ones included.
  std::size_t consumed() const { return next_; }

 private:
  std::vector<Sample> samples_;
  std::size_t next_ = 0;
  double carriedRate_ = 0.0;
};

// `count` samples at `rate` Hz, each lost with probability `lossRate`.
std::vector<Sample> Stream(int count, double rate, double lossRate, std::mt19937& random) {
  std::bernoulli_distribution lost(lossRate);
  std::vector<Sample> samples;
  for (int i = 0; i < count; ++i) {
    samples.push_back(Sample{std::llround(1000.0 * i / rate), lost(random)});
  }
  return samples;
}

class ReadoutTest : public test::DisplayTest {};

// The lost read-out counts lost samples against every sample read, whether
// its line was drawn or only recorded, at any bin size; the rate read-out
// shows the rate the packets carry, else the rate of the time stamps.
TEST_F(ReadoutTest, LostAndRateReadOutsAgreeWithTheStream) {
  struct Case {
    const char* name;
    double rate;         // of the time stamps
    double carried;      // in the packets (0: none)
    int binsize;
    double lossRate;
    double behindShare;  // lines only recorded
  };
  const Case cases[] = {
      {"hyperspectral, no rate in the packets", 6.0, 0.0, 1, 0.0, 0.0},
      {"lost samples", 6.0, 0.0, 1, 0.1, 0.0},
      {"fell behind", 6.0, 0.0, 1, 0.05, 0.6},
      {"binned, fell behind", 6.0, 0.0, 4, 0.05, 0.5},
      {"fast meter, binned", 19.8, 0.0, 3, 0.02, 0.3},
      {"slow meter", 0.5, 0.0, 1, 0.0, 0.0},
      {"rate in the packets wins", 6.0, 20.0, 1, 0.0, 0.2},
  };
  std::mt19937 random(1234);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto owned = std::make_unique<ScriptedSource>(HomeFile("meter.dev"), Stream(600, c.rate, c.lossRate, random),
                                                  c.carried);
    ScriptedSource* source = owned.get();
    ASSERT_EQ(source->Open(), status::kOk);
    ASSERT_EQ(source->SetBinsize(c.binsize), status::kOk);
    ASSERT_EQ(display->Attach(std::move(owned)), status::kOk);
    display->ShowGraph(graph_type::kStrip);
    ASSERT_EQ(display->InitPlot(), status::kOk);

    std::bernoulli_distribution behind(c.behindShare);
    SourceLine line(2);
    int lines = 0;
    while (source->DataAvailable() != 0) {
      if (source->Read(line) != status::kOk) break;
      ++lines;
      clock.Advance(0.4);
      if (behind(random)) {
        display->Count(line);
        continue;
      }
      session.Publish(line);
      // What the stream held up to this line: every sample taken from it.
      const int lost = source->GetLostCount();
      const long long read = static_cast<long long>(source->consumed());
      if (lost > 0) {
        ASSERT_EQ(Text(p::kMainLost), std::to_string(lost) + " of " + std::to_string(read) + " lost")
            << "line " << lines;
      }
      ASSERT_LE(lost, read);
    }
    ASSERT_GT(lines, 100);
    const double expected = c.carried > 0.0 ? c.carried : c.rate;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", expected);
    EXPECT_EQ(Text(p::kMainRate), text);
    ASSERT_TRUE(display->SampleRate().has_value());
    EXPECT_NEAR(*display->SampleRate(), expected, expected * 0.01);
  }
}

// Before two lines came there is no rate to tell: the read-out stays empty
// rather than saying 0.0.
TEST_F(ReadoutTest, NoRateIsShownBeforeTheLinesTellIt) {
  auto owned = std::make_unique<ScriptedSource>(HomeFile("meter.dev"),
                                                std::vector<Sample>{{0, false}, {167, false}}, 0.0);
  ScriptedSource* source = owned.get();
  ASSERT_EQ(source->Open(), status::kOk);
  ASSERT_EQ(display->Attach(std::move(owned)), status::kOk);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  SourceLine line(2);
  ASSERT_EQ(source->Read(line), status::kOk);
  clock.Advance(1.5);
  session.Publish(line);
  EXPECT_EQ(Text(p::kMainRate), "");
  ASSERT_EQ(source->Read(line), status::kOk);
  clock.Advance(1.5);
  session.Publish(line);
  EXPECT_EQ(Text(p::kMainRate), "6.0");
}

TEST(LineRateTest, EstimatesOverTheLastTwoSecondsOfLineTime) {
  LineRate rate;
  EXPECT_FALSE(rate.Estimate());
  rate.Add(0, 1);
  EXPECT_FALSE(rate.Estimate());  // one line tells no rate
  rate.Add(0, 2);
  EXPECT_FALSE(rate.Estimate());  // nor two at the same time
  // Ten seconds at 2 Hz, then 10 Hz: the old rate is forgotten within the window.
  rate.Clear();
  long long n = 0;
  for (int t = 0; t <= 10000; t += 500) rate.Add(t, ++n);
  EXPECT_DOUBLE_EQ(*rate.Estimate(), 2.0);
  for (int t = 10100; t <= 13000; t += 100) rate.Add(t, ++n);
  EXPECT_DOUBLE_EQ(*rate.Estimate(), 10.0);
  // Lines further apart than the window: the last two tell the rate.
  rate.Add(23000, n + 2);
  EXPECT_DOUBLE_EQ(*rate.Estimate(), 0.2);
  // A clock that starts again starts the estimate again.
  rate.Add(100, n + 3);
  EXPECT_FALSE(rate.Estimate());
  rate.Add(600, n + 4);
  EXPECT_DOUBLE_EQ(*rate.Estimate(), 2.0);
}

// Real meters: the status read-out shows the instrument's status word as
// the packet carried it, and the rate read-out the packets' rate or, where
// they carry none, the rate of their time stamps.
class MeterReadoutTest : public test::DisplayTest {
 protected:
  // Reads every line of the attached meter into the display.
  std::vector<std::string> RunStatus(Source& source, int lines) {
    std::vector<std::string> seen;
    SourceLine line(source.GetTraceCount());
    for (int i = 0; i < lines; ++i) {
      if (source.Read(line) != status::kOk) break;
      clock.Advance(0.25);
      session.Publish(line);
      seen.push_back(Text(p::kMainStatus));
    }
    return seen;
  }
};

TEST_F(MeterReadoutTest, TheNineWavelengthMetersStatusWordAsItCame) {
  const std::uint16_t words[] = {0, 0, 1, 0x8004, 0};
  std::vector<std::vector<std::uint8_t>> packets;
  // The first packet is the one the reset synchronises on and is read too.
  for (int k = 0; k < 5; ++k) {
    MeterPacketFields fields;
    fields.serial = test::kNeritSerial;
    fields.status = words[k];
    fields.periodCount = 3165;
    for (int i = 0; i < 10; ++i) fields.timeCounts.push_back(static_cast<std::uint16_t>(10 * k + i));
    fields.values.assign(18 * 10, 0.25);
    fields.refs.assign(18, 0.5);
    fields.tempCount = TempToCount(20.0);
    packets.push_back(EncodeMeterPacket(fields, 18, 10));
  }
  const std::string device =
      test::WriteTextFile(HomeFile("nerit.dev"), test::MeterDeviceText(test::kNeritSerial, 18));
  auto meter = Meter::New<NeritMeter>(device, test::WriteCapture(HomeFile("capture.raw"), packets));
  ASSERT_TRUE(meter);
  ASSERT_EQ(meter->Open(), status::kOk);
  NeritMeter* raw = meter.get();
  ASSERT_EQ(display->Attach(std::move(meter)), status::kOk);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  const std::vector<std::string> seen = RunStatus(*raw, 50);
  ASSERT_EQ(seen.size(), 50u);
  for (int k = 0; k < 5; ++k) {
    char expected[32] = "";
    if (words[k] != 0) std::snprintf(expected, sizeof expected, "Status: %08X", words[k]);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(10 * k + i)], expected) << k;
  }
  // The packets carry their rate: 1 / (31.6 us x 3165).
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.1f", 1.0 / (kMeterPeriodSeconds * 3165));
  EXPECT_EQ(Text(p::kMainRate), rate);
}

TEST_F(MeterReadoutTest, TheHyperspectralMetersRateAndStatusWord) {
  struct Case {
    std::uint8_t type;
    const char* status;  // what the read-out shows of the packets' word 7
  };
  // Type 4 sends its rate where type 5 sends its status word.
  for (const Case c : {Case{5, "Status: 00000007"}, Case{4, ""}}) {
    SCOPED_TRACE(static_cast<int>(c.type));
    const int n = 7;
    std::vector<std::vector<std::uint8_t>> packets;
    for (int k = 0; k < 40; ++k) {
      test::BenthPacketSpec spec;
      spec.type = c.type;
      spec.time = static_cast<std::uint32_t>(std::llround(1000.0 * k / 6.0));  // 6 Hz, milliseconds
      packets.push_back(test::BenthPacket(n, spec));
    }
    const std::string device = test::WriteTextFile(HomeFile("benth.dev"), test::BenthDeviceText(3, n));
    auto meter = Meter::New<BenthMeter>(device, test::WriteCapture(HomeFile("benth.raw"), packets));
    ASSERT_TRUE(meter);
    ASSERT_EQ(meter->Open(), status::kOk);
    BenthMeter* raw = meter.get();
    ASSERT_EQ(display->Attach(std::move(meter)), status::kOk);
    ASSERT_EQ(display->InitPlot(), status::kOk);
    const std::vector<std::string> seen = RunStatus(*raw, 39);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), c.status);
    // Type 5 carries no rate: the time stamps tell it. Type 4's word 7 is
    // its rate.
    EXPECT_EQ(Text(p::kMainRate), c.type == 4 ? "7.0" : "6.0");
  }
}

}  // namespace
}  // namespace sondrix
