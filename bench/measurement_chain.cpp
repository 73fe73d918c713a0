// The measurement chain side by side in one run, so that its steps can be
// compared with the one step that cannot be avoided, the phase filter:
//
//   phase_filter            fringe_phase on the default sphere image
//   window_dot_products     the bare multiply-adds of the same windows
//   run_scan                file in, file out, parameter file included
//   save_profile            scn_SaveProfile: whole, the text alone (written to
//                           /dev/null, which is written in place) and the
//                           replacement of a file of that size alone, not
//                           waiting for the disk as the writer does, and synced
//   read_profile            the profile run's read-back of that file
//   synthesis/<noise>       a 1280 x 1024 picture, noise 0 and 1, into
//                           /dev/null (the computation) and into a file
//   apply_profile           "apply" and then "profile" of channel 0, the
//                           whole chain the window runs
//
// Every benchmark works in a directory of its own under the temporary
// directory, made once per process.
//
// The window kernels below are compiled for every vector target and chosen
// as the chain's kernels are (docs/vector-layer.md); the rest once.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "bench/measurement_chain.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <cstdint>

// The windows fringe_phase measures in a row: window starts first .. end - 1
// of `taps` taps each.
#ifndef FRINGE_BENCH_WINDOW_RUN
#define FRINGE_BENCH_WINDOW_RUN
struct WindowRun {
  int32_t taps;
  int32_t first;
  int32_t end;
};
#endif

HWY_BEFORE_NAMESPACE();
namespace fringe_bench::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Sums of the windows of each run, eight rows per window (grey holds eight
// rows per column, side by side), four windows at a time, into re and im
// (eight values per window). Vectors of as many rows as the target holds.
void RowDotProducts(const double* grey, const double* c, const double* s, const WindowRun* runs,
                    std::size_t count, double* re, double* im) {
  const hn::CappedTag<double, 8> d;
  const std::size_t lanes = hn::Lanes(d);
  for (const WindowRun* run = runs; run != runs + count; ++run) {
    for (int32_t j = run->first; j < run->end; j += 4) {
      for (std::size_t row = 0; row < 8; row += lanes) {
        auto re0 = hn::Zero(d), re1 = re0, re2 = re0, re3 = re0;
        auto im0 = re0, im1 = re0, im2 = re0, im3 = re0;
        for (int32_t i = 0; i < run->taps; ++i) {
          const double* at = grey + (j + i) * 8 + row;
          const auto cosine = hn::Set(d, c[i]);
          const auto sine = hn::Set(d, s[i]);
          const auto g0 = hn::LoadU(d, at), g1 = hn::LoadU(d, at + 8);
          const auto g2 = hn::LoadU(d, at + 16), g3 = hn::LoadU(d, at + 24);
          re0 = hn::Add(re0, hn::Mul(g0, cosine));
          re1 = hn::Add(re1, hn::Mul(g1, cosine));
          re2 = hn::Add(re2, hn::Mul(g2, cosine));
          re3 = hn::Add(re3, hn::Mul(g3, cosine));
          im0 = hn::Add(im0, hn::Mul(g0, sine));
          im1 = hn::Add(im1, hn::Mul(g1, sine));
          im2 = hn::Add(im2, hn::Mul(g2, sine));
          im3 = hn::Add(im3, hn::Mul(g3, sine));
        }
        const std::size_t out = static_cast<std::size_t>(j - run->first) * 8 + row;
        hn::StoreU(re0, d, re + out);
        hn::StoreU(re1, d, re + out + 8);
        hn::StoreU(re2, d, re + out + 16);
        hn::StoreU(re3, d, re + out + 24);
        hn::StoreU(im0, d, im + out);
        hn::StoreU(im1, d, im + out + 8);
        hn::StoreU(im2, d, im + out + 16);
        hn::StoreU(im3, d, im + out + 24);
      }
    }
  }
}

// Sums of the windows of each run of one row, neighbouring windows side by
// side, four vectors of windows at a time.
void ColumnDotProducts(const double* line, const double* c, const double* s, const WindowRun* runs,
                       std::size_t count, double* re, double* im) {
  const hn::ScalableTag<double> d;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  for (const WindowRun* run = runs; run != runs + count; ++run) {
    for (int32_t j = run->first; j < run->end; j += 4 * lanes) {
      auto re0 = hn::Zero(d), re1 = re0, re2 = re0, re3 = re0;
      auto im0 = re0, im1 = re0, im2 = re0, im3 = re0;
      for (int32_t i = 0; i < run->taps; ++i) {
        const double* at = line + j + i;
        const auto cosine = hn::Set(d, c[i]);
        const auto sine = hn::Set(d, s[i]);
        const auto g0 = hn::LoadU(d, at), g1 = hn::LoadU(d, at + lanes);
        const auto g2 = hn::LoadU(d, at + 2 * lanes), g3 = hn::LoadU(d, at + 3 * lanes);
        re0 = hn::Add(re0, hn::Mul(g0, cosine));
        re1 = hn::Add(re1, hn::Mul(g1, cosine));
        re2 = hn::Add(re2, hn::Mul(g2, cosine));
        re3 = hn::Add(re3, hn::Mul(g3, cosine));
        im0 = hn::Add(im0, hn::Mul(g0, sine));
        im1 = hn::Add(im1, hn::Mul(g1, sine));
        im2 = hn::Add(im2, hn::Mul(g2, sine));
        im3 = hn::Add(im3, hn::Mul(g3, sine));
      }
      hn::StoreU(re0, d, re + j);
      hn::StoreU(re1, d, re + j + lanes);
      hn::StoreU(re2, d, re + j + 2 * lanes);
      hn::StoreU(re3, d, re + j + 3 * lanes);
      hn::StoreU(im0, d, im + j);
      hn::StoreU(im1, d, im + j + lanes);
      hn::StoreU(im2, d, im + j + 2 * lanes);
      hn::StoreU(im3, d, im + j + 3 * lanes);
    }
  }
}

// The target the kernels above run at.
int64_t KernelTarget() { return HWY_TARGET; }

}  // namespace fringe_bench::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace fringe_bench {
HWY_EXPORT(RowDotProducts);
HWY_EXPORT(ColumnDotProducts);
HWY_EXPORT(KernelTarget);
}  // namespace fringe_bench

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "analysis/height_matrix.h"
#include "analysis/height_text_file.h"
#include "runs/profile_run.h"
#include "common/replace_file.h"
#include "common/settings_file.h"
#include "common/work_files.h"
#include "render/picture.h"
#include "scan.h"
#include "scan/default_par.h"
#include "scan/image_processing.h"
#include "scan/run_scan.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"
#include "simulation/sim_params.h"
#include "runs/simulation_run.h"

