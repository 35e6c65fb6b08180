// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/panels.h"
#include "common/status.h"
#include "common/utils.h"
#include "config/meter_config.h"
#include "config_files.h"
#include "fakes.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

namespace pn = panels;
using platform::CtrlValue;
using test::ScriptedSource;

class Editor : public test::HeadlessTest {
 protected:
  // Reads one of the example files into `config`.
  void Load(const char* file, int traces) {
    config = std::make_unique<MeterConfig>(traces, traces);
    source = std::make_unique<ScriptedSource>(traces);
    auto text = test::ReadTextFile(std::string(SONDRIX_EXAMPLES_DIR "/") + file);
    ASSERT_TRUE(text);
    auto stream = test::TextStream(*text);
    ASSERT_EQ(config->ReadConfig(stream.get()), status::kOk);
    before = test::Written([&](std::FILE* f) { return config->WriteConfig(f); });
  }

  Status Edit() { return config->EditConfig(*source, changed); }

  std::string Text() const {
    return test::Written([&](std::FILE* f) { return config->WriteConfig(f); });
  }

  const platform::HeadlessControl& Live(int control) const {
    return *ui.Control(ui.NewestHandle(pn::kMeterConfig), control);
  }

  std::unique_ptr<MeterConfig> config;
  std::unique_ptr<ScriptedSource> source;
  std::string before;
  int changed = -1;
};

TEST_F(Editor, OkWithoutChangeIsNotAChange) {
  Load("pelag-3wl.dev", 6);
  ui.Commit(pn::kMeterConfig, pn::kMcOk);
  EXPECT_EQ(Edit(), status::kOk);
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(Text(), before);
  EXPECT_EQ(ui.NewestHandle(pn::kMeterConfig), 0) << "the panel is discarded";
  EXPECT_TRUE(ui.problems().empty());
}

TEST_F(Editor, CancelAndCloseKeepTheConfiguration) {
  Load("pelag-3wl.dev", 6);
  ui.Commit(pn::kMeterConfig, pn::kMcCancel, {{pn::kMcName, std::string("Other")}});
  EXPECT_EQ(Edit(), status::kCancelled);
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(Text(), before);

  ui.Set(pn::kMeterConfig, {{pn::kMcTraceName, std::string("a441")}}).Close(pn::kMeterConfig);
  EXPECT_EQ(Edit(), status::kCancelled);
  EXPECT_EQ(Text(), before);
  EXPECT_TRUE(ui.problems().empty());
}

TEST_F(Editor, ShowsTheConfiguration) {
  Load("nerit-9wl.dev", 18);
  ui.Then([&](platform::HeadlessUi&) {
      EXPECT_EQ(Live(pn::kMcName).value, CtrlValue(std::string("Nerit nine-wavelength meter 301")));
      EXPECT_EQ(Live(pn::kMcDevType).value, CtrlValue(4));
      EXPECT_EQ(Live(pn::kMcSerial).value, CtrlValue(0x12D));
      EXPECT_EQ(Live(pn::kMcBaud).value, CtrlValue(19200));
      EXPECT_EQ(Live(pn::kMcDepthScale).value, CtrlValue(0.0035));
      ASSERT_EQ(Live(pn::kMcTraceList).items.size(), 18u);
      EXPECT_EQ(Live(pn::kMcTraceList).items[3].label, "c412");
      EXPECT_EQ(Live(pn::kMcTraceName).value, CtrlValue(std::string("a412")));
      EXPECT_EQ(Live(pn::kMcColor).value, CtrlValue(static_cast<int>(VantorColorToRGB(5))));
      EXPECT_FALSE(Live(pn::kMcRefTemp).visible);
      EXPECT_FALSE(Live(pn::kMcTempSlope).visible);
      const int handle = ui.NewestHandle(pn::kMeterConfig);
      EXPECT_EQ(ui.StripTrace(handle, pn::kMcPreview, 0),
                (std::vector<double>{30, 40, 20, 45, 40, 54, 35, 45, 20, 50}));
    })
      .Commit(pn::kMeterConfig, pn::kMcCancel);
  EXPECT_EQ(Edit(), status::kCancelled);
}

