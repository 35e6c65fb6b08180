// SPDX-License-Identifier: GPL-3.0-or-later
// The data-file base: saving a recording through the dialog, choosing a file
// to replay, the title line, the bin size line and closing.
#include "datafile/data_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/settings.h"
#include "common/status.h"
#include "common/utils.h"
#include "source/source_line.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

// A recording of two traces through the data file's own line writer.
class TwoTraceFile : public DataFile {
 public:
  using DataFile::DataFile;
  int GetTraceCount() override { return 2; }
  Status WriteData(const SourceLine& line) override { return WriteSampleLine(line); }
};

class DataFileTest : public test::HeadlessTest {
 protected:
  // Sample line `n` and, written by hand, its text in the file.
  static SourceLine Line(int n) {
    SourceLine line(2);
    line.status = 1;
    line.time = 100 * n;
    line.values = {0.5, n / 1000.0};
    line.tail = "20.00\t6.0";
    return line;
  }
  static std::string LineText(int n) {
    char text[96];
    std::snprintf(text, sizeof text, "%d\t0.50000\t%.5f\t20.00\t6.0\n", 100 * n, n / 1000.0);
    return text;
  }
  // The text after the bin size line of a file.
  static std::string SampleText(const std::string& path) {
    const std::string text = test::ReadTextFile(path).value_or("");
    const std::size_t bin = text.find("; acquisition binsize\n");
    return bin == std::string::npos ? std::string() : text.substr(bin + 22);
  }

  // A recording in "Sondrix.tmp" of the project directory.
  std::string Recording(std::string_view text = "recorded\n") {
    return test::WriteTextFile(HomeFile("Sondrix.tmp"), text);
  }
};

TEST_F(DataFileTest, SavingAsksForANameAndRemembersItsDirectory) {
  DataFile file(Recording(), "");
  ui.AnswerFile(HomeFile("runs/one.dat"));
  std::filesystem::create_directories(HomeFile("runs"));
  EXPECT_EQ(file.Save(), 1);
  ASSERT_EQ(ui.fileDialogs().size(), 1u);
  EXPECT_EQ(ui.fileDialogs()[0].request.title, "Save data in file:");
  EXPECT_EQ(ui.fileDialogs()[0].request.defaultSpec, "*.dat");
  EXPECT_EQ(test::ReadTextFile(HomeFile("runs/one.dat")), "recorded\n");
  EXPECT_FALSE(std::filesystem::exists(HomeFile("Sondrix.tmp")));
  EXPECT_EQ(settings::Directory(settings::kDataDirectory).rfind(HomeFile("runs"), 0), 0u);
}

TEST_F(DataFileTest, SavingOverAnExistingFileAsksFirst) {
  test::WriteTextFile(HomeFile("old.dat"), "older run\n");
  DataFile file(Recording(), "");
  ui.AnswerFile(HomeFile("old.dat")).AnswerConfirm(false);
  EXPECT_EQ(file.Save(), -1021);
  EXPECT_EQ(test::ReadTextFile(HomeFile("old.dat")), "older run\n");
  ASSERT_FALSE(ui.popups().empty());
  EXPECT_EQ(ui.popups().back().text, "This file exists. Do you want to overwrite it?");

  ui.AnswerFile(HomeFile("old.dat")).AnswerConfirm(true);
  EXPECT_EQ(file.Save(), 1);
  EXPECT_EQ(test::ReadTextFile(HomeFile("old.dat")), "recorded\n");
}

TEST_F(DataFileTest, CancellingTheSaveKeepsTheRecording) {
  DataFile file(Recording(), "");
  ui.CancelFile();
  EXPECT_EQ(file.Save(), -1021);
  EXPECT_TRUE(std::filesystem::exists(HomeFile("Sondrix.tmp")));
  EXPECT_EQ(file.Delete(), 1);
  EXPECT_FALSE(std::filesystem::exists(HomeFile("Sondrix.tmp")));
  EXPECT_EQ(file.Delete(), -1009);
}

