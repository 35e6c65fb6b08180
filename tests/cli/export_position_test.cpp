// SPDX-License-Identifier: GPL-3.0-or-later
// Positions and events in the exports, end to end through sondrix-cli: a
// data file, its companion (time zero, events) and its track written here
// by hand, exported to NetCDF, SeaBASS and CSV, and every sample's position
// held against the one worked out here from the fixes (the straight line
// between the fixes around the sample when they are at most 10 s apart,
// nothing otherwise): inside the track, in a dropout longer than 10 s,
// before and after the track, across a fix lost to a line cut short, and
// across the 180th meridian. Runs without a usable track export no
// position of their own. What the NetCDF file claims follows where the
// samples are: a trajectory only when every sample has a position, a time
// series at the station when the deployment gives one, else no discrete
// sampling geometry; every time reads back to the millisecond through the
// library and through python3-xarray and python3-netcdf4.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "cli/cli_run.h"
#include "cli/hand_recording.h"
#include "cli/nc_file.h"
#include "common/text_format.h"
#include "datafile/companion.h"
#include "export/export.h"
#include "support/fixtures.h"
#include "support/sim_report.h"

namespace sondrix {
namespace {

using test::kCli;
using test::Lines;
using test::NcFile;
using test::Quoted;
using test::RunTool;
using test::Split;
using test::TempDir;

constexpr std::int64_t kZero = 1796849373250;  // 2026-12-09T20:49:33.250Z
constexpr int kSamples = 120;                  // one every 250 ms: 30 s
constexpr std::int64_t kStep = 250;
constexpr int kTraces = test::kHandTraces;

std::string Iso(std::int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms % 1000));
  return std::string(text) + fraction + "Z";
}

double Wrap(double longitude) {
  while (longitude >= 180.0) longitude -= 360.0;
  while (longitude < -180.0) longitude += 360.0;
  return longitude;
}

struct Fix {
  std::int64_t utcMs;
  double latitude;
  double longitude;
};

struct Place {
  double latitude, longitude;
};

// The position at `t` worked out from the fixes by hand: a linear search for
// the pair around it, at most 10 s apart.
std::optional<Place> Expected(const std::vector<Fix>& fixes, std::int64_t t) {
  for (std::size_t k = 0; k < fixes.size(); ++k) {
    if (fixes[k].utcMs == t) return Place{fixes[k].latitude, Wrap(fixes[k].longitude)};
    if (k + 1 < fixes.size() && fixes[k].utcMs < t && t < fixes[k + 1].utcMs) {
      const Fix& a = fixes[k];
      const Fix& b = fixes[k + 1];
      if (b.utcMs - a.utcMs > 10000) return std::nullopt;
      const double f = static_cast<double>(t - a.utcMs) / static_cast<double>(b.utcMs - a.utcMs);
      // Across the 180th meridian the short way.
      double east = b.longitude - a.longitude;
      if (east > 180.0) east -= 360.0;
      if (east < -180.0) east += 360.0;
      return Place{a.latitude + f * (b.latitude - a.latitude), Wrap(a.longitude + f * east)};
    }
  }
  return std::nullopt;
}

// The time stamp of sample `r`: one every 250 ms, or, in a file whose
// stamps go back (`restarts`), 0 ... 14.75 s and then 3 ... 17.75 s.
std::int64_t Stamp(std::size_t r, bool restarts) {
  const auto at = static_cast<std::int64_t>(r);
  return restarts && r >= kSamples / 2 ? 3000 + (at - kSamples / 2) * kStep : at * kStep;
}

// The nine-wavelength meter's data file of kSamples lines.
void WriteDataFile(const std::string& path, bool restarts) {
  test::WriteHandDataFile(path, kSamples, [restarts](int i) { return Stamp(static_cast<std::size_t>(i), restarts); });
}

