// SPDX-License-Identifier: GPL-3.0-or-later
// The trace of a damaged stream: the decoders of both packet formats, on a
// serial line and on a raw capture, log one line per rejected packet (its
// offset, the reason, its first bytes) and one per stretch of noise. The
// expected lines come from the stream this test builds, byte by byte, not
// from the decoders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "io/benth_buffer.h"
#include "io/benth_packet.h"
#include "io/bin_buffer.h"
#include "io/meter_packet.h"
#include "io/raw_file_port.h"
#include "io/rs232_port.h"
#include "io_test_env.h"
#include "platform/clock.h"
#include "platform/headless/fake_serial.h"
#include "platform/serial.h"
#include "support/fake_clock.h"
#include "support/log_capture.h"

namespace sondrix {
namespace {

constexpr std::uint32_t kSerial = 0x53001234u;

// One packet format: its good packets and the ways the test damages them.
struct Format {
  std::string name;
  std::vector<std::uint8_t> sync;
  std::function<std::vector<std::uint8_t>(int seed)> good;
  std::function<void(std::vector<std::uint8_t>&)> badChecksum;
  std::function<void(std::vector<std::uint8_t>&)> badLength;
  // A good packet the decoder cannot use (another output spacing); none
  // for formats without one.
  std::function<std::vector<std::uint8_t>(int seed)> unusable;
  std::function<std::unique_ptr<DataBuffer>(DPort&)> decoder;
};

// A byte changed so that it is neither 0x00 nor 0xFF, which every sync
// pattern holds: damage never plants a pattern.
void Flip(std::uint8_t& byte) {
  byte ^= 0x01;
  if (byte == 0x00 || byte == 0xFF) byte ^= 0x03;
}

Format MeterFormat() {
  constexpr int kChannels = 6;
  constexpr int kSamples = 10;
  const int length = MeterPacketLength(kChannels, kSamples);
  Format f;
  f.name = "meter";
  f.sync.assign(kMeterSync.begin(), kMeterSync.end());
  f.good = [](int seed) {
    MeterPacketFields fields;
    fields.serial = kSerial;
    fields.status = 3;
    fields.periodCount = 5275;
    fields.pressureCount = 120;
    fields.extTempHundredths = 1234;
    fields.tempCount = 0x1234;
    for (int i = 0; i < kSamples; ++i) {
      fields.timeCounts.push_back(static_cast<std::uint16_t>(0x1101 + 10 * seed + i));
      for (int j = 0; j < kChannels; ++j) fields.values.push_back(0.3 + 0.01 * ((seed + i + j) % 20));
    }
    for (int j = 0; j < kChannels; ++j) fields.refs.push_back(0.4 + 0.01 * j);
    return EncodeMeterPacket(fields, kChannels, kSamples);
  };
  f.badChecksum = [length](std::vector<std::uint8_t>& p) { Flip(p[static_cast<std::size_t>(length)]); };
  f.badLength = [](std::vector<std::uint8_t>& p) { Flip(p[kMeterLengthOffset]); };
  f.decoder = [](DPort& port) {
    std::unique_ptr<BinBuffer> decoder;
    EXPECT_EQ(BinBuffer::New(decoder, port, kChannels, kSamples), 1);
    return std::unique_ptr<DataBuffer>(std::move(decoder));
  };
  return f;
}

Format BenthFormat() {
  constexpr int kChannels = 12;
  const int length = BenthPacketLength(kChannels);
  auto fields = [](int seed, std::uint8_t skip) {
    BenthPacketFields f;
    f.type = 4;
    f.skip = skip;
    f.serial = kSerial;
    f.status = 40;
    f.count1 = 1000;
    f.count2 = 2000;
    f.count3 = 20000;
    f.count4 = 30000;
    f.count5 = -5;
    f.count6 = 6;
    f.time = 0x01020304u + 250u * static_cast<std::uint32_t>(seed);
    for (int j = 0; j < kChannels; ++j) {
      f.ref1.push_back(static_cast<std::uint16_t>(10000 + j + seed));
      f.ref2.push_back(static_cast<std::uint16_t>(20000 + j + seed));
      f.sig1.push_back(static_cast<std::uint16_t>(30000 + j + seed));
      f.sig2.push_back(static_cast<std::uint16_t>(40000 + j + seed));
    }
    return f;
  };
  Format f;
  f.name = "hyperspectral";
  f.sync.assign(kBenthSync.begin(), kBenthSync.end());
  f.good = [fields](int seed) { return EncodeBenthPacket(fields(seed, 2), kChannels); };
  f.badChecksum = [length](std::vector<std::uint8_t>& p) { Flip(p[static_cast<std::size_t>(length) + 1]); };
  f.badLength = [](std::vector<std::uint8_t>& p) {
    Flip(p[kBenthLengthOffset + 1]);
    SealBenthPacket(p);  // the length word alone is wrong
  };
  f.unusable = [fields](int seed) { return EncodeBenthPacket(fields(seed, 1), kChannels); };
  f.decoder = [](DPort& port) {
    std::unique_ptr<BenthBuffer> decoder;
    EXPECT_EQ(BenthBuffer::New(decoder, port, kChannels, 1), 1);
    return std::unique_ptr<DataBuffer>(std::move(decoder));
  };
  return f;
}

// The hexadecimal of the 16 bytes at `at`, as a rejected packet's line
// shows them, written out here independently of the log.
std::string Hex16(const std::vector<std::uint8_t>& stream, std::size_t at) {
  std::string text;
  for (std::size_t k = 0; k < 16; ++k) {
    char two[4];
    std::snprintf(two, sizeof two, "%s%02x", k == 0 ? "" : " ", stream[at + k]);
    text += two;
  }
  return text + " ...";
}

// A stream of good packets and damage, and the trace it must give.
struct DamagedStream {
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> patterns;  // where the test put a sync pattern
  std::vector<std::string> expected;  // the trace lines, in order
  int rejected = 0;
};

DamagedStream Build(const Format& format, std::mt19937& random, int packets) {
  DamagedStream s;
  auto noise = [&](std::size_t count) {
    const std::size_t at = s.bytes.size();
    for (std::size_t k = 0; k < count; ++k) s.bytes.push_back(static_cast<std::uint8_t>(1 + random() % 254));
    s.expected.push_back("skipped " + std::to_string(count) + " bytes of noise at byte " + std::to_string(at));
  };
  auto rejected = [&](std::size_t at, const std::string& reason) {
    s.expected.push_back("rejected packet at byte " + std::to_string(at) + ": " + reason + ": " + Hex16(s.bytes, at));
    ++s.rejected;
  };
  auto put = [&](const std::vector<std::uint8_t>& packet) {
    s.patterns.push_back(s.bytes.size());
    s.bytes.insert(s.bytes.end(), packet.begin(), packet.end());
  };
  // Noise before the first packet is skipped by the synchronisation.
  if (random() % 2 == 0) noise(1 + random() % 20);
  put(format.good(0));
  for (int seed = 1; seed < packets; ++seed) {
    if (random() % 4 == 0) noise(1 + random() % 20);
    if (random() % 5 == 0) {
      // A stray pattern: the noise behind it is noise again.
      const std::size_t at = s.bytes.size();
      put(format.sync);
      const std::size_t junk = 1 + random() % 12;
      for (std::size_t k = 0; k < junk; ++k) s.bytes.push_back(static_cast<std::uint8_t>(1 + random() % 254));
      s.expected.push_back("");  // filled in below, once the bytes behind it are there
      s.expected.push_back("skipped " + std::to_string(junk) + " bytes of noise at byte " +
                           std::to_string(at + format.sync.size()));
      const std::size_t slot = s.expected.size() - 2;
      std::vector<std::uint8_t> packet = format.good(seed);
      put(packet);
      s.expected[slot] = "rejected packet at byte " + std::to_string(at) + ": false start (no packet of this stream): " +
                         Hex16(s.bytes, at);
      ++s.rejected;
      continue;
    }
    std::vector<std::uint8_t> packet = format.good(seed);
    const std::size_t at = s.bytes.size();
    switch (random() % (format.unusable ? 5 : 4)) {
      case 0:
        format.badChecksum(packet);
        put(packet);
        rejected(at, "bad checksum");
        break;
      case 1:
        format.badLength(packet);
        put(packet);
        rejected(at, "bad length word");
        break;
      case 4:
        put(format.unusable(seed));
        rejected(at, "unusable (skipped whole)");
        break;
      default:
        put(packet);
        break;
    }
  }
  put(format.good(packets));
  return s;
}

// Where the sync pattern occurs in the bytes.
std::vector<std::size_t> PatternsIn(const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& sync) {
  std::vector<std::size_t> found;
  for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), sync.begin(), sync.end())) != bytes.end(); ++at)
    found.push_back(static_cast<std::size_t>(at - bytes.begin()));
  return found;
}

