// SPDX-License-Identifier: GPL-3.0-or-later
// Formatting numbers as a data file's text: "%.5f" of values such as a
// meter records (0 to 1 1/m with five significant decimals, a few negative)
// by FormatFixed, by std::to_chars (the writer before FormatFixed) and by
// snprintf, and whole sample lines of the nine-wavelength and the
// hyperspectral meter by SourceLine_Format. Reports values (or lines) a
// second.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <random>
#include <vector>

#include "common/fixed_format.h"
#include "source/source_line.h"

namespace {

std::vector<double> MeterValues() {
  std::mt19937_64 random(6);
  std::uniform_real_distribution<double> value(-0.05, 1.2);
  std::vector<double> values(1 << 16);
  for (double& v : values) v = value(random);
  return values;
}

template <class Write>
void FormatValues(benchmark::State& state, Write write) {
  const std::vector<double> values = MeterValues();
  char text[sondrix::kFixedTextMax];
  std::size_t i = 0;
  for (auto _ : state) {
    char* end = write(text, values[i++ & (values.size() - 1)]);
    benchmark::DoNotOptimize(end);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_FormatFixed(benchmark::State& state) {
  FormatValues(state, [](char* out, double v) { return sondrix::FormatFixed(out, v, 5); });
}
void BM_ToChars(benchmark::State& state) {
  FormatValues(state, [](char* out, double v) {
    return std::to_chars(out, out + sondrix::kFixedTextMax, v, std::chars_format::fixed, 5).ptr;
  });
}
void BM_Snprintf(benchmark::State& state) {
  FormatValues(state, [](char* out, double v) {
    return out + std::snprintf(out, sondrix::kFixedTextMax, "%.5f", v);
  });
}

// A whole line of `count` values and a trailing text on every line.
void BM_FormatLine(benchmark::State& state) {
  const std::vector<double> values = MeterValues();
  sondrix::SourceLine line(static_cast<int>(state.range(0)));
  line.tail = "21.53\t6.0\t12.25\t15.30";
  std::vector<char> text(sondrix::SourceLine_TextMax(line));
  std::size_t at = 0;
  for (auto _ : state) {
    line.time += 167;
    for (double& v : line.values) v = values[at++ & (values.size() - 1)];
    benchmark::DoNotOptimize(sondrix::SourceLine_Format(text.data(), line));
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_FormatFixed);
BENCHMARK(BM_ToChars);
BENCHMARK(BM_Snprintf);
BENCHMARK(BM_FormatLine)->Arg(18)->Arg(200);

}  // namespace

BENCHMARK_MAIN();
