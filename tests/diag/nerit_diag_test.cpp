// SPDX-License-Identifier: GPL-3.0-or-later
// The nine-wavelength meter's self-test on captures and on a scripted live
// line: the samples it takes into its ring, what stops it, the report it
// writes (and where), and the panel it shows on the headless backend.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/panels.h"
#include "common/status.h"
#include "diag/diag_fixtures.h"
#include "diag/diag_report.h"
#include "diag/diag_window.h"
#include "meter/nerit_meter.h"
#include "platform/clock.h"
#include "platform/headless/fake_serial.h"
#include "platform/serial.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

namespace pn = panels;
using test::DiagPacketSpec;
using test::Encode;
using test::kNeritChannels;
using test::kNeritSamples;
using test::Level;
using test::SteadyCapture;
using test::SteadyPacket;

using Capture = std::vector<std::vector<std::uint8_t>>;

std::string Head(const std::string& id = "Diag test meter 7", const std::string& serial = "0400012D") {
  return "Sondrix diagnostics report for meter " + id + ", s/n " + serial + "\n" + "Diagnostics run at " +
         platform::TimeStr() + " on " + platform::DateStr() +
         "\n\n"
         "The following limits were used:\n"
         "\tmaximum A difference = 0.050000\n"
         "\tmaximum C difference = 0.040000\n"
         "\tminimum A counts     = 0.100000\n"
         "\tminimum C counts     = 0.110000\n"
         "\tminimum Ref counts   = 0.120000\n"
         "\tmaximum A noise      = 0.005000\n"
         "\tmaximum C noise      = 0.006000\n"
         "\tmaximum Temp Sdev    = 0.050000\n"
         "\tmaximum Depth Sdev   = 0.100000\n";
}

const std::string kPassedSections =
    "\nCalibration - C positive: Passed.\n"
    "\nCalibration - A positive: Passed.\n"
    "\nCalibration - C negative: Passed.\n"
    "\nCalibration - A negative: Passed.\n"
    "\nRaw counts - Reference: Passed.\n"
    "\nRaw counts - C channel: Passed.\n"
    "\nRaw counts - A channel: Passed.\n"
    "\nNoise - C: Passed.\n"
    "\nNoise - A: Passed.\n"
    "\nDepth sensor: Passed.\n"
    "\nTemperature sensor: Passed.\n\n";

class NeritDiagTest : public test::HeadlessTest {
 protected:
  std::unique_ptr<NeritMeter> OpenOn(const Capture& packets, const std::string& device = test::NeritDiagDevice()) {
    const std::string dev = test::WriteTextFile(HomeFile("meter.dev"), device);
    const std::string capture = test::WriteCapture(HomeFile("capture.raw"), packets);
    auto meter = Meter::New<NeritMeter>(dev, capture);
    EXPECT_NE(meter, nullptr);
    if (!meter) return nullptr;
    EXPECT_EQ(meter->Open(), status::kOk);
    return meter;
  }

  // The report of a self-test without windows over `samples` good samples.
  std::string SelfTest(NeritMeter& meter, long samples, Status expectTest = status::kOk) {
    Status test = 0;
    long good = 0;
    const std::string path = HomeFile("selftest.rpt");
    EXPECT_EQ(meter.SelfTest(samples, path, test, good), status::kOk);
    EXPECT_EQ(test, expectTest);
    goodSamples = good;
    return test::ReadTextFile(path).value_or("<no report>");
  }

  // A record for the samples of `meter`, as the self-test makes it.
  std::unique_ptr<DiagWindow>& RecordOf(NeritMeter& meter) {
    TraceMap map{};
    meter.GetTraceMap(map);
    std::array<double, kNeritChannels> nm{};
    meter.GetWavelengths(nm);
    record = std::make_unique<DiagWindow>(PackedLayout(map, nm, kNeritChannels), map,
                                          meter.meterConfig()->limits);
    return record;
  }

