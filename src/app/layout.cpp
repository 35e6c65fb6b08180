// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/layout.h"

#include <algorithm>
#include <array>
#include <climits>
#include <set>

#include "common/panels.h"
#include "display/graph_kinds.h"
#include "display/health_strip.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::Attr;

// The graph controls, one per graph kind.
const std::array<int, kGraphKindCount> kGraphs = [] {
  std::array<int, kGraphKindCount> ids{};
  for (std::size_t k = 0; k < ids.size(); ++k) ids[k] = GraphKinds()[k].control;
  return ids;
}();

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
// buttons, the frame behind the read-outs and the read-outs (the replay's
// progress bar, the position, ship's data and network read-outs among them), and
// the follow button.
constexpr std::array<int, 26> kYElements = {
    p::kMainZoomIn,        p::kMainZoomOut,   p::kMainMove1,       p::kMainMove2,
    p::kMainStartStop,     p::kMainStop,      p::kMainAutoStart,   p::kMainFocus,
    p::kMainRate,          p::kMainRateUnit,  p::kMainLost,        p::kMainStatus,
    p::kMainBinsize1,      p::kMainBinsize2,  p::kMainTempCaption, p::kMainTemp,
    p::kMainExtTempCaption, p::kMainExtTemp,  p::kMainDepthCaption, p::kMainDepth,
    p::kMainDiagnostics,   p::kMainProgress,    p::kMainFollow,      p::kMainPosition,
    p::kMainShipData,      p::kMainNetwork};

// The strip's groups of controls that stay together when the strip wraps:
// first the buttons (the follow button a group of its own), then the
// read-outs in the frame.
using Group = std::vector<int>;
const std::vector<Group>& ButtonGroups() {
  static const std::vector<Group> groups = {
      {p::kMainZoomIn, p::kMainZoomOut, p::kMainMove1, p::kMainMove2},
      {p::kMainStartStop, p::kMainStop, p::kMainAutoStart},
      {p::kMainFollow}};
  return groups;
}
const std::vector<Group>& ReadoutGroups() {
  static const std::vector<Group> groups = {
      {p::kMainRate, p::kMainRateUnit, p::kMainLost, p::kMainStatus},
      {p::kMainBinsize1, p::kMainBinsize2, p::kMainPosition},
      {p::kMainTempCaption, p::kMainTemp, p::kMainExtTempCaption, p::kMainExtTemp, p::kMainNetwork},
      {p::kMainDepthCaption, p::kMainDepth, p::kMainProgress, p::kMainShipData}};
  return groups;
}

// Room kept between the strip's groups when they close up, between its
// rows when it wraps, and between the column and the strip below it.
constexpr int kGroupGap = 15;
constexpr int kRowGap = 8;
constexpr int kColumnGap = 8;

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

CtrlRect Bounds(const std::map<int, CtrlRect>& rects, const Group& ids) {
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
  for (const int id : ids) {
    const auto it = rects.find(id);
    if (it == rects.end()) continue;
    left = std::min(left, it->second.left);
    top = std::min(top, it->second.top);
    right = std::max(right, it->second.right());
    bottom = std::max(bottom, it->second.bottom());
  }
  if (left > right) return {};
  return {left, top, right - left, bottom - top};
}

bool Overlap(const CtrlRect& a, const CtrlRect& b) {
  return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
}

// One group of the strip as loaded, and where the flow puts it: moved by
// dx, and down by dy from where it was loaded (relative to the strip).
struct Block {
  Group ids;
  CtrlRect loaded;
  int dx = 0;
  int dy = 0;
};

