// SPDX-License-Identifier: GPL-3.0-or-later
// Commands: the acquisition dialog, editing a configuration, the graph and
// file items, the trace buttons and zooming, panel state files, the About
// box. (The window's layout: layout_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/acquire.h"
#include "app/app_fixtures.h"
#include "app/ctrl_values.h"
#include "app/main_window.h"
#include "app/menu.h"
#include "common/panels.h"
#include "common/settings.h"
#include "datafile/companion.h"
#include "datafile/track.h"
#include "display/display_fixtures.h"
#include "display/xy_graph.h"
#include "meter/source_factory.h"

namespace sondrix {
namespace {

namespace p = panels;

// A source of three A and three C traces whose trace 4 has no heading.
class Headless4 : public test::FakeSource {
 public:
  explicit Headless4(const std::string& file)
      : FakeSource(file, {kTraceA, kTraceA, kTraceA, kTraceC, kTraceC, kTraceC}) {}
  Status GetHeading(int trace, std::string& heading) override {
    if (trace == 4) return status::kNoSuchHeading;
    return FakeSource::GetHeading(trace, heading);
  }
};

class MenuTest : public test::AppTest {
 protected:
  test::FakeSource* AttachFake() {
    auto source = std::make_unique<Headless4>(HomeFile("fake.dev"));
    test::FakeSource* raw = source.get();
    EXPECT_EQ(app.display().Attach(std::move(source)), status::kOk);
    return raw;
  }
  std::vector<std::string> DialogEntries() {
    std::vector<std::string> labels;
    const auto* list = ui.Control(ui.NewestHandle(p::kAcquisition, false), p::kAcqTraces);
    for (const auto& item : list->items) labels.push_back(item.label + (item.checked ? "+" : "-"));
    return labels;
  }
};

// --- The acquisition dialog ---------------------------------------------------------------

TEST_F(MenuTest, TheAcquisitionDialogOffersOnlyTracesWithAHeading) {
  Start();
  AttachFake();
  app.display().SetVisible(1, false);
  std::vector<std::string> seen;
  ui.Then([&](platform::HeadlessUi&) { seen = DialogEntries(); }).Commit(p::kAcquisition, p::kAcqCancel);
  Menu_HandleEvent(app, p::kMenuConfigAcquisition);
  EXPECT_EQ(seen, (std::vector<std::string>{"a0+", "a1-", "a2+", "c3+", "c5+"}));
  EXPECT_FALSE(ui.IsLoaded(ui.NewestHandle(p::kAcquisition, false)));
}

TEST_F(MenuTest, CancelChangesNothing) {
  Start();
  test::FakeSource* source = AttachFake();
  ui.Commit(p::kAcquisition, p::kAcqNone)
      .Commit(p::kAcquisition, p::kAcqCancel, {{p::kAcqBinsize, 7}, {p::kAcqDisplayBinsize, 3}});
  EXPECT_EQ(Acquire_Configure2(app), status::kCancelled);
  EXPECT_EQ(source->GetBinsize(), 1);
  EXPECT_EQ(app.display().displayBinsize(), 1);
  for (int trace = 0; trace < 6; ++trace) EXPECT_TRUE(app.display().visible(trace)) << trace;
}

TEST_F(MenuTest, OkTakesTheTracesAndBothBinSizesAndWritesTheDisplayConfiguration) {
  Start();
  test::FakeSource* source = AttachFake();
  ui.Commit(p::kAcquisition, p::kAcqNone)
      .Select(p::kAcquisition, p::kAcqTraces, 3, platform::EventType::ValueChanged)
      .Then([this](platform::HeadlessUi& u) {
        u.CheckListItem(u.NewestHandle(p::kAcquisition), p::kAcqTraces, 3, 1);
      })
      .Commit(p::kAcquisition, p::kAcqOk, {{p::kAcqBinsize, 4}, {p::kAcqDisplayBinsize, 2}});
  Menu_HandleEvent(app, p::kMenuConfigAcquisition);
  EXPECT_EQ(source->GetBinsize(), 4);
  EXPECT_EQ(app.display().displayBinsize(), 2);
  // Entry 3 is trace 3 (trace 4 has no entry); trace 4 keeps its flag.
  for (int trace : {0, 1, 2, 5}) EXPECT_FALSE(app.display().visible(trace)) << trace;
  EXPECT_TRUE(app.display().visible(3));
  EXPECT_TRUE(app.display().visible(4));
  const std::string config = test::ReadTextFile(HomeFile("fake.RTC")).value_or("");
  EXPECT_NE(config.find("4\t\t\t\t; collect bin size"), std::string::npos);
  EXPECT_NE(config.find("2\t\t\t\t; display bin size"), std::string::npos);
}

// A trace the instrument does not send now (a hyperspectral meter at every
// second wavelength) is listed unticked; left so, it keeps the user's choice
// for when the meter sends it again.
TEST_F(MenuTest, ATraceOffTheMapKeepsItsChoiceThroughTheDialog) {
  Start();
  const int A = kTraceA;
  const int C = kTraceC;
  auto source = std::make_unique<test::FakeSource>(HomeFile("gap.dev"), std::vector<int>{A, 0, A, C, C, C});
  ASSERT_EQ(app.display().Attach(std::move(source)), status::kOk);
  app.display().SetVisible(1, true);
  EXPECT_FALSE(app.display().visible(1));
  std::vector<std::string> seen;
  ui.Then([&](platform::HeadlessUi&) { seen = DialogEntries(); }).Commit(p::kAcquisition, p::kAcqOk);
  Menu_HandleEvent(app, p::kMenuConfigAcquisition);
  EXPECT_EQ(seen, (std::vector<std::string>{"a0+", "a1-", "a2+", "c3+", "c4+", "c5+"}));
  const std::string config = test::ReadTextFile(HomeFile("gap.RTC")).value_or("");
  EXPECT_NE(config.find("\n0\t1\t2\t3\t4\t5\t\t; visible traces"), std::string::npos) << config;
}

TEST_F(MenuTest, ABinSizeOfZeroIsRefusedAndTheOldOneStays) {
  Start();
  test::FakeSource* source = AttachFake();
  source->SetBinsize(5);
  ui.Commit(p::kAcquisition, p::kAcqOk, {{p::kAcqBinsize, 0}});
  EXPECT_EQ(Acquire_Configure2(app), status::kOk);
  EXPECT_EQ(source->GetBinsize(), 5);
}

TEST_F(MenuTest, AllTicksEveryEntryAndTheDialogNeedsASource) {
  Start();
  EXPECT_EQ(Acquire_Configure2(app), status::kNoSourceAttached);
  AttachFake();
  for (int trace = 0; trace < 6; ++trace) app.display().SetVisible(trace, false);
  ui.Commit(p::kAcquisition, p::kAcqAll).Commit(p::kAcquisition, p::kAcqOk);
  EXPECT_EQ(Acquire_Configure2(app), status::kOk);
  for (int trace : {0, 1, 2, 3, 5}) EXPECT_TRUE(app.display().visible(trace)) << trace;
  EXPECT_FALSE(app.display().visible(4));
}

TEST_F(MenuTest, ADialogThatCannotBeLoadedIsOutOfMemory) {
  Start();
  AttachFake();
  ui.FailLoad(p::kAcquisition);
  EXPECT_EQ(Acquire_Configure2(app), status::kOutOfMemory);
}

// --- Pages of trace labels --------------------------------------------------------------------

// The buttons beside the labels (and PgUp, PgDown) turn the pages of a
// 200-trace source; a label then zooms on the trace it shows.
TEST_F(MenuTest, ThePageButtonsTurnTheLabelsAndALabelZoomsOnTheTraceItShows) {
  Start();
  ASSERT_EQ(app.display().Attach(test::HyperspectralSource(HomeFile("hyper.dev"))), status::kOk);
  app.display().ShowGraph(graph_type::kXY);
  ASSERT_EQ(app.display().InitPlot(), status::kOk);
  for (int n = 0; n < 2; ++n) {
    std::vector<double> values(200);
    for (int t = 0; t < 200; ++t) values[static_cast<std::size_t>(t)] = t + 0.01 * n;
    ASSERT_EQ(app.session().Publish(test::Line(values, 1000 * n)), status::kOk);
  }
  auto page = [this] { return ui.GetCtrlText(app.mainPanel, p::kMainTracePage); };
  auto label = [this](int slot) { return ui.Control(app.mainPanel, p::kMainLabel0 + slot)->label; };
  std::vector<std::string> pages;
  ui.Commit(p::kMain, p::kMainTraceNext)
      .Commit(p::kMain, p::kMainTraceNext)
      .Key(p::kMain, "PgUp")
      .Then([&](platform::HeadlessUi&) { pages.push_back(page() + " " + label(19)); })
      .Commit(p::kMain, p::kMainLabel0 + 19)
      .Key(p::kMain, "PgDown")
      .Then([&](platform::HeadlessUi&) {
        pages.push_back(page() + " " + label(19));
        // The label pressed before shows another trace now: none is pressed.
        EXPECT_EQ(ui.GetCtrlInt(app.mainPanel, p::kMainLabel0 + 19), 0);
      })
      .MenuChoice(p::kMain, p::kMenuExit);
  RunMainLoop(app);
  EXPECT_EQ(pages, (std::vector<std::string>{"Traces 21\u201340 of 200 c460.0", "Traces 41\u201360 of 200 c520.0"}));
  // The label on top of the second page is trace 20: the zoom spans its
  // values (20.00 ... 20.01) and none of its neighbours'.
  const XYSettings zoom = static_cast<XYGraph&>(*app.display().graph(graph_type::kXY)).settings();
  EXPECT_LE(zoom.xMin, 20.0);
  EXPECT_GE(zoom.xMax, 20.01);
  EXPECT_GT(zoom.xMin, 19.01);
  EXPECT_LT(zoom.xMax, 21.0);
}

// --- Editing a configuration ---------------------------------------------------------------

TEST_F(MenuTest, EditConfigurationWithADataFileOpenEditsAChosenDeviceFile) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindFile, Recording(2), ""), status::kOk);
  const std::string chosen = Device(test::kNeritSerial, "other.dev");
  ui.AnswerFile(chosen)
      .Commit(p::kMeterConfig, p::kMcOk, {{p::kMcName, std::string("Renamed meter")}})
      .AnswerFile(chosen)
      .AnswerConfirm(true);
  Menu_HandleEvent(app, p::kMenuEditConfig);
  ASSERT_GE(ui.fileDialogs().size(), 1u);
  EXPECT_EQ(ui.fileDialogs()[0].request.title, "Device to use:");
  EXPECT_EQ(test::ReadTextFile(chosen).value_or("").substr(0, 13), "Renamed meter");
  // The data file stays open and unchanged.
  EXPECT_EQ(app.sourceKind, kSourceKindFile);
  EXPECT_NE(app.source(), nullptr);
  EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(MenuTest, EditConfigurationOfTheOpenDeviceAsksToSaveAndResetsIt) {
  Start();
  Feed(1, 3);
  OpenDevice("COM1");
  ui.Commit(p::kMeterConfig, p::kMcOk, {{p::kMcName, std::string("Renamed meter")}}).AnswerConfirm(false);
  Menu_HandleEvent(app, p::kMenuEditConfig);
  EXPECT_EQ(PopupTexts("Edit configuration"),
            std::vector<std::string>{"Configuration changed.  Save it to a file?"});
  EXPECT_TRUE(ui.fileDialogs().empty());
  std::string id;
  app.source()->GetID(id);
  EXPECT_EQ(id, "Renamed meter");
}

