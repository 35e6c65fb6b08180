// SPDX-License-Identifier: GPL-3.0-or-later
// Profiles end to end against the simulator's dives: the hyperspectral
// meter lowered to 30 m and raised again every 4 minutes (a cosine in
// time), six samples a second, the ship's heave moving it by 0.3 m every
// 4 s; recorded and binned by sondrix-cli profile.
// - The casts: each one's start, bottom and end are the dive's own (the
//   times the cosine crosses the surface layer and reaches its deepest),
//   within one sample period, waves and all; with cast events in the
//   companion, the events decide.
// - The bins: every bin's count, mean and standard deviation equal those
//   pandas computes from the per-sample Level-2 file of the same record
//   (its depth and its good samples), and the NetCDF file keeps CF's rules
//   for profiles, read back with python3-xarray.
// - The alignment: a step in the water at 10.2 m that the optics see 2 s
//   late lands in its bin (10 ... 11 m) with --lag-depth 2, and a bin deeper
//   without.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "build_paths.h"
#include "cli/cli_run.h"
#include "common/text_format.h"
#include "support/fixtures.h"
#include "support/sim_report.h"

namespace sondrix {
namespace {

using test::Quoted;

const std::string kDevice = SONDRIX_EXAMPLES_DIR "/benth-85wl-v3.dev";
constexpr double kMaxDepth = 30.0, kDiveSeconds = 240.0, kSurface = 1.0;
constexpr std::int64_t kStartMs = 1796875200000;  // 2026-12-10T04:00:00Z
constexpr double kSamplePeriodMs = 1000.0 / 6.0;

class ProfileTruth : public test::HeadlessTest {
 protected:
  // Dives recorded into NAME.dat with the simulator's `extra` options.
  std::string Record(const std::string& name, const std::string& extra, double seconds) {
    const std::string raw = home.File(name + ".raw"), dat = home.File(name + ".dat");
    const test::CliRun recorded = test::SimulatedRecording(
        kDevice, Format("--rate 6 --seconds %g --max-depth %g --dive-seconds %g ", seconds, kMaxDepth, kDiveSeconds) + extra,
        raw, dat, "", home);
    EXPECT_EQ(recorded.exitStatus, 0) << recorded.err;
    return dat;
  }
  test::CliRun Profile(const std::string& dat, const std::string& out, const std::string& options) {
    return test::RunTool(test::kCli, "profile " + Quoted(dat) + " --out " + Quoted(out) +
                                         " --salinity 35 --t-cal 20 " + options,
                         home);
  }
  // "cast N: START to END, deepest D m at BOTTOM, ..." lines: the times.
  struct Found {
    std::int64_t start = 0, bottom = 0, end = 0;
  };
  static std::vector<Found> CastsOf(const std::string& out) {
    std::vector<Found> casts;
    for (const std::string& line : test::Lines(out)) {
      if (!line.starts_with("cast ")) continue;
      const std::vector<std::string> f = test::Split(line, ' ');
      Found c;
      c.start = ParseIsoUtc(f[2]).value_or(0);
      c.end = ParseIsoUtc(test::Split(f[4], ',')[0]).value_or(0);
      c.bottom = ParseIsoUtc(test::Split(f[9], ',')[0]).value_or(0);
      casts.push_back(c);
    }
    return casts;
  }
};

// The dive's own times: the cosine 15 (1 - cos(2 pi t / P)) crosses the
// surface layer at t_s and P - t_s, and is deepest at P / 2.
double SurfaceCrossingSeconds() {
  return kDiveSeconds / (2.0 * std::numbers::pi) * std::acos(1.0 - 2.0 * kSurface / kMaxDepth);
}

TEST_F(ProfileTruth, CastsAndBinsAreTheDivesAndAnIndependentBinning) {
  ASSERT_TRUE(std::filesystem::exists(test::kSim) && std::filesystem::exists(test::kCli));
  const std::string dat = Record("dives", "--waves 0.3,4", 3 * kDiveSeconds);
  const std::string nc = home.File("dives.nc"), perSample = home.File("dives_l2.csv");
  const test::CliRun run = Profile(dat, nc, "--smooth 4");
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::vector<Found> casts = CastsOf(run.out);
  ASSERT_EQ(casts.size(), 3u) << run.out;
  const double ts = SurfaceCrossingSeconds();
  for (std::size_t k = 0; k < casts.size(); ++k) {
    const double dive = static_cast<double>(kStartMs) + 1000.0 * kDiveSeconds * static_cast<double>(k);
    EXPECT_NEAR(static_cast<double>(casts[k].start), dive + 1000.0 * ts, kSamplePeriodMs) << "cast " << k + 1;
    EXPECT_NEAR(static_cast<double>(casts[k].bottom), dive + 500.0 * kDiveSeconds, kSamplePeriodMs) << "cast " << k + 1;
    EXPECT_NEAR(static_cast<double>(casts[k].end), dive + 1000.0 * (kDiveSeconds - ts), kSamplePeriodMs)
        << "cast " << k + 1;
  }
  ASSERT_EQ(test::RunTool(test::kCli, "process " + Quoted(dat) + " --out " + Quoted(perSample) +
                                          " --salinity 35 --t-cal 20",
                          home)
                .exitStatus,
            0);

  // The bins as pandas finds them from the file of every sample: the
  // samples of each down-cast (its start to its bottom, as the file names
  // them), bin floor(depth), the good ones (flags 1 and 2) counted.
  const std::string body = R"(ds = xarray.open_dataset(sys.argv[1])
rows = pandas.read_csv(sys.argv[2], comment="#")
rows["t"] = pandas.to_datetime(rows["time_utc"]).dt.tz_localize(None)
wl = ds["wavelength_a"].values
measured = ["a%s [1/m]" % format(w, "g") for w in wl]
measured = [m if m in rows else "a%.1f [1/m]" % w for m, w in zip(measured, wl)]
corrected = ["a_corrected%s [1/m]" % format(w, "g") for w in wl]
worst = {"absorption": 0.0, "absorption_sd": 0.0, "absorption_corrected": 0.0, "temperature_used": 0.0}
counts = flags = 0
for p in range(ds.sizes["profile"]):
    s = rows[(rows["t"] >= ds["cast_start_time"].values[p]) & (rows["t"] <= ds["cast_bottom_time"].values[p])]
    k = numpy.floor(s["depth [m]"].values).astype(int)
    good = s["quality_flag"].isin([1, 2]).values
    for b in sorted(set(k)):
        here = s[k == b]
        g = here[good[k == b]]
        counts += int(ds["bincount"].values[p, b] == len(g) and ds["bin_samples"].values[p, b] == len(here))
        flag = 9 if len(g) < 3 else (4 if len(g) < 0.7 * len(here) else 1)
        flags += int(ds["bin_flag"].values[p, b] == flag)
        if flag != 1:
            assert numpy.isnan(ds["absorption"].values[p, b]).all()
            continue
        for name, cols in (("absorption", measured), ("absorption_corrected", corrected)):
            worst[name] = max(worst[name], float(numpy.max(numpy.abs(ds[name].values[p, b] - g[cols].mean().values))))
        worst["absorption_sd"] = max(worst["absorption_sd"], float(numpy.max(numpy.abs(
            ds["absorption_sd"].values[p, b] - g[measured].std(ddof=1).values))))
        worst["temperature_used"] = max(worst["temperature_used"], abs(float(ds["temperature_used"].values[p, b]) -
                                                                       g["temperature_used [degC]"].mean()))
print("bins", counts == flags, counts, int(((ds["bin_samples"].values > 0)).sum()))
print("worst", max(worst["absorption"], worst["absorption_sd"]), worst["absorption_corrected"], worst["temperature_used"])
print("cf", ds.attrs["featureType"], ds["profile"].attrs["cf_role"], ds["depth"].attrs["positive"],
      ds["depth"].attrs["axis"], ds["depth"].attrs["bounds"], " ".join(ds["absorption_corrected"].dims),
      " ".join(ds["time"].dims), ds["absorption_corrected"].attrs["cell_methods"])
centre = ds["depth"].values
print("grid", centre[0], centre[1], ds["depth_bnds"].values[0][0], ds["depth_bnds"].values[0][1])
)";
  const test::CliRun read = test::RunPython("numpy, pandas, xarray", body, Quoted(nc) + " " + Quoted(perSample), home);
  if (test::PythonLacking(read)) GTEST_SKIP() << "python3-xarray missing";
  ASSERT_EQ(read.exitStatus, 0) << read.err;
  const std::vector<std::string> out = test::Lines(read.out);
  ASSERT_EQ(out.size(), 4u) << read.out;
  const std::vector<std::string> bins = test::Split(out[0], ' ');
  EXPECT_EQ(bins[1], "True") << out[0];
  EXPECT_EQ(bins[2], bins[3]) << "every bin a down-cast was in: " << out[0];
  EXPECT_GT(std::stoi(bins[2]), 80);
  // The measured values are the data file's own: exact; the corrected ones
  // to the per-sample file's precision (five decimals, three for the
  // temperature).
  const std::vector<std::string> worst = test::Split(out[1], ' ');
  EXPECT_LT(std::stod(worst[1]), 1e-9) << out[1];
  EXPECT_LT(std::stod(worst[2]), 5e-6) << out[1];
  EXPECT_LT(std::stod(worst[3]), 5e-4) << out[1];
  EXPECT_EQ(out[2], "cf profile profile_id down Z depth_bnds profile depth wavelength_a profile "
                    "depth: mean (interval: 1 m)");
  EXPECT_EQ(out[3], "grid 0.5 1.5 0.0 1.0");

