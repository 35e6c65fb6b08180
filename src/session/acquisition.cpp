// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/acquisition.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "common/log.h"
#include "common/text_format.h"
#include "common/utils.h"
#include "datafile/data_file.h"
#include "io/dport.h"
#include "io/position_source.h"
#include "io/rs232_port.h"
#include "platform/clock.h"

namespace sondrix {

std::vector<std::string> RunSummary::Notes() const {
  std::vector<std::string> notes;
  if (refused > 0)
    notes.push_back(Format("%ld lines held values that are not numbers and were left out", refused));
  for (std::string& note : DescribeStreamEvents(events)) notes.push_back(std::move(note));
  if (breaks > 0) {
    notes.push_back(Format("%s stopped answering %d time%s; the run waited %.1f s for it in all%s", line.c_str(),
                           breaks, breaks == 1 ? "" : "s", awaySeconds,
                           endedAway ? " and it was still away at the end" : " (the samples missed are counted lost)"));
  }
  if (result == status::kSerialMismatch && breaks > 0) {
    notes.push_back(Format("%s came back with another instrument: the run ended there, and nothing of that "
                           "instrument was recorded", line.c_str()));
  }
  const PositionCounts& counts = position.counts;
  const bool positionNews = position.fixes == 0 || counts.badChecksums + counts.malformed + counts.invalid +
                                                       counts.undated > 0 ||
                            position.breaks > 0 || position.failed || position.silences > 0 ||
                            !position.notice.empty();
  // A receiver that gave its fixes and nothing else is no news.
  if (position.on() && positionNews) {
    std::string told = Format("The position source %s gave %ld fix%s", position.source.c_str(), position.fixes,
                              position.fixes == 1 ? "" : "es");
    if (counts.badChecksums > 0)
      told += Format("; %lld sentences were spoiled (bad checksum or cut short) and not used", counts.badChecksums);
    if (counts.malformed > 0)
      told += Format("; %lld were malformed (cut short, or a field out of its form or range: a latitude beyond the "
                     "pole, minutes of 60 or more, a date that does not exist) and not used",
                     counts.malformed);
    if (counts.invalid > 0) told += Format("; %lld fixes the receiver called invalid were not used", counts.invalid);
    if (counts.undated > 0) told += Format("; %lld came without a date and were not used", counts.undated);
    if (position.breaks > 0)
      told += Format("; the receiver went away %d time%s", position.breaks, position.breaks == 1 ? "" : "s");
    if (position.failed) told += "; it failed during the run, which went on without it";
    if (position.silences > 0) {
      told += Format("; it gave no fix for more than %g s %d time%s, %.0f s in all (the longest %.0f s): the "
                     "samples meanwhile have no position",
                     kMaxFixGapSeconds, position.silences, position.silences == 1 ? "" : "s",
                     position.silentSeconds, position.longestSilence);
    }
    notes.push_back(told);
    if (!position.notice.empty()) notes.push_back(position.notice);
  }
  if (!trackFailed.empty())
    notes.push_back("The track " + trackFailed + " could not be written: the recording's positions are incomplete");
  for (const AncillaryState& source : ancillary) {
    std::string told = Format("%s gave %lld reading%s", source.name.c_str(), source.counts.lines,
                              source.counts.lines == 1 ? "" : "s");
    if (source.counts.spoiled > 0)
      told += Format("; %lld line%s spoiled (cut short, run together, or a field that is no number) and not used",
                     source.counts.spoiled, source.counts.spoiled == 1 ? "" : "s");
    if (source.breaks > 0) told += Format("; its line went away %d time%s", source.breaks, source.breaks == 1 ? "" : "s");
    if (source.failed) told += "; it failed during the run, which went on without it";
    notes.push_back(told);
    if (!source.notice.empty()) notes.push_back(source.notice);
  }
  if (!ancillaryFailed.empty())
    notes.push_back("The ship's data file " + ancillaryFailed + " could not be written: the recording's ship's data "
                    "is incomplete");
  if (network.on()) notes.push_back(NetworkNote(network));
  if (!companionFailed.empty())
    notes.push_back("The companion " + companionFailed +
                    " could not be written: the recording holds no UTC time and no deployment metadata");
  return notes;
}

Acquisition::Acquisition(Source& source, DataFile* recording, RunUser& user, RunView* view, long maxLines)
    : source_(source),
      recording_(recording),
      user_(user),
      view_(view),
      maxLines_(maxLines),
      timeout_(kTimeoutPerBinLine * source.GetBinsize()),
      pace_(source),
      log_(source),
      line_(SourceLine_New(source.GetTraceCount())),
      lastLine_(platform::Timer()) {
  if (const RS232Port* port = SerialPortOf(source); port != nullptr) {
    durable_ = true;
    lineName_ = port->Describe();
  }
}

namespace {

std::string LatLonText(const NmeaFix& fix) {
  return Format("%.5f\u00b0 %c %.5f\u00b0 %c", std::abs(fix.latitude), fix.latitude < 0.0 ? 'S' : 'N',
                std::abs(fix.longitude), fix.longitude < 0.0 ? 'W' : 'E');
}

}  // namespace

std::string PositionText(const PositionState& position, std::string_view between) {
  if (!position.on()) return {};
  const std::string gap(between);
  const char* trouble = position.failed ? "failed" : position.away ? "went away" : nullptr;
  if (!position.last) {
    if (trouble != nullptr) return "Position lost: the receiver " + std::string(trouble) + gap + "(" + position.source + ")";
    return "No position fix yet" + gap + "(" + position.source + ")";
  }
  const long age = std::lround(std::max(0.0, position.Age()));
  const std::string place = LatLonText(*position.last);
  // The state and the fix's age first, the place whole after them: a
  // read-out too narrow for the first part keeps the second.
  if (trouble != nullptr)
    return Format("Position lost: last fix %ld s ago (receiver %s)%s(%s)", age, trouble, gap.c_str(), place.c_str());
  if (position.Stale()) return Format("Position stale: last fix %ld s ago%s(%s)", age, gap.c_str(), place.c_str());
  return Format("Position %s%s(fix %ld s ago)", place.c_str(), gap.c_str(), age);
}

double PositionState::Age() const { return last ? platform::SecondsSince(lastAt) : -1.0; }

double AncillaryState::Age() const { return any ? platform::SecondsSince(lastAt) : -1.0; }

namespace {

// A line source beside the run going away and coming back (`away` now,
// `wasAway` before): counted in `breaks` and logged; its first notice
// (what it had to say of itself) kept in `notice` and logged.
void FollowLink(std::string_view what, const std::string& name, bool away, const std::string& sourceNotice,
                bool& wasAway, int& breaks, std::string& notice) {
  if (away && !wasAway) {
    ++breaks;
    SONDRIX_LOG(Warn, "the %.*s %s went away; looking for it", static_cast<int>(what.size()), what.data(), name.c_str());
  } else if (!away && wasAway) {
    SONDRIX_LOG(Info, "the %.*s %s is back", static_cast<int>(what.size()), what.data(), name.c_str());
  }
  wasAway = away;
  if (notice.empty() && !sourceNotice.empty()) {
    notice = PrintableText(sourceNotice);
    SONDRIX_LOG(Warn, "%s", notice.c_str());
  }
}

// "T 21.81 °C  S 36.59" of a source's last values.
std::string ValuesText(const AncillaryState& state, bool brief) {
  const auto has = [&state](Quantity q) { return state.last[static_cast<std::size_t>(q)].has_value(); };
  const bool waterOnly = brief && (has(Quantity::kTemperature) || has(Quantity::kSalinity));
  std::string text;
  for (const QuantityRow& row : Quantities()) {
    const std::optional<double>& value = state.last[static_cast<std::size_t>(row.quantity)];
    if (!value) continue;
    if (waterOnly && row.quantity != Quantity::kTemperature && row.quantity != Quantity::kSalinity) continue;
    if (!text.empty()) text += "  ";
    switch (row.quantity) {
      case Quantity::kTemperature: text += Format("T %.2f \u00b0C", *value); break;
      case Quantity::kSalinity: text += Format("S %.2f", *value); break;
      case Quantity::kConductivity: text += Format("C %.4f S/m", *value); break;
      case Quantity::kPressure: text += Format("P %.1f dbar", *value); break;
      case Quantity::kValve: text += std::string(ValveStateText(*value == kValveFiltered)); break;
    }
  }
  return text;
}

}  // namespace

std::string AncillaryText(const AncillaryState& state, bool brief) {
  if (!state.any) return "No readings yet (" + state.name + (state.Gone() ? " gone)" : ")");
  return Format("%s (%s%s, %.1f s%s)", ValuesText(state, brief).c_str(), state.name.c_str(),
                state.Gone() ? " gone" : "", std::max(0.0, state.Age()), brief ? "" : " ago");
}

std::string ValveText(const std::optional<ValveSchedule>& schedule, const std::vector<AncillaryState>& sources,
                      std::int64_t utcMs) {
  if (schedule) {
    const long seconds = static_cast<long>((schedule->NextSwitch(utcMs) - utcMs + 999) / 1000);
    const bool filtered = schedule->FilteredAt(utcMs);
    std::string next(ValveStateText(!filtered));
    next[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(next[0])));
    return Format("%s; %s in %ld:%02ld", std::string(ValveStateText(filtered)).c_str(), next.c_str(), seconds / 60,
                  seconds % 60);
  }
  for (const AncillaryState& source : sources) {
    if (!source.map.Has(Quantity::kValve)) continue;
    const std::optional<double>& state = source.last[static_cast<std::size_t>(Quantity::kValve)];
    if (!state) return "Valve not told yet (" + source.name + ")";
    return std::string(ValveStateText(*state == kValveFiltered)) + " (" + source.name + ")";
  }
  return {};
}

