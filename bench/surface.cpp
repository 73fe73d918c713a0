// The eye-like surfaces: a biconic fringe picture against the sphere's (the
// synthesis of a biconic may take at most 20 % longer), and the figures of
// one measured channel (best-fit sphere and conic, keratometry, order-6
// Zernike terms and the axial and tangential power maps together, under
// 20 ms), and the conic fit alone (under 10 ms); the surface window's whole
// evaluation with the clinical maps (refractive power, elevation against the
// best-fit sphere and toric ellipsoid), the corneal aberrations and the
// screening indices (under 100 ms).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <string>

#include "analysis/conic_fit.h"
#include "analysis/reference_sphere.h"
#include "analysis/surface_figures.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"

namespace {

// Argument 0: the default sphere; 1: a biconic of 7.6 / 7.9 mm at 30 degrees
// with Q = -0.2, at the workbench's default camera size, file write included.
void synthesize_surface_image(benchmark::State& state) {
  SimParams params;
  if (state.range(0) == 1)
    params.surface = {.model = SurfaceModel::biconic, .rx = 7.6, .ry = 7.9, .axis_deg = 30.0, .q = -0.2};
  const std::string path = "/tmp/bench_surface_" + std::to_string(getpid()) + ".bmp";
  seed_random(1);
  for (auto _ : state) {
    if (synthesize_fringe_image(params, path.c_str(), 64, 5) != 0) {
      state.SkipWithError("cannot write the bitmap");
      break;
    }
  }
  unlink(path.c_str());
}

// A measured biconic on the default 10.24 mm map, with a ripple of a few
// tenths of a micron as the engine leaves, and the sphere of the set radius.
struct MeasuredBiconic {
  HeightMatrix measured;
  HeightMatrix sphere;
  MeasuredBiconic() {
    const BiconicShape shape({.model = SurfaceModel::biconic, .rx = 7.6, .ry = 7.9, .axis_deg = 30.0, .q = -0.2});
    for (int x = 0; x < kMapSide; ++x)
      for (int y = 0; y < kMapSide; ++y)
        measured(x, y) = shape.height((x - 127.5) * 0.04, (127.5 - y) * 0.04) + 0.0003 * std::sin(0.7 * x);
    perfect_sphere(7.5, 10.24, kMapSide, 0.0, 0.0, 0.0, sphere);
  }
};

// Argument: the Zernike order (6 by default, 10 the most).
void surface_figures_of_one_channel(benchmark::State& state) {
  const MeasuredBiconic maps;
  FigureOptions options;
  options.zernike_order = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const SurfaceFigures f = surface_figures({maps.measured, maps.sphere, 10.24, 3.3}, options);
    if (!f.sphere || !f.conic || !f.keratometry || !f.zernike || !f.axial_power || !f.tangential_power) {
      state.SkipWithError("a figure is missing");
      break;
    }
    benchmark::DoNotOptimize(f.axial_power->data());
  }
}

// What the surface window runs on "evaluate": every figure and every map,
// the clinical ones included, on a biconic with a cone.
void surface_window_maps(benchmark::State& state) {
  MeasuredBiconic maps;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) {
      const double dx = (x - 127.5) * 0.04 - 0.6, dy = (127.5 - y) * 0.04 + 1.0;
      maps.measured(x, y) += 0.01 * std::exp(-(dx * dx + dy * dy) / 2.0);
    }
  for (auto _ : state) {
    const SurfaceFigures f = surface_figures({maps.measured, maps.sphere, 10.24, 3.3});
    if (!f.refractive_power || !f.elevation_to_sphere || !f.elevation_to_toric || !f.aberrations || !f.indices) {
      state.SkipWithError("a clinical figure is missing");
      break;
    }
    benchmark::DoNotOptimize(f.refractive_power->data());
  }
}

// The conic fit over the cells of the 3.2 mm disc (about 20,000), started
// from their best-fit sphere as the figures start it.
void conic_fit_of_one_channel(benchmark::State& state) {
  const MeasuredBiconic maps;
  const SurfaceCells cells = surface_cells(maps.measured, 10.24, 3.3);
  const std::optional<SphereFitResult> sphere = fit_sphere(cells.x, cells.y, cells.z);
  if (!sphere) {
    state.SkipWithError("no best-fit sphere");
    return;
  }
  for (auto _ : state) {
    const std::optional<ConicFitResult> conic = fit_conic(cells.x, cells.y, cells.z, sphere->cap);
    if (!conic) {
      state.SkipWithError("no conic fit");
      break;
    }
    benchmark::DoNotOptimize(conic->q);
    state.counters["iterations"] = conic->iterations;
  }
}

}  // namespace

BENCHMARK(conic_fit_of_one_channel)->Unit(benchmark::kMillisecond);
BENCHMARK(synthesize_surface_image)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(surface_window_maps)->Unit(benchmark::kMillisecond);
BENCHMARK(surface_figures_of_one_channel)->Arg(6)->Arg(10)->Unit(benchmark::kMillisecond);
