// SPDX-License-Identifier: GPL-3.0-or-later
// The packet format of the hyperspectral meter, as code shared by its
// decoder, the simulator and the tests. Every integer is sent most
// significant byte first. (The decoder takes the serial number of a data
// packet least significant byte first, as the program always has; only the
// serial number Sync reads, most significant byte first, is compared with
// the configuration.) Offsets count from the first sync byte; n is the
// number of wavelength channels.
//
//   0   4  sync 0xFF 0x00 0xFF 0x00
//   4   2  packet length L = 8 n + 32
//   6   1  packet type
//   7   1  skip value (every skip-th wavelength is output)
//   8   4  serial number
//  12   2  status word
//  14   2  auxiliary count 1
//  16   2  auxiliary count 2
//  18   2  second temperature count
//  20   2  internal temperature count
//  22   2  auxiliary count 5 (signed)
//  24   2  auxiliary count 6 (signed)
//  26   4  time count (milliseconds)
//  30   2  not used
//  32  8n  per channel: first reference, second reference, first signal,
//          second signal (unsigned counts)
//   L   2  checksum: 510 plus every byte from offset 4 to L - 1, 16 bits
//
// Command frames (12 bytes, both ways): 0xFF 0x00 0xCC 0x00, command code,
// parameter 1, parameter 2 (2 bytes each), then the 16-bit sum of the ten
// bytes before it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace sondrix {

inline constexpr std::array<std::uint8_t, 4> kBenthSync = {0xFF, 0x00, 0xFF, 0x00};
inline constexpr std::array<std::uint8_t, 4> kBenthFrameSync = {0xFF, 0x00, 0xCC, 0x00};
inline constexpr int kBenthSyncLength = 4;
inline constexpr int kBenthLengthOffset = 4;
inline constexpr int kBenthTypeOffset = 6;
inline constexpr int kBenthSkipOffset = 7;
inline constexpr int kBenthSerialOffset = 8;
inline constexpr int kBenthStatusOffset = 12;
inline constexpr int kBenthCount1Offset = 14;
inline constexpr int kBenthCount2Offset = 16;
inline constexpr int kBenthCount3Offset = 18;
inline constexpr int kBenthCount4Offset = 20;
inline constexpr int kBenthCount5Offset = 22;
inline constexpr int kBenthCount6Offset = 24;
inline constexpr int kBenthTimeOffset = 26;
inline constexpr int kBenthChannelsOffset = 32;
inline constexpr int kBenthChannelBytes = 8;
inline constexpr int kBenthChecksumBytes = 2;
inline constexpr std::uint32_t kBenthChecksumStart = 510;
// Channels a packet may carry: each fills two entries of a decoder's
// 256-value reference block and sample.
inline constexpr int kBenthMaxChannels = 128;
// The longest packet Sync accepts (the instrument's largest).
inline constexpr int kBenthMaxSyncLength = 1000;

inline constexpr int kBenthFrameBytes = 12;
inline constexpr std::uint16_t kBenthCmdBegin = 0x0808;
inline constexpr std::uint16_t kBenthCmdSpacing = 0x0F0F;
inline constexpr std::uint16_t kBenthCmdBaud = 0x0404;
inline constexpr std::uint16_t kBenthCmdEnd = 0x0707;

// L = 8 n + 32; 0 for n outside 1 ... 128.
constexpr int BenthPacketLength(int channels) {
  if (channels < 1 || channels > kBenthMaxChannels) return 0;
  return 8 * channels + 32;
}

// 510 plus the bytes of `body`, which starts at the length field (offset 4)
// and ends at offset L - 1; the packet is good when its low 16 bits equal
// the checksum word.
std::uint32_t BenthChecksum(std::span<const std::uint8_t> body);

// Temperatures, degrees, of the packet's counts. Packet types up to 3 and
// from 4 on use different converters. Every count gives a finite value: a
// thermistor resistance below 500 ohms (or one that cannot be computed) is
// taken as 500 ohms.
double BenthInternalTemp(int packetType, std::uint16_t count4);
double BenthSecondTemp(int packetType, std::uint16_t count3);
// The counts of a packet type whose temperatures come nearest to
// `degrees`, within what the converters can express.
std::uint16_t BenthInternalTempToCount(int packetType, double degrees);
std::uint16_t BenthSecondTempToCount(int packetType, double degrees);

// The fields of one data packet as the instrument sends them.
struct BenthPacketFields {
  std::uint8_t type = 4;
  std::uint8_t skip = 1;
  std::uint32_t serial = 0;   // as the configuration holds it
  std::uint16_t status = 0;
  std::uint16_t count1 = 0;
  std::uint16_t count2 = 0;
  std::uint16_t count3 = 0;   // second temperature
  std::uint16_t count4 = 0;   // internal temperature
  std::int16_t count5 = 0;
  std::int16_t count6 = 0;
  std::uint32_t time = 0;     // milliseconds
  // Per channel (n entries each; missing entries are sent as 0).
  std::vector<std::uint16_t> ref1, ref2, sig1, sig2;
};

// The packet's L + 2 bytes, checksum included; empty for n outside 1 ... 128.
std::vector<std::uint8_t> EncodeBenthPacket(const BenthPacketFields& fields, int channels);
// Recomputes the checksum of an encoded packet after its bytes changed.
void SealBenthPacket(std::vector<std::uint8_t>& packet);

// A command frame (or an acknowledgement: the same frame).
std::array<std::uint8_t, kBenthFrameBytes> EncodeBenthFrame(std::uint16_t code,
                                                            std::uint16_t param1,
                                                            std::uint16_t param2);
// Whether the 8 bytes after a frame's sync (code, parameters, checksum) add up.
bool BenthFrameTailGood(std::span<const std::uint8_t, 8> tail);


}  // namespace sondrix
