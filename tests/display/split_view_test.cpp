// SPDX-License-Identifier: GPL-3.0-or-later
// The split view on the headless user interface: each pane of two or four
// draws the run as the single view draws it (the points every curve gives
// the user interface, the strip chart's points and the axes shown, for
// every graph kind), graphs not on show are given nothing, a pane's kind
// changes places with the pane that shows it, and the view goes through
// the display configuration file, an old file reading as the single view.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "display/display_fixtures.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

namespace p = panels;

// What a graph control shows: its plots' points, a strip chart's points,
// the axes' ranges.
struct Drawing {
  std::vector<platform::PlotState> plots;
  std::vector<double> strip;
  double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
  bool operator==(const Drawing& o) const {
    if (plots.size() != o.plots.size() || strip != o.strip) return false;
    for (std::size_t k = 0; k < plots.size(); ++k) {
      if (plots[k].x != o.plots[k].x || plots[k].y != o.plots[k].y) return false;
    }
    return xMin == o.xMin && xMax == o.xMax && yMin == o.yMin && yMax == o.yMax;
  }
};

class SplitViewTest : public test::DisplayTest {
 protected:
  void AttachDepthMeter() {
    auto source = test::NineWavelengthSource(HomeFile("meter.dev"));
    source->depth = true;
    ASSERT_EQ(display->Attach(std::move(source)), status::kOk);
  }
  // Three minutes of a cast: a line a second, values that change with depth.
  void Cast() {
    ASSERT_EQ(display->InitPlot(), status::kOk);
    for (int k = 0; k < 180; ++k) {
      std::vector<double> values;
      for (int i = 0; i < 18; ++i) values.push_back((i < 9 ? 0.1 : 0.4) + 0.02 * i + 0.1 * std::sin(k / 20.0 + i));
      ASSERT_EQ(session.Publish(test::Line(values, 1000LL * k, 15.0 - 0.02 * k, 0.25 * k)), status::kOk);
    }
  }
  Drawing Drawn(int type) {
    const platform::HeadlessControl& c = *ui.Control(main, GraphKindOfType(type)->control);
    return {c.Plots(), c.Points(), c.xMin, c.xMax, c.yMin, c.yMax};
  }
  std::vector<int> PaneTypes() {
    std::vector<int> types;
    for (int k = 0; k < display->paneCount(); ++k) types.push_back(display->pane(k)->GetType());
    return types;
  }
  void ShowPanes(const std::vector<int>& types) {
    display->ShowGraph(types[0]);
    display->SetPaneCount(static_cast<int>(types.size()));
    for (std::size_t k = 1; k < types.size(); ++k) display->SetPaneKind(static_cast<int>(k), types[k]);
    ASSERT_EQ(PaneTypes(), types);
  }
};

// Every kind, drawn in a pane of a split view and alone, the same run.
TEST_F(SplitViewTest, EachPaneDrawsTheRunAsTheSingleViewDoes) {
  const std::vector<std::vector<int>> views = {
      {graph_type::kSpect2, graph_type::kXY, graph_type::kDepth, graph_type::kStrip},
      {graph_type::kSpect, graph_type::kTemp}};
  for (const std::vector<int>& view : views) {
    AttachDepthMeter();
    ShowPanes(view);
    Cast();
    std::vector<Drawing> split;
    for (const int type : view) split.push_back(Drawn(type));
    // A graph not on show was given nothing during the run.
    for (const GraphKind& kind : GraphKinds()) {
      if (std::find(view.begin(), view.end(), kind.type) != view.end()) continue;
      EXPECT_TRUE(Drawn(kind.type).plots.empty() && Drawn(kind.type).strip.empty()) << kind.className;
    }
    for (std::size_t k = 0; k < view.size(); ++k) {
      display->Attach(nullptr);
      AttachDepthMeter();
      display->SetPaneCount(1);
      display->ShowGraph(view[k]);
      Cast();
      const Drawing single = Drawn(view[k]);
      EXPECT_FALSE(single.plots.empty() && single.strip.empty()) << GraphKindOfType(view[k])->className;
      EXPECT_TRUE(split[k] == single) << GraphKindOfType(view[k])->className << " in pane " << k;
    }
    display->Attach(nullptr);
  }
}

