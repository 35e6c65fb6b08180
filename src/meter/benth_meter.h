// SPDX-License-Identifier: GPL-3.0-or-later
// BenthMeter: the hyperspectral absorption and attenuation meter. One packet
// per sample carries up to a hundred wavelength channels; each gives an
// attenuation trace (first half of the trace list) and an absorption trace
// (second half). The instrument reports in its packets a skip value (it
// outputs every skip-th wavelength), which the device configuration must
// agree with. Its configuration is a BenthMeterConfig, its decoder a
// BenthBuffer, its data file a BenthFile.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "config/benth_meter_config.h"
#include "io/data_buffer.h"
#include "io/dport.h"
#include "meter/meter.h"
#include "source/source.h"
#include "source/source_line.h"

namespace sondrix {

class BenthDiagWindow;

class BenthMeter final : public Meter {
 public:
  BenthMeter(Token token, std::string_view filename, std::string_view portname);

  // Meter::Open; a configuration whose path length is not a positive
  // number can be opened for editing (no port) but not for measuring.
  Status Open() override;
  // Meter::Reset; then -1049 when the instrument's packets are not of the
  // length the configuration's wavelengths give, or -1048 when the
  // configuration's skip value differs from the instrument's or the
  // instrument reports one outside 1 ... 4.
  Status Reset() override;
  Status NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) override;
  Status NewDataFile(std::unique_ptr<DataFile>& out, std::string_view filename) override;
  int GetRefLineLen() override;
  int GetDataLineLen() override;
  // The configuration's counts (2n and n), or 200 and 100 before it exists.
  int GetTraceCount() override;
  int GetInTraceCount() override;
  int GetSamplesPerRec() override;
  Status NewConfig() override;
  // "\t%.0lf" of the auxiliary field, auxiliary count 2 and the signed
  // auxiliary counts 5 and 6; 0.
  int WriteRefs(const RefBlock& refs, std::string& tail) override;
  // out[i] (attenuation) and out[n + i] (absorption) of wavelength i.
  Status ComputeAbsorb(int n, std::span<double> out, std::span<const double> signal,
                       double temperature, std::span<const double> refs,
                       const TraceMap& map) override;
  Status ComputeUnCorrAbsorb(int n, std::span<double> out, std::span<const double> signal,
                             double temperature, std::span<const double> refs,
                             const TraceMap& map) override;
  int HasDepth() override;
  // Every skip-th wavelength of both halves; the instrument's skip value
  // (1 before it reported one).
  int GetTraceMap(TraceMap& map) override;
  int HasExtTemp() override;

  // The self-test with its panel, as the nine-wavelength meter's, over the
  // 2n channels of the wavelengths the instrument outputs, with the
  // nonconformity test; 3 s without a good sample end it (-1003).
  Status Diagnostics() override;
  // Offered when the configuration holds diagnostic limits (a minimum
  // reference count above 0).
  int HasDiagnostics() override;

  // The same self-test without windows over `samples` good samples, its
  // report written to `path`: `test` receives the test's result, `good` the
  // good samples taken; the result is the report's (1 or -1002). Nothing is
  // written when the test could not start.
  Status SelfTest(long samples, const std::string& path, Status& test, long& good,
                  const std::function<bool()>& stopRequested = {});
  // One sample into row `ring` of the record: the statistics over
  // min(count, 30) rows, the nonconformity and its limits, and `panel`
  // redrawn (none when 0). 1, -1022 for a lost sample, or the decoder's
  // failure.
  Status RefreshDiagnostics(BenthDiagWindow& record, int panel, int& ring, int count);

  BenthMeterConfig* benthConfig() const { return benthConfig_; }

  // The skip value the instrument reported at the last reset (0 before
  // one).
  int InstrumentSkip();
  // Sends the instrument the output spacing of skip value `skip` (1 ... 4)
  // at the configuration's baud rate, the port reopened at that rate
  // (BenthMeterConfig_SetParams); a reset synchronises on the new packets.
  // -1001 for another skip value, -1029 without a port.
  Status SetInstrumentSkip(int skip);


 private:
  BenthMeterConfig* benthConfig_ = nullptr;
};

}  // namespace sondrix
