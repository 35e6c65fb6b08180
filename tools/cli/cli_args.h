// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers shared by the record, replay and info subcommands: option
// values, positive counts and failure messages.
#pragma once

#include <charconv>
#include <climits>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "common/status.h"
#include "platform/paths.h"

namespace sondrix::cli {

// Takes the value of option `name` at args[i + 1], advancing i. False (with
// a message) when it is missing.
inline bool TakeValue(std::span<char*> args, std::size_t& i, std::string_view command,
                      std::string& value) {
  if (i + 1 >= args.size()) {
    std::fprintf(stderr, "sondrix-cli %.*s: %s needs a value\n", static_cast<int>(command.size()),
                 command.data(), args[i]);
    return false;
  }
  value = args[++i];
  return true;
}

// The largest bin size the tools accept. The acquisition loop waits 4 s per
// line of a bin before it gives up, and a bin of a million samples is
// already hours of a meter's data.
inline constexpr long kMaxBinsize = 1'000'000;

// A whole number from 1 to `max`. False (with a message) otherwise.
inline bool ParseCount(std::string_view text, std::string_view command, std::string_view option,
                       long& value, long max = LONG_MAX) {
  long parsed = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  const bool whole = end == text.data() + text.size() && !text.empty();
  const bool tooLarge =
      whole && text.front() != '-' && (ec == std::errc::result_out_of_range || (ec == std::errc() && parsed > max));
  if (tooLarge) {
    std::fprintf(stderr, "sondrix-cli %.*s: %.*s wants a whole number from 1 to %ld, not \"%.*s\"\n",
                 static_cast<int>(command.size()), command.data(), static_cast<int>(option.size()),
                 option.data(), max, static_cast<int>(text.size()), text.data());
    return false;
  }
  if (ec != std::errc() || !whole || parsed < 1) {
    std::fprintf(stderr, "sondrix-cli %.*s: %.*s wants a whole number of at least 1, not \"%.*s\"\n",
                 static_cast<int>(command.size()), command.data(), static_cast<int>(option.size()),
                 option.data(), static_cast<int>(text.size()), text.data());
    return false;
  }
  value = parsed;
  return true;
}

// Tells on standard error that a run gave no line at all: with a bin size
// above 1, that no bin of `binsize` `units` was complete.
inline void ReportNoLine(std::string_view command, long binsize, std::string_view units,
                         std::string_view done) {
  if (binsize > 1)
    std::fprintf(stderr, "sondrix-cli %.*s: no complete bin of %ld %.*s was %.*s\n",
                 static_cast<int>(command.size()), command.data(), binsize,
                 static_cast<int>(units.size()), units.data(), static_cast<int>(done.size()), done.data());
  else
    std::fprintf(stderr, "sondrix-cli %.*s: no line was %.*s\n", static_cast<int>(command.size()),
                 command.data(), static_cast<int>(done.size()), done.data());
}

// True for a regular file (after links). Devices, pipes and folders are not
// configuration or data files: reading one could wait for ever.
inline bool IsRegularFile(std::string_view path) { return platform::IsRegularFile(path); }

// Prints "sondrix-cli COMMAND: WHAT: message of the code" (without "WHAT: "
// when it is empty) on standard error; returns the exit status 1.
inline int ReportFailure(std::string_view command, std::string_view what, Status code) {
  const std::string message = StatusText(code);
  if (what.empty())
    std::fprintf(stderr, "sondrix-cli %.*s: %s\n", static_cast<int>(command.size()), command.data(),
                 message.c_str());
  else
    std::fprintf(stderr, "sondrix-cli %.*s: %.*s: %s\n", static_cast<int>(command.size()),
                 command.data(), static_cast<int>(what.size()), what.data(), message.c_str());
  return 1;
}

}  // namespace sondrix::cli
