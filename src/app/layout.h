// The main window's layout: the window may grow but the controls never come
// closer together than the resource file puts them, and the window never
// shrinks below the size the resource file gives it. The graphs grow with the
// window, the controls right of the graph move right when it widens and the
// controls below it move down when it grows taller.
//
// Our resource file puts the twenty trace labels and their read-outs in a
// column right of the graph, so they move right (they head the list of
// controls that do) but stay at the top. The graph's plot area fills its
// control, so a graph needs its height and width only (no separate plot-area
// size).
#pragma once

#include <span>

namespace sondrix {

struct MainLayout {
  // The main panel and its XY graph as loaded: the smallest layout.
  int origPnlHt = 0;
  int origPnlWt = 0;
  int origGphHt = 0;
  int origGphWt = 0;
  // The panel after the last resize.
  int oldPnlHt = 0;
  int oldPnlWt = 0;
};

// The six graph controls, which grow with the panel.
std::span<const int> GraphControls();
// The controls that move right when the panel widens; the twenty trace
// labels first.
std::span<const int> XElements();
// The controls that move down when the panel grows taller.
std::span<const int> YElements();

// The sizes of the panel and of its XY graph now, as the smallest layout.
MainLayout RecordMainLayout(int panel);
// Makes the smallest layout the panel's minimum size, so that the window
// cannot be made so small that controls are cut off: below it the layout
// would stay as loaded (ResizePanel) and the window would show only part
// of it.
void LimitPanelSize(int panel, const MainLayout& layout);

// Puts the window at `top`, `left` with contents of `height` x `width`, kept
// on the screen it lands on: a size beyond the screen is cut to it (the
// window's minimum still holds) and the window is moved in until it is on
// the screen whole, or with its top left corner on it when the minimum is
// larger than the screen.
void PlacePanel(int panel, int top, int left, int height, int width);

// Resizes the layout when the panel's size differs from the last one.
void CheckPanelSize(int panel, MainLayout& layout);
// Lays the controls out for a panel of `height` x `width` (never below the
// loaded size).
void ResizePanel(int panel, MainLayout& layout, int height, int width);
void MoveXElements(int panel, int dx);
void MoveYElements(int panel, int dy);

}  // namespace sondrix
