// The analysis work of one profile run (reference sphere, masked difference,
// difference map over the whole 256 x 256 map) and of one pointer move over a
// map (PV and RMS of the 9 x 9 cells around the pointer), and the sphere's
// height file.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "analysis/area_statistics.h"
#include "analysis/height_matrix.h"
#include "analysis/height_text_file.h"
#include "analysis/reference_sphere.h"

namespace {

HeightMatrix measured_sphere() {
  HeightMatrix map;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) {
      const double u = (x - 127.5) * 0.04, v = (y - 127.5) * 0.04;
      map(x, y) = std::sqrt(60.84 - u * u - v * v) - 7.8 + 0.001 * std::sin(0.3 * x);
    }
  return map;
}

void BM_ProfileRunMaps(benchmark::State& state) {
  const HeightMatrix measured = measured_sphere();
  HeightMatrix map, sphere, other, difference;
  for (auto _ : state) {
    map = measured;
    perfect_sphere(7.8, 10.24, 256, 0.0, 0.0, map(128, 128), sphere);
    masked_difference(10.24, 5.12, 5.12, 4.0, map, sphere, map);
    subtract_maps(map, other, difference, 256, 256);
    benchmark::DoNotOptimize(difference.data());
  }
}
BENCHMARK(BM_ProfileRunMaps);

void BM_PerfectSphere(benchmark::State& state) {
  HeightMatrix sphere;
  for (auto _ : state) {
    perfect_sphere(7.8, 10.24, 256, 0.0, 0.0, 0.0, sphere);
    benchmark::DoNotOptimize(sphere.data());
  }
}
BENCHMARK(BM_PerfectSphere);

// The reference sphere's height file, which every profile run writes again.
void BM_WriteSphereHeights(benchmark::State& state) {
  HeightMatrix sphere;
  perfect_sphere(7.8, 10.24, 256, 0.0, 0.0, 0.0, sphere);
  const std::string file = (std::filesystem::temp_directory_path() / "bench_sphere_heights.txt").string();
  for (auto _ : state) write_heights(file, sphere, kMapSide, kMapSide, 0.04, 0.04, Durability::atomic_only);
  std::filesystem::remove(file);
}
BENCHMARK(BM_WriteSphereHeights)->Unit(benchmark::kMillisecond);

void BM_MaskedDifference(benchmark::State& state) {
  const HeightMatrix measured = measured_sphere();
  HeightMatrix sphere, out;
  perfect_sphere(7.8, 10.24, 256, 0.0, 0.0, 0.0, sphere);
  for (auto _ : state) {
    masked_difference(10.24, 5.12, 5.12, 4.0, measured, sphere, out);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_MaskedDifference);

void BM_SubtractMaps(benchmark::State& state) {
  const HeightMatrix a = measured_sphere();
  HeightMatrix b, out;
  for (auto _ : state) {
    subtract_maps(a, b, out, 256, 256);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_SubtractMaps);

void BM_AreaPvRms9x9(benchmark::State& state) {
  const HeightMatrix map = measured_sphere();
  int x = 4;
  for (auto _ : state) {
    // Walk the pointer along a row so that the area is not always the same.
    benchmark::DoNotOptimize(area_rms(map, x - 4, x + 4, 60, 68));
    benchmark::DoNotOptimize(area_pv(map, x - 4, x + 4, 60, 68));
    benchmark::DoNotOptimize(area_mean(map, x - 4, x + 4, 60, 68));
    x = x == 251 ? 4 : x + 1;
  }
}
BENCHMARK(BM_AreaPvRms9x9);

}  // namespace
