// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <sstream>
#include <vector>

#include "common/version.h"
#include "shared/command_line.h"

namespace sondrix::sim {
namespace {

using tools::ReadNumber;

constexpr const char* kMeterUsage = R"(Usage: sondrix-sim --device FILE.dev [--out FILE.raw | --pty]
                   [--packets N | --seconds S] [--rate HZ] [--realtime | --fast]
                   [--clock-ppm P] [--utc-start TIME]
                   [--seed N] [fault options] [signal options]
                   [--report FILE] [--quiet]
       sondrix-sim --nmea ...   (a GPS receiver: see "GPS receiver" below)
       sondrix-sim --tsg ...    (a thermosalinograph: see "Thermosalinograph")

Writes the packet stream of the meter described by a device configuration
file (nine- and three-wavelength A+C meters, A meter, C meter, hyperspectral
A+C meter). Calibrated with the same file, the counts give a smooth A and C
spectrum with a little noise; the instrument dives and comes up again. On a
pseudo-terminal the hyperspectral meter answers command frames, and changes
its output spacing and baud rate as the instrument does.
)";

constexpr const char* kReceiverUsage =
    R"(Usage: sondrix-sim --nmea [--pty [--link PATH] | --udp PORT[@HOST] | --out FILE]
                   [--seconds N [--fast [--utc-start TIME]]] [track options]
                   [receiver faults] [--report FILE] [--quiet]

NMEA 0183 sentences of a GPS receiver on a ship that sails a straight
track (a rhumb line): RMC then GGA each second, at each second of the UTC
clock. The meter's options are refused with --nmea.
)";

constexpr const char* kTsgUsage =
    R"(Usage: sondrix-sim --tsg [--pty [--link PATH] | --udp PORT[@HOST] | --out FILE]
                   [--seconds N [--fast [--utc-start TIME]]] [--tsg-id ID]
                   [line options] [--valve-schedule EVERY,FILTERED[,OFFSET]]
                   [faults] [--report FILE] [--quiet]

A ship's thermosalinograph: a line each interval of the UTC clock,
"ID TIME T, C, S, SV" with --tsg-id, else the bare "T, C, S, SV", each
quantity a straight line in time (the truth --report writes). The meter's
options are refused with --tsg.
)";

constexpr const char* kExitStatus = R"(Exit status: 0 done (also when stopped by SIGINT/SIGTERM), 1 on an error,
2 on a usage error.
)";

// Reads an option's value: false for one it cannot take.
using Reader = std::function<bool(const std::string&)>;

// Option NAME VALUE; a value `read` cannot take is the usage error
// "option NAME: WHAT, not 'VALUE'".
CLI::Option* Add(CLI::App& app, const std::string& name, const std::string& valueName, const std::string& what,
                 Reader read, const std::string& description) {
  auto take = [name, what, read](const std::string& value) {
    if (!read(value)) throw tools::UsageError("option " + name + ": " + what + ", not '" + value + "'");
  };
  return app.add_option_function<std::string>(name, take, description)->type_name(valueName);
}

// A number of type T for which `fits` holds, into `target` (a T or an
// optional one).
template <typename T, typename Target, typename Fits>
Reader Number(Target& target, Fits fits) {
  return [&target, fits](const std::string& text) {
    T value{};
    if (!ReadNumber(text, value) || !fits(value)) return false;
    target = value;
    return true;
  };
}

