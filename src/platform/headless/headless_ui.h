// SPDX-License-Identifier: GPL-3.0-or-later
// The headless user interface: panels and controls are values in memory,
// built from the resource file's specs. Tests (and sondrix-cli) script what
// the user does -- events addressed by panel resource id, values typed before
// an event, answers of pop-ups and file dialogs -- and read back what the
// program showed: pop-ups, file dialog requests, panels displayed, every value
// written, menu states, graph plots and axes, strip-chart points, panel
// state files, print jobs and the cursor.
//
// Nothing here waits: a pop-up without a scripted answer gets the cancel-like
// answer, a blocking event poll with nothing scripted gets a Close event, and
// both are recorded as problems so that a test fails clearly instead of
// hanging.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/panel_tree.h"

namespace sondrix::platform {

class HeadlessUi;

// Return codes of the headless backend (the run-time's own codes).
namespace headless {
inline constexpr int kBadPanel = ui_status::kBadPanel;        // not a live panel handle
inline constexpr int kCantLoad = ui_status::kOutOfMemory;     // panel not in the resource file, or load failure
inline constexpr int kBadArgument = ui_status::kBadArgument;  // unknown control, wrong value type, bad index
}  // namespace headless

// One plot of a graph control: every point of it, a curve's (PlotCurve) as
// segments drew them.
struct HeadlessPlot {
  int handle = 0;
  std::vector<double> x;
  std::vector<double> y;
  PlotAttributes attributes;
};

// One PlotXY call as the program made it; for a curve, what PlotXY would
// have been given: the curve put up (its points, a lone first point twice),
// then each segment it grew by (from its last point to its newest), or the
// whole curve again when it changed.
struct PlotCall {
  int handle = 0;  // the plot it created or grew
  std::vector<double> x;
  std::vector<double> y;
  PlotAttributes attributes;
};

// A PrintPanel, SaveGraphImage or ExportGraphImage request.
struct PrintRecord {
  int resourceId = 0;
  int control = 0;  // 0: the whole panel (PrintPanel)
  std::string path;
  PrintRequest request;
  // ExportGraphImage: what the picture would show besides the graph, with
  // the captions it would put on the axes (the graph's own where the
  // request gives none).
  std::optional<GraphPicture> picture;
};

// A control of the headless backend: the generic record, and what a graph
// or strip chart would show (its plots and points, kept in full).
struct HeadlessControl : ControlRecord, GraphSurface {
  explicit HeadlessControl(const ControlSpec& spec);

  int Draw(int plot, std::span<const double> x, std::span<const double> y,
           const PlotAttributes& attributes) override;
  int DrawCurve(int plot, std::shared_ptr<const Curve> curve, CurveKeys keys,
                const PlotAttributes& attributes) override;
  void DeletePlot(int plot) override;
  std::vector<PlotState> Plots() const override;
  void CurvesChanged() override;
  int Append(std::span<const double> points, int traces) override;
  int SetCurves(std::span<const std::shared_ptr<const Curve>> curves) override;
  void Clear() override;
  std::vector<double> Points() const override;
  void SetAxes(const AxisState& axes) override;
  AxisState Axes() override;
  void Redraw() override { ++refreshes; }
  // Records the request (printJobs) rather than a file.
  int WriteImage(const std::string& path, const GraphPicture* picture) override;
  // Brings the shown range of autoscaled axes up to the data.
  void Autoscale();

