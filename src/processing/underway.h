// SPDX-License-Identifier: GPL-3.0-or-later
// Underway particulate absorption and attenuation from a switched filter
// (Slade et al. 2010; docs/processing.md, "Underway"). On a ship's clean
// seawater line the meter sees whole water, and now and then, while the
// flow-through valve routes the water through a 0.2 µm filter, only what
// is dissolved. The filtered periods measure the dissolved part (and the
// instrument's drift): a filtered period's dissolved spectrum is the median,
// wavelength by wavelength, of its a_ts and c_ts after flushing, at the
// median time of those samples. The particulate part of a whole-water
// sample after flushing is
//
//   a_p = a_ts - a_dissolved,  c_p = c_ts - c_dissolved
//
// with the dissolved value interpolated linearly in time between the
// filtered periods around the sample (before the first and after the last,
// the nearest one's, flagged extrapolated), and a_p then corrected for
// scattering with c_p (the dissolved part does not scatter). From the
// particulate spectra: the line height at 676 nm, the spectral slope gamma
// of c_p (c_p ~ lambda^-gamma, the least-squares line of ln c_p against
// ln lambda over the c wavelengths where c_p > 0; Boss et al. 2001) and,
// with a coefficient the user gives, POC = coefficient c_p(660 nm).
//
// The first `flushSeconds` after every switch of the valve (and after the
// start of the record) are flushing water: they belong to neither period.
//
// Live, the interpolation cannot be known yet: the particulate values use
// the last completed filtered period and are provisional. After the run the
// whole record's periods are known (two passes over it). Both take their
// samples from the same Processor (processing/processor.h).
#pragma once

#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "processing/corrections.h"
#include "processing/processor.h"

namespace sondrix {

// What the water in the meter was at a sample, as a byte flag of the files.
enum class FlowPeriod : std::uint8_t { kWhole = 0, kFiltered = 1, kFlushing = 2, kUnknown = 3 };
inline constexpr const char* kFlowPeriodMeanings = "whole filtered flushing unknown";

struct UnderwaySettings {
  double flushSeconds = 120.0;
  // Live: a filtered period whose spectra differ from the last one's by
  // more than this (m-1, at some wavelength) raises the alarm.
  double jumpAlarm = 0.05;
  // mg m-3 of particulate organic carbon per m-1 of c_p at 660 nm; none:
  // no POC.
  std::optional<double> pocCoefficient;
};
inline constexpr double kPocWavelength = 660.0;

// Whether a value a user gives may be one: "" when it may, else why.
std::string FlushProblem(double seconds);         // 0 ... 3600 s
std::string PocCoefficientProblem(double k);      // > 0

// The samples' periods, one at a time in time order.
class FlowClassifier {
 public:
  explicit FlowClassifier(double flushSeconds) : flushMs_(static_cast<std::int64_t>(flushSeconds * 1000.0)) {}
  // The period of the sample at `timeMs` whose valve state is `filtered`
  // (none: not known).
  FlowPeriod Take(std::int64_t timeMs, std::optional<bool> filtered);
  // The time of the last switch (or of the first known state), and the
  // last whole cycle of the valve: from one switch to filter to the next
  // (none before two).
  std::int64_t switchMs() const { return switchMs_; }
  std::optional<std::int64_t> cycleMs() const { return cycleMs_; }

 private:
  std::int64_t flushMs_;
  std::optional<bool> state_;
  std::int64_t switchMs_ = 0;
  std::optional<std::int64_t> filterSwitchMs_, cycleMs_;
};

// One filtered period: its dissolved spectra (by channel, as the
// processor's channels list them).
struct FilteredSpectrum {
  std::int64_t startMs = 0, endMs = 0;  // its first and last filtered sample (flushing included)
  std::int64_t medianMs = 0;            // the median time of the samples used
  long samples = 0;                     // used: after flushing, with finite values
  std::vector<double> a, c;
};

// Gathers the filtered periods of a record, sample by sample; holds the
// samples of one period at a time.
class FilteredPeriods {
 public:
  // A sample in time order: whether the valve was on filter (none: not
  // known), its period, and its T/S-corrected spectra.
  void Add(std::int64_t timeMs, std::optional<bool> filtered, FlowPeriod period, std::span<const double> aTs,
           std::span<const double> cTs);
  // The period in progress ends (the end of the record).
  void Finish();
  const std::vector<FilteredSpectrum>& periods() const { return periods_; }
  // How many periods have been completed (grows as Add closes them).
  std::size_t completed() const { return periods_.size(); }