void Acquisition::SetReconnect(bool on, double retrySeconds) {
  reconnect_ = on;
  retrySeconds_ = retrySeconds > 0.0 ? retrySeconds : kReopenSeconds;
}

void DescribeSource(Source& source, Companion& companion) {
  companion.program = std::string(kCompanionProgram);
  companion.utcOffsetSeconds = platform::UtcOffsetSeconds();
  source.GetPortname(companion.port);
  const RS232Port* port = SerialPortOf(source);
  companion.device = port != nullptr ? port->device() : std::string();
  companion.serialNumber = Format("%08lX", static_cast<unsigned long>(source.GetSerialnum()));
  companion.deviceFile = NameFromPath(source.filename());
}

Status Acquisition::SetCompanion(Companion* companion, std::string path) {
  companion_ = recording_ != nullptr ? companion : nullptr;
  companionPath_ = std::move(path);
  companionWritten_ = status::kOk;
  if (companion_ == nullptr) {
    // Nothing recorded: a replayed file's samples are placed all the same.
    if (source_.GetReplayFraction() >= 0.0) {
      TakeReplayClock();
      if (clock_ == &storedClock_ && storedClock_.Empty()) clock_ = nullptr;  // as before: no word of UTC
    }
    return status::kOk;
  }
  DescribeSource(source_, *companion_);
  companion_->timeZeroUtcMs.reset();
  companion_->positionSource = position_.source;
  clock_ = source_.GetClock();
  storedAnchors_ = 0;
  companion_->clock = {};
  companion_->clockMethod = clock_ != nullptr && durable_ ? kClockMethod : "";
  if (source_.GetReplayFraction() >= 0.0) {
    TakeReplayClock();
  } else {
    companion_->events.push_back({platform::UtcMs(), "start", ""});
  }
  // A track left beside the scratch recording by an earlier run is not this
  // run's.
  if (!track_.open()) {
    std::error_code error;
    std::filesystem::remove(TrackPathFor(recording_->filename()), error);
  }
  if (!ancillaryFile_.open()) {
    std::error_code error;
    std::filesystem::remove(AncillaryPathFor(recording_->filename()), error);
  }
  WriteCompanionNow();
  return companionWritten_;
}

