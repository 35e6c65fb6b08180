// SPDX-License-Identifier: GPL-3.0-or-later
// Shared test fixtures: a temporary project directory, the headless user
// interface, a fake clock, and small file helpers.
//
//   class MyTest : public sondrix::test::HeadlessTest {};
//   TEST_F(MyTest, Something) {
//     ui.AnswerConfirm(true).Commit(panels::kPort, panels::kPortCom1);
//     WriteSettings("[General]\nSaveRaw=yes\n");
//     ...
//     EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Can't open file"});
//   }
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/headless/headless_ui.h"
#include "platform/ui.h"
#include "support/fake_clock.h"

namespace sondrix::test {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` inside the directory.
  std::string File(std::string_view name) const;

 private:
  std::string path_;
};

// Sets (or with no value unsets) an environment variable for the scope.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// Writes `text` byte for byte (no line-end translation), creating missing
// directories; returns the path.
std::string WriteTextFile(const std::string& path, std::string_view text);
// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadTextFile(const std::string& path);

// Files of this process may not grow beyond `bytes` for the scope: a disk
// that fills, without a mount. A write past the limit fails (EFBIG) after
// writing what fits, as on a full disk, instead of ending the process.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(std::uint64_t bytes);
  ~ScopedFileSizeLimit();
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

 private:
  struct rlimit old_ {};
  struct sigaction oldAction_ {};
};

// Installs a HeadlessUi and a FakeClock and points $SONDRIX_HOME (the project
// directory) at a fresh temporary directory, removed afterwards. The log is
// as at start on entry and exit (warnings and errors, written nowhere).
// Polling loops that never end abort after two million empty polls instead
// of hanging.
class HeadlessTest : public ::testing::Test {
 protected:
  HeadlessTest();
  ~HeadlessTest() override;

  // A file in the project directory.
  std::string HomeFile(std::string_view name) const { return home.File(name); }
  // Writes the settings file "Sondrix.ini" of the project directory.
  void WriteSettings(std::string_view text);
  // The texts of the "Error" pop-ups shown so far, in order.
  std::vector<std::string> ErrorTexts() const;

  TempDir home;
  platform::HeadlessUi ui;
  FakeClock clock;

 private:
  ScopedEnv homeEnv_;
  platform::ScopedUi scopedUi_;
  platform::ScopedClock scopedClock_;
};

}  // namespace sondrix::test
