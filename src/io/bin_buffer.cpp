#include "io/bin_buffer.h"

#include <algorithm>
#include <cstring>

namespace sondrix {
namespace {

std::uint16_t U16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t U32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

// Offsets in the packet buffer, which starts at the length field.
constexpr int At(int packetOffset) { return packetOffset - kMeterLengthOffset; }

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
      packet_(static_cast<std::size_t>(length), 0),
      data_(static_cast<std::size_t>(samples)) {}

BinBuffer::~BinBuffer() = default;

Status BinBuffer::MarkLost(int& last) {
  for (DataSample& sample : data_) sample.status = status::kLostLine;
  last = samples_ - 1;
  return status::kOk;
}

Status BinBuffer::ReadRecord(int& last) {
  const Status waiting = port_.BytesAvail();
  if (waiting < 0) return waiting;
  if (waiting <= length_) return status::kNoData;

  Status result = port_.Search(kMeterSync.data(), kMeterSyncLength, 2 * length_);
  if (result != status::kOk) return result;

  std::array<std::uint8_t, 2> lengthBytes{};
  result = port_.Read(lengthBytes.data(), 2);
  if (result != status::kOk) return result;
  if (U16(lengthBytes.data()) != length_) return MarkLost(last);

  // A read cut short by the time-out still reports success; clearing the
  // buffers first keeps the previous packet's bytes from passing the
  // checksum a second time.
  std::fill(packet_.begin(), packet_.end(), std::uint8_t{0});
  checksum_.fill(0);
  packet_[0] = lengthBytes[0];
  packet_[1] = lengthBytes[1];
  const int body = length_ - kMeterLengthOffset - 2;
  result = port_.Read(packet_.data() + 2, body);
  if (result != status::kOk) return result;
  result = port_.Read(checksum_.data(), kMeterChecksumBytes);
  if (result != status::kOk) return result;

  const std::uint32_t sum = MeterChecksum(std::span<const std::uint8_t>(
      packet_.data(), static_cast<std::size_t>(length_ - kMeterLengthOffset)));
  if ((sum & 0xFFFF) != U16(checksum_.data())) return MarkLost(last);

  Decode();
  last = samples_ - 1;
  return status::kOk;
}

void BinBuffer::Decode() {
  const std::uint8_t* p = packet_.data();
  refs_.serial = U32(p + At(kMeterSerialOffset));
  const std::uint16_t word = U16(p + At(kMeterStatusOffset));
  refs_.status = word == 0 ? 1 : word;
  const std::uint16_t period = U16(p + At(kMeterPeriodOffset));
  refs_.sampleRate = period == 0 ? 0.0 : 1.0 / (kMeterPeriodSeconds * period);
  refs_.pressure = static_cast<std::int16_t>(U16(p + At(kMeterPressureOffset)));
  refs_.extTemp = static_cast<std::int16_t>(U16(p + At(kMeterExtTempOffset))) / 100.0;

  const auto n = static_cast<std::size_t>(channels_);
  const std::uint8_t* at = p + At(kMeterSamplesOffset);
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

Status BinBuffer::LinesAvailable() {
  const Status waiting = port_.BytesAvail();
  if (waiting < 0) return waiting;
  return waiting / (length_ / samples_);
}

Status BinBuffer::BytesAvailable() { return port_.BytesAvail(); }

Status BinBuffer::Sync(std::uint32_t& serial, std::uint32_t& word2, std::uint32_t& word3) {
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
  return status::kOk;
}

Status BinBuffer::BufferSize() { return port_.BufferSize(); }

const RefBlock* BinBuffer::GetRefp() { return &refs_; }

const DataSample* BinBuffer::GetDatap(int index) {
  if (index < 0 || index >= samples_) return nullptr;
  return &data_[static_cast<std::size_t>(index)];
}

}  // namespace sondrix
