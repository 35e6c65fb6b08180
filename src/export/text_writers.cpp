// SPDX-License-Identifier: GPL-3.0-or-later
// The text formats of the export: SeaBASS and CSV. Values keep the data
// file's precision (five decimals for the traces, two for temperatures and
// depth) and a decimal point whatever the locale. Positions, when the run
// has them, take six decimals (about 0.1 m); a sample without one has the
// missing value (SeaBASS) or an empty field (CSV). So has a sample without
// a value of the ship's data (io/ancillary.h gives each quantity's
// decimals; SeaBASS's conductivity is in mS/cm).
//
// A Level-2 output (ExportHeader::processor) adds the corrected values
// after those columns: SeaBASS's own fields apg<wavelength> (a corrected
// for temperature, salinity and scattering), cpg<wavelength> (c corrected
// for temperature and salinity), wt and sal (the temperature and salinity
// used, in place of the ship's), quality (the IODE flag); the methods in
// the header's comments. CSV: a_ts, c_ts and a_corrected of each
// wavelength, temperature_used, salinity_used, quality_flag and the
// absorption line height, after comment lines ("# ") with the methods.
#include <algorithm>
#include <cmath>
#include <array>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "common/fixed_format.h"
#include "common/text_format.h"
#include "common/utils.h"
#include "datafile/deployment_values.h"
#include "export/export_writer.h"

namespace sondrix {
namespace {

constexpr int kValueDecimals = 5;
constexpr int kAuxDecimals = 2;
constexpr int kPositionDecimals = 6;

// The civil date and time of a UTC instant.
std::tm UtcFields(std::int64_t utcMs) {
  std::int64_t seconds = utcMs / 1000;
  if (utcMs % 1000 < 0) --seconds;
  const auto t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  return tm;
}

// The civil fields of the rows' UTC instants, which come in time order:
// the C library's reading of a second (UtcFields) serves the rest of its
// minute, whose later seconds only count on from it. A minute is never
// counted past its 59th second, so the fields are always the C library's
// (a leap second of a "right/" zone included).
class UtcMinute {
 public:
  const std::tm& Fields(std::int64_t utcMs) {
    const std::int64_t seconds = utcMs / 1000 - (utcMs % 1000 < 0 ? 1 : 0);
    const std::int64_t later = seconds - start_;
    if (known_ && later >= 0 && later <= 59 - first_) {
      fields_.tm_sec = first_ + static_cast<int>(later);
      return fields_;
    }
    fields_ = UtcFields(utcMs);
    start_ = seconds;
    first_ = fields_.tm_sec;
    known_ = true;
    return fields_;
  }

 private:
  std::tm fields_{};
  std::int64_t start_ = 0;
  int first_ = 0;
  bool known_ = false;
};

char* PutTwo(char* out, int value) {
  out[0] = static_cast<char>('0' + value / 10 % 10);
  out[1] = static_cast<char>('0' + value % 10);
  return out + 2;
}

// The year as "%04d" writes it.
char* PutYear(char* out, int year) {
  if (year >= 0 && year <= 9999) return PutTwo(PutTwo(out, year / 100), year % 100);
  char text[16];
  const int length = std::snprintf(text, sizeof text, "%04d", year);
  return std::copy(text, text + std::max(length, 0), out);
}

// "20261209" and "18:03:07" of a UTC instant.
char* PutDate(char* out, const std::tm& tm) {
  return PutTwo(PutTwo(PutYear(out, tm.tm_year + 1900), tm.tm_mon + 1), tm.tm_mday);
}
char* PutTime(char* out, const std::tm& tm) {
  out = PutTwo(out, tm.tm_hour);
  *out++ = ':';
  out = PutTwo(out, tm.tm_min);
  *out++ = ':';
  return PutTwo(out, tm.tm_sec);
}
void AppendDate(std::string& out, const std::tm& tm) {
  char text[24];
  const char* end = PutDate(text, tm);
  out.append(text, static_cast<std::size_t>(end - text));
}
void AppendTime(std::string& out, const std::tm& tm) {
  char text[16];
  const char* end = PutTime(text, tm);
  out.append(text, static_cast<std::size_t>(end - text));
}

// A comma and a value with `decimals` (FormatFixed).
char* PutValue(char* out, double value, int decimals) {
  *out++ = ',';
  return FormatFixed(out, value, decimals);
}

// The most characters of a date and time ("%04d" of any year, then the
// rest of an ISO 8601 time) and of a comma and a value.
constexpr std::size_t kTimeTextMax = 48;
constexpr std::size_t kValueTextMax = 1 + kFixedTextMax;

class TextWriter : public ExportWriter {
 public:
  explicit TextWriter(const std::string& path) : out_(path), path_(path) {}

