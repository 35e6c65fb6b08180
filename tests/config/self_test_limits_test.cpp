// SPDX-License-Identifier: GPL-3.0-or-later
// The self-test limits record: each value of a limits line lands in the
// field its name says, both tables cover every field of their record once,
// and copying and comparing a configuration take every limit into account.
#include "config/self_test_limits.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "config/benth_meter_config.h"
#include "config/meter_config.h"
#include "config_files.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

// The values 1, 2, 3 ... in file order, as a limits line.
std::string Counting(int count) {
  std::string line;
  for (int i = 1; i <= count; ++i) line += std::to_string(i) + "\t";
  return line + "; limits\n";
}

TEST(SelfTestLimitsLine, EachValueLandsInTheFieldItsNameSays) {
  SelfTestLimits nine;
  auto file = test::TextStream(Counting(9));
  ASSERT_TRUE(ReadLimitsLine(file.get(), nine, kLimitsLine));
  // The order of the absorption/attenuation meters' file.
  EXPECT_EQ(nine.maxANoise, 1.0);
  EXPECT_EQ(nine.maxCNoise, 2.0);
  EXPECT_EQ(nine.maxADifference, 3.0);
  EXPECT_EQ(nine.maxCDifference, 4.0);
  EXPECT_EQ(nine.minACounts, 5.0);
  EXPECT_EQ(nine.minCCounts, 6.0);
  EXPECT_EQ(nine.minRCounts, 7.0);
  EXPECT_EQ(nine.maxTempSdev, 8.0);
  EXPECT_EQ(nine.maxDepthSdev, 9.0);

  BenthSelfTestLimits eleven;
  file = test::TextStream(Counting(11));
  ASSERT_TRUE(ReadLimitsLine(file.get(), eleven, kBenthLimitsLine));
  // The hyperspectral meter's file: the nonconformity limits after the noise.
  EXPECT_EQ(eleven.maxANoise, 1.0);
  EXPECT_EQ(eleven.maxCNoise, 2.0);
  EXPECT_EQ(eleven.maxANonConform, 3.0);
  EXPECT_EQ(eleven.maxCNonConform, 4.0);
  EXPECT_EQ(eleven.maxADifference, 5.0);
  EXPECT_EQ(eleven.maxCDifference, 6.0);
  EXPECT_EQ(eleven.minACounts, 7.0);
  EXPECT_EQ(eleven.minCCounts, 8.0);
  EXPECT_EQ(eleven.minRCounts, 9.0);
  EXPECT_EQ(eleven.maxTempSdev, 10.0);
  EXPECT_EQ(eleven.maxDepthSdev, 11.0);

  // What is written reads back the same, with the names in the comment.
  const std::string text = test::Written([&](std::FILE* f) {
    WriteLimitsLine(f, eleven, kBenthLimitsLine);
    return status::kOk;
  });
  EXPECT_EQ(text,
            "1.000000\t2.000000\t3.000000\t4.000000\t5.000000\t6.000000\t7.000000\t8.000000\t9.000000"
            "\t10.000000\t11.000000\t; maxANoise\tmaxCNoise\tmaxANonConform\tmaxCNonConform"
            "\tmaxADifference\tmaxCDifference\tminACounts\tminCCounts\tminRCounts\tmaxTempSdev"
            "\tmaxDepthSdev\n");
}

TEST(SelfTestLimitsLine, ARefusedValueStopsTheLine) {
  SelfTestLimits limits;
  auto file = test::TextStream("1 2 -3 4 5 6 7 8 9\n");
  EXPECT_FALSE(ReadLimitsLine(file.get(), limits, kLimitsLine));
  EXPECT_EQ(limits.maxCNoise, 2.0);
  EXPECT_EQ(limits.maxADifference, 0.0);  // the refused value is not taken
  file = test::TextStream("1 2 3 nan 5 6 7 8 9\n");
  EXPECT_FALSE(ReadLimitsLine(file.get(), limits, kLimitsLine));
}

// Every field of a record is in its table once: a field added to the record
// but not to its line would be neither read, written, copied nor compared.
template <class Limits, std::size_t N>
void ExpectCoversEveryField(const std::array<LimitField<Limits>, N>& line) {
  EXPECT_EQ(sizeof(Limits), N * sizeof(double));
  std::set<std::string_view> names;
  Limits limits;
  for (std::size_t i = 0; i < N; ++i) {
    names.insert(line[i].name);
    limits.*line[i].value = static_cast<double>(i + 1);
  }
  EXPECT_EQ(names.size(), N);
  const auto* raw = reinterpret_cast<const double*>(&limits);
  std::set<double> values(raw, raw + N);
  EXPECT_EQ(values.size(), N) << "two names share a field";
}

TEST(SelfTestLimitsLine, TheTablesCoverEveryFieldOnce) {
  ExpectCoversEveryField(kLimitsLine);
  ExpectCoversEveryField(kBenthLimitsLine);
}

// Copying carries every limit; each limit alone changed by more than the
// tolerance makes a configuration differ, by less does not.
template <class ConfigClass, class Limits, std::size_t N>
void ExpectEveryLimitCopiedAndCompared(ConfigClass& config, ConfigClass& copy,
                                       const std::array<LimitField<Limits>, N>& line) {
  for (std::size_t i = 0; i < N; ++i) config.limits.*line[i].value = 0.01 * static_cast<double>(i + 1);
  ASSERT_EQ(config.CopyConfig(copy), status::kOk);
  EXPECT_TRUE(copy.limits == config.limits);
  EXPECT_EQ(copy.CompConfig(config), 1);
  for (const LimitField<Limits>& field : line) {
    const double kept = copy.limits.*field.value;
    copy.limits.*field.value = kept + 5e-11;
    EXPECT_EQ(copy.CompConfig(config), 1) << field.name;
    copy.limits.*field.value = kept + 1e-6;
    EXPECT_EQ(copy.CompConfig(config), 0) << field.name;
    copy.limits.*field.value = kept;
  }
}

TEST(SelfTestLimitsConfig, EveryLimitIsCopiedAndCompared) {
  MeterConfig meter(18, 18), meterCopy(18, 18);
  ExpectEveryLimitCopiedAndCompared(meter, meterCopy, kLimitsLine);
  BenthMeterConfig benth(0, 0), benthCopy(0, 0);
  ExpectEveryLimitCopiedAndCompared(benth, benthCopy, kBenthLimitsLine);
}

}  // namespace
}  // namespace sondrix
