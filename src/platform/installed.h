// SPDX-License-Identifier: GPL-3.0-or-later
// A process-wide service (the user interface, the serial ports, the clock)
// that main, a tool or a test fixture installs for a while: the guard puts
// the one installed before back when it goes. Each service keeps its slot
// to itself and derives its own guard from this one.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace sondrix::platform {

// The service in `slot`. A program that uses a service it never installed
// is wrong from the start: it stops at once, saying which is missing.
template <class Service>
Service& Installed(Service* slot, const char* missing) {
  if (slot == nullptr) {
    std::fprintf(stderr, "sondrix: %s\n", missing);
    std::abort();
  }
  return *slot;
}

template <class Service>
class ScopedInstall {
 public:
  ScopedInstall(Service*& slot, Service& service) : slot_(slot), previous_(slot) { slot_ = &service; }
  ~ScopedInstall() { slot_ = previous_; }
  ScopedInstall(const ScopedInstall&) = delete;
  ScopedInstall& operator=(const ScopedInstall&) = delete;

 private:
  Service*& slot_;
  Service* previous_;
};

}  // namespace sondrix::platform
