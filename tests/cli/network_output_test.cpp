// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli record and replay --udp-out, heard by a listener of the test's
// own on the loopback and held against the data file the run recorded and
// the times its CSV export gives: one datagram per recorded line, the data
// file's values, the export's UTC; the fields named at the start, once a
// minute of the samples and to a listener that joins late; a destination
// that refuses changes nothing of the recording.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "support/fixtures.h"
#include "support/sim_report.h"
#include "support/udp_listener.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::CliRun;
using test::Quoted;
using test::Split;

const std::string kDevice = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";
constexpr std::size_t kNeritTraces = 18;
constexpr std::size_t kLeadFields = 4;  // temperature, sample rate, depth, external temperature

// "2026-12-10T04:00:00.123Z" as ms since 1970 (-1: not that form).
long long UtcMs(const std::string& text) {
  std::tm tm{};
  int ms = 0;
  char zone = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%3d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                  &tm.tm_min, &tm.tm_sec, &ms, &zone) != 8 || zone != 'Z' || text.size() != 24)
    return -1;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return static_cast<long long>(::timegm(&tm)) * 1000 + ms;
}

// One datagram read: the fields' names, or a line's time and values.
struct Record {
  bool fields = false;
  long long utcMs = -1;
  std::vector<std::string> values;  // the names of a record of the fields
};

// The datagrams of data id `id` ("ID #fields LIST", "ID TIME LIST"), or,
// with `id` empty, NMEA sentences ("$PSDRF,LIST*hh", "$PSDRX,TIME,LIST*hh"),
// whose checksums are worked out here. A datagram of neither form fails.
std::vector<Record> Read(const std::vector<std::string>& heard, const std::string& id) {
  std::vector<Record> records;
  for (const std::string& datagram : heard) {
    Record record;
    std::string list;
    if (id.empty()) {
      const std::size_t star = datagram.size() - 5;
      EXPECT_TRUE(datagram.size() > 6 && datagram[0] == '$' && datagram[star] == '*' && datagram.ends_with("\r\n"))
          << datagram;
      if (datagram.size() <= 6) continue;
      unsigned sum = 0;
      for (std::size_t k = 1; k < star; ++k) sum ^= static_cast<unsigned char>(datagram[k]);
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", sum);
      EXPECT_EQ(datagram.substr(star + 1, 2), hex) << datagram;
      const std::string body = datagram.substr(1, star - 1);
      record.fields = body.starts_with("PSDRF,");
      EXPECT_TRUE(record.fields || body.starts_with("PSDRX,")) << datagram;
      list = body.substr(6);
      if (!record.fields) {
        record.utcMs = UtcMs(list.substr(0, list.find(',')));
        list = list.substr(list.find(',') + 1);
      }
    } else {
      EXPECT_TRUE(datagram.starts_with(id + " ")) << datagram;
      const std::size_t second = datagram.find(' ', id.size() + 1);
      const std::string word = datagram.substr(id.size() + 1, second - id.size() - 1);
      record.fields = word == "#fields";
      if (!record.fields) record.utcMs = UtcMs(word);
      list = datagram.substr(second + 1);
    }
    EXPECT_TRUE(record.fields || record.utcMs >= 0) << datagram;
    record.values = Split(list, ',');
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<Record> Lines(const std::vector<Record>& records) {
  std::vector<Record> lines;
  for (const Record& r : records) {
    if (!r.fields) lines.push_back(r);
  }
  return lines;
}

// What a line of the data file holds for its record: its `traces` values
// as written, then the readings that begin the trailing text, its own or
// the last line's that had one.
std::vector<std::vector<std::string>> DataFileValues(const std::string& path, std::size_t traces) {
  std::vector<std::vector<std::string>> all;
  std::vector<std::string> lead(kLeadFields);
  for (const std::string& line : test::DataFileSampleLines(path)) {
    const std::vector<std::string> fields = Split(line, '\t');
    std::vector<std::string> values(fields.begin() + 1, fields.begin() + 1 + static_cast<long>(traces));
    if (fields.size() >= 1 + traces + kLeadFields) lead.assign(fields.begin() + 1 + static_cast<long>(traces),
                                                              fields.begin() + 1 + static_cast<long>(traces + kLeadFields));
    values.insert(values.end(), lead.begin(), lead.end());
    all.push_back(std::move(values));
  }
  return all;
}

class NetworkOutputCli : public test::HeadlessTest {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(test::kCli) && std::filesystem::exists(test::kSim)); }

  CliRun Cli(const std::string& arguments) { return test::RunTool(test::kCli, arguments, home); }

  // The UTC times of the samples of `dataFile` by its CSV export, and its
  // column headings.
  std::vector<long long> ExportedTimes(const std::string& dataFile, std::string* headings = nullptr) {
    const std::string csv = dataFile + ".csv";
    const CliRun exported = Cli("export " + Quoted(dataFile) + " --format csv --out " + Quoted(csv));
    EXPECT_EQ(exported.exitStatus, 0) << exported.err;
    std::vector<long long> times;
    for (const std::string& row : test::Lines(test::ReadTextFile(csv).value_or(""))) {
      if (row.starts_with("time_utc")) {
        if (headings != nullptr) *headings = row;
        continue;
      }
      times.push_back(UtcMs(row.substr(0, row.find(','))));
    }
    return times;
  }

  // A capture of `seconds` of the nine-wavelength meter at 2 Hz.
  std::string Capture(int seconds) {
    const std::string capture = home.File("c.raw");
    EXPECT_EQ(test::RunTool(test::kSim, "--device " + Quoted(kDevice) + " --rate 2 --quiet --seconds " +
                                            std::to_string(seconds) + " --out " + Quoted(capture), home)
                  .exitStatus,
              0);
    return capture;
  }
  std::string RecordCapture(const std::string& capture, const std::string& out, const std::string& more,
                            const std::string& device = kDevice) {
    return "record --device " + Quoted(device) + " --port " + Quoted(capture) + " --out " + Quoted(out) +
           " --start-utc 2026-12-10T04:00:00.000Z " + more;
  }
};

