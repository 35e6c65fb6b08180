// SPDX-License-Identifier: GPL-3.0-or-later
// The half of the user interface that does not depend on how it is drawn:
// the tree of panels (handles, parents and children, discarding), the
// generic record of every control (values, labels, places, ranges, lists,
// the attributes of graphs and strip charts), menu bars, which panel accepts
// an event while a pop-up is up, and the answers given once the program is
// told to end. Both backends are a PanelTree: the headless one keeps values
// in memory and scripts the user, the Qt one builds widgets. A backend adds
// only what is its own (windows and widgets, drawing, the event loop, the
// dialogs) through the hooks below; every status a call returns, and every
// value it reads back, is decided here, so the backends cannot drift apart.
//
// Statuses (ui_status): -4 a panel or menu bar handle that is not live,
// -12 a panel that cannot be made (no such panel in the resource file),
// -13 an unknown control or item, a value of the wrong kind, a bad index or
// an attribute the control does not have.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/curve.h"
#include "platform/panel_state.h"
#include "platform/ui.h"
#include "platform/uir.h"

namespace sondrix::platform {

// One entry of a list box, check list or ring.
struct ListItem {
  std::string label;
  int value = 0;
  bool checked = false;
};

// The colour (0xRRGGBB, as given) and visibility of one strip chart trace.
struct TraceStyle {
  int color = 0;
  bool visible = true;
  bool operator==(const TraceStyle&) const = default;
};

// A curve on a graph (Ui::PlotCurve) as both backends report it: its points
// as segments drew them, the first one twice while the curve has not
// changed since it was put up with fewer than two points.
class CurvePlot {
 public:
  CurvePlot(std::shared_ptr<const Curve> curve, CurveKeys keys, const PlotAttributes& attributes);

  const Curve& curve() const { return *curve_; }
  CurveKeys keys() const { return keys_; }
  const PlotAttributes& attributes() const { return attributes_; }
  // Takes the curve as it is now: true when it changed rather than grew.
  bool Update();
  // Points reported, and reported point k as (x, y).
  std::size_t size() const;
  std::pair<double, double> Point(std::size_t k) const;
  PlotState State() const;

 private:
  std::shared_ptr<const Curve> curve_;
  CurveKeys keys_;
  PlotAttributes attributes_;
  bool firstTwice_ = false;
  std::uint64_t revision_ = 0;
};

// The points a strip chart of `curves` shows with `pointsPerScreen`: the
// last pointsPerScreen + 1 of each (the oldest is where the line comes in),
// traces interleaved.
std::vector<double> StripCurvePoints(std::span<const std::shared_ptr<const Curve>> curves, int pointsPerScreen);

// What a backend draws a graph or strip chart on. The panel tree has
// checked every argument first; a graph leaves the strip chart's calls alone
// and the other way round.
class GraphSurface {
 public:
  virtual ~GraphSurface() = default;
  // Graphs: draws plot `plot` of its points, or of a curve; 0, or
  // kOutOfMemory. Takes one plot, or every plot (kAllPlots), off the graph.
  // Every plot with its points.
  virtual int Draw(int plot, std::span<const double> x, std::span<const double> y,
                   const PlotAttributes& attributes);
  virtual int DrawCurve(int plot, std::shared_ptr<const Curve> curve, CurveKeys keys,
                        const PlotAttributes& attributes);
  virtual void DeletePlot(int plot);
  virtual std::vector<PlotState> Plots() const;
  // Both: the curves drawn grew or changed.
  virtual void CurvesChanged();
  // Strip charts: appends points, traces interleaved (the trace count is the
  // chart's already); 0, or kOutOfMemory. Draws curves instead (as many as
  // the chart's traces). The points shown.
  virtual int Append(std::span<const double> points, int traces);
  virtual int SetCurves(std::span<const std::shared_ptr<const Curve>> curves);
  virtual void Clear();
  virtual std::vector<double> Points() const;
  // Both: the axes, each with its mode (NoChange: leave it as it is); a
  // redraw now; the picture as a PNG or PDF file (with a picture's title,
  // captions and legend when one is given).
  virtual void SetAxes(const AxisState& axes) = 0;
  // The time axis ticks and reads as `scale` gives it, captioned `label`.
  virtual void SetTimeScale(bool onX, std::shared_ptr<const TimeScale> scale, const std::string& label);
  // Graphs: the shaded stretches of the key axis (Ui::SetKeyBands).
  virtual void SetKeyBands(bool onX, const std::vector<KeyBand>& bands);
  virtual AxisState Axes() = 0;
  virtual void Redraw() = 0;
  virtual int WriteImage(const std::string& path, const GraphPicture* picture) = 0;
};

// What the program has set on a control, as every backend reads it back.
struct ControlRecord {
  explicit ControlRecord(const ControlSpec& spec);
  ControlRecord(const ControlRecord&) = default;
  ControlRecord& operator=(const ControlRecord&) = default;
  virtual ~ControlRecord() = default;