Status Acquisition::SetPosition(PositionSource* source, std::string trackPath) {
  positionSource_ = source;
  position_ = PositionState{};
  trackFailed_.clear();
  if (source == nullptr) return status::kOk;
  // The source's name goes into messages, the log and every line of the
  // track: one printable line, whatever a device path holds.
  position_.source = PrintableText(source->Describe());
  position_.startedAt = platform::Timer();
  if (companion_ != nullptr) {
    companion_->positionSource = position_.source;
    WriteCompanionNow();
  }
  if (trackPath.empty()) return status::kOk;
  const Status opened = track_.Open(trackPath);
  if (opened != status::kOk) {
    trackFailed_ = trackPath;
    SONDRIX_LOG(Warn, "%s: the track could not be created", trackPath.c_str());
  }
  return opened;
}

Status Acquisition::SetAncillary(std::vector<AncillarySource*> sources, std::optional<ValveSchedule> schedule,
                                 std::string path) {
  ancillarySources_ = std::move(sources);
  // A replay's valve kept the schedule it was recorded with, unless given
  // another.
  valveSchedule_ = schedule ? schedule : replaySchedule_;
  ancillary_.clear();
  ancillaryFailed_.clear();
  std::vector<AncillarySpec> specs;
  for (const AncillarySource* source : ancillarySources_) {
    for (std::size_t k = 0; k < source->size(); ++k) {
      const AncillarySpec& spec = source->reader(k).spec();
      AncillaryState state;
      state.name = PrintableText(spec.Name());
      state.link = PrintableText(source->Describe());
      state.map = spec.map;
      ancillary_.push_back(std::move(state));
      specs.push_back(spec);
    }
  }
  if (companion_ != nullptr && (!specs.empty() || schedule)) {  // a run without ship's data writes nothing more
    companion_->ancillarySources = specs;
    companion_->valveSchedule = schedule;
    WriteCompanionNow();
  }
  if (ancillarySources_.empty() || path.empty()) return status::kOk;
  const Status opened = ancillaryFile_.Open(path);
  if (opened != status::kOk) {
    ancillaryFailed_ = path;
    SONDRIX_LOG(Warn, "%s: the ship's data file could not be created", path.c_str());
  }
  return opened;
}

void Acquisition::PollAncillary() {
  if (ancillarySources_.empty()) return;
  const double now = platform::Timer();
  if (lastAncillaryPoll_ >= 0.0 && now - lastAncillaryPoll_ < kPositionPollSeconds && now >= lastAncillaryPoll_) return;
  const double arrived = lastAncillaryPoll_ >= 0.0 && lastAncillaryPoll_ <= now ? lastAncillaryPoll_ : now;
  lastAncillaryPoll_ = now;
  std::size_t first = 0;  // the state of the source's first spec
  for (AncillarySource* source : ancillarySources_) {
    AncillaryState& head = ancillary_[first];
    if (!head.failed) {
      readings_.clear();
      if (!source->Poll(readings_)) {
        head.failed = true;
        SONDRIX_LOG(Warn, "the ship's data source %s failed; the run goes on without it", head.link.c_str());
      }
      const bool away = source->Lost();
      FollowLink("ship's data source", head.link, away, source->Notice(), head.away, head.breaks, head.notice);
      for (std::size_t k = 0; k < source->size(); ++k) {
        AncillaryState& state = ancillary_[first + k];
        state.away = away;
        state.failed = head.failed;
        state.breaks = head.breaks;
        state.counts = source->Counts(k);
        if (k >= readings_.size() || readings_[k].empty()) continue;
        state.any = true;
        state.lastAt = now;
        for (const AncillaryReading& reading : readings_[k]) {
          state.last[static_cast<std::size_t>(reading.quantity)] = reading.value;
          if (!ancillaryFile_.open() || !ancillaryFailed_.empty()) continue;
          if (ancillaryFile_.Append({reading.utcMs, reading.quantity, reading.value, state.name}) != status::kOk) {
            ancillaryFailed_ = ancillaryFile_.path();
            SONDRIX_LOG(Warn, "%s: the ship's data file could not be written", ancillaryFile_.path().c_str());
          }
        }
        if (durable_ && ancillaryFile_.open() && (unsyncedSince_ < 0.0 || arrived < unsyncedSince_))
          unsyncedSince_ = arrived;
      }
    }
    first += source->size();
  }
}

