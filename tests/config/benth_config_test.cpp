// SPDX-License-Identifier: GPL-3.0-or-later
// The hyperspectral configuration: its file in versions 1 to 3, what it
// refuses, headings, colours, copying and comparing, the calibrations and
// the editor's hardware settings with the calibration warning.
#include "config/benth_meter_config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/panels.h"
#include "common/status.h"
#include "common/utils.h"
#include "config_files.h"
#include "fakes.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

namespace pn = panels;

std::string Example(const char* name) {
  auto text = test::ReadTextFile(std::string(SONDRIX_EXAMPLES_DIR "/") + name);
  EXPECT_TRUE(text.has_value());
  return text.value_or("");
}

// A small file: three wavelengths, two bins.
std::string Small(int version, const std::string& first, const std::string& traces,
                  const std::string& limits) {
  return "Small hyperspectral\n53000001\t\t; Serial number\n" + std::to_string(version) +
         "\t; structure version number\nReserved\n0.0\t0.01\t\t; Depth calibration\n"
         "19200\t\t\t; Baud rate\n0.25\t\t\t; Path length (meters)\n" +
         first + "\t; first\n2\t\t\t; number of temperature bins\n\t10.0\t20.0\t; temperature bins\n" +
         traces + limits;
}

const std::string kTraces2 =
    "c410.0\tdefault\t0.1\t0.2\t\t1\t2\t\t3\t4\n"
    "c420.0\tdefault\t0.3\t0.4\t\t1\t2\t\t3\t4\n"
    "c430.0\tBlue\t0.5\t0.6\t\t1\t2\t\t3\t4\n";
const std::string kTraces3 =
    "c410.0\tdefault\ta411.5\t0.1\t0.2\t\t1\t2\t\t3\t4\n"
    "c420.0\tdefault\ta421.5\t0.3\t0.4\t\t1\t2\t\t3\t4\n"
    "c430.0\tdefault\ta431.5\t0.5\t0.6\t\t1\t2\t\t3\t4\n";
const std::string kLimits = "1 2 3 4 5 6 7 8 9 10 11\t; limits\n";

class BenthConfigTest : public ::testing::Test {
 protected:
  Status Read(const std::string& text, int traces = 6, int in = 3) {
    config = std::make_unique<BenthMeterConfig>(traces, in);
    auto stream = test::TextStream(text);
    return config->ReadConfig(stream.get());
  }
  std::string Text() const {
    return test::Written([&](std::FILE* f) { return config->WriteConfig(f); });
  }
  std::unique_ptr<BenthMeterConfig> config;
};

TEST_F(BenthConfigTest, ExamplesReadAndWriteByteForByte) {
  for (const char* name : {"benth-100wl.dev", "benth-85wl-v3.dev"}) {
    const std::string text = Example(name);
    ASSERT_EQ(Read(text, 200, 100), status::kOk) << name;
    EXPECT_EQ(Text(), text) << name;
  }
  EXPECT_EQ(config->inTraceCount, 85);
  EXPECT_EQ(config->traceCount, 170);
  EXPECT_EQ(config->skip, 1);
  EXPECT_EQ(config->traces[85].wavelength, 401.2 + 1.5);
}

TEST_F(BenthConfigTest, VersionOneIsWrittenBackAsVersionTwoWithElevenLimits) {
  ASSERT_EQ(Read(Small(1, "2", kTraces2, "")), status::kOk);
  EXPECT_EQ(config->version, 1);
  EXPECT_EQ(config->limits.maxDepthSdev, 0.0);
  const std::string text = Text();
  EXPECT_NE(text.find("\n2\t; structure version number\n"), std::string::npos);
  const std::string limits =
      "0.000000\t0.000000\t0.000000\t0.000000\t0.000000\t0.000000\t0.000000\t0.000000\t0.000000"
      "\t0.000000\t0.000000\t; maxANoise\tmaxCNoise\tmaxANonConform\tmaxCNonConform"
      "\tmaxADifference\tmaxCDifference\tminACounts\tminCCounts\tminRCounts\tmaxTempSdev"
      "\tmaxDepthSdev\n";
  ASSERT_GE(text.size(), limits.size());
  EXPECT_EQ(text.substr(text.size() - limits.size()), limits);
  // What was written reads back as version 2 with the same calibration.
  BenthMeterConfig again(6, 3);
  auto stream = test::TextStream(text);
  ASSERT_EQ(again.ReadConfig(stream.get()), status::kOk);
  EXPECT_EQ(again.version, 2);
  EXPECT_EQ(again.skip, 2);
  EXPECT_EQ(again.traces[2].aTempCorr[1], 4.0);
}

