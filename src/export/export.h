// SPDX-License-Identifier: GPL-3.0-or-later
// Export: a stored data file (and its companion, NAME.meta.json) turned
// into a file that analysis tools and archives read: NetCDF-4 following the
// CF and ACDD conventions, a SeaBASS file, or CSV. Every sample is placed in
// UTC: the companion's time zero plus the sample's own time stamp; a data
// file without a companion falls back on its title line's local date and
// time, read in the computer's zone or the one asked for, and the export's
// history says so.
//
// The data file is read twice: once to count its samples and find the first
// and last (which the headers of NetCDF and SeaBASS name before the first
// row), then row by row into the writer. A CSV file's header names only its
// columns: without a track its samples are counted as they are written, in
// one reading. Damaged lines are left out; the time stamps show the gap.
//
// Positions: when the recording has a track beside it (NAME.track.csv, see
// datafile/track.h), every sample gets the position at its UTC time
// (PositionAt: the straight line between the fixes around it when they are
// at most kMaxFixGapSeconds apart, never extrapolated); a sample without one
// gets the format's fill value. The first reading finds how many samples
// have a position and their bounds, which the headers name. A run without a
// track, or whose track places no sample, exports no position at all. The
// companion's events go into the NetCDF and SeaBASS outputs.
//
// The ship's data: when the recording has NAME.ancillary.csv beside it,
// every sample gets the value of each quantity at its UTC time
// (AncillaryValueAt: interpolated between readings at most
// kMaxAncillaryGapSeconds apart, the valve's state in force, never
// extrapolated); the valve's state comes from the companion's schedule when
// it has one. Only the quantities some sample has are written: NetCDF
// variables of CF's standard names (sea_water_temperature, ...) and
// valve_state, SeaBASS's own fields (wt, sal, ...), CSV columns.
//
// Level 2 (ExportOptions::processing, sondrix-cli process): every sample
// goes through a Processor (processing/processor.h) as it is read, with the
// ship's data at its time, and the outputs carry its corrected values
// beside everything the export writes: the T/S-corrected a and c, a
// corrected for scattering, the temperature and salinity used, the quality
// flag and the absorption line height, and the methods with their
// parameters (docs/processing.md). The processor holds a few lines before
// it gives them back; the rows wait with it.
//
// Time bins (ExportOptions::binSeconds): the rows go through NewTimeBins
// (export_writer.h), which hands the writer one row per bin of time, the
// median of each variable and the count of samples; the first reading
// counts the bins, which NetCDF's time dimension needs.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "common/text_format.h"
#include "datafile/ancillary_file.h"
#include "datafile/companion.h"
#include "datafile/track.h"
#include "processing/processor.h"
#include "processing/profiles.h"
#include "processing/statistics.h"
#include "processing/underway.h"

namespace sondrix {

enum class ExportFormat { kNetCdf, kSeaBass, kCsv };

// The formats, one row each, in the order every list of them takes (the
// command line's help, the window's file dialog and its messages); a test
// checks that docs/export.md and the manual page name every row.
struct ExportFormatRow {
  ExportFormat format;
  std::string_view name;       // --format's word: "netcdf"
  std::string_view label;      // the format's own name: "NetCDF"
  std::string_view extension;  // of its outputs: ".nc"
};
std::span<const ExportFormatRow> ExportFormats();

// "netcdf", "seabass", "csv"; false for any other name.
bool ParseExportFormat(std::string_view name, ExportFormat& format);
// The format whose extension `extension` is (".nc"); false for another.
bool ExportFormatOfExtension(std::string_view extension, ExportFormat& format);
std::string_view ExportFormatName(ExportFormat format);
// The extension an output of `format` takes: ".nc", ".sb", ".csv".
std::string_view ExportExtension(ExportFormat format);
// The rows' texts `text(row)` one after another, `separator` between them
// and `last` before the last one: "netcdf (FILE.nc), seabass (FILE.sb) or
// csv (FILE.csv)".
std::string ListExportFormats(const std::function<std::string(const ExportFormatRow&)>& text,
                              std::string_view separator, std::string_view last);
// The output beside `dataFile` (or in `folder` when not empty): its name
// with the format's extension in place of its own.
std::string ExportPathFor(std::string_view dataFile, ExportFormat format, std::string_view folder = {});

// One trace of the data file as the exports name it.
struct ExportTrace {
  int index = 0;            // in the data file's line (after a replay's spreading)
  std::string heading;      // "c412", "a400.0"
  double wavelength = 0.0;  // nm
  bool attenuation = true;  // c (attenuation) or a (absorption)
  bool measured = true;     // false: a wavelength a spaced run skipped
};

// The bounds of a set of positions: the latitudes' least and greatest, and
// the shortest stretch of longitudes (west to east) that holds them all.
// West is greater than east when that stretch crosses the 180th meridian,
// as ACDD's geospatial_lon_min/max and SeaBASS's bounds take it.
struct GeoBounds {
  double south = 0.0, north = 0.0, west = 0.0, east = 0.0;
};

// Gathers positions one by one into their bounds.
class GeoBoundsBuilder {
 public:
  void Add(const LatLon& position);
  bool empty() const { return count_ == 0; }
  // The bounds of what was added (all zero when nothing was).
  GeoBounds Bounds() const;

