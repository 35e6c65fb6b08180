// SPDX-License-Identifier: GPL-3.0-or-later
// The corrections end to end against the simulator's truth: the
// nine-wavelength meter in the simulator's water mode, 25 degrees (5 above
// the simulated calibration's T_cal) and salinity 35, its absorption tube
// losing 15 % of the scattering; the capture recorded by sondrix-cli record
// and processed by sondrix-cli process into CSV. Averaged over the run's
// samples, the T/S-corrected a and c lie within 0.001 1/m of the report's
// truth at every wavelength, the proportionally corrected a within
// 0.002 1/m from 412 to 676 nm, and exactly 0 at the reference wavelength;
// the temperature used is the water's as the meter's external sensor read
// it. Without the corrections the same values lie far off the truth, so
// the comparison can tell. The same recording replayed through a session
// with the live processing on gives, line by line, the values of the
// Level-2 file: what the window shows during the run is what the file
// holds after it, and its network output sends each line with the Level-2
// file's corrected values of that line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "meter/source_factory.h"
#include "support/processed_replay.h"
#include "support/fixtures.h"
#include "support/sim_report.h"
#include "support/udp_listener.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::Quoted;

const std::string kDevice = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";

class WaterTruth : public test::HeadlessTest {
 protected:
  // The corrections the file was processed with: salinity 35, T_cal 20.
  static ProcessingSettings Settings() {
    ProcessingSettings settings;
    settings.tCal = 20.0;
    settings.salinity = 35.0;
    std::string error;
    EXPECT_TRUE(BuiltInTable(settings.table, error)) << error;
    return settings;
  }
  // The simulated run in water recorded into `dat`, processed into `csv`
  // (salinity 35, T_cal 20); the simulator's report into `truth`.
  void RecordAndProcess() {
    const std::string raw = home.File("water.raw"), report = home.File("water.tsv");
    ASSERT_EQ(test::RunTool(test::kSim, "--device " + Quoted(kDevice) + " --water 25,35,0.15 --packets 40 --quiet --out " +
                                            Quoted(raw) + " --report " + Quoted(report),
                            home)
                  .exitStatus,
              0);
    truth = test::ReadReport(report);
    ASSERT_EQ(truth.error, "");
    test::CliRun run = test::RunTool(test::kCli, "record --device " + Quoted(kDevice) + " --port " + Quoted(raw) +
                                                     " --out " + Quoted(dat) + " --start-utc 2026-12-10T04:00:00.000Z",
                                     home);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    run = test::RunTool(test::kCli, "process " + Quoted(dat) + " --out " + Quoted(csv) + " --salinity 35 --t-cal 20",
                        home);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
  }
  // The CSV's sample rows, after its heading line (first).
  std::vector<std::string> CsvLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : test::Lines(test::ReadTextFile(csv).value_or("")))
      if (!line.starts_with("#")) lines.push_back(line);
    return lines;
  }

  const std::string dat = home.File("water.dat"), csv = home.File("water.csv");
  test::Report truth;
};

TEST_F(WaterTruth, CorrectedSpectraMatchTheSimulatorsTruth) {
  ASSERT_TRUE(std::filesystem::exists(test::kSim) && std::filesystem::exists(test::kCli));
  RecordAndProcess();
  ASSERT_EQ(truth.water, (std::vector<double>{25.0, 35.0, 20.0, 0.15}));
  ASSERT_EQ(truth.truth.size(), 18u);

  // The CSV's columns by heading, averaged over every sample.
  const std::vector<std::string> lines = CsvLines();
  ASSERT_GT(lines.size(), 300u);
  const std::vector<std::string> headings = test::Split(lines[0], ',');
  std::map<std::string, double> mean;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> f = test::Split(lines[i], ',');
    ASSERT_EQ(f.size(), headings.size()) << lines[i];
    for (std::size_t k = 1; k < f.size(); ++k) {
      const std::string name = headings[k].substr(0, headings[k].find(' '));
      mean[name] += std::stod(f[k]) / static_cast<double>(lines.size() - 1);
    }
  }
  EXPECT_NEAR(mean["temperature_used"], 25.0, 1e-9);
  // The line height of the true corrected absorption at 650, 676, 715 nm.
  std::map<int, double> a;
  for (const test::ReportedTruth& t : truth.truth) {
    if (!t.attenuation) a[static_cast<int>(t.wavelength)] = t.corrected;
  }
  EXPECT_NEAR(mean["absorption_line_height"], a[676] - (a[650] + (a[715] - a[650]) * 26.0 / 65.0), 0.001);
  EXPECT_NEAR(mean["quality_flag"], 1.0, 1e-9) << "every sample good";
  for (const test::ReportedTruth& t : truth.truth) {
    const std::string w = std::to_string(static_cast<int>(t.wavelength));
    SCOPED_TRACE((t.attenuation ? "c" : "a") + w);
    const double ts = mean[(t.attenuation ? "c_ts" : "a_ts") + w];
    EXPECT_NEAR(ts, t.ts, 0.001);
    // The raw value is off by the water's own change: the check can tell.
    const double raw = mean[(t.attenuation ? "c" : "a") + w];
    if (t.wavelength >= 700) {
      EXPECT_GT(std::abs(raw - t.ts), 0.002);
    }
    if (t.attenuation) continue;
    const double corrected = mean["a_corrected" + w];
    if (t.wavelength <= 676) {
      EXPECT_NEAR(corrected, t.corrected, 0.002);
      EXPECT_GT(std::abs(ts - t.corrected), 0.01) << "the scattering error is not plain";
    } else {
      EXPECT_EQ(corrected, 0.0) << "not exactly 0 at the reference wavelength";
    }
  }
}

