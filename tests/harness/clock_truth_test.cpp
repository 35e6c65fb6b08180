// SPDX-License-Identifier: GPL-3.0-or-later
// Every exported sample at the moment it was measured. A simulated
// instrument whose crystal runs 100 ppm fast sends a day of packets; each
// packet reaches the serial line when its last sample has been measured,
// takes its time on the line at the device's baud rate, and is read late by
// a few to a few thousand milliseconds, as a busy computer reads. The run
// records it (the line unplugged for a while on the way), the recording is
// exported to CSV, and every row's UTC is held against the simulator's own
// account of when that sample was measured. The raw capture the run kept is
// then recorded again and exported: its rows must carry the same measured
// times, not the replay's.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/status.h"
#include "common/text_format.h"
#include "datafile/companion.h"
#include "datafile/data_file.h"
#include "export/export.h"
#include "meter/source_factory.h"
#include "platform/headless/fake_serial.h"
#include "platform/serial.h"
#include "session/acquisition.h"
#include "sim/simulator.h"
#include "source/source.h"
#include "source/source_wait.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

namespace fs = std::filesystem;

struct ClockCase {
  const char* name;
  const char* device;
  double rate;        // samples per second
  double hours;       // of true time
  double ppm;         // the instrument's crystal, fast
  double unplugAt;    // seconds into the run; the line is away for
  double unplugFor;   // this long
};

void PrintTo(const ClockCase& c, std::ostream* out) { *out << c.name; }

// What the run must reproduce: the true UTC of every good sample, in order.
struct Truth {
  std::vector<std::int64_t> utcMs;
};

// Works in a folder of its own: the raw capture goes to the current one.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& path) : old_(fs::current_path()) { fs::current_path(path); }
  ~ScopedCwd() { fs::current_path(old_); }

 private:
  fs::path old_;
};

// The CSV export's UTC column.
std::vector<std::int64_t> ExportedUtc(const std::string& dataFile) {
  const std::string csv = dataFile + ".csv";
  ExportOptions options;
  options.format = ExportFormat::kCsv;
  options.force = true;
  const ExportResult result = ExportDataFile(dataFile, csv, options);
  EXPECT_EQ(result.status, status::kOk) << result.message;
  std::vector<std::int64_t> utc;
  std::ifstream in(csv);
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    const std::optional<std::int64_t> at = ParseIsoUtc(line.substr(0, line.find(',')));
    EXPECT_TRUE(at.has_value()) << line.substr(0, 40);
    utc.push_back(at.value_or(0));
  }
  return utc;
}

// The largest distance of the exported times from the truth (ms); every
// row must be there.
std::int64_t WorstError(const std::vector<std::int64_t>& exported, const Truth& truth) {
  EXPECT_EQ(exported.size(), truth.utcMs.size());
  std::int64_t worst = 0;
  for (std::size_t i = 0; i < std::min(exported.size(), truth.utcMs.size()); ++i)
    worst = std::max(worst, std::abs(exported[i] - truth.utcMs[i]));
  return worst;
}

class ClockTruthTest : public test::HeadlessTest, public ::testing::WithParamInterface<ClockCase> {
 protected:
  ClockTruthTest() : tmpEnv_("TMPDIR", fs::exists("/dev/shm") ? std::optional<std::string>("/dev/shm") : std::nullopt) {
    WriteSettings("[General]\nSaveRaw=yes\n");
  }

  // Moves the fake clock on to `utcMs` (never back).
  void AdvanceTo(std::int64_t utcMs) {
    const std::int64_t now = clock.UtcMs();
    if (utcMs > now) clock.Advance(static_cast<double>(utcMs - now) / 1000.0);
  }

  // Reads what has arrived until the run has nothing more.
  static void ReadAll(Acquisition& run) {
    for (int k = 0; k < 100000 && !run.ended(); ++k) {
      if (run.ReadOne() != status::kOk) return;
    }
  }