// --- Graphs, trace buttons, zoom ----------------------------------------------------------------

TEST_F(MenuTest, GraphItemsShowTheirGraphAndCheckTheItem) {
  Start();
  AttachFake();
  Menu_HandleEvent(app, p::kMenuXYGraph);
  EXPECT_EQ(app.display().current()->GetType(), graph_type::kXY);
  EXPECT_TRUE(ui.MenuBar(app.menuBar)->Find(p::kMenuXYGraph)->checked);
  EXPECT_FALSE(ui.MenuBar(app.menuBar)->Find(p::kMenuSpect2Graph)->checked);
  Menu_HandleEvent(app, p::kMenuStripChart);
  EXPECT_EQ(app.display().current()->GetType(), graph_type::kStrip);
  // The choice is kept in the display configuration file.
  EXPECT_NE(test::ReadTextFile(HomeFile("fake.RTC")).value_or("").find("2\t\t\t\t; current display"),
            std::string::npos);
}

TEST_F(MenuTest, ATraceButtonPressedTwiceStaysPressedAndZoomsBothTimes) {
  Start();
  Feed(1, 3);
  OpenDevice("COM1");
  app.display().ShowGraph(graph_type::kXY);
  StopWhen([this] { return app.display().sampleCount() == 10; });
  ui.CancelFile();
  ASSERT_EQ(Acquire_Run(app), status::kOk);

  // Trace 14 holds slot 5: the zoom shows the range of its values with a
  // margin either side.
  const int button = p::kMainLabel0 + 5;
  ui.Commit(p::kMain, button)
      .Then([this](platform::HeadlessUi&) { app.display().current()->XBounds(-9.0, 9.0); })
      .Commit(p::kMain, button)
      .MenuChoice(p::kMain, p::kMenuExit)
      .AnswerGeneric(2);
  RunMainLoop(app);
  EXPECT_EQ(ui.GetCtrlInt(app.mainPanel, button), 1);
  EXPECT_EQ(app.prevChannel, button);
  EXPECT_EQ(ui.GetCtrlInt(app.mainPanel, p::kMainLabel0), 0);
  platform::AxisMode xm, ym;
  double x0 = 0, x1 = 0, y0, y1;
  ui.GetAxisRange(app.mainPanel, p::kMainXYGraph, xm, x0, x1, ym, y0, y1);
  EXPECT_EQ(app.display().labelSlot(14), 5);
  EXPECT_LT(x0, app.display().chanMin(14));
  EXPECT_GT(x1, app.display().chanMax(14));
  EXPECT_LT(x1 - x0, 1.0);
}

