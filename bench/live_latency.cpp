// SPDX-License-Identifier: GPL-3.0-or-later
// Live latency of the nine-wavelength meter: the time from a packet's last
// byte written to a pseudo-terminal to its first and last samples handed out
// by the source's binned read (bin size 1), on the path of a live run: the
// termios serial library, RS232Port (COM1 mapped to the pseudo-terminal in a
// temporary Sondrix.ini), BinBuffer and NeritMeter, polled the way the
// acquisition loop polls (read while data is available, else a 1 ms pause).
//
// The instrument side writes whole packets at a fixed interval from a second
// thread. Usage: live_latency [PACKETS] [INTERVAL_MS]   (defaults 40, 100)
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "io/meter_packet.h"
#include "meter/source_factory.h"
#include "platform/headless/headless_ui.h"
#include "platform/posix/termios_serial.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "source/source.h"
#include "source/source_line.h"
#include "build_paths.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kChannels = 18;
constexpr int kSamples = 10;
constexpr std::uint32_t kSerial = 0x0400012D;  // the example device file's
const std::string kDevice = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";

std::vector<std::uint8_t> Packet(int number) {
  sondrix::MeterPacketFields fields;
  fields.serial = kSerial;
  fields.periodCount = 5274;  // 6 Hz
  fields.pressureCount = 2000;
  fields.extTempHundredths = 1530;
  fields.tempCount = sondrix::TempToCount(15.0);
  for (int i = 0; i < kSamples; ++i) {
    const long long sample = static_cast<long long>(number) * kSamples + i;
    fields.timeCounts.push_back(static_cast<std::uint16_t>(sample * 5274 * 316 / 100000));
    for (int j = 0; j < kChannels; ++j) fields.values.push_back(0.3 + 0.01 * j);
  }
  for (int j = 0; j < kChannels; ++j) fields.refs.push_back(0.5);
  return sondrix::EncodeMeterPacket(fields, kChannels, kSamples);
}

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Summarise(const char* what, std::vector<double> values) {
  if (values.empty()) {
    std::printf("%-34s none\n", what);
    return;
  }
  std::sort(values.begin(), values.end());
  double sum = 0.0;
  for (double v : values) sum += v;
  std::printf("%-34s mean %8.2f ms  median %8.2f ms  max %8.2f ms  (%zu packets)\n", what,
              sum / static_cast<double>(values.size()), values[values.size() / 2], values.back(),
              values.size());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sondrix;
  const int packets = argc > 1 ? std::max(2, std::atoi(argv[1])) : 40;
  const int intervalMs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;

  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  const auto home = std::filesystem::temp_directory_path() /
                    ("sondrix-latency-" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  std::ofstream(home / "Sondrix.ini") << "[Ports]\nCOM1=" << name << "\n";
  ::setenv("SONDRIX_HOME", home.c_str(), 1);

  platform::HeadlessUi ui;
  const platform::ScopedUi scopedUi(ui);
  platform::TermiosSerial serial;
  const platform::ScopedSerial scopedSerial(serial);

  std::unique_ptr<Source> source;
  Status result = NewSource(source, kSourceKindDevice, kDevice, "COM1");
  if (result == status::kOk) result = source->Open();
  if (result != status::kOk) {
    std::fprintf(stderr, "live_latency: cannot open the meter (%d)\n", result);
    return 1;
  }

  // Packet 0 lets the reset synchronise; packets 1 ... N are timed.
  std::vector<Clock::time_point> written(static_cast<std::size_t>(packets) + 1);
  std::atomic<int> lastWritten{-1};
  std::thread instrument([&] {
    for (int k = 0; k <= packets; ++k) {
      const auto bytes = Packet(k);
      WriteAll(master, bytes);
      written[static_cast<std::size_t>(k)] = Clock::now();
      lastWritten.store(k, std::memory_order_release);
      std::this_thread::sleep_for(std::chrono::milliseconds(k == 0 ? 200 : intervalMs));
    }
  });

  result = source->Reset();
  if (result != status::kOk) {
    std::fprintf(stderr, "live_latency: reset failed (%d)\n", result);
    instrument.join();
    return 1;
  }
  source->SetBinsize(1);

  auto line = SourceLine_New(source->GetTraceCount());
  std::vector<double> firstLatency;
  std::vector<double> lastLatency;
  long long good = 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(intervalMs * (packets + 2) + 3000);
  while (Clock::now() < deadline && good < static_cast<long long>(packets) * kSamples) {
    if (!source->CanRead() || source->Read(*line) != status::kOk) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    if (line->status != status::kOk) continue;
    const auto now = Clock::now();
    const int packet = static_cast<int>(good / kSamples) + 1;
    const int index = static_cast<int>(good % kSamples);
    ++good;
    if (lastWritten.load(std::memory_order_acquire) < packet) continue;
    const double latency = Ms(now - written[static_cast<std::size_t>(packet)]);
    if (index == 0) firstLatency.push_back(latency);
    if (index == kSamples - 1) lastLatency.push_back(latency);
  }
  instrument.join();
  source->Close();
  ::close(master);
  ::close(slave);
  std::filesystem::remove_all(home);

  std::printf("live latency, nine-wavelength meter on a pseudo-terminal, one packet every %d ms\n",
              intervalMs);
  std::printf("samples handed out: %lld of %d\n", good, packets * kSamples);
  Summarise("last byte -> first sample:", firstLatency);
  Summarise("last byte -> last sample:", lastLatency);
  return 0;
}
