// SPDX-License-Identifier: GPL-3.0-or-later
// The user-interface services the program relies on: panels loaded from the
// resource file, controls addressed by (panel handle, control id), a
// non-blocking event poll, modal pop-ups, file selection, the mouse cursor,
// list boxes, menus, graphs and strip charts, panel state files and printing.
//
// One process-wide instance is installed by main, a tool or a test fixture
// (ScopedUi). Two backends implement it: headless (values in memory, scripted
// events and answers; tests and sondrix-cli) and qt (real widgets). Both are
// a PanelTree (panel_tree.h), which keeps the rules every call follows and
// decides what it returns.
//
// Conventions of the run-time this stands in for are kept: a panel handle is a
// positive number, calls return 0 (or a count, or a handle) on success and a
// negative status on failure, and control ids and panel resource ids come from
// resources/sondrix.uir (their names are in common/panels.h).
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/color_look.h"
#include "platform/curve.h"
#include "platform/installed.h"
#include "platform/time_scale.h"

namespace sondrix::platform {

// A control's value: numeric controls hold int or double, text controls text.
using CtrlValue = std::variant<int, double, std::string>;

enum class Attr {
  Dimmed,      // int 0/1 (controls, menu items)
  Visible,     // int 0/1
  LabelText,   // text (controls; menu items: the item's caption)
  Title,       // text (panels)
  Top,         // int, pixels
  Left,
  Height,
  Width,
  TextColor,   // int 0xRRGGBB
  CtrlMode,    // int: 0 normal, 1 indicator (read-only)
  TraceColor,  // int 0xRRGGBB, with a trace index (strip charts)
  MinValue,    // double (numeric controls, axes)
  MaxValue,
  Checked,         // int 0/1: a menu item's check mark
  Shortcut,        // text: the key that operates a button ("F2", "Ctrl+O", "Esc"; "" none)
  BackColor,       // int 0xRRGGBB: the face of a button or toggle
  XName,           // text: caption of the X axis (graphs, strip charts)
  YName,           // text: caption of the Y axis
  XDivisions,      // int: number of X axis divisions, -1 automatic (graphs)
  YDivisions,      // int: number of Y axis divisions, -1 automatic
  AutoRefresh,     // int 0/1: a graph redraws after each change (1) or on RefreshGraph (0)
  SmoothUpdate,    // int 0/1: a graph composes each picture off screen before showing it
  YReverse,        // int 0/1: the Y axis grows downwards (depth profiles)
  NumTraces,       // int: traces of a strip chart (1 ... kMaxStripTraces)
  PointsPerScreen, // int: points a strip chart shows across its width
  TraceVisible,    // int 0/1, with a trace index (strip charts)
  MinHeight,       // int, pixels: the smallest height the user can give a panel (0 none)
  MinWidth,        // int, pixels: the smallest width
  ToolTip,         // text: the detail a control tells when the pointer rests on it ("" none)
};

// Traces a strip chart carries at most.
inline constexpr int kMaxStripTraces = 64;

// How SetAxisRange treats an axis.
enum class AxisMode {
  NoChange = -1,  // leave the axis as it is
  Manual = 0,     // show the given range
  Autoscale = 1,  // follow the data plotted, as it is plotted
  Lock = 2,       // keep the range now shown, whatever is plotted
};

// Plot styles of PlotXY (numbers as the display classes pass them).
enum class PlotStyle {
  ThinLine = 0,         // points joined by a thin line
  FatLine = 1,          // points joined by a wide line
  ConnectedPoints = 2,  // a thin line with a marker on the points
  Scatter = 3,          // markers only
  VerticalBar = 5,      // a bar from 0 up (or down) to each point
};

enum class PointStyle {
  EmptySquare = 0,
  SolidSquare = 1,
  Asterisk = 2,
  EmptyCircle = 3,
  SolidCircle = 4,
  Cross = 5,
  Plus = 6,
  EmptyDiamond = 7,
  SolidDiamond = 8,
  SmallSolidSquare = 9,
  SimpleDot = 10,  // no visible marker at line width
};

enum class LineStyle { Solid = 0, Dash = 1, Dot = 2, DashDot = 3 };

struct PlotAttributes {
  PlotStyle plotStyle = PlotStyle::ThinLine;
  PointStyle pointStyle = PointStyle::SimpleDot;
  LineStyle lineStyle = LineStyle::Solid;
  int pointFrequency = 0;  // a marker on every n-th point; 0 none
  int color = 0x000000;    // 0xRRGGBB

