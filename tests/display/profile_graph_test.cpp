// SPDX-License-Identifier: GPL-3.0-or-later
// The temperature and depth graphs: values against the line's temperature
// and depth.
#include "display/temp_graph.h"

#include <gtest/gtest.h>

#include "display_fixtures.h"

namespace sondrix {
namespace {

namespace p = panels;
using test::Line;

class ProfileGraphTest : public test::DisplayTest {};

TEST_F(ProfileGraphTest, FreshProfileGraphsShowTheirOwnDefaultRanges) {
  auto& temp = static_cast<XYGraph&>(*display->graph(graph_type::kTemp));
  auto& depth = static_cast<XYGraph&>(*display->graph(graph_type::kDepth));
  EXPECT_EQ(temp.settings().yMax, 35.0);
  EXPECT_EQ(depth.settings().yMax, 20.0);
  EXPECT_EQ(depth.settings().xMax, 7.0);
  depth.ConfigAxes(platform::AxisMode::Manual, platform::AxisMode::Manual);
  EXPECT_TRUE(ui.Control(main, p::kMainDepthGraph)->yReverse);
  EXPECT_EQ(ui.Control(main, p::kMainDepthGraph)->yMax, 20.0);
  EXPECT_FALSE(ui.Control(main, p::kMainTempGraph)->yReverse);
}

TEST_F(ProfileGraphTest, EachLineAddsASegmentFromThePreviousValueAndTemperature) {
  AttachTraces(2, graph_type::kTemp);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  session.Publish(Line({0.1, 0.2}, 0, 10.0));
  session.Publish(Line({0.3, 0.4}, 100, 11.5));
  const auto& calls = ui.PlotCalls(main, p::kMainTempGraph);
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[2].x, (std::vector<double>{0.1, 0.3}));
  EXPECT_EQ(calls[2].y, (std::vector<double>{10.0, 11.5}));
  EXPECT_EQ(calls[3].y, (std::vector<double>{10.0, 11.5}));
}

TEST_F(ProfileGraphTest, TheDepthGraphPlotsAgainstDepth) {
  test::FakeSource* source = AttachTraces(1);
  source->depth = true;
  display->ShowGraph(graph_type::kDepth);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  session.Publish(Line({0.1}, 0, 10.0, 2.5));
  session.Publish(Line({0.2}, 100, 10.0, 3.0));
  const auto& plots = Plots(p::kMainDepthGraph);
  ASSERT_EQ(plots.size(), 1u);
  EXPECT_EQ(plots[0].y, (std::vector<double>{2.5, 2.5, 3.0}));
  EXPECT_EQ(Text(p::kMainDepthCaption), "Depth (meters)");
}

// A graph read from the display configuration file shows its own ranges the
// first time it is put on show, not what its control held before.
TEST_F(ProfileGraphTest, AGraphShowsItsStoredRangesTheFirstTimeItIsShown) {
  test::FakeSource* source = AttachTraces(1);
  source->depth = true;
  auto& depth = static_cast<XYGraph&>(*display->graph(graph_type::kDepth));
  XYSettings s = depth.settings();
  s.yMax = 100.0;
  depth.set_settings(s);
  EXPECT_EQ(ui.Control(main, p::kMainDepthGraph)->yMax, 20.0);
  display->ShowGraph(graph_type::kDepth);
  EXPECT_EQ(ui.Control(main, p::kMainDepthGraph)->yMax, 100.0);
  EXPECT_TRUE(ui.Control(main, p::kMainDepthGraph)->yReverse);
}

}  // namespace
}  // namespace sondrix
