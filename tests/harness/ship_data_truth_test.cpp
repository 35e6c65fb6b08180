// SPDX-License-Identifier: GPL-3.0-or-later
// The ship's data end to end against the simulator's truth: the simulated
// meter on a pseudo-terminal, one simulated thermosalinograph over UDP (its
// lines with data id and UTC time) and another on a pseudo-terminal (the
// bare fields, dated by their arrival), both with dropouts, cut lines and
// garbage, the valve on a schedule; `sondrix-cli record` takes temperature
// and conductivity from the first, salinity from the second. Then the
// exports: every sample's temperature and salinity in the NetCDF file (read
// back by ncdump), the CSV and the SeaBASS file lie within 0.001 of the
// truth at the sample's UTC time (the simulators' series are straight lines
// in time, so the truth is exact anywhere), and its valve state is the
// schedule's, except within one sample of a switch. The spoiled lines are
// counted and none of their values is recorded. The network output sends
// the ship's data with every line: during the run the latest readings,
// near the truth; replayed, the CSV export's values of each sample.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "common/text_format.h"
#include "datafile/ancillary_file.h"
#include "datafile/companion.h"
#include "io/ancillary.h"
#include "support/fixtures.h"
#include "support/sim_report.h"
#include "support/udp_listener.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::Quoted;

const std::string kDevice = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";
constexpr int kSeconds = 34;
constexpr double kTolerance = 0.001;
// A switch every 15 s, filtered for the first 6.
const ValveSchedule kSchedule{0.25, 0.1, 0.0};

// One quantity's straight line, as the simulator's report gives it.
struct Truth {
  long long startMs = 0;
  double start = 0.0, rate = 0.0;
  double At(long long utcMs) const { return start + rate * static_cast<double>(utcMs - startMs) / 1000.0; }
};

// The "model" line of a thermosalinograph's report: `quantity`'s truth; the
// totals line's sent, cut and garbage lines into `totals`.
Truth ReadTruth(const std::string& report, const std::string& quantity, std::vector<long long>& totals) {
  Truth truth;
  for (const std::string& line : test::Lines(test::ReadTextFile(report).value_or(""))) {
    const std::vector<std::string> f = test::Split(line, '\t');
    if (f[0] == "model") {
      truth.startMs = std::stoll(f[1]);
      for (std::size_t k = 2; k + 2 < f.size(); k += 3) {
        if (f[k] == quantity) truth = {truth.startMs, std::stod(f[k + 1]), std::stod(f[k + 2])};
      }
    }
    if (f[0] == "totals") {
      for (std::size_t k = 1; k < f.size(); ++k) totals.push_back(std::stoll(f[k]));
    }
  }
  return truth;
}


// One exported sample: its UTC time and its values (NaN: none).
struct Sample {
  long long utcMs = 0;
  double temperature = NAN, salinity = NAN, valve = NAN;
};

// The samples of a CSV export, by its column headings.
std::vector<Sample> ReadCsv(const std::string& path) {
  std::vector<Sample> samples;
  const std::vector<std::string> lines = test::Lines(test::ReadTextFile(path).value_or(""));
  if (lines.empty()) return samples;
  const std::vector<std::string> names = test::Split(lines[0], ',');
  const auto column = [&names](const std::string& start) {
    for (std::size_t k = 0; k < names.size(); ++k) {
      if (names[k].starts_with(start)) return k;
    }
    return names.size();
  };
  const std::size_t t = column("sea_water_temperature"), s = column("sea_water_practical_salinity"),
                    v = column("valve_state");
  EXPECT_LT(std::max({t, s, v}), names.size()) << lines[0];
  const auto value = [](const std::string& text) { return text.empty() ? NAN : std::stod(text); };
  for (std::size_t i = 1; i < lines.size() && std::max({t, s, v}) < names.size(); ++i) {
    const std::vector<std::string> f = test::Split(lines[i], ',');
    if (f.size() != names.size()) continue;
    samples.push_back({ParseIsoUtc(f[0]).value_or(0), value(f[t]), value(f[s]), value(f[v])});
  }
  return samples;
}

// The network output's datagrams as the samples of a CSV export (written
// to `path`): its first record of the fields the heading, each line a row.
std::vector<Sample> HeardAsCsv(const std::vector<std::string>& heard, const std::string& path) {
  std::string csv;
  for (const std::string& datagram : heard) {
    const std::vector<std::string> words = test::Split(datagram, ' ');
    if (words.size() != 3) continue;
    if (words[1] != "#fields") csv += words[1] + "," + words[2] + "\n";
    else if (csv.empty()) csv = "time_utc" + words[2].substr(4) + "\n";
  }
  test::WriteTextFile(path, csv);
  return ReadCsv(path);
}

