// SPDX-License-Identifier: GPL-3.0-or-later
// The GPS receiver of the window's runs and the events the operator marks.
//
// The receiver is remembered in the [Position] section of the settings
// (Source=, Baud=), chosen in the Position dialog (Configure > Position...)
// and opened at the start of each run; a receiver that cannot be opened is
// told, and the run goes on without positions. During a run, Mark Event (F5)
// asks what happened (a note, a cast's start or end) and the operator's
// words, and marks it in the recording's companion at the UTC time the
// dialog was opened.
#pragma once

#include <memory>
#include <string>

#include "app/app.h"
#include "common/status.h"
#include "io/position_source.h"

namespace sondrix {

struct PositionSetting {
  std::string source;  // empty: none
  long baud = kDefaultPositionBaud;
};

PositionSetting LoadPositionSetting();
void StorePositionSetting(const PositionSetting& setting);

// The Position dialog with the remembered setting; OK tries the source and
// remembers it (one that cannot be opened now is kept only when the user
// says so). 1, -1021 when cancelled, or the panel's failure to load.
Status Position_Configure();

// The remembered receiver opened for a run; null when none is set, or when
// it cannot be opened (told, unless the run is unattended: logged).
std::unique_ptr<PositionSource> Position_OpenForRun(const App& app);

// Tells the operator `text` about a line source of the run that is about
// to start; logged instead when the run is unattended or the program is
// ending.
void TellBeforeRun(const App& app, const std::string& text);

// Mark Event during app.run(): 1 (marked), -1021 (cancelled), -1015 (the
// companion could not be written: told), or the panel's failure to load.
Status MarkEvent_Dialog(App& app);

}  // namespace sondrix
