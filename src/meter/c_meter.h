// SPDX-License-Identifier: GPL-3.0-or-later
// CMeter: the attenuation meter (three wavelengths, attenuation traces only).
// Everything but its row of the model table is the Meter's.
#pragma once

#include "meter/bin_meter.h"

namespace sondrix {

class CMeter final : public BinMeter<Model::CMeter, CFile> {
 public:
  using BinMeter::BinMeter;
};

}  // namespace sondrix
