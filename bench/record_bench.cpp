// Throughput of a recording, the path of `sondrix-cli record` in-process: a
// large generated capture replayed through RawFilPort, decoded and
// calibrated by the meter (NeritMeter: nine wavelengths, ten samples a
// packet; BenthMeter: a hundred wavelengths, one sample a packet), binned
// by the source's binned read and written by the meter's data file. Reports
// lines/s, MB/s of capture and how many times faster than the instrument's
// real time (lines/s over its sample rate).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_captures.h"
#include "datafile/acquisition.h"
#include "datafile/data_file.h"
#include "io/meter_packet.h"
#include "meter/benth_meter.h"
#include "meter/nerit_meter.h"
#include "source/source_line.h"

namespace {

constexpr int kChannels = 18;
constexpr int kSamples = 10;
constexpr int kPackets = 20000;  // about 12.8 MB, 200 000 samples
constexpr std::uint32_t kSerial = 0x0400012D;  // the example device file's
const std::string kDevice = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";
// Period count 3165: 10 samples a second.
constexpr double kNeritRate = 10.0;

// Removed when the program ends.
const sondrix::bench::ScratchDir scratch("sondrix-record-bench");

std::filesystem::path WorkDir() { return scratch.Path(); }

// Writes the capture once per process; every `damagedEvery`-th packet has a
// bad checksum (its samples are lost and not recorded).
std::string Capture(int damagedEvery) {
  const auto path = WorkDir() / ("capture-" + std::to_string(damagedEvery) + ".raw");
  if (std::filesystem::exists(path)) return path.string();
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) std::abort();
  sondrix::MeterPacketFields fields;
  fields.serial = kSerial;
  fields.periodCount = 3165;
  fields.pressureCount = 2000;
  fields.extTempHundredths = 1530;
  fields.timeCounts.resize(kSamples);
  fields.values.resize(kChannels * kSamples);
  fields.refs.resize(kChannels);
  for (int k = 0; k < kPackets; ++k) {
    fields.tempCount = sondrix::TempToCount(10.0 + (k % 1000) / 100.0);
    for (int i = 0; i < kSamples; ++i) {
      fields.timeCounts[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(k * kSamples + i);
      for (int j = 0; j < kChannels; ++j)
        fields.values[static_cast<std::size_t>(i * kChannels + j)] = 0.2 + ((k + i * j) % 500) / 1000.0;
    }
    for (int j = 0; j < kChannels; ++j) fields.refs[static_cast<std::size_t>(j)] = 0.6 + j / 100.0;
    std::vector<std::uint8_t> packet = sondrix::EncodeMeterPacket(fields, kChannels, kSamples);
    if (damagedEvery > 0 && k % damagedEvery == 1) packet[100] ^= 0x40;
    std::fwrite(packet.data(), 1, packet.size(), out);
  }
  std::fclose(out);
  return path.string();
}

std::string BenthCapture(int damagedEvery) {
  return sondrix::bench::BenthCapture(WorkDir(), 40000, damagedEvery);  // about 33 MB
}

template <class M>
void Record(benchmark::State& state, const std::string& device, const std::string& capture,
            int binsize, double instrumentRate) {
  const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(capture));
  const std::string scratch = (WorkDir() / "Sondrix.tmp").string();
  std::int64_t lines = 0;
  for (auto _ : state) {
    auto meter = sondrix::Meter::New<M>(device, capture);
    if (!meter || meter->Open() != 1 || meter->Reset() != 1 || meter->SetBinsize(binsize) != 1) {
      state.SkipWithError("cannot open the meter on the capture");
      return;
    }
    std::unique_ptr<sondrix::DataFile> file;
    if (meter->NewDataFile(file, scratch) != 1 || file->SetOrigBinsize(binsize) != 1 ||
        file->OpenWrite(meter.get()) != 1) {
      state.SkipWithError("cannot open the recording");
      return;
    }
    // The run of `sondrix-cli record`, to the capture's end.
    sondrix::PollingUser user([] { return 0; });
    sondrix::Acquisition run(*meter, file.get(), user);
    if (run.Run() != sondrix::status::kUnexpectedEof) {
      state.SkipWithError("the run did not read the capture to its end");
      return;
    }
    lines += run.Finish().recorded;
    file->Delete();
    meter->Close();
  }
  state.SetBytesProcessed(bytes * static_cast<std::int64_t>(state.iterations()));
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
  // Samples per second recorded over the instrument's samples per second.
  state.counters["x realtime"] = benchmark::Counter(
      static_cast<double>(lines) * binsize / instrumentRate, benchmark::Counter::kIsRate);
}

void BM_RecordNerit(benchmark::State& state) {
  Record<sondrix::NeritMeter>(state, kDevice, Capture(0), 1, kNeritRate);
}
void BM_RecordNeritDamaged(benchmark::State& state) {  // 2 % bad
  Record<sondrix::NeritMeter>(state, kDevice, Capture(50), 1, kNeritRate);
}
void BM_RecordNeritBin10(benchmark::State& state) {
  Record<sondrix::NeritMeter>(state, kDevice, Capture(0), 10, kNeritRate);
}
using sondrix::bench::kBenthDevice;
using sondrix::bench::kBenthRate;

void BM_RecordBenth(benchmark::State& state) {
  Record<sondrix::BenthMeter>(state, kBenthDevice, BenthCapture(0), 1, kBenthRate);
}
void BM_RecordBenthDamaged(benchmark::State& state) {  // 2 % bad
  Record<sondrix::BenthMeter>(state, kBenthDevice, BenthCapture(50), 1, kBenthRate);
}
void BM_RecordBenthBin10(benchmark::State& state) {
  Record<sondrix::BenthMeter>(state, kBenthDevice, BenthCapture(0), 10, kBenthRate);
}

BENCHMARK(BM_RecordNerit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordNeritDamaged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordNeritBin10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordBenth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordBenthDamaged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordBenthBin10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