namespace {

const ScnPar kDefaults = kDefaultScnPar;

// A working directory with channel 0's settings, its fringe image (default
// sphere, noise 0) and a profile of it, entered once.
void enter_work_directory() {
  static const bool done = [] {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("bench_measurement_chain_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    write_lines("scnmod.ini", {"[ScanParameter]", "LambdaF=10.0", "CamResX=0.01", "CamResY=0.01",
                               "Alpha=30", "NFilt=3", "FlawThr=15", "MaskRadius=3.3",
                               "MAskXOfs=0.0", "MAskYOfs=0.0", "DepthLimit=-10.0"});
    seed_random(1);
    synthesize_fringe_image(SimParams{}, "sim00.bmp", 64, 5);
    run_scan(file_sim_0, nullptr, file_scan_settings_0, scan_section, file_profile_0);
    std::atexit([] {
      std::error_code ignored;
      const auto here = std::filesystem::current_path(ignored);
      std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
      std::filesystem::remove_all(here, ignored);
    });
    return true;
  }();
  (void)done;
}

// The default fringe image smoothed as the chain smooths it before the phase
// filter (NFilt = 3), loaded once.
const GreyImage* smoothed_fringes() {
  static GreyImage* image = [] {
    enter_work_directory();
    GreyImage* loaded = nullptr;
    img_load_bmp(&loaded, file_sim_0);
    for (int pass = 0; pass < kDefaults.NFilt; ++pass) smooth_binomial(loaded);
    return loaded;
  }();
  return image;
}

void phase_filter(benchmark::State& state) {
  const GreyImage* source = smoothed_fringes();
  GreyImage* work = img_create(1, source->width, source->height);
  for (auto _ : state) {
    state.PauseTiming();
    img_copy(work, source);
    state.ResumeTiming();
    fringe_phase(work, phase_window(kDefaults.LambdaF), kDefaults.LambdaF);
    benchmark::DoNotOptimize(work->pixels);
  }
  img_destroy(work);
}
BENCHMARK(phase_filter)->Unit(benchmark::kMillisecond);

