// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/nmea.h"

#include <charconv>
#include <cmath>
#include <type_traits>
#include <vector>

namespace sondrix {
namespace {

std::vector<std::string_view> SplitFields(std::string_view body) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t comma = body.find(',');
    fields.push_back(body.substr(0, comma));
    if (comma == std::string_view::npos) return fields;
    body.remove_prefix(comma + 1);
  }
}

// A field that is a number and nothing else; "nan" and "inf" are none.
template <typename T>
std::optional<T> Number(std::string_view text) {
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(value)) return std::nullopt;
  }
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::optional<std::int64_t> Days(int year, int month, int day) {
  if (year < 1980 || year > 2200 || month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
}

// "hhmmss" or "hhmmss.sss": milliseconds of the day.
std::optional<std::int64_t> TimeOfDay(std::string_view text) {
  if (text.size() < 6) return std::nullopt;
  const auto hours = Number<int>(text.substr(0, 2));
  const auto minutes = Number<int>(text.substr(2, 2));
  const auto seconds = Number<double>(text.substr(4));
  if (!hours || !minutes || !seconds || *hours > 23 || *minutes > 59 || !(*seconds >= 0.0 && *seconds < 61.0))
    return std::nullopt;
  return (*hours * 3600LL + *minutes * 60LL) * 1000 + std::llround(*seconds * 1000.0);
}

// "ddmm.mmmm" (or "dddmm.mmmm") and its hemisphere: degrees, negative south
// or west.
std::optional<double> Angle(std::string_view text, std::string_view hemisphere, int degreeDigits, char negative,
                            char positive) {
  if (text.size() < static_cast<std::size_t>(degreeDigits + 2) || hemisphere.size() != 1) return std::nullopt;
  const auto degrees = Number<int>(text.substr(0, static_cast<std::size_t>(degreeDigits)));
  const auto minutes = Number<double>(text.substr(static_cast<std::size_t>(degreeDigits)));
  if (!degrees || !minutes || !(*minutes >= 0.0 && *minutes < 60.0)) return std::nullopt;
  if (hemisphere[0] != negative && hemisphere[0] != positive) return std::nullopt;
  const double value = *degrees + *minutes / 60.0;
  if (value > (degreeDigits == 2 ? 90.0 : 180.0)) return std::nullopt;
  return hemisphere[0] == negative ? -value : value;
}

}  // namespace

NmeaParser::Result NmeaParser::Parse(std::string_view sentence, NmeaFix& fix) {
  while (!sentence.empty() && (sentence.back() == '\r' || sentence.back() == '\n')) sentence.remove_suffix(1);
  const std::size_t star = sentence.rfind('*');
  if (sentence.empty() || sentence.front() != '$' || star == std::string_view::npos || star + 3 != sentence.size()) {
    ++badChecksums_;
    return Result::BadChecksum;
  }
  const int high = HexDigit(sentence[star + 1]);
  const int low = HexDigit(sentence[star + 2]);
  int sum = 0;
  for (std::size_t k = 1; k < star; ++k) sum ^= static_cast<unsigned char>(sentence[k]);
  if (high < 0 || low < 0 || sum != high * 16 + low) {
    ++badChecksums_;
    return Result::BadChecksum;
  }
  const std::vector<std::string_view> f = SplitFields(sentence.substr(1, star - 1));
  if (f[0].size() != 5) return Result::Ignored;
  const std::string_view type = f[0].substr(2);
  const auto malformed = [this] {
    ++malformed_;
    return Result::Malformed;
  };
  const auto invalid = [this] {
    ++invalid_;
    return Result::Invalid;
  };

  if (type == "ZDA") {
    if (f.size() < 5) return malformed();
    const auto time = TimeOfDay(f[1]);
    const auto day = Number<int>(f[2]);
    const auto month = Number<int>(f[3]);
    const auto year = Number<int>(f[4]);
    if (!time || !day || !month || !year) return malformed();
    const auto days = Days(*year, *month, *day);
    if (!days) return malformed();
    days_ = days;
    dayMs_ = *time;
    return Result::Dated;
  }
  if (type == "RMC") {
    if (f.size() < 10) return malformed();
    if (f[2] != "A") return invalid();
    const auto time = TimeOfDay(f[1]);
    const auto latitude = Angle(f[3], f[4], 2, 'S', 'N');
    const auto longitude = Angle(f[5], f[6], 3, 'W', 'E');
    if (!time || !latitude || !longitude || f[9].size() != 6) return malformed();
    const auto day = Number<int>(f[9].substr(0, 2));
    const auto month = Number<int>(f[9].substr(2, 2));
    const auto year = Number<int>(f[9].substr(4, 2));
    if (!day || !month || !year) return malformed();
    const auto days = Days(*year < 80 ? 2000 + *year : 1900 + *year, *month, *day);
    if (!days) return malformed();
    days_ = days;
    dayMs_ = *time;
    fix = NmeaFix{};
    fix.utcMs = *days * 86'400'000LL + *time;
    fix.latitude = *latitude;
    fix.longitude = *longitude;
    return Result::Fix;
  }
  if (type == "GGA") {
    if (f.size() < 9) return malformed();
    const auto quality = Number<int>(f[6]);
    if (!quality) return malformed();
    if (*quality == 0) return invalid();
    const auto time = TimeOfDay(f[1]);
    const auto latitude = Angle(f[2], f[3], 2, 'S', 'N');
    const auto longitude = Angle(f[4], f[5], 3, 'W', 'E');
    const auto satellites = f[7].empty() ? std::optional<int>(-1) : Number<int>(f[7]);
    const auto hdop = f[8].empty() ? std::optional<double>(-1.0) : Number<double>(f[8]);
    if (!time || !latitude || !longitude || !satellites || !hdop) return malformed();
    if (!days_) {
      ++undated_;
      return Result::Undated;
    }
    const std::int64_t day = *days_ + (*time + 43'200'000LL < dayMs_ ? 1 : 0);
    fix = NmeaFix{};
    fix.utcMs = day * 86'400'000LL + *time;
    fix.latitude = *latitude;
    fix.longitude = *longitude;
    fix.quality = *quality;
    fix.satellites = *satellites;
    fix.hdop = *hdop;
    return Result::Fix;
  }
  return Result::Ignored;
}

}  // namespace sondrix
