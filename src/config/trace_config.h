// SPDX-License-Identifier: GPL-3.0-or-later
// TraceConfig: what both model configurations hold beside the common
// header: the temperature bins, one calibration record per trace (a record
// with at least a name, a wavelength and a colour) and the self-test
// limits. The colours and wavelengths the displays ask for come from the
// records; copying and comparing take these fields here and leave the
// model's own to the model.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "config/config.h"
#include "config/self_test_limits.h"

namespace sondrix {

class Source;

template <class Trace, int kBins, class Limits>
class TraceConfig : public Config {
 public:
  using Config::Config;

  Status GetColors(std::span<int> colors) const override {
    const std::size_t n = std::min(colors.size(), traces.size());
    for (std::size_t i = 0; i < n; ++i) colors[i] = traces[i].color;
    return status::kOk;
  }
  Status GetWavelengths(std::span<double> wavelengths) const override {
    const std::size_t n = std::min(wavelengths.size(), traces.size());
    for (std::size_t i = 0; i < n; ++i) wavelengths[i] = traces[i].wavelength;
    return status::kOk;
  }

  std::int32_t tempBinCount = 0;
  std::array<double, kBins> tempBins{};
  std::vector<Trace> traces;  // empty until read
  Limits limits;

 protected:
  // Values that differ by no more than this compare as the same.
  static constexpr double kTolerance = 1e-10;
  static bool Near(double x, double y) { return std::fabs(x - y) <= kTolerance; }

  // CopyConfig's share: the header always, and into a configuration of
  // this model (class Model) the bins, the records and the limits too, and
  // then the model's own fields (`copyOwn(target)`). 1, or -1016 when
  // memory ran out (the target's records emptied, its own fields left).
  template <class Model, class CopyOwn>
  Status CopyShared(Config& to, CopyOwn copyOwn) const {
    Config::CopyConfig(to);
    auto* same = dynamic_cast<Model*>(&to);
    if (same == nullptr) return status::kOk;
    const Status result = CopyRecords(traces, same->traces);
    if (result != status::kOk) return result;
    same->tempBinCount = tempBinCount;
    same->tempBins = tempBins;
    same->limits = limits;
    copyOwn(*same);
    return status::kOk;
  }

  // CompConfig's share: `other` as a Model when it is one with the same
  // header, bin count, bin temperatures and limits (within kTolerance) and
  // as many records; null otherwise.
  template <class Model>
  const Model* SameShared(const Config& other) const {
    const auto* same = dynamic_cast<const Model*>(&other);
    if (same == nullptr || !Config::CompConfig(other)) return nullptr;
    if (tempBinCount != same->tempBinCount || traces.size() != same->traces.size()) return nullptr;
    const int bins = std::clamp(static_cast<int>(tempBinCount), 0, kBins);
    for (int k = 0; k < bins; ++k) {
      const auto at = static_cast<std::size_t>(k);
      if (!Near(tempBins[at], same->tempBins[at])) return nullptr;
    }
    if (!LimitsWithin(limits, same->limits, LimitsLineOf(limits), kTolerance)) return nullptr;
    return same;
  }
};

}  // namespace sondrix
