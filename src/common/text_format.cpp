// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/text_format.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "common/c_locale.h"

namespace sondrix {

std::string Format(const char* format, ...) {
  const ScopedCLocale cLocale;
  char buffer[1024];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return {};
  return std::string(buffer, static_cast<std::size_t>(std::min<int>(n, sizeof buffer - 1)));
}

std::string IsoUtc(std::int64_t utcMs, bool milliseconds) {
  // The millisecond of the second, 0 to 999 (never through seconds * 1000,
  // which overflows at the ends of int64).
  const bool before = utcMs % 1000 < 0;
  const std::int64_t seconds = utcMs / 1000 - (before ? 1 : 0);
  const auto ms = static_cast<int>(utcMs % 1000 + (before ? 1000 : 0));
  const auto t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[48];
  if (milliseconds)
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
  else
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Whether "\xNN" begins at `at`.
bool EscapeAt(std::string_view text, std::size_t at) {
  return at + 3 < text.size() && text[at] == '\\' && text[at + 1] == 'x' && HexDigit(text[at + 2]) >= 0 &&
         HexDigit(text[at + 3]) >= 0;
}

void AppendEscaped(std::string& out, unsigned char c) {
  constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

}  // namespace

Utf8Char Utf8CharAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {lead, 1, true};
  const Utf8Char none{0, 1, false};
  // RFC 3629, table 3-7 of the Unicode standard: no overlong form, no
  // surrogate, nothing above U+10FFFF, nothing cut short.
  std::size_t length = 0;
  char32_t point = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, point = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, point = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (length == 0 || at + length > text.size() || byte(1) < low || byte(1) > high) return none;
  for (std::size_t k = 1; k < length; ++k) {
    if (byte(k) < 0x80 || byte(k) > 0xBF) return none;
    point = (point << 6) | (byte(k) & 0x3F);
  }
  return {point, length, true};
}

namespace {

bool AsciiControl(char32_t point) { return point < 0x20 || point == 0x7F; }

// Every byte of the character at `at` as "\xNN".
void AppendEscaped(std::string& out, std::string_view text, std::size_t at, const Utf8Char& c) {
  for (std::size_t k = 0; k < c.length; ++k) AppendEscaped(out, static_cast<unsigned char>(text[at + k]));
}

}  // namespace

std::string EscapeBytes(std::string_view text, bool controls) {
  std::string out;
  out.reserve(text.size());
  ForEachUtf8(text, [&](std::size_t at, const Utf8Char& c) {
    if (!c.valid || (c.length == 1 && (EscapeAt(text, at) || (controls && AsciiControl(c.point)))))
      AppendEscaped(out, text, at, c);
    else
      out.append(text.substr(at, c.length));
  });
  return out;
}

std::string UnescapeBytes(std::string_view text) {
  if (text.find("\\x") == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (EscapeAt(text, i)) {
      out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
      i += 4;
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::optional<std::int64_t> ParseIsoUtc(std::string_view text) {
  std::size_t at = 0;
  // `count` digits at the cursor, moving on.
  const auto digits = [&](std::size_t count) -> std::optional<int> {
    if (text.size() - at < count) return std::nullopt;
    int value = 0;
    for (std::size_t end = at + count; at < end; ++at) {
      if (text[at] < '0' || text[at] > '9') return std::nullopt;
      value = value * 10 + (text[at] - '0');
    }
    return value;
  };
  const auto sign = [&](char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
  };
  const auto year = digits(4);
  if (!year || !sign('-')) return std::nullopt;
  const auto month = digits(2);
  if (!month || !sign('-')) return std::nullopt;
  const auto day = digits(2);
  if (!day || !sign('T')) return std::nullopt;
  const auto hour = digits(2);
  if (!hour || !sign(':')) return std::nullopt;
  const auto minute = digits(2);
  if (!minute || !sign(':')) return std::nullopt;
  const auto second = digits(2);
  // The leap second 60 only at 23:59.
  if (!second || *year < 1970 || *hour > 23 || *minute > 59 || *second > 60 ||
      (*second == 60 && (*hour != 23 || *minute != 59)))
    return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year{*year}, std::chrono::month{static_cast<unsigned>(*month)},
                                         std::chrono::day{static_cast<unsigned>(*day)}};
  if (!date.ok()) return std::nullopt;
  // The fraction, to the nearest millisecond (further digits only round).
  std::int64_t fractionUs = 0;
  if (sign('.')) {
    const std::size_t from = at;
    std::int64_t scale = 1000000;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      scale /= 10;
      fractionUs += (text[at] - '0') * scale;
      ++at;
    }
    if (at == from) return std::nullopt;
  }
  std::int64_t offsetMinutes = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    const bool east = text[at++] == '+';
    const auto hours = digits(2);
    if (!hours || !sign(':')) return std::nullopt;
    const auto minutes = digits(2);
    if (!minutes || *hours > 23 || *minutes > 59) return std::nullopt;
    offsetMinutes = (east ? 1 : -1) * (*hours * 60 + *minutes);
  } else {
    sign('Z');
  }
  if (at != text.size()) return std::nullopt;
  const std::int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
  const std::int64_t seconds = ((days * 24 + *hour) * 60 + *minute) * 60 + *second - offsetMinutes * 60;
  return seconds * 1000 + (fractionUs + 500) / 1000;
}

std::string PrintableText(std::string_view text, bool keepTab, std::size_t maxBytes) {
  const bool cut = text.size() > maxBytes;
  if (cut) text = text.substr(0, maxBytes);
  std::string out;
  out.reserve(text.size());
  ForEachUtf8(text, [&](std::size_t at, const Utf8Char& c) {
    // U+0080 ... U+009F are the C1 control codes; U+2028 and U+2029 break
    // lines too, and U+202A ... U+202E and U+2066 ... U+2069 turn the text's
    // direction, which would show the line otherwise than it is.
    const char32_t u = c.point;
    const bool control = c.length == 1 ? AsciiControl(u) && !(keepTab && u == '\t') : u <= 0x9F;
    const bool layout = (u >= 0x2028 && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
    if (!c.valid || control || layout)
      AppendEscaped(out, text, at, c);
    else
      out.append(text.substr(at, c.length));
  });
  if (cut) out += "...";
  return out;
}

}  // namespace sondrix
