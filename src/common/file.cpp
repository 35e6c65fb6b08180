// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/file.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <utility>

namespace sondrix {

OwnedFile& OwnedFile::operator=(OwnedFile&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

OwnedFile::~OwnedFile() { reset(); }

OwnedFile OwnedFile::Open(const std::string& path, const char* mode) {
  return OwnedFile(std::fopen(path.c_str(), mode));
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

namespace {

// Opens `path` read-only with `flags` and has its data put on the disk.
bool SyncPath(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

}  // namespace

bool SyncFile(const std::string& path) { return SyncPath(path, 0); }

bool SyncDirectoryOf(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return SyncPath(folder.empty() ? "." : folder.string(), O_DIRECTORY);
}

bool OwnedFile::Close() {
  std::FILE* stream = release();
  if (stream == nullptr) return false;
  const bool inError = std::ferror(stream) != 0;
  const bool closed = std::fclose(stream) == 0;
  return closed && !inError;
}

}  // namespace sondrix
