// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-sim: the byte stream of a meter, made from its device
// configuration file, written to a raw capture file, to standard output or
// to a pseudo-terminal that the program opens as a serial port (where the
// hyperspectral meter also answers commands).
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <set>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/log.h"
#include "common/version.h"
#include "sim/benth_simulator.h"
#include "sim/nmea_run.h"
#include "sim/output.h"
#include "sim/report.h"
#include "sim/serial_line.h"
#include "sim/simulator.h"

namespace {

using sondrix::sim::Output;
using sondrix::sim::PointLink;

constexpr const char* kProgram = "sondrix-sim";
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// Packets written to a file when neither --packets nor --seconds is given.
constexpr long long kDefaultFilePackets = 100;

constexpr const char* kHelp = R"(Usage: sondrix-sim --device FILE.dev [--out FILE.raw | --pty]
                   [--packets N | --seconds S] [--rate HZ] [--realtime | --fast]
                   [--clock-ppm P] [--utc-start TIME]
                   [--seed N] [fault options] [signal options]
                   [--report FILE] [--quiet]
       sondrix-sim --nmea ...   (a GPS receiver: see "GPS receiver" below)

Writes the packet stream of the meter described by a device configuration
file (nine- and three-wavelength A+C meters, A meter, C meter, hyperspectral
A+C meter). Calibrated with the same file, the counts give a smooth A and C
spectrum with a little noise; the instrument dives and comes up again. On a
pseudo-terminal the hyperspectral meter answers command frames, and changes
its output spacing and baud rate as the instrument does.

Output (one of; standard output when neither is given):
  --device FILE      device configuration file (.dev or .cal) to simulate
  --out FILE         write a raw capture file (replay it as the port name)
  --pty              create a pseudo-terminal and serve the stream on it;
                     the first line of standard output is its device path
                     (map it in Sondrix.ini: [Ports] COM1=/dev/pts/N).
                     Runs until SIGINT/SIGTERM unless --packets/--seconds.

Length and pace:
  --packets N        write N packets (default: 100 for --out, else endless)
  --seconds S        write the packets of S seconds of instrument time
  --rate HZ          sample rate, default 6; the packets carry the sample
                     period count N = round(1 / (3.16e-05 HZ)), 1 ... 65535
  --realtime         pace the packets at the instrument's rate (HZ / samples
                     per packet packets per second): a packet goes out when
                     its last sample is measured, its bytes at the line's
                     baud rate (the device file's; raised to a standard rate
                     that carries the stream only when --rate asks for more
                     than the instrument could send).
                     The writer never waits for the reader: on a
                     pseudo-terminal, bytes beyond 4095 unread are lost (as
                     a serial port's buffer overruns; the report marks the
                     packets "overflow")
  --fast             with --pty: write as fast as the reader takes the bytes,
                     losing none (--pty is paced in real time otherwise)
  --clock-ppm P      the instrument's clock runs P parts per million fast,
                     -10000 ... 10000 (default 0): its time counter advances
                     by the nominal period a sample, but a sample period
                     lasts nominal / (1 + P 1e-6) seconds of true time
  --utc-start TIME   unpaced (--out, standard output, --pty --fast): the UTC
                     time at which the first sample is measured,
                     YYYY-MM-DDTHH:MM:SSZ (default: the clock at the start);
                     paced, samples are measured on the computer's clock
  --linger S         with --pty: after the last packet, wait up to S seconds
                     (default 5) for the reader to take the last bytes

Faults, each every K packets (packets K, 2K, ...):
  --bad-checksum K   the checksum does not add up (10 samples lost)
  --bad-length K     the length word is wrong (10 samples lost)
  --noise K          1-20 noise bytes (never 0x00 or 0xFF, so they cannot
                     form the sync pattern) in front of the packet (none lost)
  --wrong-serial K   the packet carries another serial number (the program
                     notices it only when it synchronises on that packet)
  --pause K:D        stop writing for D seconds after the packet (also when
                     not paced): the instrument holds, its counter stands
                     still, while D seconds of true time (utc_ms) pass
  --restart K        the instrument's time counter starts again from the
                     --time-start value at the packet's first sample (a reset
                     or power blip; same serial number and settings)
  --duplicate K      the packet is sent twice, byte for byte
  --spacing-change K hyperspectral meter, once: from packet K on it outputs
                     every second wavelength (every one when it already did)
                     without being asked (each such packet is lost)
  --unplug A:G       with --pty: after A seconds of packets the line is
                     unplugged (the pseudo-terminal closes, as a USB adapter
                     pulled out); the instrument goes on measuring, and after
                     G seconds a new pseudo-terminal serves the stream again
                     (its path printed as a further line). The packets of the
                     gap are never sent (reported "unplugged", all lost)
  --link PATH        with --pty: a symbolic link kept pointing at the
                     pseudo-terminal served (a stable name, as the links in
                     /dev/serial/by-id are for USB adapters); while the line
                     is unplugged there is none
  --replug-other     with --unplug: the instrument plugged back is another one
                     (another serial number)

