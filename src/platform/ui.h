// The user-interface services the program relies on: panels loaded from the
// resource file, controls addressed by (panel handle, control id), a
// non-blocking event poll, modal pop-ups, file selection, the mouse cursor,
// list boxes, strip charts and graphs.
//
// One process-wide instance is installed by main, a tool or a test fixture
// (ScopedUi). Two backends implement it: headless (values in memory, scripted
// events and answers; tests and sondrix-cli) and qt (real widgets).
//
// Conventions of the run-time this stands in for are kept: a panel handle is a
// positive number, calls return 0 (or a count, or a handle) on success and a
// negative status on failure, and control ids and panel resource ids come from
// resources/sondrix.uir (their names are in common/panels.h).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace sondrix::platform {

// A control's value: numeric controls hold int or double, text controls text.
using CtrlValue = std::variant<int, double, std::string>;

enum class Attr {
  Dimmed,      // int 0/1
  Visible,     // int 0/1
  LabelText,   // text
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
};

enum class EventType {
  None = 0,
  Commit = 1,      // a control was operated (button pressed, value entered)
  Menu = 2,        // a menu item was chosen: panel = menu bar, control = item id
  Close = 3,       // the panel's close box
  ValueChanged = 4 // a list selection or a value moved without a commit
};

struct UserEvent {
  EventType type = EventType::None;
  int panel = 0;    // panel handle (or menu bar handle)
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
  virtual FileSelectResult FileSelectPopup(const FileSelectRequest& request,
                                           std::string& path) = 0;

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

  // --- Controls -----------------------------------------------------------
  virtual int SetCtrlVal(int panel, int control, const CtrlValue& value) = 0;
  virtual int GetCtrlVal(int panel, int control, CtrlValue& value) = 0;
  virtual int SetCtrlAttribute(int panel, int control, Attr attr, const CtrlValue& value) = 0;
  virtual int GetCtrlAttribute(int panel, int control, Attr attr, CtrlValue& value) = 0;
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

  // --- Strip charts ---------------------------------------------------------
  // Appends `points` to a strip chart: traces interleaved, one value per
  // trace per point.
  virtual int PlotStripChart(int panel, int control, std::span<const double> points,
                             int traceCount) = 0;
  virtual int ClearStripChart(int panel, int control) = 0;
  virtual int SetTraceAttribute(int panel, int control, int trace, Attr attr,
                                const CtrlValue& value) = 0;

  // --- Events and cursor ----------------------------------------------------
  // Returns the next user event, or EventType::None when there is none and
  // `wait` is false. A backend may wait a millisecond or two before
  // answering None so that polling loops do not burn a core.
  virtual UserEvent GetUserEvent(bool wait) = 0;
  virtual void SetMouseCursor(Cursor cursor) = 0;

  // --- Typed helpers ------------------------------------------------------
  int GetCtrlInt(int panel, int control);
  double GetCtrlDouble(int panel, int control);
  std::string GetCtrlText(int panel, int control);
};

// The installed instance. Using it before one is installed is a programming
// error and aborts with a message.
Ui& ui();
bool HasUi();
// Changes whenever a backend is installed or restored, so that modules which
// keep panel handles can tell that those belong to an earlier instance.
unsigned long UiGeneration();

// Installs a backend for the lifetime of the guard and restores the previous
// one afterwards.
class ScopedUi {
 public:
  explicit ScopedUi(Ui& backend);
  ~ScopedUi();
  ScopedUi(const ScopedUi&) = delete;
  ScopedUi& operator=(const ScopedUi&) = delete;

 private:
  Ui* previous_;
};

}  // namespace sondrix::platform
