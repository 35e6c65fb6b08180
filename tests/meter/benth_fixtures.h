// SPDX-License-Identifier: GPL-3.0-or-later
// A hyperspectral meter for the tests: device configuration texts of
// structure version 2 (100 wavelengths at a skip value) and 3 (n
// wavelengths), and its packets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "io/benth_packet.h"

namespace sondrix::test {

inline constexpr std::uint32_t kBenthSerial = 0x530000A7;

// What a device configuration text holds besides its wavelengths.
struct BenthDeviceSpec {
  int version = 2;
  int n = 100;        // wavelengths (version 2 files always hold 100)
  int skip = 1;       // version 2 only
  std::string depth = "0.5\t0.01";
  // maxANoise maxCNoise maxANonConform maxCNonConform maxADifference
  // maxCDifference minACounts minCCounts minRCounts maxTempSdev maxDepthSdev
  std::string limits = "0 0 0 0 0 0 0 0 0 0 0";
  double cOffset = 0.1;
  double aOffset = 0.2;
  bool bins = true;  // bins 10 and 20, C corrections 0.01 0.03, A 0.02 0.06
};

// Wavelength i is named c(400 + 3i), its A trace (version 3) a(401 + 3i).
inline std::string BenthDeviceText(const BenthDeviceSpec& spec) {
  char line[256];
  std::string text = "Test hyperspectral\n";
  std::snprintf(line, sizeof line, "%08X\t\t; Serial number\n", kBenthSerial);
  text += line;
  text += std::to_string(spec.version) + "\t; structure version number\nReserved\n";
  text += spec.depth + "\t\t; Depth calibration\n19200\t\t\t; Baud rate\n0.25\t\t\t; Path length\n";
  text += std::to_string(spec.version < 3 ? spec.skip : spec.n) + "\t\t\t; first\n";
  text += spec.bins ? "2\t\t\t; number of temperature bins\n\t10\t20\t; temperature bins\n"
                    : "0\t\t\t; number of temperature bins\n\t0\t; temperature bins\n";
  for (int i = 0; i < spec.n; ++i) {
    const std::string aName = spec.version >= 3 ? "a" + std::to_string(401 + 3 * i) + "\t" : "";
    std::snprintf(line, sizeof line, "c%d\t5\t%s%g\t%g\t%s\n", 400 + 3 * i, aName.c_str(), spec.cOffset,
                  spec.aOffset, spec.bins ? "\t0.01\t0.03\t\t0.02\t0.06" : "");
    text += line;
  }
  text += spec.limits + "\t; limits\n";
  return text;
}

inline std::string BenthDeviceText(int version, int n, int skip = 1) {
  return BenthDeviceText(BenthDeviceSpec{.version = version, .n = n, .skip = skip});
}

struct BenthPacketSpec {
  std::uint8_t skip = 1;
  std::uint32_t time = 0;
  std::uint16_t signal = 30000;
  std::uint16_t reference = 30000;
  std::uint16_t tempCount = 0;  // internal temperature count
  std::uint8_t type = 4;
};

// Per wavelength, when not empty: the C (signal 1) and A (signal 2) signals
// instead of the packet spec's `signal`.
struct BenthSpectrum {
  std::vector<std::uint16_t> c;
  std::vector<std::uint16_t> a;
};

// A packet spec at skip value `skip`, everything else as given above.
inline BenthPacketSpec BenthSkip(int skip) {
  BenthPacketSpec spec;
  spec.skip = static_cast<std::uint8_t>(skip);
  return spec;
}

inline std::vector<std::uint8_t> BenthPacket(int n, const BenthPacketSpec& spec,
                                             const BenthSpectrum& spectrum = {}) {
  BenthPacketFields f;
  f.type = spec.type;
  f.skip = spec.skip;
  f.serial = kBenthSerial;
  f.status = 7;
  f.count1 = 300;
  f.count2 = 22;
  f.count3 = BenthSecondTempToCount(4, 12.0);
  f.count4 = spec.tempCount != 0 ? spec.tempCount : BenthInternalTempToCount(4, 15.0);
  f.count5 = -5;
  f.count6 = 6;
  f.time = spec.time;
  const auto channels = static_cast<std::size_t>(n);
  f.ref1.assign(channels, spec.reference);
  f.ref2.assign(channels, spec.reference);
  f.sig1 = spectrum.c.empty() ? std::vector<std::uint16_t>(channels, spec.signal) : spectrum.c;
  f.sig2 = spectrum.a.empty() ? std::vector<std::uint16_t>(channels, spec.signal) : spectrum.a;
  return EncodeBenthPacket(f, n);
}

}  // namespace sondrix::test