 private:
  long count_ = 0;
  double south_ = 0.0, north_ = 0.0;
  double west_ = 0.0, east_ = 0.0;          // longitudes as given, -180 ... 180
  double west360_ = 0.0, east360_ = 0.0;    // the same, 0 ... 360
};

// What an export knows of its data file before the first row.
struct ExportHeader {
  std::string dataFile;
  std::string titleDate, titleTime;  // the title line's local date and time
  std::string model;                 // the instrument's identity (its name)
  std::string serial;                // "0400012D"
  std::string configText;            // the device configuration, as the file carries it
  int binsize = 1;
  bool hasDepth = false;
  std::vector<ExportTrace> traces;   // every trace, in the line's order

  bool hasCompanion = false;
  Companion companion;               // deployment metadata merged with --meta
  std::int64_t timeZeroUtcMs = 0;    // without a clock map, a sample's UTC: this plus its stamp
  std::string timeNote;              // how the UTC times were found, for the history
  std::optional<LatLon> station;     // the station's position the deployment gives

  // The UTC time (milliseconds since 1970-01-01T00:00:00Z) at which the
  // sample stamped `stampMs` was measured: the companion's clock map, or
  // time zero plus the stamp without one (io/clock_map.h: SampleUtc, which
  // a live run's times come from too). Every sample's, the first's and the
  // last's time in every output comes from here. A sum beyond 64 bits (a
  // damaged line's stamp) ends at its limit.
  std::int64_t UtcOf(std::int64_t stampMs) const { return *SampleUtc(companion.clock, timeZeroUtcMs, stampMs); }

  long samples = 0;                  // good lines
  long damaged = 0;                  // lines left out
  // Time bins (ExportOptions::binSeconds): every row of the output is the
  // statistic of the samples of a bin of binMs milliseconds, centred on a
  // multiple of it in UTC (BinIndexOf); 0: a row per sample. The rows the
  // writer gets (the samples, or their bins) and those with a position.
  std::int64_t binMs = 0;
  BinStatistic binStatistic = BinStatistic::kMedian;
  long rows = 0;
  long positionedRows = 0;
  std::int64_t firstStampMs = 0, lastStampMs = 0;

  // The track beside the data file, in time order (empty: none, or one
  // that could not be read), and what became of it.
  std::vector<TrackFix> track;
  std::string trackName;             // "NAME.track.csv" when there is a track file
  long trackSkipped = 0;             // lines of the track that held no fix
  std::string trackProblem;          // why a track file was not used ("" when it was, or there is none)
  long positioned = 0;               // samples with a position
  GeoBounds bounds;                  // of those positions (positioned > 0), else of the station
  std::string positionNote;          // how the positions were found, for the history ("" without a track)

