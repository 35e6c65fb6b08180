// SPDX-License-Identifier: GPL-3.0-or-later
// The meter on raw captures: opening, reset and the serial number, one
// packet per ten samples, the time axis, depth, lost samples, the trailing
// text; the calibration arithmetic; the models and the factories.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/status.h"
#include "config/benth_meter_config.h"
#include "config/meter_config.h"
#include "datafile/model_files.h"
#include "io/raw_file_port.h"
#include "meter/a_meter.h"
#include "meter/c_meter.h"
#include "meter/meter_fixtures.h"
#include "platform/headless/fake_serial.h"
#include "platform/serial.h"
#include "meter/nerit_meter.h"
#include "meter/pelag_meter.h"
#include "meter/source_factory.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

using test::Damaged;
using test::kNeritSerial;
using test::Packet;

constexpr int kNerit = 18;

class MeterTest : public test::HeadlessTest {
 protected:
  std::string Device(std::uint32_t serial = kNeritSerial, double depthScale = 0.0035,
                     double pathLength = 0.25) {
    return test::WriteTextFile(HomeFile("meter.dev"),
                               test::MeterDeviceText(serial, kNerit, depthScale, 0.5, pathLength));
  }

  // A Nerit meter on a capture of the given packets, opened and reset.
  std::unique_ptr<NeritMeter> OpenNerit(const std::vector<std::vector<std::uint8_t>>& packets,
                                        Status expectReset = status::kOk) {
    const std::string capture = test::WriteCapture(HomeFile("capture.raw"), packets);
    auto meter = Meter::New<NeritMeter>(Device(), capture);
    EXPECT_NE(meter, nullptr);
    if (!meter) return nullptr;
    EXPECT_EQ(meter->Open(), status::kOk);
    EXPECT_EQ(meter->Reset(), expectReset);
    return meter;
  }

  std::vector<std::uint8_t> Good(std::uint16_t firstTime, double ref = 0.5) {
    return Packet(kNerit, 10, kNeritSerial, firstTime, 0.25, ref, temperatureCount);
  }

  std::uint16_t temperatureCount = TempToCount(20.0);
};

TEST_F(MeterTest, ReadsOnePacketPerTenSamples) {
  // The first packet is the one Reset synchronises on: it is read too.
  auto meter = OpenNerit({Good(0, 0.1), Good(10, 0.2), Good(20, 0.3), Good(30, 0.4)});
  ASSERT_TRUE(meter);
  SourceLine line(kNerit);
  std::vector<double> refs(kNerit);
  std::vector<double> seen;
  for (int call = 0; call < 40; ++call) {
    line.tail.clear();
    ASSERT_EQ(meter->ReadData(line), status::kOk);
    ASSERT_EQ(meter->ReadRefs(refs), status::kOk);
    seen.push_back(refs[0]);
    EXPECT_EQ(line.status, status::kOk);
    EXPECT_EQ(line.time, call * 10);
    // The trailing text comes with the first sample of each packet only.
    EXPECT_EQ(line.tail.empty(), call % 10 != 0) << call;
  }
  for (int call = 0; call < 40; ++call) {
    const double expected = 0.1 + 0.1 * (call / 10);
    EXPECT_NEAR(seen[static_cast<std::size_t>(call)], expected, 1e-6) << call;
  }
  // Nothing left: the end of the capture.
  EXPECT_EQ(meter->ReadData(line), status::kUnexpectedEof);
  EXPECT_EQ(meter->Close(), status::kOk);
  EXPECT_EQ(meter->Close(), status::kNotConnected);
}

TEST_F(MeterTest, TimeOfPacketsAcrossTheCounterWrap) {
  auto meter = OpenNerit({Good(65520), Good(65530), Good(4)});
  ASSERT_TRUE(meter);
  SourceLine line(kNerit);
  std::vector<std::int64_t> times;
  for (int i = 0; i < 30; ++i) {
    ASSERT_EQ(meter->ReadData(line), status::kOk);
    times.push_back(line.time);
  }
  // 65520 ... 65529; 65530 ... 65539 wraps to 65530 ... 65535, 0 ... 3; then 4 ... 13.
  for (int i = 0; i < 30; ++i) EXPECT_EQ(times[static_cast<std::size_t>(i)], i * 10) << i;
  EXPECT_EQ(meter->GetLostCount(), 0);
}

