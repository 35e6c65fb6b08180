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
#include "common/status.h"
#include "meter/source_factory.h"
#include "platform/paths.h"
#include "source/source.h"
#include "source/source_line.h"
#include "terminal_text.h"

namespace sondrix::cli {
namespace {

constexpr std::string_view kCommand = "replay";

constexpr const char* kUsage = R"(Usage: sondrix-cli replay FILE.dat [--bin N]

Replays the data file FILE.dat as the application does and writes each
line it gives to standard output, as the data file stores lines: time
stamp, one value per trace, the trailing text. Damaged lines of the file
are left out.
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

}  // namespace

int RunReplay(std::span<char*> args) {
  std::string path;
  long binsize = 1;
  CLI::App app(kUsage, "sondrix-cli replay");
  tools::SetUp(app);
  app.add_option("FILE.dat", path)->required();
  AddCount(app, "--bin", binsize, kMaxBinsize, "average every N lines into one, at most 1000000");
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
