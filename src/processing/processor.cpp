// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/processor.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "common/text_format.h"

namespace sondrix {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The channels of one kind in rising wavelength.
void Sort(std::vector<int>& traces, std::vector<double>& wavelengths) {
  std::vector<std::size_t> order(traces.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t x, std::size_t y) { return wavelengths[x] < wavelengths[y]; });
  std::vector<int> t;
  std::vector<double> w;
  for (std::size_t k : order) {
    t.push_back(traces[k]);
    w.push_back(wavelengths[k]);
  }
  traces = std::move(t);
  wavelengths = std::move(w);
}

std::int64_t Milliseconds(double seconds) { return static_cast<std::int64_t>(std::llround(seconds * 1000.0)); }

bool InRange(double value) { return std::isfinite(value) && value >= kValidMin && value <= kValidMax; }

// The coefficients of every wavelength; false with `error` naming the first
// outside the table.
bool Coefficients(const TsTable& table, const std::vector<double>& wavelengths, std::vector<TsCoefficients>& psi,
                  std::string& error) {
  psi.clear();
  for (double w : wavelengths) {
    const std::optional<TsCoefficients> at = table.At(w);
    if (!at) {
      error = Format("the temperature and salinity table %s covers %g ... %g nm; the meter's wavelength %g nm is "
                     "outside it (give a table that covers it)",
                     table.name().c_str(), table.first(), table.last(), w);
      return false;
    }
    psi.push_back(*at);
  }
  return true;
}

}  // namespace

ProcessorInput InputOf(const SourceLine& line, std::int64_t timeMs, std::optional<double> temperature,
                       std::optional<double> salinity, bool lostBefore) {
  ProcessorInput input;
  input.timeMs = timeMs;
  input.values = line.values;
  input.extTemperature = line.extTemperature;
  input.temperature = temperature;
  input.salinity = salinity;
  input.lostBefore = lostBefore;
  return input;
}

std::unique_ptr<Processor> Processor::Make(ProcessorChannels channels, ProcessingSettings settings,
                                           std::string& error) {
  std::unique_ptr<Processor> p(new Processor());
  if (channels.aTrace.size() != channels.aWavelength.size() || channels.cTrace.size() != channels.cWavelength.size()) {
    error = "the channels' traces and wavelengths differ in number";
    return nullptr;
  }
  if (channels.aTrace.empty() && channels.cTrace.empty()) {
    error = "the meter has no absorption or attenuation channels";
    return nullptr;
  }
  Sort(channels.aTrace, channels.aWavelength);
  Sort(channels.cTrace, channels.cWavelength);
  const bool hasA = !channels.aTrace.empty(), hasC = !channels.cTrace.empty();

  if (settings.correctTs) {
    if (!settings.tCal) {
      error = "no calibration temperature (T_cal): the temperature and salinity correction needs the water "
              "temperature of the clean-water calibration; give it (--t-cal) or calibrate the offsets again";
      return nullptr;
    }
    if (!settings.salinity && !settings.shipSalinity) {
      error = "no salinity: give the water's salinity (--salinity) or record the ship's salinity with the run; "
              "it is never assumed";
      return nullptr;
    }
    if (!settings.temperature && !settings.shipTemperature && !settings.meterTemperature) {
      error = "no water temperature: give it (--temperature) or record the ship's temperature with the run";
      return nullptr;
    }
    if (!Coefficients(settings.table, channels.aWavelength, p->psiA_, error) ||
        !Coefficients(settings.table, channels.cWavelength, p->psiC_, error))
      return nullptr;
  }

  p->scatter_ = settings.scatter.value_or(hasA && hasC ? ScatterMethod::kProportional
                                          : hasA       ? ScatterMethod::kBaseline
                                                       : ScatterMethod::kNone);
  if (p->scatter_ != ScatterMethod::kNone) {
    if (!hasA) {
      error = "a meter without absorption channels has no scattering correction (--scatter none)";
      return nullptr;
    }
    if (p->scatter_ == ScatterMethod::kProportional && !hasC) {
      error = "the proportional scattering correction needs attenuation (c) channels; this meter has absorption "
              "only (--scatter baseline or none)";
      return nullptr;
    }
    p->reference_ = settings.referenceWavelength ? settings.referenceWavelength
                                                 : DefaultReferenceWavelength(channels.aWavelength);
    if (!p->reference_) {
      error = Format("the scattering correction needs a reference wavelength: the meter has no absorption "
                     "wavelength at or above 700 nm (its longest is %g nm); give one (--reference-wavelength) or "
                     "--scatter none",
                     channels.aWavelength.back());
      return nullptr;
    }
    if (!(*p->reference_ >= channels.aWavelength.front() && *p->reference_ <= channels.aWavelength.back())) {
      error = Format("the reference wavelength %g nm lies outside the meter's absorption wavelengths (%g ... %g nm)",
                     *p->reference_, channels.aWavelength.front(), channels.aWavelength.back());
      return nullptr;
    }
  }
  p->bands_ = FindLineHeightBands(channels.aWavelength);
  p->lagCMs_ = Milliseconds(settings.lagC);
  p->lagAncMs_ = Milliseconds(settings.lagAncillary);
  p->aheadMs_ = std::max<std::int64_t>({0, p->lagCMs_, p->lagAncMs_});
  p->behindMs_ = std::min<std::int64_t>({0, p->lagCMs_, p->lagAncMs_});
  p->channels_ = std::move(channels);
  p->settings_ = std::move(settings);
  return p;
}

