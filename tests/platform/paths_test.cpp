#include "platform/paths.h"

#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
}  // namespace sondrix::platform
