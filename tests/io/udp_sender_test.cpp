// SPDX-License-Identifier: GPL-3.0-or-later
// Datagrams to the ship's network, heard by a socket of the test's own on
// the loopback: each whole; one too long for UDP dropped and counted, never
// cut; the destination read and its kind told. (A destination that refuses:
// tests/cli/network_output_test.cpp.)
#include "io/udp_sender.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/udp_listener.h"

namespace sondrix {
namespace {

using test::UdpListener;

TEST(UdpSender, DestinationsAreReadAndTheirKindTold) {
  std::string host, error;
  int port = 0;
  ASSERT_TRUE(ParseUdpDestination("10.0.0.255:5005", host, port, error)) << error;
  EXPECT_EQ(host, "10.0.0.255");
  EXPECT_EQ(port, 5005);
  ASSERT_TRUE(ParseUdpDestination("[ff02::1]:65535", host, port, error)) << error;
  EXPECT_EQ(host, "ff02::1");
  EXPECT_EQ(port, 65535);
  ASSERT_TRUE(ParseUdpDestination("logger.ship:1", host, port, error)) << error;
  EXPECT_EQ(host, "logger.ship");
  for (const char* wrong : {"5005", ":5005", "logger:", "logger:0", "logger:65536", "logger:50x", "ff02::1:5005",
                            "[ff02::1:5005", "[]:5005"}) {
    error.clear();
    EXPECT_FALSE(ParseUdpDestination(wrong, host, port, error)) << wrong;
    EXPECT_FALSE(error.empty()) << wrong;
  }
  UdpSender sender;
  EXPECT_FALSE(sender.Open("no-such-host.invalid:5005", error));
  EXPECT_NE(error.find("no-such-host.invalid"), std::string::npos) << error;
  for (const auto& [destination, kind] : {std::pair{"255.255.255.255:5005", UdpKind::kBroadcast},
                                          std::pair{"239.192.0.1:5005", UdpKind::kMulticast},
                                          std::pair{"127.0.0.1:5005", UdpKind::kUnicast}}) {
    ASSERT_TRUE(sender.Open(destination, error)) << error;
    EXPECT_EQ(sender.kind(), kind) << destination;
  }
}

TEST(UdpSender, EachDatagramArrivesWholeAndOneTooLongIsDroppedAndCounted) {
  UdpListener listener;
  UdpSender sender;
  std::string why;
  ASSERT_TRUE(sender.Open(listener.Destination(), why)) << why;
  EXPECT_EQ(sender.kind(), UdpKind::kUnicast);
  EXPECT_EQ(sender.destination(), listener.Destination());
  const std::string big(kMaxDatagram, 'v');
  EXPECT_TRUE(sender.Send("sondrix #fields time,c412[1/m]"));
  EXPECT_TRUE(sender.Send(big));
  EXPECT_FALSE(sender.Send(big + "!"));
  EXPECT_EQ(listener.Heard(), (std::vector<std::string>{"sondrix #fields time,c412[1/m]", big}));
  EXPECT_EQ(sender.counts().sent, 2);
  EXPECT_EQ(sender.counts().tooLong, 1);
  EXPECT_EQ(sender.counts().dropped(), 1);
  EXPECT_TRUE(sender.counts().lastDropped);
  EXPECT_EQ(DropReasons(sender.counts()), "1 too long for a datagram");
}

}  // namespace
}  // namespace sondrix
