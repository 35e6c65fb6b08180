// SPDX-License-Identifier: GPL-3.0-or-later
// The command lines of sondrix-cli and sondrix-sim are declared with CLI11
// (Debian's libcli11-dev): a well-kept parser in place of loops over argv.
// What the tools share on top of it: the layout of their help, numbers read
// whole, and a parse's outcome for each tool to put in its own words.
#pragma once

#include <CLI/CLI.hpp>
#include <charconv>
#include <string>
#include <string_view>
#include <vector>

namespace sondrix::tools {

// A usage error whose message is complete (without the program's name),
// thrown by an option's callback or a check after the parse.
class UsageError : public CLI::ParseError {
 public:
  explicit UsageError(std::string message) : CLI::ParseError("UsageError", std::move(message), 2) {}
};

// Sets `app` up as the tools' command lines are: the help below, "-h" and
// "--help" (in no group, so not listed, unless the tool gives it one), an
// option given twice keeps its last value, and `footer` ends the help.
//
// The help is the app's description (a synopsis written by hand, "Usage:
// ...", and what the program does), then each group of subcommands and of
// options under its name, each option with its value's name and its
// explanation wrapped at 79 columns, "(default X)" after it when the option
// has a default string; then the footer.
void SetUp(CLI::App& app, const std::string& footer = {});

// Lists the log options in `group` of the help, -v with `traceText` (what
// the trace level adds). They are never parsed here: logging::TakeLogOptions
// takes them out of the arguments first, wherever they stand.
void ListLogOptions(CLI::App& app, const std::string& group, const std::string& traceText);

// The help text of `app`, and its synopsis alone (the description's first
// paragraph).
std::string Help(const CLI::App& app);
std::string Synopsis(const CLI::App& app);

// What a parse came to.
struct Parsed {
  enum Kind { kGoOn, kHelp, kVersion, kWrong };
  Kind kind = kGoOn;
  // kVersion: the version text; kWrong: what is wrong, a UsageError's
  // message or else CLI11's.
  std::string message;
  // kWrong, when that was it: the first argument no option takes, or the
  // option given without its value.
  std::string unknown;
  std::string needsValue;
};

// Parses `args` (in order, without the program's name) with `app`.
Parsed Parse(CLI::App& app, std::vector<std::string> args);

// `text` read whole as a number of type T (decimal, as std::from_chars
// reads it); false for anything else.
template <typename T>
bool ReadNumber(std::string_view text, T& value) {
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  return error == std::errc() && end == last && !text.empty();
}

}  // namespace sondrix::tools
