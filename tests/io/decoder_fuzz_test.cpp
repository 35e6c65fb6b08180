// SPDX-License-Identifier: GPL-3.0-or-later
// Streams of valid, damaged and random bytes through the decoder, replayed
// from capture files and from a serial line with time-outs inside packets:
// the decoder must end every stream with one of its own results, never read
// outside its buffers (run under the sanitizers to check), never hang, and
// deliver only well-formed samples.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "io/bin_buffer.h"
#include "io/meter_packet.h"
#include "io/raw_file_port.h"
#include "io/rs232_port.h"
#include "io_test_env.h"
#include "platform/headless/fake_serial.h"
#include "platform/serial.h"

namespace sondrix {
namespace {

// A stream of packets of `channels` x `samples`, with damage: flipped bytes,
// cut packets, wrong length words, noise runs, stray sync patterns and
// packets of another size.
std::vector<std::uint8_t> DamagedStream(std::mt19937& random, int channels, int samples,
                                        int pieces) {
  std::vector<std::uint8_t> stream;
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int piece = 0; piece < pieces; ++piece) {
    std::vector<std::uint8_t> packet = test::SamplePacket(channels, samples, piece);
    switch (kind(random)) {
      case 0:  // flipped bytes
        for (int k = 0; k < 3; ++k) {
          packet[static_cast<std::size_t>(random() % packet.size())] ^=
              static_cast<std::uint8_t>(1 + random() % 255);
        }
        break;
      case 1:  // cut short
        packet.resize(static_cast<std::size_t>(random() % packet.size()));
        break;
      case 2: {  // a wrong length word, checksum still right
        packet[4] = static_cast<std::uint8_t>(byte(random));
        packet[5] = static_cast<std::uint8_t>(byte(random));
        SealMeterPacket(packet);
        break;
      }
      case 3: {  // noise, sometimes with a sync pattern in it
        packet.assign(static_cast<std::size_t>(random() % 400), 0);
        for (auto& b : packet) b = static_cast<std::uint8_t>(byte(random));
        if (!packet.empty() && random() % 2 == 0) {
          const std::size_t at = random() % packet.size();
          for (std::size_t k = 0; k < 4 && at + k < packet.size(); ++k) packet[at + k] = kMeterSync[k];
        }
        break;
      }
      case 4:  // another model's packet
        packet = test::SamplePacket(channels == 3 ? 6 : 3, samples, piece);
        break;
      default:
        break;
    }
    test::Append(stream, packet);
  }
  return stream;
}

void ExpectWellFormed(BinBuffer& decoder, int last) {
  ASSERT_GE(last, 0);
  ASSERT_EQ(decoder.GetDatap(last + 1), nullptr);
  for (int i = 0; i <= last; ++i) {
    const DataSample* sample = decoder.GetDatap(i);
    ASSERT_NE(sample, nullptr);
    ASSERT_TRUE(sample->status == 1 || sample->status == -1023) << sample->status;
    if (sample->status != 1) continue;
    for (int j = 0; j < decoder.Channels(); ++j) {
      ASSERT_GE(sample->values[static_cast<std::size_t>(j)], 0.0);
      ASSERT_LT(sample->values[static_cast<std::size_t>(j)], 1.0);
    }
  }
}

struct Shape {
  int channels;
  int samples;
};

constexpr Shape kShapes[] = {{3, 10}, {6, 10}, {18, 10}, {1, 1}, {256, 1}, {5, 3}};

TEST(DecoderFuzz, ReplayedDamagedCapturesEndCleanly) {
  test::TempProjectDir dir;
  std::mt19937 random(20240305);
  for (const Shape& shape : kShapes) {
    for (int round = 0; round < 6; ++round) {
      const std::vector<std::uint8_t> stream =
          DamagedStream(random, shape.channels, shape.samples, 40);
      dir.WriteBytes("fuzz.raw", stream);
      RawFilPort port;
      port.SetName(dir.File("fuzz.raw"));
      ASSERT_EQ(port.Open(0), 1);
      std::unique_ptr<BinBuffer> decoder;
      ASSERT_EQ(BinBuffer::New(decoder, port, shape.channels, shape.samples), 1);

      int good = 0;
      bool ended = false;
      // Every call consumes at least one byte, so the stream ends within
      // its length in calls.
      for (std::size_t call = 0; call <= stream.size() && !ended; ++call) {
        int last = -1;
        const Status result = decoder->ReadRecord(last);
        if (result == 1) {
          ExpectWellFormed(*decoder, last);
          if (decoder->GetDatap(last)->status == 1) ++good;
        } else if (result == -1017) {
          ended = true;
        } else {
          ASSERT_TRUE(result == -1000 || result == -1022) << "channels " << shape.channels;
        }
      }
      EXPECT_TRUE(ended) << "channels " << shape.channels << " round " << round;
      EXPECT_GT(good, 0);
    }
  }
}

TEST(DecoderFuzz, RandomBytesOnly) {
  test::TempProjectDir dir;
  std::mt19937 random(77);
  for (const Shape& shape : kShapes) {
    std::vector<std::uint8_t> stream(20000);
    for (auto& b : stream) b = static_cast<std::uint8_t>(random() % 4 == 0 ? 0xFF : random() % 3);
    dir.WriteBytes("noise.raw", stream);
    RawFilPort port;
    port.SetName(dir.File("noise.raw"));
    ASSERT_EQ(port.Open(0), 1);
    std::unique_ptr<BinBuffer> decoder;
    ASSERT_EQ(BinBuffer::New(decoder, port, shape.channels, shape.samples), 1);
    bool ended = false;
    for (std::size_t call = 0; call <= stream.size() && !ended; ++call) {
      int last = -1;
      const Status result = decoder->ReadRecord(last);
      if (result == 1) {
        ExpectWellFormed(*decoder, last);
      } else {
        ASSERT_TRUE(result == -1000 || result == -1017 || result == -1022) << result;
        ended = result == -1017;
      }
    }
    EXPECT_TRUE(ended);
  }
}

// A serial line that always claims enough bytes, with time-outs anywhere:
// reads come back short and the decoder must still stay inside its buffers.
class EagerPort : public RS232Port {
 public:
  Status BytesAvail() override { return 4096; }
};

TEST(DecoderFuzz, SerialStreamWithTimeOutsInsidePackets) {
  platform::FakeSerial fake;
  platform::ScopedSerial scoped(fake);
  std::mt19937 random(4711);
  for (const Shape& shape : kShapes) {
    EagerPort port;
    port.SetName("COM2");
    fake.OpenComConfig(2, "", 9600, 0, 8, 1, 4096, 4096);
    const std::vector<std::uint8_t> stream =
        DamagedStream(random, shape.channels, shape.samples, 30);
    std::size_t fed = 0;
    while (fed < stream.size()) {
      const std::size_t run = std::min<std::size_t>(stream.size() - fed, 1 + random() % 300);
      fake.Feed(2, std::span<const std::uint8_t>(stream.data() + fed, run));
      fake.FeedTimeout(2);
      fed += run;
    }
    std::unique_ptr<BinBuffer> decoder;
    ASSERT_EQ(BinBuffer::New(decoder, port, shape.channels, shape.samples), 1);
    bool ended = false;
    for (std::size_t call = 0; call <= 2 * stream.size() && !ended; ++call) {
      int last = -1;
      const Status result = decoder->ReadRecord(last);
      if (result == 1) {
        ExpectWellFormed(*decoder, last);
      } else {
        ASSERT_TRUE(result == -1000 || result == -1022) << result;
        ended = fake.Remaining(2) == 0;
      }
      if (fake.Remaining(2) == 0 && result == 1) ended = true;
    }
    EXPECT_TRUE(ended);
  }
}

}  // namespace
}  // namespace sondrix
