// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/raw_file_port.h"

#include <array>
#include <cstring>
#include <new>

#include "common/log.h"
#include "common/settings.h"
#include "platform/paths.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

// What BytesAvail reports: always a packet's worth of bytes for any meter.
constexpr int kReplayBytesAvail = 2047;
constexpr int kQueueSize = 4096;
constexpr std::size_t kLineScratch = 256;
// A capture is read from the disk in pieces of this size.
constexpr std::size_t kReadBufferBytes = std::size_t{1} << 18;

}  // namespace

RawFilPort::~RawFilPort() = default;

// A capture is a regular file. Anything else (a pipe without a writer, a
// device) could make the first read wait for ever, so it is refused.
Status RawFilPort::Open(int /*baud*/) {
  file_.reset(platform::OpenRegularFile(name_));
  if (file_ != nullptr) {
    // Without memory for it the stream keeps its own small buffer.
    if (!readBuffer_) readBuffer_.reset(new (std::nothrow) char[kReadBufferBytes]);
    if (readBuffer_) std::setvbuf(file_.get(), readBuffer_.get(), _IOFBF, kReadBufferBytes);
  }
  SONDRIX_LOG(Debug, "raw capture %s %s", name_.c_str(), file_ == nullptr ? "cannot be opened" : "opened for replay");
  return file_ == nullptr ? status::kCantOpenFile : status::kOk;
}

Status RawFilPort::Close() {
  file_.reset();
  return status::kOk;
}

Status RawFilPort::BytesAvail() {
  return file_ == nullptr ? status::kPortNotNamed : kReplayBytesAvail;
}

int RawFilPort::ReadTerm(std::string& text) {
  text.clear();
  if (file_ == nullptr) return 0;
  std::FILE* file = file_.get();
  while (text.size() < kLineScratch) {
    int c = std::getc(file);
    if (c == EOF || c == '\n') break;
    text.push_back(static_cast<char>(c));
  }
  return static_cast<int>(text.size());
}

Status RawFilPort::ReadLine(std::string& line) {
  if (file_ == nullptr) return status::kPortNotNamed;
  std::string scratch;
  ReadTerm(scratch);
  if (std::ferror(file_.get()) != 0) return status::kReadFailed;
  if (std::feof(file_.get()) != 0) return status::kUnexpectedEof;
  CleanPortLine(scratch);
  line = std::move(scratch);
  return static_cast<Status>(line.size());
}

Status RawFilPort::Sync() {
  if (file_ == nullptr) return status::kPortNotNamed;
  std::string scratch;
  ReadTerm(scratch);
  if (std::ferror(file_.get()) != 0) return status::kReadFailed;
  if (std::feof(file_.get()) != 0) return status::kUnexpectedEof;
  return status::kOk;
}

Status RawFilPort::Reset() {
  if (file_ != nullptr && std::feof(file_.get()) != 0) std::rewind(file_.get());
  return status::kOk;
}

bool RawFilPort::ResetKeepsStream() { return file_ != nullptr && std::feof(file_.get()) == 0; }

long long RawFilPort::StreamOffset() { return file_ == nullptr ? -1 : static_cast<long long>(::ftello(file_.get())); }

double RawFilPort::ReplayFraction() { return file_ == nullptr ? -1.0 : platform::ReadFraction(file_.get()); }

Status RawFilPort::SaveRaw() { return status::kOk; }

Status RawFilPort::PromptForPort(std::string_view deviceName, std::string& name) {
  return RawFilPort_PromptForPort(deviceName, name);
}

Status RawFilPort::BufferSize() { return kQueueSize; }

Status RawFilPort::Search(const std::uint8_t* pattern, int length, int maxBytes) {
  return SearchWith(pattern, length, maxBytes, [this] {
    const int c = std::getc(file_.get());
    if (c != EOF) return c;
    return std::ferror(file_.get()) != 0 ? status::kReadFailed : status::kUnexpectedEof;
  });
}

Status RawFilPort::Read(std::uint8_t* buffer, int count) {
  if (file_ == nullptr) return status::kPortNotNamed;
  if (buffer == nullptr) return status::kNullBuffer;
  if (count < 0) return status::kInvalidCount;
  std::fread(buffer, 1, static_cast<std::size_t>(count), file_.get());
  if (std::ferror(file_.get()) != 0) return status::kReadFailed;
  if (std::feof(file_.get()) != 0) return status::kUnexpectedEof;
  return status::kOk;
}

Status RawFilPort::Write(const std::uint8_t* /*buffer*/, int /*count*/) { return status::kOk; }

Status RawFilPort::SetName(std::string_view name) {
  name_ = std::string(name);
  return status::kOk;
}

Status RawFilPort::GetName(std::string& name) {
  name = name_;
  return status::kOk;
}

Status RawFilPort_PromptForPort(std::string_view /*defaultName*/, std::string& path) {
  std::string chosen;
  if (!settings::ChooseFile(settings::kReplayDirectory, platform::FileDialogMode::Load, "*.raw", "Raw data file:", chosen))
    return status::kCancelled;
  if (!platform::FileExists(chosen)) return status::kFileNotFound;
  settings::RememberDirectory(settings::kReplayDirectory, chosen);
  path = chosen;
  return status::kOk;
}

}  // namespace sondrix