  bool operator==(const PlotAttributes&) const = default;
};

// What DeleteGraphPlot does to the picture: redraw at once, or leave the
// redraw to the next change.
enum class DrawMode { Immediate, Delayed };

// Deleting every plot of a graph.
inline constexpr int kAllPlots = -1;

// Printing a panel: through the print dialog, or straight into a PDF file.
struct PrintRequest {
  std::string pdfPath;      // not empty: write this PDF file, no dialog
  bool scaleToPage = true;  // fit the whole panel on the page
  // The colours printed in (null: those the windows wear); the windows on
  // the screen keep theirs.
  std::shared_ptr<const ColorLook> look;
};

// What an exported picture of a graph shows besides the graph itself: a
// title line, the axes' captions with their units, and a legend of the
// traces shown (a colour of -1 gives an entry without a swatch, e.g. "and
// 150 more").
struct GraphLegendEntry {
  std::string name;
  int color = 0;        // 0xRRGGBB, -1 none
  bool hollow = false;  // the swatch drawn as an outline (a hollow bar)

  bool operator==(const GraphLegendEntry&) const = default;
};

struct GraphPicture {
  std::string title;
  std::string xName;  // empty: the caption the graph shows
  std::string yName;
  std::vector<GraphLegendEntry> legend;
  // The graph's colours in the picture (null: those it wears on the
  // screen, which it keeps).
  std::shared_ptr<const ColorLook> look;

  bool operator==(const GraphPicture&) const = default;
};

// Return codes of the user-interface calls (the run-time's own numbers).
namespace ui_status {
inline constexpr int kBadPanel = -4;        // not a live panel or menu bar handle
inline constexpr int kOutOfMemory = -12;    // a panel or plot could not be made
inline constexpr int kBadArgument = -13;    // unknown control or item, wrong value type, bad index
inline constexpr int kFileError = -40;      // a file could not be read or written
inline constexpr int kBadStateFile = -41;   // not a panel state file, or not of this panel
inline constexpr int kNoSuchState = -42;    // the state file holds no state of that index
inline constexpr int kPrintCancelled = -43; // the user closed the print dialog
}  // namespace ui_status

enum class EventType {
  None = 0,
  Commit = 1,      // a control was operated (button pressed, value entered)
  Menu = 2,        // a menu item was chosen: panel = menu bar, control = item id
  Close = 3,       // the panel's close box
  ValueChanged = 4, // a list selection or a value moved without a commit
  Terminate = 5    // the program is told to end (the session ends, SIGTERM): panel 0
};

struct UserEvent {
  EventType type = EventType::None;
  int panel = 0;    // panel handle (or menu bar handle; 0 for Terminate)
  int control = 0;  // control id (or menu item id)
};

enum class FileDialogMode { Load, Save };

struct FileSelectRequest {
  std::string directory;    // starting directory; empty = the current one
  std::string defaultSpec;  // "*.dat", "*.cal;*.dev", or a default file name
  std::string typeList;     // "*.dev;*.cal": further patterns offered
  std::string title;
  FileDialogMode mode = FileDialogMode::Load;
  bool restrictDirectory = false;
  bool restrictExtension = false;
  bool allowCancel = true;
  bool allowMakeDirectory = false;
};

// What a file dialog tells: no choice, an existing file, a new file name.
enum class FileSelectResult { None = 0, Existing = 1, New = 2 };

enum class Cursor { Default, HourGlass };

// The part of a screen a window may fill (docks and the desktop's panels
// left out), in the terms of a panel's Top, Left, Height and Width: the
// corner a window may be put at, and the largest contents that fit beside
// the window's frame and menu bar.
struct ScreenArea {
  int top = 0;
  int left = 0;
  int height = 0;
  int width = 0;
};

// A stretch of a graph's key axis shaded in a colour (Ui::SetKeyBands).
struct KeyBand {
  double from = 0.0, to = 0.0;
  int rgb = 0;
  bool operator==(const KeyBand&) const = default;
};

class Ui {
 public:
  virtual ~Ui() = default;

