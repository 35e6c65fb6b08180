// SPDX-License-Identifier: GPL-3.0-or-later
#include "live_source.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "cli_args.h"
#include "common/errors.h"
#include "common/utils.h"

namespace sondrix::cli {
namespace {

volatile std::sig_atomic_t gStopSignals = 0;

extern "C" void OnStopSignal(int) { gStopSignals = gStopSignals + 1; }

}  // namespace

SignalScope::SignalScope() {
  gStopSignals = 0;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &oldInt_);
  sigaction(SIGTERM, &action, &oldTerm_);
  sigaction(SIGHUP, &action, &oldHup_);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, &oldXfsz_);
}

SignalScope::~SignalScope() {
  sigaction(SIGINT, &oldInt_, nullptr);
  sigaction(SIGTERM, &oldTerm_, nullptr);
  sigaction(SIGHUP, &oldHup_, nullptr);
  sigaction(SIGXFSZ, &oldXfsz_, nullptr);
}

int StopSignalCount() { return static_cast<int>(gStopSignals); }

int ReportOnPort(std::string_view command, std::string_view what, Status code) {
  const bool openFailure =
      IsPortName(what) && (code == status::kInvalidPortNumber || code == status::kCannotOpenPort);
  if (!openFailure) return ReportFailure(command, what, code);
  // The serial library tells why the port would not open (and lists the
  // ports there are when it is not there), else the code's message.
  std::string text = PortOpenFailureText(code, what);
  if (text == StatusText(code)) text = std::string(what) + ": " + text;
  std::fprintf(stderr, "sondrix-cli %.*s: %s\n", static_cast<int>(command.size()), command.data(), text.c_str());
  std::fprintf(stderr, "(sondrix-cli ports lists the serial ports and what COM1 ... COM8 read; "
                       "sondrix-cli ports --map COMk DEVICE maps one.)\n");
  return 1;
}

bool SourceFilesUsable(std::string_view command, std::string_view device, std::string_view port) {
  if (!IsRegularFile(device)) {
    ReportOnPort(command, device, status::kCantOpenFile);
    return false;
  }
  // Any port name but COM1 ... COM8 is a raw capture: a file.
  if (!IsPortName(port) && !IsRegularFile(port)) {
    std::error_code error;
    if (std::filesystem::exists(std::string(port), error))
      std::fprintf(stderr,
                   "sondrix-cli %.*s: %.*s is not a regular file; a port other than COM1 ... COM8 "
                   "is a raw capture file\n",
                   static_cast<int>(command.size()), command.data(), static_cast<int>(port.size()),
                   port.data());
    else
      ReportOnPort(command, port, status::kCantOpenFile);
    return false;
  }
  return true;
}

}  // namespace sondrix::cli
