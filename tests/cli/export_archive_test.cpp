// SPDX-License-Identifier: GPL-3.0-or-later
// What the archives ask of the exports, end to end through sondrix-cli on
// data files written by hand: SeaBASS's header rules (data status and type,
// lists of names, ASCII), the deployment's values checked where they are
// given, hostile texts that must not break a header line, and a disk that
// fills up during the export.
#include <gtest/gtest.h>
#include <netcdf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/hand_recording.h"
#include "cli/nc_file.h"
#include "datafile/companion.h"
#include "export/export_writer.h"
#include "support/fixtures.h"
#include "support/sim_report.h"

namespace sondrix {
namespace {

using test::kCli;
using test::Lines;
using test::NcFile;
using test::Quoted;
using test::RunTool;
using test::Split;
using test::TempDir;

constexpr std::int64_t kZero = 1796849373250;  // 2026-12-09T20:49:33.250Z
constexpr std::int64_t kStep = 250;

std::int64_t Stamp(int i) { return i * kStep; }

// A data file of `samples` lines and its companion.
std::string Recording(const TempDir& dir, const std::string& stem, int samples, const Companion& companion) {
  const std::string path = dir.File(stem + ".dat");
  test::WriteHandDataFile(path, samples, Stamp);
  EXPECT_EQ(WriteCompanion(CompanionPathFor(path), companion), status::kOk);
  return path;
}

Companion BaseCompanion() {
  Companion companion;
  companion.timeZeroUtcMs = kZero;
  companion.program = "Sondrix 7.1";
  companion.deviceFile = "nerit-9wl.dev";
  return companion;
}

// A SeaBASS file taken apart: its header keys (each once) and comments,
// and the rows after /end_header.
struct SeaBass {
  bool wellFormed = false;
  std::map<std::string, std::string> headers;
  std::vector<std::string> comments;
  std::vector<std::string> rows;
  std::string fault;
};

SeaBass ReadSeaBass(const std::string& text) {
  SeaBass sb;
  const std::vector<std::string> lines = Lines(text);
  if (lines.empty() || lines[0] != "/begin_header") return sb.fault = "no /begin_header first", sb;
  const auto end = std::find(lines.begin(), lines.end(), "/end_header");
  if (end == lines.end()) return sb.fault = "no /end_header", sb;
  if (std::count(lines.begin(), lines.end(), "/end_header") != 1) return sb.fault = "two /end_header", sb;
  for (auto line = lines.begin() + 1; line != end; ++line) {
    if (line->starts_with('!')) {
      sb.comments.push_back(line->substr(1));
      continue;
    }
    const std::size_t equals = line->find('=');
    if (!line->starts_with('/') || equals == std::string::npos) return sb.fault = "not a header: " + *line, sb;
    const std::string value = line->substr(equals + 1);
    if (value.empty() || value.find_first_of(" \t") != std::string::npos) return sb.fault = "value: " + *line, sb;
    if (!sb.headers.emplace(line->substr(1, equals - 1), value).second) return sb.fault = "twice: " + *line, sb;
  }
  sb.rows.assign(end + 1, lines.end());
  sb.wellFormed = true;
  return sb;
}

// Row i of a SeaBASS file of the hand-written data file: date, time,
// depth, the c traces, the a traces.
std::string SeaBassRow(int i) {
  const std::time_t seconds = static_cast<std::time_t>((kZero + Stamp(i)) / 1000);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char when[32];
  std::strftime(when, sizeof when, "%Y%m%d,%H:%M:%S", &tm);
  std::string row = std::string(when) + "," + std::to_string(i / 10 % 100) + ".00";
  // The configuration lists three a, three c, three a, ...
  for (const int kind : {1, 0}) {
    for (int t = 0; t < test::kHandTraces; ++t) {
      if (t / 3 % 2 == kind) row += "," + test::HandValue(i, t);
    }
  }
  return row;
}

TEST(ExportArchive, SeaBassHeaderFollowsTheArchiveRules) {
  TempDir dir;
  Companion companion = BaseCompanion();
  companion.deployment.Set("investigators", "A. Diver; B. Winch, \xC3\x98yvind \xC3\x85s");  // Øyvind Ås
  companion.deployment.Set("affiliation", "Institute of Coastal Optics;Sea Lab");
  companion.deployment.Set("cruise", "EN 712");
  const std::string data = Recording(dir, "cast", 30, companion);
  const auto exportTo = [&](const std::string& format, const std::string& extra) {
    return RunTool(kCli, "export " + Quoted(data) + " --format " + format + " --force " + extra, dir);
  };

  // The defaults: a preliminary cast.
  ASSERT_EQ(exportTo("seabass", "").exitStatus, 0);
  SeaBass sb = ReadSeaBass(test::ReadTextFile(dir.File("cast.sb")).value_or(""));
  ASSERT_TRUE(sb.wellFormed) << sb.fault;
  EXPECT_EQ(sb.headers["data_status"], "preliminary");
  EXPECT_EQ(sb.headers["data_type"], "cast");
  // Lists split at ";" and ",", each name with underscores for blanks and
  // in ASCII.
  EXPECT_EQ(sb.headers["investigators"], "A._Diver,B._Winch,Oyvind_As");
  EXPECT_EQ(sb.headers["affiliations"], "Institute_of_Coastal_Optics,Sea_Lab");
  EXPECT_EQ(sb.headers["cruise"], "EN_712");
  ASSERT_EQ(sb.rows.size(), 30u);
  for (int i = 0; i < 30; ++i) ASSERT_EQ(sb.rows[static_cast<std::size_t>(i)], SeaBassRow(i)) << "row " << i;

  // Told otherwise.
  ASSERT_EQ(exportTo("seabass", "--meta data_status=final --meta data_type=flow_thru").exitStatus, 0);
  sb = ReadSeaBass(test::ReadTextFile(dir.File("cast.sb")).value_or(""));
  EXPECT_EQ(sb.headers["data_status"], "final");
  EXPECT_EQ(sb.headers["data_type"], "flow_thru");

  // NetCDF keeps the names as given, as ACDD's comma-separated list.
  ASSERT_EQ(exportTo("netcdf", "").exitStatus, 0);
  EXPECT_EQ(NcFile(dir.File("cast.nc")).Text(NC_GLOBAL, "creator_name"),
            "A. Diver, B. Winch, \xC3\x98yvind \xC3\x85s");

  // Values the keys cannot take: wrong usage, said with the key and value.
  for (const std::string meta : {"latitude=91", "latitude=43,5", "latitude=north", "longitude=360.5",
                                  "longitude=nan", "longitude=1e2", "data_type=cats", "data_status=done"}) {
    const test::CliRun run = exportTo("csv", "--meta " + Quoted(meta));
    EXPECT_EQ(run.exitStatus, 2) << meta;
    const std::string key = meta.substr(0, meta.find('='));
    EXPECT_NE(run.err.find(key + " \"" + meta.substr(meta.find('=') + 1) + "\""), std::string::npos) << run.err;
    EXPECT_EQ(RunTool(kCli, "record --device d --port p --out o.dat --meta " + Quoted(meta), dir).exitStatus, 2)
        << meta;
  }
  // Half a position is no position: the export of that file fails, told.
  test::CliRun half = exportTo("csv", "--meta latitude=43.5");
  EXPECT_EQ(half.exitStatus, 1);
  EXPECT_NE(half.err.find("needs both latitude and longitude"), std::string::npos) << half.err;
  // ... and so does a companion edited by hand into a latitude that is none.
  companion.deployment.Set("latitude", "95");
  companion.deployment.Set("longitude", "10");
  const std::string edited = Recording(dir, "edited", 30, companion);
  half = RunTool(kCli, "export " + Quoted(edited) + " --format seabass", dir);
  EXPECT_EQ(half.exitStatus, 1);
  EXPECT_NE(half.err.find("latitude \"95\""), std::string::npos) << half.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("edited.sb")));
}

