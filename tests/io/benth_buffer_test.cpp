// SPDX-License-Identifier: GPL-3.0-or-later
// The hyperspectral decoder on a scripted serial line: packet length, the
// fields of each packet type and their temperatures, lost packets in a
// stream, synchronisation, and the command frames with their
// acknowledgements.
#include "io/benth_buffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "common/status.h"
#include "io/benth_packet.h"
#include "io/raw_file_port.h"
#include "io/rs232_port.h"
#include "io_test_env.h"
#include "platform/clock.h"
#include "platform/headless/fake_serial.h"
#include "platform/serial.h"
#include "support/fake_clock.h"

namespace sondrix {
namespace {

using platform::FakeSerial;

BenthPacketFields Fields(int channels, int seed, std::uint8_t type = 4) {
  BenthPacketFields f;
  f.type = type;
  f.skip = 2;
  f.serial = 0x53001234u;
  f.status = static_cast<std::uint16_t>(40 + seed);
  f.count1 = static_cast<std::uint16_t>(1000 + seed);
  f.count2 = static_cast<std::uint16_t>(2000 + seed);
  f.count3 = static_cast<std::uint16_t>(20000 + seed);
  f.count4 = static_cast<std::uint16_t>(30000 + seed);
  f.count5 = static_cast<std::int16_t>(-5 - seed);
  f.count6 = static_cast<std::int16_t>(6 + seed);
  f.time = 123456789u + 250u * static_cast<std::uint32_t>(seed);
  for (int j = 0; j < channels; ++j) {
    f.ref1.push_back(static_cast<std::uint16_t>(10000 + j + seed));
    f.ref2.push_back(static_cast<std::uint16_t>(20000 + j + seed));
    f.sig1.push_back(static_cast<std::uint16_t>(30000 + j + seed));
    f.sig2.push_back(static_cast<std::uint16_t>(40000 + j + seed));
  }
  return f;
}

std::vector<std::uint8_t> Packet(int channels, int seed, std::uint8_t type = 4) {
  return EncodeBenthPacket(Fields(channels, seed, type), channels);
}

class BenthBufferTest : public ::testing::Test {
 protected:
  BenthBufferTest() : serial_(fake_), clock_(fakeClock_) {
    port_.SetName("COM1");
    port_.Open(19200);
  }

  std::unique_ptr<BenthBuffer> Decoder(int channels) {
    std::unique_ptr<BenthBuffer> decoder;
    EXPECT_EQ(BenthBuffer::New(decoder, port_, channels, 1), 1);
    return decoder;
  }

  void Feed(const std::vector<std::uint8_t>& bytes) { fake_.Feed(1, bytes); }

