// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes as a panel state file (a saved graph). Each
// state the file holds is read; what was read is written out and must read
// back to the same text, and it is put back on a main panel of the headless
// user interface as "Read graph from file" does.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unistd.h>

#include "common/panels.h"
#include "platform/headless/headless_ui.h"
#include "platform/panel_state.h"

namespace {

using namespace sondrix::platform;

// The user interface and its main panel, made afresh every few hundred
// inputs: the headless backend keeps a record of every plot, which would
// otherwise grow without end.
struct Harness {
  HeadlessUi ui;
  ScopedUi installed{ui};
  int panel = ui.LoadPanel(0, sondrix::panels::kMain);
};

Harness& FuzzHarness() {
  static std::unique_ptr<Harness> harness;
  static int runs = 0;
  if (!harness || ++runs % 256 == 0) {
    harness.reset();
    harness = std::make_unique<Harness>();
  }
  return *harness;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Harness& harness = FuzzHarness();
  char path[] = "/tmp/sondrix-gph-fuzz-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) return 0;
  const bool written = ::write(fd, data, size) == static_cast<ssize_t>(size);
  ::close(fd);
  if (written) {
    const std::string again = std::string(path) + ".again";
    for (int index : {0, 1, -1}) {
      PanelState state;
      if (ReadPanelStateFile(path, index, state) != 0) continue;
      const std::string text = FormatPanelState(state, index);
      PanelState reread;
      if (WritePanelStateFile(again, index, state) != 0 || ReadPanelStateFile(again, index, reread) != 0 ||
          FormatPanelState(reread, index) != text) {
        __builtin_trap();
      }
      if (harness.panel > 0) ApplyPanelState(harness.ui, harness.panel, state);
      harness.ui.ClearRecords();
    }
    ::unlink(again.c_str());
  }
  ::unlink(path);
  return 0;
}
