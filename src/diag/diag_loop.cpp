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

constexpr double kIdlePause = 0.001;

}  // namespace

Status RunDiagLoop(Source& source, Status start, const DiagLoopSettings& settings,
                   const std::function<Status(int count)>& refresh, long& good) {
  Status result = start;
  bool stopped = false;
  double lastGood = platform::Timer();
  // With a panel the loop sleeps in the user interface while the source has
  // nothing; without one it pauses briefly.
  SourceWait idle(source);
  while (!stopped && GoesOn(result)) {
    if (settings.panel > 0) {
      const platform::UserEvent event = idle.NextEvent(platform::ui());
      if (event.type != platform::EventType::None) {
        const bool stop = event.panel == settings.panel &&
                          ((event.type == platform::EventType::Commit && event.control == settings.stopControl) ||
                           event.type == platform::EventType::Close);
        if (stop) stopped = true;
        continue;
      }
    }
    if (settings.panel <= 0 && settings.stopRequested && settings.stopRequested()) {
      stopped = true;
      continue;
    }
    if (!source.CanRead()) {
      if (platform::SecondsSince(lastGood) > settings.timeout) {
        result = status::kTimedOut;
        break;
      }
      if (settings.panel > 0) {
        idle.Idle();
      } else {
        platform::Delay(kIdlePause);
      }
      continue;
    }
    idle.Ready();
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
  DiagLoopSettings settings;
  settings.panel = panel;
  settings.stopControl = stopControl;
  settings.timeout = timeout;
  const Status result = RunDiagLoop(
      source, start, settings, [&](int count) { return refresh(panel, count); }, good);
  ui.RemovePopup(panel);
  ui.DiscardPanel(panel);
  return result;
}

}  // namespace sondrix