TEST_F(DataFileTest, ChoosingAFileToReplay) {
  std::string name, port = "COM1";
  ui.CancelFile();
  EXPECT_EQ(DataFile_PromptForDescr(name, &port), -1021);
  ui.AnswerFile(HomeFile("missing.dat"));
  EXPECT_EQ(DataFile_PromptForDescr(name, &port), -1020);
  test::WriteTextFile(HomeFile("data/run.dat"), "x");
  ui.AnswerFile(HomeFile("data/run.dat"));
  EXPECT_EQ(DataFile_PromptForDescr(name, &port), 1);
  EXPECT_EQ(name, HomeFile("data/run.dat"));
  EXPECT_EQ(port, "");
  EXPECT_EQ(ui.fileDialogs().back().request.title, "Data file to read:");
  EXPECT_EQ(settings::Directory(settings::kReplayDirectory).rfind(HomeFile("data"), 0), 0u);
}

// A file replayed from elsewhere (the installed examples) leaves where runs
// are saved alone; the next replay starts where the last one was found.
TEST_F(DataFileTest, AReplayDoesNotMoveWhereRunsAreSaved) {
  test::WriteTextFile(HomeFile("runs/keep.dat"), "x");
  test::WriteTextFile(HomeFile("examples/captures/cast.dat"), "x");
  std::string name;
  ui.AnswerFile(HomeFile("runs/keep.dat"));
  ASSERT_EQ(DataFile_PromptForDescr(name, nullptr), 1);
  DataFile first(Recording(), "");
  ui.AnswerFile(HomeFile("runs/one.dat"));
  ASSERT_EQ(first.Save(), 1);
  ui.AnswerFile(HomeFile("examples/captures/cast.dat"));
  ASSERT_EQ(DataFile_PromptForDescr(name, nullptr), 1);

  DataFile second(Recording(), "");
  ui.CancelFile();
  EXPECT_EQ(second.Save(), -1021);
  EXPECT_EQ(std::filesystem::path(ui.fileDialogs().back().request.directory), std::filesystem::path(HomeFile("runs/")));
  ui.CancelFile();
  EXPECT_EQ(DataFile_PromptForDescr(name, nullptr), -1021);
  EXPECT_EQ(std::filesystem::path(ui.fileDialogs().back().request.directory),
            std::filesystem::path(HomeFile("examples/captures/")));
}

TEST_F(DataFileTest, TitleBinSizeAndClose) {
  DataFile file(HomeFile("t.dat"), "");
  ASSERT_EQ(file.SetOrigBinsize(4), 1);
  ASSERT_EQ(file.OpenWrite(nullptr), 1);
  ASSERT_EQ(file.Close(), 1);
  EXPECT_EQ(file.Close(), -1029);
  const std::string text = test::ReadTextFile(HomeFile("t.dat")).value_or("");
  std::string date, time;
  file.GetDate(date, time);
  EXPECT_EQ(text, "Sondrix ver 7.1\t" + date + "\t" + time + "\n4\t\t\t; acquisition binsize\n");

  // A bin size line without a usable number is refused, not read as data.
  test::WriteTextFile(HomeFile("bad.dat"), "Sondrix ver 7.1\t01-02-2026\t10:00:00\nabc\n");
  DataFile bad(HomeFile("bad.dat"), "");
  EXPECT_EQ(bad.Open(), -1033);
  test::WriteTextFile(HomeFile("empty.dat"), "");
  DataFile empty(HomeFile("empty.dat"), "");
  EXPECT_EQ(empty.Open(), -1017);
}

TEST_F(DataFileTest, BinSizeLineHoldsAWholeNumberInRange) {
  const std::string title = "Sondrix ver 7.1\t01-02-2026\t10:00:00\n";
  for (const char* line : {"2.5\t\t\t; acquisition binsize\n", "1e9\n", "99999999999\n", "0\n", "-3\n"}) {
    test::WriteTextFile(HomeFile("bin.dat"), title + line);
    DataFile file(HomeFile("bin.dat"), "");
    EXPECT_EQ(file.Open(), -1033) << line;
  }
  test::WriteTextFile(HomeFile("bin.dat"), title + "2147483647\t\t\t; acquisition binsize\n");
  DataFile file(HomeFile("bin.dat"), "");
  EXPECT_EQ(file.Open(), 1);
  EXPECT_EQ(file.GetOrigBinsize(), 2147483647);
}

