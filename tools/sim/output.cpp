// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/output.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace sondrix::sim {

volatile std::sig_atomic_t gStopRequested = 0;

namespace {

extern "C" void OnStopSignal(int) { gStopRequested = 1; }

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// How long one wait for the reader lasts before the stop flag is looked at
// again, milliseconds.
constexpr int kPollSlice = 100;

}  // namespace

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked write or sleep returns EINTR
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

double Output::Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void Output::NowWithUtc(double& monotonic, std::int64_t& utcMicroseconds) {
  // The closest of a few tries: a reading that was interrupted spans more.
  double best = 1.0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const double before = Now();
    timespec utc{};
    clock_gettime(CLOCK_REALTIME, &utc);
    const double after = Now();
    if (after - before < best) {
      best = after - before;
      monotonic = (before + after) / 2.0;
      utcMicroseconds = static_cast<std::int64_t>(utc.tv_sec) * 1'000'000 + utc.tv_nsec / 1000;
    }
  }
}

Output::Output(int fd, bool owned, bool pty) : fd_(fd), owned_(owned), pty_(pty) {}

Output::~Output() {
  if (owned_ && fd_ >= 0) close(fd_);
  if (slaveFd_ >= 0) close(slaveFd_);
}

std::unique_ptr<Output> Output::OpenFile(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = ErrnoText(("cannot create " + path).c_str());
    return nullptr;
  }
  return std::unique_ptr<Output>(new Output(fd, true, false));
}

std::unique_ptr<Output> Output::OpenStdout() {
  return std::unique_ptr<Output>(new Output(STDOUT_FILENO, false, false));
}

std::unique_ptr<Output> Output::OpenPty(std::string& error) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    error = ErrnoText("posix_openpt");
    return nullptr;
  }
  std::unique_ptr<Output> out(new Output(master, true, true));
  char name[128] = {};
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    error = ErrnoText("pseudo-terminal set-up");
    return nullptr;
  }
  out->slavePath_ = name;
  out->slaveFd_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (out->slaveFd_ < 0) {
    error = ErrnoText(("cannot open " + out->slavePath_).c_str());
    return nullptr;
  }
  termios raw{};
  if (tcgetattr(out->slaveFd_, &raw) != 0) {
    error = ErrnoText("tcgetattr");
    return nullptr;
  }
  cfmakeraw(&raw);
  raw.c_cflag |= CLOCAL | CREAD;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(out->slaveFd_, TCSANOW, &raw) != 0) {
    error = ErrnoText("tcsetattr");
    return nullptr;
  }
  // The master never blocks: a full terminal shows as EAGAIN and the writer
  // waits for room with poll, watching the stop flag.
  const int flags = fcntl(master, F_GETFL);
  if (flags < 0 || fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) {
    error = ErrnoText("fcntl");
    return nullptr;
  }
  return out;
}

std::unique_ptr<Output> Output::OpenUdp(const std::string& host, int port, std::string& error) {
  in_addr address{};
  if (::inet_pton(AF_INET, host.c_str(), &address) != 1) {
    error = "not an IPv4 address: '" + host + "'";
    return nullptr;
  }
  if (port < 1 || port > 65535) {
    error = "a UDP port is 1 ... 65535, not " + std::to_string(port);
    return nullptr;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    error = ErrnoText("no UDP socket");
    return nullptr;
  }
  // A receiver on a ship's network broadcasts its sentences.
  const int yes = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes) != 0) {
    error = ErrnoText("SO_BROADCAST");
    close(fd);
    return nullptr;
  }
  std::unique_ptr<Output> out(new Output(fd, true, false));
  out->datagram_ = true;
  out->udpAddress_ = address.s_addr;
  out->udpPort_ = htons(static_cast<std::uint16_t>(port));
  return out;
}

bool PointLink(const std::string& link, const std::string& target) {
  const std::string fresh = link + ".new";
  ::unlink(fresh.c_str());
  if (::symlink(target.c_str(), fresh.c_str()) != 0) return false;
  if (::rename(fresh.c_str(), link.c_str()) != 0) {
    const int saved = errno;
    ::unlink(fresh.c_str());
    errno = saved;
    return false;
  }
  return true;
}

Output::Result Output::SendDatagram(const std::uint8_t* bytes, std::size_t count) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = udpAddress_;
  to.sin_port = udpPort_;
  for (;;) {
    if (gStopRequested) return Result::kStopped;
    const ssize_t done = sendto(fd_, bytes, count, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (done == static_cast<ssize_t>(count)) return Result::kWritten;
    if (done < 0 && errno == EINTR) continue;
    // Nobody listening (an unreachable port reported for an earlier
    // datagram) is what UDP allows: the datagram is gone, as it would be.
    if (done < 0 && errno == ECONNREFUSED) return Result::kWritten;
    if (done < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)) {
      pollfd wait{fd_, POLLOUT, 0};
      poll(&wait, 1, kPollSlice);
      continue;
    }
    error_ = done < 0 ? ErrnoText("sendto") : std::string("sendto: datagram cut short");
    return Result::kFailed;
  }
}