  bool IsGraph() const { return spec.type == CtrlType::Graph; }
  bool IsStrip() const { return spec.type == CtrlType::StripChart; }
  // Int, Double and Progress controls: they have a range.
  bool IsNumeric() const;
  // The range numeric values keep to: the one set, else the type's own
  // (an int's, a double's, 0 ... 100 for a progress bar).
  double Lowest() const;
  double Highest() const;
  // Why the user cannot operate the control (dimmed, hidden, an indicator,
  // a text that is not hot), or nothing when they can.
  const char* WhyInoperable() const;

  ControlSpec spec;
  CtrlValue value;  // lists: see items and index
  std::string label;
  bool dimmed = false;
  bool visible = true;
  CtrlMode mode = CtrlMode::Normal;
  int top = 0, left = 0, width = 0, height = 0;
  int textColor = 0;
  std::optional<int> backColor;
  std::string shortcut;
  std::string toolTip;
  std::optional<double> min, max;
  // Lists: the entries and the one selected (-1 when the list is empty).
  std::vector<ListItem> items;
  int index = -1;
  // Graphs and strip charts.
  std::string xName, yName;
  int xDivisions = -1, yDivisions = -1;
  // The time axis's scale (SetTimeScale), and whether it is the X axis.
  std::shared_ptr<const TimeScale> timeScale;
  bool timeScaleOnX = false;
  // The shaded stretches of the key axis (SetKeyBands), and whether it is X.
  std::vector<KeyBand> keyBands;
  bool keyBandsOnX = false;
  bool autoRefresh = true;
  bool smoothUpdate = false;
  bool yReverse = false;
  // Graphs: the plots on it.
  std::vector<int> plotHandles;
  // Strip charts.
  int stripTraceCount = 0;
  int pointsPerScreen = 0;
  std::vector<TraceStyle> traces;  // one per trace
};

// The caption an axis of a graph shows: its time scale's caption, then the
// control's own (XName, YName), or only either.
std::string ShownAxisName(const ControlRecord& control, bool x);

struct MenuItemRecord {
  MenuEntrySpec::Kind kind = MenuEntrySpec::Kind::Item;
  int id = 0;
  int menu = 0;  // the menu it is in; 0 for the bar's own menus
  std::string name;
  std::string label;
  std::string shortcut;
  bool dimmed = false;
  bool checked = false;
};

struct MenuBarRecord {
  virtual ~MenuBarRecord() = default;
  MenuItemRecord* Find(int id);
  const MenuItemRecord* Find(int id) const;

  int handle = 0;
  int resourceId = 0;
  int panel = 0;
  bool discarded = false;
  std::vector<MenuItemRecord> entries;  // in menu order, submenus after their menu's entry
};

struct PanelRecord {
  virtual ~PanelRecord() = default;
  ControlRecord* Find(int control) const;