TEST_F(Editor, Version0ShowsTheLinearTemperatureModel) {
  Load("ameter.dev", 3);
  ui.Then([&](platform::HeadlessUi&) {
      EXPECT_TRUE(Live(pn::kMcRefTemp).visible);
      EXPECT_EQ(Live(pn::kMcRefTemp).value, CtrlValue(20.0));
    })
      .Set(pn::kMeterConfig, {{pn::kMcTempSlope, 0.002}})
      .Commit(pn::kMeterConfig, pn::kMcOk);
  EXPECT_EQ(Edit(), status::kOk);
  EXPECT_EQ(changed, 1);
  EXPECT_DOUBLE_EQ(config->traces[0].tempSlope, 0.002);
}

TEST_F(Editor, TraceEditsGoIntoTheConfigurationOnOk) {
  Load("pelag-3wl.dev", 6);
  ui.Set(pn::kMeterConfig, {{pn::kMcTraceName, std::string("a445 extra")},
                            {pn::kMcOffset, 0.5},
                            {pn::kMcColor, 0x0000FF}})
      .Select(pn::kMeterConfig, pn::kMcTraceList, 4)
      .Then([&](platform::HeadlessUi&) {
        EXPECT_EQ(Live(pn::kMcTraceList).items[0].label, "a445");
        EXPECT_EQ(Live(pn::kMcTraceName).value, CtrlValue(std::string("c550")));
      })
      .Commit(pn::kMeterConfig, pn::kMcColor, {{pn::kMcColor, 0xFF0000}})
      .Then([&](platform::HeadlessUi&) {
        const auto& preview = Live(pn::kMcPreview);
        // The preview shows the palette entry the trace will be drawn in.
        const auto shown = static_cast<int>(VantorColorToRGB(RBGToVantorColor(0xFF0000)));
        EXPECT_EQ(preview.traces.at(0).color, shown);
      })
      .Commit(pn::kMeterConfig, pn::kMcOk, {{pn::kMcName, std::string("Renamed\t  ")}});
  EXPECT_EQ(Edit(), status::kOk);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(config->name, "Renamed");
  EXPECT_EQ(config->traces[0].name, "a445");
  EXPECT_DOUBLE_EQ(config->traces[0].wavelength, 445.0);
  EXPECT_DOUBLE_EQ(config->traces[0].offset, 0.5);
  EXPECT_EQ(config->traces[0].color, 25);
  EXPECT_EQ(config->traces[4].color, RBGToVantorColor(0xFF0000));
}

TEST_F(Editor, ZeroOffsetsOfTheTickedKind) {
  Load("pelag-3wl.dev", 6);
  ui.Commit(pn::kMeterConfig, pn::kMcZero, {{pn::kMcZeroA, 1}, {pn::kMcZeroC, 0}})
      .Then([&](platform::HeadlessUi&) { EXPECT_EQ(Live(pn::kMcOffset).value, CtrlValue(0.0)); })
      .Commit(pn::kMeterConfig, pn::kMcOk);
  const double c550 = config->traces[4].offset;
  EXPECT_EQ(Edit(), status::kOk);
  EXPECT_EQ(changed, 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(config->traces[i].offset, 0.0);
  EXPECT_EQ(config->traces[4].offset, c550);
}

TEST_F(Editor, CalibrationRunsWithThePanelHidden) {
  Load("pelag-3wl.dev", 6);
  source->Good({1, 1, 1, 2, 2, 2}, 2);
  bool hiddenWhileReading = true;
  source->onRead = [&] { hiddenWhileReading &= !ui.IsDisplayed(ui.NewestHandle(pn::kMeterConfig)); };
  ui.Commit(pn::kMeterConfig, pn::kMcCalibrate,
            {{pn::kMcCalSamples, 2}, {pn::kMcCalA, 0}, {pn::kMcCalC, 1}});
  test::AfterWaitMessage(ui, [&](platform::HeadlessUi& u) {
    EXPECT_TRUE(ui.IsDisplayed(ui.NewestHandle(pn::kMeterConfig)));
    EXPECT_EQ(ui.cursor(), platform::Cursor::Default);
    u.Commit(pn::kMeterConfig, pn::kMcOk);
  });
  const double a440 = config->traces[0].offset;
  EXPECT_EQ(Edit(), status::kOk);
  EXPECT_TRUE(hiddenWhileReading);
  EXPECT_EQ(source->reads, 2);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(config->traces[0].offset, a440);
  EXPECT_EQ(config->traces[3].offset, -2.0);
}

TEST_F(Editor, FailedCalibrationIsReportedAndChangesNothing) {
  Load("pelag-3wl.dev", 6);
  source->Lost(6);
  ui.Commit(pn::kMeterConfig, pn::kMcCalibrate, {{pn::kMcCalSamples, 3}});
  test::AfterWaitMessage(ui, [](platform::HeadlessUi& u) { u.Commit(pn::kMeterConfig, pn::kMcOk); });
  EXPECT_EQ(Edit(), status::kOk);
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{StatusText(status::kUnrecognisedData)});
}

