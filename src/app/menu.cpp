// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/menu.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>

#include "app/acquire.h"
#include "app/deployment.h"
#include "app/network.h"
#include "app/position.h"
#include "app/processing.h"
#include "app/ship_data.h"
#include "app/main_window.h"
#include "app/recording.h"
#include "common/errors.h"
#include "common/progress.h"
#include "common/utils.h"
#include "common/panels.h"
#include "common/settings.h"
#include "common/version.h"
#include "display/color_scheme.h"
#include "display/graph.h"
#include "display/graph_kinds.h"
#include "export/export.h"
#include "meter/source_factory.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::Attr;
using platform::Cursor;

void ShowGraph(App& app, int type) {
  app.display().ShowGraph(type);
  app.display().WriteConfig();
  FitWindow(app);
}

// The split view: one graph, two or four.
void ShowPanes(App& app, int count) {
  app.display().SetPaneCount(count);
  app.display().WriteConfig();
  FitWindow(app);
}

// Releases the trace button shown pressed, unless it is `control` (the
// all-traces button has no pressed state of its own).
void ReleasePrevChannel(App& app, int control) {
  if (app.prevChannel != control && app.prevChannel != p::kMainAllTraces)
    platform::ui().SetCtrlVal(app.mainPanel, app.prevChannel, 0);
}

void EditConfiguration(App& app) {
  Source* source = app.source();
  if (source == nullptr || app.sourceKind != kSourceKindDevice) {
    PromptEditConfig(kSourceKindDevice);
    return;
  }
  int changed = 0;
  source->EditConfig(changed);
  if (changed == 0) return;
  if (platform::ui().ConfirmPopup("Edit configuration", "Configuration changed.  Save it to a file?") != 0)
    source->SaveConfig();
  platform::ui().SetMouseCursor(Cursor::HourGlass);
  source->Reset();
  platform::ui().SetMouseCursor(Cursor::Default);
}

void SaveData(App& app) {
  DataFile* recording = app.session().recording();
  if (recording == nullptr) return;
  Error_Report(SaveScratchRecording(app, *recording));
}

// Prints and exported pictures are for paper and reports: in the day's
// colours, whatever the window wears, unless the settings ask for the
// night's (NightPictures).
std::shared_ptr<const platform::ColorLook> PicturesLook() {
  return SchemeLook(settings::NightPicturesOn() ? platform::ColorScheme::Night : platform::ColorScheme::Day);
}

void Print(App& app) {
  platform::PrintRequest request;
  request.look = PicturesLook();
  const int result = platform::ui().PrintPanel(app.mainPanel, request);
  if (result != 0 && result != platform::ui_status::kPrintCancelled) Error_Report(status::kPrintingFailed);
}

// The picture of the graph on show, as a PNG or PDF file, with a title, a
// legend of its traces and its axes' units.
void ExportGraph(App& app) {
  Graph* graph = app.display().current();
  if (graph == nullptr) return;
  const GraphKind* kind = GraphKindOfType(graph->GetType());
  if (kind == nullptr) return;
  std::string path;
  if (!settings::ChooseFile(settings::kDataDirectory, platform::FileDialogMode::Save, "*.png", "Export graph to file:",
                            path, "*.png;*.pdf"))
    return;
  settings::RememberDirectory(settings::kDataDirectory, path);
  if (!MayOverwrite("Export graph", path)) return;
  platform::GraphPicture picture = app.display().Picture();
  picture.look = PicturesLook();
  if (platform::ui().ExportGraphImage(app.mainPanel, kind->control, path, picture) < 0)
    Error_Report(status::kWriteFailed);
}

void TellExport(std::string_view text) {
  const std::array<std::string, 1> ok = {"OK"};
  platform::ui().GenericMessagePopup("Export data", text, ok);
}

// What File > Export Data..., Process... and Export Profiles... write.
enum class ExportKind { kExport, kProcess, kProfiles };

