// SPDX-License-Identifier: GPL-3.0-or-later
// Session: the home of the run, for the window and the tools alike. It owns
// the source that is open, the scratch recording its runs record into, the
// run going on (its Acquisition, companion, position source, which keeps
// the track, ship's data sources, which keep NAME.ancillary.csv, and
// network output), the run's history of drawn points, and the one stream of
// samples that every consumer subscribes to. The window's Display is a view
// of a session; sondrix-cli record runs one without a view.
//
// A session's life:
//
//   Attach(source, scratch)   the source is the session's; its scratch
//                             recording is made (not yet opened)
//   OpenRecording()           before each run: the recording is opened
//   Begin(user, view, set-up) the run: companion, clock, position, events
//     run()->Run()            lines read -> recorded -> published
//   Finish()                  the recording closed, the run summed up;
//                             saving it is the caller's (DataFile::SaveAs)
//   Detach()                  the source closed, the recording dropped
//
// The history follows the stream ahead of any view: it keeps every line the
// run had time to show (not those read while the source was behind),
// averaged into bins of the display's bin size (BeginHistory), so that a
// graph put on show at any time is drawn with the whole run. With the live
// processing on (SetProcessing), a second history follows its stream of
// corrected lines the same way: the view shows either.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "datafile/companion.h"
#include "datafile/data_file.h"
#include "io/ancillary.h"
#include "io/position_source.h"
#include "session/acquisition.h"
#include "session/live_processing.h"
#include "session/network_output.h"
#include "session/run_history.h"
#include "session/sample_stream.h"
#include "source/source.h"

namespace sondrix {

// How a run is set up beyond its source and recording.
struct RunSetup {
  // Wait for a serial line that goes away (Acquisition::SetReconnect).
  bool reconnect = false;
  // Lines recorded after which the run ends normally (0: no limit).
  long maxLines = 0;
  // The UTC of a replayed capture's first sample when it has no time map.
  std::optional<std::int64_t> startUtc;
  // The deployment metadata of the recording's companion.
  Deployment deployment;
  // The GPS receiver read beside the run (null: none); the session keeps it
  // for the run.
  std::unique_ptr<PositionSource> position;
  // The ship's data sources read beside the run, and the valve's schedule
  // (io/ancillary.h); the session keeps them for the run.
  std::vector<std::unique_ptr<AncillarySource>> ancillary;
  std::optional<ValveSchedule> valveSchedule;
  // The run's recorded lines on the ship's network (null: none); the
  // session keeps it for the run, on its stream after the recording.
  std::unique_ptr<NetworkOutput> network;
};

// Lines the live processing may fall behind the run before it misses one:
// some seconds of the fastest meter, caught up when the run has time.
inline constexpr std::size_t kProcessingQueue = 1024;

class Session {
 public:
  Session();
  ~Session();  // detaches
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Takes `source` (null: none), detaching the one before. With a
  // `scratch` path the source's runs record into a data file there; 1, or
  // -1002 when that recording cannot be made (the source is then closed and
  // the session has none).
  Status Attach(std::unique_ptr<Source> source, const std::string& scratch = {});
  // Closes and drops the source and its recording; the history is
  // forgotten.
  void Detach();
  Source* source() const { return source_.get(); }
  DataFile* recording() const { return recording_.get(); }

  // Opens the scratch recording for a run at the source's bin size (1 with
  // none). Its error as OpenWrite gives it.
  Status OpenRecording();
  // Resets the source for a run. A serial line that went away since the
  // last run (an adapter reseated between casts) is opened again first, as
  // a run opens it again when it comes back (Source::Reopen: the same
  // device, by the name the port was opened on), and reset once more; the
  // code of the open that failed while it is still away.
  Status ResetSource();