  int handle = 0;
  int resourceId = 0;
  int parent = 0;
  std::string title;
  // Height and Width are the room the window gives the content; never below
  // the minimum (0: none).
  int top = 0, left = 0, width = 0, height = 0;
  int minWidth = 0, minHeight = 0;
  bool displayed = false;
  bool discarded = false;
  int activeControl = 0;
  int menuBar = 0;  // handle, 0 when none
  std::map<int, std::unique_ptr<ControlRecord>> controls;
};

// What changed in a list, for the backend that shows it.
enum class ListChange { Inserted, Replaced, Cleared, Selected, Checked };

enum class PopupKind { Generic, Confirm };

class PanelTree : public Ui {
 public:
  // From the program's resource file (UirPath()); when it cannot be read
  // every LoadPanel fails and resourceError() says why.
  PanelTree();
  explicit PanelTree(UirFile resources);
  ~PanelTree() override;

  const std::string& resourceError() const { return resourceError_; }
  const UirFile& resources() const { return resources_; }

  // --- Ui: the rules every backend keeps ----------------------------------
  int GenericMessagePopup(std::string_view title, std::string_view text,
                          std::span<const std::string> buttons) final;
  int ConfirmPopup(std::string_view title, std::string_view text) final;

  int LoadPanel(int parent, int resourceId) override;
  int DiscardPanel(int panel) final;
  int DisplayPanel(int panel) final;
  int HidePanel(int panel) final;
  int InstallPopup(int panel) final;
  int RemovePopup(int panel) final;
  int SetPanelAttribute(int panel, Attr attr, const CtrlValue& value) final;
  int GetPanelAttribute(int panel, Attr attr, CtrlValue& value) final;
  int GetScreenArea(int panel, ScreenArea& area) final;

  int SetCtrlVal(int panel, int control, const CtrlValue& value) final;
  int GetCtrlVal(int panel, int control, CtrlValue& value) final;
  int SetCtrlAttribute(int panel, int control, Attr attr, const CtrlValue& value) final;
  int GetCtrlAttribute(int panel, int control, Attr attr, CtrlValue& value) final;
  int SetActiveCtrl(int panel, int control) final;

  int InsertListItem(int panel, int control, int index, std::string_view label, int value) final;
  int ReplaceListItem(int panel, int control, int index, std::string_view label, int value) final;
  int ClearListCtrl(int panel, int control) final;
  int GetNumListItems(int panel, int control, int& count) final;
  int GetCtrlIndex(int panel, int control, int& index) final;
  int SetCtrlIndex(int panel, int control, int index) final;
  int GetValueFromIndex(int panel, int control, int index, int& value) final;
  int IsListItemChecked(int panel, int control, int index, int& checked) final;
  int CheckListItem(int panel, int control, int index, int checked) final;

  int GetPanelMenuBar(int panel) final;
  int SetMenuBarAttribute(int menuBar, int item, Attr attr, const CtrlValue& value) final;
  int GetMenuBarAttribute(int menuBar, int item, Attr attr, CtrlValue& value) final;
  int InsertMenuItem(int menuBar, int menu, int before, std::string_view label,
                     std::string_view shortcut) final;

  int PlotXY(int panel, int control, std::span<const double> x, std::span<const double> y,
             const PlotAttributes& attributes) final;
  int PlotCurve(int panel, int control, std::shared_ptr<const Curve> curve, CurveKeys keys,
                const PlotAttributes& attributes) final;
  int CurvesChanged(int panel, int control) final;
  int DeleteGraphPlot(int panel, int control, int plot, DrawMode mode) final;
  int SetAxisRange(int panel, int control, AxisMode xMode, double xMin, double xMax,
                   AxisMode yMode, double yMin, double yMax) final;
  int GetAxisRange(int panel, int control, AxisMode& xMode, double& xMin, double& xMax,
                   AxisMode& yMode, double& yMin, double& yMax) final;
  int SetTimeScale(int panel, int control, bool onX, std::shared_ptr<const TimeScale> scale) final;
  int SetKeyBands(int panel, int control, bool onX, std::vector<KeyBand> bands) final;
  int RefreshGraph(int panel, int control) final;
  int SaveGraphImage(int panel, int control, std::string_view path) final;
  int ExportGraphImage(int panel, int control, std::string_view path,
                       const GraphPicture& picture) final;