  // Presses the panel's stop button once `samples` good samples are shown.
  void StopAfterSamples(int samples) {
    ui.Then([this, samples](platform::HeadlessUi& u) {
      const auto shown = u.ValueOf(pn::kNeritDiag, pn::kNdSamples);
      if (shown && platform::CtrlValueInt(*shown).value_or(0) >= samples) {
        u.Commit(pn::kNeritDiag, pn::kNdStop);
      } else {
        u.Raw(platform::UserEvent{});  // a poll without an event: the test reads on
        StopAfterSamples(samples);
      }
    });
  }

  long goodSamples = 0;
  std::unique_ptr<DiagWindow> record;
};

// --- Samples and statistics -----------------------------------------------------

TEST_F(NeritDiagTest, AMeterWithinItsLimitsPassesEverySection) {
  auto meter = OpenOn(SteadyCapture(3));
  ASSERT_TRUE(meter);
  EXPECT_EQ(SelfTest(*meter, 25), Head() + kPassedSections);
  EXPECT_EQ(goodSamples, 25);
}

TEST_F(NeritDiagTest, FewerThanThirtySamplesAreAllTheStatisticsCover) {
  // Channel a412 (A row 0) reads 0.5, 0.25 and 0.125 in three samples; the
  // reference stays at 0.5.
  DiagPacketSpec spec = SteadyPacket(10);
  spec.refs[0] = 0.5;
  spec.signal[0] = 0.5;
  spec.signal[kNeritChannels] = 0.25;
  spec.signal[2 * kNeritChannels] = 0.125;
  auto meter = OpenOn({Encode(spec)});
  ASSERT_TRUE(meter);
  ASSERT_EQ(meter->Reset(), status::kOk);
  DiagWindow& record = *RecordOf(*meter);
  int ring = 0;
  for (int count = 1; count <= 3; ++count) ASSERT_EQ(meter->RefreshDiagnostics(record, 0, ring, count), status::kOk);
  EXPECT_EQ(ring, 3);
  EXPECT_EQ(record.rowsUsed(), 3);
  EXPECT_DOUBLE_EQ(record.rawA().min[0], 0.125);
  EXPECT_DOUBLE_EQ(record.rawA().max[0], 0.5);
  const double mean = (0.0 - std::log(0.5) - std::log(0.25)) / 0.25 / 3.0;
  EXPECT_NEAR(record.uncA().mean[0], mean, 1e-9);
  EXPECT_NEAR(record.tempMean(), CountToTemp(TempToCount(20.0)), 1e-9);
}

TEST_F(NeritDiagTest, TheThirtyFirstSampleOverwritesTheOldest) {
  // Four packets of ten samples; channel a412 reads 0.3125 in the very
  // first sample and 0.4375 in every other, so its smallest count says
  // whether the first sample is still in the ring.
  Capture capture;
  for (int p = 1; p <= 4; ++p) {
    DiagPacketSpec spec = SteadyPacket(static_cast<std::uint16_t>(p * 10));
    spec.refs[0] = 0.5;
    for (int s = 0; s < kNeritSamples; ++s) spec.signal[static_cast<std::size_t>(s * kNeritChannels)] = 0.4375;
    if (p == 1) spec.signal[0] = 0.3125;
    capture.push_back(Encode(spec));
  }
  auto meter = OpenOn(capture);
  ASSERT_TRUE(meter);
  ASSERT_EQ(meter->Reset(), status::kOk);
  DiagWindow& record = *RecordOf(*meter);
  int ring = 0;
  for (int count = 1; count <= 30; ++count) ASSERT_EQ(meter->RefreshDiagnostics(record, 0, ring, count), status::kOk);
  EXPECT_EQ(ring, 0);
  EXPECT_EQ(record.rowsUsed(), 30);
  EXPECT_DOUBLE_EQ(record.rawA().min[0], 0.3125);
  EXPECT_EQ(record.rawA().minRow[0], 0);

  ASSERT_EQ(meter->RefreshDiagnostics(record, 0, ring, 31), status::kOk);
  EXPECT_EQ(ring, 1);
  EXPECT_EQ(record.rowsUsed(), 30);
  EXPECT_DOUBLE_EQ(record.rawA().min[0], 0.4375);
  EXPECT_DOUBLE_EQ(record.Row(0).rawA[0], 0.4375);
}

