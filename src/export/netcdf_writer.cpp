// The NetCDF-4 export, through the NetCDF C library: a CF time series
// (CF-1.11) with ACDD-1.3 discovery attributes. Attenuation and absorption
// are (time, wavelength) variables over a wavelength coordinate of their
// own; a wavelength a spaced run did not measure holds the fill value. Rows
// gather in blocks and go to the file a block at a time.
//
// A run whose samples have positions is a CF trajectory instead (one, named
// by a scalar trajectory_id): latitude and longitude along time (the fill
// value where a sample has none) are auxiliary coordinates of every data
// variable, and ACDD's geospatial bounds give their extent. The run's events
// lie along a dimension of their own: event_time, event_kind, event_note.
#include <netcdf.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/utils.h"
#include "datafile/data_file.h"
#include "export/export_writer.h"

namespace sondrix {
namespace {

constexpr std::size_t kBlockRows = 8192;

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

class NetCdfWriter final : public ExportWriter {
 public:
  explicit NetCdfWriter(std::string path) : path_(std::move(path)) {}
  ~NetCdfWriter() override {
    if (ncid_ >= 0) nc_close(ncid_);
  }

  bool Begin(const ExportHeader& header, const ExportOptions& options) override {
    if (!Check(nc_create(path_.c_str(), NC_NOCLOBBER | NC_NETCDF4, &ncid_))) {
      ncid_ = -1;
      return false;
    }
    rows_ = static_cast<std::size_t>(header.samples);
    trajectory_ = header.positioned > 0;
    int timeDim = -1;
    if (!Check(nc_def_dim(ncid_, "time", rows_, &timeDim))) return false;
    if (!DefineTime(timeDim)) return false;
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
      if (column->var < 0 || !Text(column->var, "units_metadata", "temperature: on_scale")) return false;
      if (trajectory_ && !Text(column->var, "coordinates", Coordinates(header))) return false;
    }
    if (trajectory_ && !DefinePositions(timeDim)) return false;
    if (!DefineEvents(header.companion.events)) return false;
    if (!DefineStation(header) || !Globals(header, options)) return false;
    if (!Check(nc_enddef(ncid_))) return false;
    return WriteCoordinates();
  }

  bool Row(const ExportRow& row) override {
    time_.block.push_back(static_cast<double>(row.utcMs) / 1000.0);
    for (Kind& kind : kinds_) {
      for (int index : kind.traces) {
        kind.column.block.push_back(index < 0 ? NC_FILL_DOUBLE : (*row.values)[static_cast<std::size_t>(index)]);
      }
    }
    if (depth_.var >= 0) depth_.block.push_back(row.depth);
    if (trajectory_) {
      latitude_.block.push_back(row.position ? row.position->latitude : NC_FILL_DOUBLE);
      longitude_.block.push_back(row.position ? row.position->longitude : NC_FILL_DOUBLE);
    }
    temperature_.block.push_back(row.temperature);
    extTemperature_.block.push_back(row.extTemperature);
    return time_.block.size() < kBlockRows || Flush();
  }

  bool End() override {
    if (ncid_ < 0) return false;
    bool ok = error().empty() && Flush();
    if (ok && written_ != rows_) ok = Fail("fewer rows than samples");
    ok = Check(nc_close(ncid_)) && ok;
    ncid_ = -1;
    return ok;
  }

 private:
  struct Kind {
    Column column;
    std::vector<int> traces;  // the trace of each wavelength, -1 for none measured
  };

  bool Check(int code) {
    if (code == NC_NOERR) return true;
    return Fail(nc_strerror(code));
  }
  bool Text(int var, const char* name, const std::string& value) {
    return Check(nc_put_att_text(ncid_, var, name, value.size(), value.c_str()));
  }
  // A global attribute, left out when there is nothing to say.
  bool Global(const char* name, const std::string& value) {
    return value.empty() || Text(NC_GLOBAL, name, value);
  }

  bool DefineTime(int timeDim) {
    time_.width = 1;
    if (!Check(nc_def_var(ncid_, "time", NC_DOUBLE, 1, &timeDim, &time_.var))) return false;
    return Text(time_.var, "standard_name", "time") && Text(time_.var, "long_name", "time of the sample in UTC") &&
           Text(time_.var, "units", "seconds since 1970-01-01T00:00:00Z") &&
           Text(time_.var, "calendar", "standard") && Text(time_.var, "axis", "T") && Chunk(time_.var, 1);
  }

  bool Chunk(int var, std::size_t width) {
    if (rows_ == 0) return true;
    const std::size_t chunks[2] = {std::min(rows_, kBlockRows), width};
    return Check(nc_def_var_chunking(ncid_, var, NC_CHUNKED, chunks));
  }

