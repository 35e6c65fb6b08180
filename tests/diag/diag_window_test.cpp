// SPDX-License-Identifier: GPL-3.0-or-later
// The self-test's record: which channel is which wavelength, the limits per
// wavelength, the ring of rows and the statistics over the rows filled.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "diag/diag_window.h"
#include "source/factories.h"

namespace sondrix {
namespace {

constexpr std::array<double, 18> kWavelengths = {412, 440, 488, 412, 440, 488, 510, 532, 555,
                                                 510, 532, 555, 650, 676, 715, 650, 676, 715};

TraceMap NeritMap() {
  TraceMap map{};
  FillTraceMap(ModelRow(Model::Nerit), map);
  return map;
}

TEST(DiagLayoutTest, EveryWavelengthOfEachKindOnce) {
  const DiagLayout layout = PackedLayout(NeritMap(), kWavelengths, 18);
  const std::vector<int> cChannels = {3, 4, 5, 9, 10, 11, 15, 16, 17};
  const std::vector<int> aChannels = {0, 1, 2, 6, 7, 8, 12, 13, 14};
  const std::vector<double> nine = {412, 440, 488, 510, 532, 555, 650, 676, 715};
  EXPECT_EQ(layout.c.channel, cChannels);
  EXPECT_EQ(layout.a.channel, aChannels);
  EXPECT_EQ(layout.c.wavelength, nine);
  EXPECT_EQ(layout.a.wavelength, nine);
  // The references: those of the C channels, then those of the A channels.
  std::vector<int> refs = cChannels;
  refs.insert(refs.end(), aChannels.begin(), aChannels.end());
  EXPECT_EQ(layout.ref.channel, refs);
  EXPECT_EQ(layout.ref.wavelength.front(), 412);
  EXPECT_EQ(layout.ref.wavelength[9], 412);
}

TEST(DiagLayoutTest, ChannelsOffTheMapAreNotTested) {
  TraceMap map{};
  map[0] = 3;
  map[2] = 5;
  const std::array<double, 4> nm = {400, 500, 600, 700};
  const DiagLayout layout = PackedLayout(map, nm, 4);
  EXPECT_EQ(layout.a.channel, std::vector<int>{0});
  EXPECT_EQ(layout.c.channel, std::vector<int>{2});
  EXPECT_EQ(layout.ref.size(), 2);
}

TEST(DiagLimitsTest, NoiseLimitGrowsTowardsShortWavelengths) {
  const std::vector<double> nm = {412, 532, 715};
  EXPECT_DOUBLE_EQ(NoiseFactor(nm, 2), 1.0);
  EXPECT_DOUBLE_EQ(NoiseFactor(nm, 0), std::exp(715.0 / 412.0 - 1.0));
  EXPECT_GT(NoiseFactor(nm, 0), NoiseFactor(nm, 1));

  SelfTestLimits set;
  set.maxANoise = 0.005;
  set.maxCNoise = 0.006;
  set.maxADifference = 0.05;
  set.minRCounts = 0.12;
  const DiagLimits limits = BuildDiagLimits(PackedLayout(NeritMap(), kWavelengths, 18), set);
  ASSERT_EQ(limits.noiseA.size(), 9u);
  EXPECT_DOUBLE_EQ(limits.noiseA.back(), 0.005);
  EXPECT_DOUBLE_EQ(limits.noiseC.front(), 0.006 * std::exp(715.0 / 412.0 - 1.0));
  EXPECT_DOUBLE_EQ(limits.negDiffA[4], -0.05);
  EXPECT_EQ(limits.countsRef.size(), 18u);
}

TEST(DiagLimitsTest, AWavelengthThatIsNoNumberGivesNoLimit) {
  const std::vector<double> nm = {0.0, 532, 715};
  EXPECT_TRUE(std::isnan(NoiseFactor(nm, 0)));
  EXPECT_TRUE(std::isnan(NoiseFactor(std::vector<double>{412, 0.0}, 0)));
}

TEST(DiagValuesTest, ADarkChannelReadsTheSmallestRatio) {
  EXPECT_DOUBLE_EQ(UncorrectedValue(0.0, 0.5, 0.25), -std::log(0.0005) / 0.25);
  EXPECT_DOUBLE_EQ(UncorrectedValue(0.0001, 0.5, 0.25), -std::log(0.0005) / 0.25);
  EXPECT_DOUBLE_EQ(UncorrectedValue(0.25, 0.5, 0.25), -std::log(0.5) / 0.25);
}

TEST(DiagValuesTest, NoReferenceGivesNoReading) {
  EXPECT_TRUE(std::isnan(UncorrectedValue(0.3, 0.0, 0.25)));
  EXPECT_TRUE(std::isnan(UncorrectedValue(0.0, 0.0, 0.25)));
}

class DiagRingTest : public ::testing::Test {
 protected:
  DiagRingTest() : record(PackedLayout(NeritMap(), kWavelengths, 18), NeritMap(), SelfTestLimits{}) {}

  // One sample whose every signal is `signal` (references 0.5).
  void Fill(int row, double signal, double temperature) {
    std::array<double, 18> s{};
    std::array<double, 18> r{};
    std::array<double, 18> cal{};
    s.fill(signal);
    r.fill(0.5);
    cal.fill(signal);
    record.Fill(row, s, r, cal, 0.25, temperature, 0.0);
  }

  DiagWindow record;
};

TEST_F(DiagRingTest, FewerRowsThanTheRingCoverOnlyThoseRows) {
  // The rows not yet filled hold zeros; they must not pull the mean.
  Fill(0, 0.25, 10.0);
  Fill(1, 0.25, 12.0);
  Fill(2, 0.125, 14.0);
  record.Compute(3);
  EXPECT_EQ(record.rowsUsed(), 3);
  EXPECT_DOUBLE_EQ(record.tempMean(), 12.0);
  EXPECT_NEAR(record.tempSdev(), std::sqrt(8.0 / 3.0), 1e-12);
  EXPECT_DOUBLE_EQ(record.rawA().min[0], 0.125);
  EXPECT_EQ(record.rawA().minRow[0], 2);
  EXPECT_DOUBLE_EQ(record.rawC().max[8], 0.25);
  const double u1 = -std::log(0.5) / 0.25;
  const double u2 = -std::log(0.25) / 0.25;
  EXPECT_NEAR(record.uncA().mean[3], (2 * u1 + u2) / 3, 1e-12);
  EXPECT_DOUBLE_EQ(record.calC().mean[0], (0.25 + 0.25 + 0.125) / 3);
}

TEST_F(DiagRingTest, ANumberThatIsNotFiniteSpoilsItsStatistic) {
  std::array<double, 18> s{};
  std::array<double, 18> r{};
  std::array<double, 18> cal{};
  s.fill(0.3);
  r.fill(0.5);
  r[3] = 0.0;  // the first C channel has no reference
  record.Fill(0, s, r, cal, 0.25, 20.0, 0.0);
  record.Fill(1, s, r, cal, 0.25, 20.0, 0.0);
  record.Compute(2);
  EXPECT_TRUE(std::isnan(record.uncC().sdev[0]));
  EXPECT_TRUE(std::isnan(record.calC().mean[0]));
  EXPECT_DOUBLE_EQ(record.ref().min[0], 0.0);
  EXPECT_DOUBLE_EQ(record.uncC().sdev[1], 0.0);
  EXPECT_DOUBLE_EQ(record.calC().mean[1], 0.0);
}

}  // namespace
}  // namespace sondrix
