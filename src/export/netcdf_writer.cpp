// SPDX-License-Identifier: GPL-3.0-or-later
// The NetCDF-4 export, through the NetCDF C library: CF-1.11 with ACDD-1.3
// discovery attributes. Attenuation and absorption are (time, wavelength)
// variables over a wavelength coordinate of their own; a wavelength a
// spaced run did not measure holds the fill value. Times are whole
// milliseconds (int64, "milliseconds since 1970-01-01T00:00:00Z"), so that
// they read back exactly. Rows gather in blocks and go to the file a block
// at a time.
//
// Every variable along time is chunked a block of rows to a chunk, and each
// chunk is written whole, once (the last one as far as the samples go), so
// HDF5 is told not to fill chunks before they are written (no fill mode;
// the _FillValue attribute, where a variable has one, stays: it marks the
// values Row writes for a wavelength not measured and a sample without a
// position), and its cache of each such variable holds the one chunk being
// written. The small variables written whole at the end of Begin keep the
// library's defaults.
//
// Where the samples are decides what the file claims (CF chapter 9):
// - every sample has a position from the track: one trajectory, latitude
//   and longitude along time as auxiliary coordinates;
// - otherwise, with the station's position in the deployment: one time
//   series at the station, station_latitude and station_longitude scalar
//   coordinates;
// - otherwise no discrete sampling geometry (no featureType).
// Samples placed by the track, when not all are, keep their positions in
// latitude(time) and longitude(time) as data variables, the fill value
// where a sample has none: a coordinate with missing values would make CF
// readers drop those samples (docs/export.md). Every data variable names its
// coordinates. The run's events lie along a dimension of their own:
// event_time, event_kind, event_note.
//
// A Level-2 file (ExportHeader::processor) adds, over the same wavelength
// coordinates, absorption_ts, attenuation_ts and absorption_corrected, the
// temperature_used and salinity_used of each sample, its quality_flag
// (CF's flag_values and flag_meanings) and absorption_line_height; the
// methods and their parameters are global attributes (docs/processing.md).
// An underway file adds absorption_particulate, attenuation_particulate,
// absorption_dissolved and attenuation_dissolved over the same
// coordinates, each sample's flow_period (flags: whole, filtered, flushing,
// unknown), dissolved_extrapolated, particulate_slope,
// particulate_line_height and, with a coefficient, poc; and the filtered
// periods themselves along a dimension of their own: filtered_period_start,
// filtered_period_end, filtered_period_time (the median time of the samples
// used), filtered_period_samples, filtered_absorption and
// filtered_attenuation (their median spectra).
#include <hdf5.h>
#include <netcdf.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <tuple>
#include <memory>
#include <string>
#include <vector>

#include "common/utils.h"
#include "datafile/data_file.h"
#include "datafile/deployment_values.h"
#include "export/export_writer.h"

namespace sondrix {
namespace {

constexpr std::size_t kBlockRows = 8192;
constexpr const char* kTimeUnits = "milliseconds since 1970-01-01T00:00:00Z";
// The standard name table whose names the variables carry (checked there).
constexpr const char* kStandardNameTable = "CF Standard Name Table v85";

// What the file claims its samples are (see the top of this file).
enum class Geometry { kNone, kTimeSeries, kTrajectory };

// "43.123450 N, 70.500000 W" of a position.
std::string PositionText(const LatLon& p) {
  return Format("%.6f %s, %.6f %s", std::abs(p.latitude), p.latitude < 0 ? "S" : "N", std::abs(p.longitude),
                p.longitude < 0 ? "W" : "E");
}

// The program and its version, from the data file's title ("Sondrix 7.1").
std::string ProgramName() {
  std::string name(kDataFileTitle);
  const std::size_t ver = name.find(" ver ");
  if (ver != std::string::npos) name.erase(ver, 4);
  return name;
}

struct Column {
  int var = -1;
  std::vector<double> block;  // rows of this block, row-major
  std::size_t width = 1;
};

// A NetCDF-4 file whose last flush fails (the disk full under it) cannot
// be closed: nc_close and nc_abort both fail, and HDF5, below the NetCDF
// library, keeps the half-closed file among its open files. HDF5's own
// clean-up at the program's exit then crashes on it (SIGSEGV in
// H5F__close_cb). That clean-up only frees what the operating system frees
// anyway, every file the export finished being closed already; so it is
// switched off before HDF5 starts (the first NetCDF call of the process),
// and a failed file costs its handle, emptied, until the program ends.
void KeepHdf5FromItsExit() {
  static const bool once = [] {
    H5dont_atexit();
    return true;
  }();
  (void)once;
}

class NetCdfWriter final : public ExportWriter {
 public:
  explicit NetCdfWriter(std::string path) : path_(std::move(path)) {}
  // A file not ended (a failure on the way) is abandoned, never flushed:
  // the export removes it.
  ~NetCdfWriter() override { Abandon(); }

  bool Begin(const ExportHeader& header, const ExportOptions& options) override {
    KeepHdf5FromItsExit();
    int id = -1;
    if (!Check(nc_create(path_.c_str(), NC_NOCLOBBER | NC_NETCDF4, &id))) return false;
    ncid_ = id;
    rows_ = static_cast<std::size_t>(header.rows);
    positions_ = header.positionedRows > 0;
    geometry_ = header.rows > 0 && header.positionedRows == header.rows ? Geometry::kTrajectory
                : header.station                                        ? Geometry::kTimeSeries
                                                                        : Geometry::kNone;
    binMs_ = header.binMs;
    int timeDim = -1;
    if (!Check(nc_def_dim(ncid_, "time", rows_, &timeDim))) return false;
    if (!DefineTime(timeDim)) return false;
    if (binMs_ != 0 && !DefineBins(timeDim, header)) return false;
    for (bool attenuation : {true, false}) {
      if (!DefineKind(header, attenuation, timeDim)) return false;
    }
    if (header.hasDepth) {
      depth_.var = DefineSeries(timeDim, "depth", "m", "depth of the instrument below the surface");
      if (depth_.var < 0 || !Text(depth_.var, "standard_name", "depth") || !Text(depth_.var, "positive", "down") ||
          !Text(depth_.var, "axis", "Z"))
        return false;
    }
    temperature_.var = DefineSeries(timeDim, "temperature_internal", "degree_Celsius", "internal temperature of the instrument");
    extTemperature_.var = DefineSeries(timeDim, "temperature_external", "degree_Celsius", "external temperature");
    for (Column* column : {&temperature_, &extTemperature_}) {
      if (column->var < 0 || !Text(column->var, "units_metadata", "temperature: on_scale") ||
          !Text(column->var, "coordinates", Coordinates(header)))
        return false;
    }
    if (positions_ && !DefinePositions(timeDim, header)) return false;
    if (!DefineAncillary(timeDim, header)) return false;
    if (header.processor && !DefineLevel2(timeDim, header)) return false;
    if (geometry_ == Geometry::kTimeSeries && !DefineStationPosition(*header.station)) return false;
    if (!DefineEvents(header.companion.events)) return false;
    if (!DefineStation(header) || !Globals(header, options)) return false;
    if (header.processor && !Level2Globals(header)) return false;
    if (binMs_ != 0 && !CellMethods(timeDim, header)) return false;
    if (!Check(nc_enddef(ncid_))) return false;
    return WriteCoordinates() && WriteFilteredPeriods();
  }

  bool Row(const ExportRow& row) override {
    timeBlock_.push_back(row.utcMs);
    for (Kind& kind : kinds_) {
      for (int index : kind.traces) {
        kind.column.block.push_back(index < 0 ? NC_FILL_DOUBLE : (*row.values)[static_cast<std::size_t>(index)]);
      }
    }
    if (depth_.var >= 0) depth_.block.push_back(row.depth);
    if (positions_) {
      latitude_.block.push_back(row.position ? row.position->latitude : NC_FILL_DOUBLE);
      longitude_.block.push_back(row.position ? row.position->longitude : NC_FILL_DOUBLE);
    }
    temperature_.block.push_back(row.temperature);
    extTemperature_.block.push_back(row.extTemperature);
    for (std::size_t q = 0; q < kQuantityCount; ++q) {
      if (ancillary_[q].var < 0) continue;
      const double fill = static_cast<Quantity>(q) == Quantity::kValve ? NC_FILL_BYTE : NC_FILL_DOUBLE;
      ancillary_[q].block.push_back(row.ancillary[q].value_or(fill));
    }
    if (row.corrected) Level2Row(*row.corrected, row.particulate);
    if (binMs_ != 0) {
      boundsBlock_.push_back(row.utcMs - binMs_ / 2);
      boundsBlock_.push_back(row.utcMs - binMs_ / 2 + binMs_);
      binCount_.block.push_back(static_cast<double>(row.binCount));
      if (particulateCount_.var >= 0) particulateCount_.block.push_back(static_cast<double>(row.particulateCount));
    }
    return timeBlock_.size() < kBlockRows || Flush();
  }

