// SPDX-License-Identifier: GPL-3.0-or-later
// The meter packet decoder on a scripted serial line and on replayed
// captures: packet lengths, what waits, checksums, field decoding, bad
// packets in a stream, synchronisation.
#include "io/bin_buffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "common/status.h"
#include "io/meter_packet.h"
#include "io/raw_file_port.h"
#include "io/rs232_port.h"
#include "io_test_env.h"
#include "platform/headless/fake_serial.h"
#include "platform/serial.h"

namespace sondrix {
namespace {

using platform::FakeSerial;

// A serial port whose count of waiting bytes the test may set, so that the
// decoder's "enough bytes waiting" rule can be probed exactly; unset, the
// scripted line's own count.
class CountedPort : public RS232Port {
 public:
  Status BytesAvail() override { return waiting ? *waiting : RS232Port::BytesAvail(); }
  std::optional<Status> waiting;
};

constexpr int kFull = 0xFFFFFF;

class BinBufferTest : public ::testing::Test {
 protected:
  BinBufferTest() : scoped_(fake_) {
    port_.SetName("COM1");
    fake_.OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096);
  }

  std::unique_ptr<BinBuffer> Decoder(int channels, int samples = 10) {
    std::unique_ptr<BinBuffer> decoder;
    EXPECT_EQ(BinBuffer::New(decoder, port_, channels, samples), 1);
    return decoder;
  }

  FakeSerial fake_;
  platform::ScopedSerial scoped_;
  CountedPort port_;
};

TEST(MeterPacketLength, ModelsOfTenSamples) {
  EXPECT_EQ(MeterPacketLength(3, 10), 139);
  EXPECT_EQ(MeterPacketLength(6, 10), 238);
  EXPECT_EQ(MeterPacketLength(18, 10), 634);
  EXPECT_EQ(MeterPacketLength(256, 1), 20 + 770 + 768);
  EXPECT_EQ(EncodeMeterPacket({}, 18, 10).size(), 638u);
  // Counts the format cannot carry.
  EXPECT_EQ(MeterPacketLength(0, 10), 0);
  EXPECT_EQ(MeterPacketLength(257, 10), 0);
  EXPECT_EQ(MeterPacketLength(3, 0), 0);
  EXPECT_EQ(MeterPacketLength(256, 85), 0);  // beyond the 16-bit length word
  EXPECT_TRUE(EncodeMeterPacket({}, 0, 10).empty());
}

TEST_F(BinBufferTest, CreationRefusesCountsOutsideTheFormat) {
  std::unique_ptr<BinBuffer> decoder;
  for (auto [channels, samples] : {std::pair{0, 10}, {257, 10}, {-3, 10}, {3, 0}, {3, -1},
                                   {256, 85}, {256, 0x7FFFFFFF}}) {
    EXPECT_EQ(BinBuffer::New(decoder, port_, channels, samples), -1001)
        << channels << " x " << samples;
    EXPECT_EQ(decoder, nullptr);
  }
  ASSERT_EQ(BinBuffer::New(decoder, port_, 256, 1), 1);
  EXPECT_EQ(decoder->PacketLength(), 1558);
  EXPECT_EQ(decoder->GetRefp()->status, 1);  // before the first packet
  EXPECT_EQ(decoder->GetRefp()->serial, 0u);
  EXPECT_EQ(decoder->GetDatap(0)->status, 0);
  EXPECT_EQ(decoder->GetDatap(1), nullptr);
  EXPECT_EQ(decoder->GetDatap(-1), nullptr);
}

TEST_F(BinBufferTest, DecodesEveryFieldOfAPacket) {
  auto decoder = Decoder(6);
  MeterPacketFields fields = test::SamplePacketFields(6, 10, 3);
  fields.pressureCount = -1234;
  fields.extTempHundredths = -275;
  fields.serial = 0x05001234;
  fields.status = 0x8001;
  fields.periodCount = 3165;
  fields.tempCount = 500;
  fake_.Feed(1, EncodeMeterPacket(fields, 6, 10));

  int last = -5;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 9);
  const RefBlock& refs = *decoder->GetRefp();
  EXPECT_EQ(refs.serial, 0x05001234u);
  EXPECT_EQ(refs.status, 0x8001);
  EXPECT_DOUBLE_EQ(refs.sampleRate, 1.0 / (3.16e-05 * 3165));
  EXPECT_EQ(refs.pressure, -1234.0);
  EXPECT_DOUBLE_EQ(refs.extTemp, -2.75);
  EXPECT_DOUBLE_EQ(refs.temp, CountToTemp(500));
  EXPECT_NEAR(refs.temp, 24.234, 0.001);
  for (int j = 0; j < 6; ++j) EXPECT_NEAR(refs.refs[j], fields.refs[j], 1.0 / (1 << 24)) << j;
  for (int i = 0; i < 10; ++i) {
    const DataSample& sample = *decoder->GetDatap(i);
    EXPECT_EQ(sample.status, 1);
    EXPECT_EQ(sample.time, fields.timeCounts[i]);
    for (int j = 0; j < 6; ++j) {
      EXPECT_NEAR(sample.values[j], fields.values[i * 6 + j], 1.0 / (1 << 24)) << i << "," << j;
    }
  }
  EXPECT_EQ(fake_.Remaining(1), 0u);
}

