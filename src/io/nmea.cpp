// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/nmea.h"

#include <charconv>
#include <chrono>
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

// NMEA 0183 writes its numbers in fixed forms: only digits, and one
// decimal point where a field may have a fraction. No sign, no exponent, no
// spaces: "12e1" minutes or "-1" hours are no numbers of a sentence.
bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// `digits` digits, or `digits` digits, a point and at least one digit; any
// count of leading digits when `digits` is 0 (but at least one).
bool DecimalForm(std::string_view text, std::size_t digits) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  if (!AllDigits(whole) || (digits != 0 && whole.size() != digits)) return false;
  return point == std::string_view::npos || AllDigits(text.substr(point + 1));
}

// A whole number written in digits only.
std::optional<int> Digits(std::string_view text, std::size_t maxDigits = 9) {
  if (!AllDigits(text) || text.size() > maxDigits) return std::nullopt;
  int value = 0;
  for (const char c : text) value = value * 10 + (c - '0');
  return value;
}

// A number of DecimalForm (checked first).
double Decimal(std::string_view text) {
  double value = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Days since 1970-01-01 of a date that exists (no 31 February, no 29
// February outside leap years), in the years a fix may have.
std::optional<std::int64_t> Days(int year, int month, int day) {
  if (year < kEarliestFixYear || year > kLatestFixYear || month < 1 || month > 12 || day < 1 || day > 31)
    return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                         std::chrono::day{static_cast<unsigned>(day)}};
  if (!date.ok()) return std::nullopt;
  return std::chrono::sys_days(date).time_since_epoch().count();
}

// "hhmmss" or "hhmmss.s..." (hours 00-23, minutes 00-59, seconds 00-59, 60
// only in the leap second at 23:59): milliseconds of the day, the fraction
// rounded to the millisecond.
std::optional<std::int64_t> TimeOfDay(std::string_view text) {
  if (!DecimalForm(text, 6)) return std::nullopt;
  const int hours = *Digits(text.substr(0, 2));
  const int minutes = *Digits(text.substr(2, 2));
  const int seconds = *Digits(text.substr(4, 2));
  if (hours > 23 || minutes > 59 || seconds > 60 || (seconds == 60 && (hours != 23 || minutes != 59)))
    return std::nullopt;
  std::int64_t ms = ((hours * 60LL + minutes) * 60LL + seconds) * 1000;
  if (text.size() > 7) {
    // The fraction's first four digits, rounded to three.
    int tenths = 0;
    for (std::size_t k = 7; k < 11; ++k) tenths = tenths * 10 + (k < text.size() ? text[k] - '0' : 0);
    ms += (tenths + 5) / 10;
  }
  return ms;
}

// "ddmm.mmmm" (or "dddmm.mmmm" with `degreeDigits` 3) and its hemisphere:
// degrees, negative south or west. The degrees in full, whole minutes 00-59
// and their decimals; at most 90 degrees of latitude, 180 of longitude.
std::optional<double> Angle(std::string_view text, std::string_view hemisphere, std::size_t degreeDigits,
                            char negative, char positive) {
  if (!DecimalForm(text, degreeDigits + 2) || hemisphere.size() != 1) return std::nullopt;
  if (hemisphere[0] != negative && hemisphere[0] != positive) return std::nullopt;
  const int degrees = *Digits(text.substr(0, degreeDigits));
  const int wholeMinutes = *Digits(text.substr(degreeDigits, 2));
  if (wholeMinutes > 59) return std::nullopt;
  const double value = degrees + Decimal(text.substr(degreeDigits)) / 60.0;
  if (value > (degreeDigits == 2 ? 90.0 : 180.0)) return std::nullopt;
  return hemisphere[0] == negative ? -value : value;
}

}  // namespace

std::uint8_t NmeaChecksum(std::string_view body) {
  std::uint8_t sum = 0;
  for (const char c : body) sum ^= static_cast<std::uint8_t>(c);
  return sum;
}