// A data file written as NetCDF, SeaBASS or CSV (docs/export.md), with
// kProcess corrected into a Level-2 file by the Processing choices
// (docs/processing.md), with kProfiles its casts binned by depth after the
// same corrections ([Profiles] in Sondrix.ini; docs/processing.md
// "Profiles"): the data file (the recording just saved offered first),
// then the output, whose extension chooses the format. A bar shows how far
// a long file has come; Cancel stops it and leaves no output.
void ExportData(App& app, ExportKind kind) {
  const bool process = kind != ExportKind::kExport;
  const bool profiles = kind == ExportKind::kProfiles;
  const std::string verb = profiles ? "Export profiles of" : process ? "Process" : "Export";
  ExportOptions options;
  ProfileSettings profileSettings;
  if (profiles) {
    std::string error;
    if (!LoadProfileSettings(profileSettings, error)) {
      Error_Message("[Profiles] " + error + " in Sondrix.ini.");
      return;
    }
  }
  if (process) {
    // The choices are checked before any file is asked for.
    ProcessingSettings settings;
    std::string error;
    const ProcessingChoices choices = LoadProcessingChoices();
    if (!ProcessingSettingsOf(choices, settings, error)) {
      Error_Message(error + ".\nConfigure > Processing... sets the choices.");
      return;
    }
    options.processing = std::move(settings);
    if (choices.underway && !profiles) options.underway = UnderwaySettingsOf(choices);
    if (!profiles) options.binSeconds = TimeBinOf(choices);
  }
  std::string input;
  const std::string& saved = app.lastSavedRecording;
  if (!settings::ChooseFile(settings::kDataDirectory, platform::FileDialogMode::Load, saved.empty() ? "*.dat" : saved,
                            verb + " data file:", input, "*.dat"))
    return;
  settings::RememberDirectory(settings::kDataDirectory, input);
  std::string output;
  std::string offered = NameFromPath(ExportPathFor(input, ExportFormats().front().format));
  if (process) offered.insert(offered.rfind('.'), profiles ? "_profiles" : "_L2");
  const auto extensionAndLabel = [](std::string_view between) {
    return [between](const ExportFormatRow& row) {
      return std::string(row.extension) + std::string(between) + std::string(row.label);
    };
  };
  // "Export as (.nc NetCDF, .sb SeaBASS, .csv CSV):", "*.nc;*.sb;*.csv".
  const std::string title = (profiles ? "Profiles into (" : process ? "Process into (" : "Export as (") +
                            ListExportFormats(extensionAndLabel(" "), ", ", ", ") + "):";
  const std::string filter =
      ListExportFormats([](const ExportFormatRow& row) { return "*" + std::string(row.extension); }, ";", ";");
  if (!settings::ChooseFile(settings::kDataDirectory, platform::FileDialogMode::Save, offered, title, output, filter))
    return;
  if (!ExportFormatOfExtension(std::filesystem::path(output).extension().string(), options.format)) {
    TellExport("Give the file the extension of its format: " + ListExportFormats(extensionAndLabel(" for "), ", ", ", ") +
               ".");
    return;
  }
  if (!MayOverwrite("Export data", output)) return;
  options.force = true;
  options.invocation = profiles  ? "Sondrix, File > Export Profiles"
                       : process ? "Sondrix, File > Process"
                                 : "Sondrix, File > Export Data";
  const std::string text = (profiles ? "Binning the casts of " : process ? "Processing " : "Exporting ") +
                           NameFromPath(input) + "...";
  ProgressMessage message(text);
  options.progress = [&](double fraction) {
    message.Update(text, fraction);
    return !message.Cancels(platform::ui().GetUserEvent(false));
  };
  platform::ui().SetMouseCursor(platform::Cursor::HourGlass);
  const ExportResult result =
      profiles ? ExportProfiles(input, output, options, profileSettings) : ExportDataFile(input, output, options);
  platform::ui().SetMouseCursor(platform::Cursor::Default);
  if (result.status == status::kCancelled) return;
  if (result.status != status::kOk) {
    // The processing's reasons name the command line's options ("(--salinity)").
    const bool namesOption = process && result.message.find("(--") != std::string::npos;
    Error_Message(namesOption ? result.message + ".\nConfigure > Processing... gives what the options give."
                              : result.message);
    return;
  }
  if (profiles) {
    std::string done = std::to_string(result.profiles) + " profiles of " + std::to_string(result.casts.size()) +
                       " casts written to";
    for (const std::string& file : result.outputs) done += "\n" + file;
    TellExport(done + ".");
    return;
  }
  std::string done = std::to_string(result.samples) + (process ? " samples processed to " : " samples exported to ") +
                     output + ".";
  if (process) done += "\nQuality flags: " + FlagSummary(result) + ".";
  if (const std::string rows = RowsSummary(result); !rows.empty()) done += "\nWritten: " + rows + ".";
  if (const std::string flow = FlowSummary(result); process && !flow.empty()) done += "\nUnderway: " + flow + ".";
  if (result.damaged > 0) done += "\n" + std::to_string(result.damaged) + " damaged lines of the data file were left out.";
  if (std::string positions = PositionSummary(result); !positions.empty()) {
    positions[0] = 'P';  // "positions: ..."
    done += "\n" + positions + ".";
  }
  if (std::string ship = AncillarySummary(result); !ship.empty()) {
    ship[0] = 'S';  // "ship's data: ..."
    done += "\n" + ship + ".";
  }
  TellExport(done);
}