TEST_F(BinBufferTest, StatusZeroReadsOneAndPeriodZeroIsRateZero) {
  auto decoder = Decoder(3);
  MeterPacketFields fields = test::SamplePacketFields(3, 10, 1);
  fields.status = 0;
  fields.periodCount = 0;
  fake_.Feed(1, EncodeMeterPacket(fields, 3, 10));
  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(decoder->GetRefp()->status, 1);
  EXPECT_EQ(decoder->GetRefp()->statusWord, 0u);  // the word itself, for the status read-out
  EXPECT_EQ(decoder->GetRefp()->sampleRate, 0.0);
}

TEST_F(BinBufferTest, FullScaleChannelValueIsJustBelowOne) {
  auto decoder = Decoder(3);
  std::vector<std::uint8_t> packet = test::SamplePacket(3, 10, 2);
  const int at = MeterSampleOffset(3, 4) + 2 + 3;  // sample 4, channel 1
  packet[at] = packet[at + 1] = packet[at + 2] = 0xFF;
  SealMeterPacket(packet);
  fake_.Feed(1, packet);
  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  const double value = decoder->GetDatap(4)->values[1];
  EXPECT_EQ(value, (65535 + 255 / 256.0) / 65536);
  EXPECT_LT(value, 1.0);
  const auto bytes = FractionToChannelBytes(2.0);  // clamped to full scale
  EXPECT_EQ((bytes[0] | bytes[1] << 8 | bytes[2] << 16), kFull);
}

TEST_F(BinBufferTest, NeedsMoreThanAPacketsBytesWaiting) {
  auto decoder = Decoder(18);
  const std::vector<std::uint8_t> packet = test::SamplePacket(18, 10, 4);
  fake_.Feed(1, packet);
  int last = -1;
  port_.waiting = 634;
  EXPECT_EQ(decoder->ReadRecord(last), -1022);
  EXPECT_EQ(last, -1);
  EXPECT_EQ(fake_.Remaining(1), packet.size());  // nothing consumed
  port_.waiting = 635;
  EXPECT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(decoder->GetDatap(0)->status, 1);
}

TEST_F(BinBufferTest, PortErrorsPassThroughUnchanged) {
  auto decoder = Decoder(3);
  int last = 0;
  port_.waiting = -151;  // the device went away
  EXPECT_EQ(decoder->ReadRecord(last), -151);
  EXPECT_EQ(decoder->LinesAvailable(), -151);
  EXPECT_EQ(decoder->BytesAvailable(), -151);
  port_.waiting = 2047;
  fake_.SetIoError(1, -151);
  EXPECT_EQ(decoder->ReadRecord(last), -151);
}

