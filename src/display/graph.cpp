// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/graph.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/text_format.h"
#include "display/graph_control.h"
#include "session/run_history.h"

namespace sondrix {

int Graph::GetType() { return graph_type::kGraph; }
Status Graph::UserConfigure() { return status::kGraphNoUserConfigure; }
void Graph::ConfigAxes(platform::AxisMode, platform::AxisMode) {}

void Graph::XBounds(double low, double high) {
  const ValueAxis axis = GetValueAxis();
  if (axis.low == nullptr || axis.high == nullptr) return;
  *axis.low = low;
  *axis.high = high;
  ShowValueAxis(axis);
}

void Graph::XZoom(double factor) {
  const ValueAxis axis = GetValueAxis();
  if (axis.low == nullptr || axis.high == nullptr) return;
  if (ZoomRange(*axis.low, *axis.high, factor)) ShowValueAxis(axis);
}

void Graph::XMove(double fraction) {
  const ValueAxis axis = GetValueAxis();
  if (axis.low == nullptr || axis.high == nullptr) return;
  MoveRange(*axis.low, *axis.high, fraction);
  ShowValueAxis(axis);
}

Graph::ValueAxis Graph::GetValueAxis() { return {}; }

void Graph::ShowValueAxis(const ValueAxis& axis) {
  using platform::AxisMode;
  ConfigAxes(axis.isY ? AxisMode::Lock : AxisMode::Manual, axis.isY ? AxisMode::Manual : AxisMode::Lock);
}

Status Graph::SetConfig(int) { return status::kGraphNoSetConfig; }
void Graph::SetDefaults() {}
Status Graph::Hide() { return status::kGraphNoHide; }
Status Graph::Show() { return status::kGraphNoShow; }
Status Graph::ReadConfig(std::FILE*) { return status::kGraphNoReadConfig; }
Status Graph::WriteConfig(std::FILE*) { return status::kGraphNoWriteConfig; }
Status Graph::InitPlot(Display&, int) { return status::kGraphNoInitPlot; }
Status Graph::Plot(Display&, const SourceLine&) { return status::kGraphNoPlot; }
Status Graph::DeletePlots() { return status::kGraphNoDeletePlots; }
int Graph::GetMenu() { return status::kGraphNoGetMenu; }
Graph::~Graph() = default;

Status Graph::Rebuild(Display&) { return status::kOk; }
void Graph::Follow(Display&) {}
bool Graph::HasTimeAxis() const { return false; }
bool Graph::HasFollowAxis() const { return false; }
void Graph::AdoptShownRanges() {}

void Graph::ResetFollowState() {
  values_.Reset();
  followed_ = false;
  scanned_ = false;
}

void Graph::SuspendFollow() {
  if (suspended_) return;
  if (followed_) AdoptShownRanges();
  suspended_ = true;
}

void Graph::ResumeFollow() {
  suspended_ = false;
  ResetFollowState();
}

void Graph::FillFollowControls(int dialog, int axis, int minutes, int wholeRun, int values) {
  platform::Ui& ui = platform::ui();
  ui.SetCtrlVal(dialog, axis, follow_.axis);
  ui.SetCtrlVal(dialog, minutes, follow_.minutes);
  ui.SetCtrlVal(dialog, wholeRun, follow_.wholeRun);
  ui.SetCtrlVal(dialog, values, follow_.values);
  const bool time = HasTimeAxis();
  ui.SetCtrlAttribute(dialog, axis, platform::Attr::Visible, HasFollowAxis() ? 1 : 0);
  ui.SetCtrlAttribute(dialog, minutes, platform::Attr::Visible, time ? 1 : 0);
  ui.SetCtrlAttribute(dialog, wholeRun, platform::Attr::Visible, time ? 1 : 0);
}

void Graph::DimFollowControls(int dialog, int axis, int minutes, int wholeRun) {
  platform::Ui& ui = platform::ui();
  const bool follows = ui.GetCtrlInt(dialog, axis) != 0;
  const bool whole = ui.GetCtrlInt(dialog, wholeRun) != 0;
  ui.SetCtrlAttribute(dialog, wholeRun, platform::Attr::Dimmed, follows ? 0 : 1);
  ui.SetCtrlAttribute(dialog, minutes, platform::Attr::Dimmed, follows && !whole ? 0 : 1);
}

bool Graph::ReadFollowControls(int dialog, int axis, int minutes, int wholeRun, int values,
                               FollowSettings& out) {
  platform::Ui& ui = platform::ui();
  out = follow_;
  out.values = ui.GetCtrlInt(dialog, values) != 0 ? 1 : 0;
  if (HasFollowAxis()) out.axis = ui.GetCtrlInt(dialog, axis) != 0 ? 1 : 0;
  if (!HasTimeAxis()) return true;
  out.wholeRun = ui.GetCtrlInt(dialog, wholeRun) != 0 ? 1 : 0;
  const double window = ui.GetCtrlDouble(dialog, minutes);
  FollowSettings check = out;
  check.minutes = window;
  if (check.Valid()) {
    out.minutes = window;
    return true;
  }
  // Minutes that are not used (dimmed) keep their last good value.
  if (out.axis == 0 || out.wholeRun != 0) return true;
  RangeMessage(Format("Minutes must be more than 0\nand at most %.0f.", kMaxFollowMinutes));
  return false;
}

namespace {

void Widen(const RunHistory& history, std::span<const int> traces, std::size_t from, std::size_t to,
           AxisRange& range) {
  for (std::size_t k = from; k < to; ++k) {
    for (const int trace : traces) {
      const double v = history.value(k, trace);
      if (!std::isfinite(v)) continue;
      range.lo = std::min(range.lo, v);
      range.hi = std::max(range.hi, v);
    }
  }
}

}  // namespace

AxisRange Graph::ShownValues(const RunHistory& history, std::span<const int> traces, std::size_t from,
                             std::size_t to, bool fresh) {
  const std::size_t n = history.size();
  to = std::min(to, n);
  from = std::min(from, to);
  if (n == 0) return {0.0, -1.0};
  const std::int64_t now = history.time(n - 1);
  const std::size_t added = history.added() - scanAdded_;
  if (fresh || !scanned_ || now < scanAt_ || now - scanAt_ >= kRescanIntervalMs || added > n) {
    scan_ = {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    Widen(history, traces, from, to, scan_);
    scanned_ = true;
    scanAt_ = now;
  } else {
    // Only the entries added since the last look can widen the range.
    Widen(history, traces, std::max(from, n - added), to, scan_);
  }
  scanAdded_ = history.added();
  return scan_;
}

}  // namespace sondrix
