// SPDX-License-Identifier: GPL-3.0-or-later
// The display fed by the hyperspectral meter: 100 wavelengths, 200 traces
// (fewer mapped at skip values 2 and 3), from a live meter on a replayed
// capture and from a recording of it replayed as a data file. The strip
// chart's 64-trace limit and its note, the display configuration file of
// 200 traces, the dense spectrum drawing and the pages of trace labels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
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
      EXPECT_EQ(session.Publish(line), status::kOk);
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

TEST_F(HyperspectralTest, AReplayOf200TracesChartsEveryFourth) {
  Attach(Replay(Recording(1, 3)), graph_type::kStrip);
  EXPECT_EQ(display->traceCount(), 200);
  EXPECT_EQ(display->visibleCount(), 200);
  const SourceLine last = Run(3);
  EXPECT_EQ(chart().stripTraceCount, 50);
  // Chart trace k is trace 4k (C traces 0 ... 96, then A traces 100 ...
  // 196: both kinds over the whole spectrum), in its colour.
  for (int k : {0, 1, 24, 25, 40, 49}) {
    const std::vector<double> points = ui.StripTrace(main, p::kMainStripChart, k);
    ASSERT_EQ(points.size(), 3u) << k;
    EXPECT_DOUBLE_EQ(points.back(), last.values[static_cast<std::size_t>(4 * k)]) << k;
    EXPECT_EQ(chart().traces.at(k).color,
              display->TraceRGB(4 * k));
  }
  EXPECT_TRUE(ui.StripTrace(main, p::kMainStripChart, 50).empty());
  EXPECT_EQ(chart().xName, "Charting 50 of 200 traces, every 4th: c400 \u2026 a688");
  // The traces beyond the chart keep their read-outs: the twenty labels go
  // to the first twenty traces as always.
  EXPECT_EQ(display->labelSlot(0), 19);
  EXPECT_EQ(display->labelSlot(19), 0);
  EXPECT_EQ(ui.Control(main, p::kMainLabel0 + 19)->label, "c400");
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

TEST_F(HyperspectralTest, AtSkipTwoTheChartCarriesEverySecondMappedTrace) {
  Attach(Replay(Recording(2, 2)), graph_type::kStrip);
  EXPECT_EQ(display->visibleCount(), 100);
  const SourceLine last = Run(2);
  EXPECT_EQ(chart().stripTraceCount, 50);
  // Visible trace j is trace 2j: 0, 2, ... 98 (C), then 100, 102, ... (A);
  // chart trace k is visible trace 2k, trace 4k.
  for (int k : {0, 1, 24, 25, 49}) {
    const std::vector<double> points = ui.StripTrace(main, p::kMainStripChart, k);
    ASSERT_EQ(points.size(), 2u) << k;
    EXPECT_DOUBLE_EQ(points.back(), last.values[static_cast<std::size_t>(4 * k)]) << k;
    EXPECT_NE(points.back(), 0.0) << k;
  }
}

TEST_F(HyperspectralTest, ALiveMeterChartsTheSameTracesAsItsReplay) {
  Attach(LiveMeter(1, 4), graph_type::kStrip);
  const SourceLine last = Run(4);
  EXPECT_EQ(chart().stripTraceCount, 50);
  EXPECT_DOUBLE_EQ(ui.StripTrace(main, p::kMainStripChart, 49).back(), last.values[196]);
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
  EXPECT_EQ(chart().stripTraceCount, 50);
  EXPECT_DOUBLE_EQ(ui.StripTrace(main, p::kMainStripChart, 1).back(), last.values[4]);
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

// --- Label pages ----------------------------------------------------------------------

// Trace t's value in line n of a run: each trace keeps to a band of its own
// (t ... t + 0.1), so that a zoom on one trace is told from a zoom on any
// other.
double Value(int trace, int n) { return trace + 0.01 * n; }

SourceLine SpectrumLine(int traces, int n) {
  std::vector<double> values(static_cast<std::size_t>(traces));
  for (int t = 0; t < traces; ++t) values[static_cast<std::size_t>(t)] = Value(t, n);
  // A second of line time apart: every line refreshes the read-outs.
  return test::Line(std::move(values), 1000 * n);
}

std::string ReadOut(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%8.4f", value);
  return text;
}

class LabelPageTest : public HyperspectralTest {
 protected:
  // The 200-trace fake source on the XY graph with the traces `shown`
  // visible, at spacing `skip`.
  test::FakeSource* AttachSpectrum(const std::function<bool(int)>& shown, int skip = 1) {
    auto made = test::HyperspectralSource(HomeFile("hyper.dev"), kWavelengths, skip);
    test::FakeSource* source = made.get();
    EXPECT_EQ(display->Attach(std::move(made)), status::kOk);
    display->ShowGraph(graph_type::kXY);
    for (int t = 0; t < 200; ++t) display->SetVisible(t, shown(t));
    headings_ = source->headings;
    return source;
  }

  // Hands lines from..to - 1 to the display.
  void Lines(int from, int to) {
    for (int n = from; n < to; ++n) ASSERT_EQ(session.Publish(SpectrumLine(200, n)), status::kOk);
  }

  // The traces the label column shows, from the top, told by their
  // headings; each shown label's read-out is checked against `n`'s line.
  std::vector<int> Column(int n) {
    std::vector<int> traces;
    bool gap = false;
    for (int slot = kLabelSlots - 1; slot >= 0; --slot) {
      if (!Shown(p::kMainLabel0 + slot)) {
        gap = true;
        EXPECT_FALSE(Shown(p::kMainValue0 + slot)) << slot;
        continue;
      }
      EXPECT_FALSE(gap) << "slot " << slot << " is shown below an empty slot";
      const auto at = std::find(headings_.begin(), headings_.end(), Label(p::kMainLabel0 + slot));
      EXPECT_NE(at, headings_.end()) << Label(p::kMainLabel0 + slot);
      if (at == headings_.end()) continue;
      const int trace = static_cast<int>(at - headings_.begin());
      traces.push_back(trace);
      EXPECT_TRUE(Shown(p::kMainValue0 + slot)) << slot;
      EXPECT_EQ(Text(p::kMainValue0 + slot), ReadOut(Value(trace, n))) << "trace " << trace;
      EXPECT_EQ(display->labelSlot(trace), slot);
    }
    return traces;
  }

  bool Dimmed(int control) { return ui.Control(main, control)->dimmed; }

  std::vector<std::string> headings_;
};

// Every visible trace is on exactly one page, in index order, with its own
// read-out; the page read-out counts them; a label zooms on its own trace.
TEST_F(LabelPageTest, PagingVisitsEveryLabelledTraceOnceWithItsReadOutAndZoom) {
  struct Case {
    const char* name;
    std::function<bool(int)> shown;
    int skip;
  };
  const std::vector<Case> cases = {
      {"all", [](int) { return true; }, 1},
      {"every third hidden", [](int t) { return t % 3 != 1; }, 1},
      {"every second wavelength sent", [](int) { return true; }, 2},
      {"A only", [](int t) { return t >= 100; }, 1},
      {"twenty", [](int t) { return t >= 37 && t < 57; }, 1},
      {"twenty-one", [](int t) { return t >= 37 && t < 58; }, 1},
      {"none (every trace labelled)", [](int) { return false; }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AttachSpectrum(c.shown, c.skip);
    // What must be labelled: the visible traces the source sends, or every
    // trace when none is visible.
    std::vector<int> expected;
    for (int t = 0; t < 200; ++t) {
      if (c.shown(t) && t % kWavelengths % c.skip == 0) expected.push_back(t);
    }
    if (expected.empty()) {
      for (int t = 0; t < 200; ++t) expected.push_back(t);
    }
    const int pages = static_cast<int>((expected.size() + 19) / 20);

    ASSERT_EQ(display->InitPlot(), status::kOk);
    Lines(0, 3);
    EXPECT_EQ(display->labelPageCount(), pages);
    std::vector<int> seen;
    for (int page = 0; page < pages; ++page) {
      if (page > 0) display->SetLabelPage(display->labelPage() + 1);
      ASSERT_EQ(display->labelPage(), page);
      const std::vector<int> column = Column(2);
      ASSERT_FALSE(column.empty());
      seen.insert(seen.end(), column.begin(), column.end());
      // The pager: only with more than one page; dimmed at the ends.
      EXPECT_EQ(Shown(p::kMainTracePage), pages > 1);
      EXPECT_EQ(Shown(p::kMainTracePrev), pages > 1);
      if (pages > 1) {
        const std::string text = "Traces " + std::to_string(20 * page + 1) + "\u2013" +
                                 std::to_string(20 * page + static_cast<int>(column.size())) + " of " +
                                 std::to_string(expected.size());
        EXPECT_EQ(Text(p::kMainTracePage), text);
        EXPECT_EQ(Dimmed(p::kMainTracePrev), page == 0);
        EXPECT_EQ(Dimmed(p::kMainTraceNext), page == pages - 1);
      }
      // The top and the bottom label zoom on the trace they show.
      for (const std::size_t k : {std::size_t{0}, column.size() - 1}) {
        const int trace = column[k];
        display->AutoZoomChannel(kLabelSlots - 1 - static_cast<int>(k));
        const XYSettings zoom = Settings(graph_type::kXY);
        EXPECT_LE(zoom.xMin, Value(trace, 0)) << trace;
        EXPECT_GE(zoom.xMax, Value(trace, 2)) << trace;
        EXPECT_GT(zoom.xMin, Value(trace - 1, 2)) << trace;
        EXPECT_LT(zoom.xMax, Value(trace + 1, 0)) << trace;
      }
    }
    EXPECT_EQ(seen, expected);
    // Past the last page and before the first: nothing moves.
    display->SetLabelPage(pages);
    EXPECT_EQ(display->labelPage(), pages - 1);
    display->SetLabelPage(-1);
    EXPECT_EQ(display->labelPage(), 0);
  }
  EXPECT_TRUE(ui.problems().empty()) << ui.problems()[0];
}

TEST_F(LabelPageTest, APageStaysWhileLinesArriveAndItsReadOutsFollowThem) {
  AttachSpectrum([](int) { return true; });
  ASSERT_EQ(display->InitPlot(), status::kOk);
  // Before the first line a page has its labels and empty read-outs.
  display->SetLabelPage(9);
  EXPECT_EQ(Label(p::kMainLabel0 + 19), headings_[180]);
  for (int slot = 0; slot < kLabelSlots; ++slot) EXPECT_EQ(Text(p::kMainValue0 + slot), "") << slot;
  Lines(0, 2);
  display->SetLabelPage(3);
  const std::vector<int> before = Column(1);
  ASSERT_EQ(before.front(), 60);
  Lines(2, 6);
  EXPECT_EQ(display->labelPage(), 3);
  EXPECT_EQ(Column(5), before);
  EXPECT_EQ(Text(p::kMainTracePage), "Traces 61\u201380 of 200");
  // Back to a page seen before: its read-outs are the latest line's, not
  // those of the time it was last on show.
  display->SetLabelPage(0);
  EXPECT_EQ(Column(5).front(), 0);
}

TEST_F(LabelPageTest, TheNextRunKeepsThePageOfTheTraceFirstOnShow) {
  AttachSpectrum([](int) { return true; });
  ASSERT_EQ(display->InitPlot(), status::kOk);
  display->SetLabelPage(3);  // traces 60 ... 79
  // The same traces: the same page.
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(display->labelPage(), 3);
  // Ten traces before it hidden: trace 60 is now the 51st, on page 2.
  for (int t = 0; t < 10; ++t) display->SetVisible(t, false);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(display->labelPage(), 2);
  EXPECT_EQ(display->labelSlot(60), 9);
  // The trace first on show now (50) hidden: back to the first page.
  display->SetVisible(50, false);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  EXPECT_EQ(display->labelPage(), 0);
  // Another source begins on the first page, its pager hidden until a run.
  display->SetLabelPage(4);
  ASSERT_EQ(display->Attach(test::HyperspectralSource(HomeFile("other.dev"))), status::kOk);
  EXPECT_EQ(display->labelPage(), 0);
  EXPECT_FALSE(Shown(p::kMainTracePage));
  EXPECT_FALSE(Shown(p::kMainTracePrev));
}

// The A and C curves put two captions on the labels and hide the pager;
// any other graph brings the run's labels of the page back.
TEST_F(LabelPageTest, ThePageComesBackAfterTheCurves) {
  AttachSpectrum([](int) { return true; });
  ASSERT_EQ(display->InitPlot(), status::kOk);
  Lines(0, 1);
  display->SetLabelPage(2);
  display->ShowGraph(graph_type::kSpect2);
  EXPECT_FALSE(Shown(p::kMainTracePage));
  display->ShowGraph(graph_type::kXY);
  Lines(1, 2);
  const std::vector<int> column = Column(1);
  ASSERT_EQ(column.size(), 20u);
  EXPECT_EQ(column.front(), 40);
  EXPECT_EQ(column.back(), 59);
  EXPECT_TRUE(Shown(p::kMainTracePage));
}

// --- The strip chart's note -------------------------------------------------------------

// Up to 64 visible traces are all charted without a note; of more, every
// s-th visible trace is charted, fewer than 65 of them, and the chart says
// how many of how many, which step, and the first and last charted.
TEST_F(LabelPageTest, TheStripChartSaysWhichTracesItChartsExactlyWhenItCannotChartThemAll) {
  for (const int visible : {1, 18, 63, 64, 65, 100, 128, 129, 200}) {
    SCOPED_TRACE(visible);
    // The last `visible` traces, so that the C and A halves both take part
    // when more than 100 are visible.
    AttachSpectrum([visible](int t) { return t >= 200 - visible; });
    display->ShowGraph(graph_type::kStrip);
    ASSERT_EQ(display->InitPlot(), status::kOk);
    Lines(0, 1);
    std::vector<int> shown;
    for (int t = 200 - visible; t < 200; ++t) shown.push_back(t);
    const int step = (visible + 63) / 64;
    std::vector<int> charted;
    for (std::size_t k = 0; k < shown.size(); k += static_cast<std::size_t>(step)) charted.push_back(shown[k]);
    ASSERT_LE(charted.size(), 64u);
    EXPECT_EQ(chart().stripTraceCount, static_cast<int>(charted.size()));
    for (std::size_t k = 0; k < charted.size(); ++k) {
      const std::vector<double> points = ui.StripTrace(main, p::kMainStripChart, static_cast<int>(k));
      ASSERT_EQ(points.size(), 1u) << k;
      EXPECT_DOUBLE_EQ(points[0], Value(charted[k], 0)) << k;
    }
    const std::string caption = chart().xName;
    if (visible <= 64) {
      EXPECT_EQ(caption, "");
      EXPECT_EQ(strip().note(), "");
    } else {
      const std::string ordinal = step == 2 ? "2nd" : step == 3 ? "3rd" : std::to_string(step) + "th";
      EXPECT_EQ(caption, "Charting " + std::to_string(charted.size()) + " of " + std::to_string(visible) +
                             " traces, every " + ordinal + ": " + headings_[static_cast<std::size_t>(charted.front())] +
                             " \u2026 " + headings_[static_cast<std::size_t>(charted.back())]);
    }
  }
}

}  // namespace
}  // namespace sondrix
