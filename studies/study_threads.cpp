#include "studies/study_threads.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "studies/study_run.h"

namespace {

constexpr auto kIdleEvery = std::chrono::milliseconds(50);
using Clock = std::chrono::steady_clock;

// An error text as one CSV-friendly line.
std::string one_line(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text.empty() ? "error" : text;
}

// One run on the calling thread, its failure as the row's status.
StudyRow run_row(std::size_t run_number, const StudyPlan& plan, const StudyRunFunction& run,
                 MeasurementContext& context) {
  StudyRow row;
  row.run = run_number;
  const Clock::time_point start = Clock::now();
  try {
    row.figures = run(plan.run_settings(run_number), context);
    row.status = "ok";
  } catch (const std::exception& error) {
    row.figures.clear();
    row.status = one_line(error.what());
  } catch (...) {
    row.figures.clear();
    row.status = "unknown error";
  }
  row.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  return row;
}

// What the calling thread and the run threads share: the runs not yet
// started, the rows not yet reported, and whether runs may still start.
class RunQueue {
 public:
  RunQueue(const std::vector<std::size_t>& runs, const StudyStop& stop) : runs_(runs), stop_(stop) {}

  // The next run for a free thread; nullopt when none is to start. A stop
  // request is seen here at once, not only when the calling thread wakes.
  std::optional<std::size_t> take() {
    const std::lock_guard lock(mutex_);
    if (halted_ || stop_.requested() || next_ == runs_.size()) return std::nullopt;
    ++out_;
    return runs_[next_++];
  }

  void deliver(StudyRow row) {
    {
      const std::lock_guard lock(mutex_);
      --out_;
      rows_.push_back(std::move(row));
    }
    changed_.notify_one();
  }

  // No run starts from now on.
  void halt() {
    const std::lock_guard lock(mutex_);
    halted_ = true;
  }

  // The rows delivered since the last call, once there is one, every run is
  // done, or `timeout` passed.
  std::vector<StudyRow> wait_for_rows(Clock::duration timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return !rows_.empty() || all_done_locked(); });
    std::vector<StudyRow> rows;
    rows.swap(rows_);
    return rows;
  }

  // Every run started, ended and taken out by wait_for_rows.
  bool all_done() {
    const std::lock_guard lock(mutex_);
    return all_done_locked() && rows_.empty();
  }

 private:
  bool all_done_locked() const { return next_ == runs_.size() && out_ == 0; }

  const std::vector<std::size_t>& runs_;
  const StudyStop& stop_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_ = 0;
  std::size_t out_ = 0;  // runs taken and not yet delivered
  bool halted_ = false;
  std::vector<StudyRow> rows_;
};

// The run threads of one call. Whatever way the call ends, the destructor
// lets no further run start and joins every thread.
class RunThreads {
 public:
  explicit RunThreads(RunQueue& queue) : queue_(queue) {}
  ~RunThreads() {
    queue_.halt();
    for (std::thread& thread : threads_) thread.join();
  }
  RunThreads(const RunThreads&) = delete;
  RunThreads& operator=(const RunThreads&) = delete;

  void start(const StudyPlan& plan, const StudyRunFunction& run) {
    threads_.emplace_back([this, &plan, &run] {
      // The context's planes stay with the thread from one run to the next.
      MeasurementContext context;
      while (const std::optional<std::size_t> number = queue_.take())
        queue_.deliver(run_row(*number, plan, run, context));
    });
  }

 private:
  RunQueue& queue_;
  std::vector<std::thread> threads_;
};

}  // namespace

int available_cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

bool run_on_threads(const StudyPlan& plan, const std::vector<std::size_t>& runs,
                    const StudyThreadOptions& options,
                    const std::function<void(StudyRow)>& finished, const StudyStop& stop,
                    const std::function<void()>& idle) {
  const StudyRunFunction run =
      options.run ? options.run
                  : StudyRunFunction([](const StudyRunSettings& s, MeasurementContext& context) {
                      return measure_study_run(s, context);
                    });
  const std::size_t count = std::min(static_cast<std::size_t>(std::max(1, options.jobs)), runs.size());
  RunQueue queue(runs, stop);
  RunThreads threads(queue);
  for (std::size_t i = 0; i < count; ++i) threads.start(plan, run);
  while (!queue.all_done()) {
    if (stop.requested()) return false;
    for (StudyRow& row : queue.wait_for_rows(kIdleEvery)) {
      if (stop.requested()) return false;
      finished(std::move(row));
    }
    if (idle) idle();
  }
  return true;
}
