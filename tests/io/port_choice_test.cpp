// SPDX-License-Identifier: GPL-3.0-or-later
// What COM1 ... COM8 read, as the port dialog and `sondrix-cli ports` show
// it: the [Ports] mapping (by node, by by-id name, through another link, to
// nothing there), a port numbered by the system's list, none; and the line
// beside a COM button, with why a port does not open.
#include "io/port_choice.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "io_test_env.h"
#include "platform/serial.h"

namespace sondrix {
namespace {

using platform::ComPortView;
using platform::PortProblem;
using platform::SerialPortInfo;

TEST(ComPortView, AMappingFindsItsListedPortByNodeByIdOrLink) {
  test::TempProjectDir dir;
  // A device node that exists, and a link to it standing for a by-id name.
  dir.WriteFile("ttyFAKE0", "");
  std::filesystem::create_symlink(dir.File("ttyFAKE0"), dir.File("adapter-link"));
  const std::vector<SerialPortInfo> listed = {
      {"/dev/ttyS0", "serial8250", ""},
      {"/dev/ttyUSB0", "FTDI FT232R USB UART", "/dev/serial/by-id/usb-FTDI_A1-if00-port0"},
      {dir.File("ttyFAKE0"), "Fake adapter", ""},
  };
  dir.WriteFile("Sondrix.ini", "[Ports]\nCOM1=/dev/serial/by-id/usb-FTDI_A1-if00-port0\nCOM2=/dev/ttyUSB0\n"
                               "COM4=" + dir.File("adapter-link") + "\nCOM5=/dev/serial/by-id/usb-Gone-if00-port0\n"
                               "COM6=" + dir.File("plain-file") + "\n");
  dir.WriteFile("plain-file", "");

  struct Expected {
    std::string line, unavailable;
  };
  const std::vector<Expected> expected = {
      {"/dev/ttyUSB0  FTDI FT232R USB UART  (mapped by-id: follows the adapter)",
       "/dev/ttyUSB0  FTDI FT232R USB UART  (mapped by-id: follows the adapter) - cannot open: in use by minicom"},
      {"/dev/ttyUSB0  FTDI FT232R USB UART  (mapped)",
       "/dev/ttyUSB0  FTDI FT232R USB UART  (mapped) - cannot open: in use by minicom"},
      {dir.File("ttyFAKE0") + "  Fake adapter  (listed)",
       dir.File("ttyFAKE0") + "  Fake adapter  (listed) - cannot open: in use by minicom"},
      // Through a link: the listed port it leads to.
      {dir.File("ttyFAKE0") + "  Fake adapter  (mapped)",
       dir.File("ttyFAKE0") + "  Fake adapter  (mapped) - cannot open: in use by minicom"},
      // Not there: no reason is added to it.
      {"by-id/usb-Gone-if00-port0  (mapped; not there)",
       "by-id/usb-Gone-if00-port0  (mapped; not there)"},
      {dir.File("plain-file") + "  (mapped)",
       dir.File("plain-file") + "  (mapped) - cannot open: in use by minicom"},
      {"no device", "no device"},
  };
  const PortProblem busy{"in use by minicom", "COMk (...) cannot be opened: ..."};
  for (int k = 1; k <= static_cast<int>(expected.size()); ++k) {
    SCOPED_TRACE("COM" + std::to_string(k));
    const Expected& want = expected[static_cast<std::size_t>(k - 1)];
    const ComPortView view = platform::ViewComPort(k, listed);
    EXPECT_EQ(ComPortLine(view, true, busy), want.line);
    EXPECT_EQ(ComPortLine(view, false, busy), want.unavailable);
  }
  // A library that cannot tell why says only that it does not open.
  EXPECT_EQ(ComPortLine(platform::ViewComPort(2, listed), false, {}),
            "/dev/ttyUSB0  FTDI FT232R USB UART  (mapped) - cannot open");
}

}  // namespace
}  // namespace sondrix
