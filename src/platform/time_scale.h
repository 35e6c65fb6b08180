// SPDX-License-Identifier: GPL-3.0-or-later
// The time scale of a graph's time axis (Ui::SetTimeScale): where its ticks
// stand and what they read, for keys that are not time themselves (a strip
// chart's point numbers) or that the user reads as clock time. Like a
// curve it is held above the platform and read whenever the axis is drawn,
// so that the ticks follow the run without being set again.
#pragma once

#include <string>
#include <vector>

namespace sondrix::platform {

struct TimeTick {
  double key = 0.0;
  std::string label;
  bool operator==(const TimeTick&) const = default;
};

class TimeScale {
 public:
  virtual ~TimeScale() = default;
  // The axis's caption ("Time (UTC)"), before the control's own caption.
  virtual std::string Caption() const = 0;
  // The ticks of keys [lo, hi] at round times, about `most` of them at most,
  // in rising keys, each with its label ("14:05:30", "2.5").
  virtual std::vector<TimeTick> Ticks(double lo, double hi, int most) const = 0;
  // The time at key `key` as a cursor reads it ("14:05:31.2 UTC").
  virtual std::string Read(double key) const = 0;
};

}  // namespace sondrix::platform
