// SPDX-License-Identifier: GPL-3.0-or-later
// The built sondrix-cli diag: the self-test of a capture into a report, how
// it ends, and what it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_run.h"
#include "diag/diag_fixtures.h"
#include "io/meter_packet.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::CliRun;
using test::kCli;
using test::Lines;
using test::Quoted;

class DiagCli : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(kCli)) << kCli << " is not built"; }

  CliRun Cli(const std::string& arguments) { return test::RunTool(kCli, arguments, dir); }

  std::string Diag(const std::string& device, const std::string& port, const std::string& report,
                   const std::string& more = "") {
    return "diag --device " + Quoted(device) + " --port " + Quoted(port) + " --report " + Quoted(report) + more;
  }

  std::string Device(const std::string& limits = test::kDiagLimits) {
    return test::WriteTextFile(dir.File("meter.dev"), test::NeritDiagDevice(limits));
  }

  test::TempDir dir;
};

// The report's lines, its time line checked for its form and left out.
std::vector<std::string> ReportLines(const std::string& text) {
  std::vector<std::string> lines = Lines(text);
  if (lines.size() > 1) {
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(Diagnostics run at \d\d:\d\d:\d\d on \d\d-\d\d-\d\d\d\d)")))
        << lines[1];
    lines.erase(lines.begin() + 1);
  }
  return lines;
}

TEST_F(DiagCli, AMeterWithinItsLimitsGetsAPassingReport) {
  const std::string capture = test::WriteCapture(dir.File("steady.raw"), test::SteadyCapture(4));
  const std::string report = dir.File("steady.rpt");
  const CliRun run = Cli(Diag(Device(), capture, report));
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, "report of 30 good samples written to " + report + "\n");
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> expected = {
      "Sondrix diagnostics report for meter Diag test meter 7, s/n 0400012D",
      "",
      "The following limits were used:",
      "\tmaximum A difference = 0.050000",
      "\tmaximum C difference = 0.040000",
      "\tminimum A counts     = 0.100000",
      "\tminimum C counts     = 0.110000",
      "\tminimum Ref counts   = 0.120000",
      "\tmaximum A noise      = 0.005000",
      "\tmaximum C noise      = 0.006000",
      "\tmaximum Temp Sdev    = 0.050000",
      "\tmaximum Depth Sdev   = 0.100000",
      "",
      "Calibration - C positive: Passed.",
      "",
      "Calibration - A positive: Passed.",
      "",
      "Calibration - C negative: Passed.",
      "",
      "Calibration - A negative: Passed.",
      "",
      "Raw counts - Reference: Passed.",
      "",
      "Raw counts - C channel: Passed.",
      "",
      "Raw counts - A channel: Passed.",
      "",
      "Noise - C: Passed.",
      "",
      "Noise - A: Passed.",
      "",
      "Depth sensor: Passed.",
      "",
      "Temperature sensor: Passed.",
      "",
  };
  EXPECT_EQ(ReportLines(test::ReadTextFile(report).value_or("")), expected);
}

TEST_F(DiagCli, ACaptureTooShortStillGivesItsReport) {
  const std::string capture = test::WriteCapture(dir.File("short.raw"), test::SteadyCapture(1));
  const std::string report = dir.File("short.rpt");
  const CliRun run = Cli(Diag(Device(), capture, report, " --samples 12"));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.err, "sondrix-cli diag: the self-test ended after 10 good samples: Unexpected end of file\n");
  EXPECT_NE(test::ReadTextFile(report).value_or("").find("Temperature sensor: Passed."), std::string::npos);

  // Only the packet the reset synchronises on, and it fails its checksum: no
  // good sample at all.
  const std::string none =
      test::WriteCapture(dir.File("none.raw"), {test::Damaged(test::SteadyCapture(1).front())});
  const CliRun empty = Cli(Diag(Device(), none, report));
  EXPECT_EQ(empty.exitStatus, 0);
  const std::vector<std::string> lines = ReportLines(test::ReadTextFile(report).value_or(""));
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[13], "No valid sample arrived from the meter during the self-test: nothing was tested.");
}

