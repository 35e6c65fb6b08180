// SPDX-License-Identifier: GPL-3.0-or-later
// The built sondrix-sim: its options, its determinism, and a live run on a
// pseudo-terminal read through the program's termios serial backend.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "io/benth_packet.h"
#include "io/byte_order.h"
#include "io/meter_packet.h"
#include "meter/source_factory.h"
#include "platform/posix/termios_serial.h"
#include "platform/serial.h"
#include "sim/simulator.h"
#include "sim_test_env.h"
#include "source/source.h"
#include "source/source_line.h"
#include "support/fixtures.h"
#include "support/sim_report.h"

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
  ToolRun Tool(const std::vector<std::string>& args) { return test::RunTool(args, dir.File("stderr")); }

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

// The packets of a capture, cut at their sync patterns (which neither noise
// nor packet bodies form): each packet's `size` bytes and the count of noise
// bytes in front of it.
struct CutPacket {
  std::vector<std::uint8_t> bytes;
  std::size_t noise = 0;
};
std::vector<CutPacket> CutCapture(const std::vector<std::uint8_t>& capture, std::span<const std::uint8_t> sync,
                                  std::size_t size) {
  std::vector<CutPacket> packets;
  std::size_t from = 0;
  while (from < capture.size()) {
    const auto at = std::search(capture.begin() + static_cast<long>(from), capture.end(), sync.begin(), sync.end());
    if (at == capture.end()) break;
    const auto start = static_cast<std::size_t>(at - capture.begin());
    const std::size_t end = std::min(capture.size(), start + size);
    packets.push_back({std::vector<std::uint8_t>(at, capture.begin() + static_cast<long>(end)), start - from});
    from = end;
  }
  return packets;
}

// --report against the bytes written: each line's packet (twice for a
// duplicate) with its noise in front, each sample's counter as the packet
// carries it, the counter started again at a restart, the lost samples of
// the damaged packets.
TEST_F(SimTool, ReportRecordsEveryPacketAsItWasSent) {
  const std::string report = dir.File("run.tsv");
  const ToolRun run = Tool({"--device", test::ExampleDevice("cmeter"), "--out", dir.File("run.raw"), "--packets",
                            "12", "--time-start", "65400", "--restart", "5", "--duplicate", "4", "--noise", "3",
                            "--bad-checksum", "6", "--report", report});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_NE(run.err.find("0 pauses, 2 restarts, 3 duplicates; 20 samples lost"), std::string::npos) << run.err;
  const test::Report r = test::ReadReport(report);
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.packets.size(), 12u);
  EXPECT_EQ(r.totalPackets, 12);
  EXPECT_EQ(r.totalSamples, 120);
  EXPECT_EQ(r.totalLost, 20);

  const auto cut = CutCapture(test::ReadBytes(dir.File("run.raw")), kMeterSync,
                              MeterPacketLength(3, 10) + kMeterChecksumBytes);
  ASSERT_EQ(cut.size(), 15u);
  std::size_t next = 0;
  bool wrapped = false;
  for (const test::ReportedPacket& p : r.packets) {
    SCOPED_TRACE("packet " + std::to_string(p.number));
    const CutPacket& packet = cut[next++];
    const bool noisy = p.number % 3 == 0;
    const bool damaged = p.number % 6 == 0;
    const bool twice = p.number % 4 == 0;
    std::string fault = damaged ? "bad-checksum" : "";
    if (noisy) fault += (fault.empty() ? "" : "+") + ("noise(" + std::to_string(packet.noise) + " bytes)");
    if (p.number % 5 == 0) fault += (fault.empty() ? "" : "+") + std::string("restart");
    if (twice) fault += (fault.empty() ? "" : "+") + std::string("duplicate");
    EXPECT_EQ(p.fault, fault.empty() ? "ok" : fault);
    EXPECT_EQ(packet.noise > 0, noisy);
    EXPECT_EQ(p.lost, damaged ? 10 : 0);
    EXPECT_EQ(p.tickMs, 10);
    if (twice) {
      ASSERT_LT(next, cut.size());
      EXPECT_EQ(cut[next].noise, 0u);
      EXPECT_EQ(cut[next++].bytes, packet.bytes);
    }
    ASSERT_EQ(p.counters.size(), 10u);
    for (std::size_t k = 0; k < 10; ++k) {
      const std::uint8_t* at = packet.bytes.data() + MeterSampleOffset(3, static_cast<int>(k));
      EXPECT_EQ(p.counters[k], LittleEndian16(at)) << k;
      EXPECT_EQ(p.counters[k], p.unwrapped[k] % 65536) << k;
      wrapped = wrapped || p.unwrapped[k] > 65535;
    }
    if (p.number % 5 == 0) {
      EXPECT_EQ(p.unwrapped.front(), 65400);
    }
  }
  EXPECT_TRUE(wrapped);
  EXPECT_EQ(next, cut.size());
}

