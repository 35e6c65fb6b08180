// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/panel_tree.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace sondrix::platform {
namespace {

using ui_status::kBadArgument;
using ui_status::kBadPanel;

constexpr double kIntLowest = std::numeric_limits<int>::min();
constexpr double kIntHighest = std::numeric_limits<int>::max();

bool HoldsWholeNumbers(CtrlType type) { return type == CtrlType::Int || type == CtrlType::Progress; }

// The first `count` characters of a UTF-8 text (a character is never cut
// in two).
std::string FirstCharacters(const std::string& text, int count) {
  std::size_t end = 0;
  for (int n = 0; n < count && end < text.size(); ++n) {
    ++end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return text.substr(0, end);
}

std::string Describe(const CtrlValue& value) {
  if (const int* i = std::get_if<int>(&value)) return std::to_string(*i);
  if (const double* d = std::get_if<double>(&value)) return std::to_string(*d);
  return "\"" + std::get<std::string>(value) + "\"";
}

std::string Name(const ControlRecord& control) {
  return std::to_string(control.spec.id) + " (" + control.spec.name + ")";
}

bool ValidAxis(AxisMode mode, double lo, double hi) {
  if (mode < AxisMode::NoChange || mode > AxisMode::Lock) return false;
  return mode != AxisMode::Manual || (std::isfinite(lo) && std::isfinite(hi) && lo < hi);
}

// The item of a list that has `value`.
std::optional<int> IndexOfValue(const ControlRecord& control, int value) {
  for (std::size_t i = 0; i < control.items.size(); ++i) {
    if (control.items[i].value == value) return static_cast<int>(i);
  }
  return std::nullopt;
}

bool InRange(const ControlRecord& control, int index) {
  return index >= 0 && index < static_cast<int>(control.items.size());
}

}  // namespace

// --- Records ---------------------------------------------------------------------------

ControlRecord::ControlRecord(const ControlSpec& s) : spec(s) {
  value = spec.value;
  label = spec.label;
  dimmed = spec.dimmed;
  visible = spec.visible;
  mode = spec.mode;
  top = spec.top;
  left = spec.left;
  width = spec.width;
  height = spec.height;
  textColor = spec.textColor;
  backColor = spec.backColor;
  shortcut = spec.shortcut;
  min = spec.min;
  max = spec.max;
  for (const ListItemSpec& item : spec.items) items.push_back({item.label, item.value, false});
  index = items.empty() ? -1 : 0;
  xName = spec.xLabel;
  yName = spec.yLabel;
  if (IsStrip()) {
    stripTraceCount = std::clamp(spec.traces, 1, kMaxStripTraces);
    traces.resize(static_cast<std::size_t>(stripTraceCount));
    pointsPerScreen = std::max(spec.points, 1);
  }
}

bool ControlRecord::IsNumeric() const {
  return spec.type == CtrlType::Int || spec.type == CtrlType::Double || spec.type == CtrlType::Progress;
}

double ControlRecord::Lowest() const {
  if (min) return *min;
  if (spec.type == CtrlType::Progress) return 0.0;
  return spec.type == CtrlType::Int ? kIntLowest : std::numeric_limits<double>::lowest();
}

double ControlRecord::Highest() const {
  if (max) return *max;
  if (spec.type == CtrlType::Progress) return 100.0;
  return spec.type == CtrlType::Int ? kIntHighest : std::numeric_limits<double>::max();
}

const char* ControlRecord::WhyInoperable() const {
  if (dimmed) return "dimmed";
  if (!visible) return "hidden";
  if (mode == CtrlMode::Indicator) return "indicator";
  const CtrlType type = spec.type;
  if ((type == CtrlType::TextMsg || type == CtrlType::Decoration || type == CtrlType::Progress) &&
      mode != CtrlMode::Hot) {
    return "not an input";
  }
  return nullptr;
}

MenuItemRecord* MenuBarRecord::Find(int id) {
  for (MenuItemRecord& item : entries) {
    if (item.id == id && id != 0) return &item;
  }
  return nullptr;
}

const MenuItemRecord* MenuBarRecord::Find(int id) const {
  return const_cast<MenuBarRecord*>(this)->Find(id);
}

ControlRecord* PanelRecord::Find(int control) const {
  auto it = controls.find(control);
  return it == controls.end() ? nullptr : it->second.get();
}

PanelTree::PanelTree() : resources_(LoadProgramUir(resourceError_)) {}

PanelTree::PanelTree(UirFile resources) : resources_(std::move(resources)) {}

PanelTree::~PanelTree() = default;

std::unique_ptr<PanelRecord> PanelTree::MakePanel() { return std::make_unique<PanelRecord>(); }

std::unique_ptr<ControlRecord> PanelTree::MakeControl(const ControlSpec& spec) {
  return std::make_unique<ControlRecord>(spec);
}

std::unique_ptr<MenuBarRecord> PanelTree::MakeMenuBar() { return std::make_unique<MenuBarRecord>(); }

PanelRecord* PanelTree::Live(int panel) const {
  auto it = panels_.find(panel);
  return it == panels_.end() || it->second->discarded ? nullptr : it->second.get();
}

ControlRecord* PanelTree::LiveControl(int panel, int control) const {
  const PanelRecord* p = Live(panel);
  return p == nullptr ? nullptr : p->Find(control);
}

MenuBarRecord* PanelTree::LiveMenuBar(int menuBar) const {
  auto it = menuBars_.find(menuBar);
  return it == menuBars_.end() || it->second->discarded ? nullptr : it->second.get();
}

const PanelRecord* PanelTree::Record(int panel) const {
  auto it = panels_.find(panel);
  return it == panels_.end() ? nullptr : it->second.get();
}

const MenuBarRecord* PanelTree::MenuBarOf(int menuBar) const {
  auto it = menuBars_.find(menuBar);
  return it == menuBars_.end() ? nullptr : it->second.get();
}

PanelRecord* PanelTree::LivePanelOf(int panel, const char* call) {
  PanelRecord* p = Live(panel);
  if (p == nullptr) Misuse(std::string(call) + ": " + std::to_string(panel) + " is not a live panel");
  return p;
}

MenuBarRecord* PanelTree::LiveMenuBarOf(int menuBar, const char* call) {
  MenuBarRecord* bar = LiveMenuBar(menuBar);
  if (bar == nullptr) Misuse(std::string(call) + ": " + std::to_string(menuBar) + " is not a live menu bar");
  return bar;
}

PanelTree::Target PanelTree::Resolve(int panel, int control, const char* call, Kind kind) {
  Target target;
  target.panel = LivePanelOf(panel, call);
  if (target.panel == nullptr) {
    target.status = kBadPanel;
    return target;
  }
  ControlRecord* c = target.panel->Find(control);
  if (c == nullptr) {
    Misuse(std::string(call) + ": panel " + std::to_string(target.panel->resourceId) + " has no control " +
           std::to_string(control));
    target.status = kBadArgument;
    return target;
  }
  const CtrlType type = c->spec.type;
  const char* wanted = nullptr;
  switch (kind) {
    case Kind::Any: break;
    case Kind::List: if (!IsListType(type)) wanted = "a list"; break;
    case Kind::CheckList:
      if (type != CtrlType::ListBox && type != CtrlType::CheckList) wanted = "a list with check marks";
      break;
    case Kind::Graph: if (!c->IsGraph()) wanted = "a graph"; break;
    case Kind::Plot: if (!c->IsGraph() && !c->IsStrip()) wanted = "a graph or strip chart"; break;
    case Kind::Strip: if (!c->IsStrip()) wanted = "a strip chart"; break;
  }
  if (wanted != nullptr) {
    Misuse(std::string(call) + ": control " + Name(*c) + " is not " + wanted);
    target.status = kBadArgument;
    return target;
  }
  target.control = c;
  return target;
}

// --- Pop-ups ----------------------------------------------------------------------------

int PanelTree::GenericMessagePopup(std::string_view title, std::string_view text,
                                   std::span<const std::string> buttons) {
  if (!terminating_) return AskUser(PopupKind::Generic, title, text, buttons);
  // Nobody to ask: the last button, as when the box is closed.
  const int answer = std::max(static_cast<int>(buttons.size()), 1);
  AnsweredForUser(PopupKind::Generic, title, text, buttons, answer);
  return answer;
}

int PanelTree::ConfirmPopup(std::string_view title, std::string_view text) {
  static const std::string kYesNo[] = {"Yes", "No"};
  if (!terminating_) return AskUser(PopupKind::Confirm, title, text, kYesNo) != 0 ? 1 : 0;
  AnsweredForUser(PopupKind::Confirm, title, text, kYesNo, 0);
  return 0;
}

FileSelectResult PanelTree::SelectFile(const FileSelectRequest& request, std::string& path) {
  if (!terminating_) return AskFile(request, path);
  FileAnsweredForUser(request);
  return FileSelectResult::None;
}

int PanelTree::PrintPanel(int panel, const PrintRequest& request) {
  PanelRecord* p = LivePanelOf(panel, "PrintPanel");
  if (p == nullptr) return kBadPanel;
  // The print dialog is a pop-up too.
  if (request.pdfPath.empty() && terminating_) return ui_status::kPrintCancelled;
  return Print(*p, request);
}

void PanelTree::RequestTermination() {
  if (terminating_) return;
  terminating_ = true;
  EndDialogs();
}

// --- Panels ---------------------------------------------------------------------------------

int PanelTree::LoadPanel(int parent, int resourceId) {
  if (parent != 0 && LivePanelOf(parent, "LoadPanel") == nullptr) return kBadPanel;
  const PanelSpec* spec = resources_.FindPanel(resourceId);
  if (spec == nullptr) {
    Misuse("LoadPanel: the resource file has no panel " + std::to_string(resourceId) +
           (resourceError_.empty() ? "" : " (" + resourceError_ + ")"));
    return ui_status::kOutOfMemory;
  }
  std::unique_ptr<PanelRecord> record = MakePanel();
  const int handle = nextHandle_++;
  record->handle = handle;
  record->resourceId = resourceId;
  record->parent = parent;
  record->title = spec->title;
  record->top = spec->top;
  record->left = spec->left;
  record->width = spec->width;
  record->height = spec->height;
  for (const ControlSpec& control : spec->controls) {
    std::unique_ptr<ControlRecord> c = MakeControl(control);
    if (c->IsNumeric()) StoreValue(*c, c->value);  // a bar's default within its ends
    record->controls.emplace(control.id, std::move(c));
    if (control.isDefault) record->activeControl = control.id;
  }
  if (spec->menuBar != 0) {
    if (const MenuBarSpec* barSpec = resources_.FindMenuBar(spec->menuBar)) {
      std::unique_ptr<MenuBarRecord> bar = MakeMenuBar();
      bar->handle = nextHandle_++;
      bar->resourceId = barSpec->id;
      bar->panel = handle;
      auto add = [&bar](auto& self, const std::vector<MenuEntrySpec>& entries, int menu) -> void {
        for (const MenuEntrySpec& entry : entries) {
          bar->entries.push_back(MenuItemRecord{entry.kind, entry.id, menu, entry.name, entry.label,
                                                entry.shortcut, entry.dimmed, entry.checked});
          if (entry.kind == MenuEntrySpec::Kind::Menu) self(self, entry.entries, entry.id);
        }
      };
      add(add, barSpec->menus, 0);
      record->menuBar = bar->handle;
      menuBars_.emplace(bar->handle, std::move(bar));
    }
  }
  PanelRecord& panel = *record;
  panels_.emplace(handle, std::move(record));
  if (const int built = Build(panel, *spec); built < 0) {
    menuBars_.erase(panel.menuBar);
    panels_.erase(handle);
    return built;
  }
  return handle;
}

void PanelTree::DiscardTree(int handle) {
  PanelRecord* panel = Live(handle);
  if (panel == nullptr) return;
  std::vector<int> children;
  for (const auto& [child, record] : panels_) {
    if (record->parent == handle && !record->discarded) children.push_back(child);
  }
  for (const int child : children) DiscardTree(child);
  std::erase(popupStack_, handle);
  const int bar = panel->menuBar;
  std::erase_if(events_, [&](const UserEvent& e) {
    return e.panel == handle || (bar != 0 && e.type == EventType::Menu && e.panel == bar);
  });
  Destroy(*panel);
  panel->discarded = true;
  panel->displayed = false;
  if (auto it = menuBars_.find(bar); it != menuBars_.end()) {
    if (keepDiscarded_) {
      it->second->discarded = true;
    } else {
      menuBars_.erase(it);
    }
  }
  if (!keepDiscarded_) panels_.erase(handle);
}

int PanelTree::DiscardPanel(int panel) {
  if (LivePanelOf(panel, "DiscardPanel") == nullptr) return kBadPanel;
  DiscardTree(panel);
  return 0;
}

int PanelTree::Show(int panel, bool shown, const char* call) {
  PanelRecord* p = LivePanelOf(panel, call);
  if (p == nullptr) return kBadPanel;
  p->displayed = shown;
  shown ? Shown(*p, false) : Hidden(*p, false);
  return 0;
}

int PanelTree::DisplayPanel(int panel) { return Show(panel, true, "DisplayPanel"); }

int PanelTree::HidePanel(int panel) { return Show(panel, false, "HidePanel"); }

int PanelTree::InstallPopup(int panel) {
  PanelRecord* p = LivePanelOf(panel, "InstallPopup");
  if (p == nullptr) return kBadPanel;
  p->displayed = true;
  std::erase(popupStack_, panel);
  popupStack_.push_back(panel);
  Shown(*p, true);
  return 0;
}

int PanelTree::RemovePopup(int panel) {
  // Removing a panel that is not a pop-up (or not a panel) is harmless.
  PanelRecord* p = Live(panel);
  if (p == nullptr || std::find(popupStack_.begin(), popupStack_.end(), panel) == popupStack_.end()) {
    return 0;
  }
  std::erase(popupStack_, panel);
  p->displayed = false;
  Hidden(*p, true);
  return 0;
}

int PanelTree::SetPanelAttribute(int panel, Attr attr, const CtrlValue& value) {
  PanelRecord* p = LivePanelOf(panel, "SetPanelAttribute");
  if (p == nullptr) return kBadPanel;
  if (attr == Attr::Title) {
    const std::string* text = std::get_if<std::string>(&value);
    if (text == nullptr) return kBadArgument;
    p->title = *text;
    PanelChanged(*p, attr);
    return 0;
  }
  const std::optional<int> n = CtrlValueInt(value);
  if (!n) return kBadArgument;
  ReadPlace(*p);
  switch (attr) {
    case Attr::Top: p->top = *n; break;
    case Attr::Left: p->left = *n; break;
    case Attr::Height: p->height = std::max(*n, p->minHeight); break;
    case Attr::Width: p->width = std::max(*n, p->minWidth); break;
    case Attr::MinHeight:
      p->minHeight = std::max(*n, 0);
      p->height = std::max(p->height, p->minHeight);
      break;
    case Attr::MinWidth:
      p->minWidth = std::max(*n, 0);
      p->width = std::max(p->width, p->minWidth);
      break;
    case Attr::Visible: p->displayed = *n != 0; break;
    default:
      Misuse("SetPanelAttribute: attribute not offered for panels");
      return kBadArgument;
  }
  p->height = std::max(p->height, 0);
  p->width = std::max(p->width, 0);
  PanelChanged(*p, attr);
  return 0;
}

int PanelTree::GetPanelAttribute(int panel, Attr attr, CtrlValue& value) {
  PanelRecord* p = LivePanelOf(panel, "GetPanelAttribute");
  if (p == nullptr) return kBadPanel;
  ReadPlace(*p);
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
      Misuse("GetPanelAttribute: attribute not offered for panels");
      return kBadArgument;
  }
}

