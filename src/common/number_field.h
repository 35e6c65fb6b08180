// SPDX-License-Identifier: GPL-3.0-or-later
// The numbers of a text line, as data files hold them: blank-separated
// fields read back by the million on replay and export. A field's form is
// checked and its number parsed in one pass for the plain decimals that
// recordings are made of; any other form goes the longer way (a check of
// the form, then std::from_chars), with the same result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace sondrix {

// Blanks between fields: space, tab, carriage return, line feed, vertical
// tab, form feed.
inline bool IsFieldBlank(char c) {
  // '\t', '\n', '\v', '\f' and '\r' are 9 to 13.
  return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

// `text` without its leading blanks.
inline std::string_view SkipFieldBlanks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsFieldBlank(text[i])) ++i;
  return text.substr(i);
}

// Takes one field (after blanks) into `value` and advances `text` past it.
// A field is an optional sign and digits; a decimal number may have a
// fraction (a point with digits after it) and an exponent. It ends at a
// blank or at the end of the text. So a number cut short ("0."), one with
// rubbish behind it ("0.6x"), a fraction in a whole number ("1.5") and words
// such as "nan" or "inf" are not fields. False, with `value` and `text`
// unchanged, when the field is not well formed or its number does not fit:
// a whole number must fit in 64 bits, a decimal number must be a finite
// double. A decimal is the double nearest to it, as std::from_chars gives.
bool TakeNumberField(std::string_view& text, double& value);
bool TakeNumberField(std::string_view& text, std::int64_t& value);
// Takes fields into `values` one after the other as long as they are well
// formed; how many were taken.
std::size_t TakeNumberFields(std::string_view& text, std::span<double> values);

}  // namespace sondrix
