// SPDX-License-Identifier: GPL-3.0-or-later
// Graphs following a run on the headless user interface: a run of lines with
// known times and values is driven through the display and the axes shown
// are checked against what those lines make them show -- the last minutes,
// the whole run, the data on the value axis, the depth reached; a zoom
// suspends following and Follow resumes it; a graph put on show in the
// middle of a run shows the lines before; the settings go through the
// display configuration file, and a file without them still reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "display/display.h"
#include "display/spect_graph.h"
#include "display/strip.h"
#include "display/xy_graph.h"
#include "display_fixtures.h"

namespace sondrix {
namespace {

namespace p = panels;
using test::Line;

// The values of trace `trace` at second `k` of a run: slow waves around
// 0.2 and 0.3 with a little jitter, a jump to 1.0 from 60 to 120 s.
double Value(int trace, int k) {
  const double base = (trace == 0 ? 0.2 : 0.3) + 0.01 * std::sin(k / 50.0) + 0.0005 * std::sin(k * 1.7);
  return k >= 60 && k < 120 ? base + 0.8 : base;
}

class FollowTest : public test::DisplayTest {
 protected:
  const platform::HeadlessControl& Control(int control) { return *ui.Control(main, control); }
  // Line k of the run: a line a second (or `ms` apart), depth 0.1 m a line.
  SourceLine RunLine(int k, int traces = 2, std::int64_t ms = 1000) {
    std::vector<double> values;
    for (int i = 0; i < traces; ++i) values.push_back(Value(i, k));
    return Line(values, static_cast<std::int32_t>(ms * k), 15.0 - 0.01 * k, 0.1 * k);
  }
  void Run(int from, int to, int traces = 2, std::int64_t ms = 1000) {
    for (int k = from; k < to; ++k) ASSERT_EQ(session.Publish(RunLine(k, traces, ms)), status::kOk);
  }
  bool FollowDimmed() { return Control(p::kMainFollow).dimmed; }
  XYGraph& xy() { return static_cast<XYGraph&>(*display->graph(graph_type::kXY)); }
  Strip& strip() { return static_cast<Strip&>(*display->graph(graph_type::kStrip)); }
  void SetFollow(int type, FollowSettings follow) { display->graph(type)->set_follow(follow); }
};

// Twenty minutes of lines a second: after every line the time axis shows
// the last five minutes with the newest line near its end, and the value
// axis holds every value shown, near enough to them to tell them apart.
TEST_F(FollowTest, TheXYGraphShowsTheLastFiveMinutesAndItsValues) {
  AttachTraces(2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  int valueChanges = 0;
  double lastXMin = 0.0, lastXMax = 0.0;
  for (int k = 0; k < 1200; ++k) {
    ASSERT_EQ(session.Publish(RunLine(k)), status::kOk);
    const platform::HeadlessControl& graph = Control(p::kMainXYGraph);
    const double now = k / 60.0;
    ASSERT_NEAR(graph.yMax - graph.yMin, 5.0, 1e-9) << k;
    ASSERT_LE(graph.yMin, now) << k;
    ASSERT_LT(now, graph.yMax) << k;
    if (now >= 5.0) {
      ASSERT_LE(graph.yMax - now, 0.25 + 1e-9) << k;
    }
    // The values of the lines on the time axis shown.
    double lo = 1e9, hi = -1e9;
    for (int j = 0; j <= k; ++j) {
      if (j / 60.0 < graph.yMin - 1e-9) continue;
      lo = std::min({lo, Value(0, j), Value(1, j)});
      hi = std::max({hi, Value(0, j), Value(1, j)});
    }
    ASSERT_LE(graph.xMin, lo) << k;
    ASSERT_GE(graph.xMax, hi) << k;
    if (k > 480) {
      // Fitted to them, margin and hysteresis included.
      ASSERT_LT(graph.xMax - graph.xMin, 4.0 * (hi - lo)) << k;
    }
    if (graph.xMin != lastXMin || graph.xMax != lastXMax) ++valueChanges;
    lastXMin = graph.xMin;
    lastXMax = graph.xMax;
  }
  // Not on every line's jitter: a handful of rescales in twenty minutes.
  EXPECT_LE(valueChanges, 20);
  EXPECT_EQ(xy().settings(), XYSettings{});  // following never touches the graph's own settings
  EXPECT_TRUE(FollowDimmed());
}

// The jump from 60 to 120 s grows the value axis on its first line; with a
// one-minute window it leaves the axis at 3 minutes, and the axis shrinks
// back some ten seconds later, not before.
TEST_F(FollowTest, TheValueAxisGrowsAtOnceAndShrinksAfterTheJumpLeftTheWindow) {
  AttachTraces(2);
  SetFollow(graph_type::kXY, {1, 1.0, 0, 1});
  ASSERT_EQ(display->InitPlot(), status::kOk);
  Run(0, 60);
  EXPECT_LT(Control(p::kMainXYGraph).xMax, 0.5);
  Run(60, 61);
  EXPECT_GE(Control(p::kMainXYGraph).xMax, Value(1, 60));
  Run(61, 185);
  EXPECT_GE(Control(p::kMainXYGraph).xMax, 1.0);
  Run(185, 200);
  EXPECT_LT(Control(p::kMainXYGraph).xMax, 0.5);
}

TEST_F(FollowTest, AZoomOrMoveSuspendsFollowingUntilFollowIsPressed) {
  AttachTraces(2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  Run(0, 400);
  const platform::HeadlessControl before = Control(p::kMainXYGraph);
  ZoomGraph(*display, 0.5);
  const platform::HeadlessControl& graph = Control(p::kMainXYGraph);
  // The zoom acts on what was shown, about its centre.
  EXPECT_NEAR(graph.xMax - graph.xMin, (before.xMax - before.xMin) / 2.0, 1e-12);
  EXPECT_NEAR(graph.xMax + graph.xMin, before.xMax + before.xMin, 1e-12);
  EXPECT_DOUBLE_EQ(graph.yMin, before.yMin);
  EXPECT_FALSE(FollowDimmed());
  const double xMin = graph.xMin, xMax = graph.xMax, yMin = graph.yMin, yMax = graph.yMax;
  // Five minutes later the axes are where the user left them.
  Run(400, 700);
  EXPECT_EQ(graph.xMin, xMin);
  EXPECT_EQ(graph.xMax, xMax);
  EXPECT_EQ(graph.yMin, yMin);
  EXPECT_EQ(graph.yMax, yMax);
  // Follow: the last five minutes and their values again, at once.
  display->ResumeFollow();
  EXPECT_TRUE(FollowDimmed());
  EXPECT_LE(graph.yMin, 699 / 60.0);
  EXPECT_GT(graph.yMax, 699 / 60.0);
  EXPECT_NEAR(graph.yMax - graph.yMin, 5.0, 1e-9);
  EXPECT_LE(graph.xMin, Value(0, 699));
  // A move and a trace's zoom suspend it too; a new run follows afresh.
  MoveGraph(*display, 0.25);
  EXPECT_FALSE(FollowDimmed());
  display->ResumeFollow();
  AutoZoomChannel(*display, 19);
  EXPECT_FALSE(FollowDimmed());
  Run(700, 710);
  EXPECT_EQ(graph.xMin, xy().settings().xMin);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_TRUE(FollowDimmed());
  Run(0, 2);
  EXPECT_EQ(graph.yMin, 0.0);
}

TEST_F(FollowTest, WholeRunShowsTheRunFromItsStartAndBackToTheLastMinutes) {
  AttachTraces(2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  Run(0, 1200);
  const platform::HeadlessControl& graph = Control(p::kMainXYGraph);
  auto checked = [&] { return ui.MenuBar(display->menuBar())->Find(p::kMenuWholeRun)->checked; };
  EXPECT_FALSE(checked());
  display->ToggleWholeRun();
  EXPECT_TRUE(checked());
  EXPECT_EQ(graph.yMin, 0.0);
  EXPECT_GT(graph.yMax, 1199 / 60.0);
  EXPECT_GE(1199 / 60.0 / graph.yMax, 0.75);
  // Every value of the run is on the value axis, the jump included.
  EXPECT_GE(graph.xMax, Value(1, 100));
  Run(1200, 1800);
  EXPECT_EQ(graph.yMin, 0.0);
  EXPECT_GT(graph.yMax, 1799 / 60.0);
  display->ToggleWholeRun();
  EXPECT_FALSE(checked());
  EXPECT_NEAR(graph.yMax - graph.yMin, 5.0, 1e-9);
  // Graphs without a time axis have no whole run.
  display->ShowGraph(graph_type::kTemp);
  EXPECT_TRUE(ui.MenuBar(display->menuBar())->Find(p::kMenuWholeRun)->dimmed);
  display->ToggleWholeRun();
  EXPECT_EQ(display->current()->follow().wholeRun, 0);
}

// Four lines a second: five minutes are 1200 points of the strip chart; the
// chart holds them from the history when it widens, and its Y axis the
// values of the points it shows.
TEST_F(FollowTest, TheStripChartShowsTheLastMinutesOrTheWholeRun) {
  AttachTraces(2, graph_type::kStrip);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(Control(p::kMainStripChart).pointsPerScreen, 333);
  Run(0, 600, 2, 250);
  EXPECT_EQ(Control(p::kMainStripChart).pointsPerScreen, 5 * 60 * 4);
  EXPECT_EQ(ui.StripTrace(main, p::kMainStripChart, 0).size(), 600u);
  const std::vector<double> shown = ui.StripTrace(main, p::kMainStripChart, 1);
  for (int k = 0; k < 600; ++k) ASSERT_EQ(shown[static_cast<std::size_t>(k)], Value(1, k)) << k;
  const auto [lo, hi] = std::minmax_element(shown.begin(), shown.end());
  EXPECT_LE(Control(p::kMainStripChart).yMin, *lo);
  EXPECT_GE(Control(p::kMainStripChart).yMax, *hi);
  // Whole run: every bin so far, growing with the run.
  display->ToggleWholeRun();
  EXPECT_EQ(Control(p::kMainStripChart).pointsPerScreen, 600);
  Run(600, 2000, 2, 250);
  EXPECT_EQ(Control(p::kMainStripChart).pointsPerScreen, 2000);
  // Following off: the scroll speed's width, whatever the run.
  SetFollow(graph_type::kStrip, {0, 5.0, 0, 0});
  display->ResumeFollow();
  EXPECT_EQ(Control(p::kMainStripChart).pointsPerScreen, 333);
  const double yMax = Control(p::kMainStripChart).yMax;
  Run(2000, 2100, 2, 250);
  EXPECT_EQ(Control(p::kMainStripChart).pointsPerScreen, 333);
  EXPECT_EQ(Control(p::kMainStripChart).yMax, yMax);
}

// An instrument diving to 80 m: the depth axis starts at the graph's 0 ...
// 20 m and extends as the depth grows, never shrinking.
TEST_F(FollowTest, TheDepthAxisExtendsAsTheInstrumentDives) {
  auto source = std::make_unique<test::FakeSource>(HomeFile("deep.dev"), std::vector<int>(2, kTraceA));
  source->depth = true;
  ASSERT_EQ(display->Attach(std::move(source)), status::kOk);
  display->ShowGraph(graph_type::kDepth);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  double lastMax = 0.0;
  for (int k = 0; k < 800; ++k) {
    ASSERT_EQ(session.Publish(RunLine(k)), status::kOk);
    const platform::HeadlessControl& graph = Control(p::kMainDepthGraph);
    const double depth = 0.1 * k;
    ASSERT_LE(graph.yMin, 0.0);
    ASSERT_GE(graph.yMax, depth) << k;
    ASSERT_GE(graph.yMax, lastMax) << k;
    if (depth <= 20.0) {
      ASSERT_EQ(graph.yMax, 20.0) << k;
    }
    ASSERT_TRUE(graph.yReverse);
    lastMax = graph.yMax;
  }
  EXPECT_LT(lastMax, 100.0);
  // The temperature graph extends its axis the same way: 15 C down to 7 C
  // lies within its 0 ... 35 C.
  display->ShowGraph(graph_type::kTemp);
  EXPECT_EQ(Control(p::kMainTempGraph).yMin, 0.0);
  EXPECT_EQ(Control(p::kMainTempGraph).yMax, 35.0);
}

// A graph put on show in the middle of a run, or after it, shows the lines
// before: every visible trace's values against its own Y, then the lines
// that follow continue its curves.
TEST_F(FollowTest, AGraphPutOnShowDuringARunShowsTheLinesBefore) {
  AttachTraces(3);
  display->SetVisible(1, false);
  display->SetDisplayBinsize(2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  Run(0, 100, 3);
  display->ShowGraph(graph_type::kTemp);
  auto expectCurves = [&](int bins) {
    const std::vector<platform::HeadlessPlot>& plots = Plots(p::kMainTempGraph);
    ASSERT_EQ(plots.size(), 2u);
    for (std::size_t n = 0; n < 2; ++n) {
      const int trace = n == 0 ? 0 : 2;
      ASSERT_EQ(plots[n].x.size(), static_cast<std::size_t>(bins));
      EXPECT_EQ(plots[n].attributes.color, display->TraceRGB(trace));
      for (int b = 0; b < bins; ++b) {
        // Bin b averages lines 2b and 2b + 1; its Y is the last line's.
        const double mean = (Value(trace, 2 * b) + Value(trace, 2 * b + 1)) / 2.0;
        ASSERT_DOUBLE_EQ(plots[n].x[static_cast<std::size_t>(b)], mean) << b;
        ASSERT_DOUBLE_EQ(plots[n].y[static_cast<std::size_t>(b)], 15.0 - 0.01 * (2 * b + 1)) << b;
      }
    }
  };
  expectCurves(50);
  Run(100, 120, 3);
  expectCurves(60);
  // After the run: the strip chart and the spectrum show it too.
  display->ShowGraph(graph_type::kStrip);
  EXPECT_EQ(ui.StripTrace(main, p::kMainStripChart, 1).size(), 60u);
  EXPECT_DOUBLE_EQ(ui.StripTrace(main, p::kMainStripChart, 1).back(), (Value(2, 118) + Value(2, 119)) / 2.0);
  display->ShowGraph(graph_type::kSpect);
  ASSERT_EQ(Plots(p::kMainSpectGraph).size(), 2u);
  EXPECT_DOUBLE_EQ(Plots(p::kMainSpectGraph)[0].y[1], (Value(0, 118) + Value(0, 119)) / 2.0);
  // A trace made visible after the run is drawn with its past as well.
  display->ShowGraph(graph_type::kXY);
  display->SetVisible(1, true);
  display->TracesChanged();
  ASSERT_EQ(Plots(p::kMainXYGraph).size(), 3u);
  EXPECT_EQ(Plots(p::kMainXYGraph)[1].x.size(), 60u);
  EXPECT_DOUBLE_EQ(Plots(p::kMainXYGraph)[1].y.back(), 119 / 60.0);
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

// Of 200 visible traces the strip chart charts every fourth; drawn from the
// run it charts the same ones, and the lines after go on with them.
TEST_F(FollowTest, TheStripChartDrawnFromTheRunChartsTheTracesItChartsLive) {
  AttachTraces(200);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  auto line = [](int k) {
    std::vector<double> values(200);
    for (int i = 0; i < 200; ++i) values[static_cast<std::size_t>(i)] = i + 0.001 * k;
    return Line(values, 1000 * k);
  };
  for (int k = 0; k < 10; ++k) ASSERT_EQ(session.Publish(line(k)), status::kOk);
  display->ShowGraph(graph_type::kStrip);
  for (int k = 10; k < 15; ++k) ASSERT_EQ(session.Publish(line(k)), status::kOk);
  EXPECT_EQ(Control(p::kMainStripChart).stripTraceCount, 50);
  for (const int chart : {0, 1, 49}) {
    const std::vector<double> points = ui.StripTrace(main, p::kMainStripChart, chart);
    ASSERT_EQ(points.size(), 15u);
    for (int k = 0; k < 15; ++k) EXPECT_DOUBLE_EQ(points[static_cast<std::size_t>(k)], 4 * chart + 0.001 * k) << k;
  }
  // The value axis holds the charted values.
  EXPECT_LE(Control(p::kMainStripChart).yMin, 0.0);
  EXPECT_GE(Control(p::kMainStripChart).yMax, 196.014);
}

// A graph recalled from a file keeps its pictures: the run is forgotten,
// and no graph put on show is drawn from it over them.
TEST_F(FollowTest, AfterTheRunIsForgottenAGraphPutOnShowKeepsItsPicture) {
  AttachTraces(2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  Run(0, 30);
  display->ForgetRun();
  const double x[2] = {1.0, 2.0};
  ui.PlotXY(main, p::kMainTempGraph, x, x, platform::PlotAttributes{});
  display->ShowGraph(graph_type::kTemp);
  ASSERT_EQ(Plots(p::kMainTempGraph).size(), 1u);
  EXPECT_EQ(Plots(p::kMainTempGraph)[0].x, (std::vector<double>{1.0, 2.0}));
}

TEST_F(FollowTest, TheSettingsGoThroughTheConfigurationFileAndAnOldFileStillReads) {
  AttachTraces(2, graph_type::kStrip);
  SetFollow(graph_type::kXY, {0, 2.5, 0, 1});
  SetFollow(graph_type::kStrip, {1, 10.0, 1, 0});
  SetFollow(graph_type::kDepth, {0, 5.0, 0, 0});
  SetFollow(graph_type::kSpect2, {1, 5.0, 0, 0});
  ASSERT_EQ(display->WriteConfig(), status::kOk);
  const std::string written = test::ReadTextFile(HomeFile("meter.RTC")).value_or("");

  auto reattach = [&] {
    display->Attach(nullptr);
    ASSERT_EQ(display->Attach(std::make_unique<test::FakeSource>(HomeFile("meter.dev"), std::vector<int>(2, kTraceA))),
              status::kOk);
  };
  reattach();
  EXPECT_EQ(display->graph(graph_type::kXY)->follow(), (FollowSettings{0, 2.5, 0, 1}));
  EXPECT_EQ(display->graph(graph_type::kStrip)->follow(), (FollowSettings{1, 10.0, 1, 0}));
  EXPECT_EQ(display->graph(graph_type::kTemp)->follow(), FollowSettings{});
  EXPECT_EQ(display->graph(graph_type::kDepth)->follow(), (FollowSettings{0, 5.0, 0, 0}));
  EXPECT_EQ(display->graph(graph_type::kSpect2)->follow(), (FollowSettings{1, 5.0, 0, 0}));

  // The lines a reader of the graphs' own lines knows come first, as
  // before; the follow lines come after them. Cut there, the file is an
  // old one: it reads the same graphs, and every graph follows by default.
  std::istringstream in(written);
  std::string line, old;
  int graphLines = 0;
  while (graphLines < 6 && std::getline(in, line)) {
    old += line + "\n";
    if (line.find("; graph state") != std::string::npos || line.find("; strip chart state") != std::string::npos)
      ++graphLines;
  }
  ASSERT_EQ(graphLines, 6);
  EXPECT_EQ(written.substr(old.size()),
            "0\t2.50000\t0\t1\t; follow: axis, minutes, whole run, values\n"
            "1\t10.00000\t1\t0\t; follow: axis, minutes, whole run, values\n"
            "1\t5.00000\t0\t1\t; follow: axis, minutes, whole run, values\n"
            "0\t5.00000\t0\t0\t; follow: axis, minutes, whole run, values\n"
            "1\t5.00000\t0\t1\t; follow: axis, minutes, whole run, values\n"
            "1\t5.00000\t0\t0\t; follow: axis, minutes, whole run, values\n"
            "1\t2\t; split view: panes, the graph of each\n");
  static_cast<XYGraph&>(*display->graph(graph_type::kTemp)).set_settings(XYSettings{1, 2, 3, 4, 0, 0, 1, 1, 5, 5});
  test::WriteTextFile(HomeFile("meter.RTC"), old);
  reattach();
  EXPECT_EQ(display->current()->GetType(), graph_type::kStrip);
  EXPECT_EQ(static_cast<XYGraph&>(*display->graph(graph_type::kTemp)).settings().yMax, 35.0);
  for (int type = graph_type::kXY; type <= graph_type::kSpect2; ++type)
    EXPECT_EQ(display->graph(type)->follow(), FollowSettings{}) << type;

  // A follow line that cannot be read gives its graph the defaults; the
  // lines after it are read all the same.
  std::string damaged = old + "0\t2.5\t0\t1\n1\t-3\t0\t1\n0\t7\t1\t0\n";
  test::WriteTextFile(HomeFile("meter.RTC"), damaged);
  reattach();
  EXPECT_EQ(display->graph(graph_type::kXY)->follow(), (FollowSettings{0, 2.5, 0, 1}));
  EXPECT_EQ(display->graph(graph_type::kStrip)->follow(), FollowSettings{});
  EXPECT_EQ(display->graph(graph_type::kTemp)->follow(), (FollowSettings{0, 7.0, 1, 0}));
  EXPECT_EQ(display->graph(graph_type::kDepth)->follow(), FollowSettings{});
}

TEST_F(FollowTest, TheSettingsDialogsSetFollowing) {
  AttachTraces(2);
  ui.Commit(p::kGraphSettings, p::kGsOk,
            {{p::kGsFollowAxis, 1}, {p::kGsFollowMinutes, 2.5}, {p::kGsWholeRun, 0}, {p::kGsFollowValues, 0}});
  ASSERT_EQ(display->UserConfigure(), status::kOk);
  EXPECT_EQ(xy().follow(), (FollowSettings{1, 2.5, 0, 0}));
  // Minutes that are no time window cannot be entered (the field's range
  // is 0.01 ... 10080): the field keeps its minutes.
  ui.Commit(p::kGraphSettings, p::kGsOk, {{p::kGsFollowMinutes, 0.0}, {p::kGsFollowValues, 1}});
  ASSERT_EQ(display->UserConfigure(), status::kOk);
  EXPECT_EQ(xy().follow(), (FollowSettings{1, 2.5, 0, 1}));
  ui.Commit(p::kGraphSettings, p::kGsOk, {{p::kGsWholeRun, 1}, {p::kGsFollowValues, 0}});
  ASSERT_EQ(display->UserConfigure(), status::kOk);
  EXPECT_EQ(xy().follow(), (FollowSettings{1, 2.5, 1, 0}));

  // The depth graph's axis extends; it has no minutes and no whole run.
  display->ShowGraph(graph_type::kTemp);
  ui.Then([](platform::HeadlessUi& u) {
      const int dialog = u.NewestHandle(p::kGraphSettings);
      EXPECT_EQ(u.Control(dialog, p::kGsFollowAxis)->label, "Extend the Y axis to the run's data");
      EXPECT_FALSE(u.Control(dialog, p::kGsFollowMinutes)->visible);
      EXPECT_FALSE(u.Control(dialog, p::kGsWholeRun)->visible);
    }).Commit(p::kGraphSettings, p::kGsOk, {{p::kGsFollowAxis, 0}});
  ASSERT_EQ(display->UserConfigure(), status::kOk);
  EXPECT_EQ(display->current()->follow(), (FollowSettings{0, 5.0, 0, 1}));

  // The strip chart's minutes likewise.
  display->ShowGraph(graph_type::kStrip);
  ui.Commit(p::kStripSettings, p::kSsOk, {{p::kSsFollowMinutes, -1.0}, {p::kSsFollowValues, 0}});
  ASSERT_EQ(display->UserConfigure(), status::kOk);
  EXPECT_EQ(strip().follow(), (FollowSettings{1, 5.0, 0, 0}));
  ui.Commit(p::kStripSettings, p::kSsOk, {{p::kSsFollowMinutes, 30.0}});
  ASSERT_EQ(display->UserConfigure(), status::kOk);
  EXPECT_EQ(strip().follow(), (FollowSettings{1, 30.0, 0, 0}));
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

// The history is bounded: a long run thins its older half, and the graph on
// show is drawn again from it, holding the whole run in fewer points.
TEST_F(FollowTest, ALongRunKeepsTheWholeRunInABoundedHistory) {
  AttachTraces(2);
  SetFollow(graph_type::kXY, {1, 5.0, 1, 1});
  ASSERT_EQ(display->InitPlot(), status::kOk);
  const int lines = static_cast<int>(RunHistory::kDefaultMaxEntries) + 20000;
  for (int k = 0; k < lines; ++k) {
    ASSERT_EQ(session.Publish(Line({Value(0, k % 1000), Value(1, k % 1000)}, 1000 * k)), status::kOk) << k;
  }
  EXPECT_LE(display->history().size(), RunHistory::kDefaultMaxEntries);
  EXPECT_EQ(display->history().added(), static_cast<std::size_t>(lines));
  const std::vector<platform::HeadlessPlot>& plots = Plots(p::kMainXYGraph);
  ASSERT_EQ(plots.size(), 2u);
  // Drawn again at the last thinning, then continued line by line.
  EXPECT_LE(plots[0].x.size(), RunHistory::kDefaultMaxEntries + RunHistory::kDefaultMaxEntries / 4 + 1);
  EXPECT_EQ(plots[0].y.front(), 0.0);
}

}  // namespace
}  // namespace sondrix
