// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated hyperspectral meter: its stream read by the meter (values,
// lost samples), and the output spacing and baud rate changed through its
// commands on a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/benth_meter_config.h"
#include "meter/benth_meter.h"
#include "meter/source_factory.h"
#include "platform/clock.h"
#include "platform/posix/termios_serial.h"
#include "platform/serial.h"
#include "sim/benth_simulator.h"
#include "sim_test_env.h"
#include "source/source.h"
#include "source/source_line.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

using test::Child;

class SimBenth : public test::HeadlessTest {};

TEST_F(SimBenth, TheMeterReadsTheSpectrumAndCountsEveryLostPacket) {
  for (const char* name : {"benth-100wl", "benth-85wl-v3"}) {
    sim::SimDevice device = test::LoadExample(name);
    ASSERT_TRUE(device.benth) << name;
    sim::SimSettings settings;
    settings.faults.badChecksum = 9;
    settings.faults.badLength = 13;
    settings.faults.noise = 5;
    settings.packetType = std::string(name) == "benth-100wl" ? 5 : 4;
    sim::BenthSimulator sim(*device.benth, settings);
    std::vector<sim::Emission> emitted;
    std::string bytes;
    for (int i = 0; i < 120; ++i) {
      emitted.push_back(sim.Next());
      bytes.append(emitted.back().bytes.begin(), emitted.back().bytes.end());
    }
    const std::string capture = test::WriteTextFile(home.File("b.raw"), bytes);

    std::unique_ptr<Source> meter;
    ASSERT_EQ(NewMeter(meter, test::ExampleDevice(name), capture), status::kOk);
    ASSERT_EQ(meter->Open(), status::kOk);
    ASSERT_EQ(meter->Reset(), status::kOk);
    SourceLine line(meter->GetTraceCount());
    long long lost = 0;
    long long good = 0;
    double worst = 0.0;
    // The packet the reset synchronised on is the first line.
    for (std::size_t k = 0; meter->ReadData(line) == status::kOk; ++k) {
      ASSERT_LT(k, emitted.size());
      if (line.status != 1) {
        ++lost;
        EXPECT_TRUE(emitted[k].badChecksum || emitted[k].badLength) << k;
        continue;
      }
      ++good;
      EXPECT_NEAR(line.depth, emitted[k].depth, 1e-9);
      EXPECT_NEAR(line.temperature, emitted[k].temperature, 1e-9);
      for (std::size_t i = 0; i < emitted[k].targets.size(); ++i) {
        worst = std::max(worst, std::fabs(line.values[i] - emitted[k].targets[i]));
      }
    }
    EXPECT_EQ(lost, sim.Counts().lostSamples) << name;
    EXPECT_EQ(good + lost, 120) << name;
    // 16-bit counts: a few 1e-4 1/m over a 0.25 m path.
    EXPECT_LT(worst, 2e-3) << name;
    meter->Close();
  }
}

// The waits for acknowledgements need the time to pass.
class RealClock final : public platform::Clock {
 public:
  double Timer() override {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(now).count();
  }
  void Delay(double seconds) override {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  }
  std::tm LocalTime() override { return std::tm{}; }
};

// The live instrument: SetParams against the simulator on a pseudo-terminal.
class SimBenthPty : public test::HeadlessTest {
 protected:
  void Open(Child& child, std::unique_ptr<Source>& meter) {
    ASSERT_TRUE(child.started());
    const std::string path = child.FirstLine(10.0);
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << "'" << path << "'";
    WriteSettings("[Ports]\nCOM1=" + path + "\n");
    ASSERT_EQ(NewMeter(meter, test::ExampleDevice("benth-85wl-v3"), "COM1"), status::kOk);
    ASSERT_EQ(meter->Open(), status::kOk);
  }

  // Good samples read within 10 s.
  int ReadGood(Source& meter, int count) {
    SourceLine line(meter.GetTraceCount());
    int good = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (good < count && std::chrono::steady_clock::now() < end) {
      const Status result = meter.ReadData(line);
      if (result == status::kNoData) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      if (result != status::kOk) break;
      if (line.status == 1) ++good;
    }
    return good;
  }

  platform::TermiosSerial termios;
  platform::ScopedSerial scopedSerial{termios};
  RealClock realClock;
  platform::ScopedClock scopedRealClock{realClock};
};

TEST_F(SimBenthPty, SetParamsChangesSpacingAndBaudRateDespiteALostAcknowledgement) {
  // The second command (the spacing) is lost once and asked for again.
  Child child({"--device", test::ExampleDevice("benth-85wl-v3"), "--pty", "--rate", "20",
               "--drop-ack", "2"},
              home.File("sim.err"));
  std::unique_ptr<Source> meter;
  ASSERT_NO_FATAL_FAILURE(Open(child, meter));
  ASSERT_EQ(meter->Reset(), status::kOk);
  EXPECT_EQ(ReadGood(*meter, 3), 3);

  auto* benth = dynamic_cast<BenthMeter*>(meter.get());
  ASSERT_NE(benth, nullptr);
  DPort* port = nullptr;
  ASSERT_EQ(meter->GetPort(port), status::kOk);
  ASSERT_NE(port, nullptr);
  ASSERT_EQ(BenthMeterConfig_SetParams(*benth->benthConfig(), *port, 50, 57600), status::kOk);

  // The instrument now outputs every second wavelength: the file's skip
  // value no longer agrees until it is changed too.
  EXPECT_EQ(meter->Reset(), status::kSkipMismatch);
  benth->benthConfig()->skip = 2;
  ASSERT_EQ(meter->Reset(), status::kOk);
  EXPECT_EQ(ReadGood(*meter, 3), 3);

  // At the old rate only garbled bytes come: no packet is found.
  ASSERT_EQ(port->Close(), status::kOk);
  ASSERT_EQ(port->Open(38400), status::kOk);
  EXPECT_EQ(meter->Reset(), status::kUnrecognisedData);
  meter->Close();

  EXPECT_EQ(child.Stop(SIGTERM), 0);
  const auto err = test::ReadBytes(home.File("sim.err"));
  const std::string summary(err.begin(), err.end());
  EXPECT_NE(summary.find("5 commands (1 acknowledgement left out), now skip 2 at 57600 baud"),
            std::string::npos)
      << summary;
}

}  // namespace
}  // namespace sondrix
