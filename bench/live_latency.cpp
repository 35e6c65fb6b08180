// SPDX-License-Identifier: GPL-3.0-or-later
// Live latency of the nine-wavelength meter: the time from a packet's last
// byte written to a pseudo-terminal to its first and last samples
//
// - read and recorded: handed out by the source's binned read (bin size 1)
//   and written into the run's data file, as the run's stream publishes it
//   (a keeping consumer of the session's sample stream, which takes each
//   line right after it was recorded);
// - drawn: taken by the display (a Display on the headless user interface
//   with the main panel, following the stream as in the window) and handed
//   by its graph on show to the backend (a following consumer after the
//   display: its Take comes when the display's returned);
// - on disk: written out to the data file (DataFile::storedLines), which a
//   live run does, and syncs, about once a second (kSyncSeconds).
//
// The path is the window's live run without its window: the termios serial
// library, RS232Port (COM1 mapped to the pseudo-terminal in a temporary
// Sondrix.ini), BinBuffer, NeritMeter, a Session and its Acquisition, which
// sleeps on the serial line between packets.
//
// The instrument side writes whole packets at a fixed interval from a second
// thread; each packet carries its number in its external temperature, so
// that every sample is matched to the packet it came in (packet 0, which the
// reset synchronises on, is not timed). Times are kept as they come and
// matched once the run is over.
//
// Usage: live_latency [PACKETS] [INTERVAL_MS]   (defaults 40, 100)
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "build_paths.h"
#include "common/panels.h"
#include "display/display.h"
#include "io/meter_packet.h"
#include "meter/source_factory.h"
#include "platform/headless/headless_ui.h"
#include "platform/posix/termios_serial.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "session/session.h"
#include "source/source.h"
#include "source/source_line.h"
#include "source/source_wait.h"

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
  fields.extTempHundredths = static_cast<std::int16_t>(number);  // the packet's number, read back from each sample
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
    std::printf("%-38s none\n", what);
    return;
  }
  std::sort(values.begin(), values.end());
  double sum = 0.0;
  for (double v : values) sum += v;
  std::printf("%-38s mean %8.2f ms  median %8.2f ms  max %8.2f ms  (%zu packets)\n", what,
              sum / static_cast<double>(values.size()), values[values.size() / 2], values.back(), values.size());
}

// One good line of the run, in the order recorded, and when it got where.
struct LineTimes {
  int packet = -1;
  int index = 0;  // in its packet, by arrival
  Clock::time_point recorded;
  std::optional<Clock::time_point> drawn;
  std::optional<Clock::time_point> onDisk;
};

// The keeping consumer: a line recorded and published.
class Recorded final : public sondrix::SampleConsumer {
 public:
  explicit Recorded(std::vector<LineTimes>& lines) : lines_(lines) {}
  sondrix::Status Take(const sondrix::SourceLine& line) override {
    const auto now = Clock::now();
    if (line.status != sondrix::status::kOk) return sondrix::status::kOk;  // not recorded
    LineTimes times;
    times.packet = static_cast<int>(std::lround(line.extTemperature * 100.0));
    times.index = times.packet == lastPacket_ ? lastIndex_ + 1 : 0;
    lastPacket_ = times.packet;
    lastIndex_ = times.index;
    times.recorded = now;
    lines_.push_back(times);
    return sondrix::status::kOk;
  }

 private:
  std::vector<LineTimes>& lines_;
  int lastPacket_ = -1;
  int lastIndex_ = 0;
};

// The following consumer after the display.
class Drawn final : public sondrix::SampleConsumer {
 public:
  explicit Drawn(std::vector<LineTimes>& lines) : lines_(lines) {}
  sondrix::Status Take(const sondrix::SourceLine& line) override {
    if (line.status == sondrix::status::kOk && !lines_.empty()) lines_.back().drawn = Clock::now();
    return sondrix::status::kOk;
  }
  void Missed(const sondrix::SourceLine&) override { ++missed; }
  long missed = 0;

