// SPDX-License-Identifier: GPL-3.0-or-later
// RS232Port: a live serial port "COM1" ... "COM8" read through the installed
// serial library (platform::serial()). Line settings are fixed at no parity,
// 8 data bits, 1 stop bit and 4096-byte queues; the baud rate comes from the
// meter's configuration. Every byte the port delivers can be copied into a
// raw capture file, which RawFilPort replays later.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "common/file.h"
#include "common/status.h"
#include "io/dport.h"

namespace sondrix {

class RS232Port : public DPort {
 public:
  RS232Port() = default;

  // Opens the port at `baud` (no parity, 8 data bits, 1 stop bit) and resets
  // it; a failure of the library is returned unchanged.
  Status Open(int baud) override;
  Status Close() override;
  // -10801 before SetName gave the port a number.
  Status BytesAvail() override;
  // Reads up to 256 bytes or a line feed; the cleaned text is captured.
  Status ReadLine(std::string& line) override;
  Status Sync() override;
  // Starts raw capture on the first reset when "SaveRaw" is on (the file
  // "SX_Com<k>_<start time>.raw" in the current directory); a later reset
  // starts the capture over. Then flushes both queues.
  Status Reset() override;
  // Ends raw capture.
  Status SaveRaw() override;
  Status PromptForPort(std::string_view deviceName, std::string& name) override;
  Status BufferSize() override;
  Status Search(const std::uint8_t* pattern, int length, int maxBytes) override;
  // 1 even when the time-out ended the read early; only the bytes received
  // are captured.
  Status Read(std::uint8_t* buffer, int count) override;
  Status Write(const std::uint8_t* buffer, int count) override;
  // "COM1" ... "COM8" in any case; anything else gives -1011 and keeps the
  // current number.
  Status SetName(std::string_view name) override;
  Status GetName(std::string& name) override;
  ~RS232Port() override;
  // The bytes delivered since the last reset (what a raw capture holds).
  long long StreamOffset() override { return received_; }
  // Opens the device the port had (the name it was mapped to, so that a
  // /dev/serial/by-id link finds the same adapter on whatever node it came
  // back; never another port) without flushing the stream's count or
  // starting the raw capture over. The library's failure unchanged.
  Status Reopen(int baud) override;
  // Flushes the raw capture and syncs it to the disk.
  Status SyncCapture() override;
  // Empties the input queue; the raw capture goes on.
  Status DiscardInput() override;
  // "COM1 (/dev/ttyUSB0)", or "COM1" when the device is not known.
  std::string Describe() const;
  // The device the port was opened on ("/dev/ttyUSB0"; empty when not known).
  const std::string& device() const { return device_; }

  // -1 until SetName succeeds, else 1 ... 8.
  int PortNumber() const { return port_; }
  // Whether raw capture is on, and into which file.
  bool Capturing() const { return raw_ != nullptr; }
  const std::string& CaptureFileName() const { return rawName_; }

 private:
  // Every byte delivered passes here: counted, and copied into the raw
  // capture when one is on.
  void Capture(const void* bytes, std::size_t count);

  int port_ = -1;
  // The device the port was opened on (empty when the library cannot tell).
  std::string device_;
  OwnedFile raw_;
  std::string rawName_;
  long long received_ = 0;
};

// Opens serial port `number` (on `device`; empty: the port's own) at `baud`
// with the line settings above; the serial library's result.
int OpenSerialLine(int number, std::string_view device, long baud);

// The port-choice dialog (usable without a port): offers COM1 ... COM8
// (those the port map marks unavailable are dimmed), each with what it reads
// and why it does not open (port_choice.h), the system's serial ports to map
// to a COM, a rescan, cancel, and a raw capture file. 1 with "COMk" or the capture file's path in `name`; -1021
// when cancelled (nothing shown); -1016 when the panel cannot be loaded.
Status RS232Port_PromptForPort(std::string_view deviceName, std::string& name);

}  // namespace sondrix