void Processor::Push(const ProcessorInput& input, std::vector<CorrectedSample>& out) {
  Line line;
  line.timeMs = input.timeMs;
  line.sequence = sequence_++;
  const auto take = [&input](const std::vector<int>& traces, std::vector<double>& to) {
    to.resize(traces.size());
    for (std::size_t k = 0; k < traces.size(); ++k) {
      const auto at = static_cast<std::size_t>(traces[k]);
      to[k] = at < input.values.size() ? input.values[at] : kNaN;
    }
  };
  take(channels_.aTrace, line.a);
  take(channels_.cTrace, line.c);
  line.extTemperature = input.extTemperature;
  line.temperature = input.temperature;
  line.salinity = input.salinity;
  line.lostBefore = input.lostBefore;
  if (line.lostBefore && !lines_.empty()) lines_.back().lostAfter = true;
  lines_.push_back(std::move(line));
  while (next_ < lines_.size() && Ready(next_)) {
    out.emplace_back();
    Compute(next_, out.back());
    ++next_;
    Drop();
  }
}

void Processor::Finish(std::vector<CorrectedSample>& out) {
  while (next_ < lines_.size()) {
    out.emplace_back();
    Compute(next_, out.back());
    ++next_;
  }
  lines_.clear();
  next_ = 0;
}

bool Processor::Ready(std::size_t index) const {
  return lines_.size() - 1 - index >= static_cast<std::size_t>(kSpikeHalfWindow) &&
         lines_.back().timeMs >= lines_[index].timeMs + aheadMs_;
}

// Lines before the next one's spike window, and before the earliest time a
// lag looks back to (keeping the one at or before it), go.
void Processor::Drop() {
  const std::int64_t need = (next_ < lines_.size() ? lines_[next_].timeMs : lines_.back().timeMs) + behindMs_;
  while (next_ > static_cast<std::size_t>(kSpikeHalfWindow) && lines_.size() >= 2 && lines_[1].timeMs <= need) {
    lines_.pop_front();
    --next_;
  }
}

template <class Field>
std::optional<double> Processor::At(std::size_t from, std::int64_t timeMs, Field field) const {
  // Back to the last line at or before the time, then on to the one after.
  std::size_t j = from;
  while (j > 0 && lines_[j].timeMs > timeMs) --j;
  while (j + 1 < lines_.size() && lines_[j + 1].timeMs <= timeMs) ++j;
  const std::optional<double> lo = field(lines_[j]);
  if (lines_[j].timeMs == timeMs) return lo;
  if (lines_[j].timeMs > timeMs || j + 1 >= lines_.size()) return std::nullopt;  // outside the lines held
  const std::optional<double> hi = field(lines_[j + 1]);
  if (!lo || !hi) return lo ? lo : hi;
  const double f = static_cast<double>(timeMs - lines_[j].timeMs) /
                   static_cast<double>(lines_[j + 1].timeMs - lines_[j].timeMs);
  return *lo + f * (*hi - *lo);
}

