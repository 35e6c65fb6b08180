// SPDX-License-Identifier: GPL-3.0-or-later
// Which plot of a graph a new two-point segment continues. Display classes
// draw a trace as one segment per point; the user-interface backends append
// a segment that starts where an earlier plot of the same attributes ended to
// that plot, so that a long run is one growing curve per trace instead of
// thousands of plot objects.
#pragma once

#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "platform/ui.h"

namespace sondrix::platform {

class PlotContinuation {
 public:
  // Whether a plot of these attributes may be continued at all (bars never
  // are: each is drawn on its own).
  static bool Continues(const PlotAttributes& attributes) {
    return attributes.plotStyle != PlotStyle::VerticalBar;
  }

  // The plot that ends at (x, y) with these attributes, or 0.
  int Find(const PlotAttributes& attributes, double x, double y) const {
    auto it = byEnd_.find(MakeKey(attributes, x, y));
    return it == byEnd_.end() ? 0 : it->second;
  }

  // Records that `plot` now ends at (x, y).
  void SetEnd(int plot, const PlotAttributes& attributes, double x, double y) {
    Remove(plot);
    const Key key = MakeKey(attributes, x, y);
    byEnd_[key] = plot;
    endOf_[plot] = key;
  }

  void Remove(int plot) {
    auto it = endOf_.find(plot);
    if (it == endOf_.end()) return;
    auto end = byEnd_.find(it->second);
    if (end != byEnd_.end() && end->second == plot) byEnd_.erase(end);
    endOf_.erase(it);
  }

  void Clear() {
    byEnd_.clear();
    endOf_.clear();
  }

 private:
  struct Key {
    std::uint64_t x = 0, y = 0;
    int plotStyle = 0, pointStyle = 0, lineStyle = 0, pointFrequency = 0, color = 0;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& k) const {
      std::uint64_t h = k.x * 0x9E3779B97F4A7C15ull;
      h ^= k.y + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
      h ^= static_cast<std::uint64_t>(k.color) * 31u + static_cast<std::uint64_t>(k.plotStyle);
      return static_cast<std::size_t>(h);
    }
  };

  static std::uint64_t Bits(double value) {
    if (value == 0.0) value = 0.0;  // -0 and +0 meet
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
  }

  static Key MakeKey(const PlotAttributes& a, double x, double y) {
    return Key{Bits(x), Bits(y), static_cast<int>(a.plotStyle), static_cast<int>(a.pointStyle),
               static_cast<int>(a.lineStyle), a.pointFrequency, a.color};
  }

  std::unordered_map<Key, int, KeyHash> byEnd_;
  std::unordered_map<int, Key> endOf_;
};

}  // namespace sondrix::platform
