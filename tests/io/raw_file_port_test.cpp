// SPDX-License-Identifier: GPL-3.0-or-later
// Replaying a raw capture: reads, lines, end of file, rewinding, search, and
// the capture-file dialog.
#include "io/raw_file_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "common/settings.h"
#include "io_test_env.h"
#include "platform/headless/headless_ui.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

class RawFilPortTest : public ::testing::Test {
 protected:
  // A replay port open on a capture holding `bytes`.
  void OpenOn(const std::string& bytes) {
    dir_.WriteFile("capture.raw", bytes);
    ASSERT_EQ(port_.SetName(dir_.File("capture.raw")), 1);
    ASSERT_EQ(port_.Open(9600), 1);
  }

  test::TempProjectDir dir_;
  RawFilPort port_;
};

TEST_F(RawFilPortTest, OpenNeedsAnExistingFile) {
  std::uint8_t buffer[4];
  std::string line;
  EXPECT_EQ(port_.BytesAvail(), -10801);
  EXPECT_EQ(port_.Read(buffer, 4), -10801);
  EXPECT_EQ(port_.ReadLine(line), -10801);
  EXPECT_EQ(port_.Sync(), -10801);
  EXPECT_EQ(port_.Open(9600), -1002);  // no name yet
  port_.SetName(dir_.File("missing.raw"));
  EXPECT_EQ(port_.Open(9600), -1002);
  EXPECT_EQ(port_.BytesAvail(), -10801);
}

