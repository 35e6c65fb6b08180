// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/port_problem.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/paths.h"
#include "platform/posix/termios_serial.h"

namespace sondrix::platform {
namespace {

enum class Kind { NoDevice, Denied, Busy, Missing, NotTerminal, Other };

Kind KindOf(const PortOpenFailure& failure) {
  if (failure.path.empty()) return Kind::NoDevice;
  switch (failure.error) {
    case EACCES:
    case EPERM: return Kind::Denied;
    case EBUSY:
    case EWOULDBLOCK: return Kind::Busy;
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO: return Kind::Missing;
    case ENOTTY: return Kind::NotTerminal;
    default: return Kind::Other;
  }
}

bool NeedsPortList(Kind kind) {
  return kind == Kind::NoDevice || kind == Kind::Missing || kind == Kind::NotTerminal;
}

std::string GroupOf(const std::string& device) {
  struct stat node {};
  if (::stat(device.c_str(), &node) != 0) return {};
  std::vector<char> buffer(16384);
  group entry {};
  group* found = nullptr;
  if (::getgrgid_r(node.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
    return found->gr_name;
  return std::to_string(node.st_gid);
}

// "COM1 (/dev/ttyUSB0)": the port and the path it was opened by.
std::string Subject(int port, const PortOpenFailure& failure) {
  return "COM" + std::to_string(port) + " (" + failure.path + ")";
}

std::string PortList(const PortFacts& facts) {
  if (facts.ports.empty()) return "This system has no serial ports (is the adapter plugged in?).";
  std::string text = "Serial ports of this system:";
  for (const SerialPortInfo& port : facts.ports) text += "\n  " + DescribeSerialPort(port);
  return text;
}

std::string MapAdvice(int port, const PortFacts& facts) {
  std::string where = "the [Ports] section of " + (facts.settingsFile.empty() ? "Sondrix.ini" : facts.settingsFile);
  return "Map COM" + std::to_string(port) + " to one of them in the port dialog or in " + where +
         " (a /dev/serial/by-id name follows its adapter to any USB socket).";
}

}  // namespace

std::string DeviceHolder(std::string_view device, bool& itself, std::string_view procRoot) {
  itself = false;
  namespace fs = std::filesystem;
  std::error_code ec;
  const std::string self = std::to_string(::getpid());
  std::string found;
  for (const auto& process : fs::directory_iterator(fs::path(procRoot), ec)) {
    const std::string pid = process.path().filename().string();
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code fdError;
    for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
      std::error_code linkError;
      const fs::path target = fs::read_symlink(fd.path(), linkError);
      if (linkError || target != fs::path(device)) continue;
      std::ifstream commFile(process.path() / "comm");
      std::string name;
      std::getline(commFile, name);
      const std::string who = (name.empty() ? std::string("process ") : name + ", process ") + pid;
      // Another process wins over this one: it is the one to close.
      if (pid != self) {
        itself = false;
        return who;
      }
      itself = true;
      found = who;
      break;
    }
  }
  return found;
}

PortFacts GatherPortFacts(const PortOpenFailure& failure) {
  PortFacts facts;
  facts.settingsFile = JoinPath(GetProjectDir(), "Sondrix.ini");
  const Kind kind = KindOf(failure);
  if (!failure.path.empty()) {
    std::error_code ec;
    const std::filesystem::path node = std::filesystem::canonical(failure.path, ec);
    facts.device = ec ? failure.path : node.string();
  }
  if (kind == Kind::Denied) facts.group = GroupOf(facts.device);
  if (kind == Kind::Busy) facts.holder = DeviceHolder(facts.device, facts.heldHere);
  if (NeedsPortList(kind)) facts.ports = ListSerialPorts();
  return facts;
}

PortProblem DescribePortProblem(int port, const PortOpenFailure& failure, const PortFacts& facts) {
  if (failure.error == 0) return {};
  const std::string com = "COM" + std::to_string(port);
  const std::string& device = facts.device.empty() ? failure.path : facts.device;
  PortProblem problem;
  switch (KindOf(failure)) {
    case Kind::NoDevice:
      problem.brief = "no device";
      problem.text = com + " has no device: no [Ports] mapping names one, and the system lists " +
                     std::to_string(facts.ports.size()) + " serial port" + (facts.ports.size() == 1 ? "" : "s") +
                     ".\n" + PortList(facts) + "\n" + MapAdvice(port, facts);
      return problem;
    case Kind::Denied:
      if (facts.group.empty()) {
        problem.brief = "no permission";
        problem.text = Subject(port, failure) + " cannot be opened: permission denied.\nYou may not open " +
                       device + "; ask for access to it, or install the package's udev rule";
      } else if (facts.group == "root") {
        problem.brief = "no permission (root only)";
        problem.text = Subject(port, failure) + " cannot be opened: permission denied.\n" + device +
                       " is owned by group root, which only the administrator should be in; install the "
                       "package's udev rule, which gives the user at the computer access to USB serial adapters";
      } else {
        problem.brief = "no permission (group " + facts.group + ")";
        problem.text = Subject(port, failure) + " cannot be opened: permission denied.\n" + device +
                       " is owned by group " + facts.group + "; add yourself with `sudo usermod -aG " +
                       facts.group + " $USER` and log in again, or install the package's udev rule";
      }
      return problem;
    case Kind::Busy:
      if (facts.heldHere) {
        problem.brief = "already open here";
        problem.text = Subject(port, failure) + " cannot be opened: " + device +
                       " is already open in this program (another port name may stand for it).";
      } else if (!facts.holder.empty()) {
        problem.brief = "in use by " + facts.holder.substr(0, facts.holder.find(','));
        problem.text = Subject(port, failure) + " cannot be opened: " + device + " is in use by another program (" +
                       facts.holder + "). Close the port there, or end that program, and try again.";
      } else {
        problem.brief = "in use by another program";
        problem.text = Subject(port, failure) + " cannot be opened: " + device +
                       " is in use by another program. Close the port there, or end that program, and try again.";
      }
      return problem;
    case Kind::Missing:
      problem.brief = "not there";
      problem.text = Subject(port, failure) + " cannot be opened: " +
                     (failure.error == ENOENT || failure.error == ENOTDIR
                          ? failure.path + " does not exist (is the adapter plugged in?).\n"
                          : "no device answers at " + failure.path + ".\n") +
                     PortList(facts) + "\n" + MapAdvice(port, facts);
      return problem;
    case Kind::NotTerminal:
      problem.brief = "not a serial device";
      problem.text = Subject(port, failure) + " cannot be opened: " + failure.path +
                     " is not a terminal, so no serial port.\n" + PortList(facts) + "\n" + MapAdvice(port, facts);
      return problem;
    case Kind::Other: break;
  }
  problem.brief = std::strerror(failure.error);
  if (!problem.brief.empty()) problem.brief[0] = static_cast<char>(std::tolower(problem.brief[0]));
  problem.text = Subject(port, failure) + " cannot be opened: " + std::strerror(failure.error) + ".";
  return problem;
}

}  // namespace sondrix::platform