  // Strip charts: every point plotted since the last clear (or change of
  // the trace count), traces interleaved; or the curves charted, whose
  // points shown Points() gives.
  std::vector<double> stripPoints;
  std::vector<std::shared_ptr<const Curve>> stripCurves;
  // Graphs: the curves among the plots, by handle.
  std::vector<std::pair<int, CurvePlot>> curvePlots;
  // Graphs: the plots now on the graph, every PlotXY call since the panel
  // was loaded, and how often plots were deleted and the graph refreshed.
  std::vector<HeadlessPlot> plots;
  std::vector<PlotCall> plotCalls;
  int deletions = 0;
  int refreshes = 0;
  // Axes (graphs and strip charts): mode and the range shown.
  AxisMode xMode = AxisMode::Manual, yMode = AxisMode::Manual;
  double xMin = 0.0, xMax = 10.0, yMin = 0.0, yMax = 10.0;
  // Where picture requests are recorded, and the panel's resource for them.
  std::vector<PrintRecord>* printJobs = nullptr;
  int resourceId = 0;
};

using HeadlessMenuItem = MenuItemRecord;
using HeadlessMenuBar = MenuBarRecord;
using HeadlessPanel = PanelRecord;

struct PopupRecord {
  PopupKind kind = PopupKind::Generic;
  std::string title;
  std::string text;
  std::vector<std::string> buttons;  // Confirm: "Yes", "No"
  int answer = 0;
  bool scripted = false;  // false: nobody answered, the cancel-like answer was given
};

struct FileDialogRecord {
  FileSelectRequest request;
  FileSelectResult result = FileSelectResult::None;
  std::string path;
  bool scripted = false;
};

// A panel shown with DisplayPanel or InstallPopup, with its control values
// at that moment.
struct ShowRecord {
  int resourceId = 0;
  int handle = 0;
  bool popup = false;
  std::map<int, CtrlValue> values;
};

// A value written into a control, by the program or by a script.
struct ValueRecord {
  int resourceId = 0;
  int handle = 0;
  int control = 0;
  CtrlValue value;
  bool byScript = false;
};

// One scripted step. Build them with the helpers below.
struct ScriptStep {
  enum class Kind { Event, SetOnly, Action, Raw, Menu, Key };
  Kind kind = Kind::Event;
  EventType type = EventType::Commit;
  int panelResource = 0;
  int control = 0;
  // Written into controls of the same panel before the event is delivered.
  std::vector<std::pair<int, CtrlValue>> values;
  // Selects this item of `control` before the event is delivered.
  std::optional<int> listIndex;
  std::function<void(HeadlessUi&)> action;
  UserEvent raw;
  std::string key;  // Kind::Key: the key pressed, e.g. "F2"
};

class HeadlessUi : public PanelTree {
 public:
  // Builds panels from the resource file at UirPath(). When it cannot be
  // read, every LoadPanel fails and resourceError() says why. Discarded
  // panels are remembered, for a test to look at.
  HeadlessUi();
  explicit HeadlessUi(UirFile resources);
  ~HeadlessUi() override;

  // --- Ui -----------------------------------------------------------------
  // Fails as FailLoad asks; otherwise as every backend does.
  int LoadPanel(int parent, int resourceId) override;
  UserEvent GetUserEvent(bool wait) override;
  // A scripted event at once; otherwise the time passes on the installed
  // clock (a fake clock in tests moves on at once) and None is returned. A
  // wait without a limit with nothing scripted is what GetUserEvent(true)
  // does then. Inputs are not watched: nothing here waits for a device.
  UserEvent WaitUserEvent(double seconds, std::span<const int> inputs) override;
  void SetMouseCursor(Cursor cursor) override;
  // Once told to end (RequestTermination), scripted events still come
  // first; pop-ups are recorded with their cancelling answer (not
  // scripted, not a problem) and use no scripted answer.

  // The scheme is kept (and every change counted) for tests to look at.
  int SetColorScheme(std::shared_ptr<const ColorLook> look) override {
    scheme_ = look ? look->scheme() : ColorScheme::Day;
    ++schemeChanges_;
    return 0;
  }
  ColorScheme GetColorScheme() const override { return scheme_; }
  int schemeChanges() const { return schemeChanges_; }

