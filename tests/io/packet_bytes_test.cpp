// SPDX-License-Identifier: GPL-3.0-or-later
// Each packet format pinned to bytes typed out by hand from the formats'
// byte tables: one meter packet, one hyperspectral data packet of each
// type class and two command frames. The encoders that the simulator and
// the tests use must write exactly these bytes, and the decoders must read
// every field back as worked out by hand here. Nothing below is computed
// with the formats' offset constants, so a slip in an offset or a byte
// order shared by encoder and decoder shows up here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <span>
#include <utility>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/benth_buffer.h"
#include "io/benth_packet.h"
#include "io/bin_buffer.h"
#include "io/meter_packet.h"
#include "io/raw_file_port.h"
#include "io_test_env.h"

namespace sondrix {
namespace {

using Bytes = std::vector<std::uint8_t>;

// --- The meter packet: 3 channels, 10 samples, L = 20 + 10 x 11 + 9 = 139 --------------------

// One sample: its time count (least significant byte first), then three
// channel values of a 16-bit word (least significant byte first) and a
// fraction byte: 00 80 00 is 0x8000 + 0/256, 01 00 80 is 0x0001 + 128/256,
// FF FF FF is 0xFFFF + 255/256.
#define SAMPLE(i) i, 0x01, 0x00, 0x80, 0x00, 0x01, 0x00, 0x80, 0xFF, 0xFF, 0xFF

const Bytes kMeterPacket = {
    0x00, 0xFF, 0x00, 0xFF,  //   0 sync
    0x8B, 0x00,              //   4 length 139
    0x23, 0x01, 0x00, 0x04,  //   6 serial number 0x04000123
    0x02, 0x00,              //  10 status word 2
    0xE8, 0x03,              //  12 sample period count 1000
    0xFE, 0xFF,              //  14 pressure count -2
    0xD2, 0x04,              //  16 external temperature 1234 hundredths
    SAMPLE(0), SAMPLE(1), SAMPLE(2), SAMPLE(3), SAMPLE(4),  // 18 ten samples of 11 bytes,
    SAMPLE(5), SAMPLE(6), SAMPLE(7), SAMPLE(8), SAMPLE(9),  //    time counts 0x0100 ... 0x0109
    0x00, 0x40, 0x00,        // 128 reference 0: 0x4000 + 0/256
    0x00, 0x00, 0x01,        // 131 reference 1: 0x0000 + 1/256
    0x34, 0x12, 0x00,        // 134 reference 2: 0x1234 + 0/256
    0x2C, 0x01,              // 137 internal temperature count 300
    0x48, 0x2F, 0x00, 0x00,  // 139 checksum 12104 = 0x2F48 (below)
};
#undef SAMPLE

// The checksum, 510 plus every byte from offset 4 to 138:
//   header   8B+00+23+01+00+04+02+00+E8+03+FE+FF+D2+04
//            = 139+35+1+4+2+232+3+254+255+210+4          =  1139
//   sample i i+01 + (00+80+00) + (01+00+80) + (FF+FF+FF)
//            = i + 1 + 128 + 129 + 765 = i + 1023;
//            i = 0 ... 9: 45 + 10 x 1023                  = 10275
//   refs     00+40+00 + 00+00+01 + 34+12+00 = 64+1+52+18  =   135
//   temp     2C+01 = 44+1                                 =    45
//   510 + 1139 + 10275 + 135 + 45 = 12104 = 0x2F48: bytes 48 2F, then 00 00.

// The internal temperature in degrees of a count, as the format gives it.
double MeterTemp(double c) {
  return 0.045113 * c + 10.61831 - 4891.32 / c + 208130.2 / (c * c) + 1171473.0 / (c * c * c);
}

TEST(PacketBytes, TheMeterPacketIsWrittenAndReadAsItsByteTableSays) {
  ASSERT_EQ(kMeterPacket.size(), 139u + 4u);

  // The encoder, fed the same fields, writes the same bytes.
  MeterPacketFields fields;
  fields.serial = 0x04000123;
  fields.status = 2;
  fields.periodCount = 1000;
  fields.pressureCount = -2;
  fields.extTempHundredths = 1234;
  for (int i = 0; i < 10; ++i) {
    fields.timeCounts.push_back(static_cast<std::uint16_t>(0x0100 + i));
    for (double v : {0.5, 1.5 / 65536.0, (65535.0 + 255.0 / 256.0) / 65536.0}) fields.values.push_back(v);
  }
  fields.refs = {0.25, (1.0 / 256.0) / 65536.0, 4660.0 / 65536.0};
  fields.tempCount = 300;
  EXPECT_EQ(EncodeMeterPacket(fields, 3, 10), kMeterPacket);

  // The decoder, reading the literal from a capture, gives every field.
  test::TempProjectDir dir;
  dir.WriteBytes("meter.raw", kMeterPacket);
  RawFilPort port;
  port.SetName(dir.File("meter.raw"));
  ASSERT_EQ(port.Open(0), 1);
  std::unique_ptr<BinBuffer> decoder;
  ASSERT_EQ(BinBuffer::New(decoder, port, 3, 10), 1);
  int last = -1;
  ASSERT_EQ(decoder->ReadRecord(last), 1);
  EXPECT_EQ(last, 9);
  const RefBlock& ref = *decoder->GetRefp();
  EXPECT_EQ(ref.serial, 0x04000123u);
  EXPECT_EQ(ref.status, 2);
  EXPECT_DOUBLE_EQ(ref.sampleRate, 1.0 / (3.16e-05 * 1000.0));  // 31.6456 Hz
  EXPECT_EQ(ref.pressure, -2.0);
  EXPECT_DOUBLE_EQ(ref.extTemp, 12.34);
  EXPECT_EQ(ref.refs[0], 0.25);
  EXPECT_EQ(ref.refs[1], (1.0 / 256.0) / 65536.0);
  EXPECT_EQ(ref.refs[2], 4660.0 / 65536.0);
  EXPECT_DOUBLE_EQ(ref.temp, MeterTemp(300.0));  // 10.20 degrees
  EXPECT_NEAR(ref.temp, 10.2038, 1e-4);
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    const DataSample* sample = decoder->GetDatap(i);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->status, 1);
    EXPECT_EQ(sample->time, 256 + i);
    EXPECT_EQ(sample->values[0], 0.5);
    EXPECT_EQ(sample->values[1], 1.5 / 65536.0);
    EXPECT_EQ(sample->values[2], (65535.0 + 255.0 / 256.0) / 65536.0);
  }
}

