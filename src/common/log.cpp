// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/log.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/c_locale.h"
#include "platform/paths.h"

namespace sondrix::logging {
namespace {

constexpr std::string_view kNames[] = {"off", "error", "warn", "info", "debug", "trace"};

// The rotating file. Opened with its first line, so that a program that
// logs nothing leaves no empty file behind.
struct LogFile {
  std::string path;
  std::size_t maxBytes = 0;
  int keep = 0;
  int fd = -1;
  std::size_t size = 0;
  bool failed = false;  // told once; nothing more is tried until ToFile

  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  bool Open() {
    fd = platform::OpenRegularFileToWrite(path, O_WRONLY, false);
    if (fd < 0) return false;
    const off_t end = ::lseek(fd, 0, SEEK_END);
    size = end > 0 ? static_cast<std::size_t>(end) : 0;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_APPEND);
    return true;
  }

  // "<path>.k": the k-th older file.
  std::string Older(int k) const { return path + "." + std::to_string(k); }

  void Rotate() {
    Close();
    if (keep <= 0) {
      ::unlink(path.c_str());
      return;
    }
    ::unlink(Older(keep).c_str());
    for (int k = keep - 1; k >= 1; --k) ::rename(Older(k).c_str(), Older(k + 1).c_str());
    ::rename(path.c_str(), Older(1).c_str());
  }

  void Fail(const char* what) {
    const int error = errno;
    Close();
    failed = true;
    std::fprintf(stderr, "sondrix: the log file %s cannot be %s (%s); the log is not kept\n", path.c_str(), what,
                 std::strerror(error));
  }

  void Append(std::string_view line) {
    if (path.empty() || failed) return;
    if (fd >= 0 && size > 0 && size + line.size() > maxBytes) Rotate();
    if (fd < 0 && !Open()) {
      Fail("opened");
      return;
    }
    std::size_t done = 0;
    while (done < line.size()) {
      const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        Fail("written");
        return;
      }
      done += static_cast<std::size_t>(n);
    }
    size += done;
  }
};

LogFile gFile;
std::string gProgram;  // standard error's prefix; empty: not written there
Observer gObserver;

// "YYYY-MM-DD HH:MM:SS.mmm" of the wall clock (the log tells when things
// happened, whatever clock the program runs on).
std::string Stamp() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03ld", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, now.tv_nsec / 1'000'000);
  return text;
}

// One event, one line: the line ends of a message become " / ".
std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') continue;
    if (c == '\n') {
      if (i + 1 < text.size()) line += " / ";
      continue;
    }
    line += c;
  }
  return line;
}

void Emit(LogLevel level, std::string_view text, bool toStderr) {
  if (!On(level)) return;
  const std::string line = OneLine(text);
  if (gObserver) gObserver(level, line);
  const bool file = !gFile.path.empty() && !gFile.failed;
  toStderr = toStderr && !gProgram.empty();
  if (!file && !toStderr) return;
  const std::string stamp = Stamp();
  const std::string tag = "[" + std::string(LevelName(level)) + "] ";
  if (file) gFile.Append(stamp + " " + tag + line + "\n");
  if (toStderr) {
    const std::string out = gProgram + ": " + stamp.substr(11) + " " + tag + line + "\n";
    std::fputs(out.c_str(), stderr);
  }
}

}  // namespace

LogLevel Threshold() { return static_cast<LogLevel>(gThreshold); }
void SetThreshold(LogLevel level) { gThreshold = static_cast<int>(level); }

bool ParseLevel(std::string_view text, LogLevel& level) {
  std::string lower;
  for (const char c : text) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (lower == "warning") lower = "warn";
  for (int i = 0; i <= static_cast<int>(LogLevel::Trace); ++i) {
    if (lower == kNames[i]) {
      level = static_cast<LogLevel>(i);
      return true;
    }
  }
  return false;
}

std::string_view LevelName(LogLevel level) {
  const int i = static_cast<int>(level);
  return i >= 0 && i <= static_cast<int>(LogLevel::Trace) ? kNames[i] : "?";
}

LogLevel MoreVerbose(LogLevel level) {
  return level >= LogLevel::Trace ? LogLevel::Trace : static_cast<LogLevel>(static_cast<int>(level) + 1);
}

void Write(LogLevel level, const char* format, ...) {
  if (!On(level)) return;
  std::string text;
  {
    const ScopedCLocale c;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    char small[256];
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof small) {
      text.assign(small, static_cast<std::size_t>(n));
    } else if (n > 0) {
      text.resize(static_cast<std::size_t>(n) + 1);
      std::vsnprintf(text.data(), text.size(), format, again);
      text.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
  }
  Emit(level, text, true);
}

void WriteText(LogLevel level, std::string_view text) { Emit(level, text, true); }

void WriteShown(LogLevel level, std::string_view text) { Emit(level, text, false); }

std::string HexBytes(std::span<const std::uint8_t> bytes, std::size_t limit) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  const std::size_t shown = bytes.size() < limit ? bytes.size() : limit;
  text.reserve(shown * 3 + 4);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) text += ' ';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  if (shown < bytes.size()) text += shown > 0 ? " ..." : "...";
  return text;
}

void ToStderr(std::string_view program) { gProgram = std::string(program); }

void ToFile(const std::string& path, std::size_t maxBytes, int keep) {
  gFile.Close();
  gFile = LogFile{};
  gFile.path = path;
  gFile.maxBytes = maxBytes;
  gFile.keep = keep < 0 ? 0 : keep;
}

const std::string& FilePath() { return gFile.path; }

void SetObserver(Observer observer) { gObserver = std::move(observer); }

void Reset() {
  ToFile("");
  ToStderr("");
  SetObserver({});
  SetThreshold(kDefaultLevel);
}

bool TakeLogOptions(std::vector<char*>& args, LogLevel& level, std::string& error) {
  auto setLevel = [&](std::string_view option, std::string_view text) {
    if (ParseLevel(text, level)) return true;
    error = std::string(option) + ": \"" + std::string(text) +
            "\" is no log level (error, warn, info, debug, trace or off)";
    return false;
  };
  std::size_t i = 1;
  while (i < args.size()) {
    const std::string_view arg = args[i] != nullptr ? args[i] : "";
    std::size_t taken = 1;
    if (arg.size() >= 2 && arg[0] == '-' && arg.find_first_not_of('v', 1) == std::string_view::npos) {
      for (std::size_t k = 1; k < arg.size(); ++k) level = MoreVerbose(level);
    } else if (arg == "--verbose") {
      level = MoreVerbose(level);
    } else if (arg.starts_with("--verbose=")) {
      if (!setLevel("--verbose", arg.substr(10))) return false;
    } else if (arg.starts_with("--log-level=")) {
      if (!setLevel("--log-level", arg.substr(12))) return false;
    } else if (arg == "--log-level") {
      if (i + 1 >= args.size() || args[i + 1] == nullptr) {
        error = "--log-level needs a level (error, warn, info, debug, trace or off)";
        return false;
      }
      if (!setLevel("--log-level", args[i + 1])) return false;
      taken = 2;
    } else {
      ++i;
      continue;
    }
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i + taken));
  }
  return true;
}

}  // namespace sondrix::logging
