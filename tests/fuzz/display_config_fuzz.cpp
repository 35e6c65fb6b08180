// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes as the display configuration file a source's
// display reads when the source is attached (the graph on show, the bin
// sizes, the visible traces and every graph's settings). The first byte
// picks the source: its trace count and whether it has depth. The display
// then plots a few lines with what it read; what it writes back must read
// back to the same file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "common/panels.h"
#include "display/display.h"
#include "display/fake_source.h"
#include "platform/headless/headless_ui.h"
#include "source/source_line.h"

namespace {

using namespace sondrix;

// A source of `traces` traces, absorption then attenuation.
std::unique_ptr<test::FakeSource> FuzzSource(const std::string& filename, int traces, bool depth) {
  std::vector<int> map(static_cast<std::size_t>(traces / 2), kTraceA);
  map.resize(static_cast<std::size_t>(traces), kTraceC);
  auto source = std::make_unique<test::FakeSource>(filename, map);
  source->depth = depth;
  source->extTemp = true;
  return source;
}

struct Harness {
  Harness() {
    char directory[] = "/tmp/sondrix-rtc-fuzz-XXXXXX";
    if (::mkdtemp(directory) == nullptr) std::abort();
    home = directory;
    ::setenv("SONDRIX_HOME", directory, 1);
    panel = ui.LoadPanel(0, panels::kMain);
    if (panel <= 0 || Display::New(display, panel, session) != status::kOk) std::abort();
  }
  ~Harness() {
    display.reset();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }

  platform::HeadlessUi ui;
  platform::ScopedUi installed{ui};
  std::string home;
  int panel = 0;
  Session session;
  std::unique_ptr<Display> display;
};

std::optional<std::string> ReadAll(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  std::fclose(file);
  return text;
}

SourceLine FuzzLine(int traces, int n) {
  SourceLine line(traces);
  line.status = status::kOk;
  line.time = 250 * n;
  line.temperature = 20.0 + n;
  line.depth = 1.5 * n;
  for (int i = 0; i < traces; ++i) line.values[static_cast<std::size_t>(i)] = 0.01 * (i + n);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Made afresh every few hundred inputs: the headless backend keeps a
  // record of every plot, which would otherwise grow without end.
  static std::unique_ptr<Harness> made;
  static int runs = 0;
  if (!made || ++runs % 256 == 0) {
    made.reset();
    made = std::make_unique<Harness>();
  }
  Harness& harness = *made;
  if (size == 0) return 0;
  constexpr std::array<int, 4> kTraces = {18, 6, 2, 200};
  const int traces = kTraces[data[0] % kTraces.size()];
  const bool depth = (data[0] & 4) != 0;
  const std::string device = harness.home + "/meter.dev";
  const std::string config = harness.home + "/meter.RTC";
  std::FILE* file = std::fopen(config.c_str(), "wb");
  if (file == nullptr) return 0;
  const bool written = std::fwrite(data + 1, 1, size - 1, file) == size - 1;
  if (std::fclose(file) != 0 || !written) return 0;

  Display& display = *harness.display;
  display.Attach(FuzzSource(device, traces, depth));
  display.InitPlot();
  for (int n = 0; n < 3; ++n) harness.session.Publish(FuzzLine(traces, n));

  // What the display writes reads back as the same configuration.
  if (display.WriteConfig() == status::kOk) {
    const std::optional<std::string> first = ReadAll(config);
    display.Attach(FuzzSource(device, traces, depth));
    if (display.WriteConfig() != status::kOk || ReadAll(config) != first) __builtin_trap();
  }
  display.Attach(nullptr);
  harness.ui.ClearRecords();
  return 0;
}
