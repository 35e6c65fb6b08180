// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/deployment.h"

#include <algorithm>
#include <iterator>

#include "common/errors.h"
#include "common/panels.h"
#include "common/settings.h"
#include "datafile/deployment_values.h"
#include "display/graph_control.h"
#include "platform/ui.h"
#include "source/rudud.h"

namespace sondrix {
namespace {

namespace p = panels;

// The dialog's control of deployment key k (in kDeploymentKeys' order).
constexpr int kControls[] = {p::kDepCruise,     p::kDepStation,    p::kDepCast,      p::kDepInvestigators,
                             p::kDepAffiliation, p::kDepContact,    p::kDepExperiment, p::kDepNote,
                             p::kDepLatitude,    p::kDepLongitude,  p::kDepDataType,   p::kDepDataStatus};
static_assert(std::size(kControls) == kDeploymentKeys.size());

// The rings' lists: the key, its items, and the control.
struct Ring {
  std::string_view key;
  const std::string_view* items;
  std::size_t count;
  int control;
};
constexpr Ring kRings[] = {
    {"data_type", kSeaBassDataTypes.data(), kSeaBassDataTypes.size(), p::kDepDataType},
    {"data_status", kSeaBassDataStatuses.data(), kSeaBassDataStatuses.size(), p::kDepDataStatus},
};

const Ring* RingOf(int control) {
  for (const Ring& ring : kRings) {
    if (ring.control == control) return &ring;
  }
  return nullptr;
}

// The texts where Return is the form's OK.
bool IsText(int control) {
  return std::find(std::begin(kControls), std::end(kControls), control) != std::end(kControls) &&
         RingOf(control) == nullptr;
}

void Fill(platform::Ui& ui, int dialog, const Deployment& shown) {
  for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k) {
    const Ring* ring = RingOf(kControls[k]);
    if (ring == nullptr) {
      ui.SetCtrlVal(dialog, kControls[k], shown.values[k]);
      continue;
    }
    // The items in SeaBASS's order, the value shown chosen (the first, the
    // default, when none is given).
    ui.ClearListCtrl(dialog, ring->control);
    int chosen = 0;
    for (std::size_t i = 0; i < ring->count; ++i) {
      ui.InsertListItem(dialog, ring->control, -1, ring->items[i], static_cast<int>(i));
      if (ring->items[i] == shown.values[k]) chosen = static_cast<int>(i);
    }
    ui.SetCtrlIndex(dialog, ring->control, chosen);
  }
}

Deployment Read(platform::Ui& ui, int dialog) {
  Deployment given;
  for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k) {
    if (const Ring* ring = RingOf(kControls[k])) {
      const int chosen = ui.GetCtrlInt(dialog, ring->control);
      given.values[k] = chosen >= 0 && static_cast<std::size_t>(chosen) < ring->count
                            ? std::string(ring->items[static_cast<std::size_t>(chosen)])
                            : std::string(ring->items[0]);
    } else {
      given.values[k] = ui.GetCtrlText(dialog, kControls[k]);
    }
  }
  return given;
}

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
  const auto fill = [&ui](int dialog) { Fill(ui, dialog, LoadDeployment()); };
  return RunDialog(p::kDeployment, fill, [&ui](int dialog, int control) {
    if (control == p::kDepCancel) return DialogStep::Cancel;
    // OK, or Return in one of the texts, as a form's default button.
    if (control != p::kDepOk && !IsText(control)) return DialogStep::Continue;
    const Deployment given = Read(ui, dialog);
    // A position that is no position stays in the dialog, told.
    if (const std::string fault = CheckDeployment(given); !fault.empty()) {
      Error_Message("The deployment's " + fault + ".");
      return DialogStep::Continue;
    }
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
