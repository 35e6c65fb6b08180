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
// or 3D fix (mode < 2) counts as invalid, one without a time as undated; a
// line that is no JSON object, a TPV without its position or with a field
// out of its range (a date that does not exist or lies outside the years
// of nmea.h, a latitude beyond the pole, a mode or status that is no whole
// number of theirs) and a SKY whose HDOP or satellites are no such numbers
// (1e300 satellites) count as malformed and are not used. An ERROR's message
// goes to the log as one printable line. Other reports (VERSION, DEVICES,
// WATCH, ...) are not used.
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
#include "common/text_format.h"
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
// A SKY's satellites used and HDOP beyond these are no numbers of a sky.
constexpr int kMostSatellites = 1000;
constexpr double kLargestHdop = 1000.0;
// What of gpsd's ERROR message the log keeps.
constexpr std::size_t kLoggedBytes = 200;

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

// gpsd's "time", "YYYY-MM-DDThh:mm:ss[.fff...]Z": milliseconds since 1970
// UTC, of the years a fix may have.
std::optional<std::int64_t> IsoUtcMs(std::string_view text) {
  if (text.empty() || text.back() != 'Z') return std::nullopt;
  const std::optional<std::int64_t> utc = ParseIsoUtc(text);
  if (!utc) return std::nullopt;
  const int year = (text[0] - '0') * 1000 + (text[1] - '0') * 100 + (text[2] - '0') * 10 + (text[3] - '0');
  if (year < kEarliestFixYear || year > kLatestFixYear) return std::nullopt;
  return utc;
}

std::optional<double> NumberField(const json& report, const char* name) {
  const auto it = report.find(name);
  if (it == report.end() || !it->is_number()) return std::nullopt;
  const double value = it->get<double>();
  return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// A field that, when there, is a whole number `low` ... `high`: absent
// (nullopt, `ok` true), that number, or out of its range (`ok` false: a
// string, a fraction, 1e300, NaN).
std::optional<int> WholeField(const json& report, const char* name, int low, int high, bool& ok) {
  const auto it = report.find(name);
  if (it == report.end()) return std::nullopt;
  const std::optional<double> value = NumberField(report, name);
  if (!value || *value != std::floor(*value) || *value < low || *value > high) {
    ok = false;
    return std::nullopt;
  }
  return static_cast<int>(*value);
}

// The fix quality of NMEA's GGA for gpsd's TPV status: 2 DGPS, 3 RTK fixed,
// 4 RTK float, 5 and 6 dead reckoning; anything else an ordinary fix.
int QualityOfStatus(std::optional<int> status) {
  switch (status.value_or(1)) {
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
      : where_(PrintableText(HostAndPort(host, port))), addresses_(std::move(addresses)), fd_(fd) {}
  ~GpsdPositionSource() override { Close(); }
  GpsdPositionSource(const GpsdPositionSource&) = delete;
  GpsdPositionSource& operator=(const GpsdPositionSource&) = delete;

  bool Poll(std::vector<NmeaFix>& fixes) override {
    if (lost_ && !Reconnect()) return true;
    std::array<char, 8192> chunk{};
    for (;;) {
      const ssize_t n = ::recv(fd_, chunk.data(), chunk.size(), MSG_DONTWAIT);
      if (n > 0) {
        splitter_.Stream(std::string_view(chunk.data(), static_cast<std::size_t>(n)),
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
    splitter_.DropPartial();
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
    if (addresses_.empty() || !retry_.Due()) return false;
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
      case GpsdReport::Kind::Error: SONDRIX_LOG(Warn, "gpsd at %s: %s", where_.c_str(), report.message.c_str()); break;
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
  // mode 0 unknown, 1 no fix, 2 2D, 3 3D; status 0 ... 9 (gpsd's
  // STATUS_*), 1 when not given.
  bool whole = true;
  const std::optional<int> mode = WholeField(report, "mode", 0, 3, whole);
  const std::optional<int> status = WholeField(report, "status", 0, 9, whole);
  if (!mode || !whole) return GpsdReport::Kind::Malformed;
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
  fix.quality = QualityOfStatus(status);
  fix.satellites = sky.satellites;
  fix.hdop = sky.hdop;
  return GpsdReport::Kind::Fix;
}

// The HDOP and satellites used of a SKY, for the fixes after it; false
// (nothing taken) when one of them is no number of its kind: an HDOP that
// is negative or absurd (gpsd says 99.99 for none), a count of satellites
// that is no whole number up to kMostSatellites.
bool TakeSky(const json& report, GpsdSky& sky) {
  bool whole = true;
  const std::optional<int> used = WholeField(report, "uSat", 0, kMostSatellites, whole);
  const auto hdopField = report.find("hdop");
  const std::optional<double> hdop = NumberField(report, "hdop");
  if (!whole || (hdopField != report.end() && (!hdop || *hdop < 0.0 || *hdop > kLargestHdop))) return false;
  int listed = -1;
  if (!used) {
    const auto satellites = report.find("satellites");
    if (satellites != report.end() && satellites->is_array()) {
      listed = 0;
      for (const json& satellite : *satellites) {
        const auto flag = satellite.is_object() ? satellite.find("used") : satellite.end();
        if (satellite.is_object() && flag != satellite.end() && flag->is_boolean() && flag->get<bool>()) ++listed;
      }
      if (listed > kMostSatellites) return false;
    }
  }
  if (hdop) sky.hdop = *hdop;
  if (used) sky.satellites = *used;
  else if (listed >= 0) sky.satellites = listed;
  return true;
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
    out.kind = TakeSky(report, sky) ? GpsdReport::Kind::Sky : GpsdReport::Kind::Malformed;
  } else if (*kind == "ERROR") {
    // gpsd's words, whatever bytes they hold, as one printable line.
    const auto message = report.find("message");
    out.kind = GpsdReport::Kind::Error;
    out.message = message != report.end() && message->is_string()
                      ? PrintableText(message->get_ref<const std::string&>(), false, kLoggedBytes)
                      : std::string("(no message)");
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
      SONDRIX_LOG(Info, "Positions from gpsd at %s", PrintableText(where).c_str());
      return std::make_unique<GpsdPositionSource>(host, port, std::move(addresses), fd);
    }
    ::close(fd);
    if (failure == EINPROGRESS) failure = ETIMEDOUT;
  }
  error = "gpsd at " + where + " does not answer: " + std::strerror(failure);
  return nullptr;
}

}  // namespace sondrix
