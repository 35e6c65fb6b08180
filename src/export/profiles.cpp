// SPDX-License-Identifier: GPL-3.0-or-later
// The profiles of a recording (ExportProfiles): the rows of its Level-2
// reading binned by depth, a profile per part of each cast
// (processing/profiles.h), and what the writers need to name them.
#include <algorithm>
#include <cmath>

#include "common/text_format.h"
#include "export/export_writer.h"

namespace sondrix {

const ProfileGroupNames& NamesOf(ProfileGroup group) {
  static const ProfileGroupNames kNames[] = {
      {"absorption", "a", "", "m-1", "absorption coefficient (a) less that of pure water, as measured"},
      {"attenuation", "c", "", "m-1", "beam attenuation coefficient (c) less that of pure water, as measured"},
      {"absorption_ts", "a_ts", "", "m-1", "absorption corrected for the water's temperature and salinity"},
      {"attenuation_ts", "c_ts", "cpg", "m-1", "attenuation corrected for the water's temperature and salinity"},
      {"absorption_corrected", "a_corrected", "apg", "m-1",
       "absorption corrected for temperature, salinity and scattering"},
      {"temperature_used", "temperature_used", "wt", "degree_Celsius", "water temperature the correction used"},
      {"salinity_used", "salinity_used", "sal", "1", "practical salinity the correction used"},
      {"absorption_line_height", "absorption_line_height", "", "m-1", "absorption line height at 676 nm"},
  };
  return kNames[static_cast<std::size_t>(group)];
}

std::vector<ProfileColumn> ProfileColumnsOf(const ExportHeader& header) {
  std::vector<ProfileColumn> columns;
  const ProcessorChannels& ch = header.processor->channels();
  const auto spectrum = [&](ProfileGroup group, const std::vector<double>& wavelengths) {
    for (double w : wavelengths) columns.push_back({group, w});
  };
  spectrum(ProfileGroup::kAbsorption, ch.aWavelength);
  spectrum(ProfileGroup::kAttenuation, ch.cWavelength);
  spectrum(ProfileGroup::kAbsorptionTs, ch.aWavelength);
  spectrum(ProfileGroup::kAttenuationTs, ch.cWavelength);
  spectrum(ProfileGroup::kAbsorptionCorrected, ch.aWavelength);
  columns.push_back({ProfileGroup::kTemperatureUsed, 0.0});
  columns.push_back({ProfileGroup::kSalinityUsed, 0.0});
  if (header.processor->hasLineHeight()) columns.push_back({ProfileGroup::kLineHeight, 0.0});
  return columns;
}

std::vector<ProcessingAttribute> ProfileOutput::Attributes() const {
  std::vector<ProcessingAttribute> list = header->Level2Attributes();
  const ProfileSettings& s = settings;
  const bool events = !casts.empty() && casts.front().fromEvents;
  list.push_back({"profile_cast_detection",
                  events ? std::string("from the run's cast start and cast end events; the down-cast ends at the "
                                       "deepest depth smoothed by a centred running mean over ") +
                               Format("%g s", s.casts.smoothSeconds)
                         : Format("from the depth: a cast starts with the first sample whose depth, smoothed by a "
                                  "centred running mean over %g s, is below the surface layer of %g m, and ends with "
                                  "the last one before it comes back into it; a stretch that goes less than %g m "
                                  "below that layer is no cast; the down-cast ends at the deepest smoothed depth",
                                  s.casts.smoothSeconds, s.casts.surface, kMinCastRange),
                  {}});
  list.push_back({"profile_depth_source", depthSource, {}});
  list.push_back({"profile_lag_depth_seconds", {}, s.lagDepthSeconds});
  list.push_back({"profile_alignment",
                  Format("each sample binned at the depth read %g s before it (linear interpolation in time between "
                         "the depth readings), after the lag of c against a",
                         s.lagDepthSeconds),
                  {}});
  list.push_back({"profile_bin_size_m", {}, s.binSize});
  list.push_back({"profile_bins",
                  Format("bin k holds the depths from k %g m up to (k + 1) %g m, centred at (k + 1/2) %g m; the %s, "
                         "standard deviation (n - 1) and count of the samples flagged good or not evaluated; a bin "
                         "with fewer than %ld of those is filled and flagged missing (9), one where they are under "
                         "%g %% of its samples filled and flagged bad (4)",
                         s.binSize, s.binSize, s.binSize, std::string(BinStatisticName(s.statistic)).c_str(),
                         s.minCount, s.goodShare * 100.0),
                  {}});
  list.push_back({"profile_statistic", std::string(BinStatisticName(s.statistic)), {}});
  list.push_back({"profile_cast_part", std::string(CastPartName(s.part)), {}});
  return list;
}

std::size_t ProfileOutput::Depths() const {
  std::size_t depths = 0;
  for (const BinnedProfile& p : profiles) depths = std::max(depths, p.bins.size());
  return depths;
}

namespace {

// The depth at `timeMs` from readings in time order: interpolated between
// the readings around it (never beyond them); NaN outside.
class DepthAt {
 public:
  explicit DepthAt(std::span<const DepthSample> depths) : depths_(depths) {}
  double operator()(std::int64_t timeMs) {
    if (depths_.empty() || timeMs < depths_.front().timeMs || timeMs > depths_.back().timeMs)
      return std::numeric_limits<double>::quiet_NaN();
    if (next_ > 0 && depths_[next_ - 1].timeMs > timeMs) next_ = 0;  // back in time
    while (next_ < depths_.size() && depths_[next_].timeMs < timeMs) ++next_;
    const DepthSample& after = depths_[std::min(next_, depths_.size() - 1)];
    if (after.timeMs == timeMs || next_ == 0) return after.depth;
    const DepthSample& before = depths_[next_ - 1];
    const double f = static_cast<double>(timeMs - before.timeMs) / static_cast<double>(after.timeMs - before.timeMs);
    return before.depth + f * (after.depth - before.depth);
  }

