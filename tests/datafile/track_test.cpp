// SPDX-License-Identifier: GPL-3.0-or-later
// The position track of a recording: the file reads back what was written
// (a line cut by a power cut passed over, a source of any length), and the position at a time is
// the straight line between the fixes around it, or none where the fixes
// are too far apart or missing, checked against positions worked out by
// hand.
#include "datafile/track.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/fixtures.h"

namespace sondrix {
namespace {

TEST(TrackTest, WhatIsWrittenReadsBackInTimeOrderAndACutLineIsPassedOver) {
  test::TempDir dir;
  const std::string path = TrackPathFor(dir.File("cast 3.dat"));
  EXPECT_EQ(path, dir.File("cast 3.track.csv"));
  const std::vector<TrackFix> written = {
      {1765308001000, 43.1234567, -70.7654321, 1, 8, 0.9, "udp:10110"},
      {1765308000000, -12.5, 179.9999999, 2, 11, 1.2, "COM3 (/dev/ttyUSB1), by-id"},
      {1765308002000, 0.0, -0.0000001, -1, -1, -1.0, "gpsd localhost:2947"}};
  TrackWriter writer;
  ASSERT_EQ(writer.Open(path), status::kOk);
  for (const TrackFix& fix : written) ASSERT_EQ(writer.Append(fix), status::kOk);
  ASSERT_EQ(writer.Close(), status::kOk);
  EXPECT_EQ(writer.fixes(), 3);
  {
    std::ofstream cut(path, std::ios::app);
    cut << "2026-12-09T20:49:33.000Z,17653080030";
  }
  std::vector<TrackFix> back;
  long skipped = 0;
  std::string error;
  ASSERT_EQ(ReadTrack(path, back, skipped, error), status::kOk) << error;
  EXPECT_EQ(skipped, 1);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0], written[1]);
  EXPECT_EQ(back[1], written[0]);
  EXPECT_EQ(back[2].source, written[2].source);
  EXPECT_EQ(TrackLine(written[0]), "2025-12-09T19:20:01.000Z,1765308001000,43.1234567,-70.7654321,1,8,0.9,udp:10110\n");

  // A fix written again, amended by a later sentence of its time (after a
  // fix of another time even): the last line of a time is the fix.
  TrackFix amended = written[0];
  amended.quality = 2;
  amended.satellites = 12;
  amended.hdop = 0.7;
  ASSERT_EQ(writer.Open(path), status::kOk);
  TrackFix first = written[0];
  first.quality = -1;
  ASSERT_EQ(writer.Append(first), status::kOk);
  ASSERT_EQ(writer.Append(written[2]), status::kOk);
  ASSERT_EQ(writer.Append(amended), status::kOk);
  ASSERT_EQ(writer.Close(), status::kOk);
  ASSERT_EQ(ReadTrack(path, back, skipped, error), status::kOk) << error;
  EXPECT_EQ(back, (std::vector<TrackFix>{amended, written[2]}));

  // A source of any length stays whole on its line (a device path of 2000
  // characters), and the fix after it a fix of its own.
  TrackFix longSource = written[1];
  longSource.source = "/dev/serial/by-id/" + std::string(2000, 'x');
  ASSERT_EQ(writer.Open(path), status::kOk);
  ASSERT_EQ(writer.Append(longSource), status::kOk);
  ASSERT_EQ(writer.Append(written[0]), status::kOk);
  ASSERT_EQ(writer.Close(), status::kOk);
  ASSERT_EQ(ReadTrack(path, back, skipped, error), status::kOk) << error;
  EXPECT_EQ(skipped, 0);
  EXPECT_EQ(back, (std::vector<TrackFix>{longSource, written[0]}));

  std::ofstream(dir.File("other.csv")) << "time,a,c\n1,2,3\n";
  EXPECT_EQ(ReadTrack(dir.File("other.csv"), back, skipped, error), status::kUnrecognisedData);
  EXPECT_EQ(ReadTrack(dir.File("none.track.csv"), back, skipped, error), status::kCantOpenFile);
}

TEST(TrackTest, ThePositionAtATimeIsInterpolatedOnlyBetweenFixesCloseEnough) {
  const std::int64_t t0 = 1765308000000;
  const auto at = [t0](std::int64_t ms, double latitude, double longitude) {
    TrackFix fix;
    fix.utcMs = t0 + ms;
    fix.latitude = latitude;
    fix.longitude = longitude;
    return fix;
  };
  const std::vector<TrackFix> track = {
      at(0, 10.0, 20.0), at(1000, 10.001, 20.002), at(2000, 10.002, 20.004),
      // 12 s without a fix, then 10 s exactly
      at(14000, 10.014, 20.028), at(24000, 10.024, 20.048),
      // across the 180th meridian
      at(35000, 0.0, 179.9), at(36000, 0.0, -179.9)};
  struct Case {
    std::int64_t at;
    bool known;
    double latitude, longitude;
  } cases[] = {
      {t0 - 1, false, 0, 0},
      {t0, true, 10.0, 20.0},
      {t0 + 250, true, 10.00025, 20.0005},
      {t0 + 1000, true, 10.001, 20.002},
      {t0 + 2001, false, 0, 0},  // between fixes 12 s apart
      {t0 + 8000, false, 0, 0},
      {t0 + 13999, false, 0, 0},
      {t0 + 14000, true, 10.014, 20.028},
      {t0 + 19000, true, 10.019, 20.038},  // fixes exactly 10 s apart
      {t0 + 24000, true, 10.024, 20.048},
      {t0 + 24001, false, 0, 0},  // never beyond the last fix before a gap
      {t0 + 35500, true, 0.0, -180.0},
      {t0 + 35750, true, 0.0, -179.95},
      {t0 + 35250, true, 0.0, 179.95},
      {t0 + 36000, true, 0.0, -179.9},
      {t0 + 36001, false, 0, 0},  // nor after the last one
  };
  for (const Case& c : cases) {
    const auto p = PositionAt(track, c.at);
    ASSERT_EQ(p.has_value(), c.known) << c.at - t0;
    if (!p) continue;
    EXPECT_NEAR(p->latitude, c.latitude, 1e-9) << c.at - t0;
    EXPECT_NEAR(p->longitude, c.longitude, 1e-9) << c.at - t0;
  }
  EXPECT_FALSE(PositionAt({}, t0).has_value());
}

}  // namespace
}  // namespace sondrix