TEST_F(MenuTest, TraceButtonsOnlySpringBackWhileTheCurvesAreShown) {
  Start();
  AttachFake();
  app.display().ShowGraph(graph_type::kSpect2);
  ui.SetCtrlVal(app.mainPanel, p::kMainLabel0 + 19, 1);
  Main_HandleEvent(app, p::kMainLabel0 + 19);
  EXPECT_EQ(ui.GetCtrlInt(app.mainPanel, p::kMainLabel0 + 19), 0);
  EXPECT_EQ(app.prevChannel, p::kMainLabel0);
}

TEST_F(MenuTest, ZoomAndMoveButtonsChangeTheValueAxis) {
  Start();
  AttachFake();
  app.display().ShowGraph(graph_type::kXY);
  app.display().current()->XBounds(0.0, 4.0);
  auto xRange = [this] {
    platform::AxisMode xm, ym;
    double x0, x1, y0, y1;
    ui.GetAxisRange(app.mainPanel, p::kMainXYGraph, xm, x0, x1, ym, y0, y1);
    return std::pair{x0, x1};
  };
  Main_HandleEvent(app, p::kMainZoomIn);
  EXPECT_EQ(xRange(), (std::pair{1.0, 3.0}));
  Main_HandleEvent(app, p::kMainZoomOut);
  EXPECT_EQ(xRange(), (std::pair{0.0, 4.0}));
  Main_HandleEvent(app, p::kMainMove2);
  EXPECT_EQ(xRange(), (std::pair{1.0, 5.0}));
  Main_HandleEvent(app, p::kMainMove1);
  EXPECT_EQ(xRange(), (std::pair{0.0, 4.0}));
}