bool Acquisition::MarkEvent(std::string_view kind, std::string_view note, std::int64_t utcMs) {
  if (companion_ == nullptr) return false;
  companion_->events.push_back({utcMs >= 0 ? utcMs : platform::UtcMs(), std::string(kind), std::string(note)});
  SONDRIX_LOG(Info, "event: %.*s%s%.*s", static_cast<int>(kind.size()), kind.data(), note.empty() ? "" : ": ",
              static_cast<int>(note.size()), note.data());
  WriteCompanionNow();
  return companionWritten_ == status::kOk;
}

void Acquisition::PollPosition() {
  if (positionSource_ == nullptr || position_.failed) return;
  const double now = platform::Timer();
  if (lastPositionPoll_ >= 0.0 && now - lastPositionPoll_ < kPositionPollSeconds && now >= lastPositionPoll_) return;
  // What this poll finds arrived after the last one: its sync is counted
  // from then, never later than the fix really came.
  const double arrived = lastPositionPoll_ >= 0.0 && lastPositionPoll_ <= now ? lastPositionPoll_ : now;
  lastPositionPoll_ = now;
  fixes_.clear();
  if (!positionSource_->Poll(fixes_)) {
    position_.failed = true;
    SONDRIX_LOG(Warn, "the position source %s failed; the run goes on without positions", position_.source.c_str());
  }
  position_.counts = positionSource_->Counts();
  FollowLink("position source", position_.source, positionSource_->Lost(), positionSource_->Notice(), position_.away,
             position_.breaks, position_.notice);
  for (const NmeaFix& fix : fixes_) TakeFix(fix, arrived, now);
  // A fix with GGA's part has all a receiver tells of it; one without waits
  // a second at most for it (a live run's sync takes it sooner).
  if (pendingFix_ && (pendingFix_->quality >= 0 || now - pendingAt_ >= 1.0)) AppendPending();
  WatchSilence(now);
}

void Acquisition::TakeFix(const NmeaFix& fix, double arrived, double now) {
  // GGA's part of a fix: its quality, satellites and HDOP.
  const auto addGga = [&fix](NmeaFix& into) {
    into.quality = fix.quality;
    into.satellites = fix.satellites;
    into.hdop = fix.hdop;
  };
  const auto written = std::find_if(written_.rbegin(), written_.rend(),
                                    [&fix](const NmeaFix& w) { return w.utcMs == fix.utcMs; });
  if (written != written_.rend()) {
    // A sentence of a fix already written: its GGA part, come late, writes
    // it again; anything else adds nothing.
    if (fix.quality < 0 || written->quality >= 0) return;
    NmeaFix amended = *written;
    addGga(amended);
    NoteUnsynced(arrived);
    WriteFix(amended);
    if (position_.last && position_.last->utcMs == amended.utcMs) position_.last = amended;
    return;
  }
  if (pendingFix_ && pendingFix_->utcMs == fix.utcMs) {
    if (fix.quality >= 0) addGga(*pendingFix_);
  } else {
    AppendPending();
    pendingFix_ = fix;
    pendingAt_ = now;
    NoteUnsynced(arrived);
    ++position_.fixes;
    // The receiver speaks again: a silence ends here.
    EndSilence(now);
    position_.lastAt = now;
  }
  if (!position_.last || position_.last->utcMs <= pendingFix_->utcMs) position_.last = pendingFix_;
}

void Acquisition::AppendPending() {
  if (!pendingFix_) return;
  const NmeaFix fix = *pendingFix_;
  pendingFix_.reset();
  WriteFix(fix);
}

void Acquisition::WriteFix(const NmeaFix& fix) {
  const auto same = std::find_if(written_.begin(), written_.end(),
                                 [&fix](const NmeaFix& w) { return w.utcMs == fix.utcMs; });
  if (same != written_.end()) {
    *same = fix;
  } else {
    if (written_.size() == kRecentFixes) written_.erase(written_.begin());
    written_.push_back(fix);
  }
  if (!track_.open() || !trackFailed_.empty()) return;
  if (track_.Append({fix.utcMs, fix.latitude, fix.longitude, fix.quality, fix.satellites, fix.hdop,
                     position_.source}) != status::kOk) {
    trackFailed_ = track_.path();
    SONDRIX_LOG(Warn, "%s: the track could not be written", track_.path().c_str());
  }
}

void Acquisition::NoteUnsynced(double arrived) {
  if (!durable_ || !track_.open()) return;
  if (unsyncedSince_ < 0.0 || arrived < unsyncedSince_) unsyncedSince_ = arrived;
}

void Acquisition::WatchSilence(double now) {
  if (position_.silent || position_.failed) return;
  const double since = position_.last ? position_.lastAt : position_.startedAt;
  if (now - since <= kMaxFixGapSeconds) return;
  position_.silent = true;
  if (position_.last) {
    SONDRIX_LOG(Warn, "the position source %s has given no fix for %.0f s (the last at %s); the samples meanwhile "
                "get no position", position_.source.c_str(), now - since,
                IsoUtc(position_.last->utcMs, /*milliseconds=*/false).c_str());
  } else {
    SONDRIX_LOG(Warn, "the position source %s has given no fix in the %.0f s since the run started; the samples "
                "meanwhile get no position", position_.source.c_str(), now - since);
  }
}

