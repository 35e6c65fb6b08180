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
      bytes_(static_cast<std::size_t>(length + kMeterChecksumBytes), 0),
      data_(static_cast<std::size_t>(samples)) {
  lost_.status = status::kLostLine;
  // Before the first packet the samples are the (empty) ones of no packet.
  withPacket_ = true;
}

BinBuffer::~BinBuffer() = default;

Status BinBuffer::Fill() {
  const int whole = length_ + kMeterChecksumBytes;
  const int need = whole - Buffered();
  if (need <= 0) return status::kOk;
  const Status waiting = port_.BytesAvail();
  if (waiting < 0) return waiting;
  // Only what is waiting: a live line then never blocks the read, and a
  // replay reads no further than the packet it needs.
  const int take = std::min(need, waiting);
  if (take == 0) return status::kNoData;
  if (end_ + static_cast<std::size_t>(take) > bytes_.size()) {
    std::memmove(bytes_.data(), bytes_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // A read cut short by the port's time-out still reports success; cleared
  // bytes then stand where nothing came, never bytes of an earlier packet
  // that would pass the checksum a second time.
  std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(end_), take, std::uint8_t{0});
  const Status result = port_.Read(bytes_.data() + end_, take);
  if (result != status::kOk) return result;
  end_ += static_cast<std::size_t>(take);
  return Buffered() >= whole ? status::kOk : status::kNoData;
}

bool BinBuffer::SkipToSync() {
  const std::uint8_t* first = bytes_.data() + begin_;
  const std::uint8_t* last = bytes_.data() + end_;
  const auto found = std::search(first, last, kMeterSync.begin(), kMeterSync.end());
  std::size_t skip = static_cast<std::size_t>(found - first);
  if (found == last) {
    // Keep a tail that may be the start of a pattern.
    const std::size_t keep = std::min<std::size_t>(kMeterSyncLength - 1, end_ - begin_);
    skip = (end_ - begin_) - keep;
  }
  begin_ += skip;
  unsynced_ += static_cast<long long>(skip);
  return found != last;
}

bool BinBuffer::PacketHolds() const {
  const std::uint8_t* p = bytes_.data() + begin_;
  if (U16(p + kMeterLengthOffset) != length_) return false;
  const std::uint32_t sum = MeterChecksum(std::span<const std::uint8_t>(
      p + kMeterLengthOffset, static_cast<std::size_t>(length_ - kMeterLengthOffset)));
  return (sum & 0xFFFF) == U16(p + length_);
}

Status BinBuffer::ReadRecord(int& last) {
  const Status waiting = port_.BytesAvail();
  if (waiting < 0) {
    if (damaged_ > 0) return Deliver(0, false, last);
    return waiting;
  }
  if (Buffered() + waiting <= length_) return status::kNoData;

  const int whole = length_ + kMeterChecksumBytes;
  // A call reads a bounded number of bytes, so that a long stretch of noise
  // never holds up the caller's loop (and its user) for long.
  const long long budget = 8LL * whole;
  for (long long taken = 0;;) {
    const int before = Buffered();
    const Status filled = Fill();
    const int got = std::max(Buffered() - before, 0);
    taken += got;
    if (taken > budget) return status::kNoData;
    if (filled != status::kOk && filled != status::kNoData) {
      // The end of a replay, or the line is gone: damaged packets not yet
      // counted are the last lost samples of the run.
      if (damaged_ > 0) return Deliver(0, false, last);
      return filled;
    }
    const bool found = SkipToSync();
    if (!synced_ && unsynced_ > 2LL * length_ - kMeterSyncLength) {
      unsynced_ = 0;
      return status::kUnrecognisedData;
    }
    if (!found || Buffered() < whole) {
      // Nothing more came: the rest of the packet is still on its way.
      if (filled == status::kNoData && got == 0) return status::kNoData;
      continue;
    }
    unsynced_ = 0;
    if (!PacketHolds()) {
      // A false start (or a damaged packet): search on from the next byte.
      if (U16(bytes_.data() + begin_ + kMeterLengthOffset) == length_) ++damaged_;
      ++begin_;
      continue;
    }
    Decode(bytes_.data() + begin_);
    begin_ += static_cast<std::size_t>(whole);
    const int lost = LostBefore();
    synced_ = true;
    haveLastTime_ = true;
    lastTime_ = static_cast<std::uint16_t>(data_.back().time);
    return Deliver(lost, true, last);
  }
}

Status BinBuffer::Deliver(int lost, bool withPacket, int& last) {
  if (!withPacket) lost += damaged_ * samples_;
  damaged_ = 0;
  lostOut_ = lost;
  withPacket_ = withPacket;
  lostTotal_ += lost;
  last = lost + (withPacket ? samples_ : 0) - 1;
  return status::kOk;
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

Status BinBuffer::LinesAvailable() {
  const Status waiting = port_.BytesAvail();
  if (waiting < 0) return waiting;
  return (waiting + Buffered()) / (length_ / samples_);
}

Status BinBuffer::BytesAvailable() { return port_.BytesAvail(); }

Status BinBuffer::Sync(std::uint32_t& serial, std::uint32_t& word2, std::uint32_t& word3) {
  begin_ = end_ = 0;
  unsynced_ = 0;
  damaged_ = 0;
  synced_ = false;
  haveLastTime_ = false;
  lostTotal_ = 0;
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
  synced_ = true;
  return status::kOk;
}

Status BinBuffer::BufferSize() { return port_.BufferSize(); }

const RefBlock* BinBuffer::GetRefp() { return &refs_; }

const DataSample* BinBuffer::GetDatap(int index) {
  if (index < 0) return nullptr;
  if (index < lostOut_) return &lost_;
  const int inPacket = index - lostOut_;
  if (!withPacket_ || inPacket >= samples_) return nullptr;
  return &data_[static_cast<std::size_t>(inPacket)];
}

}  // namespace sondrix
