// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli export end to end: simulated recordings (the nine-wavelength
// meter with damaged packets and a line damaged by hand, the hyperspectral
// meter at skip 2) exported to NetCDF, SeaBASS and CSV in one command, and
// every output held against the data file's own text: the rules of each
// format (read back through the NetCDF library, the SeaBASS header) and
// every value equal to the file's as printed there.
#include <gtest/gtest.h>
#include <netcdf.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/nc_file.h"
#include "datafile/companion.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using test::kCli;
using test::kSim;
using test::Lines;
using test::Quoted;
using test::RunTool;
using test::TempDir;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// "2025-12-09T18:03:07.250Z", "20251209", "18:03:07" of a UTC instant.
std::tm Utc(std::int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  return tm;
}
std::string IsoMs(std::int64_t ms) {
  char text[64];
  const std::tm tm = Utc(ms);
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
  return std::string(text) + "." + Fixed(static_cast<double>(ms % 1000) / 1000.0, 3).substr(2) + "Z";
}
std::string Format(std::int64_t ms, const char* format) {
  char text[64];
  const std::tm tm = Utc(ms);
  std::strftime(text, sizeof text, format, &tm);
  return text;
}

// What the data file itself says, read from its text alone.
struct Truth {
  std::string titleDate, titleTime;
  std::string configText;            // between the title and the bin size line
  std::vector<std::string> headings;  // of the values a sample line holds, in order
  std::vector<std::string> allC;      // every c heading of the configuration
  struct Sample {
    std::int64_t stamp = 0;
    std::vector<std::string> values;  // as printed
    std::string temperature, depth, extTemperature;
  };
  std::vector<Sample> samples;  // good lines
  int damaged = 0;
};

// `skip`: a hyperspectral run's spacing, whose lines hold every skip-th
// wavelength of each half of the column headings.
Truth ReadTruth(const std::string& path, std::size_t skip = 1) {
  Truth truth;
  const std::vector<std::string> lines = Lines(test::ReadTextFile(path).value_or(""));
  const std::vector<std::string> title = Split(lines.at(0), '\t');
  truth.titleDate = title.at(1);
  truth.titleTime = title.at(2);
  const std::regex traceLine(R"(^([ac])(\d+(\.\d+)?)\t.*)");
  std::size_t i = 1;
  std::vector<std::string> configNames;
  for (; i < lines.size() && lines[i].find("; acquisition binsize") == std::string::npos; ++i) {
    truth.configText += lines[i] + "\n";
    std::smatch match;
    if (std::regex_match(lines[i], match, traceLine)) configNames.push_back(match[1].str() + match[2].str());
  }
  ++i;
  if (i < lines.size() && lines[i].starts_with('\t')) {  // the hyperspectral meter's column headings
    std::vector<std::string> all;
    for (const std::string& name : Split(lines[i].substr(1), '\t'))
      if (!name.empty()) all.push_back(name);
    ++i;
    const std::size_t half = all.size() / 2;
    for (std::size_t k = 0; k < all.size(); ++k) {
      if ((k % half) % skip == 0) truth.headings.push_back(all[k]);
    }
    truth.allC.assign(all.begin(), all.begin() + static_cast<long>(half));
  } else {
    truth.headings = configNames;
    for (const std::string& name : configNames)
      if (name[0] == 'c') truth.allC.push_back(name);
  }
  // A good line holds the values, and the first line of each packet the
  // trailing text too (temperature, sample rate, depth, external
  // temperature, references): the lines after it share its readings.
  const std::size_t v = truth.headings.size();
  std::size_t full = 0;
  for (std::size_t k = i; k < lines.size(); ++k) full = std::max(full, Split(lines[k], '\t').size());
  std::string temperature = "0.00", depth = "0.00", extTemperature = "0.00";
  for (std::size_t k = i; k < lines.size(); ++k) {
    const std::vector<std::string> fields = Split(lines[k], '\t');
    if (fields.size() != 1 + v && fields.size() != full) {
      ++truth.damaged;
      continue;
    }
    Truth::Sample sample;
    sample.stamp = std::stoll(fields[0]);
    sample.values.assign(fields.begin() + 1, fields.begin() + 1 + static_cast<long>(v));
    if (fields.size() == full) {
      temperature = fields[v + 1];
      depth = fields[v + 3];
      extTemperature = fields[v + 4];
    }
    sample.temperature = temperature;
    sample.depth = depth;
    sample.extTemperature = extTemperature;
    truth.samples.push_back(sample);
  }
  return truth;
}

