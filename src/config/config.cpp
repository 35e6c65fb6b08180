// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/config.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

#include "common/errors.h"
#include "common/file.h"
#include "common/settings.h"
#include "common/utils.h"
#include "common/c_locale.h"
#include "platform/paths.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

constexpr double kDepthTolerance = 1e-10;


}  // namespace

bool IsAcceptedBaudRate(long baud) {
  return std::find(kBaudRates.begin(), kBaudRates.end(), baud) != kBaudRates.end();
}

bool IsUsablePathLength(double metres) { return std::isnormal(metres) && metres > 0.0; }

Config::Config(int traceCount, int inTraceCount)
    : traceCount(traceCount), inTraceCount(inTraceCount) {}

Config::~Config() = default;

int Config::GetTraceCount() const { return traceCount; }

Status Config::WriteConfig(std::FILE* file) const {
  if (file == nullptr) return status::kCantWriteConfig;
  const ScopedCLocale cLocale;
  std::fprintf(file, "%s\n", name.c_str());
  std::fprintf(file, "%08lX\t\t; Serial number\n", static_cast<unsigned long>(serialnum));
  std::fprintf(file, "%d\t; structure version number\n", static_cast<int>(version));
  std::fprintf(file, "Reserved\n");
  std::fprintf(file, "%.6lf\t%.6lf\t\t; Depth calibration\n", depthOffset, depthScale);
  std::fprintf(file, "%d\t\t\t; Baud rate\n", static_cast<int>(baudRate));
  std::fprintf(file, "%.6lf\t\t\t; Path length (meters)\n", pathLength);
  return std::ferror(file) ? status::kCantWriteConfig : status::kOk;
}

Status Config::ReadConfig(std::FILE* file) {
  if (file == nullptr) return status::kConfigPrematureEof;
  const ScopedCLocale cLocale;

  // The name line and the identification word.
  std::uint32_t id = 0;
  std::string idText;
  const Status idResult = ReadID(file, id, idText);
  if (idResult != status::kOk) return idResult;
  // The name is text: a NUL byte ends it, as it ends the line the writer
  // puts out. A name that is empty then is no name at all.
  if (const std::size_t nul = idText.find('\0'); nul != std::string::npos) {
    idText.resize(nul);
    while (!idText.empty() && static_cast<unsigned char>(idText.back()) <= ' ') idText.pop_back();
    if (idText.empty()) return status::kConfigPrematureEof;
  }
  if (idText.size() > kNameMax) idText.resize(kNameMax);
  name = std::move(idText);
  serialnum = id;
  eatComment(file);

  // The structure version; a line without a number means version 0. The
  // rest of that line and the whole "Reserved" line after it are skipped.
  long number = 0;
  if (std::fscanf(file, "%ld", &number) == 1) {
    version = static_cast<std::int32_t>(std::clamp<long>(number, INT32_MIN, INT32_MAX));
  } else {
    version = 0;
  }
  ignore(file, 512, '\n');
  ignore(file, 512, '\n');
  const int next = std::getc(file);
  if (next == EOF) return status::kUnexpectedEof;
  std::ungetc(next, file);

  // Numbers that are not finite ("nan", "inf", beyond the range of a double)
  // would make every value computed with them not a number: such a field is
  // refused with its code.
  double offset = 0.0;
  double scale = 0.0;
  const bool haveOffset = ReadFinite(file, offset);
  if (haveOffset) depthOffset = offset;
  const bool haveScale = haveOffset && ReadFinite(file, scale);
  if (haveScale) depthScale = scale;
  if (!haveScale) return status::kConfigDepthCal;
  eatComment(file);

  // A baud-rate line without a whole number is an invalid rate, whatever
  // rate the record held before.
  long baud = 0;
  const bool baudRead = ReadWhole(file, baud);
  if (baudRead) {
    baudRate = static_cast<std::int32_t>(std::clamp<long>(baud, INT32_MIN, INT32_MAX));
  }
  eatComment(file);
  if (!baudRead || !IsAcceptedBaudRate(baudRate)) return status::kInvalidBaudRate;

  // A path length that does not parse leaves the value as it was; one that
  // is no length to measure over (not finite, 0, negative, subnormal) is
  // refused.
  double path = 0.0;
  if (std::fscanf(file, "%lf", &path) == 1) {
    if (!IsUsablePathLength(path)) return status::kConfigPathLength;
    pathLength = path;
  }
  eatComment(file);

  if (std::ferror(file) && !std::feof(file)) return status::kConfigPrematureEof;
  return status::kOk;
}

Status Config::SaveConfig() const {
  std::string path;
  return SaveConfigAs("Save configuration to file:", path);
}

Status Config::SaveConfigAs(std::string_view title, std::string& chosen) const {
  std::string path;
  if (!settings::ChooseFile(settings::kDeviceDirectory, platform::FileDialogMode::Save, "*.dev", title, path)) {
    return status::kCancelled;
  }
  settings::RememberDirectory(settings::kDeviceDirectory, path);

  if (!MayOverwrite("Save configuration", path)) return status::kCancelled;
  // Only a regular file or a new name: a pipe would keep the program waiting
  // for a reader.
  if (!platform::IsSaveTarget(path)) return status::kCantOpenFile;

  // Written whole beside its name and put in place: never half a device
  // file, never through a link.
  ReplacingFile file(path);
  if (!file) return status::kCantOpenFile;
  const Status result = WriteConfig(file.get());
  // A write that only fails when the buffer is flushed shows at closing.
  if (result == status::kOk && !file.Commit()) return status::kCantWriteConfig;
  if (result == status::kOk) chosen = path;
  // The water of the offsets' calibration beside them: the temperature and
  // salinity correction's T_cal.
  if (result == status::kOk && calibrationWater) return WriteCalibrationRecord(path, *calibrationWater);
  return result;
}

Status Config::EditConfig() { return status::kConfigNoEditor; }

Status Config::EditConfig(Source&, int& changed) {
  changed = 0;
  return EditConfig();
}

Status Config::CopyConfig(Config& to) const {
  to.name = name;
  to.version = version;
  to.serialnum = serialnum;
  to.reserved = reserved;
  to.baudRate = baudRate;
  to.pathLength = pathLength;
  to.depthOffset = depthOffset;
  to.depthScale = depthScale;
  to.traceCount = traceCount;
  to.inTraceCount = inTraceCount;
  to.calibrationWater = calibrationWater;
  return status::kOk;
}

int Config::CompConfig(const Config& other) const {
  const bool equal = name == other.name && serialnum == other.serialnum &&
                     version == other.version && reserved == other.reserved &&
                     baudRate == other.baudRate && traceCount == other.traceCount &&
                     inTraceCount == other.inTraceCount && pathLength == other.pathLength &&
                     std::fabs(depthOffset - other.depthOffset) <= kDepthTolerance &&
                     std::fabs(depthScale - other.depthScale) <= kDepthTolerance;
  return equal ? 1 : 0;
}

Status Config::GetColors(std::span<int>) const { return status::kConfigNoColors; }

Status Config::GetWavelengths(std::span<double>) const { return status::kConfigNoWavelengths; }

Status Config::GetHeading(int, std::string& heading) const {
  heading = "unknown";
  return status::kNoSuchHeading;
}

}  // namespace sondrix
