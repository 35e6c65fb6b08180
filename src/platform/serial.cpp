#include "platform/serial.h"

#include <cstdio>
#include <cstdlib>

namespace sondrix::platform {
namespace {

Serial* gSerial = nullptr;

}  // namespace

int Serial::InputHandle(int) { return -1; }

Serial& serial() {
  if (gSerial == nullptr) {
    std::fputs("sondrix: no serial-port backend installed (ScopedSerial missing)\n", stderr);
    std::abort();
  }
  return *gSerial;
}

ScopedSerial::ScopedSerial(Serial& backend) : previous_(gSerial) { gSerial = &backend; }

ScopedSerial::~ScopedSerial() { gSerial = previous_; }

}  // namespace sondrix::platform
