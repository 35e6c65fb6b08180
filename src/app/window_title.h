// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's title: the program's name, the meter or data file that
// is open, whether a run is going on, and a leading "*" while the last run
// waits to be saved:
//
//   Sondrix                                      nothing open
//   Sondrix — nerit301.dev (COM1)                a meter on a serial port
//   Sondrix — run1.dat                           a data file
//   Sondrix — nerit301.dev (COM1) — running      during a run
//   *Sondrix — nerit301.dev (COM1)               a run not saved yet
#pragma once

#include <string>
#include <string_view>

namespace sondrix {

class App;

// `source` as the title names it ("" nothing open).
std::string WindowTitle(std::string_view source, bool running, bool unsaved);
// The name of the app's source as the title shows it: the data file's or
// device file's name, for a device also its port's.
std::string TitleSourceName(const App& app);
// Puts the title for the app's state on the main window (a title that did
// not change is not set again).
void ShowWindowTitle(const App& app, bool running = false);

}  // namespace sondrix
