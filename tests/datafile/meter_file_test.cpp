// SPDX-License-Identifier: GPL-3.0-or-later
// Meter data files: recording a meter in-process and replaying the file, the
// embedded configuration, lost and damaged lines, the 3-in-5 replay pace,
// the title check, rewinding, and saving an unattended run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "common/status.h"
#include "common/utils.h"
#include "datafile/model_files.h"
#include "meter/meter_fixtures.h"
#include "meter/nerit_meter.h"
#include "meter/source_factory.h"
#include "source/device.h"
#include "support/fixtures.h"

namespace sondrix {
namespace {

using test::Damaged;
using test::kNeritSerial;
using test::Packet;

constexpr int kNerit = 18;

// The sample lines of a data file (what follows the bin size line).
std::vector<std::string> SampleLines(const std::string& path) {
  const std::string text = test::ReadTextFile(path).value_or("");
  std::vector<std::string> lines;
  std::size_t start = 0;
  bool afterBinsize = false;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (afterBinsize) lines.push_back(line);
    if (line.find("; acquisition binsize") != std::string::npos) afterBinsize = true;
    start = end + 1;
  }
  return lines;
}

std::string LineText(const SourceLine& line) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* memory = open_memstream(&buffer, &size);
  SourceLine_Write(memory, line);
  std::fclose(memory);
  std::string text(buffer, size);
  std::free(buffer);
  if (!text.empty()) text.pop_back();
  return text;
}

class MeterFileTest : public test::HeadlessTest {
 protected:
  std::string Device(double depthScale = 0.0035) {
    return test::WriteTextFile(HomeFile("meter.dev"),
                               test::MeterDeviceText(kNeritSerial, kNerit, depthScale));
  }

  std::vector<std::uint8_t> Good(std::uint16_t firstTime, double signal = 0.25) {
    return Packet(kNerit, 10, kNeritSerial, firstTime, signal, 0.5, TempToCount(18.0));
  }

  // Records the meter on a capture of `packets` into `out` the way the
  // acquisition loop does; the lines handed to the recorder come back.
  std::vector<std::string> Record(const std::string& device,
                                  const std::vector<std::vector<std::uint8_t>>& packets,
                                  const std::string& out, int binsize = 1) {
    std::vector<std::string> written;
    const std::string capture = test::WriteCapture(HomeFile("capture.raw"), packets);
    std::unique_ptr<Source> meter;
    EXPECT_EQ(NewSource(meter, kSourceKindDevice, device, capture), status::kOk);
    if (!meter) return written;
    EXPECT_EQ(meter->Open(), status::kOk);
    EXPECT_EQ(meter->Reset(), status::kOk);
    EXPECT_EQ(meter->SetBinsize(binsize), status::kOk);
    std::unique_ptr<DataFile> file;
    EXPECT_EQ(meter->NewDataFile(file, HomeFile("Sondrix.tmp")), status::kOk);
    if (!file) return written;
    EXPECT_EQ(file->SetOrigBinsize(binsize), status::kOk);
    EXPECT_EQ(file->OpenWrite(meter.get()), status::kOk);
    SourceLine line(meter->GetTraceCount());
    Status result;
    while ((result = meter->CanRead() ? meter->Read(line) : status::kNoData) == status::kOk ||
           result == status::kNoData) {
      if (result != status::kOk) continue;
      EXPECT_EQ(file->WriteData(line), status::kOk);
      if (line.status == status::kOk || binsize > 1) written.push_back(LineText(line));
    }
    EXPECT_EQ(result, status::kUnexpectedEof);
    EXPECT_EQ(file->Close(), status::kOk);
    EXPECT_EQ(file->SaveAs(out), status::kOk);
    EXPECT_EQ(meter->Close(), status::kOk);
    return written;
  }

  // Every line a replay of `path` delivers at bin size 1 (lost ones too).
  std::vector<SourceLine> Replay(Source& file) {
    std::vector<SourceLine> lines;
    SourceLine line(file.GetTraceCount());
    Status result;
    while ((result = file.Read(line)) == status::kOk || result == status::kNoData)
      if (result == status::kOk) lines.push_back(line);
    EXPECT_EQ(result, status::kUnexpectedEof);
    return lines;
  }

