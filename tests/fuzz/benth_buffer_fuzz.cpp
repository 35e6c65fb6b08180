// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes as the stream of the hyperspectral meter,
// through its packet decoder. The first byte picks the channel count and
// the port and whether the decoder is synchronised first (see decoder_harness.h); a good sample's values must be 16-bit
// counts.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "decoder_harness.h"
#include "io/benth_buffer.h"

namespace {

constexpr int kChannels[] = {1, 2, 5, 20, 50, 83, 100, 128};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sondrix;
  if (size < 1) return 0;
  const int channels = kChannels[(data[0] >> 1) % (sizeof kChannels / sizeof kChannels[0])];
  const std::span<const std::uint8_t> stream(data + 1, size - 1);
  auto make = [channels](DPort& port) {
    std::unique_ptr<BenthBuffer> decoder;
    BenthBuffer::New(decoder, port, channels, 1);
    return decoder;
  };
  auto valid = [channels](const DataSample& sample) {
    for (int j = 0; j < 2 * channels; ++j) {
      const double value = sample.values[static_cast<std::size_t>(j)];
      if (!(value >= 0.0 && value <= 65535.0)) return false;
    }
    return true;
  };
  fuzz::gSyncFirst = (data[0] & 0x10) != 0;
  if ((data[0] & 1) == 0) {
    fuzz::OverSerial(stream, make, valid);
  } else {
    fuzz::OverReplay(stream, make, valid);
  }
  return 0;
}
