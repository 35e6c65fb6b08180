// SPDX-License-Identifier: GPL-3.0-or-later
// The byte orders of the instruments' binary formats, in one place. The
// absorption/attenuation meters send their words least significant byte
// first (little-endian); the hyperspectral meter's packets and command
// frames carry them most significant byte first (big-endian), except the
// serial number its data packets' decoder takes little-endian (docs/io.md).
// `at` points at the word's first byte; nothing is aligned.
#pragma once

#include <cstdint>

namespace sondrix {

constexpr std::uint16_t LittleEndian16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

constexpr std::uint32_t LittleEndian32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8) | (std::uint32_t{at[2]} << 16) |
         (std::uint32_t{at[3]} << 24);
}

constexpr std::uint16_t BigEndian16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}

constexpr std::uint32_t BigEndian32(const std::uint8_t* at) {
  return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) |
         std::uint32_t{at[3]};
}

constexpr void PutLittleEndian16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value & 0xFF);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

constexpr void PutLittleEndian32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
}

constexpr void PutBigEndian16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value & 0xFF);
}

constexpr void PutBigEndian32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>((value >> (24 - 8 * i)) & 0xFF);
}

}  // namespace sondrix
