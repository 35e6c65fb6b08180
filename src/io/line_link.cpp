// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/line_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <vector>

#include "common/text_format.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/posix/port_problem.h"

namespace sondrix {
namespace {

class UdpLink final : public LineLink {
 public:
  UdpLink(int fd, bool shared, const LinkRole& role) : fd_(fd), shared_(shared), role_(role) {}
  ~UdpLink() override { ::close(fd_); }
  UdpLink(const UdpLink&) = delete;
  UdpLink& operator=(const UdpLink&) = delete;

  bool Poll(const LineHandler& line) override {
    std::array<char, 2048> datagram{};
    // Where each datagram was sent (IP_PKTINFO), on a shared port.
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(in_pktinfo))> control{};
    for (;;) {
      iovec part{datagram.data(), datagram.size()};
      msghdr message{};
      message.msg_iov = &part;
      message.msg_iovlen = 1;
      message.msg_control = shared_ ? control.data() : nullptr;
      message.msg_controllen = shared_ ? control.size() : 0;
      const ssize_t n = ::recvmsg(fd_, &message, MSG_DONTWAIT);
      if (n >= 0) {
        if (shared_ && notice_.empty() && SentToThisComputerAlone(message)) {
          notice_ = Describe() +
                    " is shared with other programs, but its sender sends to this computer alone (not to the "
                    "network's broadcast address): each such datagram reaches only one of the programs, so " +
                    std::string(role_.data) + " may be missing; give udp:" + std::to_string(Port()) + " to take the port alone";
        }
        LineSplitter::Datagram(std::string_view(datagram.data(), static_cast<std::size_t>(n)), line);
        continue;
      }
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
  }

  int InputHandle() const override { return fd_; }
  std::string Describe() const override {
    return "udp:" + std::to_string(Port()) + (shared_ ? std::string(kSharedSuffix) : std::string());
  }

  int Port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
    return ntohs(address.sin_port);
  }

 private:
  // A unicast datagram: its destination is this computer's own address
  // (the kernel gives that same address as the local one), neither a
  // broadcast nor a multicast address, which every listener receives.
  static bool SentToThisComputerAlone(msghdr& message) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
      in_pktinfo info{};
      std::memcpy(&info, CMSG_DATA(c), sizeof info);
      const in_addr_t to = ntohl(info.ipi_addr.s_addr);
      return !IN_MULTICAST(to) && to != INADDR_BROADCAST && info.ipi_addr.s_addr == info.ipi_spec_dst.s_addr;
    }
    return false;
  }

  int fd_;
  bool shared_;
  LinkRole role_;
};

// The program that holds UDP `port` (by /proc/net/udp and udp6, then the
// processes' descriptors), "name, process pid"; `itself` when it is this
// one. Empty when it cannot be told (another user's processes).
std::string UdpPortHolder(int port, bool& itself) {
  itself = false;
  for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
    const std::optional<std::string> text = platform::ReadRegularFile(table);
    if (!text) continue;
    std::string_view rest = *text;
    while (!rest.empty()) {
      const std::size_t end = rest.find('\n');
      const std::string_view line = rest.substr(0, end);
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
      // "sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode ..."
      std::vector<std::string_view> fields;
      for (std::size_t at = 0; at < line.size();) {
        const std::size_t from = line.find_first_not_of(' ', at);
        if (from == std::string_view::npos) break;
        const std::size_t to = std::min(line.find(' ', from), line.size());
        fields.push_back(line.substr(from, to - from));
        at = to;
      }
      if (fields.size() < 10) continue;
      const std::size_t colon = fields[1].rfind(':');
      int local = 0;
      const std::string_view hex = colon == std::string_view::npos ? std::string_view() : fields[1].substr(colon + 1);
      if (std::from_chars(hex.data(), hex.data() + hex.size(), local, 16).ec != std::errc() || local != port)
        continue;
      // A process names itself: its name is one printable line here.
      const std::string holder = platform::DeviceHolder("socket:[" + std::string(fields[9]) + "]", itself);
      if (!holder.empty()) return PrintableText(holder);
    }
  }
  return {};
}

}  // namespace

void LineSplitter::Datagram(std::string_view text, const LineHandler& line) {
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    if (end != 0) line(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

void LineSplitter::Stream(std::string_view bytes, const LineHandler& line) {
  while (!bytes.empty()) {
    const std::size_t end = bytes.find_first_of("\r\n");
    const std::string_view piece = bytes.substr(0, end);
    if (skipping_) {
      // The rest of a line too long to keep goes, up to its end.
    } else if (partial_.size() + piece.size() > kLongestLine) {
      ++spoiled_;
      partial_.clear();
      skipping_ = true;
    } else if (end == std::string_view::npos) {
      partial_.append(piece);
    } else if (partial_.empty()) {
      line(piece);
    } else {
      partial_.append(piece);
      const std::string whole = std::move(partial_);
      partial_.clear();
      line(whole);
    }
    if (end == std::string_view::npos) break;
    skipping_ = false;
    bytes.remove_prefix(end + 1);
  }
}

void LineSplitter::DropPartial() {
  if (!partial_.empty()) ++spoiled_;
  partial_.clear();
  skipping_ = false;
}

bool RetryPace::Due() {
  const double now = platform::Timer();
  if (tried_ && platform::SecondsSince(last_) < 1.0) return false;
  tried_ = true;
  last_ = now;
  return true;
}

std::unique_ptr<LineLink> OpenUdpLink(int port, bool shared, const LinkRole& role, std::string& error) {
  if (port < 0 || port > 65535) {
    error = "a UDP port is 1 ... 65535";
    return nullptr;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("no UDP socket: ") + std::strerror(errno);
    return nullptr;
  }
  // Alone on the port unless asked to share it: two sockets on one port
  // (SO_REUSEADDR both) each get every broadcast, but a datagram sent to
  // this computer's address only one of them, and the other goes without
  // its fixes unawares. Without SO_REUSEADDR nobody can join the port
  // later, and a port taken already is refused here, with the holder.
  const int yes = 1;
  if (shared) {
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &yes, sizeof yes);
  }
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int failure = errno;
    ::close(fd);
    const std::string name = "udp:" + std::to_string(port);
    if (failure != EADDRINUSE) {
      error = name + " cannot be bound: " + std::strerror(failure);
      return nullptr;
    }
    bool itself = false;
    const std::string holder = UdpPortHolder(port, itself);
    if (itself) {
      error = name + " is already in use in this program";
    } else {
      error = name + " is already in use by another program" + (holder.empty() ? "" : " (" + holder + ")") +
              (shared ? ", which keeps it to itself"
                      : ": close it, or, when the " + std::string(role.data) + " are broadcast on the network and both programs should "
                        "get them, give " + name + std::string(kSharedSuffix) + " here and let the other "
                        "program share the port too");
    }
    return nullptr;
  }
  return std::make_unique<UdpLink>(fd, shared, role);
}

int UdpLinkPort(const LineLink& link) {
  const auto* udp = dynamic_cast<const UdpLink*>(&link);
  return udp != nullptr ? udp->Port() : -1;
}

}  // namespace sondrix
