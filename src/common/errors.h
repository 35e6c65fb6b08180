// Telling the user: error pop-ups, the error-message panel, the non-modal
// wait message shown while something slow runs. Each is kept in the log
// too (common/log.h): Error_Report at error level, Error_Message at warn,
// the wait message at debug.
#pragma once

#include <string_view>

#include "common/status.h"

namespace sondrix {

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

}  // namespace sondrix