  FakeSerial fake_;
  platform::ScopedSerial serial_;
  test::FakeClock fakeClock_;
  platform::ScopedClock clock_;
  RS232Port port_;
};

TEST(BenthPacketTest, LengthIsEightBytesPerChannelAndThirtyTwo) {
  EXPECT_EQ(BenthPacketLength(100), 832);
  EXPECT_EQ(BenthPacketLength(1), 40);
  EXPECT_EQ(BenthPacketLength(0), 0);
  EXPECT_EQ(BenthPacketLength(129), 0);
  EXPECT_EQ(Packet(100, 0).size(), 834u);
}

TEST(BenthPacketTest, FramesCarryTheirSumAndAreCheckedWhole) {
  const auto frame = EncodeBenthFrame(0x0F0F, 3, 0);
  EXPECT_EQ(frame[0], 0xFF);
  EXPECT_EQ(frame[2], 0xCC);
  EXPECT_EQ(frame[4], 0x0F);
  EXPECT_EQ(frame[7], 3);
  // 0xFF + 0xCC + 0x0F + 0x0F + 3 = 0x1EC
  EXPECT_EQ(frame[10], 0x01);
  EXPECT_EQ(frame[11], 0xEC);
  std::array<std::uint8_t, 8> tail{};
  std::copy(frame.begin() + 4, frame.end(), tail.begin());
  EXPECT_TRUE(BenthFrameTailGood(tail));
  tail[3] ^= 1;
  EXPECT_FALSE(BenthFrameTailGood(tail));
}

TEST(BenthPacketTest, ResistanceBelowFiveHundredOhmsCountsAsFiveHundred) {
  const double x = std::log(500.0);
  const double at500 = 1.0 / (0.00093135 + 0.000221631 * x + 1.25741e-07 * x * x * x) - 273.16;
  // Count 1 is 76 uV: about 0.17 ohms.
  EXPECT_DOUBLE_EQ(BenthInternalTemp(4, 1), at500);
  EXPECT_DOUBLE_EQ(BenthInternalTemp(4, 0), at500);
  EXPECT_DOUBLE_EQ(BenthInternalTemp(2, 0), at500);
  // At and above the divider's voltage there is no positive resistance.
  for (std::uint16_t count : {59192, 60000, 65535}) {
    EXPECT_DOUBLE_EQ(BenthInternalTemp(4, count), at500) << count;
  }
  EXPECT_LT(BenthInternalTemp(4, 59191), -100.0);  // just below it: a huge resistance
  EXPECT_TRUE(std::isfinite(BenthInternalTemp(3, 65535)));
  EXPECT_LT(BenthInternalTemp(3, 65535), 0.0);  // the open-circuit resistance: very cold
}

TEST(BenthPacketTest, TemperatureCountsInvertTheConverters) {
  for (double t : {2.0, 10.0, 17.5, 30.0}) {
    EXPECT_NEAR(BenthInternalTemp(4, BenthInternalTempToCount(4, t)), t, 0.01) << t;
    EXPECT_NEAR(BenthSecondTemp(4, BenthSecondTempToCount(4, t)), t, 0.01) << t;
    EXPECT_NEAR(BenthInternalTemp(2, BenthInternalTempToCount(2, t)), t, 0.05) << t;
    EXPECT_NEAR(BenthSecondTemp(2, BenthSecondTempToCount(2, t)), t, 0.05) << t;
  }
  // The older second-temperature converter at 2.5 V.
  const double v = 2.5;
  EXPECT_NEAR(BenthSecondTemp(1, 32768),
              ((-1.17831833361925 * v + 9.94100020653274) * v - 45.8217726498572) * v +
                  95.8241397196854,
              1e-3);
}

TEST_F(BenthBufferTest, RefusesChannelCountsThePacketCannotCarry) {
  std::unique_ptr<BenthBuffer> decoder;
  EXPECT_EQ(BenthBuffer::New(decoder, port_, 0, 1), status::kBadArgument);
  EXPECT_EQ(BenthBuffer::New(decoder, port_, 129, 1), status::kBadArgument);
  EXPECT_EQ(BenthBuffer::New(decoder, port_, 100, 0), status::kBadArgument);
  EXPECT_EQ(decoder, nullptr);
}

TEST_F(BenthBufferTest, NeedsMoreThanOnePacketLengthWaiting) {
  auto decoder = Decoder(3);
  const auto packet = Packet(3, 0);
  Feed(std::vector<std::uint8_t>(packet.begin(), packet.begin() + decoder->PacketLength()));
  int last = -5;
  EXPECT_EQ(decoder->ReadRecord(last), status::kNoData);
  EXPECT_EQ(last, -5);
  Feed(std::vector<std::uint8_t>(packet.begin() + decoder->PacketLength(), packet.end()));
  EXPECT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 0);
  EXPECT_EQ(decoder->LinesAvailable(), 0);
}

TEST_F(BenthBufferTest, TypeFourPutsTheStatusWordInTheRateField) {
  auto decoder = Decoder(100);
  Feed(Packet(100, 1));
  Feed({0});
  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  const RefBlock& r = *decoder->GetRefp();
  const DataSample& s = *decoder->GetDatap(0);
  EXPECT_EQ(r.status, 41);
  EXPECT_EQ(r.sampleRate, 41.0);
  EXPECT_EQ(r.pressure, 0.0);
  EXPECT_EQ(r.aux, 1001.0);
  EXPECT_EQ(r.auxCount2, 2001.0);
  EXPECT_EQ(r.auxCount5, -6.0);
  EXPECT_EQ(r.auxCount6, 7.0);
  // The decoder takes the data packet's serial number least significant
  // byte first.
  EXPECT_EQ(r.serial, 0x34120053u);
  EXPECT_DOUBLE_EQ(r.temp, BenthInternalTemp(4, 30001));
  EXPECT_DOUBLE_EQ(r.extTemp, BenthSecondTemp(4, 20001));
  EXPECT_EQ(s.status, 1);
  EXPECT_EQ(s.time, (123456789 + 250) / 10);
  EXPECT_EQ(r.refs[0], 10001.0);
  EXPECT_EQ(r.refs[99], 10100.0);
  EXPECT_EQ(r.refs[100], 20001.0);
  EXPECT_EQ(r.refs[199], 20100.0);
  EXPECT_EQ(s.values[0], 30001.0);
  EXPECT_EQ(s.values[100], 40001.0);
  EXPECT_EQ(s.values[199], 40100.0);
  EXPECT_EQ(decoder->PacketType(), 4);
}

TEST_F(BenthBufferTest, TypeFivePutsTheStatusWordInTheAuxiliaryField) {
  auto decoder = Decoder(4);
  Feed(Packet(4, 2, 5));
  Feed({0});
  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  const RefBlock& r = *decoder->GetRefp();
  EXPECT_EQ(r.pressure, 1002.0);
  EXPECT_EQ(r.sampleRate, 0.0);
  EXPECT_EQ(r.aux, 42.0);
}

TEST_F(BenthBufferTest, OlderPacketsKeepRateAndPressure) {
  auto decoder = Decoder(4);
  Feed(Packet(4, 2, 5));
  Feed(Packet(4, 3, 2));
  Feed({0});
  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  const RefBlock& r = *decoder->GetRefp();
  EXPECT_EQ(r.pressure, 1002.0);
  EXPECT_EQ(r.aux, 42.0);
  EXPECT_EQ(r.auxCount2, 2003.0);
  EXPECT_DOUBLE_EQ(r.temp, BenthInternalTemp(2, 30003));
  EXPECT_DOUBLE_EQ(r.extTemp, BenthSecondTemp(2, 20003));
}

TEST_F(BenthBufferTest, BadPacketsAreLostAndTheStreamGoesOn) {
  auto decoder = Decoder(5);
  auto bad = Packet(5, 1);
  bad[40] ^= 0x10;  // checksum no longer adds up
  auto huge = Packet(5, 2);
  huge[4] = 0xEA;   // declares 60000 bytes, far more than the buffer holds
  huge[5] = 0x60;
  SealBenthPacket(huge);
  Feed(Packet(5, 0));
  Feed(bad);
  Feed(huge);
  Feed(Packet(5, 3));
  Feed({0});
  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 0);
  EXPECT_EQ(decoder->GetDatap(0)->status, 1);
  // Both damaged packets (the huge one carries the instrument's serial
  // number) are lost samples in front of the next good one.
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 2);
  EXPECT_EQ(decoder->GetDatap(0)->status, status::kLostLine);
  EXPECT_EQ(decoder->GetDatap(1)->status, status::kLostLine);
  EXPECT_EQ(decoder->GetDatap(2)->status, 1);
  EXPECT_EQ(decoder->GetRefp()->auxCount2, 2003.0);
  EXPECT_EQ(decoder->ReadRecord(last), status::kNoData);
}

