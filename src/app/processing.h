// SPDX-License-Identifier: GPL-3.0-or-later
// How File > Process... corrects a recording into a Level-2 file, and
// Display > Corrected Values the run going on (processing/processor.h,
// docs/processing.md): the choices of the
// Processing dialog (Configure > Processing...), kept as text in the
// [Processing] section of the settings; an empty choice takes the default
// (the run's own values, the built-in table).
#pragma once

#include <string>

#include "app/app.h"
#include "common/status.h"
#include "processing/processor.h"
#include "processing/profiles.h"

namespace sondrix {

struct ProcessingChoices {
  int scatter = 0;  // 0: the meter's default, 1 none, 2 baseline, 3 proportional
  std::string temperature, salinity, tCal, referenceWavelength, lagC, lagAncillary, table;
  // Underway (processing/underway.h): File > Process... adds the
  // particulate values; the flushing seconds and the POC coefficient.
  bool underway = false;
  std::string flush, poc, jumpAlarm;
  // File > Process...: the seconds of a time bin (empty: a row per sample).
  std::string bin;
  bool operator==(const ProcessingChoices&) const = default;
};

ProcessingChoices LoadProcessingChoices();
void StoreProcessingChoices(const ProcessingChoices& choices);

// The choices as the processing takes them, the coefficient table loaded.
// False with `error` naming the choice that is none ("Salinity: \"x\" is
// no number").
bool ProcessingSettingsOf(const ProcessingChoices& choices, ProcessingSettings& settings, std::string& error);
// The underway settings of the choices (checked as ProcessingSettingsOf
// checks them).
UnderwaySettings UnderwaySettingsOf(const ProcessingChoices& choices);
// The seconds of the choices' time bins; none: a row per sample.
std::optional<double> TimeBinOf(const ProcessingChoices& choices);

// The profiles' settings of [Profiles] in Sondrix.ini (an empty or missing
// key: the default); false with `error` naming a value that cannot be one
// ("BinSize \"x\" is no number").
bool LoadProfileSettings(ProfileSettings& settings, std::string& error);

// The Profiles dialog (Configure > Profiles...) with the [Profiles]
// settings; OK checks them (a value that cannot be one is told and the
// dialog stays) and keeps them. 1, -1021 when cancelled.
Status Profiles_Configure();

// The Processing dialog with the remembered choices; OK checks them and
// remembers them (a choice that is none is told and the dialog stays).
// 1, -1021 when cancelled, or the panel's failure to load.
Status Processing_Configure();

// Display > Corrected Values: `on` shows the lines of the source open
// corrected live by the remembered choices (the Ship Data setting's
// sources counted as giving what their field maps name), off shows them
// as measured. Choices the meter's lines cannot be corrected with are
// told, and the measured values stay.
void CorrectedValues_Show(App& app, bool on);
// Display > Cast Profiles: `on` shows the depth graph's cast profiles by
// the [Profiles] settings (a value that cannot be one is told, and they
// stay off).
void CastProfiles_Show(App& app, bool on);

// Display > Particulate Values (Underway): the same with the underway
// processing, the particulate values of whole water against the last
// filtered period (provisional).
void ParticulateValues_Show(App& app, bool on);

}  // namespace sondrix
