// SPDX-License-Identifier: GPL-3.0-or-later
// DPort: the byte stream a meter's packets are read from. The live serial
// port (RS232Port) and the replay of a raw capture (RawFilPort) offer the same
// operations, so a meter and its decoder run on either without knowing which.
//
// The operations are declared in the order of the port operation table; each
// default fails with the port's own "not offered" code. The destructor takes
// the place of Dispose, the table's last slot.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/status.h"

namespace sondrix {

// Longest sync pattern a port's Search compares (the size of its window).
inline constexpr int kSearchWindow = 128;

class DPort {
 public:
  DPort() = default;
  DPort(const DPort&) = delete;
  DPort& operator=(const DPort&) = delete;

  virtual Status Open(int baud);                                     // 0
  virtual Status Close();                                            // 1
  // Bytes waiting, or a negative code.
  virtual Status BytesAvail();                                       // 2
  // One line without its line feed, cleaned to printable text; its length.
  virtual Status ReadLine(std::string& line);                        // 3
  // Skips to just past the next line feed.
  virtual Status Sync();                                             // 4
  virtual Status Reset();                                            // 5
  // Stops raw capture.
  virtual Status SaveRaw();                                          // 6
  // Asks the user which source to read `deviceName` from; the chosen port
  // name or capture path goes to `name`.
  virtual Status PromptForPort(std::string_view deviceName, std::string& name);  // 7
  // Size of the input queue, bytes.
  virtual Status BufferSize();                                       // 8
  // Consumes the stream up to and including `pattern` (1 ... kSearchWindow
  // bytes), giving up with -1000 after more than `maxBytes` bytes.
  virtual Status Search(const std::uint8_t* pattern, int length, int maxBytes);  // 9
  virtual Status Read(std::uint8_t* buffer, int count);              // 10
  virtual Status Write(const std::uint8_t* buffer, int count);       // 11
  virtual Status SetName(std::string_view name);                     // 12
  virtual Status GetName(std::string& name);                         // 13
  virtual ~DPort();                                                  // 14 Dispose

  // Whether Reset keeps the bytes not read yet: a capture part-way through
  // goes on where it is, where a live line's Reset empties its queues. The
  // decoders keep what they had buffered only then.
  virtual bool ResetKeepsStream();
  // How much of a stored stream (a capture) has been read, 0 ... 1; -1 for
  // a live line.
  virtual double ReplayFraction();
  // Where the stream stands: the bytes consumed so far, which is the
  // offset of the next byte in a capture (a replay's position in its file;
  // for a live line the bytes received since its last reset, where its raw
  // capture stands). -1 when the port cannot tell. The log names rejected
  // packets by it.
  virtual long long StreamOffset();
  // A live line whose device went away (unplugged, hung up): closes the
  // port and opens the same device again at `baud`, its stream and raw
  // capture going on where they were. The port's "not offered" code where
  // there is no device to come back (a capture).
  virtual Status Reopen(int baud);
  // Puts what the raw capture holds on the disk (written out and synced);
  // 1 when there is no capture, -1015 when writing failed.
  virtual Status SyncCapture();
  // Throws away what waits unread: what a live line queued before the
  // user asked for samples was measured before (a kernel queue alone holds
  // seconds). A stored stream (a capture) has nothing that waited: 1.
  virtual Status DiscardInput();

 protected:
  // Search as every port runs it: Read fills a window of `length` bytes,
  // which then slides on by one byte from `nextByte` (0 ... 255, or a
  // negative code that ends the search with it) until it holds `pattern`.
  Status SearchWith(const std::uint8_t* pattern, int length, int maxBytes,
                    const std::function<int()>& nextByte);
};

// The line cleaning both ports apply: keeps the bytes 1 ... 127 in their
// order (NUL and bytes of 128 and above are dropped), then removes trailing
// spaces and carriage returns.
void CleanPortLine(std::string& text);

}  // namespace sondrix