int PanelTree::GetScreenArea(int panel, ScreenArea& area) {
  PanelRecord* p = LivePanelOf(panel, "GetScreenArea");
  return p == nullptr ? kBadPanel : ScreenAreaOf(*p, area);
}

int PanelTree::UpdatePanel(int panel) {
  PanelRecord* p = LivePanelOf(panel, "UpdatePanel");
  if (p == nullptr) return kBadPanel;
  Paint(*p);
  return 0;
}

// --- Control values ------------------------------------------------------------------------

int PanelTree::StoreValue(ControlRecord& c, const CtrlValue& value) {
  const CtrlType type = c.spec.type;
  if (IsTextType(type)) {
    const std::string* text = std::get_if<std::string>(&value);
    if (text == nullptr) return kBadArgument;
    c.value = c.spec.maxLength > 0 ? FirstCharacters(*text, c.spec.maxLength) : *text;
    return 0;
  }
  if (HasNoValue(type)) return kBadArgument;
  if (type == CtrlType::Double) {
    const std::optional<double> d = CtrlValueDouble(value);
    if (!d) return kBadArgument;
    c.value = std::isnan(*d) ? *d : std::clamp(*d, c.Lowest(), c.Highest());
    return 0;
  }
  const std::optional<int> n = CtrlValueInt(value);
  if (!n) return kBadArgument;
  if (IsListType(type)) {
    const std::optional<int> index = IndexOfValue(c, *n);
    if (!index) return kBadArgument;
    c.index = *index;
    return 0;
  }
  if (IsSwitchType(type)) {
    c.value = *n != 0 ? 1 : 0;
  } else if (HoldsWholeNumbers(type)) {
    // A number shows nothing beyond its range, a bar nothing beyond its ends.
    c.value = static_cast<int>(std::clamp(static_cast<double>(*n), c.Lowest(), c.Highest()));
  } else {
    c.value = *n;
  }
  return 0;
}

