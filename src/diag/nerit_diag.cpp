// SPDX-License-Identifier: GPL-3.0-or-later
// The self-test of the nine-wavelength meter: NeritMeter's diagnostics
// operations, on the shared record, loop, panel and report pieces.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "common/panels.h"
#include "diag/diag_loop.h"
#include "diag/diag_panel.h"
#include "diag/diag_report.h"
#include "diag/diag_window.h"
#include "meter/nerit_meter.h"

namespace sondrix {
namespace {

// Seconds without a good sample after which the test ends.
constexpr double kNeritDiagTimeout = 2.0;

namespace p = panels;

// Resets the meter under the wait message and makes the record with the
// limits of its configuration. The reset's result (1, or -1030 which the
// test accepts) with the record, or the failure without one.
Status StartSelfTest(NeritMeter& meter, std::unique_ptr<DiagWindow>& record) {
  record.reset();
  const MeterConfig* config = meter.meterConfig();
  if (!config) return status::kBadConfigFormat;
  const int channels = std::clamp(meter.GetInTraceCount(), 0, kMaxTraces);
  return StartMeterSelfTest(meter, record, [&](const TraceMap& map, std::span<const double> wavelengths) {
    return std::make_unique<DiagWindow>(PackedLayout(map, wavelengths, channels), map, config->limits);
  });
}

// The controls of the family's panel.
const DiagPanelControls kNeritPanel = {
    .calGraph = p::kNdCalGraph, .countsGraph = p::kNdCountsGraph, .noiseGraph = p::kNdNoiseGraph,
    .keyGraph = p::kNdKeyGraph, .tempMean = p::kNdTempMean,       .tempSdev = p::kNdTempSdev,
    .depthMean = p::kNdDepthMean, .depthSdev = p::kNdDepthSdev,   .samples = p::kNdSamples};

void DrawNerit(int panel, const DiagWindow& record, bool hasDepth, long goodSamples) {
  DrawDiagPanel(panel, kNeritPanel, record, hasDepth, goodSamples);
}

void WriteNeritReport(std::FILE* file, std::string_view id, std::uint32_t serial, bool hasDepth,
                      const DiagWindow& record) {
  DiagReportTitle(file, id, serial);
  DiagReportLimits(file, record.limitSet(), -1);
  if (record.rowsUsed() == 0) {
    DiagReportNoData(file);
    return;
  }
  DiagReportCalibrationAndCounts(file, record);
  DiagReportNoise(file, record);
  DiagReportSensors(file, record, hasDepth);
}

const DiagFamily<NeritMeter, DiagWindow> kNeritFamily = {
    {panels::kNeritDiag, panels::kNdStop, kNeritDiagTimeout}, kNeritPanel, &StartSelfTest, &DrawNerit,
    &WriteNeritReport};

}  // namespace

Status NeritMeter::Diagnostics() { return RunFamilyDiagnostics(*this, kNeritFamily); }

Status NeritMeter::SelfTest(long samples, const std::string& path, Status& test, long& good,
                            const std::function<bool()>& stopRequested) {
  return RunFamilySelfTest(*this, kNeritFamily, samples, stopRequested, path, test, good);
}

Status NeritMeter::RefreshDiagnostics(DiagWindow& record, int panel, int& ring, int count) {
  const int channels = std::clamp(GetInTraceCount(), 0, kMaxTraces);
  const Status result = TakeDiagSample(record, channels, channels, ring);
  if (result != status::kOk) return result;
  record.Compute(std::clamp(count, 1, kDiagRows));
  if (panel > 0) DrawNerit(panel, record, HasDepth() != 0, count);
  return status::kOk;
}

}  // namespace sondrix
