// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/number_field.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace sondrix {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipDigits(std::string_view text, std::size_t i) {
  while (i < text.size() && IsDigit(text[i])) ++i;
  return i;
}

// The length of the well-formed field at the start of `text`, 0 when there
// is none (the form TakeNumberField describes; `whole` for a whole number).
std::size_t FieldLength(std::string_view text, bool whole) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t start = i;
  i = SkipDigits(text, i);
  bool digits = i > start;
  if (!whole && i < text.size() && text[i] == '.') {
    const std::size_t fraction = ++i;
    i = SkipDigits(text, i);
    if (i == fraction) return 0;
    digits = true;
  }
  if (!digits) return 0;
  if (!whole && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const std::size_t exponent = j;
    j = SkipDigits(text, j);
    if (j == exponent) return 0;
    i = j;
  }
  if (i < text.size() && !IsFieldBlank(text[i])) return 0;
  return i;
}

// Any field: its form checked first, then its number parsed by
// std::from_chars. The length of the field taken, 0 when none was.
template <typename Number>
std::size_t TakeChecked(std::string_view text, Number& value) {
  constexpr bool kWhole = std::is_integral_v<Number>;
  const std::size_t length = FieldLength(text, kWhole);
  if (length == 0) return 0;
  std::string_view field = text.substr(0, length);
  if (field.front() == '+') field.remove_prefix(1);
  Number parsed{};
  auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), parsed);
  if (ec != std::errc() || end != field.data() + field.size()) return 0;
  if constexpr (!kWhole) {
    if (!std::isfinite(parsed)) return 0;
  }
  value = parsed;
  return length;
}

// Whole numbers below this, and powers of ten up to 10^kMaxExactPower, are
// exact doubles; the quotient of two exact doubles is correctly rounded, so
// digits / 10^k is the double nearest to the decimal, as from_chars gives.
constexpr std::uint64_t kExactLimit = std::uint64_t{1} << 53;
constexpr int kMaxExactPower = 22;
constexpr std::array<double, kMaxExactPower + 1> kPowersOfTen = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Whole powers of ten up to 10^8.
constexpr std::array<std::uint64_t, 9> kWholePowers = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000,
                                                       100000000};

// Of the eight characters in `chunk` (the first in its lowest byte), how
// many from the first are digits.
int LeadingDigits(std::uint64_t chunk) {
  constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0;
  constexpr std::uint64_t kThrees = 0x3030303030303030;
  // A digit's byte is 0x3X, and stays 0x3X with 6 added (0x3A ... 0x3F do
  // not). Adding carries into the next byte only from a byte of 0xFA or
  // more, which is no digit: the bytes before the first other stay right.
  const std::uint64_t other = ((chunk & kHigh) ^ kThrees) | (((chunk + 0x0606060606060606) & kHigh) ^ kThrees);
  return other == 0 ? 8 : std::countr_zero(other) / 8;
}

// The number the first `count` (1 to 8) characters of `chunk` write.
std::uint64_t EightDigits(std::uint64_t chunk, int count) {
  // The digits to the top, zeros before them; then pairs, fours, eights.
  std::uint64_t v = (chunk << (8 * (8 - count))) & 0x0F0F0F0F0F0F0F0F;
  v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FF;
  v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFF;
  return (v * 10000 + (v >> 32)) & 0xFFFFFFFF;
}

// The plain decimal at the start of `text`, [sign] digits [. digits], with
// at most 19 digits, fewer than 2^53 in all and at most 22 after its point,
// checked and parsed in one pass. The length taken, 0 for anything else
// (which may still be a field, of another form).
std::size_t TakePlain(std::string_view text, double& value) {
  constexpr std::ptrdiff_t kMaxDigits = 19;  // below 10^19: no overflow in 64 bits
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* at = begin;
  const bool negative = at != end && *at == '-';
  if (at != end && (*at == '-' || *at == '+')) ++at;
  std::uint64_t digits = 0;
  const char* const whole = at;
  for (; at != end && IsDigit(*at); ++at) digits = digits * 10 + static_cast<std::uint64_t>(*at - '0');
  std::ptrdiff_t count = at - whole;
  std::ptrdiff_t decimals = 0;
  if (at != end && *at == '.') {
    const char* const fraction = ++at;
    int leading = 8;
    if (std::endian::native == std::endian::little && end - fraction >= 8) {
      std::uint64_t chunk;
      std::memcpy(&chunk, fraction, sizeof chunk);
      leading = LeadingDigits(chunk);
      if (leading == 0) return 0;
      if (leading < 8) {
        digits = digits * kWholePowers[static_cast<std::size_t>(leading)] + EightDigits(chunk, leading);
        at = fraction + leading;
      }
    }
    if (leading == 8) {
      for (; at != end && IsDigit(*at); ++at) digits = digits * 10 + static_cast<std::uint64_t>(*at - '0');
    }
    decimals = at - fraction;
    if (decimals == 0 || decimals > kMaxExactPower) return 0;
    count += decimals;
  }
  // Digits beyond 19 may have wrapped around: such a field goes the longer way.
  if (count == 0 || count > kMaxDigits || digits >= kExactLimit) return 0;
  if (at != end && !IsFieldBlank(*at)) return 0;
  const double magnitude = static_cast<double>(digits) / kPowersOfTen[static_cast<std::size_t>(decimals)];
  value = negative ? -magnitude : magnitude;
  return static_cast<std::size_t>(at - begin);
}

// The whole number at the start of `text`, [sign] up to 18 digits, checked
// and parsed in one pass; 0 for anything else.
std::size_t TakePlain(std::string_view text, std::int64_t& value) {
  constexpr std::ptrdiff_t kMaxDigits = 18;  // below 10^18, far from 2^63
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* at = begin;
  const bool negative = at != end && *at == '-';
  if (at != end && (*at == '-' || *at == '+')) ++at;
  const char* const first = at;
  std::int64_t number = 0;
  for (; at != end && IsDigit(*at); ++at) {
    if (at - first == kMaxDigits) return 0;
    number = number * 10 + (*at - '0');
  }
  if (at == first) return 0;
  if (at != end && !IsFieldBlank(*at)) return 0;
  value = negative ? -number : number;
  return static_cast<std::size_t>(at - begin);
}

// Blanks, then a field of either form.
template <typename Number>
inline bool Take(std::string_view& text, Number& value) {
  const std::string_view rest = SkipFieldBlanks(text);
  std::size_t length = TakePlain(rest, value);
  if (length == 0) length = TakeChecked(rest, value);
  if (length == 0) return false;
  text = rest.substr(length);
  return true;
}

}  // namespace

bool TakeNumberField(std::string_view& text, double& value) { return Take(text, value); }
bool TakeNumberField(std::string_view& text, std::int64_t& value) { return Take(text, value); }

std::size_t TakeNumberFields(std::string_view& text, std::span<double> values) {
  std::size_t taken = 0;
  while (taken < values.size() && Take(text, values[taken])) ++taken;
  return taken;
}

}  // namespace sondrix
