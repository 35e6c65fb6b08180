// SPDX-License-Identifier: GPL-3.0-or-later
// RawFilPort: replays a raw capture file (the bytes a meter sent, as the
// serial port captured them; no header, no framing) through the port
// operations, so that a meter and its decoder run on a recording exactly as
// on a live line. Replay runs as fast as it is read: BytesAvail always
// reports a packet's worth waiting. End of file is -1017 until a reset at
// the end starts the replay over.
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

class RawFilPort : public DPort {
 public:
  RawFilPort() = default;

  // Opens the file named by SetName for reading; the baud rate is ignored.
  // -1002 when it cannot be opened or is not a regular file (a pipe or a
  // device is refused at once instead of waiting for a writer).
  Status Open(int baud) override;
  Status Close() override;
  // -10801 without an open file, else 2047.
  Status BytesAvail() override;
  // -1014 on a read error, -1017 at the end of the file (also when the last
  // line had characters but no line feed), else the cleaned line's length.
  Status ReadLine(std::string& line) override;
  Status Sync() override;
  // Starts the replay over when the file is at its end.
  Status Reset() override;
  // True part-way through the file: the replay goes on where it is.
  bool ResetKeepsStream() override;
  // The share of the capture read so far.
  double ReplayFraction() override;
  // The position in the capture file.
  long long StreamOffset() override;
  Status SaveRaw() override;
  Status PromptForPort(std::string_view deviceName, std::string& name) override;
  Status BufferSize() override;
  Status Search(const std::uint8_t* pattern, int length, int maxBytes) override;
  // -1017 when the end of the file came before `count` bytes (the bytes that
  // were there are in the buffer), -1014 on a read error.
  Status Read(std::uint8_t* buffer, int count) override;
  Status Write(const std::uint8_t* buffer, int count) override;
  // The capture file's path (any length).
  Status SetName(std::string_view name) override;
  Status GetName(std::string& name) override;
  ~RawFilPort() override;

  // Reads characters until the end of the file, a read error, 256 characters
  // stored, or a line feed (consumed, not stored); the number stored.
  int ReadTerm(std::string& text);

 private:
  // The stream's buffer (kReadBufferBytes): a capture is read in large
  // pieces. Declared before the stream, which must go first.
  std::unique_ptr<char[]> readBuffer_;
  OwnedFile file_;
  std::string name_;
};

// The capture-file dialog: "Raw data file:" over "*.raw" in the data
// directory of the settings file. 1 with the chosen path in `path` (and its
// directory remembered), -1021 when nothing was chosen, -1020 when the chosen
// file does not exist. `defaultName` is accepted for the port interface's
// sake; the dialog always starts on "*.raw".
Status RawFilPort_PromptForPort(std::string_view defaultName, std::string& path);

}  // namespace sondrix
