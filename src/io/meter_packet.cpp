// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/meter_packet.h"

#include <cmath>
#include <limits>

#include "io/byte_order.h"

namespace sondrix {
namespace {

double At(const std::vector<double>& values, std::size_t index) {
  return index < values.size() ? values[index] : 0.0;
}

// The lowest count from which CountToTemp rises (below it the 1/c terms make
// the curve fall steeply towards the count 1).
std::uint16_t FirstRisingCount() {
  std::uint32_t count = 1;
  while (count < 0xFFFF && CountToTemp(count + 1) <= CountToTemp(count)) ++count;
  return static_cast<std::uint16_t>(count);
}

}  // namespace

std::uint32_t MeterChecksum(std::span<const std::uint8_t> body) {
  std::uint32_t sum = kMeterChecksumStart;
  for (std::uint8_t byte : body) sum += byte;
  return sum;
}

std::array<std::uint8_t, 3> FractionToChannelBytes(double fraction) {
  constexpr double kScale = 65536.0 * 256.0;
  constexpr std::uint32_t kMax = 0xFFFFFF;
  std::uint32_t raw = 0;
  if (fraction > 0.0) {  // also sends NaN as 0
    double scaled = std::round(fraction * kScale);
    raw = scaled >= static_cast<double>(kMax) ? kMax : static_cast<std::uint32_t>(scaled);
  }
  std::array<std::uint8_t, 3> bytes{};
  PutLittleEndian16(bytes.data(), static_cast<std::uint16_t>(raw >> 8));
  bytes[2] = static_cast<std::uint8_t>(raw & 0xFF);
  return bytes;
}

double ChannelBytesToFraction(const std::uint8_t* bytes) {
  return (LittleEndian16(bytes) + bytes[2] / 256.0) / 65536.0;
}

double CountToTemp(std::uint32_t count) {
  if (count == 0) return std::numeric_limits<double>::quiet_NaN();
  const double c = count;
  return 0.045113 * c + 10.61831 - 4891.32 / c + 208130.2 / (c * c) + 1171473.0 / (c * c * c);
}

std::uint16_t TempToCount(double degrees) {
  static const std::uint16_t kLow = FirstRisingCount();
  std::uint32_t low = kLow;
  std::uint32_t high = 0xFFFF;
  if (std::isnan(degrees) || degrees <= CountToTemp(low)) return static_cast<std::uint16_t>(low);
  if (degrees >= CountToTemp(high)) return static_cast<std::uint16_t>(high);
  // CountToTemp(low) < degrees < CountToTemp(high) on a rising stretch.
  while (high - low > 1) {
    const std::uint32_t middle = low + (high - low) / 2;
    if (CountToTemp(middle) < degrees) {
      low = middle;
    } else {
      high = middle;
    }
  }
  const bool lowNearer = degrees - CountToTemp(low) <= CountToTemp(high) - degrees;
  return static_cast<std::uint16_t>(lowNearer ? low : high);
}

std::vector<std::uint8_t> EncodeMeterPacket(const MeterPacketFields& fields, int channels,
                                            int samples) {
  const int length = MeterPacketLength(channels, samples);
  if (length == 0) return {};
  std::vector<std::uint8_t> packet(static_cast<std::size_t>(length + kMeterChecksumBytes), 0);
  std::uint8_t* p = packet.data();
  for (int i = 0; i < kMeterSyncLength; ++i) p[i] = kMeterSync[static_cast<std::size_t>(i)];
  PutLittleEndian16(p + kMeterLengthOffset, static_cast<std::uint16_t>(length));
  PutLittleEndian32(p + kMeterSerialOffset, fields.serial);
  PutLittleEndian16(p + kMeterStatusOffset, fields.status);
  PutLittleEndian16(p + kMeterPeriodOffset, fields.periodCount);
  PutLittleEndian16(p + kMeterPressureOffset, static_cast<std::uint16_t>(fields.pressureCount));
  PutLittleEndian16(p + kMeterExtTempOffset, static_cast<std::uint16_t>(fields.extTempHundredths));

  const auto n = static_cast<std::size_t>(channels);
  for (int i = 0; i < samples; ++i) {
    std::uint8_t* at = p + MeterSampleOffset(channels, i);
    const auto index = static_cast<std::size_t>(i);
    PutLittleEndian16(at, index < fields.timeCounts.size() ? fields.timeCounts[index] : 0);
    at += kMeterTimeBytes;
    for (std::size_t j = 0; j < n; ++j, at += kMeterChannelBytes) {
      const auto bytes = FractionToChannelBytes(At(fields.values, index * n + j));
      at[0] = bytes[0];
      at[1] = bytes[1];
      at[2] = bytes[2];
    }
  }
  std::uint8_t* at = p + MeterRefsOffset(channels, samples);
  for (std::size_t j = 0; j < n; ++j, at += kMeterChannelBytes) {
    const auto bytes = FractionToChannelBytes(At(fields.refs, j));
    at[0] = bytes[0];
    at[1] = bytes[1];
    at[2] = bytes[2];
  }
  PutLittleEndian16(p + length - kMeterTempBytes, fields.tempCount);
  SealMeterPacket(packet);
  return packet;
}

void SealMeterPacket(std::vector<std::uint8_t>& packet) {
  if (packet.size() < static_cast<std::size_t>(kMeterLengthOffset + kMeterChecksumBytes + 2)) {
    return;
  }
  const std::size_t end = packet.size() - kMeterChecksumBytes;
  const std::uint32_t sum = MeterChecksum(
      std::span<const std::uint8_t>(packet.data() + kMeterLengthOffset, end - kMeterLengthOffset));
  PutLittleEndian32(packet.data() + end, sum);
}

}  // namespace sondrix
