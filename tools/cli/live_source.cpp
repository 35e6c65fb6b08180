#include "live_source.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "cli_args.h"
#include "common/settings.h"
#include "common/utils.h"
#include "platform/posix/termios_serial.h"

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
  ReportFailure(command, what, code);
  // The message speaks of the instrument's original platform; say where the
  // port names come from here.
  if (IsPortName(what) &&
      (code == status::kInvalidPortNumber || code == status::kCannotOpenPort)) {
    std::fprintf(stderr, "Serial ports of this system (COMk is the k-th):\n");
    const auto ports = platform::ListSerialPorts();
    if (ports.empty()) std::fprintf(stderr, "  none\n");
    for (std::size_t k = 0; k < ports.size(); ++k)
      std::fprintf(stderr, "  COM%zu  %s  %s\n", k + 1, ports[k].device.c_str(),
                   ports[k].description.c_str());
    std::fprintf(stderr, "A [Ports] section in %s maps any of COM1 ... COM8 to a device,\n"
                         "e.g. COM1=/dev/ttyUSB0 or a pseudo-terminal.\n",
                 settings::SettingsPath().c_str());
  }
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