// Panes added take kinds not on show; a kind on show elsewhere swaps places.
TEST_F(SplitViewTest, PanesTakeKindsOfTheirOwnAndSwapPlaces) {
  AttachTraces(4, graph_type::kSpect2);
  display->SetPaneCount(4);  // no depth: never the depth graph
  EXPECT_EQ(PaneTypes(), (std::vector<int>{graph_type::kSpect2, graph_type::kXY, graph_type::kStrip, graph_type::kTemp}));
  EXPECT_TRUE(ui.MenuBar(display->menuBar())->Find(p::kMenuFourGraphs)->checked);
  display->SetPaneKind(2, graph_type::kSpect2);
  EXPECT_EQ(PaneTypes(), (std::vector<int>{graph_type::kStrip, graph_type::kXY, graph_type::kSpect2, graph_type::kTemp}));
  EXPECT_EQ(display->current(), display->graph(graph_type::kStrip));
  display->SetPaneCount(2);
  for (const int control : {p::kMainSpect2Graph, p::kMainTempGraph, p::kMainPaneKind1 + 2}) EXPECT_FALSE(Shown(control));
  platform::CtrlValue kind = 0;
  ASSERT_EQ(ui.GetCtrlVal(main, p::kMainPaneKind1 + 1, kind), 0);
  EXPECT_EQ(std::get<int>(kind), graph_type::kXY);
}

TEST_F(SplitViewTest, TheViewGoesThroughTheConfigurationFileAndAnOldFileIsTheSingleView) {
  AttachDepthMeter();
  ShowPanes({graph_type::kSpect2, graph_type::kStrip, graph_type::kDepth, graph_type::kXY});
  ASSERT_EQ(display->WriteConfig(), status::kOk);
  const std::string written = test::ReadTextFile(HomeFile("meter.RTC")).value_or("");
  EXPECT_NE(written.find("\n4\t6\t2\t4\t1\t; split view"), std::string::npos) << written;

  auto reattach = [&](bool depth) {
    display->Attach(nullptr);
    display->SetPaneCount(1);
    auto source = test::NineWavelengthSource(HomeFile("meter.dev"));
    source->depth = depth;
    ASSERT_EQ(display->Attach(std::move(source)), status::kOk);
  };
  reattach(true);
  EXPECT_EQ(PaneTypes(), (std::vector<int>{graph_type::kSpect2, graph_type::kStrip, graph_type::kDepth, graph_type::kXY}));
  for (const int type : PaneTypes()) EXPECT_TRUE(Shown(GraphKindOfType(type)->control));
  // A source without depth: its pane takes a kind not on show.
  reattach(false);
  EXPECT_EQ(PaneTypes(), (std::vector<int>{graph_type::kSpect2, graph_type::kStrip, graph_type::kTemp, graph_type::kXY}));

  // The file without the split view's line (written before it): one graph.
  const std::size_t cut = written.find("\n4\t6\t2");
  test::WriteTextFile(HomeFile("meter.RTC"), written.substr(0, cut + 1));
  display->SetPaneCount(2);
  reattach(true);
  EXPECT_EQ(PaneTypes(), (std::vector<int>{graph_type::kSpect2}));
  EXPECT_FALSE(Shown(p::kMainStripChart));

  // Lines that are no split view read as the single view.
  for (const char* line : {"3\t6\t2\t1\t; x", "2\t6\t6\t; x", "2\t1\t6\t; x", "2\t6\t9\t; x", "2\t6\t1x"})
    EXPECT_TRUE(ParsePanesLine(line, graph_type::kSpect2).empty()) << line;
}

}  // namespace
}  // namespace sondrix
