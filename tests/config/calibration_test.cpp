// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/panels.h"
#include "config/calibration.h"
#include "source/source_wait.h"
#include "common/status.h"
#include "config/meter_config.h"
#include "config_files.h"
#include "fakes.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

using test::Header;
using test::ScriptedSource;

// A three-wavelength meter's configuration (a, a, a, c, c, c) with known
// offsets, plus whatever trace names a test wants.
class Calibration : public test::HeadlessTest {
 protected:
  Calibration() : config(6, 6) {
    const std::string text = Header("P", "03000001", 0) +
                             "a440 Red 0.1 0 0\na550 Red 0.2 0 0\nx676 Red 0.3 0 0\n"
                             "c440 Red 0.4 0 0\nc550 Red 0.5 0 0\nc676 Red 0.6 0 0\n";
    auto file = test::TextStream(text);
    EXPECT_EQ(config.ReadConfig(file.get()), status::kOk);
  }

  std::vector<double> Offsets() const {
    std::vector<double> offsets;
    for (const TraceCal& trace : config.traces) offsets.push_back(trace.offset);
    return offsets;
  }

  Status Calibrate(int samples, bool doA = true, bool doC = true) {
    return MeterConfig_Calibrate(source, config, 10, source.port(), samples, doA, doC);
  }

  std::string WaitText() const {
    const auto history = ui.ValueHistory(panels::kWait, panels::kWaitText);
    if (history.empty()) return {};
    return std::get<std::string>(history.back());
  }

  MeterConfig config;
  ScriptedSource source{6};
  const std::vector<double> original = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
};

TEST_F(Calibration, OffsetsMakeTheReferenceReadZero) {
  source.Good({1, 2, 3, 4, 5, 6}).Good({3, 4, 5, 6, 7, 8});
  ASSERT_EQ(Calibrate(2), status::kOk);
  // x676 begins with neither "a" nor "c" and keeps its offset.
  EXPECT_EQ(Offsets(), (std::vector<double>{-2, -3, 0.3, -5, -6, -7}));
  EXPECT_EQ(WaitText(), "\n   Reading data from meter...\n   Sample 2 of 2");
  EXPECT_EQ(ui.NewestHandle(panels::kWait), 0) << "the wait message is hidden again";
}

// The water the offsets were calibrated in goes beside the device file
// when it is saved, as the record's text says, and reads back; a device
// file saved without a calibration has none.
TEST_F(Calibration, TheWatersTemperatureGoesBesideTheSavedDeviceFile) {
  source.Lost().Good({1, 2, 3, 4, 5, 6}, 1, 18.25).Good({3, 4, 5, 6, 7, 8}, 1, 18.75);
  ASSERT_EQ(Calibrate(2), status::kOk);
  ASSERT_TRUE(config.calibrationWater);
  EXPECT_EQ(config.calibrationWater->temperature, 18.5);  // the lost sample's 0 is not counted
  EXPECT_EQ(config.calibrationWater->samples, 2);

  const std::string device = HomeFile("p.dev");
  ui.AnswerFile(device);
  ASSERT_EQ(config.SaveConfig(), status::kOk);
  const std::string record = test::ReadTextFile(HomeFile("p.calibration")).value_or("");
  EXPECT_NE(record.find("\nwater_temperature=18.500\n"), std::string::npos) << record;
  EXPECT_NE(record.find("\nsamples=2\n"), std::string::npos) << record;
  std::string error;
  EXPECT_EQ(ReadCalibrationRecord(HomeFile("p.calibration"), error), config.calibrationWater) << error;
  // The device file itself is as every reader knows it.
  MeterConfig back(6, 6);
  auto file = test::TextStream(test::ReadTextFile(device).value_or(""));
  ASSERT_EQ(back.ReadConfig(file.get()), status::kOk);
  EXPECT_EQ(back.CompConfig(config), 1);

  MeterConfig uncalibrated(6, 6);
  ASSERT_EQ(config.CopyConfig(uncalibrated), status::kOk);
  uncalibrated.calibrationWater.reset();
  ui.AnswerFile(HomeFile("q.dev"));
  ASSERT_EQ(uncalibrated.SaveConfig(), status::kOk);
  EXPECT_FALSE(std::filesystem::exists(HomeFile("q.calibration")));
  test::WriteTextFile(HomeFile("r.calibration"), "# by hand\nwater_temperature=warm\n");
  EXPECT_FALSE(ReadCalibrationRecord(HomeFile("r.calibration"), error));
  EXPECT_NE(error.find("r.calibration:2: the water temperature \"warm\" is not a number"), std::string::npos) << error;
}

TEST_F(Calibration, AveragesOnlySamplesMeasuredAfterItStarted) {
  // The editor stood open: the line holds samples of another water.
  source.Stale({9, 9, 9, 9, 9, 9}, 300).Good({1, 2, 3, 4, 5, 6}).Good({3, 4, 5, 6, 7, 8});
  ASSERT_EQ(Calibrate(2), status::kOk);
  EXPECT_EQ(Offsets(), (std::vector<double>{-2, -3, 0.3, -5, -6, -7}));
  EXPECT_TRUE(source.replies.empty());
}

