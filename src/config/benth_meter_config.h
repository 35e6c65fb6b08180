// SPDX-License-Identifier: GPL-3.0-or-later
// BenthMeterConfig: configuration and calibration of the hyperspectral
// absorption/attenuation meter: up to 100 output wavelengths, each with an
// attenuation ("c") trace and an absorption ("a") trace, separate C and A
// offsets and temperature corrections over up to 200 temperature bins, the
// wavelength skip value, eleven self-test limits (BenthSelfTestLimits), the editor with its
// calibrations and the command that sets the instrument's output spacing and
// baud rate.
//
// Traces: with n output wavelengths (inTraceCount) there are 2n traces
// (traceCount); trace i < n is the attenuation trace of wavelength i, trace
// n + i its absorption trace. Record i holds the calibration of wavelength i;
// record n + i holds only the absorption trace's wavelength and colour.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/self_test_limits.h"
#include "config/trace_config.h"

namespace sondrix {

class DPort;
class Source;

inline constexpr int kMaxBenthWavelengths = 100;
inline constexpr int kMaxBenthTempBins = 200;
inline constexpr int kMaxBenthSkip = 4;

struct BenthTraceCal {
  std::string name;          // the C trace's name, e.g. c412.5
  double cOffset = 0.0;      // 1/m
  double aOffset = 0.0;      // 1/m
  std::array<double, kMaxBenthTempBins> cTempCorr{};
  std::array<double, kMaxBenthTempBins> aTempCorr{};
  double wavelength = 0.0;   // nm; in record n + i the A trace's
  int color = 0;             // palette index
  std::string aName;         // structure version 3 and later: the A trace's name

  static constexpr std::size_t kNameMax = 15;
  static constexpr std::size_t kANameMax = 19;
};

// The bins, traces (traceCount records; empty until read) and limits (zero
// before structure version 2) are TraceConfig's.
class BenthMeterConfig : public TraceConfig<BenthTraceCal, kMaxBenthTempBins, BenthSelfTestLimits> {
 public:
  BenthMeterConfig(int traceCount, int inTraceCount);
  ~BenthMeterConfig() override;

  // Writes at least structure version 2 (a version 1 file comes back as
  // version 2, with its limits line).
  Status WriteConfig(std::FILE* file) const override;
  Status ReadConfig(std::FILE* file) override;
  Status CopyConfig(Config& to) const override;
  int CompConfig(const Config& other) const override;
  Status GetHeading(int index, std::string& heading) const override;

  // The editor, working on a copy that is copied back on OK. 1 (accepted),
  // -1021 (cancelled, changed = 0) or -1016.
  using Config::EditConfig;
  Status EditConfig(Source& device, int& changed) override;

  // n: the number of output wavelengths the records hold.
  int Wavelengths() const;

  // Whether a file of this configuration can hold skip value `skip`: 1 ...
  // 4, and only 1 from structure version 3 on (such a file gives the
  // number of its output wavelengths in its place).
  bool HoldsSkip(int skip) const;
  // Asks for a file ("Save a copy of the configuration to file:") and
  // writes this configuration there with skip value `skip`; the file goes
  // to `path`. 1, -1021 when cancelled, -1001 for a skip value the file
  // cannot hold, or SaveConfig's failures.
  Status SaveCopyWithSkip(int skip, std::string& path) const;

  std::int8_t skip = 1;  // the instrument outputs every skip-th wavelength
};

// The instrument's spacing code of an output percentage: 100 -> 1, 50 -> 2,
// 33 -> 3, 25 -> 4, anything else 1.
int BenthSpacingCode(int percent);

// Whether changing the skip value from `oldSkip` to `newSkip` puts the
// calibration in question (both positive and the new one no multiple of
// the old one).
bool BenthCalibrationInQuestion(int oldSkip, int newSkip);

// The A trace's palette index for a C trace's: the darker half of the
// palette (plus 128) where there is one.
int BenthAColor(int cColor);

// The trace map of n wavelengths at skip value s: 5 (attenuation) at 0, s,
// 2s, ... below n, 3 (absorption) at n, n + s, ... below 2n; with s = 3 the
// last wavelength of each half stays off. A skip value outside 1 ... 4
// maps nothing. Returns nothing; entries from 2n on are cleared too.
void FillBenthTraceMap(int n, int skip, std::span<std::int32_t> map);

// Offset calibration against clean water: averages `sampleCount`
// uncorrected samples and sets, for each wavelength whose `selected` flag is
// set, aOffset (doA) and cOffset (doC) to minus the mean.
Status BenthMeterConfig_Calibrate(Source& device, BenthMeterConfig& config, int samplesPerRec,
                                  DPort& port, int sampleCount, bool doA, bool doC,
                                  std::span<const std::uint8_t> selected);

// Depth zeroing at the surface with the hyperspectral packet decoder.
Status BenthMeterConfig_DepthCalibrate(BenthMeterConfig& config, int samplesPerRec, DPort& port,
                                       int sampleCount);

// Sends the instrument the output spacing of `percent` and `baudRate`, and
// reopens `port` at that rate.
Status BenthMeterConfig_SetParams(BenthMeterConfig& config, DPort& port, int percent,
                                  int baudRate);

}  // namespace sondrix
