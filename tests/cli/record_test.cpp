// SPDX-License-Identifier: GPL-3.0-or-later
// The built sondrix-cli end to end: a capture with bad packets recorded into
// a data file, the file replayed and described; the ways a recording ends
// (end of capture, line count, time-out, Ctrl+C, a write error); refusals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_run.h"
#include "datafile/companion.h"
#include "meter/meter_fixtures.h"
#include "support/fixtures.h"
#include "build_paths.h"


namespace sondrix {
namespace {

using test::CliRun;
using test::kCli;
using test::kSim;
using test::Lines;
using test::Quoted;
using test::DataFileSampleLines;

const std::string kDevice = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";
constexpr int kNerit = 18;

class RecordCli : public test::HeadlessTest {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(kCli)) << kCli << " is not built"; }

  CliRun Cli(const std::string& arguments, const std::string& prefix = "") {
    return test::RunTool(kCli, arguments, home, prefix);
  }

  // 30 packets of the example nine-wavelength meter: four with a bad
  // checksum, one with a wrong length, noise bytes in front of some. The
  // first packet is the one the reset synchronises on, and is recorded too:
  // 25 packets of ten samples each are recorded.
  std::string Capture(std::uint32_t serial = test::kNeritSerial, int packets = 30) {
    std::vector<std::vector<std::uint8_t>> all;
    for (int i = 0; i < packets; ++i) {
      auto packet = test::Packet(kNerit, 10, serial, static_cast<std::uint16_t>(65400 + 10 * i),
                                 0.2 + 0.01 * (i % 7), 0.6, TempToCount(12.0 + 0.1 * i));
      if (i == 4 || i == 9 || i == 17 || i == 28) packet = test::Damaged(packet);
      if (i == 12) {
        packet[kMeterLengthOffset] ^= 0x01;  // a length word that is not the packet's
        SealMeterPacket(packet);
      }
      if (i % 5 == 3) packet.insert(packet.begin(), {0x12, 0x34, 0x56});
      all.push_back(packet);
    }
    return test::WriteCapture(home.File("capture.raw"), all);
  }

  // A capture written by hand has no companion with the time map of a
  // live run: the UTC of its first sample is given.
  std::string Record(const std::string& capture, const std::string& out, const std::string& more = "") {
    return "record --device " + Quoted(kDevice) + " --port " + Quoted(capture) + " --out " + Quoted(out) +
           " --start-utc 2026-12-10T04:00:00.000Z" + (more.empty() ? "" : " " + more);
  }
};

TEST_F(RecordCli, CaptureWithBadPacketsRecordsReplaysAndDescribesItself) {
  const std::string capture = Capture();
  const std::string out = home.File("run.dat");
  const CliRun record = Cli(Record(capture, out));
  ASSERT_EQ(record.exitStatus, 0) << record.err;
  EXPECT_EQ(record.err, "");
  EXPECT_FALSE(std::filesystem::exists(home.File("Sondrix.tmp")));

  const auto samples = DataFileSampleLines(out);
  EXPECT_EQ(samples.size(), 250u);
  const std::string text = test::ReadTextFile(out).value_or("");
  EXPECT_EQ(text.rfind("Sondrix ver 7.1\t", 0), 0u);
  EXPECT_NE(text.find("Nerit nine-wavelength meter 301\n0400012D"), std::string::npos);
  // The counter wraps during the run; the time axis does not.
  EXPECT_EQ(samples.front().substr(0, 2), "0\t");
  EXPECT_EQ(samples.back().substr(0, 5), "2990\t");

  const CliRun replay = Cli("replay " + Quoted(out));
  ASSERT_EQ(replay.exitStatus, 0) << replay.err;
  EXPECT_EQ(Lines(replay.out), samples);

  const CliRun info = Cli("info " + Quoted(out));
  ASSERT_EQ(info.exitStatus, 0) << info.err;
  EXPECT_NE(info.out.find("Kind: data file\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Identification: Nerit nine-wavelength meter 301\n"), std::string::npos);
  EXPECT_NE(info.out.find("Device type: 4 ("), std::string::npos);
  EXPECT_NE(info.out.find("Serial number: 0400012D\n"), std::string::npos);
  EXPECT_NE(info.out.find("Bin size: 1\n"), std::string::npos);
  EXPECT_NE(info.out.find("Sample lines: 250\n"), std::string::npos);
  EXPECT_NE(info.out.find("Traces: 18\n"), std::string::npos);
  EXPECT_NE(info.out.find("a412"), std::string::npos);
  EXPECT_NE(info.out.find("676.0 nm"), std::string::npos);
  EXPECT_NE(info.out.find("LtRed"), std::string::npos);
  EXPECT_NE(info.out.find("Date: "), std::string::npos);
}

// --- Hostile streams: what is missing is lost and counted, nothing else ------

