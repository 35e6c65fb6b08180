// SPDX-License-Identifier: GPL-3.0-or-later
// What the commands that correct a recording (process, profile) share: the
// options of the corrections, a number option checked as it is read, and
// the share done told on a terminal.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "cli_args.h"
#include "export/export.h"

namespace sondrix::cli {

// Option NAME VALUE: a number into `value`, `check` saying what it may be.
template <class Check>
CLI::Option* AddNumber(CLI::App& app, const std::string& name, const std::string& type,
                       std::optional<double>& value, const std::string& description, Check check) {
  auto read = [name, &value, check](const std::string& text) {
    double parsed = 0.0;
    if (!tools::ReadNumber(text, parsed) || !std::isfinite(parsed))
      throw tools::UsageError(name + " wants a number, not \"" + text + "\"");
    if (const std::string fault = check(parsed); !fault.empty())
      throw tools::UsageError(name + " " + text + ": " + fault);
    value = parsed;
  };
  return app.add_option_function<std::string>(name, read, description)->type_name(type);
}

// The corrections' options as given.
struct ProcessingArgs {
  ProcessingSettings settings;
  std::string tableFile;
  std::optional<double> lagC, lagAncillary;
};
// --temperature, --salinity, --t-cal, --ts-table, --scatter,
// --reference-wavelength, --lag-c and --lag-ancillary.
void AddProcessingOptions(CLI::App& app, ProcessingArgs& args);
// The settings given into options.processing, the table read; false with
// `error` when it cannot be.
bool TakeProcessingOptions(ProcessingArgs& args, ExportOptions& options, std::string& error);

// "sondrix-cli COMMAND:  42 %" on standard error while a file is read, when
// that is a terminal.
class TerminalProgress {
 public:
  explicit TerminalProgress(std::string command)
      : command_(std::move(command)), terminal_(::isatty(STDERR_FILENO) != 0) {}
  std::function<bool(double)> Function() {
    return [this](double share) {
      const int percent = static_cast<int>(share * 100.0);
      if (terminal_ && percent != shown_) {
        shown_ = percent;
        std::fprintf(stderr, "\rsondrix-cli %s: %3d %%", command_.c_str(), percent);
        if (percent >= 100) std::fprintf(stderr, "\n");
      }
      return true;
    };
  }
  // Ends the line of a run that stopped short of 100 %.
  void Done() {
    if (terminal_ && shown_ >= 0 && shown_ < 100) std::fprintf(stderr, "\n");
  }

 private:
  std::string command_;
  bool terminal_;
  int shown_ = -1;
};

}  // namespace sondrix::cli
