// SPDX-License-Identifier: GPL-3.0-or-later
// The serial line between a paced instrument and its reader. The
// instrument's bytes go out one after another at the line's baud rate (8N1:
// ten bits a byte); each is handed to the output when its last bit has gone
// out, a few milliseconds' worth at a time. The writer never waits for the
// reader: what the reader leaves unread beyond the buffer of a real serial
// port is lost, as on a real line, and the losses are kept so that the
// report can say which packets they hit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <utility>
#include <vector>

#include "sim/output.h"

namespace sondrix::sim {

// The unread bytes a line keeps for a reader that does not read: the
// receive buffer of the Linux tty layer (N_TTY_BUF_SIZE, 4096 bytes, one
// place of which stays free in raw mode). Once it is full the driver stops
// taking bytes from the UART or USB adapter, whose own FIFO (16 bytes for a
// UART, a few hundred for a USB adapter; left out here) fills, and what
// comes next is lost: an overrun loses the newest bytes, not the oldest.
// About six packets of the nine-wavelength meter (ten seconds at its usual
// 6 Hz), five of the hyperspectral meter: what a reader that opens the line
// late finds waiting, at most.
inline constexpr std::size_t kLineBufferBytes = 4095;

// A line whose instrument rate cannot carry the stream runs at a rate that
// carries it this full at most.
inline constexpr double kLineLoad = 0.8;

// The rate a line serves a stream of `bytesPerSecond` (on average) at: the
// instrument's baud rate when it carries the stream, however full; else
// (a --rate faster than the instrument could send at its rate) the lowest
// standard rate (kBaudRates) that carries it at most kLineLoad full, or
// beyond the list the rate that is exactly so full.
long LineRate(long instrumentBaud, double bytesPerSecond);

class SerialLine {
 public:
  // Bytes the instrument starts sending at `start` (monotonic seconds, see
  // Output::Now), or as soon as the line has sent what was queued before,
  // at `baud`. Returns the stream offset after them.
  long long Send(std::span<const std::uint8_t> bytes, double start, long baud);
  // Hands `out` every byte whose last bit has gone out by `now`, without
  // waiting; a pseudo-terminal takes them as long as no more than
  // kLineBufferBytes wait unread, and the rest are lost. kWritten, or the
  // output's kStopped, kClosed or kFailed.
  Output::Result Pump(Output& out, double now);
  // Loses every byte not yet handed over: the line went away.
  void DropPending();

  // When the next byte's last bit goes out (a huge value when none waits).
  double NextByteAt() const;
  // When the last byte queued will have gone out.
  double FreeAt() const { return freeAt_; }
  // Stream offsets: bytes queued so far, and bytes handed over or lost.
  long long Queued() const { return queued_; }
  long long Handled() const { return handled_; }
  // Bytes lost at stream offsets [from, to).
  long long LostIn(long long from, long long to) const;
  // Forgets the losses before `offset`.
  void Forget(long long offset);

 private:
  struct Segment {
    std::vector<std::uint8_t> bytes;
    std::size_t done = 0;  // handed over or lost
    double start = 0.0;    // when its first bit goes out
    double byteSeconds = 0.0;
  };
  void Lose(long long from, long long to);

  std::deque<Segment> segments_;
  std::vector<std::pair<long long, long long>> lost_;  // [from, to), ascending
  long long queued_ = 0;
  long long handled_ = 0;
  double freeAt_ = 0.0;
};

}  // namespace sondrix::sim