  // The ship's data beside the data file, a series per quantity, and what
  // became of it: the samples given a value of each quantity.
  AncillarySeries ancillary;
  std::string ancillaryName;         // "NAME.ancillary.csv" when there is one
  long ancillarySkipped = 0;
  std::string ancillaryProblem;      // why it was not used ("" when it was, or there is none)
  std::array<long, kQuantityCount> merged{};
  std::string ancillaryNote;         // how the values were found, for the history
  bool Has(Quantity quantity) const { return merged[static_cast<std::size_t>(quantity)] > 0; }

  // Level 2: the processor the rows' corrected values come from (null for
  // a plain export), and each trace's channel among the processor's
  // channels of its kind (-1: none, a wavelength not measured).
  const Processor* processor = nullptr;
  std::vector<int> channelOfTrace;
  // Underway (ExportOptions::underway): its settings and the record's
  // filtered periods, found before the first row (null: not underway).
  const UnderwaySettings* underway = nullptr;
  std::vector<FilteredSpectrum> filteredPeriods;
  // The methods and their parameters of a Level-2 file: the processor's,
  // then the underway processing's.
  // then the time bins'.
  std::vector<ProcessingAttribute> Level2Attributes() const;
  // "60 s" of binMs.
  std::string BinText() const;
  // The channel of `trace` (-1: none).
  int ChannelOf(int trace) const {
    return trace >= 0 && static_cast<std::size_t>(trace) < channelOfTrace.size()
               ? channelOfTrace[static_cast<std::size_t>(trace)]
               : -1;
  }
};

// One sample as the writers take it.
struct ExportRow {
  std::int64_t utcMs = 0;
  std::optional<LatLon> position;  // none: no fix close enough (or no track)
  double depth = 0.0;
  double temperature = 0.0;
  double extTemperature = 0.0;
  const std::vector<double>* values = nullptr;  // one per trace of the header
  // The ship's data at the sample's time, by Quantity (none: no reading
  // close enough).
  std::array<std::optional<double>, kQuantityCount> ancillary{};
  // Level 2: the sample's corrected values (null for a plain export).
  const CorrectedSample* corrected = nullptr;
  // Underway: its particulate values (null when not underway).
  const ParticulateSample* particulate = nullptr;
  // A time bin's row: the samples in the bin, and of them those with
  // particulate values (both 0 for a row of one sample).
  long binCount = 0;
  long particulateCount = 0;
};

// The bin of `binMs` milliseconds that a sample at `utcMs` falls into: bin
// k holds [k binMs - binMs/2, k binMs + binMs/2), centred on k binMs (a
// 60 s bin on every whole minute).
inline std::int64_t BinIndexOf(std::int64_t utcMs, std::int64_t binMs) {
  const std::int64_t shifted = utcMs + binMs / 2;
  return shifted / binMs - (shifted % binMs < 0 ? 1 : 0);
}

struct ExportOptions {
  ExportFormat format = ExportFormat::kNetCdf;
  // Deployment values that replace the companion's (key of kDeploymentKeys).
  Deployment meta;
  // The zone a data file without a companion was recorded in (TZ names,
  // "Europe/Oslo", "UTC"); empty: the computer's.
  std::string zone;
  // The command line or action, for the history.
  std::string invocation;
  // Called now and then with the share done, 0 ... 1; returning false
  // cancels the export (which then gives kCancelled).
  std::function<bool(double)> progress;
  // Replace an existing output.
  bool force = false;
  // Level 2: the corrections and their settings (see the top of this
  // file). The run's ship's data decides shipTemperature and
  // shipSalinity; a T_cal not given is read from the record of the offset
  // calibration of the recording's device file (config/calibration_record.h),
  // looked for beside the data file, then in the project directory.
  std::optional<ProcessingSettings> processing;
  // Underway particulate values from a switched filter (with processing):
  // the record must carry the valve's state (processing/underway.h).
  std::optional<UnderwaySettings> underway;
  // Level 2: the rows binned in time to this many seconds (the median of
  // each variable over the bin's samples, and their count); none: a row
  // per sample.
  std::optional<double> binSeconds;
};

struct ExportResult {
  Status status = status::kOk;
  std::string message;  // what went wrong, for the user
  long samples = 0;
  long damaged = 0;
  // The positions (see the top of this file).
  bool track = false;        // a track beside the data file was read
  long trackFixes = 0;
  long trackSkipped = 0;     // its lines that held no fix
  std::string trackProblem;  // a track file that could not be used, and why: exported without positions
  long positioned = 0;       // samples given a position
  // The ship's data (see the top of this file): the file's problem when it
  // could not be used, and the samples given a value, by Quantity.
  bool ancillary = false;
  std::string ancillaryProblem;
  std::array<long, kQuantityCount> merged{};
  // Level 2: the samples of each quality flag (by its value, 0 ... 9).
  std::array<long, 10> flags{};
  // Underway: the filtered periods found, and the samples of each flow
  // period (by FlowPeriod).
  long filteredPeriods = 0;
  std::array<long, 4> flow{};
  // The rows written: the samples, or with time bins (of binMs) the bins.
  long rows = 0;
  std::int64_t binMs = 0;
  // Profiles: the casts found, the profiles binned, and the files written
  // (one, or for SeaBASS one a profile).
  std::vector<Cast> casts;
  long profiles = 0;
  std::vector<std::string> outputs;
};

// "371 rows, bins of 60 s": the rows of a binned output; "" for another.
std::string RowsSummary(const ExportResult& result);

// "whole 2900, filtered 500, flushing 200; 6 filtered periods": the
// underway samples; "" for another export.
std::string FlowSummary(const ExportResult& result);

// "good 3580, suspect 20": the Level-2 samples of each flag that has any.
std::string FlagSummary(const ExportResult& result);

// "ship's data: temperature 3600, salinity 3600 of 3600 samples"; "" for a
// data file without any.
std::string AncillarySummary(const ExportResult& result);

// What became of the positions, for the line that tells the export's
// outcome: "positions: 3580 of 3600 samples; 20 without a fix within 10 s";
// "" for a data file without a track.
std::string PositionSummary(const ExportResult& result);

// Exports `dataFile` to `output`. The output is written under a temporary
// name beside it and renamed into place only when whole; an output that
// exists is refused (kCantRenameFile) unless options.force.
ExportResult ExportDataFile(const std::string& dataFile, const std::string& output, const ExportOptions& options);

// The profiles of `dataFile` (sondrix-cli profile; docs/processing.md,
// "Profiles"): its casts found and each part of them binned by depth
// (processing/profiles.h) after the Level-2 corrections of
// options.processing, which must be given. The depth is the meter's when
// the data file has it, else the ship's pressure (a CTD) through the UNESCO
// formula at the station's or the track's latitude. NetCDF and CSV: one
// file, `output`; SeaBASS: a file per profile (ProfilePathFor). Every file
// is written under a temporary name and all are put in place together once
// whole; one that exists is refused unless options.force.
ExportResult ExportProfiles(const std::string& dataFile, const std::string& output, const ExportOptions& options,
                            const ProfileSettings& profile);
// The SeaBASS file of a profile: "OUT.sb" gives "OUT_cast01.sb", with the
// part named when the casts give both ("OUT_cast01_up.sb").
std::string ProfilePathFor(const std::string& output, int cast, CastPart part, bool both);

// Reads the header of `dataFile` and counts its samples (no output).
ExportResult ReadExportHeader(const std::string& dataFile, const ExportOptions& options, ExportHeader& header);

// Milliseconds since 1970-01-01T00:00:00Z of a local date "MM-DD-YYYY" and
// time "HH:MM:SS" in `zone` (empty: the computer's). False when the text or
// the zone cannot be read.
bool LocalTitleToUtcMs(std::string_view date, std::string_view time, const std::string& zone, std::int64_t& utcMs);
// Whether `zone` names a zone: a file of the zone database ("Europe/Oslo"),
// or "UTC"/"GMT" with an optional offset east of UTC ("UTC+3", "UTC-03:30").
bool KnownZone(const std::string& zone);
// ISO 8601 duration of `ms`: "PT3600.5S".
std::string IsoDuration(std::int64_t ms);

}  // namespace sondrix
