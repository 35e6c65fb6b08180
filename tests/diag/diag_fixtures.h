// SPDX-License-Identifier: GPL-3.0-or-later
// A nine-wavelength meter for the self-test tests: a device configuration
// with diagnostic limits and zero offsets, and packets whose counts make
// the statistics easy to predict (every channel at its own level, the
// signal equal to the reference, so that A and C read exactly 0).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "io/meter_packet.h"
#include "meter/meter_fixtures.h"

namespace sondrix::test {

inline constexpr int kNeritChannels = 18;
inline constexpr int kNeritSamples = 10;

// The nine-wavelength meter's channels in packet order.
inline constexpr std::array<const char*, kNeritChannels> kNeritNames = {
    "a412", "a440", "a488", "c412", "c440", "c488", "a510", "a532", "a555",
    "c510", "c532", "c555", "a650", "a676", "a715", "c650", "c676", "c715"};

// maxANoise maxCNoise maxADifference maxCDifference minACounts minCCounts
// minRCounts maxTempSdev maxDepthSdev
inline constexpr const char* kDiagLimits =
    "0.005000\t0.006000\t0.050000\t0.040000\t0.100000\t0.110000\t0.120000\t0.050000\t0.100000";

// A structure version 2 file with limits; every offset 0, no temperature
// bins.
inline std::string NeritDiagDevice(const std::string& limits = kDiagLimits, double depthScale = 0.0035,
                                   double depthOffset = 0.0) {
  char line[256];
  std::string text = "Diag test meter 7\n";
  std::snprintf(line, sizeof line, "%08X\t\t; Serial number\n", kNeritSerial);
  text += line;
  text += "2\t; structure version number\nReserved\n";
  std::snprintf(line, sizeof line, "%.6f\t%.6f\t\t; Depth calibration\n", depthOffset, depthScale);
  text += line;
  text += "19200\t\t\t; Baud rate\n0.250000\t\t\t; Path length (meters)\n";
  text += "0\t\t\t; number of temperature calibration bins\n\t\t\t\t; temperature bins\n";
  for (const char* name : kNeritNames) {
    std::snprintf(line, sizeof line, "%s\t5\t0.00000\t\t\t; offset and temperature correction info\n", name);
    text += line;
  }
  text += limits + "\t; maxANoise\tmaxCNoise\tmaxADifference\tmaxCDifference\tminACounts\tminCCounts"
                   "\tminRCounts\tmaxTempSdev\tmaxDepthSdev\n";
  text += "1\t\t\t; auxilliary capabilities\n";
  return text;
}

// The level of channel i: a different fraction of full scale per channel,
// exactly representable in the packet's 24 bits.
inline double Level(int channel) { return 0.25 + channel / 64.0; }

// What a packet of the self-test carries.
struct DiagPacketSpec {
  std::uint16_t firstTime = 0;
  // signal[sample * 18 + channel]; refs[channel].
  std::vector<double> signal = std::vector<double>(kNeritChannels * kNeritSamples, 0.0);
  std::vector<double> refs = std::vector<double>(kNeritChannels, 0.0);
  std::uint16_t tempCount = TempToCount(20.0);
  std::int16_t pressure = 0;
};

// Every channel at its level, signal equal to reference.
inline DiagPacketSpec SteadyPacket(std::uint16_t firstTime) {
  DiagPacketSpec spec;
  spec.firstTime = firstTime;
  for (int c = 0; c < kNeritChannels; ++c) {
    spec.refs[static_cast<std::size_t>(c)] = Level(c);
    for (int s = 0; s < kNeritSamples; ++s)
      spec.signal[static_cast<std::size_t>(s * kNeritChannels + c)] = Level(c);
  }
  return spec;
}

inline std::vector<std::uint8_t> Encode(const DiagPacketSpec& spec) {
  MeterPacketFields fields;
  fields.serial = kNeritSerial;
  fields.periodCount = 3165;
  fields.pressureCount = spec.pressure;
  fields.extTempHundredths = 1500;
  for (int s = 0; s < kNeritSamples; ++s)
    fields.timeCounts.push_back(static_cast<std::uint16_t>(spec.firstTime + s));
  fields.values = spec.signal;
  fields.refs = spec.refs;
  fields.tempCount = spec.tempCount;
  return EncodeMeterPacket(fields, kNeritChannels, kNeritSamples);
}

// `packets` steady packets, the first the one a reset synchronises on.
inline std::vector<std::vector<std::uint8_t>> SteadyCapture(int packets) {
  std::vector<std::vector<std::uint8_t>> capture;
  for (int p = 0; p < packets; ++p) capture.push_back(Encode(SteadyPacket(static_cast<std::uint16_t>(p * 10))));
  return capture;
}

}  // namespace sondrix::test