  int PlotStripChart(int panel, int control, std::span<const double> points,
                     int traceCount) final;
  int ClearStripChart(int panel, int control) final;
  int SetStripCurves(int panel, int control, std::span<const std::shared_ptr<const Curve>> curves) final;
  int SetTraceAttribute(int panel, int control, int trace, Attr attr,
                        const CtrlValue& value) final;

  int SavePanelState(int panel, std::string_view path, int index) final;
  int RecallPanelState(int panel, std::string_view path, int index) final;
  int PrintPanel(int panel, const PrintRequest& request) final;
  int UpdatePanel(int panel) final;

  void RequestTermination() final;
  bool TerminationRequested() const final { return terminating_; }

 protected:
  FileSelectResult SelectFile(const FileSelectRequest& request, std::string& path) final;

  // --- Records ------------------------------------------------------------------
  // Made for every panel, control and menu bar loaded; a backend may hand
  // out its own kind (with its widgets) and cast back in its hooks.
  virtual std::unique_ptr<PanelRecord> MakePanel();
  virtual std::unique_ptr<ControlRecord> MakeControl(const ControlSpec& spec);
  virtual std::unique_ptr<MenuBarRecord> MakeMenuBar();
  // Discarded panels keep their records (for a test to look at) instead of
  // being forgotten.
  void KeepDiscardedPanels() { keepDiscarded_ = true; }

  // A live panel, control or menu bar; nothing (and no report) otherwise.
  PanelRecord* Live(int panel) const;
  ControlRecord* LiveControl(int panel, int control) const;
  MenuBarRecord* LiveMenuBar(int menuBar) const;
  // Any panel or menu bar ever made and still remembered, live or not.
  const PanelRecord* Record(int panel) const;
  const MenuBarRecord* MenuBarOf(int menuBar) const;
  const std::map<int, std::unique_ptr<PanelRecord>>& Panels() const { return panels_; }
  const std::vector<int>& PopupStack() const { return popupStack_; }

  // Writes a value into a control as its kind keeps it (texts cut at their
  // maximum length, numbers kept in their range, switches 0/1, lists select
  // the item of that value); 0 or kBadArgument. Nothing is shown: the
  // caller tells the backend (ValueChanged) or is the backend.
  static int StoreValue(ControlRecord& control, const CtrlValue& value);
  // Whether the user can enter the value: a number within the control's
  // range (a number beyond it leaves the control as it was, as a spin box
  // does), anything else that StoreValue takes.
  static bool UserCanEnter(const ControlRecord& control, const CtrlValue& value);

  // --- Events -----------------------------------------------------------------------
  // Whether an event of this panel gets through: always, unless a pop-up is
  // up; then only for the top pop-up and the panels inside it.
  bool Accepts(int panel) const;
  // Once the program is told to end: the close box of the top pop-up, else
  // Terminate. Nothing before.
  std::optional<UserEvent> TerminationEvent() const;
  // Queues an event of the user (a menu event names the menu bar); dropped
  // when its panel does not accept it.
  void Post(EventType type, int panel, int control);
  // The next queued event; with none, the termination event or None.
  UserEvent TakeEvent();
  std::size_t QueuedEvents() const { return events_.size(); }

  // --- What a backend adds ------------------------------------------------------------
  // A call the program got wrong (a dead handle, a missing control, a value
  // or attribute the control does not take).
  virtual void Misuse(std::string what);

