// NeritMeter: the nine-wavelength absorption and attenuation meter. Besides
// its row of the model table it knows whether the instrument carries an
// external temperature sensor.
#pragma once

#include <memory>

#include "meter/bin_meter.h"

namespace sondrix {

class NeritMeter final : public BinMeter<Model::Nerit, NeritFile> {
 public:
  using BinMeter::BinMeter;

  Status NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) override;
  // Bit 0 of the configuration's auxiliary capabilities.
  int HasExtTemp() override;
};

}  // namespace sondrix
