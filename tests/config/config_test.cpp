// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <string>

#include "common/settings.h"
#include "common/status.h"
#include "config/benth_meter_config.h"
#include "config/meter_config.h"
#include "config_files.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

using test::Header;
using test::TextStream;
using test::Written;

void Fill(Config& config) {
  config.name = "Test meter 7";
  config.serialnum = 0x0400ABCD;
  config.version = 2;
  config.baudRate = 19200;
  config.depthOffset = -0.125;
  config.depthScale = 0.0035;
  config.pathLength = 0.25;
}

Status Read(Config& config, const std::string& text) {
  auto file = TextStream(text);
  return config.ReadConfig(file.get());
}

TEST(ConfigHeader, WritesTheExactFormatsAndReadsThemBack) {
  Config config(18, 18);
  Fill(config);
  Status result = 0;
  const std::string text = Written([&](std::FILE* f) { return config.WriteConfig(f); }, &result);
  EXPECT_EQ(result, status::kOk);
  EXPECT_EQ(text, Header("Test meter 7", "0400ABCD", 2, "-0.125000\t0.003500"));

  Config back(18, 18);
  ASSERT_EQ(Read(back, text), status::kOk);
  EXPECT_EQ(back.serialnum, 0x0400ABCDu);
  EXPECT_EQ(back.deviceType(), 4);
  EXPECT_EQ(back.version, 2);
  EXPECT_EQ(back.name, "Test meter 7");
  EXPECT_EQ(back.CompConfig(config), 1);
}

TEST(ConfigHeader, SerialNumberKeepsItsTopByte) {
  Config config(18, 18);
  Fill(config);
  config.serialnum = 0xF1FF0001;
  const std::string text = Written([&](std::FILE* f) { return config.WriteConfig(f); });
  Config back(0, 0);
  ASSERT_EQ(Read(back, text), status::kOk);
  EXPECT_EQ(back.serialnum, 0xF1FF0001u);
  EXPECT_EQ(back.deviceType(), 241);
}

TEST(ConfigHeader, CommentAndEmptyLinesBetweenItemsAreSkipped) {
  const std::string text =
      "Meter\n04000001 ; serial\n1\t; version\nReserved\n"
      "0.5 0.002 ; depth\n\n; a comment line\n   ; an indented one\n\n"
      "9600\n;\n\n0.1 ; path\n; trailing\n";
  Config config(18, 18);
  ASSERT_EQ(Read(config, text), status::kOk);
  EXPECT_EQ(config.version, 1);
  EXPECT_DOUBLE_EQ(config.depthOffset, 0.5);
  EXPECT_DOUBLE_EQ(config.depthScale, 0.002);
  EXPECT_EQ(config.baudRate, 9600);
  EXPECT_DOUBLE_EQ(config.pathLength, 0.1);
}

TEST(ConfigHeader, LongNameIsCutAndTrailingBlanksRemoved) {
  const std::string longName(70, 'n');
  Config config(18, 18);
  ASSERT_EQ(Read(config, Header(longName, "04000001", 1)), status::kOk);
  EXPECT_EQ(config.name, std::string(63, 'n'));
  EXPECT_EQ(config.serialnum, 0x04000001u);
  EXPECT_EQ(config.version, 1);

  ASSERT_EQ(Read(config, Header("Meter 9 \t  \r", "04000001", 1)), status::kOk);
  EXPECT_EQ(config.name, "Meter 9");
}

TEST(ConfigHeader, NulByteEndsTheName) {
  Config config(18, 18);
  ASSERT_EQ(Read(config, Header(std::string("Meter\0junk", 10), "04000001", 1)), status::kOk);
  EXPECT_EQ(config.name, "Meter");
  // What is written reads back as the same name.
  Config back(18, 18);
  ASSERT_EQ(Read(back, Written([&](std::FILE* f) { return config.WriteConfig(f); })),
            status::kOk);
  EXPECT_EQ(back.CompConfig(config), 1);
  // Nothing but blanks before the NUL: no name, as an empty line.
  EXPECT_EQ(Read(config, Header(std::string(" \0Meter", 8), "04000001", 1)),
            status::kConfigPrematureEof);
}

TEST(ConfigHeader, BaudRatesOfTheTableOnly) {
  Config config(18, 18);
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "0 1", "56000")), status::kOk);
  EXPECT_EQ(config.baudRate, 56000);
  // A line without a number is no rate, though the record holds a good one.
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "0 1", "fast")), status::kInvalidBaudRate);
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "0 1", "230400")), status::kInvalidBaudRate);
  EXPECT_EQ(StatusText(status::kInvalidBaudRate), "Invalid baud rate.");
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "0 1", "fast")), status::kInvalidBaudRate);
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "0 1", "99999999999999999999")),
            status::kInvalidBaudRate);
}

