// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration arithmetic of the meter: offset, path length, the linear
// temperature model and the temperature bins, the uncorrected values, and a
// configuration that does not cover every channel.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "meter/nerit_meter.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

constexpr int kN = 18;

class ComputeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    meter = Meter::New<NeritMeter>(dir.File("unused.dev"), "");
    ASSERT_TRUE(meter);
    config = meter->meterConfig();
    ASSERT_NE(config, nullptr);
    config->pathLength = 0.25;
    config->version = 1;
    config->traces.resize(kN);
    for (int i = 0; i < kN; ++i) config->traces[static_cast<std::size_t>(i)].offset = 0.01 * (i + 1);
    meter->GetTraceMap(map);
    signal.assign(kN, 0.4);
    refs.assign(kN, 0.4);
    out.assign(kN, -99.0);
  }

  void Compute(double temperature) {
    ASSERT_EQ(meter->ComputeAbsorb(kN, out, signal, temperature, refs, map), status::kOk);
  }

  void UseBins() {
    config->tempBinCount = 4;
    config->tempBins[0] = 0;
    config->tempBins[1] = 10;
    config->tempBins[2] = 20;
    config->tempBins[3] = 30;
    TraceCal& cal = config->traces[0];
    cal.tempCorr[0] = 1;
    cal.tempCorr[1] = 2;
    cal.tempCorr[2] = 4;
    cal.tempCorr[3] = 8;
  }

  test::TempDir dir;
  std::unique_ptr<NeritMeter> meter;
  MeterConfig* config = nullptr;
  TraceMap map{};
  std::vector<double> signal, refs, out;
};

TEST_F(ComputeTest, SignalEqualToReferenceGivesTheOffset) {
  Compute(20.0);
  for (int i = 0; i < kN; ++i) EXPECT_DOUBLE_EQ(out[static_cast<std::size_t>(i)], 0.01 * (i + 1));
}

TEST_F(ComputeTest, LogarithmOverPathLength) {
  signal[2] = 0.1;
  refs[2] = 0.4;
  Compute(20.0);
  EXPECT_DOUBLE_EQ(out[2], 0.03 - std::log(0.25) / 0.25);
}

TEST_F(ComputeTest, TracesOffTheMapAndCountsNotAboveZeroGiveZero) {
  map[1] = 0;
  signal[3] = 0.0;
  refs[4] = -0.1;
  Compute(20.0);
  EXPECT_EQ(out[1], 0.0);
  EXPECT_EQ(out[3], 0.0);
  EXPECT_EQ(out[4], 0.0);
  EXPECT_DOUBLE_EQ(out[5], 0.06);
}

TEST_F(ComputeTest, LinearTemperatureModelInVersionZero) {
  config->version = 0;
  TraceCal& cal = config->traces[0];
  cal.refTemp = 20.0;
  cal.tempSlope = 0.002;
  Compute(25.0);
  EXPECT_DOUBLE_EQ(out[0], 0.01 + 0.002 * 5.0);
  Compute(15.0);
  EXPECT_DOUBLE_EQ(out[0], 0.01 - 0.002 * 5.0);
}

TEST_F(ComputeTest, BinsInterpolateInsideAndExtrapolateAtBothEnds) {
  UseBins();
  Compute(25.0);  // between bins 20 and 30
  EXPECT_DOUBLE_EQ(out[0], 0.01 - (4 + (8 - 4) * 0.5));
  Compute(35.0);  // beyond the last bin: the last pair extrapolates
  EXPECT_DOUBLE_EQ(out[0], 0.01 - (4 + (8 - 4) * 1.5));
  Compute(-5.0);  // below the first bin: the first pair extrapolates
  EXPECT_DOUBLE_EQ(out[0], 0.01 - (1 + (2 - 1) * -0.5));
  Compute(10.0);  // on a bin: that bin's correction
  EXPECT_DOUBLE_EQ(out[0], 0.01 - 2);
  Compute(30.0);
  EXPECT_DOUBLE_EQ(out[0], 0.01 - 8);
  // Trace 1 has no correction of its own.
  EXPECT_DOUBLE_EQ(out[1], 0.02);
}

TEST_F(ComputeTest, NoCorrectionWithoutBinsOrWithEqualBracketingBins) {
  UseBins();
  config->tempBinCount = 0;
  Compute(25.0);
  EXPECT_DOUBLE_EQ(out[0], 0.01);
  config->tempBinCount = 2;
  config->tempBins[1] = 0.0;  // the pair 0, 0
  Compute(25.0);
  EXPECT_DOUBLE_EQ(out[0], 0.01);
}

TEST_F(ComputeTest, OneBinAppliesItsCorrectionAndReadsNothingBeyondIt) {
  UseBins();
  config->tempBinCount = 1;
  config->tempBins[0] = 20.0;
  config->tempBins[1] = 1e9;  // stale entries past the count are never read
  config->traces[0].tempCorr[1] = 1e9;
  Compute(25.0);
  EXPECT_DOUBLE_EQ(out[0], 0.01 - 1);
  Compute(-40.0);
  EXPECT_DOUBLE_EQ(out[0], 0.01 - 1);
}

TEST_F(ComputeTest, UncorrectedValuesLeaveTheOffsetOut) {
  UseBins();
  signal[7] = 0.0;
  map[8] = 0;
  ASSERT_EQ(meter->ComputeUnCorrAbsorb(kN, out, signal, 25.0, refs, map), status::kOk);
  EXPECT_DOUBLE_EQ(out[0], -(4 + (8 - 4) * 0.5));
  EXPECT_DOUBLE_EQ(out[1], 0.0);
  // An enabled trace without signal reads minus its offset.
  EXPECT_DOUBLE_EQ(out[7], -0.08);
  EXPECT_EQ(out[8], 0.0);
}

TEST_F(ComputeTest, ConfigurationCoveringFewerChannelsComputesZeroForTheRest) {
  config->traces.resize(5);
  Compute(20.0);
  EXPECT_DOUBLE_EQ(out[4], 0.05);
  for (int i = 5; i < kN; ++i) EXPECT_EQ(out[static_cast<std::size_t>(i)], 0.0) << i;
  config->traces.clear();
  ASSERT_EQ(meter->ComputeUnCorrAbsorb(kN, out, signal, 20.0, refs, map), status::kOk);
  for (double value : out) EXPECT_EQ(value, 0.0);
}

TEST_F(ComputeTest, CountsBeyondTheArraysAreCut) {
  std::vector<double> shortOut(4, -1.0);
  ASSERT_EQ(meter->ComputeAbsorb(kN, shortOut, signal, 20.0, refs, map), status::kOk);
  EXPECT_DOUBLE_EQ(shortOut[3], 0.04);
  ASSERT_EQ(meter->ComputeAbsorb(-3, out, signal, 20.0, refs, map), status::kOk);
}

}  // namespace
}  // namespace sondrix
