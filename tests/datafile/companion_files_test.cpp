// SPDX-License-Identifier: GPL-3.0-or-later
// A recording's companion goes where its data file goes: saved (renamed)
// with it, over an older recording's, recovered with it and deleted with
// it. Whatever the operation, the companion beside a data file afterwards
// is the one written for that recording, or none: never another's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "datafile/companion.h"
#include "datafile/data_file.h"
#include "datafile/scratch_recording.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

namespace fs = std::filesystem;

enum class Operation { SaveAs, Delete, Recover };

struct Case {
  const char* name;
  Operation operation;
  const char* target;       // the name saved as (SaveAs), relative to the project
  bool scratchCompanion;    // the recording has its companion
  bool oldData;             // an older recording carries the target name
  bool oldCompanion;        // ... with its companion
  // What is beside the target afterwards: the recording's companion ("run"),
  // the older one ("old"), or none ("").
  const char* expected;
};

class CompanionFilesTest : public test::HeadlessTest {
 protected:
  // A companion whose note tells whose it is.
  void Write(const std::string& dataFile, const std::string& whose) {
    Companion companion;
    companion.program = std::string(kCompanionProgram);
    companion.deployment.Set("note", whose);
    ASSERT_EQ(WriteCompanion(CompanionPathFor(dataFile), companion), 1);
  }
  // Whose companion is beside `dataFile` ("" for none).
  static std::string Whose(const std::string& dataFile) {
    Companion companion;
    std::string error;
    if (ReadCompanion(CompanionPathFor(dataFile), companion, error) != 1) return "";
    return *companion.deployment.Find("note");
  }
};

TEST_F(CompanionFilesTest, TheCompanionFollowsItsDataFileAndNoOtherStaysBesideIt) {
  const Case cases[] = {
      {"saved under a new name", Operation::SaveAs, "cast1.dat", true, false, false, "run"},
      {"saved over an older recording", Operation::SaveAs, "cast1.dat", true, true, true, "run"},
      {"saved over an older recording without a companion", Operation::SaveAs, "cast1.dat", true, true, false, "run"},
      {"a recording without one saved over an older one", Operation::SaveAs, "cast1.dat", false, true, true, ""},
      {"an older companion whose data file is gone", Operation::SaveAs, "cast1.dat", false, false, true, ""},
      {"saved into another folder", Operation::SaveAs, "cruise/cast1.dat", true, true, true, "run"},
      {"saved under the scratch file's own stem", Operation::SaveAs, "Sondrix.dat", true, false, false, "run"},
      {"saved under a name without an extension", Operation::SaveAs, "cast1", true, true, true, "run"},
      {"deleted", Operation::Delete, "", true, false, false, ""},
      {"recovered", Operation::Recover, "", true, false, true, "run"},
      {"recovered without a companion", Operation::Recover, "", false, false, true, ""},
  };
  const std::string scratch = HomeFile("Sondrix.tmp");
  fs::create_directories(HomeFile("cruise"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A recording left in the scratch file whose last write was at
    // 2025-03-04 05:06:07 local time (the recovery name says so).
    std::tm when{};
    when.tm_year = 125;
    when.tm_mon = 2;
    when.tm_mday = 4;
    when.tm_hour = 5;
    when.tm_min = 6;
    when.tm_sec = 7;
    when.tm_isdst = -1;
    const std::string recovered = RecoveredRecordingName(scratch, when);
    std::string target = c.operation == Operation::SaveAs ? HomeFile(c.target) : c.operation == Operation::Recover ? recovered : scratch;
    for (const std::string& stale : {target, CompanionPathFor(target), CompanionPathFor(scratch)}) fs::remove(stale);
    test::WriteTextFile(scratch, "the run\n");
    if (c.scratchCompanion) Write(scratch, "run");
    if (c.oldData) test::WriteTextFile(target, "an older run\n");
    if (c.oldCompanion) Write(target, "old");

    switch (c.operation) {
      case Operation::SaveAs: {
        DataFile recording(scratch, "");
        ASSERT_EQ(recording.SaveAs(target), 1);
        EXPECT_EQ(test::ReadTextFile(target).value_or(""), "the run\n");
        break;
      }
      case Operation::Delete: {
        DataFile recording(scratch, "");
        ASSERT_EQ(recording.Delete(), 1);
        EXPECT_FALSE(fs::exists(scratch));
        break;
      }
      case Operation::Recover: {
        std::tm local = when;
        const std::time_t seconds = std::mktime(&local);
        const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ::utimensat(AT_FDCWD, scratch.c_str(), times, 0);
        ScratchLock lock;
        std::string kept;
        ASSERT_EQ(lock.Acquire(scratch, kept), ScratchLock::Result::Ready);
        ASSERT_EQ(kept, recovered);
        EXPECT_EQ(test::ReadTextFile(recovered).value_or(""), "the run\n");
        lock.Release();
        break;
      }
    }
    EXPECT_EQ(Whose(target), c.expected);
    // Nothing of the recording is left under the scratch name's companion,
    // unless the target shares it.
    if (CompanionPathFor(target) != CompanionPathFor(scratch)) {
      EXPECT_FALSE(fs::exists(CompanionPathFor(scratch)));
    }
    fs::remove(scratch);
  }
}

}  // namespace
}  // namespace sondrix
