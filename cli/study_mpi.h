// `fringe study` across the processes of an MPI job (mpirun -n K fringe
// study ...): rank 0 checks the input, reads the settings and the rows of a
// study to resume, and hands the plan to every rank; the ranks share the
// missing runs round-robin, each running its share on its own threads
// (--jobs per rank, default 1), and send each row to rank 0, which keeps it
// in the journal and writes the same CSV and JSON a single process writes.
// MPI is only initialised here, so that plain invocations never touch it.
#pragma once

#include "cli/study_command.h"

// 1 after an input error: on rank 0 `error` says what it was. Otherwise 0,
// and `end` tells how the study ended: on rank 0 as study_end gives it (the
// summary ending in "(K processes)"), on the other ranks its status only
// (0, or kStudyStopped). Rank 0 reports progress to `observer`. Without MPI
// in the build: 1 and an error that says so.
int run_study_over_mpi(const StudyOptions& options, StudyObserver& observer, const StudyStop& stop,
                       StudyEnd& end, std::string& error);
