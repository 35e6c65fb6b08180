// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli process end to end on a recording written by hand: the
// nine-wavelength meter's spectra, the ship's temperature with a gap of 40 s
// and its salinity throughout (NAME.ancillary.csv), a spike, a damaged line.
// The Level-2 NetCDF file is read back by another program, python3-xarray:
// the corrected spectra are (time, wavelength) variables, the temperature
// and salinity used are the ship's (the meter's in the gap), absorption_ts
// at 715 nm is the published formula with the table's rows around it, and
// the quality flags decoded through flag_values and flag_meanings are those
// the faults call for, sample by sample. Then what the command refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "common/text_format.h"
#include "datafile/ancillary_file.h"
#include "datafile/companion.h"
#include "support/fixtures.h"
#include "support/sim_report.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::Quoted;

constexpr std::int64_t kZero = 1796900000000;  // the first sample's UTC
constexpr int kSamples = 120;                  // two a second
constexpr int kSpike = 16;                     // t = 8 s
constexpr int kDamagedAfter = 8;               // a damaged line between samples 8 and 9
// The traces of nerit-9wl.dev in the line's order.
const char* const kTraces[] = {"a412", "a440", "a488", "c412", "c440", "c488", "a510", "a532", "a555",
                               "c510", "c532", "c555", "a650", "a676", "a715", "c650", "c676", "c715"};

double Value(const std::string& trace, int i) {
  const double w = std::stod(trace.substr(1));
  const double a = 0.05 + 0.4 * std::exp(-0.014 * (w - 412.0)) + 0.0001 * (i % 7);
  return trace[0] == 'a' ? a + (i == kSpike && w == 412.0 ? 0.3 : 0.0) : a + 0.3 * 550.0 / w;
}

// The ship's temperature at second s: readings 0 ... 10 s and 50 ... 60 s.
double ShipTemperature(double s) { return 24.0 + 0.01 * s; }
bool ShipHasTemperature(double s) { return s <= 10.0 || s >= 50.0; }

class ProcessCli : public test::HeadlessTest {
 protected:
  std::string Recording() {
    const std::string path = home.File("cast.dat");
    std::string text = "Sondrix ver 7.1\t12-09-2026\t20:49:33\n" +
                       test::ReadTextFile(SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev").value_or("") +
                       "1\t\t\t; acquisition binsize\n";
    for (int i = 0; i < kSamples; ++i) {
      text += std::to_string(i * 500);
      for (const char* trace : kTraces) text += Format("\t%.5f", Value(trace, i));
      if (i % 10 == 0) {
        text += "\t15.00\t6.0\t" + std::to_string(i / 10) + ".00\t18.00";
        for (int t = 0; t < 18; ++t) text += "\t0.50000";
      }
      text += "\n";
      if (i == kDamagedAfter) text += "4250\t0.1\tgarbage\n";
    }
    test::WriteTextFile(path, text);
    Companion companion;
    companion.timeZeroUtcMs = kZero;
    companion.program = "Sondrix 7.1";
    companion.deviceFile = "cast.dev";
    EXPECT_EQ(WriteCompanion(CompanionPathFor(path), companion), status::kOk);
    AncillaryWriter ship;
    EXPECT_EQ(ship.Open(AncillaryPathFor(path)), status::kOk);
    for (int s = 0; s <= 61; ++s) {
      const std::int64_t utc = kZero + 1000LL * s;
      if (ShipHasTemperature(s)) {
        EXPECT_EQ(ship.Append({utc, Quantity::kTemperature, ShipTemperature(s), "tsg"}), 1);
      }
      EXPECT_EQ(ship.Append({utc, Quantity::kSalinity, 35.0, "tsg"}), 1);
    }
    EXPECT_EQ(ship.Close(), 1);
    return path;
  }
};

TEST_F(ProcessCli, TheLevel2FileReadsBackThroughXarrayWithItsSpectraAndFlags) {
  const std::string data = Recording();
  const std::string nc = home.File("cast.nc");
  const test::CliRun run = test::RunTool(test::kCli, "process " + Quoted(data) + " --out " + Quoted(nc) + " --t-cal 20", home);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_NE(run.out.find("120 samples processed"), std::string::npos) << run.out;

  const test::CliRun read = test::RunPython("xarray", R"(ds = xarray.open_dataset(sys.argv[1])
for name in ("absorption_ts", "attenuation_ts", "absorption_corrected"):
    print(name, " ".join(ds[name].dims), ds[name].shape[0], ds[name].shape[1])
q = ds["quality_flag"]
words = dict(zip([int(v) for v in q.attrs["flag_values"]], q.attrs["flag_meanings"].split()))
print(" ".join(words[int(v)] for v in q.values))
print(repr(float(ds["absorption_ts"].sel(wavelength_a=715.0).values[0])))
print(" ".join(repr(float(v)) for v in ds["temperature_used"].values))
print(" ".join(repr(float(v)) for v in ds["salinity_used"].values))
print(float(ds.attrs["calibration_temperature"]), ds.attrs["scattering_correction"].split(":")[0])
print(ds.attrs["ts_coefficients_source"])
print(repr(float(ds["absorption_corrected"].sel(wavelength_a=715.0).values[3])))
)",
                                            Quoted(nc), home);
  if (test::PythonLacking(read)) GTEST_SKIP() << "python3-xarray missing";
  ASSERT_EQ(read.exitStatus, 0) << read.err;
  const std::vector<std::string> lines = test::Lines(read.out);
  ASSERT_EQ(lines.size(), 10u) << read.out;
  EXPECT_EQ(lines[0], "absorption_ts time wavelength_a 120 9");
  EXPECT_EQ(lines[1], "attenuation_ts time wavelength_c 120 9");
  EXPECT_EQ(lines[2], "absorption_corrected time wavelength_a 120 9");

