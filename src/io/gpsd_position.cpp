// SPDX-License-Identifier: GPL-3.0-or-later
// Positions from gpsd, the receiver daemon: its JSON protocol over a TCP
// connection, not Debian's libgps. The protocol is gpsd's stable interface
// (one JSON object a line, documented and versioned by its VERSION
// report), read here with the JSON library the program already has; libgps
// changes its ABI (the soname) from one gpsd release to the next, would be
// one more library to build against, and cannot be tested without a real
// daemon, where the protocol can be served by a test's own socket.
//
// After connecting the source sends
//     ?WATCH={"enable":true,"json":true};
// and reads the reports: TPV (time, position, mode, status) gives the
// fixes, SKY the HDOP and the number of satellites used, which go with
// every following fix until the next SKY gives others. A TPV without a 2D
// or 3D fix (mode < 2) counts as invalid, one without a time as undated, a
// line that is no JSON object or a TPV without its position as malformed.
// Other reports (VERSION, DEVICES, WATCH, ...) are not used.
//
// The socket never waits: connecting waits at most kConnectSeconds at
// open, and a gpsd that goes away (stopped, restarted) is connected to again,
// about once a second, without waiting in Poll.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/log.h"
#include "io/gpsd_report.h"
#include "io/position_source.h"
#include "platform/clock.h"

namespace sondrix {
namespace {

using nlohmann::json;

constexpr double kConnectSeconds = 2.0;
// A reconnection still not through after this long is started again.
constexpr double kReconnectSeconds = 5.0;
constexpr std::string_view kWatch = "?WATCH={\"enable\":true,\"json\":true};\n";

struct Address {
  sockaddr_storage address{};
  socklen_t length = 0;
};

// "host:port", an IPv6 host in brackets.
std::string HostAndPort(const std::string& host, int port) {
  const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return shown + ":" + std::to_string(port);
}

// A non-blocking socket connecting (or connected) to `to`; -1 with errno
// set when the connection fails at once.
int StartConnect(const Address& to) {
  const int fd = ::socket(to.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to.address), to.length) == 0 || errno == EINPROGRESS) {
    return fd;
  }
  const int error = errno;
  ::close(fd);
  errno = error;
  return -1;
}

// How a connection under way ended: 0 connected, an errno value when it
// failed, EINPROGRESS while it goes on. Waits at most `seconds` for it.
int ConnectResult(int fd, double seconds) {
  pollfd pfd{fd, POLLOUT, 0};
  const int ready = ::poll(&pfd, 1, static_cast<int>(std::lround(seconds * 1000.0)));
  if (ready < 0) return errno == EINTR ? EINPROGRESS : errno;
  if (ready == 0) return EINPROGRESS;
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

bool SendWatch(int fd) {
  return ::send(fd, kWatch.data(), kWatch.size(), MSG_NOSIGNAL | MSG_DONTWAIT) ==
         static_cast<ssize_t>(kWatch.size());
}

// "YYYY-MM-DDThh:mm:ss[.fff...]Z": milliseconds since 1970 UTC.
std::optional<std::int64_t> IsoUtcMs(std::string_view text) {
  if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text.back() != 'Z') {
    return std::nullopt;
  }
  auto digits = [&](std::size_t at, std::size_t count) -> std::optional<int> {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      value = value * 10 + (text[i] - '0');
    }
    return value;
  };
  const auto year = digits(0, 4);
  const auto month = digits(5, 2);
  const auto day = digits(8, 2);
  const auto hours = digits(11, 2);
  const auto minutes = digits(14, 2);
  const auto whole = digits(17, 2);
  if (!year || !month || !day || !hours || !minutes || !whole || *hours > 23 || *minutes > 59 || *whole > 60) {
    return std::nullopt;
  }
  double fraction = 0.0;
  const std::string_view rest = text.substr(19, text.size() - 20);
  if (!rest.empty()) {
    if (rest.size() < 2 || rest[0] != '.' || rest.find_first_not_of("0123456789", 1) != std::string_view::npos) {
      return std::nullopt;
    }
    std::from_chars(rest.data(), rest.data() + rest.size(), fraction);
  }
  const std::chrono::year_month_day date{std::chrono::year{*year}, std::chrono::month{static_cast<unsigned>(*month)},
                                         std::chrono::day{static_cast<unsigned>(*day)}};
  if (!date.ok()) return std::nullopt;
  const std::int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
  return (days * 86400 + *hours * 3600LL + *minutes * 60LL + *whole) * 1000 + std::llround(fraction * 1000.0);
}

