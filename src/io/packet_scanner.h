// SPDX-License-Identifier: GPL-3.0-or-later
// What the packet decoders of every model share: finding whole packets in a
// byte stream without ever waiting on a live line, and handing out the lost
// samples in front of the packet that follows them.
//
// PacketScanner keeps the bytes it has taken from the port and not yet used
// in a buffer of one whole packet (sync pattern to checksum). It never asks
// the port for more than the port says are waiting, nor for more than the
// packet it works on needs, so a live line never blocks it and a replay reads
// exactly up to the end of each packet. A sync pattern behind which the
// decoder's check fails is a false start: the search resumes one byte after
// it, so that a real packet inside the rejected bytes is still found. Until
// the stream is known to speak the format (a decoder's Sync found it, or a
// good packet came), a pattern must show within an allowance of bytes; after
// that, noise is skipped however long it lasts.
//
// At trace level the log gets one line per rejected pattern (its offset in
// the stream, the reason and its first bytes) and one per stretch of noise
// skipped, so that an operator can find them in a raw capture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "common/log.h"
#include "common/status.h"
#include "io/data_buffer.h"
#include "io/dport.h"
#include "io/sample_clock.h"

namespace sondrix {

class PacketScanner {
 public:
  // What a decoder makes of the whole packet at the front of the buffer.
  enum class Verdict {
    Good,        // a packet: hand it out
    FalseStart,  // no packet of this stream (a wrong length word, say)
    Damaged,     // a packet of the right length whose checksum fails
    BadLength,   // a packet of this instrument whose length word was hit: damaged
    Unusable,    // a whole packet of this stream that cannot be used: skipped whole, counted
  };

  // `whole`: the bytes of a packet from its first sync byte to the end of
  // its checksum. `allowance`: how far the sync pattern may be from the
  // start of the search before the stream is synchronised.
  PacketScanner(DPort& port, std::span<const std::uint8_t> sync, int whole, int allowance);

  // Forgets every buffered byte; the stream is not synchronised any more.
  void Clear();
  // Forgets every buffered byte and what waits at the port; the stream
  // stays synchronised. 1, or the port's failure.
  Status DiscardInput();
  // The bytes of a whole packet, sync pattern to checksum.
  int WholeBytes() const { return whole_; }
  // Resets the port as a decoder's Sync does: the buffered bytes are kept
  // only when the port's stream goes on after it (a capture part-way).
  void ResetPort();
  // The stream speaks the format: noise from now on is lost data.
  void MarkSynced() { synced_ = true; }
  // What a decoder's Sync starts with: finds a sync pattern among the bytes
  // buffered, else at the port within `allowance` bytes (-1000 when it does
  // not show), and buffers the first `header` bytes of its packet at Front(),
  // reading as the port's Search and Read do (a live line may keep them
  // waiting up to its time-out). The packet stays buffered, so the decoder's
  // next read decodes it: synchronising costs no packet. Port errors are
  // returned unchanged.
  Status SyncHeader(int header, int allowance);
  // SyncHeader for a header that must also pass `plausible` (its length
  // word is the format's): a pattern whose header does not is a false one
  // (the bytes of a sample that happen to look like a pattern) and the
  // search goes on past it, up to kFalsePatterns of them. -1000 when no
  // plausible one follows (the line fell silent after a false one too).
  template <class Plausible>
  Status SyncPlausibleHeader(int header, int allowance, Plausible plausible) {
    for (int tried = 0;; ++tried) {
      const Status result = SyncHeader(header, allowance);
      if (result == status::kOk && plausible(Front())) return result;
      if (result != status::kOk) return tried > 0 && result == status::kIoTimeout ? status::kUnrecognisedData : result;
      DropFront();
      if (tried == kFalsePatterns) return status::kUnrecognisedData;
    }
  }
  static constexpr int kFalsePatterns = 8;
  // Drops the first buffered byte: the search goes on from the next one.
  void DropFront() {
    if (begin_ < end_) ++begin_;
  }

  int Buffered() const { return static_cast<int>(end_ - begin_); }
  // Lines of `lineLength` bytes in what is buffered and waiting at the
  // port, or the port's failure.
  Status LinesAvailable(int lineLength) const;