  // --- Pop-ups ------------------------------------------------------------
  // Shows text under a title with the given buttons; returns the 1-based
  // index of the button pressed.
  virtual int GenericMessagePopup(std::string_view title, std::string_view text,
                                  std::span<const std::string> buttons) = 0;
  // Asks a yes/no question; 1 for yes, 0 for no.
  virtual int ConfirmPopup(std::string_view title, std::string_view text) = 0;
  // Lets the user choose a file (the backend's dialog, SelectFile). A save
  // dialog does not ask about a file that exists: it answers Existing, and
  // the caller asks its own question, so that the user is asked once. A
  // name typed without an extension in a save dialog gets the dialog's
  // (SaveName) before Existing or New is told, so both, and the caller's
  // question, are of the name that will be written.
  FileSelectResult FileSelectPopup(const FileSelectRequest& request, std::string& path);

  // --- Panels -------------------------------------------------------------
  // Loads panel `resourceId` of the resource file as a child of `parent`
  // (0 = top level). Returns its handle (> 0) or a negative status
  // (-12 when it cannot be created).
  virtual int LoadPanel(int parent, int resourceId) = 0;
  virtual int DiscardPanel(int panel) = 0;
  virtual int DisplayPanel(int panel) = 0;
  virtual int HidePanel(int panel) = 0;
  // Shows a panel modally: until RemovePopup, only its events are delivered.
  virtual int InstallPopup(int panel) = 0;
  virtual int RemovePopup(int panel) = 0;
  virtual int SetPanelAttribute(int panel, Attr attr, const CtrlValue& value) = 0;
  virtual int GetPanelAttribute(int panel, Attr attr, CtrlValue& value) = 0;
  // The area of the screen the panel lands on at its Top and Left (the
  // window's own screen when no screen holds that corner).
  virtual int GetScreenArea(int panel, ScreenArea& area) = 0;

  // --- Controls -----------------------------------------------------------
  virtual int SetCtrlVal(int panel, int control, const CtrlValue& value) = 0;
  virtual int GetCtrlVal(int panel, int control, CtrlValue& value) = 0;
  virtual int SetCtrlAttribute(int panel, int control, Attr attr, const CtrlValue& value) = 0;
  virtual int GetCtrlAttribute(int panel, int control, Attr attr, CtrlValue& value) = 0;
  // A text attribute ("" when the control has no such text).
  std::string TextAttribute(int panel, int control, Attr attr) {
    CtrlValue value;
    if (GetCtrlAttribute(panel, control, attr, value) < 0) return {};
    const std::string* text = std::get_if<std::string>(&value);
    return text != nullptr ? *text : std::string();
  }
  virtual int SetActiveCtrl(int panel, int control) = 0;

  // --- List boxes (plain and check lists) -----------------------------------
  // index -1 appends.
  virtual int InsertListItem(int panel, int control, int index, std::string_view label,
                             int value) = 0;
  virtual int ReplaceListItem(int panel, int control, int index, std::string_view label,
                              int value) = 0;
  virtual int ClearListCtrl(int panel, int control) = 0;
  virtual int GetNumListItems(int panel, int control, int& count) = 0;
  virtual int GetCtrlIndex(int panel, int control, int& index) = 0;
  virtual int SetCtrlIndex(int panel, int control, int index) = 0;
  virtual int GetValueFromIndex(int panel, int control, int index, int& value) = 0;
  virtual int IsListItemChecked(int panel, int control, int index, int& checked) = 0;
  virtual int CheckListItem(int panel, int control, int index, int checked) = 0;

  // --- Menus ---------------------------------------------------------------
  // The menu bar a panel was loaded with (its handle), or 0 when it has none.
  // Menu events come from GetUserEvent with panel = this handle and control =
  // the item's id.
  virtual int GetPanelMenuBar(int panel) = 0;
  // Dimmed, Checked, LabelText of one item; item -1 with Dimmed: every item.
  virtual int SetMenuBarAttribute(int menuBar, int item, Attr attr, const CtrlValue& value) = 0;
  virtual int GetMenuBarAttribute(int menuBar, int item, Attr attr, CtrlValue& value) = 0;
  // Adds an item to menu `menu` in front of entry `before` (-1: at the end).
  // Returns the new item's id (> 0) or a negative status.
  virtual int InsertMenuItem(int menuBar, int menu, int before, std::string_view label,
                             std::string_view shortcut) = 0;

