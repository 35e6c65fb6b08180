// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/xy_graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "common/c_locale.h"
#include "common/panels.h"
#include "common/utils.h"
#include "display/display.h"
#include "session/run_history.h"

namespace sondrix {
namespace {

using platform::AxisMode;

// Segments of the XY family: a thin line through dots too small to see.
constexpr platform::PlotAttributes SegmentStyle(int rgb) {
  return {platform::PlotStyle::ThinLine, platform::PointStyle::SimpleDot,
          platform::LineStyle::Solid, 0, rgb};
}

}  // namespace

XYGraph::XYGraph(int panel, int control, int menuItem)
    : control_{panel, control, menuItem}, s_(XYDefaults()) {}

XYGraph::~XYGraph() { XYGraph::Hide(); }

int XYGraph::GetType() { return graph_type::kXY; }
int XYGraph::GetMenu() { return control_.menuItem; }
void XYGraph::SetDefaults() { s_ = XYDefaults(); }
Status XYGraph::Hide() { return control_.SetVisible(false); }
Status XYGraph::Show() { return control_.SetVisible(true); }

void XYGraph::ConfigAxes(AxisMode xMode, AxisMode yMode) {
  platform::ui().SetAxisRange(control_.panel, control_.control, xMode, s_.xMin, s_.xMax, yMode,
                              s_.yMin, s_.yMax);
}

Graph::ValueAxis XYGraph::GetValueAxis() { return {&s_.xMin, &s_.xMax, false}; }

// The graph is redrawn with its stored settings; autoscaled axes keep the
// range autoscaling found. A hidden graph draws nothing, so the main window
// is never hidden while one is configured.
Status XYGraph::SetConfig(int noAutoscale) {
  platform::Ui& ui = platform::ui();
  const int notice = ui.LoadPanel(control_.panel, panels::kBusy);
  if (notice == status::kUiOutOfMemory) return status::kOutOfMemory;
  ui.SetMouseCursor(platform::Cursor::HourGlass);

  ui.SetCtrlAttribute(control_.panel, control_.control, platform::Attr::XDivisions,
                      s_.xAutoDivisions ? -1 : s_.xDivisions);
  ui.SetCtrlAttribute(control_.panel, control_.control, platform::Attr::YDivisions,
                      s_.yAutoDivisions ? -1 : s_.yDivisions);

  if (noAutoscale == 0 && (s_.xAutoscale || s_.yAutoscale)) {
    if (notice > 0) ui.DisplayPanel(notice);
    ConfigAxes(s_.xAutoscale ? AxisMode::Autoscale : AxisMode::Manual,
               s_.yAutoscale ? AxisMode::Autoscale : AxisMode::Manual);
    if (notice > 0) ui.HidePanel(notice);
    ConfigAxes(s_.xAutoscale ? AxisMode::Lock : AxisMode::Manual,
               s_.yAutoscale ? AxisMode::Lock : AxisMode::Manual);
  } else {
    ConfigAxes(AxisMode::Manual, AxisMode::Manual);
  }

  if (notice > 0) ui.DiscardPanel(notice);
  ui.SetMouseCursor(platform::Cursor::Default);
  return status::kOk;
}

Status XYGraph::UserConfigure() {
  platform::Ui& ui = platform::ui();
  auto dimRanges = [this, &ui](int dialog) {
    const bool xAuto = ui.GetCtrlInt(dialog, panels::kGsXAuto) != 0;
    const bool yAuto = ui.GetCtrlInt(dialog, panels::kGsYAuto) != 0;
    ui.SetCtrlAttribute(dialog, panels::kGsXMin, platform::Attr::Dimmed, xAuto ? 1 : 0);
    ui.SetCtrlAttribute(dialog, panels::kGsXMax, platform::Attr::Dimmed, xAuto ? 1 : 0);
    ui.SetCtrlAttribute(dialog, panels::kGsYMin, platform::Attr::Dimmed, yAuto ? 1 : 0);
    ui.SetCtrlAttribute(dialog, panels::kGsYMax, platform::Attr::Dimmed, yAuto ? 1 : 0);
    ui.SetCtrlAttribute(dialog, panels::kGsXDivisions, platform::Attr::Dimmed,
                        ui.GetCtrlInt(dialog, panels::kGsXAutoDivisions) != 0 ? 1 : 0);
    ui.SetCtrlAttribute(dialog, panels::kGsYDivisions, platform::Attr::Dimmed,
                        ui.GetCtrlInt(dialog, panels::kGsYAutoDivisions) != 0 ? 1 : 0);
    DimFollowControls(dialog, panels::kGsFollowAxis, panels::kGsFollowMinutes, panels::kGsWholeRun);
  };
  auto fill = [&](int dialog) {
    ui.SetCtrlVal(dialog, panels::kGsXMin, s_.xMin);
    ui.SetCtrlVal(dialog, panels::kGsXMax, s_.xMax);
    ui.SetCtrlVal(dialog, panels::kGsXAuto, s_.xAutoscale);
    ui.SetCtrlVal(dialog, panels::kGsYMin, s_.yMin);
    ui.SetCtrlVal(dialog, panels::kGsYMax, s_.yMax);
    ui.SetCtrlVal(dialog, panels::kGsYAuto, s_.yAutoscale);
    ui.SetCtrlVal(dialog, panels::kGsXDivisions, s_.xDivisions);
    ui.SetCtrlVal(dialog, panels::kGsXAutoDivisions, s_.xAutoDivisions);
    ui.SetCtrlVal(dialog, panels::kGsYDivisions, s_.yDivisions);
    ui.SetCtrlVal(dialog, panels::kGsYAutoDivisions, s_.yAutoDivisions);
    // What follows a run: the time axis of this graph, the temperature or
    // depth axis of the profile graphs, nothing but the values of a spectrum.
    FillFollowControls(dialog, panels::kGsFollowAxis, panels::kGsFollowMinutes, panels::kGsWholeRun,
                       panels::kGsFollowValues);
    if (HasFollowAxis() && !HasTimeAxis()) {
      ui.SetCtrlAttribute(dialog, panels::kGsFollowAxis, platform::Attr::LabelText,
                          std::string("Extend the Y axis to the run's data"));
      ui.SetCtrlAttribute(dialog, panels::kGsFollowAxis, platform::Attr::Width, 300);
    }
    dimRanges(dialog);
  };
  // A refused range is never stored: the graph keeps its last good one.
  auto range = [&ui](int dialog, int minId, int maxId, double& min, double& max,
                     const char* refusal) {
    const double high = ui.GetCtrlDouble(dialog, maxId);
    const double low = ui.GetCtrlDouble(dialog, minId);
    if (!ValidRange(low, high)) {
      RangeMessage(refusal);
      return false;
    }
    max = high;
    min = low;
    return true;
  };
  auto accept = [&](int dialog) {
    FollowSettings follow;
    if (!ReadFollowControls(dialog, panels::kGsFollowAxis, panels::kGsFollowMinutes, panels::kGsWholeRun,
                            panels::kGsFollowValues, follow)) {
      return DialogStep::Cancel;
    }
    s_.xAutoscale = ui.GetCtrlInt(dialog, panels::kGsXAuto) != 0 ? 1 : 0;
    s_.yAutoscale = ui.GetCtrlInt(dialog, panels::kGsYAuto) != 0 ? 1 : 0;
    if (!s_.xAutoscale && !range(dialog, panels::kGsXMin, panels::kGsXMax, s_.xMin, s_.xMax,
                                 "Xmax is not greater than\nXmin.")) {
      return DialogStep::Cancel;
    }
    if (!s_.yAutoscale && !range(dialog, panels::kGsYMin, panels::kGsYMax, s_.yMin, s_.yMax,
                                 "Ymax is not greater than\nYmin.")) {
      return DialogStep::Cancel;
    }
    s_.xAutoDivisions = ui.GetCtrlInt(dialog, panels::kGsXAutoDivisions) != 0 ? 1 : 0;
    s_.yAutoDivisions = ui.GetCtrlInt(dialog, panels::kGsYAutoDivisions) != 0 ? 1 : 0;
    s_.xDivisions = ui.GetCtrlInt(dialog, panels::kGsXDivisions);
    s_.yDivisions = ui.GetCtrlInt(dialog, panels::kGsYDivisions);
    follow_ = follow;
    return DialogStep::Ok;
  };
  return RunDialog(panels::kGraphSettings, fill, [&](int dialog, int control) {
    switch (control) {
      case panels::kGsXAuto:
      case panels::kGsYAuto:
      case panels::kGsXAutoDivisions:
      case panels::kGsYAutoDivisions:
      case panels::kGsFollowAxis:
      case panels::kGsWholeRun:
        dimRanges(dialog);
        return DialogStep::Continue;
      case panels::kGsOk:
        return accept(dialog);
      case panels::kGsCancel:
        return DialogStep::Cancel;
      default:
        return DialogStep::Continue;
    }
  });
}

Status XYGraph::ReadConfig(std::FILE* file) {
  // A line that cannot be read whole, an empty or inverted range or a
  // division count below 1: the class's defaults, all ten.
  return ReadGraphSettings<XYSettings>(
      file, s_,
      [file](XYSettings& read) {
        return std::fscanf(file, "%lf %lf %lf %lf %d %d %d %d %d %d", &read.yMin, &read.yMax, &read.xMin,
                           &read.xMax, &read.xAutoscale, &read.yAutoscale, &read.xAutoDivisions,
                           &read.yAutoDivisions, &read.xDivisions, &read.yDivisions) == 10 &&
               ValidRange(read.xMin, read.xMax) && ValidRange(read.yMin, read.yMax) && read.xDivisions >= 1 &&
               read.yDivisions >= 1;
      },
      [this] { SetDefaults(); });
}

Status XYGraph::WriteConfig(std::FILE* file) {
  const ScopedCLocale cLocale;
  if (std::fprintf(file, "%.5lf\t%.5lf\t%.5lf\t%.5lf\t%d\t%d\t%d\t%d\t%d\t%d\t; graph state\n",
                   s_.yMin, s_.yMax, s_.xMin, s_.xMax, s_.xAutoscale, s_.yAutoscale,
                   s_.xAutoDivisions, s_.yAutoDivisions, s_.xDivisions, s_.yDivisions) < 0) {
    return status::kCantWriteConfig;
  }
  return status::kOk;
}

Status XYGraph::InitPlot(Display&, int) {
  platform::ui().DeleteGraphPlot(control_.panel, control_.control, platform::kAllPlots,
                                 platform::DrawMode::Immediate);
  curvesDrawn_ = false;
  drawnAdded_ = 0;
  return status::kOk;
}

int XYGraph::Draw(std::span<const double> x, std::span<const double> y,
                  const platform::PlotAttributes& attributes) {
  platform::Ui& ui = platform::ui();
  int result = ui.PlotXY(control_.panel, control_.control, x, y, attributes);
  if (result == status::kUiOutOfMemory) {
    ui.DeleteGraphPlot(control_.panel, control_.control, platform::kAllPlots,
                       platform::DrawMode::Immediate);
    result = ui.PlotXY(control_.panel, control_.control, x, y, attributes);
  }
  return result;
}

bool XYGraph::HistoryGrew(const Display& display) {
  const std::size_t added = display.history().added();
  if (added == drawnAdded_) return false;
  drawnAdded_ = added;
  return true;
}

// Every bin the history adds (the average of each trace over the display
// bin) is the next point of the curves: the first one a segment of no
// length, so that every trace's curve starts where its data start.
Status XYGraph::Plot(Display& display, const SourceLine&) {
  if (!HistoryGrew(display)) return status::kOk;
  if (!curvesDrawn_) return DrawCurves(display);
  const int result = platform::ui().CurvesChanged(control_.panel, control_.control);
  return result < 0 ? result : status::kOk;
}

Status XYGraph::DrawCurves(Display& display) {
  const RunHistory& history = display.history();
  drawnAdded_ = history.added();
  if (history.empty()) return status::kOk;
  display.VisibleTraces(traces_);
  Status result = status::kOk;
  for (const int trace : traces_) {
    const int drawn = platform::ui().PlotCurve(control_.panel, control_.control,
                                               history.TraceCurve(trace, HistoryKeys()), platform::CurveKeys::OnY,
                                               SegmentStyle(display.TraceRGB(trace)));
    if (drawn < 0) result = drawn;
    curvesDrawn_ = true;
  }
  return result;
}

// --- Following ---------------------------------------------------------------------------

bool XYGraph::HasTimeAxis() const { return true; }
bool XYGraph::HasFollowAxis() const { return true; }

RunHistory::Keys XYGraph::HistoryKeys() const { return RunHistory::Keys::Minutes; }

AxisRange XYGraph::ProfileData(const RunHistory&) const { return {0.0, -1.0}; }

void XYGraph::ResetFollowState() {
  Graph::ResetFollowState();
  yShown_ = {s_.yMin, s_.yMax};
}

void XYGraph::AdoptShownRanges() {
  const ShownRanges shown = GetShownRanges(control_);
  if (shown.x) {
    s_.xMin = shown.x->lo;
    s_.xMax = shown.x->hi;
  }
  if (shown.y) {
    s_.yMin = shown.y->lo;
    s_.yMax = shown.y->hi;
  }
}

void XYGraph::ShowFollowed(const std::optional<AxisRange>& x, const std::optional<AxisRange>& y) {
  if (!x && !y) return;
  platform::ui().SetAxisRange(control_.panel, control_.control, x ? AxisMode::Manual : AxisMode::NoChange,
                              x ? x->lo : 0.0, x ? x->hi : 0.0, y ? AxisMode::Manual : AxisMode::NoChange,
                              y ? y->lo : 0.0, y ? y->hi : 0.0);
  followed_ = true;
}

// Each visible trace's history as one curve, which the run's next bins
// grow.
Status XYGraph::Rebuild(Display& display) {
  DeletePlots();
  curvesDrawn_ = false;
  return DrawCurves(display);
}

void XYGraph::Follow(Display& display) {
  if (suspended_) return;
  const RunHistory& history = display.history();
  const std::size_t n = history.size();
  if (n == 0) return;
  const std::int64_t now = history.time(n - 1);
  const bool timeAxis = HasTimeAxis();

  std::optional<AxisRange> y;
  if (follow_.axis != 0) {
    AxisRange target = yShown_;
    if (timeAxis) {
      const double minutes = static_cast<double>(now) / 60000.0;
      target = follow_.wholeRun != 0 ? WholeRunWindow(static_cast<double>(history.time(0)) / 60000.0, minutes)
                                     : TimeWindow(minutes, follow_.minutes);
    } else {
      const AxisRange data = ProfileData(history);
      ExtendRange(target, data.lo, data.hi);
    }
    // The first time after a reset the axis is set whatever it showed.
    if (!followed_ || !(target == yShown_)) y = target;
    yShown_ = target;
  }

  std::optional<AxisRange> x;
  if (follow_.values != 0) {
    display.VisibleTraces(traces_);
    AxisRange data{0.0, -1.0};
    if (timeAxis && !(follow_.axis != 0 && follow_.wholeRun != 0)) {
      // The lines on the time axis shown.
      const auto ms = [](double minutes) { return static_cast<std::int64_t>(std::floor(minutes * 60000.0)); };
      const std::size_t from = history.FirstAtOrAfter(ms(yShown_.lo));
      const std::size_t to = history.FirstAtOrAfter(ms(yShown_.hi) + 1);
      data = ShownValues(history, traces_, from, to, y.has_value());
    } else {
      // The whole run is shown.
      data = {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
      for (const int trace : traces_) {
        data.lo = std::min(data.lo, history.traceMin(trace));
        data.hi = std::max(data.hi, history.traceMax(trace));
      }
    }
    x = values_.Update(data.lo, data.hi, now, false);
  }
  ShowFollowed(x, y);
}

Status XYGraph::DeletePlots() {
  platform::ui().DeleteGraphPlot(control_.panel, control_.control, platform::kAllPlots,
                                 platform::DrawMode::Immediate);
  return status::kOk;
}

}  // namespace sondrix