TEST_F(DiagCli, WhatIsNotWrittenFails) {
  const std::string capture = test::WriteCapture(dir.File("steady.raw"), test::SteadyCapture(2));
  // A stream the meter cannot synchronise with: no test, no report.
  const std::string noise = test::WriteTextFile(dir.File("noise.raw"), std::string(3000, 'Z'));
  const std::string report = dir.File("r.rpt");
  CliRun run = Cli(Diag(Device(), noise, report));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("Can't recognize data format coming from source."), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(report));
  // A report only into a regular file.
  run = Cli(Diag(Device(), capture, dir.path()));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("is not a regular file"), std::string::npos) << run.err;
  // A device file without limits has no self-test.
  run = Cli(Diag(Device("0\t0\t0\t0\t0\t0\t0\t0\t0"), capture, report));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("has no self-test"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(report));
}

TEST_F(DiagCli, UsageAndHelp) {
  const CliRun help = Cli("diag --help");
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_NE(help.out.find("Usage: sondrix-cli diag --device FILE.dev --port PORT --report FILE.rpt"),
            std::string::npos);
  EXPECT_NE(help.out.find("--samples N"), std::string::npos);
  EXPECT_EQ(Cli("diag --device x.dev --port COM1").exitStatus, 2);
  EXPECT_EQ(Cli("diag --device x.dev --port COM1 --report r.rpt --samples 0").exitStatus, 2);
  EXPECT_NE(Cli("--help").out.find("diag"), std::string::npos);
}

// --- Every fault the simulator injects, through sondrix-cli diag ---------------------

const std::string kExample = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";
const std::string kNine = "\t412.0 440.0 488.0 510.0 532.0 555.0 650.0 676.0 715.0 ";

// The report of the example meter when it passes, without its time line.
std::vector<std::string> PassingReport(const std::string& serial = "0400012D") {
  std::vector<std::string> lines = {
      "Sondrix diagnostics report for meter Nerit nine-wavelength meter 301, s/n " + serial,
      "",
      "The following limits were used:",
      "\tmaximum A difference = 0.050000",
      "\tmaximum C difference = 0.050000",
      "\tminimum A counts     = 0.050000",
      "\tminimum C counts     = 0.050000",
      "\tminimum Ref counts   = 0.050000",
      "\tmaximum A noise      = 0.005000",
      "\tmaximum C noise      = 0.005000",
      "\tmaximum Temp Sdev    = 0.050000",
      "\tmaximum Depth Sdev   = 0.100000",
  };
  for (const char* heading : {"Calibration - C positive: ", "Calibration - A positive: ", "Calibration - C negative: ",
                              "Calibration - A negative: ", "Raw counts - Reference: ", "Raw counts - C channel: ",
                              "Raw counts - A channel: ", "Noise - C: ", "Noise - A: ", "Depth sensor: ",
                              "Temperature sensor: "}) {
    lines.push_back("");
    lines.push_back(std::string(heading) + "Passed.");
  }
  lines.push_back("");
  return lines;
}

// Replaces "<heading>Passed." by the heading and `failure`.
void Fails(std::vector<std::string>& lines, const std::string& heading, const std::vector<std::string>& failure) {
  auto it = std::find(lines.begin(), lines.end(), heading + "Passed.");
  ASSERT_NE(it, lines.end()) << heading;
  *it = heading;
  lines.insert(it + 1, failure.begin(), failure.end());
}

// Adds the saturation question after the section `heading` begins.
void Saturated(std::vector<std::string>& lines, const std::string& heading) {
  auto it = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(heading, 0) == 0; });
  ASSERT_NE(it, lines.end()) << heading;
  while (it + 1 != lines.end() && !(it + 1)->empty()) ++it;
  lines.insert(it + 1, "\tMore than 3 wavelengths are at the maximum value. Is this saturated?");
}

