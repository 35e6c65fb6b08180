// SPDX-License-Identifier: GPL-3.0-or-later
// SIGTERM and SIGHUP (the session ends, `kill`) as a call on Qt's event
// loop. The signal handler only writes the signal's number into a pipe; a
// QSocketNotifier on the pipe's other end calls back from the event loop,
// where the program can end as its exit command does.
//
// The handlers are installed for the lifetime of the object, one object at
// a time, and reset to the default action by the first signal: a second
// signal ends a program that does not end by itself.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace sondrix::platform::qt {

class TerminationSignals {
 public:
  // `onSignal` is called from the event loop with the signal's number. A
  // QCoreApplication must exist.
  explicit TerminationSignals(std::function<void(int signal)> onSignal);
  // Puts the earlier handlers back.
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // False when the pipe or the handlers could not be set up (or another
  // object holds them): the signals then keep their earlier handlers.
  bool watching() const { return watching_; }

 private:
  void Drain();

  std::function<void(int)> onSignal_;
  int readFd_ = -1;
  int writeFd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  bool watching_ = false;
};

}  // namespace sondrix::platform::qt
