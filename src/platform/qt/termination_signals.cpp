// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <utility>

namespace sondrix::platform::qt {
namespace {

constexpr std::array<int, 2> kSignals = {SIGTERM, SIGHUP};

// The pipe's write end for the handler (-1 when no object watches).
std::atomic<int> gWriteFd{-1};
std::array<struct sigaction, kSignals.size()> gPrevious{};

extern "C" void OnTerminationSignal(int signal) {
  const int savedErrno = errno;
  const int fd = gWriteFd.load();
  if (fd >= 0) {
    const auto byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a wake-up: nothing is lost.
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
  if (gWriteFd.load() >= 0) return;
  std::array<int, 2> fds{};
  if (::pipe2(fds.data(), O_CLOEXEC | O_NONBLOCK) != 0) return;
  readFd_ = fds[0];
  writeFd_ = fds[1];
  gWriteFd.store(writeFd_);
  notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Drain(); });

  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted system calls go on; the first signal puts the default
  // action back, so a second one ends the program at once.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  watching_ = true;
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    if (::sigaction(kSignals[i], &action, &gPrevious[i]) != 0) watching_ = false;
  }
}

TerminationSignals::~TerminationSignals() {
  if (readFd_ < 0) return;
  for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &gPrevious[i], nullptr);
  gWriteFd.store(-1);
  notifier_.reset();
  ::close(readFd_);
  ::close(writeFd_);
}

void TerminationSignals::Drain() {
  unsigned char byte = 0;
  while (::read(readFd_, &byte, 1) == 1) {
    if (onSignal_) onSignal_(byte);
  }
}

}  // namespace sondrix::platform::qt