// A track file as the run writes it (longitudes wrapped to -180 ... 180,
// seven decimals), with `extra` after the fix at index `at` (a line cut
// short, say). The fixes as the file holds them.
std::vector<Fix> WriteTrack(const std::string& path, const std::vector<Fix>& fixes, std::size_t at = 0,
                            const std::string& extra = {}) {
  std::string text = "# Sondrix position track: GPS fixes, times in UTC\n"
                     "utc,utc_ms,latitude,longitude,quality,satellites,hdop,source\n";
  std::vector<Fix> held;
  char latitude[32], longitude[32];
  for (std::size_t k = 0; k < fixes.size(); ++k) {
    std::snprintf(latitude, sizeof latitude, "%.7f", fixes[k].latitude);
    std::snprintf(longitude, sizeof longitude, "%.7f", Wrap(fixes[k].longitude));
    text += Iso(fixes[k].utcMs) + "," + std::to_string(fixes[k].utcMs) + "," + latitude + "," + longitude +
            ",1,9,0.8,udp:10110\n";
    held.push_back({fixes[k].utcMs, std::stod(latitude), std::stod(longitude)});
    if (k == at) text += extra;
  }
  test::WriteTextFile(path, text);
  return held;
}

// What a case's outputs must hold.
struct Case {
  std::string stem;           // the data file's name without ".dat"
  std::string name;
  std::vector<Fix> fixes;     // the fixes the track holds (as read back: 7 decimals)
  bool positions = false;     // some sample has one
  std::string summary;        // the end of the export's line on standard output
  bool warned = false;        // a track that cannot be used: a warning on standard error
  std::string dataFile;
  bool restarts = false;      // the data file's stamps go back half way (see Stamp)
  std::string meta = "";      // --meta arguments of the export
  std::optional<Place> station = std::nullopt;  // the station's position they give (longitude -180 ... 180)
};

class ExportPositions : public test::HeadlessTest {
 protected:
  static void SetUpTestSuite() {
    if (!std::filesystem::exists(kCli)) return;
    dir_ = std::make_unique<TempDir>();
    cases_.clear();
    Companion companion;
    companion.timeZeroUtcMs = kZero;
    companion.program = "Sondrix 7.1";
    companion.positionSource = "udp:10110";
    companion.deployment.Set("station", "St 4");
    companion.events = {{kZero, "start", ""},
                        {kZero + 2125, "cast start", "CTD at 5 m"},
                        {kZero + 15000, "note", "whale\nto port"},
                        {kZero + 29000, "cast end", ""}};
    events_ = companion.events;

    // Fixes 1 s apart from 0.5 s, along a bent line; the fix at 5.5 s is a
    // line cut short (so 4.5 s to 6.5 s is one span of 2 s); a dropout of
    // 12 s after 9.5 s; the last fix at 26.5 s, before the last sample.
    Case moving{"moving", "moving, a dropout and a cut line", {}, true, "", false, ""};
    std::vector<Fix> kept;  // the fix at 5.5 s is lost
    for (int k = 0; k < 10; ++k) {
      if (k != 5) kept.push_back({kZero + 500 + k * 1000, 43.1 + 0.0001 * k, -70.2 + 0.00002 * k * k});
    }
    for (int k = 0; k < 6; ++k) kept.push_back({kZero + 21500 + k * 1000, 43.1025 - 0.0002 * k, -70.195 - 0.0003 * k});
    // Samples from 0.5 to 9.5 s (37) and from 21.5 to 26.5 s (21): 58 of 120.
    moving.summary = "positions: 58 of 120 samples; 62 without a fix within 10 s; 1 lines of the track held no fix";
    AddCase(moving, companion, [&](const std::string& track) {
      moving.fixes = WriteTrack(track, kept, 4, Iso(kZero + 5500) + "," + std::to_string(kZero + 5500) + ",43.10\n");
    });

    // Eastward across the 180th meridian, every sample placed: west > east.
    Case dateLine{"dateline", "across the 180th meridian", {}, true, "positions: 120 of 120 samples", false, ""};
    std::vector<Fix> east;
    for (int k = 0; k <= 31; ++k) east.push_back({kZero - 1000 + k * 1000, -17.5 - 0.00005 * k, 179.99955 + 0.00003 * k});
    AddCase(dateLine, companion, [&](const std::string& track) { dateLine.fixes = WriteTrack(track, east); });

    // The moving track again, under samples whose stamps go back half way
    // (the positions follow the times, whatever their order).
    // It was at a station (given as 289.5 east: -70.5).
    Case back{"back", "stamps that go back, at a station", {}, true,
              "positions: 64 of 120 samples; 56 without a fix within 10 s; 1 lines of the track held no fix", false, "",
              true, "--meta latitude=43.1 --meta longitude=289.5", Place{43.1, -70.5}};
    AddCase(back, companion, [&](const std::string& track) {
      back.fixes = WriteTrack(track, kept, 4, Iso(kZero + 5500) + "," + std::to_string(kZero + 5500) + ",43.10\n");
    });

    // No track: no position anywhere, nothing said.
    Case none{"none", "no track", {}, false, "", false, ""};
    AddCase(none, companion, {});

    // No track, but the station's position (south and west).
    Case station{"station", "no track, the station's position", {}, false, "", false, "", false,
                 "--meta latitude=-33.875 --meta 'longitude= -151.25 '", Place{-33.875, -151.25}};
    AddCase(station, companion, {});

    // A track an hour before the run: it places no sample.
    Case before{"before", "a track that places no sample", {}, false,
                "positions: 0 of 120 samples; 120 without a fix within 10 s", false, ""};
    std::vector<Fix> early;
    for (int k = 0; k < 5; ++k) early.push_back({kZero - 3600000 + k * 1000, 43.0, -70.0});
    AddCase(before, companion, [&](const std::string& track) { before.fixes = WriteTrack(track, early); });

    // A file in the track's place that is no track: exported without
    // positions, and told.
    Case broken{"broken", "a track that is no track", {}, false,
                "positions: none (broken.track.csv: not a position track", true, ""};
    AddCase(broken, companion, [](const std::string& track) { test::WriteTextFile(track, "time,lat,lon\n1,2,3\n"); });
  }
  static void TearDownTestSuite() { dir_.reset(); }

