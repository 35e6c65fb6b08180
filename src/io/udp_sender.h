// SPDX-License-Identifier: GPL-3.0-or-later
// Datagrams to the ship's network: one UDP destination, HOST:PORT, a host
// (a name, an IPv4 address or an IPv6 address in brackets) of one machine,
// of the network's broadcast or of a multicast group.
//
// Sending never waits: the socket is non-blocking (every send MSG_DONTWAIT)
// and connected to its destination, so that the network's answer to an
// earlier datagram comes back as the error of a later send (a destination
// whose network cannot be reached as the socket is made is sent to
// datagram by datagram instead, so that it is heard once it can be). A datagram the
// network does not take at once is dropped and counted by why: the send
// buffer was full, the destination refused (nothing listens on its port),
// the network or host cannot be reached, the datagram is too long for UDP,
// or another error. Whether anyone heard a datagram that went out is not
// known to the sender.
//
// SO_BROADCAST is set on an IPv4 socket (a broadcast address, the subnet's
// or 255.255.255.255, is then accepted); a multicast group is sent to with
// a time-to-live (hop limit) of kMulticastTtl, so that routers between the
// ship's networks may pass it.
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace sondrix {

// The longest datagram UDP carries over IPv4: 65535 less the IP and UDP
// headers.
inline constexpr std::size_t kMaxDatagram = 65507;
// The hops a multicast datagram may take.
inline constexpr int kMulticastTtl = 8;

enum class UdpKind { kUnicast, kBroadcast, kMulticast };
// "unicast", "broadcast", "multicast".
std::string_view UdpKindName(UdpKind kind);

// What became of the datagrams given to a sender.
struct UdpCounts {
  long long sent = 0;         // handed to the network
  long long full = 0;         // dropped: the send buffer was full
  long long refused = 0;      // dropped: the destination refused an earlier one (nothing listens)
  long long unreachable = 0;  // dropped: no route to the network or the host
  long long tooLong = 0;      // dropped: longer than kMaxDatagram
  long long failed = 0;       // dropped: another error
  int lastError = 0;          // errno of the last drop (0: none yet)
  bool lastDropped = false;   // the last datagram was dropped

  long long dropped() const { return full + refused + unreachable + tooLong + failed; }
  bool operator==(const UdpCounts&) const = default;
};

// The drops of `counts` by why, in words: "12 refused (nothing listens on
// the port), 3 unreachable"; empty without drops.
std::string DropReasons(const UdpCounts& counts);

// HOST:PORT read: "[v6]:PORT" or "HOST:PORT", the port 1 ... 65535. False
// with `error` when it is not one.
bool ParseUdpDestination(std::string_view text, std::string& host, int& port, std::string& error);

class UdpSender {
 public:
  UdpSender() = default;
  ~UdpSender();
  UdpSender(const UdpSender&) = delete;
  UdpSender& operator=(const UdpSender&) = delete;

  // A socket to `destination` (HOST:PORT); false with `why` when the text
  // is no destination, the host cannot be found, or no socket can be
  // made for it.
  bool Open(std::string_view destination, std::string& why);
  bool open() const { return fd_ >= 0; }
  // One datagram, never waited for: true when the network took it, false
  // when it was dropped (counted).
  bool Send(std::string_view datagram);

  const UdpCounts& counts() const { return counts_; }
  UdpKind kind() const { return kind_; }
  // The destination as given ("10.0.0.255:5005").
  const std::string& destination() const { return destination_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  sockaddr_storage address_{};
  socklen_t addressLength_ = 0;
  UdpKind kind_ = UdpKind::kUnicast;
  std::string destination_;
  UdpCounts counts_;
};

}  // namespace sondrix
