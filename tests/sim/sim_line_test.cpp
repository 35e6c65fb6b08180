// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator as an instrument on a serial line, held against what a
// reader of its pseudo-terminal sees with its own clock: each packet's bytes
// arrive at the baud rate after its last sample was measured (the report's
// utc_ms), a fast crystal shows as a counter that gains on true time, and a
// reader that opens the line late finds only what a serial port keeps, the
// rest lost exactly where the report says. A capture's utc_ms starts at
// --utc-start and advances by the true sample period.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "io/benth_packet.h"
#include "io/byte_order.h"
#include "io/meter_packet.h"
#include "sim_test_env.h"
#include "support/fixtures.h"
#include "support/sim_report.h"

namespace sondrix {
namespace {

// The nine-wavelength meter: 18 channels, ten samples, 638 bytes a packet.
constexpr int kChannels = 18;
constexpr std::size_t kPacketBytes = 638;
// 2026-12-09T12:00:00Z.
constexpr double kUtcStartMs = 1796817600000.0;

double UtcNowMs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

// What a reader of the line got: the bytes, and for each the UTC time (ms)
// of the read that brought it.
struct Received {
  std::vector<std::uint8_t> bytes;
  std::vector<double> atMs;
  std::size_t waitingAtOpen = 0;  // bytes waiting when the reader opened the line
};

// Opens the line in raw mode without flushing it and reads until the
// simulator ends (or `seconds` pass).
Received ReadLine(const std::string& path, double seconds) {
  Received got;
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return got;
  termios raw{};
  tcgetattr(fd, &raw);
  cfmakeraw(&raw);
  tcsetattr(fd, TCSANOW, &raw);
  int waiting = 0;
  ioctl(fd, FIONREAD, &waiting);
  got.waitingAtOpen = static_cast<std::size_t>(waiting);
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::uint8_t chunk[8192];
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = read(fd, chunk, sizeof chunk);
    const double at = UtcNowMs();
    if (n > 0) {
      got.bytes.insert(got.bytes.end(), chunk, chunk + n);
      got.atMs.insert(got.atMs.end(), static_cast<std::size_t>(n), at);
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      break;  // the simulator ended: the terminal went away
    }
  }
  close(fd);
  return got;
}

// The whole packets in `bytes`: offsets of each sync pattern followed by a
// packet whose checksum (510 plus its bytes from the length field on, low
// 16 bits) adds up.
std::vector<std::size_t> WholePackets(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::size_t> found;
  for (std::size_t at = 0; at + kPacketBytes <= bytes.size(); ++at) {
    if (!std::equal(kMeterSync.begin(), kMeterSync.end(), bytes.begin() + static_cast<long>(at))) continue;
    std::uint32_t sum = 510;
    for (std::size_t k = at + 4; k < at + kPacketBytes - 4; ++k) sum += bytes[k];
    if ((sum & 0xFFFF) == LittleEndian16(bytes.data() + at + kPacketBytes - 4)) found.push_back(at);
  }
  return found;
}

std::vector<long long> Counters(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  std::vector<long long> counters;
  for (int k = 0; k < 10; ++k) counters.push_back(LittleEndian16(bytes.data() + at + MeterSampleOffset(kChannels, k)));
  return counters;
}

class SimLine : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(test::kSimTool)) << test::kSimTool; }
  test::TempDir dir;
};

