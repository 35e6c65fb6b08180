// SPDX-License-Identifier: GPL-3.0-or-later
// The self-test limits of a device configuration, as one record: the nine
// every meter with a self-test holds (SelfTestLimits) and the hyperspectral
// meter's eleven (BenthSelfTestLimits: the nine and its two nonconformity
// limits). Each record comes with the table of its fields in the order of
// the file's limits line, with the names the line's comment gives them; the
// limits line is written, read and compared through that table, so no code
// depends on the order the fields are declared in.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string_view>

#include "config/config_text.h"

namespace sondrix {

// Declared in the order of the nine-wavelength meter's limits line.
struct SelfTestLimits {
  double maxANoise = 0.0, maxCNoise = 0.0;                      // noise of A, of C
  double maxADifference = 0.0, maxCDifference = 0.0;            // calibration, either way
  double minACounts = 0.0, minCCounts = 0.0, minRCounts = 0.0;  // smallest raw counts
  double maxTempSdev = 0.0, maxDepthSdev = 0.0;                 // the sensors' standard deviations

  bool operator==(const SelfTestLimits&) const = default;
};

struct BenthSelfTestLimits : SelfTestLimits {
  double maxANonConform = 0.0, maxCNonConform = 0.0;  // nonconformity of A, of C

  bool operator==(const BenthSelfTestLimits&) const = default;
};

// One field of a limits line: its name in the line's comment and where it
// is kept.
template <class Limits>
struct LimitField {
  std::string_view name;
  double Limits::*value;
};

// The limits line of the absorption/attenuation meters (structure version 2
// and later).
inline constexpr std::array<LimitField<SelfTestLimits>, 9> kLimitsLine = {{
    {"maxANoise", &SelfTestLimits::maxANoise},
    {"maxCNoise", &SelfTestLimits::maxCNoise},
    {"maxADifference", &SelfTestLimits::maxADifference},
    {"maxCDifference", &SelfTestLimits::maxCDifference},
    {"minACounts", &SelfTestLimits::minACounts},
    {"minCCounts", &SelfTestLimits::minCCounts},
    {"minRCounts", &SelfTestLimits::minRCounts},
    {"maxTempSdev", &SelfTestLimits::maxTempSdev},
    {"maxDepthSdev", &SelfTestLimits::maxDepthSdev},
}};

// The hyperspectral meter's limits line: the nine in the same order, with
// its two nonconformity limits after the noise limits.
inline constexpr std::array<LimitField<BenthSelfTestLimits>, 11> kBenthLimitsLine = [] {
  std::array<LimitField<BenthSelfTestLimits>, 11> line{};
  std::size_t at = 0;
  for (const LimitField<SelfTestLimits>& field : kLimitsLine) {
    line[at++] = {field.name, field.value};
    if (field.value == &SelfTestLimits::maxCNoise) {
      line[at++] = {"maxANonConform", &BenthSelfTestLimits::maxANonConform};
      line[at++] = {"maxCNonConform", &BenthSelfTestLimits::maxCNonConform};
    }
  }
  return line;
}();

// The limits line of each record.
inline constexpr const auto& LimitsLineOf(const SelfTestLimits&) { return kLimitsLine; }
inline constexpr const auto& LimitsLineOf(const BenthSelfTestLimits&) { return kBenthLimitsLine; }

// Writes the limits line: each value with "%lf", tab-separated, then the
// comment naming them ("\t; maxANoise\tmaxCNoise ...\n"). The caller holds
// the C locale.
template <class Limits, std::size_t N>
void WriteLimitsLine(std::FILE* file, const Limits& limits,
                     const std::array<LimitField<Limits>, N>& line) {
  for (std::size_t i = 0; i < N; ++i) {
    std::fprintf(file, i == 0 ? "%lf" : "\t%lf", limits.*line[i].value);
  }
  std::fputs("\t;", file);
  for (std::size_t i = 0; i < N; ++i) {
    std::fputc(i == 0 ? ' ' : '\t', file);
    std::fwrite(line[i].name.data(), 1, line[i].name.size(), file);
  }
  std::fputc('\n', file);
}

// Reads the values of a limits line in its order (ReadLimit: finite, not
// negative). False at the first that is not one; the limits read so far
// keep their new values. The rest of the line is left to the caller.
template <class Limits, std::size_t N>
bool ReadLimitsLine(std::FILE* file, Limits& limits, const std::array<LimitField<Limits>, N>& line) {
  for (const LimitField<Limits>& field : line) {
    if (!ReadLimit(file, limits.*field.value)) return false;
  }
  return true;
}

// Whether every limit of the line differs by at most `tolerance`.
template <class Limits, std::size_t N>
bool LimitsWithin(const Limits& a, const Limits& b, const std::array<LimitField<Limits>, N>& line,
                  double tolerance) {
  for (const LimitField<Limits>& field : line) {
    if (!(std::fabs(a.*field.value - b.*field.value) <= tolerance)) return false;
  }
  return true;
}

}  // namespace sondrix