TEST_F(BinBufferTest, ChecksumComparesSixteenBits) {
  auto decoder = Decoder(18);
  std::vector<std::uint8_t> packet = test::SamplePacket(18, 10, 5);
  // Tune sample bytes so that the sum is exactly 0x12345.
  const std::size_t end = packet.size() - 4;
  std::uint32_t sum = MeterChecksum({packet.data() + 4, end - 4});
  for (std::size_t i = MeterSampleOffset(18, 0) + 2; sum != 0x12345; ++i) {
    ASSERT_LT(i, static_cast<std::size_t>(MeterRefsOffset(18, 10)));
    std::uint8_t& byte = packet[i];
    if (sum < 0x12345) {
      const std::uint32_t step = std::min<std::uint32_t>(255u - byte, 0x12345 - sum);
      byte = static_cast<std::uint8_t>(byte + step);
      sum += step;
    } else {
      const std::uint32_t step = std::min<std::uint32_t>(byte, sum - 0x12345);
      byte = static_cast<std::uint8_t>(byte - step);
      sum -= step;
    }
  }
  ASSERT_EQ(MeterChecksum({packet.data() + 4, end - 4}), 0x12345u);
  packet[end] = 0x45;
  packet[end + 1] = 0x23;
  packet[end + 2] = 0xAB;  // the upper half is not compared
  packet[end + 3] = 0xCD;
  fake_.Feed(1, packet);
  packet[end + 1] = 0x24;
  fake_.Feed(1, packet);
  fake_.Feed(1, test::SamplePacket(18, 10, 7));

  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 9);
  EXPECT_EQ(decoder->GetDatap(0)->status, 1);
  // The second copy fails by one in the low half: its ten samples are the
  // lost ones in front of the next good packet.
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 19);
  EXPECT_EQ(decoder->GetDatap(9)->status, -1023);
  EXPECT_EQ(decoder->GetDatap(10)->status, 1);
  EXPECT_EQ(decoder->GetRefp()->serial, 0x05000007u);
}

TEST_F(BinBufferTest, BadPacketsComeOutAsLostSamplesInFrontOfTheNextGoodOne) {
  auto decoder = Decoder(3);
  std::vector<std::uint8_t> wrongLength = test::SamplePacket(3, 10, 8);
  wrongLength[4] = 140;  // L + 1
  SealMeterPacket(wrongLength);
  std::vector<std::uint8_t> badSum = test::SamplePacket(3, 10, 9);
  badSum[30] ^= 0x10;
  std::vector<std::uint8_t> stream = test::SamplePacket(3, 10, 7);
  test::Append(stream, wrongLength);
  test::Append(stream, badSum);
  test::Append(stream, test::SamplePacket(3, 10, 10));
  fake_.Feed(1, stream);

  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  ASSERT_EQ(decoder->GetRefp()->serial, 0x05000007u);
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  // Counts 79 ... 100: the twenty samples of the two damaged packets.
  EXPECT_EQ(last, 29);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(decoder->GetDatap(i)->status, -1023) << i;
  for (int i = 20; i < 30; ++i) EXPECT_EQ(decoder->GetDatap(i)->status, 1) << i;
  EXPECT_EQ(decoder->GetDatap(20)->time, 100);
  EXPECT_EQ(decoder->GetDatap(30), nullptr);
  EXPECT_EQ(decoder->GetRefp()->serial, 0x0500000Au);
  EXPECT_EQ(decoder->LostSamples(), 20);
  EXPECT_EQ(decoder->ReadRecord(last), -1022);
}

// The packet with a broken checksum.
std::vector<std::uint8_t> Damaged(std::vector<std::uint8_t> packet) {
  packet[packet.size() - kMeterChecksumBytes] ^= 0x5A;
  return packet;
}