void Output::ReadInput() {
  if (!pty_) return;
  std::uint8_t bytes[256];
  for (;;) {
    const ssize_t got = read(fd_, bytes, sizeof bytes);
    if (got <= 0) return;
    if (onInput_) onInput_(std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(got)));
  }
}

void Output::SetInputHandler(std::function<void(std::span<const std::uint8_t>)> handler) {
  onInput_ = std::move(handler);
}

void Output::PollInput() { ReadInput(); }

long Output::LineBaud() const { return pty_ ? TerminalBaud(slaveFd_) : 0; }

Output::Result Output::Write(const std::uint8_t* bytes, std::size_t count) {
  if (datagram_) return SendDatagram(bytes, count);
  while (count > 0) {
    if (gStopRequested) return Result::kStopped;
    const ssize_t done = write(fd_, bytes, count);
    if (done > 0) {
      bytes += done;
      count -= static_cast<std::size_t>(done);
      continue;
    }
    if (done < 0 && errno == EINTR) continue;
    if (done < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The reader is slow: wait for room, taking in what it wrote to us.
      pollfd wait{fd_, static_cast<short>(POLLOUT | (pty_ ? POLLIN : 0)), 0};
      const int ready = poll(&wait, 1, kPollSlice);
      if (ready > 0 && (wait.revents & POLLIN) != 0) ReadInput();
      continue;
    }
    if (done < 0 && errno == EPIPE) return Result::kClosed;
    error_ = done < 0 ? ErrnoText("write") : std::string("write: nothing written");
    return Result::kFailed;
  }
  return Result::kWritten;
}

Output::Result Output::Offer(const std::uint8_t* bytes, std::size_t count, std::size_t keep,
                             std::size_t& taken) {
  taken = 0;
  if (!pty_) {
    const Result result = Write(bytes, count);
    if (result == Result::kWritten) taken = count;
    return result;
  }
  int waiting = 0;
  if (ioctl(slaveFd_, FIONREAD, &waiting) != 0 || waiting < 0) waiting = 0;
  const std::size_t unread = static_cast<std::size_t>(waiting);
  const std::size_t room = keep > unread ? keep - unread : 0;
  const std::size_t fits = std::min(count, room);
  while (taken < fits) {
    const ssize_t done = write(fd_, bytes + taken, fits - taken);
    if (done > 0) {
      taken += static_cast<std::size_t>(done);
      continue;
    }
    if (done < 0 && errno == EINTR) continue;
    if (done < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;  // the terminal is full: lost
    error_ = done < 0 ? ErrnoText("write") : std::string("write: nothing written");
    return Result::kFailed;
  }
  return Result::kWritten;
}

bool Output::WaitUntil(double deadline) {
  for (;;) {
    if (gStopRequested) return false;
    const double left = deadline - Now();
    if (left <= 0.0) return true;
    // To the microsecond: a paced line wakes every few milliseconds.
    const double slice = std::min(left, kPollSlice / 1000.0);
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(slice);
    timeout.tv_nsec = static_cast<long>((slice - static_cast<double>(timeout.tv_sec)) * 1e9) + 1000;
    if (timeout.tv_nsec >= 1'000'000'000L) {
      timeout.tv_sec += 1;
      timeout.tv_nsec -= 1'000'000'000L;
    }
    if (pty_) {
      pollfd wait{fd_, POLLIN, 0};
      if (ppoll(&wait, 1, &timeout, nullptr) > 0 && (wait.revents & POLLIN) != 0) ReadInput();
    } else {
      ppoll(nullptr, 0, &timeout, nullptr);
    }
  }
}

long Output::DiscardUnread(long keep) {
  int waiting = 0;
  if (!pty_ || ioctl(slaveFd_, FIONREAD, &waiting) != 0 || waiting <= keep) return 0;
  return tcflush(slaveFd_, TCIFLUSH) == 0 ? waiting : 0;
}

bool Output::Drain(double seconds) {
  if (!pty_) return true;  // files and pipes hold what was written
  const double deadline = Now() + seconds;
  int quiet = 0;
  while (!gStopRequested) {
    int waiting = 0;
    if (ioctl(slaveFd_, FIONREAD, &waiting) != 0) return false;
    // Two looks in a row with nothing waiting: the bytes still in the
    // terminal's transfer buffers have reached the reader too.
    quiet = waiting == 0 ? quiet + 1 : 0;
    if (quiet >= 2) return true;
    if (Now() >= deadline) return false;
    if (!WaitUntil(std::min(deadline, Now() + 0.05))) return false;
  }
  return false;
}

}  // namespace sondrix::sim