  std::unique_ptr<Source> OpenReplay(const std::string& path) {
    std::unique_ptr<Source> file;
    EXPECT_EQ(NewSource(file, kSourceKindFile, path, ""), status::kOk);
    if (!file) return nullptr;
    EXPECT_EQ(file->Open(), status::kOk);
    EXPECT_EQ(file->Reset(), status::kOk);
    return file;
  }

  // A small recorded file: four good packets, the first the one Reset
  // synchronises on.
  std::string SmallRecording(double depthScale = 0.0035) {
    const std::string path = HomeFile("small.dat");
    Record(Device(depthScale), {Good(0), Good(10), Good(20), Good(30)}, path);
    return path;
  }
};

TEST_F(MeterFileTest, RecordedLinesReplayAsRecordedAndLostOnesAreLeftOut) {
  const std::string path = HomeFile("run.dat");
  const auto written =
      Record(Device(), {Good(0), Good(10), Damaged(Good(20)), Good(30), Good(40, 0.2)}, path);
  EXPECT_EQ(written.size(), 40u);
  EXPECT_EQ(SampleLines(path), written);

  const std::string text = test::ReadTextFile(path).value_or("");
  EXPECT_EQ(text.compare(0, 16, "Sondrix ver 7.1\t"), 0);
  EXPECT_NE(text.find("1\t\t\t; acquisition binsize\n"), std::string::npos);

  auto replay = OpenReplay(path);
  ASSERT_TRUE(replay);
  EXPECT_NE(dynamic_cast<NeritFile*>(replay.get()), nullptr);
  const auto lines = Replay(*replay);
  ASSERT_EQ(lines.size(), written.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].status, status::kOk);
    EXPECT_EQ(LineText(lines[i]), written[i]) << i;
  }
  // The gap shows in the time stamps: 200 ... 290 missing.
  EXPECT_EQ(lines[19].time, 190);
  EXPECT_EQ(lines[20].time, 300);
  // Lines without a tail keep the last tail's temperature and depth.
  EXPECT_NEAR(lines[5].temperature, CountToTemp(TempToCount(18.0)), 0.005);
  EXPECT_NEAR(replay->GetDepth(), 100 * 0.0035 + 0.5, 0.005);
  EXPECT_NEAR(replay->GetSampleRate(), 1.0 / (kMeterPeriodSeconds * 3165), 0.05);
}

TEST_F(MeterFileTest, ReplayAnswersFromTheEmbeddedConfigurationWhateverTheDeviceFileSaysNow) {
  const std::string path = SmallRecording();
  // The device file changes after the recording.
  test::WriteTextFile(HomeFile("meter.dev"),
                      test::MeterDeviceText(0x04000777, kNerit, 0.0035, 0.5, 0.25, "c999"));
  auto replay = OpenReplay(path);
  ASSERT_TRUE(replay);
  EXPECT_EQ(replay->GetTraceCount(), 18);
  std::string heading;
  EXPECT_EQ(replay->GetHeading(0, heading), status::kOk);
  EXPECT_EQ(heading, "a412");
  EXPECT_EQ(replay->GetHeading(17, heading), status::kOk);
  EXPECT_EQ(heading, "c570");
  EXPECT_EQ(replay->GetHeading(18, heading), status::kNoSuchHeading);
  std::vector<int> colors(kNerit);
  std::vector<double> wavelengths(kNerit);
  EXPECT_EQ(replay->GetColors(colors), status::kOk);
  EXPECT_EQ(replay->GetWavelengths(wavelengths), status::kOk);
  EXPECT_EQ(colors[0], 10);
  EXPECT_EQ(colors[17], 27);
  EXPECT_DOUBLE_EQ(wavelengths[0], 412.0);
  EXPECT_DOUBLE_EQ(wavelengths[17], 570.0);
  EXPECT_EQ(replay->GetSerialnum(), kNeritSerial);
  std::string id;
  EXPECT_EQ(replay->GetID(id), status::kOk);
  EXPECT_EQ(id, "Test meter");
  EXPECT_EQ(replay->HasDepth(), 1);
  TraceMap map;
  EXPECT_EQ(replay->GetTraceMap(map), 18);
  EXPECT_EQ(map[6], 3);
  EXPECT_EQ(map[17], 5);
}

