// SPDX-License-Identifier: GPL-3.0-or-later
// A source whose traces, colours, wavelengths and headings are set by the
// test, and a fixture with the main panel and a Display on the headless UI.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/panels.h"
#include "display/display.h"
#include "display/fake_source.h"
#include "source/source_line.h"
#include "support/fixtures.h"

namespace sondrix::test {

// Nine A traces (0 ... 8) and nine C traces (9 ... 17) at the wavelengths of
// the nine-wavelength meter.
inline std::unique_ptr<FakeSource> NineWavelengthSource(const std::string& file) {
  std::vector<int> map(9, kTraceA);
  map.insert(map.end(), 9, kTraceC);
  auto source = std::make_unique<FakeSource>(file, map);
  const double nm[9] = {412.3, 440, 488, 510, 532, 555, 650, 676, 715};
  for (int i = 0; i < 18; ++i) source->wavelengths[static_cast<std::size_t>(i)] = nm[i % 9];
  return source;
}

// A good line of data.
inline SourceLine Line(std::vector<double> values, std::int64_t timeMs = 0, double temperature = 20.0,
                       double depth = 0.0) {
  SourceLine line(static_cast<int>(values.size()));
  line.status = status::kOk;
  line.time = timeMs;
  line.temperature = temperature;
  line.depth = depth;
  line.values = std::move(values);
  return line;
}

class DisplayTest : public HeadlessTest {
 protected:
  DisplayTest() {
    main = ui.LoadPanel(0, panels::kMain);
    EXPECT_EQ(Display::New(display, main, session), status::kOk);
  }

  // Attaches a source of `traces` absorption traces, all visible, and puts
  // graph `type` on show.
  FakeSource* AttachTraces(int traces, int type = graph_type::kXY) {
    auto source = std::make_unique<FakeSource>(HomeFile("meter.dev"), std::vector<int>(traces, kTraceA));
    FakeSource* raw = source.get();
    EXPECT_EQ(display->Attach(std::move(source)), status::kOk);
    display->ShowGraph(type);
    return raw;
  }

  std::string Text(int control) { return ui.GetCtrlText(main, control); }
  bool Shown(int control) {
    platform::CtrlValue value;
    ui.GetCtrlAttribute(main, control, platform::Attr::Visible, value);
    return std::get<int>(value) != 0;
  }
  std::string Label(int control) { return ui.Control(main, control)->label; }
  const std::vector<platform::HeadlessPlot>& Plots(int control) { return ui.Plots(main, control); }

  int main = 0;
  // The session the display is a view of; it outlives the display.
  Session session;
  std::unique_ptr<Display> display;
};

}  // namespace sondrix::test
