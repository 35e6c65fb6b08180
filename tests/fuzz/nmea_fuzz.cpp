// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes as a GPS receiver's NMEA sentences, one a
// line, through one NmeaParser (a GGA is dated by the RMC or ZDA before it).
// When bit 0 of the first byte is set, every line that starts with '$' gets
// its right checksum (after its last '*', or appended), so that inputs get
// past the checksum to the fields.
//
// Each sentence is read again by the target's own reading of NMEA 0183's
// forms ("hhmmss.ss", "ddmm.mmmm", "dddmm.mmmm", "ddmmyy"; calendar dates
// through std::chrono), and:
// - the checksum is refused exactly when the target's own sum disagrees;
// - exactly the counter of the result moves;
// - a fix lies on the globe (latitude in [-90, 90], longitude in
//   [-180, 180]), its HDOP is a number, its UTC time between 1980 and 2201
//   and at the sentence's time of day (its fraction rounded half up to the
//   millisecond);
// - a sentence of the plain forms with a valid fix (RMC "A", GGA quality 1
//   to 6, a real date) is taken, at the place and UTC time its fields say;
// - a fix comes only from fields of NMEA's own forms (no sign, no exponent:
//   no negative degrees, "3e1" minutes or time of day "-10000"), with the
//   hemisphere's sign, and an RMC's from a real date (no 31 February).
#include <chrono>
#include <cmath>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/nmea.h"

namespace {

using sondrix::NmeaFix;
using sondrix::NmeaParser;
using Result = NmeaParser::Result;

constexpr std::int64_t kDayMs = 86'400'000;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

std::vector<std::string_view> Fields(std::string_view body) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t comma = body.find(',');
    fields.push_back(body.substr(0, comma));
    if (comma == std::string_view::npos) return fields;
    body.remove_prefix(comma + 1);
  }
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int DigitsValue(std::string_view text) {
  int value = 0;
  for (const char c : text) value = value * 10 + (c - '0');
  return value;
}

// `whole` digits, then optionally a point and at least one digit.
bool PlainDecimal(std::string_view text, std::size_t whole) {
  if (text.size() < whole || !AllDigits(text.substr(0, whole))) return false;
  if (text.size() == whole) return true;
  return text[whole] == '.' && AllDigits(text.substr(whole + 1));
}

// Empty, or digits with an optional fraction ("12", "0.9").
bool PlainOrEmpty(std::string_view text) {
  const std::size_t point = text.find('.');
  return text.empty() || (point != 0 && PlainDecimal(text, point == std::string_view::npos ? text.size() : point));
}

double DecimalValue(std::string_view text) {
  double value = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// The sentence's own checksum, when it has the form "$...*hh".
bool ChecksumRight(std::string_view sentence) {
  while (!sentence.empty() && (sentence.back() == '\r' || sentence.back() == '\n')) sentence.remove_suffix(1);
  if (sentence.size() < 4 || sentence.front() != '$' || sentence[sentence.size() - 3] != '*') return false;
  unsigned sum = 0;
  for (std::size_t i = 1; i + 3 < sentence.size(); ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  unsigned given = 0;
  const std::string_view hex = sentence.substr(sentence.size() - 2);
  for (const char c : hex) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else {
      return false;
    }
    given = given * 16 + digit;
  }
  return sum == given;
}

// Milliseconds of the day of a plain "hhmmss[.s...]" with a real time of
// day (seconds below 60), its fraction rounded half up to the millisecond.
std::optional<std::int64_t> PlainTimeOfDay(std::string_view text) {
  if (!PlainDecimal(text, 6)) return std::nullopt;
  const int hours = DigitsValue(text.substr(0, 2));
  const int minutes = DigitsValue(text.substr(2, 2));
  const int seconds = DigitsValue(text.substr(4, 2));
  if (hours > 23 || minutes > 59 || seconds > 59) return std::nullopt;
  std::int64_t ms = ((hours * 60LL + minutes) * 60 + seconds) * 1000;
  const std::string_view fraction = text.size() > 7 ? text.substr(7) : std::string_view();
  for (std::size_t k = 0, unit = 100; k < 3; ++k, unit /= 10) {
    if (k < fraction.size()) ms += (fraction[k] - '0') * static_cast<std::int64_t>(unit);
  }
  if (fraction.size() > 3 && fraction[3] >= '5') ++ms;
  return ms;
}

// Degrees of a plain "ddmm.mmm" (`degreeDigits` 2) or "dddmm.mmm" (3) and
// its hemisphere, when they make a place on the globe.
std::optional<double> PlainAngle(std::string_view text, std::string_view hemisphere, std::size_t degreeDigits,
                                 char negative, char positive) {
  if (!PlainDecimal(text, degreeDigits + 2) || hemisphere.size() != 1) return std::nullopt;
  if (hemisphere[0] != negative && hemisphere[0] != positive) return std::nullopt;
  const double minutes = DecimalValue(text.substr(degreeDigits));
  const double value = DigitsValue(text.substr(0, degreeDigits)) + minutes / 60.0;
  if (!(minutes < 60.0) || value > (degreeDigits == 2 ? 90.0 : 180.0)) return std::nullopt;
  return hemisphere[0] == negative ? -value : value;
}

// Days since 1970 of a real date.
std::optional<std::int64_t> CivilDays(int year, int month, int day) {
  const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                         std::chrono::day{static_cast<unsigned>(day)}};
  if (!date.ok()) return std::nullopt;
  return std::chrono::sys_days(date).time_since_epoch().count();
}

