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

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/status.h"
#include "io/data_buffer.h"
#include "io/dport.h"
#include "io/meter_packet.h"
#include "io/packet_scanner.h"
#include "io/sample_clock.h"

namespace sondrix {

class BinBuffer : public DataBuffer {
 public:
  // Creates a decoder of `channels` (1 ... 256) values and `samples` (1 or
  // more) samples per packet over `port` (not owned; it must outlive the
  // decoder). 1, or -1001 with `handle` cleared when the counts are out of
  // range or the packet would not fit its 16-bit length word.
  static Status New(std::unique_ptr<BinBuffer>& handle, DPort& port, int channels, int samples);

  // 1 for a good packet, with `last` = k + m - 1 where the first k samples
  // are the lost samples in front of it (status -1023) and the packet's m
  // follow. -1022 when no more than L bytes wait (nothing is consumed) or the
  // packet is not complete yet; -1000 when no sync pattern shows within 2 L
  // bytes before the first good packet; port errors unchanged, except that
  // damaged packets not yet reported come out first as lost samples.
  Status ReadRecord(int& last) override;
  // The port's bytes waiting divided by L / m (integers); port errors are
  // passed on unchanged.
  Status LinesAvailable() override;
  Status BytesAvailable() override;
  // Resets the port, finds a sync pattern within 4 L bytes, checks the
  // length word (-1000 when it is not L) and reads the serial number, the
  // status/period word and the pressure/external temperature word as
  // received. That packet stays buffered: the next ReadRecord decodes it.
  // The decoder's buffer is emptied (a capture part-way through keeps it:
  // its stream goes on) and its count of lost samples and its time line
  // start afresh.
  Status Sync(std::uint32_t& serial, std::uint32_t& word2, std::uint32_t& word3) override;
  Status Resync(std::uint32_t& serial) override;
  Status DiscardInput() override {
    damaged_ = 0;
    timeline_.Discarded();
    return scanner_.DiscardInput();
  }
  int PacketBytes() const override { return scanner_.WholeBytes(); }
  Status BufferSize() override;
  const RefBlock* GetRefp() override;
  // Sample 0 ... `last` of the last ReadRecord (the lost ones first); null
  // for any other index.
  const DataSample* GetDatap(int index) override;
  ~BinBuffer() override;

  int Channels() const { return channels_; }
  int Samples() const { return samples_; }
  // L: the bytes from the sync pattern to the end of the temperature field.
  int PacketLength() const { return length_; }

  // Samples lost since the last Sync, as reported by ReadRecord.
  long long LostSamples() const { return out_.LostTotal(); }
  StreamEvents Events() const override;

 private:
  // Finds a sync pattern with a plausible header and reads the header's
  // words; the packet stays buffered.
  Status FindPackets(std::uint32_t& serial, std::uint32_t& word2, std::uint32_t& word3);
  BinBuffer(DPort& port, int channels, int samples, int length);

  PacketScanner::Verdict Check(const std::uint8_t* packet) const;
  void Decode(const std::uint8_t* packet);
  // Counts per sample of the packet just decoded; -1 when the counter
  // cannot tell samples apart.
  double StepOf() const;

  DPort& port_;
  int channels_;
  int samples_;
  int length_;
  PacketScanner scanner_;
  // Packets of the right length whose checksum failed since the last good
  // packet: what is counted lost where the time counter cannot tell.
  int damaged_ = 0;
  // 16 bits of hundredths; a wrap spans at most a quarter of the range.
  PacketTimeline timeline_{65536, 16384, 1};
  RecordOut out_;
  RefBlock refs_;
  std::vector<DataSample> data_;
};

}  // namespace sondrix
