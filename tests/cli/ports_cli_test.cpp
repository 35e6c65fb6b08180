// SPDX-License-Identifier: GPL-3.0-or-later
// The built sondrix-cli on serial ports: a run whose port will not open says
// why (not there, locked by another program), and `ports` lists what COM1
// ... COM8 read and maps them.
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "platform/posix/termios_serial.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::CliRun;
using test::kCli;
using test::Quoted;

const std::string kDevice = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";

class PortsCli : public test::HeadlessTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kCli)) << kCli << " is not built";
    char name[256] = {};
    ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    pty_ = name;
  }
  void TearDown() override {
    ::close(master_);
    ::close(slave_);
  }

  CliRun Cli(const std::string& arguments) { return test::RunTool(kCli, arguments, home); }
  std::string Settings() { return test::ReadTextFile(HomeFile("Sondrix.ini")).value_or(""); }

  int master_ = -1;
  int slave_ = -1;
  std::string pty_;
};

TEST_F(PortsCli, ARunWhosePortWillNotOpenSaysWhy) {
  const std::size_t listed = platform::ListSerialPorts().size();
  WriteSettings("[Ports]\nCOM1=" + HomeFile("no-such-adapter") + "\nCOM3=" + pty_ + "\n");
  // This test holds the terminal's lock, as another program would.
  ASSERT_EQ(::flock(slave_, LOCK_EX | LOCK_NB), 0);
  struct Case {
    std::string command;
    std::vector<std::string> said;
  };
  const std::string out = " --out " + Quoted(HomeFile("run.dat"));
  const std::vector<Case> cases = {
      {"record --port COM1" + out,
       {"sondrix-cli record: COM1 (" + HomeFile("no-such-adapter") + ") cannot be opened: " +
            HomeFile("no-such-adapter") + " does not exist (is the adapter plugged in?).\n",
        listed == 0 ? "This system has no serial ports" : "Serial ports of this system:",
        "the [Ports] section of " + HomeFile("Sondrix.ini")}},
      {"diag --port COM3 --report " + Quoted(HomeFile("t.rpt")),
       {"sondrix-cli diag: COM3 (" + pty_ + ") cannot be opened: " + pty_ + " is in use by another program (" +
        std::string(program_invocation_short_name).substr(0, 15) + ", process " + std::to_string(::getpid()) + ")"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const CliRun run = Cli(c.command + " --device " + Quoted(kDevice));
    EXPECT_EQ(run.exitStatus, 1);
    for (const std::string& part : c.said) EXPECT_NE(run.err.find(part), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Maybe a printer or a modem?"), std::string::npos) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(HomeFile("run.dat")));
}

TEST_F(PortsCli, PortsListsWhatEachComReadsAndMapsThem) {
  test::WriteTextFile(HomeFile("notes.txt"), "x");
  WriteSettings("[General]\nPort=COM2\n[Ports]\nCOM2=" + pty_ + "\nCOM6=" + HomeFile("notes.txt") + "\n");
  CliRun run = Cli("ports --check");
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::vector<std::string> lines = test::Lines(run.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind("COM ", 0), 0u) << lines[0];
  auto row = [&lines](const std::string& com) {
    for (const std::string& line : lines)
      if (line.rfind(com + " ", 0) == 0) return line;
    return std::string();
  };
  // COM, device, by-id, where the name comes from, whether it opens.
  EXPECT_TRUE(std::regex_search(row("COM2"), std::regex("^COM2 +" + pty_ + " +- +\\[Ports\\] +opens"))) << run.out;
  EXPECT_TRUE(std::regex_search(row("COM6"), std::regex("\\[Ports\\] +not a serial device"))) << run.out;

  run = Cli("ports --map COM5 " + Quoted(pty_));
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, "COM5=" + pty_ + " (" + HomeFile("Sondrix.ini") + ")\n");
  EXPECT_EQ(Cli("ports --unmap COM6").exitStatus, 0);
  EXPECT_EQ(Settings(), "[General]\nPort=COM2\n[Ports]\nCOM2=" + pty_ + "\nCOM5=" + pty_ + "\n");
  // A mapping to something not there is written, and said to be missing.
  run = Cli("ports --map COM7 /dev/serial/by-id/usb-Gone-if00-port0");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.err, "sondrix-cli ports: /dev/serial/by-id/usb-Gone-if00-port0 is not there now\n");
  for (const char* wrong : {"ports --map COM9 /dev/ttyS0", "ports --map COM1", "ports --what", "ports --unmap"})
    EXPECT_EQ(Cli(wrong).exitStatus, 2) << wrong;
}

}  // namespace
}  // namespace sondrix