TEST(ConfigHeader, FileWithoutVersionLineIsVersionZero) {
  // The third line holds no number; the line after it is still taken as
  // the "Reserved" line.
  const std::string text =
      "Old meter\n06000002\nno version here\nReserved\n0 0.0035\n9600\n0.25\n";
  Config config(3, 3);
  config.version = 5;
  ASSERT_EQ(Read(config, text), status::kOk);
  EXPECT_EQ(config.version, 0);
  EXPECT_EQ(config.baudRate, 9600);
}

TEST(ConfigHeader, FailuresGiveTheirCodes) {
  Config config(18, 18);
  EXPECT_EQ(Read(config, ""), status::kConfigPrematureEof);
  EXPECT_EQ(Read(config, "\n04000001\n"), status::kConfigPrematureEof);
  EXPECT_EQ(Read(config, "Meter\nxyz\n"), status::kBadConfigFormat);
  EXPECT_EQ(Read(config, "Meter\n04000001\n1\nReserved\n"), status::kUnexpectedEof);
  EXPECT_EQ(Read(config, "Meter\n04000001\n1\nReserved\n0.5 ; no scale\n9600\n0.25\n"),
            status::kConfigDepthCal);
  // A path length that does not parse is not reported and leaves the field.
  config.pathLength = 0.33;
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "0 1", "9600", "long")), status::kOk);
  EXPECT_DOUBLE_EQ(config.pathLength, 0.33);
}

// A number that is not finite would make every value computed with it not
// a number; a count must be a whole number. Each is refused with the code
// of its field.
TEST(ConfigHeader, NumbersThatAreNotFiniteAndRatesThatAreNotWholeAreRefused) {
  Config config(18, 18);
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "nan 0.0035")), status::kConfigDepthCal);
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "0 -inf")), status::kConfigDepthCal);
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "0 1e999")), status::kConfigDepthCal);
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "0 1", "9600", "nan")), status::kConfigPathLength);
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "0 1", "9600", "INF")), status::kConfigPathLength);
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "0 1", "9600.5")), status::kInvalidBaudRate);
  EXPECT_EQ(Read(config, Header("M", "04000001", 1, "0 1", "96e2")), status::kInvalidBaudRate);
  EXPECT_EQ(Read(config, "M\n04000001\n1\nReserved\n0 1\n9600;rate\n0.25\n"), status::kOk);
  EXPECT_EQ(config.baudRate, 9600);
}

// A path length that is no length to measure over, and a serial number
// beyond the 32 bits of the identification word, are refused with the code
// of their field, by the header every model's file begins with.
TEST(ConfigHeader, PathLengthsAndSerialNumbersTheFieldsCannotHoldAreRefused) {
  MeterConfig meter(3, 3);
  BenthMeterConfig benth(6, 3);
  for (Config* config : {static_cast<Config*>(&meter), static_cast<Config*>(&benth)}) {
    for (const char* path : {"0.0", "0", "-0.25", "1e-320", "4.9e-324", "-1e-310"}) {
      EXPECT_EQ(Read(*config, Header("M", "04000001", 1, "0 1", "9600", path)),
                status::kConfigPathLength)
          << path;
    }
    EXPECT_EQ(Read(*config, Header("M", "123456789", 1)), status::kConfigSerialNumber);
    EXPECT_EQ(Read(*config, Header("M", "FFFFFFFFF", 1)), status::kConfigSerialNumber);
  }
  Config config(18, 18);
  // The smallest normal double is still a length.
  EXPECT_EQ(Read(config, Header("M", "FFFFFFFF", 1, "0 1", "9600", "2.2250738585072014e-308")),
            status::kOk);
  EXPECT_EQ(config.serialnum, 0xFFFFFFFFu);
  EXPECT_EQ(Read(config, Header("M", "0004000001", 1)), status::kOk);
  EXPECT_EQ(config.serialnum, 0x04000001u);
  EXPECT_EQ(StatusText(status::kConfigSerialNumber),
            "Found problem in configuration file: failed while reading the serial number.");
}

TEST(ConfigCompare, ToleranceOnDepthExactPathLength) {
  Config a(18, 18);
  Fill(a);
  Config b(18, 18);
  Fill(b);
  b.depthOffset += 5e-11;
  b.depthScale -= 5e-11;
  EXPECT_EQ(a.CompConfig(b), 1);
  b.depthOffset = a.depthOffset + 1e-9;
  EXPECT_EQ(a.CompConfig(b), 0);

  Config c(18, 18);
  Fill(c);
  c.pathLength = 0.25000000000000006;  // the next double up
  EXPECT_EQ(a.CompConfig(c), 0);

  Config d(18, 18);
  Fill(d);
  d.reserved = 1;
  EXPECT_EQ(a.CompConfig(d), 0);
  Config e(18, 6);
  a.CopyConfig(e);
  EXPECT_EQ(e.inTraceCount, 18);
  EXPECT_EQ(a.CompConfig(e), 1);
}