bool PanelTree::UserCanEnter(const ControlRecord& c, const CtrlValue& value) {
  if (!c.IsNumeric()) return true;
  const std::optional<double> d = CtrlValueDouble(value);
  return !d || std::isnan(*d) || (*d >= c.Lowest() && *d <= c.Highest());
}

int PanelTree::SetCtrlVal(int panel, int control, const CtrlValue& value) {
  const Target t = Resolve(panel, control, "SetCtrlVal");
  if (t.control == nullptr) return t.status;
  if (StoreValue(*t.control, value) < 0) {
    Misuse("SetCtrlVal: control " + Name(*t.control) + " refused the value " + Describe(value));
    return kBadArgument;
  }
  ValueChanged(*t.panel, *t.control);
  return 0;
}

int PanelTree::GetCtrlVal(int panel, int control, CtrlValue& value) {
  const Target t = Resolve(panel, control, "GetCtrlVal");
  if (t.control == nullptr) return t.status;
  const ControlRecord& c = *t.control;
  if (IsListType(c.spec.type)) {
    if (!InRange(c, c.index)) return kBadArgument;
    value = c.items[static_cast<std::size_t>(c.index)].value;
    return 0;
  }
  if (HasNoValue(c.spec.type)) return kBadArgument;
  value = c.value;
  return 0;
}

