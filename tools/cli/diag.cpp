// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli diag: the instrument self-test without windows. The meter is
// opened and tested exactly as the diagnostics panel tests it, over a number
// of good samples instead of until the operator presses Stop, and the report
// is written where the command line says: the same report, byte for byte.
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli_args.h"
#include "commands.h"
#include "common/status.h"
#include "common/utils.h"
#include "datafile/data_file.h"
#include "diag/self_test.h"
#include "live_source.h"
#include "meter/source_factory.h"
#include "platform/clock.h"
#include "source/source.h"

namespace sondrix::cli {
namespace {

constexpr std::string_view kCommand = "diag";
constexpr long kDefaultSamples = 30;

constexpr const char* kUsage = R"(Usage: sondrix-cli diag --device FILE.dev --port PORT --report FILE.rpt
                        [--samples N]

Runs the instrument's self-test and writes its report, as the
"Diagnostics..." window does: the meter is reset, N good samples are read
(lost samples are passed over) and tested against the limits in the
device file, and the report is written to FILE.rpt (an existing file is
replaced). PORT is COM1 ... COM8 or a raw capture file. The nine-wavelength
and the hyperspectral meters have a self-test; the hyperspectral one also
tests the nonconformity of its A and C spectra. The test also ends after
2 s (hyperspectral meter: 3 s) without a good sample, at the end of a
capture, on a read error, and on Ctrl+C (or a closed terminal); the
report then covers the samples taken (or says that no data arrived). A
serial number that differs from the device file's is tested all the same;
the report names the instrument's.
)";

constexpr const char* kFooter = R"(Exit status 0 when the report was written, whatever it says (a test that
ended early is noted on standard error), 1 when it was not (with the
reason), 2 for wrong usage.
)";

struct Options {
  std::string device;
  std::string port;
  std::string report;
  long samples = kDefaultSamples;
};

// Nothing to go on; else the exit status.
std::optional<int> ParseOptions(std::span<char*> args, Options& options) {
  CLI::App app(kUsage, "sondrix-cli diag");
  tools::SetUp(app, kFooter);
  app.add_option("--device", options.device, "the instrument's device configuration file, with its self-test limits")
      ->type_name("FILE.dev");
  app.add_option("--port", options.port, "COM1 ... COM8 or a raw capture file")->type_name("PORT");
  app.add_option("--report", options.report, "where the report goes")->type_name("FILE.rpt");
  AddCount(app, "--samples", options.samples, kMaxBinsize,
           "good samples to test, at most 1000000 (the statistics cover the last 30)");
  if (const std::optional<int> status = ParseCommand(app, args)) return status;
  if (options.device.empty() || options.port.empty() || options.report.empty())
    return WrongUsage(app, "--device, --port and --report are needed");
  return std::nullopt;
}

}  // namespace

int RunDiag(std::span<char*> args) {
  Options options;
  if (const std::optional<int> status = ParseOptions(args, options)) return *status;

  // Asked before the test: a report goes only to a regular file or a new
  // name, never to a device, a pipe or a folder.
  if (!DataFile_IsSaveTarget(options.report)) {
    std::fprintf(stderr, "sondrix-cli diag: %s is not a regular file; a report is written only to a regular file "
                         "or under a new name\n",
                 options.report.c_str());
    return 1;
  }
  if (!SourceFilesUsable(kCommand, options.device, options.port)) return 1;

  // The run starts now: its time stamps a raw capture's name.
  gStartTime = platform::clock().LocalTime();
  std::unique_ptr<Source> source;
  Status result = NewSource(source, kSourceKindDevice, options.device, options.port);
  if (result != status::kOk) return ReportFailure(kCommand, options.device, result);
  result = source->Open();
  if (result != status::kOk) return ReportOnPort(kCommand, options.port, result);
  if (!OffersSelfTest(*source)) {
    source->Close();
    std::fprintf(stderr,
                 "sondrix-cli diag: %s: this instrument has no self-test here (the nine-wavelength and "
                 "the hyperspectral meters have one when their device file holds diagnostic limits)\n",
                 options.device.c_str());
    return 1;
  }

  Status test = status::kOk;
  long good = 0;
  bool stopped = false;
  {
    const SignalScope signals;
    result = RunSelfTest(*source, options.samples, options.report, test, good,
                         [] { return StopSignalCount() > 0; });
    stopped = StopSignalCount() > 0;
  }
  source->SaveRaw();
  source->Close();
  if (result != status::kOk) {
    // A test that could not start wrote nothing; its code says why.
    return good == 0 && test == result ? ReportOnPort(kCommand, options.port, result)
                                       : ReportFailure(kCommand, options.report, result);
  }
  if (stopped && test == status::kOk)
    std::fprintf(stderr, "sondrix-cli diag: the self-test was stopped after %ld good samples\n", good);
  if (test != status::kOk)
    std::fprintf(stderr, "sondrix-cli diag: the self-test ended after %ld good samples: %s\n", good,
                 StatusText(test).c_str());
  std::printf("report of %ld good samples written to %s\n", good, options.report.c_str());
  return 0;
}

}  // namespace sondrix::cli
