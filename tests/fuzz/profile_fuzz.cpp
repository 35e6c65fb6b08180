// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes as an ini file, read for a few keys and
// updated in place (the update must keep the file readable).
#include <cstddef>
#include <cstdint>
#include <string>
#include <unistd.h>

#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  char path[] = "/tmp/sondrix-ini-fuzz-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) return 0;
  const bool written = ::write(fd, data, size) == static_cast<ssize_t>(size);
  ::close(fd);
  if (written) {
    using namespace sondrix::platform;
    GetPrivateProfileString("General", "Device", "", path, 261);
    GetPrivateProfileInt("Display", "Top", 7, path);
    WritePrivateProfileString("General", "DataDirectory", "/data/run", path);
    WritePrivateProfileString("Ports", "COM1", std::nullopt, path);
    if (GetPrivateProfileString("General", "DataDirectory", "", path) != "/data/run") __builtin_trap();
  }
  ::unlink(path);
  return 0;
}