TEST_F(BenthConfigTest, RefusesSkipValuesAndWavelengthCountsOutOfRange) {
  EXPECT_EQ(Read(Small(2, "5", kTraces2, kLimits)), status::kConfigSkip);
  EXPECT_EQ(Read(Small(2, "0", kTraces2, kLimits)), status::kConfigSkip);
  EXPECT_EQ(Read(Small(2, "2.5", kTraces2, kLimits)), status::kConfigSkip);
  EXPECT_EQ(Read(Small(2, "none", kTraces2, kLimits)), status::kConfigSkip);
  EXPECT_EQ(Read(Small(3, "101", kTraces3, kLimits)), status::kConfigSkip);
  EXPECT_EQ(Read(Small(3, "-3", kTraces3, kLimits)), status::kConfigSkip);
  EXPECT_EQ(Read(Small(3, "n/a", kTraces3, kLimits)), status::kConfigSkip);
  EXPECT_TRUE(config->traces.empty());
  EXPECT_EQ(Read(Small(3, "3", kTraces3, kLimits)), status::kOk);
}

TEST_F(BenthConfigTest, RefusesBinsAndNumbersThatAreNotThere) {
  std::string text = Small(2, "1", kTraces2, kLimits);
  std::string many = text;
  many.replace(many.find("2\t\t\t; number"), 1, "201");
  EXPECT_EQ(Read(many), status::kConfigTempBinCount);
  std::string half = text;
  half.replace(half.find("2\t\t\t; number"), 1, "2.5");
  EXPECT_EQ(Read(half), status::kConfigTempBinCount);
  std::string badBin = text;
  badBin.replace(badBin.find("20.0"), 4, "inf");
  EXPECT_EQ(Read(badBin), status::kConfigTempBins);
  std::string badOffset = text;
  badOffset.replace(badOffset.find("0.3"), 3, "nan");
  EXPECT_EQ(Read(badOffset), status::kConfigTraceInfo);
  EXPECT_TRUE(config->traces.empty());
  EXPECT_EQ(Read(Small(2, "1", kTraces2, "1 2 3 4 5 6 7 8 9 10\n")), status::kConfigTraceInfo);
  EXPECT_EQ(Read(Small(2, "1", kTraces2, "1 2 3 4 5 6 7 8 9 10 -11\n")), status::kConfigTraceInfo);
  EXPECT_EQ(Read(Small(2, "1", kTraces2, "-1 2 3 4 5 6 7 8 9 10 11\n")), status::kConfigTraceInfo);
}

// A bin count below the bins listed would shift every A correction by one:
// a bins line or a trace line with more numbers than the count says is
// refused. A file without bins holds the writer's 0 on its bins line.
TEST_F(BenthConfigTest, LinesWithMoreNumbersThanTheBinCountAreRefused) {
  const std::string text = Small(2, "1", kTraces2, kLimits);
  auto replaced = [](std::string t, const std::string& from, const std::string& to) {
    t.replace(t.find(from), from.size(), to);
    return t;
  };
  EXPECT_EQ(Read(replaced(text, "2\t\t\t; number", "1\t\t\t; number")), status::kConfigTempBins);
  // Three corrections of each kind on every trace line, and three bins.
  std::string three = replaced(text, "2\t\t\t; number", "3\t\t\t; number");
  three = replaced(three, "20.0\t;", "20.0\t30.0\t;");
  std::string traces;
  for (const char* name : {"c410.0", "c420.0", "c430.0"})
    traces += std::string(name) + "\tBlue\t0.1\t0.2\t\t1\t2\t5\t\t3\t4\t6\t; info\n";
  three = replaced(three, kTraces2, traces);
  ASSERT_EQ(Read(three), status::kOk);
  EXPECT_DOUBLE_EQ(config->traces[0].aTempCorr[0], 3.0);
  // The count says two: the lines hold more.
  EXPECT_EQ(Read(replaced(three, "3\t\t\t; number", "2\t\t\t; number")), status::kConfigTempBins);
  EXPECT_EQ(Read(replaced(replaced(three, "3\t\t\t; number", "2\t\t\t; number"), "20.0\t30.0", "20.0")),
            status::kConfigTraceInfo);
  EXPECT_TRUE(config->traces.empty());
  // No bins: the 0 the writer puts there, or nothing.
  const std::string none = replaced(replaced(text, "2\t\t\t; number", "0\t\t\t; number"),
                                    "\t10.0\t20.0\t;", "\t0\t;");
  const std::string noneTraces = replaced(replaced(replaced(none, "\t\t1\t2\t\t3\t4\n", "\n"),
                                                   "\t\t1\t2\t\t3\t4\n", "\n"),
                                          "\t\t1\t2\t\t3\t4\n", "\n");
  EXPECT_EQ(Read(noneTraces), status::kOk);
  EXPECT_EQ(Read(replaced(noneTraces, "\t0\t;", "\t;")), status::kOk);
  EXPECT_EQ(Read(replaced(noneTraces, "\t0\t;", "\t5\t;")), status::kConfigTempBins);
}

