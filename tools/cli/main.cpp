// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli: runs the program's sources, ports, decoders, meters and data
// files without windows, on the headless user interface.
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "common/log.h"
#include "common/version.h"
#include "platform/headless/headless_ui.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "shared/command_line.h"

#if __has_include("platform/posix/termios_serial.h")
#include "platform/posix/termios_serial.h"
#define SONDRIX_CLI_HAS_TERMIOS 1
#endif

namespace {

struct Command {
  std::string_view name;
  std::string_view summary;
  int (*run)(std::span<char*> args);
};

// One line per subcommand.
constexpr Command kCommands[] = {
    {"config", "print a device configuration file as this program writes it",
     sondrix::cli::RunConfig},
    {"record", "record a meter (or a raw capture) into a data file", sondrix::cli::RunRecord},
    {"replay", "write the lines of a data file as a replay gives them", sondrix::cli::RunReplay},
    {"info", "describe a device configuration file or a data file", sondrix::cli::RunInfo},
    {"diag", "run a meter's self-test and write its report", sondrix::cli::RunDiag},
    {"ports", "list the serial ports and what COM1 ... COM8 read; map a COM", sondrix::cli::RunPorts},
    {"export", "write data files as NetCDF, SeaBASS or CSV, every sample in UTC", sondrix::cli::RunExport},
    {"process", "correct a data file for temperature, salinity and scattering into a Level-2 file",
     sondrix::cli::RunProcess},
    {"profile", "find the casts of a recording and bin them by depth into profiles", sondrix::cli::RunProfile},
};

constexpr const char* kUsage = R"(Usage: sondrix-cli [-v...] [--log-level LEVEL] COMMAND [ARGUMENTS]
       sondrix-cli COMMAND --help
       sondrix-cli --help | --version
)";

}  // namespace

int main(int argc, char** argv) {
  using namespace sondrix;
  if (argc > 0) platform::SetExecutablePath(argv[0]);

  platform::HeadlessUi ui;
  // What a window would have shown goes to standard error.
  ui.popupObserver = [](const platform::PopupRecord& popup) {
    std::fprintf(stderr, "%s: %s\n", popup.title.c_str(), popup.text.c_str());
  };
  const platform::ScopedUi scopedUi(ui);
#ifdef SONDRIX_CLI_HAS_TERMIOS
  platform::TermiosSerial serial;
  const platform::ScopedSerial scopedSerial(serial);
#endif

  // The log goes to standard error, warnings and errors unless asked for
  // more; its options may stand anywhere.
  std::vector<char*> words(argv, argv + (argc > 0 ? argc : 0));
  LogLevel level = logging::kDefaultLevel;
  std::string logError;
  if (!logging::TakeLogOptions(words, level, logError)) {
    std::fprintf(stderr, "sondrix-cli: %s\n", logError.c_str());
    return 2;
  }
  logging::SetThreshold(level);
  logging::ToStderr("sondrix-cli");
  words.push_back(nullptr);  // argv's terminator, for the commands that look for it
  const std::span<char*> args(words.data(), words.size() - 1);

  // Each command reads its own arguments, all those after its name.
  CLI::App app(kUsage, "sondrix-cli");
  tools::SetUp(app);
  app.get_help_ptr()->group("Options");
  app.set_version_flag("--version", "sondrix-cli " + std::string(kSondrixVersion), "the program's name and version");
  tools::ListLogOptions(app, "Log options (before or after the command)", "each rejected packet with its bytes");
  for (const Command& command : kCommands)
    app.add_subcommand(std::string(command.name), std::string(command.summary))
        ->group("Commands")
        ->prefix_command()
        ->set_help_flag();
  app.require_subcommand(1);

  std::vector<std::string> line(args.begin() + 1, args.end());
  if (!line.empty() && line[0] == "help") line[0] = "--help";
  const tools::Parsed parsed = tools::Parse(app, line);
  if (parsed.kind == tools::Parsed::kHelp || parsed.kind == tools::Parsed::kVersion) {
    std::fputs(parsed.kind == tools::Parsed::kHelp ? tools::Help(app).c_str() : (parsed.message + "\n").c_str(),
               stdout);
    return 0;
  }
  if (parsed.kind == tools::Parsed::kWrong) {
    if (!line.empty()) std::fprintf(stderr, "sondrix-cli: unknown command \"%s\"\n\n", line[0].c_str());
    std::fputs(tools::Help(app).c_str(), stderr);
    return 2;
  }
  const CLI::App* chosen = app.get_subcommands().front();
  for (const Command& command : kCommands)
    if (command.name == chosen->get_name())
      return command.run(args.subspan(args.size() - chosen->remaining().size() - 1));
  return 2;
}
