// Running the built tools from the command-line tests: a command line
// through the shell with its standard output and error caught in files.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/fixtures.h"

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

}  // namespace sondrix::test