TEST_F(Editor, DepthZeroingWithTheScaleOnThePanel) {
  Load("cmeter.dev", 3);
  for (int i = 0; i < 6; ++i) source->port().Append(test::Packet(3, 1000));
  ui.Commit(pn::kMeterConfig, pn::kMcDepthCal, {{pn::kMcDepthScale, 0.01}});
  test::AfterWaitMessage(ui, [&](platform::HeadlessUi& u) {
    EXPECT_EQ(Live(pn::kMcDepthOffset).value, CtrlValue(-10.0));
    u.Commit(pn::kMeterConfig, pn::kMcOk);
  });
  EXPECT_EQ(Edit(), status::kOk);
  EXPECT_EQ(changed, 1);
  EXPECT_DOUBLE_EQ(config->depthScale, 0.01);
  EXPECT_DOUBLE_EQ(config->depthOffset, -10.0);
}

TEST_F(Editor, OkRefusesAConfigurationThatDoesNotFitItsDeviceType) {
  Load("pelag-3wl.dev", 6);
  config->serialnum = 0x040000A7;  // a nine-wavelength type with six traces
  ui.Commit(pn::kMeterConfig, pn::kMcOk).Commit(pn::kMeterConfig, pn::kMcCancel);
  EXPECT_EQ(Edit(), status::kCancelled);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Trace count is wrong for device type"});

  ui.ClearRecords();
  config->serialnum = 0x050000A7;  // no such device type
  ui.Commit(pn::kMeterConfig, pn::kMcOk).Commit(pn::kMeterConfig, pn::kMcCancel);
  EXPECT_EQ(Edit(), status::kCancelled);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{StatusText(status::kBadDeviceType)});

  ui.ClearRecords();
  config->serialnum = 0x030000A7;
  ui.Commit(pn::kMeterConfig, pn::kMcOk, {{pn::kMcBaud, 12345}})
      .Commit(pn::kMeterConfig, pn::kMcOk, {{pn::kMcBaud, 38400}, {pn::kMcSerial, 0x1234}});
  EXPECT_EQ(Edit(), status::kOk);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Invalid baud rate."});
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(config->baudRate, 38400);
  EXPECT_EQ(config->serialnum, 0x03001234u);
}

TEST_F(Editor, EmptiedDeviceNameKeepsTheOldOne) {
  Load("pelag-3wl.dev", 6);
  ui.Commit(pn::kMeterConfig, pn::kMcOk, {{pn::kMcName, std::string(" \t ")}});
  EXPECT_EQ(Edit(), status::kOk);
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(config->name, "Pelag three-wavelength meter 167");
  EXPECT_EQ(Text(), before);
}

TEST_F(Editor, SerialNumberBitsThePanelDoesNotShowAreKept) {
  Load("pelag-3wl.dev", 6);
  config->serialnum = 0x035A00A7;
  ui.Commit(pn::kMeterConfig, pn::kMcOk);
  EXPECT_EQ(Edit(), status::kOk);
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(config->serialnum, 0x035A00A7u);
}

}  // namespace
}  // namespace sondrix
