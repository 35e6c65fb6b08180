// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the simulator tests: example device files, streams written by
// the simulator's own classes, and runs of the built tool.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/simulator.h"
#include "build_paths.h"

extern char** environ;

namespace sondrix::test {

inline const std::string kSimTool = SONDRIX_TOOLS_DIR "/sim/sondrix-sim";
inline const std::string kCaptureDir = SONDRIX_TOOLS_DIR "/../examples/captures";

inline std::string ExampleDevice(const std::string& name) {
  return std::string(SONDRIX_EXAMPLES_DIR) + "/" + name + ".dev";
}

// The four meter models' example files.
inline const std::vector<std::string> kMeterExamples = {"nerit-9wl", "pelag-3wl", "ameter",
                                                        "cmeter"};

inline sim::SimDevice LoadExample(const std::string& name) {
  sim::SimDevice device;
  std::string error;
  EXPECT_EQ(sim::LoadDevice(ExampleDevice(name), device, error), status::kOk) << error;
  return device;
}

// Writes `packets` packets of `sim` to `path`; returns the bytes.
inline std::vector<std::uint8_t> WriteStream(sim::Simulator& sim, long long packets,
                                             const std::string& path) {
  std::vector<std::uint8_t> bytes;
  for (long long i = 0; i < packets; ++i) {
    const sim::Emission& e = sim.Next();
    bytes.insert(bytes.end(), e.bytes.begin(), e.bytes.end());
  }
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ToolRun {
  int exitStatus = -1;
  std::string out;
  std::string err;
};

// A running sondrix-sim whose standard output comes through a pipe.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::string& errFile) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all = {kSimTool};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, kSimTool.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // The first line of standard output (waits up to `seconds`).
  std::string FirstLine(double seconds) {
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char c = 0;
      if (read(out_, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return line;
  }

  // Everything on standard output until the tool closes it.
  std::string ReadAll() {
    std::string all;
    char chunk[4096];
    for (;;) {
      const ssize_t got = read(out_, chunk, sizeof chunk);
      if (got > 0) {
        all.append(chunk, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        return all;
      }
    }
  }

  // Sends `signal` and waits for the exit; the exit status, or -1.
  int Stop(int signal) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    return Wait();
  }
  int Wait() {
    int raw = 0;
    if (waitpid(pid_, &raw, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

// Runs the tool to its end; standard output is collected, standard error
// goes through `errFile`.
inline ToolRun RunTool(const std::vector<std::string>& args, const std::string& errFile) {
  ToolRun run;
  Child child(args, errFile);
  if (!child.started()) return run;
  run.out = child.ReadAll();
  run.exitStatus = child.Wait();
  const auto bytes = ReadBytes(errFile);
  run.err.assign(bytes.begin(), bytes.end());
  return run;
}

}  // namespace sondrix::test
