// SPDX-License-Identifier: GPL-3.0-or-later
// NeritMeter: the nine-wavelength absorption and attenuation meter. Besides
// its row of the model table it knows whether the instrument carries an
// external temperature sensor, and it offers the instrument self-test.
//
// The self-test operations are defined with the diagnostics
// (diag/nerit_diag.cpp), where the diagnostics record and panel are known;
// here they are only declared, as the meter's operation table requires.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "meter/bin_meter.h"

namespace sondrix {

class DiagWindow;

class NeritMeter final : public BinMeter<Model::Nerit, NeritFile> {
 public:
  using BinMeter::BinMeter;

  Status NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) override;
  // Bit 0 of the configuration's auxiliary capabilities.
  int HasExtTemp() override;

  // The self-test with its panel: resets the meter, reads samples until the
  // panel's stop control (or an error, or 2 s without a good sample), then
  // asks where the report goes and writes it. The result is the test's: 1
  // when the user stopped it, -1029 without a connection, -1016 when the
  // panel cannot be shown, -1003 after 2 s without data, or the code that
  // ended it. A report that could not be written is reported to the user
  // here (a cancelled file choice is not).
  Status Diagnostics() override;
  // Offered when the configuration holds diagnostic limits (a minimum
  // reference count above 0).
  int HasDiagnostics() override;

  // The same self-test without windows over `samples` good samples, its
  // report written to `path`. `test` receives the test's result (as
  // Diagnostics returns it) and `good` the good samples taken; the result
  // is the report's: 1, or -1002 when it could not be written. Nothing is
  // written when the test could not start (not connected, reset failed).
  Status SelfTest(long samples, const std::string& path, Status& test, long& good,
                  const std::function<bool()>& stopRequested = {});

  // One sample of the self-test into row `ring` of the record: reads a
  // packet when needed, fills the row, moves the ring on, recomputes the
  // statistics over min(count, 30) rows and redraws `panel` (none when 0).
  // 1 for a good sample, -1022 for a lost one, or the decoder's failure.
  Status RefreshDiagnostics(DiagWindow& record, int panel, int& ring, int count);
};

}  // namespace sondrix
