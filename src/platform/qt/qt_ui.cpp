#include "platform/qt/qt_ui.h"

#include <QAction>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyleOptionFocusRect>
#include <QKeyEvent>
#include <QPalette>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cctype>
#include <clocale>
#include <climits>
#include <cmath>
#include <functional>
#include <optional>
#include <utility>

#include "platform/panel_state.h"
#include "platform/paths.h"
#include "platform/qt/qt_plot.h"

namespace sondrix::platform::qt {

// --- Widgets with a little more than Qt gives --------------------------------------------

// A panel's window: a menu bar (when the panel has one) over the content, in
// which the controls sit where the resource file puts them. The content sits
// in a scroll area: a window smaller than the place its controls take
// scrolls, so that every control stays reachable. A panel's size is the
// scroll area's (the room the window gives it). The close box becomes an
// event; the window itself never closes on its own.
class PanelWindow : public QWidget {
 public:
  PanelWindow(QWidget* parent, std::function<void()> onClose)
      : QWidget(parent), onClose_(std::move(onClose)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(false);
    scroll->setFocusPolicy(Qt::NoFocus);
    content = new QWidget();
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);
  }

  void SetMenuBar(QMenuBar* bar) {
    menuBar = bar;
    static_cast<QVBoxLayout*>(layout())->setMenuBar(bar);
  }

  int MenuBarHeight() const { return menuBar != nullptr ? menuBar->sizeHint().height() : 0; }

  // The room for the content: what a panel's height and width mean. Never
  // below the minimum.
  void SetContentSize(int width, int height) {
    width = std::max(width, scroll->minimumWidth());
    height = std::max(height, scroll->minimumHeight());
    const int bar = MenuBarHeight();
    if (parentWidget() != nullptr && !isWindow()) {
      setFixedSize(width, height + bar);
    } else {
      resize(width, height + bar);
    }
    // At once, also while the window is hidden (its layout waits until it
    // is shown).
    scroll->setGeometry(0, bar, width, height);
    room_ = QSize(width, height);
    FitContent();
  }
  QSize room() const { return room_; }

  // The smallest room the window can be given: the layout makes it the
  // window's minimum, menu bar included, and a smaller window grows.
  void SetMinimumContentSize(int width, int height) {
    scroll->setMinimumSize(std::max(width, 0), std::max(height, 0));
    // At once, not when the window is next laid out.
    layout()->activate();
    SetContentSize(room_.width(), room_.height());
  }

  // The content fills the room, or is as large as its controls need when
  // they need more (the scroll bars then come up).
  void FitContent() {
    const QRect used = content->childrenRect();
    const int width = std::max(room_.width(), used.isEmpty() ? 0 : used.right() + 1);
    const int height = std::max(room_.height(), used.isEmpty() ? 0 : used.bottom() + 1);
    if (content->size() != QSize(width, height)) content->resize(width, height);
  }

  QWidget* content = nullptr;
  QScrollArea* scroll = nullptr;
  QMenuBar* menuBar = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (onClose_) onClose_();
  }
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    // The user (through the window system) resized the window; its layout
    // has given the scroll area its new size.
    if (layout() != nullptr) layout()->activate();
    room_ = scroll->size();
    FitContent();
  }

 private:
  std::function<void()> onClose_;
  QSize room_;
};

namespace {

// A text that reports presses when it is "hot".
// A caption is as wide as its control, or as its text where that is wider:
// never cut short.
void FitCaption(QLabel& caption, int controlWidth) {
  const int text = caption.fontMetrics().horizontalAdvance(caption.text());
  caption.resize(std::max({controlWidth, 40, text}), 16);
}

class HotLabel : public QLabel {
 public:
  explicit HotLabel(QWidget* parent) : QLabel(parent) {}
  std::function<void()> onPress;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    QLabel::mousePressEvent(event);
    if (onPress) onPress();
  }
  // A hot text takes the keyboard focus (by Tab) and is pressed by the
  // space bar or Enter, as a button is.
  void keyPressEvent(QKeyEvent* event) override {
    const int key = event->key();
    if (onPress && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
      onPress();
      return;
    }
    QLabel::keyPressEvent(event);
  }
  void paintEvent(QPaintEvent* event) override {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(this);
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
};

// A name for assistive technology from a control's name in the resource
// file, when it has no label: the panel's common prefix left out and the
// words apart ("MainXYGraph" of the main panel: "XY Graph").
std::string NameFromResource(const PanelSpec& panel, const ControlSpec& control) {
  std::string prefix;
  for (const ControlSpec& other : panel.controls) {
    if (&other == &panel.controls.front()) {
      prefix = other.name;
      continue;
    }
    std::size_t n = 0;
    while (n < prefix.size() && n < other.name.size() && prefix[n] == other.name[n]) ++n;
    prefix.resize(n);
  }
  // Up to the start of a word only.
  while (!prefix.empty() && !(prefix.size() < control.name.size() && std::isupper(static_cast<unsigned char>(
                                                                              control.name[prefix.size()]))))
    prefix.pop_back();
  const std::string rest = control.name.substr(prefix.size());
  std::string words;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const auto c = static_cast<unsigned char>(rest[i]);
    const auto before = i > 0 ? static_cast<unsigned char>(rest[i - 1]) : 0;
    const auto after = i + 1 < rest.size() ? static_cast<unsigned char>(rest[i + 1]) : 0;
    const bool wordStart = i > 0 && ((std::isupper(c) && (std::islower(before) || std::isdigit(before) ||
                                                          (std::isupper(before) && std::islower(after)))) ||
                                     (std::isdigit(c) && !std::isdigit(before)));
    if (wordStart) words.push_back(' ');
    words.push_back(static_cast<char>(c));
  }
  return words.empty() ? control.name : words;
}

// A dialog larger than the screen it comes up on is made to fit it (its
// content scrolls), so that its buttons can be reached on a small screen.
void FitOnScreen(PanelWindow& frame) {
  if (!frame.isWindow()) return;
  QScreen* screen = QGuiApplication::screenAt(frame.frameGeometry().center());
  if (screen == nullptr) screen = frame.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect available = screen->availableGeometry();
  const QSize decoration = frame.frameGeometry().size() - frame.geometry().size();
  const int width = std::min(frame.room().width(), available.width() - decoration.width());
  const int height =
      std::min(frame.room().height(), available.height() - decoration.height() - frame.MenuBarHeight());
  if (width < frame.room().width() || height < frame.room().height())
    frame.SetContentSize(std::max(width, 1), std::max(height, 1));
}

// A label without its mnemonic marks ("&File" reads "File").
QString WithoutMnemonic(const QString& label) {
  QString text = label;
  text.replace("&&", QString(QChar(0x1F)));
  text.remove('&');
  text.replace(QChar(0x1F), "&");
  return text;
}

// The program's titles hold no Qt placeholder: a "[*]" in a file name is
// shown as it is.
QString TitleText(const QString& text) {
  QString title = text;
  return title.replace("[*]", "[*][*]");
}
QString TitleFromWindow(const QString& title) {
  QString text = title;
  return text.replace("[*][*]", "[*]");
}

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }
std::string S(const QString& text) { return text.toStdString(); }

QString ColorName(int rgb) { return ToColor(rgb).name(); }

// Name filters of a file dialog: "*.dat" or "*.cal;*.dev" and further
// patterns, then all files.
QString Filters(const FileSelectRequest& request) {
  QStringList filters;
  auto add = [&filters](const std::string& spec) {
    if (spec.empty() || spec.find('*') == std::string::npos) return;
    QString patterns = Q(spec);
    patterns.replace(';', ' ');
    filters << patterns + " (" + patterns + ")";
  };
  add(request.defaultSpec);
  if (request.typeList != request.defaultSpec) add(request.typeList);
  filters << "All files (*)";
  return filters.join(";;");
}

}  // namespace

// --- The application ----------------------------------------------------------------------------

QtApplication::QtApplication(int& argc, char** argv) {
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  app_ = std::make_unique<QApplication>(argc, argv);
  // QApplication takes the desktop's locale for the C library; numbers keep
  // their decimal point.
  std::setlocale(LC_NUMERIC, "C");
  SetExecutablePath(S(QCoreApplication::applicationFilePath()));
}

QtApplication::~QtApplication() = default;

// --- Records ----------------------------------------------------------------------------------

struct QtUi::Control {
  ControlSpec spec;
  QPointer<QWidget> widget;
  QPointer<QLabel> caption;
  QPointer<QShortcut> shortcut;
  std::string shortcutText;
  std::string label;
  int textColor = 0;
  std::optional<int> backColor;
  CtrlMode mode = CtrlMode::Normal;
  bool dimmed = false;
  bool visible = true;
  int top = 0, left = 0, width = 0, height = 0;
  CtrlValue value;  // buttons, colours and lamps keep theirs here
};

struct QtUi::Panel {
  int handle = 0;
  int resourceId = 0;
  int parent = 0;
  std::unique_ptr<PanelWindow> window;  // top-level panels
  QPointer<PanelWindow> child;          // panels inside another panel
  std::map<int, Control> controls;
  int menuBar = 0;
  // Shown since the last UpdatePanel: the window system may not have put
  // it on the screen yet.
  bool justShown = false;