  // --- Graphs ----------------------------------------------------------------
  // Draws x[i], y[i] (equal lengths, at least one point) as a plot of its
  // own; the points are copied. Returns the plot's handle (> 0) or a
  // negative status.
  virtual int PlotXY(int panel, int control, std::span<const double> x,
                     std::span<const double> y, const PlotAttributes& attributes) = 0;
  // Draws `curve` (curve.h) as a plot, its keys on the X or the Y axis and
  // its values on the other, with the plot style of `attributes` (a thin or
  // fat line, a line with markers, markers alone). The graph keeps the
  // curve, not its points, and reads it whenever it draws; CurvesChanged
  // tells it that the curve grew or changed. Returns the plot's handle
  // (> 0) or a negative status. What a backend reports of the plot (panel
  // state files, tests) is its points as segments drew them: a curve put up
  // with fewer than two points starts with its first point twice, a
  // segment of no length, until it changes.
  virtual int PlotCurve(int panel, int control, std::shared_ptr<const Curve> curve, CurveKeys keys,
                        const PlotAttributes& attributes) = 0;
  // The curves a graph or strip chart draws grew or changed: the graph puts
  // them on screen (a curve that only grew: only its new points).
  virtual int CurvesChanged(int panel, int control) = 0;
  // Deletes one plot, or every plot with kAllPlots.
  virtual int DeleteGraphPlot(int panel, int control, int plot, DrawMode mode) = 0;
  // Sets the axes of a graph (both) or strip chart (Y only; X must be
  // NoChange). Autoscale follows the data; Lock keeps what is shown.
  virtual int SetAxisRange(int panel, int control, AxisMode xMode, double xMin, double xMax,
                           AxisMode yMode, double yMin, double yMax) = 0;
  // The ranges shown now and the axes' modes.
  virtual int GetAxisRange(int panel, int control, AxisMode& xMode, double& xMin, double& xMax,
                           AxisMode& yMode, double& yMin, double& yMax) = 0;
  // The time axis of a graph or strip chart (its X axis when `onX`, else
  // its Y axis) ticks and reads as `scale` gives it (time_scale.h), read
  // whenever the axis is drawn; null: plain numbers again (and a strip
  // chart's X axis without numbers).
  virtual int SetTimeScale(int panel, int control, bool onX, std::shared_ptr<const TimeScale> scale) = 0;
  // Shades stretches of a graph's key axis (its X axis when `onX`, else
  // its Y axis) across the whole graph, behind its plots: each band from
  // `from` to `to` in the axis's units, in its colour (drawn translucent).
  // The bands given replace those before; none clears them.
  virtual int SetKeyBands(int panel, int control, bool onX, std::vector<KeyBand> bands) = 0;
  // Redraws the graph now (needed while AutoRefresh is 0).
  virtual int RefreshGraph(int panel, int control) = 0;
  // Writes the picture of a graph or strip chart to a PNG file, or a PDF
  // file when the name ends in ".pdf".
  virtual int SaveGraphImage(int panel, int control, std::string_view path) = 0;
  // The same picture with `picture`'s title above the graph, its captions on
  // the axes and its legend beside the graph; the graph on screen is left
  // as it was.
  virtual int ExportGraphImage(int panel, int control, std::string_view path,
                               const GraphPicture& picture) = 0;

  // --- Strip charts ---------------------------------------------------------
  // Appends `points` to a strip chart: traces interleaved, one value per
  // trace per point.
  virtual int PlotStripChart(int panel, int control, std::span<const double> points,
                             int traceCount) = 0;
  // Clears the chart's points and curves.
  virtual int ClearStripChart(int panel, int control) = 0;
  // Chart trace k draws curve k (1 ... kMaxStripTraces curves; the chart
  // takes their number of traces), whose keys are point numbers: the chart
  // shows the last PointsPerScreen points of its curves and scrolls as they
  // grow (CurvesChanged). The chart keeps the curves, not their points;
  // points given to PlotStripChart take their place.
  virtual int SetStripCurves(int panel, int control,
                             std::span<const std::shared_ptr<const Curve>> curves) = 0;
  // TraceColor or TraceVisible of trace `trace` (0-based).
  virtual int SetTraceAttribute(int panel, int control, int trace, Attr attr,
                                const CtrlValue& value) = 0;

  // --- Panel state and printing ----------------------------------------------
  // Writes every control's value (and the pictures of graphs and strip
  // charts) as state number `index` of a panel state file; other states in
  // the file are kept. The format is described in docs/platform.md.
  virtual int SavePanelState(int panel, std::string_view path, int index) = 0;
  // Puts state `index` of the file back into the panel it was saved from.
  virtual int RecallPanelState(int panel, std::string_view path, int index) = 0;
  // Prints the whole panel. 0 on success, kPrintCancelled when the user
  // closed the print dialog, another negative status on failure.
  virtual int PrintPanel(int panel, const PrintRequest& request) = 0;

