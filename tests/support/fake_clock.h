// SPDX-License-Identifier: GPL-3.0-or-later
// A clock for tests: the timer and the local time only move when the test
// says so (or when the code under test calls Delay, which advances both).
#pragma once

#include <ctime>

#include "platform/clock.h"

namespace sondrix::test {

class FakeClock : public platform::Clock {
 public:
  // 2024-03-05 14:07:09, timer at 1000 s.
  FakeClock();

  double Timer() override;
  void Delay(double seconds) override;
  std::tm LocalTime() override;
  // The local time less the zone's offset (0 unless set), with the part of
  // a second that Advance added.
  std::int64_t UtcMs() override;
  int UtcOffsetSeconds() override { return utcOffset_; }

  void SetTimer(double seconds) { timer_ = seconds; }
  // Moves the timer and the local time on together.
  void Advance(double seconds);
  // Sets the local time; fields are normalised (mktime rules).
  void SetLocalTime(int year, int month, int day, int hour, int minute, int second);
  // The zone's offset east of UTC; the local time stays, the UTC time moves.
  void SetUtcOffset(int seconds) { utcOffset_ = seconds; }
  // Each Timer() call moves the timer on by this much after answering (0 by
  // default), so loops that wait for a time-out without calling Delay end.
  void SetAutoAdvance(double seconds) { autoAdvance_ = seconds; }

  double totalDelay() const { return totalDelay_; }
  int delayCalls() const { return delayCalls_; }
  int timerCalls() const { return timerCalls_; }

 private:
  double timer_ = 1000.0;
  double autoAdvance_ = 0.0;
  double totalDelay_ = 0.0;
  double subSecond_ = 0.0;
  int delayCalls_ = 0;
  int timerCalls_ = 0;
  int utcOffset_ = 0;
  std::tm local_{};
};

}  // namespace sondrix::test