  PanelWindow* Frame() const { return window ? window.get() : child.data(); }
};

struct QtUi::MenuBar {
  int handle = 0;
  int resourceId = 0;
  int panel = 0;
  QPointer<QMenuBar> bar;
  std::map<int, QPointer<QAction>> actions;  // items, separators and menus by id
  std::map<int, QPointer<QMenu>> menus;
  std::map<int, bool> checked;
};

QtUi::QtUi() : resources_(LoadProgramUir(resourceError_)) {}

QtUi::QtUi(UirFile resources) : resources_(std::move(resources)) {}

QtUi::~QtUi() {
  if (busyCursor_) QApplication::restoreOverrideCursor();
  // The palette belongs to the application, which outlives this.
  if (dayPalette_ && scheme_ != ColorScheme::Day) QApplication::setPalette(*dayPalette_);
  SetPlotScheme(ColorScheme::Day);
  menuBars_.clear();
  // Children first: their widgets belong to their parents' windows.
  for (auto& [handle, panel] : panels_) {
    if (!panel->window && panel->child) delete panel->child.data();
  }
  panels_.clear();
}

QtUi::Panel* QtUi::LivePanel(int handle) {
  auto it = panels_.find(handle);
  if (it == panels_.end() || it->second->Frame() == nullptr) return nullptr;
  return it->second.get();
}

QtUi::Control* QtUi::LiveControl(int panel, int control) {
  Panel* p = LivePanel(panel);
  if (p == nullptr) return nullptr;
  auto it = p->controls.find(control);
  if (it == p->controls.end() || it->second.widget.isNull()) return nullptr;
  return &it->second;
}

QtUi::Control* QtUi::ListControl(int panel, int control) {
  Control* c = LiveControl(panel, control);
  return c != nullptr && IsListType(c->spec.type) ? c : nullptr;
}

QtUi::MenuBar* QtUi::LiveMenuBar(int handle) {
  auto it = menuBars_.find(handle);
  if (it == menuBars_.end() || it->second->bar.isNull()) return nullptr;
  return it->second.get();
}

QWidget* QtUi::Window(int panel) const {
  auto it = panels_.find(panel);
  return it == panels_.end() ? nullptr : it->second->Frame();
}

QWidget* QtUi::Widget(int panel, int control) const {
  auto it = panels_.find(panel);
  if (it == panels_.end()) return nullptr;
  auto c = it->second->controls.find(control);
  return c == it->second->controls.end() ? nullptr : c->second.widget.data();
}

GraphWidget* QtUi::Graph(int panel, int control) const {
  return dynamic_cast<GraphWidget*>(Widget(panel, control));
}

StripWidget* QtUi::Strip(int panel, int control) const {
  return dynamic_cast<StripWidget*>(Widget(panel, control));
}

QAction* QtUi::MenuAction(int menuBar, int item) const {
  auto it = menuBars_.find(menuBar);
  if (it == menuBars_.end()) return nullptr;
  auto a = it->second->actions.find(item);
  return a == it->second->actions.end() ? nullptr : a->second.data();
}

// --- Events ----------------------------------------------------------------------------------------

bool QtUi::Accepts(int panel) const {
  if (popupStack_.empty()) return true;
  const int top = popupStack_.back();
  for (int h = panel; h != 0;) {
    if (h == top) return true;
    auto it = panels_.find(h);
    if (it == panels_.end()) return false;
    h = it->second->parent;
  }
  return false;
}

void QtUi::Post(EventType type, int panel, int control) {
  int owner = panel;
  if (type == EventType::Menu) {
    auto bar = menuBars_.find(panel);
    if (bar == menuBars_.end()) return;
    owner = bar->second->panel;
  }
  if (!Accepts(owner)) return;
  events_.push_back(UserEvent{type, panel, control});
}

UserEvent QtUi::TakeEvent() {
  if (events_.empty()) {
    if (!terminating_) return UserEvent{};
    if (!popupStack_.empty()) return UserEvent{EventType::Close, popupStack_.back(), 0};
    return UserEvent{EventType::Terminate, 0, 0};
  }
  UserEvent event = events_.front();
  events_.pop_front();
  return event;
}

void QtUi::RequestTermination() {
  if (terminating_) return;
  terminating_ = true;
  // Each dialog's own event loop returns, as after Cancel; what its caller
  // does next finds every pop-up answering at once.
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<QDialog*>(widget); dialog != nullptr && dialog->isVisible()) dialog->reject();
  }
}

UserEvent QtUi::GetUserEvent(bool wait) {
  if (events_.empty()) QCoreApplication::processEvents(QEventLoop::AllEvents);
  while (events_.empty() && wait && !terminating_) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return TakeEvent();
}

UserEvent QtUi::WaitUserEvent(double seconds, std::span<const int> inputs) {
  if (events_.empty()) QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (events_.empty() && seconds != 0.0 && !terminating_) {
    // Qt's event loop sleeps until the window system, a watched input or the
    // timer wakes it, handles what woke it and returns.
    std::vector<std::unique_ptr<QSocketNotifier>> watches;
    for (const int fd : inputs) {
      if (fd >= 0) watches.push_back(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read));
    }
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    if (seconds > 0.0) timer.start(std::max(1, static_cast<int>(std::lround(std::min(seconds, 3600.0) * 1000.0))));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return TakeEvent();
}