void Acquisition::EndSilence(double now, bool runEnds) {
  const double since = position_.last ? position_.lastAt : position_.startedAt;
  const double silence = now - since;
  if (silence <= kMaxFixGapSeconds) return;
  ++position_.silences;
  position_.silentSeconds += silence;
  position_.longestSilence = std::max(position_.longestSilence, silence);
  if (position_.silent && !runEnds) {
    SONDRIX_LOG(Info, "the position source %s gives fixes again after %.1f s without", position_.source.c_str(),
                silence);
  }
  position_.silent = false;
}

void Acquisition::WriteCompanionNow() {
  // The last write counts: a companion written whole at the first sample
  // after a failure at the start is whole.
  const Status written = WriteCompanion(companionPath_, *companion_);
  if (written != status::kOk && companionWritten_ == status::kOk)
    SONDRIX_LOG(Warn, "%s: the companion could not be written (%d)", companionPath_.c_str(), written);
  companionWritten_ = written;
  // The raw capture of the run keeps the same companion: its replay is
  // placed in UTC by it.
  if (const RS232Port* port = SerialPortOf(source_); port != nullptr && port->Capturing()) {
    const std::string beside = CompanionPathFor(port->CaptureFileName());
    if (WriteCompanion(beside, *companion_) != status::kOk)
      SONDRIX_LOG(Warn, "%s: the raw capture's companion could not be written", beside.c_str());
  }
}

namespace {

// The stored file a replay reads: the raw capture under a meter (a source
// with a counter), or the data file itself. Empty for a live source.
std::string ReplayedFile(Source& source) {
  if (source.GetReplayFraction() < 0.0) return {};
  std::string name;
  if (source.GetClock() != nullptr) source.GetPortname(name);
  else name = source.filename();
  return name;
}

}  // namespace

Status ReadReplayedCompanion(Source& source, Companion& out, std::string& error) {
  const std::string replayed = ReplayedFile(source);
  if (replayed.empty()) return status::kCantOpenFile;
  return ReadCompanion(CompanionPathFor(replayed), out, error);
}

bool ReplayLacksUtc(Source& source) {
  if (ReplayedFile(source).empty()) return false;
  Companion stored;
  std::string error;
  return ReadReplayedCompanion(source, stored, error) != status::kOk ||
         (stored.clock.Empty() && !stored.timeZeroUtcMs);
}

void Acquisition::TakeReplayClock() {
  // A data file's stamps are the recording's: its own map places them.
  if (clock_ == nullptr) clock_ = &storedClock_;
  const std::string replayed = ReplayedFile(source_);
  const std::string name = NameFromPath(replayed);
  Companion stored;
  std::string error;
  const Status read = ReadReplayedCompanion(source_, stored, error);
  if (read == status::kOk && (!stored.clock.Empty() || stored.timeZeroUtcMs)) {
    clock_->Adopt(!stored.clock.Empty() ? stored.clock : ClockMap{{{0, *stored.timeZeroUtcMs}}, {}});
    // The valve switched by the clock when the file was recorded.
    replaySchedule_ = stored.valveSchedule;
    if (companion_ == nullptr) return;
    companion_->clockMethod =
        !stored.clock.Empty() ? stored.clockMethod + " (as measured when " + name + " was recorded; from its companion)"
                              : "time zero plus each sample's time stamp, from the companion of " + name;
    // The events happened when the file was recorded; a replay's own start
    // and end would be the replay's.
    companion_->events = stored.events;
    if (companion_->deployment.Empty()) companion_->deployment = stored.deployment;
    if (companion_->positionSource.empty()) companion_->positionSource = stored.positionSource;
    if (companion_->ancillarySources.empty()) companion_->ancillarySources = stored.ancillarySources;
    if (!companion_->valveSchedule) companion_->valveSchedule = stored.valveSchedule;
    return;
  }
  if (read != status::kOk && read != status::kCantOpenFile)
    SONDRIX_LOG(Warn, "%s: %s; the samples have no measured UTC", CompanionPathFor(replayed).c_str(), error.c_str());
  if (startUtc_ && companion_ != nullptr) {
    clock_->Adopt(ClockMap{{{0, *startUtc_}}, {}});
    companion_->clockMethod = "the instrument's own counter from the UTC given for the first sample of " + name +
                              " (" + IsoUtc(*startUtc_) + "); no time map was recorded with it";
  }
}

bool Acquisition::HasUtc() const {
  // A live run measures it.
  if (source_.GetReplayFraction() < 0.0 || clock_ == nullptr) return true;
  return !clock_->Empty();
}

std::optional<std::int64_t> Acquisition::UtcOf(std::int64_t timeMs) const {
  // The map fitted so far; the exports place the sample by the map the
  // whole run fitted, through the same function.
  static const ClockMap kNoMap;
  return SampleUtc(clock_ != nullptr ? clock_->Map() : kNoMap,
                   companion_ != nullptr ? companion_->timeZeroUtcMs : std::nullopt, timeMs);
}

void Acquisition::StoreClock(bool now) {
  if (companion_ == nullptr || clock_ == nullptr || clock_->Empty()) return;
  if (!now && clock_->ClosedAnchors() == storedAnchors_) return;
  storedAnchors_ = clock_->ClosedAnchors();
  companion_->clock = clock_->Map();
  companion_->timeZeroUtcMs = companion_->clock.Utc(0);
  WriteCompanionNow();
}

