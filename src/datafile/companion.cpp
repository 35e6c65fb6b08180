// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/companion.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "common/file.h"
#include "common/text_format.h"
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

// `text` of the object's `key` when there is one; false when it is there
// but no text.
bool TakeText(const json& object, const char* key, std::string& text) {
  const auto it = object.find(key);
  if (it == object.end() || it->is_null()) return true;
  if (!it->is_string()) return false;
  text = it->get<std::string>();
  return true;
}

// The clock's anchors ([[stamp, utc], ...], stamps ascending) and breaks
// (ascending stamps).
bool TakeClock(const json& clock, ClockMap& map) {
  if (!clock.is_object()) return false;
  const auto anchors = clock.find("anchors");
  if (anchors == clock.end() || !anchors->is_array()) return false;
  for (const json& pair : *anchors) {
    if (!pair.is_array() || pair.size() != 2 || !pair[0].is_number_integer() || !pair[1].is_number_integer())
      return false;
    const ClockAnchor a{pair[0].get<std::int64_t>(), pair[1].get<std::int64_t>()};
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
      if (!at.is_number_integer()) return false;
      const std::int64_t t = at.get<std::int64_t>();
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

std::string CompanionPathFor(std::string_view dataFile) {
  std::filesystem::path path{std::string(dataFile)};
  path.replace_extension(".meta.json");
  return path.string();
}

std::string CompanionJson(const Companion& c) {
  json deployment = json::object();
  for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k) deployment[std::string(kDeploymentKeys[k])] = c.deployment.values[k];
  json out = {
      {"format", kFormat},
      {"version", Companion::kVersion},
      {"time_zero_utc_ms", c.timeZeroUtcMs ? json(*c.timeZeroUtcMs) : json(nullptr)},
      {"utc_offset_seconds", c.utcOffsetSeconds},
      {"program", c.program},
      {"source", {{"port", c.port}, {"device", c.device}, {"serial_number", c.serialNumber}, {"device_file", c.deviceFile}}},
      {"deployment", deployment},
      {"position_source", c.positionSource},
  };
  if (!c.clock.Empty()) {
    json anchors = json::array();
    for (const ClockAnchor& a : c.clock.anchors) anchors.push_back({a.timeMs, a.utcMs});
    out["clock"] = {{"method", c.clockMethod}, {"anchors", std::move(anchors)}, {"breaks", c.clock.breaks}};
  }
  json events = json::array();
  for (const RunEvent& event : c.events)
    events.push_back({{"utc_ms", event.utcMs}, {"utc", IsoUtc(event.utcMs)}, {"kind", event.kind}, {"note", event.note}});
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
  if (version->get<int>() > Companion::kVersion || version->get<int>() < 1) {
    error = "version " + std::to_string(version->get<int>()) + " is not one this program reads";
    return false;
  }
  Companion c;
  if (const auto zero = in.find("time_zero_utc_ms"); zero != in.end() && !zero->is_null()) {
    if (!zero->is_number_integer()) {
      error = "time_zero_utc_ms is not a whole number";
      return false;
    }
    c.timeZeroUtcMs = zero->get<std::int64_t>();
  }
  if (const auto offset = in.find("utc_offset_seconds"); offset != in.end()) {
    if (!offset->is_number_integer()) {
      error = "utc_offset_seconds is not a whole number";
      return false;
    }
    c.utcOffsetSeconds = offset->get<int>();
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
      const auto when = item.find("utc_ms");
      if (!item.is_object() || when == item.end() || !when->is_number_integer()) {
        error = "an event has no utc_ms";
        return false;
      }
      RunEvent event;
      event.utcMs = when->get<std::int64_t>();
      texts = texts && TakeText(item, "kind", event.kind) && TakeText(item, "note", event.note);
      c.events.push_back(std::move(event));
    }
  }
  if (!texts) {
    error = "a text field holds something else";
    return false;
  }
  out = std::move(c);
  return true;
}

Status WriteCompanion(const std::string& path, const Companion& companion) {
  const std::string temporary = path + ".new";
  const std::string text = CompanionJson(companion);
  OwnedFile file = OwnedFile::Open(temporary, "w");
  if (!file) return status::kWriteFailed;
  const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() && file.Sync();
  if (!file.Close() || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return status::kWriteFailed;
  }
  SyncDirectoryOf(path);
  return status::kOk;
}

Status ReadCompanion(const std::string& path, Companion& out, std::string& error) {
  const std::optional<std::string> text = platform::ReadRegularFile(path);
  if (!text) return status::kCantOpenFile;
  return ParseCompanion(*text, out, error) ? status::kOk : status::kUnrecognisedData;
}

}  // namespace sondrix
