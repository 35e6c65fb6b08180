// SPDX-License-Identifier: GPL-3.0-or-later
// The program: the command line, start-up, the main loop and the end. The
// user interface and serial backends are installed by the caller (the
// `sondrix` executable installs Qt and termios; tests install the headless
// ones).
#pragma once

#include <cstdio>
#include <span>

#include "app/app.h"
#include "common/status.h"

namespace sondrix {

// Reads `sondrix [--help] [--version] [FILE.dat]`. Returns -1 to go on, or
// the exit status after printing help, the version or a usage error (on
// `out` and `err`).
int ParseCommandLine(std::span<char* const> args, AppOptions& options, std::FILE* out, std::FILE* err);

// Start-up: the main panel, its menu bar and the display, the port map,
// the error panel, the scratch recording, the window's place and size and
// the source of the last exit (or the data file of the command line).
// -1018 when the resource file cannot be loaded ("Can't open resource
// file." is printed), another failure when the program cannot go on (its
// message was shown).
Status StartApplication(App& app, const AppOptions& options);
// The main loop, until the exit command or the window's close box (a run
// that was not saved is offered for saving first).
void RunMainLoop(App& app);
// Remembers the settings, disposes the display and its source and gives up
// the scratch recording.
void FinishApplication(App& app);

// All of it: the process's exit status (-1 when the resource file cannot be
// loaded, 1 when the program cannot start, 0 otherwise).
int RunApplication(const AppOptions& options);

}  // namespace sondrix
