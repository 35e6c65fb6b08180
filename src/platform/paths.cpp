// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace sondrix::platform {
namespace {

std::string gExecutablePath;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string StripTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
  return path;
}

std::string ExecutablePath() {
  if (!gExecutablePath.empty()) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(gExecutablePath, ec);
    if (!ec) return absolute.string();
  }
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.string();
}

bool IsWritableDirectory(const std::string& directory) {
  std::error_code ec;
  return !directory.empty() && std::filesystem::is_directory(directory, ec) &&
         ::access(directory.c_str(), W_OK) == 0;
}

}  // namespace

void SetExecutablePath(std::string_view path) { gExecutablePath = std::string(path); }

std::string ExecutableDir() {
  std::string exe = ExecutablePath();
  if (exe.empty()) return {};
  return StripTrailingSeparators(std::filesystem::path(exe).parent_path().string());
}

std::string InstalledDataDir() {
  const std::string dir = ExecutableDir();
  if (dir.empty() || FileExists(JoinPath(dir, "sondrix.uir"))) return {};
  const std::string data =
      StripTrailingSeparators((std::filesystem::path(dir) / "../share/sondrix").lexically_normal().string());
  return FileExists(JoinPath(data, "sondrix.uir")) ? data : std::string();
}

std::string GetProjectDir() {
  if (const char* home = std::getenv("SONDRIX_HOME"); home != nullptr && *home != '\0') {
    std::string directory = StripTrailingSeparators(home);
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    return directory;
  }

  // An installed program never writes beside itself (/usr/bin is writable
  // for root, and so is a package unpacked into a folder of one's own).
  const std::string installed = InstalledDataDir();
  if (std::string directory = ExecutableDir(); installed.empty() && IsWritableDirectory(directory)) {
    return directory;
  }

  std::string base;
  if (const char* user = std::getenv("HOME"); user != nullptr && *user != '\0') {
    base = std::string(user) + "/.local/share";
  } else {
    base = "/tmp";
  }
  std::string directory = StripTrailingSeparators(base) + "/sondrix";
  std::error_code ec;
  const bool created = std::filesystem::create_directories(directory, ec);
  // First start: the examples, where the user may change them (a device
  // file's display settings are kept beside it). Once only, so that what
  // the user removed stays removed.
  if (created && !installed.empty()) {
    std::filesystem::copy(JoinPath(installed, "examples"), JoinPath(directory, "examples"),
                          std::filesystem::copy_options::recursive, ec);
  }
  return directory;
}

void SplitPath(std::string_view path, std::string& drive, std::string& directory,
               std::string& file) {
  drive.clear();
  std::size_t cut = path.find_last_of("/\\");
  if (cut == std::string_view::npos) {
    directory.clear();
    file = std::string(path);
    return;
  }
  directory = std::string(path.substr(0, cut + 1));
  file = std::string(path.substr(cut + 1));
}

std::string JoinPath(std::string_view directory, std::string_view file) {
  if (directory.empty()) return std::string(file);
  std::string joined(directory);
  if (!IsSeparator(joined.back())) joined += '/';
  while (!file.empty() && IsSeparator(file.front())) file.remove_prefix(1);
  joined += file;
  return joined;
}

bool FileExists(std::string_view path) {
  if (path.empty()) return false;
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::path(std::string(path)), ec);
}

namespace {

// What a name is, after links: nothing by that name, a regular file, or
// anything else (a pipe, a device, a folder, a name that cannot be looked up).
enum class NameKind { Missing, Regular, Other };

NameKind KindOf(std::string_view path) {
  if (path.empty()) return NameKind::Other;
  struct stat info {};
  if (::stat(std::string(path).c_str(), &info) != 0) return errno == ENOENT ? NameKind::Missing : NameKind::Other;
  return S_ISREG(info.st_mode) ? NameKind::Regular : NameKind::Other;
}

}  // namespace

bool IsSaveTarget(std::string_view path) { return KindOf(path) != NameKind::Other; }

bool IsRegularFile(std::string_view path) { return KindOf(path) == NameKind::Regular; }

std::FILE* OpenRegularFile(std::string_view path) {
  if (path.empty()) return nullptr;
  // O_NONBLOCK: a pipe opens at once instead of waiting for a writer, and is
  // then refused by what it is; a regular file reads the same either way.
  const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "r");
  if (file == nullptr) ::close(fd);
  return file;
}

double ReadFraction(std::FILE* file) {
  if (file == nullptr) return -1.0;
  struct stat info {};
  if (::fstat(::fileno(file), &info) != 0) return -1.0;
  const off_t position = ::ftello(file);
  if (position < 0) return -1.0;
  if (info.st_size <= 0) return 1.0;
  return std::min(1.0, static_cast<double>(position) / static_cast<double>(info.st_size));
}

std::optional<std::string> ReadRegularFile(std::string_view path) {
  std::FILE* file = OpenRegularFile(path);
  if (file == nullptr) return std::nullopt;
  std::string text;
  char buffer[8192];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return std::nullopt;
  return text;
}

int OpenRegularFileToWrite(std::string_view path, int access, bool truncate) {
  const std::string name(path);
  const int flags = access | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  int fd = -1;
  // Twice at most: the name may appear between the two opens.
  for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
    fd = ::open(name.c_str(), flags);
    if (fd >= 0 || errno != ENOENT) break;
    fd = ::open(name.c_str(), flags | O_CREAT | O_EXCL, 0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    // Opening a pipe for writing without a reader fails with ENXIO already.
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = ENXIO;
    return -1;
  }
  if ((truncate && ::ftruncate(fd, 0) != 0) || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

}  // namespace sondrix::platform
