// SPDX-License-Identifier: GPL-3.0-or-later
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

// Writes the `Count` last decimal digits of `n` (leading zeros included)
// ending at `end`.
template <int Count>
void WriteDigitsBackwards(char* end, std::uint32_t n) {
  for (int count = Count; count >= 2; count -= 2) {
    end -= 2;
    std::memcpy(end, &kDigitPairs[(n % 100) * 2], 2);
    n /= 100;
  }
  if constexpr (Count % 2 == 1) *--end = static_cast<char>('0' + n % 10);
}

// Writes `n` in decimal at `out`; the end.
char* WriteWhole(char* out, std::uint64_t n) {
  if (n < 10) {
    *out = static_cast<char>('0' + n);
    return out + 1;
  }
  if (n < 100) {
    std::memcpy(out, &kDigitPairs[static_cast<std::size_t>(n) * 2], 2);
    return out + 2;
  }
  char digits[20];
  char* start = digits + sizeof digits;
  while (n >= 100) {
    start -= 2;
    std::memcpy(start, &kDigitPairs[static_cast<std::size_t>(n % 100) * 2], 2);
    n /= 100;
  }
  if (n >= 10) {
    start -= 2;
    std::memcpy(start, &kDigitPairs[static_cast<std::size_t>(n) * 2], 2);
  } else {
    *--start = static_cast<char>('0' + n);
  }
  const auto length = static_cast<std::size_t>(digits + sizeof digits - start);
  std::memcpy(out, start, length);
  return out + length;
}

// Below this every whole number and every half is exactly a double.
constexpr double kScaledLimit = 0x1p52;

template <int Decimals>
char* Format(char* out, double value) {
  constexpr std::uint64_t kUnit = kPowers[Decimals];
  // The value in units of its last decimal: the exact product rounded once.
  // Below 2^52 every whole number and every half is a double, and rounding
  // never crosses a double, so the product lies on the same side of each
  // half as the exact one, or on it: only a product that is exactly a half
  // leaves the rounding in doubt (the exact one may be a little above or
  // below, or a tie, which printf gives to the even neighbour). Infinities
  // and NaN fail the comparison.
  const double scaled = std::fabs(value) * kScale[Decimals];
  if (scaled < kScaledLimit) {
    const auto whole = static_cast<std::uint64_t>(static_cast<std::int64_t>(scaled));
    const double fraction = scaled - static_cast<double>(static_cast<std::int64_t>(whole));  // exact
    if (fraction != 0.5) {
      const std::uint64_t units = whole + (fraction > 0.5 ? 1 : 0);
      if (std::signbit(value)) *out++ = '-';
      out = WriteWhole(out, units / kUnit);
      if constexpr (Decimals > 0) {
        *out++ = '.';
        out += Decimals;
        WriteDigitsBackwards<Decimals>(out, static_cast<std::uint32_t>(units % kUnit));
      }
      return out;
    }
  }
  // On a half, or too large: the exact decimal expansion decides.
  return std::to_chars(out, out + kFixedTextMax, value, std::chars_format::fixed, Decimals).ptr;
}

}  // namespace

char* FormatFixed(char* out, double value, int decimals) {
  switch (std::clamp(decimals, 0, kMaxFixedDecimals)) {
    case 0: return Format<0>(out, value);
    case 1: return Format<1>(out, value);
    case 2: return Format<2>(out, value);
    case 3: return Format<3>(out, value);
    case 4: return Format<4>(out, value);
    case 5: return Format<5>(out, value);
    case 6: return Format<6>(out, value);
    case 7: return Format<7>(out, value);
    case 8: return Format<8>(out, value);
    default: return Format<9>(out, value);
  }
}

void AppendFixed(std::string& out, double value, int decimals) {
  char digits[kFixedTextMax];
  const char* end = FormatFixed(digits, value, decimals);
  out.append(digits, static_cast<std::size_t>(end - digits));
}

}  // namespace sondrix
