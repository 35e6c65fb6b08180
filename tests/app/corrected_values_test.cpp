// SPDX-License-Identifier: GPL-3.0-or-later
// Display > Corrected Values during a run: with the water's temperature and
// salinity given and no scattering correction, every point the graphs draw
// is the measured one less the published temperature and salinity change
// of water, worked here from the coefficient table itself; the value axes
// name the methods; choices the meter's lines cannot be corrected with are
// told and the measured values stay; new choices and another meter opened
// keep them on. Display > Particulate Values replays an underway recording
// with the valve's schedule: the XY graph shades its filtered and flushing
// stretches where the schedule has them, and the value axes say which
// filtered period the provisional values stand on.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/acquire.h"
#include "app/app_fixtures.h"
#include "app/menu.h"
#include "app/processing.h"
#include "build_paths.h"
#include "support/water_coefficients.h"
#include "common/panels.h"
#include "cli/cli_run.h"
#include "source/trace_list.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::HeadlessUi;
using platform::UserEvent;

class CorrectedValuesTest : public test::AppTest {
 protected:
  std::string ValueAxis(int control, bool onX) {
    return platform::ui().TextAttribute(app.mainPanel, control, onX ? platform::Attr::XName : platform::Attr::YName);
  }
  bool Checked() { return ui.MenuBar(app.menuBar)->Find(p::kMenuCorrectedValues)->checked; }
  long Lines() {
    const DataFile* recording = app.session().recording();
    return recording == nullptr ? 0 : recording->writtenLines();
  }
};

TEST_F(CorrectedValuesTest, TheGraphsDrawTheMeasuredLinesLessTheWatersOwnChange) {
  Start();
  ProcessingChoices choices;
  choices.temperature = "25";
  choices.salinity = "35";
  choices.tCal = "20";
  choices.scatter = 1;  // none: the temperature and salinity alone
  StoreProcessingChoices(choices);
  Feed(1, 6);
  OpenDevice("COM1");
  Menu_HandleEvent(app, p::kMenuCorrectedValues);
  ASSERT_TRUE(app.display().correctedValues());
  EXPECT_TRUE(Checked());
  EXPECT_EQ(ValueAxis(p::kMainSpectGraph, false),
            "Corrected 1/m — provisional\nT/S: Röttgers et al. 2014, T_cal 20.00 °C\nscattering: none")
      << "no corrected sample yet";

  // Forty lines on, the run is stopped.
  std::string captionDuring;
  std::function<void(HeadlessUi&)> stopLater = [&](HeadlessUi& u) {
    if (Lines() >= 40 && app.display().history().size() >= 30) {
      captionDuring = ValueAxis(p::kMainXYGraph, true);
      // Both items stay in reach during the run.
      for (const int item : {p::kMenuCorrectedValues, p::kMenuParticulateValues})
        EXPECT_FALSE(ui.MenuBar(app.menuBar)->Find(item)->dimmed) << item;
      u.Commit(p::kMain, p::kMainStartStop);
      return;
    }
    u.Raw(UserEvent{});
    u.Then(stopLater);
  };
  ui.Then(stopLater);
  ui.AnswerFile(HomeFile("run.dat"));
  ASSERT_EQ(Acquire_Run(app), status::kOk);
  EXPECT_EQ(captionDuring, "Corrected 1/m\nT/S: Röttgers et al. 2014, T_cal 20.00 °C\nscattering: none");

  // Entry by entry, trace by trace: corrected = measured - psi_t (25 - 20)
  // - psi_s 35 (one salinity coefficient for a and c).
  const RunHistory& measured = app.session().history(Session::Values::kMeasured);
  const RunHistory& corrected = app.display().history();
  ASSERT_EQ(&corrected, &app.session().history(Session::Values::kCorrected));
  ASSERT_GE(corrected.size(), 30u);
  const std::vector<TraceEntry> traces = ListTraces(*app.source());
  ASSERT_EQ(traces.size(), static_cast<std::size_t>(test::kNeritTraces));
  // The processing keeps up with lines the display had no time for: the
  // entries are matched by their time.
  std::size_t matched = 0;
  for (std::size_t k = 0; k < corrected.size(); ++k) {
    const std::size_t m = measured.FirstAtOrAfter(corrected.time(k));
    if (m == measured.size() || measured.time(m) != corrected.time(k)) continue;
    ++matched;
    for (const TraceEntry& trace : traces) {
      const auto [psiT, psiS] = test::Psi(trace.wavelength);
      ASSERT_TRUE(std::isfinite(psiT)) << trace.heading;
      ASSERT_NEAR(corrected.value(k, trace.trace), measured.value(m, trace.trace) - psiT * 5.0 - psiS * 35.0, 1e-12)
          << trace.heading << " entry " << k;
    }
  }
  EXPECT_GE(matched, 20u);

  // Off again: the measured values and the resource file's captions.
  Menu_HandleEvent(app, p::kMenuCorrectedValues);
  EXPECT_FALSE(app.display().correctedValues());
  EXPECT_FALSE(Checked());
  EXPECT_EQ(&app.display().history(), &measured);
  EXPECT_EQ(ValueAxis(p::kMainSpectGraph, false), "1/m");
  EXPECT_EQ(ValueAxis(p::kMainXYGraph, true), "1/m");
}

