// The run behind "profile" on the default fringe image: whole, and the part
// after the scan (reading the profile back through the two renders).
#include <benchmark/benchmark.h>

#include <array>

#include <filesystem>

#include "analysis/height_text_file.h"
#include "runs/profile_run.h"
#include "analysis/reference_sphere.h"
#include "common/settings_file.h"
#include "render/colour_components.h"
#include "render/colour_map.h"
#include "scan/run_scan.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"

namespace {

// A working directory with the default settings and fringe image of channel 0.
void prepare_directory() {
  static bool done = false;
  if (done) return;
  const auto dir = std::filesystem::temp_directory_path() / "bench_profile_run";
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  write_lines("scnmod.ini", {"[ScanParameter]", "LambdaF=10.0", "CamResX=0.01", "CamResY=0.01",
                             "Alpha=30", "NFilt=3", "FlawThr=15", "MaskRadius=3.3",
                             "MAskXOfs=0.0", "MAskYOfs=0.0", "DepthLimit=-10.0"});
  seed_random(1);
  synthesize_fringe_image(SimParams{}, "sim00.bmp", 64, 5);
  run_scan("./sim00.bmp", nullptr, "./scnmod.ini", "ScanParameter", "./profile00.txt");
  done = true;
}

void BM_ProfileRunWhole(benchmark::State& state) {
  prepare_directory();
  std::array<ChannelMaps, 2> channels;
  HeightMatrix diff;
  Picture map_image(256, 256), diff_image(256, 256);
  SilentObserver observer;
  for (auto _ : state) {
    ProfileRun run{.channel = 0, .channels = {&channels[0], &channels[1]},
                   .difference_map = diff,
                   .radius_text = "7.5", .mask_radius_text = "3.3", .map_image = map_image,
                   .diff_image = diff_image};
    run_profile_comparison(run, observer);
  }
}
BENCHMARK(BM_ProfileRunWhole)->Unit(benchmark::kMillisecond);

// Steps 7 to 19: everything the run does after the scan module has written
// the profile.
void BM_ProfileRunAfterScan(benchmark::State& state) {
  prepare_directory();
  HeightMatrix h0, h1, measured, sphere, diff;
  Picture map_image(256, 256), diff_image(256, 256);
  for (auto _ : state) {
    const ProfileGrid grid = read_profile("./profile00.txt", h0, 256, 256);
    const double field = grid.side_x * grid.step_x;
    fill_single_gaps(h0);
    measured = h0;
    const double apex = (h0(127, 128) + h0(129, 128) + h0(128, 127) + h0(128, 129)) * 0.25;
    perfect_sphere(7.5, field, 256, 0.0, 0.0, apex, sphere);
    write_heights("perfect_sphere00.txt", sphere, 256, 256, grid.step_x, grid.step_y);
    masked_difference(field, field * 0.5, field * 0.5, 3.3, h0, sphere, h0);
    render_map(h0, 0, 255, 0, 255, 20, map_image, colour_blue, colour_red, colour_green, -0.005, 0.005);
    subtract_maps(h0, h1, diff, 256, 256);
    render_map(diff, 0, 255, 0, 255, 20, diff_image, colour_blue, colour_red, colour_green, -0.005,
               0.005);
    benchmark::DoNotOptimize(diff_image.row(0));
  }
}
BENCHMARK(BM_ProfileRunAfterScan)->Unit(benchmark::kMillisecond);

}  // namespace
