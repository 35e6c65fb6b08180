// SPDX-License-Identifier: GPL-3.0-or-later
// The built tools on the hyperspectral meter: simulated runs in the
// self-test's reference condition, recorded, replayed and self-tested; each
// fault the simulator injects failing its own section of the report.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::CliRun;
using test::DataFileSampleLines;
using test::Quoted;

const std::string kBenth = SONDRIX_EXAMPLES_DIR "/benth-100wl.dev";

class BenthDiagCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(test::kCli));
    ASSERT_TRUE(std::filesystem::exists(test::kSim));
  }

  // A simulated capture of `packets` packets of `device` in the self-test's
  // reference condition, with `options`.
  std::string Simulate(const std::string& options, int packets = 35, const std::string& device = kBenth) {
    const std::string capture = dir.File("benth.raw");
    const std::string sim = "--device " + Quoted(device) + " --out " + Quoted(capture) + " --packets " +
                            std::to_string(packets) +
                            " --quiet --clean-water --max-depth 0 --internal-temp 20"
                            " --value-noise 0 " + options;
    EXPECT_EQ(test::RunTool(test::kSim, sim, dir).exitStatus, 0);
    return capture;
  }

  // The report of a simulated run of 35 packets with `options`.
  std::string Report(const std::string& options) { return Diag(Simulate(options)); }

  // The report of the self-test on `capture`.
  std::string Diag(const std::string& capture) {
    const std::string report = dir.File("benth.rpt");
    const CliRun run = test::RunTool(
        test::kCli, "diag --device " + Quoted(kBenth) + " --port " + Quoted(capture) + " --report " + Quoted(report), dir);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "report of 30 good samples written to " + report + "\n");
    return test::ReadTextFile(report).value_or("");
  }

  // The section that begins with `heading`, up to its blank line.
  static std::string Section(const std::string& report, const std::string& heading) {
    const auto at = report.find("\n" + heading);
    if (at == std::string::npos) return "<none>";
    const auto end = report.find("\n\n", at + 1);
    return report.substr(at + 1, end == std::string::npos ? std::string::npos : end - at);
  }

  test::TempDir dir;
};

const std::vector<std::string> kHeadings = {
    "Calibration - C positive: ", "Calibration - A positive: ", "Calibration - C negative: ",
    "Calibration - A negative: ", "Raw counts - Reference: ",   "Raw counts - C channel: ",
    "Raw counts - A channel: ",   "Noncomformity - C: ",        "Noncomformity - A: ",
    "Noise - C: ",                "Noise - A: ",                "Depth sensor: ",
    "Temperature sensor: "};

TEST_F(BenthDiagCli, AnInstrumentInItsReferenceConditionPasses) {
  const std::string report = Report("");
  EXPECT_NE(report.find("Sondrix diagnostics report for meter Benth hyperspectral meter 167, s/n 530000A7\n"),
            std::string::npos);
  EXPECT_NE(report.find("The following limits were used:\n"
                        "\tmaximum A difference = 0.050000\n"
                        "\tmaximum C difference = 0.060000\n"
                        "\tminimum A counts     = 2000\n"
                        "\tminimum C counts     = 2500\n"
                        "\tminimum Ref counts   = 1500\n"
                        "\tmaximum A nonconform = 0.020000\n"
                        "\tmaximum C nonconform = 0.025000\n"
                        "\tmaximum A noise      = 0.005000\n"),
            std::string::npos)
      << report;
  std::size_t last = 0;
  for (const std::string& heading : kHeadings) {
    const auto at = report.find("\n" + heading);
    ASSERT_NE(at, std::string::npos) << heading;
    EXPECT_GT(at, last) << heading << " out of order";
    last = at;
    // The nonconformity of a flat spectrum is the counts' rounding alone,
    // tested against three times its own mean: a few wavelengths may stand
    // out of it; every other section passes.
    if (heading.rfind("Noncomformity", 0) != 0) {
      EXPECT_EQ(Section(report, heading), heading + "Passed.\n") << heading;
    }
  }
}

TEST_F(BenthDiagCli, ABentSpectrumFailsItsNonconformityAtTheBendAndItsNeighbours) {
  // The middle wavelength (50 of 100, 566.7 nm) 0.5 1/m above its
  // neighbours 563.3 and 570.0 nm.
  const std::string report = Report("--bend 0.5");
  const std::string list =
      "\n\tThe following wavelengths exceed the recommended limit for nonconformity:\n\t563.3 566.7 570.0 \n";
  EXPECT_EQ(Section(report, "Noncomformity - C: "), "Noncomformity - C: " + list);
  EXPECT_EQ(Section(report, "Noncomformity - A: "), "Noncomformity - A: " + list);
  EXPECT_EQ(Section(report, "Calibration - C positive: "),
            "Calibration - C positive: \n\tThe C value for the following wavelengths exceed previous "
            "calibration:\n\t566.7 \n");
  EXPECT_EQ(Section(report, "Noise - C: "), "Noise - C: Passed.\n");
}