// --- Hyperspectral data packets: n = 2 channels, L = 8 x 2 + 32 = 48 -------------------------

// The same fields in packets of type 4, 2 and 5, 250 ms apart (a repeated
// counter would be a repeated packet); every integer most significant byte
// first.
Bytes BenthPacket(std::uint8_t type, std::uint8_t timeHigh, std::uint8_t timeLow, std::uint8_t checksumLow) {
  return {
      0xFF, 0x00, 0xFF, 0x00,  //  0 sync
      0x00, 0x30,              //  4 length 48
      type,                    //  6 packet type
      0x01,                    //  7 second header byte (skip 1)
      0x01, 0x02, 0x03, 0x04,  //  8 serial number (read least significant byte first: 0x04030201)
      0x00, 0x07,              // 12 status word 7
      0x01, 0xF4,              // 14 count 1: 500
      0x12, 0x34,              // 16 count 2: 4660
      0x80, 0x00,              // 18 count 3 (second temperature): 32768
      0x40, 0x00,              // 20 count 4 (internal temperature): 16384
      0xFF, 0xFE,              // 22 count 5: -2
      0x00, 0x64,              // 24 count 6: 100
      0x00, 0x00, timeHigh, timeLow,  // 26 time: 12345, 12595, 12845
      0x00, 0x00,              // 30 not decoded
      0x00, 0x0A, 0x00, 0x14,  // 32 channel 0: first reference 10, second reference 20,
      0x01, 0x00, 0xFF, 0xFF,  //    first signal 256, second signal 65535
      0x00, 0x1E, 0x00, 0x28,  // 40 channel 1: first reference 30, second reference 40,
      0x02, 0x00, 0x80, 0x01,  //    first signal 512, second signal 32769
      0x09, checksumLow,       // 48 checksum
  };
}

