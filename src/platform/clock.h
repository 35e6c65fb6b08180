// SPDX-License-Identifier: GPL-3.0-or-later
// Time services: a seconds timer, delays, and the date and time texts.
// One process-wide clock is installed (ScopedClock); the system clock is the
// default, tests install a fake one.
#pragma once

#include <cstdint>
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
  // The same timer to a few milliseconds, cheaper to read: for a bound of
  // a second or more checked very often (once a line written). The timer
  // itself unless the clock has a cheaper reading.
  virtual double CoarseTimer() { return Timer(); }
  // Waits the given number of seconds.
  virtual void Delay(double seconds) = 0;
  // Waits at most `seconds` for bytes to read on any of `inputs` (file
  // descriptors; none: the whole time), or less when a signal comes. A
  // clock that only counts time waits the whole time.
  virtual void WaitForInput(std::span<const int> /*inputs*/, double seconds) { Delay(seconds); }
  // The local calendar time now.
  virtual std::tm LocalTime() = 0;
  // The calendar time now in UTC, in milliseconds since
  // 1970-01-01T00:00:00Z, and the local zone's offset from UTC now (seconds
  // east). A clock that only counts time answers the system's.
  virtual std::int64_t UtcMs();
  virtual int UtcOffsetSeconds();
};

Clock& clock();

class ScopedClock : ScopedInstall<Clock> {
 public:
  explicit ScopedClock(Clock& clock);
};

// Shorthands on the installed clock.
double Timer();
double CoarseTimer();
// Seconds since the Timer reading `start`. A reading below `start` is taken
// as having passed midnight (the timer of the design restarts then), so
// 86400 s are added.
double SecondsSince(double start);
void Delay(double seconds);
void WaitForInput(std::span<const int> inputs, double seconds);
std::int64_t UtcMs();
int UtcOffsetSeconds();
// Today's date as "MM-DD-YYYY" and the time as "HH:MM:SS".
std::string DateStr();
std::string TimeStr();

}  // namespace sondrix::platform
