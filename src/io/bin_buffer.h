// SPDX-License-Identifier: GPL-3.0-or-later
// BinBuffer: the packet decoder of the absorption/attenuation meters (see
// io/meter_packet.h for the packet format).
//
// The packets are found by a PacketScanner (io/packet_scanner.h): a live
// line never blocks the decoder, a packet comes out as soon as its last byte
// has arrived, a sync pattern whose length word or checksum fails is a false
// start after which the search resumes one byte on, and once the stream is
// synchronised line noise is skipped however long it lasts.
//
// Lost samples come out in front of the good packet that follows them: their
// number is read off the instrument's time counter (the gap between the last
// sample of the previous good packet and the first of this one), or, where
// the counter cannot tell, m for every damaged packet of the right length
// (io/sample_clock.h). ReadRecord's `last` then counts those lost samples
// plus the packet's m. A repeated packet (the same counter as the packet
// before) is dropped; each sample's `time` is its place on the time line.
#pragma once

#include <cstdint>
#include <memory>

#include "common/status.h"
#include "io/dport.h"
#include "io/meter_packet.h"
#include "io/packet_buffer.h"

namespace sondrix {

class BinBuffer : public PacketBuffer {
 public:
  // Creates a decoder of `channels` (1 ... 256) values and `samples` (1 or
  // more) samples per packet over `port` (not owned; it must outlive the
  // decoder). 1, or -1001 with `handle` cleared when the counts are out of
  // range or the packet would not fit its 16-bit length word.
  static Status New(std::unique_ptr<BinBuffer>& handle, DPort& port, int channels, int samples);
  ~BinBuffer() override;

  // Sync (PacketBuffer) searches 4 L bytes for a sync pattern, checks the
  // length word (-1000 when it is not L) and reads the serial number, the
  // status/period word and the pressure/external temperature word as
  // received.

 private:
  BinBuffer(DPort& port, int channels, int samples, int length);

  PacketScanner::Verdict Check(const std::uint8_t* packet) override;
  // Decodes the packet; its time counter's counts per sample, -1 when the
  // counter cannot tell samples apart.
  double Decode(const std::uint8_t* packet) override;
  bool PlausibleHeader(const std::uint8_t* packet) const override;
  void ReadHeader(const std::uint8_t* packet, std::uint32_t& serial, std::uint32_t& word2,
                  std::uint32_t& word3) override;
  double StepOf() const;
};

}  // namespace sondrix