TEST(ConfigBase, DefaultsOfTheOperationsModelsReplace) {
  Config config(3, 3);
  std::string heading;
  EXPECT_EQ(config.GetHeading(0, heading), status::kNoSuchHeading);
  EXPECT_EQ(heading, "unknown");
  int colors[3];
  double wavelengths[3];
  EXPECT_EQ(config.GetColors(colors), status::kConfigNoColors);
  EXPECT_EQ(config.GetWavelengths(wavelengths), status::kConfigNoWavelengths);
  EXPECT_EQ(config.EditConfig(), status::kConfigNoEditor);
  EXPECT_EQ(config.GetTraceCount(), 3);
}

TEST(ConfigHeader, NumbersUseThePointWhateverTheLocale) {
  const char* locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  bool switched = false;
  for (const char* name : locales) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      switched = true;
      break;
    }
  }
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma installed";
  Config config(18, 18);
  Fill(config);
  const std::string text = Written([&](std::FILE* f) { return config.WriteConfig(f); });
  Config back(18, 18);
  const Status result = Read(back, text);
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_NE(text.find("0.250000"), std::string::npos);
  EXPECT_EQ(result, status::kOk);
  EXPECT_DOUBLE_EQ(back.depthScale, 0.0035);
}

// --- Saving through the file dialog --------------------------------------------

class ConfigSave : public test::HeadlessTest {};

TEST_F(ConfigSave, WritesTheWholeConfigurationWhereTheUserSays) {
  const std::string path = HomeFile("sub/new.dev");
  test::WriteTextFile(HomeFile("sub/keep"), "");
  MeterConfig config(3, 3);
  ASSERT_EQ(Read(config, Header("A meter", "06000001", 0) + "a440\tRed\t0.1\t20\t0.001\n"
                              "a550\tGreen\t0.2\t20\t0.002\na676\t17\t0.3\t20\t0.003\n"),
            status::kOk);
  const std::string startDirectory = settings::Directory(settings::kDeviceDirectory);
  ui.AnswerFile(path);
  ASSERT_EQ(config.SaveConfig(), status::kOk);

  ASSERT_EQ(ui.fileDialogs().size(), 1u);
  const auto& request = ui.fileDialogs()[0].request;
  EXPECT_EQ(request.title, "Save configuration to file:");
  EXPECT_EQ(request.defaultSpec, "*.dev");
  EXPECT_TRUE(request.allowCancel);
  EXPECT_FALSE(request.allowMakeDirectory);
  EXPECT_EQ(request.directory, startDirectory);
  // The model's section is written too, and the directory is remembered.
  EXPECT_EQ(test::ReadTextFile(path),
            Written([&](std::FILE* f) { return config.WriteConfig(f); }));
  EXPECT_NE(settings::Directory(settings::kDeviceDirectory).find("sub"), std::string::npos);
  EXPECT_TRUE(ui.popups().empty());
}

TEST_F(ConfigSave, AsksBeforeOverwritingAndCancelsQuietly) {
  const std::string path = test::WriteTextFile(HomeFile("old.dev"), "old contents\n");
  Config config(18, 18);
  Fill(config);

  ui.AnswerFile(path).AnswerConfirm(false);
  EXPECT_EQ(config.SaveConfig(), status::kCancelled);
  ASSERT_EQ(ui.popups().size(), 1u);
  EXPECT_EQ(ui.popups()[0].text, "This file exists. Do you want to overwrite it?");
  EXPECT_EQ(test::ReadTextFile(path), "old contents\n");

  ui.AnswerFile(path).AnswerConfirm(true);
  EXPECT_EQ(config.SaveConfig(), status::kOk);
  EXPECT_EQ(test::ReadTextFile(path), Header("Test meter 7", "0400ABCD", 2, "-0.125000\t0.003500"));

  ui.CancelFile();
  EXPECT_EQ(config.SaveConfig(), status::kCancelled);
}

TEST_F(ConfigSave, FileThatCannotBeCreated) {
  Config config(18, 18);
  Fill(config);
  ui.AnswerFile(HomeFile("no/such/dir/x.dev"), platform::FileSelectResult::New);
  EXPECT_EQ(config.SaveConfig(), status::kCantOpenFile);
}

// A named pipe (or a folder) chosen as the file is refused at once: opening
// a pipe for writing would wait for a reader for ever.
TEST_F(ConfigSave, APipeOrAFolderIsNoConfigurationFile) {
  Config config(18, 18);
  Fill(config);
  const std::string fifo = HomeFile("pipe.dev");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ui.AnswerFile(fifo).AnswerConfirm(true);
  EXPECT_EQ(config.SaveConfig(), status::kCantOpenFile);
  ui.AnswerFile(home.path()).AnswerConfirm(true);
  EXPECT_EQ(config.SaveConfig(), status::kCantOpenFile);
}

}  // namespace
}  // namespace sondrix