// The checksum, 510 plus every byte from offset 4 to 47, for type 4:
//    4  00+30+04+01       =  53     22  FF+FE = 255+254   = 509
//    8  01+02+03+04       =  10     24  00+64             = 100
//   12  00+07             =   7     26  00+00+30+39       = 105
//   14  01+F4 = 1+244     = 245     30  00+00             =   0
//   16  12+34 = 18+52     =  70     32  0A+14+01+FF+FF    = 541
//   18  80+00             = 128     40  1E+28+02+80+01    = 201
//   20  40+00             =  64
//   510 + 2033 = 2543 = 0x09EF.
// Type 2 at 12595 = 0x3133: two less for the type, and 31+33 = 100 is five
// less than 30+39, so 2536 = 0x09E8. Type 5 at 12845 = 0x322D: one more for
// the type, and 32+2D = 95 is ten less, so 2534 = 0x09E6.
const Bytes kBenthType4 = BenthPacket(0x04, 0x30, 0x39, 0xEF);
const Bytes kBenthType2 = BenthPacket(0x02, 0x31, 0x33, 0xE8);
const Bytes kBenthType5 = BenthPacket(0x05, 0x32, 0x2D, 0xE6);

// Temperatures in degrees as the format gives them, by packet type class.
double Thermistor(double x) { return 1.0 / (0.00093135 + 0.000221631 * x + 1.25741e-07 * x * x * x) - 273.16; }
double InternalTempUpTo3(double count4) {
  const double v = std::max(2.5 * count4 / 65535.0, 0.05);
  const double r = std::max(v < 2.5 ? 10000.0 * v / (2.5 - v) : 100000.0, 500.0);
  return Thermistor(std::log(r));
}
double SecondTempUpTo3(double count3) {
  const double v = std::max(5.0 * count3 / 65535.0, 0.05);
  return ((-1.17831833361925 * v + 9.94100020653274) * v - 45.8217726498572) * v + 95.8241397196854;
}
double InternalTempFrom4(double count4) {
  const double v = count4 * 7.629510948348211e-05;
  const double r = 10000.0 * v / (4.516 - v);
  return Thermistor(r < 500.0 ? std::log(500.0) : std::log(r));
}
double SecondTempFrom4(double c) {
  return ((-7.10233167806268e-13 * c + 7.09341920007176e-08) * c - 0.00387065673276358) * c + 95.8241397194834;
}

