// Positions broadcast on the ship's network: NMEA datagrams sent to the
// source's UDP port by the test come out as the fixes they hold.
#include "io/position_source.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
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

}  // namespace
}  // namespace sondrix
