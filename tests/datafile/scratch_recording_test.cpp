// SPDX-License-Identifier: GPL-3.0-or-later
// The scratch recording of a run: its lock, and the recording a dead run
// left behind, which the next run keeps under a recovery name.
#include "datafile/scratch_recording.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "support/fixtures.h"

namespace sondrix {
namespace {

namespace fs = std::filesystem;

// A local date and time: years since 1900, months from 0.
std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm when{};
  when.tm_year = year;
  when.tm_mon = month;
  when.tm_mday = day;
  when.tm_hour = hour;
  when.tm_min = minute;
  when.tm_sec = second;
  when.tm_isdst = -1;
  return when;
}

class ScratchRecordingTest : public test::HeadlessTest {
 protected:
  std::string Scratch() const { return HomeFile("Sondrix.tmp"); }

  // A left-behind recording whose last write was at 2025-03-04 05:06:07
  // local time.
  std::string Leftover(const std::string& text) {
    test::WriteTextFile(Scratch(), text);
    std::tm when = LocalTime(125, 2, 4, 5, 6, 7);
    const std::time_t seconds = std::mktime(&when);
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, Scratch().c_str(), times, 0);
    return HomeFile("Sondrix-recovered-250304_050607.dat");
  }
};

TEST_F(ScratchRecordingTest, NamesBesideTheOutput) {
  EXPECT_EQ(ScratchRecordingBeside("runs/run.dat"), "runs/Sondrix.tmp");
  EXPECT_EQ(ScratchRecordingBeside("run.dat"), "Sondrix.tmp");
  const std::tm when = LocalTime(126, 11, 31, 23, 59, 58);
  EXPECT_EQ(RecoveredRecordingName("/data/Sondrix.tmp", when), "/data/Sondrix-recovered-261231_235958.dat");
  EXPECT_EQ(RecoveredRecordingName("Sondrix.tmp", when, 3), "Sondrix-recovered-261231_235958-3.dat");
}

TEST_F(ScratchRecordingTest, ALeftoverIsKeptUnderARecoveryNameThatReplacesNothing) {
  const std::string first = Leftover("the first dead run\n");
  ScratchLock lock;
  std::string recovered;
  ASSERT_EQ(lock.Acquire(Scratch(), recovered), ScratchLock::Result::Ready);
  EXPECT_TRUE(lock.locked());
  EXPECT_EQ(recovered, first);
  EXPECT_EQ(test::ReadTextFile(first), "the first dead run\n");
  EXPECT_EQ(fs::file_size(Scratch()), 0u);
  lock.Release();

  // Another one of the same second does not replace the first.
  Leftover("the second dead run\n");
  ASSERT_EQ(lock.Acquire(Scratch(), recovered), ScratchLock::Result::Ready);
  EXPECT_EQ(recovered, HomeFile("Sondrix-recovered-250304_050607-2.dat"));
  EXPECT_EQ(test::ReadTextFile(recovered), "the second dead run\n");
  EXPECT_EQ(test::ReadTextFile(first), "the first dead run\n");
}

TEST_F(ScratchRecordingTest, AnEmptyLeftoverIsSimplyReused) {
  test::WriteTextFile(Scratch(), "");
  ScratchLock lock;
  std::string recovered = "x";
  EXPECT_EQ(lock.Acquire(Scratch(), recovered), ScratchLock::Result::Ready);
  EXPECT_EQ(recovered, "");
  EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), fs::directory_iterator()), 1);
}

