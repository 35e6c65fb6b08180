// SPDX-License-Identifier: GPL-3.0-or-later
// The XY graph: axes, zoom and move, the settings dialog, the graph state
// line, one segment per visible trace per point, display bin averaging.
#include "display/xy_graph.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "display/temp_graph.h"
#include "display_fixtures.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::AxisMode;
using test::Line;

class XYGraphTest : public test::DisplayTest {
 protected:
  XYGraph& xy() { return static_cast<XYGraph&>(*display->graph(graph_type::kXY)); }

  void ExpectXRange(double lo, double hi) {
    AxisMode xm, ym;
    double x0, x1, y0, y1;
    ui.GetAxisRange(main, p::kMainXYGraph, xm, x0, x1, ym, y0, y1);
    EXPECT_DOUBLE_EQ(xy().settings().xMin, lo);
    EXPECT_DOUBLE_EQ(xy().settings().xMax, hi);
    EXPECT_DOUBLE_EQ(x0, lo);
    EXPECT_DOUBLE_EQ(x1, hi);
  }

  // The text a graph writes as its configuration line.
  static std::string ConfigLine(Graph& graph) {
    std::FILE* file = std::tmpfile();
    EXPECT_EQ(graph.WriteConfig(file), status::kOk);
    std::rewind(file);
    char buffer[256] = {};
    std::fgets(buffer, sizeof buffer, file);
    std::fclose(file);
    return buffer;
  }

  static Status ReadLine(Graph& graph, const char* text) {
    std::FILE* file = std::tmpfile();
    std::fputs(text, file);
    std::rewind(file);
    Status result = graph.ReadConfig(file);
    std::fclose(file);
    return result;
  }
};

TEST_F(XYGraphTest, ZoomAboutTheCentreThenMoveByAFractionOfTheSpan) {
  XYSettings s = xy().settings();
  s.xMin = 0.0;
  s.xMax = 8.0;
  xy().set_settings(s);
  xy().XZoom(0.5);
  ExpectXRange(2.0, 6.0);
  xy().XMove(-0.25);
  ExpectXRange(1.0, 5.0);
}

TEST_F(XYGraphTest, ZoomFactorsOutsideTheirRangeAreIgnored) {
  const XYSettings before = xy().settings();
  xy().XZoom(2000.0);
  xy().XZoom(1.0e-9);
  xy().XZoom(std::nan(""));
  EXPECT_EQ(xy().settings(), before);
  xy().XZoom(1000.0);
  EXPECT_DOUBLE_EQ(xy().settings().xMax - xy().settings().xMin, 7000.0);
}

TEST_F(XYGraphTest, DisplayBinSizeThreeDrawsOnePointPerThreeLinesAtTheirAverage) {
  test::DisplayTest::AttachTraces(2);
  display->SetDisplayBinsize(3);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  const double a[6] = {1, 2, 3, 4, 5, 9};
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(session.Publish(Line({a[i], 10 * a[i]}, 1000 * i)), status::kOk);
    EXPECT_EQ(ui.PlotCalls(main, p::kMainXYGraph).size(), i < 2 ? 0u : i < 5 ? 2u : 4u) << i;
  }
  const auto& plots = Plots(p::kMainXYGraph);
  ASSERT_EQ(plots.size(), 2u);  // one curve per trace
  EXPECT_EQ(plots[0].x, (std::vector<double>{2, 2, 6}));
  EXPECT_EQ(plots[1].x, (std::vector<double>{20, 20, 60}));
  // Elapsed minutes of the third and sixth lines.
  EXPECT_DOUBLE_EQ(plots[0].y[2], 5000 / 60000.0);
}

TEST_F(XYGraphTest, TheFirstPointOfARunIsAZeroLengthSegment) {
  test::DisplayTest::AttachTraces(1);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  session.Publish(Line({0.5}, 0));
  const auto& calls = ui.PlotCalls(main, p::kMainXYGraph);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].x, (std::vector<double>{0.5, 0.5}));
  EXPECT_EQ(calls[0].y, (std::vector<double>{0.0, 0.0}));
  EXPECT_EQ(calls[0].attributes.plotStyle, platform::PlotStyle::ThinLine);
  EXPECT_EQ(calls[0].attributes.pointStyle, platform::PointStyle::SimpleDot);
}

