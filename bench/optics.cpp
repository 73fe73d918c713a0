// Pictures and points through a pinhole system against today's telecentric
// pictures at the default camera size: one frame (its rays traced for it
// alone), eight phase steps (the rays traced once for the set), the rays
// alone, and the triangulation of a measured phase into points and heights.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "methods/method_engine.h"
#include "methods/triangulated_points.h"
#include "optics/pinhole_rig.h"
#include "scan/default_par.h"
#include "simulation/fringe_frames.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"
#include "simulation/ray_synthesis.h"

namespace {

// Argument 0: telecentric, 1: the default pinhole system.
SimParams params_of(int64_t model) {
  SimParams params;  // 1280 x 1024, pixel 0.01 mm, period 10, alpha 30, radius 7.5
  if (model == 1) params.system = default_pinhole_system();
  return params;
}

void one_frame(benchmark::State& state) {
  const SimParams params = params_of(state.range(0));
  uint64_t generator = seeded_state(1);
  for (auto _ : state) {
    GreyImageOwner image = make_fringe_picture(params, 64, 5, generator);
    benchmark::DoNotOptimize(image.get());
  }
}

void eight_frames(benchmark::State& state) {
  const SimParams params = params_of(state.range(0));
  uint64_t generator = seeded_state(1);
  for (auto _ : state) {
    std::vector<GreyImageOwner> frames = make_fringe_frames(params, FrameSet{8, {}}, 64, 5, generator);
    benchmark::DoNotOptimize(frames.data());
  }
}

void projector_columns_alone(benchmark::State& state) {
  const SimParams params = params_of(1);
  for (auto _ : state) {
    ProjectorColumns columns = projector_columns(params);
    benchmark::DoNotOptimize(columns.column.data());
  }
}

// The phase of eight 16-bit steps over three periods measured once; then its
// points and their heights on the grid.
void triangulation(benchmark::State& state) {
  SimParams params = params_of(1);
  params.errors.bits = 16;
  uint64_t generator = seeded_state(1);
  const std::vector<GreyImageOwner> frames =
      make_fringe_frames(params, FrameSet{8, {1280, 80, 10}}, 64, 5, generator);
  std::vector<const GreyImage*> given;
  for (const GreyImageOwner& frame : frames) given.push_back(frame.get());
  MethodEngine engine;
  const MethodPlan plan{FringeMethod::phase_shift, 8, {1280, 80, 10}};
  ScnPar par = kDefaultScnPar;
  double lambda = 0.0;
  const fringe::methods::PhaseField& field = engine.phase(given, plan, par, lambda);
  const PinholeRig rig(params.system, 0.0, 0.0);
  for (auto _ : state) {
    const PixelPoints points = triangulate_field(field, lambda, rig, params.system.projector.period);
    GridGuard full;
    grid_heights(points, rig, 0.01, 0.0, 0.0, -10.0f, full.grid);
    benchmark::DoNotOptimize(full.grid.values);
  }
}

}  // namespace

BENCHMARK(one_frame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(eight_frames)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(projector_columns_alone)->Unit(benchmark::kMillisecond);
BENCHMARK(triangulation)->Unit(benchmark::kMillisecond);