// An RMC's "ddmmyy" (years 80 to 99 the 1900s).
std::optional<std::int64_t> RmcDays(std::string_view text) {
  if (text.size() != 6 || !AllDigits(text)) return std::nullopt;
  const int year = DigitsValue(text.substr(4, 2));
  return CivilDays(year < 80 ? 2000 + year : 1900 + year, DigitsValue(text.substr(2, 2)),
                   DigitsValue(text.substr(0, 2)));
}

bool Near(double a, double b) { return std::fabs(a - b) <= 1e-9; }

// The sentence's fields between '$' and '*' (empty when it has no such form).
std::vector<std::string_view> SentenceFields(std::string_view sentence) {
  while (!sentence.empty() && (sentence.back() == '\r' || sentence.back() == '\n')) sentence.remove_suffix(1);
  if (sentence.size() < 4) return {};
  return Fields(sentence.substr(1, sentence.size() - 4));
}

struct Counts {
  long long badChecksums, malformed, invalid, undated;
};

Counts CountsOf(const NmeaParser& parser) {
  return {parser.badChecksums(), parser.malformed(), parser.invalid(), parser.undated()};
}

class SentenceCheck {
 public:
  void Take(std::string_view sentence) {
    const Counts before = CountsOf(parser_);
    NmeaFix fix;
    fix.utcMs = 12345;
    const Result result = parser_.Parse(sentence, fix);
    const Counts after = CountsOf(parser_);
    Check(after.badChecksums == before.badChecksums + (result == Result::BadChecksum ? 1 : 0));
    Check(after.malformed == before.malformed + (result == Result::Malformed ? 1 : 0));
    Check(after.invalid == before.invalid + (result == Result::Invalid ? 1 : 0));
    Check(after.undated == before.undated + (result == Result::Undated ? 1 : 0));
    Check((result == Result::BadChecksum) == !ChecksumRight(sentence));
    if (result != Result::Fix) Check(fix.utcMs == 12345);  // untouched
    if (result == Result::BadChecksum) return;

    const std::vector<std::string_view> f = SentenceFields(sentence);
    const std::string_view type = f[0].size() == 5 ? f[0].substr(2) : std::string_view();
    if (result == Result::Fix) CheckFix(type, f, fix);
    CheckPlainTaken(type, f, result, fix);
    if (result == Result::Fix || result == Result::Dated) dated_ = true;
  }

 private:
  // What every fix must be.
  void CheckFix(std::string_view type, const std::vector<std::string_view>& f, const NmeaFix& fix) const {
    Check(type == "RMC" || type == "GGA");
    Check(std::isfinite(fix.latitude) && std::fabs(fix.latitude) <= 90.0);
    Check(std::isfinite(fix.longitude) && std::fabs(fix.longitude) <= 180.0);
    Check(std::isfinite(fix.hdop));
    const std::int64_t earliest = *CivilDays(1980, 1, 1) * kDayMs;
    const std::int64_t latest = *CivilDays(2201, 1, 2) * kDayMs;
    Check(fix.utcMs >= earliest && fix.utcMs < latest);
    const bool rmc = type == "RMC";
    if (rmc) Check(fix.quality == -1 && fix.satellites == -1 && fix.hdop == -1.0);
    const std::string_view time = f[1];
    const std::string_view latitude = rmc ? f[3] : f[2];
    const std::string_view north = rmc ? f[4] : f[3];
    const std::string_view longitude = rmc ? f[5] : f[4];
    const std::string_view east = rmc ? f[6] : f[5];
    // At the time of day the sentence says (a leap second's 60 is the
    // next minute's 0).
    if (const auto day = PlainTimeOfDay(time)) Check(fix.utcMs % kDayMs == *day % kDayMs);
    if (rmc) {
      if (const auto days = RmcDays(f[9]); days && PlainTimeOfDay(time)) {
        Check(fix.utcMs == *days * kDayMs + *PlainTimeOfDay(time));
      }
    }
    if (const auto value = PlainAngle(latitude, north, 2, 'S', 'N')) Check(Near(fix.latitude, *value));
    if (const auto value = PlainAngle(longitude, east, 3, 'W', 'E')) Check(Near(fix.longitude, *value));
    // Only NMEA's own forms: digits and a point, no sign, no exponent, no
    // blank; the hemisphere's sign; a real date.
    Check(PlainDecimal(time, 6) && PlainDecimal(latitude, 4) && PlainDecimal(longitude, 5));
    Check(fix.latitude == 0.0 || (fix.latitude > 0.0) == (north == "N"));
    Check(fix.longitude == 0.0 || (fix.longitude > 0.0) == (east == "E"));
    if (rmc) Check(RmcDays(f[9]).has_value());
  }

