// SPDX-License-Identifier: GPL-3.0-or-later
// Why a serial port would not open. The explanation of every kind of
// failure, from given facts, against the sentences the user is to read; then
// the real conditions on this system through the termios library: a node
// that is not there, a regular file, a port with no device, a pseudo-terminal
// locked by another process or already open here, and one the user may not
// open (a child process that gives up root, or a node made unreadable when
// the tests do not run as root). And the list of ports with their by-id
// names, read from a system tree built by the test, and the udev rule that
// gives the user at the computer USB serial adapters.
#include "platform/posix/port_problem.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <grp.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io_test_env.h"
#include "platform/posix/termios_serial.h"
#include "build_paths.h"

namespace sondrix::platform {
namespace {

const std::string kDialoutAdvice =
    "/dev/ttyUSB0 is owned by group dialout; add yourself with `sudo usermod -aG dialout $USER` and log in "
    "again, or install the package's udev rule";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// --- The explanations ---------------------------------------------------------------

struct Case {
  const char* name;
  int port;
  PortOpenFailure failure;
  PortFacts facts;
  std::string brief;
  std::vector<std::string> parts;  // each in the text
};

const SerialPortInfo kFtdi{"/dev/ttyUSB0", "FTDI FT232R USB UART",
                           "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"};
const SerialPortInfo kBuiltIn{"/dev/ttyS0", "serial8250", ""};

PortFacts Facts(std::string device = "", std::string group = "", std::string holder = "", bool heldHere = false,
                std::vector<SerialPortInfo> ports = {}, std::string settingsFile = "") {
  return PortFacts{std::move(device), std::move(group), std::move(holder), heldHere, std::move(ports),
                   std::move(settingsFile)};
}

TEST(PortProblem, EachFailureIsExplainedWithWhatToDo) {
  const std::string byId = kFtdi.byId;
  const std::vector<Case> cases = {
      {"no permission, group dialout", 1, {"/dev/ttyUSB0", EACCES}, Facts("/dev/ttyUSB0", "dialout"),
       "no permission (group dialout)",
       {"COM1 (/dev/ttyUSB0) cannot be opened: permission denied.\n" + kDialoutAdvice}},
      // Through a by-id link: the advice names the node, whose group it is.
      {"no permission through a link", 2, {byId, EPERM}, Facts("/dev/ttyUSB0", "dialout"),
       "no permission (group dialout)", {"COM2 (" + byId + ")", "\n" + kDialoutAdvice}},
      {"no permission, root only", 1, {"/dev/ttyUSB0", EACCES}, Facts("/dev/ttyUSB0", "root"),
       "no permission (root only)", {"owned by group root", "install the package's udev rule"}},
      {"no permission, group unknown", 1, {"/dev/ttyUSB0", EACCES}, {}, "no permission",
       {"You may not open /dev/ttyUSB0", "udev rule"}},
      {"busy, holder known", 3, {"/dev/ttyUSB0", EWOULDBLOCK}, Facts("/dev/ttyUSB0", "", "minicom, process 4242"),
       "in use by minicom",
       {"COM3 (/dev/ttyUSB0) cannot be opened: /dev/ttyUSB0 is in use by another program (minicom, process 4242)."}},
      {"busy, exclusive mode", 3, {"/dev/ttyUSB0", EBUSY}, Facts("/dev/ttyUSB0"), "in use by another program",
       {"/dev/ttyUSB0 is in use by another program.", "Close the port there"}},
      {"busy here", 3, {"/dev/ttyUSB0", EWOULDBLOCK}, Facts("/dev/ttyUSB0", "", "sondrix, process 7", true),
       "already open here", {"already open in this program"}},
      {"missing, ports listed", 1, {byId, ENOENT}, Facts(byId, "", "", false, {kBuiltIn, kFtdi}, "/home/u/Sondrix.ini"),
       "not there",
       {byId + " does not exist (is the adapter plugged in?).\nSerial ports of this system:\n  /dev/ttyS0  serial8250\n"
               "  /dev/ttyUSB0  FTDI FT232R USB UART  by-id usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n"
               "Map COM1 to one of them in the port dialog or in the [Ports] section of /home/u/Sondrix.ini"}},
      {"missing, no ports", 1, {"/dev/ttyUSB0", ENOENT}, {}, "not there",
       {"This system has no serial ports (is the adapter plugged in?)."}},
      {"no device behind the node", 4, {"/dev/ttyS4", ENXIO}, Facts("/dev/ttyS4", "", "", false, {kBuiltIn}), "not there",
       {"no device answers at /dev/ttyS4.\nSerial ports of this system:\n  /dev/ttyS0  serial8250\n"}},
      {"COM with no device", 3, {"", ENXIO}, Facts("", "", "", false, {kFtdi}), "no device",
       {"COM3 has no device: no [Ports] mapping names one, and the system lists 1 serial port.\n",
        "  /dev/ttyUSB0  FTDI FT232R USB UART"}},
      {"COM with no device, none listed", 2, {"", ENXIO}, {}, "no device",
       {"the system lists 0 serial ports.\nThis system has no serial ports"}},
      {"not a terminal", 5, {"/tmp/notes.txt", ENOTTY}, Facts("/tmp/notes.txt", "", "", false, {kFtdi}),
       "not a serial device", {"COM5 (/tmp/notes.txt) cannot be opened: /tmp/notes.txt is not a terminal", "ttyUSB0"}},
      {"another failure", 1, {"/dev/ttyUSB0", EIO}, Facts("/dev/ttyUSB0"), "input/output error",
       {"COM1 (/dev/ttyUSB0) cannot be opened: Input/output error."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PortProblem problem = DescribePortProblem(c.port, c.failure, c.facts);
    EXPECT_EQ(problem.brief, c.brief);
    for (const std::string& part : c.parts) EXPECT_TRUE(Has(problem.text, part)) << problem.text << "\n-- wants --\n" << part;
  }
  EXPECT_TRUE(DescribePortProblem(1, {}, {}).empty());
}

// --- Real conditions ----------------------------------------------------------------

class PortProblemOnThisSystem : public ::testing::Test {
 protected:
  PortProblemOnThisSystem() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) std::abort();
    pty_ = name;
  }
  ~PortProblemOnThisSystem() override {
    if (child_ > 0) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
    ::close(master_);
    ::close(slave_);
  }

  int Open(int port, const std::string& device = "") { return serial_.OpenComConfig(port, device, 9600, 0, 8, 1, 4096, 4096); }

  // A child process that holds the pseudo-terminal locked until killed.
  void LockInChild() {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    child_ = ::fork();
    ASSERT_GE(child_, 0);
    if (child_ == 0) {
      const int fd = ::open(pty_.c_str(), O_RDWR | O_NOCTTY);
      const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
      (void)!::write(ready[1], &ok, 1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(ok, 'y');
  }

  test::TempProjectDir dir_;
  int master_ = -1;
  int slave_ = -1;
  std::string pty_;
  pid_t child_ = -1;
  TermiosSerial serial_;
};

TEST_F(PortProblemOnThisSystem, WhatIsNotThereOrIsNoTerminalSaysSoAndListsThePorts) {
  const std::string missing = dir_.File("no-such-device");
  dir_.WriteFile("plain-file", "x");
  const std::string plain = dir_.File("plain-file");
  const std::size_t listed = ListSerialPorts().size();
  dir_.WriteFile("Sondrix.ini", "[Ports]\nCOM2=" + missing + "\nCOM3=" + plain + "\n");

  EXPECT_EQ(Open(2), -7);
  EXPECT_EQ(serial_.LastOpenFailure(2), (PortOpenFailure{missing, ENOENT}));
  PortProblem problem = serial_.OpenProblem(2);
  EXPECT_EQ(problem.brief, "not there");
  EXPECT_TRUE(Has(problem.text, missing + " does not exist")) << problem.text;
  EXPECT_TRUE(Has(problem.text, listed == 0 ? "This system has no serial ports" : "Serial ports of this system:"));
  EXPECT_TRUE(Has(problem.text, dir_.File("Sondrix.ini"))) << problem.text;

  EXPECT_EQ(Open(3), -7);
  EXPECT_EQ(serial_.LastOpenFailure(3), (PortOpenFailure{plain, ENOTTY}));
  EXPECT_TRUE(Has(serial_.OpenProblem(3).text, plain + " is not a terminal"));

  // A COM beyond the ports listed, not mapped: -2, and how many there are.
  const int beyond = static_cast<int>(listed) + 4;
  EXPECT_EQ(Open(beyond), -2);
  problem = serial_.OpenProblem(beyond);
  EXPECT_EQ(problem.brief, "no device");
  EXPECT_TRUE(Has(problem.text, "COM" + std::to_string(beyond) + " has no device")) << problem.text;
  EXPECT_TRUE(Has(problem.text, "lists " + std::to_string(listed) + " serial port")) << problem.text;

  // An open that works forgets the failure; a port never tried has none.
  dir_.WriteFile("Sondrix.ini", "[Ports]\nCOM2=" + pty_ + "\n");
  EXPECT_EQ(Open(2), 0);
  EXPECT_EQ(serial_.LastOpenFailure(2), PortOpenFailure{});
  EXPECT_TRUE(serial_.OpenProblem(2).empty());
  EXPECT_TRUE(serial_.OpenProblem(7).empty());
  // The library's codes stay as they were.
  EXPECT_EQ(Open(0), -2);
  EXPECT_EQ(Open(3, missing), -7);
}

TEST_F(PortProblemOnThisSystem, APortLockedByAnotherProgramNamesIt) {
  LockInChild();
  EXPECT_EQ(Open(1, pty_), -7);
  EXPECT_EQ(serial_.LastOpenFailure(1), (PortOpenFailure{pty_, EWOULDBLOCK}));
  const PortProblem problem = serial_.OpenProblem(1);
  const std::string holder = std::string(program_invocation_short_name).substr(0, 15) + ", process " +
                             std::to_string(child_);
  EXPECT_EQ(problem.brief, "in use by " + std::string(program_invocation_short_name).substr(0, 15));
  EXPECT_TRUE(Has(problem.text, pty_ + " is in use by another program (" + holder + ")")) << problem.text;
}

TEST_F(PortProblemOnThisSystem, APortThisProgramHoldsIsSaidToBeOpenHere) {
  TermiosSerial other;
  ASSERT_EQ(other.OpenComConfig(1, pty_, 9600, 0, 8, 1, 4096, 4096), 0);
  EXPECT_EQ(Open(1, pty_), -7);
  const PortProblem problem = serial_.OpenProblem(1);
  EXPECT_EQ(problem.brief, "already open here");
  EXPECT_TRUE(Has(problem.text, pty_ + " is already open in this program")) << problem.text;
}

// What a user without permission reads. As root the node is given to the
// group dialout (0660) and a child process opens it as nobody; otherwise
// the node is made unreadable for its owner too.
TEST_F(PortProblemOnThisSystem, APortTheUserMayNotOpenNamesItsGroup) {
  std::string group;
  if (::geteuid() == 0) {
    const ::group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr) GTEST_SKIP() << "no group dialout here";
    group = dialout->gr_name;
    ASSERT_EQ(::chown(pty_.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(pty_.c_str(), 0660), 0);
  } else {
    ASSERT_EQ(::chmod(pty_.c_str(), 0), 0);
    struct stat node {};
    ASSERT_EQ(::stat(pty_.c_str(), &node), 0);
    const ::group* owner = ::getgrgid(node.st_gid);
    group = owner != nullptr ? owner->gr_name : std::to_string(node.st_gid);
  }
  int result[2];
  ASSERT_EQ(::pipe(result), 0);
  child_ = ::fork();
  ASSERT_GE(child_, 0);
  if (child_ == 0) {
    std::string report = "cannot drop root";
    if (::geteuid() != 0 || (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0)) {
      TermiosSerial serial;
      const int code = serial.OpenComConfig(1, pty_, 9600, 0, 8, 1, 4096, 4096);
      report = std::to_string(code) + " " + std::to_string(serial.LastOpenFailure(1).error) + "\n" +
               serial.OpenProblem(1).text;
    }
    (void)!::write(result[1], report.data(), report.size());
    ::_exit(0);
  }
  ::close(result[1]);
  std::string report;
  char buffer[512];
  for (ssize_t n; (n = ::read(result[0], buffer, sizeof buffer)) > 0;) report.append(buffer, static_cast<std::size_t>(n));
  ::close(result[0]);
  ::waitpid(child_, nullptr, 0);
  child_ = -1;
  if (report == "cannot drop root") GTEST_SKIP() << report;
  EXPECT_EQ(report.substr(0, report.find('\n')), "-7 " + std::to_string(EACCES));
  EXPECT_TRUE(Has(report, "COM1 (" + pty_ + ") cannot be opened: permission denied.\n" + pty_ + " is owned by group " +
                              group + "; add yourself with `sudo usermod -aG " + group +
                              " $USER` and log in again, or install the package's udev rule"))
      << report;
}

// --- The list of ports ---------------------------------------------------------------

// A system tree as the kernel and udev lay it out: a USB adapter with its
// maker and product two levels above its port, a USB modem, a built-in
// port with a UART and one slot without, a by-id link per USB port and one
// left dangling by an adapter pulled out.
class SerialPortTree : public ::testing::Test {
 protected:
  SerialPortTree() {
    namespace fs = std::filesystem;
    const fs::path root = dir_.path();
    roots_ = {(root / "sys/class/tty").string(), (root / "dev").string(), (root / "dev/serial/by-id").string()};
    fs::create_directories(root / "dev/serial/by-id");
    const fs::path usb = root / "sys/devices/usb1/1-1";
    Device("ttyUSB0", usb / "1-1:1.0/ttyUSB0");
    dir_.WriteFile("sys/devices/usb1/1-1/manufacturer", "FTDI\n");
    dir_.WriteFile("sys/devices/usb1/1-1/product", "FT232R USB UART\n");
    const fs::path modem = root / "sys/devices/usb1/1-2";
    Device("ttyACM0", modem / "1-2:1.0");
    dir_.WriteFile("sys/devices/usb1/1-2/product", "Logger CDC\n");
    Device("ttyS1", root / "sys/devices/platform/serial8250/ttyS1");
    dir_.WriteFile("sys/class/tty/ttyS1/type", "4\n");
    fs::create_directories(root / "sys/bus/serial8250");
    fs::create_directory_symlink(root / "sys/bus/serial8250", root / "sys/devices/platform/serial8250/ttyS1/driver");
    Device("ttyS0", root / "sys/devices/platform/serial8250/ttyS0");
    dir_.WriteFile("sys/class/tty/ttyS0/type", "0\n");
    fs::create_directories(root / "sys/class/tty/tty1");  // a console: no device behind it
    fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    fs::create_symlink("../../ttyACM0", root / "dev/serial/by-id/usb-Acme_Logger_CDC_0001-if00");
    fs::create_symlink("../../ttyUSB7", root / "dev/serial/by-id/usb-Gone_Adapter-if00-port0");
  }

  // /sys/class/tty/<name>/device leads to `device`; /dev/<name> is there.
  void Device(const std::string& name, const std::filesystem::path& device) {
    namespace fs = std::filesystem;
    fs::create_directories(device);
    fs::create_directories(dir_.path() / "sys/class/tty" / name);
    fs::create_directory_symlink(device, dir_.path() / "sys/class/tty" / name / "device");
    dir_.WriteFile("dev/" + name, "");
  }

  test::TempProjectDir dir_;
  SerialPortRoots roots_;
};

TEST_F(SerialPortTree, PortsComeInNaturalOrderWithTheirDescriptionsAndByIdNames) {
  const std::string dev = roots_.dev + "/";
  const std::string byId = roots_.byId + "/";
  const std::vector<SerialPortInfo> expected = {
      {dev + "ttyACM0", "Logger CDC", byId + "usb-Acme_Logger_CDC_0001-if00"},
      {dev + "ttyS1", "serial8250", ""},
      {dev + "ttyUSB0", "FTDI FT232R USB UART", byId + "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
  };
  EXPECT_EQ(ListSerialPorts(roots_), expected);
  // What a mapping is to hold, and how a port is shown in a list.
  EXPECT_EQ(StableName(expected[2]), expected[2].byId);
  EXPECT_EQ(StableName(expected[1]), expected[1].device);
  EXPECT_EQ(DescribeSerialPort(expected[1]), dev + "ttyS1  serial8250");
}

// --- The udev rule ---------------------------------------------------------------------

// Each rule of the shipped file gives the seat's user (uaccess) a terminal
// whose kernel name its glob matches; together they take every USB serial
// adapter's node and nothing else.
TEST(UdevRule, GivesTheUserAtTheComputerUsbSerialAdaptersOnly) {
  std::ifstream file(std::string(SONDRIX_RESOURCE_DIR) + "/udev/60-sondrix-serial.rules");
  ASSERT_TRUE(file) << "no udev rule in resources/udev";
  std::vector<std::string> globs;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    SCOPED_TRACE(line);
    EXPECT_TRUE(Has(line, "SUBSYSTEM==\"tty\""));
    EXPECT_TRUE(Has(line, "TAG+=\"uaccess\""));
    const std::size_t at = line.find("KERNEL==\"");
    ASSERT_NE(at, std::string::npos);
    const std::size_t start = at + 9;
    globs.push_back(line.substr(start, line.find('"', start) - start));
  }
  auto taken = [&globs](const char* name) {
    for (const std::string& glob : globs)
      if (::fnmatch(glob.c_str(), name, 0) == 0) return true;
    return false;
  };
  for (const char* name : {"ttyUSB0", "ttyUSB17", "ttyACM0", "ttyACM3"}) EXPECT_TRUE(taken(name)) << name;
  for (const char* name : {"ttyS0", "tty1", "ttyAMA0", "ttyUSB", "ttyprintk", "console"}) EXPECT_FALSE(taken(name)) << name;
}

}  // namespace
}  // namespace sondrix::platform
