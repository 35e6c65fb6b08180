// SPDX-License-Identifier: GPL-3.0-or-later
// TermiosSerial: the serial library on POSIX terminals. Ports are set to raw
// mode with no flow control; blocking calls wait with poll() for at most the
// port's time-out (10 s unless SetComTime changes it) and return what arrived.
//
// Port numbers: COMk is the k-th serial port the system lists (sorted by
// device name, see ListSerialPorts), unless the "Ports" section of
// Sondrix.ini in the project directory maps it to a device path
// ("COM1=/dev/ttyUSB0", or a pseudo-terminal such as "/dev/pts/3").
//
// Codes: a port number outside 1 ... 255, or one with no device listed or
// mapped, gives -2; a device that cannot be opened (missing, no permission,
// not a terminal, or held by another program) gives -7, and OpenProblem
// tells which of them it was; a rate the device
// cannot run at gives -14 (nothing is rounded silently), a bad parity -24,
// data bits -34, stop bits -44; a port that is not open -3; a read that
// meets the time-out -99 (ComRdByte and ComWrt; the other reads return what
// came). A device that goes away while open (hang-up, a USB adapter pulled
// out, the far end of a pseudo-terminal closed) gives -151 from every read,
// write and GetInQLen at once, never a silent wait for the time-out.
//
// Opening a port that this program already has open sets it up anew with the
// new line settings (the way a baud rate change is made).
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/port_problem.h"
#include "platform/serial.h"

namespace sondrix::platform {

// Where ListSerialPorts looks; a test gives a tree of its own.
struct SerialPortRoots {
  std::string sysClassTty = "/sys/class/tty";
  std::string dev = "/dev";
  std::string byId = "/dev/serial/by-id";
};

// The system's serial ports (those under /sys/class/tty with a device behind
// them; legacy ttyS ports without a UART are left out), in natural order of
// their device names: COMk is entry k - 1. Each has its description and the
// by-id link that leads to it, when one does.
std::vector<SerialPortInfo> ListSerialPorts(const SerialPortRoots& roots = {});

// The device path of COMk: its mapping in the "Ports" section of Sondrix.ini,
// else the k-th listed port; empty when there is neither.
std::string ComPortDevice(int port);

class TermiosSerial : public Serial {
 public:
  static constexpr int kMaxPort = 255;

  TermiosSerial() = default;
  ~TermiosSerial() override;  // closes every port still open
  TermiosSerial(const TermiosSerial&) = delete;
  TermiosSerial& operator=(const TermiosSerial&) = delete;

  // A non-empty `deviceName` is opened instead of the port's own device.
  int OpenComConfig(int port, std::string_view deviceName, long baud, int parity, int dataBits,
                    int stopBits, int inputQueueSize, int outputQueueSize) override;
  int CloseCom(int port) override;
  int ComRd(int port, char* buffer, std::size_t count) override;
  int ComRdTerm(int port, char* buffer, std::size_t count, int terminator) override;
  int ComWrt(int port, const char* buffer, std::size_t count) override;
  int GetInQLen(int port) override;
  int FlushInQ(int port) override;
  int FlushOutQ(int port) override;
  // Seconds; 0 makes reads return at once with what is there.
  int SetComTime(int port, double seconds) override;
  int InputHandle(int port) override;

  bool IsOpen(int port) const override;
  std::vector<SerialPortInfo> ListPorts() override;
  // Explains LastOpenFailure with the facts of the system (port_problem.h).
  PortProblem OpenProblem(int port) override;

  // The device an open port reads (empty when the port is closed); after
  // the device went away, the one it had until the port is closed.
  std::string DevicePath(int port) const override;
  // What the last OpenComConfig of `port` tried and why it failed (with -2
  // for a port that has no device, or -7); none after a success.
  PortOpenFailure LastOpenFailure(int port) const;

 private:
  struct Port {
    int fd = -1;
    std::string path;
    double timeout = 10.0;
    // Bytes read from the device and not yet delivered.
    std::vector<char> pending;
    std::size_t head = 0;

    std::size_t Pending() const { return pending.size() - head; }
  };

  Port* Find(int port);
  // Why `port` has no open port: its number is out of range, or it is closed.
  static int NotOpen(int port) {
    return port < 1 || port > kMaxPort ? com_error::kInvalidPortNumber : com_error::kPortNotOpen;
  }
  // Reads what the device has, waiting until `deadline` (steady-clock
  // seconds) for something: bytes added, 0 at the deadline, or -151.
  static int Fill(Port& port, double deadline);
  // What ComRd (terminator -1) and ComRdTerm read.
  int ReadInput(int port, char* buffer, std::size_t count, int terminator);
  static void ClosePort(Port& port);

  std::map<int, Port> ports_;
  std::map<int, PortOpenFailure> failures_;
};

}  // namespace sondrix::platform
