// SPDX-License-Identifier: GPL-3.0-or-later
// The self-test's diagnostics panels on the Qt backend: built from the
// resource file, their graphs drawn on QCustomPlot with the limits in sight,
// for the nine-wavelength meter and, fed by a meter on a capture, for the
// hyperspectral one with its nonconformity graph.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "common/panels.h"
#include "diag/benth_diag.h"
#include "diag/diag_panel.h"
#include "diag/diag_window.h"
#include "meter/benth_fixtures.h"
#include "meter/benth_meter.h"
#include "platform/qt/qt_plot.h"
#include "platform/qt/qt_ui.h"
#include "platform/uir.h"
#include "source/factories.h"
#include "support/fixtures.h"

namespace sondrix::platform::qt {
namespace {

namespace p = panels;

const DiagPanelControls kControls = {p::kNdCalGraph, p::kNdCountsGraph, p::kNdNoiseGraph,
                                     p::kNdKeyGraph, p::kNdTempMean,    p::kNdTempSdev,
                                     p::kNdDepthMean, p::kNdDepthSdev,  p::kNdSamples};

TEST(DiagPanelQt, ThePanelShowsTheStatisticsAgainstTheirLimits) {
  test::TempDir dir;
  const test::ScopedEnv home("SONDRIX_HOME", dir.path());
  QtUi ui;
  const ScopedUi scoped(ui);
  const int panel = ui.LoadPanel(0, p::kNeritDiag);
  ASSERT_GT(panel, 0) << ui.resourceError();

  TraceMap map{};
  FillTraceMap(ModelRow(Model::Nerit), map);
  const std::array<double, 18> nm = {412, 440, 488, 412, 440, 488, 510, 532, 555,
                                     510, 532, 555, 650, 676, 715, 650, 676, 715};
  SelfTestLimits limits;
  limits.maxADifference = limits.maxCDifference = 0.05;
  limits.minACounts = limits.minCCounts = limits.minRCounts = 0.05;
  limits.maxANoise = limits.maxCNoise = 0.005;
  DiagWindow record(PackedLayout(map, nm, 18), map, limits);
  std::array<double, 18> signal{};
  std::array<double, 18> refs{};
  std::array<double, 18> cal{};
  signal.fill(0.6);
  refs.fill(0.6);
  record.Fill(0, signal, refs, cal, 0.25, 21.0, 0.0);
  signal.fill(0.601);
  record.Fill(1, signal, refs, cal, 0.25, 21.0, 0.0);
  record.Compute(2);

  SetUpDiagPanel(panel, kControls, false);
  DrawDiagPanel(panel, kControls, record, false, 2);
  EXPECT_EQ(ui.Graph(panel, p::kNdKeyGraph)->plotCount(), 4u);
  EXPECT_EQ(ui.Graph(panel, p::kNdCalGraph)->plotCount(), 6u);
  EXPECT_EQ(ui.Graph(panel, p::kNdCountsGraph)->plotCount(), 8u);
  GraphWidget* noise = ui.Graph(panel, p::kNdNoiseGraph);
  ASSERT_EQ(noise->plotCount(), 4u);
  EXPECT_EQ(noise->Plots()[0].x.size(), 9u);
  // The calibration limits of +-0.05 lie inside the axis.
  GraphWidget* calibration = ui.Graph(panel, p::kNdCalGraph);
  EXPECT_LT(calibration->yAxis->range().lower, -0.05);
  EXPECT_GT(calibration->yAxis->range().upper, 0.05);
  EXPECT_EQ(ui.GetCtrlInt(panel, p::kNdSamples), 2);
  EXPECT_NEAR(ui.GetCtrlDouble(panel, p::kNdTempMean), 21.0, 1e-3);
  // No depth: its read-outs are hidden.
  CtrlValue visible;
  ASSERT_EQ(ui.GetCtrlAttribute(panel, p::kNdDepthMean, Attr::Visible, visible), 0);
  EXPECT_EQ(visible, CtrlValue(0));
  ui.DiscardPanel(panel);
}

const DiagPanelControls kBenthControls = {p::kBdCalGraph,   p::kBdCountsGraph, p::kBdNoiseGraph,
                                          p::kBdKeyGraph,   p::kBdTempMean,    p::kBdTempSdev,
                                          p::kBdDepthMean,  p::kBdDepthSdev,   p::kBdSamples};

TEST(DiagPanelQt, TheHyperspectralPanelDrawsTheWavelengthsTheInstrumentOutputs) {
  test::TempDir dir;
  const test::ScopedEnv home("SONDRIX_HOME", dir.path());
  QtUi ui;
  const ScopedUi scoped(ui);

  // 100 wavelengths at skip 2: 50 of each kind are output and tested.
  constexpr int kN = 100;
  const test::BenthDeviceSpec device{.version = 2,
                                     .n = kN,
                                     .skip = 2,
                                     .depth = "0\t0",
                                     .limits = "0.01 0.02 0.003 0.004 0.05 0.06 100 200 300 0.1 0.2",
                                     .bins = false};
  std::string bytes;
  test::BenthPacketSpec spec = test::BenthSkip(2);
  for (int packet = 0; packet < 6; ++packet) {
    spec.time = static_cast<std::uint32_t>(10 * packet);
    const auto encoded = test::BenthPacket(kN, spec);
    bytes.append(encoded.begin(), encoded.end());
  }
  test::WriteTextFile(dir.File("benth.raw"), bytes);
  test::WriteTextFile(dir.File("benth.dev"), test::BenthDeviceText(device));
  auto meter = Meter::New<BenthMeter>(dir.File("benth.dev"), dir.File("benth.raw"));
  ASSERT_EQ(meter->Open(), status::kOk);
  ASSERT_EQ(meter->Reset(), status::kOk);

  TraceMap map{};
  meter->GetTraceMap(map);
  std::array<double, kMaxTraces> wavelengths{};
  meter->GetWavelengths(wavelengths);
  const BenthMeterConfig& config = *meter->benthConfig();
  BenthDiagWindow record(PackedLayout(map, wavelengths, 2 * kN), map, config.limits, kN, config.skip);

  const int panel = ui.LoadPanel(0, p::kBenthDiag);
  ASSERT_GT(panel, 0) << ui.resourceError();
  SetUpDiagPanel(panel, kBenthControls, false);
  int ring = 0;
  int count = 0;
  // Every packet is a sample, the one the reset synchronised on included.
  while (meter->RefreshDiagnostics(record, panel, ring, count + 1) == status::kOk) ++count;
  EXPECT_EQ(count, 6);
  EXPECT_EQ(ui.GetCtrlInt(panel, p::kBdSamples), 6);

  // Limits and measured values of A and C, 50 wavelengths each, from 400 nm
  // in steps of 6 nm; the limits lie inside the axis.
  GraphWidget* nonconform = ui.Graph(panel, p::kBdNonconformGraph);
  ASSERT_EQ(nonconform->plotCount(), 4u);
  for (const auto& plot : nonconform->Plots()) {
    ASSERT_EQ(plot.x.size(), 50u);
    EXPECT_DOUBLE_EQ(plot.x.front(), 400.0);
    EXPECT_DOUBLE_EQ(plot.x[1], 406.0);
    EXPECT_DOUBLE_EQ(plot.x.back(), 694.0);
  }
  const auto limitPlot = nonconform->Plots()[0];
  EXPECT_GE(nonconform->yAxis->range().upper, *std::max_element(limitPlot.y.begin(), limitPlot.y.end()));
  EXPECT_GE(nonconform->xAxis->range().upper, 694.0);
  EXPECT_LE(nonconform->xAxis->range().lower, 400.0);

  GraphWidget* noise = ui.Graph(panel, p::kBdNoiseGraph);
  ASSERT_EQ(noise->plotCount(), 4u);
  EXPECT_EQ(noise->Plots()[0].x.size(), 50u);
  // Without depth its read-outs are hidden.
  CtrlValue visible;
  ASSERT_EQ(ui.GetCtrlAttribute(panel, p::kBdDepthMean, Attr::Visible, visible), 0);
  EXPECT_EQ(visible, CtrlValue(0));
  ui.DiscardPanel(panel);
  meter->Close();
}

}  // namespace
}  // namespace sondrix::platform::qt
