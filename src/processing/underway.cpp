// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/underway.h"

#include <algorithm>
#include <cmath>

#include "common/text_format.h"
#include "processing/statistics.h"

namespace sondrix {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool AllFinite(std::span<const double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

}  // namespace

std::string FlushProblem(double seconds) {
  return seconds < 0.0 || seconds > 3600.0 ? "not 0 ... 3600 seconds" : "";
}

std::string PocCoefficientProblem(double k) { return k <= 0.0 ? "not a positive coefficient" : ""; }

FlowPeriod FlowClassifier::Take(std::int64_t timeMs, std::optional<bool> filtered) {
  if (!filtered) return FlowPeriod::kUnknown;
  // The start of the record is a switch too: what was in the tube before is
  // not known.
  if (!state_ || *state_ != *filtered) {
    if (*filtered && state_) {
      if (filterSwitchMs_) cycleMs_ = timeMs - *filterSwitchMs_;
      filterSwitchMs_ = timeMs;
    }
    state_ = filtered;
    switchMs_ = timeMs;
  }
  if (timeMs - switchMs_ < flushMs_) return FlowPeriod::kFlushing;
  return *filtered ? FlowPeriod::kFiltered : FlowPeriod::kWhole;
}

void FilteredPeriods::Add(std::int64_t timeMs, std::optional<bool> filtered, FlowPeriod period,
                          std::span<const double> aTs, std::span<const double> cTs) {
  // A filtered period lasts while the valve is on filter, its flushing
  // included; a sample on whole water (or of no known state) closes it.
  if (!filtered || !*filtered) {
    if (open_) Close();
    return;
  }
  if (!open_) {
    open_ = true;
    current_ = FilteredSpectrum{};
    current_.startMs = timeMs;
    a_.assign(aTs.size(), {});
    c_.assign(cTs.size(), {});
    times_.clear();
  }
  current_.endMs = timeMs;
  if (period != FlowPeriod::kFiltered || !AllFinite(aTs) || !AllFinite(cTs)) return;
  times_.push_back(timeMs);
  for (std::size_t k = 0; k < aTs.size() && k < a_.size(); ++k) a_[k].push_back(aTs[k]);
  for (std::size_t k = 0; k < cTs.size() && k < c_.size(); ++k) c_[k].push_back(cTs[k]);
}

void FilteredPeriods::Finish() {
  if (open_) Close();
}

void FilteredPeriods::Close() {
  open_ = false;
  // A period no longer than its flushing gives nothing.
  if (times_.empty()) return;
  current_.samples = static_cast<long>(times_.size());
  // The median time of the samples used (times in order: the middle one,
  // or the mean of the middle two).
  const std::size_t n = times_.size();
  current_.medianMs = n % 2 == 1 ? times_[n / 2] : times_[n / 2 - 1] + (times_[n / 2] - times_[n / 2 - 1]) / 2;
  current_.a.resize(a_.size());
  current_.c.resize(c_.size());
  for (std::size_t k = 0; k < a_.size(); ++k) current_.a[k] = Median(a_[k]);
  for (std::size_t k = 0; k < c_.size(); ++k) current_.c[k] = Median(c_[k]);
  periods_.push_back(std::move(current_));
  current_ = FilteredSpectrum{};
  times_.clear();
}

bool DissolvedAt(std::span<const FilteredSpectrum> periods, std::int64_t timeMs, Dissolved& out) {
  if (periods.empty()) return false;
  const auto after = std::upper_bound(periods.begin(), periods.end(), timeMs,
                                      [](std::int64_t t, const FilteredSpectrum& p) { return t < p.medianMs; });
  if (after == periods.begin() || after == periods.end()) {
    const FilteredSpectrum& nearest = after == periods.begin() ? periods.front() : periods.back();
    out.a = nearest.a;
    out.c = nearest.c;
    out.extrapolated = timeMs != nearest.medianMs;
    return true;
  }
  const FilteredSpectrum& lo = *(after - 1);
  const FilteredSpectrum& hi = *after;
  const double f = static_cast<double>(timeMs - lo.medianMs) / static_cast<double>(hi.medianMs - lo.medianMs);
  const auto mix = [f](const std::vector<double>& x, const std::vector<double>& y, std::vector<double>& to) {
    to.resize(x.size());
    for (std::size_t k = 0; k < x.size(); ++k) to[k] = k < y.size() ? x[k] + f * (y[k] - x[k]) : kNaN;
  };
  mix(lo.a, hi.a, out.a);
  mix(lo.c, hi.c, out.c);
  out.extrapolated = false;
  return true;
}

double ParticulateSlope(std::span<const double> wavelengths, std::span<const double> cp) {
  double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
  int n = 0;
  for (std::size_t k = 0; k < wavelengths.size() && k < cp.size(); ++k) {
    if (!(cp[k] > 0.0) || !std::isfinite(cp[k]) || !(wavelengths[k] > 0.0)) continue;
    const double x = std::log(wavelengths[k]), y = std::log(cp[k]);
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
    ++n;
  }
  if (n < 3) return kNaN;
  const double denominator = n * sxx - sx * sx;
  if (!(denominator != 0.0)) return kNaN;
  return -(n * sxy - sx * sy) / denominator;
}

void ParticulateOf(const Processor& processor, const UnderwaySettings& settings, const CorrectedSample& sample,
                   FlowPeriod period, const Dissolved* dissolved, ParticulateSample& out) {
  const ProcessorChannels& ch = processor.channels();
  const std::size_t na = ch.aWavelength.size(), nc = ch.cWavelength.size();
  out.period = period;
  out.ap.assign(na, kNaN);
  out.cp.assign(nc, kNaN);
  out.ad.assign(na, kNaN);
  out.cd.assign(nc, kNaN);
  out.slope = out.lineHeight = out.poc = kNaN;
  out.extrapolated = false;
  if (dissolved == nullptr) return;
  out.ad = dissolved->a;
  out.cd = dissolved->c;
  out.ad.resize(na, kNaN);
  out.cd.resize(nc, kNaN);
  if (period != FlowPeriod::kWhole) return;
  out.extrapolated = dissolved->extrapolated;
  std::vector<double> ap(na);
  for (std::size_t k = 0; k < na; ++k) ap[k] = sample.aTs[k] - out.ad[k];
  for (std::size_t k = 0; k < nc; ++k) out.cp[k] = sample.cTs[k] - out.cd[k];
  std::vector<double> cpAtA;
  ScatterSpectrum(processor.scatter(), ch.aWavelength, ap, ch.cWavelength, out.cp, processor.referenceWavelength(),
                  cpAtA, out.ap);
  out.slope = ParticulateSlope(ch.cWavelength, out.cp);
  if (const std::optional<LineHeightBands>& bands = processor.lineHeightBands()) out.lineHeight = LineHeight(*bands, out.ap);
  if (settings.pocCoefficient)
    out.poc = *settings.pocCoefficient * Interpolate(ch.cWavelength, out.cp, kPocWavelength, kCReach);
}

std::vector<ProcessingAttribute> UnderwayAttributes(const UnderwaySettings& settings, const Processor& processor) {
  std::vector<ProcessingAttribute> list;
  list.push_back({"underway_method",
                  "particulate = whole water minus dissolved, the dissolved spectrum of each filtered period (0.2 um "
                  "filter) the per-wavelength median of its a_ts and c_ts after flushing at the median time of those "
                  "samples, interpolated linearly in time between the filtered periods around each sample (the "
                  "nearest period's before the first and after the last, flagged extrapolated) (Slade et al. 2010, "
                  "J. Atmos. Oceanic Technol. 27:1733)",
                  std::nullopt});
  list.push_back({"underway_flush_seconds", {}, settings.flushSeconds});
  list.push_back({"particulate_scattering_correction",
                  std::string(ScatterMethodName(processor.scatter())) +
                      " on a_p with c_p (the dissolved part does not scatter; Zaneveld, Kitchen and Moore 1994)",
                  std::nullopt});
  list.push_back({"particulate_slope_method",
                  "gamma of c_p ~ lambda^-gamma: minus the least-squares slope of ln c_p against ln lambda over the "
                  "attenuation wavelengths where c_p > 0, at least three (Boss et al. 2001, J. Geophys. Res. "
                  "106(C5):9509; Boss, Twardowski and Herring 2001, Appl. Opt. 40(27):4885)",
                  std::nullopt});
  if (settings.pocCoefficient) {
    list.push_back({"poc_method", Format("POC = %g mg m-3 per m-1 times c_p at %g nm (c_p interpolated linearly)",
                                         *settings.pocCoefficient, kPocWavelength),
                    std::nullopt});
    list.push_back({"poc_coefficient", {}, *settings.pocCoefficient});
  }
  return list;
}

std::string LiveUnderway::Alarm() const {
  if (const std::optional<std::int64_t> cycle = flow_.cycleMs(); cycle && *cycle > 0) {
    const std::int64_t still = lastMs_ - flow_.switchMs();
    if (still > 2 * *cycle)
      return Format("valve stuck: no switch for %lld min (a cycle is %lld min)", static_cast<long long>(still / 60000),
                    static_cast<long long>(*cycle / 60000));
  }
  const std::vector<FilteredSpectrum>& done = periods_.periods();
  if (done.size() < 2) return {};
  const FilteredSpectrum& last = done.back();
  const FilteredSpectrum& before = done[done.size() - 2];
  double jump = 0.0;
  std::size_t at = 0;
  for (std::size_t k = 0; k < last.a.size() + last.c.size(); ++k) {
    const bool a = k < last.a.size();
    const double now = a ? last.a[k] : last.c[k - last.a.size()];
    const double then = a ? before.a[k] : before.c[k - last.a.size()];
    if (std::isfinite(now) && std::isfinite(then) && std::abs(now - then) > jump) {
      jump = std::abs(now - then);
      at = k;
    }
  }
  if (jump <= settings_.jumpAlarm) return {};
  return Format("filtered spectra jumped by %.3f 1/m at %s%g nm", jump, at < last.a.size() ? "a " : "c ",
                at < wavelengths_.size() ? wavelengths_[at] : 0.0);
}

void LiveUnderway::Take(const Processor& processor, const CorrectedSample& sample, std::optional<bool> filtered,
                        ParticulateSample& out) {
  if (wavelengths_.empty()) {
    wavelengths_ = processor.channels().aWavelength;
    wavelengths_.insert(wavelengths_.end(), processor.channels().cWavelength.begin(),
                        processor.channels().cWavelength.end());
  }
  lastMs_ = sample.timeMs;
  const FlowPeriod period = flow_.Take(sample.timeMs, filtered);
  if (period == FlowPeriod::kFiltered || period == FlowPeriod::kFlushing) {
    if (!spans_.empty() && lastPeriod_ == period) {
      spans_.back().toMs = sample.timeMs;
    } else {
      spans_.push_back({sample.timeMs, sample.timeMs, period});
      if (spans_.size() > kMaxFlowSpans) spans_.pop_front();
    }
  }
  lastPeriod_ = period;
  periods_.Add(sample.timeMs, filtered, period, sample.aTs, sample.cTs);
  // The last completed filtered period stands for the dissolved part until
  // the next one is known.
  const std::vector<FilteredSpectrum>& done = periods_.periods();
  if (done.empty()) {
    ParticulateOf(processor, settings_, sample, period, nullptr, out);
  } else {
    Dissolved dissolved{done.back().a, done.back().c, false};
    ParticulateOf(processor, settings_, sample, period, &dissolved, out);
  }
  out.provisional = true;
}

}  // namespace sondrix
