// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/acquire.h"

#include "app/capture_time.h"
#include "app/deployment.h"
#include "app/layout.h"
#include "app/menu.h"
#include "app/network.h"
#include "app/position.h"
#include "app/processing.h"
#include "app/recording.h"
#include "app/ship_data.h"
#include "app/skip_choice.h"
#include "app/window_title.h"
#include "common/errors.h"
#include "common/panels.h"
#include "common/settings.h"
#include "common/text_format.h"
#include "common/utils.h"
#include "datafile/data_file.h"
#include "datafile/track.h"
#include "display/graph_control.h"
#include "display/graph_kinds.h"
#include "display/trace_choice.h"
#include "io/rs232_port.h"
#include "meter/source_factory.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "session/acquisition.h"
#include "source/device.h"
#include "source/rudud.h"
#include "source/source_line.h"
#include "source/source_wait.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::Cursor;
using platform::EventType;
using platform::UserEvent;

void SetCursor(Cursor cursor) { platform::ui().SetMouseCursor(cursor); }

bool IsMainCommit(const App& app, const UserEvent& event) {
  return event.type == EventType::Commit && event.panel == app.mainPanel;
}

// A run's error, reported once. A serial device that went away (a USB
// adapter pulled out) says so in plain words.
void ReportRunError(Source& source, Status result, int breaks) {
  // Another instrument on a line that came back is told among the run's
  // notes.
  if (result == status::kSerialMismatch && breaks > 0) return;
  if (result == status::kGeneralIoError && SerialPortOf(source) != nullptr) {
    std::string port;
    source.GetPortname(port);
    Error_Message(StatusText(result) + "\nThe device on " + port +
                  " stopped answering (unplugged or switched off). The run was stopped; what it "
                  "recorded is kept. (With Configure > Reconnect When the Port Comes Back ticked, a "
                  "run waits for it instead.)");
    return;
  }
  Error_Report(result);
}

// A serial line that does not answer at the start of a run, and could not
// be opened again (Session::ResetSource): what is wrong and what to do.
bool ReportLineGone(Source& source, Status result) {
  const RS232Port* port = SerialPortOf(source);
  const bool gone = result == status::kGeneralIoError || result == status::kPortNotOpen ||
                    result == status::kCannotOpenPort || result == status::kInvalidPortNumber;
  if (port == nullptr || !gone) return false;
  std::string name;
  source.GetPortname(name);
  Error_Message(Format("%s does not answer, and opening it again failed:\n%s\nPlug the meter's cable or adapter in "
                       "again (and switch the meter on), then press F1; or choose another port with File > Open "
                       "Device.",
                       port->Describe().c_str(), PortOpenFailureText(result, name).c_str()));
  return true;
}

// Offers the run's recording, closed, for saving (unless the program
// is told to end: it then waits in the scratch file); ends raw capture.
// What reached the file is saved whatever ended the run, a write error (a
// full disk) included.
void FinishRecording(App& app, Source& source, DataFile* recorder, const RunSummary& run) {
  if (recorder != nullptr) {
    app.unsavedRun = run.recorded > 0;
    if (DataFile_CloseFailureIsNews(run.closed, run.result)) Error_Report(run.closed);
    if (!app.terminating) {
      const Status saved = SaveScratchRecording(app, *recorder);
      if (saved != status::kCancelled) Error_Report(saved);
    }
  }
  Error_Report(source.SaveRaw());
}

// A new source that did not open leaves the one open before attached; it
// takes up the serial port it let go again. When it cannot, the user is
// told, and no source is attached.
void KeepOldSource(App& app, Source& old) {
  const Status reopened = old.Open();
  if (reopened == status::kOk) return;
  std::string id;
  old.GetID(id);
  Error_Message(Format("%s could not be opened again on %s.\n%s", id.c_str(), old.portname().c_str(),
                       PortOpenFailureText(reopened, old.portname()).c_str()));
  app.display().Attach(nullptr);
}

// The window as a run's user: between reads the run looks at the window's
// events. The graph on show, the traces shown, zoom, following and the exit
// stay usable; the stop button, the close box, Exit and a request to end
// stop the run.
class WindowUser final : public RunUser {
 public:
  explicit WindowUser(App& app) : app_(app) {}

