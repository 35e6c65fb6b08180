// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli replay: a data file opened as a source and every binned line
// it gives written to standard output in the data file's sample-line form.
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli_args.h"
#include "commands.h"
#include "live_source.h"
#include "common/status.h"
#include "meter/source_factory.h"
#include "platform/paths.h"
#include "session/session.h"
#include "source/source_wait.h"
#include "source/source.h"
#include "source/source_line.h"
#include "terminal_text.h"

namespace sondrix::cli {
namespace {

constexpr std::string_view kCommand = "replay";

constexpr const char* kUsage = R"(Usage: sondrix-cli replay FILE.dat [--bin N]
                          [--udp-out HOST:PORT [--udp-id ID] [--udp-every N]
                           [--udp-nmea]]

Replays the data file FILE.dat as the application does and writes each
line it gives to standard output, as the data file stores lines: time
stamp, one value per trace, the trailing text. Damaged lines of the file
are left out.

With --udp-out the lines go to the ship's network instead, as a recording
sends them (docs/network.md), with the UTC times of the file's companion
and the ship's data recorded beside it, as fast as the file is read (not at
the recorded pace); a line on standard output gives the lines sent and
dropped.
)";

int Fail(std::string_view what, Status code) { return ReportFailure("replay", what, code); }

// Lines formatted straight into a buffer that goes to standard output in
// pieces of about 1 MiB.
class LineOutput {
 public:
  // 1, or -1015 when standard output is in error.
  Status Put(const SourceLine& line) {
    const std::size_t most = SourceLine_TextMax(line);
    if (used_ + most > buffer_.size() && Flush() != status::kOk) return status::kWriteFailed;
    if (most > buffer_.size()) buffer_.resize(most);
    used_ = static_cast<std::size_t>(SourceLine_Format(buffer_.data() + used_, line) - buffer_.data());
    return status::kOk;
  }
  Status Flush() {
    if (used_ > 0) std::fwrite(buffer_.data(), 1, used_, stdout);
    used_ = 0;
    return std::ferror(stdout) ? status::kWriteFailed : status::kOk;
  }

 private:
  std::vector<char> buffer_ = std::vector<char>(std::size_t{1} << 20);
  std::size_t used_ = 0;
};

// The replay through a session whose network output sends every line.
int ReplayToNetwork(const std::string& path, std::unique_ptr<Source> source, const NetworkSetting& setting,
                    long binsize) {
  if (ReplayLacksUtc(*source)) {
    std::fprintf(stderr, "sondrix-cli replay: %s has no companion with the UTC times of its samples: its lines "
                         "cannot be sent with their times\n", path.c_str());
    source->Close();
    return 1;
  }
  std::string why;
  RunSetup setup;
  setup.network = NetworkOutput::Open(setting, why);
  if (!setup.network) {
    std::fprintf(stderr, "sondrix-cli replay: --udp-out %s: %s\n", setting.destination.c_str(), why.c_str());
    source->Close();
    return 1;
  }
  const SignalScope signals;
  Session session;
  session.Attach(std::move(source));
  PollingUser user(StopSignalCount);
  Acquisition& run = session.Begin(user, nullptr, std::move(setup));
  if (run.ready() != status::kOk) {
    session.Finish();
    return Fail(path, run.ready());
  }
  run.Run();
  const RunSummary summary = session.Finish();
  for (const std::string& note : summary.Notes()) std::fprintf(stderr, "sondrix-cli replay: %s\n", note.c_str());
  if (!summary.NormalEnd()) return Fail(path, summary.result);
  if (summary.network.linesSent + summary.network.linesDropped == 0) ReportNoLine(kCommand, binsize, "lines", "sent");
  std::printf("%lld lines sent to %s; %lld dropped\n", summary.network.linesSent, setting.destination.c_str(),
              summary.network.linesDropped);
  return 0;
}

}  // namespace

int RunReplay(std::span<char*> args) {
  std::string path;
  long binsize = 1;
  CLI::App app(kUsage, "sondrix-cli replay");
  tools::SetUp(app);
  app.add_option("FILE.dat", path)->required();
  AddCount(app, "--bin", binsize, kMaxBinsize, "average every N lines into one, at most 1000000");
  NetworkSetting network;
  AddNetworkOptions(app, network, "line");
  if (const std::optional<int> status = ParseCommand(app, args)) return *status;
  if (!IsRegularFile(path)) return Fail(path, status::kCantOpenFile);

  std::unique_ptr<Source> source;
  Status result = NewSource(source, kSourceKindFile, path, "");
  if (result != status::kOk) return Fail(path, result);
  result = source->Open();
  if (result == status::kOk) result = source->Reset();
  if (result == status::kOk) result = source->SetBinsize(static_cast<int>(binsize));
  if (result != status::kOk) {
    source->Close();
    return Fail(path, result);
  }
  if (!network.destination.empty()) return ReplayToNetwork(path, std::move(source), network, binsize);

  LineOutput output;
  SourceLine line(source->GetTraceCount());
  long written = 0;
  while (true) {
    result = source->CanRead() ? source->Read(line) : status::kNoData;
    if (result == status::kNoData) continue;  // the replay's pace: three polls in five
    if (result != status::kOk) break;
    // Good lines, and every complete bin of several lines.
    if (line.status == status::kOk || binsize > 1) {
      // The trailing text is the file's: printed escaped.
      if (!IsPlainText(line.tail)) line.tail = TerminalText(line.tail);
      result = output.Put(line);
      if (result != status::kOk) break;
      ++written;
    }
  }
  source->Close();
  const bool flushed = output.Flush() == status::kOk && std::fflush(stdout) == 0 && !std::ferror(stdout);
  if (result == status::kUnexpectedEof) result = status::kOk;
  if (result == status::kOk && !flushed) result = status::kWriteFailed;
  if (result == status::kOk && written == 0) ReportNoLine(kCommand, binsize, "lines", "replayed");
  return result == status::kOk ? 0 : Fail(path, result);
}

}  // namespace sondrix::cli