int PanelTree::SetActiveCtrl(int panel, int control) {
  const Target t = Resolve(panel, control, "SetActiveCtrl");
  if (t.control == nullptr) return t.status;
  t.panel->activeControl = control;
  Focus(*t.panel, *t.control);
  return 0;
}

// --- Control attributes ------------------------------------------------------------------------

void PanelTree::SetRange(ControlRecord& c, Attr attr, double bound) {
  if (HoldsWholeNumbers(c.spec.type)) bound = std::round(std::clamp(bound, kIntLowest, kIntHighest));
  // The other end moves along rather than leave an empty range.
  if (attr == Attr::MinValue) {
    c.min = bound;
    if (c.Highest() < bound) c.max = bound;
  } else {
    c.max = bound;
    if (c.Lowest() > bound) c.min = bound;
  }
  // The value stays in the range.
  StoreValue(c, c.value);
}

void PanelTree::SetTraceCount(PanelRecord& panel, ControlRecord& c, int traces) {
  // The traces that stay keep their colours.
  c.stripTraceCount = traces;
  c.traces.resize(static_cast<std::size_t>(traces));
  ControlChanged(panel, c, Attr::NumTraces);
}

int PanelTree::SetAttribute(ControlRecord& c, Attr attr, const CtrlValue& value) {
  const bool graph = c.IsGraph() || c.IsStrip();
  auto notOffered = [&] {
    Misuse("SetCtrlAttribute: control " + Name(c) + " does not have that attribute");
    return kBadArgument;
  };
  switch (attr) {
    case Attr::LabelText:
    case Attr::Shortcut:
    case Attr::ToolTip:
    case Attr::XName:
    case Attr::YName: {
      if ((attr == Attr::XName || attr == Attr::YName) && !graph) return notOffered();
      const std::string* text = std::get_if<std::string>(&value);
      if (text == nullptr) return kBadArgument;
      (attr == Attr::LabelText  ? c.label
       : attr == Attr::Shortcut ? c.shortcut
       : attr == Attr::ToolTip  ? c.toolTip
       : attr == Attr::XName    ? c.xName
                                : c.yName) = *text;
      return 0;
    }
    case Attr::MinValue:
    case Attr::MaxValue: {
      if (!c.IsNumeric()) return notOffered();
      const std::optional<double> d = CtrlValueDouble(value);
      if (!d || !std::isfinite(*d)) return kBadArgument;
      SetRange(c, attr, *d);
      return 0;
    }
    default:
      break;
  }
  const std::optional<int> n = CtrlValueInt(value);
  if (!n) return kBadArgument;
  switch (attr) {
    case Attr::Dimmed: c.dimmed = *n != 0; return 0;
    case Attr::Visible: c.visible = *n != 0; return 0;
    case Attr::Top: c.top = *n; return 0;
    case Attr::Left: c.left = *n; return 0;
    case Attr::Height: c.height = std::max(*n, 0); return 0;
    case Attr::Width: c.width = std::max(*n, 0); return 0;
    case Attr::TextColor: c.textColor = *n; return 0;
    case Attr::BackColor: c.backColor = *n; return 0;
    case Attr::CtrlMode:
      if (*n < 0 || *n > 2) return kBadArgument;
      c.mode = static_cast<CtrlMode>(*n);
      return 0;
    case Attr::XDivisions:
    case Attr::YDivisions:
      if (!graph) return notOffered();
      (attr == Attr::XDivisions ? c.xDivisions : c.yDivisions) = *n < 1 ? -1 : *n;
      return 0;
    case Attr::AutoRefresh:
      if (!graph) return notOffered();
      c.autoRefresh = *n != 0;
      return 0;
    case Attr::YReverse:
      if (!graph) return notOffered();
      c.yReverse = *n != 0;
      return 0;
    case Attr::SmoothUpdate:
      if (!c.IsGraph()) return notOffered();
      c.smoothUpdate = *n != 0;
      return 0;
    case Attr::PointsPerScreen:
      if (!c.IsStrip()) return notOffered();
      if (*n < 1) return kBadArgument;
      c.pointsPerScreen = *n;
      return 0;
    default:
      return notOffered();
  }
}

int PanelTree::SetCtrlAttribute(int panel, int control, Attr attr, const CtrlValue& value) {
  const Target t = Resolve(panel, control, "SetCtrlAttribute");
  if (t.control == nullptr) return t.status;
  ControlRecord& c = *t.control;
  if (attr == Attr::NumTraces) {
    const std::optional<int> n = CtrlValueInt(value);
    if (!c.IsStrip() || !n || *n < 1 || *n > kMaxStripTraces) {
      Misuse("SetCtrlAttribute: bad trace count " + Describe(value) + " for control " + Name(c));
      return kBadArgument;
    }
    if (*n != c.stripTraceCount) SetTraceCount(*t.panel, c, *n);
    return 0;
  }
  if (const int status = SetAttribute(c, attr, value); status < 0) return status;
  ControlChanged(*t.panel, c, attr);
  return 0;
}

int PanelTree::GetCtrlAttribute(int panel, int control, Attr attr, CtrlValue& value) {
  const Target t = Resolve(panel, control, "GetCtrlAttribute");
  if (t.control == nullptr) return t.status;
  const ControlRecord& c = *t.control;
  const bool graph = c.IsGraph() || c.IsStrip();
  switch (attr) {
    case Attr::LabelText: value = c.label; return 0;
    case Attr::Dimmed: value = c.dimmed ? 1 : 0; return 0;
    case Attr::Visible: value = c.visible ? 1 : 0; return 0;
    case Attr::Top: value = c.top; return 0;
    case Attr::Left: value = c.left; return 0;
    case Attr::Height: value = c.height; return 0;
    case Attr::Width: value = c.width; return 0;
    case Attr::TextColor: value = c.textColor; return 0;
    case Attr::CtrlMode: value = static_cast<int>(c.mode); return 0;
    case Attr::Shortcut: value = c.shortcut; return 0;
    case Attr::ToolTip: value = c.toolTip; return 0;
    case Attr::BackColor: value = c.backColor.value_or(-1); return 0;
    default: break;
  }
  if ((attr == Attr::MinValue || attr == Attr::MaxValue) && c.IsNumeric()) {
    value = attr == Attr::MinValue ? c.Lowest() : c.Highest();
    return 0;
  }
  if (graph) {
    switch (attr) {
      case Attr::XName: value = c.xName; return 0;
      case Attr::YName: value = c.yName; return 0;
      case Attr::XDivisions: value = c.xDivisions; return 0;
      case Attr::YDivisions: value = c.yDivisions; return 0;
      case Attr::AutoRefresh: value = c.autoRefresh ? 1 : 0; return 0;
      case Attr::YReverse: value = c.yReverse ? 1 : 0; return 0;
      default: break;
    }
  }
  if (attr == Attr::SmoothUpdate && c.IsGraph()) {
    value = c.smoothUpdate ? 1 : 0;
    return 0;
  }
  if ((attr == Attr::NumTraces || attr == Attr::PointsPerScreen) && c.IsStrip()) {
    value = attr == Attr::NumTraces ? c.stripTraceCount : c.pointsPerScreen;
    return 0;
  }
  Misuse("GetCtrlAttribute: control " + Name(c) + " does not have that attribute");
  return kBadArgument;
}