  bool End() override {
    if (!out_.Close()) return Fail("cannot be written");
    return true;
  }

 protected:
  // Hands a finished row to the output.
  bool Emit() {
    if (!out_.open()) return Fail("cannot be created");
    if (!out_.Flush()) return Fail("cannot be written");
    return true;
  }
  std::string& text() { return out_.buffer(); }
  const std::string& path() const { return path_; }
  // The traces the file measured, whose values the rows carry; room for a
  // row of them.
  void KeepMeasured(const ExportHeader& header) {
    for (const ExportTrace& trace : header.traces) {
      if (trace.measured) columns_.push_back(trace.index);
    }
    row_.resize(kTimeTextMax + (columns_.size() + 7) * kValueTextMax + 1);
  }
  // Where a row is written, with room for its time, every value, the
  // position and three more (kTimeTextMax, kValueTextMax); Append hands
  // the row to the output.
  char* RowText() { return row_.data(); }
  void Append(const char* end) { text().append(row_.data(), static_cast<std::size_t>(end - row_.data())); }
  const std::vector<int>& columns() const { return columns_; }
  // Whether the rows carry a position, and which of the ship's data.
  void KeepPositions(const ExportHeader& header) {
    positions_ = header.positionedRows > 0;
    binned_ = header.binMs != 0;
    for (const QuantityRow& row : Quantities()) {
      if (header.Has(row.quantity)) quantities_.push_back(row.quantity);
    }
    row_.resize(row_.size() + quantities_.size() * kValueTextMax);
  }
  const std::vector<Quantity>& quantities() const { return quantities_; }
  // The rows leave `quantity` out.
  void DropQuantity(Quantity quantity) { std::erase(quantities_, quantity); }
  // ",value" for each quantity of the ship's data the rows carry (times
  // `scaled` units), `missing` where a row has none.
  char* PutAncillary(char* out, const ExportRow& row, std::string_view missing, bool scaled) const {
    for (Quantity quantity : quantities_) {
      const QuantityRow& q = RowOf(quantity);
      const std::optional<double>& value = row.ancillary[static_cast<std::size_t>(quantity)];
      if (value) {
        out = PutValue(out, *value * (scaled ? q.seabassScale : 1.0), q.decimals + (scaled && q.seabassScale != 1.0 ? -1 : 0));
      } else {
        *out++ = ',';
        out = std::copy(missing.begin(), missing.end(), out);
      }
    }
    return out;
  }
  bool positions() const { return positions_; }
  // Rows of time bins, which carry their counts.
  bool binned() const { return binned_; }
  // Level 2: the processor's channels of each kind in its order, room for
  // the corrected values of a row, and the wavelength of each channel.
  const Processor* KeepLevel2(const ExportHeader& header) {
    level2_ = header.processor;
    if (!level2_) return nullptr;
    methods_ = header.Level2Attributes();
    underway_ = header.underway != nullptr;
    const ProcessorChannels& ch = level2_->channels();
    const std::size_t underway = underway_ ? 2 * (ch.aTrace.size() + ch.cTrace.size()) + 5 : 0;
    row_.resize(row_.size() + (2 * ch.aTrace.size() + ch.cTrace.size() + 4 + underway) * kValueTextMax);
    return level2_;
  }
  bool underway() const { return underway_; }
  // The particulate and dissolved spectra of a row's (`missing` in each
  // where it has none): a_p, c_p, a_d, c_d by channel.
  char* PutUnderwaySpectra(char* out, const ExportRow& row, std::string_view missing) const {
    const ProcessorChannels& ch = level2_->channels();
    if (row.particulate != nullptr) {
      const ParticulateSample& p = *row.particulate;
      return PutAll(PutAll(PutAll(PutAll(out, p.ap, missing), p.cp, missing), p.ad, missing), p.cd, missing);
    }
    for (std::size_t k = 0; k < 2 * (ch.aTrace.size() + ch.cTrace.size()); ++k) out = PutOptional(out, NAN, 0, missing);
    return out;
  }
  const Processor* level2() const { return level2_; }
  // ",value", or `missing` for a value that is not finite.
  static char* PutOptional(char* out, double value, int decimals, std::string_view missing) {
    if (std::isfinite(value)) return PutValue(out, value, decimals);
    *out++ = ',';
    return std::copy(missing.begin(), missing.end(), out);
  }
  // The corrected values of `which`, ",value" each.
  static char* PutAll(char* out, const std::vector<double>& values, std::string_view missing) {
    for (double value : values) out = PutOptional(out, value, kValueDecimals, missing);
    return out;
  }
  // The methods, one "name: value" each.
  std::vector<std::string> MethodLines() const {
    std::vector<std::string> lines;
    if (!level2_) return lines;
    for (const ProcessingAttribute& a : methods_)
      lines.push_back(a.name + ": " + a.Value());
    return lines;
  }
  // ",latitude,longitude" of a row, or `missing` in each where it has none.
  static char* PutPosition(char* out, const ExportRow& row, std::string_view missing) {
    if (row.position) {
      out = PutValue(out, row.position->latitude, kPositionDecimals);
      return PutValue(out, row.position->longitude, kPositionDecimals);
    }
    for (int i = 0; i < 2; ++i) {
      *out++ = ',';
      out = std::copy(missing.begin(), missing.end(), out);
    }
    return out;
  }
  UtcMinute& clock() { return clock_; }

