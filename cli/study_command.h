// `fringe study`: the measurement chain over a grid of settings, free of
// argument parsing and signals so that tests call it directly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/channel_settings.h"
#include "settings/method_settings.h"
#include "studies/study.h"

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
  std::string max_noise = "64";    // grey levels, a whole number 0..255
  // The method of every run over the channel's method file; a varied
  // method parameter then overrides it run by run.
  MethodOverrides method;
};

// The exit status of a study that finished and wrote its files, but in which
// some runs failed (a full disk, say): distinct from 0 (every run measured),
// 1 (an error before the first run) and 128 + N (stopped by signal N), so
// that scripts and batch systems see it without reading the table.
constexpr int kStudyRunsFailed = 3;
// StudyEnd::status of a study a stop request ended early.
constexpr int kStudyStopped = -1;

// What a study starts from once its input is checked.
struct StudySetup {
  std::unique_ptr<StudyPlan> plan;  // held by pointer: the record refers to it
  StudyRequest request;
};

// The method lines every run starts from: the channel's method file with the
// options applied (method_settings_lines), or the file's lines as they are
// without options. Throws SettingsError for the file, std::invalid_argument
// naming the option.
std::vector<std::string> study_method_lines(const ChannelSettings& settings, const MethodOverrides& overrides);

// The varied parameters of the options. Throws StudyError.
std::vector<StudyAxis> study_axes(const StudyOptions& options);

// Checks everything that can be checked before the first run, in this order:
// the output names given and distinct, the options' domains (--jobs,
// --repeats, --contrast, --noise, --max-noise; std::invalid_argument naming
// the option), the --vary texts, the working directory and the channel's
// settings files, the numbers in them (SettingsError naming the file, the
// key and the text), the method file and the method options over it
// (std::invalid_argument naming the option), the grid (at most a million
// runs). Enters the working
// directory (the output names are made absolute first). Throws StudyError,
// FileError, ConversionError or std::invalid_argument; writes nothing.
StudySetup prepare_study(const StudyOptions& options);

// prepare_study, then run_study.
StudyOutcome cmd_study(const StudyOptions& options, StudyObserver& observer, const StudyStop& stop);

// The line a finished or stopped study leaves for the user:
// "study: 20 runs (2 failed) in 3.1 s; wrote study.csv, study.json" or
// "study stopped: 7 of 20 runs kept in study.csv.part; run the same command
// with --resume to continue".
std::string study_summary(const StudyOutcome& outcome, const StudyOptions& options,
                          std::size_t total_runs);

// How a study that ran ends for the tool: the summary (study_summary; on
// stdout when the study finished, on stderr when it was stopped), a word on
// the runs that failed ("2 of 20 runs failed; the status column of their rows
// says why", on stderr; empty when none failed or the study was stopped) and
// the status: 0, kStudyRunsFailed, or kStudyStopped (the tool then exits
// with 128 + the signal's number).
struct StudyEnd {
  std::string summary;
  std::string failures;
  int status = 0;
};
StudyEnd study_end(const StudyOutcome& outcome, const StudyOptions& options, std::size_t total_runs);
