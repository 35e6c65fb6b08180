// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt 6 user interface: real windows built from the resource file, graphs
// and strip charts on QCustomPlot, menus, pop-ups, file dialogs and
// printing.
//
// The panel tree (panel_tree.h) keeps what the program set and decides
// every answer; this adds the widgets. What the user changes in a widget
// (a text typed, a list choice, a box ticked) goes into the control's
// record as it happens.
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

#include "platform/panel_tree.h"

class QAction;
class QApplication;
class QLabel;
class QMenu;
class QMenuBar;
class QPalette;
class QPrinter;
class QShortcut;

namespace sondrix::platform::qt {

class PanelWindow;
class PlotWidget;
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

class QtUi : public PanelTree {
 public:
  // Reads the resource file at UirPath(); when it cannot be read every
  // LoadPanel fails and resourceError() says why.
  QtUi();
  explicit QtUi(UirFile resources);
  ~QtUi() override;

  UserEvent GetUserEvent(bool wait) override;
  UserEvent WaitUserEvent(double seconds, std::span<const int> inputs) override;
  void SetMouseCursor(Cursor cursor) override;
  // Night: the application's palette becomes the night colours, graphs go
  // dark; day: the desktop's palette comes back.
  int SetColorScheme(std::shared_ptr<const ColorLook> look) override;
  ColorScheme GetColorScheme() const override { return Look().scheme(); }

  // --- For tests, benchmarks and screenshots ----------------------------------
  // The panel's window (null for an unknown handle) and a control's widget.
  QWidget* Window(int panel) const;
  QWidget* Widget(int panel, int control) const;
  GraphWidget* Graph(int panel, int control) const;
  StripWidget* Strip(int panel, int control) const;
  QAction* MenuAction(int menuBar, int item) const;
  std::size_t pendingEvents() const { return QueuedEvents(); }

 protected:
  // --- The widgets of the panel tree ---------------------------------------------
  std::unique_ptr<PanelRecord> MakePanel() override;
  std::unique_ptr<ControlRecord> MakeControl(const ControlSpec& spec) override;
  std::unique_ptr<MenuBarRecord> MakeMenuBar() override;
  int Build(PanelRecord& panel, const PanelSpec& spec) override;
  void Destroy(PanelRecord& panel) override;
  void Shown(PanelRecord& panel, bool popup) override;
  void Hidden(PanelRecord& panel, bool popup) override;
  void PanelChanged(PanelRecord& panel, Attr attr) override;
  void ReadPlace(PanelRecord& panel) override;
  int ScreenAreaOf(PanelRecord& panel, ScreenArea& area) override;
  // Paints what changed now, handing out no user event.
  void Paint(PanelRecord& panel) override;
  void ControlChanged(PanelRecord& panel, ControlRecord& control, Attr attr) override;
  void ValueChanged(PanelRecord& panel, ControlRecord& control) override;
  void ListChanged(PanelRecord& panel, ControlRecord& control, ListChange change, int index) override;
  void Focus(PanelRecord& panel, ControlRecord& control) override;
  void TraceChanged(PanelRecord& panel, ControlRecord& control, int trace) override;
  void MenuItemChanged(MenuBarRecord& bar, const MenuItemRecord& item) override;
  void MenuItemAdded(MenuBarRecord& bar, const MenuItemRecord& item, int before) override;
  GraphSurface& SurfaceOf(ControlRecord& control) override;
  int AskUser(PopupKind kind, std::string_view title, std::string_view text,
              std::span<const std::string> buttons) override;
  FileSelectResult AskFile(const FileSelectRequest& request, std::string& path) override;
  int Print(PanelRecord& panel, const PrintRequest& request) override;
  // Ends the dialogs up now (Qt's message boxes, file, print and colour
  // dialogs) as if the user had cancelled them.
  void EndDialogs() override;

 private:
  struct Control;
  struct Panel;
  struct MenuBar;
  static Panel& Of(PanelRecord& panel);
  static Control& Of(ControlRecord& control);
  static MenuBar& Of(MenuBarRecord& bar);
  static PlotWidget* PlotOf(ControlRecord& control);
  static GraphWidget* GraphOf(ControlRecord& control);
  static StripWidget* StripOf(ControlRecord& control);

  void BuildControl(Panel& panel, Control& control);
  void BuildMenuBar(Panel& panel, MenuBar& bar, const MenuBarSpec& spec);
  void AddMenuEntries(MenuBar& bar, QMenu* menu, const std::vector<MenuEntrySpec>& entries,
                      QMenuBar* top);
  void Connect(QAction* action, int menuBar, int item);
  // What the user did to a control, kept in its record.
  void Took(int panel, int control, const CtrlValue& value);
  void UpdateStyle(Control& control);
  void UpdateAccessibleName(Panel& panel, Control& control);
  void ShowRange(Control& control);
  void ShowValue(Panel& panel, Control& control);
  void ShowSelection(Control& control);
  void FitWrappedText(Panel& panel, Control& control);
  void SetShortcut(Panel& panel, Control& control);
  // The window a dialog comes up over: the pop-up on top (other than
  // `except`), else the program's first window on the screen; null when
  // none is up.
  QWidget* DialogOwner(const PanelRecord* except = nullptr) const;
  int PrintContent(Panel& panel, QPrinter& printer, const PrintRequest& request);
  void AwaitOnScreen(Panel& panel);

  bool busyCursor_ = false;
  // The look worn (none: the plain one), and the desktop's palette while
  // the night scheme is worn.
  const ColorLook& Look() const { return look_ ? *look_ : PlainLook(); }
  std::shared_ptr<const ColorLook> look_;
  std::unique_ptr<QPalette> dayPalette_;
};

}  // namespace sondrix::platform::qt
