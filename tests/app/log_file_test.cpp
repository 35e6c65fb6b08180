// SPDX-License-Identifier: GPL-3.0-or-later
// The application's log: "sondrix.log" in the project directory at the
// level of the command line, else of the "LogLevel" setting, else warnings
// and errors; it rotates at about a megabyte; a run tells its start, end
// and summary; the pop-ups are kept in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_fixtures.h"
#include "app/application.h"
#include "common/errors.h"
#include "common/log.h"

namespace sondrix {
namespace {

namespace fs = std::filesystem;

class LogFileTest : public test::AppTest {
 protected:
  std::string LogPath() const { return HomeFile("sondrix.log"); }
  // The texts of the file's lines at `level` (after "[level] ").
  std::vector<std::string> Logged(LogLevel level) const {
    std::vector<std::string> texts;
    const std::string tag = "[" + std::string(logging::LevelName(level)) + "] ";
    std::istringstream in(test::ReadTextFile(LogPath()).value_or(""));
    for (std::string line; std::getline(in, line);) {
      const std::size_t at = line.find(tag);
      if (at != std::string::npos) texts.push_back(line.substr(at + tag.size()));
    }
    return texts;
  }
  static bool AnyStartsWith(const std::vector<std::string>& texts, const std::string& start) {
    for (const std::string& text : texts)
      if (text.rfind(start, 0) == 0) return true;
    return false;
  }
};

TEST_F(LogFileTest, TheSettingSetsTheLevelOfTheFileInTheProjectDirectory) {
  WriteSettings("[General]\nLogLevel=info\n");
  Start();
  EXPECT_EQ(logging::FilePath(), LogPath());
  EXPECT_EQ(logging::Threshold(), LogLevel::Info);
  const auto info = Logged(LogLevel::Info);
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0], "Sondrix ver 7.1 starts in " + home.path() + "; log level info");
  FinishApplication(app);
  EXPECT_EQ(Logged(LogLevel::Info).back(), "Sondrix ends");
}

TEST_F(LogFileTest, ByDefaultOnlyWhatTheUserIsToldIsKept) {
  Start();
  EXPECT_EQ(logging::Threshold(), LogLevel::Warn);
  EXPECT_FALSE(fs::exists(LogPath()));  // nothing to keep yet, no empty file
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), HomeFile("gone.raw")), status::kCantOpenFile);
  ASSERT_EQ(ErrorTexts().size(), 1u);
  EXPECT_EQ(Logged(LogLevel::Error),
            std::vector<std::string>{ErrorTexts()[0] + " (" + std::to_string(status::kCantOpenFile) + ")"});
  EXPECT_TRUE(Logged(LogLevel::Info).empty());
  EXPECT_TRUE(Logged(LogLevel::Debug).empty());
}

TEST_F(LogFileTest, TheCommandLineWinsOverTheSettingAndABadSettingIsTold) {
  WriteSettings("[General]\nLogLevel=loud\n");
  AppOptions options;
  options.logLevel = LogLevel::Debug;
  Start(options);
  EXPECT_EQ(logging::Threshold(), LogLevel::Debug);
  EXPECT_EQ(Logged(LogLevel::Warn),
            std::vector<std::string>{
                "Sondrix.ini: LogLevel=loud is no log level (error, warn, info, debug, trace or off)"});
  // Without the command line a bad setting leaves the default.
  FinishApplication(app);
  App next;
  ASSERT_EQ(StartApplication(next, {}), status::kOk);
  EXPECT_EQ(logging::Threshold(), LogLevel::Warn);
  FinishApplication(next);
}

TEST_F(LogFileTest, TheFileRotatesAtAboutAMegabyte) {
  WriteSettings("[General]\nLogLevel=info\n");
  Start();
  const std::string text(100, 'x');
  for (int i = 0; i < 12000; ++i) SONDRIX_LOG(Info, "%05d %s", i, text.c_str());
  ASSERT_TRUE(fs::exists(LogPath() + ".1"));
  EXPECT_FALSE(fs::exists(LogPath() + ".2"));  // about 1.5 MB in all
  EXPECT_LE(fs::file_size(LogPath() + ".1"), 1u << 20);
  EXPECT_GT(fs::file_size(LogPath() + ".1"), (1u << 20) - 200);
  EXPECT_LT(fs::file_size(LogPath()), 1u << 20);
  EXPECT_TRUE(AnyStartsWith(Logged(LogLevel::Info), "11999 "));
}

// A replay of a capture at debug level: where the run reads from, why it
// ended and its summary, between the port's lines.
TEST_F(LogFileTest, ARunTellsItsStartEndAndSummary) {
  WriteSettings("[General]\nLogLevel=debug\n");
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(4)), status::kOk);
  ui.AnswerFile(HomeFile("replayed.dat"));
  ASSERT_EQ(Acquire_Run(app), status::kUnexpectedEof);
  const auto debug = Logged(LogLevel::Debug);
  EXPECT_TRUE(AnyStartsWith(debug, "raw capture " + HomeFile("capture.raw") + " opened for replay"));
  EXPECT_TRUE(AnyStartsWith(debug, "run starts: "));
  EXPECT_TRUE(AnyStartsWith(debug, "run ends after "));
  const auto info = Logged(LogLevel::Info);
  ASSERT_FALSE(info.empty());
  EXPECT_EQ(info.back().rfind("run summary: 40 lines recorded, 0 samples lost in ", 0), 0u) << info.back();
  EXPECT_TRUE(info.back().ends_with("; the replay came to its end")) << info.back();
}

// -- The command line ---------------------------------------------------------------

int Parse(std::vector<std::string> words, AppOptions& options) {
  words.insert(words.begin(), "sondrix");
  std::vector<char*> args;
  for (std::string& word : words) args.push_back(word.data());
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int code = ParseCommandLine(args, options, out, err);
  std::fclose(out);
  std::fclose(err);
  return code;
}

TEST(LogCommandLineTest, LevelsAndVerbosityBesideADataFile) {
  AppOptions options;
  EXPECT_EQ(Parse({"run.dat"}, options), -1);
  EXPECT_FALSE(options.logLevel.has_value());

  options = {};
  EXPECT_EQ(Parse({"--log-level", "trace", "run.dat"}, options), -1);
  EXPECT_EQ(options.logLevel, LogLevel::Trace);
  EXPECT_EQ(options.dataFile, "run.dat");

  options = {};
  EXPECT_EQ(Parse({"run.dat", "-vv"}, options), -1);
  EXPECT_EQ(options.logLevel, LogLevel::Debug);

  options = {};
  EXPECT_EQ(Parse({"--log-level=warn"}, options), -1);
  EXPECT_EQ(options.logLevel, LogLevel::Warn);  // given, so it wins over the setting

  options = {};
  EXPECT_EQ(Parse({"--log-level", "loud"}, options), 2);
  EXPECT_EQ(Parse({"--log-level"}, options), 2);
}

}  // namespace
}  // namespace sondrix
