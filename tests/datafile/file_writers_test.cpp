// SPDX-License-Identifier: GPL-3.0-or-later
// The files a run writes never go where a link planted under their names
// points: the companion, the settings and a saved graph are written whole
// under a new temporary name and put in place (a link at the temporary or
// at the name itself replaced, never followed), and the track a run appends
// to refuses a link outright. What each writer leaves is read back by its
// own reader; the file a link pointed at keeps its bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>

#include "datafile/companion.h"
#include "datafile/track.h"
#include "platform/file_replacement.h"
#include "platform/panel_state.h"
#include "platform/profile.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

namespace fs = std::filesystem;

constexpr const char* kVictim = "a file of someone else's\n";

bool IsLink(const std::string& path) { return fs::is_symlink(fs::symlink_status(path)); }
bool IsRegular(const std::string& path) { return fs::is_regular_file(fs::symlink_status(path)); }

struct Writer {
  const char* name;
  const char* file;
  const char* temporary;  // the suffix of its temporary
  std::function<bool(const std::string&)> write;
  // Whether what is at the name is what the writer wrote.
  std::function<bool(const std::string&)> holds;
};

const Writer kReplacing[] = {
    {"companion", "run.meta.json", ".new",
     [](const std::string& path) {
       Companion c;
       c.deployment.Set("cruise", "SX2612");
       return WriteCompanion(path, c) == status::kOk;
     },
     [](const std::string& path) {
       Companion c;
       std::string error;
       return ReadCompanion(path, c, error) == status::kOk && *c.deployment.Find("cruise") == "SX2612";
     }},
    {"settings", "Sondrix.ini", ".new",
     [](const std::string& path) { return platform::WritePrivateProfileString("General", "Port", "COM2", path); },
     [](const std::string& path) { return platform::GetPrivateProfileString("General", "Port", "", path) == "COM2"; }},
    {"saved graph", "state.gph", ".tmp",
     [](const std::string& path) {
       platform::PanelState state;
       state.name = "Main";
       return platform::WritePanelStateFile(path, 1, state) == 0;
     },
     [](const std::string& path) {
       platform::PanelState state;
       return platform::ReadPanelStateFile(path, 1, state) == 0 && state.name == "Main";
     }},
};

TEST(FileWriters, ALinkAtTheTemporaryOrAtTheNameIsReplacedNeverFollowed) {
  for (const Writer& writer : kReplacing) {
    for (const bool atName : {false, true}) {
      SCOPED_TRACE(std::string(writer.name) + (atName ? ": a link at the name" : ": a link at the temporary"));
      test::TempDir dir;
      const std::string path = dir.File(writer.file);
      const std::string temporary = path + writer.temporary;
      const std::string victim = test::WriteTextFile(dir.File("victim.txt"), kVictim);
      ASSERT_EQ(::symlink(victim.c_str(), (atName ? path : temporary).c_str()), 0);
      ASSERT_TRUE(writer.write(path));
      EXPECT_EQ(test::ReadTextFile(victim).value_or(""), kVictim);
      EXPECT_TRUE(IsRegular(path));
      EXPECT_TRUE(writer.holds(path));
      EXPECT_FALSE(fs::exists(fs::symlink_status(temporary)));
    }
    // A dangling link creates nothing where it points either.
    test::TempDir dir;
    const std::string path = dir.File(writer.file);
    ASSERT_EQ(::symlink(dir.File("made-through-a-link").c_str(), (path + writer.temporary).c_str()), 0);
    ASSERT_TRUE(writer.write(path)) << writer.name;
    EXPECT_FALSE(fs::exists(dir.File("made-through-a-link"))) << writer.name;
    EXPECT_TRUE(writer.holds(path)) << writer.name;
  }
}