// --- Files, printing, About -----------------------------------------------------------------------

TEST_F(MenuTest, SaveAndRecallGraphUseGphFilesInTheDataDirectory) {
  Start();
  AttachFake();
  ui.AnswerFile(HomeFile("view.gph"));
  EXPECT_EQ(SavePanel(app.mainPanel), 1);
  EXPECT_TRUE(std::filesystem::exists(HomeFile("view.gph")));
  EXPECT_EQ(ui.fileDialogs().back().request.title, "Save graph to file:");
  EXPECT_EQ(ui.fileDialogs().back().request.defaultSpec, "*.gph");

  // An existing file is overwritten only when the user says so.
  ui.AnswerFile(HomeFile("view.gph")).AnswerConfirm(false);
  EXPECT_EQ(SavePanel(app.mainPanel), 0);

  ui.AnswerFile(HomeFile("view.gph"));
  EXPECT_EQ(RecallPanel(app.mainPanel), 1);
  EXPECT_EQ(ui.fileDialogs().back().request.title, "Read graph from file:");
  ui.AnswerFile(HomeFile("missing.gph"));
  EXPECT_EQ(RecallPanel(app.mainPanel), 0);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"That file does not exist."});
  ui.CancelFile();
  EXPECT_EQ(RecallPanel(app.mainPanel), 0);
}