 private:
  std::span<const DepthSample> depths_;
  std::size_t next_ = 0;
};

class ProfileBins : public ExportWriter {
 public:
  ProfileBins(ProfileOutput& out, std::span<const DepthSample> depths)
      : out_(out), depthAt_(depths), track_(out.header->track),
        down_(out_.settings, out.columns.size()), up_(out_.settings, out.columns.size()) {}

  bool Begin(const ExportHeader&, const ExportOptions&) override { return true; }

  bool Row(const ExportRow& row) override {
    const std::int64_t t = row.utcMs;
    while (cast_ < out_.casts.size() && t > out_.casts[cast_].endMs) Close();
    if (cast_ >= out_.casts.size() || t < out_.casts[cast_].startMs || row.corrected == nullptr) return true;
    const bool down = t <= out_.casts[cast_].bottomMs;
    if ((down && out_.settings.part == CastPart::kUp) || (!down && out_.settings.part == CastPart::kDown))
      return true;
    Part& part = down ? downPart_ : upPart_;
    if (part.samples++ == 0) part.startMs = t;
    part.endMs = t;
    Fill(row);
    (down ? down_ : up_).Add(depthAt_(t - lagMs_), values_, BinsUse(row.corrected->flag));
    return true;
  }

  bool End() override {
    while (cast_ < out_.casts.size()) Close();
    return true;
  }

 private:
  struct Part {
    long samples = 0;
    std::int64_t startMs = 0, endMs = 0;
  };

  // The row's values by column.
  void Fill(const ExportRow& row) {
    const CorrectedSample& c = *row.corrected;
    const ProcessorChannels& ch = out_.header->processor->channels();
    values_.clear();
    for (const std::vector<int>* traces : {&ch.aTrace, &ch.cTrace})
      for (int trace : *traces) values_.push_back((*row.values)[static_cast<std::size_t>(trace)]);
    for (const std::vector<double>* v : {&c.aTs, &c.cTs, &c.aCorrected}) values_.insert(values_.end(), v->begin(), v->end());
    values_.push_back(c.temperature);
    values_.push_back(c.salinity);
    if (out_.header->processor->hasLineHeight()) values_.push_back(c.lineHeight);
  }

  // The profiles of the current cast are done.
  void Close() {
    const int number = out_.casts[cast_].number;
    for (auto [part, bins, which] : {std::tuple{&downPart_, &down_, CastPart::kDown},
                                     std::tuple{&upPart_, &up_, CastPart::kUp}}) {
      if (part->samples > 0 && !bins->empty()) {
        BinnedProfile profile;
        profile.cast = number;
        profile.part = which;
        profile.startMs = part->startMs;
        profile.endMs = part->endMs;
        profile.position = track_.At(part->startMs);
        if (!profile.position && out_.header->station) profile.position = out_.header->station;
        for (std::size_t k = 0; k < bins->size(); ++k) profile.bins.push_back(bins->Bin(k));
        out_.profiles.push_back(std::move(profile));
      }
      *part = Part{};
      bins->Clear();
    }
    ++cast_;
  }

  ProfileOutput& out_;
  DepthAt depthAt_;
  TrackCursor track_;
  const std::int64_t lagMs_ = std::llround(out_.settings.lagDepthSeconds * 1000.0);
  DepthBins down_, up_;
  Part downPart_, upPart_;
  std::size_t cast_ = 0;
  std::vector<double> values_;
};

}  // namespace

std::unique_ptr<ExportWriter> NewProfileBins(ProfileOutput& out, std::span<const DepthSample> depths) {
  return std::make_unique<ProfileBins>(out, depths);
}

}  // namespace sondrix