struct Case {
  std::string name;
  std::string dataFile;
  std::size_t skip = 1;
  Companion companion;
  Truth truth;
};

constexpr std::int64_t kNineZero = 1765303387250;  // 2025-12-09T18:03:07.250Z
constexpr std::int64_t kHyperZero = 1765400000999;

class ExportCli : public test::HeadlessTest {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TempDir>();
    cases_.clear();
    if (!std::filesystem::exists(kCli) || !std::filesystem::exists(kSim)) return;
    // The nine-wavelength meter, a packet in seven damaged on the line;
    // more samples than two of the NetCDF output's chunks (8192 rows).
    const std::string nine = dir_->File("nine.dat");
    Record(SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev", "--packets 2000 --bad-checksum 7", nine);
    // ... and one line damaged in the file (cut short, two lines run together).
    {
      std::vector<std::string> lines = Lines(test::ReadTextFile(nine).value_or(""));
      const std::size_t at = lines.size() - 5;
      const std::vector<std::string> fields = Split(lines[at], '\t');
      lines[at].clear();
      for (std::size_t k = 0; k < 10; ++k) lines[at] += fields.at(k) + (k < 9 ? "\t" : "");
      std::string text;
      for (const std::string& line : lines) text += line + "\n";
      test::WriteTextFile(nine, text);
    }
    Case nineCase{"nine-wavelength", nine, 1, {}, {}};
    nineCase.companion.timeZeroUtcMs = kNineZero;
    nineCase.companion.program = "Sondrix 7.1";
    nineCase.companion.deviceFile = "nerit-9wl.dev";
    const std::pair<const char*, const char*> meta[] = {
        {"cruise", "EN 712"},           {"station", "St 4"},      {"cast", "3"},
        {"investigators", "Ada Lovelace,Grace Hopper"}, {"affiliation", "Sea Lab"},
        {"contact", "ada@example.org"}, {"experiment", "Gulf Optics"}, {"note", "calm sea"}};
    for (auto [key, value] : meta) nineCase.companion.deployment.Set(key, value);
    cases_.push_back(nineCase);

    // The hyperspectral meter outputting every second wavelength.
    std::string device = test::ReadTextFile(SONDRIX_EXAMPLES_DIR "/benth-100wl.dev").value_or("");
    device.replace(device.find("1\t\t\t; skip value"), 1, "2");
    const std::string dev = test::WriteTextFile(dir_->File("benth-skip2.dev"), device);
    const std::string hyper = dir_->File("hyper.dat");
    Record(dev, "--packets 30", hyper);
    Case hyperCase{"hyperspectral skip 2", hyper, 2, {}, {}};
    hyperCase.companion.timeZeroUtcMs = kHyperZero;
    cases_.push_back(hyperCase);

    for (Case& c : cases_) {
      ASSERT_EQ(WriteCompanion(CompanionPathFor(c.dataFile), c.companion), status::kOk);
      c.truth = ReadTruth(c.dataFile, c.skip);
    }
    // The cruise given on the command line replaces the companion's (none
    // for the hyperspectral run, which keeps "NA" elsewhere).
    cases_[1].companion.deployment.Set("cruise", "HY-1");
    std::filesystem::create_directory(dir_->File("out"));
    for (const char* format : {"netcdf", "seabass", "csv"}) {
      const test::CliRun run = RunTool(kCli, "export " + Quoted(nine) + " --format " + format + " --out-dir " +
                                                 Quoted(dir_->File("out")), *dir_);
      ASSERT_EQ(run.exitStatus, 0) << run.err;
      const test::CliRun hyperRun =
          RunTool(kCli, "export " + Quoted(hyper) + " --format " + format + " --meta cruise=HY-1 --out-dir " +
                            Quoted(dir_->File("out")), *dir_);
      ASSERT_EQ(hyperRun.exitStatus, 0) << hyperRun.err;
      // What each export told, its output's name left out.
      for (const std::string& out : {run.out, hyperRun.out})
        told_[format].push_back(std::regex_replace(out, std::regex(" to [^ ;(]+"), ""));
    }
  }
  static void TearDownTestSuite() { dir_.reset(); }

