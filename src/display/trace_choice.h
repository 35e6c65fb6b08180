// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing traces by kind and wavelength, as the acquisition dialog offers
// it beside its check list: every absorption trace, every attenuation
// trace, or the wavelengths from ... to, every k-th. The choices work on a
// list of the source's traces (those with a heading, in index order) and
// their ticks; the dialog shows the ticks and takes them when accepted.
//
// A trace's kind comes from the source's trace map (bit 2 absorption, bit 4
// attenuation), or from the first letter of its heading ("a412", "c650.3")
// when the map does not have it; its wavelength from the source's own
// wavelengths, or from the number in its heading when the source gives
// none. A trace the instrument does not send now (off the trace map of a
// source that has one) is never ticked or unticked by these choices: it
// keeps the user's choice for when the meter sends it again.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "source/source.h"

namespace sondrix {

enum class TraceKind { Other, A, C };

struct TraceEntry {
  int trace = -1;
  std::string heading;
  TraceKind kind = TraceKind::Other;
  // nm; not a number when unknown.
  double wavelength = 0.0;
  // The instrument sends it now.
  bool sent = true;
};

// A wavelength within this of a range's end counts as in the range (the
// dialog's fields show tenths of a nanometre).
inline constexpr double kWavelengthSlack = 0.05;

// 'a'/'A': absorption, 'c'/'C': attenuation, anything else neither.
TraceKind HeadingKind(std::string_view heading);
// The number after a heading's leading letters ("c412.5" gives 412.5); not
// a number when there is none or it is not above 0.
double HeadingWavelength(std::string_view heading);

// Every trace of `source` that has a heading, in index order.
std::vector<TraceEntry> ListTraces(Source& source);

// The shortest and longest known wavelength of the entries; false when no
// entry has one.
bool WavelengthSpan(std::span<const TraceEntry> entries, double& shortest, double& longest);
// Whether any entry the instrument sends is of `kind`.
bool HasKind(std::span<const TraceEntry> entries, TraceKind kind);

// "A only", "C only": every entry of `kind` ticked, every other unticked.
void TickKind(std::span<const TraceEntry> entries, std::vector<bool>& ticks, TraceKind kind);

// "Select": of the kinds ticked now (every kind when nothing is), the
// entries whose wavelength lies between `from` and `to` (either may be the
// larger), and of those every `step`-th wavelength of each kind counted
// from the shortest (the first, the 1 + step-th, ...), are ticked; every
// other entry is unticked. A step below 1 is taken as 1.
void TickRange(std::span<const TraceEntry> entries, std::vector<bool>& ticks, double from, double to,
               int step);

}  // namespace sondrix
