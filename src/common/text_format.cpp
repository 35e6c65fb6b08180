#include "common/text_format.h"

#include <algorithm>
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

}  // namespace sondrix
