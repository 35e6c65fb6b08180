// SPDX-License-Identifier: GPL-3.0-or-later
// The manual pages against the programs themselves: every long option that
// a program's --help names (for sondrix-cli, every subcommand's, in that
// subcommand's section) has its entry in its generated page, every subcommand has
// a section and every section is a subcommand; the pages are compressed
// without a name or a time stamp; and each program's --version prints the
// version that project() in CMakeLists.txt sets (handed to this test by the
// build, not read from the program's own header).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_run.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

const std::string kManDir = SONDRIX_MAN_DIR;
const std::string kVersion = SONDRIX_EXPECTED_VERSION;

// The text of a generated page with the font and spacing escapes taken out,
// so that "\fB--out\fR" reads "--out".
std::string PageText(const std::string& name) {
  const std::string roff = test::ReadTextFile(kManDir + "/" + name + ".1").value_or("");
  return std::regex_replace(roff, std::regex(R"(\\f[BIRP]|\\&)"), "");
}

// The long options a help text names, without "=VALUE".
std::set<std::string> LongOptions(const std::string& help) {
  std::set<std::string> options;
  const std::regex option(R"((^|[^A-Za-z0-9-])(--[a-z][a-z0-9-]*))");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it)
    options.insert((*it)[2]);
  return options;
}

// True when `text` holds `option` as a whole option ("--out" is not found in
// "--out-dir").
bool Names(const std::string& text, const std::string& option) {
  for (std::size_t at = text.find(option); at != std::string::npos; at = text.find(option, at + 1)) {
    const std::size_t end = at + option.size();
    const bool before = at == 0 || !(std::isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '-');
    const bool after =
        end == text.size() || !(std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '-');
    if (before && after) return true;
  }
  return false;
}

