// The Qt 6 user interface: real windows built from the resource file, graphs
// and strip charts on QCustomPlot, menus, pop-ups, file dialogs and
// printing.
//
// Events: clicks, values entered, menu choices, shortcut keys and the
// window's close box are queued as they happen and handed out by
// GetUserEvent. A wait for an event blocks in Qt's event loop; a poll
// processes the pending events and returns at once.
//
// A QApplication must exist before a QtUi is made (QtApplication makes one
// the program's way).
#pragma once

#include <QPointer>
#include <QWidget>
#include <deque>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/panel_state.h"
#include "platform/ui.h"
#include "platform/uir.h"

class QAction;
class QApplication;
class QLabel;
class QMenu;
class QMenuBar;
class QPalette;
class QShortcut;

namespace sondrix::platform::qt {

class PanelWindow;
class GraphWidget;
class StripWidget;

// The program's QApplication: the desktop's scale factor is followed
// exactly (text stays crisp on HiDPI screens), and LC_NUMERIC stays "C", so
// that numbers in files and formatted texts use a decimal point whatever the
// desktop's language.
class QtApplication {
 public:
  QtApplication(int& argc, char** argv);
  ~QtApplication();
  QtApplication(const QtApplication&) = delete;
  QtApplication& operator=(const QtApplication&) = delete;
  QApplication& app() { return *app_; }

 private:
  std::unique_ptr<QApplication> app_;
};

class QtUi : public Ui {
 public:
  // Reads the resource file at UirPath(); when it cannot be read every
  // LoadPanel fails and resourceError() says why.
  QtUi();
  explicit QtUi(UirFile resources);
  ~QtUi() override;

  int GenericMessagePopup(std::string_view title, std::string_view text,
                          std::span<const std::string> buttons) override;
  int ConfirmPopup(std::string_view title, std::string_view text) override;
  FileSelectResult SelectFile(const FileSelectRequest& request, std::string& path) override;

  int LoadPanel(int parent, int resourceId) override;
  int DiscardPanel(int panel) override;
  int DisplayPanel(int panel) override;
  int HidePanel(int panel) override;
  int InstallPopup(int panel) override;
  int RemovePopup(int panel) override;
  int SetPanelAttribute(int panel, Attr attr, const CtrlValue& value) override;
  int GetPanelAttribute(int panel, Attr attr, CtrlValue& value) override;
  int GetScreenArea(int panel, ScreenArea& area) override;

  int SetCtrlVal(int panel, int control, const CtrlValue& value) override;
  int GetCtrlVal(int panel, int control, CtrlValue& value) override;
  int SetCtrlAttribute(int panel, int control, Attr attr, const CtrlValue& value) override;
  int GetCtrlAttribute(int panel, int control, Attr attr, CtrlValue& value) override;
  int SetActiveCtrl(int panel, int control) override;

  int InsertListItem(int panel, int control, int index, std::string_view label,
                     int value) override;
  int ReplaceListItem(int panel, int control, int index, std::string_view label,
                      int value) override;
  int ClearListCtrl(int panel, int control) override;
  int GetNumListItems(int panel, int control, int& count) override;
  int GetCtrlIndex(int panel, int control, int& index) override;
  int SetCtrlIndex(int panel, int control, int index) override;
  int GetValueFromIndex(int panel, int control, int index, int& value) override;
  int IsListItemChecked(int panel, int control, int index, int& checked) override;
  int CheckListItem(int panel, int control, int index, int checked) override;

  int GetPanelMenuBar(int panel) override;
  int SetMenuBarAttribute(int menuBar, int item, Attr attr, const CtrlValue& value) override;
  int GetMenuBarAttribute(int menuBar, int item, Attr attr, CtrlValue& value) override;
  int InsertMenuItem(int menuBar, int menu, int before, std::string_view label,
                     std::string_view shortcut) override;

