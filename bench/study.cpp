// Studies: runs per second of a 20-run study with the default 1280 x 1024
// settings, one job and two (each run in a worker process of its own); the
// run measured alone in this process for comparison; and the overhead a run
// pays for its process, folder and settings files, measured with a run that
// only writes its settings files.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <unistd.h>

#include "runs/channel_settings.h"
#include "runs/study_run.h"
#include "runs/study_workers.h"
#include "study_worker/settings_only.h"

namespace {

constexpr int kRuns = 20;

StudyPlan study_plan() {
  const ChannelSettingsTexts texts;
  StudyRunSettings base;
  base.scan = scan_settings_lines(texts);
  base.image = image_settings_lines(texts);
  // 10 noise levels x 2 repeats: every run draws noise, none is trivial.
  return StudyPlan(base, {parse_study_axis("noise=0.1:1:10")}, 2, 1);
}

std::vector<std::size_t> all_runs(std::size_t count) {
  std::vector<std::size_t> runs(count);
  for (std::size_t i = 0; i < count; ++i) runs[i] = i;
  return runs;
}

void run_study_with(benchmark::State& state, const StudyRunFunction& run, const StudyPlan& plan) {
  const std::vector<std::size_t> runs = all_runs(plan.run_count());
  StudyWorkerOptions options{static_cast<int>(state.range(0)), study_work_root(), run};
  StudyStop stop;
  std::size_t failed = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state)
    run_in_workers(plan, runs, options, [&](const StudyRow& row) { failed += row.status == "ok" ? 0 : 1; }, stop);
  const double elapsed_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (failed != 0) state.SkipWithError("a run failed");
  state.counters["runs_per_s"] =
      benchmark::Counter(static_cast<double>(runs.size()) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
  state.counters["ms_per_run"] =
      elapsed_ms / (static_cast<double>(runs.size()) * static_cast<double>(state.iterations()));
}

// Whole study: "apply" and "profile" in each worker.
void BM_StudyRuns(benchmark::State& state) {
  const StudyPlan plan = study_plan();
  run_study_with(state, {}, plan);
}
BENCHMARK(BM_StudyRuns)->ArgName("jobs")->Arg(1)->Arg(2)->Iterations(3)->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// A run's work alone, in this process: what the workers add is the
// difference to BM_StudyRuns/jobs:1 per run.
void BM_RunInProcess(benchmark::State& state) {
  const StudyPlan plan = study_plan();
  const auto folder = std::filesystem::path(study_work_root()) / ("bench-study-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  std::size_t run = 0;
  for (auto _ : state) benchmark::DoNotOptimize(measure_study_run(plan.run_settings(run++ % kRuns)));
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_RunInProcess)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);

// A run's process, pipe, folder, order and settings files, without the run:
// the overhead per run of the worker scheme. `spawn`: the worker program
// started afresh, as every measured run is (a stand-in program whose runs
// only write their settings files); `fork`: a fork of this process, as runs
// given by a function are.
void BM_RunOverhead(benchmark::State& state) {
  const StudyPlan plan = study_plan();
  if (state.range(1) == 1) {
    ::setenv("FRINGE_STUDY_WORKER", SETTINGS_ONLY_WORKER, 1);
    run_study_with(state, {}, plan);
    ::unsetenv("FRINGE_STUDY_WORKER");
  } else {
    run_study_with(state, write_settings_only, plan);
  }
}
BENCHMARK(BM_RunOverhead)->ArgNames({"jobs", "spawn"})->Args({1, 1})->Args({1, 0})->Iterations(5)
    ->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
