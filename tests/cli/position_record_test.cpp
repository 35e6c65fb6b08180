// SPDX-License-Identifier: GPL-3.0-or-later
// A run with a GPS receiver beside the meter, end to end: the simulated
// meter on one pseudo-terminal, the simulated receiver on another (and over
// UDP on the loopback), `sondrix-cli record --position`, then the export.
// What was recorded and exported is checked against the receiver's own
// record of the true track (its --report): every fix in the track is a fix
// the receiver sent intact, at the true place; every exported sample lies
// on the true track at its UTC time within one second of travel; the
// samples of a dropout longer than 10 s have no position; spoiled
// sentences are counted, never used.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/cli_run.h"
#include "datafile/companion.h"
#include "datafile/track.h"
#include "support/fixtures.h"
#include "support/sim_report.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::Quoted;

const std::string kDevice = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";
constexpr double kKnots = 10.0;
constexpr double kEarthRadius = 6371008.8;  // metres
// One second of travel at kKnots, metres.
constexpr double kOneSecond = kKnots * 1852.0 / 3600.0;

// One second of the receiver's report: the true place and whether a
// usable fix of it was sent.
struct TrueFix {
  double latitude = 0.0;
  double longitude = 0.0;
  bool usable = false;
};

std::map<long long, TrueFix> ReadReceiverReport(const std::string& path) {
  std::map<long long, TrueFix> seconds;
  const auto lines = test::Lines(test::ReadTextFile(path).value_or(""));
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> f = test::Split(lines[i], '\t');
    if (f.size() < 10 || f[0] == "totals") continue;
    seconds[std::stoll(f[2])] = {std::stod(f[3]), std::stod(f[4]), f[9] == "yes"};
  }
  return seconds;
}

// Metres between two places (haversine).
double Distance(double lat1, double lon1, double lat2, double lon2) {
  const double rad = M_PI / 180.0;
  const double dLat = (lat2 - lat1) * rad;
  const double dLon = (lon2 - lon1) * rad;
  const double a = std::pow(std::sin(dLat / 2), 2) + std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::pow(std::sin(dLon / 2), 2);
  return 2 * kEarthRadius * std::asin(std::sqrt(a));
}

// "2026-12-09T20:49:33.250Z" in ms since 1970.
long long IsoMs(const std::string& text) {
  std::tm tm{};
  int ms = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min,
                  &tm.tm_sec, &ms) != 7)
    return -1;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return static_cast<long long>(timegm(&tm)) * 1000 + ms;
}