  static void Record(const std::string& device, const std::string& simArgs, const std::string& out) {
    const std::string raw = out + ".raw";
    ASSERT_EQ(RunTool(kSim, "--device " + Quoted(device) + " --out " + Quoted(raw) + " --quiet " + simArgs, *dir_)
                  .exitStatus, 0);
    const test::CliRun run =
        RunTool(kCli, "record --device " + Quoted(device) + " --port " + Quoted(raw) + " --out " + Quoted(out), *dir_);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
  }

  static std::string Output(const Case& c, const char* extension) {
    return dir_->File("out/" + std::filesystem::path(c.dataFile).stem().string() + extension);
  }

  void SetUp() override {
    if (cases_.empty()) GTEST_SKIP() << "the tools are not built";
  }

  static std::unique_ptr<TempDir> dir_;
  static std::vector<Case> cases_;
  static std::map<std::string, std::vector<std::string>> told_;  // by format
};

std::unique_ptr<TempDir> ExportCli::dir_;
std::vector<Case> ExportCli::cases_;
std::map<std::string, std::vector<std::string>> ExportCli::told_;

std::string Meta(const Case& c, const char* key) { return *c.companion.deployment.Find(key); }

TEST_F(ExportCli, TheCasesHaveWhatTheyProve) {
  EXPECT_GT(cases_[0].truth.damaged, 0);
  EXPECT_EQ(cases_[0].truth.headings.size(), 18u);
  // Skip 2: half the wavelengths of each kind are on the lines.
  EXPECT_EQ(cases_[1].truth.headings.size(), 100u);
  EXPECT_EQ(cases_[1].truth.allC.size(), 100u);
  for (const Case& c : cases_) EXPECT_GT(c.truth.samples.size(), 20u) << c.name;
  // Whole chunks of the NetCDF output and a last one the samples fill in part.
  EXPECT_GT(cases_[0].truth.samples.size(), 2u * 8192u);
  EXPECT_NE(cases_[0].truth.samples.size() % 8192u, 0u);
}

TEST_F(ExportCli, CsvHoldsEveryValueAsTheDataFilePrintsIt) {
  // CSV counts the samples and damaged lines as it writes them, the other
  // formats before: all tell the same.
  EXPECT_EQ(told_["csv"], told_["netcdf"]);
  EXPECT_EQ(told_["csv"], told_["seabass"]);
  EXPECT_NE(told_["csv"].at(0).find("damaged lines left out"), std::string::npos);
  for (const Case& c : cases_) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> lines = Lines(test::ReadTextFile(Output(c, ".csv")).value_or(""));
    ASSERT_EQ(lines.size(), c.truth.samples.size() + 1);
    std::string header = "time_utc";
    for (const std::string& h : c.truth.headings) header += "," + h + " [1/m]";
    EXPECT_EQ(lines[0], header + ",temperature_internal [degC],temperature_external [degC],depth [m]");
    for (std::size_t r = 0; r < c.truth.samples.size(); ++r) {
      const Truth::Sample& s = c.truth.samples[r];
      std::vector<std::string> expected = {IsoMs(*c.companion.timeZeroUtcMs + s.stamp)};
      expected.insert(expected.end(), s.values.begin(), s.values.end());
      expected.insert(expected.end(), {s.temperature, s.extTemperature, s.depth});
      ASSERT_EQ(Split(lines[r + 1], ','), expected) << "row " << r;
    }
  }
}

