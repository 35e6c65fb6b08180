// SPDX-License-Identifier: GPL-3.0-or-later
// Profiles: the casts of a record found, and the samples of each binned by
// depth (docs/processing.md, "Profiles").
//
// Casts. With the run's "cast start" and "cast end" events a cast lasts
// from each start to the next end. Without them the depth tells: the depth
// is smoothed by a running mean over `smoothSeconds` centred on each
// sample (the samples from t - S/2 up to, not including, t + S/2: a wave of
// period S cancels; so waves and the ship's heave do not split a cast, nor
// move its bottom), a cast starts with the
// first sample whose smoothed depth is below the surface layer
// (`surface` metres) and ends with the last one before it comes back into
// it; a stretch that never goes kMinCastRange below the surface layer is
// no cast (the instrument soaking at the surface, a wave). Either way the
// down-cast ends at the deepest smoothed depth, where the up-cast begins.
//
// Bins. Bin k holds the depths from k size up to (k + 1) size, centred at
// (k + 1/2) size. Each variable's statistic (mean or median), standard
// deviation and count are of the bin's samples flagged good or not
// evaluated; a bin with fewer than `minCount` of those, or where they are
// under `goodShare` of its samples, is filled and flagged (kFlagMissing
// for too few, kFlagBad for too many flagged samples).
#pragma once

#include <cmath>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "processing/statistics.h"

namespace sondrix {

// The depth (metres) of a pressure (dbar) at a latitude (degrees): the
// UNESCO 1983 formula (Fofonoff and Millard, UNESCO technical papers in
// marine science 44), for a CTD's pressure.
double DepthFromPressure(double pressureDbar, double latitudeDegrees);

struct CastSettings {
  double surface = 1.0;        // metres: the surface layer
  double smoothSeconds = 2.0;  // the running mean's window
};
// A stretch shallower than this below the surface layer is no cast.
inline constexpr double kMinCastRange = 0.5;

enum class CastPart { kDown, kUp, kBoth };
std::string_view CastPartName(CastPart part);  // "down", "up", "both"
bool ParseCastPart(std::string_view name, CastPart& part);

struct DepthSample {
  std::int64_t timeMs = 0;
  double depth = 0.0;  // metres; NaN: none
};

// A cast's times are those of its samples (the first, the deepest after
// smoothing, the last).
struct Cast {
  int number = 0;  // 1, 2, ...
  std::int64_t startMs = 0, bottomMs = 0, endMs = 0;
  double maxDepth = 0.0;  // the deepest smoothed depth
  long samples = 0;
  bool fromEvents = false;
};

// A run's event as the casts take it: a cast's start or end at a time.
struct CastEvent {
  std::int64_t timeMs = 0;
  bool start = true;
};

// Finds the casts from the depth as the samples come, in time order: a
// live run's, and (FindCasts) a record's. A sample's smoothed depth is
// known once the samples reach S/2 past it; its part of a cast once that
// is decided: the down-cast's samples as each new deepest point passes
// them, the up-cast's when the cast ends (until then a deeper point may
// come), none for those outside a cast or of a stretch that is no cast.
class CastTracker {
 public:
  // Where a sample (by the caller's id) belongs: cast 0 for none.
  struct Placed {
    long id = 0;
    int cast = 0;
    CastPart part = CastPart::kDown;
  };
  explicit CastTracker(const CastSettings& settings) : settings_(settings) {}
  // A cast event of the run, in time order. From the first one on the
  // events decide the casts: a sample is in a cast when the last event
  // before it (an end counting to its own time included) is a start; the
  // surface layer no longer matters.
  void Event(const CastEvent& event) { events_.push_back(event); }
  // The next sample; the samples now placed are appended to `placed`.
  void Add(long id, std::int64_t timeMs, double depth, std::vector<Placed>& placed);
  // The record ends: every sample is placed.
  void Finish(std::vector<Placed>& placed);
  // The casts completed so far.
  const std::vector<Cast>& casts() const { return casts_; }

 private:
  struct Sample {
    long id;
    std::int64_t timeMs;
    double depth;
  };
  // Half the smoothing window, milliseconds.
  std::int64_t Half() const { return std::llround(settings_.smoothSeconds * 500.0); }
  // The next sample's smoothed depth, and what follows from it.
  void SmoothNext(std::vector<Placed>& placed);
  void Smoothed(const Sample& sample, double smoothed, std::vector<Placed>& placed);
  void Place(std::vector<Sample>& samples, int cast, CastPart part, std::vector<Placed>& placed);
  void EndCast(std::vector<Placed>& placed);