class PositionRecordCli : public test::HeadlessTest {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(test::kSim) && std::filesystem::exists(test::kCli)); }

  // The receiver (its options after --nmea), then the meter for `seconds`
  // at 30 Hz, recorded with `--position position` until the meter ends.
  void Record(const std::vector<std::string>& receiverArgs, bool onPty, int seconds) {
    std::vector<std::string> gps = {"--nmea", "--speed", "10", "--heading", "30", "--start", "-33.5,151.25",
                                    "--report", home.File("gps.tsv"), "--quiet"};
    gps.insert(gps.end(), receiverArgs.begin(), receiverArgs.end());
    std::string ports = "[Ports]\n";
    if (onPty) {
      const std::string path = test::StartPtySim(receiver, gps, home, "gps");
      ASSERT_FALSE(path.empty());
      ports += "COM2=" + path + "\n";
    } else {
      receiver = std::make_unique<test::Background>(test::kSim, gps, home.File("gps.out"), home.File("gps.err"));
      ASSERT_TRUE(receiver->started());
    }
    const std::string meter = test::StartPtySim(
        sim, {"--device", kDevice, "--rate", "30", "--quiet", "--seconds", std::to_string(seconds)}, home);
    ASSERT_FALSE(meter.empty());
    WriteSettings(ports + "COM1=" + meter + "\n");
    // The run ends at a line limit a second before the meter does.
    const std::string lines = std::to_string(30 * (seconds - 1));
    test::Background record(test::kCli,
                            {"record", "--device", kDevice, "--port", "COM1", "--out", home.File("run.dat"),
                             "--position", position, "--lines", lines},
                            home.File("rec.out"), home.File("rec.err"));
    ASSERT_TRUE(record.started());
    int status = record.Wait(seconds + 30.0);
    if (status == -1) {
      record.Signal(SIGINT);
      status = record.Wait(20.0);
    }
    receiver->Signal(SIGTERM);
    receiver->Wait(10.0);
    err = test::ReadTextFile(home.File("rec.err")).value_or("");
    ASSERT_EQ(status, 0) << err;
    truth = ReadReceiverReport(home.File("gps.tsv"));
    ASSERT_FALSE(truth.empty());
  }

  // Every fix of the track is one the receiver sent usable, at its true
  // place (within the sentence's rounding); every usable second between
  // the first and the last is there. The fixes, in time order.
  std::vector<TrackFix> CheckTrack() {
    std::vector<TrackFix> track;
    long skipped = 0;
    std::string error;
    EXPECT_EQ(ReadTrack(home.File("run.track.csv"), track, skipped, error), 1) << error;
    EXPECT_EQ(skipped, 0);
    EXPECT_GE(track.size(), 3u);
    if (track.empty()) return track;
    for (const TrackFix& fix : track) {
      const auto second = truth.find(fix.utcMs);
      if (second == truth.end()) {
        ADD_FAILURE() << "a fix the receiver never sent: " << fix.utcMs << " (report " << truth.begin()->first << " ... " << truth.rbegin()->first << ", " << truth.size() << ")";
        continue;
      }
      EXPECT_TRUE(second->second.usable) << fix.utcMs;
      EXPECT_NEAR(fix.latitude, second->second.latitude, 2e-7) << fix.utcMs;
      EXPECT_NEAR(fix.longitude, second->second.longitude, 2e-7) << fix.utcMs;
      EXPECT_TRUE(fix.source.starts_with(position)) << fix.source;
    }
    long expected = 0;
    for (auto it = truth.find(track.front().utcMs); it != truth.end() && it->first <= track.back().utcMs; ++it)
      expected += it->second.usable ? 1 : 0;
    EXPECT_EQ(static_cast<long>(track.size()), expected);
    return track;
  }

  // Exports the run as CSV: every sample with a position lies on the true
  // track within one second of travel; a sample has one exactly when it
  // lies between fixes at most 10 s apart. The samples with a position.
  long CheckExport(const std::vector<TrackFix>& track) {
    const test::CliRun exported = test::RunTool(test::kCli, "export " + Quoted(home.File("run.dat")) + " --format csv", home);
    EXPECT_EQ(exported.exitStatus, 0) << exported.err;
    const auto lines = test::Lines(test::ReadTextFile(home.File("run.csv")).value_or(""));
    std::size_t header = 0;
    while (header < lines.size() && !lines[header].starts_with("time_utc")) ++header;
    if (header == lines.size()) {
      ADD_FAILURE() << "no CSV header";
      return 0;
    }
    const std::vector<std::string> names = test::Split(lines[header], ',');
    std::size_t lat = names.size(), lon = names.size();
    for (std::size_t k = 0; k < names.size(); ++k) {
      if (names[k].starts_with("latitude")) lat = k;
      if (names[k].starts_with("longitude")) lon = k;
    }
    if (lat == names.size() || lon == names.size()) {
      ADD_FAILURE() << lines[header];
      return 0;
    }
    long placed = 0;
    for (std::size_t i = header + 1; i < lines.size(); ++i) {
      const std::vector<std::string> f = test::Split(lines[i], ',');
      if (f.size() != names.size()) continue;
      const long long at = IsoMs(f[0]);
      // Between which fixes of the track the sample lies.
      auto after = std::upper_bound(track.begin(), track.end(), at,
                                    [](long long t, const TrackFix& fix) { return t < fix.utcMs; });
      const bool bracketed = after != track.begin() &&
                             ((after - 1)->utcMs == at ||
                              (after != track.end() && after->utcMs - (after - 1)->utcMs <= 10000));
      const bool hasPosition = !f[lat].empty() && f[lat] != "NaN" && f[lat] != "nan";
      EXPECT_EQ(hasPosition, bracketed) << lines[i];
      if (!hasPosition) continue;
      ++placed;
      // The true place at `at`: between the receiver's true seconds.
      const long long second = at - ((at % 1000) + 1000) % 1000;
      const auto a = truth.find(second);
      const auto b = truth.find(second + 1000);
      if (a == truth.end() || b == truth.end()) continue;
      const double f01 = static_cast<double>(at - second) / 1000.0;
      const double trueLat = a->second.latitude + f01 * (b->second.latitude - a->second.latitude);
      const double trueLon = a->second.longitude + f01 * (b->second.longitude - a->second.longitude);
      EXPECT_LE(Distance(std::stod(f[lat]), std::stod(f[lon]), trueLat, trueLon), kOneSecond) << lines[i];
    }
    return placed;
  }

  std::unique_ptr<test::Background> sim;
  std::unique_ptr<test::Background> receiver;
  std::string position;
  std::string err;
  std::map<long long, TrueFix> truth;
};