// ---- The multiply-add bound of the phase filter ---------------------------
//
// The same windows as fringe_phase measures (the documented plan: the local
// period from period - 5 to period + 5, kernels rebuilt every 32 window
// starts with phase_window(local period) taps, the columns a growing window
// would skip measured as well, the row ending where a rebuilt window no
// longer fits), each a dot product of grey levels with a cosine and a sine
// kernel. Nothing else: no angle, no bytes, no border, no conversion of the
// grey levels. In the widest vectors the processor has (the kernels at the
// top of this file), in two layouts:
//
//   rows:    eight rows side by side, one row per lane, so that every load
//            serves all lanes; four windows at a time keep their sums in
//            registers. 128 groups of eight rows over one group's grey
//            levels.
//   columns: neighbouring windows of one row side by side, four vectors of
//            them at a time; 1024 rows over one row's grey levels.

std::vector<WindowRun> window_runs(int32_t width, double period) {
  std::vector<WindowRun> runs;
  int32_t previous_half = -1;
  for (int32_t j = 0;; j += 32) {
    const double half_width = 0.5 * width;
    double local = j <= width / 2 ? (period - 5.0) + j / half_width * 5.0
                                  : period + (j - half_width) / half_width * 5.0;
    if (!(local >= 5.0)) local = 5.0;
    const int32_t taps = phase_window(local);
    const int32_t last_start = width - taps;
    if (j > last_start) break;
    int32_t first = j;
    if (previous_half >= 0 && taps / 2 > previous_half) first = std::max(0, j - (taps / 2 - previous_half));
    const int32_t end = std::min(j + 32, last_start + 1);
    if (end > first) runs.push_back({taps, first, end});
    if (j + 32 > last_start) break;
    previous_half = taps / 2;
  }
  return runs;
}

// Argument 0: rows, 1: columns.
void window_dot_products(benchmark::State& state) {
  const GreyImage* source = smoothed_fringes();
  const int32_t width = source->width;
  const std::vector<WindowRun> runs = window_runs(width, kDefaults.LambdaF);
  std::array<double, 128> c{}, s{};
  for (int32_t i = 0; i < 128; ++i) {
    c[i] = std::cos(0.2 * i);
    s[i] = std::sin(0.2 * i);
  }
  const auto room = static_cast<std::size_t>(width) + 256;
  // Eight rows per column for the row layout, from rows 512..519.
  auto* grey = new (std::align_val_t{64}) double[room * 8]();
  for (int32_t x = 0; x < width; ++x)
    for (int32_t r = 0; r < 8; ++r) grey[x * 8 + r] = img_line(source, 512 + r)[x];
  std::vector<double> line(room, 0.0), re(room * 8), im(room * 8);
  std::copy(img_line(source, 512), img_line(source, 512) + width, line.begin());
  const bool rows = state.range(0) == 0;
  state.SetLabel(std::string(rows ? "rows, " : "columns, ") +
                 hwy::TargetName(HWY_DYNAMIC_DISPATCH(fringe_bench::KernelTarget)()));
  for (auto _ : state) {
    if (rows) {
      for (int32_t group = 0; group < (source->height + 7) / 8; ++group) {
        HWY_DYNAMIC_DISPATCH(fringe_bench::RowDotProducts)(grey, c.data(), s.data(), runs.data(), runs.size(),
                                                           re.data(), im.data());
        benchmark::DoNotOptimize(re.data());
      }
    } else {
      for (int32_t y = 0; y < source->height; ++y) {
        HWY_DYNAMIC_DISPATCH(fringe_bench::ColumnDotProducts)(line.data(), c.data(), s.data(), runs.data(),
                                                              runs.size(), re.data(), im.data());
        benchmark::DoNotOptimize(re.data());
      }
    }
  }
  ::operator delete[](grey, std::align_val_t{64});
}
BENCHMARK(window_dot_products)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// ---- The engine, file in and file out ---------------------------------------

void run_scan_file_to_file(benchmark::State& state) {
  enter_work_directory();
  for (auto _ : state)
    run_scan(file_sim_0, nullptr, file_scan_settings_0, scan_section, "./bench_profile.txt");
}
BENCHMARK(run_scan_file_to_file)->Unit(benchmark::kMillisecond);

