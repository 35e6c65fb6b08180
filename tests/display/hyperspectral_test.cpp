// The display fed by the hyperspectral meter: 100 wavelengths, 200 traces
// (fewer mapped at skip values 2 and 3), from a live meter on a replayed
// capture and from a recording of it replayed as a data file. The strip
// chart's 64-trace limit, the display configuration file of 200 traces and
// the dense spectrum drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/panels.h"
#include "datafile/data_file.h"
#include "display/display.h"
#include "display/spect_graph.h"
#include "display/strip.h"
#include "display/xy_graph.h"
#include "meter/benth_fixtures.h"
#include "meter/source_factory.h"
#include "source/source.h"
#include "source/source_line.h"

#include "display_fixtures.h"

namespace sondrix {
namespace {

namespace p = panels;

constexpr int kWavelengths = 100;

class HyperspectralTest : public test::DisplayTest {
 protected:
  // A device file of 100 wavelengths (c400, c403, ... c697) at skip value
  // `skip` and a capture of `lines` samples (the first the one the meter's
  // reset synchronises on) whose C and A signals fall with the wavelength,
  // so that every value differs from its neighbours and none is 0.
  std::string Device(int skip, int lines) {
    test::WriteTextFile(HomeFile("benth.dev"), test::BenthDeviceText(2, kWavelengths, skip));
    std::string bytes;
    test::BenthSpectrum spectrum;
    for (int i = 0; i < kWavelengths; ++i) {
      spectrum.c.push_back(static_cast<std::uint16_t>(29000 - 100 * i));
      spectrum.a.push_back(static_cast<std::uint16_t>(29500 - 50 * i));
    }
    for (int k = 0; k < lines; ++k) {
      test::BenthPacketSpec spec = test::BenthSkip(skip);
      spec.time = static_cast<std::uint32_t>(17 * k);  // 10 ms units: 6 samples a second
      const auto packet = test::BenthPacket(kWavelengths, spec, spectrum);
      bytes.append(packet.begin(), packet.end());
    }
    test::WriteTextFile(HomeFile("benth.raw"), bytes);
    return HomeFile("benth.dev");
  }

  // The meter of Device(skip, lines), open on its capture, not yet reset.
  std::unique_ptr<Source> LiveMeter(int skip, int lines) {
    std::unique_ptr<Source> meter;
    EXPECT_EQ(NewSource(meter, kSourceKindDevice, Device(skip, lines), HomeFile("benth.raw")), status::kOk);
    if (meter) {
      EXPECT_EQ(meter->Open(), status::kOk);
    }
    return meter;
  }

  // Records `lines` lines of that meter into "run.dat" as a run does and
  // returns its path.
  std::string Recording(int skip, int lines) {
    std::unique_ptr<Source> meter = LiveMeter(skip, lines);
    EXPECT_EQ(meter->Reset(), status::kOk);
    std::unique_ptr<DataFile> file;
    EXPECT_EQ(meter->NewDataFile(file, HomeFile("run.tmp")), status::kOk);
    EXPECT_EQ(file->OpenWrite(meter.get()), status::kOk);
    SourceLine line(meter->GetTraceCount());
    int written = 0;
    for (int polls = 0; polls < 100 * lines && written < lines; ++polls) {
      if (meter->CanRead() == 0) continue;
      const Status result = meter->Read(line);
      if (result != status::kOk) continue;
      EXPECT_EQ(file->WriteData(line), status::kOk);
      ++written;
    }
    EXPECT_EQ(written, lines);
    EXPECT_EQ(file->Close(), status::kOk);
    EXPECT_EQ(file->SaveAs(HomeFile("run.dat")), status::kOk);
    meter->Close();
    return HomeFile("run.dat");
  }

  // The recording opened for replay.
  std::unique_ptr<Source> Replay(const std::string& path) {
    std::unique_ptr<Source> source;
    EXPECT_EQ(NewSource(source, kSourceKindFile, path, ""), status::kOk);
    if (source) {
      EXPECT_EQ(source->Open(), status::kOk);
    }
    return source;
  }

