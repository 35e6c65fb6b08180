// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's record of what it sent (--report FILE): one tab-separated
// line per packet with what was done to it, the samples it makes lost and
// each sample's time counter, then a line of totals. A test compares what
// the program read with this record, not with the program's own decoder.
//
//   packet  samples  fault  lost  tick_ms  counter  counter_unwrapped  elapsed_ms
//   1       10       ok     0     10       0,16,33  0,16,33            0,166,333
//   ...
//   totals  <packets>  <samples>  <lost>
//
// A duplicated packet is one line (its copy adds no sample).
//
// The last three columns of a packet line list one value per sample,
// separated by commas.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "common/file.h"
#include "sim/simulator.h"

namespace sondrix::sim {

// What was done to a packet: "ok", or its faults joined by "+" in the order
// bad-checksum, bad-length, noise(N bytes), wrong-serial, pause, restart,
// duplicate, spacing, unplugged.
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
};

}  // namespace sondrix::sim