TEST_F(MeterFileTest, RecordingOfAMeterWithoutDepthScaleReplaysWithoutDepth) {
  auto replay = OpenReplay(SmallRecording(0.0));
  ASSERT_TRUE(replay);
  EXPECT_EQ(replay->HasDepth(), 0);
}

TEST_F(MeterFileTest, ReplayDeliversOnThreePollsOutOfFive) {
  auto replay = OpenReplay(SmallRecording());
  ASSERT_TRUE(replay);
  std::vector<int> polls;
  for (int i = 0; i < 10; ++i) polls.push_back(replay->DataAvailable());
  EXPECT_EQ(polls, (std::vector<int>{1, 1, 1, 0, 0, 1, 1, 1, 0, 0}));
}

TEST_F(MeterFileTest, AnyTitleBeginningWithTheProgramNameIsAccepted) {
  const std::string path = SmallRecording();
  std::string text = test::ReadTextFile(path).value_or("");
  const std::string body = text.substr(text.find('\t'));
  test::WriteTextFile(HomeFile("nine.dat"), "Sondrix ver 9" + body);
  test::WriteTextFile(HomeFile("other.dat"), "Other" + body);
  auto nine = OpenReplay(HomeFile("nine.dat"));
  ASSERT_TRUE(nine);
  EXPECT_EQ(Replay(*nine).size(), 40u);

  // The factory cannot tell the type of the other file; the class itself
  // refuses its title.
  std::unique_ptr<Source> other;
  EXPECT_EQ(NewSource(other, kSourceKindFile, HomeFile("other.dat"), ""), status::kBadConfigFormat);
  auto file = MeterFile::New<NeritFile>(HomeFile("other.dat"), "");
  EXPECT_EQ(file->Open(), status::kUnrecognisedData);
}

TEST_F(MeterFileTest, ResetRewindsOnlyAtTheEnd) {
  auto replay = OpenReplay(SmallRecording());
  ASSERT_TRUE(replay);
  SourceLine line(kNerit);
  int read = 0;
  while (read < 5)
    if (replay->Read(line) == status::kOk) ++read;
  EXPECT_EQ(line.time, 40);
  ASSERT_EQ(replay->Reset(), status::kOk);
  while (replay->Read(line) != status::kOk) {
  }
  EXPECT_EQ(line.time, 50);  // went on

  EXPECT_EQ(Replay(*replay).size(), 34u);
  ASSERT_EQ(replay->Reset(), status::kOk);
  while (replay->Read(line) != status::kOk) {
  }
  EXPECT_EQ(line.time, 0);  // started over
}

TEST_F(MeterFileTest, OriginalBinSizeOfZeroIsRefused) {
  auto file = MeterFile::New<NeritFile>(HomeFile("x.dat"), "");
  ASSERT_EQ(file->SetOrigBinsize(4), status::kOk);
  EXPECT_EQ(file->SetOrigBinsize(0), status::kBadArgument);
  EXPECT_EQ(file->GetOrigBinsize(), 4);
}

TEST_F(MeterFileTest, BinsOfSeveralLinesAreKeptEvenWhenOneOfTheirLinesWasLost) {
  const std::string path = HomeFile("binned.dat");
  const auto written =
      Record(Device(), {Good(0), Good(10), Damaged(Good(20)), Good(30), Good(40)}, path, 4);
  // 40 good samples make 10 complete bins; the one that saw the lost packet
  // is among them.
  EXPECT_EQ(written.size(), 10u);
  EXPECT_EQ(SampleLines(path), written);
  const std::string text = test::ReadTextFile(path).value_or("");
  EXPECT_NE(text.find("4\t\t\t; acquisition binsize\n"), std::string::npos);
}