TEST_F(MeterTest, TailHoldsTemperatureRateDepthExternalTemperatureAndReferences) {
  auto meter = OpenNerit({Good(0, 0.3), Good(10, 0.3)});
  ASSERT_TRUE(meter);
  SourceLine line(kNerit);
  ASSERT_EQ(meter->ReadData(line), status::kOk);
  char expected[512];
  const double temperature = CountToTemp(temperatureCount);
  const double rate = 1.0 / (kMeterPeriodSeconds * 3165);
  const double depth = 100 * 0.0035 + 0.5;
  int length = std::snprintf(expected, sizeof expected, "%.2lf\t%.1lf\t%.2lf\t%.2lf", temperature,
                             rate, depth, 12.34);
  std::vector<double> refs(kNerit);
  ASSERT_EQ(meter->ReadRefs(refs), status::kOk);
  for (double ref : refs)
    length += std::snprintf(expected + length, sizeof expected - static_cast<std::size_t>(length),
                            "\t%.5lf", ref);
  EXPECT_EQ(line.tail, expected);
  EXPECT_DOUBLE_EQ(line.depth, depth);
  EXPECT_DOUBLE_EQ(meter->GetDepth(), depth);
  EXPECT_DOUBLE_EQ(line.temperature, temperature);
  EXPECT_DOUBLE_EQ(line.extTemperature, 12.34);
  EXPECT_DOUBLE_EQ(meter->GetSampleRate(), rate);
  EXPECT_EQ(meter->GetStatus(), 0);  // the status word as it came, not the 1 a 0 is taken for
}

TEST_F(MeterTest, TailStaysWithinItsLengthWhateverTheNumbers) {
  auto meter = Meter::New<NeritMeter>(Device(), "");
  ASSERT_TRUE(meter);
  RefBlock refs;
  refs.refs.fill(1e300);
  std::string tail;
  tail.reserve(SourceLine::kTailMax);
  meter->WriteRefs(refs, tail);
  EXPECT_EQ(tail.size(), SourceLine::kTailMax);
}

TEST_F(MeterTest, DamagedPacketsGiveLostSamplesThatTheBinnedReadCounts) {
  auto meter = OpenNerit({Good(0), Good(10), Damaged(Good(20)), Good(30)});
  ASSERT_TRUE(meter);
  ASSERT_EQ(meter->SetBinsize(1), status::kOk);
  SourceLine line(kNerit);
  int good = 0;
  int lost = 0;
  Status result;
  while ((result = meter->Read(line)) == status::kOk || result == status::kNoData) {
    if (result != status::kOk) continue;
    if (line.status == status::kOk) ++good;
    if (line.status == status::kLostLine) ++lost;
  }
  EXPECT_EQ(result, status::kUnexpectedEof);
  EXPECT_EQ(good, 30);
  EXPECT_EQ(lost, 10);
  EXPECT_EQ(meter->GetLostCount(), 10);
}

TEST_F(MeterTest, FailedReadAfterALostSampleCountsNothingMore) {
  auto meter = OpenNerit({Good(0), Good(10), Damaged(Good(20))});
  ASSERT_TRUE(meter);
  SourceLine line(kNerit);
  Status result;
  while ((result = meter->Read(line)) == status::kOk) {
  }
  EXPECT_EQ(result, status::kUnexpectedEof);
  EXPECT_EQ(line.status, 0);
  EXPECT_EQ(meter->Read(line), status::kUnexpectedEof);
  EXPECT_EQ(meter->GetLostCount(), 10);
}

TEST_F(MeterTest, PacketWithoutTemperatureReadingGivesLostSamples) {
  temperatureCount = 0;  // the instrument's "no reading"
  auto meter = OpenNerit({Good(0), Good(10)});
  ASSERT_TRUE(meter);
  SourceLine line(kNerit);
  ASSERT_EQ(meter->ReadData(line), status::kOk);
  EXPECT_EQ(line.status, status::kLostLine);
  for (double value : line.values) EXPECT_TRUE(std::isfinite(value));
}