TEST_F(NeritDiagTest, ADarkChannelReadsTheRatioOfTheSmallestSignal) {
  DiagPacketSpec spec = SteadyPacket(10);
  for (int s = 0; s < kNeritSamples; ++s) spec.signal[static_cast<std::size_t>(s * kNeritChannels + 13)] = 0.0;
  auto meter = OpenOn({Encode(spec)});
  ASSERT_TRUE(meter);
  ASSERT_EQ(meter->Reset(), status::kOk);
  DiagWindow& record = *RecordOf(*meter);
  int ring = 0;
  ASSERT_EQ(meter->RefreshDiagnostics(record, 0, ring, 1), status::kOk);
  // a676 is channel 13, the eighth A channel.
  EXPECT_DOUBLE_EQ(record.Row(0).uncA[7], -std::log(0.0005) / 0.25);
  EXPECT_DOUBLE_EQ(record.Row(0).rawA[7], 0.0);
  EXPECT_TRUE(std::isfinite(record.uncA().mean[7]));
}

TEST_F(NeritDiagTest, ADarkChannelFailsItsCountTest) {
  DiagPacketSpec spec = SteadyPacket(10);
  for (int s = 0; s < kNeritSamples; ++s) spec.signal[static_cast<std::size_t>(s * kNeritChannels + 13)] = 0.0;
  auto meter = OpenOn({Encode(spec)});
  ASSERT_TRUE(meter);
  const std::string report = SelfTest(*meter, 10);
  EXPECT_NE(report.find("\nRaw counts - A channel: \n\tThe counts for the following wavelengths are below the "
                        "recommended limit:\n\t676.0 \n"),
            std::string::npos)
      << report;
}

TEST_F(NeritDiagTest, AReferenceOfZeroFailsInsteadOfPassing) {
  DiagPacketSpec spec = SteadyPacket(10);
  spec.refs[9] = 0.0;  // c510
  auto meter = OpenOn({Encode(spec)});
  ASSERT_TRUE(meter);
  const std::string report = SelfTest(*meter, 10);
  EXPECT_NE(report.find("\nCalibration - C positive: \n\tThe C value for the following wavelengths exceed "
                        "previous calibration:\n\t510.0 \n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("\nCalibration - C negative: \n\tThe C value for the following wavelengths exceed "
                        "(negative) previous calibration:\n\t510.0 \n"),
            std::string::npos);
  EXPECT_NE(report.find("\nRaw counts - Reference: \n\tThe counts for the following wavelengths are below the "
                        "recommended limit:\n\t510.0 \n"),
            std::string::npos);
  EXPECT_NE(report.find("\nNoise - C: \n\tThe following wavelengths exceed the recommended noise limit:\n\t510.0 \n"),
            std::string::npos);
  EXPECT_NE(report.find("\nNoise - A: Passed.\n"), std::string::npos);
}

TEST_F(NeritDiagTest, SaturatedChannelsAreQuestioned) {
  DiagPacketSpec spec = SteadyPacket(10);
  const double full = ChannelBytesToFraction(std::array<std::uint8_t, 3>{0xFF, 0xFF, 0xFF}.data());
  for (int c : {0, 1, 2, 6}) {
    spec.refs[static_cast<std::size_t>(c)] = full;
    for (int s = 0; s < kNeritSamples; ++s) spec.signal[static_cast<std::size_t>(s * kNeritChannels + c)] = full;
  }
  auto meter = OpenOn({Encode(spec)});
  ASSERT_TRUE(meter);
  const std::string report = SelfTest(*meter, 10);
  const std::string question = "\tMore than 3 wavelengths are at the maximum value. Is this saturated?\n";
  EXPECT_NE(report.find("\nRaw counts - Reference: Passed.\n" + question), std::string::npos) << report;
  EXPECT_NE(report.find("\nRaw counts - A channel: Passed.\n" + question), std::string::npos) << report;
  EXPECT_NE(report.find("\nRaw counts - C channel: Passed.\n\nRaw counts - A"), std::string::npos) << report;
}

