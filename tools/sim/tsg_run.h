// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-sim --tsg: a ship's thermosalinograph, its lines sent to standard
// output, a file, a pseudo-terminal or UDP, one each interval of the
// system's UTC clock (or all at once with --fast), with or without a data
// id and an ISO-8601 UTC time before the fields:
//
//   tsg1 2026-12-10T04:00:00.123Z 21.8054, 5.17647, 36.5878, 1528.105
//   21.8054,  5.17647,  36.5878, 1528.105
//
// The fields are temperature (degC), conductivity (S/m), salinity (PSS-78)
// and sound speed (m/s), each a straight line in time from its start value
// at its rate, so that the truth at any instant is known exactly; with
// --valve-schedule a fifth field says the flow-through valve's state, 0
// (total) or 1 (filtered), by the schedule. Faults: lines cut short, lines
// of garbage, and dropouts. --report writes the truth.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "io/ancillary.h"
#include "sim/nmea_receiver.h"
#include "sim/nmea_run.h"

namespace sondrix::sim {

// A straight line in time: value = start + rate x seconds since the first line.
struct LinearSeries {
  double start = 0.0;
  double rate = 0.0;  // per second
  double At(double seconds) const { return start + rate * seconds; }
};

struct TsgSettings {
  std::string id;          // "": the bare form, without id and time
  double interval = 1.0;   // seconds between lines
  LinearSeries temperature{21.8, 0.002};
  LinearSeries conductivity{5.17, 0.0001};
  LinearSeries salinity{36.59, -0.001};
  LinearSeries soundSpeed{1528.1, 0.0};
  std::optional<ValveSchedule> valve;
  int cut = 0;      // every K-th line is cut short
  int garbage = 0;  // every K-th line is garbage
  std::optional<SecondSpan> dropout;  // seconds of the run without lines
};

struct TsgRunOptions : LineRunOptions {
  TsgSettings settings;
};

// Exit status: 0 done (also when stopped by SIGINT/SIGTERM), 1 on an error.
int RunTsg(const TsgRunOptions& options);

}  // namespace sondrix::sim
