// SPDX-License-Identifier: GPL-3.0-or-later
// What the self-test operations of every meter family take from the meter.
#include <algorithm>
#include <array>
#include <span>

#include "diag/diag_window.h"
#include "meter/meter.h"

namespace sondrix {

Status Meter::TakeDiagSample(DiagWindow& window, int channels, int absorbChannels, int& ring) {
  const RefBlock* refs = nullptr;
  const DataSample* sample = nullptr;
  bool packetStart = false;
  const Status result = NextSample(refs, sample, packetStart);
  if (result != status::kOk) return result;
  if (sample->status != status::kOk) return status::kNoData;

  const Config* configuration = config();
  if (!configuration) return status::kBadConfigFormat;
  const double depth = configuration->depthScale * refs->pressure + configuration->depthOffset;
  std::array<double, kMaxTraces> calibrated{};
  ComputeAbsorb(absorbChannels, calibrated, sample->values, refs->temp, refs->refs, window.traceMap());

  const auto n = static_cast<std::size_t>(std::clamp(channels, 0, kMaxTraces));
  window.FillNext(ring, std::span<const double>(sample->values).first(n), std::span<const double>(refs->refs).first(n),
                  std::span<const double>(calibrated).first(n), configuration->pathLength, refs->temp, depth);
  return status::kOk;
}

}  // namespace sondrix
