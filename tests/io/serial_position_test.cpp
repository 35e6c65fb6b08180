// SPDX-License-Identifier: GPL-3.0-or-later
// A GPS receiver on a serial line: a script of hand-written sentences (their
// positions and checksums worked out by hand) gives the same fixes and counts
// however its bytes are cut across polls; the same over a real
// pseudo-terminal mapped to a COM port in [Ports]; a receiver that goes away
// is opened again; a port the meter holds is refused.
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_clock.h"
#include "io/position_source.h"
#include "io_test_env.h"
#include "platform/clock.h"
#include "platform/headless/fake_serial.h"
#include "platform/posix/termios_serial.h"

namespace sondrix {
namespace {

using platform::FakeSerial;

// What a receiver sends: two dated fixes, a sentence whose checksum fails,
// a void RMC (LF only), a ZDA that dates the next day, a line of noise, a
// GGA just after midnight, and the start of a sentence whose end has not
// come yet (it must not be used).
const std::string kScript =
    "$GPRMC,115958,A,5430.000,N,01015.500,E,5.0,90.0,150603,,*23\r\n"
    "$GPGGA,115959.5,5430.010,N,01015.520,E,2,09,0.8,12.0,M,40.0,M,,*6D\r\n"
    "$GPGGA,115959.5,5430.010,N,01015.520,E,2,09,0.8,12.0,M,40.0,M,,*6E\r\n"
    "$GNRMC,120000,V,,,,,,,150603,,,N*4F\n"
    "$GPZDA,000000.00,16,06,2003,00,00*66\r\n"
    "line noise\r\n"
    "$GLGGA,000001,3330.000,S,07030.000,W,1,05,1.5,3.0,M,0.0,M,,*65\r\n"
    "$GPGGA,000002,3330.100,S,07030.100,W,1,05,1.5,3.0,M,0.0,M,,*7A";

// 2003-06-15T11:59:58Z, 54 deg 30' N 10 deg 15.5' E; 2003-06-15T11:59:59.5Z;
// 2003-06-16T00:00:01Z, 33 deg 30' S 70 deg 30' W.
const std::vector<NmeaFix> kTruth = {
    {1055678398000LL, 54.5, 10.0 + 15.5 / 60.0, -1, -1, -1.0},
    {1055678399500LL, 54.0 + 30.01 / 60.0, 10.0 + 15.52 / 60.0, 2, 9, 0.8},
    {1055721601000LL, -33.5, -70.5, 1, 5, 1.5},
};
const PositionCounts kTruthCounts{.badChecksums = 2, .malformed = 0, .invalid = 1, .undated = 0};

::testing::AssertionResult SameFixes(const std::vector<NmeaFix>& got, const std::vector<NmeaFix>& want) {
  if (got.size() != want.size()) {
    return ::testing::AssertionFailure() << got.size() << " fixes, not " << want.size();
  }
  for (std::size_t k = 0; k < got.size(); ++k) {
    const NmeaFix& a = got[k];
    const NmeaFix& b = want[k];
    if (a.utcMs != b.utcMs || std::abs(a.latitude - b.latitude) > 1e-9 ||
        std::abs(a.longitude - b.longitude) > 1e-9 || a.quality != b.quality || a.satellites != b.satellites ||
        std::abs(a.hdop - b.hdop) > 1e-9) {
      return ::testing::AssertionFailure() << "fix " << k << " differs: " << a.utcMs << " " << a.latitude << " "
                                           << a.longitude << " q" << a.quality;
    }
  }
  return ::testing::AssertionSuccess();
}

// The script fed to COM2 of a fake library in pieces ending at `cuts`, with
// a poll after each piece.
std::vector<NmeaFix> ReadInPieces(const std::vector<std::size_t>& cuts, PositionCounts& counts) {
  FakeSerial fake;
  platform::ScopedSerial scoped(fake);
  fake.SetDevice(2, "/dev/ttyUSB1");
  std::string error;
  const auto source = OpenPositionSource("com2", kDefaultPositionBaud, error);
  EXPECT_NE(source, nullptr) << error;
  if (source == nullptr) return {};
  EXPECT_EQ(source->Describe(), "COM2 (/dev/ttyUSB1)");
  EXPECT_EQ(fake.Baud(2), 4800);
  std::vector<NmeaFix> fixes;
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    fake.Feed(2, std::string_view(kScript).substr(from, cut - from));
    EXPECT_TRUE(source->Poll(fixes));
    from = cut;
  }
  fake.Feed(2, std::string_view(kScript).substr(from));
  EXPECT_TRUE(source->Poll(fixes));
  EXPECT_TRUE(source->Poll(fixes));
  EXPECT_FALSE(source->Lost());
  counts = source->Counts();
  return fixes;
}

TEST(SerialPositionTest, SentencesCutAnywhereAcrossPollsGiveTheWholeTextsFixes) {
  PositionCounts counts;
  EXPECT_TRUE(SameFixes(ReadInPieces({}, counts), kTruth));
  EXPECT_EQ(counts, kTruthCounts);

  // Two pieces, cut at every byte; then every byte a piece of its own.
  std::vector<std::size_t> everyByte;
  for (std::size_t cut = 1; cut < kScript.size(); ++cut) {
    EXPECT_TRUE(SameFixes(ReadInPieces({cut}, counts), kTruth)) << "cut at " << cut;
    EXPECT_EQ(counts, kTruthCounts) << "cut at " << cut;
    everyByte.push_back(cut);
  }
  EXPECT_TRUE(SameFixes(ReadInPieces(everyByte, counts), kTruth));
  EXPECT_EQ(counts, kTruthCounts);
}

TEST(SerialPositionTest, BytesWithoutALineEndAreNotKeptForEver) {
  // A receiver at another baud rate, or one that sends no line ends: its
  // bytes are dropped once they are far too long for a sentence, counted
  // once, and the sentences after the next line end are read again.
  FakeSerial fake;
  platform::ScopedSerial scoped(fake);
  std::string error;
  const auto source = OpenPositionSource("COM2", kDefaultPositionBaud, error);
  ASSERT_NE(source, nullptr) << error;
  std::vector<NmeaFix> fixes;
  const std::string noise(1000, '\xA5');
  for (int k = 0; k < 200; ++k) {
    fake.Feed(2, noise);
    EXPECT_TRUE(source->Poll(fixes));
  }
  fake.Feed(2, "\r\n" + kScript);
  EXPECT_TRUE(source->Poll(fixes));
  EXPECT_TRUE(SameFixes(fixes, kTruth));
  PositionCounts counts = kTruthCounts;
  counts.malformed = 1;
  EXPECT_EQ(source->Counts(), counts);
}

TEST(SerialPositionTest, AReceiverThatGoesAwayIsOpenedAgainAndItsCutSentenceIsNotUsed) {
  FakeSerial fake;
  platform::ScopedSerial scoped(fake);
  test::FakeClock clock;
  platform::ScopedClock scopedClock(clock);
  const std::string first = kScript.substr(0, kScript.find('\n') + 1);
  fake.Feed(3, first + "$GPGGA,115959.5,5430.0");  // pulled out mid-sentence
  fake.FeedUnplug(3, 2);
  fake.Feed(3, "10,N,01015.520,E,2,09,0.8,12.0,M,40.0,M,,*6D\r\n" + first);

  std::string error;
  const auto source = OpenPositionSource("COM3", 9600, error);
  ASSERT_NE(source, nullptr) << error;
  EXPECT_EQ(fake.Baud(3), 9600);
  std::vector<NmeaFix> fixes;
  EXPECT_TRUE(source->Poll(fixes));  // the first fix, then the line goes
  EXPECT_TRUE(source->Lost());
  EXPECT_EQ(source->InputHandle(), -1);
  EXPECT_FALSE(fake.IsOpen(3));
  // Two tries fail, a second apart; a poll between them tries nothing.
  EXPECT_TRUE(source->Poll(fixes));
  EXPECT_EQ(fake.OpenCount(3), 1);
  EXPECT_TRUE(source->Poll(fixes));
  EXPECT_EQ(fake.OpenCount(3), 1);
  clock.Advance(1.0);
  EXPECT_TRUE(source->Poll(fixes));
  EXPECT_TRUE(source->Lost());
  clock.Advance(1.0);
  EXPECT_TRUE(source->Poll(fixes));
  EXPECT_FALSE(source->Lost());
  EXPECT_EQ(fake.Baud(3), 9600);
  // The sentence cut by the unplugging is counted, not joined to the next
  // bytes; the same RMC after it is a fix again.
  ASSERT_EQ(fixes.size(), 2u);
  EXPECT_TRUE(SameFixes({fixes[1]}, {kTruth[0]}));
  EXPECT_EQ(source->Counts().malformed, 1);
  EXPECT_EQ(source->Counts().badChecksums, 1);  // the cut sentence's tail
}

TEST(SerialPositionTest, APortTheMeterHoldsOrThatDoesNotOpenIsRefusedWithItsReason) {
  FakeSerial fake;
  platform::ScopedSerial scoped(fake);
  fake.SetDevice(1, "/dev/ttyUSB0");
  ASSERT_EQ(fake.OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096), 0);  // the meter's
  std::string error;
  EXPECT_EQ(OpenPositionSource("COM1", kDefaultPositionBaud, error), nullptr);
  EXPECT_EQ(error, "COM1 is already open, the meter's port: the receiver needs a port of its own");
  EXPECT_EQ(OpenPositionSource("/dev/ttyUSB0", kDefaultPositionBaud, error), nullptr);
  EXPECT_EQ(error, "/dev/ttyUSB0 is already open as COM1, the meter's port: the receiver needs a port of its own");