  int PlotXY(int panel, int control, std::span<const double> x, std::span<const double> y,
             const PlotAttributes& attributes) override;
  int DeleteGraphPlot(int panel, int control, int plot, DrawMode mode) override;
  int SetAxisRange(int panel, int control, AxisMode xMode, double xMin, double xMax,
                   AxisMode yMode, double yMin, double yMax) override;
  int GetAxisRange(int panel, int control, AxisMode& xMode, double& xMin, double& xMax,
                   AxisMode& yMode, double& yMin, double& yMax) override;
  int RefreshGraph(int panel, int control) override;
  int SaveGraphImage(int panel, int control, std::string_view path) override;
  int ExportGraphImage(int panel, int control, std::string_view path,
                       const GraphPicture& picture) override;

  int PlotStripChart(int panel, int control, std::span<const double> points,
                     int traceCount) override;
  int ClearStripChart(int panel, int control) override;
  int SetTraceAttribute(int panel, int control, int trace, Attr attr,
                        const CtrlValue& value) override;

  int SavePanelState(int panel, std::string_view path, int index) override;
  int RecallPanelState(int panel, std::string_view path, int index) override;
  int PrintPanel(int panel, const PrintRequest& request) override;

  UserEvent GetUserEvent(bool wait) override;
  UserEvent WaitUserEvent(double seconds, std::span<const int> inputs) override;
  void SetMouseCursor(Cursor cursor) override;
  int UpdatePanel(int panel) override;

  // Also ends the dialogs up now (Qt's message boxes, file, print and colour
  // dialogs) as if the user had cancelled them.
  void RequestTermination() override;
  bool TerminationRequested() const override { return terminating_; }

  // Night: the application's palette becomes the night colours, graphs go
  // dark; day: the desktop's palette comes back.
  int SetColorScheme(ColorScheme scheme) override;
  ColorScheme GetColorScheme() const override { return scheme_; }

  // --- For tests, benchmarks and screenshots ----------------------------------
  const std::string& resourceError() const { return resourceError_; }
  // The panel's window (null for an unknown handle) and a control's widget.
  QWidget* Window(int panel) const;
  QWidget* Widget(int panel, int control) const;
  GraphWidget* Graph(int panel, int control) const;
  StripWidget* Strip(int panel, int control) const;
  QAction* MenuAction(int menuBar, int item) const;
  std::size_t pendingEvents() const { return events_.size(); }

 private:
  struct Control;
  struct Panel;
  struct MenuBar;

  Panel* LivePanel(int handle);
  Control* LiveControl(int panel, int control);
  Control* ListControl(int panel, int control);
  MenuBar* LiveMenuBar(int handle);
  void BuildControl(Panel& panel, const ControlSpec& spec);
  void BuildMenuBar(Panel& panel, const MenuBarSpec& spec);
  void AddMenuEntries(MenuBar& bar, QMenu* menu, const std::vector<MenuEntrySpec>& entries,
                      QMenuBar* top);
  void Post(EventType type, int panel, int control);
  bool Accepts(int panel) const;
  // The next queued event; once the program is told to end and none is
  // queued, the close box of the top modal panel, else Terminate.
  UserEvent TakeEvent();
  void UpdateStyle(Control& control);
  void UpdateAccessibleName(Panel& panel, Control& control);
  void FitWrappedText(Panel& panel, Control& control);
  void SetShortcut(Panel& panel, Control& control, const std::string& key);
  PanelState GatherState(Panel& panel);

  std::string resourceError_;  // before resources_, which is read into it
  UirFile resources_;
  std::map<int, std::unique_ptr<Panel>> panels_;
  std::map<int, std::unique_ptr<MenuBar>> menuBars_;
  std::vector<int> popupStack_;
  std::deque<UserEvent> events_;
  int nextHandle_ = 1;
  bool busyCursor_ = false;
  bool terminating_ = false;
  ColorScheme scheme_ = ColorScheme::Day;
  std::unique_ptr<QPalette> dayPalette_;  // the desktop's, while the night scheme is worn
};

}  // namespace sondrix::platform::qt
