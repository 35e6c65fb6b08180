// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/companion.h"

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>

#include "common/file.h"
#include "common/text_format.h"
#include "platform/file_replacement.h"
#include "platform/paths.h"

namespace sondrix {
namespace {

using nlohmann::json;

constexpr std::string_view kFormat = "sondrix-companion";

std::optional<std::size_t> KeyIndex(std::string_view key) {
  const auto it = std::find(kDeploymentKeys.begin(), kDeploymentKeys.end(), key);
  if (it == kDeploymentKeys.end()) return std::nullopt;
  return static_cast<std::size_t>(it - kDeploymentKeys.begin());
}

// The years a companion's times may lie in: 1970-01-01T00:00:00.000Z ...
// 9999-12-31T23:59:59.999Z. A sample's UTC is such a time plus its stamp,
// which then stays far from the ends of 64 bits.
constexpr std::int64_t kEarliestUtcMs = 0;
constexpr std::int64_t kLatestUtcMs = 253402300799999;
// Zones lie within 18 hours of UTC.
constexpr std::int64_t kMaxUtcOffsetSeconds = 18 * 3600;

// `text` of the object's `key` when there is one (its escaped bytes given
// back, see CompanionJson); false when it is there but no text.
bool TakeText(const json& object, const char* key, std::string& text) {
  const auto it = object.find(key);
  if (it == object.end() || it->is_null()) return true;
  if (!it->is_string()) return false;
  text = UnescapeBytes(it->get_ref<const std::string&>());
  return true;
}

// A text as the companion holds it: well-formed UTF-8, whatever bytes a
// file name or a value given on the command line holds.
std::string Text(const std::string& bytes) { return EscapeBytes(bytes); }

// The whole number a JSON value holds, when it is one of 64 bits.
std::optional<std::int64_t> WholeNumber(const json& value) {
  if (value.is_number_unsigned()) {
    const auto number = value.get<std::uint64_t>();
    if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(number);
  }
  if (value.is_number_integer()) return value.get<std::int64_t>();
  return std::nullopt;
}

// A UTC time of the companion: `out` when `value` is a whole number of
// milliseconds within the years 1970 ... 9999, else false with `error` set.
bool TakeUtcMs(const json& value, const char* name, std::int64_t& out, std::string& error) {
  if (!value.is_number_integer()) {
    error = std::string(name) + " is not a whole number";
    return false;
  }
  const std::optional<std::int64_t> number = WholeNumber(value);
  if (!number || *number < kEarliestUtcMs || *number > kLatestUtcMs) {
    error = std::string(name) + " " + value.dump() + " lies outside the years 1970 ... 9999";
    return false;
  }
  out = *number;
  return true;
}

// The clock's anchors ([[stamp, utc], ...], stamps ascending) and breaks
// (ascending stamps).
bool TakeClock(const json& clock, ClockMap& map) {
  if (!clock.is_object()) return false;
  const auto anchors = clock.find("anchors");
  if (anchors == clock.end() || !anchors->is_array()) return false;
  for (const json& pair : *anchors) {
    if (!pair.is_array() || pair.size() != 2) return false;
    const std::optional<std::int64_t> time = WholeNumber(pair[0]);
    const std::optional<std::int64_t> utc = WholeNumber(pair[1]);
    if (!time || !utc) return false;
    const ClockAnchor a{*time, *utc};
    // Times a run can have: stamps within ±2^50 ms (35 000 years), UTC
    // from 1970 to the end of 9999, so that no sum of them overflows.
    constexpr std::int64_t kStampLimit = std::int64_t{1} << 50;
    constexpr std::int64_t kLastUtcMs = 253402300799999;
    if (a.timeMs < -kStampLimit || a.timeMs > kStampLimit || a.utcMs < 0 || a.utcMs > kLastUtcMs) return false;
    if (!map.anchors.empty() && a.timeMs <= map.anchors.back().timeMs) return false;
    map.anchors.push_back(a);
  }
  if (const auto breaks = clock.find("breaks"); breaks != clock.end() && !breaks->is_null()) {
    if (!breaks->is_array()) return false;
    for (const json& at : *breaks) {
      const std::optional<std::int64_t> whole = WholeNumber(at);
      if (!whole) return false;
      const std::int64_t t = *whole;
      if (!map.breaks.empty() && t <= map.breaks.back()) return false;
      map.breaks.push_back(t);
    }
  }
  return !map.anchors.empty();
}

}  // namespace

const std::string* Deployment::Find(std::string_view key) const {
  const auto index = KeyIndex(key);
  return index ? &values[*index] : nullptr;
}

bool Deployment::Set(std::string_view key, std::string_view value) {
  const auto index = KeyIndex(key);
  if (!index) return false;
  values[*index] = std::string(value);
  return true;
}

bool Deployment::SetFromText(std::string_view keyEqualsValue) {
  const std::size_t equals = keyEqualsValue.find('=');
  return equals != std::string_view::npos && Set(keyEqualsValue.substr(0, equals), keyEqualsValue.substr(equals + 1));
}

std::string DeploymentKeyList() {
  std::string list;
  for (const std::string_view key : kDeploymentKeys) {
    if (!list.empty()) list += ", ";
    list += key;
  }
  return list;
}

bool Deployment::Empty() const {
  return std::all_of(values.begin(), values.end(), [](const std::string& v) { return v.empty(); });
}

std::string CompanionPathFor(std::string_view dataFile) { return BesidePath(dataFile, ".meta.json"); }

std::string CompanionJson(const Companion& c) {
  json deployment = json::object();
  for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k)
    deployment[std::string(kDeploymentKeys[k])] = Text(c.deployment.values[k]);
  json out = {
      {"format", kFormat},
      {"version", Companion::kVersion},
      {"time_zero_utc_ms", c.timeZeroUtcMs ? json(*c.timeZeroUtcMs) : json(nullptr)},
      {"utc_offset_seconds", c.utcOffsetSeconds},
      {"program", Text(c.program)},
      {"source",
       {{"port", Text(c.port)},
        {"device", Text(c.device)},
        {"serial_number", Text(c.serialNumber)},
        {"device_file", Text(c.deviceFile)}}},
      {"deployment", deployment},
      {"position_source", Text(c.positionSource)},
  };
  if (!c.clock.Empty()) {
    json anchors = json::array();
    for (const ClockAnchor& a : c.clock.anchors) anchors.push_back({a.timeMs, a.utcMs});
    out["clock"] = {{"method", Text(c.clockMethod)}, {"anchors", std::move(anchors)}, {"breaks", c.clock.breaks}};
  }
  if (!c.ancillarySources.empty()) {
    json sources = json::array();
    for (const AncillarySpec& spec : c.ancillarySources)
      sources.push_back({{"source", Text(spec.source)}, {"id", Text(spec.id)}, {"fields", FieldMapText(spec.map)},
                         {"baud", spec.baud}});
    out["ancillary_sources"] = std::move(sources);
  }
  if (c.valveSchedule) out["valve_schedule"] = c.valveSchedule->Text();
  json events = json::array();
  for (const RunEvent& event : c.events)
    events.push_back(
        {{"utc_ms", event.utcMs}, {"utc", IsoUtc(event.utcMs)}, {"kind", Text(event.kind)}, {"note", Text(event.note)}});
  out["events"] = std::move(events);
  return out.dump(2) + "\n";
}