Signal:
  --seed N           seed of the noise and the faults' noise bytes (default 1);
                     the same arguments and seed give the same bytes
  --time-start N     the time counter of the first sample (default 0): 0-65535
                     hundredths of a second (a 16-bit counter), for the
                     hyperspectral meter 0-4294967295 milliseconds (32 bits);
                     the counter wraps
  --max-depth M      depth of each dive, metres (default 50)
  --dive-seconds S   one descent and ascent, seconds (default 240)
  --drift-seconds S  one warm-up and cool-down of the instrument between 15
                     and 35 degrees (within its temperature bins), seconds
                     (default 900)
  --value-noise X    noise of the calibrated A and C values, 1/m standard
                     deviation, cut at 3 sigma (default 0.002; 0 for none)
  --status W         status word of every packet, 0-65535 (default 0; the
                     hyperspectral meter's type 4 packets then carry the rate)

Out of the self-test's limits (start from --clean-water --max-depth 0
--internal-temp 20 for an instrument that passes):
  --clean-water      A and C of clean water (0 1/m), the reference condition
                     the self-test expects
  --cal-drift X      add X 1/m to every A and C value (a drifted calibration;
                     negative for the other direction)
  --low-counts F     references at F of full scale, 0 < F < 1 (the signals
                     follow): weak lamps or dirty windows
  --saturate         every signal and reference at full scale
  --internal-temp T  the internal temperature stays at T degrees, -40 ... 150
  --depth-zero M     the pressure sensor reads M metres more (at the surface
                     too)
  --sensor-noise X   noise of the internal temperature (degrees) and of the
                     depth (metres), standard deviation per packet
  --bend X           hyperspectral meter: add X 1/m to A and C at the output
                     wavelength nearest the middle of the spectrum (a spectrum
                     that does not conform; -100 ... 100)
  (--value-noise X makes the A and C noise exceed its limits)

Hyperspectral meter:
  --packet-type T    packet type 0-255 (default 5: with a depth profile; 4
                     carries the rate instead; 3 and below the older
                     temperature converters)
  --drop-ack K       the K-th command received is lost with its
                     acknowledgement (the program asks again)

Other:
  --report FILE      a tab-separated record of every packet written: packet
                     number, samples, what was done to it (ok, bad-checksum,
                     bad-length, noise(N bytes), wrong-serial, pause, restart,
                     duplicate, spacing; several joined by +), the samples it
                     makes lost, the counter's unit in ms, and per sample
                     (comma-separated) the time counter as sent, the counter
                     unwrapped (starting again at a restart), the elapsed
                     milliseconds since the first sample on the instrument's
                     clock and utc_ms, the true UTC time of its measurement
                     (milliseconds since 1970, three decimals); then the line
                     "totals<TAB>packets<TAB>samples<TAB>samples lost"
  --quiet            no summary on standard error
  -v, --verbose      log more on standard error: -v info, -vv debug, -vvv
                     trace (each packet with its offset, faults and bytes)
  --log-level LEVEL  error, warn (the default), info, debug, trace or off
  --help             this text
  --version          the program's name and version

Exit status: 0 done (also when stopped by SIGINT/SIGTERM), 1 on an error,
2 on a usage error.
)";

constexpr const char* kNmeaHelp = R"(
GPS receiver:
sondrix-sim --nmea [--pty [--link PATH] | --udp PORT[@HOST] | --out FILE]
                   [--seconds N [--fast [--utc-start TIME]]] [track options]
                   [receiver faults] [--report FILE] [--quiet]

NMEA 0183 sentences of a GPS receiver on a ship that sails a straight
track (a rhumb line): RMC then GGA each second, at each second of the UTC
clock (standard output when no output is given).

  --nmea             the GPS receiver instead of a meter
  --pty              serve the sentences on a pseudo-terminal (its path is
                     the first line of standard output); --link as above.
                     Paced, what nobody read for about ten seconds is
                     thrown away, as a serial line loses it
  --udp PORT[@HOST]  one sentence a datagram to HOST (an IPv4 address,
                     default 127.0.0.1; a broadcast address is allowed)
  --out FILE         write the sentences to a file
  --seconds N        N fixes (one a second), then stop; endless without
  --fast             all N fixes at once, without waiting for the clock
  --utc-start TIME   with --fast: the first fix's UTC time, a whole second,
                     YYYY-MM-DDTHH:MM:SSZ (default: the current second)
  --talker XX        the talker of the sentences (default GP; GN, GL ...)
  --start LAT,LON    where the track starts, decimal degrees (default
                     43,-70)
  --speed KNOTS      speed over ground (default 10)
  --heading DEG      true course, 0 up to 360 (default 45)
  --nmea-bad-checksum K  every K-th sentence sent has a wrong checksum
  --nmea-cut K       every K-th sentence sent is cut short (half of it, no
                     checksum; a cut sentence is not also a bad checksum)
  --nmea-dropout A:D from second A of the run (0 first), nothing for D
                     seconds
  --nmea-invalid A:D from second A, D seconds without a fix: RMC status V,
                     GGA quality 0, no position
  --report FILE      a tab-separated line per second: second, utc (ISO 8601),
                     utc_ms, latitude and longitude of the true track (full
                     precision), sent (yes/no), fault (ok, dropout, invalid),
                     rmc and gga (ok, bad-checksum, cut, - not sent), usable
                     (yes: a reader gets the fix); then "totals", seconds,
                     sentences, bad checksums, cut, dropout seconds, invalid
                     fixes
)";

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
  // --unplug A:G: seconds of packets before the line goes, and of the gap.
  std::optional<std::pair<double, double>> unplug;
  std::string link;
  bool replugOther = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
  sondrix::sim::SimSettings settings;
  // --nmea: the GPS receiver instead of a meter.
  bool nmea = false;
  sondrix::sim::NmeaRunOptions receiver;
  // Every option given, for the checks of what goes with --nmea.
  std::vector<std::string> given;
};

// The options of the GPS receiver alone, and those it shares with the meter.
const std::set<std::string> kNmeaOptions = {"--udp", "--talker", "--start", "--speed", "--heading",
                                            "--nmea-bad-checksum", "--nmea-cut", "--nmea-dropout",
                                            "--nmea-invalid"};
const std::set<std::string> kSharedOptions = {"--nmea", "--out", "--pty", "--link", "--seconds", "--fast", "--utc-start",
                                              "--linger", "--report", "--quiet"};

