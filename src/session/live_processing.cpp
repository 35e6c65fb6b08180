// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/live_processing.h"

#include <cmath>
#include <filesystem>
#include <limits>

#include "common/text_format.h"
#include "common/utils.h"
#include "datafile/companion.h"
#include "platform/paths.h"
#include "processing/meter_inputs.h"
#include "session/acquisition.h"
#include "source/trace_list.h"

namespace sondrix {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool GivenBy(const Acquisition* run, Quantity quantity) {
  if (run == nullptr) return false;
  for (const AncillaryState& state : run->ancillary()) {
    if (state.map.Has(quantity)) return true;
  }
  return false;
}

// T_cal from the calibration record beside the meter's device file: the
// source's own file for a meter, the device file a replayed recording's
// companion names, looked for beside the file and in the project folder.
void FindSourceCalibration(Source& source, ProcessingSettings& settings) {
  const std::string file = source.filename();
  const std::string dir = std::filesystem::path(file).parent_path().string();
  const std::string folders[] = {dir, platform::GetProjectDir()};
  if (FindCalibrationTemperature(file, folders, settings)) return;
  Companion companion;
  std::string error;
  if (ReadCompanion(CompanionPathFor(file), companion, error) == status::kOk)
    FindCalibrationTemperature(companion.deviceFile, folders, settings);
}

}  // namespace

std::unique_ptr<LiveProcessing> LiveProcessing::Make(Source& source, ProcessingSettings settings,
                                                     std::optional<UnderwaySettings> underway, std::string& error) {
  std::unique_ptr<LiveProcessing> live(new LiveProcessing());
  live->channels_ = ChannelsOf(ListTraces(source));
  if (settings.correctTs && !settings.tCal) FindSourceCalibration(source, settings);
  live->processor_ = Processor::Make(live->channels_, settings, error);
  if (!live->processor_) return nullptr;
  if (underway && (live->channels_.aTrace.empty() || live->channels_.cTrace.empty())) {
    error = "the underway values need both a and c channels";
    return nullptr;
  }
  live->settings_ = std::move(settings);
  live->underway_ = underway;
  live->source_ = &source;
  return live;
}

void LiveProcessing::Begin(const Acquisition* run) {
  run_ = run;
  ProcessingSettings settings = settings_;
  // The run's own ship's data sources say what it gives; the settings'
  // word stands until a run has them.
  if (run != nullptr && !run->ancillary().empty()) {
    settings.shipTemperature = GivenBy(run, Quantity::kTemperature);
    settings.shipSalinity = GivenBy(run, Quantity::kSalinity);
  }
  std::string error;
  if (std::unique_ptr<Processor> fresh = Processor::Make(channels_, settings, error)) processor_ = std::move(fresh);
  held_.clear();
  samples_.clear();
  last_.reset();
  particulateGiven_ = false;
  utcOffsetMs_.reset();
  if (underway_) live_.emplace(*underway_);
  sequence_ = 0;
  lostBefore_ = false;
}

void LiveProcessing::ShipValues(std::optional<double>& temperature, std::optional<double>& salinity) const {
  if (run_ == nullptr) return;
  for (const AncillaryState& state : run_->ancillary()) {
    if (state.Stale() || state.Gone()) continue;
    const auto& t = state.last[static_cast<std::size_t>(Quantity::kTemperature)];
    const auto& s = state.last[static_cast<std::size_t>(Quantity::kSalinity)];
    if (!temperature && t) temperature = t;
    if (!salinity && s) salinity = s;
  }
}

std::optional<bool> LiveProcessing::ValveAt(std::int64_t timeMs) const {
  if (run_ == nullptr) return std::nullopt;
  if (const std::optional<ValveSchedule>& schedule = run_->valveSchedule()) {
    if (const std::optional<std::int64_t> utcMs = run_->UtcOf(timeMs)) return schedule->FilteredAt(*utcMs);
    return std::nullopt;
  }
  for (const AncillaryState& state : run_->ancillary()) {
    if (state.Stale() || state.Gone()) continue;
    if (const std::optional<bool> filtered = ValveOnFilter(state.last[static_cast<std::size_t>(Quantity::kValve)]))
      return filtered;
  }
  return std::nullopt;
}

Status LiveProcessing::Take(const SourceLine& line) {
  if (line.status != status::kOk) {
    held_.push_back({line, -1, std::nullopt});
    return Release();
  }
  std::optional<double> temperature, salinity;
  ShipValues(temperature, salinity);
  held_.push_back({line, sequence_++, underway_ ? ValveAt(line.time) : std::nullopt});
  if (underway_ && run_ != nullptr) {
    if (const std::optional<std::int64_t> utc = run_->UtcOf(line.time)) utcOffsetMs_ = *utc - line.time;
  }
  processor_->Push(InputOf(line, line.time, temperature, salinity, lostBefore_), ready_);
  lostBefore_ = false;
  return Release();
}

