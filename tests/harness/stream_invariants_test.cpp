// SPDX-License-Identifier: GPL-3.0-or-later
// Stream invariants: every model, every simulator fault, bins 1, 3 and 10,
// through the built `sondrix-sim --report`, `sondrix-cli record` and
// `sondrix-cli replay`. What the program recorded is checked against the
// simulator's own record of what it sent, never against the decoder:
//
// - time stamps strictly increase;
// - at bin size 1 the stamps are those of the good samples, every one of
//   them, in order; a bin carries the stamp of the last sample that filled
//   it;
// - the lost count is the samples the simulator damaged, at every bin size;
// - recorded lines and lost samples account for every sample sent;
// - a replay of the data file gives back exactly the recorded lines.
//
// A line's expected stamp comes from its sample's counter, relative to the
// first good sample, in 10 ms steps: the meters' counter counts 10 ms, the
// hyperspectral meter's milliseconds (floor(T / 10) of the unwrapped count
// T). Where the counter started again (an instrument reset), the time base
// goes on from the last good stamp plus one sample period and follows the
// counter from there: the harness takes the step between the last two good
// samples for the period. Each side knows the period to within one 10 ms
// step of the stamps (a period of 16.67 hundredths is 16 or 17 of them), so
// at each restart the program's continuation may differ from the harness's
// by up to 20 ms, never more, and never afterwards.
//
// SONDRIX_INVARIANT_ROUNDS=R runs every case R times longer, with other
// seeds, fault periods and counter starts (scripts/invariants.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_run.h"
#include "support/sim_report.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::CliRun;
using test::kCli;
using test::kSim;
using test::Lines;
using test::ParseWhole;
using test::Quoted;
using test::ReadReport;
using test::Report;
using test::ReportedPacket;

// The report agrees with itself: its totals are its lines' sums, every
// sample has its three values, and the counter follows the instrument's
// elapsed time (to within 10 ms) between restarts.
void CheckReport(const Report& r) {
  ASSERT_EQ(r.error, "");
  long long samples = 0;
  long long lost = 0;
  for (const ReportedPacket& p : r.packets) {
    samples += p.samples;
    lost += p.lost;
    const auto n = static_cast<std::size_t>(p.samples);
    ASSERT_TRUE(p.counters.size() == n && p.unwrapped.size() == n && p.elapsedMs.size() == n)
        << "packet " << p.number;
  }
  // Between restarts the counter keeps to the elapsed time.
  long long previous = -1;
  long long firstCount = 0;
  long long firstElapsed = 0;
  for (const ReportedPacket& p : r.packets) {
    for (std::size_t k = 0; k < p.unwrapped.size(); ++k) {
      const long long ms = p.unwrapped[k] * p.tickMs;
      if (previous < 0 || p.unwrapped[k] < previous) {
        firstCount = ms;
        firstElapsed = p.elapsedMs[k];
      }
      previous = p.unwrapped[k];
      ASSERT_LE(std::abs((ms - firstCount) - (p.elapsedMs[k] - firstElapsed)), 10)
          << "packet " << p.number << " sample " << k;
    }
  }
  EXPECT_EQ(r.totalPackets, static_cast<long long>(r.packets.size()));
  EXPECT_EQ(r.totalSamples, samples);
  EXPECT_EQ(r.totalLost, lost);
}

// --- What the program must record ---------------------------------------------

// The expected stamps (ms) of the good samples, in order.
std::vector<long long> ExpectedStamps(const Report& r) {
  std::vector<long long> stamps;
  long long base = 0;       // the counter, in 10 ms steps, where the time base last started
  long long baseStamp = 0;  // the stamp it started with
  long long previous = 0;   // the unwrapped counter of the previous good sample
  for (const ReportedPacket& p : r.packets) {
    if (p.lost > 0) continue;  // a damaged packet: its samples are lost
    for (std::size_t k = 0; k < p.unwrapped.size(); ++k) {
      const long long u = p.unwrapped[k];
      const long long steps = u * p.tickMs / 10;
      if (stamps.empty()) {
        base = steps;
      } else if (u < previous) {
        // The instrument started its counter again.
        const long long step = stamps.size() >= 2 ? stamps.back() - stamps[stamps.size() - 2] : 0;
        baseStamp = stamps.back() + step;
        base = steps;
      }
      previous = u;
      stamps.push_back(baseStamp + (steps - base) * 10);
    }
  }
  return stamps;
}

