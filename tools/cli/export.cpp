// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli export: data files written out as NetCDF-4 (CF, ACDD),
// SeaBASS or CSV, each sample in UTC (see src/export/export.h).
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli_args.h"
#include "commands.h"
#include "export/export.h"

namespace sondrix::cli {
namespace {

// The synopsis after its first line, which names the formats of the table.
constexpr const char* kUsage = R"(
                          [--out FILE | --out-dir DIR] [--meta KEY=VALUE]...
                          [--tz ZONE] [--force]

Writes each data file as NetCDF-4 (CF-1.11 and ACDD-1.3), a SeaBASS file
or CSV, one output per input, every sample in UTC: the time zero of the
recording's companion file (FILE.meta.json) plus the sample's time stamp.
For a data file without a companion the title line's local date and time
are read in the computer's zone (or ZONE), and the output's history says
so. Damaged lines of the file are left out.

When the recording has a position track beside it (FILE.track.csv),
every sample gets the position at its time, interpolated between the
GPS fixes around it when they are at most 10 s apart (never
extrapolated; missing otherwise). The recording's events go into the
NetCDF and SeaBASS outputs.
)";

constexpr const char* kFooter = R"(A line per file on standard output gives the samples exported (and how
many have a position).

Exit status 0 when every file was exported, 1 when one failed (its
message on standard error; the others are still exported), 2 for wrong
usage.
)";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

int RunExport(std::span<char*> args) {
  std::vector<std::string> inputs;
  std::string out, outDir;
  ExportOptions options;
  // "netcdf|seabass|csv", "netcdf (FILE.nc), seabass (FILE.sb) or csv (FILE.csv)".
  const std::string names = ListExportFormats([](const ExportFormatRow& row) { return std::string(row.name); }, "|", "|");
  const std::string formatList = ListExportFormats(
      [](const ExportFormatRow& row) { return std::string(row.name) + " (FILE" + std::string(row.extension) + ")"; },
      ", ", " or ");
  CLI::App app("Usage: sondrix-cli export FILE.dat... --format " + names + kUsage, "sondrix-cli export");
  tools::SetUp(app, kFooter);
  app.add_option("FILE.dat", inputs)->required();
  auto format = [&options](const std::string& name) {
    if (!ParseExportFormat(name, options.format)) throw tools::UsageError("unknown format " + Quoted(name));
  };
  app.add_option_function<std::string>("--format", format, formatList)
      ->type_name("F")
      ->required();
  CLI::Option* single = app.add_option("--out", out,
                                       "the output (one data file only); by default beside the data file, its "
                                       "extension replaced")
                            ->type_name("FILE");
  app.add_option("--out-dir", outDir, "the outputs in DIR")->type_name("DIR")->excludes(single);
  AddMeta(app, options.meta,
          "deployment metadata for the outputs, in place of the companion's: cruise, station, cast, "
          "investigators, affiliation, contact, experiment, note; the station's latitude and longitude "
          "(decimal degrees, north and east positive, both or neither); SeaBASS's data_type (cast by default, "
          "flow_thru, mooring, ...) and data_status (preliminary by default, final, update)");
  auto zone = [&options](const std::string& name) {
    if (!KnownZone(name)) throw tools::UsageError("unknown time zone " + Quoted(name));
    options.zone = name;
  };
  app.add_option_function<std::string>("--tz", zone,
                                       "the zone a file without a companion was recorded in (\"Europe/Oslo\", "
                                       "\"UTC\", \"UTC+3\": three hours ahead)")
      ->type_name("ZONE");
  app.add_flag("--force", options.force, "replace outputs that exist");
  if (const std::optional<int> status = ParseCommand(app, args)) return *status;
  if (!out.empty() && inputs.size() > 1)
    return WrongUsage(app, "--out names one output, but there are several inputs: " + Quoted(out));
  if (!outDir.empty() && !std::filesystem::is_directory(outDir))
    return WrongUsage(app, "no such folder " + Quoted(outDir));
  options.invocation = Invocation(args);

  // Two inputs of the same name would give one output.
  std::vector<std::string> outputs;
  for (const std::string& input : inputs) {
    outputs.push_back(!out.empty() ? out : ExportPathFor(input, options.format, outDir));
    for (std::size_t k = 0; k + 1 < outputs.size(); ++k) {
      if (outputs[k] == outputs.back())
        return WrongUsage(app, "two inputs would give the same output " + Quoted(outputs.back()));
    }
  }

  int exitStatus = 0;
  for (std::size_t k = 0; k < inputs.size(); ++k) {
    const ExportResult result = ExportDataFile(inputs[k], outputs[k], options);
    if (result.status != status::kOk) {
      std::fprintf(stderr, "sondrix-cli export: %s\n", result.message.c_str());
      exitStatus = 1;
      continue;
    }
    std::printf("%s: %ld samples exported to %s", inputs[k].c_str(), result.samples, outputs[k].c_str());
    if (result.damaged > 0) std::printf(" (%ld damaged lines left out)", result.damaged);
    if (const std::string positions = PositionSummary(result); !positions.empty()) std::printf("; %s", positions.c_str());
    if (const std::string ship = AncillarySummary(result); !ship.empty()) std::printf("; %s", ship.c_str());
    std::printf("\n");
    if (!result.trackProblem.empty())
      std::fprintf(stderr, "sondrix-cli export: warning: %s; %s exported without positions\n",
                   result.trackProblem.c_str(), outputs[k].c_str());
  }
  return exitStatus;
}

}  // namespace sondrix::cli
