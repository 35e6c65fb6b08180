// SPDX-License-Identifier: GPL-3.0-or-later
// A stored data file replayed through a session with the live processing
// on, as the window does it: every corrected (or particulate) line the
// processing gives, kept for a test to hold against the file processed
// after the run.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "meter/source_factory.h"
#include "session/session.h"
#include "source/source_wait.h"

namespace sondrix::test {

struct ProcessedReplay {
  std::vector<std::vector<double>> values;  // each line's, in order
  long missed = 0;                          // lines the processing passed on
  std::string error;                        // "" when the replay ran
};

// Replays `dataFile` (its scratch recording at `scratch`) with `settings`
// (and `underway`); `inspect` sees the session after the run, before it is
// finished.
inline ProcessedReplay ReplayProcessed(const std::string& dataFile, const std::string& scratch,
                                       ProcessingSettings settings, std::optional<UnderwaySettings> underway = {},
                                       RunSetup setup = {}, const std::function<void(Session&)>& inspect = {}) {
  class Kept final : public SampleConsumer {
   public:
    explicit Kept(ProcessedReplay& out) : out_(out) {}
    Status Take(const SourceLine& line) override {
      out_.values.push_back(line.values);
      return status::kOk;
    }
    void Missed(const SourceLine&) override { ++out_.missed; }

   private:
    ProcessedReplay& out_;
  };
  ProcessedReplay out;
  std::unique_ptr<Source> source;
  if (NewSource(source, kSourceKindFile, dataFile, "") != status::kOk || source->Open() != status::kOk) {
    out.error = "cannot open " + dataFile;
    return out;
  }
  Session session;
  if (session.Attach(std::move(source), scratch) != status::kOk || session.ResetSource() != status::kOk ||
      session.OpenRecording() != status::kOk) {
    out.error = "cannot replay " + dataFile;
    return out;
  }
  if (!session.SetProcessing(std::move(settings), out.error, std::move(underway))) return out;
  Kept kept(out);
  session.stream(Session::Values::kCorrected).Follow(kept, 0);
  PollingUser user([] { return 0; });
  Acquisition& run = session.Begin(user, nullptr, std::move(setup));
  if (run.ready() != status::kOk) {
    out.error = "the replay is not ready";
    return out;
  }
  run.Run();
  if (inspect) inspect(session);
  session.Finish();
  session.stream(Session::Values::kCorrected).Unsubscribe(kept);
  return out;
}

}  // namespace sondrix::test
