// SPDX-License-Identifier: GPL-3.0-or-later
#include "diag/diag_loop.h"

#include "common/errors.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "source/source_wait.h"

namespace sondrix {
namespace {

// The results that keep a self-test going.
bool GoesOn(Status result) {
  return result == status::kOk || result == status::kSerialMismatch || result == status::kNoData;
}

// The diagnostics panel as the test's user: its stop control and its close
// box stop the test.
class PanelUser final : public RunUser {
 public:
  PanelUser(int panel, int stopControl) : panel_(panel), stopControl_(stopControl) {}

  bool Look(SourceWait& pace) override {
    const platform::UserEvent event = pace.NextEvent(platform::ui());
    return event.panel == panel_ &&
           ((event.type == platform::EventType::Commit && event.control == stopControl_) ||
            event.type == platform::EventType::Close);
  }

 private:
  int panel_;
  int stopControl_;
};

}  // namespace

Status RunDiagLoop(Source& source, Status start, const DiagLoopSettings& settings, RunUser& user,
                   const std::function<Status(int count)>& refresh, long& good) {
  Status result = start;
  bool stopped = false;
  double lastGood = platform::Timer();
  SourceWait pace(source);
  while (!stopped && GoesOn(result)) {
    if (user.Look(pace)) {
      stopped = true;
      continue;
    }
    if (!source.CanRead()) {
      if (platform::SecondsSince(lastGood) > settings.timeout) {
        result = status::kTimedOut;
        break;
      }
      pace.Idle();
      continue;
    }
    pace.Ready();
    result = refresh(static_cast<int>(good + 1));
    if (result == status::kOk) {
      ++good;
      lastGood = platform::Timer();
      if (settings.stopAfter > 0 && good >= settings.stopAfter) stopped = true;
    } else if (result == status::kNoData && platform::SecondsSince(lastGood) > settings.timeout) {
      // Lost samples only, however fast they come, are no data either.
      result = status::kTimedOut;
    }
  }
  if (stopped && GoesOn(result)) result = status::kOk;
  return result;
}

Status ResetForSelfTest(Source& meter) {
  Message_Show("\nInitializing diagnostics...");
  const Status result = meter.Reset();
  Message_Hide();
  return result;
}

Status RunDiagPanel(Source& source, Status start, int panelId, int stopControl, double timeout,
                    const std::function<void(int panel)>& setUp,
                    const std::function<Status(int panel, int count)>& refresh, long& good) {
  good = 0;
  platform::Ui& ui = platform::ui();
  const int panel = ui.LoadPanel(0, panelId);
  if (panel <= 0) return status::kOutOfMemory;
  setUp(panel);
  ui.InstallPopup(panel);
  PanelUser user(panel, stopControl);
  const Status result = RunDiagLoop(
      source, start, DiagLoopSettings{.timeout = timeout}, user, [&](int count) { return refresh(panel, count); },
      good);
  ui.RemovePopup(panel);
  ui.DiscardPanel(panel);
  return result;
}

}  // namespace sondrix