const std::string kAboveCal = "\tThe C value for the following wavelengths exceed previous calibration:";
const std::string kBelowCounts = "\tThe counts for the following wavelengths are below the recommended limit:";
const std::string kAboveNoise = "\tThe following wavelengths exceed the recommended noise limit:";
const std::string kSdev = "\tThe standard deviation in the reading exceeds the recommended limit.";

struct FaultCase {
  std::string name;
  std::vector<std::string> options;
  std::function<void(std::vector<std::string>&)> expect;
};

std::vector<FaultCase> FaultCases() {
  return {
      {"Noise", {"--value-noise", "0.02"},
       [](auto& r) {
         Fails(r, "Noise - C: ", {kAboveNoise, kNine});
         Fails(r, "Noise - A: ", {kAboveNoise, kNine});
       }},
      {"LowCounts", {"--low-counts", "0.02"},
       [](auto& r) {
         Fails(r, "Raw counts - Reference: ",
               {kBelowCounts, kNine + "412.0 ", "\t440.0 488.0 510.0 532.0 555.0 650.0 676.0 715.0 "});
         Fails(r, "Raw counts - C channel: ", {kBelowCounts, kNine});
         Fails(r, "Raw counts - A channel: ", {kBelowCounts, kNine});
       }},
      {"Saturation", {"--saturate"},
       [](auto& r) {
         // Signal equal to reference: each trace reads its offset less its
         // temperature correction at 20 degrees.
         Fails(r, "Calibration - C positive: ", {kAboveCal, "\t412.0 440.0 488.0 510.0 532.0 555.0 650.0 676.0 "});
         Fails(r, "Calibration - A negative: ",
               {"\tThe A value for the following wavelengths exceed (negative) previous calibration:", "\t715.0 "});
         for (const char* section : {"Raw counts - Reference: ", "Raw counts - C channel: ", "Raw counts - A channel: "})
           Saturated(r, section);
       }},
      {"CalibrationDriftUp", {"--cal-drift", "0.08"},
       [](auto& r) {
         Fails(r, "Calibration - C positive: ", {kAboveCal, kNine});
         Fails(r, "Calibration - A positive: ",
               {"\tThe A value for the following wavelengths exceed previous calibration:", kNine});
       }},
      {"CalibrationDriftDown", {"--cal-drift", "-0.08"},
       [](auto& r) {
         Fails(r, "Calibration - C negative: ",
               {"\tThe C value for the following wavelengths exceed (negative) previous calibration:", kNine});
         Fails(r, "Calibration - A negative: ",
               {"\tThe A value for the following wavelengths exceed (negative) previous calibration:", kNine});
       }},
      {"HotInstrument", {"--internal-temp", "55.3"},
       [](auto& r) {
         char reads[64];
         std::snprintf(reads, sizeof reads, "\tThe sensor reads %.2f degrees C.", CountToTemp(TempToCount(55.3)));
         Fails(r, "Temperature sensor: ", {reads});
       }},
      {"DepthZero", {"--depth-zero", "3.5"},
       [](auto& r) { Fails(r, "Depth sensor: ", {"\tThe sensor reads 3.50 meters at the surface."}); }},
      {"NoisySensors", {"--sensor-noise", "0.5"},
       [](auto& r) {
         Fails(r, "Depth sensor: ", {kSdev});
         Fails(r, "Temperature sensor: ", {kSdev});
       }},
      // Lost samples are passed over: thirty good ones pass.
      {"DamagedPackets", {"--bad-checksum", "3", "--bad-length", "5", "--noise", "2"}, [](auto&) {}},
      // Another instrument: tested all the same, and named.
      {"WrongSerial", {"--wrong-serial", "1"}, [](auto& r) { r = PassingReport("0400012E"); }},
  };
}