  // The flags: not evaluated beside the damaged line, suspect at the spike
  // and where the ship's temperature is missing (the meter's used), good
  // elsewhere.
  std::string flags;
  for (int i = 0; i < kSamples; ++i) {
    const double s = i * 0.5;
    const char* word = i == kDamagedAfter || i == kDamagedAfter + 1 ? "not_evaluated"
                       : i == kSpike || !ShipHasTemperature(s)      ? "suspect"
                                                                    : "good";
    flags += (i ? " " : "") + std::string(word);
  }
  EXPECT_EQ(lines[3], flags);

  // a_ts(715) of the first sample: T 24, S 35, T_cal 20, psi halfway
  // between the published rows of 714 and 716 nm.
  const double psiT = (0.00297 + 0.003664) / 2, psiS = (-0.000270846 - 0.000282381) / 2;
  const double a715 = std::stod(Format("%.5f", Value("a715", 0)));
  EXPECT_NEAR(std::stod(lines[4]), a715 - psiT * (24.0 - 20.0) - psiS * 35.0, 1e-9);

  const std::vector<std::string> temperatures = test::Split(lines[5], ' ');
  const std::vector<std::string> salinities = test::Split(lines[6], ' ');
  ASSERT_EQ(temperatures.size(), static_cast<std::size_t>(kSamples));
  for (int i = 0; i < kSamples; ++i) {
    const double s = i * 0.5;
    EXPECT_NEAR(std::stod(temperatures[i]), ShipHasTemperature(s) ? ShipTemperature(s) : 18.0, 1e-9) << s;
    EXPECT_EQ(std::stod(salinities[i]), 35.0);
  }
  EXPECT_EQ(lines[7], "20.0 proportional");
  EXPECT_NE(lines[8].find("Optics Express 22(21)"), std::string::npos) << lines[8];
  EXPECT_EQ(std::stod(lines[9]), 0.0);  // exactly 0 at the reference wavelength
}

// Without --t-cal, T_cal is the water temperature the offset calibration
// recorded beside the recording's device file (written here by hand).
TEST_F(ProcessCli, TakesTCalFromTheOffsetCalibrationsRecord) {
  const std::string data = Recording();
  test::WriteTextFile(home.File("cast.calibration"),
                      "# by hand\nwater_temperature=21.500\ntime=2026-12-09T18:00:00.000Z\nsamples=40\n");
  const std::string csv = home.File("cast.csv");
  const test::CliRun run = test::RunTool(test::kCli, "process " + Quoted(data) + " --out " + Quoted(csv), home);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::string text = test::ReadTextFile(csv).value_or("");
  EXPECT_NE(text.find("\n# calibration_temperature: 21.5\n"), std::string::npos) << text.substr(0, 2000);
  EXPECT_NE(text.find("\n# calibration_temperature_source: the offset calibration's record cast.calibration (made "
                      "2026-12-09T18:00:00.000Z, 40 samples"),
            std::string::npos);
}

TEST_F(ProcessCli, RefusesWhatItCannotCorrectWithAReason) {
  const std::string data = Recording();
  std::filesystem::remove(AncillaryPathFor(data));
  const std::string x = Quoted(home.File("x.nc"));
  const std::string txt = Quoted(home.File("x.txt"));
  const struct {
    std::string arguments;
    int status;
    std::string message;
  } cases[] = {
      {"--out " + x + " --t-cal 20", 1, "no salinity"},
      {"--out " + x + " --salinity 35", 1, "no calibration temperature"},
      {"--out " + txt + " --salinity 35 --t-cal 20", 2, "must end in .nc, .sb or .csv"},
      {"--out " + x + " --salinity 35 --t-cal 20 --scatter all", 2, "--scatter wants none, baseline or proportional"},
      {"--out " + x + " --salinity 35 --t-cal 20 --reference-wavelength 800", 1, "outside the meter's absorption"},
      {"--out " + x + " --salinity 35 --t-cal 20 --ts-table " + Quoted(home.File("none.csv")), 1, "cannot be read"},
  };
  for (const auto& c : cases) {
    const test::CliRun run = test::RunTool(test::kCli, "process " + Quoted(data) + " " + c.arguments, home);
    EXPECT_EQ(run.exitStatus, c.status) << c.arguments;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << ": " << run.err;
    EXPECT_FALSE(std::filesystem::exists(home.File("x.nc")));
  }
}

}  // namespace
}  // namespace sondrix
