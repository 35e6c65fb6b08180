// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the export (`sondrix-cli export` in-process): a data file of
// one million lines of the nine-wavelength meter (18 traces; every tenth
// line, the first of a packet, with the trailing text of temperatures,
// depth and references) written to NetCDF-4, SeaBASS and CSV. The file is
// generated once per process: the example device configuration as its
// header and smoothly varying values. Reports lines/s (the goal is at least
// 200 000 lines/s to NetCDF) and MB/s of data file read. The "track" runs
// export the same lines (a hard link) with a position track beside them:
// a fix a second for the whole run, a dropout of 20 s every 10 minutes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench_captures.h"
#include "datafile/companion.h"
#include "datafile/track.h"
#include "export/export.h"
#include "build_paths.h"

namespace {

namespace sb = sondrix::bench;

constexpr long kLines = 1'000'000;
constexpr int kTraces = 18;

const sb::ScratchDir scratch("sondrix-export-bench");

// The data file and its companion, once per process.
std::string DataFile() {
  const auto path = scratch.Path() / "nine.dat";
  if (std::filesystem::exists(path)) return path.string();
  std::ifstream device(SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev", std::ios::binary);
  std::stringstream config;
  config << device.rdbuf();
  std::FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) return {};
  std::fprintf(out, "Sondrix ver 7.1\t12-09-2026\t18:03:07\n%s1\t\t\t; acquisition binsize\n", config.str().c_str());
  for (long i = 0; i < kLines; ++i) {
    std::fprintf(out, "%ld", i * 1000 / 6);
    for (int t = 0; t < kTraces; ++t) std::fprintf(out, "\t%.5f", 0.9 / (1 + t) + 0.01 * std::sin(0.001 * static_cast<double>(i) + t));
    if (i % 10 == 0) {
      std::fprintf(out, "\t%.2f\t6.0\t%.2f\t%.2f", 15.0 + std::sin(0.0001 * static_cast<double>(i)),
                   25.0 + 25.0 * std::sin(0.00005 * static_cast<double>(i)), 18.0);
      for (int t = 0; t < kTraces; ++t) std::fprintf(out, "\t%.5f", 0.5 + 0.01 * t);
    }
    std::fputc('\n', out);
  }
  if (std::fclose(out) != 0) return {};
  sondrix::Companion companion;
  companion.timeZeroUtcMs = 1765303387250;
  companion.program = "Sondrix 7.1";
  companion.deployment.Set("cruise", "EN712");
  if (sondrix::WriteCompanion(sondrix::CompanionPathFor(path.string()), companion) != 1) return {};
  return path.string();
}

// The data file again under another name, with a track beside it.
std::string TrackedFile() {
  const std::string data = DataFile();
  const auto path = scratch.Path() / "nine-track.dat";
  if (data.empty()) return {};
  if (std::filesystem::exists(path)) return path.string();
  std::error_code ec;
  std::filesystem::create_hard_link(data, path, ec);
  if (ec) std::filesystem::copy_file(data, path, ec);
  if (ec) return {};
  std::filesystem::copy_file(sondrix::CompanionPathFor(data), sondrix::CompanionPathFor(path.string()), ec);
  if (ec) return {};
  sondrix::TrackWriter track;
  if (track.Open(sondrix::TrackPathFor(path.string())) != 1) return {};
  const std::int64_t zero = 1765303387250;
  const long seconds = kLines / 6 + 2;
  for (long s = -1; s < seconds; ++s) {
    if (s % 600 >= 590) continue;  // a dropout
    sondrix::TrackFix fix;
    fix.utcMs = zero + s * 1000;
    fix.latitude = 43.0 + 1e-5 * static_cast<double>(s);
    fix.longitude = -70.0 + 1e-5 * static_cast<double>(s) * std::cos(1e-4 * static_cast<double>(s));
    fix.quality = 1;
    fix.satellites = 9;
    fix.hdop = 0.8;
    fix.source = "udp:10110";
    if (track.Append(fix) != 1) return {};
  }
  return track.Close() == 1 ? path.string() : std::string();
}

void Export(benchmark::State& state, sondrix::ExportFormat format, bool withTrack = false) {
  const std::string path = withTrack ? TrackedFile() : DataFile();
  if (path.empty()) {
    state.SkipWithError("cannot write the data file (or its track)");
    return;
  }
  const std::string output = (scratch.Path() / "out").string() + std::string(sondrix::ExportExtension(format));
  sondrix::ExportOptions options;
  options.format = format;
  options.force = true;
  std::int64_t lines = 0;
  for (auto _ : state) {
    const sondrix::ExportResult result = sondrix::ExportDataFile(path, output, options);
    if (result.status != 1) {
      state.SkipWithError(result.message.c_str());
      break;
    }
    lines += result.samples;
  }
  const auto bytes = static_cast<double>(std::filesystem::file_size(path));
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
  state.counters["MB/s"] = benchmark::Counter(bytes * static_cast<double>(state.iterations()) / 1e6,
                                              benchmark::Counter::kIsRate);
  state.counters["output MB"] = static_cast<double>(std::filesystem::file_size(output)) / 1e6;
}

BENCHMARK_CAPTURE(Export, netcdf, sondrix::ExportFormat::kNetCdf)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Export, seabass, sondrix::ExportFormat::kSeaBass)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Export, csv, sondrix::ExportFormat::kCsv)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Export, netcdf_track, sondrix::ExportFormat::kNetCdf, true)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Export, seabass_track, sondrix::ExportFormat::kSeaBass, true)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Export, csv_track, sondrix::ExportFormat::kCsv, true)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
