// SPDX-License-Identifier: GPL-3.0-or-later
// The log: which lines each threshold lets through (to every output), what
// a line looks like in the file and on standard error, the rotating file,
// and the command-line options of the tools and the application.
#include "common/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/log_capture.h"

namespace sondrix {
namespace {

namespace fs = std::filesystem;

class LogTest : public test::HeadlessTest {
 protected:
  std::string LogPath() const { return HomeFile("sondrix.log"); }
  std::string FileText(const std::string& path) const { return test::ReadTextFile(path).value_or("<none>"); }
  static std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

constexpr std::array<LogLevel, 5> kLineLevels = {LogLevel::Error, LogLevel::Warn, LogLevel::Info, LogLevel::Debug,
                                                 LogLevel::Trace};

// Each threshold against a line of each level, as the levels are
// documented: a threshold writes its own level and the more severe ones.
struct FilterCase {
  LogLevel threshold;
  std::array<bool, 5> written;  // error, warn, info, debug, trace
};
constexpr FilterCase kFilterCases[] = {
    {LogLevel::Off, {false, false, false, false, false}},
    {LogLevel::Error, {true, false, false, false, false}},
    {LogLevel::Warn, {true, true, false, false, false}},
    {LogLevel::Info, {true, true, true, false, false}},
    {LogLevel::Debug, {true, true, true, true, false}},
    {LogLevel::Trace, {true, true, true, true, true}},
};

TEST_F(LogTest, EachThresholdWritesItsLevelAndTheMoreSevereOnesEverywhere) {
  EXPECT_EQ(logging::Threshold(), LogLevel::Warn);  // nothing below warnings unless asked
  logging::ToFile(LogPath());
  logging::ToStderr("sondrix-test");
  for (const FilterCase& c : kFilterCases) {
    SCOPED_TRACE(std::string(logging::LevelName(c.threshold)));
    fs::remove(LogPath());
    logging::ToFile(LogPath());
    test::LogCapture seen(c.threshold);
    testing::internal::CaptureStderr();
    int evaluated = 0;
    auto count = [&evaluated] { return ++evaluated; };
    SONDRIX_LOG(Error, "line %d at error", count());
    SONDRIX_LOG(Warn, "line %d at warn", count());
    SONDRIX_LOG(Info, "line %d at info", count());
    SONDRIX_LOG(Debug, "line %d at debug", count());
    SONDRIX_LOG(Trace, "line %d at trace", count());
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string file = test::ReadTextFile(LogPath()).value_or("");
    int expected = 0;
    for (std::size_t i = 0; i < kLineLevels.size(); ++i) {
      const std::string name(logging::LevelName(kLineLevels[i]));
      const std::string text = "at " + name;
      const bool inSeen = !seen.Containing(text).empty();
      EXPECT_EQ(inSeen, c.written[i]) << name;
      EXPECT_EQ(err.find(text) != std::string::npos, c.written[i]) << name;
      EXPECT_EQ(file.find(text) != std::string::npos, c.written[i]) << name;
      if (c.written[i]) ++expected;
    }
    // A line that is not written costs no evaluation of its arguments.
    EXPECT_EQ(evaluated, expected);
    // No line at all leaves no file behind.
    EXPECT_EQ(fs::exists(LogPath()), expected > 0);
  }
}

TEST_F(LogTest, LinesCarryTimeLevelAndOneEventEach) {
  logging::ToFile(LogPath());
  logging::ToStderr("sondrix-test");
  logging::SetThreshold(LogLevel::Info);
  testing::internal::CaptureStderr();
  SONDRIX_LOG(Info, "%.2f per second", 2.5);
  logging::WriteText(LogLevel::Warn, "first\nsecond\n");
  const std::vector<std::string> err = LinesOf(testing::internal::GetCapturedStderr());
  const std::vector<std::string> file = LinesOf(FileText(LogPath()));
  ASSERT_EQ(err.size(), 2u);
  ASSERT_EQ(file.size(), 2u);
  const std::regex fileLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(info|warn)\] (.*))");
  const std::regex errLine(R"(sondrix-test: \d\d:\d\d:\d\d\.\d{3} \[(info|warn)\] (.*))");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(file[0], m, fileLine)) << file[0];
  EXPECT_EQ(m[2], "2.50 per second");
  ASSERT_TRUE(std::regex_match(file[1], m, fileLine)) << file[1];
  EXPECT_EQ(m[2], "first / second");
  ASSERT_TRUE(std::regex_match(err[0], m, errLine)) << err[0];
  EXPECT_EQ(m[2], "2.50 per second");
  ASSERT_TRUE(std::regex_match(err[1], m, errLine)) << err[1];
}

TEST_F(LogTest, NumbersHaveADecimalPointWhateverTheLocale) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE locale";
  test::LogCapture seen(LogLevel::Info);
  SONDRIX_LOG(Info, "%.1f", 0.5);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(seen.Texts(LogLevel::Info), std::vector<std::string>{"0.5"});
}

// What a pop-up already told the user is kept in the file, not repeated on
// standard error, where a tool prints its pop-ups anyway.
TEST_F(LogTest, ShownMessagesGoToTheFileOnly) {
  logging::ToFile(LogPath());
  logging::ToStderr("sondrix-test");
  testing::internal::CaptureStderr();
  logging::WriteShown(LogLevel::Error, "Can't open file");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_NE(FileText(LogPath()).find("[error] Can't open file"), std::string::npos);
}