Status Acquisition::Record(const SourceLine& line) {
  const bool first = companion_ != nullptr && recording_->writtenLines() == 0;
  // Only the first recorded line's arrival is wanted, and only from a
  // source without a clock map: the clock is read for no other.
  const std::int64_t arrivedMs = first && clock_ == nullptr ? platform::UtcMs() : 0;
  const Status result = recording_->WriteData(line);
  if (result != status::kOk || companion_ == nullptr || recording_->writtenLines() == 0) return result;
  lastStamp_ = line.time;
  if (clock_ != nullptr) {
    // Time zero and the map as they stand at the first line, then again
    // whenever the map closes an anchor.
    StoreClock(first);
  } else if (first) {
    // A source without a counter: time zero is when the first recorded
    // sample arrived, less its own stamp.
    companion_->timeZeroUtcMs = arrivedMs - line.time;
    WriteCompanionNow();
  }
  return result;
}

double Acquisition::awaySeconds() const { return away_ ? platform::SecondsSince(awaySince_) : lastGap_; }

long Acquisition::recordedLines() const { return recording_ != nullptr ? recording_->writtenLines() : 0; }

bool Acquisition::AtLineLimit() const { return maxLines_ > 0 && recordedLines() >= maxLines_; }

void Acquisition::End(Status result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  log_.Ended(result);
}

Status Acquisition::ReadOne() {
  if (ended_) return result_;
  PollPosition();
  PollAncillary();
  if (!line_) {
    End(status::kOutOfMemory);
    return result_;
  }
  if (away_) {
    const Status looked = LookForLine();
    // The receiver's fixes go on coming while the meter's line is away:
    // they are synced as ever.
    if (const Status kept = KeepSafe(); kept != status::kOk) End(kept);
    return ended_ ? result_ : looked;
  }
  Status result = source_.CanRead() == 0 ? status::kNoData : source_.Read(*line_);
  if (result == status::kNoData) {
    // The time-out counts from the first look that found nothing after the
    // last line (across midnight too): the clock is not read for every
    // line.
    if (linesSinceQuiet_) {
      linesSinceQuiet_ = false;
      lastLine_ = platform::Timer();
    }
    if (platform::SecondsSince(lastLine_) > timeout_) {
      End(status::kTimedOut);
      return result_;
    }
    pace_.Idle();
    if (const Status kept = KeepSafe(); kept != status::kOk) {
      End(kept);
      return result_;
    }
    WatchDisk();
    if (view_ != nullptr) view_->Progress(*this);
    return status::kNoData;
  }
  if (WaitsFor(result)) {
    GoAway(result);
    return status::kNoData;
  }
  pace_.Ready();
  linesSinceQuiet_ = true;
  if (result == status::kOk) {
    ++readLines_;
    // The silence that ends a run is at least a few of the instrument's
    // packet spans, as its rate tells them.
    if (line_->sampleRate > 0.0)
      timeout_ = std::max(timeout_, kTimeoutPackets * std::max(1, source_.GetSamplesPerRec()) / line_->sampleRate);
    // The data file keeps good lines and every complete bin of several.
    if (recording_ != nullptr) result = Record(*line_);
    // Recorded first, then published: a source whose buffer is nearly full
    // is read before anyone but the history takes its lines.
    if (result == status::kOk) result = Publish();
    WatchLoss();
    if (view_ != nullptr) view_->Progress(*this);
  }
  if (result == status::kOk) result = KeepSafe();
  if (result != status::kOk) {
    End(result);
    return result_;
  }
  if (AtLineLimit()) End(status::kOk);
  return status::kOk;
}

// --- Health --------------------------------------------------------------------------

void Acquisition::WatchLoss() {
  // As the display counts them: a line of bin size 1 is a sample when it
  // is good; a completed bin holds its bin size whatever its status.
  const int binsize = std::max(source_.GetBinsize(), 1);
  if (binsize > 1 || line_->status == status::kOk) goodSamples_ += binsize;
  if (line_->status != status::kOk) return;
  loss_.Add(line_->time, goodSamples_, std::max(source_.GetLostCount(), 0));
  WatchDisk();
}

void Acquisition::WatchDisk(bool now) {
  if (recording_ == nullptr) return;
  const double at = platform::Timer();
  if (!now && lastDiskLook_ >= 0.0 && at >= lastDiskLook_ && at - lastDiskLook_ < kDiskProbeSeconds) return;
  lastDiskLook_ = at;
  // What the recording's folder holds (the recording, its raw capture,
  // companion and track, whatever else is written there): its growth is
  // the rate the disk fills at.
  const std::filesystem::path file(recording_->filename());
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  std::error_code error;
  std::uint64_t bytes = 0;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code sizeError;
    if (!it->is_regular_file(sizeError)) continue;
    const std::uintmax_t size = it->file_size(sizeError);
    if (!sizeError) bytes += size;
  }
  folderBytes_.Add(at, bytes);
  if (freeSpace_) {
    diskFree_ = freeSpace_(folder.string());
  } else {
    const std::filesystem::space_info space = std::filesystem::space(folder, error);
    diskFree_ = error ? std::nullopt : std::optional<std::uint64_t>(space.available);
  }
}

