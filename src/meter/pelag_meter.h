// SPDX-License-Identifier: GPL-3.0-or-later
// PelagMeter: the three-wavelength absorption and attenuation meter.
// Everything but its row of the model table is the Meter's.
#pragma once

#include "meter/bin_meter.h"

namespace sondrix {

class PelagMeter final : public BinMeter<Model::Pelag, PelagFile> {
 public:
  using BinMeter::BinMeter;
};

}  // namespace sondrix
