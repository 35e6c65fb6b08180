#include "app/position.h"

#include <array>

#include "common/errors.h"
#include "common/log.h"
#include "common/panels.h"
#include "common/settings.h"
#include "common/text_format.h"
#include "datafile/acquisition.h"
#include "display/graph_control.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "source/rudud.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::EventType;

// The kinds the Mark Event ring offers, by its values.
constexpr std::array<std::string_view, 3> kMarkedKinds = {"note", "cast start", "cast end"};

// Loads `id` as a pop-up; the panel handle, or the status of its failure.
int LoadDialog(int id, Status& failure) {
  const int dialog = platform::ui().LoadPanel(0, id);
  if (dialog <= 0)
    failure = dialog == platform::ui_status::kOutOfMemory ? status::kOutOfMemory : status::kPanelLoadFailed;
  return dialog;
}

// Waits for OK (true) or Cancel / the close box (false) of `dialog`.
// Return in its text `field` is OK too, as a form's default button.
bool AwaitAnswer(int dialog, int ok, int cancel, int field) {
  for (;;) {
    const platform::UserEvent event = NextDialogEvent();
    if (event.panel != dialog) continue;
    if (event.type == EventType::Close) return false;
    if (event.type != EventType::Commit) continue;
    if (event.control == cancel) return false;
    if (event.control == ok || event.control == field) return true;
  }
}

}  // namespace

PositionSetting LoadPositionSetting() {
  PositionSetting setting;
  setting.source = settings::Get(settings::kPosition, settings::kPositionSource, {}, 0);
  const int baud = settings::GetInt(settings::kPosition, settings::kPositionBaud, static_cast<int>(kDefaultPositionBaud));
  setting.baud = baud > 0 ? baud : kDefaultPositionBaud;
  return setting;
}

void StorePositionSetting(const PositionSetting& setting) {
  settings::Set(settings::kPosition, settings::kPositionSource, setting.source);
  settings::SetInt(settings::kPosition, settings::kPositionBaud, static_cast<int>(setting.baud));
}

Status Position_Configure() {
  platform::Ui& ui = platform::ui();
  Status failure = status::kOk;
  const int dialog = LoadDialog(p::kPosition, failure);
  if (dialog <= 0) return failure;
  const PositionSetting remembered = LoadPositionSetting();
  ui.SetCtrlVal(dialog, p::kPosSource, remembered.source);
  ui.SetCtrlVal(dialog, p::kPosBaud, static_cast<int>(remembered.baud));
  ui.InstallPopup(dialog);
  Status result = status::kCancelled;
  while (AwaitAnswer(dialog, p::kPosOk, p::kPosCancel, p::kPosSource)) {
    PositionSetting given;
    given.source = ui.GetCtrlText(dialog, p::kPosSource);
    given.baud = ui.GetCtrlInt(dialog, p::kPosBaud);
    if (!given.source.empty()) {
      std::string why;
      if (OpenPositionSource(given.source, given.baud, why) == nullptr &&
          ui.ConfirmPopup("Position", "The position source cannot be opened now:\n" + why +
                                          "\n\nKeep it anyway? Each run will try it again.") == 0)
        continue;
    }
    StorePositionSetting(given);
    result = status::kOk;
    break;
  }
  ui.RemovePopup(dialog);
  ui.DiscardPanel(dialog);
  return result;
}

std::unique_ptr<PositionSource> Position_OpenForRun(const App& app) {
  const PositionSetting setting = LoadPositionSetting();
  if (setting.source.empty()) return nullptr;
  std::string why;
  std::unique_ptr<PositionSource> source = OpenPositionSource(setting.source, setting.baud, why);
  if (source) return source;
  const std::string told = "The position source " + setting.source + " cannot be opened: " + why +
                           ".\nThe run goes on without positions (Configure > Position... chooses another).";
  if (app.terminating || Rudud_IsDefined() != 0)
    SONDRIX_LOG(Warn, "%s", told.c_str());
  else
    Error_Message(told);
  return nullptr;
}

Status MarkEvent_Dialog(App& app) {
  if (app.run == nullptr) return status::kCancelled;
  if (!app.run->keepsCompanion()) {
    Error_Message("This run records nothing: events are marked in a recording's companion.");
    return status::kCancelled;
  }
  // The event happened when the operator pressed the key, not when the
  // note was typed.
  const std::int64_t at = platform::UtcMs();
  platform::Ui& ui = platform::ui();
  Status failure = status::kOk;
  const int dialog = LoadDialog(p::kMarkEvent, failure);
  if (dialog <= 0) return failure;
  ui.SetCtrlVal(dialog, p::kEvTime, "At " + IsoUtc(at, false) + " (UTC)");
  ui.InstallPopup(dialog);
  ui.SetActiveCtrl(dialog, p::kEvNote);
  const bool ok = AwaitAnswer(dialog, p::kEvOk, p::kEvCancel, p::kEvNote);
  const int kind = ui.GetCtrlInt(dialog, p::kEvKind);
  const std::string note = ui.GetCtrlText(dialog, p::kEvNote);
  ui.RemovePopup(dialog);
  ui.DiscardPanel(dialog);
  // The run may have ended while the dialog was up.
  if (!ok || app.run == nullptr) return status::kCancelled;
  const std::string_view kindText = kMarkedKinds[kind >= 0 && kind < static_cast<int>(kMarkedKinds.size()) ? kind : 0];
  if (!app.run->MarkEvent(kindText, note, at)) {
    Error_Message("The event could not be written into the recording's companion.");
    return status::kWriteFailed;
  }
  return status::kOk;
}

}  // namespace sondrix
