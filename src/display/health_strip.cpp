// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/health_strip.h"

#include <algorithm>
#include <cmath>

#include "common/text_format.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

using platform::Attr;

// Seconds as "12 s", "3:05", "2:03:05".
std::string Duration(double seconds) {
  const long long s = std::llround(std::max(seconds, 0.0));
  if (s < 60) return Format("%lld s", s);
  if (s < 3600) return Format("%lld:%02lld", s / 60, s % 60);
  return Format("%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
}

std::string Bytes(double bytes) {
  const char* units[] = {"B", "kB", "MB", "GB", "TB"};
  int u = 0;
  while (bytes >= 1000.0 && u < 4) {
    bytes /= 1000.0;
    ++u;
  }
  return Format(u == 0 ? "%.0f %s" : "%.1f %s", bytes, units[u]);
}

HealthCell AgeCell(const DataAge& age, const char* what) {
  HealthCell cell;
  cell.level = AgeLevel(age);
  if (!age.on) {
    cell.text = Format("%s off", age.name.c_str());
    cell.tip = Format("The run reads no %s.", what);
  } else if (age.failed) {
    cell.text = Format("%s lost", age.name.c_str());
    cell.tip = Format("The %s failed or went away%s.", what,
                      age.age ? (", last datum " + Duration(*age.age) + " ago").c_str() : "");
  } else if (!age.age) {
    cell.text = Format("%s: none yet", age.name.c_str());
    cell.tip = Format("No %s has come yet.", what);
  } else {
    cell.text = Format("%s %s old", age.name.c_str(), Duration(*age.age).c_str());
    cell.tip = Format("The last %s came %s ago (amber past %.0f s, red past %.0f s).", what,
                      Duration(*age.age).c_str(), age.amberSeconds, kAgeRedSeconds);
  }
  return cell;
}

}  // namespace

std::array<HealthCell, kHealthCells> HealthCells(const RunHealth& h, const std::string& alarm) {
  std::array<HealthCell, kHealthCells> cells;

  HealthCell& line = cells[kHealthLine];
  line.level = LineLevel(h.line);
  switch (h.line) {
    case LineState::Idle:
      line.text = "No run";
      line.tip = "No run is going on.";
      break;
    case LineState::Reading:
      line.text = "Line: reading";
      line.tip = "Lines are arriving.";
      break;
    case LineState::Waiting:
      line.text = "Line: waiting " + Duration(h.lineSeconds);
      line.tip = "No line for " + Duration(h.lineSeconds) + ".";
      break;
    case LineState::Lost:
      line.text = "Line: lost " + Duration(h.lineSeconds);
      line.tip = "The serial line went away " + Duration(h.lineSeconds) +
                 " ago; its device is looked for. The recording stays open.";
      break;
    case LineState::Reconnecting:
      line.text = "Line: reconnecting";
      line.tip = "The device is back after " + Duration(h.lineSeconds) + "; its packets are being found again.";
      break;
  }

  HealthCell& loss = cells[kHealthLoss];
  loss.level = LossLevel(h.lostRate());
  if (const std::optional<double> rate = h.lostRate()) {
    loss.text = Format("Lost %.2f %% / min", *rate * 100.0);
    loss.tip = Format("%lld of %lld samples lost over the last %.0f s (amber from %.1f %%, red from %.0f %%).",
                      h.windowLost, h.windowSamples, h.windowSeconds, kLossAmber * 100.0, kLossRed * 100.0);
  } else if (h.line != LineState::Idle) {
    loss.text = "Lost: -";
    loss.tip = "Not enough lines yet.";
  }

  cells[kHealthGps] = AgeCell(h.gps, "GPS fix");
  // Ship data: nothing until the run reads such a source; then the oldest.
  if (!h.ancillary.empty()) {
    const auto oldest = std::max_element(h.ancillary.begin(), h.ancillary.end(), [](const DataAge& a, const DataAge& b) {
      return AgeLevel(a) < AgeLevel(b) || (AgeLevel(a) == AgeLevel(b) && a.age.value_or(1e300) < b.age.value_or(1e300));
    });
    cells[kHealthShip] = AgeCell(*oldest, "ship data");
  }
  if (h.line == LineState::Idle) cells[kHealthGps] = {};
  if (!alarm.empty()) {
    HealthCell& ship = cells[kHealthShip];
    ship = {alarm, "Underway: " + alarm + (ship.tip.empty() ? std::string() : "\n" + ship.tip), HealthLevel::Red};
  }

  HealthCell& disk = cells[kHealthDisk];
  disk.level = DiskLevel(h.diskHours);
  if (h.diskHours) {
    disk.text = *h.diskHours >= 1000.0 ? "Disk: > 999 h left" : Format("Disk: %.0f h left", std::floor(*h.diskHours));
    if (*h.diskHours < 10.0) disk.text = Format("Disk: %.1f h left", std::floor(*h.diskHours * 10.0) / 10.0);
    disk.tip = Format("%s free on the recording's disk, written at %s/s (amber below %.0f h, red below %.0f h).",
                      Bytes(static_cast<double>(h.diskFree.value_or(0))).c_str(), Bytes(h.writeRate.value_or(0.0)).c_str(),
                      kDiskAmberHours, kDiskRedHours);
  } else if (h.diskFree) {
    disk.text = "Disk: " + Bytes(static_cast<double>(*h.diskFree)) + " free";
    disk.tip = "The rate the run writes is not known yet.";
  }
  return cells;
}

