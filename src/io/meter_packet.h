// SPDX-License-Identifier: GPL-3.0-or-later
// The packet format of the absorption/attenuation meters, as code shared by
// the decoder, the simulator and the tests. All multi-byte integers are least
// significant byte first; offsets count from the first sync byte.
//
//   0   4  sync 0x00 0xFF 0x00 0xFF
//   4   2  packet length L (unsigned)
//   6   4  instrument serial number
//  10   2  status word (unsigned)
//  12   2  sample period count N (sample rate 1 / (3.16e-05 N) Hz)
//  14   2  pressure count (signed)
//  16   2  external temperature, hundredths of a degree (signed)
//  18      m samples: time count (2 bytes), n channel values (3 bytes each)
//          n reference values (3 bytes each)
// L-2   2  internal temperature count (unsigned)
//   L   4  checksum: 510 plus every byte from offset 4 to L-1
//
// A 3-byte channel value is a 16-bit word followed by a fraction byte f:
// (word + f / 256) / 65536 of full scale.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace sondrix {

inline constexpr std::array<std::uint8_t, 4> kMeterSync = {0x00, 0xFF, 0x00, 0xFF};
inline constexpr int kMeterSyncLength = 4;
inline constexpr int kMeterLengthOffset = 4;
inline constexpr int kMeterSerialOffset = 6;
inline constexpr int kMeterStatusOffset = 10;
inline constexpr int kMeterPeriodOffset = 12;
inline constexpr int kMeterPressureOffset = 14;
inline constexpr int kMeterExtTempOffset = 16;
inline constexpr int kMeterSamplesOffset = 18;
inline constexpr int kMeterChannelBytes = 3;
inline constexpr int kMeterTimeBytes = 2;
inline constexpr int kMeterTempBytes = 2;
inline constexpr int kMeterChecksumBytes = 4;
// The checksum's starting value: the sum of the sync bytes.
inline constexpr std::uint32_t kMeterChecksumStart = 510;
// Seconds per count of the sample period.
inline constexpr double kMeterPeriodSeconds = 3.16e-05;
// Channels per packet the format allows (one reference block entry each).
inline constexpr int kMeterMaxChannels = 256;

// L = 20 + m (3n + 2) + 3n: the bytes from the sync pattern to the end of
// the temperature field (the checksum follows). 0 for n outside 1 ... 256,
// m below 1, or a length the 16-bit length word cannot carry.
constexpr int MeterPacketLength(int channels, int samples) {
  if (channels < 1 || channels > kMeterMaxChannels || samples < 1) return 0;
  const long long length = 20LL + static_cast<long long>(samples) * (3LL * channels + 2) +
                           3LL * channels;
  return length > 0xFFFF ? 0 : static_cast<int>(length);
}

// Offset of sample i's time count; its channel values follow it.
constexpr int MeterSampleOffset(int channels, int index) {
  return kMeterSamplesOffset + index * (kMeterChannelBytes * channels + kMeterTimeBytes);
}
// Offset of the first reference value.
constexpr int MeterRefsOffset(int channels, int samples) {
  return MeterSampleOffset(channels, samples);
}

// 510 plus the bytes of `body`, which starts at the length field (offset 4)
// and ends with the temperature field (offset L - 1). The packet is good
// when the low 16 bits equal the checksum field's first two bytes.
std::uint32_t MeterChecksum(std::span<const std::uint8_t> body);

// Channel value bytes for a fraction of full scale (clamped to [0, 1),
// rounded to the nearest 1/2^24).
std::array<std::uint8_t, 3> FractionToChannelBytes(double fraction);
// The fraction a channel value's 3 bytes stand for.
double ChannelBytesToFraction(const std::uint8_t* bytes);

// The internal temperature, degrees, of a temperature count:
// 0.045113 c + 10.61831 - 4891.32 / c + 208130.2 / c^2 + 1171473.0 / c^3.
// A count of 0 (no reading) gives a quiet NaN: the packet is still
// delivered, and no plausible-looking temperature is made up for it.
double CountToTemp(std::uint32_t count);

// The count whose CountToTemp comes nearest to `degrees`, searched over the
// counts where the curve rises (the temperatures it can express); degrees
// beyond either end give that end's count.
std::uint16_t TempToCount(double degrees);

// The fields of one packet as the instrument sends them.
struct MeterPacketFields {
  std::uint32_t serial = 0;
  std::uint16_t status = 0;
  std::uint16_t periodCount = 0;
  std::int16_t pressureCount = 0;
  std::int16_t extTempHundredths = 0;
  // Per sample (m entries): its time count.
  std::vector<std::uint16_t> timeCounts;
  // Per sample and channel, sample after sample (m n entries): fractions of
  // full scale.
  std::vector<double> values;
  // Per channel (n entries): reference fractions.
  std::vector<double> refs;
  std::uint16_t tempCount = 0;
};

// The packet's L + 4 bytes, checksum included. Missing entries of the
// vectors are sent as 0. Empty when channels or samples are out of range.
std::vector<std::uint8_t> EncodeMeterPacket(const MeterPacketFields& fields, int channels,
                                            int samples);

// Recomputes the checksum of an encoded packet after its bytes were changed
// (the length field included); does nothing to a buffer shorter than 10
// bytes.
void SealMeterPacket(std::vector<std::uint8_t>& packet);

}  // namespace sondrix
