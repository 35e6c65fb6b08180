#include "app/layout.h"

#include <algorithm>
#include <array>

#include "common/panels.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::Attr;

constexpr std::array<int, 6> kGraphs = {p::kMainXYGraph,    p::kMainStripChart,  p::kMainTempGraph,
                                        p::kMainDepthGraph, p::kMainSpectGraph, p::kMainSpect2Graph};

// Twenty trace labels, twenty value read-outs, the all-traces button, the
// date, time and elapsed read-outs, the program's name in the corner and
// the label page buttons with their read-out.
constexpr std::array<int, 48> kXElements = [] {
  std::array<int, 48> ids{};
  std::size_t n = 0;
  for (int k = 0; k < 20; ++k) ids[n++] = p::kMainLabel0 + k;
  for (int k = 0; k < 20; ++k) ids[n++] = p::kMainValue0 + k;
  for (int id : {p::kMainAllTraces, p::kMainDate, p::kMainTime, p::kMainElapsed, p::kMainDiagnostics,
                 p::kMainTracePrev, p::kMainTracePage, p::kMainTraceNext})
    ids[n++] = id;
  return ids;
}();

// Everything below the graph: zoom, move, start/stop, stop and auto-start
// buttons, the frame behind the read-outs and the read-outs, and the follow
// button.
constexpr std::array<int, 22> kYElements = {
    p::kMainZoomIn,        p::kMainZoomOut,   p::kMainMove1,       p::kMainMove2,
    p::kMainStartStop,     p::kMainStop,      p::kMainAutoStart,   p::kMainFocus,
    p::kMainRate,          p::kMainRateUnit,  p::kMainLost,        p::kMainStatus,
    p::kMainBinsize1,      p::kMainBinsize2,  p::kMainTempCaption, p::kMainTemp,
    p::kMainExtTempCaption, p::kMainExtTemp,  p::kMainDepthCaption, p::kMainDepth,
    p::kMainDiagnostics,   p::kMainFollow};

int PanelInt(int panel, Attr attr) {
  platform::CtrlValue value;
  if (platform::ui().GetPanelAttribute(panel, attr, value) < 0) return 0;
  return platform::CtrlValueInt(value).value_or(0);
}

int CtrlInt(int panel, int control, Attr attr) {
  platform::CtrlValue value;
  if (platform::ui().GetCtrlAttribute(panel, control, attr, value) < 0) return 0;
  return platform::CtrlValueInt(value).value_or(0);
}

void MoveControls(int panel, std::span<const int> controls, Attr attr, int by) {
  if (by == 0) return;
  for (const int control : controls)
    platform::ui().SetCtrlAttribute(panel, control, attr, CtrlInt(panel, control, attr) + by);
}

}  // namespace

std::span<const int> GraphControls() { return kGraphs; }
std::span<const int> XElements() { return kXElements; }
std::span<const int> YElements() { return kYElements; }

MainLayout RecordMainLayout(int panel) {
  MainLayout layout;
  layout.origGphWt = CtrlInt(panel, p::kMainXYGraph, Attr::Width);
  layout.origGphHt = CtrlInt(panel, p::kMainXYGraph, Attr::Height);
  layout.origPnlWt = layout.oldPnlWt = PanelInt(panel, Attr::Width);
  layout.origPnlHt = layout.oldPnlHt = PanelInt(panel, Attr::Height);
  return layout;
}

void LimitPanelSize(int panel, const MainLayout& layout) {
  platform::ui().SetPanelAttribute(panel, Attr::MinHeight, layout.origPnlHt);
  platform::ui().SetPanelAttribute(panel, Attr::MinWidth, layout.origPnlWt);
}

void PlacePanel(int panel, int top, int left, int height, int width) {
  platform::Ui& ui = platform::ui();
  ui.SetPanelAttribute(panel, Attr::Top, top);
  ui.SetPanelAttribute(panel, Attr::Left, left);
  platform::ScreenArea area;
  if (ui.GetScreenArea(panel, area) < 0) return;
  ui.SetPanelAttribute(panel, Attr::Height, std::min(height, area.height));
  ui.SetPanelAttribute(panel, Attr::Width, std::min(width, area.width));
  // What the window got, its minimum taken into account.
  const int placedHeight = PanelInt(panel, Attr::Height);
  const int placedWidth = PanelInt(panel, Attr::Width);
  const auto within = [](int value, int first, int room, int size) {
    return std::max(std::min(value, first + room - size), first);
  };
  ui.SetPanelAttribute(panel, Attr::Top, within(top, area.top, area.height, placedHeight));
  ui.SetPanelAttribute(panel, Attr::Left, within(left, area.left, area.width, placedWidth));
}

void CheckPanelSize(int panel, MainLayout& layout) {
  const int height = PanelInt(panel, Attr::Height);
  const int width = PanelInt(panel, Attr::Width);
  // Below the loaded size the layout stays as loaded: nothing to redo.
  if (std::max(height, layout.origPnlHt) != layout.oldPnlHt ||
      std::max(width, layout.origPnlWt) != layout.oldPnlWt)
    ResizePanel(panel, layout, height, width);
}

void ResizePanel(int panel, MainLayout& layout, int height, int width) {
  height = std::max(height, layout.origPnlHt);
  width = std::max(width, layout.origPnlWt);
  for (const int graph : kGraphs) {
    platform::ui().SetCtrlAttribute(panel, graph, Attr::Height,
                                    layout.origGphHt + (height - layout.origPnlHt));
    platform::ui().SetCtrlAttribute(panel, graph, Attr::Width,
                                    layout.origGphWt + (width - layout.origPnlWt));
  }
  MoveXElements(panel, width - layout.oldPnlWt);
  MoveYElements(panel, height - layout.oldPnlHt);
  layout.oldPnlHt = height;
  layout.oldPnlWt = width;
}

void MoveXElements(int panel, int dx) { MoveControls(panel, kXElements, Attr::Left, dx); }
void MoveYElements(int panel, int dy) { MoveControls(panel, kYElements, Attr::Top, dy); }

}  // namespace sondrix