  // Writes the case's data file, companion and track (`makeTrack`, none
  // when empty) and exports it to every format.
  static void AddCase(Case& c, const Companion& companion, const std::function<void(const std::string&)>& makeTrack) {
    c.dataFile = dir_->File(c.stem + ".dat");
    WriteDataFile(c.dataFile, c.restarts);
    ASSERT_EQ(WriteCompanion(dir_->File(c.stem + ".meta.json"), companion), status::kOk);
    if (makeTrack) makeTrack(dir_->File(c.stem + ".track.csv"));
    for (const char* format : {"netcdf", "seabass", "csv"}) {
      const test::CliRun run =
          RunTool(kCli, "export " + Quoted(c.dataFile) + " --format " + format + " --force " + c.meta, *dir_);
      ASSERT_EQ(run.exitStatus, 0) << c.name << ": " << run.err;
      const std::string line = Lines(run.out).at(0);
      if (c.summary.empty())
        EXPECT_EQ(line.find("positions"), std::string::npos) << line;
      else
        EXPECT_NE(line.find("samples exported to " + Output(c, format) + "; " + c.summary), std::string::npos)
            << c.name << ": " << line;
      if (c.warned)
        EXPECT_NE(run.err.find("warning: " + c.stem + ".track.csv: not a position track"), std::string::npos) << run.err;
      else
        EXPECT_EQ(run.err, "");
    }
    cases_.push_back(c);
  }

  static std::string Output(const Case& c, std::string_view format) {
    std::filesystem::path path = c.dataFile;
    path.replace_extension(format == "netcdf" ? ".nc" : format == "seabass" ? ".sb" : ".csv");
    return path.string();
  }

  void SetUp() override {
    if (!dir_) GTEST_SKIP() << "the tools are not built";
  }

  static std::unique_ptr<TempDir> dir_;
  static std::vector<Case> cases_;
  static std::vector<RunEvent> events_;
};

std::unique_ptr<TempDir> ExportPositions::dir_;
std::vector<Case> ExportPositions::cases_;
std::vector<RunEvent> ExportPositions::events_;

std::int64_t SampleTime(const Case& c, std::size_t r) { return kZero + Stamp(r, c.restarts); }

// The least and greatest of the exported positions; longitudes as the
// shortest stretch west to east (west > east across the 180th meridian).
struct Bounds {
  double south = 1e9, north = -1e9, west = 0, east = 0;
};
Bounds BoundsOf(const std::vector<Place>& places) {
  Bounds b;
  double west = 1e9, east = -1e9, west360 = 1e9, east360 = -1e9;
  for (const Place& p : places) {
    b.south = std::min(b.south, p.latitude);
    b.north = std::max(b.north, p.latitude);
    west = std::min(west, p.longitude);
    east = std::max(east, p.longitude);
    const double lon360 = p.longitude < 0 ? p.longitude + 360 : p.longitude;
    west360 = std::min(west360, lon360);
    east360 = std::max(east360, lon360);
  }
  b.west = west;
  b.east = east;
  if (east360 - west360 < east - west) {
    b.west = Wrap(west360);
    b.east = Wrap(east360);
  }
  return b;
}