TEST(FileWriters, ATrackRefusesALinkAndStartsANewFileOfItsOwn) {
  test::TempDir dir;
  const std::string path = TrackPathFor(dir.File("Sondrix.tmp"));
  const std::string victim = test::WriteTextFile(dir.File("victim.txt"), kVictim);
  ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);
  TrackWriter track;
  EXPECT_EQ(track.Open(path), status::kWriteFailed);
  EXPECT_EQ(test::ReadTextFile(victim).value_or(""), kVictim);
  EXPECT_TRUE(IsLink(path));
  // A source whose text would break the line is kept on one line.
  fs::remove(path);
  ASSERT_EQ(track.Open(path), status::kOk);
  const TrackFix fix{1765308000000, 43.5, -70.25, 1, 8, 0.9, "/dev/tty\nUSB\xe8"};
  ASSERT_EQ(track.Append(fix), status::kOk);
  ASSERT_EQ(track.Close(), status::kOk);
  const std::string text = test::ReadTextFile(path).value_or("");
  EXPECT_TRUE(text.ends_with("\n2025-12-09T19:20:00.000Z,1765308000000,43.5000000,-70.2500000,1,8,0.9,"
                             "/dev/tty\\x0aUSB\\xe8\n"))
      << text;
  std::vector<TrackFix> fixes;
  long skipped = 0;
  std::string error;
  ASSERT_EQ(ReadTrack(path, fixes, skipped, error), status::kOk) << error;
  ASSERT_EQ(fixes.size(), 1u);
  TrackFix printed = fix;
  printed.source = "/dev/tty\\x0aUSB\\xe8";
  EXPECT_EQ(fixes[0], printed);
}

// The steps of a replacement that a link or a folder could subvert: a
// folder at the temporary's name is refused and the old file kept; a link
// planted at a reserved name before its writer creates it makes that
// writer fail; a temporary swapped for a link after it was written is not
// put in place; a temporary left by a program that died is replaced.
TEST(FileWriters, AReplacementKeepsTheOldFileWhenItsTemporaryIsTakenOrSwapped) {
  test::TempDir dir;
  const std::string path = test::WriteTextFile(dir.File("out.csv"), "old\n");
  const std::string victim = test::WriteTextFile(dir.File("victim.txt"), kVictim);

  fs::create_directory(path + ".part");
  platform::FileReplacement folder = platform::FileReplacement::Create(path, ".part");
  EXPECT_EQ(folder.error(), EISDIR);
  EXPECT_FALSE(folder.Commit());
  fs::remove(path + ".part");

  platform::FileReplacement reserved = platform::FileReplacement::Reserve(path, ".part");
  ASSERT_TRUE(reserved.ok());
  ASSERT_EQ(::symlink(victim.c_str(), reserved.temporary().c_str()), 0);
  EXPECT_LT(platform::CreateNewFile(reserved.temporary()), 0);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_FALSE(reserved.Commit());
  EXPECT_EQ(reserved.error(), ELOOP);

  platform::FileReplacement swapped = platform::FileReplacement::Create(path, ".part");
  ASSERT_TRUE(swapped.Write("new\n"));
  fs::rename(swapped.temporary(), dir.File("aside"));
  ASSERT_EQ(::symlink(victim.c_str(), swapped.temporary().c_str()), 0);
  EXPECT_FALSE(swapped.Commit());
  EXPECT_TRUE(IsLink(swapped.temporary()));  // not ours: left alone

  EXPECT_EQ(test::ReadTextFile(path).value_or(""), "old\n");
  EXPECT_EQ(test::ReadTextFile(victim).value_or(""), kVictim);

  fs::remove(path + ".part");
  test::WriteTextFile(path + ".part", "left by a program that died\n");
  EXPECT_EQ(platform::ReplaceFileWith(path, "new\n", ".part"), 0);
  EXPECT_EQ(test::ReadTextFile(path).value_or(""), "new\n");
  EXPECT_FALSE(fs::exists(path + ".part"));
}

}  // namespace
}  // namespace sondrix