// The restarts each good sample comes after, in the order of
// ExpectedStamps.
std::vector<int> RestartsBefore(const Report& r) {
  std::vector<int> segments;
  int restarts = 0;
  long long previous = 0;
  for (const ReportedPacket& p : r.packets) {
    if (p.lost > 0) continue;
    for (const long long u : p.unwrapped) {
      if (!segments.empty() && u < previous) ++restarts;
      previous = u;
      segments.push_back(restarts);
    }
  }
  return segments;
}

// Where the stamps first differ from the expected ones, or nothing: at the
// first stamp after a restart the program's stamps may move on by up to
// two 10 ms steps more or less than expected, and are compared from there on
// with that shift.
std::optional<std::string> FirstStampDifference(const std::vector<long long>& got,
                                                const std::vector<long long>& expected,
                                                const std::vector<int>& segments) {
  const std::size_t n = std::min(got.size(), expected.size());
  long long shift = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int before = i > 0 ? segments[i - 1] : 0;
    if (segments[i] != before) {
      // A bin may span more than one restart.
      const long long allowed = 20LL * (segments[i] - before);
      const long long moved = got[i] - expected[i] - shift;
      if (moved >= -allowed && moved <= allowed) shift += moved;
    }
    if (got[i] != expected[i] + shift) {
      std::ostringstream text;
      text << "stamp " << i << " of " << got.size() << " is\n  " << got[i] << "\nnot\n  " << expected[i] + shift;
      return text.str();
    }
  }
  if (got.size() == expected.size()) return std::nullopt;
  std::ostringstream text;
  text << got.size() << " stamps, not " << expected.size();
  return text.str();
}

// Where two sequences first differ, or nothing when they are equal.
template <typename T>
std::optional<std::string> FirstDifference(const std::vector<T>& got, const std::vector<T>& expected,
                                           const char* what) {
  const std::size_t n = std::min(got.size(), expected.size());
  std::ostringstream text;
  for (std::size_t i = 0; i < n; ++i) {
    if (got[i] != expected[i]) {
      text << what << " " << i << " of " << got.size() << " is\n  " << got[i] << "\nnot\n  " << expected[i];
      return text.str();
    }
  }
  if (got.size() == expected.size()) return std::nullopt;
  text << got.size() << " " << what << "s, not " << expected.size() << "; the first one "
       << (got.size() > n ? "too many" : "missing") << " is " << (got.size() > n ? got[n] : expected[n]);
  return text.str();
}

// --- The matrix ---------------------------------------------------------------

struct Model {
  const char* name;  // the example device file
  bool benth;
  int samplesPerPacket;
  int packets;  // per round
};

constexpr Model kModels[] = {
    {"nerit-9wl", false, 10, 48}, {"pelag-3wl", false, 10, 48}, {"ameter", false, 10, 48},
    {"cmeter", false, 10, 48},    {"benth-100wl", true, 1, 150},
};

enum class Fault { None, BadChecksum, BadLength, Noise, WrongSerial, Pause, Wrap, Restart, Duplicate, Spacing };

struct FaultInfo {
  Fault fault;
  const char* name;
};

constexpr FaultInfo kFaults[] = {
    {Fault::None, "None"},           {Fault::BadChecksum, "BadChecksum"}, {Fault::BadLength, "BadLength"},
    {Fault::Noise, "Noise"},         {Fault::WrongSerial, "WrongSerial"}, {Fault::Pause, "Pause"},
    {Fault::Wrap, "Wrap"},           {Fault::Restart, "Restart"},         {Fault::Duplicate, "Duplicate"},
    {Fault::Spacing, "Spacing"},
};

struct Case {
  const Model* model;
  const FaultInfo* fault;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.model->name << ", fault " << c.fault->name; }

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (const Model& model : kModels) {
    for (const FaultInfo& fault : kFaults) {
      if (fault.fault == Fault::Spacing && !model.benth) continue;  // only it takes spacing commands
      cases.push_back({&model, &fault});
    }
  }
  return cases;
}

// One simulator run of a case.
struct Round {
  int number = 0;   // 0: the short run
  long long packets = 0;
  unsigned seed = 1;
  int period = 7;   // the fault's K
  double wrapAt = 0.5;  // where in the run the counter wraps, a fraction
};