TEST_F(ExportPositions, TheCasesHaveWhatTheyProve) {
  ASSERT_EQ(cases_.size(), 7u);
  const Case& c = cases_[0];
  const Case& moving = c;
  int inside = 0, dropout = 0, outside = 0;
  for (std::size_t r = 0; r < kSamples; ++r) {
    const std::int64_t t = SampleTime(c, r);
    if (Expected(moving.fixes, t)) ++inside;
    else if (t > kZero + 9500 && t < kZero + 21500) ++dropout;
    else ++outside;
  }
  EXPECT_EQ(inside, 58);
  EXPECT_GT(dropout, 40);
  EXPECT_GT(outside, 5);
  // A sample falls exactly on a fix, and some in the span left by the cut line.
  EXPECT_TRUE(Expected(moving.fixes, kZero + 1500));
  EXPECT_TRUE(Expected(moving.fixes, kZero + 5500));
  const Bounds dateLine = BoundsOf({Place{0, 179.9999}, Place{0, -179.9999}});
  EXPECT_GT(dateLine.west, dateLine.east);
}

// The bounds of positions in the awkward places, worked out by hand.
TEST(GeoBoundsTest, LongitudesTakeTheShortWayRound) {
  struct Row {
    const char* what;
    std::vector<LatLon> positions;
    GeoBounds bounds;  // south, north, west, east
  };
  const std::vector<Row> rows = {
      {"one position", {{10.5, -20.25}}, {10.5, 10.5, -20.25, -20.25}},
      {"across Greenwich", {{1, -0.5}, {-2, 0.25}, {3, 0.0}}, {-2, 3, -0.5, 0.25}},
      {"across the 180th meridian", {{0, 179.5}, {0, -179.75}, {0, 179.9}}, {0, 0, 179.5, -179.75}},
      {"wholly east of it", {{-60, -179.0}, {-61, -178.0}}, {-61, -60, -179.0, -178.0}},
      {"on it, both ways written", {{5, 180.0}, {6, -180.0}, {7, 179.0}}, {5, 7, 179.0, -180.0}},
      {"most of the way round", {{0, -170.0}, {0, 0.0}, {0, 170.0}}, {0, 0, 0.0, -170.0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    GeoBoundsBuilder builder;
    EXPECT_TRUE(builder.empty());
    for (const LatLon& position : row.positions) builder.Add(position);
    const GeoBounds b = builder.Bounds();
    EXPECT_EQ(b.south, row.bounds.south);
    EXPECT_EQ(b.north, row.bounds.north);
    EXPECT_NEAR(b.west, row.bounds.west, 1e-9);
    EXPECT_NEAR(b.east, row.bounds.east, 1e-9);
    // Every position lies within west ... east, eastward.
    for (const LatLon& position : row.positions) {
      const double fromWest = std::fmod(position.longitude - b.west + 720.0, 360.0);
      const double width = std::fmod(b.east - b.west + 720.0, 360.0);
      EXPECT_LE(fromWest, width + 1e-9) << position.longitude;
    }
  }
}

// What the file claims follows where the samples are (CF 1.11, chapter 9):
// a trajectory only when every sample has a position (a coordinate may not
// miss a value where there are data, 9.6), else a time series at the
// station the deployment gives, else no discrete sampling geometry. Every
// data variable names its coordinates, and each of them is in the file.
TEST_F(ExportPositions, NetCdfClaimsTheGeometryItsPositionsHold) {
  for (const Case& c : cases_) {
    SCOPED_TRACE(c.name);
    const NcFile nc(Output(c, "netcdf"));
    ASSERT_TRUE(nc.ok());
    const std::vector<long long> time = nc.Int64s("time");
    ASSERT_EQ(time.size(), static_cast<std::size_t>(kSamples));
    EXPECT_EQ(nc.Text("time", "units"), "milliseconds since 1970-01-01T00:00:00Z");
    long placed = 0;
    for (std::size_t r = 0; r < time.size(); ++r) {
      ASSERT_EQ(time[r], SampleTime(c, r)) << "row " << r;
      if (Expected(c.fixes, SampleTime(c, r))) ++placed;
    }
    const bool trajectory = placed == kSamples;
    const bool timeSeries = !trajectory && c.station.has_value();
    EXPECT_EQ(nc.Text(NC_GLOBAL, "featureType"), trajectory ? "trajectory" : timeSeries ? "timeSeries" : "<none>");
    EXPECT_EQ(nc.Text(NC_GLOBAL, "cdm_data_type"), trajectory ? "Trajectory" : timeSeries ? "Station" : "<none>");
    const std::string coordinates = trajectory   ? "time depth latitude longitude trajectory"
                                    : timeSeries ? "time depth station_latitude station_longitude station"
                                                 : "time depth station";
    std::vector<const char*> data = {"attenuation", "absorption", "temperature_internal", "temperature_external"};
    if (placed > 0 && !trajectory) data.insert(data.end(), {"latitude", "longitude"});
    for (const char* name : data) EXPECT_EQ(nc.Text(name, "coordinates"), coordinates) << name;
    for (const std::string& name : Split(coordinates, ' ')) EXPECT_GE(nc.Var(name.c_str()), 0) << name;
    // How many samples have no position of their own, in the summary.
    EXPECT_NE(nc.Text(NC_GLOBAL, "summary").find(std::to_string(kSamples - placed) + " of " +
                                                 std::to_string(kSamples) + " samples have no position of their own"),
              std::string::npos)
        << nc.Text(NC_GLOBAL, "summary");

    EXPECT_EQ(nc.Var(trajectory ? "station" : "trajectory"), -2);
    if (trajectory) {
      EXPECT_EQ(nc.Text("trajectory", "cf_role"), "trajectory_id");
      EXPECT_EQ(nc.Strings("trajectory"),
                std::vector<std::string>{std::filesystem::path(c.dataFile).filename().string()});
    } else {
      EXPECT_EQ(nc.Text("station", "cf_role"), timeSeries ? "timeseries_id" : "<none>");
      EXPECT_EQ(nc.Strings("station"), std::vector<std::string>{"St 4"});
    }
    if (timeSeries) {
      for (const auto& [name, standard, units, value] :
           {std::tuple{"station_latitude", "latitude", "degrees_north", c.station->latitude},
            std::tuple{"station_longitude", "longitude", "degrees_east", c.station->longitude}}) {
        EXPECT_TRUE(nc.Dims(name).empty()) << name;  // a scalar coordinate
        EXPECT_EQ(nc.Text(name, "standard_name"), standard);
        EXPECT_EQ(nc.Text(name, "units"), units);
        EXPECT_EQ(nc.Doubles(name), std::vector<double>{value}) << name;
      }
    } else {
      EXPECT_EQ(nc.Var("station_latitude"), -2);
    }

    std::vector<Place> exported;
    if (placed == 0) {
      for (const char* name : {"latitude", "longitude"}) EXPECT_EQ(nc.Var(name), -2) << name;
    } else {
      struct Axis {
        const char* name;
        const char* units;
        double limit;
      };
      for (const Axis axis : {Axis{"latitude", "degrees_north", 90.0}, Axis{"longitude", "degrees_east", 180.0}}) {
        EXPECT_EQ(nc.Dims(axis.name), std::vector<std::string>{"time"});
        EXPECT_EQ(nc.Text(axis.name, "standard_name"), axis.name);
        EXPECT_EQ(nc.Text(axis.name, "units"), axis.units);
        EXPECT_NE(nc.Text(axis.name, "long_name"), "<none>");
        EXPECT_EQ(nc.Number(axis.name, "_FillValue"), NC_FILL_DOUBLE);
        EXPECT_EQ(nc.Number(axis.name, "valid_min"), -axis.limit);
        EXPECT_EQ(nc.Number(axis.name, "valid_max"), axis.limit);
      }
      const std::vector<double> latitude = nc.Doubles("latitude"), longitude = nc.Doubles("longitude");
      ASSERT_EQ(latitude.size(), time.size());
      ASSERT_EQ(longitude.size(), time.size());
      for (std::size_t r = 0; r < time.size(); ++r) {
        const std::optional<Place> expected = Expected(c.fixes, SampleTime(c, r));
        if (!expected) {
          ASSERT_EQ(latitude[r], NC_FILL_DOUBLE) << "row " << r;
          ASSERT_EQ(longitude[r], NC_FILL_DOUBLE) << "row " << r;
          continue;
        }
        ASSERT_NEAR(latitude[r], expected->latitude, 1e-9) << "row " << r;
        ASSERT_NEAR(longitude[r], expected->longitude, 1e-9) << "row " << r;
        exported.push_back({latitude[r], longitude[r]});
      }
    }
    // The bounds: of the samples' positions, else of the station, else none.
    if (exported.empty() && c.station) exported.push_back(*c.station);
    if (exported.empty()) {
      for (const char* name : {"geospatial_lat_min", "geospatial_lat_max", "geospatial_lon_min", "geospatial_lon_max"})
        EXPECT_FALSE(nc.Number(NC_GLOBAL, name)) << name;
      EXPECT_EQ(nc.Text(NC_GLOBAL, "geospatial_lat_units"), "<none>");
    } else {
      const Bounds b = BoundsOf(exported);
      const std::pair<const char*, double> bounds[] = {{"geospatial_lat_min", b.south}, {"geospatial_lat_max", b.north},
                                                       {"geospatial_lon_min", b.west}, {"geospatial_lon_max", b.east}};
      for (const auto& [name, value] : bounds) {
        ASSERT_TRUE(nc.Number(NC_GLOBAL, name)) << name;
        EXPECT_NEAR(*nc.Number(NC_GLOBAL, name), value, 1e-9) << name;
      }
      if (c.stem == "dateline") {
        EXPECT_GT(b.west, b.east);
      }
      EXPECT_EQ(nc.Text(NC_GLOBAL, "geospatial_lat_units"), "degrees_north");
      EXPECT_EQ(nc.Text(NC_GLOBAL, "geospatial_lon_units"), "degrees_east");
    }
    if (c.positions) {
      EXPECT_NE(nc.Text(NC_GLOBAL, "history").find("positions from the track"), std::string::npos);
    }
    if (c.warned) {
      EXPECT_NE(nc.Text(NC_GLOBAL, "history").find("exported without positions"), std::string::npos);
    }
    EXPECT_EQ(nc.Text(NC_GLOBAL, "position_source"), "udp:10110");
  }
}

// Another reader: python3-xarray decodes every time to the very
// millisecond (CF decoding, to datetime64) and keeps every sample with the
// coordinates the file names; python3-netcdf4 decodes the same times.
TEST_F(ExportPositions, XarrayAndNetcdf4ReadEveryTimeToTheMillisecond) {
  const std::string body = R"(epoch = netCDF4.num2date(0, "milliseconds since 1970-01-01T00:00:00Z", only_use_cftime_datetimes=False)
for path in sys.argv[1:]:
    ds = xarray.open_dataset(path)
    print(" ".join(str(t) for t in ds["time"].values.astype("datetime64[ms]").astype("int64")))
    nc = netCDF4.Dataset(path)
    dates = netCDF4.num2date(nc["time"][:], nc["time"].units, only_use_cftime_datetimes=False)
    print(" ".join(str(round((d - epoch).total_seconds() * 1000)) for d in dates))
    print(ds["attenuation"].sizes["time"], " ".join(sorted(ds["attenuation"].coords)))
)";
  std::string files;
  for (const Case& c : cases_) files += " " + Quoted(Output(c, "netcdf"));
  const test::CliRun run = test::RunPython("xarray, netCDF4", body, files, *dir_);
  if (test::PythonLacking(run)) GTEST_SKIP() << "python3-xarray or python3-netcdf4 missing";
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3 * cases_.size()) << run.out;
  for (std::size_t k = 0; k < cases_.size(); ++k) {
    const Case& c = cases_[k];
    SCOPED_TRACE(c.name);
    std::string expected;
    for (std::size_t r = 0; r < kSamples; ++r) expected += (r ? " " : "") + std::to_string(SampleTime(c, r));
    EXPECT_EQ(lines[3 * k], expected);
    EXPECT_EQ(lines[3 * k + 1], expected);
    // Every sample is kept, with the coordinates the file names.
    const NcFile nc(Output(c, "netcdf"));
    std::vector<std::string> named = Split(nc.Text("attenuation", "coordinates"), ' ');
    named.push_back("wavelength_c");
    std::sort(named.begin(), named.end());
    std::string coords;
    for (const std::string& name : named) coords += (coords.empty() ? "" : " ") + name;
    EXPECT_EQ(lines[3 * k + 2], std::to_string(kSamples) + " " + coords);
  }
}

