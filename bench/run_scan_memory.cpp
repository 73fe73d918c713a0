// Peak memory of run_scan, file in and file out, on the default sphere image:
// the process's peak resident size before the first scan and after the scans,
// and their difference, the most memory the scan held at once beyond what the
// process held already. A program of its own, as the peak is the process's.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/settings_file.h"
#include "scan/run_scan.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"

namespace {

double peak_resident_mib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
}

void run_scan_peak_memory(benchmark::State& state) {
  const auto dir = std::filesystem::temp_directory_path() / ("bench_run_scan_memory_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string image = (dir / "sim00.bmp").string();
  const std::string ini = (dir / "scnmod.ini").string();
  const std::string profile = (dir / "profile00.txt").string();
  write_lines(ini, {"[ScanParameter]", "LambdaF=10.0", "CamResX=0.01", "CamResY=0.01", "Alpha=30", "NFilt=3",
                    "FlawThr=15", "MaskRadius=3.3", "MAskXOfs=0.0", "MAskYOfs=0.0", "DepthLimit=-10.0"});
  // The picture is made by a child process, so that the synthesis's memory
  // does not count towards this process's peak.
  const pid_t child = fork();
  if (child == 0) {
    seed_random(1);
    _exit(synthesize_fringe_image(SimParams{}, image.c_str(), 64, 5) == 0 ? 0 : 1);
  }
  int status = 1;
  if (child < 0 || waitpid(child, &status, 0) != child || status != 0) {
    state.SkipWithError("cannot make the fringe image");
    return;
  }
  const double before = peak_resident_mib();
  for (auto _ : state) run_scan(image.c_str(), nullptr, ini.c_str(), "ScanParameter", profile.c_str());
  const double after = peak_resident_mib();
  state.counters["peak_before_MiB"] = before;
  state.counters["peak_after_MiB"] = after;
  state.counters["run_scan_MiB"] = after - before;
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}
BENCHMARK(run_scan_peak_memory)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