// The part of a page under the heading `macro` `title` (".SS record"), up to
// the next heading of that level or above; empty when there is none.
std::string Section(const std::string& page, const std::string& macro, const std::string& title) {
  const std::string heading = macro + " " + title + "\n";
  std::size_t start = page.find("\n" + heading);
  if (start == std::string::npos) return "";
  start += heading.size() + 1;
  std::size_t end = page.find("\n.SH ", start);
  if (macro == ".SS") end = std::min(end, page.find("\n.SS ", start));
  return page.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The titles of the page's headings made with `macro`.
std::vector<std::string> Headings(const std::string& page, const std::string& macro) {
  std::vector<std::string> titles;
  for (const std::string& line : test::Lines(page))
    if (line.rfind(macro + " ", 0) == 0) titles.push_back(line.substr(macro.size() + 1));
  return titles;
}

// The terms of a part of a page's lists: the lines that an indented
// explanation (".RS") follows, as "--bin N" before what it does.
std::string Terms(const std::string& part) {
  std::string terms;
  const std::vector<std::string> lines = test::Lines(part);
  for (std::size_t i = 0; i + 1 < lines.size(); ++i)
    if (lines[i + 1].rfind(".RS", 0) == 0) terms += lines[i] + "\n";
  return terms;
}

// Every option of `help` that no term of `part` explains, for the failure
// message (an option only named in passing is not explained).
std::vector<std::string> Missing(const std::string& help, const std::string& part) {
  const std::string terms = Terms(part);
  std::vector<std::string> missing;
  for (const std::string& option : LongOptions(help))
    if (!Names(terms, option)) missing.push_back(option);
  return missing;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

// The programs and their pages: name, executable.
std::vector<std::pair<std::string, std::string>> Programs() {
  std::vector<std::pair<std::string, std::string>> programs = {{"sondrix-cli", test::kCli}, {"sondrix-sim", test::kSim}};
#ifdef SONDRIX_APP
  programs.emplace_back("sondrix", SONDRIX_APP);
#endif
  return programs;
}

// A program run without any display, as on a server or in a package check.
test::CliRun RunWithoutDisplay(const std::string& program, const std::string& arguments, const test::TempDir& dir) {
  return test::RunTool(program, arguments, dir, "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ");
}

TEST(ManPagesTest, EveryPageHasTheManualSectionsAndTheVersion) {
  const std::vector<std::string> required = {"NAME",        "SYNOPSIS",    "DESCRIPTION", "OPTIONS", "FILES",
                                             "ENVIRONMENT", "EXIT STATUS", "EXAMPLES",    "SEE ALSO"};
  for (const auto& [name, program] : Programs()) {
    SCOPED_TRACE(name);
    const std::string page = PageText(name);
    ASSERT_FALSE(page.empty()) << "no page " << kManDir << "/" << name << ".1";
    EXPECT_NE(page.find(".TH \"" + name + "\" \"1\""), std::string::npos);
    const std::vector<std::string> headings = Headings(page, ".SH");
    for (const std::string& section : required)
      EXPECT_NE(std::find(headings.begin(), headings.end(), section), headings.end()) << "no section " << section;
    // The footer and the text of --version carry project()'s version.
    EXPECT_NE(page.find("\"Sondrix " + kVersion + "\""), std::string::npos);
    EXPECT_TRUE(Names(page, "--version"));
    EXPECT_NE(page.find(name + " " + kVersion), std::string::npos);
  }
}

TEST(ManPagesTest, EveryOptionOfTheHelpTextsIsInThePages) {
  test::TempDir dir;
  for (const auto& [name, program] : Programs()) {
    SCOPED_TRACE(name);
    const test::CliRun help = RunWithoutDisplay(program, "--help", dir);
    ASSERT_EQ(help.exitStatus, 0) << help.err;
    EXPECT_GE(LongOptions(help.out).size(), 3u);
    EXPECT_EQ(Joined(Missing(help.out, PageText(name))), "");
  }
}

TEST(ManPagesTest, EverySubcommandOfTheCliHasItsSectionWithItsOptions) {
  test::TempDir dir;
  const test::CliRun help = test::RunTool(test::kCli, "--help", dir);
  ASSERT_EQ(help.exitStatus, 0);
  // The lines under "Commands:": "  NAME  what it does".
  std::vector<std::string> commands;
  bool listing = false;
  const std::regex command(R"(  ([a-z]+)  +\S.*)");
  for (const std::string& line : test::Lines(help.out)) {
    if (line == "Commands:") listing = true;
    else if (line.empty()) listing = false;
    std::smatch m;
    if (listing && std::regex_match(line, m, command)) commands.push_back(m[1]);
  }
  ASSERT_GE(commands.size(), 7u) << help.out;

  const std::string page = PageText("sondrix-cli");
  const std::string commandsPart = Section(page, ".SH", "COMMANDS");
  std::vector<std::string> sections = Headings(commandsPart, ".SS");
  std::sort(sections.begin(), sections.end());
  std::vector<std::string> listed = commands;
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(Joined(sections), Joined(listed)) << "the page's COMMANDS sections against sondrix-cli --help";

  for (const std::string& name : commands) {
    SCOPED_TRACE(name);
    const test::CliRun usage = test::RunTool(test::kCli, name + " --help", dir);
    ASSERT_EQ(usage.exitStatus, 0) << usage.err;
    const std::string section = Section(commandsPart, ".SS", name);
    ASSERT_FALSE(section.empty());
    EXPECT_NE(section.find("sondrix-cli " + name), std::string::npos) << "no synopsis";
    EXPECT_EQ(Joined(Missing(usage.out, section)), "");
  }
}

TEST(ManPagesTest, TheSimulatorsLineInstrumentOptionsAreInTheirSections) {
  test::TempDir dir;
  const test::CliRun help = test::RunTool(test::kSim, "--help", dir);
  ASSERT_EQ(help.exitStatus, 0);
  const std::size_t receiver = help.out.find("\nGPS receiver:\n");
  const std::size_t tsg = help.out.find("\nThermosalinograph:\n");
  ASSERT_NE(receiver, std::string::npos);
  ASSERT_NE(tsg, std::string::npos);
  ASSERT_LT(receiver, tsg);
  for (const auto& [heading, text] : {std::pair{"GPS receiver (--nmea)", help.out.substr(receiver, tsg - receiver)},
                                      std::pair{"Thermosalinograph (--tsg)", help.out.substr(tsg)}}) {
    SCOPED_TRACE(heading);
    const std::string section = Section(PageText("sondrix-sim"), ".SS", heading);
    ASSERT_FALSE(section.empty());
    EXPECT_GE(LongOptions(text).size(), 15u);
    EXPECT_EQ(Joined(Missing(text, section)), "");
  }
}

TEST(ManPagesTest, TheInstalledPagesAreCompressedWithoutNameOrTime) {
  for (const auto& [name, program] : Programs()) {
    SCOPED_TRACE(name);
    const std::string gz = kManDir + "/" + name + ".1.gz";
    const std::string bytes = test::ReadTextFile(gz).value_or("");
    ASSERT_GE(bytes.size(), 18u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x1f);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0x8b);
    EXPECT_EQ(bytes[3] & 0x08, 0) << "the file name is stored";
    EXPECT_EQ(bytes.substr(4, 4), std::string(4, '\0')) << "a time stamp is stored";
    test::TempDir dir;
    const test::CliRun unpacked = test::RunTool("gzip", "-dc " + test::Quoted(gz), dir);
    EXPECT_EQ(unpacked.exitStatus, 0);
    EXPECT_EQ(unpacked.out, test::ReadTextFile(kManDir + "/" + name + ".1").value_or("-"));
  }
}

TEST(VersionTest, EveryProgramPrintsTheProjectVersion) {
  test::TempDir dir;
  for (const auto& [name, program] : Programs()) {
    SCOPED_TRACE(name);
    // sondrix answers without a display and without opening a window.
    const test::CliRun run = RunWithoutDisplay(program, "--version", dir);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, name + " " + kVersion + "\n");
    EXPECT_EQ(run.err, "");
  }
}

}  // namespace
}  // namespace sondrix
