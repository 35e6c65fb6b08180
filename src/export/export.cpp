// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/export.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>

#include "common/text_format.h"
#include "common/text_list.h"
#include "common/utils.h"
#include "datafile/data_file.h"
#include "datafile/deployment_values.h"
#include "export/export_writer.h"
#include "meter/source_factory.h"
#include "platform/file_replacement.h"
#include "platform/paths.h"
#include "processing/meter_inputs.h"
#include "source/source.h"
#include "source/source_line.h"

namespace sondrix {
namespace {

// Sets TZ for its lifetime and puts the previous value back.
class ScopedZone {
 public:
  explicit ScopedZone(const std::string& zone) : active_(!zone.empty()) {
    if (!active_) return;
    if (const char* old = std::getenv("TZ")) previous_ = old;
    ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
  }
  ~ScopedZone() {
    if (!active_) return;
    if (previous_) ::setenv("TZ", previous_->c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }
  ScopedZone(const ScopedZone&) = delete;
  ScopedZone& operator=(const ScopedZone&) = delete;

 private:
  bool active_;
  std::optional<std::string> previous_;
};

// "UTC", "GMT", "UTC+3", "UTC-03:30": a fixed offset in seconds east of
// UTC, read as people write it (UTC+3 is three hours ahead of UTC; the C
// library's TZ would read "UTC+3" as three hours behind).
bool FixedOffset(std::string_view zone, int& seconds) {
  if (!zone.starts_with("UTC") && !zone.starts_with("GMT")) return false;
  std::string_view rest = zone.substr(3);
  seconds = 0;
  if (rest.empty()) return true;
  const int sign = rest.front() == '+' ? 1 : rest.front() == '-' ? -1 : 0;
  if (sign == 0) return false;
  rest.remove_prefix(1);
  int hours = 0, minutes = 0;
  std::size_t digits = 0;
  while (digits < rest.size() && digits < 2 && std::isdigit(static_cast<unsigned char>(rest[digits]))) {
    hours = hours * 10 + (rest[digits] - '0');
    ++digits;
  }
  if (digits == 0) return false;
  rest.remove_prefix(digits);
  if (!rest.empty()) {
    if (rest.size() != 3 || rest.front() != ':' || !std::isdigit(static_cast<unsigned char>(rest[1])) ||
        !std::isdigit(static_cast<unsigned char>(rest[2])))
      return false;
    minutes = (rest[1] - '0') * 10 + (rest[2] - '0');
  }
  if (hours > 14 || minutes > 59) return false;
  seconds = sign * (hours * 3600 + minutes * 60);
  return true;
}

bool ReadNumber(std::string_view text, std::size_t from, std::size_t count, int& out) {
  if (from + count > text.size()) return false;
  out = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

// The bytes between the title line and the bin size line: the device
// configuration as the recording wrote it.
std::string ConfigText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line, text;
  if (!std::getline(in, line)) return text;  // the title line
  while (std::getline(in, line)) {
    std::string_view view = line;
    while (!view.empty() && (view.front() == ' ' || view.front() == '\t')) view.remove_prefix(1);
    std::size_t digits = 0;
    if (!view.empty() && view.front() == '-') ++digits;
    while (digits < view.size() && std::isdigit(static_cast<unsigned char>(view[digits]))) ++digits;
    if (digits > 0 && view.find("; acquisition binsize") != std::string_view::npos) break;
    text += line;
    text += '\n';
    if (text.size() > (16u << 20)) break;  // no configuration is this long
  }
  return text;
}

std::string HexSerial(std::uint32_t serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%08" PRIX32, serial);
  return text;
}

// The wavelength in a heading ("c412", "a400.0"), for a configuration that
// gives none.
double HeadingWavelength(const std::string& heading) {
  std::size_t start = 0;
  while (start < heading.size() && !std::isdigit(static_cast<unsigned char>(heading[start]))) ++start;
  return start < heading.size() ? std::atof(heading.c_str() + start) : 0.0;
}

struct OpenedFile {
  std::unique_ptr<Source> source;
  Status status = status::kOk;
};

// The data file opened as a source at the start of its samples.
OpenedFile OpenDataFile(const std::string& path) {
  OpenedFile opened;
  if (!platform::IsRegularFile(path)) {
    opened.status = status::kCantOpenFile;
    return opened;
  }
  opened.status = NewSource(opened.source, kSourceKindFile, path, "");
  if (opened.status == status::kOk) opened.status = opened.source->Open();
  if (opened.status != status::kOk && opened.source) opened.source->Close();
  return opened;
}

ExportResult Failed(Status code, std::string message) {
  ExportResult result;
  result.status = code;
  result.message = std::move(message);
  return result;
}

// Why `output` may not be written for `dataFile` (kCantRenameFile): it
// exists and `force` was not given, it is no regular file, it is the data
// file itself; kOk when it may.
ExportResult RefuseOutput(const std::string& dataFile, const std::string& output, bool force) {
  std::error_code ec;
  if (!force && std::filesystem::exists(output, ec))
    return Failed(status::kCantRenameFile, output + " exists (--force replaces it)");
  if (std::filesystem::exists(output, ec) && !platform::IsRegularFile(output))
    return Failed(status::kCantRenameFile, output + " is not a regular file");
  if (std::filesystem::equivalent(dataFile, output, ec))
    return Failed(status::kCantRenameFile, output + " is the data file itself");
  return {};
}

// Fills what the file's configuration says of it.
void DescribeSource(Source& source, const std::string& path, ExportHeader& header) {
  header.dataFile = path;
  source.GetDate(header.titleDate, header.titleTime);
  source.GetID(header.model);
  header.serial = HexSerial(source.GetSerialnum());
  header.binsize = std::max(1, source.GetOrigBinsize());
  header.hasDepth = source.HasDepth() != 0;
  header.configText = ConfigText(path);

  const int count = std::clamp(source.GetTraceCount(), 0, kMaxTraces);
  std::array<double, kMaxTraces> wavelengths{};
  const bool haveWavelengths = source.GetWavelengths(wavelengths) == status::kOk;
  TraceMap map{};
  source.GetTraceMap(map);
  // A meter of one kind reports no map: all its traces are measured.
  const bool mapped = std::any_of(map.begin(), map.begin() + count, [](std::int32_t kind) { return kind != 0; });
  header.traces.clear();
  for (int i = 0; i < count; ++i) {
    ExportTrace trace;
    trace.index = i;
    source.GetHeading(i, trace.heading);
    const auto at = static_cast<std::size_t>(i);
    trace.wavelength = haveWavelengths && wavelengths[at] > 0.0 ? wavelengths[at] : HeadingWavelength(trace.heading);
    trace.measured = !mapped || map[at] != 0;
    if (map[at] != 0) trace.attenuation = map[at] == kTraceC;
    else trace.attenuation = trace.heading.empty() || (trace.heading[0] != 'a' && trace.heading[0] != 'A');
    header.traces.push_back(std::move(trace));
  }
}

// Where a sample's UTC time comes from: the companion, or the title line.
ExportResult PlaceInUtc(const std::string& path, const ExportOptions& options, ExportHeader& header) {
  std::string error;
  const Status read = ReadCompanion(CompanionPathFor(path), header.companion, error);
  header.hasCompanion = read == status::kOk && header.companion.timeZeroUtcMs.has_value();
  if (read != status::kOk && read != status::kCantOpenFile)
    return Failed(read, CompanionPathFor(path) + ": " + (error.empty() ? StatusText(read) : error));
  if (read != status::kOk) header.companion = Companion{};
  // A companion without a time zero belongs to a recording whose samples
  // have no measured UTC (a raw capture replayed without its time map):
  // the title line's time would be the replay's, not the measurement's.
  if (read == status::kOk && !header.hasCompanion)
    return Failed(status::kUnrecognisedData,
                  path + ": its samples have no measured UTC time (recorded from a raw capture without its time "
                         "map); record the capture again with the UTC of its first sample (sondrix-cli record "
                         "--start-utc)");
  for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k) {
    if (!options.meta.values[k].empty()) header.companion.deployment.values[k] = options.meta.values[k];
  }
  if (const std::string fault = CheckDeployment(header.companion.deployment); !fault.empty())
    return Failed(status::kUnrecognisedData, path + ": the deployment's " + fault);
  header.station = StationPosition(header.companion.deployment);
  if (header.hasCompanion) {
    header.timeZeroUtcMs = *header.companion.timeZeroUtcMs;
    header.timeNote = "times in UTC from the companion " + NameFromPath(CompanionPathFor(path)) +
                      (header.companion.clock.Empty()
                           ? std::string(" (time zero plus each sample's time stamp)")
                           : " (the time each sample was measured: " + header.companion.clockMethod + "; " +
                                 std::to_string(header.companion.clock.anchors.size()) + " anchors, " +
                                 std::to_string(header.companion.clock.breaks.size()) + " breaks)");
    return {};
  }
  if (!options.zone.empty() && !KnownZone(options.zone))
    return Failed(status::kUnrecognisedData, "unknown time zone \"" + options.zone + "\"");
  if (!LocalTitleToUtcMs(header.titleDate, header.titleTime, options.zone, header.timeZeroUtcMs))
    return Failed(status::kUnrecognisedData, path + ": the title line's date and time \"" + header.titleDate + " " +
                                                 header.titleTime + "\" cannot be read");
  const char* zone = std::getenv("TZ");
  const std::string zoneName = !options.zone.empty() ? options.zone : (zone && *zone ? zone : "the computer's zone");
  header.timeNote = std::string(read == status::kOk ? "the companion gives no time zero" : "no companion file") +
                    ": times in UTC from the title line's local date and time (" + header.titleDate +
                    " " + header.titleTime + ", read in " + zoneName +
                    ") plus each sample's time stamp; the title line gives whole seconds and the time the file was "
                    "opened, so times may be off by a second or more";
  return {};
}

// The track beside the data file, when there is one, into the header. A
// track file that cannot be used is told (trackProblem) and the export goes
// on without positions: the samples are worth more than their place.
void ReadTrackFor(const std::string& dataFile, ExportHeader& header) {
  const std::string path = TrackPathFor(dataFile);
  std::string error;
  const Status read = ReadTrack(path, header.track, header.trackSkipped, error);
  std::error_code ec;
  if (read == status::kCantOpenFile && !std::filesystem::exists(path, ec)) {
    header.track.clear();
    return;  // no track: a run without a position source
  }
  header.trackName = NameFromPath(path);
  if (read == status::kCantOpenFile) error = "cannot be read";
  if (read != status::kOk) {
    header.track.clear();
    header.trackSkipped = 0;
    header.trackProblem = header.trackName + ": " + (error.empty() ? StatusText(read) : error);
  }
}

// The ship's data beside the data file, when there is some, into the
// header; a file that cannot be used is told and the export goes on
// without it, as without a track.
void ReadAncillaryFor(const std::string& dataFile, ExportHeader& header) {
  const std::string path = AncillaryPathFor(dataFile);
  std::vector<AncillaryRecord> records;
  std::string error;
  const Status read = ReadAncillary(path, records, header.ancillarySkipped, error);
  std::error_code ec;
  if (read == status::kCantOpenFile && !std::filesystem::exists(path, ec)) return;
  header.ancillaryName = NameFromPath(path);
  if (read != status::kOk) {
    header.ancillarySkipped = 0;
    header.ancillaryProblem = header.ancillaryName + ": " +
                              (error.empty() ? (read == status::kCantOpenFile ? "cannot be read" : StatusText(read)) : error);
    return;
  }
  std::vector<std::string> order;
  for (const AncillarySpec& spec : header.companion.ancillarySources) order.push_back(spec.Name());
  header.ancillary = SeriesOf(records, order);
}

// The ship's data at the times of samples that come in time order.
class AncillaryCursor {
 public:
  AncillaryCursor(const ExportHeader& header) : schedule_(header.companion.valveSchedule) {
    for (std::size_t q = 0; q < kQuantityCount; ++q) cursors_.emplace_back(header.ancillary.values[q], &ValueTime);
  }
  void At(std::int64_t utcMs, std::array<std::optional<double>, kQuantityCount>& out) {
    for (std::size_t q = 0; q < kQuantityCount; ++q)
      out[q] = AncillaryValueAt(cursors_[q].Around(utcMs), static_cast<Quantity>(q), utcMs);
    if (schedule_) out[static_cast<std::size_t>(Quantity::kValve)] = schedule_->FilteredAt(utcMs) ? kValveFiltered : kValveTotal;
  }

