#include "studies/study_record.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "common/errors.h"
#include "common/read_file.h"
#include "common/replace_file.h"
#include "studies/study_figures.h"

namespace {

const char* const kFingerprintLine = "# fringe study ";

std::string journal_head(const StudyPlan& plan) {
  return kFingerprintLine + study_fingerprint(plan) + "\n" + study_csv_header(plan) + "\n";
}

bool exists(const std::string& file) {
  std::error_code error;
  return std::filesystem::exists(file, error);
}

void require_writable(const std::string& file) {
  if (!file.empty() && !file_can_be_written(file)) throw file_error(FileAction::create, file);
}

}  // namespace

std::string journal_name(const StudyFiles& files) {
  if (!files.csv.empty()) return files.csv + ".part";
  if (!files.json.empty()) return files.json + ".part";
  return "";
}

StudyRecord::StudyRecord(const StudyPlan& plan, StudyFiles files, bool resume)
    : plan_(plan), files_(std::move(files)), journal_name_(journal_name(files_)),
      rows_(plan.run_count()) {
  require_writable(files_.csv);
  require_writable(files_.json);
  require_writable(journal_name_);
  if (journal_name_.empty()) return;
  const bool journal_exists = exists(journal_name_);
  if (!resume) {
    if (journal_exists)
      throw StudyError(journal_name_ + " holds the finished runs of an interrupted study: add "
                       "--resume to continue it, or remove the file to start afresh");
    return;
  }
  if (journal_exists)
    read_back(journal_name_, true);
  else if (!files_.csv.empty() && exists(files_.csv))
    read_back(files_.csv, false);
}

void StudyRecord::read_back(const std::string& file, bool is_journal) {
  const std::string text = read_file_text(file);
  if (is_journal) {
    const std::string expected = kFingerprintLine + study_fingerprint(plan_);
    if (text.compare(0, expected.size(), expected) != 0 || text.size() <= expected.size() ||
        text[expected.size()] != '\n')
      throw StudyError(file + " belongs to another study (other settings, values, repeats or "
                       "seed): run that study with --resume, or remove the file");
  }
  const StudyTable table = parse_study_csv(text, file, is_journal);
  // The header must be this plan's, column for column.
  const std::size_t header_start = is_journal ? text.find('\n') + 1 : 0;
  const std::string header = study_csv_header(plan_);
  if (text.compare(header_start, header.size(), header) != 0 ||
      text.size() <= header_start + header.size() ||
      (text[header_start + header.size()] != '\n' && text[header_start + header.size()] != '\r'))
    throw StudyError(file + " has other columns than this study (" + header + ")");

  for (std::size_t i = 0; i < table.rows.size(); ++i) {
    const StudyTableRow& r = table.rows[i];
    const std::optional<std::size_t> run = plan_.run_of(r.values, r.repeat);
    if (!run || plan_.seed_of(*run) != r.seed)
      throw StudyError(file + ": row " + std::to_string(i + 1) + " is not a run of this study");
    if (rows_[*run]) continue;
    StudyRow row;
    row.run = *run;
    row.ms = std::isfinite(r.ms) ? r.ms : 0.0;
    row.status = r.status;
    if (r.status == "ok") row.figures = r.figures;
    rows_[*run] = std::move(row);
    ++finished_;
  }
}

void StudyRecord::start() {
  if (journal_name_.empty()) return;
  std::string head = journal_head(plan_);
  for (const StudyRow& row : rows()) head += study_csv_line(plan_, row) + "\n";
  journal_ = std::make_unique<JournalFile>(journal_name_, head);
}

std::vector<std::size_t> StudyRecord::missing_runs() const {
  std::vector<std::size_t> runs;
  for (std::size_t run = 0; run < rows_.size(); ++run)
    if (!rows_[run]) runs.push_back(run);
  return runs;
}

void StudyRecord::add(StudyRow row) {
  if (row.run >= rows_.size() || rows_[row.run]) return;
  if (journal_) journal_->append(study_csv_line(plan_, row));
  rows_[row.run] = std::move(row);
  ++finished_;
}

std::vector<StudyRow> StudyRecord::rows() const {
  std::vector<StudyRow> kept;
  for (const std::optional<StudyRow>& row : rows_)
    if (row) kept.push_back(*row);
  return kept;
}

void StudyRecord::finish() {
  const std::vector<StudyRow> all = rows();
  if (!files_.csv.empty()) replace_file(files_.csv, study_csv(plan_, all));
  if (!files_.json.empty()) replace_file(files_.json, study_json(plan_, all));
  journal_.reset();
  if (!journal_name_.empty()) ::unlink(journal_name_.c_str());
}