// Reads the stream to its end; the trace lines it gave.
std::vector<std::string> Trace(DataBuffer& decoder, std::size_t maxCalls) {
  test::LogCapture log(LogLevel::Trace);
  std::uint32_t a = 0, b = 0, c = 0;
  EXPECT_EQ(decoder.Sync(a, b, c), 1);
  int idle = 0;
  for (std::size_t call = 0; call < maxCalls && idle < 3; ++call) {
    int last = -1;
    const Status result = decoder.ReadRecord(last);
    if (result == status::kOk) {
      idle = 0;
      continue;
    }
    if (result != status::kNoData) break;  // the end of a capture
    ++idle;
  }
  return log.Texts(LogLevel::Trace);
}

class RejectionLogTest : public ::testing::Test {
 protected:
  RejectionLogTest() : serial_(fake_), clock_(fakeClock_) {}

  platform::FakeSerial fake_;
  platform::ScopedSerial serial_;
  test::FakeClock fakeClock_;
  platform::ScopedClock clock_;
};

TEST_F(RejectionLogTest, EachRejectedPacketIsOneLineWithItsOffsetReasonAndBytes) {
  test::TempProjectDir dir;
  std::mt19937 random(20);
  int rejected = 0;
  for (const Format& format : {MeterFormat(), BenthFormat()}) {
    for (int round = 0; round < 12; ++round) {
      SCOPED_TRACE(format.name + " round " + std::to_string(round));
      const DamagedStream stream = Build(format, random, 30);
      // The test's own stream holds the pattern only where it put one.
      ASSERT_EQ(PatternsIn(stream.bytes, format.sync), stream.patterns);
      rejected += stream.rejected;

      dir.WriteBytes("damaged.raw", stream.bytes);
      RawFilPort replay;
      replay.SetName(dir.File("damaged.raw"));
      ASSERT_EQ(replay.Open(0), 1);
      EXPECT_EQ(Trace(*format.decoder(replay), 4 * stream.bytes.size()), stream.expected) << "replay";

      RS232Port line;
      line.SetName("COM1");
      ASSERT_EQ(line.Open(19200), 1);
      fake_.Feed(1, stream.bytes);
      EXPECT_EQ(Trace(*format.decoder(line), 4 * stream.bytes.size()), stream.expected) << "serial line";
      line.Close();
    }
  }
  EXPECT_GT(rejected, 60);  // the rounds did damage
}

}  // namespace
}  // namespace sondrix
