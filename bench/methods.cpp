// The fringe-analysis methods beside the engine's quadrature, on the default
// 1280 x 1024 picture of the 7.5 mm sphere (period 10 pixels, the default
// scan parameters), each against the quadrature's phase step alone:
//
//   quadrature_phase_step     fringe_phase on the picture (the yardstick)
//   phase_shift/<fits>        8 steps: phase, modulation mask, flood fill,
//                             heights; 1: and the block fits into the profile
//   temporal/<fits>           8 steps of periods 1280, 80, 10: temporal unwrapping
//   fourier/<fits>            one frame, the first order of each row
//   step_check/<steps>        the frame set's phase steps measured and
//                             checked against the plan before a measurement
#include <benchmark/benchmark.h>

#include <vector>

#include "methods/method_engine.h"
#include "methods/step_check.h"
#include "scan/default_par.h"
#include "scan/image_processing.h"
#include "simulation/fringe_frames.h"
#include "simulation/fringe_synthesis.h"

namespace {

const ScnPar kPar = kDefaultScnPar;

std::vector<GreyImageOwner> sphere_frames(int steps, std::vector<double> periods) {
  const SimParams params;  // 1280 x 1024, the default sphere, no noise
  FrameSet set;
  set.steps = steps;
  set.periods = std::move(periods);
  uint64_t generator = 1;
  return make_fringe_frames(params, set, 64, 5, generator);
}

void quadrature_phase_step(benchmark::State& state) {
  uint64_t generator = 1;
  const GreyImageOwner picture = make_fringe_picture(SimParams{}, 64, 5, generator);
  const GreyImageOwner work(img_create(1, picture->width, picture->height));
  for (auto _ : state) {
    state.PauseTiming();
    img_copy(work.get(), picture.get());
    state.ResumeTiming();
    fringe_phase(work.get(), phase_window(kPar.LambdaF), kPar.LambdaF);
  }
}
BENCHMARK(quadrature_phase_step)->Unit(benchmark::kMillisecond);

void run_method(benchmark::State& state, const MethodPlan& plan, const std::vector<GreyImageOwner>& frames) {
  std::vector<const GreyImage*> pointers;
  for (const GreyImageOwner& f : frames) pointers.push_back(f.get());
  MethodEngine engine;
  ScnMatrix grid{};
  for (auto _ : state) {
    if (state.range(0) == 1) engine.profile(pointers, plan, kPar, grid);
    else engine.heights(pointers, plan, kPar, grid);
    benchmark::DoNotOptimize(grid.values);
  }
  mat_free(&grid);
}

void phase_shift(benchmark::State& state) {
  const MethodPlan plan{FringeMethod::phase_shift, 8, {10.0}};
  run_method(state, plan, sphere_frames(8, {10.0}));
}
BENCHMARK(phase_shift)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void temporal(benchmark::State& state) {
  const MethodPlan plan{FringeMethod::phase_shift, 8, {1280.0, 80.0, 10.0}};
  run_method(state, plan, sphere_frames(8, {1280.0, 80.0, 10.0}));
}
BENCHMARK(temporal)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void fourier(benchmark::State& state) {
  const MethodPlan plan{FringeMethod::fourier, 1, {10.0}};
  run_method(state, plan, sphere_frames(1, {10.0}));
}
BENCHMARK(fourier)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void step_check(benchmark::State& state) {
  const int steps = static_cast<int>(state.range(0));
  const std::vector<GreyImageOwner> frames = sphere_frames(steps, {10.0});
  std::vector<const GreyImage*> pointers;
  for (const GreyImageOwner& f : frames) pointers.push_back(f.get());
  const MethodPlan plan{FringeMethod::phase_shift, steps, {10.0}};
  for (auto _ : state) benchmark::DoNotOptimize(check_phase_steps(pointers, plan).verdict);
}
BENCHMARK(step_check)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace
