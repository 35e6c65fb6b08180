// Runs the built sondrix-cli on device configuration files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/status.h"
#include "cli/cli_run.h"
#include "support/fixtures.h"

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