std::vector<double> Numbers(const std::string& line) {
  std::vector<double> numbers;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, '\t')) numbers.push_back(field.empty() ? 0.0 : std::stod(field));
  return numbers;
}

// One simulated run through every tool: recorded, replayed line for line,
// and self-tested with every section but nonconformity passing.
TEST_F(BenthDiagCli, ARunIsRecordedReplayedAndSelfTested) {
  const std::string capture = Simulate("", 60);
  const std::string data = dir.File("benth.dat");
  const CliRun record = test::RunTool(
      test::kCli, "record --device " + Quoted(kBenth) + " --port " + Quoted(capture) + " --out " + Quoted(data), dir);
  ASSERT_EQ(record.exitStatus, 0) << record.err;
  EXPECT_EQ(record.out, "60 lines recorded into " + data + "; 0 samples lost\n");
  const auto samples = DataFileSampleLines(data);
  ASSERT_EQ(samples.size(), 60u);

  const CliRun replay = test::RunTool(test::kCli, "replay " + Quoted(data), dir);
  ASSERT_EQ(replay.exitStatus, 0) << replay.err;
  EXPECT_EQ(test::Lines(replay.out), samples);

  const std::string report = Diag(capture);
  for (const std::string& heading : kHeadings) {
    if (heading.rfind("Noncomformity", 0) == 0) continue;
    EXPECT_EQ(Section(report, heading), heading + "Passed.\n") << heading;
  }
}

// At skip 2 the file holds the 50 kept wavelengths of each kind; replay
// gives all 200 traces back, 0.0 on those the instrument does not output.
TEST_F(BenthDiagCli, ASpacedRunReplaysWithEveryTrace) {
  std::string device = test::ReadTextFile(kBenth).value_or("");
  const auto at = device.find("\n1\t\t\t; skip value");
  ASSERT_NE(at, std::string::npos);
  device[at + 1] = '2';
  const std::string spaced = test::WriteTextFile(dir.File("spaced.dev"), device);
  const std::string capture = Simulate("", 11, spaced);
  const std::string data = dir.File("spaced.dat");
  const CliRun record = test::RunTool(
      test::kCli, "record --device " + Quoted(spaced) + " --port " + Quoted(capture) + " --out " + Quoted(data), dir);
  ASSERT_EQ(record.exitStatus, 0) << record.err;
  const auto samples = DataFileSampleLines(data);
  ASSERT_EQ(samples.size(), 11u);
  const CliRun replay = test::RunTool(test::kCli, "replay " + Quoted(data), dir);
  ASSERT_EQ(replay.exitStatus, 0) << replay.err;
  const auto replayed = test::Lines(replay.out);
  ASSERT_EQ(replayed.size(), samples.size());
  for (std::size_t l = 0; l < samples.size(); ++l) {
    const auto packed = Numbers(samples[l]);
    const auto spread = Numbers(replayed[l]);
    ASSERT_EQ(spread.size(), packed.size() + 100) << replayed[l];
    EXPECT_EQ(spread[0], packed[0]);  // the time stamp
    for (std::size_t i = 0; i < 200; ++i) {
      const double expected = i % 2 == 0 ? packed[1 + i / 2] : 0.0;
      EXPECT_DOUBLE_EQ(spread[1 + i], expected) << "line " << l << " trace " << i;
    }
  }
}

// Each fault the simulator injects fails the section that tests for it.
struct FaultCase {
  const char* options;
  const char* failing;  // the heading of the section that must not pass
};

class BenthFaultCli : public BenthDiagCli, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(BenthFaultCli, FailsItsSection) {
  const FaultCase fault = GetParam();
  const std::string report = Report(fault.options);
  const std::string section = Section(report, fault.failing);
  EXPECT_NE(section, "<none>") << report;
  EXPECT_NE(section, std::string(fault.failing) + "Passed.\n") << report;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BenthFaultCli,
    ::testing::Values(FaultCase{"--cal-drift 0.5", "Calibration - C positive: "},
                      FaultCase{"--cal-drift 0.5", "Calibration - A positive: "},
                      FaultCase{"--cal-drift -0.5", "Calibration - C negative: "},
                      FaultCase{"--cal-drift -0.5", "Calibration - A negative: "},
                      FaultCase{"--low-counts 0.01", "Raw counts - Reference: "},
                      FaultCase{"--low-counts 0.01", "Raw counts - C channel: "},
                      FaultCase{"--low-counts 0.01", "Raw counts - A channel: "},
                      FaultCase{"--bend 0.5", "Noncomformity - C: "},
                      FaultCase{"--value-noise 0.05", "Noise - C: "},
                      FaultCase{"--value-noise 0.05", "Noise - A: "},
                      FaultCase{"--depth-zero 2", "Depth sensor: "},
                      FaultCase{"--sensor-noise 1", "Depth sensor: "},
                      FaultCase{"--internal-temp 60", "Temperature sensor: "},
                      FaultCase{"--sensor-noise 1", "Temperature sensor: "}));

}  // namespace
}  // namespace sondrix