// --- Lists -----------------------------------------------------------------------------------------

int PanelTree::InsertListItem(int panel, int control, int index, std::string_view label, int value) {
  const Target t = Resolve(panel, control, "InsertListItem", Kind::List);
  if (t.control == nullptr) return t.status;
  ControlRecord& c = *t.control;
  const int size = static_cast<int>(c.items.size());
  if (index == -1) index = size;
  if (index < 0 || index > size) return kBadArgument;
  c.items.insert(c.items.begin() + index, ListItem{std::string(label), value, false});
  // The selection stays on its item; an empty list selects its first.
  if (c.index < 0) {
    c.index = 0;
  } else if (index <= c.index) {
    ++c.index;
  }
  ListChanged(*t.panel, c, ListChange::Inserted, index);
  return 0;
}

int PanelTree::ReplaceListItem(int panel, int control, int index, std::string_view label, int value) {
  const Target t = Resolve(panel, control, "ReplaceListItem", Kind::List);
  if (t.control == nullptr) return t.status;
  if (!InRange(*t.control, index)) return kBadArgument;
  ListItem& item = t.control->items[static_cast<std::size_t>(index)];
  item.label = std::string(label);
  item.value = value;
  ListChanged(*t.panel, *t.control, ListChange::Replaced, index);
  return 0;
}

int PanelTree::ClearListCtrl(int panel, int control) {
  const Target t = Resolve(panel, control, "ClearListCtrl", Kind::List);
  if (t.control == nullptr) return t.status;
  t.control->items.clear();
  t.control->index = -1;
  ListChanged(*t.panel, *t.control, ListChange::Cleared, -1);
  return 0;
}

int PanelTree::GetNumListItems(int panel, int control, int& count) {
  const Target t = Resolve(panel, control, "GetNumListItems", Kind::List);
  if (t.control == nullptr) return t.status;
  count = static_cast<int>(t.control->items.size());
  return 0;
}

int PanelTree::GetCtrlIndex(int panel, int control, int& index) {
  const Target t = Resolve(panel, control, "GetCtrlIndex", Kind::List);
  if (t.control == nullptr) return t.status;
  index = t.control->index;
  return 0;
}

int PanelTree::SetCtrlIndex(int panel, int control, int index) {
  const Target t = Resolve(panel, control, "SetCtrlIndex", Kind::List);
  if (t.control == nullptr) return t.status;
  if (!InRange(*t.control, index)) return kBadArgument;
  t.control->index = index;
  ListChanged(*t.panel, *t.control, ListChange::Selected, index);
  return 0;
}

int PanelTree::GetValueFromIndex(int panel, int control, int index, int& value) {
  const Target t = Resolve(panel, control, "GetValueFromIndex", Kind::List);
  if (t.control == nullptr) return t.status;
  if (!InRange(*t.control, index)) return kBadArgument;
  value = t.control->items[static_cast<std::size_t>(index)].value;
  return 0;
}

int PanelTree::IsListItemChecked(int panel, int control, int index, int& checked) {
  const Target t = Resolve(panel, control, "IsListItemChecked", Kind::CheckList);
  if (t.control == nullptr) return t.status;
  if (!InRange(*t.control, index)) return kBadArgument;
  checked = t.control->items[static_cast<std::size_t>(index)].checked ? 1 : 0;
  return 0;
}

int PanelTree::CheckListItem(int panel, int control, int index, int checked) {
  const Target t = Resolve(panel, control, "CheckListItem", Kind::CheckList);
  if (t.control == nullptr) return t.status;
  if (!InRange(*t.control, index)) return kBadArgument;
  t.control->items[static_cast<std::size_t>(index)].checked = checked != 0;
  ListChanged(*t.panel, *t.control, ListChange::Checked, index);
  return 0;
}

// --- Menus --------------------------------------------------------------------------------------

int PanelTree::GetPanelMenuBar(int panel) {
  const PanelRecord* p = LivePanelOf(panel, "GetPanelMenuBar");
  return p == nullptr ? kBadPanel : p->menuBar;
}

int PanelTree::SetMenuBarAttribute(int menuBar, int item, Attr attr, const CtrlValue& value) {
  MenuBarRecord* bar = LiveMenuBarOf(menuBar, "SetMenuBarAttribute");
  if (bar == nullptr) return kBadPanel;
  if (item == -1 && attr == Attr::Dimmed) {
    const std::optional<int> on = CtrlValueInt(value);
    if (!on) return kBadArgument;
    for (MenuItemRecord& entry : bar->entries) {
      if (entry.kind != MenuEntrySpec::Kind::Item) continue;
      entry.dimmed = *on != 0;
      MenuItemChanged(*bar, entry);
    }
    return 0;
  }
  MenuItemRecord* entry = bar->Find(item);
  if (entry == nullptr) {
    Misuse("SetMenuBarAttribute: no menu item " + std::to_string(item));
    return kBadArgument;
  }
  switch (attr) {
    case Attr::Dimmed:
    case Attr::Checked: {
      const std::optional<int> on = CtrlValueInt(value);
      if (!on) return kBadArgument;
      (attr == Attr::Dimmed ? entry->dimmed : entry->checked) = *on != 0;
      break;
    }
    case Attr::LabelText: {
      const std::string* text = std::get_if<std::string>(&value);
      if (text == nullptr) return kBadArgument;
      entry->label = *text;
      break;
    }
    default:
      Misuse("SetMenuBarAttribute: attribute not offered for menu items");
      return kBadArgument;
  }
  MenuItemChanged(*bar, *entry);
  return 0;
}

