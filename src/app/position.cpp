// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/position.h"

#include <array>

#include "common/errors.h"
#include "common/log.h"
#include "common/panels.h"
#include "common/settings.h"
#include "common/text_format.h"
#include "display/graph_control.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "session/acquisition.h"
#include "source/rudud.h"

namespace sondrix {
namespace {

namespace p = panels;

// The kinds the Mark Event ring offers, by its values.
constexpr std::array<std::string_view, 3> kMarkedKinds = {"note", "cast start", "cast end"};

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
  const auto fill = [&ui](int dialog) {
    const PositionSetting remembered = LoadPositionSetting();
    ui.SetCtrlVal(dialog, p::kPosSource, remembered.source);
    ui.SetCtrlVal(dialog, p::kPosBaud, static_cast<int>(remembered.baud));
    ui.SetCtrlVal(dialog, p::kPosHint, "Empty: no position. " + PositionSourceList() + ".");
  };
  return RunDialog(p::kPosition, fill, [&ui](int dialog, int control) {
    const DialogStep step = FormStep(control, p::kPosOk, p::kPosCancel, p::kPosSource);
    if (step != DialogStep::Ok) return step;
    PositionSetting given;
    given.source = ui.GetCtrlText(dialog, p::kPosSource);
    given.baud = ui.GetCtrlInt(dialog, p::kPosBaud);
    if (!given.source.empty()) {
      std::string why;
      if (OpenPositionSource(given.source, given.baud, why) == nullptr &&
          ui.ConfirmPopup("Position", "The position source cannot be opened now:\n" + why +
                                          "\n\nKeep it anyway? Each run will try it again.") == 0)
        return DialogStep::Continue;
    }
    StorePositionSetting(given);
    return DialogStep::Ok;
  });
}

std::unique_ptr<PositionSource> Position_OpenForRun(const App& app) {
  const PositionSetting setting = LoadPositionSetting();
  if (setting.source.empty()) return nullptr;
  std::string why;
  std::unique_ptr<PositionSource> source = OpenPositionSource(setting.source, setting.baud, why);
  if (source) return source;
  TellBeforeRun(app, "The position source " + setting.source + " cannot be opened: " + why +
                         ".\nThe run goes on without positions (Configure > Position... chooses another).");
  return nullptr;
}

void TellBeforeRun(const App& app, const std::string& text) {
  if (app.terminating || Rudud_IsDefined() != 0)
    SONDRIX_LOG(Warn, "%s", text.c_str());
  else
    Error_Message(text);
}

Status MarkEvent_Dialog(App& app) {
  if (app.run() == nullptr) return status::kCancelled;
  if (!app.run()->keepsCompanion()) {
    Error_Message("This run records nothing: events are marked in a recording's companion.");
    return status::kCancelled;
  }
  // The event happened when the operator pressed the key, not when the
  // note was typed.
  const std::int64_t at = platform::UtcMs();
  platform::Ui& ui = platform::ui();
  int kind = 0;
  std::string note;
  const auto fill = [&ui, at](int dialog) {
    ui.SetCtrlVal(dialog, p::kEvTime, "At " + IsoUtc(at, false) + " (UTC)");
    ui.SetActiveCtrl(dialog, p::kEvNote);
  };
  const Status answered = RunDialog(p::kMarkEvent, fill, [&](int dialog, int control) {
    const DialogStep step = FormStep(control, p::kEvOk, p::kEvCancel, p::kEvNote);
    if (step == DialogStep::Ok) {
      kind = ui.GetCtrlInt(dialog, p::kEvKind);
      note = ui.GetCtrlText(dialog, p::kEvNote);
    }
    return step;
  });
  if (answered != status::kOk) return answered;
  // The run may have ended while the dialog was up.
  if (app.run() == nullptr) return status::kCancelled;
  const std::string_view kindText = kMarkedKinds[kind >= 0 && kind < static_cast<int>(kMarkedKinds.size()) ? kind : 0];
  if (!app.run()->MarkEvent(kindText, note, at)) {
    Error_Message("The event could not be written into the recording's companion.");
    return status::kWriteFailed;
  }
  if ((kindText == "cast start" || kindText == "cast end") && app.hasDisplay())
    app.display().MarkCast(at, kindText == "cast start");
  return status::kOk;
}

}  // namespace sondrix
