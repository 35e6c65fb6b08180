// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/spect_graph.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "display/display.h"
#include "session/run_history.h"

namespace sondrix {
namespace {

using platform::AxisMode;

// Nanometres the bar graph's axis keeps beyond its first and last
// wavelength: room for the bars standing beside them.
constexpr double kBarMargin = 5.0;

// An absorption bar is hollow (outlined, pale inside) and an attenuation
// bar solid: the two of one wavelength often share a colour, and stand side
// by side.
constexpr platform::PlotAttributes BarStyle(int rgb, bool dense, bool absorption) {
  if (dense) return {platform::PlotStyle::FatLine, platform::PointStyle::SimpleDot, platform::LineStyle::Solid, 0, rgb};
  return {platform::PlotStyle::VerticalBar,
          absorption ? platform::PointStyle::EmptySquare : platform::PointStyle::SolidSquare,
          platform::LineStyle::Solid, 0, rgb};
}

constexpr platform::PlotAttributes CurveStyle(int rgb, bool dense) {
  if (dense) return {platform::PlotStyle::ThinLine, platform::PointStyle::SimpleDot, platform::LineStyle::Solid, 0, rgb};
  return {platform::PlotStyle::ConnectedPoints, platform::PointStyle::SmallSolidSquare,
          platform::LineStyle::Solid, 1, rgb};
}

}  // namespace

int SpectGraph::GetType() { return graph_type::kSpect; }
int SpectGraph2::GetType() { return graph_type::kSpect2; }

Status SpectGraph::DeletePlots() { return XYGraph::DeletePlots(); }

Graph::ValueAxis SpectGraph::GetValueAxis() { return {&s_.yMin, &s_.yMax, true}; }

// The range is rounded out to tens of nanometres, so that the shortest and
// the longest wavelength are on the axis (412.3 ... 715 gives 410 ... 720,
// 401.2 ... 733 gives 400 ... 740). The bar graph keeps kBarMargin more on
// either side, so that the bars beside the first and the last wavelength
// are not cut by the axis (412.3 ... 715 gives 400 ... 720). Without
// wavelengths (none, or none readable) the X range stays as it was; a
// single wavelength gets a range of ten nanometres.
void SpectGraph::InitWavelengths(Display& display, int span) {
  wavelengths_.fill(0.0);
  if (Source* source = display.source()) source->GetWavelengths(wavelengths_);
  double lo = 1.0e8;
  double hi = 0.0;
  for (int i = 0; i < span && i < kMaxTraces; ++i) {
    const double w = wavelengths_[static_cast<std::size_t>(i)];
    if (!std::isfinite(w)) continue;
    lo = std::min(lo, w);
    hi = std::max(hi, w);
  }
  if (lo <= hi && lo > -1.0e8 && hi < 1.0e8) {
    if (GetType() == graph_type::kSpect) {
      lo -= kBarMargin;
      hi += kBarMargin;
    }
    s_.xMin = 10.0 * (static_cast<int>(lo) / 10);
    s_.xMax = 10.0 * std::ceil(hi / 10.0);
    if (s_.xMax <= s_.xMin) s_.xMax = s_.xMin + 10.0;
  }
  platform::ui().SetCtrlAttribute(control_.panel, control_.control, platform::Attr::SmoothUpdate, 1);
  ConfigAxes(AxisMode::Manual, AxisMode::Lock);
}

// Both graphs span every trace's wavelength: the A traces of a
// hyperspectral meter (structure version 3) have wavelengths of their own,
// and their bars stand beside those of the C traces.
Status SpectGraph::InitPlot(Display& display, int traceCount) {
  DeletePlots();
  drawnAdded_ = 0;
  InitWavelengths(display, traceCount);
  return status::kOk;
}

// Every bin the history adds is the spectrum shown.
Status SpectGraph::Plot(Display& display, const SourceLine&) {
  if (!HistoryGrew(display)) return status::kOk;
  return Rebuild(display);
}

Status SpectGraph::DrawSpectrum(Display& display, std::span<const double> values) {
  DeletePlots();
  const bool dense = display.visibleCount() > kDenseSpectrum;
  Status result = status::kOk;
  for (int i = 0; i < static_cast<int>(values.size()) && i < kMaxTraces; ++i) {
    if (!display.visible(i)) continue;
    const double w = wavelengths_[static_cast<std::size_t>(i)];
    const double x[2] = {w, w};
    const double y[2] = {0.0, values[static_cast<std::size_t>(i)]};
    const bool absorption = (display.traceMap(i) & kTraceA & ~kTraceC) != 0;
    const int drawn = Draw(x, y, BarStyle(display.TraceRGB(i), dense, absorption));
    if (drawn < 0) result = drawn;
  }
  return result;
}

// One curve through the A traces and one through the C traces, each in
// trace order.
Status SpectGraph2::DrawSpectrum(Display& display, std::span<const double> values) {
  SpectGraph::DeletePlots();
  Status result = status::kOk;
  for (const auto& [bit, rgb] : {std::pair{2, kAbsorptionRGB}, std::pair{4, kAttenuationRGB}}) {
    std::vector<double> x;
    std::vector<double> y;
    for (int i = 0; i < static_cast<int>(values.size()) && i < kMaxTraces; ++i) {
      if (!display.visible(i) || (display.traceMap(i) & bit) == 0) continue;
      x.push_back(wavelengths_[static_cast<std::size_t>(i)]);
      y.push_back(values[static_cast<std::size_t>(i)]);
    }
    if (x.empty()) continue;
    const int drawn = Draw(x, y, CurveStyle(rgb, static_cast<int>(x.size()) > kDenseSpectrum));
    if (drawn < 0) result = drawn;
  }
  return result;
}

// --- Following -------------------------------------------------------------------------------

bool SpectGraph::HasTimeAxis() const { return false; }
bool SpectGraph::HasFollowAxis() const { return false; }
bool SpectGraph::Drawn(Display& display, int trace) const { return display.visible(trace); }
bool SpectGraph2::Drawn(Display& display, int trace) const {
  return display.visible(trace) && (display.traceMap(trace) & 6) != 0;
}
bool SpectGraph::FromZero() const { return true; }
bool SpectGraph2::FromZero() const { return false; }

// The run's last spectrum.
Status SpectGraph::Rebuild(Display& display) {
  const RunHistory& history = display.history();
  if (history.empty()) return status::kOk;
  const std::size_t last = history.size() - 1;
  drawnAdded_ = history.added();
  spectrum_.assign(static_cast<std::size_t>(history.traceCount()), 0.0);
  for (int i = 0; i < history.traceCount(); ++i) spectrum_[static_cast<std::size_t>(i)] = history.value(last, i);
  return DrawSpectrum(display, spectrum_);
}

void SpectGraph::Follow(Display& display) {
  if (suspended_ || follow_.values == 0) return;
  const RunHistory& history = display.history();
  if (history.empty()) return;
  const std::size_t last = history.size() - 1;
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  for (int i = 0; i < history.traceCount(); ++i) {
    if (!Drawn(display, i)) continue;
    const double v = history.value(last, i);
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  if (const std::optional<AxisRange> y = values_.Update(lo, hi, history.time(last), FromZero())) {
    ShowFollowed(std::nullopt, y);
  }
}

}  // namespace sondrix