TEST_F(ScratchRecordingTest, TheRecordingOfARunningRunIsLeftAlone) {
  test::WriteTextFile(Scratch(), "a running recording\n");
  const int held = ::open(Scratch().c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  ScratchLock lock;
  std::string recovered;
  EXPECT_EQ(lock.Acquire(Scratch(), recovered), ScratchLock::Result::Busy);
  EXPECT_FALSE(lock.locked());
  EXPECT_EQ(recovered, "");
  EXPECT_EQ(test::ReadTextFile(Scratch()), "a running recording\n");
  ::close(held);

  // Once that run has ended without saving, the next keeps its recording.
  ASSERT_EQ(lock.Acquire(Scratch(), recovered), ScratchLock::Result::Ready);
  EXPECT_EQ(test::ReadTextFile(recovered), "a running recording\n");
}

TEST_F(ScratchRecordingTest, ALeftoverThatCannotBeMovedAsideStaysAndIsReported) {
  const std::string first = Leftover("precious\n");
  test::WriteTextFile(first, "older\n");
  for (int attempt = 2; attempt <= 100; ++attempt)
    test::WriteTextFile(HomeFile("Sondrix-recovered-250304_050607-" + std::to_string(attempt) + ".dat"), "");
  ScratchLock lock;
  std::string recovered;
  EXPECT_EQ(lock.Acquire(Scratch(), recovered), ScratchLock::Result::NotKept);
  EXPECT_FALSE(lock.locked());
  EXPECT_EQ(test::ReadTextFile(Scratch()), "precious\n");
  EXPECT_EQ(test::ReadTextFile(first), "older\n");
}

// A link planted as the scratch recording is neither followed (the run
// would write wherever it points) nor moved aside as a recovered recording;
// a folder of that name stays as it is.
TEST_F(ScratchRecordingTest, ALinkOrAFolderUnderTheScratchNameIsLeftAloneAndRefused) {
  fs::create_directories(HomeFile("outside"));
  const std::string target = HomeFile("outside/target");
  ASSERT_EQ(::symlink(target.c_str(), Scratch().c_str()), 0);
  ScratchLock lock;
  std::string recovered;
  EXPECT_EQ(lock.Acquire(Scratch(), recovered), ScratchLock::Result::Link);
  EXPECT_FALSE(lock.locked());
  EXPECT_EQ(recovered, "");
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(fs::is_symlink(Scratch()));

  // Pointing at a file that holds something: not a left-behind recording.
  test::WriteTextFile(target, "somebody's file\n");
  EXPECT_EQ(lock.Acquire(Scratch(), recovered), ScratchLock::Result::Link);
  EXPECT_EQ(recovered, "");
  EXPECT_EQ(test::ReadTextFile(target), "somebody's file\n");
  EXPECT_EQ(fs::read_symlink(Scratch()), target);
  EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), fs::directory_iterator()), 2);

  fs::remove(Scratch());
  fs::create_directory(Scratch());
  EXPECT_EQ(lock.Acquire(Scratch(), recovered), ScratchLock::Result::NotRegular);
  EXPECT_TRUE(fs::is_directory(Scratch()));
  EXPECT_TRUE(fs::is_empty(Scratch()));
  EXPECT_EQ(recovered, "");
}

TEST_F(ScratchRecordingTest, TheScratchNameTakenByAPipeIsRefusedWithoutWaiting) {
  ASSERT_EQ(::mkfifo(Scratch().c_str(), 0600), 0);
  ScratchLock lock;
  std::string recovered;
  EXPECT_EQ(lock.Acquire(Scratch(), recovered), ScratchLock::Result::NotRegular);
  EXPECT_TRUE(fs::is_fifo(Scratch()));
}

}  // namespace
}  // namespace sondrix

namespace sondrix {
namespace {

TEST_F(ScratchRecordingTest, TheLockFollowsTheFileNotTheName) {
  ScratchLock lock;
  std::string recovered;
  EXPECT_FALSE(lock.Holds(Scratch()));
  ASSERT_EQ(lock.Acquire(Scratch(), recovered), ScratchLock::Result::Ready);
  EXPECT_TRUE(lock.Holds(Scratch()));
  // Saved under its own name: the lock went with it and the name is free.
  std::filesystem::rename(Scratch(), HomeFile("kept.dat"));
  EXPECT_FALSE(lock.Holds(Scratch()));
  ASSERT_EQ(lock.Acquire(Scratch(), recovered), ScratchLock::Result::Ready);
  EXPECT_TRUE(lock.Holds(Scratch()));
  EXPECT_TRUE(recovered.empty());
  lock.Release();
  EXPECT_FALSE(lock.Holds(Scratch()));
}

}  // namespace
}  // namespace sondrix
