#include "display/strip.h"

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

bool ValidRange(double low, double high) {
  return std::isfinite(low) && std::isfinite(high) && high > low;
}

}  // namespace

Strip::Strip(int panel, int control, int menuItem) : control_{panel, control, menuItem} {}

Strip::~Strip() { Strip::Hide(); }

int Strip::GetType() { return graph_type::kStrip; }
int Strip::GetMenu() { return control_.menuItem; }
void Strip::SetDefaults() { s_ = StripSettings{}; }
Status Strip::Hide() { return control_.SetVisible(false); }
Status Strip::Show() { return control_.SetVisible(true); }

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

void Strip::XBounds(double low, double high) {
  s_.yMin = low;
  s_.yMax = high;
  ConfigAxes(AxisMode::Lock, AxisMode::Manual);
}

void Strip::XZoom(double factor) {
  if (!(factor >= kMinZoomFactor && factor <= kMaxZoomFactor)) return;
  const double centre = (s_.yMin + s_.yMax) / 2.0;
  const double half = factor * (s_.yMax - s_.yMin) / 2.0;
  s_.yMin = centre - half;
  s_.yMax = centre + half;
  ConfigAxes(AxisMode::Lock, AxisMode::Manual);
}

void Strip::XMove(double fraction) {
  const double shift = fraction * (s_.yMax - s_.yMin);
  s_.yMin += shift;
  s_.yMax += shift;
  ConfigAxes(AxisMode::Lock, AxisMode::Manual);
}

Status Strip::SetConfig(int) {
  ConfigAxes(AxisMode::Manual, AxisMode::Manual);
  platform::ui().SetCtrlAttribute(control_.panel, control_.control, platform::Attr::PointsPerScreen,
                                  PointsPerScreen(s_.scrollSpeed));
  return status::kOk;
}

// A refused range keeps the dialog open and is not stored.
Status Strip::UserConfigure() {
  platform::Ui& ui = platform::ui();
  auto fill = [&](int dialog) {
    ui.SetCtrlVal(dialog, panels::kSsYMin, s_.yMin);
    ui.SetCtrlVal(dialog, panels::kSsYMax, s_.yMax);
    ui.SetCtrlVal(dialog, panels::kSsScrollSpeed, s_.scrollSpeed);
  };
  return RunDialog(panels::kStripSettings, fill, [&](int dialog, int control) {
    if (control == panels::kSsCancel) return DialogStep::Cancel;
    if (control != panels::kSsOk) return DialogStep::Continue;
    const double yMax = ui.GetCtrlDouble(dialog, panels::kSsYMax);
    const double yMin = ui.GetCtrlDouble(dialog, panels::kSsYMin);
    if (!ValidRange(yMin, yMax)) {
      RangeMessage("Ymax is not greater than\nYmin.");
      return DialogStep::Continue;
    }
    s_.yMax = yMax;
    s_.yMin = yMin;
    s_.scrollSpeed = std::max(ui.GetCtrlInt(dialog, panels::kSsScrollSpeed), 1);
    return DialogStep::Ok;
  });
}

Status Strip::ReadConfig(std::FILE* file) {
  const ScopedCLocale cLocale;
  StripSettings read;
  const int items = std::fscanf(file, "%lf %lf %d", &read.yMin, &read.yMax, &read.scrollSpeed);
  eatComment(file);
  if (items != 3 || !ValidRange(read.yMin, read.yMax) || read.scrollSpeed < 1) {
    SetDefaults();
  } else {
    s_ = read;
  }
  if (std::ferror(file) && !std::feof(file)) return status::kConfigPrematureEof;
  return status::kOk;
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
  platform::Ui& ui = platform::ui();
  const int n = std::min(traceCount, kMaxTraces);
  const int v = std::min(display.visibleCount(), platform::kMaxStripTraces);
  const bool shown = control_.IsVisible();
  if (shown) control_.SetVisible(false);
  ui.ClearStripChart(control_.panel, control_.control);
  if (display.visibleCount() > 0) {
    ui.SetCtrlAttribute(control_.panel, control_.control, platform::Attr::NumTraces, v);
  }
  // Chart trace k is the k-th visible trace.
  int k = 0;
  for (int i = 0; i < n && k < v; ++i) {
    if (!display.visible(i)) continue;
    ui.SetTraceAttribute(control_.panel, control_.control, k, platform::Attr::TraceColor,
                         display.TraceRGB(i));
    ui.SetTraceAttribute(control_.panel, control_.control, k, platform::Attr::TraceVisible, 1);
    ++k;
  }
  acc_.fill(0.0);
  if (shown) control_.SetVisible(true);
  return status::kOk;
}

void Strip::ClearBin() { acc_.fill(0.0); }

Status Strip::Plot(Display& display, const SourceLine& line) {
  const int count = std::min(line.count, kMaxTraces);
  int k = 0;
  for (int i = 0; i < count && k < platform::kMaxStripTraces; ++i) {
    if (!display.visible(i)) continue;
    acc_[static_cast<std::size_t>(k++)] += line.values[static_cast<std::size_t>(i)];
  }
  int& binCount = display.binCount();
  ++binCount;
  if (display.visibleCount() <= 0 || binCount != display.displayBinsize()) return status::kOk;

  for (int j = 0; j < k; ++j) acc_[static_cast<std::size_t>(j)] /= binCount;
  int result = 0;
  if (k > 0) {
    result = platform::ui().PlotStripChart(control_.panel, control_.control,
                                           std::span<const double>(acc_.data(), static_cast<std::size_t>(k)), k);
  }
  acc_.fill(0.0);
  binCount = 0;
  if (result == status::kUiOutOfMemory) return status::kOutOfMemory;
  return result < 0 ? result : status::kOk;
}

}  // namespace sondrix
