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
  if (!second || *year < 1970 || *hour > 23 || *minute > 59 || *second > 60) return std::nullopt;
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

}  // namespace sondrix
