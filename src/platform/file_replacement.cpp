// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <utility>

namespace sondrix::platform {
namespace {

// Attempts at clearing a name and creating it, when something appears
// there in between.
constexpr int kCreateAttempts = 3;

// Removes whatever carries `path` but a folder (a link is removed itself,
// never followed): 0, or the errno.
int ClearName(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT ? 0 : errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return errno;
  return 0;
}

bool SyncOpened(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

}  // namespace

int CreateNewFile(std::string_view path) {
  return ::open(std::string(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

bool SyncFileAt(const std::string& path) { return SyncOpened(path, 0); }

bool SyncFolderOf(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return SyncOpened(folder.empty() ? "." : folder.string(), O_DIRECTORY);
}

FileReplacement::FileReplacement(FileReplacement&& other) noexcept { *this = std::move(other); }

FileReplacement& FileReplacement::operator=(FileReplacement&& other) noexcept {
  if (this == &other) return *this;
  Abandon();
  target_ = std::move(other.target_);
  temporary_ = std::move(other.temporary_);
  fd_ = std::exchange(other.fd_, -1);
  device_ = other.device_;
  inode_ = other.inode_;
  error_ = other.error_;
  pending_ = std::exchange(other.pending_, false);
  return *this;
}

FileReplacement::~FileReplacement() { Abandon(); }

FileReplacement FileReplacement::Reserve(std::string target, std::string_view suffix) {
  FileReplacement file;
  file.temporary_ = target + std::string(suffix);
  file.target_ = std::move(target);
  if (const int cleared = ClearName(file.temporary_); cleared != 0) {
    file.error_ = cleared;
    return file;
  }
  file.pending_ = true;
  return file;
}

FileReplacement FileReplacement::Create(std::string target, std::string_view suffix) {
  FileReplacement file = Reserve(std::move(target), suffix);
  for (int attempt = 1; file.ok(); ++attempt) {
    file.fd_ = CreateNewFile(file.temporary_);
    if (file.fd_ >= 0) break;
    const int error = errno;
    file.pending_ = false;  // what carries the name is not ours
    if (error != EEXIST || attempt == kCreateAttempts) {
      file.error_ = error;
      return file;
    }
    // Something took the name since it was cleared: cleared again.
    file.error_ = ClearName(file.temporary_);
  }
  if (!file.ok()) return file;
  file.pending_ = true;
  struct stat info {};
  if (::fstat(file.fd_, &info) != 0) {
    file.Fail(errno);
    return file;
  }
  file.device_ = info.st_dev;
  file.inode_ = info.st_ino;
  return file;
}

bool FileReplacement::Fail(int error) {
  const int kept = error != 0 ? error : EIO;
  Abandon();
  error_ = kept;
  return false;
}

bool FileReplacement::Write(std::string_view bytes) {
  if (!ok()) return false;
  if (fd_ < 0) return Fail(EBADF);
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return Fail(written < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool FileReplacement::Commit() {
  if (!ok()) return false;
  if (!pending_) return Fail(ENOENT);
  if (fd_ < 0) {
    // Written by another writer under the reserved name: it must be a
    // regular file there, not a link.
    fd_ = ::open(temporary_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return Fail(errno);
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return Fail(errno);
    if (!S_ISREG(info.st_mode)) return Fail(ENXIO);
    device_ = info.st_dev;
    inode_ = info.st_ino;
  }
  // Its data (and the size that reads them) on the disk before it takes
  // the name.
  if (::fdatasync(fd_) != 0) return Fail(errno);
  // The name must still hold the file written.
  struct stat named {};
  if (::lstat(temporary_.c_str(), &named) != 0) return Fail(errno);
  if (!S_ISREG(named.st_mode) || named.st_dev != device_ || named.st_ino != inode_) {
    pending_ = false;  // what is there now is not ours to remove
    return Fail(EEXIST);
  }
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && errno != EINTR) return Fail(errno);
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) return Fail(errno);
  pending_ = false;
  SyncFolderOf(target_);
  return true;
}

void FileReplacement::Abandon() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  if (pending_) ::unlink(temporary_.c_str());
  pending_ = false;
}

int ReplaceFileWith(const std::string& target, std::string_view content, std::string_view suffix) {
  FileReplacement file = FileReplacement::Create(target, suffix);
  if (file.Write(content) && file.Commit()) return 0;
  return file.error();
}

}  // namespace sondrix::platform
