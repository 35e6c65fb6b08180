// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/termios_serial.h"

// The kernel's termios2 interface (arbitrary baud rates through BOTHER);
// glibc's <termios.h> must not be included alongside it.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>


namespace sondrix::platform {
namespace {

using namespace com_error;


// How far the rate a device reports back may lie from the one asked for;
// beyond it the rate is refused rather than silently changed. Serial framing
// tolerates a few per cent.
constexpr double kBaudTolerance = 0.03;

constexpr std::size_t kChunk = 4096;

double Now() {
  using Seconds = std::chrono::duration<double>;
  return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// What a read or a write of `count` bytes takes on: as many bytes as its
// result can count, until a port's time-out of `timeout` seconds from now.
struct Transfer {
  std::size_t count = 0;
  double deadline = 0.0;
};
Transfer StartTransfer(std::size_t count, double timeout) {
  return {std::min<std::size_t>(count, INT_MAX), Now() + timeout};
}

int PollMilliseconds(double seconds) {
  if (seconds <= 0.0) return 0;
  const double ms = std::ceil(seconds * 1000.0);
  return ms >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

// Natural order: runs of digits compare by value ("ttyS2" before "ttyS10").
bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      std::size_t ei = i;
      std::size_t ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])) != 0) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])) != 0) ++ej;
      std::string na = a.substr(i, ei - i);
      std::string nb = b.substr(j, ej - j);
      na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
      nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::string ReadFirstLine(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  if (in) std::getline(in, line);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())) != 0) {
    line.pop_back();
  }
  return line;
}

// A legacy 8250 port slot with no UART behind it reports the type 0.
bool HasUart(const SerialPortRoots& roots, const std::string& name) {
  const std::filesystem::path sysType = std::filesystem::path(roots.sysClassTty) / name / "type";
  std::error_code ec;
  if (std::filesystem::exists(sysType, ec)) return ReadFirstLine(sysType) != "0";
  const std::string device = roots.dev + "/" + name;
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  serial_struct info{};
  const bool present = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  ::close(fd);
  return present;
}

std::string Describe(const std::filesystem::path& deviceLink) {
  std::error_code ec;
  std::filesystem::path device = std::filesystem::canonical(deviceLink, ec);
  if (ec) return "serial port";
  // USB adapters carry their maker and product a few levels up.
  std::filesystem::path at = device;
  for (int level = 0; level < 4 && !at.empty() && at != at.root_path(); ++level) {
    const std::string product = ReadFirstLine(at / "product");
    if (!product.empty()) {
      const std::string maker = ReadFirstLine(at / "manufacturer");
      return maker.empty() ? product : maker + " " + product;
    }
    at = at.parent_path();
  }
  std::filesystem::path driver = std::filesystem::read_symlink(deviceLink / "driver", ec);
  if (!ec && !driver.filename().empty()) return driver.filename().string();
  return "serial port";
}

// Raw mode with the given line settings; 0 or the library's code.
int Configure(int fd, long baud, int parity, int dataBits, int stopBits) {
  termios2 old{};
  if (::ioctl(fd, TCGETS2, &old) != 0) return kCannotOpenPort;
  termios2 tio = old;
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                        ICRNL | IXON | IXOFF | IXANY | INPCK);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS |
                                        CBAUD | CIBAUD);
  tio.c_cflag |= CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
  switch (dataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
  }
  switch (parity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;           // odd
    case 2: tio.c_cflag |= PARENB; break;                    // even
    case 3: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;  // mark
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;           // space
    default: break;
  }
  if (stopBits == 2) tio.c_cflag |= CSTOPB;
  tio.c_ispeed = static_cast<speed_t>(baud);
  tio.c_ospeed = static_cast<speed_t>(baud);
  // One byte satisfies a read; the descriptor is non-blocking and poll()
  // does the waiting, so a read of 0 means the line was hung up.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (::ioctl(fd, TCSETS2, &tio) != 0) {
    ::ioctl(fd, TCSETS2, &old);
    return kInvalidBaudRate;
  }
  termios2 now{};
  if (::ioctl(fd, TCGETS2, &now) == 0 && now.c_ospeed != 0) {
    const double got = now.c_ospeed;
    if (std::fabs(got - static_cast<double>(baud)) > kBaudTolerance * static_cast<double>(baud)) {
      ::ioctl(fd, TCSETS2, &old);
      return kInvalidBaudRate;
    }
  }
  return 0;
}