std::string Elide(const std::string& text, int chars) {
  if (chars <= 0) return {};
  // Count characters, not bytes.
  std::size_t at = 0;
  int count = 0;
  std::size_t cut = std::string::npos;
  while (at < text.size()) {
    if (count == chars - 1) cut = at;
    const auto c = static_cast<unsigned char>(text[at]);
    at += c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    ++count;
  }
  if (count <= chars) return text;
  return text.substr(0, cut) + "\u2026";
}

int HealthTextRGB(HealthLevel level) {
  switch (level) {
    case HealthLevel::None: return 0x606060;
    case HealthLevel::Good: return 0x1B5E20;
    case HealthLevel::Amber: return 0x202020;
    case HealthLevel::Red: return 0xFFFFFF;
  }
  return 0x000000;
}

int HealthBackRGB(HealthLevel level) {
  switch (level) {
    case HealthLevel::None: return 0xE8E8E8;
    case HealthLevel::Good: return 0xC8E6C9;
    case HealthLevel::Amber: return 0xFFC107;
    case HealthLevel::Red: return 0xC62828;
  }
  return 0xFFFFFF;
}

void HealthStrip::Show(const RunHealth& health, const std::string& alarm) {
  platform::Ui& ui = platform::ui();
  const std::array<HealthCell, kHealthCells> cells = HealthCells(health, alarm);
  for (int k = 0; k < kHealthCells; ++k) {
    const HealthCell& cell = cells[static_cast<std::size_t>(k)];
    HealthCell& was = shown_[static_cast<std::size_t>(k)];
    if (written_ && cell == was) continue;
    const int control = first_ + k;
    platform::CtrlValue width = 0;
    ui.GetCtrlAttribute(panel_, control, Attr::Width, width);
    // About 7 pixels a character of the read-outs' font, a margin kept.
    const int chars = std::max(platform::CtrlValueInt(width).value_or(0) - 8, 0) / 7;
    ui.SetCtrlVal(panel_, control, cell.text.empty() ? std::string() : " " + Elide(cell.text, chars));
    if (!written_ || cell.level != was.level) {
      ui.SetCtrlAttribute(panel_, control, Attr::TextColor, HealthTextRGB(cell.level));
      ui.SetCtrlAttribute(panel_, control, Attr::BackColor, HealthBackRGB(cell.level));
    }
    ui.SetCtrlAttribute(panel_, control, Attr::ToolTip, cell.tip);
    was = cell;
  }
  written_ = true;
}

}  // namespace sondrix