 private:
  static std::int64_t ValueTime(const TimedValue& value) { return value.utcMs; }
  std::optional<ValveSchedule> schedule_;
  std::vector<TimeCursor<TimedValue, std::int64_t (*)(const TimedValue&)>> cursors_;
};

// How the ship's data was found, once counted.
void DescribeAncillary(ExportHeader& header) {
  if (!header.ancillaryProblem.empty()) {
    header.ancillaryNote = header.ancillaryProblem + "; exported without the ship's data";
    return;
  }
  std::vector<std::string> parts;
  for (const QuantityRow& row : Quantities()) {
    const std::size_t q = static_cast<std::size_t>(row.quantity);
    if (header.merged[q] == 0) continue;
    const bool scheduled = row.quantity == Quantity::kValve && header.companion.valveSchedule;
    parts.push_back(std::string(row.name) + " from " +
                    (scheduled ? "the valve's schedule " + header.companion.valveSchedule->Text() + " (minutes)"
                               : header.ancillary.source[q]) +
                    " for " + std::to_string(header.merged[q]) + " samples");
  }
  if (parts.empty()) return;
  header.ancillaryNote = "ship's data from " + (header.ancillaryName.empty() ? std::string("the companion")
                                                                             : header.ancillaryName) +
                         ": " + JoinList(parts, ", ", " and ") +
                         Format(", interpolated linearly between readings at most %g s apart (the valve's state "
                                "in force), never extrapolated", kMaxAncillaryGapSeconds);
}

// "10 s": the longest span between fixes that still places a sample.
std::string MaxGapText() { return Format("%g s", kMaxFixGapSeconds); }

// How the positions were found (or why there are none), once counted.
void DescribePositions(ExportHeader& header) {
  if (!header.trackProblem.empty()) {
    header.positionNote = header.trackProblem + "; exported without positions";
    return;
  }
  if (header.trackName.empty()) return;
  header.positionNote = "positions from the track " + header.trackName + " (" + std::to_string(header.track.size()) +
                        " fixes";
  if (header.trackSkipped > 0)
    header.positionNote += ", " + std::to_string(header.trackSkipped) + " lines that held no fix passed over";
  header.positionNote += "), interpolated linearly between the fixes around each sample's time when they are at most " +
                         MaxGapText() + " apart, never extrapolated: " + std::to_string(header.positioned) + " of " +
                         std::to_string(header.samples) + " samples placed";
}

// Reads every line of an opened file: `each` gets the good ones.
template <class Each>
Status ReadLines(Source& source, SourceLine& line, long& damaged, Each&& each) {
  damaged = 0;
  while (true) {
    line.tail.clear();
    line.status = 0;
    const Status result = source.ReadData(line);
    if (result == status::kUnexpectedEof) return status::kOk;
    if (result != status::kOk) return result;
    if (line.status != status::kOk) {
      ++damaged;
      continue;
    }
    if (!each(line)) return status::kCancelled;
  }
}

// A sample's UTC time (ExportHeader::UtcOf) when it lies within the years
// 1 ... 9999; a stamp no recording writes (a damaged file's, beyond ±2^50
// ms, near the ends of 64 bits) gives none, and its line is left out as a
// damaged one: no sum with it can overflow.
std::optional<std::int64_t> SampleUtcMs(const ExportHeader& header, std::int64_t stamp) {
  constexpr std::int64_t kStampLimit = std::int64_t{1} << 50;  // 35 000 years
  constexpr std::int64_t kEarliest = -62135596800000;          // 0001-01-01T00:00:00.000Z
  constexpr std::int64_t kLatest = 253402300799999;            // 9999-12-31T23:59:59.999Z
  if (stamp < -kStampLimit || stamp > kStampLimit) return std::nullopt;
  const std::int64_t utcMs = header.UtcOf(stamp);
  if (utcMs < kEarliest || utcMs > kLatest) return std::nullopt;
  return utcMs;
}

std::unique_ptr<ExportWriter> NewWriter(ExportFormat format, const std::string& path) {
  switch (format) {
    case ExportFormat::kNetCdf: return NewNetCdfWriter(path);
    case ExportFormat::kSeaBass: return NewSeaBassWriter(path);
    case ExportFormat::kCsv: return NewCsvWriter(path);
  }
  return nullptr;
}

}  // namespace

constexpr ExportFormatRow kFormats[] = {
    {ExportFormat::kNetCdf, "netcdf", "NetCDF", ".nc"},
    {ExportFormat::kSeaBass, "seabass", "SeaBASS", ".sb"},
    {ExportFormat::kCsv, "csv", "CSV", ".csv"},
};

std::span<const ExportFormatRow> ExportFormats() { return kFormats; }

const ExportFormatRow& RowOf(ExportFormat format) {
  for (const ExportFormatRow& row : kFormats) {
    if (row.format == format) return row;
  }
  return kFormats[0];
}

namespace {

// The format of the row whose `field` is `value`.
bool FindFormat(std::string_view ExportFormatRow::*field, std::string_view value, ExportFormat& format) {
  for (const ExportFormatRow& row : kFormats) {
    if (row.*field == value) {
      format = row.format;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseExportFormat(std::string_view name, ExportFormat& format) {
  return FindFormat(&ExportFormatRow::name, name, format);
}

bool ExportFormatOfExtension(std::string_view extension, ExportFormat& format) {
  return FindFormat(&ExportFormatRow::extension, extension, format);
}

std::string ListExportFormats(const std::function<std::string(const ExportFormatRow&)>& text,
                              std::string_view separator, std::string_view last) {
  std::vector<std::string> items;
  for (const ExportFormatRow& row : kFormats) items.push_back(text(row));
  return JoinList(items, separator, last);
}

void GeoBoundsBuilder::Add(const LatLon& position) {
  const double lon = position.longitude;
  const double lon360 = lon < 0.0 ? lon + 360.0 : lon;
  if (count_++ == 0) {
    south_ = north_ = position.latitude;
    west_ = east_ = lon;
    west360_ = east360_ = lon360;
    return;
  }
  south_ = std::min(south_, position.latitude);
  north_ = std::max(north_, position.latitude);
  west_ = std::min(west_, lon);
  east_ = std::max(east_, lon);
  west360_ = std::min(west360_, lon360);
  east360_ = std::max(east360_, lon360);
}

GeoBounds GeoBoundsBuilder::Bounds() const {
  GeoBounds bounds{south_, north_, west_, east_};
  // Across the 180th meridian the stretch is shorter counted from 0 to 360.
  if (east360_ - west360_ < east_ - west_) {
    bounds.west = west360_ >= 180.0 ? west360_ - 360.0 : west360_;
    bounds.east = east360_ >= 180.0 ? east360_ - 360.0 : east360_;
  }
  return bounds;
}

namespace {

// The letters of U+00C0 ... U+017F without their accents, two bytes each
// ("A " for a letter of one, "AE" for a ligature; "_" where none fits).
constexpr std::string_view kLatinFolded =
    "A A A A A A AEC E E E E I I I I D N O O O O O _ O U U U U Y THssa a a a a a aec e e e e i i i i d n o o o o o _ "
    "o u u u u y thy A a A a A a C c C c C c C c D d D d E e E e E e E e E e G g G g G g G g H h H h I i I i I i I i "
    "I i IJijJ j K k k L l L l L l L l L l N n N n N n n N n O o O o O o OEoeR r R r R r S s S s S s S s T t T t T t "
    "U u U u U u U u U u U u W w Y y Y Z z Z z Z z s ";
static_assert(kLatinFolded.size() == 2 * (0x180 - 0xC0));

}  // namespace

std::string OneLine(std::string_view text, bool ascii) {
  std::string line;
  line.reserve(text.size());
  ForEachUtf8(text, [&](std::size_t at, const Utf8Char& c) {
    const char32_t u = c.point;
    if (!c.valid) {
      line += ascii ? '_' : '?';  // not UTF-8
    } else if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029) {
      line += ' ';  // C0 and C1 controls (NEL among them), the Unicode line and paragraph separators
    } else if (c.length == 1 || !ascii) {
      line.append(text.substr(at, c.length));
    } else if (u >= 0xC0 && u <= 0x17F) {
      const std::string_view folded = kLatinFolded.substr((u - 0xC0) * 2, 2);
      line += folded[0];
      if (folded[1] != ' ') line += folded[1];
    } else {
      line += '_';
    }
  });
  return line;
}

std::string EventLine(const RunEvent& event) {
  std::string line = IsoUtc(event.utcMs) + " " + OneLine(event.kind);
  if (!event.note.empty()) line += ": " + OneLine(event.note);
  return line;
}

std::string PositionSummary(const ExportResult& result) {
  if (!result.trackProblem.empty()) return "positions: none (" + result.trackProblem + ")";
  if (!result.track) return {};
  std::string text = "positions: " + std::to_string(result.positioned) + " of " + std::to_string(result.samples) +
                     " samples";
  if (result.positioned < result.samples)
    text += "; " + std::to_string(result.samples - result.positioned) + " without a fix within " + MaxGapText();
  if (result.trackSkipped > 0)
    text += "; " + std::to_string(result.trackSkipped) + " lines of the track held no fix";
  return text;
}

std::string FlagSummary(const ExportResult& result) {
  static constexpr const char* kNames[] = {"", "good", "not evaluated", "suspect", "bad", "", "", "", "", "missing"};
  std::vector<std::string> parts;
  for (int flag : kFlagValues) {
    if (const long count = result.flags[static_cast<std::size_t>(flag)]; count > 0)
      parts.push_back(std::string(kNames[flag]) + " " + std::to_string(count));
  }
  return parts.empty() ? std::string("none") : JoinList(parts, ", ", ", ");
}

std::string RowsSummary(const ExportResult& result) {
  if (result.binMs == 0) return {};
  return Format("%ld rows, bins of %g s", result.rows, static_cast<double>(result.binMs) / 1000.0);
}

std::string FlowSummary(const ExportResult& result) {
  static constexpr const char* kNames[] = {"whole", "filtered", "flushing", "unknown"};
  std::vector<std::string> parts;
  for (std::size_t k = 0; k < result.flow.size(); ++k) {
    if (result.flow[k] > 0) parts.push_back(std::string(kNames[k]) + " " + std::to_string(result.flow[k]));
  }
  if (parts.empty()) return {};
  return JoinList(parts, ", ", ", ") + "; " + std::to_string(result.filteredPeriods) + " filtered period" +
         (result.filteredPeriods == 1 ? "" : "s");
}

std::string AncillarySummary(const ExportResult& result) {
  if (!result.ancillaryProblem.empty()) return "ship's data: none (" + result.ancillaryProblem + ")";
  std::vector<std::string> parts;
  for (const QuantityRow& row : Quantities()) {
    const long merged = result.merged[static_cast<std::size_t>(row.quantity)];
    if (merged > 0) parts.push_back(std::string(row.name) + " " + std::to_string(merged));
  }
  if (parts.empty()) return {};
  return "ship's data: " + JoinList(parts, ", ", ", ") + " of " + std::to_string(result.samples) + " samples";
}

std::string_view ExportFormatName(ExportFormat format) { return RowOf(format).name; }
std::string_view ExportExtension(ExportFormat format) { return RowOf(format).extension; }

std::string ExportPathFor(std::string_view dataFile, ExportFormat format, std::string_view folder) {
  std::filesystem::path path{std::string(dataFile)};
  path.replace_extension(std::string(ExportExtension(format)));
  if (!folder.empty()) path = std::filesystem::path(std::string(folder)) / path.filename();
  return path.string();
}

bool KnownZone(const std::string& zone) {
  if (zone.empty() || zone.find("..") != std::string::npos) return false;
  int offset = 0;
  if (FixedOffset(zone, offset)) return true;
  struct stat info {};
  return zone.front() != '/' && ::stat(("/usr/share/zoneinfo/" + zone).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool LocalTitleToUtcMs(std::string_view date, std::string_view time, const std::string& zone, std::int64_t& utcMs) {
  int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (date.size() != 10 || date[2] != '-' || date[5] != '-' || !ReadNumber(date, 0, 2, month) ||
      !ReadNumber(date, 3, 2, day) || !ReadNumber(date, 6, 4, year))
    return false;
  if (time.size() != 8 || time[2] != ':' || time[5] != ':' || !ReadNumber(time, 0, 2, hour) ||
      !ReadNumber(time, 3, 2, minute) || !ReadNumber(time, 6, 2, second))
    return false;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  if (int offset = 0; FixedOffset(zone, offset)) {
    utcMs = (static_cast<std::int64_t>(timegm(&tm)) - offset) * 1000;
    return true;
  }
  const ScopedZone scoped(zone);
  const std::time_t seconds = std::mktime(&tm);
  if (seconds == static_cast<std::time_t>(-1) && !(tm.tm_year == 69 && tm.tm_mon == 11 && tm.tm_mday == 31)) return false;
  utcMs = static_cast<std::int64_t>(seconds) * 1000;
  return true;
}

std::string IsoDuration(std::int64_t ms) {
  std::string text = "PT" + std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms % 1000));
    std::string digits = fraction;
    while (digits.back() == '0') digits.pop_back();
    text += digits;
  }
  return text + "S";
}

namespace {

// Whether the header of an output in `format` names what only a reading of
// every sample tells: their number (NetCDF's dimension), the first and the
// last (SeaBASS's dates), the positions (their bounds, whether any sample
// has one), the ship's data (which quantities any sample has), the time
// bins (how many). A CSV file's
// header only names its columns: without a track or ship's data,
// its samples are counted as they are written, and the data file is read
// once.
bool CountsFirst(ExportFormat format, const ExportHeader& header) {
  if (format != ExportFormat::kCsv || !header.track.empty() || header.binMs != 0) return true;
  // The valve's schedule gives a column too, and the summary counts it.
  if (header.companion.valveSchedule) return true;
  for (const QuantityRow& row : Quantities()) {
    if (header.ancillary.Has(row.quantity)) return true;  // its columns are those the samples get
  }
  return false;
}

// ReadExportHeader; with `always` false, an output in options.format that
// needs no count (CountsFirst) is read only as far as the first sample that
// can be exported: header.samples is then 1 when there is one (0 when not),
// and the counts are left for the export to make.
ExportResult ReadHeader(const std::string& dataFile, const ExportOptions& options, ExportHeader& header,
                        bool always) {
  OpenedFile opened = OpenDataFile(dataFile);
  if (opened.status != status::kOk) return Failed(opened.status, dataFile + ": " + StatusText(opened.status));
  Source& source = *opened.source;
  DescribeSource(source, dataFile, header);
  ExportResult placed = PlaceInUtc(dataFile, options, header);
  if (placed.status != status::kOk) {
    source.Close();
    return placed;
  }
  ReadTrackFor(dataFile, header);
  ReadAncillaryFor(dataFile, header);
  header.binMs = options.binSeconds ? std::llround(*options.binSeconds * 1000.0) : 0;
  const bool count = always || CountsFirst(options.format, header);
  SourceLine line(source.GetTraceCount());
  header.samples = 0;
  header.positioned = 0;
  header.merged.fill(0);
  header.rows = 0;
  header.positionedRows = 0;
  std::optional<std::int64_t> lastBin;
  GeoBoundsBuilder bounds;
  TrackCursor cursor(header.track), binCursor(header.track);
  AncillaryCursor ship(header);
  std::array<std::optional<double>, kQuantityCount> values{};
  long outOfTime = 0;
  Status read = ReadLines(source, line, header.damaged, [&](const SourceLine& good) {
    const std::optional<std::int64_t> utcMs = SampleUtcMs(header, good.time);
    if (!utcMs) {
      ++outOfTime;
      return true;
    }
    if (header.samples == 0) header.firstStampMs = good.time;
    header.lastStampMs = good.time;
    ++header.samples;
    if (!header.track.empty()) {
      if (const std::optional<LatLon> position = cursor.At(*utcMs)) {
        ++header.positioned;
        bounds.Add(*position);
      }
    }
    if (header.binMs == 0) {
      ++header.rows;
    } else if (const std::int64_t bin = BinIndexOf(*utcMs, header.binMs); bin != lastBin) {
      // A bin's row is placed at the bin's centre (a bin the time stamps
      // come back to after a step backwards is a row of its own).
      lastBin = bin;
      ++header.rows;
      if (!header.track.empty() && binCursor.At(bin * header.binMs)) ++header.positionedRows;
    }
    ship.At(*utcMs, values);
    for (std::size_t q = 0; q < kQuantityCount; ++q) header.merged[q] += values[q] ? 1 : 0;
    return count;
  });
  if (!count && read == status::kCancelled) read = status::kOk;  // stopped at the first sample
  source.Close();
  if (read != status::kOk) return Failed(read, dataFile + ": " + StatusText(read));
  header.damaged += outOfTime;
  if (header.binMs == 0) header.positionedRows = header.positioned;
  if (bounds.empty() && header.station) bounds.Add(*header.station);
  header.bounds = bounds.Bounds();
  DescribePositions(header);
  DescribeAncillary(header);
  ExportResult result;
  result.samples = header.samples;
  result.rows = header.rows;
  result.binMs = header.binMs;
  result.damaged = header.damaged;
  result.track = !header.trackName.empty() && header.trackProblem.empty();
  result.trackFixes = static_cast<long>(header.track.size());
  result.trackSkipped = header.trackSkipped;
  result.trackProblem = header.trackProblem;
  result.positioned = header.positioned;
  result.ancillary = !header.ancillaryName.empty() && header.ancillaryProblem.empty();
  result.ancillaryProblem = header.ancillaryProblem;
  result.merged = header.merged;
  return result;
}

// Progress told by the share of the data file read, for an export that did
// not count its samples first: looked at every kLines samples, told when
// it moved on by a 200th.
class FileProgress {
 public:
  FileProgress(const std::function<bool(double)>& progress, Source& source) : progress_(progress), source_(source) {}
  bool Sample() {
    if (!progress_ || ++lines_ % kLines != 0) return true;
    const double fraction = source_.GetReplayFraction();
    if (fraction < next_) return true;
    next_ = fraction + 1.0 / 200.0;
    return progress_(std::min(fraction, 1.0));
  }

 private:
  static constexpr long kLines = 4096;
  const std::function<bool(double)>& progress_;
  Source& source_;
  long lines_ = 0;
  double next_ = 1.0 / 200.0;
};

// The processor of a Level-2 export for the header's traces, its channels
// put into the header; null with `error` when the settings cannot work.
std::unique_ptr<Processor> MakeProcessor(ExportHeader& header, ProcessingSettings settings, std::string& error) {
  ProcessorChannels channels;
  for (const ExportTrace& trace : header.traces) {
    if (!trace.measured) continue;
    (trace.attenuation ? channels.cTrace : channels.aTrace).push_back(trace.index);
    (trace.attenuation ? channels.cWavelength : channels.aWavelength).push_back(trace.wavelength);
  }
  // T_cal from the record of the recording's device file's offset
  // calibration: the device file named by the companion, beside the data
  // file, else in the project directory.
  if (!settings.tCal) {
    const std::string dir = std::filesystem::path(header.dataFile).parent_path().string();
    const std::string folders[] = {dir, platform::GetProjectDir()};
    FindCalibrationTemperature(header.companion.deviceFile, folders, settings);
  }
  settings.shipTemperature = header.Has(Quantity::kTemperature);
  settings.shipSalinity = header.Has(Quantity::kSalinity);
  std::unique_ptr<Processor> processor = Processor::Make(std::move(channels), std::move(settings), error);
  if (!processor) return nullptr;
  header.channelOfTrace.assign(header.traces.size(), -1);
  const ProcessorChannels& sorted = processor->channels();
  for (const std::vector<int>* traces : {&sorted.aTrace, &sorted.cTrace}) {
    for (std::size_t k = 0; k < traces->size(); ++k)
      header.channelOfTrace[static_cast<std::size_t>((*traces)[k])] = static_cast<int>(k);
  }
  header.processor = processor.get();
  return processor;
}

// The rows of a Level-2 export: each waits, with a copy of its values, until
// the processor gives its sample back, and then goes to the writer; an
// underway export's with its particulate values, against the record's
// filtered periods.
class Level2Rows {
 public:
  Level2Rows(Processor* processor, ExportWriter* writer, const ExportHeader& header)
      : processor_(processor), writer_(writer), header_(header),
        flow_(header.underway ? header.underway->flushSeconds : 0.0) {}
  const std::array<long, 10>& flags() const { return flags_; }
  const std::array<long, 4>& flow() const { return flowCounts_; }
  bool Row(const ExportRow& row, const SourceLine& line, bool lostBefore) {
    waiting_.push_back({row, line.values});
    processor_->Push(InputOf(line, row.utcMs, row.ancillary[static_cast<std::size_t>(Quantity::kTemperature)],
                             row.ancillary[static_cast<std::size_t>(Quantity::kSalinity)], lostBefore),
                     ready_);
    return Write();
  }
  bool Finish() {
    processor_->Finish(ready_);
    return Write();
  }

 private:
  struct Waiting {
    ExportRow row;
    std::vector<double> values;
  };
  bool Write() {
    bool ok = true;
    for (const CorrectedSample& sample : ready_) {
      if (!ok || waiting_.empty()) break;
      Waiting& w = waiting_.front();
      w.row.values = &w.values;
      w.row.corrected = &sample;
      if (header_.underway) {
        const FlowPeriod period = flow_.Take(sample.timeMs, ValveOnFilter(w.row.ancillary[static_cast<std::size_t>(Quantity::kValve)]));
        ++flowCounts_[static_cast<std::size_t>(period)];
        const bool known = DissolvedAt(header_.filteredPeriods, sample.timeMs, dissolved_);
        ParticulateOf(*processor_, *header_.underway, sample, period, known ? &dissolved_ : nullptr, particulate_);
        w.row.particulate = &particulate_;
      }
      ok = writer_->Row(w.row);
      waiting_.pop_front();
      ++flags_[static_cast<std::size_t>(sample.flag) % flags_.size()];
    }
    ready_.clear();
    return ok;
  }

  Processor* processor_;
  ExportWriter* writer_;
  const ExportHeader& header_;
  FlowClassifier flow_;
  Dissolved dissolved_;
  ParticulateSample particulate_;
  std::deque<Waiting> waiting_;
  std::vector<CorrectedSample> ready_;
  std::array<long, 10> flags_{};
  std::array<long, 4> flowCounts_{};
};

// A first pass over the data file: `each` gets every sample that has a
// UTC time, with that time and the ship's data then; progress as the share
// of the file read, to `progress`. The file's status, or kCancelled when
// `progress` said so.
template <class Each>
Status EachSample(const std::string& dataFile, const ExportHeader& header, const std::function<bool(double)>& progress,
                  Each&& each) {
  OpenedFile opened = OpenDataFile(dataFile);
  if (opened.status != status::kOk) return opened.status;
  Source& source = *opened.source;
  SourceLine line(source.GetTraceCount());
  AncillaryCursor ship(header);
  FileProgress fileProgress(progress, source);
  std::array<std::optional<double>, kQuantityCount> values{};
  long damaged = 0;
  const Status read = ReadLines(source, line, damaged, [&](const SourceLine& good) {
    const std::optional<std::int64_t> utcMs = SampleUtcMs(header, good.time);
    if (!utcMs) return true;
    ship.At(*utcMs, values);
    each(good, *utcMs, values);
    return fileProgress.Sample();
  });
  source.Close();
  return read;
}

// The filtered periods of the data file (an underway export's first pass):
// its samples through a processor of the same settings, with the valve's
// state at each; progress as the share of the file read, to `progress`.
Status FindFilteredPeriods(const std::string& dataFile, ExportHeader& header,
                           const std::function<bool(double)>& progress) {
  std::string error;
  std::unique_ptr<Processor> processor =
      Processor::Make(header.processor->channels(), header.processor->settings(), error);
  if (!processor) return status::kUnrecognisedData;
  FlowClassifier flow(header.underway->flushSeconds);
  FilteredPeriods periods;
  std::deque<std::optional<bool>> valves;
  std::vector<CorrectedSample> ready;
  const auto take = [&] {
    for (const CorrectedSample& sample : ready) {
      const std::optional<bool> filtered = valves.front();
      valves.pop_front();
      periods.Add(sample.timeMs, filtered, flow.Take(sample.timeMs, filtered), sample.aTs, sample.cTs);
    }
    ready.clear();
  };
  const Status read = EachSample(dataFile, header, progress, [&](const SourceLine& good, std::int64_t utcMs,
                                                                 const std::array<std::optional<double>, kQuantityCount>& values) {
    valves.push_back(ValveOnFilter(values[static_cast<std::size_t>(Quantity::kValve)]));
    processor->Push(InputOf(good, utcMs, values[static_cast<std::size_t>(Quantity::kTemperature)],
                            values[static_cast<std::size_t>(Quantity::kSalinity)], false),
                    ready);
    take();
  });
  processor->Finish(ready);
  take();
  periods.Finish();
  header.filteredPeriods = periods.periods();
  return read;
}

// What WriteRows did: the samples written (before any binning), the lines
// left out, and of a Level-2 export the flags and flow periods.
struct RowsWritten {
  long done = 0;
  long damaged = 0;  // damaged lines and those out of time
  std::array<long, 10> flags{};
  std::array<long, 4> flow{};
};

// Every sample of `source` (opened at its first) as a row to `writer`, in
// the data file's order, with its UTC time, position and ship's data, and
// through `processor` for a Level-2 export; `options.progress` told the
// share done (of header.samples when `counted`, else of the file read).
// An output that counted its samples takes no more than it counted (the
// file grew since); fewer (it shrank) is kUnexpectedEof.
Status WriteRows(Source& source, const ExportHeader& header, Processor* processor, ExportWriter& writer,
                 const ExportOptions& options, bool counted, RowsWritten& out) {
  SourceLine line(source.GetTraceCount());
  TrackCursor cursor(header.track);
  AncillaryCursor ship(header);
  long done = 0;
  long outOfTime = 0;
  const long step = std::max(1L, header.samples / 200);
  FileProgress fileProgress(options.progress, source);
  Level2Rows level2(processor, &writer, header);
  long damaged = 0;
  long lost = 0;  // the damaged lines and those out of time, so far
  Status read = ReadLines(source, line, damaged, [&](const SourceLine& good) {
    if (counted && done >= header.samples) return true;  // the file grew since it was counted
    const std::optional<std::int64_t> utcMs = SampleUtcMs(header, good.time);
    if (!utcMs) {
      ++outOfTime;  // left out as a damaged line
      return true;
    }
    ExportRow row;
    row.utcMs = *utcMs;
    row.depth = good.depth;
    row.temperature = good.temperature;
    row.extTemperature = good.extTemperature;
    row.values = &good.values;
    if (!header.track.empty()) row.position = cursor.At(row.utcMs);
    ship.At(row.utcMs, row.ancillary);
    const bool lostBefore = damaged + outOfTime != lost;
    lost = damaged + outOfTime;
    if (!(processor ? level2.Row(row, good, lostBefore) : writer.Row(row))) return false;
    ++done;
    if (!counted) return fileProgress.Sample();
    if (options.progress && done % step == 0)
      return options.progress(static_cast<double>(done) / static_cast<double>(header.samples));
    return true;
  });
  if (read == status::kOk && processor && !level2.Finish()) read = status::kWriteFailed;
  out.done = done;
  out.damaged = damaged + outOfTime;
  out.flags = level2.flags();
  out.flow = level2.flow();
  if (read == status::kCancelled && !writer.error().empty()) read = status::kWriteFailed;
  if (read == status::kOk && counted && done < header.samples) read = status::kUnexpectedEof;  // the file shrank
  return read;
}

}  // namespace

std::vector<ProcessingAttribute> ExportHeader::Level2Attributes() const {
  std::vector<ProcessingAttribute> list = processor ? processor->Attributes() : std::vector<ProcessingAttribute>{};
  if (processor && underway) {
    for (ProcessingAttribute& a : UnderwayAttributes(*underway, *processor)) list.push_back(std::move(a));
  }
  if (binMs != 0) {
    const std::string bin = BinText();
    std::string text = std::string(BinStatisticName(binStatistic)) + " of each variable over the samples of bins of " +
                       bin + " centred on whole multiples of " + bin +
                       " in UTC (the row's time), with the count of samples (bin_count); corrected values over the "
                       "samples flagged good or not evaluated, the bin flagged good when they are at least 70 % of "
                       "its samples, suspect when fewer, else the worst flag of its samples";
    if (underway)
      text += "; particulate values over the whole-water samples after flushing (particulate_count), the flow period "
              "the one most samples were in";
    list.push_back({"time_bins", text, {}});
    list.push_back({"time_bin_seconds", {}, static_cast<double>(binMs) / 1000.0});
  }
  return list;
}

std::string ExportHeader::BinText() const { return Format("%g s", static_cast<double>(binMs) / 1000.0); }

ExportResult ReadExportHeader(const std::string& dataFile, const ExportOptions& options, ExportHeader& header) {
  return ReadHeader(dataFile, options, header, true);
}

ExportResult ExportDataFile(const std::string& dataFile, const std::string& output, const ExportOptions& options) {
  if (ExportResult refused = RefuseOutput(dataFile, output, options.force); refused.status != status::kOk)
    return refused;

  ExportHeader header;
  ExportResult result = ReadHeader(dataFile, options, header, false);
  const bool counted = CountsFirst(options.format, header);
  if (result.status != status::kOk) return result;
  if (header.samples == 0) return Failed(status::kUnrecognisedData, dataFile + ": no sample line to export");

  std::unique_ptr<Processor> processor;
  if (options.processing) {
    std::string error;
    processor = MakeProcessor(header, *options.processing, error);
    if (!processor) return Failed(status::kUnrecognisedData, dataFile + ": " + error);
  }
  ExportOptions second;  // an underway export's second pass: the progress from one half on
  const ExportOptions* pass = &options;
  if (options.underway) {
    if (!processor) return Failed(status::kBadArgument, "underway values need the corrections (process, not export)");
    if (!header.Has(Quantity::kValve))
      return Failed(status::kUnrecognisedData,
                    dataFile + ": the underway values need the flow-through valve's state, and the recording has "
                               "none (record with --valve or --valve-schedule; docs/ancillary.md)");
    if (processor->channels().aTrace.empty() || processor->channels().cTrace.empty())
      return Failed(status::kUnrecognisedData, dataFile + ": the underway values need both a and c channels");
    header.underway = &*options.underway;
    std::function<bool(double)> firstHalf;
    if (options.progress) firstHalf = [&options](double share) { return options.progress(0.5 * share); };
    const Status found = FindFilteredPeriods(dataFile, header, firstHalf);
    if (found == status::kCancelled) return Failed(status::kCancelled, "export cancelled");
    if (found != status::kOk) return Failed(found, dataFile + ": " + StatusText(found));
    if (header.filteredPeriods.empty())
      return Failed(status::kUnrecognisedData,
                    dataFile + Format(": no filtered period longer than its flushing (%g s): the dissolved part is "
                                      "not known",
                                      options.underway->flushSeconds));
    if (options.progress) {
      second = options;
      second.progress = [&options](double share) { return options.progress(0.5 + 0.5 * share); };
      pass = &second;
    }
  }

  OpenedFile opened = OpenDataFile(dataFile);
  if (opened.status != status::kOk) return Failed(opened.status, dataFile + ": " + StatusText(opened.status));
  Source& source = *opened.source;

  // Written whole under a temporary name, then put in place: the name
  // "OUTPUT.part" cleared (a link there removed, never followed), which
  // each writer creates new (O_EXCL; NetCDF's NC_NOCLOBBER).
  platform::FileReplacement partial = platform::FileReplacement::Reserve(output, ".part");
  if (!partial.ok())
    return Failed(status::kWriteFailed, partial.temporary() + ": " + std::strerror(partial.error()));
  std::unique_ptr<ExportWriter> writer = NewWriter(options.format, partial.temporary());
  if (writer && header.binMs != 0) writer = NewTimeBins(std::move(writer));
  bool ok = writer && writer->Begin(header, options);
  RowsWritten written;
  Status read = status::kOk;
  if (ok) {
    read = WriteRows(source, header, processor.get(), *writer, *pass, counted, written);
    result.flags = written.flags;
    result.flow = written.flow;
    result.filteredPeriods = static_cast<long>(header.filteredPeriods.size());
    if (!counted) {
      result.samples = result.rows = written.done;
      result.damaged = written.damaged;
    }
  }
  source.Close();
  const bool ended = writer && writer->End();
  if (!ok || !ended || read != status::kOk) {
    const std::string why = writer && !writer->error().empty() ? writer->error() : StatusText(status::kWriteFailed);
    writer.reset();  // it gives its file up first
    partial.Abandon();
    if (read == status::kCancelled) return Failed(status::kCancelled, "export cancelled");
    if (read != status::kOk && read != status::kWriteFailed)
      return Failed(read, dataFile + ": " + StatusText(read));
    return Failed(status::kWriteFailed, output + ": " + why);
  }
  if (!partial.Commit())
    return Failed(status::kCantRenameFile, output + ": cannot be written: " + std::strerror(partial.error()));
  if (options.progress) options.progress(1.0);
  return result;
}

std::string ProfilePathFor(const std::string& output, int cast, CastPart part, bool both) {
  const std::filesystem::path path(output);
  std::string name = path.stem().string() + Format("_cast%02d", cast);
  if (both) name += part == CastPart::kUp ? "_up" : "_down";
  return (path.parent_path() / (name + path.extension().string())).string();
}

namespace {

// The depth of every sample of the data file (pass one of the profiles):
// the meter's, else the ship's pressure's; `source` tells which. NaN where
// a sample has none.
Status ReadDepths(const std::string& dataFile, const ExportHeader& header, const std::function<bool(double)>& progress,
                  std::vector<DepthSample>& depths, std::string& source) {
  const bool meter = header.hasDepth;
  // The latitude of the pressure's depth: the station's, else the track's
  // first fix, else 45 degrees.
  double latitude = 45.0;
  std::string where = "45 degrees (no position known)";
  if (header.station) {
    latitude = header.station->latitude;
    where = "the station's";
  } else if (!header.track.empty()) {
    latitude = header.track.front().latitude;
    where = "the track's first fix's";
  }
  source = meter ? "the meter's pressure sensor (the data file's depth)"
                 : Format("the ship's pressure (%s) by the UNESCO 1983 formula (Fofonoff and Millard 1983) at "
                          "latitude %.4f, ",
                          header.ancillary.source[static_cast<std::size_t>(Quantity::kPressure)].c_str(), latitude) +
                       where;
  return EachSample(dataFile, header, progress, [&](const SourceLine& good, std::int64_t utcMs,
                                                  const std::array<std::optional<double>, kQuantityCount>& values) {
    const std::optional<double>& p = values[static_cast<std::size_t>(Quantity::kPressure)];
    const double depth = meter ? good.depth : p ? DepthFromPressure(*p, latitude) : std::numeric_limits<double>::quiet_NaN();
    depths.push_back({utcMs, depth});
  });
}

// The run's cast events, in time order.
std::vector<CastEvent> CastEventsOf(const Companion& companion) {
  std::vector<CastEvent> events;
  for (const RunEvent& e : companion.events) {
    if (e.kind == "cast start" || e.kind == "cast end") events.push_back({e.utcMs, e.kind == "cast start"});
  }
  std::stable_sort(events.begin(), events.end(), [](const CastEvent& a, const CastEvent& b) { return a.timeMs < b.timeMs; });
  return events;
}

}  // namespace

ExportResult ExportProfiles(const std::string& dataFile, const std::string& output, const ExportOptions& options,
                            const ProfileSettings& settings) {
  if (!options.processing) return Failed(status::kBadArgument, "profiles need the corrections' settings");
  ExportHeader header;
  ExportResult result = ReadHeader(dataFile, options, header, true);
  if (result.status != status::kOk) return result;
  if (header.samples == 0) return Failed(status::kUnrecognisedData, dataFile + ": no sample line to bin");
  if (!header.hasDepth && !header.Has(Quantity::kPressure))
    return Failed(status::kUnrecognisedData,
                  dataFile + ": no depth: the meter has no pressure sensor and the recording no ship's pressure (a "
                             "CTD; docs/ancillary.md)");
  std::string error;
  std::unique_ptr<Processor> processor = MakeProcessor(header, *options.processing, error);
  if (!processor) return Failed(status::kUnrecognisedData, dataFile + ": " + error);

  std::function<bool(double)> firstHalf, secondHalf;
  if (options.progress) {
    firstHalf = [&options](double share) { return options.progress(0.5 * share); };
    secondHalf = [&options](double share) { return options.progress(0.5 + 0.5 * share); };
  }
  ProfileOutput out;
  out.header = &header;
  out.options = &options;
  out.settings = settings;
  out.columns = ProfileColumnsOf(header);
  std::vector<DepthSample> depths;
  const Status found = ReadDepths(dataFile, header, firstHalf, depths, out.depthSource);
  if (found == status::kCancelled) return Failed(status::kCancelled, "export cancelled");
  if (found != status::kOk) return Failed(found, dataFile + ": " + StatusText(found));
  out.casts = FindCasts(depths, settings.casts, CastEventsOf(header.companion));
  if (out.casts.empty())
    return Failed(status::kUnrecognisedData,
                  dataFile + Format(": no cast: the depth (smoothed over %g s) never went %g m below the surface "
                                    "layer of %g m%s",
                                    settings.casts.smoothSeconds, kMinCastRange, settings.casts.surface,
                                    CastEventsOf(header.companion).empty() ? "" : ", nor do the cast events hold a sample"));

  // Pass two: every sample corrected and binned.
  OpenedFile opened = OpenDataFile(dataFile);
  if (opened.status != status::kOk) return Failed(opened.status, dataFile + ": " + StatusText(opened.status));
  std::unique_ptr<ExportWriter> bins = NewProfileBins(out, depths);
  ExportOptions pass = options;
  pass.progress = secondHalf;
  RowsWritten written;
  const Status read = WriteRows(*opened.source, header, processor.get(), *bins, pass, true, written);
  opened.source->Close();
  bins->End();
  if (read == status::kCancelled) return Failed(status::kCancelled, "export cancelled");
  if (read != status::kOk) return Failed(read, dataFile + ": " + StatusText(read));
  if (out.profiles.empty())
    return Failed(status::kUnrecognisedData, dataFile + ": the casts hold no sample of the " +
                                                 std::string(CastPartName(settings.part)) + "-casts asked for");

  // The files: each under a temporary name, all put in place once whole.
  struct Output {
    std::string path;
    const BinnedProfile* profile = nullptr;
  };
  std::vector<Output> files;
  if (options.format == ExportFormat::kSeaBass) {
    for (const BinnedProfile& p : out.profiles)
      files.push_back({ProfilePathFor(output, p.cast, p.part, settings.part == CastPart::kBoth), &p});
  } else {
    files.push_back({output, nullptr});
  }
  for (const Output& f : files) {
    if (ExportResult refused = RefuseOutput(dataFile, f.path, options.force); refused.status != status::kOk)
      return refused;
  }
  std::vector<platform::FileReplacement> partials;
  for (const Output& f : files) {
    partials.push_back(platform::FileReplacement::Reserve(f.path, ".part"));
    platform::FileReplacement& partial = partials.back();
    if (!partial.ok()) {
      for (platform::FileReplacement& p : partials) p.Abandon();
      return Failed(status::kWriteFailed, partial.temporary() + ": " + std::strerror(partial.error()));
    }
    const bool ok = options.format == ExportFormat::kNetCdf ? WriteProfilesNetCdf(partial.temporary(), out, error)
                    : options.format == ExportFormat::kCsv  ? WriteProfilesCsv(partial.temporary(), out, error)
                                                            : WriteProfileSeaBass(partial.temporary(), out, *f.profile, error);
    if (!ok) {
      for (platform::FileReplacement& p : partials) p.Abandon();
      return Failed(status::kWriteFailed, f.path + ": " + error);
    }
  }
  for (std::size_t k = 0; k < partials.size(); ++k) {
    if (!partials[k].Commit())
      return Failed(status::kCantRenameFile, files[k].path + ": cannot be written: " + std::strerror(partials[k].error()));
    result.outputs.push_back(files[k].path);
  }
  result.flags = written.flags;
  result.casts = out.casts;
  result.profiles = static_cast<long>(out.profiles.size());
  if (options.progress) options.progress(1.0);
  return result;
}

}  // namespace sondrix
