// SPDX-License-Identifier: GPL-3.0-or-later
// The window's run over hostile live streams: each case writes a stream of
// nine-wavelength packets by hand (noise, false sync patterns, packets cut
// short or damaged, a device that vanishes, a stop with packets still
// waiting, a device unplugged and plugged back in), plays it on COM1 and
// checks what the run recorded against what the case knows it sent: the
// good packets' lines, every one, and the lost count of exactly the samples
// it spoiled. The same streams go through `sondrix-cli record` in
// tests/cli; both run the one acquisition run.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "app/acquire.h"
#include "app/app_fixtures.h"
#include "common/panels.h"
#include "common/settings.h"
#include "common/status.h"
#include "datafile/data_file.h"
#include "platform/clock.h"

namespace sondrix {
namespace {

using Stream = std::vector<std::vector<std::uint8_t>>;

// Packet i of a clean stream: ten samples, the counter 10 i; `serial`
// another instrument's.
std::vector<std::uint8_t> Clean(int i, std::uint32_t serial = test::kNeritSerial) {
  return test::Packet(test::kNeritTraces, 10, serial, static_cast<std::uint16_t>(10 * i),
                      0.3 + 0.001 * (i % 50), 0.6, TempToCount(14.0));
}

// Bytes that never form the sync pattern.
std::vector<std::uint8_t> Noise(std::size_t count) {
  std::vector<std::uint8_t> noise(count);
  for (std::size_t k = 0; k < count; ++k) noise[k] = static_cast<std::uint8_t>(0x11 + (k * 37) % 200);
  return noise;
}

struct StreamCase {
  std::string name;
  // Packets the stream carries (whole, damaged or cut short).
  int packets = 0;
  // The stream after the packet the opening's reset takes; what the case
  // spoiled is counted into `lost` (samples).
  std::function<Stream(int& lost)> make;
  // Lines recorded when the run fails at this many (the device vanishes);
  // 0: the run is stopped once every byte was read.
  long failAt = 0;
  // A stop while this many lines are recorded, with packets still waiting.
  long stopAt = 0;
  // The device is unplugged after packet `unplugAfter` of the stream (0:
  // never) and found again after `failedOpens` attempts; the stream after
  // it is what it sends once back. `stopAway`: the user stops the run
  // while it waits for the device.
  int unplugAfter = 0;
  int failedOpens = 1;
  bool stopAway = false;
  // The run's end: 1, or the error that ends it.
  Status result = status::kOk;
};

std::ostream& operator<<(std::ostream& out, const StreamCase& c) { return out << c.name; }

const std::vector<StreamCase>& Cases() {
  static const std::vector<StreamCase> cases = {
      {"NoiseBurst", 50,
       [](int&) {
         Stream s;
         for (int i = 1; i <= 50; ++i) {
           if (i == 20) s.push_back(Noise(300));
           s.push_back(Clean(i));
         }
         return s;
       }},
      {"NoiseInPlaceOfTwoPackets", 50,
       [](int& lost) {
         Stream s;
         for (int i = 1; i <= 50; ++i) s.push_back(i == 31 || i == 32 ? Noise(Clean(i).size()) : Clean(i));
         lost = 20;
         return s;
       }},
      {"FalseSyncPatterns", 40,
       [](int&) {
         Stream s;
         for (int i = 1; i <= 40; ++i) {
           auto packet = Clean(i);
           if (i % 3 == 1) packet.insert(packet.begin(), {0x00, 0xFF, 0x00, 0xFF});
           if (i % 7 == 2) packet.insert(packet.begin(), {0x00, 0xFF, 0x00, 0xFF, 0x7A, 0x02, 0x01});
           s.push_back(packet);
         }
         return s;
       }},
      {"TruncatedAndDamagedPackets", 62,
       [](int& lost) {
         Stream s;
         // The last two packets are whole: a packet cut by the end of a run
         // is not known to be one.
         for (int i = 1; i <= 62; ++i) {
           auto packet = Clean(i);
           if (i <= 60 && i % 7 == 3) {
             packet.resize(packet.size() / 2);
             lost += 10;
           } else if (i <= 60 && i % 11 == 5) {
             packet = test::Damaged(packet);
             lost += 10;
           }
           s.push_back(packet);
         }
         return s;
       }},
      {"DeviceVanishes", 30,
       [](int&) {
         Stream s;
         for (int i = 1; i <= 30; ++i) s.push_back(Clean(i));
         return s;
       },
       /*failAt=*/200},
      {"StopWithPacketsWaiting", 30,
       [](int&) {
         Stream s;
         for (int i = 1; i <= 30; ++i) s.push_back(Clean(i));
         return s;
       },
       /*failAt=*/0, /*stopAt=*/105},
      // Unplugged after packet 20; packets 21 ... 27 are taken while it is
      // away and never arrive: their 70 samples are lost, counted by the
      // instrument's counter.
      {"UnpluggedAndBack", 40,
       [](int& lost) {
         Stream s;
         for (int i = 1; i <= 40; ++i) {
           if (i >= 21 && i <= 27) continue;
           s.push_back(Clean(i));
         }
         lost = 70;
         return s;
       },
       /*failAt=*/0, /*stopAt=*/0, /*unplugAfter=*/20, /*failedOpens=*/2},
      // Back with another instrument: nothing of it is recorded.
      {"BackWithAnotherInstrument", 20,
       [](int&) {
         Stream s;
         for (int i = 1; i <= 30; ++i) s.push_back(Clean(i, i <= 20 ? test::kNeritSerial : test::kNeritSerial + 1));
         return s;
       },
       /*failAt=*/0, /*stopAt=*/0, /*unplugAfter=*/20, /*failedOpens=*/1, /*stopAway=*/false,
       status::kSerialMismatch},
      // Stopped while the device is away: the run ends at once and keeps
      // what it recorded.
      {"StoppedWhileAway", 20,
       [](int&) {
         Stream s;
         for (int i = 1; i <= 30; ++i) s.push_back(Clean(i));
         return s;
       },
       /*failAt=*/0, /*stopAt=*/0, /*unplugAfter=*/20, /*failedOpens=*/1000000, /*stopAway=*/true},
  };
  return cases;
}

class RunStreams : public test::AppTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(RunStreams, RecordsEveryGoodPacketAndCountsExactlyWhatWasSpoiled) {
  const StreamCase& c = GetParam();
  int lost = 0;
  const Stream stream = c.make(lost);
  const long good = 10L * c.packets - lost;