// The hyperspectral meter's millisecond counter starts anywhere in its 32
// bits and wraps there; from --spacing-change on its packets carry skip 2
// and leave out every second wavelength, and each is lost.
TEST_F(SimTool, HyperspectralCounterStartRestartAndSpacingChange) {
  const std::string report = dir.File("run.tsv");
  const ToolRun run = Tool({"--device", test::ExampleDevice("benth-100wl"), "--out", dir.File("run.raw"),
                            "--packets", "10", "--time-start", "4294966900", "--restart", "7",
                            "--spacing-change", "5", "--report", report, "--quiet"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const test::Report r = test::ReadReport(report);
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.packets.size(), 10u);
  EXPECT_EQ(r.totalSamples, 10);
  EXPECT_EQ(r.totalLost, 6);
  const auto cut = CutCapture(test::ReadBytes(dir.File("run.raw")), kBenthSync,
                              BenthPacketLength(100) + kBenthChecksumBytes);
  ASSERT_EQ(cut.size(), 10u);
  for (std::size_t i = 0; i < cut.size(); ++i) {
    const test::ReportedPacket& p = r.packets[i];
    const std::vector<std::uint8_t>& bytes = cut[i].bytes;
    SCOPED_TRACE("packet " + std::to_string(p.number));
    ASSERT_EQ(p.counters.size(), 1u);
    const std::uint8_t* t = bytes.data() + kBenthTimeOffset;
    EXPECT_EQ(p.counters[0], BigEndian32(t));
    EXPECT_EQ(p.counters[0], p.unwrapped[0] % (1LL << 32));
    EXPECT_EQ(p.tickMs, 1);
    const bool spaced = p.number >= 5;
    EXPECT_EQ(bytes[kBenthSkipOffset], spaced ? 2 : 1);
    EXPECT_EQ(p.lost, spaced ? 1 : 0);
    const std::string restart = p.number == 7 ? "restart+" : "";
    EXPECT_EQ(p.fault, spaced ? restart + "spacing" : "ok");
    // The second wavelength's C reference.
    const std::uint8_t* second = bytes.data() + kBenthChannelsOffset + kBenthChannelBytes;
    EXPECT_EQ(second[0] == 0 && second[1] == 0, spaced);
  }
  // 166.7 ms a sample: the counter passes 2^32 at the fourth sample, and
  // starts again at the seventh.
  EXPECT_EQ(r.packets[3].unwrapped[0], 4294966900 + 500);
  EXPECT_EQ(r.packets[3].counters[0], 4294966900 + 500 - (1LL << 32));
  EXPECT_EQ(r.packets[6].unwrapped[0], 4294966900);
  EXPECT_EQ(r.packets[9].elapsedMs[0], 1500);

  // Its counter's range is its own; the other meters' is 16 bits.
  const std::string out = dir.File("x.raw");
  EXPECT_EQ(Tool({"--device", test::ExampleDevice("benth-100wl"), "--out", out, "--packets", "1", "--time-start",
                  "4294967296"}).exitStatus, 2);
  EXPECT_EQ(Tool({"--device", test::ExampleDevice("cmeter"), "--out", out, "--spacing-change", "3"}).exitStatus, 2);
}

TEST_F(SimTool, HelpDocumentsEveryOptionAndMistakesAreUsageErrors) {
  const ToolRun help = Tool({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  for (const char* option :
       {"--device", "--out", "--pty", "--packets", "--seconds", "--rate", "--realtime", "--fast",
        "--linger", "--bad-checksum", "--bad-length", "--noise", "--wrong-serial", "--pause",
        "--seed", "--time-start", "--max-depth", "--dive-seconds", "--drift-seconds",
        "--value-noise", "--status", "--restart", "--duplicate", "--spacing-change", "--report", "--quiet",
        "--clock-ppm", "--utc-start", "--help"}) {
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
