// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing traces by kind and wavelength, as the acquisition dialog offers
// it beside its check list: every absorption trace, every attenuation
// trace, or the wavelengths from ... to, every k-th. The choices work on a
// list of the source's traces (those with a heading, in index order) and
// their ticks; the dialog shows the ticks and takes them when accepted.
//
// The traces' kinds and wavelengths are source/trace_list.h's. A trace the
// instrument does not send now (off the trace map of a source that has one)
// is never ticked or unticked by these choices: it keeps the user's choice
// for when the meter sends it again.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "source/trace_list.h"

namespace sondrix {

// A wavelength within this of a range's end counts as in the range (the
// dialog's fields show tenths of a nanometre).
inline constexpr double kWavelengthSlack = 0.05;


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
