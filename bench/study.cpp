// Studies: runs per second of a 20-run study with the default 1280 x 1024
// settings, one job and two (each run on a thread of its own with its own
// context); the run measured alone on this thread for comparison; and what
// the study adds to a run: its wall time per run minus the time the
// measurement itself took, summed over the runs.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>

#include "settings/channel_settings.h"
#include "studies/study_run.h"
#include "studies/study_threads.h"

namespace {

using Clock = std::chrono::steady_clock;

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

// Runs the whole study once per iteration; the wall time in ms.
double run_study_with(benchmark::State& state, const StudyRunFunction& run, const StudyPlan& plan) {
  const std::vector<std::size_t> runs = all_runs(plan.run_count());
  const StudyThreadOptions options{static_cast<int>(state.range(0)), run};
  StudyStop stop;
  std::size_t failed = 0;
  const auto start = Clock::now();
  for (auto _ : state)
    run_on_threads(plan, runs, options, [&](const StudyRow& row) { failed += row.status == "ok" ? 0 : 1; }, stop);
  const double elapsed_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (failed != 0) state.SkipWithError("a run failed");
  const double run_count = static_cast<double>(runs.size()) * static_cast<double>(state.iterations());
  state.counters["runs_per_s"] = benchmark::Counter(run_count, benchmark::Counter::kIsRate);
  state.counters["ms_per_run"] = elapsed_ms / run_count;
  return elapsed_ms;
}

// Whole study: "apply" and "profile" of every run, in memory.
void BM_StudyRuns(benchmark::State& state) {
  const StudyPlan plan = study_plan();
  run_study_with(state, {}, plan);
}
BENCHMARK(BM_StudyRuns)->ArgName("jobs")->Arg(1)->Arg(2)->Iterations(3)->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// A run's work alone, on this thread with a context kept from run to run, as
// a study's thread keeps it: the study's overhead is the difference to
// BM_StudyRuns/jobs:1 per run.
void BM_RunInProcess(benchmark::State& state) {
  const StudyPlan plan = study_plan();
  MeasurementContext context;
  std::size_t run = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(measure_study_run(plan.run_settings(run++ % plan.run_count()), context));
}
BENCHMARK(BM_RunInProcess)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);

// The study's overhead per run in one measurement: the study's wall time per
// run minus the time its runs spent in measure_study_run (threads started
// and joined, settings made, rows handed over and reported).
void BM_RunOverhead(benchmark::State& state) {
  const StudyPlan plan = study_plan();
  std::atomic<long long> measuring_ns{0};
  const StudyRunFunction timed = [&](const StudyRunSettings& s, MeasurementContext& context) {
    const auto start = Clock::now();
    std::vector<double> figures = measure_study_run(s, context);
    measuring_ns += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    return figures;
  };
  const double elapsed_ms = run_study_with(state, timed, plan);
  const double run_count = static_cast<double>(plan.run_count()) * static_cast<double>(state.iterations());
  const double jobs = static_cast<double>(state.range(0));
  // With N jobs, N runs share the wall time.
  const double core_ms_per_run = static_cast<double>(measuring_ns.load()) * 1e-6 / run_count;
  state.counters["core_ms_per_run"] = core_ms_per_run;
  state.counters["overhead_ms_per_run"] = elapsed_ms * jobs / run_count - core_ms_per_run;
}
BENCHMARK(BM_RunOverhead)->ArgName("jobs")->Arg(1)->Iterations(3)->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