bool Processor::Spike(std::size_t index) const {
  const std::size_t from = index >= static_cast<std::size_t>(kSpikeHalfWindow) ? index - kSpikeHalfWindow : 0;
  const std::size_t to = std::min(lines_.size(), index + kSpikeHalfWindow + 1);
  if (to - from < 3) return false;
  const auto median = [this](std::size_t n) {
    const auto mid = window_.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(window_.begin(), mid, window_.begin() + static_cast<std::ptrdiff_t>(n));
    double m = *mid;
    if (n % 2 == 0) m = (m + *std::max_element(window_.begin(), mid)) / 2.0;
    return m;
  };
  const auto spiky = [&](std::vector<double> Line::*kind, std::size_t k) {
    window_.clear();
    for (std::size_t j = from; j < to; ++j) {
      const double v = (lines_[j].*kind)[k];
      if (std::isfinite(v)) window_.push_back(v);
    }
    const double x = (lines_[index].*kind)[k];
    if (window_.size() < 3 || !std::isfinite(x)) return false;
    const std::size_t n = window_.size();
    const double med = median(n);
    for (double& v : window_) v = std::abs(v - med);
    const double deviation = std::max(1.4826 * median(n), kSpikeFloor);
    return std::abs(x - med) > kSpikeDeviations * deviation;
  };
  for (std::size_t k = 0; k < channels_.aTrace.size(); ++k) {
    if (spiky(&Line::a, k)) return true;
  }
  for (std::size_t k = 0; k < channels_.cTrace.size(); ++k) {
    if (spiky(&Line::c, k)) return true;
  }
  return false;
}

