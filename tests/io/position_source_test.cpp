// SPDX-License-Identifier: GPL-3.0-or-later
// Positions broadcast on the ship's network: NMEA datagrams sent to the
// source's UDP port by the test come out as the fixes they hold.
#include "io/position_source.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
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
                           "gpsd, gpsd:HOST or gpsd:HOST:PORT");
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