Round MakeRound(const Model& model, int number) {
  Round round;
  round.number = number;
  round.packets = model.packets;
  if (number == 0) return round;
  // Longer runs; the seeds, periods and wrap points walk through their
  // ranges with the round. K stays 2 or more (packet 1 is synchronised on)
  // and 3 or more for a restart, which needs two samples before it.
  round.packets = 4LL * model.packets;
  round.seed = static_cast<unsigned>(number + 1);
  round.period = 3 + (number * 5) % 14;
  round.wrapAt = 0.05 + 0.9 * static_cast<double>((number * 37) % 100) / 100.0;
  return round;
}

// The simulator's options for a fault.
std::string FaultArguments(const Model& model, Fault fault, const Round& round) {
  const std::string k = std::to_string(round.period);
  switch (fault) {
    case Fault::None:
      return "";
    case Fault::BadChecksum:
      return "--bad-checksum " + k;
    case Fault::BadLength:
      return "--bad-length " + k;
    case Fault::Noise:
      return "--noise " + k;
    case Fault::WrongSerial:
      return "--wrong-serial " + k;
    case Fault::Pause:
      return "--pause " + k + ":0.005";
    case Fault::Wrap: {
      // The counter starts so that it wraps at round.wrapAt of the run (at
      // six samples a second: 16.67 hundredths, 166.7 ms a sample).
      const double samples = static_cast<double>(round.packets * model.samplesPerPacket) * round.wrapAt;
      const long long start = model.benth ? (1LL << 32) - static_cast<long long>(samples * 166.67)
                                          : 65536 - static_cast<long long>(samples * 16.667);
      return "--time-start " + std::to_string(start);
    }
    case Fault::Restart:
      return "--restart " + k;
    case Fault::Duplicate:
      return "--duplicate " + k;
    case Fault::Spacing:
      return "--spacing-change " + std::to_string(round.packets / 2);
  }
  return "";
}

int Rounds() {
  const char* rounds = std::getenv("SONDRIX_INVARIANT_ROUNDS");
  int count = 0;
  if (rounds == nullptr || !ParseWhole(std::string_view(rounds), count) || count < 1) return 0;
  return count;
}

class StreamInvariants : public test::HeadlessTest, public ::testing::WithParamInterface<Case> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kSim)) << kSim << " is not built";
    ASSERT_TRUE(std::filesystem::exists(kCli)) << kCli << " is not built";
  }

  // The program's record and replay of one simulated run at one bin size,
  // checked against the report.
  void CheckBins(const std::string& device, const std::string& capture, const Report& report,
                 const std::vector<long long>& expected, int bins) {
    SCOPED_TRACE("bins " + std::to_string(bins));
    const std::string out = home.File("run-" + std::to_string(bins) + ".dat");
    const CliRun record = test::RunTool(kCli,
                                        "record --device " + Quoted(device) + " --port " + Quoted(capture) +
                                            " --out " + Quoted(out) + " --bin " + std::to_string(bins) +
                                            " --force",
                                        home);
    ASSERT_EQ(record.exitStatus, 0) << record.err;
    const std::vector<std::string> lines = test::DataFileSampleLines(out);

    // "N lines recorded into FILE; L samples lost"
    const std::size_t at = record.out.rfind("; ");
    ASSERT_NE(at, std::string::npos) << record.out;
    const long long lost = std::atoll(record.out.c_str() + at + 2);
    EXPECT_EQ(lost, report.totalLost) << "samples lost; the program said: " << record.out;
    // The summary says what the counters could not: a restarted clock, a
    // repeated packet, a change of spacing.
    const auto sent = [&](const char* fault) {
      return std::any_of(report.packets.begin(), report.packets.end(),
                         [&](const ReportedPacket& p) { return p.fault.find(fault) != std::string::npos; });
    };
    const std::pair<const char*, const char*> notes[] = {
        {"restart", "clock restarted"}, {"duplicate", "twice"}, {"spacing", "spacing changed"}};
    for (const auto& [fault, note] : notes) {
      EXPECT_EQ(record.err.find(note) != std::string::npos, sent(fault))
          << "the summary on \"" << fault << "\": " << record.err;
    }

    std::vector<long long> stamps;
    for (const std::string& line : lines) {
      long long stamp = 0;
      ASSERT_TRUE(ParseWhole(std::string_view(line).substr(0, line.find('\t')), stamp)) << line;
      stamps.push_back(stamp);
    }
    for (std::size_t i = 1; i < stamps.size(); ++i) {
      if (stamps[i] <= stamps[i - 1]) {
        ADD_FAILURE() << "the stamp of line " << i << " does not increase: " << stamps[i - 1] << " then "
                      << stamps[i];
        break;
      }
    }
    // A bin carries the stamp of the good sample that completed it.
    const std::vector<int> segments = RestartsBefore(report);
    std::vector<long long> binned;
    std::vector<int> binnedSegments;
    for (std::size_t last = static_cast<std::size_t>(bins); last <= expected.size(); last += bins) {
      binned.push_back(expected[last - 1]);
      binnedSegments.push_back(segments[last - 1]);
    }
    if (const auto difference = FirstStampDifference(stamps, binned, binnedSegments)) {
      ADD_FAILURE() << *difference;
    }
    // Every sample sent is a line's, lost, or in the bin the run ended in.
    const long long good = report.totalSamples - report.totalLost;
    EXPECT_EQ(static_cast<long long>(lines.size()), good / bins)
        << "lines recorded of " << report.totalSamples << " samples sent, " << report.totalLost << " lost";

    const CliRun replay = test::RunTool(kCli, "replay " + Quoted(out), home);
    ASSERT_EQ(replay.exitStatus, 0) << replay.err;
    if (const auto difference = FirstDifference(Lines(replay.out), lines, "replayed line")) {
      ADD_FAILURE() << *difference;
    }
  }

  void RunRound(const Model& model, Fault fault, const Round& round) {
    const std::string device = SONDRIX_EXAMPLES_DIR "/" + std::string(model.name) + ".dev";
    const std::string capture = home.File("run.raw");
    const std::string reportPath = home.File("run.tsv");
    const std::string arguments = "--device " + Quoted(device) + " --out " + Quoted(capture) + " --packets " +
                                  std::to_string(round.packets) + " --seed " + std::to_string(round.seed) +
                                  " --report " + Quoted(reportPath) + " --quiet " +
                                  FaultArguments(model, fault, round);
    SCOPED_TRACE("sondrix-sim " + arguments);
    const CliRun sim = test::RunTool(kSim, arguments, home);
    ASSERT_EQ(sim.exitStatus, 0) << sim.err;
    const Report report = ReadReport(reportPath);
    ASSERT_NO_FATAL_FAILURE(CheckReport(report));
    const std::vector<long long> expected = ExpectedStamps(report);
    ASSERT_EQ(static_cast<long long>(expected.size()), report.totalSamples - report.totalLost);
    for (const int bins : {1, 3, 10}) CheckBins(device, capture, report, expected, bins);
  }
};