  // SeaBASS: a file per cast, SeaBASS's own fields with their spread.
  const test::CliRun sb = Profile(dat, home.File("dives.sb"), "--smooth 4");
  ASSERT_EQ(sb.exitStatus, 0) << sb.err;
  for (int cast = 1; cast <= 3; ++cast) {
    const std::string text = test::ReadTextFile(home.File(Format("dives_cast%02d.sb", cast))).value_or("");
    EXPECT_NE(text.find("/data_type=cast\n"), std::string::npos) << cast;
    EXPECT_NE(text.find("/fields=depth,bincount,cpg"), std::string::npos) << cast;
    EXPECT_NE(text.find(",wt,wt_sd,sal,sal_sd\n"), std::string::npos) << cast;
  }
}

TEST_F(ProfileTruth, TheRunsCastEventsDecideItsCasts) {
  ASSERT_TRUE(std::filesystem::exists(test::kSim) && std::filesystem::exists(test::kCli));
  const std::string dat = Record("events", "", 2 * kDiveSeconds);
  // The operator marked each cast 30 s into the dive and 200 s into it.
  const std::string companion = home.File("events.meta.json");
  const std::string body = R"(d = json.load(open(sys.argv[1]))
for k in range(2):
    for kind, s in (("cast start", 30), ("cast end", 200)):
        d["events"].append({"kind": kind, "note": "", "utc_ms": 1796875200000 + 1000 * (240 * k + s)})
json.dump(d, open(sys.argv[1], "w"))
)";
  const test::CliRun edit = test::RunPython("json", body, Quoted(companion), home, "events");
  ASSERT_EQ(edit.exitStatus, 0) << edit.err;
  const test::CliRun run = Profile(dat, home.File("events.csv"), "");
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::vector<Found> casts = CastsOf(run.out);
  ASSERT_EQ(casts.size(), 2u) << run.out;
  for (std::size_t k = 0; k < casts.size(); ++k) {
    const double dive = static_cast<double>(kStartMs) + 1000.0 * kDiveSeconds * static_cast<double>(k);
    EXPECT_NEAR(static_cast<double>(casts[k].start), dive + 30000.0, kSamplePeriodMs);
    EXPECT_NEAR(static_cast<double>(casts[k].bottom), dive + 500.0 * kDiveSeconds, kSamplePeriodMs);
    EXPECT_NEAR(static_cast<double>(casts[k].end), dive + 200000.0, kSamplePeriodMs);
  }
  EXPECT_NE(run.out.find("(from the events)"), std::string::npos);
}

