// SPDX-License-Identifier: GPL-3.0-or-later
// The value axis of every graph: XBounds, XZoom and XMove act on the X axis
// of the XY and profile graphs and on the Y axis of the strip chart and the
// spectrum graphs, set it by hand and lock the other axis where the
// control has one to lock.
#include <gtest/gtest.h>

#include "display/graph.h"
#include "display_fixtures.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::AxisMode;

struct ValueAxisCase {
  int type;
  int control;
  bool valueIsY;
};

constexpr ValueAxisCase kCases[] = {
    {graph_type::kXY, p::kMainXYGraph, false},       {graph_type::kStrip, p::kMainStripChart, true},
    {graph_type::kTemp, p::kMainTempGraph, false},   {graph_type::kDepth, p::kMainDepthGraph, false},
    {graph_type::kSpect, p::kMainSpectGraph, true},  {graph_type::kSpect2, p::kMainSpect2Graph, true},
};

class ValueAxisTest : public test::DisplayTest {
 protected:
  // The value axis the control shows, and the other axis's mode.
  void Expect(const ValueAxisCase& c, double lo, double hi, AxisMode otherMode) {
    const platform::HeadlessControl* control = ui.Control(main, c.control);
    ASSERT_NE(control, nullptr);
    EXPECT_DOUBLE_EQ(c.valueIsY ? control->yMin : control->xMin, lo);
    EXPECT_DOUBLE_EQ(c.valueIsY ? control->yMax : control->xMax, hi);
    EXPECT_EQ(c.valueIsY ? control->yMode : control->xMode, AxisMode::Manual);
    EXPECT_EQ(c.valueIsY ? control->xMode : control->yMode, otherMode);
  }
};

TEST_F(ValueAxisTest, EveryGraphBoundsZoomsAndMovesItsValueAxis) {
  for (const ValueAxisCase& c : kCases) {
    SCOPED_TRACE(c.type);
    Graph& graph = *display->graph(c.type);
    // A strip chart's X axis is its scrolling time: never set.
    const platform::HeadlessControl* control = ui.Control(main, c.control);
    ASSERT_NE(control, nullptr);
    const AxisMode other = c.type == graph_type::kStrip ? control->xMode : AxisMode::Lock;

    graph.XBounds(-2.0, 6.0);
    Expect(c, -2.0, 6.0, other);
    graph.XZoom(0.5);
    Expect(c, 0.0, 4.0, other);
    graph.XZoom(5000.0);  // outside the zoom range: nothing changes
    Expect(c, 0.0, 4.0, other);
    graph.XMove(0.25);
    Expect(c, 1.0, 5.0, other);

    // The settings follow, so that the range is written and restored.
    graph.SetConfig(1);
    Expect(c, 1.0, 5.0, c.type == graph_type::kStrip ? other : AxisMode::Manual);
  }
}

TEST_F(ValueAxisTest, TheBaseGraphHasNoValueAxis) {
  Graph plain;
  plain.XBounds(0.0, 1.0);
  plain.XZoom(0.5);
  plain.XMove(0.5);
  EXPECT_EQ(plain.GetType(), graph_type::kGraph);
}

}  // namespace
}  // namespace sondrix