// On a pseudo-terminal (COM2), paced: a dropout of 12 s, every 5th sentence
// with a bad checksum, every 11th cut short, and 3 s of invalid fixes.
TEST_F(PositionRecordCli, ASerialReceiverWithFaultsIsRecordedAndMergedTrueToItsTrack) {
  position = "COM2";
  Record({"--seconds", "40", "--nmea-dropout", "5:12", "--nmea-bad-checksum", "5", "--nmea-cut", "11",
          "--nmea-invalid", "20:3"},
         /*onPty=*/true, 24);
  const std::vector<TrackFix> track = CheckTrack();
  EXPECT_NE(err.find("The position source COM2 ("), std::string::npos) << err;
  EXPECT_NE(err.find("sentences were spoiled (bad checksum or cut short) and not used"), std::string::npos) << err;
  EXPECT_NE(err.find("fixes the receiver called invalid were not used"), std::string::npos) << err;
  // The dropout is logged as it goes on, and summed up: 12 s without
  // sentences leave 13 s between the fixes around them (the invalid ones
  // come after it).
  EXPECT_NE(err.find("The position source COM2 ("), std::string::npos) << err;
  EXPECT_NE(err.find(") has given no fix for 1"), std::string::npos) << err;
  const std::size_t silence = err.find("it gave no fix for more than 10 s 1 time, ");
  ASSERT_NE(silence, std::string::npos) << err;
  const int seconds = std::atoi(err.c_str() + silence + 42);
  EXPECT_GE(seconds, 12) << err.substr(silence);
  EXPECT_LE(seconds, 14) << err.substr(silence);
  // The dropout leaves a gap of more than 10 s in the track.
  bool gap = false;
  for (std::size_t k = 1; k < track.size(); ++k) gap = gap || track[k].utcMs - track[k - 1].utcMs > 10000;
  EXPECT_TRUE(gap);

  Companion companion;
  std::string error;
  ASSERT_EQ(ReadCompanion(home.File("run.meta.json"), companion, error), 1) << error;
  EXPECT_EQ(companion.positionSource.substr(0, 6), "COM2 (");
  ASSERT_GE(companion.events.size(), 2u);
  EXPECT_EQ(companion.events.front().kind, "start");
  EXPECT_EQ(companion.events.back().kind, "end");

  const long placed = CheckExport(track);
  EXPECT_GT(placed, 0);
}

// Over UDP on the loopback, one sentence a datagram.
TEST_F(PositionRecordCli, AReceiverOnTheNetworkIsRecordedAndMergedTrueToItsTrack) {
  const int port = test::FreeUdpPort();
  position = "udp:" + std::to_string(port);
  Record({"--seconds", "14", "--udp", std::to_string(port)}, /*onPty=*/false, 8);
  const std::vector<TrackFix> track = CheckTrack();
  EXPECT_EQ(err.find("spoiled"), std::string::npos) << err;
  EXPECT_GT(CheckExport(track), 0);
}

// A sentence of the test's own receiver, sealed with its checksum.
std::string Sealed(const std::string& body) {
  int sum = 0;
  for (std::size_t k = 1; k < body.size(); ++k) sum ^= static_cast<unsigned char>(body[k]);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return body + tail;
}

