// SPDX-License-Identifier: GPL-3.0-or-later
// The headless backend's menus, graphs, strip charts, panel state files and
// print jobs: what the display classes and the application rely on.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "common/panels.h"
#include "platform/headless/headless_ui.h"
#include "platform/panel_state.h"
#include "support/fixtures.h"

namespace sondrix::platform {
namespace {

namespace p = panels;

class HeadlessMenuTest : public test::HeadlessTest {
 protected:
  int main = ui.LoadPanel(0, p::kMain);
  int bar = ui.GetPanelMenuBar(main);

  int Flag(int item, Attr attr) {
    CtrlValue value;
    EXPECT_EQ(ui.GetMenuBarAttribute(bar, item, attr, value), 0);
    return std::get<int>(value);
  }
};

TEST_F(HeadlessMenuTest, TheMainPanelComesWithItsMenuBar) {
  ASSERT_GT(bar, 0);
  EXPECT_NE(bar, main);
  EXPECT_EQ(ui.GetPanelMenuBar(ui.LoadPanel(0, p::kWait)), 0);
  CtrlValue label;
  ASSERT_EQ(ui.GetMenuBarAttribute(bar, p::kMenuSpect2Graph, Attr::LabelText, label), 0);
  EXPECT_EQ(std::get<std::string>(label), "Spectrum &Curves (A and C)");  // "&": the letter for Alt
}

TEST_F(HeadlessMenuTest, ItemsAreDimmedCheckedAndRenamed) {
  ui.SetMenuBarAttribute(bar, p::kMenuSaveData, Attr::Dimmed, 1);
  ui.SetMenuBarAttribute(bar, p::kMenuXYGraph, Attr::Checked, 1);
  ui.SetMenuBarAttribute(bar, p::kMenuAbout, Attr::LabelText, std::string("About..."));
  EXPECT_EQ(Flag(p::kMenuSaveData, Attr::Dimmed), 1);
  EXPECT_EQ(Flag(p::kMenuXYGraph, Attr::Checked), 1);
  EXPECT_EQ(Flag(p::kMenuStripChart, Attr::Checked), 0);

  // Item -1 dims every item, and un-dims them again.
  ui.SetMenuBarAttribute(bar, -1, Attr::Dimmed, 1);
  EXPECT_EQ(Flag(p::kMenuExit, Attr::Dimmed), 1);
  ui.SetMenuBarAttribute(bar, -1, Attr::Dimmed, 0);
  EXPECT_EQ(Flag(p::kMenuSaveData, Attr::Dimmed), 0);
  EXPECT_EQ(ui.SetMenuBarAttribute(bar, 999, Attr::Dimmed, 1), headless::kBadArgument);
}

TEST_F(HeadlessMenuTest, AnItemInsertedBeforeTheSeparatorGetsAFreshId) {
  int id = ui.InsertMenuItem(bar, p::kMenuFile, p::kMenuFileSep2, "Diagnostics...", "");
  ASSERT_GT(id, p::kMenuExportGraph);
  const HeadlessMenuBar* menus = ui.MenuBar(bar);
  std::vector<int> file;
  for (const HeadlessMenuItem& item : menus->entries) {
    if (item.menu == p::kMenuFile) file.push_back(item.id);
  }
  EXPECT_EQ(file, (std::vector<int>{p::kMenuNew, p::kMenuOpenDevice, p::kMenuOpenDataFile,
                                    p::kMenuSaveData, p::kMenuExportData, p::kMenuProcess, p::kMenuExportProfiles, p::kMenuMarkEvent, p::kMenuFileSep1, p::kMenuEditConfig, id,
                                    p::kMenuFileSep2, p::kMenuExit}));
  EXPECT_EQ(ui.InsertMenuItem(bar, p::kMenuExit, -1, "x", ""), headless::kBadArgument);
  EXPECT_EQ(ui.InsertMenuItem(bar, p::kMenuFile, p::kMenuAbout, "x", ""), headless::kBadArgument);
}

TEST_F(HeadlessMenuTest, MenuChoicesAndShortcutKeysBecomeEvents) {
  ui.SetMenuBarAttribute(bar, p::kMenuSaveData, Attr::Dimmed, 1);
  ui.MenuChoice(p::kMain, p::kMenuSaveData)      // dimmed: refused
      .MenuChoice(p::kMain, p::kMenuXYGraph)
      .Key(p::kMain, "ctrl+o")                   // the start/stop button's key
      .Key(p::kMain, "Ctrl+Q")                   // the exit item's key
      .Key(p::kMain, "F9");                      // nobody's key: refused

  UserEvent event = ui.GetUserEvent(false);
  EXPECT_EQ(event.type, EventType::Menu);
  EXPECT_EQ(event.panel, bar);
  EXPECT_EQ(event.control, p::kMenuXYGraph);

  event = ui.GetUserEvent(false);
  EXPECT_EQ(event.type, EventType::Commit);
  EXPECT_EQ(event.panel, main);
  EXPECT_EQ(event.control, p::kMainStartStop);

  event = ui.GetUserEvent(false);
  EXPECT_EQ(event.type, EventType::Menu);
  EXPECT_EQ(event.control, p::kMenuExit);

  EXPECT_EQ(ui.GetUserEvent(false).type, EventType::None);
  EXPECT_EQ(ui.refusedEvents(), 2);

  // A key that the button no longer has does nothing.
  ui.SetCtrlAttribute(main, p::kMainStartStop, Attr::Shortcut, std::string("F2"));
  ui.Key(p::kMain, "Ctrl+O").Key(p::kMain, "F2");
  EXPECT_EQ(ui.GetUserEvent(false).control, p::kMainStartStop);
  EXPECT_EQ(ui.refusedEvents(), 3);
}

// A curve of points in memory (a graph reads its points, keys and values).
struct Points : Curve {
  std::vector<double> keys, values;
  std::size_t size() const override { return keys.size(); }
  double Key(std::size_t i) const override { return keys[i]; }
  double Value(std::size_t i) const override { return values[i]; }
  bool KeysRise() const override { return true; }
  std::uint64_t Revision() const override { return 0; }
  Extremes ValueExtremes(std::size_t, std::size_t) const override { return {}; }
  std::size_t LowerBound(double, std::size_t) const override { return 0; }
  const void* KeyColumn() const override { return this; }
  void FindEdges(const PixelMap&, int, int, CellEdges&) const override {}
  void Spans(const CellEdges&, const PixelMap&, int, std::vector<Span>&) const override {}
};

class HeadlessGraphTest : public test::HeadlessTest {
 protected:
  int main = ui.LoadPanel(0, p::kMain);
  static constexpr int kGraph = p::kMainXYGraph;

