// SPDX-License-Identifier: GPL-3.0-or-later
// The text formats of the export: SeaBASS and CSV. Values keep the data
// file's precision (five decimals for the traces, two for temperatures and
// depth) and a decimal point whatever the locale. Positions, when the run
// has them, take six decimals (about 0.1 m); a sample without one has the
// missing value (SeaBASS) or an empty field (CSV). So has a sample without
// a value of the ship's data (io/ancillary.h gives each quantity's
// decimals; SeaBASS's conductivity is in mS/cm).
#include <array>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

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

void AppendTwo(std::string& out, int value) {
  out += static_cast<char>('0' + value / 10 % 10);
  out += static_cast<char>('0' + value % 10);
}

// "20261209" and "18:03:07" of a UTC instant.
void AppendDate(std::string& out, const std::tm& tm) {
  char year[16];
  std::snprintf(year, sizeof year, "%04d", tm.tm_year + 1900);
  out += year;
  AppendTwo(out, tm.tm_mon + 1);
  AppendTwo(out, tm.tm_mday);
}
void AppendTime(std::string& out, const std::tm& tm) {
  AppendTwo(out, tm.tm_hour);
  out += ':';
  AppendTwo(out, tm.tm_min);
  out += ':';
  AppendTwo(out, tm.tm_sec);
}

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
  // The traces the file measured, whose values the rows carry.
  void KeepMeasured(const ExportHeader& header) {
    for (const ExportTrace& trace : header.traces) {
      if (trace.measured) columns_.push_back(trace.index);
    }
  }
  const std::vector<int>& columns() const { return columns_; }
  // Whether the rows carry a position, and which of the ship's data.
  void KeepPositions(const ExportHeader& header) {
    positions_ = header.positioned > 0;
    for (const QuantityRow& row : Quantities()) {
      if (header.Has(row.quantity)) quantities_.push_back(row.quantity);
    }
  }
  const std::vector<Quantity>& quantities() const { return quantities_; }
  // ",value" for each quantity of the ship's data the rows carry (times
  // `scaled` units), `missing` where a row has none.
  void AppendAncillary(std::string& out, const ExportRow& row, std::string_view missing, bool scaled) const {
    for (Quantity quantity : quantities_) {
      const QuantityRow& q = RowOf(quantity);
      const std::optional<double>& value = row.ancillary[static_cast<std::size_t>(quantity)];
      out += ',';
      if (!value) out += missing;
      else AppendFixed(out, *value * (scaled ? q.seabassScale : 1.0), q.decimals + (scaled && q.seabassScale != 1.0 ? -1 : 0));
    }
  }
  bool positions() const { return positions_; }
  // ",latitude,longitude" of a row, or `missing` in each where it has none.
  void AppendPosition(std::string& out, const ExportRow& row, std::string_view missing) const {
    for (const double* value : {row.position ? &row.position->latitude : nullptr,
                                row.position ? &row.position->longitude : nullptr}) {
      out += ',';
      if (value) AppendFixed(out, *value, kPositionDecimals);
      else out += missing;
    }
  }

 private:
  TextOutput out_;
  std::string path_;
  std::vector<int> columns_;
  bool positions_ = false;
  std::vector<Quantity> quantities_;
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

  bool Begin(const ExportHeader& header, const ExportOptions&) override {
    KeepMeasured(header);
    KeepPositions(header);
    std::string& out = text();
    out += "time_utc";
    if (positions()) out += ",latitude [degrees_north],longitude [degrees_east]";
    for (int index : columns()) out += "," + CsvField(header.traces[static_cast<std::size_t>(index)].heading + " [1/m]");
    out += ",temperature_internal [degC],temperature_external [degC],depth [m]";
    for (Quantity quantity : quantities()) out += "," + std::string(RowOf(quantity).csvHeading);
    out += '\n';
    return Emit();
  }

  bool Row(const ExportRow& row) override {
    std::string& out = text();
    const std::tm tm = UtcFields(row.utcMs);
    char year[16];
    std::snprintf(year, sizeof year, "%04d", tm.tm_year + 1900);
    out += year;
    out += '-';
    AppendTwo(out, tm.tm_mon + 1);
    out += '-';
    AppendTwo(out, tm.tm_mday);
    out += 'T';
    AppendTime(out, tm);
    const auto ms = static_cast<int>(((row.utcMs % 1000) + 1000) % 1000);
    out += '.';
    out += static_cast<char>('0' + ms / 100);
    AppendTwo(out, ms % 100);
    out += 'Z';
    if (positions()) AppendPosition(out, row, "");
    for (int index : columns()) {
      out += ',';
      AppendFixed(out, (*row.values)[static_cast<std::size_t>(index)], kValueDecimals);
    }
    for (double aux : {row.temperature, row.extTemperature, row.depth}) {
      out += ',';
      AppendFixed(out, aux, kAuxDecimals);
    }
    AppendAncillary(out, row, "", /*scaled=*/false);
    out += '\n';
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
    const std::tm start = UtcFields(header.UtcOf(header.firstStampMs));
    const std::tm end = UtcFields(header.UtcOf(header.lastStampMs));
    std::string& out = text();
    out += "/begin_header\n";
    out += "/investigators=" + SeaBassList(*meta.Find("investigators")) + "\n";
    out += "/affiliations=" + SeaBassList(*meta.Find("affiliation")) + "\n";
    out += "/contact=" + value("contact") + "\n";
    out += "/experiment=" + value("experiment") + "\n";
    out += "/cruise=" + value("cruise") + "\n";
    out += "/station=" + value("station") + "\n";
    out += "/data_file_name=" + SeaBassValue(NameFromPath(FinalName())) + "\n";
    out += "/documents=NA\n";
    out += "/calibration_files=" + SeaBassValue(NameFromPath(header.companion.deviceFile)) + "\n";
    out += "/data_type=" + std::string(SeaBassDataType(meta)) + "\n";
    out += "/data_status=" + std::string(SeaBassDataStatus(meta)) + "\n";
    out += "/start_date=";
    AppendDate(out, start);
    out += "\n/end_date=";
    AppendDate(out, end);
    out += "\n/start_time=";
    AppendTime(out, start);
    out += "[GMT]\n/end_time=";
    AppendTime(out, end);
    out += "[GMT]\n";
    if (positions() || header.station) {  // the samples' positions, else the station's
      const GeoBounds& b = header.bounds;
      for (const auto& [name, value] : {std::pair{"north_latitude", b.north}, std::pair{"south_latitude", b.south},
                                        std::pair{"east_longitude", b.east}, std::pair{"west_longitude", b.west}}) {
        out += std::string("/") + name + "=";
        AppendFixed(out, value, kPositionDecimals);
        out += "[DEG]\n";
      }
    } else {
      out += "/north_latitude=NA\n/south_latitude=NA\n/east_longitude=NA\n/west_longitude=NA\n";
    }
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
    for (Quantity quantity : quantities()) {
      fields += "," + std::string(RowOf(quantity).seabassField);
      units += "," + std::string(RowOf(quantity).seabassUnits);
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
    out += "/end_header\n";
    return Emit();
  }

  bool Row(const ExportRow& row) override {
    std::string& out = text();
    const std::tm tm = UtcFields(row.utcMs);
    AppendDate(out, tm);
    out += ',';
    AppendTime(out, tm);
    if (positions()) AppendPosition(out, row, kMissing);
    out += ',';
    if (hasDepth_) AppendFixed(out, row.depth, kAuxDecimals);
    else out += kMissing;
    for (int index : order_) {
      out += ',';
      AppendFixed(out, (*row.values)[static_cast<std::size_t>(index)], kValueDecimals);
    }
    AppendAncillary(out, row, kMissing, /*scaled=*/true);
    out += '\n';
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

}  // namespace

std::unique_ptr<ExportWriter> NewCsvWriter(const std::string& path) { return std::make_unique<CsvWriter>(path); }
std::unique_ptr<ExportWriter> NewSeaBassWriter(const std::string& path) {
  return std::make_unique<SeaBassWriter>(path);
}

}  // namespace sondrix