  // A sentence of the plain forms with a valid fix or date must be taken.
  void CheckPlainTaken(std::string_view type, const std::vector<std::string_view>& f, Result result,
                       const NmeaFix& fix) const {
    // Speed, course and (NMEA 2.3) the mode of a fix, as receivers send them.
    if (type == "RMC" && f.size() >= 10 && f[2] == "A" && PlainOrEmpty(f[7]) && PlainOrEmpty(f[8]) &&
        (f.size() < 13 || f[12] == "A" || f[12] == "D")) {
      const auto time = PlainTimeOfDay(f[1]);
      const auto latitude = PlainAngle(f[3], f[4], 2, 'S', 'N');
      const auto longitude = PlainAngle(f[5], f[6], 3, 'W', 'E');
      const auto days = RmcDays(f[9]);
      if (time && latitude && longitude && days) {
        Check(result == Result::Fix && fix.utcMs == *days * kDayMs + *time);
      }
    } else if (type == "GGA" && f.size() >= 9 && f[6].size() == 1 && f[6][0] >= '1' && f[6][0] <= '6') {
      const auto time = PlainTimeOfDay(f[1]);
      const auto latitude = PlainAngle(f[2], f[3], 2, 'S', 'N');
      const auto longitude = PlainAngle(f[4], f[5], 3, 'W', 'E');
      const bool satellites = f[7].empty() || (f[7].size() <= 2 && AllDigits(f[7]));
      const bool hdop = f[8].size() <= 6 && PlainOrEmpty(f[8]);
      if (time && latitude && longitude && satellites && hdop) {
        Check(result == (dated_ ? Result::Fix : Result::Undated));
        if (result == Result::Fix) {
          Check(fix.quality == f[6][0] - '0');
          Check(fix.satellites == (f[7].empty() ? -1 : DigitsValue(f[7])));
          Check(fix.hdop == (f[8].empty() ? -1.0 : DecimalValue(f[8])));
        }
      }
    } else if (type == "ZDA" && f.size() >= 7 && (f[5].empty() || f[5] == "00") && (f[6].empty() || f[6] == "00") &&
               f[2].size() == 2 && f[3].size() == 2 && f[4].size() == 4 &&
               AllDigits(f[2]) && AllDigits(f[3]) && AllDigits(f[4]) && PlainTimeOfDay(f[1])) {
      const int year = DigitsValue(f[4]);
      if (year >= 1980 && year <= 2200 && CivilDays(year, DigitsValue(f[3]), DigitsValue(f[2]))) {
        Check(result == Result::Dated);
      }
    }
  }

  NmeaParser parser_;
  bool dated_ = false;  // a date was taken (a GGA after it is dated)
};

// `line` with the right checksum, when it is a sentence.
std::string WithChecksum(std::string_view line) {
  while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty() || line.front() != '$') return std::string(line);
  const std::size_t star = line.rfind('*');
  const std::string_view body = line.substr(0, star);
  unsigned sum = 0;
  for (std::size_t i = 1; i < body.size(); ++i) sum ^= static_cast<unsigned char>(body[i]);
  char hex[4];
  std::snprintf(hex, sizeof hex, "*%02X", sum);
  return std::string(body) + hex;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool mendChecksums = (data[0] & 1) != 0;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  SentenceCheck check;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
    text.remove_prefix(line.size());
    if (mendChecksums) {
      std::string_view bare = line;
      if (!bare.empty() && bare.back() == '\n') bare.remove_suffix(1);
      check.Take(WithChecksum(bare));
    } else {
      check.Take(line);
    }
  }
  return 0;
}
