// SPDX-License-Identifier: GPL-3.0-or-later
// DataBuffer: the packet decoder of a meter. It reads whole packets from the
// meter's port and keeps the last one decoded as a reference block (one per
// packet) and a fixed number of samples (one value per input channel each).
//
// The operations are declared in the order of the decoder operation table;
// each default returns the decoder's "not offered" code. The destructor takes
// the place of Dispose, the table's last slot.
#pragma once

#include <array>
#include <cstdint>

#include "common/status.h"

namespace sondrix {

// Values per reference block and per sample.
inline constexpr int kMaxBufferValues = 256;

// The reference block of the last packet. The absorption/attenuation meters
// fill the first fields and `refs`; the hyperspectral meter also uses the
// auxiliary fields, and its second temperature lives in `extTemp`.
struct RefBlock {
  std::uint32_t serial = 0;   // instrument serial number, as received
  std::int32_t status = 1;    // packet status word (a received 0 reads 1)
  // The instrument's status word exactly as the packet carried it; 0 for a
  // packet whose word means something else (a hyperspectral packet of
  // type 4 sends its sample rate there).
  std::uint32_t statusWord = 0;
  double sampleRate = 0.0;    // Hz (the hyperspectral meter's rate field)
  double pressure = 0.0;      // pressure count
  double extTemp = 0.0;       // external (second) temperature, degrees
  std::array<double, kMaxBufferValues> refs{};  // reference values, first n used
  double aux = 0.0;           // auxiliary field (hyperspectral)
  double auxCount2 = 0.0;     // auxiliary count 2 (hyperspectral)
  double auxCount5 = 0.0;     // auxiliary signed count 5 (hyperspectral)
  double auxCount6 = 0.0;     // auxiliary signed count 6 (hyperspectral)
  double temp = 0.0;          // internal temperature, degrees
};

// One sample of a packet.
struct DataSample {
  std::int32_t status = 0;    // 1 valid, -1023 lost
  // The sample's place on the decoder's time line (io/sample_clock.h),
  // hundredths of a second: the counter unwrapped, never running backwards.
  std::int64_t time = 0;
  std::uint32_t count = 0;    // the packet's time counter as sent
  std::array<double, kMaxBufferValues> values{};  // first n used
};

// What a decoder noticed in the stream since its last Sync, beyond lost
// samples: what a run's summary tells the user.
struct StreamEvents {
  long long clockRestarts = 0;   // the instrument's counter started again
  long long repeats = 0;         // repeated packets dropped
  long long spacingChanged = 0;  // packets of another output spacing, counted lost
};

class DataBuffer {
 public:
  DataBuffer() = default;
  DataBuffer(const DataBuffer&) = delete;
  DataBuffer& operator=(const DataBuffer&) = delete;

  // Decodes the next packet; `last` receives the index of its last sample.
  virtual Status ReadRecord(int& last);                                 // 0
  // Samples' worth of bytes waiting at the port.
  virtual Status LinesAvailable();                                      // 1
  virtual Status BytesAvailable();                                      // 2
  // Finds the stream's packets and reads the first words of one of them.
  virtual Status Sync(std::uint32_t& serial, std::uint32_t& word2,      // 3
                      std::uint32_t& word3);
  virtual Status BufferSize();                                          // 4
  virtual const RefBlock* GetRefp();                                    // 5
  virtual const DataSample* GetDatap(int index);                        // 6
  virtual ~DataBuffer();                                                // 7 Dispose

  // What the decoder noticed since its last Sync (nothing by default).
  virtual StreamEvents Events() const;
  // After the line came back (its port reopened): finds the packets again
  // as Sync does and reads the serial number of the first, but keeps the
  // time line, so that the samples missed meanwhile come out lost in front
  // of the next packet, counted by the instrument's counter. The port's
  // errors as Sync's; -1000 where the decoder cannot resynchronise.
  virtual Status Resync(std::uint32_t& serial);
  // Throws away the bytes buffered and waiting at the port (DPort::
  // DiscardInput): the next packet is one that arrives from now on. The
  // time line goes on. 1, or the port's failure.
  virtual Status DiscardInput();
  // The bytes of one packet on the line, sync pattern to checksum (0 when
  // not known): what its transmission takes.
  virtual int PacketBytes() const;
};

}  // namespace sondrix
