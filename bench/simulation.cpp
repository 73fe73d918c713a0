// Fringe image synthesis at the workbench's default camera size, file write
// included, without and with noise; in memory, one picture against a set of
// eight phase steps (which should cost no more than eight pictures), and a
// set with error sources (the plain path).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "simulation/fringe_frames.h"
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

// The sphere, or a biconic surface of about its size (argument 1).
SimParams frame_params(int64_t surface) {
  SimParams params;  // noise-free, no error sources
  if (surface == 1) params.surface = {.model = SurfaceModel::biconic, .rx = 7.6, .ry = 7.9, .axis_deg = 30.0, .q = -0.2};
  return params;
}

void make_one_frame(benchmark::State& state) {
  const SimParams params = frame_params(state.range(0));
  uint64_t generator = seeded_state(1);
  for (auto _ : state) {
    GreyImageOwner image = make_fringe_picture(params, 64, 5, generator);
    benchmark::DoNotOptimize(image.get());
  }
}

// Arguments: the surface as for make_one_frame; 0 without error sources, 1
// with gamma 2.2 and 12 bits, 2 with a blur of 2 pixels besides.
void make_eight_frames(benchmark::State& state) {
  SimParams params = frame_params(state.range(0));
  if (state.range(1) >= 1) {
    params.errors.gamma = 2.2;
    params.errors.bits = 12;
  }
  if (state.range(1) >= 2) params.errors.blur = 2.0;
  const FrameSet set{8, {}};
  uint64_t generator = seeded_state(1);
  for (auto _ : state) {
    std::vector<GreyImageOwner> frames = make_fringe_frames(params, set, 64, 5, generator);
    if (frames.size() != 8) {
      state.SkipWithError("no frames");
      break;
    }
    benchmark::DoNotOptimize(frames.data());
  }
}

}  // namespace

// Argument: noise weight in tenths.
BENCHMARK(synthesize_default_image)->Arg(0)->Arg(5)->Unit(benchmark::kMillisecond);
// Argument: 0 the sphere, 1 a biconic surface.
BENCHMARK(make_one_frame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(make_eight_frames)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({0, 2})
    ->Unit(benchmark::kMillisecond);
