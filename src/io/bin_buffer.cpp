#include "io/bin_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

namespace sondrix {
namespace {

std::uint16_t U16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t U32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

}  // namespace

Status BinBuffer::New(std::unique_ptr<BinBuffer>& handle, DPort& port, int channels,
                      int samples) {
  handle.reset();
  const int length = MeterPacketLength(channels, samples);
  if (length == 0) return status::kBadArgument;
  handle.reset(new BinBuffer(port, channels, samples, length));
  return status::kOk;
}

BinBuffer::BinBuffer(DPort& port, int channels, int samples, int length)
    : port_(port),
      channels_(channels),
      samples_(samples),
      length_(length),
      scanner_(port, kMeterSync, length + kMeterChecksumBytes, 2 * length),
      data_(static_cast<std::size_t>(samples)) {}

BinBuffer::~BinBuffer() = default;

PacketScanner::Verdict BinBuffer::Check(const std::uint8_t* p) const {
  if (U16(p + kMeterLengthOffset) != length_) return PacketScanner::Verdict::FalseStart;
  const std::uint32_t sum = MeterChecksum(std::span<const std::uint8_t>(
      p + kMeterLengthOffset, static_cast<std::size_t>(length_ - kMeterLengthOffset)));
  return (sum & 0xFFFF) == U16(p + length_) ? PacketScanner::Verdict::Good
                                            : PacketScanner::Verdict::Damaged;
}

Status BinBuffer::ReadRecord(int& last) {
  const Status found =
      scanner_.Find(length_, [this](const std::uint8_t* packet) { return Check(packet); }, damaged_);
  if (found == status::kNoData || found == status::kUnrecognisedData) return found;
  // The end of a replay, or the line is gone: damaged packets not yet
  // counted are the last lost samples of the run.
  if (found != status::kOk) return out_.EndRun(found, damaged_, samples_, last);

  Decode(scanner_.Front());
  scanner_.Consume();
  const int lost = LostBefore();
  damaged_ = 0;
  haveLastTime_ = true;
  lastTime_ = static_cast<std::uint16_t>(data_.back().time);
  return out_.Set(lost, true, samples_, last);
}

// The time counter runs in hundredths of a second; the packet's sample rate
// gives the counts per sample. Where the packet's own samples step by a
// different amount, the counter does not follow the rate field and the
// packet's step is taken instead. A gap of more than half the counter's
// range cannot be told from a restarted counter: the damaged packets are
// counted then, as they are when the counter cannot resolve one sample.
int BinBuffer::LostBefore() const {
  const int byDamage = damaged_ * samples_;
  if (!haveLastTime_) return byDamage;
  const auto span = [](std::int32_t from, std::int32_t to) {
    return static_cast<double>(static_cast<std::uint16_t>(to - from));
  };
  const double gap = span(lastTime_, data_.front().time);
  double step = refs_.sampleRate > 0.0 ? 100.0 / refs_.sampleRate : 0.0;
  if (samples_ > 1) {
    const double inPacket = span(data_.front().time, data_.back().time) / (samples_ - 1);
    // One count of rounding over the packet, and 2 % between the clocks.
    const double tolerance = 1.0 / (samples_ - 1) + 0.02 * step;
    if (!(step > 0.0) || std::abs(inPacket - step) > tolerance) step = inPacket;
  }
  if (!(step >= 1.0) || gap > 32768.0) return byDamage;
  const long long missing = std::llround(gap / step) - 1;
  return missing > 0 ? static_cast<int>(missing) : 0;
}

void BinBuffer::Decode(const std::uint8_t* p) {
  refs_.serial = U32(p + kMeterSerialOffset);
  const std::uint16_t word = U16(p + kMeterStatusOffset);
  refs_.status = word == 0 ? 1 : word;
  const std::uint16_t period = U16(p + kMeterPeriodOffset);
  refs_.sampleRate = period == 0 ? 0.0 : 1.0 / (kMeterPeriodSeconds * period);
  refs_.pressure = static_cast<std::int16_t>(U16(p + kMeterPressureOffset));
  refs_.extTemp = static_cast<std::int16_t>(U16(p + kMeterExtTempOffset)) / 100.0;

  const auto n = static_cast<std::size_t>(channels_);
  const std::uint8_t* at = p + kMeterSamplesOffset;
  for (DataSample& sample : data_) {
    sample.time = U16(at);
    at += kMeterTimeBytes;
    for (std::size_t j = 0; j < n; ++j, at += kMeterChannelBytes) {
      sample.values[j] = ChannelBytesToFraction(at);
    }
    sample.status = status::kOk;
  }
  for (std::size_t j = 0; j < n; ++j, at += kMeterChannelBytes) {
    refs_.refs[j] = ChannelBytesToFraction(at);
  }
  refs_.temp = CountToTemp(U16(at));
}

Status BinBuffer::LinesAvailable() { return scanner_.LinesAvailable(length_ / samples_); }

Status BinBuffer::BytesAvailable() { return port_.BytesAvail(); }

Status BinBuffer::Sync(std::uint32_t& serial, std::uint32_t& word2, std::uint32_t& word3) {
  scanner_.Clear();
  damaged_ = 0;
  haveLastTime_ = false;
  out_.Restart();
  port_.Reset();
  Status result = port_.Search(kMeterSync.data(), kMeterSyncLength, 4 * length_);
  if (result != status::kOk) return result;

  std::array<std::uint8_t, 2> lengthBytes{};
  result = port_.Read(lengthBytes.data(), 2);
  if (result != status::kOk) return result;
  if (U16(lengthBytes.data()) != length_) return status::kUnrecognisedData;

  std::array<std::uint8_t, 4> word{};
  std::uint32_t* outs[] = {&serial, &word2, &word3};
  for (std::uint32_t* out : outs) {
    word.fill(0);
    result = port_.Read(word.data(), 4);
    if (result != status::kOk) return result;
    *out = U32(word.data());
  }
  // The instrument is there and speaks this format: from now on noise is
  // lost data, not a format error.
  scanner_.MarkSynced();
  return status::kOk;
}

Status BinBuffer::BufferSize() { return port_.BufferSize(); }

const RefBlock* BinBuffer::GetRefp() { return &refs_; }

const DataSample* BinBuffer::GetDatap(int index) { return out_.At(index, data_); }

}  // namespace sondrix
