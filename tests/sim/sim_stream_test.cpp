// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's stream read by the program's own decoder (BinBuffer over a
// replayed capture): every packet arrives, faults cost exactly the samples
// they should, and the header fields describe the simulated instrument.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "io/bin_buffer.h"
#include "io/raw_file_port.h"
#include "sim/simulator.h"
#include "sim_test_env.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

struct Decoded {
  long long packets = 0;  // good packets read
  long long good = 0;     // samples
  long long lost = 0;
  std::vector<std::uint32_t> serials;  // per good packet
  std::vector<double> rates;
  std::vector<double> temps;
  std::vector<double> pressures;
  std::vector<double> extTemps;
  std::vector<std::int32_t> times;  // every good sample's time count
  Status end = 0;                   // the result that ended the replay
};

Decoded DecodeAll(const std::string& path, int channels, int samples) {
  Decoded d;
  RawFilPort port;
  EXPECT_EQ(port.SetName(path), status::kOk);
  EXPECT_EQ(port.Open(0), status::kOk);
  std::unique_ptr<BinBuffer> buffer;
  EXPECT_EQ(BinBuffer::New(buffer, port, channels, samples), status::kOk);
  if (!buffer) return d;
  for (;;) {
    int last = -1;
    d.end = buffer->ReadRecord(last);
    if (d.end != status::kOk) break;
    // Lost samples come first, then the good packet's own (if any).
    for (int i = 0; i <= last; ++i) {
      const DataSample* sample = buffer->GetDatap(i);
      if (sample->status == 1) {
        ++d.good;
        d.times.push_back(static_cast<std::int32_t>(sample->count));
      } else {
        ++d.lost;
      }
    }
    if (buffer->GetDatap(last)->status == 1) {
      ++d.packets;
      const RefBlock* refs = buffer->GetRefp();
      d.serials.push_back(refs->serial);
      d.rates.push_back(refs->sampleRate);
      d.temps.push_back(refs->temp);
      d.pressures.push_back(refs->pressure);
      d.extTemps.push_back(refs->extTemp);
    }
  }
  port.Close();
  return d;
}

class SimStream : public ::testing::Test {
 protected:
  std::string Capture() const { return dir.File("stream.raw"); }
  test::TempDir dir;
};

TEST_F(SimStream, EveryModelsStreamDecodesWithoutLoss) {
  for (const std::string& name : test::kMeterExamples) {
    SCOPED_TRACE(name);
    sim::SimDevice device = test::LoadExample(name);
    ASSERT_TRUE(device.config);
    sim::Simulator sim(*device.config, *device.model, sim::SimSettings{});
    const auto bytes = test::WriteStream(sim, 120, Capture());
    EXPECT_EQ(bytes.size(), 120u * static_cast<std::size_t>(sim.PacketLength() + 4));

    const Decoded d = DecodeAll(Capture(), sim.Channels(), sim.SamplesPerPacket());
    EXPECT_EQ(d.end, status::kUnexpectedEof);
    EXPECT_EQ(d.packets, 120);
    EXPECT_EQ(d.lost, 0);
    EXPECT_EQ(d.good, 1200);
    // The instrument's serial number is the whole word of its file.
    EXPECT_TRUE(std::all_of(d.serials.begin(), d.serials.end(),
                            [&](std::uint32_t s) { return s == device.config->serialnum; }));
    // About six samples a second.
    EXPECT_NEAR(d.rates.front(), 6.0, 0.01);
    EXPECT_EQ(sim.Period(), 5274);
  }
}

