// SPDX-License-Identifier: GPL-3.0-or-later
// Test environment of the port and decoder tests: a temporary directory that
// is both the project directory ($SONDRIX_HOME, where Sondrix.ini lives) and
// the current directory (where raw captures are written), plus helpers to
// build streams of meter packets.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "io/meter_packet.h"

namespace sondrix::test {

class TempProjectDir {
 public:
  TempProjectDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sondrix-io-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    if (const char* home = std::getenv("SONDRIX_HOME"); home != nullptr) oldHome_ = home;
    ::setenv("SONDRIX_HOME", path_.c_str(), 1);
    oldCwd_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~TempProjectDir() {
    std::error_code ec;
    std::filesystem::current_path(oldCwd_, ec);
    if (oldHome_) {
      ::setenv("SONDRIX_HOME", oldHome_->c_str(), 1);
    } else {
      ::unsetenv("SONDRIX_HOME");
    }
    std::filesystem::remove_all(path_, ec);
  }
  TempProjectDir(const TempProjectDir&) = delete;
  TempProjectDir& operator=(const TempProjectDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

  void WriteFile(const std::string& name, const std::string& text) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out << text;
  }
  void WriteBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::filesystem::path path_;
  std::filesystem::path oldCwd_;
  std::optional<std::string> oldHome_;
};

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Files in `directory` whose names end in `extension`.
inline std::vector<std::filesystem::path> FilesEndingIn(const std::filesystem::path& directory,
                                                        const std::string& extension) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (name.size() >= extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0) {
      found.push_back(entry.path());
    }
  }
  return found;
}

// A packet whose every field differs from packet to packet by `seed`.
inline MeterPacketFields SamplePacketFields(int channels, int samples, int seed) {
  MeterPacketFields fields;
  fields.serial = 0x05000000u + static_cast<std::uint32_t>(seed);
  fields.status = static_cast<std::uint16_t>(2 + seed % 7);
  fields.periodCount = static_cast<std::uint16_t>(7000 + seed);
  fields.pressureCount = static_cast<std::int16_t>(-300 + 17 * seed);
  fields.extTempHundredths = static_cast<std::int16_t>(1234 + seed);
  fields.tempCount = static_cast<std::uint16_t>(480 + seed % 50);
  for (int i = 0; i < samples; ++i) {
    fields.timeCounts.push_back(static_cast<std::uint16_t>(seed * samples + i));
    for (int j = 0; j < channels; ++j) {
      fields.values.push_back(((seed * 31 + i * 7 + j * 3) % 997) / 1000.0);
    }
  }
  for (int j = 0; j < channels; ++j) fields.refs.push_back(((seed * 13 + j * 5) % 991) / 1000.0);
  return fields;
}

inline std::vector<std::uint8_t> SamplePacket(int channels, int samples, int seed) {
  return EncodeMeterPacket(SamplePacketFields(channels, samples, seed), channels, samples);
}

inline void Append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

}  // namespace sondrix::test
