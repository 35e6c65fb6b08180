// SPDX-License-Identifier: GPL-3.0-or-later
// The processing's pace and memory: a run of the hyperspectral meter's size
// (85 c and 85 a wavelengths, 400 ... 736 nm) through one Processor, with
// the ship's temperature and salinity on every line and both lags set. The
// goal: at least 20 000 lines/s (a meter gives 4 a second, a replay many
// thousands), and the lines held (the spike window and the lags) the same
// after a million lines as after a thousand: "held" reports the most.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "processing/processor.h"
#include "processing/ts_table.h"

namespace {

using namespace sondrix;

constexpr int kWavelengths = 85;

void Process(benchmark::State& state) {
  ProcessorChannels channels;
  for (int k = 0; k < kWavelengths; ++k) {
    channels.cTrace.push_back(k);
    channels.cWavelength.push_back(400.0 + 4.0 * k);
    channels.aTrace.push_back(kWavelengths + k);
    channels.aWavelength.push_back(401.0 + 4.0 * k);
  }
  ProcessingSettings settings;
  std::string error;
  if (!BuiltInTable(settings.table, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  settings.tCal = 20.0;
  settings.shipTemperature = settings.shipSalinity = true;
  settings.lagC = 0.5;
  settings.lagAncillary = 2.0;
  auto processor = Processor::Make(channels, settings, error);
  if (!processor) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::vector<double> values(2 * kWavelengths);
  std::vector<CorrectedSample> out;
  long line = 0;
  std::size_t held = 0;
  for (auto _ : state) {
    for (int k = 0; k < 2 * kWavelengths; ++k) values[k] = 0.3 + 0.01 * std::sin(0.001 * line + k);
    ProcessorInput input;
    input.timeMs = line * 250;
    input.values = values;
    input.temperature = 18.0 + 0.001 * (line % 1000);
    input.salinity = 35.0;
    processor->Push(input, out);
    out.clear();
    held = std::max(held, processor->held());
    ++line;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["held"] = static_cast<double>(held);
}
BENCHMARK(Process)->Iterations(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
