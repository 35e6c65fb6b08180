// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/meter_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/status.h"
#include "common/utils.h"
#include "config_files.h"
#include "source/factories.h"
#include "source/source.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::Header;
using test::TextStream;
using test::Written;

Status Read(MeterConfig& config, const std::string& text) {
  auto file = TextStream(text);
  return config.ReadConfig(file.get());
}

std::string Write(const MeterConfig& config, Status* result = nullptr) {
  return Written([&](std::FILE* f) { return config.WriteConfig(f); }, result);
}

const std::string kVersion0 = Header("A meter 58", "0600003A", 0, "0.000000\t0.003500", "9600") +
                              "a440\t17\t0.03180\t20.00000\t0.00019\n"
                              "a550\tLtGreen\t0.01660\t20.00000\t0.00006\n"
                              "a676\t114\t-0.00920\t20.00000\t-0.00011\n";

const std::string kVersion1 =
    Header("C meter 212", "070000D4", 1, "0.000000\t0.003500", "19200", "0.100000") +
    "2\t\t\t; number of temperature calibration bins\n"
    "\t\t\t\t10.00000\t20.00000\t; temperature bins\n"
    "c450\tBlue\t0.11840\t\t-0.00105\t0.00105\t\t; offset and temperature correction info\n"
    "c532\t55\t0.09620\t\t-0.00045\t0.00045\t\t; offset and temperature correction info\n"
    "c650\tRed\t0.07050\t\t0.00030\t-0.00030\t\t; offset and temperature correction info\n";

const std::string kLimitsLines =
    "0.005000\t0.005000\t0.050000\t0.050000\t0.050000\t0.050000\t0.050000\t0.050000\t0.100000"
    "\t; maxANoise\tmaxCNoise\tmaxADifference\tmaxCDifference\tminACounts\tminCCounts"
    "\tminRCounts\tmaxTempSdev\tmaxDepthSdev\n"
    "1\t\t\t; auxilliary capabilities\n";

// The C meter's file in version 2 (same traces, limits and capabilities).
std::string Version2() {
  std::string text = kVersion1;
  text.replace(text.find("1\t; structure"), 1, "2");
  return text + kLimitsLines;
}

TEST(MeterConfigFile, Version0WritesBackInItsLayout) {
  MeterConfig config(3, 3);
  ASSERT_EQ(Read(config, kVersion0), status::kOk);
  ASSERT_EQ(config.traces.size(), 3u);
  EXPECT_EQ(config.traces[1].name, "a550");
  EXPECT_EQ(config.traces[1].color, 75);
  EXPECT_DOUBLE_EQ(config.traces[2].offset, -0.0092);
  EXPECT_DOUBLE_EQ(config.traces[2].refTemp, 20.0);
  EXPECT_DOUBLE_EQ(config.traces[2].tempSlope, -0.00011);
  EXPECT_EQ(config.tempBinCount, 0);
  Status result = 0;
  EXPECT_EQ(Write(config, &result), kVersion0);
  EXPECT_EQ(result, status::kOk);
}

TEST(MeterConfigFile, Version1HasNoLimitsAndReadsThemAsZero) {
  MeterConfig config(3, 3);
  config.limits.maxANoise = 9.0;
  config.auxCapabilities = 1;
  ASSERT_EQ(Read(config, kVersion1), status::kOk);
  EXPECT_EQ(config.tempBinCount, 2);
  EXPECT_DOUBLE_EQ(config.tempBins[1], 20.0);
  EXPECT_DOUBLE_EQ(config.traces[0].tempCorr[0], -0.00105);
  EXPECT_DOUBLE_EQ(config.traces[2].tempCorr[1], -0.0003);
  EXPECT_EQ(config.limits.maxANoise, 0.0);
  EXPECT_EQ(config.auxCapabilities, 0);
  EXPECT_EQ(Write(config), kVersion1);
}

TEST(MeterConfigFile, Version2CarriesLimitsAndCapabilities) {
  MeterConfig config(3, 3);
  ASSERT_EQ(Read(config, Version2()), status::kOk);
  EXPECT_DOUBLE_EQ(config.limits.maxANoise, 0.005);
  EXPECT_DOUBLE_EQ(config.limits.minRCounts, 0.05);
  EXPECT_DOUBLE_EQ(config.limits.maxDepthSdev, 0.1);
  EXPECT_EQ(config.auxCapabilities, 1);
  EXPECT_EQ(Write(config), Version2());

  // A limits line without nine numbers.
  std::string shortLimits = Version2();
  shortLimits.replace(shortLimits.find("0.100000\t; max"), 8, ";");
  EXPECT_EQ(Read(config, shortLimits), status::kConfigTraceInfo);
  EXPECT_TRUE(config.traces.empty());
}