  // Closes the file when everything went to it. Everything goes to the
  // disk first (nc_sync), while the library still holds the file whole: a
  // full disk shows there ("NetCDF: HDF error"), and the file is abandoned
  // (Abandon) instead of closed.
  bool End() override {
    if (ncid_ < 0) return false;
    bool ok = error().empty() && Flush();
    if (ok && written_ != rows_) ok = Fail("fewer rows than samples");
    ok = ok && Check(nc_sync(ncid_));
    if (!ok) {
      Abandon();
      return false;
    }
    const int id = ncid_;
    ncid_ = -1;
    return Check(nc_close(id));
  }

 private:
  struct Kind {
    Column column;
    std::vector<int> traces;  // the trace of each wavelength, -1 for none measured
    int dim = -1;             // its wavelength dimension
    bool attenuation = true;
  };
  // A Level-2 variable over a kind's wavelengths.
  enum class Corrected { kATs, kCTs, kA, kAp, kCp, kAd, kCd };
  struct Level2Column {
    Column column;
    std::size_t kind = 0;  // in kinds_
    Corrected what = Corrected::kA;
  };

  static double OrFill(double value) { return std::isfinite(value) ? value : NC_FILL_DOUBLE; }

  // The Level-2 variables (see the top of this file).
  bool DefineLevel2(int timeDim, const ExportHeader& header) {
    channelOfTrace_ = header.channelOfTrace;
    if (!DefineSpectra(timeDim, header, "absorption_ts", false, Corrected::kATs,
                       "absorption coefficient (a) less that of pure water, corrected for the water's temperature and "
                       "salinity",
                       "a - psi_t (T - T_cal) - psi_s_a S: see the global attributes ts_correction, ts_coefficients "
                       "and calibration_temperature, and the variables temperature_used and salinity_used",
                       "quality_flag") ||
        !DefineSpectra(timeDim, header, "attenuation_ts", true, Corrected::kCTs,
                       "beam attenuation coefficient (c) less that of pure water, corrected for the water's "
                       "temperature and salinity",
                       "c - psi_t (T - T_cal) - psi_s_c S, c taken lag_c_seconds after the sample's time",
                       "quality_flag") ||
        !DefineSpectra(timeDim, header, "absorption_corrected", false, Corrected::kA,
                       "absorption coefficient (a) less that of pure water, corrected for temperature, salinity and "
                       "scattering",
                       "absorption_ts corrected for scattering: see the global attribute scattering_correction",
                       "quality_flag"))
      return false;
    temperatureUsed_.var = DefineSeries(timeDim, "temperature_used", "degree_Celsius",
                                        "water temperature the temperature and salinity correction used");
    salinityUsed_.var = DefineSeries(timeDim, "salinity_used", "1",
                                     "practical salinity the temperature and salinity correction used");
    if (temperatureUsed_.var < 0 || salinityUsed_.var < 0 ||
        !Text(temperatureUsed_.var, "standard_name", "sea_water_temperature") ||
        !Text(temperatureUsed_.var, "units_metadata", "temperature: on_scale") ||
        !Text(salinityUsed_.var, "standard_name", "sea_water_practical_salinity"))
      return false;
    for (const Column* column : {&temperatureUsed_, &salinityUsed_}) {
      if (!Text(column->var, "coordinates", Coordinates(header))) return false;
    }
    if (!Text(temperatureUsed_.var, "comment", "from " + OneLine(Level2Attribute(header, "temperature_source"))) ||
        !Text(salinityUsed_.var, "comment", "from " + OneLine(Level2Attribute(header, "salinity_source"))))
      return false;
    std::vector<signed char> flags;
    for (int flag : kFlagValues) flags.push_back(static_cast<signed char>(flag));
    if (!Check(nc_def_var(ncid_, "quality_flag", NC_BYTE, 1, &timeDim, &qualityFlag_.var)) ||
        !Check(nc_def_var_fill(ncid_, qualityFlag_.var, NC_NOFILL, nullptr)) || !Chunk(qualityFlag_.var, 1) ||
        !Text(qualityFlag_.var, "long_name", "quality of the sample's corrected values (IODE scheme)") ||
        !Text(qualityFlag_.var, "standard_name", "quality_flag") ||
        !Check(nc_put_att_schar(ncid_, qualityFlag_.var, "flag_values", NC_BYTE, flags.size(), flags.data())) ||
        !Text(qualityFlag_.var, "flag_meanings", kFlagMeanings) ||
        !Text(qualityFlag_.var, "comment", OneLine(Level2Attribute(header, "quality_control"))) ||
        !Text(qualityFlag_.var, "coordinates", Coordinates(header)))
      return false;
    if (header.processor->hasLineHeight()) {
      lineHeight_.var = DefineSeries(timeDim, "absorption_line_height", "m-1",
                                     "absorption line height at 676 nm (chlorophyll a)");
      if (lineHeight_.var < 0 ||
          !Text(lineHeight_.var, "comment", OneLine(Level2Attribute(header, "absorption_line_height"))) ||
          !Text(lineHeight_.var, "coordinates", Coordinates(header)) ||
          !Text(lineHeight_.var, "ancillary_variables", "quality_flag"))
        return false;
    }
    return !header.underway || DefineUnderway(timeDim, header);
  }

  // A (time, wavelength) Level-2 variable of each kind `attenuation` names.
  bool DefineSpectra(int timeDim, const ExportHeader& header, const char* name, bool attenuation, Corrected what,
                     const char* longName, const std::string& comment, const char* ancillary) {
    const double fill = NC_FILL_DOUBLE;
    for (std::size_t k = 0; k < kinds_.size(); ++k) {
      if (kinds_[k].attenuation != attenuation) continue;
      Level2Column l2;
      l2.kind = k;
      l2.what = what;
      l2.column.width = kinds_[k].traces.size();
      int dims[2] = {timeDim, kinds_[k].dim};
      if (!Check(nc_def_var(ncid_, name, NC_DOUBLE, 2, dims, &l2.column.var)) ||
          !Text(l2.column.var, "long_name", longName) || !Text(l2.column.var, "comment", comment) ||
          !Text(l2.column.var, "units", "m-1") || !WrittenWhole(l2.column.var, &fill) ||
          !Text(l2.column.var, "coordinates", Coordinates(header)) ||
          !Text(l2.column.var, "ancillary_variables", ancillary) || !Chunk(l2.column.var, l2.column.width))
        return false;
      level2_.push_back(std::move(l2));
    }
    return true;
  }

  // A byte flag along time.
  bool DefineFlag(int timeDim, const ExportHeader& header, const char* name, Column& column,
                  const std::vector<signed char>& values, const char* meanings, const char* longName) {
    return Check(nc_def_var(ncid_, name, NC_BYTE, 1, &timeDim, &column.var)) &&
           Check(nc_def_var_fill(ncid_, column.var, NC_NOFILL, nullptr)) && Chunk(column.var, 1) &&
           Text(column.var, "long_name", longName) &&
           Check(nc_put_att_schar(ncid_, column.var, "flag_values", NC_BYTE, values.size(), values.data())) &&
           Text(column.var, "flag_meanings", meanings) && Text(column.var, "coordinates", Coordinates(header));
  }