// The file rotates before a line would take it past its size: the older
// files hold the earlier lines in order, the oldest beyond `keep` goes, and
// nothing in between is lost.
TEST_F(LogTest, TheFileRotatesKeepingTheNewestLinesInOrder) {
  constexpr std::size_t kMax = 1000;
  constexpr int kKeep = 2;
  logging::ToFile(LogPath(), kMax, kKeep);
  logging::SetThreshold(LogLevel::Info);
  test::WriteTextFile(LogPath(), "an earlier session\n");  // appended to, not replaced
  constexpr int kLines = 100;
  for (int i = 1; i <= kLines; ++i) SONDRIX_LOG(Info, "line %04d", i);

  ASSERT_TRUE(fs::exists(LogPath() + ".1"));
  ASSERT_TRUE(fs::exists(LogPath() + ".2"));
  EXPECT_FALSE(fs::exists(LogPath() + ".3"));
  std::vector<std::string> all;
  for (const std::string& path : {LogPath() + ".2", LogPath() + ".1", LogPath()}) {
    EXPECT_LE(fs::file_size(path), kMax) << path;
    for (const std::string& line : LinesOf(FileText(path))) all.push_back(line);
  }
  // Each line is about 42 bytes: three files hold some 70 of the 100, the
  // newest ones, without a gap.
  ASSERT_GT(all.size(), 50u);
  ASSERT_LT(all.size(), static_cast<std::size_t>(kLines));
  const int first = kLines - static_cast<int>(all.size()) + 1;
  for (std::size_t k = 0; k < all.size(); ++k) {
    char expected[16];
    std::snprintf(expected, sizeof expected, "line %04d", first + static_cast<int>(k));
    EXPECT_TRUE(all[k].ends_with(std::string("[info] ") + expected)) << k << ": " << all[k];
  }

  // Another session appends to the newest file.
  const std::string before = FileText(LogPath());
  logging::ToFile(LogPath(), kMax, kKeep);
  SONDRIX_LOG(Info, "again");
  EXPECT_EQ(FileText(LogPath()).rfind(before, 0), 0u);
}

// A link planted at the log's name is never followed; the program says so
// once and goes on without a file.
TEST_F(LogTest, ALinkAtTheFilesNameIsNotFollowed) {
  const std::string target = test::WriteTextFile(HomeFile("elsewhere.txt"), "keep me\n");
  ASSERT_EQ(::symlink(target.c_str(), LogPath().c_str()), 0);
  logging::ToFile(LogPath());
  test::LogCapture seen(LogLevel::Warn);
  testing::internal::CaptureStderr();
  SONDRIX_LOG(Error, "one");
  SONDRIX_LOG(Error, "two");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(FileText(target), "keep me\n");
  EXPECT_EQ(LinesOf(err).size(), 1u) << err;
  EXPECT_NE(err.find("sondrix.log"), std::string::npos);
  EXPECT_EQ(seen.lines().size(), 2u);  // the observer still sees them
}

// The options of the tools and the application, wherever they stand.
struct OptionCase {
  std::vector<std::string> words;  // after the program's name
  bool ok;
  LogLevel level;                  // from warn; when ok
  std::vector<std::string> left;   // what the command sees; when ok
};

TEST(LogOptionsTest, VerbosityAndLevelsAreTakenOutOfTheCommandLine) {
  using L = LogLevel;
  const std::vector<OptionCase> cases = {
      {{}, true, L::Warn, {}},
      {{"record", "--out", "x.dat"}, true, L::Warn, {"record", "--out", "x.dat"}},
      {{"-v", "record"}, true, L::Info, {"record"}},
      {{"record", "-vv"}, true, L::Debug, {"record"}},
      {{"-vvv", "info", "a.dev"}, true, L::Trace, {"info", "a.dev"}},
      {{"-v", "x", "-v"}, true, L::Debug, {"x"}},
      {{"-vvvvvv"}, true, L::Trace, {}},
      {{"--verbose"}, true, L::Info, {}},
      {{"--verbose", "--verbose", "a"}, true, L::Debug, {"a"}},
      {{"--verbose=trace", "a"}, true, L::Trace, {"a"}},
      {{"--log-level", "error", "a"}, true, L::Error, {"a"}},
      {{"--log-level=OFF"}, true, L::Off, {}},
      {{"--log-level", "Warning"}, true, L::Warn, {}},
      {{"--log-level", "debug", "-v"}, true, L::Trace, {}},
      {{"-vvv", "--log-level", "info"}, true, L::Info, {}},
      {{"-vx"}, true, L::Warn, {"-vx"}},
      {{"-"}, true, L::Warn, {"-"}},
      {{"--verbosely"}, true, L::Warn, {"--verbosely"}},
      {{"--log-level"}, false, L::Warn, {}},
      {{"--log-level", "loud"}, false, L::Warn, {}},
      {{"--verbose=much"}, false, L::Warn, {}},
  };
  for (const OptionCase& c : cases) {
    std::vector<std::string> words = c.words;
    words.insert(words.begin(), "tool");
    std::vector<char*> args;
    for (std::string& word : words) args.push_back(word.data());
    LogLevel level = LogLevel::Warn;
    std::string error;
    std::string shown;
    for (const std::string& word : c.words) shown += word + " ";
    SCOPED_TRACE(shown);
    const bool ok = logging::TakeLogOptions(args, level, error);
    EXPECT_EQ(ok, c.ok) << error;
    if (!c.ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(level, c.level);
    std::vector<std::string> left;
    for (std::size_t i = 1; i < args.size(); ++i) left.emplace_back(args[i]);
    EXPECT_EQ(left, c.left);
    EXPECT_STREQ(args[0], "tool");
  }
}

}  // namespace
}  // namespace sondrix
