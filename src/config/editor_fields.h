// The fields every configuration editor shows the same way: device name,
// baud rate, path length, depth calibration, device type (shown only) and
// the serial number the user sees (the low 16 bits of the serial word).
#pragma once

#include <memory>

#include "common/status.h"
#include "config/config.h"
#include "platform/ui.h"

namespace sondrix {

class Source;

struct CommonFieldIds {
  int name;
  int baud;
  int pathLength;
  int depthOffset;
  int depthScale;
  int devType;
  int serial;
};

void ShowCommonFields(int panel, const CommonFieldIds& ids, const Config& config);

// Takes the fields from the panel into `config`. An emptied device name
// keeps the old one (a file whose first line is empty could not be read
// again); the device type and bits 16-23 of the serial word stay as they
// are. False, with the error shown, when the baud rate is not one a file
// may hold.
bool TakeCommonFields(int panel, const CommonFieldIds& ids, Config& config);

// Runs an editor (Editor(copy, device, panel) with Fill() and Run(), true
// when the user accepted) on a working copy of `config` in its panel. The
// accepted copy, or null with `result` -1021 (cancelled), -1016 or the
// panel's failure.
template <class C, class Editor>
std::unique_ptr<C> EditCopy(const C& config, Source& device, int panelResource, Status& result) {
  std::unique_ptr<C> copy;
  result = CopyOf(config, copy);
  if (result != status::kOk) return nullptr;
  platform::Ui& ui = platform::ui();
  const int panel = ui.LoadPanel(0, panelResource);
  if (panel < 0) {
    result = panel == status::kUiOutOfMemory ? status::kOutOfMemory : status::kPanelLoadFailed;
    return nullptr;
  }
  Editor editor(*copy, device, panel);
  editor.Fill();
  ui.InstallPopup(panel);
  const bool accepted = editor.Run();
  ui.RemovePopup(panel);
  ui.DiscardPanel(panel);
  if (!accepted) {
    result = status::kCancelled;
    return nullptr;
  }
  return copy;
}

}  // namespace sondrix