TEST(PacketBytes, HyperspectralPacketsOfEachTypeAreWrittenAndReadAsTheirByteTableSays) {
  ASSERT_EQ(kBenthType4.size(), 48u + 2u);

  BenthPacketFields fields;
  fields.skip = 1;
  fields.serial = 0x01020304;  // as the configuration holds it: the bytes go out 01 02 03 04
  fields.status = 7;
  fields.count1 = 500;
  fields.count2 = 4660;
  fields.count3 = 32768;
  fields.count4 = 16384;
  fields.count5 = -2;
  fields.count6 = 100;
  fields.time = 12345;
  fields.ref1 = {10, 30};
  fields.ref2 = {20, 40};
  fields.sig1 = {256, 512};
  fields.sig2 = {65535, 32769};
  for (auto [type, literal] : {std::pair{4, &kBenthType4}, {2, &kBenthType2}, {5, &kBenthType5}}) {
    fields.type = static_cast<std::uint8_t>(type);
    fields.time = type == 4 ? 12345 : type == 2 ? 12595 : 12845;
    EXPECT_EQ(EncodeBenthPacket(fields, 2), *literal) << "type " << type;
  }

  // One stream: type 4, then type 2 (which keeps the rate, pressure and
  // auxiliary fields of the packet before), then type 5.
  Bytes stream = kBenthType4;
  stream.insert(stream.end(), kBenthType2.begin(), kBenthType2.end());
  stream.insert(stream.end(), kBenthType5.begin(), kBenthType5.end());
  test::TempProjectDir dir;
  dir.WriteBytes("benth.raw", stream);
  RawFilPort port;
  port.SetName(dir.File("benth.raw"));
  ASSERT_EQ(port.Open(0), 1);
  std::unique_ptr<BenthBuffer> decoder;
  ASSERT_EQ(BenthBuffer::New(decoder, port, 2, 1), 1);

  struct Expected {
    int type;
    double rate, pressure, aux, temp, extTemp;
    std::uint32_t count;
  };
  const Expected expected[] = {
      {4, 7.0, 0.0, 500.0, InternalTempFrom4(16384), SecondTempFrom4(32768), 12345},
      {2, 7.0, 0.0, 500.0, InternalTempUpTo3(16384), SecondTempUpTo3(32768), 12595},
      {5, 0.0, 500.0, 7.0, InternalTempFrom4(16384), SecondTempFrom4(32768), 12845},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE("type " + std::to_string(e.type));
    int last = -1;
    ASSERT_EQ(decoder->ReadRecord(last), 1);
    EXPECT_EQ(last, 0);
    const RefBlock& ref = *decoder->GetRefp();
    EXPECT_EQ(ref.serial, 0x04030201u);
    EXPECT_EQ(ref.status, 7);
    EXPECT_EQ(ref.sampleRate, e.rate);
    EXPECT_EQ(ref.pressure, e.pressure);
    EXPECT_EQ(ref.aux, e.aux);
    EXPECT_EQ(ref.auxCount2, 4660.0);
    EXPECT_EQ(ref.auxCount5, -2.0);
    EXPECT_EQ(ref.auxCount6, 100.0);
    EXPECT_DOUBLE_EQ(ref.temp, e.temp);
    EXPECT_DOUBLE_EQ(ref.extTemp, e.extTemp);
    EXPECT_EQ(ref.refs[0], 10.0);
    EXPECT_EQ(ref.refs[1], 30.0);
    EXPECT_EQ(ref.refs[2], 20.0);
    EXPECT_EQ(ref.refs[3], 40.0);
    const DataSample* sample = decoder->GetDatap(0);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->status, 1);
    EXPECT_EQ(sample->count, e.count);
    EXPECT_EQ(sample->time, e.count / 10);  // hundredths on the time line
    EXPECT_EQ(sample->values[0], 256.0);
    EXPECT_EQ(sample->values[1], 512.0);
    EXPECT_EQ(sample->values[2], 65535.0);
    EXPECT_EQ(sample->values[3], 32769.0);
  }
  // The formulas above, worked out on a calculator: a count 4 of 16384 is
  // 3333 ohms up to type 3 and 3827 ohms from type 4 on.
  EXPECT_NEAR(InternalTempUpTo3(16384), 84.458, 1e-3);
  EXPECT_NEAR(SecondTempUpTo3(32768), 24.989, 1e-3);
  EXPECT_NEAR(InternalTempFrom4(16384), 80.147, 1e-3);
  EXPECT_NEAR(SecondTempFrom4(32768), 20.166, 1e-3);
}

// --- Command frames: sync, code, parameter 1, parameter 2, sum of the ten bytes ---------------

TEST(PacketBytes, CommandFramesAreWrittenAsTheirByteTableSays) {
  // Spacing 3: FF+00+CC+00+0F+0F+00+03+00+00 = 255+204+15+15+3 = 492 = 0x01EC.
  const Bytes spacing = {0xFF, 0x00, 0xCC, 0x00, 0x0F, 0x0F, 0x00, 0x03, 0x00, 0x00, 0x01, 0xEC};
  // Baud rate 9600 = 0x2580: 255+204+4+4+0x25+0x80 = 255+204+8+37+128 = 632 = 0x0278.
  const Bytes baud = {0xFF, 0x00, 0xCC, 0x00, 0x04, 0x04, 0x25, 0x80, 0x00, 0x00, 0x02, 0x78};
  const auto a = EncodeBenthFrame(0x0F0F, 3, 0);
  const auto b = EncodeBenthFrame(0x0404, 9600, 0);
  EXPECT_EQ(Bytes(a.begin(), a.end()), spacing);
  EXPECT_EQ(Bytes(b.begin(), b.end()), baud);
  for (const Bytes& frame : {spacing, baud}) {
    EXPECT_TRUE(BenthFrameTailGood(std::span<const std::uint8_t, 8>(frame.data() + 4, 8)));
    Bytes damaged = frame;
    damaged[11] ^= 0x01;
    EXPECT_FALSE(BenthFrameTailGood(std::span<const std::uint8_t, 8>(damaged.data() + 4, 8)));
  }
}

}  // namespace
}  // namespace sondrix
