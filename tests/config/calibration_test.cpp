#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/panels.h"
#include "common/status.h"
#include "config/meter_config.h"
#include "config_files.h"
#include "fakes.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

using test::Header;
using test::ScriptedSource;

// A three-wavelength meter's configuration (a, a, a, c, c, c) with known
// offsets, plus whatever trace names a test wants.
class Calibration : public test::HeadlessTest {
 protected:
  Calibration() : config(6, 6) {
    const std::string text = Header("P", "03000001", 0) +
                             "a440 Red 0.1 0 0\na550 Red 0.2 0 0\nx676 Red 0.3 0 0\n"
                             "c440 Red 0.4 0 0\nc550 Red 0.5 0 0\nc676 Red 0.6 0 0\n";
    auto file = test::TextStream(text);
    EXPECT_EQ(config.ReadConfig(file.get()), status::kOk);
  }

  std::vector<double> Offsets() const {
    std::vector<double> offsets;
    for (const TraceCal& trace : config.traces) offsets.push_back(trace.offset);
    return offsets;
  }

  Status Calibrate(int samples, bool doA = true, bool doC = true) {
    return MeterConfig_Calibrate(source, config, 10, source.port(), samples, doA, doC);
  }

  std::string WaitText() const {
    const auto history = ui.ValueHistory(panels::kWait, panels::kWaitText);
    if (history.empty()) return {};
    return std::get<std::string>(history.back());
  }

  MeterConfig config;
  ScriptedSource source{6};
  const std::vector<double> original = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
};

TEST_F(Calibration, OffsetsMakeTheReferenceReadZero) {
  source.Good({1, 2, 3, 4, 5, 6}).Good({3, 4, 5, 6, 7, 8});
  ASSERT_EQ(Calibrate(2), status::kOk);
  // x676 begins with neither "a" nor "c" and keeps its offset.
  EXPECT_EQ(Offsets(), (std::vector<double>{-2, -3, 0.3, -5, -6, -7}));
  EXPECT_EQ(WaitText(), "\n   Reading data from meter...\n   Sample 1, 2");
  EXPECT_EQ(ui.NewestHandle(panels::kWait), 0) << "the wait message is hidden again";
}

TEST_F(Calibration, OnlyTheTicked) {
  source.Good({1, 2, 3, 4, 5, 6});
  ASSERT_EQ(Calibrate(1, true, false), status::kOk);
  EXPECT_EQ(Offsets(), (std::vector<double>{-1, -2, 0.3, 0.4, 0.5, 0.6}));
  source.Good({1, 2, 3, 4, 5, 6});
  ASSERT_EQ(Calibrate(1, false, true), status::kOk);
  EXPECT_EQ(Offsets(), (std::vector<double>{-1, -2, 0.3, -4, -5, -6}));
}

TEST_F(Calibration, SixUnrecognisedSamplesStopIt) {
  source.Good({1, 1, 1, 1, 1, 1}).Lost(6).Good({1, 1, 1, 1, 1, 1}, 5);
  EXPECT_EQ(Calibrate(4), status::kUnrecognisedData);
  EXPECT_EQ(Offsets(), original);
  EXPECT_EQ(ui.NewestHandle(panels::kWait), 0);
}

TEST_F(Calibration, FiveUnrecognisedSamplesAreSkipped) {
  source.Lost(2).Good({2, 2, 2, 2, 2, 2}).Lost(3).Good({4, 4, 4, 4, 4, 4});
  ASSERT_EQ(Calibrate(2), status::kOk);
  // The lost samples' values are not averaged.
  EXPECT_EQ(Offsets(), (std::vector<double>{-3, -3, 0.3, -3, -3, -3}));
  EXPECT_TRUE(source.replies.empty());
}

TEST_F(Calibration, WaitsForDataButNotForEver) {
  source.Result(status::kNoData, 50).Good({1, 1, 1, 1, 1, 1});
  ASSERT_EQ(Calibrate(1), status::kOk);
  EXPECT_EQ(Offsets()[0], -1.0);

  const double before = clock.Timer();
  EXPECT_EQ(Calibrate(1), status::kTimedOut);  // nothing scripted: no data at all
  EXPECT_GE(clock.Timer() - before, 10.0);
  EXPECT_LT(clock.Timer() - before, 11.0);
  EXPECT_EQ(Offsets()[0], -1.0);
}

TEST_F(Calibration, OtherFailuresStopItUnchanged) {
  source.Good({1, 1, 1, 1, 1, 1}).Result(status::kReadFailed);
  EXPECT_EQ(Calibrate(3), status::kReadFailed);
  EXPECT_EQ(Offsets(), original);
  EXPECT_EQ(Calibrate(0), status::kBadArgument);
  EXPECT_EQ(Offsets(), original);
}

// --- Depth zeroing -----------------------------------------------------------------

class DepthZeroing : public Calibration {
 protected:
  Status Zero(int samples = 5) {
    return MeterConfig_DepthCalibrate(source, config, 10, source.port(), samples);
  }
};

TEST_F(DepthZeroing, OffsetCancelsTheSurfaceReading) {
  config.depthScale = 0.0035;
  for (int i = 0; i < 6; ++i) source.port().Append(test::Packet(6, 1000));
  ASSERT_EQ(Zero(), status::kOk);
  EXPECT_NEAR(config.depthOffset, -3.5, 1e-12);
}

TEST_F(DepthZeroing, PacketsThatFailTheirChecksOrStatusAreNotAveraged) {
  config.depthScale = 0.01;
  std::vector<std::uint8_t> corrupt = test::Packet(6, 3000);
  corrupt[20] ^= 0x55;  // checksum no longer matches
  source.port().Append(test::Packet(6, 1000));
  source.port().Append(corrupt);
  source.port().Append(test::Packet(6, 2000, 7));  // instrument status not good
  for (int i = 0; i < 5; ++i) source.port().Append(test::Packet(6, 1000));
  ASSERT_EQ(Zero(), status::kOk);
  EXPECT_NEAR(config.depthOffset, -10.0, 1e-12);
}

TEST_F(DepthZeroing, NoDataTimesOutAndKeepsTheOffset) {
  config.depthOffset = 0.75;
  EXPECT_EQ(Zero(), status::kTimedOut);
  EXPECT_EQ(config.depthOffset, 0.75);

  for (int i = 0; i < 3; ++i) source.port().Append(test::Packet(6, 1000));
  EXPECT_EQ(Zero(), status::kTimedOut);  // three packets, five wanted
  EXPECT_EQ(config.depthOffset, 0.75);
  EXPECT_EQ(Zero(0), status::kBadArgument);
}

}  // namespace
}  // namespace sondrix