// A packet whose counter follows its sample rate: period 3165 is 10 Hz, ten
// counts of 10 ms a sample.
std::vector<std::uint8_t> TenHertzPacket(int first, int seed) {
  MeterPacketFields fields = test::SamplePacketFields(3, 10, seed);
  fields.periodCount = 3165;
  for (int i = 0; i < 10; ++i) fields.timeCounts[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(first + 10 * i);
  return EncodeMeterPacket(fields, 3, 10);
}

TEST_F(BinBufferTest, LostSamplesAreReadOffTheTimeCounter) {
  auto decoder = Decoder(3);
  // 65000 ... 65090, then 35 samples that never came; the counter wraps
  // inside the next packet (65450 ... 4).
  fake_.Feed(1, TenHertzPacket(65000, 1));
  fake_.Feed(1, TenHertzPacket(65450, 2));
  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 35 + 9);
  fake_.Feed(1, TenHertzPacket((65450 + 100 + 10 * 12) % 65536, 3));  // 12 more lost
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 12 + 9);
  EXPECT_EQ(decoder->LostSamples(), 47);
}

TEST_F(BinBufferTest, ARestartedCounterCostsNothingButTheDamagedPackets) {
  auto decoder = Decoder(3);
  fake_.Feed(1, TenHertzPacket(30000, 1));
  fake_.Feed(1, Damaged(TenHertzPacket(30100, 2)));
  fake_.Feed(1, TenHertzPacket(0, 3));  // the instrument started again
  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 10 + 9);
  EXPECT_EQ(decoder->LostSamples(), 10);
}

TEST(BinBufferReplay, DamagedPacketsAtTheEndAreReportedBeforeTheEnd) {
  test::TempProjectDir dir;
  std::vector<std::uint8_t> capture = test::SamplePacket(3, 10, 1);
  test::Append(capture, Damaged(test::SamplePacket(3, 10, 2)));
  test::Append(capture, Damaged(test::SamplePacket(3, 10, 3)));
  dir.WriteBytes("end.raw", capture);
  RawFilPort port;
  port.SetName(dir.File("end.raw"));
  ASSERT_EQ(port.Open(0), 1);
  std::unique_ptr<BinBuffer> decoder;
  ASSERT_EQ(BinBuffer::New(decoder, port, 3, 10), 1);
  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 19);
  for (int i = 0; i <= last; ++i) EXPECT_EQ(decoder->GetDatap(i)->status, -1023);
  EXPECT_EQ(decoder->GetDatap(20), nullptr);
  EXPECT_EQ(decoder->ReadRecord(last), -1017);
}

TEST_F(BinBufferTest, SyncPatternMustShowWithinTwoPacketLengthsUntilAPacketWasSeen) {
  std::vector<std::uint8_t> stream(2 * 139 - 4, 0x55);
  test::Append(stream, test::SamplePacket(3, 10, 1));
  fake_.Feed(1, stream);
  int last = 0;
  EXPECT_EQ(Decoder(3)->ReadRecord(last), 1);  // pattern ends at byte 2 L

  std::vector<std::uint8_t> farther(2 * 139 - 3, 0x55);
  test::Append(farther, test::SamplePacket(3, 10, 2));
  fake_.Feed(1, farther);
  EXPECT_EQ(Decoder(3)->ReadRecord(last), -1000);
}

TEST_F(BinBufferTest, PacketWaitsForItsLastByteWithoutBlocking) {
  auto decoder = Decoder(3);
  const std::vector<std::uint8_t> packet = test::SamplePacket(3, 10, 11);
  fake_.Feed(1, std::vector<std::uint8_t>(packet.begin(), packet.end() - 1));
  int last = -1;
  // Everything but the checksum's last byte: not yet, and nothing invented.
  EXPECT_EQ(decoder->ReadRecord(last), -1022);
  EXPECT_EQ(last, -1);
  EXPECT_EQ(fake_.Remaining(1), 0u);
  fake_.Feed(1, std::vector<std::uint8_t>(packet.end() - 1, packet.end()));
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 9);
  EXPECT_EQ(decoder->GetRefp()->serial, 0x0500000Bu);
}

