// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/panel_state.h"
#include "platform/profile.h"
#include "platform/uir.h"
#include "support/fixtures.h"

namespace sondrix::platform {
namespace {

using test::ScopedEnv;
using test::TempDir;

struct SplitResult {
  std::string drive, directory, file;
};

SplitResult Split(std::string_view path) {
  SplitResult r;
  SplitPath(path, r.drive, r.directory, r.file);
  return r;
}

class ExecutablePathGuard {
 public:
  ~ExecutablePathGuard() { SetExecutablePath(""); }
};

TEST(PathsTest, ProjectDirIsSondrixHomeWithoutTrailingSeparator) {
  TempDir dir;
  ScopedEnv env("SONDRIX_HOME", dir.path() + "/");
  EXPECT_EQ(GetProjectDir(), dir.path());
}

TEST(PathsTest, SondrixHomeIsCreatedWhenMissing) {
  TempDir dir;
  ScopedEnv env("SONDRIX_HOME", dir.File("a/b"));
  EXPECT_EQ(GetProjectDir(), dir.File("a/b"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("a/b")));
}

TEST(PathsTest, ProjectDirFallsBackToExecutableDirThenUserData) {
  ExecutablePathGuard guard;
  TempDir dir;
  ScopedEnv env("SONDRIX_HOME", std::nullopt);
  ScopedEnv home("HOME", dir.File("home"));

  SetExecutablePath(dir.File("sondrix"));
  EXPECT_EQ(ExecutableDir(), dir.path());
  EXPECT_EQ(GetProjectDir(), dir.path());

  // An executable directory that is not there (or not writable) is skipped.
  SetExecutablePath(dir.File("gone/bin/sondrix"));
  EXPECT_EQ(GetProjectDir(), dir.File("home/.local/share/sondrix"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("home/.local/share/sondrix")));
}

// An installed program (<prefix>/bin beside <prefix>/share/sondrix) finds its
// resource file there and keeps its project in ~/.local/share/sondrix even
// where it could write beside itself (root in /usr/bin, a package unpacked
// into a folder of one's own), with its examples copied at the first start
// only. A program with its resource file beside it is not installed.
TEST(PathsTest, InstalledProgramKeepsItsProjectInUserData) {
  ExecutablePathGuard guard;
  TempDir dir;
  ScopedEnv env("SONDRIX_HOME", std::nullopt);
  ScopedEnv uir("SONDRIX_UIR", std::nullopt);
  ScopedEnv home("HOME", dir.File("home"));
  const std::string share = dir.File("root/usr/share/sondrix");
  test::WriteTextFile(share + "/sondrix.uir", "");
  test::WriteTextFile(share + "/examples/meter.dev", "meter\n");
  test::WriteTextFile(share + "/examples/captures/meter.raw", "raw");
  std::filesystem::create_directories(dir.File("root/usr/bin"));
  const std::string project = dir.File("home/.local/share/sondrix");

  SetExecutablePath(dir.File("root/usr/bin/sondrix"));
  EXPECT_EQ(InstalledDataDir(), share);
  EXPECT_EQ(UirPath(), share + "/sondrix.uir");
  EXPECT_EQ(GetProjectDir(), project);
  EXPECT_EQ(ReadRegularFile(project + "/examples/meter.dev"), "meter\n");
  EXPECT_EQ(ReadRegularFile(project + "/examples/captures/meter.raw"), "raw");
  // The user's changes stay: a removed example is not brought back.
  std::filesystem::remove(project + "/examples/meter.dev");
  EXPECT_EQ(GetProjectDir(), project);
  EXPECT_FALSE(FileExists(project + "/examples/meter.dev"));

  // A resource file beside the executable: run in place, not installed.
  test::WriteTextFile(dir.File("root/usr/bin/sondrix.uir"), "");
  EXPECT_EQ(InstalledDataDir(), "");
  EXPECT_EQ(GetProjectDir(), dir.File("root/usr/bin"));

  // Installed under the home's prefix (cmake --install --prefix ~/.local):
  // the shared files are the project directory; nothing is copied into it.
  const std::string local = dir.File("home/.local");
  test::WriteTextFile(local + "/share/sondrix/sondrix.uir", "");
  std::filesystem::remove_all(project + "/examples");
  std::filesystem::create_directories(local + "/bin");
  SetExecutablePath(local + "/bin/sondrix-cli");
  EXPECT_EQ(InstalledDataDir(), project);
  EXPECT_EQ(GetProjectDir(), project);
  EXPECT_FALSE(FileExists(project + "/examples"));

  // A build tree: no share/sondrix beside bin.
  SetExecutablePath(dir.File("build/app/sondrix"));
  std::filesystem::create_directories(dir.File("build/app"));
  EXPECT_EQ(InstalledDataDir(), "");
  EXPECT_EQ(GetProjectDir(), dir.File("build/app"));
}

TEST(PathsTest, SplitPathAcceptsBothSeparators) {
  SplitResult win = Split("C:\\data\\runs\\run1.dat");
  EXPECT_EQ(win.drive, "");
  EXPECT_EQ(win.directory, "C:\\data\\runs\\");
  EXPECT_EQ(win.file, "run1.dat");

  SplitResult posix = Split("/home/op/cal/meter.dev");
  EXPECT_EQ(posix.directory, "/home/op/cal/");
  EXPECT_EQ(posix.file, "meter.dev");

  SplitResult mixed = Split("/mnt/c\\old/x.cal");
  EXPECT_EQ(mixed.directory, "/mnt/c\\old/");
  EXPECT_EQ(mixed.file, "x.cal");

  SplitResult bare = Split("name.dat");
  EXPECT_EQ(bare.directory, "");
  EXPECT_EQ(bare.file, "name.dat");

  SplitResult dirOnly = Split("/tmp/");
  EXPECT_EQ(dirOnly.directory, "/tmp/");
  EXPECT_EQ(dirOnly.file, "");
}

TEST(PathsTest, JoinPathUsesOneSeparator) {
  EXPECT_EQ(JoinPath("/a/b", "c.ini"), "/a/b/c.ini");
  EXPECT_EQ(JoinPath("/a/b/", "c.ini"), "/a/b/c.ini");
  EXPECT_EQ(JoinPath("C:\\d\\", "c.ini"), "C:\\d\\c.ini");
  EXPECT_EQ(JoinPath("/a", "/c.ini"), "/a/c.ini");
  EXPECT_EQ(JoinPath("", "c.ini"), "c.ini");
}

TEST(PathsTest, FileExists) {
  TempDir dir;
  EXPECT_FALSE(FileExists(dir.File("x")));
  test::WriteTextFile(dir.File("x"), "1");
  EXPECT_TRUE(FileExists(dir.File("x")));
  EXPECT_FALSE(FileExists(""));
}

// Names that are no file of ours to read: a named pipe (opening it would
// wait for a writer), a device that never ends and a folder. Each reader of
// a named file refuses them at once, as it refuses a name that is not there.
TEST(PathsTest, OnlyRegularFilesAreReadAndNoPipeKeepsAReaderWaiting) {
  TempDir dir;
  const std::string fifo = dir.File("pipe.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string file = test::WriteTextFile(dir.File("real.ini"), "[General]\nDevice=a.dev\n");
  std::filesystem::create_symlink(file, dir.File("link.ini"));
  const std::vector<std::string> refused = {fifo, "/dev/zero", dir.path(), dir.File("gone.ini"), ""};

  for (const std::string& name : refused) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(IsRegularFile(name));
    EXPECT_EQ(OpenRegularFile(name), nullptr);
    EXPECT_FALSE(ReadRegularFile(name).has_value());
    EXPECT_EQ(GetPrivateProfileString("General", "Device", "none", name), "none");
    PanelState state;
    EXPECT_EQ(ReadPanelStateFile(name, 0, state), ui_status::kFileError);
    std::string error;
    EXPECT_FALSE(LoadUir(name, error).has_value());
  }
  for (const std::string& name : {file, dir.File("link.ini")}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(IsRegularFile(name));
    EXPECT_EQ(ReadRegularFile(name), "[General]\nDevice=a.dev\n");
    EXPECT_EQ(GetPrivateProfileString("General", "Device", "none", name), "a.dev");
  }

  // Saving: a new name or a regular file, never the pipe, device or folder
  // (a graph saved over the pipe leaves it a pipe).
  EXPECT_TRUE(IsSaveTarget(dir.File("new.gph")));
  EXPECT_TRUE(IsSaveTarget(file));
  for (const std::string& name : {fifo, std::string("/dev/zero"), dir.path()}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(IsSaveTarget(name));
    EXPECT_EQ(WritePanelStateFile(name, 0, PanelState{}), ui_status::kFileError);
  }
  struct stat info {};
  ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

}  // namespace
}  // namespace sondrix::platform