  bool Look(SourceWait& pace) override {
    const UserEvent event = pace.NextEvent(platform::ui());
    if (IsMainCommit(app_, event) && (event.control == p::kMainStartStop || event.control == p::kMainStop))
      return true;
    if (event.type == EventType::Close && event.panel == app_.mainPanel) {
      // The window's close box: the run ends, is saved, and the program
      // ends after it.
      app_.quit = true;
      return true;
    }
    if (event.type == EventType::Terminate) {
      // Told to end: the run ends and its recording is kept for the next
      // start; nobody is asked anything.
      app_.quit = true;
      app_.terminating = true;
      return true;
    }
    if (event.type == EventType::Menu && event.panel == app_.menuBar) {
      Menu_HandleRunEvent(app_, event.control);
      // Exit: as the close box.
      if (app_.quit) return true;
    }
    if (IsMainCommit(app_, event)) Main_HandleEvent(app_, event.control);
    FitWindow(app_);
    return false;
  }

 private:
  App& app_;
};

// A read-out of the run's state in the main panel, shown from its first
// text on; its text and colour are set only when they change.
class Readout {
 public:
  Readout(int panel, int control) : panel_(panel), control_(control) {}
  void Show(std::string text, int color) {
    if (text == shown_ && color == color_) return;
    platform::Ui& ui = platform::ui();
    if (color != color_) ui.SetCtrlAttribute(panel_, control_, platform::Attr::TextColor, color);
    color_ = color;
    if (text != shown_) ui.SetCtrlVal(panel_, control_, text);
    if (shown_.empty()) ui.SetCtrlAttribute(panel_, control_, platform::Attr::Visible, 1);
    shown_ = std::move(text);
  }
  void Hide() {
    platform::ui().SetCtrlAttribute(panel_, control_, platform::Attr::Visible, 0);
    shown_.clear();
  }

 private:
  int panel_;
  int control_;
  std::string shown_;
  int color_ = -1;
};

// What the window shows of a run's state beside its lines (which the display
// takes from the session's stream); the cursor stops waiting at the first
// line.
class DisplayView final : public RunView {
 public:
  explicit DisplayView(Display& display) : display_(display) {}

  // The serial line went away: a banner over the top of the graph says so
  // and counts the gap; it goes when the line is back.
  void Away(const Acquisition& run) override {
    PlaceBanner();
    shownSeconds_ = -1;
    Progress(run);
    platform::ui().SetCtrlAttribute(display_.panel(), p::kMainLineAway, platform::Attr::Visible, 1);
    display_.UpdateHealth(true);
  }

  void Progress(const Acquisition& run) override {
    if (first_ && run.readLines() > 0) {
      SetCursor(Cursor::Default);
      first_ = false;
    }
    // The clock and the elapsed time go on while no line comes.
    display_.Tick(true);
    ShowPosition(run);
    ShowShipData(run);
    ShowNetwork(run);
    display_.UpdateHealth();
    if (!run.away()) return;
    const int seconds = static_cast<int>(run.awaySeconds());
    if (seconds == shownSeconds_) return;
    shownSeconds_ = seconds;
    platform::ui().SetCtrlVal(display_.panel(), p::kMainLineAway,
                              Format("  %s\n  Away for %d:%02d. The recording stays open; the samples missed are "
                                     "counted as lost.",
                                     run.awayMessage().c_str(), seconds / 60, seconds % 60));
  }

  void Back(const Acquisition& /*run*/) override {
    HideBanner();
    display_.UpdateHealth(true);
  }

  // The receiver's last fix and its age; amber once it is stale, red when
  // the receiver failed.
  void ShowPosition(const Acquisition& run) {
    const PositionState& position = run.position();
    if (!position.on()) return;
    position_.Show(PositionText(position, "\n"),
                   position.failed || position.away ? kRed : position.Stale() ? kAmber : kBlack);
  }
  // Each ship's data source's latest values and their age (amber once one
  // is stale, red when one is gone), and the valve's state.
  void ShowShipData(const Acquisition& run) {
    const std::vector<AncillaryState>& sources = run.ancillary();
    const std::string valve = ValveText(run.valveSchedule(), sources, platform::UtcMs());
    if (sources.empty() && valve.empty()) return;
    std::string text;
    int color = kBlack;
    for (const AncillaryState& source : sources) {
      text += (text.empty() ? "" : "   ") + AncillaryText(source, /*brief=*/true);
      if (source.Gone()) color = kRed;
      else if (source.Stale() && color != kRed) color = kAmber;
    }
    shipData_.Show(text.empty() ? valve : valve.empty() ? text : text + "\n" + valve, color);
  }
  // Where the network output sends and the lines sent and dropped; amber
  // while the network drops them.
  void ShowNetwork(const Acquisition& run) {
    const NetworkState* network = run.network();
    if (network == nullptr) return;
    network_.Show(NetworkText(*network), network->counts.lastDropped ? kAmber : kBlack);
  }
  void HideReadouts() {
    position_.Hide();
    shipData_.Hide();
    network_.Hide();
  }
  // Also when the run ends while it waits.
  void HideBanner() { platform::ui().SetCtrlAttribute(display_.panel(), p::kMainLineAway, platform::Attr::Visible, 0); }