TEST_F(ExportPositions, NetCdfCarriesTheEvents) {
  for (const Case& c : cases_) {
    SCOPED_TRACE(c.name);
    const NcFile nc(Output(c, "netcdf"));
    ASSERT_TRUE(nc.ok());
    EXPECT_EQ(nc.Dims("event_time"), std::vector<std::string>{"event"});
    EXPECT_EQ(nc.Text("event_time", "units"), "milliseconds since 1970-01-01T00:00:00Z");
    const std::vector<long long> times = nc.Int64s("event_time");
    const std::vector<std::string> kinds = nc.Strings("event_kind"), notes = nc.Strings("event_note");
    ASSERT_EQ(times.size(), events_.size());
    ASSERT_EQ(kinds.size(), events_.size());
    ASSERT_EQ(notes.size(), events_.size());
    for (std::size_t k = 0; k < events_.size(); ++k) {
      EXPECT_EQ(times[k], events_[k].utcMs);
      EXPECT_EQ(kinds[k], events_[k].kind);
      EXPECT_EQ(notes[k], events_[k].note);
    }
    EXPECT_EQ(nc.Text(NC_GLOBAL, "events"), "2026-12-09T20:49:33.250Z start\n"
                                            "2026-12-09T20:49:35.375Z cast start: CTD at 5 m\n"
                                            "2026-12-09T20:49:48.250Z note: whale to port\n"
                                            "2026-12-09T20:50:02.250Z cast end");
  }
}