int QtUi::UpdatePanel(int panel) {
  Panel* p = LivePanel(panel);
  if (p == nullptr) return ui_status::kBadPanel;
  QWidget* frame = p->Frame();
  QWidget* window = frame->window();
  if (!window->isVisible()) return 0;
  // A window just shown can be painted once the window system has put it on
  // the screen: the events that say so are handled (user input stays queued
  // for the program's next look), for a moment at most, once (a window
  // kept off the screen, minimised say, costs no more than that).
  constexpr int kExposeWaitMs = 250;
  const bool justShown = std::exchange(p->justShown, false);
  if (QWindow* handle = window->windowHandle(); justShown && handle != nullptr && !handle->isExposed()) {
    QDeadlineTimer deadline(kExposeWaitMs);
    while (!handle->isExposed() && !deadline.hasExpired()) {
      QTimer limit;
      limit.setSingleShot(true);
      limit.start(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
  }
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  frame->repaint();
  return 0;
}

void QtUi::SetMouseCursor(Cursor cursor) {
  const bool busy = cursor == Cursor::HourGlass;
  if (busy == busyCursor_) return;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
  busyCursor_ = busy;
}

// --- Pop-ups --------------------------------------------------------------------------------------

int QtUi::GenericMessagePopup(std::string_view title, std::string_view text,
                              std::span<const std::string> buttons) {
  // Nobody to ask: the last button, as when the box is closed.
  if (terminating_) return std::max(static_cast<int>(buttons.size()), 1);
  QMessageBox box(QMessageBox::NoIcon, Q(title), Q(text), QMessageBox::NoButton,
                  QApplication::activeWindow());
  std::vector<QAbstractButton*> added;
  for (const std::string& label : buttons) added.push_back(box.addButton(Q(label), QMessageBox::AcceptRole));
  if (added.empty()) added.push_back(box.addButton(QMessageBox::Ok));
  box.exec();
  const auto it = std::find(added.begin(), added.end(), box.clickedButton());
  return it == added.end() ? static_cast<int>(added.size()) : static_cast<int>(it - added.begin()) + 1;
}

int QtUi::ConfirmPopup(std::string_view title, std::string_view text) {
  if (terminating_) return 0;
  return QMessageBox::question(QApplication::activeWindow(), Q(title), Q(text),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes
             ? 1
             : 0;
}

FileSelectResult QtUi::SelectFile(const FileSelectRequest& request, std::string& path) {
  if (terminating_) return FileSelectResult::None;
  QFileDialog dialog(QApplication::activeWindow(), Q(request.title), Q(request.directory), Filters(request));
  dialog.setAcceptMode(request.mode == FileDialogMode::Save ? QFileDialog::AcceptSave
                                                            : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.mode == FileDialogMode::Save ? QFileDialog::AnyFile
                                                          : QFileDialog::ExistingFile);
  // The caller asks about a file that exists (Existing tells it): the
  // dialog's own question would ask the user twice.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!request.defaultSpec.empty() && request.defaultSpec.find('*') == std::string::npos) {
    dialog.selectFile(Q(request.defaultSpec));
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return FileSelectResult::None;
  path = S(dialog.selectedFiles().front());
  return FileExists(path) ? FileSelectResult::Existing : FileSelectResult::New;
}

// --- Panels -------------------------------------------------------------------------------------------

int QtUi::LoadPanel(int parent, int resourceId) {
  const PanelSpec* spec = resources_.FindPanel(resourceId);
  if (spec == nullptr) return ui_status::kOutOfMemory;
  Panel* parentPanel = nullptr;
  if (parent != 0 && (parentPanel = LivePanel(parent)) == nullptr) return ui_status::kBadPanel;

  auto panel = std::make_unique<Panel>();
  panel->handle = nextHandle_++;
  panel->resourceId = resourceId;
  panel->parent = parent;
  const int handle = panel->handle;
  auto onClose = [this, handle] { Post(EventType::Close, handle, 0); };
  PanelWindow* frame = nullptr;
  if (parentPanel != nullptr) {
    frame = new PanelWindow(parentPanel->Frame()->content, onClose);
    frame->setAutoFillBackground(true);
    frame->move(spec->left, spec->top);
    frame->hide();
    panel->child = frame;
  } else {
    panel->window = std::make_unique<PanelWindow>(nullptr, onClose);
    frame = panel->window.get();
    if (spec->top > 0 || spec->left > 0) frame->move(spec->left, spec->top);
  }
  frame->setWindowTitle(TitleText(Q(spec->title)));
  if (spec->menuBar != 0) {
    if (const MenuBarSpec* bar = resources_.FindMenuBar(spec->menuBar)) BuildMenuBar(*panel, *bar);
  }
  for (const ControlSpec& control : spec->controls) BuildControl(*panel, control);
  frame->SetContentSize(spec->width, spec->height);
  panels_.emplace(handle, std::move(panel));
  return handle;
}

int QtUi::DiscardPanel(int handle) {
  Panel* panel = LivePanel(handle);
  if (panel == nullptr) return ui_status::kBadPanel;
  std::vector<int> children;
  for (const auto& [h, p] : panels_) {
    if (p->parent == handle) children.push_back(h);
  }
  for (int child : children) DiscardPanel(child);
  std::erase(popupStack_, handle);
  std::erase_if(events_, [handle](const UserEvent& e) { return e.panel == handle; });
  if (panel->menuBar != 0) menuBars_.erase(panel->menuBar);
  if (panel->window) {
    panel->window.reset();
  } else if (panel->child) {
    delete panel->child.data();
  }
  panels_.erase(handle);
  return 0;
}

int QtUi::DisplayPanel(int handle) {
  Panel* panel = LivePanel(handle);
  if (panel == nullptr) return ui_status::kBadPanel;
  panel->Frame()->show();
  panel->Frame()->raise();
  panel->justShown = true;
  return 0;
}

int QtUi::HidePanel(int handle) {
  Panel* panel = LivePanel(handle);
  if (panel == nullptr) return ui_status::kBadPanel;
  panel->Frame()->hide();
  return 0;
}

int QtUi::InstallPopup(int handle) {
  Panel* panel = LivePanel(handle);
  if (panel == nullptr) return ui_status::kBadPanel;
  PanelWindow* frame = panel->Frame();
  if (!frame->isWindow()) frame->setWindowFlags(Qt::Dialog);
  FitOnScreen(*frame);
  frame->setWindowModality(Qt::ApplicationModal);
  frame->show();
  frame->raise();
  frame->activateWindow();
  panel->justShown = true;
  std::erase(popupStack_, handle);
  popupStack_.push_back(handle);
  return 0;
}

int QtUi::RemovePopup(int handle) {
  Panel* panel = LivePanel(handle);
  if (panel == nullptr) return 0;
  if (std::find(popupStack_.begin(), popupStack_.end(), handle) != popupStack_.end()) {
    std::erase(popupStack_, handle);
    panel->Frame()->hide();
    panel->Frame()->setWindowModality(Qt::NonModal);
  }
  return 0;
}

int QtUi::SetPanelAttribute(int handle, Attr attr, const CtrlValue& value) {
  Panel* panel = LivePanel(handle);
  if (panel == nullptr) return ui_status::kBadPanel;
  PanelWindow* frame = panel->Frame();
  if (attr == Attr::Title) {
    const std::string* text = std::get_if<std::string>(&value);
    if (text == nullptr) return ui_status::kBadArgument;
    frame->setWindowTitle(TitleText(Q(*text)));
    return 0;
  }
  const std::optional<int> n = CtrlValueInt(value);
  if (!n) return ui_status::kBadArgument;
  switch (attr) {
    case Attr::Top: frame->move(frame->x(), *n); return 0;
    case Attr::Left: frame->move(*n, frame->y()); return 0;
    case Attr::Height: frame->SetContentSize(frame->room().width(), *n); return 0;
    case Attr::Width: frame->SetContentSize(*n, frame->room().height()); return 0;
    case Attr::MinHeight: frame->SetMinimumContentSize(frame->scroll->minimumWidth(), *n); return 0;
    case Attr::MinWidth: frame->SetMinimumContentSize(*n, frame->scroll->minimumHeight()); return 0;
    case Attr::Visible: frame->setVisible(*n != 0); return 0;
    default: return ui_status::kBadArgument;
  }
}

int QtUi::GetScreenArea(int handle, ScreenArea& area) {
  Panel* panel = LivePanel(handle);
  if (panel == nullptr) return ui_status::kBadPanel;
  PanelWindow* frame = panel->Frame();
  QScreen* screen = QGuiApplication::screenAt(frame->frameGeometry().topLeft());
  if (screen == nullptr) screen = frame->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return ui_status::kBadArgument;
  const QRect available = screen->availableGeometry();
  // The window's frame (known once it is shown) and menu bar come on top of
  // the contents that Height and Width measure.
  const QSize decoration = frame->frameGeometry().size() - frame->geometry().size();
  const int bar = frame->menuBar != nullptr ? frame->menuBar->sizeHint().height() : 0;
  area.top = available.y();
  area.left = available.x();
  area.height = std::max(available.height() - decoration.height() - bar, 0);
  area.width = std::max(available.width() - decoration.width(), 0);
  return 0;
}

int QtUi::GetPanelAttribute(int handle, Attr attr, CtrlValue& value) {
  Panel* panel = LivePanel(handle);
  if (panel == nullptr) return ui_status::kBadPanel;
  PanelWindow* frame = panel->Frame();
  switch (attr) {
    case Attr::Title: value = S(TitleFromWindow(frame->windowTitle())); return 0;
    case Attr::Top: value = frame->y(); return 0;
    case Attr::Left: value = frame->x(); return 0;
    case Attr::Height: value = frame->room().height(); return 0;
    case Attr::Width: value = frame->room().width(); return 0;
    case Attr::MinHeight: value = frame->scroll->minimumHeight(); return 0;
    case Attr::MinWidth: value = frame->scroll->minimumWidth(); return 0;
    case Attr::Visible: value = frame->isVisible() ? 1 : 0; return 0;
    default: return ui_status::kBadArgument;
  }
}

// --- Building controls ------------------------------------------------------------------------------

void QtUi::BuildControl(Panel& panel, const ControlSpec& spec) {
  QWidget* parent = panel.Frame()->content;
  Control& c = panel.controls[spec.id];
  c.spec = spec;
  c.label = spec.label;
  c.textColor = spec.textColor;
  c.backColor = spec.backColor;
  c.mode = spec.mode;
  c.dimmed = spec.dimmed;
  c.visible = spec.visible;
  c.top = spec.top;
  c.left = spec.left;
  c.value = spec.value;
  const int handle = panel.handle;
  const int id = spec.id;
  auto commit = [this, handle, id] { Post(EventType::Commit, handle, id); };
  auto changed = [this, handle, id] { Post(EventType::ValueChanged, handle, id); };
  const bool indicator = spec.mode == CtrlMode::Indicator;
  bool captioned = !spec.label.empty();

  QWidget* widget = nullptr;
  switch (spec.type) {
    case CtrlType::String: {
      auto* edit = new QLineEdit(Q(std::get<std::string>(spec.value)), parent);
      if (spec.maxLength > 0) edit->setMaxLength(spec.maxLength);
      edit->setReadOnly(indicator);
      QObject::connect(edit, &QLineEdit::textEdited, edit, changed);
      QObject::connect(edit, &QLineEdit::returnPressed, edit, commit);
      widget = edit;
      break;
    }
    case CtrlType::TextBox: {
      auto* box = new QPlainTextEdit(Q(std::get<std::string>(spec.value)), parent);
      box->setReadOnly(indicator);
      widget = box;
      break;
    }
    case CtrlType::TextMsg: {
      auto* text = new HotLabel(parent);
      text->setText(Q(std::get<std::string>(spec.value)));
      text->setTextFormat(Qt::PlainText);
      if (spec.mode == CtrlMode::Hot) {
        text->setCursor(Qt::PointingHandCursor);
        text->onPress = commit;
      }
      widget = text;
      captioned = false;
      break;
    }
    case CtrlType::Int: {
      auto* spin = new QSpinBox(parent);
      spin->setRange(spec.min ? static_cast<int>(*spec.min) : INT_MIN,
                     spec.max ? static_cast<int>(*spec.max) : INT_MAX);
      spin->setValue(std::get<int>(spec.value));
      spin->setReadOnly(indicator);
      if (indicator) spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
      QObject::connect(spin, &QSpinBox::valueChanged, spin, changed);
      QObject::connect(spin, &QSpinBox::editingFinished, spin, commit);
      widget = spin;
      break;
    }
    case CtrlType::Double: {
      auto* spin = new QDoubleSpinBox(parent);
      spin->setDecimals(std::clamp(spec.precision, 0, 12));
      spin->setRange(spec.min.value_or(-1.0e300), spec.max.value_or(1.0e300));
      spin->setValue(std::get<double>(spec.value));
      spin->setReadOnly(indicator);
      if (indicator) spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
      QObject::connect(spin, &QDoubleSpinBox::valueChanged, spin, changed);
      QObject::connect(spin, &QDoubleSpinBox::editingFinished, spin, commit);
      widget = spin;
      break;
    }
    case CtrlType::Button:
    case CtrlType::Color: {
      auto* button = new QPushButton(Q(spec.label), parent);
      button->setAutoDefault(false);
      if (spec.isDefault) button->setDefault(true);
      if (spec.type == CtrlType::Color) {
        button->setText(QString());
        QObject::connect(button, &QPushButton::clicked, button, [this, handle, id] {
          Control* control = LiveControl(handle, id);
          if (control == nullptr) return;
          // The dialog belongs to the swatch's window, not to the swatch: a
          // child would take the swatch's style sheet and paint itself in
          // the colour being chosen.
          const QColor chosen = QColorDialog::getColor(ToColor(CtrlValueInt(control->value).value_or(0)),
                                                       control->widget->window());
          if (!chosen.isValid()) return;
          control->value = static_cast<int>(chosen.rgb() & 0xFFFFFFu);
          UpdateStyle(*control);
          Post(EventType::Commit, handle, id);
        });
      } else {
        QObject::connect(button, &QPushButton::clicked, button, commit);
      }
      widget = button;
      captioned = spec.type == CtrlType::Color && captioned;
      break;
    }
    case CtrlType::Toggle: {
      auto* button = new QPushButton(Q(spec.label), parent);
      button->setCheckable(true);
      button->setAutoDefault(false);
      button->setChecked(std::get<int>(spec.value) != 0);
      QObject::connect(button, &QPushButton::clicked, button, commit);
      widget = button;
      captioned = false;
      break;
    }
    case CtrlType::CheckBox: {
      auto* box = new QCheckBox(Q(spec.label), parent);
      box->setChecked(std::get<int>(spec.value) != 0);
      QObject::connect(box, &QCheckBox::clicked, box, commit);
      widget = box;
      captioned = false;
      break;
    }
    case CtrlType::Led: {
      widget = new QLabel(parent);
      break;
    }
    case CtrlType::ListBox:
    case CtrlType::CheckList: {
      auto* list = new QListWidget(parent);
      for (const ListItemSpec& item : spec.items) {
        auto* row = new QListWidgetItem(Q(item.label), list);
        row->setData(Qt::UserRole, item.value);
        if (spec.type == CtrlType::CheckList) row->setCheckState(Qt::Unchecked);
      }
      if (list->count() > 0) list->setCurrentRow(0);
      QObject::connect(list, &QListWidget::currentRowChanged, list, changed);
      QObject::connect(list, &QListWidget::itemChanged, list, changed);
      QObject::connect(list, &QListWidget::itemActivated, list, commit);
      widget = list;
      break;
    }
    case CtrlType::Ring: {
      auto* ring = new QComboBox(parent);
      for (const ListItemSpec& item : spec.items) ring->addItem(Q(item.label), item.value);
      QObject::connect(ring, &QComboBox::activated, ring, commit);
      widget = ring;
      break;
    }
    case CtrlType::StripChart:
      widget = new StripWidget(parent, spec);
      break;
    case CtrlType::Graph:
      widget = new GraphWidget(parent, spec);
      break;
    case CtrlType::Progress: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(static_cast<int>(spec.min.value_or(0.0)), static_cast<int>(spec.max.value_or(100.0)));
      bar->setValue(std::clamp(std::get<int>(spec.value), bar->minimum(), bar->maximum()));
      bar->setTextVisible(true);
      widget = bar;
      captioned = false;
      break;
    }
    case CtrlType::Decoration: {
      auto* frame = new QFrame(parent);
      frame->setFrameShape(QFrame::StyledPanel);
      frame->setFocusPolicy(Qt::StrongFocus);
      frame->lower();
      widget = frame;
      captioned = false;
      break;
    }
  }
  c.widget = widget;
  if (spec.fontSize > 0) {
    QFont font = widget->font();
    font.setPointSize(spec.fontSize);
    widget->setFont(font);
  }
  // A text given room for about two lines wraps at its words (and grows
  // when a longer text comes: FitWrappedText); a one-line read-out does not.
  if (auto* text = qobject_cast<QLabel*>(widget);
      text != nullptr && spec.type == CtrlType::TextMsg && 5 * spec.height >= 9 * text->fontMetrics().lineSpacing()) {
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
  c.width = spec.width > 0 ? spec.width : widget->sizeHint().width();
  c.height = spec.height > 0 ? spec.height : widget->sizeHint().height();
  widget->setGeometry(c.left, c.top, c.width, c.height);
  if (captioned) {
    c.caption = new QLabel(Q(spec.label), parent);
    c.caption->move(c.left, c.top - 18);
    FitCaption(*c.caption, c.width);
    c.caption->setVisible(c.visible);
  }
  widget->setEnabled(!c.dimmed);
  widget->setVisible(c.visible);
  UpdateStyle(c);
  if (!spec.shortcut.empty()) SetShortcut(panel, c, spec.shortcut);
  // The keyboard reaches every control that can be operated, and Tab
  // leaves a text box rather than typing a tab into it; each control has a
  // name for assistive technology.
  if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) box->setTabChangesFocus(true);
  if (spec.type == CtrlType::TextMsg && spec.mode == CtrlMode::Hot) widget->setFocusPolicy(Qt::StrongFocus);
  if (!c.caption.isNull()) c.caption->setBuddy(widget);
  UpdateAccessibleName(panel, c);
}

void QtUi::UpdateStyle(Control& c) {
  if (c.widget.isNull()) return;
  const bool night = scheme_ == ColorScheme::Night;
  QString style;
  const CtrlType type = c.spec.type;
  const bool faced = c.backColor && *c.backColor >= 0 && type != CtrlType::Color && type != CtrlType::Led;
  // What a coloured text stands on: it keeps its contrast there.
  auto paletteRgb = [](QPalette::ColorRole role) {
    return static_cast<int>(QApplication::palette().color(role).rgb() & 0xFFFFFFu);
  };
  int ground = paletteRgb(QPalette::Window);
  if (faced) {
    ground = night ? NightFaceColor(*c.backColor) : *c.backColor;
  } else if (type == CtrlType::Button || type == CtrlType::Toggle) {
    ground = paletteRgb(QPalette::Button);
  } else if (type != CtrlType::TextMsg && type != CtrlType::CheckBox && type != CtrlType::Decoration) {
    ground = paletteRgb(QPalette::Base);
  }
  if (c.textColor != 0) style += "color: " + ColorName(TextColorOn(scheme_, c.textColor, ground)) + ";";
  if (type == CtrlType::Color) {
    style += "background-color: " + ColorName(CtrlValueInt(c.value).value_or(0)) + ";";
  } else if (type == CtrlType::Led) {
    const bool on = CtrlValueInt(c.value).value_or(0) != 0;
    style += "border-radius: 6px; background-color: " +
             ColorName(on ? c.backColor.value_or(0x00C000) : 0x404040) + ";";
  } else if (faced) {
    style += "background-color: " + ColorName(ground) + ";";
    if (type == CtrlType::Button || type == CtrlType::Toggle) {
      // By night the face is dark and the colour shows in a wider border.
      const QString border = night ? "2px solid " + ColorName(TraceColorOn(scheme_, *c.backColor))
                                   : "1px solid " + ToColor(*c.backColor).darker(150).name();
      style += "border: " + border + "; border-radius: 4px; padding: 2px 6px;";
    }
  }
  c.widget->setStyleSheet(style);
}

void QtUi::UpdateAccessibleName(Panel& panel, Control& c) {
  if (c.widget.isNull()) return;
  const ControlSpec& spec = c.spec;
  QString name;
  if (auto it = spec.attributes.find("accname"); it != spec.attributes.end()) {
    name = Q(it->second);
  } else if (!c.label.empty()) {
    name = WithoutMnemonic(Q(c.label));
  }
  if (name.isEmpty()) {
    const PanelSpec* panelSpec = resources_.FindPanel(panel.resourceId);
    const QString fromResource = panelSpec != nullptr ? Q(NameFromResource(*panelSpec, spec)) : Q(spec.name);
    if (spec.type == CtrlType::TextMsg && spec.mode != CtrlMode::Hot) {
      // A read-out is read out by its text; what it shows is its description.
      c.widget->setAccessibleDescription(fromResource);
      return;
    }
    name = fromResource;
    if (spec.type == CtrlType::TextMsg) {
      if (auto* text = qobject_cast<QLabel*>(c.widget); text != nullptr && !text->text().isEmpty()) name = text->text();
    }
  }
  c.widget->setAccessibleName(name);
}

int QtUi::SetColorScheme(ColorScheme scheme) {
  if (scheme != ColorScheme::Day && scheme != ColorScheme::Night) return ui_status::kBadArgument;
  if (scheme == scheme_) return 0;
  if (!dayPalette_) dayPalette_ = std::make_unique<QPalette>(QApplication::palette());
  if (scheme == ColorScheme::Night) {
    const SchemeColors& n = ColorsOf(ColorScheme::Night);
    QPalette night;
    const auto set = [&night](QPalette::ColorRole role, int rgb) { night.setColor(role, ToColor(rgb)); };
    set(QPalette::Window, n.window);
    set(QPalette::WindowText, n.windowText);
    set(QPalette::Base, n.base);
    set(QPalette::AlternateBase, n.window);
    set(QPalette::Text, n.text);
    set(QPalette::PlaceholderText, n.disabledText);
    set(QPalette::Button, n.button);
    set(QPalette::ButtonText, n.buttonText);
    set(QPalette::BrightText, n.highlightedText);
    set(QPalette::Highlight, n.highlight);
    set(QPalette::HighlightedText, n.highlightedText);
    set(QPalette::ToolTipBase, n.button);
    set(QPalette::ToolTipText, n.buttonText);
    set(QPalette::Link, n.text);
    set(QPalette::LinkVisited, n.windowText);
    // The bevels of frames and buttons, from the button colour.
    const QColor button = ToColor(n.button);
    night.setColor(QPalette::Light, button.lighter(160));
    night.setColor(QPalette::Midlight, button.lighter(130));
    night.setColor(QPalette::Mid, button.darker(130));
    night.setColor(QPalette::Dark, button.darker(160));
    night.setColor(QPalette::Shadow, QColor(0, 0, 0));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
      night.setColor(QPalette::Disabled, role, ToColor(n.disabledText));
    QApplication::setPalette(night);
  } else {
    QApplication::setPalette(*dayPalette_);
  }
  scheme_ = scheme;
  SetPlotScheme(scheme);
  for (auto& [handle, panel] : panels_) {
    for (auto& [id, control] : panel->controls) {
      UpdateStyle(control);
      if (auto* plot = dynamic_cast<PlotWidget*>(control.widget.data())) plot->ApplyScheme();
    }
  }
  return 0;
}

// A wrapping text that needs more lines than its control has grows
// downwards; the controls below it and the panel move down and grow with
// it, so that the whole text shows and nothing is covered. Never shrinks.
void QtUi::FitWrappedText(Panel& panel, Control& c) {
  auto* label = qobject_cast<QLabel*>(c.widget.data());
  if (label == nullptr) return;
  const int needed = label->heightForWidth(c.width);
  const int grow = needed - c.height;
  if (grow <= 0) return;
  const int below = c.top + c.height;
  for (auto& [id, other] : panel.controls) {
    if (&other == &c || other.widget.isNull() || other.top < below) continue;
    other.top += grow;
    other.widget->move(other.left, other.top);
    if (!other.caption.isNull()) other.caption->move(other.left, other.top - 18);
  }
  c.height = needed;
  c.widget->resize(c.width, c.height);
  PanelWindow* frame = panel.Frame();
  frame->SetContentSize(frame->room().width(), frame->room().height() + grow);
}

void QtUi::SetShortcut(Panel& panel, Control& c, const std::string& key) {
  c.shortcutText = key;
  if (!c.shortcut.isNull()) {
    delete c.shortcut.data();
    c.shortcut = nullptr;
  }
  if (key.empty()) return;
  const QKeySequence sequence(Q(key));
  if (sequence.isEmpty()) return;
  auto* shortcut = new QShortcut(sequence, panel.Frame());
  shortcut->setContext(Qt::WindowShortcut);
  const int handle = panel.handle;
  const int id = c.spec.id;
  QObject::connect(shortcut, &QShortcut::activated, shortcut, [this, handle, id] {
    Control* control = LiveControl(handle, id);
    // A hidden or dimmed control cannot be operated, by key either.
    if (control == nullptr || control->dimmed || !control->visible) return;
    Post(EventType::Commit, handle, id);
  });
  c.shortcut = shortcut;
}

// --- Control values ---------------------------------------------------------------------------------

int QtUi::SetCtrlVal(int panel, int control, const CtrlValue& value) {
  Control* c = LiveControl(panel, control);
  if (c == nullptr) return LivePanel(panel) == nullptr ? ui_status::kBadPanel : ui_status::kBadArgument;
  QWidget* w = c->widget;
  const QSignalBlocker block(w);
  const CtrlType type = c->spec.type;
  if (IsTextType(type)) {
    const std::string* text = std::get_if<std::string>(&value);
    if (text == nullptr) return ui_status::kBadArgument;
    if (auto* label = qobject_cast<QLabel*>(w)) {
      label->setText(Q(*text));
      if (label->wordWrap()) FitWrappedText(*panels_.at(panel), *c);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      edit->setText(Q(*text));
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(w)) {
      const QString now = Q(*text);
      // A text shown (not edited) that grows at its end, as a running
      // message does ("Sample 1, 2, 3"), shows its newest part.
      const QString before = box->toPlainText();
      const bool grows = box->isReadOnly() && !before.isEmpty() && now.startsWith(before);
      box->setPlainText(now);
      if (grows) {
        box->moveCursor(QTextCursor::End);
        box->ensureCursorVisible();
      }
    }
    return 0;
  }
  if (HasNoValue(type)) return ui_status::kBadArgument;
  if (type == CtrlType::Double) {
    const std::optional<double> d = CtrlValueDouble(value);
    if (!d) return ui_status::kBadArgument;
    static_cast<QDoubleSpinBox*>(w)->setValue(*d);
    return 0;
  }
  const std::optional<int> n = CtrlValueInt(value);
  if (!n) return ui_status::kBadArgument;
  switch (type) {
    case CtrlType::Int: static_cast<QSpinBox*>(w)->setValue(*n); return 0;
    case CtrlType::Progress: {
      // A bar shows nothing beyond its ends; an unchanged value costs no repaint.
      auto* bar = static_cast<QProgressBar*>(w);
      bar->setValue(std::clamp(*n, bar->minimum(), bar->maximum()));
      return 0;
    }
    case CtrlType::Toggle:
    case CtrlType::CheckBox: static_cast<QAbstractButton*>(w)->setChecked(*n != 0); return 0;
    case CtrlType::ListBox:
    case CtrlType::CheckList: {
      auto* list = static_cast<QListWidget*>(w);
      for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(Qt::UserRole).toInt() == *n) {
          list->setCurrentRow(i);
          return 0;
        }
      }
      return ui_status::kBadArgument;
    }
    case CtrlType::Ring: {
      auto* ring = static_cast<QComboBox*>(w);
      const int index = ring->findData(*n);
      if (index < 0) return ui_status::kBadArgument;
      ring->setCurrentIndex(index);
      return 0;
    }
    default:
      c->value = IsSwitchType(type) ? (*n != 0 ? 1 : 0) : *n;
      UpdateStyle(*c);
      return 0;
  }
}