TEST_F(BenthBufferTest, AStrayPatternCostsNeitherAPacketNorALostSample) {
  auto decoder = Decoder(5);
  Feed(Packet(5, 0));
  Feed({0xFF, 0x00, 0xFF, 0x00, 0x12, 0x34, 0x56});
  Feed(Packet(5, 1));
  Feed({0});
  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 0);
  EXPECT_EQ(decoder->GetDatap(0)->status, 1);
  EXPECT_EQ(decoder->GetRefp()->auxCount2, 2001.0);
}

TEST_F(BenthBufferTest, APacketComesOutAsSoonAsItsLastByteHasArrived) {
  auto decoder = Decoder(5);
  const auto packet = Packet(5, 0);
  Feed(std::vector<std::uint8_t>(packet.begin(), packet.end() - 1));
  int last = 0;
  EXPECT_EQ(decoder->ReadRecord(last), status::kNoData);
  Feed(std::vector<std::uint8_t>(packet.end() - 1, packet.end()));
  // No byte of a following packet is needed.
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(decoder->GetDatap(0)->status, 1);
}

TEST_F(BenthBufferTest, SyncAcceptsAnyLengthUpToOneThousand) {
  auto decoder = Decoder(100);
  auto other = Packet(10, 0);  // 112 bytes, not the 832 of 100 channels
  other[7] = 3;
  Feed(other);
  std::uint32_t serial = 0, status = 0, skip = 0;
  ASSERT_EQ(decoder->Sync(serial, status, skip), 1);
  EXPECT_EQ(skip, 3u);  // the header byte at offset 7 alone
  EXPECT_EQ(status, 40u);
  // Sync reads the serial number most significant byte first.
  EXPECT_EQ(serial, 0x53001234u);

  std::vector<std::uint8_t> long1000 = {0xFF, 0x00, 0xFF, 0x00, 0x03, 0xE8, 4, 1};
  long1000.resize(20, 0);
  Feed(long1000);
  EXPECT_EQ(decoder->Sync(serial, status, skip), 1);
  EXPECT_EQ(skip, 1u);
  std::vector<std::uint8_t> long1001 = {0xFF, 0x00, 0xFF, 0x00, 0x03, 0xE9, 4, 1};
  long1001.resize(20, 0);
  Feed(long1001);
  EXPECT_EQ(decoder->Sync(serial, status, skip), status::kUnrecognisedData);
}

