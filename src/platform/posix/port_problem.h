// SPDX-License-Identifier: GPL-3.0-or-later
// Why a serial device would not open, told so that the user can act: the
// failure (the device tried and the errno of the step that failed) is kept
// by TermiosSerial; the explanation is built from it and a few facts of the
// system (the group owning the node, the program holding it, the serial
// ports there are), which GatherPortFacts reads and a test may give instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/serial.h"

namespace sondrix::platform {

struct PortOpenFailure {
  std::string path;  // the device tried; empty when COMk has no device
  // errno of the step that failed (open, the lock, the terminal check);
  // ENXIO when COMk has no device; 0: no failure.
  int error = 0;

  bool operator==(const PortOpenFailure&) const = default;
};

// What an explanation names.
struct PortFacts {
  std::string device;        // the node behind the path (links followed), else the path
  std::string group;         // the group that owns the node ("dialout"); empty when unknown
  std::string holder;        // who holds it open: "minicom, process 4242"; empty when unknown
  bool heldHere = false;     // ... this very process
  std::vector<SerialPortInfo> ports;  // the system's serial ports
  std::string settingsFile;  // where [Ports] lives
};

// Reads the facts of a failure: the node, its group (stat, getgrgid), the
// process holding it when it is busy (/proc/<pid>/fd), the system's ports
// when the device is missing or none, and the settings file.
PortFacts GatherPortFacts(const PortOpenFailure& failure);

// The explanation of COM`port`'s failure; empty when there is none (error 0).
//   permission  "<node> is owned by group dialout; add yourself with `sudo usermod
//                -aG dialout $USER` and log in again, or install the package's udev rule"
//   busy        the node is in use by another program (named when known)
//   missing     the device is not there; the serial ports that are
//   no device   COMk is not mapped and the system lists fewer ports; the ports
//   not a tty   the path is not a terminal
PortProblem DescribePortProblem(int port, const PortOpenFailure& failure, const PortFacts& facts);

// The process that has `device` open (by /proc/<pid>/fd under `procRoot`),
// "name, process pid", with `itself` set when it is this process; empty
// when none is found (another user's processes cannot be looked into).
std::string DeviceHolder(std::string_view device, bool& itself, std::string_view procRoot = "/proc");

}  // namespace sondrix::platform