// Lays a row of groups out from left to right within `rightLimit`: a group
// stays where it was loaded while it fits there, else it closes up to the
// one before it, else it starts a new row below (at the row's left
// margin). Returns the height the rows take, from the row's loaded top.
int Flow(std::vector<Block>& blocks, int rightLimit) {
  if (blocks.empty()) return 0;
  std::sort(blocks.begin(), blocks.end(),
            [](const Block& a, const Block& b) { return a.loaded.left < b.loaded.left; });
  int rowTop = INT_MAX;
  for (const Block& b : blocks) rowTop = std::min(rowTop, b.loaded.top);
  const int margin = blocks.front().loaded.left;
  int row = 0;          // rows below the first
  int rowOffset = 0;    // top of this row, below the loaded one
  int rowHeight = 0;
  int cursor = INT_MIN;
  for (Block& b : blocks) {
    const int offset = b.loaded.top - rowTop;
    int x = b.loaded.left;
    if (row > 0 || x < cursor || b.loaded.right() > rightLimit) {
      x = std::max(cursor, margin);
      if (x + b.loaded.width > rightLimit && rowHeight > 0) {
        ++row;
        rowOffset += rowHeight + kRowGap;
        rowHeight = 0;
        x = margin;
      }
    }
    b.dx = x - b.loaded.left;
    b.dy = rowOffset;
    rowHeight = std::max(rowHeight, offset + b.loaded.height);
    cursor = x + b.loaded.width + kGroupGap;
  }
  return rowOffset + rowHeight;
}

// The strip's groups as loaded: the known ones, and every other control
// listed in YElements as a group of its own, with the buttons above the
// frame and the read-outs in it.
void StripBlocks(const MainLayout& layout, const CtrlRect& frame, std::vector<Block>& buttons,
                 std::vector<Block>& readouts) {
  std::set<int> known = {p::kMainFocus, p::kMainDiagnostics};
  auto add = [&](std::vector<Block>& to, const Group& ids) {
    const CtrlRect bounds = Bounds(layout.loaded, ids);
    if (bounds.width <= 0 && bounds.height <= 0) return;
    to.push_back(Block{ids, bounds});
    known.insert(ids.begin(), ids.end());
  };
  for (const Group& g : ButtonGroups()) add(buttons, g);
  for (const Group& g : ReadoutGroups()) add(readouts, g);
  const std::set<int> xs(kXElements.begin(), kXElements.end());
  for (const int id : kYElements) {
    if (known.contains(id) || xs.contains(id) || !layout.loaded.contains(id)) continue;
    add(layout.loaded.at(id).top >= frame.top ? readouts : buttons, Group{id});
  }
}

void Place(Placement& out, const MainLayout& layout, int id, int dx, int dy) {
  const auto it = layout.loaded.find(id);
  if (it == layout.loaded.end()) return;
  CtrlRect r = it->second;
  r.left += dx;
  r.top += dy;
  out.places[id] = r;
}

}  // namespace

std::span<const int> GraphControls() { return kGraphs; }

std::vector<CtrlRect> PaneRects(const CtrlRect& area, int count) {
  if (count <= 1) return {area};
  const int columns = 2;
  const int rows = count > 2 ? 2 : 1;
  const int width = (area.width - kPaneGap) / columns;
  const int height = (area.height - (rows - 1) * kPaneGap) / rows;
  std::vector<CtrlRect> rects;
  for (int k = 0; k < count; ++k) {
    const int column = k % columns, row = k / columns;
    rects.push_back({area.left + column * (width + kPaneGap), area.top + row * (height + kPaneGap), width, height});
  }
  return rects;
}
std::span<const int> XElements() { return kXElements; }
std::span<const int> YElements() { return kYElements; }

MainLayout RecordMainLayout(int panel) {
  MainLayout layout;
  layout.origGphWt = CtrlInt(panel, p::kMainXYGraph, Attr::Width);
  layout.origGphHt = CtrlInt(panel, p::kMainXYGraph, Attr::Height);
  layout.origPnlWt = layout.oldPnlWt = PanelInt(panel, Attr::Width);
  layout.origPnlHt = layout.oldPnlHt = PanelInt(panel, Attr::Height);
  std::vector<int> ids(kGraphs.begin(), kGraphs.end());
  ids.insert(ids.end(), kXElements.begin(), kXElements.end());
  ids.insert(ids.end(), kYElements.begin(), kYElements.end());
  ids.push_back(p::kMainTitle);
  for (int k = 0; k < kHealthCells; ++k) ids.push_back(p::kMainHealth1 + k);
  for (const int id : ids) {
    platform::CtrlValue probe;
    if (platform::ui().GetCtrlAttribute(panel, id, Attr::Left, probe) < 0) continue;
    layout.loaded[id] = {CtrlInt(panel, id, Attr::Left), CtrlInt(panel, id, Attr::Top),
                         CtrlInt(panel, id, Attr::Width), CtrlInt(panel, id, Attr::Height)};
  }
  return layout;
}