class HostileStreamCli : public RecordCli {
 protected:
  // Packet i of a clean nine-wavelength stream (ten samples, counter step 1).
  static std::vector<std::uint8_t> Clean(int i) {
    return test::Packet(kNerit, 10, test::kNeritSerial, static_cast<std::uint16_t>(10 * i), 0.3, 0.6,
                        TempToCount(14.0));
  }
  // Bytes that never form the sync pattern.
  static std::vector<std::uint8_t> Noise(std::size_t count) {
    std::vector<std::uint8_t> noise(count);
    for (std::size_t k = 0; k < count; ++k) noise[k] = static_cast<std::uint8_t>(0x11 + (k * 37) % 200);
    return noise;
  }
  // Records `stream` and returns the sample lines; `lost` receives the count
  // the run reports.
  std::vector<std::string> RecordStream(const std::vector<std::vector<std::uint8_t>>& stream, int& lost) {
    const std::string out = home.File("hostile.dat");
    std::filesystem::remove(out);
    const CliRun run = Cli(Record(test::WriteCapture(home.File("hostile.raw"), stream), out));
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    lost = -1;
    const std::size_t at = run.out.find("; ");
    if (at != std::string::npos) lost = std::atoi(run.out.c_str() + at + 2);
    return DataFileSampleLines(out);
  }
};

TEST_F(HostileStreamCli, ABurstOfNoiseIsSkippedAndTheRunGoesOn) {
  std::vector<std::vector<std::uint8_t>> stream;
  for (int i = 0; i < 50; ++i) {
    if (i == 20) stream.push_back(Noise(300));
    stream.push_back(Clean(i));
  }
  int lost = 0;
  // The first packet is the one the reset synchronises on: recorded too.
  EXPECT_EQ(RecordStream(stream, lost).size(), 500u);
  EXPECT_EQ(lost, 0);

  // Noise in place of two packets: exactly their twenty samples are lost.
  stream[31] = Noise(stream[31].size());
  stream[32] = Noise(stream[32].size());
  EXPECT_EQ(RecordStream(stream, lost).size(), 480u);
  EXPECT_EQ(lost, 20);
}

TEST_F(HostileStreamCli, AFalseSyncPatternCostsNoPacket) {
  std::vector<std::vector<std::uint8_t>> stream;
  for (int i = 0; i < 40; ++i) {
    auto packet = Clean(i);
    if (i % 3 == 1) packet.insert(packet.begin(), {0x00, 0xFF, 0x00, 0xFF});
    if (i % 7 == 2) packet.insert(packet.begin(), {0x00, 0xFF, 0x00, 0xFF, 0x7A, 0x02, 0x01});
    stream.push_back(packet);
  }
  int lost = 0;
  EXPECT_EQ(RecordStream(stream, lost).size(), 400u);
  EXPECT_EQ(lost, 0);
}

TEST_F(HostileStreamCli, TruncatedAndDamagedPacketsCostExactlyTheirSamples) {
  std::vector<std::vector<std::uint8_t>> stream;
  int missing = 0;
  // The last two packets are whole: a packet cut by the end of a run is not
  // known to be one.
  for (int i = 0; i < 62; ++i) {
    auto packet = Clean(i);
    if (i >= 60) {
    } else if (i % 7 == 3) {
      packet.resize(packet.size() / 2);  // the rest never came
      missing += 10;
    } else if (i % 11 == 5) {
      packet = test::Damaged(packet);
      missing += 10;
    }
    stream.push_back(packet);
  }
  int lost = 0;
  const auto lines = RecordStream(stream, lost);
  EXPECT_EQ(lost, missing);
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(620 - missing));
}

