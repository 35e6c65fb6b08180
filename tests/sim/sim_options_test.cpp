// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-sim's command line read in the process, against its manual page:
// with none given every option has the default the page names, each option
// sets what the page says it sets, a value outside the page's range is a
// usage error that names the option and the value, and no option of the
// help is left out of these tables.
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "sim/options.h"

namespace sondrix {
namespace {

using sim::Options;
using sim::Request;

// "--nmea ..." parses the receiver's options, "--tsg ..." the
// thermosalinograph's, anything else the meter's (with its device).
Request Parse(std::vector<std::string> args, Options& o, std::string& text) {
  if (args.empty() || (args[0] != "--nmea" && args[0] != "--tsg")) args.insert(args.begin(), {"--device", "m.dev"});
  args.insert(args.begin(), "sondrix-sim");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return sim::ParseArguments(static_cast<int>(argv.size()), argv.data(), o, text);
}

TEST(SimOptions, EveryOptionSetsWhatThePageSaysAndRefusesWhatItsRangeLeavesOut) {
  Options d;
  std::string text;
  ASSERT_EQ(Parse({}, d, text), Request::kRun) << text;
  const sim::SimSettings& s = d.settings;
  EXPECT_EQ(d.device, "m.dev");
  EXPECT_EQ(s.rate, 6.0);
  EXPECT_EQ(s.seed, 1u);
  EXPECT_EQ(s.timeStart, 0u);
  EXPECT_EQ(s.maxDepth, 50.0);
  EXPECT_EQ(s.diveSeconds, 240.0);
  EXPECT_EQ(s.driftSeconds, 900.0);
  EXPECT_EQ(s.valueNoise, 0.002);
  EXPECT_EQ(s.packetType, 5);
  EXPECT_EQ(s.clockPpm, 0.0);
  EXPECT_EQ(d.linger, 5.0);
  EXPECT_EQ(d.receiver.settings.talker, "GP");
  EXPECT_EQ(d.receiver.settings.track.speedKnots, 10.0);
  EXPECT_EQ(d.receiver.settings.track.headingDegrees, 45.0);
  EXPECT_FALSE(d.packets || d.seconds || d.pty || d.nmea || d.settings.limits.fixedTemp || d.settings.water);

  using Set = std::function<bool(const Options&)>;
  const std::vector<std::pair<std::vector<std::string>, Set>> set = {
      {{"--out", "c.raw"}, [](const Options& o) { return o.out == "c.raw"; }},
      {{"--pty", "--link", "l", "--unplug", "2.5:1", "--replug-other", "--linger", "0"},
       [](const Options& o) {
         return o.pty && o.link == "l" && o.unplug == std::pair(2.5, 1.0) && o.replugOther && o.linger == 0.0;
       }},
      {{"--packets", "7", "--rate", "20.5", "--realtime"},
       [](const Options& o) { return o.packets == 7 && o.settings.rate == 20.5 && o.realtime; }},
      {{"--seconds", "0.5", "--fast", "--clock-ppm", "-10000", "--utc-start", "2026-12-10T04:00:00Z"},
       [](const Options& o) {
         return o.seconds == 0.5 && o.fast && o.settings.clockPpm == -10000.0 && o.utcStartMs == 1796875200000;
       }},
      {{"--bad-checksum", "3", "--bad-length", "4", "--noise", "5", "--wrong-serial", "6", "--pause", "7:1.5",
        "--restart", "8", "--duplicate", "9", "--spacing-change", "10"},
       [](const Options& o) {
         const sim::FaultSettings& f = o.settings.faults;
         return f.badChecksum == 3 && f.badLength == 4 && f.noise == 5 && f.wrongSerial == 6 && f.pauseEvery == 7 &&
                f.pauseSeconds == 1.5 && f.restart == 8 && f.duplicate == 9 && f.spacingChange == 10;
       }},
      {{"--seed", "18446744073709551615", "--time-start", "4294967295", "--max-depth", "0", "--dive-seconds", "60",
        "--drift-seconds", "30", "--value-noise", "0", "--status", "65535"},
       [](const Options& o) {
         const sim::SimSettings& t = o.settings;
         return t.seed == 18446744073709551615u && t.timeStart == 4294967295u && t.maxDepth == 0.0 &&
                t.diveSeconds == 60.0 && t.driftSeconds == 30.0 && t.valueNoise == 0.0 && t.statusWord == 65535;
       }},
      {{"--clean-water", "--cal-drift", "-100", "--low-counts", "0.25", "--saturate", "--internal-temp", "-40",
        "--depth-zero", "1000", "--sensor-noise", "100", "--bend", "100"},
       [](const Options& o) {
         const sim::LimitFaults& l = o.settings.limits;
         return l.cleanWater && l.calDrift == -100.0 && l.lowCounts == 0.25 && l.saturate && l.fixedTemp &&
                l.internalTemp == -40.0 && l.depthZero == 1000.0 && l.sensorNoise == 100.0 && l.bend == 100.0;
       }},
      {{"--water", "-2,45,0.5"},
       [](const Options& o) {
         const std::optional<sim::WaterSettings>& w = o.settings.water;
         return w && w->temperature == -2.0 && w->salinity == 45.0 && w->scatter == 0.5 && w->tCal == 20.0;
       }},
      {{"--water", "25,35"}, [](const Options& o) { return o.settings.water && o.settings.water->scatter == 0.0; }},
      {{"--waves", "10,0.5", "--step", "10.5,-2,60"},
       [](const Options& o) {
         const auto& s = o.settings;
         return s.wavesAmplitude == 10.0 && s.wavesPeriod == 0.5 && s.step && s.step->depth == 10.5 &&
                s.step->size == -2.0 && s.step->lag == 60.0;
       }},
      {{"--waves", "0.3", "--step", "5,1"},
       [](const Options& o) {
         return o.settings.wavesPeriod == 4.0 && o.settings.step && o.settings.step->lag == 0.0;
       }},
      {{"--water", "25,35", "--underway", "60,10,5"},
       [](const Options& o) { return o.underway && o.underway->Text() == "60,10,5"; }},
      {{"--packet-type", "0", "--drop-ack", "2", "--report", "r.tsv", "--quiet"},
       [](const Options& o) {
         return o.settings.packetType == 0 && o.settings.dropAck == 2 && o.report == "r.tsv" && o.quiet;
       }},
      {{"--nmea", "--udp", "10110@192.168.1.255", "--seconds", "60", "--fast", "--utc-start", "2026-05-01T12:00:00Z",
        "--linger", "1", "--report", "n.tsv", "--quiet"},
       [](const Options& o) {
         const sim::NmeaRunOptions& r = o.receiver;
         return o.nmea && r.sink == sim::NmeaRunOptions::Sink::kUdp && r.udpPort == 10110 &&
                r.udpHost == "192.168.1.255" && r.seconds == 60 && r.fast && r.utcStartMs == 1777636800000 &&
                r.linger == 1.0 && r.report == "n.tsv" && r.quiet;
       }},
      {{"--nmea",
        "--pty",
        "--link",
        "g",
        "--talker",
        "GN",
        "--start",
        "-89,180",
        "--speed",
        "1000",
        "--heading",
        "359.5",
        "--nmea-bad-checksum",
        "3",
        "--nmea-cut",
        "4",
        "--nmea-dropout",
        "0:1",
        "--nmea-invalid",
        "5:6"},
       [](const Options& o) {
         const sim::NmeaSettings& n = o.receiver.settings;
         return o.receiver.sink == sim::NmeaRunOptions::Sink::kPty && o.receiver.link == "g" && n.talker == "GN" &&
                n.track.start.latitude == -89.0 && n.track.start.longitude == -180.0 && n.track.speedKnots == 1000.0 &&
                n.track.headingDegrees == 359.5 && n.faults.badChecksum == 3 && n.faults.cut == 4 &&
                n.faults.dropout->from == 0 && n.faults.dropout->count == 1 && n.faults.invalid->from == 5 &&
                n.faults.invalid->count == 6;
       }},
      {{"--nmea", "--out", "t.nmea"},
       [](const Options& o) {
         return o.receiver.sink == sim::NmeaRunOptions::Sink::kFile && o.receiver.out == "t.nmea";
       }},
      {{"--tsg", "--tsg-id", "tsg1", "--tsg-interval", "0.1", "--tsg-temperature", "-2,0.5", "--tsg-salinity",
        "35,-0.01", "--tsg-conductivity", "4.5,0", "--valve-schedule", "60,10,5", "--tsg-cut", "3", "--tsg-garbage",
        "4", "--tsg-dropout", "2:3", "--udp", "10120"},
       [](const Options& o) {
         const sim::TsgSettings& t = o.tsg.settings;
         return o.tsgOn && o.tsg.sink == sim::LineRunOptions::Sink::kUdp && o.tsg.udpPort == 10120 && t.id == "tsg1" &&
                t.interval == 0.1 && t.temperature.start == -2.0 && t.temperature.rate == 0.5 &&
                t.salinity.start == 35.0 && t.salinity.rate == -0.01 && t.conductivity.start == 4.5 &&
                t.valve == ValveSchedule{60.0, 10.0, 5.0} && t.cut == 3 && t.garbage == 4 && t.dropout->from == 2 &&
                t.dropout->count == 3;
       }},
  };
  std::set<std::string> tried = {"--device", "--help", "--version", "--verbose", "--log-level"};
  for (const auto& [args, holds] : set) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    Options o;
    ASSERT_EQ(Parse(args, o, text), Request::kRun) << text;
    EXPECT_TRUE(holds(o));
    tried.insert(args.begin(), args.end());
  }

