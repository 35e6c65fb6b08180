// The UTC time of a raw capture's first sample, asked before a run that
// replays a capture without the companion of its live run (whose clock map
// would place every sample at its measured time). Empty: the recording
// carries no UTC, and export refuses it rather than date it by the replay.
#pragma once

#include <cstdint>
#include <optional>

#include "app/app.h"
#include "source/source.h"

namespace sondrix {

// Nothing for a live source, a data file or a capture with its map; an
// unattended run asks nobody. The dialog refuses a text that is no ISO 8601
// time until it is one, emptied, or the dialog cancelled.
std::optional<std::int64_t> CaptureTime_ForRun(const App& app, Source& source);

}  // namespace sondrix
