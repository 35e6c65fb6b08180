// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built sondrix-cli on device configuration files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/status.h"
#include "cli/cli_run.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::CliRun;
using test::kCli;
using test::Quoted;

class ConfigCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kCli)) << kCli << " is not built";
  }

  CliRun Cli(const std::string& arguments) { return test::RunTool(kCli, arguments, dir); }

  test::TempDir dir;
};

TEST_F(ConfigCli, ReproducesEveryExampleFile) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SONDRIX_EXAMPLES_DIR)) {
    if (entry.path().extension() != ".dev") continue;
    SCOPED_TRACE(entry.path().string());
    const CliRun run = Cli("config " + Quoted(entry.path().string()));
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, test::ReadTextFile(entry.path().string()).value_or("?"));
    EXPECT_EQ(run.err, "");
    ++files;
  }
  EXPECT_GE(files, 4);
}

TEST_F(ConfigCli, WritesCommentedFilesInTheProgramsForm) {
  const std::string path = test::WriteTextFile(
      dir.File("hand.dev"),
      "Hand-written A meter   \n06000009 ; serial\n; no version line follows\nReserved\n"
      "not the depth line\n0 0.0035\n\n9600 ; baud\n0.25\n"
      "a440 LtBlue 0.01 20 0.001\na550 default 0.02 20 0.002\na676 0x10 0.03 20 0.003\n");
  const CliRun run = Cli("config " + Quoted(path));
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out,
            "Hand-written A meter\n"
            "06000009\t\t; Serial number\n"
            "0\t; structure version number\n"
            "Reserved\n"
            "0.000000\t0.003500\t\t; Depth calibration\n"
            "9600\t\t\t; Baud rate\n"
            "0.250000\t\t\t; Path length (meters)\n"
            "a440\tLtBlue\t0.01000\t20.00000\t0.00100\n"
            "a550\t62\t0.02000\t20.00000\t0.00200\n"
            "a676\t16\t0.03000\t20.00000\t0.00300\n");
}

TEST_F(ConfigCli, UnreadableFilesExitWithTheMessage) {
  const std::string badBaud = test::WriteTextFile(
      dir.File("baud.dev"),
      "M\n04000001\n1\nReserved\n0 1\n230400\n0.25\n");
  CliRun run = Cli("config " + Quoted(badBaud));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Invalid baud rate.\n");

  const std::string unknownType = test::WriteTextFile(
      dir.File("type.dev"), "M\n05000001\n1\nReserved\n0 1\n9600\n0.25\n");
  run = Cli("config " + Quoted(unknownType));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, StatusText(status::kConfigDeviceType) + "\n");

  run = Cli("config " + Quoted(dir.File("missing.dev")));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, StatusText(status::kCantOpenFile) + "\n");

  // A device that never ends (and a folder) is no configuration file: refused
  // at once rather than read for ever.
  for (const std::string command : {"config", "info", "replay"}) {
    run = Cli(command + " /dev/zero");
    EXPECT_EQ(run.exitStatus, 1) << command;
    EXPECT_NE(run.err.find(StatusText(status::kCantOpenFile)), std::string::npos) << command;
  }
  run = Cli("config " + Quoted(dir.path()));
  EXPECT_EQ(run.exitStatus, 1);
}

// Bytes that would drive the terminal (escape sequences, C1 codes, a
// carriage return) in a file's name line, trace names, date or trailing
// texts are printed escaped by config, info and replay; UTF-8 letters and
// the rest of the text are printed as they are.
TEST_F(ConfigCli, ControlCharactersFromAFileArePrintedEscaped) {
  const std::string example = test::ReadTextFile(SONDRIX_EXAMPLES_DIR "/ameter.dev").value_or("");
  const std::string body = example.substr(example.find('\n'));
  std::string device = "Evil\x1b]0;owned\x07 meter \xc2\x9b" "2J\r Sonde \xc3\xa9t\xc3\xa9" + body;
  device.replace(device.find("a550"), 4, "a550\x1b[31m");
  const std::string path = test::WriteTextFile(dir.File("evil.dev"), device);
  const std::string name = "Evil\\x1b]0;owned\\x07 meter \\xc2\\x9b2J\\x0d Sonde \xc3\xa9t\xc3\xa9";
  const std::string data = test::WriteTextFile(
      dir.File("evil.dat"), "Sondrix ver 7.1\t12-09-2026\x1b[2J\t10:00:00\n" + device +
                                "1\t\t\t; acquisition binsize\n"
                                "0\t0.10000\t0.20000\t0.30000\t18.00\t1.0\t0.50\t\x1b[2J\t1.0\t2.0\t3.0\n");
  const auto printable = [](const std::string& text) {
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte < 0x20 && c != '\t' && c != '\n') || byte == 0x7F) return false;
    }
    return text.find("\xc2\x9b") == std::string::npos;
  };

  CliRun run = Cli("config " + Quoted(path));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_TRUE(printable(run.out)) << run.out;
  EXPECT_EQ(test::Lines(run.out).front(), name);
  EXPECT_NE(run.out.find("a550\\x1b[31m\t62\t"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(run.out.find("0600003A")), example.substr(example.find("0600003A")).replace(
                                                          example.substr(example.find("0600003A")).find("a550"), 4,
                                                          "a550\\x1b[31m"));

  for (const std::string& file : {path, data}) {
    run = Cli("info " + Quoted(file));
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(printable(run.out)) << run.out;
    EXPECT_NE(run.out.find("Identification: " + name + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" a550\\x1b[31m "), std::string::npos) << run.out;
  }
  EXPECT_NE(run.out.find("Date: 12-09-2026\\x1b[2J\n"), std::string::npos) << run.out;

  run = Cli("replay " + Quoted(data));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, "0\t0.10000\t0.20000\t0.30000\t18.00\t1.0\t0.50\t\\x1b[2J\t1.0\t2.0\t3.0\n");
}

TEST_F(ConfigCli, HelpAndUsage) {
  CliRun run = Cli("--help");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.out.find("config"), std::string::npos);
  run = Cli("config --help");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.out.find("Usage: sondrix-cli config FILE"), std::string::npos);
  EXPECT_EQ(Cli("config").exitStatus, 2);
  EXPECT_EQ(Cli("").exitStatus, 2);
  EXPECT_EQ(Cli("no-such-command").exitStatus, 2);
}

}  // namespace
}  // namespace sondrix
