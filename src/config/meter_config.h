// SPDX-License-Identifier: GPL-3.0-or-later
// MeterConfig: configuration and calibration of the absorption/attenuation
// meters: per trace its name, wavelength, colour and offset; the temperature
// correction (linear in structure version 0, temperature bins from version
// 1); from version 2 the self-test limits and the auxiliary capabilities.
// Also the configuration editor and its two field calibrations.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/self_test_limits.h"
#include "config/trace_config.h"
#include "config/temp_bins.h"

namespace sondrix {

class DPort;
class Source;

inline constexpr int kMaxTempBins = 100;

struct TraceCal {
  std::string name;          // heading, e.g. a412 or c650; at most 15 characters
  double offset = 0.0;       // 1/m, added to the computed value
  double refTemp = 0.0;      // version 0: reference temperature, degrees C
  double tempSlope = 0.0;    // version 0: 1/m per degree C
  double wavelength = 0.0;   // nm, taken from the name
  int color = 0;             // palette index 0 ... 255
  std::array<double, kMaxTempBins> tempCorr{};  // version >= 1: 1/m per bin

  static constexpr std::size_t kNameMax = 15;
};

// The bins, traces (traceCount records; empty until read) and limits
// (structure version 2 and later) are TraceConfig's.
class MeterConfig : public TraceConfig<TraceCal, kMaxTempBins, SelfTestLimits> {
 public:
  MeterConfig(int traceCount, int inTraceCount);
  ~MeterConfig() override;

  Status WriteConfig(std::FILE* file) const override;
  Status ReadConfig(std::FILE* file) override;
  Status CopyConfig(Config& to) const override;
  int CompConfig(const Config& other) const override;
  Status GetHeading(int index, std::string& heading) const override;

  // The configuration editor, working on a copy that is copied back on OK.
  // `device` is the source the configuration belongs to (its port and
  // uncorrected samples serve the calibrations). 1 (accepted), -1021
  // (cancelled, changed = 0) or -1016.
  using Config::EditConfig;
  Status EditConfig(Source& device, int& changed) override;

  std::int32_t auxCapabilities = 0;  // bit 0: external temperature sensor
};

// The temperature correction at one instrument temperature, chosen once for
// all traces: the linear model of structure version 0, or from version 1 the
// correction interpolated between the two neighbouring temperature bins (the
// first or last pair extrapolates beyond the table). One bin applies as it
// stands; no bins, or bracketing temperatures equal or too close to divide
// by, correct nothing.
class TempCorrection {
 public:
  TempCorrection(const MeterConfig& config, double temperature);
  // The term added to a trace's value (1/m).
  double Term(const TraceCal& cal) const;

 private:
  bool linear_;
  double temperature_;
  BinInterpolation bins_;
};

// Offset calibration against a reference sample (clean water): reads
// `sampleCount` uncorrected samples from `device` and sets the offsets of the
// A and/or C traces so that they read zero.
Status MeterConfig_Calibrate(Source& device, MeterConfig& config, int samplesPerRec, DPort& port,
                             int sampleCount, bool doA, bool doC);

// Depth zeroing at the surface: averages `sampleCount` packets' depth and
// sets depthOffset so that it reads zero.
Status MeterConfig_DepthCalibrate(Source& device, MeterConfig& config, int samplesPerRec,
                                  DPort& port, int sampleCount);

}  // namespace sondrix