  // --- Scripting the user -----------------------------------------------------
  // Events are addressed by panel resource id; when the step is reached it
  // goes to the newest live panel loaded from that resource.
  HeadlessUi& Commit(int panelResource, int control,
                     std::vector<std::pair<int, CtrlValue>> valuesFirst = {});
  HeadlessUi& Event(EventType type, int panelResource, int control,
                    std::vector<std::pair<int, CtrlValue>> valuesFirst = {});
  // Selects list item `index` of the control, then delivers `type` on it.
  HeadlessUi& Select(int panelResource, int control, int index,
                     EventType type = EventType::Commit);
  // The panel's close box.
  HeadlessUi& Close(int panelResource);
  // Writes values as the user would, without an event.
  HeadlessUi& Set(int panelResource, std::vector<std::pair<int, CtrlValue>> values);
  // Runs `action` when reached; it delivers no event itself (the poll goes on
  // to the next step). It may script further steps.
  HeadlessUi& Then(std::function<void(HeadlessUi&)> action);
  // An event delivered exactly as given (menu events, raw handles).
  HeadlessUi& Raw(UserEvent event);
  // The user chooses menu item `item` of the menu bar of the newest panel of
  // this resource (refused while the item is dimmed).
  HeadlessUi& MenuChoice(int panelResource, int item);
  // The user presses a shortcut key ("F2", "Ctrl+O") in the newest panel of
  // this resource: the button or menu item that has it is operated.
  HeadlessUi& Key(int panelResource, std::string key);
  // The program is told to end (RequestTermination) when this step is
  // reached.
  HeadlessUi& Terminate();
  HeadlessUi& Step(ScriptStep step);
  std::size_t pendingSteps() const { return script_.size(); }

  // Answers of pop-ups, each used once in order. A generic pop-up with a
  // single button (a plain message) is answered 1 without using one.
  HeadlessUi& AnswerGeneric(int button);  // 1-based
  HeadlessUi& AnswerConfirm(bool yes);
  // A file dialog answered with `path`: Existing when the file exists then,
  // else New.
  HeadlessUi& AnswerFile(std::string path);
  HeadlessUi& AnswerFile(std::string path, FileSelectResult result);
  HeadlessUi& CancelFile();
  // Answers computed when the pop-up comes; they take precedence over the
  // queues when they return a value (Confirm: 1 yes, 0 no).
  std::function<std::optional<int>(const PopupRecord&)> popupAnswerer;
  std::function<std::optional<std::pair<FileSelectResult, std::string>>(const FileSelectRequest&)>
      fileAnswerer;

  // Makes LoadPanel of this resource fail (-12) `times` times.
  void FailLoad(int resourceId, int times = 1);

  // The notional screen every panel lands on (1920 x 1080 at 0, 0 unless
  // set).
  void SetScreenArea(ScreenArea area) { screenArea_ = area; }

  // Consecutive empty polls after which the process aborts with a message
  // (0: never). A safety net for loops that would otherwise spin for ever.
  void SetIdlePollLimit(long limit) { idlePollLimit_ = limit; }

  // Called for every pop-up (e.g. to echo it on a console).
  std::function<void(const PopupRecord&)> popupObserver;

  // --- What the program showed ------------------------------------------------
  const std::vector<PopupRecord>& popups() const { return popups_; }
  const std::vector<FileDialogRecord>& fileDialogs() const { return fileDialogs_; }
  const std::vector<ShowRecord>& shows() const { return shows_; }
  const std::vector<ValueRecord>& valueLog() const { return valueLog_; }
  // Everything that went wrong with the script: pop-ups without an answer
  // (more than one button), blocking polls with nothing scripted, events
  // refused (dimmed, hidden or indicator control; panel not loaded; another
  // pop-up active) and bad calls (invalid handle or control).
  const std::vector<std::string>& problems() const { return problems_; }
  int unansweredPopups() const { return unansweredPopups_; }
  int unexpectedWaits() const { return unexpectedWaits_; }
  // The time limit of every WaitUserEvent that let time pass (a limit
  // above zero, or none: -1), in order; a look without waiting is not one.
  const std::vector<double>& timedWaits() const { return timedWaits_; }
  // UpdatePanel calls per panel handle.
  int panelUpdates(int handle) const;
  int refusedEvents() const { return refusedEvents_; }
  void ClearRecords();

  Cursor cursor() const { return cursor_; }
  const std::vector<Cursor>& cursorHistory() const { return cursorHistory_; }

