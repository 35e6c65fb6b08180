// SPDX-License-Identifier: GPL-3.0-or-later
// Hyperspectral data files: a run of the meter recorded through BenthFile
// and replayed from the file. What a sample line holds at each skip value,
// the column headings of each configuration version, and replay spreading
// the packed values back over every trace.
#include "datafile/benth_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/status.h"
#include "meter/benth_fixtures.h"
#include "meter/benth_meter.h"
#include "meter/source_factory.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

// The fields of a line of the file, split at tabs.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, '\t')) fields.push_back(field);
  return fields;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) lines.push_back(line);
  return lines;
}

class BenthFileTest : public test::HeadlessTest {
 protected:
  // Records `packets` packets (the first is the one the reset synchronises
  // on) of a meter of `device` into "run.dat" and returns the lines the meter gave, in order. Wavelength i of a packet
  // carries C signal 20000 + 10 i and A signal 21000 + 10 i, so that every
  // trace has a value of its own.
  std::vector<SourceLine> Record(const test::BenthDeviceSpec& device, int packets) {
    return Record(test::BenthDeviceText(device), device.n, device.version < 3 ? device.skip : 1, packets);
  }

  // The same with a device configuration text of `n` wavelengths at `skip`,
  // binned by `binsize` as the acquisition loop bins.
  std::vector<SourceLine> Record(const std::string& deviceText, int n, int skip, int packets,
                                 int binsize = 1) {
    test::BenthSpectrum spectrum;
    for (int i = 0; i < n; ++i) {
      spectrum.c.push_back(static_cast<std::uint16_t>(20000 + 10 * i));
      spectrum.a.push_back(static_cast<std::uint16_t>(21000 + 10 * i));
    }
    test::BenthPacketSpec spec = test::BenthSkip(skip);
    std::string bytes;
    for (int p = 0; p < packets; ++p) {
      spec.time = static_cast<std::uint32_t>(25 * p);
      const auto packet = test::BenthPacket(n, spec, spectrum);
      bytes.append(packet.begin(), packet.end());
    }
    test::WriteTextFile(HomeFile("benth.raw"), bytes);
    test::WriteTextFile(HomeFile("benth.dev"), deviceText);

    std::vector<SourceLine> lines;
    auto meter = Meter::New<BenthMeter>(HomeFile("benth.dev"), HomeFile("benth.raw"));
    EXPECT_EQ(meter->Open(), status::kOk);
    EXPECT_EQ(meter->Reset(), status::kOk);
    std::unique_ptr<DataFile> file;
    EXPECT_EQ(meter->NewDataFile(file, HomeFile("run.tmp")), status::kOk);
    EXPECT_NE(dynamic_cast<BenthFile*>(file.get()), nullptr);
    EXPECT_EQ(meter->SetBinsize(binsize), status::kOk);
    EXPECT_EQ(file->SetOrigBinsize(binsize), status::kOk);
    EXPECT_EQ(file->OpenWrite(meter.get()), status::kOk);
    SourceLine line(meter->GetTraceCount());
    Status result;
    while ((result = meter->CanRead() ? meter->Read(line) : status::kNoData) == status::kOk ||
           result == status::kNoData) {
      if (result != status::kOk) continue;
      EXPECT_EQ(file->WriteData(line), status::kOk);
      lines.push_back(line);
    }
    EXPECT_EQ(file->Close(), status::kOk);
    EXPECT_EQ(file->SaveAs(HomeFile("run.dat")), status::kOk);
    meter->Close();
    return lines;
  }

  std::string Text() const { return test::ReadTextFile(HomeFile("run.dat")).value_or(""); }

  // The column-heading line: the one after the bin size line.
  std::vector<std::string> Headings() const {
    const auto lines = Lines(Text());
    const auto bin = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("; acquisition binsize") != std::string::npos;
    });
    if (bin == lines.end() || bin + 1 == lines.end()) return {};
    auto fields = Fields(*(bin + 1));
    if (!fields.empty() && fields.front().empty()) fields.erase(fields.begin());
    return fields;
  }

  // The sample lines: those after the heading line.
  std::vector<std::string> SampleLines() const {
    auto lines = Lines(Text());
    const auto bin = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("; acquisition binsize") != std::string::npos;
    });
    if (bin == lines.end() || bin + 1 == lines.end()) return {};
    return {bin + 2, lines.end()};
  }

  // Every line of the recording, replayed.
  std::vector<SourceLine> Replay(int traces) {
    std::vector<SourceLine> lines;
    std::unique_ptr<Source> replay;
    EXPECT_EQ(NewSource(replay, kSourceKindFile, HomeFile("run.dat"), ""), status::kOk);
    if (!replay) return lines;
    EXPECT_EQ(replay->Open(), status::kOk);
    EXPECT_EQ(replay->GetTraceCount(), traces);
    SourceLine line(traces);
    while (replay->ReadData(line) == status::kOk) lines.push_back(line);
    replay->Close();
    return lines;
  }
};