TEST_F(MeterTest, SerialNumberMismatchStillSetsTheTraceMap) {
  const std::string capture =
      test::WriteCapture(HomeFile("capture.raw"), {Packet(kNerit, 10, 0x04000999, 0, 0.25, 0.5, 30000),
                                                   Packet(kNerit, 10, 0x04000999, 10, 0.25, 0.5, 30000)});
  auto meter = Meter::New<NeritMeter>(Device(), capture);
  ASSERT_TRUE(meter);
  ASSERT_EQ(meter->Open(), status::kOk);
  EXPECT_EQ(meter->GetSerialnum(), kNeritSerial);
  EXPECT_EQ(meter->Reset(), status::kSerialMismatch);
  EXPECT_EQ(meter->GetSerialnum(), 0x04000999u);
  SourceLine line(kNerit);
  ASSERT_EQ(meter->ReadData(line), status::kOk);
  // Signal below the reference: every mapped trace computes a value.
  for (int i = 0; i < kNerit; ++i) EXPECT_GT(line.values[static_cast<std::size_t>(i)], 0.01 * (i + 1));
}

TEST_F(MeterTest, OperationsWithoutDecoderSayNotConnected) {
  auto meter = Meter::New<NeritMeter>(Device(), "");
  ASSERT_TRUE(meter);
  SourceLine line(kNerit);
  std::vector<double> refs(kNerit);
  EXPECT_EQ(meter->Reset(), status::kNotConnected);
  EXPECT_EQ(meter->ReadData(line), status::kNotConnected);
  EXPECT_EQ(meter->ReadRefs(refs), status::kNotConnected);
  EXPECT_EQ(meter->SetPort(std::make_unique<RawFilPort>()), status::kNotConnected);
  EXPECT_EQ(meter->DataAvailable(), 0);
  EXPECT_EQ(meter->BufNearFull(), 0);
  EXPECT_EQ(meter->Close(), status::kNotConnected);
}

TEST_F(MeterTest, OpensForItsConfigurationOnlyAndClosesAgain) {
  auto meter = Meter::New<NeritMeter>(Device(kNeritSerial, 0.0), "");
  ASSERT_TRUE(meter);
  ASSERT_EQ(meter->Open(), status::kOk);
  DPort* port = nullptr;
  EXPECT_EQ(meter->GetPort(port), status::kOk);
  EXPECT_EQ(port, nullptr);
  EXPECT_EQ(meter->HasDepth(), 0);
  std::string text;
  EXPECT_EQ(meter->GetID(text), status::kOk);
  EXPECT_EQ(text, "Test meter");
  EXPECT_EQ(meter->GetHeading(0, text), status::kOk);
  EXPECT_EQ(text, "a412");
  EXPECT_EQ(meter->GetSerialnum(), kNeritSerial);
  EXPECT_EQ(meter->Close(), status::kOk);
  EXPECT_EQ(meter->Close(), status::kNotConnected);
}

TEST_F(MeterTest, DepthScaleZeroMeansNoDepthAndTheOffsetAlone) {
  const std::string capture = test::WriteCapture(HomeFile("capture.raw"), {Good(0), Good(10)});
  auto meter = Meter::New<NeritMeter>(Device(kNeritSerial, 0.0), capture);
  ASSERT_TRUE(meter);
  ASSERT_EQ(meter->Open(), status::kOk);
  ASSERT_EQ(meter->Reset(), status::kOk);
  SourceLine line(kNerit);
  ASSERT_EQ(meter->ReadData(line), status::kOk);
  EXPECT_EQ(meter->HasDepth(), 0);
  EXPECT_DOUBLE_EQ(line.depth, 0.5);
  // Uncorrected reads leave the depth offset out.
  ASSERT_EQ(meter->ReadUnCorrData(line), status::kOk);
  EXPECT_DOUBLE_EQ(line.depth, 0.0);
}

// The configuration file reader refuses such a path length, for measuring
// and for editing alike.
TEST_F(MeterTest, PathLengthThatIsNoLengthIsRefused) {
  const std::string capture = test::WriteCapture(HomeFile("capture.raw"), {Good(0)});
  for (const double path : {0.0, -0.25}) {
    auto meter = Meter::New<NeritMeter>(Device(kNeritSerial, 0.0035, path), capture);
    ASSERT_TRUE(meter);
    EXPECT_EQ(meter->Open(), status::kConfigPathLength) << path;
    EXPECT_EQ(meter->Close(), status::kNotConnected);
    auto editing = Meter::New<NeritMeter>(HomeFile("meter.dev"), "");
    EXPECT_EQ(editing->Open(), status::kConfigPathLength) << path;
  }
}

