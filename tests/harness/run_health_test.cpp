// SPDX-License-Identifier: GPL-3.0-or-later
// The run's health against a simulated run whose truth is known (the
// simulated meter on a fake COM1 and clock, some packets spoiled): the last
// minute's lost samples against those the simulator spoiled, the line's
// state as it pauses, goes away and comes back, and the disk's hours left
// from a fake free-space reading and the bytes the recording took.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "datafile/data_file.h"
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

struct Sample {
  std::int64_t ms;  // the instrument's elapsed time
  bool lost;
};

class RunHealthTest : public test::HeadlessTest, public ::testing::WithParamInterface<int> {
 protected:
  static void ReadAll(Acquisition& run) {
    for (int k = 0; k < 100000 && !run.ended(); ++k) {
      if (run.ReadOne() != status::kOk) return;
    }
  }
  test::TempDir dir_;
};

TEST_P(RunHealthTest, TheLastMinutesLossTheLineAndTheDiskAsTheRunWas) {
  sim::SimDevice device;
  std::string error;
  ASSERT_EQ(sim::LoadDevice(std::string(SONDRIX_EXAMPLES_DIR) + "/nerit-9wl.dev", device, error), status::kOk) << error;
  sim::SimSettings settings;
  settings.rate = 6.0;
  settings.faults.badChecksum = GetParam();
  const std::unique_ptr<sim::PacketStream> stream = sim::MakeStream(device, settings);

  platform::FakeSerial serial;
  const platform::ScopedSerial scopedSerial(serial);
  std::unique_ptr<Source> source;
  ASSERT_EQ(NewSource(source, kSourceKindDevice, std::string(SONDRIX_EXAMPLES_DIR) + "/nerit-9wl.dev", "COM1"),
            status::kOk);
  ASSERT_EQ(source->Open(), status::kOk);
  std::vector<Sample> truth;
  double measured = 0.0;
  auto send = [&] {
    const sim::Emission& e = stream->Next();
    // Each packet arrives as its last sample is measured.
    if (e.trueSeconds.back() > measured) clock.Advance(e.trueSeconds.back() - measured);
    measured = std::max(measured, e.trueSeconds.back());
    serial.Feed(1, e.bytes);
    for (const std::int64_t ms : e.elapsedMs) truth.push_back({ms, e.lost > 0});
  };
  send();
  send();
  ASSERT_EQ(source->Reset(), status::kOk);
  truth.clear();
  std::unique_ptr<DataFile> recording;
  ASSERT_EQ(source->NewDataFile(recording, dir_.File("Sondrix.tmp")), status::kOk);
  ASSERT_EQ(recording->OpenWrite(source.get()), status::kOk);
  PollingUser user([] { return 0; });
  Acquisition run(*source, recording.get(), user);
  run.SetReconnect(true);
  std::uint64_t freeBytes = 0;
  std::string probed;
  run.SetFreeSpaceProbe([&](const std::string& folder) {
    probed = folder;
    return std::optional<std::uint64_t>(freeBytes);
  });
  EXPECT_EQ(run.Health().line, LineState::Waiting);

  // Four minutes of packets; after each, the last minute as the truth has it.
  const double start = measured;
  int checked = 0;
  while (measured - start < 240.0) {
    send();
    ReadAll(run);
    const RunHealth h = run.Health();
    ASSERT_EQ(h.line, LineState::Reading);
    if (measured - start < 70.0) continue;
    ASSERT_NEAR(h.windowSeconds, kLossWindowSeconds, 2.0);
    // The window ends at the last good line; a spoiled packet is counted
    // at the next good one, so the counts may differ by a packet at its start.
    std::int64_t end = 0;
    for (const Sample& s : truth)
      if (!s.lost) end = std::max(end, s.ms);
    const std::int64_t from = end - std::llround(h.windowSeconds * 1000.0);
    long long all = 0, lost = 0;
    for (const Sample& s : truth) {
      if (s.ms <= from || s.ms > end) continue;
      ++all;
      if (s.lost) ++lost;
    }
    ASSERT_NEAR(static_cast<double>(h.windowSamples), static_cast<double>(all), 10.0);
    ASSERT_NEAR(static_cast<double>(h.windowLost), static_cast<double>(lost), 10.0);
    if (lost == 0) {
      EXPECT_EQ(LossLevel(h.lostRate()), HealthLevel::Good);
    }
    if (h.windowLost >= 10) {
      EXPECT_EQ(LossLevel(h.lostRate()), HealthLevel::Red);
    }
    ++checked;
  }
  EXPECT_GT(checked, 90);
  if (GetParam() > 0) {
    long long spoiled = 0;
    for (const Sample& s : truth) spoiled += s.lost ? 1 : 0;
    EXPECT_GT(spoiled, 0);
  }

  // The disk: the rate the recording's folder grows, and the hours a
  // reading of the free space gives at it, each at its level.
  const double elapsed = measured - start;
  const auto written = static_cast<double>(std::filesystem::file_size(dir_.File("Sondrix.tmp")));
  const double truthRate = written / elapsed;
  for (const auto& [hours, level] : {std::pair{100.0, HealthLevel::Good}, std::pair{10.0, HealthLevel::Amber},
                                     std::pair{1.0, HealthLevel::Red}}) {
    freeBytes = static_cast<std::uint64_t>(hours * 3600.0 * truthRate);
    for (int k = 0; k < 4; ++k) {  // past the next look at the disk
      send();
      ReadAll(run);
    }
    const RunHealth h = run.Health();
    EXPECT_EQ(probed, dir_.path());
    ASSERT_TRUE(h.diskFree && h.writeRate && h.diskHours);
    EXPECT_EQ(*h.diskFree, freeBytes);
    EXPECT_NEAR(*h.writeRate, truthRate, 0.05 * truthRate);
    EXPECT_NEAR(*h.diskHours, hours, 0.06 * hours);
    EXPECT_EQ(DiskLevel(h.diskHours), level) << hours;
  }

  // The line pauses, goes away, comes back.
  clock.Advance(5.0);
  RunHealth h = run.Health();
  EXPECT_EQ(h.line, LineState::Waiting);
  EXPECT_NEAR(h.lineSeconds, 5.0, 0.5);
  EXPECT_EQ(LineLevel(h.line), HealthLevel::Amber);
  serial.FeedUnplug(1, 1);
  ReadAll(run);
  ASSERT_TRUE(run.away());
  EXPECT_EQ(run.Health().line, LineState::Lost);
  EXPECT_EQ(LineLevel(LineState::Lost), HealthLevel::Red);
  bool reconnecting = false;
  for (int k = 0; k < 40 && run.away(); ++k) {
    clock.Advance(0.3);
    if (k > 4) send();
    run.ReadOne();
    reconnecting = reconnecting || run.Health().line == LineState::Reconnecting;
  }
  EXPECT_TRUE(reconnecting);
  ASSERT_FALSE(run.away());
  send();
  ReadAll(run);
  EXPECT_EQ(run.Health().line, LineState::Reading);
}

INSTANTIATE_TEST_SUITE_P(Faults, RunHealthTest, ::testing::Values(0, 11, 47));

}  // namespace
}  // namespace sondrix