// A sample line's tabs: one before each value, then the eight of its
// trailing fields (temperature, sample rate, depth, external temperature and
// the meter's own text).
long Tabs(const std::string& line) { return std::count(line.begin(), line.end(), '\t'); }
constexpr long kTailTabs = 8;

TEST_F(BenthFileTest, AtSkipThreeALineHoldsThirtyThreeValuesOfEachKind) {
  const auto recorded = Record({.version = 2, .n = 100, .skip = 3}, 3);
  ASSERT_EQ(recorded.size(), 3u);
  const auto samples = SampleLines();
  ASSERT_EQ(samples.size(), 3u);
  for (const std::string& line : samples) EXPECT_EQ(Tabs(line), 66 + kTailTabs) << line;

  // The C values of wavelengths 0, 3, ..., 96, then the A values of the same.
  const auto fields = Fields(samples[0]);
  for (int k = 0; k < 33; ++k) {
    EXPECT_NEAR(std::stod(fields[static_cast<std::size_t>(1 + k)]), recorded[0].values[3 * k], 1e-5) << k;
    EXPECT_NEAR(std::stod(fields[static_cast<std::size_t>(34 + k)]), recorded[0].values[100 + 3 * k], 1e-5)
        << k;
  }

  const auto replayed = Replay(200);
  ASSERT_EQ(replayed.size(), recorded.size());
  for (std::size_t l = 0; l < replayed.size(); ++l) {
    EXPECT_EQ(replayed[l].time, recorded[l].time);
    for (int i = 0; i < 200; ++i) {
      const int wavelength = i % 100;
      const bool kept = wavelength % 3 == 0 && wavelength != 99;
      if (kept) {
        EXPECT_NEAR(replayed[l].values[i], recorded[l].values[i], 1e-5) << i;
        EXPECT_NE(replayed[l].values[i], 0.0) << i;
      } else {
        EXPECT_EQ(replayed[l].values[i], 0.0) << i;
      }
    }
  }
}

TEST_F(BenthFileTest, AtSkipTwoReplayFillsTheOtherHundredTracesWithZero) {
  const auto recorded = Record({.version = 2, .n = 100, .skip = 2}, 2);
  const auto samples = SampleLines();
  ASSERT_EQ(samples.size(), 2u);
  for (const std::string& line : samples) EXPECT_EQ(Tabs(line), 100 + kTailTabs) << line;
  const auto replayed = Replay(200);
  ASSERT_EQ(replayed.size(), 2u);
  int zeros = 0;
  for (int i = 0; i < 200; ++i) {
    if (i % 2 == 0) {
      EXPECT_NEAR(replayed[1].values[i], recorded[1].values[i], 1e-5) << i;
    } else {
      EXPECT_EQ(replayed[1].values[i], 0.0) << i;
      ++zeros;
    }
  }
  EXPECT_EQ(zeros, 100);
  // The trailing fields come back with the line: temperature and depth.
  EXPECT_NEAR(replayed[1].temperature, recorded[1].temperature, 0.05);  // written to 0.1
  EXPECT_NEAR(replayed[1].depth, recorded[1].depth, 1e-3);
  EXPECT_DOUBLE_EQ(replayed[1].sampleRate, recorded[1].sampleRate);
}

TEST_F(BenthFileTest, AtSkipOneEveryValueIsWritten) {
  const auto recorded = Record({.version = 2, .n = 100, .skip = 1}, 2);
  const auto samples = SampleLines();
  ASSERT_EQ(samples.size(), 2u);
  for (const std::string& line : samples) EXPECT_EQ(Tabs(line), 200 + kTailTabs) << line;
  const auto replayed = Replay(200);
  ASSERT_EQ(replayed.size(), 2u);
  for (int i = 0; i < 200; ++i) EXPECT_NEAR(replayed[0].values[i], recorded[0].values[i], 1e-5) << i;
}

