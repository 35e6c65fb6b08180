// SPDX-License-Identifier: GPL-3.0-or-later
// What an exported picture of each graph carries: the meter, its serial
// number and the run's start as the title, a legend of the traces the graph
// draws, and axes named with their units. Checked against the source's own
// headings and colours and the units of the quantities drawn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/utils.h"
#include "display/spect_graph.h"

#include "display_fixtures.h"

namespace sondrix {
namespace {

using platform::GraphLegendEntry;
using platform::GraphPicture;

class PictureTest : public test::DisplayTest {
 protected:
  // What the legend should list: each visible trace's heading and colour,
  // read from the source rather than from the display; with `bars`, the
  // absorption traces' swatches hollow as their bars.
  static std::vector<GraphLegendEntry> Expected(const test::FakeSource& source, const std::vector<int>& visible,
                                                bool bars) {
    std::vector<GraphLegendEntry> legend;
    for (int i : visible) {
      const std::string& heading = source.headings[static_cast<std::size_t>(i)];
      legend.push_back({heading, static_cast<int>(VantorColorToRGB(source.colors[static_cast<std::size_t>(i)])),
                        bars && heading[0] == 'a'});
    }
    return legend;
  }
};

TEST_F(PictureTest, EveryGraphsPictureHasTitleLegendAndUnits) {
  auto owned = test::NineWavelengthSource(HomeFile("nerit.dev"));
  test::FakeSource* source = owned.get();
  ASSERT_EQ(display->Attach(std::move(owned)), status::kOk);
  // Before a run the title has no run start.
  EXPECT_EQ(display->Picture().title, "Test meter   Serial 0400012D");
  for (int i : {2, 5, 11}) display->SetVisible(i, false);
  std::vector<int> visible;
  for (int i = 0; i < 18; ++i) {
    if (i != 2 && i != 5 && i != 11) visible.push_back(i);
  }
  ASSERT_EQ(display->InitPlot(), status::kOk);

  struct Case {
    int type;
    const char* x;  // the X axis caption's unit, or "" for the graph's own
    const char* y;
  };
  const Case cases[] = {
      {graph_type::kXY, "(1/m)", ""},
      {graph_type::kStrip, "s across the chart", "(1/m)"},
      {graph_type::kTemp, "(1/m)", "(\u00B0C)"},
      {graph_type::kSpect, "", "(1/m)"},
      {graph_type::kSpect2, "", "(1/m)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    display->ShowGraph(c.type);
    const GraphPicture picture = display->Picture();
    EXPECT_EQ(picture.title, "Test meter   Serial 0400012D   Run started 2024-03-05 14:07:09 local");
    EXPECT_NE(picture.xName.find(c.x), std::string::npos) << picture.xName;
    EXPECT_NE(picture.yName.find(c.y), std::string::npos) << picture.yName;
    if (c.type == graph_type::kSpect2) {
      EXPECT_EQ(picture.legend, (std::vector<GraphLegendEntry>{{"Absorption (A)", kAbsorptionRGB},
                                                               {"Attenuation (C)", kAttenuationRGB}}));
    } else {
      EXPECT_EQ(picture.legend, Expected(*source, visible, c.type == graph_type::kSpect));
    }
    EXPECT_EQ(picture.xName.empty() || picture.yName.empty(), c.x[0] == '\0' || c.y[0] == '\0');
  }
  // The graph's own captions fill in what the picture leaves to them: the
  // headless backend records what the Qt one would draw.
  display->ShowGraph(graph_type::kXY);
  ASSERT_EQ(ui.ExportGraphImage(main, panels::kMainXYGraph, HomeFile("xy.png"), display->Picture()), 0);
  const platform::PrintRecord& job = ui.printJobs().back();
  ASSERT_TRUE(job.picture.has_value());
  EXPECT_EQ(job.picture->xName, "Absorption, attenuation (1/m)");
  EXPECT_EQ(job.picture->yName, "Elapsed time (minutes)");
  EXPECT_EQ(job.path, HomeFile("xy.png"));
}

// The strip chart's width in time follows the scroll speed and the bin
// sizes: 333 points of 4 x 3 samples at 6 Hz span 666 s.
TEST_F(PictureTest, TheStripChartsTimeAxisTellsTheTimeItSpans) {
  test::FakeSource* source = AttachTraces(2, graph_type::kStrip);
  display->SetDisplayBinsize(4);
  ASSERT_EQ(source->SetBinsize(3), status::kOk);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(display->Picture().xName, "Time (11.1 min across the chart, newest at the right)");
  display->SetDisplayBinsize(1);
  ASSERT_EQ(source->SetBinsize(1), status::kOk);
  EXPECT_EQ(display->Picture().xName, "Time (56 s across the chart, newest at the right)");
  // Only absorption traces: the value axis says so.
  EXPECT_EQ(display->Picture().yName, "Absorption (1/m)");
}

// Two hundred traces make no legend one can read: forty lines, the last
// telling how many more traces the graph draws.
TEST_F(PictureTest, ALongLegendEndsWithHowManyMore) {
  std::vector<int> map(100, kTraceC);
  map.insert(map.end(), 100, kTraceA);
  auto owned = std::make_unique<test::FakeSource>(HomeFile("benth.dev"), map);
  test::FakeSource* source = owned.get();
  ASSERT_EQ(display->Attach(std::move(owned)), status::kOk);
  display->ShowGraph(graph_type::kSpect);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  const GraphPicture picture = display->Picture();
  ASSERT_EQ(picture.legend.size(), static_cast<std::size_t>(kLegendEntries));
  EXPECT_EQ(picture.legend[0].name, source->headings[0]);
  EXPECT_EQ(picture.legend.back(), (GraphLegendEntry{"and 161 more traces", -1}));
  EXPECT_EQ(picture.yName, "Absorption, attenuation (1/m)");
  // Without a source there is nothing to tell.
  display->Attach(nullptr);
  EXPECT_EQ(display->Picture(), GraphPicture{});
}

}  // namespace
}  // namespace sondrix
