// SPDX-License-Identifier: GPL-3.0-or-later
// Device configuration files and raw captures for the meter and data file
// tests: a small nine-wavelength (or three-channel) configuration whose
// numbers make results easy to predict, and captures built packet by packet
// with the packet encoder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "io/meter_packet.h"
#include "support/fixtures.h"

namespace sondrix::test {

inline constexpr std::uint32_t kNeritSerial = 0x0400012D;

// A version-1 device configuration without temperature bins: trace i is
// named after its kind and wavelength, its offset is 0.01 (i + 1).
inline std::string MeterDeviceText(std::uint32_t serialnum, int traces, double depthScale = 0.0035,
                                   double depthOffset = 0.5, double pathLength = 0.25,
                                   const std::string& firstName = "a412") {
  char line[256];
  std::string text = "Test meter\n";
  std::snprintf(line, sizeof line, "%08X\t\t; Serial number\n", serialnum);
  text += line;
  text += "1\t; structure version number\nReserved\n";
  std::snprintf(line, sizeof line, "%.6f\t%.6f\t\t; Depth calibration\n", depthOffset, depthScale);
  text += line;
  text += "19200\t\t\t; Baud rate\n";
  std::snprintf(line, sizeof line, "%.6f\t\t\t; Path length (meters)\n", pathLength);
  text += line;
  text += "0\t\t\t; number of temperature calibration bins\n\t\t\t\t; temperature bins\n";
  for (int i = 0; i < traces; ++i) {
    const bool a = (i / 3) % 2 == 0;
    std::string name = i == 0 ? firstName : std::string(a ? "a" : "c") + std::to_string(400 + 10 * i);
    std::snprintf(line, sizeof line, "%s\t%d\t%.5f\t\t\t; offset and temperature correction info\n",
                  name.c_str(), 10 + i, 0.01 * (i + 1));
    text += line;
  }
  return text;
}

// One packet of `channels` channels and `samples` samples: every channel
// reads `signal`, every reference `ref`; sample i has time count
// firstTime + i (16 bits).
inline std::vector<std::uint8_t> Packet(int channels, int samples, std::uint32_t serial,
                                        std::uint16_t firstTime, double signal, double ref,
                                        std::uint16_t tempCount, std::int16_t pressure = 100,
                                        std::uint16_t periodCount = 3165) {
  MeterPacketFields fields;
  fields.serial = serial;
  fields.status = 0;
  fields.periodCount = periodCount;
  fields.pressureCount = pressure;
  fields.extTempHundredths = 1234;
  for (int i = 0; i < samples; ++i) fields.timeCounts.push_back(static_cast<std::uint16_t>(firstTime + i));
  fields.values.assign(static_cast<std::size_t>(channels * samples), signal);
  fields.refs.assign(static_cast<std::size_t>(channels), ref);
  fields.tempCount = tempCount;
  return EncodeMeterPacket(fields, channels, samples);
}

// A packet with a broken checksum.
inline std::vector<std::uint8_t> Damaged(std::vector<std::uint8_t> packet) {
  if (packet.size() >= static_cast<std::size_t>(kMeterChecksumBytes)) packet[packet.size() - kMeterChecksumBytes] ^= 0x5A;
  return packet;
}

inline std::string WriteCapture(const std::string& path,
                                const std::vector<std::vector<std::uint8_t>>& packets) {
  std::string bytes;
  for (const auto& packet : packets) bytes.append(packet.begin(), packet.end());
  return WriteTextFile(path, bytes);
}

}  // namespace sondrix::test
