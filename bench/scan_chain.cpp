// The engine's fringe image processing chain, step by step and whole, on a
// 1280 x 1024 fringe image with the default scan parameters.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "scan/default_par.h"
#include "scan/image_processing.h"

namespace {

constexpr int32_t kWidth = 1280;
constexpr int32_t kHeight = 1024;
const ScnPar kDefaults = kDefaultScnPar;

// Vertical fringes of period 10 pixels, bent by a bowl-shaped phase as a
// sphere would bend them.
GreyImage* make_fringes() {
  GreyImage* image = img_create(1, kWidth, kHeight);
  for (int32_t y = 0; y < kHeight; ++y) {
    uint8_t* row = img_line(image, y);
    for (int32_t x = 0; x < kWidth; ++x) {
      const double dx = x - 0.5 * kWidth;
      const double dy = y - 0.5 * kHeight;
      const double bend = 4e-5 * (dx * dx + dy * dy);
      row[x] = static_cast<uint8_t>(std::lrint(127.0 + 100.0 * std::cos(2.0 * std::numbers::pi * x / 10.0 + bend)));
    }
  }
  return image;
}

// A context with all six planes, the fringe image as source, processed once
// so that every plane holds what the steps expect.
struct Chain {
  ScnContext context{};
  Chain() {
    context.par = kDefaults;
    for (int i = 0; i < kPlaneCount; ++i)
      context.planes[i] = img_create(i < 4 ? 1 : 2, kWidth, kHeight);
    GreyImage* fringes = make_fringes();
    img_copy(context.planes[PLANE_SOURCE], fringes);
    img_destroy(fringes);
    process_image(context);
  }
  ~Chain() {
    for (GreyImage* plane : context.planes) img_destroy(plane);
  }
  Chain(const Chain&) = delete;
  Chain& operator=(const Chain&) = delete;
  GreyImage* plane(int index) { return context.planes[index]; }
};

void BM_SmoothBinomial(benchmark::State& state) {
  Chain chain;
  for (auto _ : state) {
    state.PauseTiming();
    img_copy(chain.plane(PLANE_WORK), chain.plane(PLANE_SOURCE));
    state.ResumeTiming();
    smooth_binomial(chain.plane(PLANE_WORK));
  }
}
BENCHMARK(BM_SmoothBinomial)->Unit(benchmark::kMillisecond);

void BM_FringePhase(benchmark::State& state) {
  Chain chain;
  for (auto _ : state) {
    state.PauseTiming();
    img_copy(chain.plane(PLANE_WORK), chain.plane(PLANE_SOURCE));
    state.ResumeTiming();
    fringe_phase(chain.plane(PLANE_WORK), 29, 10.0);
  }
}
BENCHMARK(BM_FringePhase)->Unit(benchmark::kMillisecond);

void BM_EllipseMask(benchmark::State& state) {
  Chain chain;
  for (auto _ : state) {
    ellipse_mask(chain.plane(PLANE_MASK), 640, 512, 350, 350);
    clear_border_columns(chain.plane(PLANE_MASK), 14);
  }
}
BENCHMARK(BM_EllipseMask)->Unit(benchmark::kMillisecond);

void BM_FlawMask(benchmark::State& state) {
  Chain chain;
  for (auto _ : state) {
    state.PauseTiming();
    ellipse_mask(chain.plane(PLANE_MASK), 640, 512, 350, 350);
    state.ResumeTiming();
    flaw_mask(chain.plane(PLANE_MASK), chain.plane(PLANE_WORK), 16);
  }
}
BENCHMARK(BM_FlawMask)->Unit(benchmark::kMillisecond);

void BM_UnwrapOrders(benchmark::State& state) {
  Chain chain;
  for (auto _ : state) {
    state.PauseTiming();
    ellipse_mask(chain.plane(PLANE_MASK), 640, 512, 350, 350);
    flaw_mask(chain.plane(PLANE_MASK), chain.plane(PLANE_WORK), 16);
    state.ResumeTiming();
    unwrap_orders(chain.plane(PLANE_MASK), chain.plane(PLANE_WORK));
  }
}
BENCHMARK(BM_UnwrapOrders)->Unit(benchmark::kMillisecond);

void BM_CombinePhase(benchmark::State& state) {
  Chain chain;
  for (auto _ : state)
    combine_phase(chain.plane(PLANE_PHASE), chain.plane(PLANE_MASK), chain.plane(PLANE_WORK));
}
BENCHMARK(BM_CombinePhase)->Unit(benchmark::kMillisecond);

void BM_ProcessImage(benchmark::State& state) {
  Chain chain;
  for (auto _ : state) process_image(chain.context);
}
BENCHMARK(BM_ProcessImage)->Unit(benchmark::kMillisecond);

}  // namespace
