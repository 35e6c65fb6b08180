// SPDX-License-Identifier: GPL-3.0-or-later
// What the graph classes share: the graph control they draw into, and the
// way their settings dialogs are loaded, run and refused.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>

#include "common/status.h"
#include "display/follow.h"
#include "platform/installed.h"
#include "platform/ui.h"

namespace sondrix {

// A graph's control on the main panel and the display-menu item that shows it.
struct GraphControl {
  int panel = 0;
  int control = 0;
  int menuItem = 0;

  // 1, or the user interface's error.
  Status SetVisible(bool on) const;
  bool IsVisible() const;
};

// While a run goes on, the dialogs it allows (a graph's settings, the traces
// of the acquisition dialog) wait for the user through the run, which keeps
// reading, recording and drawing meanwhile: a dialog never stops a run's
// lines, which would otherwise pile up in the serial line and be lost.
class DialogWait {
 public:
  virtual ~DialogWait() = default;
  // The next user event for a dialog; the run goes on until it comes.
  virtual platform::UserEvent NextEvent() = 0;
};

// Lends a run's wait to the dialogs for the guard's lifetime.
class ScopedDialogWait : public platform::ScopedInstall<DialogWait> {
 public:
  explicit ScopedDialogWait(DialogWait& wait);
};

// The next event for a modal dialog: through the run while one goes on,
// else the user interface's own wait.
platform::UserEvent NextDialogEvent();
// A run goes on (it lends its wait to the dialogs).
bool RunGoesOn();

// What a dialog's event handler decides.
enum class DialogStep { Continue, Ok, Cancel };

// Loads dialog panel `resourceId`, lets `fill` put values into it, shows it
// as a pop-up and hands every event of it to `onEvent` until that says Ok or
// Cancel (the close box is Cancel). The panel is discarded afterwards.
// Returns 1 for Ok, -1021 for Cancel, -1016 when the panel cannot be made.
Status RunDialog(int resourceId, const std::function<void(int panel)>& fill,
                 const std::function<DialogStep(int panel, int control)>& onEvent);

// A form's answer to a commit of `control`: OK, or Return in its text
// `field`, as a default button; Cancel; anything else goes on.
DialogStep FormStep(int control, int ok, int cancel, int field);

// The plain message of a refused range (empty title, one button "OK").
void RangeMessage(std::string_view text);

// A finite range with high above low.
bool ValidRange(double low, double high);

// A graph's line of the display configuration file: `scan` reads its
// values (in the C locale) and says whether they are whole and usable; the
// rest of the line is passed over; then usable values are taken (`take`),
// anything else gives the graph its defaults (`defaults`). 1, or -1046
// when the stream failed before its end.
Status ReadGraphLine(std::FILE* file, const std::function<bool()>& scan, const std::function<void()>& take,
                     const std::function<void()>& defaults);
// The same into a graph's `settings`: `scan(read)` reads the values into
// `read`, which become the settings when they are usable.
template <class Settings>
Status ReadGraphSettings(std::FILE* file, Settings& settings, const std::function<bool(Settings& read)>& scan,
                         const std::function<void()>& defaults) {
  Settings read;
  return ReadGraphLine(file, [&] { return scan(read); }, [&] { settings = read; }, defaults);
}
// The ranges a graph control shows now, each only when it is a valid range
// (neither when the control cannot tell).
struct ShownRanges {
  std::optional<AxisRange> x;
  std::optional<AxisRange> y;
};
ShownRanges GetShownRanges(const GraphControl& control);
// Zooms low ... high about its centre by `factor`; false (nothing changed)
// unless kMinZoomFactor <= factor <= kMaxZoomFactor.
bool ZoomRange(double& low, double& high, double factor);
// Moves both ends by `fraction` of the span.
void MoveRange(double& low, double& high, double fraction);

}  // namespace sondrix
