// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/capture_time.h"

#include <string>

#include "common/errors.h"
#include "common/panels.h"
#include "common/text_format.h"
#include "display/graph_control.h"
#include "platform/ui.h"
#include "session/acquisition.h"
#include "source/rudud.h"

namespace sondrix {

namespace p = panels;

std::optional<std::int64_t> CaptureTime_Ask(const App& app, Source& source) {
  if (app.terminating || Rudud_IsDefined() != 0 || !ReplayLacksUtc(source)) return std::nullopt;
  platform::Ui& ui = platform::ui();
  std::optional<std::int64_t> start;
  RunDialog(p::kCaptureTime, [](int) {}, [&](int dialog, int control) {
    if (control == p::kCapCancel) return DialogStep::Cancel;
    if (control != p::kCapOk && control != p::kCapStart) return DialogStep::Continue;
    const std::string text = ui.GetCtrlText(dialog, p::kCapStart);
    if (text.empty()) return DialogStep::Ok;
    start = ParseIsoUtc(text);
    if (start) return DialogStep::Ok;
    Error_Message("\"" + text + "\" is no UTC time: write it as 2026-12-10T04:00:00.120Z (ISO 8601).");
    return DialogStep::Continue;
  });
  return start;
}

}  // namespace sondrix
