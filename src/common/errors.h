// Telling the user: error pop-ups, the error-message panel, the non-modal
// wait message shown while something slow runs, and debug text.
#pragma once

#include <string_view>

#include "common/status.h"

namespace sondrix {

// Debug output is on while this is non-zero; main sets it to 0.
extern int debugflag;

// Shows the code's message in a modal pop-up titled "Error" with one button
// "OK". 1 and -1021 show nothing; a code without a message shows
// "Internal error: unknown error <code>".
void Error_Report(Status code);

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

// Where DebugMsg writes when no wait message is shown: the main panel's debug
// line. Set by the application once its main panel exists (0 = none).
void Error_SetDebugLine(int panel, int control);

// When debugflag is set: formats `format` with one integer (at most 128
// characters) into the wait message when shown, else the debug line.
void DebugMsg(std::string_view format, long value);

}  // namespace sondrix
