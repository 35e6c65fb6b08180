// SPDX-License-Identifier: GPL-3.0-or-later
// The baud rate of a terminal through the kernel's termios2 interface,
// which tells any rate exactly (glibc's <termios.h> must not be included
// alongside it).
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "sim/output.h"

namespace sondrix::sim {

long TerminalBaud(int fd) {
  if (fd < 0) return 0;
  termios2 settings{};
  if (::ioctl(fd, TCGETS2, &settings) != 0) return 0;
  return static_cast<long>(settings.c_ospeed);
}

}  // namespace sondrix::sim
