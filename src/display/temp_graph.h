// SPDX-License-Identifier: GPL-3.0-or-later
// The profile graphs: each visible trace's averaged value (X axis) against
// the line's temperature (TempGraph) or depth (DepthGraph) on the Y axis.
// Everything else is XY graph behaviour. The depth axis grows downwards.
// While following a run, the temperature or depth axis extends to hold the
// run's data.
#pragma once

#include <cstddef>

#include "display/xy_graph.h"
#include "processing/profiles.h"

namespace sondrix {

// The quantity a profile graph draws on its Y axis: its graph type, the top
// of its axis by default, and where the run's history keeps it.
struct ProfileQuantity {
  int type;
  double defaultYMax;
  RunHistory::Keys keys;
  double (RunHistory::*min)() const;
  double (RunHistory::*max)() const;
};

class ProfileGraph : public XYGraph {
 public:
  ProfileGraph(int panel, int control, int menuItem, const ProfileQuantity& quantity);

  int GetType() override;
  void SetDefaults() override;
  RunHistory::Keys HistoryKeys() const override;
  bool HasTimeAxis() const override;

  // The XY graph's defaults with the quantity's axis top.
  XYSettings Defaults() const;

 protected:
  AxisRange ProfileData(const RunHistory& history) const override;

 private:
  const ProfileQuantity& quantity_;
};

class TempGraph : public ProfileGraph {
 public:
  TempGraph(int panel, int control, int menuItem);
};

// With Display > Cast Profiles the depth graph draws the casts' binned
// profiles (Display::liveCasts) instead of the run's points: the last
// completed cast's means in grey, the one going on in each trace's colour
// with its spread (mean - sd and mean + sd, dotted). It draws again when
// the profiles changed, at most once a second of the run and at once when
// a cast ends.
class DepthGraph : public ProfileGraph {
 public:
  DepthGraph(int panel, int control, int menuItem);

  void ConfigAxes(platform::AxisMode xMode, platform::AxisMode yMode) override;
  Status InitPlot(Display& display, int traceCount) override;
  Status Plot(Display& display, const SourceLine& line) override;
  Status Rebuild(Display& display) override;

 private:
  Status DrawProfiles(Display& display);

  long drawnVersion_ = -1;
  int drawnCast_ = -1;
  std::int64_t drawnAtMs_ = 0;
};

}  // namespace sondrix
