// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated GPS receiver (sondrix-sim --nmea), read back through the
// program's NMEA parser and held against the receiver's own record of the
// true track (--report): positions within the sentences' rounding, the
// faults exactly where and as often as asked, the track's geometry checked
// with formulas of its own, and the outputs (file, UDP, pseudo-terminal in
// real time).
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "io/nmea.h"
#include "io/position_source.h"
#include "sim_test_env.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

// The track's documented constants.
constexpr double kRadius = 6371008.8;
constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;
// Minutes to five decimals: half a unit of the last digit, in degrees.
constexpr double kRounding = 0.5e-5 / 60.0 + 1e-12;

struct Row {
  long long second = 0;
  std::string utc;
  std::int64_t utcMs = 0;
  double latitude = 0.0;
  double longitude = 0.0;
  bool sent = false;
  std::string fault;
  std::string rmc;
  std::string gga;
  bool usable = false;
};

struct Report {
  std::vector<Row> rows;
  std::vector<long long> totals;  // seconds, sentences, bad checksums, cut, dropout seconds, invalid fixes
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

Report ReadReport(const std::string& path) {
  Report report;
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "second\tutc\tutc_ms\tlatitude\tlongitude\tsent\tfault\trmc\tgga\tusable");
  while (std::getline(in, line)) {
    const std::vector<std::string> f = SplitTabs(line);
    if (!f.empty() && f[0] == "totals") {
      for (std::size_t k = 1; k < f.size(); ++k) report.totals.push_back(std::stoll(f[k]));
      continue;
    }
    EXPECT_EQ(f.size(), 10u) << line;
    if (f.size() != 10) continue;
    Row r;
    r.second = std::stoll(f[0]);
    r.utc = f[1];
    r.utcMs = std::stoll(f[2]);
    r.latitude = std::stod(f[3]);
    r.longitude = std::stod(f[4]);
    r.sent = f[5] == "yes";
    r.fault = f[6];
    r.rmc = f[7];
    r.gga = f[8];
    r.usable = f[9] == "yes";
    report.rows.push_back(r);
  }
  return report;
}

// The lines of the sentences; each must end in CR LF.
std::vector<std::string> Sentences(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t end = text.find("\r\n", from);
    EXPECT_NE(end, std::string::npos) << "no CR LF after " << text.substr(from);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(from, end - from));
    EXPECT_EQ(lines.back().find_first_of("\r\n"), std::string::npos) << lines.back();
    from = end + 2;
  }
  return lines;
}

// "ok": the checksum adds up; "bad-checksum": it is there and does not;
// "cut": there is none.
std::string ChecksumState(const std::string& sentence) {
  const std::size_t star = sentence.find('*');
  if (star == std::string::npos) return "cut";
  unsigned sum = 0;
  for (std::size_t k = 1; k < star; ++k) sum ^= static_cast<unsigned char>(sentence[k]);
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", sum);
  return sentence.substr(star + 1) == hex ? "ok" : "bad-checksum";
}

std::vector<std::string> Fields(const std::string& sentence) {
  std::vector<std::string> fields;
  std::stringstream in(sentence.substr(0, sentence.find('*')));
  std::string field;
  while (std::getline(in, field, ',')) fields.push_back(field);
  return fields;
}

std::tm UtcParts(std::int64_t utcMs) {
  const auto t = static_cast<std::time_t>(utcMs / 1000);
  std::tm tm{};
  gmtime_r(&t, &tm);
  return tm;
}

double Haversine(double lat1, double lon1, double lat2, double lon2) {
  const double dlat = (lat2 - lat1) * kRad;
  const double dlon = std::remainder(lon2 - lon1, 360.0) * kRad;
  const double a = std::pow(std::sin(dlat / 2), 2) +
                   std::cos(lat1 * kRad) * std::cos(lat2 * kRad) * std::pow(std::sin(dlon / 2), 2);
  return 2 * kRadius * std::asin(std::sqrt(a));
}

// The course of a short step, from the mid-latitude (good to its square).
double StepCourse(double lat1, double lon1, double lat2, double lon2) {
  const double east = std::remainder(lon2 - lon1, 360.0) * std::cos((lat1 + lat2) / 2 * kRad);
  const double course = std::atan2(east, lat2 - lat1) / kRad;
  return course < 0 ? course + 360.0 : course;
}

