// Fringe image synthesis at the workbench's default camera size, file write
// included, without and with noise.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <string>

#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"

namespace {

void synthesize_default_image(benchmark::State& state) {
  SimParams params;  // 1280 x 1024, pixel 0.01 mm, period 10, alpha 30, radius 7.5
  params.noise = static_cast<double>(state.range(0)) / 10.0;
  const std::string path = "/tmp/bench_simulation_" + std::to_string(getpid()) + ".bmp";
  seed_random(1);
  for (auto _ : state) {
    if (synthesize_fringe_image(params, path.c_str(), 64, 5) != 0) {
      state.SkipWithError("cannot write the bitmap");
      break;
    }
  }
  unlink(path.c_str());
}

}  // namespace

// Argument: noise weight in tenths.
BENCHMARK(synthesize_default_image)->Arg(0)->Arg(5)->Unit(benchmark::kMillisecond);