TEST_F(NeritDiagTest, AHotInstrumentSaysWhatItsSensorReads) {
  Capture capture;
  DiagPacketSpec spec = SteadyPacket(10);
  spec.tempCount = TempToCount(55.3);
  capture.push_back(Encode(spec));
  auto meter = OpenOn(capture);
  ASSERT_TRUE(meter);
  const std::string report = SelfTest(*meter, 10);
  char reads[80];
  std::snprintf(reads, sizeof reads, "\nTemperature sensor: \n\tThe sensor reads %.2f degrees C.\n\n",
                CountToTemp(TempToCount(55.3)));
  EXPECT_NE(report.find(reads), std::string::npos) << report;
}

TEST_F(NeritDiagTest, ATemperatureSensorThatReadsNothingFails) {
  DiagPacketSpec spec = SteadyPacket(10);
  spec.tempCount = 0;
  auto meter = OpenOn({Encode(spec)});
  ASSERT_TRUE(meter);
  const std::string report = SelfTest(*meter, 10);
  EXPECT_NE(report.find("\nTemperature sensor: \n\tThe sensor gives no reading."
                        "\n\tThe standard deviation in the reading exceeds the recommended limit.\n\n"),
            std::string::npos)
      << report;
}

TEST_F(NeritDiagTest, AnInstrumentAwayFromTheSurfaceFailsItsDepthTest) {
  Capture capture;
  DiagPacketSpec spec = SteadyPacket(10);
  spec.pressure = 1000;  // 3.5 m
  capture.push_back(Encode(spec));
  auto meter = OpenOn(capture);
  ASSERT_TRUE(meter);
  const std::string report = SelfTest(*meter, 10);
  EXPECT_NE(report.find("\nDepth sensor: \n\tThe sensor reads 3.50 meters at the surface.\n"), std::string::npos)
      << report;
}

TEST_F(NeritDiagTest, AMeterWithoutDepthHasNoDepthParagraph) {
  auto meter = OpenOn(SteadyCapture(2), test::NeritDiagDevice(test::kDiagLimits, 0.0));
  ASSERT_TRUE(meter);
  const std::string report = SelfTest(*meter, 10);
  EXPECT_EQ(report.find("Depth sensor"), std::string::npos) << report;
  EXPECT_NE(report.find("\nNoise - A: Passed.\n\nTemperature sensor: Passed.\n\n"), std::string::npos) << report;
}

TEST_F(NeritDiagTest, LostSamplesAreNotCounted) {
  // The second packet is damaged: its ten samples come out lost in front of
  // the third.
  Capture capture = SteadyCapture(3);
  capture[1] = test::Damaged(capture[1]);
  auto meter = OpenOn(capture);
  ASSERT_TRUE(meter);
  Status test = 0;
  long good = 0;
  EXPECT_EQ(meter->SelfTest(1000, HomeFile("r.rpt"), test, good), status::kOk);
  EXPECT_EQ(test, status::kUnexpectedEof);
  EXPECT_EQ(good, 20);
}

// --- How a test starts and ends ------------------------------------------------------

TEST_F(NeritDiagTest, OfferedOnlyWithDiagnosticLimits) {
  auto meter = OpenOn(SteadyCapture(1));
  ASSERT_TRUE(meter);
  EXPECT_EQ(meter->HasDiagnostics(), 1);
  auto without = OpenOn(SteadyCapture(1),
                        test::NeritDiagDevice("0.0\t0.0\t0.0\t0.0\t0.0\t0.0\t0.0\t0.0\t0.0"));
  ASSERT_TRUE(without);
  EXPECT_EQ(without->HasDiagnostics(), 0);
}