TEST_F(BenthFileTest, VersionTwoHeadingsAreTheNamesBehindCThenA) {
  // Before version 3 a name's first character is replaced by c, then by a.
  std::string device = test::BenthDeviceText({.version = 2, .n = 100, .skip = 2});
  const auto first = device.find("\nc400\t");
  ASSERT_NE(first, std::string::npos);
  device.replace(first + 1, 4, "c412.5");
  const auto second = device.find("\nc403\t");
  ASSERT_NE(second, std::string::npos);
  device.replace(second + 1, 4, "X415.7");
  Record(device, 100, 2, 1);
  const auto headings = Headings();
  ASSERT_EQ(headings.size(), 200u);
  EXPECT_EQ(headings[0], "c412.5");
  EXPECT_EQ(headings[1], "c415.7");
  EXPECT_EQ(headings[2], "c406");
  EXPECT_EQ(headings[99], "c697");
  EXPECT_EQ(headings[100], "a412.5");
  EXPECT_EQ(headings[101], "a415.7");
  EXPECT_EQ(headings[199], "a697");
  // The heading line is passed over: every sample line comes back.
  EXPECT_EQ(Replay(200).size(), 1u);
}

TEST_F(BenthFileTest, VersionThreeHeadingsAreTheCNamesThenTheANames) {
  const auto recorded = Record(test::BenthDeviceText(3, 85), 85, 1, 2);
  const auto headings = Headings();
  ASSERT_EQ(headings.size(), 170u);
  EXPECT_EQ(headings[0], "c400");
  EXPECT_EQ(headings[84], "c652");
  EXPECT_EQ(headings[85], "a401");
  EXPECT_EQ(headings[169], "a653");
  const auto replayed = Replay(170);
  ASSERT_EQ(replayed.size(), 2u);
  for (int i = 0; i < 170; ++i) EXPECT_NEAR(replayed[1].values[i], recorded[1].values[i], 1e-5) << i;
}

// Whatever the skip value, bin size and heading version, a recording reads
// back as the meter gave it: every line good, its time, trailing text and
// the values the file keeps.
TEST_F(BenthFileTest, EveryRecordingReadsBackAsTheMeterGaveIt) {
  struct Case {
    int version;
    int n;
    int skip;
  };
  for (const Case c : {Case{2, 100, 1}, Case{2, 100, 2}, Case{2, 100, 3}, Case{2, 100, 4},
                       Case{3, 85, 1}}) {
    for (const int binsize : {1, 3, 10}) {
      SCOPED_TRACE(testing::Message() << "version " << c.version << " skip " << c.skip << " bins "
                                      << binsize);
      const auto recorded =
          Record(test::BenthDeviceText(c.version, c.n, c.skip), c.n, c.skip, 20, binsize);
      ASSERT_EQ(recorded.size(), static_cast<std::size_t>(20 / binsize));
      TraceMap map;
      FillBenthTraceMap(c.n, c.skip, map);
      const auto replayed = Replay(2 * c.n);
      ASSERT_EQ(replayed.size(), recorded.size());
      for (std::size_t l = 0; l < replayed.size(); ++l) {
        EXPECT_EQ(replayed[l].status, status::kOk) << l;
        EXPECT_EQ(replayed[l].time, recorded[l].time) << l;
        EXPECT_EQ(replayed[l].tail, recorded[l].tail) << l;
        for (int i = 0; i < 2 * c.n; ++i) {
          const double expected = map[static_cast<std::size_t>(i)] != 0 ? recorded[l].values[i] : 0.0;
          EXPECT_NEAR(replayed[l].values[i], expected, 1e-5) << l << " " << i;
        }
      }
    }
  }
}

// A skip value edited in the header no longer fits the lines: each of them
// is a damaged line, counted as lost, never values shifted over the traces.
TEST_F(BenthFileTest, LinesThatDoNotFitAnEditedSkipValueAreLost) {
  struct Edit {
    int recorded;
    int edited;
  };
  for (const Edit edit : {Edit{1, 2}, Edit{2, 3}, Edit{2, 1}, Edit{4, 2}}) {
    SCOPED_TRACE(testing::Message() << edit.recorded << " -> " << edit.edited);
    Record(test::BenthDeviceText(2, 100, edit.recorded), 100, edit.recorded, 3);
    std::string text = Text();
    const std::string from = std::to_string(edit.recorded) + "\t\t\t; skip value";
    ASSERT_NE(text.find(from), std::string::npos);
    text.replace(text.find(from), 1, std::to_string(edit.edited));
    test::WriteTextFile(HomeFile("run.dat"), text);

    std::unique_ptr<Source> replay;
    ASSERT_EQ(NewSource(replay, kSourceKindFile, HomeFile("run.dat"), ""), status::kOk);
    ASSERT_EQ(replay->Open(), status::kOk);
    SourceLine line(200);
    int good = 0;
    Status result;
    while ((result = replay->Read(line)) == status::kOk || result == status::kNoData)
      if (result == status::kOk && line.status == status::kOk) ++good;
    EXPECT_EQ(good, 0);
    EXPECT_EQ(replay->GetLostCount(), 3);
    replay->Close();
  }
}

}  // namespace
}  // namespace sondrix
