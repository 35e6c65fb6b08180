// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/strip.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "common/c_locale.h"
#include "common/panels.h"
#include "common/text_format.h"
#include "common/utils.h"
#include "display/display.h"
#include "session/run_history.h"

namespace sondrix {
namespace {

using platform::AxisMode;

// The most points per screen following asks of the chart.
constexpr int kMaxFollowPoints = 100000;

// "2nd", "3rd", "4th", "11th", "21st", ...
std::string Ordinal(int n) {
  const char* suffix = "th";
  if (n % 100 < 11 || n % 100 > 13) {
    if (n % 10 == 1) suffix = "st";
    if (n % 10 == 2) suffix = "nd";
    if (n % 10 == 3) suffix = "rd";
  }
  return std::to_string(n) + suffix;
}

}  // namespace

Strip::Strip(int panel, int control, int menuItem)
    : control_{panel, control, menuItem}, caption_(platform::ui().TextAttribute(panel, control, platform::Attr::XName)) {}

Strip::~Strip() { Strip::Hide(); }

int Strip::GetType() { return graph_type::kStrip; }
int Strip::GetMenu() { return control_.menuItem; }
void Strip::SetDefaults() { s_ = StripSettings{}; }
Status Strip::Hide() { return control_.SetVisible(false); }
Status Strip::Show() { return control_.SetVisible(true); }

int Strip::ChartStep(int visibleCount) {
  constexpr int kMax = platform::kMaxStripTraces;
  return visibleCount <= kMax ? 1 : (visibleCount + kMax - 1) / kMax;
}

int Strip::PointsPerScreen(int scrollSpeed) {
  return static_cast<int>(std::lround(9999.0 / std::max(scrollSpeed, 1)));
}

Status Strip::DeletePlots() {
  platform::ui().ClearStripChart(control_.panel, control_.control);
  return status::kOk;
}

// The X axis of a strip chart is its scrolling time: never set.
void Strip::ConfigAxes(AxisMode, AxisMode yMode) {
  platform::ui().SetAxisRange(control_.panel, control_.control, AxisMode::NoChange, 0.0, 0.0, yMode,
                              s_.yMin, s_.yMax);
}

Graph::ValueAxis Strip::GetValueAxis() { return {&s_.yMin, &s_.yMax, true}; }

Status Strip::SetConfig(int) {
  ConfigAxes(AxisMode::Manual, AxisMode::Manual);
  SetPoints(PointsPerScreen(s_.scrollSpeed));
  return status::kOk;
}

// A refused range keeps the dialog open and is not stored.
Status Strip::UserConfigure() {
  platform::Ui& ui = platform::ui();
  auto fill = [&](int dialog) {
    ui.SetCtrlVal(dialog, panels::kSsYMin, s_.yMin);
    ui.SetCtrlVal(dialog, panels::kSsYMax, s_.yMax);
    ui.SetCtrlVal(dialog, panels::kSsScrollSpeed, s_.scrollSpeed);
    FillFollowControls(dialog, panels::kSsFollowAxis, panels::kSsFollowMinutes, panels::kSsWholeRun,
                       panels::kSsFollowValues);
    DimFollowControls(dialog, panels::kSsFollowAxis, panels::kSsFollowMinutes, panels::kSsWholeRun);
  };
  return RunDialog(panels::kStripSettings, fill, [&](int dialog, int control) {
    if (control == panels::kSsCancel) return DialogStep::Cancel;
    if (control == panels::kSsFollowAxis || control == panels::kSsWholeRun) {
      DimFollowControls(dialog, panels::kSsFollowAxis, panels::kSsFollowMinutes, panels::kSsWholeRun);
      return DialogStep::Continue;
    }
    if (control != panels::kSsOk) return DialogStep::Continue;
    const double yMax = ui.GetCtrlDouble(dialog, panels::kSsYMax);
    const double yMin = ui.GetCtrlDouble(dialog, panels::kSsYMin);
    if (!ValidRange(yMin, yMax)) {
      RangeMessage("Ymax is not greater than\nYmin.");
      return DialogStep::Continue;
    }
    FollowSettings follow;
    if (!ReadFollowControls(dialog, panels::kSsFollowAxis, panels::kSsFollowMinutes, panels::kSsWholeRun,
                            panels::kSsFollowValues, follow)) {
      return DialogStep::Continue;
    }
    s_.yMax = yMax;
    s_.yMin = yMin;
    s_.scrollSpeed = std::max(ui.GetCtrlInt(dialog, panels::kSsScrollSpeed), 1);
    follow_ = follow;
    return DialogStep::Ok;
  });
}

Status Strip::ReadConfig(std::FILE* file) {
  return ReadGraphSettings<StripSettings>(
      file, s_,
      [file](StripSettings& read) {
        return std::fscanf(file, "%lf %lf %d", &read.yMin, &read.yMax, &read.scrollSpeed) == 3 &&
               ValidRange(read.yMin, read.yMax) && read.scrollSpeed >= 1;
      },
      [this] { SetDefaults(); });
}

Status Strip::WriteConfig(std::FILE* file) {
  const ScopedCLocale cLocale;
  if (std::fprintf(file, "%.5lf\t%.5lf\t%d\t; strip chart state\n", s_.yMin, s_.yMax,
                   s_.scrollSpeed) < 0) {
    return status::kCantWriteConfig;
  }
  return status::kOk;
}

Status Strip::InitPlot(Display& display, int traceCount) {
  const bool shown = control_.IsVisible();
  if (shown) control_.SetVisible(false);
  platform::ui().ClearStripChart(control_.panel, control_.control);
  SetUpTraces(display, traceCount);
  curvesDrawn_ = false;
  drawnAdded_ = 0;
  if (shown) control_.SetVisible(true);
  return status::kOk;
}

void Strip::SetUpTraces(Display& display, int traceCount) {
  platform::Ui& ui = platform::ui();
  const int n = std::min(traceCount, kMaxTraces);
  // The visible traces as the chart sees them (those below the trace count).
  int visible = 0;
  for (int i = 0; i < n; ++i) visible += display.visible(i) ? 1 : 0;
  step_ = ChartStep(visible);
  const int v = (visible + step_ - 1) / step_;
  if (v > 0) ui.SetCtrlAttribute(control_.panel, control_.control, platform::Attr::NumTraces, v);
  // Chart trace k is visible trace k × step.
  traces_.clear();
  int j = 0;
  std::string firstHeading, lastHeading;
  for (int i = 0; i < n && static_cast<int>(traces_.size()) < v; ++i) {
    if (!display.visible(i)) continue;
    if (j++ % step_ != 0) continue;
    const int k = static_cast<int>(traces_.size());
    ui.SetTraceAttribute(control_.panel, control_.control, k, platform::Attr::TraceColor,
                         display.TraceRGB(i));
    ui.SetTraceAttribute(control_.panel, control_.control, k, platform::Attr::TraceVisible, 1);
    if (step_ > 1 && display.source() != nullptr) {
      std::string heading;
      display.source()->GetHeading(i, heading);
      (k == 0 ? firstHeading : lastHeading) = heading;
    }
    traces_.push_back(i);
  }
  note_.clear();
  if (step_ > 1) {
    note_ = Format("Charting %d of %d traces, every %s", v, visible, Ordinal(step_).c_str());
    if (!firstHeading.empty() && !lastHeading.empty())
      note_ += Format(": %s \u2026 %s", firstHeading.c_str(), lastHeading.c_str());
  }
  std::string caption = caption_;
  if (!note_.empty()) caption = caption.empty() ? note_ : caption + "    " + note_;
  ui.SetCtrlAttribute(control_.panel, control_.control, platform::Attr::XName, caption);
}

// Every bin the history adds is the chart's next point.
Status Strip::Plot(Display& display, const SourceLine&) {
  const std::size_t added = display.history().added();
  if (added == drawnAdded_) return status::kOk;
  drawnAdded_ = added;
  if (!curvesDrawn_) return Refill(display);
  const int result = platform::ui().CurvesChanged(control_.panel, control_.control);
  return result < 0 ? result : status::kOk;
}

// --- Following ---------------------------------------------------------------------------

bool Strip::HasTimeAxis() const { return true; }
bool Strip::HasFollowAxis() const { return true; }

void Strip::AdoptShownRanges() {
  if (const std::optional<AxisRange> y = GetShownRanges(control_).y) {
    s_.yMin = y->lo;
    s_.yMax = y->hi;
  }
}

void Strip::SetPoints(int points) {
  points_ = points;
  platform::ui().SetCtrlAttribute(control_.panel, control_.control, platform::Attr::PointsPerScreen, points);
}

// N minutes at the rate the run has drawn its bins so far (the scroll
// speed's points until two bins tell the rate), or every bin of the run.
int Strip::WantedPoints(const RunHistory& history) const {
  const int fixed = points_ > 0 ? points_ : PointsPerScreen(s_.scrollSpeed);
  if (follow_.axis == 0) return PointsPerScreen(s_.scrollSpeed);
  if (follow_.wholeRun != 0) return std::clamp(static_cast<int>(std::min<std::size_t>(history.size(), kMaxFollowPoints)), 2, kMaxFollowPoints);
  if (history.added() < 2) return fixed;
  const double span = static_cast<double>(history.time(history.size() - 1) - history.time(0));
  if (!(span > 0.0)) return fixed;
  const double msPerBin = span / static_cast<double>(history.added() - 1);
  const double points = follow_.minutes * 60000.0 / msPerBin;
  return static_cast<int>(std::clamp(std::lround(points), 2L, static_cast<long>(kMaxFollowPoints)));
}

Status Strip::Refill(Display& display) {
  const RunHistory& history = display.history();
  drawnAdded_ = history.added();
  curvesDrawn_ = false;
  if (history.empty() || traces_.empty()) {
    platform::ui().ClearStripChart(control_.panel, control_.control);
    return status::kOk;
  }
  std::vector<std::shared_ptr<const platform::Curve>> curves;
  curves.reserve(traces_.size());
  for (const int trace : traces_) curves.push_back(history.TraceCurve(trace, RunHistory::Keys::Index));
  const int result = platform::ui().SetStripCurves(control_.panel, control_.control, curves);
  curvesDrawn_ = result >= 0;
  if (result == status::kUiOutOfMemory) return status::kOutOfMemory;
  return result < 0 ? result : status::kOk;
}

Status Strip::Rebuild(Display& display) {
  // The charted traces of those the history holds.
  SetUpTraces(display, std::min(display.traceCount(), display.history().traceCount()));
  if (!suspended_) SetPoints(WantedPoints(display.history()));
  return Refill(display);
}

void Strip::Follow(Display& display) {
  if (suspended_) return;
  const RunHistory& history = display.history();
  if (history.empty()) return;
  bool fresh = false;
  if (follow_.axis != 0) {
    const int want = WantedPoints(history);
    if (follow_.wholeRun != 0) {
      // The chart holds every bin since it was filled: it only widens.
      if (want != points_) SetPoints(want);
    } else if (!followed_ || points_ <= 0 || std::abs(want - points_) * 10 > points_) {
      // A rate that settles moves the width only when it is a tenth off;
      // a wider chart shows more of the history at once, so that no part
      // of it stays empty.
      SetPoints(want);
      fresh = true;
    }
    followed_ = true;
  }
  if (follow_.values == 0) return;
  const std::size_t n = history.size();
  const std::size_t from = n - std::min<std::size_t>(n, static_cast<std::size_t>(std::max(points_, 1)));
  const AxisRange data = ShownValues(history, traces_, from, n, fresh);
  if (const std::optional<AxisRange> y = values_.Update(data.lo, data.hi, history.time(n - 1), false)) {
    platform::ui().SetAxisRange(control_.panel, control_.control, AxisMode::NoChange, 0.0, 0.0, AxisMode::Manual,
                                y->lo, y->hi);
    followed_ = true;
  }
}

}  // namespace sondrix
