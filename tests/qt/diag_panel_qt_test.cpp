// The self-test's diagnostics panel on the Qt backend: built from the
// resource file, its graphs drawn on QCustomPlot with the limits in sight.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "common/panels.h"
#include "diag/diag_panel.h"
#include "diag/diag_window.h"
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
  DiagLimitSet limits;
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

}  // namespace
}  // namespace sondrix::platform::qt