int QtUi::GetCtrlVal(int panel, int control, CtrlValue& value) {
  Control* c = LiveControl(panel, control);
  if (c == nullptr) return LivePanel(panel) == nullptr ? ui_status::kBadPanel : ui_status::kBadArgument;
  QWidget* w = c->widget;
  switch (c->spec.type) {
    case CtrlType::String: value = S(static_cast<QLineEdit*>(w)->text()); return 0;
    case CtrlType::TextBox: value = S(static_cast<QPlainTextEdit*>(w)->toPlainText()); return 0;
    case CtrlType::TextMsg: value = S(static_cast<QLabel*>(w)->text()); return 0;
    case CtrlType::Int: value = static_cast<QSpinBox*>(w)->value(); return 0;
    case CtrlType::Progress: value = static_cast<QProgressBar*>(w)->value(); return 0;
    case CtrlType::Double: value = static_cast<QDoubleSpinBox*>(w)->value(); return 0;
    case CtrlType::Toggle:
    case CtrlType::CheckBox: value = static_cast<QAbstractButton*>(w)->isChecked() ? 1 : 0; return 0;
    case CtrlType::ListBox:
    case CtrlType::CheckList: {
      auto* list = static_cast<QListWidget*>(w);
      if (list->currentItem() == nullptr) return ui_status::kBadArgument;
      value = list->currentItem()->data(Qt::UserRole).toInt();
      return 0;
    }
    case CtrlType::Ring: {
      auto* ring = static_cast<QComboBox*>(w);
      if (ring->currentIndex() < 0) return ui_status::kBadArgument;
      value = ring->currentData().toInt();
      return 0;
    }
    case CtrlType::StripChart:
    case CtrlType::Graph:
    case CtrlType::Decoration:
      return ui_status::kBadArgument;
    default:
      value = c->value;
      return 0;
  }
}