std::optional<double> NumberField(const json& report, const char* name) {
  const auto it = report.find(name);
  if (it == report.end() || !it->is_number()) return std::nullopt;
  const double value = it->get<double>();
  return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// The fix quality of NMEA's GGA for gpsd's TPV status: 2 DGPS, 3 RTK fixed,
// 4 RTK float, 5 and 6 dead reckoning; anything else an ordinary fix.
int QualityOfStatus(std::optional<double> status) {
  switch (status ? static_cast<int>(*status) : 1) {
    case 2: return 2;
    case 3: return 4;
    case 4: return 5;
    case 5:
    case 6: return 6;
    default: return 1;
  }
}

class GpsdPositionSource final : public PositionSource {
 public:
  GpsdPositionSource(std::string host, int port, std::vector<Address> addresses, int fd)
      : where_(HostAndPort(host, port)), addresses_(std::move(addresses)), fd_(fd) {}
  ~GpsdPositionSource() override { Close(); }
  GpsdPositionSource(const GpsdPositionSource&) = delete;
  GpsdPositionSource& operator=(const GpsdPositionSource&) = delete;

  bool Poll(std::vector<NmeaFix>& fixes) override {
    if (lost_ && !Reconnect()) return true;
    std::array<char, 8192> chunk{};
    for (;;) {
      const ssize_t n = ::recv(fd_, chunk.data(), chunk.size(), MSG_DONTWAIT);
      if (n > 0) {
        TakeStream(std::string_view(chunk.data(), static_cast<std::size_t>(n)),
                   [&](std::string_view line) { TakeReport(line, fixes); });
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
      GoneAway(n == 0 ? "the connection was closed" : std::strerror(errno));
      return true;
    }
  }

  int InputHandle() const override { return lost_ ? -1 : fd_; }

  std::string Describe() const override { return "gpsd " + where_; }

 private:
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  void GoneAway(const char* why) {
    SONDRIX_LOG(Warn, "gpsd at %s went away (%s); it is connected to again when it is back", where_.c_str(), why);
    Close();
    DropPartialLine();
    // The satellites of the last connection are not the next one's.
    sky_ = GpsdSky{};
    lost_ = true;
  }

  // Goes on with a connection under way, or starts one when it is time.
  bool Reconnect() {
    if (fd_ >= 0) {
      const int result = ConnectResult(fd_, 0.0);
      if (result == EINPROGRESS && platform::SecondsSince(connectStart_) < kReconnectSeconds) return false;
      if (result != 0 || !SendWatch(fd_)) {
        Close();
        return false;
      }
      lost_ = false;
      SONDRIX_LOG(Info, "gpsd at %s is back", where_.c_str());
      return true;
    }
    if (addresses_.empty() || !TimeToRetry()) return false;
    fd_ = StartConnect(addresses_[next_]);
    next_ = (next_ + 1) % addresses_.size();
    connectStart_ = platform::Timer();
    return false;
  }

  void TakeReport(std::string_view line, std::vector<NmeaFix>& fixes) {
    const GpsdReport report = ReadGpsdReport(line, sky_);
    switch (report.kind) {
      case GpsdReport::Kind::Fix: fixes.push_back(report.fix); break;
      case GpsdReport::Kind::Malformed: ++own_.malformed; break;
      case GpsdReport::Kind::Invalid: ++own_.invalid; break;
      case GpsdReport::Kind::Undated: ++own_.undated; break;
      case GpsdReport::Kind::Error:
        SONDRIX_LOG(Warn, "gpsd at %s: %s", where_.c_str(), report.message.c_str());
        break;
      case GpsdReport::Kind::Blank:
      case GpsdReport::Kind::Sky:
      case GpsdReport::Kind::Other: break;
    }
  }

  std::string where_;
  std::vector<Address> addresses_;
  std::size_t next_ = 0;
  int fd_;
  double connectStart_ = 0.0;
  GpsdSky sky_;
};

// The fix of a TPV report (its kind: Fix when usable).
GpsdReport::Kind TakeTpv(const json& report, const GpsdSky& sky, NmeaFix& fix) {
  const std::optional<double> mode = NumberField(report, "mode");
  if (!mode) return GpsdReport::Kind::Malformed;
  if (*mode < 2) return GpsdReport::Kind::Invalid;
  const auto time = report.find("time");
  if (time == report.end()) return GpsdReport::Kind::Undated;
  const std::optional<std::int64_t> utcMs =
      time->is_string() ? IsoUtcMs(time->get_ref<const std::string&>()) : std::nullopt;
  const std::optional<double> latitude = NumberField(report, "lat");
  const std::optional<double> longitude = NumberField(report, "lon");
  if (!utcMs || !latitude || !longitude || std::fabs(*latitude) > 90.0 || std::fabs(*longitude) > 180.0) {
    return GpsdReport::Kind::Malformed;
  }
  fix.utcMs = *utcMs;
  fix.latitude = *latitude;
  fix.longitude = *longitude;
  fix.quality = QualityOfStatus(NumberField(report, "status"));
  fix.satellites = sky.satellites;
  fix.hdop = sky.hdop;
  return GpsdReport::Kind::Fix;
}

void TakeSky(const json& report, GpsdSky& sky) {
  if (const std::optional<double> hdop = NumberField(report, "hdop"); hdop && *hdop >= 0.0) sky.hdop = *hdop;
  if (const std::optional<double> used = NumberField(report, "uSat"); used && *used >= 0.0) {
    sky.satellites = static_cast<int>(*used);
    return;
  }
  const auto satellites = report.find("satellites");
  if (satellites == report.end() || !satellites->is_array()) return;
  int used = 0;
  for (const json& satellite : *satellites) {
    const auto flag = satellite.is_object() ? satellite.find("used") : satellite.end();
    if (satellite.is_object() && flag != satellite.end() && flag->is_boolean() && flag->get<bool>()) ++used;
  }
  sky.satellites = used;
}

}  // namespace

GpsdReport ReadGpsdReport(std::string_view line, GpsdSky& sky) {
  GpsdReport out;
  if (line.find_first_not_of(" \t") == std::string_view::npos) return out;
  const json report = json::parse(line, nullptr, false);
  const auto kind = report.is_object() ? report.find("class") : report.end();
  if (report.is_discarded() || !report.is_object() || kind == report.end() || !kind->is_string()) {
    out.kind = GpsdReport::Kind::Malformed;
  } else if (*kind == "TPV") {
    out.kind = TakeTpv(report, sky, out.fix);
  } else if (*kind == "SKY") {
    TakeSky(report, sky);
    out.kind = GpsdReport::Kind::Sky;
  } else if (*kind == "ERROR") {
    out.kind = GpsdReport::Kind::Error;
    // A message that is no text is left out (json's value() would throw).
    if (const auto message = report.find("message"); message != report.end() && message->is_string()) {
      out.message = message->get<std::string>();
    }
  } else {
    out.kind = GpsdReport::Kind::Other;
  }
  return out;
}

std::unique_ptr<PositionSource> OpenGpsdPositionSource(const std::string& host, int port, std::string& error) {
  const std::string where = HostAndPort(host, port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int lookup = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (lookup != 0) {
    error = "gpsd at " + where + " cannot be found: " + ::gai_strerror(lookup);
    return nullptr;
  }
  std::vector<Address> addresses;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
    Address address;
    std::memcpy(&address.address, entry->ai_addr, entry->ai_addrlen);
    address.length = entry->ai_addrlen;
    addresses.push_back(address);
  }
  ::freeaddrinfo(found);

  // Each address in turn, all of them within the time allowed (the time of
  // the poll() that waits, not the platform's clock).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(kConnectSeconds);
  auto remaining = [&deadline] {
    return std::max(0.0, std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count());
  };
  int failure = EADDRNOTAVAIL;
  for (const Address& address : addresses) {
    const int fd = StartConnect(address);
    if (fd < 0) {
      failure = errno;
      continue;
    }
    do {
      failure = ConnectResult(fd, remaining());
    } while (failure == EINPROGRESS && remaining() > 0.0);
    if (failure == 0 && !SendWatch(fd)) failure = errno;
    if (failure == 0) {
      SONDRIX_LOG(Info, "Positions from gpsd at %s", where.c_str());
      return std::make_unique<GpsdPositionSource>(host, port, std::move(addresses), fd);
    }
    ::close(fd);
    if (failure == EINPROGRESS) failure = ETIMEDOUT;
  }
  error = "gpsd at " + where + " does not answer: " + std::strerror(failure);
  return nullptr;
}

}  // namespace sondrix
