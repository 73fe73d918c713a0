// `fringe study`: the measurement chain over a grid of settings, free of
// argument parsing and signals so that tests call it directly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runs/study.h"

struct StudyOptions {
  std::string dir = ".";           // working directory with the settings files
  int channel = 0;                 // whose settings are the base
  std::vector<std::string> vary;   // "name=a:b:n" or "name=v1,v2,..."
  int repeats = 1;
  uint32_t seed = 1;               // repeat k uses seed + k
  std::optional<int> jobs;         // default: every core
  std::string csv;                 // relative to the caller's directory
  std::string json;
  bool resume = false;
  double contrast = 1.0;           // base contrast, 0..1
  double noise = 0.0;              // base noise weight, 0..1
  std::string max_noise = "64";    // grey levels
};

// What a study starts from once its input is checked.
struct StudySetup {
  std::unique_ptr<StudyPlan> plan;  // held by pointer: the record refers to it
  StudyRequest request;
};

// The varied parameters of the options. Throws StudyError.
std::vector<StudyAxis> study_axes(const StudyOptions& options);

// Checks everything that can be checked before the first run, in this order:
// the output names given and distinct, the --vary texts, the working
// directory and the channel's settings files, the numbers in them, the grid
// (at most a million runs). Enters the working directory (the output names
// are made absolute first). Throws StudyError, FileError or ConversionError;
// writes nothing.
StudySetup prepare_study(const StudyOptions& options);

// prepare_study, then run_study.
StudyOutcome cmd_study(const StudyOptions& options, StudyObserver& observer, const StudyStop& stop);

// The line a finished or stopped study leaves for the user:
// "study: 20 runs (2 failed) in 3.1 s; wrote study.csv, study.json" or
// "study stopped: 7 of 20 runs kept in study.csv.part; run the same command
// with --resume to continue".
std::string study_summary(const StudyOutcome& outcome, const StudyOptions& options,
                          std::size_t total_runs);