int QtUi::SetCtrlAttribute(int panel, int control, Attr attr, const CtrlValue& value) {
  Control* c = LiveControl(panel, control);
  if (c == nullptr) return LivePanel(panel) == nullptr ? ui_status::kBadPanel : ui_status::kBadArgument;
  QWidget* w = c->widget;
  auto* plot = dynamic_cast<PlotWidget*>(w);
  auto* graph = dynamic_cast<GraphWidget*>(w);
  auto* strip = dynamic_cast<StripWidget*>(w);
  if (const std::string* text = std::get_if<std::string>(&value)) {
    switch (attr) {
      case Attr::LabelText:
        c->label = *text;
        if (auto* button = qobject_cast<QAbstractButton*>(w); button != nullptr && c->spec.type != CtrlType::Color) {
          button->setText(Q(*text));
        } else if (!c->caption.isNull()) {
          c->caption->setText(Q(*text));
          FitCaption(*c->caption, c->width);
        }
        UpdateAccessibleName(*panels_.at(panel), *c);
        return 0;
      case Attr::Shortcut:
        SetShortcut(*panels_.at(panel), *c, *text);
        return 0;
      case Attr::XName:
      case Attr::YName:
        if (plot == nullptr) return ui_status::kBadArgument;
        (attr == Attr::XName ? plot->xAxis : plot->yAxis)->setLabel(Q(*text));
        plot->RequestReplot();
        return 0;
      default:
        return ui_status::kBadArgument;
    }
  }
  if (attr == Attr::MinValue || attr == Attr::MaxValue) {
    const std::optional<double> d = CtrlValueDouble(value);
    if (!d) return ui_status::kBadArgument;
    if (auto* spin = qobject_cast<QDoubleSpinBox*>(w)) {
      attr == Attr::MinValue ? spin->setMinimum(*d) : spin->setMaximum(*d);
    } else if (auto* ispin = qobject_cast<QSpinBox*>(w)) {
      const int n = static_cast<int>(std::clamp(*d, double{INT_MIN}, double{INT_MAX}));
      attr == Attr::MinValue ? ispin->setMinimum(n) : ispin->setMaximum(n);
    }
    return 0;
  }
  const std::optional<int> n = CtrlValueInt(value);
  if (!n) return ui_status::kBadArgument;
  PanelWindow* frame = panels_.at(panel)->Frame();
  auto place = [c, frame] {
    c->widget->setGeometry(c->left, c->top, c->width, c->height);
    if (!c->caption.isNull()) c->caption->move(c->left, c->top - 18);
    frame->FitContent();
  };
  switch (attr) {
    case Attr::Dimmed:
      c->dimmed = *n != 0;
      w->setEnabled(!c->dimmed);
      if (!c->caption.isNull()) c->caption->setEnabled(!c->dimmed);
      return 0;
    case Attr::Visible:
      c->visible = *n != 0;
      w->setVisible(c->visible);
      if (!c->caption.isNull()) c->caption->setVisible(c->visible);
      frame->FitContent();
      return 0;
    case Attr::Top: c->top = *n; place(); return 0;
    case Attr::Left: c->left = *n; place(); return 0;
    case Attr::Height: c->height = std::max(*n, 0); place(); return 0;
    case Attr::Width: c->width = std::max(*n, 0); place(); return 0;
    case Attr::TextColor: c->textColor = *n; UpdateStyle(*c); return 0;
    case Attr::BackColor: c->backColor = *n; UpdateStyle(*c); return 0;
    case Attr::CtrlMode: {
      if (*n < 0 || *n > 2) return ui_status::kBadArgument;
      c->mode = static_cast<CtrlMode>(*n);
      const bool readOnly = c->mode == CtrlMode::Indicator;
      if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setReadOnly(readOnly);
      if (auto* box = qobject_cast<QPlainTextEdit*>(w)) box->setReadOnly(readOnly);
      if (auto* spin = qobject_cast<QAbstractSpinBox*>(w)) spin->setReadOnly(readOnly);
      return 0;
    }
    case Attr::XDivisions:
    case Attr::YDivisions:
      if (plot == nullptr) return ui_status::kBadArgument;
      plot->SetDivisions(attr == Attr::XDivisions, *n);
      return 0;
    case Attr::AutoRefresh:
      if (plot == nullptr) return ui_status::kBadArgument;
      plot->SetAutoRefresh(*n != 0);
      return 0;
    case Attr::SmoothUpdate:
      if (graph == nullptr) return ui_status::kBadArgument;
      graph->SetSmoothUpdate(*n != 0);
      return 0;
    case Attr::YReverse:
      if (plot == nullptr) return ui_status::kBadArgument;
      plot->SetYReverse(*n != 0);
      return 0;
    case Attr::NumTraces:
      return strip == nullptr ? ui_status::kBadArgument : strip->SetTraceCount(*n);
    case Attr::PointsPerScreen:
      return strip == nullptr ? ui_status::kBadArgument : strip->SetPointsPerScreen(*n);
    default:
      return ui_status::kBadArgument;
  }
}

