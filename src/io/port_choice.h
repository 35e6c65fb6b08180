// SPDX-License-Identifier: GPL-3.0-or-later
// What the port-choice dialog shows of the system's serial ports, and the
// mapping it writes: beside each COM button the device that COM reads (its
// [Ports] mapping or its place in the system's list, with the adapter's
// description) and, for a port that does not open, why; below, the system's
// serial ports with their /dev/serial/by-id names, any of which can be mapped
// to a COM. A mapping holds the by-id name when the port has one, so that it
// finds the same adapter in whatever USB socket it is plugged.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"
#include "platform/serial.h"

namespace sondrix {

// The line beside COMk's button, e.g.
//   "/dev/ttyUSB0  FTDI FT232R USB UART  (mapped by-id: follows the adapter)"
//   "/dev/ttyS0  serial8250  (listed)"
//   "by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0  (mapped; not there)"
//   "/dev/ttyUSB1  Prolific PL2303  (listed) - cannot open: no permission (group dialout)"
//   "no device"
// `available`: the button can be chosen; otherwise `problem` (the serial
// library's) says why when it can.
std::string ComPortLine(const platform::ComPortView& view, bool available, const platform::PortProblem& problem);

// The port dialog's rows, list and mapping controls on panel `panel` (kPort).
class PortChoicePanel {
 public:
  explicit PortChoicePanel(int panel) : panel_(panel) {}

  // Lists the system's ports and fills the rows and the list; dims the COM
  // buttons the port map marks unavailable.
  void Show();
  // Tries the unavailable COMs anew (a port plugged in since), then Show.
  void Rescan();
  // Maps the COM of the ring to the listed port chosen (its by-id name when
  // it has one) in Sondrix.ini, tries that COM anew, then Show. 1, or -1021
  // when no listed port is chosen; a settings file that cannot be written is
  // reported (-1015).
  Status MapChosen();

 private:
  int panel_;
  std::vector<platform::SerialPortInfo> listed_;
};

}  // namespace sondrix