TEST_F(NeritDiagTest, NotConnectedIsRefusedBeforeAnythingIsShown) {
  const std::string dev = test::WriteTextFile(HomeFile("meter.dev"), test::NeritDiagDevice());
  auto meter = Meter::New<NeritMeter>(dev, "");
  ASSERT_TRUE(meter);
  EXPECT_EQ(meter->Diagnostics(), status::kNotConnected);
  ASSERT_EQ(meter->Open(), status::kOk);  // the configuration only
  EXPECT_EQ(meter->Diagnostics(), status::kNotConnected);
  EXPECT_TRUE(ui.shows().empty());
  EXPECT_TRUE(ui.fileDialogs().empty());
}

TEST_F(NeritDiagTest, AResetThatFailsEndsTheTestWithoutAReport) {
  auto meter = OpenOn({std::vector<std::uint8_t>(3000, 0x5A)});
  ASSERT_TRUE(meter);
  EXPECT_EQ(meter->Diagnostics(), status::kUnrecognisedData);
  EXPECT_FALSE(ui.WasShown(pn::kNeritDiag));
  EXPECT_TRUE(ui.fileDialogs().empty());
  // The wait message came and went.
  ASSERT_FALSE(ui.shows().empty());
  EXPECT_EQ(std::get<std::string>(ui.shows()[0].values.at(pn::kWaitText)), "\nInitializing diagnostics...");
  EXPECT_EQ(ui.NewestHandle(pn::kWait), 0);
}

TEST_F(NeritDiagTest, APanelThatCannotBeShownIsOutOfMemory) {
  auto meter = OpenOn(SteadyCapture(2));
  ASSERT_TRUE(meter);
  ui.FailLoad(pn::kNeritDiag);
  EXPECT_EQ(meter->Diagnostics(), status::kOutOfMemory);
  EXPECT_TRUE(ui.fileDialogs().empty());
}

TEST_F(NeritDiagTest, AnotherInstrumentIsTestedAndNamedInTheReport) {
  // The file names another serial number than the instrument sends.
  std::string device = test::NeritDiagDevice();
  device.replace(device.find("0400012D"), 8, "04000777");
  auto meter = OpenOn(SteadyCapture(2), device);
  ASSERT_TRUE(meter);
  const std::string report = SelfTest(*meter, 5);
  EXPECT_EQ(report.rfind(Head().substr(0, Head().find('\n')), 0), 0u) << report;
}

// --- The panel ---------------------------------------------------------------------

TEST_F(NeritDiagTest, ThePanelShowsTheTestUntilItsStopButton) {
  auto meter = OpenOn(SteadyCapture(4));
  ASSERT_TRUE(meter);
  StopAfterSamples(12);
  const std::string path = HomeFile("panel.rpt");
  ui.AnswerFile(path);
  EXPECT_EQ(meter->Diagnostics(), status::kOk);
  EXPECT_TRUE(ui.problems().empty()) << ui.problems().front();

  EXPECT_TRUE(ui.WasShown(pn::kNeritDiag));
  EXPECT_EQ(ui.NewestHandle(pn::kNeritDiag), 0);  // discarded at the end
  const platform::HeadlessPanel* panel = ui.NewestPanel(pn::kNeritDiag);
  ASSERT_NE(panel, nullptr);
  const int handle = panel->handle;
  // The key, and on each graph nine-point limit curves and measured curves.
  EXPECT_EQ(ui.Plots(handle, pn::kNdKeyGraph).size(), 4u);
  const auto& noise = ui.Plots(handle, pn::kNdNoiseGraph);
  ASSERT_EQ(noise.size(), 4u);
  for (const auto& plot : noise) EXPECT_EQ(plot.x.size(), 9u);
  EXPECT_EQ(noise[2].attributes.color, 0xFF0000);
  EXPECT_EQ(noise[2].attributes.plotStyle, platform::PlotStyle::ConnectedPoints);
  EXPECT_EQ(noise[0].attributes.lineStyle, platform::LineStyle::Dash);
  // Counts: limits and smallest counts of A, C and the references (two
  // curves for the references: C channels, then A channels).
  EXPECT_EQ(ui.Plots(handle, pn::kNdCountsGraph).size(), 8u);
  EXPECT_EQ(ui.Plots(handle, pn::kNdCalGraph).size(), 6u);
  EXPECT_TRUE(ui.Control(handle, pn::kNdCalGraph)->autoRefresh);
  EXPECT_GE(ui.Control(handle, pn::kNdCalGraph)->refreshes, 12);
  EXPECT_EQ(ui.ValueOf(pn::kNeritDiag, pn::kNdSamples), platform::CtrlValue(12));
  EXPECT_NEAR(std::get<double>(*ui.ValueOf(pn::kNeritDiag, pn::kNdTempMean)), CountToTemp(TempToCount(20.0)), 1e-9);
  EXPECT_TRUE(ui.Control(handle, pn::kNdDepthMean)->visible);
  // The limits are inside the axes, not on their frame.
  const platform::HeadlessControl* cal = ui.Control(handle, pn::kNdCalGraph);
  EXPECT_LT(cal->yMin, -0.05);
  EXPECT_GT(cal->yMax, 0.05);
  EXPECT_LT(cal->xMin, 412.0);
  EXPECT_GT(cal->xMax, 715.0);

  EXPECT_EQ(test::ReadTextFile(path), Head() + kPassedSections);
}

