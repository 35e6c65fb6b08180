// SPDX-License-Identifier: GPL-3.0-or-later
// The companion of a recording: "NAME.meta.json" beside "NAME.dat", what the
// data file's own format has no place for. The data file stays exactly as
// other readers know it; the companion adds
//
// - the clock: the map from the instrument's time stamps to the UTC at
//   which each sample was measured (io/clock_map.h), as anchor pairs of
//   (time stamp, UTC), stored again at least once a minute during a run,
//   and the method that made it. A sample's UTC time is the map's at its
//   time stamp;
// - time zero: the map's UTC of time stamp 0 (the recording's first
//   sample), for readers that know no map: time zero plus a stamp is the
//   instrument's own clock from there;
// - the UTC offset of the computer's zone when the run started (the title
//   line's date and time are local);
// - the program and its version, and where the samples came from (the port,
//   the device behind it, the instrument's serial number, the device file);
// - the deployment metadata the operator gave (cruise, station, cast,
//   investigators, affiliation, contact, experiment, a free note, the
//   station's position, and the SeaBASS data type and status of its
//   exports; datafile/deployment_values.h checks them);
// - the events marked during the run (its start and end, casts, notes),
//   each with its UTC time, and the position source whose fixes the run's
//   track file (TrackPathFor) holds;
// - the ship's data sources with their field maps, whose values the
//   recording's NAME.ancillary.csv holds, and the valve's schedule.
//
// It is a small JSON object (docs/export.md shows one), written whole under
// a temporary name, synced and renamed into place, so that a reader never
// finds half of one. It is saved, renamed, recovered and overwritten with
// its data file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "common/version.h"
#include "io/ancillary.h"
#include "io/clock_map.h"

namespace sondrix {

// The program and its version as a companion names them ("Sondrix 7.1"; the
// About box says "Sondrix ver 7.1").
inline constexpr std::string_view kCompanionProgram = "Sondrix " SONDRIX_RELEASE;

// The deployment keys, in the order the file and the exports list them.
// latitude and longitude are the station's position (decimal degrees, both
// or neither); data_type and data_status are SeaBASS's (empty: "cast" and
// "preliminary").
inline constexpr std::array<std::string_view, 12> kDeploymentKeys = {
    "cruise",  "station",  "cast",      "investigators", "affiliation", "contact",
    "experiment", "note", "latitude", "longitude",     "data_type",   "data_status"};

// "cruise, station, ..., note": the keys as messages list them.
std::string DeploymentKeyList();

struct Deployment {
  // One value per key of kDeploymentKeys, in that order ("" when not given).
  std::array<std::string, kDeploymentKeys.size()> values;

  // The value of `key` (null for a key that is not one of kDeploymentKeys).
  const std::string* Find(std::string_view key) const;
  // Sets `key`; false for a key that is not one of kDeploymentKeys.
  bool Set(std::string_view key, std::string_view value);
  // "KEY=VALUE" (the first "=" ends the key), as the tools' --meta takes
  // it; false for a key that is not one of kDeploymentKeys or a text
  // without "=".
  bool SetFromText(std::string_view keyEqualsValue);
  bool Empty() const;
  bool operator==(const Deployment&) const = default;
};

// What an event says: the run's start and end (marked by the run itself),
// a cast's start and end, or a note of the operator's.
inline constexpr std::array<std::string_view, 5> kEventKinds = {"start", "end", "cast start", "cast end", "note"};

// An event of the run, at a UTC time.
struct RunEvent {
  std::int64_t utcMs = 0;  // milliseconds since 1970-01-01T00:00:00Z
  std::string kind;        // one of kEventKinds
  std::string note;        // the operator's words ("" when none)

  bool operator==(const RunEvent&) const = default;
};

struct Companion {
  static constexpr int kVersion = 1;

  // UTC milliseconds of the first sample; empty until a sample came, and
  // for a recording whose samples have no measured UTC (a capture replayed
  // without its map or a start time).
  std::optional<std::int64_t> timeZeroUtcMs;
  // The map of time stamps to UTC and how it was made (empty: none; time
  // zero plus the stamp then, as older recordings have it).
  ClockMap clock;
  std::string clockMethod;
  // Seconds east of UTC of the computer's zone when the run started.
  int utcOffsetSeconds = 0;
  std::string program;       // "Sondrix 7.1"
  std::string port;          // "COM1", or the raw capture replayed
  std::string device;        // "/dev/ttyUSB0" (the port's device), empty for a capture
  std::string serialNumber;  // "0400012D", as the window shows it
  std::string deviceFile;    // the device configuration file's name
  Deployment deployment;
  // The events in the order they were marked.
  std::vector<RunEvent> events;
  // Where the run's positions came from ("udp:10110", "COM3 (/dev/ttyUSB1)",
  // "gpsd localhost:2947"); empty when the run had no position source.
  std::string positionSource;
  // The ship's data sources whose values NAME.ancillary.csv holds, in the
  // order the exports prefer them for a quantity two of them give, each
  // with its link, data id and field map; and the valve's schedule when
  // its state came from the clock (empty: none).
  std::vector<AncillarySpec> ancillarySources;
  std::optional<ValveSchedule> valveSchedule;

  bool operator==(const Companion&) const = default;
};

// "NAME.meta.json" for "NAME.dat" (any extension is replaced; a name
// without one gets ".meta.json" added).
std::string CompanionPathFor(std::string_view dataFile);

// The companion as JSON text, and back. Texts may hold any bytes (a file
// name, a value given on the command line): the JSON holds them as
// EscapeBytes writes them (a byte that is no part of UTF-8 as "\xNN") and
// the reading gives the bytes back. Unknown keys are ignored (a later
// version may add some); a missing "version" or one above kVersion, a time
// outside the years 1970 ... 9999, an offset that is no zone's, or a value
// of the wrong kind, is an error told in `error`.
std::string CompanionJson(const Companion& companion);
bool ParseCompanion(std::string_view json, Companion& out, std::string& error);

// Writes `companion` to `path` whole (platform::FileReplacement: a new
// temporary "PATH.new" beside it, synced, then renamed over it). 1, or
// -1015 when it cannot be written.
Status WriteCompanion(const std::string& path, const Companion& companion);
// Reads the companion at `path`: 1; -1002 (can't open) when there is none;
// -1000 with `error` set when it is no companion this program can read.
Status ReadCompanion(const std::string& path, Companion& out, std::string& error);

}  // namespace sondrix