TEST_F(CorrectedValuesTest, ChoicesTheLinesCannotBeCorrectedWithAreToldAndTheMeasuredValuesStay) {
  Start();
  ProcessingChoices choices;
  choices.tCal = "20";  // no salinity, and no ship's data to give one
  StoreProcessingChoices(choices);
  Feed(1, 6);
  OpenDevice("COM1");
  Menu_HandleEvent(app, p::kMenuCorrectedValues);
  EXPECT_FALSE(app.display().correctedValues());
  EXPECT_FALSE(Checked());
  ASSERT_FALSE(ui.popups().empty());
  EXPECT_NE(ui.popups().back().text.find("no salinity"), std::string::npos) << ui.popups().back().text;
  EXPECT_NE(ui.popups().back().text.find("Configure > Ship Data..."), std::string::npos);
  EXPECT_EQ(ValueAxis(p::kMainSpectGraph, false), "1/m");

  // Given in the Processing dialog while the item is on, new choices apply
  // at once.
  choices.salinity = "35";
  choices.referenceWavelength = "540";  // the test meter's longest a
  StoreProcessingChoices(choices);
  Menu_HandleEvent(app, p::kMenuCorrectedValues);
  ASSERT_TRUE(app.display().correctedValues()) << ui.popups().back().text;
  ui.Commit(p::kProcessing, p::kProcOk, {{p::kProcScatter, 2}});
  Menu_HandleEvent(app, p::kMenuProcessing);
  EXPECT_TRUE(app.display().correctedValues());
  EXPECT_NE(ValueAxis(p::kMainSpectGraph, false).find("scattering: baseline at 540 nm"), std::string::npos)
      << ValueAxis(p::kMainSpectGraph, false);
  // And they stay on for the meter opened next.
  OpenDevice("COM1");
  EXPECT_TRUE(app.display().correctedValues());
  EXPECT_TRUE(Checked());
}

TEST_F(CorrectedValuesTest, ParticulateValuesShadeTheFilteredAndFlushingStretchesOfTheSchedule) {
  ProcessingChoices choices;
  choices.salinity = "35";
  choices.tCal = "20";
  choices.flush = "10";
  StoreProcessingChoices(choices);
  // Eleven minutes of the simulated meter in underway water from the hour,
  // recorded with the valve on filter the first minute of every three.
  const std::string raw = HomeFile("underway.raw"), data = HomeFile("underway.dat");
  const std::string device = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";
  const test::CliRun recorded = test::SimulatedRecording(device, "--water 25,35,0.15 --underway 3,1 --seconds 660",
                                                         raw, data, "--valve-schedule 3,1,0", home);
  ASSERT_EQ(recorded.exitStatus, 0) << recorded.err;
  // The program starts after the recorder has left the project folder.
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindFile, data, ""), status::kOk);
  Menu_HandleEvent(app, p::kMenuParticulateValues);
  ASSERT_TRUE(app.display().particulateValues()) << (ui.popups().empty() ? "" : ui.popups().back().text);
  EXPECT_FALSE(ui.MenuBar(app.menuBar)->Find(p::kMenuCorrectedValues)->checked);
  EXPECT_TRUE(ui.MenuBar(app.menuBar)->Find(p::kMenuParticulateValues)->checked);
  EXPECT_EQ(ValueAxis(p::kMainSpectGraph, false), "Particulate 1/m — provisional\nno filtered period yet");

  Menu_HandleEvent(app, p::kMenuXYGraph);
  EXPECT_EQ(Acquire_Run(app), status::kUnexpectedEof);
  // Filtered from 0:10 to 1:00, 3:10 to 4:00, 6:10 to 7:00, 9:10 to 10:00
  // (minutes of the run, each to its last line), flushing the ten seconds
  // after each switch.
  const platform::ControlRecord* xy = ui.Control(app.mainPanel, p::kMainXYGraph);
  ASSERT_FALSE(xy->keyBandsOnX);
  std::vector<std::pair<double, double>> filtered;
  int flushing = 0;
  for (const platform::KeyBand& band : xy->keyBands) {
    if (band.rgb == kFilteredBand) filtered.emplace_back(band.from, band.to);
    flushing += band.rgb == kFlushingBand ? 1 : 0;
  }
  ASSERT_EQ(filtered.size(), 4u) << ValueAxis(p::kMainXYGraph, true);
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_NEAR(filtered[k].first, 3.0 * static_cast<double>(k) + 10.0 / 60.0, 0.01) << k;
    EXPECT_NEAR(filtered[k].second, 3.0 * static_cast<double>(k) + 1.0, 0.01) << k;
  }
  EXPECT_EQ(flushing, 8) << "ten seconds after each of the eight switches";
  EXPECT_NE(ValueAxis(p::kMainXYGraph, true).find("\ndissolved: the filtered period of 04:09 UTC"), std::string::npos)
      << ValueAxis(p::kMainXYGraph, true);

  // Corrected values in its place: the stretches go.
  Menu_HandleEvent(app, p::kMenuCorrectedValues);
  EXPECT_FALSE(app.display().particulateValues());
  EXPECT_TRUE(app.display().correctedValues());
  EXPECT_TRUE(ui.Control(app.mainPanel, p::kMainXYGraph)->keyBands.empty());
}

}  // namespace
}  // namespace sondrix