  // A device path opens under a number no COM port uses, and says its path.
  auto path = OpenPositionSource("/dev/ttyACM0", kDefaultPositionBaud, error);
  ASSERT_NE(path, nullptr) << error;
  EXPECT_EQ(path->Describe(), "/dev/ttyACM0");
  EXPECT_TRUE(fake.IsOpen(255));
  EXPECT_EQ(fake.DevicePath(255), "/dev/ttyACM0");
  path.reset();
  EXPECT_FALSE(fake.IsOpen(255));

  // The library's reason, naming the path rather than the number behind it.
  fake.SetOpenResult(255, -7);
  fake.SetOpenProblem(255, {"not there", "COM255 (/dev/ttyACM9) cannot be opened: it is not there."});
  EXPECT_EQ(OpenPositionSource("/dev/ttyACM9", kDefaultPositionBaud, error), nullptr);
  EXPECT_EQ(error, "/dev/ttyACM9 cannot be opened: it is not there.");
  fake.SetOpenResult(4, -7);
  fake.SetOpenProblem(4, {"no permission", "COM4 (/dev/ttyS3) cannot be opened: permission denied."});
  EXPECT_EQ(OpenPositionSource("COM4", kDefaultPositionBaud, error), nullptr);
  EXPECT_EQ(error, "COM4 (/dev/ttyS3) cannot be opened: permission denied.");
}

