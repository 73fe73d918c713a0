// measure() of runs/measurement.h, the chain in memory, on the default
// settings (a 1280 x 1024 picture of the 7.5 mm sphere), the context kept
// from one measurement to the next as a thread of a study or the Python
// module keeps it:
//
//   measure/<noise>   noise weight 0 and 0.5 (seed 1, contrast 1)
//
// python/bench_measure.py times fringe.measure on the same settings; the two
// figures side by side show what the module adds to the core.
#include <benchmark/benchmark.h>

#include "settings/channel_settings.h"
#include "runs/measurement.h"

namespace {

MeasurementSettings default_settings(double noise) {
  const ChannelSettingsTexts texts;
  MeasurementSettings settings;
  settings.scan = scan_settings_lines(texts);
  settings.image = image_settings_lines(texts);
  settings.noise = noise;
  settings.seed = 1;
  return settings;
}

void measure_default(benchmark::State& state) {
  const MeasurementSettings settings = default_settings(static_cast<double>(state.range(0)) / 10.0);
  MeasurementContext context;
  for (auto _ : state) {
    Measurement m = measure(settings, context);
    benchmark::DoNotOptimize(m.maps.height_map.data());
  }
}
BENCHMARK(measure_default)->Name("measure")->Arg(0)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
