// SPDX-License-Identifier: GPL-3.0-or-later
// BenthBuffer: the packet decoder of the hyperspectral meter (see
// io/benth_packet.h for the format). A packet carries one sample of n
// wavelength channels, each with two reference and two signal counts: the
// first pair for the channel's attenuation trace, the second for its
// absorption trace. The references go to the reference block (first
// references, then second references), the signals to the sample (first
// signals, then second signals). A packet with a wrong length or checksum
// comes out as lost samples; the reference block of the last good packet
// stays in place.
//
// Unlike the other meters, this instrument takes commands: SendCommand
// writes a command frame and waits for its acknowledgement, and SetParams
// uses that to change the instrument's output spacing and baud rate.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "common/status.h"
#include "io/benth_packet.h"
#include "io/dport.h"
#include "io/packet_buffer.h"

namespace sondrix {

class BenthBuffer : public PacketBuffer {
 public:
  // A decoder of `channels` (1 ... 128) wavelength channels and `samples`
  // (1 or more; the instrument sends one) samples per packet over `port`
  // (not owned; it must outlive the decoder). 1, or -1001 with `handle`
  // cleared for counts out of range.
  static Status New(std::unique_ptr<BenthBuffer>& handle, DPort& port, int channels, int samples);
  ~BenthBuffer() override;

  // Resets the port, finds a packet (any length up to 1000 bytes) and
  // reads from its header the serial number (most significant byte first),
  // the status word and the skip value (the header byte at offset 7). That
  // packet stays buffered (the next ReadRecord decodes it when it is one of
  // this decoder's length); a capture part-way through keeps what was
  // buffered, a live line starts afresh.
  Status Sync(std::uint32_t& serial, std::uint32_t& status, std::uint32_t& skip) override;
  // The time line's events, and the good packets skipped since the last
  // Sync for another output spacing than the one synchronised on.
  StreamEvents Events() const override;
  // Sends the instrument its output spacing code (1 ... 4) and baud rate,
  // then reopens the port at that rate. 1 or the failing command's code.
  virtual Status SetParams(int parameter, int baudRate);

  // Writes a command frame and waits for its acknowledgement, three times
  // at most: 1; -1000 after three attempts without an acknowledgement or
  // for an acknowledgement that does not add up; port errors unchanged.
  Status SendCommand(std::uint16_t code, std::uint16_t param1, std::uint16_t param2);

  // The packet type of the last good packet.
  int PacketType() const { return type_; }
  // The length word of the packet the last Sync found (0 before one): the
  // instrument's packets fit this decoder only when it is PacketLength().
  int SyncedLength() const { return syncedLength_; }

  // How long SendCommand waits for an acknowledgement, seconds.
  static constexpr double kAckTimeout = 2.0;
  // SetParams' pause before reopening the port, seconds.
  static constexpr double kReopenDelay = 0.1;

 private:
  BenthBuffer(DPort& port, int channels, int samples);

  PacketScanner::Verdict Check(const std::uint8_t* packet) override;
  double Decode(const std::uint8_t* packet) override;
  bool PlausibleHeader(const std::uint8_t* packet) const override;
  void ReadHeader(const std::uint8_t* packet, std::uint32_t& serial, std::uint32_t& status,
                  std::uint32_t& skip) override;
  // One write of a command and the wait for its acknowledgement.
  Status CommandAttempt(const std::array<std::uint8_t, kBenthFrameBytes>& frame);

  int type_ = 0;
  // The serial number bytes of the last good packet, as they stand in it
  // (one was placed on the time line since the last Sync).
  std::array<std::uint8_t, 4> serial_{};
  // What the last Sync found: the packets' length and output spacing.
  int syncedLength_ = 0;
  int syncedSkip_ = -1;
  long long spacingChanged_ = 0;
};

}  // namespace sondrix
