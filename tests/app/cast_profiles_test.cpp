// SPDX-License-Identifier: GPL-3.0-or-later
// Configure > Profiles... checks and keeps the settings; Display > Cast
// Profiles on the replay of three simulated dives: the Cast
// List names the casts sondrix-cli profile finds in the same recording,
// and once the run is over the depth graph draws the last cast's profile
// in grey, bin for bin the one the profile file holds (live and final come
// from one implementation); Cast Profiles off gives the run's points back.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/acquire.h"
#include "app/app_fixtures.h"
#include "app/menu.h"
#include "build_paths.h"
#include "cli/cli_run.h"
#include "common/panels.h"
#include "common/settings.h"
#include "common/text_format.h"
#include "support/sim_report.h"

namespace sondrix {
namespace {

namespace p = panels;

class CastProfilesTest : public test::AppTest {};

TEST_F(CastProfilesTest, TheDepthGraphDrawsTheCastsTheProfileFileHolds) {
  const std::string raw = HomeFile("dives.raw"), data = HomeFile("dives.dat"), csv = HomeFile("dives.csv");
  const std::string device = SONDRIX_EXAMPLES_DIR "/benth-85wl-v3.dev";
  const test::CliRun recorded = test::SimulatedRecording(
      device, "--rate 2 --seconds 720 --max-depth 30 --dive-seconds 240", raw, data, "", home);
  ASSERT_EQ(recorded.exitStatus, 0) << recorded.err;
  const test::CliRun profile = test::RunTool(
      test::kCli, "profile " + test::Quoted(data) + " --out " + test::Quoted(csv) + " --salinity 35 --t-cal 20", home);
  ASSERT_EQ(profile.exitStatus, 0) << profile.err;

  Start();
  // Configure > Profiles... refuses a bin that is none and keeps the rest.
  ui.Commit(p::kProfiles, p::kProfOk, {{p::kProfBinSize, std::string("0")}})
      .Commit(p::kProfiles, p::kProfOk, {{p::kProfBinSize, std::string("1")}, {p::kProfStatistic, 0}, {p::kProfCast, 0}});
  Menu_HandleEvent(app, p::kMenuProfiles);
  ASSERT_FALSE(ui.popups().empty());
  EXPECT_EQ(ui.popups().back().text, "BinSize 0: not 0.01 ... 1000 metres");
  EXPECT_EQ(settings::Get(settings::kProfiles, "BinSize"), "1");
  EXPECT_EQ(settings::Get(settings::kProfiles, "Cast"), "down");
  // A value spoilt by hand in Sondrix.ini is told when the profiles are asked for.
  settings::Set(settings::kProfiles, "BinSize", "x");
  ASSERT_EQ(OpenNamedSource(app, kSourceKindFile, data, ""), status::kOk);
  Menu_HandleEvent(app, p::kMenuCastProfiles);
  ASSERT_FALSE(ui.popups().empty());
  EXPECT_EQ(ui.popups().back().text, "Cast profiles: [Profiles] BinSize \"x\" is no number in Sondrix.ini.");
  EXPECT_EQ(app.display().liveCasts(), nullptr);
  settings::Set(settings::kProfiles, "BinSize", "");
  Menu_HandleEvent(app, p::kMenuCastProfiles);
  ASSERT_NE(app.display().liveCasts(), nullptr);
  EXPECT_TRUE(ui.MenuBar(app.menuBar)->Find(p::kMenuCastProfiles)->checked);
  Menu_HandleEvent(app, p::kMenuDepthGraph);
  EXPECT_EQ(Acquire_Run(app), status::kUnexpectedEof);

  // The casts: the file's lines "cast N: START to END, deepest D m at ..."
  // and the list's "cast N  START to END  deepest D m  LINES lines", to
  // the second.
  Menu_HandleEvent(app, p::kMenuCastList);
  const std::vector<std::string> list = test::Lines(ui.popups().back().text);
  std::vector<std::string> found;
  for (const std::string& line : test::Lines(profile.out)) {
    if (!line.starts_with("cast ")) continue;
    const std::vector<std::string> f = test::Split(line, ' ');
    found.push_back(f[0] + " " + f[1].substr(0, f[1].size() - 1) + "  " + f[2].substr(11, 8) + "Z to " +
                    f[4].substr(11, 8) + "Z  deepest " + f[6] + " m");
  }
  ASSERT_EQ(found.size(), 3u) << profile.out;
  ASSERT_EQ(list.size(), 3u) << ui.popups().back().text;
  for (std::size_t k = 0; k < 3; ++k) EXPECT_TRUE(list[k].starts_with(found[k])) << list[k] << " | " << found[k];

  // The grey profile is the third cast's: each visible trace's mean per
  // bin, the file's mean of that trace's wavelength in the same bin (to
  // the file's five decimals).
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> third;
  for (const std::string& line : test::Lines(test::ReadTextFile(csv).value_or(""))) {
    if (line.starts_with("#")) continue;
    const std::vector<std::string> f = test::Split(line, ',');
    if (header.empty()) header = f;
    else if (f[0] == "3" && f[8] == "1") third.push_back(f);
  }
  ASSERT_GT(third.size(), 20u);
  const std::vector<platform::HeadlessPlot>& plots = ui.Plots(app.mainPanel, p::kMainDepthGraph);
  std::vector<int> visible;
  app.display().VisibleTraces(visible);
  ASSERT_FALSE(visible.empty());
  std::size_t grey = 0;
  long compared = 0;
  for (const platform::HeadlessPlot& plot : plots) {
    if (plot.attributes.color != 0x9A9A9A) continue;
    const int trace = visible[grey++];
    std::string heading;
    app.session().source()->GetHeading(trace, heading);
    const std::string name = heading.substr(0, 1) + Format("%g", std::stod(heading.substr(1))) + " [1/m]";
    const std::size_t column = static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    ASSERT_LT(column, header.size()) << name;
    ASSERT_EQ(plot.y.size(), third.size()) << name;
    for (std::size_t k = 0; k < third.size(); ++k) {
      EXPECT_DOUBLE_EQ(plot.y[k], std::stod(third[k][3]));
      EXPECT_NEAR(plot.x[k], std::stod(third[k][column]), 6e-6) << name << " at " << plot.y[k] << " m";
      ++compared;
    }
  }
  EXPECT_EQ(grey, visible.size());
  EXPECT_GT(compared, 20);

  // Off: the run's points again.
  Menu_HandleEvent(app, p::kMenuCastProfiles);
  EXPECT_EQ(app.display().liveCasts(), nullptr);
  EXPECT_FALSE(ui.MenuBar(app.menuBar)->Find(p::kMenuCastProfiles)->checked);
  for (const platform::HeadlessPlot& plot : ui.Plots(app.mainPanel, p::kMainDepthGraph))
    EXPECT_NE(plot.attributes.color, 0x9A9A9A);
}

}  // namespace
}  // namespace sondrix
