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

using headless::kBadArgument;
using headless::kBadPanel;
using headless::kCantLoad;

// Consecutive blocking polls with nothing scripted before we give up: a loop
// that keeps waiting after being told "Close" a thousand times never ends.
constexpr int kMaxConsecutiveWaits = 1000;

std::optional<int> AsInt(const CtrlValue& value) { return CtrlValueInt(value); }
std::optional<double> AsDouble(const CtrlValue& value) { return CtrlValueDouble(value); }

bool IsList(CtrlType type) { return IsListType(type); }
bool IsText(CtrlType type) { return IsTextType(type); }
bool IsSwitch(CtrlType type) { return IsSwitchType(type); }

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

// Why the user could not operate a control, or nothing when they can.
const char* WhyInoperable(const HeadlessControl& control) {
  if (control.dimmed) return "dimmed";
  if (!control.visible) return "hidden";
  if (control.mode == CtrlMode::Indicator) return "indicator";
  if ((control.spec.type == CtrlType::TextMsg || control.spec.type == CtrlType::Decoration ||
       control.spec.type == CtrlType::Progress) &&
      control.mode != CtrlMode::Hot) {
    return "not an input";
  }
  return nullptr;
}

HeadlessControl MakeControl(const ControlSpec& spec) {
  HeadlessControl control;
  control.spec = spec;
  control.value = spec.value;
  control.label = spec.label;
  control.dimmed = spec.dimmed;
  control.visible = spec.visible;
  control.mode = spec.mode;
  control.top = spec.top;
  control.left = spec.left;
  control.width = spec.width;
  control.height = spec.height;
  control.textColor = spec.textColor;
  control.min = spec.min;
  control.max = spec.max;
  for (const ListItemSpec& item : spec.items) control.items.push_back({item.label, item.value, false});
  control.index = control.items.empty() ? -1 : 0;
  if (control.spec.type == CtrlType::StripChart) control.stripTraceCount = spec.traces;
  control.pointsPerScreen = spec.points;
  control.xMin = spec.xMin.value_or(control.xMin);
  control.xMax = spec.xMax.value_or(control.xMax);
  control.yMin = spec.yMin.value_or(control.yMin);
  control.yMax = spec.yMax.value_or(control.yMax);
  control.xName = spec.xLabel;
  control.yName = spec.yLabel;
  control.backColor = spec.backColor;
  control.shortcut = spec.shortcut;
  return control;
}