void UsageError(const std::string& text) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, text.c_str(), kProgram);
}

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last && !text.empty();
}

bool ParseNonNegative(std::string_view text, double& value) {
  return ParseNumber(text, value) && std::isfinite(value) && value >= 0.0;
}

// With --nmea: the options that go with the receiver, into o.receiver;
// false after a usage error was reported.
bool CheckReceiverOptions(Options& o) {
  for (const std::string& name : o.given) {
    if (kNmeaOptions.count(name) == 0 && kSharedOptions.count(name) == 0) {
      UsageError("option " + name + " is the meter's, not the GPS receiver's (--nmea)");
      return false;
    }
  }
  auto& r = o.receiver;
  using Sink = sondrix::sim::NmeaRunOptions::Sink;
  const int sinks = (o.pty ? 1 : 0) + (o.out.empty() ? 0 : 1) + (r.sink == Sink::kUdp ? 1 : 0);
  if (sinks > 1) {
    UsageError("--pty, --udp and --out exclude each other");
    return false;
  }
  if (o.pty) r.sink = Sink::kPty;
  if (!o.out.empty()) {
    r.sink = Sink::kFile;
    r.out = o.out;
  }
  if (!o.link.empty() && !o.pty) {
    UsageError("--link needs --pty");
    return false;
  }
  if (o.seconds) {
    if (*o.seconds != std::floor(*o.seconds) || *o.seconds > 1e12) {
      UsageError("option --seconds: a whole number of seconds (fixes) for the GPS receiver");
      return false;
    }
    r.seconds = static_cast<long long>(*o.seconds);
  }
  if (o.fast && !r.seconds) {
    UsageError("--fast needs --seconds N for the GPS receiver (N fixes at once)");
    return false;
  }
  if (r.utcStartMs && !o.fast) {
    UsageError("--utc-start needs --fast: paced fixes take the time of the clock");
    return false;
  }
  r.fast = o.fast;
  r.link = o.link;
  r.linger = o.linger;
  r.report = o.report;
  r.quiet = o.quiet;
  return true;
}

