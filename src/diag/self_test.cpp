// SPDX-License-Identifier: GPL-3.0-or-later
#include "diag/self_test.h"

#include "meter/benth_meter.h"
#include "meter/nerit_meter.h"

namespace sondrix {

bool OffersSelfTest(Source& source) {
  const bool family = dynamic_cast<NeritMeter*>(&source) != nullptr || dynamic_cast<BenthMeter*>(&source) != nullptr;
  return family && source.HasDiagnostics() != 0;
}

Status RunSelfTest(Source& source, long samples, const std::string& path, Status& test, long& good,
                   const std::function<bool()>& stopRequested) {
  good = 0;
  test = status::kBadArgument;
  if (!OffersSelfTest(source)) return status::kBadArgument;
  if (auto* benth = dynamic_cast<BenthMeter*>(&source))
    return benth->SelfTest(samples, path, test, good, stopRequested);
  return dynamic_cast<NeritMeter&>(source).SelfTest(samples, path, test, good, stopRequested);
}

}  // namespace sondrix