double AngleGap(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

class SimNmea : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(test::kSimTool)) << test::kSimTool << " is not built";
  }
  test::ToolRun Tool(const std::vector<std::string>& args) { return test::RunTool(args, dir.File("stderr")); }
  std::string Text(const std::string& name) {
    const auto bytes = test::ReadBytes(dir.File(name));
    return {bytes.begin(), bytes.end()};
  }

  test::TempDir dir;
};

// What the parser made of the sentences of one run, against its report.
struct Reading {
  std::set<std::int64_t> fixTimes;
  double worstError = 0.0;  // degrees
  long long sentences = 0;
};

// Parses `sentences` (in the order sent: RMC then GGA of each sent second)
// and holds each against the report's row.
Reading CheckSentences(const std::vector<std::string>& sentences, const Report& report, NmeaParser& parser,
                       const std::string& talker, double knots, double heading) {
  Reading reading;
  std::size_t next = 0;
  for (const Row& row : report.rows) {
    if (!row.sent) {
      EXPECT_EQ(row.rmc, "-");
      EXPECT_EQ(row.gga, "-");
      continue;
    }
    for (const std::string kind : {"RMC", "GGA"}) {
      if (next >= sentences.size()) {
        ADD_FAILURE() << "the sentences end before second " << row.second;
        return reading;
      }
      const std::string& text = sentences[next++];
      ++reading.sentences;
      const std::string& fault = kind == "RMC" ? row.rmc : row.gga;
      EXPECT_EQ(ChecksumState(text), fault) << text;
      EXPECT_EQ(text.rfind("$" + talker + kind, 0), 0u) << text;
      NmeaFix fix;
      const NmeaParser::Result result = parser.Parse(text, fix);
      if (fault != "ok") {
        EXPECT_EQ(result, NmeaParser::Result::BadChecksum) << text;
        continue;
      }
      const std::vector<std::string> f = Fields(text);
      const std::tm tm = UtcParts(row.utcMs);
      char time[40];
      std::snprintf(time, sizeof time, "%02d%02d%02d.00", tm.tm_hour, tm.tm_min, tm.tm_sec);
      if (f.size() < 10) {
        ADD_FAILURE() << "too few fields: " << text;
        continue;
      }
      EXPECT_EQ(f[1], time) << text;
      if (row.fault == "invalid") {
        EXPECT_EQ(result, NmeaParser::Result::Invalid) << text;
        EXPECT_EQ(f[kind == "RMC" ? 2 : 6], kind == "RMC" ? "V" : "0") << text;
        EXPECT_TRUE(f[kind == "RMC" ? 3 : 2].empty()) << "an invalid fix has no position: " << text;
        continue;
      }
      if (kind == "RMC") {
        char date[40];
        std::snprintf(date, sizeof date, "%02d%02d%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year % 100);
        EXPECT_EQ(f[2], "A");
        EXPECT_EQ(f[9], date) << text;
        EXPECT_NEAR(std::stod(f[7]), knots, 0.005) << text;
        EXPECT_NEAR(std::stod(f[8]), heading, 0.005) << text;
      } else {
        EXPECT_EQ(f[6], "1") << text;
        EXPECT_GT(std::stoi(f[7]), 3) << text;
        EXPECT_GT(std::stod(f[8]), 0.0) << text;
      }
      // The minutes carry five decimals.
      EXPECT_EQ(f[kind == "RMC" ? 3 : 2].size(), 10u) << text;
      EXPECT_EQ(f[kind == "RMC" ? 5 : 4].size(), 11u) << text;
      if (result == NmeaParser::Result::Undated) {
        EXPECT_FALSE(row.usable) << "second " << row.second;
        continue;
      }
      EXPECT_EQ(result, NmeaParser::Result::Fix) << text;
      if (result != NmeaParser::Result::Fix) continue;
      EXPECT_EQ(fix.utcMs, row.utcMs) << text;
      const double error = std::max(std::fabs(fix.latitude - row.latitude),
                                    std::fabs(std::remainder(fix.longitude - row.longitude, 360.0)));
      EXPECT_LE(error, kRounding) << text << " against " << row.latitude << ", " << row.longitude;
      reading.worstError = std::max(reading.worstError, error);
      reading.fixTimes.insert(fix.utcMs);
    }
  }
  EXPECT_EQ(next, sentences.size()) << "more sentences than the report lists";
  return reading;
}

std::set<std::int64_t> UsableTimes(const Report& report) {
  std::set<std::int64_t> times;
  for (const Row& row : report.rows) {
    if (row.usable) times.insert(row.utcMs);
  }
  return times;
}

TEST_F(SimNmea, EverySentenceReadsBackAsTheReportedTrackWithTheFaultsAsked) {
  const std::string output = dir.File("gps.nmea");
  const std::string record = dir.File("gps.tsv");
  // Across midnight at the end of February, south and east, talker GN.
  const test::ToolRun run =
      Tool({"--nmea", "--fast", "--seconds", "700", "--utc-start", "2026-02-28T23:55:00Z", "--talker", "GN",
            "--start", "-33.5,151.25", "--speed", "12.5", "--heading", "200", "--nmea-bad-checksum", "7",
            "--nmea-cut", "11", "--nmea-dropout", "100:15", "--nmea-invalid", "300:8", "--out", output,
            "--report", record});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const Report report = ReadReport(record);
  ASSERT_EQ(report.rows.size(), 700u);

  // The times: whole seconds from the start, in both forms.
  const std::int64_t start = 1772322900000;  // 2026-02-28T23:55:00Z
  long long number = 0;  // sentences sent
  long long bad = 0, cut = 0, invalid = 0, invalidSentencesIntact = 0;
  for (const Row& row : report.rows) {
    const auto i = static_cast<std::int64_t>(&row - report.rows.data());
    EXPECT_EQ(row.second, i);
    EXPECT_EQ(row.utcMs, start + 1000 * i);
    const std::tm tm = UtcParts(row.utcMs);
    char iso[32];
    std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%S.000Z", &tm);
    EXPECT_EQ(row.utc, iso);
    // The stretches asked for, and nothing else.
    EXPECT_EQ(row.sent, !(i >= 100 && i < 115)) << i;
    EXPECT_EQ(row.fault, !row.sent ? "dropout" : (i >= 300 && i < 308) ? "invalid" : "ok") << i;
    if (!row.sent) continue;
    invalid += row.fault == "invalid" ? 1 : 0;
    // Every 11th sentence sent is cut, every 7th otherwise a bad checksum.
    for (const std::string* fault : {&row.rmc, &row.gga}) {
      ++number;
      const std::string expected = number % 11 == 0 ? "cut" : number % 7 == 0 ? "bad-checksum" : "ok";
      EXPECT_EQ(*fault, expected) << "sentence " << number;
      bad += *fault == "bad-checksum" ? 1 : 0;
      cut += *fault == "cut" ? 1 : 0;
      invalidSentencesIntact += row.fault == "invalid" && *fault == "ok" ? 1 : 0;
    }
  }
  EXPECT_EQ(number, 2 * (700 - 15));
  EXPECT_EQ(report.totals, (std::vector<long long>{700, number, bad, cut, 15, invalid}));
  EXPECT_EQ(invalid, 8);

  NmeaParser parser;
  const Reading reading = CheckSentences(Sentences(Text("gps.nmea")), report, parser, "GN", 12.5, 200.0);
  EXPECT_EQ(reading.sentences, number);
  // The parser counts what was spoiled: a cut sentence has no checksum.
  EXPECT_EQ(parser.badChecksums(), bad + cut);
  EXPECT_EQ(parser.invalid(), invalidSentencesIntact);
  EXPECT_EQ(parser.malformed(), 0);
  // The fixes a reader gets are exactly the usable seconds; none of the
  // dropout's or the invalid stretch's.
  EXPECT_EQ(reading.fixTimes, UsableTimes(report));
  // Only a second whose two sentences were both spoiled gives none.
  const auto intact = std::count_if(report.rows.begin(), report.rows.end(), [](const Row& row) {
    return row.fault == "ok" && (row.rmc == "ok" || row.gga == "ok");
  });
  EXPECT_EQ(reading.fixTimes.size(), static_cast<std::size_t>(intact));
  EXPECT_LT(intact, 700 - 15 - 8);
  // The rounding to 1e-5 minute is what separates them (and not nothing).
  EXPECT_GT(reading.worstError, 1e-9);

  const std::string summary = "700 fixes (" + std::to_string(number) + " sentences) of a GPS receiver (GN) from "
                              "2026-02-28T23:55:00Z; faults: " + std::to_string(bad) + " bad checksums, " +
                              std::to_string(cut) + " sentences cut short, 15 seconds of dropout, 8 invalid fixes";
  EXPECT_NE(run.err.find(summary), std::string::npos) << run.err;
}

TEST_F(SimNmea, TheTrackIsARhumbLineAtTheSpeedAndHeadingAsked) {
  struct Track {
    double lat, lon, knots, heading;
  };
  const std::vector<Track> tracks = {
      {43.0, -70.0, 10.0, 45.0},     {0.0, 0.0, 20.0, 90.0},       {-60.0, 10.0, 15.0, 180.0},
      {10.0, 179.999, 30.0, 90.0},   {70.0, -20.0, 8.0, 315.0},    {5.0, 5.0, 0.0, 123.0},
      {-45.0, -179.999, 25.0, 270.0}, {-0.0005, 0.0002, 40.0, 10.0}, {80.0, 30.0, 12.0, 0.0},
  };
  constexpr int kSeconds = 120;
  for (const Track& t : tracks) {
    char where[64];
    std::snprintf(where, sizeof where, "%g,%g", t.lat, t.lon);
    SCOPED_TRACE(std::string(where) + " at " + std::to_string(t.knots) + " kn on " + std::to_string(t.heading));
    char speed[16], heading[16];
    std::snprintf(speed, sizeof speed, "%g", t.knots);
    std::snprintf(heading, sizeof heading, "%g", t.heading);
    ASSERT_EQ(Tool({"--nmea", "--fast", "--seconds", std::to_string(kSeconds), "--start", where, "--speed", speed,
                    "--heading", heading, "--out", dir.File("t.nmea"), "--report", dir.File("t.tsv"), "--quiet"})
                  .exitStatus,
              0);
    const Report report = ReadReport(dir.File("t.tsv"));
    ASSERT_EQ(report.rows.size(), static_cast<std::size_t>(kSeconds));
    EXPECT_DOUBLE_EQ(report.rows.front().latitude, t.lat);
    EXPECT_DOUBLE_EQ(report.rows.front().longitude, t.lon);
    const double step = t.knots * 1852.0 / 3600.0;  // metres in one second
    for (std::size_t k = 1; k < report.rows.size(); ++k) {
      const Row& a = report.rows[k - 1];
      const Row& b = report.rows[k];
      EXPECT_TRUE(b.longitude >= -180.0 && b.longitude < 180.0) << b.longitude;
      EXPECT_NEAR(Haversine(a.latitude, a.longitude, b.latitude, b.longitude), step, 1e-6) << k;
      if (step > 0) {
        EXPECT_LT(AngleGap(StepCourse(a.latitude, a.longitude, b.latitude, b.longitude), t.heading), 1e-6) << k;
      }
    }
    // Along a meridian or the equator the rhumb line is a great circle.
    if (std::fmod(t.heading, 180.0) == 0.0 || (t.lat == 0.0 && std::fmod(t.heading, 90.0) == 0.0)) {
      const Row& last = report.rows.back();
      EXPECT_NEAR(Haversine(t.lat, t.lon, last.latitude, last.longitude), step * (kSeconds - 1), 1e-6);
    }
    // The sentences carry the same track.
    NmeaParser parser;
    const Reading reading = CheckSentences(Sentences(Text("t.nmea")), report, parser, "GP", t.knots, t.heading);
    EXPECT_EQ(reading.fixTimes.size(), static_cast<std::size_t>(kSeconds));
  }
}

TEST_F(SimNmea, UdpCarriesOneSentenceADatagramToTheProgramsSource) {
  // A socket of the test's own: datagram by datagram.
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int port = ntohs(address.sin_port);
  const test::ToolRun run = Tool({"--nmea", "--fast", "--seconds", "40", "--udp", std::to_string(port),
                                  "--nmea-bad-checksum", "9", "--report", dir.File("u.tsv")});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  std::vector<std::string> sentences;
  char datagram[2048];
  for (;;) {
    const ssize_t got = recv(fd, datagram, sizeof datagram, MSG_DONTWAIT);
    if (got <= 0) break;
    const std::string text(datagram, static_cast<std::size_t>(got));
    EXPECT_EQ(text.find('$', 1), std::string::npos) << "one sentence a datagram: " << text;
    ASSERT_EQ(Sentences(text).size(), 1u) << text;
    sentences.push_back(Sentences(text).front());
  }
  close(fd);
  const Report report = ReadReport(dir.File("u.tsv"));
  ASSERT_EQ(report.totals.size(), 6u);
  EXPECT_EQ(static_cast<long long>(sentences.size()), report.totals[1]);
  NmeaParser parser;
  const Reading reading = CheckSentences(sentences, report, parser, "GP", 10.0, 45.0);
  EXPECT_EQ(parser.badChecksums(), 80 / 9);
  EXPECT_EQ(reading.fixTimes, UsableTimes(report));

  // The program's own UDP source (bound on every address), the host named:
  // the loopback network's broadcast address, which needs SO_BROADCAST.
  std::string error;
  const std::unique_ptr<PositionSource> source = OpenUdpPositionSource(0, error);
  ASSERT_NE(source, nullptr) << error;
  ASSERT_EQ(Tool({"--nmea", "--fast", "--seconds", "30", "--udp",
                  std::to_string(UdpPort(*source)) + "@127.255.255.255",
                  "--start", "54.2,7.9", "--heading", "300", "--nmea-dropout", "10:5", "--report",
                  dir.File("s.tsv"), "--quiet"})
                .exitStatus,
            0);
  std::vector<NmeaFix> fixes;
  ASSERT_TRUE(source->Poll(fixes));
  const Report second = ReadReport(dir.File("s.tsv"));
  std::map<std::int64_t, const Row*> rows;
  for (const Row& row : second.rows) rows[row.utcMs] = &row;
  std::set<std::int64_t> times;
  for (const NmeaFix& fix : fixes) {
    ASSERT_EQ(rows.count(fix.utcMs), 1u) << fix.utcMs;
    const Row& row = *rows[fix.utcMs];
    EXPECT_TRUE(row.usable);
    EXPECT_LE(std::fabs(fix.latitude - row.latitude), kRounding);
    EXPECT_LE(std::fabs(fix.longitude - row.longitude), kRounding);
    times.insert(fix.utcMs);
  }
  EXPECT_EQ(times, UsableTimes(second));
  EXPECT_EQ(times.size(), 25u);
  EXPECT_EQ(source->parser().badChecksums(), 0);
}

TEST_F(SimNmea, APseudoTerminalGetsABurstAtEachSecondOfTheClockUntilStopped) {
  const std::string link = dir.File("ttyGPS");
  test::Child child({"--nmea", "--pty", "--link", link, "--report", dir.File("p.tsv")}, dir.File("stderr"));
  ASSERT_TRUE(child.started());
  const std::string path = child.FirstLine(5.0);
  ASSERT_FALSE(path.empty());
  ASSERT_EQ(std::filesystem::read_symlink(link).string(), path);
  const int fd = open(link.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  // Read three seconds' bursts, noting when each RMC came.
  std::string text;
  std::vector<std::pair<std::int64_t, std::string>> arrivals;  // UTC ms, RMC
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(8);
  while (arrivals.size() < 3 && std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char chunk[512];
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got <= 0) break;
    text.append(chunk, static_cast<std::size_t>(got));
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    for (std::size_t at = text.find("RMC"); at != std::string::npos; at = text.find("RMC", at + 1)) {
      const std::size_t lineEnd = text.find("\r\n", at);
      if (lineEnd == std::string::npos) break;
      const std::string rmc = text.substr(at - 3, lineEnd - at + 3);
      if (std::none_of(arrivals.begin(), arrivals.end(), [&](const auto& a) { return a.second == rmc; })) {
        arrivals.emplace_back(now, rmc);
      }
    }
  }
  EXPECT_EQ(child.Stop(SIGTERM), 0);
  close(fd);
  ASSERT_EQ(arrivals.size(), 3u) << text;
  const Report report = ReadReport(dir.File("p.tsv"));
  ASSERT_GE(report.rows.size(), 3u);
  ASSERT_EQ(report.totals.size(), 6u);
  NmeaParser parser;
  for (std::size_t k = 0; k < arrivals.size(); ++k) {
    const Row& row = report.rows[k];
    EXPECT_EQ(row.utcMs % 1000, 0);
    // Sent within the second it names, once the clock reached it (a
    // loaded machine may be late, never early).
    EXPECT_GE(arrivals[k].first, row.utcMs) << arrivals[k].second;
    EXPECT_LT(arrivals[k].first, row.utcMs + 1000) << arrivals[k].second;
    NmeaFix fix;
    ASSERT_EQ(parser.Parse(arrivals[k].second, fix), NmeaParser::Result::Fix) << arrivals[k].second;
    EXPECT_EQ(fix.utcMs, row.utcMs);
    EXPECT_LE(std::fabs(fix.latitude - row.latitude), kRounding);
    EXPECT_LE(std::fabs(fix.longitude - row.longitude), kRounding);
    if (k > 0) {
      EXPECT_EQ(row.utcMs, report.rows[k - 1].utcMs + 1000);
    }
  }
  const std::string err = Text("stderr");
  EXPECT_NE(err.find(", stopped; faults: 0 bad checksums"), std::string::npos) << err;
}

TEST_F(SimNmea, OptionsThatDoNotFitTheReceiverAreUsageErrors) {
  const std::string device = test::ExampleDevice("cmeter");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--nmea", "--device", device}, "is the meter's"},
      {{"--nmea", "--bad-checksum", "3"}, "is the meter's"},
      {{"--device", device, "--nmea-dropout", "3:4"}, "needs --nmea"},
      {{"--device", device, "--talker", "GN"}, "needs --nmea"},
      {{"--nmea", "--fast"}, "--fast needs --seconds"},
      {{"--nmea", "--seconds", "3", "--utc-start", "2026-01-01T00:00:00Z"}, "--utc-start needs --fast"},
      {{"--nmea", "--seconds", "2.5"}, "whole number of seconds"},
      {{"--nmea", "--start", "95,0"}, "--start"},
      {{"--nmea", "--start", "43"}, "--start"},
      {{"--nmea", "--heading", "360"}, "--heading"},
      {{"--nmea", "--speed", "-1"}, "--speed"},
      {{"--nmea", "--talker", "gp"}, "--talker"},
      {{"--nmea", "--udp", "0"}, "--udp"},
      {{"--nmea", "--udp", "70000"}, "--udp"},
      {{"--nmea", "--pty", "--udp", "5000"}, "exclude each other"},
      {{"--nmea", "--link", dir.File("l")}, "--link needs --pty"},
      {{"--nmea", "--nmea-dropout", "5"}, "A:D"},
      {{"--nmea", "--nmea-invalid", "5:0"}, "A:D"},
      {{"--nmea", "--nmea-cut", "0"}, "sentence count"},
      {{"--nmea", "--fast", "--seconds", "2", "--utc-start", "2026-02-30T00:00:00Z"}, "--utc-start"},
      {{"--nmea", "--fast", "--seconds", "2", "--utc-start", "2026-02-01T00:00:00.5Z"}, "--utc-start"},
  };
  for (const auto& [args, message] : cases) {
    const test::ToolRun run = Tool(args);
    EXPECT_EQ(run.exitStatus, 2) << args[1] << ": " << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
  // Not a usage error, but no output: an address that is none.
  const test::ToolRun udp = Tool({"--nmea", "--fast", "--seconds", "1", "--udp", "5000@ship"});
  EXPECT_EQ(udp.exitStatus, 1);
  EXPECT_NE(udp.err.find("not an IPv4 address"), std::string::npos) << udp.err;
  // A track that would pass 89 degrees ends there, with what it sent recorded.
  const test::ToolRun pole = Tool({"--nmea", "--fast", "--seconds", "100", "--start", "88.99,0", "--heading", "0",
                                   "--speed", "1000", "--out", dir.File("pole.nmea"), "--report", dir.File("pole.tsv")});
  EXPECT_EQ(pole.exitStatus, 1);
  EXPECT_NE(pole.err.find("the track reached latitude 89"), std::string::npos) << pole.err;
  const Report report = ReadReport(dir.File("pole.tsv"));
  ASSERT_FALSE(report.rows.empty());
  EXPECT_LT(report.rows.size(), 100u);
  EXPECT_LE(report.rows.back().latitude, 89.0);
  EXPECT_EQ(Sentences(Text("pole.nmea")).size(), 2 * report.rows.size());
}

}  // namespace
}  // namespace sondrix