int QtUi::GetCtrlAttribute(int panel, int control, Attr attr, CtrlValue& value) {
  Control* c = LiveControl(panel, control);
  if (c == nullptr) return LivePanel(panel) == nullptr ? ui_status::kBadPanel : ui_status::kBadArgument;
  auto* plot = dynamic_cast<PlotWidget*>(c->widget.data());
  auto* graph = dynamic_cast<GraphWidget*>(c->widget.data());
  auto* strip = dynamic_cast<StripWidget*>(c->widget.data());
  switch (attr) {
    case Attr::LabelText: value = c->label; return 0;
    case Attr::Dimmed: value = c->dimmed ? 1 : 0; return 0;
    case Attr::Visible: value = c->visible ? 1 : 0; return 0;
    case Attr::Top: value = c->top; return 0;
    case Attr::Left: value = c->left; return 0;
    case Attr::Height: value = c->height; return 0;
    case Attr::Width: value = c->width; return 0;
    case Attr::TextColor: value = c->textColor; return 0;
    case Attr::BackColor: value = c->backColor.value_or(-1); return 0;
    case Attr::CtrlMode: value = static_cast<int>(c->mode); return 0;
    case Attr::Shortcut: value = c->shortcutText; return 0;
    case Attr::MinValue:
    case Attr::MaxValue:
      if (auto* spin = qobject_cast<QDoubleSpinBox*>(c->widget)) {
        value = attr == Attr::MinValue ? spin->minimum() : spin->maximum();
      } else if (auto* ispin = qobject_cast<QSpinBox*>(c->widget)) {
        value = static_cast<double>(attr == Attr::MinValue ? ispin->minimum() : ispin->maximum());
      } else {
        return ui_status::kBadArgument;
      }
      return 0;
    default:
      break;
  }
  if (plot == nullptr) return ui_status::kBadArgument;
  switch (attr) {
    case Attr::XName: value = S(plot->xAxis->label()); return 0;
    case Attr::YName: value = S(plot->yAxis->label()); return 0;
    case Attr::XDivisions: value = plot->Divisions(true); return 0;
    case Attr::YDivisions: value = plot->Divisions(false); return 0;
    case Attr::AutoRefresh: value = plot->autoRefresh() ? 1 : 0; return 0;
    case Attr::YReverse: value = plot->yAxis->rangeReversed() ? 1 : 0; return 0;
    case Attr::SmoothUpdate:
      if (graph == nullptr) return ui_status::kBadArgument;
      value = graph->smoothUpdate() ? 1 : 0;
      return 0;
    case Attr::NumTraces:
      if (strip == nullptr) return ui_status::kBadArgument;
      value = strip->traceCount();
      return 0;
    case Attr::PointsPerScreen:
      if (strip == nullptr) return ui_status::kBadArgument;
      value = strip->pointsPerScreen();
      return 0;
    default:
      return ui_status::kBadArgument;
  }
}

int QtUi::SetActiveCtrl(int panel, int control) {
  Control* c = LiveControl(panel, control);
  if (c == nullptr) return LivePanel(panel) == nullptr ? ui_status::kBadPanel : ui_status::kBadArgument;
  // A button a hand holds down keeps the focus until it is let go: a button
  // that loses the focus forgets its press, and the release would then be
  // no click.
  if (QGuiApplication::mouseButtons() != Qt::NoButton) return 0;
  if (auto* held = qobject_cast<QAbstractButton*>(QApplication::focusWidget()); held != nullptr && held->isDown())
    return 0;
  c->widget->setFocus(Qt::OtherFocusReason);
  return 0;
}

// --- Lists ------------------------------------------------------------------------------------------

int QtUi::InsertListItem(int panel, int control, int index, std::string_view label, int value) {
  Control* c = ListControl(panel, control);
  if (c == nullptr) return ui_status::kBadArgument;
  const QSignalBlocker block(c->widget);
  if (auto* ring = qobject_cast<QComboBox*>(c->widget)) {
    if (index == -1) index = ring->count();
    if (index < 0 || index > ring->count()) return ui_status::kBadArgument;
    ring->insertItem(index, Q(label), value);
    return 0;
  }
  auto* list = static_cast<QListWidget*>(c->widget.data());
  if (index == -1) index = list->count();
  if (index < 0 || index > list->count()) return ui_status::kBadArgument;
  auto* item = new QListWidgetItem(Q(label));
  item->setData(Qt::UserRole, value);
  if (c->spec.type == CtrlType::CheckList) item->setCheckState(Qt::Unchecked);
  list->insertItem(index, item);
  if (list->currentRow() < 0) list->setCurrentRow(0);
  return 0;
}

