// SPDX-License-Identifier: GPL-3.0-or-later
// Positions from gpsd, served by a fake gpsd of the test's own (a TCP socket
// on the loopback answering the source's WATCH with reports written by
// hand): the same fixes and counts however the reports are cut across
// reads; a gpsd that closes the connection is connected to again; one that
// is not there is an error at open.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_clock.h"
#include "support/log_capture.h"
#include "io/position_source.h"
#include "platform/clock.h"

namespace sondrix {
namespace {

using Steady = std::chrono::steady_clock;

const std::string kWatch = "?WATCH={\"enable\":true,\"json\":true};\n";

// What gpsd says after the WATCH: its greeting, a TPV without a fix, the
// satellites, a 3D DGPS fix, a TPV without a time, one with a latitude that
// is no number, a line that is no JSON, satellites listed one by one, a 2D
// fix, and the start of a report whose end has not come (not to be used).
const std::string kReports =
    R"({"class":"VERSION","release":"3.25","rev":"3.25","proto_major":3,"proto_minor":15})" "\n"
    R"({"class":"DEVICES","devices":[{"class":"DEVICE","path":"/dev/ttyUSB0","driver":"NMEA0183",)"
    R"("activated":"2026-12-09T20:50:30.000Z","native":0,"bps":4800,"parity":"N","stopbits":1,"cycle":1.00}]})" "\n"
    R"({"class":"WATCH","enable":true,"json":true,"nmea":false,"raw":0,"scaled":false,"timing":false})" "\n"
    R"({"class":"TPV","device":"/dev/ttyUSB0","mode":1,"time":"2026-12-09T20:50:36.000Z"})" "\n"
    R"({"class":"SKY","device":"/dev/ttyUSB0","hdop":0.9,"uSat":8,"nSat":11})" "\r\n"
    R"({"class":"TPV","device":"/dev/ttyUSB0","status":2,"mode":3,"time":"2026-12-09T20:50:37.250Z",)"
    R"("lat":48.1173,"lon":11.516667,"alt":545.4,"speed":0.1})" "\n"
    R"({"class":"TPV","device":"/dev/ttyUSB0","mode":3,"lat":48.1,"lon":11.5})" "\n"
    R"({"class":"TPV","mode":3,"time":"2026-12-09T20:50:38.000Z","lat":"48.1","lon":11.5})" "\n"
    "gpsd:ERROR: not json\n"
    R"({"class":"SKY","hdop":1.4,"satellites":[{"PRN":1,"used":true},{"PRN":2,"used":false},)"
    R"({"PRN":3,"used":true}]})" "\n"
    R"({"class":"TPV","mode":2,"time":"2026-12-09T20:50:39.500Z","lat":-33.8568,"lon":151.2153})" "\n"
    R"({"class":"TPV","mode":3,"time":"2026-12-09T20:50:40.000Z","lat":1.0,"lon":2.0)";

// 2026-12-09T20:50:37.250Z and 2026-12-09T20:50:39.500Z.
const std::vector<NmeaFix> kTruth = {
    {1796849437250LL, 48.1173, 11.516667, 2, 8, 0.9},
    {1796849439500LL, -33.8568, 151.2153, 1, 2, 1.4},
};
const PositionCounts kTruthCounts{.badChecksums = 0, .malformed = 2, .invalid = 1, .undated = 1};

bool Same(const NmeaFix& a, const NmeaFix& b) {
  return a.utcMs == b.utcMs && a.latitude == b.latitude && a.longitude == b.longitude && a.quality == b.quality &&
         a.satellites == b.satellites && a.hdop == b.hdop;
}

// A gpsd of the test's own on 127.0.0.1, any free port.
class FakeGpsd {
 public:
  FakeGpsd() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 4) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::abort();
    }
    port_ = ntohs(address.sin_port);
  }
  ~FakeGpsd() {
    Hangup();
    ::close(listener_);
  }
  FakeGpsd(const FakeGpsd&) = delete;
  FakeGpsd& operator=(const FakeGpsd&) = delete;

  int port() const { return port_; }

  // Takes the source's connection and returns what it asked (its first
  // line), waiting up to two seconds.
  std::string Accept() {
    Hangup();
    pollfd pfd{listener_, POLLIN, 0};
    if (::poll(&pfd, 1, 2000) != 1) return "(no connection)";
    client_ = ::accept(listener_, nullptr, nullptr);
    std::string asked;
    const auto deadline = Steady::now() + std::chrono::seconds(2);
    while (asked.find('\n') == std::string::npos && Steady::now() < deadline) {
      pollfd in{client_, POLLIN, 0};
      if (::poll(&in, 1, 50) != 1) continue;
      char buffer[256];
      const ssize_t n = ::recv(client_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      asked.append(buffer, static_cast<std::size_t>(n));
    }
    return asked;
  }
  void Send(std::string_view text) const {
    ASSERT_EQ(::send(client_, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
  }
  void Hangup() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
  }

 private:
  int listener_ = -1;
  int client_ = -1;
  int port_ = 0;
};

// Polls until `done` or two seconds have passed.
template <typename Done>
void PollUntil(PositionSource& source, std::vector<NmeaFix>& fixes, Done done) {
  const auto deadline = Steady::now() + std::chrono::seconds(2);
  while (!done() && Steady::now() < deadline) {
    EXPECT_TRUE(source.Poll(fixes));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

TEST(GpsdPositionTest, ReportsCutAnywhereGiveTheirFixesAndCounts) {
  FakeGpsd gpsd;
  for (std::size_t piece : {kReports.size(), std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7},
                            std::size_t{13}, std::size_t{64}, std::size_t{101}}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    std::string error;
    const auto source = OpenPositionSource("gpsd:127.0.0.1:" + std::to_string(gpsd.port()), 4800, error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->Describe(), "gpsd 127.0.0.1:" + std::to_string(gpsd.port()));
    EXPECT_EQ(gpsd.Accept(), kWatch);
    EXPECT_GE(source->InputHandle(), 0);
    std::vector<NmeaFix> fixes;
    for (std::size_t at = 0; at < kReports.size(); at += piece) {
      gpsd.Send(std::string_view(kReports).substr(at, piece));
      EXPECT_TRUE(source->Poll(fixes));
    }
    PollUntil(*source, fixes, [&] { return source->Counts() == kTruthCounts && fixes.size() >= kTruth.size(); });
    ASSERT_EQ(fixes.size(), kTruth.size());
    for (std::size_t k = 0; k < kTruth.size(); ++k) EXPECT_TRUE(Same(fixes[k], kTruth[k])) << "fix " << k;
    EXPECT_EQ(source->Counts(), kTruthCounts);
    EXPECT_FALSE(source->Lost());
  }
}

// Reports whose JSON is sound but whose values are no time, place or count
// of theirs: each is malformed and counted, the satellites and HDOP of a
// bad SKY are not taken, and gpsd's ERROR goes to the log as one printable
// line whatever bytes its message holds.
TEST(GpsdPositionTest, ValuesOutOfTheirRangeAreMalformedAndErrorsAreLoggedPrintable) {
  FakeGpsd gpsd;
  std::string error;
  const auto source = OpenGpsdPositionSource("127.0.0.1", gpsd.port(), error);
  ASSERT_NE(source, nullptr) << error;
  ASSERT_EQ(gpsd.Accept(), kWatch);
  test::LogCapture log(LogLevel::Warn);
  const std::string fixAt = R"(,"lat":48.1173,"lon":11.516667})";
  gpsd.Send(R"({"class":"SKY","hdop":0.9,"uSat":8})" "\n"
            R"({"class":"TPV","mode":3,"time":"0000-01-01T00:00:00.000Z")" + fixAt + "\n" +
            R"({"class":"TPV","mode":3,"time":"9999-12-31T23:59:59.000Z")" + fixAt + "\n" +
            R"({"class":"TPV","mode":3,"time":"2026-02-31T12:00:00.000Z")" + fixAt + "\n" +
            R"({"class":"TPV","mode":3,"time":"2026-12-09T12:00:60.000Z")" + fixAt + "\n" +
            R"({"class":"TPV","mode":3,"time":"2026-12-09T-1:00:00.000Z")" + fixAt + "\n" +
            R"({"class":"TPV","mode":1e300,"time":"2026-12-09T20:50:37.000Z")" + fixAt + "\n" +
            R"({"class":"TPV","mode":3,"status":1e300,"time":"2026-12-09T20:50:37.000Z")" + fixAt + "\n" +
            R"({"class":"TPV","mode":3.5,"time":"2026-12-09T20:50:37.000Z")" + fixAt + "\n" +
            R"({"class":"TPV","mode":3,"time":"2026-12-09T20:50:37.000Z","lat":1e400,"lon":11.5})" "\n"
            R"({"class":"TPV","mode":3,"time":"2026-12-09T20:50:37.000Z","lat":NaN,"lon":11.5})" "\n"
            R"({"class":"TPV","mode":3,"time":"2026-12-09T20:50:37.000Z","lat":48.1,"lon":-180.5})" "\n"
            R"({"class":"SKY","hdop":0.5,"uSat":1e300})" "\n"
            R"({"class":"SKY","hdop":-1,"uSat":4})" "\n"
            R"({"class":"SKY","hdop":1e400,"uSat":4})" "\n"
            R"({"class":"ERROR","message":"unrecognized \u001b[2J\r\n[warn] forged line\u0085 \u00e9t\u00e9"})" "\n"
            R"({"class":"TPV","mode":3,"time":"2026-12-09T23:59:60.000Z")" + fixAt + "\n");
  std::vector<NmeaFix> fixes;
  const PositionCounts counts{.badChecksums = 0, .malformed = 14, .invalid = 0, .undated = 0};
  PollUntil(*source, fixes, [&] { return source->Counts() == counts && !fixes.empty(); });
  EXPECT_EQ(source->Counts(), counts);
  // The leap second's fix, with the first SKY's satellites and HDOP: the
  // bad ones changed nothing.
  ASSERT_EQ(fixes.size(), 1u);
  EXPECT_TRUE(Same(fixes[0], {1796860800000LL, 48.1173, 11.516667, 1, 8, 0.9}));
  const std::vector<std::string> logged = log.Containing("gpsd at");
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0], "gpsd at 127.0.0.1:" + std::to_string(gpsd.port()) +
                           ": unrecognized \\x1b[2J\\x0d\\x0a[warn] forged line\\xc2\\x85 \u00e9t\u00e9");
}

TEST(GpsdPositionTest, AGpsdThatHangsUpIsConnectedToAgain) {
  test::FakeClock clock;
  platform::ScopedClock scopedClock(clock);
  FakeGpsd gpsd;
  std::string error;
  const auto source = OpenGpsdPositionSource("127.0.0.1", gpsd.port(), error);
  ASSERT_NE(source, nullptr) << error;
  ASSERT_EQ(gpsd.Accept(), kWatch);
  gpsd.Send(R"({"class":"SKY","hdop":0.9,"uSat":8})" "\n"
            R"({"class":"TPV","mode":3,"time":"2026-12-09T20:50:37.250Z","lat":48.1)");
  gpsd.Hangup();
  std::vector<NmeaFix> fixes;
  PollUntil(*source, fixes, [&] { return source->Lost(); });
  ASSERT_TRUE(source->Lost());
  EXPECT_EQ(source->InputHandle(), -1);
  EXPECT_EQ(source->Counts().malformed, 1);  // the report cut off

  // The next poll starts connecting; gpsd takes the connection and gets its
  // WATCH once the connection is through.
  EXPECT_TRUE(source->Poll(fixes));
  EXPECT_TRUE(source->Lost());
  PollUntil(*source, fixes, [&] { return !source->Lost(); });
  EXPECT_EQ(gpsd.Accept(), kWatch);
  gpsd.Send(R"({"class":"TPV","mode":3,"time":"2026-12-09T20:50:39.500Z","lat":-33.8568,"lon":151.2153})" "\n");
  PollUntil(*source, fixes, [&] { return !fixes.empty(); });
  ASSERT_EQ(fixes.size(), 1u);
  // The satellites of the connection before are not this one's.
  EXPECT_TRUE(Same(fixes[0], {1796849439500LL, -33.8568, 151.2153, 1, -1, -1.0}));
}

TEST(GpsdPositionTest, AGpsdThatIsNotThereIsAnErrorAtOpen) {
  int port = 0;
  {
    // A port that was free a moment ago, and nobody listens on.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    port = ntohs(address.sin_port);
    ::close(fd);
  }
  std::string error;
  EXPECT_EQ(OpenPositionSource("gpsd:127.0.0.1:" + std::to_string(port), kDefaultPositionBaud, error), nullptr);
  EXPECT_EQ(error, "gpsd at 127.0.0.1:" + std::to_string(port) + " does not answer: Connection refused");

  // A gpsd too busy to take the connection (its queue of connections full):
  // the open gives up after its two seconds instead of keeping the run.
  FakeGpsd busy;
  std::vector<std::unique_ptr<PositionSource>> waiting;
  for (int k = 0; k < 8; ++k) {
    auto source = OpenGpsdPositionSource("127.0.0.1", busy.port(), error);
    if (source == nullptr) break;
    waiting.push_back(std::move(source));
  }
  ASSERT_LT(waiting.size(), 8u) << "the listener took every connection";
  EXPECT_EQ(error, "gpsd at 127.0.0.1:" + std::to_string(busy.port()) + " does not answer: Connection timed out");
}

}  // namespace
}  // namespace sondrix
