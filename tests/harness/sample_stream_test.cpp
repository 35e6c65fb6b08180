// SPDX-License-Identifier: GPL-3.0-or-later
// The run's one stream of samples, held against the simulator's account of
// what it sent. A simulated nine-wavelength meter sends packets now one at a
// time, now in floods that fill the serial buffer (the program was busy);
// a session records them and publishes every line to a keeping consumer and
// to two followers: one that takes lines only when the run has time (the
// display), one that may lag a few lines (a network output); the live
// processing follows too, and a view of its corrected lines follows it.
// Every sample the simulator sent must be recorded, each line must have
// been on its way to the disk before any consumer saw it, and each consumer
// must account for every line exactly once, in the order measured: taken,
// or told it missed (the view of the corrected lines as well, through the
// processing's own lag).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/status.h"
#include "meter/source_factory.h"
#include "platform/headless/fake_serial.h"
#include "platform/serial.h"
#include "session/session.h"
#include "sim/simulator.h"
#include "source/source_wait.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

// Keeps the time stamps of the lines it took and missed, and the lines the
// recording held as each one came.
class Tally final : public SampleConsumer {
 public:
  explicit Tally(const Session& session) : session_(session) {}
  Status Take(const SourceLine& line) override {
    Note(line);
    ++taken;
    return status::kOk;
  }
  void Missed(const SourceLine& line) override {
    Note(line);
    ++missed;
  }

  std::vector<std::int64_t> times;
  long taken = 0, missed = 0;
  // A line seen before the recording had taken it.
  long unrecorded = 0;

 private:
  void Note(const SourceLine& line) {
    times.push_back(line.time);
    if (session_.recording()->writtenLines() < static_cast<long>(times.size())) ++unrecorded;
  }
  const Session& session_;
};

class SampleStreamTest : public test::HeadlessTest {};

TEST_F(SampleStreamTest, EveryConsumerAccountsForEverySampleTheMeterSentOnceAndInOrder) {
  const std::string deviceFile = std::string(SONDRIX_EXAMPLES_DIR) + "/nerit-9wl.dev";
  sim::SimDevice device;
  std::string error;
  ASSERT_EQ(sim::LoadDevice(deviceFile, device, error), status::kOk) << error;
  sim::SimSettings settings;
  settings.rate = 6.0;
  const std::unique_ptr<sim::PacketStream> packets = sim::MakeStream(device, settings);
  platform::FakeSerial serial;
  const platform::ScopedSerial scopedSerial(serial);
  long sent = 0;
  auto send = [&](int count) {
    for (int k = 0; k < count; ++k) {
      const sim::Emission& e = packets->Next();
      serial.Feed(1, e.bytes);
      if (e.lost == 0) sent += static_cast<long>(e.trueSeconds.size());
    }
  };

  std::unique_ptr<Source> source;
  ASSERT_EQ(NewSource(source, kSourceKindDevice, deviceFile, "COM1"), status::kOk);
  ASSERT_EQ(source->Open(), status::kOk);
  // The reset finds the packets by the first two (and leaves them to be read).
  send(2);
  ASSERT_EQ(source->Reset(), status::kOk);
  Session session;
  ASSERT_EQ(session.Attach(std::move(source), HomeFile("Sondrix.tmp")), status::kOk);
  ASSERT_EQ(session.OpenRecording(), status::kOk);
  Tally keeper(session), eye(session), network(session), corrected(session);
  session.stream().Keep(keeper);
  session.stream().Follow(eye, 0);
  session.stream().Follow(network, 8);
  ProcessingSettings processing;
  processing.tCal = 20.0;
  processing.salinity = 35.0;
  ASSERT_TRUE(BuiltInTable(processing.table, error)) << error;
  ASSERT_TRUE(session.SetProcessing(processing, error)) << error;
  session.stream(Session::Values::kCorrected).Follow(corrected, 0);
  PollingUser user([] { return 0; });
  Acquisition& run = session.Begin(user, nullptr, RunSetup{});
  ASSERT_EQ(run.ready(), status::kOk);

  auto readAll = [&] {
    for (int k = 0; k < 100000 && run.ReadOne() == status::kOk;) ++k;
  };
  for (int round = 0; round < 30; ++round) {
    // A quiet stretch, one packet at a time, then a flood.
    for (int k = 0; k < 20; ++k) {
      send(1);
      readAll();
    }
    send(round % 3 == 0 ? 600 : 40);
    readAll();
  }
  const RunSummary summary = session.Finish();
  ASSERT_EQ(summary.recorded, sent);

  for (const Tally* tally : {&keeper, &eye, &network, &corrected}) {
    ASSERT_EQ(static_cast<long>(tally->times.size()), sent);
    EXPECT_EQ(tally->unrecorded, 0);
    for (std::size_t i = 1; i < tally->times.size(); ++i) ASSERT_LT(tally->times[i - 1], tally->times[i]) << i;
  }
  EXPECT_EQ(keeper.missed, 0);
  // The floods filled the buffer: the display only counted some lines, the
  // lagging follower lost fewer of them, and the stream counted them all
  // (the session's history follows as the display does).
  EXPECT_GT(eye.missed, 0);
  EXPECT_LT(network.missed, eye.missed);
  // The processing lags further still, and passes on what it missed.
  EXPECT_LE(corrected.missed, network.missed);
  EXPECT_EQ(session.stream().missed(), 2 * eye.missed + network.missed + corrected.missed);
  EXPECT_EQ(session.stream().queued(), 0u);
  EXPECT_EQ(session.stream(Session::Values::kCorrected).queued(), 0u);
}

}  // namespace
}  // namespace sondrix