// The build's capture of the hyperspectral meter: 300 packets, bad
// checksums every 50 and bad lengths every 70; the first, which the reset
// synchronises on, is recorded as every other.
TEST_F(RecordCli, HyperspectralCaptureCountsItsLostSamplesExactly) {
  const std::string capture = SONDRIX_TOOLS_DIR "/../examples/captures/benth-100wl.raw";
  ASSERT_TRUE(std::filesystem::exists(capture)) << capture;
  const std::string device = SONDRIX_EXAMPLES_DIR "/benth-100wl.dev";
  const std::string out = home.File("benth.dat");
  const CliRun record = Cli("record --device " + Quoted(device) + " --port " + Quoted(capture) +
                            " --out " + Quoted(out));
  ASSERT_EQ(record.exitStatus, 0) << record.err;
  // The column headings follow the bin size line, the samples them.
  EXPECT_NE(test::ReadTextFile(out).value_or("").find("; acquisition binsize\n\tc400.0\tc403.3\t"),
            std::string::npos);
  const auto samples = DataFileSampleLines(out);
  EXPECT_EQ(samples.size(), 300u - 6u - 4u);

  const CliRun replay = Cli("replay " + Quoted(out));
  ASSERT_EQ(replay.exitStatus, 0) << replay.err;
  EXPECT_EQ(Lines(replay.out), samples);

  const CliRun info = Cli("info " + Quoted(out));
  ASSERT_EQ(info.exitStatus, 0) << info.err;
  EXPECT_NE(info.out.find("Device type: 83 (hyperspectral"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Sample lines: 290\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Traces: 200\n"), std::string::npos);
  EXPECT_NE(info.out.find("  100   a400.0"), std::string::npos) << info.out;
}

TEST_F(RecordCli, InfoDescribesHyperspectralDeviceFiles) {
  const CliRun v2 = Cli("info " + Quoted(SONDRIX_EXAMPLES_DIR "/benth-100wl.dev"));
  ASSERT_EQ(v2.exitStatus, 0) << v2.err;
  EXPECT_NE(v2.out.find("Serial number: 530000A7\n"), std::string::npos) << v2.out;
  EXPECT_NE(v2.out.find("Traces: 200\n"), std::string::npos);
  EXPECT_NE(v2.out.find("  199   a730.0          730.0 nm"), std::string::npos) << v2.out;
  const CliRun v3 = Cli("info " + Quoted(SONDRIX_EXAMPLES_DIR "/benth-85wl-v3.dev"));
  ASSERT_EQ(v3.exitStatus, 0) << v3.err;
  EXPECT_NE(v3.out.find("Device type: 241 (hyperspectral"), std::string::npos) << v3.out;
  EXPECT_NE(v3.out.find("Traces: 170\n"), std::string::npos);
  EXPECT_NE(v3.out.find("  85    a402.7          402.7 nm"), std::string::npos) << v3.out;
}

TEST_F(RecordCli, InfoDescribesADeviceFile) {
  const CliRun info = Cli("info " + Quoted(kDevice));
  ASSERT_EQ(info.exitStatus, 0) << info.err;
  EXPECT_NE(info.out.find("Kind: device configuration\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Serial number: 0400012D\n"), std::string::npos);
  EXPECT_NE(info.out.find("  17    c715"), std::string::npos) << info.out;
  EXPECT_EQ(info.out.find("Sample lines"), std::string::npos);
  const CliRun missing = Cli("info " + Quoted(home.File("none.dev")));
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_NE(missing.err.find("Can't open file"), std::string::npos);
}

TEST_F(RecordCli, ExistingOutputIsKeptUnlessForced) {
  const std::string capture = Capture();
  const std::string out = test::WriteTextFile(home.File("run.dat"), "keep me\n");
  const CliRun refused = Cli(Record(capture, out));
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
  EXPECT_EQ(test::ReadTextFile(out).value_or(""), "keep me\n");
  EXPECT_FALSE(std::filesystem::exists(home.File("Sondrix.tmp")));

  const CliRun forced = Cli(Record(capture, out, "--force"));
  EXPECT_EQ(forced.exitStatus, 0) << forced.err;
  EXPECT_EQ(DataFileSampleLines(out).size(), 250u);
}

// --meta fills the companion's deployment; a key that is none is a usage
// error that lists the keys; a forced overwrite replaces the old companion.
TEST_F(RecordCli, MetaValuesGoIntoTheCompanionThatReplacesAnOlderOne) {
  const std::string capture = Capture();
  const std::string out = home.File("cast.dat");
  const CliRun wrong = Cli(Record(capture, out, "--meta cruise=SX2612 --meta ship=Aurora"));
  EXPECT_EQ(wrong.exitStatus, 2);
  EXPECT_NE(wrong.err.find("ship=Aurora"), std::string::npos) << wrong.err;
  EXPECT_NE(wrong.err.find("cruise, station, cast, investigators, affiliation, contact, experiment, note"),
            std::string::npos)
      << wrong.err;
  EXPECT_EQ(Cli(Record(capture, out, "--meta cruise")).exitStatus, 2);
  EXPECT_FALSE(std::filesystem::exists(out));

  const CliRun first = Cli(Record(capture, out, "--meta cruise=SX2612 --meta 'note=a=b, c' --meta station="));
  ASSERT_EQ(first.exitStatus, 0) << first.err;
  Companion companion;
  std::string error;
  ASSERT_EQ(ReadCompanion(home.File("cast.meta.json"), companion, error), 1) << error;
  Deployment expected;
  expected.Set("cruise", "SX2612");
  expected.Set("note", "a=b, c");
  EXPECT_EQ(companion.deployment, expected);
  EXPECT_EQ(companion.program, "Sondrix 7.1");
  EXPECT_EQ(companion.port, capture);
  EXPECT_EQ(companion.device, "");
  EXPECT_EQ(companion.serialNumber, "0400012D");
  EXPECT_EQ(companion.deviceFile, "nerit-9wl.dev");
  EXPECT_TRUE(companion.timeZeroUtcMs.has_value());
  EXPECT_FALSE(std::filesystem::exists(home.File("Sondrix.meta.json")));

  // Over it, without metadata: the new companion, with none.
  const CliRun second = Cli(Record(capture, out, "--force"));
  ASSERT_EQ(second.exitStatus, 0) << second.err;
  ASSERT_EQ(ReadCompanion(home.File("cast.meta.json"), companion, error), 1) << error;
  EXPECT_TRUE(companion.deployment.Empty());

  // A companion that cannot be written (its name is a folder) does not
  // stop the run; the run says so, and no older companion stays.
  std::filesystem::create_directory(home.File("Sondrix.meta.json"));
  const CliRun third = Cli(Record(capture, out, "--force"));
  EXPECT_EQ(third.exitStatus, 0) << third.err;
  EXPECT_NE(third.err.find("Sondrix.meta.json could not be written"), std::string::npos) << third.err;
  EXPECT_EQ(DataFileSampleLines(out).size(), 250u);
  EXPECT_FALSE(std::filesystem::exists(home.File("cast.meta.json")));
  EXPECT_TRUE(std::filesystem::is_directory(home.File("Sondrix.meta.json")));
}

// A device file, a capture or a --meta value whose name or text is no UTF-8
// (a file from a computer set to Latin-1) is recorded and its companion
// written with those bytes escaped ("\xNN"), read back exactly; a link
// planted as the companion's temporary is replaced, never written through.
TEST_F(RecordCli, NamesAndValuesThatAreNoUtf8AreRecordedFaithfully) {
  const std::string device = home.File("m\xe8tre.dev");
  std::filesystem::copy_file(kDevice, device);
  const std::string capture = home.File("cap\xff.raw");
  std::filesystem::rename(Capture(), capture);
  const std::string victim = test::WriteTextFile(home.File("victim.txt"), "keep\n");
  ASSERT_EQ(::symlink(victim.c_str(), home.File("Sondrix.meta.json.new").c_str()), 0);
  const std::string out = home.File("cast.dat");
  const CliRun run = Cli("record --device " + Quoted(device) + " --port " + Quoted(capture) + " --out " + Quoted(out) +
                         " --meta " + Quoted("note=caf\xe9 \\xe9"));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(DataFileSampleLines(out).size(), 250u);
  EXPECT_FALSE(std::filesystem::exists(home.File("Sondrix.tmp")));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(home.File("Sondrix.meta.json.new"))));
  EXPECT_EQ(test::ReadTextFile(victim).value_or(""), "keep\n");
  const std::string text = test::ReadTextFile(home.File("cast.meta.json")).value_or("");
  EXPECT_NE(text.find(R"("device_file": "m\\xe8tre.dev")"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("note": "caf\\xe9 \\x5cxe9")"), std::string::npos) << text;
  Companion companion;
  std::string error;
  ASSERT_EQ(ReadCompanion(home.File("cast.meta.json"), companion, error), 1) << error;
  EXPECT_EQ(companion.deviceFile, "m\xe8tre.dev");
  EXPECT_EQ(companion.port, capture);
  EXPECT_EQ(*companion.deployment.Find("note"), "caf\xe9 \\xe9");
}

// A recording that cannot be created says why, in the system's words.
TEST_F(RecordCli, ARecordingThatCannotBeCreatedSaysWhy) {
  const CliRun run = Cli(Record(Capture(), home.File("no such folder/cast.dat")));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("Can't open file " + home.File("no such folder/Sondrix.tmp") + ": No such file or directory"),
            std::string::npos)
      << run.err;
}

TEST_F(RecordCli, SerialNumberMismatchIsAnErrorUnlessIgnored) {
  const std::string capture = Capture(0x04000999);
  const std::string out = home.File("other.dat");
  const CliRun refused = Cli(Record(capture, out));
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_NE(refused.err.find("Serial numbers do not match"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("04000999"), std::string::npos) << refused.err;
  EXPECT_FALSE(std::filesystem::exists(out));

  const CliRun ignored = Cli(Record(capture, out, "--ignore-serial"));
  EXPECT_EQ(ignored.exitStatus, 0) << ignored.err;
  EXPECT_EQ(DataFileSampleLines(out).size(), 250u);
}

TEST_F(RecordCli, LineCountAndBinSize) {
  const std::string capture = Capture();
  const CliRun some = Cli(Record(capture, home.File("some.dat"), "--lines 25"));
  EXPECT_EQ(some.exitStatus, 0) << some.err;
  EXPECT_EQ(DataFileSampleLines(home.File("some.dat")).size(), 25u);

  const CliRun binned = Cli(Record(capture, home.File("binned.dat"), "--bin 4"));
  EXPECT_EQ(binned.exitStatus, 0) << binned.err;
  EXPECT_EQ(DataFileSampleLines(home.File("binned.dat")).size(), 62u);
  EXPECT_NE(test::ReadTextFile(home.File("binned.dat")).value_or("").find("4\t\t\t; acquisition binsize\n"),
            std::string::npos);
  const CliRun info = Cli("info " + Quoted(home.File("binned.dat")));
  EXPECT_NE(info.out.find("Bin size: 4\n"), std::string::npos) << info.out;
  const CliRun replay = Cli("replay " + Quoted(home.File("binned.dat")) + " --bin 2");
  EXPECT_EQ(replay.exitStatus, 0) << replay.err;
  EXPECT_EQ(Lines(replay.out).size(), 31u);
}

TEST_F(RecordCli, WriteErrorEndsTheRunAndKeepsWhatWasWritten) {
  const std::string capture = Capture(test::kNeritSerial, 200);
  const std::string out = home.File("full.dat");
  // Files of this process may not grow beyond 16 blocks.
  const CliRun record = Cli(Record(capture, out), "ulimit -f 16; exec ");
  EXPECT_EQ(record.exitStatus, 1);
  EXPECT_NE(record.err.find("Write failed"), std::string::npos) << record.err;
  ASSERT_TRUE(std::filesystem::exists(out));
  EXPECT_FALSE(std::filesystem::exists(home.File("Sondrix.tmp")));

  // What was written replays whole: a line cut short by the limit is cut
  // off the file, and the summary counts the lines the file holds.
  const CliRun replay = Cli("replay " + Quoted(out));
  EXPECT_EQ(replay.exitStatus, 0) << replay.err;
  const auto replayed = Lines(replay.out);
  const auto stored = DataFileSampleLines(out);
  EXPECT_GT(replayed.size(), 10u);
  ASSERT_EQ(replayed.size(), stored.size());
  for (std::size_t i = 0; i < replayed.size(); ++i) EXPECT_EQ(replayed[i], stored[i]) << i;
  EXPECT_EQ(record.out.rfind(std::to_string(stored.size()) + " lines recorded into ", 0), 0u) << record.out;
  EXPECT_EQ(record.err.find("Can't close file"), std::string::npos) << record.err;
}

// A link planted as the scratch recording is never followed: the run would
// write the whole recording wherever it points and "save" the link.
TEST_F(RecordCli, ALinkPlantedAsTheScratchRecordingIsRefused) {
  const std::string capture = Capture();
  std::filesystem::create_directories(home.File("runs"));
  std::filesystem::create_directories(home.File("elsewhere"));
  const std::string target = home.File("elsewhere/stolen.dat");
  const std::string scratch = home.File("runs/Sondrix.tmp");
  ASSERT_EQ(::symlink(target.c_str(), scratch.c_str()), 0);
  const CliRun dangling = Cli(Record(capture, home.File("runs/out.dat")));
  EXPECT_EQ(dangling.exitStatus, 1);
  EXPECT_NE(dangling.err.find("is a symbolic link"), std::string::npos) << dangling.err;
  EXPECT_EQ(dangling.err.find("kept as"), std::string::npos) << dangling.err;
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_FALSE(std::filesystem::exists(home.File("runs/out.dat")));
  EXPECT_TRUE(std::filesystem::is_symlink(scratch));

  // Pointing at a file that holds something: it is no recording to recover.
  test::WriteTextFile(target, "somebody's file\n");
  const CliRun linked = Cli(Record(capture, home.File("runs/out.dat")));
  EXPECT_EQ(linked.exitStatus, 1);
  EXPECT_EQ(linked.err.find("kept as"), std::string::npos) << linked.err;
  EXPECT_EQ(test::ReadTextFile(target), "somebody's file\n");
  EXPECT_TRUE(std::filesystem::is_symlink(scratch));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.File("runs")),
                          std::filesystem::directory_iterator()),
            1);
}

