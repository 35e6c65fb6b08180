// SPDX-License-Identifier: GPL-3.0-or-later
// The hyperspectral meter on replayed captures: counts from its
// configuration, the skip check at reset, its trace map, the A and C
// computation with its floor and temperature bins, the line it fills, and
// time stamps over long runs.
#include "meter/benth_meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/status.h"
#include "datafile/benth_file.h"
#include "io/benth_packet.h"
#include "meter/benth_fixtures.h"
#include "meter/source_factory.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

using test::BenthPacket;
using PacketSpec = test::BenthPacketSpec;
constexpr std::uint32_t kSerial = test::kBenthSerial;

std::string DeviceText(int version, int n, int skip = 1) { return test::BenthDeviceText(version, n, skip); }

std::vector<std::uint8_t> Packet(int n, const PacketSpec& spec) { return BenthPacket(n, spec); }

class BenthMeterTest : public test::HeadlessTest {
 protected:
  // Opens a meter of `deviceText` on a capture of `packets` and resets it.
  Status OpenOn(const std::string& deviceText, int n, const std::vector<PacketSpec>& packets) {
    std::string bytes;
    for (const PacketSpec& spec : packets) {
      const auto packet = Packet(n, spec);
      bytes.append(packet.begin(), packet.end());
    }
    test::WriteTextFile(dir.File("benth.raw"), bytes);
    test::WriteTextFile(dir.File("benth.dev"), deviceText);
    meter = Meter::New<BenthMeter>(dir.File("benth.dev"), dir.File("benth.raw"));
    if (!meter) return status::kOutOfMemory;
    const Status opened = meter->Open();
    if (opened != status::kOk) return opened;
    return meter->Reset();
  }

  test::TempDir dir;
  std::unique_ptr<BenthMeter> meter;
};

TEST_F(BenthMeterTest, CountsComeFromTheConfiguration) {
  test::WriteTextFile(dir.File("benth.dev"), DeviceText(3, 7));
  meter = Meter::New<BenthMeter>(dir.File("benth.dev"), "");
  EXPECT_EQ(meter->GetTraceCount(), 200);
  EXPECT_EQ(meter->GetInTraceCount(), 100);
  ASSERT_EQ(meter->Open(), status::kOk);
  EXPECT_EQ(meter->GetTraceCount(), 14);
  EXPECT_EQ(meter->GetInTraceCount(), 7);
  EXPECT_EQ(meter->GetSamplesPerRec(), 1);
  EXPECT_EQ(meter->HasDepth(), 1);
  EXPECT_EQ(meter->HasExtTemp(), 1);
  std::string heading;
  EXPECT_EQ(meter->GetHeading(7, heading), status::kOk);
  EXPECT_EQ(heading, "a401");
}

TEST_F(BenthMeterTest, FactoriesMakeTheHyperspectralClasses) {
  test::WriteTextFile(dir.File("benth.dev"), DeviceText(3, 2));
  std::unique_ptr<Source> source;
  ASSERT_EQ(NewSource(source, kSourceKindDevice, dir.File("benth.dev"), ""), status::kOk);
  EXPECT_NE(dynamic_cast<BenthMeter*>(source.get()), nullptr);
}

TEST_F(BenthMeterTest, ASkipValueTheInstrumentDoesNotShareIsRefused) {
  EXPECT_EQ(OpenOn(DeviceText(2, 100, 2), 100, {{.skip = 1}, {.skip = 1}}), status::kSkipMismatch);
  TraceMap map{};
  meter->GetTraceMap(map);
  EXPECT_EQ(map[1], 5);  // the instrument's value
  meter->Close();

  EXPECT_EQ(OpenOn(DeviceText(2, 100, 2), 100, {{.skip = 2}, {.skip = 2}}), status::kOk);
  meter->GetTraceMap(map);
  EXPECT_EQ(map[1], 0);
  EXPECT_EQ(map[102], 3);
  meter->Close();

  // A skip value outside 1 ... 4 maps nothing and is refused, whatever the file says.
  EXPECT_EQ(OpenOn(DeviceText(3, 3), 3, {{.skip = 200}, {.skip = 200}}), status::kSkipMismatch);
  meter->GetTraceMap(map);
  EXPECT_EQ(std::count(map.begin(), map.end(), 0), 256);
}

TEST_F(BenthMeterTest, ComputesAttenuationThenAbsorptionWithBinsAndAFloor) {
  ASSERT_EQ(OpenOn(DeviceText(3, 3), 3, {{}, {}}), status::kOk);
  TraceMap map{};
  meter->GetTraceMap(map);
  std::vector<double> out(6, -1.0);
  const std::vector<double> signal = {100, 0, 50, 100, 100, 0};
  const std::vector<double> refs = {100, 100, 100, 0, 100, 100};
  ASSERT_EQ(meter->ComputeAbsorb(3, out, signal, 15.0, refs, map), status::kOk);
  const double cCorr = 0.02;  // halfway between 0.01 and 0.03
  const double aCorr = 0.04;
  EXPECT_DOUBLE_EQ(out[0], 0.1 - cCorr);
  EXPECT_DOUBLE_EQ(out[1], 0.1 - std::log(0.0005) / 0.25 - cCorr);
  EXPECT_DOUBLE_EQ(out[2], 0.1 - std::log(0.5) / 0.25 - cCorr);
  EXPECT_TRUE(std::isnan(out[3]));  // no reference: no measurement, and no number (a lost line)
  EXPECT_DOUBLE_EQ(out[4], 0.2 - aCorr);
  EXPECT_DOUBLE_EQ(out[5], 0.2 - std::log(0.0005) / 0.25 - aCorr);
  // Beyond the bins the last pair extrapolates.
  meter->ComputeAbsorb(3, out, signal, 30.0, refs, map);
  EXPECT_NEAR(out[0], 0.1 - 0.05, 1e-12);

  meter->ComputeUnCorrAbsorb(3, out, signal, 15.0, refs, map);
  EXPECT_NEAR(out[0], -cCorr, 1e-12);
  EXPECT_NEAR(out[4], -aCorr, 1e-12);
  map[1] = 0;
  meter->ComputeAbsorb(3, out, signal, 15.0, refs, map);
  EXPECT_EQ(out[1], 0.0);
  EXPECT_EQ(out[4], 0.0);
}

