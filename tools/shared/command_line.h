// SPDX-License-Identifier: GPL-3.0-or-later
// The command lines of sondrix-cli and sondrix-sim are declared with CLI11
// (Debian's libcli11-dev), a well-kept parser, in place of loops over argv.
// What both tools add to it: the layout of their help, numbers read whole,
// and a parse's outcome for each tool to put in its own words.
#pragma once

#include <CLI/CLI.hpp>

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

namespace sondrix::tools {

// A usage error with its message complete, thrown by an option's callback.
class UsageError : public CLI::ParseError {
 public:
  explicit UsageError(std::string message) : CLI::ParseError("UsageError", std::move(message), 2) {}
};

// Sets `app` up: an option given twice keeps its last value; -h and --help
// are in no group (not listed) unless given one; the help is the app's
// description (a synopsis written by hand, "Usage: ...", and what the
// program does), the subcommands and options under a heading each time
// their group changes, each with its value's name, its explanation wrapped
// at 79 columns and "(default X)" when it has a default string, and last
// `footer`. Description and footer end with a line break.
void SetUp(CLI::App& app, const std::string& footer = {});

// Lists -v (with `traceText`, what the trace level adds) and --log-level in
// `group` of the help; logging::TakeLogOptions takes them out before.
void ListLogOptions(CLI::App& app, const std::string& group, const std::string& traceText);

// The help, and the synopsis alone (the description's first paragraph).
std::string Help(const CLI::App& app);
std::string Synopsis(const CLI::App& app);

struct Parsed {
  enum Kind { kGoOn, kHelp, kVersion, kWrong } kind = kGoOn;
  // kVersion: the version; kWrong: a UsageError's message, else CLI11's in
  // the tools' words: 'unknown argument "X"', "--bin needs a value", "A and
  // B exclude each other", "A needs B".
  std::string message;
  std::string unknown;  // kWrong: the first argument no option takes, if that was it
};

// Parses `args` (in order, without the program's name) with `app`.
Parsed Parse(CLI::App& app, std::vector<std::string> args);

// `text` read whole as a number (decimal, as std::from_chars reads it).
template <typename T>
bool ReadNumber(std::string_view text, T& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace sondrix::tools