TEST_F(BenthConfigTest, HeadingsOfVersionsTwoAndThree) {
  ASSERT_EQ(Read(Small(2, "1", kTraces2, kLimits)), status::kOk);
  std::string heading;
  EXPECT_EQ(config->GetHeading(4, heading), status::kOk);
  EXPECT_EQ(heading, "a420.0");
  EXPECT_EQ(config->GetHeading(0, heading), status::kOk);
  EXPECT_EQ(heading, "c410.0");
  EXPECT_EQ(config->GetHeading(6, heading), status::kNoSuchHeading);
  EXPECT_EQ(heading, "unknown");
  EXPECT_EQ(config->GetHeading(-1, heading), status::kNoSuchHeading);

  ASSERT_EQ(Read(Small(3, "3", kTraces3, kLimits), 200, 100), status::kOk);
  EXPECT_EQ(config->GetHeading(4, heading), status::kOk);
  EXPECT_EQ(heading, "a421.5");
  EXPECT_EQ(config->GetHeading(2, heading), status::kOk);
  EXPECT_EQ(heading, "c430.0");
  std::vector<double> wavelengths(6);
  config->GetWavelengths(wavelengths);
  EXPECT_EQ(wavelengths, (std::vector<double>{410, 420, 430, 411.5, 421.5, 431.5}));
}

TEST_F(BenthConfigTest, DefaultColoursSpreadOverTheSpectrum) {
  ASSERT_EQ(Read(Small(3, "3", kTraces3, kLimits)), status::kOk);
  std::vector<int> colors(6);
  config->GetColors(colors);
  EXPECT_EQ(colors, (std::vector<int>{0, 62, 124, 128, 190, 252}));

  // All wavelengths equal: the wavelength alone chooses, for every one.
  std::string same = kTraces3;
  for (const char* other : {"c420.0", "c430.0"}) same.replace(same.find(other), 6, "c500.0");
  same.replace(same.find("c410.0"), 6, "c500.0");
  ASSERT_EQ(Read(Small(3, "3", same, kLimits)), status::kOk);
  config->GetColors(colors);
  EXPECT_EQ(colors[0], WavelengthColor(500.0));
  EXPECT_EQ(colors[2], WavelengthColor(500.0));
  // A named colour's A trace stays within the palette.
  ASSERT_EQ(Read(Small(2, "1", kTraces2, kLimits)), status::kOk);
  config->GetColors(colors);
  EXPECT_EQ(colors[2], ColorNum("Blue"));
  EXPECT_EQ(colors[5], ColorNum("Blue"));
}

TEST_F(BenthConfigTest, CopiesCompareEqualAndOffsetsMakeADifference) {
  ASSERT_EQ(Read(Small(3, "3", kTraces3, kLimits)), status::kOk);
  BenthMeterConfig copy(200, 100);
  ASSERT_EQ(config->CopyConfig(copy), status::kOk);
  EXPECT_EQ(copy.inTraceCount, 3);
  EXPECT_EQ(copy.CompConfig(*config), 1);
  copy.traces[1].aOffset += 1e-9;
  EXPECT_EQ(copy.CompConfig(*config), 0);
  copy.traces[1].aOffset = config->traces[1].aOffset;
  copy.limits.maxCNonConform = 0.5;
  EXPECT_EQ(copy.CompConfig(*config), 0);
  copy.limits.maxCNonConform = config->limits.maxCNonConform;
  copy.skip = 2;
  EXPECT_EQ(copy.CompConfig(*config), 0);
}

