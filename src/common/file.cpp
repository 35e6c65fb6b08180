// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <utility>

#include "platform/paths.h"

namespace sondrix {

OwnedFile& OwnedFile::operator=(OwnedFile&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

OwnedFile::~OwnedFile() { reset(); }

OwnedFile OwnedFile::Open(const std::string& path, const char* mode) {
  return OwnedFile(std::fopen(path.c_str(), mode));
}

OwnedFile OwnedFile::OpenToWrite(const std::string& path, bool truncate) {
  const int fd = platform::OpenRegularFileToWrite(path, O_WRONLY, truncate);
  if (fd < 0) return {};
  std::FILE* stream = ::fdopen(fd, "w");
  if (stream == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return OwnedFile(stream);
}

ReplacingFile::ReplacingFile(const std::string& target, std::string_view suffix)
    : replacement_(platform::FileReplacement::Create(target, suffix)) {
  if (!replacement_.ok()) return;
  // The stream writes on a duplicate: the replacement keeps its own
  // descriptor to sync and check the file by.
  const int fd = ::dup(replacement_.descriptor());
  if (fd >= 0) stream_.reset(::fdopen(fd, "w"));
  if (!stream_) {
    error_ = errno != 0 ? errno : EIO;
    if (fd >= 0) ::close(fd);
    replacement_.Abandon();
  }
}

bool ReplacingFile::Commit() {
  if (!stream_) return false;
  errno = 0;
  if (!stream_.Close()) {
    error_ = errno != 0 ? errno : EIO;
    replacement_.Abandon();
    return false;
  }
  return replacement_.Commit();
}

void OwnedFile::reset(std::FILE* stream) {
  std::FILE* old = std::exchange(stream_, stream);
  if (old != nullptr) std::fclose(old);
}

std::FILE* OwnedFile::release() { return std::exchange(stream_, nullptr); }

bool OwnedFile::Flush() {
  if (stream_ == nullptr || std::ferror(stream_) != 0) return false;
  return std::fflush(stream_) == 0;
}

bool OwnedFile::Sync() { return Flush() && ::fdatasync(::fileno(stream_)) == 0; }

bool SyncFile(const std::string& path) { return platform::SyncFileAt(path); }

bool SyncDirectoryOf(const std::string& path) { return platform::SyncFolderOf(path); }

std::string BesidePath(std::string_view file, std::string_view extension) {
  std::filesystem::path path{std::string(file)};
  path.replace_extension(std::string(extension));
  return path.string();
}

bool OwnedFile::Close() {
  std::FILE* stream = release();
  if (stream == nullptr) return false;
  const bool inError = std::ferror(stream) != 0;
  const bool closed = std::fclose(stream) == 0;
  return closed && !inError;
}

}  // namespace sondrix
