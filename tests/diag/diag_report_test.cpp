// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces of a report: a wavelength section and its list of failures,
// the saturation question, the sensor paragraphs, numbers that are not
// numbers, and where the report file goes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "common/settings.h"
#include "diag/diag_report.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// What `write` puts into a file.
std::string Written(const std::function<void(std::FILE*)>& write) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return "<no file>";
  write(file);
  std::rewind(file);
  std::string text;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

std::string Section(const std::vector<double>& limits, const std::vector<double>& values,
                    const std::vector<double>& wavelengths, bool maximumTest, int* failures = nullptr) {
  return Written([&](std::FILE* file) {
    const int n = DiagReportOne(file, "\nNoise - C: ", "\n\tFIRST:\n\t", limits, values, wavelengths, maximumTest);
    if (failures) *failures = n;
  });
}

TEST(DiagSectionTest, NothingOutsideItsLimitPasses) {
  EXPECT_EQ(Section({0.1, 0.1}, {0.1, -3.0}, {412, 440}, true), "\nNoise - C: Passed.\n");
  EXPECT_EQ(Section({0.1, 0.1}, {0.1, 3.0}, {412, 440}, false), "\nNoise - C: Passed.\n");
}

TEST(DiagSectionTest, FailuresAreListedAfterTheFirstText) {
  int failures = 0;
  EXPECT_EQ(Section({0.1, 0.1, 0.1}, {0.2, 0.05, 0.3}, {412, 440, 676.5}, true, &failures),
            "\nNoise - C: \n\tFIRST:\n\t412.0 676.5 \n");
  EXPECT_EQ(failures, 2);
  EXPECT_EQ(Section({0.1, 0.1}, {0.05, 0.2}, {412, 440}, false), "\nNoise - C: \n\tFIRST:\n\t412.0 \n");
}

TEST(DiagSectionTest, TwelveFailuresBreakTheListAfterTheTenth) {
  std::vector<double> wavelengths;
  for (int i = 0; i < 12; ++i) wavelengths.push_back(400 + 10 * i);
  const std::vector<double> limits(12, 1.0);
  const std::vector<double> values(12, 2.0);
  EXPECT_EQ(Section(limits, values, wavelengths, true),
            "\nNoise - C: \n\tFIRST:\n\t400.0 410.0 420.0 430.0 440.0 450.0 460.0 470.0 480.0 490.0 \n\t"
            "500.0 510.0 \n");
  // Exactly ten: the break comes after the tenth all the same.
  EXPECT_EQ(Section(std::vector<double>(10, 1.0), std::vector<double>(10, 2.0),
                    std::vector<double>(wavelengths.begin(), wavelengths.begin() + 10), true),
            "\nNoise - C: \n\tFIRST:\n\t400.0 410.0 420.0 430.0 440.0 450.0 460.0 470.0 480.0 490.0 \n\t\n");
}

TEST(DiagSectionTest, ANumberThatIsNotANumberFailsEitherTest) {
  EXPECT_FALSE(DiagPasses(kNaN, 1.0, true));
  EXPECT_FALSE(DiagPasses(kNaN, 1.0, false));
  EXPECT_FALSE(DiagPasses(INFINITY, 1.0, false));
  EXPECT_FALSE(DiagPasses(0.5, kNaN, true));
  EXPECT_FALSE(DiagPasses(0.5, INFINITY, true));
  EXPECT_TRUE(DiagPasses(1.0, 1.0, true));
  EXPECT_TRUE(DiagPasses(1.0, 1.0, false));
  EXPECT_EQ(Section({0.1}, {kNaN}, {488}, true), "\nNoise - C: \n\tFIRST:\n\t488.0 \n");
}

TEST(DiagSaturationTest, MoreThanThreeWavelengthsAtTheMaximumAsk) {
  EXPECT_EQ(CountAtMaximum(std::vector<double>{0.9, 0.99, 0.99, 0.5, 0.99, 0.99}), 4);
  EXPECT_EQ(Written([](std::FILE* f) { DiagReportSaturation(f, std::vector<double>{1, 1, 1, 1, 0.5}); }),
            "\tMore than 3 wavelengths are at the maximum value. Is this saturated?\n");
  EXPECT_EQ(Written([](std::FILE* f) { DiagReportSaturation(f, std::vector<double>{1, 1, 1, 0.5}); }), "");
}

TEST(DiagSaturationTest, ADarkChannelIsNotSaturated) {
  EXPECT_EQ(CountAtMaximum(std::vector<double>(9, 0.0)), 0);
  EXPECT_EQ(Written([](std::FILE* f) { DiagReportSaturation(f, std::vector<double>(9, 0.0)); }), "");
}

TEST(DiagSensorTest, TemperatureWithinItsRangePasses) {
  EXPECT_EQ(Written([](std::FILE* f) { DiagReportTemperature(f, 20.0, 0.01, 0.05); }),
            "\nTemperature sensor: Passed.\n\n");
  EXPECT_EQ(Written([](std::FILE* f) { DiagReportTemperature(f, 50.0, 0.05, 0.05); }),
            "\nTemperature sensor: Passed.\n\n");
}