TEST_F(SimStream, FaultsCostExactlyTheSamplesAskedFor) {
  sim::SimDevice device = test::LoadExample("nerit-9wl");
  ASSERT_TRUE(device.config);
  sim::SimSettings settings;
  settings.faults.badChecksum = 7;
  settings.faults.badLength = 11;
  settings.faults.noise = 3;
  settings.faults.wrongSerial = 5;
  sim::Simulator sim(*device.config, *device.model, settings);
  test::WriteStream(sim, 200, Capture());

  const sim::SimCounts& c = sim.Counts();
  EXPECT_EQ(c.badChecksums, 200 / 7);
  EXPECT_EQ(c.badLengths, 200 / 11);
  EXPECT_EQ(c.noiseBursts, 200 / 3);
  EXPECT_EQ(c.wrongSerials, 200 / 5);
  // Packets 77 and 154 carry both faults and lose their ten samples once.
  EXPECT_EQ(c.lostSamples, 10 * (200 / 7 + 200 / 11 - 200 / 77));

  const Decoded d = DecodeAll(Capture(), sim.Channels(), sim.SamplesPerPacket());
  EXPECT_EQ(d.end, status::kUnexpectedEof);
  // Noise is skipped, and a damaged packet costs only its own samples.
  EXPECT_EQ(d.packets, 200 - c.lostSamples / 10);
  EXPECT_EQ(d.lost, c.lostSamples);
  EXPECT_EQ(d.good + d.lost, 2000);
  // Wrong serial numbers pass the decoder; they are another instrument's.
  const auto other = std::count(d.serials.begin(), d.serials.end(),
                                (device.config->serialnum & 0xFFFF0000u) |
                                    ((device.config->serialnum + 1) & 0xFFFFu));
  EXPECT_EQ(other, 200 / 5 - 200 / 35 - 200 / 55 + 200 / 385);
}

TEST_F(SimStream, NoiseNeverFormsTheSyncPattern) {
  sim::SimDevice device = test::LoadExample("ameter");
  ASSERT_TRUE(device.config);
  sim::SimSettings settings;
  settings.faults.noise = 1;
  settings.faults.badLength = 2;
  for (std::uint64_t seed : {1ULL, 2ULL, 99ULL}) {
    settings.seed = seed;
    sim::Simulator sim(*device.config, *device.model, settings);
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < 300; ++i) {
      const sim::Emission& e = sim.Next();
      ASSERT_GE(e.noiseBytes, 1);
      ASSERT_LE(e.noiseBytes, 20);
      for (int k = 0; k < e.noiseBytes; ++k) {
        ASSERT_NE(e.bytes[static_cast<std::size_t>(k)], 0x00);
        ASSERT_NE(e.bytes[static_cast<std::size_t>(k)], 0xFF);
      }
      stream.insert(stream.end(), e.bytes.begin(), e.bytes.end());
    }
    // The pattern shows only where a packet starts.
    long long found = 0;
    for (std::size_t i = 0; i + 4 <= stream.size(); ++i) {
      if (stream[i] == 0x00 && stream[i + 1] == 0xFF && stream[i + 2] == 0x00 &&
          stream[i + 3] == 0xFF) {
        ++found;
      }
    }
    EXPECT_EQ(found, 300);
  }
}

TEST_F(SimStream, TimeCounterAdvancesInHundredthsAndWraps) {
  sim::SimDevice device = test::LoadExample("cmeter");
  ASSERT_TRUE(device.config);
  sim::SimSettings settings;
  settings.timeStart = 65000;
  sim::Simulator sim(*device.config, *device.model, settings);
  test::WriteStream(sim, 20, Capture());
  const Decoded d = DecodeAll(Capture(), sim.Channels(), sim.SamplesPerPacket());
  ASSERT_EQ(d.times.size(), 200u);
  EXPECT_EQ(d.times.front(), 65000);
  int wraps = 0;
  for (std::size_t i = 1; i < d.times.size(); ++i) {
    const int step = (d.times[i] - d.times[i - 1] + 65536) % 65536;
    // 5274 periods of 31.6 us: 16.67 hundredths a sample.
    EXPECT_TRUE(step == 16 || step == 17) << "at " << i << ": " << step;
    if (d.times[i] < d.times[i - 1]) ++wraps;
  }
  EXPECT_EQ(wraps, 1);
  // 199 samples later the counter has run 199 * 16.665 hundredths on.
  EXPECT_EQ(d.times.back(), (65000 + 199 * 5274 * 316 / 100000) % 65536);
}