void AddMenuEntries(HeadlessMenuBar& bar, const std::vector<MenuEntrySpec>& entries, int menu) {
  for (const MenuEntrySpec& entry : entries) {
    bar.entries.push_back(HeadlessMenuItem{entry.kind, entry.id, menu, entry.name, entry.label,
                                           entry.shortcut, entry.dimmed, entry.checked});
    if (entry.kind == MenuEntrySpec::Kind::Menu) AddMenuEntries(bar, entry.entries, entry.id);
  }
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
  if (control.spec.type == CtrlType::StripChart) {
    if (xAxis) return std::nullopt;
    for (double v : control.stripPoints) widen(v);
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

// Brings the shown range of autoscaled axes up to date.
void Autoscale(HeadlessControl& control) {
  if (control.xMode == AxisMode::Autoscale) {
    if (auto range = DataRange(control, true)) std::tie(control.xMin, control.xMax) = *range;
  }
  if (control.yMode == AxisMode::Autoscale) {
    if (auto range = DataRange(control, false)) std::tie(control.yMin, control.yMax) = *range;
  }
}

}  // namespace

HeadlessUi::HeadlessUi() : resources_(LoadProgramUir(resourceError_)) {}

HeadlessUi::HeadlessUi(UirFile resources) : resources_(std::move(resources)) {}

HeadlessUi::~HeadlessUi() = default;

void HeadlessUi::Problem(std::string text) { problems_.push_back(std::move(text)); }

// --- Pop-ups ------------------------------------------------------------------

int HeadlessUi::RecordUnasked(PopupRecord record, int answer) {
  record.answer = answer;
  popups_.push_back(std::move(record));
  if (popupObserver) popupObserver(popups_.back());
  return answer;
}

int HeadlessUi::GenericMessagePopup(std::string_view title, std::string_view text,
                                    std::span<const std::string> buttons) {
  PopupRecord record{PopupKind::Generic, std::string(title), std::string(text),
                     std::vector<std::string>(buttons.begin(), buttons.end()), 0, false};
  const int count = static_cast<int>(record.buttons.size());
  if (terminating_) return RecordUnasked(std::move(record), std::max(count, 1));
  std::optional<int> answer;
  if (popupAnswerer) answer = popupAnswerer(record);
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
  popups_.push_back(record);
  if (popupObserver) popupObserver(popups_.back());
  return record.answer;
}

int HeadlessUi::ConfirmPopup(std::string_view title, std::string_view text) {
  PopupRecord record{PopupKind::Confirm, std::string(title), std::string(text), {"Yes", "No"}, 0,
                     false};
  if (terminating_) return RecordUnasked(std::move(record), 0);
  std::optional<int> answer;
  if (popupAnswerer) answer = popupAnswerer(record);
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
  popups_.push_back(record);
  if (popupObserver) popupObserver(popups_.back());
  return record.answer;
}

FileSelectResult HeadlessUi::SelectFile(const FileSelectRequest& request, std::string& path) {
  FileDialogRecord record;
  record.request = request;
  if (terminating_) {
    fileDialogs_.push_back(record);
    return FileSelectResult::None;
  }
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

// --- Panels -------------------------------------------------------------------

HeadlessPanel* HeadlessUi::LivePanel(int handle, const char* call) {
  auto it = panels_.find(handle);
  if (it == panels_.end() || it->second.discarded) {
    Problem(std::string(call) + ": " + std::to_string(handle) + " is not a live panel");
    return nullptr;
  }
  return &it->second;
}

HeadlessControl* HeadlessUi::LiveControl(int panel, int control, const char* call) {
  HeadlessPanel* p = LivePanel(panel, call);
  if (p == nullptr) return nullptr;
  auto it = p->controls.find(control);
  if (it == p->controls.end()) {
    Problem(std::string(call) + ": panel " + std::to_string(p->resourceId) + " has no control " +
            std::to_string(control));
    return nullptr;
  }
  return &it->second;
}

HeadlessControl* HeadlessUi::ListControl(int panel, int control, const char* call) {
  HeadlessControl* c = LiveControl(panel, control, call);
  if (c != nullptr && !IsList(c->spec.type)) {
    Problem(std::string(call) + ": control " + std::to_string(control) + " is not a list");
    return nullptr;
  }
  return c;
}

int HeadlessUi::LoadPanel(int parent, int resourceId) {
  if (auto it = loadFailures_.find(resourceId); it != loadFailures_.end() && it->second > 0) {
    --it->second;
    return kCantLoad;
  }
  if (parent != 0 && LivePanel(parent, "LoadPanel") == nullptr) return kBadPanel;
  const PanelSpec* spec = resources_.FindPanel(resourceId);
  if (spec == nullptr) {
    Problem("LoadPanel: the resource file has no panel " + std::to_string(resourceId) +
            (resourceError_.empty() ? "" : " (" + resourceError_ + ")"));
    return kCantLoad;
  }
  HeadlessPanel panel;
  panel.handle = nextHandle_++;
  panel.resourceId = resourceId;
  panel.parent = parent;
  panel.title = spec->title;
  panel.top = spec->top;
  panel.left = spec->left;
  panel.width = spec->width;
  panel.height = spec->height;
  for (const ControlSpec& control : spec->controls) {
    panel.controls.emplace(control.id, MakeControl(control));
    if (control.isDefault) panel.activeControl = control.id;
  }
  if (spec->menuBar != 0) {
    if (const MenuBarSpec* barSpec = resources_.FindMenuBar(spec->menuBar)) {
      HeadlessMenuBar bar;
      bar.handle = nextHandle_++;
      bar.resourceId = barSpec->id;
      bar.panel = panel.handle;
      AddMenuEntries(bar, barSpec->menus, 0);
      panel.menuBar = bar.handle;
      menuBars_.emplace(bar.handle, std::move(bar));
    }
  }
  int handle = panel.handle;
  panels_.emplace(handle, std::move(panel));
  return handle;
}

void HeadlessUi::DiscardTree(int handle) {
  auto it = panels_.find(handle);
  if (it == panels_.end() || it->second.discarded) return;
  it->second.discarded = true;
  it->second.displayed = false;
  if (auto bar = menuBars_.find(it->second.menuBar); bar != menuBars_.end()) bar->second.discarded = true;
  std::erase(popupStack_, handle);
  for (auto& [child, panel] : panels_) {
    if (panel.parent == handle) DiscardTree(child);
  }
}

int HeadlessUi::DiscardPanel(int panel) {
  if (LivePanel(panel, "DiscardPanel") == nullptr) return kBadPanel;
  DiscardTree(panel);
  return 0;
}

int HeadlessUi::DisplayPanel(int panel) {
  HeadlessPanel* p = LivePanel(panel, "DisplayPanel");
  if (p == nullptr) return kBadPanel;
  p->displayed = true;
  ShowRecord record{p->resourceId, panel, false, {}};
  for (const auto& [id, control] : p->controls) {
    if (IsList(control.spec.type)) {
      if (control.index >= 0) record.values[id] = control.items[control.index].value;
    } else if (!HasNoValue(control.spec.type)) {
      record.values[id] = control.value;
    }
  }
  shows_.push_back(std::move(record));
  return 0;
}

int HeadlessUi::HidePanel(int panel) {
  HeadlessPanel* p = LivePanel(panel, "HidePanel");
  if (p == nullptr) return kBadPanel;
  p->displayed = false;
  return 0;
}

int HeadlessUi::InstallPopup(int panel) {
  if (LivePanel(panel, "InstallPopup") == nullptr) return kBadPanel;
  int result = DisplayPanel(panel);
  shows_.back().popup = true;
  std::erase(popupStack_, panel);
  popupStack_.push_back(panel);
  return result;
}

int HeadlessUi::RemovePopup(int panel) {
  // Removing a panel that is not a pop-up is harmless.
  auto it = panels_.find(panel);
  if (it == panels_.end()) return 0;
  if (std::find(popupStack_.begin(), popupStack_.end(), panel) != popupStack_.end()) {
    std::erase(popupStack_, panel);
    it->second.displayed = false;
  }
  return 0;
}

int HeadlessUi::SetPanelAttribute(int panel, Attr attr, const CtrlValue& value) {
  HeadlessPanel* p = LivePanel(panel, "SetPanelAttribute");
  if (p == nullptr) return kBadPanel;
  if (attr == Attr::Title) {
    if (const std::string* text = std::get_if<std::string>(&value)) {
      p->title = *text;
      return 0;
    }
    return kBadArgument;
  }
  std::optional<int> number = AsInt(value);
  if (!number) return kBadArgument;
  switch (attr) {
    case Attr::Top: p->top = *number; return 0;
    case Attr::Left: p->left = *number; return 0;
    case Attr::Height: p->height = std::max(*number, p->minHeight); return 0;
    case Attr::Width: p->width = std::max(*number, p->minWidth); return 0;
    case Attr::MinHeight:
      p->minHeight = std::max(*number, 0);
      p->height = std::max(p->height, p->minHeight);
      return 0;
    case Attr::MinWidth:
      p->minWidth = std::max(*number, 0);
      p->width = std::max(p->width, p->minWidth);
      return 0;
    case Attr::Visible:
      p->displayed = *number != 0;
      return 0;
    default:
      Problem("SetPanelAttribute: attribute not offered for panels");
      return kBadArgument;
  }
}

int HeadlessUi::GetPanelAttribute(int panel, Attr attr, CtrlValue& value) {
  HeadlessPanel* p = LivePanel(panel, "GetPanelAttribute");
  if (p == nullptr) return kBadPanel;
  switch (attr) {
    case Attr::Title: value = p->title; return 0;
    case Attr::Top: value = p->top; return 0;
    case Attr::Left: value = p->left; return 0;
    case Attr::Height: value = p->height; return 0;
    case Attr::Width: value = p->width; return 0;
    case Attr::MinHeight: value = p->minHeight; return 0;
    case Attr::MinWidth: value = p->minWidth; return 0;
    case Attr::Visible: value = p->displayed ? 1 : 0; return 0;
    default:
      Problem("GetPanelAttribute: attribute not offered for panels");
      return kBadArgument;
  }
}

int HeadlessUi::GetScreenArea(int panel, ScreenArea& area) {
  if (LivePanel(panel, "GetScreenArea") == nullptr) return kBadPanel;
  area = screenArea_;
  return 0;
}

// --- Controls -----------------------------------------------------------------

int HeadlessUi::StoreValue(HeadlessPanel& panel, HeadlessControl& control, const CtrlValue& value,
                           bool byScript) {
  CtrlType type = control.spec.type;
  CtrlValue stored;
  if (IsText(type)) {
    const std::string* text = std::get_if<std::string>(&value);
    if (text == nullptr) return kBadArgument;
    stored = *text;
    if (control.spec.maxLength > 0 && text->size() > static_cast<std::size_t>(control.spec.maxLength) &&
        byScript) {
      stored = text->substr(0, static_cast<std::size_t>(control.spec.maxLength));
    }
  } else if (type == CtrlType::Double) {
    std::optional<double> d = AsDouble(value);
    if (!d) return kBadArgument;
    stored = *d;
  } else if (IsList(type)) {
    std::optional<int> v = AsInt(value);
    if (!v) return kBadArgument;
    auto it = std::find_if(control.items.begin(), control.items.end(),
                           [&](const ListItem& item) { return item.value == *v; });
    if (it == control.items.end()) return kBadArgument;
    control.index = static_cast<int>(it - control.items.begin());
    stored = *v;
  } else if (HasNoValue(type)) {
    return kBadArgument;
  } else {
    std::optional<int> v = AsInt(value);
    if (!v) return kBadArgument;
    stored = IsSwitch(type) ? (*v != 0 ? 1 : 0) : *v;
    // A bar shows nothing beyond its ends.
    if (type == CtrlType::Progress) {
      stored = std::clamp(*v, static_cast<int>(control.spec.min.value_or(0.0)),
                          static_cast<int>(control.spec.max.value_or(100.0)));
    }
  }
  if (!IsList(type)) control.value = stored;
  valueLog_.push_back({panel.resourceId, panel.handle, control.spec.id, stored, byScript});
  return 0;
}

int HeadlessUi::SetCtrlVal(int panel, int control, const CtrlValue& value) {
  HeadlessControl* c = LiveControl(panel, control, "SetCtrlVal");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  int result = StoreValue(panels_.at(panel), *c, value, false);
  if (result < 0) {
    Problem("SetCtrlVal: control " + std::to_string(control) + " (" + c->spec.name +
            ") refused the value " + Describe(value));
  }
  return result;
}

int HeadlessUi::GetCtrlVal(int panel, int control, CtrlValue& value) {
  HeadlessControl* c = LiveControl(panel, control, "GetCtrlVal");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  if (IsList(c->spec.type)) {
    if (c->index < 0) return kBadArgument;
    value = c->items[static_cast<std::size_t>(c->index)].value;
    return 0;
  }
  if (HasNoValue(c->spec.type)) return kBadArgument;
  value = c->value;
  return 0;
}

int HeadlessUi::SetCtrlAttribute(int panel, int control, Attr attr, const CtrlValue& value) {
  HeadlessControl* c = LiveControl(panel, control, "SetCtrlAttribute");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  if (attr == Attr::LabelText || attr == Attr::Shortcut || attr == Attr::XName ||
      attr == Attr::YName) {
    const std::string* text = std::get_if<std::string>(&value);
    if (text == nullptr) return kBadArgument;
    (attr == Attr::LabelText  ? c->label
     : attr == Attr::Shortcut ? c->shortcut
     : attr == Attr::XName    ? c->xName
                              : c->yName) = *text;
    return 0;
  }
  if (attr == Attr::MinValue || attr == Attr::MaxValue) {
    std::optional<double> d = AsDouble(value);
    if (!d) return kBadArgument;
    (attr == Attr::MinValue ? c->min : c->max) = *d;
    return 0;
  }
  std::optional<int> number = AsInt(value);
  if (!number) return kBadArgument;
  switch (attr) {
    case Attr::Dimmed: c->dimmed = *number != 0; return 0;
    case Attr::Visible: c->visible = *number != 0; return 0;
    case Attr::Top: c->top = *number; return 0;
    case Attr::Left: c->left = *number; return 0;
    case Attr::Height: c->height = *number; return 0;
    case Attr::Width: c->width = *number; return 0;
    case Attr::TextColor: c->textColor = *number; return 0;
    case Attr::CtrlMode:
      if (*number < 0 || *number > 2) return kBadArgument;
      c->mode = static_cast<CtrlMode>(*number);
      return 0;
    case Attr::BackColor: c->backColor = *number; return 0;
    case Attr::XDivisions: c->xDivisions = *number; return 0;
    case Attr::YDivisions: c->yDivisions = *number; return 0;
    case Attr::AutoRefresh: c->autoRefresh = *number != 0; return 0;
    case Attr::SmoothUpdate: c->smoothUpdate = *number != 0; return 0;
    case Attr::YReverse: c->yReverse = *number != 0; return 0;
    case Attr::NumTraces:
      if (c->spec.type != CtrlType::StripChart || *number < 1 || *number > kMaxStripTraces) {
        Problem("SetCtrlAttribute: bad trace count " + std::to_string(*number) + " for control " +
                std::to_string(control));
        return kBadArgument;
      }
      if (*number != c->stripTraceCount) c->stripPoints.clear();
      c->stripTraceCount = *number;
      return 0;
    case Attr::PointsPerScreen:
      if (c->spec.type != CtrlType::StripChart || *number < 1) return kBadArgument;
      c->pointsPerScreen = *number;
      return 0;
    default:
      Problem("SetCtrlAttribute: attribute not offered for controls");
      return kBadArgument;
  }
}

int HeadlessUi::GetCtrlAttribute(int panel, int control, Attr attr, CtrlValue& value) {
  HeadlessControl* c = LiveControl(panel, control, "GetCtrlAttribute");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  switch (attr) {
    case Attr::LabelText: value = c->label; return 0;
    case Attr::Dimmed: value = c->dimmed ? 1 : 0; return 0;
    case Attr::Visible: value = c->visible ? 1 : 0; return 0;
    case Attr::Top: value = c->top; return 0;
    case Attr::Left: value = c->left; return 0;
    case Attr::Height: value = c->height; return 0;
    case Attr::Width: value = c->width; return 0;
    case Attr::TextColor: value = c->textColor; return 0;
    case Attr::CtrlMode: value = static_cast<int>(c->mode); return 0;
    case Attr::MinValue: value = c->min.value_or(std::numeric_limits<double>::lowest()); return 0;
    case Attr::MaxValue: value = c->max.value_or(std::numeric_limits<double>::max()); return 0;
    case Attr::Shortcut: value = c->shortcut; return 0;
    case Attr::BackColor: value = c->backColor.value_or(-1); return 0;
    case Attr::XName: value = c->xName; return 0;
    case Attr::YName: value = c->yName; return 0;
    case Attr::XDivisions: value = c->xDivisions; return 0;
    case Attr::YDivisions: value = c->yDivisions; return 0;
    case Attr::AutoRefresh: value = c->autoRefresh ? 1 : 0; return 0;
    case Attr::SmoothUpdate: value = c->smoothUpdate ? 1 : 0; return 0;
    case Attr::YReverse: value = c->yReverse ? 1 : 0; return 0;
    case Attr::NumTraces: value = c->stripTraceCount; return 0;
    case Attr::PointsPerScreen: value = c->pointsPerScreen; return 0;
    default:
      Problem("GetCtrlAttribute: attribute not offered for controls");
      return kBadArgument;
  }
}

int HeadlessUi::SetActiveCtrl(int panel, int control) {
  HeadlessControl* c = LiveControl(panel, control, "SetActiveCtrl");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  panels_.at(panel).activeControl = control;
  return 0;
}

// --- Lists --------------------------------------------------------------------

int HeadlessUi::InsertListItem(int panel, int control, int index, std::string_view label,
                               int value) {
  HeadlessControl* c = ListControl(panel, control, "InsertListItem");
  if (c == nullptr) return kBadArgument;
  const int size = static_cast<int>(c->items.size());
  if (index == -1) index = size;
  if (index < 0 || index > size) return kBadArgument;
  c->items.insert(c->items.begin() + index, ListItem{std::string(label), value, false});
  if (c->index < 0) {
    c->index = 0;
  } else if (index <= c->index) {
    ++c->index;
  }
  return 0;
}

int HeadlessUi::ReplaceListItem(int panel, int control, int index, std::string_view label,
                                int value) {
  HeadlessControl* c = ListControl(panel, control, "ReplaceListItem");
  if (c == nullptr) return kBadArgument;
  if (index < 0 || index >= static_cast<int>(c->items.size())) return kBadArgument;
  c->items[static_cast<std::size_t>(index)].label = std::string(label);
  c->items[static_cast<std::size_t>(index)].value = value;
  return 0;
}

int HeadlessUi::ClearListCtrl(int panel, int control) {
  HeadlessControl* c = ListControl(panel, control, "ClearListCtrl");
  if (c == nullptr) return kBadArgument;
  c->items.clear();
  c->index = -1;
  return 0;
}

int HeadlessUi::GetNumListItems(int panel, int control, int& count) {
  HeadlessControl* c = ListControl(panel, control, "GetNumListItems");
  if (c == nullptr) return kBadArgument;
  count = static_cast<int>(c->items.size());
  return 0;
}

int HeadlessUi::GetCtrlIndex(int panel, int control, int& index) {
  HeadlessControl* c = ListControl(panel, control, "GetCtrlIndex");
  if (c == nullptr) return kBadArgument;
  index = c->index;
  return 0;
}

int HeadlessUi::SetCtrlIndex(int panel, int control, int index) {
  HeadlessControl* c = ListControl(panel, control, "SetCtrlIndex");
  if (c == nullptr) return kBadArgument;
  if (index < 0 || index >= static_cast<int>(c->items.size())) return kBadArgument;
  c->index = index;
  return 0;
}

int HeadlessUi::GetValueFromIndex(int panel, int control, int index, int& value) {
  HeadlessControl* c = ListControl(panel, control, "GetValueFromIndex");
  if (c == nullptr) return kBadArgument;
  if (index < 0 || index >= static_cast<int>(c->items.size())) return kBadArgument;
  value = c->items[static_cast<std::size_t>(index)].value;
  return 0;
}

int HeadlessUi::IsListItemChecked(int panel, int control, int index, int& checked) {
  HeadlessControl* c = ListControl(panel, control, "IsListItemChecked");
  if (c == nullptr) return kBadArgument;
  if (index < 0 || index >= static_cast<int>(c->items.size())) return kBadArgument;
  checked = c->items[static_cast<std::size_t>(index)].checked ? 1 : 0;
  return 0;
}

int HeadlessUi::CheckListItem(int panel, int control, int index, int checked) {
  HeadlessControl* c = ListControl(panel, control, "CheckListItem");
  if (c == nullptr) return kBadArgument;
  if (index < 0 || index >= static_cast<int>(c->items.size())) return kBadArgument;
  c->items[static_cast<std::size_t>(index)].checked = checked != 0;
  return 0;
}

// --- Strip charts -----------------------------------------------------------------

int HeadlessUi::PlotStripChart(int panel, int control, std::span<const double> points,
                               int traceCount) {
  HeadlessControl* c = LiveControl(panel, control, "PlotStripChart");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  if (c->spec.type != CtrlType::StripChart || traceCount <= 0 ||
      points.size() % static_cast<std::size_t>(traceCount) != 0) {
    Problem("PlotStripChart: bad control or point count for control " + std::to_string(control));
    return kBadArgument;
  }
  if (c->stripTraceCount != traceCount && !c->stripPoints.empty()) {
    Problem("PlotStripChart: trace count changed from " + std::to_string(c->stripTraceCount) +
            " to " + std::to_string(traceCount) + " without a clear");
    c->stripPoints.clear();
  }
  c->stripTraceCount = traceCount;
  c->stripPoints.insert(c->stripPoints.end(), points.begin(), points.end());
  return 0;
}

int HeadlessUi::ClearStripChart(int panel, int control) {
  HeadlessControl* c = LiveControl(panel, control, "ClearStripChart");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  if (c->spec.type != CtrlType::StripChart) return kBadArgument;
  c->stripPoints.clear();
  return 0;
}

int HeadlessUi::SetTraceAttribute(int panel, int control, int trace, Attr attr,
                                  const CtrlValue& value) {
  HeadlessControl* c = LiveControl(panel, control, "SetTraceAttribute");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  if (c->spec.type != CtrlType::StripChart || trace < 0 || trace >= kMaxStripTraces ||
      (attr != Attr::TraceColor && attr != Attr::TraceVisible)) {
    return kBadArgument;
  }
  c->traceAttributes[trace][attr] = value;
  return 0;
}

// --- Menus ----------------------------------------------------------------------------

HeadlessMenuItem* HeadlessMenuBar::Find(int id) {
  for (HeadlessMenuItem& item : entries) {
    if (item.id == id && id != 0) return &item;
  }
  return nullptr;
}

const HeadlessMenuItem* HeadlessMenuBar::Find(int id) const {
  return const_cast<HeadlessMenuBar*>(this)->Find(id);
}

HeadlessMenuBar* HeadlessUi::LiveMenuBar(int handle, const char* call) {
  auto it = menuBars_.find(handle);
  if (it == menuBars_.end() || it->second.discarded) {
    Problem(std::string(call) + ": " + std::to_string(handle) + " is not a live menu bar");
    return nullptr;
  }
  return &it->second;
}

int HeadlessUi::GetPanelMenuBar(int panel) {
  HeadlessPanel* p = LivePanel(panel, "GetPanelMenuBar");
  if (p == nullptr) return kBadPanel;
  return p->menuBar;
}

int HeadlessUi::SetMenuBarAttribute(int menuBar, int item, Attr attr, const CtrlValue& value) {
  HeadlessMenuBar* bar = LiveMenuBar(menuBar, "SetMenuBarAttribute");
  if (bar == nullptr) return kBadPanel;
  if (item == -1 && attr == Attr::Dimmed) {
    std::optional<int> on = AsInt(value);
    if (!on) return kBadArgument;
    for (HeadlessMenuItem& entry : bar->entries) {
      if (entry.kind == MenuEntrySpec::Kind::Item) entry.dimmed = *on != 0;
    }
    return 0;
  }
  HeadlessMenuItem* entry = bar->Find(item);
  if (entry == nullptr) {
    Problem("SetMenuBarAttribute: no menu item " + std::to_string(item));
    return kBadArgument;
  }
  switch (attr) {
    case Attr::Dimmed:
    case Attr::Checked: {
      std::optional<int> on = AsInt(value);
      if (!on) return kBadArgument;
      (attr == Attr::Dimmed ? entry->dimmed : entry->checked) = *on != 0;
      return 0;
    }
    case Attr::LabelText:
      if (const std::string* text = std::get_if<std::string>(&value)) {
        entry->label = *text;
        return 0;
      }
      return kBadArgument;
    default:
      Problem("SetMenuBarAttribute: attribute not offered for menu items");
      return kBadArgument;
  }
}

int HeadlessUi::GetMenuBarAttribute(int menuBar, int item, Attr attr, CtrlValue& value) {
  HeadlessMenuBar* bar = LiveMenuBar(menuBar, "GetMenuBarAttribute");
  if (bar == nullptr) return kBadPanel;
  const HeadlessMenuItem* entry = bar->Find(item);
  if (entry == nullptr) return kBadArgument;
  switch (attr) {
    case Attr::Dimmed: value = entry->dimmed ? 1 : 0; return 0;
    case Attr::Checked: value = entry->checked ? 1 : 0; return 0;
    case Attr::LabelText: value = entry->label; return 0;
    default: return kBadArgument;
  }
}

int HeadlessUi::InsertMenuItem(int menuBar, int menu, int before, std::string_view label,
                               std::string_view shortcut) {
  HeadlessMenuBar* bar = LiveMenuBar(menuBar, "InsertMenuItem");
  if (bar == nullptr) return kBadPanel;
  const HeadlessMenuItem* parent = bar->Find(menu);
  if (parent == nullptr || parent->kind != MenuEntrySpec::Kind::Menu) return kBadArgument;
  int id = 0;
  for (const HeadlessMenuItem& entry : bar->entries) id = std::max(id, entry.id);
  ++id;
  HeadlessMenuItem item{MenuEntrySpec::Kind::Item, id, menu, "", std::string(label),
                        std::string(shortcut), false, false};
  auto position = bar->entries.end();
  if (before != -1) {
    position = std::find_if(bar->entries.begin(), bar->entries.end(), [&](const HeadlessMenuItem& e) {
      return e.id == before && e.menu == menu;
    });
    if (position == bar->entries.end()) return kBadArgument;
  } else {
    // After the menu's last entry.
    auto last = std::find_if(bar->entries.rbegin(), bar->entries.rend(),
                             [&](const HeadlessMenuItem& e) { return e.menu == menu; });
    position = last == bar->entries.rend()
                   ? std::find_if(bar->entries.begin(), bar->entries.end(),
                                  [&](const HeadlessMenuItem& e) { return e.id == menu; }) + 1
                   : last.base();
  }
  bar->entries.insert(position, std::move(item));
  return id;
}

// --- Graphs ---------------------------------------------------------------------------

HeadlessControl* HeadlessUi::GraphControl(int panel, int control, const char* call) {
  HeadlessControl* c = LiveControl(panel, control, call);
  if (c != nullptr && c->spec.type != CtrlType::Graph && c->spec.type != CtrlType::StripChart) {
    Problem(std::string(call) + ": control " + std::to_string(control) + " is not a graph");
    return nullptr;
  }
  return c;
}

int HeadlessUi::PlotXY(int panel, int control, std::span<const double> x,
                       std::span<const double> y, const PlotAttributes& attributes) {
  HeadlessControl* c = GraphControl(panel, control, "PlotXY");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  if (c->spec.type != CtrlType::Graph || x.empty() || x.size() != y.size()) {
    Problem("PlotXY: bad control or point count for control " + std::to_string(control));
    return kBadArgument;
  }
  int handle = 0;
  if (x.size() == 2 && PlotContinuation::Continues(attributes)) {
    handle = c->continuation.Find(attributes, x[0], y[0]);
  }
  auto plot = std::find_if(c->plots.begin(), c->plots.end(),
                           [&](const HeadlessPlot& p) { return p.handle == handle; });
  if (handle != 0 && plot != c->plots.end()) {
    plot->x.push_back(x[1]);
    plot->y.push_back(y[1]);
  } else {
    handle = nextPlot_++;
    c->plots.push_back(HeadlessPlot{handle, {x.begin(), x.end()}, {y.begin(), y.end()}, attributes});
  }
  if (PlotContinuation::Continues(attributes)) {
    c->continuation.SetEnd(handle, attributes, x.back(), y.back());
  }
  c->plotCalls.push_back(PlotCall{handle, {x.begin(), x.end()}, {y.begin(), y.end()}, attributes});
  Autoscale(*c);
  return handle;
}

int HeadlessUi::DeleteGraphPlot(int panel, int control, int plot, DrawMode) {
  HeadlessControl* c = GraphControl(panel, control, "DeleteGraphPlot");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  ++c->deletions;
  if (plot == kAllPlots) {
    c->plots.clear();
    c->continuation.Clear();
    return 0;
  }
  auto it = std::find_if(c->plots.begin(), c->plots.end(),
                         [&](const HeadlessPlot& p) { return p.handle == plot; });
  if (it == c->plots.end()) return kBadArgument;
  c->plots.erase(it);
  c->continuation.Remove(plot);
  return 0;
}

int HeadlessUi::SetAxisRange(int panel, int control, AxisMode xMode, double xMin, double xMax,
                             AxisMode yMode, double yMin, double yMax) {
  HeadlessControl* c = GraphControl(panel, control, "SetAxisRange");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  if (c->spec.type == CtrlType::StripChart && xMode != AxisMode::NoChange) {
    Problem("SetAxisRange: the X axis of a strip chart cannot be set");
    return kBadArgument;
  }
  auto apply = [](AxisMode mode, double lo, double hi, AxisMode& current, double& min, double& max) {
    if (mode == AxisMode::NoChange) return true;
    if (mode == AxisMode::Manual) {
      if (!(lo < hi) || !std::isfinite(lo) || !std::isfinite(hi)) return false;
      min = lo;
      max = hi;
    }
    current = mode;
    return true;
  };
  AxisMode newX = c->xMode, newY = c->yMode;
  double x0 = c->xMin, x1 = c->xMax, y0 = c->yMin, y1 = c->yMax;
  if (!apply(xMode, xMin, xMax, newX, x0, x1) || !apply(yMode, yMin, yMax, newY, y0, y1)) {
    Problem("SetAxisRange: empty or inverted range for control " + std::to_string(control));
    return kBadArgument;
  }
  c->xMode = newX;
  c->yMode = newY;
  c->xMin = x0;
  c->xMax = x1;
  c->yMin = y0;
  c->yMax = y1;
  Autoscale(*c);
  return 0;
}

int HeadlessUi::GetAxisRange(int panel, int control, AxisMode& xMode, double& xMin, double& xMax,
                             AxisMode& yMode, double& yMin, double& yMax) {
  HeadlessControl* c = GraphControl(panel, control, "GetAxisRange");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  Autoscale(*c);
  xMode = c->xMode;
  xMin = c->xMin;
  xMax = c->xMax;
  yMode = c->yMode;
  yMin = c->yMin;
  yMax = c->yMax;
  return 0;
}

int HeadlessUi::RefreshGraph(int panel, int control) {
  HeadlessControl* c = GraphControl(panel, control, "RefreshGraph");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  ++c->refreshes;
  return 0;
}

int HeadlessUi::SaveGraphImage(int panel, int control, std::string_view path) {
  HeadlessControl* c = GraphControl(panel, control, "SaveGraphImage");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  printJobs_.push_back(PrintRecord{panels_.at(panel).resourceId, control, std::string(path), {}, {}});
  return 0;
}

int HeadlessUi::ExportGraphImage(int panel, int control, std::string_view path,
                                 const GraphPicture& picture) {
  HeadlessControl* c = GraphControl(panel, control, "ExportGraphImage");
  if (c == nullptr) return panels_.contains(panel) ? kBadArgument : kBadPanel;
  GraphPicture shown = picture;
  if (shown.xName.empty()) shown.xName = c->xName;
  if (shown.yName.empty()) shown.yName = c->yName;
  printJobs_.push_back(PrintRecord{panels_.at(panel).resourceId, control, std::string(path), {}, std::move(shown)});
  return 0;
}

// --- Panel state and printing ------------------------------------------------------------

PanelState HeadlessUi::GatherState(const HeadlessPanel& panel) const {
  PanelState state;
  state.resourceId = panel.resourceId;
  if (const PanelSpec* spec = resources_.FindPanel(panel.resourceId)) state.name = spec->name;
  for (const auto& [id, control] : panel.controls) {
    ControlState saved;
    saved.id = id;
    const CtrlType type = control.spec.type;
    if (IsList(type)) {
      if (control.index >= 0) saved.value = control.items[static_cast<std::size_t>(control.index)].value;
    } else if (!HasNoValue(type) && type != CtrlType::Button) {
      saved.value = control.value;
    }
    if (type == CtrlType::Toggle) saved.label = control.label;
    if (type == CtrlType::Graph) {
      saved.graph = true;
      for (const HeadlessPlot& plot : control.plots) {
        saved.plots.push_back(PlotState{plot.attributes, plot.x, plot.y});
      }
    }
    if (type == CtrlType::StripChart) {
      saved.strip = true;
      saved.stripTraces = control.stripTraceCount;
      saved.stripPoints = control.stripPoints;
      for (int k = 0; k < control.stripTraceCount; ++k) {
        ControlState::Trace trace;
        if (auto it = control.traceAttributes.find(k); it != control.traceAttributes.end()) {
          if (auto color = it->second.find(Attr::TraceColor); color != it->second.end())
            trace.color = CtrlValueInt(color->second).value_or(0) & 0xFFFFFF;
          if (auto shown = it->second.find(Attr::TraceVisible); shown != it->second.end())
            trace.visible = CtrlValueInt(shown->second).value_or(1) != 0;
        }
        saved.stripStyles.push_back(trace);
      }
    }
    if (type == CtrlType::Graph || type == CtrlType::StripChart) {
      saved.axes = AxisState{control.xMode, control.xMin, control.xMax,
                             control.yMode, control.yMin, control.yMax};
    }
    state.controls.push_back(std::move(saved));
  }
  return state;
}

int HeadlessUi::SavePanelState(int panel, std::string_view path, int index) {
  HeadlessPanel* p = LivePanel(panel, "SavePanelState");
  if (p == nullptr) return kBadPanel;
  for (auto& [id, control] : p->controls) Autoscale(control);
  return WritePanelStateFile(path, index, GatherState(*p));
}

int HeadlessUi::RecallPanelState(int panel, std::string_view path, int index) {
  HeadlessPanel* p = LivePanel(panel, "RecallPanelState");
  if (p == nullptr) return kBadPanel;
  PanelState state;
  if (int result = ReadPanelStateFile(path, index, state); result < 0) return result;
  if (state.resourceId != p->resourceId) return ui_status::kBadStateFile;
  return ApplyPanelState(*this, panel, state);
}

int HeadlessUi::PrintPanel(int panel, const PrintRequest& request) {
  HeadlessPanel* p = LivePanel(panel, "PrintPanel");
  if (p == nullptr) return kBadPanel;
  printJobs_.push_back(PrintRecord{p->resourceId, 0, request.pdfPath, request, {}});
  return 0;
}

// --- Events -------------------------------------------------------------------------

bool HeadlessUi::IsInActivePopup(int handle) const {
  if (popupStack_.empty()) return true;
  const int top = popupStack_.back();
  for (int h = handle; h != 0;) {
    if (h == top) return true;
    auto it = panels_.find(h);
    if (it == panels_.end()) return false;
    h = it->second.parent;
  }
  return false;
}

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
    if (!IsInActivePopup(handle)) {
      ++refusedEvents_;
      Problem("scripted step for " + where + ": another pop-up (panel " +
              std::to_string(panels_.at(popupStack_.back()).resourceId) + ") is active");
      continue;
    }
    HeadlessPanel& panel = panels_.at(handle);

    for (const auto& [id, value] : step.values) {
      auto it = panel.controls.find(id);
      if (it == panel.controls.end()) {
        Problem("scripted value for missing control " + std::to_string(id) + " of panel " +
                std::to_string(step.panelResource));
        continue;
      }
      HeadlessControl& control = it->second;
      if (const char* why = WhyInoperable(control)) {
        ++refusedEvents_;
        Problem("scripted value for control " + std::to_string(id) + " (" + control.spec.name +
                ") refused: " + why);
        continue;
      }
      if (StoreValue(panel, control, value, true) < 0) {
        Problem("scripted value " + Describe(value) + " does not fit control " + std::to_string(id) +
                " (" + control.spec.name + ")");
      }
    }

    HeadlessControl* target = nullptr;
    if (step.control != 0) {
      auto it = panel.controls.find(step.control);
      if (it == panel.controls.end()) {
        ++refusedEvents_;
        Problem("scripted step for " + where + ": no such control");
        continue;
      }
      target = &it->second;
    }

    if (step.listIndex) {
      if (target == nullptr || !IsList(target->spec.type) || *step.listIndex < 0 ||
          *step.listIndex >= static_cast<int>(target->items.size())) {
        ++refusedEvents_;
        Problem("scripted selection for " + where + ": no item " + std::to_string(*step.listIndex));
        continue;
      }
    }

    if (target != nullptr && step.kind == ScriptStep::Kind::Event) {
      if (const char* why = WhyInoperable(*target)) {
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
                    : !IsInActivePopup(handle)                      ? "another pop-up is active"
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
  if (panel == nullptr || !IsInActivePopup(handle)) {
    ++refusedEvents_;
    Problem("scripted " + where + " refused: the panel is not loaded or not active");
    return std::nullopt;
  }
  for (const auto& [id, control] : panel->controls) {
    if (SameKey(control.shortcut, step.key) && WhyInoperable(control) == nullptr) {
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

std::optional<UserEvent> HeadlessUi::TerminationEvent() const {
  if (!terminating_) return std::nullopt;
  if (!popupStack_.empty()) return UserEvent{EventType::Close, popupStack_.back(), 0};
  return UserEvent{EventType::Terminate, 0, 0};
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
    return UserEvent{EventType::Close, popupStack_.empty() ? 0 : popupStack_.back(), 0};
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

int HeadlessUi::UpdatePanel(int panel) {
  if (LivePanel(panel, "UpdatePanel") == nullptr) return kBadPanel;
  ++panelUpdates_[panel];
  return 0;
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
  for (auto it = panels_.rbegin(); it != panels_.rend(); ++it) {
    if (it->second.resourceId == resourceId && (!liveOnly || !it->second.discarded)) {
      return it->first;
    }
  }
  return 0;
}

const HeadlessPanel* HeadlessUi::Panel(int handle) const {
  auto it = panels_.find(handle);
  return it == panels_.end() ? nullptr : &it->second;
}

const HeadlessPanel* HeadlessUi::NewestPanel(int resourceId, bool liveOnly) const {
  return Panel(NewestHandle(resourceId, liveOnly));
}

const HeadlessControl* HeadlessUi::Control(int handle, int control) const {
  const HeadlessPanel* panel = Panel(handle);
  if (panel == nullptr) return nullptr;
  auto it = panel->controls.find(control);
  return it == panel->controls.end() ? nullptr : &it->second;
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
  return std::find(popupStack_.begin(), popupStack_.end(), handle) != popupStack_.end();
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
  if (IsList(c->spec.type)) {
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

const HeadlessMenuBar* HeadlessUi::MenuBar(int handle) const {
  auto it = menuBars_.find(handle);
  return it == menuBars_.end() ? nullptr : &it->second;
}

std::vector<double> HeadlessUi::StripTrace(int handle, int control, int trace) const {
  std::vector<double> points;
  const HeadlessControl* c = Control(handle, control);
  if (c == nullptr || c->stripTraceCount <= 0 || trace < 0 || trace >= c->stripTraceCount) {
    return points;
  }
  for (std::size_t i = static_cast<std::size_t>(trace); i < c->stripPoints.size();
       i += static_cast<std::size_t>(c->stripTraceCount)) {
    points.push_back(c->stripPoints[i]);
  }
  return points;
}

}  // namespace sondrix::platform