// A name the file system cannot take is refused before the run, and told
// as too long (not as something that is not a regular file).
TEST_F(RecordCli, AnOutputNameTooLongIsRefusedBeforeTheRun) {
  const CliRun record = Cli(Record(Capture(), home.File(std::string(252, 'n') + ".dat")));
  EXPECT_EQ(record.exitStatus, 1);
  EXPECT_NE(record.err.find("too long"), std::string::npos) << record.err;
  EXPECT_NE(record.err.find("255"), std::string::npos) << record.err;
  EXPECT_FALSE(std::filesystem::exists(home.File("Sondrix.tmp")));
}

// Two runs recording into one directory share its scratch recording: the
// second must not truncate the file the first is still writing.
TEST_F(RecordCli, ARunLeavesTheRecordingOfARunningOneAlone) {
  const std::string capture = Capture();
  const std::string scratch = test::WriteTextFile(home.File("Sondrix.tmp"), "a running recording\n");
  const int held = ::open(scratch.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  const CliRun refused = Cli(Record(capture, home.File("second.dat")));
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_NE(refused.err.find("another run"), std::string::npos) << refused.err;
  EXPECT_EQ(test::ReadTextFile(scratch).value_or(""), "a running recording\n");
  EXPECT_FALSE(std::filesystem::exists(home.File("second.dat")));
  ::close(held);

  // Once no run holds it, it is a recording left by a run that died: kept.
  const CliRun recorded = Cli(Record(capture, home.File("second.dat")));
  EXPECT_EQ(recorded.exitStatus, 0) << recorded.err;
  EXPECT_EQ(DataFileSampleLines(home.File("second.dat")).size(), 250u);
  EXPECT_FALSE(std::filesystem::exists(scratch));
  EXPECT_NE(recorded.err.find("kept as " + home.File("Sondrix-recovered-")), std::string::npos)
      << recorded.err;
}

// A recording left behind by a run that died (killed, power cut) is never
// overwritten by the next run: it is kept beside it and the run says where.
TEST_F(RecordCli, ARecordingLeftBehindIsKeptAndTheRunSaysWhere) {
  const std::string capture = Capture();
  test::WriteTextFile(home.File("Sondrix.tmp"), "Sondrix ver 7.1\tlast night's run\n");
  const CliRun run = Cli(Record(capture, home.File("today.dat")));
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  const std::string said = "sondrix-cli record: a recording left behind by an earlier run is kept as ";
  const std::size_t at = run.err.find(said);
  ASSERT_NE(at, std::string::npos) << run.err;
  const std::string kept = run.err.substr(at + said.size(), run.err.find('\n', at) - at - said.size());
  EXPECT_EQ(kept.rfind(home.File("Sondrix-recovered-"), 0), 0u) << kept;
  EXPECT_EQ(test::ReadTextFile(kept).value_or(""), "Sondrix ver 7.1\tlast night's run\n");
  EXPECT_EQ(DataFileSampleLines(home.File("today.dat")).size(), 250u);

  // An empty one holds nothing to keep.
  test::WriteTextFile(home.File("Sondrix.tmp"), "");
  const CliRun again = Cli(Record(capture, home.File("again.dat")));
  EXPECT_EQ(again.exitStatus, 0) << again.err;
  EXPECT_EQ(again.err, "");
}

// Output, port and arguments: refusals that must not depend on --force.
TEST_F(RecordCli, OutputIsOnlyEverARegularFile) {
  const std::string capture = Capture();
  const std::string fifo = home.File("pipe.dat");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const CliRun refused = Cli(Record(capture, fifo, "--force"));
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_NE(refused.err.find("is not a regular file"), std::string::npos) << refused.err;
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  std::filesystem::create_directory(home.File("folder.dat"));
  const CliRun folder = Cli(Record(capture, home.File("folder.dat"), "--force"));
  EXPECT_EQ(folder.exitStatus, 1);
  EXPECT_TRUE(std::filesystem::is_directory(home.File("folder.dat")));
  EXPECT_FALSE(std::filesystem::exists(home.File("Sondrix.tmp")));
}

TEST_F(RecordCli, APortOtherThanCOMkMustBeACaptureFile) {
  // A pipe without a writer: refused at once (time-limited, should it wait).
  const std::string fifo = home.File("pipe.raw");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const CliRun refused = Cli(Record(fifo, home.File("x.dat")), "timeout 30 ");
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_NE(refused.err.find(fifo + " is not a regular file"), std::string::npos) << refused.err;
  const CliRun folder = Cli(Record(home.path(), home.File("x.dat")), "timeout 30 ");
  EXPECT_EQ(folder.exitStatus, 1);
  EXPECT_FALSE(std::filesystem::exists(home.File("x.dat")));
}

// A number that is not finite in a device file would make every value of
// the run not a number.
TEST_F(RecordCli, ADeviceFileWithANumberThatIsNotFiniteIsRefused) {
  std::string text = test::ReadTextFile(kDevice).value_or("");
  const std::size_t offset = text.find("0.04120");
  ASSERT_NE(offset, std::string::npos);
  text.replace(offset, 7, "nan");
  const std::string device = test::WriteTextFile(home.File("nan.dev"), text);
  const CliRun run = Cli("record --device " + Quoted(device) + " --port " + Quoted(Capture()) +
                         " --out " + Quoted(home.File("x.dat")));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("failed while reading the trace information"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(home.File("x.dat")));
}

TEST_F(RecordCli, DamagedNumbersAreLostLinesThatNeitherReplayNorCountAsGood) {
  const std::string out = home.File("run.dat");
  ASSERT_EQ(Cli(Record(Capture(), out)).exitStatus, 0);
  std::string text = test::ReadTextFile(out).value_or("");
  const auto stored = DataFileSampleLines(out);
  ASSERT_EQ(stored.size(), 250u);
  // A value that is not a number, a time stamp with a fraction, and a last
  // line cut in the middle of a number.
  auto damage = [&](const std::string& line, const std::string& from, const std::string& to) {
    std::string changed = line;
    changed.replace(changed.find(from), from.size(), to);
    text.replace(text.find(line + "\n"), line.size(), changed);
  };
  damage(stored[5], "\t", "\tnan\t");
  damage(stored[9], "\t", ".5\t");
  text.pop_back();
  text.resize(text.size() - 3);
  test::WriteTextFile(out, text);

  const CliRun info = Cli("info " + Quoted(out));
  EXPECT_EQ(info.exitStatus, 0) << info.err;
  EXPECT_NE(info.out.find("Sample lines: 247 (and 3 damaged)\n"), std::string::npos) << info.out;
  const CliRun replay = Cli("replay " + Quoted(out));
  EXPECT_EQ(replay.exitStatus, 0) << replay.err;
  std::vector<std::string> expected = stored;
  expected.pop_back();
  expected.erase(expected.begin() + 9);
  expected.erase(expected.begin() + 5);
  EXPECT_EQ(Lines(replay.out), expected);
}

TEST_F(RecordCli, BinSizesAreBoundedAndARunTooShortForOneBinSaysSo) {
  const std::string capture = Capture();
  const CliRun shortRun = Cli(Record(capture, home.File("short.dat"), "--bin 3000"));
  EXPECT_EQ(shortRun.exitStatus, 0) << shortRun.err;
  EXPECT_NE(shortRun.err.find("no complete bin of 3000 samples was recorded"), std::string::npos)
      << shortRun.err;
  EXPECT_TRUE(DataFileSampleLines(home.File("short.dat")).empty());

  const CliRun tooLarge = Cli(Record(capture, home.File("x.dat"), "--bin 1000001"));
  EXPECT_EQ(tooLarge.exitStatus, 2);
  EXPECT_NE(tooLarge.err.find("--bin wants a whole number from 1 to 1000000"), std::string::npos)
      << tooLarge.err;

  ASSERT_EQ(Cli(Record(capture, home.File("run.dat"))).exitStatus, 0);
  const CliRun hugeReplay = Cli("replay " + Quoted(home.File("run.dat")) + " --bin 2147483647");
  EXPECT_EQ(hugeReplay.exitStatus, 2);
  EXPECT_NE(hugeReplay.err.find("from 1 to 1000000"), std::string::npos) << hugeReplay.err;
  EXPECT_EQ(hugeReplay.err.find("Internal error"), std::string::npos) << hugeReplay.err;
  const CliRun longBin = Cli("replay " + Quoted(home.File("run.dat")) + " --bin 1000");
  EXPECT_EQ(longBin.exitStatus, 0) << longBin.err;
  EXPECT_EQ(longBin.out, "");
  EXPECT_NE(longBin.err.find("no complete bin of 1000 lines was replayed"), std::string::npos)
      << longBin.err;
}

TEST_F(RecordCli, WrongUsage) {
  EXPECT_EQ(Cli("record --device " + Quoted(kDevice)).exitStatus, 2);
  EXPECT_EQ(Cli(Record(Capture(), home.File("x.dat"), "--bin 0")).exitStatus, 2);
  EXPECT_EQ(Cli(Record(Capture(), home.File("x.dat"), "--lines x")).exitStatus, 2);
  EXPECT_EQ(Cli(Record(Capture(), home.File("x.dat"), "--what")).exitStatus, 2);
  EXPECT_EQ(Cli("replay").exitStatus, 2);
  EXPECT_EQ(Cli("info").exitStatus, 2);
  EXPECT_EQ(Cli("record --help").exitStatus, 0);

  const CliRun noDevice = Cli("record --device " + Quoted(home.File("none.dev")) + " --port " +
                              Quoted(Capture()) + " --out " + Quoted(home.File("x.dat")));
  EXPECT_EQ(noDevice.exitStatus, 1);
  EXPECT_NE(noDevice.err.find("Can't open file"), std::string::npos);
  const CliRun noCapture = Cli(Record(home.File("none.raw"), home.File("x.dat")));
  EXPECT_EQ(noCapture.exitStatus, 1);
  EXPECT_NE(noCapture.err.find("Can't open file"), std::string::npos) << noCapture.err;
  EXPECT_FALSE(std::filesystem::exists(home.File("x.dat")));
  const CliRun noFile = Cli("replay " + Quoted(home.File("none.dat")));
  EXPECT_EQ(noFile.exitStatus, 1);
}

// Live runs on the simulator's pseudo-terminal, mapped to COM1.
class LiveRecordCli : public RecordCli {
 protected:
  // Starts the simulator and maps COM1 to its terminal.
  bool StartSim(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"--device", kDevice, "--rate", "60", "--quiet"};
    all.insert(all.end(), args.begin(), args.end());
    const std::string path = test::StartPtySim(sim, all, home);
    if (path.empty()) return false;
    WriteSettings("[Ports]\nCOM1=" + path + "\n");
    return true;
  }

  std::unique_ptr<test::Background> sim;
};