// The NetCDF tools read the trajectory as written (netcdf-bin's ncdump).
TEST_F(ExportPositions, NcdumpShowsTheTrajectory) {
  ASSERT_EQ(cases_[1].stem, "dateline");  // every sample placed
  const test::CliRun dump = RunTool("ncdump", "-h " + Quoted(Output(cases_[1], "netcdf")), *dir_);
  if (dump.exitStatus == 127) GTEST_SKIP() << "ncdump is not installed";
  ASSERT_EQ(dump.exitStatus, 0) << dump.err;
  for (const char* line : {"\tint64 time(time) ;", "\t\ttime:units = \"milliseconds since 1970-01-01T00:00:00Z\" ;",
                           "\tevent = 4 ;", "\tdouble latitude(time) ;", "\t\tlatitude:units = \"degrees_north\" ;",
                           "\t\tlongitude:standard_name = \"longitude\" ;", "\tstring trajectory ;",
                           "\t\ttrajectory:cf_role = \"trajectory_id\" ;", "\tstring event_kind(event) ;",
                           "\t\t:featureType = \"trajectory\" ;", "\t\t:geospatial_lat_units = \"degrees_north\" ;"})
    EXPECT_NE(dump.out.find(std::string(line) + "\n"), std::string::npos) << line;
}

