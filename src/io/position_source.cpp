// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/position_source.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cerrno>
#include <cstring>

#include "common/utils.h"
#include "platform/clock.h"

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
    TakeSentence(text.substr(0, end), fixes);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

void PositionSource::TakeSentence(std::string_view sentence, std::vector<NmeaFix>& fixes) {
  NmeaFix fix;
  if (!sentence.empty() && parser_.Parse(sentence, fix) == NmeaParser::Result::Fix) fixes.push_back(fix);
}

void PositionSource::TakeStream(std::string_view bytes, const std::function<void(std::string_view)>& line) {
  while (!bytes.empty()) {
    const std::size_t end = bytes.find_first_of("\r\n");
    const std::string_view piece = bytes.substr(0, end);
    if (skipping_) {
      // The rest of a line too long to keep goes, up to its end.
    } else if (partial_.size() + piece.size() > kLongestLine) {
      ++own_.malformed;
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

void PositionSource::DropPartialLine() {
  if (!partial_.empty()) ++own_.malformed;
  partial_.clear();
  skipping_ = false;
}

bool PositionSource::TimeToRetry() {
  const double now = platform::Timer();
  if (tried_ && platform::SecondsSince(lastTry_) < 1.0) return false;
  tried_ = true;
  lastTry_ = now;
  return true;
}

PositionCounts PositionSource::Counts() const {
  PositionCounts counts = own_;
  counts.badChecksums += parser_.badChecksums();
  counts.malformed += parser_.malformed();
  counts.invalid += parser_.invalid();
  counts.undated += parser_.undated();
  return counts;
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

int UdpPort(const PositionSource& source) {
  const auto* udp = dynamic_cast<const UdpPositionSource*>(&source);
  return udp != nullptr ? udp->Port() : -1;
}

namespace {

// A port number 1 ... 65535 written in full, else 0.
int PortNumber(std::string_view text) {
  int port = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (text.empty() || failure != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535) return 0;
  return port;
}

// "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT" after "gpsd:".
bool ParseGpsdAddress(std::string_view text, PositionSpec& spec) {
  std::string_view host = text;
  std::string_view port;
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    host = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && (rest.front() != ':' || rest.size() == 1)) return false;
    if (!rest.empty()) port = rest.substr(1);
  } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (port.empty()) return false;
  }
  if (host.empty() || host.find_first_of(" \t[]") != std::string_view::npos) return false;
  spec.name = std::string(host);
  if (!port.empty() && (spec.port = PortNumber(port)) == 0) return false;
  return true;
}

}  // namespace

std::optional<PositionSpec> ParsePositionSpec(std::string_view spec, std::string& error) {
  PositionSpec parsed;
  if (IsPortName(spec) != 0 || (spec.size() > 1 && spec.front() == '/')) {
    parsed.kind = PositionSpec::Kind::Serial;
    parsed.name = std::string(spec);
    if (IsPortName(spec) != 0) parsed.name = "COM" + std::string(1, spec[3]);
    return parsed;
  }
  if (spec.size() > 4 && stricmp(spec.substr(0, 4), "udp:") == 0) {
    parsed.kind = PositionSpec::Kind::Udp;
    if ((parsed.port = PortNumber(spec.substr(4))) != 0) return parsed;
  } else if (stricmp(spec.substr(0, 4), "gpsd") == 0 && (spec.size() == 4 || spec[4] == ':')) {
    parsed.kind = PositionSpec::Kind::Gpsd;
    parsed.name = "localhost";
    parsed.port = kGpsdPort;
    if (spec.size() == 4 || ParseGpsdAddress(spec.substr(5), parsed)) return parsed;
  }
  error = "\"" + std::string(spec) +
          "\" is no position source: give COM1 ... COM8, a device path (/dev/ttyUSB1), udp:PORT, gpsd, "
          "gpsd:HOST or gpsd:HOST:PORT";
  return std::nullopt;
}

std::unique_ptr<PositionSource> OpenPositionSource(std::string_view spec, long baud, std::string& error) {
  const std::optional<PositionSpec> parsed = ParsePositionSpec(spec, error);
  if (!parsed) return nullptr;
  switch (parsed->kind) {
    case PositionSpec::Kind::Serial:
      return OpenSerialPositionSource(parsed->name, baud, error);
    case PositionSpec::Kind::Udp:
      return OpenUdpPositionSource(parsed->port, error);
    case PositionSpec::Kind::Gpsd:
      return OpenGpsdPositionSource(parsed->name, parsed->port, error);
  }
  return nullptr;
}

}  // namespace sondrix