  // Just outside each range.
  const std::vector<std::vector<std::string>> refused = {{"--packets", "0"},
                                                         {"--seconds", "0"},
                                                         {"--rate", "0.4"},
                                                         {"--clock-ppm", "10001"},
                                                         {"--linger", "-1"},
                                                         {"--utc-start", "2026-12-10T04:00:00.5Z"},
                                                         {"--bad-checksum", "0"},
                                                         {"--bad-length", "x"},
                                                         {"--noise", "-1"},
                                                         {"--wrong-serial", "1.5"},
                                                         {"--pause", "0:1"},
                                                         {"--pause", "3"},
                                                         {"--restart", "0"},
                                                         {"--duplicate", ""},
                                                         {"--spacing-change", "0"},
                                                         {"--unplug", "0:5"},
                                                         {"--seed", "-1"},
                                                         {"--time-start", "4294967296"},
                                                         {"--max-depth", "-1"},
                                                         {"--dive-seconds", "0"},
                                                         {"--drift-seconds", "inf"},
                                                         {"--value-noise", "nan"},
                                                         {"--status", "65536"},
                                                         {"--cal-drift", "100.5"},
                                                         {"--low-counts", "1"},
                                                         {"--internal-temp", "151"},
                                                         {"--depth-zero", "-1001"},
                                                         {"--sensor-noise", "101"},
                                                         {"--bend", "-101"},
                                                         {"--packet-type", "256"},
                                                         {"--water", "40.5,35"},
                                                         {"--water", "20,-1"},
                                                         {"--water", "20,35,0.6"},
                                                         {"--water", "20"},
                                                         {"--waves", "10.5"},
                                                         {"--waves", "1,0.4"},
                                                         {"--waves", "1,2,3"},
                                                         {"--step", "10"},
                                                         {"--step", "-1,2"},
                                                         {"--step", "10,2,61"},
                                                         {"--water", "20,0", "--underway", "60,60"},
                                                         {"--drop-ack", "0"},
                                                         {"--nmea", "--udp", "65536"},
                                                         {"--nmea", "--seconds", "0"},
                                                         {"--nmea", "--talker", "GPS"},
                                                         {"--nmea", "--start", "89.5,0"},
                                                         {"--nmea", "--start", "0,-180.5"},
                                                         {"--nmea", "--speed", "1000.5"},
                                                         {"--nmea", "--heading", "360"},
                                                         {"--nmea", "--nmea-cut", "0"},
                                                         {"--nmea", "--nmea-bad-checksum", "0"},
                                                         {"--nmea", "--nmea-dropout", "-1:2"},
                                                         {"--nmea", "--nmea-invalid", "1:0"},
                                                         {"--nmea", "--linger", "x"},
                                                         {"--nmea", "--utc-start", "2026-02-30T00:00:00Z"},
                                                         {"--tsg", "--tsg-interval", "0.05"},
                                                         {"--tsg", "--tsg-temperature", "20"},
                                                         {"--tsg", "--valve-schedule", "60,60"},
                                                         {"--tsg", "--tsg-cut", "0"},
                                                         {"--tsg", "--tsg-dropout", "1:0"}};
  for (const std::vector<std::string>& args : refused) {
    const std::string& name = args[args.size() - 2];
    SCOPED_TRACE(name + " " + args.back());
    Options o;
    ASSERT_EQ(Parse(args, o, text), Request::kWrong);
    EXPECT_TRUE(text.starts_with("option " + name + ": ")) << text;
    EXPECT_TRUE(text.ends_with(", not '" + args.back() + "'")) << text;
  }

  // Every option the help lists is in the tables above.
  ASSERT_EQ(Parse({"--help"}, d, text), Request::kHelp);
  const std::regex option(R"(\n  (?:-[a-z], )?(--[a-z][a-z-]*))");
  int listed = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it, ++listed)
    EXPECT_TRUE(tried.count((*it)[1])) << (*it)[1] << " is in no case";
  EXPECT_GE(listed, 55);
}

}  // namespace
}  // namespace sondrix
