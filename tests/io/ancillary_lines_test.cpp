// SPDX-License-Identifier: GPL-3.0-or-later
// The ship's data lines as a source reads them, against lines written by
// hand: the id and the time known by their form, fields by commas and/or
// blanks, spoiled lines counted and never used; the merge's 30 s bound and
// the valve never interpolated; the schedule's switches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text_format.h"
#include "datafile/ancillary_file.h"
#include "io/ancillary.h"

namespace sondrix {
namespace {

TEST(AncillaryLines, FormsAreReadAndSpoiledLinesCountedNeverUsed) {
  FieldMap map;
  std::string error;
  ASSERT_TRUE(ParseFieldMap("temperature=1,salinity=3,valve=5", map, error)) << error;
  EXPECT_FALSE(ParseFieldMap("temperature=0", map, error));
  EXPECT_FALSE(ParseFieldMap("salinity=2,salinity=3", map, error));
  EXPECT_FALSE(ParseFieldMap("temperature = 1", map, error));
  ASSERT_TRUE(ParseFieldMap(" temperature=1, salinity=3,\tvalve=5 ", map, error)) << error;
  AncillaryLineReader reader({"udp:5001", 9600, "tsg1", map});
  const std::int64_t arrived = *ParseIsoUtc("2026-12-10T04:00:05Z");
  std::vector<AncillaryReading> out;
  using R = AncillaryLineReader::Result;
  EXPECT_EQ(reader.Read("tsg1 2026-12-10T04:00:00.123Z 21.8054, 5.17647, 36.5878, 1528.105, FILTERED", arrived, out),
            R::kReadings);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], (AncillaryReading{arrived - 4877, Quantity::kTemperature, 21.8054}));
  EXPECT_EQ(out[1].value, 36.5878);
  EXPECT_EQ(out[2].value, kValveFiltered);
  // Blanks alone, no time: the arrival is its time.
  EXPECT_EQ(reader.Read("tsg1  21.9  5.2  36.6  1528.1  total", arrived, out), R::kReadings);
  EXPECT_EQ(out.back().utcMs, arrived);
  EXPECT_EQ(reader.Read("tsg10 21.9, 5.2, 36.6, 1528.1, 0", arrived, out), R::kOtherId);
  EXPECT_EQ(reader.Read("ctd 21.9, 5.2, 36.6, 1528.1, 0", arrived, out), R::kOtherId);
  EXPECT_EQ(reader.Read("", arrived, out), R::kEmpty);
  const std::size_t kept = out.size();
  for (const char* bad : {"tsg1 2026-02-31T04:00:00Z 21.9, 5.2, 36.6, 1528.1, 0",  // no such day
                          "tsg1 21.9, 5.2",                                        // cut short
                          "tsg1 21.9, 5.2, 36.6, 1528.1, 0, 21.9, 5.2",            // run together
                          "tsg1 21.9, 5.2, nan, 1528.1, 0",                        // not a number
                          "tsg1 21.9, 5.2,, 1528.1, 0",                            // empty field
                          "tsg1 21.9, 5.2, 36.6, 1528.1, open"}) {                 // no valve state
    EXPECT_EQ(reader.Read(bad, arrived, out), R::kSpoiled) << bad;
  }
  EXPECT_EQ(out.size(), kept);
  EXPECT_EQ(reader.counts(), (AncillaryCounts{2, 6, 2}));
}

TEST(AncillaryLines, MergeInterpolatesWithin30SecondsAndKeepsTheValveStateInForce) {
  const std::vector<TimedValue> t = {{0, 20.0}, {10000, 21.0}, {40000, 24.0}, {70001, 30.0}};
  EXPECT_DOUBLE_EQ(*AncillaryValueAt(t, Quantity::kTemperature, 2500), 20.25);
  EXPECT_DOUBLE_EQ(*AncillaryValueAt(t, Quantity::kTemperature, 25000), 22.5);  // 30 s apart: bridged
  EXPECT_FALSE(AncillaryValueAt(t, Quantity::kTemperature, 50000));             // 30.001 s: not
  EXPECT_FALSE(AncillaryValueAt(t, Quantity::kTemperature, -1));                // never extrapolated
  EXPECT_FALSE(AncillaryValueAt(t, Quantity::kTemperature, 70002));
  EXPECT_DOUBLE_EQ(*AncillaryValueAt(t, Quantity::kTemperature, 70001), 30.0);
  const std::vector<TimedValue> valve = {{0, 0.0}, {10000, 1.0}, {20000, 0.0}};
  EXPECT_EQ(*AncillaryValueAt(valve, Quantity::kValve, 9999), 0.0);
  EXPECT_EQ(*AncillaryValueAt(valve, Quantity::kValve, 10000), 1.0);
  EXPECT_EQ(*AncillaryValueAt(valve, Quantity::kValve, 15000), 1.0);

  ValveSchedule s;
  std::string error;
  ASSERT_TRUE(ParseValveSchedule("30,5,2", s, error)) << error;
  const std::int64_t hour = *ParseIsoUtc("2026-12-10T04:00:00Z");
  EXPECT_FALSE(s.FilteredAt(hour + 119999));
  EXPECT_TRUE(s.FilteredAt(hour + 120000));  // :02
  EXPECT_FALSE(s.FilteredAt(hour + 420000));  // :07
  EXPECT_TRUE(s.FilteredAt(hour + 32 * 60000));
  EXPECT_EQ(s.NextSwitch(hour + 60000), hour + 120000);
  EXPECT_EQ(s.NextSwitch(hour + 120000), hour + 420000);
  for (const char* bad : {"10,10", "10,0", "10,5,10", "10", "10,5,1,2", "x,5"})
    EXPECT_FALSE(ParseValveSchedule(bad, s, error)) << bad;
}

}  // namespace
}  // namespace sondrix