TEST_F(Calibration, OnlyTheTicked) {
  source.Good({1, 2, 3, 4, 5, 6});
  ASSERT_EQ(Calibrate(1, true, false), status::kOk);
  EXPECT_EQ(Offsets(), (std::vector<double>{-1, -2, 0.3, 0.4, 0.5, 0.6}));
  source.Good({1, 2, 3, 4, 5, 6});
  ASSERT_EQ(Calibrate(1, false, true), status::kOk);
  EXPECT_EQ(Offsets(), (std::vector<double>{-1, -2, 0.3, -4, -5, -6}));
}

TEST_F(Calibration, SixUnrecognisedSamplesStopIt) {
  source.Good({1, 1, 1, 1, 1, 1}).Lost(6).Good({1, 1, 1, 1, 1, 1}, 5);
  EXPECT_EQ(Calibrate(4), status::kUnrecognisedData);
  EXPECT_EQ(Offsets(), original);
  EXPECT_EQ(ui.NewestHandle(panels::kWait), 0);
}

TEST_F(Calibration, FiveUnrecognisedSamplesAreSkipped) {
  source.Lost(2).Good({2, 2, 2, 2, 2, 2}).Lost(3).Good({4, 4, 4, 4, 4, 4});
  ASSERT_EQ(Calibrate(2), status::kOk);
  // The lost samples' values are not averaged.
  EXPECT_EQ(Offsets(), (std::vector<double>{-3, -3, 0.3, -3, -3, -3}));
  EXPECT_TRUE(source.replies.empty());
}

TEST_F(Calibration, WaitsForDataButNotForEver) {
  source.Result(status::kNoData, 50).Good({1, 1, 1, 1, 1, 1});
  ASSERT_EQ(Calibrate(1), status::kOk);
  EXPECT_EQ(Offsets()[0], -1.0);

  const double before = clock.Timer();
  EXPECT_EQ(Calibrate(1), status::kTimedOut);  // nothing scripted: no data at all
  EXPECT_GE(clock.Timer() - before, 10.0);
  EXPECT_LT(clock.Timer() - before, 11.0);
  EXPECT_EQ(Offsets()[0], -1.0);
}

// The message counts the samples on its bar (before each read, the share
// taken so far), is painted at every sample and offers Cancel.
TEST_F(Calibration, TheMessageShowsEverySampleAndIsPaintedAtOnce) {
  source.Good({1, 1, 1, 1, 1, 1}, 4);
  bool cancelOffered = true;
  source.onRead = [&] {
    const platform::HeadlessControl* cancel = ui.Control(ui.NewestHandle(panels::kWait), panels::kWaitCancel);
    cancelOffered &= cancel != nullptr && cancel->visible && !cancel->dimmed;
  };
  ASSERT_EQ(Calibrate(4), status::kOk);
  EXPECT_TRUE(cancelOffered);
  std::vector<int> bar;
  for (const platform::CtrlValue& value : ui.ValueHistory(panels::kWait, panels::kWaitProgress))
    bar.push_back(std::get<int>(value));
  EXPECT_EQ(bar, (std::vector<int>{0, 25, 50, 75}));
  const int panel = ui.NewestHandle(panels::kWait, false);
  // Shown, and each of the four samples.
  EXPECT_GE(ui.panelUpdates(panel), 5);
  EXPECT_EQ(WaitText(), "\n   Reading data from meter...\n   Sample 4 of 4");
  // A count, not a list that grows with every sample.
  std::vector<std::string> texts;
  for (const platform::CtrlValue& value : ui.ValueHistory(panels::kWait, panels::kWaitText))
    texts.push_back(std::get<std::string>(value));
  std::vector<std::string> counts;
  for (int k = 1; k <= 4; ++k) counts.push_back("\n   Reading data from meter...\n   Sample " + std::to_string(k) + " of 4");
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
  EXPECT_EQ(texts, counts);
}