 private:
  // Over the top of the graph on show, inset from its edges.
  void PlaceBanner() {
    platform::Ui& ui = platform::ui();
    const int panel = display_.panel();
    for (const GraphKind& kind : GraphKinds()) {
      const int graph = kind.control;
      platform::CtrlValue visible = 0;
      ui.GetCtrlAttribute(panel, graph, platform::Attr::Visible, visible);
      if (platform::CtrlValueInt(visible).value_or(0) == 0) continue;
      const auto attribute = [&](platform::Attr attr) {
        platform::CtrlValue value = 0;
        ui.GetCtrlAttribute(panel, graph, attr, value);
        return platform::CtrlValueInt(value).value_or(0);
      };
      constexpr int kInset = 16;
      const int width = attribute(platform::Attr::Width) - 2 * kInset;
      if (width <= 0) return;
      ui.SetCtrlAttribute(panel, p::kMainLineAway, platform::Attr::Top, attribute(platform::Attr::Top) + 12);
      ui.SetCtrlAttribute(panel, p::kMainLineAway, platform::Attr::Left, attribute(platform::Attr::Left) + kInset);
      ui.SetCtrlAttribute(panel, p::kMainLineAway, platform::Attr::Width, width);
      return;
    }
  }

  static constexpr int kBlack = 0x000000;
  static constexpr int kAmber = 0xB26A00;
  static constexpr int kRed = 0xC62828;

  Display& display_;
  bool first_ = true;
  int shownSeconds_ = -1;
  Readout position_{display_.panel(), p::kMainPosition};
  Readout shipData_{display_.panel(), p::kMainShipData};
  Readout network_{display_.panel(), p::kMainNetwork};
};

// The dialogs a run allows wait for the user through the run, so that the
// lines go on while a dialog is up. A run that ends meanwhile is told to
// the run's loop once the dialog is done.
class RunDialogWait final : public DialogWait {
 public:
  explicit RunDialogWait(Acquisition& run) : run_(run) {}

  platform::UserEvent NextEvent() override {
    platform::Ui& ui = platform::ui();
    for (;;) {
      if (run_.ended()) return ui.GetUserEvent(true);
      const UserEvent event = run_.pace().NextEvent(ui);
      if (event.type != EventType::None) return event;
      run_.ReadOne();
    }
  }

 private:
  Acquisition& run_;
};

}  // namespace

// --- Opening sources --------------------------------------------------------------------

Status OpenSource(std::unique_ptr<Source>& source) {
  Status result = source->Open();
  if (result == status::kOk) {
    SetCursor(Cursor::HourGlass);
    result = source->Reset();
    SetCursor(Cursor::Default);
  }
  // An unattended set-up has nobody to ask: the mismatch stays an error.
  if (result == status::kSkipMismatch && Rudud_IsDefined() == 0) result = ResolveSkipMismatch(source);
  const bool checked = !settings::IgnoreSerialNumberOn() && Rudud_IsDefined() == 0;
  if (result == status::kSerialMismatch) {
    if (!checked) {
      result = status::kOk;
    } else {
      const std::string question =
          Format("Wrong serial number (%08lX).  Open anyway?", static_cast<unsigned long>(source->GetSerialnum()));
      result = platform::ui().ConfirmPopup("Open device", question) != 0 ? status::kOk : status::kCancelled;
    }
  }
  if (result != status::kOk && source != nullptr) {
    source->Close();
    source.reset();
  }
  return result;
}

