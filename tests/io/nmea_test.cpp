// SPDX-License-Identifier: GPL-3.0-or-later
// The GPS receiver's sentences: published example sentences (their
// checksums as printed) read as their fields say, the date only from RMC or
// ZDA, and what a receiver or a line can spoil counted and not used.
#include "io/nmea.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace sondrix {
namespace {

using Result = NmeaParser::Result;

// A sentence of our own with its checksum.
std::string Sealed(const std::string& body) {
  int sum = 0;
  for (std::size_t k = 1; k < body.size(); ++k) sum ^= static_cast<unsigned char>(body[k]);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X", sum);
  return body + tail;
}

TEST(NmeaTest, FixesAreDatedOnlyByTheReceiversDate) {
  NmeaParser parser;
  NmeaFix fix;
  const std::string gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";
  EXPECT_EQ(parser.Parse(gga, fix), Result::Undated);
  EXPECT_EQ(parser.undated(), 1);

  // 1994-03-23 12:35:19 UTC, 48 deg 7.038' N, 11 deg 31.000' E.
  ASSERT_EQ(parser.Parse("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n", fix),
            Result::Fix);
  EXPECT_EQ(fix.utcMs, 764426119000LL);
  EXPECT_NEAR(fix.latitude, 48.0 + 7.038 / 60.0, 1e-12);
  EXPECT_NEAR(fix.longitude, 11.0 + 31.0 / 60.0, 1e-12);
  EXPECT_EQ(fix.quality, -1);

  ASSERT_EQ(parser.Parse(gga, fix), Result::Fix);
  EXPECT_EQ(fix.utcMs, 764426119000LL);
  EXPECT_EQ(fix.quality, 1);
  EXPECT_EQ(fix.satellites, 8);
  EXPECT_DOUBLE_EQ(fix.hdop, 0.9);

  // A ZDA dates what follows; a GGA just after midnight belongs to the next
  // day. Any talker will do.
  EXPECT_EQ(parser.Parse("$GPZDA,201530.00,04,07,2002,00,00*60", fix), Result::Dated);
  const std::string late = "$GNGGA,235959.50,0100.000,S,00130.000,W,2,11,1.2,3.0,M,0.0,M,,";
  const std::string early = "$GNGGA,000001.00,0100.000,S,00130.000,W,2,11,1.2,3.0,M,0.0,M,,";
  ASSERT_EQ(parser.Parse(Sealed(late), fix), Result::Fix);
  EXPECT_EQ(fix.utcMs, 1025827199500LL);  // 2002-07-04T23:59:59.5Z
  EXPECT_DOUBLE_EQ(fix.latitude, -1.0);
  EXPECT_DOUBLE_EQ(fix.longitude, -1.5);
  ASSERT_EQ(parser.Parse(Sealed(early), fix), Result::Fix);
  EXPECT_EQ(fix.utcMs, 1025827201000LL);  // 2002-07-05T00:00:01Z
}

TEST(NmeaTest, SpoiledSentencesAreCountedAndNotUsed) {
  NmeaParser parser;
  NmeaFix fix;
  const std::string rmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";
  EXPECT_EQ(parser.Parse("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6B", fix),
            Result::BadChecksum);
  EXPECT_EQ(parser.Parse(rmc.substr(0, 30), fix), Result::BadChecksum);  // cut short: no checksum
  EXPECT_EQ(parser.Parse("GPRMC,123519*00", fix), Result::BadChecksum);
  EXPECT_EQ(parser.badChecksums(), 3);
  // A void RMC, a GGA without a fix.
  EXPECT_EQ(parser.Parse(Sealed("$GPRMC,123519,V,,,,,,,230394,,"), fix), Result::Invalid);
  EXPECT_EQ(parser.Parse(Sealed("$GPGGA,123519,,,,,0,00,,,M,,M,,"), fix), Result::Invalid);
  EXPECT_EQ(parser.invalid(), 2);
  // Fields that are no numbers, a latitude beyond the pole, a sentence cut
  // short before its fields end (its checksum recomputed).
  EXPECT_EQ(parser.Parse(Sealed("$GPGGA,12x519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"), fix), Result::Malformed);
  EXPECT_EQ(parser.Parse(Sealed("$GPRMC,123519,A,9107.038,N,01131.000,E,022.4,084.4,230394,003.1,W"), fix),
            Result::Malformed);
  EXPECT_EQ(parser.Parse(Sealed("$GPRMC,123519,A,4807.038,N"), fix), Result::Malformed);
  EXPECT_EQ(parser.malformed(), 3);
  EXPECT_EQ(parser.Parse("$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74", fix),
            Result::Ignored);
}

}  // namespace
}  // namespace sondrix
