// SPDX-License-Identifier: GPL-3.0-or-later
// The hyperspectral meter's self-test: the nonconformity of a spectrum and
// its limit, the record over the 2n channels of the wavelengths the
// instrument outputs, the report with its limit lines and nonconformity
// sections, and the panel on the headless backend.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "common/panels.h"
#include "common/status.h"
#include "diag/benth_diag.h"
#include "diag/self_test.h"
#include "meter/benth_fixtures.h"
#include "meter/benth_meter.h"
#include "platform/clock.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

namespace pn = panels;
using test::BenthDeviceSpec;
using test::BenthPacketSpec;

// --- Nonconformity ----------------------------------------------------------------

TEST(NonconformityTest, TheEdgesOfTheSpectrumAreNeverTested) {
  std::vector<double> means(80);
  for (int i = 0; i < 80; ++i) means[static_cast<std::size_t>(i)] = std::sin(i * 0.7) + 0.01 * i * i;
  const std::vector<std::int32_t> mapped(80, 5);
  const std::vector<double> out = Nonconformity(means, mapped, 2);
  ASSERT_EQ(out.size(), 80u);
  for (int i : {0, 1, 78, 79}) EXPECT_EQ(out[static_cast<std::size_t>(i)], 0.0) << i;
  for (int i = 2; i < 78; ++i) EXPECT_GT(out[static_cast<std::size_t>(i)], 0.0) << i;
}

TEST(NonconformityTest, AStraightSpectrumConforms) {
  std::vector<double> means(20);
  for (int i = 0; i < 20; ++i) means[static_cast<std::size_t>(i)] = 0.5 - 0.02 * i;
  for (double v : Nonconformity(means, std::vector<std::int32_t>(20, 3), 1)) EXPECT_NEAR(v, 0.0, 1e-12);
}

TEST(NonconformityTest, ABendIsTheAngleBetweenTheTwoSlopes) {
  std::vector<double> means(10, 0.0);
  means[4] = 0.2;
  const std::vector<double> out = Nonconformity(means, std::vector<std::int32_t>(10, 5), 2);
  EXPECT_NEAR(out[4], std::atan(0.1), 1e-12);                      // up to the peak, flat across it
  EXPECT_NEAR(out[2], std::atan(0.2 / 4), 1e-12);                  // flat up to i, rising across
  EXPECT_NEAR(out[6], std::fabs(std::atan(-0.1) - std::atan(-0.05)), 1e-12);
  EXPECT_EQ(out[3], 0.0);
}

TEST(NonconformityTest, WavelengthsOffTheMapAreNotTested) {
  std::vector<double> means(12, 0.0);
  means[5] = 1.0;
  std::vector<std::int32_t> mapped(12, 5);
  mapped[7] = 0;  // i + k of 5
  mapped[2] = 0;  // i - k of 4
  const std::vector<double> out = Nonconformity(means, mapped, 2);
  EXPECT_EQ(out[5], 0.0);
  EXPECT_EQ(out[4], 0.0);
  EXPECT_EQ(out[7], 0.0);
  EXPECT_GT(out[3], 0.0);
}

TEST(NonconformityTest, AHalfWidthBelowOneTestsNothing) {
  const std::vector<double> means = {0.0, 5.0, 0.0, 5.0, 0.0};
  for (int k : {0, -2})
    for (double v : Nonconformity(means, std::vector<std::int32_t>(5, 5), k)) EXPECT_EQ(v, 0.0);
}

TEST(NonconformityLimitTest, ThreeTimesTheHalfWidthTimesTheMean) {
  EXPECT_DOUBLE_EQ(NonconformityLimit(std::vector<double>{0.0, 0.1, 0.2, 0.0}, 2), 3.0 * 2 * 0.075);
  EXPECT_EQ(NonconformityLimit({}, 2), 0.0);
}

TEST(NonconformityLimitTest, ANumberThatIsNotANumberDoesNotSpoilTheLimitOfTheOthers) {
  const double nan = std::nan("");
  EXPECT_DOUBLE_EQ(NonconformityLimit(std::vector<double>{0.4, nan, 0.2, 0.2}, 1), 3.0 * 0.8 / 4);
}

// --- The self-test of a meter ---------------------------------------------------------

constexpr int kN = 100;

