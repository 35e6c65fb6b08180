// SPDX-License-Identifier: GPL-3.0-or-later
// What the subcommands that read an instrument share: the checks of the
// device file and port names before anything is opened, and the failure
// message that says where the port names come from.
#pragma once

#include <signal.h>
#include <string_view>

#include "common/status.h"

namespace sondrix::cli {

// Prints "sondrix-cli COMMAND: WHAT: message" on standard error; for a
// port name that could not be opened why (PortOpenFailureText: the group to
// join, the program holding it, the ports there are ...). Returns the exit
// status 1.
int ReportOnPort(std::string_view command, std::string_view what, Status code);

// The device file must be a regular file, and a port other than COM1 ...
// COM8 a regular file (a raw capture): a pipe or a device there could keep
// the run waiting for ever. False, with a message, otherwise.
bool SourceFilesUsable(std::string_view command, std::string_view device, std::string_view port);

// Stops a run on Ctrl+C, on a polite kill and when its terminal is closed
// (SIGHUP) by counting the signal for the run's loop to see; a file-size
// limit makes writes fail instead of ending the process, so that what was
// written is still saved. The previous actions come back at the end of the
// scope.
class SignalScope {
 public:
  SignalScope();
  ~SignalScope();
  SignalScope(const SignalScope&) = delete;
  SignalScope& operator=(const SignalScope&) = delete;

 private:
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
  struct sigaction oldHup_ {};
  struct sigaction oldXfsz_ {};
};

// Stop signals received since the last SignalScope began.
int StopSignalCount();

}  // namespace sondrix::cli