  // The underway variables (see the top of this file).
  bool DefineUnderway(int timeDim, const ExportHeader& header) {
    const std::string method = OneLine(Level2Attribute(header, "underway_method"));
    const std::string flags = "flow_period dissolved_extrapolated quality_flag";
    if (!DefineSpectra(timeDim, header, "absorption_particulate", false, Corrected::kAp,
                       "particulate absorption coefficient (a_p), corrected for temperature, salinity and scattering",
                       "absorption_ts less the dissolved part, then corrected for scattering with "
                       "attenuation_particulate: " + method, flags.c_str()) ||
        !DefineSpectra(timeDim, header, "attenuation_particulate", true, Corrected::kCp,
                       "particulate beam attenuation coefficient (c_p), corrected for temperature and salinity",
                       "attenuation_ts less the dissolved part: " + method, flags.c_str()) ||
        !DefineSpectra(timeDim, header, "absorption_dissolved", false, Corrected::kAd,
                       "dissolved absorption (0.2 um filtered), interpolated in time between the filtered periods",
                       "see filtered_absorption and the global attribute underway_method", "dissolved_extrapolated") ||
        !DefineSpectra(timeDim, header, "attenuation_dissolved", true, Corrected::kCd,
                       "dissolved attenuation (0.2 um filtered), interpolated in time between the filtered periods",
                       "see filtered_attenuation and the global attribute underway_method", "dissolved_extrapolated"))
      return false;
    if (!DefineFlag(timeDim, header, "flow_period", flowPeriod_, {0, 1, 2, 3}, kFlowPeriodMeanings,
                    "what the water in the meter was: whole water, 0.2 um filtered, flushing after a switch of the "
                    "valve, or not known") ||
        !Text(flowPeriod_.var, "comment",
              Format("the first %g s after each switch of the valve (and after the start of the record) are "
                     "flushing water",
                     header.underway->flushSeconds)) ||
        !DefineFlag(timeDim, header, "dissolved_extrapolated", extrapolated_, {0, 1}, "interpolated extrapolated",
                    "whether the dissolved value is the nearest filtered period's, outside the periods"))
      return false;
    slope_.var = DefineSeries(timeDim, "particulate_slope", "1", "spectral slope gamma of c_p (c_p ~ lambda^-gamma)");
    if (slope_.var < 0 || !Text(slope_.var, "comment", OneLine(Level2Attribute(header, "particulate_slope_method"))))
      return false;
    if (header.processor->hasLineHeight()) {
      particulateHeight_.var = DefineSeries(timeDim, "particulate_line_height", "m-1",
                                            "particulate absorption line height at 676 nm (chlorophyll a)");
      if (particulateHeight_.var < 0) return false;
    }
    if (header.underway->pocCoefficient) {
      poc_.var = DefineSeries(timeDim, "poc", "mg m-3", "particulate organic carbon from c_p");
      if (poc_.var < 0 || !Text(poc_.var, "comment", OneLine(Level2Attribute(header, "poc_method")))) return false;
    }
    for (Column* column : {&slope_, &particulateHeight_, &poc_}) {
      if (column->var >= 0 && !Text(column->var, "coordinates", Coordinates(header))) return false;
    }
    return DefineFilteredPeriods(header);
  }

  // The filtered periods along a dimension of their own, written with the
  // coordinates.
  bool DefineFilteredPeriods(const ExportHeader& header) {
    periods_ = &header.filteredPeriods;
    int dim = -1;
    if (!Check(nc_def_dim(ncid_, "filtered_period", periods_->size(), &dim))) return false;
    const char* names[] = {"filtered_period_start", "filtered_period_end", "filtered_period_time"};
    const char* longNames[] = {"first sample of the filtered period (its flushing included)",
                               "last sample of the filtered period",
                               "median time of the samples the period's spectra are the median of"};
    for (std::size_t k = 0; k < 3; ++k) {
      if (!Check(nc_def_var(ncid_, names[k], NC_INT64, 1, &dim, &periodVars_[k])) ||
          !Text(periodVars_[k], "long_name", longNames[k]) || !Text(periodVars_[k], "units", kTimeUnits) ||
          !Text(periodVars_[k], "calendar", "standard"))
        return false;
    }
    if (!Check(nc_def_var(ncid_, "filtered_period_samples", NC_INT, 1, &dim, &periodVars_[3])) ||
        !Text(periodVars_[3], "long_name", "samples after flushing the period's spectra are the median of"))
      return false;
    for (std::size_t k = 0; k < kinds_.size(); ++k) {
      int dims[2] = {dim, kinds_[k].dim};
      int var = -1;
      const bool c = kinds_[k].attenuation;
      if (!Check(nc_def_var(ncid_, c ? "filtered_attenuation" : "filtered_absorption", NC_DOUBLE, 2, dims, &var)) ||
          !Text(var, "long_name",
                c ? "median attenuation_ts of the filtered period (dissolved)"
                  : "median absorption_ts of the filtered period (dissolved)") ||
          !Text(var, "units", "m-1") || !Text(var, "coordinates", "filtered_period_time"))
        return false;
      periodSpectra_.emplace_back(k, var);
    }
    return true;
  }

  bool WriteFilteredPeriods() {
    if (periods_ == nullptr || periods_->empty()) return true;
    std::vector<long long> start, end, median;
    std::vector<int> samples;
    for (const FilteredSpectrum& p : *periods_) {
      start.push_back(p.startMs);
      end.push_back(p.endMs);
      median.push_back(p.medianMs);
      samples.push_back(static_cast<int>(p.samples));
    }
    bool ok = Check(nc_put_var_longlong(ncid_, periodVars_[0], start.data())) &&
              Check(nc_put_var_longlong(ncid_, periodVars_[1], end.data())) &&
              Check(nc_put_var_longlong(ncid_, periodVars_[2], median.data())) &&
              Check(nc_put_var_int(ncid_, periodVars_[3], samples.data()));
    for (const auto& [k, var] : periodSpectra_) {
      std::vector<double> values;
      for (const FilteredSpectrum& p : *periods_) {
        const std::vector<double>& spectrum = kinds_[k].attenuation ? p.c : p.a;
        for (int index : kinds_[k].traces) values.push_back(ByChannel(spectrum, index));
      }
      ok = ok && Check(nc_put_var_double(ncid_, var, values.data()));
    }
    return ok;
  }

  // The value of trace `index`'s channel in `values` (by channel), the
  // fill value for none.
  double ByChannel(const std::vector<double>& values, int index) const {
    const int channel = index < 0 || static_cast<std::size_t>(index) >= channelOfTrace_.size()
                            ? -1
                            : channelOfTrace_[static_cast<std::size_t>(index)];
    return channel < 0 || static_cast<std::size_t>(channel) >= values.size()
               ? NC_FILL_DOUBLE
               : OrFill(values[static_cast<std::size_t>(channel)]);
  }

  static std::string Level2Attribute(const ExportHeader& header, std::string_view name) {
    for (const ProcessingAttribute& a : header.Level2Attributes()) {
      if (a.name == name) return a.Value();
    }
    return {};
  }

  bool Level2Globals(const ExportHeader& header) {
    for (const ProcessingAttribute& a : header.Level2Attributes()) {
      if (a.number) {
        if (!Check(nc_put_att_double(ncid_, NC_GLOBAL, a.name.c_str(), NC_DOUBLE, 1, &*a.number))) return false;
      } else if (!Global(a.name.c_str(), OneLine(a.text))) {
        return false;
      }
    }
    return true;
  }

  void Level2Row(const CorrectedSample& sample, const ParticulateSample* particulate) {
    static const std::vector<double> kNone;
    for (Level2Column& l2 : level2_) {
      const ParticulateSample* p = particulate;
      const std::vector<double>& values = l2.what == Corrected::kATs   ? sample.aTs
                                          : l2.what == Corrected::kCTs ? sample.cTs
                                          : l2.what == Corrected::kA   ? sample.aCorrected
                                          : p == nullptr               ? kNone
                                          : l2.what == Corrected::kAp  ? p->ap
                                          : l2.what == Corrected::kCp  ? p->cp
                                          : l2.what == Corrected::kAd  ? p->ad
                                                                       : p->cd;
      for (int index : kinds_[l2.kind].traces) l2.column.block.push_back(ByChannel(values, index));
    }
    temperatureUsed_.block.push_back(OrFill(sample.temperature));
    salinityUsed_.block.push_back(OrFill(sample.salinity));
    qualityFlag_.block.push_back(sample.flag);
    if (lineHeight_.var >= 0) lineHeight_.block.push_back(OrFill(sample.lineHeight));
    if (particulate == nullptr) return;
    flowPeriod_.block.push_back(static_cast<double>(particulate->period));
    extrapolated_.block.push_back(particulate->extrapolated ? 1.0 : 0.0);
    slope_.block.push_back(OrFill(particulate->slope));
    if (particulateHeight_.var >= 0) particulateHeight_.block.push_back(OrFill(particulate->lineHeight));
    if (poc_.var >= 0) poc_.block.push_back(OrFill(particulate->poc));
  }

  bool Check(int code) {
    if (code == NC_NOERR) return true;
    return Fail(nc_strerror(code));
  }
  // Gives up a file after a failure: emptied first, which gives the disk
  // back what it took (the file may stay open inside HDF5 until the program
  // ends, see KeepHdf5FromItsExit), then abandoned (nc_abort). The export
  // removes it.
  void Abandon() {
    if (ncid_ < 0) return;
    if (::truncate(path_.c_str(), 0) != 0) {
      // nothing to give back (it may be gone already)
    }
    nc_abort(ncid_);
    ncid_ = -1;
  }
  bool Text(int var, const char* name, const std::string& value) {
    return Check(nc_put_att_text(ncid_, var, name, value.size(), value.c_str()));
  }
  // A global attribute, left out when there is nothing to say.
  bool Global(const char* name, const std::string& value) {
    return value.empty() || Text(NC_GLOBAL, name, value);
  }

  bool DefineTime(int timeDim) {
    if (!Check(nc_def_var(ncid_, "time", NC_INT64, 1, &timeDim, &timeVar_))) return false;
    return Text(timeVar_, "standard_name", "time") &&
           Text(timeVar_, "long_name", binMs_ != 0 ? "centre of the time bin in UTC" : "time of the sample in UTC") &&
           Text(timeVar_, "units", kTimeUnits) && Text(timeVar_, "calendar", "standard") &&
           Text(timeVar_, "axis", "T") && WrittenWhole(timeVar_, nullptr) && Chunk(timeVar_, 1);
  }