 private:
  TextOutput out_;
  UtcMinute clock_;
  std::vector<char> row_;
  std::string path_;
  std::vector<int> columns_;
  bool positions_ = false;
  bool binned_ = false;
  std::vector<Quantity> quantities_;
  const Processor* level2_ = nullptr;
  std::vector<ProcessingAttribute> methods_;
  bool underway_ = false;
};

// A field of CSV's heading line: one line, quoted (RFC 4180) when it holds
// a comma or a quote.
std::string CsvField(std::string_view text) {
  const std::string line = OneLine(text);
  if (line.find_first_of(",\"") == std::string::npos) return line;
  std::string quoted = "\"";
  for (char c : line) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

class CsvWriter final : public TextWriter {
 public:
  using TextWriter::TextWriter;

 private:
  // The underway columns of a row: the spectra, the flow period, whether
  // the dissolved value was extrapolated, the slope, the line height and
  // POC ("" where a value is missing).
  char* PutUnderwayRow(char* out, const ExportRow& row) const {
    out = PutUnderwaySpectra(out, row, "");
    const ParticulateSample* p = row.particulate;
    out = PutOptional(out, p ? static_cast<double>(p->period) : NAN, 0, "");
    out = PutOptional(out, p ? (p->extrapolated ? 1.0 : 0.0) : NAN, 0, "");
    out = PutOptional(out, p ? p->slope : NAN, kValueDecimals, "");
    if (level2()->hasLineHeight()) out = PutOptional(out, p ? p->lineHeight : NAN, kValueDecimals, "");
    if (poc_) out = PutOptional(out, p ? p->poc : NAN, kAuxDecimals, "");
    if (binned()) out = PutValue(out, static_cast<double>(row.particulateCount), 0);
    return out;
  }
  bool poc_ = false;

 public:

  bool Begin(const ExportHeader& header, const ExportOptions&) override {
    KeepMeasured(header);
    KeepPositions(header);
    const Processor* processor = KeepLevel2(header);
    poc_ = header.underway != nullptr && header.underway->pocCoefficient.has_value();
    std::string& out = text();
    for (const std::string& line : MethodLines()) out += "# " + OneLine(line) + "\n";
    out += "time_utc";
    if (positions()) out += ",latitude [degrees_north],longitude [degrees_east]";
    for (int index : columns()) out += "," + CsvField(header.traces[static_cast<std::size_t>(index)].heading + " [1/m]");
    out += ",temperature_internal [degC],temperature_external [degC],depth [m]";
    if (binned()) out += ",bin_count";
    for (Quantity quantity : quantities()) out += "," + std::string(RowOf(quantity).csvHeading);
    if (const Processor* p = processor) {
      const ProcessorChannels& ch = p->channels();
      for (double w : ch.aWavelength) out += Format(",a_ts%g [1/m]", w);
      for (double w : ch.cWavelength) out += Format(",c_ts%g [1/m]", w);
      for (double w : ch.aWavelength) out += Format(",a_corrected%g [1/m]", w);
      out += ",temperature_used [degC],salinity_used [PSU],quality_flag";
      if (p->hasLineHeight()) out += ",absorption_line_height [1/m]";
      if (underway()) {
        for (const char* name : {"a_p", "c_p", "a_d", "c_d"}) {
          const bool c = name[0] == 'c';
          for (double w : c ? ch.cWavelength : ch.aWavelength) out += Format(",%s%g [1/m]", name, w);
        }
        out += ",flow_period,dissolved_extrapolated,particulate_slope";
        if (p->hasLineHeight()) out += ",particulate_line_height [1/m]";
        if (header.underway->pocCoefficient) out += ",poc [mg/m^3]";
        if (binned()) out += ",particulate_count";
      }
    }
    out += '\n';
    return Emit();
  }

  // "2026-12-09T18:03:07.250Z", the position, the values, temperatures
  // and depth.
  bool Row(const ExportRow& row) override {
    const std::tm& tm = clock().Fields(row.utcMs);
    char* out = RowText();
    out = PutYear(out, tm.tm_year + 1900);
    *out++ = '-';
    out = PutTwo(out, tm.tm_mon + 1);
    *out++ = '-';
    out = PutTwo(out, tm.tm_mday);
    *out++ = 'T';
    out = PutTime(out, tm);
    const auto ms = static_cast<int>(((row.utcMs % 1000) + 1000) % 1000);
    *out++ = '.';
    *out++ = static_cast<char>('0' + ms / 100);
    out = PutTwo(out, ms % 100);
    *out++ = 'Z';
    if (positions()) out = PutPosition(out, row, "");
    for (int index : columns()) out = PutValue(out, (*row.values)[static_cast<std::size_t>(index)], kValueDecimals);
    for (double aux : {row.temperature, row.extTemperature, row.depth}) out = PutOptional(out, aux, kAuxDecimals, "");
    if (binned()) out = PutValue(out, static_cast<double>(row.binCount), 0);
    out = PutAncillary(out, row, "", /*scaled=*/false);
    if (level2() && row.corrected) {
      const CorrectedSample& c = *row.corrected;
      out = PutAll(PutAll(PutAll(out, c.aTs, ""), c.cTs, ""), c.aCorrected, "");
      out = PutOptional(out, c.temperature, kAuxDecimals + 1, "");
      out = PutOptional(out, c.salinity, kAuxDecimals + 1, "");
      *out++ = ',';
      *out++ = static_cast<char>('0' + c.flag);
      if (level2()->hasLineHeight()) out = PutOptional(out, c.lineHeight, kValueDecimals, "");
      if (underway()) out = PutUnderwayRow(out, row);
    }
    *out++ = '\n';
    Append(out);
    return Emit();
  }
};

// A SeaBASS header value: one ASCII line without blanks (each run of them
// becomes one underscore), "NA" when unknown.
std::string SeaBassValue(std::string_view value) {
  std::string text;
  for (char c : OneLine(value, true)) {
    if (c == ' ') c = '_';
    if (c != '_' || text.empty() || text.back() != '_') text += c;
  }
  return text.empty() ? "NA" : text;
}

// A SeaBASS list (investigators, affiliations): the names split at ";" and
// ",", each a value of its own (John_Smith), comma-separated without blanks.
std::string SeaBassList(std::string_view list) {
  std::string text;
  for (const std::string& name : SplitNames(list)) {
    std::string value = SeaBassValue(name);
    while (value.size() > 1 && value.front() == '_') value.erase(0, 1);
    while (value.size() > 1 && value.back() == '_') value.pop_back();
    if (value != "_") text += (text.empty() ? "" : ",") + value;
  }
  return text.empty() ? "NA" : text;
}

// A SeaBASS comment line: "! " and the text as one ASCII line.
std::string SeaBassComment(std::string_view text) { return "! " + OneLine(text, true) + "\n"; }

// A field name of SeaBASS's /fields list: a value without a comma.
std::string SeaBassField(std::string_view name) {
  std::string field = SeaBassValue(name);
  for (char& c : field) {
    if (c == ',') c = '_';
  }
  return field;
}

// The first lines of a SeaBASS header, /begin_header to the bounds: the
// deployment's names, the file's, the data type, the first and last time
// in UTC, and the bounds (none: NA).
std::string SeaBassHead(const ExportHeader& header, std::string_view fileName, std::string_view dataType,
                        std::int64_t startMs, std::int64_t endMs, const std::optional<GeoBounds>& bounds) {
  const Deployment& meta = header.companion.deployment;
  auto value = [&](std::string_view key) { return SeaBassValue(*meta.Find(key)); };
  std::string out = "/begin_header\n";
  out += "/investigators=" + SeaBassList(*meta.Find("investigators")) + "\n";
  out += "/affiliations=" + SeaBassList(*meta.Find("affiliation")) + "\n";
  out += "/contact=" + value("contact") + "\n";
  out += "/experiment=" + value("experiment") + "\n";
  out += "/cruise=" + value("cruise") + "\n";
  out += "/station=" + value("station") + "\n";
  out += "/data_file_name=" + SeaBassValue(fileName) + "\n";
  out += "/documents=NA\n";
  out += "/calibration_files=" + SeaBassValue(NameFromPath(header.companion.deviceFile)) + "\n";
  out += "/data_type=" + std::string(dataType) + "\n";
  out += "/data_status=" + std::string(SeaBassDataStatus(meta)) + "\n";
  const std::tm start = UtcFields(startMs), end = UtcFields(endMs);
  out += "/start_date=";
  AppendDate(out, start);
  out += "\n/end_date=";
  AppendDate(out, end);
  out += "\n/start_time=";
  AppendTime(out, start);
  out += "[GMT]\n/end_time=";
  AppendTime(out, end);
  out += "[GMT]\n";
  if (!bounds) return out + "/north_latitude=NA\n/south_latitude=NA\n/east_longitude=NA\n/west_longitude=NA\n";
  for (const auto& [name, v] : {std::pair{"north_latitude", bounds->north}, std::pair{"south_latitude", bounds->south},
                                std::pair{"east_longitude", bounds->east}, std::pair{"west_longitude", bounds->west}}) {
    out += std::string("/") + name + "=";
    AppendFixed(out, v, kPositionDecimals);
    out += "[DEG]\n";
  }
  return out;
}

class SeaBassWriter final : public TextWriter {
 public:
  static constexpr std::string_view kMissing = "-9999";

  using TextWriter::TextWriter;

  bool Begin(const ExportHeader& header, const ExportOptions&) override {
    KeepMeasured(header);
    KeepPositions(header);
    hasDepth_ = header.hasDepth;
    const Deployment& meta = header.companion.deployment;
    auto value = [&](std::string_view key) { return SeaBassValue(*meta.Find(key)); };
    std::optional<GeoBounds> bounds;  // the samples' positions', else the station's
    if (positions() || header.station) bounds = header.bounds;
    std::string& out = text();
    out += SeaBassHead(header, NameFromPath(FinalName()),
                       SeaBassDataType(meta, header.underway ? "flow_thru" : kSeaBassDataTypes.front()),
                       header.UtcOf(header.firstStampMs), header.UtcOf(header.lastStampMs), bounds);
    out += "/missing=" + std::string(kMissing) + "\n/delimiter=comma\n";
    std::string fields = positions() ? "date,time,lat,lon,depth" : "date,time,depth";
    std::string units = positions() ? "yyyymmdd,hh:mm:ss,degrees,degrees,m" : "yyyymmdd,hh:mm:ss,m";
    for (bool attenuation : {true, false}) {
      for (int index : columns()) {
        const ExportTrace& trace = header.traces[static_cast<std::size_t>(index)];
        if (trace.attenuation != attenuation) continue;
        fields += "," + SeaBassField(trace.heading);
        units += ",1/m";
        order_.push_back(index);
      }
    }
    if (header.processor) {  // wt and sal are those the correction used
      DropQuantity(Quantity::kTemperature);
      DropQuantity(Quantity::kSalinity);
    }
    for (Quantity quantity : quantities()) {
      fields += "," + std::string(RowOf(quantity).seabassField);
      units += "," + std::string(RowOf(quantity).seabassUnits);
    }
    if (const Processor* p = KeepLevel2(header)) {
      for (double w : p->channels().aWavelength) {
        fields += Format(",apg%g", w);
        units += ",1/m";
      }
      for (double w : p->channels().cWavelength) {
        fields += Format(",cpg%g", w);
        units += ",1/m";
      }
      fields += ",wt,sal,quality";
      units += "," + std::string(RowOf(Quantity::kTemperature).seabassUnits) + "," +
               std::string(RowOf(Quantity::kSalinity).seabassUnits) + ",none";
      if (underway()) {
        // SeaBASS's fields: ap, cp particulate; ag, cg dissolved.
        for (const char* name : {"ap", "cp", "ag", "cg"}) {
          for (double w : name[0] == 'c' ? p->channels().cWavelength : p->channels().aWavelength) {
            fields += Format(",%s%g", name, w);
            units += ",1/m";
          }
        }
      }
    }
    if (binned()) {
      fields += ",bincount";
      units += ",none";
    }
    out += "/fields=" + fields + "\n/units=" + units + "\n";
    out += SeaBassComment("instrument " + SeaBassValue(header.model) + " serial number " + header.serial +
                          ", bin size " + std::to_string(header.binsize));
    out += SeaBassComment("cast " + value("cast") + "; note " + value("note"));
    out += SeaBassComment(header.timeNote);
    if (header.station)
      out += SeaBassComment(Format("station position %.6f, %.6f (degrees north, east; as the deployment gives it)",
                                   header.station->latitude, header.station->longitude));
    if (!header.positionNote.empty()) out += SeaBassComment(header.positionNote);
    if (!header.companion.positionSource.empty())
      out += SeaBassComment("position source " + header.companion.positionSource);
    if (!header.ancillaryNote.empty()) out += SeaBassComment(header.ancillaryNote);
    if (header.Has(Quantity::kValve))
      out += SeaBassComment("valve_state: the flow-through valve, 0 total (whole water), 1 filtered (0.2 um)");
    for (const RunEvent& event : header.companion.events) out += SeaBassComment("event " + EventLine(event));
    if (header.processor) {
      out += SeaBassComment("apg: absorption corrected for the water's temperature and salinity and for scattering; "
                            "cpg: attenuation corrected for temperature and salinity; both less pure water's; wt, "
                            "sal: the temperature and salinity the correction used; quality: IODE flag (1 good, 2 "
                            "not evaluated, 3 suspect, 4 bad, 9 missing)");
      if (underway())
        out += SeaBassComment("ap, cp: particulate absorption (corrected for scattering) and attenuation of whole "
                              "water after flushing; ag, cg: the dissolved (0.2 um filtered) absorption and "
                              "attenuation interpolated between the filtered periods; missing on filtered and "
                              "flushing water");
      for (const std::string& line : MethodLines()) out += SeaBassComment(line);
    }
    out += "/end_header\n";
    return Emit();
  }

  bool Row(const ExportRow& row) override {
    const std::tm& tm = clock().Fields(row.utcMs);
    char* out = PutDate(RowText(), tm);
    *out++ = ',';
    out = PutTime(out, tm);
    if (positions()) out = PutPosition(out, row, kMissing);
    if (hasDepth_ && !std::isnan(row.depth)) {
      out = PutValue(out, row.depth, kAuxDecimals);
    } else {
      *out++ = ',';
      out = std::copy(kMissing.begin(), kMissing.end(), out);
    }
    for (int index : order_) out = PutValue(out, (*row.values)[static_cast<std::size_t>(index)], kValueDecimals);
    out = PutAncillary(out, row, kMissing, /*scaled=*/true);
    if (level2() && row.corrected) {
      const CorrectedSample& c = *row.corrected;
      out = PutAll(PutAll(out, c.aCorrected, kMissing), c.cTs, kMissing);
      out = PutOptional(out, c.temperature, kAuxDecimals + 1, kMissing);
      out = PutOptional(out, c.salinity, kAuxDecimals + 1, kMissing);
      *out++ = ',';
      *out++ = static_cast<char>('0' + c.flag);
      if (underway()) out = PutUnderwaySpectra(out, row, kMissing);
    }
    if (binned()) out = PutValue(out, static_cast<double>(row.binCount), 0);
    *out++ = '\n';
    Append(out);
    return Emit();
  }

 private:
  // The name the output takes once whole (it is written as NAME.part).
  std::string FinalName() const {
    const std::string& written = path();
    return written.ends_with(".part") ? written.substr(0, written.size() - 5) : written;
  }

  bool hasDepth_ = false;
  std::vector<int> order_;  // c traces first, then a, as the fields list them
};

// The profiles' text outputs: a value with its decimals (five for the
// coefficients, three for the rest), `missing` for none.
void AppendBinValue(std::string& out, double value, ProfileGroup group, std::string_view missing) {
  out += ',';
  if (!std::isfinite(value)) {
    out += missing;
    return;
  }
  const bool coefficient = std::string_view(NamesOf(group).units) == "m-1";
  AppendFixed(out, value, coefficient ? kValueDecimals : kAuxDecimals + 1);
}

// The name of a column in the CSV ("a_corrected412", "temperature_used").
std::string ProfileColumnName(const ProfileColumn& column) {
  const ProfileGroupNames& names = NamesOf(column.group);
  return column.wavelength > 0.0 ? Format("%s%g", names.csv, column.wavelength) : std::string(names.csv);
}

// A file of text written whole at `path` (created new), false with `error`.
bool WriteText(const std::string& path, const std::string& text, std::string& error) {
  TextOutput out(path);
  if (!out.open()) {
    error = "cannot be created";
    return false;
  }
  out.buffer() = text;
  if (!out.Close()) {
    error = "cannot be written";
    return false;
  }
  return true;
}

}  // namespace

bool WriteProfilesCsv(const std::string& path, const ProfileOutput& out, std::string& error) {
  std::string text;
  for (const ProcessingAttribute& a : out.Attributes())
    text += "# " + OneLine(a.name + ": " + a.Value()) + "\n";
  for (const Cast& cast : out.casts)
    text += "# " + Format("cast %d: ", cast.number) + IsoUtc(cast.startMs) + " to " + IsoUtc(cast.endMs) +
            ", deepest " + Format("%.2f m at ", cast.maxDepth) + IsoUtc(cast.bottomMs) +
            Format(", %ld samples", cast.samples) + "\n";
  text += "cast,direction,time_start,depth [m],depth_min [m],depth_max [m],bincount,bin_samples,bin_flag";
  const bool positions = std::any_of(out.profiles.begin(), out.profiles.end(),
                                     [](const BinnedProfile& p) { return p.position.has_value(); });
  if (positions) text += ",latitude [degrees_north],longitude [degrees_east]";
  for (const ProfileColumn& column : out.columns) {
    const std::string name = ProfileColumnName(column);
    const std::string units = std::string_view(NamesOf(column.group).units) == "m-1" ? " [1/m]"
                              : column.group == ProfileGroup::kTemperatureUsed     ? " [degC]"
                              : column.group == ProfileGroup::kSalinityUsed        ? " [PSU]"
                                                                                    : "";
    text += "," + name + units + "," + name + "_sd" + units;
  }
  text += '\n';
  const double size = out.settings.binSize;
  for (const BinnedProfile& profile : out.profiles) {
    const std::string head = Format("%d,%s,", profile.cast, profile.part == CastPart::kUp ? "up" : "down") +
                             IsoUtc(profile.startMs);
    for (std::size_t k = 0; k < profile.bins.size(); ++k) {
      const ProfileBin& bin = profile.bins[k];
      if (bin.samples == 0) continue;  // a depth the profile never was at
      text += head;
      for (double d : {(static_cast<double>(k) + 0.5) * size, static_cast<double>(k) * size,
                       static_cast<double>(k + 1) * size}) {
        text += ',';
        AppendFixed(text, d, 3);
      }
      text += Format(",%ld,%ld,%d", bin.usable, bin.samples, bin.flag);
      if (positions) {
        for (double v : {profile.position ? profile.position->latitude : NAN, profile.position ? profile.position->longitude : NAN}) {
          text += ',';
          if (std::isfinite(v)) AppendFixed(text, v, kPositionDecimals);
        }
      }
      for (std::size_t c = 0; c < out.columns.size(); ++c) {
        const BinSummary summary = bin.values.empty() ? BinSummary{} : bin.values[c];
        AppendBinValue(text, summary.value, out.columns[c].group, "");
        AppendBinValue(text, summary.sd, out.columns[c].group, "");
      }
      text += '\n';
    }
  }
  return WriteText(path, text, error);
}

bool WriteProfileSeaBass(const std::string& path, const ProfileOutput& out, const BinnedProfile& profile,
                         std::string& error) {
  const ExportHeader& header = *out.header;
  std::string name = NameFromPath(path);
  if (name.ends_with(".part")) name.resize(name.size() - 5);
  std::optional<GeoBounds> bounds;
  if (profile.position)
    bounds = GeoBounds{profile.position->latitude, profile.position->latitude, profile.position->longitude,
                       profile.position->longitude};
  std::string text = SeaBassHead(header, name, "cast", profile.startMs, profile.endMs, bounds);
  text += "/missing=-9999\n/delimiter=comma\n";
  // SeaBASS's own fields: depth, bincount, then apg, cpg, wt and sal with
  // their _sd companions; the other columns have no SeaBASS field and are
  // in the NetCDF and CSV outputs.
  std::string fields = "depth,bincount", units = "m,none";
  std::vector<std::size_t> columns;
  for (std::size_t c = 0; c < out.columns.size(); ++c) {
    const ProfileGroupNames& names = NamesOf(out.columns[c].group);
    if (*names.seabass == '\0') continue;
    columns.push_back(c);
    const std::string field = out.columns[c].wavelength > 0.0 ? Format("%s%g", names.seabass, out.columns[c].wavelength)
                                                              : std::string(names.seabass);
    const std::string unit = std::string_view(names.units) == "m-1" ? "1/m"
                             : out.columns[c].group == ProfileGroup::kTemperatureUsed ? "degreesC"
                                                                                      : "PSU";
    fields += "," + field + "," + field + "_sd";
    units += "," + unit + "," + unit;
  }
  text += "/fields=" + fields + "\n/units=" + units + "\n";
  text += SeaBassComment("instrument " + SeaBassValue(header.model) + " serial number " + header.serial);
  text += SeaBassComment(Format("cast %d, %s-cast, of the data file ", profile.cast,
                                profile.part == CastPart::kUp ? "up" : "down") +
                         NameFromPath(header.dataFile));
  text += SeaBassComment("apg: absorption corrected for the water's temperature and salinity and for scattering; cpg: "
                         "attenuation corrected for temperature and salinity; wt, sal: the temperature and salinity "
                         "the correction used; _sd: their standard deviation in the bin; bincount: the samples each "
                         "bin's values are of; depth: the bin's centre");
  text += SeaBassComment(header.timeNote);
  for (const ProcessingAttribute& a : out.Attributes())
    text += SeaBassComment(a.name + ": " + a.Value());
  text += "/end_header\n";
  for (std::size_t k = 0; k < profile.bins.size(); ++k) {
    const ProfileBin& bin = profile.bins[k];
    if (bin.values.empty()) continue;  // filled: too few samples, or too many flagged
    AppendFixed(text, (static_cast<double>(k) + 0.5) * out.settings.binSize, 3);
    text += Format(",%ld", bin.usable);
    for (std::size_t c : columns) {
      AppendBinValue(text, bin.values[c].value, out.columns[c].group, "-9999");
      AppendBinValue(text, bin.values[c].sd, out.columns[c].group, "-9999");
    }
    text += '\n';
  }
  return WriteText(path, text, error);
}

std::unique_ptr<ExportWriter> NewCsvWriter(const std::string& path) { return std::make_unique<CsvWriter>(path); }
std::unique_ptr<ExportWriter> NewSeaBassWriter(const std::string& path) {
  return std::make_unique<SeaBassWriter>(path);
}

}  // namespace sondrix