void LiveProcessing::Missed(const SourceLine& line) {
  if (line.status == status::kOk) lostBefore_ = true;
  held_.push_back({line, -1, std::nullopt});
  Release();
}

Status LiveProcessing::Finish() {
  processor_->Finish(ready_);
  const Status result = Release();
  // Lines whose samples never came (none should) go on as missed.
  while (!held_.empty()) {
    stream_.Pass(held_.front().line);
    held_.pop_front();
  }
  stream_.Deliver();
  // The run goes; what it showed stays (the last samples, the periods).
  run_ = nullptr;
  return result;
}

Status LiveProcessing::Release() {
  for (CorrectedSample& sample : ready_) samples_.push_back(std::move(sample));
  ready_.clear();
  Status result = status::kOk;
  const ProcessorChannels& ch = processor_->channels();
  while (!held_.empty()) {
    Held& front = held_.front();
    if (front.sequence < 0) {
      stream_.Pass(front.line);
    } else {
      if (samples_.empty()) break;
      const CorrectedSample& sample = samples_.front();
      SourceLine& line = front.line;
      std::fill(line.values.begin(), line.values.end(), kNaN);
      const auto put = [&line](const std::vector<int>& traces, const std::vector<double>& values) {
        for (std::size_t k = 0; k < traces.size() && k < values.size(); ++k) {
          const auto at = static_cast<std::size_t>(traces[k]);
          if (at < line.values.size()) line.values[at] = values[k];
        }
      };
      if (live_) {
        // The sample's own time (the processor's) places it among the
        // periods.
        live_->Take(*processor_, sample, front.filtered, particulate_);
        put(ch.aTrace, particulate_.ap);
        put(ch.cTrace, particulate_.cp);
        particulateGiven_ = true;
      } else {
        put(ch.aTrace, sample.aCorrected);
        put(ch.cTrace, sample.cTs);
      }
      // Its views draw it when the run has time, as they draw the measured
      // lines.
      const Status published = stream_.Publish(line, source_ != nullptr && source_->MustRead() != 0);
      if (result == status::kOk) result = published;
      last_ = std::move(samples_.front());
      samples_.pop_front();
    }
    held_.pop_front();
  }
  return result;
}

bool LiveProcessing::Provisional() const {
  if (!last_) return true;
  if (!settings_.correctTs) return false;
  const auto final = [](ValueOrigin origin) { return origin == ValueOrigin::kUser || origin == ValueOrigin::kShip; };
  const bool meterAlone = last_->temperatureOrigin == ValueOrigin::kMeter && !settings_.shipTemperature;
  return !(final(last_->temperatureOrigin) || meterAlone) || !final(last_->salinityOrigin) ||
         (last_->tests & kTestAncillary) != 0;
}

std::string LiveProcessing::UnderwayCaption() const {
  if (!live_) return {};
  std::string text;
  if (const std::string alarm = live_->Alarm(); !alarm.empty()) text = alarm + "\n";
  if (particulateGiven_ && std::isfinite(particulate_.slope)) {
    text += Format("gamma %.2f", particulate_.slope);
    if (std::isfinite(particulate_.lineHeight)) text += Format(", line height %.4f 1/m", particulate_.lineHeight);
    text += "\n";
  }
  const std::vector<FilteredSpectrum>& periods = live_->periods().periods();
  if (periods.empty()) return text + "no filtered period yet";
  const std::optional<std::int64_t> utc =
      utcOffsetMs_ ? std::optional<std::int64_t>(periods.back().medianMs + *utcOffsetMs_) : std::nullopt;
  return text + "dissolved: the filtered period of " +
         (utc ? Format("%02lld:%02lld UTC", static_cast<long long>((*utc / 3600000) % 24 + 24) % 24,
                      static_cast<long long>((*utc / 60000) % 60 + 60) % 60)
              : Format("minute %lld of the run", static_cast<long long>(periods.back().medianMs / 60000)));
}

std::string LiveProcessing::Caption() const {
  const ProcessingSettings& s = processor_->settings();
  // The program's own table is Röttgers et al.'s; another is named by its
  // file.
  const std::string table = NameFromPath(s.table.name());
  const std::string tables = table == NameFromPath(BuiltInTablePath()) ? "Röttgers et al. 2014" : table;
  std::string text = s.correctTs ? Format("T/S: %s, T_cal %.2f °C", tables.c_str(), s.tCal.value_or(kNaN))
                                 : std::string("T/S: none");
  text += "\nscattering: ";
  text += ScatterMethodName(processor_->scatter());
  if (const std::optional<double> reference = processor_->referenceWavelength())
    text += Format(" at %g nm", *reference);
  return text;
}

}  // namespace sondrix
