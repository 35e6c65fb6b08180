// SPDX-License-Identifier: GPL-3.0-or-later
// The termios serial library on real pseudo-terminals: port mapping through
// the settings file, line settings, time-outs, a vanishing far end, and a
// whole acquisition of meter packets with raw capture, replayed afterwards.
#include "platform/posix/termios_serial.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/utils.h"
#include "io/bin_buffer.h"
#include "io/raw_file_port.h"
#include "io/rs232_port.h"
#include "io_test_env.h"
#include "platform/serial.h"

namespace sondrix {
namespace {

using platform::TermiosSerial;
using Clock = std::chrono::steady_clock;

// A pseudo-terminal pair; the test plays the instrument on the master side.
class Pty {
 public:
  Pty() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) std::abort();
    path_ = name;
  }
  ~Pty() {
    CloseMaster();
    if (slave_ >= 0) ::close(slave_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& path() const { return path_; }
  void Write(const void* bytes, std::size_t count) const {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    while (count > 0) {
      const ssize_t n = ::write(master_, p, count);
      if (n <= 0) return;
      p += n;
      count -= static_cast<std::size_t>(n);
    }
  }
  void Write(const std::string& text) const { Write(text.data(), text.size()); }
  void Write(const std::vector<std::uint8_t>& bytes) const { Write(bytes.data(), bytes.size()); }
  // What the program wrote to the instrument, waiting up to a second.
  std::string ReadMaster(std::size_t count) const {
    std::string got;
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    while (got.size() < count && Clock::now() < deadline) {
      pollfd pfd{master_, POLLIN, 0};
      if (::poll(&pfd, 1, 50) <= 0) continue;
      char buffer[256];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

class TermiosSerialTest : public ::testing::Test {
 protected:
  void MapCom(int k, const std::string& path, const std::string& more = {}) {
    dir_.WriteFile("Sondrix.ini", "[Ports]\nCOM" + std::to_string(k) + "=" + path + "\n" + more);
  }

  test::TempProjectDir dir_;
  Pty pty_;
  TermiosSerial serial_;
};

TEST_F(TermiosSerialTest, MappedPortOpensThePseudoTerminal) {
  MapCom(3, pty_.path());
  EXPECT_EQ(platform::ComPortDevice(3), pty_.path());
  ASSERT_EQ(serial_.OpenComConfig(3, "", 19200, 0, 8, 1, 4096, 4096), 0);
  EXPECT_EQ(serial_.DevicePath(3), pty_.path());
  EXPECT_EQ(serial_.GetInQLen(3), 0);
  pty_.Write("hello");
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  while (serial_.GetInQLen(3) < 5 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(serial_.GetInQLen(3), 5);
  char buffer[8] = {};
  EXPECT_EQ(serial_.ComRd(3, buffer, 5), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(serial_.CloseCom(3), 0);
  EXPECT_EQ(serial_.DevicePath(3), "");
  EXPECT_EQ(serial_.CloseCom(3), -3);
}

TEST_F(TermiosSerialTest, RawModePassesEveryByteUnchanged) {
  MapCom(1, pty_.path());
  ASSERT_EQ(serial_.OpenComConfig(1, "", 9600, 0, 8, 1, 4096, 4096), 0);
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  pty_.Write(all);
  std::string got(256, '\0');
  ASSERT_EQ(serial_.ComRd(1, got.data(), 256), 256);
  EXPECT_EQ(got, all);
  // And out: no line-end translation towards the instrument either.
  ASSERT_EQ(serial_.ComWrt(1, "a\nb\r", 4), 4);
  EXPECT_EQ(pty_.ReadMaster(4), "a\nb\r");
}

TEST_F(TermiosSerialTest, RefusesWhatItCannotOpen) {
  EXPECT_EQ(serial_.OpenComConfig(0, "", 9600, 0, 8, 1, 4096, 4096), -2);
  EXPECT_EQ(serial_.OpenComConfig(256, "", 9600, 0, 8, 1, 4096, 4096), -2);
  EXPECT_EQ(serial_.OpenComConfig(200, "", 9600, 0, 8, 1, 4096, 4096), -2);  // nothing there
  MapCom(2, dir_.File("no-such-device"));
  EXPECT_EQ(serial_.OpenComConfig(2, "", 9600, 0, 8, 1, 4096, 4096), -7);
  dir_.WriteFile("plain-file", "x");
  MapCom(2, dir_.File("plain-file"));
  EXPECT_EQ(serial_.OpenComConfig(2, "", 9600, 0, 8, 1, 4096, 4096), -7);  // not a terminal

  MapCom(2, pty_.path());
  EXPECT_EQ(serial_.OpenComConfig(2, "", 0, 0, 8, 1, 4096, 4096), -14);
  EXPECT_EQ(serial_.OpenComConfig(2, "", -9600, 0, 8, 1, 4096, 4096), -14);
  EXPECT_EQ(serial_.OpenComConfig(2, "", 9600, 7, 8, 1, 4096, 4096), -24);
  EXPECT_EQ(serial_.OpenComConfig(2, "", 9600, 0, 9, 1, 4096, 4096), -34);
  EXPECT_EQ(serial_.OpenComConfig(2, "", 9600, 0, 8, 3, 4096, 4096), -44);
  char byte = 0;
  EXPECT_EQ(serial_.ComRd(2, &byte, 1), -3);
  EXPECT_EQ(serial_.GetInQLen(2), -3);
  EXPECT_EQ(serial_.FlushInQ(2), -3);
  EXPECT_EQ(serial_.SetComTime(2, 1.0), -3);
}

TEST_F(TermiosSerialTest, PortHeldByAnotherUserCannotBeOpened) {
  MapCom(1, pty_.path());
  ASSERT_EQ(serial_.OpenComConfig(1, "", 9600, 0, 8, 1, 4096, 4096), 0);
  TermiosSerial other;
  EXPECT_EQ(other.OpenComConfig(1, "", 9600, 0, 8, 1, 4096, 4096), -7);
  serial_.CloseCom(1);
  EXPECT_EQ(other.OpenComConfig(1, "", 9600, 0, 8, 1, 4096, 4096), 0);
}

TEST_F(TermiosSerialTest, OpeningAnOpenPortChangesItsSettings) {
  MapCom(1, pty_.path());
  ASSERT_EQ(serial_.OpenComConfig(1, "", 9600, 0, 8, 1, 4096, 4096), 0);
  // Rates of the configuration editor, standard or not: a pseudo-terminal
  // takes any of them.
  for (long baud : {110L, 14400L, 19200L, 56000L, 128000L, 256000L}) {
    EXPECT_EQ(serial_.OpenComConfig(1, "", baud, 0, 8, 1, 4096, 4096), 0) << baud;
  }
  EXPECT_EQ(serial_.DevicePath(1), pty_.path());
}

TEST_F(TermiosSerialTest, ReadsReturnWhatCameWhenTheTimeOutEnds) {
  MapCom(1, pty_.path());
  ASSERT_EQ(serial_.OpenComConfig(1, "", 9600, 0, 8, 1, 4096, 4096), 0);
  ASSERT_EQ(serial_.SetComTime(1, 0.2), 0);
  EXPECT_EQ(serial_.SetComTime(1, -1.0), -13);
  pty_.Write("abc");
  char buffer[16] = {};
  const auto start = Clock::now();
  EXPECT_EQ(serial_.ComRd(1, buffer, 10), 3);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_EQ(serial_.ComRdByte(1), -99);

  pty_.Write("line one\nrest");
  EXPECT_EQ(serial_.ComRdTerm(1, buffer, 16, '\n'), 8);
  EXPECT_EQ(std::string(buffer, 8), "line one");
  EXPECT_EQ(serial_.ComRdTerm(1, buffer, 16, '\n'), 4);  // time-out, no terminator
  pty_.Write("0123456789");
  EXPECT_EQ(serial_.ComRdTerm(1, buffer, 4, '\n'), 4);  // count reached
  EXPECT_EQ(serial_.GetInQLen(1), 6);
  EXPECT_EQ(serial_.ComRdByte(1), '4');
  EXPECT_EQ(serial_.FlushInQ(1), 0);
  EXPECT_EQ(serial_.GetInQLen(1), 0);
  EXPECT_EQ(serial_.FlushOutQ(1), 0);
}

TEST_F(TermiosSerialTest, VanishedDeviceIsAnErrorAtOnce) {
  MapCom(1, pty_.path());
  ASSERT_EQ(serial_.OpenComConfig(1, "", 9600, 0, 8, 1, 4096, 4096), 0);
  ASSERT_EQ(serial_.GetInQLen(1), 0);
  pty_.CloseMaster();
  EXPECT_EQ(serial_.GetInQLen(1), -151);
  const auto start = Clock::now();
  char buffer[4];
  EXPECT_EQ(serial_.ComRd(1, buffer, 4), -151);
  EXPECT_EQ(serial_.ComRdByte(1), -151);
  EXPECT_EQ(serial_.ComRdTerm(1, buffer, 4, '\n'), -151);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));  // not the 10 s time-out
}

TEST_F(TermiosSerialTest, VanishingInTheMiddleOfAWaitEndsTheWait) {
  MapCom(1, pty_.path());
  ASSERT_EQ(serial_.OpenComConfig(1, "", 9600, 0, 8, 1, 4096, 4096), 0);
  std::thread unplug([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty_.CloseMaster();
  });
  const auto start = Clock::now();
  char buffer[4];
  const int result = serial_.ComRd(1, buffer, 4);
  unplug.join();
  EXPECT_EQ(result, -151);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST(SerialPortList, IsInNaturalOrderOfDeviceNames) {
  const auto ports = platform::ListSerialPorts();
  for (std::size_t i = 0; i < ports.size(); ++i) {
    EXPECT_EQ(ports[i].device.rfind("/dev/", 0), 0u) << ports[i].device;
    EXPECT_FALSE(ports[i].description.empty());
  }
}

// --- A whole acquisition ------------------------------------------------------------

struct Decoded {
  std::uint32_t serial;
  double temp;
  double extTemp;
  std::vector<std::int32_t> times;
  std::vector<double> values;

  bool operator==(const Decoded&) const = default;
};

Decoded Snapshot(BinBuffer& decoder) {
  Decoded d{decoder.GetRefp()->serial, decoder.GetRefp()->temp, decoder.GetRefp()->extTemp, {}, {}};
  for (int i = 0; i < decoder.Samples(); ++i) {
    const DataSample* sample = decoder.GetDatap(i);
    d.times.push_back(sample->status == 1 ? sample->time : -1);
    for (int j = 0; j < decoder.Channels(); ++j) d.values.push_back(sample->values[j]);
  }
  return d;
}

TEST_F(TermiosSerialTest, PacedPacketsThroughCom1AreDecodedCapturedAndReplayed) {
  constexpr int kChannels = 18;
  constexpr int kSamples = 10;
  constexpr int kPackets = 25;
  MapCom(1, pty_.path(), "[General]\nSaveRaw=yes\n");
  gStartTime.reset();
  platform::ScopedSerial scoped(serial_);

  RS232Port port;
  ASSERT_EQ(port.SetName("COM1"), 1);
  ASSERT_EQ(port.Open(19200), 1);
  ASSERT_TRUE(port.Capturing());
  std::unique_ptr<BinBuffer> decoder;
  ASSERT_EQ(BinBuffer::New(decoder, port, kChannels, kSamples), 1);

  // The instrument: a line already running (half a packet), then packets
  // every 4 ms, the last one followed by a little idle noise.
  std::atomic<bool> stop{false};
  std::thread instrument([&] {
    const std::vector<std::uint8_t> first = test::SamplePacket(kChannels, kSamples, 999);
    pty_.Write(first.data() + 300, first.size() - 300);
    for (int k = 0; k < kPackets && !stop; ++k) {
      pty_.Write(test::SamplePacket(kChannels, kSamples, k));
      std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    pty_.Write(std::string(8, '\x55'));
  });

  std::vector<Decoded> live;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (static_cast<int>(live.size()) < kPackets && Clock::now() < deadline) {
    int last = -1;
    const Status result = decoder->ReadRecord(last);
    if (result == -1022) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    ASSERT_EQ(result, 1);
    ASSERT_EQ(last, kSamples - 1);
    ASSERT_EQ(decoder->GetDatap(0)->status, 1);
    live.push_back(Snapshot(*decoder));
  }
  stop = true;
  instrument.join();
  ASSERT_EQ(static_cast<int>(live.size()), kPackets);
  for (int k = 0; k < kPackets; ++k) EXPECT_EQ(live[k].serial, 0x05000000u + k) << k;

  const std::string capture = port.CaptureFileName();
  ASSERT_FALSE(capture.empty());
  EXPECT_EQ(capture.rfind("SX_Com1_", 0), 0u);
  EXPECT_EQ(port.SaveRaw(), 1);
  EXPECT_EQ(port.Close(), 1);

  // The capture replays to the same packets, then ends.
  RawFilPort replay;
  replay.SetName(dir_.File(capture));
  ASSERT_EQ(replay.Open(19200), 1);
  std::unique_ptr<BinBuffer> again;
  ASSERT_EQ(BinBuffer::New(again, replay, kChannels, kSamples), 1);
  std::vector<Decoded> replayed;
  for (int call = 0; call < 2 * kPackets; ++call) {
    int last = -1;
    const Status result = again->ReadRecord(last);
    if (result == -1017) break;
    ASSERT_EQ(result, 1);
    replayed.push_back(Snapshot(*again));
  }
  EXPECT_EQ(replayed, live);
}

TEST_F(TermiosSerialTest, AnOpenPortTellsTheDescriptorItsBytesArriveOn) {
  MapCom(2, pty_.path());
  EXPECT_EQ(serial_.InputHandle(2), -1);
  ASSERT_EQ(serial_.OpenComConfig(2, "", 19200, 0, 8, 1, 4096, 4096), 0);
  const int fd = serial_.InputHandle(2);
  ASSERT_GE(fd, 0);
  // Nothing waiting: a wait on it times out; bytes make it readable.
  pollfd pfd{fd, POLLIN, 0};
  EXPECT_EQ(::poll(&pfd, 1, 0), 0);
  pty_.Write("x");
  EXPECT_EQ(::poll(&pfd, 1, 2000), 1);
  ASSERT_EQ(serial_.CloseCom(2), 0);
  EXPECT_EQ(serial_.InputHandle(2), -1);
}

}  // namespace
}  // namespace sondrix
