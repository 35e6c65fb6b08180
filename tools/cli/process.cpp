// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli process: a data file corrected for the water's temperature
// and salinity and for scattering, quality flagged, into a Level-2 NetCDF,
// SeaBASS or CSV file: the export's outputs with the corrected values
// beside them (src/export/export.h, src/processing/processor.h,
// docs/processing.md).
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli_args.h"
#include "commands.h"
#include "processing_args.h"
#include "export/export.h"
#include "processing/statistics.h"
#include "processing/ts_table.h"

namespace sondrix::cli {
namespace {

constexpr const char* kUsage = R"( --out FILE.nc|FILE.sb|FILE.csv
                          [--temperature DEGC] [--salinity PSU] [--t-cal DEGC]
                          [--ts-table FILE] [--scatter none|baseline|proportional]
                          [--reference-wavelength NM] [--lag-c SECONDS]
                          [--lag-ancillary SECONDS]
                          [--underway [--flush SECONDS] [--poc-coefficient K]]
                          [--bin SECONDS] [--force]

Corrects the absorption (a) and attenuation (c) of a data file for the
water's temperature and salinity (Roettgers, McKee and Utschig 2014) and
the absorption for scattering (Zaneveld, Kitchen and Moore 1994), flags
every sample's quality (IODE: 1 good, 2 not evaluated, 3 suspect, 4 bad,
9 missing) and writes a Level-2 file: everything export writes, with
absorption_ts, attenuation_ts, absorption_corrected, the temperature and
salinity used, quality_flag and absorption_line_height, and the methods
with their parameters. The output's extension chooses its format.

The water's temperature: --temperature, else the recording's ship's data
(FILE.ancillary.csv) at each sample's time, else the meter's external
temperature. Its salinity: --salinity, else the ship's data; a salinity
nothing gives is an error, never assumed. T_cal, the water temperature of
the clean-water calibration: --t-cal, else the one the offset calibration
recorded beside the recording's device file; without one the correction
is refused.

Underway (--underway), on a ship's flow-through system whose valve now and
then sends the water through a 0.2 um filter (the recording's valve state,
docs/ancillary.md): the dissolved spectra of each filtered period (the
median after flushing), interpolated in time, are taken from the whole
water to give the particulate absorption and attenuation (Slade et al.
2010), a_p corrected for scattering with c_p; with c_p's spectral slope,
the particulate line height and, with --poc-coefficient, POC. The first
--flush seconds after each switch (default 120) are flushing water.

Time bins (--bin SECONDS; one minute, 60, is how underway data are
usually archived): a row per bin instead of a row per sample, centred on
whole multiples of the bin in UTC, with the median of each variable over
the bin's samples and their count (bin_count; underway, particulate_count
of the whole-water samples after flushing). Corrected values are the
median of the samples flagged good or not evaluated; the bin is good when
they are at least 70 % of its samples, suspect when fewer.
)";

constexpr const char* kFooter = R"(A line on standard output gives the samples processed and their flags;
the share done goes to standard error while a long file is processed on
a terminal.

Exit status 0 when the file was processed, 1 when it failed (its message
on standard error), 2 for wrong usage.
)";

std::string Any(double) { return {}; }

}  // namespace

void AddProcessingOptions(CLI::App& app, ProcessingArgs& args) {
  ProcessingSettings& settings = args.settings;
  AddNumber(app, "--temperature", "DEGC", settings.temperature,
            "the water's temperature, degrees Celsius, for every sample (in place of the ship's data and the "
            "meter's)",
            WaterTemperatureProblem);
  AddNumber(app, "--salinity", "PSU", settings.salinity,
            "the water's practical salinity for every sample (in place of the ship's data)",
            SalinityProblem);
  AddNumber(app, "--t-cal", "DEGC", settings.tCal,
            "the water temperature of the clean-water calibration (in place of the one it recorded)",
            WaterTemperatureProblem);
  app.add_option("--ts-table", args.tableFile,
                 "the temperature and salinity coefficients: a CSV file with the columns "
                 "wavelength,psi_t,psi_s_a,psi_s_c (psi_s_c may be empty); the built-in table of Roettgers, McKee "
                 "and Utschig (2014) by default")
      ->type_name("FILE");
  auto scatter = [&settings](const std::string& name) {
    ScatterMethod method = ScatterMethod::kNone;
    if (!ParseScatterMethod(name, method))
      throw tools::UsageError("--scatter wants none, baseline or proportional, not \"" + name + "\"");
    settings.scatter = method;
  };
  app.add_option_function<std::string>("--scatter", scatter,
                                       "the scattering correction: none, baseline or proportional (by default "
                                       "proportional for a meter with a and c, baseline for one with a only)")
      ->type_name("METHOD");
  AddNumber(app, "--reference-wavelength", "NM", settings.referenceWavelength,
            "the scattering correction's reference wavelength (by default the longest absorption wavelength at or "
            "above 700 nm)",
            [](double w) { return w <= 0.0 ? std::string("not a wavelength") : ""; });
  AddNumber(app, "--lag-c", "SECONDS", args.lagC, "the time c lags a by (default 0)", Any);
  AddNumber(app, "--lag-ancillary", "SECONDS", args.lagAncillary,
            "the time the ship's data lags the meter by (default 0)", Any);
}