TEST_F(NeritDiagTest, WithoutDepthTheDepthReadOutsAreHidden) {
  auto meter = OpenOn(SteadyCapture(1), test::NeritDiagDevice(test::kDiagLimits, 0.0));
  ASSERT_TRUE(meter);
  ui.AnswerFile(HomeFile("r.rpt"));
  EXPECT_EQ(meter->Diagnostics(), status::kUnexpectedEof);
  const platform::HeadlessPanel* panel = ui.NewestPanel(pn::kNeritDiag);
  ASSERT_NE(panel, nullptr);
  EXPECT_FALSE(ui.Control(panel->handle, pn::kNdDepthMean)->visible);
  EXPECT_FALSE(ui.Control(panel->handle, pn::kNdDepthSdev)->visible);
}

TEST_F(NeritDiagTest, StoppedBeforeAnySampleTheReportSaysNoDataArrived) {
  auto meter = OpenOn(SteadyCapture(2));
  ASSERT_TRUE(meter);
  ui.Commit(pn::kNeritDiag, pn::kNdStop);
  const std::string path = HomeFile("empty.rpt");
  ui.AnswerFile(path);
  EXPECT_EQ(meter->Diagnostics(), status::kOk);
  EXPECT_EQ(test::ReadTextFile(path), Head() + std::string(kDiagNoDataText));
}

