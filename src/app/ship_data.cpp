// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ship_data.h"

#include <algorithm>
#include <array>
#include <string>

#include "app/position.h"
#include "common/log.h"
#include "common/panels.h"
#include "common/settings.h"
#include "display/graph_control.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

namespace p = panels;

// The dialog's controls of row k (0 ... kShipDataRows - 1).
struct Row {
  int source, id, fields, baud;
};
Row RowOf(int k) { return {p::kShipSource1 + k, p::kShipId1 + k, p::kShipFields1 + k, p::kShipBaud1 + k}; }

std::string Key(std::string_view name, int row) { return std::string(name) + std::to_string(row + 1); }

// The dialog's rows as the operator left them: a row without a source is
// no row; a field map that cannot be read is told.
std::string ReadRows(int dialog, ShipDataSetting& setting) {
  platform::Ui& ui = platform::ui();
  for (int k = 0; k < kShipDataRows; ++k) {
    const Row row = RowOf(k);
    AncillarySpec spec;
    spec.source = ui.GetCtrlText(dialog, row.source);
    if (spec.source.empty()) continue;
    spec.id = ui.GetCtrlText(dialog, row.id);
    spec.baud = ui.GetCtrlInt(dialog, row.baud);
    const std::string fields = ui.GetCtrlText(dialog, row.fields);
    std::string error;
    if (!fields.empty() && !ParseFieldMap(fields, spec.map, error))
      return "Source " + std::to_string(k + 1) + " (" + spec.source + "), fields: " + error;
    setting.sources.push_back(std::move(spec));
  }
  const std::string schedule = ui.GetCtrlText(dialog, p::kShipValve);
  if (!schedule.empty()) {
    ValveSchedule parsed;
    std::string error;
    if (!ParseValveSchedule(schedule, parsed, error)) return "Valve schedule: " + error;
    setting.valveSchedule = parsed;
  }
  return ShipDataProblem(setting);
}

std::string Hint() {
  return "A source: COM2 ... COM8 or a device path (with its baud), udp:PORT, or udp:PORT:shared. Data id: the "
         "word its lines start with (empty: every line). Fields: which field, counted after the id and the time, "
         "holds which quantity, e.g. temperature=1,salinity=3 (" +
         QuantityList() + "; valve=line when the whole line says the valve's state).";
}

}  // namespace

ShipDataSetting LoadShipDataSetting() {
  ShipDataSetting setting;
  for (int k = 0; k < kShipDataRows; ++k) {
    AncillarySpec spec;
    spec.source = settings::Get(settings::kShipData, Key(settings::kShipDataSource, k), {}, 0);
    if (spec.source.empty()) continue;
    spec.id = settings::Get(settings::kShipData, Key(settings::kShipDataId, k), {}, 0);
    const int baud = settings::GetInt(settings::kShipData, Key(settings::kShipDataBaud, k),
                                      static_cast<int>(kDefaultAncillaryBaud));
    spec.baud = baud > 0 ? baud : kDefaultAncillaryBaud;
    std::string error;
    if (!ParseFieldMap(settings::Get(settings::kShipData, Key(settings::kShipDataFields, k), {}, 0), spec.map,
                       error)) {
      SONDRIX_LOG(Warn, "Sondrix.ini [ShipData] %s: %s; the source is left out", Key(settings::kShipDataFields, k).c_str(),
                  error.c_str());
      continue;
    }
    setting.sources.push_back(std::move(spec));
  }
  const std::string schedule = settings::Get(settings::kShipData, settings::kShipDataValveSchedule, {}, 0);
  ValveSchedule parsed;
  std::string error;
  if (!schedule.empty() && ParseValveSchedule(schedule, parsed, error)) setting.valveSchedule = parsed;
  return setting;
}

void StoreShipDataSetting(const ShipDataSetting& setting) {
  for (int k = 0; k < kShipDataRows; ++k) {
    const auto index = static_cast<std::size_t>(k);
    const AncillarySpec spec = index < setting.sources.size() ? setting.sources[index] : AncillarySpec{};
    settings::Set(settings::kShipData, Key(settings::kShipDataSource, k), spec.source);
    settings::Set(settings::kShipData, Key(settings::kShipDataId, k), spec.id);
    settings::Set(settings::kShipData, Key(settings::kShipDataFields, k), FieldMapText(spec.map));
    settings::SetInt(settings::kShipData, Key(settings::kShipDataBaud, k),
                     static_cast<int>(spec.source.empty() ? kDefaultAncillaryBaud : spec.baud));
  }
  settings::Set(settings::kShipData, settings::kShipDataValveSchedule,
                setting.valveSchedule ? setting.valveSchedule->Text() : std::string());
}