class DiagFaultCli : public DiagCli, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(DiagFaultCli, TheReportSaysWhatIsOutOfItsLimits) {
  ASSERT_TRUE(std::filesystem::exists(test::kSim));
  const std::string capture = dir.File("fault.raw");
  std::string sim = "--device " + Quoted(kExample) + " --out " + Quoted(capture) +
                    " --packets 12 --quiet --clean-water --max-depth 0 --internal-temp 20";
  for (const std::string& option : GetParam().options) sim += " " + Quoted(option);
  ASSERT_EQ(test::RunTool(test::kSim, sim, dir).exitStatus, 0);

  const std::string report = dir.File("fault.rpt");
  const CliRun run = Cli(Diag(kExample, capture, report));
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::vector<std::string> expected = PassingReport();
  GetParam().expect(expected);
  EXPECT_EQ(ReportLines(test::ReadTextFile(report).value_or("")), expected);
}

INSTANTIATE_TEST_SUITE_P(EveryFault, DiagFaultCli, ::testing::ValuesIn(FaultCases()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST_F(DiagCli, APauseLongerThanTwoSecondsEndsTheTestWithItsReport) {
  // A live instrument on a pseudo-terminal that stops sending after 10
  // packets for longer than the test waits.
  std::unique_ptr<test::Background> sim;
  const std::string pty = test::StartPtySim(
      sim, {"--device", kExample, "--rate", "60", "--quiet", "--clean-water", "--max-depth", "0", "--internal-temp", "20",
            "--pause", "10:60"},
      dir);
  ASSERT_FALSE(pty.empty());
  test::WriteTextFile(dir.File("Sondrix.ini"), "[Ports]\nCOM1=" + pty + "\n");
  const std::string report = dir.File("live.rpt");
  const auto start = std::chrono::steady_clock::now();
  const CliRun run = test::RunTool(kCli, Diag(kExample, "COM1", report, " --samples 1000"), dir,
                                   "SONDRIX_HOME=" + Quoted(dir.path()) + " ");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_TRUE(std::regex_match(run.err, std::regex("sondrix-cli diag: the self-test ended after \\d+ good samples: "
                                                   "Connection timed out\n")))
      << run.err;
  EXPECT_GE(seconds, 2.0);
  EXPECT_LT(seconds, 20.0);
  EXPECT_EQ(ReportLines(test::ReadTextFile(report).value_or("")), PassingReport());
}

TEST_F(DiagCli, CtrlCEndsTheTestWithTheReportOfTheSamplesTaken) {
  std::unique_ptr<test::Background> sim;
  const std::string pty = test::StartPtySim(
      sim, {"--device", kExample, "--rate", "60", "--quiet", "--clean-water", "--max-depth", "0", "--internal-temp", "20"},
      dir);
  ASSERT_FALSE(pty.empty());
  test::WriteTextFile(dir.File("Sondrix.ini"), "[Ports]\nCOM1=" + pty + "\n");
  const test::ScopedEnv home("SONDRIX_HOME", dir.path());
  const std::string report = dir.File("stopped.rpt");
  test::Background diag(kCli, {"diag", "--device", kExample, "--port", "COM1", "--report", report, "--samples", "1000000"},
                        dir.File("diag.out"), dir.File("diag.err"));
  ASSERT_TRUE(diag.started());
  // Long enough for the reset and well over 30 samples at 60 a second.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  diag.Signal(SIGINT);
  EXPECT_EQ(diag.Wait(20.0), 0);
  const std::string err = test::ReadTextFile(dir.File("diag.err")).value_or("");
  std::smatch samples;
  ASSERT_TRUE(std::regex_match(err, samples, std::regex("sondrix-cli diag: the self-test was stopped after (\\d+) good "
                                                         "samples\n")))
      << err;
  EXPECT_GE(std::stol(samples[1]), 30);
  EXPECT_EQ(test::ReadTextFile(dir.File("diag.out")).value_or(""),
            "report of " + samples[1].str() + " good samples written to " + report + "\n");
  EXPECT_EQ(ReportLines(test::ReadTextFile(report).value_or("")), PassingReport());
}

}  // namespace
}  // namespace sondrix