TEST_F(MeterTest, OpenFailuresLeaveTheMeterClosed) {
  auto missing = Meter::New<NeritMeter>(HomeFile("none.dev"), "");
  EXPECT_EQ(missing->Open(), status::kCantOpenFile);
  auto noCapture = Meter::New<NeritMeter>(Device(), HomeFile("none.raw"));
  EXPECT_EQ(noCapture->Open(), status::kCantOpenFile);
  EXPECT_EQ(noCapture->Close(), status::kNotConnected);
}

TEST_F(MeterTest, SaveAndSaveRawReportSuccess) {
  auto meter = OpenNerit({Good(0), Good(10)});
  ASSERT_TRUE(meter);
  EXPECT_EQ(meter->Save(), status::kOk);
  EXPECT_EQ(meter->SaveRaw(), status::kOk);
}

TEST_F(MeterTest, NewPortGetsANewDecoder) {
  auto meter = OpenNerit({Good(0), Good(10)});
  ASSERT_TRUE(meter);
  const std::string other = test::WriteCapture(HomeFile("other.raw"), {Good(500), Good(510, 0.7)});
  auto port = std::make_unique<RawFilPort>();
  ASSERT_EQ(port->SetName(other), status::kOk);
  ASSERT_EQ(port->Open(19200), status::kOk);
  DPort* raw = port.get();
  ASSERT_EQ(meter->SetPort(std::move(port)), status::kOk);
  DPort* now = nullptr;
  meter->GetPort(now);
  EXPECT_EQ(now, raw);
  ASSERT_EQ(meter->Reset(), status::kOk);
  // The new capture from its first packet on: counts 500 ... 509, then the
  // packet whose references read 0.7.
  SourceLine line(kNerit);
  std::vector<double> refs(kNerit);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(meter->ReadData(line), status::kOk) << i;
  ASSERT_EQ(meter->ReadRefs(refs), status::kOk);
  EXPECT_NEAR(refs[0], 0.5, 1e-6);
  ASSERT_EQ(meter->ReadData(line), status::kOk);
  ASSERT_EQ(meter->ReadRefs(refs), status::kOk);
  EXPECT_NEAR(refs[0], 0.7, 1e-6);
  EXPECT_EQ(line.time, 100);
}

TEST_F(MeterTest, DataAvailableFollowsThePortAndBufferNearFullStaysLowOnReplay) {
  auto meter = OpenNerit({Good(0), Good(10)});
  ASSERT_TRUE(meter);
  EXPECT_EQ(meter->DataAvailable(), 1);
  EXPECT_EQ(meter->CanRead(), 1);
  EXPECT_EQ(meter->BufNearFull(), 0);
  EXPECT_EQ(meter->MustRead(), 0);
}

// --- A live line ------------------------------------------------------------------

// The meter on COM1 of the scripted serial line: what a live run sees.
class LiveMeterTest : public MeterTest {
 protected:
  LiveMeterTest() : scopedSerial_(fake) {}

  std::unique_ptr<NeritMeter> OpenLive() {
    auto meter = Meter::New<NeritMeter>(Device(), "COM1");
    EXPECT_NE(meter, nullptr);
    if (!meter) return nullptr;
    EXPECT_EQ(meter->Open(), status::kOk);
    fake.Feed(1, Good(0));  // what the reset synchronises on, and the first packet read
    EXPECT_EQ(meter->Reset(), status::kOk);
    return meter;
  }

  platform::FakeSerial fake;

 private:
  platform::ScopedSerial scopedSerial_;
};

TEST_F(LiveMeterTest, APacketIsOfferedWholeAsSoonAsItsLastByteHasArrived) {
  auto meter = OpenLive();
  ASSERT_TRUE(meter);
  SourceLine line(kNerit);
  // The packet the reset synchronised on.
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(meter->Read(line), status::kOk) << i;
    EXPECT_EQ(line.time, i * 10);
  }
  const std::vector<std::uint8_t> packet = Good(10);
  fake.Feed(1, std::vector<std::uint8_t>(packet.begin(), packet.end() - 1));
  // All but its last byte: nothing yet.
  EXPECT_EQ(meter->Read(line), status::kNoData);
  fake.Feed(1, std::vector<std::uint8_t>(packet.end() - 1, packet.end()));
  // Then all ten samples, with no byte of the next packet.
  for (int i = 10; i < 20; ++i) {
    ASSERT_EQ(meter->DataAvailable(), 1) << i;
    ASSERT_EQ(meter->Read(line), status::kOk) << i;
    EXPECT_EQ(line.status, status::kOk);
    EXPECT_EQ(line.time, i * 10);
  }
  EXPECT_EQ(meter->DataAvailable(), 0);
  EXPECT_EQ(meter->GetLostCount(), 0);
}

