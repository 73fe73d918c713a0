// Runs of a study in worker processes: rows whatever the number of jobs,
// failures and crashes as rows, stopping, and nothing left behind.
#include "runs/study_workers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "common/errors.h"
#include "runs/channel_settings.h"
#include "runs/study_run.h"
#include "temp_dir.h"

namespace {

StudyPlan plan_of(std::initializer_list<const char*> vary, int repeats) {
  const ChannelSettingsTexts texts;
  StudyRunSettings base;
  base.scan = scan_settings_lines(texts);
  base.image = image_settings_lines(texts);
  std::vector<StudyAxis> axes;
  for (const char* text : vary) axes.push_back(parse_study_axis(text));
  return StudyPlan(base, std::move(axes), repeats, 3);
}

std::vector<std::size_t> all_runs(const StudyPlan& plan) {
  std::vector<std::size_t> runs(plan.run_count());
  for (std::size_t i = 0; i < runs.size(); ++i) runs[i] = i;
  return runs;
}

// A stand-in for the measurement: figures from the settings it got, and proof
// that it ran in a folder of its own with the settings files written there.
std::vector<double> echo_run(const StudyRunSettings& s) {
  std::ofstream("own.txt") << s.seed;
  const std::string here = std::filesystem::current_path().filename().string();
  return {s.noise, s.contrast, static_cast<double>(s.seed),
          here.starts_with("run-") ? 1.0 : 0.0,
          static_cast<double>(std::distance(std::filesystem::directory_iterator("."), {}))};
}

struct Collected {
  std::vector<StudyRow> rows;
  std::vector<StudyRow> by_run() const {
    std::vector<StudyRow> sorted = rows;
    std::sort(sorted.begin(), sorted.end(), [](const StudyRow& a, const StudyRow& b) { return a.run < b.run; });
    return sorted;
  }
};

bool no_children_left() { return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }

// Figures compared bit for bit: a NaN figure equals the same NaN.
std::vector<uint64_t> bits_of(const std::vector<double>& figures) {
  std::vector<uint64_t> bits;
  for (double value : figures) bits.push_back(std::bit_cast<uint64_t>(value));
  return bits;
}

// Every cut of a record's bytes, a byte too many and a count (the byte at
// `count_at`) beyond the bytes are refused by `decode`.
template <typename Decode>
void expect_damage_refused(const std::string& bytes, Decode decode, std::size_t count_at) {
  for (std::size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_FALSE(decode(std::string_view(bytes).substr(0, cut))) << cut << " bytes";
  EXPECT_FALSE(decode(bytes + "x"));
  std::string huge = bytes;
  huge[count_at] = '\xff';
  EXPECT_FALSE(decode(huge));
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) { ::setenv(name, value.c_str(), 1); }
  ~ScopedEnv() { ::unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
};

TEST(StudyWorkers, SameRowsWhateverTheNumberOfJobs) {
  TempDir dir;
  std::filesystem::create_directory("work");
  const StudyPlan plan = plan_of({"noise=0:1:5", "contrast=0.5,1"}, 2);
  std::vector<std::vector<StudyRow>> results;
  for (int jobs : {1, 2, 5}) {
    Collected got;
    StudyStop stop;
    const bool complete = run_in_workers(plan, all_runs(plan), {jobs, (dir.path() / "work").string(), echo_run},
                                         [&](StudyRow row) { got.rows.push_back(std::move(row)); }, stop);
    EXPECT_TRUE(complete);
    ASSERT_EQ(got.rows.size(), plan.run_count()) << jobs << " jobs";
    results.push_back(got.by_run());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "work")) << "every folder removed";
    EXPECT_TRUE(no_children_left());
  }
  for (std::size_t run = 0; run < plan.run_count(); ++run) {
    const StudyRow& row = results[0][run];
    const StudyRunSettings s = plan.run_settings(run);
    EXPECT_EQ(row.status, "ok");
    EXPECT_EQ(row.figures, (std::vector<double>{s.noise, s.contrast, double(s.seed), 1.0, 1.0}))
        << "run " << run << ": own folder, only its own file in it";
    for (std::size_t r = 1; r < results.size(); ++r) {
      EXPECT_EQ(results[r][run].figures, row.figures);
      EXPECT_EQ(results[r][run].status, row.status);
    }
  }
}