TEST_F(NetworkOutputCli, ALiveRunSendsEveryRecordedLineWithTheDataFilesValuesAndTheExportsTime) {
  std::unique_ptr<test::Background> sim;
  const std::string pty =
      test::StartPtySim(sim, {"--device", kDevice, "--rate", "30", "--quiet", "--seconds", "10"}, home);
  ASSERT_FALSE(pty.empty());
  WriteSettings("[Ports]\nCOM1=" + pty + "\n");
  test::UdpListener listener;
  ASSERT_TRUE(listener.bound());
  const std::string out = home.File("run.dat");
  const CliRun run = Cli("record --device " + Quoted(kDevice) + " --port COM1 --out " + Quoted(out) +
                         " --lines 120 --udp-out " + listener.Destination() + " --udp-id ac9_201");
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::vector<Record> records = Read(listener.Heard(), "ac9_201");
  const std::vector<std::vector<std::string>> file = DataFileValues(out, kNeritTraces);
  ASSERT_EQ(file.size(), 120u);

  // The fields first, named as the export names its columns; then one
  // record per recorded line, none lost on the loopback, each with the
  // data file's values.
  ASSERT_FALSE(records.empty());
  ASSERT_TRUE(records.front().fields);
  std::string headings;
  const std::vector<long long> exported = ExportedTimes(out, &headings);
  const std::vector<std::string>& names = records.front().values;
  ASSERT_EQ(names.size(), 1 + kNeritTraces + kLeadFields);
  const std::vector<std::string> columns = Split(headings, ',');
  for (std::size_t k = 1; k <= kNeritTraces; ++k)
    EXPECT_EQ(names[k], std::regex_replace(columns[k], std::regex(" "), "")) << k;
  const std::vector<Record> lines = Lines(records);
  ASSERT_EQ(lines.size(), file.size());
  EXPECT_EQ(records.size(), lines.size() + 1);
  for (std::size_t k = 0; k < lines.size(); ++k) EXPECT_EQ(lines[k].values, file[k]) << "line " << k;

  // The time a live record carries is the clock map fitted so far, the
  // export's the map of the whole run: the same function, so that once
  // the least late packet of the run has come (within the run's first
  // minute here) a record's time is the export's to the millisecond;
  // before it, later by what that packet was read earlier.
  ASSERT_EQ(exported.size(), lines.size());
  long long before = 1 << 30;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const long long later = lines[k].utcMs - exported[k];
    EXPECT_GE(later, 0) << "line " << k;
    EXPECT_LE(later, before) << "line " << k;
    before = later;
  }
  EXPECT_EQ(lines.back().utcMs, exported.back());
  EXPECT_NE(run.err.find("The network output to " + listener.Destination() +
                         " (unicast) sent 120 lines and 1 record of the fields; none was dropped"),
            std::string::npos)
      << run.err;

  // Replayed, the recording goes out again in NMEA sentences, placed by
  // its stored map: every time is the export's.
  test::UdpListener again;
  const CliRun replay = Cli("replay " + Quoted(out) + " --udp-out " + again.Destination() + " --udp-nmea");
  ASSERT_EQ(replay.exitStatus, 0) << replay.err;
  EXPECT_EQ(replay.out, "120 lines sent to " + again.Destination() + "; 0 dropped\n");
  const std::vector<Record> sentences = Read(again.Heard(), "");
  ASSERT_FALSE(sentences.empty());
  EXPECT_TRUE(sentences.front().fields);
  EXPECT_EQ(sentences.front().values, names);
  const std::vector<Record> replayed = Lines(sentences);
  ASSERT_EQ(replayed.size(), file.size());
  for (std::size_t k = 0; k < replayed.size(); ++k) {
    EXPECT_EQ(replayed[k].values, file[k]) << "line " << k;
    EXPECT_EQ(replayed[k].utcMs, exported[k]) << "line " << k;
  }
}

