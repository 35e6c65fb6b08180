// SPDX-License-Identifier: GPL-3.0-or-later
// The self-test of the hyperspectral meter: BenthMeter's diagnostics
// operations, on the shared record, loop, panel and report pieces.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "common/panels.h"
#include "diag/benth_diag.h"
#include "diag/diag_loop.h"
#include "diag/diag_panel.h"
#include "diag/diag_report.h"
#include "meter/benth_meter.h"

namespace sondrix {
namespace {

// Seconds without a good sample after which the test ends.
constexpr double kBenthDiagTimeout = 3.0;

namespace p = panels;

// The wavelengths of the meter's channels, 2n of them (C, then A).
int Channels(BenthMeter& meter) { return std::clamp(2 * meter.GetInTraceCount(), 0, kMaxTraces); }

// Resets the meter under the wait message and makes the record with the
// limits of its configuration. The reset's result (1, or -1030 which the
// test accepts) with the record, or the failure without one.
Status StartSelfTest(BenthMeter& meter, std::unique_ptr<BenthDiagWindow>& record) {
  record.reset();
  const BenthMeterConfig* config = meter.benthConfig();
  if (!config) return status::kBadConfigFormat;
  // The map of the wavelengths the instrument outputs is known after the
  // reset, and so is the number of its wavelengths.
  return StartMeterSelfTest(meter, record, [&](const TraceMap& map, std::span<const double> wavelengths) {
    const int n = std::clamp(meter.GetInTraceCount(), 0, kMaxTraces / 2);
    return std::make_unique<BenthDiagWindow>(PackedLayout(map, wavelengths, Channels(meter)), map, config->limits,
                                             n, config->skip);
  });
}

// The nonconformity graph: the limits as thin lines, the absolute
// nonconformities as points; A red, C blue.
DiagGraph NonconformGraph(const BenthDiagWindow& record) {
  const DiagLayout& layout = record.window().layout();
  DiagGraph graph{.control = panels::kBdNonconformGraph, .curves = {}};
  graph.curves.push_back({&layout.a, record.limitA(), DiagLimitStyle(kDiagRed)});
  graph.curves.push_back({&layout.c, record.limitC(), DiagLimitStyle(kDiagBlue)});
  if (record.window().rowsUsed() > 0) {
    graph.curves.push_back({&layout.a, record.nonconformA(), DiagMeasuredStyle(kDiagRed)});
    graph.curves.push_back({&layout.c, record.nonconformC(), DiagMeasuredStyle(kDiagBlue)});
  }
  return graph;
}

// The controls of the family's panel.
const DiagPanelControls kBenthPanel = {
    .calGraph = p::kBdCalGraph, .countsGraph = p::kBdCountsGraph, .noiseGraph = p::kBdNoiseGraph,
    .keyGraph = p::kBdKeyGraph, .tempMean = p::kBdTempMean,       .tempSdev = p::kBdTempSdev,
    .depthMean = p::kBdDepthMean, .depthSdev = p::kBdDepthSdev,   .samples = p::kBdSamples};

// BenthPlotDiag: the four graphs and the read-outs.
void BenthPlotDiag(int panel, const BenthDiagWindow& record, bool hasDepth, long goodSamples) {
  const std::array further = {NonconformGraph(record)};
  DrawDiagPanel(panel, kBenthPanel, record.window(), hasDepth, goodSamples, further);
}

const DiagFamily<BenthMeter, BenthDiagWindow> kBenthFamily = {
    {panels::kBenthDiag, panels::kBdStop, kBenthDiagTimeout}, kBenthPanel, &StartSelfTest, &BenthPlotDiag,
    &WriteBenthDiagReport};

}  // namespace

int BenthMeter::HasDiagnostics() {
  return benthConfig_ != nullptr && benthConfig_->limits.minRCounts > 0.0 ? 1 : 0;
}

Status BenthMeter::Diagnostics() { return RunFamilyDiagnostics(*this, kBenthFamily); }

Status BenthMeter::SelfTest(long samples, const std::string& path, Status& test, long& good,
                            const std::function<bool()>& stopRequested) {
  return RunFamilySelfTest(*this, kBenthFamily, samples, stopRequested, path, test, good);
}

// The channels of each wavelength are C and A: the calibration runs over
// the n wavelengths.
Status BenthMeter::RefreshDiagnostics(BenthDiagWindow& record, int panel, int& ring, int count) {
  const int channels = Channels(*this);
  const Status result = TakeDiagSample(record.window(), channels, channels / 2, ring);
  if (result != status::kOk) return result;
  record.Compute(std::clamp(count, 1, kDiagRows));
  if (panel > 0) BenthPlotDiag(panel, record, HasDepth() != 0, count);
  return status::kOk;
}

}  // namespace sondrix
