// SPDX-License-Identifier: GPL-3.0-or-later
// `sondrix-cli record` in the field: a line unplugged and plugged back in
// (the simulator closes its pseudo-terminal and serves the stream on a new
// one behind the same link, as a USB adapter behind its /dev/serial/by-id
// name does), another instrument on the line that came back, and the syncs
// that bound what a power cut can take. What was recorded is checked against
// the simulator's own record of what it sent.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <chrono>
#include <thread>
#include <vector>

#include "cli/cli_run.h"
#include "datafile/companion.h"
#include "support/fixtures.h"
#include "support/sim_report.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::Quoted;

const std::string kDevice = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";

// One packet line of the simulator's report.
struct Sent {
  std::string fault;
  std::vector<long long> counters;  // unwrapped, one per sample
};

std::vector<Sent> ReadReport(const std::string& path) {
  std::vector<Sent> packets;
  std::istringstream in(test::ReadTextFile(path).value_or(""));
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    if (fields.size() < 8 || fields[0] == "totals") continue;
    Sent sent;
    sent.fault = fields[2];
    std::istringstream values(fields[6]);
    for (std::string value; std::getline(values, value, ',');) sent.counters.push_back(std::stoll(value));
    packets.push_back(sent);
  }
  return packets;
}

// The time stamps (ms) of a data file's sample lines.
std::vector<long long> Stamps(const std::string& path) {
  std::vector<long long> stamps;
  for (const std::string& line : test::DataFileSampleLines(path)) stamps.push_back(std::stoll(line.substr(0, line.find('\t'))));
  return stamps;
}

class DurableRecordCli : public test::HeadlessTest {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(test::kSim) && std::filesystem::exists(test::kCli)); }

  // The simulator on a pseudo-terminal at 30 Hz (three packets a second),
  // COM1 mapped to `link` (a link the simulator keeps pointing at its
  // terminal) when given, else to the terminal.
  bool StartSim(std::vector<std::string> args, const std::string& link = "") {
    std::vector<std::string> all = {"--device", kDevice, "--rate", "30", "--quiet", "--report", home.File("sent.txt")};
    if (!link.empty()) {
      all.push_back("--link");
      all.push_back(link);
    }
    all.insert(all.end(), args.begin(), args.end());
    const std::string path = test::StartPtySim(sim, all, home);
    if (path.empty()) return false;
    WriteSettings("[Ports]\nCOM1=" + (link.empty() ? path : link) + "\n");
    return true;
  }

  // Records COM1 in the background until the simulator has ended (and
  // `after` seconds more), then stops the run as Ctrl+C does; the exit
  // status.
  int RecordUntilTheSimulatorEnds(const std::vector<std::string>& more, double after = 1.0) {
    std::vector<std::string> args = {"record", "--device", kDevice, "--port", "COM1", "--out", home.File("run.dat")};
    args.insert(args.end(), more.begin(), more.end());
    test::Background record(test::kCli, args, home.File("rec.out"), home.File("rec.err"));
    if (!record.started()) return -2;
    const int simEnd = sim->Wait(60.0);
    if (simEnd != 0) return -3;
    int status = record.Wait(after);
    if (status == -1) {
      record.Signal(SIGINT);
      status = record.Wait(20.0);
    }
    err = test::ReadTextFile(home.File("rec.err")).value_or("");
    out = test::ReadTextFile(home.File("rec.out")).value_or("");
    return status;
  }

  std::unique_ptr<test::Background> sim;
  std::string out;
  std::string err;
};

