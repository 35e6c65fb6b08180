// Where a run's positions come from: a GPS receiver's NMEA sentences. The
// run polls its source between reads (never waiting on it: InputHandle
// lets the run's sleep watch it too) and keeps the fixes it gives.
//
// Sources: UDP datagrams of NMEA sentences broadcast on the ship's network
// (`udp:PORT`, bound to the port on every local address, one or more
// sentences a datagram). A serial receiver and gpsd are to come.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/nmea.h"

namespace sondrix {

class PositionSource {
 public:
  virtual ~PositionSource() = default;
  // Reads what has arrived, without waiting; the usable fixes are appended
  // to `fixes` (the parser counts what was spoiled). False when the source
  // failed for good.
  virtual bool Poll(std::vector<NmeaFix>& fixes) = 0;
  // The descriptor a wait may watch for the next sentences (-1: none).
  virtual int InputHandle() const = 0;
  // The source as messages and the track name it: "udp:10110".
  virtual std::string Describe() const = 0;
  const NmeaParser& parser() const { return parser_; }

 protected:
  // Splits `text` into sentences (CR and LF end them) and parses each.
  void Take(std::string_view text, std::vector<NmeaFix>& fixes);

  NmeaParser parser_;
};

// The baud rate of a serial receiver unless told otherwise (NMEA 0183).
inline constexpr long kDefaultPositionBaud = 4800;

// The source `spec` names: "udp:PORT" (more to come). Null with `error`
// set when it names none or cannot be opened.
std::unique_ptr<PositionSource> OpenPositionSource(std::string_view spec, long baud, std::string& error);

// NMEA over UDP on `port` (0: any free port, see UdpPort). Null with
// `error` set when the port cannot be bound.
std::unique_ptr<PositionSource> OpenUdpPositionSource(int port, std::string& error);
// The port a UDP source is bound to (-1 for another source).
int UdpPort(const PositionSource& source);

}  // namespace sondrix