  // --- Events and cursor ----------------------------------------------------
  // Returns the next user event, or EventType::None when there is none and
  // `wait` is false. A backend may wait a millisecond or two before
  // answering None so that polling loops do not burn a core.
  virtual UserEvent GetUserEvent(bool wait) = 0;
  // Waits for the next user event at most `seconds` (negative: as long as it
  // takes) and returns it. Returns None sooner when one of the file
  // descriptors `inputs` has something to read (a serial line's next bytes),
  // or when the window system handled something that was not a user event
  // (the window was resized or uncovered), so that the caller can look at its
  // state again. Loops that would otherwise poll call this, so that a quiet
  // program costs no processor time. The default polls once.
  virtual UserEvent WaitUserEvent(double seconds, std::span<const int> inputs);
  virtual void SetMouseCursor(Cursor cursor) = 0;
  // Paints what changed on a panel now, without waiting and without handing
  // out user events (they stay queued for the next look): a message put up
  // or changed just before the program reads an instrument for a while is
  // seen at once, not only when the program next looks at the user. 0, or
  // kBadPanel.
  virtual int UpdatePanel(int panel) = 0;

  // --- Ending -----------------------------------------------------------------
  // The program is told to end without a user to ask (the session ends, a
  // SIGTERM or SIGHUP). From then on, for good: a pop-up up now or later
  // gives its cancelling answer at once (the last button, no, no file, a
  // cancelled print); when no other event waits, the event calls give the
  // close box (Close) of the top modal panel while one is installed, so
  // that every dialog loop ends as cancelled, and Terminate once none is,
  // so that the main loop ends the program as its exit command does.
  virtual void RequestTermination() = 0;
  virtual bool TerminationRequested() const = 0;

  // --- Appearance ---------------------------------------------------------------
  // Dresses every window, the ones up now and those still to come, in a
  // colour scheme (color_look.h): the day scheme is the desktop's own
  // palette with graphs on white, the night scheme a dark, red-tinted one.
  // Trace colours and coloured texts are drawn as the look's rules give
  // them; a backend given no look (null) draws them as given, by day. 0, or
  // a negative status when the backend has no schemes.
  virtual int SetColorScheme(std::shared_ptr<const ColorLook> look);
  virtual ColorScheme GetColorScheme() const;

  // --- Typed helpers ------------------------------------------------------
  int GetCtrlInt(int panel, int control);
  double GetCtrlDouble(int panel, int control);
  std::string GetCtrlText(int panel, int control);

 protected:
  // The backend's file dialog, as FileSelectPopup tells it, before the
  // name is completed.
  virtual FileSelectResult SelectFile(const FileSelectRequest& request, std::string& path) = 0;
};

// The extension a save dialog gives a name typed without one, with its
// dot: that of the dialog's first pattern ("*.dat" gives ".dat"), or of
// its default name; empty when it has none ("*", "*.*").
std::string DialogExtension(const FileSelectRequest& request);
// The name a save dialog writes for the `typed` one: a last component
// with an extension keeps it ("run1.txt", "run.1"); one without gets the
// dialog's ("run1" -> "run1.dat", a hidden ".state" -> ".state.gph").
// Dots that end a name are dropped first ("run1." -> "run1.dat",
// "run1.txt." -> "run1.txt"): such a name is a slip, and the file would
// be missing from the dialogs that open it. A load dialog's names, an
// empty name, a last component of dots only ("..") and the name of a
// folder that exists are left as they are.
std::string SaveName(const FileSelectRequest& request, const std::string& typed);

// A control value as a number: ints as they are, doubles rounded (nothing
// when not finite or out of range), texts not at all. Both backends convert
// values this way.
std::optional<int> CtrlValueInt(const CtrlValue& value);
std::optional<double> CtrlValueDouble(const CtrlValue& value);

// The installed instance. Using it before one is installed is a programming
// error and aborts with a message.
Ui& ui();
bool HasUi();
// Changes whenever a backend is installed or restored, so that modules which
// keep panel handles can tell that those belong to an earlier instance.
unsigned long UiGeneration();

// Installs a backend for the lifetime of the guard and restores the previous
// one afterwards.
class ScopedUi : ScopedInstall<Ui> {
 public:
  explicit ScopedUi(Ui& backend);
  ~ScopedUi();
};

}  // namespace sondrix::platform
