// The runs of a study on threads of this process. The measurement keeps no
// state of its own (runs/measurement.h): each thread owns a
// MeasurementContext, reused from one of its runs to the next, and takes the
// next run of the given order when it is free. A run's figures depend on its
// settings alone, so the rows are the same bit for bit whatever the number of
// threads and whichever thread ran which run; only the ms column differs.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <vector>

#include "runs/measurement.h"
#include "studies/study_grid.h"
#include "studies/study_table.h"

// Asks a running study to stop, from another thread or a signal handler.
class StudyStop {
 public:
  void request() noexcept { requested_.store(true); }  // async-signal-safe
  bool requested() const noexcept { return requested_.load(); }
  void reset() noexcept { requested_.store(false); }

 private:
  std::atomic<bool> requested_{false};
  static_assert(std::atomic<bool>::is_always_lock_free);
};

// What a thread does with a run's settings and its own context: returns one
// value per study figure or throws. Called on several threads at once, each
// with a context of its own. measure_study_run by default; tests and
// benchmarks give their own.
using StudyRunFunction = std::function<std::vector<double>(const StudyRunSettings&, MeasurementContext&)>;

struct StudyThreadOptions {
  int jobs = 1;          // runs at once, each on a thread of its own; at least 1
  StudyRunFunction run;  // empty: measure_study_run
};

// The processors this process may run on (at least 1): the default of --jobs.
int available_cores();

// Runs `runs` of `plan` (run numbers) on min(options.jobs, runs) threads, in
// the order given, and calls `finished` in the calling thread for each run as
// it ends, in the order they end. A run that throws is finished with its
// error as status (on one line; "error" when the error has no words,
// "unknown error" for what is not a std::exception); the others go on.
// `idle` (may be empty) is called in the calling thread at least every 50 ms
// while runs are out.
//
// Returns true when every run was reported, false when `stop` was requested:
// from then on no run starts and `finished` is not called again; the runs
// already going are waited for and their rows dropped (a run cannot be cut
// short), so stopping takes up to one run's time.
//
// Whatever way it returns or throws (an exception from `finished` or `idle`
// propagates), no thread of its own is left running: an exception stops the
// runs as a stop request does, and propagates once they are joined.
bool run_on_threads(const StudyPlan& plan, const std::vector<std::size_t>& runs,
                    const StudyThreadOptions& options,
                    const std::function<void(StudyRow)>& finished, const StudyStop& stop,
                    const std::function<void()>& idle = {});