TEST_F(BinBufferTest, SyncReadsTheFirstWordsOfAPacketAsReceived) {
  auto decoder = Decoder(3);
  MeterPacketFields fields = test::SamplePacketFields(3, 10, 12);
  fields.serial = 0x0500ABCD;
  fields.status = 0x0002;
  fields.periodCount = 0x1234;
  fields.pressureCount = -2;
  fields.extTempHundredths = 0x0567;
  std::vector<std::uint8_t> stream = {1, 2, 3};
  test::Append(stream, EncodeMeterPacket(fields, 3, 10));
  test::Append(stream, test::SamplePacket(3, 10, 13));
  fake_.Feed(1, stream);

  const int flushes = fake_.FlushInCount(1);
  std::uint32_t serial = 0, word2 = 0, word3 = 0;
  ASSERT_EQ(decoder->Sync(serial, word2, word3), 1);
  EXPECT_EQ(fake_.FlushInCount(1), flushes + 1);  // the port was reset
  EXPECT_EQ(serial, 0x0500ABCDu);
  EXPECT_EQ(word2, 0x12340002u);
  EXPECT_EQ(word3, 0x0567FFFEu);
  EXPECT_EQ(decoder->GetRefp()->serial, 0u);  // Sync decodes nothing

  // The next record is the packet Sync read the words of, then the one after it.
  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 9);
  EXPECT_EQ(decoder->GetRefp()->serial, 0x0500ABCDu);
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 9);
  EXPECT_EQ(decoder->GetRefp()->serial, 0x0500000Du);
}

TEST_F(BinBufferTest, SyncRefusesAWrongLengthAndAMissingPattern) {
  auto decoder = Decoder(3);
  std::vector<std::uint8_t> packet = test::SamplePacket(6, 10, 1);  // a longer model's
  fake_.Feed(1, packet);
  std::uint32_t serial = 7, word2 = 0, word3 = 0;
  EXPECT_EQ(decoder->Sync(serial, word2, word3), -1000);
  EXPECT_EQ(serial, 7u);

  fake_.Feed(1, std::vector<std::uint8_t>(4 * 139 + 1, 0x00));
  EXPECT_EQ(decoder->Sync(serial, word2, word3), -1000);
}

// A reset may meet the sync pattern inside a sample's bytes (a value that
// happens to look like one): it passes over it to the real packet, as the
// run does, instead of failing the start with "unrecognised data".
TEST_F(BinBufferTest, SyncPassesOverFalsePatternsToTheRealPacket) {
  auto decoder = Decoder(3);
  const std::vector<std::uint8_t> falsePattern = {0x00, 0xFF, 0x00, 0xFF, 0x7A, 0x02, 0x01, 0x00, 0x00};
  for (int i = 0; i < 3; ++i) fake_.Feed(1, falsePattern);
  fake_.Feed(1, test::SamplePacket(3, 10, 1));
  std::uint32_t serial = 7, word2 = 0, word3 = 0;
  ASSERT_EQ(decoder->Sync(serial, word2, word3), 1);
  EXPECT_NE(serial, 7u);

  // A stream of nothing but another model's packets is still refused.
  auto other = Decoder(3);
  for (int i = 0; i < 12; ++i) fake_.Feed(1, test::SamplePacket(6, 10, 1));
  EXPECT_EQ(other->Sync(serial, word2, word3), -1000);
}

TEST_F(BinBufferTest, LinesAvailableCountsSamplesWorthOfBytes) {
  auto nerit = Decoder(18);
  port_.waiting = 2047;
  EXPECT_EQ(nerit->LinesAvailable(), 2047 / 63);
  EXPECT_EQ(nerit->BytesAvailable(), 2047);
  EXPECT_EQ(nerit->BufferSize(), 4096);
  auto pelag = Decoder(3);
  EXPECT_EQ(pelag->LinesAvailable(), 2047 / 13);
  port_.waiting = 12;
  EXPECT_EQ(pelag->LinesAvailable(), 0);
}

