// SPDX-License-Identifier: GPL-3.0-or-later
// The deployment metadata of the window's runs (cruise, station, cast,
// investigators, affiliation, contact, experiment, a note): remembered in
// the [Deployment] section of the settings, edited in the Deployment dialog
// (Configure > Deployment...), offered before a run that has none, and
// written into each recording's companion.
#pragma once

#include "app/app.h"
#include "common/status.h"
#include "datafile/companion.h"

namespace sondrix {

// The values remembered in the settings, and storing them.
Deployment LoadDeployment();
void StoreDeployment(const Deployment& deployment);

// The Deployment dialog, showing the values remembered; OK remembers what
// it shows. 1, -1021 when cancelled (or closed), or the panel's failure to
// load.
Status Deployment_Configure();

// Before a run that records: when every value is empty the dialog is
// offered once (an unattended run offers nothing); Cancel lets the run go
// on without. The values for the run.
Deployment Deployment_ForRun(const App& app);

}  // namespace sondrix