TEST_F(ExportPositions, SeaBassHasLatLonTheBoundsAndTheEvents) {
  for (const Case& c : cases_) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> lines = Lines(test::ReadTextFile(Output(c, "seabass")).value_or(""));
    const auto end = std::find(lines.begin(), lines.end(), "/end_header");
    ASSERT_NE(end, lines.end());
    std::map<std::string, std::string> headers;
    std::vector<std::string> events;
    for (auto line = lines.begin(); line != end; ++line) {
      if (line->starts_with("! event ")) events.push_back(line->substr(8));
      const std::size_t equals = line->find('=');
      if (line->starts_with('/') && equals != std::string::npos) headers[line->substr(1, equals - 1)] = line->substr(equals + 1);
    }
    EXPECT_EQ(events, (std::vector<std::string>{"2026-12-09T20:49:33.250Z start", "2026-12-09T20:49:35.375Z cast start: CTD at 5 m",
                                                "2026-12-09T20:49:48.250Z note: whale to port",
                                                "2026-12-09T20:50:02.250Z cast end"}));
    ASSERT_EQ(end + 1 + kSamples, lines.end());
    EXPECT_EQ(headers["data_type"], "cast");
    EXPECT_EQ(headers["data_status"], "preliminary");
    if (!c.positions && c.station) {  // the station's position as the bounds, no fields
      const std::pair<const char*, double> bounds[] = {{"north_latitude", c.station->latitude},
                                                       {"south_latitude", c.station->latitude},
                                                       {"east_longitude", c.station->longitude},
                                                       {"west_longitude", c.station->longitude}};
      for (const auto& [name, value] : bounds) EXPECT_EQ(headers[name], Format("%.6f[DEG]", value)) << name;
      EXPECT_TRUE(headers["fields"].starts_with("date,time,depth,")) << headers["fields"];
      continue;
    }
    if (!c.positions) {
      for (const char* bound : {"north_latitude", "south_latitude", "east_longitude", "west_longitude"})
        EXPECT_EQ(headers[bound], "NA") << bound;
      EXPECT_TRUE(headers["fields"].starts_with("date,time,depth,")) << headers["fields"];
      EXPECT_EQ(Split(*(end + 1), ',').size(), 3u + kTraces);
      continue;
    }
    EXPECT_TRUE(headers["fields"].starts_with("date,time,lat,lon,depth,")) << headers["fields"];
    EXPECT_TRUE(headers["units"].starts_with("yyyymmdd,hh:mm:ss,degrees,degrees,m,")) << headers["units"];
    std::vector<Place> exported;
    for (std::size_t r = 0; r < kSamples; ++r) {
      const std::vector<std::string> fields = Split(*(end + 1 + static_cast<long>(r)), ',');
      ASSERT_EQ(fields.size(), 5u + kTraces);
      const std::optional<Place> expected = Expected(c.fixes, SampleTime(c, r));
      if (!expected) {
        ASSERT_EQ(fields[2], headers["missing"]) << "row " << r;
        ASSERT_EQ(fields[3], headers["missing"]) << "row " << r;
        continue;
      }
      ASSERT_NEAR(std::stod(fields[2]), expected->latitude, 0.6e-6) << "row " << r;
      ASSERT_NEAR(std::stod(fields[3]), expected->longitude, 0.6e-6) << "row " << r;
      exported.push_back({std::stod(fields[2]), std::stod(fields[3])});
    }
    // The four bounds, in degrees, of the positions as the rows print them.
    const Bounds b = BoundsOf(exported);
    const std::pair<const char*, double> bounds[] = {
        {"north_latitude", b.north}, {"south_latitude", b.south}, {"east_longitude", b.east}, {"west_longitude", b.west}};
    for (const auto& [name, value] : bounds) {
      const std::string text = headers[name];
      ASSERT_TRUE(text.ends_with("[DEG]")) << name << "=" << text;
      EXPECT_NEAR(std::stod(text.substr(0, text.size() - 5)), value, 1e-9) << name;
    }
  }
}