TEST_F(LiveRecordCli, SilenceLongerThanTheTimeOutEndsTheRunWithItsMessage) {
  // Ten packets, then a pause far longer than 4 s.
  ASSERT_TRUE(StartSim({"--pause", "10:60"}));
  const std::string out = home.File("live.dat");
  const auto start = std::chrono::steady_clock::now();
  const CliRun record = Cli("record --device " + Quoted(kDevice) + " --port COM1 --out " + Quoted(out));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(record.exitStatus, 1);
  EXPECT_NE(record.err.find("Connection timed out"), std::string::npos) << record.err;
  EXPECT_GE(seconds, 4.0);
  EXPECT_LT(seconds, 30.0);
  // The packets before the pause are kept.
  EXPECT_GE(DataFileSampleLines(out).size(), 10u);
}

TEST_F(LiveRecordCli, TheLastPacketOfALiveRunIsRecordedAsACaptureRecordsIt) {
  // Seven packets: the reset synchronises on the first, and all seven are
  // recorded, the last included.
  ASSERT_TRUE(StartSim({"--packets", "7", "--linger", "30"}));
  const std::string out = home.File("live.dat");
  const CliRun record =
      Cli("record --device " + Quoted(kDevice) + " --port COM1 --out " + Quoted(out) + " --lines 70");
  EXPECT_EQ(record.exitStatus, 0) << record.err;
  EXPECT_EQ(DataFileSampleLines(out).size(), 70u);
}