// A context holding the profile of the default image.
ScnHandle profiled_handle() {
  enter_work_directory();
  ScnHandle handle = scn_Init();
  scn_SetPar(handle, &kDefaults);
  scn_LoadImage(handle, file_sim_0);
  scn_ImageProcessing(handle);
  scn_ProfileCalculation(handle, 0);
  return handle;
}

void save_profile_whole(benchmark::State& state) {
  ScnHandle handle = profiled_handle();
  for (auto _ : state) scn_SaveProfile(handle, "./bench_profile.txt");
  scn_Exit(handle);
}
BENCHMARK(save_profile_whole)->Unit(benchmark::kMillisecond);

// A device is written in place: the text is made and handed to write(),
// without temporary file, fsync or rename.
void save_profile_text_only(benchmark::State& state) {
  ScnHandle handle = profiled_handle();
  for (auto _ : state) scn_SaveProfile(handle, "/dev/null");
  scn_Exit(handle);
}
BENCHMARK(save_profile_text_only)->Unit(benchmark::kMillisecond);

// The replacement alone, with the bytes of the profile file, as the profile
// writer replaces it (argument 0: not waiting for the disk) and as a file
// users keep is replaced (1: synced first).
void save_profile_replacement_only(benchmark::State& state) {
  enter_work_directory();
  std::ifstream in(file_profile_0, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const Durability durability = state.range(0) == 0 ? Durability::atomic_only : Durability::synced;
  for (auto _ : state) benchmark::DoNotOptimize(write_file_whole("./bench_profile.txt", bytes, durability));
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(save_profile_replacement_only)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void read_profile_back(benchmark::State& state) {
  enter_work_directory();
  HeightMatrix map;
  for (auto _ : state) {
    const ProfileGrid grid = read_profile(file_profile_0, map, kMapSide, kMapSide);
    benchmark::DoNotOptimize(grid);
    benchmark::DoNotOptimize(map.data());
  }
}
BENCHMARK(read_profile_back)->Unit(benchmark::kMillisecond);

// ---- The synthesis -----------------------------------------------------------

// Argument: noise weight in tenths; second argument 0 writes to /dev/null
// (in place, no durability work), 1 to a file in the work directory.
void synthesis(benchmark::State& state) {
  enter_work_directory();
  SimParams params;  // 1280 x 1024, the default sphere
  params.noise = static_cast<double>(state.range(0)) / 10.0;
  const char* path = state.range(1) == 0 ? "/dev/null" : "./bench_sim.bmp";
  seed_random(1);
  for (auto _ : state) {
    if (synthesize_fringe_image(params, path, 64, 5) != 0) {
      state.SkipWithError("cannot write the bitmap");
      break;
    }
  }
}
BENCHMARK(synthesis)->ArgsProduct({{0, 10}, {0, 1}})->Unit(benchmark::kMillisecond);

// ---- The whole chain of one channel -------------------------------------------

// "apply" (synthesis, the picture shown, the smoothed display picture and its
// file, the grey-level scan) and then "profile" (the scan module, the
// read-back, the sphere comparison, both renders), as the window runs them.
void apply_profile(benchmark::State& state) {
  enter_work_directory();
  SimParams params;
  Picture image(256, 256, PixelFormat::indexed8), scan_plot(256, 31);
  HeightMatrix scratch, difference;
  std::array<ChannelMaps, 2> channels;
  Picture map_image(256, 256), diff_image(256, 256);
  SilentObserver observer;
  SimulationInputs inputs;  // channel 0, contrast 1, noise 0, 64, 3 passes
  for (auto _ : state) {
    run_simulation(inputs, params, image, scan_plot, scratch, observer);
    ProfileRun run{.channel = 0, .channels = {&channels[0], &channels[1]},
                   .difference_map = difference,
                   .radius_text = "7.5", .mask_radius_text = "3.3", .map_image = map_image,
                   .diff_image = diff_image};
    run_profile_comparison(run, observer);
    benchmark::DoNotOptimize(diff_image.row(0));
  }
}
BENCHMARK(apply_profile)->Unit(benchmark::kMillisecond);

}  // namespace

#endif  // HWY_ONCE