  Start();
  // The opening's reset takes the first packet; the run's reset then
  // synchronises on the stream's first and keeps it.
  const auto lead = Clean(0);
  serial.Feed(1, std::span<const std::uint8_t>(lead));
  for (std::size_t k = 0; k < stream.size(); ++k) {
    serial.Feed(1, std::span<const std::uint8_t>(stream[k]));
    if (static_cast<int>(k) + 1 == c.unplugAfter) serial.FeedUnplug(1, c.failedOpens);
  }
  serial.SetDevice(1, "/dev/ttyUSB7");
  settings::SetReconnect(c.failAt == 0);
  OpenDevice("COM1");
  // The banner over the graph while the device is away.
  std::string banner;
  double stoppedAt = -1.0;
  StopWhen([&] {
    const auto* away = ui.Control(app.mainPanel, panels::kMainLineAway);
    if (away != nullptr && away->visible) {
      if (const auto* text = std::get_if<std::string>(&away->value); text != nullptr && banner.empty())
        banner = *text;
      // Time passes while the run waits for the device (the scripted user
      // answers at once).
      clock.Advance(0.1);
    }
    if (c.stopAway && !banner.empty()) {
      stoppedAt = platform::Timer();
      return true;
    }
    const long written = app.session().recording()->writtenLines();
    if (c.failAt > 0) {
      if (written == c.failAt) serial.SetIoError(1, status::kGeneralIoError);
      return false;
    }
    return c.stopAt > 0 ? written >= c.stopAt : serial.Remaining(1) == 0;
  });
  ui.AnswerFile(HomeFile("run.dat"));
  // What the user had been told when the recording was offered for saving.
  std::vector<std::string> toldBeforeSaving;
  ui.fileAnswerer = [&](const platform::FileSelectRequest&) {
    toldBeforeSaving = ErrorTexts();
    return std::optional<std::pair<platform::FileSelectResult, std::string>>();
  };

  const Status result = Acquire_Run(app);
  const auto lines = DataLines(HomeFile("run.dat"));
  if (c.failAt > 0) {
    // The device went away, and the run does not wait for it: one message,
    // and what came before is kept.
    EXPECT_EQ(result, status::kGeneralIoError);
    const auto errors = ErrorTexts();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("stopped answering"), std::string::npos) << errors[0];
    EXPECT_EQ(static_cast<long>(lines.size()), c.failAt);
    return;
  }
  EXPECT_EQ(result, c.result);
  if (c.unplugAfter > 0) {
    // Said once, visibly, and gone once the device is back.
    EXPECT_NE(banner.find("COM1 (/dev/ttyUSB7) stopped answering; waiting for it to come back — Stop ends the run"),
              std::string::npos)
        << banner;
    EXPECT_FALSE(ui.Control(app.mainPanel, panels::kMainLineAway)->visible);
    const auto notes = ErrorTexts();
    ASSERT_FALSE(notes.empty());
    EXPECT_NE(notes[0].find("COM1 (/dev/ttyUSB7) stopped answering 1 time"), std::string::npos) << notes[0];
    if (c.result == status::kSerialMismatch) {
      ASSERT_EQ(notes.size(), 2u);
      EXPECT_NE(notes[1].find("another instrument"), std::string::npos) << notes[1];
    }
    // The explanation comes first, then the Save dialog.
    EXPECT_EQ(toldBeforeSaving, notes);
    if (c.stopAway) {
      EXPECT_LT(platform::SecondsSince(stoppedAt), 0.5);
    }
  } else {
    EXPECT_TRUE(ErrorTexts().empty());
  }
  // Whatever had arrived when the user stopped is recorded: every good
  // packet, in order, and no line twice.
  ASSERT_EQ(static_cast<long>(lines.size()), good);
  EXPECT_EQ(app.source()->GetLostCount(), lost);
  long long previous = -1;
  for (const std::string& line : lines) {
    const long long stamp = std::stoll(line.substr(0, line.find('\t')));
    EXPECT_GT(stamp, previous) << line;
    previous = stamp;
  }
  EXPECT_EQ(app.display().sampleCount(), good);
}

INSTANTIATE_TEST_SUITE_P(HostileLiveStreams, RunStreams, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<StreamCase>& info) { return info.param.name; });

}  // namespace
}  // namespace sondrix