  // Time bins: the bins' bounds (CF cell boundaries), the samples in each
  // and, underway, those with particulate values.
  bool DefineBins(int timeDim, const ExportHeader& header) {
    int dims[2] = {timeDim, -1};
    if (!Check(nc_def_dim(ncid_, "nv", 2, &dims[1])) ||
        !Check(nc_def_var(ncid_, "time_bnds", NC_INT64, 2, dims, &boundsVar_)) ||
        !Check(nc_def_var_fill(ncid_, boundsVar_, NC_NOFILL, nullptr)) || !Chunk(boundsVar_, 2) ||
        !Text(timeVar_, "bounds", "time_bnds"))
      return false;
    const auto count = [&](Column& column, const char* name, const std::string& longName) {
      return Check(nc_def_var(ncid_, name, NC_INT, 1, &timeDim, &column.var)) &&
             Check(nc_def_var_fill(ncid_, column.var, NC_NOFILL, nullptr)) && Chunk(column.var, 1) &&
             Text(column.var, "long_name", longName) && Text(column.var, "units", "1") &&
             Text(column.var, "coordinates", Coordinates(header));
    };
    return count(binCount_, "bin_count", "number of samples in the time bin") &&
           (!header.underway ||
            count(particulateCount_, "particulate_count",
                  "number of whole-water samples after flushing in the time bin (those with particulate values)"));
  }

  // Time bins: every variable along time that holds a statistic of the
  // bin's samples says which (CF cell_methods); the flags and counts are
  // of the bin as a whole, the positions the track's at its centre.
  bool CellMethods(int timeDim, const ExportHeader& header) {
    const std::string method = "time: " + std::string(BinStatisticName(header.binStatistic)) +
                               " (interval: " + Format("%g", static_cast<double>(binMs_) / 1000.0) + " s)";
    int count = 0;
    if (!Check(nc_inq_nvars(ncid_, &count))) return false;
    for (int var = 0; var < count; ++var) {
      int dims = 0;
      nc_type type = NC_NAT;
      if (!Check(nc_inq_varndims(ncid_, var, &dims))) return false;
      if (dims == 0) continue;
      std::vector<int> ids(static_cast<std::size_t>(dims));
      if (!Check(nc_inq_vardimid(ncid_, var, ids.data())) || !Check(nc_inq_vartype(ncid_, var, &type))) return false;
      if (ids[0] != timeDim || type != NC_DOUBLE || var == latitude_.var || var == longitude_.var) continue;
      if (!Text(var, "cell_methods", method)) return false;
    }
    return header.processor == nullptr ||
           Text(qualityFlag_.var, "comment", OneLine(Level2Attribute(header, "quality_control")) + "; of a bin: " +
                                                 "good when at least 70 % of its samples are good or not evaluated "
                                                 "(the values are theirs), suspect when fewer, else the worst flag of "
                                                 "its samples");
  }

  // A variable along time in chunks of a block of rows (width values a
  // row), each written whole once (see the top of this file): the cache
  // holds one chunk.
  bool Chunk(int var, std::size_t width) {
    if (rows_ == 0) return true;
    const std::size_t chunks[2] = {std::min(rows_, kBlockRows), width};
    const std::size_t chunkBytes = chunks[0] * width * sizeof(double);  // doubles and int64 times alike
    return Check(nc_def_var_chunking(ncid_, var, NC_CHUNKED, chunks)) &&
           Check(nc_set_var_chunk_cache(ncid_, var, chunkBytes, 1, 1.0f));
  }

  // A variable that every row writes (with `fill`, when given, where a row
  // has no value): not filled before it is written; its _FillValue
  // attribute, `fill`, tells the readers what is missing.
  bool WrittenWhole(int var, const double* fill) {
    return Check(nc_def_var_fill(ncid_, var, NC_NOFILL, nullptr)) &&
           (fill == nullptr || Check(nc_put_att_double(ncid_, var, _FillValue, NC_DOUBLE, 1, fill)));
  }

  int DefineSeries(int timeDim, const char* name, const char* units, const char* longName) {
    int var = -1;
    if (!Check(nc_def_var(ncid_, name, NC_DOUBLE, 1, &timeDim, &var))) return -1;
    const double fill = NC_FILL_DOUBLE;
    if (!Text(var, "units", units) || !Text(var, "long_name", longName) ||
        !WrittenWhole(var, &fill) || !Chunk(var, 1))
      return -1;
    return var;
  }

  // The wavelength coordinate and the (time, wavelength) variable of one
  // kind; nothing for a meter without traces of that kind.
  bool DefineKind(const ExportHeader& header, bool attenuation, int timeDim) {
    Kind kind;
    kind.attenuation = attenuation;
    std::vector<double> wavelengths;
    for (const ExportTrace& trace : header.traces) {
      if (trace.attenuation != attenuation) continue;
      wavelengths.push_back(trace.wavelength);
      kind.traces.push_back(trace.measured ? trace.index : -1);
    }
    if (wavelengths.empty()) return true;
    const char* dimName = attenuation ? "wavelength_c" : "wavelength_a";
    int dims[2] = {timeDim, -1};
    int coord = -1;
    if (!Check(nc_def_dim(ncid_, dimName, wavelengths.size(), &dims[1])) ||
        !Check(nc_def_var(ncid_, dimName, NC_DOUBLE, 1, &dims[1], &coord)) || !((kind.dim = dims[1]) >= 0) ||
        !Text(coord, "standard_name", "radiation_wavelength") || !Text(coord, "units", "nm") ||
        !Text(coord, "long_name", attenuation ? "wavelength of the attenuation (c) channels"
                                               : "wavelength of the absorption (a) channels"))
      return false;
    const char* name = attenuation ? "attenuation" : "absorption";
    Column& column = kind.column;
    column.width = wavelengths.size();
    const double fill = NC_FILL_DOUBLE;
    // The values are relative to the clean-water calibration: pure water's
    // own attenuation and absorption are taken out. The table has a name
    // for such an attenuation; for such an absorption it has none (its
    // volume_absorption_coefficient_of_radiative_flux_in_sea_water counts
    // the water in), so absorption says what it is in words only.
    if (!Check(nc_def_var(ncid_, name, NC_DOUBLE, 2, dims, &column.var)) ||
        (attenuation && !Text(column.var, "standard_name",
                              "volume_beam_attenuation_coefficient_of_radiative_flux_in_sea_water_corrected_for_pure_"
                              "water_attenuance")) ||
        !Text(column.var, "long_name", attenuation ? "beam attenuation coefficient (c) less that of pure water"
                                                   : "absorption coefficient (a) less that of pure water") ||
        !Text(column.var, "comment",
              std::string("relative to the instrument's clean-water calibration: the ") +
                  (attenuation ? "attenuation" : "absorption") +
                  " by everything in the water but the water itself (particles and dissolved matter)") ||
        !Text(column.var, "units", "m-1") || !WrittenWhole(column.var, &fill) ||
        !Text(column.var, "coordinates", Coordinates(header)) ||
        !Chunk(column.var, column.width))
      return false;
    coordinates_.emplace_back(coord, std::move(wavelengths));
    kinds_.push_back(std::move(kind));
    return true;
  }

  // The coordinates every data variable names.
  std::string Coordinates(const ExportHeader& header) const {
    const std::string time = header.hasDepth ? "time depth " : "time ";
    switch (geometry_) {
      case Geometry::kTrajectory: return time + "latitude longitude trajectory";
      case Geometry::kTimeSeries: return time + "station_latitude station_longitude station";
      case Geometry::kNone: break;
    }
    return time + "station";
  }

  // The time series' identity (CF's timeseries_id): the station, else the
  // instrument's serial number. A trajectory's (trajectory_id): the data
  // file's name. Without a geometry the station is a label only.
  bool DefineStation(const ExportHeader& header) {
    if (geometry_ == Geometry::kTrajectory) {
      stationName_ = NameFromPath(header.dataFile);
      return Check(nc_def_var(ncid_, "trajectory", NC_STRING, 0, nullptr, &station_)) &&
             Text(station_, "cf_role", "trajectory_id") && Text(station_, "long_name", "the recording (its data file)");
    }
    if (!Check(nc_def_var(ncid_, "station", NC_STRING, 0, nullptr, &station_))) return false;
    const std::string& named = *header.companion.deployment.Find("station");
    stationName_ = named.empty() ? header.serial : named;
    return (geometry_ != Geometry::kTimeSeries || Text(station_, "cf_role", "timeseries_id")) &&
           Text(station_, "long_name", "station or instrument");
  }