void Processor::Compute(std::size_t index, CorrectedSample& out) {
  const Line& line = lines_[index];
  out.timeMs = line.timeMs;
  out.sequence = line.sequence;
  const std::size_t na = line.a.size(), nc = line.c.size();
  unsigned tests = 0;

  // c at the sample's time plus its lag.
  std::vector<double> c = line.c;
  if (lagCMs_ != 0) {
    for (std::size_t k = 0; k < nc; ++k) {
      c[k] = At(index, line.timeMs + lagCMs_, [k](const Line& l) -> std::optional<double> { return l.c[k]; })
                 .value_or(kNaN);
    }
  }
  for (double v : line.a) tests |= InRange(v) ? 0u : kTestRange;
  for (double v : line.c) tests |= InRange(v) ? 0u : kTestRange;

  // The water's temperature and salinity.
  const std::int64_t shipTime = line.timeMs + lagAncMs_;
  const std::optional<double> shipT =
      lagAncMs_ == 0 ? line.temperature : At(index, shipTime, [](const Line& l) { return l.temperature; });
  const std::optional<double> shipS =
      lagAncMs_ == 0 ? line.salinity : At(index, shipTime, [](const Line& l) { return l.salinity; });
  if (settings_.temperature) {
    out.temperature = *settings_.temperature;
    out.temperatureOrigin = ValueOrigin::kUser;
  } else if (shipT) {
    out.temperature = *shipT;
    out.temperatureOrigin = ValueOrigin::kShip;
  } else if (settings_.meterTemperature && std::isfinite(line.extTemperature)) {
    out.temperature = line.extTemperature;
    out.temperatureOrigin = ValueOrigin::kMeter;
    if (settings_.shipTemperature) tests |= kTestAncillary;  // the ship's is missing here
  }
  if (settings_.salinity) {
    out.salinity = *settings_.salinity;
    out.salinityOrigin = ValueOrigin::kUser;
  } else if (shipS) {
    out.salinity = *shipS;
    out.salinityOrigin = ValueOrigin::kShip;
    lastShipSalinity_ = shipS;
  } else if (lastShipSalinity_) {
    out.salinity = *lastShipSalinity_;
    out.salinityOrigin = ValueOrigin::kShipStale;
    tests |= kTestAncillary;
  }

  // Temperature and salinity.
  out.aTs = line.a;
  out.cTs = c;
  if (settings_.correctTs) {
    if (out.temperatureOrigin == ValueOrigin::kNone || out.salinityOrigin == ValueOrigin::kNone) {
      tests |= kTestAncillary;
      std::fill(out.aTs.begin(), out.aTs.end(), kNaN);
      std::fill(out.cTs.begin(), out.cTs.end(), kNaN);
    } else {
      const double tCal = *settings_.tCal;
      for (std::size_t k = 0; k < na; ++k)
        out.aTs[k] = TsCorrected(line.a[k], psiA_[k].psiT, psiA_[k].psiSa, out.temperature, tCal, out.salinity);
      for (std::size_t k = 0; k < nc; ++k)
        out.cTs[k] = TsCorrected(c[k], psiC_[k].psiT, psiC_[k].psiSc, out.temperature, tCal, out.salinity);
    }
  }

  // Scattering, on a_ts with c_ts at a's wavelengths.
  const std::vector<double>& wa = channels_.aWavelength;
  std::vector<double> cAtA;
  ScatterSpectrum(scatter_, wa, out.aTs, channels_.cWavelength, out.cTs, reference_, cAtA, out.aCorrected);
  if (nc > 0) {
    for (std::size_t k = 0; k < na; ++k) {
      const double rawC = Interpolate(channels_.cWavelength, line.c, wa[k], kCReach);
      if (std::isfinite(rawC) && std::isfinite(line.a[k]) && rawC < line.a[k] - kCBelowANoise) tests |= kTestCBelowA;
    }
  }
  if (bands_) out.lineHeight = LineHeight(*bands_, out.aCorrected);

  if (Spike(index)) tests |= kTestSpike;
  if (line.lostBefore || line.lostAfter) tests |= kTestLostLine;
  const auto finite = [](const std::vector<double>& v) {
    return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
  };
  if (!(tests & kTestRange) && (!finite(out.aCorrected) || !finite(out.cTs))) tests |= kTestMissing;

  out.tests = tests;
  out.flag = (tests & kTestMissing)                                          ? kFlagMissing
             : (tests & kTestRange)                                          ? kFlagBad
             : (tests & (kTestCBelowA | kTestSpike | kTestAncillary)) != 0u ? kFlagSuspect
             : (tests & kTestLostLine)                                       ? kFlagNotEvaluated
                                                                             : kFlagGood;
}

namespace {

std::string OriginRule(bool user, std::optional<double> value, bool ship, bool meter, const char* what) {
  if (user) return Format("the user's value, %g", *value);
  std::string text = ship ? std::string("the ship's data at each sample's time") : std::string();
  if (meter) text += std::string(text.empty() ? "" : ", else ") + "the meter's external temperature" +
                     (ship ? " (flagged suspect)" : "");
  else if (ship) text += ", else the last value the ship's data gave (flagged suspect)";
  if (text.empty()) text = std::string("none: no ") + what;
  return text;
}

}  // namespace