// Packets with flipped bytes, cut short, with wrong (also huge) length
// words, noise with stray sync patterns, and packets of another size: every
// stream ends with one of the decoder's own results and gives only
// well-formed samples.
std::vector<std::uint8_t> DamagedStream(std::mt19937& random, int channels, int pieces) {
  std::vector<std::uint8_t> stream;
  for (int piece = 0; piece < pieces; ++piece) {
    std::vector<std::uint8_t> packet = Packet(channels, piece);
    switch (random() % 6) {
      case 0:
        packet[random() % packet.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
        break;
      case 1:
        packet.resize(random() % packet.size());
        break;
      case 2:
        packet[4] = static_cast<std::uint8_t>(random());
        packet[5] = static_cast<std::uint8_t>(random());
        SealBenthPacket(packet);
        break;
      case 3:
        packet.assign(random() % 300, 0);
        for (auto& b : packet) b = static_cast<std::uint8_t>(random());
        if (!packet.empty()) {
          const std::size_t at = random() % packet.size();
          for (std::size_t k = 0; k < 4 && at + k < packet.size(); ++k) packet[at + k] = kBenthSync[k];
        }
        break;
      case 4:
        packet = Packet(1 + static_cast<int>(random() % 128), piece);
        break;
      default:
        break;
    }
    test::Append(stream, packet);
  }
  return stream;
}

void DrainChecked(BenthBuffer& decoder, std::size_t maxCalls) {
  for (std::size_t call = 0; call < maxCalls; ++call) {
    int last = -1;
    const Status result = decoder.ReadRecord(last);
    if (result == status::kUnrecognisedData) continue;
    if (result != status::kOk) {
      EXPECT_TRUE(result == status::kNoData || result == status::kUnexpectedEof ||
                  result == status::kIoTimeout)
          << result;
      return;
    }
    // Lost samples first, then at most one good one.
    ASSERT_GE(last, 0);
    ASSERT_EQ(decoder.GetDatap(last + 1), nullptr);
    for (int i = 0; i < last; ++i) ASSERT_EQ(decoder.GetDatap(i)->status, status::kLostLine);
    const DataSample& s = *decoder.GetDatap(last);
    ASSERT_TRUE(s.status == 1 || s.status == status::kLostLine);
    for (int j = 0; j < 2 * decoder.Channels(); ++j) {
      ASSERT_TRUE(s.values[static_cast<std::size_t>(j)] >= 0.0 &&
                  s.values[static_cast<std::size_t>(j)] <= 65535.0);
    }
    ASSERT_TRUE(std::isfinite(decoder.GetRefp()->temp));
    ASSERT_TRUE(std::isfinite(decoder.GetRefp()->extTemp));
  }
  ADD_FAILURE() << "the stream did not end";
}

TEST_F(BenthBufferTest, DamagedStreamsEndCleanlyOnEitherPort) {
  test::TempProjectDir dir;
  std::mt19937 random(7);
  for (int round = 0; round < 30; ++round) {
    const int channels = 1 + static_cast<int>(random() % 128);
    const auto stream = DamagedStream(random, channels, 40);

    dir.WriteBytes("damaged.raw", stream);
    RawFilPort replay;
    replay.SetName(dir.File("damaged.raw"));
    ASSERT_EQ(replay.Open(0), 1);
    std::unique_ptr<BenthBuffer> decoder;
    ASSERT_EQ(BenthBuffer::New(decoder, replay, channels, 1), 1);
    DrainChecked(*decoder, stream.size() + 2);

    // The serial line ends the stream with a time-out: reads come back short.
    Feed(stream);
    fake_.FeedTimeout(1);
    auto serial = Decoder(channels);
    DrainChecked(*serial, stream.size() + 2);
    while (fake_.Remaining(1) > 0) fake_.ComRdByte(1);
  }
}

// --- Commands ---------------------------------------------------------------------

std::vector<std::uint8_t> Ack(std::uint16_t code, std::uint16_t p1 = 0, std::uint16_t p2 = 0) {
  const auto frame = EncodeBenthFrame(code, p1, p2);
  return {frame.begin(), frame.end()};
}

TEST_F(BenthBufferTest, SetParamsSendsItsCommandsAndReopensAtTheNewRate) {
  auto decoder = Decoder(100);
  for (std::uint16_t code : {0x0808, 0x0F0F, 0x0404, 0x0707}) Feed(Ack(code));
  const int opened = fake_.OpenCount(1);
  ASSERT_EQ(decoder->SetParams(3, 115200), 1);

  std::vector<std::uint8_t> expected;
  test::Append(expected, Ack(0x0808));
  test::Append(expected, Ack(0x0F0F, 3, 0));
  test::Append(expected, Ack(0x0404, 0x0001, 0xC200));  // 115200 = 0x0001C200
  test::Append(expected, Ack(0x0707));
  EXPECT_EQ(fake_.Written(1), expected);
  EXPECT_EQ(fake_.OpenCount(1), opened + 1);
  EXPECT_EQ(fake_.Baud(1), 115200);
  EXPECT_GE(fakeClock_.totalDelay(), BenthBuffer::kReopenDelay);
}

TEST_F(BenthBufferTest, ALostAcknowledgementIsAskedForAgain) {
  auto decoder = Decoder(3);  // L = 56: the search gives up after 112 bytes
  Feed(std::vector<std::uint8_t>(130, 0x11));
  Feed(Ack(0x0808));
  EXPECT_EQ(decoder->SendCommand(0x0808, 0, 0), 1);
  EXPECT_EQ(fake_.Written(1).size(), 24u);  // written twice
}

TEST_F(BenthBufferTest, NoAcknowledgementAfterThreeAttemptsIsUnrecognisedData) {
  auto decoder = Decoder(3);
  EXPECT_EQ(decoder->SendCommand(0x0F0F, 1, 0), status::kUnrecognisedData);
  EXPECT_EQ(fake_.Written(1).size(), 36u);
  EXPECT_GE(fakeClock_.totalDelay(), 3 * BenthBuffer::kAckTimeout);
}

TEST_F(BenthBufferTest, AnAcknowledgementThatDoesNotAddUpEndsTheCommand) {
  auto decoder = Decoder(3);
  auto ack = Ack(0x0404);
  ack[11] ^= 1;
  Feed(ack);
  Feed(Ack(0x0404));
  EXPECT_EQ(decoder->SendCommand(0x0404, 0, 9600), status::kUnrecognisedData);
  EXPECT_EQ(fake_.Written(1).size(), 12u);
}

TEST_F(BenthBufferTest, SetParamsRepeatsTheFirstCommandThenGivesUp) {
  auto decoder = Decoder(3);
  EXPECT_EQ(decoder->SetParams(1, 9600), status::kUnrecognisedData);
  // Three tries of the first command, three attempts each; nothing else.
  EXPECT_EQ(fake_.Written(1).size(), 9u * 12u);
  EXPECT_EQ(fake_.Baud(1), 19200);
}

}  // namespace
}  // namespace sondrix
