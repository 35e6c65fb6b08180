// SPDX-License-Identifier: GPL-3.0-or-later
// The ship's data of the window's runs: the thermosalinograph, CTD and
// valve lines read beside the instrument (io/ancillary.h).
//
// Up to kShipDataRows sources are remembered in the [ShipData] section of
// the settings (SourceN=, IdN=, FieldsN=, BaudN=, and ValveSchedule=),
// chosen in the Ship Data dialog (Configure > Ship Data...) and opened at
// the start of each live run; sources that cannot be opened are told, and
// the run goes on without them (as it does when a source falls silent).
#pragma once

#include <optional>
#include <vector>

#include "app/app.h"
#include "common/status.h"
#include "io/ancillary.h"
#include "session/session.h"

namespace sondrix {

inline constexpr int kShipDataRows = 4;

struct ShipDataSetting {
  std::vector<AncillarySpec> sources;  // each with its field map
  std::optional<ValveSchedule> valveSchedule;
  bool operator==(const ShipDataSetting&) const = default;
};

// The remembered setting; a row whose source or field map cannot be read
// is left out (and logged).
ShipDataSetting LoadShipDataSetting();
void StoreShipDataSetting(const ShipDataSetting& setting);

// What is wrong with a setting as the dialog's rows give it, in words
// naming the row ("" when nothing is): a row without its field map, a data
// id of more than one word, a valve field beside a schedule.
std::string ShipDataProblem(const ShipDataSetting& setting);

// The Ship Data dialog with the remembered setting; OK checks it, tries the
// sources and remembers them (sources that cannot be opened now are kept
// only when the user says so). 1, -1021 when cancelled, or the panel's
// failure to load.
Status ShipData_Configure();

// The remembered sources opened for a live run into `setup`, with the
// valve's schedule; sources that cannot be opened are told (logged when
// the run is unattended) and left out.
void ShipData_OpenForRun(const App& app, RunSetup& setup);

}  // namespace sondrix