TEST_F(BenthMeterTest, FillsTheLineAndItsTrailingText) {
  ASSERT_EQ(OpenOn(DeviceText(3, 2), 2, {{.time = 5000}, {.time = 5250, .signal = 15000}}),
            status::kOk);
  SourceLine line(4);
  // The packet the reset synchronised on: signal and reference alike.
  ASSERT_EQ(meter->ReadData(line), status::kOk);
  EXPECT_EQ(line.status, 1);
  EXPECT_EQ(line.time, 0);
  EXPECT_NEAR(line.values[0], 0.1 - 0.02, 1e-4);
  EXPECT_NEAR(line.values[2], 0.2 - 0.04, 1e-4);
  ASSERT_EQ(meter->ReadData(line), status::kOk);
  EXPECT_EQ(line.status, 1);
  EXPECT_EQ(line.time, 250);
  EXPECT_NEAR(line.values[0], 0.1 - std::log(0.5) / 0.25 - 0.02, 1e-4);  // 15 degrees
  EXPECT_NEAR(line.values[2], 0.2 - std::log(0.5) / 0.25 - 0.04, 1e-4);
  EXPECT_NEAR(line.temperature, 15.0, 0.01);
  EXPECT_NEAR(line.extTemperature, 12.0, 0.01);
  EXPECT_EQ(line.sampleRate, 7.0);  // type 4: the status word
  EXPECT_DOUBLE_EQ(line.depth, 0.5);
  char expected[128];
  std::snprintf(expected, sizeof expected, "%.2f\t7.0\t0.50\t%.2f\t300\t22\t-5\t6",
                line.temperature, line.extTemperature);
  EXPECT_EQ(line.tail, expected);
}

TEST_F(BenthMeterTest, TimeStampsFollowTheWrapAndGoOnAcrossARestart) {
  // The counter is in milliseconds and wraps at 2^32 ms; the last count
  // before the wrap is 500 ms short of it. After the wrap the instrument
  // restarts (its counter falls from 250 to 100, far from the top).
  const std::uint32_t start = 4294966796u;
  const std::vector<PacketSpec> packets = {{.time = start},     {.time = start + 250},
                                           {.time = 0},         {.time = 250},
                                           {.time = 100},       {.time = 350}};
  ASSERT_EQ(OpenOn(DeviceText(3, 1), 1, packets), status::kOk);
  SourceLine line(2);
  std::vector<std::int64_t> times;
  while (meter->ReadData(line) == status::kOk) times.push_back(line.time);
  // After the restart the line goes on one period (250 ms) on, moved to the
  // counter's phase within 10 ms so that the stamps follow its hundredths:
  // 750 + 250 + 4 ms lands at 1010.
  EXPECT_EQ(times, (std::vector<std::int64_t>{0, 250, 500, 750, 1010, 1260}));
  EXPECT_EQ(meter->GetStreamEvents().clockRestarts, 1);
}

TEST_F(BenthMeterTest, ADataFileHoldsTheHeadingsAndTheSkippedValues) {
  ASSERT_EQ(OpenOn(DeviceText(2, 100, 2), 100, {{.skip = 2}, {.skip = 2}, {.skip = 2}}),
            status::kOk);
  std::unique_ptr<DataFile> file;
  ASSERT_EQ(meter->NewDataFile(file, dir.File("run.tmp")), status::kOk);
  ASSERT_NE(dynamic_cast<BenthFile*>(file.get()), nullptr);
  ASSERT_EQ(file->OpenWrite(meter.get()), status::kOk);
  SourceLine line(200);
  ASSERT_EQ(meter->ReadData(line), status::kOk);
  ASSERT_EQ(file->WriteData(line), status::kOk);
  ASSERT_EQ(file->Close(), status::kOk);
  ASSERT_EQ(file->SaveAs(dir.File("run.dat")), status::kOk);

  const std::string text = test::ReadTextFile(dir.File("run.dat")).value_or("");
  EXPECT_NE(text.find("\tc400\tc403\t"), std::string::npos);
  EXPECT_NE(text.find("\ta400\ta403\t"), std::string::npos);
  const std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
  EXPECT_EQ(std::count(last.begin(), last.end(), '\t'), 100 + 8);  // 100 values, 8 in the tail

  std::unique_ptr<Source> replay;
  ASSERT_EQ(NewSource(replay, kSourceKindFile, dir.File("run.dat"), ""), status::kOk);
  ASSERT_EQ(replay->Open(), status::kOk);
  EXPECT_EQ(replay->GetTraceCount(), 200);
  SourceLine back(200);
  ASSERT_EQ(replay->ReadData(back), status::kOk);
  EXPECT_EQ(back.status, 1);
  EXPECT_NEAR(back.values[0], line.values[0], 1e-5);
  EXPECT_EQ(back.values[1], 0.0);
  EXPECT_NEAR(back.values[102], line.values[102], 1e-5);
  EXPECT_EQ(back.values[103], 0.0);
  replay->Close();
}

}  // namespace
}  // namespace sondrix
