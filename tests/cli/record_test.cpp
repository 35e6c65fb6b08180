// The built sondrix-cli end to end: a capture with bad packets recorded into
// a data file, the file replayed and described; the ways a recording ends
// (end of capture, line count, time-out, Ctrl+C, a write error); refusals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "meter/meter_fixtures.h"
#include "support/fixtures.h"

extern char** environ;

namespace sondrix {
namespace {

const std::string kCli = SONDRIX_TOOLS_DIR "/cli/sondrix-cli";
const std::string kSim = SONDRIX_TOOLS_DIR "/sim/sondrix-sim";
const std::string kDevice = SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev";
constexpr int kNerit = 18;

struct CliRun {
  int exitStatus = -1;
  std::string out;
  std::string err;
};

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The sample lines of a data file: what follows its bin size line.
std::vector<std::string> SampleLines(const std::string& path) {
  std::vector<std::string> samples;
  bool after = false;
  for (const std::string& line : Lines(test::ReadTextFile(path).value_or(""))) {
    if (after) samples.push_back(line);
    if (line.find("; acquisition binsize") != std::string::npos) after = true;
  }
  return samples;
}

// A process started in the background with its output going to files.
class Background {
 public:
  Background(const std::string& program, const std::vector<std::string>& args, const std::string& out,
             const std::string& err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Background() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  bool started() const { return pid_ > 0; }
  void Signal(int signal) const { kill(pid_, signal); }
  // The exit status, or -1 when it did not end within `seconds`.
  int Wait(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      int raw = 0;
      if (waitpid(pid_, &raw, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
};

class RecordCli : public test::HeadlessTest {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(kCli)) << kCli << " is not built"; }

  CliRun Cli(const std::string& arguments, const std::string& prefix = "") {
    const std::string out = home.File("cli.out");
    const std::string err = home.File("cli.err");
    const std::string command = prefix + Quoted(kCli) + " " + arguments + " >" + Quoted(out) + " 2>" + Quoted(err);
    const int raw = std::system(command.c_str());
    CliRun run;
    run.exitStatus = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = test::ReadTextFile(out).value_or("");
    run.err = test::ReadTextFile(err).value_or("");
    return run;
  }

  // 30 packets of the example nine-wavelength meter: four with a bad
  // checksum, one with a wrong length, noise bytes in front of some. The
  // first packet is the one the reset synchronises on: 24 packets of ten
  // samples each are recorded.
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

  std::string Record(const std::string& capture, const std::string& out, const std::string& more = "") {
    return "record --device " + Quoted(kDevice) + " --port " + Quoted(capture) + " --out " + Quoted(out) +
           (more.empty() ? "" : " " + more);
  }
};

TEST_F(RecordCli, CaptureWithBadPacketsRecordsReplaysAndDescribesItself) {
  const std::string capture = Capture();
  const std::string out = home.File("run.dat");
  const CliRun record = Cli(Record(capture, out));
  ASSERT_EQ(record.exitStatus, 0) << record.err;
  EXPECT_EQ(record.err, "");
  EXPECT_FALSE(std::filesystem::exists(home.File("Sondrix.tmp")));

  const auto samples = SampleLines(out);
  EXPECT_EQ(samples.size(), 240u);
  const std::string text = test::ReadTextFile(out).value_or("");
  EXPECT_EQ(text.rfind("Sondrix ver 7.1\t", 0), 0u);
  EXPECT_NE(text.find("Nerit nine-wavelength meter 301\n0400012D"), std::string::npos);
  // The counter wraps during the run; the time axis does not.
  EXPECT_EQ(samples.front().substr(0, 2), "0\t");
  EXPECT_EQ(samples.back().substr(0, 5), "2890\t");

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
  EXPECT_NE(info.out.find("Sample lines: 240\n"), std::string::npos);
  EXPECT_NE(info.out.find("Traces: 18\n"), std::string::npos);
  EXPECT_NE(info.out.find("a412"), std::string::npos);
  EXPECT_NE(info.out.find("676.0 nm"), std::string::npos);
  EXPECT_NE(info.out.find("LtRed"), std::string::npos);
  EXPECT_NE(info.out.find("Date: "), std::string::npos);
}

// The build's capture of the hyperspectral meter: 300 packets, bad
// checksums every 50 and bad lengths every 70; the reset takes the first.
TEST_F(RecordCli, HyperspectralCaptureCountsItsLostSamplesExactly) {
  const std::string capture = SONDRIX_TOOLS_DIR "/../examples/captures/benth-100wl.raw";
  ASSERT_TRUE(std::filesystem::exists(capture)) << capture;
  const std::string device = SONDRIX_EXAMPLES_DIR "/benth-100wl.dev";
  const std::string out = home.File("benth.dat");
  const CliRun record = Cli("record --device " + Quoted(device) + " --port " + Quoted(capture) +
                            " --out " + Quoted(out));
  ASSERT_EQ(record.exitStatus, 0) << record.err;
  // The column headings follow the bin size line.
  auto samples = SampleLines(out);
  ASSERT_FALSE(samples.empty());
  EXPECT_EQ(samples.front().rfind("\tc400.0\tc403.3\t", 0), 0u);
  samples.erase(samples.begin());
  EXPECT_EQ(samples.size(), 299u - 6u - 4u);

  const CliRun replay = Cli("replay " + Quoted(out));
  ASSERT_EQ(replay.exitStatus, 0) << replay.err;
  EXPECT_EQ(Lines(replay.out), samples);

  const CliRun info = Cli("info " + Quoted(out));
  ASSERT_EQ(info.exitStatus, 0) << info.err;
  EXPECT_NE(info.out.find("Device type: 83 (hyperspectral"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Sample lines: 289\n"), std::string::npos) << info.out;
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
  EXPECT_EQ(SampleLines(out).size(), 240u);
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
  EXPECT_EQ(SampleLines(out).size(), 240u);
}

TEST_F(RecordCli, LineCountAndBinSize) {
  const std::string capture = Capture();
  const CliRun some = Cli(Record(capture, home.File("some.dat"), "--lines 25"));
  EXPECT_EQ(some.exitStatus, 0) << some.err;
  EXPECT_EQ(SampleLines(home.File("some.dat")).size(), 25u);

  const CliRun binned = Cli(Record(capture, home.File("binned.dat"), "--bin 4"));
  EXPECT_EQ(binned.exitStatus, 0) << binned.err;
  EXPECT_EQ(SampleLines(home.File("binned.dat")).size(), 60u);
  EXPECT_NE(test::ReadTextFile(home.File("binned.dat")).value_or("").find("4\t\t\t; acquisition binsize\n"),
            std::string::npos);
  const CliRun info = Cli("info " + Quoted(home.File("binned.dat")));
  EXPECT_NE(info.out.find("Bin size: 4\n"), std::string::npos) << info.out;
  const CliRun replay = Cli("replay " + Quoted(home.File("binned.dat")) + " --bin 2");
  EXPECT_EQ(replay.exitStatus, 0) << replay.err;
  EXPECT_EQ(Lines(replay.out).size(), 30u);
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

  // What was written replays; a line cut short by the limit is left out.
  const CliRun replay = Cli("replay " + Quoted(out));
  EXPECT_EQ(replay.exitStatus, 0) << replay.err;
  const auto replayed = Lines(replay.out);
  const auto stored = SampleLines(out);
  EXPECT_GT(replayed.size(), 10u);
  ASSERT_LE(replayed.size(), stored.size());
  for (std::size_t i = 0; i < replayed.size(); ++i) EXPECT_EQ(replayed[i], stored[i]) << i;
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

  // A scratch file that no run holds (left by a crash) is simply reused.
  const CliRun recorded = Cli(Record(capture, home.File("second.dat")));
  EXPECT_EQ(recorded.exitStatus, 0) << recorded.err;
  EXPECT_EQ(SampleLines(home.File("second.dat")).size(), 240u);
  EXPECT_FALSE(std::filesystem::exists(scratch));
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
    if (!std::filesystem::exists(kSim)) return false;
    std::vector<std::string> all = {"--device", kDevice, "--pty", "--rate", "60", "--quiet"};
    all.insert(all.end(), args.begin(), args.end());
    sim = std::make_unique<Background>(kSim, all, home.File("sim.out"), home.File("sim.err"));
    if (!sim->started()) return false;
    for (int i = 0; i < 500; ++i) {
      const std::string path = test::ReadTextFile(home.File("sim.out")).value_or("");
      if (path.find('\n') != std::string::npos) {
        WriteSettings("[Ports]\nCOM1=" + path.substr(0, path.find('\n')) + "\n");
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  std::unique_ptr<Background> sim;
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
  EXPECT_GE(SampleLines(out).size(), 10u);
}

TEST_F(LiveRecordCli, CtrlCIsANormalStopAndTheRunIsSaved) {
  ASSERT_TRUE(StartSim({}));
  const std::string out = home.File("live.dat");
  Background record(kCli, {"record", "--device", kDevice, "--port", "COM1", "--out", out},
                    home.File("rec.out"), home.File("rec.err"));
  ASSERT_TRUE(record.started());
  // Wait for lines to reach the scratch file (flushed at least once a second).
  for (int i = 0; i < 500 && SampleLines(home.File("Sondrix.tmp")).size() < 20; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(SampleLines(home.File("Sondrix.tmp")).size(), 20u);
  record.Signal(SIGINT);
  EXPECT_EQ(record.Wait(20.0), 0) << test::ReadTextFile(home.File("rec.err")).value_or("");
  EXPECT_EQ(test::ReadTextFile(home.File("rec.err")).value_or("?"), "");
  EXPECT_GE(SampleLines(out).size(), 20u);
  EXPECT_FALSE(std::filesystem::exists(home.File("Sondrix.tmp")));
}

}  // namespace
}  // namespace sondrix