// Every way of cancelling, between two samples and while the meter sends
// nothing: the calibration ends before its next read with -1021, nobody is
// told, the message goes, and the configuration is byte for byte what it
// was.
TEST_F(Calibration, CancelEndsItAndChangesNothing) {
  struct Way {
    const char* what;
    std::function<void(platform::HeadlessUi&)> cancel;
  };
  const std::vector<Way> ways = {
      {"Cancel", [](platform::HeadlessUi& u) { u.Commit(panels::kWait, panels::kWaitCancel); }},
      {"Esc", [](platform::HeadlessUi& u) { u.Key(panels::kWait, "Esc"); }},
      {"close box", [](platform::HeadlessUi& u) { u.Close(panels::kWait); }},
      {"told to end", [](platform::HeadlessUi& u) { u.Terminate(); }},
  };
  const std::string written = test::Written([&](std::FILE* f) { return config.WriteConfig(f); });
  for (const Way& way : ways) {
    for (const bool flowing : {true, false}) {
      SCOPED_TRACE(std::string(way.what) + (flowing ? ", between samples" : ", waiting for data"));
      // A user interface of its own for each (one told to end stays so).
      platform::HeadlessUi user;
      const platform::ScopedUi scoped(user);
      source.replies.clear();
      source.reads = 0;
      // Flowing: three good samples are read, then the user cancels. Not
      // flowing: one sample, then thirty reads find nothing.
      if (flowing) source.Good({1, 2, 3, 4, 5, 6}, 10);
      else source.Good({1, 2, 3, 4, 5, 6});
      const int cancelAt = flowing ? 3 : 31;
      source.onRead = [&] {
        if (source.reads == cancelAt) way.cancel(user);
      };
      const double before = clock.Timer();
      EXPECT_EQ(Calibrate(8), status::kCancelled);
      EXPECT_EQ(source.reads, cancelAt);
      EXPECT_LT(clock.Timer() - before, 1.0);
      EXPECT_EQ(Offsets(), original);
      EXPECT_EQ(test::Written([&](std::FILE* f) { return config.WriteConfig(f); }), written);
      EXPECT_EQ(user.NewestHandle(panels::kWait), 0);
      EXPECT_TRUE(user.popups().empty());
      EXPECT_TRUE(user.problems().empty()) << user.problems().front();
    }
  }
}

// While the meter sends nothing the calibration sleeps in the user
// interface (short sleeps without a serial line to watch), not in a busy
// loop.
TEST_F(Calibration, WaitingForDataSleeps) {
  source.Result(status::kNoData, 40).Good({1, 1, 1, 1, 1, 1});
  ASSERT_EQ(Calibrate(1), status::kOk);
  EXPECT_EQ(ui.timedWaits(), std::vector<double>(40, SourceWait::kShortWait));
}

TEST_F(Calibration, OtherFailuresStopItUnchanged) {
  source.Good({1, 1, 1, 1, 1, 1}).Result(status::kReadFailed);
  EXPECT_EQ(Calibrate(3), status::kReadFailed);
  EXPECT_EQ(Offsets(), original);
  EXPECT_EQ(Calibrate(0), status::kBadArgument);
  EXPECT_EQ(Offsets(), original);
}

// --- Depth zeroing -----------------------------------------------------------------

class DepthZeroing : public Calibration {
 protected:
  Status Zero(int samples = 5) {
    return MeterConfig_DepthCalibrate(source, config, 10, source.port(), samples);
  }
};

TEST_F(DepthZeroing, OffsetCancelsTheSurfaceReading) {
  config.depthScale = 0.0035;
  for (int i = 0; i < 6; ++i) source.port().Append(test::Packet(6, 1000));
  ASSERT_EQ(Zero(), status::kOk);
  EXPECT_NEAR(config.depthOffset, -3.5, 1e-12);
}

TEST_F(DepthZeroing, PacketsThatFailTheirChecksOrStatusAreNotAveraged) {
  config.depthScale = 0.01;
  std::vector<std::uint8_t> corrupt = test::Packet(6, 3000);
  corrupt[20] ^= 0x55;  // checksum no longer matches
  source.port().Append(test::Packet(6, 1000));
  source.port().Append(corrupt);
  source.port().Append(test::Packet(6, 2000, 7));  // instrument status not good
  for (int i = 0; i < 5; ++i) source.port().Append(test::Packet(6, 1000));
  ASSERT_EQ(Zero(), status::kOk);
  EXPECT_NEAR(config.depthOffset, -10.0, 1e-12);
}

TEST_F(DepthZeroing, CancelKeepsTheOffset) {
  config.depthOffset = 0.75;
  config.depthScale = 0.01;
  source.port().Append(test::Packet(6, 1000));
  // Two looks at the user interface find nothing, the third the Cancel.
  ui.Raw(platform::UserEvent{}).Raw(platform::UserEvent{}).Commit(panels::kWait, panels::kWaitCancel);
  EXPECT_EQ(Zero(), status::kCancelled);
  EXPECT_EQ(config.depthOffset, 0.75);
  EXPECT_EQ(ui.NewestHandle(panels::kWait), 0);
  EXPECT_TRUE(ui.problems().empty());
  // The message counted the packets: the first taken, the second awaited.
  EXPECT_EQ(WaitText(), "\n   Reading data from meter...\n   Sample 2 of " + std::to_string(kDepthSamples));
}

TEST_F(DepthZeroing, NoDataTimesOutAndKeepsTheOffset) {
  config.depthOffset = 0.75;
  EXPECT_EQ(Zero(), status::kTimedOut);
  EXPECT_EQ(config.depthOffset, 0.75);

  for (int i = 0; i < 3; ++i) source.port().Append(test::Packet(6, 1000));
  EXPECT_EQ(Zero(), status::kTimedOut);  // three packets, five wanted
  EXPECT_EQ(config.depthOffset, 0.75);
  EXPECT_EQ(Zero(0), status::kBadArgument);
}

}  // namespace
}  // namespace sondrix