TEST_F(ExportCli, SeaBassFollowsTheHeaderRulesAndHoldsEveryValue) {
  const std::vector<std::string> required = {
      "investigators", "affiliations", "contact",    "experiment",     "cruise",         "station",
      "data_file_name", "documents",   "calibration_files", "data_type", "start_date",   "end_date",
      "start_time",    "end_time",     "north_latitude", "south_latitude", "east_longitude", "west_longitude",
      "missing",       "delimiter",    "fields",     "units",          "data_status"};
  for (const Case& c : cases_) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> lines = Lines(test::ReadTextFile(Output(c, ".sb")).value_or(""));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "/begin_header");
    const auto end = std::find(lines.begin(), lines.end(), "/end_header");
    ASSERT_NE(end, lines.end());
    std::map<std::string, std::string> headers;
    for (auto line = lines.begin() + 1; line != end; ++line) {
      if (line->starts_with('!')) continue;  // a comment
      ASSERT_TRUE(line->starts_with('/')) << *line;
      const std::size_t equals = line->find('=');
      ASSERT_NE(equals, std::string::npos) << *line;
      const std::string value = line->substr(equals + 1);
      EXPECT_EQ(value.find_first_of(" \t"), std::string::npos) << *line;
      EXPECT_FALSE(value.empty()) << *line;
      EXPECT_TRUE(headers.emplace(line->substr(1, equals - 1), value).second) << "twice: " << *line;
    }
    for (const std::string& key : required) EXPECT_TRUE(headers.count(key)) << key;
    auto expectMeta = [&](const char* header, const char* key) {
      std::string value = Meta(c, key);
      std::replace(value.begin(), value.end(), ' ', '_');
      EXPECT_EQ(headers[header], value.empty() ? "NA" : value) << header;
    };
    expectMeta("investigators", "investigators");
    expectMeta("affiliations", "affiliation");
    expectMeta("contact", "contact");
    expectMeta("experiment", "experiment");
    expectMeta("cruise", "cruise");
    expectMeta("station", "station");
    EXPECT_EQ(headers["missing"], "-9999");
    EXPECT_EQ(headers["delimiter"], "comma");
    EXPECT_EQ(headers["data_file_name"], std::filesystem::path(Output(c, ".sb")).filename().string());
    EXPECT_EQ(headers["north_latitude"], "NA");
    const std::int64_t zero = *c.companion.timeZeroUtcMs;
    EXPECT_EQ(headers["start_date"], Format(zero + c.truth.samples.front().stamp, "%Y%m%d"));
    EXPECT_EQ(headers["end_date"], Format(zero + c.truth.samples.back().stamp, "%Y%m%d"));
    EXPECT_EQ(headers["start_time"], Format(zero + c.truth.samples.front().stamp, "%H:%M:%S") + "[GMT]");
    EXPECT_EQ(headers["end_time"], Format(zero + c.truth.samples.back().stamp, "%H:%M:%S") + "[GMT]");

    // Fields: date, time, depth, then the c and the a traces by name.
    std::vector<std::string> fields = {"date", "time", "depth"}, units = {"yyyymmdd", "hh:mm:ss", "m"};
    std::vector<std::size_t> order;
    for (char kind : {'c', 'a'}) {
      for (std::size_t k = 0; k < c.truth.headings.size(); ++k) {
        if (c.truth.headings[k][0] != kind) continue;
        fields.push_back(c.truth.headings[k]);
        units.push_back("1/m");
        order.push_back(k);
      }
    }
    EXPECT_EQ(Split(headers["fields"], ','), fields);
    EXPECT_EQ(Split(headers["units"], ','), units);

    ASSERT_EQ(static_cast<std::size_t>(lines.end() - end - 1), c.truth.samples.size());
    for (std::size_t r = 0; r < c.truth.samples.size(); ++r) {
      const Truth::Sample& s = c.truth.samples[r];
      std::vector<std::string> expected = {Format(zero + s.stamp, "%Y%m%d"), Format(zero + s.stamp, "%H:%M:%S"),
                                           s.depth};
      for (std::size_t k : order) expected.push_back(s.values[k]);
      ASSERT_EQ(Split(*(end + 1 + static_cast<long>(r)), ','), expected) << "row " << r;
    }
  }
}