  // The station's position, scalar coordinates of a time series.
  bool DefineStationPosition(const LatLon& station) {
    for (const auto& [var, name, standard, units, value] :
         {std::tuple{&stationLatitude_, "station_latitude", "latitude", "degrees_north", station.latitude},
          std::tuple{&stationLongitude_, "station_longitude", "longitude", "degrees_east", station.longitude}}) {
      if (!Check(nc_def_var(ncid_, name, NC_DOUBLE, 0, nullptr, var)) || !Text(*var, "standard_name", standard) ||
          !Text(*var, "units", units) ||
          !Text(*var, "long_name", std::string(standard) + " of the station, as the deployment gives it"))
        return false;
      stationPosition_[var == &stationLatitude_ ? 0 : 1] = value;
    }
    return true;
  }

  // latitude(time) and longitude(time): the trajectory's coordinates when
  // every sample has a position, else data variables beside the samples.
  bool DefinePositions(int timeDim, const ExportHeader& header) {
    struct Axis {
      Column* column;
      const char* name;
      const char* units;
      const char* longName;
      double limit;
    };
    for (const Axis& axis : {Axis{&latitude_, "latitude", "degrees_north", "latitude of the sample", 90.0},
                             Axis{&longitude_, "longitude", "degrees_east", "longitude of the sample", 180.0}}) {
      const int var = DefineSeries(timeDim, axis.name, axis.units, axis.longName);
      const double range[2] = {-axis.limit, axis.limit};
      if (var < 0 || !Text(var, "standard_name", axis.name) ||
          !Text(var, "comment", "interpolated linearly between the GPS fixes around the sample's time when they are at "
                                "most " + Format("%g", kMaxFixGapSeconds) + " s apart; never extrapolated (the fill "
                                "value where there are none)") ||
          (geometry_ != Geometry::kTrajectory && !Text(var, "coordinates", Coordinates(header))) ||
          !Check(nc_put_att_double(ncid_, var, "valid_min", NC_DOUBLE, 1, &range[0])) ||
          !Check(nc_put_att_double(ncid_, var, "valid_max", NC_DOUBLE, 1, &range[1])))
        return false;
      axis.column->var = var;
    }
    return true;
  }

  // The ship's data the samples have: a variable of time each, CF's
  // standard name and units; the valve's state a byte with its flags.
  bool DefineAncillary(int timeDim, const ExportHeader& header) {
    const std::string comment =
        Format("from %s, interpolated linearly between readings at most %g s apart; never extrapolated (the fill "
               "value where there is no reading close enough)",
               header.ancillaryName.c_str(), kMaxAncillaryGapSeconds);
    for (const QuantityRow& row : Quantities()) {
      const std::size_t q = static_cast<std::size_t>(row.quantity);
      if (!header.Has(row.quantity)) continue;
      const std::string name(row.netcdfName);
      const std::string source = header.ancillary.source[q];
      if (row.quantity != Quantity::kValve) {
        const int var = DefineSeries(timeDim, name.c_str(), std::string(row.netcdfUnits).c_str(),
                                     ("sea water " + std::string(row.name) + " from the ship's data (" + source + ")").c_str());
        if (var < 0 || !Text(var, "standard_name", name) || !Text(var, "comment", OneLine(comment)) ||
            !Text(var, "coordinates", Coordinates(header)) ||
            (row.quantity == Quantity::kTemperature && !Text(var, "units_metadata", "temperature: on_scale")))
          return false;
        ancillary_[q].var = var;
        continue;
      }
      int var = -1;
      const signed char fill = NC_FILL_BYTE;
      const signed char flags[2] = {0, 1};
      const bool scheduled = header.companion.valveSchedule.has_value();
      if (!Check(nc_def_var(ncid_, "valve_state", NC_BYTE, 1, &timeDim, &var)) ||
          !Check(nc_def_var_fill(ncid_, var, NC_FILL, &fill)) || !Chunk(var, 1) ||
          !Text(var, "long_name", "state of the flow-through valve: the water whole (total) or through a 0.2 um "
                                  "filter (filtered)") ||
          !Check(nc_put_att_schar(ncid_, var, "flag_values", NC_BYTE, 2, flags)) ||
          !Text(var, "flag_meanings", "total filtered") ||
          !Text(var, "comment", scheduled ? "from the valve's schedule " + header.companion.valveSchedule->Text() +
                                                " (every, filtered, offset; minutes from the hour)"
                                          : "the state in force at the sample's time, from " + source + " in " +
                                                header.ancillaryName) ||
          !Text(var, "coordinates", Coordinates(header)))
        return false;
      ancillary_[q].var = var;
    }
    return true;
  }

  // The events along a dimension of their own (none: nothing).
  bool DefineEvents(const std::vector<RunEvent>& events) {
    if (events.empty()) return true;
    int dim = -1, time = -1, kind = -1, note = -1;
    if (!Check(nc_def_dim(ncid_, "event", events.size(), &dim)) ||
        !Check(nc_def_var(ncid_, "event_time", NC_INT64, 1, &dim, &time)) ||
        !Text(time, "standard_name", "time") || !Text(time, "long_name", "time of the event in UTC") ||
        !Text(time, "units", kTimeUnits) || !Text(time, "calendar", "standard") ||
        !Check(nc_def_var(ncid_, "event_kind", NC_STRING, 1, &dim, &kind)) ||
        !Text(kind, "long_name", "what the event marks: start, end, cast start, cast end or note") ||
        !Text(kind, "coordinates", "event_time") ||
        !Check(nc_def_var(ncid_, "event_note", NC_STRING, 1, &dim, &note)) ||
        !Text(note, "long_name", "the operator's note (empty when none)") || !Text(note, "coordinates", "event_time"))
      return false;
    std::string summary;
    for (const RunEvent& event : events) {
      eventTimes_.push_back(event.utcMs);
      eventKinds_.push_back(event.kind);
      eventNotes_.push_back(event.note);
      if (!summary.empty()) summary += "\n";
      summary += EventLine(event);
    }
    eventVars_ = {time, kind, note};
    eventSummary_ = std::move(summary);
    return true;
  }

  // What the summary says of where the samples are, and how many have no
  // position of their own.
  std::string PositionsSummary(const ExportHeader& header) const {
    const long without = header.rows - header.positionedRows;
    // "3600 samples", or with time bins "60 bins of 60 s".
    const std::string rows = std::to_string(header.rows) +
                             (header.binMs != 0 ? " bins of " + header.BinText() : std::string(" samples"));
    const std::string noun = header.binMs != 0 ? " bins" : " samples";
    std::string text;
    switch (geometry_) {
      case Geometry::kTrajectory:
        return "as a trajectory of " + rows + "; 0 of " + std::to_string(header.rows) + noun +
               " have no position of their own (every one has its position from the GPS track)";
      case Geometry::kTimeSeries:
        text = "as a time series of " + rows + " at the station (" + PositionText(*header.station) +
               ", as the deployment gives it)";
        break;
      case Geometry::kNone:
        text = "as " + rows + " without a discrete sampling geometry: the deployment gives no station position";
        break;
    }
    text += "; " + std::to_string(without) + " of " + std::to_string(header.rows) + noun +
            " have no position of their own";
    if (positions_)
      text += " (no GPS fix within " + Format("%g", kMaxFixGapSeconds) +
              " s; latitude and longitude hold the fill value there and are data variables, not coordinates)";
    else
      text += header.trackName.empty()         ? " (the run had no position source)"
              : !header.trackProblem.empty() ? " (its track could not be used)"
                                             : " (the track placed none)";
    return text;
  }

