// SPDX-License-Identifier: GPL-3.0-or-later
// Panel state files: the values of a panel's controls, the captions of its
// toggle buttons and the pictures of its graphs and strip charts, written as
// text so that a saved graph can be read back (and read by people). Both user
// interface backends save and recall through these functions.
//
//   Sondrix panel state 1
//   state 0 1 "Main"                <- index, panel resource id, panel name
//   value 72 text "NERIT.DAT: ..."  <- control id, kind (int, double, text), value
//   value 2 int 1
//   label 2 "a412"                  <- caption of a toggle button
//   axes 31 0 0 7 2 0 5             <- x mode, x min, x max, y mode, y min, y max
//   plot 31 0 10 0 0 0xFF0000 3     <- plot, line and point styles, point frequency,
//   0.25 0                          <- colour, point count; then one "x y" line per point
//   strip 32 2 3                    <- trace count, point count; then one line of
//   0.1 0.2                         <- trace values per point
//   trace 32 0 0xFF0000 1           <- a strip chart trace's colour and visibility
//   end
//
// A file may hold several states, each under its own index. Texts are quoted
// with \" \\ \n \t escapes; numbers use a decimal point and as many digits as
// it takes to read back the same double.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui.h"

namespace sondrix::platform {

struct PlotState {
  PlotAttributes attributes;
  std::vector<double> x;
  std::vector<double> y;
};

struct AxisState {
  AxisMode xMode = AxisMode::Manual;
  double xMin = 0.0, xMax = 1.0;
  AxisMode yMode = AxisMode::Manual;
  double yMin = 0.0, yMax = 1.0;
};

struct ControlState {
  int id = 0;
  std::optional<CtrlValue> value;
  std::optional<std::string> label;
  std::optional<AxisState> axes;
  bool graph = false;              // plots below belong to a graph control
  std::vector<PlotState> plots;
  bool strip = false;              // stripTraces and stripPoints belong to a strip chart
  int stripTraces = 0;
  std::vector<double> stripPoints; // traces interleaved
  // Colour and visibility of each strip chart trace (empty: not saved, as in
  // files written before traces kept their colours).
  struct Trace {
    int color = 0;
    bool visible = true;
    bool operator==(const Trace&) const = default;
  };
  std::vector<Trace> stripStyles;
};

struct PanelState {
  int resourceId = 0;
  std::string name;
  std::vector<ControlState> controls;
};

// The text of one state block ("state ..." to "end").
std::string FormatPanelState(const PanelState& state, int index);

// Writes `state` as state `index` of the file, keeping the file's other
// states (a file that is not a panel state file is replaced). The file is
// replaced through a temporary file beside it. 0 or ui_status::kFileError.
int WritePanelStateFile(std::string_view path, int index, const PanelState& state);

// Reads state `index`. 0, ui_status::kFileError (cannot be read),
// kBadStateFile (not a state file, or a damaged state) or kNoSuchState.
int ReadPanelStateFile(std::string_view path, int index, PanelState& state);

// Puts a state back through the Ui calls: values, captions, axes, plots and
// strip chart points. Controls the panel no longer has are skipped. 0, or
// the first negative status of a call.
int ApplyPanelState(Ui& ui, int panel, const PanelState& state);

}  // namespace sondrix::platform