TEST(StudyWorkers, FailuresAndCrashesAreRowsAndTheOthersGoOn) {
  TempDir dir;
  const StudyPlan plan = plan_of({"noise=0,0.25,0.5,0.75,1"}, 1);
  const StudyRunFunction troubled = [](const StudyRunSettings& s) -> std::vector<double> {
    if (s.noise == 0.25) throw std::runtime_error("Cannot open file \"./sim00.bmp\"\nsecond line");
    if (s.noise == 0.5) std::raise(SIGKILL);
    if (s.noise == 0.75) ::_exit(3);
    return {s.noise};
  };
  Collected got;
  StudyStop stop;
  EXPECT_TRUE(run_in_workers(plan, all_runs(plan), {2, dir.path().string(), troubled},
                             [&](StudyRow row) { got.rows.push_back(std::move(row)); }, stop));
  const std::vector<StudyRow> rows = got.by_run();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].status, "ok");
  EXPECT_EQ(rows[1].status, "Cannot open file \"./sim00.bmp\" second line") << "on one line";
  EXPECT_EQ(rows[2].status, "the worker process ended by signal 9 (Killed)");
  EXPECT_EQ(rows[3].status, "the worker process exited with status 3 without a result");
  EXPECT_EQ(rows[4].figures, (std::vector<double>{1.0}));
  for (const StudyRow& row : rows) EXPECT_EQ(row.figures.empty(), row.status != "ok") << row.status;
  EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "folders of crashed workers removed too";
}

TEST(StudyWorkers, StopKillsTheWorkersOutAndReportsNoneOfThem) {
  TempDir dir;
  const StudyPlan plan = plan_of({"noise=0:1:11"}, 1);
  const StudyRunFunction slow = [](const StudyRunSettings& s) -> std::vector<double> {
    if (s.noise > 0.15) std::this_thread::sleep_for(std::chrono::seconds(30));
    return {s.noise};
  };
  Collected got;
  StudyStop stop;
  const auto start = std::chrono::steady_clock::now();
  const bool complete = run_in_workers(plan, all_runs(plan), {3, dir.path().string(), slow},
                                       [&](StudyRow row) {
                                         got.rows.push_back(std::move(row));
                                         if (got.rows.size() == 2) stop.request();
                                       },
                                       stop);
  EXPECT_FALSE(complete);
  EXPECT_EQ(got.rows.size(), 2u) << "the two fast runs; the slow ones were killed unreported";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_TRUE(no_children_left());
}

TEST(StudyWorkers, AnErrorWhileKeepingARowLeavesNothingBehind) {
  TempDir dir;
  const StudyPlan plan = plan_of({"noise=0:1:6"}, 1);
  StudyStop stop;
  EXPECT_THROW(run_in_workers(plan, all_runs(plan), {3, dir.path().string(), echo_run},
                              [](StudyRow) { throw std::runtime_error("disk full"); }, stop),
               std::runtime_error);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_TRUE(no_children_left());
  // A work folder that cannot be made is an error before any run.
  EXPECT_THROW(run_in_workers(plan, all_runs(plan), {1, "/nonexistent/work", echo_run},
                              [](StudyRow) {}, stop),
               std::exception);
}

// Measured runs start the worker program afresh. Their figures are those of
// the measurement in this process, bit for bit, and they come back while
// another thread of this process allocates all the time: a forked child
// could inherit that thread's allocator lock and wait for it forever.
TEST(StudyWorkerProgram, RunsMatchTheMeasurementHereWhileAnotherThreadAllocates) {
  TempDir dir;
  std::filesystem::create_directory("work");
  const StudyPlan plan = plan_of({"noise=0,1"}, 2);
  std::atomic<bool> stop_churn{false};
  std::thread churn([&] {
    while (!stop_churn.load()) {
      std::vector<std::unique_ptr<char[]>> blocks;
      for (int i = 0; i < 64; ++i) blocks.emplace_back(new char[4096 + 16 * i]);
    }
  });
  Collected got;
  StudyStop stop;
  const bool complete = run_in_workers(plan, all_runs(plan), {2, (dir.path() / "work").string(), {}},
                                       [&](StudyRow row) { got.rows.push_back(std::move(row)); }, stop);
  stop_churn.store(true);
  churn.join();
  EXPECT_TRUE(complete);
  const std::vector<StudyRow> rows = got.by_run();
  ASSERT_EQ(rows.size(), plan.run_count());
  for (std::size_t run = 0; run < rows.size(); ++run) {
    const std::filesystem::path here = dir.path() / ("here-" + std::to_string(run));
    std::filesystem::create_directory(here);
    std::filesystem::current_path(here);
    const std::vector<double> expected = measure_study_run(plan.run_settings(run));
    EXPECT_EQ(rows[run].status, "ok");
    EXPECT_EQ(rows[run].run, run);
    EXPECT_EQ(bits_of(rows[run].figures), bits_of(expected)) << "run " << run;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "work"));
  EXPECT_TRUE(no_children_left());
}

