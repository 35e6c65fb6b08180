// SPDX-License-Identifier: GPL-3.0-or-later
// PacketBuffer: what the packet decoders share (BinBuffer, BenthBuffer). A
// PacketScanner cuts the packets out of the port's stream, a PacketTimeline
// reads the samples lost between good packets off the instrument's time
// counter, and a RecordOut hands out the lost samples and the packet's own.
// A decoder says how its packets are checked and decoded and what their
// header tells at a sync; the rest of the DataBuffer operations are here.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/status.h"
#include "io/data_buffer.h"
#include "io/dport.h"
#include "io/packet_scanner.h"
#include "io/sample_clock.h"

namespace sondrix {

class PacketBuffer : public DataBuffer {
 public:
  // Finds the next good packet, decodes it, places it on the time line and
  // hands out the lost samples in front of it and its own: 1 with `last` =
  // k + m - 1 (k lost samples, status -1023, then the packet's m); a
  // repeated packet is dropped and the search goes on. -1022 when no more
  // than L bytes wait or the packet is not complete yet; -1000 when no sync
  // pattern shows before the stream was synchronised; at the end of the
  // stream (a replay's end, a line gone) the damaged packets not yet
  // reported go out first as lost samples, then the port's error unchanged.
  Status ReadRecord(int& last) override;
  // The port's bytes waiting divided by L / m (integers); port errors are
  // passed on unchanged.
  Status LinesAvailable() override;
  Status BytesAvailable() override;
  // Resets the port (a capture part-way through goes on), starts the
  // damaged count, the time line and the lost count afresh, finds a sync
  // pattern with a plausible header and reads the header's three words
  // (ReadHeader). That packet stays buffered: the next ReadRecord decodes it.
  Status Sync(std::uint32_t& serial, std::uint32_t& word2, std::uint32_t& word3) override;
  // After the line came back: only the scanner is cleared, so that the
  // samples missed meanwhile are counted lost from the instrument's counter,
  // as any gap.
  Status Resync(std::uint32_t& serial) override;
  Status DiscardInput() override;
  int PacketBytes() const override { return scanner_.WholeBytes(); }
  Status BufferSize() override;
  const RefBlock* GetRefp() override { return &refs_; }
  // Sample 0 ... `last` of the last ReadRecord (the lost ones first); null
  // for any other index.
  const DataSample* GetDatap(int index) override { return out_.At(index, data_); }
  StreamEvents Events() const override { return timeline_.Events(); }

  int Channels() const { return channels_; }
  int Samples() const { return samples_; }
  // L: the bytes from the sync pattern to the end of the packet's data (the
  // checksum follows).
  int PacketLength() const { return length_; }
  // Samples lost since the last Sync, as reported by ReadRecord.
  long long LostSamples() const { return out_.LostTotal(); }

 protected:
  // The packet format's framing: its sync pattern, the checksum's bytes
  // after the L bytes, what a Sync reads of a header, how far it searches
  // for a sync pattern (bytes) and the time counter's range.
  struct Framing {
    std::span<const std::uint8_t> sync;
    int checksumBytes;
    int syncHeaderBytes;
    int syncSearchBytes;
    PacketTimeline timeline;
  };
  PacketBuffer(DPort& port, int channels, int samples, int length, const Framing& framing);

  // Whether `packet` (L bytes and its checksum) is a good packet of this
  // decoder, damaged, of another length, or no packet at all.
  virtual PacketScanner::Verdict Check(const std::uint8_t* packet) = 0;
  // Decodes a good packet into refs_ and data_; the counts of the time
  // counter per sample it declares, as PacketTimeline::Place takes them.
  virtual double Decode(const std::uint8_t* packet) = 0;
  // Whether a header found by a Sync could be one of this instrument's.
  virtual bool PlausibleHeader(const std::uint8_t* packet) const = 0;
  // The three words a Sync reports of a plausible header.
  virtual void ReadHeader(const std::uint8_t* packet, std::uint32_t& serial, std::uint32_t& word2,
                          std::uint32_t& word3) = 0;

  DPort& port_;
  const int channels_;
  const int samples_;
  const int length_;
  PacketScanner scanner_;
  // Packets of the right length whose checksum failed since the last good
  // packet: what is counted lost where the time counter cannot tell.
  int damaged_ = 0;
  PacketTimeline timeline_;
  RecordOut out_;
  RefBlock refs_;
  std::vector<DataSample> data_;

 private:
  Status FindPackets(std::uint32_t& serial, std::uint32_t& word2, std::uint32_t& word3);

  const int syncHeaderBytes_;
  const int syncSearchBytes_;
};

}  // namespace sondrix
