#include "platform/qt/qt_ui.h"

#include <QAction>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
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
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <clocale>
#include <climits>
#include <cmath>
#include <functional>
#include <optional>

#include "platform/panel_state.h"
#include "platform/paths.h"
#include "platform/qt/qt_plot.h"

namespace sondrix::platform::qt {

// --- Widgets with a little more than Qt gives --------------------------------------------

// A panel's window: a menu bar (when the panel has one) over the content, in
// which the controls sit where the resource file puts them. The close box
// becomes an event; the window itself never closes on its own.
class PanelWindow : public QWidget {
 public:
  PanelWindow(QWidget* parent, std::function<void()> onClose)
      : QWidget(parent), onClose_(std::move(onClose)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    content = new QWidget(this);
    layout->addWidget(content, 1);
  }

  void SetMenuBar(QMenuBar* bar) {
    menuBar = bar;
    static_cast<QVBoxLayout*>(layout())->setMenuBar(bar);
  }

  // The size of the content: what a panel's height and width mean. Never
  // below the content's minimum.
  void SetContentSize(int width, int height) {
    width = std::max(width, content->minimumWidth());
    height = std::max(height, content->minimumHeight());
    const int bar = menuBar != nullptr ? menuBar->sizeHint().height() : 0;
    if (parentWidget() != nullptr && !isWindow()) {
      setFixedSize(width, height + bar);
    } else {
      resize(width, height + bar);
    }
    content->resize(width, height);
  }

  // The smallest content the window can be given: the layout makes it the
  // window's minimum, menu bar included, and a smaller window grows.
  void SetMinimumContentSize(int width, int height) {
    content->setMinimumSize(std::max(width, 0), std::max(height, 0));
    // At once, not when the window is next laid out.
    layout()->activate();
    SetContentSize(content->width(), content->height());
  }

  QWidget* content = nullptr;
  QMenuBar* menuBar = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (onClose_) onClose_();
  }

 private:
  std::function<void()> onClose_;
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
};

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

FileSelectResult QtUi::FileSelectPopup(const FileSelectRequest& request, std::string& path) {
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
  frame->setWindowTitle(Q(spec->title));
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
  frame->setWindowModality(Qt::ApplicationModal);
  frame->show();
  frame->raise();
  frame->activateWindow();
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
    frame->setWindowTitle(Q(*text));
    return 0;
  }
  const std::optional<int> n = CtrlValueInt(value);
  if (!n) return ui_status::kBadArgument;
  switch (attr) {
    case Attr::Top: frame->move(frame->x(), *n); return 0;
    case Attr::Left: frame->move(*n, frame->y()); return 0;
    case Attr::Height: frame->SetContentSize(frame->content->width(), *n); return 0;
    case Attr::Width: frame->SetContentSize(*n, frame->content->height()); return 0;
    case Attr::MinHeight: frame->SetMinimumContentSize(frame->content->minimumWidth(), *n); return 0;
    case Attr::MinWidth: frame->SetMinimumContentSize(*n, frame->content->minimumHeight()); return 0;
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
    case Attr::Title: value = S(frame->windowTitle()); return 0;
    case Attr::Top: value = frame->y(); return 0;
    case Attr::Left: value = frame->x(); return 0;
    case Attr::Height: value = frame->content->height(); return 0;
    case Attr::Width: value = frame->content->width(); return 0;
    case Attr::MinHeight: value = frame->content->minimumHeight(); return 0;
    case Attr::MinWidth: value = frame->content->minimumWidth(); return 0;
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
          const QColor chosen = QColorDialog::getColor(ToColor(CtrlValueInt(control->value).value_or(0)),
                                                       control->widget);
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
}

void QtUi::UpdateStyle(Control& c) {
  if (c.widget.isNull()) return;
  QString style;
  const CtrlType type = c.spec.type;
  if (c.textColor != 0) style += "color: " + ColorName(c.textColor) + ";";
  if (type == CtrlType::Color) {
    style += "background-color: " + ColorName(CtrlValueInt(c.value).value_or(0)) + ";";
  } else if (type == CtrlType::Led) {
    const bool on = CtrlValueInt(c.value).value_or(0) != 0;
    style += "border-radius: 6px; background-color: " +
             ColorName(on ? c.backColor.value_or(0x00C000) : 0x404040) + ";";
  } else if (c.backColor && *c.backColor >= 0) {
    style += "background-color: " + ColorName(*c.backColor) + ";";
    if (type == CtrlType::Button || type == CtrlType::Toggle) {
      style += "border: 1px solid " + ToColor(*c.backColor).darker(150).name() +
               "; border-radius: 4px; padding: 2px 6px;";
    }
  }
  c.widget->setStyleSheet(style);
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
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      edit->setText(Q(*text));
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(w)) {
      box->setPlainText(Q(*text));
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
  auto place = [c] {
    c->widget->setGeometry(c->left, c->top, c->width, c->height);
    if (!c->caption.isNull()) c->caption->move(c->left, c->top - 18);
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
