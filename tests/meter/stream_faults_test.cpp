// SPDX-License-Identifier: GPL-3.0-or-later
// What a meter makes of a damaged stream, read from a capture whose bytes the
// test lays out: every line's time from its own packet's counter, relative to
// the first good sample after the reset; lost samples as many as are missing;
// nothing recorded that the instrument did not measure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"
#include "io/benth_packet.h"
#include "io/byte_order.h"
#include "meter/benth_meter.h"
#include "meter/nerit_meter.h"
#include "source/source_line.h"
#include "meter/benth_fixtures.h"
#include "meter/meter_fixtures.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kN = 4;             // wavelengths of the test instrument
constexpr std::uint32_t kT0 = 123456789;  // its counter at the first packet, ms
constexpr std::uint32_t kStep = 250;      // ms a packet

// A hyperspectral capture laid out packet by packet.
struct Capture {
  Bytes bytes;
  std::vector<std::size_t> starts;  // where each packet begins

  void Add(const test::BenthPacketSpec& spec) {
    starts.push_back(bytes.size());
    const Bytes packet = test::BenthPacket(kN, spec);
    bytes.insert(bytes.end(), packet.begin(), packet.end());
  }
  // Packets `count` of them at the instrument's step, from `first` on.
  void Run(int count, std::uint32_t first = kT0, std::uint8_t skip = 1) {
    for (int k = 0; k < count; ++k) {
      test::BenthPacketSpec spec;
      spec.time = first + kStep * static_cast<std::uint32_t>(k);
      spec.skip = skip;
      Add(spec);
    }
  }
  // Packet `k`'s checksum no longer adds up.
  void BreakChecksum(std::size_t k) { bytes[starts[k] + BenthPacketLength(kN) + 1] ^= 0x5A; }
};

struct Outcome {
  Status reset = 0;
  std::vector<std::int64_t> times;
  int lost = 0;
  StreamEvents events;
};

class StreamFaults : public testing::Test {
 protected:
  // Opens the meter on the capture, resets it `resets` times and reads it to
  // its end.
  Outcome Read(const Capture& capture, int resets = 1, int deviceWavelengths = kN) {
    test::WriteTextFile(dir.File("b.raw"), std::string(capture.bytes.begin(), capture.bytes.end()));
    test::WriteTextFile(dir.File("b.dev"), test::BenthDeviceText(3, deviceWavelengths));
    auto meter = Meter::New<BenthMeter>(dir.File("b.dev"), dir.File("b.raw"));
    Outcome out;
    if (!meter || meter->Open() != status::kOk) return out;
    for (int r = 0; r < resets; ++r) out.reset = meter->Reset();
    if (out.reset != status::kOk) return out;
    SourceLine line(2 * kN);
    while (meter->ReadData(line) == status::kOk) {
      if (line.status == status::kOk) out.times.push_back(line.time);
      if (line.status == status::kLostLine) ++out.lost;
    }
    out.events = meter->GetStreamEvents();
    return out;
  }

  // The stamps of packets `first` ... `last` of a run at the instrument's
  // step, less those in `missing`.
  static std::vector<std::int64_t> Stamps(int first, int last, const std::vector<int>& missing = {}) {
    std::vector<std::int64_t> times;
    for (int k = first; k <= last; ++k) {
      if (std::find(missing.begin(), missing.end(), k) != missing.end()) continue;
      times.push_back(static_cast<std::int64_t>(k - first) * kStep);
    }
    return times;
  }

  test::TempDir dir;
};

TEST_F(StreamFaults, DamagedPacketsCostTheirSamplesAndNoTimeStamp) {
  // Every tenth packet damaged.
  Capture c;
  c.Run(40);
  for (std::size_t k = 9; k < 40; k += 10) c.BreakChecksum(k);
  Outcome o = Read(c);
  EXPECT_EQ(o.times, Stamps(0, 39, {9, 19, 29, 39}));
  EXPECT_EQ(o.lost, 4);

  // Every second packet damaged: the counter never shows a period between
  // two good packets in a row, and the damaged ones are what is counted.
  Capture every2;
  every2.Run(20);
  for (std::size_t k = 1; k < 20; k += 2) every2.BreakChecksum(k);
  o = Read(every2);
  EXPECT_EQ(o.times, Stamps(0, 19, {1, 3, 5, 7, 9, 11, 13, 15, 17, 19}));
  EXPECT_EQ(o.lost, 10);

  // The packet the meter synchronised on is damaged: the time line starts at
  // the first good sample, not at the instrument's uptime.
  Capture first;
  first.Run(6);
  first.BreakChecksum(0);
  o = Read(first);
  EXPECT_EQ(o.times, Stamps(1, 5));
  EXPECT_EQ(o.lost, 1);
}

