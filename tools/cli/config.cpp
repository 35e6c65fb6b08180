// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli config FILE
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli_args.h"
#include "commands.h"
#include "common/file.h"
#include "common/status.h"
#include "config/config.h"
#include "meter/source_factory.h"
#include "source/device.h"
#include "terminal_text.h"

namespace sondrix::cli {
namespace {

constexpr const char* kUsage = R"(Usage: sondrix-cli config FILE

Reads the device configuration file FILE with the configuration its
device type selects and prints it on standard output exactly as saving
it would write it. A file that cannot be read prints the reason on
standard error and exits with status 1.
)";

// Writes the configuration as saving would write it, with the file's text
// (the name line, trace and colour words) escaped where it holds control
// characters, so that none reaches the terminal.
Status PrintConfig(const Config& config) {
  char* buffer = nullptr;
  std::size_t size = 0;
  OwnedFile memory(open_memstream(&buffer, &size));
  if (!memory) return status::kOutOfMemory;
  Status code = config.WriteConfig(memory.get());
  if (!memory.Close() && code == status::kOk) code = status::kCantWriteConfig;
  const std::string text(buffer != nullptr ? buffer : "", size);
  std::free(buffer);
  if (code != status::kOk) return code;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::fputs(TerminalText(std::string_view(text).substr(start, end - start)).c_str(), stdout);
    if (end < text.size()) std::fputc('\n', stdout);
    start = end + 1;
  }
  return std::ferror(stdout) ? status::kCantWriteConfig : status::kOk;
}

int Fail(Status code) {
  std::fprintf(stderr, "%s\n", StatusText(code).c_str());
  return 1;
}

}  // namespace

int RunConfig(std::span<char*> args) {
  std::string path;
  CLI::App app(kUsage, "sondrix-cli config");
  tools::SetUp(app);
  app.add_option("FILE", path)->required();
  if (const std::optional<int> status = ParseCommand(app, args)) return *status;

  if (!IsRegularFile(path)) return Fail(status::kCantOpenFile);
  std::string idText;
  const int deviceType = Device_GetDevType(path, idText);
  if (deviceType < 0) return Fail(deviceType);
  std::unique_ptr<Config> config;
  Status code = NewConfig(config, deviceType);
  if (code != status::kOk) return Fail(code);

  const OwnedFile file = OwnedFile::Open(path, "r");
  if (!file) return Fail(status::kCantOpenFile);
  code = config->ReadConfig(file.get());
  if (code != status::kOk) return Fail(code);

  code = PrintConfig(*config);
  if (std::fflush(stdout) != 0) code = status::kCantWriteConfig;
  if (code != status::kOk) return Fail(code);
  return 0;
}

}  // namespace sondrix::cli
