// SPDX-License-Identifier: GPL-3.0-or-later
// Running the built tools from the command-line tests: a command line
// through the shell with its standard output and error caught in files.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/fixtures.h"
#include "build_paths.h"

extern char** environ;

namespace sondrix::test {

inline const std::string kCli = SONDRIX_TOOLS_DIR "/cli/sondrix-cli";
inline const std::string kSim = SONDRIX_TOOLS_DIR "/sim/sondrix-sim";

struct CliRun {
  int exitStatus = -1;
  std::string out;
  std::string err;
};

// `text` quoted for the shell.
inline std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
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

// The sample lines of a data file: what follows its bin size line, without
// the column headings a hyperspectral file has there (a line that starts
// with a tab).
inline std::vector<std::string> DataFileSampleLines(const std::string& path) {
  std::vector<std::string> samples;
  bool after = false;
  bool first = false;
  for (const std::string& line : Lines(ReadTextFile(path).value_or(""))) {
    if (after && !(first && line.starts_with('\t'))) samples.push_back(line);
    first = false;
    if (!after && line.find("; acquisition binsize") != std::string::npos) after = first = true;
  }
  return samples;
}

// Runs `prefix` `program` `arguments` through the shell; standard output
// and error go through files in `dir`.
inline CliRun RunTool(const std::string& program, const std::string& arguments, const TempDir& dir,
                      const std::string& prefix = "") {
  const std::string out = dir.File("tool.out");
  const std::string err = dir.File("tool.err");
  const std::string command = prefix + Quoted(program) + " " + arguments + " >" + Quoted(out) + " 2>" + Quoted(err);
  const int raw = std::system(command.c_str());
  CliRun run;
  run.exitStatus = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = ReadTextFile(out).value_or("");
  run.err = ReadTextFile(err).value_or("");
  return run;
}

// The simulated `device` (sondrix-sim `simulator` options, written to
// `raw`) recorded into `dat` by sondrix-cli record with the first sample at
// 2026-12-10T04:00:00Z and `record` options; the failing tool's run, else
// the recorder's.
inline CliRun SimulatedRecording(const std::string& device, const std::string& simulator, const std::string& raw,
                                 const std::string& dat, const std::string& record, const TempDir& dir) {
  const CliRun sim = RunTool(kSim, "--device " + Quoted(device) + " --utc-start 2026-12-10T04:00:00Z --quiet " +
                                       simulator + " --out " + Quoted(raw),
                             dir);
  if (sim.exitStatus != 0) return sim;
  return RunTool(kCli, "record --device " + Quoted(device) + " --port " + Quoted(raw) + " --out " + Quoted(dat) +
                           " --start-utc 2026-12-10T04:00:00.000Z " + record,
                 dir);
}

// Exit statuses of RunPython that stand for a reader this machine lacks.
inline constexpr int kPythonModuleMissing = 3;
inline constexpr int kPythonMissing = 127;

// Runs `body` in Debian's python3 (the program another reader of the files
// would use) as script NAME.py in `dir`, after importing `modules`
// ("xarray", "numpy, xarray"); exit status kPythonModuleMissing when one
// of them is not installed, kPythonMissing without python3.
inline CliRun RunPython(const std::string& modules, const std::string& body, const std::string& arguments,
                        const TempDir& dir, const std::string& name = "read") {
  const std::string script = dir.File(name + ".py");
  WriteTextFile(script, "import sys\ntry:\n    import " + modules +
                            "\nexcept ImportError as missing:\n    print(missing); sys.exit(" +
                            std::to_string(kPythonModuleMissing) + ")\n" + body);
  return RunTool("/usr/bin/python3", Quoted(script) + " " + arguments, dir);
}
// Whether a RunPython found no python3 or not the modules it needs.
inline bool PythonLacking(const CliRun& run) {
  return run.exitStatus == kPythonModuleMissing || run.exitStatus == kPythonMissing;
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

// A UDP port of the loopback free now.
inline int FreeUdpPort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// Starts sondrix-sim with `args` and "--pty"; the path of its pseudo-terminal
// (the first line it prints), or nothing when it did not start. Its output
// goes to NAME.out and NAME.err in `dir`.
inline std::string StartPtySim(std::unique_ptr<Background>& sim, std::vector<std::string> args, const TempDir& dir,
                               const std::string& name = "sim") {
  if (!std::filesystem::exists(kSim)) return "";
  args.push_back("--pty");
  sim = std::make_unique<Background>(kSim, args, dir.File(name + ".out"), dir.File(name + ".err"));
  if (!sim->started()) return "";
  for (int i = 0; i < 500; ++i) {
    const std::string path = ReadTextFile(dir.File(name + ".out")).value_or("");
    if (path.find('\n') != std::string::npos) return path.substr(0, path.find('\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return "";
}

}  // namespace sondrix::test
