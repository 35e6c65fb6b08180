#include "app/deployment.h"

#include "common/panels.h"
#include "common/settings.h"
#include "display/graph_control.h"
#include "platform/ui.h"
#include "source/rudud.h"

namespace sondrix {
namespace {

namespace p = panels;

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
  const auto fill = [&ui](int dialog) {
    const Deployment remembered = LoadDeployment();
    for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k) ui.SetCtrlVal(dialog, ControlOf(k), remembered.values[k]);
  };
  return RunDialog(p::kDeployment, fill, [&ui](int dialog, int control) {
    if (control == p::kDepCancel) return DialogStep::Cancel;
    // OK, or Return in one of the texts, as a form's default button.
    if (control != p::kDepOk && (control < p::kDepCruise || control > p::kDepNote)) return DialogStep::Continue;
    Deployment given;
    for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k) given.values[k] = ui.GetCtrlText(dialog, ControlOf(k));
    StoreDeployment(given);
    return DialogStep::Ok;
  });
}

Deployment Deployment_ForRun(const App& app) {
  Deployment deployment = LoadDeployment();
  if (deployment.Empty() && !app.terminating && Rudud_IsDefined() == 0 && Deployment_Configure() == status::kOk)
    deployment = LoadDeployment();
  return deployment;
}

}  // namespace sondrix
