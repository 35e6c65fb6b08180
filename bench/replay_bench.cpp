// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of a replay, the path of `sondrix-cli replay` in-process: a
// hyperspectral data file (BenthFile, 200 traces) opened as a source,
// reset, read line by line through the source's binned read and every line
// written out as text (to /dev/null, as the command writes its output).
// The data files are recorded once per process from a generated capture
// (bench_captures.h), at skip value 1 (200 values a line) and 2 (100 values
// a line, spread back over 200 traces). Reports lines/s, MB/s of data file
// and how many times faster than the instrument's real time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_captures.h"
#include "datafile/data_file.h"
#include "meter/benth_meter.h"
#include "meter/source_factory.h"
#include "source/source_line.h"

namespace {

namespace sb = sondrix::bench;

constexpr int kPackets = 20000;  // 19 999 lines, 55 minutes of instrument time

// Removed when the program ends.
const sb::ScratchDir scratch("sondrix-replay-bench");

// Records the capture at `skip` into a data file, once per process.
std::string Recording(int skip) {
  const auto dir = scratch.Path();
  const auto path = dir / ("benth-s" + std::to_string(skip) + ".dat");
  if (std::filesystem::exists(path)) return path.string();
  auto meter = sondrix::Meter::New<sondrix::BenthMeter>(sb::BenthDevice(dir, skip),
                                                        sb::BenthCapture(dir, kPackets, 0, skip));
  std::unique_ptr<sondrix::DataFile> file;
  if (!meter || meter->Open() != 1 || meter->Reset() != 1 ||
      meter->NewDataFile(file, (dir / "Sondrix.tmp").string()) != 1 || file->OpenWrite(meter.get()) != 1) {
    return {};
  }
  sondrix::SourceLine line(meter->GetTraceCount());
  bool written = true;
  sb::ReadLines(*meter, line, [&](const sondrix::SourceLine& read) { return written = file->WriteData(read) == 1; });
  meter->Close();
  if (!written || file->Close() != 1 || file->SaveAs(path.string()) != 1) return {};
  return path.string();
}

void Replay(benchmark::State& state, int skip, int binsize) {
  const std::string path = Recording(skip);
  if (path.empty()) {
    state.SkipWithError("cannot record the data file");
    return;
  }
  const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
  std::FILE* out = std::fopen("/dev/null", "w");
  if (out == nullptr) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  static char buffer[1 << 16];
  std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
  std::int64_t lines = 0;
  for (auto _ : state) {
    std::unique_ptr<sondrix::Source> source;
    if (sondrix::NewSource(source, sondrix::kSourceKindFile, path, "") != 1 || source->Open() != 1 ||
        source->Reset() != 1 || source->SetBinsize(binsize) != 1) {
      state.SkipWithError("cannot open the data file");
      break;
    }
    sondrix::SourceLine line(source->GetTraceCount());
    bool written = true;
    sb::ReadLines(*source, line, [&](const sondrix::SourceLine& read) {
      written = sondrix::SourceLine_Write(out, read) == 1;
      lines += written ? 1 : 0;
      return written;
    });
    source->Close();
    if (!written) {
      state.SkipWithError("write failed");
      break;
    }
  }
  std::fclose(out);
  state.SetBytesProcessed(bytes * static_cast<std::int64_t>(state.iterations()));
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
  state.counters["x realtime"] = benchmark::Counter(static_cast<double>(lines) * binsize / sb::kBenthRate,
                                                    benchmark::Counter::kIsRate);
}

void BM_ReplayBenth(benchmark::State& state) { Replay(state, 1, 1); }
void BM_ReplayBenthSkip2(benchmark::State& state) { Replay(state, 2, 1); }
void BM_ReplayBenthBin10(benchmark::State& state) { Replay(state, 1, 10); }

BENCHMARK(BM_ReplayBenth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayBenthSkip2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayBenthBin10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
