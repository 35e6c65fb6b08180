// SPDX-License-Identifier: GPL-3.0-or-later
// The ship's data beside a run: the water's temperature and salinity (and
// conductivity, pressure) from a thermosalinograph or CTD, and the state of
// the flow-through valve that sends the water through a 0.2 um filter for
// some minutes at a time. The ship shares them as text lines on a serial
// port or broadcast over UDP by its logger (line_link.h):
//
//   tsg1 2026-12-10T04:00:00.123Z 21.8054, 5.17647, 36.5878, 1528.105
//   21.8054,  5.17647,  36.5878, 1528.105
//
// A source says how to read its lines (AncillarySpec): an optional data id
// the line must start with (a line with another id is some other
// instrument's and is passed over); an ISO-8601 UTC time right after the id
// (or at the line's start), recognised by its form, is the line's time
// (else the line's time is its arrival); the fields are separated by
// commas and/or blanks, and the field map says which field (1-based,
// counted after the id and the time) holds which quantity.
//
// A line is spoiled, counted and never used, when a field the map names is
// missing or is not a number (or, for the valve, not a state), when its
// time has the form of one but is no time, or when it has another number
// of fields than the source's first good line (a line cut short, two run
// together).
//
// The valve's state comes from a source's field ("0"/"1", "total"/
// "filtered", any case) or, when its controller sends nothing, from a
// schedule (ValveSchedule).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/line_link.h"

namespace sondrix {

enum class Quantity { kTemperature, kSalinity, kConductivity, kPressure, kValve };
inline constexpr std::size_t kQuantityCount = 5;

// Each quantity as every list and output names it.
struct QuantityRow {
  Quantity quantity;
  std::string_view name;          // the field map's and NAME.ancillary.csv's word: "temperature"
  std::string_view units;         // as the map reads it: "degC (ITS-90)"
  std::string_view netcdfName;    // the variable, a CF standard name where there is one
  std::string_view netcdfUnits;   // UDUNITS: "degree_Celsius"
  std::string_view seabassField;  // SeaBASS's own field name: "wt"
  std::string_view seabassUnits;  // "degreesC"
  double seabassScale;            // SeaBASS's units per the map's (conductivity S/m to mS/cm: 10)
  std::string_view csvHeading;    // "sea_water_temperature [degC]"
  int decimals;                   // what the outputs keep
};
std::span<const QuantityRow> Quantities();
const QuantityRow& RowOf(Quantity quantity);
// "temperature", ... (false for another word).
bool ParseQuantity(std::string_view name, Quantity& quantity);
// "temperature, salinity, conductivity, pressure or valve".
std::string QuantityList();

// The valve's states, as readings hold them.
inline constexpr double kValveTotal = 0.0;
inline constexpr double kValveFiltered = 1.0;
// Whether a valve reading (or an interpolated one) stands for the filter:
// nearer kValveFiltered than kValveTotal; none for no reading.
inline std::optional<bool> ValveOnFilter(std::optional<double> reading) {
  if (!reading) return std::nullopt;
  return *reading > 0.5 * (kValveTotal + kValveFiltered);
}
// "0", "1", "total", "filtered" (any case); none for another text.
std::optional<double> ParseValveState(std::string_view text);
// "Filtered" / "Whole water".
std::string_view ValveStateText(bool filtered);

// Which field holds which quantity. Field 0 for the valve: the whole rest
// of the line (after the id and the time) says its state.
struct FieldMap {
  std::vector<std::pair<Quantity, int>> fields;
  bool operator==(const FieldMap&) const = default;
  bool Has(Quantity quantity) const;
};
// "temperature=1,salinity=3": each quantity at most once, each field 1 ...
// 999. False with `error` set for another text.
bool ParseFieldMap(std::string_view text, FieldMap& map, std::string& error);
// Back to "temperature=1,salinity=3" ("valve=line" for field 0).
std::string FieldMapText(const FieldMap& map);

// Whether `id` may be a data id: one word (no blank or comma), not empty.
bool IsDataId(std::string_view id);

// One source of the ship's data as the operator gives it.
struct AncillarySpec {
  std::string source;  // "udp:5001", "COM3", "/dev/ttyUSB2"
  long baud = 9600;    // a serial source's
  std::string id;      // the data id its lines start with ("": none)
  FieldMap map;
  bool operator==(const AncillarySpec&) const = default;
  // How messages, read-outs and NAME.ancillary.csv name it: its id, else
  // its source's text.
  std::string Name() const { return id.empty() ? source : id; }
};
inline constexpr long kDefaultAncillaryBaud = 9600;

// One value of a quantity at a UTC time.
struct AncillaryReading {
  std::int64_t utcMs = 0;
  Quantity quantity = Quantity::kTemperature;
  double value = 0.0;
  bool operator==(const AncillaryReading&) const = default;
};

// What a source's lines gave and did not give.
struct AncillaryCounts {
  long long lines = 0;     // lines that gave their readings
  long long spoiled = 0;   // cut short, run together, a field that is no number, too long
  long long otherIds = 0;  // lines of another data id, passed over
  bool operator==(const AncillaryCounts&) const = default;
};

// Reads the lines of one spec.
class AncillaryLineReader {
 public:
  enum class Result { kReadings, kOtherId, kSpoiled, kEmpty };
  explicit AncillaryLineReader(AncillarySpec spec) : spec_(std::move(spec)) {}
  // One line (without its line end) that arrived at `arrivedUtcMs`: its
  // readings appended to `out`.
  Result Read(std::string_view line, std::int64_t arrivedUtcMs, std::vector<AncillaryReading>& out);
  const AncillarySpec& spec() const { return spec_; }
  const AncillaryCounts& counts() const { return counts_; }
  AncillaryCounts& counts() { return counts_; }

