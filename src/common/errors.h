// SPDX-License-Identifier: GPL-3.0-or-later
// Telling the user: error pop-ups, the error-message panel, the non-modal
// wait message shown while something slow runs. Each is kept in the log
// too (common/log.h): Error_Report at error level, Error_Message at warn,
// the wait message at debug.
#pragma once

#include <string>
#include <string_view>

#include "common/status.h"

namespace sondrix {

// Shows the code's message in a modal pop-up titled "Error" with one button
// "OK". 1 and -1021 show nothing; a code without a message shows
// "Internal error: unknown error <code>".
void Error_Report(Status code);

// A failed open of a live port: for "COM1" ... "COM8" and the library's
// codes -2 (no device) and -7 (cannot open), why the port would not open and
// what to do, as the serial library tells it (no permission and the group to
// join, in use by another program, not there and the ports there are, not a
// terminal); otherwise, or when the library cannot tell, the code's message.
std::string PortOpenFailureText(Status code, std::string_view portName);
// Error_Report with that text.
void Error_ReportPort(Status code, std::string_view portName);

// A code's message about the file at `path`, with the system's reason
// (strerror of `error`) when there is one: "Can't open file
// /home/op/sondrix/Sondrix.tmp: Permission denied".
std::string FileFailureText(Status code, std::string_view path, int error);
// Error_Report with that text.
void Error_ReportFile(Status code, std::string_view path, int error);

// The generic message pop-up titled "Error" with the text and "OK".
void Error_Message(std::string_view text);

// Loads the error-message panel. 1, or -1018 when it cannot be loaded.
Status Error_Init();
// Shows text in the error-message panel as a pop-up (default cursor).
void Error_MessageStart(std::string_view text);
void Error_MessageEnd();

// The wait message: shown as a pop-up with a text of at most 1023 characters.
Status Message_Show(std::string_view text);
// Both paint the message at once: it is read while the program does
// something slow without looking at the user interface.
void Message_Update(std::string_view text);
void Message_Hide();
// The wait message's panel while it is shown, else 0.
int Message_Panel();

// After a save dialog (which does not ask itself): true when `path` is
// free, or exists and the user agrees to overwrite it ("This file exists.
// Do you want to overwrite it?", under `title`).
bool MayOverwrite(std::string_view title, const std::string& path);

}  // namespace sondrix