template <typename T>
std::string Shown(T value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// Option NAME VALUE: a number of type T for which `fits` holds, into
// `target`, whose value is the default shown.
template <typename T, typename Target, typename Fits>
CLI::Option* AddNumber(CLI::App& app, const std::string& name, const std::string& valueName, const std::string& what,
                       Target& target, Fits fits, const std::string& description) {
  return Add(app, name, valueName, what, Number<T>(target, fits), description)->default_str(Shown(target));
}

// "XsY": two numbers around the separator.
template <typename A, typename B>
bool ReadPair(std::string_view text, char separator, A& first, B& second) {
  const std::size_t at = text.find(separator);
  return at != std::string_view::npos && ReadNumber(text.substr(0, at), first) &&
         ReadNumber(text.substr(at + 1), second);
}

// "X,Y,...": numbers separated by commas, each finite.
bool ReadNumbers(std::string_view text, std::vector<double>& out) {
  out.clear();
  while (true) {
    const std::size_t at = text.find(',');
    double value = 0.0;
    if (!ReadNumber(text.substr(0, at), value) || !std::isfinite(value)) return false;
    out.push_back(value);
    if (at == std::string_view::npos) return true;
    text.remove_prefix(at + 1);
  }
}

// A count of packets (or sentences), 1 or more.
Reader Every(int& target) {
  return Number<int>(target, [](int k) { return k >= 1; });
}

// A:D, a stretch of D seconds from second A of the receiver's run.
Reader Stretch(std::optional<SecondSpan>& target) {
  return [&target](const std::string& text) {
    SecondSpan stretch;
    if (!ReadPair(text, ':', stretch.from, stretch.count) || stretch.from < 0 || stretch.count < 1) return false;
    target = stretch;
    return true;
  };
}

// A valve's schedule, "EVERY,FILTERED[,OFFSET]" in minutes.
Reader Schedule(std::optional<ValveSchedule>& target) {
  return [&target](const std::string& text) {
    ValveSchedule parsed;
    std::string error;
    if (!ParseValveSchedule(text, parsed, error)) return false;
    target = parsed;
    return true;
  };
}

Reader UtcSecond(std::optional<std::int64_t>& target) {
  return [&target](const std::string& text) { return (target = ParseUtcSecond(text)).has_value(); };
}

bool NonNegative(double x) { return std::isfinite(x) && x >= 0.0; }
bool Positive(double x) { return std::isfinite(x) && x > 0.0; }
bool AtMost100(double x) { return std::isfinite(x) && std::fabs(x) <= 100.0; }

// The options of the meter.
void DeclareMeter(CLI::App& app, Options& o) {
  SimSettings& s = o.settings;
  app.option_defaults()->group("Output (one of; standard output when neither is given)");
  app.add_option("--device", o.device, "device configuration file (.dev or .cal) to simulate")
      ->type_name("FILE")
      ->required();
  CLI::Option* out =
      app.add_option("--out", o.out, "write a raw capture file (replay it as the port name)")->type_name("FILE");
  CLI::Option* pty =
      app.add_flag("--pty", o.pty,
                   "create a pseudo-terminal and serve the stream on it; the first line of standard output is its "
                   "device path (map it in Sondrix.ini: [Ports] COM1=/dev/pts/N). Runs until SIGINT/SIGTERM unless "
                   "--packets/--seconds.")
          ->excludes(out);

  app.option_defaults()->group("Length and pace");
  CLI::Option* packets = Add(app, "--packets", "N", "a number of packets, 1 or more",
                             Number<long long>(o.packets, [](long long n) { return n >= 1; }),
                             "write N packets (default: 100 for --out, else endless)");
  Add(app, "--seconds", "S", "a positive number", Number<double>(o.seconds, Positive),
      "write the packets of S seconds of instrument time")
      ->excludes(packets);
  AddNumber<double>(
      app, "--rate", "HZ", "a sample rate from 0.49 to 31000 Hz", s.rate,
      [](double hz) { return PeriodCount(hz) != 0; },
      "sample rate; the packets carry the sample period count N = round(1 / (3.16e-05 HZ)), 1 ... 65535");
  CLI::Option* realtime =
      app.add_flag("--realtime", o.realtime,
                   "pace the packets at the instrument's rate (HZ / samples per packet packets per second): a packet "
                   "goes out when its last sample is measured, its bytes at the line's baud rate (the device file's; "
                   "raised to a standard rate that carries the stream only when --rate asks for more than the "
                   "instrument could send). The writer never waits for the reader: on a pseudo-terminal, bytes "
                   "beyond 4095 unread are lost (as a serial port's buffer overruns; the report marks the packets "
                   "\"overflow\")");
  app.add_flag("--fast", o.fast,
               "with --pty: write as fast as the reader takes the bytes, losing none (--pty is paced in real "
               "time otherwise)")
      ->excludes(realtime);
  AddNumber<double>(
      app, "--clock-ppm", "P", "parts per million from -10000 to 10000", s.clockPpm,
      [](double ppm) { return std::fabs(ppm) <= kMaxClockPpm; },
      "the instrument's clock runs P parts per million fast, -10000 ... 10000: its time counter advances by "
      "the nominal period a sample, but a sample period lasts nominal / (1 + P 1e-6) seconds of true time");
  Add(app, "--utc-start", "TIME", "a UTC time on a whole second, YYYY-MM-DDTHH:MM:SSZ", UtcSecond(o.utcStartMs),
      "unpaced (--out, standard output, --pty --fast): the UTC time at which the first sample is measured, "
      "YYYY-MM-DDTHH:MM:SSZ (default: the clock at the start); paced, samples are measured on the "
      "computer's clock");
  AddNumber<double>(app, "--linger", "S", "a number of seconds", o.linger, NonNegative,
                    "with --pty: after the last packet, wait up to S seconds for the reader to take the last bytes");

  FaultSettings& f = s.faults;
  app.option_defaults()->group("Faults, each every K packets (packets K, 2K, ...)");
  const std::string count = "a packet count of 1 or more";
  Add(app, "--bad-checksum", "K", count, Every(f.badChecksum), "the checksum does not add up (10 samples lost)");
  Add(app, "--bad-length", "K", count, Every(f.badLength), "the length word is wrong (10 samples lost)");
  Add(app, "--noise", "K", count, Every(f.noise),
      "1-20 noise bytes (never 0x00 or 0xFF, so they cannot form the sync pattern) in front of the packet "
      "(none lost)");
  Add(app, "--wrong-serial", "K", count, Every(f.wrongSerial),
      "the packet carries another serial number (the program notices it only when it synchronises on that "
      "packet)");
  auto pause = [&f](const std::string& text) {
    return ReadPair(text, ':', f.pauseEvery, f.pauseSeconds) && f.pauseEvery >= 1 && NonNegative(f.pauseSeconds);
  };
  Add(app, "--pause", "K:D", "K:D, every K packets a pause of D seconds", pause,
      "stop writing for D seconds after the packet (also when not paced): the instrument holds, its counter "
      "stands still, while D seconds of true time (utc_ms) pass");
  Add(app, "--restart", "K", count, Every(f.restart),
      "the instrument's time counter starts again from the --time-start value at the packet's first sample "
      "(a reset or power blip; same serial number and settings)");
  Add(app, "--duplicate", "K", count, Every(f.duplicate), "the packet is sent twice, byte for byte");
  Add(app, "--spacing-change", "K", count, Every(f.spacingChange),
      "hyperspectral meter, once: from packet K on it outputs every second wavelength (every one when it "
      "already did) without being asked (each such packet is lost)");
  auto unplug = [&o](const std::string& text) {
    double after = 0.0, gap = 0.0;
    if (!ReadPair(text, ':', after, gap) || !Positive(after) || !NonNegative(gap)) return false;
    o.unplug = std::make_pair(after, gap);
    return true;
  };
  CLI::Option* unplugging =
      Add(app, "--unplug", "A:G", "A:G, the line unplugged after A seconds for G seconds", unplug,
          "with --pty: after A seconds of packets the line is unplugged (the pseudo-terminal closes, as a USB "
          "adapter pulled out); the instrument goes on measuring, and after G seconds a new pseudo-terminal "
          "serves the stream again (its path printed as a further line). The packets of the gap are never sent "
          "(reported \"unplugged\", all lost)")
          ->needs(pty);
  app.add_option("--link", o.link,
                 "with --pty: a symbolic link kept pointing at the pseudo-terminal served (a stable name, as the "
                 "links in /dev/serial/by-id are for USB adapters); while the line is unplugged there is none")
      ->type_name("PATH")
      ->needs(pty);
  app.add_flag("--replug-other", o.replugOther,
               "with --unplug: the instrument plugged back is another one (another serial number)")
      ->needs(unplugging);

  app.option_defaults()->group("Signal");
  AddNumber<std::uint64_t>(
      app, "--seed", "N", "an unsigned 64-bit number", s.seed, [](std::uint64_t) { return true; },
      "seed of the noise and the faults' noise bytes; the same arguments and seed give the same bytes");
  // The meter decides the range: see CheckForModel in main.cpp.
  AddNumber<std::uint32_t>(
      app, "--time-start", "N", "a count from 0 to 4294967295", s.timeStart, [](std::uint32_t) { return true; },
      "the time counter of the first sample: 0-65535 hundredths of a second (a 16-bit counter), for the "
      "hyperspectral meter 0-4294967295 milliseconds (32 bits); the counter wraps");
  AddNumber<double>(app, "--max-depth", "M", "a number of metres", s.maxDepth, NonNegative,
                    "depth of each dive, metres");
  AddNumber<double>(app, "--dive-seconds", "S", "a positive number of seconds", s.diveSeconds, Positive,
                    "one descent and ascent, seconds");
  Add(app, "--waves", "A[,PERIOD]", "an amplitude of 0 to 10 metres and a period of 0.5 to 60 seconds",
      [&s](const std::string& text) {
        std::vector<double> v;
        if (!ReadNumbers(text, v) || v.size() > 2 || v[0] < 0.0 || v[0] > 10.0) return false;
        if (v.size() == 2 && !(v[1] >= 0.5 && v[1] <= 60.0)) return false;
        s.wavesAmplitude = v[0];
        if (v.size() == 2) s.wavesPeriod = v[1];
        return true;
      },
      "the ship's heave on the dives: the instrument rises and falls by A metres, a sine of PERIOD seconds "
      "(default 4)");
  Add(app, "--step", "DEPTH,SIZE[,LAG]", "a depth in metres, a size in 1/m and a lag of -60 to 60 seconds",
      [&s](const std::string& text) {
        std::vector<double> v;
        if (!ReadNumbers(text, v) || v.size() < 2 || v.size() > 3 || v[0] < 0.0 || (v.size() == 3 && std::abs(v[2]) > 60.0))
          return false;
        s.step = SimSettings::Step{v[0], v[1], v.size() == 3 ? v[2] : 0.0};
        return true;
      },
      "a step in the water: every a and c SIZE 1/m higher from DEPTH metres down, seen by the optics LAG seconds "
      "after the depth sensor passes it (default 0)");
  AddNumber<double>(
      app, "--drift-seconds", "S", "a positive number of seconds", s.driftSeconds, Positive,
      "one warm-up and cool-down of the instrument between 15 and 35 degrees (within its temperature bins), "
      "seconds");
  auto water = [&s](const std::string& text) {
    WaterSettings w;
    std::vector<double> v;
    if (!ReadNumbers(text, v) || v.size() < 2 || v.size() > 3) return false;
    w.temperature = v[0];
    w.salinity = v[1];
    if (v.size() == 3) w.scatter = v[2];
    if (!(w.temperature >= -2.0 && w.temperature <= 40.0) || !(w.salinity >= 0.0 && w.salinity <= 45.0) ||
        !(w.scatter >= 0.0 && w.scatter <= 0.5))
      return false;
    w.tCal = kSimCalibrationTemperature;
    s.water = std::move(w);
    return true;
  };
  Add(app, "--water", "T,S[,SCATTER]",
      "T,S[,SCATTER]: a temperature from -2 to 40 degrees, a salinity from 0 to 45 and a share from 0 to 0.5",
      water,
      "water of known truth: the meter's offsets calibrated in clean water at 20 degrees, the water at T "
      "degrees and salinity S (applied through the program's temperature and salinity coefficients), its "
      "absorption tube losing the share SCATTER of the scattering (default 0); the external temperature reads "
      "T; --report gives the true corrected spectra (docs/processing.md)");
  Add(app, "--underway", "EVERY,FILTERED[,OFFSET]", "minutes, 0 < FILTERED < EVERY, 0 <= OFFSET < EVERY",
      Schedule(o.underway),
      "with --water: underway water through a flow-through system whose valve puts a 0.2 um filter in the way "
      "FILTERED minutes every EVERY minutes from the hour (UTC; OFFSET minutes later): a drifting dissolved part "
      "always, a known particulate part (c_p slope 1) only on whole water; --report gives both "
      "(docs/processing.md, \"Underway\")");
  AddNumber<double>(app, "--value-noise", "X", "a standard deviation in 1/m", s.valueNoise, NonNegative,
                    "noise of the calibrated A and C values, 1/m standard deviation, cut at 3 sigma; 0 for none");
  AddNumber<unsigned>(
      app, "--status", "W", "a word from 0 to 65535", s.statusWord, [](unsigned w) { return w <= 0xFFFF; },
      "status word of every packet, 0-65535; at 0 the hyperspectral meter's type 4 packets carry the rate");

  LimitFaults& l = s.limits;
  app.option_defaults()->group(
      "Out of the self-test's limits (start from --clean-water --max-depth 0 --internal-temp 20 for an "
      "instrument that passes; --value-noise X makes the A and C noise exceed its limits)");
  app.add_flag("--clean-water", l.cleanWater,
               "A and C of clean water (0 1/m), the reference condition the self-test expects");
  Add(app, "--cal-drift", "X", "a value in 1/m from -100 to 100", Number<double>(l.calDrift, AtMost100),
      "add X 1/m to every A and C value (a drifted calibration; negative for the other direction)");
  Add(app, "--low-counts", "F", "a fraction of full scale between 0 and 1",
      Number<double>(l.lowCounts, [](double x) { return x > 0.0 && x < 1.0; }),
      "references at F of full scale, 0 < F < 1 (the signals follow): weak lamps or dirty windows");
  app.add_flag("--saturate", l.saturate, "every signal and reference at full scale");
  auto temperature = [&l](const std::string& text) {
    l.fixedTemp = Number<double>(l.internalTemp, [](double t) { return t >= -40.0 && t <= 150.0; })(text);
    return l.fixedTemp;
  };
  Add(app, "--internal-temp", "T", "a temperature from -40 to 150 degrees", temperature,
      "the internal temperature stays at T degrees, -40 ... 150");
  Add(app, "--depth-zero", "M", "a depth in metres from -1000 to 1000",
      Number<double>(l.depthZero, [](double m) { return std::isfinite(m) && std::fabs(m) <= 1000.0; }),
      "the pressure sensor reads M metres more (at the surface too)");
  Add(app, "--sensor-noise", "X", "a standard deviation from 0 to 100",
      Number<double>(l.sensorNoise, [](double x) { return NonNegative(x) && x <= 100.0; }),
      "noise of the internal temperature (degrees) and of the depth (metres), standard deviation per packet");
  Add(app, "--bend", "X", "a value in 1/m from -100 to 100", Number<double>(l.bend, AtMost100),
      "hyperspectral meter: add X 1/m to A and C at the output wavelength nearest the middle of the spectrum "
      "(a spectrum that does not conform; -100 ... 100)");

  app.option_defaults()->group("Hyperspectral meter");
  AddNumber<int>(
      app, "--packet-type", "T", "a packet type from 0 to 255", s.packetType, [](int t) { return t >= 0 && t <= 255; },
      "packet type 0-255: 5 with a depth profile, 4 carries the rate instead, 3 and below the older "
      "temperature converters");
  Add(app, "--drop-ack", "K", count, Every(s.dropAck),
      "the K-th command received is lost with its acknowledgement (the program asks again)");

  app.option_defaults()->group("Other");
  app.add_option("--report", o.report,
                 "a tab-separated record of every packet written: packet number, samples, what was done to it "
                 "(ok, bad-checksum, bad-length, noise(N bytes), wrong-serial, pause, restart, duplicate, "
                 "spacing; several joined by +), the samples it makes lost, the counter's unit in ms, and per "
                 "sample (comma-separated) the time counter as sent, the counter unwrapped (starting again at a "
                 "restart), the elapsed milliseconds since the first sample on the instrument's clock and "
                 "utc_ms, the true UTC time of its measurement (milliseconds since 1970, three decimals); then "
                 "the line \"totals<TAB>packets<TAB>samples<TAB>samples lost\"")
      ->type_name("FILE");
  app.add_flag("--quiet", o.quiet, "no summary on standard error");
  tools::ListLogOptions(app, "Other", "each packet with its offset, faults and bytes");
}

// What a line instrument's output and pace options say of it.
struct LineWords {
  const char* outputGroup;  // "Receiver output (standard output when none is given)"
  const char* lines;        // "sentences"
  const char* line;         // "sentence"
  const char* item;         // "fix" (what a second brings)
  const char* items;        // "fixes"
  const char* paceGroup;    // "Receiver length and pace"
  const char* instrument;   // "GPS receiver"
};

// --pty, --link, --udp, --out, --linger, --seconds, --fast and --utc-start
// of a line instrument (the GPS receiver, the thermosalinograph).
void DeclareLineOutput(CLI::App& app, bool& ptyFlag, LineRunOptions& r, const LineWords& w) {
  const std::string lines = w.lines;
  app.option_defaults()->group(w.outputGroup);
  CLI::Option* pty =
      app.add_flag("--pty", ptyFlag,
                   "serve the " + lines + " on a pseudo-terminal (its path is the first line of standard output). "
                   "Paced, what nobody read for about ten seconds is thrown away, as a serial line loses it");
  app.add_option("--link", r.link, "with --pty: a symbolic link kept pointing at the pseudo-terminal, as for the meter")
      ->type_name("PATH")
      ->needs(pty);
  auto address = [&r](const std::string& text) {
    const std::size_t at = text.find('@');
    if (!ReadNumber(std::string_view(text).substr(0, at), r.udpPort) || r.udpPort < 1 || r.udpPort > 65535)
      return false;
    if (at != std::string::npos) r.udpHost = text.substr(at + 1);
    r.sink = LineRunOptions::Sink::kUdp;
    return true;
  };
  CLI::Option* udp =
      Add(app, "--udp", "PORT[@HOST]", "PORT or PORT@HOST, a port 1 ... 65535 and an IPv4 address", address,
          "one " + std::string(w.line) + " a datagram to HOST (an IPv4 address, default 127.0.0.1; a broadcast "
          "address is allowed)")
          ->excludes(pty);
  app.add_option("--out", r.out, "write the " + lines + " to a file")->type_name("FILE")->excludes(pty, udp);
  AddNumber<double>(app, "--linger", "S", "a number of seconds", r.linger, NonNegative,
                    "with --pty: after the last " + std::string(w.item) +
                        ", wait up to S seconds for the reader to take the last bytes");

  app.option_defaults()->group(w.paceGroup);
  CLI::Option* seconds =
      Add(app, "--seconds", "N", "a whole number of seconds (" + std::string(w.items) + ") for the " + w.instrument,
          Number<long long>(r.seconds, [](long long n) { return n >= 1 && n <= 1'000'000'000'000; }),
          "N " + std::string(w.items) + " (one a second), then stop; endless without");
  CLI::Option* fast = app.add_flag("--fast", r.fast, "all N " + std::string(w.items) + " at once, without waiting "
                                                     "for the clock")
                          ->needs(seconds);
  Add(app, "--utc-start", "TIME", "a UTC time on a whole second, YYYY-MM-DDTHH:MM:SSZ", UtcSecond(r.utcStartMs),
      "with --fast: the first " + std::string(w.item) + "'s UTC time, a whole second, YYYY-MM-DDTHH:MM:SSZ "
      "(default: the current second)")
      ->needs(fast);
}

// The options of the GPS receiver (--nmea), into o.receiver.
void DeclareReceiver(CLI::App& app, Options& o) {
  NmeaRunOptions& r = o.receiver;
  ShipTrack& track = r.settings.track;
  NmeaFaults& faults = r.settings.faults;
  app.add_flag("--nmea", o.nmea, "the GPS receiver instead of a meter")
      ->group("Receiver output (standard output when none is given)");
  DeclareLineOutput(app, o.pty, r,
                    {"Receiver output (standard output when none is given)", "sentences", "sentence", "fix", "fixes",
                     "Receiver length and pace", "GPS receiver"});

  app.option_defaults()->group("Track");
  auto talker = [&r](const std::string& text) {
    const auto capital = [](char c) { return std::isupper(static_cast<unsigned char>(c)) != 0; };
    if (text.size() != 2 || !std::all_of(text.begin(), text.end(), capital)) return false;
    r.settings.talker = text;
    return true;
  };
  Add(app, "--talker", "XX", "two capital letters (GP, GN, GL, GA ...)", talker,
      "the talker of the sentences: GP, GN, GL ...")
      ->default_str(r.settings.talker);
  auto start = [&track](const std::string& text) {
    TrackPoint point;
    if (!ReadPair(text, ',', point.latitude, point.longitude) || !(std::fabs(point.latitude) <= kTrackLatitudeLimit) ||
        !(point.longitude >= -180.0 && point.longitude <= 180.0))
      return false;
    // 180 east is 180 west: the track keeps longitudes in [-180, 180).
    if (point.longitude == 180.0) point.longitude = -180.0;
    track.start = point;
    return true;
  };
  Add(app, "--start", "LAT,LON", "LAT,LON in decimal degrees, latitude -89 ... 89, longitude -180 ... 180", start,
      "where the track starts, decimal degrees")
      ->default_str(Shown(track.start.latitude) + "," + Shown(track.start.longitude));
  AddNumber<double>(
      app, "--speed", "KNOTS", "a speed in knots, 0 ... 1000", track.speedKnots,
      [](double v) { return NonNegative(v) && v <= 1000.0; }, "speed over ground");
  AddNumber<double>(
      app, "--heading", "DEG", "a true heading in degrees, 0 up to 360", track.headingDegrees,
      [](double v) { return NonNegative(v) && v < 360.0; }, "true course, 0 up to 360");

  app.option_defaults()->group("Receiver faults");
  const std::string count = "a sentence count of 1 or more";
  Add(app, "--nmea-bad-checksum", "K", count, Every(faults.badChecksum),
      "every K-th sentence sent has a wrong checksum");
  Add(app, "--nmea-cut", "K", count, Every(faults.cut),
      "every K-th sentence sent is cut short (half of it, no checksum; a cut sentence is not also a bad "
      "checksum)");
  const std::string stretch = "A:D, D seconds (1 or more) from second A (0 or more) of the run";
  Add(app, "--nmea-dropout", "A:D", stretch, Stretch(faults.dropout),
      "from second A of the run (0 first), nothing for D seconds");
  Add(app, "--nmea-invalid", "A:D", stretch, Stretch(faults.invalid),
      "from second A, D seconds without a fix: RMC status V, GGA quality 0, no position");

  app.option_defaults()->group("Receiver report");
  app.add_option("--report", r.report,
                 "a tab-separated line per second: second, utc (ISO 8601), utc_ms, latitude and longitude of "
                 "the true track (full precision), sent (yes/no), fault (ok, dropout, invalid), rmc and gga (ok, "
                 "bad-checksum, cut, - not sent), usable (yes: a reader gets the fix); then \"totals\", seconds, "
                 "sentences, bad checksums, cut, dropout seconds, invalid fixes")
      ->type_name("FILE");
  app.add_flag("--quiet", r.quiet, "no summary on standard error");
}

// The options of the thermosalinograph (--tsg), into o.tsg.
void DeclareTsg(CLI::App& app, Options& o) {
  TsgRunOptions& r = o.tsg;
  TsgSettings& t = r.settings;
  app.add_flag("--tsg", o.tsgOn, "the thermosalinograph instead of a meter")
      ->group("Thermosalinograph output (standard output when none is given)");
  DeclareLineOutput(app, o.pty, r,
                    {"Thermosalinograph output (standard output when none is given)", "lines", "line", "line",
                     "lines", "Thermosalinograph length and pace", "thermosalinograph"});
  app.option_defaults()->group("Thermosalinograph lines");
  app.add_option("--tsg-id", t.id,
                 "start each line with this data id and its ISO-8601 UTC time (without: the bare fields)")
      ->type_name("ID");
  AddNumber<double>(
      app, "--tsg-interval", "S", "a number of seconds, 0.1 ... 3600", t.interval,
      [](double v) { return v >= 0.1 && v <= 3600.0; }, "seconds between lines");
  const auto series = [](LinearSeries& target) {
    return [&target](const std::string& text) {
      LinearSeries value;
      if (!ReadPair(text, ',', value.start, value.rate) || !std::isfinite(value.start) || !std::isfinite(value.rate))
        return false;
      target = value;
      return true;
    };
  };
  Add(app, "--tsg-temperature", "T0,RATE", "two numbers, degrees and degrees a second", series(t.temperature),
      "the temperature, degC: T0 at the first line, changing by RATE a second")
      ->default_str(Shown(t.temperature.start) + "," + Shown(t.temperature.rate));
  Add(app, "--tsg-salinity", "S0,RATE", "two numbers", series(t.salinity),
      "the practical salinity: S0 at the first line, changing by RATE a second")
      ->default_str(Shown(t.salinity.start) + "," + Shown(t.salinity.rate));
  Add(app, "--tsg-conductivity", "C0,RATE", "two numbers, S/m and S/m a second", series(t.conductivity),
      "the conductivity, S/m: C0 at the first line, changing by RATE a second")
      ->default_str(Shown(t.conductivity.start) + "," + Shown(t.conductivity.rate));
  Add(app, "--valve-schedule", "EVERY,FILTERED[,OFFSET]", "minutes, 0 < FILTERED < EVERY, 0 <= OFFSET < EVERY",
      Schedule(t.valve), "a fifth field, the flow-through valve's state by this schedule: 1 filtered, 0 total");
  app.option_defaults()->group("Thermosalinograph faults");
  Add(app, "--tsg-cut", "K", "a line count of 1 or more", Every(t.cut),
      "every K-th line is cut short (a third of its fields kept)");
  Add(app, "--tsg-garbage", "K", "a line count of 1 or more", Every(t.garbage),
      "every K-th line is garbage after its id and time");
  Add(app, "--tsg-dropout", "A:D", "A:D, D seconds (1 or more) from second A (0 or more) of the run",
      Stretch(t.dropout), "from second A of the run (0 first), no line for D seconds");
  app.option_defaults()->group("Thermosalinograph report");
  app.add_option("--report", r.report,
                 "the truth: a line \"model\" with the first line's utc_ms and each quantity's start and rate "
                 "(value = start + rate x seconds since), then a tab-separated line per line: line, utc, utc_ms, "
                 "temperature, conductivity, salinity, valve (-1 without a schedule), fault (ok, cut, garbage, "
                 "dropout); then \"totals\", sent, cut, garbage, dropped")
      ->type_name("FILE");
  app.add_flag("--quiet", r.quiet, "no summary on standard error");
}

}  // namespace

