// The built sondrix-sim: its options, its determinism, and a live run on a
// pseudo-terminal read through the program's termios serial backend.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "meter/source_factory.h"
#include "platform/posix/termios_serial.h"
#include "platform/serial.h"
#include "sim/simulator.h"
#include "sim_test_env.h"
#include "source/source.h"
#include "source/source_line.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

using test::Child;
using test::ToolRun;

class SimTool : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(test::kSimTool)) << test::kSimTool << " is not built";
  }

  // Runs the tool to its end; standard output and error are collected.
  ToolRun Tool(const std::vector<std::string>& args) {
    ToolRun run;
    const std::string err = dir.File("stderr");
    Child child(args, err);
    if (!child.started()) return run;
    run.out = child.ReadAll();
    run.exitStatus = child.Wait();
    const auto bytes = test::ReadBytes(err);
    run.err.assign(bytes.begin(), bytes.end());
    return run;
  }

  test::TempDir dir;
};

TEST_F(SimTool, SameArgumentsAndSeedGiveTheSameBytes) {
  const std::string device = test::ExampleDevice("nerit-9wl");
  const std::vector<std::string> common = {"--device", device, "--packets", "40", "--seed", "7",
                                           "--bad-checksum", "6", "--noise", "5", "--quiet"};
  auto with = [&](const std::string& out, std::vector<std::string> extra) {
    std::vector<std::string> args = common;
    args.push_back("--out");
    args.push_back(dir.File(out));
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  ASSERT_EQ(Tool(with("a.raw", {})).exitStatus, 0);
  ASSERT_EQ(Tool(with("b.raw", {})).exitStatus, 0);
  ASSERT_EQ(Tool(with("c.raw", {"--seed", "8"})).exitStatus, 0);
  const auto a = test::ReadBytes(dir.File("a.raw"));
  EXPECT_EQ(a.size(), 40u * 638u + [] {
    // The noise bursts' bytes, as the library makes them.
    sim::SimDevice device = test::LoadExample("nerit-9wl");
    sim::SimSettings settings;
    settings.seed = 7;
    settings.faults.noise = 5;
    sim::Simulator sim(*device.config, *device.model, settings);
    for (int i = 0; i < 40; ++i) sim.Next();
    return static_cast<std::size_t>(sim.Counts().noiseBytes);
  }());
  EXPECT_EQ(a, test::ReadBytes(dir.File("b.raw")));
  EXPECT_NE(a, test::ReadBytes(dir.File("c.raw")));
}

TEST_F(SimTool, StandardOutputCarriesTheSameStreamAsAFile) {
  const std::string device = test::ExampleDevice("cmeter");
  ASSERT_EQ(Tool({"--device", device, "--seconds", "20", "--out", dir.File("file.raw"), "--quiet"})
                .exitStatus,
            0);
  // Through a shell pipe into a file: the tool refuses only terminals.
  const std::string command = "'" + test::kSimTool + "' --device '" + device +
                              "' --seconds 20 --quiet > '" + dir.File("stdout.raw") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const auto file = test::ReadBytes(dir.File("file.raw"));
  // 20 s at 6 Hz: 12 packets of 139 + 4 bytes.
  EXPECT_EQ(file.size(), 12u * 143u);
  EXPECT_EQ(file, test::ReadBytes(dir.File("stdout.raw")));
}

TEST_F(SimTool, SummaryCountsTheFaults) {
  const ToolRun run =
      Tool({"--device", test::ExampleDevice("ameter"), "--out", dir.File("s.raw"), "--packets",
            "30", "--bad-checksum", "10", "--bad-length", "15", "--wrong-serial", "7",
            "--pause", "29:0.05"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_NE(run.err.find("30 packets (300 samples)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("3 bad checksums, 2 bad lengths"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("4 wrong serial numbers, 1 pause;"), std::string::npos) << run.err;
  // Packet 30 is bad twice and loses its samples once.
  EXPECT_NE(run.err.find("40 samples lost to faults"), std::string::npos) << run.err;
}

TEST_F(SimTool, HelpDocumentsEveryOptionAndMistakesAreUsageErrors) {
  const ToolRun help = Tool({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  for (const char* option :
       {"--device", "--out", "--pty", "--packets", "--seconds", "--rate", "--realtime", "--fast",
        "--linger", "--bad-checksum", "--bad-length", "--noise", "--wrong-serial", "--pause",
        "--seed", "--time-start", "--max-depth", "--dive-seconds", "--drift-seconds",
        "--value-noise", "--status", "--quiet", "--help"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  const std::string device = test::ExampleDevice("ameter");
  const std::string out = dir.File("x.raw");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--out", out},
           {"--device", device, "--out", out, "--pty"},
           {"--device", device, "--out", out, "--packets", "0"},
           {"--device", device, "--out", out, "--packets", "5", "--seconds", "2"},
           {"--device", device, "--out", out, "--rate", "0.1"},
           {"--device", device, "--out", out, "--pause", "5"},
           {"--device", device, "--out", out, "--time-start", "70000"},
           {"--device", device, "--out", out, "--noise"},
           {"--device", device, "--out", out, "--bogus"},
       }) {
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.exitStatus, 2) << args.back();
    EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
  }
  const ToolRun missing = Tool({"--device", dir.File("none.dev"), "--out", out});
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_NE(missing.err.find("none.dev"), std::string::npos) << missing.err;
}

// The live path: the simulator serves a pseudo-terminal, Sondrix.ini maps
// COM1 to it, and the meter reads it through the termios backend.
class SimPty : public test::HeadlessTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(test::kSimTool)) << test::kSimTool << " is not built";
  }

  // Maps COM1 to the simulator's pseudo-terminal (the first line it prints)
  // and opens the nine-wavelength meter on it.
  void OpenMeterOn(Child& child, std::unique_ptr<Source>& meter) {
    ASSERT_TRUE(child.started());
    const std::string path = child.FirstLine(10.0);
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << "'" << path << "'";
    WriteSettings("[Ports]\nCOM1=" + path + "\n");
    ASSERT_EQ(NewMeter(meter, test::ExampleDevice("nerit-9wl"), "COM1"), status::kOk);
    ASSERT_EQ(meter->Open(), status::kOk);
  }

  // Reads `count` samples from the meter on COM1, waiting for data; the
  // good lines, or fewer when 20 s pass.
  std::vector<SourceLine> ReadSamples(Source& meter, int count, long long& lost) {
    std::vector<SourceLine> lines;
    SourceLine line(meter.GetTraceCount());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (static_cast<int>(lines.size()) < count && std::chrono::steady_clock::now() < end) {
      const Status result = meter.ReadData(line);
      if (result == status::kNoData) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      EXPECT_EQ(result, status::kOk);
      if (result != status::kOk) break;
      if (line.status == 1) {
        lines.push_back(line);
      } else {
        ++lost;
      }
    }
    return lines;
  }

  platform::TermiosSerial termios;
  platform::ScopedSerial scopedSerial{termios};
};

TEST_F(SimPty, PacedStreamIsReadThroughTheSerialBackend) {
  Child child({"--device", test::ExampleDevice("nerit-9wl"), "--pty", "--rate", "100",
               "--packets", "400"},
              home.File("sim.err"));
  std::unique_ptr<Source> meter;
  ASSERT_NO_FATAL_FAILURE(OpenMeterOn(child, meter));
  ASSERT_EQ(meter->Reset(), status::kOk);  // the serial number matches
  long long lost = 0;
  // 15 packets at 10 a second.
  const std::vector<SourceLine> lines = ReadSamples(*meter, 150, lost);
  EXPECT_EQ(lines.size(), 150u);
  EXPECT_EQ(lost, 0);
  // 316 periods of 31.6 us: just under one hundredth a sample.
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::int32_t step = lines[i].time - lines[i - 1].time;
    ASSERT_TRUE(step == 0 || step == 10) << "at " << i << ": " << step;
  }
  EXPECT_NEAR(lines.back().time - lines.front().time, 1490, 10);
  EXPECT_NEAR(meter->GetSampleRate(), 100.0, 0.2);
  meter->Close();
  // SIGTERM ends the serving cleanly.
  EXPECT_EQ(child.Stop(SIGTERM), 0);
  const auto err = test::ReadBytes(home.File("sim.err"));
  EXPECT_NE(std::string(err.begin(), err.end()).find("stopped"), std::string::npos);
}

TEST_F(SimPty, SlowReaderLosesNothing) {
  // As fast as the terminal takes it: the simulator must wait for the
  // reader rather than drop bytes. 300 packets (190 kB) are far more than
  // the terminal holds.
  Child child({"--device", test::ExampleDevice("nerit-9wl"), "--pty", "--fast", "--packets",
               "300", "--quiet"},
              home.File("sim.err"));
  std::unique_ptr<Source> meter;
  ASSERT_NO_FATAL_FAILURE(OpenMeterOn(child, meter));
  // Let the terminal fill up before the reset flushes it.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(meter->Reset(), status::kOk);
  long long lost = 0;
  std::vector<SourceLine> lines;
  for (int round = 0; round < 10; ++round) {
    const auto some = ReadSamples(*meter, 100, lost);
    lines.insert(lines.end(), some.begin(), some.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a slow reader
  }
  ASSERT_EQ(lines.size(), 1000u);
  EXPECT_EQ(lost, 0);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::int32_t step = lines[i].time - lines[i - 1].time;
    ASSERT_TRUE(step == 160 || step == 170) << "at " << i << ": " << step;
  }
  meter->Close();
  EXPECT_EQ(child.Stop(SIGINT), 0);
}

}  // namespace
}  // namespace sondrix