// Version 2, 100 wavelengths at skip 2, no offsets or bins, depth 0 at the
// surface. Limits: noise A 0.01 C 0.02, nonconformity A 0.003 C 0.004,
// difference A 0.05 C 0.06, counts A 100 C 200 Ref 300, temperature 0.1,
// depth 0.2.
BenthDeviceSpec DiagDevice(int skip = 2) {
  return BenthDeviceSpec{.version = 2,
                         .n = kN,
                         .skip = skip,
                         .depth = "0\t0",
                         .limits = "0.01 0.02 0.003 0.004 0.05 0.06 100 200 300 0.1 0.2",
                         .cOffset = 0.0,
                         .aOffset = 0.0,
                         .bins = false};
}

std::string Head() {
  return "Sondrix diagnostics report for meter Test hyperspectral, s/n 530000A7\n"
         "Diagnostics run at " +
         platform::TimeStr() + " on " + platform::DateStr() +
         "\n\n"
         "The following limits were used:\n"
         "\tmaximum A difference = 0.050000\n"
         "\tmaximum C difference = 0.060000\n"
         "\tminimum A counts     = 100\n"
         "\tminimum C counts     = 200\n"
         "\tminimum Ref counts   = 300\n"
         "\tmaximum A nonconform = 0.003000\n"
         "\tmaximum C nonconform = 0.004000\n"
         "\tmaximum A noise      = 0.010000\n"
         "\tmaximum C noise      = 0.020000\n"
         "\tmaximum Temp Sdev    = 0.100000\n"
         "\tmaximum Depth Sdev   = 0.200000\n";
}

const std::string kPassedSections =
    "\nCalibration - C positive: Passed.\n"
    "\nCalibration - A positive: Passed.\n"
    "\nCalibration - C negative: Passed.\n"
    "\nCalibration - A negative: Passed.\n"
    "\nRaw counts - Reference: Passed.\n"
    "\tMore than 3 wavelengths are at the maximum value. Is this saturated?\n"
    "\nRaw counts - C channel: Passed.\n"
    "\tMore than 3 wavelengths are at the maximum value. Is this saturated?\n"
    "\nRaw counts - A channel: Passed.\n"
    "\tMore than 3 wavelengths are at the maximum value. Is this saturated?\n"
    "\nNoncomformity - C: Passed.\n"
    "\nNoncomformity - A: Passed.\n"
    "\nNoise - C: Passed.\n"
    "\nNoise - A: Passed.\n"
    "\nDepth sensor: Passed.\n"
    "\nTemperature sensor: Passed.\n\n";

class BenthDiagTest : public test::HeadlessTest {
 protected:
  // A meter on a capture of `packets` packets of `spec` (the first one is
  // the one the reset synchronises on), opened.
  std::unique_ptr<BenthMeter> OpenOn(const BenthDeviceSpec& device, BenthPacketSpec spec, int packets = 35,
                                     const test::BenthSpectrum& spectrum = {}) {
    std::string bytes;
    for (int p = 0; p < packets; ++p) {
      spec.time = static_cast<std::uint32_t>(p * 10);
      const auto packet = test::BenthPacket(kN, spec, spectrum);
      bytes.append(packet.begin(), packet.end());
    }
    test::WriteTextFile(HomeFile("benth.raw"), bytes);
    test::WriteTextFile(HomeFile("benth.dev"), test::BenthDeviceText(device));
    auto meter = Meter::New<BenthMeter>(HomeFile("benth.dev"), HomeFile("benth.raw"));
    EXPECT_NE(meter, nullptr);
    if (!meter) return nullptr;
    EXPECT_EQ(meter->Open(), status::kOk);
    return meter;
  }

  std::string SelfTest(Source& meter, long samples, Status expectTest = status::kOk) {
    Status test = 0;
    long good = 0;
    const std::string path = HomeFile("selftest.rpt");
    EXPECT_EQ(RunSelfTest(meter, samples, path, test, good), status::kOk);
    EXPECT_EQ(test, expectTest);
    goodSamples = good;
    return test::ReadTextFile(path).value_or("<no report>");
  }

  static std::string Section(const std::string& report, const std::string& heading) {
    const auto at = report.find(heading);
    if (at == std::string::npos) return "<none>";
    const auto end = report.find("\n\n", at + 1);
    return report.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
  }

