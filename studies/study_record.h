// Where a study's rows go: memory, the journal beside the output files while
// the study runs, and the CSV and JSON files when it is complete.
//
// Every file goes through the whole-file rule (common/replace_file.h), with
// one journal in between so that no finished run is lost:
//
// * Before the first run each output name is checked (a probe file beside
//   it, removed again) and the journal "<csv>.part" (or "<json>.part" without
//   a CSV) is made whole: a "#" line with the study's fingerprint, the CSV
//   header, and on --resume the rows read back.
// * Each finished run is appended to the journal as one CSV line, in the
//   order the runs finish: an interrupted study (Ctrl-C, a killed job, a
//   cancelled window) leaves every finished row there, readable as CSV.
// * When every run is done, the CSV (rows in table order) and the JSON are
//   written whole and the journal is removed. Until then the output files
//   keep whatever they held before.
//
// --resume reads the journal (or, without one, a finished CSV of the same
// study), keeps its rows and runs only the missing ones. A journal of another
// study (another fingerprint) or a row that is not on the grid is refused.
// Without --resume an existing journal is refused too: it holds finished
// runs that a fresh study would throw away.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/journal_file.h"
#include "studies/study_table.h"

struct StudyFiles {
  std::string csv;   // empty: no CSV
  std::string json;  // empty: no JSON
};

// "<csv>.part", else "<json>.part"; empty without either.
std::string journal_name(const StudyFiles& files);

class StudyRecord {
 public:
  // `plan` must outlive the record. Checks the output names and, with
  // `resume`, reads the rows of the interrupted study. Writes nothing.
  // Throws StudyError (a journal of another study, a journal without
  // --resume, a row off the grid) or FileError (`Cannot create file
  // "<name>"` for an output that cannot be written).
  StudyRecord(const StudyPlan& plan, StudyFiles files, bool resume);

  // Makes the journal whole with the rows read back; once, before the first
  // run. Throws FileError.
  void start();
  // Runs without a row yet, in table order.
  std::vector<std::size_t> missing_runs() const;
  std::size_t finished_count() const { return finished_; }
  // Keeps a finished run and appends it to the journal. A run that already
  // has a row keeps its first one. Throws FileError when the journal cannot
  // be written.
  void add(StudyRow row);
  // The rows kept, in table order.
  std::vector<StudyRow> rows() const;
  // With every run finished: writes the CSV, then the JSON, each whole, and
  // removes the journal. Throws FileError; the journal then stays.
  void finish();

  const StudyFiles& files() const { return files_; }
  const std::string& journal() const { return journal_name_; }

 private:
  void read_back(const std::string& file, bool is_journal);

  const StudyPlan& plan_;
  StudyFiles files_;
  std::string journal_name_;
  std::unique_ptr<JournalFile> journal_;
  std::vector<std::optional<StudyRow>> rows_;
  std::size_t finished_ = 0;
};