TEST_F(MenuTest, ExportingOverAFileAsksOnceAndKeepsItOnNo) {
  Start();
  AttachFake();
  // A new name: no question.
  ui.AnswerFile(HomeFile("graph.png"));
  Menu_HandleEvent(app, p::kMenuExportGraph);
  ASSERT_EQ(ui.printJobs().size(), 1u);
  EXPECT_TRUE(PopupTexts("Export graph").empty());
  // The picture carries the display's title, legend and captions.
  ASSERT_TRUE(ui.printJobs()[0].picture.has_value());
  platform::GraphPicture expected = app.display().Picture();
  EXPECT_FALSE(expected.title.empty());
  EXPECT_EQ(ui.printJobs()[0].picture->title, expected.title);
  EXPECT_EQ(ui.printJobs()[0].picture->legend, expected.legend);

  test::WriteTextFile(HomeFile("graph.png"), "kept");
  ui.AnswerFile(HomeFile("graph.png")).AnswerConfirm(false);
  Menu_HandleEvent(app, p::kMenuExportGraph);
  EXPECT_EQ(ui.printJobs().size(), 1u);
  EXPECT_EQ(PopupTexts("Export graph"),
            std::vector<std::string>{"This file exists. Do you want to overwrite it?"});
  ui.AnswerFile(HomeFile("graph.png")).AnswerConfirm(true);
  Menu_HandleEvent(app, p::kMenuExportGraph);
  ASSERT_EQ(ui.printJobs().size(), 2u);
  EXPECT_EQ(ui.printJobs().back().path, HomeFile("graph.png"));
  EXPECT_EQ(PopupTexts("Export graph").size(), 2u);
}

TEST_F(MenuTest, PrintingPrintsTheWholePanel) {
  Start();
  Menu_HandleEvent(app, p::kMenuPrint);
  ASSERT_EQ(ui.printJobs().size(), 1u);
  EXPECT_EQ(ui.printJobs()[0].resourceId, p::kMain);
  EXPECT_TRUE(ui.printJobs()[0].request.scaleToPage);
  EXPECT_TRUE(ErrorTexts().empty());
}

