// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli info: what a device configuration file or a data file says
// about its instrument, and for a data file the recording itself.
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli_args.h"
#include "commands.h"
#include "common/status.h"
#include "common/utils.h"
#include "datafile/data_file.h"
#include "meter/source_factory.h"
#include "platform/paths.h"
#include "source/device.h"
#include "source/factories.h"
#include "source/source.h"
#include "source/source_line.h"
#include "terminal_text.h"

namespace sondrix::cli {
namespace {

constexpr const char* kUsage = R"(Usage: sondrix-cli info FILE

Describes a device configuration file or a data file: identification,
device type, serial number and every trace with its heading, wavelength
and colour; for a data file also the recording's date, time, bin size
and number of sample lines.
)";

int Fail(std::string_view what, Status code) { return ReportFailure("info", what, code); }

// Counts the sample lines left in an open data file: good ones and damaged
// ones.
Status CountLines(Source& file, long& good, long& damaged) {
  SourceLine line(file.GetTraceCount());
  Status result;
  while ((result = file.ReadData(line)) == status::kOk) {
    if (line.status == status::kOk)
      ++good;
    else
      ++damaged;
  }
  return result == status::kUnexpectedEof ? status::kOk : result;
}

}  // namespace

int RunInfo(std::span<char*> args) {
  std::string path;
  CLI::App app(kUsage, "sondrix-cli info");
  tools::SetUp(app);
  app.add_option("FILE", path)->required();
  if (const std::optional<int> status = ParseCommand(app, args)) return *status;
  if (!IsRegularFile(path)) return Fail(path, status::kCantOpenFile);

  // A data file starts with its title line; anything else is taken for a
  // device configuration file.
  std::string idText;
  int kind = kSourceKindFile;
  int deviceType = DataFile_GetDevType(path, idText);
  if (!FindModel(deviceType)) {
    kind = kSourceKindDevice;
    deviceType = Device_GetDevType(path, idText);
  }
  const ModelInfo* model = FindModel(deviceType);
  if (!model) return Fail(path, deviceType < 0 ? static_cast<Status>(deviceType) : status::kBadConfigFormat);

  std::unique_ptr<Source> source;
  Status result = NewSource(source, kind, path, "");
  if (result == status::kOk) result = source->Open();
  if (result != status::kOk) {
    if (source) source->Close();
    return Fail(path, result);
  }

  // Names, headings, date and time are the file's text: printed escaped.
  std::string id;
  source->GetID(id);
  std::printf("File: %s\n", path.c_str());
  std::printf("Kind: %s\n", kind == kSourceKindFile ? "data file" : "device configuration");
  std::printf("Identification: %s\n", TerminalText(id).c_str());
  std::printf("Device type: %d (%.*s)\n", deviceType, static_cast<int>(model->description.size()),
              model->description.data());
  std::printf("Serial number: %08lX\n", static_cast<unsigned long>(source->GetSerialnum()));

  if (kind == kSourceKindFile) {
    std::string date, time;
    source->GetDate(date, time);
    long good = 0, damaged = 0;
    result = CountLines(*source, good, damaged);
    std::printf("Date: %s\nTime: %s\n", TerminalText(date).c_str(), TerminalText(time).c_str());
    std::printf("Bin size: %d\n", source->GetOrigBinsize());
    if (damaged > 0)
      std::printf("Sample lines: %ld (and %ld damaged)\n", good, damaged);
    else
      std::printf("Sample lines: %ld\n", good);
  }

  const int traces = source->GetTraceCount();
  std::vector<int> colors(kMaxTraces, 0);
  std::vector<double> wavelengths(kMaxTraces, 0.0);
  const bool haveColors = source->GetColors(colors) == status::kOk;
  const bool haveWavelengths = source->GetWavelengths(wavelengths) == status::kOk;
  std::printf("Traces: %d\n", traces);
  std::printf("  %-5s %-15s %-11s %s\n", "trace", "heading", "wavelength", "colour");
  for (int i = 0; i < traces && i < kMaxTraces; ++i) {
    const auto at = static_cast<std::size_t>(i);
    std::string heading;
    source->GetHeading(i, heading);
    char wavelength[32] = "-";
    if (haveWavelengths) std::snprintf(wavelength, sizeof wavelength, "%.1f nm", wavelengths[at]);
    std::string colour = "-";
    if (haveColors) {
      char rgb[16];
      std::snprintf(rgb, sizeof rgb, "#%06X", static_cast<unsigned>(VantorColorToRGB(colors[at])));
      colour = ColorName(colors[at]) + " (" + rgb + ")";
    }
    std::printf("  %-5d %-15s %-11s %s\n", i, TerminalText(heading).c_str(), wavelength, colour.c_str());
  }
  source->Close();
  if (std::fflush(stdout) != 0) return Fail("standard output", status::kWriteFailed);
  return result == status::kOk ? 0 : Fail(path, result);
}

}  // namespace sondrix::cli