TEST_F(LiveRecordCli, AVanishedDeviceEndsTheRunAtOnceAndKeepsTheRecording) {
  // Five packets, then the instrument's end of the line closes.
  ASSERT_TRUE(StartSim({"--packets", "5", "--linger", "0"}));
  const std::string out = home.File("live.dat");
  const auto start = std::chrono::steady_clock::now();
  const CliRun record = Cli("record --device " + Quoted(kDevice) + " --port COM1 --out " + Quoted(out));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(record.exitStatus, 1);
  EXPECT_NE(record.err.find("General I/O error"), std::string::npos) << record.err;
  EXPECT_EQ(record.err.find("timed out"), std::string::npos) << record.err;
  // Five packets, and no wait for the 4 s time-out. Those that came before
  // the recorder opened the line were flushed (how many depends on who was
  // quicker); never more than were sent.
  EXPECT_LT(seconds, 3.5);
  EXPECT_GE(DataFileSampleLines(out).size(), 10u);
  EXPECT_LE(DataFileSampleLines(out).size(), 50u);
}

// A stop by the user (Ctrl+C, a polite kill, a closed terminal) ends the
// run normally and saves it.
class StopSignalRecordCli : public LiveRecordCli, public ::testing::WithParamInterface<int> {};

TEST_P(StopSignalRecordCli, IsANormalStopAndTheRunIsSaved) {
  ASSERT_TRUE(StartSim({}));
  const std::string out = home.File("live.dat");
  test::Background record(kCli, {"record", "--device", kDevice, "--port", "COM1", "--out", out},
                    home.File("rec.out"), home.File("rec.err"));
  ASSERT_TRUE(record.started());
  // Wait for lines to reach the scratch file (flushed at least once a second).
  for (int i = 0; i < 500 && DataFileSampleLines(home.File("Sondrix.tmp")).size() < 20; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(DataFileSampleLines(home.File("Sondrix.tmp")).size(), 20u);
  record.Signal(GetParam());
  EXPECT_EQ(record.Wait(20.0), 0) << test::ReadTextFile(home.File("rec.err")).value_or("");
  EXPECT_EQ(test::ReadTextFile(home.File("rec.err")).value_or("?"), "");
  EXPECT_GE(DataFileSampleLines(out).size(), 20u);
  EXPECT_FALSE(std::filesystem::exists(home.File("Sondrix.tmp")));
}

INSTANTIATE_TEST_SUITE_P(CtrlCKillAndHangUp, StopSignalRecordCli, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGINT    ? "SIGINT"
                                              : info.param == SIGTERM ? "SIGTERM"
                                                                      : "SIGHUP");
                         });