TEST_F(ExportPositions, CsvHasLatitudeAndLongitudeColumnsOnlyWithPositions) {
  for (const Case& c : cases_) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> lines = Lines(test::ReadTextFile(Output(c, "csv")).value_or(""));
    ASSERT_EQ(lines.size(), 1u + kSamples);  // no comment lines: CSV carries no events
    const std::vector<std::string> header = Split(lines[0], ',');
    if (!c.positions) {
      EXPECT_EQ(lines[0].find("latitude"), std::string::npos);
      EXPECT_EQ(header.size(), 4u + kTraces);
      continue;
    }
    ASSERT_EQ(header.size(), 6u + kTraces);
    EXPECT_EQ(header[1], "latitude [degrees_north]");
    EXPECT_EQ(header[2], "longitude [degrees_east]");
    for (std::size_t r = 0; r < kSamples; ++r) {
      const std::vector<std::string> fields = Split(lines[r + 1], ',');
      ASSERT_EQ(fields.size(), header.size());
      EXPECT_EQ(fields[0], Iso(SampleTime(c, r)));
      const std::optional<Place> expected = Expected(c.fixes, SampleTime(c, r));
      if (!expected) {
        ASSERT_EQ(fields[1], "") << "row " << r;
        ASSERT_EQ(fields[2], "") << "row " << r;
        continue;
      }
      ASSERT_NEAR(std::stod(fields[1]), expected->latitude, 0.6e-6) << "row " << r;
      ASSERT_NEAR(std::stod(fields[2]), expected->longitude, 0.6e-6) << "row " << r;
    }
  }
}

}  // namespace
}  // namespace sondrix
