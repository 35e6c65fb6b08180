// SPDX-License-Identifier: GPL-3.0-or-later
// A nine-wavelength data file written by hand for the export tests: the
// device file's configuration, then `samples` lines, a packet of ten lines
// each (the first with temperatures, depth and references), every value
// known to the test.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix::test {

inline constexpr int kHandTraces = 18;

// The value of trace `t` on sample line `i`, as the file prints it.
inline std::string HandValue(int i, int t) {
  char number[32];
  std::snprintf(number, sizeof number, "%.5f", 0.9 / (1 + t) + 0.001 * (i % 1000));
  return number;
}

// Writes the data file; `stamp(i)` is sample i's time stamp in ms.
inline void WriteHandDataFile(const std::string& path, int samples, const std::function<std::int64_t(int)>& stamp) {
  std::string text = "Sondrix ver 7.1\t12-09-2026\t20:49:33\n" +
                     ReadTextFile(SONDRIX_EXAMPLES_DIR "/nerit-9wl.dev").value_or("") + "1\t\t\t; acquisition binsize\n";
  for (int i = 0; i < samples; ++i) {
    text += std::to_string(stamp(i));
    for (int t = 0; t < kHandTraces; ++t) text += "\t" + HandValue(i, t);
    if (i % 10 == 0) {
      text += "\t15.00\t6.0\t" + std::to_string(i / 10 % 100) + ".00\t18.00";
      for (int t = 0; t < kHandTraces; ++t) text += "\t0.50000";
    }
    text += "\n";
  }
  WriteTextFile(path, text);
}

}  // namespace sondrix::test
