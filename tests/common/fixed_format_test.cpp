// SPDX-License-Identifier: GPL-3.0-or-later
// FormatFixed against the C library's printf("%.Nf") (and std::to_chars,
// which the data files were written with before), value by value: every
// rounding tie of the fifth decimal below 1 and around many larger numbers,
// a few units in the last place either side of each, random doubles of
// every magnitude, whole numbers, powers of ten and the edges where a value
// is too large to be scaled. About 6 million values take about two seconds;
// SONDRIX_LONG_FORMAT_TEST=N runs N million random values more (and every
// tie below 100).
#include "common/fixed_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <string_view>

namespace sondrix {
namespace {

class FixedFormatCheck {
 public:
  // Compares one value at `decimals`; records the first few differences.
  void Check(double value, int decimals) {
    ++checked_;
    char fast[kFixedTextMax + 1];
    const std::string_view got(fast, static_cast<std::size_t>(FormatFixed(fast, value, decimals) - fast));
    char printed[kFixedTextMax + 8];
    const int length = std::snprintf(printed, sizeof printed, "%.*f", decimals, value);
    char chars[kFixedTextMax + 8];
    const char* end =
        std::to_chars(chars, chars + sizeof chars, value, std::chars_format::fixed, decimals).ptr;
    const std::string_view byPrintf(printed, static_cast<std::size_t>(length));
    const std::string_view byToChars(chars, static_cast<std::size_t>(end - chars));
    // printf and to_chars differ only in how NaN's sign is shown.
    if (got != byToChars || (!std::isnan(value) && got != byPrintf)) Fail(value, decimals, got, byPrintf);
  }
  // The value and the neighbours `ulps` units in the last place either side.
  void CheckAround(double value, int decimals, int ulps = 3) {
    Check(value, decimals);
    double up = value;
    double down = value;
    for (int i = 0; i < ulps; ++i) {
      up = std::nextafter(up, std::numeric_limits<double>::infinity());
      down = std::nextafter(down, -std::numeric_limits<double>::infinity());
      Check(up, decimals);
      Check(down, decimals);
    }
  }
  // Both signs.
  void CheckBothSigns(double value, int decimals, int ulps = 3) {
    CheckAround(value, decimals, ulps);
    CheckAround(-value, decimals, ulps);
  }
  long checked() const { return checked_; }
  int failures() const { return failures_; }