  // Makes the windows and widgets of a panel whose records are made (its
  // menu bar's too). A negative status gives up the panel.
  virtual int Build(PanelRecord& panel, const PanelSpec& spec);
  // The panel goes (its children are gone already).
  virtual void Destroy(PanelRecord& panel);
  virtual void Shown(PanelRecord& panel, bool popup);
  virtual void Hidden(PanelRecord& panel, bool popup);
  // Title, Top, Left, Height, Width, MinHeight, MinWidth or Visible of the
  // record changed.
  virtual void PanelChanged(PanelRecord& panel, Attr attr);
  // Brings Top, Left, Height and Width up to what the window shows now (the
  // user may have moved or resized it).
  virtual void ReadPlace(PanelRecord& panel);
  virtual int ScreenAreaOf(PanelRecord& panel, ScreenArea& area) = 0;
  virtual void Paint(PanelRecord& panel);

  // An attribute of the record changed (for NumTraces: the trace count,
  // which drops the chart's points).
  virtual void ControlChanged(PanelRecord& panel, ControlRecord& control, Attr attr);
  // The program wrote the control's value.
  virtual void ValueChanged(PanelRecord& panel, ControlRecord& control);
  virtual void ListChanged(PanelRecord& panel, ControlRecord& control, ListChange change,
                           int index);
  virtual void Focus(PanelRecord& panel, ControlRecord& control);
  virtual void TraceChanged(PanelRecord& panel, ControlRecord& control, int trace);

  virtual void MenuItemChanged(MenuBarRecord& bar, const MenuItemRecord& item);
  // `item` was added in front of entry `before` of its menu (-1: at its end).
  virtual void MenuItemAdded(MenuBarRecord& bar, const MenuItemRecord& item, int before);

  // What a graph or strip chart is drawn on.
  virtual GraphSurface& SurfaceOf(ControlRecord& control) = 0;

  // A question for the user (Confirm: 1 yes, 0 no; Generic: the button,
  // 1-based).
  virtual int AskUser(PopupKind kind, std::string_view title, std::string_view text,
                      std::span<const std::string> buttons) = 0;
  virtual FileSelectResult AskFile(const FileSelectRequest& request, std::string& path) = 0;
  // A pop-up answered for the user once the program is told to end.
  virtual void AnsweredForUser(PopupKind kind, std::string_view title, std::string_view text,
                               std::span<const std::string> buttons, int answer);
  virtual void FileAnsweredForUser(const FileSelectRequest& request);
  virtual int Print(PanelRecord& panel, const PrintRequest& request) = 0;
  // The program is told to end: dialogs of the backend's own that are up
  // now give their cancelling answer.
  virtual void EndDialogs();

 private:
  struct Target {
    PanelRecord* panel = nullptr;
    ControlRecord* control = nullptr;
    int status = 0;
  };
  enum class Kind { Any, List, CheckList, Graph, Plot, Strip };
  // The live panel and control a call addresses, of the kind it needs.
  Target Resolve(int panel, int control, const char* call, Kind kind = Kind::Any);
  PanelRecord* LivePanelOf(int panel, const char* call);
  MenuBarRecord* LiveMenuBarOf(int menuBar, const char* call);
  int SetAttribute(ControlRecord& control, Attr attr, const CtrlValue& value);
  void SetRange(ControlRecord& control, Attr attr, double bound);
  void SetTraceCount(PanelRecord& panel, ControlRecord& control, int traces);
  void DiscardTree(int panel);
  int Show(int panel, bool shown, const char* call);
  PanelState GatherState(PanelRecord& panel);

  std::string resourceError_;  // before resources_, which is read into it
  UirFile resources_;
  std::map<int, std::unique_ptr<PanelRecord>> panels_;
  std::map<int, std::unique_ptr<MenuBarRecord>> menuBars_;
  std::vector<int> popupStack_;
  std::deque<UserEvent> events_;
  int nextHandle_ = 1;
  int nextPlot_ = 1;
  bool keepDiscarded_ = false;
  bool terminating_ = false;
};

}  // namespace sondrix::platform