TEST(BenthSettingsTest, SpacingCodesAndTheCalibrationQuestion) {
  EXPECT_EQ(BenthSpacingCode(100), 1);
  EXPECT_EQ(BenthSpacingCode(50), 2);
  EXPECT_EQ(BenthSpacingCode(33), 3);
  EXPECT_EQ(BenthSpacingCode(25), 4);
  EXPECT_EQ(BenthSpacingCode(70), 1);
  EXPECT_TRUE(BenthCalibrationInQuestion(2, 3));
  EXPECT_FALSE(BenthCalibrationInQuestion(2, 4));
  EXPECT_FALSE(BenthCalibrationInQuestion(1, 3));
  EXPECT_FALSE(BenthCalibrationInQuestion(0, 3));
}

TEST(BenthSettingsTest, TraceMapForOneHundredChannelsAndSkipThree) {
  TraceMap map{};
  FillBenthTraceMap(100, 3, map);
  for (int i = 0; i < 99; ++i) {
    EXPECT_EQ(map[static_cast<std::size_t>(i)], i % 3 == 0 ? 5 : 0) << i;
    EXPECT_EQ(map[static_cast<std::size_t>(100 + i)], i % 3 == 0 ? 3 : 0) << 100 + i;
  }
  EXPECT_EQ(map[99], 0);
  EXPECT_EQ(map[199], 0);
  FillBenthTraceMap(100, 7, map);
  EXPECT_EQ(std::count(map.begin(), map.end(), 0), 256);
}

// --- Calibrations and the editor ------------------------------------------------------

class BenthEditor : public test::HeadlessTest {
 protected:
  void Load(const std::string& text) {
    config = std::make_unique<BenthMeterConfig>(6, 3);
    auto stream = test::TextStream(text);
    ASSERT_EQ(config->ReadConfig(stream.get()), status::kOk);
  }
  std::unique_ptr<BenthMeterConfig> config;
  test::ScriptedSource source{6};
  int changed = -1;
};

TEST_F(BenthEditor, CalibratesTheTickedWavelengthsOnly) {
  Load(Small(2, "1", kTraces2, kLimits));
  source.Good({0.1, 0.2, 0.3, 1.0, 2.0, 3.0}, 2).Lost().Good({0.3, 0.4, 0.5, 3.0, 4.0, 5.0}, 2);
  const std::vector<std::uint8_t> selected = {1, 0, 1};
  DPort& port = source.port();
  ASSERT_EQ(BenthMeterConfig_Calibrate(source, *config, 1, port, 4, true, false, selected),
            status::kOk);
  EXPECT_DOUBLE_EQ(config->traces[0].aOffset, -2.0);
  EXPECT_DOUBLE_EQ(config->traces[1].aOffset, 0.4);  // not ticked
  EXPECT_DOUBLE_EQ(config->traces[2].aOffset, -4.0);
  EXPECT_DOUBLE_EQ(config->traces[0].cOffset, 0.1);  // C not asked for
}

// The hyperspectral meter's offset calibration from its editor, run to its
// end and cancelled half-way: cancelled, the configuration written back is
// byte for byte the one read, and nobody is told.
TEST_F(BenthEditor, ACancelledCalibrationChangesNothing) {
  for (const bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancelled" : "run to its end");
    Load(Small(2, "1", kTraces2, kLimits));
    const std::string before = test::Written([&](std::FILE* f) { return config->WriteConfig(f); });
    source.replies.clear();
    source.reads = 0;
    source.Good({0.1, 0.2, 0.3, 1.0, 2.0, 3.0}, 6);
    source.onRead = [&] {
      if (cancel && source.reads == 2) ui.Commit(pn::kWait, pn::kWaitCancel);
    };
    ui.Commit(pn::kBenthConfig, pn::kBcCalibrate, {{pn::kBcCalSamples, 6}, {pn::kBcCalA, 1}, {pn::kBcCalC, 1}});
    test::AfterWaitMessage(ui, [](platform::HeadlessUi& u) { u.Commit(pn::kBenthConfig, pn::kBcOk); });
    ASSERT_EQ(config->EditConfig(source, changed), status::kOk);
    const std::string after = test::Written([&](std::FILE* f) { return config->WriteConfig(f); });
    EXPECT_EQ(source.reads, cancel ? 2 : 6);
    EXPECT_EQ(changed, cancel ? 0 : 1);
    EXPECT_EQ(after == before, cancel);
    EXPECT_TRUE(ErrorTexts().empty());
    EXPECT_TRUE(ui.problems().empty()) << ui.problems().front();
    ui.ClearRecords();
  }
}

