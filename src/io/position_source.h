// SPDX-License-Identifier: GPL-3.0-or-later
// Where a run's positions come from: a GPS receiver's NMEA sentences, or gpsd's reports. The
// run polls its source between reads (never waiting on it: InputHandle
// lets the run's sleep watch it too) and keeps the fixes it gives.
//
// Sources (OpenPositionSource opens one from its text):
//   COM1 ... COM8, /dev/...  a serial receiver's NMEA sentences (serial_position.cpp)
//   udp:PORT                 UDP datagrams of NMEA sentences on the ship's
//                            network, bound to the port on every local address
//                            and kept from every other program, one or more
//                            sentences a datagram
//   udp:PORT:shared          the same, the port shared with other listeners of
//                            the network's broadcast (each gets every broadcast;
//                            a datagram sent to this computer alone reaches
//                            only one of them, which the source tells)
//   gpsd[:HOST[:PORT]]       a gpsd's reports over its JSON protocol (gpsd_position.cpp)
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/line_link.h"
#include "io/nmea.h"

namespace sondrix {

// NMEA 0183's rate: a serial receiver's baud rate unless one is given (8N1).
inline constexpr long kDefaultPositionBaud = 4800;

// What a source received and did not use, by kind (the counts of its
// NmeaParser and of its own reading; see PositionSource::Counts).
struct PositionCounts {
  long long badChecksums = 0;  // NMEA sentences whose checksum fails
  long long malformed = 0;     // cut short, a field out of its form or range, no JSON object
  long long invalid = 0;       // the receiver says the fix is not valid (no 2D/3D fix)
  long long undated = 0;       // a position without a date or a time

  bool operator==(const PositionCounts&) const = default;
};

class PositionSource {
 public:
  virtual ~PositionSource() = default;
  // Reads what has arrived, without waiting; the usable fixes are appended
  // to `fixes` (Counts() counts what was spoiled). False when the source
  // failed for good (a UDP socket in error); a serial receiver or gpsd that
  // went away is Lost() instead, and Poll goes on true.
  virtual bool Poll(std::vector<NmeaFix>& fixes) = 0;
  // The descriptor a wait may watch for the next sentences (-1: none).
  // After the receiver went away (and until it is back) it may be -1 or
  // another descriptor: ask again before every wait.
  virtual int InputHandle() const = 0;
  // The source for messages and for the fixes' records: "udp:10110",
  // "COM3 (/dev/ttyUSB1)", "/dev/ttyUSB1", "gpsd localhost:2947".
  virtual std::string Describe() const = 0;
  // Whether the receiver went away (a serial adapter pulled out, gpsd
  // gone): the source tries to get it back, about once a second, in Poll.
  bool Lost() const { return lost_; }
  const NmeaParser& parser() const { return parser_; }
  // What the operator should know of the source beyond its fixes and
  // counts, said once (empty: nothing): a shared UDP port whose sender
  // sends to this computer alone.
  const std::string& Notice() const { return notice_; }
  // The parser's counts and the source's own (gpsd's reports, lines too
  // long to be a sentence, a sentence cut off by a receiver that went away).
  PositionCounts Counts() const;

 protected:
  // One sentence (without its line end; empty: nothing).
  void TakeSentence(std::string_view sentence, std::vector<NmeaFix>& fixes);

  NmeaParser parser_;
  PositionCounts own_;
  // A stream's sentences (gpsd's connection; a line link splits its own),
  // and the pace of looking for a receiver that went away.
  LineSplitter splitter_;
  RetryPace retry_;
  bool lost_ = false;
  std::string notice_;
};

// NMEA over UDP on `port` (0: any free port, see UdpPort), alone on the
// port, or `shared` with other listeners (SO_REUSEADDR). Null with `error`
// set when the port cannot be bound; a port another program holds is
// "udp:10110 is already in use by another program (NAME, process PID): ...".
std::unique_ptr<PositionSource> OpenUdpPositionSource(int port, std::string& error, bool shared = false);
// The port a UDP source is bound to (-1 for another source).
int UdpPort(const PositionSource& source);

// A serial receiver's NMEA sentences: `port` is "COM1" ... "COM8" (its
// device from [Ports] in Sondrix.ini or the system's list, as a meter's
// port) or a device path ("/dev/ttyUSB1", a /dev/serial/by-id link, a
// pseudo-terminal), read at `baud`, 8N1. A port or device this program
// already has open (the meter's) is refused. Null with `error` set when it
// cannot be opened.
std::unique_ptr<PositionSource> OpenSerialPositionSource(std::string_view port, long baud, std::string& error);

// gpsd's default port.
inline constexpr int kGpsdPort = 2947;
// A gpsd at `host`:`port`, over its JSON protocol. The connection is made
// here, waiting at most about two seconds; null with `error` set ("gpsd at
// localhost:2947 does not answer: Connection refused") when it fails.
std::unique_ptr<PositionSource> OpenGpsdPositionSource(const std::string& host, int port, std::string& error);

// A source's text taken apart: "COM1" ... "COM8" or a device path beginning
// with "/" (Serial, `name`), "udp:PORT" (Udp, `port` 1 ... 65535) and
// "udp:PORT:shared" (`shared` too), "gpsd",
// "gpsd:HOST", "gpsd:HOST:PORT" (Gpsd, `name` the host, localhost unless
// given, `port` 2947 unless given; a numeric IPv6 host in brackets,
// "gpsd:[::1]:2947"). Null with `error` naming the forms for another text.
struct PositionSpec {
  enum class Kind { Serial, Udp, Gpsd };
  Kind kind = Kind::Serial;
  std::string name;
  int port = 0;
  bool shared = false;

  bool operator==(const PositionSpec&) const = default;
};
std::optional<PositionSpec> ParsePositionSpec(std::string_view spec, std::string& error);

// The forms of a source's text, one row each, in the order every list of
// them takes: the help of `record --position`, the Position dialog's hint
// and the refusal of another text (ParsePositionSpec). A test checks that
// the manual page and docs/position.md name every row.
struct PositionSourceForm {
  PositionSpec::Kind kind;
  std::string_view syntax;  // as a list shows it: "udp:PORT", "gpsd[:HOST[:PORT]]"
  // What it reads, in brackets after it ("": not said); rows one after
  // another that read the same say it once, after the last of them.
  std::string_view reads;
  std::array<std::string_view, 3> spelled;  // every form written out, as the refusal names them
};
std::span<const PositionSourceForm> PositionSourceForms();
// "COM2 ... COM8 or a device path (NMEA 0183 on a serial line), udp:PORT
// (...), udp:PORT:shared (...) or gpsd[:HOST[:PORT]]".
std::string PositionSourceList();

// A source from its text (ParsePositionSpec), a serial one read at `baud`.
// Null with `error` set for a text of another form or a source that does
// not open.
std::unique_ptr<PositionSource> OpenPositionSource(std::string_view spec, long baud, std::string& error);

}  // namespace sondrix
