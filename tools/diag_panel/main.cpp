// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-diag-panel --device FILE.dev --port PORT: opens the meter, runs
// its self-test with the diagnostics panel on the Qt backend, asks where the
// report goes, and reports a failure the way the application does.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "common/errors.h"
#include "common/status.h"
#include "common/utils.h"
#include "display/color_scheme.h"
#include "meter/source_factory.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/posix/termios_serial.h"
#include "platform/qt/qt_ui.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "source/source.h"

namespace {

constexpr const char* kUsage =
    "Usage: sondrix-diag-panel --device FILE.dev --port PORT\n\n"
    "Runs the self-test of the meter described by FILE.dev on PORT (COM1 ... COM8,\n"
    "mapped in the [Ports] section of Sondrix.ini, or a raw capture file) with\n"
    "its diagnostics panel, until Stop; then asks where the report goes.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace sondrix;
  if (argc > 0) platform::SetExecutablePath(argv[0]);
  std::string device;
  std::string port;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if ((arg == "--device" || arg == "--port") && i + 1 < argc) {
      (arg == "--device" ? device : port) = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (device.empty() || port.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  platform::qt::QtApplication application(argc, argv);
  platform::qt::QtUi ui;
  const platform::ScopedUi scopedUi(ui);
  // The day scheme, as the program wears it: every trace readable on white.
  ui.SetColorScheme(SchemeLook(platform::ColorScheme::Day));
  platform::TermiosSerial serial;
  const platform::ScopedSerial scopedSerial(serial);
  gStartTime = platform::clock().LocalTime();

  std::unique_ptr<Source> source;
  Status result = NewSource(source, kSourceKindDevice, device, port);
  if (result == status::kOk) result = source->Open();
  if (result != status::kOk) {
    Error_ReportPort(result, port);
    return 1;
  }
  if (source->HasDiagnostics() == 0) {
    Error_Message("This meter offers no self-test: its device file holds no diagnostic limits.");
    source->Close();
    return 1;
  }
  result = source->Diagnostics();
  Error_Report(result);
  source->SaveRaw();
  source->Close();
  return result == status::kOk ? 0 : 1;
}