// At night the window is dark, but prints and exported pictures are for
// paper and reports: the day's colours, unless the settings ask for the
// night's.
TEST_F(MenuTest, PrintsAndPicturesWearTheDaysColoursUnlessAskedForTheNights) {
  Start();
  AttachFake();
  Menu_HandleEvent(app, p::kMenuNightPalette);
  ASSERT_EQ(ui.GetColorScheme(), platform::ColorScheme::Night);
  const int changes = ui.schemeChanges();
  Menu_HandleEvent(app, p::kMenuPrint);
  ui.AnswerFile(HomeFile("graph.png"));
  Menu_HandleEvent(app, p::kMenuExportGraph);
  settings::Set(settings::kDisplay, settings::kNightPictures, "yes");
  Menu_HandleEvent(app, p::kMenuPrint);
  ui.AnswerFile(HomeFile("night.png"));
  Menu_HandleEvent(app, p::kMenuExportGraph);
  const auto& jobs = ui.printJobs();
  ASSERT_EQ(jobs.size(), 4u);
  const auto scheme = [](const std::shared_ptr<const platform::ColorLook>& look) {
    return look ? look->scheme() : platform::ColorScheme::Night;  // none: the window's
  };
  EXPECT_EQ(scheme(jobs[0].request.look), platform::ColorScheme::Day);
  ASSERT_TRUE(jobs[1].picture.has_value());
  EXPECT_EQ(scheme(jobs[1].picture->look), platform::ColorScheme::Day);
  EXPECT_EQ(scheme(jobs[2].request.look), platform::ColorScheme::Night);
  EXPECT_EQ(scheme(jobs[3].picture->look), platform::ColorScheme::Night);
  // The window kept the night all through.
  EXPECT_EQ(ui.GetColorScheme(), platform::ColorScheme::Night);
  EXPECT_EQ(ui.schemeChanges(), changes);
}

TEST_F(MenuTest, AboutSaysWhatAndWhichVersion) {
  Start();
  Menu_HandleEvent(app, p::kMenuAbout);
  const std::vector<std::string> texts = PopupTexts("About Sondrix");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind("Sondrix ver 7.1", 0), 0u);
  EXPECT_EQ(ui.popups().back().buttons, std::vector<std::string>{"OK"});
  // The corner that opens the diagnostics names the same release.
  EXPECT_EQ(ui.GetCtrlText(app.mainPanel, p::kMainDiagnostics), "Sondrix 7.1");
}

TEST_F(MenuTest, NewClosesTheSourceAndAttachesNone) {
  Start();
  Feed(1, 2);
  OpenDevice("COM1");
  Menu_HandleEvent(app, p::kMenuNew);
  EXPECT_EQ(app.source(), nullptr);
  EXPECT_FALSE(serial.IsOpen(1));
  EXPECT_EQ(ui.GetCtrlText(app.mainPanel, p::kMainTitle), "(no source)");
}

TEST_F(MenuTest, SaveDataKeepsTheLastRunAndIsOfferedOnlyWhileItWaits) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(5)), status::kOk);
  ui.Key(p::kMain, "F1").CancelFile();
  AfterRun([this](platform::HeadlessUi& u) {
    EXPECT_FALSE(u.MenuBar(app.menuBar)->Find(p::kMenuSaveData)->dimmed);
    u.MenuChoice(p::kMain, p::kMenuSaveData).AnswerFile(HomeFile("saved.dat"));
    u.Then([this](platform::HeadlessUi& v) {
      EXPECT_TRUE(v.MenuBar(app.menuBar)->Find(p::kMenuSaveData)->dimmed);
    });
    u.MenuChoice(p::kMain, p::kMenuExit);
  });
  RunMainLoop(app);
  EXPECT_EQ(DataLines(HomeFile("saved.dat")).size(), 50u);
  EXPECT_TRUE(PopupTexts("Unsaved run").empty());
}

