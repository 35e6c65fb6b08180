// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/processing.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <cmath>
#include <functional>
#include <optional>
#include <utility>

#include "app/ship_data.h"
#include "common/errors.h"
#include "common/panels.h"
#include "common/settings.h"
#include "display/graph_control.h"
#include "platform/ui.h"
#include "processing/profiles.h"
#include "processing/statistics.h"

namespace sondrix {
namespace {

namespace p = panels;

// The numbers of the choices, each optional (an empty choice).
struct Numbers {
  std::optional<double> temperature, salinity, tCal, referenceWavelength, lagC, lagAncillary, flush, poc, jumpAlarm,
      bin;
};

// Each text choice: its key in the settings, its control, what the
// messages call it, and for a number where it goes and what it must be.
struct TextChoice {
  std::string ProcessingChoices::*member;
  std::string_view key;
  int control;
  std::string_view name;
  std::optional<double> Numbers::*number = nullptr;
  std::function<std::string(double)> problem;
};

std::string Any(double) { return {}; }

const std::vector<TextChoice>& TextChoices() {
  using C = ProcessingChoices;
  static const std::vector<TextChoice> choices = {
      {&C::temperature, "Temperature", p::kProcTemperature, "Water temperature", &Numbers::temperature,
       WaterTemperatureProblem},
      {&C::salinity, "Salinity", p::kProcSalinity, "Salinity", &Numbers::salinity, SalinityProblem},
      {&C::tCal, "TCal", p::kProcTCal, "Calibration temperature", &Numbers::tCal, WaterTemperatureProblem},
      {&C::referenceWavelength, "ReferenceWavelength", p::kProcRefWavelength, "Reference wavelength",
       &Numbers::referenceWavelength, [](double nm) { return nm <= 0.0 ? std::string("not a wavelength") : std::string(); }},
      {&C::lagC, "LagC", p::kProcLagC, "c lags a by", &Numbers::lagC, Any},
      {&C::lagAncillary, "LagAncillary", p::kProcLagAncillary, "Ship's data lags by", &Numbers::lagAncillary, Any},
      {&C::flush, "Flush", p::kProcFlush, "Flushing", &Numbers::flush, FlushProblem},
      {&C::poc, "PocCoefficient", p::kProcPoc, "POC coefficient", &Numbers::poc, PocCoefficientProblem},
      {&C::jumpAlarm, "JumpAlarm", p::kProcJumpAlarm, "Alarm at a filtered jump of", &Numbers::jumpAlarm,
       [](double j) { return j <= 0.0 ? std::string("not a positive difference") : std::string(); }},
      {&C::bin, "BinSeconds", p::kProcBin, "Time bins of", &Numbers::bin, TimeBinProblem},
      {&C::table, "Table", p::kProcTable, "Coefficients", nullptr, {}},
  };
  return choices;
}
constexpr std::string_view kScatterKey = "Scatter";
constexpr std::string_view kUnderwayKey = "Underway";

// A number of the text (blanks around it allowed); none for an empty text.
// False for a text that is no finite number.
bool ReadNumber(std::string_view text, std::optional<double>& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  value.reset();
  if (text.empty()) return true;
  double parsed = 0.0;
  const auto [end, failed] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (failed != std::errc() || end != text.data() + text.size() || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

}  // namespace

ProcessingChoices LoadProcessingChoices() {
  ProcessingChoices choices;
  choices.scatter = settings::GetInt(settings::kProcessing, kScatterKey, 0);
  if (choices.scatter < 0 || choices.scatter > 3) choices.scatter = 0;
  choices.underway = settings::GetInt(settings::kProcessing, kUnderwayKey, 0) != 0;
  for (const TextChoice& c : TextChoices()) choices.*c.member = settings::Get(settings::kProcessing, c.key, {}, 0);
  return choices;
}

void StoreProcessingChoices(const ProcessingChoices& choices) {
  settings::SetInt(settings::kProcessing, kScatterKey, choices.scatter);
  settings::SetInt(settings::kProcessing, kUnderwayKey, choices.underway ? 1 : 0);
  for (const TextChoice& c : TextChoices()) settings::Set(settings::kProcessing, c.key, choices.*c.member);
}

namespace {

// The numbers of the choices; false with `error` naming one that is none.
bool ReadNumbers(const ProcessingChoices& choices, Numbers& numbers, std::string& error) {
  for (const TextChoice& c : TextChoices()) {
    if (c.number == nullptr) continue;
    const std::string& text = choices.*c.member;
    std::optional<double>& value = numbers.*c.number;
    if (!ReadNumber(text, value)) {
      error = std::string(c.name) + ": \"" + text + "\" is no number";
      return false;
    }
    if (const std::string why = value ? c.problem(*value) : std::string(); !why.empty()) {
      error = std::string(c.name) + " " + text + ": " + why;
      return false;
    }
  }
  return true;
}

}  // namespace

UnderwaySettings UnderwaySettingsOf(const ProcessingChoices& choices) {
  Numbers numbers;
  std::string ignored;
  ReadNumbers(choices, numbers, ignored);
  UnderwaySettings underway;
  underway.flushSeconds = numbers.flush.value_or(underway.flushSeconds);
  underway.pocCoefficient = numbers.poc;
  underway.jumpAlarm = numbers.jumpAlarm.value_or(underway.jumpAlarm);
  return underway;
}

std::optional<double> TimeBinOf(const ProcessingChoices& choices) {
  Numbers numbers;
  std::string ignored;
  ReadNumbers(choices, numbers, ignored);
  return numbers.bin;
}

namespace {

// The profiles' settings: their keys in [Profiles], the dialog's text
// fields, and what each may be.
struct ProfileNumber {
  std::string_view key;
  int control;
  std::string (*problem)(double);
};
constexpr ProfileNumber kProfileNumbers[] = {
    {"BinSize", p::kProfBinSize, BinSizeProblem},     {"Smooth", p::kProfSmooth, SmoothProblem},
    {"Surface", p::kProfSurface, SurfaceProblem},     {"LagDepth", p::kProfLagDepth, LagDepthProblem},
    {"MinCount", p::kProfMinCount, MinCountProblem},
};
constexpr std::array<CastPart, 3> kProfileParts = {CastPart::kDown, CastPart::kUp, CastPart::kBoth};

// The settings of the texts `text(key)` (the numbers', "Statistic" and
// "Cast"); false with `error` naming one that cannot be.
bool ProfileSettingsOf(const std::function<std::string(std::string_view)>& text, ProfileSettings& settings,
                       std::string& error) {
  settings = ProfileSettings{};
  double minCount = static_cast<double>(settings.minCount);
  double* targets[] = {&settings.binSize, &settings.casts.smoothSeconds, &settings.casts.surface,
                       &settings.lagDepthSeconds, &minCount};
  for (std::size_t k = 0; k < std::size(kProfileNumbers); ++k) {
    const ProfileNumber& n = kProfileNumbers[k];
    const std::string given = text(n.key);
    std::optional<double> value;
    if (!ReadNumber(given, value)) {
      error = std::string(n.key) + " \"" + given + "\" is no number";
      return false;
    }
    if (!value) continue;
    if (const std::string why = n.problem(*value); !why.empty()) {
      error = std::string(n.key) + " " + given + ": " + why;
      return false;
    }
    *targets[k] = *value;
  }
  settings.minCount = static_cast<long>(minCount);
  const std::string statistic = text("Statistic"), part = text("Cast");
  if (!statistic.empty() && !ParseBinStatistic(statistic, settings.statistic)) {
    error = "Statistic \"" + statistic + "\" is neither mean nor median";
    return false;
  }
  if (!part.empty() && !ParseCastPart(part, settings.part)) {
    error = "Cast \"" + part + "\" is neither down, up nor both";
    return false;
  }
  return true;
}

}  // namespace

bool LoadProfileSettings(ProfileSettings& settings, std::string& error) {
  return ProfileSettingsOf([](std::string_view key) { return settings::Get(settings::kProfiles, key, {}, 32); },
                           settings, error);
}

Status Profiles_Configure() {
  platform::Ui& ui = platform::ui();
  const auto fill = [&ui](int dialog) {
    for (const ProfileNumber& n : kProfileNumbers) ui.SetCtrlVal(dialog, n.control, settings::Get(settings::kProfiles, n.key, {}, 32));
    ProfileSettings remembered;
    std::string ignored;
    if (!LoadProfileSettings(remembered, ignored)) remembered = ProfileSettings{};
    ui.SetCtrlVal(dialog, p::kProfStatistic, remembered.statistic == BinStatistic::kMedian ? 1 : 0);
    ui.SetCtrlVal(dialog, p::kProfCast,
                  static_cast<int>(std::find(kProfileParts.begin(), kProfileParts.end(), remembered.part) -
                                   kProfileParts.begin()));
  };
  return RunDialog(p::kProfiles, fill, [&ui](int dialog, int control) {
    const DialogStep step = FormStep(control, p::kProfOk, p::kProfCancel, p::kProfMinCount);
    if (step != DialogStep::Ok) return step;
    std::map<std::string_view, std::string> given;
    for (const ProfileNumber& n : kProfileNumbers) given[n.key] = ui.GetCtrlText(dialog, n.control);
    given["Statistic"] = ui.GetCtrlInt(dialog, p::kProfStatistic) == 1 ? "median" : "mean";
    const int part = std::clamp(ui.GetCtrlInt(dialog, p::kProfCast), 0, 2);
    given["Cast"] = std::string(CastPartName(kProfileParts[static_cast<std::size_t>(part)]));
    ProfileSettings checked;
    std::string error;
    if (!ProfileSettingsOf([&given](std::string_view key) { return given[key]; }, checked, error)) {
      const std::string ok[] = {"OK"};
      ui.GenericMessagePopup("Profiles", error, ok);
      return DialogStep::Continue;
    }
    for (const auto& [key, value] : given) settings::Set(settings::kProfiles, key, value);
    return DialogStep::Ok;
  });
}

bool ProcessingSettingsOf(const ProcessingChoices& choices, ProcessingSettings& settings, std::string& error) {
  settings = ProcessingSettings{};
  Numbers numbers;
  if (!ReadNumbers(choices, numbers, error)) return false;
  settings.temperature = numbers.temperature;
  settings.salinity = numbers.salinity;
  settings.tCal = numbers.tCal;
  settings.referenceWavelength = numbers.referenceWavelength;
  settings.lagC = numbers.lagC.value_or(0.0);
  settings.lagAncillary = numbers.lagAncillary.value_or(0.0);
  static constexpr ScatterMethod kMethods[] = {ScatterMethod::kNone, ScatterMethod::kBaseline,
                                               ScatterMethod::kProportional};
  if (choices.scatter > 0) settings.scatter = kMethods[choices.scatter - 1];
  std::string why;
  if (!ChosenTable(choices.table, settings.table, why)) {
    error = "Coefficients: " + why;
    return false;
  }
  return true;
}

Status Processing_Configure() {
  platform::Ui& ui = platform::ui();
  const auto fill = [&ui](int dialog) {
    const ProcessingChoices remembered = LoadProcessingChoices();
    ui.SetCtrlVal(dialog, p::kProcScatter, remembered.scatter);
    ui.SetCtrlVal(dialog, p::kProcUnderway, remembered.underway ? 1 : 0);
    for (const TextChoice& c : TextChoices()) ui.SetCtrlVal(dialog, c.control, remembered.*c.member);
  };
  return RunDialog(p::kProcessing, fill, [&ui](int dialog, int control) {
    const DialogStep step = FormStep(control, p::kProcOk, p::kProcCancel, p::kProcTable);
    if (step != DialogStep::Ok) return step;
    ProcessingChoices given;
    given.scatter = ui.GetCtrlInt(dialog, p::kProcScatter);
    given.underway = ui.GetCtrlInt(dialog, p::kProcUnderway) != 0;
    for (const TextChoice& c : TextChoices()) given.*c.member = ui.GetCtrlText(dialog, c.control);
    ProcessingSettings checked;
    std::string error;
    if (!ProcessingSettingsOf(given, checked, error)) {
      const std::string ok[] = {"OK"};
      ui.GenericMessagePopup("Processing", error, ok);
      return DialogStep::Continue;
    }
    StoreProcessingChoices(given);
    return DialogStep::Ok;
  });
}

namespace {

// Corrected (or, with `underway`, particulate) values on show, or none.
void ShowProcessed(App& app, bool on, bool underway) {
  if (!app.hasDisplay()) return;
  Display& display = app.display();
  std::string error;
  if (!on) {
    display.ShowCorrected(std::nullopt, std::nullopt, error);
    return;
  }
  const std::string what = underway ? "Particulate values" : "Corrected values";
  const ProcessingChoices choices = LoadProcessingChoices();
  ProcessingSettings settings;
  if (!ProcessingSettingsOf(choices, settings, error)) {
    Error_Message(what + ": " + error + ".\nConfigure > Processing... sets the choices.");
    return;
  }
  for (const AncillarySpec& source : LoadShipDataSetting().sources) {
    settings.shipTemperature = settings.shipTemperature || source.map.Has(Quantity::kTemperature);
    settings.shipSalinity = settings.shipSalinity || source.map.Has(Quantity::kSalinity);
  }
  std::optional<UnderwaySettings> particulate;
  if (underway) particulate = UnderwaySettingsOf(choices);
  if (!display.ShowCorrected(std::move(settings), particulate, error))
    Error_Message(what + " cannot be shown: " + error +
                  ".\nConfigure > Processing... (and Configure > Ship Data... for the water's salinity) set what "
                  "they take.");
}

}  // namespace

void CorrectedValues_Show(App& app, bool on) { ShowProcessed(app, on, false); }

void CastProfiles_Show(App& app, bool on) {
  if (!app.hasDisplay()) return;
  ProfileSettings settings;
  std::string error;
  if (on && !LoadProfileSettings(settings, error)) {
    Error_Message("Cast profiles: [Profiles] " + error + " in Sondrix.ini.");
    on = false;
  }
  app.display().ShowCastProfiles(on ? std::optional<ProfileSettings>(settings) : std::nullopt);
}

void ParticulateValues_Show(App& app, bool on) { ShowProcessed(app, on, true); }

}  // namespace sondrix