int QtUi::ReplaceListItem(int panel, int control, int index, std::string_view label, int value) {
  Control* c = ListControl(panel, control);
  if (c == nullptr) return ui_status::kBadArgument;
  const QSignalBlocker block(c->widget);
  if (auto* ring = qobject_cast<QComboBox*>(c->widget)) {
    if (index < 0 || index >= ring->count()) return ui_status::kBadArgument;
    ring->setItemText(index, Q(label));
    ring->setItemData(index, value);
    return 0;
  }
  auto* list = static_cast<QListWidget*>(c->widget.data());
  if (index < 0 || index >= list->count()) return ui_status::kBadArgument;
  list->item(index)->setText(Q(label));
  list->item(index)->setData(Qt::UserRole, value);
  return 0;
}

int QtUi::ClearListCtrl(int panel, int control) {
  Control* c = ListControl(panel, control);
  if (c == nullptr) return ui_status::kBadArgument;
  const QSignalBlocker block(c->widget);
  if (auto* ring = qobject_cast<QComboBox*>(c->widget)) {
    ring->clear();
  } else {
    static_cast<QListWidget*>(c->widget.data())->clear();
  }
  return 0;
}

int QtUi::GetNumListItems(int panel, int control, int& count) {
  Control* c = ListControl(panel, control);
  if (c == nullptr) return ui_status::kBadArgument;
  if (auto* ring = qobject_cast<QComboBox*>(c->widget)) {
    count = ring->count();
  } else {
    count = static_cast<QListWidget*>(c->widget.data())->count();
  }
  return 0;
}

int QtUi::GetCtrlIndex(int panel, int control, int& index) {
  Control* c = ListControl(panel, control);
  if (c == nullptr) return ui_status::kBadArgument;
  if (auto* ring = qobject_cast<QComboBox*>(c->widget)) {
    index = ring->currentIndex();
  } else {
    index = static_cast<QListWidget*>(c->widget.data())->currentRow();
  }
  return 0;
}

int QtUi::SetCtrlIndex(int panel, int control, int index) {
  Control* c = ListControl(panel, control);
  if (c == nullptr) return ui_status::kBadArgument;
  const QSignalBlocker block(c->widget);
  int count = 0;
  GetNumListItems(panel, control, count);
  if (index < 0 || index >= count) return ui_status::kBadArgument;
  if (auto* ring = qobject_cast<QComboBox*>(c->widget)) {
    ring->setCurrentIndex(index);
  } else {
    static_cast<QListWidget*>(c->widget.data())->setCurrentRow(index);
  }
  return 0;
}

int QtUi::GetValueFromIndex(int panel, int control, int index, int& value) {
  Control* c = ListControl(panel, control);
  if (c == nullptr) return ui_status::kBadArgument;
  int count = 0;
  GetNumListItems(panel, control, count);
  if (index < 0 || index >= count) return ui_status::kBadArgument;
  if (auto* ring = qobject_cast<QComboBox*>(c->widget)) {
    value = ring->itemData(index).toInt();
  } else {
    value = static_cast<QListWidget*>(c->widget.data())->item(index)->data(Qt::UserRole).toInt();
  }
  return 0;
}

int QtUi::IsListItemChecked(int panel, int control, int index, int& checked) {
  Control* c = ListControl(panel, control);
  auto* list = c == nullptr ? nullptr : qobject_cast<QListWidget*>(c->widget);
  if (list == nullptr || index < 0 || index >= list->count()) return ui_status::kBadArgument;
  checked = list->item(index)->checkState() == Qt::Checked ? 1 : 0;
  return 0;
}

int QtUi::CheckListItem(int panel, int control, int index, int checked) {
  Control* c = ListControl(panel, control);
  auto* list = c == nullptr ? nullptr : qobject_cast<QListWidget*>(c->widget);
  if (list == nullptr || index < 0 || index >= list->count()) return ui_status::kBadArgument;
  const QSignalBlocker block(list);
  list->item(index)->setCheckState(checked != 0 ? Qt::Checked : Qt::Unchecked);
  return 0;
}

// --- Menus ------------------------------------------------------------------------------------------

void QtUi::BuildMenuBar(Panel& panel, const MenuBarSpec& spec) {
  auto bar = std::make_unique<MenuBar>();
  bar->handle = nextHandle_++;
  bar->resourceId = spec.id;
  bar->panel = panel.handle;
  auto* menuBar = new QMenuBar(panel.Frame());
  menuBar->setNativeMenuBar(false);
  bar->bar = menuBar;
  panel.Frame()->SetMenuBar(menuBar);
  panel.menuBar = bar->handle;
  AddMenuEntries(*bar, nullptr, spec.menus, menuBar);
  // F10 opens the first menu that can be opened, as on the desktop; from
  // there the arrow keys go through the menu bar (Alt with a menu's
  // underlined letter opens that menu).
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), panel.Frame());
  f10->setContext(Qt::WindowShortcut);
  QObject::connect(f10, &QShortcut::activated, menuBar, [menuBar] {
    for (QAction* action : menuBar->actions()) {
      if (action->isVisible() && action->isEnabled() && action->menu() != nullptr) {
        menuBar->setFocus(Qt::ShortcutFocusReason);
        menuBar->setActiveAction(action);
        return;
      }
    }
  });
  menuBars_.emplace(bar->handle, std::move(bar));
}

void QtUi::AddMenuEntries(MenuBar& bar, QMenu* menu, const std::vector<MenuEntrySpec>& entries,
                          QMenuBar* top) {
  const int handle = bar.handle;
  for (const MenuEntrySpec& entry : entries) {
    QAction* action = nullptr;
    switch (entry.kind) {
      case MenuEntrySpec::Kind::Menu: {
        QMenu* sub = menu != nullptr ? menu->addMenu(Q(entry.label)) : top->addMenu(Q(entry.label));
        bar.menus[entry.id] = sub;
        action = sub->menuAction();
        AddMenuEntries(bar, sub, entry.entries, top);
        break;
      }
      case MenuEntrySpec::Kind::Separator:
        action = menu->addSeparator();
        break;
      case MenuEntrySpec::Kind::Item: {
        action = menu->addAction(Q(entry.label));
        if (!entry.shortcut.empty()) action->setShortcut(QKeySequence(Q(entry.shortcut)));
        if (entry.checked) {
          action->setCheckable(true);
          action->setChecked(true);
        }
        bar.checked[entry.id] = entry.checked;
        const int id = entry.id;
        QObject::connect(action, &QAction::triggered, action, [this, handle, id](bool) {
          MenuBar* b = LiveMenuBar(handle);
          if (b == nullptr) return;
          // The program decides the check marks, not the click.
          if (QAction* a = b->actions[id]; a != nullptr && a->isCheckable()) a->setChecked(b->checked[id]);
          Post(EventType::Menu, handle, id);
        });
        break;
      }
    }
    if (entry.id != 0 && action != nullptr) {
      action->setEnabled(!entry.dimmed);
      bar.actions[entry.id] = action;
    }
  }
}

int QtUi::GetPanelMenuBar(int panel) {
  Panel* p = LivePanel(panel);
  return p == nullptr ? ui_status::kBadPanel : p->menuBar;
}

int QtUi::SetMenuBarAttribute(int menuBar, int item, Attr attr, const CtrlValue& value) {
  MenuBar* bar = LiveMenuBar(menuBar);
  if (bar == nullptr) return ui_status::kBadPanel;
  if (item == -1 && attr == Attr::Dimmed) {
    const std::optional<int> on = CtrlValueInt(value);
    if (!on) return ui_status::kBadArgument;
    for (auto& [id, action] : bar->actions) {
      if (!action.isNull() && !action->isSeparator() && action->menu() == nullptr) action->setEnabled(*on == 0);
    }
    return 0;
  }
  auto it = bar->actions.find(item);
  if (it == bar->actions.end() || it->second.isNull()) return ui_status::kBadArgument;
  QAction* action = it->second;
  if (attr == Attr::LabelText) {
    const std::string* text = std::get_if<std::string>(&value);
    if (text == nullptr) return ui_status::kBadArgument;
    action->setText(Q(*text));
    return 0;
  }
  const std::optional<int> on = CtrlValueInt(value);
  if (!on) return ui_status::kBadArgument;
  if (attr == Attr::Dimmed) {
    action->setEnabled(*on == 0);
    return 0;
  }
  if (attr == Attr::Checked) {
    bar->checked[item] = *on != 0;
    action->setCheckable(true);
    action->setChecked(*on != 0);
    return 0;
  }
  return ui_status::kBadArgument;
}