TEST_F(DurableRecordCli, AnUnpluggedLineIsWaitedForAndTheSameRecordingGoesOn) {
  // Two seconds of packets, three unplugged, three more behind the link, at
  // 60 samples a second (a sample is less than two counts of the counter's
  // hundredths: the samples lost are counted exactly all the same).
  // The simulator waits for the reader to take its last bytes before the
  // line goes for good (a packet cut by that end would count as lost).
  ASSERT_TRUE(StartSim({"--seconds", "8", "--unplug", "2:3", "--linger", "5", "--rate", "60"}, home.File("ttyMeter")));
  EXPECT_EQ(RecordUntilTheSimulatorEnds({"--reconnect"}), 0) << err;
  EXPECT_NE(err.find("COM1 (" + home.File("ttyMeter") +
                     ") stopped answering; waiting for it to come back — Stop ends the run"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("is back after"), std::string::npos) << err;

  // Every recorded sample is one the instrument sent whole, in order, from
  // both sides of the gap; the samples between the first and the last
  // recorded that are not in the file are exactly the lost ones.
  std::set<long long> sentWhole;
  std::map<long long, int> unpluggedAt;
  std::vector<long long> all;
  for (const Sent& p : ReadReport(home.File("sent.txt"))) {
    for (const long long c : p.counters) {
      all.push_back(c);
      if (p.fault == "ok") sentWhole.insert(c);
      if (p.fault == "unplugged") unpluggedAt[c] = 1;
    }
  }
  ASSERT_FALSE(unpluggedAt.empty());
  const std::vector<long long> stamps = Stamps(home.File("run.dat"));
  ASSERT_GT(stamps.size(), 30u);
  // The time line starts at the first sample recorded: find its counter as
  // the sent sample that makes every stamp a sent one.
  long long first = -1;
  for (const long long c : sentWhole) {
    bool fits = true;
    for (const long long s : stamps) fits = fits && s % 10 == 0 && sentWhole.count(c + s / 10) == 1;
    if (fits) {
      first = c;
      break;
    }
  }
  ASSERT_GE(first, 0) << "the recorded stamps are not the counters of samples sent whole";
  for (std::size_t k = 1; k < stamps.size(); ++k) ASSERT_GT(stamps[k], stamps[k - 1]);
  const long long last = first + stamps.back() / 10;
  EXPECT_LT(first, unpluggedAt.begin()->first);
  EXPECT_GT(last, unpluggedAt.rbegin()->first);
  long long inRange = 0;
  for (const long long c : all) inRange += c >= first && c <= last ? 1 : 0;
  const long long lost = inRange - static_cast<long long>(stamps.size());
  EXPECT_GE(lost, static_cast<long long>(unpluggedAt.size()));
  EXPECT_NE(out.find(std::to_string(stamps.size()) + " lines recorded into " + home.File("run.dat") + "; " +
                     std::to_string(lost) + " samples lost"),
            std::string::npos)
      << out;
}

TEST_F(DurableRecordCli, AnotherInstrumentOnTheLineThatCameBackEndsTheRunWithNothingOfIt) {
  ASSERT_TRUE(StartSim({"--seconds", "5", "--unplug", "1.5:1", "--replug-other", "--linger", "5"},
                       home.File("ttyMeter")));
  EXPECT_EQ(RecordUntilTheSimulatorEnds({"--reconnect"}, 8.0), 1) << err;
  EXPECT_NE(err.find("came back with another instrument"), std::string::npos) << err;
  // The line came back, but the recording does not go on.
  EXPECT_EQ(err.find("is back after"), std::string::npos) << err;
  EXPECT_EQ(err.find("goes on"), std::string::npos) << err;
  // Nothing after the gap: the stamps end before the unplugged stretch.
  long long beforeGap = 0;
  for (const Sent& p : ReadReport(home.File("sent.txt"))) {
    if (p.fault != "ok") break;
    beforeGap += static_cast<long long>(p.counters.size());
  }
  const std::size_t recorded = Stamps(home.File("run.dat")).size();
  EXPECT_GT(recorded, 0u);
  EXPECT_LE(static_cast<long long>(recorded), beforeGap);
}

TEST_F(DurableRecordCli, WithoutReconnectAnUnpluggedLineEndsTheRunAsBefore) {
  ASSERT_TRUE(StartSim({"--seconds", "5", "--unplug", "1.5:1", "--linger", "5"}, home.File("ttyMeter")));
  EXPECT_EQ(RecordUntilTheSimulatorEnds({}, 8.0), 1) << err;
  EXPECT_NE(err.find("General I/O error"), std::string::npos) << err;
  EXPECT_EQ(err.find("waiting for it"), std::string::npos) << err;
}

// About one fdatasync a second for a live recording, none for a replay.
// (A leak check cannot run under ptrace: a sanitized build's would fail the
// run it watches.)
// With -y each sync names its file: the companion's three whole writes (at
// the start, at the first sample and at the end) are synced in every run,
// and are told apart.
const std::string kStrace = "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -y -e trace=fdatasync -o ";

// The syncs of the recording and its capture in a trace (the companion's
// left out), and those of the companion.
struct Syncs {
  int recording = 0;
  int companion = 0;
};
Syncs CountSyncs(const std::string& trace) {
  Syncs syncs;
  for (const std::string& line : test::Lines(test::ReadTextFile(trace).value_or(""))) {
    if (line.find("fdatasync(") == std::string::npos) continue;
    (line.find(".meta.json") != std::string::npos ? syncs.companion : syncs.recording) += 1;
  }
  return syncs;
}

// The system's UTC clock (ms).
long long UtcNow() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A live run's companion places its samples in UTC at the moment each was
// measured, as the simulator reports it (not when its packet arrived,
// a packet's span and its time on the line later), and the export carries
// those times to the millisecond.
TEST_F(DurableRecordCli, EverySampleIsPlacedWhenItWasMeasured) {
  ASSERT_TRUE(StartSim({"--seconds", "4", "--linger", "1"}));
  const long long started = UtcNow();
  std::vector<std::string> args = {"record", "--device", kDevice, "--port", "COM1", "--out", home.File("run.dat"),
                                   "--meta", "cruise=SX2612"};
  test::Background record(test::kCli, args, home.File("rec.out"), home.File("rec.err"));
  ASSERT_TRUE(record.started());
  ASSERT_EQ(sim->Wait(60.0), 0);
  const long long simEnded = UtcNow();
  int status = record.Wait(1.0);
  if (status == -1) {
    record.Signal(SIGINT);
    status = record.Wait(20.0);
  }
  // The line closing at the simulator's end ends the run (1: an I/O error);
  // what was recorded is saved all the same.
  ASSERT_GE(status, 0);
  ASSERT_TRUE(std::filesystem::exists(home.File("run.dat"))) << test::ReadTextFile(home.File("rec.err")).value_or("");

  Companion companion;
  std::string error;
  ASSERT_EQ(ReadCompanion(home.File("run.meta.json"), companion, error), 1) << error;
  ASSERT_TRUE(companion.timeZeroUtcMs.has_value());
  EXPECT_EQ(*companion.deployment.Find("cruise"), "SX2612");
  EXPECT_FALSE(companion.device.empty());
  const std::vector<long long> stamps = Stamps(home.File("run.dat"));
  ASSERT_GE(stamps.size(), 60u);
  EXPECT_FALSE(companion.clock.Empty());
  const long long first = companion.clock.Utc(stamps.front());
  const long long last = companion.clock.Utc(stamps.back());
  EXPECT_LE(first, started + 1000) << "the program starts and finds the packets well within a second";
  EXPECT_LE(last, simEnded);

  // The simulator's account: the recording's first sample is the first of
  // the packet measured nearest to it (packets are a third of a second
  // apart), and every later one follows by the counter.
  const test::Report report = test::ReadReport(home.File("sent.txt"));
  ASSERT_TRUE(report.error.empty()) << report.error;
  std::map<long long, double> measured;  // unwrapped counter -> UTC ms
  const test::ReportedPacket* nearest = nullptr;
  for (const test::ReportedPacket& p : report.packets) {
    if (p.utcMs.empty()) continue;
    for (std::size_t k = 0; k < p.utcMs.size(); ++k) measured[p.unwrapped[k]] = p.utcMs[k];
    if (nearest == nullptr || std::abs(p.utcMs.front() - first) < std::abs(nearest->utcMs.front() - first)) nearest = &p;
  }
  ASSERT_NE(nearest, nullptr);
  long long worst = 0;
  for (const long long stamp : stamps) {
    const auto truth = measured.find(nearest->unwrapped.front() + stamp / 10);
    ASSERT_NE(truth, measured.end()) << stamp;
    worst = std::max(worst, std::llabs(companion.clock.Utc(stamp) - std::llround(truth->second)));
  }
  EXPECT_LE(worst, 100) << "the worst sample, ms from its measurement";

  // The export places the samples there too: its first and last rows are
  // those UTC times, to the millisecond.
  const test::CliRun exported = test::RunTool(
      test::kCli, "export " + Quoted(home.File("run.dat")) + " --format csv --out " + Quoted(home.File("run.csv")), home);
  ASSERT_EQ(exported.exitStatus, 0) << exported.err;
  std::vector<std::string> rows = test::Lines(test::ReadTextFile(home.File("run.csv")).value_or(""));
  ASSERT_EQ(rows.size(), stamps.size() + 1);
  const auto utcOf = [](const std::string& row) {
    std::tm tm{};
    int ms = 0;
    if (std::sscanf(row.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec, &ms) != 7)
      return -1LL;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return static_cast<long long>(::timegm(&tm)) * 1000 + ms;
  };
  EXPECT_EQ(utcOf(rows[1]), first) << rows[1];
  EXPECT_EQ(utcOf(rows.back()), last) << rows.back();
}

TEST_F(DurableRecordCli, ALiveRecordingIsSyncedAboutOnceASecondAndAReplayNever) {
  ASSERT_TRUE(std::filesystem::exists("/usr/bin/strace")) << "strace is installed by scripts/setup.sh";
  ASSERT_TRUE(StartSim({"--seconds", "6", "--linger", "5"}));
  const std::string trace = home.File("trace.txt");
  const test::CliRun live =
      test::RunTool(test::kCli, "record --device " + Quoted(kDevice) + " --port COM1 --out " + Quoted(home.File("run.dat")),
                    home, kStrace + Quoted(trace) + " ");
  const Syncs syncs = CountSyncs(trace);
  // Six seconds of lines: a sync a second, and one as the run ends.
  EXPECT_GE(syncs.recording, 5) << live.err;
  EXPECT_LE(syncs.recording, 9) << live.err;
  EXPECT_EQ(syncs.companion, 3) << live.err;

  const std::string capture = home.File("c.raw");
  ASSERT_EQ(test::RunTool(test::kSim, "--device " + Quoted(kDevice) + " --packets 60 --quiet --out " + Quoted(capture), home)
                .exitStatus,
            0);
  const test::CliRun replay = test::RunTool(
      test::kCli, "record --device " + Quoted(kDevice) + " --port " + Quoted(capture) + " --out " + Quoted(home.File("replay.dat")),
      home, kStrace + Quoted(trace) + " ");
  EXPECT_EQ(replay.exitStatus, 0) << replay.err;
  EXPECT_EQ(CountSyncs(trace).recording, 0) << test::ReadTextFile(trace).value_or("?");
  // At its start and its end: a capture without its time map has no time
  // zero to write at its first sample.
  EXPECT_EQ(CountSyncs(trace).companion, 2) << test::ReadTextFile(trace).value_or("?");
}

}  // namespace
}  // namespace sondrix
