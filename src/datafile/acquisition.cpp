#include "datafile/acquisition.h"

#include "common/text_format.h"
#include "datafile/data_file.h"
#include "platform/clock.h"

namespace sondrix {

std::vector<std::string> RunSummary::Notes() const {
  std::vector<std::string> notes;
  if (refused > 0)
    notes.push_back(Format("%ld lines held values that are not numbers and were left out", refused));
  for (std::string& note : DescribeStreamEvents(events)) notes.push_back(std::move(note));
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
      lastLine_(platform::Timer()) {}

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
  if (!line_) {
    End(status::kOutOfMemory);
    return result_;
  }
  Status result = source_.CanRead() == 0 ? status::kNoData : source_.Read(*line_);
  if (result == status::kNoData) {
    // The time-out counts from the last line (across midnight too).
    if (platform::SecondsSince(lastLine_) > timeout_) {
      End(status::kTimedOut);
      return result_;
    }
    pace_.Idle();
    if (view_ != nullptr) view_->Progress(*this);
    return status::kNoData;
  }
  pace_.Ready();
  lastLine_ = platform::Timer();
  if (result == status::kOk) {
    ++readLines_;
    // The data file keeps good lines and every complete bin of several.
    if (recording_ != nullptr) result = recording_->WriteData(*line_);
    // A source whose buffer is nearly full has its lines recorded but not
    // drawn until it catches up; they are counted all the same.
    if (result == status::kOk && view_ != nullptr) result = view_->Show(*line_, source_.MustRead() != 0);
    if (view_ != nullptr) view_->Progress(*this);
  }
  if (result != status::kOk) {
    End(result);
    return result_;
  }
  if (AtLineLimit()) End(status::kOk);
  return status::kOk;
}

Status Acquisition::Drain() {
  // A stored file (a data file, a raw capture) has nothing that "arrived":
  // its run stops where the user stopped it.
  if (!line_ || SerialPortOf(source_) == nullptr) return status::kOk;
  const double start = platform::Timer();
  while (!AtLineLimit() && platform::SecondsSince(start) < kDrainSeconds && !user_.Insists()) {
    if (source_.CanRead() == 0 || source_.Read(*line_) != status::kOk) break;
    ++readLines_;
    Status result = recording_ != nullptr ? recording_->WriteData(*line_) : status::kOk;
    if (result == status::kOk && view_ != nullptr) result = view_->Show(*line_, source_.MustRead() != 0);
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
      End(Drain());
      break;
    }
    ReadOne();
  }
  return result_;
}

RunSummary Acquisition::Finish() {
  RunSummary summary;
  summary.result = result_;
  summary.stoppedByUser = stoppedByUser_;
  summary.events = source_.GetStreamEvents();
  summary.lost = source_.GetLostCount();
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
