// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include <string>
#include <string_view>
#include <vector>

#include "app/acquire.h"
#include "app/layout.h"
#include "app/main_window.h"
#include "app/menu.h"
#include "app/recording.h"
#include "app/window_title.h"
#include "common/settings.h"
#include "common/errors.h"
#include "common/log.h"
#include "common/panels.h"
#include "common/version.h"
#include "datafile/data_file.h"
#include "display/graph_kinds.h"
#include "io/hw_port.h"
#include "meter/source_factory.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "source/rudud.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::EventType;
using platform::UserEvent;

// Serial ports the port map probes at start.
constexpr int kPortCount = 8;

constexpr std::string_view kUsage =
    "Usage: sondrix [--help] [--version] [--log-level LEVEL] [FILE.dat]\n\n"
    "Acquisition, display and recording for in-water optical absorption and\n"
    "attenuation meters. FILE.dat, a data file, is opened for replay at start;\n"
    "otherwise the live device and port open at the last exit are opened again.\n\n"
    "Settings live in Sondrix.ini of the project directory: $SONDRIX_HOME when\n"
    "set, else ~/.local/share/sondrix for an installed program (which puts\n"
    "copies of its examples there at its first start), else the program's\n"
    "directory when writable, else ~/.local/share/sondrix. Its [Ports] section\n"
    "maps COM1 ... COM8 to serial devices (COM1=/dev/ttyUSB0).\n\n"
    "The log is kept in sondrix.log of the project directory (with up to\n"
    "three older files, sondrix.log.1 ...). It holds warnings and errors\n"
    "unless LogLevel in [General] of Sondrix.ini or --log-level asks for more.\n\n"
    "  --help               this text\n"
    "  --version            the program's name and version\n"
    "  --log-level LEVEL    error, warn, info, debug, trace (each rejected\n"
    "                       packet) or off; -v, -vv, -vvv: info, debug, trace\n";

// The log file in the project directory.
constexpr std::string_view kLogFileName = "sondrix.log";

// The main loop's enabling rules, applied before each event. The start/stop
// button is only set up again when its state changes.
void UpdateControls(App& app) {
  Display& display = app.display();
  Source* source = app.source();
  const int buttonState = source == nullptr ? 1 : 2;
  if (buttonState != app.buttonState) {
    if (source == nullptr) {
      display.DisableStopButton();
    } else {
      display.HideStopButton();
    }
    app.buttonState = buttonState;
    // The keyboard focus is parked on the frame when the state changes (at
    // start, after a run, when a source was opened or closed), so that no
    // button is pressed by an accidental key; in between, Tab moves it on
    // to any control, and the loop leaves it there.
    platform::ui().SetActiveCtrl(app.mainPanel, p::kMainFocus);
  }
  const bool open = source != nullptr;
  for (const int item : {p::kMenuConfigDisplay, p::kMenuGraphSettings, p::kMenuConfigAcquisition})
    Menu_Enable(app, item, open);
  // Events are marked during a run only.
  Menu_Enable(app, p::kMenuMarkEvent, false);
  // Save data: a run whose recording still waits to be saved.
  Menu_Enable(app, p::kMenuSaveData, open && display.sampleCount() >= 1 && app.unsavedRun);
  for (const GraphKind& kind : GraphKinds()) {
    if (open && kind.needsDepth) Menu_Enable(app, kind.menuItem, source->HasDepth() != 0);
  }
  if (app.diagnosticsItem > 0) Menu_Enable(app, app.diagnosticsItem, open && source->HasDiagnostics() != 0);
  display.UpdateFollowControls();
  ShowWindowTitle(app);
}

void HandleMainControl(App& app, int control) {
  if (control >= p::kMainLabel0 && control < p::kMainLabel0 + kLabelSlots) {
    PressTraceButton(app, control);
    return;
  }
  switch (control) {
    case p::kMainAutoStart:
      if (Rudud_IsDefined() == 0) return;
      if (app.source() == nullptr && OpenRudud(app) != status::kOk) return;
      Acquire_Run(app);
      return;
    case p::kMainStartStop:
      if (app.source() == nullptr) {
        PromptOpenSource(app, kSourceKindDevice);
      } else {
        Acquire_Run(app);
      }
      return;
    case p::kMainDiagnostics:
      if (app.diagnosticsItem <= 0) {
        const int item = platform::ui().InsertMenuItem(app.menuBar, p::kMenuFile, p::kMenuFileSep2,
                                                       "Diagnostics...", "");
        if (item > 0) app.diagnosticsItem = item;
      }
      return;
    default:
      Main_HandleEvent(app, control);
      return;
  }
}

void HandleMenu(App& app, int item) {
  if (app.diagnosticsItem > 0 && item == app.diagnosticsItem) {
    if (app.source() != nullptr) Error_Report(app.source()->Diagnostics());
    return;
  }
  Menu_HandleEvent(app, item);
}

