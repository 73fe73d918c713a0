// The engine through its exported functions on a 1280 x 1024 fringe image of
// the default sphere, as the workbench's "profile" run uses it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include "scan.h"
#include "scan/default_par.h"
#include "scan/run_scan.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"
#include "simulation/sim_params.h"

namespace {

const ScnPar kDefaults = kDefaultScnPar;

// Writes the fringe image once per process into the temporary directory.
const std::string& fringe_file() {
  static const std::string path = [] {
    std::string p = (std::filesystem::temp_directory_path() / "bench_sim00.bmp").string();
    seed_random(1);
    synthesize_fringe_image(SimParams{}, p.c_str(), 64, 5);
    return p;
  }();
  return path;
}

void BM_LoadImage(benchmark::State& state) {
  ScnHandle handle = scn_Init();
  for (auto _ : state) benchmark::DoNotOptimize(scn_LoadImage(handle, fringe_file().c_str()));
  scn_Exit(handle);
}
BENCHMARK(BM_LoadImage)->Unit(benchmark::kMillisecond);

void BM_ImageProcessing(benchmark::State& state) {
  ScnHandle handle = scn_Init();
  scn_SetPar(handle, &kDefaults);
  scn_LoadImage(handle, fringe_file().c_str());
  for (auto _ : state) scn_ImageProcessing(handle);
  scn_Exit(handle);
}
BENCHMARK(BM_ImageProcessing)->Unit(benchmark::kMillisecond);

void BM_ProfileCalculation(benchmark::State& state) {
  ScnHandle handle = scn_Init();
  scn_SetPar(handle, &kDefaults);
  scn_LoadImage(handle, fringe_file().c_str());
  scn_ImageProcessing(handle);
  for (auto _ : state) scn_ProfileCalculation(handle, 0);
  scn_Exit(handle);
}
BENCHMARK(BM_ProfileCalculation)->Unit(benchmark::kMillisecond);

void BM_SaveProfile(benchmark::State& state) {
  const std::string out = (std::filesystem::temp_directory_path() / "bench_profile.txt").string();
  ScnHandle handle = scn_Init();
  scn_SetPar(handle, &kDefaults);
  scn_LoadImage(handle, fringe_file().c_str());
  scn_ImageProcessing(handle);
  scn_ProfileCalculation(handle, 0);
  for (auto _ : state) scn_SaveProfile(handle, out.c_str());
  scn_Exit(handle);
  std::remove(out.c_str());
}
BENCHMARK(BM_SaveProfile)->Unit(benchmark::kMillisecond);

// File in, file out, with the parameter file read as the workbench reads it.
void BM_RunScan(benchmark::State& state) {
  const auto dir = std::filesystem::temp_directory_path();
  const std::string ini = (dir / "bench_scnmod.ini").string();
  const std::string out = (dir / "bench_profile.txt").string();
  scn_SavePar(&kDefaults, ini.c_str(), "ScanParameter");
  for (auto _ : state)
    run_scan(fringe_file().c_str(), nullptr, ini.c_str(), "ScanParameter", out.c_str());
  std::remove(ini.c_str());
  std::remove(out.c_str());
}
BENCHMARK(BM_RunScan)->Unit(benchmark::kMillisecond);

}  // namespace