TEST_F(SimLine, BytesGoOutAtTheBaudRateAfterTheLastSampleAndAFastClockGains) {
  // 18 Hz: a packet every 0.556 s, 332 ms on the line at the file's 19200
  // baud; the crystal 5000 ppm fast.
  const std::string report = dir.File("r.tsv");
  test::Child sim({"--device", test::ExampleDevice("nerit-9wl"), "--pty", "--rate", "18", "--seconds", "12",
                   "--clock-ppm", "5000", "--report", report},
                  dir.File("sim.err"));
  ASSERT_TRUE(sim.started());
  const std::string path = sim.FirstLine(10.0);
  ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
  const Received got = ReadLine(path, 40.0);
  ASSERT_EQ(sim.Wait(), 0);
  const auto err = test::ReadBytes(dir.File("sim.err"));
  EXPECT_NE(std::string(err.begin(), err.end()).find(" at 19200 baud"), std::string::npos);

  const test::Report r = test::ReadReport(report);
  ASSERT_EQ(r.error, "");
  const std::vector<std::size_t> packets = WholePackets(got.bytes);
  ASSERT_EQ(packets.size(), r.packets.size());
  ASSERT_GE(packets.size(), 20u);
  EXPECT_EQ(got.bytes.size(), packets.size() * kPacketBytes);
  const double transmitMs = kPacketBytes * 10.0 / 19200.0 * 1e3;  // 332.3 ms
  const double byteMs = 10.0 / 19200.0 * 1e3;
  std::vector<double> late;
  std::vector<double> x;  // the counter of each packet's last sample, ms
  std::vector<double> y;  // when it was measured by the reader's clock
  for (std::size_t i = 0; i < packets.size(); ++i) {
    SCOPED_TRACE("packet " + std::to_string(i + 1));
    const test::ReportedPacket& p = r.packets[i];
    ASSERT_EQ(Counters(got.bytes, packets[i]), p.counters);
    ASSERT_EQ(p.utcMs.size(), 10u);
    const double measured = p.utcMs.back();
    const double first = got.atMs[packets[i]];
    const double last = got.atMs[packets[i] + kPacketBytes - 1];
    // Never before its bits went out (0.5 ms for reading two clocks)...
    EXPECT_GE(first, measured + byteMs - 0.5);
    EXPECT_GE(last, measured + transmitMs - 0.5);
    // ... spread over the transmission, not written at once ...
    EXPECT_GE(last - first, 0.9 * (transmitMs - byteMs));
    // ... and never held back: no catching up later.
    EXPECT_LE(last, measured + transmitMs + 50.0);
    late.push_back(last - (measured + transmitMs));
    x.push_back(static_cast<double>(p.counters.back()) * 10.0);
    y.push_back(last - transmitMs);
  }
  std::sort(late.begin(), late.end());
  EXPECT_LT(late[late.size() / 2], 5.0) << "the median packet arrives this late, ms";

  // The counter gains 0.5 % on the reader's clock: the slope of true time
  // against counter time is 1 / 1.005.
  double mx = 0.0;
  double my = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    mx += x[i] / static_cast<double>(x.size());
    my += y[i] / static_cast<double>(y.size());
  }
  double sxy = 0.0;
  double sxx = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    sxy += (x[i] - mx) * (y[i] - my);
    sxx += (x[i] - mx) * (x[i] - mx);
  }
  EXPECT_NEAR(sxx / sxy, 1.005, 0.001);
}

TEST_F(SimLine, AReaderThatOpensLateFindsOnlyTheLinesBufferAndTheLossesAreReported) {
  // Three packets a second of 638 bytes, nobody reading for 3 s.
  const std::string report = dir.File("r.tsv");
  test::Child sim({"--device", test::ExampleDevice("nerit-9wl"), "--pty", "--rate", "30", "--seconds", "5",
                   "--report", report, "--quiet"},
                  dir.File("sim.err"));
  ASSERT_TRUE(sim.started());
  const std::string path = sim.FirstLine(10.0);
  ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  const Received got = ReadLine(path, 30.0);
  ASSERT_EQ(sim.Wait(), 0);

  // What a serial port keeps, not the 4.8 kB sent meanwhile.
  EXPECT_LE(got.waitingAtOpen, 4095u);
  EXPECT_GE(got.waitingAtOpen, 4000u);
  const test::Report r = test::ReadReport(report);
  ASSERT_EQ(r.error, "");
  // Every byte either arrived or is counted lost in its packet's line.
  long long droppedBytes = 0;
  std::vector<std::vector<long long>> arrivedWhole;
  for (const test::ReportedPacket& p : r.packets) {
    const auto at = p.fault.find("overflow(");
    if (at != std::string::npos) droppedBytes += std::stoll(p.fault.substr(at + 9));
    EXPECT_EQ(p.lost, at == std::string::npos ? 0 : 10) << p.number;
    if (p.lost == 0) arrivedWhole.push_back(p.counters);
  }
  EXPECT_EQ(static_cast<long long>(got.bytes.size()) + droppedBytes,
            static_cast<long long>(r.packets.size() * kPacketBytes));
  EXPECT_GT(droppedBytes, 0);
  // The reader got exactly the packets the report says arrived whole, the
  // oldest first: an overrun loses the newest bytes.
  std::vector<std::vector<long long>> read;
  for (const std::size_t at : WholePackets(got.bytes)) read.push_back(Counters(got.bytes, at));
  EXPECT_EQ(read, arrivedWhole);
  ASSERT_FALSE(read.empty());
  EXPECT_EQ(read.front(), r.packets.front().counters);
  EXPECT_EQ(r.totalLost, static_cast<long long>(10 * (r.packets.size() - arrivedWhole.size())));
}

