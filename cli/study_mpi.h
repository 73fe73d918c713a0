// `fringe study` across the processes of an MPI job (mpirun -n K fringe
// study ...): rank 0 checks the input, reads the settings and the rows of a
// study to resume, and hands the plan to every rank; the ranks share the
// missing runs round-robin, each running its share in worker processes
// (--jobs per rank, default 1), and send each row to rank 0, which keeps it
// in the journal and writes the same CSV and JSON a single process writes.
// MPI is only initialised here, so that plain invocations never touch it.
#pragma once

#include "cli/study_command.h"

// Returned when `stop` ended the study early.
constexpr int kStudyStopped = -1;

// 0 when every run has a row, kStudyStopped, or 1 after an input error. On
// rank 0 `message` is then the study's summary (study_summary) or the error;
// on the other ranks it stays empty. Rank 0 reports progress to `observer`.
// Without MPI in the build: 1 and a message that says so.
int run_study_over_mpi(const StudyOptions& options, StudyObserver& observer, const StudyStop& stop,
                       std::string& message);