 private:
  void Fail(double value, int decimals, std::string_view got, std::string_view expected) {
    if (++failures_ > 20) return;
    ADD_FAILURE() << "FormatFixed(" << std::hexfloat << value << std::defaultfloat << ", " << decimals
                  << ") gave \"" << got << "\", printf \"" << expected << "\"";
  }
  long checked_ = 0;
  int failures_ = 0;
};

// The decimals the data files use: values and references 5, temperatures
// and depth 2, the sample rate 1, counts 0; the others as well.
constexpr int kDecimalsUsed[] = {5, 2, 1, 0};

TEST(FixedFormat, EveryTieOfTheLastDecimalAndItsNeighbours) {
  FixedFormatCheck check;
  // Every tie of the fifth decimal below 1: k + 0.5 units of 1e-5, as near
  // as a double comes, and three units in the last place either side.
  for (int k = 0; k < 100000; ++k) check.CheckBothSigns((k + 0.5) / 1e5, 5);
  // Ties and exact decimals around larger numbers of every size that
  // scales, for every number of decimals.
  std::mt19937_64 random(25);
  for (int decimals = 0; decimals <= kMaxFixedDecimals; ++decimals) {
    const double unit = std::pow(10.0, -decimals);
    for (int n = 0; n < 20000; ++n) {
      const double magnitude = std::pow(10.0, std::uniform_real_distribution<double>(-6.0, 16.0 - decimals)(random));
      const double k = std::floor(magnitude / unit);
      check.CheckAround((k + 0.5) * unit, decimals, 2);
      check.CheckAround(k * unit, decimals, 1);
      check.CheckAround(-(k + 0.5) * unit, decimals, 1);
    }
  }
  // Values exactly on a tie in binary: halves, quarters, ... of the unit.
  for (int k = 0; k < 4096; ++k) {
    for (int decimals : kDecimalsUsed) check.CheckBothSigns(std::ldexp(k, -12), decimals, 1);
  }
  EXPECT_EQ(check.failures(), 0) << "of " << check.checked() << " values";
}

TEST(FixedFormat, RandomDoublesWholeNumbersPowersOfTenAndEdges) {
  FixedFormatCheck check;
  std::mt19937_64 random(7);
  for (int n = 0; n < 250000; ++n) {
    // Any bit pattern: every magnitude, subnormals, infinities and NaN.
    const double any = std::bit_cast<double>(random());
    // Plausible values of a meter, and values of a random magnitude.
    const double small = std::uniform_real_distribution<double>(-50.0, 50.0)(random);
    const double wide = std::ldexp(std::uniform_real_distribution<double>(-1.0, 1.0)(random),
                                   std::uniform_int_distribution<int>(-40, 70)(random));
    for (int decimals : kDecimalsUsed) {
      // Mostly huge: printf's slow part, so fewer of them.
      if (n % 8 == 0) check.Check(any, decimals);
      check.Check(small, decimals);
      check.Check(wide, decimals);
    }
  }
  for (long k = -100000; k <= 100000; ++k) check.Check(static_cast<double>(k), 5);
  for (int e = -30; e <= 30; ++e) {
    for (int decimals = 0; decimals <= kMaxFixedDecimals; ++decimals)
      check.CheckBothSigns(std::pow(10.0, e), decimals, 4);
  }
  // Around the largest scaled values and the largest doubles.
  for (int decimals = 0; decimals <= kMaxFixedDecimals; ++decimals) {
    const double limit = std::ldexp(1.0, 52) / std::pow(10.0, decimals);
    check.CheckBothSigns(limit, decimals, 50);
    check.CheckBothSigns(std::floor(limit) + 0.5, decimals, 5);
    check.CheckBothSigns(std::numeric_limits<double>::max(), decimals, 2);
    check.CheckBothSigns(std::numeric_limits<double>::denorm_min(), decimals, 2);
  }
  for (double special : {0.0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
    for (int decimals : kDecimalsUsed) {
      check.Check(special, decimals);
      check.Check(-special, decimals);
    }
  }
  EXPECT_EQ(check.failures(), 0) << "of " << check.checked() << " values";
}

// Decimals out of range are taken as the nearest in range.
TEST(FixedFormat, DecimalsOutOfRangeAreClamped) {
  char text[kFixedTextMax];
  EXPECT_EQ(std::string(text, FormatFixed(text, 2.5, -3)), "2");
  EXPECT_EQ(std::string(text, FormatFixed(text, 0.1234567891234, 40)), "0.123456789");
}

// The long run, on demand: SONDRIX_LONG_FORMAT_TEST=100 checks every tie of
// the fifth decimal below 100 (and their neighbours) and 100 million random
// values.
TEST(FixedFormat, LongRunOnDemand) {
  const char* millions = std::getenv("SONDRIX_LONG_FORMAT_TEST");
  if (millions == nullptr) GTEST_SKIP() << "set SONDRIX_LONG_FORMAT_TEST=N for N million random values more";
  FixedFormatCheck check;
  for (long k = 0; k < 10000000; ++k) check.CheckBothSigns((k + 0.5) / 1e5, 5, 2);
  std::mt19937_64 random(2025);
  const long count = std::atol(millions) * 1000000L;
  for (long n = 0; n < count; ++n) {
    const double wide = std::ldexp(std::uniform_real_distribution<double>(-1.0, 1.0)(random),
                                   std::uniform_int_distribution<int>(-30, 50)(random));
    check.Check(wide, 5);
  }
  EXPECT_EQ(check.failures(), 0) << "of " << check.checked() << " values";
}

}  // namespace
}  // namespace sondrix