TEST_F(ProfileTruth, TheDepthLagPutsAStepBackInItsBin) {
  ASSERT_TRUE(std::filesystem::exists(test::kSim) && std::filesystem::exists(test::kCli));
  // Every a and c 2 1/m higher from 10.2 m down, the optics 2 s late: at
  // about 0.35 m/s there the step shows 0.7 m deeper than it is.
  const std::string dat = Record("step", "--step 10.2,2,2 --value-noise 0.001", kDiveSeconds);
  // The first bin of the down-cast whose a at 500 nm is past half the step
  // over the bin above 10 m.
  const auto stepBin = [&](const std::string& lag) {
    const std::string csv = home.File("step" + lag + ".csv");
    const test::CliRun run = Profile(dat, csv, "--lag-depth " + lag + " --force");
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    std::vector<std::string> header;
    std::size_t depthColumn = 0, valueColumn = 0;
    std::vector<std::pair<double, double>> bins;  // (centre, a)
    for (const std::string& line : test::Lines(test::ReadTextFile(csv).value_or(""))) {
      if (line.starts_with("#")) continue;
      const std::vector<std::string> f = test::Split(line, ',');
      if (header.empty()) {
        header = f;
        for (std::size_t k = 0; k < f.size(); ++k) {
          if (f[k] == "depth [m]") depthColumn = k;
          if (valueColumn == 0 && f[k].starts_with("a5") && !f[k].starts_with("a_")) valueColumn = k;
        }
        continue;
      }
      if (f[1] == "down" && !f[valueColumn].empty()) bins.emplace_back(std::stod(f[depthColumn]), std::stod(f[valueColumn]));
    }
    double above = NAN;
    for (const auto& [centre, a] : bins)
      if (centre == 9.5) above = a;
    for (const auto& [centre, a] : bins)
      if (centre > 9.5 && a > above + 1.0) return centre;
    return -1.0;
  };
  EXPECT_EQ(stepBin("0"), 11.5) << "without the lag the step shows a bin deeper";
  EXPECT_EQ(stepBin("2"), 10.5) << "with it the step is back in its bin, 10 ... 11 m";
}

}  // namespace
}  // namespace sondrix
