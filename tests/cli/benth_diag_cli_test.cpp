// The built sondrix-cli diag on the hyperspectral meter: simulated runs in
// the self-test's reference condition, with and without a spectrum that
// does not conform, into reports.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

using test::CliRun;
using test::Quoted;

const std::string kBenth = SONDRIX_EXAMPLES_DIR "/benth-100wl.dev";

class BenthDiagCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(test::kCli));
    ASSERT_TRUE(std::filesystem::exists(test::kSim));
  }

  // The report of a simulated run of 35 packets with `options`.
  std::string Report(const std::string& options) {
    const std::string capture = dir.File("benth.raw");
    const std::string sim = "--device " + Quoted(kBenth) + " --out " + Quoted(capture) +
                            " --packets 35 --quiet --clean-water --max-depth 0 --internal-temp 20"
                            " --value-noise 0 " + options;
    EXPECT_EQ(test::RunTool(test::kSim, sim, dir).exitStatus, 0);
    const std::string report = dir.File("benth.rpt");
    const CliRun run = test::RunTool(
        test::kCli, "diag --device " + Quoted(kBenth) + " --port " + Quoted(capture) + " --report " + Quoted(report), dir);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "report of 30 good samples written to " + report + "\n");
    return test::ReadTextFile(report).value_or("");
  }

  // The section that begins with `heading`, up to its blank line.
  static std::string Section(const std::string& report, const std::string& heading) {
    const auto at = report.find("\n" + heading);
    if (at == std::string::npos) return "<none>";
    const auto end = report.find("\n\n", at + 1);
    return report.substr(at + 1, end == std::string::npos ? std::string::npos : end - at);
  }

  test::TempDir dir;
};

const std::vector<std::string> kHeadings = {
    "Calibration - C positive: ", "Calibration - A positive: ", "Calibration - C negative: ",
    "Calibration - A negative: ", "Raw counts - Reference: ",   "Raw counts - C channel: ",
    "Raw counts - A channel: ",   "Noncomformity - C: ",        "Noncomformity - A: ",
    "Noise - C: ",                "Noise - A: ",                "Depth sensor: ",
    "Temperature sensor: "};

TEST_F(BenthDiagCli, AnInstrumentInItsReferenceConditionPasses) {
  const std::string report = Report("");
  EXPECT_NE(report.find("Sondrix diagnostics report for meter Benth hyperspectral meter 167, s/n 530000A7\n"),
            std::string::npos);
  EXPECT_NE(report.find("The following limits were used:\n"
                        "\tmaximum A difference = 0.050000\n"
                        "\tmaximum C difference = 0.060000\n"
                        "\tminimum A counts     = 2000\n"
                        "\tminimum C counts     = 2500\n"
                        "\tminimum Ref counts   = 1500\n"
                        "\tmaximum A nonconform = 0.020000\n"
                        "\tmaximum C nonconform = 0.025000\n"
                        "\tmaximum A noise      = 0.005000\n"),
            std::string::npos)
      << report;
  std::size_t last = 0;
  for (const std::string& heading : kHeadings) {
    const auto at = report.find("\n" + heading);
    ASSERT_NE(at, std::string::npos) << heading;
    EXPECT_GT(at, last) << heading << " out of order";
    last = at;
    // The nonconformity of a flat spectrum is the counts' rounding alone,
    // tested against three times its own mean: a few wavelengths may stand
    // out of it; every other section passes.
    if (heading.rfind("Noncomformity", 0) != 0) {
      EXPECT_EQ(Section(report, heading), heading + "Passed.\n") << heading;
    }
  }
}

TEST_F(BenthDiagCli, ABentSpectrumFailsItsNonconformityAtTheBendAndItsNeighbours) {
  // The middle wavelength (50 of 100, 566.7 nm) 0.5 1/m above its
  // neighbours 563.3 and 570.0 nm.
  const std::string report = Report("--bend 0.5");
  const std::string list =
      "\n\tThe following wavelengths exceed the recommended limit for nonconformity:\n\t563.3 566.7 570.0 \n";
  EXPECT_EQ(Section(report, "Noncomformity - C: "), "Noncomformity - C: " + list);
  EXPECT_EQ(Section(report, "Noncomformity - A: "), "Noncomformity - A: " + list);
  EXPECT_EQ(Section(report, "Calibration - C positive: "),
            "Calibration - C positive: \n\tThe C value for the following wavelengths exceed previous "
            "calibration:\n\t566.7 \n");
  EXPECT_EQ(Section(report, "Noise - C: "), "Noise - C: Passed.\n");
}

}  // namespace
}  // namespace sondrix