// Packets the instrument took but the program never heard (a line that was
// unplugged) are counted lost from the time counter exactly, at every rate
// up to 97 samples a second, where a sample lasts less than two counts and
// each count is cut to whole hundredths, and for every length of gap: the
// simulator's own record of what it left out is the truth.
TEST_F(SimStream, UnsentPacketsAreCountedLostExactlyAtEveryRateAndGap) {
  sim::SimDevice device = test::LoadExample("cmeter");
  ASSERT_TRUE(device.config);
  const int gaps[] = {1, 2, 3, 5, 7, 11, 18, 19, 23, 40};
  for (const double rate : {6.0, 30.0, 55.0, 60.0, 75.0, 90.0, 97.0}) {
    SCOPED_TRACE(rate);
    sim::SimSettings settings;
    settings.rate = rate;
    settings.timeStart = 60000;  // the counter wraps within the run
    sim::Simulator sim(*device.config, *device.model, settings);
    // Four packets sent, then a gap, each gap length several times, so
    // that the gaps fall on every phase of the counter's hundredths.
    std::vector<std::uint8_t> bytes;
    std::vector<int> unsentBefore;  // per packet sent: the samples left out in front of it
    int unsent = 0;
    for (int round = 0; round < 6; ++round) {
      for (const int gap : gaps) {
        for (int k = 0; k < 4; ++k) {
          const sim::Emission& e = sim.Next();
          bytes.insert(bytes.end(), e.bytes.begin(), e.bytes.end());
          unsentBefore.push_back(unsent);
          unsent = 0;
        }
        for (int k = 0; k < gap; ++k) unsent += sim.Next().samples;
      }
    }
    std::ofstream(Capture(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

    RawFilPort port;
    ASSERT_EQ(port.SetName(Capture()), status::kOk);
    ASSERT_EQ(port.Open(0), status::kOk);
    std::unique_ptr<BinBuffer> buffer;
    ASSERT_EQ(BinBuffer::New(buffer, port, sim.Channels(), sim.SamplesPerPacket()), status::kOk);
    std::vector<int> lostBefore;
    int last = -1;
    while (buffer->ReadRecord(last) == status::kOk) {
      int lost = 0;
      for (int i = 0; i <= last; ++i) lost += buffer->GetDatap(i)->status == 1 ? 0 : 1;
      lostBefore.push_back(lost);
    }
    port.Close();
    ASSERT_EQ(lostBefore.size(), unsentBefore.size());
    for (std::size_t i = 0; i < lostBefore.size(); ++i)
      ASSERT_EQ(lostBefore[i], unsentBefore[i]) << "in front of sent packet " << i;
  }
}

TEST_F(SimStream, RateOptionSetsThePeriodCount) {
  EXPECT_EQ(sim::PeriodCount(6.0), 5274);
  EXPECT_EQ(sim::PeriodCount(20.0), 1582);
  EXPECT_EQ(sim::PeriodCount(0.0), 0);
  EXPECT_EQ(sim::PeriodCount(0.4), 0);  // the count would not fit 16 bits
  EXPECT_NEAR(sim::RateOfPeriod(1582), 20.0, 0.01);

  sim::SimDevice device = test::LoadExample("pelag-3wl");
  ASSERT_TRUE(device.config);
  sim::SimSettings settings;
  settings.rate = 20.0;
  sim::Simulator sim(*device.config, *device.model, settings);
  EXPECT_NEAR(sim.PacketSeconds(), 0.5, 0.001);
  EXPECT_EQ(sim.PacketsFor(10.0), 20);
  test::WriteStream(sim, 3, Capture());
  const Decoded d = DecodeAll(Capture(), sim.Channels(), sim.SamplesPerPacket());
  ASSERT_EQ(d.rates.size(), 3u);
  EXPECT_DOUBLE_EQ(d.rates[0], sim::RateOfPeriod(1582));
}

TEST_F(SimStream, DepthDivesAndTheWaterIsWarmerAtTheSurface) {
  sim::SimDevice device = test::LoadExample("nerit-9wl");
  ASSERT_TRUE(device.config);
  sim::SimSettings settings;  // 50 m every 240 s
  sim::Simulator sim(*device.config, *device.model, settings);
  // 240 s at 6 Hz: 144 packets of ten samples.
  test::WriteStream(sim, 144, Capture());
  const Decoded d = DecodeAll(Capture(), sim.Channels(), sim.SamplesPerPacket());
  ASSERT_EQ(d.pressures.size(), 144u);
  std::vector<double> depth;
  for (double count : d.pressures) {
    depth.push_back(count * device.config->depthScale + device.config->depthOffset);
  }
  const auto deepest = std::max_element(depth.begin(), depth.end()) - depth.begin();
  EXPECT_NEAR(depth.front(), 0.0, 0.01);
  EXPECT_NEAR(depth[static_cast<std::size_t>(deepest)], 50.0, 0.05);
  EXPECT_NEAR(static_cast<double>(deepest), 72.0, 1.0);  // half way
  EXPECT_LT(depth.back(), 0.2);
  for (std::size_t i = 1; i < static_cast<std::size_t>(deepest); ++i) {
    EXPECT_GE(depth[i], depth[i - 1]);  // down ...
    EXPECT_LE(d.extTemps[i], d.extTemps[i - 1]);  // ... into colder water
  }
  EXPECT_NEAR(d.extTemps.front(), 18.0, 0.01);
  EXPECT_LT(d.extTemps[static_cast<std::size_t>(deepest)], 8.0);
}

TEST_F(SimStream, InternalTemperatureDriftsAcrossTheBinsWhereAnInstrumentIsWarm) {
  sim::SimDevice device = test::LoadExample("pelag-3wl");  // bins 5 ... 25
  ASSERT_TRUE(device.config);
  double low = 0.0;
  double high = 0.0;
  sim::TemperatureRange(*device.config, low, high);
  EXPECT_EQ(low, 15.0);
  EXPECT_EQ(high, 25.0);
  sim::SimSettings settings;
  settings.rate = 100.0;        // 10 packets a second
  settings.driftSeconds = 60.0;  // one swing in 600 packets
  sim::Simulator sim(*device.config, *device.model, settings);
  test::WriteStream(sim, 600, Capture());
  const Decoded d = DecodeAll(Capture(), sim.Channels(), sim.SamplesPerPacket());
  ASSERT_EQ(d.temps.size(), 600u);
  // The first packet already reads a warm instrument, as the program
  // converts its count.
  EXPECT_NEAR(d.temps.front(), 15.0, 0.1);
  const auto [coolest, warmest] = std::minmax_element(d.temps.begin(), d.temps.end());
  EXPECT_NEAR(*coolest, 15.0, 0.1);
  EXPECT_NEAR(*warmest, 25.0, 0.1);
  double largestStep = 0.0;
  for (std::size_t i = 1; i < d.temps.size(); ++i) {
    largestStep = std::max(largestStep, std::fabs(d.temps[i] - d.temps[i - 1]));
  }
  EXPECT_LT(largestStep, 0.3);  // slowly

  // Version 0 files have no bins: 15 ... 35 degrees.
  sim::SimDevice linear = test::LoadExample("ameter");
  ASSERT_TRUE(linear.config);
  sim::TemperatureRange(*linear.config, low, high);
  EXPECT_EQ(low, 15.0);
  EXPECT_EQ(high, 35.0);
}

TEST(SimTemperatureRange, NeverLeavesTheRangeOfAWarmInstrument) {
  double low = 0.0;
  double high = 0.0;
  // A table from freezing water up: the instrument stays in its warm part.
  const std::vector<double> cold = {0.0, 4.0, 8.0, 12.0, 16.0, 20.0, 25.0, 30.0};
  sim::TemperatureRange(cold, low, high);
  EXPECT_EQ(low, 15.0);
  EXPECT_EQ(high, 30.0);
  // A table wider than the instrument's range.
  sim::TemperatureRange(std::vector<double>{-5.0, 50.0}, low, high);
  EXPECT_EQ(low, 15.0);
  EXPECT_EQ(high, 35.0);
  // A table wholly below it, one bin only, bins that do not ascend or are
  // not numbers: the instrument's own range.
  for (const std::vector<double>& bins : std::vector<std::vector<double>>{
           {0.0, 10.0}, {20.0}, {25.0, 20.0}, {std::nan(""), 30.0}, {}}) {
    sim::TemperatureRange(bins, low, high);
    EXPECT_EQ(low, 15.0);
    EXPECT_EQ(high, 35.0);
  }
}

TEST(SimTemperatureRange, HyperspectralMeterDriftsInsideItsWarmBins) {
  sim::SimDevice device = test::LoadExample("benth-100wl");  // bins 4 ... 28
  ASSERT_TRUE(device.benth);
  double low = 0.0;
  double high = 0.0;
  sim::TemperatureRange(*device.benth, low, high);
  EXPECT_EQ(low, 15.0);
  EXPECT_EQ(high, 28.0);
}

TEST_F(SimStream, SameSeedSameBytesAndFaultsLeaveTheSignalAlone) {
  sim::SimDevice device = test::LoadExample("pelag-3wl");
  ASSERT_TRUE(device.config);
  sim::SimSettings settings;
  settings.seed = 42;
  sim::Simulator first(*device.config, *device.model, settings);
  sim::Simulator second(*device.config, *device.model, settings);
  settings.seed = 43;
  sim::Simulator other(*device.config, *device.model, settings);
  settings.seed = 42;
  settings.faults.noise = 2;
  sim::Simulator noisy(*device.config, *device.model, settings);
  for (int i = 0; i < 50; ++i) {
    const std::vector<std::uint8_t> a = first.Next().bytes;
    EXPECT_EQ(a, second.Next().bytes);
    EXPECT_NE(a, other.Next().bytes);
    const sim::Emission& n = noisy.Next();
    // The same packet behind the noise bytes.
    ASSERT_EQ(n.bytes.size(), a.size() + static_cast<std::size_t>(n.noiseBytes));
    EXPECT_TRUE(std::equal(a.begin(), a.end(), n.bytes.begin() + n.noiseBytes));
  }
}

TEST(SimDevice, RefusesWhatItCannotSimulate) {
  test::TempDir dir;
  sim::SimDevice device;
  std::string error;
  EXPECT_EQ(sim::LoadDevice(dir.File("missing.dev"), device, error), status::kCantOpenFile);
  EXPECT_NE(error.find("missing.dev"), std::string::npos);

  const std::string header =
      "\t; Serial number\n1\t; structure version number\nReserved\n"
      "0.0\t0.0035\t; Depth calibration\n9600\t; Baud rate\n";
  const std::string traces = "0\t; bins\n\t; temperature bins\na440 17 0.0\na550 62 0.0\n"
                             "a676 114 0.0\n";
  test::WriteTextFile(dir.File("benth.dev"), "Benth\n53000001" + header + "0.25\n" + traces);
  // A hyperspectral file is read as one: this one has no skip value.
  EXPECT_EQ(sim::LoadDevice(dir.File("benth.dev"), device, error), status::kConfigSkip);
  EXPECT_NE(error.find("skip value"), std::string::npos) << error;

  test::WriteTextFile(dir.File("unknown.dev"), "Unknown\n22000001" + header + "0.25\n" + traces);
  EXPECT_EQ(sim::LoadDevice(dir.File("unknown.dev"), device, error), status::kBadDeviceType);

  test::WriteTextFile(dir.File("flat.dev"), "Flat\n06000001" + header + "0.0\n" + traces);
  EXPECT_EQ(sim::LoadDevice(dir.File("flat.dev"), device, error), status::kConfigPathLength);
  EXPECT_NE(error.find("pathlength"), std::string::npos) << error;

  test::WriteTextFile(dir.File("ok.dev"), "Fine\n06000001" + header + "0.25\n" + traces);
  EXPECT_EQ(sim::LoadDevice(dir.File("ok.dev"), device, error), status::kOk) << error;
  ASSERT_NE(device.model, nullptr);
  EXPECT_EQ(device.model->model, Model::AMeter);
}

}  // namespace
}  // namespace sondrix
