// SPDX-License-Identifier: GPL-3.0-or-later
// One line of gpsd's JSON protocol read on its own, without the connection
// (gpsd_position.cpp): what the gpsd position source makes of every report
// it receives, and what its fuzz target feeds.
#pragma once

#include <string>
#include <string_view>

#include "io/nmea.h"

namespace sondrix {

// The satellites of gpsd's last SKY report, which go with every following
// fix until the next SKY (-1: none reported).
struct GpsdSky {
  double hdop = -1.0;
  int satellites = -1;

  bool operator==(const GpsdSky&) const = default;
};

struct GpsdReport {
  enum class Kind {
    Blank,      // an empty line (or only blanks)
    Fix,        // a TPV with a usable fix: `fix`
    Sky,        // a SKY: its HDOP and satellites taken into the sky
    Error,      // gpsd's ERROR report: `message`
    Other,      // a report of another class (VERSION, DEVICES, WATCH, ...)
    Malformed,  // no JSON object, no class, a TPV without its mode or position,
                // a SKY whose HDOP or satellites are no numbers of their kind
    Invalid,    // a TPV without a 2D or 3D fix
    Undated,    // a TPV without a time
  };
  Kind kind = Kind::Blank;
  NmeaFix fix;
  // An ERROR's message as one printable line ("(no message)" without one).
  std::string message;
};

// One line (without its line end). A SKY updates `sky`; a TPV's fix takes
// the HDOP and satellites `sky` holds.
GpsdReport ReadGpsdReport(std::string_view line, GpsdSky& sky);

}  // namespace sondrix
