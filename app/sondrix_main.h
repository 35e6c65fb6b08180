// SPDX-License-Identifier: GPL-3.0-or-later
// The `sondrix` program on its real backends: Qt windows from the resource
// file and the termios serial library. main() calls it; the end-to-end test
// calls it too, with a hook that drives the running program.
#pragma once

#include <functional>

#include "app/app.h"

namespace sondrix {

// Parses the command line, starts Qt and runs the application. `started`
// is called once the main window is up (see AppOptions). Returns the exit
// status.
int SondrixMain(int argc, char** argv, std::function<void(App&)> started = {});

}  // namespace sondrix