TEST_F(MeterFileTest, DamagedLinesReplayAsLostAndDoNotShiftTheNextOnes) {
  const std::string path = SmallRecording();
  std::string text = test::ReadTextFile(path).value_or("");
  const auto lines = SampleLines(path);
  ASSERT_EQ(lines.size(), 40u);
  // Line 3 loses its last values (fewer values than traces), and the file
  // ends in the middle of a line.
  const std::size_t third = text.find(lines[3]);
  const std::size_t cut = lines[3].find('\t', 20);
  text.replace(third, lines[3].size(), lines[3].substr(0, cut));
  text += "400\t0.1234";
  test::WriteTextFile(path, text);

  auto replay = OpenReplay(path);
  ASSERT_TRUE(replay);
  const auto replayed = Replay(*replay);
  ASSERT_EQ(replayed.size(), 41u);
  EXPECT_EQ(replayed[3].status, status::kLostLine);
  EXPECT_EQ(replayed[4].status, status::kOk);
  EXPECT_EQ(LineText(replayed[4]), lines[4]);
  EXPECT_EQ(replayed[40].status, status::kLostLine);
  EXPECT_EQ(replay->GetLostCount(), 2);
}

// Every model's recording, at several bin sizes, reads back exactly as the
// writer put it out. Two lines run together when a line end is lost (with
// a blank left between them or none) read back as one lost line, never as
// values and a trailing text taken from the next line.
TEST_F(MeterFileTest, EveryModelsLinesReadBackExactlyAndLinesRunTogetherAreLost) {
  struct ModelCase {
    std::uint32_t serial;
    int traces;
  };
  for (const ModelCase model : {ModelCase{kNeritSerial, 18}, ModelCase{0x03000001, 6},
                                ModelCase{0x06000001, 3}, ModelCase{0x07000001, 3}}) {
    const std::string device =
        test::WriteTextFile(HomeFile("model.dev"), test::MeterDeviceText(model.serial, model.traces));
    std::vector<std::vector<std::uint8_t>> packets;
    for (int p = 0; p < 8; ++p) {
      packets.push_back(Packet(model.traces, 10, model.serial, static_cast<std::uint16_t>(10 * p),
                               0.25 + 0.01 * p, 0.5 + 0.02 * p, TempToCount(18.0 + p)));
    }
    for (const int binsize : {1, 3, 10}) {
      SCOPED_TRACE(testing::Message() << "serial " << std::hex << model.serial << std::dec << " bins "
                                      << binsize);
      const std::string path = HomeFile("model.dat");
      const auto written = Record(device, packets, path, binsize);
      ASSERT_FALSE(written.empty());
      auto replay = OpenReplay(path);
      ASSERT_TRUE(replay);
      const auto lines = Replay(*replay);
      ASSERT_EQ(lines.size(), written.size());
      for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].status, status::kOk) << i;
        EXPECT_EQ(LineText(lines[i]), written[i]) << i;
      }
      EXPECT_EQ(replay->GetLostCount(), 0);
      replay->Close();
      if (binsize != 1) continue;

      // Lines 0 (with the trailing text), 1 and 2 (without), 9 and 10
      // (without, then with).
      const std::string text = test::ReadTextFile(path).value_or("");
      for (const std::size_t first : {std::size_t{0}, std::size_t{1}, std::size_t{9}}) {
        for (const std::string joint : {"", "\t"}) {
          std::string joined = text;
          const std::size_t at = joined.find(written[first] + "\n");
          ASSERT_NE(at, std::string::npos);
          joined.replace(at + written[first].size(), 1, joint);
          test::WriteTextFile(HomeFile("joined.dat"), joined);
          auto damaged = OpenReplay(HomeFile("joined.dat"));
          ASSERT_TRUE(damaged);
          const auto got = Replay(*damaged);
          ASSERT_EQ(got.size(), written.size() - 1) << first;
          EXPECT_EQ(got[first].status, status::kLostLine) << first << " '" << joint << "'";
          EXPECT_EQ(damaged->GetLostCount(), 1) << first;
          for (std::size_t i = first + 1; i < got.size(); ++i) {
            EXPECT_EQ(LineText(got[i]), written[i + 1]) << first << " " << i;
          }
        }
      }
    }
  }
}