// Parses the arguments; false after a usage error was reported.
bool ParseArguments(int argc, char** argv, Options& o) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inlineValue;
    if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name.resize(eq);
    }
    auto flag = [&](bool& target) {
      if (inlineValue) {
        UsageError("option " + name + " takes no value");
        return false;
      }
      target = true;
      return true;
    };
    std::string value;
    auto take = [&]() {
      if (inlineValue) {
        value = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) {
        UsageError("option " + name + " needs a value");
        return false;
      }
      value = args[++i];
      return true;
    };
    auto bad = [&](const char* what) {
      UsageError("option " + name + ": " + what + ", not '" + value + "'");
      return false;
    };
    auto every = [&](int& target, const char* what = "a packet count of 1 or more") {
      if (!take()) return false;
      if (!ParseNumber(value, target) || target < 1) return bad(what);
      return true;
    };

    // A:D, a stretch of D seconds from second A of the receiver's run.
    auto span = [&](std::optional<sondrix::sim::SecondSpan>& target) {
      if (!take()) return false;
      const auto colon = value.find(':');
      sondrix::sim::SecondSpan stretch;
      if (colon == std::string::npos || !ParseNumber(std::string_view(value).substr(0, colon), stretch.from) ||
          !ParseNumber(std::string_view(value).substr(colon + 1), stretch.count) || stretch.from < 0 ||
          stretch.count < 1) {
        return bad("A:D, D seconds (1 or more) from second A (0 or more) of the run");
      }
      target = stretch;
      return true;
    };
    o.given.push_back(name);

    auto& s = o.settings;
    auto& track = o.receiver.settings.track;
    auto& nmeaFaults = o.receiver.settings.faults;
    if (name == "--help" || name == "-h") {
      o.help = true;
      return true;
    } else if (name == "--version") {
      o.version = true;
      return true;
    } else if (name == "--device") {
      if (!take()) return false;
      o.device = value;
    } else if (name == "--out") {
      if (!take()) return false;
      o.out = value;
    } else if (name == "--pty") {
      if (!flag(o.pty)) return false;
    } else if (name == "--packets") {
      long long count = 0;
      if (!take()) return false;
      if (!ParseNumber(value, count) || count < 1) return bad("a number of packets, 1 or more");
      o.packets = count;
    } else if (name == "--seconds") {
      double seconds = 0.0;
      if (!take()) return false;
      if (!ParseNonNegative(value, seconds) || seconds <= 0.0) return bad("a positive number");
      o.seconds = seconds;
    } else if (name == "--rate") {
      if (!take()) return false;
      if (!ParseNumber(value, s.rate) || sondrix::sim::PeriodCount(s.rate) == 0) {
        return bad("a sample rate from 0.49 to 31000 Hz");
      }
    } else if (name == "--realtime") {
      if (!flag(o.realtime)) return false;
    } else if (name == "--clock-ppm") {
      if (!take()) return false;
      if (!ParseNumber(value, s.clockPpm) || !(std::fabs(s.clockPpm) <= sondrix::sim::kMaxClockPpm)) {
        return bad("parts per million from -10000 to 10000");
      }
    } else if (name == "--fast") {
      if (!flag(o.fast)) return false;
    } else if (name == "--linger") {
      if (!take()) return false;
      if (!ParseNonNegative(value, o.linger)) return bad("a number of seconds");
    } else if (name == "--seed") {
      if (!take()) return false;
      if (!ParseNumber(value, s.seed)) return bad("an unsigned 64-bit number");
    } else if (name == "--time-start") {
      // The meter decides the range: see CheckForModel.
      if (!take()) return false;
      if (!ParseNumber(value, s.timeStart)) return bad("a count from 0 to 4294967295");
    } else if (name == "--status") {
      unsigned word = 0;
      if (!take()) return false;
      if (!ParseNumber(value, word) || word > 0xFFFF) return bad("a word from 0 to 65535");
      s.statusWord = static_cast<std::uint16_t>(word);
    } else if (name == "--max-depth") {
      if (!take()) return false;
      if (!ParseNonNegative(value, s.maxDepth)) return bad("a number of metres");
    } else if (name == "--dive-seconds") {
      if (!take()) return false;
      if (!ParseNonNegative(value, s.diveSeconds) || s.diveSeconds <= 0.0) {
        return bad("a positive number of seconds");
      }
    } else if (name == "--drift-seconds") {
      if (!take()) return false;
      if (!ParseNonNegative(value, s.driftSeconds) || s.driftSeconds <= 0.0) {
        return bad("a positive number of seconds");
      }
    } else if (name == "--value-noise") {
      if (!take()) return false;
      if (!ParseNonNegative(value, s.valueNoise)) return bad("a standard deviation in 1/m");
    } else if (name == "--clean-water") {
      if (!flag(s.limits.cleanWater)) return false;
    } else if (name == "--cal-drift") {
      if (!take()) return false;
      if (!ParseNumber(value, s.limits.calDrift) || !std::isfinite(s.limits.calDrift) ||
          std::fabs(s.limits.calDrift) > 100.0) {
        return bad("a value in 1/m from -100 to 100");
      }
    } else if (name == "--low-counts") {
      if (!take()) return false;
      if (!ParseNonNegative(value, s.limits.lowCounts) || s.limits.lowCounts <= 0.0 ||
          s.limits.lowCounts >= 1.0) {
        return bad("a fraction of full scale between 0 and 1");
      }
    } else if (name == "--saturate") {
      if (!flag(s.limits.saturate)) return false;
    } else if (name == "--internal-temp") {
      if (!take()) return false;
      if (!ParseNumber(value, s.limits.internalTemp) || !(s.limits.internalTemp >= -40.0) ||
          !(s.limits.internalTemp <= 150.0)) {
        return bad("a temperature from -40 to 150 degrees");
      }
      s.limits.fixedTemp = true;
    } else if (name == "--depth-zero") {
      if (!take()) return false;
      if (!ParseNumber(value, s.limits.depthZero) || !std::isfinite(s.limits.depthZero) ||
          std::fabs(s.limits.depthZero) > 1000.0) {
        return bad("a depth in metres from -1000 to 1000");
      }
    } else if (name == "--sensor-noise") {
      if (!take()) return false;
      if (!ParseNonNegative(value, s.limits.sensorNoise) || s.limits.sensorNoise > 100.0) {
        return bad("a standard deviation from 0 to 100");
      }
    } else if (name == "--bend") {
      if (!take()) return false;
      if (!ParseNumber(value, s.limits.bend) || !std::isfinite(s.limits.bend) || std::fabs(s.limits.bend) > 100.0) {
        return bad("a value in 1/m from -100 to 100");
      }
    } else if (name == "--bad-checksum") {
      if (!every(s.faults.badChecksum)) return false;
    } else if (name == "--bad-length") {
      if (!every(s.faults.badLength)) return false;
    } else if (name == "--noise") {
      if (!every(s.faults.noise)) return false;
    } else if (name == "--wrong-serial") {
      if (!every(s.faults.wrongSerial)) return false;
    } else if (name == "--unplug") {
      if (!take()) return false;
      const auto colon = value.find(':');
      double after = 0.0;
      double gap = 0.0;
      if (colon == std::string::npos || !ParseNonNegative(std::string_view(value).substr(0, colon), after) ||
          !ParseNonNegative(std::string_view(value).substr(colon + 1), gap) || !(after > 0.0)) {
        return bad("A:G, the line unplugged after A seconds for G seconds");
      }
      o.unplug = std::make_pair(after, gap);
    } else if (name == "--link") {
      if (!take()) return false;
      o.link = value;
    } else if (name == "--replug-other") {
      o.replugOther = true;
    } else if (name == "--pause") {
      if (!take()) return false;
      const auto colon = value.find(':');
      if (colon == std::string::npos ||
          !ParseNumber(std::string_view(value).substr(0, colon), s.faults.pauseEvery) ||
          s.faults.pauseEvery < 1 ||
          !ParseNonNegative(std::string_view(value).substr(colon + 1), s.faults.pauseSeconds)) {
        return bad("K:D, every K packets a pause of D seconds");
      }
    } else if (name == "--restart") {
      if (!every(s.faults.restart)) return false;
    } else if (name == "--duplicate") {
      if (!every(s.faults.duplicate)) return false;
    } else if (name == "--spacing-change") {
      if (!every(s.faults.spacingChange)) return false;
    } else if (name == "--report") {
      if (!take()) return false;
      o.report = value;
    } else if (name == "--packet-type") {
      if (!take()) return false;
      if (!ParseNumber(value, s.packetType) || s.packetType < 0 || s.packetType > 255) {
        return bad("a packet type from 0 to 255");
      }
    } else if (name == "--drop-ack") {
      if (!every(s.dropAck)) return false;
    } else if (name == "--quiet") {
      if (!flag(o.quiet)) return false;
    } else if (name == "--nmea") {
      if (!flag(o.nmea)) return false;
    } else if (name == "--udp") {
      if (!take()) return false;
      const auto at = value.find('@');
      auto& r = o.receiver;
      if (!ParseNumber(std::string_view(value).substr(0, at), r.udpPort) || r.udpPort < 1 || r.udpPort > 65535) {
        return bad("PORT or PORT@HOST, a port 1 ... 65535 and an IPv4 address");
      }
      if (at != std::string::npos) r.udpHost = value.substr(at + 1);
      r.sink = sondrix::sim::NmeaRunOptions::Sink::kUdp;
    } else if (name == "--talker") {
      if (!take()) return false;
      if (value.size() != 2 || !std::isupper(static_cast<unsigned char>(value[0])) ||
          !std::isupper(static_cast<unsigned char>(value[1]))) {
        return bad("two capital letters (GP, GN, GL, GA ...)");
      }
      o.receiver.settings.talker = value;
    } else if (name == "--start") {
      if (!take()) return false;
      const auto comma = value.find(',');
      if (comma == std::string::npos ||
          !ParseNumber(std::string_view(value).substr(0, comma), track.start.latitude) ||
          !ParseNumber(std::string_view(value).substr(comma + 1), track.start.longitude) ||
          !(std::fabs(track.start.latitude) <= sondrix::sim::kTrackLatitudeLimit) ||
          !(track.start.longitude >= -180.0 && track.start.longitude <= 180.0)) {
        return bad("LAT,LON in decimal degrees, latitude -89 ... 89, longitude -180 ... 180");
      }
      // 180 east is 180 west: the track keeps longitudes in [-180, 180).
      if (track.start.longitude == 180.0) track.start.longitude = -180.0;
    } else if (name == "--speed") {
      if (!take()) return false;
      if (!ParseNonNegative(value, track.speedKnots) || track.speedKnots > 1000.0) {
        return bad("a speed in knots, 0 ... 1000");
      }
    } else if (name == "--heading") {
      if (!take()) return false;
      if (!ParseNonNegative(value, track.headingDegrees) || track.headingDegrees >= 360.0) {
        return bad("a true heading in degrees, 0 up to 360");
      }
    } else if (name == "--utc-start") {
      if (!take()) return false;
      o.receiver.utcStartMs = sondrix::sim::ParseUtcSecond(value);
      if (!o.receiver.utcStartMs) return bad("a UTC time on a whole second, YYYY-MM-DDTHH:MM:SSZ");
    } else if (name == "--nmea-bad-checksum") {
      if (!every(nmeaFaults.badChecksum, "a sentence count of 1 or more")) return false;
    } else if (name == "--nmea-cut") {
      if (!every(nmeaFaults.cut, "a sentence count of 1 or more")) return false;
    } else if (name == "--nmea-dropout") {
      if (!span(nmeaFaults.dropout)) return false;
    } else if (name == "--nmea-invalid") {
      if (!span(nmeaFaults.invalid)) return false;
    } else {
      UsageError("unknown argument '" + args[i] + "'");
      return false;
    }
  }
  if (o.nmea) return CheckReceiverOptions(o);
  for (const std::string& name : o.given) {
    if (kNmeaOptions.count(name) > 0) {
      UsageError("option " + name + " is the GPS receiver's: it needs --nmea");
      return false;
    }
  }
  if (o.device.empty()) {
    UsageError("--device FILE.dev is required");
    return false;
  }
  if (o.pty && !o.out.empty()) {
    UsageError("--out and --pty exclude each other");
    return false;
  }
  if (o.packets && o.seconds) {
    UsageError("--packets and --seconds exclude each other");
    return false;
  }
  if (o.realtime && o.fast) {
    UsageError("--realtime and --fast exclude each other");
    return false;
  }
  if (o.receiver.utcStartMs && (o.realtime || (o.pty && !o.fast))) {
    UsageError("--utc-start needs an unpaced run (--out, standard output or --pty --fast): paced samples take "
               "the time of the clock");
    return false;
  }
  if ((o.unplug || !o.link.empty()) && !o.pty) {
    UsageError("--unplug and --link need --pty");
    return false;
  }
  if (o.replugOther && !o.unplug) {
    UsageError("--replug-other needs --unplug");
    return false;
  }
  return true;
}

