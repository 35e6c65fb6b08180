// SPDX-License-Identifier: GPL-3.0-or-later
// The program's log: one line of text per event at one of five levels, for
// an operator chasing a flaky cable or a meter that stops answering.
//
//   SONDRIX_LOG(Debug, "%s opened at %d baud", name.c_str(), baud);
//
// The tools write it to standard error ("-v" and friends, see
// TakeLogOptions); the application writes it to a rotating file in the
// project directory ("sondrix.log", the level from "LogLevel" of
// Sondrix.ini or --log-level). Nothing below warnings is written unless
// asked for. SONDRIX_LOG compares the level before it evaluates or formats
// anything, so a line that is not wanted costs one comparison.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sondrix {

// Most severe first; a threshold writes its own level and those above it.
enum class LogLevel : int { Off = 0, Error = 1, Warn = 2, Info = 3, Debug = 4, Trace = 5 };

namespace logging {

// What the program logs when nobody asked for more.
inline constexpr LogLevel kDefaultLevel = LogLevel::Warn;

// The threshold as a number: read inline by every SONDRIX_LOG.
inline int gThreshold = static_cast<int>(kDefaultLevel);

// Whether a line at `level` is written.
inline bool On(LogLevel level) { return static_cast<int>(level) <= gThreshold; }
LogLevel Threshold();
void SetThreshold(LogLevel level);

// "error", "warn" (or "warning"), "info", "debug", "trace" and "off", in
// any case; false for anything else.
bool ParseLevel(std::string_view text, LogLevel& level);
// The name ParseLevel reads ("warn" for Warn).
std::string_view LevelName(LogLevel level);
// One level more verbose (Trace stays Trace).
LogLevel MoreVerbose(LogLevel level);

// Writes one line at `level` when it is on: printf formatting, always with a
// decimal point whatever the user's locale. Use SONDRIX_LOG, which checks
// the level before the arguments are evaluated.
void Write(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void WriteText(LogLevel level, std::string_view text);
// A message the user has been shown already (a pop-up): written to the log
// file and to an observer, not repeated on standard error, where a tool
// prints what its pop-ups say anyway.
void WriteShown(LogLevel level, std::string_view text);

// `bytes` as two-digit hexadecimal numbers separated by spaces, at most
// `limit` of them ("..." after the last when there were more).
std::string HexBytes(std::span<const std::uint8_t> bytes, std::size_t limit);

// --- Where the lines go ---------------------------------------------------------

// Standard error, each line "<program>: HH:MM:SS.mmm [level] text";
// an empty name stops it.
void ToStderr(std::string_view program);

// The rotating file: lines "YYYY-MM-DD HH:MM:SS.mmm [level] text" are
// appended to `path` (created with the first line, never through a link);
// a line that would take it past `maxBytes` first moves it to "<path>.1"
// (and "<path>.1" to "<path>.2", ... up to `keep` old files; the oldest is
// removed). An empty path closes it. A file that cannot be written is told
// once on standard error and left alone.
void ToFile(const std::string& path, std::size_t maxBytes = 1 << 20, int keep = 3);
// The file the lines go to ("" none).
const std::string& FilePath();

// Sees every line written (level and text, without time or level name);
// tests watch the log through it. Empty: none.
using Observer = std::function<void(LogLevel, std::string_view)>;
void SetObserver(Observer observer);

// No file, no standard error, no observer, the default threshold.
void Reset();

// --- The command line -----------------------------------------------------------

// Takes the log options out of a tool's or the application's arguments
// (args[0], the program, is kept), wherever they stand:
//   -v, -vv, -vvv   one, two, three levels more than the default (info,
//                   debug, trace); repeated options add up
//   --verbose       one level more; --verbose=LEVEL sets the level
//   --log-level LEVEL, --log-level=LEVEL   sets the level
// `level` starts as the caller's and is changed in the order given. False,
// with the reason in `error`, for a level that is not one of ParseLevel's
// or a missing value; `args` then keeps what was not taken yet.
bool TakeLogOptions(std::vector<char*>& args, LogLevel& level, std::string& error);
// The lines a tool's help prints for these options.
inline constexpr std::string_view kLogOptionsHelp =
    "  -v, --verbose      log more on standard error: -v info, -vv debug,\n"
    "                     -vvv trace (each rejected packet with its bytes)\n"
    "  --log-level LEVEL  error, warn (the default), info, debug, trace or off\n";

}  // namespace logging
}  // namespace sondrix

// Logs one line at `level` (Error, Warn, Info, Debug or Trace) when that
// level is on; the arguments are not evaluated otherwise.
#define SONDRIX_LOG(level, ...)                                                  \
  do {                                                                           \
    if (::sondrix::logging::On(::sondrix::LogLevel::level))                      \
      ::sondrix::logging::Write(::sondrix::LogLevel::level, __VA_ARGS__);        \
  } while (false)
