// SPDX-License-Identifier: GPL-3.0-or-later
// The UTC time of a raw capture's (or data file's) first sample, asked as
// the user opens one without the companion of its live run (whose clock
// map would place every sample at its measured time); every run of it then
// places its samples by the instrument's counter from there. Empty: its
// recordings carry no UTC, and export refuses them rather than date them by
// the replay.
#pragma once

#include <cstdint>
#include <optional>

#include "app/app.h"
#include "source/source.h"

namespace sondrix {

// Nothing for a live source, a data file or a capture with its map; an
// unattended run asks nobody. The dialog refuses a text that is no ISO 8601
// time until it is one, emptied, or the dialog cancelled.
std::optional<std::int64_t> CaptureTime_Ask(const App& app, Source& source);

}  // namespace sondrix
