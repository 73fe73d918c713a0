// The runs of a study in worker processes. The engine keeps one context per
// process and the synthesis one random generator, so runs never share a
// process: each run is a child process of its own, working in a folder of
// its own with its own copies of the settings files, and the folder is
// removed when the run ends. A run's figures therefore do not depend on how
// many run at once, nor on which ran before it.
//
// Each run is either a fork of the caller or a fresh start of the worker
// program (fringe-study-worker). A fork is cheapest, but it copies whatever
// lock another thread holds at that moment (of the allocator, say) into a
// child that then waits for it forever. So a measured run is forked only
// from a process with no other thread (the fringe tool); from the window's
// study thread, or an MPI rank with MPI's threads, it starts the worker
// program. A run function given in the options (tests, benchmarks) cannot
// cross a program start and always runs in a fork.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runs/study_grid.h"
#include "runs/study_table.h"

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

// What a worker does with its run's settings in its own working folder:
// returns one value per study figure or throws. measure_study_run by
// default; tests and benchmarks give their own.
using StudyRunFunction = std::function<std::vector<double>(const StudyRunSettings&)>;

struct StudyWorkerOptions {
  int jobs = 1;           // runs at once, at least 1
  std::string work_root;  // folder for the workers' folders; empty: study_work_root()
  StudyRunFunction run;   // empty: measure_study_run in the worker program
};

// The worker program the measured runs of `options` start, or empty when
// they run in forks: options.run is given, or this process has no other
// thread and $FRINGE_STUDY_WORKER is not set. The program is
// $FRINGE_STUDY_WORKER when set (every measured run then starts it);
// otherwise fringe-study-worker beside this process's program, then the one
// of the build tree. Throws FileError when one is needed and there is none.
std::string study_worker_program(const StudyWorkerOptions& options);

// The worker program's whole work (its main): runs the measurement on the
// settings file its parent left in the current folder and writes the row to
// standard output. argv[1] is the parent's process id: a worker whose parent
// is already gone ends at once. Returns the exit status. The second form
// runs `run` instead of the measurement: a stand-in worker program for
// benchmarks of what starting a worker costs.
int study_worker_main(int argc, char** argv);
int study_worker_main(int argc, char** argv, const StudyRunFunction& run);

// The processors this process may run on (at least 1): the default of --jobs.
int available_cores();

// $TMPDIR when set; otherwise /dev/shm when it is a folder that takes new
// folders (the work files are thrown away, and a RAM disk spares the disk
// their syncs); otherwise /tmp.
std::string study_work_root();

// Runs `runs` of `plan` (run numbers) at most options.jobs at a time, in the
// order given, and calls `finished` in the calling process for each run as
// it ends, in the order they end. A run that throws, or whose worker dies
// (a crash, a kill), is finished with its error as status; the others go on.
// `idle` (may be empty) is called at least every 50 ms while runs are out.
// Returns true when every run finished, false when `stop` was requested:
// the workers still out are then killed and their runs are not reported.
// On any return or exception (from `finished`, or FileError `Cannot create
// directory` when no working folder can be made) no worker process and no
// working folder is left.
bool run_in_workers(const StudyPlan& plan, const std::vector<std::size_t>& runs,
                    const StudyWorkerOptions& options,
                    const std::function<void(StudyRow)>& finished, const StudyStop& stop,
                    const std::function<void()>& idle = {});

// A row as bytes, exactly (doubles bit for bit), for a worker's pipe and for
// messages between processes; decode gives nullopt for bytes that are not a
// whole row.
std::string encode_study_row(const StudyRow& row);
std::optional<StudyRow> decode_study_row(std::string_view bytes);

// A run's number and settings as bytes, exactly, for the worker program;
// decode gives nullopt for bytes that are not one whole record.
struct StudyWorkerOrder {
  std::size_t run = 0;
  StudyRunSettings settings;
};
std::string encode_study_worker_order(const StudyWorkerOrder& order);
std::optional<StudyWorkerOrder> decode_study_worker_order(std::string_view bytes);
