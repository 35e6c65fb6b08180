// SPDX-License-Identifier: GPL-3.0-or-later
// The main window between runs of the program: what the settings file
// remembers of it (the live device and port open at exit, the window's
// place and size) and the panel state files ("*.gph") the Display menu
// saves and recalls.
#pragma once

#include <string>
#include <string_view>

#include "app/app.h"
#include "common/status.h"

namespace sondrix {

// Restores the window's place and size from "Sondrix.ini" and reopens the
// live device and port open at the last exit. No device or port remembered
// (-1026, -1027) and a raw capture that is gone (-1002) end quietly; a
// device that fails to open is reported once.
Status ReadStartup(App& app);
// Writes the window's place and size, and the live device and its port
// (empty when the source is not a live device).
Status WriteStartup(App& app);

// Saves every control value of `panel` into a chosen "*.gph" file. 1, or 0
// when cancelled or not written.
int SavePanel(int panel);
// Puts the control values of a chosen "*.gph" file back. 1, or 0.
int RecallPanel(int panel);

}  // namespace sondrix
