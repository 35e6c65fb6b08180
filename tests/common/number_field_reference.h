// SPDX-License-Identifier: GPL-3.0-or-later
// The reference reading of a number field (common/number_field.h), as it
// was written first: the field's form checked by the rule data files have
// always been read by, then its number parsed by std::from_chars. Kept as
// the truth TakeNumberField is held to, by tests/common/number_field_test.cpp
// and the number field fuzz target.
#pragma once

#include <charconv>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace sondrix::reference {

inline bool OldIsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
inline bool OldIsDigit(char c) { return c >= '0' && c <= '9'; }

inline std::size_t OldSkipDigits(std::string_view text, std::size_t i) {
  while (i < text.size() && OldIsDigit(text[i])) ++i;
  return i;
}

inline std::size_t OldFieldLength(std::string_view text, bool whole) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t start = i;
  i = OldSkipDigits(text, i);
  bool digits = i > start;
  if (!whole && i < text.size() && text[i] == '.') {
    const std::size_t fraction = ++i;
    i = OldSkipDigits(text, i);
    if (i == fraction) return 0;
    digits = true;
  }
  if (!digits) return 0;
  if (!whole && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const std::size_t exponent = j;
    j = OldSkipDigits(text, j);
    if (j == exponent) return 0;
    i = j;
  }
  if (i < text.size() && !OldIsBlank(text[i])) return 0;
  return i;
}

template <typename Number>
inline bool OldTake(std::string_view& text, Number& value) {
  constexpr bool kWhole = std::is_integral_v<Number>;
  std::size_t blanks = 0;
  while (blanks < text.size() && OldIsBlank(text[blanks])) ++blanks;
  const std::string_view rest = text.substr(blanks);
  const std::size_t length = OldFieldLength(rest, kWhole);
  if (length == 0) return false;
  std::string_view field = rest.substr(0, length);
  if (field.front() == '+') field.remove_prefix(1);
  Number parsed{};
  auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), parsed);
  if (ec != std::errc() || end != field.data() + field.size()) return false;
  if constexpr (!kWhole) {
    if (!std::isfinite(parsed)) return false;
  }
  value = parsed;
  text = rest.substr(length);
  return true;
}

}  // namespace sondrix::reference