 private:
  std::vector<LineTimes>& lines_;
};

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
  const auto home = std::filesystem::temp_directory_path() / ("sondrix-latency-" + std::to_string(::getpid()));
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
  if (result == status::kOk) result = source->SetBinsize(1);
  if (result != status::kOk) {
    std::fprintf(stderr, "live_latency: cannot open the meter (%d)\n", result);
    return 1;
  }

  Session session;
  std::unique_ptr<Display> display;
  result = Display::New(display, ui.LoadPanel(0, panels::kMain), session);
  if (result == status::kOk) result = display->Attach(std::move(source));
  if (result != status::kOk) {
    std::fprintf(stderr, "live_latency: cannot make the display (%d)\n", result);
    return 1;
  }
  display->ShowGraph(graph_type::kXY);
  std::vector<LineTimes> lines;
  lines.reserve(static_cast<std::size_t>(packets + 2) * kSamples);
  Recorded recorded(lines);
  Drawn drawn(lines);
  session.stream().Keep(recorded);
  session.stream().Follow(drawn, 0);  // after the display's own

  // Packet 0 lets the reset synchronise; packets 1 ... N are timed.
  std::vector<Clock::time_point> written(static_cast<std::size_t>(packets) + 1);
  std::atomic<bool> allWritten{false};
  std::thread instrument([&] {
    for (int k = 0; k <= packets; ++k) {
      WriteAll(master, Packet(k));
      written[static_cast<std::size_t>(k)] = Clock::now();
      std::this_thread::sleep_for(std::chrono::milliseconds(k == 0 ? 200 : intervalMs));
    }
    allWritten.store(true, std::memory_order_release);
  });

  result = display->InitPlot();  // opens the recording, resets the source
  if (result != status::kOk) {
    std::fprintf(stderr, "live_latency: reset failed (%d)\n", result);
    instrument.join();
    return 1;
  }

  // The run's user: between looks it notes the lines that reached the
  // file, and stops once every packet was written and its samples are in
  // the file (or at the deadline).
  DataFile* file = session.recording();
  long onDisk = 0;
  const long wanted = static_cast<long>(packets) * kSamples;
  const auto deadline = Clock::now() + std::chrono::milliseconds(intervalMs * (packets + 2) + 3000);
  PollingUser user([&] {
    const long stored = file->storedLines();
    const auto now = Clock::now();
    for (; onDisk < stored && onDisk < static_cast<long>(lines.size()); ++onDisk)
      lines[static_cast<std::size_t>(onDisk)].onDisk = now;
    const long timed = std::count_if(lines.begin(), lines.begin() + onDisk,
                                     [](const LineTimes& line) { return line.packet > 0; });
    const bool done = allWritten.load(std::memory_order_acquire) && timed >= wanted;
    return done || now > deadline ? 1 : 0;
  });
  RunSetup setup;
  Acquisition& run = session.Begin(user, nullptr, std::move(setup));
  run.Run();
  const RunSummary summary = session.Finish();
  instrument.join();
  display.reset();
  session.Detach();
  ::close(master);
  ::close(slave);
  std::filesystem::remove_all(home);

  std::vector<double> firstRecorded, lastRecorded, firstDrawn, lastDrawn, firstOnDisk, lastOnDisk;
  long timedLines = 0, timedDrawn = 0, timedOnDisk = 0;
  for (const LineTimes& line : lines) {
    if (line.packet < 1 || line.packet > packets) continue;
    ++timedLines;
    const Clock::time_point sent = written[static_cast<std::size_t>(line.packet)];
    const bool first = line.index == 0;
    const bool last = line.index == kSamples - 1;
    if (first) firstRecorded.push_back(Ms(line.recorded - sent));
    if (last) lastRecorded.push_back(Ms(line.recorded - sent));
    if (line.drawn) {
      ++timedDrawn;
      if (first) firstDrawn.push_back(Ms(*line.drawn - sent));
      if (last) lastDrawn.push_back(Ms(*line.drawn - sent));
    }
    if (line.onDisk) {
      ++timedOnDisk;
      if (first) firstOnDisk.push_back(Ms(*line.onDisk - sent));
      if (last) lastOnDisk.push_back(Ms(*line.onDisk - sent));
    }
  }

  std::printf("live latency, nine-wavelength meter on a pseudo-terminal, one packet every %d ms, a live run "
              "with a headless display\n",
              intervalMs);
  std::printf("samples of packets 1 ... %d: %ld of %ld read and recorded, %ld drawn (%ld not: the run was behind), "
              "%ld on disk; run result %d, %ld lines in the file\n",
              packets, timedLines, wanted, timedDrawn, drawn.missed, timedOnDisk, summary.result, summary.recorded);
  Summarise("last byte -> first sample recorded:", firstRecorded);
  Summarise("last byte -> last sample recorded:", lastRecorded);
  Summarise("last byte -> first sample drawn:", firstDrawn);
  Summarise("last byte -> last sample drawn:", lastDrawn);
  Summarise("last byte -> first sample on disk:", firstOnDisk);
  Summarise("last byte -> last sample on disk:", lastOnDisk);
  return timedLines == wanted ? 0 : 1;
}