  // The live run: the simulated instrument on COM1, recorded into `out`.
  Truth RecordLive(const ClockCase& c, const std::string& out) {
    sim::SimDevice device;
    std::string error;
    EXPECT_EQ(sim::LoadDevice(std::string(SONDRIX_EXAMPLES_DIR) + "/" + c.device, device, error), status::kOk)
        << error;
    sim::SimSettings settings;
    settings.rate = c.rate;
    settings.clockPpm = c.ppm;
    settings.faults.badChecksum = 97;
    const std::unique_ptr<sim::PacketStream> stream = sim::MakeStream(device, settings);
    const double baud = device.Base().baudRate;

    platform::FakeSerial serial;
    const platform::ScopedSerial scopedSerial(serial);
    std::mt19937_64 rng(7);
    std::exponential_distribution<double> readDelay(1.0 / 0.02);  // 20 ms on average
    std::uniform_real_distribution<double> stall(0.5, 4.0);
    // The first sample is measured a few seconds after the clock's start.
    const std::int64_t t0 = clock.UtcMs() + 3000;
    Truth truth;
    // The program's next look at the line (UTC ms; 0: none due): a packet
    // is read at that moment with every packet that arrived before it, as
    // a program busy for seconds finds them all at once.
    std::int64_t nextLook = 0;
    Acquisition* reading = nullptr;
    auto look = [&](std::int64_t until) {
      if (nextLook == 0 || nextLook > until) return;
      AdvanceTo(nextLook);
      nextLook = 0;
      if (reading != nullptr) ReadAll(*reading);
    };
    // Feeds one packet as its last byte arrives; true unless it fell into
    // the unplugged stretch.
    auto arrive = [&](const sim::Emission& e) {
      const double measured = e.trueSeconds.back();
      if (measured >= c.unplugAt && measured < c.unplugAt + c.unplugFor) return false;
      const double onLine = static_cast<double>(e.bytes.size()) * 10.0 / baud;
      const std::int64_t arrival = t0 + std::llround((measured + onLine) * 1000.0);
      look(arrival);
      AdvanceTo(arrival);
      serial.Feed(1, e.bytes);
      const double late = readDelay(rng) + (rng() % 40 == 0 ? stall(rng) : 0.0);
      if (nextLook == 0) nextLook = arrival + std::llround(late * 1000.0);
      if (e.lost == 0) {
        for (double at : e.trueSeconds) truth.utcMs.push_back(t0 + std::llround(at * 1000.0));
      }
      return true;
    };

    std::unique_ptr<Source> source;
    EXPECT_EQ(NewSource(source, kSourceKindDevice, std::string(SONDRIX_EXAMPLES_DIR) + "/" + c.device, "COM1"),
              status::kOk);
    EXPECT_EQ(source->Open(), status::kOk);
    // The opening's reset finds the packets of the first two.
    arrive(stream->Next());
    arrive(stream->Next());
    nextLook = 0;
    EXPECT_EQ(source->Reset(), status::kOk);
    std::unique_ptr<DataFile> recording;
    EXPECT_EQ(source->NewDataFile(recording, dir_.File("Sondrix.tmp")), status::kOk);
    EXPECT_EQ(recording->OpenWrite(source.get()), status::kOk);
    PollingUser user([] { return 0; });
    Acquisition run(*source, recording.get(), user);
    run.SetReconnect(true);
    Companion companion;
    run.SetCompanion(&companion, CompanionPathFor(recording->filename()));
    reading = &run;

    bool away = false;
    for (;;) {
      const sim::Emission& e = stream->Next();
      if (e.trueSeconds.front() > c.hours * 3600.0) break;
      const bool inGap = e.trueSeconds.back() >= c.unplugAt && e.trueSeconds.back() < c.unplugAt + c.unplugFor;
      if (inGap && !away) {
        // The adapter is pulled: the run notices and waits.
        look(INT64_MAX);
        away = true;
        serial.FeedUnplug(1, 1);
        ReadAll(run);
        EXPECT_TRUE(run.away()) << "the run ended with " << run.result() << " after " << run.recordedLines() << " lines";
      }
      if (!arrive(e)) continue;
      if (away) {
        // Back: the run opens the line again (its first try fails) and
        // finds the packets once two have come.
        away = false;
        for (int k = 0; k < 20 && run.away(); ++k) {
          run.ReadOne();
          clock.Advance(0.1);
        }
      }
    }
    look(INT64_MAX);
    reading = nullptr;
    const RunSummary summary = run.Finish();
    EXPECT_EQ(summary.breaks, c.unplugFor > 0.0 ? 1 : 0);
    EXPECT_EQ(recording->SaveAs(out), status::kOk);
    source->SaveRaw();
    source->Close();
    return truth;
  }

