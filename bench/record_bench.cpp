// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of a recording, the path of `sondrix-cli record` in-process (a
// Session recording and publishing every line): a
// large capture made by the simulator (as `sondrix-sim --device ... --out`
// makes it) replayed through RawFilPort, decoded and calibrated by the meter
// (NeritMeter: nine wavelengths, ten samples a packet; BenthMeter: a hundred
// wavelengths, one sample a packet), binned by the source's binned read and
// written by the meter's data file. Reports lines/s, MB/s of capture and how
// many times faster than the instrument's real time: samples recorded a
// second over the samples the simulated instrument takes a second (its
// rate, SimRate).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_captures.h"
#include "datafile/data_file.h"
#include "meter/benth_meter.h"
#include "meter/nerit_meter.h"
#include "session/session.h"
#include "source/source_line.h"
#include "build_paths.h"

namespace {

namespace sb = sondrix::bench;

const std::string kNeritDevice = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";
// 20 000 packets of ten samples, about 12.8 MB; 40 000 of one sample, about 33 MB.
constexpr long kNeritPackets = 20000;
constexpr long kBenthPackets = 40000;

// Removed when the program ends.
const sb::ScratchDir scratch("sondrix-record-bench");

std::filesystem::path WorkDir() { return scratch.Path(); }

// Every `damagedEvery`-th packet has a bad checksum (its samples are lost
// and not recorded).
std::string NeritCapture(int damagedEvery) {
  return sb::SimCapture(WorkDir(), kNeritDevice, kNeritPackets, damagedEvery);
}
std::string BenthCapture(int damagedEvery) {
  return sb::SimCapture(WorkDir(), sb::kBenthDevice, kBenthPackets, damagedEvery);
}

template <class M>
void Record(benchmark::State& state, const std::string& device, const std::string& capture, int binsize) {
  const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(capture));
  const std::string scratch = (WorkDir() / "Sondrix.tmp").string();
  std::int64_t lines = 0;
  for (auto _ : state) {
    std::unique_ptr<sondrix::Source> meter = sondrix::Meter::New<M>(device, capture);
    if (!meter || meter->Open() != 1 || meter->Reset() != 1 || meter->SetBinsize(binsize) != 1) {
      state.SkipWithError("cannot open the meter on the capture");
      return;
    }
    sondrix::Session session;
    if (session.Attach(std::move(meter), scratch) != 1 || session.OpenRecording() != 1) {
      state.SkipWithError("cannot open the recording");
      return;
    }
    // The run of `sondrix-cli record`, to the capture's end.
    sondrix::PollingUser user([] { return 0; });
    sondrix::RunSetup setup;
    sondrix::Acquisition& run = session.Begin(user, nullptr, std::move(setup));
    if (run.Run() != sondrix::status::kUnexpectedEof) {
      state.SkipWithError("the run did not read the capture to its end");
      return;
    }
    lines += session.Finish().recorded;
    session.recording()->Delete();
  }
  state.SetBytesProcessed(bytes * static_cast<std::int64_t>(state.iterations()));
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
  // Samples per second recorded over the instrument's samples per second.
  state.counters["x realtime"] =
      benchmark::Counter(static_cast<double>(lines) * binsize / sb::SimRate(), benchmark::Counter::kIsRate);
}

void BM_RecordNerit(benchmark::State& state) {
  Record<sondrix::NeritMeter>(state, kNeritDevice, NeritCapture(0), 1);
}
void BM_RecordNeritDamaged(benchmark::State& state) {  // 2 % bad
  Record<sondrix::NeritMeter>(state, kNeritDevice, NeritCapture(50), 1);
}
void BM_RecordNeritBin10(benchmark::State& state) {
  Record<sondrix::NeritMeter>(state, kNeritDevice, NeritCapture(0), 10);
}
void BM_RecordBenth(benchmark::State& state) {
  Record<sondrix::BenthMeter>(state, sb::kBenthDevice, BenthCapture(0), 1);
}
void BM_RecordBenthDamaged(benchmark::State& state) {  // 2 % bad
  Record<sondrix::BenthMeter>(state, sb::kBenthDevice, BenthCapture(50), 1);
}
void BM_RecordBenthBin10(benchmark::State& state) {
  Record<sondrix::BenthMeter>(state, sb::kBenthDevice, BenthCapture(0), 10);
}

BENCHMARK(BM_RecordNerit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordNeritDamaged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordNeritBin10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordBenth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordBenthDamaged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordBenthBin10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
