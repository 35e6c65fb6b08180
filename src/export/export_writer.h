// SPDX-License-Identifier: GPL-3.0-or-later
// The writers of the export formats, behind one interface: Begin with the
// header (every sample counted, the first and last known), one Row per good
// sample, End. A writer that fails keeps its message in error().
#pragma once

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "datafile/side_csv.h"
#include "export/export.h"
#include "processing/profiles.h"
#include "platform/file_replacement.h"

namespace sondrix {

class ExportWriter {
 public:
  virtual ~ExportWriter() = default;
  virtual bool Begin(const ExportHeader& header, const ExportOptions& options) = 0;
  virtual bool Row(const ExportRow& row) = 0;
  // Finishes and closes the output.
  virtual bool End() = 0;
  const std::string& error() const { return error_; }

 protected:
  bool Fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
  }

 private:
  std::string error_;
};

// `text` made one safe line: every text that goes into a line of an
// output's header (SeaBASS's header and comments, CSV's heading line, the
// NetCDF attributes read a line at a time) passes here first. Each line
// break of any kind (LF, CR, vertical tab, form feed, the C1 controls with
// NEL, U+2028, U+2029), NUL, tab and every other control character becomes
// a blank; a byte that is not UTF-8 becomes "?". With `ascii` (SeaBASS
// files are ASCII) the Latin letters U+00C0 ... U+017F lose their accents
// ("é" to "e", "ß" to "ss", "Ø" to "O") and any other character beyond
// ASCII, like a byte that is not UTF-8, becomes "_".
std::string OneLine(std::string_view text, bool ascii = false);

// An event on one line, as the outputs list them:
// "2026-12-09T20:49:33.250Z cast start: CTD at 5 m" (its kind and note
// through OneLine).
std::string EventLine(const RunEvent& event);

// The positions of samples that come in time order.
class TrackCursor {
 public:
  explicit TrackCursor(const std::vector<TrackFix>& track) : cursor_(track, &FixTime) {}
  std::optional<LatLon> At(std::int64_t utcMs) { return PositionAt(cursor_.Around(utcMs), utcMs); }

 private:
  static std::int64_t FixTime(const TrackFix& fix) { return fix.utcMs; }
  TimeCursor<TrackFix, std::int64_t (*)(const TrackFix&)> cursor_;
};

std::unique_ptr<ExportWriter> NewNetCdfWriter(const std::string& path);
std::unique_ptr<ExportWriter> NewSeaBassWriter(const std::string& path);
std::unique_ptr<ExportWriter> NewCsvWriter(const std::string& path);
// `inner` given a row per time bin of the header's binMs instead of a row
// per sample (ExportOptions::binSeconds; time_bins.cpp).
std::unique_ptr<ExportWriter> NewTimeBins(std::unique_ptr<ExportWriter> inner);

// Profiles (ExportProfiles; profiles.cpp). The variables a profile's bins
// hold, a column each: the measured a and c, a_ts, c_ts and a corrected for
// scattering (by the processor's channels), the temperature and salinity
// used, and the line height when the meter has its bands.
enum class ProfileGroup {
  kAbsorption, kAttenuation, kAbsorptionTs, kAttenuationTs, kAbsorptionCorrected,
  kTemperatureUsed, kSalinityUsed, kLineHeight
};
struct ProfileColumn {
  ProfileGroup group = ProfileGroup::kAbsorption;
  double wavelength = 0.0;  // nm; 0 for a quantity of no wavelength
};
// A group's names: the NetCDF variable's ("absorption_corrected"), the CSV
// column's stem ("a_corrected"), SeaBASS's field stem ("apg"; empty: not
// in SeaBASS), its units ("m-1"), and what it is, for long_name.
struct ProfileGroupNames {
  const char* netcdf;
  const char* csv;
  const char* seabass;
  const char* units;
  const char* longName;
};
const ProfileGroupNames& NamesOf(ProfileGroup group);

// One profile: a part of a cast, binned by depth.
struct BinnedProfile {
  int cast = 0;
  CastPart part = CastPart::kDown;
  std::int64_t startMs = 0, endMs = 0;  // its first and last sample
  std::optional<LatLon> position;       // the track's at its start, else the station's
  std::vector<ProfileBin> bins;         // bin k centred at (k + 1/2) binSize
};

// Everything the profile writers take.
struct ProfileOutput {
  const ExportHeader* header = nullptr;
  const ExportOptions* options = nullptr;
  ProfileSettings settings;
  std::vector<ProfileColumn> columns;
  std::vector<Cast> casts;
  std::vector<BinnedProfile> profiles;
  std::string depthSource;  // "the meter's pressure sensor", "the ship's pressure (CTD) ..."
  // The methods and their parameters: the Level-2 file's, then the
  // profiles' (cast detection, alignment, bins).
  std::vector<ProcessingAttribute> Attributes() const;
  // The bins of the deepest profile.
  std::size_t Depths() const;
};
// The columns of `header`'s processor's channels.
std::vector<ProfileColumn> ProfileColumnsOf(const ExportHeader& header);
// A writer that bins the rows it gets into out.profiles by out.casts,
// each row at the depth `depths` (in time order) give at its time less
// the lag.
std::unique_ptr<ExportWriter> NewProfileBins(ProfileOutput& out, std::span<const DepthSample> depths);
bool WriteProfilesNetCdf(const std::string& path, const ProfileOutput& out, std::string& error);
bool WriteProfilesCsv(const std::string& path, const ProfileOutput& out, std::string& error);
bool WriteProfileSeaBass(const std::string& path, const ProfileOutput& out, const BinnedProfile& profile,
                         std::string& error);

// A text output written in large blocks: the rows gather in a buffer that
// goes to the file whenever it holds more than a block.
class TextOutput {
 public:
  // `path` is created new (platform::CreateNewFile: never a file or a link
  // that was there).
  explicit TextOutput(const std::string& path) : file_(OpenNew(path)) {}
  ~TextOutput() {
    if (file_) std::fclose(file_);
  }
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;

  bool open() const { return file_ != nullptr; }
  std::string& buffer() { return buffer_; }
  // Writes the buffer out when it is full; false after a write error.
  bool Flush(bool all = false) {
    if (!file_) return false;
    if (!all && buffer_.size() < kBlock) return true;
    const bool ok = std::fwrite(buffer_.data(), 1, buffer_.size(), file_) == buffer_.size();
    buffer_.clear();
    return ok;
  }
  // Writes the rest and closes; false when anything failed.
  bool Close() {
    bool ok = Flush(true);
    if (file_) ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    return ok;
  }

 private:
  static std::FILE* OpenNew(const std::string& path) {
    const int fd = platform::CreateNewFile(path);
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (file == nullptr && fd >= 0) ::close(fd);
    return file;
  }

  static constexpr std::size_t kBlock = 1 << 16;
  std::FILE* file_;
  std::string buffer_;
};

}  // namespace sondrix
