// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/ancillary.h"

#include <charconv>
#include <cmath>
#include <map>

#include "common/text_format.h"
#include "common/text_list.h"
#include "common/utils.h"
#include "io/position_source.h"
#include "platform/clock.h"

namespace sondrix {
namespace {

constexpr QuantityRow kQuantities[] = {
    {Quantity::kTemperature, "temperature", "degC (ITS-90)", "sea_water_temperature", "degree_Celsius", "wt",
     "degreesC", 1.0, "sea_water_temperature [degC]", 4},
    {Quantity::kSalinity, "salinity", "PSS-78", "sea_water_practical_salinity", "1", "sal", "PSU", 1.0,
     "sea_water_practical_salinity [PSS-78]", 4},
    {Quantity::kConductivity, "conductivity", "S/m", "sea_water_electrical_conductivity", "S m-1", "cond",
     "mS/cm", 10.0, "sea_water_electrical_conductivity [S/m]", 5},
    {Quantity::kPressure, "pressure", "dbar", "sea_water_pressure", "dbar", "pressure", "dbar", 1.0,
     "sea_water_pressure [dbar]", 3},
    {Quantity::kValve, "valve", "0 total, 1 filtered", "valve_state", "1", "valve_state", "none", 1.0,
     "valve_state [0 total; 1 filtered]", 0},
};
static_assert(std::size(kQuantities) == kQuantityCount);

constexpr LinkRole kShipDataRole{"ship's data source", "source", "readings"};
constexpr int kMostFields = 999;

// A blank or a tab.
bool Blank(char c) { return c == ' ' || c == '\t'; }

// The fields of `text`: separated by blanks, or by one comma with blanks
// around it; two commas in a row leave an empty field between them.
std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  while (at < text.size() && Blank(text[at])) ++at;
  if (at == text.size()) return fields;
  for (;;) {
    std::size_t end = at;
    while (end < text.size() && !Blank(text[end]) && text[end] != ',') ++end;
    fields.push_back(text.substr(at, end - at));
    at = end;
    while (at < text.size() && Blank(text[at])) ++at;
    if (at < text.size() && text[at] == ',') {
      ++at;
      while (at < text.size() && Blank(text[at])) ++at;
      if (at == text.size()) {
        fields.emplace_back();  // a comma at the end: an empty last field
        return fields;
      }
      continue;
    }
    if (at == text.size()) return fields;
  }
}

std::optional<double> Number(std::string_view field) {
  double value = 0.0;
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (field.empty() || error != std::errc() || end != field.data() + field.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

constexpr std::int64_t kMinuteMs = 60000;

std::int64_t Minutes(double minutes) { return std::llround(minutes * kMinuteMs); }

// Milliseconds into the schedule's cycle at `utcMs`.
std::int64_t IntoCycle(const ValveSchedule& s, std::int64_t utcMs) {
  const std::int64_t every = Minutes(s.everyMin);
  const std::int64_t into = (utcMs - Minutes(s.offsetMin)) % every;
  return into < 0 ? into + every : into;
}

}  // namespace

std::span<const QuantityRow> Quantities() { return kQuantities; }

const QuantityRow& RowOf(Quantity quantity) { return kQuantities[static_cast<std::size_t>(quantity)]; }

bool ParseQuantity(std::string_view name, Quantity& quantity) {
  for (const QuantityRow& row : kQuantities) {
    if (stricmp(row.name, name) == 0) {
      quantity = row.quantity;
      return true;
    }
  }
  return false;
}

bool IsDataId(std::string_view id) { return !id.empty() && id.find_first_of(" \t,") == std::string_view::npos; }

std::string QuantityList() {
  std::vector<std::string> names;
  for (const QuantityRow& row : kQuantities) names.emplace_back(row.name);
  return JoinList(names, ", ", " or ");
}

std::optional<double> ParseValveState(std::string_view text) {
  if (text == "0" || stricmp(text, "total") == 0) return kValveTotal;
  if (text == "1" || stricmp(text, "filtered") == 0) return kValveFiltered;
  return std::nullopt;
}

std::string_view ValveStateText(bool filtered) { return filtered ? "Filtered" : "Whole water"; }

bool FieldMap::Has(Quantity quantity) const {
  for (const auto& [q, field] : fields) {
    if (q == quantity) return true;
  }
  return false;
}

bool ParseFieldMap(std::string_view text, FieldMap& map, std::string& error) {
  map = {};
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
    // Blanks around an item are no part of it ("temperature=1, salinity=3").
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    const std::size_t equals = item.find('=');
    Quantity quantity{};
    int field = 0;
    const std::string_view number = equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
    const auto [end, failed] = std::from_chars(number.data(), number.data() + number.size(), field);
    if (equals == std::string_view::npos || !ParseQuantity(item.substr(0, equals), quantity) ||
        (!(quantity == Quantity::kValve && number == "line") &&
         (number.empty() || failed != std::errc() || end != number.data() + number.size() || field < 1 ||
          field > kMostFields))) {
      error = "\"" + std::string(item) + "\" is no QUANTITY=FIELD: QUANTITY is " + QuantityList() +
              ", FIELD the field's number, 1 for the first after the data id and the time (valve=line: the "
              "whole line says the valve's state)";
      return false;
    }
    if (map.Has(quantity)) {
      error = std::string(RowOf(quantity).name) + " is given twice";
      return false;
    }
    map.fields.emplace_back(quantity, number == "line" ? 0 : field);
  }
  if (map.fields.empty()) {
    error = "no field given: QUANTITY=FIELD,... (" + QuantityList() + ")";
    return false;
  }
  return true;
}

std::string FieldMapText(const FieldMap& map) {
  std::string text;
  for (const auto& [quantity, field] : map.fields) {
    text += (text.empty() ? "" : ",") + std::string(RowOf(quantity).name) + "=" +
            (field == 0 ? std::string("line") : std::to_string(field));
  }
  return text;
}

AncillaryLineReader::Result AncillaryLineReader::Read(std::string_view line, std::int64_t arrivedUtcMs,
                                                      std::vector<AncillaryReading>& out) {
  while (!line.empty() && (Blank(line.back()) || line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  while (!line.empty() && Blank(line.front())) line.remove_prefix(1);
  // An empty line (a CR and an LF each ending one) says nothing.
  if (line.empty()) return Result::kEmpty;
  const auto spoiled = [this] {
    ++counts_.spoiled;
    return Result::kSpoiled;
  };
  if (!spec_.id.empty()) {
    if (!line.starts_with(spec_.id) ||
        (line.size() > spec_.id.size() && !Blank(line[spec_.id.size()]) && line[spec_.id.size()] != ',')) {
      ++counts_.otherIds;
      return Result::kOtherId;
    }
    line.remove_prefix(spec_.id.size());
    while (!line.empty() && (Blank(line.front()) || line.front() == ',')) line.remove_prefix(1);
  }
  // A time right after the id (or at the start), known by its form.
  std::int64_t utcMs = arrivedUtcMs;
  {
    std::size_t end = 0;
    while (end < line.size() && !Blank(line[end]) && line[end] != ',') ++end;
    const std::string_view first = line.substr(0, end);
    const bool looksLikeOne = first.size() >= 10 && first[4] == '-' && first[7] == '-' &&
                              Number(first.substr(0, 4)).has_value();
    if (looksLikeOne) {
      const std::optional<std::int64_t> time = ParseIsoUtc(first);
      if (!time) return spoiled();
      utcMs = *time;
      line.remove_prefix(end);
      while (!line.empty() && (Blank(line.front()) || line.front() == ',')) line.remove_prefix(1);
    }
  }
  const std::vector<std::string_view> fields = Fields(line);
  if (fields.empty()) return spoiled();
  if (fieldCount_ != 0 && fields.size() != fieldCount_) return spoiled();
  const std::size_t before = out.size();
  for (const auto& [quantity, field] : spec_.map.fields) {
    std::optional<double> value;
    if (field == 0) {
      value = ParseValveState(line);
    } else if (static_cast<std::size_t>(field) <= fields.size()) {
      const std::string_view text = fields[static_cast<std::size_t>(field) - 1];
      value = quantity == Quantity::kValve ? ParseValveState(text) : Number(text);
    }
    if (!value) {
      out.resize(before);
      return spoiled();
    }
    out.push_back({utcMs, quantity, *value});
  }
  if (fieldCount_ == 0) fieldCount_ = fields.size();
  ++counts_.lines;
  return Result::kReadings;
}

AncillarySource::AncillarySource(std::unique_ptr<LineLink> link, std::vector<AncillarySpec> specs)
    : link_(std::move(link)) {
  for (AncillarySpec& spec : specs) readers_.emplace_back(std::move(spec));
}

bool AncillarySource::Poll(std::vector<std::vector<AncillaryReading>>& readings) {
  readings.resize(readers_.size());
  const std::int64_t arrived = platform::UtcMs();
  return link_->Poll([&](std::string_view line) {
    // The first reader whose id the line has takes it; a line of no
    // reader's id is counted with each as another's.
    for (std::size_t k = 0; k < readers_.size(); ++k) {
      lineReadings_.clear();
      const AncillaryLineReader::Result read = readers_[k].Read(line, arrived, lineReadings_);
      if (read == AncillaryLineReader::Result::kEmpty) return;
      if (read == AncillaryLineReader::Result::kOtherId) continue;
      if (read == AncillaryLineReader::Result::kReadings)
        readings[k].insert(readings[k].end(), lineReadings_.begin(), lineReadings_.end());
      // Those before it counted the line as another's: it was this one's.
      for (std::size_t j = 0; j < k; ++j) --readers_[j].counts().otherIds;
      return;
    }
  });
}

AncillaryCounts AncillarySource::Counts(std::size_t k) const {
  AncillaryCounts counts = readers_[k].counts();
  if (k == 0) counts.spoiled += link_->spoiled();
  return counts;
}

std::vector<std::unique_ptr<AncillarySource>> OpenAncillarySources(const std::vector<AncillarySpec>& specs,
                                                                   std::string& error) {
  std::vector<std::unique_ptr<AncillarySource>> sources;
  std::map<std::string, std::vector<AncillarySpec>> byLink;
  std::vector<std::string> order;
  for (const AncillarySpec& spec : specs) {
    std::string why;
    const std::optional<PositionSpec> parsed = ParsePositionSpec(spec.source, why);
    if (!parsed || parsed->kind == PositionSpec::Kind::Gpsd) {
      error = "\"" + spec.source + "\" is no ship's data source: give COM1 ... COM8, a device path "
              "(/dev/ttyUSB1), udp:PORT or udp:PORT:shared";
      return {};
    }
    const std::string key = parsed->kind == PositionSpec::Kind::Udp ? "udp:" + std::to_string(parsed->port)
                                                                   : parsed->name;
    if (!byLink.contains(key)) order.push_back(key);
    byLink[key].push_back(spec);
  }
  for (const std::string& key : order) {
    std::vector<AncillarySpec>& group = byLink[key];
    std::string why;
    const std::optional<PositionSpec> parsed = ParsePositionSpec(group.front().source, why);
    std::unique_ptr<LineLink> link =
        parsed->kind == PositionSpec::Kind::Udp
            ? OpenUdpLink(parsed->port, parsed->shared, kShipDataRole, why)
            : OpenSerialLink(parsed->name, group.front().baud, kShipDataRole, why);
    if (!link) {
      error = group.front().source + ": " + why;
      return {};
    }
    sources.push_back(std::make_unique<AncillarySource>(std::move(link), std::move(group)));
  }
  return sources;
}

bool ValveSchedule::FilteredAt(std::int64_t utcMs) const { return IntoCycle(*this, utcMs) < Minutes(filteredMin); }

std::int64_t ValveSchedule::NextSwitch(std::int64_t utcMs) const {
  const std::int64_t into = IntoCycle(*this, utcMs);
  const std::int64_t filtered = Minutes(filteredMin);
  return utcMs + (into < filtered ? filtered - into : Minutes(everyMin) - into);
}

std::string ValveSchedule::Text() const {
  return Format("%g,%g,%g", everyMin, filteredMin, offsetMin);
}

bool ParseValveSchedule(std::string_view text, ValveSchedule& schedule, std::string& error) {
  std::vector<double> numbers;
  bool formed = true;
  for (std::string_view rest = text;;) {
    const std::size_t comma = rest.find(',');
    const std::optional<double> value = Number(rest.substr(0, comma));
    formed = formed && value.has_value();
    numbers.push_back(value.value_or(0.0));
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  formed = formed && (numbers.size() == 2 || numbers.size() == 3);
  schedule = {};
  if (formed) schedule = {numbers[0], numbers[1], numbers.size() == 3 ? numbers[2] : 0.0};
  if (!formed || Minutes(schedule.filteredMin) <= 0 || Minutes(schedule.filteredMin) >= Minutes(schedule.everyMin) ||
      schedule.offsetMin < 0.0 || Minutes(schedule.offsetMin) >= Minutes(schedule.everyMin) ||
      schedule.everyMin > 24 * 60) {
    error = "\"" + std::string(text) + "\" is no valve schedule: give EVERY,FILTERED[,OFFSET] in minutes, "
            "0 < FILTERED < EVERY <= 1440 and 0 <= OFFSET < EVERY (60,10,0: filtered from :00 to :10 each hour)";
    return false;
  }
  return true;
}

}  // namespace sondrix
