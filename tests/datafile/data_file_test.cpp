// The data-file base: saving a recording through the dialog, choosing a file
// to replay, the title line, the bin size line and closing.
#include "datafile/data_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "common/settings.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

class DataFileTest : public test::HeadlessTest {
 protected:
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
  EXPECT_EQ(settings::Directory(settings::kDataDirectory).rfind(HomeFile("data"), 0), 0u);
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

}  // namespace
}  // namespace sondrix
