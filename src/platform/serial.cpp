#include "platform/serial.h"

#include <cstdio>
#include <cstdlib>

namespace sondrix::platform {
namespace {

Serial* gSerial = nullptr;

}  // namespace

int Serial::InputHandle(int) { return -1; }

std::string Serial::DevicePath(int) const { return {}; }

Serial& serial() {
  if (gSerial == nullptr) {
    std::fputs("sondrix: no serial-port backend installed (ScopedSerial missing)\n", stderr);
    std::abort();
  }
  return *gSerial;
}

ScopedSerial::ScopedSerial(Serial& backend) : ScopedInstall(gSerial, backend) {}

}  // namespace sondrix::platform
