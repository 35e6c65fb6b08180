// SPDX-License-Identifier: GPL-3.0-or-later
// Generated raw captures and a scratch directory for the benchmarks, written
// once per process and removed at its end, and the read loop of the tools.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "io/benth_packet.h"
#include "sim/simulator.h"
#include "source/source.h"
#include "source/source_line.h"
#include "build_paths.h"

namespace sondrix::bench {

// The hyperspectral example: 100 wavelengths, one sample a packet at the
// simulator's default 6 samples a second.
inline constexpr int kBenthChannels = 100;
inline constexpr std::uint32_t kBenthSerial = 0x530000A7;
inline constexpr double kBenthRate = 6.0;
inline const std::string kBenthDevice = SONDRIX_EXAMPLES_DIR "/benth-100wl.dev";

// A directory of this process's own, removed by the one `ScratchDir` object
// a benchmark program defines.
class ScratchDir {
 public:
  explicit ScratchDir(std::string name)
      : path_(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))) {}
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::filesystem::path Path() const {
    std::filesystem::create_directories(path_);
    return path_;
  }

 private:
  std::filesystem::path path_;
};

// The simulator's sample rate (samples a second) when none is asked for:
// the rate of its captures below.
inline double SimRate() { return sim::SimSettings{}.rate; }

// A capture of the simulator (sondrix-sim) for `device` of `packets`
// packets at its default settings (SimRate, seed 1), every
// `badChecksumEvery`-th packet with a bad checksum (0: none), written once
// into `dir`.
inline std::string SimCapture(const std::filesystem::path& dir, const std::string& device, long packets,
                              int badChecksumEvery) {
  const auto path = dir / (std::filesystem::path(device).stem().string() + "-" + std::to_string(packets) + "-" +
                           std::to_string(badChecksumEvery) + ".raw");
  if (std::filesystem::exists(path)) return path.string();
  sim::SimDevice simDevice;
  std::string error;
  if (sim::LoadDevice(device, simDevice, error) != status::kOk) {
    std::fprintf(stderr, "%s: %s\n", device.c_str(), error.c_str());
    std::abort();
  }
  sim::SimSettings settings;
  settings.faults.badChecksum = badChecksumEvery;
  const std::unique_ptr<sim::PacketStream> stream = sim::MakeStream(simDevice, settings);
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr || !stream) std::abort();
  for (long k = 0; k < packets; ++k) {
    const sim::Emission& e = stream->Next();
    std::fwrite(e.bytes.data(), 1, e.bytes.size(), out);
  }
  std::fclose(out);
  return path.string();
}

// A hyperspectral capture of `packets` packets at skip value `skip` (the
// instrument then sends every skip-th wavelength and 0 counts for the
// others), written once into `dir`; every `damagedEvery`-th packet has a bad
// checksum.
inline std::string BenthCapture(const std::filesystem::path& dir, int packets, int damagedEvery, int skip = 1) {
  const auto path = dir / ("benth-" + std::to_string(packets) + "-" + std::to_string(damagedEvery) + "-s" +
                           std::to_string(skip) + ".raw");
  if (std::filesystem::exists(path)) return path.string();
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) std::abort();
  BenthPacketFields fields;
  fields.type = 5;
  fields.skip = static_cast<std::uint8_t>(skip);
  fields.serial = kBenthSerial;
  fields.count3 = BenthSecondTempToCount(5, 12.0);
  fields.ref1.resize(kBenthChannels);
  fields.ref2.resize(kBenthChannels);
  fields.sig1.resize(kBenthChannels);
  fields.sig2.resize(kBenthChannels);
  for (int k = 0; k < packets; ++k) {
    fields.count1 = static_cast<std::uint16_t>(k % 4000);
    fields.count4 = BenthInternalTempToCount(5, 10.0 + (k % 1000) / 100.0);
    fields.time = static_cast<std::uint32_t>(k * 1000.0 / kBenthRate);
    for (std::size_t j = 0; j < kBenthChannels; ++j) {
      const bool sent = j % static_cast<std::size_t>(skip) == 0;
      fields.ref1[j] = sent ? static_cast<std::uint16_t>(30000 + 50 * j) : 0;
      fields.ref2[j] = sent ? static_cast<std::uint16_t>(28000 + 50 * j) : 0;
      fields.sig1[j] = sent ? static_cast<std::uint16_t>(12000 + (k + 7 * j) % 5000) : 0;
      fields.sig2[j] = sent ? static_cast<std::uint16_t>(20000 + (k + 3 * j) % 5000) : 0;
    }
    std::vector<std::uint8_t> packet = EncodeBenthPacket(fields, kBenthChannels);
    if (damagedEvery > 0 && k % damagedEvery == 1) packet[100] ^= 0x40;
    std::fwrite(packet.data(), 1, packet.size(), out);
  }
  std::fclose(out);
  return path.string();
}

// The hyperspectral example device file with another skip value, written
// into `dir` (the example itself for skip 1).
inline std::string BenthDevice(const std::filesystem::path& dir, int skip) {
  if (skip == 1) return kBenthDevice;
  const auto path = dir / ("benth-skip" + std::to_string(skip) + ".dev");
  if (std::filesystem::exists(path)) return path.string();
  std::FILE* in = std::fopen(kBenthDevice.c_str(), "rb");
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (in == nullptr || out == nullptr) std::abort();
  char line[4096];
  while (std::fgets(line, sizeof line, in) != nullptr) {
    if (std::string(line).find("; skip value") != std::string::npos) {
      std::fprintf(out, "%d\t\t\t; skip value\n", skip);
    } else {
      std::fputs(line, out);
    }
  }
  std::fclose(in);
  std::fclose(out);
  return path.string();
}

// Reads `source` as the command-line tools do, polling until the end of the
// data (or an error), and hands every line read to `take`, which returns
// false to stop. The result that ended the reading.
template <class Take>
Status ReadLines(Source& source, SourceLine& line, Take take) {
  Status result;
  while ((result = source.CanRead() ? source.Read(line) : status::kNoData) == status::kOk ||
         result == status::kNoData) {
    if (result == status::kOk && !take(line)) break;
  }
  return result;
}

}  // namespace sondrix::bench