TEST_P(StreamInvariants, RecordedAndReplayedAsSent) {
  const Model& model = *GetParam().model;
  const Fault fault = GetParam().fault->fault;
  SCOPED_TRACE(std::string(model.name) + ", fault " + GetParam().fault->name);
  const int rounds = Rounds();
  for (int number = rounds > 0 ? 1 : 0; number <= rounds && !HasFailure(); ++number) {
    RunRound(model, fault, MakeRound(model, number));
  }
}

INSTANTIATE_TEST_SUITE_P(EveryModelAndFault, StreamInvariants, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           std::string name = info.param.model->name;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name + "_" + info.param.fault->name;
                         });

// The expected stamps follow the rule on a hand-made report: a wrap of the
// unwrapped count is no event, a damaged packet leaves a gap, and a restart
// goes on one step after the last good stamp.
TEST(StreamInvariantsRule, ExpectedStampsOfAHandMadeReport) {
  auto packet = [](int lost, int tickMs, std::vector<long long> unwrapped) {
    ReportedPacket p;
    p.samples = static_cast<int>(unwrapped.size());
    p.lost = lost;
    p.tickMs = tickMs;
    p.unwrapped = std::move(unwrapped);
    return p;
  };
  Report meter;
  meter.packets = {packet(0, 10, {65530, 65546}), packet(2, 10, {65563, 65580}), packet(0, 10, {65596, 65613}),
                   packet(0, 10, {0, 17})};
  EXPECT_EQ(ExpectedStamps(meter), (std::vector<long long>{0, 160, 660, 830, 1000, 1170}));
  Report benth;
  benth.packets = {packet(0, 1, {4294967290}), packet(1, 1, {4294967456}), packet(0, 1, {4294967623}),
                   packet(0, 1, {4294967790}), packet(0, 1, {4294967956}), packet(0, 1, {3}),
                   packet(0, 1, {170})};
  EXPECT_EQ(ExpectedStamps(benth), (std::vector<long long>{0, 330, 500, 660, 820, 990}));
}

}  // namespace
}  // namespace sondrix