// A pseudo-terminal: the test is the receiver on its master side.
struct Pty {
  Pty() {
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) std::abort();
    path = name;
  }
  ~Pty() {
    if (master >= 0) ::close(master);
    ::close(slave);
  }
  int master = -1;
  int slave = -1;
  std::string path;
};

TEST(SerialPositionTest, AReceiverOnAPseudoTerminalMappedInPortsIsReadWithoutWaiting) {
  test::TempProjectDir dir;
  Pty pty;
  dir.WriteFile("Sondrix.ini", "[Ports]\nCOM5=" + pty.path + "\n");
  platform::TermiosSerial termios;
  platform::ScopedSerial scoped(termios);
  std::string error;
  const auto source = OpenPositionSource("COM5", kDefaultPositionBaud, error);
  ASSERT_NE(source, nullptr) << error;
  EXPECT_EQ(source->Describe(), "COM5 (" + pty.path + ")");
  EXPECT_GE(source->InputHandle(), 0);

  // Pieces of seven bytes, a poll after each; no poll waits.
  std::vector<NmeaFix> fixes;
  for (std::size_t at = 0; at < kScript.size(); at += 7) {
    const std::string piece = kScript.substr(at, 7);
    ASSERT_EQ(::write(pty.master, piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(source->Poll(fixes));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (fixes.size() < kTruth.size() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(source->Poll(fixes));
  }
  EXPECT_TRUE(SameFixes(fixes, kTruth));
  EXPECT_EQ(source->Counts(), kTruthCounts);

  // The receiver's end goes: the source says so and goes on polling.
  ::close(pty.master);
  pty.master = -1;
  EXPECT_TRUE(source->Poll(fixes));
  EXPECT_TRUE(source->Lost());
  EXPECT_TRUE(source->Poll(fixes));
}

}  // namespace
}  // namespace sondrix
