// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/profile.h"

#include <gtest/gtest.h>

#include "support/fixtures.h"

namespace sondrix::platform {
namespace {

using test::ReadTextFile;
using test::TempDir;
using test::WriteTextFile;

class ProfileTest : public ::testing::Test {
 protected:
  std::string Ini(std::string_view text) { return WriteTextFile(dir.File("t.ini"), text); }
  std::string Content() { return ReadTextFile(dir.File("t.ini")).value_or("<missing>"); }

  TempDir dir;
};

TEST_F(ProfileTest, MissingFileAndMissingKeysReadAsDefaults) {
  std::string path = dir.File("none.ini");
  EXPECT_EQ(GetPrivateProfileString("General", "Port", "COM1", path), "COM1");
  EXPECT_EQ(GetPrivateProfileInt("Display", "Top", 42, path), 42);

  Ini("[General]\nPort=COM2\n");
  EXPECT_EQ(GetPrivateProfileString("General", "Device", "dflt", dir.File("t.ini")), "dflt");
  EXPECT_EQ(GetPrivateProfileString("Other", "Port", "dflt", dir.File("t.ini")), "dflt");
}

TEST_F(ProfileTest, SectionsAndKeysMatchWithoutRegardToCase) {
  std::string path = Ini("[general]\nPORT = COM3 \n[DISPLAY]\n  top=17\n");
  EXPECT_EQ(GetPrivateProfileString("General", "Port", "", path), "COM3");
  EXPECT_EQ(GetPrivateProfileString("GENERAL", "port", "", path), "COM3");
  EXPECT_EQ(GetPrivateProfileInt("Display", "Top", 0, path), 17);
}

TEST_F(ProfileTest, ValuesAreTrimmedAndLoseOnePairOfQuotes) {
  std::string path = Ini(
      "[S]\n"
      "a=  spaced value\t\n"
      "b=\"quoted  \"\n"
      "c='single'\n"
      "d=\"unbalanced\n"
      "e=\n"
      "[ T ]\n"
      "f=in T\n");
  EXPECT_EQ(GetPrivateProfileString("S", "a", "x", path), "spaced value");
  EXPECT_EQ(GetPrivateProfileString("S", "b", "x", path), "quoted  ");
  EXPECT_EQ(GetPrivateProfileString("S", "c", "x", path), "single");
  EXPECT_EQ(GetPrivateProfileString("S", "d", "x", path), "\"unbalanced");
  // A key that is present but empty is empty, not the default.
  EXPECT_EQ(GetPrivateProfileString("S", "e", "x", path), "");
  EXPECT_EQ(GetPrivateProfileString("T", "f", "x", path), "in T");
}

TEST_F(ProfileTest, CommentsStrayLinesAndDuplicatesFollowTheFirstMatch) {
  std::string path = Ini(
      "Port=before any section\n"
      "[General]\n"
      ";Port=COM7\n"
      "just some words\n"
      "Port=COM1\n"
      "Port=COM2\n"
      "[General]\n"
      "Device=second.dev\n");
  EXPECT_EQ(GetPrivateProfileString("General", "Port", "", path), "COM1");
  // Keys of a repeated section are still found.
  EXPECT_EQ(GetPrivateProfileString("General", "Device", "", path), "second.dev");
}

TEST_F(ProfileTest, SizeLimitsTheReturnedText) {
  std::string path = Ini("[General]\nSaveRaw=yesplease\n");
  EXPECT_EQ(GetPrivateProfileString("General", "SaveRaw", "", path, 4), "yes");
  EXPECT_EQ(GetPrivateProfileString("General", "SaveRaw", "", path, 1), "");
  EXPECT_EQ(GetPrivateProfileString("General", "SaveRaw", "", path, 0), "yesplease");
  EXPECT_EQ(GetPrivateProfileString("General", "Nope", "abcdef", path, 3), "ab");
}

TEST_F(ProfileTest, IntegersReadTheirLeadingDigits) {
  std::string path = Ini(
      "[D]\nplain=120\nsigned=-35\nplus=+7\ntrail=12px\nword=abc\nempty=\nhuge=99999999999\n");
  EXPECT_EQ(GetPrivateProfileInt("D", "plain", 0, path), 120);
  EXPECT_EQ(GetPrivateProfileInt("D", "signed", 0, path), -35);
  EXPECT_EQ(GetPrivateProfileInt("D", "plus", 0, path), 7);
  EXPECT_EQ(GetPrivateProfileInt("D", "trail", 0, path), 12);
  EXPECT_EQ(GetPrivateProfileInt("D", "word", 5, path), 5);
  EXPECT_EQ(GetPrivateProfileInt("D", "empty", 6, path), 6);
  EXPECT_EQ(GetPrivateProfileInt("D", "huge", 0, path), 2147483647);
}

TEST_F(ProfileTest, WriteUpdatesOneKeyInPlaceAndKeepsEverythingElse) {
  std::string path = Ini(
      "; Sondrix settings\n"
      "[General]\n"
      "  port = COM1   ; old port\n"
      "Device=a.dev\n"
      "\n"
      "[Display]\n"
      "Top=10\n");
  ASSERT_TRUE(WritePrivateProfileString("GENERAL", "Port", "COM4", path));
  EXPECT_EQ(Content(),
            "; Sondrix settings\n"
            "[General]\n"
            "  port=COM4\n"
            "Device=a.dev\n"
            "\n"
            "[Display]\n"
            "Top=10\n");
  EXPECT_EQ(GetPrivateProfileString("General", "Port", "", path), "COM4");
}

TEST_F(ProfileTest, WriteAddsMissingKeyAtTheEndOfItsSection) {
  std::string path = Ini("[General]\nPort=COM1\n\n[Display]\nTop=10\n");
  ASSERT_TRUE(WritePrivateProfileString("general", "Device", "b.dev", path));
  EXPECT_EQ(Content(), "[General]\nPort=COM1\nDevice=b.dev\n\n[Display]\nTop=10\n");
}

TEST_F(ProfileTest, WriteCreatesFileAndSection) {
  std::string path = dir.File("new.ini");
  ASSERT_TRUE(WritePrivateProfileString("General", "Port", "COM2", path));
  ASSERT_TRUE(WritePrivateProfileString("Display", "Width", "800", path));
  EXPECT_EQ(ReadTextFile(path).value(), "[General]\nPort=COM2\n\n[Display]\nWidth=800\n");
  EXPECT_EQ(GetPrivateProfileInt("Display", "Width", 0, path), 800);
}

TEST_F(ProfileTest, NoValueRemovesTheKey) {
  std::string path = Ini("[General]\nPort=COM1\nDevice=a.dev\n");
  ASSERT_TRUE(WritePrivateProfileString("General", "port", std::nullopt, path));
  EXPECT_EQ(Content(), "[General]\nDevice=a.dev\n");
  EXPECT_EQ(GetPrivateProfileString("General", "Port", "gone", path), "gone");

  // Removing what is not there creates nothing.
  std::string other = dir.File("other.ini");
  EXPECT_TRUE(WritePrivateProfileString("General", "Port", std::nullopt, other));
  EXPECT_FALSE(ReadTextFile(other).has_value());
}

TEST_F(ProfileTest, CrlfFilesAreReadAndKeepTheirLineEnds) {
  std::string path = Ini("[General]\r\nPort=COM5\r\n[Display]\r\nTop=3\r\n");
  EXPECT_EQ(GetPrivateProfileString("General", "Port", "", path), "COM5");
  EXPECT_EQ(GetPrivateProfileInt("Display", "Top", 0, path), 3);
  ASSERT_TRUE(WritePrivateProfileString("Display", "Left", "9", path));
  EXPECT_EQ(Content(), "[General]\r\nPort=COM5\r\n[Display]\r\nTop=3\r\nLeft=9\r\n");
}

TEST_F(ProfileTest, LineBreaksInAValueCannotAddKeys) {
  std::string path = dir.File("t.ini");
  ASSERT_TRUE(WritePrivateProfileString("General", "Device", "x.dev\nPort=COM9", path));
  EXPECT_EQ(GetPrivateProfileString("General", "Device", "", path), "x.dev");
  EXPECT_EQ(GetPrivateProfileString("General", "Port", "none", path), "none");
}

TEST_F(ProfileTest, UnwritablePathFails) {
  EXPECT_FALSE(WritePrivateProfileString("General", "Port", "COM1",
                                         dir.File("missing/dir/t.ini")));
}

}  // namespace
}  // namespace sondrix::platform
