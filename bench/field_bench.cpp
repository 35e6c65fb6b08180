// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the numbers of a data file's text: lines of values as a meter
// records them ("%.5f", 0 to 1 1/m, a few negative, tab before each) read
// field by field by TakeNumberField (the form checked and the number parsed
// in one pass), and by std::from_chars alone after the blanks (which parses
// without checking the form: the reading before TakeNumberField checked the
// form first and then called it). Reports values a second.
#include <benchmark/benchmark.h>

#include <charconv>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "common/fixed_format.h"
#include "common/number_field.h"

namespace {

// 4096 values of a meter, tab before each.
std::string MeterText() {
  std::mt19937_64 random(6);
  std::uniform_real_distribution<double> value(-0.05, 1.2);
  std::string text;
  char number[sondrix::kFixedTextMax];
  for (int i = 0; i < 4096; ++i) {
    text += '\t';
    text.append(number, sondrix::FormatFixed(number, value(random), 5));
  }
  text += '\n';
  return text;
}

template <class Take>
void ReadValues(benchmark::State& state, Take take) {
  const std::string text = MeterText();
  long values = 0;
  for (auto _ : state) {
    std::string_view rest = text;
    double value = 0.0;
    while (take(rest, value)) ++values;
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(values);
}

void BM_TakeNumberField(benchmark::State& state) {
  ReadValues(state, [](std::string_view& rest, double& value) { return sondrix::TakeNumberField(rest, value); });
}

// A line at a time, as a data file's line is read.
void BM_TakeNumberFields(benchmark::State& state) {
  const std::string text = MeterText();
  std::vector<double> values(4096);
  long taken = 0;
  for (auto _ : state) {
    std::string_view rest = text;
    taken += static_cast<long>(sondrix::TakeNumberFields(rest, values));
    benchmark::DoNotOptimize(values.data());
  }
  state.SetItemsProcessed(taken);
}

void BM_FromChars(benchmark::State& state) {
  ReadValues(state, [](std::string_view& rest, double& value) {
    rest = sondrix::SkipFieldBlanks(rest);
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (ec != std::errc()) return false;
    rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
    return true;
  });
}

BENCHMARK(BM_TakeNumberField);
BENCHMARK(BM_TakeNumberFields);
BENCHMARK(BM_FromChars);

}  // namespace

BENCHMARK_MAIN();
