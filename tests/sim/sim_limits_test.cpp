// SPDX-License-Identifier: GPL-3.0-or-later
// An instrument out of its self-test limits: what the meters read from the
// simulator's streams when it is asked for one (the nine-wavelength meter's
// reports on these streams are checked line by line in tests/cli).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "meter/meter.h"
#include "meter/source_factory.h"
#include "sim/benth_simulator.h"
#include "sim/simulator.h"
#include "sim_test_env.h"
#include "source/source.h"
#include "source/source_line.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

class SimLimits : public test::HeadlessTest {
 protected:
  // The meter of example `name` on `packets` packets of `stream`, reset;
  // null when it could not be opened.
  std::unique_ptr<Source> MeterOn(const std::string& name, sim::PacketStream& stream, int packets) {
    std::string bytes;
    for (int i = 0; i < packets; ++i) {
      const sim::Emission& e = stream.Next();
      bytes.append(e.bytes.begin(), e.bytes.end());
    }
    std::unique_ptr<Source> meter;
    const std::string capture = test::WriteTextFile(home.File(name + ".raw"), bytes);
    if (NewMeter(meter, test::ExampleDevice(name), capture) != status::kOk || meter->Open() != status::kOk ||
        meter->Reset() != status::kOk)
      return nullptr;
    return meter;
  }
};

TEST_F(SimLimits, CleanWaterDriftTemperatureAndDepthReachBothMeterFamilies) {
  sim::SimSettings settings;
  settings.valueNoise = 0.0;
  settings.maxDepth = 0.0;
  settings.limits.cleanWater = true;
  settings.limits.calDrift = 0.1;
  settings.limits.fixedTemp = true;
  settings.limits.internalTemp = 31.0;
  settings.limits.depthZero = 2.0;
  for (const char* name : {"nerit-9wl", "benth-100wl"}) {
    const sim::SimDevice device = test::LoadExample(name);
    auto stream = sim::MakeStream(device, settings);
    auto meter = MeterOn(name, *stream, 4);
    ASSERT_TRUE(meter) << name;
    SourceLine line(meter->GetTraceCount());
    TraceMap map{};
    meter->GetTraceMap(map);
    ASSERT_EQ(meter->ReadData(line), status::kOk);
    EXPECT_NEAR(line.temperature, 31.0, 0.1) << name;
    EXPECT_NEAR(line.depth, 2.0, 0.01) << name;
    for (int i = 0; i < meter->GetTraceCount(); ++i) {
      if (map[static_cast<std::size_t>(i)] != 0) {
        EXPECT_NEAR(line.values[static_cast<std::size_t>(i)], 0.1, 2e-3) << name << i;
      }
    }
  }
}

TEST_F(SimLimits, SaturationAndLowCountsShowInTheReferences) {
  for (const char* name : {"nerit-9wl", "benth-100wl"}) {
    const sim::SimDevice device = test::LoadExample(name);
    const double full = std::string(name) == "nerit-9wl" ? (65535.0 + 255.0 / 256.0) / 65536.0 : 65535.0;
    for (const double low : {0.0, 0.02}) {
      sim::SimSettings settings;
      settings.limits.saturate = low == 0.0;
      settings.limits.lowCounts = low;
      auto stream = sim::MakeStream(device, settings);
      auto meter = MeterOn(name, *stream, 3);
      ASSERT_TRUE(meter) << name;
      SourceLine line(meter->GetTraceCount());
      ASSERT_EQ(meter->ReadData(line), status::kOk);
      std::vector<double> refs(static_cast<std::size_t>(meter->GetTraceCount()));
      ASSERT_EQ(dynamic_cast<Meter&>(*meter).ReadRefs(refs), status::kOk);
      const double expected = low == 0.0 ? full : low * (std::string(name) == "nerit-9wl" ? 1.0 : 65535.0);
      EXPECT_NEAR(refs[0], expected, expected * 0.01) << name << " " << low;
    }
  }
}

TEST_F(SimLimits, SensorNoiseLeavesTheValuesAlone) {
  const sim::SimDevice device = test::LoadExample("nerit-9wl");
  sim::SimSettings quiet;
  sim::SimSettings noisy;
  noisy.limits.sensorNoise = 0.5;
  sim::Simulator a(*device.config, *device.model, quiet);
  sim::Simulator b(*device.config, *device.model, noisy);
  double spread = 0.0;
  double moved = 0.0;
  for (int p = 0; p < 20; ++p) {
    const sim::Emission& ea = a.Next();
    const double depth = ea.depth;
    const std::vector<double> targets = ea.targets;
    const sim::Emission& eb = b.Next();
    ASSERT_EQ(eb.targets.size(), targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i) moved = std::max(moved, std::fabs(eb.targets[i] - targets[i]));
    spread = std::max(spread, std::fabs(eb.depth - depth));
  }
  // The water is where the instrument is, whatever its sensor says (to
  // within the depth count's resolution).
  EXPECT_LT(moved, 1e-4);
  EXPECT_GT(spread, 0.1);
}

}  // namespace
}  // namespace sondrix
