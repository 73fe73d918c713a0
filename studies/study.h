// A study: the chain behind "apply" and "profile" run over a grid of
// settings, each run measured against the true sphere. The fringe tool's
// `study` command and the study window call run_study; runs under MPI put
// the same pieces together across processes (the tool's study_mpi).
//
// Pieces: study_parameters.h (what can be varied), study_figures.h (what is
// measured), study_grid.h (values, repeats, seeds, run order),
// study_run.h (one run), study_threads.h (runs on threads),
// study_table.h (CSV, JSON, summaries) and study_record.h (journal, resume,
// the output files).
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "runs/run_observer.h"
#include "studies/study_grid.h"
#include "studies/study_record.h"
#include "studies/study_table.h"
#include "studies/study_threads.h"

struct StudyProgress {
  std::size_t done = 0;    // runs with a row, those read back by --resume included
  std::size_t total = 0;   // runs of the study
  double elapsed_s = 0.0;  // since this session of the study started
  double left_s = -1.0;    // estimate from this session's pace; negative before its first run
};

// "runs 12 of 30, 0:07 elapsed, 0:11 left" ("left ?" before an estimate;
// hours as 1:02:03).
std::string progress_text(const StudyProgress& progress);

// Keeps time for the progress of one session of a study.
class StudyClock {
 public:
  StudyClock(std::size_t total, std::size_t done_before);
  StudyProgress at(std::size_t done) const;

 private:
  std::size_t total_;
  std::size_t done_before_;
  std::chrono::steady_clock::time_point start_;
};

// What a study reports: status() gets the progress text, progress() the
// share done (0..100); row_finished() each run as it is kept.
class StudyObserver : public RunObserver {
 public:
  virtual void row_finished(const StudyRow&, const StudyProgress&) {}
};

struct StudyRequest {
  StudyFiles files;  // both may be empty: the rows stay in memory only
  bool resume = false;
  StudyThreadOptions threads;
};

struct StudyOutcome {
  bool complete = false;        // false: stopped; the journal keeps the finished rows
  std::vector<StudyRow> rows;   // kept so far, in table order
  std::size_t ran = 0;          // runs of this session
  std::size_t failed = 0;       // rows whose status is not "ok"
  double seconds = 0.0;         // this session's wall time
};

// Checks the output files and reads back a study to resume (before the first
// run, writing nothing, throwing StudyError or FileError), then runs every
// missing run on threads (run_on_threads), keeping each row in the journal as
// it finishes, and writes the CSV and JSON when all are done. Returns with
// complete = false when `stop` is requested, once the runs still going have
// ended (their rows are dropped); no thread of the study runs after it
// returns or throws.
StudyOutcome run_study(const StudyPlan& plan, const StudyRequest& request, StudyObserver& observer,
                       const StudyStop& stop);