// The values of `variable` in ncdump's listing of `path` (NaN for "_").
std::vector<double> NcVariable(const std::string& path, const std::string& variable, const test::TempDir& home) {
  const test::CliRun dump = test::RunTool("/usr/bin/ncdump", "-v " + variable + " " + Quoted(path), home);
  EXPECT_EQ(dump.exitStatus, 0) << dump.err;
  std::vector<double> values;
  const std::size_t data = dump.out.find("\ndata:");
  std::size_t at = data == std::string::npos ? std::string::npos : dump.out.find("\n " + variable + " =", data);
  if (at == std::string::npos) {
    ADD_FAILURE() << variable << " not in " << path;
    return values;
  }
  at = dump.out.find('=', at) + 1;
  const std::size_t end = dump.out.find(';', at);
  for (const std::string& item : test::Split(dump.out.substr(at, end - at), ',')) {
    std::string text;
    for (char c : item) {
      if (c != ' ' && c != '\n' && c != '\t') text += c;
    }
    values.push_back(text == "_" ? NAN : std::stod(text));
  }
  return values;
}

class ShipDataTruth : public test::HeadlessTest {};

TEST_F(ShipDataTruth, EveryExportHoldsTheTrueTemperatureSalinityAndValveStateAtEachSample) {
  ASSERT_TRUE(std::filesystem::exists(test::kSim) && std::filesystem::exists(test::kCli));
  const int port = test::FreeUdpPort();
  const std::string tsgSeconds = std::to_string(kSeconds + 8);
  test::Background udpTsg(test::kSim,
                          {"--tsg", "--udp", std::to_string(port), "--tsg-id", "tsg1", "--seconds", tsgSeconds,
                           "--tsg-temperature", "21.8,0.002", "--tsg-cut", "7", "--tsg-garbage", "9",
                           "--tsg-dropout", "9:6", "--report", home.File("udp.tsv"), "--quiet"},
                          home.File("udp.out"), home.File("udp.err"));
  ASSERT_TRUE(udpTsg.started());
  std::unique_ptr<test::Background> ptyTsg;
  const std::string ptyPath = test::StartPtySim(
      ptyTsg, {"--tsg", "--tsg-interval", "0.5", "--seconds", tsgSeconds, "--tsg-salinity", "36.59,-0.001",
               "--tsg-cut", "11", "--tsg-garbage", "13", "--tsg-dropout", "14:4", "--report", home.File("pty.tsv"),
               "--quiet"},
      home, "tsg");
  ASSERT_FALSE(ptyPath.empty());
  std::unique_ptr<test::Background> meter;
  const std::string meterPath = test::StartPtySim(
      meter, {"--device", kDevice, "--rate", "30", "--quiet", "--seconds", std::to_string(kSeconds)}, home);
  ASSERT_FALSE(meterPath.empty());
  WriteSettings("[Ports]\nCOM1=" + meterPath + "\n");
  test::UdpListener network;
  const test::CliRun run = test::RunTool(
      test::kCli,
      "record --device " + Quoted(kDevice) + " --port COM1 --out " + Quoted(home.File("run.dat")) + " --lines " +
          std::to_string(30 * (kSeconds - 2)) + " --ancillary udp:" + std::to_string(port) +
          " --ancillary-id tsg1 --ancillary-fields temperature=1,conductivity=2 --ancillary " + Quoted(ptyPath) +
          " --ancillary-fields salinity=3 --valve-schedule " + kSchedule.Text() + " --udp-out " +
          network.Destination(),
      home);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  udpTsg.Signal(SIGTERM);
  ptyTsg->Signal(SIGTERM);
  udpTsg.Wait(10.0);
  ptyTsg->Wait(10.0);

  std::vector<long long> udpTotals, ptyTotals;
  const Truth temperature = ReadTruth(home.File("udp.tsv"), "temperature", udpTotals);
  const Truth conductivity = ReadTruth(home.File("udp.tsv"), "conductivity", udpTotals);
  const Truth salinity = ReadTruth(home.File("pty.tsv"), "salinity", ptyTotals);
  ASSERT_EQ(udpTotals.size(), 8u);  // read twice
  ASSERT_EQ(ptyTotals.size(), 4u);
  ASSERT_GT(udpTotals[1] + udpTotals[2], 0);
  ASSERT_GT(ptyTotals[1] + ptyTotals[2], 0);

  // The run's note for each source: its readings, and the spoiled lines
  // counted (every cut and garbage line the recorder read).
  for (const std::string& name : {std::string("tsg1 gave "), ptyPath + " gave "}) {
    const std::size_t note = run.err.find(name);
    ASSERT_NE(note, std::string::npos) << run.err;
    EXPECT_NE(run.err.find("spoiled", note), std::string::npos) << run.err.substr(note);
  }

  // Every value recorded is true at its time: none came from a spoiled line.
  std::vector<AncillaryRecord> records;
  long skipped = 0;
  std::string error;
  ASSERT_EQ(ReadAncillary(home.File("run.ancillary.csv"), records, skipped, error), 1) << error;
  EXPECT_EQ(skipped, 0);
  std::map<Quantity, int> recorded;
  for (const AncillaryRecord& r : records) {
    ++recorded[r.quantity];
    // The bare lines are dated by their arrival, read within a tenth of a second.
    const Truth& truth = r.quantity == Quantity::kTemperature    ? temperature
                         : r.quantity == Quantity::kConductivity ? conductivity
                                                                 : salinity;
    EXPECT_NEAR(r.value, truth.At(r.utcMs), r.quantity == Quantity::kSalinity ? 2e-4 : 1e-4)
        << RowOf(r.quantity).name << " at " << IsoUtc(r.utcMs) << " from " << r.source;
  }
  EXPECT_GT(recorded[Quantity::kTemperature], kSeconds / 2);
  EXPECT_GT(recorded[Quantity::kSalinity], kSeconds);
  Companion companion;
  ASSERT_EQ(ReadCompanion(home.File("run.meta.json"), companion, error), 1) << error;
  ASSERT_EQ(companion.ancillarySources.size(), 2u);
  EXPECT_EQ(FieldMapText(companion.ancillarySources[0].map), "temperature=1,conductivity=2");
  EXPECT_EQ(companion.valveSchedule, kSchedule);

  for (const char* format : {"netcdf", "csv", "seabass"}) {
    const test::CliRun exported =
        test::RunTool(test::kCli, "export " + Quoted(home.File("run.dat")) + " --format " + format, home);
    ASSERT_EQ(exported.exitStatus, 0) << format << ": " << exported.err;
  }

  // The CSV: every sample checked against the truth.
  const std::vector<Sample> samples = ReadCsv(home.File("run.csv"));
  ASSERT_GT(samples.size(), 30u * (kSeconds - 4));
  long withT = 0, withS = 0, nearSwitch = 0;
  for (const Sample& s : samples) {
    if (!std::isnan(s.temperature)) {
      ++withT;
      EXPECT_NEAR(s.temperature, temperature.At(s.utcMs), kTolerance) << IsoUtc(s.utcMs);
    }
    if (!std::isnan(s.salinity)) {
      ++withS;
      EXPECT_NEAR(s.salinity, salinity.At(s.utcMs), kTolerance) << IsoUtc(s.utcMs);
    }
    ASSERT_FALSE(std::isnan(s.valve)) << IsoUtc(s.utcMs);
    // Within one sample (a thirtieth of a second) of a switch either state is right.
    const long long into = s.utcMs % 15000;
    if (std::min({std::llabs(into), std::llabs(into - 6000), std::llabs(into - 15000)}) <= 34) {
      ++nearSwitch;
      continue;
    }
    EXPECT_EQ(s.valve, kSchedule.FilteredAt(s.utcMs) ? 1.0 : 0.0) << IsoUtc(s.utcMs);
  }
  // Dropouts of 6 and 4 s are bridged (under 30 s): only the run's first
  // moments, before the first line of each, lack values.
  EXPECT_GT(withT, static_cast<long>(samples.size()) - 30 * 3);
  EXPECT_GT(withS, static_cast<long>(samples.size()) - 30 * 3);
  EXPECT_LT(nearSwitch, 30);

  // The NetCDF file, read back by ncdump: the same samples, the same truth.
  const std::string nc = home.File("run.nc");
  const std::vector<double> times = NcVariable(nc, "time", home);
  const std::vector<double> ncT = NcVariable(nc, "sea_water_temperature", home);
  const std::vector<double> ncS = NcVariable(nc, "sea_water_practical_salinity", home);
  const std::vector<double> ncValve = NcVariable(nc, "valve_state", home);
  ASSERT_EQ(times.size(), samples.size());
  ASSERT_EQ(ncT.size(), samples.size());
  ASSERT_EQ(ncS.size(), samples.size());
  ASSERT_EQ(ncValve.size(), samples.size());
  const test::CliRun header = test::RunTool("/usr/bin/ncdump", "-h " + Quoted(nc), home);
  EXPECT_NE(header.out.find("sea_water_temperature:standard_name = \"sea_water_temperature\""), std::string::npos);
  EXPECT_NE(header.out.find("valve_state:flag_meanings = \"total filtered\""), std::string::npos) << header.out;
  EXPECT_NE(header.out.find("sea_water_electrical_conductivity:units = \"S m-1\""), std::string::npos);
  EXPECT_EQ(header.out.find("sea_water_pressure"), std::string::npos);  // no source gave it
  for (std::size_t k = 0; k < samples.size(); ++k) {
    const auto utcMs = static_cast<long long>(times[k]);
    ASSERT_EQ(utcMs, samples[k].utcMs) << k;
    EXPECT_EQ(std::isnan(ncT[k]), std::isnan(samples[k].temperature)) << k;
    if (!std::isnan(ncT[k])) {
      EXPECT_NEAR(ncT[k], temperature.At(utcMs), kTolerance) << k;
    }
    if (!std::isnan(ncS[k])) {
      EXPECT_NEAR(ncS[k], salinity.At(utcMs), kTolerance) << k;
    }
    EXPECT_EQ(ncValve[k], samples[k].valve) << k;
  }

  // SeaBASS: its own field names, row for row the CSV's values.
  const std::vector<std::string> sb = test::Lines(test::ReadTextFile(home.File("run.sb")).value_or(""));
  std::vector<std::string> fields;
  std::size_t row = 0;
  while (row < sb.size() && sb[row] != "/end_header") {
    if (sb[row].starts_with("/fields=")) fields = test::Split(sb[row].substr(8), ',');
    ++row;
  }
  const auto column = [&fields](const std::string& name) {
    return static_cast<std::size_t>(std::find(fields.begin(), fields.end(), name) - fields.begin());
  };
  const std::size_t wt = column("wt"), sal = column("sal"), cond = column("cond"), valve = column("valve_state");
  ASSERT_LT(std::max({wt, sal, cond, valve}), fields.size());
  ASSERT_EQ(sb.size() - row - 1, samples.size());
  for (std::size_t k = 0; k < samples.size(); ++k) {
    const std::vector<std::string> f = test::Split(sb[row + 1 + k], ',');
    ASSERT_EQ(f.size(), fields.size());
    const auto value = [](const std::string& text) { return text == "-9999" ? NAN : std::stod(text); };
    if (std::isnan(samples[k].temperature)) {
      EXPECT_TRUE(std::isnan(value(f[wt])));
    } else {
      EXPECT_NEAR(value(f[wt]), temperature.At(samples[k].utcMs), kTolerance) << k;
    }
    if (!std::isnan(samples[k].salinity)) {
      EXPECT_NEAR(value(f[sal]), salinity.At(samples[k].utcMs), kTolerance) << k;
    }
    if (!std::isnan(value(f[cond]))) {  // mS/cm
      EXPECT_NEAR(value(f[cond]), 10.0 * conductivity.At(samples[k].utcMs), 0.01) << k;
    }
    EXPECT_EQ(value(f[valve]), samples[k].valve) << k;
  }

  // The ship's network heard every line with the run's latest readings
  // while fresh: behind the truth by at most the drift of 10 s (the 6 s
  // dropout, a line spoiled either side of it, a second between lines).
  const std::vector<Sample> live = HeardAsCsv(network.Heard(), home.File("live.csv"));
  ASSERT_EQ(live.size(), samples.size());
  long liveT = 0;
  for (const Sample& s : live) {
    if (std::isnan(s.temperature)) continue;
    ++liveT;
    EXPECT_NEAR(s.temperature, temperature.At(s.utcMs), 0.002 * 10 + kTolerance) << IsoUtc(s.utcMs);
  }
  EXPECT_GT(liveT, static_cast<long>(samples.size()) - 30 * 3);
  // Replayed, each line carries the export's values of its sample.
  test::UdpListener again;
  const test::CliRun replay =
      test::RunTool(test::kCli, "replay " + Quoted(home.File("run.dat")) + " --udp-out " + again.Destination(), home);
  ASSERT_EQ(replay.exitStatus, 0) << replay.err;
  const std::vector<Sample> replayed = HeardAsCsv(again.Heard(), home.File("replayed.csv"));
  ASSERT_EQ(replayed.size(), samples.size());
  for (std::size_t k = 0; k < samples.size(); ++k) {
    ASSERT_EQ(replayed[k].utcMs, samples[k].utcMs) << k;
    for (const auto field : {&Sample::temperature, &Sample::salinity, &Sample::valve}) {
      if (std::isnan(samples[k].*field)) EXPECT_TRUE(std::isnan(replayed[k].*field)) << k;
      else EXPECT_EQ(replayed[k].*field, samples[k].*field) << k;
    }
  }
}

}  // namespace
}  // namespace sondrix
