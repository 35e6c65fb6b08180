// SPDX-License-Identifier: GPL-3.0-or-later
#include "sondrix_main.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <filesystem>
#include <span>
#include <system_error>
#include <utility>

#include "app/application.h"
#include "common/version.h"
#include "platform/paths.h"
#include "platform/posix/termios_serial.h"
#include "platform/qt/qt_ui.h"
#include "platform/qt/termination_signals.h"
#include "platform/serial.h"
#include "platform/ui.h"

namespace sondrix {

int SondrixMain(int argc, char** argv, std::function<void(App&)> started) {
  if (argc > 0) platform::SetExecutablePath(argv[0]);
  AppOptions options;
  // --help and --version need no display.
  const int parsed = ParseCommandLine(std::span<char* const>(argv, static_cast<std::size_t>(argc)), options,
                                      stdout, stderr);
  if (parsed >= 0) return parsed;
  options.started = std::move(started);
  std::error_code error;
  if (!options.dataFile.empty()) {
    const std::filesystem::path absolute = std::filesystem::absolute(options.dataFile, error);
    if (!error) options.dataFile = absolute.string();
  }

  platform::qt::QtApplication application(argc, argv);
  // The program works in its project directory, as it would on the
  // instrument's computer: what it writes without asking (raw captures)
  // goes there, not wherever the desktop started it.
  std::filesystem::current_path(platform::GetProjectDir(), error);
  QApplication::setApplicationName("Sondrix");
  QApplication::setApplicationVersion(QString::fromUtf8(kSondrixVersion.data(), kSondrixVersion.size()));
  // The desktop entry that describes the program (its name and icon).
  QGuiApplication::setDesktopFileName("sondrix");
  QApplication::setWindowIcon(QIcon(":/sondrix.png"));

  platform::qt::QtUi ui;
  if (!ui.resourceError().empty()) std::fprintf(stderr, "sondrix: %s\n", ui.resourceError().c_str());
  const platform::ScopedUi scopedUi(ui);
  // The session ends or someone sends SIGTERM: the program ends as its exit
  // command does, asking nothing, its settings written and an unsaved run
  // kept for the next start.
  const platform::qt::TerminationSignals termination([&ui](int) { ui.RequestTermination(); });
  platform::TermiosSerial serial;
  const platform::ScopedSerial scopedSerial(serial);
  return RunApplication(options);
}

}  // namespace sondrix
