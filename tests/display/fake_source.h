// SPDX-License-Identifier: GPL-3.0-or-later
// A source whose traces, colours, wavelengths and headings are set by the
// test (no test framework needed: the fuzz targets use it too).
#pragma once

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "source/source.h"

namespace sondrix::test {

class FakeSource : public Source {
 public:
  // `traceMap` gives each trace's kind (3 absorption, 5 attenuation, 0 none).
  FakeSource(std::string filename, std::vector<int> traceMap)
      : Source(filename, "COM1"), map_(std::move(traceMap)) {
    for (std::size_t i = 0; i < map_.size(); ++i) {
      wavelengths.push_back(400.0 + 10.0 * static_cast<double>(i));
      colors.push_back(static_cast<int>(i % 16));
      headings.push_back((map_[i] & 4 ? "c" : "a") + std::to_string(i));
    }
  }

  int GetTraceCount() override { return static_cast<int>(map_.size()); }
  int GetInTraceCount() override { return GetTraceCount(); }
  int GetTraceMap(TraceMap& map) override {
    map.fill(0);
    std::copy(map_.begin(), map_.end(), map.begin());
    return GetTraceCount();
  }
  Status GetColors(std::span<int> out) override {
    std::copy_n(colors.begin(), std::min(colors.size(), out.size()), out.begin());
    return status::kOk;
  }
  Status GetWavelengths(std::span<double> out) override {
    std::copy_n(wavelengths.begin(), std::min(wavelengths.size(), out.size()), out.begin());
    return status::kOk;
  }
  Status GetHeading(int trace, std::string& heading) override {
    if (trace < 0 || trace >= static_cast<int>(headings.size())) return status::kNoSuchHeading;
    heading = headings[static_cast<std::size_t>(trace)];
    return status::kOk;
  }
  Status GetID(std::string& id) override {
    id = "Test meter";
    return status::kOk;
  }
  std::uint32_t GetSerialnum() override { return 0x0400012D; }
  Status GetDate(std::string& date, std::string& time) override {
    date = "03-05-2024";
    time = "14:07:09";
    return status::kOk;
  }
  int GetStatus() override { return statusWord; }
  double GetSampleRate() override { return 6.0; }
  int HasDepth() override { return depth ? 1 : 0; }
  int HasExtTemp() override { return extTemp ? 1 : 0; }
  int GetOrigBinsize() override { return 1; }
  Status Reset() override {
    ++resets;
    return status::kOk;
  }
  Status Close() override {
    ++*closes;
    return status::kOk;
  }
  Status NewDataFile(std::unique_ptr<DataFile>& out, std::string_view) override {
    out.reset();
    return recordable ? status::kOk : status::kMeterNoNewDataFile;
  }

  std::vector<double> wavelengths;
  std::vector<int> colors;
  std::vector<std::string> headings;
  int statusWord = 0;
  bool depth = false;
  bool extTemp = false;
  bool recordable = true;
  int resets = 0;
  std::shared_ptr<int> closes = std::make_shared<int>(0);

 private:
  std::vector<int> map_;
};

// A source laid out as the hyperspectral meter: `wavelengths` C traces
// (0 ... n - 1) then as many A traces (n ... 2n - 1) at 400, 403, 406 ... nm,
// headed "c400.0", "a403.0", ...; with `skip` above 1 only every skip-th
// wavelength is on the trace map.
inline std::unique_ptr<FakeSource> HyperspectralSource(const std::string& file, int wavelengths = 100,
                                                       int skip = 1) {
  std::vector<int> map(static_cast<std::size_t>(2 * wavelengths), 0);
  for (int i = 0; i < wavelengths; i += skip) {
    map[static_cast<std::size_t>(i)] = kTraceC;
    map[static_cast<std::size_t>(wavelengths + i)] = kTraceA;
  }
  auto source = std::make_unique<FakeSource>(file, map);
  for (int t = 0; t < 2 * wavelengths; ++t) {
    const double nm = 400.0 + 3.0 * (t % wavelengths);
    char heading[16];
    std::snprintf(heading, sizeof heading, "%c%.1f", t < wavelengths ? 'c' : 'a', nm);
    source->wavelengths[static_cast<std::size_t>(t)] = nm;
    source->headings[static_cast<std::size_t>(t)] = heading;
  }
  return source;
}

}  // namespace sondrix::test