TEST_F(NetworkOutputCli, TheFieldsAreNamedAtTheStartAndEveryMinuteForAListenerThatJoinsLate) {
  // 200 s at 2 Hz in bins of 2, every third line sent: 67 lines over 199 s.
  const std::string out = home.File("run.dat");
  test::UdpListener listener;
  const CliRun run =
      Cli(RecordCapture(Capture(200), out, "--bin 2 --udp-out " + listener.Destination() + " --udp-every 3"));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::vector<Record> records = Read(listener.Heard(), "sondrix");
  const std::vector<std::vector<std::string>> file = DataFileValues(out, kNeritTraces);
  const std::vector<long long> exported = ExportedTimes(out);
  ASSERT_EQ(file.size(), 200u);
  ASSERT_EQ(exported.size(), file.size());

  // Lines 0, 3, 6, ... of the data file at their exported times; the
  // fields before the first and before each line a minute of samples (or
  // more) after the last record of the fields.
  std::size_t line = 0;
  long long fieldsAt = -1;
  int fieldsRecords = 0;
  for (std::size_t k = 0; k < records.size(); ++k) {
    if (records[k].fields) {
      ++fieldsRecords;
      ASSERT_LT(k + 1, records.size());
      EXPECT_TRUE(fieldsAt < 0 || records[k + 1].utcMs - fieldsAt >= 60000) << k;
      fieldsAt = records[k + 1].utcMs;
      continue;
    }
    ASSERT_LT(line, file.size());
    EXPECT_EQ(records[k].values, file[line]) << "line " << line;
    EXPECT_EQ(records[k].utcMs, exported[line]) << "line " << line;
    EXPECT_LT(records[k].utcMs - fieldsAt, 60000) << "line " << line;
    line += 3;
  }
  EXPECT_EQ(line, 201u);
  EXPECT_EQ(fieldsRecords, 4);  // at 0:01, 1:01, 2:01 and 3:01 of the samples

  // A listener that joins half-way hears the fields within a minute, and
  // they name every value of every line after them.
  const std::vector<Record> late(records.begin() + static_cast<long>(records.size() / 2), records.end());
  std::size_t first = 0;
  while (first < late.size() && !late[first].fields) ++first;
  ASSERT_LT(first, late.size());
  EXPECT_LT(late[first + 1].utcMs - late.front().utcMs, 61000);
  for (std::size_t k = first + 1; k < late.size(); ++k) {
    if (late[k].fields) EXPECT_EQ(late[k].values, late[first].values);
    else EXPECT_EQ(late[k].values.size() + 1, late[first].values.size());
  }
  EXPECT_EQ(late[first].values.front(), "time");
  EXPECT_EQ(late[first].values.back(), "temperature_external[degC]");
}

