// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's record of what it sent (--report FILE): one tab-separated
// line per packet with what was done to it, the samples it makes lost and
// each sample's time counter and true time of measurement, then a line of
// totals. A test compares what the program read with this record, not with
// the program's own decoder.
//
//   packet  samples  fault  lost  tick_ms  counter  counter_unwrapped  elapsed_ms  utc_ms
//   1       10       ok     0     10       0,16,33  0,16,33            0,166,333   1796817600000.000,...
//   ...
//   totals  <packets>  <samples>  <lost>
//
// A duplicated packet is one line (its copy adds no sample).
//
// The last four columns of a packet line list one value per sample,
// separated by commas. utc_ms is the sample's true time of measurement,
// milliseconds since 1970-01-01T00:00:00Z with three decimals (to the
// microsecond): the run's UTC start plus Emission::trueSeconds.
//
// In the water mode (--water) the header line is followed by the water and
// the truth of every channel, before the packets:
//
//   water  <T>  <S>  <T_cal>  <scatter>
//   truth  a|c  <wavelength>  <T/S corrected>  <scattering corrected>
//
// The T/S corrected value is what the temperature and salinity correction
// must give (a_true + scatter b for a, a_true + b for c); the scattering
// corrected one what the proportional correction must give (a_true; for c
// the T/S corrected value again).
//
// Underway (--underway), in place of the truth lines:
//
//   particulate  a|c  <wavelength>  <a_p after the scattering correction, or c_p>
//   dissolved    a|c  <wavelength>  <at the first sample>  <change per hour>
//   underway     <EVERY,FILTERED,OFFSET>  <c_p's spectral slope>
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/file.h"
#include "sim/simulator.h"

namespace sondrix::sim {

// What was done to a packet: "ok", or its faults joined by "+" in the order
// bad-checksum, bad-length, noise(N bytes), wrong-serial, pause, restart,
// duplicate, spacing, unplugged, overflow(N bytes) (bytes the line lost).
std::string FaultText(const Emission& e);

// Creates (or truncates) a report file and writes its header line; null
// with `error` set when it cannot be created.
std::FILE* CreateReportFile(const std::string& path, const char* header, std::string& error);

class PacketReport {
 public:
  // Creates (or truncates) the file and writes the header line.
  static std::unique_ptr<PacketReport> Open(const std::string& path, std::string& error);
  ~PacketReport();
  PacketReport(const PacketReport&) = delete;
  PacketReport& operator=(const PacketReport&) = delete;

  // The UTC time at which the run's first sample was measured,
  // microseconds since 1970-01-01T00:00:00Z (0 until set).
  void SetUtcStart(std::int64_t microseconds) { utcStartUs_ = microseconds; }
  // The water mode's lines (before any packet).
  void Water(const WaterSettings& water, const std::vector<SimChannel>& channels);
  // One packet that was written whole.
  void Add(const Emission& e);
  // The totals line (of the packets added); closes the file. False with
  // `error` when the file could not be written.
  bool Finish(std::string& error);

 private:
  PacketReport(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}

  OwnedFile file_;
  std::string path_;
  SimCounts totals_;
  std::int64_t utcStartUs_ = 0;
};

// Microseconds since the epoch as milliseconds with three decimals
// ("1796817600000.125").
std::string UtcMsText(std::int64_t microseconds);

}  // namespace sondrix::sim
