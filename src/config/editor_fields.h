// SPDX-License-Identifier: GPL-3.0-or-later
// The fields every configuration editor shows the same way: device name,
// baud rate, path length, depth calibration, device type (shown only) and
// the serial number the user sees (the low 16 bits of the serial word).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "common/status.h"
#include "config/config.h"
#include "platform/ui.h"

namespace sondrix {

class DPort;
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

// The port and samples per record of the device a calibration reads: 1,
// -1029 when it has no port, or the device's failure.
Status CalibrationPort(Source& device, DPort*& port, int& samplesPerRec);

// The controls every configuration editor has: the common fields, the
// list of traces, the shown trace's name and colour with its preview, and
// the OK and Cancel buttons.
struct TraceEditorIds {
  CommonFieldIds common;
  int traceList;
  int traceName;
  int color;
  int preview;
  int ok;
  int cancel;
};

// What the configuration editors share: one record of the list shown in
// the fields beside it and taken back from them after every event of the
// panel, its name and colour, the colour preview and the dialog's loop. A
// model's editor shows and takes the rest of a record, runs its commands
// and checks the accepted copy.
class TraceEditor {
 public:
  TraceEditor(Config& copy, int panel, const TraceEditorIds& ids) : config_(copy), panel_(panel), ids_(ids) {}
  virtual ~TraceEditor() = default;
  TraceEditor(const TraceEditor&) = delete;
  TraceEditor& operator=(const TraceEditor&) = delete;

  // Runs the dialog; true when the user accepted (OK, and Accept agreed).
  bool Run();

 protected:
  static platform::Ui& ui() { return platform::ui(); }

  // Records in the list.
  virtual int Count() const = 0;
  // Shows record `index` (ShowNameAndColor and the model's fields);
  // nothing for an index outside the list.
  virtual void ShowTrace(int index) = 0;
  // Takes the shown record back from the fields (nothing when none is
  // shown).
  virtual void StoreShownTrace() = 0;
  // The colour of the shown record.
  virtual int ShownColor() const = 0;
  // A command button of the model's own.
  virtual void Command(int control) = 0;
  // Whether the copy may be taken (the common fields first).
  virtual bool Accept() = 0;

  // The common fields and the list of `names`; then the first record is
  // shown by Select(0). `onItem(i)` follows each list entry.
  template <class Names>
  void FillList(const Names& names, const std::function<void(int item)>& onItem = {});
  // Selects record `index` in the list and shows it.
  void Select(int index);
  // Shows a record's name and colour, and previews the colour.
  void ShowNameAndColor(const std::string& name, int color);
  // The name typed for the shown record, one word of at most `keep`
  // characters, into `name` and the list, with the wavelength it carries;
  // an emptied name keeps the old one. True when it changed.
  bool TakeName(std::string& name, double& wavelength, std::size_t keep);
  // The colour chosen for the shown record, into `color`. Palette entries
  // may share an RGB value: only a colour the user changed is converted
  // back. True when it changed.
  bool TakeColor(int& color);
  void Preview(int color);
  // TakeCommonFields into the copy.
  bool TakeCommon();
  // The shown record: -1 before one was shown.
  bool Shown() const { return shown_ >= 0 && shown_ < Count(); }

  Config& config_;
  int panel_;
  TraceEditorIds ids_;
  int shown_ = -1;
};

template <class Names>
void TraceEditor::FillList(const Names& names, const std::function<void(int item)>& onItem) {
  ui().ClearListCtrl(panel_, ids_.traceList);
  for (int i = 0; i < Count(); ++i) {
    ui().InsertListItem(panel_, ids_.traceList, -1, names(i), i);
    if (onItem) onItem(i);
  }
  ShowCommonFields(panel_, ids_.common, config_);
}

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

// A model's EditConfig: the editor `Editor` on a working copy of `config`
// in panel `panelResource`; an accepted copy that differs sets `changed`,
// is shown to `accepted` and copied back. 1 (accepted), -1021 (cancelled,
// `changed` 0) or the editor's failure.
template <class C, class Editor>
Status EditConfigWith(C& config, Source& device, int panelResource, int& changed,
                      const std::function<void(const C& copy)>& accepted = {}) {
  changed = 0;
  Status result = status::kOk;
  const auto copy = EditCopy<C, Editor>(config, device, panelResource, result);
  if (!copy) return result;
  changed = copy->CompConfig(config) ? 0 : 1;
  if (accepted) accepted(*copy);
  return copy->CopyConfig(config);
}

}  // namespace sondrix
