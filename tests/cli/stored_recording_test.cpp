// SPDX-License-Identifier: GPL-3.0-or-later
// The built sondrix-cli records the stored captures of tests/data/recordings
// into exactly the data files stored beside them, byte for byte after the
// title line (which holds the date and time of the recording): the text of
// every value, reference, temperature, depth and count, the configuration
// and the bin size line. The stored data files were recorded by an earlier
// build whose numbers were written by std::to_chars; a change to how the
// recording path writes its text must not change a byte of it. Replaying
// the stored data files gives exactly the stored replays.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "cli/cli_run.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

const std::string kStored = SONDRIX_TEST_DATA_DIR "/recordings/";

struct StoredRecording {
  const char* device;   // in examples/
  const char* capture;  // in tests/data/recordings/
  const char* binsize;
  const char* recording;
};

// The text after the first line.
std::string AfterTitle(const std::string& text) {
  const std::size_t end = text.find('\n');
  return end == std::string::npos ? std::string() : text.substr(end + 1);
}

// The same text; otherwise the first line that differs (numbered from
// `firstLine`), rather than two files' worth of text.
void ExpectSameText(const std::string& got, const std::string& expected, const char* what, std::size_t firstLine) {
  EXPECT_EQ(got.size(), expected.size());
  const auto lines = test::Lines(got);
  const auto wanted = test::Lines(expected);
  for (std::size_t i = 0; i < std::min(lines.size(), wanted.size()); ++i) {
    if (lines[i] != wanted[i]) {
      ADD_FAILURE() << "line " << i + firstLine << " differs:\n  " << what << " " << lines[i] << "\n  stored   "
                    << wanted[i];
      break;
    }
  }
  EXPECT_TRUE(got == expected);
}

class StoredRecordingCli : public test::HeadlessTest {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(test::kCli)) << test::kCli << " is not built"; }
};

TEST_F(StoredRecordingCli, RecordingAStoredCaptureGivesTheStoredDataFile) {
  const StoredRecording cases[] = {
      // Nine wavelengths, 50 packets, bad checksums and noise between them.
      {"nerit-9wl.dev", "nerit-9wl.raw", "1", "nerit-9wl.dat"},
      {"nerit-9wl.dev", "nerit-9wl.raw", "4", "nerit-9wl-bin4.dat"},
      // A hundred wavelengths, column headings, 8 counts in the trailing text.
      {"benth-100wl.dev", "benth-100wl.raw", "1", "benth-100wl.dat"},
  };
  for (const StoredRecording& stored : cases) {
    SCOPED_TRACE(stored.recording);
    const std::string out = HomeFile(stored.recording);
    const test::CliRun run =
        test::RunTool(test::kCli,
                      "record --device " + test::Quoted(SONDRIX_EXAMPLES_DIR "/" + std::string(stored.device)) +
                          " --port " + test::Quoted(kStored + stored.capture) + " --out " + test::Quoted(out) +
                          " --bin " + stored.binsize,
                      home);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::string expected = AfterTitle(test::ReadTextFile(kStored + stored.recording).value_or(""));
    const std::string recorded = AfterTitle(test::ReadTextFile(out).value_or(""));
    ASSERT_FALSE(expected.empty());
    ExpectSameText(recorded, expected, "recorded", 2);
  }
}

// The stored replays were written by the build before lines were read in
// one pass. nerit-9wl-edited.dat is nerit-9wl.dat with fields of every
// other form the files allow (signs, exponents, leading zeros, more digits
// than a double holds, 2^53 and beyond, numbers that underflow) and damaged
// lines (nan, inf, "0.", rubbish behind a number, a fraction in a time
// stamp, a last line cut short), some with Windows line ends, and trailing
// texts with a UTF-8 letter and bytes a terminal must get escaped.
TEST_F(StoredRecordingCli, ReplayingAStoredDataFileGivesTheStoredReplay) {
  struct StoredReplay {
    const char* recording;
    const char* binsize;
    const char* replay;
  };
  const StoredReplay cases[] = {
      {"nerit-9wl-edited.dat", "1", "nerit-9wl-edited.replay"},
      {"nerit-9wl-edited.dat", "3", "nerit-9wl-edited-bin3.replay"},
      {"benth-100wl.dat", "1", "benth-100wl.replay"},
  };
  for (const StoredReplay& stored : cases) {
    SCOPED_TRACE(stored.replay);
    const test::CliRun run = test::RunTool(
        test::kCli, "replay " + test::Quoted(kStored + stored.recording) + " --bin " + stored.binsize, home);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::string expected = test::ReadTextFile(kStored + stored.replay).value_or("");
    ASSERT_FALSE(expected.empty());
    ExpectSameText(run.out, expected, "replayed", 1);
  }
}

}  // namespace
}  // namespace sondrix
