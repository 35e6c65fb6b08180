// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes as a recording's track file (NAME.track.csv),
// read by ReadTrack, written again by TrackWriter and read back, and asked
// for positions. Checks:
// - a file that is read is a track (a header line); its fixes and the lines
//   counted skipped are no more than the lines after the header that are
//   neither empty nor comments (the last line of a time is its fix); a file
//   that is refused says why;
// - the fixes are in time order, one a time, and lie on the globe;
// - the fixes written again all read back as fixes: the same times,
//   qualities and satellites, the places within the file's 7 decimals and
//   the HDOP within its one, a source of printable ASCII the same and any
//   other one line without control characters; written and read once more,
//   exactly the same;
// - the position at each fix's time is that fix's; at any time between two
//   fixes it lies on the globe, and between them in latitude.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "datafile/track.h"

namespace {

using sondrix::TrackFix;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// The lines of a track after its header that are neither empty nor
// comments (-1: no header).
long DataLines(std::string_view text) {
  long lines = -1;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    ++lines;
  }
  return lines;
}

bool OnGlobe(double latitude, double longitude) {
  return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90.0 &&
         std::fabs(longitude) <= 180.0;
}

// Printable ASCII only (what a source's writing keeps as it is).
bool PrintableAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

bool NoControlCharacters(std::string_view text) {
  return std::none_of(text.begin(), text.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

bool SameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

bool SameFix(const TrackFix& a, const TrackFix& b) {
  return a.utcMs == b.utcMs && SameNumber(a.latitude, b.latitude) && SameNumber(a.longitude, b.longitude) &&
         a.quality == b.quality && a.satellites == b.satellites && SameNumber(a.hdop, b.hdop) && a.source == b.source;
}

// Within the rounding of `decimals` decimals.
bool Rounded(double written, double read, int decimals) {
  if (!std::isfinite(written)) return SameNumber(written, read);
  return std::fabs(written - read) <= 0.5 * std::pow(10.0, -decimals) * (1.0 + 1e-6) + std::fabs(written) * 1e-15;
}

// A file of its own, in memory where there is a tmpfs (the writer syncs
// what it wrote).
struct Scratch {
  Scratch() {
    for (const char* folder : {"/dev/shm", "/tmp"}) {
      std::string name = std::string(folder) + "/sondrix-track-fuzz-XXXXXX";
      const int fd = ::mkstemp(name.data());
      if (fd >= 0) {
        ::close(fd);
        path = name;
        return;
      }
    }
  }
  ~Scratch() {
    if (!path.empty()) ::unlink(path.c_str());
  }
  std::string path;
};

std::vector<TrackFix> WrittenAndRead(const std::vector<TrackFix>& fixes) {
  Scratch file;
  sondrix::TrackWriter writer;
  Check(writer.Open(file.path) == 1);
  for (const TrackFix& fix : fixes) Check(writer.Append(fix) == 1);
  Check(writer.Close() == 1);
  std::vector<TrackFix> read;
  long skipped = -1;
  std::string error;
  Check(sondrix::ReadTrack(file.path, read, skipped, error) == 1 && skipped == 0);
  return read;
}

void CheckPositions(const std::vector<TrackFix>& fixes) {
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    const auto at = sondrix::PositionAt(fixes, fixes[i].utcMs);
    Check(at && at->latitude == fixes[i].latitude && at->longitude == fixes[i].longitude);
    if (i + 1 >= fixes.size()) continue;
    const TrackFix& a = fixes[i];
    const TrackFix& b = fixes[i + 1];
    for (const std::int64_t t : {a.utcMs + 1, a.utcMs / 2 + b.utcMs / 2, b.utcMs - 1}) {
      if (t <= a.utcMs || t >= b.utcMs) continue;
      const auto between = sondrix::PositionAt(fixes, t);
      if (!between) continue;
      Check(OnGlobe(between->latitude, between->longitude));
      Check(between->latitude >= std::min(a.latitude, b.latitude) - 1e-12 &&
            between->latitude <= std::max(a.latitude, b.latitude) + 1e-12);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Scratch input;
  if (input.path.empty()) return 0;
  {
    std::FILE* file = std::fopen(input.path.c_str(), "wb");
    if (file == nullptr) return 0;
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) return 0;
  }
  std::vector<TrackFix> fixes;
  long skipped = -1;
  std::string error;
  const sondrix::Status read = sondrix::ReadTrack(input.path, fixes, skipped, error);
  const long lines = DataLines(std::string_view(reinterpret_cast<const char*>(data), size));
  if (read != 1) {
    Check(read == -1000 && !error.empty() && fixes.empty());
    return 0;
  }
  Check(lines >= 0 && skipped >= 0 && static_cast<long>(fixes.size()) + skipped <= lines);
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    Check(OnGlobe(fixes[i].latitude, fixes[i].longitude));
    if (i > 0) Check(fixes[i - 1].utcMs < fixes[i].utcMs);
  }

  const std::vector<TrackFix> once = WrittenAndRead(fixes);
  Check(once.size() == fixes.size());
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    Check(once[i].utcMs == fixes[i].utcMs && once[i].quality == fixes[i].quality &&
          once[i].satellites == fixes[i].satellites);
    Check(PrintableAscii(fixes[i].source) ? once[i].source == fixes[i].source
                                          : NoControlCharacters(once[i].source));
    Check(Rounded(fixes[i].latitude, once[i].latitude, 7) && Rounded(fixes[i].longitude, once[i].longitude, 7) &&
          Rounded(fixes[i].hdop, once[i].hdop, 1));
  }
  const std::vector<TrackFix> twice = WrittenAndRead(once);
  Check(twice.size() == once.size());
  for (std::size_t i = 0; i < once.size(); ++i) Check(SameFix(twice[i], once[i]));

  CheckPositions(fixes);
  return 0;
}