 private:
  void Close();

  bool open_ = false;
  FilteredSpectrum current_;
  std::vector<std::int64_t> times_;
  std::vector<std::vector<double>> a_, c_;  // by channel, the samples used
  std::vector<FilteredSpectrum> periods_;
};

// The dissolved spectra at `timeMs` from `periods` (in time order):
// interpolated linearly in time between the periods' median times around
// it, or the nearest period's (extrapolated) before the first and after
// the last. False without any period.
struct Dissolved {
  std::vector<double> a, c;
  bool extrapolated = false;
};
bool DissolvedAt(std::span<const FilteredSpectrum> periods, std::int64_t timeMs, Dissolved& out);

// The spectral slope gamma of c_p: -1 times the least-squares slope of
// ln c_p against ln lambda over the wavelengths where c_p > 0 (at least
// three); NaN otherwise.
double ParticulateSlope(std::span<const double> wavelengths, std::span<const double> cp);

struct ParticulateSample {
  FlowPeriod period = FlowPeriod::kUnknown;
  // By channel; NaN unless a whole-water sample after flushing with a
  // dissolved value.
  std::vector<double> ap, cp;  // ap corrected for scattering with cp
  std::vector<double> ad, cd;  // the dissolved values used
  double slope = std::numeric_limits<double>::quiet_NaN();
  double lineHeight = std::numeric_limits<double>::quiet_NaN();
  double poc = std::numeric_limits<double>::quiet_NaN();
  bool extrapolated = false;
  bool provisional = false;
};

// The particulate values of one corrected sample of `processor` in
// `period`, with the dissolved spectra `dissolved` (null: none known).
void ParticulateOf(const Processor& processor, const UnderwaySettings& settings, const CorrectedSample& sample,
                   FlowPeriod period, const Dissolved* dissolved, ParticulateSample& out);

// The method and its parameters, for an output's attributes.
std::vector<ProcessingAttribute> UnderwayAttributes(const UnderwaySettings& settings, const Processor& processor);

// The live particulate values of a run: the periods as the samples come,
// each whole-water sample against the last completed filtered period
// (provisional).
class LiveUnderway {
 public:
  explicit LiveUnderway(UnderwaySettings settings) : settings_(settings), flow_(settings.flushSeconds) {}
  void Take(const Processor& processor, const CorrectedSample& sample, std::optional<bool> filtered,
            ParticulateSample& out);
  const FilteredPeriods& periods() const { return periods_; }
  // What is wrong with the switching, "" when nothing: "valve stuck: no
  // switch for 130 min (a cycle is 60 min)" when the valve has not
  // changed for more than twice its cycle; "filtered spectra jumped by
  // 0.072 1/m at 412 nm" when the last filtered period's spectra differ
  // from the one before by more than settings.jumpAlarm.
  std::string Alarm() const;
  // The filtered and flushing stretches of the run so far (the latest
  // kMaxFlowSpans), for a time graph to shade.
  struct FlowSpan {
    std::int64_t fromMs = 0, toMs = 0;
    FlowPeriod period = FlowPeriod::kFiltered;
  };
  static constexpr std::size_t kMaxFlowSpans = 4096;
  const std::deque<FlowSpan>& spans() const { return spans_; }

 private:
  UnderwaySettings settings_;
  FlowClassifier flow_;
  FilteredPeriods periods_;
  std::deque<FlowSpan> spans_;
  FlowPeriod lastPeriod_ = FlowPeriod::kUnknown;
  std::int64_t lastMs_ = 0;
  std::vector<double> wavelengths_;  // a's then c's, for the alarm's words
};

}  // namespace sondrix
