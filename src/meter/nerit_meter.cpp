#include "meter/nerit_meter.h"

#include "common/errors.h"

namespace sondrix {

Status NeritMeter::NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) {
  DebugMsg("Nerit new buffer", 0);
  const Status result = BinMeter::NewBuffer(out, port);
  DebugMsg("Nerit end new buffer", 0);
  return result;
}

int NeritMeter::HasExtTemp() {
  const MeterConfig* config = meterConfig();
  return config && (config->auxCapabilities & 1) != 0 ? 1 : 0;
}

int NeritMeter::HasDiagnostics() {
  const MeterConfig* config = meterConfig();
  return config && config->limits.minRCounts > 0.0 ? 1 : 0;
}

}  // namespace sondrix