TEST_F(NeritDiagTest, TheCloseBoxStopsTheTestLikeItsButton) {
  auto meter = OpenOn(SteadyCapture(2));
  ASSERT_TRUE(meter);
  ui.Close(pn::kNeritDiag);
  ui.CancelFile();
  EXPECT_EQ(meter->Diagnostics(), status::kOk);
  EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(NeritDiagTest, TheEndOfACaptureStillWritesTheReport) {
  auto meter = OpenOn(SteadyCapture(2));
  ASSERT_TRUE(meter);
  const std::string path = HomeFile("end.rpt");
  ui.AnswerFile(path);
  EXPECT_EQ(meter->Diagnostics(), status::kUnexpectedEof);
  EXPECT_EQ(test::ReadTextFile(path), Head() + kPassedSections);
}

TEST_F(NeritDiagTest, AReportThatCannotBeWrittenIsReported) {
  auto meter = OpenOn(SteadyCapture(1));
  ASSERT_TRUE(meter);
  ui.Commit(pn::kNeritDiag, pn::kNdStop);
  ui.AnswerFile(HomeFile("no/such/folder/r.rpt"), platform::FileSelectResult::New);
  EXPECT_EQ(meter->Diagnostics(), status::kOk);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Can't open file"});
}

TEST_F(NeritDiagTest, ThePanelAndTheCommandLineWriteTheSameReport) {
  auto meter = OpenOn(SteadyCapture(2));
  ASSERT_TRUE(meter);
  const std::string window = HomeFile("window.rpt");
  ui.AnswerFile(window);
  EXPECT_EQ(meter->Diagnostics(), status::kUnexpectedEof);
  meter = OpenOn(SteadyCapture(2));
  ASSERT_TRUE(meter);
  EXPECT_EQ(SelfTest(*meter, 1000, status::kUnexpectedEof), test::ReadTextFile(window).value_or(""));
  EXPECT_EQ(goodSamples, 20);
}

// --- A live line -----------------------------------------------------------------

class LiveDiagTest : public NeritDiagTest {
 protected:
  LiveDiagTest() : scopedSerial_(fake) {}

  // `first`: what the reset synchronises on, and the first packet read.
  std::unique_ptr<NeritMeter> OpenLive(const std::vector<std::uint8_t>& first = Encode(SteadyPacket(0))) {
    const std::string dev = test::WriteTextFile(HomeFile("meter.dev"), test::NeritDiagDevice());
    auto meter = Meter::New<NeritMeter>(dev, "COM1");
    EXPECT_NE(meter, nullptr);
    if (!meter) return nullptr;
    EXPECT_EQ(meter->Open(), status::kOk);
    fake.Feed(1, first);
    return meter;
  }

  platform::FakeSerial fake;

 private:
  platform::ScopedSerial scopedSerial_;
};

TEST_F(LiveDiagTest, TwoSecondsWithoutDataEndTheTestWithItsMessage) {
  // The only packet fails its checksum: no good sample ever arrives.
  auto meter = OpenLive(test::Damaged(Encode(SteadyPacket(0))));
  ASSERT_TRUE(meter);
  clock.SetAutoAdvance(0.01);
  const double start = platform::Timer();
  const std::string path = HomeFile("silent.rpt");
  ui.AnswerFile(path);
  const Status result = meter->Diagnostics();
  EXPECT_EQ(result, status::kTimedOut);
  EXPECT_EQ(StatusText(result), "Connection timed out");
  const double elapsed = platform::Timer() - start;
  EXPECT_GT(elapsed, 2.0);
  EXPECT_LT(elapsed, 2.5);
  EXPECT_EQ(test::ReadTextFile(path), Head() + std::string(kDiagNoDataText));
}

TEST_F(LiveDiagTest, SamplesBeforeTheSilenceMakeTheReport) {
  auto meter = OpenLive();
  ASSERT_TRUE(meter);
  fake.Feed(1, Encode(SteadyPacket(10)));
  clock.SetAutoAdvance(0.01);
  Status test = 0;
  long good = 0;
  const std::string path = HomeFile("live.rpt");
  EXPECT_EQ(meter->SelfTest(30, path, test, good), status::kOk);
  EXPECT_EQ(test, status::kTimedOut);
  EXPECT_EQ(good, 20);
  EXPECT_EQ(test::ReadTextFile(path), Head() + kPassedSections);
}

TEST_F(LiveDiagTest, AVanishedDeviceEndsTheTestAtOnce) {
  auto meter = OpenLive();
  ASSERT_TRUE(meter);
  fake.Feed(1, Encode(SteadyPacket(10)));
  // Ten polls read the packet's ten samples; then the adapter is pulled out.
  for (int poll = 0; poll < 10; ++poll) ui.Raw(platform::UserEvent{});
  ui.Then([this](platform::HeadlessUi&) { fake.SetIoError(1, status::kGeneralIoError); });
  const std::string path = HomeFile("gone.rpt");
  ui.AnswerFile(path);
  EXPECT_EQ(meter->Diagnostics(), status::kGeneralIoError);
  EXPECT_EQ(test::ReadTextFile(path), Head() + kPassedSections);
}

}  // namespace
}  // namespace sondrix
