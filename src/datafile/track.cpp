// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/track.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "common/c_locale.h"
#include "common/text_format.h"
#include "platform/paths.h"

namespace sondrix {
namespace {

constexpr std::string_view kTitle = "# Sondrix position track: GPS fixes, times in UTC";
constexpr std::string_view kHeader = "utc,utc_ms,latitude,longitude,quality,satellites,hdop,source";

// The next comma-separated field of `line` (the rest when it is the last).
std::string_view NextField(std::string_view& line, bool last = false) {
  const std::size_t comma = last ? std::string_view::npos : line.find(',');
  const std::string_view field = line.substr(0, comma);
  line.remove_prefix(comma == std::string_view::npos ? line.size() : comma + 1);
  return field;
}

template <typename T>
bool Number(std::string_view field, T& value) {
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  return error == std::errc() && end == field.data() + field.size();
}

// One fix from a line of the track; false for anything else.
bool ParseFix(std::string_view line, TrackFix& fix) {
  if (NextField(line).empty()) return false;  // the readable time: utc_ms holds it exactly
  if (!Number(NextField(line), fix.utcMs) || !Number(NextField(line), fix.latitude) ||
      !Number(NextField(line), fix.longitude) || !Number(NextField(line), fix.quality) ||
      !Number(NextField(line), fix.satellites) || !Number(NextField(line), fix.hdop))
    return false;
  fix.source = std::string(NextField(line, /*last=*/true));
  return std::isfinite(fix.latitude) && std::isfinite(fix.longitude) && std::abs(fix.latitude) <= 90.0 &&
         std::abs(fix.longitude) <= 180.0;
}

}  // namespace

std::string TrackPathFor(std::string_view dataFile) {
  std::filesystem::path path{std::string(dataFile)};
  path.replace_extension(".track.csv");
  return path.string();
}

std::string TrackLine(const TrackFix& fix) {
  // The source is the rest of the line: one printable line, whatever it says
  // and however long (appended: Format cuts its text at 1023 characters, which
  // would take the line end with it and join the next fix to this line).
  return Format("%s,%lld,%.7f,%.7f,%d,%d,%.1f,", IsoUtc(fix.utcMs).c_str(), static_cast<long long>(fix.utcMs),
                fix.latitude, fix.longitude, fix.quality, fix.satellites, fix.hdop) +
         PrintableText(fix.source) + "\n";
}

Status TrackWriter::Open(const std::string& path) {
  path_ = path;
  fixes_ = 0;
  file_ = OwnedFile::OpenToWrite(path, /*truncate=*/true);
  if (!file_) return status::kWriteFailed;
  const std::string head = std::string(kTitle) + "\n" + std::string(kHeader) + "\n";
  if (std::fwrite(head.data(), 1, head.size(), file_.get()) != head.size()) return status::kWriteFailed;
  return status::kOk;
}

Status TrackWriter::Append(const TrackFix& fix) {
  if (!file_ || std::ferror(file_.get())) return status::kWriteFailed;
  const std::string line = TrackLine(fix);
  if (std::fwrite(line.data(), 1, line.size(), file_.get()) != line.size()) return status::kWriteFailed;
  ++fixes_;
  return status::kOk;
}

Status TrackWriter::Sync() {
  if (!file_) return status::kOk;
  return file_.Sync() ? status::kOk : status::kWriteFailed;
}

Status TrackWriter::Close() {
  if (!file_) return status::kOk;
  const bool synced = file_.Sync();
  return file_.Close() && synced ? status::kOk : status::kWriteFailed;
}

Status ReadTrack(const std::string& path, std::vector<TrackFix>& fixes, long& skipped, std::string& error) {
  fixes.clear();
  skipped = 0;
  const std::optional<std::string> text = platform::ReadRegularFile(path);
  if (!text) return status::kCantOpenFile;
  std::string_view rest = *text;
  bool header = false;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (!header) {
      if (line != kHeader) {
        error = "not a position track (no header \"" + std::string(kHeader) + "\")";
        return status::kUnrecognisedData;
      }
      header = true;
      continue;
    }
    TrackFix fix;
    if (ParseFix(line, fix))
      fixes.push_back(std::move(fix));
    else
      ++skipped;
  }
  if (!header) {
    error = "not a position track (empty)";
    return status::kUnrecognisedData;
  }
  std::stable_sort(fixes.begin(), fixes.end(), [](const TrackFix& a, const TrackFix& b) { return a.utcMs < b.utcMs; });
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
  // The first fix after the time; the one before it is at or before.
  const auto after = std::upper_bound(track.begin(), track.end(), utcMs,
                                      [](std::int64_t t, const TrackFix& fix) { return t < fix.utcMs; });
  if (after == track.begin()) return std::nullopt;
  const TrackFix& a = *(after - 1);
  if (a.utcMs == utcMs) return LatLon{a.latitude, a.longitude};
  if (after == track.end()) return std::nullopt;
  const TrackFix& b = *after;
  // The differences of times that lie in order, in unsigned arithmetic:
  // exact, also for times from a damaged track at the ends of int64.
  const auto since = [&a](std::int64_t t) {
    return static_cast<std::uint64_t>(t) - static_cast<std::uint64_t>(a.utcMs);
  };
  const std::uint64_t span = since(b.utcMs);
  if (span > static_cast<std::uint64_t>(kMaxFixGapSeconds * 1000.0)) return std::nullopt;
  const double f = static_cast<double>(since(utcMs)) / static_cast<double>(span);
  double dLon = b.longitude - a.longitude;
  if (dLon > 180.0) dLon -= 360.0;
  if (dLon < -180.0) dLon += 360.0;
  double longitude = a.longitude + f * dLon;
  if (longitude >= 180.0) longitude -= 360.0;
  if (longitude < -180.0) longitude += 360.0;
  return LatLon{a.latitude + f * (b.latitude - a.latitude), longitude};
}

}  // namespace sondrix