TEST_F(StreamFaults, LostSamplesAreWhatTheCounterSaysIsMissing) {
  // An overrun cut packets 10 ... 14 out of the stream without a trace.
  Capture c;
  c.Run(20);
  Bytes cut(c.bytes.begin(), c.bytes.begin() + static_cast<long>(c.starts[10]));
  cut.insert(cut.end(), c.bytes.begin() + static_cast<long>(c.starts[15]), c.bytes.end());
  c.bytes = cut;
  Outcome o = Read(c);
  EXPECT_EQ(o.times, Stamps(0, 19, {10, 11, 12, 13, 14}));
  EXPECT_EQ(o.lost, 5);

  // A stray sync pattern and a plausible length word between two packets:
  // nothing is missing.
  Capture stray;
  stray.Run(10);
  const std::uint16_t length = static_cast<std::uint16_t>(BenthPacketLength(kN));
  Bytes junk = {0xFF, 0x00, 0xFF, 0x00, 0, 0};
  PutBigEndian16(junk.data() + kBenthLengthOffset, length);
  junk.resize(junk.size() + 60, 0x11);
  stray.bytes.insert(stray.bytes.begin() + static_cast<long>(stray.starts[5]), junk.begin(), junk.end());
  o = Read(stray);
  EXPECT_EQ(o.times, Stamps(0, 9));
  EXPECT_EQ(o.lost, 0);

  // A packet whose length word and serial number were both hit: it is
  // missing, and counted.
  Capture hit;
  hit.Run(10);
  hit.bytes[hit.starts[5] + 5] ^= 0x01;  // the length word's low byte
  hit.bytes[hit.starts[5] + 9] ^= 0x40;  // the serial number
  o = Read(hit);
  EXPECT_EQ(o.times, Stamps(0, 9, {5}));
  EXPECT_EQ(o.lost, 1);
}

TEST_F(StreamFaults, ARestartedClockGoesOnAndARepeatedPacketIsDropped) {
  // Two runs one after the other (an instrument reset): the second run's
  // counter starts again near where the first began.
  Capture c;
  c.Run(8);
  c.Run(8, kT0 - 5000);
  Outcome o = Read(c);
  std::vector<std::int64_t> expected = Stamps(0, 7);
  for (int k = 0; k < 8; ++k) expected.push_back(7 * kStep + kStep * (k + 1));
  EXPECT_EQ(o.times, expected);
  EXPECT_EQ(o.lost, 0);
  EXPECT_EQ(o.events.clockRestarts, 1);

  // A packet sent twice.
  Capture twice;
  twice.Run(10);
  twice.bytes.insert(twice.bytes.begin() + static_cast<long>(twice.starts[5]),
                     twice.bytes.begin() + static_cast<long>(twice.starts[4]),
                     twice.bytes.begin() + static_cast<long>(twice.starts[5]));
  o = Read(twice);
  EXPECT_EQ(o.times, Stamps(0, 9));
  EXPECT_EQ(o.lost, 0);
  EXPECT_EQ(o.events.repeats, 1);
  EXPECT_EQ(o.events.clockRestarts, 0);
}

TEST_F(StreamFaults, WhatTheInstrumentDoesNotSendIsNeverRecorded) {
  // The instrument starts sending every second wavelength: its packets
  // cannot be read with the map synchronised on, and are lost.
  Capture c;
  c.Run(6);
  c.Run(4, kT0 + 6 * kStep, 2);
  c.Run(2, kT0 + 10 * kStep);
  Outcome o = Read(c);
  EXPECT_EQ(o.times, Stamps(0, 11, {6, 7, 8, 9}));
  EXPECT_EQ(o.lost, 4);
  EXPECT_EQ(o.events.spacingChanged, 4);

  // A wavelength on the map whose reference count is 0 has no value: the
  // line is lost rather than carry the calibration offset.
  Capture dark;
  dark.Run(3);
  test::BenthPacketSpec spec;
  spec.time = kT0 + 3 * kStep;
  spec.reference = 0;
  dark.Add(spec);
  o = Read(dark);
  EXPECT_EQ(o.times, Stamps(0, 2));
  EXPECT_EQ(o.lost, 1);

  // A device file of more wavelengths than the instrument sends.
  Capture fewer;
  fewer.Run(5);
  o = Read(fewer, 1, 6);
  EXPECT_EQ(o.reset, status::kPacketsDontFit);
}

TEST_F(StreamFaults, ResettingTwiceBeforeARunLosesNothingOfACapture) {
  Capture c;
  c.Run(12);
  EXPECT_EQ(Read(c, 1).times, Stamps(0, 11));
  EXPECT_EQ(Read(c, 2).times, Stamps(0, 11));

  // The same for the nine-wavelength meter: every sample of every packet.
  std::vector<Bytes> packets;
  for (int k = 0; k < 5; ++k) {
    packets.push_back(test::Packet(18, 10, test::kNeritSerial, static_cast<std::uint16_t>(600 + 10 * k),
                                   0.4, 0.5, 30000));
  }
  test::WriteCapture(dir.File("n.raw"), packets);
  test::WriteTextFile(dir.File("n.dev"), test::MeterDeviceText(test::kNeritSerial, 18));
  auto meter = Meter::New<NeritMeter>(dir.File("n.dev"), dir.File("n.raw"));
  ASSERT_EQ(meter->Open(), status::kOk);
  ASSERT_EQ(meter->Reset(), status::kOk);
  ASSERT_EQ(meter->Reset(), status::kOk);
  SourceLine line(18);
  std::vector<std::int64_t> times;
  while (meter->ReadData(line) == status::kOk) times.push_back(line.time);
  ASSERT_EQ(times.size(), 50u);
  for (std::size_t i = 0; i < times.size(); ++i) EXPECT_EQ(times[i], static_cast<std::int64_t>(10 * i));
}

}  // namespace
}  // namespace sondrix