  CastSettings settings_;
  std::deque<Sample> window_;  // from S/2 before the next sample to smooth to the newest
  std::size_t next_ = 0;       // the next sample to smooth, in window_
  bool inCast_ = false, confirmed_ = false;
  Cast current_;
  double max_ = 0.0;
  std::int64_t lastInCastMs_ = 0;
  long counted_ = 0;            // samples from the cast's first to its last in the layer below
  long countedAtLast_ = 0;
  std::vector<Sample> early_;   // down-cast samples before the cast is one (deep enough)
  std::vector<Sample> pending_; // samples after the deepest point so far
  std::vector<Cast> casts_;
  // The cast events, and the start event of the cast going on (-1: a cast
  // the depth found).
  std::vector<CastEvent> events_;
  long eventCast_ = -1;
  // The start event whose cast holds a sample at `timeMs` (-1: none).
  long EventCastAt(std::int64_t timeMs) const;
};

// The casts of `samples` (in time order) as a CastTracker finds them: by
// `events` (in time order) when there is any, else from the depth.
std::vector<Cast> FindCasts(std::span<const DepthSample> samples, const CastSettings& settings,
                            std::span<const CastEvent> events = {});


struct ProfileSettings {
  CastSettings casts;
  double lagDepthSeconds = 0.0;  // the optics see the water this long after the depth sensor
  double binSize = 1.0;          // metres
  BinStatistic statistic = BinStatistic::kMean;
  long minCount = 3;
  double goodShare = 0.7;
  CastPart part = CastPart::kDown;
};
// Whether a value a user gives may be one: "" when it may, else why.
std::string BinSizeProblem(double metres);   // 0.01 ... 1000
std::string SurfaceProblem(double metres);   // 0 ... 100
std::string SmoothProblem(double seconds);   // 0 ... 600
std::string LagDepthProblem(double seconds); // -600 ... 600
std::string MinCountProblem(double count);   // a whole number 1 ... 1000000

// One bin of a profile: its samples and those that count, its flag, and
// each variable's summary (none when filled).
struct ProfileBin {
  long samples = 0;
  long usable = 0;
  int flag = 0;
  std::vector<BinSummary> values;  // by column; empty when filled
};

// The bins of one profile, filled a sample at a time.
class DepthBins {
 public:
  DepthBins(const ProfileSettings& settings, std::size_t columns) : settings_(settings), columns_(columns) {}
  // A sample at `depth` (metres; NaN or above the surface: left out) with
  // its values by column; `usable`: flagged good or not evaluated.
  void Add(double depth, std::span<const double> values, bool usable);
  std::size_t size() const { return bins_.size(); }
  bool empty() const { return bins_.empty(); }
  // Bin k's summaries (reorders its values for a median).
  ProfileBin Bin(std::size_t k);
  // The centre of bin k.
  double Centre(std::size_t k) const { return (static_cast<double>(k) + 0.5) * settings_.binSize; }
  void Clear() { bins_.clear(); }

 private:
  struct Gathered {
    long samples = 0, usable = 0;
    BinColumns columns;
  };
  const ProfileSettings& settings_;
  std::size_t columns_;
  std::vector<Gathered> bins_;
};

// The casts of a run as its lines come (the window's depth graph): each
// line placed by a CastTracker, the down-cast going on binned as it grows
// (DepthBins, every line counted good), and the last completed one's bins
// kept, for a profile to be drawn over the one before.
class LiveCasts {
 public:
  LiveCasts(const ProfileSettings& settings, std::size_t columns)
      : settings_(settings), tracker_(settings.casts), down_(settings_, columns) {}
  // A line at `timeMs` (the run's milliseconds) and `depth`, with its values
  // by column.
  void Add(std::int64_t timeMs, double depth, std::span<const double> values);
  // A cast event marked during the run, at the run's `timeMs` (CastTracker::Event).
  void Event(const CastEvent& event) { tracker_.Event(event); }
  // The casts completed, the one going on (0: none) and its down-cast's
  // bins so far, the last completed cast's (0: none) down-cast bins.
  const std::vector<Cast>& casts() const { return tracker_.casts(); }
  int currentCast() const { return downCast_; }
  std::vector<ProfileBin> CurrentBins();
  int previousCast() const { return previousCast_; }
  const std::vector<ProfileBin>& previousBins() const { return previous_; }
  double binSize() const { return settings_.binSize; }
  // Grows with every line binned and every cast completed.
  long version() const { return version_; }

 private:
  struct Waiting {
    long id;
    double depth;
    std::vector<double> values;
  };
  void Take(const std::vector<CastTracker::Placed>& placed);

  ProfileSettings settings_;
  CastTracker tracker_;
  DepthBins down_;
  int downCast_ = 0;
  std::vector<ProfileBin> previous_;
  int previousCast_ = 0;
  std::deque<Waiting> waiting_;
  long next_ = 0;
  long version_ = 0;
  std::size_t completed_ = 0;
  std::vector<CastTracker::Placed> placed_;
};

}  // namespace sondrix