// The writer keeps a trailing text to 255 characters, cutting its last
// fields if it must: such a text is kept with the fields it has. Any other
// count of fields, or a longer text, is a damaged line.
TEST_F(MeterFileTest, ATrailingTextIsKeptOnlyInTheShapeItsWriterGivesIt) {
  const std::string path = SmallRecording();
  const auto lines = SampleLines(path);
  ASSERT_EQ(lines.size(), 40u);
  const std::string values = lines[1];  // a line without a trailing text
  std::string fields = "18.00\t6.0\t0.85\t12.34";
  for (int i = 0; i < kNerit; ++i) fields += "\t2500.00000";
  std::string cut = "18.00\t6.0\t0.85\t12.34";
  while (cut.size() < 255) cut += "\t123456789012.00000";
  cut.resize(255);
  std::string text = test::ReadTextFile(path).value_or("");
  text += values + "\t" + fields + "\n";                            // the whole shape
  text += values + "\t" + cut + "\n";                               // cut by the writer
  text += values + "\t" + fields.substr(0, fields.rfind('\t')) + "\n";  // a field short
  text += values + "\t" + fields + "\t2500.00000\n";                // a field more
  text += values + "\t" + cut + "0\n";                              // longer than the writer's
  test::WriteTextFile(path, text);

  auto replay = OpenReplay(path);
  ASSERT_TRUE(replay);
  const auto got = Replay(*replay);
  ASSERT_EQ(got.size(), 45u);
  EXPECT_EQ(got[40].status, status::kOk);
  EXPECT_EQ(got[40].tail, fields);
  EXPECT_EQ(got[41].status, status::kOk);
  EXPECT_EQ(got[41].tail, cut);
  EXPECT_DOUBLE_EQ(got[41].temperature, 18.0);
  EXPECT_EQ(got[42].status, status::kLostLine);
  EXPECT_EQ(got[43].status, status::kLostLine);
  EXPECT_EQ(got[44].status, status::kLostLine);
  EXPECT_EQ(replay->GetLostCount(), 3);
}