RunHealth Acquisition::Health() const {
  RunHealth health;
  if (ended_) return health;
  if (away_) {
    health.line = reopened_ ? LineState::Reconnecting : LineState::Lost;
    health.lineSeconds = awaySeconds();
  } else {
    const double quiet = linesSinceQuiet_ ? 0.0 : platform::SecondsSince(lastLine_);
    const bool waiting = readLines_ == 0 || quiet > std::max(kHealthWaitSeconds, timeout_ / 4.0);
    health.line = waiting ? LineState::Waiting : LineState::Reading;
    health.lineSeconds = readLines_ == 0 ? platform::SecondsSince(lastLine_) : quiet;
  }
  loss_.Fill(health);
  if (position_.on()) {
    health.gps.on = true;
    health.gps.failed = position_.failed || position_.away;
    if (position_.last) health.gps.age = position_.Age();
  }
  for (const AncillaryState& state : ancillary_) {
    DataAge& age = health.ancillary.emplace_back();
    age.name = state.name;
    age.on = true;
    age.failed = state.Gone();
    if (state.any) age.age = state.Age();
    age.amberSeconds = kAncillaryAmberSeconds;
  }
  health.diskFree = diskFree_;
  health.writeRate = folderBytes_.Rate();
  if (diskFree_ && health.writeRate && *health.writeRate > 0.0)
    health.diskHours = static_cast<double>(*diskFree_) / *health.writeRate / 3600.0;
  return health;
}

Status Acquisition::KeepSafe(bool now) {
  if (!durable_) return status::kOk;
  DPort* port = nullptr;
  if (source_.GetPort(port) != status::kOk) port = nullptr;
  const long lines = recordedLines();
  const long long bytes = port != nullptr ? port->StreamOffset() : 0;
  // A fix held back for the rest of its sentences waits for its sync too
  // (its arrival was noted: NoteUnsynced).
  const bool fixHeld = pendingFix_.has_value() && track_.open() && trackFailed_.empty();
  if (lines == syncedLines_ && bytes == syncedBytes_ && track_.fixes() == syncedFixes_ &&
      ancillaryFile_.values() == syncedValues_ && !fixHeld)
    return status::kOk;
  if (unsyncedSince_ < 0.0) unsyncedSince_ = platform::Timer();
  // Synced a little early rather than late: a look may come up to one
  // short wait after the moment.
  const double due = kSyncSeconds - SourceWait::kShortWait - platform::SecondsSince(unsyncedSince_);
  if (!now && due > 0.0) {
    pace_.Cap(due);
    return status::kOk;
  }
  // The fix held back goes now, whole or not: a later GGA amends it.
  if (fixHeld) AppendPending();
  const long fixes = track_.fixes();
  unsyncedSince_ = -1.0;
  syncedLines_ = lines;
  syncedBytes_ = bytes;
  syncedFixes_ = fixes;
  if (fixes > 0 && trackFailed_.empty() && track_.Sync() != status::kOk) {
    trackFailed_ = track_.path();
    SONDRIX_LOG(Warn, "%s: the track could not be synced to the disk", track_.path().c_str());
  }
  syncedValues_ = ancillaryFile_.values();
  if (syncedValues_ > 0 && ancillaryFailed_.empty() && ancillaryFile_.Sync() != status::kOk) {
    ancillaryFailed_ = ancillaryFile_.path();
    SONDRIX_LOG(Warn, "%s: the ship's data file could not be synced to the disk", ancillaryFile_.path().c_str());
  }
  if (port != nullptr && port->SyncCapture() != status::kOk)
    SONDRIX_LOG(Warn, "%s: the raw capture could not be synced to the disk", lineName_.c_str());
  return recording_ != nullptr ? recording_->Sync() : status::kOk;
}

bool Acquisition::WaitsFor(Status error) const {
  return reconnect_ && durable_ && (error == status::kGeneralIoError || error == status::kPortNotOpen);
}

void Acquisition::GoAway(Status error) {
  away_ = true;
  reopened_ = false;
  ++breaks_;
  awaySince_ = platform::Timer();
  lastTry_ = awaySince_;
  awayMessage_ = lineName_ + " stopped answering; waiting for it to come back — Stop ends the run";
  SONDRIX_LOG(Info, "%s (%d: %s)", awayMessage_.c_str(), error, StatusText(error).c_str());
  // What was recorded before the break is put on the disk now.
  KeepSafe(true);
  pace_.Watch({});
  pace_.Sleep(retrySeconds_);
  if (view_ != nullptr) view_->Away(*this);
}

Status Acquisition::LookForLine() {
  const auto wait = [this] {
    pace_.Sleep(std::max(0.01, std::min(retrySeconds_ - platform::SecondsSince(lastTry_), SourceWait::kLineWait)));
    if (view_ != nullptr) view_->Progress(*this);
    return status::kNoData;
  };
  if (!reopened_) {
    if (platform::SecondsSince(lastTry_) < retrySeconds_) return wait();
    lastTry_ = platform::Timer();
    if (source_.Reopen() != status::kOk) return wait();
    reopened_ = true;
    pace_.Watch(SourceInputs(source_));
    SONDRIX_LOG(Info, "%s is there again; looking for its packets", lineName_.c_str());
  }
  const Status found = source_.Resync();
  if (found == status::kNoData) {
    pace_.Idle();
    if (view_ != nullptr) view_->Progress(*this);
    return status::kNoData;
  }
  if (found == status::kSerialMismatch) {
    // The line is back, with another instrument on it: the gap ends here,
    // and so does the run (the view hears no Back: the run does not go on).
    away_ = false;
    lastGap_ = platform::SecondsSince(awaySince_);
    awayTotal_ += lastGap_;
    End(found);
    return result_;
  }
  if (found != status::kOk) {
    // Gone again, or no packets of the instrument's format: looked for
    // again after the next pause.
    SONDRIX_LOG(Debug, "%s: no packets yet (%d: %s)", lineName_.c_str(), found, StatusText(found).c_str());
    reopened_ = false;
    lastTry_ = platform::Timer();
    pace_.Watch({});
    return wait();
  }
  away_ = false;
  reopened_ = false;
  lastGap_ = platform::SecondsSince(awaySince_);
  awayTotal_ += lastGap_;
  lastLine_ = platform::Timer();
  SONDRIX_LOG(Info, "%s is back after %.1f s; the run goes on", lineName_.c_str(), lastGap_);
  pace_.Ready();
  if (view_ != nullptr) view_->Back(*this);
  return status::kNoData;
}

