// The RS-232 library: ports numbered 1 ... 8 ("COM1" ... "COM8"), opened with
// line settings and queue sizes, read and written with the library's default
// time-out (10 s). Results are byte counts or 0 on success and the negative
// library codes of common/status.h on failure.
//
// One process-wide instance is installed (ScopedSerial). Backends: termios
// (posix/termios_serial.h) and an in-memory fake for unit tests.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/installed.h"

namespace sondrix::platform {

// The library's own error codes that the backends return (common/status.h
// lists every code with its message).
namespace com_error {
inline constexpr int kInvalidPortNumber = -2;
inline constexpr int kPortNotOpen = -3;
inline constexpr int kCannotOpenPort = -7;
inline constexpr int kInvalidParameter = -13;
inline constexpr int kInvalidBaudRate = -14;
inline constexpr int kInvalidParity = -24;
inline constexpr int kInvalidDataBits = -34;
inline constexpr int kInvalidStopBits = -44;
inline constexpr int kIoTimeout = -99;
inline constexpr int kGeneralIoError = -151;
}  // namespace com_error

class Serial {
 public:
  virtual ~Serial() = default;

  virtual int OpenComConfig(int port, std::string_view deviceName, long baud, int parity,
                            int dataBits, int stopBits, int inputQueueSize,
                            int outputQueueSize) = 0;
  virtual int CloseCom(int port) = 0;
  // Reads up to `count` bytes, waiting at most the time-out for them; returns
  // the number read (fewer on time-out) or a negative code.
  virtual int ComRd(int port, char* buffer, std::size_t count) = 0;
  // One byte (0 ... 255) or a negative code (-99 on time-out).
  virtual int ComRdByte(int port) = 0;
  // Reads until `terminator` (consumed, not stored), `count` bytes or the
  // time-out; returns the number of bytes stored.
  virtual int ComRdTerm(int port, char* buffer, std::size_t count, int terminator) = 0;
  virtual int ComWrt(int port, const char* buffer, std::size_t count) = 0;
  // Bytes waiting in the input queue.
  virtual int GetInQLen(int port) = 0;
  virtual int FlushInQ(int port) = 0;
  virtual int FlushOutQ(int port) = 0;
  // The time-out of blocking calls, seconds (10 unless changed).
  virtual int SetComTime(int port, double seconds) = 0;
  // The file descriptor an open port's bytes arrive on, for a caller that
  // waits for them (poll, a window system's input watch); -1 when there is
  // none (a closed port, a backend without descriptors). Reads stay with
  // the calls above.
  virtual int InputHandle(int port);
  // The device an open port reads ("/dev/ttyUSB0", or the name it was
  // mapped to, such as a /dev/serial/by-id link), for messages and for
  // opening the same device again; empty when the backend cannot tell.
  virtual std::string DevicePath(int port) const;
};

Serial& serial();

class ScopedSerial : ScopedInstall<Serial> {
 public:
  explicit ScopedSerial(Serial& backend);
};

}  // namespace sondrix::platform