  // Newest panel handle of a resource (0 when none); `liveOnly` skips
  // discarded ones.
  int NewestHandle(int resourceId, bool liveOnly = true) const;
  const HeadlessPanel* Panel(int handle) const;
  const HeadlessPanel* NewestPanel(int resourceId, bool liveOnly = false) const;
  const HeadlessControl* Control(int handle, int control) const;
  bool IsLoaded(int handle) const;
  bool IsDisplayed(int handle) const;
  bool IsPopup(int handle) const;
  const std::vector<int>& popupStack() const { return PopupStack(); }
  // Was a panel of this resource ever displayed (or installed as a pop-up)?
  bool WasShown(int resourceId) const;
  // Every value written into the control of any panel of this resource.
  std::vector<CtrlValue> ValueHistory(int resourceId, int control) const;
  // The value of a control of the newest panel of a resource, live or not.
  std::optional<CtrlValue> ValueOf(int resourceId, int control) const;
  // Points of one trace of a strip chart.
  std::vector<double> StripTrace(int handle, int control, int trace) const;
  // The plots now on a graph control (empty when there are none).
  const std::vector<HeadlessPlot>& Plots(int handle, int control) const;
  const std::vector<PlotCall>& PlotCalls(int handle, int control) const;
  const HeadlessMenuBar* MenuBar(int handle) const;
  const std::vector<PrintRecord>& printJobs() const { return printJobs_; }

 protected:
  // --- The headless side of the panel tree ------------------------------------
  std::unique_ptr<ControlRecord> MakeControl(const ControlSpec& spec) override;
  int Build(PanelRecord& panel, const PanelSpec& spec) override;
  void Misuse(std::string what) override { Problem(std::move(what)); }
  void Shown(PanelRecord& panel, bool popup) override;
  int ScreenAreaOf(PanelRecord& panel, ScreenArea& area) override;
  void Paint(PanelRecord& panel) override { ++panelUpdates_[panel.handle]; }
  void ValueChanged(PanelRecord& panel, ControlRecord& control) override;
  void ControlChanged(PanelRecord& panel, ControlRecord& control, Attr attr) override;
  GraphSurface& SurfaceOf(ControlRecord& control) override { return static_cast<HeadlessControl&>(control); }
  int AskUser(PopupKind kind, std::string_view title, std::string_view text,
              std::span<const std::string> buttons) override;
  FileSelectResult AskFile(const FileSelectRequest& request, std::string& path) override;
  void AnsweredForUser(PopupKind kind, std::string_view title, std::string_view text,
                       std::span<const std::string> buttons, int answer) override;
  void FileAnsweredForUser(const FileSelectRequest& request) override;
  int Print(PanelRecord& panel, const PrintRequest& request) override;

 private:
  void Problem(std::string text);
  // Delivers the next scripted step as an event, if any.
  std::optional<UserEvent> NextScripted();
  std::optional<UserEvent> MenuEvent(const ScriptStep& step);
  std::optional<UserEvent> KeyEvent(const ScriptStep& step);

  std::vector<PrintRecord> printJobs_;
  std::map<int, int> loadFailures_;
  ScreenArea screenArea_{0, 0, 1080, 1920};

  std::deque<ScriptStep> script_;
  std::deque<int> genericAnswers_;
  std::deque<bool> confirmAnswers_;
  std::deque<std::pair<std::optional<FileSelectResult>, std::string>> fileAnswers_;

  std::vector<PopupRecord> popups_;
  std::vector<FileDialogRecord> fileDialogs_;
  std::vector<ShowRecord> shows_;
  std::vector<ValueRecord> valueLog_;
  std::vector<std::string> problems_;
  int unansweredPopups_ = 0;
  ColorScheme scheme_ = ColorScheme::Day;
  int schemeChanges_ = 0;
  int unexpectedWaits_ = 0;
  int refusedEvents_ = 0;
  std::vector<double> timedWaits_;
  std::map<int, int> panelUpdates_;
  long idlePolls_ = 0;
  long idlePollLimit_ = 0;
  int consecutiveWaits_ = 0;

  Cursor cursor_ = Cursor::Default;
  std::vector<Cursor> cursorHistory_;
};

}  // namespace sondrix::platform
