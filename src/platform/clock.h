// Time services: a seconds timer, delays, and the date and time texts.
// One process-wide clock is installed (ScopedClock); the system clock is the
// default, tests install a fake one.
#pragma once

#include <ctime>
#include <span>
#include <string>

#include "platform/installed.h"

namespace sondrix::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds on a monotonic timer; only differences mean something.
  virtual double Timer() = 0;
  // Waits the given number of seconds.
  virtual void Delay(double seconds) = 0;
  // Waits at most `seconds` for bytes to read on any of `inputs` (file
  // descriptors; none: the whole time), or less when a signal comes. A
  // clock that only counts time waits the whole time.
  virtual void WaitForInput(std::span<const int> /*inputs*/, double seconds) { Delay(seconds); }
  // The local calendar time now.
  virtual std::tm LocalTime() = 0;
};

Clock& clock();

class ScopedClock : ScopedInstall<Clock> {
 public:
  explicit ScopedClock(Clock& clock);
};

// Shorthands on the installed clock.
double Timer();
// Seconds since the Timer reading `start`. A reading below `start` is taken
// as having passed midnight (the timer of the design restarts then), so
// 86400 s are added.
double SecondsSince(double start);
void Delay(double seconds);
void WaitForInput(std::span<const int> inputs, double seconds);
// Today's date as "MM-DD-YYYY" and the time as "HH:MM:SS".
std::string DateStr();
std::string TimeStr();

}  // namespace sondrix::platform
