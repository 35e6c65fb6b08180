// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-sim's command line: the options of the meter and, with --nmea,
// those of the GPS receiver, declared with CLI11 (tools/shared).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "sim/nmea_run.h"
#include "sim/tsg_run.h"
#include "sim/simulator.h"

namespace sondrix::sim {

struct Options {
  std::string device;
  std::string out;
  std::string report;
  bool pty = false;
  std::optional<long long> packets;
  std::optional<double> seconds;
  bool realtime = false;
  bool fast = false;
  double linger = 5.0;
  // --utc-start: the first sample's UTC time, milliseconds since 1970.
  std::optional<std::int64_t> utcStartMs;
  // --unplug A:G: seconds of packets before the line goes, and of the gap.
  std::optional<std::pair<double, double>> unplug;
  std::string link;
  bool replugOther = false;
  bool quiet = false;
  SimSettings settings;
  // --underway: the water mode's flow-through valve schedule (the water
  // is then underway water, simulator.h).
  std::optional<ValveSchedule> underway;
  // --nmea: the GPS receiver instead of a meter, with all its options here.
  bool nmea = false;
  NmeaRunOptions receiver;
  // --tsg: the thermosalinograph instead of a meter.
  bool tsgOn = false;
  TsgRunOptions tsg;
};

enum class Request { kRun, kHelp, kVersion, kWrong };

// Reads the arguments (argv[0] the program; the log options taken out
// before) into `o`, which holds the defaults; `text` is the help, the
// version line or what is wrong (without the program's name).
Request ParseArguments(int argc, const char* const* argv, Options& o, std::string& text);

}  // namespace sondrix::sim
