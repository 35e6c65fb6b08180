// SPDX-License-Identifier: GPL-3.0-or-later
// The scratch recording of the project directory ("Sondrix.tmp") while the
// program runs. This instance holds a lock on it from start to exit, so a
// second instance (or a command-line recording) in the same directory is
// refused instead of overwriting a run. A recording that a run which died
// left behind is kept under its recovery name and offered for saving at the
// next start; the last run's recording, when it was not saved, is offered
// for saving before a new run would replace it and before the program ends.
#pragma once

#include <string>
#include <string_view>

#include "app/app.h"
#include "datafile/data_file.h"
#include "common/status.h"

namespace sondrix {

// Locks the scratch recording for this instance and offers a left-behind
// recording for saving. False, after a message, when the program cannot
// record in this directory (another instance holds it, the name is taken by
// something that is not a file, or a left-behind recording cannot be kept).
bool ClaimScratchRecording(App& app);

// Before a run: the lock must be on the file the run records into (a
// recording saved under its own name took the lock along). False, after a
// message, when another program took the name in between.
bool EnsureScratchLock(App& app);

// Asks what to do with the last run's recording when it was not saved:
// "Save" (a file dialog), "Discard" or "Cancel". True when the caller may go
// on (saved, discarded, or nothing waiting); false when the user went back
// (Cancel, a cancelled file dialog, or a save that failed and was reported).
bool OfferUnsavedRun(App& app, std::string_view question);

// Saves a recording file under a name the user chooses (the data file save
// dialog). 1, -1021 when cancelled, or the failure.
Status SaveRecordingFile(const std::string& path);

// Saves the run's recording (`recording` records into the scratch file)
// under a name the user chooses; once saved, nothing waits any more and the
// lock is taken again on a fresh scratch file at once, so that no other
// instance can take the name meanwhile.
Status SaveScratchRecording(App& app, DataFile& recording);

// At exit: the scratch recording is removed when nothing in it waits to be
// saved, and the lock given up.
void ReleaseScratchRecording(App& app);

}  // namespace sondrix
