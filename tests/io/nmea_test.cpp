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

// The checksum against the published examples' printed ones and against
// sums worked by hand, character by character.
TEST(NmeaTest, SentencesAreSealedWithTheExclusiveOrOfTheirBody) {
  EXPECT_EQ(NmeaChecksum("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"), 0x47);
  EXPECT_EQ(NmeaChecksum("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"), 0x6A);
  // P 50, ^ S 53 = 03, ^ D 44 = 47, ^ R 52 = 15, ^ X 58 = 4D, ^ "," 2C = 61;
  // then ^ "1" 31 = 50, or ^ "J" 4A = 2B (a letter, upper case).
  EXPECT_EQ(NmeaSentence("PSDRX,1"), "$PSDRX,1*50\r\n");
  EXPECT_EQ(NmeaSentence("PSDRX,J"), "$PSDRX,J*2B\r\n");
  // A sentence of another kind, whole: its checksum adds up.
  NmeaParser parser;
  NmeaFix fix;
  EXPECT_EQ(parser.Parse(NmeaSentence("PSDRX,2026-12-10T04:00:00.123Z,0.45281,,14.98"), fix), Result::Ignored);
  EXPECT_EQ(parser.badChecksums(), 0);
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

// Sentences whose checksums add up but whose fields break NMEA's forms or
// ranges: each is malformed, counted, and changes nothing (the date a later
// GGA is dated by among it). The edges that are fixes stay fixes.
TEST(NmeaTest, FieldsOutOfTheirFormOrRangeAreMalformedWhateverTheChecksum) {
  const std::string place = "4807.038,N,01131.000,E";
  const char* const malformed[] = {
      // Signs, exponents, spaces, hex, words where NMEA writes digits.
      "$GPRMC,123519,A,-807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,-12519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,4812e1,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,48+7.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A, 4807.03,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,4807.038,N,0113.1000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,4807.0.8,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,4807.,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,2303-4,003.1,W",
      "$GPRMC,12 519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519.,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,inf,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,X,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,4807.038,n,01131.000,E,022.4,084.4,230394,003.1,W",
      // Minutes of 60, a latitude beyond the pole, a longitude beyond 180.
      "$GPRMC,123519,A,4860.000,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,4807.038,N,01160.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,9100.000,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,9000.001,S,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,4807.038,N,18000.001,W,022.4,084.4,230394,003.1,W",
      "$GPRMC,123519,A,4807.038,N,18100.000,E,022.4,084.4,230394,003.1,W",
      // Hours, minutes and seconds out of range; a leap second off 23:59.
      "$GPRMC,243519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,126019,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
      "$GPRMC,123560,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
      // Dates that do not exist: 31 February, 29 February 2027, month 13.
      "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,310226,003.1,W",
      "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,290227,003.1,W",
      "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,011326,003.1,W",
      "$GPZDA,201530.00,31,02,2026,00,00",
      "$GPZDA,201530.00,01,01,0000,00,00",
      "$GPZDA,201530.00,01,01,9999,00,00",
      "$GPZDA,201530.00,1,1,2026,00,00",
      // GGA's quality, satellites and HDOP.
      "$GPGGA,123519,4807.038,N,01131.000,E,9,08,0.9,545.4,M,46.9,M,,",
      "$GPGGA,123519,4807.038,N,01131.000,E,-1,08,0.9,545.4,M,46.9,M,,",
      "$GPGGA,123519,4807.038,N,01131.000,E,1,1e3,0.9,545.4,M,46.9,M,,",
      "$GPGGA,123519,4807.038,N,01131.000,E,1,-8,0.9,545.4,M,46.9,M,,",
      "$GPGGA,123519,4807.038,N,01131.000,E,1,08,1e300,545.4,M,46.9,M,,",
      "$GPGGA,123519,4807.038,N,01131.000,E,1,08,nan,545.4,M,46.9,M,,",
      "$GPGGA,123519,4807.038,N,01131.000,E,1,08,-0.9,545.4,M,46.9,M,,",
  };
  NmeaParser parser;
  NmeaFix fix;
  ASSERT_EQ(parser.Parse(Sealed("$GPZDA,201530.00,04,07,2002,00,00"), fix), Result::Dated);
  long long count = 0;
  for (const char* body : malformed) {
    EXPECT_EQ(parser.Parse(Sealed(body), fix), Result::Malformed) << body;
    EXPECT_EQ(parser.malformed(), ++count) << body;
  }
  EXPECT_EQ(parser.badChecksums() + parser.invalid() + parser.undated(), 0);
  // The date is still 2002-07-04's.
  ASSERT_EQ(parser.Parse(Sealed("$GPGGA,201531.00," + place + ",1,08,0.9,545.4,M,46.9,M,,"), fix), Result::Fix);
  EXPECT_EQ(fix.utcMs, 1025813731000LL);  // 2002-07-04T20:15:31Z

  // The edges: the poles and the 180th meridian, 59.999 minutes, the leap
  // second at 23:59, 29 February of a leap year, empty satellites and HDOP,
  // a fraction of a second rounded to the millisecond.
  ASSERT_EQ(parser.Parse(Sealed("$GPRMC,235960,A,9000.000,S,18000.000,W,0.0,0.0,290228,,"), fix),
            Result::Fix);
  EXPECT_EQ(fix.utcMs, 1835481600000LL);  // 2028-02-29T23:59:60Z is 2028-03-01T00:00:00Z
  EXPECT_EQ(fix.latitude, -90.0);
  EXPECT_EQ(fix.longitude, -180.0);
  ASSERT_EQ(parser.Parse(Sealed("$GNGGA,120000.1235,0059.999,N,00000.0000,E,1,,,545.4,M,46.9,M,,"), fix), Result::Fix);
  EXPECT_EQ(fix.utcMs % 86'400'000LL, 43'200'124LL);
  EXPECT_NEAR(fix.latitude, 59.999 / 60.0, 1e-12);
  EXPECT_EQ(fix.satellites, -1);
  EXPECT_EQ(fix.hdop, -1.0);
  EXPECT_EQ(parser.malformed(), count);
}

}  // namespace
}  // namespace sondrix
