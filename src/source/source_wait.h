// Waiting on a source without spinning. The loops that read a source while
// the user may act (a run, a self-test panel) look at the user interface,
// then at the source; while the source has nothing they sleep until the user
// does something, the source's serial line brings bytes, or a short time has
// passed.
#pragma once

#include <vector>

#include "platform/ui.h"
#include "source/source.h"

namespace sondrix {

class RS232Port;

// The serial port a live source reads (a numbered COM port), or null for a
// capture, a data file or a source without a port.
const RS232Port* SerialPortOf(Source& source);

// The file descriptors to watch for the source's next bytes: its serial
// line's, or none.
std::vector<int> SourceInputs(Source& source);

class SourceWait {
 public:
  explicit SourceWait(Source& source);

  // The next user event: looked at without waiting after the source gave
  // something, else after the sleep that Idle chose.
  platform::UserEvent NextEvent(platform::Ui& ui);
  // The source had nothing: the next look sleeps, on the serial line for up
  // to kLineWait, or for kShortWait when the line has just woken it without
  // a whole packet (or there is no line to watch), so that the packet's rest
  // is not waited for in a busy loop.
  void Idle();
  // The source gave something: the next look does not wait.
  void Ready();

  static constexpr double kLineWait = 0.25;
  static constexpr double kShortWait = 0.01;

 private:
  std::vector<int> inputs_;
  double wait_ = 0.0;
  bool watchLine_ = false;
};

}  // namespace sondrix