  bool Globals(const ExportHeader& header, const ExportOptions& options) {
    const Deployment& meta = header.companion.deployment;
    auto value = [&](std::string_view key) { return OneLine(*meta.Find(key)); };
    // ACDD's lists of names, comma-separated.
    auto names = [&](std::string_view key) {
      std::string list;
      for (const std::string& name : SplitNames(value(key))) list += (list.empty() ? "" : ", ") + name;
      return list;
    };
    const std::int64_t start = header.UtcOf(header.firstStampMs);
    const std::int64_t end = header.UtcOf(header.lastStampMs);
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count();
    const std::string created = IsoUtc(now, false);
    const std::string id = NameFromPath(header.dataFile);
    std::string history = created + " " + (options.invocation.empty() ? ProgramName() + " export" : options.invocation) +
                          ": exported from " + id + "; " + header.timeNote;
    if (header.damaged > 0) history += "; " + std::to_string(header.damaged) + " damaged lines left out";
    if (!header.positionNote.empty()) history += "; " + header.positionNote;
    if (!header.ancillaryNote.empty()) history += "; " + header.ancillaryNote;
    history = OneLine(history);  // the history is read a line an entry
    std::string title = "Absorption and attenuation from " + header.model + " " + header.serial;
    if (!value("cruise").empty()) title += ", cruise " + value("cruise");
    if (!value("station").empty()) title += ", station " + value("station");
    if (!value("cast").empty()) title += ", cast " + value("cast");
    const int binsize = header.binsize;
    const char* featureType = geometry_ == Geometry::kTrajectory   ? "trajectory"
                              : geometry_ == Geometry::kTimeSeries ? "timeSeries"
                                                                   : "";
    const char* cdmType = geometry_ == Geometry::kTrajectory   ? "Trajectory"
                          : geometry_ == Geometry::kTimeSeries ? "Station"
                                                               : "";
    return Global("title", OneLine(title)) &&
           Global("summary", OneLine("In-water spectral absorption (a) and beam attenuation (c) coefficients, less "
                                     "those of pure water, recorded by " + header.model + " (serial number " +
                                     header.serial + ") " + PositionsSummary(header) + ", from the data file " + id +
                                     ".")) &&
           Global("keywords", "ocean optics, absorption coefficient, beam attenuation coefficient, inherent optical "
                              "properties, spectral absorption, sea water") &&
           Global("Conventions", "CF-1.11, ACDD-1.3") && Global("featureType", featureType) &&
           Global("cdm_data_type", cdmType) && Geospatial(header) &&
           Global("standard_name_vocabulary", kStandardNameTable) &&
           Global("id", id) && Global("date_created", created) && Global("history", history) &&
           Global("source", ProgramName()) && Global("instrument", header.model) &&
           Global("instrument_model", header.model) && Global("instrument_serial_number", header.serial) &&
           Global("device_configuration", header.configText) &&
           Check(nc_put_att_int(ncid_, NC_GLOBAL, "bin_size", NC_INT, 1, &binsize)) &&
           Global("time_coverage_start", IsoUtc(start)) && Global("time_coverage_end", IsoUtc(end)) &&
           Global("time_coverage_duration", IsoDuration(end - start)) &&
           (binMs_ == 0 || Global("time_coverage_resolution", IsoDuration(binMs_))) &&
           Global("creator_name", names("investigators")) && Global("creator_institution", names("affiliation")) &&
           Global("institution", names("affiliation")) && Global("creator_email", value("contact")) &&
           Global("project", value("experiment")) && Global("cruise", value("cruise")) &&
           Global("station", value("station")) && Global("cast", value("cast")) &&
           Global("comment", *meta.Find("note")) && Global("position_source", OneLine(header.companion.positionSource)) &&
           Global("events", eventSummary_);
  }

  // ACDD's bounds of the positions exported (the samples', else the
  // station's).
  bool Geospatial(const ExportHeader& header) {
    if (!positions_ && geometry_ != Geometry::kTimeSeries) return true;
    const GeoBounds& b = header.bounds;
    const std::pair<const char*, double> bounds[] = {{"geospatial_lat_min", b.south}, {"geospatial_lat_max", b.north},
                                                     {"geospatial_lon_min", b.west}, {"geospatial_lon_max", b.east}};
    for (const auto& [name, value] : bounds) {
      if (!Check(nc_put_att_double(ncid_, NC_GLOBAL, name, NC_DOUBLE, 1, &value))) return false;
    }
    return Global("geospatial_lat_units", "degrees_north") && Global("geospatial_lon_units", "degrees_east");
  }

  bool WriteCoordinates() {
    for (const auto& [var, wavelengths] : coordinates_) {
      if (!Check(nc_put_var_double(ncid_, var, wavelengths.data()))) return false;
    }
    const char* name = stationName_.c_str();
    if (!Check(nc_put_var_string(ncid_, station_, &name))) return false;
    if (stationLatitude_ >= 0 && (!Check(nc_put_var_double(ncid_, stationLatitude_, &stationPosition_[0])) ||
                                  !Check(nc_put_var_double(ncid_, stationLongitude_, &stationPosition_[1]))))
      return false;
    if (eventTimes_.empty()) return true;
    std::vector<const char*> kinds, notes;
    for (std::size_t k = 0; k < eventTimes_.size(); ++k) {
      kinds.push_back(eventKinds_[k].c_str());
      notes.push_back(eventNotes_[k].c_str());
    }
    return Check(nc_put_var_longlong(ncid_, eventVars_[0], eventTimes_.data())) &&
           Check(nc_put_var_string(ncid_, eventVars_[1], kinds.data())) &&
           Check(nc_put_var_string(ncid_, eventVars_[2], notes.data()));
  }

  bool PutBlock(Column& column, std::size_t count) {
    if (column.var < 0 || count == 0) return true;
    const std::size_t start[2] = {written_, 0};
    const std::size_t counts[2] = {count, column.width};
    const bool ok = Check(nc_put_vara_double(ncid_, column.var, start, counts, column.block.data()));
    column.block.clear();
    return ok;
  }

  bool Flush() {
    const std::size_t count = timeBlock_.size();
    if (written_ + count > rows_) return Fail("more rows than samples");
    const std::size_t start = written_;
    bool ok = count == 0 || Check(nc_put_vara_longlong(ncid_, timeVar_, &start, &count, timeBlock_.data()));
    timeBlock_.clear();
    if (boundsVar_ >= 0 && count > 0) {
      const std::size_t starts[2] = {start, 0}, counts[2] = {count, 2};
      ok = ok && Check(nc_put_vara_longlong(ncid_, boundsVar_, starts, counts, boundsBlock_.data()));
      boundsBlock_.clear();
      for (Column* column : {&binCount_, &particulateCount_}) {
        if (column->var < 0) continue;
        std::vector<int> counts32(column->block.begin(), column->block.end());
        ok = ok && Check(nc_put_vara_int(ncid_, column->var, &start, &count, counts32.data()));
        column->block.clear();
      }
    }
    ok = ok && PutBlock(depth_, count) && PutBlock(temperature_, count) &&
              PutBlock(extTemperature_, count) && PutBlock(latitude_, count) && PutBlock(longitude_, count);
    for (Kind& kind : kinds_) ok = ok && PutBlock(kind.column, count);
    for (Column& column : ancillary_) ok = ok && PutBlock(column, count);
    for (Level2Column& l2 : level2_) ok = ok && PutBlock(l2.column, count);
    for (Column* column : {&temperatureUsed_, &salinityUsed_, &qualityFlag_, &lineHeight_, &flowPeriod_,
                           &extrapolated_, &slope_, &particulateHeight_, &poc_})
      ok = ok && PutBlock(*column, count);
    written_ += count;
    return ok;
  }

  std::string path_;
  int ncid_ = -1;
  std::size_t rows_ = 0;
  std::size_t written_ = 0;
  int timeVar_ = -1;
  std::vector<long long> timeBlock_;  // UTC milliseconds of this block's rows
  // Time bins (0: a row per sample): their width, bounds and counts.
  std::int64_t binMs_ = 0;
  int boundsVar_ = -1;
  std::vector<long long> boundsBlock_;
  Column binCount_, particulateCount_;
  Column depth_, temperature_, extTemperature_, latitude_, longitude_;
  std::array<Column, kQuantityCount> ancillary_;  // by Quantity; var -1 for those not written
  bool positions_ = false;  // some samples have positions: latitude(time), longitude(time)
  Geometry geometry_ = Geometry::kNone;
  int stationLatitude_ = -1, stationLongitude_ = -1;
  std::array<double, 2> stationPosition_{};
  std::vector<long long> eventTimes_;
  std::vector<std::string> eventKinds_, eventNotes_;
  std::array<int, 3> eventVars_{-1, -1, -1};  // event_time, event_kind, event_note
  std::string eventSummary_;                  // one event a line, for the global "events"
  std::vector<Kind> kinds_;
  std::vector<Level2Column> level2_;
  // Underway: each sample's flow period and the rest along time, and the
  // filtered periods (their variables: start, end, time, samples; and the
  // median spectra by kind).
  Column flowPeriod_, extrapolated_, slope_, particulateHeight_, poc_;
  const std::vector<FilteredSpectrum>* periods_ = nullptr;
  int periodVars_[4] = {-1, -1, -1, -1};
  std::vector<std::pair<std::size_t, int>> periodSpectra_;
  Column temperatureUsed_, salinityUsed_, qualityFlag_, lineHeight_;
  std::vector<int> channelOfTrace_;
  std::vector<std::pair<int, std::vector<double>>> coordinates_;
  int station_ = -1;
  std::string stationName_;
};

// The profiles of a recording (WriteProfilesNetCdf): CF's orthogonal
// multidimensional representation of profiles (CF chapter 9, H.3.1), every
// profile on the same grid of depth bins: a profile dimension (time,
// latitude, longitude, the cast and its part along it), depth (the bins'
// centres, positive down, with their bounds), and each binned variable
// (profile, depth[, wavelength]) with its standard deviation beside it
// (NAME_sd), the count of samples of each bin (bincount) and its flag.
class ProfileNetCdf {
 public:
  explicit ProfileNetCdf(const ProfileOutput& out) : out_(out) {}
  ~ProfileNetCdf() {
    if (id_ >= 0) nc_abort(id_);
  }