  void Attach(std::unique_ptr<Source> source, int type) {
    ASSERT_EQ(display->Attach(std::move(source)), status::kOk);
    display->ShowGraph(type);
  }

  // Starts a run and hands `lines` good lines to the display as the
  // acquisition loop does; the last line handed over.
  SourceLine Run(int lines) {
    EXPECT_EQ(display->InitPlot(), status::kOk);
    Source& source = *display->source();
    SourceLine line(source.GetTraceCount());
    int plotted = 0;
    for (int polls = 0; polls < 100 * lines && plotted < lines; ++polls) {
      if (source.CanRead() == 0) continue;
      const Status result = source.Read(line);
      if (result == status::kNoData) continue;
      EXPECT_EQ(result, status::kOk);
      if (result != status::kOk) break;
      EXPECT_EQ(display->Plot(line), status::kOk);
      if (line.status == status::kOk) ++plotted;
    }
    EXPECT_EQ(plotted, lines);
    return line;
  }

  // A recording of `lines` lines at `skip` replayed with graph `type` on
  // show; the last line.
  SourceLine ReplayRun(int skip, int lines, int type) {
    Attach(Replay(Recording(skip, lines)), type);
    return Run(lines);
  }

  XYSettings Settings(int type) { return static_cast<XYGraph&>(*display->graph(type)).settings(); }
  // 400 ... 697 nm rounded out to tens; the bars with 5 nm more on either side.
  void ExpectWavelengthAxis(int type) {
    const bool bars = type == graph_type::kSpect;
    EXPECT_EQ(Settings(type).xMin, bars ? 390.0 : 400.0);
    EXPECT_EQ(Settings(type).xMax, bars ? 710.0 : 700.0);
  }
  Strip& strip() { return static_cast<Strip&>(*display->graph(graph_type::kStrip)); }
  const platform::HeadlessControl& chart() { return *ui.Control(main, p::kMainStripChart); }
};

// --- The strip chart ------------------------------------------------------------------

TEST_F(HyperspectralTest, AReplayOf200TracesChartsTheFirst64) {
  Attach(Replay(Recording(1, 3)), graph_type::kStrip);
  EXPECT_EQ(display->traceCount(), 200);
  EXPECT_EQ(display->visibleCount(), 200);
  const SourceLine last = Run(3);
  EXPECT_EQ(chart().stripTraceCount, 64);
  // Chart trace k is trace k (the C traces from 400 nm), in its colour.
  for (int k : {0, 1, 40, 63}) {
    const std::vector<double> points = ui.StripTrace(main, p::kMainStripChart, k);
    ASSERT_EQ(points.size(), 3u) << k;
    EXPECT_DOUBLE_EQ(points.back(), last.values[static_cast<std::size_t>(k)]) << k;
    EXPECT_EQ(std::get<int>(chart().traceAttributes.at(k).at(platform::Attr::TraceColor)),
              display->TraceRGB(k));
  }
  EXPECT_TRUE(ui.StripTrace(main, p::kMainStripChart, 64).empty());
  // The traces beyond the chart keep their read-outs: the twenty labels go
  // to the first twenty traces as always.
  EXPECT_EQ(display->labelSlot(0), 19);
  EXPECT_EQ(display->labelSlot(19), 0);
  EXPECT_EQ(ui.Control(main, p::kMainLabel0 + 19)->label, "c400");
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

TEST_F(HyperspectralTest, AtSkipTwoTheChartCarriesTheFirst64MappedTraces) {
  Attach(Replay(Recording(2, 2)), graph_type::kStrip);
  EXPECT_EQ(display->visibleCount(), 100);
  const SourceLine last = Run(2);
  EXPECT_EQ(chart().stripTraceCount, 64);
  // Visible trace k is trace 2k: 0, 2, ... 98 (C), then 100, 102, ... 126 (A).
  for (int k : {0, 1, 49, 50, 63}) {
    const std::vector<double> points = ui.StripTrace(main, p::kMainStripChart, k);
    ASSERT_EQ(points.size(), 2u) << k;
    EXPECT_DOUBLE_EQ(points.back(), last.values[static_cast<std::size_t>(2 * k)]) << k;
    EXPECT_NE(points.back(), 0.0) << k;
  }
}

TEST_F(HyperspectralTest, ALiveMeterChartsTheSameTracesAsItsReplay) {
  Attach(LiveMeter(1, 4), graph_type::kStrip);
  const SourceLine last = Run(4);
  EXPECT_EQ(chart().stripTraceCount, 64);
  EXPECT_DOUBLE_EQ(ui.StripTrace(main, p::kMainStripChart, 63).back(), last.values[63]);
}

// --- The display configuration file --------------------------------------------------

// Settings unlike every default, exact in five decimals.
XYSettings Unusual(int type) {
  return XYSettings{-0.25 * type, 1.5 + type, 380.0 + type, 745.5, 0, 1, 0, 1, 3 + type, 2};
}

TEST_F(HyperspectralTest, TheConfigurationOf200TracesRoundTrips) {
  const std::string run = Recording(1, 1);
  Attach(Replay(run), graph_type::kDepth);
  std::vector<bool> shown(kMaxTraces, false);
  for (int i = 0; i < 200; ++i) {
    // Every third trace, the last ten of each half and trace 199 hidden.
    shown[static_cast<std::size_t>(i)] = i % 3 != 1 && !(i >= 90 && i < 100) && i != 199;
    display->SetVisible(i, shown[static_cast<std::size_t>(i)]);
  }
  display->SetDisplayBinsize(4);
  ASSERT_EQ(display->source()->SetBinsize(3), status::kOk);
  for (int type : {graph_type::kXY, graph_type::kTemp, graph_type::kDepth, graph_type::kSpect,
                   graph_type::kSpect2}) {
    static_cast<XYGraph&>(*display->graph(type)).set_settings(Unusual(type));
  }
  strip().set_settings(StripSettings{-0.5, 2.25, 12});
  ASSERT_EQ(display->WriteConfig(), status::kOk);

  // Another source in between, all of whose traces are visible, then the
  // recording once more.
  ASSERT_EQ(display->Attach(test::NineWavelengthSource(HomeFile("nerit.dev"))), status::kOk);
  display->ShowGraph(graph_type::kSpect);
  ASSERT_EQ(display->Attach(Replay(run)), status::kOk);

  EXPECT_EQ(display->current()->GetType(), graph_type::kDepth);
  EXPECT_EQ(display->displayBinsize(), 4);
  EXPECT_EQ(display->source()->GetBinsize(), 3);
  int count = 0;
  for (int i = 0; i < kMaxTraces; ++i) {
    EXPECT_EQ(display->visible(i), shown[static_cast<std::size_t>(i)]) << "trace " << i;
    count += shown[static_cast<std::size_t>(i)] ? 1 : 0;
  }
  EXPECT_EQ(display->visibleCount(), count);
  for (int type : {graph_type::kXY, graph_type::kTemp, graph_type::kDepth}) {
    EXPECT_EQ(Settings(type), Unusual(type)) << "graph " << type;
  }
  // The spectrum graphs' wavelength axis is the source's, from the moment it
  // is open; everything else is as stored.
  for (int type : {graph_type::kSpect, graph_type::kSpect2}) {
    XYSettings expected = Unusual(type);
    expected.xMin = type == graph_type::kSpect ? 390.0 : 400.0;
    expected.xMax = type == graph_type::kSpect ? 710.0 : 700.0;
    EXPECT_EQ(Settings(type), expected) << "graph " << type;
  }
  EXPECT_EQ(strip().settings(), (StripSettings{-0.5, 2.25, 12}));
}

TEST_F(HyperspectralTest, AConfigurationWithEveryTraceHiddenStaysSo) {
  const std::string run = Recording(1, 1);
  Attach(Replay(run), graph_type::kXY);
  for (int i = 0; i < 200; ++i) display->SetVisible(i, false);
  // The list line is then a bare comment; the graph line after it is not
  // read in its place (its 7.5 would make trace 7 visible).
  const XYSettings xy{7.5, 9.0, 0.0, 0.5, 0, 0, 1, 1, 5, 5};
  static_cast<XYGraph&>(*display->graph(graph_type::kXY)).set_settings(xy);
  ASSERT_EQ(display->WriteConfig(), status::kOk);
  ASSERT_EQ(display->Attach(Replay(run)), status::kOk);
  EXPECT_EQ(display->visibleCount(), 0);
  EXPECT_FALSE(display->visible(7));
  EXPECT_EQ(Settings(graph_type::kXY), xy);
}

TEST_F(HyperspectralTest, AtSkipTwoOnlyTheMappedTracesAreListed) {
  const std::string run = Recording(2, 1);
  Attach(Replay(run), graph_type::kSpect2);
  ASSERT_EQ(display->WriteConfig(), status::kOk);
  const std::string text = test::ReadTextFile(display->ConfigPath()).value_or("");
  const std::size_t from = text.find("\n0\t2\t4\t");
  ASSERT_NE(from, std::string::npos) << text;
  const std::string list = text.substr(from + 1, text.find('\n', from + 1) - from - 1);
  EXPECT_EQ(std::count(list.begin(), list.end(), '\t'), 100 + 1);
  EXPECT_NE(list.find("\t198\t\t; visible traces"), std::string::npos) << list;
  ASSERT_EQ(display->Attach(Replay(run)), status::kOk);
  EXPECT_EQ(display->visibleCount(), 100);
}

// --- Dense spectra --------------------------------------------------------------------

TEST_F(HyperspectralTest, TheCurvesOfAReplayAreLinesOfAHundredPointsOver400To700) {
  const SourceLine last = ReplayRun(1, 2, graph_type::kSpect2);
  ExpectWavelengthAxis(graph_type::kSpect2);
  const auto& plots = Plots(p::kMainSpect2Graph);
  ASSERT_EQ(plots.size(), 2u);
  // Red A curve first: traces 100 ... 199.
  EXPECT_EQ(plots[0].attributes.color, kAbsorptionRGB);
  EXPECT_EQ(plots[1].attributes.color, kAttenuationRGB);
  for (const auto& plot : plots) {
    ASSERT_EQ(plot.x.size(), 100u);
    EXPECT_EQ(plot.attributes.plotStyle, platform::PlotStyle::ThinLine);
    EXPECT_EQ(plot.attributes.pointFrequency, 0);
    EXPECT_EQ(plot.x.front(), 400.0);
    EXPECT_EQ(plot.x.back(), 697.0);
  }
  EXPECT_DOUBLE_EQ(plots[0].y[5], last.values[105]);
  EXPECT_DOUBLE_EQ(plots[1].y[5], last.values[5]);
}

// A skip value above one leaves holes in the line that hold 0.0: they are
// no wavelength of the instrument and must not pull the curves to zero.
void ExpectNoHoles(const std::vector<platform::HeadlessPlot>& plots, std::size_t points, int skip) {
  ASSERT_EQ(plots.size(), 2u);
  for (const auto& plot : plots) {
    ASSERT_EQ(plot.x.size(), points);
    for (std::size_t j = 0; j < points; ++j) {
      EXPECT_NE(plot.y[j], 0.0) << "point " << j;
      EXPECT_EQ(plot.x[j], 400.0 + 3.0 * skip * static_cast<double>(j));
    }
  }
}

TEST_F(HyperspectralTest, AReplayAtSkipTwoDrawsFiftyPointsACurveAndNoHoles) {
  ReplayRun(2, 2, graph_type::kSpect2);
  ExpectNoHoles(Plots(p::kMainSpect2Graph), 50, 2);
  EXPECT_EQ(Plots(p::kMainSpect2Graph)[0].attributes.plotStyle, platform::PlotStyle::ThinLine);
}

TEST_F(HyperspectralTest, AReplayAtSkipThreeDrawsThirtyThreePointsACurve) {
  ReplayRun(3, 2, graph_type::kSpect2);
  ExpectNoHoles(Plots(p::kMainSpect2Graph), 33, 3);
}

// The live meter learns its skip value from the instrument at reset, that
// is after the display counted its traces for the run.
TEST_F(HyperspectralTest, TheFirstLiveRunAtSkipTwoDrawsNoHoles) {
  Attach(LiveMeter(2, 3), graph_type::kSpect2);
  Run(2);
  ExpectNoHoles(Plots(p::kMainSpect2Graph), 50, 2);
  EXPECT_EQ(display->visibleCount(), 100);
  // Labels went to mapped traces only: 0, 2, 4, ...
  EXPECT_EQ(display->labelSlot(1), -1);
  EXPECT_EQ(display->labelSlot(2), 18);
}

TEST_F(HyperspectralTest, TheFirstLiveRunAtSkipTwoChartsMappedTracesOnly) {
  Attach(LiveMeter(2, 3), graph_type::kStrip);
  const SourceLine last = Run(2);
  EXPECT_EQ(chart().stripTraceCount, 64);
  EXPECT_DOUBLE_EQ(ui.StripTrace(main, p::kMainStripChart, 1).back(), last.values[2]);
}

// The wavelengths a meter at skip 2 does not send keep the user's choice: set
// back to every wavelength, it shows all 200 traces again, although the
// display's file was written while half of them were off the map.
TEST_F(HyperspectralTest, AMeterSetBackToEveryWavelengthShowsThemAll) {
  Attach(LiveMeter(2, 3), graph_type::kSpect2);
  Run(2);
  EXPECT_EQ(display->visibleCount(), 100);
  EXPECT_FALSE(display->visible(1));
  ASSERT_EQ(display->WriteConfig(), status::kOk);

  Attach(LiveMeter(1, 3), graph_type::kSpect2);
  Run(2);
  EXPECT_EQ(display->visibleCount(), 200);
  EXPECT_TRUE(display->visible(1));
  const auto& plots = Plots(p::kMainSpect2Graph);
  ASSERT_EQ(plots.size(), 2u);
  EXPECT_EQ(plots[0].x.size(), 100u);
  EXPECT_EQ(plots[1].x.size(), 100u);
}

// Traces the user hid stay hidden when the meter sends them again.
TEST_F(HyperspectralTest, TracesTheUserHidAtSkipTwoStayHidden) {
  Attach(LiveMeter(2, 3), graph_type::kSpect2);
  Run(2);
  for (int i = 0; i < 200; ++i) display->SetVisible(i, i < 100);  // the C traces only
  ASSERT_EQ(display->WriteConfig(), status::kOk);
  Attach(LiveMeter(1, 3), graph_type::kSpect2);
  Run(1);
  EXPECT_EQ(display->visibleCount(), 100);
  EXPECT_TRUE(display->visible(1));
  EXPECT_FALSE(display->visible(101));
}

TEST_F(HyperspectralTest, DenseBarsStandOnePerTraceAtTheirWavelengths) {
  const SourceLine last = ReplayRun(1, 1, graph_type::kSpect);
  ExpectWavelengthAxis(graph_type::kSpect);
  const auto& plots = Plots(p::kMainSpectGraph);
  ASSERT_EQ(plots.size(), 200u);
  for (std::size_t i = 0; i < plots.size(); ++i) {
    EXPECT_EQ(plots[i].attributes.plotStyle, platform::PlotStyle::FatLine) << i;
    EXPECT_EQ(plots[i].x[0], 400.0 + 3.0 * static_cast<double>(i % 100)) << i;
    EXPECT_EQ(plots[i].y, (std::vector<double>{0.0, last.values[i]})) << i;
  }
}

}  // namespace
}  // namespace sondrix
