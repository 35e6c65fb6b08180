// SPDX-License-Identifier: GPL-3.0-or-later
// File > Process... in the window: the Processing dialog refuses choices
// that are none and remembers the rest; the recording is corrected by them
// into a Level-2 file whose temperature- and salinity-corrected absorption
// is the published formula's, worked here from the coefficient table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_fixtures.h"
#include "app/menu.h"
#include "cli/cli_run.h"
#include "app/processing.h"
#include "build_paths.h"
#include "support/water_coefficients.h"
#include "support/sim_report.h"
#include "common/panels.h"

namespace sondrix {
namespace {

namespace p = panels;

class ProcessMenuTest : public test::AppTest {};

TEST_F(ProcessMenuTest, TheDialogsChoicesCorrectTheRecordingIntoALevel2File) {
  Start();
  ui.Commit(p::kProcessing, p::kProcOk, {{p::kProcSalinity, std::string("x")}})
      .Commit(p::kProcessing, p::kProcOk, {{p::kProcSalinity, std::string("35")}, {p::kProcTemperature, std::string("60")}})
      .Commit(p::kProcessing, p::kProcOk,
              {{p::kProcTemperature, std::string(" 22.5 ")}, {p::kProcTCal, std::string("20")}, {p::kProcScatter, 1}});
  Menu_HandleEvent(app, p::kMenuProcessing);
  const std::vector<std::string> told = PopupTexts("Processing");
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0], "Salinity: \"x\" is no number");
  EXPECT_EQ(told[1], "Water temperature 60: not a water temperature (-5 ... 50)");
  const ProcessingChoices remembered = LoadProcessingChoices();
  EXPECT_EQ(remembered.salinity, "35");
  EXPECT_EQ(remembered.scatter, 1);

  const std::string data = SavedReplay(4, "run.dat");
  const long lines = static_cast<long>(DataLines(data).size());
  ASSERT_GT(lines, 20);
  // Without a salinity (the run has no ship's data) nothing is written,
  // and the message says where to give one.
  ProcessingChoices noSalinity = remembered;
  noSalinity.salinity.clear();
  StoreProcessingChoices(noSalinity);
  ui.AnswerFile(data).AnswerFile(HomeFile("run_L2.csv"));
  Menu_HandleEvent(app, p::kMenuProcess);
  ASSERT_FALSE(ui.popups().empty());
  EXPECT_NE(ui.popups().back().text.find("no salinity"), std::string::npos) << ui.popups().back().text;
  EXPECT_NE(ui.popups().back().text.find("Configure > Processing..."), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(HomeFile("run_L2.csv")));

  StoreProcessingChoices(remembered);
  ui.AnswerFile(data).AnswerFile(HomeFile("run_L2.csv"));
  Menu_HandleEvent(app, p::kMenuProcess);
  const std::vector<std::string> done = PopupTexts("Export data");
  ASSERT_EQ(done.size(), 1u) << (ui.popups().empty() ? "" : ui.popups().back().title + ": " + ui.popups().back().text);
  EXPECT_TRUE(done[0].starts_with(std::to_string(lines) + " samples processed to " + HomeFile("run_L2.csv") + ".\nQuality flags: ")) << done[0];

  // Every a_ts column of every row: the recorded a - psi_t (22.5 - 20) -
  // psi_s_a 35.
  std::istringstream in(test::ReadTextFile(HomeFile("run_L2.csv")).value_or(""));
  std::string line;
  std::vector<std::string> names;
  std::map<std::size_t, std::size_t> recordedOf;  // a_ts column: its recorded a column
  long rows = 0, checked = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> f = test::Split(line, ',');
    if (names.empty()) {
      names = f;
      for (std::size_t k = 0; k < names.size(); ++k) {
        if (!names[k].starts_with("a_ts")) continue;
        const std::string nm = names[k].substr(4, names[k].find(' ') - 4);
        for (std::size_t r = 0; r < names.size(); ++r)
          if (names[r] == "a" + nm + " [1/m]") recordedOf[k] = r;
      }
      continue;
    }
    ASSERT_EQ(f.size(), names.size());
    ++rows;
    for (const auto& [k, r] : recordedOf) {
      const auto [psiT, psiS] = test::Psi(std::stod(names[k].substr(4)));
      EXPECT_NEAR(std::stod(f[k]), std::stod(f[r]) - psiT * 2.5 - psiS * 35.0, 6e-6) << names[k];
      ++checked;
    }
  }
  EXPECT_EQ(rows, lines);
  EXPECT_EQ(recordedOf.size(), 9u) << line;
  EXPECT_EQ(checked, lines * 9);

  // Time bins of 2 s from the dialog: the rows are the bins, whose counts
  // add up to the samples, and the message says so.
  ui.Commit(p::kProcessing, p::kProcOk, {{p::kProcBin, std::string("0")}})
      .Commit(p::kProcessing, p::kProcOk, {{p::kProcBin, std::string("2")}});
  Menu_HandleEvent(app, p::kMenuProcessing);
  EXPECT_EQ(PopupTexts("Processing").back(), "Time bins of 0: not 0.001 ... 86400 seconds");
  ui.AnswerFile(data).AnswerFile(HomeFile("run_bins.csv"));
  Menu_HandleEvent(app, p::kMenuProcess);
  const std::vector<std::string> binned = PopupTexts("Export data");
  ASSERT_EQ(binned.size(), 2u);
  long bins = 0, counted = 0;
  std::size_t countColumn = 0;
  for (const std::string& row : test::Lines(test::ReadTextFile(HomeFile("run_bins.csv")).value_or(""))) {
    if (row.starts_with("#")) continue;
    const std::vector<std::string> f = test::Split(row, ',');
    if (countColumn == 0) {
      countColumn = static_cast<std::size_t>(std::find(f.begin(), f.end(), "bin_count") - f.begin());
      ASSERT_LT(countColumn, f.size()) << row;
      continue;
    }
    ++bins;
    counted += std::stol(f[countColumn]);
  }
  EXPECT_EQ(counted, lines);
  EXPECT_NE(binned[1].find("\nWritten: " + std::to_string(bins) + " rows, bins of 2 s."), std::string::npos) << binned[1];
}

}  // namespace
}  // namespace sondrix