  bool Write(const std::string& path) {
    KeepHdf5FromItsExit();
    if (!Check(nc_create(path.c_str(), NC_NOCLOBBER | NC_NETCDF4, &id_))) return false;
    const ExportHeader& header = *out_.header;
    const std::size_t profiles = out_.profiles.size(), depths = out_.Depths();
    const ProcessorChannels& ch = header.processor->channels();
    int profileDim = -1, depthDim = -1, nvDim = -1, aDim = -1, cDim = -1;
    if (!Check(nc_def_dim(id_, "profile", profiles, &profileDim)) || !Check(nc_def_dim(id_, "depth", depths, &depthDim)) ||
        !Check(nc_def_dim(id_, "nv", 2, &nvDim)))
      return false;
    const bool positions = std::any_of(out_.profiles.begin(), out_.profiles.end(),
                                       [](const BinnedProfile& p) { return p.position.has_value(); });
    const std::string coordinates = positions ? "time latitude longitude depth" : "time depth";
    // The profile's identity, time, position, cast.
    int profileVar = -1, timeVar = -1, endVar = -1, latVar = -1, lonVar = -1, castVar = -1, partVar = -1;
    if (!Check(nc_def_var(id_, "profile", NC_INT, 1, &profileDim, &profileVar)) ||
        !Text(profileVar, "cf_role", "profile_id") || !Text(profileVar, "long_name", "profile number") ||
        !Check(nc_def_var(id_, "time", NC_INT64, 1, &profileDim, &timeVar)) || !Text(timeVar, "standard_name", "time") ||
        !Text(timeVar, "long_name", "time of the profile's first sample in UTC") ||
        !Text(timeVar, "units", kTimeUnits) || !Text(timeVar, "calendar", "standard") || !Text(timeVar, "axis", "T") ||
        !Check(nc_def_var(id_, "time_end", NC_INT64, 1, &profileDim, &endVar)) ||
        !Text(endVar, "long_name", "time of the profile's last sample in UTC") || !Text(endVar, "units", kTimeUnits) ||
        !Text(endVar, "calendar", "standard") ||
        !Check(nc_def_var(id_, "cast", NC_INT, 1, &profileDim, &castVar)) ||
        !Text(castVar, "long_name", "number of the cast in the recording (see cast_start_time ...)") ||
        !Check(nc_def_var(id_, "cast_direction", NC_STRING, 1, &profileDim, &partVar)) ||
        !Text(partVar, "long_name", "the part of the cast: down (the descent) or up (the ascent)"))
      return false;
    if (positions) {
      for (auto [var, name, units] : {std::tuple{&latVar, "latitude", "degrees_north"},
                                      std::tuple{&lonVar, "longitude", "degrees_east"}}) {
        const double fill = NC_FILL_DOUBLE;
        if (!Check(nc_def_var(id_, name, NC_DOUBLE, 1, &profileDim, var)) || !Text(*var, "standard_name", name) ||
            !Text(*var, "units", units) ||
            !Text(*var, "long_name", std::string(name) + " at the profile's first sample (the GPS track's, else the station's)") ||
            !Check(nc_put_att_double(id_, *var, _FillValue, NC_DOUBLE, 1, &fill)))
          return false;
      }
    }
    // The casts themselves, a row per profile.
    int castStart = -1, castBottom = -1, castEnd = -1, castDepth = -1;
    for (auto [var, name, longName] :
         {std::tuple{&castStart, "cast_start_time", "first sample of the cast"},
          std::tuple{&castBottom, "cast_bottom_time", "the cast's deepest sample (smoothed depth): the end of the down-cast"},
          std::tuple{&castEnd, "cast_end_time", "last sample of the cast"}}) {
      if (!Check(nc_def_var(id_, name, NC_INT64, 1, &profileDim, var)) || !Text(*var, "long_name", longName) ||
          !Text(*var, "units", kTimeUnits) || !Text(*var, "calendar", "standard"))
        return false;
    }
    if (!Check(nc_def_var(id_, "cast_max_depth", NC_DOUBLE, 1, &profileDim, &castDepth)) ||
        !Text(castDepth, "long_name", "deepest smoothed depth of the cast") || !Text(castDepth, "units", "m"))
      return false;
    // The depth bins.
    int depthVar = -1, boundsVar = -1;
    int boundDims[2] = {depthDim, nvDim};
    if (!Check(nc_def_var(id_, "depth", NC_DOUBLE, 1, &depthDim, &depthVar)) ||
        !Text(depthVar, "standard_name", "depth") || !Text(depthVar, "units", "m") ||
        !Text(depthVar, "positive", "down") || !Text(depthVar, "axis", "Z") ||
        !Text(depthVar, "long_name", "centre of the depth bin") || !Text(depthVar, "bounds", "depth_bnds") ||
        !Check(nc_def_var(id_, "depth_bnds", NC_DOUBLE, 2, boundDims, &boundsVar)))
      return false;
    // The wavelengths.
    int aVar = -1, cVar = -1;
    for (auto [dim, var, name, list] : {std::tuple{&aDim, &aVar, "wavelength_a", &ch.aWavelength},
                                        std::tuple{&cDim, &cVar, "wavelength_c", &ch.cWavelength}}) {
      if (list->empty()) continue;
      if (!Check(nc_def_dim(id_, name, list->size(), dim)) || !Check(nc_def_var(id_, name, NC_DOUBLE, 1, dim, var)) ||
          !Text(*var, "standard_name", "radiation_wavelength") || !Text(*var, "units", "nm"))
        return false;
    }
    // The binned variables and their spread, a group at a time.
    const std::string interval = Format("%g m", out_.settings.binSize);
    const std::string statistic(BinStatisticName(out_.settings.statistic));
    std::vector<Group> groups;
    for (std::size_t k = 0; k < out_.columns.size(); ++k) {
      const ProfileGroup g = out_.columns[k].group;
      if (groups.empty() || groups.back().group != g) groups.push_back({g, k, 0, -1, -1});
      ++groups.back().width;
    }
    for (Group& g : groups) {
      const ProfileGroupNames& names = NamesOf(g.group);
      const bool spectral = out_.columns[g.first].wavelength > 0.0;
      const bool attenuation = g.group == ProfileGroup::kAttenuation || g.group == ProfileGroup::kAttenuationTs;
      int dims[3] = {profileDim, depthDim, attenuation ? cDim : aDim};
      const double fill = NC_FILL_DOUBLE;
      for (bool sd : {false, true}) {
        int& var = sd ? g.sdVar : g.var;
        const std::string name = std::string(names.netcdf) + (sd ? "_sd" : "");
        if (!Check(nc_def_var(id_, name.c_str(), NC_DOUBLE, spectral ? 3 : 2, dims, &var)) ||
            !Text(var, "long_name", std::string(sd ? "standard deviation of the " : "") + names.longName) ||
            !Text(var, "units", names.units) || !Check(nc_put_att_double(id_, var, _FillValue, NC_DOUBLE, 1, &fill)) ||
            !Text(var, "coordinates", coordinates) ||
            !Text(var, "cell_methods", "depth: " + (sd ? std::string("standard_deviation") : statistic) +
                                           " (interval: " + interval + ")") ||
            !Text(var, "ancillary_variables", "bincount bin_flag"))
          return false;
      }
    }
    int countVar = -1, samplesVar = -1, flagVar = -1;
    int binDims[2] = {profileDim, depthDim};
    std::vector<signed char> flags;
    for (int flag : kFlagValues) flags.push_back(static_cast<signed char>(flag));
    if (!Check(nc_def_var(id_, "bincount", NC_INT, 2, binDims, &countVar)) ||
        !Text(countVar, "long_name", "number of samples each bin's statistics are of (flagged good or not evaluated)") ||
        !Text(countVar, "units", "1") || !Text(countVar, "coordinates", coordinates) ||
        !Check(nc_def_var(id_, "bin_samples", NC_INT, 2, binDims, &samplesVar)) ||
        !Text(samplesVar, "long_name", "number of samples in the bin, whatever their flags") ||
        !Text(samplesVar, "units", "1") || !Text(samplesVar, "coordinates", coordinates) ||
        !Check(nc_def_var(id_, "bin_flag", NC_BYTE, 2, binDims, &flagVar)) ||
        !Text(flagVar, "long_name", "quality of the bin (IODE scheme): good, missing (too few samples) or bad "
                                    "(too many flagged samples)") ||
        !Text(flagVar, "standard_name", "quality_flag") ||
        !Check(nc_put_att_schar(id_, flagVar, "flag_values", NC_BYTE, flags.size(), flags.data())) ||
        !Text(flagVar, "flag_meanings", kFlagMeanings) || !Text(flagVar, "coordinates", coordinates))
      return false;
    if (!Globals()) return false;
    if (!Check(nc_enddef(id_))) return false;

    // The values.
    std::vector<int> numbers, casts;
    std::vector<long long> times, ends, starts, bottoms, castEnds;
    std::vector<double> latitudes, longitudes, maxDepths;
    std::vector<const char*> parts;
    for (std::size_t p = 0; p < profiles; ++p) {
      const BinnedProfile& profile = out_.profiles[p];
      const Cast& cast = CastOf(profile.cast);
      numbers.push_back(static_cast<int>(p) + 1);
      casts.push_back(profile.cast);
      times.push_back(profile.startMs);
      ends.push_back(profile.endMs);
      starts.push_back(cast.startMs);
      bottoms.push_back(cast.bottomMs);
      castEnds.push_back(cast.endMs);
      maxDepths.push_back(cast.maxDepth);
      latitudes.push_back(profile.position ? profile.position->latitude : NC_FILL_DOUBLE);
      longitudes.push_back(profile.position ? profile.position->longitude : NC_FILL_DOUBLE);
      parts.push_back(profile.part == CastPart::kUp ? "up" : "down");
    }
    std::vector<double> centres, bounds;
    for (std::size_t k = 0; k < depths; ++k) {
      centres.push_back((static_cast<double>(k) + 0.5) * out_.settings.binSize);
      bounds.push_back(static_cast<double>(k) * out_.settings.binSize);
      bounds.push_back(static_cast<double>(k + 1) * out_.settings.binSize);
    }
    bool ok = profiles == 0 ||
              (Check(nc_put_var_int(id_, profileVar, numbers.data())) && Check(nc_put_var_int(id_, castVar, casts.data())) &&
               Check(nc_put_var_longlong(id_, timeVar, times.data())) &&
               Check(nc_put_var_longlong(id_, endVar, ends.data())) &&
               Check(nc_put_var_longlong(id_, castStart, starts.data())) &&
               Check(nc_put_var_longlong(id_, castBottom, bottoms.data())) &&
               Check(nc_put_var_longlong(id_, castEnd, castEnds.data())) &&
               Check(nc_put_var_double(id_, castDepth, maxDepths.data())) &&
               Check(nc_put_var_string(id_, partVar, parts.data())));
    if (ok && positions)
      ok = Check(nc_put_var_double(id_, latVar, latitudes.data())) && Check(nc_put_var_double(id_, lonVar, longitudes.data()));
    if (ok && depths > 0)
      ok = Check(nc_put_var_double(id_, depthVar, centres.data())) && Check(nc_put_var_double(id_, boundsVar, bounds.data()));
    if (ok && aVar >= 0) ok = Check(nc_put_var_double(id_, aVar, ch.aWavelength.data()));
    if (ok && cVar >= 0) ok = Check(nc_put_var_double(id_, cVar, ch.cWavelength.data()));
    for (const Group& g : groups) {
      for (bool sd : {false, true}) {
        std::vector<double> values;
        values.reserve(profiles * depths * g.width);
        for (const BinnedProfile& profile : out_.profiles) {
          for (std::size_t k = 0; k < depths; ++k) {
            for (std::size_t w = 0; w < g.width; ++w) {
              double v = NC_FILL_DOUBLE;
              if (k < profile.bins.size() && !profile.bins[k].values.empty()) {
                const BinSummary& summary = profile.bins[k].values[g.first + w];
                v = sd ? summary.sd : summary.value;
                if (!std::isfinite(v)) v = NC_FILL_DOUBLE;
              }
              values.push_back(v);
            }
          }
        }
        if (ok && !values.empty()) ok = Check(nc_put_var_double(id_, sd ? g.sdVar : g.var, values.data()));
      }
    }
    std::vector<int> counts, samples;
    std::vector<signed char> binFlags;
    for (const BinnedProfile& profile : out_.profiles) {
      for (std::size_t k = 0; k < depths; ++k) {
        const bool has = k < profile.bins.size();
        counts.push_back(has ? static_cast<int>(profile.bins[k].usable) : 0);
        samples.push_back(has ? static_cast<int>(profile.bins[k].samples) : 0);
        binFlags.push_back(static_cast<signed char>(has ? profile.bins[k].flag : kFlagMissing));
      }
    }
    if (ok && !counts.empty())
      ok = Check(nc_put_var_int(id_, countVar, counts.data())) && Check(nc_put_var_int(id_, samplesVar, samples.data())) &&
           Check(nc_put_var_schar(id_, flagVar, binFlags.data()));
    ok = ok && Check(nc_sync(id_));
    if (!ok) return false;
    const int id = id_;
    id_ = -1;
    return Check(nc_close(id));
  }