  int Segment(double x0, double y0, double x1, double y1, int color = 0xFF0000) {
    const std::array<double, 2> x = {x0, x1};
    const std::array<double, 2> y = {y0, y1};
    return ui.PlotXY(main, kGraph, x, y, PlotAttributes{PlotStyle::ThinLine, PointStyle::SimpleDot,
                                                        LineStyle::Solid, 0, color});
  }
};

// A trace of a run is one curve that grows: the headless backend records
// it as the segments that drew it, the first one of no length.
TEST_F(HeadlessGraphTest, ACurveThatGrowsIsOnePlotRecordedSegmentBySegment) {
  auto reds = std::make_shared<Points>(), blues = std::make_shared<Points>();
  const auto add = [](std::shared_ptr<Points>& points, int minute, double value) {
    points->keys.push_back(minute);
    points->values.push_back(value);
  };
  const auto curve = [&](std::shared_ptr<Points>& points, int color) {
    return ui.PlotCurve(main, kGraph, points, CurveKeys::OnY,
                        PlotAttributes{PlotStyle::ThinLine, PointStyle::SimpleDot, LineStyle::Solid, 0, color});
  };
  add(reds, 0, 1);
  const int red = curve(reds, 0xFF0000);  // a zero-length first segment
  add(blues, 0, 5);
  const int blue = curve(blues, 0x0000FF);
  add(reds, 1, 2);
  ui.CurvesChanged(main, kGraph);
  EXPECT_EQ(ui.PlotCalls(main, kGraph).back().handle, red);
  add(blues, 1, 6);
  ui.CurvesChanged(main, kGraph);
  EXPECT_EQ(ui.PlotCalls(main, kGraph).back().handle, blue);
  add(reds, 2, 3);
  ui.CurvesChanged(main, kGraph);
  EXPECT_EQ(ui.PlotCalls(main, kGraph).back().x, (std::vector<double>{2, 3}));
  // Points of their own: a new plot.
  int other = Segment(7, 7, 8, 8);
  EXPECT_NE(other, red);

  const std::vector<HeadlessPlot>& plots = ui.Plots(main, kGraph);
  ASSERT_EQ(plots.size(), 3u);
  EXPECT_EQ(plots[0].x, (std::vector<double>{1, 1, 2, 3}));
  EXPECT_EQ(plots[0].y, (std::vector<double>{0, 0, 1, 2}));
  EXPECT_EQ(plots[0].attributes.color, 0xFF0000);
  EXPECT_EQ(ui.PlotCalls(main, kGraph).size(), 6u);

  ASSERT_EQ(ui.DeleteGraphPlot(main, kGraph, kAllPlots, DrawMode::Immediate), 0);
  EXPECT_TRUE(ui.Plots(main, kGraph).empty());
  // After a delete nothing grows on the graph.
  add(reds, 3, 4);
  ui.CurvesChanged(main, kGraph);
  EXPECT_TRUE(ui.Plots(main, kGraph).empty());
  EXPECT_EQ(ui.PlotCalls(main, kGraph).size(), 6u);
}

TEST_F(HeadlessGraphTest, BarsAndLongerPlotsAreNeverContinued) {
  const std::array<double, 2> x = {412, 412};
  const std::array<double, 2> y = {0, 0.5};
  const PlotAttributes bar{PlotStyle::VerticalBar, PointStyle::SolidSquare, LineStyle::Solid, 0,
                           0xFF0000};
  int first = ui.PlotXY(main, kGraph, x, y, bar);
  const std::array<double, 2> y2 = {0.5, 0.7};
  EXPECT_NE(ui.PlotXY(main, kGraph, x, y2, bar), first);
  const std::array<double, 3> x3 = {412, 440, 488};
  const std::array<double, 3> y3 = {0.5, 0.4, 0.3};
  EXPECT_EQ(ui.PlotXY(main, kGraph, x3, std::span(y3).first(2), bar), headless::kBadArgument);
  EXPECT_EQ(ui.problems().size(), 1u);
}

TEST_F(HeadlessGraphTest, AxesAreManualAutoscaledOrLocked) {
  AxisMode xm, ym;
  double x0, x1, y0, y1;
  ui.GetAxisRange(main, kGraph, xm, x0, x1, ym, y0, y1);
  EXPECT_EQ(x1, 7.0);  // the resource file's range
  EXPECT_EQ(y1, 5.0);

  Segment(0.2, 0, 0.2, 0);
  Segment(0.2, 0, 0.6, 3);
  ASSERT_EQ(ui.SetAxisRange(main, kGraph, AxisMode::Autoscale, 0, 0, AxisMode::Manual, 0, 10), 0);
  ui.GetAxisRange(main, kGraph, xm, x0, x1, ym, y0, y1);
  EXPECT_EQ(xm, AxisMode::Autoscale);
  EXPECT_DOUBLE_EQ(x0, 0.2);
  EXPECT_DOUBLE_EQ(x1, 0.6);
  EXPECT_EQ(y1, 10.0);

  // Locking keeps what autoscaling showed, whatever comes later.
  ui.SetAxisRange(main, kGraph, AxisMode::Lock, 0, 0, AxisMode::NoChange, 0, 0);
  Segment(0.6, 3, 0.9, 4);
  ui.GetAxisRange(main, kGraph, xm, x0, x1, ym, y0, y1);
  EXPECT_EQ(xm, AxisMode::Lock);
  EXPECT_DOUBLE_EQ(x1, 0.6);

  EXPECT_EQ(ui.SetAxisRange(main, kGraph, AxisMode::Manual, 3, 3, AxisMode::NoChange, 0, 0),
            headless::kBadArgument);
  EXPECT_EQ(ui.SetAxisRange(main, p::kMainStripChart, AxisMode::Manual, 0, 1, AxisMode::Manual, 0,
                            1),
            headless::kBadArgument);
  EXPECT_EQ(ui.SetAxisRange(main, p::kMainStripChart, AxisMode::NoChange, 0, 0, AxisMode::Manual,
                            -1, 1),
            0);
}

TEST_F(HeadlessGraphTest, StripChartTraceCountAndPointsPerScreen) {
  const int strip = p::kMainStripChart;
  ASSERT_EQ(ui.SetCtrlAttribute(main, strip, Attr::NumTraces, 18), 0);
  ASSERT_EQ(ui.SetCtrlAttribute(main, strip, Attr::PointsPerScreen, 333), 0);
  EXPECT_EQ(ui.SetCtrlAttribute(main, strip, Attr::NumTraces, 65), headless::kBadArgument);
  EXPECT_EQ(ui.SetTraceAttribute(main, strip, 64, Attr::TraceColor, 0), headless::kBadArgument);
  EXPECT_EQ(ui.SetTraceAttribute(main, strip, 3, Attr::TraceVisible, 0), 0);
  CtrlValue value;
  ui.GetCtrlAttribute(main, strip, Attr::PointsPerScreen, value);
  EXPECT_EQ(std::get<int>(value), 333);
  ui.GetCtrlAttribute(main, strip, Attr::NumTraces, value);
  EXPECT_EQ(std::get<int>(value), 18);
}

TEST_F(HeadlessGraphTest, PanelStateRoundTripsValuesCaptionsPlotsAndStripPoints) {
  ui.SetCtrlVal(main, p::kMainTitle, std::string("NERIT.DAT: \"9 wl\"\tx\\y"));
  ui.SetCtrlVal(main, p::kMainLabel0 + 19, 1);
  ui.SetCtrlAttribute(main, p::kMainLabel0 + 19, Attr::LabelText, std::string("a412"));
  // A trace of a run, saved as the segments that drew it.
  auto trace = std::make_shared<Points>();
  trace->keys = {0.0};
  trace->values = {0.1};
  ui.PlotCurve(main, kGraph, trace, CurveKeys::OnY, PlotAttributes{PlotStyle::ThinLine, PointStyle::SimpleDot,
                                                                   LineStyle::Solid, 0, 0xFF0000});
  trace->keys.push_back(1.0 / 3.0);
  trace->values.push_back(0.123456789012345);
  ui.CurvesChanged(main, kGraph);
  ui.SetAxisRange(main, kGraph, AxisMode::Manual, -1, 2, AxisMode::Manual, 0, 4);
  ui.SetAxisRange(main, kGraph, AxisMode::NoChange, 0, 0, AxisMode::Lock, 0, 0);
  const std::array<double, 4> strip = {1, 2, 3, 4};
  ui.SetCtrlAttribute(main, p::kMainStripChart, Attr::NumTraces, 2);
  ui.PlotStripChart(main, p::kMainStripChart, strip, 2);

  const std::string path = HomeFile("panel.gph");
  ASSERT_EQ(ui.SavePanelState(main, path, 0), 0);

  int other = ui.LoadPanel(0, p::kMain);
  ASSERT_EQ(ui.RecallPanelState(other, path, 0), 0);
  EXPECT_EQ(ui.GetCtrlText(other, p::kMainTitle), "NERIT.DAT: \"9 wl\"\tx\\y");
  EXPECT_EQ(ui.GetCtrlInt(other, p::kMainLabel0 + 19), 1);
  EXPECT_EQ(ui.Control(other, p::kMainLabel0 + 19)->label, "a412");
  const std::vector<HeadlessPlot>& plots = ui.Plots(other, kGraph);
  ASSERT_EQ(plots.size(), 1u);
  EXPECT_EQ(plots[0].x, (std::vector<double>{0.1, 0.1, 0.123456789012345}));
  EXPECT_EQ(plots[0].y[2], 1.0 / 3.0);  // every digit comes back
  EXPECT_EQ(plots[0].attributes.color, 0xFF0000);
  AxisMode xm, ym;
  double x0, x1, y0, y1;
  ui.GetAxisRange(other, kGraph, xm, x0, x1, ym, y0, y1);
  EXPECT_EQ(x0, -1.0);
  EXPECT_EQ(ym, AxisMode::Lock);
  EXPECT_EQ(y1, 4.0);
  EXPECT_EQ(ui.StripTrace(other, p::kMainStripChart, 1), (std::vector<double>{2, 4}));
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

// A strip chart's traces come back in their colours and with their
// visibility; a file written before traces kept them still reads.
TEST_F(HeadlessGraphTest, PanelStateKeepsStripChartTraceColours) {
  const int strip = p::kMainStripChart;
  const std::array<int, 3> colors = {0xC00000, 0x00A040, 0x2040FF};
  ui.SetCtrlAttribute(main, strip, Attr::NumTraces, 3);
  for (int k = 0; k < 3; ++k) ui.SetTraceAttribute(main, strip, k, Attr::TraceColor, colors[static_cast<std::size_t>(k)]);
  ui.SetTraceAttribute(main, strip, 1, Attr::TraceVisible, 0);
  const std::array<double, 6> points = {1, 2, 3, 4, 5, 6};
  ui.PlotStripChart(main, strip, points, 3);
  const std::string path = HomeFile("strip.gph");
  ASSERT_EQ(ui.SavePanelState(main, path, 0), 0);

  const int other = ui.LoadPanel(0, p::kMain);
  ASSERT_EQ(ui.RecallPanelState(other, path, 0), 0);
  const HeadlessControl* recalled = ui.Control(other, strip);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(recalled->traces.at(k).color, colors[static_cast<std::size_t>(k)]);
    EXPECT_EQ(recalled->traces.at(k).visible, k != 1);
  }
  EXPECT_EQ(ui.StripTrace(other, strip, 2), (std::vector<double>{3, 6}));

  PanelState state;
  ASSERT_EQ(ReadPanelStateFile(path, 0, state), 0);
  std::string text = FormatPanelState(state, 0);
  ASSERT_NE(text.find("trace 32 2 0x2040FF 1\n"), std::string::npos) << text;
  // Without its trace lines (an older file) the state reads, colours unsaid.
  std::string older;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at + 1);
    if (line.rfind("trace ", 0) != 0) older += line;
    at = end + 1;
  }
  test::WriteTextFile(HomeFile("older.gph"), "Sondrix panel state 1\n" + older);
  ASSERT_EQ(ReadPanelStateFile(HomeFile("older.gph"), 0, state), 0);
  for (const ControlState& control : state.controls) EXPECT_TRUE(control.stripStyles.empty());
  // A damaged trace line is a damaged state.
  test::WriteTextFile(HomeFile("bad.gph"), "Sondrix panel state 1\n" + older.substr(0, older.size() - 4) +
                                               "trace 32 0 0x1000000 1\nend\n");
  EXPECT_EQ(ReadPanelStateFile(HomeFile("bad.gph"), 0, state), ui_status::kBadStateFile);
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

TEST_F(HeadlessGraphTest, PanelStatesKeepOtherIndicesAndRefuseOtherPanels) {
  const std::string path = HomeFile("two.gph");
  ui.SetCtrlVal(main, p::kMainRate, std::string("6.0"));
  ASSERT_EQ(ui.SavePanelState(main, path, 1), 0);
  ui.SetCtrlVal(main, p::kMainRate, std::string("12.0"));
  ASSERT_EQ(ui.SavePanelState(main, path, 2), 0);

  ASSERT_EQ(ui.RecallPanelState(main, path, 1), 0);
  EXPECT_EQ(ui.GetCtrlText(main, p::kMainRate), "6.0");
  ASSERT_EQ(ui.RecallPanelState(main, path, 2), 0);
  EXPECT_EQ(ui.GetCtrlText(main, p::kMainRate), "12.0");
  EXPECT_EQ(ui.RecallPanelState(main, path, 3), ui_status::kNoSuchState);

  int wait = ui.LoadPanel(0, p::kWait);
  EXPECT_EQ(ui.RecallPanelState(wait, path, 1), ui_status::kBadStateFile);
  EXPECT_EQ(ui.RecallPanelState(main, HomeFile("missing.gph"), 0), ui_status::kFileError);
  test::WriteTextFile(HomeFile("junk.gph"), "Sondrix panel state 1\nstate 0 1 \"Main\"\nvalue 61\n");
  EXPECT_EQ(ui.RecallPanelState(main, HomeFile("junk.gph"), 0), ui_status::kBadStateFile);
  EXPECT_EQ(ui.GetCtrlText(main, p::kMainRate), "12.0");
}

TEST(PanelStateFormatTest, ADamagedPlotIsRefusedWhole) {
  test::TempDir dir;
  const std::string path = dir.File("cut.gph");
  test::WriteTextFile(path,
                      "Sondrix panel state 1\n"
                      "state 0 1 \"Main\"\n"
                      "plot 31 0 10 0 0 0xFF0000 3\n"
                      "0 0\n"
                      "1 1\n"
                      "end\n");
  PanelState state;
  EXPECT_EQ(ReadPanelStateFile(path, 0, state), ui_status::kBadStateFile);
  EXPECT_TRUE(state.controls.empty());
}

TEST_F(HeadlessGraphTest, PrintAndExportRequestsAreRecorded) {
  PrintRequest request;
  request.pdfPath = HomeFile("panel.pdf");
  EXPECT_EQ(ui.PrintPanel(main, request), 0);
  EXPECT_EQ(ui.SaveGraphImage(main, kGraph, HomeFile("graph.png")), 0);
  EXPECT_EQ(ui.SaveGraphImage(main, p::kMainTitle, HomeFile("title.png")), headless::kBadArgument);
  ASSERT_EQ(ui.printJobs().size(), 2u);
  EXPECT_EQ(ui.printJobs()[0].path, HomeFile("panel.pdf"));
  EXPECT_EQ(ui.printJobs()[1].control, kGraph);
}

}  // namespace
}  // namespace sondrix::platform
