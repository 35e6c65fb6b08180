// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/graph_control.h"

#include <cmath>
#include <string>

#include "common/c_locale.h"
#include "common/utils.h"
#include "display/graph.h"

namespace sondrix {

Status GraphControl::SetVisible(bool on) const {
  const int result = platform::ui().SetCtrlAttribute(panel, control, platform::Attr::Visible, on ? 1 : 0);
  return result < 0 ? result : status::kOk;
}

bool GraphControl::IsVisible() const {
  platform::CtrlValue value;
  if (platform::ui().GetCtrlAttribute(panel, control, platform::Attr::Visible, value) < 0) return false;
  const int* on = std::get_if<int>(&value);
  return on != nullptr && *on != 0;
}

namespace {

DialogWait* gDialogWait = nullptr;

}  // namespace

ScopedDialogWait::ScopedDialogWait(DialogWait& wait) : ScopedInstall(gDialogWait, wait) {}

platform::UserEvent NextDialogEvent() {
  if (gDialogWait != nullptr) return gDialogWait->NextEvent();
  return platform::ui().GetUserEvent(true);
}

bool RunGoesOn() { return gDialogWait != nullptr; }

DialogStep FormStep(int control, int ok, int cancel, int field) {
  if (control == ok || control == field) return DialogStep::Ok;
  return control == cancel ? DialogStep::Cancel : DialogStep::Continue;
}

Status RunDialog(int resourceId, const std::function<void(int panel)>& fill,
                 const std::function<DialogStep(int panel, int control)>& onEvent) {
  platform::Ui& ui = platform::ui();
  const int panel = ui.LoadPanel(0, resourceId);
  if (panel == status::kUiOutOfMemory) return status::kOutOfMemory;
  if (panel < 0) return status::kPanelLoadFailed;
  fill(panel);
  ui.InstallPopup(panel);
  DialogStep step = DialogStep::Continue;
  while (step == DialogStep::Continue) {
    const platform::UserEvent event = NextDialogEvent();
    if (event.panel != panel) continue;
    if (event.type == platform::EventType::Close) {
      step = DialogStep::Cancel;
    } else if (event.type == platform::EventType::Commit) {
      step = onEvent(panel, event.control);
    }
  }
  ui.RemovePopup(panel);
  ui.DiscardPanel(panel);
  return step == DialogStep::Ok ? status::kOk : status::kCancelled;
}

bool ValidRange(double low, double high) {
  return std::isfinite(low) && std::isfinite(high) && high > low;
}

Status ReadGraphLine(std::FILE* file, const std::function<bool()>& scan, const std::function<void()>& take,
                     const std::function<void()>& defaults) {
  const ScopedCLocale cLocale;
  const bool usable = scan();
  eatComment(file);
  if (usable) {
    take();
  } else {
    defaults();
  }
  if (std::ferror(file) && !std::feof(file)) return status::kConfigPrematureEof;
  return status::kOk;
}

ShownRanges GetShownRanges(const GraphControl& control) {
  platform::AxisMode xMode{}, yMode{};
  double x0 = 0.0, x1 = 0.0, y0 = 0.0, y1 = 0.0;
  ShownRanges shown;
  if (platform::ui().GetAxisRange(control.panel, control.control, xMode, x0, x1, yMode, y0, y1) < 0) return shown;
  if (ValidRange(x0, x1)) shown.x = AxisRange{x0, x1};
  if (ValidRange(y0, y1)) shown.y = AxisRange{y0, y1};
  return shown;
}

bool ZoomRange(double& low, double& high, double factor) {
  if (!(factor >= kMinZoomFactor && factor <= kMaxZoomFactor)) return false;
  const double centre = (low + high) / 2.0;
  const double half = factor * (high - low) / 2.0;
  low = centre - half;
  high = centre + half;
  return true;
}

void MoveRange(double& low, double& high, double fraction) {
  const double shift = fraction * std::fabs(high - low);
  low += shift;
  high += shift;
}

void RangeMessage(std::string_view text) {
  const std::string ok[] = {"OK"};
  platform::ui().GenericMessagePopup("", text, ok);
}

}  // namespace sondrix