bool TakeProcessingOptions(ProcessingArgs& args, ExportOptions& options, std::string& error) {
  args.settings.lagC = args.lagC.value_or(0.0);
  args.settings.lagAncillary = args.lagAncillary.value_or(0.0);
  if (!ChosenTable(args.tableFile, args.settings.table, error)) return false;
  options.processing = std::move(args.settings);
  return true;
}

int RunProcess(std::span<char*> args) {
  std::string input, out;
  ExportOptions options;
  ProcessingArgs processing;
  CLI::App app("Usage: sondrix-cli process FILE.dat" + std::string(kUsage), "sondrix-cli process");
  tools::SetUp(app, kFooter);
  app.add_option("FILE.dat", input)->required();
  app.add_option("--out", out, "the Level-2 file: FILE.nc (NetCDF), FILE.sb (SeaBASS) or FILE.csv")
      ->type_name("FILE")
      ->required();
  AddProcessingOptions(app, processing);
  bool underway = false;
  std::optional<double> flush, poc;
  CLI::Option* underwayFlag =
      app.add_flag("--underway", underway,
                   "add the particulate and dissolved values of a flow-through run with a switched 0.2 um filter");
  AddNumber(app, "--flush", "SECONDS", flush, "seconds after each switch of the valve that are flushing (default 120)",
            FlushProblem)
      ->needs(underwayFlag);
  AddNumber(app, "--poc-coefficient", "K", poc,
            "particulate organic carbon, mg m-3, as K times c_p at 660 nm (K in mg m-2, named in the file)",
            PocCoefficientProblem)
      ->needs(underwayFlag);
  AddNumber(app, "--bin", "SECONDS", options.binSeconds,
            "a row per time bin of SECONDS (the median of each variable and the count of samples) instead of a row "
            "per sample",
            TimeBinProblem);
  app.add_flag("--force", options.force, "replace the output when it exists");
  if (const std::optional<int> status = ParseCommand(app, args)) return *status;

  const std::string extension = std::filesystem::path(out).extension().string();
  if (!ExportFormatOfExtension(extension, options.format))
    return WrongUsage(app, "--out \"" + out + "\": the name must end in .nc, .sb or .csv");
  std::string error;
  if (!TakeProcessingOptions(processing, options, error)) {
    std::fprintf(stderr, "sondrix-cli process: %s\n", error.c_str());
    return 1;
  }
  if (underway) {
    UnderwaySettings settings;
    settings.flushSeconds = flush.value_or(settings.flushSeconds);
    settings.pocCoefficient = poc;
    options.underway = settings;
  }
  options.invocation = Invocation(args);
  TerminalProgress progress("process");
  options.progress = progress.Function();

  const ExportResult result = ExportDataFile(input, out, options);
  progress.Done();
  if (result.status != status::kOk) {
    std::fprintf(stderr, "sondrix-cli process: %s\n", result.message.c_str());
    return 1;
  }
  std::printf("%s: %ld samples processed to %s; flags: %s", input.c_str(), result.samples, out.c_str(),
              FlagSummary(result).c_str());
  if (result.damaged > 0) std::printf(" (%ld damaged lines left out)", result.damaged);
  if (const std::string rows = RowsSummary(result); !rows.empty()) std::printf("; %s", rows.c_str());
  if (const std::string ship = AncillarySummary(result); !ship.empty()) std::printf("; %s", ship.c_str());
  if (const std::string flow = FlowSummary(result); !flow.empty()) std::printf("; underway: %s", flow.c_str());
  std::printf("\n");
  return 0;
}

}  // namespace sondrix::cli
