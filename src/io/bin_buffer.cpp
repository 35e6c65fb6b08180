// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/bin_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

#include "io/byte_order.h"

namespace sondrix {
Status BinBuffer::New(std::unique_ptr<BinBuffer>& handle, DPort& port, int channels,
                      int samples) {
  handle.reset();
  const int length = MeterPacketLength(channels, samples);
  if (length == 0) return status::kBadArgument;
  handle.reset(new BinBuffer(port, channels, samples, length));
  return status::kOk;
}

// A 16-bit counter of hundredths of a second; a wrap spans at most a quarter
// of its range.
BinBuffer::BinBuffer(DPort& port, int channels, int samples, int length)
    : PacketBuffer(port, channels, samples, length,
                   Framing{kMeterSync, kMeterChecksumBytes, kMeterSamplesOffset, 4 * length,
                           PacketTimeline(65536, 16384, 1)}) {}

BinBuffer::~BinBuffer() = default;

// A wrong length word behind the serial number of the last good packet is
// a packet of this instrument whose length was hit: damaged (what the
// counter cannot count, at the end of a run, is counted then). Anything else
// behind a pattern with another length is no packet.
PacketScanner::Verdict BinBuffer::Check(const std::uint8_t* p) {
  if (LittleEndian16(p + kMeterLengthOffset) != length_) {
    const bool ours = timeline_.HasPacket() && LittleEndian32(p + kMeterSerialOffset) == refs_.serial;
    return ours ? PacketScanner::Verdict::BadLength : PacketScanner::Verdict::FalseStart;
  }
  const std::uint32_t sum = MeterChecksum(std::span<const std::uint8_t>(
      p + kMeterLengthOffset, static_cast<std::size_t>(length_ - kMeterLengthOffset)));
  return (sum & 0xFFFF) == LittleEndian16(p + length_) ? PacketScanner::Verdict::Good
                                            : PacketScanner::Verdict::Damaged;
}

// The time counter runs in hundredths of a second; the packet's sample rate
// gives the counts per sample. Where the packet's own samples step by a
// different amount, the counter does not follow the rate field and the
// packet's step is taken instead.
double BinBuffer::StepOf() const {
  double step = refs_.sampleRate > 0.0 ? 100.0 / refs_.sampleRate : 0.0;
  if (samples_ > 1) {
    const double inPacket =
        static_cast<double>(static_cast<std::uint16_t>(data_.back().count - data_.front().count)) /
        (samples_ - 1);
    // One count of rounding over the packet, and 2 % between the clocks.
    const double tolerance = 1.0 / (samples_ - 1) + 0.02 * step;
    if (!(step > 0.0) || std::abs(inPacket - step) > tolerance) step = inPacket;
  }
  // Below one count per sample (rates above 100 Hz) the counter cannot tell
  // samples apart: no step, and the damaged packets are counted.
  return step >= 1.0 ? step : -1.0;
}

double BinBuffer::Decode(const std::uint8_t* p) {
  refs_.serial = LittleEndian32(p + kMeterSerialOffset);
  const std::uint16_t word = LittleEndian16(p + kMeterStatusOffset);
  refs_.status = word == 0 ? 1 : word;
  refs_.statusWord = word;
  const std::uint16_t period = LittleEndian16(p + kMeterPeriodOffset);
  refs_.sampleRate = period == 0 ? 0.0 : 1.0 / (kMeterPeriodSeconds * period);
  refs_.pressure = static_cast<std::int16_t>(LittleEndian16(p + kMeterPressureOffset));
  refs_.extTemp = static_cast<std::int16_t>(LittleEndian16(p + kMeterExtTempOffset)) / 100.0;

  const auto n = static_cast<std::size_t>(channels_);
  const std::uint8_t* at = p + kMeterSamplesOffset;
  for (DataSample& sample : data_) {
    sample.count = LittleEndian16(at);
    at += kMeterTimeBytes;
    for (std::size_t j = 0; j < n; ++j, at += kMeterChannelBytes) {
      sample.values[j] = ChannelBytesToFraction(at);
    }
    sample.status = status::kOk;
  }
  for (std::size_t j = 0; j < n; ++j, at += kMeterChannelBytes) {
    refs_.refs[j] = ChannelBytesToFraction(at);
  }
  refs_.temp = CountToTemp(LittleEndian16(at));
  return StepOf();
}

bool BinBuffer::PlausibleHeader(const std::uint8_t* p) const {
  return LittleEndian16(p + kMeterLengthOffset) == length_;
}

void BinBuffer::ReadHeader(const std::uint8_t* p, std::uint32_t& serial, std::uint32_t& word2,
                           std::uint32_t& word3) {
  serial = LittleEndian32(p + kMeterSerialOffset);
  word2 = LittleEndian32(p + kMeterStatusOffset);
  word3 = LittleEndian32(p + kMeterPressureOffset);
}

}  // namespace sondrix