using test::NcFile;

TEST_F(ExportCli, NetCdfFollowsCfAndAcddAndHoldsEveryValue) {
  for (const Case& c : cases_) {
    SCOPED_TRACE(c.name);
    const NcFile nc(Output(c, ".nc"));
    ASSERT_TRUE(nc.ok());
    EXPECT_EQ(nc.Format(), NC_FORMAT_NETCDF4);
    const std::int64_t zero = *c.companion.timeZeroUtcMs;
    const std::int64_t first = zero + c.truth.samples.front().stamp, last = zero + c.truth.samples.back().stamp;
    const std::map<std::string, std::string> globals = {
        {"Conventions", "CF-1.11, ACDD-1.3"},
        {"featureType", "<none>"},  // no station position, no track: no discrete sampling geometry
        {"standard_name_vocabulary", "CF Standard Name Table v85"},
        {"device_configuration", c.truth.configText},
        {"time_coverage_start", IsoMs(first)},
        {"time_coverage_end", IsoMs(last)},
        {"time_coverage_duration", "PT" + std::to_string((last - first) / 1000) +
                                       ((last - first) % 1000 ? "." + Fixed((last - first) % 1000 / 1000.0, 3).substr(2) : "") + "S"},
        {"id", std::filesystem::path(c.dataFile).filename().string()},
        {"source", "Sondrix 7.1"},
        {"project", Meta(c, "experiment").empty() ? "<none>" : Meta(c, "experiment")},
        {"creator_name", Meta(c, "investigators").empty() ? "<none>" : "Ada Lovelace, Grace Hopper"},
        {"creator_institution", Meta(c, "affiliation").empty() ? "<none>" : Meta(c, "affiliation")},
        {"creator_email", Meta(c, "contact").empty() ? "<none>" : Meta(c, "contact")},
        {"cruise", Meta(c, "cruise").empty() ? "<none>" : Meta(c, "cruise")},
    };
    for (const auto& [name, value] : globals) {
      std::string expected = value;
      if (name == "time_coverage_duration") {  // trailing zeros of the fraction are dropped
        while (expected.find('.') != std::string::npos && expected[expected.size() - 2] == '0')
          expected.erase(expected.size() - 2, 1);
      }
      EXPECT_EQ(nc.Text(NC_GLOBAL, name.c_str()), expected) << name;
    }
    for (const char* name : {"title", "summary", "keywords", "date_created", "history", "instrument",
                             "instrument_serial_number"}) {
      EXPECT_NE(nc.Text(NC_GLOBAL, name), "<none>") << name;
    }
    EXPECT_TRUE(std::regex_match(nc.Text(NC_GLOBAL, "date_created"),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
    EXPECT_NE(nc.Text(NC_GLOBAL, "history").find("companion"), std::string::npos);

    EXPECT_EQ(nc.Text("time", "standard_name"), "time");
    EXPECT_EQ(nc.Text("time", "units"), "milliseconds since 1970-01-01T00:00:00Z");
    const std::vector<long long> time = nc.Int64s("time");
    ASSERT_EQ(time.size(), c.truth.samples.size());
    for (std::size_t r = 0; r < time.size(); ++r) ASSERT_EQ(time[r], zero + c.truth.samples[r].stamp) << "row " << r;

    // The variables are written without HDF5's fill; the fill value stays
    // named, where a variable has one, for the readers.
    for (const char* name : {"attenuation", "absorption", "depth", "temperature_internal", "temperature_external"})
      EXPECT_EQ(nc.Number(name, "_FillValue"), NC_FILL_DOUBLE) << name;
    EXPECT_EQ(nc.Number("time", "_FillValue"), std::nullopt);

    EXPECT_EQ(nc.Text("depth", "standard_name"), "depth");
    EXPECT_EQ(nc.Text("depth", "units"), "m");
    EXPECT_EQ(nc.Text("depth", "positive"), "down");
    const std::vector<double> depth = nc.Doubles("depth");
    const std::vector<double> temperature = nc.Doubles("temperature_internal");
    const std::vector<double> extTemperature = nc.Doubles("temperature_external");
    for (const char* name : {"temperature_internal", "temperature_external"}) {
      EXPECT_EQ(nc.Text(name, "units"), "degree_Celsius");
      EXPECT_EQ(nc.Text(name, "units_metadata"), "temperature: on_scale");
      EXPECT_EQ(nc.Text(name, "coordinates"), "time depth station");
    }
    for (std::size_t r = 0; r < c.truth.samples.size(); ++r) {
      ASSERT_EQ(Fixed(depth.at(r), 2), c.truth.samples[r].depth);
      ASSERT_EQ(Fixed(temperature.at(r), 2), c.truth.samples[r].temperature);
      ASSERT_EQ(Fixed(extTemperature.at(r), 2), c.truth.samples[r].extTemperature);
    }

    struct Kind {
      const char* variable;
      const char* coordinate;
      const char* standardName;
      char letter;
    };
    // The values are less those of pure water (the clean-water calibration):
    // the table's name for such an attenuation; none for such an absorption
    // (its absorption name counts the water in).
    for (const Kind kind : {Kind{"attenuation", "wavelength_c",
                                 "volume_beam_attenuation_coefficient_of_radiative_flux_in_sea_water_corrected_for_"
                                 "pure_water_attenuance",
                                 'c'},
                            Kind{"absorption", "wavelength_a", "<none>", 'a'}}) {
      SCOPED_TRACE(kind.variable);
      EXPECT_EQ(nc.Text(kind.variable, "standard_name"), kind.standardName);
      EXPECT_EQ(nc.Text(kind.variable, "units"), "m-1");
      EXPECT_EQ(nc.Text(kind.coordinate, "standard_name"), "radiation_wavelength");
      EXPECT_EQ(nc.Text(kind.coordinate, "units"), "nm");
      EXPECT_EQ(nc.Dims(kind.variable), (std::vector<std::string>{"time", kind.coordinate}));
      // Every wavelength of the configuration; the file's value, or the
      // fill value where the run did not measure (never 0.0).
      const std::vector<double> wavelengths = nc.Doubles(kind.coordinate);
      ASSERT_EQ(wavelengths.size(), c.truth.allC.size());
      std::vector<long> column(wavelengths.size(), -1);
      for (std::size_t j = 0; j < wavelengths.size(); ++j) {
        EXPECT_DOUBLE_EQ(wavelengths[j], std::stod(c.truth.allC[j].substr(1)));
        for (std::size_t k = 0; k < c.truth.headings.size(); ++k) {
          const std::string& h = c.truth.headings[k];
          if (h[0] == kind.letter && std::stod(h.substr(1)) == wavelengths[j]) column[j] = static_cast<long>(k);
        }
      }
      const std::size_t measured = static_cast<std::size_t>(std::count_if(column.begin(), column.end(), [](long k) { return k >= 0; }));
      EXPECT_EQ(measured * 2, c.truth.headings.size());
      const std::vector<double> values = nc.Doubles(kind.variable);
      ASSERT_EQ(values.size(), wavelengths.size() * c.truth.samples.size());
      for (std::size_t r = 0; r < c.truth.samples.size(); ++r) {
        for (std::size_t j = 0; j < wavelengths.size(); ++j) {
          const double value = values[r * wavelengths.size() + j];
          if (column[j] < 0)
            ASSERT_EQ(value, NC_FILL_DOUBLE) << "row " << r << " wavelength " << wavelengths[j];
          else
            ASSERT_EQ(Fixed(value, 5), c.truth.samples[r].values[static_cast<std::size_t>(column[j])])
                << "row " << r << " wavelength " << wavelengths[j];
        }
      }
    }
  }
}

// Without a companion the title line's local date and time are read in the
// zone given, and the outputs say so; outputs that exist stay unless --force.
TEST_F(ExportCli, WithoutCompanionTheTitleTimeInTheZoneGivenAndNoOverwrite) {
  TempDir dir;
  const std::string copy = dir.File("old.dat");
  std::filesystem::copy_file(cases_[0].dataFile, copy);
  const Truth& truth = cases_[0].truth;
  std::tm tm{};
  ASSERT_TRUE(strptime((truth.titleDate + " " + truth.titleTime).c_str(), "%m-%d-%Y %H:%M:%S", &tm));
  const std::int64_t localAsUtc = static_cast<std::int64_t>(timegm(&tm)) * 1000;
  for (const auto& [zone, offsetMinutes] : {std::pair<std::string, int>{"UTC", 0}, {"Asia/Tokyo", 540}, {"UTC+9", 540}, {"UTC-03:30", -210}}) {
    SCOPED_TRACE(zone);
    const test::CliRun run =
        RunTool(kCli, "export " + Quoted(copy) + " --format csv --force --tz " + zone, dir);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::vector<std::string> lines = Lines(test::ReadTextFile(dir.File("old.csv")).value_or(""));
    ASSERT_GT(lines.size(), 1u);
    EXPECT_EQ(lines[1].substr(0, lines[1].find(',')),
              IsoMs(localAsUtc - offsetMinutes * 60000LL + truth.samples.front().stamp));
  }
  ASSERT_EQ(RunTool(kCli, "export " + Quoted(copy) + " --format netcdf --tz Asia/Tokyo", dir).exitStatus, 0);
  const std::string history = NcFile(dir.File("old.nc")).Text(NC_GLOBAL, "history");
  EXPECT_NE(history.find("no companion file"), std::string::npos) << history;
  EXPECT_NE(history.find("Asia/Tokyo"), std::string::npos) << history;

  // An output that exists is kept without --force, and no partial file is left.
  const std::string before = test::ReadTextFile(dir.File("old.csv")).value_or("");
  const test::CliRun refused = RunTool(kCli, "export " + Quoted(copy) + " --format csv", dir);
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_NE(refused.err.find("exists"), std::string::npos) << refused.err;
  EXPECT_EQ(test::ReadTextFile(dir.File("old.csv")).value_or(""), before);
  EXPECT_FALSE(std::filesystem::exists(dir.File("old.csv.part")));

  // Wrong usage: an unknown format, zone or metadata key; --out with several inputs.
  for (const std::string& args : std::vector<std::string>{"--format xls", "--format csv --tz Nowhere/Atlantis", "--format csv --meta ship=X",
                                  "--format csv --out one.csv " + Quoted(cases_[1].dataFile)}) {
    EXPECT_EQ(RunTool(kCli, "export " + Quoted(copy) + " " + args, dir).exitStatus, 2) << args;
  }
}

// Every output is written whole under OUTPUT.part and then takes its name:
// a link planted at the partial name, or at the output replaced with
// --force, is replaced, never followed, and the output is a file of its
// own that its readers take.
TEST_F(ExportCli, LinksAtThePartialOutputOrAtTheOutputAreNeverFollowed) {
  TempDir dir;
  const std::string copy = dir.File("cast.dat");
  std::filesystem::copy_file(cases_[0].dataFile, copy);
  ASSERT_EQ(WriteCompanion(CompanionPathFor(copy), cases_[0].companion), status::kOk);
  const std::string victim = test::WriteTextFile(dir.File("victim.txt"), "keep\n");
  const std::size_t samples = cases_[0].truth.samples.size();
  for (const auto& [format, extension] : {std::pair<std::string, std::string>{"netcdf", ".nc"}, {"seabass", ".sb"}, {"csv", ".csv"}}) {
    for (const bool atOutput : {false, true}) {
      SCOPED_TRACE(format + (atOutput ? ": a link as the output" : ": a link as the partial output"));
      const std::string output = dir.File("cast" + extension);
      std::filesystem::remove(output);
      ASSERT_EQ(::symlink(victim.c_str(), (atOutput ? output : output + ".part").c_str()), 0);
      const test::CliRun run = RunTool(kCli, "export " + Quoted(copy) + " --force --format " + format, dir);
      ASSERT_EQ(run.exitStatus, 0) << run.err;
      EXPECT_EQ(test::ReadTextFile(victim).value_or(""), "keep\n");
      EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(output)));
      EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(output + ".part")));
      if (format == "netcdf") {
        EXPECT_EQ(NcFile(output).Int64s("time").size(), samples);
      } else if (format == "csv") {
        EXPECT_EQ(Lines(test::ReadTextFile(output).value_or("")).size(), samples + 1);
      }
    }
  }
}

