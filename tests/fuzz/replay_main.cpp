// SPDX-License-Identifier: GPL-3.0-or-later
// The fuzz targets without libFuzzer: every file of the folders (or the
// files) named on the command line goes once through the target's
// LLVMFuzzerTestOneInput, as libFuzzer hands an input over (a buffer of its
// own, exactly the file's size). The normal build links each target with
// this driver and CTest runs it over the target's corpus, so that every
// build goes through every stored input: a target's checks end in a trap,
// and a crash or a failed check names the input that caused it.
//
//   build/tests/fuzz/nmea_fuzz_replay tests/fuzz/corpus/nmea_fuzz
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

// The input under way, for the signal handler.
char gCurrent[4096] = "";

void Write(const char* text) {
  const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

void OnFatalSignal(int signal) {
  Write("replay: the input ");
  Write(gCurrent);
  Write(" stopped the target with signal ");
  Write(strsignal(signal));
  Write("\n");
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

bool ReadFile(const std::filesystem::path& path, std::vector<char>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS-FOLDER-OR-FILE...\n", argv[0]);
    return 2;
  }
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  for (int sig : {SIGSEGV, SIGILL, SIGABRT, SIGFPE, SIGBUS, SIGTRAP}) std::signal(sig, OnFatalSignal);

  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path = argv[i];
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
    } else if (std::filesystem::is_regular_file(path, error)) {
      inputs.push_back(path);
    }
    if (error) {
      std::fprintf(stderr, "replay: %s: %s\n", argv[i], error.message().c_str());
      return 1;
    }
  }
  // A corpus that vanished must not pass as one that holds nothing wrong.
  if (inputs.empty()) {
    std::fprintf(stderr, "replay: no inputs\n");
    return 1;
  }
  std::sort(inputs.begin(), inputs.end());

  const auto start = std::chrono::steady_clock::now();
  std::size_t bytes = 0;
  std::vector<char> content;
  for (const std::filesystem::path& input : inputs) {
    if (!ReadFile(input, content)) {
      std::fprintf(stderr, "replay: cannot read %s\n", input.c_str());
      return 1;
    }
    std::snprintf(gCurrent, sizeof gCurrent, "%s", input.c_str());
    // A buffer of exactly the input's size, so that a sanitizer build sees
    // a read past its end.
    const std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[std::max<std::size_t>(content.size(), 1)]);
    std::copy(content.begin(), content.end(), data.get());
    LLVMFuzzerTestOneInput(data.get(), content.size());
    bytes += content.size();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("replay: %zu inputs (%zu bytes) in %.3f s, nothing found\n", inputs.size(), bytes, seconds);
  return 0;
}