  int DefineSeries(int timeDim, const char* name, const char* units, const char* longName) {
    int var = -1;
    if (!Check(nc_def_var(ncid_, name, NC_DOUBLE, 1, &timeDim, &var))) return -1;
    const double fill = NC_FILL_DOUBLE;
    if (!Text(var, "units", units) || !Text(var, "long_name", longName) ||
        !Check(nc_def_var_fill(ncid_, var, NC_FILL, &fill)) || !Chunk(var, 1))
      return -1;
    return var;
  }

  // The wavelength coordinate and the (time, wavelength) variable of one
  // kind; nothing for a meter without traces of that kind.
  bool DefineKind(const ExportHeader& header, bool attenuation, int timeDim) {
    Kind kind;
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
        !Check(nc_def_var(ncid_, dimName, NC_DOUBLE, 1, &dims[1], &coord)) ||
        !Text(coord, "standard_name", "radiation_wavelength") || !Text(coord, "units", "nm") ||
        !Text(coord, "long_name", attenuation ? "wavelength of the attenuation (c) channels"
                                               : "wavelength of the absorption (a) channels"))
      return false;
    const char* name = attenuation ? "attenuation" : "absorption";
    Column& column = kind.column;
    column.width = wavelengths.size();
    const double fill = NC_FILL_DOUBLE;
    if (!Check(nc_def_var(ncid_, name, NC_DOUBLE, 2, dims, &column.var)) ||
        !Text(column.var, "standard_name", attenuation ? "volume_beam_attenuation_coefficient_of_radiative_flux_in_sea_water"
                                                       : "volume_absorption_coefficient_of_radiative_flux_in_sea_water") ||
        !Text(column.var, "long_name", attenuation ? "beam attenuation coefficient (c)" : "absorption coefficient (a)") ||
        !Text(column.var, "units", "m-1") || !Check(nc_def_var_fill(ncid_, column.var, NC_FILL, &fill)) ||
        !Text(column.var, "coordinates", Coordinates(header)) ||
        !Chunk(column.var, column.width))
      return false;
    coordinates_.emplace_back(coord, std::move(wavelengths));
    kinds_.push_back(std::move(kind));
    return true;
  }

  // The auxiliary coordinates of a data variable.
  std::string Coordinates(const ExportHeader& header) const {
    if (trajectory_) return header.hasDepth ? "time depth latitude longitude trajectory" : "time latitude longitude trajectory";
    return header.hasDepth ? "time depth station" : "time station";
  }

  // The time series' identity (CF's timeseries_id): the station, else the
  // instrument's serial number. A trajectory's (trajectory_id): the data
  // file's name.
  bool DefineStation(const ExportHeader& header) {
    if (trajectory_) {
      stationName_ = NameFromPath(header.dataFile);
      return Check(nc_def_var(ncid_, "trajectory", NC_STRING, 0, nullptr, &station_)) &&
             Text(station_, "cf_role", "trajectory_id") && Text(station_, "long_name", "the recording (its data file)");
    }
    if (!Check(nc_def_var(ncid_, "station", NC_STRING, 0, nullptr, &station_))) return false;
    const std::string& named = *header.companion.deployment.Find("station");
    stationName_ = named.empty() ? header.serial : named;
    return Text(station_, "cf_role", "timeseries_id") && Text(station_, "long_name", "station or instrument");
  }