  // Finds the next packet `check` calls Good: 1 with Front() at its first
  // byte (Consume() drops it); -1022 when no whole packet is buffered yet
  // (or a call's share of bytes went into noise); -1000 when no pattern
  // shows within the allowance before synchronisation; port errors
  // unchanged. `damaged` grows by the packets `check` called Damaged.
  template <typename Check>
  Status Next(Check check, int& damaged);
  // What a decoder's ReadRecord starts with: -1022, nothing consumed, while
  // the bytes buffered and waiting are no more than `length` (L); else Next.
  // A port error from the count of waiting bytes is returned as it is.
  template <typename Check>
  Status Find(int length, Check check, int& damaged);
  const std::uint8_t* Front() const { return bytes_.data() + begin_; }
  void Consume();
  // The offset of Front() in the port's stream (DPort::StreamOffset), -1
  // when the port cannot tell.
  long long FrontOffset() const;

  // How many bytes of a rejected pattern its log line shows.
  static constexpr std::size_t kLoggedBytes = 16;

 private:
  // Tops the buffer up towards a whole packet with bytes that are waiting:
  // 1 when a whole packet is buffered, -1022 when not, a port error else.
  Status Fill();
  // Reads `count` bytes from the port behind the buffered ones.
  Status Append(int count);
  // Drops the bytes in front of the first sync pattern; true when the
  // buffer now starts with one (or the start of one, at its end).
  bool SkipToSync();
  // The log at trace level: a rejected pattern at Front(); bytes skipped
  // from `from`, gathered into stretches of noise (those of a rejected
  // pattern are not noise); the stretch gathered so far.
  void LogRejected(Verdict verdict);
  void NoteSkipped(long long from, long long count);
  void LogNoise();

  DPort& port_;
  std::vector<std::uint8_t> sync_;
  int whole_;
  long long allowance_;
  std::vector<std::uint8_t> bytes_;  // [begin_, end_) are in use
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  long long unsynced_ = 0;  // bytes skipped since the last pattern was found
  bool synced_ = false;
  // Trace only: where the bytes of the last rejected pattern end, and the
  // stretch of noise not yet logged.
  long long covered_ = 0;
  long long noiseAt_ = 0;
  long long noiseBytes_ = 0;
};

template <typename Check>
Status PacketScanner::Find(int length, Check check, int& damaged) {
  const Status waiting = port_.BytesAvail();
  if (waiting < 0) return waiting;
  if (Buffered() + waiting <= length) return status::kNoData;
  return Next(check, damaged);
}

template <typename Check>
Status PacketScanner::Next(Check check, int& damaged) {
  // A call takes a bounded number of bytes, so that a long stretch of noise
  // never holds up the caller's loop (and its user) for long.
  const long long budget = 8LL * whole_;
  for (long long taken = 0;;) {
    const int before = Buffered();
    const Status filled = Fill();
    if (filled != status::kOk && filled != status::kNoData) return filled;
    const int got = Buffered() > before ? Buffered() - before : 0;
    taken += got;
    const bool found = SkipToSync();
    if (!synced_ && unsynced_ > allowance_ - static_cast<long long>(sync_.size())) {
      unsynced_ = 0;
      return status::kUnrecognisedData;
    }
    if (!found || Buffered() < whole_) {
      // Nothing more came: the rest of the packet is still on its way.
      if (filled == status::kNoData && got == 0) return status::kNoData;
      if (taken > budget) return status::kNoData;
      continue;
    }
    unsynced_ = 0;
    const Verdict verdict = check(Front());
    if (verdict == Verdict::Good) return status::kOk;
    if (logging::On(LogLevel::Trace)) LogRejected(verdict);
    if (verdict != Verdict::FalseStart) ++damaged;
    if (verdict == Verdict::Unusable) {
      begin_ += static_cast<std::size_t>(whole_);
    } else {
      ++begin_;  // search on from the byte after the false start
    }
    if (taken > budget) return status::kNoData;
  }
}

// What one ReadRecord hands out: `lost` lost samples (status -1023), then,
// when there was a good packet, the packet's own samples.
class RecordOut {
 public:
  RecordOut() { lost_.status = status::kLostLine; }

  // Records what goes out and sets `last` to the index of its last sample;
  // 1.
  Status Set(int lost, bool withPacket, int samples, int& last);
  // Sample `index` of what went out, `packet` being the packet's samples;
  // null outside it.
  const DataSample* At(int index, std::span<const DataSample> packet) const;
  // The end of a run with `error` (the end of a replay, a line gone): the
  // `damaged` packets not yet reported go out as their lost samples (1,
  // `damaged` cleared), or the error itself when there are none.
  Status EndRun(Status error, int& damaged, int samples, int& last);
  // Lost samples handed out since the last Restart.
  long long LostTotal() const { return lostTotal_; }
  void Restart() { lostTotal_ = 0; }

 private:
  DataSample lost_;
  int lostOut_ = 0;
  // Before the first packet the samples are the (empty) ones of no packet.
  bool withPacket_ = true;
  long long lostTotal_ = 0;
};

}  // namespace sondrix
