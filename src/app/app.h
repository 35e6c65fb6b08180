// SPDX-License-Identifier: GPL-3.0-or-later
// The application's state between commands: the main window and its menu
// bar, the session (which owns the attached source, its scratch recording
// and the run going on) and the display that shows it, what kind of source is
// open, the trace button last pressed, the window's layout, the lock on the
// recording file of this project directory, and whether the last run still
// waits to be saved.
//
// One App exists while the program runs (RunApplication makes it); tests make
// their own on the headless user interface.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/layout.h"
#include "common/log.h"
#include "common/panels.h"
#include "common/status.h"
#include "datafile/scratch_recording.h"
#include "display/display.h"
#include "source/source.h"

namespace sondrix {

class App;

// sourceKind when nothing was opened (otherwise kSourceKindFile or
// kSourceKindDevice of meter/source_factory.h).
inline constexpr int kNoSourceKind = 0;

// What the command line asks for.
struct AppOptions {
  // A data file to open for replay at start ("" none).
  std::string dataFile;
  // The log level of the command line (--log-level, -v ...), which wins over
  // the "LogLevel" setting; none when not given.
  std::optional<LogLevel> logLevel;
  // Called once the main window is up and the start-up source is open,
  // before the main loop (tests drive the program from here).
  std::function<void(App&)> started;
};

class App {
 public:
  App() = default;
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  Session& session() { return session_; }
  Display& display() { return *display_; }
  bool hasDisplay() const { return display_ != nullptr; }
  // The attached source (null when none).
  Source* source() const { return session_.source(); }
  // The run going on (null between runs).
  Acquisition* run() const { return session_.run(); }
  // Makes the display of the session on the loaded main panel.
  Status MakeDisplay();
  // Disposes the display and closes the attached source.
  void DisposeDisplay() {
    display_.reset();
    session_.Detach();
  }

  // The scratch recording of the project directory ("Sondrix.tmp").
  static std::string ScratchPath();

  int mainPanel = 0;
  int menuBar = 0;
  int sourceKind = kNoSourceKind;
  // The UTC of the first sample of the capture or data file opened for
  // replay, when it has no companion with its times and the user gave one
  // (the Capture Time dialog, asked as it was opened); empty otherwise.
  std::optional<std::int64_t> replayStartUtc;
  // The trace button shown pressed (a label toggle, or the all-traces
  // button).
  int prevChannel = panels::kMainLabel0;
  // The "Diagnostics..." menu item once added (0 before).
  int diagnosticsItem = 0;
  // Set by the exit command and by the window's close box.
  bool quit = false;
  // The program was told to end (the session ends, SIGTERM, SIGHUP): it
  // ends as the exit command does, but asks nothing; a run not saved stays
  // in the scratch recording and is offered at the next start, as after a
  // crash.
  bool terminating = false;
  MainLayout layout;
  ScratchLock scratchLock;
  // The last run recorded lines that were not saved yet; they wait in the
  // scratch recording.
  bool unsavedRun = false;
  // The data file the last run was saved as (empty before): what File >
  // Export Data offers first.
  std::string lastSavedRecording;
  // The start/stop button state last put up by the main loop (0 none yet,
  // 1 no source, 2 idle with a source).
  int buttonState = 0;

 private:
  // The session outlives its view.
  Session session_;
  std::unique_ptr<Display> display_;
};

}  // namespace sondrix
