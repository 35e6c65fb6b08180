// SPDX-License-Identifier: GPL-3.0-or-later
// The log options of the built tools: -v, -vv, -vvv and --log-level turn
// sondrix-cli's log on standard error up step by step, before or after the
// command; at trace, each packet the simulator damaged is one line of the
// recorder's log, at the offset where the capture holds it and with its
// bytes as the file holds them.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::CliRun;
using test::kCli;
using test::kSim;
using test::Lines;
using test::Quoted;

// The texts of a tool's log lines at `level` (after "[level] ").
std::vector<std::string> Logged(const std::string& err, const std::string& level) {
  std::vector<std::string> texts;
  const std::regex line(R"(sondrix-(cli|sim): \d\d:\d\d:\d\d\.\d{3} \[([a-z]+)\] (.*))");
  for (const std::string& text : Lines(err)) {
    std::smatch m;
    if (std::regex_match(text, m, line) && m[2] == level) texts.push_back(m[3]);
  }
  return texts;
}

std::string Hex16(const std::string& bytes, std::size_t at) {
  std::string text;
  for (std::size_t k = 0; k < 16 && at + k < bytes.size(); ++k) {
    char two[4];
    std::snprintf(two, sizeof two, "%s%02x", k == 0 ? "" : " ", static_cast<unsigned char>(bytes[at + k]));
    text += two;
  }
  return text + " ...";
}

class LogCli : public test::HeadlessTest {
 protected:
  // A capture of `device` with faults; the simulator's own trace of it.
  std::string Simulate(const std::string& device, const std::string& faults, std::string& simTrace) {
    const std::string capture = home.File("faults.raw");
    const CliRun sim = test::RunTool(kSim, "--device " + Quoted(device) + " --out " + Quoted(capture) +
                                               " --seed 4 --quiet -vvv " + faults, home);
    EXPECT_EQ(sim.exitStatus, 0) << sim.err;
    simTrace = sim.err;
    return capture;
  }
  CliRun Record(const std::string& device, const std::string& capture, const std::string& before,
                const std::string& after = "") {
    return test::RunTool(kCli, before + " record --device " + Quoted(device) + " --port " + Quoted(capture) +
                                   " --out " + Quoted(home.File("out.dat")) + " --force " + after, home);
  }
};

const std::string kNerit = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";
const std::string kBenth = SONDRIX_EXAMPLES_DIR "/benth-100wl.dev";

TEST_F(LogCli, EachVerbosityStepAddsItsLevel) {
  std::string simTrace;
  const std::string capture = Simulate(kNerit, "--packets 30 --bad-checksum 7", simTrace);
  struct Step {
    std::string before, after;
    bool info, debug, trace;
  };
  const std::vector<Step> steps = {
      {"", "", false, false, false},
      {"-v", "", true, false, false},
      {"", "-vv", true, true, false},
      {"-v", "-v", true, true, false},
      {"--verbose=trace", "", true, true, true},
      {"", "-vvv", true, true, true},
      {"--log-level debug", "", true, true, false},
      {"-vvv", "--log-level off", false, false, false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.before + " | " + step.after);
    const CliRun run = Record(kNerit, capture, step.before, step.after);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, "260 lines recorded into " + home.File("out.dat") + "; 40 samples lost\n");
    EXPECT_EQ(!Logged(run.err, "info").empty(), step.info);
    EXPECT_EQ(!Logged(run.err, "debug").empty(), step.debug);
    EXPECT_EQ(!Logged(run.err, "trace").empty(), step.trace);
    if (step.info) {
      const std::vector<std::string> info = Logged(run.err, "info");
      ASSERT_EQ(info.size(), 1u) << run.err;
      EXPECT_TRUE(std::regex_match(
          info[0], std::regex(R"(run summary: 260 lines recorded, 40 samples lost in \d+\.\d s; the replay came to its end)")))
          << info[0];
    }
  }
  const CliRun bad = Record(kNerit, capture, "--log-level loud");
  EXPECT_EQ(bad.exitStatus, 2);
  EXPECT_NE(bad.err.find("\"loud\" is no log level"), std::string::npos) << bad.err;
}

// The simulator says, at trace level, where it put each packet and what it
// did to it; the recorder's trace must name the same offsets, and both must
// show the bytes the capture holds there.
TEST_F(LogCli, AtTraceEachDamagedPacketIsALineWithItsOffsetAndBytes) {
  for (const std::string& device : {kNerit, kBenth}) {
    SCOPED_TRACE(device);
    std::string simTrace;
    const std::string capture =
        Simulate(device, "--packets 60 --bad-checksum 7 --bad-length 11 --noise 5", simTrace);
    const std::string bytes = test::ReadTextFile(capture).value_or("");

    std::vector<std::string> expected;
    const std::regex packet(R"(packet (\d+) at byte (\d+): ([a-z+()0-9 -]+): (.*))");
    int damaged = 0;
    for (const std::string& text : Logged(simTrace, "trace")) {
      std::smatch m;
      ASSERT_TRUE(std::regex_match(text, m, packet)) << text;
      const std::size_t at = std::stoul(m[2]);
      const std::string fault = m[3];
      // The simulator's bytes are the capture's.
      EXPECT_EQ(m[4].str(), Hex16(bytes, at)) << text;
      const std::smatch::size_type noiseAt = fault.find("noise(");
      if (noiseAt != std::string::npos) {
        const std::size_t noise = std::stoul(fault.substr(noiseAt + 6));
        expected.push_back("skipped " + std::to_string(noise) + " bytes of noise at byte " +
                           std::to_string(at - noise));
      }
      const bool badLength = fault.find("bad-length") != std::string::npos;
      const bool badChecksum = fault.find("bad-checksum") != std::string::npos;
      if (badLength || badChecksum) {
        expected.push_back("rejected packet at byte " + std::to_string(at) + ": " +
                           (badLength ? "bad length word" : "bad checksum") + ": " + Hex16(bytes, at));
        ++damaged;
      }
    }
    ASSERT_GE(damaged, 10);

    const CliRun run = Record(device, capture, "", "-vvv");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(Logged(run.err, "trace"), expected);
  }
}

}  // namespace
}  // namespace sondrix