TEST_F(WaterTruth, TheLiveCorrectionsAreTheLevel2FilesValues) {
  ASSERT_TRUE(std::filesystem::exists(test::kSim) && std::filesystem::exists(test::kCli));
  RecordAndProcess();
  const ProcessingSettings settings = Settings();
  const test::ProcessedReplay live = test::ReplayProcessed(dat, HomeFile("Sondrix.tmp"), settings);
  ASSERT_EQ(live.error, "");
  // The meter's traces, by heading.
  std::vector<std::string> traceHeadings;
  {
    std::unique_ptr<Source> source;
    ASSERT_EQ(NewSource(source, kSourceKindFile, dat, ""), status::kOk);
    ASSERT_EQ(source->Open(), status::kOk);
    for (int i = 0; i < source->GetTraceCount(); ++i) {
      std::string heading;
      source->GetHeading(i, heading);
      traceHeadings.push_back(heading);
    }
    source->Close();
  }

  const std::vector<std::string> lines = CsvLines();
  ASSERT_EQ(live.missed, 0);
  ASSERT_EQ(live.values.size() + 1, lines.size());
  const std::vector<std::string> headings = test::Split(lines[0], ',');
  // Each a trace shows a_corrected, each c trace c_ts, at its wavelength.
  std::size_t compared = 0;
  for (std::size_t row = 0; row < live.values.size(); ++row) {
    const std::vector<std::string> f = test::Split(lines[row + 1], ',');
    for (std::size_t k = 1; k < headings.size(); ++k) {
      const std::string name = headings[k].substr(0, headings[k].find(' '));
      for (std::size_t t = 0; t < traceHeadings.size(); ++t) {
        const std::string& h = traceHeadings[t];
        const std::string w = std::to_string(static_cast<int>(std::lround(std::stod(h.substr(1)))));
        if (name != (h[0] == 'a' ? "a_corrected" : "c_ts") + w) continue;
        ASSERT_NEAR(live.values[row][t], std::stod(f[k]), 5e-6) << name << " in row " << row;
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, live.values.size() * 18);
}

// The corrected values come some lines after their line: each datagram
// waits for its own, and holds them under the Level-2 file's column names
// ("a_corrected412 [1/m]" as "a_corrected412[1/m]"), with the measured
// values and the time of the same row.
TEST_F(WaterTruth, TheNetworkOutputSendsEachLineWithItsOwnCorrectedValues) {
  ASSERT_TRUE(std::filesystem::exists(test::kSim) && std::filesystem::exists(test::kCli));
  RecordAndProcess();
  const ProcessingSettings settings = Settings();
  std::string error;
  test::UdpListener listener;
  RunSetup setup;
  setup.network = NetworkOutput::Open({listener.Destination(), "water", 1, false}, error);
  ASSERT_NE(setup.network, nullptr) << error;
  const test::ProcessedReplay live = test::ReplayProcessed(dat, HomeFile("Sondrix.tmp"), settings, {}, std::move(setup));
  ASSERT_EQ(live.error, "");
  // The fields first (and again a minute of the samples later), then a
  // datagram per row.
  std::vector<std::string> heard = listener.Heard();
  const std::vector<std::string> lines = CsvLines();
  ASSERT_FALSE(heard.empty());
  const std::string fields = heard[0];
  ASSERT_TRUE(fields.starts_with("water #fields time,")) << fields;
  std::erase(heard, fields);
  heard.insert(heard.begin(), fields);
  ASSERT_EQ(heard.size(), lines.size());
  const std::vector<std::string> names = test::Split(fields.substr(std::string("water #fields ").size()), ',');
  std::map<std::string, std::size_t> column;
  const std::vector<std::string> headings = test::Split(lines[0], ',');
  for (std::size_t k = 0; k < headings.size(); ++k) {
    std::string name = headings[k];
    std::erase(name, ' ');
    column[name] = k;
  }
  std::size_t compared = 0, corrected = 0;
  for (std::size_t row = 1; row < lines.size(); ++row) {
    const std::vector<std::string> f = test::Split(lines[row], ',');
    const std::string& datagram = heard[row];
    ASSERT_TRUE(datagram.starts_with("water " + f[0] + " ")) << datagram << " / " << f[0];
    const std::vector<std::string> values = test::Split(datagram.substr(datagram.find(' ', 6) + 1), ',');
    ASSERT_EQ(values.size() + 1, names.size()) << datagram;
    for (std::size_t k = 1; k < names.size(); ++k) {
      const auto at = column.find(names[k]);
      if (at == column.end()) continue;
      ASSERT_FALSE(values[k - 1].empty()) << names[k] << " in row " << row;
      ASSERT_NEAR(std::stod(values[k - 1]), std::stod(f[at->second]), 2e-5) << names[k] << " in row " << row;
      ++compared;
      if (names[k].starts_with("a_corrected") || names[k].starts_with("c_ts")) ++corrected;
    }
  }
  // Per row: 18 traces, the temperatures and the depth, 9 a_corrected and
  // 9 c_ts.
  EXPECT_EQ(corrected, (lines.size() - 1) * 18);
  EXPECT_EQ(compared, (lines.size() - 1) * 39);
}

}  // namespace
}  // namespace sondrix