  // The run: Begin sets it up (the companion beside the recording, the
  // replay's start time, the position source with the track beside the
  // recording, reconnection, the line limit; see RunSetup) and returns it;
  // run.ready() says whether it can run. Finish closes its recording and
  // sums it up; the run is gone afterwards.
  Acquisition& Begin(RunUser& user, RunView* view, RunSetup setup);
  Acquisition* run() const { return run_.get(); }
  RunSummary Finish();
  const Companion& companion() const { return companion_; }
  // How sound the run going on is (nothing but an idle line between runs).
  RunHealth Health() const { return run_ ? run_->Health() : RunHealth{}; }

  // --- The stream and the histories -------------------------------------
  // The run's lines as the meter measured them, or as the live processing
  // corrects them (LiveProcessing; nothing comes while none is set).
  enum class Values { kMeasured, kCorrected };
  SampleStream& stream(Values values = Values::kMeasured) {
    return values == Values::kCorrected && processing_ ? processing_->stream() : stream_;
  }
  // Publishes one line, as the run does after recording it (also how a
  // view is fed lines from elsewhere).
  Status Publish(const SourceLine& line, bool behind = false) { return stream_.Publish(line, behind); }
  // The drawn points of the measured lines, or of the corrected ones.
  const RunHistory& history(Values values = Values::kMeasured) const { return Keeper(values).history(); }
  // New histories for `traceCount` traces, in bins of `binsize` lines.
  void BeginHistory(int traceCount, int binsize);
  // Starts fresh display bins: the lines of the ones in progress are not
  // kept (another graph was put on show, or other traces).
  void StartHistoryBin() {
    measured_.StartBin();
    corrected_.StartBin();
  }
  // Forgets the histories (a picture recalled from a file is not the run's).
  void ForgetHistory() { BeginHistory(0, measured_.binsize()); }
  // History bins completed and thinnings since BeginHistory.
  std::size_t historyBins(Values values = Values::kMeasured) const { return Keeper(values).history().added(); }
  long historyThinnings(Values values = Values::kMeasured) const { return Keeper(values).thinnings(); }

  // --- The live processing (session/live_processing.h) ----------------------------------
  // Corrects the run's lines with `settings` from now on (the next run's
  // from its start), with `underway` giving the particulate values instead;
  // none (nullopt) stops it. False with `error` when the settings cannot
  // work for the source (the processing is then off).
  bool SetProcessing(std::optional<ProcessingSettings> settings, std::string& error,
                     std::optional<UnderwaySettings> underway = std::nullopt);
  const LiveProcessing* processing() const { return processing_.get(); }

 private:
  // A history as a consumer of a stream: the lines binned, gaps found.
  class HistoryKeeper final : public SampleConsumer {
   public:
    Status Take(const SourceLine& line) override;
    // A line the history had no time for is no gap.
    void Missed(const SourceLine& line) override;
    void Begin(int traceCount, int binsize);
    void StartBin() {
      binCount_ = 0;
      binSum_.fill(0.0);
    }
    const RunHistory& history() const { return history_; }
    long thinnings() const { return thinnings_; }
    int binsize() const { return binsize_; }

   private:
    RunHistory history_;
    int binsize_ = 1;
    int binCount_ = 0;
    // Gaps in the run's lines, and one before the bin in progress.
    GapFinder gaps_;
    bool binAfterGap_ = false;
    long thinnings_ = 0;
    std::array<double, kMaxTraces> binSum_{};
    std::array<double, kMaxTraces> binMean_{};
  };
  const HistoryKeeper& Keeper(Values values) const {
    return values == Values::kCorrected ? corrected_ : measured_;
  }

  std::unique_ptr<Source> source_;
  std::unique_ptr<DataFile> recording_;
  std::unique_ptr<Acquisition> run_;
  std::unique_ptr<PositionSource> position_;
  std::vector<std::unique_ptr<AncillarySource>> ancillary_;
  std::unique_ptr<NetworkOutput> network_;
  Companion companion_;
  SampleStream stream_;
  HistoryKeeper measured_;
  // Declared before the processing, whose stream it follows.
  HistoryKeeper corrected_;
  std::unique_ptr<LiveProcessing> processing_;
};

}  // namespace sondrix
