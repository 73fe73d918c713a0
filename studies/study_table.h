// The table of a study: one row per run, written as CSV (one line per run,
// in table order) and as JSON (settings, per-point summaries and the rows),
// and read back, by the window to plot it again and by --resume.
//
// CSV columns: the varied parameters in the order given, then repeat, seed,
// one column per study figure (study_figures.h), ms, status. Numbers carry
// the point and read back to the same double (round_trip_text); a failed
// run's figures are empty and its status is its error text, quoted where it
// holds a comma, a quote or a line end. Lines end in LF. A parameter with
// names (method) is written and read by its names ("fourier"), here and in
// the JSON; StudyTableRow holds their indices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "studies/study_grid.h"

// One finished run of a plan.
struct StudyRow {
  std::size_t run = 0;          // its number in the plan
  std::vector<double> figures;  // one per study figure; empty when it failed
  double ms = 0.0;              // its wall time, milliseconds
  std::string status = "ok";    // "ok" or the error text, on one line
};

// A table as read from a CSV file: any study's, not only one of this plan.
struct StudyTableRow {
  std::vector<double> values;   // one per varied parameter
  int repeat = 0;
  uint32_t seed = 0;
  std::vector<double> figures;  // one per figure column; NaN where empty
  double ms = 0.0;
  std::string status;
};
struct StudyTable {
  std::vector<std::string> parameters;  // the varied parameters' names
  std::vector<std::string> figures;     // the figure columns' names
  std::vector<StudyTableRow> rows;
};

// Summary of one figure over the repeats of a grid point that succeeded:
// count, mean, sample standard deviation (n - 1; 0 for a single value),
// minimum and maximum. With count 0 the numbers are NaN.
struct FigureSummary {
  int count = 0;
  double mean = 0.0;
  double sd = 0.0;
  double min = 0.0;
  double max = 0.0;
};
struct PointSummary {
  std::vector<double> values;           // one per varied parameter
  int runs = 0;                         // rows of the point
  int ok = 0;                           // of them with status "ok"
  std::vector<FigureSummary> figures;   // one per figure column
};

// "noise,contrast,repeat,seed,pv_um,...,ms,status".
std::string study_csv_header(const StudyPlan& plan);
// One line, without its line end.
std::string study_csv_line(const StudyPlan& plan, const StudyRow& row);
// The header and every row, each line ending in LF; rows as given.
std::string study_csv(const StudyPlan& plan, const std::vector<StudyRow>& rows);

// The plan's rows as a table, in the order given.
StudyTable study_table(const StudyPlan& plan, const std::vector<StudyRow>& rows);

// Any table as CSV, the same text study_csv writes for a plan's table (so a
// table read back and saved again is unchanged).
std::string study_table_csv(const StudyTable& table);

// Reads a CSV text written by study_csv (lines starting with "#" are
// skipped). With `torn_last_line_allowed` a last line without its line end
// is dropped (a journal cut by a crash); otherwise it is read. Throws
// StudyError `<name>, line N: ...` for a header without repeat, seed, ms and
// status in their places or an unknown parameter, and for a row with the
// wrong number of fields or a field that is not a number.
StudyTable parse_study_csv(std::string_view text, const std::string& name,
                           bool torn_last_line_allowed = false);
// The same for a file; FileError `Cannot open file "<file>"` when it cannot
// be read.
StudyTable read_study_csv(const std::string& file);

// Per grid point in the order the points first appear in the table (table
// order for a table in run order).
std::vector<PointSummary> summarise(const StudyTable& table);

// The study as JSON: {"study": settings, "figures": [...], "points":
// summaries, "rows": [...]}; non-finite numbers as null.
std::string study_json(const StudyPlan& plan, const std::vector<StudyRow>& rows);

// A short text that differs between studies whose runs differ: channel,
// settings, contrast, noise, maximum noise, axes, repeats, first seed and the
// figure columns. Written at the top of the journal so that --resume never
// mixes the rows of two studies.
std::string study_fingerprint(const StudyPlan& plan);