TEST_F(NetworkOutputCli, AHyperspectralLineOfTwoHundredValuesIsOneDatagram) {
  const std::string capture = SONDRIX_TOOLS_DIR "/../examples/captures/benth-100wl.raw";
  const std::string device = SONDRIX_EXAMPLES_DIR "/benth-100wl.dev";
  ASSERT_TRUE(std::filesystem::exists(capture)) << capture;
  const std::string out = home.File("benth.dat");
  test::UdpListener listener;
  const CliRun run =
      Cli(RecordCapture(capture, out, "--udp-out " + listener.Destination() + " --udp-every 10", device));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::vector<Record> records = Read(listener.Heard(), "sondrix");
  const std::vector<std::vector<std::string>> file = DataFileValues(out, 200);
  ASSERT_EQ(file.size(), 290u);
  ASSERT_FALSE(records.empty());
  ASSERT_EQ(records.front().values.size(), 1u + 200u + kLeadFields);
  EXPECT_EQ(records.front().values[1], "c400.0[1/m]");
  EXPECT_EQ(records.front().values[101], "a400.0[1/m]");
  const std::vector<Record> lines = Lines(records);
  ASSERT_EQ(lines.size(), 29u);
  for (std::size_t k = 0; k < lines.size(); ++k) EXPECT_EQ(lines[k].values, file[10 * k]) << "line " << 10 * k;
}

TEST_F(NetworkOutputCli, ADestinationThatRefusesChangesNothingOfTheRecordingAndTheDropsAreTold) {
  const std::string capture = Capture(60);
  const CliRun plain = Cli(RecordCapture(capture, home.File("plain.dat"), ""));
  ASSERT_EQ(plain.exitStatus, 0) << plain.err;
  const std::vector<std::string> recorded = test::DataFileSampleLines(home.File("plain.dat"));
  ASSERT_EQ(recorded.size(), 120u);
  for (const bool ipv6 : {false, true}) {
    // A port of the loopback nobody listens on any more.
    test::UdpListener gone(ipv6);
    if (ipv6 && !gone.bound()) continue;  // no IPv6 loopback here
    const std::string destination = gone.Destination();
    gone.Close();
    const std::string out = home.File(ipv6 ? "six.dat" : "four.dat");
    const CliRun run = Cli(RecordCapture(capture, out, "--udp-out " + destination));
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(test::DataFileSampleLines(out), recorded) << destination;
    // "sent N lines and H records of the fields; M lines and G records
    // of the fields were dropped: R refused (nothing listens on the port)"
    const std::regex note("The network output to " + std::regex_replace(destination, std::regex(R"([\[\].])"), R"(\$&)") +
                          R"( \(unicast\) sent (\d+) lines? and (\d+) records? of the fields; (\d+) lines? and (\d+) )"
                          R"(records? of the fields were dropped: (\d+) refused \(nothing listens on the port\))");
    std::smatch told;
    ASSERT_TRUE(std::regex_search(run.err, told, note)) << run.err;
    const long sent = std::stol(told[1]), fields = std::stol(told[2]), dropped = std::stol(told[3]),
               fieldsDropped = std::stol(told[4]), refused = std::stol(told[5]);
    EXPECT_EQ(sent + dropped, 120) << run.err;
    EXPECT_EQ(fields + fieldsDropped, 1) << run.err;
    EXPECT_GT(dropped, 0) << run.err;
    EXPECT_EQ(refused, dropped + fieldsDropped) << run.err;
  }
}

}  // namespace
}  // namespace sondrix
