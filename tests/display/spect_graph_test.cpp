// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum graphs: bars over wavelength and the A and C curves.
#include "display/spect_graph.h"

#include <gtest/gtest.h>

#include "display_fixtures.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::AxisMode;
using test::Line;

class SpectGraphTest : public test::DisplayTest {
 protected:
  test::FakeSource* AttachNine(int type) {
    auto source = test::NineWavelengthSource(HomeFile("nerit.dev"));
    test::FakeSource* raw = source.get();
    EXPECT_EQ(display->Attach(std::move(source)), status::kOk);
    display->ShowGraph(type);
    return raw;
  }

  static std::vector<double> Values(double a, double c) {
    std::vector<double> values(9, a);
    values.insert(values.end(), 9, c);
    return values;
  }

  XYSettings Settings(int type) {
    return static_cast<XYGraph&>(*display->graph(type)).settings();
  }
};

TEST_F(SpectGraphTest, SecondSpectrumDrawsARedCurveOfNineAndABlueCurveOfNine) {
  AttachNine(graph_type::kSpect2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  ASSERT_EQ(session.Publish(Line(Values(0.2, 0.5))), status::kOk);
  const auto& plots = Plots(p::kMainSpect2Graph);
  ASSERT_EQ(plots.size(), 2u);
  EXPECT_EQ(plots[0].attributes.color, 0xFF0000);
  EXPECT_EQ(plots[0].attributes.plotStyle, platform::PlotStyle::ConnectedPoints);
  EXPECT_EQ(plots[0].attributes.pointFrequency, 1);
  EXPECT_EQ(plots[0].x.size(), 9u);
  EXPECT_EQ(plots[0].x.front(), 412.3);
  EXPECT_EQ(plots[0].x.back(), 715.0);
  EXPECT_EQ(plots[0].y, std::vector<double>(9, 0.2));
  EXPECT_EQ(plots[1].attributes.color, 0x0000FF);
  EXPECT_EQ(plots[1].y, std::vector<double>(9, 0.5));

  // Every line redraws the spectrum: still two curves.
  session.Publish(Line(Values(0.3, 0.6), 100));
  ASSERT_EQ(Plots(p::kMainSpect2Graph).size(), 2u);
  EXPECT_EQ(Plots(p::kMainSpect2Graph)[0].y[0], 0.3);
}

TEST_F(SpectGraphTest, WithNoAbsorptionTraceVisibleOnlyTheBlueCurveIsDrawn) {
  AttachNine(graph_type::kSpect2);
  for (int i = 0; i < 9; ++i) display->SetVisible(i, false);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  session.Publish(Line(Values(0.2, 0.5)));
  const auto& plots = Plots(p::kMainSpect2Graph);
  ASSERT_EQ(plots.size(), 1u);
  EXPECT_EQ(plots[0].attributes.color, 0x0000FF);
}

TEST_F(SpectGraphTest, TheWavelengthAxisIsRoundedOutToTensOfNanometres) {
  AttachNine(graph_type::kSpect2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(Settings(graph_type::kSpect2).xMin, 410.0);
  EXPECT_EQ(Settings(graph_type::kSpect2).xMax, 720.0);
  EXPECT_EQ(ui.Control(main, p::kMainSpect2Graph)->smoothUpdate, true);
  // The bars keep 5 nm more on either side: 407.3 ... 720 gives 400 ... 720.
  EXPECT_EQ(Settings(graph_type::kSpect).xMin, 400.0);
  EXPECT_EQ(Settings(graph_type::kSpect).xMax, 720.0);
}

// Before the first run: a source just opened shows its wavelength axis, not
// an empty axis of 0 ... 7 nm.
TEST_F(SpectGraphTest, AnOpenedSourceShowsItsWavelengthsBeforeItsFirstRun) {
  AttachNine(graph_type::kSpect2);
  AxisMode xm, ym;
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  ui.GetAxisRange(main, p::kMainSpect2Graph, xm, x0, x1, ym, y0, y1);
  EXPECT_EQ(x0, 410.0);
  EXPECT_EQ(x1, 720.0);
  display->ShowGraph(graph_type::kSpect);
  ui.GetAxisRange(main, p::kMainSpectGraph, xm, x0, x1, ym, y0, y1);
  EXPECT_EQ(x0, 400.0);
  EXPECT_EQ(x1, 720.0);
}

// Rounding to the nearest ten would end the axis at 730 and leave the
// longest wavelengths (733 nm; the A traces at 730.3 nm) outside it.
TEST_F(SpectGraphTest, NoWavelengthFallsOutsideTheRoundedAxis) {
  std::vector<int> map(85, kTraceC);
  map.insert(map.end(), 85, kTraceA);
  auto source = std::make_unique<test::FakeSource>(HomeFile("v3.dev"), map);
  for (int i = 0; i < 85; ++i) {
    source->wavelengths[static_cast<std::size_t>(i)] = 401.2 + 3.9 * i;  // ... 728.8
    source->wavelengths[static_cast<std::size_t>(85 + i)] = 402.7 + 3.9 * i;  // ... 730.3
  }
  ASSERT_EQ(display->Attach(std::move(source)), status::kOk);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(Settings(graph_type::kSpect2).xMin, 400.0);
  EXPECT_EQ(Settings(graph_type::kSpect2).xMax, 740.0);
  EXPECT_EQ(Settings(graph_type::kSpect).xMin, 390.0);  // 5 nm more for the bars
  EXPECT_EQ(Settings(graph_type::kSpect).xMax, 740.0);

  auto longest = test::NineWavelengthSource(HomeFile("nerit.dev"));
  longest->wavelengths[8] = longest->wavelengths[17] = 733.0;
  ASSERT_EQ(display->Attach(std::move(longest)), status::kOk);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(Settings(graph_type::kSpect2).xMax, 740.0);
  EXPECT_EQ(Settings(graph_type::kSpect).xMax, 740.0);
}

TEST_F(SpectGraphTest, ASingleWavelengthStillGetsAnAxisOfPositiveWidth) {
  auto source = std::make_unique<test::FakeSource>(HomeFile("one.dev"), std::vector<int>{kTraceA});
  source->wavelengths = {400.0};
  display->Attach(std::move(source));
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(Settings(graph_type::kSpect2).xMin, 400.0);
  EXPECT_EQ(Settings(graph_type::kSpect2).xMax, 410.0);
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

TEST_F(SpectGraphTest, BarsStandAtEachVisibleTracesWavelength) {
  AttachNine(graph_type::kSpect);
  display->SetVisible(3, false);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  session.Publish(Line(Values(0.2, 0.5)));
  session.Publish(Line(Values(0.4, 0.7), 100));
  const auto& plots = Plots(p::kMainSpectGraph);
  ASSERT_EQ(plots.size(), 17u);
  EXPECT_EQ(plots[0].x, (std::vector<double>{412.3, 412.3}));
  EXPECT_EQ(plots[0].y, (std::vector<double>{0.0, 0.4}));
  EXPECT_EQ(plots[0].attributes.plotStyle, platform::PlotStyle::VerticalBar);
  EXPECT_EQ(plots[0].attributes.color, display->TraceRGB(0));
  // Absorption bars are hollow, attenuation bars solid: the two of a
  // wavelength look different even in one colour.
  for (const platform::HeadlessPlot& plot : plots) {
    const bool absorption = plot.y[1] == 0.4;  // the A traces' value
    EXPECT_EQ(plot.attributes.pointStyle,
              absorption ? platform::PointStyle::EmptySquare : platform::PointStyle::SolidSquare);
  }
}

TEST_F(SpectGraphTest, AutoZoomChangesTheValueAxisAndKeepsTheWavelengths) {
  AttachNine(graph_type::kSpect2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  session.Publish(Line(Values(0.1, 0.3)));
  display->AutoZoomChannel(-1);
  const XYSettings s = Settings(graph_type::kSpect2);
  EXPECT_DOUBLE_EQ(s.yMin, 0.0);
  EXPECT_DOUBLE_EQ(s.yMax, 0.4);
  EXPECT_EQ(s.xMin, 410.0);
  EXPECT_EQ(s.xMax, 720.0);
  AxisMode xm, ym;
  double x0, x1, y0, y1;
  ui.GetAxisRange(main, p::kMainSpect2Graph, xm, x0, x1, ym, y0, y1);
  EXPECT_EQ(xm, AxisMode::Lock);
  EXPECT_DOUBLE_EQ(y1, 0.4);

  display->MoveGraph(-0.25);
  EXPECT_DOUBLE_EQ(Settings(graph_type::kSpect2).yMin, -0.1);
}

// A hyperspectral source: 100 C traces, then 100 A traces, 400 ... 697 nm.
class DenseSpectrumTest : public SpectGraphTest {
 protected:
  void AttachDense(int type) {
    std::vector<int> map(100, kTraceC);
    map.insert(map.end(), 100, kTraceA);
    auto source = std::make_unique<test::FakeSource>(HomeFile("benth.dev"), map);
    source->wavelengths.clear();
    for (int half = 0; half < 2; ++half)
      for (int i = 0; i < 100; ++i) source->wavelengths.push_back(400.0 + 3.0 * i);
    ASSERT_EQ(display->Attach(std::move(source)), status::kOk);
    display->ShowGraph(type);
    ASSERT_EQ(display->InitPlot(), status::kOk);
  }
};

TEST_F(DenseSpectrumTest, CurvesOfAHundredPointsArePlainLines) {
  AttachDense(graph_type::kSpect2);
  EXPECT_EQ(Settings(graph_type::kSpect2).xMin, 400.0);
  EXPECT_EQ(Settings(graph_type::kSpect2).xMax, 700.0);
  ASSERT_EQ(session.Publish(Line(std::vector<double>(200, 0.1))), status::kOk);
  const auto& plots = Plots(p::kMainSpect2Graph);
  ASSERT_EQ(plots.size(), 2u);
  for (const auto& plot : plots) {
    EXPECT_EQ(plot.x.size(), 100u);
    EXPECT_EQ(plot.attributes.plotStyle, platform::PlotStyle::ThinLine);
    EXPECT_EQ(plot.attributes.pointFrequency, 0);
  }
}

TEST_F(DenseSpectrumTest, BarsOfADenseSpectrumAreUprightLinesThatDoNotOverlap) {
  AttachDense(graph_type::kSpect);
  ASSERT_EQ(session.Publish(Line(std::vector<double>(200, 0.1))), status::kOk);
  const auto& plots = Plots(p::kMainSpectGraph);
  ASSERT_FALSE(plots.empty());
  EXPECT_EQ(plots[0].attributes.plotStyle, platform::PlotStyle::FatLine);
  EXPECT_EQ(plots[0].x, (std::vector<double>{400.0, 400.0}));
}

}  // namespace
}  // namespace sondrix