TEST(MeterConfigFile, ZeroBinsInVersion1) {
  const std::string text = Header("C", "07000001", 1) +
                           "0\t\t\t; number of temperature calibration bins\n"
                           "\t\t\t\t; temperature bins\n"
                           "c450\tBlue\t0.11840\t\t\t; offset and temperature correction info\n"
                           "c532\tRed\t0.09620\t\t\t; offset and temperature correction info\n"
                           "c650\tRed\t0.07050\t\t\t; offset and temperature correction info\n";
  MeterConfig config(3, 3);
  ASSERT_EQ(Read(config, text), status::kOk);
  EXPECT_EQ(config.tempBinCount, 0);
  EXPECT_DOUBLE_EQ(config.traces[2].offset, 0.0705);
  EXPECT_EQ(Write(config), text);
}

TEST(MeterConfigFile, EveryExampleFileWritesBackByteForByte) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SONDRIX_EXAMPLES_DIR)) {
    if (entry.path().extension() != ".dev") continue;
    SCOPED_TRACE(entry.path().string());
    const std::optional<std::string> text = test::ReadTextFile(entry.path().string());
    ASSERT_TRUE(text);
    std::uint32_t id = 0;
    std::string idText;
    auto stream = TextStream(*text);
    ASSERT_EQ(ReadID(stream.get(), id, idText), status::kOk);
    const int type = static_cast<int>(id >> 24);
    const ModelInfo* model = FindModel(type);
    ASSERT_NE(model, nullptr);
    if (model->model == Model::Benth) continue;
    MeterConfig config(DeviceTraceCount(type), DeviceInTraceCount(type));
    ASSERT_EQ(Read(config, *text), status::kOk);
    EXPECT_EQ(Write(config), *text);
    ++files;
  }
  EXPECT_GE(files, 4);
}

