// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/settings.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "support/fixtures.h"

namespace sondrix::settings {
namespace {

class SettingsTest : public test::HeadlessTest {};

TEST_F(SettingsTest, SettingsFileLivesInTheProjectDirectory) {
  EXPECT_EQ(SettingsPath(), HomeFile("Sondrix.ini"));
}

TEST_F(SettingsTest, WithoutASettingsFileEveryKeyTakesItsDefault) {
  EXPECT_EQ(Get(kGeneral, kDevice), "");
  EXPECT_EQ(Get(kGeneral, kPort), "");
  EXPECT_FALSE(SaveRawOn());
  EXPECT_FALSE(IgnoreSerialNumberOn());
  EXPECT_EQ(Directory(kDataDirectory), home.path());
  EXPECT_EQ(Directory(kDeviceDirectory), home.path());
  EXPECT_EQ(Directory(kReportDirectory), home.path());
  EXPECT_EQ(GetInt(kDisplay, kTop, 33), 33);
  EXPECT_EQ(GetInt(kDisplay, kWidth, 640), 640);
  // Reading creates nothing.
  EXPECT_FALSE(platform::FileExists(SettingsPath()));
}

TEST_F(SettingsTest, SaveRawIsOnOnlyForAValueStartingWithY) {
  const std::pair<std::string_view, bool> cases[] = {
      {"SaveRaw=yes\n", true}, {"SaveRaw=Y\n", true},    {"saveraw = YES please\n", true},
      {"SaveRaw=no\n", false}, {"SaveRaw=\n", false},    {"SaveRaw=1\n", false},
      {"SaveRaw=true\n", false}, {"Other=yes\n", false},
  };
  for (const auto& [line, on] : cases) {
    WriteSettings("[General]\n" + std::string(line));
    EXPECT_EQ(SaveRawOn(), on) << line;
  }
}

TEST_F(SettingsTest, IgnoreSerialNumberSwitch) {
  WriteSettings("[general]\nignoreserialnumber=y\n");
  EXPECT_TRUE(IgnoreSerialNumberOn());
  WriteSettings("[General]\nIgnoreSerialNumber=No\n");
  EXPECT_FALSE(IgnoreSerialNumberOn());
  EXPECT_TRUE(IsYes("yes"));
  EXPECT_FALSE(IsYes(""));
  EXPECT_FALSE(IsYes(" y"));
}

TEST_F(SettingsTest, ChosenFileDirectoryBecomesTheNextStart) {
  RememberDirectory(kDataDirectory, "/data/cruise 7/run1.dat");
  EXPECT_EQ(Directory(kDataDirectory), "/data/cruise 7/");
  EXPECT_EQ(Directory(kDeviceDirectory), home.path());  // other kinds keep theirs

  RememberDirectory(kDeviceDirectory, "C:\\Sondrix\\cal\\meter.dev");
  EXPECT_EQ(Directory(kDeviceDirectory), "C:\\Sondrix\\cal\\");

  // A bare name tells nothing about a directory and changes nothing.
  RememberDirectory(kDataDirectory, "run2.dat");
  EXPECT_EQ(Directory(kDataDirectory), "/data/cruise 7/");

  // Long directories come back whole.
  std::string deep = "/" + std::string(300, 'd') + "/";
  RememberDirectory(kReportDirectory, deep + "x.rpt");
  EXPECT_EQ(Directory(kReportDirectory), deep);

  EXPECT_EQ(test::ReadTextFile(SettingsPath()).value().rfind("[General]\nDataDirectory=/data/cruise 7/\n", 0),
            0u);
}

// The file dialog starts in its kind's directory with the patterns asked
// for; no choice and an empty name are both no choice, and the directory
// is remembered only by the caller that takes the file.
TEST_F(SettingsTest, ChooseFileStartsInItsKindsDirectory) {
  RememberDirectory(kReportDirectory, "/reports/cruise 7/old.rpt");
  ui.AnswerFile("/elsewhere/new.rpt", platform::FileSelectResult::New).CancelFile().AnswerFile("", platform::FileSelectResult::New);
  std::string chosen = "unchanged";
  EXPECT_TRUE(ChooseFile(kReportDirectory, platform::FileDialogMode::Save, "*.rpt", "Save report in file:", chosen,
                         "*.txt"));
  EXPECT_EQ(chosen, "/elsewhere/new.rpt");
  ASSERT_EQ(ui.fileDialogs().size(), 1u);
  const platform::FileSelectRequest& request = ui.fileDialogs()[0].request;
  EXPECT_EQ(request.directory, "/reports/cruise 7/");
  EXPECT_EQ(request.defaultSpec, "*.rpt");
  EXPECT_EQ(request.typeList, "*.txt");
  EXPECT_EQ(request.title, "Save report in file:");
  EXPECT_EQ(request.mode, platform::FileDialogMode::Save);
  EXPECT_EQ(Directory(kReportDirectory), "/reports/cruise 7/");

  chosen = "kept";
  EXPECT_FALSE(ChooseFile(kDataDirectory, platform::FileDialogMode::Load, "*.dat", "Data file to read:", chosen));
  EXPECT_FALSE(ChooseFile(kDataDirectory, platform::FileDialogMode::Load, "*.dat", "Data file to read:", chosen));
  EXPECT_EQ(chosen, "kept");
  EXPECT_EQ(ui.fileDialogs().back().request.directory, home.path());
}

TEST_F(SettingsTest, WritesKeepTheRestOfTheFile) {
  WriteSettings("; kept\n[General]\nDevice=old.dev\nPort=COM2\n[Display]\nTop=5\n");
  Set(kGeneral, kDevice, "/cal/new.dev");
  SetInt(kDisplay, kLeft, -20);
  SetInt(kDisplay, kTop, 7);
  EXPECT_EQ(test::ReadTextFile(SettingsPath()).value(),
            "; kept\n[General]\nDevice=/cal/new.dev\nPort=COM2\n[Display]\nTop=7\nLeft=-20\n");
  EXPECT_EQ(GetInt(kDisplay, kLeft, 0), -20);
  EXPECT_EQ(Get(kGeneral, kPort), "COM2");
}

TEST_F(SettingsTest, PathValuesAreReadUpTo260Characters) {
  WriteSettings("[General]\nDevice=" + std::string(300, 'p') + "\n");
  EXPECT_EQ(Get(kGeneral, kDevice).size(), 260u);
}

}  // namespace
}  // namespace sondrix::settings