// --- Replayed captures -------------------------------------------------------------

TEST(BinBufferReplay, TwoPacketsThenEndOfFileThenStartOver) {
  test::TempProjectDir dir;
  std::vector<std::uint8_t> capture = test::SamplePacket(6, 10, 1);
  test::Append(capture, test::SamplePacket(6, 10, 2));
  dir.WriteBytes("two.raw", capture);
  RawFilPort port;
  port.SetName(dir.File("two.raw"));
  ASSERT_EQ(port.Open(19200), 1);
  std::unique_ptr<BinBuffer> decoder;
  ASSERT_EQ(BinBuffer::New(decoder, port, 6, 10), 1);

  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(decoder->GetRefp()->serial, 0x05000001u);
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(decoder->GetRefp()->serial, 0x05000002u);
  EXPECT_EQ(decoder->ReadRecord(last), -1017);
  EXPECT_EQ(decoder->ReadRecord(last), -1017);

  ASSERT_EQ(port.Reset(), 1);
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(decoder->GetRefp()->serial, 0x05000001u);
}

TEST(BinBufferReplay, CaptureCutInsideAPacketEndsWithEndOfFile) {
  test::TempProjectDir dir;
  std::vector<std::uint8_t> capture = test::SamplePacket(3, 10, 1);
  const std::vector<std::uint8_t> second = test::SamplePacket(3, 10, 2);
  capture.insert(capture.end(), second.begin(), second.begin() + 70);
  dir.WriteBytes("cut.raw", capture);
  RawFilPort port;
  port.SetName(dir.File("cut.raw"));
  ASSERT_EQ(port.Open(0), 1);
  std::unique_ptr<BinBuffer> decoder;
  ASSERT_EQ(BinBuffer::New(decoder, port, 3, 10), 1);
  int last = 0;
  EXPECT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(decoder->ReadRecord(last), -1017);
}

// --- Temperature counts --------------------------------------------------------------

TEST(CountToTemp, FollowsTheSensorCurveAndGivesNaNForNoReading) {
  EXPECT_NEAR(CountToTemp(500), 24.2341, 1e-4);
  EXPECT_NEAR(CountToTemp(300), 10.2038, 1e-4);
  EXPECT_TRUE(std::isnan(CountToTemp(0)));
}

TEST_F(BinBufferTest, TemperatureCountZeroDoesNotRejectThePacket) {
  auto decoder = Decoder(3);
  MeterPacketFields fields = test::SamplePacketFields(3, 10, 1);
  fields.tempCount = 0;
  fake_.Feed(1, EncodeMeterPacket(fields, 3, 10));
  int last = 0;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_TRUE(std::isnan(decoder->GetRefp()->temp));
  EXPECT_EQ(decoder->GetDatap(0)->status, 1);
  EXPECT_EQ(decoder->GetRefp()->serial, 0x05000001u);
}

TEST(TempToCount, InvertsCountToTempWhereTheCurveRises) {
  for (std::uint32_t count : {87u, 88u, 200u, 480u, 500u, 1000u, 4000u, 65535u}) {
    EXPECT_EQ(TempToCount(CountToTemp(count)), count) << count;
  }
  // Between two counts: the nearer one.
  const double between = 0.25 * CountToTemp(500) + 0.75 * CountToTemp(501);
  EXPECT_EQ(TempToCount(between), 501);
  // Beyond the curve's ends.
  EXPECT_EQ(TempToCount(-50.0), 87);
  EXPECT_EQ(TempToCount(1e6), 65535);
  EXPECT_EQ(TempToCount(std::nan("")), 87);
  EXPECT_LT(CountToTemp(86), CountToTemp(85));  // still falling below 87
}

}  // namespace
}  // namespace sondrix