int QtUi::GetMenuBarAttribute(int menuBar, int item, Attr attr, CtrlValue& value) {
  MenuBar* bar = LiveMenuBar(menuBar);
  if (bar == nullptr) return ui_status::kBadPanel;
  auto it = bar->actions.find(item);
  if (it == bar->actions.end() || it->second.isNull()) return ui_status::kBadArgument;
  switch (attr) {
    case Attr::Dimmed: value = it->second->isEnabled() ? 0 : 1; return 0;
    case Attr::Checked: value = bar->checked[item] ? 1 : 0; return 0;
    case Attr::LabelText: value = S(it->second->text()); return 0;
    default: return ui_status::kBadArgument;
  }
}

int QtUi::InsertMenuItem(int menuBar, int menu, int before, std::string_view label,
                         std::string_view shortcut) {
  MenuBar* bar = LiveMenuBar(menuBar);
  if (bar == nullptr) return ui_status::kBadPanel;
  auto m = bar->menus.find(menu);
  if (m == bar->menus.end() || m->second.isNull()) return ui_status::kBadArgument;
  QAction* anchor = nullptr;
  if (before != -1) {
    auto a = bar->actions.find(before);
    if (a == bar->actions.end() || a->second.isNull() || !m->second->actions().contains(a->second)) {
      return ui_status::kBadArgument;
    }
    anchor = a->second;
  }
  const int id = bar->actions.empty() ? 1 : bar->actions.rbegin()->first + 1;
  auto* action = new QAction(Q(label), m->second);
  if (!shortcut.empty()) action->setShortcut(QKeySequence(Q(shortcut)));
  m->second->insertAction(anchor, action);
  const int handle = bar->handle;
  QObject::connect(action, &QAction::triggered, action,
                   [this, handle, id](bool) { Post(EventType::Menu, handle, id); });
  bar->actions[id] = action;
  bar->checked[id] = false;
  return id;
}

// --- Graphs and strip charts -----------------------------------------------------------------------

int QtUi::PlotXY(int panel, int control, std::span<const double> x, std::span<const double> y,
                 const PlotAttributes& attributes) {
  GraphWidget* graph = LiveControl(panel, control) != nullptr ? Graph(panel, control) : nullptr;
  return graph == nullptr ? ui_status::kBadArgument : graph->PlotXY(x, y, attributes);
}

int QtUi::DeleteGraphPlot(int panel, int control, int plot, DrawMode) {
  GraphWidget* graph = LiveControl(panel, control) != nullptr ? Graph(panel, control) : nullptr;
  return graph == nullptr ? ui_status::kBadArgument : graph->DeletePlot(plot);
}

int QtUi::SetAxisRange(int panel, int control, AxisMode xMode, double xMin, double xMax,
                       AxisMode yMode, double yMin, double yMax) {
  Control* c = LiveControl(panel, control);
  auto* plot = c == nullptr ? nullptr : dynamic_cast<PlotWidget*>(c->widget.data());
  if (plot == nullptr) return ui_status::kBadArgument;
  // The X axis of a strip chart is its scrolling time.
  if (Strip(panel, control) != nullptr && xMode != AxisMode::NoChange) return ui_status::kBadArgument;
  return plot->SetAxisRange(xMode, xMin, xMax, yMode, yMin, yMax);
}

int QtUi::GetAxisRange(int panel, int control, AxisMode& xMode, double& xMin, double& xMax,
                       AxisMode& yMode, double& yMin, double& yMax) {
  Control* c = LiveControl(panel, control);
  auto* plot = c == nullptr ? nullptr : dynamic_cast<PlotWidget*>(c->widget.data());
  if (plot == nullptr) return ui_status::kBadArgument;
  plot->GetAxisRange(xMode, xMin, xMax, yMode, yMin, yMax);
  return 0;
}

int QtUi::RefreshGraph(int panel, int control) {
  Control* c = LiveControl(panel, control);
  auto* plot = c == nullptr ? nullptr : dynamic_cast<PlotWidget*>(c->widget.data());
  if (plot == nullptr) return ui_status::kBadArgument;
  plot->Refresh();
  return 0;
}

int QtUi::SaveGraphImage(int panel, int control, std::string_view path) {
  Control* c = LiveControl(panel, control);
  auto* plot = c == nullptr ? nullptr : dynamic_cast<PlotWidget*>(c->widget.data());
  if (plot == nullptr) return ui_status::kBadArgument;
  return plot->SaveImage(std::string(path));
}

int QtUi::ExportGraphImage(int panel, int control, std::string_view path, const GraphPicture& picture) {
  Control* c = LiveControl(panel, control);
  auto* plot = c == nullptr ? nullptr : dynamic_cast<PlotWidget*>(c->widget.data());
  if (plot == nullptr) return ui_status::kBadArgument;
  return plot->ExportImage(std::string(path), picture);
}

int QtUi::PlotStripChart(int panel, int control, std::span<const double> points, int traceCount) {
  StripWidget* strip = LiveControl(panel, control) != nullptr ? Strip(panel, control) : nullptr;
  return strip == nullptr ? ui_status::kBadArgument : strip->Append(points, traceCount);
}

int QtUi::ClearStripChart(int panel, int control) {
  StripWidget* strip = LiveControl(panel, control) != nullptr ? Strip(panel, control) : nullptr;
  if (strip == nullptr) return ui_status::kBadArgument;
  strip->Clear();
  return 0;
}

int QtUi::SetTraceAttribute(int panel, int control, int trace, Attr attr, const CtrlValue& value) {
  StripWidget* strip = LiveControl(panel, control) != nullptr ? Strip(panel, control) : nullptr;
  const std::optional<int> n = CtrlValueInt(value);
  if (strip == nullptr || !n) return ui_status::kBadArgument;
  if (attr == Attr::TraceColor) return strip->SetTraceColor(trace, *n);
  if (attr == Attr::TraceVisible) return strip->SetTraceVisible(trace, *n != 0);
  return ui_status::kBadArgument;
}

// --- Panel state and printing ---------------------------------------------------------------------

PanelState QtUi::GatherState(Panel& panel) {
  PanelState state;
  state.resourceId = panel.resourceId;
  if (const PanelSpec* spec = resources_.FindPanel(panel.resourceId)) state.name = spec->name;
  for (auto& [id, control] : panel.controls) {
    ControlState saved;
    saved.id = id;
    const CtrlType type = control.spec.type;
    CtrlValue value;
    if (type != CtrlType::Button && !HasNoValue(type) && GetCtrlVal(panel.handle, id, value) == 0) {
      saved.value = value;
    }
    if (type == CtrlType::Toggle) saved.label = control.label;
    if (GraphWidget* graph = Graph(panel.handle, id)) {
      saved.graph = true;
      saved.plots = graph->Plots();
    }
    if (StripWidget* strip = Strip(panel.handle, id)) {
      saved.strip = true;
      saved.stripTraces = strip->traceCount();
      saved.stripPoints = strip->Points();
      for (int k = 0; k < strip->traceCount(); ++k) {
        saved.stripStyles.push_back(ControlState::Trace{strip->TraceColor(k), strip->TraceVisible(k)});
      }
    }
    if (auto* plot = dynamic_cast<PlotWidget*>(control.widget.data())) {
      AxisState axes;
      plot->GetAxisRange(axes.xMode, axes.xMin, axes.xMax, axes.yMode, axes.yMin, axes.yMax);
      saved.axes = axes;
    }
    state.controls.push_back(std::move(saved));
  }
  return state;
}

int QtUi::SavePanelState(int panel, std::string_view path, int index) {
  Panel* p = LivePanel(panel);
  if (p == nullptr) return ui_status::kBadPanel;
  return WritePanelStateFile(path, index, GatherState(*p));
}

int QtUi::RecallPanelState(int panel, std::string_view path, int index) {
  Panel* p = LivePanel(panel);
  if (p == nullptr) return ui_status::kBadPanel;
  PanelState state;
  if (const int result = ReadPanelStateFile(path, index, state); result < 0) return result;
  if (state.resourceId != p->resourceId) return ui_status::kBadStateFile;
  return ApplyPanelState(*this, panel, state);
}

int QtUi::PrintPanel(int panel, const PrintRequest& request) {
  Panel* p = LivePanel(panel);
  if (p == nullptr) return ui_status::kBadPanel;
  QWidget* content = p->Frame()->content;
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageOrientation(content->width() > content->height() ? QPageLayout::Landscape
                                                                   : QPageLayout::Portrait);
  if (!request.pdfPath.empty()) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(Q(request.pdfPath));
  } else {
    if (terminating_) return ui_status::kPrintCancelled;
    QPrintDialog dialog(&printer, p->Frame());
    if (dialog.exec() != QDialog::Accepted) return ui_status::kPrintCancelled;
  }
  QPainter painter;
  if (!painter.begin(&printer)) return ui_status::kFileError;
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  double scale = std::min(page.width() / content->width(), page.height() / content->height());
  if (!request.scaleToPage) scale = std::min(scale, printer.resolution() / 96.0);
  painter.scale(scale, scale);
  for (auto& [id, control] : p->controls) {
    if (auto* plot = dynamic_cast<PlotWidget*>(control.widget.data())) plot->ReplotNow();
  }
  content->render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
  return painter.end() ? 0 : ui_status::kFileError;
}

}  // namespace sondrix::platform::qt
