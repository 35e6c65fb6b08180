// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/trace_choice.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace sondrix {
namespace {

bool Known(double wavelength) { return std::isfinite(wavelength) && wavelength > 0.0; }

}  // namespace

bool WavelengthSpan(std::span<const TraceEntry> entries, double& shortest, double& longest) {
  bool any = false;
  for (const TraceEntry& entry : entries) {
    if (!Known(entry.wavelength)) continue;
    shortest = any ? std::min(shortest, entry.wavelength) : entry.wavelength;
    longest = any ? std::max(longest, entry.wavelength) : entry.wavelength;
    any = true;
  }
  return any;
}

bool HasKind(std::span<const TraceEntry> entries, TraceKind kind) {
  return std::any_of(entries.begin(), entries.end(),
                     [kind](const TraceEntry& entry) { return entry.sent && entry.kind == kind; });
}

void TickKind(std::span<const TraceEntry> entries, std::vector<bool>& ticks, TraceKind kind) {
  ticks.resize(entries.size(), false);
  for (std::size_t n = 0; n < entries.size(); ++n) {
    if (entries[n].sent) ticks[n] = entries[n].kind == kind;
  }
}

void TickRange(std::span<const TraceEntry> entries, std::vector<bool>& ticks, double from, double to,
               int step) {
  ticks.resize(entries.size(), false);
  step = std::max(step, 1);
  if (from > to) std::swap(from, to);
  const double lo = from - kWavelengthSlack;
  const double hi = to + kWavelengthSlack;

  // The kinds to choose from: those ticked now, or all.
  std::array<bool, 3> kinds{};
  for (std::size_t n = 0; n < entries.size(); ++n) {
    if (entries[n].sent && ticks[n]) kinds[static_cast<std::size_t>(entries[n].kind)] = true;
  }
  if (std::none_of(kinds.begin(), kinds.end(), [](bool on) { return on; })) kinds.fill(true);

  for (const TraceKind kind : {TraceKind::Other, TraceKind::A, TraceKind::C}) {
    const bool chosen = kinds[static_cast<std::size_t>(kind)];
    // The wavelengths of this kind within the range, shortest first; every
    // step-th of them is taken.
    std::vector<double> inRange;
    for (const TraceEntry& entry : entries) {
      if (entry.sent && entry.kind == kind && Known(entry.wavelength) && entry.wavelength >= lo &&
          entry.wavelength <= hi)
        inRange.push_back(entry.wavelength);
    }
    std::sort(inRange.begin(), inRange.end());
    inRange.erase(std::unique(inRange.begin(), inRange.end()), inRange.end());
    for (std::size_t n = 0; n < entries.size(); ++n) {
      const TraceEntry& entry = entries[n];
      if (!entry.sent || entry.kind != kind) continue;
      bool take = false;
      if (chosen && Known(entry.wavelength)) {
        const auto at = std::lower_bound(inRange.begin(), inRange.end(), entry.wavelength);
        take = at != inRange.end() && *at == entry.wavelength && (at - inRange.begin()) % step == 0;
      }
      ticks[n] = take;
    }
  }
}

}  // namespace sondrix
