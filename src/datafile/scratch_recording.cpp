// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/scratch_recording.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "datafile/data_file.h"
#include "platform/paths.h"

namespace sondrix {
namespace {

// Attempts at locking the file that carries the scratch name (another run
// may save or move it in between) and at finding a free recovery name.
constexpr int kLockAttempts = 3;
constexpr int kNameAttempts = 100;

// Moves `from` to `to` unless something is called `to` already: 0, or the
// error number (EEXIST when the name is taken).
int MoveWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system that cannot be asked not to replace: a hard link never
  // replaces either.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  // Nor links: look before moving.
  struct stat taken {};
  if (::lstat(to.c_str(), &taken) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Moves the left-behind recording `path` (open as `fd`) to a free recovery
// name; false when it could not be moved.
bool KeepLeftover(const std::string& path, int fd, std::string& recovered) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  std::tm lastWrite{};
  const std::time_t when = info.st_mtim.tv_sec;
  if (::localtime_r(&when, &lastWrite) == nullptr) return false;
  for (int attempt = 1; attempt <= kNameAttempts; ++attempt) {
    const std::string name = RecoveredRecordingName(path, lastWrite, attempt);
    const int error = MoveWithoutReplacing(path, name);
    if (error == 0) {
      recovered = name;
      // The companion of the run that left it goes with it.
      DataFile_MoveCompanion(path, name);
      return true;
    }
    if (error != EEXIST) return false;
  }
  return false;
}

}  // namespace

std::string ScratchRecordingBeside(std::string_view file) {
  const std::filesystem::path parent = std::filesystem::path(file).parent_path();
  const std::filesystem::path name{std::string(kRecordingFile)};
  return (parent.empty() ? name : parent / name).string();
}

std::string RecoveredRecordingName(std::string_view scratch, const std::tm& lastWrite, int attempt) {
  char name[64];
  std::snprintf(name, sizeof name, "Sondrix-recovered-%02d%02d%02d_%02d%02d%02d", (lastWrite.tm_year % 100 + 100) % 100,
                lastWrite.tm_mon + 1, lastWrite.tm_mday, lastWrite.tm_hour, lastWrite.tm_min,
                lastWrite.tm_sec);
  std::string file = name;
  if (attempt > 1) file += "-" + std::to_string(attempt);
  file += ".dat";
  const std::filesystem::path parent = std::filesystem::path(scratch).parent_path();
  return (parent.empty() ? std::filesystem::path(file) : parent / file).string();
}

ScratchLock::~ScratchLock() { Release(); }

void ScratchLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool ScratchLock::Holds(const std::string& path) const {
  if (fd_ < 0) return false;
  struct stat locked {};
  struct stat named {};
  return ::fstat(fd_, &locked) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         locked.st_dev == named.st_dev && locked.st_ino == named.st_ino;
}

ScratchLock::Result ScratchLock::Acquire(const std::string& path, std::string& recovered) {
  Release();
  recovered.clear();
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    // Never through a link: a link planted under the scratch name would
    // have the run write wherever it points.
    const int fd = platform::OpenRegularFileToWrite(path, O_RDWR, false);
    if (fd < 0) {
      if (errno == ELOOP) return Result::Link;
      if (errno == EISDIR || errno == ENXIO) return Result::NotRegular;
      return Result::Ready;
    }
    struct stat locked {};
    if (::fstat(fd, &locked) != 0) {
      ::close(fd);
      return Result::NotRegular;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const bool held = errno == EWOULDBLOCK;
      ::close(fd);
      return held ? Result::Busy : Result::Ready;
    }
    // The run that held it may have just saved it under its own name: the
    // lock must be on the file that now carries the scratch name.
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0 || locked.st_dev != named.st_dev ||
        locked.st_ino != named.st_ino) {
      ::close(fd);
      continue;
    }
    if (locked.st_size == 0) {
      fd_ = fd;
      return Result::Ready;
    }
    // Nobody holds it and it holds something: a run ended without saving.
    const bool kept = KeepLeftover(path, fd, recovered);
    ::close(fd);
    if (!kept) return Result::NotKept;
  }
  return Result::Busy;
}

}  // namespace sondrix
