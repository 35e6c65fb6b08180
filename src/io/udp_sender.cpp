// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/udp_sender.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>

namespace sondrix {
namespace {

// Whether `address` is the limited broadcast or the broadcast address of
// one of the machine's networks.
bool IsBroadcast(const in_addr& address) {
  if (address.s_addr == htonl(INADDR_BROADCAST)) return true;
  ifaddrs* interfaces = nullptr;
  if (::getifaddrs(&interfaces) != 0) return false;
  bool found = false;
  for (const ifaddrs* i = interfaces; i != nullptr && !found; i = i->ifa_next) {
    if ((i->ifa_flags & IFF_BROADCAST) == 0 || i->ifa_broadaddr == nullptr || i->ifa_broadaddr->sa_family != AF_INET)
      continue;
    found = reinterpret_cast<const sockaddr_in*>(i->ifa_broadaddr)->sin_addr.s_addr == address.s_addr;
  }
  ::freeifaddrs(interfaces);
  return found;
}

// Whether `error` says the destination cannot be reached now.
bool Unreachable(int error) {
  return error == ENETUNREACH || error == EHOSTUNREACH || error == ENETDOWN || error == EHOSTDOWN ||
         error == EADDRNOTAVAIL;
}

}  // namespace

std::string_view UdpKindName(UdpKind kind) {
  switch (kind) {
    case UdpKind::kBroadcast: return "broadcast";
    case UdpKind::kMulticast: return "multicast";
    case UdpKind::kUnicast: break;
  }
  return "unicast";
}

std::string DropReasons(const UdpCounts& counts) {
  std::string text;
  const auto add = [&text](long long count, const char* why) {
    if (count == 0) return;
    if (!text.empty()) text += ", ";
    text += std::to_string(count) + " " + why;
  };
  add(counts.refused, "refused (nothing listens on the port)");
  add(counts.unreachable, "unreachable (no route to the network or the host)");
  add(counts.full, "while the send buffer was full");
  add(counts.tooLong, "too long for a datagram");
  if (counts.failed > 0) {
    add(counts.failed, "failed");
    text += std::string(" (") + std::strerror(counts.lastError) + ")";
  }
  return text;
}

bool ParseUdpDestination(std::string_view text, std::string& host, int& port, std::string& error) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) {
    error = "\"" + std::string(text) + "\" is no HOST:PORT";
    return false;
  }
  std::string_view name = text.substr(0, colon);
  if (name.front() == '[') {
    if (name.size() < 3 || name.back() != ']') {
      error = "\"" + std::string(text) + "\": an IPv6 address is written in brackets, [ADDRESS]:PORT";
      return false;
    }
    name = name.substr(1, name.size() - 2);
  } else if (name.find(':') != std::string_view::npos) {
    error = "\"" + std::string(text) + "\": an IPv6 address is written in brackets, [ADDRESS]:PORT";
    return false;
  }
  const std::string_view digits = text.substr(colon + 1);
  int number = 0;
  const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (digits.empty() || failure != std::errc() || end != digits.data() + digits.size() || number < 1 ||
      number > 65535) {
    error = "\"" + std::string(text) + "\": the port is a number from 1 to 65535";
    return false;
  }
  host.assign(name);
  port = number;
  return true;
}

UdpSender::~UdpSender() {
  if (fd_ >= 0) ::close(fd_);
}

bool UdpSender::Open(std::string_view destination, std::string& why) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  counts_ = {};
  std::string host;
  int port = 0;
  if (!ParseUdpDestination(destination, host, port, why)) return false;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int failure = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); failure != 0) {
    why = "\"" + host + "\": " + ::gai_strerror(failure);
    return false;
  }
  std::string error;
  for (const addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
      error = std::string("no UDP socket: ") + std::strerror(errno);
      continue;
    }
    UdpKind kind = UdpKind::kUnicast;
    bool set = true;
    if (a->ai_family == AF_INET) {
      const in_addr address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
      const int on = 1;
      set = ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
      if (IN_MULTICAST(ntohl(address.s_addr))) {
        kind = UdpKind::kMulticast;
        const int ttl = kMulticastTtl;
        set = set && ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0;
      } else if (IsBroadcast(address)) {
        kind = UdpKind::kBroadcast;
      }
    } else if (a->ai_family == AF_INET6 &&
               IN6_IS_ADDR_MULTICAST(&reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr)) {
      kind = UdpKind::kMulticast;
      const int hops = kMulticastTtl;
      set = ::setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &hops, sizeof hops) == 0;
    }
    // Connected, so that the network's refusal of one datagram is told
    // by the next send. A network that cannot be reached now (a cable
    // out) may be there later: each datagram is then addressed on its own.
    bool connected = set && ::connect(fd, a->ai_addr, a->ai_addrlen) == 0;
    if (!connected && (!set || !Unreachable(errno))) {
      error = std::strerror(errno);
      ::close(fd);
      continue;
    }
    fd_ = fd;
    kind_ = kind;
    connected_ = connected;
    std::memcpy(&address_, a->ai_addr, a->ai_addrlen);
    addressLength_ = a->ai_addrlen;
  }
  ::freeaddrinfo(found);
  if (fd_ < 0) {
    why = std::string(destination) + ": " + (error.empty() ? std::string("no address") : error);
    return false;
  }
  destination_.assign(destination);
  return true;
}

bool UdpSender::Send(std::string_view datagram) {
  counts_.lastDropped = true;
  if (datagram.size() > kMaxDatagram) {
    ++counts_.tooLong;
    counts_.lastError = EMSGSIZE;
    return false;
  }
  ssize_t sent = -1;
  for (int tries = 0; tries < 2 && sent < 0; ++tries) {
    sent = connected_ ? ::send(fd_, datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL)
                      : ::sendto(fd_, datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                                 reinterpret_cast<const sockaddr*>(&address_), addressLength_);
    if (sent < 0 && errno != EINTR) break;
  }
  if (sent >= 0) {
    ++counts_.sent;
    counts_.lastDropped = false;
    return true;
  }
  counts_.lastError = errno;
  switch (errno) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case ENOBUFS: ++counts_.full; break;
    case ECONNREFUSED: ++counts_.refused; break;
    case EMSGSIZE: ++counts_.tooLong; break;
    default:
      if (Unreachable(errno)) ++counts_.unreachable;
      else ++counts_.failed;
      break;
  }
  return false;
}

}  // namespace sondrix
