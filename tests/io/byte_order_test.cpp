// SPDX-License-Identifier: GPL-3.0-or-later
// The byte orders of the packet formats: each word of a row of bytes typed
// by hand, read in both orders and written back to the same bytes.
#include "io/byte_order.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace sondrix {
namespace {

struct Word {
  std::array<std::uint8_t, 4> bytes;
  std::uint16_t little16, big16;
  std::uint32_t little32, big32;
};

constexpr Word kWords[] = {
    {{0x00, 0x00, 0x00, 0x00}, 0x0000, 0x0000, 0x00000000u, 0x00000000u},
    {{0xFF, 0xFE, 0x01, 0x02}, 0xFEFF, 0xFFFE, 0x0201FEFFu, 0xFFFE0102u},
    {{0x34, 0x12, 0x78, 0x56}, 0x1234, 0x3412, 0x56781234u, 0x34127856u},
    {{0x80, 0x00, 0x00, 0x80}, 0x0080, 0x8000, 0x80000080u, 0x80000080u},
    {{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFF, 0xFFFF, 0xFFFFFFFFu, 0xFFFFFFFFu},
};

TEST(ByteOrder, ReadsAndWritesEachOrder) {
  for (const Word& w : kWords) {
    SCOPED_TRACE(testing::Message() << std::hex << w.big32);
    EXPECT_EQ(LittleEndian16(w.bytes.data()), w.little16);
    EXPECT_EQ(BigEndian16(w.bytes.data()), w.big16);
    EXPECT_EQ(LittleEndian32(w.bytes.data()), w.little32);
    EXPECT_EQ(BigEndian32(w.bytes.data()), w.big32);

    // Writing touches only the word's own bytes.
    std::array<std::uint8_t, 6> out{};
    out.fill(0xAA);
    PutLittleEndian16(out.data() + 1, w.little16);
    EXPECT_EQ(out, (std::array<std::uint8_t, 6>{0xAA, w.bytes[0], w.bytes[1], 0xAA, 0xAA, 0xAA}));
    PutBigEndian16(out.data() + 3, w.big16);
    EXPECT_EQ(out, (std::array<std::uint8_t, 6>{0xAA, w.bytes[0], w.bytes[1], w.bytes[0], w.bytes[1], 0xAA}));
    out.fill(0xAA);
    PutLittleEndian32(out.data() + 1, w.little32);
    EXPECT_EQ(out, (std::array<std::uint8_t, 6>{0xAA, w.bytes[0], w.bytes[1], w.bytes[2], w.bytes[3], 0xAA}));
    out.fill(0xAA);
    PutBigEndian32(out.data() + 1, w.big32);
    EXPECT_EQ(out, (std::array<std::uint8_t, 6>{0xAA, w.bytes[0], w.bytes[1], w.bytes[2], w.bytes[3], 0xAA}));
  }
}

// Usable where the packet layouts are checked at compile time.
static_assert(BigEndian16(std::array<std::uint8_t, 2>{0x03, 0xE8}.data()) == 1000);

}  // namespace
}  // namespace sondrix
