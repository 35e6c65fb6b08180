// Helpers of the simulator tests: example device files, streams written by
// the simulator's own classes, and runs of the built tool.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace sondrix::test {

inline const std::string kSimTool = SONDRIX_TOOLS_DIR "/sim/sondrix-sim";
inline const std::string kCaptureDir = SONDRIX_TOOLS_DIR "/../examples/captures";

inline std::string ExampleDevice(const std::string& name) {
  return std::string(SONDRIX_EXAMPLES_DIR) + "/" + name + ".dev";
}

// The four meter models' example files.
inline const std::vector<std::string> kMeterExamples = {"nerit-9wl", "pelag-3wl", "ameter",
                                                        "cmeter"};

inline sim::SimDevice LoadExample(const std::string& name) {
  sim::SimDevice device;
  std::string error;
  EXPECT_EQ(sim::LoadDevice(ExampleDevice(name), device, error), status::kOk) << error;
  return device;
}

// Writes `packets` packets of `sim` to `path`; returns the bytes.
inline std::vector<std::uint8_t> WriteStream(sim::Simulator& sim, long long packets,
                                             const std::string& path) {
  std::vector<std::uint8_t> bytes;
  for (long long i = 0; i < packets; ++i) {
    const sim::Emission& e = sim.Next();
    bytes.insert(bytes.end(), e.bytes.begin(), e.bytes.end());
  }
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace sondrix::test
