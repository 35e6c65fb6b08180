// SPDX-License-Identifier: GPL-3.0-or-later
// The display panel: attaching sources, the graph on show, labels and
// read-outs with their texts and refresh rules, zooming on a trace, the
// start/stop button and the display configuration file.
#include "display/display.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "display/xy_graph.h"

#include "display_fixtures.h"

namespace sondrix {
namespace {

namespace p = panels;
using test::Line;

class DisplayPanelTest : public test::DisplayTest {
 protected:
  int MenuChecked(int item) {
    platform::CtrlValue value;
    ui.GetMenuBarAttribute(display->menuBar(), item, platform::Attr::Checked, value);
    return std::get<int>(value);
  }
};

TEST_F(DisplayPanelTest, AFreshStartShowsTheSecondSpectrumGraphWithoutSource) {
  EXPECT_EQ(display->current()->GetType(), graph_type::kSpect2);
  EXPECT_EQ(Label(p::kMainMove1), "Up");
  EXPECT_EQ(Label(p::kMainMove2), "Down");
  EXPECT_EQ(Text(p::kMainTitle), "(no source)");
  EXPECT_TRUE(Shown(p::kMainSpect2Graph));
  EXPECT_FALSE(Shown(p::kMainStripChart));
  EXPECT_EQ(MenuChecked(p::kMenuSpect2Graph), 1);
  EXPECT_EQ(MenuChecked(p::kMenuStripChart), 0);
  EXPECT_EQ(Label(p::kMainStartStop), "F1 to start");
  EXPECT_TRUE(ui.IsDisplayed(main));
  EXPECT_FALSE(Shown(p::kMainAllTraces));
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

TEST_F(DisplayPanelTest, ChoosingAGraphSetsTheMoveButtonsAndTheMenuChecks) {
  display->ShowGraph(graph_type::kTemp);
  EXPECT_EQ(Label(p::kMainMove1), "Right");
  EXPECT_EQ(Label(p::kMainMove2), "Left");
  EXPECT_TRUE(Shown(p::kMainTempGraph));
  EXPECT_FALSE(Shown(p::kMainSpect2Graph));
  EXPECT_EQ(MenuChecked(p::kMenuTempGraph), 1);
  EXPECT_EQ(MenuChecked(p::kMenuSpect2Graph), 0);
  display->ShowGraph(graph_type::kStrip);
  EXPECT_EQ(Label(p::kMainMove1), "Up");
  display->ShowGraph(9);  // not a graph: the strip chart stays
  EXPECT_EQ(display->current()->GetType(), graph_type::kStrip);
}

TEST_F(DisplayPanelTest, TheStartStopButtonStates) {
  display->ShowStopButton();
  const platform::HeadlessControl* button = ui.Control(main, p::kMainStartStop);
  EXPECT_EQ(button->label, "F2 to stop");
  EXPECT_EQ(button->backColor, 0xFF0000);
  EXPECT_EQ(button->shortcut, "F2");
  EXPECT_TRUE(Shown(p::kMainStop));
  display->DisableStopButton();
  EXPECT_EQ(button->label, "^O to Open");
  EXPECT_EQ(button->backColor, 0x0088FF);
  EXPECT_EQ(button->shortcut, "Ctrl+O");
  EXPECT_FALSE(Shown(p::kMainStop));
  display->HideStopButton();
  EXPECT_EQ(button->backColor, 0x00FFFF);
  EXPECT_EQ(button->shortcut, "F1");
}

TEST_F(DisplayPanelTest, AttachingASourceShowsItsTitleDateAndTime) {
  test::FakeSource* source = AttachTraces(2);
  EXPECT_EQ(Text(p::kMainTitle), "METER.DEV: Test meter  (0400012D)");
  // The date in ISO 8601, the time labelled with its zone.
  EXPECT_EQ(Text(p::kMainDate), "2024-03-05");
  EXPECT_EQ(Text(p::kMainTime), "14:07:09 local");
  EXPECT_EQ(Text(p::kMainElapsed), "");
  EXPECT_EQ(display->visibleCount(), 2);
  auto closes = source->closes;
  display->Attach(nullptr);
  EXPECT_EQ(*closes, 1);
  EXPECT_EQ(display->source(), nullptr);
  EXPECT_EQ(Text(p::kMainTitle), "(no source)");
  EXPECT_EQ(Text(p::kMainDate), "");
}

// A line's time stamp is 64 bits: a run past 24.8 days (2^31 ms) still
// shows its elapsed time, and the XY graph still draws it at that time.
TEST_F(DisplayPanelTest, ARunLongerThanTwentyFourDaysKeepsItsElapsedTime) {
  AttachTraces(1);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  clock.Advance(1.5);
  SourceLine line = Line({0.1});
  line.time = 3000000000LL;  // 34 days, 17 hours, 20 minutes
  session.Publish(line);
  EXPECT_EQ(Text(p::kMainElapsed), "        Elapsed 833:20:00");
  EXPECT_DOUBLE_EQ(Plots(p::kMainXYGraph).back().y.back(), 3000000000.0 / 60000.0);
}

TEST_F(DisplayPanelTest, ASourceThatCannotRecordIsRefusedWithAMessage) {
  AttachTraces(1);
  auto source = std::make_unique<test::FakeSource>(HomeFile("other.dev"), std::vector<int>{kTraceA});
  source->recordable = false;
  auto closes = source->closes;
  EXPECT_EQ(display->Attach(std::move(source)), status::kCantOpenFile);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Can't open file"});
  EXPECT_EQ(display->source(), nullptr);
  EXPECT_EQ(*closes, 1);
  EXPECT_EQ(Text(p::kMainTitle), "(no source)");
}

TEST_F(DisplayPanelTest, ElapsedTimeIsShownAsHoursMinutesSeconds) {
  AttachTraces(1);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  clock.Advance(1.5);
  session.Publish(Line({0.1}, 3723000));
  EXPECT_EQ(Text(p::kMainElapsed), "        Elapsed 01:02:03");
  EXPECT_EQ(Text(p::kMainRate), "6.0");
}

// A run longer than 24 days: the record time, 64 bits in the lines, is
// not cut to 32 in the read-out nor on the XY graph's time axis.
TEST_F(DisplayPanelTest, ElapsedTimeOfARunLongerThanTwentyFourDays) {
  AttachTraces(1);
  display->ShowGraph(graph_type::kXY);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  const std::int64_t thirtyDays = 30LL * 24 * 3600 * 1000 + 5000;
  clock.Advance(1.5);
  session.Publish(Line({0.1}, thirtyDays));
  EXPECT_EQ(display->elapsedMs(), thirtyDays);
  EXPECT_EQ(Text(p::kMainElapsed), "        Elapsed 720:00:05");
  const auto& calls = ui.PlotCalls(main, p::kMainXYGraph);
  ASSERT_FALSE(calls.empty());
  EXPECT_DOUBLE_EQ(calls.back().y.back(), static_cast<double>(thirtyDays) / 60000.0);
}

TEST_F(DisplayPanelTest, ClockReadOutsWaitForASecondOfTimer) {
  AttachTraces(1);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  clock.Advance(0.5);
  session.Publish(Line({0.1}, 5000));
  EXPECT_EQ(Text(p::kMainElapsed), "");
  clock.Advance(0.5);
  session.Publish(Line({0.1}, 6000));
  EXPECT_EQ(Text(p::kMainElapsed), "        Elapsed 00:00:06");
}

TEST_F(DisplayPanelTest, ValueReadOutsRefreshAtMostEveryHalfSecondOfLineTime) {
  test::FakeSource* source = AttachTraces(2);
  source->extTemp = true;
  ASSERT_EQ(display->InitPlot(), status::kOk);
  session.Publish(Line({0.1, 0.2}, 0));
  session.Publish(Line({0.3, 0.4}, 400));
  EXPECT_EQ(Text(p::kMainValue0 + 19), "");
  session.Publish(Line({1.5, -0.25}, 500, 21.25));
  EXPECT_EQ(Text(p::kMainValue0 + 19), "  1.5000");
  EXPECT_EQ(Text(p::kMainValue0 + 18), " -0.2500");
  EXPECT_EQ(Text(p::kMainTemp), "  21.2");
  EXPECT_EQ(Text(p::kMainExtTemp), "   0.0");
  EXPECT_TRUE(Shown(p::kMainExtTempCaption));
  EXPECT_FALSE(Shown(p::kMainDepth));  // the source has no depth
  session.Publish(Line({9.0, 9.0}, 900));
  EXPECT_EQ(Text(p::kMainValue0 + 19), "  1.5000");
}

TEST_F(DisplayPanelTest, BinSizeReadOuts) {
  AttachTraces(1);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(Text(p::kMainBinsize1), "Averaging 1 sample / bin");
  EXPECT_EQ(Text(p::kMainBinsize2), "Plotting 1 bin / update");
  display->SetDisplayBinsize(2);
  display->source()->SetBinsize(4);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(Text(p::kMainBinsize1), "Averaging 4 samples / bin");
  EXPECT_EQ(Text(p::kMainBinsize2), "Plotting 2 bins / update");
}

TEST_F(DisplayPanelTest, StatusIsWrittenOnlyWhenItChanges) {
  test::FakeSource* source = AttachTraces(1);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  const std::size_t before = ui.ValueHistory(p::kMain, p::kMainStatus).size();
  source->statusWord = 0x12AB;
  session.Publish(Line({0.1}));
  session.Publish(Line({0.1}));
  EXPECT_EQ(Text(p::kMainStatus), "Status: 000012AB");
  source->statusWord = 0;
  session.Publish(Line({0.1}));
  EXPECT_EQ(Text(p::kMainStatus), "");
  EXPECT_EQ(ui.ValueHistory(p::kMain, p::kMainStatus).size(), before + 2);
}

TEST_F(DisplayPanelTest, LostSamplesAreCountedAgainstEverySampleHandedOver) {
  AttachTraces(1);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  session.Publish(Line({0.1}));
  EXPECT_EQ(Text(p::kMainLost), "");  // nothing lost: nothing written
  EXPECT_EQ(display->sampleCount(), 1);
}

TEST_F(DisplayPanelTest, TheFirstTwentyVisibleTracesGetLabelsFromSlot19Down) {
  AttachTraces(24);
  display->SetVisible(0, false);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(display->labelSlot(0), -1);
  EXPECT_EQ(display->labelSlot(1), 19);
  EXPECT_EQ(display->labelSlot(20), 0);
  EXPECT_EQ(display->labelSlot(21), -1);
  EXPECT_EQ(Label(p::kMainLabel0 + 19), "a1");
  EXPECT_EQ(ui.Control(main, p::kMainLabel0 + 19)->textColor, display->TraceRGB(1));
  EXPECT_TRUE(Shown(p::kMainLabel0 + 0));
  EXPECT_TRUE(Shown(p::kMainValue0 + 0));
  EXPECT_TRUE(Shown(p::kMainAllTraces));
}

TEST_F(DisplayPanelTest, TheSecondSpectrumGraphShowsTwoFixedLabels) {
  AttachTraces(4, graph_type::kSpect2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(Label(p::kMainLabel0 + 18), "Absorption (A)");
  EXPECT_EQ(ui.Control(main, p::kMainLabel0 + 18)->textColor, 0xFF0000);
  EXPECT_EQ(Label(p::kMainLabel0 + 19), "Attenuation (C)");
  EXPECT_EQ(ui.Control(main, p::kMainLabel0 + 19)->textColor, 0x0000FF);
  EXPECT_TRUE(Shown(p::kMainLabel0 + 19));
  EXPECT_FALSE(Shown(p::kMainLabel0 + 17));
  EXPECT_FALSE(Shown(p::kMainValue0 + 19));
}

// Before a run the read-outs belong to no graph; once a run prepared them
// they go with whichever graph is on show, as every graph shows the run.
TEST_F(DisplayPanelTest, ReadOutsOfARunGoWithTheGraphOnShow) {
  AttachTraces(2);
  display->ShowGraph(graph_type::kStrip);
  EXPECT_FALSE(Shown(p::kMainLabel0 + 19));
  display->ShowGraph(graph_type::kXY);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_TRUE(Shown(p::kMainLabel0 + 19));
  session.Publish(Line({0.125, 0.25}, 1000));
  display->ShowGraph(graph_type::kStrip);
  EXPECT_TRUE(Shown(p::kMainLabel0 + 19));
  EXPECT_EQ(Label(p::kMainLabel0 + 18), "a1");
  // The values shown before come back with the labels.
  EXPECT_EQ(Text(p::kMainValue0 + 18), "  0.2500");
  // The A and C curves label no trace; the labels come back after them.
  display->ShowGraph(graph_type::kSpect2);
  EXPECT_EQ(Label(p::kMainLabel0 + 19), "Attenuation (C)");
  EXPECT_FALSE(Shown(p::kMainValue0 + 19));
  display->ShowGraph(graph_type::kXY);
  EXPECT_EQ(Label(p::kMainLabel0 + 19), "a0");
  EXPECT_TRUE(Shown(p::kMainValue0 + 19));
  EXPECT_EQ(Text(p::kMainValue0 + 19), "  0.1250");
}

TEST_F(DisplayPanelTest, AutoZoomOnATraceWithin0_1And0_3Gives0To0_4) {
  AttachTraces(2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  display->AutoZoomChannel(19);  // no sample yet: nothing happens
  EXPECT_EQ(static_cast<XYGraph&>(*display->current()).settings().xMax, 7.0);
  session.Publish(Line({0.1, 5.0}));
  session.Publish(Line({0.3, 6.0}));
  session.Publish(Line({0.2, 5.5}));
  AutoZoomChannel(*display, 19);
  const XYSettings& s = static_cast<XYGraph&>(*display->current()).settings();
  EXPECT_NEAR(s.xMin, 0.0, 1e-12);
  EXPECT_NEAR(s.xMax, 0.4, 1e-12);
  AutoZoomChannel(*display, 5);  // no trace holds slot 5
  EXPECT_NEAR(s.xMax, 0.4, 1e-12);
  AutoZoomChannel(*display, -1);  // all traces: 0.1 ... 6.0, margin 2.95, step 5
  EXPECT_NEAR(s.xMin, -5.0, 1e-12);
  EXPECT_NEAR(s.xMax, 10.0, 1e-12);
  EXPECT_EQ(RoundToNearest(0.449, 0.05), 0.45);
}

TEST_F(DisplayPanelTest, AutoZoomAfterOnlyLostLinesDoesNothing) {
  AttachTraces(1);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  SourceLine lost = Line({1.0});
  lost.status = status::kLostLine;
  session.Publish(lost);
  display->AutoZoomChannel(19);
  EXPECT_EQ(static_cast<XYGraph&>(*display->current()).settings().xMax, 7.0);
}

TEST_F(DisplayPanelTest, ZoomAndMoveGoToTheGraphOnShow) {
  AttachTraces(1, graph_type::kStrip);
  ZoomGraph(*display, 2.0);
  MoveGraph(*display, 0.25);
  const platform::HeadlessControl* chart = ui.Control(main, p::kMainStripChart);
  EXPECT_DOUBLE_EQ(chart->yMin, -3.5 + 3.5);
  EXPECT_DOUBLE_EQ(chart->yMax, 10.5 + 3.5);
}

TEST_F(DisplayPanelTest, TheConfigurationFileIsWrittenBesideTheSourceAndReadBack) {
  AttachTraces(4, graph_type::kTemp);
  display->SetVisible(1, false);
  display->SetDisplayBinsize(3);
  display->source()->SetBinsize(2);
  auto& temp = static_cast<XYGraph&>(*display->graph(graph_type::kTemp));
  XYSettings s = temp.settings();
  s.yMin = 5.0;
  temp.set_settings(s);
  ASSERT_EQ(display->WriteConfig(), status::kOk);
  const std::string path = HomeFile("meter.RTC");
  EXPECT_EQ(display->ConfigPath(), path);
  const std::optional<std::string> text = test::ReadTextFile(path);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->substr(0, text->find("0.00000")),
            "Test meter\n"
            "400012d\n"
            "3\t\t\t\t; current display\n"
            "2\t\t\t\t; collect bin size\n"
            "3\t\t\t\t; display bin size\n"
            "0\t2\t3\t\t; visible traces\n");
  EXPECT_NE(text->find("5.00000\t35.00000\t0.00000\t7.00000\t0\t0\t1\t1\t5\t5\t; graph state\n"),
            std::string::npos);
  EXPECT_NE(text->find("0.00000\t7.00000\t30\t; strip chart state\n"), std::string::npos);

  // A new display reads it when the same source comes back.
  display.reset();
  ui.ClearRecords();
  ASSERT_EQ(Display::New(display, ui.LoadPanel(0, p::kMain), session), status::kOk);
  auto source = std::make_unique<test::FakeSource>(HomeFile("meter.dev"), std::vector<int>(4, kTraceA));
  ASSERT_EQ(display->Attach(std::move(source)), status::kOk);
  EXPECT_EQ(display->current()->GetType(), graph_type::kTemp);
  EXPECT_EQ(display->displayBinsize(), 3);
  EXPECT_EQ(display->source()->GetBinsize(), 2);
  EXPECT_FALSE(display->visible(1));
  EXPECT_TRUE(display->visible(2));
  EXPECT_EQ(static_cast<XYGraph&>(*display->graph(graph_type::kTemp)).settings().yMin, 5.0);
}

TEST_F(DisplayPanelTest, ADepthGraphNamedForASourceWithoutDepthGivesTheXYGraph) {
  AttachTraces(1);
  test::WriteTextFile(HomeFile("meter.RTC"),
                      "Test meter\n400012d\n4 ; current display\n1 ; collect\n0 ; display\n"
                      "0 ; visible traces\n");
  auto source = std::make_unique<test::FakeSource>(HomeFile("meter.dev"), std::vector<int>{kTraceA});
  ASSERT_EQ(display->Attach(std::move(source)), status::kOk);
  EXPECT_EQ(display->current()->GetType(), graph_type::kXY);
  // A display bin size below one would stop every graph: it is taken as one.
  EXPECT_EQ(display->displayBinsize(), 1);
}

// Found by the display configuration fuzz target: a source without depth
// whose configuration is missing or names no graph kept the depth graph of
// the source before on show, and wrote it to its configuration.
TEST_F(DisplayPanelTest, ASourceWithoutDepthNeverGetsTheDepthGraphOfTheSourceBefore) {
  for (const std::string& config : {std::string(), std::string("Test meter\n400012d\n9 ; current display\n")}) {
    SCOPED_TRACE(config);
    auto deep = std::make_unique<test::FakeSource>(HomeFile("deep.dev"), std::vector<int>{kTraceA});
    deep->depth = true;
    ASSERT_EQ(display->Attach(std::move(deep)), status::kOk);
    display->ShowGraph(graph_type::kDepth);
    ASSERT_EQ(display->current()->GetType(), graph_type::kDepth);

    if (!config.empty()) test::WriteTextFile(HomeFile("meter.RTC"), config);
    ASSERT_EQ(display->Attach(std::make_unique<test::FakeSource>(HomeFile("meter.dev"), std::vector<int>{kTraceA})),
              status::kOk);
    EXPECT_EQ(display->current()->GetType(), graph_type::kXY);
    ASSERT_EQ(display->WriteConfig(), status::kOk);
    EXPECT_NE(test::ReadTextFile(HomeFile("meter.RTC"))->find("1\t\t\t\t; current display\n"), std::string::npos);
  }
}

TEST_F(DisplayPanelTest, AnUnknownGraphTypeFallsBackToTheDefaults) {
  AttachTraces(2);
  test::WriteTextFile(HomeFile("meter.RTC"), "Test meter\n400012d\n9 ; current display\n");
  EXPECT_EQ(display->ReadConfig(), status::kConfigGraphType);
  std::filesystem::remove(HomeFile("meter.RTC"));
  EXPECT_EQ(display->ReadConfig(), status::kDisplayConfigOpen);
  display->Attach(nullptr);
  EXPECT_EQ(display->WriteConfig(), status::kDisplayWriteConfigNoSource);
  EXPECT_EQ(display->InitPlot(), status::kDisplayInitPlotNoSource);
  EXPECT_EQ(session.Publish(Line({1.0})), status::kDisplayPlotNoSource);
}

TEST_F(DisplayPanelTest, SwitchingGraphsStartsAFreshDisplayBin) {
  AttachTraces(1);
  display->SetDisplayBinsize(2);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  session.Publish(Line({100.0}));
  display->ShowGraph(graph_type::kStrip);
  session.Publish(Line({1.0}));
  session.Publish(Line({3.0}));
  EXPECT_EQ(ui.StripTrace(main, p::kMainStripChart, 0), std::vector<double>{2.0});
}

TEST_F(DisplayPanelTest, DebugTextGoesToTheLostSampleLine) {
  display->DebugMsg("Starting 1234");
  EXPECT_EQ(Text(p::kMainLost), "Starting 1234");
  EXPECT_TRUE(Shown(p::kMainLost));
}

}  // namespace
}  // namespace sondrix