Status OpenNamedSource(App& app, int kind, const std::string& filename, const std::string& portname,
                       bool quietMake) {
  std::unique_ptr<Source> source;
  Status result = NewSource(source, kind, filename, portname);
  if (result != status::kOk) {
    if (quietMake) return status::kCantOpenSource;
    Error_Report(result);
    return result;
  }
  // The serial port the old source holds may be the one the new one needs
  // (two port names may even stand for one device): the old source lets it
  // go for the attempt.
  Source* old = app.source();
  const bool released = old != nullptr && SerialPortOf(*old) != nullptr && IsPortName(portname) != 0;
  if (released) old->Close();
  std::string id;
  source->GetDevType(filename, id);
  Message_Show(IsPortName(portname) ? Format("Opening %s on %s...", id.c_str(), portname.c_str())
                                    : Format("Opening %s from file...", id.c_str()));
  result = OpenSource(source);
  Message_Hide();
  if (result == status::kOk) {
    app.sourceKind = kind;
    app.replayStartUtc.reset();
    const bool corrected = app.display().correctedValues(), particulate = app.display().particulateValues();
    app.display().Attach(std::move(source));
    // Corrected (or particulate) values stay on for the meter or file
    // opened next, when its lines can be corrected (else it is told).
    if (corrected) (particulate ? ParticulateValues_Show : CorrectedValues_Show)(app, true);
    return result;
  }
  if (result != status::kCancelled) Error_ReportPort(result, portname);
  if (old == nullptr) {
    app.display().Attach(nullptr);
  } else if (released) {
    KeepOldSource(app, *old);
  }
  return result;
}

Status PromptOpenSource(App& app, int kind) {
  std::string filename;
  std::string portname;
  Status result = status::kBadArgument;
  if (kind == kSourceKindFile) {
    result = DataFile_PromptForDescr(filename, &portname);
  } else if (kind == kSourceKindDevice) {
    result = Device_PromptForDescr(filename, &portname);
  }
  if (result != status::kOk) return result;
  result = OpenNamedSource(app, kind, filename, portname);
  // A stored file whose samples have no measured UTC: its first sample's
  // time is asked once, as the user opens it.
  if (result == status::kOk && app.source() != nullptr) app.replayStartUtc = CaptureTime_Ask(app, *app.source());
  return result;
}

Status OpenRudud(App& app) {
  const std::string device = Rudud_GetProfileString("General", "Device", "", 260);
  const std::string port = Rudud_GetProfileString("General", "Port", "", 1024);
  if (device.empty() || port.empty()) return status::kCantOpenFile;
  return OpenNamedSource(app, kSourceKindDevice, device, port, true);
}

void DoNew(App& app) {
  if (app.source() != nullptr) app.source()->Close();
  app.display().Attach(nullptr);
}

Status PromptEditConfig(int kind) {
  if (kind == kSourceKindFile) return status::kOk;
  if (kind != kSourceKindDevice) return status::kBadArgument;
  std::string filename;
  Status result = Device_PromptForDescr(filename, nullptr);
  if (result != status::kOk) return result;
  std::unique_ptr<Source> temp;
  result = NewSource(temp, kind, filename, "");
  if (result != status::kOk) {
    Error_Report(result);
    return result;
  }
  result = temp->Open();
  if (result != status::kOk) {
    Error_Report(result);
    return result;
  }
  int changed = 0;
  result = temp->EditConfig(changed);
  if (changed != 0) result = temp->SaveConfig();
  temp->Close();
  return result;
}

// --- The acquisition dialog ---------------------------------------------------------------