TEST(DiagSensorTest, TemperatureOutsideItsRangeSaysWhatItReads) {
  EXPECT_EQ(Written([](std::FILE* f) { DiagReportTemperature(f, 55.3, 0.01, 0.05); }),
            "\nTemperature sensor: \n\tThe sensor reads 55.30 degrees C.\n\n");
  EXPECT_EQ(Written([](std::FILE* f) { DiagReportTemperature(f, -0.5, 0.2, 0.05); }),
            "\nTemperature sensor: \n\tThe sensor reads -0.50 degrees C."
            "\n\tThe standard deviation in the reading exceeds the recommended limit.\n\n");
}

TEST(DiagSensorTest, ATemperatureThatIsNoNumberFails) {
  const std::string text = Written([](std::FILE* f) { DiagReportTemperature(f, kNaN, kNaN, 0.05); });
  EXPECT_EQ(text.find("Passed."), std::string::npos) << text;
  EXPECT_NE(text.find("The standard deviation in the reading exceeds"), std::string::npos) << text;
  EXPECT_NE(text.find("\n\tThe sensor gives no reading."), std::string::npos) << text;
  EXPECT_EQ(text.find("nan"), std::string::npos) << text;
}

TEST(DiagSensorTest, DepthAwayFromTheSurfaceOrNoisy) {
  EXPECT_EQ(Written([](std::FILE* f) { DiagReportDepth(f, -0.5, 0.1, 0.1); }), "\nDepth sensor: Passed.\n");
  EXPECT_EQ(Written([](std::FILE* f) { DiagReportDepth(f, 0.51, 0.11, 0.1); }),
            "\nDepth sensor: \n\tThe sensor reads 0.51 meters at the surface."
            "\n\tThe standard deviation in the reading exceeds the recommended limit.\n");
}

TEST(DiagLimitLineTest, LimitsAsStored) {
  EXPECT_EQ(Written([](std::FILE* f) { DiagReportLimit(f, "maximum A noise      = ", 0.005); }),
            "\tmaximum A noise      = 0.005000\n");
  EXPECT_EQ(Written([](std::FILE* f) { DiagReportLimit(f, "minimum A counts     = ", 1200.4, 0); }),
            "\tminimum A counts     = 1200\n");
}

class ReportFileTest : public test::HeadlessTest {};

TEST_F(ReportFileTest, TheDialogStartsInTheReportDirectoryAndRemembersTheChoice) {
  const std::string folder = HomeFile("reports");
  std::filesystem::create_directories(folder);
  WriteSettings("[General]\nReportDirectory=" + folder + "\n");
  const std::string chosen = HomeFile("elsewhere/new.rpt");
  ui.AnswerFile(chosen);
  std::string path;
  EXPECT_EQ(ChooseReportFile(path), status::kOk);
  EXPECT_EQ(path, chosen);
  ASSERT_EQ(ui.fileDialogs().size(), 1u);
  const platform::FileSelectRequest& request = ui.fileDialogs()[0].request;
  EXPECT_EQ(request.directory, folder);
  EXPECT_EQ(request.defaultSpec, "*.rpt");
  EXPECT_EQ(request.title, "Save report in file:");
  EXPECT_EQ(settings::Directory(settings::kReportDirectory), HomeFile("elsewhere") + "/");
  EXPECT_TRUE(ui.popups().empty());
}

TEST_F(ReportFileTest, AnExistingFileIsReplacedOnlyWhenTheUserSaysSo) {
  const std::string old = test::WriteTextFile(HomeFile("old.rpt"), "filed with the cruise report\n");
  std::string path;
  ui.AnswerFile(old).AnswerConfirm(false);
  EXPECT_EQ(ChooseReportFile(path), status::kCancelled);
  EXPECT_EQ(test::ReadTextFile(old), "filed with the cruise report\n");
  ASSERT_EQ(ui.popups().size(), 1u);
  EXPECT_EQ(ui.popups()[0].title, "");
  EXPECT_EQ(ui.popups()[0].text, "This file exists. Do you want to overwrite it?");

  ui.AnswerFile(old).AnswerConfirm(true);
  EXPECT_EQ(ChooseReportFile(path), status::kOk);
  EXPECT_FALSE(std::filesystem::exists(old));
}

TEST_F(ReportFileTest, NoChoiceIsACancel) {
  ui.CancelFile();
  std::string path = "unchanged";
  EXPECT_EQ(ChooseReportFile(path), status::kCancelled);
  EXPECT_EQ(path, "unchanged");
}

TEST_F(ReportFileTest, OnlyARegularFileTakesAReport) {
  EXPECT_EQ(WriteReportFile(home.path(), [](std::FILE*) {}), status::kCantOpenFile);
  EXPECT_EQ(WriteReportFile(HomeFile("missing/dir/r.rpt"), [](std::FILE*) {}), status::kCantOpenFile);
  const std::string path = HomeFile("r.rpt");
  EXPECT_EQ(WriteReportFile(path, [](std::FILE* f) { std::fputs("text\n", f); }), status::kOk);
  EXPECT_EQ(test::ReadTextFile(path), "text\n");
}

}  // namespace
}  // namespace sondrix