  // Presses the panel's stop button once `samples` good samples are shown.
  void StopAfterSamples(int samples) {
    ui.Then([this, samples](platform::HeadlessUi& u) {
      const auto shown = u.ValueOf(pn::kBenthDiag, pn::kBdSamples);
      if (shown && platform::CtrlValueInt(*shown).value_or(0) >= samples) {
        u.Commit(pn::kBenthDiag, pn::kBdStop);
      } else {
        u.Raw(platform::UserEvent{});
        StopAfterSamples(samples);
      }
    });
  }

  long goodSamples = 0;
};

TEST_F(BenthDiagTest, AnEvenSpectrumPassesEverySection) {
  auto meter = OpenOn(DiagDevice(), test::BenthSkip(2));
  ASSERT_TRUE(meter);
  EXPECT_EQ(SelfTest(*meter, 30), Head() + kPassedSections);
  EXPECT_EQ(goodSamples, 30);
}

TEST_F(BenthDiagTest, OnlyTheWavelengthsTheInstrumentOutputsAreTested) {
  // Every other wavelength is dark; at skip 2 the instrument does not
  // output them, and the test does not look at them.
  test::BenthSpectrum dark{std::vector<std::uint16_t>(kN, 30000), std::vector<std::uint16_t>(kN, 30000)};
  for (std::size_t i = 1; i < kN; i += 2) dark.c[i] = dark.a[i] = 0;
  auto meter = OpenOn(DiagDevice(), test::BenthSkip(2), 35, dark);
  ASSERT_TRUE(meter);
  EXPECT_EQ(SelfTest(*meter, 30), Head() + kPassedSections);
}

TEST_F(BenthDiagTest, ABendInTheSpectrumFailsAgainstTheRecomputedLimit) {
  // C of wavelength 50 (550 nm) at half the reference: its uncorrected value
  // is ln 2 / 0.25, a peak that bends the spectrum at 544, 550 and 556 nm.
  test::BenthSpectrum peak{std::vector<std::uint16_t>(kN, 30000), {}};
  peak.c[50] = 15000;
  auto meter = OpenOn(DiagDevice(), test::BenthSkip(2), 35, peak);
  ASSERT_TRUE(meter);
  const std::string report = SelfTest(*meter, 30);
  // The configured limit is printed...
  EXPECT_NE(report.find("\tmaximum C nonconform = 0.004000\n"), std::string::npos);
  // ...while the test is against 3 x k x the mean nonconformity (about
  // 0.11), which only the three bent wavelengths exceed.
  EXPECT_EQ(Section(report, "\nNoncomformity - C: "),
            "\nNoncomformity - C: "
            "\n\tThe following wavelengths exceed the recommended limit for nonconformity:\n\t"
            "544.0 550.0 556.0 \n");
  EXPECT_EQ(Section(report, "\nNoncomformity - A: "), "\nNoncomformity - A: Passed.\n");
}

TEST_F(BenthDiagTest, TheRecordHoldsTheRecomputedLimitAfterEverySample) {
  test::BenthSpectrum peak{{}, std::vector<std::uint16_t>(kN, 30000)};
  peak.a[20] = 15000;
  auto meter = OpenOn(DiagDevice(), test::BenthSkip(2), 4, peak);
  ASSERT_TRUE(meter);
  ASSERT_EQ(meter->Reset(), status::kOk);
  TraceMap map{};
  meter->GetTraceMap(map);
  std::vector<double> nm(2 * kN);
  meter->GetWavelengths(nm);
  BenthSelfTestLimits limits = meter->benthConfig()->limits;
  limits.maxANonConform = 0.003;
  limits.maxCNonConform = 0.004;
  BenthDiagWindow record(PackedLayout(map, nm, 2 * kN), map, limits, kN, 2);
  // At the start: the configured limits with the noise factor of each wavelength.
  ASSERT_EQ(record.limitA().size(), 50u);
  EXPECT_NEAR(record.limitA().back(), 0.003, 1e-12);
  EXPECT_GT(record.limitA().front(), 0.003);
  int ring = 0;
  ASSERT_EQ(meter->RefreshDiagnostics(record, 0, ring, 1), status::kOk);
  const double bend = record.nonconformA()[10];  // wavelength 20
  EXPECT_NEAR(bend, std::atan(std::log(2.0) / 0.25 / 2), 1e-6);
  const std::vector<double>& a = record.nonconformA();
  const double limit = 3.0 * 2 * std::accumulate(a.begin(), a.end(), 0.0) / kN;
  for (double l : record.limitA()) EXPECT_DOUBLE_EQ(l, limit);
  for (double c : record.nonconformC()) EXPECT_EQ(c, 0.0);
}