Status Acquisition::Publish() {
  return stream_ != nullptr ? stream_->Publish(*line_, source_.MustRead() != 0) : status::kOk;
}

Status Acquisition::Drain() {
  // A stored file (a data file, a raw capture) has nothing that "arrived":
  // its run stops where the user stopped it.
  if (!line_ || SerialPortOf(source_) == nullptr) return status::kOk;
  const double start = platform::Timer();
  while (!AtLineLimit() && platform::SecondsSince(start) < kDrainSeconds && !user_.Insists()) {
    if (source_.CanRead() == 0 || source_.Read(*line_) != status::kOk) break;
    ++readLines_;
    Status result = recording_ != nullptr ? Record(*line_) : status::kOk;
    if (result == status::kOk) result = Publish();
    if (result != status::kOk) return result;
  }
  return status::kOk;
}

Status Acquisition::Run() {
  // The first look at the user does not wait.
  pace_.Ready();
  while (!ended_) {
    if (user_.Look(pace_)) {
      // The user's stop ends a run that had not ended meanwhile (while a
      // dialog was up, say).
      if (ended_) break;
      stoppedByUser_ = true;
      End(away_ ? status::kOk : Drain());
      break;
    }
    ReadOne();
  }
  return result_;
}

RunSummary Acquisition::Finish() {
  // The lines the recording still holds go to the file now: a write that
  // fails here fails a run that ended normally, as one during the run
  // would have.
  if (!finished_ && recording_ != nullptr && (result_ == status::kOk || result_ == status::kUnexpectedEof)) {
    if (const Status flushed = recording_->Flush(); flushed != status::kOk) {
      SONDRIX_LOG(Warn, "the recording's last lines could not be written (%d)", flushed);
      result_ = flushed;
    }
  }
  RunSummary summary;
  summary.result = result_;
  summary.stoppedByUser = stoppedByUser_;
  summary.events = source_.GetStreamEvents();
  summary.lost = source_.GetLostCount();
  summary.line = lineName_;
  summary.breaks = breaks_;
  summary.awaySeconds = awayTotal_ + (away_ ? platform::SecondsSince(awaySince_) : 0.0);
  summary.endedAway = away_;
  if (companion_ != nullptr && !HasUtc()) {
    source_.GetPortname(summary.withoutUtc);
    summary.withoutUtc = NameFromPath(summary.withoutUtc);
  }
  if (!finished_) {
    PollPosition();
    lastAncillaryPoll_ = -1.0;
    PollAncillary();
    AppendPending();
    // A silence that lasted to the end is one too.
    if (positionSource_ != nullptr && !position_.failed) EndSilence(platform::Timer(), /*runEnds=*/true);
    if (companion_ != nullptr) {
      // A live run ends now; a replay whose samples have a UTC ends at its
      // last sample, and one recorded again from its capture keeps the
      // capture's events.
      const bool replay = source_.GetReplayFraction() >= 0.0;
      if (!replay) {
        companion_->events.push_back({platform::UtcMs(), "end", ""});
      } else if (startUtc_ && clock_ != nullptr && !clock_->Empty()) {
        companion_->events.push_back({*clock_->Utc(0), "start", ""});
        companion_->events.push_back({*clock_->Utc(lastStamp_), "end", ""});
      }
      if (clock_ != nullptr && !clock_->Empty()) {
        companion_->clock = clock_->Map();
        if (recording_ != nullptr && recording_->writtenLines() > 0) companion_->timeZeroUtcMs = companion_->clock.Utc(0);
      }
      WriteCompanionNow();
    }
    if (track_.open() && track_.Close() != status::kOk && trackFailed_.empty()) trackFailed_ = track_.path();
    if (ancillaryFile_.open() && ancillaryFile_.Close() != status::kOk && ancillaryFailed_.empty())
      ancillaryFailed_ = ancillaryFile_.path();
  }
  if (companion_ != nullptr && companionWritten_ != status::kOk) summary.companionFailed = companionPath_;
  summary.position = position_;
  summary.trackFailed = trackFailed_;
  summary.ancillary = ancillary_;
  summary.ancillaryFailed = ancillaryFailed_;
  if (network_ != nullptr) {
    summary.network = network_->state();
    if (!finished_) SONDRIX_LOG(Info, "%s", NetworkNote(summary.network).c_str());
  }
  if (!finished_ && KeepSafe(true) != status::kOk)
    SONDRIX_LOG(Warn, "%s: the recording could not be synced to the disk at the end of the run", lineName_.c_str());
  if (recording_ != nullptr && !finished_) {
    summary.closed = recording_->Close();
    summary.recorded = recording_->storedLines();
    summary.refused = recording_->refusedLines();
  }
  finished_ = true;
  log_.Summary(recording_);
  return summary;
}

}  // namespace sondrix
