// SPDX-License-Identifier: GPL-3.0-or-later
#include "source/trace_list.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace sondrix {
namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

bool Known(double wavelength) { return std::isfinite(wavelength) && wavelength > 0.0; }

}  // namespace

TraceKind HeadingKind(std::string_view heading) {
  if (heading.empty()) return TraceKind::Other;
  switch (std::tolower(static_cast<unsigned char>(heading.front()))) {
    case 'a': return TraceKind::A;
    case 'c': return TraceKind::C;
    default: return TraceKind::Other;
  }
}

double HeadingWavelength(std::string_view heading) {
  std::size_t at = 0;
  while (at < heading.size() && std::isalpha(static_cast<unsigned char>(heading[at]))) ++at;
  double value = kNone;
  const char* first = heading.data() + at;
  const char* last = heading.data() + heading.size();
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end == first || !Known(value)) return kNone;
  return value;
}

std::vector<TraceEntry> ListTraces(Source& source) {
  TraceMap map{};
  const bool mapped = source.GetTraceMap(map) >= 0 &&
                      std::any_of(map.begin(), map.end(), [](std::int32_t flag) { return flag != 0; });
  std::array<double, kMaxTraces> wavelengths;
  wavelengths.fill(kNone);
  if (source.GetWavelengths(wavelengths) != status::kOk) wavelengths.fill(kNone);

  std::vector<TraceEntry> entries;
  for (int trace = 0; trace < kMaxTraces; ++trace) {
    TraceEntry entry;
    if (source.GetHeading(trace, entry.heading) != status::kOk) continue;
    const auto i = static_cast<std::size_t>(trace);
    entry.trace = trace;
    entry.sent = !mapped || map[i] != 0;
    if ((map[i] & 2) != 0) {
      entry.kind = TraceKind::A;
    } else if ((map[i] & 4) != 0) {
      entry.kind = TraceKind::C;
    } else {
      entry.kind = HeadingKind(entry.heading);
    }
    entry.wavelength = Known(wavelengths[i]) ? wavelengths[i] : HeadingWavelength(entry.heading);
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace sondrix