// What the line held when the user asked for samples (a calibration
// started with the editor open for minutes) was measured before: it is
// thrown away, the packet begun, the decoder's bytes and the line's queue,
// and the next sample is the first of a packet that came after.
TEST_F(LiveMeterTest, InputDiscardedBeforeTheUserAskedIsNeverRead) {
  auto meter = OpenLive();
  ASSERT_TRUE(meter);
  SourceLine line(kNerit);
  ASSERT_EQ(meter->Read(line), status::kOk);  // one sample of the first packet begun
  fake.Feed(1, Good(10));
  fake.Feed(1, Good(20));
  fake.FeedFlushMark(1);  // what the kernel's queue held up to the discard
  fake.Feed(1, Good(30));
  ASSERT_EQ(meter->DiscardInput(), status::kOk);
  ASSERT_EQ(meter->Read(line), status::kOk);
  EXPECT_EQ(line.status, status::kOk);
  EXPECT_EQ(line.time, 300) << "the first sample of the packet that came after";
}

TEST_F(LiveMeterTest, AVanishedDeviceIsReportedByTheNextRead) {
  auto meter = OpenLive();
  ASSERT_TRUE(meter);
  fake.SetIoError(1, -151);
  // Not "no data, wait for the time-out": a read that says what happened.
  EXPECT_EQ(meter->DataAvailable(), 1);
  SourceLine line(kNerit);
  EXPECT_EQ(meter->Read(line), -151);
}

TEST_F(LiveMeterTest, NoiseAfterSynchronisingIsSkippedAndMissingSamplesAreCounted) {
  auto meter = OpenLive();
  ASSERT_TRUE(meter);
  fake.Feed(1, std::vector<std::uint8_t>(3000, 0x5A));
  fake.Feed(1, Good(10));
  // Two packets' worth of samples never arrived (a buffer overrun, say).
  fake.Feed(1, Good(40));
  SourceLine line(kNerit);
  int good = 0;
  for (int call = 0; call < 200 && good < 30; ++call) {
    if (meter->Read(line) == status::kOk && line.status == status::kOk) ++good;
  }
  EXPECT_EQ(good, 30);
  EXPECT_EQ(meter->GetLostCount(), 20);
  EXPECT_EQ(line.time, 490);  // counts 0 ... 49 from the first sample
}

// --- Models and factories ------------------------------------------------------

TEST(MeterModels, ConstantsAndTraceMaps) {
  test::TempDir dir;
  auto nerit = Meter::New<NeritMeter>(dir.File("x.dev"), "");
  auto pelag = Meter::New<PelagMeter>(dir.File("x.dev"), "");
  auto a = Meter::New<AMeter>(dir.File("x.dev"), "");
  auto c = Meter::New<CMeter>(dir.File("x.dev"), "");
  ASSERT_TRUE(nerit && pelag && a && c);

  TraceMap map;
  map.fill(9);
  EXPECT_EQ(nerit->GetTraceMap(map), 18);
  EXPECT_NE(map[6] & 2, 0);   // channel 6: absorption
  EXPECT_EQ(map[6] & 4, 0);
  EXPECT_NE(map[17] & 4, 0);  // channel 17: attenuation
  EXPECT_EQ(map[17] & 2, 0);
  EXPECT_EQ(map[18], 0);
  EXPECT_EQ(map[255], 0);

  EXPECT_EQ(pelag->GetTraceMap(map), 6);
  EXPECT_EQ((std::vector<int>(map.begin(), map.begin() + 7)), (std::vector<int>{3, 3, 3, 5, 5, 5, 0}));
  EXPECT_EQ(a->GetTraceMap(map), 3);
  EXPECT_EQ((std::vector<int>(map.begin(), map.begin() + 4)), (std::vector<int>{3, 3, 3, 0}));
  EXPECT_EQ(c->GetTraceMap(map), 3);
  EXPECT_EQ((std::vector<int>(map.begin(), map.begin() + 4)), (std::vector<int>{5, 5, 5, 0}));

  EXPECT_EQ(nerit->GetRefLineLen(), 171);
  EXPECT_EQ(nerit->GetDataLineLen(), 148);
  EXPECT_EQ(a->GetRefLineLen(), 51);
  EXPECT_EQ(c->GetDataLineLen(), 28);
  EXPECT_EQ(pelag->GetSamplesPerRec(), 10);
  EXPECT_EQ(pelag->GetInTraceCount(), 6);
  EXPECT_EQ(nerit->config()->traceCount, 18);
  EXPECT_EQ(a->config()->inTraceCount, 3);
  EXPECT_EQ(a->HasDiagnostics(), 0);
  EXPECT_EQ(a->Diagnostics(), status::kMeterNoDiagnostics);
  // The nine-wavelength meter has a self-test, which needs a connection.
  EXPECT_EQ(nerit->Diagnostics(), status::kNotConnected);
  EXPECT_EQ(a->GetPortType(), 0);
}