int PanelTree::GetMenuBarAttribute(int menuBar, int item, Attr attr, CtrlValue& value) {
  const MenuBarRecord* bar = LiveMenuBarOf(menuBar, "GetMenuBarAttribute");
  if (bar == nullptr) return kBadPanel;
  const MenuItemRecord* entry = bar->Find(item);
  if (entry == nullptr) return kBadArgument;
  switch (attr) {
    case Attr::Dimmed: value = entry->dimmed ? 1 : 0; return 0;
    case Attr::Checked: value = entry->checked ? 1 : 0; return 0;
    case Attr::LabelText: value = entry->label; return 0;
    default: return kBadArgument;
  }
}

int PanelTree::InsertMenuItem(int menuBar, int menu, int before, std::string_view label,
                              std::string_view shortcut) {
  MenuBarRecord* bar = LiveMenuBarOf(menuBar, "InsertMenuItem");
  if (bar == nullptr) return kBadPanel;
  const MenuItemRecord* parent = bar->Find(menu);
  if (parent == nullptr || parent->kind != MenuEntrySpec::Kind::Menu) return kBadArgument;
  auto inMenu = [menu](const MenuItemRecord& e) { return e.menu == menu; };
  auto position = bar->entries.end();
  if (before != -1) {
    position = std::find_if(bar->entries.begin(), bar->entries.end(),
                            [&](const MenuItemRecord& e) { return e.id == before && inMenu(e); });
    if (position == bar->entries.end()) return kBadArgument;
  } else {
    // After the menu's last entry (or straight after the menu, when empty).
    auto last = std::find_if(bar->entries.rbegin(), bar->entries.rend(), inMenu);
    position = last != bar->entries.rend()
                   ? last.base()
                   : std::find_if(bar->entries.begin(), bar->entries.end(),
                                  [menu](const MenuItemRecord& e) { return e.id == menu; }) + 1;
  }
  int id = 0;
  for (const MenuItemRecord& entry : bar->entries) id = std::max(id, entry.id);
  ++id;
  position = bar->entries.insert(position, MenuItemRecord{MenuEntrySpec::Kind::Item, id, menu, "",
                                                          std::string(label), std::string(shortcut),
                                                          false, false});
  MenuItemAdded(*bar, *position, before);
  return id;
}

// --- Graphs ----------------------------------------------------------------------------------------

int PanelTree::PlotXY(int panel, int control, std::span<const double> x, std::span<const double> y,
                      const PlotAttributes& attributes) {
  const Target t = Resolve(panel, control, "PlotXY", Kind::Graph);
  if (t.control == nullptr) return t.status;
  ControlRecord& c = *t.control;
  if (x.empty() || x.size() != y.size()) {
    Misuse("PlotXY: bad point count for control " + Name(c));
    return kBadArgument;
  }
  const int handle = nextPlot_++;
  if (const int drawn = SurfaceOf(c).Draw(handle, x, y, attributes); drawn < 0) return drawn;
  c.plotHandles.push_back(handle);
  return handle;
}

int PanelTree::PlotCurve(int panel, int control, std::shared_ptr<const Curve> curve, CurveKeys keys,
                         const PlotAttributes& attributes) {
  const Target t = Resolve(panel, control, "PlotCurve", Kind::Graph);
  if (t.control == nullptr) return t.status;
  ControlRecord& c = *t.control;
  if (!curve) {
    Misuse("PlotCurve: no curve for control " + Name(c));
    return kBadArgument;
  }
  const int handle = nextPlot_++;
  if (const int drawn = SurfaceOf(c).DrawCurve(handle, std::move(curve), keys, attributes); drawn < 0) return drawn;
  c.plotHandles.push_back(handle);
  return handle;
}

int PanelTree::CurvesChanged(int panel, int control) {
  const Target t = Resolve(panel, control, "CurvesChanged", Kind::Plot);
  if (t.control == nullptr) return t.status;
  SurfaceOf(*t.control).CurvesChanged();
  return 0;
}

int PanelTree::DeleteGraphPlot(int panel, int control, int plot, DrawMode) {
  const Target t = Resolve(panel, control, "DeleteGraphPlot", Kind::Graph);
  if (t.control == nullptr) return t.status;
  ControlRecord& c = *t.control;
  if (plot == kAllPlots) {
    c.plotHandles.clear();
  } else {
    auto it = std::find(c.plotHandles.begin(), c.plotHandles.end(), plot);
    if (it == c.plotHandles.end()) return kBadArgument;
    c.plotHandles.erase(it);
  }
  SurfaceOf(c).DeletePlot(plot);
  return 0;
}

int PanelTree::SetAxisRange(int panel, int control, AxisMode xMode, double xMin, double xMax,
                            AxisMode yMode, double yMin, double yMax) {
  const Target t = Resolve(panel, control, "SetAxisRange", Kind::Plot);
  if (t.control == nullptr) return t.status;
  // A strip chart's X axis is its scrolling time.
  if (t.control->IsStrip() && xMode != AxisMode::NoChange) {
    Misuse("SetAxisRange: the X axis of a strip chart cannot be set");
    return kBadArgument;
  }
  if (!ValidAxis(xMode, xMin, xMax) || !ValidAxis(yMode, yMin, yMax)) {
    Misuse("SetAxisRange: empty or inverted range for control " + Name(*t.control));
    return kBadArgument;
  }
  SurfaceOf(*t.control).SetAxes(AxisState{xMode, xMin, xMax, yMode, yMin, yMax});
  return 0;
}

int PanelTree::GetAxisRange(int panel, int control, AxisMode& xMode, double& xMin, double& xMax,
                            AxisMode& yMode, double& yMin, double& yMax) {
  const Target t = Resolve(panel, control, "GetAxisRange", Kind::Plot);
  if (t.control == nullptr) return t.status;
  const AxisState axes = SurfaceOf(*t.control).Axes();
  xMode = axes.xMode;
  xMin = axes.xMin;
  xMax = axes.xMax;
  yMode = axes.yMode;
  yMin = axes.yMin;
  yMax = axes.yMax;
  return 0;
}

