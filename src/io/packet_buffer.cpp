// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/packet_buffer.h"

namespace sondrix {

PacketBuffer::PacketBuffer(DPort& port, int channels, int samples, int length, const Framing& framing)
    : port_(port),
      channels_(channels),
      samples_(samples),
      length_(length),
      scanner_(port, framing.sync, length + framing.checksumBytes, 2 * length),
      timeline_(framing.timeline),
      data_(static_cast<std::size_t>(samples)),
      syncHeaderBytes_(framing.syncHeaderBytes),
      syncSearchBytes_(framing.syncSearchBytes) {}

Status PacketBuffer::ReadRecord(int& last) {
  const int m = samples_;
  for (;;) {
    const Status found = scanner_.Find(length_, [this](const std::uint8_t* packet) { return Check(packet); },
                                       damaged_);
    if (found == status::kNoData || found == status::kUnrecognisedData) return found;
    // The end of a replay, or the line is gone.
    if (found != status::kOk) return out_.EndRun(found, damaged_, m, last);
    const double step = Decode(scanner_.Front());
    scanner_.Consume();
    const PacketTimeline::Placed placed = timeline_.Place(data_, step, damaged_ * m);
    if (placed.repeat) continue;  // a repeated packet is no new data
    damaged_ = 0;
    return out_.Set(placed.lost, true, m, last);
  }
}

Status PacketBuffer::LinesAvailable() { return scanner_.LinesAvailable(length_ / samples_); }

Status PacketBuffer::BytesAvailable() { return port_.BytesAvail(); }

Status PacketBuffer::Sync(std::uint32_t& serial, std::uint32_t& word2, std::uint32_t& word3) {
  scanner_.ResetPort();
  damaged_ = 0;
  timeline_.Reset();
  out_.Restart();
  return FindPackets(serial, word2, word3);
}

Status PacketBuffer::Resync(std::uint32_t& serial) {
  scanner_.Clear();
  std::uint32_t word2 = 0;
  std::uint32_t word3 = 0;
  return FindPackets(serial, word2, word3);
}

Status PacketBuffer::FindPackets(std::uint32_t& serial, std::uint32_t& word2, std::uint32_t& word3) {
  const Status result = scanner_.SyncPlausibleHeader(
      syncHeaderBytes_, syncSearchBytes_, [this](const std::uint8_t* p) { return PlausibleHeader(p); });
  if (result != status::kOk) return result;
  ReadHeader(scanner_.Front(), serial, word2, word3);
  // The instrument is there and speaks this format: from now on noise is
  // lost data, not a format error.
  scanner_.MarkSynced();
  return status::kOk;
}

Status PacketBuffer::DiscardInput() {
  damaged_ = 0;
  timeline_.Discarded();
  return scanner_.DiscardInput();
}

Status PacketBuffer::BufferSize() { return port_.BufferSize(); }

}  // namespace sondrix