// The log goes to its file in the project directory, which this instance
// now holds, at the level of the command line, else of the "LogLevel"
// setting, else warnings and errors only.
void StartLog(const AppOptions& options) {
  LogLevel level = logging::kDefaultLevel;
  const std::string setting = settings::Get(settings::kGeneral, settings::kLogLevel);
  const bool known = setting.empty() || logging::ParseLevel(setting, level);
  if (!known) level = logging::kDefaultLevel;
  if (options.logLevel) level = *options.logLevel;
  logging::SetThreshold(level);
  logging::ToFile(platform::JoinPath(platform::GetProjectDir(), kLogFileName));
  if (!known)
    SONDRIX_LOG(Warn, "Sondrix.ini: LogLevel=%s is no log level (error, warn, info, debug, trace or off)",
                setting.c_str());
  SONDRIX_LOG(Info, "%.*s starts in %s; log level %.*s", static_cast<int>(kDataFileTitle.size()),
              kDataFileTitle.data(), platform::GetProjectDir().c_str(),
              static_cast<int>(logging::LevelName(level).size()), logging::LevelName(level).data());
}

}  // namespace

int ParseCommandLine(std::span<char* const> given, AppOptions& options, std::FILE* out, std::FILE* err) {
  std::vector<char*> args(given.begin(), given.end());
  LogLevel level = logging::kDefaultLevel;
  std::string logError;
  const std::size_t words = args.size();
  if (!logging::TakeLogOptions(args, level, logError)) {
    std::fprintf(err, "sondrix: %s\n\n", logError.c_str());
    std::fputs(kUsage.data(), err);
    return 2;
  }
  if (args.size() != words) options.logLevel = level;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string_view arg = args[i] != nullptr ? args[i] : "";
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage.data(), out);
      return 0;
    }
    if (arg == "--version") {
      std::fprintf(out, "sondrix %.*s\n", static_cast<int>(kSondrixVersion.size()), kSondrixVersion.data());
      return 0;
    }
    if (arg.starts_with("-") || !options.dataFile.empty() || arg.empty()) {
      std::fprintf(err, "sondrix: unexpected argument \"%.*s\"\n\n", static_cast<int>(arg.size()), arg.data());
      std::fputs(kUsage.data(), err);
      return 2;
    }
    options.dataFile = std::string(arg);
  }
  return -1;
}

Status StartApplication(App& app, const AppOptions& options) {
  if (Menu_Init(app) != status::kOk) {
    std::printf("Can't open resource file.\n");
    std::fflush(stdout);
    return status::kPanelLoadFailed;
  }
  // The palette of the last session, before the first message comes up.
  ShowNightPalette(app, settings::NightPaletteOn());
  Menu_CheckItem(app, p::kMenuReconnect, settings::ReconnectOn());
  // A second instance in this project directory stops here, before its
  // window comes up.
  if (!ClaimScratchRecording(app)) {
    platform::ui().DiscardPanel(app.mainPanel);
    return status::kPortInUse;
  }
  StartLog(options);
  const Status made = app.MakeDisplay();
  if (made != status::kOk) {
    Error_Report(made);
    return made;
  }
  HWPort_Init(kPortCount);
  Error_Init();

  Menu_Enable(app, p::kMenuEditConfig, true);
  for (const int item : {p::kMenuSaveData, p::kMenuConfigDisplay, p::kMenuGraphSettings, p::kMenuConfigAcquisition,
                         p::kMenuMarkEvent})
    Menu_Enable(app, item, false);
  app.layout = RecordMainLayout(app.mainPanel);
  LimitPanelSize(app.mainPanel, app.layout);

  ReadStartup(app);
  if (!options.dataFile.empty()) OpenNamedSource(app, kSourceKindFile, options.dataFile, "");
  UpdateControls(app);
  if (options.started) options.started(app);
  return status::kOk;
}

void RunMainLoop(App& app) {
  platform::Ui& ui = platform::ui();
  while (!app.quit) {
    UpdateControls(app);
    // Nothing to do until the user does something: the loop sleeps, with a
    // live instrument open until the clock's next second, which its date
    // and time read-outs show.
    const bool live = app.source() != nullptr && app.source()->GetReplayFraction() < 0.0;
    const double tick = 1.0 - static_cast<double>(platform::UtcMs() % 1000) / 1000.0 + 0.005;
    const UserEvent event = ui.WaitUserEvent(live ? tick : -1.0, {});
    if (live && event.type == EventType::None) app.display().Tick(false);
    FitWindow(app);
    if (event.type == EventType::Menu && event.panel == app.menuBar) {
      HandleMenu(app, event.control);
    } else if (event.type == EventType::Close && event.panel == app.mainPanel) {
      // The window's close box is the exit command.
      app.quit = true;
    } else if (event.type == EventType::Terminate) {
      app.quit = true;
      app.terminating = true;
    } else if (event.type == EventType::Commit && event.panel == app.mainPanel) {
      HandleMainControl(app, event.control);
    }
    if (app.quit && !app.terminating &&
        !OfferUnsavedRun(app, "The last run was recorded but not saved.  Save it before Sondrix ends?"))
      app.quit = false;
  }
}

void FinishApplication(App& app) {
  if (app.hasDisplay()) {
    WriteStartup(app);
    app.DisposeDisplay();
  }
  SONDRIX_LOG(Info, "Sondrix ends");
  logging::ToFile("");
  ReleaseScratchRecording(app);
}

int RunApplication(const AppOptions& options) {
  App app;
  const Status started = StartApplication(app, options);
  if (started == status::kPanelLoadFailed) return -1;
  if (started != status::kOk) return started == status::kPortInUse ? 1 : 0;
  RunMainLoop(app);
  FinishApplication(app);
  return 0;
}

}  // namespace sondrix