int PanelTree::SetTimeScale(int panel, int control, bool onX, std::shared_ptr<const TimeScale> scale) {
  const Target t = Resolve(panel, control, "SetTimeScale", Kind::Plot);
  if (t.control == nullptr) return t.status;
  t.control->timeScale = scale;
  t.control->timeScaleOnX = onX;
  SurfaceOf(*t.control).SetTimeScale(onX, std::move(scale), ShownAxisName(*t.control, onX));
  return 0;
}

int PanelTree::SetKeyBands(int panel, int control, bool onX, std::vector<KeyBand> bands) {
  const Target t = Resolve(panel, control, "SetKeyBands", Kind::Plot);
  if (t.control == nullptr) return t.status;
  if (t.control->keyBands == bands && t.control->keyBandsOnX == onX) return 0;
  t.control->keyBands = std::move(bands);
  t.control->keyBandsOnX = onX;
  SurfaceOf(*t.control).SetKeyBands(onX, t.control->keyBands);
  return 0;
}

int PanelTree::RefreshGraph(int panel, int control) {
  const Target t = Resolve(panel, control, "RefreshGraph", Kind::Plot);
  if (t.control == nullptr) return t.status;
  SurfaceOf(*t.control).Redraw();
  return 0;
}

int PanelTree::SaveGraphImage(int panel, int control, std::string_view path) {
  const Target t = Resolve(panel, control, "SaveGraphImage", Kind::Plot);
  return t.control == nullptr ? t.status : SurfaceOf(*t.control).WriteImage(std::string(path), nullptr);
}

int PanelTree::ExportGraphImage(int panel, int control, std::string_view path, const GraphPicture& picture) {
  const Target t = Resolve(panel, control, "ExportGraphImage", Kind::Plot);
  if (t.control == nullptr) return t.status;
  // An empty caption is the graph's own.
  GraphPicture shown = picture;
  if (shown.xName.empty()) shown.xName = ShownAxisName(*t.control, true);
  if (shown.yName.empty()) shown.yName = ShownAxisName(*t.control, false);
  return SurfaceOf(*t.control).WriteImage(std::string(path), &shown);
}

// --- Strip charts --------------------------------------------------------------------------------

int PanelTree::PlotStripChart(int panel, int control, std::span<const double> points, int traceCount) {
  const Target t = Resolve(panel, control, "PlotStripChart", Kind::Strip);
  if (t.control == nullptr) return t.status;
  if (traceCount < 1 || traceCount > kMaxStripTraces ||
      points.size() % static_cast<std::size_t>(traceCount) != 0) {
    Misuse("PlotStripChart: bad trace or point count for control " + Name(*t.control));
    return kBadArgument;
  }
  if (traceCount != t.control->stripTraceCount) SetTraceCount(*t.panel, *t.control, traceCount);
  return SurfaceOf(*t.control).Append(points, traceCount);
}

int PanelTree::ClearStripChart(int panel, int control) {
  const Target t = Resolve(panel, control, "ClearStripChart", Kind::Strip);
  if (t.control == nullptr) return t.status;
  SurfaceOf(*t.control).Clear();
  return 0;
}

int PanelTree::SetStripCurves(int panel, int control, std::span<const std::shared_ptr<const Curve>> curves) {
  const Target t = Resolve(panel, control, "SetStripCurves", Kind::Strip);
  if (t.control == nullptr) return t.status;
  const bool none = std::any_of(curves.begin(), curves.end(), [](const auto& curve) { return !curve; });
  if (curves.empty() || curves.size() > static_cast<std::size_t>(kMaxStripTraces) || none) {
    Misuse("SetStripCurves: bad curves for control " + Name(*t.control));
    return kBadArgument;
  }
  const int traces = static_cast<int>(curves.size());
  if (traces != t.control->stripTraceCount) SetTraceCount(*t.panel, *t.control, traces);
  return SurfaceOf(*t.control).SetCurves(curves);
}

int PanelTree::SetTraceAttribute(int panel, int control, int trace, Attr attr, const CtrlValue& value) {
  const Target t = Resolve(panel, control, "SetTraceAttribute", Kind::Strip);
  if (t.control == nullptr) return t.status;
  ControlRecord& c = *t.control;
  const std::optional<int> n = CtrlValueInt(value);
  if (trace < 0 || trace >= c.stripTraceCount || !n ||
      (attr != Attr::TraceColor && attr != Attr::TraceVisible)) {
    return kBadArgument;
  }
  TraceStyle& style = c.traces[static_cast<std::size_t>(trace)];
  if (attr == Attr::TraceColor) {
    style.color = *n & 0xFFFFFF;
  } else {
    style.visible = *n != 0;
  }
  TraceChanged(*t.panel, c, trace);
  return 0;
}

// --- Panel state --------------------------------------------------------------------------------

PanelState PanelTree::GatherState(PanelRecord& panel) {
  PanelState state;
  state.resourceId = panel.resourceId;
  if (const PanelSpec* spec = resources_.FindPanel(panel.resourceId)) state.name = spec->name;
  for (auto& [id, record] : panel.controls) {
    ControlRecord& c = *record;
    ControlState saved;
    saved.id = id;
    const CtrlType type = c.spec.type;
    if (IsListType(type)) {
      if (InRange(c, c.index)) saved.value = c.items[static_cast<std::size_t>(c.index)].value;
    } else if (!HasNoValue(type) && type != CtrlType::Button) {
      saved.value = c.value;
    }
    if (type == CtrlType::Toggle) saved.label = c.label;
    if (c.IsGraph()) {
      saved.graph = true;
      saved.plots = SurfaceOf(c).Plots();
    }
    if (c.IsStrip()) {
      saved.strip = true;
      saved.stripTraces = c.stripTraceCount;
      saved.stripPoints = SurfaceOf(c).Points();
      for (const TraceStyle& trace : c.traces) saved.stripStyles.push_back({trace.color, trace.visible});
    }
    if (c.IsGraph() || c.IsStrip()) saved.axes = SurfaceOf(c).Axes();
    state.controls.push_back(std::move(saved));
  }
  return state;
}

int PanelTree::SavePanelState(int panel, std::string_view path, int index) {
  PanelRecord* p = LivePanelOf(panel, "SavePanelState");
  if (p == nullptr) return kBadPanel;
  return WritePanelStateFile(path, index, GatherState(*p));
}

