// Runs of a study on threads: rows bit for bit whatever the number of jobs,
// failed runs as rows, the order runs start in, stopping, and no thread left
// running whatever way the call ends.
#include "studies/study_threads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <dirent.h>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "common/settings_file.h"
#include "settings/channel_settings.h"
#include "studies/study_run.h"

namespace {

using namespace std::chrono_literals;

StudyPlan plan_of(std::initializer_list<const char*> vary, int repeats, const ChannelSettingsTexts& texts = {}) {
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

// A stand-in for the measurement: figures from the settings it got.
std::vector<double> echo_run(const StudyRunSettings& s, MeasurementContext&) {
  return {s.noise, s.contrast, static_cast<double>(s.seed)};
}

std::vector<StudyRow> by_run(std::vector<StudyRow> rows) {
  std::sort(rows.begin(), rows.end(), [](const StudyRow& a, const StudyRow& b) { return a.run < b.run; });
  return rows;
}

// Figures compared bit for bit: a NaN figure equals the same NaN.
std::vector<uint64_t> bits_of(const std::vector<double>& figures) {
  std::vector<uint64_t> bits;
  for (double value : figures) bits.push_back(std::bit_cast<uint64_t>(value));
  return bits;
}

// The threads of this process now.
std::size_t threads_of_this_process() {
  std::size_t count = 0;
  if (DIR* tasks = ::opendir("/proc/self/task")) {
    while (const dirent* entry = ::readdir(tasks)) count += entry->d_name[0] != '.';
    ::closedir(tasks);
  }
  return count;
}

// The threads of this process once the joined ones have left: a join
// returns when the thread's id is cleared, a moment before the kernel (or an
// emulator, longer) drops it from /proc/self/task. One still running stays.
std::size_t threads_after_joins(std::size_t expected) {
  std::size_t count = threads_of_this_process();
  for (int wait = 0; wait < 200 && count > expected; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    count = threads_of_this_process();
  }
  return count;
}

TEST(StudyThreads, SameRowsWhateverTheNumberOfJobsAndEachContextOnOneThread) {
  const StudyPlan plan = plan_of({"noise=0:1:5", "contrast=0.5,1"}, 2);
  std::vector<std::vector<StudyRow>> results;
  for (int jobs : {1, 2, 5}) {
    std::mutex mutex;
    std::set<std::pair<const MeasurementContext*, std::thread::id>> users;
    const StudyRunFunction run = [&](const StudyRunSettings& s, MeasurementContext& context) {
      const std::lock_guard lock(mutex);
      users.insert({&context, std::this_thread::get_id()});
      return echo_run(s, context);
    };
    std::vector<StudyRow> rows;
    StudyStop stop;
    EXPECT_TRUE(run_on_threads(plan, all_runs(plan), {jobs, run},
                               [&](StudyRow row) { rows.push_back(std::move(row)); }, stop));
    ASSERT_EQ(rows.size(), plan.run_count()) << jobs << " jobs";
    results.push_back(by_run(std::move(rows)));
    std::set<const MeasurementContext*> contexts;
    std::set<std::thread::id> threads;
    for (const auto& [context, thread] : users) {
      contexts.insert(context);
      threads.insert(thread);
    }
    EXPECT_EQ(users.size(), contexts.size()) << "a context used by one thread only";
    EXPECT_LE(threads.size(), static_cast<std::size_t>(jobs));
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u) << "runs go on threads of their own";
  }
  for (std::size_t run = 0; run < plan.run_count(); ++run) {
    const StudyRunSettings s = plan.run_settings(run);
    EXPECT_EQ(results[0][run].status, "ok");
    EXPECT_EQ(results[0][run].figures, (std::vector<double>{s.noise, s.contrast, double(s.seed)}));
    for (std::size_t r = 1; r < results.size(); ++r) {
      EXPECT_EQ(results[r][run].figures, results[0][run].figures);
      EXPECT_EQ(results[r][run].status, "ok");
    }
  }
}

// Measured runs of a small real study: one job and two give the same rows
// bit for bit, and those of a measurement on a fresh context, so a context
// kept from run to run changes nothing.
TEST(StudyThreads, MeasuredRowsOfOneJobAndTwoAreTheSameBitForBit) {
  ChannelSettingsTexts small;
  small.xpixels = "256";
  small.ypixels = "256";
  small.xres = "0.04";
  const StudyPlan plan = plan_of({"noise=0,0.6", "period=8,12"}, 2, small);
  std::vector<std::vector<StudyRow>> results;
  for (int jobs : {1, 2}) {
    std::vector<StudyRow> rows;
    StudyStop stop;
    EXPECT_TRUE(run_on_threads(plan, all_runs(plan), {jobs, {}},
                               [&](StudyRow row) { rows.push_back(std::move(row)); }, stop));
    ASSERT_EQ(rows.size(), plan.run_count());
    results.push_back(by_run(std::move(rows)));
  }
  for (std::size_t run = 0; run < plan.run_count(); ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    ASSERT_EQ(results[0][run].status, "ok");
    EXPECT_EQ(results[1][run].status, "ok");
    EXPECT_EQ(bits_of(results[0][run].figures), bits_of(results[1][run].figures));
    EXPECT_EQ(bits_of(results[0][run].figures), bits_of(measure_study_run(plan.run_settings(run))));
  }
  // Noise draws differ between the repeats of a point: the rows are not all alike.
  EXPECT_NE(bits_of(results[0][4].figures), bits_of(results[0][5].figures));
}

TEST(StudyThreads, OneJobReportsTheRunsInTheOrderGiven) {
  const StudyPlan plan = plan_of({"noise=0:1:6"}, 1);
  const std::vector<std::size_t> order = {4, 0, 5, 2};
  std::vector<std::size_t> reported;
  StudyStop stop;
  EXPECT_TRUE(run_on_threads(plan, order, {1, echo_run}, [&](StudyRow row) { reported.push_back(row.run); }, stop));
  EXPECT_EQ(reported, order);
  reported.clear();
  EXPECT_TRUE(run_on_threads(plan, {}, {3, echo_run}, [&](StudyRow row) { reported.push_back(row.run); }, stop))
      << "nothing to run is a complete study";
  EXPECT_TRUE(reported.empty());
}

struct NotAnException {};

TEST(StudyThreads, ARunThatThrowsIsARowWithItsErrorAndTheOthersGoOn) {
  const StudyPlan plan = plan_of({"noise=0,0.25,0.5,0.75,1"}, 1);
  const StudyRunFunction troubled = [](const StudyRunSettings& s, MeasurementContext&) -> std::vector<double> {
    if (s.noise == 0.25) throw std::runtime_error("Cannot open file \"./sim00.bmp\"\nsecond\r\nthird");
    if (s.noise == 0.5) throw std::runtime_error("");
    if (s.noise == 0.75) throw NotAnException{};
    return {s.noise};
  };
  for (int jobs : {1, 2}) {
    std::vector<StudyRow> rows;
    StudyStop stop;
    EXPECT_TRUE(run_on_threads(plan, all_runs(plan), {jobs, troubled},
                               [&](StudyRow row) { rows.push_back(std::move(row)); }, stop));
    rows = by_run(std::move(rows));
    ASSERT_EQ(rows.size(), 5u);
    const char* const statuses[] = {"ok", "Cannot open file \"./sim00.bmp\" second  third", "error",
                                    "unknown error", "ok"};
    for (std::size_t run = 0; run < rows.size(); ++run) {
      EXPECT_EQ(rows[run].status, statuses[run]) << "run " << run << ", " << jobs << " jobs";
      EXPECT_EQ(rows[run].figures.empty(), rows[run].status != "ok");
    }
    EXPECT_EQ(rows[4].figures, (std::vector<double>{1.0}));
  }
}

// Each case asks for the stop from another place; the runs going then are
// dropped, and nothing is reported once the stop is asked for.
TEST(StudyThreads, StopStartsNoFurtherRunAndReportsNoneAfterIt) {
  enum class From { finished, idle, another_thread };
  for (const From from : {From::finished, From::idle, From::another_thread}) {
    SCOPED_TRACE(static_cast<int>(from));
    const StudyPlan plan = plan_of({"noise=0:1:11"}, 1);
    StudyStop stop;
    std::atomic<int> started{0};
    // Two quick runs, then runs that last until the stop is asked for.
    const StudyRunFunction slow = [&](const StudyRunSettings& s, MeasurementContext&) -> std::vector<double> {
      ++started;
      if (s.noise > 0.15)
        while (!stop.requested()) std::this_thread::sleep_for(1ms);
      return {s.noise};
    };
    std::vector<StudyRow> rows;
    bool reported_after_stop = false;
    std::thread stopper;
    const bool complete = run_on_threads(
        plan, all_runs(plan), {3, slow},
        [&](StudyRow row) {
          reported_after_stop |= stop.requested();
          rows.push_back(std::move(row));
          if (rows.size() == 2 && from == From::finished) stop.request();
          if (rows.size() == 2 && from == From::another_thread)
            stopper = std::thread([&] { stop.request(); });
        },
        stop, [&] {
          if (rows.size() == 2 && from == From::idle) stop.request();
        });
    if (stopper.joinable()) stopper.join();
    EXPECT_FALSE(complete);
    EXPECT_FALSE(reported_after_stop);
    EXPECT_EQ(rows.size(), 2u) << "the two quick runs; the slow ones ended unreported";
    EXPECT_LE(started.load(), 5) << "the two quick ones and the three going at the stop";
  }
}

// An exception from `finished` or `idle` stops the runs and propagates once
// every thread is joined: no run starts or goes on after the call.
TEST(StudyThreads, AnExceptionFromTheCallerLeavesNoThreadRunning) {
  const std::size_t threads_before = threads_of_this_process();
  for (const bool from_idle : {false, true}) {
    SCOPED_TRACE(from_idle ? "idle" : "finished");
    const StudyPlan plan = plan_of({"noise=0:1:40"}, 1);
    std::atomic<int> started{0}, running{0};
    const StudyRunFunction run = [&](const StudyRunSettings& s, MeasurementContext& context) {
      ++started;
      ++running;
      std::this_thread::sleep_for(5ms);
      --running;
      return echo_run(s, context);
    };
    StudyStop stop;
    std::size_t reported = 0;
    const auto full_disk = [] { throw std::runtime_error("disk full"); };
    EXPECT_THROW(run_on_threads(
                     plan, all_runs(plan), {3, run},
                     [&](StudyRow) {
                       if (++reported == 2 && !from_idle) full_disk();
                     },
                     stop,
                     [&] {
                       if (reported >= 2 && from_idle) full_disk();
                     }),
                 std::runtime_error);
    EXPECT_EQ(running.load(), 0);
    EXPECT_EQ(threads_after_joins(threads_before), threads_before);
    const int started_at_return = started.load();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(started.load(), started_at_return) << "no run started after the call";
    EXPECT_LT(started_at_return, 40);
  }
}

// `finished` and `idle` run on the calling thread, `idle` again and again
// while a long run is out (the caller's pump for MPI messages and the like).
TEST(StudyThreads, FinishedAndIdleAreCalledOnTheCallingThread) {
  const StudyPlan plan = plan_of({"noise=0,1"}, 1);
  const StudyRunFunction long_run = [](const StudyRunSettings& s, MeasurementContext& context) {
    std::this_thread::sleep_for(400ms);
    return echo_run(s, context);
  };
  const std::thread::id caller = std::this_thread::get_id();
  std::set<std::thread::id> finished_on, idle_on;
  int idle_calls = 0;
  StudyStop stop;
  EXPECT_TRUE(run_on_threads(
      plan, all_runs(plan), {2, long_run}, [&](StudyRow) { finished_on.insert(std::this_thread::get_id()); },
      stop, [&] {
        idle_on.insert(std::this_thread::get_id());
        ++idle_calls;
      }));
  EXPECT_EQ(finished_on, std::set<std::thread::id>{caller});
  EXPECT_EQ(idle_on, std::set<std::thread::id>{caller});
  EXPECT_GE(idle_calls, 3) << "about eight 50 ms waits in a 400 ms run";
}

}  // namespace
