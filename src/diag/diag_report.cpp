// SPDX-License-Identifier: GPL-3.0-or-later
#include "diag/diag_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/file.h"
#include "common/c_locale.h"
#include "common/settings.h"
#include "datafile/data_file.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

constexpr int kMaxUnsaturated = 3;
constexpr int kFailuresPerLine = 10;

void Put(std::FILE* file, std::string_view text) { std::fwrite(text.data(), 1, text.size(), file); }

}  // namespace

bool DiagPasses(double value, double limit, bool maximumTest) {
  if (!std::isfinite(value) || !std::isfinite(limit)) return false;
  return maximumTest ? !(value > limit) : !(value < limit);
}

void DiagReportTitle(std::FILE* file, std::string_view id, std::uint32_t serial) {
  const ScopedCLocale cLocale;
  std::fprintf(file, "Sondrix diagnostics report for meter %.*s, s/n %08X\n", static_cast<int>(id.size()),
               id.data(), static_cast<unsigned>(serial));
  const std::string time = platform::TimeStr();
  const std::string date = platform::DateStr();
  std::fprintf(file, "Diagnostics run at %s on %s\n\n", time.c_str(), date.c_str());
}

void DiagReportLimit(std::FILE* file, std::string_view label, double value, int decimals) {
  const ScopedCLocale cLocale;
  if (decimals < 0)
    std::fprintf(file, "\t%.*s%lf\n", static_cast<int>(label.size()), label.data(), value);
  else
    std::fprintf(file, "\t%.*s%.*lf\n", static_cast<int>(label.size()), label.data(), decimals, value);
}

void DiagReportLimits(std::FILE* file, const SelfTestLimits& limits, int countDecimals,
                      const BenthSelfTestLimits* benth) {
  std::fputs("The following limits were used:\n", file);
  DiagReportLimit(file, "maximum A difference = ", limits.maxADifference);
  DiagReportLimit(file, "maximum C difference = ", limits.maxCDifference);
  DiagReportLimit(file, "minimum A counts     = ", limits.minACounts, countDecimals);
  DiagReportLimit(file, "minimum C counts     = ", limits.minCCounts, countDecimals);
  DiagReportLimit(file, "minimum Ref counts   = ", limits.minRCounts, countDecimals);
  if (benth != nullptr) {
    DiagReportLimit(file, "maximum A nonconform = ", benth->maxANonConform);
    DiagReportLimit(file, "maximum C nonconform = ", benth->maxCNonConform);
  }
  DiagReportLimit(file, "maximum A noise      = ", limits.maxANoise);
  DiagReportLimit(file, "maximum C noise      = ", limits.maxCNoise);
  DiagReportLimit(file, "maximum Temp Sdev    = ", limits.maxTempSdev);
  DiagReportLimit(file, "maximum Depth Sdev   = ", limits.maxDepthSdev);
}

int DiagReportOne(std::FILE* file, std::string_view heading, std::string_view firstText,
                  std::span<const double> limits, std::span<const double> values,
                  std::span<const double> wavelengths, bool maximumTest) {
  const ScopedCLocale cLocale;
  Put(file, heading);
  const std::size_t count = std::min({limits.size(), values.size(), wavelengths.size()});
  int failures = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (DiagPasses(values[i], limits[i], maximumTest)) continue;
    if (failures == 0) Put(file, firstText);
    std::fprintf(file, "%0.1lf ", wavelengths[i]);
    ++failures;
    if (failures % kFailuresPerLine == 0) Put(file, "\n\t");
  }
  if (failures == 0) Put(file, "Passed.");
  Put(file, "\n");
  return failures;
}

int CountAtMaximum(std::span<const double> maxima) {
  if (maxima.empty()) return 0;
  const double largest = *std::max_element(maxima.begin(), maxima.end());
  if (!(largest > 0.0)) return 0;
  return static_cast<int>(std::count(maxima.begin(), maxima.end(), largest));
}

bool DiagReportSaturation(std::FILE* file, std::span<const double> maxima) {
  if (CountAtMaximum(maxima) <= kMaxUnsaturated) return false;
  std::fprintf(file, "\tMore than %d wavelengths are at the maximum value. Is this saturated?\n",
               kMaxUnsaturated);
  return true;
}

void DiagReportDepth(std::FILE* file, double mean, double sdev, double maxSdev) {
  const ScopedCLocale cLocale;
  Put(file, "\nDepth sensor: ");
  const bool offSurface = !(std::fabs(mean) <= 0.5);
  const bool noisy = !DiagPasses(sdev, maxSdev, true);
  if (offSurface) std::fprintf(file, "\n\tThe sensor reads %.2lf meters at the surface.", mean);
  if (noisy) Put(file, "\n\tThe standard deviation in the reading exceeds the recommended limit.");
  if (!offSurface && !noisy) Put(file, "Passed.");
  Put(file, "\n");
}

void DiagReportTemperature(std::FILE* file, double mean, double sdev, double maxSdev) {
  const ScopedCLocale cLocale;
  Put(file, "\nTemperature sensor: ");
  const bool outside = !(mean >= 0.0 && mean <= 50.0);
  const bool noisy = !DiagPasses(sdev, maxSdev, true);
  // A converter count of 0 has no temperature: say so rather than "nan".
  if (outside && !std::isfinite(mean)) Put(file, "\n\tThe sensor gives no reading.");
  if (outside && std::isfinite(mean)) std::fprintf(file, "\n\tThe sensor reads %.2lf degrees C.", mean);
  if (noisy) Put(file, "\n\tThe standard deviation in the reading exceeds the recommended limit.");
  if (!outside && !noisy) Put(file, "Passed.");
  Put(file, "\n\n");
}

