#include "app/deployment.h"

#include "common/panels.h"
#include "common/settings.h"
#include "display/graph_control.h"
#include "platform/ui.h"
#include "source/rudud.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::EventType;

// The dialog's text of deployment key k.
int ControlOf(std::size_t k) { return p::kDepCruise + static_cast<int>(k); }

}  // namespace

Deployment LoadDeployment() {
  Deployment deployment;
  for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k)
    deployment.values[k] = settings::DeploymentValue(kDeploymentKeys[k]);
  return deployment;
}

void StoreDeployment(const Deployment& deployment) {
  for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k)
    settings::SetDeploymentValue(kDeploymentKeys[k], deployment.values[k]);
}

Status Deployment_Configure() {
  platform::Ui& ui = platform::ui();
  const int dialog = ui.LoadPanel(0, p::kDeployment);
  if (dialog <= 0) return dialog == platform::ui_status::kOutOfMemory ? status::kOutOfMemory : status::kPanelLoadFailed;
  const Deployment remembered = LoadDeployment();
  for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k) ui.SetCtrlVal(dialog, ControlOf(k), remembered.values[k]);
  ui.InstallPopup(dialog);
  Status result = status::kCancelled;
  for (;;) {
    const platform::UserEvent event = NextDialogEvent();
    if (event.panel != dialog) continue;
    if (event.type == EventType::Close) break;
    if (event.type != EventType::Commit) continue;
    if (event.control == p::kDepCancel) break;
    // OK, or Return in one of the texts, as a form's default button.
    if (event.control == p::kDepOk || (event.control >= p::kDepCruise && event.control <= p::kDepNote)) {
      result = status::kOk;
      break;
    }
  }
  if (result == status::kOk) {
    Deployment given;
    for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k) given.values[k] = ui.GetCtrlText(dialog, ControlOf(k));
    StoreDeployment(given);
  }
  ui.RemovePopup(dialog);
  ui.DiscardPanel(dialog);
  return result;
}

Deployment Deployment_ForRun(const App& app) {
  Deployment deployment = LoadDeployment();
  if (deployment.Empty() && !app.terminating && Rudud_IsDefined() == 0 && Deployment_Configure() == status::kOk)
    deployment = LoadDeployment();
  return deployment;
}

}  // namespace sondrix
