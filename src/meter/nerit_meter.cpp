// SPDX-License-Identifier: GPL-3.0-or-later
#include "meter/nerit_meter.h"

#include "common/log.h"

namespace sondrix {

Status NeritMeter::NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) {
  SONDRIX_LOG(Debug, "Nerit new buffer");
  const Status result = BinMeter::NewBuffer(out, port);
  SONDRIX_LOG(Debug, "Nerit end new buffer");
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