std::vector<ProcessingAttribute> Processor::Attributes() const {
  std::vector<ProcessingAttribute> list;
  const ProcessingSettings& s = settings_;
  list.push_back({"processing_level",
                  "Level 2: absorption and attenuation corrected for the water's temperature and salinity and the "
                  "absorption for scattering, with quality flags",
                  std::nullopt});
  if (s.correctTs) {
    list.push_back({"ts_correction",
                    "a_ts = a - psi_t (T - T_cal) - psi_s_a S; c_ts = c - psi_t (T - T_cal) - psi_s_c S, psi "
                    "interpolated linearly in wavelength (Roettgers, McKee and Utschig 2014, Optics Express "
                    "22(21):25093)",
                    std::nullopt});
    const std::string& name = s.table.name();
    const std::size_t slash = name.find_last_of('/');
    list.push_back({"ts_coefficients", slash == std::string::npos ? name : name.substr(slash + 1), std::nullopt});
    list.push_back({"ts_coefficients_source", s.table.source().empty() ? "not named by the table" : s.table.source(),
                    std::nullopt});
    list.push_back({"calibration_temperature", {}, s.tCal});
    list.push_back({"calibration_temperature_source", s.tCalSource.empty() ? "given by the user" : s.tCalSource,
                    std::nullopt});
    list.push_back({"temperature_source",
                    OriginRule(s.temperature.has_value(), s.temperature, s.shipTemperature, s.meterTemperature,
                               "temperature"),
                    std::nullopt});
    list.push_back({"salinity_source",
                    OriginRule(s.salinity.has_value(), s.salinity, s.shipSalinity, false, "salinity"), std::nullopt});
  } else {
    list.push_back({"ts_correction", "none", std::nullopt});
  }
  std::string scatter(ScatterMethodName(scatter_));
  switch (scatter_) {
    case ScatterMethod::kNone: scatter += ": a_corrected = a_ts"; break;
    case ScatterMethod::kBaseline: scatter += ": a_corrected = a_ts - a_ts(ref)"; break;
    case ScatterMethod::kProportional:
      scatter += ": a_corrected = a_ts - a_ts(ref) (c_ts - a_ts) / (c_ts(ref) - a_ts(ref))";
      break;
  }
  if (scatter_ != ScatterMethod::kNone)
    scatter += Format(", c_ts interpolated linearly to the absorption wavelengths (Zaneveld, Kitchen and Moore 1994, "
                      "Proc. SPIE 2258, Ocean Optics XII)%s",
                      s.scatter ? "" : "; the default for this meter");
  list.push_back({"scattering_correction", scatter, std::nullopt});
  if (reference_) list.push_back({"scattering_reference_wavelength", {}, *reference_});
  list.push_back({"lag_c_seconds", {}, s.lagC});
  list.push_back({"lag_ancillary_seconds", {}, s.lagAncillary});
  list.push_back(
      {"quality_control",
       Format("IODE flags (1 good, 2 not evaluated, 3 suspect, 4 bad, 9 missing), the worst test's: range (a value "
              "not finite or outside %g ... %g m-1: 4); c_below_a (c less than a by more than %g m-1 at some "
              "wavelength: 3); spike (a value more than %g robust deviations, 1.4826 median absolute deviation but "
              "at least %g m-1, from the median of the %d lines around it: 3); ancillary (temperature or salinity "
              "stale or missing: 3); lost_line (a lost line next to the sample: 2); missing (corrected values "
              "could not be made: 9)",
              kValidMin, kValidMax, kCBelowANoise, kSpikeDeviations, kSpikeFloor, 2 * kSpikeHalfWindow + 1),
       std::nullopt});
  if (bands_)
    list.push_back({"absorption_line_height",
                    Format("a_corrected(%g) - the line between a_corrected(%g) and a_corrected(%g) at %g nm "
                           "(Roesler and Barnard 2013, Methods in Oceanography 7:79)",
                           bands_->wPeak, bands_->wBlue, bands_->wRed, bands_->wPeak),
                    std::nullopt});
  else
    list.push_back({"absorption_line_height",
                    Format("not made: the meter has no absorption wavelengths within %g nm of 650, 676 and 715 nm",
                           kLineHeightReach),
                    std::nullopt});
  return list;
}

std::string WaterTemperatureProblem(double degrees) {
  return degrees < -5.0 || degrees > 50.0 ? "not a water temperature (-5 ... 50)" : "";
}

std::string ProcessingAttribute::Value() const { return number ? Format("%g", *number) : text; }

std::string SalinityProblem(double salinity) {
  return salinity < 0.0 || salinity > 50.0 ? "not a salinity (0 ... 50)" : "";
}

}  // namespace sondrix
