// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/session.h"

#include <algorithm>
#include <span>

#include "common/log.h"
#include "datafile/track.h"
#include "io/rs232_port.h"
#include "source/source_wait.h"

namespace sondrix {

// The history holds the lines the run had time for, as the graphs drawn from
// it do; it follows the stream ahead of every view.
Session::Session() { stream_.Follow(measured_, 0); }

Session::~Session() {
  Detach();
  // The processing goes before the history that follows its stream.
  processing_.reset();
}

Status Session::Attach(std::unique_ptr<Source> source, const std::string& scratch) {
  Detach();
  source_ = std::move(source);
  if (!source_ || scratch.empty()) return status::kOk;
  std::unique_ptr<DataFile> recording;
  if (source_->NewDataFile(recording, scratch) != status::kOk) {
    // Without its recording a source cannot run: the session keeps none
    // rather than one that would record nowhere.
    source_->Close();
    source_.reset();
    return status::kCantOpenFile;
  }
  recording_ = std::move(recording);
  return status::kOk;
}

void Session::Detach() {
  if (run_) Finish();
  ForgetHistory();
  // The processing was made for the source's channels.
  std::string ignored;
  SetProcessing(std::nullopt, ignored);
  recording_.reset();
  if (source_) {
    source_->Close();
    source_.reset();
  }
}

Status Session::OpenRecording() {
  if (!source_) return status::kNoSourceAttached;
  if (!recording_) return status::kOk;
  recording_->SetOrigBinsize(source_->GetBinsize());
  return recording_->OpenWrite(source_.get());
}

Status Session::ResetSource() {
  if (!source_) return status::kNoSourceAttached;
  const Status result = source_->Reset();
  const bool gone = result == status::kGeneralIoError || result == status::kPortNotOpen;
  if (!gone || SerialPortOf(*source_) == nullptr) return result;
  SONDRIX_LOG(Info, "%s went away since the last run (%d); opening it again",
              SerialPortOf(*source_)->Describe().c_str(), result);
  if (const Status reopened = source_->Reopen(); reopened != status::kOk) return reopened;
  return source_->Reset();
}

Acquisition& Session::Begin(RunUser& user, RunView* view, RunSetup setup) {
  if (run_) Finish();
  DataFile* recording = recording_ != nullptr && recording_->isOpen() ? recording_.get() : nullptr;
  run_ = std::make_unique<Acquisition>(*source_, recording, user, view, setup.maxLines);
  run_->SetStream(&stream_);
  run_->SetReconnect(setup.reconnect);
  companion_ = Companion{};
  companion_.deployment = std::move(setup.deployment);
  position_ = std::move(setup.position);
  // A companion that cannot be written is told at the end, among the run's
  // notes; the recording goes on.
  if (recording != nullptr) {
    run_->SetStartUtc(setup.startUtc);
    run_->SetCompanion(&companion_, CompanionPathFor(recording->filename()));
  } else {
    // A replayed data file records nothing; its samples keep their UTC.
    run_->SetCompanion(nullptr, {});
  }
  run_->SetPosition(position_.get(), recording != nullptr ? TrackPathFor(recording->filename()) : std::string());
  ancillary_ = std::move(setup.ancillary);
  std::vector<AncillarySource*> sources;
  for (const std::unique_ptr<AncillarySource>& source : ancillary_) sources.push_back(source.get());
  run_->SetAncillary(std::move(sources), setup.valveSchedule,
                     recording != nullptr ? AncillaryPathFor(recording->filename()) : std::string());
  if (processing_) processing_->Begin(run_.get());
  network_ = std::move(setup.network);
  if (network_) {
    // Every recorded line at once, as the recorder takes it.
    stream_.Keep(*network_);
    network_->Begin(*source_, run_.get());
    if (processing_) network_->SetProcessing(processing_.get());
    run_->SetNetwork(network_.get());
  }
  return *run_;
}

RunSummary Session::Finish() {
  if (!run_) return RunSummary{};
  // The lines still queued for a follower are handed over: the run has
  // time for them now.
  stream_.Deliver();
  if (processing_) processing_->Finish();
  // The lines that waited for their corrected values go now.
  if (network_) {
    network_->Finish();
    stream_.Unsubscribe(*network_);
  }
  const RunSummary summary = run_->Finish();
  run_.reset();
  network_.reset();
  position_.reset();
  ancillary_.clear();
  return summary;
}

// --- The history -----------------------------------------------------------------------------

void Session::BeginHistory(int traceCount, int binsize) {
  measured_.Begin(traceCount, binsize);
  corrected_.Begin(traceCount, binsize);
}

bool Session::SetProcessing(std::optional<ProcessingSettings> settings, std::string& error,
                            std::optional<UnderwaySettings> underway) {
  if (processing_) {
    if (network_) network_->SetProcessing(nullptr);
    stream_.Unsubscribe(*processing_);
    processing_.reset();
  }
  if (!settings) return true;
  if (!source_) {
    error = "no meter or file is open";
    return false;
  }
  processing_ = LiveProcessing::Make(*source_, std::move(*settings), underway, error);
  if (!processing_) return false;
  // Live, its queue lets it catch up after a burst rather than lose lines:
  // a few seconds of the fastest meter. A stored file waits for it.
  if (source_->GetReplayFraction() >= 0.0) stream_.Keep(*processing_);
  else stream_.Follow(*processing_, kProcessingQueue);
  processing_->stream().Follow(corrected_, 0);
  processing_->Begin(run_.get());
  if (network_) network_->SetProcessing(processing_.get());
  return true;
}

void Session::HistoryKeeper::Begin(int traceCount, int binsize) {
  history_.Clear(std::clamp(traceCount, 0, kMaxTraces));
  binsize_ = std::max(binsize, 1);
  binCount_ = 0;
  thinnings_ = 0;
  binSum_.fill(0.0);
  gaps_.Clear();
  binAfterGap_ = false;
}

Status Session::HistoryKeeper::Take(const SourceLine& line) {
  if (line.status != status::kOk) return status::kOk;
  // No view began a history (the command-line recorder keeps none).
  const int traces = history_.traceCount();
  if (traces == 0) return status::kOk;
  if (gaps_.Take(line.time)) binAfterGap_ = true;
  const int count = std::min({line.count, traces, static_cast<int>(line.values.size())});
  for (int i = 0; i < count; ++i) binSum_[static_cast<std::size_t>(i)] += line.values[static_cast<std::size_t>(i)];
  if (++binCount_ < binsize_) return status::kOk;
  for (int i = 0; i < traces; ++i) {
    const auto k = static_cast<std::size_t>(i);
    binMean_[k] = binSum_[k] / binCount_;
    binSum_[k] = 0.0;
  }
  binCount_ = 0;
  if (history_.Add(line.time, line.temperature, line.depth,
                   std::span<const double>(binMean_.data(), static_cast<std::size_t>(traces)), binAfterGap_))
    ++thinnings_;
  binAfterGap_ = false;
  return status::kOk;
}

void Session::HistoryKeeper::Missed(const SourceLine& line) {
  if (line.status == status::kOk) gaps_.Take(line.time);
}

}  // namespace sondrix
