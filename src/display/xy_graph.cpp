#include "display/xy_graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/c_locale.h"
#include "common/panels.h"
#include "common/utils.h"
#include "display/display.h"

namespace sondrix {
namespace {

using platform::AxisMode;

// Segments of the XY family: a thin line through dots too small to see.
constexpr platform::PlotAttributes SegmentStyle(int rgb) {
  return {platform::PlotStyle::ThinLine, platform::PointStyle::SimpleDot,
          platform::LineStyle::Solid, 0, rgb};
}

bool ValidRange(double low, double high) {
  return std::isfinite(low) && std::isfinite(high) && high > low;
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

void XYGraph::XBounds(double low, double high) {
  s_.xMin = low;
  s_.xMax = high;
  ConfigAxes(AxisMode::Manual, AxisMode::Lock);
}

void XYGraph::XZoom(double factor) {
  if (!(factor >= kMinZoomFactor && factor <= kMaxZoomFactor)) return;
  const double centre = (s_.xMin + s_.xMax) / 2.0;
  const double half = factor * (s_.xMax - s_.xMin) / 2.0;
  s_.xMin = centre - half;
  s_.xMax = centre + half;
  ConfigAxes(AxisMode::Manual, AxisMode::Lock);
}

void XYGraph::XMove(double fraction) {
  const double shift = fraction * (s_.xMax - s_.xMin);
  s_.xMin += shift;
  s_.xMax += shift;
  ConfigAxes(AxisMode::Manual, AxisMode::Lock);
}

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
  auto dimRanges = [&ui](int dialog) {
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
    dimRanges(dialog);
  };
  // A refused range is never stored: the graph keeps its last good one.
  auto accept = [&](int dialog) {
    s_.xAutoscale = ui.GetCtrlInt(dialog, panels::kGsXAuto) != 0 ? 1 : 0;
    s_.yAutoscale = ui.GetCtrlInt(dialog, panels::kGsYAuto) != 0 ? 1 : 0;
    if (!s_.xAutoscale) {
      const double xMax = ui.GetCtrlDouble(dialog, panels::kGsXMax);
      const double xMin = ui.GetCtrlDouble(dialog, panels::kGsXMin);
      if (!ValidRange(xMin, xMax)) {
        RangeMessage("Xmax is not greater than\nXmin.");
        return DialogStep::Cancel;
      }
      s_.xMax = xMax;
      s_.xMin = xMin;
    }
    if (!s_.yAutoscale) {
      const double yMax = ui.GetCtrlDouble(dialog, panels::kGsYMax);
      const double yMin = ui.GetCtrlDouble(dialog, panels::kGsYMin);
      if (!ValidRange(yMin, yMax)) {
        RangeMessage("Ymax is not greater than\nYmin.");
        return DialogStep::Cancel;
      }
      s_.yMax = yMax;
      s_.yMin = yMin;
    }
    s_.xAutoDivisions = ui.GetCtrlInt(dialog, panels::kGsXAutoDivisions) != 0 ? 1 : 0;
    s_.yAutoDivisions = ui.GetCtrlInt(dialog, panels::kGsYAutoDivisions) != 0 ? 1 : 0;
    s_.xDivisions = ui.GetCtrlInt(dialog, panels::kGsXDivisions);
    s_.yDivisions = ui.GetCtrlInt(dialog, panels::kGsYDivisions);
    return DialogStep::Ok;
  };
  return RunDialog(panels::kGraphSettings, fill, [&](int dialog, int control) {
    switch (control) {
      case panels::kGsXAuto:
      case panels::kGsYAuto:
      case panels::kGsXAutoDivisions:
      case panels::kGsYAutoDivisions:
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
  const ScopedCLocale cLocale;
  XYSettings read;
  const int items = std::fscanf(file, "%lf %lf %lf %lf %d %d %d %d %d %d", &read.yMin, &read.yMax,
                                &read.xMin, &read.xMax, &read.xAutoscale, &read.yAutoscale,
                                &read.xAutoDivisions, &read.yAutoDivisions, &read.xDivisions,
                                &read.yDivisions);
  eatComment(file);
  // A line that cannot be read whole, an empty or inverted range or a
  // division count below 1: the class's defaults, all ten.
  if (items != 10 || !ValidRange(read.xMin, read.xMax) || !ValidRange(read.yMin, read.yMax) ||
      read.xDivisions < 1 || read.yDivisions < 1) {
    SetDefaults();
  } else {
    s_ = read;
  }
  if (std::ferror(file) && !std::feof(file)) return status::kConfigPrematureEof;
  return status::kOk;
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

Status XYGraph::InitPlot(Display&, int traceCount) {
  platform::ui().DeleteGraphPlot(control_.panel, control_.control, platform::kAllPlots,
                                 platform::DrawMode::Immediate);
  prevY_ = curY_ = 0.0;
  for (int i = 0; i < traceCount && i < kMaxTraces; ++i) point_[static_cast<std::size_t>(i)].accX = 0.0;
  firstPoint_ = true;
  return status::kOk;
}

void XYGraph::ClearBin() {
  for (Point& p : point_) p.accX = 0.0;
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

// Each visible trace's average over the display bin is drawn as a segment
// from its previous point; the first point of a run is a segment of length
// zero, so that every trace's curve starts where its data start.
Status XYGraph::Plot(Display& display, const SourceLine& line) {
  const int count = std::min(line.count, kMaxTraces);
  for (int i = 0; i < count; ++i) {
    if (display.visible(i)) point_[static_cast<std::size_t>(i)].accX += line.values[static_cast<std::size_t>(i)];
  }
  int& binCount = display.binCount();
  ++binCount;
  if (display.visibleCount() <= 0 || binCount != display.displayBinsize()) return status::kOk;

  curY_ = CalcY(display, line);
  const bool first = firstPoint_;
  if (first) prevY_ = curY_;
  Status result = status::kOk;
  for (int i = 0; i < count; ++i) {
    if (!display.visible(i)) continue;
    Point& p = point_[static_cast<std::size_t>(i)];
    p.accX /= binCount;
    if (first) p.prevX = p.accX;
    const double x[2] = {p.prevX, p.accX};
    const double y[2] = {prevY_, curY_};
    const int drawn = Draw(x, y, SegmentStyle(display.TraceRGB(i)));
    if (drawn < 0) result = drawn;
    p.prevX = p.accX;
    p.accX = 0.0;
  }
  firstPoint_ = false;
  prevY_ = curY_;
  binCount = 0;
  return result;
}

double XYGraph::CalcY(Display& display, const SourceLine&) {
  return display.elapsedMs() / 1000.0 / 60.0;
}

Status XYGraph::DeletePlots() {
  platform::ui().DeleteGraphPlot(control_.panel, control_.control, platform::kAllPlots,
                                 platform::DrawMode::Immediate);
  return status::kOk;
}

}  // namespace sondrix
