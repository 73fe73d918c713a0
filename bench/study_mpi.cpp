// Studies across processes with MPI: runs per second of the fringe tool's
// 20-run study (default 1280 x 1024 settings) in one process (--jobs 1) and
// under mpirun with 1 and 2 ranks (one job each), start-up of the MPI job
// included. Skipped without mpirun.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr int kRuns = 20;

std::string& directory_made() {
  static std::string dir;
  return dir;
}

void remove_work_directory() {
  std::error_code ignored;
  std::filesystem::remove_all(directory_made(), ignored);
}

// A working directory with the default settings, made once and removed when
// the program ends.
const std::string& work_directory() {
  std::string& dir = directory_made();
  if (dir.empty()) {
    const auto path = std::filesystem::temp_directory_path() / ("bench-study-mpi-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
    dir = path.string();
    std::atexit(remove_work_directory);
    const std::string init = std::string(FRINGE_TOOL) + " init " + dir + " >/dev/null";
    if (std::system(init.c_str()) != 0) std::abort();
  }
  return dir;
}

void run_command(benchmark::State& state, const std::string& launcher) {
  if (!launcher.empty() && std::system("command -v mpirun >/dev/null") != 0) {
    state.SkipWithError("no mpirun");
    return;
  }
  const std::string& dir = work_directory();
  const std::string csv = dir + "/study.csv";
  const std::string command = launcher + std::string(FRINGE_TOOL) + " study --dir " + dir +
                              " --vary noise=0.1:1:10 --repeats 2 --jobs 1 --csv " + csv +
                              " >/dev/null 2>&1";
  for (auto _ : state) {
    std::filesystem::remove(csv);
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("the study failed");
      return;
    }
  }
  state.counters["runs_per_s"] = benchmark::Counter(
      static_cast<double>(kRuns) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_StudyOneProcess(benchmark::State& state) { run_command(state, ""); }
BENCHMARK(BM_StudyOneProcess)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_StudyMpiRanks(benchmark::State& state) {
  run_command(state, "mpirun --allow-run-as-root --oversubscribe -n " + std::to_string(state.range(0)) + " ");
}
BENCHMARK(BM_StudyMpiRanks)->ArgName("ranks")->Arg(1)->Arg(2)->Iterations(2)->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
