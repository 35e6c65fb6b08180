// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces every self-test report is made of: the heading lines, the
// limit lines, a wavelength section with its list of failures, the
// saturation question, the depth and temperature paragraphs, the note of a
// test that saw no data; and the choice of the report file.
//
// A report is read by people deciding whether an instrument goes in the
// water: a test passes only on a value that is a number within a limit that
// is a number. A value that is not a number (a channel without a reference,
// a temperature sensor that reads nothing) fails.
//
// Every writer formats numbers with a decimal point, whatever the locale.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "common/status.h"
#include "config/self_test_limits.h"
#include "diag/diag_window.h"

namespace sondrix {

// Whether `value` passes a test against `limit`: a maximum test fails when
// the value exceeds the limit, a minimum test when it is below it, and
// both fail when either is not a finite number.
bool DiagPasses(double value, double limit, bool maximumTest);

// "Sondrix diagnostics report for meter <id>, s/n <serial>" and the line
// with the time and date of the platform's clock.
void DiagReportTitle(std::FILE* file, std::string_view id, std::uint32_t serial);
// "\t<label><value>\n" with "%lf" (`decimals` -1) or "%.<decimals>lf".
void DiagReportLimit(std::FILE* file, std::string_view label, double value, int decimals = -1);
// "The following limits were used:" and the limits as stored: the
// differences, the counts (with `countDecimals` decimals, -1 for "%lf"),
// the nonconformity limits of a hyperspectral test (when `benth` is
// given), the noise limits and the sensors' standard deviations.
void DiagReportLimits(std::FILE* file, const SelfTestLimits& limits, int countDecimals,
                      const BenthSelfTestLimits* benth = nullptr);

// One wavelength section: the heading; for each wavelength that fails its
// test the first text before the first failure, then the wavelength as
// "%0.1lf " and "\n\t" after every tenth failure; "Passed." when none
// failed; "\n". Returns the number of failures. The three spans are read
// up to the shortest.
int DiagReportOne(std::FILE* file, std::string_view heading, std::string_view firstText,
                  std::span<const double> limits, std::span<const double> values,
                  std::span<const double> wavelengths, bool maximumTest);

// Wavelengths whose maximum count equals the largest maximum of the
// channel. A channel whose largest maximum is not a positive count has
// seen no light at all, which is not saturation: 0 then.
int CountAtMaximum(std::span<const double> maxima);
// The saturation question after a raw-count section when more than three
// wavelengths are at the channel's maximum. True when it was asked.
bool DiagReportSaturation(std::FILE* file, std::span<const double> maxima);

// The sensor paragraphs from their statistics and limits.
void DiagReportDepth(std::FILE* file, double mean, double sdev, double maxSdev);
void DiagReportTemperature(std::FILE* file, double mean, double sdev, double maxSdev);

// The sections every meter family reports, from the record's statistics:
// the four calibration sections (C positive, A positive, C negative, A
// negative) and the three raw-count sections (reference, C, A), each
// count section followed by its saturation question.
void DiagReportCalibrationAndCounts(std::FILE* file, const DiagWindow& record);
// The two noise sections (C, A).
void DiagReportNoise(std::FILE* file, const DiagWindow& record);
// The depth paragraph (when the meter has depth) and the temperature
// paragraph.
void DiagReportSensors(std::FILE* file, const DiagWindow& record, bool hasDepth);

// What a report says instead of its sections when no good sample arrived
// before the test ended: nothing was measured, so nothing passed.
void DiagReportNoData(std::FILE* file);
inline constexpr std::string_view kDiagNoDataText =
    "\nNo valid sample arrived from the meter during the self-test: nothing was tested.\n\n";

// Asks where the report goes: the file dialog ("*.rpt", "Save report in
// file:") in the "ReportDirectory" of the settings file, which keeps the
// chosen folder; an existing file only after "This file exists. Do you want
// to overwrite it?", and it is deleted then. 1, -1021 (cancelled) or -1009
// (not deleted).
Status ChooseReportFile(std::string& path);

// Writes a report file: `write` fills the opened file. 1, or -1002 when
// the file cannot be opened, is not a regular file (a device, a pipe or a
// folder), or a write or the close fails.
Status WriteReportFile(const std::string& path, const std::function<void(std::FILE*)>& write);

// A meter's report file at `path`: `write(file, id, serial, hasDepth)`
// fills it with the meter's identification text, serial number and
// whether it has a depth sensor.
template <class Writer>
Status WriteMeterReport(Source& meter, const std::string& path, Writer write) {
  std::string id;
  meter.GetID(id);
  const std::uint32_t serial = meter.GetSerialnum();
  const bool hasDepth = meter.HasDepth() != 0;
  return WriteReportFile(path, [&](std::FILE* file) { write(file, id, serial, hasDepth); });
}

// A self-test's report offered for saving: the report file is asked for
// (ChooseReportFile), then `write(path)` writes it. 1, -1021, -1009 or
// `write`'s failure.
Status OfferDiagReport(const std::function<Status(const std::string& path)>& write);

}  // namespace sondrix