// The by-id links of the system by the node each leads to.
std::map<std::filesystem::path, std::string> ByIdLinks(const SerialPortRoots& roots) {
  std::map<std::filesystem::path, std::string> links;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(roots.byId, ec)) {
    std::error_code linkError;
    const std::filesystem::path node = std::filesystem::canonical(entry.path(), linkError);
    if (!linkError) links.emplace(node, entry.path().string());
  }
  return links;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const SerialPortRoots& roots) {
  std::vector<SerialPortInfo> ports;
  const auto byId = ByIdLinks(roots);
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(roots.sysClassTty, ec)) {
    const std::string name = entry.path().filename().string();
    const std::filesystem::path deviceLink = entry.path() / "device";
    std::error_code linkError;
    if (!std::filesystem::exists(deviceLink, linkError)) continue;
    const std::string device = roots.dev + "/" + name;
    if (!std::filesystem::exists(device, linkError)) continue;
    if (name.rfind("ttyS", 0) == 0 && !HasUart(roots, name)) continue;
    SerialPortInfo port{device, Describe(deviceLink), {}};
    const std::filesystem::path node = std::filesystem::canonical(device, linkError);
    if (const auto link = byId.find(node); !linkError && link != byId.end()) port.byId = link->second;
    ports.push_back(std::move(port));
  }
  std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
    return NaturalLess(a.device, b.device);
  });
  return ports;
}

std::string ComPortDevice(int port) {
  std::string mapped = ComPortMapping(port);
  return mapped.empty() ? ResolveComPort(port, ListSerialPorts()) : mapped;
}

TermiosSerial::~TermiosSerial() {
  for (auto& [number, port] : ports_) ClosePort(port);
}

TermiosSerial::Port* TermiosSerial::Find(int port) {
  auto it = ports_.find(port);
  return it == ports_.end() ? nullptr : &it->second;
}

void TermiosSerial::ClosePort(Port& port) {
  if (port.fd >= 0) {
    ::ioctl(port.fd, TIOCNXCL);
    ::close(port.fd);
  }
  port.fd = -1;
}

std::string TermiosSerial::DevicePath(int port) const {
  auto it = ports_.find(port);
  return it == ports_.end() ? std::string() : it->second.path;
}

int TermiosSerial::OpenComConfig(int port, std::string_view deviceName, long baud, int parity,
                                 int dataBits, int stopBits, int /*inputQueueSize*/,
                                 int /*outputQueueSize*/) {
  if (port < 1 || port > kMaxPort) return kInvalidPortNumber;
  if (baud <= 0 || baud > static_cast<long>(UINT_MAX / 2)) return kInvalidBaudRate;
  if (parity < 0 || parity > 4) return kInvalidParity;
  if (dataBits < 5 || dataBits > 8) return kInvalidDataBits;
  if (stopBits < 1 || stopBits > 2) return kInvalidStopBits;

  const std::string path = deviceName.empty() ? ComPortDevice(port) : std::string(deviceName);
  failures_.erase(port);
  // Why the device would not open is kept for OpenProblem.
  auto refused = [this, port, &path](int code, int error) {
    failures_[port] = PortOpenFailure{path, error};
    return code;
  };
  if (path.empty()) return refused(kInvalidPortNumber, ENXIO);

  if (Port* open = Find(port); open != nullptr) {
    if (open->path == path) {
      const int result = Configure(open->fd, baud, parity, dataBits, stopBits);
      if (result != 0) return result;
      open->pending.clear();
      open->head = 0;
      ::ioctl(open->fd, TCFLSH, TCIOFLUSH);
      return 0;
    }
    ClosePort(*open);
    ports_.erase(port);
  }

  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return refused(kCannotOpenPort, errno);
  auto fail = [fd, &refused](int code) {
    const int error = errno;
    ::close(fd);
    return code == kCannotOpenPort ? refused(code, error) : code;
  };
  if (::isatty(fd) == 0) {
    errno = ENOTTY;
    return fail(kCannotOpenPort);
  }
  // Another program holding the port (by lock or exclusive mode) keeps it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(kCannotOpenPort);
  const int result = Configure(fd, baud, parity, dataBits, stopBits);
  if (result != 0) return fail(result);
  ::ioctl(fd, TIOCEXCL);
  ::ioctl(fd, TCFLSH, TCIOFLUSH);

  Port& opened = ports_[port];
  opened.fd = fd;
  opened.path = path;
  opened.timeout = 10.0;
  opened.pending.clear();
  opened.head = 0;
  return 0;
}

bool TermiosSerial::IsOpen(int port) const { return ports_.contains(port); }

std::vector<SerialPortInfo> TermiosSerial::ListPorts() { return ListSerialPorts(); }

PortOpenFailure TermiosSerial::LastOpenFailure(int port) const {
  const auto it = failures_.find(port);
  return it == failures_.end() ? PortOpenFailure{} : it->second;
}

PortProblem TermiosSerial::OpenProblem(int port) {
  if (!failures_.contains(port)) return {};
  const PortOpenFailure failure = LastOpenFailure(port);
  return DescribePortProblem(port, failure, GatherPortFacts(failure));
}

int TermiosSerial::CloseCom(int port) {
  if (port < 1 || port > kMaxPort) return kInvalidPortNumber;
  Port* open = Find(port);
  if (open == nullptr) return kPortNotOpen;
  ClosePort(*open);
  ports_.erase(port);
  return 0;
}

