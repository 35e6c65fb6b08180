// SPDX-License-Identifier: GPL-3.0-or-later
// The program's table of water's temperature and salinity coefficients
// read afresh, for tests that work the published correction themselves.
#pragma once

#include <cmath>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/fixtures.h"
#include "support/sim_report.h"
#include "build_paths.h"

namespace sondrix::test {

// psi_t and psi_s_a at `nm`, linear between the rows of
// resources/water_ts_coefficients.csv; not numbers outside it.
inline std::pair<double, double> Psi(double nm) {
  std::istringstream in(ReadTextFile(SONDRIX_RESOURCE_DIR "/water_ts_coefficients.csv").value_or(""));
  std::string line;
  double lastNm = NAN, lastT = NAN, lastS = NAN;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line[0] == 'w') continue;
    const std::vector<std::string> f = Split(line, ',');
    const double w = std::stod(f[0]), t = std::stod(f[1]), s = std::stod(f[2]);
    if (w >= nm) {
      if (w == nm) return {t, s};
      const double k = (nm - lastNm) / (w - lastNm);
      return {lastT + k * (t - lastT), lastS + k * (s - lastS)};
    }
    lastNm = w, lastT = t, lastS = s;
  }
  return {NAN, NAN};
}

}  // namespace sondrix::test
