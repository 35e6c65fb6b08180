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

const DiagPanelControls kNeritPanel = {
    .calGraph = panels::kNdCalGraph,
    .countsGraph = panels::kNdCountsGraph,
    .noiseGraph = panels::kNdNoiseGraph,
    .keyGraph = panels::kNdKeyGraph,
    .tempMean = panels::kNdTempMean,
    .tempSdev = panels::kNdTempSdev,
    .depthMean = panels::kNdDepthMean,
    .depthSdev = panels::kNdDepthSdev,
    .samples = panels::kNdSamples,
};

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

void WriteNeritReport(std::FILE* file, const std::string& id, std::uint32_t serial, bool hasDepth,
                      const DiagWindow& record) {
  DiagReportTitle(file, id, serial);
  const SelfTestLimits& set = record.limitSet();
  std::fputs("The following limits were used:\n", file);
  DiagReportLimit(file, "maximum A difference = ", set.maxADifference);
  DiagReportLimit(file, "maximum C difference = ", set.maxCDifference);
  DiagReportLimit(file, "minimum A counts     = ", set.minACounts);
  DiagReportLimit(file, "minimum C counts     = ", set.minCCounts);
  DiagReportLimit(file, "minimum Ref counts   = ", set.minRCounts);
  DiagReportLimit(file, "maximum A noise      = ", set.maxANoise);
  DiagReportLimit(file, "maximum C noise      = ", set.maxCNoise);
  DiagReportLimit(file, "maximum Temp Sdev    = ", set.maxTempSdev);
  DiagReportLimit(file, "maximum Depth Sdev   = ", set.maxDepthSdev);
  if (record.rowsUsed() == 0) {
    DiagReportNoData(file);
    return;
  }
  DiagReportCalibrationAndCounts(file, record);
  DiagReportNoise(file, record);
  DiagReportSensors(file, record, hasDepth);
}

}  // namespace

Status NeritMeter::Diagnostics() {
  const bool hasDepth = HasDepth() != 0;
  const DiagPanelIds ids{panels::kNeritDiag, panels::kNdStop, kNeritDiagTimeout};
  return RunMeterDiagPanel<DiagWindow>(
      *this, decoder() != nullptr, [this](auto& record) { return StartSelfTest(*this, record); }, ids,
      [hasDepth](int panel, const DiagWindow& record) {
        SetUpDiagPanel(panel, kNeritPanel, hasDepth);
        DrawDiagPanel(panel, kNeritPanel, record, hasDepth, 0);
      });
}

Status NeritMeter::SelfTest(long samples, const std::string& path, Status& test, long& good,
                        const std::function<bool()>& stopRequested) {
  return RunMeterSelfTest<DiagWindow>(
      *this, decoder() != nullptr, [this](auto& record) { return StartSelfTest(*this, record); },
      kNeritDiagTimeout, samples, stopRequested, path, test, good);
}

Status NeritMeter::RefreshDiagnostics(DiagWindow& record, int panel, int& ring, int count) {
  const RefBlock* refs = nullptr;
  const DataSample* sample = nullptr;
  bool packetStart = false;
  const Status result = NextSample(refs, sample, packetStart);
  if (result != status::kOk) return result;
  if (sample->status != status::kOk) return status::kNoData;

  const MeterConfig* config = meterConfig();
  if (!config) return status::kBadConfigFormat;
  const double depth = config->depthScale * refs->pressure + config->depthOffset;
  const int channels = std::clamp(GetInTraceCount(), 0, kMaxTraces);
  std::array<double, kMaxTraces> calibrated{};
  ComputeAbsorb(channels, calibrated, sample->values, refs->temp, refs->refs, record.traceMap());

  const auto n = static_cast<std::size_t>(channels);
  record.FillNext(ring, std::span<const double>(sample->values).first(n),
                  std::span<const double>(refs->refs).first(n), std::span<const double>(calibrated).first(n),
                  config->pathLength, refs->temp, depth);
  record.Compute(std::clamp(count, 1, kDiagRows));
  if (panel > 0) DrawDiagPanel(panel, kNeritPanel, record, HasDepth() != 0, count);
  return status::kOk;
}

Status NeritMeter::DiagReport(const DiagWindow& record) { return OfferDiagReport(*this, record); }

Status NeritMeter::WriteDiagReport(const std::string& path, const DiagWindow& record) {
  return WriteMeterReport(*this, path, [&](std::FILE* file, const std::string& id, std::uint32_t serial,
                                           bool hasDepth) { WriteNeritReport(file, id, serial, hasDepth, record); });
}

}  // namespace sondrix
