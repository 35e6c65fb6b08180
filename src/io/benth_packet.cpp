// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/benth_packet.h"

#include <cmath>
#include <algorithm>
#include <functional>

#include "io/byte_order.h"

namespace sondrix {
namespace {

// Thermistor resistances below this are taken as this (ohms).
constexpr double kMinResistance = 500.0;
// Volts per count of the converters of packet types 4 and later.
constexpr double kVoltsPerCount = 7.629510948348211e-05;  // 5 / 65535
constexpr double kDividerVolts = 4.516;
// Resistance of the older converters when the voltage is at their supply.
constexpr double kOpenResistance = 100000.0;
constexpr double kMinVolts = 0.05;

// Steinhart-Hart with the thermistor's coefficients, degrees Celsius.
double ThermistorTemp(double resistance) {
  if (!(resistance >= kMinResistance) || !std::isfinite(resistance)) resistance = kMinResistance;
  const double x = std::log(resistance);
  return 1.0 / (0.00093135 + 0.000221631 * x + 1.25741e-07 * x * x * x) - 273.16;
}

std::uint16_t ValueAt(std::vector<std::uint16_t> const& values, std::size_t index) {
  return index < values.size() ? values[index] : 0;
}

// The count in `low` ... `high` whose value of the non-increasing `f` comes
// nearest to `target`.
std::uint16_t NearestCount(const std::function<double(std::uint16_t)>& f, double target,
                           std::uint32_t low, std::uint32_t high) {
  if (std::isnan(target) || target >= f(static_cast<std::uint16_t>(low))) {
    return static_cast<std::uint16_t>(low);
  }
  if (target <= f(static_cast<std::uint16_t>(high))) return static_cast<std::uint16_t>(high);
  while (high - low > 1) {
    const std::uint32_t middle = low + (high - low) / 2;
    if (f(static_cast<std::uint16_t>(middle)) > target) {
      low = middle;
    } else {
      high = middle;
    }
  }
  const double below = f(static_cast<std::uint16_t>(low)) - target;
  const double above = target - f(static_cast<std::uint16_t>(high));
  return static_cast<std::uint16_t>(below <= above ? low : high);
}

}  // namespace

std::uint32_t BenthChecksum(std::span<const std::uint8_t> body) {
  std::uint32_t sum = kBenthChecksumStart;
  for (std::uint8_t byte : body) sum += byte;
  return sum;
}

double BenthInternalTemp(int packetType, std::uint16_t count4) {
  if (packetType <= 3) {
    const double v = std::max(2.5 * count4 / 65535.0, kMinVolts);
    const double r = v < 2.5 ? 10000.0 * v / (2.5 - v) : kOpenResistance;
    return ThermistorTemp(r);
  }
  const double v = count4 * kVoltsPerCount;
  // At or above the divider's voltage the formula has no positive
  // resistance; like a resistance below 500 ohms it reads as 500 ohms.
  const double r = v < kDividerVolts ? 10000.0 * v / (kDividerVolts - v) : kMinResistance;
  return ThermistorTemp(r);
}

double BenthSecondTemp(int packetType, std::uint16_t count3) {
  if (packetType <= 3) {
    const double v = std::max(5.0 * count3 / 65535.0, kMinVolts);
    return ((-1.17831833361925 * v + 9.94100020653274) * v - 45.8217726498572) * v +
           95.8241397196854;
  }
  const double c = count3;
  return ((-7.10233167806268e-13 * c + 7.09341920007176e-08) * c - 0.00387065673276358) * c +
         95.8241397194834;
}

// Both converters fall as the count rises (over the counts whose voltage
// stays below the divider's, for the newer internal one).
std::uint16_t BenthInternalTempToCount(int packetType, double degrees) {
  const auto highest = packetType <= 3
                           ? std::uint32_t{0xFFFE}
                           : static_cast<std::uint32_t>(std::floor(kDividerVolts / kVoltsPerCount));
  return NearestCount([packetType](std::uint16_t c) { return BenthInternalTemp(packetType, c); },
                      degrees, 0, highest);
}

std::uint16_t BenthSecondTempToCount(int packetType, double degrees) {
  return NearestCount([packetType](std::uint16_t c) { return BenthSecondTemp(packetType, c); },
                      degrees, 0, 0xFFFF);
}

std::vector<std::uint8_t> EncodeBenthPacket(const BenthPacketFields& f, int channels) {
  const int length = BenthPacketLength(channels);
  if (length == 0) return {};
  std::vector<std::uint8_t> packet(static_cast<std::size_t>(length + kBenthChecksumBytes), 0);
  std::uint8_t* p = packet.data();
  for (int i = 0; i < kBenthSyncLength; ++i) p[i] = kBenthSync[static_cast<std::size_t>(i)];
  PutBigEndian16(p + kBenthLengthOffset, static_cast<std::uint16_t>(length));
  p[kBenthTypeOffset] = f.type;
  p[kBenthSkipOffset] = f.skip;
  PutBigEndian32(p + kBenthSerialOffset, f.serial);
  PutBigEndian16(p + kBenthStatusOffset, f.status);
  PutBigEndian16(p + kBenthCount1Offset, f.count1);
  PutBigEndian16(p + kBenthCount2Offset, f.count2);
  PutBigEndian16(p + kBenthCount3Offset, f.count3);
  PutBigEndian16(p + kBenthCount4Offset, f.count4);
  PutBigEndian16(p + kBenthCount5Offset, static_cast<std::uint16_t>(f.count5));
  PutBigEndian16(p + kBenthCount6Offset, static_cast<std::uint16_t>(f.count6));
  PutBigEndian32(p + kBenthTimeOffset, f.time);
  for (int j = 0; j < channels; ++j) {
    const auto index = static_cast<std::size_t>(j);
    std::uint8_t* at = p + kBenthChannelsOffset + kBenthChannelBytes * j;
    PutBigEndian16(at, ValueAt(f.ref1, index));
    PutBigEndian16(at + 2, ValueAt(f.ref2, index));
    PutBigEndian16(at + 4, ValueAt(f.sig1, index));
    PutBigEndian16(at + 6, ValueAt(f.sig2, index));
  }
  SealBenthPacket(packet);
  return packet;
}

void SealBenthPacket(std::vector<std::uint8_t>& packet) {
  constexpr std::size_t kMinimum = kBenthLengthOffset + kBenthChecksumBytes;
  if (packet.size() < kMinimum) return;
  const std::size_t end = packet.size() - kBenthChecksumBytes;
  const std::uint32_t sum = BenthChecksum(
      std::span<const std::uint8_t>(packet.data() + kBenthLengthOffset, end - kBenthLengthOffset));
  PutBigEndian16(packet.data() + end, static_cast<std::uint16_t>(sum & 0xFFFF));
}

std::array<std::uint8_t, kBenthFrameBytes> EncodeBenthFrame(std::uint16_t code,
                                                            std::uint16_t param1,
                                                            std::uint16_t param2) {
  std::array<std::uint8_t, kBenthFrameBytes> frame{};
  for (std::size_t i = 0; i < kBenthFrameSync.size(); ++i) frame[i] = kBenthFrameSync[i];
  PutBigEndian16(frame.data() + 4, code);
  PutBigEndian16(frame.data() + 6, param1);
  PutBigEndian16(frame.data() + 8, param2);
  std::uint16_t sum = 0;
  for (int i = 0; i < 10; ++i) sum = static_cast<std::uint16_t>(sum + frame[static_cast<std::size_t>(i)]);
  PutBigEndian16(frame.data() + 10, sum);
  return frame;
}

bool BenthFrameTailGood(std::span<const std::uint8_t, 8> tail) {
  std::uint16_t sum = 0;
  for (std::uint8_t byte : kBenthFrameSync) sum = static_cast<std::uint16_t>(sum + byte);
  for (std::size_t i = 0; i < 6; ++i) sum = static_cast<std::uint16_t>(sum + tail[i]);
  return sum == BigEndian16(tail.data() + 6);
}

}  // namespace sondrix
