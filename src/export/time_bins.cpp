// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of an export binned in time (ExportOptions::binSeconds): every
// sample of a bin is gathered, and when the samples move on to another
// bin its row goes to the writer: at the bin's centre, with the median (or
// mean) of each variable over the samples that have it and their count.
//
// Which samples count (docs/processing.md, "Time bins"):
// - the measured values, the meter's temperatures and depth, the ship's
//   data: every sample of the bin; the valve's state is the one most of
//   them had;
// - the corrected values: the samples flagged good or not evaluated. The
//   bin is good when they are at least kGoodShare of its samples, suspect
//   when fewer, and when there are none it takes the worst flag of its
//   samples and no corrected value;
// - the particulate values: the whole-water samples after flushing (the
//   others have none); the bin's flow period is the one most samples were
//   in.
// The row's position is the track's at the bin's centre.
#include <algorithm>
#include <array>

#include "export/export_writer.h"

namespace sondrix {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The share of a bin's samples that must be usable for the bin to be good.
constexpr double kGoodShare = 0.7;

// The worse of two flags, IODE's order: missing over bad over suspect over
// not evaluated over good.
int Worse(int a, int b) {
  const auto rank = [](int flag) {
    switch (flag) {
      case kFlagMissing: return 4;
      case kFlagBad: return 3;
      case kFlagSuspect: return 2;
      case kFlagNotEvaluated: return 1;
      default: return 0;
    }
  };
  return rank(a) >= rank(b) ? a : b;
}

class TimeBins : public ExportWriter {
 public:
  explicit TimeBins(std::unique_ptr<ExportWriter> inner) : inner_(std::move(inner)) {}

  bool Begin(const ExportHeader& header, const ExportOptions& options) override {
    header_ = &header;
    cursor_.emplace(header.track);
    return inner_->Begin(header, options) || Fail(inner_->error());
  }

  bool Row(const ExportRow& row) override {
    const std::int64_t bin = BinIndexOf(row.utcMs, header_->binMs);
    if (count_ > 0 && bin != bin_ && !Emit()) return false;
    bin_ = bin;
    Gather(row);
    return true;
  }

  bool End() override {
    const bool emitted = count_ == 0 || Emit();
    const bool ended = inner_->End();
    return (emitted && ended) || Fail(inner_->error());
  }

 private:
  // The columns of the samples' own values: the traces, depth, the two
  // temperatures, the ship's data.
  enum : std::size_t { kDepth, kTemperature, kExtTemperature, kShip };

  void Shape(const ExportRow& row) {
    traces_ = row.values->size();
    all_.Resize(traces_ + kShip + kQuantityCount);
    if (row.corrected) {
      aCount_ = row.corrected->aTs.size();
      cCount_ = row.corrected->cTs.size();
      corrected_.Resize(2 * aCount_ + cCount_ + 3);
    }
    if (row.particulate) particulate_.Resize(2 * aCount_ + 2 * cCount_ + 3);
    shaped_ = true;
  }

  void Gather(const ExportRow& row) {
    if (!shaped_) Shape(row);
    ++count_;
    all_.Add(*row.values);
    all_.Add(traces_ + kDepth, row.depth);
    all_.Add(traces_ + kTemperature, row.temperature);
    all_.Add(traces_ + kExtTemperature, row.extTemperature);
    for (std::size_t q = 0; q < kQuantityCount; ++q) {
      const std::optional<double>& value = row.ancillary[q];
      if (!value) continue;
      if (static_cast<Quantity>(q) == Quantity::kValve) {
        ++valveKnown_;
        valveFiltered_ += *ValveOnFilter(value) ? 1 : 0;
      } else {
        all_.Add(traces_ + kShip + q, *value);
      }
    }
    if (const CorrectedSample* c = row.corrected) {
      if (count_ == 1) {
        temperatureOrigin_ = c->temperatureOrigin;
        salinityOrigin_ = c->salinityOrigin;
      }
      tests_ |= c->tests;
      worst_ = Worse(worst_, c->flag);
      if (BinsUse(c->flag)) {
        ++usable_;
        std::size_t k = 0;
        for (const std::vector<double>* v : {&c->aTs, &c->cTs, &c->aCorrected})
          for (double x : *v) corrected_.Add(k++, x);
        corrected_.Add(k++, c->temperature);
        corrected_.Add(k++, c->salinity);
        corrected_.Add(k, c->lineHeight);
      }
    }
    if (const ParticulateSample* p = row.particulate) {
      ++periods_[static_cast<std::size_t>(p->period)];
      const bool has = std::any_of(p->cp.begin(), p->cp.end(), [](double v) { return !std::isnan(v); });
      if (has) {
        ++particulateCount_;
        extrapolated_ = extrapolated_ || p->extrapolated;
      }
      std::size_t k = 0;
      for (const std::vector<double>* v : {&p->ap, &p->cp, &p->ad, &p->cd})
        for (double x : *v) particulate_.Add(k++, has ? x : kNaN);
      particulate_.Add(k++, p->slope);
      particulate_.Add(k++, p->lineHeight);
      particulate_.Add(k, p->poc);
    }
    hasCorrected_ = hasCorrected_ || row.corrected;
    hasParticulate_ = hasParticulate_ || row.particulate;
  }