  // latitude(time) and longitude(time).
  bool DefinePositions(int timeDim) {
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
          !Check(nc_put_att_double(ncid_, var, "valid_min", NC_DOUBLE, 1, &range[0])) ||
          !Check(nc_put_att_double(ncid_, var, "valid_max", NC_DOUBLE, 1, &range[1])))
        return false;
      axis.column->var = var;
    }
    return true;
  }

  // The events along a dimension of their own (none: nothing).
  bool DefineEvents(const std::vector<RunEvent>& events) {
    if (events.empty()) return true;
    int dim = -1, time = -1, kind = -1, note = -1;
    if (!Check(nc_def_dim(ncid_, "event", events.size(), &dim)) ||
        !Check(nc_def_var(ncid_, "event_time", NC_DOUBLE, 1, &dim, &time)) ||
        !Text(time, "standard_name", "time") || !Text(time, "long_name", "time of the event in UTC") ||
        !Text(time, "units", "seconds since 1970-01-01T00:00:00Z") || !Text(time, "calendar", "standard") ||
        !Check(nc_def_var(ncid_, "event_kind", NC_STRING, 1, &dim, &kind)) ||
        !Text(kind, "long_name", "what the event marks: start, end, cast start, cast end or note") ||
        !Text(kind, "coordinates", "event_time") ||
        !Check(nc_def_var(ncid_, "event_note", NC_STRING, 1, &dim, &note)) ||
        !Text(note, "long_name", "the operator's note (empty when none)") || !Text(note, "coordinates", "event_time"))
      return false;
    std::string summary;
    for (const RunEvent& event : events) {
      eventTimes_.push_back(static_cast<double>(event.utcMs) / 1000.0);
      eventKinds_.push_back(event.kind);
      eventNotes_.push_back(event.note);
      if (!summary.empty()) summary += "\n";
      summary += EventLine(event);
    }
    eventVars_ = {time, kind, note};
    eventSummary_ = std::move(summary);
    return true;
  }

  bool Globals(const ExportHeader& header, const ExportOptions& options) {
    const Deployment& meta = header.companion.deployment;
    auto value = [&](std::string_view key) { return *meta.Find(key); };
    const std::int64_t start = header.timeZeroUtcMs + header.firstStampMs;
    const std::int64_t end = header.timeZeroUtcMs + header.lastStampMs;
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count();
    const std::string created = IsoUtc(now, false);
    const std::string id = NameFromPath(header.dataFile);
    std::string history = created + " " + (options.invocation.empty() ? ProgramName() + " export" : options.invocation) +
                          ": exported from " + id + "; " + header.timeNote;
    if (header.damaged > 0) history += "; " + std::to_string(header.damaged) + " damaged lines left out";
    if (!header.positionNote.empty()) history += "; " + header.positionNote;
    std::string title = "Absorption and attenuation from " + header.model + " " + header.serial;
    if (!value("cruise").empty()) title += ", cruise " + value("cruise");
    if (!value("station").empty()) title += ", station " + value("station");
    if (!value("cast").empty()) title += ", cast " + value("cast");
    const int binsize = header.binsize;
    return Global("title", title) &&
           Global("summary", "In-water spectral absorption (a) and beam attenuation (c) coefficients recorded by " +
                                 header.model + " (serial number " + header.serial + ") as a " +
                                 (trajectory_ ? "trajectory" : "time series") + " of " +
                                 std::to_string(header.samples) + " samples, from the data file " + id + ".") &&
           Global("keywords", "ocean optics, absorption coefficient, beam attenuation coefficient, inherent optical "
                              "properties, spectral absorption, sea water") &&
           Global("Conventions", "CF-1.11, ACDD-1.3") && Global("featureType", trajectory_ ? "trajectory" : "timeSeries") &&
           Global("cdm_data_type", trajectory_ ? "Trajectory" : "Station") && Geospatial(header) && Global("standard_name_vocabulary", "CF Standard Name Table v84") &&
           Global("id", id) && Global("date_created", created) && Global("history", history) &&
           Global("source", ProgramName()) && Global("instrument", header.model) &&
           Global("instrument_model", header.model) && Global("instrument_serial_number", header.serial) &&
           Global("device_configuration", header.configText) &&
           Check(nc_put_att_int(ncid_, NC_GLOBAL, "bin_size", NC_INT, 1, &binsize)) &&
           Global("time_coverage_start", IsoUtc(start)) && Global("time_coverage_end", IsoUtc(end)) &&
           Global("time_coverage_duration", IsoDuration(end - start)) &&
           Global("creator_name", value("investigators")) && Global("creator_institution", value("affiliation")) &&
           Global("institution", value("affiliation")) && Global("creator_email", value("contact")) &&
           Global("project", value("experiment")) && Global("cruise", value("cruise")) &&
           Global("station", value("station")) && Global("cast", value("cast")) && Global("comment", value("note")) &&
           Global("position_source", header.companion.positionSource) && Global("events", eventSummary_);
  }

  // ACDD's bounds of the positions exported.
  bool Geospatial(const ExportHeader& header) {
    if (!trajectory_) return true;
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
    if (eventTimes_.empty()) return true;
    std::vector<const char*> kinds, notes;
    for (std::size_t k = 0; k < eventTimes_.size(); ++k) {
      kinds.push_back(eventKinds_[k].c_str());
      notes.push_back(eventNotes_[k].c_str());
    }
    return Check(nc_put_var_double(ncid_, eventVars_[0], eventTimes_.data())) &&
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
    const std::size_t count = time_.block.size();
    if (written_ + count > rows_) return Fail("more rows than samples");
    bool ok = PutBlock(time_, count) && PutBlock(depth_, count) && PutBlock(temperature_, count) &&
              PutBlock(extTemperature_, count) && PutBlock(latitude_, count) && PutBlock(longitude_, count);
    for (Kind& kind : kinds_) ok = ok && PutBlock(kind.column, count);
    written_ += count;
    return ok;
  }

  std::string path_;
  int ncid_ = -1;
  std::size_t rows_ = 0;
  std::size_t written_ = 0;
  Column time_, depth_, temperature_, extTemperature_, latitude_, longitude_;
  bool trajectory_ = false;  // the samples have positions
  std::vector<double> eventTimes_;
  std::vector<std::string> eventKinds_, eventNotes_;
  std::array<int, 3> eventVars_{-1, -1, -1};  // event_time, event_kind, event_note
  std::string eventSummary_;                  // one event a line, for the global "events"
  std::vector<Kind> kinds_;
  std::vector<std::pair<int, std::vector<double>>> coordinates_;
  int station_ = -1;
  std::string stationName_;
};

}  // namespace

std::unique_ptr<ExportWriter> NewNetCdfWriter(const std::string& path) {
  return std::make_unique<NetCdfWriter>(path);
}

}  // namespace sondrix