// A companion whose time zero lies near the ends of 64 bits is refused with
// its reason (a stamp added to it would overflow); a sample line whose stamp
// would carry its time past the year 9999 is left out as a damaged line,
// and the times of the others run forwards.
TEST_F(ExportCli, TimesOutsideTheYearsAreRefusedNeverWrapped) {
  TempDir dir;
  const std::string copy = dir.File("cast.dat");
  std::filesystem::copy_file(cases_[0].dataFile, copy);
  test::WriteTextFile(CompanionPathFor(copy),
                      R"({"format": "sondrix-companion", "version": 1, "time_zero_utc_ms": 9223372036854775000})");
  const test::CliRun refused = RunTool(kCli, "export " + Quoted(copy) + " --format csv", dir);
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_NE(refused.err.find("time_zero_utc_ms 9223372036854775000 lies outside the years 1970 ... 9999"),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("cast.csv")));

  // The last good line's stamp made 9223372036854775000 ms.
  std::vector<std::string> lines = Lines(test::ReadTextFile(copy).value_or(""));
  const std::string lastStamp = std::to_string(cases_[0].truth.samples.back().stamp) + "\t";
  std::size_t last = lines.size();
  while (last > 0 && !lines[last - 1].starts_with(lastStamp)) --last;
  ASSERT_GT(last, 0u);
  lines[last - 1].replace(0, lastStamp.size() - 1, "9223372036854775000");
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  test::WriteTextFile(copy, text);
  Companion companion = cases_[0].companion;
  ASSERT_EQ(WriteCompanion(CompanionPathFor(copy), companion), status::kOk);
  const test::CliRun run = RunTool(kCli, "export " + Quoted(copy) + " --format csv", dir);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_NE(run.out.find("(" + std::to_string(cases_[0].truth.damaged + 1) + " damaged lines left out)"),
            std::string::npos)
      << run.out;
  const std::vector<std::string> rows = Lines(test::ReadTextFile(dir.File("cast.csv")).value_or(""));
  ASSERT_EQ(rows.size(), cases_[0].truth.samples.size());  // the heading, and one sample fewer
  const auto time = [](const std::string& row) { return row.substr(0, row.find(',')); };
  for (std::size_t k = 2; k < rows.size(); ++k) EXPECT_LT(time(rows[k - 1]), time(rows[k])) << k;
  EXPECT_EQ(time(rows.back()), IsoMs(kNineZero + cases_[0].truth.samples[cases_[0].truth.samples.size() - 2].stamp));
}

}  // namespace
}  // namespace sondrix
