// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding throughput of the nine-wavelength meter's packets (18 channels,
// 10 samples, 638 bytes with the checksum) replayed from a large capture
// file through RawFilPort and BinBuffer. Reports MB/s and packets/s. The
// damaged capture runs with the log as it ships (warnings only: the trace of
// each rejected packet is one comparison) and with the trace written to a
// log file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/log.h"
#include "io/bin_buffer.h"
#include "io/meter_packet.h"
#include "io/raw_file_port.h"

namespace {

constexpr int kChannels = 18;
constexpr int kSamples = 10;
constexpr int kPackets = 20000;  // about 12.8 MB

sondrix::MeterPacketFields Fields(int seed) {
  sondrix::MeterPacketFields fields;
  fields.serial = 0x05000100;
  fields.status = 1;
  fields.periodCount = 7000;
  fields.tempCount = static_cast<std::uint16_t>(480 + seed % 40);
  for (int i = 0; i < kSamples; ++i) {
    fields.timeCounts.push_back(static_cast<std::uint16_t>(seed * kSamples + i));
    for (int j = 0; j < kChannels; ++j) fields.values.push_back(((seed + i * j) % 900) / 1000.0);
  }
  for (int j = 0; j < kChannels; ++j) fields.refs.push_back(0.5 + j / 100.0);
  return fields;
}

// Writes the capture once per process; `damagedEvery` > 0 flips a byte in
// every n-th packet (each one then comes out as lost samples).
std::string Capture(const char* name, int damagedEvery) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      (std::string("sondrix-bench-") + std::to_string(::getpid()) + "-" + name + ".raw");
  if (std::filesystem::exists(path)) return path.string();
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) std::abort();
  for (int k = 0; k < kPackets; ++k) {
    std::vector<std::uint8_t> packet = sondrix::EncodeMeterPacket(Fields(k), kChannels, kSamples);
    if (damagedEvery > 0 && k % damagedEvery == 0) packet[100] ^= 0x40;
    std::fwrite(packet.data(), 1, packet.size(), out);
  }
  std::fclose(out);
  return path.string();
}

void Decode(benchmark::State& state, const std::string& path) {
  const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
  std::int64_t packets = 0;
  for (auto _ : state) {
    sondrix::RawFilPort port;
    port.SetName(path);
    if (port.Open(0) != 1) {
      state.SkipWithError("cannot open the capture");
      return;
    }
    std::unique_ptr<sondrix::BinBuffer> decoder;
    sondrix::BinBuffer::New(decoder, port, kChannels, kSamples);
    int last = 0;
    double sum = 0.0;
    while (decoder->ReadRecord(last) == 1) {
      sum += decoder->GetDatap(last)->values[kChannels - 1];
      ++packets;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(bytes * static_cast<std::int64_t>(state.iterations()));
  state.counters["packets/s"] =
      benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate);
}

void BM_DecodeCapture18(benchmark::State& state) { Decode(state, Capture("clean", 0)); }
void BM_DecodeDamagedCapture18(benchmark::State& state) {
  Decode(state, Capture("damaged", 50));  // 2 % bad checksums
}

void BM_EncodePacket18(benchmark::State& state) {
  const sondrix::MeterPacketFields fields = Fields(3);
  for (auto _ : state) {
    auto packet = sondrix::EncodeMeterPacket(fields, kChannels, kSamples);
    benchmark::DoNotOptimize(packet.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          (sondrix::MeterPacketLength(kChannels, kSamples) + 4));
}

// Every rejected packet and stretch of noise becomes a line of the log file.
void BM_DecodeDamagedCapture18Traced(benchmark::State& state) {
  const std::string log = Capture("damaged", 50) + ".log";
  sondrix::logging::SetThreshold(sondrix::LogLevel::Trace);
  sondrix::logging::ToFile(log);
  Decode(state, Capture("damaged", 50));
  sondrix::logging::Reset();
  for (const std::string& path : {log, log + ".1", log + ".2", log + ".3"}) std::filesystem::remove(path);
}

BENCHMARK(BM_DecodeCapture18)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDamagedCapture18)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDamagedCapture18Traced)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodePacket18);

// Removes the captures this process wrote.
struct Cleanup {
  ~Cleanup() {
    for (const char* name : {"clean", "damaged"}) {
      std::error_code ec;
      std::filesystem::remove(std::filesystem::temp_directory_path() /
                                  (std::string("sondrix-bench-") + std::to_string(::getpid()) +
                                   "-" + name + ".raw"),
                              ec);
    }
  }
} cleanup;

}  // namespace

BENCHMARK_MAIN();
