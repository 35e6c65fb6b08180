// SPDX-License-Identifier: GPL-3.0-or-later
// What the subcommands share: the parse of their command lines (declared
// with CLI11, tools/shared/command_line.h) and its usage errors, counts and
// deployment metadata as options, and failure messages.
#pragma once

#include <climits>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "datafile/companion.h"
#include "datafile/deployment_values.h"
#include "platform/paths.h"
#include "session/network_output.h"
#include "shared/command_line.h"

namespace sondrix::cli {

// Tells "sondrix-cli COMMAND: MESSAGE" and the command's synopsis on
// standard error; returns the exit status of wrong usage, 2.
inline int WrongUsage(const CLI::App& app, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n\n%s", app.get_name().c_str(), message.c_str(), tools::Synopsis(app).c_str());
  return 2;
}

// Parses a command's arguments (args[0] its name) with `app`, which
// tools::SetUp set up and whose name is "sondrix-cli COMMAND". Nothing to go
// on; else the exit status: 0 after --help (the help on standard output),
// 2 after wrong usage (told).
inline std::optional<int> ParseCommand(CLI::App& app, std::span<char*> args) {
  const tools::Parsed parsed = tools::Parse(app, std::vector<std::string>(args.begin() + 1, args.end()));
  if (parsed.kind == tools::Parsed::kGoOn) return std::nullopt;
  if (parsed.kind == tools::Parsed::kHelp) {
    std::fputs(tools::Help(app).c_str(), stdout);
    return 0;
  }
  return WrongUsage(app, parsed.message);
}

// The command line as typed ("sondrix-cli export cast.dat --format csv"),
// for an output's history.
inline std::string Invocation(std::span<char*> args) {
  std::string text = "sondrix-cli";
  for (char* arg : args) {
    text += ' ';
    text += arg;
  }
  return text;
}

// The largest bin size the tools accept. The acquisition loop waits 4 s per
// line of a bin before it gives up, and a bin of a million samples is
// already hours of a meter's data.
inline constexpr long kMaxBinsize = 1'000'000;

// Option NAME N: a whole number from 1 to `max` into `value`, whose value
// when at least 1 is the default shown.
inline CLI::Option* AddCount(CLI::App& app, const std::string& name, long& value, long max,
                             const std::string& description) {
  auto read = [name, max, &value](const std::string& text) {
    long parsed = 0;
    if (tools::ReadNumber(text, parsed) && parsed >= 1 && parsed <= max) {
      value = parsed;
      return;
    }
    // Digits, not all 0: a number above `max`.
    const bool tooLarge =
        text.find_first_not_of("0123456789") == std::string::npos && text.find_first_not_of('0') != std::string::npos;
    throw tools::UsageError(name + " wants a whole number " +
                            (tooLarge ? "from 1 to " + std::to_string(max) : std::string("of at least 1")) +
                            ", not \"" + text + "\"");
  };
  CLI::Option* option = app.add_option_function<std::string>(name, read, description)->type_name("N");
  if (value >= 1) option->default_str(std::to_string(value));
  return option;
}

// --meta KEY=VALUE, once per key, into `deployment`: a key that is none,
// or a value the key cannot take (a latitude that is no number of degrees,
// a data type SeaBASS does not know), is wrong usage.
inline CLI::Option* AddMeta(CLI::App& app, Deployment& deployment, const std::string& description) {
  auto take = [&deployment](const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
      if (!deployment.SetFromText(text))
        throw tools::UsageError("--meta \"" + text + "\": KEY=VALUE with KEY one of " + DeploymentKeyList());
      const std::size_t equals = text.find('=');
      if (const std::string fault = CheckDeploymentValue(text.substr(0, equals), text.substr(equals + 1));
          !fault.empty())
        throw tools::UsageError("--meta " + fault);
    }
  };
  return app.add_option_function<std::vector<std::string>>("--meta", take, description)
      ->type_name("KEY=VALUE")
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// The network output's options, --udp-out HOST:PORT [--udp-id ID]
// [--udp-every N] [--udp-nmea], into `setting` (destination empty: none).
inline void AddNetworkOptions(CLI::App& app, NetworkSetting& setting, std::string_view lines) {
  const auto destination = [&setting](const std::string& text) {
    std::string host, error;
    int port = 0;
    if (!ParseUdpDestination(text, host, port, error)) throw tools::UsageError("--udp-out: " + error);
    setting.destination = text;
  };
  CLI::Option* out =
      app.add_option_function<std::string>(
             "--udp-out", destination,
             "send each " + std::string(lines) + " as one UDP datagram to HOST:PORT (a host, its network's "
             "broadcast address or a multicast group; an IPv6 address in brackets): \"ID TIME VALUES\" with the "
             "sample's UTC time and the data file's values, and a record naming the fields at the start, once a "
             "minute and when they change; a datagram the network does not take at once is dropped and counted, "
             "never waited for")
          ->type_name("HOST:PORT");
  app.add_option_function<std::string>(
         "--udp-id",
         [&setting](const std::string& id) {
           if (!IsNetworkId(id))
             throw tools::UsageError("--udp-id \"" + id +
                                     "\": a data id is one word of at most 63 printable characters");
           setting.id = id;
         },
         "the data id each datagram starts with (default sondrix)")
      ->type_name("ID")
      ->needs(out);
  AddCount(app, "--udp-every", setting.every, LONG_MAX, "send every N-th line only")->needs(out);
  app.add_flag("--udp-nmea", setting.nmea,
               "send NMEA 0183 sentences instead, \"$PSDRX,TIME,VALUES*hh\" (the fields in \"$PSDRF,...*hh\"), for "
               "loggers that read NMEA alone")
      ->needs(out);
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
