#include "io/position_source.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cerrno>
#include <cstring>

namespace sondrix {
namespace {

class UdpPositionSource final : public PositionSource {
 public:
  explicit UdpPositionSource(int fd) : fd_(fd) {}
  ~UdpPositionSource() override { ::close(fd_); }
  UdpPositionSource(const UdpPositionSource&) = delete;
  UdpPositionSource& operator=(const UdpPositionSource&) = delete;

  bool Poll(std::vector<NmeaFix>& fixes) override {
    std::array<char, 2048> datagram{};
    for (;;) {
      const ssize_t n = ::recv(fd_, datagram.data(), datagram.size(), MSG_DONTWAIT);
      if (n >= 0) {
        Take(std::string_view(datagram.data(), static_cast<std::size_t>(n)), fixes);
        continue;
      }
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
  }

  int InputHandle() const override { return fd_; }
  std::string Describe() const override { return "udp:" + std::to_string(Port()); }

  int Port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
    return ntohs(address.sin_port);
  }

 private:
  int fd_;
};

}  // namespace

void PositionSource::Take(std::string_view text, std::vector<NmeaFix>& fixes) {
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view sentence = text.substr(0, end);
    NmeaFix fix;
    if (!sentence.empty() && parser_.Parse(sentence, fix) == NmeaParser::Result::Fix) fixes.push_back(fix);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

std::unique_ptr<PositionSource> OpenUdpPositionSource(int port, std::string& error) {
  if (port < 0 || port > 65535) {
    error = "a UDP port is 1 ... 65535";
    return nullptr;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("no UDP socket: ") + std::strerror(errno);
    return nullptr;
  }
  // Another listener on the ship's broadcast port is no reason to refuse.
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = "UDP port " + std::to_string(port) + " cannot be bound: " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<UdpPositionSource>(fd);
}

std::unique_ptr<PositionSource> OpenPositionSource(std::string_view spec, long /*baud*/, std::string& error) {
  if (spec.starts_with("udp:")) {
    int port = -1;
    const std::string_view digits = spec.substr(4);
    const auto [end, failed] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (failed == std::errc() && end == digits.data() + digits.size() && port > 0)
      return OpenUdpPositionSource(port, error);
  }
  error = "\"" + std::string(spec) + "\" is no position source: udp:PORT";
  return nullptr;
}

int UdpPort(const PositionSource& source) {
  const auto* udp = dynamic_cast<const UdpPositionSource*>(&source);
  return udp != nullptr ? udp->Port() : -1;
}

}  // namespace sondrix