TEST(MeterConfigFile, NineWavelengthExampleFollowsTheTraceMap) {
  MeterConfig config(18, 18);
  auto text = test::ReadTextFile(SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev");
  ASSERT_TRUE(text);
  ASSERT_EQ(Read(config, *text), status::kOk);
  EXPECT_EQ(config.version, 2);
  EXPECT_EQ(config.tempBinCount, 8);
  EXPECT_EQ(config.auxCapabilities & 1, 1);
  const ModelInfo* model = FindModel(config.deviceType());
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(model->traceMap.size(), config.traces.size());
  for (std::size_t i = 0; i < config.traces.size(); ++i) {
    const char kind = config.traces[i].name.front();
    EXPECT_EQ(kind == 'a' ? kTraceA : kTraceC, model->traceMap[i]) << config.traces[i].name;
  }
}

TEST(MeterConfigTraces, WavelengthComesFromTheName) {
  const std::string text = Header("C", "07000001", 1) + "0\n\n" +
                           "c676.5\tRed\t0.1\nc412\tRed\t0.2\nx\tRed\t0.3\n";
  MeterConfig config(3, 3);
  ASSERT_EQ(Read(config, text), status::kOk);
  EXPECT_DOUBLE_EQ(config.traces[0].wavelength, 676.5);
  EXPECT_DOUBLE_EQ(config.traces[1].wavelength, 412.0);
  EXPECT_DOUBLE_EQ(config.traces[2].wavelength, 0.0);
  double wavelengths[3] = {};
  EXPECT_EQ(config.GetWavelengths(wavelengths), status::kOk);
  EXPECT_DOUBLE_EQ(wavelengths[0], 676.5);
}

TEST(MeterConfigTraces, ColourWords) {
  const std::string text = Header("A", "06000001", 0) +
                           "a440 ltBLUE 0 0 0\n"
                           "a550 17 0 0 0\n"
                           "a676 purple 0 0 0\n";
  MeterConfig config(3, 3);
  ASSERT_EQ(Read(config, text), status::kOk);
  int colors[3] = {};
  EXPECT_EQ(config.GetColors(colors), status::kOk);
  EXPECT_EQ(colors[0], 25);
  EXPECT_EQ(colors[1], 17);
  EXPECT_EQ(colors[2], 254);

  const std::string defaults = Header("A", "06000001", 0) +
                               "a400 DEFAULT 0 0 0\n"
                               "a550 default 0 0 0\n"
                               "a676 9999 0 0 0\n";
  ASSERT_EQ(Read(config, defaults), status::kOk);
  EXPECT_EQ(config.traces[0].color, WavelengthColor(400.0));
  EXPECT_EQ(config.traces[1].color, WavelengthColor(550.0));
  EXPECT_NE(config.traces[0].color, config.traces[1].color);
  // A number outside the palette is taken as black as well.
  EXPECT_EQ(config.traces[2].color, 254);
  EXPECT_NE(Write(config).find("a676\tBlack\t"), std::string::npos);
}

TEST(MeterConfigTraces, OverlongWordsAreCutAndTheLineStillEnds) {
  const std::string longName = "a440" + std::string(40, '9');
  const std::string text = Header("A", "06000001", 0) + longName + " Red 0.5 1 2 ; note\n" +
                           "a550 " + std::string(500, 'x') + " 0.25 3 4\n" + "a676 Red 0.125 5 6\n";
  MeterConfig config(3, 3);
  ASSERT_EQ(Read(config, text), status::kOk);
  EXPECT_EQ(config.traces[0].name, longName.substr(0, 15));
  EXPECT_DOUBLE_EQ(config.traces[0].offset, 0.5);
  EXPECT_EQ(config.traces[1].color, 254);
  EXPECT_DOUBLE_EQ(config.traces[1].offset, 0.25);
  EXPECT_DOUBLE_EQ(config.traces[2].tempSlope, 6.0);
}

TEST(MeterConfigLimits, BinCounts) {
  auto withBins = [](const std::string& count) {
    return Header("C", "07000001", 1) + count + "\n\t0 1 2\n";
  };
  MeterConfig config(3, 3);
  EXPECT_EQ(Read(config, withBins("101")), status::kConfigTempBinCount);
  EXPECT_EQ(Read(config, withBins("-1")), status::kConfigTempBinCount);
  EXPECT_EQ(Read(config, withBins("none")), status::kConfigTempBinCount);
  EXPECT_EQ(Read(config, withBins("99999999999999999999999")), status::kConfigTempBinCount);
  EXPECT_EQ(Read(config, withBins("4")), status::kConfigTempBins);
  EXPECT_TRUE(config.traces.empty());

  // One hundred bins is the most a configuration holds.
  std::string text = Header("C", "07000001", 1) + "100\n";
  for (int k = 0; k < 100; ++k) text += std::to_string(k) + " ";
  text += "\n";
  for (const char* name : {"c1", "c2", "c3"}) {
    text += std::string(name) + " Red 0.1";
    for (int k = 0; k < 100; ++k) text += " 0.001";
    text += "\n";
  }
  ASSERT_EQ(Read(config, text), status::kOk);
  EXPECT_EQ(config.tempBinCount, 100);
  EXPECT_DOUBLE_EQ(config.tempBins[99], 99.0);
  EXPECT_DOUBLE_EQ(config.traces[2].tempCorr[99], 0.001);
}

TEST(MeterConfigLimits, BinCountsAreWholeNumbers) {
  MeterConfig config(3, 3);
  for (const char* count : {"1e9", "2.0", "2x"}) {
    std::string text = kVersion1;
    text.replace(text.find("2\t\t\t; number"), 1, count);
    EXPECT_EQ(Read(config, text), status::kConfigTempBinCount) << count;
    EXPECT_TRUE(config.traces.empty());
  }
}

// Each non-finite number is refused with the code of the field it is in.
TEST(MeterConfigLimits, NumbersThatAreNotFiniteAreRefused) {
  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  MeterConfig config(3, 3);
  EXPECT_EQ(Read(config, replaced(kVersion1, "20.00000\t;", "nan\t;")), status::kConfigTempBins);
  // A temperature far below the normal doubles makes a bin that is no width.
  EXPECT_EQ(Read(config, replaced(kVersion1, "20.00000\t;", "1e-320\t;")), status::kConfigTempBins);
  EXPECT_EQ(Read(config, replaced(kVersion1, "0.11840", "nan")), status::kConfigTraceInfo);
  EXPECT_EQ(Read(config, replaced(kVersion1, "-0.00045", "inf")), status::kConfigTraceInfo);
  EXPECT_EQ(Read(config, replaced(kVersion0, "20.00000\t0.00006", "nan\t0.00006")),
            status::kConfigTraceInfo);
  EXPECT_EQ(Read(config, replaced(kVersion0, "0.00006", "-infinity")), status::kConfigTraceInfo);
  EXPECT_EQ(Read(config, replaced(Version2(), "0.100000\t;", "nan\t;")), status::kConfigTraceInfo);
  // No sample could keep within a negative self-test limit.
  EXPECT_EQ(Read(config, replaced(Version2(), "0.100000\t;", "-0.100000\t;")), status::kConfigTraceInfo);
  EXPECT_EQ(Read(config, replaced(Version2(), "0.005000", "-0.005000")), status::kConfigTraceInfo);
  EXPECT_TRUE(config.traces.empty());
  ASSERT_EQ(Read(config, Version2()), status::kOk);
}

// However the bins came to be, the correction is a number: bins too close
// to divide by, equal or in the wrong order.
TEST(MeterConfigTempCorrection, BinsThatCollapseCorrectNothingAndNeverGiveNaN) {
  MeterConfig config(1, 1);
  config.version = 1;
  config.tempBinCount = 2;
  config.traces.assign(1, TraceCal{});
  config.traces[0].tempCorr[0] = 0.5;
  config.traces[0].tempCorr[1] = 0.5;
  config.tempBins[0] = 0.0;
  config.tempBins[1] = 5e-324;
  EXPECT_EQ(TempCorrection(config, 20.0).Term(config.traces[0]), 0.0);
  config.tempBins[1] = 0.0;
  EXPECT_EQ(TempCorrection(config, 20.0).Term(config.traces[0]), 0.0);
  config.tempBins[0] = 20.0;
  config.tempBins[1] = 10.0;
  config.traces[0].tempCorr[1] = 1.5;
  EXPECT_DOUBLE_EQ(TempCorrection(config, 15.0).Term(config.traces[0]), -1.0);
}

TEST(MeterConfigLimits, ShortOrMissingTraceLines) {
  MeterConfig config(3, 3);
  // Version 0: five items per trace.
  EXPECT_EQ(Read(config, Header("A", "06000001", 0) + "a440 Red 0 0 0\na550 Red 0 0\n"),
            status::kConfigTraceInfo);
  EXPECT_TRUE(config.traces.empty());
  // Version 1: the offset is needed even without bins; a missing bin value.
  EXPECT_EQ(Read(config, Header("C", "07000001", 1) + "0\n\nc1 Red\n"), status::kConfigTraceInfo);
  EXPECT_EQ(Read(config, Header("C", "07000001", 1) + "2\n1 2\nc1 Red 0.1 0.2\nc2 Red 0.1 0.2 "
                                                      "0.3\nc3 Red 0.1 0.2 0.3\n"),
            status::kConfigTraceInfo);
  // The file ends before the last trace.
  EXPECT_EQ(Read(config, Header("C", "07000001", 1) + "0\n\nc1 Red 0.1\nc2 Red 0.1\n"),
            status::kConfigTraceInfo);
  EXPECT_TRUE(config.traces.empty());
}

TEST(MeterConfigLimits, TraceCountOutsideThePerTraceArrays) {
  MeterConfig none(0, 0);
  EXPECT_EQ(Read(none, Header("C", "07000001", 1) + "0\n\n"), status::kOk);
  EXPECT_TRUE(none.traces.empty());
  EXPECT_EQ(Write(none), Header("C", "07000001", 1) +
                             "0\t\t\t; number of temperature calibration bins\n"
                             "\t\t\t\t; temperature bins\n");

  MeterConfig negative(-1011, -1011);
  EXPECT_EQ(Read(negative, kVersion1), status::kBadDeviceType);
  MeterConfig huge(1 << 30, 1 << 30);
  EXPECT_EQ(Read(huge, kVersion1), status::kBadDeviceType);
  EXPECT_TRUE(huge.traces.empty());
}

TEST(MeterConfigLimits, BinaryAndTruncatedInputEndsWithACode) {
  MeterConfig config(3, 3);
  EXPECT_EQ(Read(config, std::string("\x7f\x45\x4c\x46\x02\x01\x00\x00\xff\n\xfe", 11)),
            status::kBadConfigFormat);
  // A NUL in the middle of the trace section ends a trace name; a trace
  // left without a name could not be written readably.
  std::string binary = kVersion1;
  binary[binary.find("c532")] = '\0';
  EXPECT_EQ(Read(config, binary), status::kConfigTraceInfo);
  EXPECT_TRUE(config.traces.empty());
  binary = kVersion1;
  binary[binary.find("c532") + 2] = '\0';
  ASSERT_EQ(Read(config, binary), status::kOk);
  EXPECT_EQ(config.traces[1].name, "c5");
  MeterConfig back(3, 3);
  ASSERT_EQ(Read(back, Write(config)), status::kOk);
  EXPECT_EQ(back.CompConfig(config), 1);
  for (std::size_t cut = 0; cut < Version2().size(); cut += 7) {
    MeterConfig partial(3, 3);
    const Status result = Read(partial, Version2().substr(0, cut));
    if (result == status::kOk) {
      EXPECT_EQ(partial.traces.size(), 3u);
    }
  }
}

TEST(MeterConfigCompare, WhatCountsAsAChange) {
  MeterConfig a(3, 3);
  MeterConfig b(3, 3);
  ASSERT_EQ(Read(a, Version2()), status::kOk);
  ASSERT_EQ(Read(b, Version2()), status::kOk);
  EXPECT_EQ(a.CompConfig(b), 1);

  b.traces[1].tempCorr[0] += 1.0;  // not compared
  b.auxCapabilities = 0;           // not compared
  b.traces[1].offset += 5e-11;
  b.limits.maxTempSdev += 5e-11;
  EXPECT_EQ(a.CompConfig(b), 1);

  b.traces[1].color = 0;
  EXPECT_EQ(a.CompConfig(b), 0);
  b.traces[1].color = a.traces[1].color;
  b.tempBins[1] += 1e-6;
  EXPECT_EQ(a.CompConfig(b), 0);
  b.tempBins[1] = a.tempBins[1];
  b.traces[0].name = "c451";
  EXPECT_EQ(a.CompConfig(b), 0);
  b.traces[0].name = a.traces[0].name;
  b.limits.minACounts = 1.0;
  EXPECT_EQ(a.CompConfig(b), 0);

  Config base(3, 3);
  a.CopyConfig(base);
  EXPECT_EQ(a.CompConfig(base), 0);
}

TEST(MeterConfigCopy, CopiesEverythingIntoAMeterConfigAndTheHeaderElsewhere) {
  MeterConfig a(3, 3);
  ASSERT_EQ(Read(a, Version2()), status::kOk);
  MeterConfig b(1, 1);
  ASSERT_EQ(a.CopyConfig(b), status::kOk);
  EXPECT_EQ(b.traceCount, 3);
  EXPECT_EQ(b.traces.size(), 3u);
  EXPECT_EQ(b.CompConfig(a), 1);
  EXPECT_DOUBLE_EQ(b.traces[2].tempCorr[1], -0.0003);
  EXPECT_EQ(b.auxCapabilities, 1);
  EXPECT_EQ(Write(b), Version2());

  Config base(0, 0);
  ASSERT_EQ(a.CopyConfig(base), status::kOk);
  EXPECT_EQ(base.name, "C meter 212");
  EXPECT_EQ(base.traceCount, 3);
}

TEST(MeterConfigHeadings, OutOfRangeIsUnknown) {
  MeterConfig config(3, 3);
  std::string heading;
  EXPECT_EQ(config.GetHeading(0, heading), status::kNoSuchHeading);  // nothing read yet
  ASSERT_EQ(Read(config, kVersion1), status::kOk);
  EXPECT_EQ(config.GetHeading(2, heading), status::kOk);
  EXPECT_EQ(heading, "c650");
  EXPECT_EQ(config.GetHeading(3, heading), status::kNoSuchHeading);
  EXPECT_EQ(heading, "unknown");
  EXPECT_EQ(config.GetHeading(-1, heading), status::kNoSuchHeading);
  int small[2] = {-1, -1};
  EXPECT_EQ(config.GetColors(small), status::kOk);  // fills only what fits
  EXPECT_EQ(small[1], 55);
}

}  // namespace
}  // namespace sondrix