TEST(MeterModels, OnlyTheNineWavelengthMeterReadsTheCapabilityBit) {
  test::TempDir dir;
  auto nerit = Meter::New<NeritMeter>(dir.File("x.dev"), "");
  auto pelag = Meter::New<PelagMeter>(dir.File("x.dev"), "");
  EXPECT_EQ(nerit->HasExtTemp(), 0);
  nerit->meterConfig()->auxCapabilities = 3;
  pelag->meterConfig()->auxCapabilities = 3;
  EXPECT_EQ(nerit->HasExtTemp(), 1);
  EXPECT_EQ(pelag->HasExtTemp(), 0);
  nerit->meterConfig()->auxCapabilities = 2;
  EXPECT_EQ(nerit->HasExtTemp(), 0);
}

TEST(MeterModels, BaseDefaultsSayNotOffered) {
  class Bare : public Meter {
   public:
    using Meter::Meter;
  };
  test::TempDir dir;
  auto bare = Meter::New<Bare>(dir.File("x.dev"), "");
  ASSERT_TRUE(bare);
  TraceMap map{};
  std::unique_ptr<DataFile> file;
  EXPECT_EQ(bare->GetRefLineLen(), -10301);
  EXPECT_EQ(bare->GetDataLineLen(), -10302);
  EXPECT_EQ(bare->GetSamplesPerRec(), -10303);
  EXPECT_EQ(bare->GetTraceCount(), -10304);
  EXPECT_EQ(bare->GetInTraceCount(), -10305);
  EXPECT_EQ(bare->GetTraceMap(map), -10305);
  EXPECT_EQ(bare->NewDataFile(file, "x"), -10306);
  EXPECT_EQ(file, nullptr);
}

class FactoryTest : public test::HeadlessTest {};

TEST_F(FactoryTest, DeviceTypeSelectsTheMeterClass) {
  std::unique_ptr<Source> source;
  for (std::uint32_t type : {0u, 4u, 10u, 12u}) {
    const std::string dev = test::WriteTextFile(HomeFile("n.dev"), test::MeterDeviceText(type << 24 | 7, 18));
    ASSERT_EQ(NewSource(source, kSourceKindDevice, dev, "COM1"), status::kOk) << type;
    EXPECT_NE(dynamic_cast<NeritMeter*>(source.get()), nullptr) << type;
    EXPECT_EQ(source->portname(), "COM1");
  }
  const struct {
    std::uint32_t type;
    int traces;
  } others[] = {{3, 6}, {6, 3}, {7, 3}};
  for (const auto& other : others) {
    const std::string dev =
        test::WriteTextFile(HomeFile("m.dev"), test::MeterDeviceText(other.type << 24 | 7, other.traces));
    ASSERT_EQ(NewMeter(source, dev, ""), status::kOk);
    EXPECT_EQ(source->GetTraceCount(), other.traces);
  }
  ASSERT_EQ(NewMeter(source, test::WriteTextFile(HomeFile("p.dev"), test::MeterDeviceText(0x03000001, 6)), ""),
            status::kOk);
  EXPECT_NE(dynamic_cast<PelagMeter*>(source.get()), nullptr);

  for (std::uint32_t type : {5u, 2u, 255u}) {
    const std::string dev = test::WriteTextFile(HomeFile("x.dev"), test::MeterDeviceText(type << 24 | 7, 18));
    EXPECT_EQ(NewSource(source, kSourceKindDevice, dev, ""), status::kBadConfigFormat) << type;
    EXPECT_EQ(source, nullptr);
  }
  EXPECT_EQ(NewSource(source, kSourceKindDevice, HomeFile("missing.dev"), ""), status::kBadConfigFormat);
  EXPECT_EQ(NewSource(source, 3, HomeFile("x.dev"), ""), status::kBadArgument);
  EXPECT_EQ(NewSource(source, 0, HomeFile("x.dev"), ""), status::kBadArgument);
}

