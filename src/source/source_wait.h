// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting on a source without spinning. The loops that read a source while
// the user may act (a run, a self-test panel) look at the user interface,
// then at the source; while the source has nothing they sleep until the user
// does something, the source's serial line brings bytes, or a short time has
// passed.
#pragma once

#include <functional>
#include <vector>

#include "platform/ui.h"
#include "source/source.h"

namespace sondrix {

class DPort;
class RS232Port;

// The serial port a live source reads (a numbered COM port), or null for a
// capture, a data file or a source without a port.
const RS232Port* SerialPortOf(Source& source);

// The file descriptors to watch for the source's next bytes: its serial
// line's, or none.
std::vector<int> SourceInputs(Source& source);

// The file descriptors to watch for a port's next bytes: its serial
// line's (a numbered COM port), or none.
std::vector<int> PortInputs(DPort& port);

class SourceWait {
 public:
  // A source that replays a stored file (GetReplayFraction() >= 0) has all
  // its lines there: it is never waited for.
  explicit SourceWait(Source& source);
  // A device read through these descriptors (none: a short sleep).
  explicit SourceWait(std::vector<int> inputs);

  // The next user event: looked at without waiting after the source gave
  // something, else after the sleep that Idle chose.
  platform::UserEvent NextEvent(platform::Ui& ui);
  // The sleep that Idle chose, without a user interface to look at.
  void Pause();
  // The source had nothing: the next look sleeps, on the serial line for up
  // to kLineWait, or for kShortWait when the line has just woken it without
  // a whole packet (or there is no line to watch), so that the packet's rest
  // is not waited for in a busy loop. A replay's next look does not sleep
  // (a stored file paces its lines only to let the user in between), unless
  // it has had nothing kReplayLooks times in a row: a replay that stalls
  // sleeps as a live source does rather than keep a core busy.
  void Idle();
  // The source gave something: the next look does not wait.
  void Ready();
  // The next look sleeps `seconds` without watching the line (a line that
  // went away has nothing to watch).
  void Sleep(double seconds);
  // The next look sleeps at most `seconds` (something is due then).
  void Cap(double seconds);
  // Watches these descriptors from now on (a line opened again has new
  // ones; none while it is away).
  void Watch(std::vector<int> inputs);

  static constexpr double kLineWait = 0.25;
  static constexpr double kShortWait = 0.01;
  static constexpr int kReplayLooks = 100;

  bool replay() const { return replay_; }

 private:
  std::vector<int> inputs_;
  double wait_ = 0.0;
  bool watchLine_ = false;
  bool replay_ = false;
  int emptyLooks_ = 0;
};

// Whom a loop that reads a source looks at between reads: the window's
// user, a terminal's stop signals, a test's script.
class RunUser {
 public:
  virtual ~RunUser() = default;
  // One look, after the wait `pace` chose; true when the user asks the loop
  // to stop.
  virtual bool Look(SourceWait& pace) = 0;
  // After a stop, while the loop takes in what had already arrived: true
  // when the user asks again (a second Ctrl+C), which ends that at once.
  virtual bool Insists() { return false; }
};

// A user without windows, who stops a loop by signals: `stops()` tells how
// many stops were asked so far (Ctrl+C, a polite kill, a closed terminal).
class PollingUser final : public RunUser {
 public:
  explicit PollingUser(std::function<int()> stops) : stops_(std::move(stops)) {}
  bool Look(SourceWait& pace) override;
  bool Insists() override { return stops_() > 1; }

 private:
  std::function<int()> stops_;
};

}  // namespace sondrix
