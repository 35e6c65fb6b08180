// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/packet_scanner.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace sondrix {
namespace {

const char* RejectionReason(PacketScanner::Verdict verdict) {
  switch (verdict) {
    case PacketScanner::Verdict::FalseStart:
      return "false start (no packet of this stream)";
    case PacketScanner::Verdict::Damaged:
      return "bad checksum";
    case PacketScanner::Verdict::BadLength:
      return "bad length word";
    case PacketScanner::Verdict::Unusable:
      return "unusable (skipped whole)";
    case PacketScanner::Verdict::Good:
      break;
  }
  return "good";
}

// An offset as the log writes it: "?" when the port cannot tell.
std::string OffsetText(long long offset) { return offset < 0 ? "?" : std::to_string(offset); }

}  // namespace

PacketScanner::PacketScanner(DPort& port, std::span<const std::uint8_t> sync, int whole,
                             int allowance)
    : port_(port),
      sync_(sync.begin(), sync.end()),
      whole_(whole),
      allowance_(allowance),
      bytes_(static_cast<std::size_t>(whole), 0) {}

Status PacketScanner::LinesAvailable(int lineLength) const {
  const Status waiting = port_.BytesAvail();
  if (waiting < 0) return waiting;
  return (waiting + Buffered()) / lineLength;
}

void PacketScanner::Clear() {
  if (logging::On(LogLevel::Trace)) LogNoise();
  covered_ = 0;
  begin_ = end_ = 0;
  unsynced_ = 0;
  synced_ = false;
}

Status PacketScanner::DiscardInput() {
  const bool synced = synced_;
  Clear();
  synced_ = synced;
  return port_.DiscardInput();
}

void PacketScanner::ResetPort() {
  const bool keep = port_.ResetKeepsStream();
  port_.Reset();
  if (!keep) Clear();
}

void PacketScanner::Consume() {
  begin_ = std::min(end_, begin_ + static_cast<std::size_t>(whole_));
  synced_ = true;
}

Status PacketScanner::Fill() {
  const int need = whole_ - Buffered();
  if (need <= 0) return status::kOk;
  const Status waiting = port_.BytesAvail();
  if (waiting < 0) return waiting;
  // Only what is waiting: a live line then never blocks the read, and a
  // replay reads no further than the packet it needs.
  const int take = std::min(need, waiting);
  if (take == 0) return status::kNoData;
  const Status result = Append(take);
  if (result != status::kOk) return result;
  return Buffered() >= whole_ ? status::kOk : status::kNoData;
}

Status PacketScanner::Append(int count) {
  const int room = whole_ - Buffered();
  count = std::min(count, room);
  if (count <= 0) return status::kOk;
  if (end_ + static_cast<std::size_t>(count) > bytes_.size()) {
    std::memmove(bytes_.data(), bytes_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // A read cut short by the port's time-out still reports success; cleared
  // bytes then stand where nothing came, never bytes of an earlier packet
  // that would pass the checksum a second time.
  std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(end_), count, std::uint8_t{0});
  const Status result = port_.Read(bytes_.data() + end_, count);
  if (result != status::kOk) return result;
  end_ += static_cast<std::size_t>(count);
  return status::kOk;
}

Status PacketScanner::SyncHeader(int header, int allowance) {
  synced_ = false;
  unsynced_ = 0;
  if (!SkipToSync() || end_ - begin_ < sync_.size()) {
    // Nothing buffered holds a whole pattern: the port is searched.
    const bool trace = logging::On(LogLevel::Trace);
    if (trace) NoteSkipped(FrontOffset(), Buffered());
    begin_ = end_ = 0;
    const long long from = trace ? port_.StreamOffset() : -1;
    const Status found = port_.Search(sync_.data(), static_cast<int>(sync_.size()), allowance);
    if (found != status::kOk) return found;
    if (trace && from >= 0) {
      const long long pattern = port_.StreamOffset() - static_cast<long long>(sync_.size());
      NoteSkipped(from, pattern - from);
      LogNoise();
    }
    std::copy(sync_.begin(), sync_.end(), bytes_.begin());
    end_ = sync_.size();
  }
  unsynced_ = 0;
  return Append(header - Buffered());
}

bool PacketScanner::SkipToSync() {
  const std::uint8_t* first = bytes_.data() + begin_;
  const std::uint8_t* last = bytes_.data() + end_;
  const auto found = std::search(first, last, sync_.begin(), sync_.end());
  std::size_t skip = static_cast<std::size_t>(found - first);
  if (found == last) {
    // Keep a tail that may be the start of a pattern.
    const std::size_t keep = std::min(sync_.size() - 1, end_ - begin_);
    skip = (end_ - begin_) - keep;
  }
  if (skip > 0 && logging::On(LogLevel::Trace)) NoteSkipped(FrontOffset(), static_cast<long long>(skip));
  begin_ += skip;
  unsynced_ += static_cast<long long>(skip);
  if (found != last && noiseBytes_ > 0 && logging::On(LogLevel::Trace)) LogNoise();
  return found != last;
}

long long PacketScanner::FrontOffset() const {
  const long long at = port_.StreamOffset();
  return at < 0 ? -1 : at - Buffered();
}

void PacketScanner::LogRejected(Verdict verdict) {
  const long long at = FrontOffset();
  const std::size_t span = verdict == Verdict::FalseStart ? sync_.size() : static_cast<std::size_t>(whole_);
  if (at >= 0) covered_ = std::max(covered_, at + static_cast<long long>(span));
  const std::string bytes =
      logging::HexBytes(std::span<const std::uint8_t>(Front(), static_cast<std::size_t>(whole_)), kLoggedBytes);
  logging::Write(LogLevel::Trace, "rejected packet at byte %s: %s: %s", OffsetText(at).c_str(),
                 RejectionReason(verdict), bytes.c_str());
}

void PacketScanner::NoteSkipped(long long from, long long count) {
  if (from < 0 || count <= 0) return;
  const long long start = std::max(from, covered_);
  const long long end = from + count;
  if (end <= start) return;
  if (noiseBytes_ > 0 && noiseAt_ + noiseBytes_ != start) LogNoise();
  if (noiseBytes_ == 0) noiseAt_ = start;
  noiseBytes_ += end - start;
}

void PacketScanner::LogNoise() {
  if (noiseBytes_ > 0)
    logging::Write(LogLevel::Trace, "skipped %lld bytes of noise at byte %lld", noiseBytes_, noiseAt_);
  noiseBytes_ = 0;
}

Status RecordOut::Set(int lost, bool withPacket, int samples, int& last) {
  lostOut_ = lost;
  withPacket_ = withPacket;
  lostTotal_ += lost;
  last = lost + (withPacket ? samples : 0) - 1;
  return status::kOk;
}

Status RecordOut::EndRun(Status error, int& damaged, int samples, int& last) {
  if (damaged == 0) return error;
  const int lost = damaged * samples;
  damaged = 0;
  return Set(lost, false, samples, last);
}

const DataSample* RecordOut::At(int index, std::span<const DataSample> packet) const {
  if (index < 0) return nullptr;
  if (index < lostOut_) return &lost_;
  const auto inPacket = static_cast<std::size_t>(index - lostOut_);
  if (!withPacket_ || inPacket >= packet.size()) return nullptr;
  return &packet[inPacket];
}

}  // namespace sondrix