  const std::string& error() const { return error_; }

 private:
  struct Group {
    ProfileGroup group;
    std::size_t first = 0, width = 0;
    int var = -1, sdVar = -1;
  };

  const Cast& CastOf(int number) const {
    for (const Cast& c : out_.casts)
      if (c.number == number) return c;
    return out_.casts.front();
  }

  bool Globals() {
    const ExportHeader& header = *out_.header;
    const Deployment& meta = header.companion.deployment;
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count();
    const std::string id = NameFromPath(header.dataFile);
    std::string history = IsoUtc(now, false) + " " +
                          (out_.options->invocation.empty() ? ProgramName() + " profile" : out_.options->invocation) +
                          ": profiles of " + id + "; " + header.timeNote;
    if (!header.positionNote.empty()) history += "; " + header.positionNote;
    if (!header.ancillaryNote.empty()) history += "; " + header.ancillaryNote;
    std::string title = "Profiles of absorption and attenuation from " + header.model + " " + header.serial;
    if (!meta.Find("cruise")->empty()) title += ", cruise " + *meta.Find("cruise");
    if (!meta.Find("station")->empty()) title += ", station " + *meta.Find("station");
    std::int64_t first = 0, last = 0;
    if (!out_.profiles.empty()) {
      first = out_.profiles.front().startMs;
      last = out_.profiles.back().endMs;
    }
    const std::pair<const char*, std::string> texts[] = {
        {"title", OneLine(title)},
        {"summary", OneLine(Format("%zu profiles of %zu casts of ", out_.profiles.size(), out_.casts.size()) +
                            header.model + " (serial number " + header.serial + "), binned by depth in bins of " +
                            Format("%g m", out_.settings.binSize) + ", from the data file " + id + ".")},
        {"keywords", "ocean optics, absorption coefficient, beam attenuation coefficient, profile, depth-binned"},
        {"Conventions", "CF-1.11, ACDD-1.3"},
        {"featureType", "profile"},
        {"cdm_data_type", "Profile"},
        {"standard_name_vocabulary", kStandardNameTable},
        {"id", id},
        {"history", OneLine(history)},
        {"source", ProgramName()},
        {"instrument", header.model},
        {"instrument_serial_number", header.serial},
        {"time_coverage_start", IsoUtc(first)},
        {"time_coverage_end", IsoUtc(last)},
        {"geospatial_vertical_positive", "down"},
        {"geospatial_vertical_units", "m"},
        {"cruise", OneLine(*meta.Find("cruise"))},
        {"station", OneLine(*meta.Find("station"))},
        {"creator_name", OneLine(*meta.Find("investigators"))},
        {"institution", OneLine(*meta.Find("affiliation"))},
    };
    for (const auto& [name, value] : texts) {
      if (!value.empty() && !Text(NC_GLOBAL, name, value)) return false;
    }
    for (const ProcessingAttribute& a : out_.Attributes()) {
      if (a.number) {
        if (!Check(nc_put_att_double(id_, NC_GLOBAL, a.name.c_str(), NC_DOUBLE, 1, &*a.number))) return false;
      } else if (!a.text.empty() && !Text(NC_GLOBAL, a.name.c_str(), OneLine(a.text))) {
        return false;
      }
    }
    return true;
  }

  bool Check(int code) {
    if (code == NC_NOERR) return true;
    if (error_.empty()) error_ = nc_strerror(code);
    return false;
  }
  bool Text(int var, const char* name, const std::string& value) {
    return Check(nc_put_att_text(id_, var, name, value.size(), value.c_str()));
  }

  const ProfileOutput& out_;
  int id_ = -1;
  std::string error_;
};

}  // namespace

std::unique_ptr<ExportWriter> NewNetCdfWriter(const std::string& path) {
  return std::make_unique<NetCdfWriter>(path);
}

bool WriteProfilesNetCdf(const std::string& path, const ProfileOutput& out, std::string& error) {
  ProfileNetCdf file(out);
  if (file.Write(path)) return true;
  error = file.error();
  return false;
}

}  // namespace sondrix