// The options whose meaning depends on the model; false after a usage error
// was reported.
bool CheckForModel(const Options& o, const sondrix::sim::SimDevice& device) {
  const auto& s = o.settings;
  const bool benth = device.benth != nullptr;
  if (!benth && s.timeStart > 0xFFFF) {
    UsageError("option --time-start: a count from 0 to 65535 for this meter's 16-bit counter, not '" +
               std::to_string(s.timeStart) + "'");
    return false;
  }
  if (!benth && s.faults.spacingChange > 0) {
    UsageError("option --spacing-change: only the hyperspectral meter changes its spacing");
    return false;
  }
  return true;
}

std::string Plural(long long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// At trace level: each packet as written, with its offset in the stream
// (after the noise in front of it), what was done to it and its first
// bytes, so that a reader's log can be held against it.
void LogEmission(const sondrix::sim::Emission& e, long long offset, bool garbled) {
  const auto packet = std::span<const std::uint8_t>(e.bytes).subspan(static_cast<std::size_t>(e.noiseBytes));
  sondrix::logging::Write(sondrix::LogLevel::Trace, "packet %lld at byte %lld: %s%s: %s", e.packetNumber,
                          offset + e.noiseBytes, sondrix::sim::FaultText(e).c_str(),
                          garbled ? " (garbled: the reader is at another baud rate)" : "",
                          sondrix::logging::HexBytes(packet, 16).c_str());
}

// What the line lost on a paced pseudo-terminal: bytes the reader left
// unread beyond the line's buffer, and the packets no copy of which arrived
// whole.
struct LineLosses {
  long long packets = 0;
  long long bytes = 0;
};

void PrintSummary(const sondrix::sim::PacketStream& sim, const sondrix::sim::SimDevice& device,
                  const LineLosses& line, bool stopped) {
  const auto& c = sim.Counts();
  char serial[16];
  std::snprintf(serial, sizeof serial, "%08X", static_cast<unsigned>(device.Base().serialnum));
  std::string text = std::string(kProgram) + ": " + Plural(c.packets, "packet", "packets") + " (" +
                     Plural(c.packets * sim.SamplesPerPacket(), "sample", "samples") + ") of " +
                     std::string(device.model->description) + " " + serial;
  if (stopped) text += ", stopped";
  text += "; faults: " + Plural(c.badChecksums, "bad checksum", "bad checksums") + ", " +
          Plural(c.badLengths, "bad length", "bad lengths") + ", " +
          Plural(c.noiseBursts, "noise burst", "noise bursts") + " (" +
          Plural(c.noiseBytes, "byte", "bytes") + "), " +
          Plural(c.wrongSerials, "wrong serial number", "wrong serial numbers") + ", " +
          Plural(c.pauses, "pause", "pauses");
  // Faults that are seldom asked for are named only when they were.
  if (c.restarts > 0) text += ", " + Plural(c.restarts, "restart", "restarts");
  if (c.duplicates > 0) text += ", " + Plural(c.duplicates, "duplicate", "duplicates");
  if (c.spacings > 0) text += ", " + Plural(c.spacings, "packet", "packets") + " at another spacing";
  text += "; " +
          Plural(c.lostSamples, "sample", "samples") + " lost to faults";
  if (line.bytes > 0) {
    text += "; " + Plural(line.packets, "packet", "packets") + " (" + Plural(line.bytes, "byte", "bytes") +
            ") lost on the line: the reader did not take them";
  }
  if (const auto* benth = dynamic_cast<const sondrix::sim::BenthSimulator*>(&sim);
      benth != nullptr && benth->Commands() > 0) {
    text += "; " + Plural(benth->Commands(), "command", "commands") + " (" +
            Plural(benth->DroppedAcks(), "acknowledgement", "acknowledgements") +
            " left out), now skip " + std::to_string(benth->Skip()) + " at " +
            std::to_string(benth->LineBaud()) + " baud";
  }
  text += "\n";
  std::fputs(text.c_str(), stderr);
}

// Bytes a second the stream puts on its line on average: its packets, with
// their copies and the noise in front of them (10.5 bytes a burst), every
// packet period of true time.
double StreamBytesPerSecond(const sondrix::sim::SimDevice& device, const sondrix::sim::SimSettings& settings) {
  const std::unique_ptr<sondrix::sim::PacketStream> probe = sondrix::sim::MakeStream(device, settings);
  const sondrix::sim::Emission& first = probe->Next();
  const double packet = static_cast<double>(first.bytes.size() - static_cast<std::size_t>(first.noiseBytes)) /
                        (first.duplicate ? 2.0 : 1.0);
  const auto& faults = settings.faults;
  const double bytes = packet * (1.0 + (faults.duplicate > 0 ? 1.0 / faults.duplicate : 0.0)) +
                       (faults.noise > 0 ? (1.0 + sondrix::sim::kMaxNoiseBytes) / 2.0 / faults.noise : 0.0);
  return bytes / (probe->PacketSeconds() / (1.0 + settings.clockPpm * 1e-6));
}

// How often a paced writer looks at what the reader wrote, and the least
// it waits between two chunks of a packet's bytes, seconds.
constexpr double kInputLook = 0.01;
constexpr double kLineChunk = 0.002;

int Run(const Options& o) {
  sondrix::sim::SimDevice device;
  std::string error;
  if (sondrix::sim::LoadDevice(o.device, device, error) != sondrix::status::kOk) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return kExitFailed;
  }
  if (!CheckForModel(o, device)) return kExitUsage;
  std::unique_ptr<sondrix::sim::PacketReport> report;
  if (!o.report.empty()) {
    report = sondrix::sim::PacketReport::Open(o.report, error);
    if (!report) {
      std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
      return kExitFailed;
    }
  }
  sondrix::sim::SimSettings settings = o.settings;
  // The unplugged stretch, in packets: the line goes after `unplugAfter`
  // packets and comes back for packet `replugAt`.
  long long unplugAfter = -1;
  long long replugAt = -1;
  if (o.unplug) {
    const std::unique_ptr<sondrix::sim::PacketStream> probe = sondrix::sim::MakeStream(device, settings);
    unplugAfter = probe->PacketsFor(o.unplug->first);
    replugAt = unplugAfter + 1 + (o.unplug->second > 0.0 ? probe->PacketsFor(o.unplug->second) : 0);
    if (o.replugOther) settings.faults.otherFrom = replugAt;
  }
  const std::unique_ptr<sondrix::sim::PacketStream> stream = sondrix::sim::MakeStream(device, settings);
  sondrix::sim::PacketStream& sim = *stream;

  std::unique_ptr<Output> out;
  if (o.pty) {
    out = Output::OpenPty(error);
  } else if (!o.out.empty()) {
    out = Output::OpenFile(o.out, error);
  } else {
    if (isatty(STDOUT_FILENO)) {
      std::fprintf(stderr, "%s: refusing to write binary packets to a terminal; use --out FILE, "
                           "--pty or a pipe\n", kProgram);
      return kExitUsage;
    }
    out = Output::OpenStdout();
  }
  if (!out) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return kExitFailed;
  }
  SONDRIX_LOG(Debug, "%s %08X at %g Hz to %s", std::string(device.model->description).c_str(),
              static_cast<unsigned>(device.Base().serialnum), o.settings.rate,
              o.pty ? out->SlavePath().c_str() : o.out.empty() ? "standard output" : o.out.c_str());
  sondrix::sim::InstallStopHandlers();
  // Once a command changed the instrument's baud rate, a reader at another
  // rate sees only garbled bytes, both ways.
  auto garbled = [&]() {
    const long line = out->LineBaud();
    return sim.BaudChanged() && line > 0 && line != sim.LineBaud();
  };
  // The line's rate: the instrument's (the device file's; the hyperspectral
  // meter's after a baud command), raised when it cannot carry the stream.
  const double streamBytes = StreamBytesPerSecond(device, settings);
  auto lineRate = [&]() {
    long instrument = sim.LineBaud() > 0 ? sim.LineBaud() : static_cast<long>(device.Base().baudRate);
    if (instrument <= 0) instrument = out->LineBaud();
    return sondrix::sim::LineRate(instrument, streamBytes);
  };
  // The rate the replies to the commands just received go out at: the one
  // before them (the acknowledgement of a baud command at the old rate).
  long replyRate = 0;
  auto onInput = [&](std::span<const std::uint8_t> bytes) {
    if (garbled()) return;
    const long before = lineRate();
    sim.Input(bytes);
    if (replyRate == 0) replyRate = before;
  };
  out->SetInputHandler(onInput);
  std::mt19937_64 garble(o.settings.seed + 7);
  const bool paced = o.realtime || (o.pty && !o.fast);
  sondrix::sim::SerialLine line;
  // Acknowledgements go out as soon as the commands came in: paced, on the
  // line after what it is sending.
  auto reply = [&]() {
    const std::vector<std::uint8_t> replies = sim.TakeReplies();
    const long rate = replyRate > 0 ? replyRate : lineRate();
    replyRate = 0;
    if (replies.empty()) return Output::Result::kWritten;
    if (!paced) return out->Write(replies.data(), replies.size());
    line.Send(replies, Output::Now(), rate);
    return Output::Result::kWritten;
  };
  auto wait = [&](double deadline) {
    for (;;) {
      if (reply() == Output::Result::kStopped) return false;
      const double now = Output::Now();
      if (now >= deadline) return true;
      if (!out->WaitUntil(std::min(deadline, now + kInputLook))) return false;
    }
  };
  if (!o.link.empty() && !PointLink(o.link, out->SlavePath())) {
    std::fprintf(stderr, "%s: cannot point %s at %s: %s\n", kProgram, o.link.c_str(), out->SlavePath().c_str(),
                 std::strerror(errno));
    return kExitFailed;
  }
  if (o.pty) {
    std::printf("%s\n", out->SlavePath().c_str());
    std::fflush(stdout);
    if (!o.quiet) {
      std::fprintf(stderr, "%s: serving %s on %s", kProgram, std::string(device.model->description).c_str(),
                   out->SlavePath().c_str());
      if (paced) std::fprintf(stderr, " at %ld baud", lineRate());
      std::fprintf(stderr, "; stop with Ctrl-C\n");
    }
  }
  if (sim.HeaderFormsSync() && !o.quiet) {
    std::fprintf(stderr, "%s: warning: the device file's serial number forms the sync pattern "
                         "inside the packets\n", kProgram);
  }

  long long limit = -1;  // endless
  if (o.packets) {
    limit = *o.packets;
  } else if (o.seconds) {
    limit = sim.PacketsFor(*o.seconds);
  } else if (!o.out.empty()) {
    limit = kDefaultFilePackets;
  }

  int result = kExitOk;
  bool stopped = false;
  long long offset = 0;  // bytes written so far, unpaced
  bool unplugged = false;
  LineLosses lineLosses;

  // Paced, a packet is recorded when its bytes have all gone out (or been
  // lost): then the report can say whether the line lost it.
  struct Pending {
    sondrix::sim::Emission e;
    long long begin = 0;   // stream offset of its first byte (noise included)
    long long packet = 0;  // of the packet proper
    long long end = 0;
  };
  std::deque<Pending> pending;
  auto record = [&](const sondrix::sim::Emission& e) {
    if (!paced) {
      if (report) report->Add(e);
      return;
    }
    const long long at = line.Queued();
    pending.push_back({e, at, at, at});
  };
  auto settle = [&]() {
    while (!pending.empty() && pending.front().end <= line.Handled()) {
      Pending& p = pending.front();
      sondrix::sim::Emission& e = p.e;
      e.droppedBytes = static_cast<long>(line.LostIn(p.begin, p.end));
      if (e.droppedBytes > 0) {
        // Lost unless a copy of the packet arrived whole.
        const int copies = e.duplicate ? 2 : 1;
        const long long size = (p.end - p.packet) / copies;
        bool whole = false;
        for (int c = 0; c < copies; ++c) {
          whole = whole || line.LostIn(p.packet + c * size, p.packet + (c + 1) * size) == 0;
        }
        if (!whole) {
          e.lost = e.samples;
          ++lineLosses.packets;
        }
        lineLosses.bytes += e.droppedBytes;
      }
      if (report) report->Add(e);
      pending.pop_front();
    }
    line.Forget(pending.empty() ? line.Handled() : pending.front().begin);
  };
  // Paced: hands the line's bytes over as they go out until `deadline`;
  // false when stopped or the output failed (then `stopped` or `result`
  // says which).
  auto pace = [&](double deadline) {
    for (;;) {
      reply();
      const Output::Result pumped = line.Pump(*out, Output::Now());
      if (pumped == Output::Result::kStopped) stopped = true;
      if (pumped == Output::Result::kFailed) {
        std::fprintf(stderr, "%s: %s\n", kProgram, out->error().c_str());
        result = kExitFailed;
      }
      if (pumped != Output::Result::kWritten) return false;
      settle();
      const double now = Output::Now();
      if (now >= deadline) return true;
      double wake = std::min(deadline, now + kInputLook);
      if (line.NextByteAt() < wake) wake = std::min(wake, std::max(line.NextByteAt(), now + kLineChunk));
      if (!out->WaitUntil(wake)) {
        stopped = true;
        return false;
      }
    }
  };

  // The run's first sample is measured now: paced, on the monotonic clock,
  // whose UTC time is read with it; else at --utc-start or the clock's time.
  double start = 0.0;
  std::int64_t utcStartUs = 0;
  Output::NowWithUtc(start, utcStartUs);
  if (!paced && o.receiver.utcStartMs) utcStartUs = *o.receiver.utcStartMs * 1000;
  if (report) report->SetUtcStart(utcStartUs);
  SONDRIX_LOG(Debug, "first sample measured at %s UTC%s", sondrix::sim::UtcMsText(utcStartUs).c_str(),
              paced ? "" : " (not paced)");

  while (limit < 0 || sim.Counts().packets < limit) {
    // A packet leaves the instrument when its last sample is measured, on
    // the true clock whatever happened to the packets before it.
    const double due = start + sim.NextPacketTrueSeconds();
    if (paced && !pace(due)) break;
    out->PollInput();
    if (reply() == Output::Result::kStopped) {
      stopped = true;
      break;
    }
    const sondrix::sim::Emission& e = sim.Next();
    if (e.packetNumber > unplugAfter && e.packetNumber < replugAt) {
      // Unplugged: the pseudo-terminal goes (its reader sees the line hung
      // up); the instrument measures on, and nobody hears it.
      if (!unplugged) {
        line.DropPending();  // what it was still sending goes with it
        out = Output::OpenFile("/dev/null", error);
        if (!out) {
          std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
          result = kExitFailed;
          break;
        }
        unplugged = true;
        // The link goes with the device, as udev removes a by-id link: a
        // reader must not find a terminal that another program may be given
        // the number of meanwhile.
        if (!o.link.empty()) ::unlink(o.link.c_str());
        if (!o.quiet) std::fprintf(stderr, "%s: unplugged\n", kProgram);
      }
      sondrix::sim::Emission gone = e;
      gone.unplugged = true;
      gone.lost = gone.samples;
      record(gone);
      continue;
    }
    if (unplugged) {
      unplugged = false;
      out = Output::OpenPty(error);
      if (!out || (!o.link.empty() && !PointLink(o.link, out->SlavePath()))) {
        std::fprintf(stderr, "%s: cannot serve the line again: %s\n", kProgram,
                     out ? std::strerror(errno) : error.c_str());
        result = kExitFailed;
        break;
      }
      out->SetInputHandler(onInput);
      std::printf("%s\n", out->SlavePath().c_str());
      std::fflush(stdout);
      if (!o.quiet) std::fprintf(stderr, "%s: plugged in again on %s\n", kProgram, out->SlavePath().c_str());
    }
    std::vector<std::uint8_t> noise;
    if (garbled()) {
      for (std::size_t i = 0; i < e.bytes.size(); ++i) {
        noise.push_back(static_cast<std::uint8_t>(1 + garble() % 254));
      }
    }
    const std::vector<std::uint8_t>& bytes = noise.empty() ? e.bytes : noise;
    if (paced) {
      // Its bytes go out one after another from then on, at the line's rate.
      const long long begin = line.Queued();
      if (sondrix::logging::On(sondrix::LogLevel::Trace)) LogEmission(e, begin, !noise.empty());
      const long long end = line.Send(bytes, due, lineRate());
      pending.push_back({e, begin, begin + e.noiseBytes, end});
      if (sondrix::sim::gStopRequested) {
        stopped = true;
        break;
      }
      continue;
    }
    const Output::Result written = out->Write(bytes.data(), bytes.size());
    if (written == Output::Result::kStopped) {
      stopped = true;
      break;
    }
    if (written == Output::Result::kClosed) break;  // the reader of the pipe is gone
    if (written == Output::Result::kFailed) {
      std::fprintf(stderr, "%s: %s\n", kProgram, out->error().c_str());
      result = kExitFailed;
      break;
    }
    if (report) report->Add(e);
    if (sondrix::logging::On(sondrix::LogLevel::Trace)) LogEmission(e, offset, !noise.empty());
    offset += static_cast<long long>(bytes.size());
    if (e.pauseAfter > 0.0) {
      // Paced, the pause is in the next packet's time.
      const double end = Output::Now() + e.pauseAfter;
      if (!wait(end)) {
        stopped = true;
        break;
      }
    }
    if (sondrix::sim::gStopRequested) {
      stopped = true;
      break;
    }
  }
  // Paced: the last packet's bytes go out at the line's rate.
  if (paced && !stopped && result == kExitOk) pace(line.FreeAt());
  if (!stopped && result == kExitOk && o.pty) {
    out->Drain(o.linger);
    reply();
    if (paced) pace(line.FreeAt());
  }
  if (report && !report->Finish(error)) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    result = kExitFailed;
  }
  if (!o.quiet) PrintSummary(sim, device, lineLosses, stopped);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  // The log goes to standard error; its options may stand anywhere.
  std::vector<char*> args(argv, argv + (argc > 0 ? argc : 0));
  sondrix::LogLevel level = sondrix::logging::kDefaultLevel;
  std::string logError;
  if (!sondrix::logging::TakeLogOptions(args, level, logError)) {
    UsageError(logError);
    return kExitUsage;
  }
  sondrix::logging::SetThreshold(level);
  sondrix::logging::ToStderr(kProgram);
  Options options;
  if (!ParseArguments(static_cast<int>(args.size()), args.data(), options)) return kExitUsage;
  if (options.help) {
    std::fputs(kHelp, stdout);
    std::fputs(kNmeaHelp, stdout);
    return kExitOk;
  }
  if (options.version) {
    std::printf("%s %.*s\n", kProgram, static_cast<int>(sondrix::kSondrixVersion.size()),
                sondrix::kSondrixVersion.data());
    return kExitOk;
  }
  if (options.nmea) return sondrix::sim::RunNmea(options.receiver);
  return Run(options);
}
