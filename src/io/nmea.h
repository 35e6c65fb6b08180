// SPDX-License-Identifier: GPL-3.0-or-later
// NMEA 0183 sentences of a GPS receiver: the position fixes a run records
// beside its instrument. Three sentences are read, from any talker ("GP",
// "GN", "GL", "GA", ...):
//
//   GGA  UTC time of day, latitude, longitude, fix quality, satellites, HDOP
//   RMC  UTC time of day, validity (A/V), latitude, longitude, date
//   ZDA  UTC time of day and date
//
// A fix needs a date, which only RMC and ZDA carry: a GGA is dated by the
// last date seen (the receiver's, never the computer's), and one that comes
// before any date is not used; one whose time of day is more than half a day
// before the date's is dated by the next day (midnight passed between).
// Sentences whose checksum fails, and fixes the receiver calls invalid (RMC
// "V" or mode "N", GGA quality 0), are counted and not used; so are
// sentences cut short or with a field out of its form or range, which are
// malformed: NMEA writes its numbers in digits and at most one decimal
// point (no sign, no exponent), degrees and hours with their leading zeros,
// minutes and seconds below 60, and a date that exists (31 February is no
// date, never 3 March); a latitude beyond 90 degrees, a longitude beyond
// 180, a year outside kEarliestFixYear ... kLatestFixYear are no fix.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sondrix {

// The years a fix may have (GPS began in 1980); a receiver's or gpsd's date
// outside them is malformed.
inline constexpr int kEarliestFixYear = 1980;
inline constexpr int kLatestFixYear = 2200;

struct NmeaFix {
  std::int64_t utcMs = 0;   // milliseconds since 1970-01-01T00:00:00Z
  double latitude = 0.0;    // degrees north
  double longitude = 0.0;   // degrees east
  int quality = -1;         // GGA fix quality (1 GPS, 2 DGPS, ...); -1 from RMC
  int satellites = -1;      // GGA; -1 from RMC
  double hdop = -1.0;       // GGA; -1 from RMC
};

// The checksum of a sentence: the exclusive or of the characters of its
// `body`, those between "$" and "*".
std::uint8_t NmeaChecksum(std::string_view body);
// "$" `body` "*" and the checksum as two upper-case hexadecimal digits,
// then CR LF: a whole sentence.
std::string NmeaSentence(std::string_view body);

class NmeaParser {
 public:
  enum class Result {
    Fix,          // `fix` holds a usable position
    Dated,        // a date (ZDA, or an RMC without a valid position) was taken
    Ignored,      // a sentence of another kind
    BadChecksum,  // the checksum does not add up (or is missing)
    Malformed,    // cut short, or a field out of its form or range
    Invalid,      // the receiver says the fix is not valid
    Undated,      // a GGA before any RMC or ZDA gave the date
  };

  // One sentence, "$...*hh" (a trailing CR/LF is allowed).
  Result Parse(std::string_view sentence, NmeaFix& fix);

  long long badChecksums() const { return badChecksums_; }
  long long malformed() const { return malformed_; }
  long long invalid() const { return invalid_; }
  long long undated() const { return undated_; }

 private:
  // The last date seen (days since 1970-01-01) and the time of day it
  // came with, so that a GGA just after midnight is dated by the next day.
  std::optional<std::int64_t> days_;
  std::int64_t dayMs_ = 0;
  long long badChecksums_ = 0;
  long long malformed_ = 0;
  long long invalid_ = 0;
  long long undated_ = 0;
};

}  // namespace sondrix
