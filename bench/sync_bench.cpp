// SPDX-License-Identifier: GPL-3.0-or-later
// What the loss bound of a live recording costs: the recording is written
// out and synced (fdatasync) about once a second. Each iteration appends a
// second's worth of sample lines to a file in the working directory (the
// place a run records into) and syncs it, as OwnedFile::Sync does; the
// figure is the latency of that sync on this disk.
//
//   build/bench/sync_bench [--benchmark_min_time=2s]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/file.h"

namespace {

// A nine-wavelength line is about 200 bytes; `rate` lines a second.
void BM_SecondOfLinesThenSync(benchmark::State& state) {
  const std::string path = "sondrix-sync-bench.tmp";
  sondrix::OwnedFile file = sondrix::OwnedFile::Open(path, "w");
  if (!file) {
    state.SkipWithError("cannot create the file in the working directory");
    return;
  }
  const std::string line(199, '0');
  const auto rate = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    for (int k = 0; k < rate; ++k) std::fprintf(file.get(), "%s\n", line.c_str());
    state.ResumeTiming();
    if (!file.Sync()) {
      state.SkipWithError("fdatasync failed");
      break;
    }
  }
  file.Close();
  ::unlink(path.c_str());
}
BENCHMARK(BM_SecondOfLinesThenSync)->Arg(6)->Arg(60)->Arg(1000)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
