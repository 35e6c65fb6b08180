// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/clock.h"

#include <poll.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace sondrix::platform {
namespace {

// The machine's clocks: a steady clock for the timer, the local time zone for
// the calendar.
class SystemClock final : public Clock {
 public:
  double Timer() override {
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  // The monotonic clock the steady clock reads, as the kernel last ticked
  // it: read without asking the hardware.
  double CoarseTimer() override {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) != 0) return Timer();
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  }

  void Delay(double seconds) override {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  }

  void WaitForInput(std::span<const int> inputs, double seconds) override {
    if (inputs.empty()) {
      Delay(seconds);
      return;
    }
    if (!(seconds > 0)) return;
    std::vector<pollfd> watched;
    for (const int fd : inputs) watched.push_back(pollfd{.fd = fd, .events = POLLIN, .revents = 0});
    // An error or a hang-up on a line ends the wait as bytes would: the
    // reader sees it.
    ::poll(watched.data(), watched.size(), static_cast<int>(std::ceil(seconds * 1000.0)));
  }

  std::tm LocalTime() override {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
  }
};

SystemClock gSystemClock;
Clock* gClock = &gSystemClock;

std::string Format(const char* format) {
  std::tm now = clock().LocalTime();
  char buffer[32];
  std::size_t n = std::strftime(buffer, sizeof buffer, format, &now);
  return std::string(buffer, n);
}

}  // namespace

// The system's real-time clock (not the steady timer: this one is the
// calendar, and may be set).
std::int64_t Clock::UtcMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int Clock::UtcOffsetSeconds() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 0;
  return static_cast<int>(local.tm_gmtoff);
}

Clock& clock() { return *gClock; }

ScopedClock::ScopedClock(Clock& clock) : ScopedInstall(gClock, clock) {}

double SecondsSince(double start) {
  constexpr double kSecondsPerDay = 86400.0;
  double now = Timer();
  if (now < start) now += kSecondsPerDay;
  return now - start;
}

double Timer() { return clock().Timer(); }

double CoarseTimer() { return clock().CoarseTimer(); }

void Delay(double seconds) { clock().Delay(seconds); }

void WaitForInput(std::span<const int> inputs, double seconds) { clock().WaitForInput(inputs, seconds); }

std::int64_t UtcMs() { return clock().UtcMs(); }

int UtcOffsetSeconds() { return clock().UtcOffsetSeconds(); }

std::string DateStr() { return Format("%m-%d-%Y"); }

std::string TimeStr() { return Format("%H:%M:%S"); }

}  // namespace sondrix::platform