int TermiosSerial::Fill(Port& port, double deadline) {
  char chunk[kChunk];
  for (;;) {
    const ssize_t n = ::read(port.fd, chunk, sizeof chunk);
    if (n > 0) {
      if (port.head == port.pending.size()) {
        port.pending.clear();
        port.head = 0;
      }
      port.pending.insert(port.pending.end(), chunk, chunk + n);
      return static_cast<int>(n);
    }
    if (n == 0) return kGeneralIoError;  // hung up
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return kGeneralIoError;

    const double remaining = deadline - Now();
    if (remaining <= 0.0) return 0;
    pollfd pfd{port.fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, PollMilliseconds(remaining));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return kGeneralIoError;
    }
    if (ready == 0) continue;  // the deadline check above ends it
    if ((pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (pfd.revents & POLLIN) == 0) {
      return kGeneralIoError;
    }
  }
}

int TermiosSerial::ComRd(int port, char* buffer, std::size_t count) { return ReadInput(port, buffer, count, -1); }

int TermiosSerial::ComRdTerm(int port, char* buffer, std::size_t count, int terminator) {
  return ReadInput(port, buffer, count, terminator & 0xFF);
}

// Bytes already pending go first, then the line is read until `count`
// bytes, the terminator (consumed, not stored; -1: none) or the time-out.
int TermiosSerial::ReadInput(int port, char* buffer, std::size_t count, int terminator) {
  Port* open = Find(port);
  if (open == nullptr) return NotOpen(port);
  const auto [wanted, deadline] = StartTransfer(count, open->timeout);
  std::size_t got = 0;
  while (got < wanted) {
    if (const std::size_t take = std::min(wanted - got, open->Pending()); take > 0) {
      const char* from = open->pending.data() + open->head;
      const void* stop = terminator < 0 ? nullptr : std::memchr(from, terminator, take);
      if (stop != nullptr) {
        const auto before = static_cast<std::size_t>(static_cast<const char*>(stop) - from);
        std::memcpy(buffer + got, from, before);
        open->head += before + 1;
        return static_cast<int>(got + before);
      }
      std::memcpy(buffer + got, from, take);
      open->head += take;
      got += take;
      if (got == wanted) break;
    }
    const int result = Fill(*open, deadline);
    if (result < 0) return result;
    if (result == 0) break;
  }
  return static_cast<int>(got);
}

int TermiosSerial::ComWrt(int port, const char* buffer, std::size_t count) {
  Port* open = Find(port);
  if (open == nullptr) return NotOpen(port);
  const auto [wanted, deadline] = StartTransfer(count, open->timeout);
  std::size_t done = 0;
  while (done < wanted) {
    const ssize_t n = ::write(open->fd, buffer + done, wanted - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return kGeneralIoError;
    const double remaining = deadline - Now();
    if (remaining <= 0.0) return kIoTimeout;
    pollfd pfd{open->fd, POLLOUT, 0};
    const int ready = ::poll(&pfd, 1, PollMilliseconds(remaining));
    if (ready < 0 && errno != EINTR) return kGeneralIoError;
    if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return kGeneralIoError;
  }
  return static_cast<int>(done);
}

int TermiosSerial::GetInQLen(int port) {
  Port* open = Find(port);
  if (open == nullptr) return NotOpen(port);
  int waiting = 0;
  if (::ioctl(open->fd, FIONREAD, &waiting) != 0) return kGeneralIoError;
  const long long total = static_cast<long long>(open->Pending()) + std::max(waiting, 0);
  if (total == 0) {
    pollfd pfd{open->fd, POLLIN, 0};
    if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      return kGeneralIoError;
    }
  }
  return static_cast<int>(std::min<long long>(total, INT_MAX));
}

int TermiosSerial::FlushInQ(int port) {
  Port* open = Find(port);
  if (open == nullptr) return NotOpen(port);
  open->pending.clear();
  open->head = 0;
  if (::ioctl(open->fd, TCFLSH, TCIFLUSH) != 0) return kGeneralIoError;
  return 0;
}

int TermiosSerial::FlushOutQ(int port) {
  Port* open = Find(port);
  if (open == nullptr) return NotOpen(port);
  if (::ioctl(open->fd, TCFLSH, TCOFLUSH) != 0) return kGeneralIoError;
  return 0;
}

int TermiosSerial::SetComTime(int port, double seconds) {
  Port* open = Find(port);
  if (open == nullptr) return NotOpen(port);
  if (!(seconds >= 0.0)) return kInvalidParameter;
  open->timeout = seconds;
  return 0;
}

int TermiosSerial::InputHandle(int port) {
  const Port* open = Find(port);
  return open == nullptr ? -1 : open->fd;
}

}  // namespace sondrix::platform