TEST_F(SimLine, ACaptureIsDatedFromUtcStartAndAdvancesByTheTruePeriod) {
  // A crystal 2000 ppm slow and a pause of 0.25 s after the third packet:
  // the counters go on as if there had been none, true time does not.
  const std::string report = dir.File("r.tsv");
  const std::string capture = dir.File("c.raw");
  const test::ToolRun run =
      test::RunTool({"--device", test::ExampleDevice("nerit-9wl"), "--out", capture, "--packets", "5", "--clock-ppm",
                     "-2000", "--pause", "3:0.25", "--utc-start", "2026-12-09T12:00:00Z", "--report", report,
                     "--quiet"},
                    dir.File("err"));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const test::Report r = test::ReadReport(report);
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.packets.size(), 5u);
  const std::vector<std::uint8_t> bytes = test::ReadBytes(capture);
  ASSERT_EQ(bytes.size(), 5 * kPacketBytes);
  const int period = LittleEndian16(bytes.data() + kMeterPeriodOffset);  // 5274 at 6 Hz
  const double sampleMs = period * 3.16e-05 * 1e3 / (1.0 - 2000e-6);
  for (std::size_t i = 0; i < 5; ++i) {
    const test::ReportedPacket& p = r.packets[i];
    ASSERT_EQ(Counters(bytes, i * kPacketBytes), p.counters);
    for (std::size_t k = 0; k < 10; ++k) {
      const double sample = static_cast<double>(i * 10 + k);
      const double paused = i >= 3 ? 250.0 : 0.0;
      EXPECT_NEAR(p.utcMs[k], kUtcStartMs + sample * sampleMs + paused, 0.001) << i << " " << k;
      // 316 / 100000 hundredths a period count, whole hundredths.
      EXPECT_EQ(p.counters[k], static_cast<long long>(i * 10 + k) * period * 316 / 100000) << i << " " << k;
    }
  }

  // The hyperspectral meter's millisecond counter: one sample a packet.
  const test::ToolRun benth =
      test::RunTool({"--device", test::ExampleDevice("benth-100wl"), "--out", capture, "--packets", "4", "--rate",
                     "4", "--clock-ppm", "1000", "--utc-start", "2026-12-09T12:00:00Z", "--report", report, "--quiet"},
                    dir.File("err"));
  ASSERT_EQ(benth.exitStatus, 0) << benth.err;
  const test::Report h = test::ReadReport(report);
  ASSERT_EQ(h.packets.size(), 4u);
  const std::vector<std::uint8_t> hb = test::ReadBytes(capture);
  const std::size_t size = BenthPacketLength(100) + kBenthChecksumBytes;
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(BigEndian32(hb.data() + i * size + kBenthTimeOffset), 250 * i);
    EXPECT_NEAR(h.packets[i].utcMs[0], kUtcStartMs + 250.0 * static_cast<double>(i) / 1.001, 0.001);
  }

  // Paced samples are measured on the clock: no --utc-start; and a crystal
  // is not 2 % off.
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--pty", "--utc-start", "2026-12-09T12:00:00Z"},
           {"--out", capture, "--realtime", "--utc-start", "2026-12-09T12:00:00Z"},
           {"--out", capture, "--clock-ppm", "20000"}}) {
    std::vector<std::string> all = {"--device", test::ExampleDevice("nerit-9wl")};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_EQ(test::RunTool(all, dir.File("err")).exitStatus, 2) << args.back();
  }
}

}  // namespace
}  // namespace sondrix
