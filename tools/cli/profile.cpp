// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli profile: the casts of a recording found, aligned and binned by
// depth after the Level-2 corrections, into the archives' profile formats
// (src/export/export.h ExportProfiles, src/processing/profiles.h,
// docs/processing.md "Profiles").
#include <filesystem>
#include <span>
#include <string>

#include "commands.h"
#include "common/text_format.h"
#include "processing_args.h"

namespace sondrix::cli {
namespace {

constexpr const char* kUsage = R"( --out FILE.nc|FILE.sb|FILE.csv
                          [--surface M] [--smooth SECONDS] [--lag-depth SECONDS]
                          [--bin-size M] [--statistic mean|median]
                          [--min-count N] [--cast down|up|both]
                          [the corrections' options of process] [--force]

Finds the casts of a recording, from its cast start and cast end events
when it has any, else from the depth: a cast starts when the depth, smoothed
by a running mean over --smooth seconds (default 2), leaves the surface
layer (--surface, default 1 m), the down-cast ends at the deepest point and
the up-cast comes back to the surface. Each sample is corrected as process
corrects it, placed at the depth read --lag-depth seconds before it (the
optics' delay behind the depth sensor), and binned by depth: bins of
--bin-size metres (default 1) centred at (k + 1/2) size, the mean (or
--statistic median), standard deviation and count of the samples flagged
good; a bin with fewer than --min-count (default 3) of those, or where they
are under 70 % of its samples, is filled and flagged. Down-casts by default.

The depth is the meter's; a meter without a pressure sensor takes the
ship's pressure (a CTD recorded with the run) by the UNESCO 1983 formula.

NetCDF: CF's profile feature type, every cast's profile on one grid of
depth bins; SeaBASS: a file per profile (OUT_cast01.sb, ...); CSV: one
row per bin of each profile.
)";

constexpr const char* kFooter = R"(Lines on standard output list the casts found and the files written;
the share done goes to standard error while a long file is read on a
terminal.

Exit status 0 when the profiles were written, 1 when they could not be
(the message on standard error), 2 for wrong usage.
)";

}  // namespace

int RunProfile(std::span<char*> args) {
  std::string input, out;
  ExportOptions options;
  ProcessingArgs processing;
  ProfileSettings settings;
  std::optional<double> surface, smooth, lag, size, minCount;
  CLI::App app("Usage: sondrix-cli profile FILE.dat" + std::string(kUsage), "sondrix-cli profile");
  tools::SetUp(app, kFooter);
  app.add_option("FILE.dat", input)->required();
  app.add_option("--out", out, "the profiles: FILE.nc (NetCDF), FILE.sb (SeaBASS, a file per profile) or FILE.csv")
      ->type_name("FILE")
      ->required();
  AddNumber(app, "--surface", "M", surface, "the surface layer, metres (default 1)", SurfaceProblem);
  AddNumber(app, "--smooth", "SECONDS", smooth, "the depth's running mean before the casts are found (default 2)",
            SmoothProblem);
  AddNumber(app, "--lag-depth", "SECONDS", lag,
            "the optics see the water this long after the depth sensor (default 0; negative: before)", LagDepthProblem);
  AddNumber(app, "--bin-size", "M", size, "the depth bins, metres (default 1)", BinSizeProblem);
  auto statistic = [&settings](const std::string& name) {
    if (!ParseBinStatistic(name, settings.statistic))
      throw tools::UsageError("--statistic wants mean or median, not \"" + name + "\"");
  };
  app.add_option_function<std::string>("--statistic", statistic, "each bin's mean (the default) or median")
      ->type_name("mean|median");
  AddNumber(app, "--min-count", "N", minCount, "the fewest good samples a bin takes (default 3)", MinCountProblem);
  auto part = [&settings](const std::string& name) {
    if (!ParseCastPart(name, settings.part))
      throw tools::UsageError("--cast wants down, up or both, not \"" + name + "\"");
  };
  app.add_option_function<std::string>("--cast", part, "which part of each cast: down (the default), up or both")
      ->type_name("down|up|both");
  AddProcessingOptions(app, processing);
  app.add_flag("--force", options.force, "replace the outputs when they exist");
  if (const std::optional<int> status = ParseCommand(app, args)) return *status;

  const std::string extension = std::filesystem::path(out).extension().string();
  if (!ExportFormatOfExtension(extension, options.format))
    return WrongUsage(app, "--out \"" + out + "\": the name must end in .nc, .sb or .csv");
  settings.casts.surface = surface.value_or(settings.casts.surface);
  settings.casts.smoothSeconds = smooth.value_or(settings.casts.smoothSeconds);
  settings.lagDepthSeconds = lag.value_or(0.0);
  settings.binSize = size.value_or(settings.binSize);
  settings.minCount = static_cast<long>(minCount.value_or(static_cast<double>(settings.minCount)));
  std::string error;
  if (!TakeProcessingOptions(processing, options, error)) {
    std::fprintf(stderr, "sondrix-cli profile: %s\n", error.c_str());
    return 1;
  }
  options.invocation = Invocation(args);
  TerminalProgress progress("profile");
  options.progress = progress.Function();

  const ExportResult result = ExportProfiles(input, out, options, settings);
  progress.Done();
  if (result.status != status::kOk) {
    std::fprintf(stderr, "sondrix-cli profile: %s\n", result.message.c_str());
    return 1;
  }
  for (const Cast& cast : result.casts)
    std::printf("cast %d: %s to %s, deepest %.2f m at %s, %ld samples%s\n", cast.number, IsoUtc(cast.startMs).c_str(),
                IsoUtc(cast.endMs).c_str(), cast.maxDepth, IsoUtc(cast.bottomMs).c_str(), cast.samples,
                cast.fromEvents ? " (from the events)" : "");
  std::printf("%s: %ld profiles of %zu casts written to", input.c_str(), result.profiles, result.casts.size());
  for (const std::string& file : result.outputs) std::printf(" %s", file.c_str());
  std::printf("\n");
  return 0;
}

}  // namespace sondrix::cli