void LimitPanelSize(int panel, const MainLayout& layout) {
  platform::ui().SetPanelAttribute(panel, Attr::MinHeight, std::min(kMinPanelHeight, layout.origPnlHt));
  platform::ui().SetPanelAttribute(panel, Attr::MinWidth, std::min(kMinPanelWidth, layout.origPnlWt));
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

Placement LayOut(const MainLayout& layout, int height, int width) {
  Placement out;
  const auto& loaded = layout.loaded;
  if (!loaded.contains(p::kMainXYGraph)) {
    out.width = width;
    out.height = height;
    return out;
  }
  const CtrlRect graph = loaded.at(p::kMainXYGraph);
  const CtrlRect frame = loaded.contains(p::kMainFocus) ? loaded.at(p::kMainFocus)
                                                         : CtrlRect{graph.left, graph.bottom(), 0, 0};

  // Across: the graphs take what the window gains or loses, down to the
  // smallest graph; the right-hand controls keep to the right edge.
  const int graphWidth = std::max(layout.origGphWt + (width - layout.origPnlWt),
                                  std::min(kMinGraphWidth, layout.origGphWt));
  const int dx = graphWidth - layout.origGphWt;
  out.width = layout.origPnlWt + dx;

  // The strip below the graph, relative to the top of its buttons as
  // loaded: the buttons' rows, the frame, the read-outs' rows in it.
  std::vector<Block> buttons, readouts;
  StripBlocks(layout, frame, buttons, readouts);
  // Within the frame, as far from its right edge as the graph from its left.
  const int rightLimit = frame.right() + dx - (graph.left - frame.left);
  const CtrlRect buttonsLoaded = [&] {
    Group all;
    for (const Block& b : buttons) all.insert(all.end(), b.ids.begin(), b.ids.end());
    return buttons.empty() ? CtrlRect{graph.left, frame.top, 0, 0} : Bounds(loaded, all);
  }();
  const CtrlRect readoutsLoaded = [&] {
    Group all;
    for (const Block& b : readouts) all.insert(all.end(), b.ids.begin(), b.ids.end());
    return readouts.empty() ? CtrlRect{frame.left, frame.top, 0, 0} : Bounds(loaded, all);
  }();
  // The buttons stay clear of the column right of the graph, which may then
  // reach down to the frame: a button row wrapped costs less height than a
  // column that has to end above the buttons.
  const CtrlRect columnLoaded = Bounds(loaded, Group(kXElements.begin(), kXElements.begin() + 41));
  const int buttonsLimit =
      columnLoaded.width > 0 ? std::min(rightLimit, columnLoaded.left + dx - kGroupGap) : rightLimit;
  const int buttonsHeight = Flow(buttons, buttonsLimit);
  int readoutsHeight = Flow(readouts, rightLimit);
  // Loaded distances that stay: graph to buttons, buttons to frame, frame
  // to read-outs, read-outs to the frame's bottom, frame to the panel's.
  const int graphToStrip = buttonsLoaded.top - graph.bottom();
  const int buttonsToFrame = frame.top - buttonsLoaded.bottom();
  const int frameToReadouts = readoutsLoaded.top - frame.top;
  const int readoutsToFrameEnd = frame.bottom() - readoutsLoaded.bottom();
  const int frameToEnd = layout.origPnlHt - frame.bottom();

  // The program's name sits in the frame's bottom right corner; when the
  // read-outs' last row reaches it, the frame grows by a line for it.
  CtrlRect corner;
  const bool hasCorner = loaded.contains(p::kMainDiagnostics);
  auto cornerFor = [&](int frameBottom) {
    const CtrlRect c = loaded.at(p::kMainDiagnostics);
    return CtrlRect{c.left + dx, frameBottom - (frame.bottom() - c.top), c.width, c.height};
  };
  auto readoutRects = [&](int readoutsTop) {
    std::vector<CtrlRect> rects;
    for (const Block& b : readouts) {
      for (const int id : b.ids) {
        CtrlRect r = loaded.at(id);
        r.left += b.dx;
        r.top += readoutsTop - readoutsLoaded.top + b.dy;
        rects.push_back(r);
      }
    }
    return rects;
  };
  if (hasCorner) {
    // Relative to a frame at its loaded top.
    corner = cornerFor(frame.top + frameToReadouts + readoutsHeight + readoutsToFrameEnd);
    for (const CtrlRect& r : readoutRects(frame.top + frameToReadouts)) {
      CtrlRect wider = r;
      wider.width += kGroupGap;
      if (Overlap(wider, corner)) {
        readoutsHeight += corner.height + kRowGap;
        break;
      }
    }
  }
  const int stripHeight = graphToStrip + buttonsHeight + buttonsToFrame + frameToReadouts + readoutsHeight +
                          readoutsToFrameEnd + frameToEnd;

  // Down: the graph takes what is left, down to the smallest graph...
  int graphHeight = std::max(height - graph.top - stripHeight, std::min(kMinGraphHeight, layout.origGphHt));

  // ... and to the height the column right of it needs: the trace labels
  // come closer together when the window is short.
  const bool hasColumn = loaded.contains(p::kMainLabel0) && loaded.contains(p::kMainLabel0 + 19);
  int pitch = 0;
  if (hasColumn) {
    const CtrlRect top = loaded.at(p::kMainLabel0 + 19);
    const CtrlRect bottom = loaded.at(p::kMainLabel0);
    const int loadedPitch = (bottom.top - top.top) / 19;
    const int allTracesGap = loaded.contains(p::kMainAllTraces) ? loaded.at(p::kMainAllTraces).top - bottom.top - loadedPitch : 0;
    const int allTracesHeight = loaded.contains(p::kMainAllTraces) ? loaded.at(p::kMainAllTraces).height : 0;
    auto need = [&](int rowPitch) { return 20 * rowPitch + allTracesGap + allTracesHeight; };
    // The column's left and right edges after the move, and the first part
    // of the strip below that reaches under it.
    CtrlRect column = columnLoaded;
    column.left += dx;
    int below = buttonsHeight + buttonsToFrame;  // the frame, from the top of the buttons
    for (const Block& b : buttons) {
      const int left = b.loaded.left + b.dx;
      if (left < column.right() && column.left < left + b.loaded.width)
        below = std::min(below, b.loaded.top - buttonsLoaded.top + b.dy);
    }
    auto room = [&](int gh) { return graph.top + gh + graphToStrip + below - kColumnGap - top.top; };
    pitch = loadedPitch;
    if (room(graphHeight) < need(loadedPitch)) {
      pitch = std::max((room(graphHeight) - allTracesGap - allTracesHeight) / 20, kMinLabelPitch);
      pitch = std::min(pitch, loadedPitch);
      if (room(graphHeight) < need(pitch)) graphHeight += need(pitch) - room(graphHeight);
    }
    for (int slot = 0; slot < 20; ++slot) {
      const int row = 19 - slot;
      for (const int id : {p::kMainLabel0 + slot, p::kMainValue0 + slot}) {
        if (!loaded.contains(id)) continue;
        CtrlRect r = loaded.at(id);
        r.left += dx;
        r.top = top.top + row * pitch;
        r.height = std::min(r.height, pitch - (loadedPitch - r.height));
        out.places[id] = r;
      }
    }
    if (loaded.contains(p::kMainAllTraces)) {
      // The all-traces button and the label page row beside it keep their
      // row under the labels.
      const int rowTop = top.top + 19 * pitch + pitch + allTracesGap;
      const int shift = rowTop - loaded.at(p::kMainAllTraces).top;
      for (const int id : {p::kMainAllTraces, p::kMainTracePrev, p::kMainTracePage, p::kMainTraceNext}) {
        if (!loaded.contains(id)) continue;
        CtrlRect r = loaded.at(id);
        r.left += dx;
        r.top += shift;
        out.places[id] = r;
      }
    }
  }
  out.height = graph.top + graphHeight + stripHeight;

  // The graphs: each in its pane of the split view, the others (hidden)
  // over the whole area.
  const CtrlRect area{graph.left, graph.top, graphWidth, graphHeight};
  const std::vector<CtrlRect> panes = PaneRects(area, static_cast<int>(layout.panes.size()));
  for (const int id : kGraphs) {
    if (loaded.contains(id)) out.places[id] = area;
  }
  if (panes.size() > 1) {
    for (std::size_t k = 0; k < panes.size(); ++k) {
      const CtrlRect& pane = panes[k];
      out.places[layout.panes[k]] = {pane.left, pane.top + kPaneHeader, pane.width, pane.height - kPaneHeader};
      out.places[p::kMainPaneKind1 + static_cast<int>(k)] = {pane.left, pane.top, std::min(pane.width, 240),
                                                            kPaneHeader - 4};
    }
  }
  // The health strip: its cells share the graph's width.
  if (loaded.contains(p::kMainHealth1)) {
    const CtrlRect first = loaded.at(p::kMainHealth1);
    const int pitch = (graphWidth + 4) / kHealthCells;
    for (int k = 0; k < kHealthCells; ++k)
      out.places[p::kMainHealth1 + k] = {graph.left + k * pitch, first.top, pitch - 4, first.height};
  }
  // The title row: the title gives up what the window loses.
  if (loaded.contains(p::kMainTitle)) {
    CtrlRect r = loaded.at(p::kMainTitle);
    r.width = std::max(r.width + std::min(dx, 0), 40);
    out.places[p::kMainTitle] = r;
  }
  for (const int id : {p::kMainDate, p::kMainTime, p::kMainElapsed}) Place(out, layout, id, dx, 0);

  // The strip.
  const int stripTop = graph.top + graphHeight + graphToStrip;
  const int dyStrip = stripTop - buttonsLoaded.top;
  for (const Block& b : buttons)
    for (const int id : b.ids) Place(out, layout, id, b.dx, dyStrip + b.dy);
  const int frameTop = stripTop + buttonsHeight + buttonsToFrame;
  const int frameBottom = frameTop + frameToReadouts + readoutsHeight + readoutsToFrameEnd;
  if (loaded.contains(p::kMainFocus))
    out.places[p::kMainFocus] = {frame.left, frameTop, frame.width + dx, frameBottom - frameTop};
  const int readoutsTop = frameTop + frameToReadouts;
  for (const Block& b : readouts)
    for (const int id : b.ids) Place(out, layout, id, b.dx, readoutsTop - readoutsLoaded.top + b.dy);
  if (hasCorner) out.places[p::kMainDiagnostics] = cornerFor(frameBottom);

  // Controls listed but of no group: to the right edge, to the bottom edge.
  const std::set<int> ys(kYElements.begin(), kYElements.end());
  for (const int id : kXElements) {
    if (!out.places.contains(id)) Place(out, layout, id, dx, ys.contains(id) ? frameBottom - frame.bottom() : 0);
  }
  for (const int id : kYElements) {
    if (!out.places.contains(id)) Place(out, layout, id, 0, dyStrip);
  }
  return out;
}

void CheckPanelSize(int panel, MainLayout& layout) {
  const int height = PanelInt(panel, Attr::Height);
  const int width = PanelInt(panel, Attr::Width);
  if (height != layout.oldPnlHt || width != layout.oldPnlWt || layout.panes != layout.placedPanes)
    ResizePanel(panel, layout, height, width);
}

void ResizePanel(int panel, MainLayout& layout, int height, int width) {
  platform::Ui& ui = platform::ui();
  const Placement placement = LayOut(layout, height, width);
  for (const auto& [id, r] : placement.places) {
    const std::array<std::pair<Attr, int>, 4> wanted = {
        {{Attr::Left, r.left}, {Attr::Top, r.top}, {Attr::Width, r.width}, {Attr::Height, r.height}}};
    for (const auto& [attr, value] : wanted) {
      if (CtrlInt(panel, id, attr) != value) ui.SetCtrlAttribute(panel, id, attr, value);
    }
  }
  layout.oldPnlHt = height;
  layout.oldPnlWt = width;
  layout.placedPanes = layout.panes;
}

}  // namespace sondrix
