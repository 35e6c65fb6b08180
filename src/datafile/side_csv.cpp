// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/side_csv.h"

#include "platform/paths.h"

namespace sondrix {

Status SideCsvWriter::Open(const std::string& path, std::string_view title, std::string_view header) {
  path_ = path;
  lines_ = 0;
  file_ = OwnedFile::OpenToWrite(path, /*truncate=*/true);
  if (!file_) return status::kWriteFailed;
  const std::string head = std::string(title) + "\n" + std::string(header) + "\n";
  if (std::fwrite(head.data(), 1, head.size(), file_.get()) != head.size()) return status::kWriteFailed;
  return status::kOk;
}

Status SideCsvWriter::Append(std::string_view line) {
  if (!file_ || std::ferror(file_.get())) return status::kWriteFailed;
  if (std::fwrite(line.data(), 1, line.size(), file_.get()) != line.size()) return status::kWriteFailed;
  ++lines_;
  return status::kOk;
}

Status SideCsvWriter::Sync() {
  if (!file_) return status::kOk;
  return file_.Sync() ? status::kOk : status::kWriteFailed;
}

Status SideCsvWriter::Close() {
  if (!file_) return status::kOk;
  const bool synced = file_.Sync();
  return file_.Close() && synced ? status::kOk : status::kWriteFailed;
}

std::string_view TakeCsvField(std::string_view& line, bool last) {
  const std::size_t comma = last ? std::string_view::npos : line.find(',');
  const std::string_view field = line.substr(0, comma);
  line.remove_prefix(comma == std::string_view::npos ? line.size() : comma + 1);
  return field;
}

Status ReadSideCsv(const std::string& path, std::string_view header, std::string_view what,
                   const std::function<bool(std::string_view)>& record, long& skipped, std::string& error) {
  skipped = 0;
  const std::optional<std::string> text = platform::ReadRegularFile(path);
  if (!text) return status::kCantOpenFile;
  std::string_view rest = *text;
  bool headed = false;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (!headed) {
      if (line != header) {
        error = "not a " + std::string(what) + " (no header \"" + std::string(header) + "\")";
        return status::kUnrecognisedData;
      }
      headed = true;
      continue;
    }
    if (!record(line)) ++skipped;
  }
  if (!headed) {
    error = "not a " + std::string(what) + " (empty)";
    return status::kUnrecognisedData;
  }
  return status::kOk;
}

}  // namespace sondrix
