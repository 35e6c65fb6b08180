// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's layout. The size the resource file gives the main panel
// is the preferred one: the window opens at it (or at the size of the last
// exit) and shows every control where the resource file puts it. The window
// may then be made larger or much smaller:
//
// - The graphs take up what the window gains or loses, down to a smallest
//   graph (kMinGraphWidth x kMinGraphHeight).
// - The column right of the graph (the twenty trace labels with their
//   read-outs, the all-traces button, date, time and elapsed time) keeps to
//   the right edge; when the window is short its rows come closer together,
//   down to kMinLabelPitch.
// - The strip below the graph (zoom, move and start/stop buttons; the frame
//   with the read-outs) keeps to the bottom edge. When the window is narrow
//   its groups of controls move left to close the gaps and then wrap onto
//   further rows, the frame growing with them; the program's name stays in
//   the frame's bottom right corner. The buttons keep clear of the column,
//   so that the column may reach down to the frame.
//
// Below the smallest layout (the smallest graph, the tightest column, the
// strip wrapped) the layout keeps that size and the platform scrolls the
// panel, so that every control stays reachable. The window itself may be
// made smaller still, down to kMinPanelWidth x kMinPanelHeight.
//
// Controls the layout does not know as part of a group keep their place
// relative to the edge they belong to: those listed in XElements to the
// right edge, those in YElements to the bottom edge (in the strip's flow as
// a group of their own).
#pragma once

#include <map>
#include <span>
#include <vector>

namespace sondrix {

struct CtrlRect {
  int left = 0, top = 0;
  int width = 0, height = 0;
  int right() const { return left + width; }
  int bottom() const { return top + height; }
  bool operator==(const CtrlRect&) const = default;
};

struct MainLayout {
  // The main panel and its XY graph as loaded: the preferred layout.
  int origPnlHt = 0, origPnlWt = 0;
  int origGphHt = 0, origGphWt = 0;
  // The panel's size the controls were last laid out for.
  int oldPnlHt = 0, oldPnlWt = 0;
  // Where the resource file puts every control the layout places.
  std::map<int, CtrlRect> loaded;
  // The split view: the graph controls of the panes in order (fewer than
  // two: the single graph), and those the controls were last laid out for.
  std::vector<int> panes;
  std::vector<int> placedPanes;
};

// The room a pane's kind chooser takes above its graph, and the gap
// between panes.
inline constexpr int kPaneHeader = 28;
inline constexpr int kPaneGap = 8;
// The panes of the split view in a graph area: one, two side by side, or
// two rows of two.
std::vector<CtrlRect> PaneRects(const CtrlRect& area, int count);

// Where the layout puts each control for a panel size, and the size the
// controls need: the panel's own, or more when the panel is smaller than
// the smallest layout (the platform then scrolls).
struct Placement {
  std::map<int, CtrlRect> places;
  int width = 0;
  int height = 0;
};

// The six graph controls, which grow and shrink with the panel.
std::span<const int> GraphControls();
// The controls that keep to the right edge; the twenty trace labels first.
std::span<const int> XElements();
// The controls that keep to the bottom edge.
std::span<const int> YElements();

// The panel as loaded, as the preferred layout.
MainLayout RecordMainLayout(int panel);

// The smallest window contents (menu bar left out) the user can make.
inline constexpr int kMinPanelWidth = 480;
inline constexpr int kMinPanelHeight = 320;
// The smallest the user may make the window: kMinPanelHeight x
// kMinPanelWidth, or the loaded size where that is smaller.
void LimitPanelSize(int panel, const MainLayout& layout);

// Puts the window at `top`, `left` with contents of `height` x `width`, kept
// on the screen it lands on: a size beyond the screen is cut to it (the
// window's minimum still holds) and the window is moved in until it is on
// the screen whole, or with its top left corner on it when the minimum is
// larger than the screen.
void PlacePanel(int panel, int top, int left, int height, int width);

// The smallest graph the layout shrinks the graphs to.
inline constexpr int kMinGraphWidth = 400;
inline constexpr int kMinGraphHeight = 200;
// The closest the trace labels come (row to row, in pixels).
inline constexpr int kMinLabelPitch = 21;
// Where the controls go for a panel of `height` x `width`: the graphs no
// smaller than kMinGraphWidth x kMinGraphHeight, the trace labels no closer
// than kMinLabelPitch.
Placement LayOut(const MainLayout& layout, int height, int width);
// Lays the controls out again when the panel's size differs from the last
// one, or the split view's panes from those laid out.
void CheckPanelSize(int panel, MainLayout& layout);
// Lays the controls out for a panel of `height` x `width`.
void ResizePanel(int panel, MainLayout& layout, int height, int width);

}  // namespace sondrix
