// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-sim --nmea: the simulated GPS receiver's run, its sentences sent
// to standard output, a file, a pseudo-terminal or UDP, a burst each second
// of the system's UTC clock (or all at once with --fast).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim/nmea_receiver.h"
#include "sim/output.h"

namespace sondrix::sim {

// Where a line instrument of the ship (the GPS receiver, the
// thermosalinograph) sends its lines, and how long and fast.
// The line instruments' program name and exit statuses, and their pacing:
// on a pseudo-terminal, lines nobody has read for about ten seconds are
// thrown away (an instrument does not wait for its reader, and a reader
// that opens the line late must not get minutes-old lines first); a pacing
// wait looks at the UTC clock again at least every kClockLook seconds (the
// clock may be stepped meanwhile).
inline constexpr const char* kProgram = "sondrix-sim";
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr long kUnreadBytes = 1500;
inline constexpr double kClockLook = 0.5;

struct LineRunOptions {
  enum class Sink { kStdout, kFile, kPty, kUdp };
  Sink sink = Sink::kStdout;
  std::string out;                     // kFile
  std::string udpHost = "127.0.0.1";   // kUdp
  int udpPort = 0;
  std::string link;                    // kPty: a symbolic link to the terminal
  std::optional<long long> seconds;    // fixes to send; endless without
  bool fast = false;                   // no pacing (needs seconds)
  std::optional<std::int64_t> utcStartMs;  // with fast: the first fix's time
  double linger = 5.0;
  std::string report;
  bool quiet = false;
};

struct NmeaRunOptions : LineRunOptions {
  NmeaSettings settings;
};

// The output `o` names (standard output, a file, a new pseudo-terminal,
// UDP), opened: the stop handlers installed, --link pointed at a
// pseudo-terminal, whose path is the first line of standard output, and
// "serving SERVING on WHERE" said unless quiet. Null, with the reason on
// standard error, when it cannot be opened.
std::unique_ptr<Output> OpenLineSink(const LineRunOptions& o, std::string_view serving);
// "/dev/pts/3", "UDP 127.0.0.1:5000", the file, "standard output".
std::string SinkName(const LineRunOptions& o, const Output& out);

// Exit status: 0 done (also when stopped by SIGINT/SIGTERM), 1 on an error.
int RunNmea(const NmeaRunOptions& options);

// The system's UTC clock, milliseconds since 1970-01-01T00:00:00Z.
std::int64_t UtcNowMs();

// "YYYY-MM-DDTHH:MM:SSZ" (also with "+00:00", or without a zone, as UTC) on a
// whole second: milliseconds since the epoch; nullopt otherwise.
std::optional<std::int64_t> ParseUtcSecond(const std::string& text);

}  // namespace sondrix::sim
