// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <vector>

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

// A serial port of the system.
struct SerialPortInfo {
  std::string device;       // "/dev/ttyUSB0"
  std::string description;  // maker and product, or the driver's name
  // The adapter's stable name, "/dev/serial/by-id/usb-FTDI_..._A1B2-if00-port0",
  // which follows it to whatever node it gets when plugged in again; empty
  // when the system gives it none (a built-in port, a pseudo-terminal).
  std::string byId;

  bool operator==(const SerialPortInfo&) const = default;
};

// Why a port would not open, in the user's words: `brief` for a line beside
// the port's name ("no permission (group dialout)"), `text` the whole
// explanation with what to do. Both empty when the backend cannot tell.
struct PortProblem {
  std::string brief;
  std::string text;

  bool empty() const { return text.empty(); }
};

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
  // One byte (0 ... 255) or a negative code (-99 on time-out): a ComRd of
  // one byte.
  int ComRdByte(int port);
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

  // --- The system's ports (empty and false on a backend without them) -------
  // Whether this program has `port` open.
  virtual bool IsOpen(int port) const;
  // The serial ports of the system, in the order that numbers COMk.
  virtual std::vector<SerialPortInfo> ListPorts();
  // Why the last OpenComConfig of `port` failed (-2 for a port without a
  // device, -7); empty when it did not fail or the backend cannot tell.
  virtual PortProblem OpenProblem(int port);
};

// The [Ports] section of Sondrix.ini in the project directory, which maps
// "COMk" to a device path: the mapping of `port` (empty when none) ...
std::string ComPortMapping(int port);
// ... the device of COMk given the system's ports: its mapping, else entry
// k - 1 of `listed`; empty when there is neither ...
std::string ResolveComPort(int port, const std::vector<SerialPortInfo>& listed);
// ... and a new mapping (empty: none, COMk numbered by the list again).
// False when the settings file cannot be written.
bool MapComPort(int port, std::string_view device);

// The name a mapping should hold for a listed port: its by-id link when it
// has one (the adapter keeps it wherever it is plugged in), else its node.
const std::string& StableName(const SerialPortInfo& port);

// The listed port a device path stands for (its node, its by-id link, or a
// link that leads to its node); null when none.
const SerialPortInfo* FindListedPort(std::string_view path, const std::vector<SerialPortInfo>& listed);

// What COMk reads, as a port dialog or a listing shows it.
struct ComPortView {
  int number = 0;
  std::string path;       // the device it opens: its mapping or the listed node; empty: none
  bool mapped = false;    // [Ports] names it (else it is the k-th listed port)
  bool present = false;   // the path leads to a device node now
  SerialPortInfo port;    // the listed port it is (description, by-id); empty when none
};
ComPortView ViewComPort(int port, const std::vector<SerialPortInfo>& listed);

// One line for a listed port: "/dev/ttyUSB0  FTDI FT232R USB UART", then
// "  by-id usb-FTDI_..." when it has a by-id link.
std::string DescribeSerialPort(const SerialPortInfo& port);

Serial& serial();
// Whether a backend is installed (a tool without serial ports has none).
bool HasSerial();

class ScopedSerial : ScopedInstall<Serial> {
 public:
  explicit ScopedSerial(Serial& backend);
};

}  // namespace sondrix::platform
