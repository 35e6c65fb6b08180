// SPDX-License-Identifier: GPL-3.0-or-later
// A project directory for the real program with the simulated
// nine-wavelength meter on a pseudo-terminal mapped to COM1, opened at the
// program's start (the settings of the last exit, with deployment metadata).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "build_paths.h"
#include "sim/sim_test_env.h"
#include "sondrix_main.h"
#include "support/fixtures.h"

namespace sondrix::test {

// The meter's simulator, sixty samples a second with a fixed seed; null
// (with a test failure) when it did not start.
inline std::unique_ptr<Child> StartMeterHome(const TempDir& home) {
  const std::string device =
      WriteTextFile(home.File("nerit-9wl.dev"), ReadTextFile(ExampleDevice("nerit-9wl")).value_or(""));
  auto sim = std::make_unique<Child>(
      std::vector<std::string>{"--device", device, "--rate", "60", "--seed", "7", "--quiet", "--pty"},
      home.File("sim.err"));
  if (!sim->started()) {
    ADD_FAILURE() << "the simulator did not start";
    return nullptr;
  }
  const std::string pty = sim->FirstLine(10.0);
  if (pty.rfind("/dev/", 0) != 0) {
    ADD_FAILURE() << "no pseudo-terminal: " << pty;
    return nullptr;
  }
  WriteTextFile(home.File("Sondrix.ini"),
                "[General]\nDevice=" + device + "\nPort=COM1\n[Ports]\nCOM1=" + pty + "\n[Deployment]\ncruise=TEST\n");
  return sim;
}

// The real program, run in this process until it exits; `onStart` is
// given the application once its window is up. Returns its exit status.
inline int RunTheProgram(const std::function<void(App&)>& onStart) {
  std::string program = SONDRIX_TOOLS_DIR "/../app/sondrix";
  char* argv[] = {program.data(), nullptr};
  return SondrixMain(1, argv, onStart);
}

}  // namespace sondrix::test
