// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <QTextLayout>
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

// A text message. Its size is its control's: a text longer than its lines
// is cut at the end of its last line with an ellipsis, and the whole text
// is its tooltip. Each line of the text (between "\n") keeps a line of its
// own while there are lines enough, so that a cut first line leaves the
// second whole.
class HotLabel : public QLabel {
 public:
  explicit HotLabel(QWidget* parent) : QLabel(parent) {}
  std::function<void()> onPress;

  // The whole text, shown as it is until Fit cuts it to the control.
  void SetWholeText(const QString& text) {
    whole_ = text;
    QLabel::setText(text);
  }
  const QString& wholeText() const { return whole_; }

  // The text cut to the lines the control has room for.
  void Fit() {
    const QString shown = Cut();
    if (shown != text()) QLabel::setText(shown);
    const QString tip = shown == whole_ ? QString() : whole_;
    if (toolTip() != tip) setToolTip(tip);
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    Fit();
  }
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

 private:
  // The lines of `paragraph` wrapped at `width` (one line when the text
  // does not wrap).
  QStringList Wrapped(const QString& paragraph, int width) const {
    if (!wordWrap() || paragraph.isEmpty()) return {paragraph};
    QTextLayout layout(paragraph, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(width);
      lines << paragraph.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    return lines.isEmpty() ? QStringList{paragraph} : lines;
  }

  QString Cut() const {
    const QRect room = contentsRect();
    const QFontMetrics metrics(font());
    const int width = room.width();
    if (whole_.isEmpty() || width <= 0) return whole_;
    const int capacity = std::max(1, (room.height() + metrics.leading()) / std::max(1, metrics.lineSpacing()));
    const QStringList paragraphs = whole_.split('\n');
    std::vector<QStringList> wrapped;
    for (const QString& paragraph : paragraphs) wrapped.push_back(Wrapped(paragraph, width));
    // Each paragraph a line while they last, then more lines to those that
    // need them, in order.
    const int shownParagraphs = std::min(capacity, static_cast<int>(paragraphs.size()));
    std::vector<int> lines(static_cast<std::size_t>(shownParagraphs), 1);
    int spare = capacity - shownParagraphs;
    for (int k = 0; k < shownParagraphs && spare > 0; ++k) {
      const int more = std::min(spare, static_cast<int>(wrapped[static_cast<std::size_t>(k)].size()) - 1);
      lines[static_cast<std::size_t>(k)] += more;
      spare -= more;
    }
    QStringList out;
    for (int k = 0; k < shownParagraphs; ++k) {
      const QStringList& all = wrapped[static_cast<std::size_t>(k)];
      const int keep = lines[static_cast<std::size_t>(k)];
      for (int l = 0; l + 1 < keep; ++l) out << all[l].trimmed();
      // The paragraph's last line shown holds the rest of it.
      QString rest = QStringList(all.mid(keep - 1)).join(QString());
      const bool more = k + 1 == shownParagraphs && shownParagraphs < static_cast<int>(paragraphs.size());
      rest = rest.trimmed();
      if (more || metrics.horizontalAdvance(rest) > width) {
        QString cut = metrics.elidedText(rest + (more ? QString(QChar(0x2026)) : QString()), Qt::ElideRight, width);
        out << cut;
      } else {
        out << rest;
      }
    }
    return out.join('\n');
  }

  QString whole_;
};

// A spin box for an int or double control: read-only and without buttons
// for an indicator; what the user enters goes into the control's record
// (`took`), and finishing the entry is a commit.
template <class Spin, class Took, class Commit>
Spin* NewSpinBox(QWidget* parent, bool indicator, Took took, Commit commit) {
  auto* spin = new Spin(parent);
  spin->setReadOnly(indicator);
  if (indicator) spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
  QObject::connect(spin, &Spin::valueChanged, spin, [took](auto value) { took(value); });
  QObject::connect(spin, &Spin::editingFinished, spin, commit);
  return spin;
}

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

// A dialog comes up centred over the window it belongs to (or the middle
// of the screen), on the screen whole; the window system is told whose it is.
void CentreOver(QWidget& dialog, QWidget* owner) {
  QScreen* screen = owner != nullptr ? owner->screen() : dialog.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QRect over = owner != nullptr ? owner->frameGeometry() : area;
  const QSize size = dialog.frameGeometry().size();
  QPoint corner = over.center() - QPoint(size.width() / 2, size.height() / 2);
  corner.setX(std::max(area.left(), std::min(corner.x(), area.right() + 1 - size.width())));
  corner.setY(std::max(area.top(), std::min(corner.y(), area.bottom() + 1 - size.height())));
  dialog.move(corner);
  if (owner == nullptr) return;
  dialog.winId();
  if (QWindow* handle = dialog.windowHandle()) handle->setTransientParent(owner->window()->windowHandle());
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

struct QtUi::Control : ControlRecord {
  using ControlRecord::ControlRecord;
  QPointer<QWidget> widget;
  QPointer<QLabel> caption;
  QPointer<QShortcut> key;
};

struct QtUi::Panel : PanelRecord {
  std::unique_ptr<PanelWindow> window;  // top-level panels
  QPointer<PanelWindow> child;          // panels inside another panel
  // The program gave the window its place: a pop-up keeps it.
  bool placed = false;
  // Shown since the last UpdatePanel: the window system may not have put
  // it on the screen yet.
  bool justShown = false;

  PanelWindow* Frame() const { return window ? window.get() : child.data(); }
};

struct QtUi::MenuBar : MenuBarRecord {
  QPointer<QMenuBar> bar;
  std::map<int, QPointer<QAction>> actions;  // items, separators and menus by id
  std::map<int, QPointer<QMenu>> menus;
};

QtUi::Panel& QtUi::Of(PanelRecord& panel) { return static_cast<Panel&>(panel); }
QtUi::Control& QtUi::Of(ControlRecord& control) { return static_cast<Control&>(control); }
QtUi::MenuBar& QtUi::Of(MenuBarRecord& bar) { return static_cast<MenuBar&>(bar); }

PlotWidget* QtUi::PlotOf(ControlRecord& control) { return dynamic_cast<PlotWidget*>(Of(control).widget.data()); }
GraphWidget* QtUi::GraphOf(ControlRecord& control) { return dynamic_cast<GraphWidget*>(Of(control).widget.data()); }
StripWidget* QtUi::StripOf(ControlRecord& control) { return dynamic_cast<StripWidget*>(Of(control).widget.data()); }

QtUi::QtUi() = default;

QtUi::QtUi(UirFile resources) : PanelTree(std::move(resources)) {}

QtUi::~QtUi() {
  if (busyCursor_) QApplication::restoreOverrideCursor();
  // The palette belongs to the application, which outlives this.
  if (dayPalette_ && Look().scheme() != ColorScheme::Day) QApplication::setPalette(*dayPalette_);
  SetPlotLook(nullptr);
  // The windows go now, while this is still whole: children first, as their
  // widgets belong to their parents' windows.
  for (const auto& [handle, record] : Panels()) {
    Panel& panel = Of(*record);
    if (!panel.window && panel.child) delete panel.child.data();
  }
  for (const auto& [handle, record] : Panels()) Of(*record).window.reset();
}

std::unique_ptr<PanelRecord> QtUi::MakePanel() { return std::make_unique<Panel>(); }

std::unique_ptr<ControlRecord> QtUi::MakeControl(const ControlSpec& spec) {
  return std::make_unique<Control>(spec);
}

std::unique_ptr<MenuBarRecord> QtUi::MakeMenuBar() { return std::make_unique<MenuBar>(); }

QWidget* QtUi::Window(int panel) const {
  const PanelRecord* p = Record(panel);
  return p == nullptr ? nullptr : static_cast<const Panel*>(p)->Frame();
}

QWidget* QtUi::Widget(int panel, int control) const {
  const PanelRecord* p = Record(panel);
  const ControlRecord* c = p == nullptr ? nullptr : p->Find(control);
  return c == nullptr ? nullptr : static_cast<const Control*>(c)->widget.data();
}

GraphWidget* QtUi::Graph(int panel, int control) const {
  return dynamic_cast<GraphWidget*>(Widget(panel, control));
}

StripWidget* QtUi::Strip(int panel, int control) const {
  return dynamic_cast<StripWidget*>(Widget(panel, control));
}

QAction* QtUi::MenuAction(int menuBar, int item) const {
  const MenuBarRecord* bar = MenuBarOf(menuBar);
  if (bar == nullptr) return nullptr;
  const auto& actions = static_cast<const MenuBar*>(bar)->actions;
  auto a = actions.find(item);
  return a == actions.end() ? nullptr : a->second.data();
}

// --- Events ----------------------------------------------------------------------------------------

void QtUi::EndDialogs() {
  // Each dialog's own event loop returns, as after Cancel; what its caller
  // does next finds every pop-up answering at once.
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<QDialog*>(widget); dialog != nullptr && dialog->isVisible()) dialog->reject();
  }
}