// A recorder killed outright (SIGKILL: nothing runs on the way out) keeps
// in its track every fix that arrived more than a second before the kill,
// as it keeps the meter's samples. The test is the receiver, over UDP: a
// fix every half second along a meridian, its RMC first, then its GGA at
// once, 1.3 s later (after the fix was written: the GGA amends it) or
// never (a fix from RMC alone, held back for a GGA that does not come).
// The kill comes 1.2 s after the RMC of such a lone fix.
TEST_F(PositionRecordCli, AKilledRecorderKeepsEveryFixThatArrivedMoreThanASecondBefore) {
  using Clock = std::chrono::steady_clock;
  const int port = test::FreeUdpPort();
  const std::string meter =
      test::StartPtySim(sim, {"--device", kDevice, "--rate", "30", "--quiet", "--seconds", "60"}, home);
  ASSERT_FALSE(meter.empty());
  WriteSettings("[Ports]\nCOM1=" + meter + "\n");
  test::Background record(test::kCli,
                          {"record", "--device", kDevice, "--port", "COM1", "--out", home.File("run.dat"), "--position",
                           "udp:" + std::to_string(port)},
                          home.File("rec.out"), home.File("rec.err"));
  ASSERT_TRUE(record.started());
  const std::string track = home.File("Sondrix.track.csv");
  for (int i = 0; i < 500 && !std::filesystem::exists(track); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(std::filesystem::exists(track)) << test::ReadTextFile(home.File("rec.err")).value_or("");

  // Fix k: 2026-12-09T12:00:00Z + k/2 s, 43 deg k/1000' N, 70 deg W.
  constexpr int kFixes = 12;
  const auto sentences = [](int k) {
    char time[32];
    std::snprintf(time, sizeof time, "1200%02d.%02d", k / 2, (k % 2) * 50);
    char latitude[32];
    std::snprintf(latitude, sizeof latitude, "4300.%03d", k);
    const std::string place = std::string(latitude) + ",N,07000.000,W";
    return std::pair{Sealed("$GPRMC," + std::string(time) + ",A," + place + ",10.0,0.0,091226,,,A"),
                     Sealed("$GPGGA," + std::string(time) + "," + place + ",2,07,0.8,12.0,M,-33.0,M,,")};
  };
  struct Send {
    double at;  // seconds after the first
    int fix;
    bool gga;
  };
  std::vector<Send> plan;
  for (int k = 0; k < kFixes; ++k) {
    plan.push_back({0.5 * k, k, false});
    if (k % 3 == 0) plan.push_back({0.5 * k + 0.05, k, true});
    if (k % 3 == 1) plan.push_back({0.5 * k + 1.3, k, true});
  }
  std::stable_sort(plan.begin(), plan.end(), [](const Send& a, const Send& b) { return a.at < b.at; });
  const int lone = kFixes - 1;
  ASSERT_EQ(lone % 3, 2);
  const double killAt = 0.5 * lone + 1.2;

  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const Clock::time_point start = Clock::now();
  std::map<std::pair<int, bool>, double> sent;  // (fix, GGA) -> seconds after the start
  for (const Send& send : plan) {
    if (send.at > killAt) break;
    std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(send.at)));
    const auto [rmc, gga] = sentences(send.fix);
    const std::string& datagram = send.gga ? gga : rmc;
    ASSERT_EQ(::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(datagram.size()));
    sent[{send.fix, send.gga}] = std::chrono::duration<double>(Clock::now() - start).count();
  }
  ::close(fd);
  std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(killAt)));
  record.Signal(SIGKILL);
  const double killed = std::chrono::duration<double>(Clock::now() - start).count();
  record.Wait(10.0);

  std::vector<TrackFix> fixes;
  long skipped = 0;
  std::string error;
  ASSERT_EQ(ReadTrack(track, fixes, skipped, error), 1) << error;
  std::map<long long, TrackFix> byTime;
  for (const TrackFix& fix : fixes) byTime[fix.utcMs] = fix;
  const long long t0 = 1796817600000LL;  // 2026-12-09T12:00:00Z
  int checked = 0;
  for (const auto& [key, at] : sent) {
    if (killed - at <= 1.0) continue;
    const auto [k, gga] = key;
    const auto fix = byTime.find(t0 + 500LL * k);
    ASSERT_NE(fix, byTime.end()) << "fix " << k << (gga ? " (its GGA)" : "") << " sent " << killed - at
                                 << " s before the kill is not in the track";
    EXPECT_NEAR(fix->second.latitude, 43.0 + k / 60000.0, 1e-7) << k;
    EXPECT_NEAR(fix->second.longitude, -70.0, 1e-7) << k;
    if (gga) {
      EXPECT_EQ(fix->second.quality, 2) << "fix " << k << ": its GGA came " << killed - at << " s before the kill";
    }
    ++checked;
  }
  EXPECT_GE(checked, kFixes - 2);
  const auto loneSent = sent.find({lone, false});
  ASSERT_NE(loneSent, sent.end());
  EXPECT_GT(killed - loneSent->second, 1.0) << "the lone fix is among those checked";
}

// Without a position source, no track and no position columns.
TEST_F(PositionRecordCli, ARunWithoutAReceiverExportsNoPositions) {
  const std::string meter =
      test::StartPtySim(sim, {"--device", kDevice, "--rate", "30", "--quiet", "--seconds", "2"}, home);
  ASSERT_FALSE(meter.empty());
  WriteSettings("[Ports]\nCOM1=" + meter + "\n");
  // A track an earlier run left beside the recording is not this run's.
  test::WriteTextFile(home.File("Sondrix.track.csv"), "stale");
  const test::CliRun run = test::RunTool(
      test::kCli, "record --device " + Quoted(kDevice) + " --port COM1 --out " + Quoted(home.File("run.dat")) + " --lines 20",
      home);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_FALSE(std::filesystem::exists(home.File("run.track.csv")));
  const test::CliRun exported =
      test::RunTool(test::kCli, "export " + Quoted(home.File("run.dat")) + " --format csv", home);
  ASSERT_EQ(exported.exitStatus, 0) << exported.err;
  const std::string csv = test::ReadTextFile(home.File("run.csv")).value_or("");
  EXPECT_EQ(csv.find("latitude"), std::string::npos);
  EXPECT_NE(csv.find("time_utc"), std::string::npos);
}

}  // namespace
}  // namespace sondrix