void ConfigureDisplay(App& app) {
  const Status result = app.display().UserConfigure();
  if (result != status::kOk && result != status::kCancelled) {
    Error_Report(result);
    return;
  }
  ReleasePrevChannel(app, 0);
  app.display().WriteConfig();
}

void ConfigureAcquisition(App& app) {
  const Status result = Acquire_Configure2(app);
  if (result != status::kOk && result != status::kCancelled) {
    Error_Report(result);
    return;
  }
  app.display().WriteConfig();
}

}  // namespace

Status Menu_Init(App& app) {
  platform::Ui& ui = platform::ui();
  const int panel = ui.LoadPanel(0, p::kMain);
  if (panel <= 0) return status::kPanelLoadFailed;
  const int menuBar = ui.GetPanelMenuBar(panel);
  if (menuBar <= 0) {
    ui.DiscardPanel(panel);
    return status::kPanelLoadFailed;
  }
  app.mainPanel = panel;
  app.menuBar = menuBar;
  // The program's name and release in the corner, from the build's version
  // (the resource file's text is only its default).
  ui.SetCtrlVal(panel, p::kMainDiagnostics, std::string("Sondrix " SONDRIX_RELEASE));
  return status::kOk;
}

void Menu_Enable(const App& app, int item, bool on) {
  platform::Ui& ui = platform::ui();
  if (item != -1) {
    // Only a change is passed on: the main loop sets the items on every pass.
    platform::CtrlValue dimmed;
    if (ui.GetMenuBarAttribute(app.menuBar, item, Attr::Dimmed, dimmed) >= 0 &&
        platform::CtrlValueInt(dimmed).value_or(-1) == (on ? 0 : 1))
      return;
  }
  ui.SetMenuBarAttribute(app.menuBar, item, Attr::Dimmed, on ? 0 : 1);
}

void Menu_CheckItem(const App& app, int item, bool on) {
  platform::ui().SetMenuBarAttribute(app.menuBar, item, Attr::Checked, on ? 1 : 0);
}

void ShowNightPalette(const App& app, bool on) {
  platform::ui().SetColorScheme(SchemeLook(on ? platform::ColorScheme::Night : platform::ColorScheme::Day));
  Menu_CheckItem(app, p::kMenuNightPalette, on);
}

void ShowAbout() {
  const std::array<std::string, 1> ok = {"OK"};
  platform::ui().GenericMessagePopup(
      "About Sondrix",
      "Sondrix ver " SONDRIX_RELEASE "\n\nAcquisition, display, recording and calibration for in-water optical "
      "absorption and attenuation meters.",
      ok);
}