int PanelTree::RecallPanelState(int panel, std::string_view path, int index) {
  PanelRecord* p = LivePanelOf(panel, "RecallPanelState");
  if (p == nullptr) return kBadPanel;
  PanelState state;
  if (const int result = ReadPanelStateFile(path, index, state); result < 0) return result;
  if (state.resourceId != p->resourceId) return ui_status::kBadStateFile;
  return ApplyPanelState(*this, panel, state);
}

// --- Events ---------------------------------------------------------------------------------------

bool PanelTree::Accepts(int panel) const {
  if (popupStack_.empty()) return true;
  const int top = popupStack_.back();
  for (int h = panel; h != 0;) {
    if (h == top) return true;
    const PanelRecord* p = Record(h);
    if (p == nullptr) return false;
    h = p->parent;
  }
  return false;
}

std::optional<UserEvent> PanelTree::TerminationEvent() const {
  if (!terminating_) return std::nullopt;
  if (!popupStack_.empty()) return UserEvent{EventType::Close, popupStack_.back(), 0};
  return UserEvent{EventType::Terminate, 0, 0};
}

void PanelTree::Post(EventType type, int panel, int control) {
  int owner = panel;
  if (type == EventType::Menu) {
    const MenuBarRecord* bar = LiveMenuBar(panel);
    if (bar == nullptr) return;
    owner = bar->panel;
  }
  if (Live(owner) == nullptr || !Accepts(owner)) return;
  events_.push_back(UserEvent{type, panel, control});
}

UserEvent PanelTree::TakeEvent() {
  if (events_.empty()) return TerminationEvent().value_or(UserEvent{});
  const UserEvent event = events_.front();
  events_.pop_front();
  return event;
}

int GraphSurface::Draw(int, std::span<const double>, std::span<const double>, const PlotAttributes&) {
  return kBadArgument;
}
int GraphSurface::DrawCurve(int, std::shared_ptr<const Curve>, CurveKeys, const PlotAttributes&) {
  return kBadArgument;
}
void GraphSurface::DeletePlot(int) {}
std::vector<PlotState> GraphSurface::Plots() const { return {}; }
void GraphSurface::CurvesChanged() {}
void GraphSurface::SetTimeScale(bool, std::shared_ptr<const TimeScale>, const std::string&) {}
void GraphSurface::SetKeyBands(bool, const std::vector<KeyBand>&) {}

std::string ShownAxisName(const ControlRecord& control, bool x) {
  const std::string& own = x ? control.xName : control.yName;
  if (control.timeScale == nullptr || control.timeScaleOnX != x) return own;
  std::string caption = control.timeScale->Caption();
  if (!own.empty()) caption += caption.empty() ? own : "    " + own;
  return caption;
}
int GraphSurface::Append(std::span<const double>, int) { return kBadArgument; }
int GraphSurface::SetCurves(std::span<const std::shared_ptr<const Curve>>) { return kBadArgument; }

// --- Curves as the backends report them ----------------------------------------------------------

CurvePlot::CurvePlot(std::shared_ptr<const Curve> curve, CurveKeys keys, const PlotAttributes& attributes)
    : curve_(std::move(curve)), keys_(keys), attributes_(attributes) {
  firstTwice_ = curve_->size() < 2;
  revision_ = curve_->Revision();
}

bool CurvePlot::Update() {
  if (curve_->Revision() == revision_) return false;
  revision_ = curve_->Revision();
  firstTwice_ = curve_->size() < 2;
  return true;
}

std::size_t CurvePlot::size() const {
  const std::size_t n = curve_->size();
  return firstTwice_ && n > 0 ? n + 1 : n;
}

std::pair<double, double> CurvePlot::Point(std::size_t k) const {
  const std::size_t i = firstTwice_ && k > 0 ? k - 1 : k;
  const double key = curve_->Key(i), value = curve_->Value(i);
  return keys_ == CurveKeys::OnY ? std::pair(value, key) : std::pair(key, value);
}

PlotState CurvePlot::State() const {
  PlotState state{attributes_, {}, {}};
  const std::size_t n = size();
  state.x.reserve(n);
  state.y.reserve(n);
  for (std::size_t k = 0; k < n; ++k) {
    const auto [x, y] = Point(k);
    state.x.push_back(x);
    state.y.push_back(y);
  }
  return state;
}

std::vector<double> StripCurvePoints(std::span<const std::shared_ptr<const Curve>> curves, int pointsPerScreen) {
  std::vector<double> out;
  if (curves.empty()) return out;
  std::size_t n = curves[0]->size();
  for (const auto& curve : curves) n = std::min(n, curve->size());
  const std::size_t shown = std::min(n, static_cast<std::size_t>(std::max(pointsPerScreen, 1)) + 1);
  out.reserve(shown * curves.size());
  for (std::size_t i = n - shown; i < n; ++i) {
    for (const auto& curve : curves) out.push_back(curve->Value(curve->size() - n + i));
  }
  return out;
}
void GraphSurface::Clear() {}
std::vector<double> GraphSurface::Points() const { return {}; }

// --- Hooks a backend may leave as they are ----------------------------------------------------------

void PanelTree::Misuse(std::string) {}
int PanelTree::Build(PanelRecord&, const PanelSpec&) { return 0; }
void PanelTree::Destroy(PanelRecord&) {}
void PanelTree::Shown(PanelRecord&, bool) {}
void PanelTree::Hidden(PanelRecord&, bool) {}
void PanelTree::PanelChanged(PanelRecord&, Attr) {}
void PanelTree::ReadPlace(PanelRecord&) {}
void PanelTree::Paint(PanelRecord&) {}
void PanelTree::ControlChanged(PanelRecord&, ControlRecord&, Attr) {}
void PanelTree::ValueChanged(PanelRecord&, ControlRecord&) {}
void PanelTree::ListChanged(PanelRecord&, ControlRecord&, ListChange, int) {}
void PanelTree::Focus(PanelRecord&, ControlRecord&) {}
void PanelTree::TraceChanged(PanelRecord&, ControlRecord&, int) {}
void PanelTree::MenuItemChanged(MenuBarRecord&, const MenuItemRecord&) {}
void PanelTree::MenuItemAdded(MenuBarRecord&, const MenuItemRecord&, int) {}
void PanelTree::AnsweredForUser(PopupKind, std::string_view, std::string_view, std::span<const std::string>,
                                int) {}
void PanelTree::FileAnsweredForUser(const FileSelectRequest&) {}
void PanelTree::EndDialogs() {}

}  // namespace sondrix::platform