  // The statistic of column `k` of `columns`.
  double Of(BinColumns& columns, std::size_t k) { return columns.Of(k, header_->binStatistic).value; }
  // Columns from..from+n of `columns` into `out`.
  void Spectrum(BinColumns& columns, std::size_t from, std::size_t n, std::vector<double>& out) {
    out.resize(n);
    for (std::size_t k = 0; k < n; ++k) out[k] = Of(columns, from + k);
  }

  bool Emit() {
    ExportRow row;
    row.utcMs = bin_ * header_->binMs;
    if (!header_->track.empty()) row.position = cursor_->At(row.utcMs);
    Spectrum(all_, 0, traces_, values_);
    row.values = &values_;
    row.depth = Of(all_, traces_ + kDepth);
    row.temperature = Of(all_, traces_ + kTemperature);
    row.extTemperature = Of(all_, traces_ + kExtTemperature);
    for (std::size_t q = 0; q < kQuantityCount; ++q) {
      if (static_cast<Quantity>(q) == Quantity::kValve) {
        if (valveKnown_ > 0) row.ancillary[q] = 2 * valveFiltered_ > valveKnown_ ? kValveFiltered : kValveTotal;
      } else if (const double v = Of(all_, traces_ + kShip + q); !std::isnan(v)) {
        row.ancillary[q] = v;
      }
    }
    if (hasCorrected_) {
      CorrectedSample& c = correctedOut_;
      c.timeMs = row.utcMs;
      Spectrum(corrected_, 0, aCount_, c.aTs);
      Spectrum(corrected_, aCount_, cCount_, c.cTs);
      Spectrum(corrected_, aCount_ + cCount_, aCount_, c.aCorrected);
      const std::size_t k = 2 * aCount_ + cCount_;
      c.temperature = Of(corrected_, k);
      c.salinity = Of(corrected_, k + 1);
      c.lineHeight = Of(corrected_, k + 2);
      c.temperatureOrigin = temperatureOrigin_;
      c.salinityOrigin = salinityOrigin_;
      c.tests = tests_;
      c.flag = usable_ == 0 ? worst_
               : static_cast<double>(usable_) >= kGoodShare * static_cast<double>(count_) ? kFlagGood
                                                                                          : kFlagSuspect;
      row.corrected = &c;
    }
    if (hasParticulate_) {
      ParticulateSample& p = particulateOut_;
      Spectrum(particulate_, 0, aCount_, p.ap);
      Spectrum(particulate_, aCount_, cCount_, p.cp);
      Spectrum(particulate_, aCount_ + cCount_, aCount_, p.ad);
      Spectrum(particulate_, 2 * aCount_ + cCount_, cCount_, p.cd);
      const std::size_t k = 2 * aCount_ + 2 * cCount_;
      p.slope = Of(particulate_, k);
      p.lineHeight = Of(particulate_, k + 1);
      p.poc = Of(particulate_, k + 2);
      p.period = static_cast<FlowPeriod>(std::max_element(periods_.begin(), periods_.end()) - periods_.begin());
      p.extrapolated = extrapolated_;
      p.provisional = false;
      row.particulate = &p;
    }
    row.binCount = count_;
    row.particulateCount = particulateCount_;
    const bool ok = inner_->Row(row);
    Reset();
    return ok || Fail(inner_->error());
  }

  void Reset() {
    all_.Clear();
    corrected_.Clear();
    particulate_.Clear();
    count_ = usable_ = particulateCount_ = valveKnown_ = valveFiltered_ = 0;
    tests_ = 0;
    worst_ = kFlagGood;
    periods_.fill(0);
    extrapolated_ = hasCorrected_ = hasParticulate_ = false;
  }

  std::unique_ptr<ExportWriter> inner_;
  const ExportHeader* header_ = nullptr;
  std::optional<TrackCursor> cursor_;
  bool shaped_ = false;
  std::size_t traces_ = 0, aCount_ = 0, cCount_ = 0;
  BinColumns all_, corrected_, particulate_;

  std::int64_t bin_ = 0;
  long count_ = 0, usable_ = 0, particulateCount_ = 0, valveKnown_ = 0, valveFiltered_ = 0;
  unsigned tests_ = 0;
  int worst_ = kFlagGood;
  ValueOrigin temperatureOrigin_ = ValueOrigin::kNone, salinityOrigin_ = ValueOrigin::kNone;
  std::array<long, 4> periods_{};
  bool extrapolated_ = false, hasCorrected_ = false, hasParticulate_ = false;

  std::vector<double> values_;
  CorrectedSample correctedOut_;
  ParticulateSample particulateOut_;
};

}  // namespace

std::unique_ptr<ExportWriter> NewTimeBins(std::unique_ptr<ExportWriter> inner) {
  return std::make_unique<TimeBins>(std::move(inner));
}

}  // namespace sondrix