TEST_F(BenthEditor, SettingTheHardwareWarnsWhenTheNewSpacingIsNoMultiple) {
  source.port().acknowledge = true;
  for (const auto& [percent, warned] : {std::pair{33, true}, std::pair{25, false}}) {
    Load(Small(2, "2", kTraces2, kLimits));
    ui.AnswerConfirm(true)
        .AnswerConfirm(false)
        .Commit(pn::kBenthConfig, pn::kBcSetHardware, {{pn::kBcOutput, percent}})
        .Commit(pn::kBenthConfig, pn::kBcOk);
    ASSERT_EQ(config->EditConfig(source, changed), status::kOk);
    EXPECT_EQ(config->skip, 100 / percent);
    EXPECT_EQ(changed, 1);
    bool shown = false;
    for (const platform::PopupRecord& popup : ui.popups()) {
      if (popup.title == "Warning - Calibration in question") {
        shown = true;
        EXPECT_EQ(popup.text, "Some traces may be not correctly calibrated.\nYou may want to recalibrate.");
      }
    }
    EXPECT_EQ(shown, warned) << percent;
    ui.ClearRecords();
  }
}

// After the instrument took its new settings, the configuration is offered
// for saving at once: a file that still says the old ones could not open it
// again.
TEST_F(BenthEditor, SettingTheHardwareOffersToSaveTheConfigurationAtOnce) {
  const std::string saveNow =
      "The instrument now uses the new settings.\n"
      "A configuration file that still has the old ones cannot open it again.\n\n"
      "Save the configuration to a file now?";
  auto questions = [this, &saveNow] {
    int n = 0;
    for (const platform::PopupRecord& popup : ui.popups()) n += popup.text == saveNow ? 1 : 0;
    return n;
  };
  source.port().acknowledge = true;

  // Yes: the save dialog, as Save would, and the panel's fields with the
  // new settings are written; the editor goes on and may still be
  // cancelled, which leaves the configuration in memory as it was.
  Load(Small(2, "1", kTraces2, kLimits));
  ui.AnswerConfirm(true)
      .AnswerConfirm(true)
      .AnswerFile(HomeFile("edited"))
      .Commit(pn::kBenthConfig, pn::kBcSetHardware,
              {{pn::kBcOutput, 50}, {pn::kBcBaud, 38400}, {pn::kBcName, std::string("Renamed meter")}})
      .Commit(pn::kBenthConfig, pn::kBcCancel);
  EXPECT_EQ(config->EditConfig(source, changed), status::kCancelled);
  EXPECT_EQ(questions(), 1);
  EXPECT_TRUE(ErrorTexts().empty());
  EXPECT_EQ(config->skip, 1);
  ASSERT_EQ(ui.fileDialogs().size(), 1u);
  EXPECT_EQ(ui.fileDialogs()[0].request.title, "Save configuration to file:");
  EXPECT_EQ(source.port().openedAt, 38400);
  BenthMeterConfig saved(6, 3);
  const auto text = test::ReadTextFile(HomeFile("edited.dev"));
  ASSERT_TRUE(text.has_value());
  auto stream = test::TextStream(*text);
  ASSERT_EQ(saved.ReadConfig(stream.get()), status::kOk);
  EXPECT_EQ(saved.skip, 2);
  EXPECT_EQ(saved.baudRate, 38400);
  EXPECT_EQ(saved.name, "Renamed meter");
  EXPECT_DOUBLE_EQ(saved.traces[2].cOffset, 0.5);
  ui.ClearRecords();

  // No: nothing is written, the editor goes on.
  ui.AnswerConfirm(true).AnswerConfirm(false)
      .Commit(pn::kBenthConfig, pn::kBcSetHardware, {{pn::kBcOutput, 25}})
      .Commit(pn::kBenthConfig, pn::kBcOk);
  EXPECT_EQ(config->EditConfig(source, changed), status::kOk);
  EXPECT_EQ(config->skip, 4);
  EXPECT_EQ(questions(), 1);
  EXPECT_TRUE(ui.fileDialogs().empty());
  ui.ClearRecords();

  // An instrument that did not take the settings: nothing to save.
  source.port().acknowledge = false;
  ui.AnswerConfirm(true)
      .Commit(pn::kBenthConfig, pn::kBcSetHardware, {{pn::kBcOutput, 100}})
      .Commit(pn::kBenthConfig, pn::kBcCancel);
  EXPECT_EQ(config->EditConfig(source, changed), status::kCancelled);
  EXPECT_EQ(questions(), 0);
  EXPECT_EQ(ErrorTexts().size(), 1u);
  ui.ClearRecords();

  // A file of structure version 3 cannot hold a spacing other than every
  // wavelength: the user is told instead of being offered a file that
  // could not open the instrument either.
  source.port().acknowledge = true;
  Load(Small(3, "3", kTraces3, kLimits));
  ui.AnswerConfirm(true)
      .Commit(pn::kBenthConfig, pn::kBcSetHardware, {{pn::kBcOutput, 50}})
      .Commit(pn::kBenthConfig, pn::kBcCancel);
  EXPECT_EQ(config->EditConfig(source, changed), status::kCancelled);
  EXPECT_EQ(questions(), 0);
  ASSERT_EQ(ErrorTexts().size(), 1u);
  EXPECT_NE(ErrorTexts()[0].find("structure version 3"), std::string::npos);
}

