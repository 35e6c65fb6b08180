// A source whose traces, colours, wavelengths and headings are set by the
// test, and a fixture with the main panel and a Display on the headless UI.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/panels.h"
#include "display/display.h"
#include "source/source.h"
#include "source/source_line.h"
#include "support/fixtures.h"

namespace sondrix::test {

class FakeSource : public Source {
 public:
  // `traceMap` gives each trace's kind (3 absorption, 5 attenuation, 0 none).
  FakeSource(std::string filename, std::vector<int> traceMap)
      : Source(filename, "COM1"), map_(std::move(traceMap)) {
    for (std::size_t i = 0; i < map_.size(); ++i) {
      wavelengths.push_back(400.0 + 10.0 * static_cast<double>(i));
      colors.push_back(static_cast<int>(i % 16));
      headings.push_back((map_[i] & 4 ? "c" : "a") + std::to_string(i));
    }
  }

  int GetTraceCount() override { return static_cast<int>(map_.size()); }
  int GetInTraceCount() override { return GetTraceCount(); }
  int GetTraceMap(TraceMap& map) override {
    map.fill(0);
    std::copy(map_.begin(), map_.end(), map.begin());
    return GetTraceCount();
  }
  Status GetColors(std::span<int> out) override {
    std::copy_n(colors.begin(), std::min(colors.size(), out.size()), out.begin());
    return status::kOk;
  }
  Status GetWavelengths(std::span<double> out) override {
    std::copy_n(wavelengths.begin(), std::min(wavelengths.size(), out.size()), out.begin());
    return status::kOk;
  }
  Status GetHeading(int trace, std::string& heading) override {
    if (trace < 0 || trace >= static_cast<int>(headings.size())) return status::kNoSuchHeading;
    heading = headings[static_cast<std::size_t>(trace)];
    return status::kOk;
  }
  Status GetID(std::string& id) override {
    id = "Test meter";
    return status::kOk;
  }
  std::uint32_t GetSerialnum() override { return 0x0400012D; }
  Status GetDate(std::string& date, std::string& time) override {
    date = "03-05-2024";
    time = "14:07:09";
    return status::kOk;
  }
  int GetStatus() override { return statusWord; }
  double GetSampleRate() override { return 6.0; }
  int HasDepth() override { return depth ? 1 : 0; }
  int HasExtTemp() override { return extTemp ? 1 : 0; }
  int GetOrigBinsize() override { return 1; }
  Status Reset() override {
    ++resets;
    return status::kOk;
  }
  Status Close() override {
    ++*closes;
    return status::kOk;
  }
  Status NewDataFile(std::unique_ptr<DataFile>& out, std::string_view) override {
    out.reset();
    return recordable ? status::kOk : status::kMeterNoNewDataFile;
  }

  std::vector<double> wavelengths;
  std::vector<int> colors;
  std::vector<std::string> headings;
  int statusWord = 0;
  bool depth = false;
  bool extTemp = false;
  bool recordable = true;
  int resets = 0;
  std::shared_ptr<int> closes = std::make_shared<int>(0);

 private:
  std::vector<int> map_;
};

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
inline SourceLine Line(std::vector<double> values, std::int32_t timeMs = 0, double temperature = 20.0,
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
    EXPECT_EQ(Display::New(display, main), status::kOk);
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
  std::unique_ptr<Display> display;
};

}  // namespace sondrix::test