TEST_F(MeterFileTest, LostLinesAreNotWrittenAtBinSizeOne) {
  auto file = MeterFile::New<NeritFile>(HomeFile("Sondrix.tmp"), "");
  auto meter = Meter::New<NeritMeter>(Device(), "");
  ASSERT_EQ(meter->Open(), status::kOk);
  ASSERT_EQ(file->OpenWrite(meter.get()), status::kOk);
  SourceLine line(kNerit);
  line.status = status::kLostLine;
  line.time = 10;
  EXPECT_EQ(file->WriteData(line), status::kOk);
  line.status = status::kOk;
  line.time = 20;
  EXPECT_EQ(file->WriteData(line), status::kOk);
  ASSERT_EQ(file->Close(), status::kOk);
  const auto lines = SampleLines(HomeFile("Sondrix.tmp"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(0, 3), "20\t");
}

// The last line of defence: whatever went wrong upstream, a value that is
// not a finite number never reaches the file.
TEST_F(MeterFileTest, LinesWithValuesThatAreNotNumbersAreNotWritten) {
  auto file = MeterFile::New<NeritFile>(HomeFile("Sondrix.tmp"), "");
  auto meter = Meter::New<NeritMeter>(Device(), "");
  ASSERT_EQ(meter->Open(), status::kOk);
  ASSERT_EQ(file->OpenWrite(meter.get()), status::kOk);
  SourceLine line(kNerit);
  line.status = status::kOk;
  line.time = 10;
  line.values[5] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(file->WriteData(line), status::kOk);
  line.time = 20;
  line.values[5] = 0.5;
  line.temperature = std::numeric_limits<double>::infinity();
  EXPECT_EQ(file->WriteData(line), status::kOk);
  line.time = 30;
  line.temperature = 18.0;
  EXPECT_EQ(file->WriteData(line), status::kOk);
  EXPECT_EQ(file->writtenLines(), 1);
  EXPECT_EQ(file->refusedLines(), 2);
  ASSERT_EQ(file->Close(), status::kOk);
  const auto lines = SampleLines(HomeFile("Sondrix.tmp"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(0, 3), "30\t");
}

TEST_F(MeterFileTest, RecordingOfASourceWithoutConfigurationIsRefused) {
  sondrix::Device bare(HomeFile("x.dev"), "");
  auto file = MeterFile::New<NeritFile>(HomeFile("Sondrix.tmp"), "");
  EXPECT_EQ(file->OpenWrite(&bare), status::kDevNoWriteConfig);
}

TEST_F(MeterFileTest, ModelFilesTakeTheirCountsAndMapsFromTheModelTable) {
  auto a = MeterFile::New<AFile>("a.dat", "");
  auto c = MeterFile::New<CFile>("c.dat", "");
  auto pelag = MeterFile::New<PelagFile>("p.dat", "");
  auto nerit = MeterFile::New<NeritFile>("n.dat", "");
  TraceMap map;
  map.fill(7);
  EXPECT_EQ(a->GetTraceMap(map), 3);
  for (int flag : map) EXPECT_EQ(flag, 0);
  EXPECT_EQ(c->GetTraceMap(map), 3);
  EXPECT_EQ(pelag->GetTraceMap(map), 6);
  EXPECT_EQ(map[3], 5);
  EXPECT_EQ(map[6], 0);
  EXPECT_EQ(nerit->GetTraceMap(map), 18);
  EXPECT_EQ(nerit->config()->traceCount, 18);
  EXPECT_EQ(pelag->config()->inTraceCount, 6);
  EXPECT_EQ(a->GetInTraceCount(), 3);
}

TEST_F(MeterFileTest, UnattendedRunIsSavedUnderItsTimeStampedNameWithoutDialog) {
  const std::string path = SmallRecording();
  // The recording lives in Sondrix.tmp again for Save.
  std::filesystem::copy_file(path, HomeFile("Sondrix.tmp"));
  const std::string base = HomeFile("unattended.dat");
  test::WriteTextFile(HomeFile("Rudud.ini"),
                      "[General]\nDevice=meter.dev\nPort=COM1\nOutputFilename=" + base + "\n");
  std::string expected = base;
  TimeStampedFilename(expected, "dat");
  test::WriteTextFile(expected, "an older run of the same name\n");

  auto file = MeterFile::New<NeritFile>(HomeFile("Sondrix.tmp"), "");
  EXPECT_EQ(file->Save(), status::kOk);
  EXPECT_TRUE(ui.fileDialogs().empty());
  EXPECT_TRUE(ui.popups().empty());
  EXPECT_EQ(SampleLines(expected).size(), 40u);
  EXPECT_FALSE(std::filesystem::exists(HomeFile("Sondrix.tmp")));
}

TEST_F(MeterFileTest, FactoryPicksTheFileClassOfTheRecordedDevice) {
  const std::string path = SmallRecording();
  std::string idText;
  EXPECT_EQ(DataFile_GetDevType(path, idText), 4);
  EXPECT_EQ(idText, "Test meter");
  std::string text = test::ReadTextFile(path).value_or("");
  const std::size_t serial = text.find("0400012D");
  ASSERT_NE(serial, std::string::npos);
  text.replace(serial, 2, "05");
  test::WriteTextFile(HomeFile("five.dat"), text);
  std::unique_ptr<Source> file;
  EXPECT_EQ(NewFile(file, HomeFile("five.dat"), ""), status::kBadConfigFormat);
  EXPECT_EQ(NewFile(file, HomeFile("missing.dat"), ""), status::kBadConfigFormat);
}

}  // namespace
}  // namespace sondrix
