// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's stream read by the program's meters (NewMeter on the
// example device files, replaying a capture): the calibrated values land on
// the simulated spectrum, the depth follows the dive, the time axis runs on
// across the counter's wrap, and faults cost exactly what they should.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "meter/source_factory.h"
#include "sim/simulator.h"
#include "sim_test_env.h"
#include "source/source.h"
#include "source/source_line.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

struct Replay {
  Status reset = 0;
  Status end = 0;
  long long good = 0;
  long long lost = 0;
  std::vector<SourceLine> lines;  // the good ones
};

class SimMeter : public test::HeadlessTest {
 protected:
  std::string Capture() const { return HomeFile("capture.raw"); }

  // Replays the capture through the meter of the device file until its end.
  Replay Run(const std::string& deviceFile, const std::string& capture) {
    Replay r;
    std::unique_ptr<Source> meter;
    EXPECT_EQ(NewMeter(meter, deviceFile, capture), status::kOk);
    if (!meter) return r;
    EXPECT_EQ(meter->Open(), status::kOk);
    r.reset = meter->Reset();
    if (r.reset != status::kOk) return r;
    SourceLine line(meter->GetTraceCount());
    for (;;) {
      r.end = meter->ReadData(line);
      if (r.end != status::kOk) break;
      if (line.status == 1) {
        ++r.good;
        r.lines.push_back(line);
      } else {
        ++r.lost;
      }
    }
    meter->Close();
    return r;
  }
};

TEST_F(SimMeter, CalibratedValuesLandOnTheSpectrum) {
  for (const std::string& name : test::kMeterExamples) {
    SCOPED_TRACE(name);
    sim::SimDevice device = test::LoadExample(name);
    ASSERT_TRUE(device.config);
    sim::SimSettings settings;
    settings.rate = 50.0;           // a whole dive in 1200 packets
    settings.driftSeconds = 120.0;  // and the instrument through its bins twice
    sim::Simulator sim(*device.config, *device.model, settings);
    test::WriteStream(sim, 1200, Capture());

    const Replay r = Run(test::ExampleDevice(name), Capture());
    ASSERT_EQ(r.reset, status::kOk);
    EXPECT_EQ(r.end, status::kUnexpectedEof);
    // The packet the reset synchronises on counts as every later one does.
    EXPECT_EQ(r.lost, 0);
    EXPECT_EQ(r.good, 1200 * 10);

    const MeterConfig& config = *device.config;
    const int n = device.model->inTraceCount;
    // Noise is cut at 3 sigma; the 24-bit counts add a little more.
    const double tolerance = 3.0 * settings.valueNoise + 2e-4;
    double deepest = 0.0;
    std::map<double, double> meanA;
    std::map<double, double> meanC;
    for (const SourceLine& line : r.lines) {
      deepest = std::max(deepest, line.depth);
      ASSERT_GE(line.depth, -0.01);
      ASSERT_LE(line.depth, settings.maxDepth + 0.01);
      for (int i = 0; i < n; ++i) {
        const auto t = static_cast<std::size_t>(i);
        const double nm = config.traces[t].wavelength;
        const bool isC = (device.model->traceMap[t] & 4) != 0;
        const double target = isC ? sim::TargetAttenuation(nm, line.depth, settings.maxDepth)
                                  : sim::TargetAbsorption(nm, line.depth, settings.maxDepth);
        ASSERT_NEAR(line.values[t], target, tolerance)
            << config.traces[t].name << " at " << line.temperature << " degrees, "
            << line.depth << " m";
        (isC ? meanC : meanA)[nm] += line.values[t] / static_cast<double>(r.good);
      }
    }
    EXPECT_GT(deepest, settings.maxDepth - 0.5);
    // Higher at short wavelengths, and C above A.
    for (const auto* means : {&meanA, &meanC}) {
      if (means->size() < 2) continue;
      EXPECT_GT(means->begin()->second, means->rbegin()->second + 0.05);
    }
    for (const auto& [nm, a] : meanA) {
      if (meanC.count(nm) != 0) {
        EXPECT_GT(meanC[nm], a + 0.1);
      }
    }
  }
}