// Saving replaces a regular file only: a device or a pipe chosen by mistake
// stays what it is, and nothing is asked or deleted.
TEST_F(DataFileTest, ARecordingIsNeverSavedOverSomethingThatIsNotAFile) {
  const std::string fifo = HomeFile("pipe.dat");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  DataFile file(Recording(), "");
  EXPECT_EQ(file.SaveAs(fifo), -1010);
  ui.AnswerFile(fifo);
  const std::size_t popups = ui.popups().size();
  EXPECT_EQ(file.Save(), -1010);
  EXPECT_EQ(ui.popups().size(), popups);
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(test::ReadTextFile(HomeFile("Sondrix.tmp")), "recorded\n");

  EXPECT_TRUE(DataFile_IsSaveTarget(HomeFile("new.dat")));
  EXPECT_TRUE(DataFile_IsSaveTarget(HomeFile("Sondrix.tmp")));
  EXPECT_FALSE(DataFile_IsSaveTarget(home.path()));
  EXPECT_FALSE(DataFile_IsSaveTarget("/dev/null"));
}

// What a recording says it holds is what reached the file: the lines of
// the flushes that succeeded and, at the close, what the file holds whole.
// A disk that fills (here a file-size limit: writes stop where it is, as on
// a full disk) cuts a line short; that line is cut off the file and not
// counted, and nothing is written after the failure.
TEST_F(DataFileTest, TheLinesCountedAreTheLinesTheFileHoldsWhole) {
  TwoTraceFile file(HomeFile("run.dat"), "");
  ASSERT_EQ(file.OpenWrite(nullptr), 1);
  for (int n = 0; n < 30; ++n) ASSERT_EQ(file.WriteData(Line(n)), 1);
  // Nothing flushed yet: nothing known to be on disk.
  EXPECT_EQ(file.writtenLines(), 30);
  EXPECT_EQ(file.storedLines(), 0);
  clock.Advance(1.5);
  ASSERT_EQ(file.WriteData(Line(30)), 1);
  EXPECT_EQ(file.storedLines(), 31);
  ASSERT_EQ(file.Close(), 1);
  EXPECT_EQ(file.storedLines(), 31);

  // The disk fills after some 10 kB of lines, in the middle of one.
  TwoTraceFile full(HomeFile("full.dat"), "");
  ASSERT_EQ(full.OpenWrite(nullptr), 1);
  const auto header = std::filesystem::file_size(HomeFile("full.dat"));
  Status result = 1;
  {
    const test::ScopedFileSizeLimit limit(header + 10007);
    for (int n = 0; n < 2000 && result == 1; ++n) {
      if (n % 50 == 49) clock.Advance(1.0);  // a flush now and then
      result = full.WriteData(Line(n));
    }
    EXPECT_EQ(result, status::kWriteFailed);
    // The failure stays: no later line is written after the gap.
    EXPECT_EQ(full.WriteData(Line(5000)), status::kWriteFailed);
    EXPECT_EQ(full.Close(), status::kCantCloseFile);
  }
  EXPECT_GT(full.storedLines(), 100);
  EXPECT_LT(full.storedLines(), full.writtenLines());
  std::string expected;
  for (int n = 0; n < full.storedLines(); ++n) expected += LineText(n);
  EXPECT_EQ(SampleText(HomeFile("full.dat")), expected);

  // Full before the first flush: the lines of the buffer count only as far
  // as they reached the file.
  TwoTraceFile early(HomeFile("early.dat"), "");
  ASSERT_EQ(early.OpenWrite(nullptr), 1);
  {
    const test::ScopedFileSizeLimit limit(std::filesystem::file_size(HomeFile("early.dat")) + 1001);
    for (int n = 0; n < 40; ++n) early.WriteData(Line(n));
    EXPECT_EQ(early.Close(), status::kCantCloseFile);
  }
  expected.clear();
  for (int n = 0; n < early.storedLines(); ++n) expected += LineText(n);
  EXPECT_EQ(SampleText(HomeFile("early.dat")), expected);
  EXPECT_LT(expected.size(), 1001u);
  EXPECT_GT(expected.size() + LineText(early.storedLines()).size(), 1001u);
}

