// The profile calculation on a full camera frame: triangulation heights,
// the 4 x 4 quadric reduction and the whole calculation.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "scan/default_par.h"
#include "scan/profile_calculation.h"

namespace {

constexpr int32_t kWidth = 1280;
constexpr int32_t kHeight = 1024;
constexpr ScnPar kDefaults = kDefaultScnPar;

// The unwrapped phase of a sphere of `radius` mm seen through a straight
// pattern of period 10 px, 0.01 mm pixels and 30 degrees, inside `mask` mm of
// the centre (0 outside), as the processing chain would leave it.
GreyImage* sphere_phase(double radius = 7.8, double mask = 3.5) {
  GreyImage* plane = img_create(2, kWidth, kHeight);
  const double tangent = std::tan(30.0 * std::numbers::pi / 180.0);
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) {
      const double dx = (x - kWidth / 2) * 0.01;
      const double dy = (y - kHeight / 2) * 0.01;
      const double r2 = dx * dx + dy * dy;
      uint16_t u = 0;
      if (r2 < mask * mask) {
        const double sag = radius - std::sqrt(radius * radius - r2);
        const double shift = sag * tangent / 0.01;  // pixels
        u = static_cast<uint16_t>(std::lrint(32768.0 + 25.6 * (x - kWidth / 2 + shift)));
      }
      std::memcpy(img_line(plane, y) + 2 * x, &u, 2);
    }
  return plane;
}

void BM_height_map(benchmark::State& state) {
  GreyImage* phase = sphere_phase();
  ScnMatrix full{};
  mat_create(&full, kWidth, kHeight, 0.01, 0.01);
  for (auto _ : state) {
    height_map(full, phase, kDefaults);
    benchmark::DoNotOptimize(full.values[kHeight / 2][kWidth / 2]);
  }
  mat_free(&full);
  img_destroy(phase);
}
BENCHMARK(BM_height_map)->Unit(benchmark::kMillisecond);

// range(0) = 1 takes one pixel out of every block, which sends every block
// through the general solver instead of the precomputed one.
void BM_block_fit(benchmark::State& state) {
  GreyImage* phase = sphere_phase();
  ScnMatrix full{};
  ScnMatrix profile{};
  mat_create(&full, kWidth, kHeight, 0.01, 0.01);
  mat_create(&profile, kWidth / 4, kHeight / 4, 0.04, 0.04);
  height_map(full, phase, kDefaults);
  if (state.range(0) == 1)
    for (int32_t y = 0; y < kHeight; y += 4)
      for (int32_t x = 0; x < kWidth; x += 4) full.values[y][x] = -10.0f;
  for (auto _ : state) {
    block_fit(full, profile, 4, -10.0);
    benchmark::DoNotOptimize(profile.values[128][160]);
  }
  mat_free(&profile);
  mat_free(&full);
  img_destroy(phase);
}
BENCHMARK(BM_block_fit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// range(0) = 1: a flatter sphere with a phase at every pixel, the worst
// case with every block fitted.
void BM_calculate_profile(benchmark::State& state) {
  ScnContext context{};
  context.par = kDefaults;
  context.planes[PLANE_PHASE] = state.range(0) == 1 ? sphere_phase(12.0, 8.3) : sphere_phase();
  for (auto _ : state) {
    calculate_profile(context, 0);
    benchmark::DoNotOptimize(context.profile.values[128][160]);
  }
  mat_free(&context.profile);
  img_destroy(context.planes[PLANE_PHASE]);
}
BENCHMARK(BM_calculate_profile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
