// SPDX-License-Identifier: GPL-3.0-or-later
// What the read-out says of a run's position as its receiver lives, falls
// silent, goes away and fails: the text an operator reads at a glance.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "session/acquisition.h"
#include "support/fake_clock.h"

namespace sondrix {
namespace {

TEST(PositionTextTest, TheReadOutTellsTheFixItsAgeAndWhenItCannotBeTrusted) {
  test::FakeClock clock;
  platform::ScopedClock scopedClock(clock);
  PositionState position;
  EXPECT_EQ(PositionText(position), "");
  position.source = "udp:10110";
  EXPECT_EQ(PositionText(position), "No position fix yet  (udp:10110)");
  EXPECT_TRUE(position.Stale());
  NmeaFix fix;
  fix.latitude = -33.849731;
  fix.longitude = 151.270564;
  position.last = fix;
  position.lastAt = platform::Timer();
  clock.Advance(2.4);
  EXPECT_EQ(PositionText(position), "Position 33.84973\u00b0 S 151.27056\u00b0 E  (fix 2 s ago)");
  EXPECT_FALSE(position.Stale());
  clock.Advance(8.0);
  EXPECT_TRUE(position.Stale());
  EXPECT_EQ(PositionText(position), "Position stale: last fix 10 s ago  (33.84973\u00b0 S 151.27056\u00b0 E)");
  position.away = true;
  EXPECT_EQ(PositionText(position),
            "Position lost: last fix 10 s ago (receiver went away)  (33.84973\u00b0 S 151.27056\u00b0 E)");
  position.away = false;
  position.failed = true;
  // The window's read-out has two lines.
  EXPECT_EQ(PositionText(position, "\n"),
            "Position lost: last fix 10 s ago (receiver failed)\n(33.84973\u00b0 S 151.27056\u00b0 E)");
  position.last.reset();
  EXPECT_EQ(PositionText(position), "Position lost: the receiver failed  (udp:10110)");
}

}  // namespace
}  // namespace sondrix
