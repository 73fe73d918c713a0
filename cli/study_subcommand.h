// The `study` subcommand of the fringe tool: its options, the progress line
// on stderr, Ctrl-C and SIGTERM, and the hand-over to MPI when mpirun
// started the process.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/study_command.h"

class StudySubcommand {
 public:
  // Adds `study` with its options and help to `app`.
  explicit StudySubcommand(CLI::App& app);
  bool parsed() const { return app_->parsed(); }
  // Runs the study; the exit status of the tool: 0 when every run measured,
  // kStudyRunsFailed (3) when the files are written but some runs failed,
  // 128 + the signal's number when a signal stopped it, 1 after an input
  // error under mpirun. Input errors of a single process throw.
  int run();

 private:
  CLI::App* app_;
  StudyOptions options_;
};

// True when mpirun (or another PMIx or PMI launcher) started this process:
// only then does the study use MPI.
bool started_by_mpirun();