// A run whose first lines carry no data, or whose bins are larger than one
// line, still starts its curve at its first point, not at the origin.
TEST_F(XYGraphTest, TheFirstPointStartsTheCurveAfterLostLinesToo) {
  test::DisplayTest::AttachTraces(1);
  display->SetDisplayBinsize(2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  SourceLine lost = Line({99.0}, 0);
  lost.status = status::kLostLine;
  session.Publish(lost);
  session.Publish(Line({0.5}, 100));
  session.Publish(Line({0.7}, 200));
  const auto& calls = ui.PlotCalls(main, p::kMainXYGraph);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_DOUBLE_EQ(calls[0].x[0], 0.6);
  EXPECT_DOUBLE_EQ(calls[0].x[1], 0.6);
}

TEST_F(XYGraphTest, WithNoTraceVisibleNothingIsDrawn) {
  auto source = std::make_unique<test::FakeSource>(HomeFile("m.dev"), std::vector<int>(3, kTraceA));
  display->Attach(std::move(source));
  display->ShowGraph(graph_type::kXY);
  for (int i = 0; i < 3; ++i) display->SetVisible(i, false);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  session.Publish(Line({1, 2, 3}));
  EXPECT_TRUE(ui.PlotCalls(main, p::kMainXYGraph).empty());
  // Every trace is labelled instead.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(display->plotted(i));
  EXPECT_TRUE(Shown(p::kMainLabel0 + 19));
  EXPECT_TRUE(Shown(p::kMainLabel0 + 17));
}

TEST_F(XYGraphTest, TheGraphStateLine) {
  EXPECT_EQ(ConfigLine(xy()),
            "0.00000\t5.00000\t0.00000\t7.00000\t0\t0\t1\t1\t5\t5\t; graph state\n");
  ASSERT_EQ(ReadLine(xy(), "-1 2.5 0.1 0.4 1 0 0 1 4 8 ; graph state\n"), status::kOk);
  EXPECT_EQ(xy().settings(), (XYSettings{-1, 2.5, 0.1, 0.4, 1, 0, 0, 1, 4, 8}));
  EXPECT_EQ(ConfigLine(xy()),
            "-1.00000\t2.50000\t0.10000\t0.40000\t1\t0\t0\t1\t4\t8\t; graph state\n");
}

TEST_F(XYGraphTest, ABadStateLineGivesTheClassDefaultsForAllTen) {
  for (const char* bad : {"0 5 3 3 1 1 0 0 5 5\n",        // X max equals X min
                          "0 5 0 7 1 1 0 0 0 5\n",        // no X divisions
                          "0 5 0 inf 1 1 0 0 5 5\n",      // no finite range
                          "0 5 0 7 1\n"}) {               // cut short
    XYSettings odd{1, 2, 3, 4, 1, 1, 0, 0, 9, 9};
    xy().set_settings(odd);
    EXPECT_EQ(ReadLine(xy(), bad), status::kOk) << bad;
    EXPECT_EQ(xy().settings(), XYSettings{}) << bad;
  }
  auto& temp = static_cast<TempGraph&>(*display->graph(graph_type::kTemp));
  ReadLine(temp, "0 5 3 3 1 1 0 0 5 5\n");
  EXPECT_EQ(temp.settings().yMax, 35.0);
}

TEST_F(XYGraphTest, TheDialogStoresWhatTheUserEntered) {
  ui.Then([&](platform::HeadlessUi& h) {
      // Fields start with the graph's values; X autoscale dims the X range.
      const int dialog = h.NewestHandle(p::kGraphSettings);
      EXPECT_EQ(h.GetCtrlDouble(dialog, p::kGsXMax), 7.0);
      EXPECT_TRUE(h.Control(dialog, p::kGsXDivisions)->dimmed);
    })
      .Commit(p::kGraphSettings, p::kGsXAutoDivisions, {{p::kGsXAutoDivisions, 0}})
      .Commit(p::kGraphSettings, p::kGsOk,
              {{p::kGsXMin, -0.5}, {p::kGsXMax, 1.5}, {p::kGsYMax, 60.0}, {p::kGsXDivisions, 4}});
  ASSERT_EQ(xy().UserConfigure(), status::kOk);
  EXPECT_EQ(xy().settings(), (XYSettings{0, 60, -0.5, 1.5, 0, 0, 0, 1, 4, 5}));
  EXPECT_FALSE(ui.IsLoaded(ui.NewestHandle(p::kGraphSettings, false)));
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

TEST_F(XYGraphTest, AnInvertedRangeIsRefusedAndNotStored) {
  ui.Commit(p::kGraphSettings, p::kGsOk, {{p::kGsXMin, 2.0}, {p::kGsXMax, 2.0}});
  EXPECT_EQ(xy().UserConfigure(), status::kCancelled);
  ASSERT_EQ(ui.popups().size(), 1u);
  EXPECT_EQ(ui.popups()[0].title, "");
  EXPECT_EQ(ui.popups()[0].text, "Xmax is not greater than\nXmin.");
  EXPECT_EQ(xy().settings(), XYSettings{});

  ui.Commit(p::kGraphSettings, p::kGsOk, {{p::kGsYMin, 9.0}, {p::kGsYMax, 1.0}});
  EXPECT_EQ(xy().UserConfigure(), status::kCancelled);
  EXPECT_EQ(ui.popups()[1].text, "Ymax is not greater than\nYmin.");
  EXPECT_EQ(xy().settings(), XYSettings{});

  ui.Commit(p::kGraphSettings, p::kGsCancel, {{p::kGsXMax, 100.0}});
  EXPECT_EQ(xy().UserConfigure(), status::kCancelled);
  EXPECT_EQ(xy().settings(), XYSettings{});
}

TEST_F(XYGraphTest, AutoscaledAxesKeepTheRangeTheDataGave) {
  test::DisplayTest::AttachTraces(1);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  session.Publish(Line({0.25}, 0));
  session.Publish(Line({0.75}, 60000));
  XYSettings s = xy().settings();
  s.xAutoscale = 1;
  s.xAutoDivisions = 0;
  s.xDivisions = 4;
  xy().set_settings(s);
  ASSERT_EQ(xy().SetConfig(0), status::kOk);
  EXPECT_TRUE(ui.WasShown(p::kBusy));
  AxisMode xm, ym;
  double x0, x1, y0, y1;
  ui.GetAxisRange(main, p::kMainXYGraph, xm, x0, x1, ym, y0, y1);
  EXPECT_EQ(xm, AxisMode::Lock);
  EXPECT_DOUBLE_EQ(x0, 0.25);
  EXPECT_DOUBLE_EQ(x1, 0.75);
  EXPECT_EQ(ym, AxisMode::Manual);
  EXPECT_EQ(ui.Control(main, p::kMainXYGraph)->xDivisions, 4);
  EXPECT_EQ(ui.Control(main, p::kMainXYGraph)->yDivisions, -1);
  EXPECT_EQ(ui.NewestHandle(p::kBusy), 0);  // discarded again
}

}  // namespace
}  // namespace sondrix
