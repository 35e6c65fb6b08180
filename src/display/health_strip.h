// SPDX-License-Identifier: GPL-3.0-or-later
// The health strip: one row of read-outs above the graphs that says at a
// glance whether the run is sound -- the line's state, the samples lost over
// the last minute, the GPS fix's age, the ship data's age and the hours the
// recording's disk has room for -- each in the colour of its level
// (session/run_health.h). The numbers are the run's; the strip only words
// and colours them. Its controls keep their size: a text too long for its
// cell is cut with "…", and the whole of it is the cell's tooltip.
#pragma once

#include <array>
#include <string>

#include "session/run_health.h"

namespace sondrix {

// The cells, left to right.
inline constexpr int kHealthCells = 5;
enum HealthCellIndex { kHealthLine = 0, kHealthLoss, kHealthGps, kHealthShip, kHealthDisk };

struct HealthCell {
  std::string text;  // what the cell shows ("" for nothing)
  std::string tip;   // the detail
  HealthLevel level = HealthLevel::None;
  bool operator==(const HealthCell&) const = default;
};

// The five cells of `health`; an `alarm` of the underway processing
// (processing/underway.h: the valve stuck, the filtered spectra jumping)
// takes the ship's data cell, in red.
std::array<HealthCell, kHealthCells> HealthCells(const RunHealth& health, const std::string& alarm = {});
// `text` cut to `chars` characters (UTF-8), its last one "…" when cut.
std::string Elide(const std::string& text, int chars);
// The text and face colours of a level: 0xRRGGBB.
int HealthTextRGB(HealthLevel level);
int HealthBackRGB(HealthLevel level);

class HealthStrip {
 public:
  // The cells are controls `first` ... `first` + 4 of `panel`.
  HealthStrip(int panel, int first) : panel_(panel), first_(first) {}
  // Writes the cells of `health` (with `alarm`, HealthCells) that changed.
  void Show(const RunHealth& health, const std::string& alarm = {});
  const std::array<HealthCell, kHealthCells>& shown() const { return shown_; }

 private:
  int panel_;
  int first_;
  bool written_ = false;
  std::array<HealthCell, kHealthCells> shown_{};
};

}  // namespace sondrix
