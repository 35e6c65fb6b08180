// SPDX-License-Identifier: GPL-3.0-or-later
// Opening sources and running acquisition: the user picks a data file, or a
// device configuration file and a port (or the unattended set-up of
// Rudud.ini names them); the source is made, opened and reset, its serial
// number checked, and attached to the display. A run reads binned lines
// from the source, records each into the scratch recording and hands it to
// the display, until the user stops it, a stored file ends, the source
// stays silent too long or fails; the recording is then saved under a name
// the user chooses.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "common/status.h"
#include "source/source.h"

namespace sondrix {

// Opens and resets a source made by NewSource. On a serial-number mismatch
// the user is asked "Wrong serial number (%08lX).  Open anyway?" unless
// "IgnoreSerialNumber" is on or Rudud.ini names a device and port. A
// hyperspectral instrument at another skip value than its file is offered
// to be set back, or its value kept in a copy of the file, which `source`
// is then opened from (ResolveSkipMismatch; not when Rudud.ini names a
// device and port). On any result but 1 the source is closed and disposed
// (`source` becomes null).
Status OpenSource(std::unique_ptr<Source>& source);

// Asks for a data file (kind 1) or a device and its port (kind 2), opens it
// and attaches it to the display in place of the one attached.
Status PromptOpenSource(App& app, int kind);

// Opens the source of kind 1 or 2 named by `filename` and `portname`
// without asking and attaches it. `quietMake`: a source that cannot be made
// gives -1025 without a message (the unattended set-up). When it does not
// open (a failure, a question declined, a choice cancelled) the source
// attached before stays attached; one whose serial port was let go for the
// attempt takes it up again, and when it cannot, the user is told and no
// source is attached.
Status OpenNamedSource(App& app, int kind, const std::string& filename, const std::string& portname,
                       bool quietMake = false);

// The device and port that Rudud.ini names.
Status OpenRudud(App& app);

// Closes the source and attaches none.
void DoNew(App& app);

// Edits a chosen device configuration file without opening the device for
// acquisition (kind 2; kind 1 does nothing).
Status PromptEditConfig(int kind);

// The acquisition dialog: the traces shown (those with a heading; ticked by
// hand, all, none, by kind or by wavelength range and step, see
// display/trace_choice.h), the source's bin size and the display bin size. 1, -1021 when cancelled,
// -9001 without a source, -1016/-1018 when the dialog cannot be loaded.
Status Acquire_Configure2(App& app);

// One run (the acquisition loop); returns how the loop ended: 1 (stopped by
// the user), -1017 (end of a stored file), -1003 (time-out) or the error.
// Errors are reported once, the recording closed and offered for saving.
Status Acquire_Run(App& app);

}  // namespace sondrix
