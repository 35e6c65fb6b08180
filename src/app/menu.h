// SPDX-License-Identifier: GPL-3.0-or-later
// Commands: the menu bar of the main window and the main panel's controls
// that are not the main loop's own (trace labels during a run, the
// all-traces button, zoom and move).
#pragma once

#include "app/app.h"
#include "common/status.h"

namespace sondrix {

// Loads the main panel with its menu bar from the resource file into
// app.mainPanel and app.menuBar. 1, or -1018 when either cannot be loaded.
Status Menu_Init(App& app);
// Enables or dims one menu item; item -1: every item.
void Menu_Enable(const App& app, int item, bool on);
// Sets or clears an item's check mark.
void Menu_CheckItem(const App& app, int item, bool on);
// Puts the night palette on (or the day one back) and checks the "Night
// Palette" item accordingly; the settings file is not written.
void ShowNightPalette(const App& app, bool on);

// One menu command. The exit command sets app.quit.
void Menu_HandleEvent(App& app, int item);

// During a run: the items that leave the run alone stay available (the
// graphs, Whole Run, the graph's settings, the acquisition dialog's trace
// choice, Exit); the rest are dimmed.
void Menu_EnableForRun(App& app);
// Whether a menu command leaves a run alone.
bool Menu_RunAllows(const App& app, int item);
// A menu command during a run: those the run allows, nothing else.
void Menu_HandleRunEvent(App& app, int item);
// One main-panel control.
void Main_HandleEvent(App& app, int control);
// The window's layout after the panel's size and the split view's panes.
void FitWindow(App& app);

// A trace label (controls 2 ... 21) pressed: it stays pressed (the one
// pressed before is released) and the graph zooms on its trace. With the A
// and C curves on show the labels are not traces: the button springs back.
void PressTraceButton(App& app, int control);

// The About box: "Sondrix ver 7.1" and what the program is.
void ShowAbout();

}  // namespace sondrix
