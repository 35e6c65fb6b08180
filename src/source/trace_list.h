// SPDX-License-Identifier: GPL-3.0-or-later
// The traces of a source as kinds and wavelengths, for everything that
// works by wavelength (the trace choices of the acquisition dialog, the
// corrections of the processing): a trace's kind comes from the source's
// trace map (bit 2 absorption, bit 4 attenuation), or from the first letter
// of its heading ("a412", "c650.3") when the map does not have it; its
// wavelength from the source's own wavelengths, or from the number in its
// heading when the source gives none.
#pragma once

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

// 'a'/'A': absorption, 'c'/'C': attenuation, anything else neither.
TraceKind HeadingKind(std::string_view heading);
// The number after a heading's leading letters ("c412.5" gives 412.5); not
// a number when there is none or it is not above 0.
double HeadingWavelength(std::string_view heading);

// Every trace of `source` that has a heading, in index order.
std::vector<TraceEntry> ListTraces(Source& source);

}  // namespace sondrix
