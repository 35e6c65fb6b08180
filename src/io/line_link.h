// SPDX-License-Identifier: GPL-3.0-or-later
// A line of text from another instrument of the ship, read beside the run
// without waiting: a serial port or UDP datagrams, one text line (or more)
// each. The GPS receiver's NMEA sentences (position_source.h) and the
// ship's data lines of a thermosalinograph, CTD or valve controller
// (ancillary_source.h) both come this way; what a line says is the
// reader's.
//
//   COM1 ... COM8, /dev/...  a serial port (its [Ports] device, or a device
//                            path) at its baud, 8N1; a device that goes
//                            away (a USB adapter pulled out) is opened
//                            again about once a second
//   udp:PORT                 UDP datagrams on every local address, the port
//                            kept from every other program
//   udp:PORT:shared          the same, shared with other listeners of the
//                            network's broadcast
//
// A stream's bytes need not end where a line does (LineSplitter joins
// them); a line longer than kLongestLine, and one cut off because its
// device went away, is spoiled: counted, never handed on.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace sondrix {

using LineHandler = std::function<void(std::string_view)>;

// Lines from bytes: datagrams, or a stream whose lines may arrive in pieces.
class LineSplitter {
 public:
  static constexpr std::size_t kLongestLine = 65536;

  // Every line of a datagram (CR and LF end them; empty ones are passed over).
  static void Datagram(std::string_view text, const LineHandler& line);
  // The bytes of a stream: every line they complete goes to `line` (without
  // its CR/LF), the unfinished rest waits for the next bytes. A rest that
  // grows beyond kLongestLine is spoiled and dropped up to its line end.
  void Stream(std::string_view bytes, const LineHandler& line);
  // The stream broke off: an unfinished line is spoiled and dropped.
  void DropPartial();
  long long spoiled() const { return spoiled_; }

 private:
  std::string partial_;
  bool skipping_ = false;  // inside a line too long to keep
  long long spoiled_ = 0;
};

// At most once a second (on the platform's clock): whether a device that
// went away should be looked for again now.
class RetryPace {
 public:
  bool Due();

 private:
  double last_ = 0.0;
  bool tried_ = false;
};

// What a link carries, for its messages: "position receiver" / "receiver" /
// "fixes", "ship's data source" / "source" / "readings".
struct LinkRole {
  std::string_view device = "position receiver";
  std::string_view shortName = "receiver";
  std::string_view data = "fixes";
};

class LineLink {
 public:
  virtual ~LineLink() = default;
  // Reads what has arrived, without waiting; each whole line goes to
  // `line`. False when the link failed for good (a UDP socket in error); a
  // serial device that went away is Lost() instead, and Poll goes on true.
  virtual bool Poll(const LineHandler& line) = 0;
  // The descriptor a wait may watch (-1: none); ask again before every wait.
  virtual int InputHandle() const = 0;
  // "udp:10110", "COM3 (/dev/ttyUSB1)", "/dev/ttyUSB1".
  virtual std::string Describe() const = 0;
  // The device went away; Poll looks for it about once a second.
  bool Lost() const { return lost_; }
  // What the operator should know of the link, said once (empty: nothing).
  const std::string& Notice() const { return notice_; }
  // Lines too long to be one, or cut off by a device that went away.
  long long spoiled() const { return splitter_.spoiled(); }

 protected:
  LineSplitter splitter_;
  RetryPace retry_;
  bool lost_ = false;
  std::string notice_;
};

// What follows "udp:PORT" in a shared UDP link's text.
inline constexpr std::string_view kSharedSuffix = ":shared";

// UDP on `port` (0: any free port), alone on it or `shared` (SO_REUSEADDR).
// Null with `error` set when the port cannot be bound; a port another
// program holds is "udp:10110 is already in use by another program (NAME,
// process PID): ...".
std::unique_ptr<LineLink> OpenUdpLink(int port, bool shared, const LinkRole& role, std::string& error);
// The port a UDP link is bound to (-1 for another link).
int UdpLinkPort(const LineLink& link);

// A serial port: "COM1" ... "COM8" or a device path, read at `baud`, 8N1.
// A port or device this program already has open (the meter's, another
// link's) is refused. Null with `error` set when it cannot be opened.
std::unique_ptr<LineLink> OpenSerialLink(std::string_view port, long baud, const LinkRole& role, std::string& error);

}  // namespace sondrix
