// SPDX-License-Identifier: GPL-3.0-or-later
// The strip chart: its state line and dialog, points per screen, display bin
// averaging, the 64-trace limit of the chart and its note.
#include "display/strip.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "display_fixtures.h"

namespace sondrix {
namespace {

namespace p = panels;
using test::Line;

class StripTest : public test::DisplayTest {
 protected:
  Strip& strip() { return static_cast<Strip&>(*display->graph(graph_type::kStrip)); }
  const platform::HeadlessControl& chart() { return *ui.Control(main, p::kMainStripChart); }
};

TEST_F(StripTest, DefaultsWriteTheirStateLineAndShow333PointsPerScreen) {
  std::FILE* file = std::tmpfile();
  ASSERT_EQ(strip().WriteConfig(file), status::kOk);
  std::rewind(file);
  char buffer[128] = {};
  std::fgets(buffer, sizeof buffer, file);
  std::fclose(file);
  EXPECT_STREQ(buffer, "0.00000\t7.00000\t30\t; strip chart state\n");
  ASSERT_EQ(strip().SetConfig(0), status::kOk);
  EXPECT_EQ(chart().pointsPerScreen, 333);
  EXPECT_EQ(chart().yMax, 7.0);
}

TEST_F(StripTest, AStateLineWithAnEmptyRangeReadsBackAsTheDefaults) {
  strip().set_settings(StripSettings{1, 2, 5});
  std::FILE* file = std::tmpfile();
  std::fputs("3.0 3.0 10 ; strip chart state\n-1 1 3\n", file);
  std::rewind(file);
  EXPECT_EQ(strip().ReadConfig(file), status::kOk);
  EXPECT_EQ(strip().settings(), StripSettings{});
  EXPECT_EQ(strip().ReadConfig(file), status::kOk);
  EXPECT_EQ(strip().settings(), (StripSettings{-1, 1, 3}));
  std::fclose(file);
}

TEST_F(StripTest, DisplayBinSizeTwoAppendsAPointOnEverySecondLine) {
  AttachTraces(3, graph_type::kStrip);
  display->SetDisplayBinsize(2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(chart().stripTraceCount, 3);
  for (int i = 0; i < 5; ++i) session.Publish(Line({1.0 * i, 2.0 * i, 3.0 * i}, 100 * i));
  EXPECT_EQ(ui.StripTrace(main, p::kMainStripChart, 0), (std::vector<double>{0.5, 2.5}));
  EXPECT_EQ(ui.StripTrace(main, p::kMainStripChart, 2), (std::vector<double>{1.5, 7.5}));
  // Each chart trace has its trace's colour.
  EXPECT_EQ(chart().traces.at(1).color,
            display->TraceRGB(1));
}

TEST_F(StripTest, OfMoreThan64VisibleTracesEverySecondIsChartedAndSaidSo) {
  AttachTraces(70, graph_type::kStrip);
  display->SetVisible(0, false);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(chart().stripTraceCount, 35);
  std::vector<double> values(70);
  for (int i = 0; i < 70; ++i) values[static_cast<std::size_t>(i)] = i;
  ASSERT_EQ(session.Publish(Line(values)), status::kOk);
  // Chart trace k is visible trace 2k: traces 1, 3, ... 69.
  EXPECT_EQ(ui.StripTrace(main, p::kMainStripChart, 0), std::vector<double>{1});
  EXPECT_EQ(ui.StripTrace(main, p::kMainStripChart, 34), std::vector<double>{69});
  EXPECT_EQ(chart().traces.at(34).color,
            display->TraceRGB(69));
  EXPECT_EQ(chart().xName, "Charting 35 of 69 traces, every 2nd: a1 \u2026 a69");
  // Back to 64: every one charted, and the note gone.
  for (int i = 0; i < 70; ++i) display->SetVisible(i, i < 64);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(chart().stripTraceCount, 64);
  EXPECT_EQ(chart().xName, "");
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

TEST_F(StripTest, TheDialogStaysOpenUntilTheRangeIsValid) {
  ui.Commit(p::kStripSettings, p::kSsOk, {{p::kSsYMin, 2.0}, {p::kSsYMax, 2.0}})
      .Then([](platform::HeadlessUi& h) { EXPECT_NE(h.NewestHandle(p::kStripSettings), 0); })
      .Commit(p::kStripSettings, p::kSsOk, {{p::kSsYMin, -0.5}, {p::kSsScrollSpeed, 10}});
  ASSERT_EQ(strip().UserConfigure(), status::kOk);
  ASSERT_EQ(ui.popups().size(), 1u);
  EXPECT_EQ(ui.popups()[0].text, "Ymax is not greater than\nYmin.");
  EXPECT_EQ(strip().settings(), (StripSettings{-0.5, 2.0, 10}));
  EXPECT_EQ(Strip::PointsPerScreen(10), 1000);
}

TEST_F(StripTest, CancelKeepsTheSettings) {
  ui.Commit(p::kStripSettings, p::kSsOk, {{p::kSsYMin, 9.0}})
      .Commit(p::kStripSettings, p::kSsCancel);
  EXPECT_EQ(strip().UserConfigure(), status::kCancelled);
  EXPECT_EQ(strip().settings(), StripSettings{});
}

TEST_F(StripTest, ZoomAndMoveActOnTheValueAxis) {
  strip().XZoom(0.5);
  EXPECT_EQ(strip().settings(), (StripSettings{1.75, 5.25, 30}));
  strip().XMove(0.5);
  EXPECT_EQ(strip().settings(), (StripSettings{3.5, 7.0, 30}));
  EXPECT_EQ(chart().yMin, 3.5);
  strip().XBounds(-1, 1);
  EXPECT_EQ(chart().yMax, 1.0);
}

}  // namespace
}  // namespace sondrix
