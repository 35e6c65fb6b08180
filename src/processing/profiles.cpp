// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/profiles.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "processing/processor.h"

namespace sondrix {

double DepthFromPressure(double p, double latitudeDegrees) {
  const double s = std::sin(latitudeDegrees * std::numbers::pi / 180.0);
  const double x = s * s;
  const double gravity = 9.780318 * (1.0 + (5.2788e-3 + 2.36e-5 * x) * x) + 1.092e-6 * p;
  return ((((-1.82e-15 * p + 2.279e-10) * p - 2.2512e-5) * p + 9.72659) * p) / gravity;
}

std::vector<Cast> FindCasts(std::span<const DepthSample> samples, const CastSettings& settings,
                            std::span<const CastEvent> events) {
  std::vector<Cast> casts;
  if (samples.empty()) return casts;
  CastTracker tracker(settings);
  for (const CastEvent& event : events) tracker.Event(event);
  std::vector<CastTracker::Placed> placed;
  for (std::size_t k = 0; k < samples.size(); ++k) {
    tracker.Add(static_cast<long>(k), samples[k].timeMs, samples[k].depth, placed);
    placed.clear();
  }
  tracker.Finish(placed);
  return tracker.casts();
}

void CastTracker::Add(long id, std::int64_t timeMs, double depth, std::vector<Placed>& placed) {
  window_.push_back({id, timeMs, depth});
  // Every sample whose window [t - S/2, t + S/2) the newest one closes.
  while (next_ + 1 < window_.size() && window_[next_].timeMs + Half() <= timeMs) {
    SmoothNext(placed);
    while (window_.front().timeMs < window_[next_].timeMs - Half()) {
      window_.pop_front();
      --next_;
    }
  }
}

void CastTracker::Finish(std::vector<Placed>& placed) {
  // The last samples' windows end with the record.
  while (next_ < window_.size()) SmoothNext(placed);
  window_.clear();
  next_ = 0;
  if (inCast_) EndCast(placed);
}

void CastTracker::SmoothNext(std::vector<Placed>& placed) {
  const Sample& s = window_[next_];
  double sum = 0.0;
  long count = 0;
  for (std::size_t k = 0; k < window_.size(); ++k) {
    const Sample& w = window_[k];
    if (k != next_ && (w.timeMs < s.timeMs - Half() || w.timeMs >= s.timeMs + Half())) continue;
    if (!std::isnan(w.depth)) {
      sum += w.depth;
      ++count;
    }
  }
  const double smoothed =
      std::isnan(s.depth) || count == 0 ? std::numeric_limits<double>::quiet_NaN() : sum / static_cast<double>(count);
  ++next_;
  Smoothed(window_[next_ - 1], smoothed, placed);
}

void CastTracker::Place(std::vector<Sample>& samples, int cast, CastPart part, std::vector<Placed>& placed) {
  for (const Sample& s : samples) placed.push_back({s.id, cast, part});
  samples.clear();
}

long CastTracker::EventCastAt(std::int64_t timeMs) const {
  long at = -1;
  for (std::size_t k = 0; k < events_.size(); ++k) {
    const std::int64_t effective = events_[k].start ? events_[k].timeMs : events_[k].timeMs + 1;
    if (effective > timeMs) break;
    at = events_[k].start ? static_cast<long>(k) : -1;
  }
  return at;
}

void CastTracker::Smoothed(const Sample& sample, double smoothed, std::vector<Placed>& placed) {
  if (!events_.empty()) {
    // The events decide: a cast while the sample lies in one of theirs.
    const long cast = EventCastAt(sample.timeMs);
    if (inCast_ && cast != eventCast_) EndCast(placed);
    if (cast < 0) {
      placed.push_back({sample.id, 0, CastPart::kDown});
      return;
    }
    if (!inCast_) {
      inCast_ = true;
      confirmed_ = true;
      eventCast_ = cast;
      current_ = Cast{};
      current_.startMs = sample.timeMs;
      current_.fromEvents = true;
      max_ = -std::numeric_limits<double>::infinity();
      counted_ = countedAtLast_ = 0;
    }
    ++counted_;
    countedAtLast_ = counted_;
    lastInCastMs_ = sample.timeMs;
    pending_.push_back(sample);
    if (!std::isnan(smoothed) && smoothed > max_) {  // a new deepest point
      max_ = smoothed;
      current_.bottomMs = sample.timeMs;
      Place(pending_, static_cast<int>(casts_.size()) + 1, CastPart::kDown, placed);
    }
    return;
  }
  const int number = static_cast<int>(casts_.size()) + 1;
  if (!inCast_) {
    if (!(smoothed > settings_.surface)) {
      placed.push_back({sample.id, 0, CastPart::kDown});
      return;
    }
    inCast_ = true;
    confirmed_ = false;
    current_ = Cast{};
    current_.startMs = sample.timeMs;
    max_ = -std::numeric_limits<double>::infinity();
    counted_ = countedAtLast_ = 0;
  }
  ++counted_;
  if (std::isnan(smoothed)) {  // no depth: it belongs where its neighbours do
    pending_.push_back(sample);
    return;
  }
  if (!(smoothed > settings_.surface)) {  // back in the surface layer
    --counted_;
    EndCast(placed);
    placed.push_back({sample.id, 0, CastPart::kDown});
    return;
  }
  lastInCastMs_ = sample.timeMs;
  countedAtLast_ = counted_;
  if (smoothed > max_) {  // a new deepest point: everything before it is the down-cast
    max_ = smoothed;
    current_.bottomMs = sample.timeMs;
    pending_.push_back(sample);
    early_.insert(early_.end(), pending_.begin(), pending_.end());
    pending_.clear();
    if (!confirmed_ && max_ >= settings_.surface + kMinCastRange) confirmed_ = true;
    if (confirmed_) Place(early_, number, CastPart::kDown, placed);
    return;
  }
  pending_.push_back(sample);
}

void CastTracker::EndCast(std::vector<Placed>& placed) {
  inCast_ = false;
  // Samples after the last one below the surface layer (without a depth)
  // are not the cast's.
  std::vector<Sample> after;
  while (!pending_.empty() && pending_.back().timeMs > lastInCastMs_) {
    after.push_back(pending_.back());
    pending_.pop_back();
  }
  if (!confirmed_ || !(max_ > -std::numeric_limits<double>::infinity())) {  // too shallow, or no depth at all
    Place(early_, 0, CastPart::kDown, placed);
    Place(pending_, 0, CastPart::kDown, placed);
  } else {
    const int number = static_cast<int>(casts_.size()) + 1;
    Place(pending_, number, CastPart::kUp, placed);
    current_.number = number;
    current_.endMs = lastInCastMs_;
    current_.maxDepth = max_;
    current_.samples = countedAtLast_;
    casts_.push_back(current_);
  }
  Place(after, 0, CastPart::kDown, placed);
  confirmed_ = false;
  eventCast_ = -1;
}

std::string_view CastPartName(CastPart part) {
  switch (part) {
    case CastPart::kDown: return "down";
    case CastPart::kUp: return "up";
    case CastPart::kBoth: return "both";
  }
  return "down";
}

bool ParseCastPart(std::string_view name, CastPart& part) {
  for (CastPart p : {CastPart::kDown, CastPart::kUp, CastPart::kBoth}) {
    if (name == CastPartName(p)) {
      part = p;
      return true;
    }
  }
  return false;
}

std::string BinSizeProblem(double metres) {
  return metres < 0.01 || metres > 1000.0 ? "not 0.01 ... 1000 metres" : "";
}
std::string SurfaceProblem(double metres) { return metres < 0.0 || metres > 100.0 ? "not 0 ... 100 metres" : ""; }
std::string SmoothProblem(double seconds) {
  return seconds < 0.0 || seconds > 600.0 ? "not 0 ... 600 seconds" : "";
}
std::string LagDepthProblem(double seconds) { return std::abs(seconds) > 600.0 ? "not -600 ... 600 seconds" : ""; }
std::string MinCountProblem(double count) {
  return count < 1.0 || count > 1e6 || count != std::floor(count) ? "not a whole number 1 ... 1000000" : "";
}

namespace {
// Deeper than any ocean: a reading there is no depth.
constexpr double kDeepest = 12000.0;
}  // namespace

void DepthBins::Add(double depth, std::span<const double> values, bool usable) {
  if (!(depth >= 0.0) || depth > kDeepest) return;
  const auto k = static_cast<std::size_t>(std::floor(depth / settings_.binSize));
  if (k >= bins_.size()) {
    const std::size_t from = bins_.size();
    bins_.resize(k + 1);
    for (std::size_t b = from; b < bins_.size(); ++b) bins_[b].columns.Resize(columns_);
  }
  Gathered& bin = bins_[k];
  ++bin.samples;
  if (!usable) return;
  ++bin.usable;
  bin.columns.Add(values);
}

ProfileBin DepthBins::Bin(std::size_t k) {
  Gathered& bin = bins_[k];
  ProfileBin out;
  out.samples = bin.samples;
  out.usable = bin.usable;
  if (bin.usable < std::max(1L, settings_.minCount)) {
    out.flag = kFlagMissing;
    return out;
  }
  if (static_cast<double>(bin.usable) < settings_.goodShare * static_cast<double>(bin.samples)) {
    out.flag = kFlagBad;
    return out;
  }
  out.flag = kFlagGood;
  out.values.reserve(columns_);
  for (std::size_t c = 0; c < columns_; ++c) out.values.push_back(bin.columns.Of(c, settings_.statistic));
  return out;
}

void LiveCasts::Add(std::int64_t timeMs, double depth, std::span<const double> values) {
  waiting_.push_back({next_, depth, std::vector<double>(values.begin(), values.end())});
  tracker_.Add(next_++, timeMs, depth, placed_);
  Take(placed_);
  placed_.clear();
}

std::vector<ProfileBin> LiveCasts::CurrentBins() {
  std::vector<ProfileBin> bins;
  if (downCast_ == 0) return bins;
  for (std::size_t k = 0; k < down_.size(); ++k) bins.push_back(down_.Bin(k));
  return bins;
}

void LiveCasts::Take(const std::vector<CastTracker::Placed>& placed) {
  const long front = waiting_.empty() ? 0 : waiting_.front().id;  // the first id not placed before
  for (const CastTracker::Placed& p : placed) {
    if (p.id < front || p.id - front >= static_cast<long>(waiting_.size())) continue;
    Waiting& w = waiting_[static_cast<std::size_t>(p.id - front)];
    if (p.cast != 0 && p.part == CastPart::kDown) {
      if (p.cast != downCast_) {
        down_.Clear();
        downCast_ = p.cast;
      }
      down_.Add(w.depth, w.values, true);
      ++version_;
    }
    w.values.clear();
    w.values.shrink_to_fit();
    w.id = -1;  // placed
  }
  // A placed line may wait behind one that is not (a cast's up-cast is
  // placed when the cast ends).
  while (!waiting_.empty() && waiting_.front().id < 0) waiting_.pop_front();
  if (tracker_.casts().size() != completed_) {  // a cast ended: its down-cast is the one before now
    completed_ = tracker_.casts().size();
    if (downCast_ != 0) {
      previous_ = CurrentBins();
      previousCast_ = downCast_;
    }
    down_.Clear();
    downCast_ = 0;
    ++version_;
  }
}

}  // namespace sondrix
