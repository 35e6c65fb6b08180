// SPDX-License-Identifier: GPL-3.0-or-later
// A stored nine-wavelength recording replayed through the display, as the
// acquisition loop does it: the meter's own trace map, colours, headings
// and wavelengths reach the graphs and labels.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/panels.h"
#include "display/display.h"
#include "meter/source_factory.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

namespace p = panels;

class ReplayTest : public test::HeadlessTest {
 protected:
  // A recording of `lines` lines whose A values are 0.1 and C values 0.3.
  std::string Recording(int lines) {
    std::string text = "Sondrix ver 7.1\t03-05-2024\t14:07:09\n";
    text += test::ReadTextFile(SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev").value();
    text += "1\t\t\t; acquisition binsize\n";
    // The file's traces alternate three A and three C wavelengths.
    for (int n = 0; n < lines; ++n) {
      text += std::to_string(n * 167);
      for (int i = 0; i < 18; ++i) text += (i / 3) % 2 == 0 ? "\t0.10000" : "\t0.30000";
      // The meter's trailing text: temperature, rate, depth, external
      // temperature and one reference value per trace.
      text += "\t20.00\t6.0\t1.50\t12.34";
      for (int i = 0; i < 18; ++i) text += "\t2500.00000";
      text += "\n";
    }
    return test::WriteTextFile(HomeFile("run.dat"), text);
  }
};

TEST_F(ReplayTest, ANineWavelengthRecordingDrawsNineRedAndNineBluePoints) {
  const int main = ui.LoadPanel(0, p::kMain);
  Session session;
  std::unique_ptr<Display> display;
  ASSERT_EQ(Display::New(display, main, session), status::kOk);
  std::unique_ptr<Source> source;
  ASSERT_EQ(NewSource(source, 1, Recording(10), ""), status::kOk);
  ASSERT_EQ(source->Open(), status::kOk);
  ASSERT_EQ(display->Attach(std::move(source)), status::kOk);
  EXPECT_EQ(display->current()->GetType(), graph_type::kSpect2);
  EXPECT_EQ(display->visibleCount(), 18);
  ASSERT_EQ(display->InitPlot(), status::kOk);

  SourceLine line(display->traceCount());
  int lines = 0;
  for (int polls = 0; polls < 100 && lines < 10; ++polls) {
    if (display->source()->CanRead() == 0) continue;
    const Status result = display->source()->Read(line);
    if (result == status::kNoData) continue;
    ASSERT_EQ(result, status::kOk);
    ASSERT_EQ(session.Publish(line), status::kOk);
    ++lines;
  }
  ASSERT_EQ(lines, 10);
  const auto& plots = ui.Plots(main, p::kMainSpect2Graph);
  ASSERT_EQ(plots.size(), 2u);
  EXPECT_EQ(plots[0].attributes.color, 0xFF0000);
  EXPECT_EQ(plots[0].x, (std::vector<double>{412, 440, 488, 510, 532, 555, 650, 676, 715}));
  EXPECT_EQ(plots[0].y, std::vector<double>(9, 0.1));
  EXPECT_EQ(plots[1].attributes.color, 0x0000FF);
  EXPECT_EQ(plots[1].y, std::vector<double>(9, 0.3));
  EXPECT_EQ(ui.GetCtrlText(main, p::kMainTitle).substr(0, 9), "RUN.DAT: ");

  // On the XY graph the same run labels its traces with the meter's headings.
  display->ShowGraph(graph_type::kXY);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(ui.Control(main, p::kMainLabel0 + 19)->label, "a412");
  EXPECT_EQ(ui.Control(main, p::kMainLabel0 + 16)->label, "c412");
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

}  // namespace
}  // namespace sondrix
