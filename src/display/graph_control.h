// What the graph classes share: the graph control they draw into, and the
// way their settings dialogs are loaded, run and refused.
#pragma once

#include <functional>
#include <string_view>

#include "common/status.h"
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

// What a dialog's event handler decides.
enum class DialogStep { Continue, Ok, Cancel };

// Loads dialog panel `resourceId`, lets `fill` put values into it, shows it
// as a pop-up and hands every event of it to `onEvent` until that says Ok or
// Cancel (the close box is Cancel). The panel is discarded afterwards.
// Returns 1 for Ok, -1021 for Cancel, -1016 when the panel cannot be made.
Status RunDialog(int resourceId, const std::function<void(int panel)>& fill,
                 const std::function<DialogStep(int panel, int control)>& onEvent);

// The plain message of a refused range (empty title, one button "OK").
void RangeMessage(std::string_view text);

}  // namespace sondrix