TEST_F(BenthDiagTest, OfferedOnlyWithDiagnosticLimits) {
  BenthDeviceSpec device = DiagDevice();
  auto meter = OpenOn(device, test::BenthSkip(2), 2);
  ASSERT_TRUE(meter);
  EXPECT_EQ(meter->HasDiagnostics(), 1);
  EXPECT_TRUE(OffersSelfTest(*meter));
  device.limits = "0.01 0.02 0.003 0.004 0.05 0.06 100 200 0 0.1 0.2";
  auto without = OpenOn(device, test::BenthSkip(2), 2);
  ASSERT_TRUE(without);
  EXPECT_EQ(without->HasDiagnostics(), 0);
  EXPECT_FALSE(OffersSelfTest(*without));
}

TEST_F(BenthDiagTest, ASkipValueTheInstrumentDoesNotShareEndsTheTestWithoutAReport) {
  auto meter = OpenOn(DiagDevice(2), test::BenthSkip(1));
  ASSERT_TRUE(meter);
  Status test = 0;
  long good = 0;
  EXPECT_EQ(RunSelfTest(*meter, 10, HomeFile("none.rpt"), test, good), status::kSkipMismatch);
  EXPECT_EQ(test, status::kSkipMismatch);
  EXPECT_FALSE(test::ReadTextFile(HomeFile("none.rpt")).has_value());
}

TEST_F(BenthDiagTest, NotConnectedIsRefused) {
  test::WriteTextFile(HomeFile("benth.dev"), test::BenthDeviceText(DiagDevice()));
  auto meter = Meter::New<BenthMeter>(HomeFile("benth.dev"), HomeFile("benth.raw"));
  ASSERT_TRUE(meter);
  EXPECT_EQ(meter->Diagnostics(), status::kNotConnected);
}

// --- The panel --------------------------------------------------------------------------

TEST_F(BenthDiagTest, ThePanelShowsFourGraphsUntilItsStopButton) {
  auto meter = OpenOn(DiagDevice(), test::BenthSkip(2));
  ASSERT_TRUE(meter);
  const std::string report = HomeFile("panel.rpt");
  // Polls without an event read samples; the stop button after the third.
  StopAfterSamples(3);
  ui.AnswerFile(report);
  EXPECT_EQ(meter->Diagnostics(), status::kOk);
  EXPECT_TRUE(ui.problems().empty()) << ui.problems().front();
  EXPECT_TRUE(ui.WasShown(pn::kBenthDiag));
  const platform::HeadlessPanel* panel = ui.NewestPanel(pn::kBenthDiag);
  ASSERT_NE(panel, nullptr);
  const int handle = panel->handle;
  EXPECT_EQ(ui.Plots(handle, pn::kBdKeyGraph).size(), 4u);
  EXPECT_EQ(ui.Plots(handle, pn::kBdCalGraph).size(), 6u);
  EXPECT_EQ(ui.Plots(handle, pn::kBdNoiseGraph).size(), 4u);
  // Limits and values of A and C over the 50 wavelengths output at skip 2.
  const auto& nonconform = ui.Plots(handle, pn::kBdNonconformGraph);
  ASSERT_EQ(nonconform.size(), 4u);
  for (const auto& plot : nonconform) EXPECT_EQ(plot.x.size(), 50u);
  EXPECT_EQ(nonconform[0].attributes.color, 0xFF0000);
  EXPECT_EQ(nonconform[3].attributes.color, 0x0000FF);
  EXPECT_TRUE(ui.Control(handle, pn::kBdNonconformGraph)->autoRefresh);
  EXPECT_EQ(ui.ValueOf(pn::kBenthDiag, pn::kBdSamples), platform::CtrlValue(3));
  const std::string text = test::ReadTextFile(report).value_or("");
  EXPECT_EQ(text, Head() + kPassedSections);
}

}  // namespace
}  // namespace sondrix
