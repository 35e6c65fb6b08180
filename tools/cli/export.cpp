// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli export: data files written out as NetCDF-4 (CF, ACDD),
// SeaBASS or CSV, each sample in UTC (see src/export/export.h).
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli_args.h"
#include "commands.h"
#include "datafile/companion.h"
#include "datafile/deployment_values.h"
#include "export/export.h"

namespace sondrix::cli {
namespace {

constexpr std::string_view kCommand = "export";

void PrintExportUsage(std::FILE* out) {
  // "netcdf|seabass|csv", "netcdf (FILE.nc), seabass (FILE.sb) or csv (FILE.csv)".
  const std::string names = ListExportFormats([](const ExportFormatRow& row) { return std::string(row.name); }, "|", "|");
  const std::string outputs = ListExportFormats(
      [](const ExportFormatRow& row) { return std::string(row.name) + " (FILE" + std::string(row.extension) + ")"; },
      ", ", " or ");
  std::fprintf(out,
               "Usage: sondrix-cli export FILE.dat... --format %s\n"
               "                          [--out FILE | --out-dir DIR] [--meta KEY=VALUE]...\n"
               "                          [--tz ZONE] [--force]\n\n"
               "Writes each data file as NetCDF-4 (CF-1.11 and ACDD-1.3), a SeaBASS file\n"
               "or CSV, one output per input, every sample in UTC: the time zero of the\n"
               "recording's companion file (FILE.meta.json) plus the sample's time stamp.\n"
               "For a data file without a companion the title line's local date and time\n"
               "are read in the computer's zone (or ZONE), and the output's history says\n"
               "so. Damaged lines of the file are left out.\n\n"
               "When the recording has a position track beside it (FILE.track.csv),\n"
               "every sample gets the position at its time, interpolated between the\n"
               "GPS fixes around it when they are at most 10 s apart (never\n"
               "extrapolated; missing otherwise). The recording's events go into the\n"
               "NetCDF and SeaBASS outputs.\n\n"
               "  --format F       %s\n"
               "  --out FILE       the output (one data file only); by default beside the\n"
               "                   data file, its extension replaced\n"
               "  --out-dir DIR    the outputs in DIR\n"
               "  --meta KEY=VALUE deployment metadata for the outputs, in place of the\n"
               "                   companion's: cruise, station, cast, investigators,\n"
               "                   affiliation, contact, experiment, note; the station's\n"
               "                   latitude and longitude (decimal degrees, north and\n"
               "                   east positive, both or neither); SeaBASS's data_type\n"
               "                   (cast by default, flow_thru, mooring, ...) and\n"
               "                   data_status (preliminary by default, final, update)\n"
               "  --tz ZONE        the zone a file without a companion was recorded in\n"
               "                   (\"Europe/Oslo\", \"UTC\", \"UTC+3\": three hours ahead)\n"
               "  --force          replace outputs that exist\n\n"
               "A line per file on standard output gives the samples exported (and how\n"
               "many have a position).\n\n"
               "Exit status 0 when every file was exported, 1 when one failed (its\n"
               "message on standard error; the others are still exported), 2 for wrong\n"
               "usage.\n",
               names.c_str(), outputs.c_str());
}

int Usage(const char* what, const std::string& value) {
  std::fprintf(stderr, "sondrix-cli export: %s \"%s\"\n\n", what, value.c_str());
  PrintExportUsage(stderr);
  return 2;
}

std::string Invocation(std::span<char*> args) {
  std::string text = "sondrix-cli";
  for (char* arg : args) {
    text += ' ';
    text += arg;
  }
  return text;
}

}  // namespace

int RunExport(std::span<char*> args) {
  std::vector<std::string> inputs;
  std::string format, out, outDir, value;
  ExportOptions options;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      PrintExportUsage(stdout);
      return 0;
    } else if (arg == "--format") {
      if (!TakeValue(args, i, kCommand, format)) return 2;
      if (!ParseExportFormat(format, options.format)) return Usage("unknown format", format);
    } else if (arg == "--out") {
      if (!TakeValue(args, i, kCommand, out)) return 2;
    } else if (arg == "--out-dir") {
      if (!TakeValue(args, i, kCommand, outDir)) return 2;
    } else if (arg == "--tz") {
      if (!TakeValue(args, i, kCommand, options.zone)) return 2;
      if (!KnownZone(options.zone)) return Usage("unknown time zone", options.zone);
    } else if (arg == "--meta") {
      if (!TakeValue(args, i, kCommand, value)) return 2;
      if (!options.meta.SetFromText(value))
        return Usage(("--meta wants KEY=VALUE with a key of " + DeploymentKeyList() + ", not").c_str(), value);
      const std::size_t equals = value.find('=');
      if (const std::string fault = CheckDeploymentValue(value.substr(0, equals), value.substr(equals + 1));
          !fault.empty())
        return Usage(("--meta " + fault + ":").c_str(), value);
    } else if (arg == "--force") {
      options.force = true;
    } else if (!arg.starts_with("--")) {
      inputs.emplace_back(arg);
    } else {
      return Usage("unknown argument", std::string(arg));
    }
  }
  if (inputs.empty() || format.empty()) {
    PrintExportUsage(stderr);
    return 2;
  }
  if (!out.empty() && !outDir.empty()) return Usage("--out and --out-dir exclude each other:", out);
  if (!out.empty() && inputs.size() > 1) return Usage("--out names one output, but there are several inputs:", out);
  if (!outDir.empty() && !std::filesystem::is_directory(outDir)) return Usage("no such folder", outDir);
  options.invocation = Invocation(args);

  // Two inputs of the same name would give one output.
  std::vector<std::string> outputs;
  for (const std::string& input : inputs) {
    outputs.push_back(!out.empty() ? out : ExportPathFor(input, options.format, outDir));
    for (std::size_t k = 0; k + 1 < outputs.size(); ++k) {
      if (outputs[k] == outputs.back()) return Usage("two inputs would give the same output", outputs.back());
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
    std::printf("\n");
    if (!result.trackProblem.empty())
      std::fprintf(stderr, "sondrix-cli export: warning: %s; %s exported without positions\n",
                   result.trackProblem.c_str(), outputs[k].c_str());
  }
  return exitStatus;
}

}  // namespace sondrix::cli