TEST_F(BenthEditor, ZeroOffsetsAndCancelKeepsTheConfiguration) {
  Load(Small(3, "3", kTraces3, kLimits));
  ui.Commit(pn::kBenthConfig, pn::kBcZero, {{pn::kBcZeroA, 1}, {pn::kBcZeroC, 0}})
      .Commit(pn::kBenthConfig, pn::kBcOk);
  ASSERT_EQ(config->EditConfig(source, changed), status::kOk);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(config->traces[2].aOffset, 0.0);
  EXPECT_EQ(config->traces[2].cOffset, 0.5);
  // A file of fewer wavelengths than the device type's most is accepted.
  EXPECT_TRUE(ErrorTexts().empty());

  ui.Commit(pn::kBenthConfig, pn::kBcCancel, {{pn::kBcCOffset, 9.0}});
  EXPECT_EQ(config->EditConfig(source, changed), status::kCancelled);
  EXPECT_EQ(config->traces[0].cOffset, 0.1);
}

// The shared trace editor on the hyperspectral panel: a new C name moves
// the wavelength (and, before structure version 3, the A trace's with it),
// a new colour gives the A trace the darker half of it, an emptied name
// keeps the old one, and the heading list follows the name.
TEST_F(BenthEditor, NameAndColourOfARecordTakeItsATraceAlong) {
  for (const int version : {2, 3}) {
    SCOPED_TRACE(version);
    Load(version == 2 ? Small(2, "1", kTraces2, kLimits) : Small(3, "3", kTraces3, kLimits));
    const double aBefore = config->traces[4].wavelength;
    ui.Select(pn::kBenthConfig, pn::kBcTraceList, 1)
        .Set(pn::kBenthConfig, {{pn::kBcTraceName, std::string("c555.5 x")}, {pn::kBcColor, 0x00FF00}})
        .Select(pn::kBenthConfig, pn::kBcTraceList, 2)
        .Set(pn::kBenthConfig, {{pn::kBcTraceName, std::string("  ")}})
        .Commit(pn::kBenthConfig, pn::kBcOk);
    ASSERT_EQ(config->EditConfig(source, changed), status::kOk);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(config->traces[1].name, "c555.5");
    EXPECT_DOUBLE_EQ(config->traces[1].wavelength, 555.5);
    EXPECT_DOUBLE_EQ(config->traces[4].wavelength, version == 2 ? 555.5 : aBefore);
    EXPECT_EQ(config->traces[1].color, RBGToVantorColor(0x00FF00));
    EXPECT_EQ(config->traces[4].color, BenthAColor(config->traces[1].color));
    EXPECT_EQ(config->traces[2].name, "c430.0");
    EXPECT_TRUE(ErrorTexts().empty());
    ui.ClearRecords();
  }
}

}  // namespace
}  // namespace sondrix