 private:
  AncillarySpec spec_;
  AncillaryCounts counts_;
  std::size_t fieldCount_ = 0;  // of the first good line (0: none yet)
};

// A link with the readers of every spec on it (several data ids may share
// one UDP port or serial line).
class AncillarySource {
 public:
  AncillarySource(std::unique_ptr<LineLink> link, std::vector<AncillarySpec> specs);
  // Reads what has arrived, without waiting: readings[k] gets those of
  // spec k. False when the link failed for good.
  bool Poll(std::vector<std::vector<AncillaryReading>>& readings);
  int InputHandle() const { return link_->InputHandle(); }
  std::string Describe() const { return link_->Describe(); }
  bool Lost() const { return link_->Lost(); }
  const std::string& Notice() const { return link_->Notice(); }
  std::size_t size() const { return readers_.size(); }
  const AncillaryLineReader& reader(std::size_t k) const { return readers_[k]; }
  // Spec k's counts; the link's spoiled lines count with the first spec.
  AncillaryCounts Counts(std::size_t k) const;

 private:
  std::unique_ptr<LineLink> link_;
  std::vector<AncillaryLineReader> readers_;
  std::vector<AncillaryReading> lineReadings_;
};

// The sources of `specs`, those on the same link text together. Null with
// `error` set when one's text is of no source's form or does not open.
std::vector<std::unique_ptr<AncillarySource>> OpenAncillarySources(const std::vector<AncillarySpec>& specs,
                                                                   std::string& error);

// The valve switched by the clock: every `everyMin` minutes (counted from
// the hour, less `offsetMin`), filtered for the first `filteredMin` of
// them. "60,10,0": filtered from :00 to :10 each hour; "30,5,2": from :02
// to :07 and from :32 to :37.
struct ValveSchedule {
  double everyMin = 0.0;
  double filteredMin = 0.0;
  double offsetMin = 0.0;
  bool operator==(const ValveSchedule&) const = default;

  // Whether the valve is on filter at `utcMs`.
  bool FilteredAt(std::int64_t utcMs) const;
  // The next switch after `utcMs`.
  std::int64_t NextSwitch(std::int64_t utcMs) const;
  // "60,10,0".
  std::string Text() const;
};
// "EVERY,FILTERED[,OFFSET]" in minutes (decimals allowed): 0 < FILTERED <
// EVERY, 0 <= OFFSET < EVERY. False with `error` set for another text.
bool ParseValveSchedule(std::string_view text, ValveSchedule& schedule, std::string& error);

}  // namespace sondrix