// Packets that have arrived whole when the user stops are recorded before
// the run closes. The test plays the meter on a pseudo-terminal of its own;
// the recorder is frozen while the last two packets arrive and the stop is
// sent, so that they are still waiting when it sees the stop.
TEST_F(RecordCli, PacketsThatArrivedBeforeTheStopAreRecorded) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  WriteSettings(std::string("[Ports]\nCOM1=") + ::ptsname(master) + "\n");
  const std::string out = home.File("live.dat");
  test::Background record(kCli, {"record", "--device", kDevice, "--port", "COM1", "--out", out},
                    home.File("rec.out"), home.File("rec.err"));
  ASSERT_TRUE(record.started());

  std::uint16_t counter = 0;
  auto send = [&](double signal) {
    const auto packet = test::Packet(kNerit, 10, test::kNeritSerial, counter, signal, 0.6, TempToCount(15.0));
    counter = static_cast<std::uint16_t>(counter + 10);
    return ::write(master, packet.data(), packet.size()) == static_cast<ssize_t>(packet.size());
  };
  // Packets until the run records (its scratch file appears after the reset).
  for (int i = 0; i < 200 && !std::filesystem::exists(home.File("Sondrix.tmp")); ++i) {
    ASSERT_TRUE(send(0.2));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(std::filesystem::exists(home.File("Sondrix.tmp")));
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(send(0.2));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  record.Signal(SIGSTOP);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(send(0.4));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  record.Signal(SIGINT);
  record.Signal(SIGCONT);
  EXPECT_EQ(record.Wait(20.0), 0) << test::ReadTextFile(home.File("rec.err")).value_or("");
  ::close(master);

  // The last three packets (another signal, so other values) are all there:
  // a packet's samples are offered as soon as its last byte has arrived.
  const auto lines = DataFileSampleLines(out);
  ASSERT_GE(lines.size(), 30u);
  const auto firstValue = [](const std::string& line) {
    const std::size_t tab = line.find('\t');
    return line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
  };
  const std::string last = firstValue(lines.back());
  EXPECT_NE(firstValue(lines.front()), last);
  std::size_t stopped = 0;
  for (const std::string& line : lines) stopped += firstValue(line) == last ? 1 : 0;
  EXPECT_EQ(stopped, 30u);
  EXPECT_LE(stopped, 30u);
}

}  // namespace
}  // namespace sondrix
