// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/track.h"

#include <algorithm>
#include <cmath>

#include "common/c_locale.h"
#include "common/file.h"
#include "common/text_format.h"

namespace sondrix {
namespace {

constexpr std::string_view kTitle = "# Sondrix position track: GPS fixes, times in UTC";
constexpr std::string_view kHeader = "utc,utc_ms,latitude,longitude,quality,satellites,hdop,source";

// One fix from a line of the track; false for anything else.
bool ParseFix(std::string_view line, TrackFix& fix) {
  if (TakeCsvField(line).empty()) return false;  // the readable time: utc_ms holds it exactly
  if (!CsvNumber(TakeCsvField(line), fix.utcMs) || !CsvNumber(TakeCsvField(line), fix.latitude) ||
      !CsvNumber(TakeCsvField(line), fix.longitude) || !CsvNumber(TakeCsvField(line), fix.quality) ||
      !CsvNumber(TakeCsvField(line), fix.satellites) || !CsvNumber(TakeCsvField(line), fix.hdop))
    return false;
  fix.source = std::string(TakeCsvField(line, /*last=*/true));
  return std::isfinite(fix.latitude) && std::isfinite(fix.longitude) && std::abs(fix.latitude) <= 90.0 &&
         std::abs(fix.longitude) <= 180.0;
}

}  // namespace

std::string TrackPathFor(std::string_view dataFile) { return BesidePath(dataFile, ".track.csv"); }

std::string TrackLine(const TrackFix& fix) {
  // The source is the rest of the line: one printable line, whatever it says
  // and however long (appended: Format cuts its text at 1023 characters, which
  // would take the line end with it and join the next fix to this line).
  return Format("%s,%lld,%.7f,%.7f,%d,%d,%.1f,", IsoUtc(fix.utcMs).c_str(), static_cast<long long>(fix.utcMs),
                fix.latitude, fix.longitude, fix.quality, fix.satellites, fix.hdop) +
         PrintableText(fix.source) + "\n";
}

Status TrackWriter::Open(const std::string& path) { return out_.Open(path, kTitle, kHeader); }

Status ReadTrack(const std::string& path, std::vector<TrackFix>& fixes, long& skipped, std::string& error) {
  const Status read = ReadSideRecords(path, kHeader, "position track", &ParseFix, fixes, skipped, error);
  if (read != status::kOk) return read;
  // A fix amended by a later line of its time (the receiver's next sentence
  // of that second) is the later line.
  std::size_t kept = 0;
  for (std::size_t k = 0; k < fixes.size(); ++k) {
    if (kept > 0 && fixes[kept - 1].utcMs == fixes[k].utcMs)
      fixes[kept - 1] = std::move(fixes[k]);
    else if (kept++ != k)
      fixes[kept - 1] = std::move(fixes[k]);
  }
  fixes.resize(kept);
  return status::kOk;
}

std::optional<LatLon> PositionAt(std::span<const TrackFix> track, std::int64_t utcMs) {
  const std::optional<Bracket> at = BracketAt(track, utcMs, static_cast<std::int64_t>(kMaxFixGapSeconds * 1000.0),
                                               [](const TrackFix& fix) { return fix.utcMs; });
  if (!at) return std::nullopt;
  const TrackFix& a = track[at->before];
  if (at->after == at->before) return LatLon{a.latitude, a.longitude};
  const TrackFix& b = track[at->after];
  const double f = at->fraction;
  double dLon = b.longitude - a.longitude;
  if (dLon > 180.0) dLon -= 360.0;
  if (dLon < -180.0) dLon += 360.0;
  double longitude = a.longitude + f * dLon;
  if (longitude >= 180.0) longitude -= 360.0;
  if (longitude < -180.0) longitude += 360.0;
  return LatLon{a.latitude + f * (b.latitude - a.latitude), longitude};
}

}  // namespace sondrix