Request ParseArguments(int argc, const char* const* argv, Options& o, std::string& text) {
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  CLI::App meter(kMeterUsage, "sondrix-sim");
  CLI::App receiver(kReceiverUsage, "sondrix-sim --nmea");
  CLI::App tsg(kTsgUsage, "sondrix-sim --tsg");
  tools::SetUp(meter);
  tools::SetUp(receiver, kExitStatus);
  tools::SetUp(tsg, kExitStatus);
  DeclareMeter(meter, o);
  DeclareReceiver(receiver, o);
  DeclareTsg(tsg, o);
  // Help and version last, among the meter's other options.
  meter.set_help_flag("-h,--help", "this text")->group("Other");
  const std::string version = "sondrix-sim " + std::string(kSondrixVersion);
  meter.set_version_flag("--version", version, "the program's name and version")->group("Other");
  receiver.set_version_flag("--version", version)->group("");
  tsg.set_version_flag("--version", version)->group("");

  // Each is parsed by its own options; an option of the other is refused.
  const bool nmea = std::find(args.begin(), args.end(), "--nmea") != args.end();
  if (!nmea && std::find(args.begin(), args.end(), "--tsg") != args.end()) {
    const tools::Parsed parsed = tools::Parse(tsg, args);
    if (parsed.kind == tools::Parsed::kHelp) {
      text = tools::Help(tsg);
      return Request::kHelp;
    }
    text = parsed.message;
    if (parsed.kind != tools::Parsed::kGoOn) return parsed.kind == tools::Parsed::kVersion ? Request::kVersion : Request::kWrong;
    if (o.pty) o.tsg.sink = LineRunOptions::Sink::kPty;
    if (!o.tsg.out.empty()) o.tsg.sink = LineRunOptions::Sink::kFile;
    return Request::kRun;
  }
  CLI::App& app = nmea ? receiver : meter;
  const CLI::App& other = nmea ? meter : receiver;
  const tools::Parsed parsed = tools::Parse(app, args);
  switch (parsed.kind) {
    case tools::Parsed::kHelp:
      text = tools::Help(meter) + "\nGPS receiver:\n" + tools::Help(receiver) + "\nThermosalinograph:\n" +
             tools::Help(tsg);
      return Request::kHelp;
    case tools::Parsed::kVersion:
      text = parsed.message;
      return Request::kVersion;
    case tools::Parsed::kWrong:
      // "--udp=5000" names --udp.
      if (const std::string name = parsed.unknown.substr(0, parsed.unknown.find('='));
          !name.empty() && other.get_option_no_throw(name))
        text = "option " + name +
               (nmea ? " is the meter's, not the GPS receiver's (--nmea)" : " is the GPS receiver's: it needs --nmea");
      else
        text = parsed.message;
      return Request::kWrong;
    case tools::Parsed::kGoOn:
      break;
  }
  using Sink = NmeaRunOptions::Sink;
  if (o.pty) o.receiver.sink = Sink::kPty;
  if (!o.receiver.out.empty()) o.receiver.sink = Sink::kFile;
  if (o.underway && !o.settings.water) {
    text = "--underway needs --water";
    return Request::kWrong;
  }
  if (!nmea && o.utcStartMs && (o.realtime || (o.pty && !o.fast))) {
    text =
        "--utc-start needs an unpaced run (--out, standard output or --pty --fast): paced samples take the time "
        "of the clock";
    return Request::kWrong;
  }
  return Request::kRun;
}

}  // namespace sondrix::sim