TEST_F(SimMeter, TemperatureCorrectionIsUndoneAcrossTheWholeBinRange) {
  // With no noise the only error left is that of the counts, so a mistaken
  // temperature term (wrong bin, wrong sign) would show at once.
  sim::SimDevice device = test::LoadExample("nerit-9wl");  // bins 0 ... 30, large a715 terms
  ASSERT_TRUE(device.config);
  auto replay = [&](const sim::SimSettings& settings, double& coolest, double& warmest) {
    sim::Simulator sim(*device.config, *device.model, settings);
    test::WriteStream(sim, 300, Capture());
    const Replay r = Run(test::ExampleDevice("nerit-9wl"), Capture());
    ASSERT_EQ(r.reset, status::kOk);
    ASSERT_EQ(r.good, 3000);
    coolest = 100.0;
    warmest = -100.0;
    for (const SourceLine& line : r.lines) {
      coolest = std::min(coolest, line.temperature);
      warmest = std::max(warmest, line.temperature);
      for (int i = 0; i < 18; ++i) {
        const auto t = static_cast<std::size_t>(i);
        const double nm = device.config->traces[t].wavelength;
        const double target = (device.model->traceMap[t] & 4) != 0
                                  ? sim::TargetAttenuation(nm, line.depth, settings.maxDepth)
                                  : sim::TargetAbsorption(nm, line.depth, settings.maxDepth);
        ASSERT_NEAR(line.values[t], target, 1e-4) << device.config->traces[t].name << " at " << line.temperature;
      }
    }
  };
  sim::SimSettings settings;
  settings.rate = 100.0;
  settings.driftSeconds = 30.0;
  settings.valueNoise = 0.0;
  double coolest = 0.0;
  double warmest = 0.0;
  // The drift covers the warm part of the table, where an instrument lives...
  replay(settings, coolest, warmest);
  EXPECT_LT(coolest, 15.2);
  EXPECT_GT(warmest, 29.8);
  // ... and a sensor held cold covers the rest, the first bin included.
  settings.limits.fixedTemp = true;
  for (const double held : {0.0, 2.0, 6.0, 11.0}) {
    settings.limits.internalTemp = held;
    replay(settings, coolest, warmest);
    EXPECT_NEAR(coolest, held, 0.1);
    EXPECT_NEAR(warmest, held, 0.1);
  }
}

TEST_F(SimMeter, FaultsCostTheMeterExactlyTheirSamples) {
  sim::SimDevice device = test::LoadExample("pelag-3wl");
  ASSERT_TRUE(device.config);
  sim::SimSettings settings;
  settings.faults.badChecksum = 9;
  settings.faults.badLength = 13;
  settings.faults.noise = 4;
  sim::Simulator sim(*device.config, *device.model, settings);
  test::WriteStream(sim, 250, Capture());
  const Replay r = Run(test::ExampleDevice("pelag-3wl"), Capture());
  ASSERT_EQ(r.reset, status::kOk);
  EXPECT_EQ(r.lost, sim.Counts().lostSamples);
  EXPECT_EQ(r.lost, 10 * (250 / 9 + 250 / 13 - 250 / 117));
  EXPECT_EQ(r.good + r.lost, 250 * 10);
}

TEST_F(SimMeter, ResetOnAnotherInstrumentsPacketReportsTheMismatch) {
  sim::SimDevice device = test::LoadExample("ameter");
  ASSERT_TRUE(device.config);
  sim::SimSettings settings;
  settings.faults.wrongSerial = 1;
  sim::Simulator sim(*device.config, *device.model, settings);
  test::WriteStream(sim, 5, Capture());
  EXPECT_EQ(Run(test::ExampleDevice("ameter"), Capture()).reset, status::kSerialMismatch);
}

TEST_F(SimMeter, TimeAxisRunsOnAcrossTheCounterWrap) {
  sim::SimDevice device = test::LoadExample("cmeter");
  ASSERT_TRUE(device.config);
  sim::SimSettings settings;
  settings.timeStart = 65400;
  sim::Simulator sim(*device.config, *device.model, settings);
  test::WriteStream(sim, 10, Capture());
  const Replay r = Run(test::ExampleDevice("cmeter"), Capture());
  ASSERT_EQ(r.reset, status::kOk);
  ASSERT_EQ(r.lines.size(), 100u);
  // The first sample read is the first sent; times are milliseconds.
  EXPECT_EQ(r.lines.front().time, 0);
  for (std::size_t i = 1; i < r.lines.size(); ++i) {
    const std::int32_t step = r.lines[i].time - r.lines[i - 1].time;
    EXPECT_TRUE(step == 160 || step == 170) << "at " << i << ": " << step;
  }
  const long long last = 99LL * 5274 * 316 / 100000;
  EXPECT_EQ(r.lines.back().time, last * 10);
}

TEST_F(SimMeter, BuildTimeCapturesReplay) {
  // name, packets, expected lost samples
  struct Expect {
    std::string name;
    long long packets;
    long long lost;
  };
  const std::vector<Expect> captures = {
      {"nerit-9wl", 300, 10 * (300 / 50)},
      {"pelag-3wl", 300, 10 * (300 / 40)},
      {"ameter", 200, 10 * (200 / 60)},
      {"cmeter", 200, 10 * (200 / 70)},
  };
  for (const Expect& e : captures) {
    SCOPED_TRACE(e.name);
    const std::string capture = test::kCaptureDir + "/" + e.name + ".raw";
    ASSERT_FALSE(test::ReadBytes(capture).empty()) << capture << " was not made";
    const Replay r = Run(test::ExampleDevice(e.name), capture);
    ASSERT_EQ(r.reset, status::kOk);
    EXPECT_EQ(r.lost, e.lost);
    EXPECT_EQ(r.good + r.lost, e.packets * 10);
  }
}

}  // namespace
}  // namespace sondrix