namespace {

constexpr std::string_view kBelowCounts =
    "\n\tThe counts for the following wavelengths are below the recommended limit:\n\t";
constexpr std::string_view kAboveNoise =
    "\n\tThe following wavelengths exceed the recommended noise limit:\n\t";

std::span<const double> First(const std::array<double, kDiagRowValues>& values, int count) {
  return std::span<const double>(values).first(static_cast<std::size_t>(count));
}

// One kind of channel's counts: a column of the record against its limits.
struct CountsTest {
  std::string_view heading;
  const std::vector<double>& limits;
  const DiagColumn& column;
  const DiagChannels& channels;
};

}  // namespace

void DiagReportCalibrationAndCounts(std::FILE* file, const DiagWindow& record) {
  const DiagLayout& layout = record.layout();
  const DiagLimits& limits = record.limits();
  // The calibrated means of the C and the A channels: above the positive
  // limits, then below the negative ones.
  struct Calibrated {
    std::string kind;
    const DiagColumn& column;
    const DiagChannels& channels;
    const std::vector<double>& positive;
    const std::vector<double>& negative;
  };
  const Calibrated calibrated[] = {{"C", record.calC(), layout.c, limits.diffC, limits.negDiffC},
                                   {"A", record.calA(), layout.a, limits.diffA, limits.negDiffA}};
  for (const bool positive : {true, false}) {
    for (const Calibrated& cal : calibrated) {
      const std::string heading = "\nCalibration - " + cal.kind + (positive ? " positive: " : " negative: ");
      const std::string firstText = "\n\tThe " + cal.kind + " value for the following wavelengths exceed " +
                                    (positive ? "" : "(negative) ") + "previous calibration:\n\t";
      DiagReportOne(file, heading, firstText, positive ? cal.positive : cal.negative,
                    First(cal.column.mean, cal.channels.size()), cal.channels.wavelength, positive);
    }
  }
  // The smallest counts below their limits; the largest, for saturation.
  const CountsTest counts[] = {{"\nRaw counts - Reference: ", limits.countsRef, record.ref(), layout.ref},
                               {"\nRaw counts - C channel: ", limits.countsC, record.rawC(), layout.c},
                               {"\nRaw counts - A channel: ", limits.countsA, record.rawA(), layout.a}};
  for (const CountsTest& test : counts) {
    DiagReportOne(file, test.heading, kBelowCounts, test.limits, First(test.column.min, test.channels.size()),
                  test.channels.wavelength, false);
    DiagReportSaturation(file, First(test.column.max, test.channels.size()));
  }
}

void DiagReportNoise(std::FILE* file, const DiagWindow& record) {
  const DiagLayout& layout = record.layout();
  const DiagLimits& limits = record.limits();
  DiagReportOne(file, "\nNoise - C: ", kAboveNoise, limits.noiseC, First(record.uncC().sdev, layout.c.size()),
                layout.c.wavelength, true);
  DiagReportOne(file, "\nNoise - A: ", kAboveNoise, limits.noiseA, First(record.uncA().sdev, layout.a.size()),
                layout.a.wavelength, true);
}

void DiagReportSensors(std::FILE* file, const DiagWindow& record, bool hasDepth) {
  const SelfTestLimits& set = record.limitSet();
  if (hasDepth) DiagReportDepth(file, record.depthMean(), record.depthSdev(), set.maxDepthSdev);
  DiagReportTemperature(file, record.tempMean(), record.tempSdev(), set.maxTempSdev);
}

void DiagReportNoData(std::FILE* file) { Put(file, kDiagNoDataText); }

Status ChooseReportFile(std::string& path) {
  std::string chosen;
  if (!settings::ChooseFile(settings::kReportDirectory, platform::FileDialogMode::Save, "*.rpt", "Save report in file:",
                            chosen))
    return status::kCancelled;
  settings::RememberDirectory(settings::kReportDirectory, chosen);
  if (!MayOverwrite("", chosen)) return status::kCancelled;
  if (platform::FileExists(chosen) && (!DataFile_IsSaveTarget(chosen) || std::remove(chosen.c_str()) != 0))
    return status::kCantDeleteFile;
  path = chosen;
  return status::kOk;
}

Status OfferDiagReport(const std::function<Status(const std::string& path)>& write) {
  std::string path;
  const Status chosen = ChooseReportFile(path);
  if (chosen != status::kOk) return chosen;
  return write(path);
}

Status WriteReportFile(const std::string& path, const std::function<void(std::FILE*)>& write) {
  // Only a regular file (or a new name): opening a pipe would wait for a
  // reader, and a device or a folder is no report.
  if (!DataFile_IsSaveTarget(path)) return status::kCantOpenFile;
  // Written whole beside its name and put in place, never through a link.
  ReplacingFile file(path);
  if (!file) return status::kCantOpenFile;
  write(file.get());
  // A close that fails may have lost the end of the report.
  return file.Commit() ? status::kOk : status::kCantOpenFile;
}

}  // namespace sondrix
