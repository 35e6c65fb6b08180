// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/headless/headless_ui.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <tuple>

#include "platform/clock.h"
#include "platform/paths.h"

namespace sondrix::platform {
namespace {

// Consecutive blocking polls with nothing scripted before we give up: a loop
// that keeps waiting after being told "Close" a thousand times never ends.
constexpr int kMaxConsecutiveWaits = 1000;

std::string Describe(const CtrlValue& value) {
  if (const int* i = std::get_if<int>(&value)) return std::to_string(*i);
  if (const double* d = std::get_if<double>(&value)) return std::to_string(*d);
  return "\"" + std::get<std::string>(value) + "\"";
}

// Whether two key names are the same key ("ctrl+o" is "Ctrl+O"); an empty
// name is no key.
bool SameKey(std::string_view a, std::string_view b) {
  if (a.empty() || a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The range of the data along one axis, or nothing without data.
std::optional<std::pair<double, double>> DataRange(const HeadlessControl& control, bool xAxis) {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  auto widen = [&](double v) {
    if (std::isfinite(v)) {
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  };
  if (control.IsStrip()) {
    if (xAxis) return std::nullopt;
    for (double v : control.Points()) widen(v);
  } else {
    for (const HeadlessPlot& plot : control.plots) {
      for (double v : xAxis ? plot.x : plot.y) widen(v);
      if (!xAxis && plot.attributes.plotStyle == PlotStyle::VerticalBar) widen(0.0);
    }
  }
  if (lo > hi) return std::nullopt;
  if (lo == hi) {
    lo -= 0.5;
    hi += 0.5;
  }
  return std::make_pair(lo, hi);
}

}  // namespace

HeadlessControl::HeadlessControl(const ControlSpec& spec) : ControlRecord(spec) {
  xMin = spec.xMin.value_or(xMin);
  xMax = spec.xMax.value_or(xMax);
  yMin = spec.yMin.value_or(yMin);
  yMax = spec.yMax.value_or(yMax);
}

HeadlessUi::HeadlessUi() { KeepDiscardedPanels(); }

HeadlessUi::HeadlessUi(UirFile resources) : PanelTree(std::move(resources)) { KeepDiscardedPanels(); }

HeadlessUi::~HeadlessUi() = default;

void HeadlessUi::Problem(std::string text) { problems_.push_back(std::move(text)); }

std::unique_ptr<ControlRecord> HeadlessUi::MakeControl(const ControlSpec& spec) {
  return std::make_unique<HeadlessControl>(spec);
}

int HeadlessUi::Build(PanelRecord& panel, const PanelSpec&) {
  for (const auto& [id, control] : panel.controls) {
    auto& c = static_cast<HeadlessControl&>(*control);
    c.printJobs = &printJobs_;
    c.resourceId = panel.resourceId;
  }
  return 0;
}

// --- Pop-ups ------------------------------------------------------------------

void HeadlessUi::AnsweredForUser(PopupKind kind, std::string_view title, std::string_view text,
                                 std::span<const std::string> buttons, int answer) {
  popups_.push_back(PopupRecord{kind, std::string(title), std::string(text),
                                std::vector<std::string>(buttons.begin(), buttons.end()), answer, false});
  if (popupObserver) popupObserver(popups_.back());
}

void HeadlessUi::FileAnsweredForUser(const FileSelectRequest& request) {
  FileDialogRecord record;
  record.request = request;
  fileDialogs_.push_back(record);
}

int HeadlessUi::AskUser(PopupKind kind, std::string_view title, std::string_view text,
                        std::span<const std::string> buttons) {
  PopupRecord record{kind, std::string(title), std::string(text),
                     std::vector<std::string>(buttons.begin(), buttons.end()), 0, false};
  const int count = static_cast<int>(record.buttons.size());
  std::optional<int> answer;
  if (popupAnswerer) answer = popupAnswerer(record);
  if (kind == PopupKind::Confirm) {
    if (!answer && !confirmAnswers_.empty()) {
      answer = confirmAnswers_.front() ? 1 : 0;
      confirmAnswers_.pop_front();
    }
    if (answer) {
      record.scripted = true;
      record.answer = *answer != 0 ? 1 : 0;
    } else {
      record.answer = 0;
      ++unansweredPopups_;
      Problem("confirmation \"" + record.title + "\" (\"" + record.text + "\") had no scripted answer");
    }
  } else {
    if (!answer && count > 1 && !genericAnswers_.empty()) {
      answer = genericAnswers_.front();
      genericAnswers_.pop_front();
    }
    if (answer) {
      record.scripted = true;
      if (*answer < 1 || *answer > std::max(count, 1)) {
        Problem("pop-up \"" + record.title + "\": scripted answer " + std::to_string(*answer) +
                " is not a button");
        answer = std::max(count, 1);
      }
      record.answer = *answer;
    } else if (count <= 1) {
      record.answer = 1;  // a plain message: its one button
    } else {
      record.answer = count;  // the last button: "Cancel" by habit
      ++unansweredPopups_;
      Problem("pop-up \"" + record.title + "\" (\"" + record.text + "\") had no scripted answer");
    }
  }
  popups_.push_back(record);
  if (popupObserver) popupObserver(popups_.back());
  return record.answer;
}

FileSelectResult HeadlessUi::AskFile(const FileSelectRequest& request, std::string& path) {
  FileDialogRecord record;
  record.request = request;
  std::optional<std::pair<std::optional<FileSelectResult>, std::string>> answer;
  if (fileAnswerer) {
    if (auto computed = fileAnswerer(request)) answer.emplace(computed->first, computed->second);
  }
  if (!answer && !fileAnswers_.empty()) {
    answer = fileAnswers_.front();
    fileAnswers_.pop_front();
  }
  if (answer) {
    record.scripted = true;
    record.result = answer->first.value_or(FileExists(answer->second) ? FileSelectResult::Existing
                                                                     : FileSelectResult::New);
    if (record.result != FileSelectResult::None) {
      record.path = answer->second;
      path = answer->second;
    }
  } else {
    ++unansweredPopups_;
    Problem("file dialog \"" + request.title + "\" had no scripted answer");
  }
  fileDialogs_.push_back(record);
  return record.result;
}

int HeadlessUi::Print(PanelRecord& panel, const PrintRequest& request) {
  printJobs_.push_back(PrintRecord{panel.resourceId, 0, request.pdfPath, request, {}});
  return 0;
}

// --- Panels -------------------------------------------------------------------

int HeadlessUi::LoadPanel(int parent, int resourceId) {
  if (auto it = loadFailures_.find(resourceId); it != loadFailures_.end() && it->second > 0) {
    --it->second;
    return headless::kCantLoad;
  }
  return PanelTree::LoadPanel(parent, resourceId);
}

void HeadlessUi::Shown(PanelRecord& panel, bool popup) {
  ShowRecord record{panel.resourceId, panel.handle, popup, {}};
  for (const auto& [id, control] : panel.controls) {
    CtrlValue value;
    if (GetCtrlVal(panel.handle, id, value) == 0) record.values[id] = value;
  }
  shows_.push_back(std::move(record));
}

int HeadlessUi::ScreenAreaOf(PanelRecord&, ScreenArea& area) {
  area = screenArea_;
  return 0;
}

// --- Controls -----------------------------------------------------------------

void HeadlessUi::ValueChanged(PanelRecord& panel, ControlRecord& control) {
  CtrlValue stored = control.value;
  if (IsListType(control.spec.type)) stored = control.items[static_cast<std::size_t>(control.index)].value;
  valueLog_.push_back({panel.resourceId, panel.handle, control.spec.id, std::move(stored), false});
}

void HeadlessUi::ControlChanged(PanelRecord&, ControlRecord& control, Attr attr) {
  // Another number of traces starts the chart afresh.
  if (attr == Attr::NumTraces) static_cast<HeadlessControl&>(control).Clear();
}

// --- Graphs and strip charts ----------------------------------------------------------

void HeadlessControl::Autoscale() {
  if (xMode == AxisMode::Autoscale) {
    if (auto range = DataRange(*this, true)) std::tie(xMin, xMax) = *range;
  }
  if (yMode == AxisMode::Autoscale) {
    if (auto range = DataRange(*this, false)) std::tie(yMin, yMax) = *range;
  }
}

int HeadlessControl::Draw(int plot, std::span<const double> x, std::span<const double> y,
                          const PlotAttributes& attributes) {
  plots.push_back(HeadlessPlot{plot, {x.begin(), x.end()}, {y.begin(), y.end()}, attributes});
  plotCalls.push_back(PlotCall{plot, {x.begin(), x.end()}, {y.begin(), y.end()}, attributes});
  Autoscale();
  return 0;
}

int HeadlessControl::DrawCurve(int plot, std::shared_ptr<const Curve> curve, CurveKeys keys,
                               const PlotAttributes& attributes) {
  curvePlots.emplace_back(plot, CurvePlot(std::move(curve), keys, attributes));
  plots.push_back(HeadlessPlot{plot, {}, {}, attributes});
  CurvesChanged();
  return 0;
}

// Each curve's plot takes the points it grew by, recorded as the segment
// from its last point; a curve that changed is recorded whole again.
void HeadlessControl::CurvesChanged() {
  for (auto& [handle, curve] : curvePlots) {
    auto plot = std::find_if(plots.begin(), plots.end(), [&](const HeadlessPlot& p) { return p.handle == handle; });
    if (plot == plots.end()) continue;
    if (curve.Update()) {
      plot->x.clear();
      plot->y.clear();
    }
    const std::size_t had = plot->x.size(), now = curve.size();
    if (now <= had) continue;
    PlotCall call{handle, {}, {}, curve.attributes()};
    for (std::size_t k = had > 0 ? had - 1 : 0; k < now; ++k) {
      const auto [x, y] = curve.Point(k);
      call.x.push_back(x);
      call.y.push_back(y);
      if (k >= had) {
        plot->x.push_back(x);
        plot->y.push_back(y);
      }
    }
    plotCalls.push_back(std::move(call));
  }
  Autoscale();
}

void HeadlessControl::DeletePlot(int plot) {
  ++deletions;
  std::erase_if(plots, [plot](const HeadlessPlot& p) { return plot == kAllPlots || p.handle == plot; });
  std::erase_if(curvePlots, [plot](const auto& p) { return plot == kAllPlots || p.first == plot; });
}

std::vector<PlotState> HeadlessControl::Plots() const {
  std::vector<PlotState> states;
  for (const HeadlessPlot& plot : plots) states.push_back(PlotState{plot.attributes, plot.x, plot.y});
  return states;
}

int HeadlessControl::Append(std::span<const double> points, int) {
  stripCurves.clear();
  stripPoints.insert(stripPoints.end(), points.begin(), points.end());
  return 0;
}

int HeadlessControl::SetCurves(std::span<const std::shared_ptr<const Curve>> curves) {
  stripPoints.clear();
  stripCurves.assign(curves.begin(), curves.end());
  return 0;
}

void HeadlessControl::Clear() {
  stripPoints.clear();
  stripCurves.clear();
}

std::vector<double> HeadlessControl::Points() const {
  return stripCurves.empty() ? stripPoints : StripCurvePoints(stripCurves, pointsPerScreen);
}

void HeadlessControl::SetAxes(const AxisState& axes) {
  if (axes.xMode != AxisMode::NoChange) {
    xMode = axes.xMode;
    if (axes.xMode == AxisMode::Manual) std::tie(xMin, xMax) = std::pair(axes.xMin, axes.xMax);
  }
  if (axes.yMode != AxisMode::NoChange) {
    yMode = axes.yMode;
    if (axes.yMode == AxisMode::Manual) std::tie(yMin, yMax) = std::pair(axes.yMin, axes.yMax);
  }
  Autoscale();
}

AxisState HeadlessControl::Axes() {
  Autoscale();
  return AxisState{xMode, xMin, xMax, yMode, yMin, yMax};
}

int HeadlessControl::WriteImage(const std::string& path, const GraphPicture* picture) {
  std::optional<GraphPicture> shown;
  if (picture != nullptr) shown = *picture;
  if (printJobs != nullptr) printJobs->push_back(PrintRecord{resourceId, spec.id, path, {}, std::move(shown)});
  return 0;
}

// --- Events -------------------------------------------------------------------------

std::optional<UserEvent> HeadlessUi::NextScripted() {
  while (!script_.empty()) {
    ScriptStep step = std::move(script_.front());
    script_.pop_front();
    switch (step.kind) {
      case ScriptStep::Kind::Action:
        if (step.action) step.action(*this);
        continue;
      case ScriptStep::Kind::Raw:
        return step.raw;
      case ScriptStep::Kind::Menu:
        if (std::optional<UserEvent> event = MenuEvent(step)) return event;
        continue;
      case ScriptStep::Kind::Key:
        if (std::optional<UserEvent> event = KeyEvent(step)) return event;
        continue;
      case ScriptStep::Kind::Event:
      case ScriptStep::Kind::SetOnly:
        break;
    }

    const std::string where = "panel " + std::to_string(step.panelResource) +
                              (step.kind == ScriptStep::Kind::Event && step.control != 0
                                   ? " control " + std::to_string(step.control)
                                   : std::string());
    const int handle = NewestHandle(step.panelResource);
    if (handle == 0) {
      ++refusedEvents_;
      Problem("scripted step for " + where + ": the panel is not loaded");
      continue;
    }
    if (!Accepts(handle)) {
      ++refusedEvents_;
      Problem("scripted step for " + where + ": another pop-up (panel " +
              std::to_string(Record(PopupStack().back())->resourceId) + ") is active");
      continue;
    }
    PanelRecord& panel = *Live(handle);

    for (const auto& [id, value] : step.values) {
      auto it = panel.controls.find(id);
      if (it == panel.controls.end()) {
        Problem("scripted value for missing control " + std::to_string(id) + " of panel " +
                std::to_string(step.panelResource));
        continue;
      }
      ControlRecord& control = *it->second;
      if (const char* why = control.WhyInoperable()) {
        ++refusedEvents_;
        Problem("scripted value for control " + std::to_string(id) + " (" + control.spec.name +
                ") refused: " + why);
        continue;
      }
      // A number beyond the control's range is not taken: the control
      // keeps its value, as a spin box does.
      if (!UserCanEnter(control, value)) continue;
      if (StoreValue(control, value) < 0) {
        Problem("scripted value " + Describe(value) + " does not fit control " + std::to_string(id) +
                " (" + control.spec.name + ")");
        continue;
      }
      CtrlValue stored = control.value;
      if (IsListType(control.spec.type)) stored = control.items[static_cast<std::size_t>(control.index)].value;
      valueLog_.push_back({panel.resourceId, panel.handle, id, std::move(stored), true});
    }

    ControlRecord* target = nullptr;
    if (step.control != 0) {
      auto it = panel.controls.find(step.control);
      if (it == panel.controls.end()) {
        ++refusedEvents_;
        Problem("scripted step for " + where + ": no such control");
        continue;
      }
      target = it->second.get();
    }

    if (step.listIndex) {
      if (target == nullptr || !IsListType(target->spec.type) || *step.listIndex < 0 ||
          *step.listIndex >= static_cast<int>(target->items.size())) {
        ++refusedEvents_;
        Problem("scripted selection for " + where + ": no item " + std::to_string(*step.listIndex));
        continue;
      }
    }

    if (target != nullptr && step.kind == ScriptStep::Kind::Event) {
      if (const char* why = target->WhyInoperable()) {
        ++refusedEvents_;
        Problem("scripted event for " + where + " (" + target->spec.name + ") refused: " + why);
        continue;
      }
    }
    if (step.listIndex) target->index = *step.listIndex;
    if (step.kind == ScriptStep::Kind::SetOnly) continue;
    return UserEvent{step.type, handle, step.control};
  }
  return std::nullopt;
}

std::optional<UserEvent> HeadlessUi::MenuEvent(const ScriptStep& step) {
  const std::string where = "menu item " + std::to_string(step.control) + " of panel " +
                            std::to_string(step.panelResource);
  const int handle = NewestHandle(step.panelResource);
  const HeadlessPanel* panel = Panel(handle);
  const HeadlessMenuBar* bar = panel == nullptr ? nullptr : MenuBar(panel->menuBar);
  const HeadlessMenuItem* item = bar == nullptr ? nullptr : bar->Find(step.control);
  const char* why = panel == nullptr                                ? "the panel is not loaded"
                    : !Accepts(handle)                              ? "another pop-up is active"
                    : item == nullptr                               ? "no such item"
                    : item->kind != MenuEntrySpec::Kind::Item       ? "not an item"
                    : item->dimmed                                  ? "dimmed"
                                                                    : nullptr;
  if (why != nullptr) {
    ++refusedEvents_;
    Problem("scripted choice of " + where + " refused: " + why);
    return std::nullopt;
  }
  return UserEvent{EventType::Menu, bar->handle, item->id};
}

std::optional<UserEvent> HeadlessUi::KeyEvent(const ScriptStep& step) {
  const std::string where = "key " + step.key + " in panel " + std::to_string(step.panelResource);
  const int handle = NewestHandle(step.panelResource);
  const HeadlessPanel* panel = Panel(handle);
  if (panel == nullptr || !Accepts(handle)) {
    ++refusedEvents_;
    Problem("scripted " + where + " refused: the panel is not loaded or not active");
    return std::nullopt;
  }
  for (const auto& [id, control] : panel->controls) {
    if (SameKey(control->shortcut, step.key) && control->WhyInoperable() == nullptr) {
      return UserEvent{EventType::Commit, handle, id};
    }
  }
  if (const HeadlessMenuBar* bar = MenuBar(panel->menuBar)) {
    for (const HeadlessMenuItem& item : bar->entries) {
      if (item.kind == MenuEntrySpec::Kind::Item && !item.dimmed &&
          SameKey(item.shortcut, step.key)) {
        return UserEvent{EventType::Menu, bar->handle, item.id};
      }
    }
  }
  ++refusedEvents_;
  Problem("scripted " + where + " refused: no operable control or item has it");
  return std::nullopt;
}

UserEvent HeadlessUi::GetUserEvent(bool wait) {
  if (std::optional<UserEvent> event = NextScripted()) {
    idlePolls_ = 0;
    consecutiveWaits_ = 0;
    return *event;
  }
  if (std::optional<UserEvent> event = TerminationEvent()) {
    if (idlePollLimit_ > 0 && ++idlePolls_ > idlePollLimit_) {
      std::fprintf(stderr, "headless UI: the program was told to end but keeps polling\n");
      std::abort();
    }
    return *event;
  }
  if (wait) {
    ++unexpectedWaits_;
    if (++consecutiveWaits_ > kMaxConsecutiveWaits) {
      std::fprintf(stderr,
                   "headless UI: the program keeps waiting for user events that nobody "
                   "scripted (%d waits); giving up\n",
                   consecutiveWaits_);
      std::abort();
    }
    Problem("GetUserEvent waited with nothing scripted");
    return UserEvent{EventType::Close, PopupStack().empty() ? 0 : PopupStack().back(), 0};
  }
  if (idlePollLimit_ > 0 && ++idlePolls_ > idlePollLimit_) {
    std::fprintf(stderr,
                 "headless UI: %ld polls in a row found no scripted event; the loop "
                 "under test does not end by itself\n",
                 idlePolls_);
    std::abort();
  }
  return UserEvent{};
}

UserEvent HeadlessUi::WaitUserEvent(double seconds, std::span<const int>) {
  if (std::optional<UserEvent> event = NextScripted()) {
    idlePolls_ = 0;
    consecutiveWaits_ = 0;
    return *event;
  }
  if (seconds < 0.0 || TerminationRequested()) {
    if (seconds < 0.0) timedWaits_.push_back(-1.0);
    return GetUserEvent(seconds < 0.0);
  }
  if (seconds > 0.0) {
    timedWaits_.push_back(seconds);
    Delay(seconds);
  }
  return GetUserEvent(false);
}

int HeadlessUi::panelUpdates(int handle) const {
  const auto it = panelUpdates_.find(handle);
  return it == panelUpdates_.end() ? 0 : it->second;
}

void HeadlessUi::SetMouseCursor(Cursor cursor) {
  cursor_ = cursor;
  cursorHistory_.push_back(cursor);
}

// --- Scripting ----------------------------------------------------------------------

HeadlessUi& HeadlessUi::Step(ScriptStep step) {
  script_.push_back(std::move(step));
  return *this;
}

HeadlessUi& HeadlessUi::Commit(int panelResource, int control,
                               std::vector<std::pair<int, CtrlValue>> valuesFirst) {
  return Event(EventType::Commit, panelResource, control, std::move(valuesFirst));
}

HeadlessUi& HeadlessUi::Event(EventType type, int panelResource, int control,
                              std::vector<std::pair<int, CtrlValue>> valuesFirst) {
  ScriptStep step;
  step.type = type;
  step.panelResource = panelResource;
  step.control = control;
  step.values = std::move(valuesFirst);
  return Step(std::move(step));
}

HeadlessUi& HeadlessUi::Select(int panelResource, int control, int index, EventType type) {
  ScriptStep step;
  step.type = type;
  step.panelResource = panelResource;
  step.control = control;
  step.listIndex = index;
  return Step(std::move(step));
}

HeadlessUi& HeadlessUi::Close(int panelResource) {
  return Event(EventType::Close, panelResource, 0);
}

HeadlessUi& HeadlessUi::Set(int panelResource, std::vector<std::pair<int, CtrlValue>> values) {
  ScriptStep step;
  step.kind = ScriptStep::Kind::SetOnly;
  step.panelResource = panelResource;
  step.values = std::move(values);
  return Step(std::move(step));
}

HeadlessUi& HeadlessUi::Then(std::function<void(HeadlessUi&)> action) {
  ScriptStep step;
  step.kind = ScriptStep::Kind::Action;
  step.action = std::move(action);
  return Step(std::move(step));
}

HeadlessUi& HeadlessUi::Terminate() {
  return Then([](HeadlessUi& ui) { ui.RequestTermination(); });
}

HeadlessUi& HeadlessUi::Raw(UserEvent event) {
  ScriptStep step;
  step.kind = ScriptStep::Kind::Raw;
  step.raw = event;
  return Step(std::move(step));
}

HeadlessUi& HeadlessUi::MenuChoice(int panelResource, int item) {
  ScriptStep step;
  step.kind = ScriptStep::Kind::Menu;
  step.panelResource = panelResource;
  step.control = item;
  return Step(std::move(step));
}

HeadlessUi& HeadlessUi::Key(int panelResource, std::string key) {
  ScriptStep step;
  step.kind = ScriptStep::Kind::Key;
  step.panelResource = panelResource;
  step.key = std::move(key);
  return Step(std::move(step));
}

HeadlessUi& HeadlessUi::AnswerGeneric(int button) {
  genericAnswers_.push_back(button);
  return *this;
}

HeadlessUi& HeadlessUi::AnswerConfirm(bool yes) {
  confirmAnswers_.push_back(yes);
  return *this;
}

HeadlessUi& HeadlessUi::AnswerFile(std::string path) {
  fileAnswers_.emplace_back(std::nullopt, std::move(path));
  return *this;
}

HeadlessUi& HeadlessUi::AnswerFile(std::string path, FileSelectResult result) {
  fileAnswers_.emplace_back(result, std::move(path));
  return *this;
}

HeadlessUi& HeadlessUi::CancelFile() {
  fileAnswers_.emplace_back(FileSelectResult::None, std::string());
  return *this;
}

void HeadlessUi::FailLoad(int resourceId, int times) { loadFailures_[resourceId] = times; }

void HeadlessUi::ClearRecords() {
  popups_.clear();
  fileDialogs_.clear();
  shows_.clear();
  valueLog_.clear();
  problems_.clear();
  unansweredPopups_ = 0;
  unexpectedWaits_ = 0;
  refusedEvents_ = 0;
  timedWaits_.clear();
  panelUpdates_.clear();
  cursorHistory_.clear();
  printJobs_.clear();
}

// --- Inspection -----------------------------------------------------------------------

int HeadlessUi::NewestHandle(int resourceId, bool liveOnly) const {
  for (auto it = Panels().rbegin(); it != Panels().rend(); ++it) {
    if (it->second->resourceId == resourceId && (!liveOnly || !it->second->discarded)) {
      return it->first;
    }
  }
  return 0;
}

const HeadlessPanel* HeadlessUi::Panel(int handle) const { return Record(handle); }

const HeadlessPanel* HeadlessUi::NewestPanel(int resourceId, bool liveOnly) const {
  return Panel(NewestHandle(resourceId, liveOnly));
}

const HeadlessControl* HeadlessUi::Control(int handle, int control) const {
  const HeadlessPanel* panel = Panel(handle);
  if (panel == nullptr) return nullptr;
  return static_cast<const HeadlessControl*>(panel->Find(control));
}

bool HeadlessUi::IsLoaded(int handle) const {
  const HeadlessPanel* panel = Panel(handle);
  return panel != nullptr && !panel->discarded;
}

bool HeadlessUi::IsDisplayed(int handle) const {
  const HeadlessPanel* panel = Panel(handle);
  return panel != nullptr && !panel->discarded && panel->displayed;
}

bool HeadlessUi::IsPopup(int handle) const {
  return std::find(PopupStack().begin(), PopupStack().end(), handle) != PopupStack().end();
}

bool HeadlessUi::WasShown(int resourceId) const {
  return std::any_of(shows_.begin(), shows_.end(),
                     [&](const ShowRecord& show) { return show.resourceId == resourceId; });
}

std::vector<CtrlValue> HeadlessUi::ValueHistory(int resourceId, int control) const {
  std::vector<CtrlValue> values;
  for (const ValueRecord& record : valueLog_) {
    if (record.resourceId == resourceId && record.control == control) values.push_back(record.value);
  }
  return values;
}

std::optional<CtrlValue> HeadlessUi::ValueOf(int resourceId, int control) const {
  const HeadlessControl* c = Control(NewestHandle(resourceId, false), control);
  if (c == nullptr) return std::nullopt;
  if (IsListType(c->spec.type)) {
    if (c->index < 0) return std::nullopt;
    return CtrlValue{c->items[static_cast<std::size_t>(c->index)].value};
  }
  return c->value;
}

const std::vector<HeadlessPlot>& HeadlessUi::Plots(int handle, int control) const {
  static const std::vector<HeadlessPlot> kNone;
  const HeadlessControl* c = Control(handle, control);
  return c == nullptr ? kNone : c->plots;
}

const std::vector<PlotCall>& HeadlessUi::PlotCalls(int handle, int control) const {
  static const std::vector<PlotCall> kNone;
  const HeadlessControl* c = Control(handle, control);
  return c == nullptr ? kNone : c->plotCalls;
}

const HeadlessMenuBar* HeadlessUi::MenuBar(int handle) const { return MenuBarOf(handle); }

std::vector<double> HeadlessUi::StripTrace(int handle, int control, int trace) const {
  std::vector<double> points;
  const HeadlessControl* c = Control(handle, control);
  if (c == nullptr || c->stripTraceCount <= 0 || trace < 0 || trace >= c->stripTraceCount) {
    return points;
  }
  const std::vector<double> all = c->Points();
  for (std::size_t i = static_cast<std::size_t>(trace); i < all.size(); i += static_cast<std::size_t>(c->stripTraceCount)) {
    points.push_back(all[i]);
  }
  return points;
}

}  // namespace sondrix::platform
