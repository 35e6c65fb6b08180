// SPDX-License-Identifier: GPL-3.0-or-later
// The graphs of the display area, one row per kind: its type number, its
// graph control on the main panel, the Display menu's item that shows it,
// its class and how one is made. The Display makes one graph of every row;
// the menus, the window's layout and the run's banner find the graphs'
// items and controls here. A new graph is a row, its class, and its control
// and menu item in resources/sondrix.uir; a test checks that the table of
// docs/display.md names every row.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "display/graph.h"

namespace sondrix {

struct GraphKind {
  int type;                  // Graph::GetType, the display configuration file's number
  int control;               // the graph control on the main panel
  int menuItem;              // the Display menu's item that puts the graph on show
  std::string_view className;  // "XYGraph"
  bool needsDepth;           // offered only for a source that measures depth
  bool valuesOnX;            // the values run along X (else along Y)
  std::unique_ptr<Graph> (*make)(int panel, int control, int menuItem);
};

// The rows, by type: 1 ... kGraphKindCount.
inline constexpr int kGraphKindCount = 6;
std::span<const GraphKind> GraphKinds();
// The row of `type`, or of the graph `menuItem` shows; null for none.
const GraphKind* GraphKindOfType(int type);
const GraphKind* GraphKindOfMenuItem(int menuItem);

}  // namespace sondrix