// Lines gather in a buffer that goes to the file when it is full and once
// a second: at an instrument's rate (6 or 100 lines a second, one after the
// other), no line waits a second or more after it was written, and at a
// replay's (no time passing at all) the full buffer goes to the file, whole
// lines, exactly those written.
TEST_F(DataFileTest, LinesReachTheFileWithinASecondAndWhenTheBufferIsFull) {
  TwoTraceFile file(HomeFile("run.dat"), "");
  ASSERT_EQ(file.OpenWrite(nullptr), 1);
  std::vector<double> writtenAt;
  int n = 0;
  for (const double rate : {6.0, 100.0, 6.0}) {
    for (int k = 0; k < 20 * static_cast<int>(rate); ++k, ++n) {
      clock.Advance(1.0 / rate);
      writtenAt.push_back(clock.Timer());
      ASSERT_EQ(file.WriteData(Line(n)), 1);
      // The oldest line not yet in the file.
      const auto waiting = static_cast<std::size_t>(file.storedLines());
      if (waiting < writtenAt.size()) {
        EXPECT_LT(clock.Timer() - writtenAt[waiting], 1.0) << n;
      }
    }
  }
  // As fast as the disk takes them: 60 000 lines of about 30 characters
  // fill the buffer, which goes to the file whole, with no time passing.
  const long before = file.storedLines();
  for (int k = 0; k < 60000; ++k, ++n) ASSERT_EQ(file.WriteData(Line(n)), 1);
  EXPECT_GE(file.storedLines() - before, static_cast<long>(kLineBufferBytes / LineText(n).size()) - 1);
  EXPECT_LT(file.storedLines(), file.writtenLines());
  std::string expected;
  for (int k = 0; k < file.storedLines(); ++k) expected += LineText(k);
  EXPECT_TRUE(SampleText(HomeFile("run.dat")) == expected);
  const long flushed = file.storedLines();
  ASSERT_EQ(file.Close(), 1);
  EXPECT_EQ(file.storedLines(), n);
  for (long k = flushed; k < n; ++k) expected += LineText(static_cast<int>(k));
  EXPECT_EQ(SampleText(HomeFile("run.dat")).size(), expected.size());
}

// A recording never follows a link planted under its name: it would land
// wherever the link points, outside the folder it belongs in.
TEST_F(DataFileTest, ARecordingIsNeverWrittenThroughALink) {
  const std::string outside = HomeFile("elsewhere/target.dat");
  std::filesystem::create_directories(HomeFile("elsewhere"));
  const std::string scratch = HomeFile("Sondrix.tmp");
  ASSERT_EQ(::symlink(outside.c_str(), scratch.c_str()), 0);
  TwoTraceFile dangling(scratch, "");
  EXPECT_EQ(dangling.OpenWrite(nullptr), status::kCantOpenFile);
  EXPECT_FALSE(std::filesystem::exists(outside));
  EXPECT_TRUE(std::filesystem::is_symlink(scratch));

  test::WriteTextFile(outside, "somebody's file\n");
  TwoTraceFile linked(scratch, "");
  EXPECT_EQ(linked.OpenWrite(nullptr), status::kCantOpenFile);
  EXPECT_EQ(test::ReadTextFile(outside), "somebody's file\n");

  // A new name is created, an existing file emptied.
  std::filesystem::remove(scratch);
  TwoTraceFile fresh(scratch, "");
  ASSERT_EQ(fresh.OpenWrite(nullptr), 1);
  ASSERT_EQ(fresh.WriteData(Line(1)), 1);
  ASSERT_EQ(fresh.Close(), 1);
  ASSERT_EQ(fresh.OpenWrite(nullptr), 1);
  ASSERT_EQ(fresh.Close(), 1);
  EXPECT_EQ(SampleText(scratch), "");
}

