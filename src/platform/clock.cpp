#include "platform/clock.h"

#include <chrono>
#include <thread>

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

  void Delay(double seconds) override {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
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

Clock& clock() { return *gClock; }

ScopedClock::ScopedClock(Clock& clock) : ScopedInstall(gClock, clock) {}

double SecondsSince(double start) {
  constexpr double kSecondsPerDay = 86400.0;
  double now = Timer();
  if (now < start) now += kSecondsPerDay;
  return now - start;
}

double Timer() { return clock().Timer(); }

void Delay(double seconds) { clock().Delay(seconds); }

std::string DateStr() { return Format("%m-%d-%Y"); }

std::string TimeStr() { return Format("%H:%M:%S"); }

}  // namespace sondrix::platform