// A pipe nobody writes to would keep a reader waiting for ever. A helper
// plays the missing writer for a while, so that a port that did wait gets
// its open back (and fails the test) instead of hanging.
TEST_F(RawFilPortTest, OnlyARegularFileIsACapture) {
  const std::string fifo = dir_.File("pipe.raw");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> done = false;
  std::thread writer([&] {
    for (int i = 0; i < 300 && !done; ++i) {
      const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        ::close(fd);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  port_.SetName(fifo);
  EXPECT_EQ(port_.Open(9600), -1002);
  done = true;
  writer.join();
  EXPECT_EQ(port_.BytesAvail(), -10801);

  port_.SetName(dir_.path().string());
  EXPECT_EQ(port_.Open(9600), -1002);
}

TEST_F(RawFilPortTest, NameIsThePathOfAnyLength) {
  const std::string deep = dir_.File(std::string(100, 'd') + "/" + std::string(100, 'e') + ".raw");
  std::filesystem::create_directories(std::filesystem::path(deep).parent_path());
  { std::ofstream(deep, std::ios::binary) << "xyz\n"; }
  ASSERT_GT(deep.size(), 200u);
  EXPECT_EQ(port_.SetName(deep), 1);
  std::string name;
  EXPECT_EQ(port_.GetName(name), 1);
  EXPECT_EQ(name, deep);
  EXPECT_EQ(port_.Open(0), 1);
  std::string line;
  EXPECT_EQ(port_.ReadLine(line), 3);
}

TEST_F(RawFilPortTest, AlwaysReportsAPacketsWorthWaiting) {
  OpenOn("ab");
  EXPECT_EQ(port_.BytesAvail(), 2047);
  EXPECT_EQ(port_.BufferSize(), 4096);
  const std::uint8_t bytes[] = {1, 2};
  EXPECT_EQ(port_.Write(bytes, 2), 1);
  EXPECT_EQ(port_.SaveRaw(), 1);
  EXPECT_EQ(port_.Close(), 1);
  EXPECT_EQ(port_.BytesAvail(), -10801);
}

TEST_F(RawFilPortTest, ReadFailsAtTheEndEvenWithPartOfTheBytes) {
  OpenOn("abcdef");
  std::uint8_t buffer[8] = {};
  EXPECT_EQ(port_.Read(buffer, 4), 1);
  EXPECT_EQ(std::string(buffer, buffer + 4), "abcd");
  EXPECT_EQ(port_.Read(buffer, 4), -1017);
  EXPECT_EQ(std::string(buffer, buffer + 2), "ef");
  EXPECT_EQ(port_.Read(buffer, 1), -1017);
}

TEST_F(RawFilPortTest, LinesAreCleanedAndAFinalLineWithoutLineFeedIsEndOfFile) {
  OpenOn(std::string("AB\0C \r\r\nsecond\nlast without feed", 32));
  std::string line;
  EXPECT_EQ(port_.ReadLine(line), 3);
  EXPECT_EQ(line, "ABC");
  EXPECT_EQ(port_.ReadLine(line), 6);
  EXPECT_EQ(line, "second");
  EXPECT_EQ(port_.ReadLine(line), -1017);
  EXPECT_EQ(line, "second");
}

TEST_F(RawFilPortTest, ReadTermStopsAt256Characters) {
  OpenOn(std::string(300, 'q') + "\n");
  std::string text;
  EXPECT_EQ(port_.ReadTerm(text), 256);
  EXPECT_EQ(port_.ReadTerm(text), 44);
  EXPECT_EQ(port_.ReadTerm(text), 0);
}

TEST_F(RawFilPortTest, SyncSkipsALineAndMeetsTheEnd) {
  OpenOn("skip me\nkeep\ntail");
  EXPECT_EQ(port_.Sync(), 1);
  std::string line;
  EXPECT_EQ(port_.ReadLine(line), 4);
  EXPECT_EQ(port_.Sync(), -1017);
}

TEST_F(RawFilPortTest, ResetRewindsOnlyAtTheEnd) {
  OpenOn("0123456789");
  std::uint8_t buffer[10];
  ASSERT_EQ(port_.Read(buffer, 3), 1);
  EXPECT_EQ(port_.Reset(), 1);  // not at the end: no rewind
  ASSERT_EQ(port_.Read(buffer, 1), 1);
  EXPECT_EQ(buffer[0], '3');
  EXPECT_EQ(port_.Read(buffer, 10), -1017);
  EXPECT_EQ(port_.Read(buffer, 1), -1017);  // stays at the end
  EXPECT_EQ(port_.Reset(), 1);
  ASSERT_EQ(port_.Read(buffer, 2), 1);
  EXPECT_EQ(buffer[0], '0');
  EXPECT_EQ(buffer[1], '1');
}

TEST_F(RawFilPortTest, SearchLikeTheSerialPortAndEndOfFile) {
  OpenOn(std::string("\x01\x00\xFF\x00\x00\xFF\x00\xFF\x42", 9) + std::string(3, '\x55'));
  const std::uint8_t sync[] = {0x00, 0xFF, 0x00, 0xFF};
  EXPECT_EQ(port_.Search(sync, 4, 9), 1);
  std::uint8_t next = 0;
  ASSERT_EQ(port_.Read(&next, 1), 1);
  EXPECT_EQ(next, 0x42);
  EXPECT_EQ(port_.Search(sync, 4, 100), -1017);  // only 3 bytes left
  port_.Reset();
  EXPECT_EQ(port_.Search(sync, 4, 3), -1000);  // fewer bytes allowed than the pattern
  port_.Reset();                               // not at the end: stays
  std::vector<std::uint8_t> pattern(129, 0);
  EXPECT_EQ(port_.Search(pattern.data(), 129, 1000), -1001);
}

TEST_F(RawFilPortTest, SearchAtTheEndOfTheWindowRead) {
  OpenOn("ab");
  const std::uint8_t sync[] = {0x00, 0xFF, 0x00, 0xFF};
  EXPECT_EQ(port_.Search(sync, 4, 100), -1017);
}

// --- The capture-file dialog ------------------------------------------------------

class RawFileDialogTest : public RawFilPortTest {
 protected:
  RawFileDialogTest() : scopedUi_(ui_) {}
  platform::HeadlessUi ui_;
  platform::ScopedUi scopedUi_;
};

TEST_F(RawFileDialogTest, AsksForARawFileInTheDataDirectory) {
  std::filesystem::create_directories(dir_.path() / "data");
  dir_.WriteFile("Sondrix.ini", "[General]\nDataDirectory=" + dir_.File("data/") + "\n");
  ui_.CancelFile();
  std::string path = "before";
  EXPECT_EQ(port_.PromptForPort("", path), -1021);
  EXPECT_EQ(path, "before");
  ASSERT_EQ(ui_.fileDialogs().size(), 1u);
  const platform::FileSelectRequest& request = ui_.fileDialogs()[0].request;
  EXPECT_EQ(request.directory, dir_.File("data/"));
  EXPECT_EQ(request.defaultSpec, "*.raw");
  EXPECT_EQ(request.typeList, "");
  EXPECT_EQ(request.title, "Raw data file:");
  EXPECT_EQ(request.mode, platform::FileDialogMode::Load);
  EXPECT_TRUE(request.allowCancel);
  EXPECT_FALSE(request.allowMakeDirectory);
  EXPECT_FALSE(request.restrictDirectory);
  EXPECT_FALSE(request.restrictExtension);
}

TEST_F(RawFileDialogTest, DataDirectoryDefaultsToTheProjectDirectory) {
  ui_.CancelFile();
  std::string path;
  RawFilPort_PromptForPort("", path);
  ASSERT_EQ(ui_.fileDialogs().size(), 1u);
  EXPECT_EQ(std::filesystem::path(ui_.fileDialogs()[0].request.directory),
            std::filesystem::path(dir_.path()));
}

TEST_F(RawFileDialogTest, ChosenFileIsReturnedAndItsDirectoryRemembered) {
  std::filesystem::create_directories(dir_.path() / "runs");
  dir_.WriteFile("runs/a.raw", "x");
  ui_.AnswerFile(dir_.File("runs/a.raw"));
  std::string path;
  EXPECT_EQ(RawFilPort_PromptForPort("", path), 1);
  EXPECT_EQ(path, dir_.File("runs/a.raw"));
  // Remembered for the next replay; where runs are saved stays.
  EXPECT_EQ(settings::Get(settings::kGeneral, settings::kReplayDirectory), dir_.File("runs/"));
  EXPECT_EQ(settings::Get(settings::kGeneral, settings::kDataDirectory), "");
}

TEST_F(RawFileDialogTest, NameOfAFileThatDoesNotExistIsFileNotFound) {
  ui_.AnswerFile(dir_.File("nothing.raw"));
  std::string path;
  EXPECT_EQ(RawFilPort_PromptForPort("", path), -1020);
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(settings::Get(settings::kGeneral, settings::kDataDirectory), "");
  EXPECT_EQ(settings::Get(settings::kGeneral, settings::kReplayDirectory), "");
}

}  // namespace
}  // namespace sondrix