void Menu_HandleEvent(App& app, int item) {
  if (const GraphKind* kind = GraphKindOfMenuItem(item)) {
    ShowGraph(app, kind->type);
    return;
  }
  switch (item) {
    case p::kMenuSingleGraph: ShowPanes(app, 1); return;
    case p::kMenuTwoGraphs: ShowPanes(app, 2); return;
    case p::kMenuFourGraphs: ShowPanes(app, kMaxPanes); return;
    case p::kMenuNew: DoNew(app); return;
    case p::kMenuOpenDevice: PromptOpenSource(app, kSourceKindDevice); return;
    case p::kMenuOpenDataFile: PromptOpenSource(app, kSourceKindFile); return;
    case p::kMenuSaveData: SaveData(app); return;
    case p::kMenuEditConfig: EditConfiguration(app); return;
    case p::kMenuExit: app.quit = true; return;
    case p::kMenuRecallGraph:
      // The recalled pictures stay: no graph is drawn from the last run over them.
      if (RecallPanel(app.mainPanel) == 1) app.display().ForgetRun();
      platform::ui().DisplayPanel(app.mainPanel);
      return;
    case p::kMenuSaveGraph: SavePanel(app.mainPanel); return;
    case p::kMenuPrint: Print(app); return;
    case p::kMenuExportGraph: ExportGraph(app); return;
    case p::kMenuExportData: ExportData(app, ExportKind::kExport); return;
    case p::kMenuProcess: ExportData(app, ExportKind::kProcess); return;
    case p::kMenuExportProfiles: ExportData(app, ExportKind::kProfiles); return;
    case p::kMenuCastProfiles: CastProfiles_Show(app, app.display().liveCasts() == nullptr); return;
    case p::kMenuCastList: {
      const std::string list = app.display().CastList();
      const std::array<std::string, 1> ok = {"OK"};
      platform::ui().GenericMessagePopup("Cast List",
                                         list.empty() ? "Display > Cast Profiles finds the run's casts." : list, ok);
      return;
    }
    case p::kMenuProcessing: {
      const Status result = Processing_Configure();
      if (result != status::kCancelled) Error_Report(result);
      // Corrected or particulate values on show follow the new choices.
      if (result == status::kOk && app.display().correctedValues())
        (app.display().particulateValues() ? ParticulateValues_Show : CorrectedValues_Show)(app, true);
      return;
    }
    case p::kMenuProfiles: {
      const Status result = Profiles_Configure();
      if (result != status::kCancelled) Error_Report(result);
      // Cast profiles on show follow the new settings.
      if (result == status::kOk && app.display().liveCasts() != nullptr) CastProfiles_Show(app, true);
      return;
    }
    case p::kMenuCorrectedValues:
      CorrectedValues_Show(app, !app.display().correctedValues() || app.display().particulateValues());
      return;
    case p::kMenuParticulateValues: ParticulateValues_Show(app, !app.display().particulateValues()); return;
    case p::kMenuConfigDisplay:
    case p::kMenuGraphSettings: ConfigureDisplay(app); return;
    case p::kMenuConfigAcquisition: ConfigureAcquisition(app); return;
    case p::kMenuAbout: ShowAbout(); return;
    case p::kMenuDeployment: {
      const Status result = Deployment_Configure();
      if (result != status::kCancelled) Error_Report(result);
      return;
    }
    case p::kMenuPosition: {
      const Status result = Position_Configure();
      if (result != status::kCancelled) Error_Report(result);
      return;
    }
    case p::kMenuShipData: {
      const Status result = ShipData_Configure();
      if (result != status::kCancelled) Error_Report(result);
      return;
    }
    case p::kMenuNetwork: {
      const Status result = Network_Configure();
      if (result != status::kCancelled) Error_Report(result);
      return;
    }
    case p::kMenuMarkEvent: {
      const Status result = MarkEvent_Dialog(app);
      if (result != status::kCancelled && result != status::kWriteFailed) Error_Report(result);
      return;
    }
    case p::kMenuWholeRun:
      app.display().ToggleWholeRun();
      app.display().WriteConfig();
      return;
    case p::kMenuClockTime:
      app.display().SetClockTime(!app.display().clockTime());
      app.display().WriteConfig();
      return;
    case p::kMenuReconnect: {
      const bool on = !settings::ReconnectOn();
      settings::SetReconnect(on);
      Menu_CheckItem(app, p::kMenuReconnect, on);
      return;
    }
    case p::kMenuNightPalette: {
      // Remembered at once: the choice survives a crash as well as an exit.
      const bool on = platform::ui().GetColorScheme() != platform::ColorScheme::Night;
      ShowNightPalette(app, on);
      settings::SetNightPalette(on);
      return;
    }
    default: return;
  }
}

void FitWindow(App& app) {
  if (app.hasDisplay()) app.layout.panes = app.display().PaneControls();
  CheckPanelSize(app.mainPanel, app.layout);
}

