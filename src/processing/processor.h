// SPDX-License-Identifier: GPL-3.0-or-later
// Processor: the run's calibrated lines in, corrected samples out, one at a
// time and in order, the same for a run being recorded and for a file read
// after it (docs/processing.md). For each line it gives:
//
// - a and c corrected for the water's temperature and salinity (a_ts,
//   c_ts, corrections.h), with the temperature and salinity it used and
//   where they came from: the user's value, else the ship's data at the
//   sample's time, else (temperature only) the meter's external
//   temperature; a salinity nothing gives is refused when the processor is
//   made, never assumed;
// - a corrected for scattering (none, baseline or proportional) with c_ts
//   interpolated to a's wavelengths;
// - the absorption line height at 676 nm, when the meter has the bands;
// - a quality flag on the IODE scheme (1 good, 2 not evaluated, 3 suspect,
//   4 bad, 9 missing) and the tests that set it (QualityTest).
//
// The c channels and the ship's data may lag the a channels (lagC,
// lagAncillary, seconds): the processor takes c (and the temperature and
// salinity) at the sample's time plus the lag, interpolated linearly in
// time between the lines around it. The spike test compares each value
// with the median of the kSpikeHalfWindow lines before and after it. So a
// sample comes out once the lines it needs have come in: kSpikeHalfWindow
// lines and the longest lag later; Finish gives the rest. The processor
// keeps only those lines: its memory does not grow with the run.
//
// It knows nothing of files, windows or the meter's classes: the caller
// hands it the line's values and the ship's data at the line's time.
#pragma once

#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "processing/corrections.h"
#include "processing/ts_table.h"
#include "source/source_line.h"

namespace sondrix {

// The IODE quality flags.
inline constexpr int kFlagGood = 1;
inline constexpr int kFlagNotEvaluated = 2;
inline constexpr int kFlagSuspect = 3;
inline constexpr int kFlagBad = 4;
inline constexpr int kFlagMissing = 9;
// "good not_evaluated suspect bad missing", in the order of kFlagValues.
inline constexpr int kFlagValues[] = {kFlagGood, kFlagNotEvaluated, kFlagSuspect, kFlagBad, kFlagMissing};
inline constexpr const char* kFlagMeanings = "good not_evaluated suspect bad missing";
// Whether a sample of `flag` enters a bin's statistics (a time bin's or a
// depth bin's): flagged good or not evaluated.
inline constexpr bool BinsUse(int flag) { return flag == kFlagGood || flag == kFlagNotEvaluated; }

// The tests, bits of CorrectedSample::tests, each with the flag it sets.
enum QualityTest : unsigned {
  kTestRange = 1u << 0,      // a value not finite or outside kValidMin ... kValidMax (4)
  kTestCBelowA = 1u << 1,    // c below a by more than kCBelowANoise at some wavelength (3)
  kTestSpike = 1u << 2,      // a value kSpikeDeviations robust deviations off its running median (3)
  kTestAncillary = 1u << 3,  // temperature or salinity stale or missing here (3)
  kTestLostLine = 1u << 4,   // a lost line just before or after the sample (2)
  kTestMissing = 1u << 5,    // the corrected values could not be made (9)
};
inline constexpr double kValidMin = -0.5;        // m-1
inline constexpr double kValidMax = 50.0;        // m-1
inline constexpr double kCBelowANoise = 0.015;   // m-1
inline constexpr int kSpikeHalfWindow = 5;       // lines each side: a window of 11
inline constexpr double kSpikeDeviations = 6.0;  // k
inline constexpr double kSpikeFloor = 0.003;     // m-1: the least robust deviation counted

// The meter's channels: the line's index and the wavelength of each a and
// each c channel that it measures.
struct ProcessorChannels {
  std::vector<int> aTrace, cTrace;
  std::vector<double> aWavelength, cWavelength;
};

struct ProcessingSettings {
  // Correct for the water's temperature and salinity (needs tCal, a
  // salinity source and a table covering the meter's wavelengths).
  bool correctTs = true;
  TsTable table;
  std::optional<double> tCal;  // degrees Celsius
  std::string tCalSource;      // where it came from, for the outputs ("" : the user)
  // The user's values: they win over any other.
  std::optional<double> temperature, salinity;
  // Whether the run's ship's data gives a temperature, a salinity.
  bool shipTemperature = false, shipSalinity = false;
  // Whether the meter's external temperature may stand for the water's.
  bool meterTemperature = true;
  // None: proportional for a meter with a and c, baseline for one with a
  // only, none for one with c only.
  std::optional<ScatterMethod> scatter;
  // None: DefaultReferenceWavelength.
  std::optional<double> referenceWavelength;
  double lagC = 0.0;          // seconds c lags a
  double lagAncillary = 0.0;  // seconds the ship's data lags a
};

// Whether a value a user gives may be one: "" when it may, else why.
std::string WaterTemperatureProblem(double degrees);  // -5 ... 50 degrees Celsius
std::string SalinityProblem(double salinity);          // 0 ... 50

// One calibrated line and what goes with it.
struct ProcessorInput {
  std::int64_t timeMs = 0;         // in time order (UTC or the run's own)
  std::span<const double> values;  // one per trace of the line
  double extTemperature = std::numeric_limits<double>::quiet_NaN();
  std::optional<double> temperature, salinity;  // the ship's, at timeMs
  bool lostBefore = false;         // a lost line came just before this one
};

// The input of a run's calibrated line (its values and external
// temperature; it must outlive the Push), at `timeMs`, with the ship's
// temperature and salinity at that time. A live run's consumer of the
// sample stream (session/sample_stream.h) hands each line it takes so,
// `lostBefore` set when the stream told it of a line it missed.
ProcessorInput InputOf(const SourceLine& line, std::int64_t timeMs, std::optional<double> temperature,
                       std::optional<double> salinity, bool lostBefore);

// Where a temperature or salinity came from.
enum class ValueOrigin { kNone, kUser, kShip, kShipStale, kMeter };

struct CorrectedSample {
  std::int64_t timeMs = 0;
  long sequence = 0;                     // the input's number, 0, 1, ...
  std::vector<double> aTs, cTs;          // by channel, as channels() lists them
  std::vector<double> aCorrected;        // T/S and scattering corrected, by a channel
  double temperature = std::numeric_limits<double>::quiet_NaN();
  double salinity = std::numeric_limits<double>::quiet_NaN();
  ValueOrigin temperatureOrigin = ValueOrigin::kNone, salinityOrigin = ValueOrigin::kNone;
  double lineHeight = std::numeric_limits<double>::quiet_NaN();
  int flag = kFlagGood;
  unsigned tests = 0;
};

// A line of the methods and parameters, for an output's attributes or
// header comments: a number when `number` is set, else `text`.
struct ProcessingAttribute {
  std::string name;
  std::string text;
  std::optional<double> number;
  // The value as text: the number ("%g") or the text.
  std::string Value() const;
};

class Processor {
 public:
  // A processor for `channels`, or null with `error` telling the user why
  // the settings cannot work (no T_cal, no salinity, a wavelength outside
  // the table, a scattering correction the channels cannot have, ...).
  static std::unique_ptr<Processor> Make(ProcessorChannels channels, ProcessingSettings settings, std::string& error);

