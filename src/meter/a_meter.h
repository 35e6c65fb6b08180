// SPDX-License-Identifier: GPL-3.0-or-later
// AMeter: the absorption meter (three wavelengths, absorption traces only).
// Everything but its row of the model table is the Meter's.
#pragma once

#include "meter/bin_meter.h"

namespace sondrix {

class AMeter final : public BinMeter<Model::AMeter, AFile> {
 public:
  using BinMeter::BinMeter;
};

}  // namespace sondrix
