// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated GPS receiver (sondrix-sim --nmea): a ship on a straight
// track, one fix a second as NMEA 0183 sentences (RMC then GGA), with faults,
// and the record of every fix (--report) that tests hold the program's
// positions against.
//
// The track is a rhumb line (constant true course) on a sphere of radius
// kEarthRadiusM: after t seconds at v m/s from (lat0, lon0) on heading h,
//
//   d    = v t / R                          (angular distance)
//   lat  = lat0 + d cos h
//   dpsi = ln(tan(pi/4 + lat/2) / tan(pi/4 + lat0/2))
//   q    = (lat - lat0) / dpsi   (cos lat0 when |dpsi| < 1e-12: an east-west track)
//   lon  = lon0 + d sin h / q    (then brought into [-180, 180))
//
// so consecutive fixes lie v x 1 s apart along the course h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/file.h"

namespace sondrix::sim {

inline constexpr double kEarthRadiusM = 6371008.8;  // the mean radius
inline constexpr double kMetresPerNauticalMile = 1852.0;
// The track ends where it would pass this latitude (north or south).
inline constexpr double kTrackLatitudeLimit = 89.0;

struct TrackPoint {
  double latitude = 0.0;   // degrees north
  double longitude = 0.0;  // degrees east, [-180, 180)
};

struct ShipTrack {
  TrackPoint start{43.0, -70.0};
  double speedKnots = 10.0;
  double headingDegrees = 45.0;  // true course

  double SpeedMetresPerSecond() const { return speedKnots * kMetresPerNauticalMile / 3600.0; }
  // Where the ship is `seconds` after the start (the formula above).
  TrackPoint At(double seconds) const;
};

// A stretch of seconds [from, from + count), counted from the first fix
// (second 0).
struct SecondSpan {
  long long from = 0;
  long long count = 0;
  bool Holds(long long second) const { return second >= from && second < from + count; }
};

struct NmeaFaults {
  int badChecksum = 0;  // every K-th sentence sent has a wrong checksum
  int cut = 0;          // every K-th sentence sent is cut short (no checksum)
  std::optional<SecondSpan> dropout;  // nothing sent
  std::optional<SecondSpan> invalid;  // RMC status V, GGA quality 0, no position
};

struct NmeaSettings {
  ShipTrack track;
  std::string talker = "GP";
  NmeaFaults faults;
};

// What was done to one sentence.
enum class SentenceFault { kOk, kBadChecksum, kCut, kNotSent };
std::string_view SentenceFaultText(SentenceFault fault);  // ok, bad-checksum, cut, -

// One second of the receiver: its fix and the sentences that carry it.
struct NmeaSecond {
  long long second = 0;     // 0 for the first fix
  std::int64_t utcMs = 0;   // the fix's time, a whole second
  TrackPoint truth;         // the ship's true place then (not rounded)
  bool sent = false;        // false in a dropout
  bool valid = true;        // false in an invalid stretch
  SentenceFault rmc = SentenceFault::kOk;
  SentenceFault gga = SentenceFault::kOk;  // kNotSent also when stopped after the RMC
  // A reader gets the fix from it: sent, valid, and an intact RMC, or an
  // intact GGA after some intact valid RMC gave the date.
  bool usable = false;
  std::string rmcText;  // the sentences as sent, CR LF ended (empty when not)
  std::string ggaText;
};

struct NmeaCounts {
  long long seconds = 0;
  long long sentences = 0;  // sent, whole or spoiled
  long long badChecksums = 0;
  long long cut = 0;
  long long dropoutSeconds = 0;
  long long invalidFixes = 0;  // invalid seconds that were sent
  void Add(const NmeaSecond& s);
};

// "$<body>*hh\r\n" with the checksum of `body` (the XOR of its bytes).
std::string NmeaSentence(std::string_view body);
// "ddmm.mmmmm,N" (degreeDigits 2) or "dddmm.mmmmm,E" (3): minutes to five
// decimals, so within 0.5e-5 minute (8.4e-8 degree, 1 cm) of `degrees`.
std::string NmeaAngle(double degrees, int degreeDigits, char positive, char negative);

class NmeaReceiver {
 public:
  // The first fix is at `startUtcMs`, the next ones a second apart.
  NmeaReceiver(NmeaSettings settings, std::int64_t startUtcMs);

  // The next second's fix and sentences; nullopt when the track would pass
  // kTrackLatitudeLimit.
  std::optional<NmeaSecond> Next();
  const NmeaSettings& settings() const { return settings_; }

 private:
  // Applies the sentence faults to the next sentence sent.
  SentenceFault Spoil(std::string& text);

  NmeaSettings settings_;
  std::int64_t startUtcMs_;
  long long second_ = 0;
  long long sentences_ = 0;
  bool dated_ = false;  // an intact valid RMC went out
};

// The --report file of the receiver: a header line, one tab-separated line
// per second (written as it goes, so that it can be read during a run),
// and a totals line:
//
//   second utc utc_ms latitude longitude sent fault rmc gga usable
//   totals <seconds> <sentences> <bad checksums> <cut> <dropout seconds> <invalid fixes>
class NmeaReport {
 public:
  static std::unique_ptr<NmeaReport> Open(const std::string& path, std::string& error);
  void Add(const NmeaSecond& s);
  // The totals line; closes the file. False with `error` when it could not
  // be written.
  bool Finish(std::string& error);

 private:
  NmeaReport(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}

  OwnedFile file_;
  std::string path_;
  NmeaCounts totals_;
};

}  // namespace sondrix::sim
