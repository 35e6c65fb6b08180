// SPDX-License-Identifier: GPL-3.0-or-later
// The track of a recording: "NAME.track.csv" beside "NAME.dat", the fixes
// of the GPS receiver the run read beside its instrument. A run appends a
// line a fix and syncs the file with its recording (at most a second behind),
// so a power cut leaves the track as whole as the data; the track follows
// its data file when that is saved, renamed or recovered, as the companion
// does.
//
// The file is plain comma-separated text that a spreadsheet or any script
// reads:
//
//   # Sondrix position track: GPS fixes, times in UTC
//   utc,utc_ms,latitude,longitude,quality,satellites,hdop,source
//   2026-12-09T20:49:33.000Z,1796849373000,43.1234567,-70.1234567,1,8,0.9,udp:10110
//
// latitude in degrees north, longitude in degrees east (7 decimals, about a
// centimetre); quality, satellites and hdop as the receiver gave them (-1:
// not given, a fix from RMC). The source is the rest of the line (a line
// end or a byte that is no UTF-8 in it written "\xNN", see PrintableText).
//
// A run writes a fix as soon as it is known, so that it is on the disk
// within a second of its arrival; a sentence of the same second that comes
// later and adds to it (the GGA's quality, satellites and HDOP after the
// RMC) is written as another line of the same time, which readers take in
// place of the earlier one: the last line of a time is the fix.
//
// Exports give each sample the position at its UTC time (PositionAt): the
// straight line between the fixes around it, when those are at most
// kMaxFixGapSeconds apart; a sample outside such a pair has no position
// (never one extrapolated).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "datafile/side_csv.h"

namespace sondrix {

// Fixes further apart than this (seconds) leave the samples between them
// without a position; a fix older than this is stale on the display.
inline constexpr double kMaxFixGapSeconds = 10.0;

struct TrackFix {
  std::int64_t utcMs = 0;
  double latitude = 0.0;
  double longitude = 0.0;
  int quality = -1;
  int satellites = -1;
  double hdop = -1.0;
  std::string source;

  bool operator==(const TrackFix&) const = default;
};

// "NAME.track.csv" for "NAME.dat" (as CompanionPathFor).
std::string TrackPathFor(std::string_view dataFile);

// One line of the track for `fix`, with its newline.
std::string TrackLine(const TrackFix& fix);

// Appends fixes to a new track file, written out as the caller syncs it.
class TrackWriter : public SideRecordWriter<TrackFix, &TrackLine> {
 public:
  // Creates (or empties) the track at `path` and writes its header; 1, or
  // -1015 when it cannot be written (a link at `path` is never followed:
  // OwnedFile::OpenToWrite).
  Status Open(const std::string& path);
  long fixes() const { return out_.lines(); }
};

// The fixes of the track at `path`, in time order, one a time (the last
// line of a time, which amends those before it). Lines that are not fixes
// (a line cut short by a power cut, say) are passed over and counted in
// `skipped`. 1; -1002 when there is no track; -1000 with `error` set when
// the file is not a track.
Status ReadTrack(const std::string& path, std::vector<TrackFix>& fixes, long& skipped, std::string& error);

struct LatLon {
  double latitude = 0.0;
  double longitude = 0.0;
};

// The position at `utcMs` on `track` (in time order): the fix at that very
// time, else the straight line between the fixes just before and after it
// when they are at most kMaxFixGapSeconds apart (across the 180th meridian
// the short way); none otherwise. A stretch of the track with the fixes
// around `utcMs` is enough (a cursor moving along the track with time hands
// only that).
std::optional<LatLon> PositionAt(std::span<const TrackFix> track, std::int64_t utcMs);

}  // namespace sondrix
