// Rendering costs: a whole colour map, and the drawing of one pointer move
// over a map (six labelled line scans, the marker bar, the magnifier).
#include <benchmark/benchmark.h>

#include <cmath>

#include "analysis/height_matrix.h"
#include "render/binomial_filter.h"
#include "render/colour_components.h"
#include "render/colour_map.h"
#include "render/line_scan.h"
#include "render/magnifier.h"
#include "render/marker_bar.h"

namespace {

// A difference map like the profile run leaves: a few microns of waviness.
HeightMatrix wavy_map() {
  HeightMatrix map;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) map(x, y) = 0.004 * std::sin(x * 0.05) * std::cos(y * 0.07);
  return map;
}

void BM_render_map_whole(benchmark::State& state) {
  const HeightMatrix map = wavy_map();
  Picture image(kMapSide, kMapSide);
  for (auto _ : state) {
    render_map(map, 0, 255, 0, 255, 20, image, colour_blue, colour_red, colour_green, -0.005, 0.005);
    benchmark::DoNotOptimize(image.row(128));
  }
}
BENCHMARK(BM_render_map_whole)->Unit(benchmark::kMicrosecond);

void BM_pointer_move(benchmark::State& state) {
  const HeightMatrix maps[3] = {wavy_map(), wavy_map(), wavy_map()};
  Picture horizontal[3] = {Picture(256, 40), Picture(256, 40), Picture(256, 42)};
  Picture vertical[3] = {Picture(40, 256), Picture(40, 256), Picture(40, 256)};
  Picture bar(20, 193);
  Picture lupe(164, 164);
  HeightMatrix magnifier_rows(164, 164, 0.0);
  int position = 40;
  for (auto _ : state) {
    position = position == 200 ? 40 : position + 1;  // the pointer moves
    const double fraction = position / 256.0;
    for (int m = 0; m < 3; ++m) {
      benchmark::DoNotOptimize(draw_horiz_scan(horizontal[m], maps[m], 0, 255, position, fraction, 1000.0));
      benchmark::DoNotOptimize(draw_vert_scan(vertical[m], maps[m], 0, 255, position, fraction, 1000.0));
    }
    draw_marker_bar(bar, fraction);
    render_magnifier(maps[0], position - 31, position + 31, position - 31, position + 31, 25, lupe, colour_blue,
                     colour_red, colour_green, -0.005, 0.005, magnifier_rows);
    benchmark::DoNotOptimize(lupe.row(80));
  }
}
BENCHMARK(BM_pointer_move)->Unit(benchmark::kMicrosecond);

// The display's three passes over a camera picture. Argument 0: fringes
// across the whole picture; 1: the same with its left half saturated (255),
// a flat stretch that reaches the border, like an overexposed area.
void BM_binomial_filter_camera_image(benchmark::State& state) {
  Picture original(1280, 1024, PixelFormat::indexed8);
  for (int y = 0; y < 1024; ++y)
    for (int x = 0; x < 1280; ++x)
      original.row(y)[x] =
          state.range(0) == 1 && x < 640 ? uint8_t{255} : static_cast<uint8_t>(128 + 100 * std::sin(x * 0.3));
  Picture image = original;
  for (auto _ : state) {
    state.PauseTiming();
    image = original;
    state.ResumeTiming();
    binomial_filter(image, 3);
    benchmark::DoNotOptimize(image.row(512));
  }
}
BENCHMARK(BM_binomial_filter_camera_image)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
