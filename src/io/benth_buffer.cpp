// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/benth_buffer.h"

#include <algorithm>
#include <span>

#include "common/utils.h"
#include "io/byte_order.h"
#include "platform/clock.h"

namespace sondrix {
namespace {

constexpr int kCommandAttempts = 3;
constexpr int kBeginAttempts = 3;
constexpr double kPollDelay = 0.002;
// What Sync reads of a packet: sync pattern, length, type, skip value,
// serial number and the status word with the two bytes after it.
constexpr int kSyncHeaderBytes = kBenthStatusOffset + 4;

}  // namespace

Status BenthBuffer::New(std::unique_ptr<BenthBuffer>& handle, DPort& port, int channels,
                        int samples) {
  handle.reset();
  if (BenthPacketLength(channels) == 0 || samples < 1) return status::kBadArgument;
  handle.reset(new BenthBuffer(port, channels, samples));
  return status::kOk;
}

// A 32-bit counter of milliseconds; a wrap spans at most an hour.
BenthBuffer::BenthBuffer(DPort& port, int channels, int samples)
    : PacketBuffer(port, channels, samples, BenthPacketLength(channels),
                   Framing{kBenthSync, kBenthChecksumBytes, kSyncHeaderBytes, 2 * BenthPacketLength(channels),
                           PacketTimeline(std::int64_t{1} << 32, 3'600'000, 10)}) {
  refs_.status = 0;
}

BenthBuffer::~BenthBuffer() = default;

// Only a length word equal to L is ever read on: a packet that declares any
// other length, larger than the buffer or not, is not decoded. It was a
// packet of this instrument whose length word was hit (and is counted lost
// where the time counter cannot tell) when it carries the serial number of
// the last good packet; anything else behind a sync pattern is no packet at
// all (a stray pattern in the data or in noise), which costs nothing. A good
// packet of another output spacing than the one synchronised on cannot be
// read with this trace map: it is skipped whole and counted lost.
PacketScanner::Verdict BenthBuffer::Check(const std::uint8_t* p) {
  if (BigEndian16(p + kBenthLengthOffset) != length_) {
    const bool ours = timeline_.HasPacket() && std::equal(serial_.begin(), serial_.end(), p + kBenthSerialOffset);
    return ours ? PacketScanner::Verdict::BadLength : PacketScanner::Verdict::FalseStart;
  }
  const std::uint32_t sum = BenthChecksum(std::span<const std::uint8_t>(
      p + kBenthLengthOffset, static_cast<std::size_t>(length_ - kBenthLengthOffset)));
  if ((sum & 0xFFFF) != BigEndian16(p + length_)) return PacketScanner::Verdict::Damaged;
  // Without a Sync the first good packet sets the spacing.
  if (syncedSkip_ < 0) syncedSkip_ = p[kBenthSkipOffset];
  if (p[kBenthSkipOffset] != syncedSkip_) {
    ++spacingChanged_;
    return PacketScanner::Verdict::Unusable;
  }
  return PacketScanner::Verdict::Good;
}

// The packets carry no sample period: the time line learns it from the
// distance between good packets in a row.
double BenthBuffer::Decode(const std::uint8_t* p) {
  type_ = p[kBenthTypeOffset];
  refs_.serial = LittleEndian32(p + kBenthSerialOffset);
  const std::uint16_t status = BigEndian16(p + kBenthStatusOffset);
  const std::uint16_t count1 = BigEndian16(p + kBenthCount1Offset);
  const std::uint16_t count2 = BigEndian16(p + kBenthCount2Offset);
  const std::uint16_t count3 = BigEndian16(p + kBenthCount3Offset);
  const std::uint16_t count4 = BigEndian16(p + kBenthCount4Offset);
  const auto count5 = static_cast<std::int16_t>(BigEndian16(p + kBenthCount5Offset));
  const auto count6 = static_cast<std::int16_t>(BigEndian16(p + kBenthCount6Offset));
  const std::uint32_t time = BigEndian32(p + kBenthTimeOffset);
  refs_.status = status;
  refs_.statusWord = type_ == 4 ? 0 : status;

  const auto n = static_cast<std::size_t>(channels_);
  for (DataSample& sample : data_) {
    const std::uint8_t* at = p + kBenthChannelsOffset;
    for (std::size_t j = 0; j < n; ++j, at += kBenthChannelBytes) {
      refs_.refs[j] = BigEndian16(at);
      refs_.refs[n + j] = BigEndian16(at + 2);
      sample.values[j] = BigEndian16(at + 4);
      sample.values[n + j] = BigEndian16(at + 6);
    }
    sample.status = status::kOk;
    sample.count = time;
  }

  refs_.temp = BenthInternalTemp(type_, count4);
  refs_.extTemp = BenthSecondTemp(type_, count3);
  if (type_ == 4) {
    refs_.pressure = 0.0;
    refs_.sampleRate = status;
    refs_.aux = count1;
  } else if (type_ >= 5) {
    refs_.pressure = count1;
    refs_.sampleRate = 0.0;
    refs_.aux = status;
  }
  refs_.auxCount2 = count2;
  refs_.auxCount5 = count5;
  refs_.auxCount6 = count6;
  std::copy_n(p + kBenthSerialOffset, serial_.size(), serial_.begin());
  return 0.0;
}

Status BenthBuffer::Sync(std::uint32_t& serial, std::uint32_t& status, std::uint32_t& skip) {
  spacingChanged_ = 0;
  return PacketBuffer::Sync(serial, status, skip);
}

bool BenthBuffer::PlausibleHeader(const std::uint8_t* p) const {
  return BigEndian16(p + kBenthLengthOffset) <= kBenthMaxSyncLength;
}

void BenthBuffer::ReadHeader(const std::uint8_t* p, std::uint32_t& serial, std::uint32_t& status,
                             std::uint32_t& skip) {
  syncedLength_ = BigEndian16(p + kBenthLengthOffset);
  syncedSkip_ = p[kBenthSkipOffset];
  skip = static_cast<std::uint32_t>(syncedSkip_);
  serial = BigEndian32(p + kBenthSerialOffset);
  status = BigEndian16(p + kBenthStatusOffset);
}

StreamEvents BenthBuffer::Events() const {
  StreamEvents events = PacketBuffer::Events();
  events.spacingChanged = spacingChanged_;
  return events;
}

// --- Commands --------------------------------------------------------------------

Status BenthBuffer::CommandAttempt(const std::array<std::uint8_t, kBenthFrameBytes>& frame) {
  Status result = port_.Write(frame.data(), kBenthFrameBytes);
  if (result != status::kOk) return result;

  const double start = platform::Timer();
  Status waiting = port_.BytesAvail();
  while (waiting >= 0 && waiting < kBenthFrameBytes && platform::SecondsSince(start) < kAckTimeout) {
    platform::Delay(kPollDelay);
    waiting = port_.BytesAvail();
  }
  if (waiting < 0) return waiting;
  // The acknowledgement is twelve bytes: with fewer waiting after the wait,
  // it did not come, and another attempt is made.
  if (waiting < kBenthFrameBytes) return status::kTimedOut;

  result = port_.Search(kBenthFrameSync.data(), kBenthSyncLength, 2 * length_);
  if (result == status::kUnrecognisedData) return status::kNoAcknowledgement;
  if (result != status::kOk) return result;
  std::array<std::uint8_t, 8> tail{};
  result = port_.Read(tail.data(), static_cast<int>(tail.size()));
  if (result != status::kOk) return result;
  return BenthFrameTailGood(tail) ? status::kOk : status::kUnrecognisedData;
}

Status BenthBuffer::SendCommand(std::uint16_t code, std::uint16_t param1, std::uint16_t param2) {
  port_.Reset();
  const auto frame = EncodeBenthFrame(code, param1, param2);
  for (int attempt = 0; attempt < kCommandAttempts; ++attempt) {
    const Status result = CommandAttempt(frame);
    if (result != status::kTimedOut && result != status::kNoAcknowledgement) return result;
    SONDRIX_LOG(Debug, "command %04X: attempt %d not acknowledged (%d)", code, attempt + 1, result);
  }
  return status::kUnrecognisedData;
}

// The baud rate travels in the two parameters, most significant half first.
Status BenthBuffer::SetParams(int parameter, int baudRate) {
  // The packets buffered so far belong to the settings being changed; the
  // meter synchronises anew afterwards.
  SONDRIX_LOG(Debug, "asking the meter for output spacing %d at %d baud", parameter, baudRate);
  scanner_.Clear();
  Status result = status::kUnrecognisedData;
  for (int attempt = 0; attempt < kBeginAttempts && result != status::kOk; ++attempt) {
    result = SendCommand(kBenthCmdBegin, 0, 0);
  }
  if (result != status::kOk) return result;
  result = SendCommand(kBenthCmdSpacing, static_cast<std::uint16_t>(parameter), 0);
  if (result != status::kOk) return result;
  const auto baud = static_cast<std::uint32_t>(baudRate);
  result = SendCommand(kBenthCmdBaud, static_cast<std::uint16_t>(baud >> 16),
                       static_cast<std::uint16_t>(baud & 0xFFFF));
  if (result != status::kOk) return result;
  platform::Delay(kReopenDelay);

  port_.Close();
  result = port_.Open(baudRate);
  if (result != status::kOk) return result;
  return SendCommand(kBenthCmdEnd, 0, 0);
}

}  // namespace sondrix
