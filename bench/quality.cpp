// What a measurement's quality map costs (methods/measurement_quality.h,
// runs/quality_check.h): each method's whole measurement into the profile
// grid on the default 1280 x 1024 picture of the 7.5 mm sphere (period 10
// pixels, the default scan parameters), without (0) and with (1) its quality
// map and the checks. The target: the map costs at most 10 % of the
// measurement.
//
//   quadrature/<q>    the engine (smoothing, phase, unwrapping, block fits)
//                     on the picture; 1: and the carrier fit of its pixels
//   phase_shift/<q>   8 steps of one period; 1: and the deviation from the fit
//   temporal/<q>      8 steps of periods 1280, 80, 10
//   fourier/<q>       one frame; 1: and the deviation from its own model
//   ratio/<method>    each round the measurement without and then with the
//                     map, one after the other: the counter on/off is the
//                     median of the rounds' ratios, which a busy machine's
//                     drifts (they move both alike) leave as it is
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "methods/method_engine.h"
#include "runs/quality_check.h"
#include "scan/default_par.h"
#include "scan/scan_engine.h"
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

void quadrature(benchmark::State& state) {
  uint64_t generator = 1;
  const GreyImageOwner picture = make_fringe_picture(SimParams{}, 64, 5, generator);
  const GreyImageOwner work(img_create(1, picture->width, picture->height));
  ScanEngine engine;
  QualityCheck check;
  for (auto _ : state) {
    // The engine takes the picture's pixels: each round scans a fresh copy.
    state.PauseTiming();
    img_copy(work.get(), picture.get());
    state.ResumeTiming();
    checked_engine_scan(engine, *work, kPar, nullptr, state.range(0) == 1 ? &check : nullptr, "picture");
    benchmark::DoNotOptimize(engine.profile().values);
  }
}
BENCHMARK(quadrature)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void run_method(benchmark::State& state, const MethodPlan& plan, const std::vector<GreyImageOwner>& frames) {
  std::vector<const GreyImage*> pointers;
  for (const GreyImageOwner& f : frames) pointers.push_back(f.get());
  MethodEngine engine;
  QualityCheck check;
  GridGuard grid;
  for (auto _ : state) {
    checked_method_profile(engine, pointers, plan, kPar, grid.grid, state.range(0) == 1 ? &check : nullptr,
                           "frames");
    benchmark::DoNotOptimize(grid.grid.values);
  }
}

void phase_shift(benchmark::State& state) {
  run_method(state, MethodPlan{FringeMethod::phase_shift, 8, {10.0}}, sphere_frames(8, {10.0}));
}
BENCHMARK(phase_shift)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void temporal(benchmark::State& state) {
  run_method(state, MethodPlan{FringeMethod::phase_shift, 8, {1280.0, 80.0, 10.0}},
             sphere_frames(8, {1280.0, 80.0, 10.0}));
}
BENCHMARK(temporal)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void fourier(benchmark::State& state) {
  run_method(state, MethodPlan{FringeMethod::fourier, 1, {10.0}}, sphere_frames(1, {10.0}));
}
BENCHMARK(fourier)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Each round: `measure(false)` then `measure(true)`, each after `prepare`
// (not timed), timed apart; the time reported is the round's, the counter
// on/off the median ratio.
void interleaved(benchmark::State& state, const std::function<void(bool)>& measure,
                 const std::function<void()>& prepare = [] {}) {
  using clock = std::chrono::steady_clock;
  std::vector<double> ratios;
  for (auto _ : state) {
    prepare();
    const auto t0 = clock::now();
    measure(false);
    const auto t1 = clock::now();
    prepare();
    const auto t2 = clock::now();
    measure(true);
    const auto t3 = clock::now();
    const double off = std::chrono::duration<double>(t1 - t0).count();
    const double on = std::chrono::duration<double>(t3 - t2).count();
    ratios.push_back(on / off);
    state.SetIterationTime(off + on);
  }
  std::sort(ratios.begin(), ratios.end());
  state.counters["on/off"] = ratios.empty() ? 0.0 : ratios[ratios.size() / 2];
}

void ratio(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  if (which == 0) {
    uint64_t generator = 1;
    const GreyImageOwner picture = make_fringe_picture(SimParams{}, 64, 5, generator);
    const GreyImageOwner work(img_create(1, picture->width, picture->height));
    ScanEngine engine;
    QualityCheck check;
    interleaved(
        state,
        [&](bool quality) { checked_engine_scan(engine, *work, kPar, nullptr, quality ? &check : nullptr, "picture"); },
        [&] { img_copy(work.get(), picture.get()); });  // the engine takes the picture's pixels
    state.SetLabel("quadrature");
    return;
  }
  const MethodPlan plans[] = {{FringeMethod::phase_shift, 8, {10.0}},
                              {FringeMethod::phase_shift, 8, {1280.0, 80.0, 10.0}},
                              {FringeMethod::fourier, 1, {10.0}}};
  const MethodPlan& plan = plans[which - 1];
  const std::vector<GreyImageOwner> frames = sphere_frames(plan.steps, plan.periods);
  std::vector<const GreyImage*> pointers;
  for (const GreyImageOwner& f : frames) pointers.push_back(f.get());
  MethodEngine engine;
  QualityCheck check;
  GridGuard grid;
  interleaved(state, [&](bool quality) {
    checked_method_profile(engine, pointers, plan, kPar, grid.grid, quality ? &check : nullptr, "frames");
  });
  state.SetLabel(which == 1 ? "phase_shift" : which == 2 ? "temporal" : "fourier");
}
BENCHMARK(ratio)->DenseRange(0, 3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