  // One line; the samples now ready are appended to `out`.
  void Push(const ProcessorInput& input, std::vector<CorrectedSample>& out);
  // The samples still held, with what there is.
  void Finish(std::vector<CorrectedSample>& out);

  // The channels in rising wavelength (the samples' vectors follow them).
  const ProcessorChannels& channels() const { return channels_; }
  const ProcessingSettings& settings() const { return settings_; }
  ScatterMethod scatter() const { return scatter_; }
  std::optional<double> referenceWavelength() const { return reference_; }
  bool hasLineHeight() const { return bands_.has_value(); }
  const std::optional<LineHeightBands>& lineHeightBands() const { return bands_; }
  // The methods and their parameters.
  std::vector<ProcessingAttribute> Attributes() const;
  // Lines held now (bounded: the window and the lags).
  std::size_t held() const { return lines_.size(); }

 private:
  struct Line {
    std::int64_t timeMs = 0;
    long sequence = 0;
    std::vector<double> a, c;
    double extTemperature = 0.0;
    std::optional<double> temperature, salinity;
    bool lostBefore = false, lostAfter = false;
  };

  Processor() = default;
  bool Ready(std::size_t index) const;
  void Compute(std::size_t index, CorrectedSample& out);
  void Drop();
  // The value of `field` of the lines at `timeMs`, interpolated between the
  // lines around it from `from` on.
  template <class Field>
  std::optional<double> At(std::size_t from, std::int64_t timeMs, Field field) const;
  bool Spike(std::size_t index) const;

  ProcessorChannels channels_;
  ProcessingSettings settings_;
  ScatterMethod scatter_ = ScatterMethod::kNone;
  std::optional<double> reference_;
  std::optional<LineHeightBands> bands_;
  std::vector<TsCoefficients> psiA_, psiC_;
  std::int64_t lagCMs_ = 0, lagAncMs_ = 0, aheadMs_ = 0, behindMs_ = 0;
  std::deque<Line> lines_;
  std::size_t next_ = 0;  // the first line not yet given out
  long sequence_ = 0;
  std::optional<double> lastShipSalinity_;
  // Scratch for the spike test's medians.
  mutable std::vector<double> window_;
};

}  // namespace sondrix
