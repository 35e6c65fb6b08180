// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: a recording's companion (NAME.meta.json) both ways. When bit
// 0 of the first byte is set, the rest is the file's text for
// ParseCompanion; otherwise the rest makes a companion (texts between NUL
// bytes, times, the UTC offset and a clock from the bytes around them) for
// CompanionJson. Checks:
// - a companion that is read, written by CompanionJson and read again is
//   the same companion, and written again the same text;
// - a text that is refused leaves the companion given as it was and says
//   why;
// - what was read is what the file says, as the target reads the JSON: the
//   version exactly 1, the time zero, the UTC offset and every event's time
//   exactly the file's whole numbers, the texts the file's, the clock's
//   anchors and breaks the file's pairs and times;
// - the clock read gives each anchor's UTC at its time stamp, and time
//   stamps of a sample up to +-2^62 (with kClockTakesAnyStamp, the whole
//   range of int64) a UTC without overflow;
// - a companion made of any texts, times from 1970 to 9999, a zone's offset
//   and a clock is written as JSON that reads back as the same companion.
// Texts of any bytes (no UTF-8, NUL) are written escaped and read back as
// those bytes; whole numbers near +-2^63 and versions such as 4294967297 are
// refused, never cut down to fit.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "datafile/companion.h"

namespace {

using nlohmann::json;
using sondrix::Companion;
using sondrix::RunEvent;

// A damaged data file's line can carry any whole number as its stamp: the
// target asks the clock for stamps at the ends of int64 too (ClockMap::Utc
// computes them in doubles, clamped, since it overflowed there).
constexpr bool kClockTakesAnyStamp = true;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// The file's whole number `value` is exactly `expected`.
bool SameWhole(const json& value, std::int64_t expected) {
  if (value.is_number_unsigned()) {
    return expected >= 0 && value.get<std::uint64_t>() == static_cast<std::uint64_t>(expected);
  }
  return value.is_number_integer() && value.get<std::int64_t>() == expected;
}

// The file's text at `key` of `object` ("" when not there or null).
std::string FileText(const json& object, const char* key) {
  if (!object.is_object() || !object.contains(key) || object[key].is_null()) return "";
  return object[key].get<std::string>();
}

// What was read against what the file says.
void CheckAsFileSays(const json& in, const Companion& c) {
  Check(in.is_object() && in["version"].is_number_integer());
  Check(SameWhole(in["version"], 1));
  if (in.contains("time_zero_utc_ms") && !in["time_zero_utc_ms"].is_null()) {
    Check(c.timeZeroUtcMs.has_value());
    Check(SameWhole(in["time_zero_utc_ms"], *c.timeZeroUtcMs));
  } else {
    Check(!c.timeZeroUtcMs.has_value());
  }
  if (in.contains("utc_offset_seconds")) {
    Check(SameWhole(in["utc_offset_seconds"], c.utcOffsetSeconds));
  } else {
    Check(c.utcOffsetSeconds == 0);
  }
  Check(c.program == FileText(in, "program"));
  const json source = in.contains("source") && in["source"].is_object() ? in["source"] : json::object();
  Check(c.port == FileText(source, "port") && c.device == FileText(source, "device") &&
        c.serialNumber == FileText(source, "serial_number") && c.deviceFile == FileText(source, "device_file"));
  const json deployment =
      in.contains("deployment") && in["deployment"].is_object() ? in["deployment"] : json::object();
  for (std::size_t k = 0; k < sondrix::kDeploymentKeys.size(); ++k) {
    Check(c.deployment.values[k] == FileText(deployment, std::string(sondrix::kDeploymentKeys[k]).c_str()));
  }
  Check(c.positionSource == FileText(in, "position_source"));
  if (in.contains("clock") && !in["clock"].is_null()) {
    const json& clock = in["clock"];
    Check(c.clockMethod == FileText(clock, "method") && clock["anchors"].size() == c.clock.anchors.size());
    for (std::size_t i = 0; i < c.clock.anchors.size(); ++i) {
      Check(SameWhole(clock["anchors"][i][0], c.clock.anchors[i].timeMs) &&
            SameWhole(clock["anchors"][i][1], c.clock.anchors[i].utcMs));
    }
    const json breaks = clock.contains("breaks") && !clock["breaks"].is_null() ? clock["breaks"] : json::array();
    Check(breaks.size() == c.clock.breaks.size());
    for (std::size_t i = 0; i < breaks.size(); ++i) Check(SameWhole(breaks[i], c.clock.breaks[i]));
  } else {
    Check(c.clock.Empty() && c.clockMethod.empty());
  }
  const json events = in.contains("events") && !in["events"].is_null() ? in["events"] : json::array();
  Check(events.size() == c.events.size());
  for (std::size_t i = 0; i < c.events.size(); ++i) {
    Check(SameWhole(events[i]["utc_ms"], c.events[i].utcMs));
    Check(c.events[i].kind == FileText(events[i], "kind") && c.events[i].note == FileText(events[i], "note"));
  }
}

// The clock at its anchors, and at sample times of every size.
void CheckClock(const sondrix::ClockMap& clock) {
  if (clock.Empty()) return;
  for (const sondrix::ClockAnchor& anchor : clock.anchors) Check(clock.Utc(anchor.timeMs) == anchor.utcMs);
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::vector<std::int64_t> times = {kMin / 2, -1, 0, kMax / 2};
  if (kClockTakesAnyStamp) times.insert(times.end(), {kMin, kMin + 1, kMax - 1, kMax});
  for (const std::int64_t t : times) {
    volatile std::int64_t utc = clock.Utc(t);
    (void)utc;
  }
  for (const std::int64_t t : clock.breaks) {
    volatile std::int64_t utc = clock.Utc(t);
    (void)utc;
  }
}

// Written, read back, written again.
void CheckWrittenBack(const Companion& c) {
  const std::string text = sondrix::CompanionJson(c);
  Companion again;
  std::string error;
  Check(sondrix::ParseCompanion(text, again, error));
  Check(again == c);
  Check(sondrix::CompanionJson(again) == text);
}

void FromFile(std::string_view text) {
  const json in = json::parse(text.begin(), text.end(), nullptr, false);
  Companion c;
  c.program = "untouched";
  c.events.push_back(RunEvent{42, "note", "untouched"});
  const Companion given = c;
  std::string error;
  if (!sondrix::ParseCompanion(text, c, error)) {
    Check(c == given && !error.empty());
    return;
  }
  CheckAsFileSays(in, c);
  CheckClock(c.clock);
  CheckWrittenBack(c);
}

// The last millisecond of 9999.
constexpr std::int64_t kLatestUtcMs = 253402300799999;

// `value` folded into low ... high.
std::int64_t Within(std::uint64_t value, std::int64_t low, std::int64_t high) {
  return low + static_cast<std::int64_t>(value % static_cast<std::uint64_t>(high - low + 1));
}

// The next text of `bytes` (up to a NUL byte).
std::string NextText(std::string_view& bytes) {
  const std::size_t end = bytes.find('\0');
  std::string text(bytes.substr(0, end));
  bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
  return text;
}

template <typename Number>
Number NextNumber(std::string_view& bytes) {
  Number value{};
  const std::size_t n = std::min(sizeof value, bytes.size());
  std::memcpy(&value, bytes.data(), n);
  bytes.remove_prefix(n);
  return value;
}

void FromValues(std::string_view bytes) {
  Companion c;
  const auto flags = NextNumber<std::uint8_t>(bytes);
  // Times of 1970 to 9999 and a zone's offset (within 18 hours), what a
  // run writes and the reader takes.
  const auto zero = Within(NextNumber<std::uint64_t>(bytes), 0, kLatestUtcMs);
  if (flags & 1) c.timeZeroUtcMs = zero;
  c.utcOffsetSeconds = static_cast<int>(Within(NextNumber<std::uint32_t>(bytes), -18 * 3600, 18 * 3600));
  if (flags & 2) {
    // A clock as a run fits one: stamps ascending within +-2^50 ms, UTC
    // from 1970 to 9999, breaks ascending.
    std::int64_t time = -(std::int64_t{1} << 40);
    for (int n = NextNumber<std::uint8_t>(bytes) % 8 + 1; n > 0; --n) {
      time += std::int64_t{NextNumber<std::uint32_t>(bytes)} + 1;
      const std::int64_t utc = NextNumber<std::uint32_t>(bytes) * std::int64_t{50000};
      c.clock.anchors.push_back({time, utc});
    }
    std::int64_t at = -(std::int64_t{1} << 41);
    for (int n = NextNumber<std::uint8_t>(bytes) % 4; n > 0; --n) {
      at += std::int64_t{NextNumber<std::uint32_t>(bytes)} + 1;
      c.clock.breaks.push_back(at);
    }
    c.clockMethod = sondrix::kClockMethod;
  }
  std::vector<std::string*> texts = {&c.program, &c.port, &c.device, &c.serialNumber, &c.deviceFile,
                                     &c.positionSource};
  for (std::string& value : c.deployment.values) texts.push_back(&value);
  for (std::string* text : texts) *text = NextText(bytes);
  while (!bytes.empty()) {
    RunEvent event;
    event.utcMs = Within(NextNumber<std::uint64_t>(bytes), 0, kLatestUtcMs);
    event.kind = NextText(bytes);
    event.note = NextText(bytes);
    c.events.push_back(std::move(event));
  }
  CheckClock(c.clock);
  // Texts of any bytes are written escaped and read back as those bytes.
  CheckWrittenBack(c);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] & 1) {
    FromFile(rest);
  } else {
    FromValues(rest);
  }
  return 0;
}