bool ParseCompanion(std::string_view text, Companion& out, std::string& error) {
  const json in = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (in.is_discarded() || !in.is_object()) {
    error = "not a JSON object";
    return false;
  }
  const auto version = in.find("version");
  if (version == in.end() || !version->is_number_integer()) {
    error = "no version";
    return false;
  }
  if (const std::optional<std::int64_t> number = WholeNumber(*version);
      !number || *number > Companion::kVersion || *number < 1) {
    error = "version " + version->dump() + " is not one this program reads";
    return false;
  }
  Companion c;
  if (const auto zero = in.find("time_zero_utc_ms"); zero != in.end() && !zero->is_null()) {
    std::int64_t utcMs = 0;
    if (!TakeUtcMs(*zero, "time_zero_utc_ms", utcMs, error)) return false;
    c.timeZeroUtcMs = utcMs;
  }
  if (const auto offset = in.find("utc_offset_seconds"); offset != in.end()) {
    const std::optional<std::int64_t> seconds =
        offset->is_number_integer() ? WholeNumber(*offset) : std::optional<std::int64_t>();
    if (!seconds || *seconds < -kMaxUtcOffsetSeconds || *seconds > kMaxUtcOffsetSeconds) {
      error = "utc_offset_seconds " + offset->dump() + " is not a zone's offset (whole seconds within 18 hours)";
      return false;
    }
    c.utcOffsetSeconds = static_cast<int>(*seconds);
  }
  bool texts = TakeText(in, "program", c.program);
  if (const auto source = in.find("source"); source != in.end() && source->is_object()) {
    texts = texts && TakeText(*source, "port", c.port) && TakeText(*source, "device", c.device) &&
            TakeText(*source, "serial_number", c.serialNumber) && TakeText(*source, "device_file", c.deviceFile);
  }
  if (const auto deployment = in.find("deployment"); deployment != in.end() && deployment->is_object()) {
    for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k)
      texts = texts && TakeText(*deployment, std::string(kDeploymentKeys[k]).c_str(), c.deployment.values[k]);
  }
  texts = texts && TakeText(in, "position_source", c.positionSource);
  if (const auto clock = in.find("clock"); clock != in.end() && !clock->is_null()) {
    if (!TakeClock(*clock, c.clock) || !TakeText(*clock, "method", c.clockMethod)) {
      error = "clock is not a list of ascending [time stamp, UTC] pairs with ascending breaks";
      return false;
    }
  }
  if (const auto events = in.find("events"); events != in.end() && !events->is_null()) {
    if (!events->is_array()) {
      error = "events is not a list";
      return false;
    }
    for (const json& item : *events) {
      const auto when = item.is_object() ? item.find("utc_ms") : item.end();
      if (when == item.end()) {
        error = "an event has no utc_ms";
        return false;
      }
      RunEvent event;
      if (!TakeUtcMs(*when, "an event's utc_ms", event.utcMs, error)) return false;
      texts = texts && TakeText(item, "kind", event.kind) && TakeText(item, "note", event.note);
      c.events.push_back(std::move(event));
    }
  }
  if (const auto sources = in.find("ancillary_sources"); sources != in.end() && !sources->is_null()) {
    if (!sources->is_array()) {
      error = "ancillary_sources is not a list";
      return false;
    }
    for (const json& item : *sources) {
      AncillarySpec spec;
      std::string fields;
      const auto baud = item.is_object() ? item.find("baud") : item.end();
      texts = texts && item.is_object() && TakeText(item, "source", spec.source) && TakeText(item, "id", spec.id) &&
              TakeText(item, "fields", fields);
      if (baud != item.end() && baud->is_number_integer()) spec.baud = baud->get<long>();
      std::string why;
      if (texts && !ParseFieldMap(fields, spec.map, why)) {
        error = "an ancillary source's fields: " + why;
        return false;
      }
      c.ancillarySources.push_back(std::move(spec));
    }
  }
  if (const auto schedule = in.find("valve_schedule"); schedule != in.end() && !schedule->is_null()) {
    ValveSchedule parsed;
    std::string why;
    if (!schedule->is_string() || !ParseValveSchedule(schedule->get_ref<const std::string&>(), parsed, why)) {
      error = "valve_schedule: " + why;
      return false;
    }
    c.valveSchedule = parsed;
  }
  if (!texts) {
    error = "a text field holds something else";
    return false;
  }
  out = std::move(c);
  return true;
}

Status WriteCompanion(const std::string& path, const Companion& companion) {
  return platform::ReplaceFileWith(path, CompanionJson(companion), ".new") == 0 ? status::kOk : status::kWriteFailed;
}

Status ReadCompanion(const std::string& path, Companion& out, std::string& error) {
  const std::optional<std::string> text = platform::ReadRegularFile(path);
  if (!text) return status::kCantOpenFile;
  return ParseCompanion(*text, out, error) ? status::kOk : status::kUnrecognisedData;
}

}  // namespace sondrix
