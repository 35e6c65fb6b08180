// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <regex>

#include "support/fake_clock.h"

namespace sondrix::platform {
namespace {

TEST(ClockTest, DateAndTimeTextsComeFromTheInstalledClock) {
  test::FakeClock fake;
  ScopedClock scoped(fake);
  fake.SetLocalTime(2023, 1, 9, 7, 5, 3);
  EXPECT_EQ(DateStr(), "01-09-2023");
  EXPECT_EQ(TimeStr(), "07:05:03");
}

TEST(ClockTest, FakeClockDelayMovesTimerAndCalendarAcrossMidnight) {
  test::FakeClock fake;
  ScopedClock scoped(fake);
  fake.SetLocalTime(2024, 2, 28, 23, 59, 59);
  double start = Timer();
  Delay(1.5);
  EXPECT_DOUBLE_EQ(Timer() - start, 1.5);
  EXPECT_EQ(DateStr(), "02-29-2024");
  EXPECT_EQ(TimeStr(), "00:00:00");
  Delay(0.5);
  EXPECT_EQ(TimeStr(), "00:00:01");
  fake.Advance(366.0 * 86400);
  EXPECT_EQ(DateStr(), "03-01-2025");
  EXPECT_EQ(fake.delayCalls(), 2);
}

TEST(ClockTest, ScopedClockRestoresThePreviousClock) {
  test::FakeClock outer;
  test::FakeClock inner;
  ScopedClock a(outer);
  outer.SetTimer(5);
  {
    ScopedClock b(inner);
    inner.SetTimer(9);
    EXPECT_EQ(Timer(), 9);
  }
  EXPECT_EQ(Timer(), 5);
}

TEST(ClockTest, SystemClockTimerRunsForwardAndTextsHaveTheirFormats) {
  double a = Timer();
  Delay(0.01);
  double b = Timer();
  EXPECT_GE(b - a, 0.009);
  EXPECT_TRUE(std::regex_match(DateStr(), std::regex(R"(\d\d-\d\d-\d{4})"))) << DateStr();
  EXPECT_TRUE(std::regex_match(TimeStr(), std::regex(R"(\d\d:\d\d:\d\d)"))) << TimeStr();
}

}  // namespace
}  // namespace sondrix::platform
