// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's record of what it sent (sondrix-sim --report FILE), read
// back for the tests that compare a stream with its source.
#pragma once

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "support/fixtures.h"

namespace sondrix::test {

// One packet line: the last four columns hold one value per sample.
struct ReportedPacket {
  long long number = 0;
  int samples = 0;
  std::string fault;
  int lost = 0;
  int tickMs = 0;
  std::vector<long long> counters;
  std::vector<long long> unwrapped;
  std::vector<long long> elapsedMs;
  // The true UTC time of each sample's measurement, milliseconds since
  // 1970 (with a fraction); empty in a report written before the column.
  std::vector<double> utcMs;
};

// The water mode's truth of one channel (--water).
struct ReportedTruth {
  bool attenuation = true;
  double wavelength = 0.0;
  double ts = 0.0;         // what the temperature and salinity correction must give
  double corrected = 0.0;  // what the proportional scattering correction must give
};

// The underway water's truth of one channel (--underway).
struct ReportedUnderway {
  bool attenuation = true;
  double wavelength = 0.0;
  double particulate = 0.0;  // a_p after the scattering correction, or c_p
  double dissolved = 0.0;    // at the first sample
  double dissolvedPerHour = 0.0;
};

struct Report {
  std::vector<ReportedPacket> packets;
  // The water mode's water (T, S, T_cal, scatter) and truth; empty without.
  std::vector<double> water;
  std::vector<ReportedTruth> truth;
  // The underway water's (channel by channel), its valve schedule and
  // c_p's spectral slope.
  std::vector<ReportedUnderway> underway;
  std::string valveSchedule;
  double slope = 0.0;
  long long totalPackets = -1;
  long long totalSamples = -1;
  long long totalLost = -1;
  std::string error;  // empty when the report could be read
};

inline std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    fields.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return fields;
    start = end + 1;
  }
}

template <typename T>
inline bool ParseWhole(std::string_view text, T& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

inline bool ParseList(std::string_view text, std::vector<long long>& values) {
  values.clear();
  for (const std::string& field : Split(text, ',')) {
    long long value = 0;
    if (!ParseWhole(field, value)) return false;
    values.push_back(value);
  }
  return true;
}

inline bool ParseList(std::string_view text, std::vector<double>& values) {
  values.clear();
  for (const std::string& field : Split(text, ',')) {
    double value = 0.0;
    if (!ParseWhole(field, value)) return false;
    values.push_back(value);
  }
  return true;
}

// The report at `path`; `error` says what could not be read.
inline Report ReadReport(const std::string& path) {
  Report report;
  std::vector<std::string> lines = Split(ReadTextFile(path).value_or(""), '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.empty() || lines.front().rfind("packet\tsamples\tfault\tlost\t", 0) != 0) {
    report.error = "no header line";
    return report;
  }
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> f = Split(lines[i], '\t');
    auto bad = [&] {
      report.error = "line " + std::to_string(i + 1) + " unreadable: " + lines[i];
      return report;
    };
    if (f.size() == 5 && f[0] == "water") {
      report.water.assign(4, 0.0);
      for (std::size_t k = 0; k < 4; ++k) {
        if (!ParseWhole(f[k + 1], report.water[k])) return bad();
      }
      continue;
    }
    if (f.size() == 5 && f[0] == "truth") {
      ReportedTruth t;
      t.attenuation = f[1] == "c";
      if (!ParseWhole(f[2], t.wavelength) || !ParseWhole(f[3], t.ts) || !ParseWhole(f[4], t.corrected)) return bad();
      report.truth.push_back(t);
      continue;
    }
    if (f.size() == 4 && f[0] == "particulate") {
      ReportedUnderway u;
      u.attenuation = f[1] == "c";
      if (!ParseWhole(f[2], u.wavelength) || !ParseWhole(f[3], u.particulate)) return bad();
      report.underway.push_back(u);
      continue;
    }
    if (f.size() == 5 && f[0] == "dissolved") {
      if (report.underway.empty() || !ParseWhole(f[3], report.underway.back().dissolved) ||
          !ParseWhole(f[4], report.underway.back().dissolvedPerHour))
        return bad();
      continue;
    }
    if (f.size() == 3 && f[0] == "underway") {
      report.valveSchedule = f[1];
      if (!ParseWhole(f[2], report.slope)) return bad();
      continue;
    }
    if (f.size() == 4 && f[0] == "totals") {
      if (!ParseWhole(f[1], report.totalPackets) || !ParseWhole(f[2], report.totalSamples) ||
          !ParseWhole(f[3], report.totalLost) || i + 1 != lines.size()) {
        return bad();
      }
      return report;
    }
    ReportedPacket p;
    if ((f.size() != 8 && f.size() != 9) || !ParseWhole(f[0], p.number) || !ParseWhole(f[1], p.samples) ||
        !ParseWhole(f[3], p.lost) || !ParseWhole(f[4], p.tickMs) || !ParseList(f[5], p.counters) ||
        !ParseList(f[6], p.unwrapped) || !ParseList(f[7], p.elapsedMs) ||
        (f.size() == 9 && (!ParseList(f[8], p.utcMs) || p.utcMs.size() != p.counters.size()))) {
      return bad();
    }
    p.fault = f[2];
    report.packets.push_back(std::move(p));
  }
  report.error = "no totals line";
  return report;
}

}  // namespace sondrix::test