std::string ShipDataProblem(const ShipDataSetting& setting) {
  bool valveField = false;
  for (std::size_t k = 0; k < setting.sources.size(); ++k) {
    const AncillarySpec& spec = setting.sources[k];
    const std::string row = "Source " + std::to_string(k + 1) + " (" + spec.source + ")";
    if (spec.map.fields.empty()) return row + " needs its fields, e.g. temperature=1,salinity=3.";
    if (!spec.id.empty() && !IsDataId(spec.id)) return row + ": a data id is one word.";
    valveField = valveField || spec.map.Has(Quantity::kValve);
  }
  if (valveField && setting.valveSchedule)
    return "The valve's state comes from a source's field or from the schedule, not both.";
  return {};
}

Status ShipData_Configure() {
  platform::Ui& ui = platform::ui();
  const auto fill = [&ui](int dialog) {
    const ShipDataSetting remembered = LoadShipDataSetting();
    for (int k = 0; k < kShipDataRows && k < static_cast<int>(remembered.sources.size()); ++k) {
      const AncillarySpec& spec = remembered.sources[static_cast<std::size_t>(k)];
      const Row row = RowOf(k);
      ui.SetCtrlVal(dialog, row.source, spec.source);
      ui.SetCtrlVal(dialog, row.id, spec.id);
      ui.SetCtrlVal(dialog, row.fields, FieldMapText(spec.map));
      ui.SetCtrlVal(dialog, row.baud, static_cast<int>(spec.baud));
    }
    if (remembered.valveSchedule) ui.SetCtrlVal(dialog, p::kShipValve, remembered.valveSchedule->Text());
    ui.SetCtrlVal(dialog, p::kShipHint, Hint());
    ui.SetCtrlVal(dialog, p::kShipNote,
                  "e.g. 60,10,0: filtered from :00 to :10 each hour. Without a temperature source, the "
                  "nine-wavelength meter's external temperature is the water's.");
  };
  return RunDialog(p::kShipData, fill, [&ui](int dialog, int control) {
    const DialogStep step = FormStep(control, p::kShipOk, p::kShipCancel, p::kShipValve);
    if (step != DialogStep::Ok) return step;
    ShipDataSetting given;
    if (const std::string problem = ReadRows(dialog, given); !problem.empty()) {
      const std::string ok[] = {"OK"};
      ui.GenericMessagePopup("Ship Data", problem, ok);
      return DialogStep::Continue;
    }
    if (!given.sources.empty()) {
      std::string why;
      if (OpenAncillarySources(given.sources, why).empty() &&
          ui.ConfirmPopup("Ship Data", "A ship's data source cannot be opened now:\n" + why +
                                           "\n\nKeep the sources anyway? Each run will try them again.") == 0)
        return DialogStep::Continue;
    }
    StoreShipDataSetting(given);
    return DialogStep::Ok;
  });
}

void ShipData_OpenForRun(const App& app, RunSetup& setup) {
  const ShipDataSetting setting = LoadShipDataSetting();
  setup.valveSchedule = setting.valveSchedule;
  // Each link on its own (the data ids that share it together), so that
  // one that cannot be opened leaves the others reading.
  std::vector<std::vector<AncillarySpec>> links;
  for (const AncillarySpec& spec : setting.sources) {
    auto same = std::find_if(links.begin(), links.end(),
                             [&spec](const std::vector<AncillarySpec>& link) { return link.front().source == spec.source; });
    if (same == links.end()) links.push_back({spec});
    else same->push_back(spec);
  }
  for (const std::vector<AncillarySpec>& link : links) {
    std::string why;
    std::vector<std::unique_ptr<AncillarySource>> opened = OpenAncillarySources(link, why);
    if (opened.empty()) {
      TellBeforeRun(app, "The ship's data source " + link.front().source + " cannot be opened: " + why +
                             ".\nThe run goes on without it (Configure > Ship Data... chooses another).");
      continue;
    }
    for (std::unique_ptr<AncillarySource>& source : opened) setup.ancillary.push_back(std::move(source));
  }
}

}  // namespace sondrix