// File > Export Data: the recording just saved is offered first, the
// output's extension chooses the format, and every saved line comes out.
TEST_F(MenuTest, ExportDataOffersTheRecordingJustSavedAndWritesTheChosenFormat) {
  Start();
  // A capture without its time map: the UTC of its first sample as the
  // Capture Time dialog takes it.
  SavedReplay(5, "saved.dat");
  ASSERT_EQ(app.lastSavedRecording, HomeFile("saved.dat"));
  const std::size_t lines = DataLines(HomeFile("saved.dat")).size();

  const std::size_t dialogs = ui.fileDialogs().size();
  ui.AnswerFile(HomeFile("saved.dat")).AnswerFile(HomeFile("saved.csv"));
  Menu_HandleEvent(app, p::kMenuExportData);
  ASSERT_EQ(ui.fileDialogs().size(), dialogs + 2);
  EXPECT_EQ(ui.fileDialogs()[dialogs].request.defaultSpec, HomeFile("saved.dat"));
  EXPECT_EQ(ui.fileDialogs()[dialogs + 1].request.defaultSpec, "saved.nc");
  const std::string csv = test::ReadTextFile(HomeFile("saved.csv")).value_or("");
  EXPECT_EQ(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')), lines + 1);
  EXPECT_EQ(csv.rfind("time_utc,", 0), 0u);
  EXPECT_EQ(PopupTexts("Export data"),
            std::vector<std::string>{std::to_string(lines) + " samples exported to " + HomeFile("saved.csv") + "."});

  // An extension of no format is refused; an existing output is asked about.
  ui.AnswerFile(HomeFile("saved.dat")).AnswerFile(HomeFile("saved.txt"));
  Menu_HandleEvent(app, p::kMenuExportData);
  EXPECT_FALSE(std::filesystem::exists(HomeFile("saved.txt")));
  ui.AnswerFile(HomeFile("saved.dat")).AnswerFile(HomeFile("saved.csv")).AnswerConfirm(false);
  Menu_HandleEvent(app, p::kMenuExportData);
  const std::vector<std::string> texts = PopupTexts("Export data");
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_NE(texts[1].find(".nc for NetCDF"), std::string::npos);
  EXPECT_EQ(texts[2], "This file exists. Do you want to overwrite it?");

  // With a track beside the recording, the message says how many samples
  // have a position: here every one, the fixes a second apart all along.
  Companion companion;
  std::string error;
  ASSERT_EQ(ReadCompanion(CompanionPathFor(HomeFile("saved.dat")), companion, error), status::kOk) << error;
  ASSERT_TRUE(companion.timeZeroUtcMs.has_value());
  TrackWriter track;
  ASSERT_EQ(track.Open(TrackPathFor(HomeFile("saved.dat"))), status::kOk);
  for (int s = -1; s < 3600; ++s) {
    ASSERT_EQ(track.Append({*companion.timeZeroUtcMs + s * 1000LL, 43.0 + 1e-5 * s, -70.0, 1, 8, 0.9, "udp:10110"}),
              status::kOk);
  }
  ASSERT_EQ(track.Close(), status::kOk);
  ui.AnswerFile(HomeFile("saved.dat")).AnswerFile(HomeFile("placed.csv"));
  Menu_HandleEvent(app, p::kMenuExportData);
  EXPECT_EQ(PopupTexts("Export data").back(), std::to_string(lines) + " samples exported to " + HomeFile("placed.csv") +
                                                  ".\nPositions: " + std::to_string(lines) + " of " +
                                                  std::to_string(lines) + " samples.");
}

// --- Control values of other widths ------------------------------------------------------------

TEST_F(MenuTest, FloatAndShortControlValues) {
  Start();
  // An int control without a range (one with a range keeps its values in it).
  const int dialog = ui.LoadPanel(0, p::kMeterConfig);
  ASSERT_EQ(SetCtrlShort(dialog, p::kMcBaud, -3), 0);
  std::int16_t small = 0;
  ASSERT_EQ(GetCtrlShort(dialog, p::kMcBaud, small), 0);
  EXPECT_EQ(small, -3);
  ASSERT_EQ(ui.SetCtrlVal(dialog, p::kMcBaud, 70000), 0);
  EXPECT_LT(GetCtrlShort(dialog, p::kMcBaud, small), 0);
  EXPECT_EQ(small, -3);
  const int settingsPanel = ui.LoadPanel(0, p::kGraphSettings);
  ASSERT_EQ(SetCtrlFlt(settingsPanel, p::kGsXMin, 0.25f), 0);
  float f = 0.0f;
  ASSERT_EQ(GetCtrlFlt(settingsPanel, p::kGsXMin, f), 0);
  EXPECT_EQ(f, 0.25f);
  double d = 0.0;
  ASSERT_EQ(SetCtrlDbl(settingsPanel, p::kGsXMax, 1.0 / 3.0), 0);
  ASSERT_EQ(GetCtrlDbl(settingsPanel, p::kGsXMax, d), 0);
  EXPECT_EQ(d, 1.0 / 3.0);
}

}  // namespace
}  // namespace sondrix