std::string NmeaSentence(std::string_view body) {
  constexpr char kHex[] = "0123456789ABCDEF";
  const std::uint8_t sum = NmeaChecksum(body);
  std::string sentence;
  sentence.reserve(body.size() + 6);
  sentence += '$';
  sentence += body;
  sentence += '*';
  sentence += kHex[sum >> 4];
  sentence += kHex[sum & 0x0F];
  sentence += "\r\n";
  return sentence;
}

NmeaParser::Result NmeaParser::Parse(std::string_view sentence, NmeaFix& fix) {
  while (!sentence.empty() && (sentence.back() == '\r' || sentence.back() == '\n')) sentence.remove_suffix(1);
  const std::size_t star = sentence.rfind('*');
  if (sentence.empty() || sentence.front() != '$' || star == std::string_view::npos || star + 3 != sentence.size()) {
    ++badChecksums_;
    return Result::BadChecksum;
  }
  const int high = HexDigit(sentence[star + 1]);
  const int low = HexDigit(sentence[star + 2]);
  if (high < 0 || low < 0 || NmeaChecksum(sentence.substr(1, star - 1)) != high * 16 + low) {
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
    // hhmmss.ss,dd,mm,yyyy,zone hours,zone minutes
    if (f.size() < 5) return malformed();
    const auto time = TimeOfDay(f[1]);
    const auto day = f[2].size() == 2 ? Digits(f[2]) : std::nullopt;
    const auto month = f[3].size() == 2 ? Digits(f[3]) : std::nullopt;
    const auto year = f[4].size() == 4 ? Digits(f[4]) : std::nullopt;
    if (!time || !day || !month || !year) return malformed();
    const auto days = Days(*year, *month, *day);
    if (!days) return malformed();
    days_ = days;
    dayMs_ = *time;
    return Result::Dated;
  }
  if (type == "RMC") {
    // hhmmss.ss,A|V,ddmm.mm,N|S,dddmm.mm,E|W,speed,course,ddmmyy,variation,E|W[,mode]
    if (f.size() < 10) return malformed();
    if (f[2] == "V" || (f.size() > 12 && f[12] == "N")) return invalid();
    if (f[2] != "A") return malformed();
    const auto time = TimeOfDay(f[1]);
    const auto latitude = Angle(f[3], f[4], 2, 'S', 'N');
    const auto longitude = Angle(f[5], f[6], 3, 'W', 'E');
    if (!time || !latitude || !longitude || f[9].size() != 6 || !AllDigits(f[9])) return malformed();
    const int day = *Digits(f[9].substr(0, 2));
    const int month = *Digits(f[9].substr(2, 2));
    const int year = *Digits(f[9].substr(4, 2));
    const auto days = Days(year < 80 ? 2000 + year : 1900 + year, month, day);
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
    // hhmmss.ss,ddmm.mm,N|S,dddmm.mm,E|W,quality 0-8,satellites,hdop,...
    if (f.size() < 9) return malformed();
    const auto quality = f[6].size() == 1 ? Digits(f[6]) : std::nullopt;
    if (!quality || *quality > 8) return malformed();
    if (*quality == 0) return invalid();
    const auto time = TimeOfDay(f[1]);
    const auto latitude = Angle(f[2], f[3], 2, 'S', 'N');
    const auto longitude = Angle(f[4], f[5], 3, 'W', 'E');
    const auto satellites = f[7].empty() ? std::optional<int>(-1) : Digits(f[7], 3);
    const bool hdopRead = f[8].empty() || (f[8].size() <= 8 && DecimalForm(f[8], 0));
    if (!time || !latitude || !longitude || !satellites || !hdopRead) return malformed();
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
    fix.hdop = f[8].empty() ? -1.0 : Decimal(f[8]);
    return Result::Fix;
  }
  return Result::Ignored;
}

}  // namespace sondrix
