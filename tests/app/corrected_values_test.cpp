// SPDX-License-Identifier: GPL-3.0-or-later
// Display > Corrected Values during a run: with the water's temperature and
// salinity given and no scattering correction, every point the graphs draw
// is the measured one less the published temperature and salinity change
// of water, worked here from the coefficient table itself; the value axes
// name the methods; choices the meter's lines cannot be corrected with are
// told and the measured values stay; new choices and another meter opened
// keep them on.
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
            "Corrected 1/m — provisional\nT/S: Röttgers et al. 2014, T_cal 20.00 °C; scattering: none")
      << "no corrected sample yet";

  // Forty lines on, the run is stopped.
  std::string captionDuring;
  std::function<void(HeadlessUi&)> stopLater = [&](HeadlessUi& u) {
    if (Lines() >= 40 && app.display().history().size() >= 30) {
      captionDuring = ValueAxis(p::kMainXYGraph, true);
      u.Commit(p::kMain, p::kMainStartStop);
      return;
    }
    u.Raw(UserEvent{});
    u.Then(stopLater);
  };
  ui.Then(stopLater);
  ui.AnswerFile(HomeFile("run.dat"));
  ASSERT_EQ(Acquire_Run(app), status::kOk);
  EXPECT_EQ(captionDuring, "Corrected 1/m\nT/S: Röttgers et al. 2014, T_cal 20.00 °C; scattering: none");

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

}  // namespace
}  // namespace sondrix
