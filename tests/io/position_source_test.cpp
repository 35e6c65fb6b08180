// SPDX-License-Identifier: GPL-3.0-or-later
// Positions broadcast on the ship's network: NMEA datagrams sent to the
// source's UDP port by the test come out as the fixes they hold.
#include "io/position_source.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sondrix {
namespace {

void Send(int port, const std::string& datagram) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to),
            static_cast<ssize_t>(datagram.size()));
  ::close(fd);
}

TEST(PositionSourceTest, UdpDatagramsOfOneOrMoreSentencesGiveTheirFixes) {
  std::string error;
  const auto source = OpenUdpPositionSource(0, error);
  ASSERT_NE(source, nullptr) << error;
  const int port = UdpPort(*source);
  ASSERT_GT(port, 0);
  EXPECT_GE(source->InputHandle(), 0);

  std::vector<NmeaFix> fixes;
  EXPECT_TRUE(source->Poll(fixes));
  EXPECT_TRUE(fixes.empty());
  Send(port, "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n");
  Send(port, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
             "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*48\r\n");
  for (int i = 0; i < 100 && fixes.size() < 2; ++i) {
    EXPECT_TRUE(source->Poll(fixes));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(fixes.size(), 2u);
  EXPECT_EQ(fixes[0].utcMs, 764426119000LL);
  EXPECT_EQ(fixes[1].quality, 1);
  EXPECT_EQ(source->parser().badChecksums(), 1);

  // A port out of range is refused with a reason.
  EXPECT_EQ(OpenUdpPositionSource(70000, error), nullptr);
  EXPECT_FALSE(error.empty());
}

// Polls `source` until it has given `count` fixes or a second has passed.
void PollFor(PositionSource& source, std::vector<NmeaFix>& fixes, std::size_t count) {
  for (int i = 0; i < 100 && fixes.size() < count; ++i) {
    EXPECT_TRUE(source.Poll(fixes));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

const std::string kRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";

// A port is taken alone: another program (a second recorder) cannot take
// it, and one that holds it already is named; sharing is asked for, and
// a sender that sends to this computer alone on a shared port is told,
// since each of its datagrams reaches only one of the sharers.
TEST(PositionSourceTest, AUdpPortIsTakenAloneOrSharedKnowingly) {
  std::string error;
  const auto alone = OpenUdpPositionSource(0, error);
  ASSERT_NE(alone, nullptr) << error;
  const int port = UdpPort(*alone);
  const std::string name = "udp:" + std::to_string(port);
  EXPECT_EQ(OpenPositionSource(name, kDefaultPositionBaud, error), nullptr);
  EXPECT_EQ(error, name + " is already in use in this program");
  EXPECT_EQ(OpenPositionSource(name + ":shared", kDefaultPositionBaud, error), nullptr);
  EXPECT_EQ(error, name + " is already in use in this program");

  // Another program holding the port, alone.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const int freePort = UdpPort(*OpenUdpPositionSource(0, error));
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(freePort));
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    const char done = bound ? 'y' : 'n';
    if (::write(ready[1], &done, 1) != 1) ::_exit(1);
    ::pause();
    ::_exit(0);
  }
  char done = 0;
  ASSERT_EQ(::read(ready[0], &done, 1), 1);
  ::close(ready[0]);
  ::close(ready[1]);
  const std::string taken = "udp:" + std::to_string(freePort);
  const auto second = OpenPositionSource(taken, kDefaultPositionBaud, error);
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ASSERT_EQ(done, 'y');
  EXPECT_EQ(second, nullptr);
  EXPECT_TRUE(error.starts_with(taken + " is already in use by another program (")) << error;
  EXPECT_NE(error.find(", process " + std::to_string(holder) + "): close it, or, when the fixes are broadcast on "
                       "the network and both programs should get them, give " + taken + ":shared here"),
            std::string::npos)
      << error;

  // Two sharers: a datagram sent to this computer's address reaches one of
  // them, which says so once.
  const auto first = OpenUdpPositionSource(0, error, /*shared=*/true);
  ASSERT_NE(first, nullptr) << error;
  const int sharedPort = UdpPort(*first);
  const auto other = OpenPositionSource("udp:" + std::to_string(sharedPort) + ":shared", kDefaultPositionBaud, error);
  ASSERT_NE(other, nullptr) << error;
  EXPECT_EQ(other->Describe(), "udp:" + std::to_string(sharedPort) + ":shared");
  EXPECT_EQ(OpenUdpPositionSource(sharedPort, error), nullptr) << "a sharer keeps out one that would take it alone";
  EXPECT_TRUE(first->Notice().empty());
  Send(sharedPort, kRmc);
  Send(sharedPort, kRmc);
  std::vector<NmeaFix> a;
  std::vector<NmeaFix> b;
  for (int i = 0; i < 100 && a.size() + b.size() < 2; ++i) {
    EXPECT_TRUE(first->Poll(a));
    EXPECT_TRUE(other->Poll(b));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(a.size() + b.size(), 2u) << "each datagram to one sharer";
  const PositionSource& taker = a.empty() ? *other : *first;
  EXPECT_EQ(taker.Notice(), taker.Describe() +
                                " is shared with other programs, but its sender sends to this computer alone (not to "
                                "the network's broadcast address): each such datagram reaches only one of the "
                                "programs, so fixes may be missing; give udp:" +
                                std::to_string(sharedPort) + " to take the port alone");
  // A port taken alone says nothing of its sender.
  Send(port, kRmc);
  std::vector<NmeaFix> c;
  PollFor(*alone, c, 1);
  EXPECT_EQ(c.size(), 1u);
  EXPECT_TRUE(alone->Notice().empty());
}

TEST(PositionSourceTest, SourceTextsAreTakenApartOrRefusedNamingTheForms) {
  using Kind = PositionSpec::Kind;
  const struct {
    const char* text;
    std::optional<PositionSpec> spec;
  } cases[] = {
      {"COM2", PositionSpec{Kind::Serial, "COM2", 0}},
      {"com8", PositionSpec{Kind::Serial, "COM8", 0}},
      {"COM1", PositionSpec{Kind::Serial, "COM1", 0}},
      {"/dev/ttyUSB1", PositionSpec{Kind::Serial, "/dev/ttyUSB1", 0}},
      {"/dev/serial/by-id/usb-GNSS-if00", PositionSpec{Kind::Serial, "/dev/serial/by-id/usb-GNSS-if00", 0}},
      {"udp:10110", PositionSpec{Kind::Udp, "", 10110}},
      {"UDP:1", PositionSpec{Kind::Udp, "", 1}},
      {"udp:65535", PositionSpec{Kind::Udp, "", 65535}},
      {"udp:10110:shared", PositionSpec{Kind::Udp, "", 10110, true}},
      {"UDP:10110:Shared", PositionSpec{Kind::Udp, "", 10110, true}},
      {"gpsd", PositionSpec{Kind::Gpsd, "localhost", 2947}},
      {"gpsd:shipnav", PositionSpec{Kind::Gpsd, "shipnav", 2947}},
      {"gpsd:192.168.1.20:2948", PositionSpec{Kind::Gpsd, "192.168.1.20", 2948}},
      {"gpsd:[::1]", PositionSpec{Kind::Gpsd, "::1", 2947}},
      {"gpsd:[fe80::1]:3000", PositionSpec{Kind::Gpsd, "fe80::1", 3000}},
      {"", std::nullopt},
      {"COM9", std::nullopt},
      {"COM0", std::nullopt},
      {"COM", std::nullopt},
      {"/", std::nullopt},
      {"dev/ttyUSB0", std::nullopt},
      {"udp:", std::nullopt},
      {"udp:0", std::nullopt},
      {"udp:65536", std::nullopt},
      {"udp:10110x", std::nullopt},
      {"udp:-5", std::nullopt},
      {"udp", std::nullopt},
      {"udp::shared", std::nullopt},
      {"udp:shared", std::nullopt},
      {"udp:10110:share", std::nullopt},
      {"udp:10110:shared:shared", std::nullopt},
      {"gpsd:", std::nullopt},
      {"gpsd:host:", std::nullopt},
      {"gpsd::2947", std::nullopt},
      {"gpsd:host:port", std::nullopt},
      {"gpsd:host:99999", std::nullopt},
      {"gpsd:[::1", std::nullopt},
      {"gpsd:[::1]2947", std::nullopt},
      {"gpsdx", std::nullopt},
      {"tcp:10110", std::nullopt},
  };
  for (const auto& c : cases) {
    std::string error;
    const std::optional<PositionSpec> spec = ParsePositionSpec(c.text, error);
    EXPECT_EQ(spec, c.spec) << '"' << c.text << '"';
    if (!c.spec) {
      EXPECT_EQ(error, std::string("\"") + c.text +
                           "\" is no position source: give COM1 ... COM8, a device path (/dev/ttyUSB1), udp:PORT, "
                           "udp:PORT:shared, gpsd, gpsd:HOST or gpsd:HOST:PORT");
      EXPECT_EQ(OpenPositionSource(c.text, kDefaultPositionBaud, error), nullptr);
    }
  }

  // A UDP source opened from its text listens where it says.
  std::string error;
  int port = 0;
  {
    const auto probe = OpenUdpPositionSource(0, error);
    ASSERT_NE(probe, nullptr) << error;
    port = UdpPort(*probe);
  }
  const auto udp = OpenPositionSource("udp:" + std::to_string(port), kDefaultPositionBaud, error);
  ASSERT_NE(udp, nullptr) << error;
  EXPECT_EQ(udp->Describe(), "udp:" + std::to_string(port));
  EXPECT_EQ(UdpPort(*udp), port);
}

}  // namespace
}  // namespace sondrix