namespace {

// The items a run leaves in reach beside the graphs' own, each as
// Menu_RunAllows judges it (Whole Run follows the graph on show).
constexpr int kRunItems[] = {p::kMenuSingleGraph,      p::kMenuTwoGraphs,          p::kMenuFourGraphs,
                             p::kMenuClockTime,        p::kMenuCorrectedValues,    p::kMenuParticulateValues,
                             p::kMenuGraphSettings,    p::kMenuConfigDisplay,      p::kMenuConfigAcquisition,
                             p::kMenuNightPalette,     p::kMenuExit,               p::kMenuMarkEvent,
                             p::kMenuCastProfiles,     p::kMenuCastList};

}  // namespace

bool Menu_RunAllows(const App& app, int item) {
  if (const GraphKind* kind = GraphKindOfMenuItem(item))
    return !kind->needsDepth || (app.source() != nullptr && app.source()->HasDepth() != 0);
  if (item == p::kMenuWholeRun) return true;
  if (item == p::kMenuMarkEvent) return app.run() != nullptr;
  return std::find(std::begin(kRunItems), std::end(kRunItems), item) != std::end(kRunItems);
}

void Menu_EnableForRun(App& app) {
  Menu_Enable(app, -1, false);
  for (const GraphKind& kind : GraphKinds()) {
    if (Menu_RunAllows(app, kind.menuItem)) Menu_Enable(app, kind.menuItem, true);
  }
  for (const int item : kRunItems) {
    if (Menu_RunAllows(app, item)) Menu_Enable(app, item, true);
  }
  // Whole Run as the graph on show has it.
  if (app.hasDisplay()) app.display().UpdateFollowControls();
}

void Menu_HandleRunEvent(App& app, int item) {
  if (Menu_RunAllows(app, item)) Menu_HandleEvent(app, item);
}

void PressTraceButton(App& app, int control) {
  platform::Ui& ui = platform::ui();
  Display& display = app.display();
  if (display.current() == display.graph(graph_type::kSpect2)) {
    ui.SetCtrlVal(app.mainPanel, control, 0);
    return;
  }
  ReleasePrevChannel(app, control);
  ui.SetCtrlVal(app.mainPanel, control, 1);
  ui.SetMouseCursor(Cursor::HourGlass);
  AutoZoomChannel(display, control - p::kMainLabel0);
  app.prevChannel = control;
  display.WriteConfig();
  ui.SetMouseCursor(Cursor::Default);
}

void Main_HandleEvent(App& app, int control) {
  Display& display = app.display();
  if (control >= p::kMainLabel0 && control < p::kMainLabel0 + kLabelSlots) {
    PressTraceButton(app, control);
    return;
  }
  if (control >= p::kMainPaneKind1 && control < p::kMainPaneKind1 + kMaxPanes) {
    // A pane's kind chooser.
    platform::CtrlValue type = 0;
    if (platform::ui().GetCtrlVal(app.mainPanel, control, type) < 0) return;
    display.SetPaneKind(control - p::kMainPaneKind1, platform::CtrlValueInt(type).value_or(0));
    display.WriteConfig();
    FitWindow(app);
    return;
  }
  switch (control) {
    case p::kMainAllTraces:
      ReleasePrevChannel(app, control);
      platform::ui().SetMouseCursor(Cursor::HourGlass);
      AutoZoomChannel(display, -1);
      app.prevChannel = control;
      display.WriteConfig();
      platform::ui().SetMouseCursor(Cursor::Default);
      return;
    case p::kMainTracePrev:
    case p::kMainTraceNext:
      // The labels of another page: none of them is the one pressed.
      display.SetLabelPage(display.labelPage() + (control == p::kMainTraceNext ? 1 : -1));
      return;
    case p::kMainZoomIn: ZoomGraph(display, 0.5); return;
    case p::kMainZoomOut: ZoomGraph(display, 2.0); return;
    case p::kMainMove1: MoveGraph(display, -0.25); return;
    case p::kMainMove2: MoveGraph(display, 0.25); return;
    case p::kMainFollow: display.ResumeFollow(); return;
    default: return;
  }
}

}  // namespace sondrix
