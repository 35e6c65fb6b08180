// Small helpers shared by the record, replay and info subcommands: option
// values, positive counts and failure messages.
#pragma once

#include <charconv>
#include <filesystem>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "common/status.h"

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

// A whole number of at least 1. False (with a message) otherwise.
inline bool ParseCount(std::string_view text, std::string_view command, std::string_view option,
                       long& value) {
  long parsed = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (ec != std::errc() || end != text.data() + text.size() || parsed < 1) {
    std::fprintf(stderr, "sondrix-cli %.*s: %.*s wants a whole number of at least 1, not \"%.*s\"\n",
                 static_cast<int>(command.size()), command.data(), static_cast<int>(option.size()),
                 option.data(), static_cast<int>(text.size()), text.data());
    return false;
  }
  value = parsed;
  return true;
}

// True for a regular file (after links). Devices, pipes and folders are not
// configuration or data files: reading one could wait for ever.
inline bool IsRegularFile(std::string_view path) {
  std::error_code error;
  return std::filesystem::is_regular_file(std::filesystem::path(std::string(path)), error);
}

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
