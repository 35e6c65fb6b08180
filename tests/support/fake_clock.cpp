// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fake_clock.h"

#include <cmath>

namespace sondrix::test {
namespace {

// Normalises a broken-down time without consulting the time zone: days are
// counted in the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, long long m, long long d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::tm Normalise(long long year, long long month, long long day, long long seconds) {
  // Fold seconds into days.
  long long extraDays = seconds / 86400;
  seconds %= 86400;
  if (seconds < 0) {
    seconds += 86400;
    --extraDays;
  }
  // Fold months into years.
  long long m0 = month - 1;
  year += m0 / 12;
  m0 %= 12;
  if (m0 < 0) {
    m0 += 12;
    --year;
  }
  // Days from civil (H. Hinnant's algorithm), then back.
  const auto daysFromCivil = DaysFromCivil;
  long long z = daysFromCivil(year, m0 + 1, 1) + (day - 1) + extraDays;
  const long long weekday = ((z % 7) + 7 + 4) % 7;  // 1970-01-01 was a Thursday
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;

  std::tm tm{};
  tm.tm_year = static_cast<int>(y - 1900);
  tm.tm_mon = static_cast<int>(m - 1);
  tm.tm_mday = static_cast<int>(d);
  tm.tm_hour = static_cast<int>(seconds / 3600);
  tm.tm_min = static_cast<int>(seconds / 60 % 60);
  tm.tm_sec = static_cast<int>(seconds % 60);
  tm.tm_wday = static_cast<int>(weekday);
  tm.tm_yday = static_cast<int>(z - 719468 - daysFromCivil(y, 1, 1));
  tm.tm_isdst = 0;
  return tm;
}

}  // namespace

FakeClock::FakeClock() { SetLocalTime(2024, 3, 5, 14, 7, 9); }

double FakeClock::Timer() {
  ++timerCalls_;
  double now = timer_;
  timer_ += autoAdvance_;
  return now;
}

void FakeClock::Delay(double seconds) {
  ++delayCalls_;
  if (seconds <= 0) return;
  totalDelay_ += seconds;
  Advance(seconds);
}

std::tm FakeClock::LocalTime() { return local_; }

std::int64_t FakeClock::UtcMs() {
  const long long days = DaysFromCivil(local_.tm_year + 1900LL, local_.tm_mon + 1LL, local_.tm_mday);
  const long long seconds = days * 86400 + local_.tm_hour * 3600LL + local_.tm_min * 60LL + local_.tm_sec - utcOffset_;
  return seconds * 1000 + static_cast<long long>(std::floor(subSecond_ * 1000.0 + 0.5));
}

void FakeClock::Advance(double seconds) {
  timer_ += seconds;
  subSecond_ += seconds;
  double whole = std::floor(subSecond_);
  subSecond_ -= whole;
  if (whole != 0) {
    local_ = Normalise(local_.tm_year + 1900LL, local_.tm_mon + 1LL, local_.tm_mday,
                       local_.tm_hour * 3600LL + local_.tm_min * 60LL + local_.tm_sec +
                           static_cast<long long>(whole));
  }
}

void FakeClock::SetLocalTime(int year, int month, int day, int hour, int minute, int second) {
  subSecond_ = 0;
  local_ = Normalise(year, month, day, hour * 3600LL + minute * 60LL + second);
}

}  // namespace sondrix::test
