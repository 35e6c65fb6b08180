// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes as the lines gpsd sends, one JSON report a
// line, through ReadGpsdReport with one sky (a SKY's satellites go with the
// fixes after it). Checks:
// - a line of nothing but blanks is Blank, and only such a line;
// - a fix lies on the globe (latitude in [-90, 90], longitude in
//   [-180, 180]), carries the sky's HDOP and satellites and a quality of
//   NMEA's GGA that a gpsd status gives (1, 2, 4, 5, 6), and its UTC time is
//   the report's "time" as the target reads it (its own reading of
//   "YYYY-MM-DDThh:mm:ss[.f]Z" through std::chrono);
// - a fix written back as a TPV report of the target's own (time to the
//   millisecond, latitude and longitude in 17 digits, the status of its
//   quality) reads back as the same fix;
// - a SKY leaves an HDOP that is a number, -1 or above, and -1 or more
//   satellites; any other report leaves the sky as it was;
// - a fix's year is one a fix may have (kEarliestFixYear ... kLatestFixYear,
//   no 0000 or 9999), and numbers beyond an int ("uSat":1e300) are refused
//   without undefined behaviour.
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "io/gpsd_report.h"

namespace {

using nlohmann::json;
using sondrix::GpsdReport;
using sondrix::GpsdSky;
using sondrix::NmeaFix;
using Kind = GpsdReport::Kind;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

int Digits(std::string_view text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// "YYYY-MM-DDThh:mm:ss[.f...]Z" of a real date and time (seconds to 60, a
// leap second the next second's start): milliseconds since 1970.
std::optional<std::int64_t> IsoTime(std::string_view text) {
  if (text.size() < 20 || text.substr(4, 1) != "-" || text.substr(7, 1) != "-" || text.substr(10, 1) != "T" ||
      text.substr(13, 1) != ":" || text.substr(16, 1) != ":" || text.back() != 'Z') {
    return std::nullopt;
  }
  const int year = Digits(text, 0, 4);
  const int month = Digits(text, 5, 2);
  const int day = Digits(text, 8, 2);
  const int hours = Digits(text, 11, 2);
  const int minutes = Digits(text, 14, 2);
  const int seconds = Digits(text, 17, 2);
  if (year < 0 || month < 0 || day < 0 || hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 ||
      seconds > 60) {
    return std::nullopt;
  }
  std::int64_t fractionMs = 0;
  const std::string_view fraction = text.substr(19, text.size() - 20);
  if (!fraction.empty()) {
    if (fraction.size() < 2 || fraction[0] != '.') return std::nullopt;
    for (const char c : fraction.substr(1)) {
      if (c < '0' || c > '9') return std::nullopt;
    }
    // Rounded half up to the millisecond, digit by digit.
    for (std::size_t k = 1, unit = 100; k <= 3; ++k, unit /= 10) {
      if (k < fraction.size()) fractionMs += (fraction[k] - '0') * static_cast<std::int64_t>(unit);
    }
    if (fraction.size() > 4 && fraction[4] >= '5') ++fractionMs;
  }
  const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                         std::chrono::day{static_cast<unsigned>(day)}};
  if (!date.ok()) return std::nullopt;
  const std::int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
  return ((days * 24 + hours) * 60 + minutes) * 60'000 + seconds * 1000LL + fractionMs;
}

// The year of a time in milliseconds since 1970.
int YearOf(std::int64_t utcMs) {
  const std::chrono::sys_days days{std::chrono::floor<std::chrono::days>(std::chrono::milliseconds(utcMs))};
  return static_cast<int>(std::chrono::year_month_day(days).year());
}

// "YYYY-MM-DDThh:mm:ss.fffZ" of a time in years 0 to 9999.
std::string IsoText(std::int64_t utcMs) {
  using namespace std::chrono;
  const sys_time<milliseconds> time{milliseconds(utcMs)};
  const sys_days day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss<milliseconds> clock(time - day);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long long>(clock.hours().count()), static_cast<long long>(clock.minutes().count()),
                static_cast<long long>(clock.seconds().count()), static_cast<long long>(clock.subseconds().count()));
  return text;
}

// gpsd's TPV status for a GGA quality (QualityOfStatus the other way).
int StatusOfQuality(int quality) {
  switch (quality) {
    case 2: return 2;
    case 4: return 3;
    case 5: return 4;
    case 6: return 5;
    default: return 1;
  }
}

bool SameFix(const NmeaFix& a, const NmeaFix& b) {
  return a.utcMs == b.utcMs && a.latitude == b.latitude && a.longitude == b.longitude && a.quality == b.quality &&
         a.satellites == b.satellites && (a.hdop == b.hdop || (std::isnan(a.hdop) && std::isnan(b.hdop)));
}

void TakeLine(std::string_view line, GpsdSky& sky) {
  const json parsed = json::parse(line, nullptr, false);
  const GpsdSky before = sky;
  const GpsdReport report = ReadGpsdReport(line, sky);
  Check((report.kind == Kind::Blank) == (line.find_first_not_of(" \t") == std::string_view::npos));
  if (report.kind != Kind::Sky) Check(sky == before);
  if (report.kind == Kind::Sky) {
    Check(std::isfinite(sky.hdop) && (sky.hdop == -1.0 || sky.hdop >= 0.0));
    Check(sky.satellites >= -1);
  }
  if (report.kind != Kind::Fix) return;

  const NmeaFix& fix = report.fix;
  Check(parsed.is_object() && parsed.value("class", json()) == "TPV");
  Check(std::isfinite(fix.latitude) && std::fabs(fix.latitude) <= 90.0);
  Check(std::isfinite(fix.longitude) && std::fabs(fix.longitude) <= 180.0);
  Check(fix.satellites == before.satellites && fix.hdop == before.hdop);
  Check(fix.quality == 1 || fix.quality == 2 || fix.quality == 4 || fix.quality == 5 || fix.quality == 6);
  const json& time = parsed["time"];
  Check(time.is_string());
  const std::optional<std::int64_t> utcMs = IsoTime(time.get<std::string>());
  Check(utcMs && *utcMs == fix.utcMs);
  const int year = YearOf(fix.utcMs);
  Check(year >= sondrix::kEarliestFixYear && year <= sondrix::kLatestFixYear);

  // Written back as a TPV and read again.
  char number[32];
  json tpv = {{"class", "TPV"}, {"mode", 3}, {"time", IsoText(fix.utcMs)}, {"status", StatusOfQuality(fix.quality)}};
  std::snprintf(number, sizeof number, "%.17g", fix.latitude);
  tpv["lat"] = json::parse(number);
  std::snprintf(number, sizeof number, "%.17g", fix.longitude);
  tpv["lon"] = json::parse(number);
  GpsdSky same = sky;
  const GpsdReport again = ReadGpsdReport(tpv.dump(), same);
  Check(again.kind == Kind::Fix && SameFix(again.fix, fix));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  GpsdSky sky;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    TakeLine(line, sky);
  }
  return 0;
}