Status Acquire_Configure2(App& app) {
  Source* source = app.source();
  if (source == nullptr) return status::kNoSourceAttached;
  platform::Ui& ui = platform::ui();
  const int dialog = ui.LoadPanel(0, p::kAcquisition);
  if (dialog <= 0) return dialog == platform::ui_status::kOutOfMemory ? status::kOutOfMemory : status::kPanelLoadFailed;

  Display& display = app.display();
  const std::vector<TraceEntry> listed = ListTraces(*source);
  const int entries = static_cast<int>(listed.size());
  for (int i = 0; i < entries; ++i) {
    const TraceEntry& entry = listed[static_cast<std::size_t>(i)];
    ui.InsertListItem(dialog, p::kAcqTraces, -1, entry.heading, entry.trace);
    ui.CheckListItem(dialog, p::kAcqTraces, i, display.visible(entry.trace) ? 1 : 0);
  }
  ui.SetCtrlVal(dialog, p::kAcqDisplayBinsize, display.displayBinsize());
  ui.SetCtrlVal(dialog, p::kAcqBinsize, source->GetBinsize());
  // During a run the traces shown may change, the bin sizes not: the run
  // records and draws with the ones it began with.
  const bool running = RunGoesOn();
  if (running) {
    ui.SetCtrlAttribute(dialog, p::kAcqDisplayBinsize, platform::Attr::Dimmed, 1);
    ui.SetCtrlAttribute(dialog, p::kAcqBinsize, platform::Attr::Dimmed, 1);
  }
  // The choices by kind and wavelength, where the source has them.
  ui.SetCtrlAttribute(dialog, p::kAcqAOnly, platform::Attr::Dimmed, HasKind(listed, TraceKind::A) ? 0 : 1);
  ui.SetCtrlAttribute(dialog, p::kAcqCOnly, platform::Attr::Dimmed, HasKind(listed, TraceKind::C) ? 0 : 1);
  double shortest = 0.0;
  double longest = 0.0;
  const bool wavelengths = WavelengthSpan(listed, shortest, longest);
  if (wavelengths) {
    ui.SetCtrlVal(dialog, p::kAcqFrom, shortest);
    ui.SetCtrlVal(dialog, p::kAcqTo, longest);
  }
  for (const int control : {p::kAcqFrom, p::kAcqTo, p::kAcqStep, p::kAcqSelect})
    ui.SetCtrlAttribute(dialog, control, platform::Attr::Dimmed, wavelengths ? 0 : 1);
  ui.InstallPopup(dialog);

  // The ticks as the list shows them, and back.
  auto readTicks = [&] {
    std::vector<bool> ticks(listed.size(), false);
    for (int i = 0; i < entries; ++i) {
      int checked = 0;
      ui.IsListItemChecked(dialog, p::kAcqTraces, i, checked);
      ticks[static_cast<std::size_t>(i)] = checked != 0;
    }
    return ticks;
  };
  // The list then shows the first entry ticked.
  auto showTicks = [&](const std::vector<bool>& ticks) {
    int first = -1;
    for (int i = 0; i < entries; ++i) {
      const bool ticked = ticks[static_cast<std::size_t>(i)];
      ui.CheckListItem(dialog, p::kAcqTraces, i, ticked ? 1 : 0);
      if (ticked && first < 0) first = i;
    }
    if (first >= 0) ui.SetCtrlIndex(dialog, p::kAcqTraces, first);
  };

  Status result = status::kCancelled;
  for (;;) {
    const UserEvent event = NextDialogEvent();
    if (event.panel != dialog) continue;
    if (event.type == EventType::Close) break;
    if (event.type != EventType::Commit) continue;
    if (event.control == p::kAcqOk) {
      result = status::kOk;
      break;
    }
    if (event.control == p::kAcqCancel) break;
    if (event.control == p::kAcqAll || event.control == p::kAcqNone) {
      for (int i = 0; i < entries; ++i) ui.CheckListItem(dialog, p::kAcqTraces, i, event.control == p::kAcqAll ? 1 : 0);
    } else if (event.control == p::kAcqAOnly || event.control == p::kAcqCOnly) {
      std::vector<bool> ticks = readTicks();
      TickKind(listed, ticks, event.control == p::kAcqAOnly ? TraceKind::A : TraceKind::C);
      showTicks(ticks);
    } else if (event.control == p::kAcqSelect) {
      std::vector<bool> ticks = readTicks();
      TickRange(listed, ticks, ui.GetCtrlDouble(dialog, p::kAcqFrom), ui.GetCtrlDouble(dialog, p::kAcqTo),
                ui.GetCtrlInt(dialog, p::kAcqStep));
      showTicks(ticks);
    }
  }

  if (result == status::kOk && !running) {
    display.SetDisplayBinsize(ui.GetCtrlInt(dialog, p::kAcqDisplayBinsize));
    // A bin size the source refuses (below 1) leaves its bin size as it was.
    source->SetBinsize(ui.GetCtrlInt(dialog, p::kAcqBinsize));
  }
  if (result == status::kOk) {
    for (int i = 0; i < entries; ++i) {
      int trace = -1;
      int checked = 0;
      if (ui.GetValueFromIndex(dialog, p::kAcqTraces, i, trace) < 0) continue;
      ui.IsListItemChecked(dialog, p::kAcqTraces, i, checked);
      // A trace the instrument does not send now is never shown, so it is
      // listed unticked; left so, it keeps its choice for when the meter
      // sends it again.
      if (checked == 0 && display.traceMap(trace) == 0) continue;
      display.SetVisible(trace, checked != 0);
    }
    // The graph on show (and a run's labels) take the new choice at once.
    display.TracesChanged();
  }
  ui.RemovePopup(dialog);
  ui.DiscardPanel(dialog);
  return result;
}

// --- The acquisition loop -----------------------------------------------------------------------

