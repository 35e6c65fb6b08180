// The built sondrix-cli diag: the self-test of a capture into a report, how
// it ends, and what it refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "diag/diag_fixtures.h"
#include "support/fixtures.h"

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

  // Only the packet the reset synchronises on: no sample at all.
  const std::string none = test::WriteCapture(dir.File("none.raw"), test::SteadyCapture(0));
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

}  // namespace
}  // namespace sondrix