UserEvent QtUi::GetUserEvent(bool wait) {
  if (QueuedEvents() == 0) QCoreApplication::processEvents(QEventLoop::AllEvents);
  while (QueuedEvents() == 0 && wait && !TerminationRequested()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return TakeEvent();
}

UserEvent QtUi::WaitUserEvent(double seconds, std::span<const int> inputs) {
  if (QueuedEvents() == 0) QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (QueuedEvents() == 0 && seconds != 0.0 && !TerminationRequested()) {
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

// A window just shown is on the screen once the window system has put it
// there (and framed it: its frame is known then): the events that say so
// are handled (user input stays queued for the program's next look), for a
// moment at most, once (a window kept off the screen, minimised say, costs
// no more than that).
void QtUi::AwaitOnScreen(Panel& panel) {
  constexpr int kExposeWaitMs = 250;
  QWidget* window = panel.Frame()->window();
  const bool justShown = std::exchange(panel.justShown, false);
  if (QWindow* handle = window->windowHandle(); justShown && handle != nullptr && !handle->isExposed()) {
    QDeadlineTimer deadline(kExposeWaitMs);
    while (!handle->isExposed() && !deadline.hasExpired()) {
      QTimer limit;
      limit.setSingleShot(true);
      limit.start(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
  }
}

void QtUi::Paint(PanelRecord& record) {
  Panel& panel = Of(record);
  QWidget* frame = panel.Frame();
  QWidget* window = frame->window();
  if (!window->isVisible()) return;
  AwaitOnScreen(panel);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  frame->repaint();
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

QWidget* QtUi::DialogOwner(const PanelRecord* except) const {
  const auto shownWindow = [except](const PanelRecord* record) -> QWidget* {
    if (record == nullptr || record == except) return nullptr;
    QWidget* frame = static_cast<const Panel*>(record)->Frame();
    return frame != nullptr && frame->isVisible() ? frame->window() : nullptr;
  };
  // The pop-up on top, else the first window the program put up.
  for (auto it = PopupStack().rbegin(); it != PopupStack().rend(); ++it) {
    if (QWidget* window = shownWindow(Live(*it))) return window;
  }
  for (const auto& [handle, record] : Panels()) {
    if (record->parent != 0 || !record->displayed) continue;
    if (QWidget* window = shownWindow(Live(handle))) return window;
  }
  return nullptr;
}

int QtUi::AskUser(PopupKind kind, std::string_view title, std::string_view text,
                  std::span<const std::string> buttons) {
  if (kind == PopupKind::Confirm) {
    return QMessageBox::question(DialogOwner(), Q(title), Q(text),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes
               ? 1
               : 0;
  }
  QMessageBox box(QMessageBox::NoIcon, Q(title), Q(text), QMessageBox::NoButton, DialogOwner());
  std::vector<QAbstractButton*> added;
  for (const std::string& label : buttons) added.push_back(box.addButton(Q(label), QMessageBox::AcceptRole));
  if (added.empty()) added.push_back(box.addButton(QMessageBox::Ok));
  box.exec();
  // Closed without a button: the last one.
  const auto it = std::find(added.begin(), added.end(), box.clickedButton());
  return it == added.end() ? static_cast<int>(added.size()) : static_cast<int>(it - added.begin()) + 1;
}

FileSelectResult QtUi::AskFile(const FileSelectRequest& request, std::string& path) {
  QFileDialog dialog(DialogOwner(), Q(request.title), Q(request.directory), Filters(request));
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

int QtUi::Build(PanelRecord& record, const PanelSpec& spec) {
  Panel& panel = Of(record);
  const int handle = panel.handle;
  auto onClose = [this, handle] { Post(EventType::Close, handle, 0); };
  PanelWindow* frame = nullptr;
  if (panel.parent != 0) {
    frame = new PanelWindow(Of(*Live(panel.parent)).Frame()->content, onClose);
    frame->setAutoFillBackground(true);
    frame->move(spec.left, spec.top);
    frame->hide();
    panel.child = frame;
  } else {
    panel.window = std::make_unique<PanelWindow>(nullptr, onClose);
    frame = panel.window.get();
    if (spec.top > 0 || spec.left > 0) {
      frame->move(spec.left, spec.top);
      panel.placed = true;
    }
  }
  frame->setWindowTitle(TitleText(Q(panel.title)));
  if (MenuBarRecord* bar = LiveMenuBar(panel.menuBar)) {
    BuildMenuBar(panel, Of(*bar), *resources().FindMenuBar(bar->resourceId));
  }
  // In the resource file's order: the order of the keyboard focus.
  for (const ControlSpec& control : spec.controls) BuildControl(panel, Of(*panel.Find(control.id)));
  frame->SetContentSize(spec.width, spec.height);
  return 0;
}

void QtUi::Destroy(PanelRecord& record) {
  Panel& panel = Of(record);
  if (panel.window) {
    panel.window.reset();
  } else if (panel.child) {
    delete panel.child.data();
  }
}

void QtUi::Shown(PanelRecord& record, bool popup) {
  Panel& panel = Of(record);
  PanelWindow* frame = panel.Frame();
  if (popup) {
    if (!frame->isWindow()) frame->setWindowFlags(Qt::Dialog);
    FitOnScreen(*frame);
    frame->setWindowModality(Qt::ApplicationModal);
    if (!panel.placed) CentreOver(*frame, DialogOwner(&record));
  }
  frame->show();
  frame->raise();
  if (popup) frame->activateWindow();
  panel.justShown = true;
}

void QtUi::Hidden(PanelRecord& record, bool popup) {
  PanelWindow* frame = Of(record).Frame();
  frame->hide();
  if (popup) frame->setWindowModality(Qt::NonModal);
}

void QtUi::PanelChanged(PanelRecord& record, Attr attr) {
  PanelWindow* frame = Of(record).Frame();
  switch (attr) {
    case Attr::Title: frame->setWindowTitle(TitleText(Q(record.title))); break;
    case Attr::Top:
      frame->move(frame->x(), record.top);
      Of(record).placed = true;
      break;
    case Attr::Left:
      frame->move(record.left, frame->y());
      Of(record).placed = true;
      break;
    case Attr::Height: frame->SetContentSize(frame->room().width(), record.height); break;
    case Attr::Width: frame->SetContentSize(record.width, frame->room().height()); break;
    case Attr::MinHeight:
    case Attr::MinWidth: frame->SetMinimumContentSize(record.minWidth, record.minHeight); break;
    case Attr::Visible: frame->setVisible(record.displayed); break;
    default: break;
  }
}

void QtUi::ReadPlace(PanelRecord& record) {
  const PanelWindow* frame = Of(record).Frame();
  record.top = frame->y();
  record.left = frame->x();
  record.height = frame->room().height();
  record.width = frame->room().width();
}

int QtUi::ScreenAreaOf(PanelRecord& record, ScreenArea& area) {
  PanelWindow* frame = Of(record).Frame();
  // A window manager's frame (its title bar) is known once the window is
  // on the screen; the room is what is left of the screen beside it.
  if (frame->isVisible()) {
    AwaitOnScreen(Of(record));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  QScreen* screen = QGuiApplication::screenAt(frame->frameGeometry().topLeft());
  if (screen == nullptr) screen = frame->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return ui_status::kBadArgument;
  const QRect available = screen->availableGeometry();
  // The window's frame (known once it is shown) and menu bar come on top of
  // the contents that Height and Width measure.
  const QSize decoration = frame->frameGeometry().size() - frame->geometry().size();
  area.top = available.y();
  area.left = available.x();
  area.height = std::max(available.height() - decoration.height() - frame->MenuBarHeight(), 0);
  area.width = std::max(available.width() - decoration.width(), 0);
  return 0;
}

// --- Building controls ------------------------------------------------------------------------------

void QtUi::BuildControl(Panel& panel, Control& c) {
  QWidget* parent = panel.Frame()->content;
  const ControlSpec& spec = c.spec;
  const int handle = panel.handle;
  const int id = spec.id;
  auto commit = [this, handle, id] { Post(EventType::Commit, handle, id); };
  auto changed = [this, handle, id] { Post(EventType::ValueChanged, handle, id); };
  // What the user does goes into the record first, then comes as an event.
  auto took = [this, handle, id, changed](const CtrlValue& value) {
    Took(handle, id, value);
    changed();
  };
  // A toggle or check box pressed: its new state, then the press.
  auto switched = [this, handle, id, commit](bool on) {
    Took(handle, id, on ? 1 : 0);
    commit();
  };
  const bool indicator = spec.mode == CtrlMode::Indicator;
  bool captioned = !spec.label.empty();

  QWidget* widget = nullptr;
  switch (spec.type) {
    case CtrlType::String: {
      auto* edit = new QLineEdit(parent);
      if (spec.maxLength > 0) edit->setMaxLength(spec.maxLength);
      edit->setReadOnly(indicator);
      QObject::connect(edit, &QLineEdit::textEdited, edit, [took](const QString& text) { took(S(text)); });
      QObject::connect(edit, &QLineEdit::returnPressed, edit, commit);
      widget = edit;
      break;
    }
    case CtrlType::TextBox: {
      auto* box = new QPlainTextEdit(parent);
      box->setReadOnly(indicator);
      QObject::connect(box, &QPlainTextEdit::textChanged, box,
                       [this, handle, id, box] { Took(handle, id, S(box->toPlainText())); });
      widget = box;
      break;
    }
    case CtrlType::TextMsg: {
      auto* text = new HotLabel(parent);
      text->setTextFormat(Qt::PlainText);
      if (spec.mode == CtrlMode::Hot) {
        text->setCursor(Qt::PointingHandCursor);
        text->onPress = commit;
      }
      widget = text;
      captioned = false;
      break;
    }
    case CtrlType::Int:
      widget = NewSpinBox<QSpinBox>(parent, indicator, took, commit);
      break;
    case CtrlType::Double: {
      auto* spin = NewSpinBox<QDoubleSpinBox>(parent, indicator, took, commit);
      spin->setDecimals(std::clamp(spec.precision, 0, 12));
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
          auto* control = static_cast<Control*>(LiveControl(handle, id));
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
      QObject::connect(button, &QPushButton::clicked, button, switched);
      widget = button;
      captioned = false;
      break;
    }
    case CtrlType::CheckBox: {
      auto* box = new QCheckBox(Q(spec.label), parent);
      QObject::connect(box, &QCheckBox::clicked, box, switched);
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
      for (const ListItem& item : c.items) {
        auto* row = new QListWidgetItem(Q(item.label), list);
        row->setData(Qt::UserRole, item.value);
        if (spec.type == CtrlType::CheckList) row->setCheckState(item.checked ? Qt::Checked : Qt::Unchecked);
      }
      QObject::connect(list, &QListWidget::currentRowChanged, list, [this, handle, id, changed](int row) {
        if (ControlRecord* record = LiveControl(handle, id)) record->index = row;
        changed();
      });
      QObject::connect(list, &QListWidget::itemChanged, list, [this, handle, id, list, changed](QListWidgetItem* row) {
        ControlRecord* record = LiveControl(handle, id);
        const int index = list->row(row);
        if (record != nullptr && index >= 0 && index < static_cast<int>(record->items.size()))
          record->items[static_cast<std::size_t>(index)].checked = row->checkState() == Qt::Checked;
        changed();
      });
      QObject::connect(list, &QListWidget::itemActivated, list, commit);
      widget = list;
      break;
    }
    case CtrlType::Ring: {
      auto* ring = new QComboBox(parent);
      for (const ListItem& item : c.items) ring->addItem(Q(item.label), item.value);
      QObject::connect(ring, &QComboBox::currentIndexChanged, ring, [this, handle, id](int index) {
        if (ControlRecord* record = LiveControl(handle, id)) record->index = index;
      });
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
  ShowRange(c);
  ShowValue(panel, c);
  ShowSelection(c);
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
  if (auto* text = dynamic_cast<HotLabel*>(widget)) text->Fit();
  if (captioned) {
    c.caption = new QLabel(Q(spec.label), parent);
    c.caption->move(c.left, c.top - 18);
    FitCaption(*c.caption, c.width);
    c.caption->setVisible(c.visible);
  }
  widget->setEnabled(!c.dimmed);
  widget->setVisible(c.visible);
  UpdateStyle(c);
  if (!c.shortcut.empty()) SetShortcut(panel, c);
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
  const ColorLook& look = Look();
  const bool night = look.scheme() == ColorScheme::Night;
  QString style;
  const CtrlType type = c.spec.type;
  const bool faced = c.backColor && *c.backColor >= 0 && type != CtrlType::Color && type != CtrlType::Led;
  // What a coloured text stands on: it keeps its contrast there.
  auto paletteRgb = [](QPalette::ColorRole role) {
    return static_cast<int>(QApplication::palette().color(role).rgb() & 0xFFFFFFu);
  };
  int ground = paletteRgb(QPalette::Window);
  if (faced) {
    ground = look.FaceColor(*c.backColor);
  } else if (type == CtrlType::Button || type == CtrlType::Toggle) {
    ground = paletteRgb(QPalette::Button);
  } else if (type != CtrlType::TextMsg && type != CtrlType::CheckBox && type != CtrlType::Decoration) {
    ground = paletteRgb(QPalette::Base);
  }
  if (c.textColor != 0) style += "color: " + ColorName(look.TextColor(c.textColor, ground)) + ";";
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
      const QString border = night ? "2px solid " + ColorName(look.TraceColor(*c.backColor))
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
    if (spec.type == CtrlType::TextMsg && spec.mode != CtrlMode::Hot) {
      // A read-out is read out by its text; its given name describes it.
      c.widget->setAccessibleDescription(name);
      return;
    }
  } else if (!c.label.empty()) {
    name = WithoutMnemonic(Q(c.label));
  }
  if (name.isEmpty()) {
    const PanelSpec* panelSpec = resources().FindPanel(panel.resourceId);
    const QString fromResource = panelSpec != nullptr ? Q(NameFromResource(*panelSpec, spec)) : Q(spec.name);
    if (spec.type == CtrlType::TextMsg && spec.mode != CtrlMode::Hot) {
      // A read-out is read out by its text; what it shows is its description.
      c.widget->setAccessibleDescription(fromResource);
      return;
    }
    name = fromResource;
    if (spec.type == CtrlType::TextMsg) {
      if (auto* text = dynamic_cast<HotLabel*>(c.widget.data()); text != nullptr && !text->wholeText().isEmpty())
        name = text->wholeText();
    }
  }
  c.widget->setAccessibleName(name);
}

int QtUi::SetColorScheme(std::shared_ptr<const ColorLook> look) {
  if (look == look_) return 0;
  const ColorScheme scheme = look ? look->scheme() : ColorScheme::Day;
  if (scheme != ColorScheme::Day && scheme != ColorScheme::Night) return ui_status::kBadArgument;
  if (!dayPalette_) dayPalette_ = std::make_unique<QPalette>(QApplication::palette());
  if (scheme == ColorScheme::Night) {
    const SchemeColors& n = look->colors();
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
  look_ = std::move(look);
  SetPlotLook(look_);
  for (const auto& [handle, panel] : Panels()) {
    for (const auto& [id, control] : panel->controls) {
      UpdateStyle(Of(*control));
      if (PlotWidget* plot = PlotOf(*control)) plot->ApplyScheme();
    }
  }
  return 0;
}

// A wrapping text that needs more lines than its control has grows
// downwards; the controls below it and the panel move down and grow with
// it, so that the whole text shows and nothing is covered. Never shrinks.
// Only for a panel not on the screen (ShowValue): a read-out of a window
// that is up is cut to its lines instead (HotLabel).
void QtUi::FitWrappedText(Panel& panel, Control& c) {
  auto* label = qobject_cast<QLabel*>(c.widget.data());
  if (label == nullptr) return;
  const int needed = label->heightForWidth(c.width);
  const int grow = needed - c.height;
  if (grow <= 0) return;
  const int below = c.top + c.height;
  for (const auto& [id, record] : panel.controls) {
    Control& other = Of(*record);
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


void QtUi::SetShortcut(Panel& panel, Control& c) {
  if (!c.key.isNull()) {
    delete c.key.data();
    c.key = nullptr;
  }
  if (c.shortcut.empty()) return;
  const QKeySequence sequence(Q(c.shortcut));
  if (sequence.isEmpty()) return;
  auto* key = new QShortcut(sequence, panel.Frame());
  key->setContext(Qt::WindowShortcut);
  const int handle = panel.handle;
  const int id = c.spec.id;
  QObject::connect(key, &QShortcut::activated, key, [this, handle, id] {
    const ControlRecord* control = LiveControl(handle, id);
    // A control that cannot be operated (hidden, dimmed) cannot be by key
    // either.
    if (control == nullptr || control->WhyInoperable() != nullptr) return;
    Post(EventType::Commit, handle, id);
  });
  c.key = key;
}

// --- Control values ---------------------------------------------------------------------------------

void QtUi::Took(int panel, int control, const CtrlValue& value) {
  if (ControlRecord* c = LiveControl(panel, control)) StoreValue(*c, value);
}

void QtUi::ShowRange(Control& c) {
  QWidget* w = c.widget;
  const QSignalBlocker block(w);
  if (auto* spin = qobject_cast<QDoubleSpinBox*>(w)) {
    spin->setRange(std::max(c.Lowest(), -1.0e300), std::min(c.Highest(), 1.0e300));
  } else if (auto* ispin = qobject_cast<QSpinBox*>(w)) {
    ispin->setRange(static_cast<int>(c.Lowest()), static_cast<int>(c.Highest()));
  } else if (auto* bar = qobject_cast<QProgressBar*>(w)) {
    bar->setRange(static_cast<int>(c.Lowest()), static_cast<int>(c.Highest()));
  }
}

// The record's value on the widget (the widget's signals held back: what
// the program writes never comes back as an event).
void QtUi::ShowValue(Panel& panel, Control& c) {
  QWidget* w = c.widget;
  const QSignalBlocker block(w);
  switch (c.spec.type) {
    case CtrlType::String: static_cast<QLineEdit*>(w)->setText(Q(std::get<std::string>(c.value))); return;
    case CtrlType::TextBox: {
      auto* box = static_cast<QPlainTextEdit*>(w);
      const QString now = Q(std::get<std::string>(c.value));
      // A text shown (not edited) that grows at its end, as a running
      // message does ("Sample 1, 2, 3"), shows its newest part.
      const QString before = box->toPlainText();
      const bool grows = box->isReadOnly() && !before.isEmpty() && now.startsWith(before);
      box->setPlainText(now);
      if (grows) {
        box->moveCursor(QTextCursor::End);
        box->ensureCursorVisible();
      }
      return;
    }
    case CtrlType::TextMsg: {
      auto* label = static_cast<HotLabel*>(w);
      label->SetWholeText(Q(std::get<std::string>(c.value)));
      // A panel on the screen keeps its size: only one being made ready
      // (a dialog before it comes up) grows for a longer text.
      if (label->wordWrap() && !panel.displayed) FitWrappedText(panel, c);
      label->Fit();
      return;
    }
    case CtrlType::Int: static_cast<QSpinBox*>(w)->setValue(std::get<int>(c.value)); return;
    case CtrlType::Double: static_cast<QDoubleSpinBox*>(w)->setValue(std::get<double>(c.value)); return;
    // An unchanged value costs no repaint.
    case CtrlType::Progress: static_cast<QProgressBar*>(w)->setValue(std::get<int>(c.value)); return;
    case CtrlType::Toggle:
    case CtrlType::CheckBox: static_cast<QAbstractButton*>(w)->setChecked(std::get<int>(c.value) != 0); return;
    case CtrlType::ListBox:
    case CtrlType::CheckList:
    case CtrlType::Ring: ShowSelection(c); return;
    case CtrlType::Color:
    case CtrlType::Led: UpdateStyle(c); return;
    default: return;
  }
}

void QtUi::ShowSelection(Control& c) {
  const QSignalBlocker block(c.widget);
  if (auto* ring = qobject_cast<QComboBox*>(c.widget)) {
    ring->setCurrentIndex(c.index);
  } else if (auto* list = qobject_cast<QListWidget*>(c.widget)) {
    list->setCurrentRow(c.index);
  }
}

void QtUi::ValueChanged(PanelRecord& panel, ControlRecord& control) { ShowValue(Of(panel), Of(control)); }

void QtUi::ControlChanged(PanelRecord& record, ControlRecord& control, Attr attr) {
  Panel& panel = Of(record);
  Control& c = Of(control);
  QWidget* w = c.widget;
  PanelWindow* frame = panel.Frame();
  auto place = [&c, frame] {
    c.widget->setGeometry(c.left, c.top, c.width, c.height);
    if (auto* text = dynamic_cast<HotLabel*>(c.widget.data())) text->Fit();
    if (!c.caption.isNull()) c.caption->move(c.left, c.top - 18);
    frame->FitContent();
  };
  switch (attr) {
    case Attr::LabelText:
      if (auto* button = qobject_cast<QAbstractButton*>(w); button != nullptr && c.spec.type != CtrlType::Color) {
        button->setText(Q(c.label));
      } else if (!c.caption.isNull()) {
        c.caption->setText(Q(c.label));
        FitCaption(*c.caption, c.width);
      }
      UpdateAccessibleName(panel, c);
      return;
    case Attr::Shortcut: SetShortcut(panel, c); return;
    case Attr::ToolTip: w->setToolTip(Q(c.toolTip)); return;
    case Attr::XName:
    case Attr::YName: {
      PlotWidget* plot = PlotOf(c);
      (attr == Attr::XName ? plot->xAxis : plot->yAxis)->setLabel(Q(ShownAxisName(c, attr == Attr::XName)));
      plot->RequestReplot();
      return;
    }
    case Attr::MinValue:
    case Attr::MaxValue:
      ShowRange(c);
      ShowValue(panel, c);
      return;
    case Attr::Dimmed:
      w->setEnabled(!c.dimmed);
      if (!c.caption.isNull()) c.caption->setEnabled(!c.dimmed);
      return;
    case Attr::Visible:
      w->setVisible(c.visible);
      if (!c.caption.isNull()) c.caption->setVisible(c.visible);
      frame->FitContent();
      return;
    case Attr::Top:
    case Attr::Left:
    case Attr::Height:
    case Attr::Width: place(); return;
    case Attr::TextColor:
    case Attr::BackColor: UpdateStyle(c); return;
    case Attr::CtrlMode: {
      const bool readOnly = c.mode == CtrlMode::Indicator;
      if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setReadOnly(readOnly);
      if (auto* box = qobject_cast<QPlainTextEdit*>(w)) box->setReadOnly(readOnly);
      if (auto* spin = qobject_cast<QAbstractSpinBox*>(w)) spin->setReadOnly(readOnly);
      return;
    }
    case Attr::XDivisions: PlotOf(c)->SetDivisions(true, c.xDivisions); return;
    case Attr::YDivisions: PlotOf(c)->SetDivisions(false, c.yDivisions); return;
    case Attr::AutoRefresh: PlotOf(c)->SetAutoRefresh(c.autoRefresh); return;
    case Attr::SmoothUpdate: GraphOf(c)->SetSmoothUpdate(c.smoothUpdate); return;
    case Attr::YReverse: PlotOf(c)->SetYReverse(c.yReverse); return;
    case Attr::NumTraces: StripOf(c)->SetTraceCount(c.stripTraceCount); return;
    case Attr::PointsPerScreen: StripOf(c)->SetPointsPerScreen(c.pointsPerScreen); return;
    default: return;
  }
}

void QtUi::Focus(PanelRecord&, ControlRecord& control) {
  // A button a hand holds down keeps the focus until it is let go: a button
  // that loses the focus forgets its press, and the release would then be
  // no click.
  if (QGuiApplication::mouseButtons() != Qt::NoButton) return;
  if (auto* held = qobject_cast<QAbstractButton*>(QApplication::focusWidget()); held != nullptr && held->isDown())
    return;
  Of(control).widget->setFocus(Qt::OtherFocusReason);
}

// --- Lists ------------------------------------------------------------------------------------------

void QtUi::ListChanged(PanelRecord&, ControlRecord& control, ListChange change, int index) {
  Control& c = Of(control);
  const QSignalBlocker block(c.widget);
  auto* ring = qobject_cast<QComboBox*>(c.widget);
  auto* list = qobject_cast<QListWidget*>(c.widget);
  const ListItem* item = index >= 0 && index < static_cast<int>(c.items.size())
                             ? &c.items[static_cast<std::size_t>(index)]
                             : nullptr;
  switch (change) {
    case ListChange::Inserted:
      if (ring != nullptr) {
        ring->insertItem(index, Q(item->label), item->value);
      } else {
        auto* row = new QListWidgetItem(Q(item->label));
        row->setData(Qt::UserRole, item->value);
        if (c.spec.type == CtrlType::CheckList) row->setCheckState(Qt::Unchecked);
        list->insertItem(index, row);
      }
      break;
    case ListChange::Replaced:
      if (ring != nullptr) {
        ring->setItemText(index, Q(item->label));
        ring->setItemData(index, item->value);
      } else {
        list->item(index)->setText(Q(item->label));
        list->item(index)->setData(Qt::UserRole, item->value);
      }
      break;
    case ListChange::Cleared:
      if (ring != nullptr) {
        ring->clear();
      } else {
        list->clear();
      }
      break;
    case ListChange::Checked:
      list->item(index)->setCheckState(item->checked ? Qt::Checked : Qt::Unchecked);
      break;
    case ListChange::Selected:
      break;
  }
  ShowSelection(c);
}

// --- Menus ------------------------------------------------------------------------------------------

void QtUi::BuildMenuBar(Panel& panel, MenuBar& bar, const MenuBarSpec& spec) {
  auto* menuBar = new QMenuBar(panel.Frame());
  menuBar->setNativeMenuBar(false);
  bar.bar = menuBar;
  panel.Frame()->SetMenuBar(menuBar);
  AddMenuEntries(bar, nullptr, spec.menus, menuBar);
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
}

void QtUi::AddMenuEntries(MenuBar& bar, QMenu* menu, const std::vector<MenuEntrySpec>& entries,
                          QMenuBar* top) {
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
        Connect(action, bar.handle, entry.id);
        break;
      }
    }
    if (entry.id != 0 && action != nullptr) {
      action->setEnabled(!entry.dimmed);
      bar.actions[entry.id] = action;
    }
  }
}

void QtUi::Connect(QAction* action, int menuBar, int item) {
  QObject::connect(action, &QAction::triggered, action, [this, menuBar, item, action](bool) {
    const MenuBarRecord* bar = LiveMenuBar(menuBar);
    const MenuItemRecord* entry = bar == nullptr ? nullptr : bar->Find(item);
    if (entry == nullptr) return;
    // The program decides the check marks, not the click.
    if (action->isCheckable()) action->setChecked(entry->checked);
    Post(EventType::Menu, menuBar, item);
  });
}

void QtUi::MenuItemChanged(MenuBarRecord& record, const MenuItemRecord& item) {
  auto it = Of(record).actions.find(item.id);
  if (it == Of(record).actions.end() || it->second.isNull()) return;
  QAction* action = it->second;
  action->setEnabled(!item.dimmed);
  if (item.kind != MenuEntrySpec::Kind::Separator) action->setText(Q(item.label));
  if (item.checked || action->isCheckable()) {
    action->setCheckable(true);
    action->setChecked(item.checked);
  }
}

void QtUi::MenuItemAdded(MenuBarRecord& record, const MenuItemRecord& item, int before) {
  MenuBar& bar = Of(record);
  QMenu* menu = bar.menus[item.menu];
  if (menu == nullptr) return;
  QAction* anchor = before == -1 ? nullptr : bar.actions[before].data();
  auto* action = new QAction(Q(item.label), menu);
  if (!item.shortcut.empty()) action->setShortcut(QKeySequence(Q(item.shortcut)));
  menu->insertAction(anchor, action);
  Connect(action, bar.handle, item.id);
  bar.actions[item.id] = action;
}

// --- Graphs and strip charts -----------------------------------------------------------------------

GraphSurface& QtUi::SurfaceOf(ControlRecord& control) { return *PlotOf(control); }

void QtUi::TraceChanged(PanelRecord&, ControlRecord& control, int trace) {
  StripWidget* strip = StripOf(control);
  const TraceStyle& style = control.traces[static_cast<std::size_t>(trace)];
  strip->SetTraceColor(trace, style.color);
  strip->SetTraceVisible(trace, style.visible);
}

// --- Printing ---------------------------------------------------------------------------------------

int QtUi::Print(PanelRecord& record, const PrintRequest& request) {
  Panel* p = &Of(record);
  QWidget* content = p->Frame()->content;
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageOrientation(content->width() > content->height() ? QPageLayout::Landscape
                                                                   : QPageLayout::Portrait);
  if (!request.pdfPath.empty()) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(Q(request.pdfPath));
  } else {
    QPrintDialog dialog(&printer, p->Frame());
    if (dialog.exec() != QDialog::Accepted) return ui_status::kPrintCancelled;
  }
  // In the colours asked for; the windows wear theirs again after it.
  const std::shared_ptr<const ColorLook> worn = look_;
  const bool dressed = request.look && request.look != worn;
  if (dressed) SetColorScheme(request.look);
  const int printed = PrintContent(*p, printer, request);
  if (dressed) SetColorScheme(worn);
  return printed;
}

int QtUi::PrintContent(Panel& panel, QPrinter& printer, const PrintRequest& request) {
  Panel* p = &panel;
  QWidget* content = p->Frame()->content;
  QPainter painter;
  if (!painter.begin(&printer)) return ui_status::kFileError;
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  double scale = std::min(page.width() / content->width(), page.height() / content->height());
  if (!request.scaleToPage) scale = std::min(scale, printer.resolution() / 96.0);
  painter.scale(scale, scale);
  for (const auto& [id, control] : p->controls) {
    if (PlotWidget* plot = PlotOf(*control)) plot->ReplotNow();
  }
  content->render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
  return painter.end() ? 0 : ui_status::kFileError;
}

}  // namespace sondrix::platform::qt
