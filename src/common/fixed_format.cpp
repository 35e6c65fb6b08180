#include "common/fixed_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace sondrix {
namespace {

// Powers of ten, all exact as doubles and as whole numbers.
constexpr std::array<double, kMaxFixedDecimals + 1> kScale = {1e0, 1e1, 1e2, 1e3, 1e4,
                                                              1e5, 1e6, 1e7, 1e8, 1e9};
constexpr std::array<std::uint64_t, kMaxFixedDecimals + 1> kPowers = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// "00" "01" ... "99".
constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// Writes the `count` last decimal digits of `n` (leading zeros included)
// ending at `end`.
void WriteDigitsBackwards(char* end, std::uint64_t n, int count) {
  while (count >= 2) {
    end -= 2;
    std::memcpy(end, &kDigitPairs[static_cast<std::size_t>(n % 100) * 2], 2);
    n /= 100;
    count -= 2;
  }
  if (count == 1) *--end = static_cast<char>('0' + n % 10);
}

int DigitCount(std::uint64_t n) {
  int count = 1;
  while (n >= 10) {
    n /= 10;
    ++count;
  }
  return count;
}

// Below this every whole number and every half is exactly a double.
constexpr double kScaledLimit = 0x1p52;

}  // namespace

char* FormatFixed(char* out, double value, int decimals) {
  decimals = std::clamp(decimals, 0, kMaxFixedDecimals);
  const auto index = static_cast<std::size_t>(decimals);
  // The value in units of its last decimal: the exact product rounded once.
  // Below 2^52 every whole number and every half is a double, and rounding
  // never crosses a double, so the product lies on the same side of each
  // half as the exact one, or on it: only a product that is exactly a half
  // leaves the rounding in doubt (the exact one may be a little above or
  // below, or a tie, which printf gives to the even neighbour). Infinities
  // and NaN fail the comparison.
  const double scaled = std::fabs(value) * kScale[index];
  if (scaled < kScaledLimit) {
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;  // exact
    if (fraction != 0.5) {
      const std::uint64_t units = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
      if (std::signbit(value)) *out++ = '-';
      const std::uint64_t integral = units / kPowers[index];
      const int digits = DigitCount(integral);
      out += digits;
      WriteDigitsBackwards(out, integral, digits);
      if (decimals == 0) return out;
      *out++ = '.';
      out += decimals;
      WriteDigitsBackwards(out, units % kPowers[index], decimals);
      return out;
    }
  }
  // On a half, or too large: the exact decimal expansion decides.
  return std::to_chars(out, out + kFixedTextMax, value, std::chars_format::fixed, decimals).ptr;
}

}  // namespace sondrix
