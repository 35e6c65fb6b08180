#include "diag/self_test.h"

#include "meter/nerit_meter.h"

namespace sondrix {

bool OffersSelfTest(Source& source) {
  return dynamic_cast<NeritMeter*>(&source) != nullptr && source.HasDiagnostics() != 0;
}

Status RunSelfTest(Source& source, long samples, const std::string& path, Status& test, long& good) {
  good = 0;
  test = status::kBadArgument;
  if (!OffersSelfTest(source)) return status::kBadArgument;
  return dynamic_cast<NeritMeter&>(source).SelfTest(samples, path, test, good);
}

}  // namespace sondrix