Status Acquire_Run(App& app) {
  Session& session = app.session();
  Source* source = session.source();
  if (source == nullptr) return status::kNoSourceAttached;
  DataFile* recorder = session.recording();
  // The name an unattended run is to be saved under must fit whole: it is
  // refused before the run, not cut (losing its time stamp) after it.
  if (recorder != nullptr) {
    std::string output;
    if (const Status named = DataFile_OutputFilename(output); named != status::kOk) {
      Error_Report(named);
      return named;
    }
  }
  // A run records over the scratch recording: the last one, when it was not
  // saved, is offered first.
  if (!OfferUnsavedRun(app, "The last run was recorded but not saved.  Save it before the next run "
                            "records over it?"))
    return status::kCancelled;
  if (!EnsureScratchLock(app)) return status::kCantOpenFile;
  RunSetup setup;
  setup.reconnect = settings::ReconnectOn();
  setup.startUtc = app.replayStartUtc;
  // The deployment metadata the recording's companion carries: asked for
  // before the run when none was given.
  if (recorder != nullptr) setup.deployment = Deployment_ForRun(app);

  Display& display = app.display();
  platform::Ui& ui = platform::ui();
  SetCursor(Cursor::HourGlass);
  // The run starts now: a raw capture that the reset in InitPlot begins is
  // named after this run's start, not after the run before (whose capture a
  // name of the same second would replace).
  gStartTime = platform::clock().LocalTime();
  Status result = display.InitPlot();
  if (result != status::kOk && result != status::kSerialMismatch) {
    if (recorder != nullptr && recorder->isOpen()) recorder->Close();
    SetCursor(Cursor::Default);
    // A recording that cannot be created says why (no permission, a full disk).
    if (recorder != nullptr && result == status::kCantOpenFile && recorder->openError() != 0)
      Error_ReportFile(result, recorder->filename(), recorder->openError());
    else if (!ReportLineGone(*source, result))
      Error_Report(result);
    return result;
  }

  WindowUser user(app);
  DisplayView view(display);
  // The GPS receiver and the ship's data of a live run (a replay's samples
  // were taken elsewhere): one that cannot be opened has been told; the run
  // goes on without it, as it does when a source falls silent.
  if (SerialPortOf(*source) != nullptr) {
    setup.position = Position_OpenForRun(app);
    ShipData_OpenForRun(app, setup);
    setup.network = Network_OpenForRun(app, *source);
  }
  Acquisition& run = session.Begin(user, &view, std::move(setup));
  if (run.ready() != status::kOk) {
    result = run.ready();
    session.Finish();
    SetCursor(Cursor::Default);
    Error_Report(result);
    return result;
  }
  // The run leaves the window usable: the graph on show, the traces shown,
  // zoom, following and the exit stay; what would disturb the run is dimmed.
  Menu_EnableForRun(app);
  display.ShowStopButton();
  ShowWindowTitle(app, true);
  // No key meant for a button stops or changes the run by accident.
  ui.SetActiveCtrl(app.mainPanel, p::kMainFocus);
  {
    RunDialogWait dialogs(run);
    const ScopedDialogWait lend(dialogs);
    result = run.Run();
  }
  view.HideBanner();
  view.HideReadouts();
  // A replay's bar and record time as the run leaves them.
  display.UpdateProgress(true);

  if (result != status::kOk && result != status::kCancelled && result != status::kUnexpectedEof)
    ReportRunError(*source, result, run.breaks());
  const RunSummary summary = session.Finish();
  // No run: the strip says so; the corrected values' captions as the run
  // left them.
  display.UpdateHealth(true);
  display.RunFinished();
  // The recording's last lines are written as the run is finished: a write
  // error there is the run's.
  if (summary.result != result) {
    result = summary.result;
    ReportRunError(*source, result, summary.breaks);
  }
  // What the run has to tell beyond its result (lines left out, what the
  // stream showed beyond lost lines, another instrument on a line that came
  // back) is told once, at its end, before its recording is offered for
  // saving (an unattended run has nobody to tell).
  if (!app.terminating && Rudud_IsDefined() == 0) {
    for (const std::string& note : summary.Notes()) Error_Message(note);
  }
  FinishRecording(app, *source, recorder, summary);
  display.HideStopButton();
  Menu_Enable(app, -1, true);
  // Events are marked during a run only.
  Menu_Enable(app, p::kMenuMarkEvent, false);
  display.UpdateFollowControls();
  ShowWindowTitle(app);
  SetCursor(Cursor::Default);
  app.buttonState = 0;
  return result;
}

}  // namespace sondrix
