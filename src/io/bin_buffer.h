// BinBuffer: the packet decoder of the absorption/attenuation meters (see
// io/meter_packet.h for the packet format). Each ReadRecord reads one packet
// with three port reads (length, body, checksum) into a buffer allocated once;
// a packet with a wrong length or checksum comes out as m lost samples and
// the reference block of the last good packet stays in place.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/status.h"
#include "io/data_buffer.h"
#include "io/dport.h"
#include "io/meter_packet.h"

namespace sondrix {

class BinBuffer : public DataBuffer {
 public:
  // Creates a decoder of `channels` (1 ... 256) values and `samples` (1 or
  // more) samples per packet over `port` (not owned; it must outlive the
  // decoder). 1, or -1001 with `handle` cleared when the counts are out of
  // range or the packet would not fit its 16-bit length word.
  static Status New(std::unique_ptr<BinBuffer>& handle, DPort& port, int channels, int samples);

  // 1 with `last` = m - 1 (also for a bad packet, whose samples are all
  // marked -1023); -1022 when no more than a packet's bytes wait; -1000 when
  // no sync pattern shows within 2 L bytes; port errors unchanged.
  Status ReadRecord(int& last) override;
  // The port's bytes waiting divided by L / m (integers); port errors are
  // passed on unchanged.
  Status LinesAvailable() override;
  Status BytesAvailable() override;
  // Resets the port, finds a sync pattern within 4 L bytes, checks the
  // length word (-1000 when it is not L) and reads the serial number, the
  // status/period word and the pressure/external temperature word as
  // received. The stream is left inside that packet.
  Status Sync(std::uint32_t& serial, std::uint32_t& word2, std::uint32_t& word3) override;
  Status BufferSize() override;
  const RefBlock* GetRefp() override;
  // Sample 0 ... m - 1 of the last packet; null for any other index.
  const DataSample* GetDatap(int index) override;
  ~BinBuffer() override;

  int Channels() const { return channels_; }
  int Samples() const { return samples_; }
  // L: the bytes from the sync pattern to the end of the temperature field.
  int PacketLength() const { return length_; }

 private:
  BinBuffer(DPort& port, int channels, int samples, int length);

  Status MarkLost(int& last);
  void Decode();

  DPort& port_;
  int channels_;
  int samples_;
  int length_;
  // The packet from its length field on (L - 4 bytes are used).
  std::vector<std::uint8_t> packet_;
  std::array<std::uint8_t, kMeterChecksumBytes> checksum_{};
  RefBlock refs_;
  std::vector<DataSample> data_;
};

}  // namespace sondrix
