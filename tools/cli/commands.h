// SPDX-License-Identifier: GPL-3.0-or-later
// The subcommands of sondrix-cli. Each takes its arguments with the
// subcommand's own name first (args[0]) and returns the process exit status:
// 0 success, 1 failure, 2 wrong usage. "--help" prints the subcommand's usage.
//
// A new subcommand is a file of its own defining its Run function, declared
// here and entered in the table in main.cpp.
#pragma once

#include <span>

namespace sondrix::cli {

// sondrix-cli config FILE: the device configuration file read with the class
// its device type selects and written back in this program's form.
int RunConfig(std::span<char*> args);

// sondrix-cli record --device FILE.dev --port PORT --out FILE.dat [--bin N]
// [--lines N] [--ignore-serial] [--force]: the acquisition loop into a data file.
int RunRecord(std::span<char*> args);
// sondrix-cli replay FILE.dat [--bin N]: the lines of a data file replayed.
int RunReplay(std::span<char*> args);
// sondrix-cli info FILE: what a device configuration or data file holds.
int RunInfo(std::span<char*> args);
// sondrix-cli diag --device FILE.dev --port PORT --report FILE.rpt
// [--samples N]: the instrument self-test and its report.
int RunDiag(std::span<char*> args);
// sondrix-cli ports [--check] | --map COMk DEVICE | --unmap COMk: the serial
// ports and what COM1 ... COM8 read; the [Ports] mapping.
int RunPorts(std::span<char*> args);
// sondrix-cli export FILE.dat... --format netcdf|seabass|csv [--out FILE |
// --out-dir DIR] [--meta KEY=VALUE]... [--tz ZONE] [--force]: data files as
// NetCDF, SeaBASS or CSV, every sample in UTC.
int RunExport(std::span<char*> args);
// sondrix-cli process FILE.dat --out FILE.nc|.sb|.csv [--temperature DEGC]
// [--salinity PSU] [--t-cal DEGC] [--ts-table FILE] [--scatter METHOD]
// [--reference-wavelength NM] [--lag-c S] [--lag-ancillary S] [--force]:
// a Level-2 file, corrected and quality flagged.
int RunProcess(std::span<char*> args);
// sondrix-cli profile FILE.dat --out FILE.nc|.sb|.csv [--surface M]
// [--smooth S] [--lag-depth S] [--bin-size M] [--statistic mean|median]
// [--min-count N] [--cast down|up|both] [the corrections' options]
// [--force]: the casts binned by depth.
int RunProfile(std::span<char*> args);

}  // namespace sondrix::cli
