#include "display/graph_control.h"

#include <string>

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
    const platform::UserEvent event = ui.GetUserEvent(true);
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

void RangeMessage(std::string_view text) {
  const std::string ok[] = {"OK"};
  platform::ui().GenericMessagePopup("", text, ok);
}

}  // namespace sondrix