// A worker program that is not there, not a file or not executable is an
// error naming it before any run, with nothing left behind.
TEST(StudyWorkerProgram, OneThatCannotBeStartedIsAnErrorBeforeAnyRun) {
  TempDir dir;
  std::filesystem::create_directory("work");
  std::ofstream("not-executable") << "#!/bin/sh\n";
  std::filesystem::create_directory("folder");
  const StudyPlan plan = plan_of({"noise=0,1"}, 1);
  for (const std::string program : {"/nonexistent/fringe-study-worker", "not-executable", "folder"}) {
    SCOPED_TRACE(program);
    const ScopedEnv chosen("FRINGE_STUDY_WORKER", program);
    StudyStop stop;
    std::size_t rows = 0;
    try {
      run_in_workers(plan, all_runs(plan), {1, (dir.path() / "work").string(), {}}, [&](StudyRow) { ++rows; },
                     stop);
      ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
      EXPECT_NE(std::string(error.what()).find(program), std::string::npos) << error.what();
    }
    EXPECT_EQ(rows, 0u);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "work"));
    EXPECT_TRUE(no_children_left());
  }
}

// Forks where nothing can be held (no other thread, or a run function that
// cannot cross a program start), the worker program everywhere else.
TEST(StudyWorkerProgram, StartedForMeasuredRunsOfAProcessWithOtherThreadsOrWhenNamed) {
  TempDir dir;
  std::ofstream("named-worker") << "#!/bin/sh\n";
  std::filesystem::permissions("named-worker", std::filesystem::perms::owner_all);
  const StudyWorkerOptions measured{1, "", {}};
  const StudyWorkerOptions given{1, "", echo_run};
  EXPECT_EQ(study_worker_program(measured), "") << "alone in the process: a fork";
  EXPECT_EQ(study_worker_program(given), "");
  {
    const ScopedEnv chosen("FRINGE_STUDY_WORKER", "named-worker");
    EXPECT_EQ(study_worker_program(measured), "named-worker");
    EXPECT_EQ(study_worker_program(given), "") << "a function never crosses a program start";
  }
  std::atomic<bool> done{false};
  std::thread other([&] {
    while (!done.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  const std::string program = study_worker_program(measured);
  EXPECT_TRUE(program.ends_with("/fringe-study-worker")) << program;
  EXPECT_EQ(study_worker_program(given), "");
  done.store(true);
  other.join();
}

TEST(StudyWorkerOrderBytes, RoundTripAndDamagedBytes) {
  StudyWorkerOrder order;
  order.run = 987654321;
  order.settings.channel = 1;
  order.settings.scan = {"[ScanParameter]", "LambdaF=12.5", ""};
  order.settings.image = {"XPixels=1280", "name with = and \"quotes\""};
  order.settings.surface = {};
  order.settings.contrast = 0.1 + 0.2;
  order.settings.noise = -0.0;
  order.settings.max_noise_text = "64,5";
  order.settings.seed = 4294967295u;
  const std::string bytes = encode_study_worker_order(order);
  const std::optional<StudyWorkerOrder> back = decode_study_worker_order(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->run, order.run);
  EXPECT_EQ(back->settings.channel, 1);
  EXPECT_EQ(back->settings.scan, order.settings.scan);
  EXPECT_EQ(back->settings.image, order.settings.image);
  EXPECT_TRUE(back->settings.surface.empty());
  EXPECT_EQ(back->settings.contrast, order.settings.contrast);
  EXPECT_TRUE(std::signbit(back->settings.noise));
  EXPECT_EQ(back->settings.max_noise_text, "64,5");
  EXPECT_EQ(back->settings.seed, 4294967295u);
  expect_damage_refused(bytes, decode_study_worker_order, 12);  // the scan lines' count
}

TEST(StudyRowBytes, RoundTripAndDamagedBytes) {
  const StudyRow row{123456789, {0.1 + 0.2, -0.0, 1e-300}, 17.25, "Cannot \"x\", y"};
  const std::string bytes = encode_study_row(row);
  const std::optional<StudyRow> back = decode_study_row(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->run, row.run);
  EXPECT_EQ(back->figures, row.figures);
  EXPECT_TRUE(std::signbit(back->figures[1]));
  EXPECT_EQ(back->ms, row.ms);
  EXPECT_EQ(back->status, row.status);
  expect_damage_refused(bytes, decode_study_row, 8);  // the figures' count
}

}  // namespace