  // The run's raw capture, recorded again into `out` (with the UTC of its
  // first sample when given); whether the recording has UTC times.
  void RecordCapture(const ClockCase& c, const std::string& capture, const std::string& out,
                     std::optional<std::int64_t> startUtc, bool& hasUtc) {
    std::unique_ptr<Source> source;
    ASSERT_EQ(NewSource(source, kSourceKindDevice, std::string(SONDRIX_EXAMPLES_DIR) + "/" + c.device, capture),
              status::kOk);
    ASSERT_EQ(source->Open(), status::kOk);
    ASSERT_EQ(source->Reset(), status::kOk);
    std::unique_ptr<DataFile> recording;
    ASSERT_EQ(source->NewDataFile(recording, dir_.File("Replay.tmp")), status::kOk);
    ASSERT_EQ(recording->OpenWrite(source.get()), status::kOk);
    PollingUser user([] { return 0; });
    Acquisition run(*source, recording.get(), user);
    run.SetStartUtc(startUtc);
    Companion companion;
    run.SetCompanion(&companion, CompanionPathFor(recording->filename()));
    hasUtc = run.HasUtc();
    while (!run.ended()) run.ReadOne();
    run.Finish();
    ASSERT_EQ(recording->SaveAs(out), status::kOk);
    source->Close();
  }

  test::ScopedEnv tmpEnv_;
  test::TempDir dir_;
};

TEST_P(ClockTruthTest, EveryExportedSampleAtItsMeasuredTime) {
  const ClockCase& c = GetParam();
  const ScopedCwd cwd(dir_.path());
  const Truth truth = RecordLive(c, dir_.File("live.dat"));
  ASSERT_GT(truth.utcMs.size(), 1000u);

  const std::int64_t live = WorstError(ExportedUtc(dir_.File("live.dat")), truth);
  EXPECT_LE(live, 100) << "live recording";
  RecordProperty("live_worst_ms", std::to_string(live));

  // The capture and the companion the run kept beside it.
  std::string capture;
  for (const auto& entry : fs::directory_iterator(dir_.path()))
    if (entry.path().extension() == ".raw") capture = entry.path().string();
  ASSERT_FALSE(capture.empty());
  ASSERT_TRUE(fs::exists(CompanionPathFor(capture)));
  bool hasUtc = false;
  RecordCapture(c, capture, dir_.File("again.dat"), std::nullopt, hasUtc);
  EXPECT_TRUE(hasUtc);
  const std::int64_t again = WorstError(ExportedUtc(dir_.File("again.dat")), truth);
  EXPECT_LE(again, 100) << "recorded again from the capture";
  RecordProperty("capture_worst_ms", std::to_string(again));
}

INSTANTIATE_TEST_SUITE_P(
    DayAt100Ppm, ClockTruthTest,
    ::testing::Values(ClockCase{"TenSampleMeter", "nerit-9wl.dev", 2.0, 24.0, 100.0, 30000.0, 40.0},
                      ClockCase{"Hyperspectral", "benth-85wl-v3.dev", 0.5, 24.0, 100.0, 50000.0, 25.0}),
    [](const ::testing::TestParamInfo<ClockCase>& info) { return std::string(info.param.name); });

// A capture without its companion has no measured UTC: recording it says
// so and its recording carries none, unless the UTC of its first sample is
// given, from which the instrument's counter places every sample.
TEST_F(ClockTruthTest, CaptureWithoutItsMapHasNoUtcUnlessGiven) {
  const ScopedCwd cwd(dir_.path());
  const ClockCase c{"Short", "nerit-9wl.dev", 6.0, 0.1, 0.0, 1e9, 0.0};
  const Truth truth = RecordLive(c, dir_.File("live.dat"));
  std::string capture;
  for (const auto& entry : fs::directory_iterator(dir_.path()))
    if (entry.path().extension() == ".raw") capture = entry.path().string();
  ASSERT_FALSE(capture.empty());
  fs::remove(CompanionPathFor(capture));

  for (const bool given : {false, true}) {
    const std::string out = dir_.File(given ? "given.dat" : "unknown.dat");
    bool hasUtc = !given;
    RecordCapture(c, capture, out, given ? std::optional(truth.utcMs.front()) : std::nullopt, hasUtc);
    EXPECT_EQ(hasUtc, given);
    ExportOptions options;
    options.format = ExportFormat::kCsv;
    const ExportResult result = ExportDataFile(out, out + ".csv", options);
    if (!given) {
      // Never the replay's clock as the measurement's.
      EXPECT_NE(result.status, status::kOk);
      EXPECT_NE(result.message.find("no measured UTC"), std::string::npos) << result.message;
      continue;
    }
    // The counter from the given start: right to within the crystal's
    // error over six minutes (none here) and the stamps' 10 ms.
    EXPECT_LE(WorstError(ExportedUtc(out), truth), 20);
  }
}

}  // namespace
}  // namespace sondrix