// Saved to another file system the recording is copied: to a new file,
// then renamed over the chosen name, so a link there is replaced and what
// it points at is left alone.
TEST_F(DataFileTest, ACopyToAnotherDiskReplacesALinkInsteadOfWritingThroughIt) {
  std::error_code error;
  const std::filesystem::path other = std::filesystem::path("/dev/shm") / ("sondrix-" + std::to_string(::getpid()));
  struct stat here {}, there {};
  if (!std::filesystem::create_directory(other, error) || ::stat(home.path().c_str(), &here) != 0 ||
      ::stat(other.c_str(), &there) != 0 || here.st_dev == there.st_dev) {
    std::filesystem::remove_all(other, error);
    GTEST_SKIP() << "no second file system at /dev/shm to save a recording to";
  }
  const std::string saved = (other / "run.dat").string();
  const std::string target = HomeFile("pointed-at.dat");
  ASSERT_EQ(::symlink(target.c_str(), saved.c_str()), 0);
  DataFile file(Recording(), "");
  EXPECT_EQ(file.SaveAs(saved), 1);
  EXPECT_FALSE(std::filesystem::is_symlink(saved));
  EXPECT_EQ(test::ReadTextFile(saved), "recorded\n");
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_FALSE(std::filesystem::exists(HomeFile("Sondrix.tmp")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(other), std::filesystem::directory_iterator()), 1);
  std::filesystem::remove_all(other, error);
}

// The unattended output name is never cut: one whose time-stamped form does
// not fit is refused, and the recording stays where it is.
TEST_F(DataFileTest, AnUnattendedOutputNameThatDoesNotFitIsRefusedNotCut) {
  clock.SetLocalTime(2026, 12, 7, 9, 45, 0);
  const auto rudud = [this](const std::string& output) {
    test::WriteTextFile(HomeFile("Rudud.ini"),
                        "[General]\nDevice=meter.dev\nPort=COM1\nOutputFilename=" + output + "\n");
  };
  std::string name = "x";
  EXPECT_EQ(DataFile_OutputFilename(name), 1);
  EXPECT_EQ(name, "");

  // The time stamp and ".dat" make it 259 characters exactly: kept whole.
  const std::string base = HomeFile("");
  const std::string fits = base + std::string(kMaxFilenameLength - base.size() - 17, 'f');
  rudud(fits);
  ASSERT_EQ(DataFile_OutputFilename(name), 1);
  EXPECT_EQ(name, fits + "261207_094500.dat");
  EXPECT_EQ(name.size(), kMaxFilenameLength);
  DataFile file(Recording(), "");
  EXPECT_EQ(file.Save(), 1);
  EXPECT_EQ(test::ReadTextFile(name), "recorded\n");

  // One character more: refused, nothing saved or replaced.
  rudud(fits + "g");
  EXPECT_EQ(DataFile_OutputFilename(name), status::kOutputNameTooLong);
  EXPECT_NE(StatusText(status::kOutputNameTooLong).find("259 characters"), std::string::npos);
  DataFile again(Recording("the next run\n"), "");
  EXPECT_EQ(again.Save(), status::kOutputNameTooLong);
  EXPECT_EQ(test::ReadTextFile(HomeFile("Sondrix.tmp")), "the next run\n");
  EXPECT_EQ(test::ReadTextFile(name.substr(0, kMaxFilenameLength)), std::nullopt);
  EXPECT_EQ(test::ReadTextFile(fits + "261207_094500.dat"), "recorded\n");
  EXPECT_TRUE(ui.fileDialogs().empty());

  // The file's own name may have 255 characters, its path 259 here.
  EXPECT_TRUE(DataFile_NameFits("d/" + std::string(255, 'n'), 259));
  EXPECT_FALSE(DataFile_NameFits("d/" + std::string(256, 'n'), 4095));
  EXPECT_FALSE(DataFile_NameFits(std::string(250, 'd') + "/" + std::string(9, 'n'), 259));
}

}  // namespace
}  // namespace sondrix