// Every kind of line break, NUL and control character, and text that
// would end the header and add rows, in every text an export writes into a
// header: the deployment's, the events' kinds and notes, the position
// source, and --meta on the command line.
TEST(ExportArchive, HostileTextsStayOnOneLine) {
  const std::string fake = "/end_header\n20991231,23:59:59,9,9,9\n";
  // (A byte that is not UTF-8, like a lone 0x85, cannot be in the JSON
  // companion; it comes on the command line below.)
  const std::vector<std::string> breaks = {"\n", "\r", "\r\n", "\v", "\f", std::string(1, '\0'), "\x1C", "\x1D",
                                           "\x1E", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9", "\t", "\x7F"};
  std::vector<std::string> hostile;
  for (const std::string& b : breaks) {
    std::string text = "x";
    for (const char c : fake) text += c == '\n' ? b : std::string(1, c);  // the fake's line ends of this kind
    hostile.push_back(text);
  }
  TempDir dir;
  Companion companion = BaseCompanion();
  for (std::size_t k = 0; k < 8; ++k) companion.deployment.values[k] = hostile[k % hostile.size()] + "v" + std::to_string(k);
  companion.positionSource = hostile[9];
  for (std::size_t k = 0; k < hostile.size(); ++k)
    companion.events.push_back({kZero + static_cast<std::int64_t>(k) * 100, hostile[(k + 3) % hostile.size()], hostile[k]});
  const std::string data = Recording(dir, "hostile", 40, companion);
  const std::string meta = "--meta " + Quoted("station=St\n/end_header\n1,2,3") + " --meta " +
                           Quoted("experiment=E\xE2\x80\xA8/end_header\xE2\x80\xA8" "1,2,3") + " --meta " +
                           Quoted("cast=C\x85/end_header\x85" "1,2,3");
  for (const char* format : {"seabass", "netcdf", "csv"}) {
    const test::CliRun run =
        RunTool(kCli, "export " + Quoted(data) + " --format " + format + " " + meta, dir);
    ASSERT_EQ(run.exitStatus, 0) << format << ": " << run.err;
  }

  // SeaBASS: printable ASCII and line feeds only, so no reader finds another
  // line break; the header well formed; exactly the data file's rows.
  const std::string text = test::ReadTextFile(dir.File("hostile.sb")).value_or("");
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto c = static_cast<unsigned char>(text[at]);
    ASSERT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << "byte " << static_cast<int>(c) << " at " << at;
  }
  const SeaBass sb = ReadSeaBass(text);
  ASSERT_TRUE(sb.wellFormed) << sb.fault;
  ASSERT_EQ(sb.rows.size(), 40u);
  for (int i = 0; i < 40; ++i) ASSERT_EQ(sb.rows[static_cast<std::size_t>(i)], SeaBassRow(i)) << "row " << i;
  EXPECT_EQ(sb.headers.at("station"), "St_/end_header_1,2,3");
  std::size_t events = 0;
  for (const std::string& comment : sb.comments) events += comment.starts_with(" event ");
  EXPECT_EQ(events, hostile.size());
  // Python's reader splits at every line break Unicode knows.
  const std::string script = dir.File("rows.py");
  test::WriteTextFile(script,
                      "import sys\n"
                      "lines = open(sys.argv[1], encoding='ascii').read().splitlines()\n"
                      "end = lines.index('/end_header')\n"
                      "print(lines.count('/end_header'), len(lines) - end - 1, all(l[0] in '/!' for l in lines[:end]))\n");
  const test::CliRun py = RunTool("/usr/bin/python3", Quoted(script) + " " + Quoted(dir.File("hostile.sb")), dir);
  if (py.exitStatus != 127) {
    EXPECT_EQ(py.out, "1 40 True\n") << py.err;
  }

  // NetCDF: the attributes read a line at a time hold their lines: one an
  // event, one for the history; the event variables keep the texts as
  // given (up to a NUL, where a C string ends).
  const NcFile nc(dir.File("hostile.nc"));
  ASSERT_TRUE(nc.ok());
  const auto lineBreakFree = [](const std::string& s) {
    for (std::size_t at = 0; at < s.size(); ++at) {
      const auto c = static_cast<unsigned char>(s[at]);
      if (c < 0x20 || c == 0x7F || s.compare(at, 2, "\xC2\x85") == 0 || s.compare(at, 3, "\xE2\x80\xA8") == 0 ||
          s.compare(at, 3, "\xE2\x80\xA9") == 0)
        return false;
    }
    return true;
  };
  const std::vector<std::string> eventLines = Split(nc.Text(NC_GLOBAL, "events"), '\n');
  ASSERT_EQ(eventLines.size(), hostile.size());
  for (const std::string& line : eventLines) EXPECT_TRUE(lineBreakFree(line)) << line;
  for (const char* name : {"history", "title", "summary", "creator_name", "position_source", "cruise", "station"})
    EXPECT_TRUE(lineBreakFree(nc.Text(NC_GLOBAL, name))) << name << ": " << nc.Text(NC_GLOBAL, name);
  const std::vector<std::string> notes = nc.Strings("event_note");
  ASSERT_EQ(notes.size(), hostile.size());
  for (std::size_t k = 0; k < hostile.size(); ++k) EXPECT_EQ(notes[k], hostile[k].substr(0, hostile[k].find('\0')));

  // The one helper itself, on what the outputs above could not show.
  EXPECT_EQ(OneLine("caf\xC3\xA9 \xC3\x9F \xC3\x86 \xE2\x82\xAC", true), "cafe ss AE _");
  EXPECT_EQ(OneLine("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(OneLine("a\xC0\xAF" "b\xED\xA0\x80" "c\xF4\x90\x80\x80"), "a??b???c????");  // overlong, surrogate, too high
}

// Unmounts the folder when the test ends, however it ends.
struct Mounted {
  std::string path;
  bool ok = false;
  ~Mounted() {
    if (ok) RunTool("umount", Quoted(path), TempDir());
  }
};

// A disk that fills up during the export: exit status 1 with the reason,
// never a crash, and nothing left on that disk, neither the output nor its
// temporary file. A small tmpfs is that disk (root only).
TEST(ExportArchive, AFullDiskFailsCleanlyAndLeavesNothing) {
  TempDir dir;
  const std::string data = Recording(dir, "long", 5000, BaseCompanion());
  const std::string small = Recording(dir, "short", 20, BaseCompanion());
  Mounted full{dir.File("full")};
  std::filesystem::create_directory(full.path);
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  full.ok = RunTool("mount", "-t tmpfs -o size=200k tmpfs " + Quoted(full.path), dir).exitStatus == 0;
  if (!full.ok) GTEST_SKIP() << "cannot mount a tmpfs here";

  for (const std::string format : {"netcdf", "seabass", "csv"}) {
    SCOPED_TRACE(format);
    // What fits is written.
    const std::string fits = full.path + "/short." + format;
    ASSERT_EQ(RunTool(kCli, "export " + Quoted(small) + " --format " + format + " --out " + Quoted(fits), dir).exitStatus, 0);
    std::filesystem::remove(fits);
    // What does not: told, and nothing left behind.
    const test::CliRun run = RunTool(
        kCli, "export " + Quoted(data) + " --format " + format + " --out " + Quoted(full.path + "/long.out"), dir);
    EXPECT_EQ(run.exitStatus, 1) << run.err;  // not 139, a crash (SIGSEGV) at the program's exit
    EXPECT_NE(run.err.find("sondrix-cli export: " + full.path + "/long.out: "), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(full.path));
  }
}

}  // namespace
}  // namespace sondrix