// One row of classes per model: the meter of each absorption/attenuation
// type is its own class, and every known type gets its configuration class
// with the type's trace counts.
TEST_F(FactoryTest, EachModelRowMakesItsOwnClasses) {
  std::unique_ptr<Source> source;
  const auto meterOf = [&](std::uint32_t type, int traces) {
    const std::string dev = test::WriteTextFile(HomeFile("m.dev"), test::MeterDeviceText(type << 24 | 7, traces));
    EXPECT_EQ(NewMeter(source, dev, ""), status::kOk) << type;
    return source.get();
  };
  EXPECT_NE(dynamic_cast<AMeter*>(meterOf(6, 3)), nullptr);
  EXPECT_NE(dynamic_cast<CMeter*>(meterOf(7, 3)), nullptr);
  EXPECT_NE(dynamic_cast<PelagMeter*>(meterOf(3, 6)), nullptr);
  EXPECT_NE(dynamic_cast<NeritMeter*>(meterOf(4, 18)), nullptr);

  const struct {
    int type;
    int traces, inTraces;
    bool hyperspectral;
  } configs[] = {{4, 18, 18, false}, {3, 6, 6, false}, {6, 3, 3, false}, {7, 3, 3, false},
                 {83, 200, 100, true}, {241, 200, 100, true}};
  for (const auto& c : configs) {
    std::unique_ptr<Config> config;
    ASSERT_EQ(NewConfig(config, c.type), status::kOk) << c.type;
    EXPECT_EQ(dynamic_cast<BenthMeterConfig*>(config.get()) != nullptr, c.hyperspectral) << c.type;
    EXPECT_EQ(dynamic_cast<MeterConfig*>(config.get()) != nullptr, !c.hyperspectral) << c.type;
    EXPECT_EQ(config->traceCount, c.traces) << c.type;
    EXPECT_EQ(config->inTraceCount, c.inTraces) << c.type;
  }
  std::unique_ptr<Config> none;
  EXPECT_EQ(NewConfig(none, 5), status::kConfigDeviceType);
  EXPECT_EQ(none, nullptr);
}

TEST_F(FactoryTest, NewDataFileGivesTheModelsFileWithACopyOfTheConfiguration) {
  const std::string dev = test::WriteTextFile(HomeFile("p.dev"), test::MeterDeviceText(0x03000001, 6));
  auto pelag = Meter::New<PelagMeter>(dev, "");
  ASSERT_EQ(pelag->Open(), status::kOk);
  std::unique_ptr<DataFile> file;
  ASSERT_EQ(pelag->NewDataFile(file, HomeFile("Sondrix.tmp")), status::kOk);
  auto* pelagFile = dynamic_cast<PelagFile*>(file.get());
  ASSERT_NE(pelagFile, nullptr);
  EXPECT_EQ(pelagFile->GetTraceCount(), pelag->GetTraceCount());
  EXPECT_EQ(pelagFile->filename(), HomeFile("Sondrix.tmp"));
  EXPECT_EQ(pelagFile->portname(), "");
  EXPECT_EQ(pelagFile->GetSerialnum(), 0x03000001u);
  std::string heading;
  EXPECT_EQ(pelagFile->GetHeading(5, heading), status::kOk);
  EXPECT_EQ(heading, "c450");

  const std::string adev = test::WriteTextFile(HomeFile("a.dev"), test::MeterDeviceText(0x06000001, 3));
  auto a = Meter::New<AMeter>(adev, "");
  ASSERT_EQ(a->Open(), status::kOk);
  ASSERT_EQ(a->NewDataFile(file, HomeFile("a.tmp")), status::kOk);
  EXPECT_NE(dynamic_cast<AFile*>(file.get()), nullptr);
  auto c = Meter::New<CMeter>(adev, "");
  ASSERT_EQ(c->NewDataFile(file, HomeFile("c.tmp")), status::kOk);
  EXPECT_NE(dynamic_cast<CFile*>(file.get()), nullptr);
  auto nerit = Meter::New<NeritMeter>(adev, "");
  ASSERT_EQ(nerit->NewDataFile(file, HomeFile("n.tmp")), status::kOk);
  EXPECT_NE(dynamic_cast<NeritFile*>(file.get()), nullptr);
}

}  // namespace
}  // namespace sondrix
